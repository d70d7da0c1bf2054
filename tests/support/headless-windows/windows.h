// <windows.h> for builds without Win32: the in-memory stand-in for the calls
// the editor's Win32 window layer makes (HeadlessWin32.h), so that the Linux
// tests build that layer unchanged.
#pragma once

#include "tests/support/HeadlessWin32.h"

using namespace headless;
