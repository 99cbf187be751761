// Replays the receive-path fuzz target's seed inputs and every input a fuzz run
// ever found (fuzz/corpus/receive, fuzz/regressions/receive) through the real
// main window, with the same checks the fuzz target makes.
#include "../../fuzz/harness/ReceiveHarness.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestFuzzRegressions : public QObject {
    Q_OBJECT
private slots:
    void receivePathInputs_data();
    void receivePathInputs();
    void harnessSeesRealFrames();
};

namespace {

QString fuzzFolder()
{
    return QStringLiteral(KV_FUZZ_DIR);
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

void TestFuzzRegressions::receivePathInputs_data()
{
    QTest::addColumn<QString>("path");
    int rows = 0;
    for (const char* kindName : {"corpus", "regressions"}) {
        const QString kind = QString::fromLatin1(kindName);
        const QDir folder(fuzzFolder() + QLatin1Char('/') + kind + QStringLiteral("/receive"));
        for (const QString& name : folder.entryList(QDir::Files, QDir::Name)) {
            QTest::newRow(qPrintable(kind + QLatin1Char('/') + name)) << folder.filePath(name);
            ++rows;
        }
    }
    QVERIFY2(rows > 0, "no receive-path inputs found");
}

void TestFuzzRegressions::receivePathInputs()
{
    QFETCH(QString, path);
    const QByteArray input = readAll(path);
    QTemporaryDir dir;
    kvfuzz::ReceiveHarness harness((dir.path() + QStringLiteral("/kvchat.INI")).toStdString());
    const std::string failure =
        harness.Run(reinterpret_cast<const std::uint8_t*>(input.constData()), static_cast<std::size_t>(input.size()));
    QVERIFY2(failure.empty(), failure.c_str());
}

// The harness drives the real handlers: a seed session opens its rooms and logs
// its lines, whatever the read sizes, and the version-up notice does not block.
void TestFuzzRegressions::harnessSeesRealFrames()
{
    QTemporaryDir dir;
    kvfuzz::ReceiveHarness harness((dir.path() + QStringLiteral("/kvchat.INI")).toStdString());
    TFormMain* w = harness.Window();
    for (const char* seed : {"session", "session-bytewise", "session-odd-reads"}) {
        QByteArray input = readAll(fuzzFolder() + QStringLiteral("/corpus/receive/") + QLatin1String(seed));
        QVERIFY(!input.isEmpty());
        // Drop the final GmClose so the session's state can be seen afterwards.
        QCOMPARE(input.right(3), QByteArray::fromHex("000304"));
        input.chop(3);
        QVERIFY(harness.Run(reinterpret_cast<const std::uint8_t*>(input.constData()), std::size_t(input.size())).empty());
        QCOMPARE(w->ClientID, std::int16_t(7));
        QVERIFY(w->windowTitle().endsWith(QStringLiteral(" - 25人")));
    }
    // Each session was refused entry to a room and the creation of one.
    QCOMPARE(harness.Boxes, 6);
    const QByteArray notice = readAll(fuzzFolder() + QStringLiteral("/corpus/receive/areply-version-up"));
    QVERIFY(harness.Run(reinterpret_cast<const std::uint8_t*>(notice.constData()), std::size_t(notice.size())).empty());
    QCOMPARE(w->ClientID, std::int16_t(1));
    QCOMPARE(harness.ModalsClosed(), 1);
}

QTEST_MAIN(TestFuzzRegressions)
#include "tst_fuzz_regressions.moc"

