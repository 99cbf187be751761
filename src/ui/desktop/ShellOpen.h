#pragma once
// The desktop's "open" operation on a web address; failures are ignored.

#include <QString>

#include <functional>

void ShellOpen(const QString& address);

// Tests observe the addresses here instead of starting a browser.
void SetShellOpenInterceptor(std::function<void(const QString&)> interceptor);
