// kvchat-server: the local chat server, or with --bots a handful of chatting bots.

#include "BotSwarm.h"
#include "ChatServer.h"
#include "Cp932.h"
#include "ServerLog.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <tuple>
#include <utility>

namespace {

[[noreturn]] void Fail(const QString& message)
{
    std::fprintf(stderr, "kvchat-server: %s\n", message.toLocal8Bit().constData());
    std::exit(2);
}

long long IntegerOption(const QCommandLineParser& parser, const QString& name, long long min, long long max)
{
    bool ok = false;
    const long long value = parser.value(name).toLongLong(&ok);
    if (!ok || value < min || value > max)
        Fail(QStringLiteral("--%1 wants a whole number from %2 to %3").arg(name).arg(min).arg(max));
    return value;
}

double SecondsOption(const QCommandLineParser& parser, const QString& name, double min)
{
    bool ok = false;
    const double value = parser.value(name).toDouble(&ok);
    if (!ok || value < min || value > 86400)
        Fail(QStringLiteral("--%1 wants a number of seconds from %2 to 86400").arg(name).arg(min));
    return value;
}

QHostAddress BindAddress(const QString& text)
{
    if (text == QLatin1String("localhost"))
        return QHostAddress(QHostAddress::LocalHost);
    QHostAddress address;
    if (!address.setAddress(text))
        Fail(QStringLiteral("--bind wants an IP address, not \"%1\"").arg(text));
    return address;
}

std::pair<QString, quint16> HostAndPort(const QString& text)
{
    const qsizetype colon = text.lastIndexOf(u':');
    bool ok = false;
    const uint port = colon > 0 ? text.mid(colon + 1).toUInt(&ok) : 0;
    if (!ok || port == 0 || port > 65535)
        Fail(QStringLiteral("--connect wants HOST:PORT, not \"%1\"").arg(text));
    QString host = text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    return {host, static_cast<quint16>(port)};
}

int RunServer(QCoreApplication& app, const QCommandLineParser& parser)
{
    ServerOptions options;
    options.bindAddress = BindAddress(parser.value(QStringLiteral("bind")));
    options.port = static_cast<quint16>(IntegerOption(parser, QStringLiteral("port"), 0, 65535));
    options.lifeIntervalSeconds = static_cast<int>(IntegerOption(parser, QStringLiteral("life-interval"), 0, 86400));
    options.maxUsers = static_cast<int>(IntegerOption(parser, QStringLiteral("max-users"), 1, 30000));
    const auto minVersion = ParseVersion(parser.value(QStringLiteral("min-version")));
    if (!minVersion)
        Fail(QStringLiteral("--min-version wants a.b.c with each part from 0 to 255"));
    options.minVersion = *minVersion;

    ChatServer server(options);
    if (!server.Listen())
        Fail(QStringLiteral("cannot listen on %1:%2: %3")
                 .arg(options.bindAddress.toString())
                 .arg(options.port)
                 .arg(server.ErrorString()));
    LogLine(QStringLiteral("listening on %1:%2").arg(server.Address().toString()).arg(server.Port()));
    return app.exec();
}

int RunBots(QCoreApplication& app, const QCommandLineParser& parser)
{
    BotSwarmOptions options;
    options.count = static_cast<int>(IntegerOption(parser, QStringLiteral("bots"), 1, 1000));
    std::tie(options.host, options.port) = HostAndPort(parser.value(QStringLiteral("connect")));
    options.intervalSeconds = SecondsOption(parser, QStringLiteral("bot-interval"), 0.01);
    if (parser.isSet(QStringLiteral("bot-room"))) {
        const auto room = cp932::FromUtf8(parser.value(QStringLiteral("bot-room")).toStdString());
        if (!room || room->empty())
            Fail(QStringLiteral("--bot-room wants a room name that Shift-JIS can hold"));
        options.room = QByteArray::fromStdString(*room);
    }
    // Names travel in Shift-JIS, as the clients' own do.
    const auto prefix = cp932::FromUtf8(parser.value(QStringLiteral("bot-name")).toStdString());
    if (!prefix || prefix->empty())
        Fail(QStringLiteral("--bot-name wants a name that Shift-JIS can hold"));
    options.namePrefix = QByteArray::fromStdString(*prefix);

    BotSwarm swarm(options);
    QObject::connect(&swarm, &BotSwarm::finished, &app, &QCoreApplication::exit);
    swarm.Start();
    return app.exec();
}

// The usage names the program as the user calls it, not by the path it was started from.
QString Usage(const QCommandLineParser& parser)
{
    QString text = parser.helpText();
    const QString program = QCoreApplication::arguments().value(0);
    const qsizetype at = text.indexOf(program);
    if (!program.isEmpty() && at >= 0)
        text.replace(at, program.size(), QCoreApplication::applicationName());
    return text;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kvchat-server"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KV_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Local chat server for KVチャット. With --bots it runs chatting bots against a server instead."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("port"), QStringLiteral("TCP port to listen on; 0 picks a free one."), QStringLiteral("port"), QStringLiteral("9010")},
        {QStringLiteral("bind"), QStringLiteral("Address to listen on."), QStringLiteral("address"), QStringLiteral("127.0.0.1")},
        {QStringLiteral("life-interval"), QStringLiteral("Seconds between keep-alive messages; 0 sends none."), QStringLiteral("seconds"), QStringLiteral("60")},
        {QStringLiteral("min-version"), QStringLiteral("Clients older than this are asked to update."), QStringLiteral("a.b.c"), QStringLiteral("0.0.0")},
        {QStringLiteral("max-users"), QStringLiteral("Most users logged in at once."), QStringLiteral("count"), QStringLiteral("1000")},
        {QStringLiteral("bots"), QStringLiteral("Run this many bots instead of serving."), QStringLiteral("count")},
        {QStringLiteral("connect"), QStringLiteral("Server the bots connect to."), QStringLiteral("host:port"), QStringLiteral("127.0.0.1:9010")},
        {QStringLiteral("bot-room"), QStringLiteral("Room the bots enter (default: the lobby)."), QStringLiteral("name")},
        {QStringLiteral("bot-interval"), QStringLiteral("Mean seconds between two lines of one bot."), QStringLiteral("seconds"), QStringLiteral("10")},
        {QStringLiteral("bot-name"), QStringLiteral("Bots are named this followed by 1, 2, ..."), QStringLiteral("prefix"), QStringLiteral("Bot")},
    });
    // Mistyped options show the usage and end with status 2, like the client's.
    if (!parser.parse(QCoreApplication::arguments()) || !parser.positionalArguments().isEmpty()) {
        const QString error = parser.errorText().isEmpty()
            ? QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first())
            : parser.errorText();
        std::fprintf(stderr, "kvchat-server: %s\n\n%s", qPrintable(error), qPrintable(Usage(parser)));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(Usage(parser)), stdout);
        return 0;
    }
    parser.process(app);   // --version prints and ends here

    return parser.isSet(QStringLiteral("bots")) ? RunBots(app, parser) : RunServer(app, parser);
}
