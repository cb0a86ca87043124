// Operating-system handles as the portable code carries them: opaque pointers, so the engine and
// the support layer never need <windows.h>. On Windows they are HMODULE, HWND and HANDLE.
#pragma once

using ModuleHandle = void*;
using WindowHandle = void*;
using ThreadHandle = void*;
