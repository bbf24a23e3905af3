// The layer's lifetime in its module: the library applet made at the start,
// and at the stop released with every class the layer registered. Above all
// the other files of the layer, as it uses them all.
#include "winlayer/window/dispatch.h"
#include "winlayer/window/layer_internal.h"

void StartWindowLayer(HINSTANCE module)
{
    SetWindowLayerInstance(module);
    if (!LibraryApplet)
        LibraryApplet = CreateApplet("imgtile");
}

void StopWindowLayer()
{
    Control* applet = LibraryApplet;
    LibraryApplet = nullptr;
    Release(applet);
    UnregisterLayerClasses();
    ResetLayerState();
}
