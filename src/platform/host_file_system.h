#pragma once
// HostFileSystem: the file system of the machine the program runs on, in its
// POSIX form (drive letters as Wine maps them) or its Win32 form (the
// system's own drives, current folders and attributes). The build chooses
// the implementation file; this is the one place a header chooses too.

#ifdef _WIN32
#include "platform/host_file_system_win32.h"
#else
#include "platform/host_file_system_posix.h"
#endif
