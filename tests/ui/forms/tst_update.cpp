// The version-up notice: the address is shown literally as a link, a click
// hands it to the desktop shell, and only OK, Enter or Esc close the notice.

#include "DialogDriver.h"
#include "Unitupdate.h"

#include <QApplication>
#include <QtTest>

#include <memory>
#include <string>

using namespace DialogDriver;

class TestUpdate : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void formDescription();
    void addressIsShownLiterally_data();
    void addressIsShownLiterally();
    void clickOpensTheAddressAndKeepsTheNoticeOpen();
    void closingTheNotice_data();
    void closingTheNotice();

private:
    std::unique_ptr<QWidget> mainWindow;
    TFormUpdate* form = nullptr;
};

void TestUpdate::initTestCase()
{
    mainWindow = std::make_unique<QWidget>();
    mainWindow->setGeometry(411, 111, 561, 541);
    mainWindow->show();
    form = new TFormUpdate(mainWindow.get());
}

void TestUpdate::cleanupTestCase() { mainWindow.reset(); }

void TestUpdate::formDescription()
{
    QCOMPARE(form->windowTitle(), QStringLiteral("バージョンアップ告知"));
    QCOMPARE(form->minimumSize(), QSize(319, 151));
    QCOMPARE(form->maximumSize(), QSize(319, 151));
    QCOMPARE(form->font().pixelSize(), 12);
    QCOMPARE(form->Label1->text(),
             QStringLiteral("プログラムのバージョンアップが必要です。下記のURLより新しいプログラムをダウンロードしてください。"));
    QVERIFY(form->Label1->wordWrap());
    QCOMPARE(form->Label1->pos(), QPoint(8, 12));
    QCOMPARE(form->Label1->width(), 285);
    QVERIFY(form->Label1->height() >= 24);
    QVERIFY(form->Label1->heightForWidth(285) <= form->Label1->height());   // no line cut off
    QCOMPARE(form->GroupBox1->title(), QStringLiteral("ダウンロードURL"));
    QCOMPARE(form->GroupBox1->geometry(), QRect(8, 56, 297, 45));
    QCOMPARE(form->LabelURL->parentWidget(), form->GroupBox1);
    QCOMPARE(form->LabelURL->pos(), QPoint(9, 20));
    QCOMPARE(form->LabelURL->text(), QStringLiteral("url:"));
    QCOMPARE(form->LabelURL->palette().color(QPalette::Active, QPalette::WindowText), QColor(Qt::blue));
    QVERIFY(form->LabelURL->font().bold());
    QVERIFY(form->LabelURL->font().underline());
    QCOMPARE(form->LabelURL->font().pixelSize(), 12);
    QCOMPARE(form->LabelURL->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(form->ButtonOk->text(), QStringLiteral("OK"));
    QCOMPARE(form->ButtonOk->geometry(), QRect(228, 112, 75, 25));
    QVERIFY(form->ButtonOk->isDefault());
    QCOMPARE(TabOrder(*form), QWidgetList{form->ButtonOk});
}

void TestUpdate::addressIsShownLiterally_data()
{
    QTest::addColumn<QByteArray>("address");   // CP932, as the settings file holds it
    QTest::addColumn<QString>("shown");
    QTest::newRow("web address") << QByteArray("http://kickvale.example/download/kvchat.zip")
                                 << "http://kickvale.example/download/kvchat.zip";
    QTest::newRow("markup stays text") << QByteArray("<b>x</b>") << "<b>x</b>";
    QTest::newRow("ampersand is no accelerator") << QByteArray("http://a/?x=1&y=2") << "http://a/?x=1&y=2";
    QTest::newRow("CP932 path") << QByteArray("http://kv/\x83\x5f\x83\x45\x83\x93\x83\x8d\x81\x5b\x83\x68")
                                << "http://kv/ダウンロード";
}

void TestUpdate::addressIsShownLiterally()
{
    QFETCH(QByteArray, address);
    QFETCH(QString, shown);
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QSize size, sizeHint;
    ModalSteps steps(*form, [&] {
        text = form->LabelURL->text();
        format = form->LabelURL->textFormat();
        size = form->LabelURL->size();
        sizeHint = form->LabelURL->sizeHint();
    });
    form->ShowNotice(address.toStdString());
    QVERIFY(steps.Ran());
    QCOMPARE(text, shown);
    QCOMPARE(format, Qt::PlainText);
    QCOMPARE(size, sizeHint);   // sized to its text
}

void TestUpdate::clickOpensTheAddressAndKeepsTheNoticeOpen()
{
    ShellRecorder shell;
    bool openAfterClicks = false;
    ModalSteps steps(*form, [&] {
        QTest::mouseClick(form->LabelURL, Qt::LeftButton);
        QTest::mouseClick(form->LabelURL, Qt::LeftButton);
        QTest::mouseClick(form->LabelURL, Qt::RightButton);
        openAfterClicks = form->isVisible();
        QTest::mouseClick(form->ButtonOk, Qt::LeftButton);
    });
    form->ShowNotice("<b>x</b>");
    QVERIFY(openAfterClicks);
    QVERIFY(!steps.LeftOpen());
    QCOMPARE(shell.Addresses(), (QStringList{QStringLiteral("<b>x</b>"), QStringLiteral("<b>x</b>")}));
}

void TestUpdate::closingTheNotice_data()
{
    QTest::addColumn<int>("key");   // 0: the OK button
    QTest::newRow("OK") << 0;
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("Esc") << int(Qt::Key_Escape);
}

void TestUpdate::closingTheNotice()
{
    QFETCH(int, key);
    ShellRecorder shell;
    ModalSteps steps(*form, [&] {
        if (key == 0)
            QTest::mouseClick(form->ButtonOk, Qt::LeftButton);
        else
            PressKey(*form, Qt::Key(key));
    });
    form->ShowNotice("http://kv/");
    QVERIFY(steps.Ran());
    QVERIFY(!steps.LeftOpen());
    QVERIFY(shell.Addresses().isEmpty());
}

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
