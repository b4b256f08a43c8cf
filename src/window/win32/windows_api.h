#pragma once
// The Windows API for the window's files. Its DeleteFile and ReplaceFile
// macros would rename the file system's methods of the same names in every
// file that sees them, so they are removed here.

#include <windows.h>

#undef DeleteFile
#undef ReplaceFile
