// The native (Linux) build's stand-in for the Windows SDK headers: only the
// types, macros and functions the byte-level sources use, so that those sources
// compile unchanged under clang with the sanitizers. It shadows
// src/platform/Win32Headers.h through the fuzz build's include path; nothing in the
// product build sees it. WCHAR is the host's wchar_t (four bytes here), which the
// sources only use through sizeof.
#pragma once

#include <pthread.h>

#include <cstdint>

using BOOL = int;
using BYTE = uint8_t;
using DWORD = uint32_t;
using LONG = int32_t;
using HRESULT = int32_t;
using WCHAR = wchar_t;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using HANDLE = void*;
using HINSTANCE = void*;
using HCMNOTIFICATION = void*;
using HKEY = void*;

// The spooler's registry table and record, as the monitor state keeps copies of
// them; no byte-level code reads them.
struct MONITORREG {
    DWORD cbSize;
    void* functions[10];
};
struct MONITORINIT {
    DWORD cbSize;
    HANDLE hSpooler;
    HANDLE hckRegistryRoot;
    MONITORREG* pMonitorReg;
    BOOL bLocal;
    LPCWSTR pszServerName;
};
using PMONITORINIT = MONITORINIT*;

#define TRUE 1
#define FALSE 0
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))

#define S_OK static_cast<HRESULT>(0)
#define E_INVALIDARG static_cast<HRESULT>(0x80070057u)
#define E_OUTOFMEMORY static_cast<HRESULT>(0x8007000Eu)
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)

// Declared for UniqueHandle; no byte-level code closes a handle.
BOOL CloseHandle(HANDLE handle);

// A Win32 critical section is re-entrant: a recursive mutex.
struct CRITICAL_SECTION {
    pthread_mutex_t mutex;
};

inline void InitializeCriticalSection(CRITICAL_SECTION* section) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&section->mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}
inline void EnterCriticalSection(CRITICAL_SECTION* section) {
    pthread_mutex_lock(&section->mutex);
}
inline void LeaveCriticalSection(CRITICAL_SECTION* section) {
    pthread_mutex_unlock(&section->mutex);
}
inline void DeleteCriticalSection(CRITICAL_SECTION* section) {
    pthread_mutex_destroy(&section->mutex);
}

// The EnumPorts records, with the SDK's field order.
struct PORT_INFO_1W {
    LPWSTR pName;
};
struct PORT_INFO_2W {
    LPWSTR pPortName;
    LPWSTR pMonitorName;
    LPWSTR pDescription;
    DWORD fPortType;
    DWORD Reserved;
};
#define PORT_TYPE_WRITE 0x0001
#define PORT_TYPE_READ 0x0002
