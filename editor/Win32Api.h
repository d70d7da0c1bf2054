// The window layer the editor is written against: USER32 and GDI32 on
// Windows. Elsewhere the editor is built only for the tests, over their
// in-memory implementation of the same calls.
// Only the editor's sources, its tests and tools include this.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include "tests/support/HeadlessWin32.h"
using namespace headless;
#endif
