// The monitor runs inside the spooler service, which has no console: its
// diagnostics go to the debug log or a debugger, never to standard output.
#include "usb/UsbTransport.h"
#include "sim/MonitorHarness.h"
#include "sim/SimulatedUsbPrinter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <io.h>
#include <string>

namespace vela::test {
namespace {

// What reaches file descriptor 1 while it lives; Stop returns it.
class StandardOutputCapture {
  public:
    StandardOutputCapture() : file_(std::tmpfile()) {
        std::fflush(stdout);
        saved_ = ::_dup(1);
        if (file_ != nullptr) {
            ::_dup2(::_fileno(file_), 1);
        }
    }
    ~StandardOutputCapture() { Stop(); }
    StandardOutputCapture(const StandardOutputCapture&) = delete;
    StandardOutputCapture& operator=(const StandardOutputCapture&) = delete;

    bool Ready() const { return file_ != nullptr && saved_ >= 0; }
    std::string Stop() {
        std::string text;
        if (saved_ < 0) {
            return text;
        }
        std::fflush(stdout);
        ::_dup2(saved_, 1);
        ::_close(saved_);
        saved_ = -1;
        std::rewind(file_);
        for (int c = std::fgetc(file_); c != EOF; c = std::fgetc(file_)) {
            text += static_cast<char>(c);
        }
        std::fclose(file_);
        file_ = nullptr;
        return text;
    }

  private:
    FILE* file_;
    int saved_ = -1;
};

TEST(ConsoleSilence, DiscoveryAndUsbFailuresWriteNothingToStandardOutput) {
    MonitorHarness harness;
    SimulatedUsbPrinter printer(harness.clock);
    printer.failGetClassDevs = true;
    harness.platform.usb = &printer;
    harness.deviceSetup.devices = {{true, L"Quarlend1:"}};

    StandardOutputCapture capture;
    ASSERT_TRUE(capture.Ready());
    ASSERT_TRUE(harness.Attach());
    ASSERT_NE(harness.Initialize(), nullptr);
    EXPECT_FALSE(UsbTransport().OpenDevice());
    harness.Unload();
    EXPECT_EQ(capture.Stop(), "");
}

} // namespace
} // namespace vela::test
