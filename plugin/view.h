// The plug-in view: a borderless form inside the host window that shows the
// pictures over a copy of the host's own pixels.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>

#include "winlayer/base/obj.h"

class Bitmap;
class Control;
class MultimediaTimer;
class PngImage;

// Asks the view to copy the host's pixels again; posted once by re-parenting.
constexpr UINT kRecaptureMessage = 1294;

// The pictures, by name alone, so relative to the process's current directory.
constexpr std::array<const char*, 6> kImageFiles = {"gauntlet_woman.png", "ms34.png",   "ico_podium_kbz1.png",
                                                    "kbz logo.png",       "music.png", "bg.png"};

// What the view consists of; the form owns it. Event handlers of the view
// receive it as their context.
class ViewHolder : public Obj {
public:
    Control* Form = nullptr;
    MultimediaTimer* Timer = nullptr;  // the ReparentTimer, owned by the form
    Control* Button = nullptr;         // hidden; clicking it works like clicking the form

protected:
    ~ViewHolder() override = default;
};

// Set while a view exists; cleared when its form's window is destroyed, so
// that nothing reaches a view that is gone and the next SetParentWindow can
// build a new one.
extern ViewHolder* PluginView;
// The applet the form hangs from; never shown.
extern Control* ViewApplet;
// The picture shown; lives from the first view to unload.
extern PngImage* CurrentImage;
// The host pixels under the view, copied at the latest capture; none before
// the first capture or when the view rectangle was empty.
extern Bitmap* BackgroundBitmap;
// The index into kImageFiles that the next click loads.
extern int32_t ImageIndex;

// Library load and unload (DllMain).
void StartLibrary(HINSTANCE instance);
// Stops a pending re-parenting first, then releases the view, the picture
// and the background, and stops the window layer.
void StopLibrary();

// Builds the view unless one exists; later calls only change HostWindow.
void StartView();
// Moves the view's window to ViewRectangle; nothing without a view.
void PlaceView();
