#include "platform/Platform.h"

namespace vela {
namespace {

// Installed at process attach, before any other thread can call into the monitor.
bool platformInstalled = false;
Platform installedPlatform{};

} // namespace

const Platform& CurrentPlatform() {
    if (!platformInstalled) {
        return Win32Platform();
    }
    return installedPlatform;
}

void InstallPlatform(const Platform& platform) {
    installedPlatform = platform;
    platformInstalled = true;
}

} // namespace vela
