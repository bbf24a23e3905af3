// The sample host's screenshots: what the screen shows of a window's client
// area, child windows included, read back and written as a BMP file.
#pragma once

#include <windows.h>

#include <string>

// A 24-bit bottom-up BMP of the host's client area; false when it could not
// be read or written.
bool SaveClientShot(HWND host, const std::string& path);
