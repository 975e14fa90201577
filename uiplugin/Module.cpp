#include "Module.h"

HINSTANCE ghModule = nullptr;
