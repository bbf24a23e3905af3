// The two ways of putting a decoded picture onto a device context.
#pragma once

#include <windows.h>

#include "png/image.h"

// Blends the picture over the W x H pixels of dc at (rect.left, rect.top),
// W x H being the size of the picture's buffers; right and bottom play no part.
void DrawAlphaBlended(const PngImage& image, HDC dc, const RECT& rect);

// Draws the pixels opaque into rect, except those equal to keyRgb, which let
// dc show through. A rect smaller than the picture squeezes it.
void DrawColourKeyed(HDC dc, const uint8_t* pixels, const BitmapInfo& bitmapInfo, const RECT& rect, COLORREF keyRgb);
