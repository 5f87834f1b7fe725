// A monitor loaded as the spooler loads it, with a simulated USB printer, a fake
// spooler and time on a fake clock, and helpers that run a document through the
// table as the spooler would.
#pragma once

#include "usb/UsbTransport.h"
#include "sim/FakeSpooler.h"
#include "sim/JobStream.h"
#include "sim/LogFile.h"
#include "sim/MonitorHarness.h"
#include "sim/SimulatedUsbPrinter.h"
#include "monitor/PortSession.h"
#include "ports/PortList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vela::test {

// A job stream of records records whose bytes are 7 times their offset in the stream.
inline std::vector<uint8_t> JobStream(int32_t announced, int32_t records) {
    return MakeJob(announced, MakeRecords(records, 4 * 7, 7));
}

inline size_t CountOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class JobTestBed {
  public:
    JobTestBed() : printer(harness.clock) {
        harness.platform.spooler = &spooler;
        harness.platform.usb = &printer;
        harness.platform.deviceSetup = &printer;
        ResetLog();
    }
    ~JobTestBed() {
        CloseHandles();
        // The ports' connections go with the port list, while the printer exists.
        harness.Unload();
    }
    JobTestBed(const JobTestBed&) = delete;
    JobTestBed& operator=(const JobTestBed&) = delete;

    // Loads the monitor and makes a port for the documents.
    void Load() {
        ASSERT_TRUE(harness.Attach());
        table = harness.Initialize();
        ASSERT_NE(table, nullptr);
        // Discovery made the port of the printer.
        port =
            FindPortEntry(harness.Context()->firstPort, SimulatedUsbPrinter::PortName(0).c_str());
        ASSERT_NE(port, nullptr);
    }
    // The spooler's handle for the current port: the one set, or one OpenPort gave
    // for the port on its first use and kept open for all its documents.
    HANDLE Handle() {
        if (handle != nullptr) {
            return handle;
        }
        HANDLE& opened = opened_[port];
        if (opened == nullptr) {
            std::wstring name = port->name;
            EXPECT_TRUE(table->pfnOpenPort(harness.MonitorHandle(), &name[0], &opened));
        }
        return opened;
    }
    void CloseHandles() {
        for (auto& kept : opened_) {
            if (kept.second != nullptr) {
                table->pfnClosePort(kept.second);
            }
        }
        opened_.clear();
    }
    BOOL StartDoc(DWORD jobId = 7) {
        std::wstring name = spooler.printerName;
        return table->pfnStartDocPort(Handle(), &name[0], jobId, 1, nullptr);
    }
    // Sends the stream in pieces of the given size, as the spooler would.
    void Write(const std::vector<uint8_t>& stream, size_t piece = 4096) {
        for (size_t offset = 0; offset < stream.size(); offset += piece) {
            const size_t size = std::min(piece, stream.size() - offset);
            std::vector<uint8_t> copy(stream.begin() + static_cast<ptrdiff_t>(offset),
                                      stream.begin() + static_cast<ptrdiff_t>(offset + size));
            DWORD written = 0;
            table->pfnWritePort(Handle(), copy.data(), static_cast<DWORD>(size), &written);
        }
    }
    BOOL EndDoc() { return table->pfnEndDocPort(Handle()); }
    // The port's document state, as StartDocPort and WritePort leave it.
    PortSession& Session() { return *SessionOf(harness.State(), port); }
    PortDocument& Document() { return Session().document; }
    size_t Polls() const {
        return static_cast<size_t>(
            std::count(harness.clock.sleeps.begin(), harness.clock.sleeps.end(), 5000u));
    }

    FakeSpooler spooler;
    MonitorHarness harness;
    SimulatedUsbPrinter printer;
    LPMONITOR2 table = nullptr;
    PortEntry* port = nullptr;
    // A handle the test opened itself, used instead of the kept ones.
    HANDLE handle = nullptr;

  private:
    std::map<PortEntry*, HANDLE> opened_;
};

} // namespace vela::test
