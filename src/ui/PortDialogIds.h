// Identifiers of the port screen's resources, shared by the resource script and
// the dialog code.
#pragma once

#define IDD_PORT 100
#define IDC_PORT_NAME 1001
#define IDC_KIND_USB 1002
#define IDC_KIND_SERIAL 1003
#define IDC_SERIAL_DEVICE 1004
#define IDC_BAUD_RATE 1005
#define IDC_WINDOW_OFF 1006
#define IDC_WINDOW_ON 1007
#define IDC_WINDOW_BYTES 1008
#define IDC_BAUD_LABEL 1009
#define IDC_BYTES_LABEL 1010
