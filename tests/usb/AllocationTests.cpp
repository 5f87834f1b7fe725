// Records go from the spooler's buffer into the packet without any heap block
// of their own. Every operator new of this executable is counted; the printer
// here answers without allocating, so what is counted is the monitor's.
#include "monitor/MonitorInstance.h"
#include "usb/UsbTransport.h"
#include "usb/JobFlags.h"
#include "sim/FakePlatform.h"
#include "sim/JobStream.h"
#include "monitor/WritePort.h"
#include "monitor/PortSession.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

// The replacements below pair malloc with free; GCC cannot see that pairing
// through the replaced operators and warns about it.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
std::atomic<long> allocations{0};

void* CountedAllocation(std::size_t size) {
    ++allocations;
    return std::malloc(size == 0 ? 1 : size);
}
} // namespace

void* operator new(std::size_t size) {
    if (void* block = CountedAllocation(size)) {
        return block;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return CountedAllocation(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return CountedAllocation(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}

namespace vela::test {
namespace {

// A willing printer with plenty of room that keeps nothing but counts.
class QuietPrinter final : public UsbDevice, public DeviceSetup {
  public:
    HDEVINFO SetupDiGetClassDevsW(const GUID*, PCWSTR, HWND, DWORD) override { return Set(); }
    BOOL SetupDiEnumDeviceInfo(HDEVINFO, DWORD index, PSP_DEVINFO_DATA) override {
        return NoMoreAfterFirst(index);
    }
    HKEY SetupDiOpenDevRegKey(HDEVINFO, PSP_DEVINFO_DATA, DWORD, DWORD, DWORD, REGSAM) override {
        return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x6E7));
    }
    LSTATUS RegQueryValueExW(HKEY, LPCWSTR, LPDWORD, LPDWORD type, LPBYTE data,
                             LPDWORD size) override {
        const wchar_t name[] = L"Quiet:";
        if (type != nullptr) {
            *type = REG_SZ;
        }
        std::memcpy(data, name, sizeof(name));
        *size = sizeof(name);
        return ERROR_SUCCESS;
    }
    LSTATUS RegCloseKey(HKEY) override { return ERROR_SUCCESS; }
    BOOL SetupDiEnumDeviceInterfaces(HDEVINFO, PSP_DEVINFO_DATA, const GUID*, DWORD index,
                                     PSP_DEVICE_INTERFACE_DATA data) override {
        data->Flags = SPINT_ACTIVE;
        return NoMoreAfterFirst(index);
    }
    BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO, PSP_DEVICE_INTERFACE_DATA,
                                          PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD,
                                          PDWORD required, PSP_DEVINFO_DATA) override {
        if (detail == nullptr) {
            *required = 64;
            ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        detail->DevicePath[0] = L'Q';
        return TRUE;
    }
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO) override { return TRUE; }
    HANDLE CreateFileW(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                       HANDLE) override {
        return Handle();
    }
    BOOL CloseHandle(HANDLE) override { return TRUE; }
    BOOL WinUsb_Initialize(HANDLE, PWINUSB_INTERFACE_HANDLE handle) override {
        *handle = Handle();
        return TRUE;
    }
    BOOL WinUsb_Free(WINUSB_INTERFACE_HANDLE) override { return TRUE; }
    BOOL WinUsb_QueryDeviceInformation(WINUSB_INTERFACE_HANDLE, ULONG, PULONG, PVOID) override {
        return TRUE;
    }
    BOOL WinUsb_QueryInterfaceSettings(WINUSB_INTERFACE_HANDLE, UCHAR,
                                       PUSB_INTERFACE_DESCRIPTOR descriptor) override {
        descriptor->bNumEndpoints = 2;
        return TRUE;
    }
    BOOL WinUsb_QueryPipe(WINUSB_INTERFACE_HANDLE, UCHAR, UCHAR index,
                          PWINUSB_PIPE_INFORMATION pipe) override {
        pipe->PipeType = UsbdPipeTypeBulk;
        pipe->PipeId = index == 0 ? 0x81 : 0x01;
        return TRUE;
    }
    BOOL WinUsb_SetPipePolicy(WINUSB_INTERFACE_HANDLE, UCHAR, ULONG, ULONG, PVOID) override {
        return TRUE;
    }
    BOOL WinUsb_ReadPipe(WINUSB_INTERFACE_HANDLE, UCHAR, PUCHAR buffer, ULONG, PULONG transferred,
                         LPOVERLAPPED) override {
        // Room for 1000 records; status 1 at preparation, then "saving"; "L" accepted.
        int32_t value = 1;
        if (lastCode_ == 'F') {
            value = 1000;
        } else if (lastCode_ == 'v') {
            value = prepared_ ? 19 : 1;
            prepared_ = true;
        }
        std::memcpy(buffer, &value, sizeof(value));
        *transferred = sizeof(value);
        return TRUE;
    }
    BOOL WinUsb_WritePipe(WINUSB_INTERFACE_HANDLE, UCHAR, PUCHAR buffer, ULONG length,
                          PULONG transferred, LPOVERLAPPED) override {
        lastCode_ = buffer[0];
        if (lastCode_ == '/') {
            recordBytes += length;
        }
        *transferred = length;
        return TRUE;
    }

    ULONG recordBytes = 0;

  private:
    static HDEVINFO Set() { return reinterpret_cast<HDEVINFO>(static_cast<ULONG_PTR>(0x5E7)); }
    static HANDLE Handle() { return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x4A)); }
    static BOOL NoMoreAfterFirst(DWORD index) {
        if (index == 0) {
            return TRUE;
        }
        ::SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }

    uint8_t lastCode_ = 0;
    bool prepared_ = false;
};

// The heap blocks of one document of the given records, written in six pieces
// that cut records anywhere, each WritePort on a connection of its own.
long AllocationsForDocument(int32_t records, std::vector<size_t> pieceSizes) {
    FakeClock clock;
    QuietPrinter printer;
    Platform platform = Win32Platform();
    platform.usb = &printer;
    platform.deviceSetup = &printer;
    platform.clock = &clock;
    InstallPlatform(platform);
    // A USB port's document started through its handle, its session made before
    // the count starts; the monitor lock as process attach makes it.
    MonitorState& state = TheMonitorState();
    const bool ownLock = state.lockReady == 0;
    if (ownLock) {
        ::InitializeCriticalSection(&state.lock);
    }
    PortSession session(nullptr);
    PortEntry entry{};
    entry.session = &session;
    PortHandle handle;
    handle.entry = &entry;
    session.document.ClaimFor(&handle);
    session.document.LeaveCall(DocumentState::Streaming);

    std::vector<uint8_t> stream = BuildJob(records, records, [](size_t, uint8_t* record) {
        std::memset(record, 0x5A, kJobRecordSize);
    });
    // The fake clock keeps its waits in a vector: room for them is made now.
    clock.sleeps.reserve(4);
    DWORD written = 0;
    const long before = allocations.load();
    size_t from = 0;
    for (size_t piece : pieceSizes) {
        EXPECT_TRUE(
            WritePort(state, &handle, stream.data() + from, static_cast<DWORD>(piece), &written));
        from += piece;
    }
    const long during = allocations.load() - before;

    InstallPlatform(Win32Platform());
    if (ownLock) {
        ::DeleteCriticalSection(&state.lock);
    }
    EXPECT_EQ(from, stream.size());
    EXPECT_EQ(session.document.transfer.sentCount, records);
    EXPECT_GT(printer.recordBytes, static_cast<ULONG>(records) * 20u);
    return during;
}

TEST(Allocation, WritePortAllocatesNothingPerRecord) {
    // Ten times the records in as many WritePort calls: not one block more. The
    // first document only warms up what the process makes once.
    AllocationsForDocument(600, {4, 1000, 7, 3000, 13, 7980});
    const long small = AllocationsForDocument(600, {4, 1000, 7, 3000, 13, 7980});
    const long large = AllocationsForDocument(6000, {4, 10000, 7, 30000, 13, 79980});
    EXPECT_EQ(small, large);
}

} // namespace
} // namespace vela::test
