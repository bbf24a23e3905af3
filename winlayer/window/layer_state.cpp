// What the files of the window layer share: the library applet, the control
// being created, the quit flag, the command identifiers, the main form, the
// binding of windows to controls and the module the classes belong to. It
// calls nothing of the layer, so every other file may depend on it.
#include "winlayer/window/dispatch.h"
#include "winlayer/window/layer_internal.h"

Control* LibraryApplet = nullptr;
bool AppletTerminated = false;
Control* CreatingControl = nullptr;

namespace {

constexpr int32_t kFirstControlId = 0x8000;
int32_t controlIdCounter = kFirstControlId;
bool mainFormIsFirstChild = false;
HINSTANCE moduleInstance = nullptr;

}  // namespace

int32_t NextControlId() { return controlIdCounter++; }

void SetMainFormIsFirstChild() { mainFormIsFirstChild = true; }

Control* MainForm()
{
    if (!mainFormIsFirstChild)
        return LibraryApplet;
    return LibraryApplet ? static_cast<Control*>(LibraryApplet->Children->Item(0)) : nullptr;
}

Control* BoundControl(HWND window)
{
    return reinterpret_cast<Control*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

void BindWindow(Control* control, HWND window)
{
    control->Window = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(control));
}

HINSTANCE WindowLayerInstance() { return moduleInstance ? moduleInstance : GetModuleHandleA(nullptr); }

void SetWindowLayerInstance(HINSTANCE module) { moduleInstance = module; }

void ResetLayerState()
{
    moduleInstance = nullptr;
    AppletTerminated = false;
    CreatingControl = nullptr;
}
