#include "plugin/view.h"

#include "plugin/module.h"

void StartLibrary(HINSTANCE) {}

void StopLibrary() {}

void StartView() {}

void PlaceView() {}
