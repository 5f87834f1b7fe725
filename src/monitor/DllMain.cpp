// The module's load and unload handling; everything else lives in the library.
#include "monitor/MonitorInstance.h"
#include "monitor/MonitorEntry.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        ::DisableThreadLibraryCalls(instance);
        return vela::ProcessAttach(vela::TheMonitorState(), vela::Win32Platform());
    case DLL_PROCESS_DETACH:
        vela::ProcessDetach(vela::TheMonitorState());
        return TRUE;
    default:
        return TRUE;
    }
}
