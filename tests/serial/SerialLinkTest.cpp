#include "serial/SerialLinkTest.h"

#include "platform/Handles.h"
#include "ports/PortList.h"

#include <algorithm>
#include <cstdio>

namespace vela::test {
namespace {

std::mutex captureLock;
std::vector<std::string>* capturedTexts = nullptr;

} // namespace

DebuggerOutputCapture::DebuggerOutputCapture() {
    std::lock_guard<std::mutex> guard(captureLock);
    capturedTexts = new std::vector<std::string>();
    handler_ = ::AddVectoredExceptionHandler(1, OnException);
}

DebuggerOutputCapture::~DebuggerOutputCapture() {
    ::RemoveVectoredExceptionHandler(handler_);
    std::lock_guard<std::mutex> guard(captureLock);
    delete capturedTexts;
    capturedTexts = nullptr;
}

std::vector<std::string> DebuggerOutputCapture::Texts() const {
    std::lock_guard<std::mutex> guard(captureLock);
    return *capturedTexts;
}

bool DebuggerOutputCapture::Contains(const std::string& text) const {
    const std::vector<std::string> texts = Texts();
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

LONG CALLBACK DebuggerOutputCapture::OnException(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    if (record.ExceptionCode == DBG_PRINTEXCEPTION_C && record.NumberParameters >= 2) {
        const auto* text = reinterpret_cast<const char*>(record.ExceptionInformation[1]);
        std::lock_guard<std::mutex> guard(captureLock);
        if (capturedTexts != nullptr && text != nullptr) {
            capturedTexts->push_back(text);
        }
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

ClockTicker::ClockTicker(FakeClock& clock, DWORD step)
    : thread_([this, &clock, step] {
          while (running_) {
              clock.Advance(step);
              ::Sleep(2);
          }
      }) {}

ClockTicker::~ClockTicker() {
    running_ = false;
    thread_.join();
}

void SerialLinkTest::SetUp() {
    savedTimings_ = TheProtocolTimings();
    harness_.platform.spooler = &spooler_;
    harness_.platform.serialDevices = &devices_;
    harness_.registry.SetPortValue(kSerialPort, kHostDevice);
    harness_.registry.SetPortValue(kUsbPort, L"");
    harness_.registry.SetPortValue(kMissingDevicePort, L"\\\\.\\COM99");
    ASSERT_TRUE(harness_.Attach());
    table_ = harness_.Initialize();
    ASSERT_NE(table_, nullptr);
    // Whatever an earlier test left on the monitor's end of the line.
    ASSERT_TRUE(PurgeSerialDevice(kHostDevice)) << "COM21 missing: is the pty pair linked?";
}

void SerialLinkTest::TearDown() {
    if (port_ != nullptr) {
        EXPECT_TRUE(Close());
    }
    firmware_.reset();
    TheProtocolTimings() = savedTimings_;
}

void SerialLinkTest::StartFirmware(const FirmwareOptions& options) {
    firmware_ = std::make_unique<SimulatedFirmware>(options);
    ASSERT_TRUE(firmware_->Start(kFirmwareDevice)) << "COM22 missing: is the pty pair linked?";
}

BOOL SerialLinkTest::Open(const wchar_t* name) {
    HANDLE opened = nullptr;
    const BOOL result =
        table_->pfnOpenPort(harness_.MonitorHandle(), const_cast<LPWSTR>(name), &opened);
    if (result) {
        port_ = opened;
    }
    return result;
}

BOOL SerialLinkTest::Close() {
    const BOOL result = table_->pfnClosePort(port_);
    if (result) {
        port_ = nullptr;
    }
    return result;
}

BOOL SerialLinkTest::StartDoc(DWORD jobId) {
    std::wstring printer = spooler_.printerName;
    return table_->pfnStartDocPort(port_, &printer[0], jobId, 1, nullptr);
}

BOOL SerialLinkTest::Write(const std::string& text, size_t piece) {
    for (size_t offset = 0; offset < text.size(); offset += piece) {
        std::string part = text.substr(offset, piece);
        DWORD written = 0;
        if (!table_->pfnWritePort(port_, reinterpret_cast<LPBYTE>(&part[0]),
                                  static_cast<DWORD>(part.size()), &written)) {
            return FALSE;
        }
        EXPECT_EQ(written, part.size());
    }
    return TRUE;
}

BOOL SerialLinkTest::EndDoc() {
    return table_->pfnEndDocPort(port_);
}

void SerialLinkTest::Print(const std::string& text, size_t piece) {
    ASSERT_TRUE(StartDoc());
    ASSERT_TRUE(Write(text, piece));
    ASSERT_TRUE(EndDoc());
}

bool SerialLinkTest::LookUntil(const std::wstring& text) {
    for (int look = 0; look < 50; ++look) {
        harness_.clock.Advance(1000);
        if (spooler_.WaitForStatus(text, 200)) {
            return true;
        }
    }
    return false;
}

void SerialLinkTest::EndDocMovingTheClock(bool expected) {
    const UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread end([&] {
        EXPECT_EQ(EndDoc(), expected ? TRUE : FALSE);
        ::SetEvent(done.Get());
    });
    for (int step = 0; step < 200 && ::WaitForSingleObject(done.Get(), 50) == WAIT_TIMEOUT;
         ++step) {
        harness_.clock.Advance(1000);
    }
    end.join();
}

std::string SerialLinkTest::Job(int first, int count) {
    std::string job;
    for (const std::string& command : JobCommands(first, count)) {
        job += command + " ; move\n";
    }
    return job;
}

std::vector<std::string> SerialLinkTest::JobCommands(int first, int count) {
    std::vector<std::string> commands;
    char command[64];
    for (int line = first; line < first + count; ++line) {
        std::snprintf(command, sizeof(command), "G1 X%d.%03d Y%d E0.%04d F1800", line % 200,
                      line * 7 % 1000, line % 150, line % 9973);
        commands.push_back(command);
    }
    return commands;
}

std::vector<std::string> SerialLinkTest::Document(const std::vector<std::string>& commands) {
    std::vector<std::string> document{"M110 N0"};
    document.insert(document.end(), commands.begin(), commands.end());
    document.push_back("M400");
    return document;
}

size_t SerialLinkTest::GreetingLines() const {
    const std::vector<std::string> received = firmware_->Received();
    const bool asked = std::find(received.begin(), received.end(), "M115") != received.end();
    return asked ? kGreetingLines : kGreetingLines - 1;
}

PortEntry* SerialLinkTest::Entry(const wchar_t* name) {
    CriticalSectionLock guard(State().lock);
    return FindPortEntry(harness_.Context()->firstPort, name);
}

} // namespace vela::test
