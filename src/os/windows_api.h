#pragma once
// The one place windows.h is included, with the defines every win32 file relies on.

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef STRICT
#define STRICT
#endif
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0A00  // newer calls are looked up at run time, never required
#undef WINVER
#define WINVER 0x0A00

#include <windows.h>

// These need windows.h first.
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

// Our code calls the W functions by name; these macros would rename members of
// portable classes that share the names.
#undef MessageBox
#undef DrawText
