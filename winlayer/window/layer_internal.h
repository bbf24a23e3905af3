// What the files of the control layer share among themselves; users of the
// layer include winlayer/winlayer.h instead.
#pragma once

#include <windows.h>

#include <cstdint>

#include "winlayer/window/control.h"

// Handlers that the layer attaches itself.
bool ClickHandler(Control* control, MSG* message, LRESULT* result);
bool PaintHandler(Control* control, MSG* message, LRESULT* result);
bool EraseBackgroundHandler(Control* control, MSG* message, LRESULT* result);
bool FocusHandler(Control* control, MSG* message, LRESULT* result);
bool CommandHandler(Control* control, MSG* message, LRESULT* result);
bool ButtonDoubleClickHandler(Control* control, MSG* message, LRESULT* result);
bool AppletHandler(Control* control, MSG* message, LRESULT* result);
// Installed as ChainDispatcher by the first AttachHandler.
bool DispatchHandlerChain(Control* control, MSG* message, LRESULT* result);
// The applet's after-creation hook.
void SetUpAppletSystemMenu(Control* control);

// MakeWindow on every child, oldest first.
void MakeChildWindows(Control* control);
// CallWindowProcA of the extended system class, else DefWindowProcA.
LRESULT DefaultProcessing(Control* control, const MSG& message);
// The control bound to a window by WindowProc, or null.
Control* BoundControl(HWND window);

// The control whose window CreateWindowExA is making: WindowProc binds it to
// the first message of a window that has no control yet.
extern Control* CreatingControl;
// Stores the control in the window's user data and the window in the control.
void BindWindow(Control* control, HWND window);

// Command identifiers of common controls, from 0x8000 up.
int32_t NextControlId();
// Set by the first CreateApplet: from then on the main form is the first
// child of LibraryApplet rather than LibraryApplet itself.
void SetMainFormIsFirstChild();

// The module whose instance registers the classes (StartWindowLayer's), and
// the state StopWindowLayer leaves for the next start.
void SetWindowLayerInstance(HINSTANCE module);
void ResetLayerState();
// Takes back every class the layer registered.
void UnregisterLayerClasses();

// The layer's own messages, in the private range from WM_APP up: a
// WM_COMMAND reflected to the control that sent it (0xB005), and the offset
// a reflected WM_CTLCOLOR* message gets (0xBC00).
constexpr UINT kReflectedCommand = WM_APP + 0x3005;
constexpr UINT kReflectOffset = WM_APP + 0x3C00;
constexpr uint32_t kFrameStyles = WS_OVERLAPPEDWINDOW;
