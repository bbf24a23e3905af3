// What the two halves of the view share: building and re-parenting
// (view.cpp), capture, repaint and picture cycling (view_capture.cpp).
#pragma once

#include <windows.h>

class Control;

// The form's handler for kRecaptureMessage: hides the form, lets the host
// repaint, copies the host pixels under the view and shows the form again.
// Never reports the message handled.
bool RecaptureHandler(Control* form, MSG* message, LRESULT* result);
// The form's ClickEvent and the hidden button's: the next picture.
void FormClickHandler(void* view, Control* sender);
void ButtonClickHandler(void* view, Control* sender);
// The form's PaintEvent: the background, then the current picture.
void ViewPaintHandler(void* view, Control* sender, HDC dc);
