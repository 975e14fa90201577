// The simulated platform's umbrella header, as on Windows.
#pragma once
#include "windef.h"
#include "winerror.h"
#include "winbase.h"
#include "winnls.h"
#include "winuser.h"
#include "wingdi.h"
#include "winreg.h"
#include "winsvc.h"
#include "wincrt.h"
