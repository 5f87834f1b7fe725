// The monitor installed from nothing as an installer does it (the DLLs into the
// system folder, AddMonitorW, which loads and initialises it), then its transceive
// commands through the spooler's ",XcvMonitor" handle, as the port screens send them.
#include "spooler/SpoolerTestBed.h"

#include <cstring>
#include <cwchar>

namespace vela::test::spooler {
namespace {

constexpr wchar_t kScratchPort[] = L"Vela Scratch:";

std::vector<MONITOR_INFO_2W> Monitors(std::vector<BYTE>& buffer) {
    DWORD needed = 0;
    DWORD count = 0;
    ::EnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &count);
    buffer.assign(needed, 0);
    if (!::EnumMonitorsW(nullptr, 2, buffer.data(), needed, &needed, &count)) {
        return {};
    }
    const auto* first = reinterpret_cast<const MONITOR_INFO_2W*>(buffer.data());
    return std::vector<MONITOR_INFO_2W>(first, first + count);
}

TEST(SpoolerInstall, FromNothingThroughAddMonitorThenTheTransceiveCommands) {
    // Whatever an earlier run installed goes first.
    for (const PrinterSetup& setup : AllPrinters()) {
        ASSERT_EQ(DeletePrinter(setup.printer), 0u);
    }
    const DWORD removed = DeleteMonitor();
    ASSERT_TRUE(removed == ERROR_SUCCESS || removed == ERROR_UNKNOWN_PRINT_MONITOR) << removed;
    ASSERT_EQ(DeleteMonitorLibraries(), 0u);

    ASSERT_EQ(CopyMonitorLibraries(ProgramFolder(1)), 0u);
    // The spooler loads the DLL and calls InitializePrintMonitor2; a refused load
    // or initialisation fails the call and takes the monitor's key away again.
    ASSERT_EQ(AddMonitor(), 0u);
    EXPECT_EQ(AddMonitor(), static_cast<DWORD>(ERROR_PRINT_MONITOR_ALREADY_INSTALLED));
    std::vector<BYTE> buffer;
    int listed = 0;
    for (const MONITOR_INFO_2W& monitor : Monitors(buffer)) {
        if (std::wcscmp(monitor.pName, kMonitorName) == 0) {
            ++listed;
            EXPECT_STREQ(monitor.pDLLName, kMonitorLibrary);
        }
    }
    EXPECT_EQ(listed, 1);

    struct Row {
        const wchar_t* command;
        const wchar_t* input;
        DWORD status;
        // The 32-bit answer, or -1 for none; "MonitorUI" answers with a text.
        long long answer;
    };
    const Row rows[] = {
        {L"MonitorUI", L"", ERROR_SUCCESS, -1},
        {L"PortIsValid", kScratchPort, ERROR_SUCCESS, -1},
        {L"PortExists", kScratchPort, ERROR_SUCCESS, 0},
        {L"AddPort", kScratchPort, ERROR_SUCCESS, -1},
        {L"AddPort", kScratchPort, ERROR_ALREADY_EXISTS, -1},
        {L"PortExists", kScratchPort, ERROR_SUCCESS, 1},
        {L"DeletePort", kScratchPort, ERROR_SUCCESS, -1},
        {L"DeletePort", kScratchPort, ERROR_FILE_NOT_FOUND, -1},
        {L"PortExists", kScratchPort, ERROR_SUCCESS, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "\"" << row.command << "\" of \"" << row.input << "\"");
        wchar_t output[MAX_PATH] = {};
        DWORD needed = 0;
        const bool wantsOutput = row.answer >= 0 || std::wcscmp(row.command, L"MonitorUI") == 0;
        ASSERT_EQ(MonitorCommand(row.command, row.input, wantsOutput ? output : nullptr,
                                 wantsOutput ? sizeof(output) : 0, &needed),
                  row.status);
        if (std::wcscmp(row.command, L"MonitorUI") == 0) {
            EXPECT_STREQ(output, kMonitorUiLibrary);
        } else if (row.answer >= 0) {
            DWORD answer = 0;
            std::memcpy(&answer, output, sizeof(answer));
            EXPECT_EQ(needed, sizeof(DWORD));
            EXPECT_EQ(answer, static_cast<DWORD>(row.answer));
        }
    }

    // The ports ("AddPort" again) and printers the other tests print on.
    EXPECT_EQ(EnsurePrinters(AllPrinters()), "");
}

} // namespace
} // namespace vela::test::spooler
