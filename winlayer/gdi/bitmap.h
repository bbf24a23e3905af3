// An off-screen picture in the screen's own pixel format, with a canvas whose
// memory device context has it selected for block copies.
#pragma once

#include <windows.h>

#include <cstdint>

#include "winlayer/base/obj.h"

class Canvas;

class Bitmap : public Obj {
public:
    int32_t Height = 0;
    int32_t Width = 0;
    HBITMAP Handle = nullptr;         // 0 when empty or when creation failed
    Canvas* OwnCanvas = nullptr;      // the bitmap's Canvas, owned; made on first GetCanvas
    uint32_t BkColor = 0;             // brush colour of the canvas and fill of a resize
    // The object that Handle displaced in the canvas's device context; not 0
    // exactly while Handle is selected there.
    HGDIOBJ CanvasSelection = nullptr;
    uint8_t HandleType = 1;           // always device-dependent

    bool Empty() const { return Width == 0 || Height == 0; }
    // Free for use in any device context: taken out of the canvas first.
    HBITMAP GetHandle();
    // The canvas with Handle selected into its device context, or none.
    Canvas* GetCanvas();
    // Takes Handle out of the canvas's device context, if it is there.
    void DetachCanvas();
    // Resize keeping the old picture at the top left and filling the rest
    // with BkColor.
    void SetWidth(int32_t value);
    void SetHeight(int32_t value);

    void Destroy() override;

protected:
    ~Bitmap() override = default;

private:
    void Resize();
};

Bitmap* NewBitmap(int32_t width, int32_t height);
