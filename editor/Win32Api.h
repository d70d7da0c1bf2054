// The window layer the editor is written against: USER32 and GDI32 on
// Windows, our headless implementation of the same calls everywhere else.
// Only the editor's sources, its tests and tools include this.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include "editor/HeadlessWin32.h"
using namespace headless;
#endif
