// What the two halves of the view share: building and re-parenting
// (view.cpp), capture, repaint and picture cycling (view_capture.cpp).
#pragma once

#include <windows.h>

class Control;
class PngImage;

// The form's handler for kRecaptureMessage: hides the form, lets the host
// repaint, copies the host pixels under the view and shows the form again.
// Never reports the message handled.
bool RecaptureHandler(Control* form, MSG* message, LRESULT* result);
// The form's ClickEvent and the hidden button's: the next picture.
void FormClickHandler(void* view, Control* sender);
void ButtonClickHandler(void* view, Control* sender);
// The form's PaintEvent: the background, then the current picture.
void ViewPaintHandler(void* view, Control* sender, HDC dc);

// Plays the file as an animation when it is one (after CurrentImage loaded
// it); the form's window times the frames.
void StartAnimation(Control* form, const char* fileName);
// Stops the play and releases the animation: no tick comes after it.
void StopAnimation();
// The composed frame of the animation the view plays or stands on; none
// without one (the view then draws CurrentImage).
PngImage* AnimationCanvas();
// A play paused while the form was hidden goes on from where it stood.
void ResumeAnimation();
// The form's handler for the frame timer.
bool AnimationTimerHandler(Control* form, MSG* message, LRESULT* result);
// The animation the view plays or stands on, or none.
class PngAnimation;
const PngAnimation* PlayingAnimation();
// The frame timer: the only timer of the form's own window (the
// re-parenting timer is a multimedia one).
constexpr UINT_PTR kFrameTimer = 1;
