// The plug-in view: a borderless form inside the host window that shows the
// pictures over a copy of the host's own pixels.
#pragma once

#include <windows.h>

// Library load and unload (DllMain).
void StartLibrary(HINSTANCE instance);
void StopLibrary();

// Builds the view on the first call; later calls only change HostWindow.
void StartView();
// Moves the view's window to ViewRectangle.
void PlaceView();
