#include "BenchWindow.h"

#include "AppWindows.h"

#include <QApplication>
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
