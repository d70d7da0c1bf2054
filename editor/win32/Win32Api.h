// USER32 and GDI32, as the Win32 window layer (editor/win32) uses them: the
// real ones on Windows; elsewhere the tests' in-memory implementation of the
// same calls, over which the tests build that layer.
// Only editor/win32 and the tests include this.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include "tests/support/HeadlessWin32.h"
using namespace headless;
#endif
