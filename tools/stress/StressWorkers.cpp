#include "StressWorkers.h"

#include "HostileDocuments.h"

#include <random>

namespace vela::stress {
namespace {

DWORD AddThroughXcv(StressBed& bed, HANDLE admin, const std::wstring& name) {
    DWORD needed = 0;
    return bed.Xcv(admin, L"AddPort", name.c_str(),
                   static_cast<DWORD>((name.size() + 1) * sizeof(WCHAR)), nullptr, 0, &needed);
}

DWORD DeleteThroughXcv(StressBed& bed, HANDLE admin, const std::wstring& name) {
    DWORD needed = 0;
    return bed.Xcv(admin, L"DeletePort", name.c_str(),
                   static_cast<DWORD>((name.size() + 1) * sizeof(WCHAR)), nullptr, 0, &needed);
}

DWORD AddThroughAddPortEx(StressBed& bed, const std::wstring& name) {
    PORT_INFO_1W info{const_cast<LPWSTR>(name.c_str())};
    return bed.table->pfnAddPortEx(bed.monitor, nullptr, 1, reinterpret_cast<LPBYTE>(&info),
                                   nullptr)
               ? 0
               : ::GetLastError();
}

void Expect(StressBed& bed, const std::string& kind, const ModelPort& port, DWORD got,
            DWORD expected) {
    bed.tally.Count(kind, got);
    if (got != expected) {
        bed.tally.Violation(kind + " " + Narrow(port.name) + ": " + std::to_string(got) +
                            ", expected " + std::to_string(expected));
    }
}

void AddPort(StressBed& bed, HANDLE admin, ModelPort& port, std::mt19937& random) {
    std::lock_guard<std::mutex> guard(port.mutex);
    const std::wstring name = PortModel::Spelled(port, random);
    const bool throughXcv = std::bernoulli_distribution(0.5)(random);
    const DWORD result =
        throughXcv ? AddThroughXcv(bed, admin, name) : AddThroughAddPortEx(bed, name);
    const DWORD known = throughXcv ? ERROR_ALREADY_EXISTS : ERROR_INVALID_PARAMETER;
    Expect(bed, throughXcv ? "AddPort (Xcv)" : "AddPortEx", port, result, port.present ? known : 0);
    port.present = port.present || result == 0;
}

void DeletePort(StressBed& bed, HANDLE admin, ModelPort& port, std::mt19937& random) {
    std::lock_guard<std::mutex> guard(port.mutex);
    const DWORD result = DeleteThroughXcv(bed, admin, PortModel::Spelled(port, random));
    const DWORD expected = !port.present ? ERROR_FILE_NOT_FOUND : (port.opens > 0 ? ERROR_BUSY : 0);
    Expect(bed, "DeletePort (Xcv)", port, result, expected);
    port.present = port.present && result != 0;
}

// Open, try to delete while open, enumerate, close. Only one port of the process
// can be open at a time (the protocol handler is process-wide): others get busy.
void OpenAndClosePort(StressBed& bed, HANDLE admin, ModelPort& port, std::mt19937& random) {
    std::wstring name = PortModel::Spelled(port, random);
    HANDLE handle = nullptr;
    {
        std::lock_guard<std::mutex> guard(port.mutex);
        const BOOL opened = bed.table->pfnOpenPort(bed.monitor, &name[0], &handle);
        const DWORD result = opened ? 0 : ::GetLastError();
        bed.tally.Count("OpenPort", result);
        const bool allowed =
            port.present ? (result == 0 || result == ERROR_BUSY) : result == ERROR_FILE_NOT_FOUND;
        if (!allowed) {
            bed.tally.Violation("OpenPort " + Narrow(port.name) + ": " + std::to_string(result));
        }
        if (!opened) {
            return;
        }
        ++port.opens;
    }
    DeletePort(bed, admin, port, random);
    bed.Enumerate(std::uniform_int_distribution<DWORD>(1, 2)(random), bed.tally);
    std::lock_guard<std::mutex> guard(port.mutex);
    const BOOL closed = bed.table->pfnClosePort(handle);
    bed.tally.Count("ClosePort", closed ? 0 : ::GetLastError());
    if (!closed) {
        bed.tally.Violation("ClosePort " + Narrow(port.name) + " failed");
    }
    --port.opens;
}

} // namespace

void RunPortChurn(StressBed& bed, uint32_t seed) {
    std::mt19937 random(seed);
    HANDLE admin = nullptr;
    if (!bed.table->pfnXcvOpenPort(bed.monitor, L",XcvMonitor Vela3dp", SERVER_ACCESS_ADMINISTER,
                                   &admin)) {
        bed.tally.Violation("XcvOpenPort failed");
        return;
    }
    std::uniform_int_distribution<int> operation(0, 9);
    while (!bed.stop) {
        ModelPort& port = bed.model.Pick(random);
        const int chosen = operation(random);
        if (chosen < 3) {
            AddPort(bed, admin, port, random);
        } else if (chosen < 5) {
            DeletePort(bed, admin, port, random);
        } else if (chosen < 7) {
            OpenAndClosePort(bed, admin, port, random);
        } else if (chosen < 9) {
            bed.Enumerate(chosen == 7 ? 1 : 2, bed.tally);
        } else {
            // Counted as skipped (code 1) while the hook is empty.
            bed.tally.Count("hostile document", RunHostileDocument(bed, random) ? 0 : 1);
        }
    }
    bed.table->pfnXcvClosePort(admin);
}

void RunNotifications(StressBed& bed) {
    bool arrival = true;
    while (!bed.stop) {
        const DWORD result =
            bed.harness.notifications.Notify(arrival ? CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL
                                                     : CM_NOTIFY_ACTION_DEVICEINTERFACEREMOVAL);
        bed.tally.Count("device notification", result);
        arrival = !arrival;
        ::Sleep(2);
    }
}

bool HeapIsIntact(StressBed& bed, const char* when) {
    const bool intact = ::HeapValidate(::GetProcessHeap(), 0, nullptr) != FALSE;
    bed.tally.Count("HeapValidate", intact ? 0 : 1);
    if (!intact) {
        bed.tally.Violation(std::string("the process heap is corrupt ") + when);
    }
    return intact;
}

void RunHeapChecks(StressBed& bed) {
    while (!bed.stop && HeapIsIntact(bed, "during the run")) {
        ::Sleep(50);
    }
}

} // namespace vela::stress
