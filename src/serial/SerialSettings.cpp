#include "serial/SerialSettings.h"

#include "platform/Platform.h"

namespace vela {

void ApplyHandlerLineSettings(DCB& dcb, DWORD baudRate) {
    dcb.BaudRate = baudRate;
    dcb.fBinary = 1;
    // Set although no parity is used: the value the firmware's hosts have always sent.
    dcb.fParity = 1;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = 0;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
}

void ApplyHandlerTimeouts(COMMTIMEOUTS& timeouts) {
    // A read ends when its bytes are in, or 1 ms after a byte when no more come.
    // The handler asks for the bytes the driver already holds, or, when it holds
    // none, for as many as the last "ok" had: a reply is read the moment it ends,
    // and only a reply shorter than expected waits for that millisecond.
    timeouts.ReadIntervalTimeout = kReadIntervalTimeoutMs;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
}

bool ConfigureSerialDevice(HANDLE device, DWORD baudRate) {
    SerialDevices& devices = *CurrentPlatform().serialDevices;
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    devices.GetCommState(device, &dcb);
    ApplyHandlerLineSettings(dcb, baudRate);
    if (!devices.SetCommState(device, &dcb)) {
        return false;
    }
    COMMTIMEOUTS timeouts{};
    if (!devices.GetCommTimeouts(device, &timeouts)) {
        return false;
    }
    ApplyHandlerTimeouts(timeouts);
    return devices.SetCommTimeouts(device, &timeouts) != FALSE;
}

} // namespace vela
