// Window creation and message dispatch: class registration, the one window
// procedure of every layer class, handler chains and the queue drain.
#pragma once

#include <windows.h>

#include "winlayer/window/control.h"

// Receives the messages of layer windows that have no control bound (a
// destroyed control's window on its way out). Its own window is never made.
extern Control* LibraryApplet;
// Set once DrainMessageQueue has taken WM_QUIT: from then on only handlers
// attached with the keep-after-quit flag run.
extern bool AppletTerminated;

// Records the module whose instance registers the layer's classes and makes
// LibraryApplet ("imgtile"). A DLL calls it at load with its own instance.
void StartWindowLayer(HINSTANCE module);
// Releases LibraryApplet, unregisters every class the layer registered (a
// DLL's classes outlive it otherwise and its next load could not register
// them) and resets the module state, so the layer can start again.
void StopWindowLayer();
HINSTANCE WindowLayerInstance();

// The window handle, creating the window first when there is none. A control
// whose visibility was never set is created hidden and shown at the next
// MakeWindow.
HWND EnsureWindow(Control* control);
// Newest first in dispatch; the same handler twice is attached once.
void AttachHandler(Control* control, MessageHandler handler, bool keepAfterQuit = false);
LRESULT SendToControl(Control* control, UINT message, WPARAM wParam, LPARAM lParam);
// Dispatches every waiting message of the calling thread without waiting. A
// quit message is consumed and only recorded in AppletTerminated.
void DrainMessageQueue(Control* control);

// The main form: the first child of LibraryApplet.
Control* MainForm();

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
