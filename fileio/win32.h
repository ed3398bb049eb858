// Inside the file library's Windows back end: what its files share.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

#include "fileio/platform.h"

namespace orbex::fileio {

// Names are UTF-8 in the library and UTF-16 for Windows.
std::wstring wide(const std::string& s);
std::string narrow(const std::wstring& w);

// A failure of Windows as Linux reports it: its errno and the words of Linux; an error that
// Linux does not know keeps the words of Windows, with EIO for a code.
Failure windowsFailure(DWORD e);

// The final path of a file, links followed; the path itself when it names no file yet.
std::wstring finalPath(const std::wstring& path);

}  // namespace orbex::fileio
