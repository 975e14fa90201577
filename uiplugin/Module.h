// The plug-in's module handle, kept when the loader attaches the DLL; its resources and page templates
// are found through it.
#pragma once
#include <windows.h>

extern HINSTANCE ghModule;
