// USER32 and GDI32, as the Win32 window layer (editor/win32) uses them. Builds
// without Win32 that build this layer supply their own <windows.h> with the
// same calls. Only editor/win32 and the tests include this.
#pragma once

#include <windows.h>
