// The one definition of each interface and class id Velumor names: mingw-w64's libuuid has IUnknown's
// and IClassFactory's but not the print system's. Made the way the SDK intends, the headers included
// after initguid.h in exactly one source.
#include <windows.h>
#include <initguid.h>
#include <prcomoem.h>

#include "intrface.h"
