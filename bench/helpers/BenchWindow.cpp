#include "BenchWindow.h"

#include "AppWindows.h"
#include "ChatLogFiles.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

void UseOffscreenPlatformUnlessSet()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

void UseFormFont()
{
    InstallFontSubstitutions();
    QApplication::setFont(FormFont());
}

std::unique_ptr<TFormMain> OpenBenchWindow(const QString& settingsPath, const std::function<void(TFormMain&)>& prepare)
{
    std::unique_ptr<TFormMain> window = CreateApplicationWindows(settingsPath.toStdString());
    window->FirstActivate = false;
    if (prepare)
        prepare(*window);
    window->show();
    Settle(100);
    return window;
}

void AimAtBenchServer(TFormMain& window)
{
    window.Socket1->Address = "127.0.0.1";
    window.Socket1->Port = 9010;
}

std::string BenchServerLogFolder(const TFormMain& window)
{
    const std::string folder = window.LogFolder + "/" + chatlog::ServerFolderName("127.0.0.1", 9010);
    QDir().mkpath(QString::fromStdString(folder));
    return folder;
}

void Settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t m = values.size() / 2;
    return values.size() % 2 ? values[m] : (values[m - 1] + values[m]) / 2;
}
