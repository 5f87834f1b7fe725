// The Windows SDK headers the monitor needs, in the order they must be included.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <winusb.h>
