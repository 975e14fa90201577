// The one definition of each interface-class GUID the system code names but mingw-w64's libuuid lacks,
// made the way the SDK intends: its own header included after initguid.h, in exactly one source.
#include <windows.h>
#include <initguid.h>
#include <usbprint.h>
