#include "FontPrewarm.h"

#include <dlfcn.h>

FontConfigPrewarm::FontConfigPrewarm()
{
    // The toolkit's font database reads fontconfig's configuration (dozens of
    // XML files) on first use, after the display connection is up. fontconfig
    // keeps one configuration per process and builds it thread-safely, so
    // building it here first leaves the toolkit nothing to wait for. The toolkit
    // has already loaded the library; without it there is nothing to do.
    using InitFunction = int (*)();
    auto init = reinterpret_cast<InitFunction>(::dlsym(RTLD_DEFAULT, "FcInit"));
    if (init == nullptr)
        return;
    loader_ = std::thread([init] { init(); });
}

void FontConfigPrewarm::Wait()
{
    if (loader_.joinable())
        loader_.join();
}
