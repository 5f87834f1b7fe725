// Starting and stopping the protocol handler through OpenPort and ClosePort.
#include "monitor/JobStart.h"
#include "monitor/Memory.h"
#include "monitor/PortClose.h"
#include "ports/PortList.h"
#include "serial/SerialLinkTest.h"

namespace vela::test {
namespace {

bool NamedEventExists(const wchar_t* name) {
    UniqueHandle event(::OpenEventW(SYNCHRONIZE, FALSE, name));
    return event.Valid();
}

using ProtocolHandler = SerialLinkTest;

TEST_F(ProtocolHandler, OpenPortStartsTheThreadWithBothNamedEvents) {
    ASSERT_TRUE(Open());
    EXPECT_EQ(port_, Entry(kSerialPort));
    EXPECT_NE(State().m_hThread, nullptr);
    EXPECT_NE(State().m_ThreadId, 0u);
    UniqueHandle start(::OpenEventW(SYNCHRONIZE, FALSE, kStartShutdownEventName));
    UniqueHandle end(::OpenEventW(SYNCHRONIZE, FALSE, kEndShutdownEventName));
    ASSERT_TRUE(start.Valid());
    ASSERT_TRUE(end.Valid());
    EXPECT_EQ(::WaitForSingleObject(start.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(::WaitForSingleObject(end.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

    ASSERT_TRUE(Close());
    // The thread ended on the request and said so.
    EXPECT_EQ(::WaitForSingleObject(end.Get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(State().m_hThread, nullptr);
    EXPECT_EQ(State().m_ThreadId, 0u);
    start.Reset();
    end.Reset();
    EXPECT_FALSE(NamedEventExists(kStartShutdownEventName));
    EXPECT_FALSE(NamedEventExists(kEndShutdownEventName));
}

TEST_F(ProtocolHandler, StopReleasesTheDeviceBeforeItReturns) {
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Close());
    // The device is opened without sharing: only a closed one opens again.
    EXPECT_TRUE(PurgeSerialDevice(kHostDevice));
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Close());
}

TEST_F(ProtocolHandler, OpenPortWithoutNameOrHandleFailsWithInvalidParameter) {
    HANDLE opened = nullptr;
    ::SetLastError(0);
    EXPECT_FALSE(OpenPort(State(), harness_.MonitorHandle(), nullptr, &opened));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    ::SetLastError(0);
    EXPECT_FALSE(
        OpenPort(State(), harness_.MonitorHandle(), const_cast<LPWSTR>(kSerialPort), nullptr));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(State().m_hThread, nullptr);
}

TEST_F(ProtocolHandler, OpenPortForAnUnknownPortFailsWithFileNotFound) {
    HANDLE opened = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x1234));
    ::SetLastError(0);
    EXPECT_FALSE(
        OpenPort(State(), harness_.MonitorHandle(), const_cast<LPWSTR>(L"Nowhere:"), &opened));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(opened, nullptr);
    EXPECT_EQ(State().m_hThread, nullptr);
}

TEST_F(ProtocolHandler, PortNamesMatchIgnoringCase) {
    ASSERT_TRUE(Open(L"SERIAL21:"));
    EXPECT_EQ(port_, Entry(kSerialPort));
}

TEST_F(ProtocolHandler, SecondPortCannotOpenWhileAHandlerRuns) {
    ASSERT_TRUE(Open());
    HANDLE second = nullptr;
    EXPECT_FALSE(
        OpenPort(State(), harness_.MonitorHandle(), const_cast<LPWSTR>(kUsbPort), &second));
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(StartProtocolHandler(State(), kUsbPort), kHandlerAlreadyExists);
    EXPECT_EQ(kHandlerAlreadyExists, 0x8007139Fu);
}

TEST_F(ProtocolHandler, PortWithoutDevicePathStopsAtOnceAndOpensAgain) {
    // A broken stop would run out of this shortened wait instead of the full minute.
    TheProtocolHandlerParams().timings.stopWaitMs = 10000;
    for (int job = 0; job < 3; ++job) {
        ASSERT_TRUE(Open(kUsbPort)) << "job " << job;
        UniqueHandle end(::OpenEventW(SYNCHRONIZE, FALSE, kEndShutdownEventName));
        const ULONGLONG started = ::GetTickCount64();
        ASSERT_TRUE(Close()) << "job " << job;
        EXPECT_LT(::GetTickCount64() - started, 5000u);
        // It ended during set-up, not on the request.
        EXPECT_EQ(::WaitForSingleObject(end.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    }
}

TEST_F(ProtocolHandler, DevicePathThatCannotBeOpenedStopsAtOnce) {
    TheProtocolHandlerParams().timings.stopWaitMs = 10000;
    ASSERT_TRUE(Open(kMissingDevicePort));
    ASSERT_TRUE(Close());
    ASSERT_TRUE(Open(kMissingDevicePort));
    ASSERT_TRUE(Close());
}

TEST_F(ProtocolHandler, HandlerThatNeverEndsFailsTheStopAndBlocksTheNextStart) {
    ProtocolHandlerParams& params = TheProtocolHandlerParams();
    params.timings.stopWaitMs = 50;
    // A handler whose thread neither ends nor signals until the test lets it.
    UniqueHandle gate(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    params.startShutdown.Reset(::CreateEventW(nullptr, TRUE, FALSE, kStartShutdownEventName));
    params.endShutdown.Reset(::CreateEventW(nullptr, TRUE, FALSE, kEndShutdownEventName));
    HANDLE thread = ::CreateThread(
        nullptr, 0,
        [](LPVOID gateEvent) -> DWORD {
            ::WaitForSingleObject(static_cast<HANDLE>(gateEvent), INFINITE);
            return 0;
        },
        gate.Get(), 0, nullptr);
    ASSERT_NE(thread, nullptr);
    State().m_hThread = thread;

    EXPECT_FALSE(ClosePort(State(), nullptr));
    EXPECT_TRUE(params.startShutdown.Valid());
    EXPECT_TRUE(params.endShutdown.Valid());
    EXPECT_EQ(State().m_hThread, thread);
    EXPECT_FALSE(Open());

    ::SetEvent(gate.Get());
    ASSERT_EQ(::WaitForSingleObject(thread, kJobWaitMs), WAIT_OBJECT_0);
    // Once it has ended, the stop succeeds and the handler can start again.
    EXPECT_TRUE(ClosePort(State(), nullptr));
    EXPECT_FALSE(params.endShutdown.Valid());
    EXPECT_EQ(State().m_hThread, nullptr);
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Close());
}

TEST_F(ProtocolHandler, ClosePortWithoutAHandlerFailsAtOnce) {
    EXPECT_FALSE(ClosePort(State(), Entry(kSerialPort)));
}

TEST_F(ProtocolHandler, ClosePortReleasesTheEntrysDevicePath) {
    ASSERT_TRUE(Open());
    PortEntry* entry = Entry(kSerialPort);
    entry->devicePath = AllocString(kHostDevice);
    ASSERT_TRUE(Close());
    EXPECT_EQ(entry->devicePath, nullptr);
}

TEST_F(ProtocolHandler, OnlyAHandlerWithADevicePathTakesLines) {
    EXPECT_FALSE(ProtocolHandlerHasSerialDevice());
    ASSERT_TRUE(Open());
    EXPECT_TRUE(ProtocolHandlerHasSerialDevice());
    ASSERT_TRUE(Close());
    EXPECT_FALSE(ProtocolHandlerHasSerialDevice());
    ASSERT_TRUE(Open(kUsbPort));
    EXPECT_FALSE(ProtocolHandlerHasSerialDevice());
    ASSERT_TRUE(Close());
}

TEST_F(ProtocolHandler, TableEntriesOpenAndCloseThePort) {
    LPMONITOR2 table = table_;
    ASSERT_NE(table->pfnOpenPort, nullptr);
    ASSERT_NE(table->pfnClosePort, nullptr);
    HANDLE opened = nullptr;
    ASSERT_TRUE(
        table->pfnOpenPort(harness_.MonitorHandle(), const_cast<LPWSTR>(kSerialPort), &opened));
    EXPECT_EQ(opened, Entry(kSerialPort));
    EXPECT_TRUE(table->pfnClosePort(opened));
    EXPECT_EQ(State().m_hThread, nullptr);
}

TEST_F(ProtocolHandler, TimingsDefaultToTheProductValues) {
    const ProtocolTimings timings;
    EXPECT_EQ(timings.stopWaitMs, 60000u);
    EXPECT_EQ(timings.send.resendOkWaitMs, 500u);
    EXPECT_EQ(timings.send.pokeAfterMs, 30000u);
}

} // namespace
} // namespace vela::test
