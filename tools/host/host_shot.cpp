#include "host_shot.h"

#include <cstdio>

namespace {

bool WriteBitmapFile(const std::string& path, const BITMAPINFOHEADER& header, const void* bits)
{
    const DWORD imageSize = header.biSizeImage;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + imageSize;
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    bool written = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&header, sizeof header, 1, out) == 1 &&
                   std::fwrite(bits, 1, imageSize, out) == imageSize;
    return std::fclose(out) == 0 && written;
}

// Read back with BitBlt from the window's device context into a DIB
// section: the pixels as the screen shows them.
}  // namespace

bool SaveClientShot(HWND host, const std::string& path)
{
    RECT client;
    GetClientRect(host, &client);
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = client.right;
    header.biHeight = client.bottom;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = ((client.right * 24 + 31) & ~31) / 8 * client.bottom;
    void* bits = nullptr;
    HDC screen = GetDC(host);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP section = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits,
                                       nullptr, 0);
    bool saved = false;
    if (memory && section && bits) {
        HGDIOBJ old = SelectObject(memory, section);
        BitBlt(memory, 0, 0, client.right, client.bottom, screen, 0, 0, SRCCOPY);
        GdiFlush();
        saved = WriteBitmapFile(path, header, bits);
        SelectObject(memory, old);
    }
    if (section)
        DeleteObject(section);
    if (memory)
        DeleteDC(memory);
    ReleaseDC(host, screen);
    return saved;
}

