// The module instance handle of the plug-in library, stored by the library's
// load notification. The editor registers its window class and loads its
// bitmaps from it.
#pragma once

extern void* moduleInstance;
