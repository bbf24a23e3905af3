// The view's drawing: the copy of the host's pixels under the view, the
// repaint, and the picture that each mouse press moves on to.
#include <algorithm>

#include "plugin/module.h"
#include "plugin/view.h"
#include "plugin/view_internal.h"
#include "png/image.h"
#include "winlayer/winlayer.h"

namespace {

// A new bitmap holding the host pixels under ViewRectangle, or none when the
// rectangle is empty, the host window is gone or the bitmap cannot be made.
Bitmap* CopyHostPixels()
{
    const ViewRect r = ViewRectangle;
    HWND host = HostWindow;
    // GetDC of a null window would copy the whole screen instead.
    if (r.Width <= 0 || r.Height <= 0 || !host || !IsWindow(host))
        return nullptr;
    Bitmap* bitmap = NewBitmap(r.Width, r.Height);
    Canvas* canvas = bitmap ? bitmap->GetCanvas() : nullptr;
    if (!canvas) {
        Release(bitmap);
        return nullptr;
    }
    HDC hostDc = GdiGetDC(host);
    BitBlt(canvas->GetHandle(), 0, 0, r.Width, r.Height, hostDc, r.X, r.Y, SRCCOPY);
    GdiReleaseDC(host, hostDc);
    return bitmap;
}

// The form's device context; none when its canvas cannot be had.
HDC FormDc(Control* form)
{
    Canvas* canvas = form->Canvas();
    return canvas ? canvas->GetHandle() : nullptr;
}

// The old background is never drawn again once replaced.
void ReplaceBackground(Bitmap* bitmap)
{
    Release(BackgroundBitmap);
    BackgroundBitmap = bitmap;
}

// Copies the background onto the form. Only the part the bitmap covers:
// after a Draw that enlarged the view there is nothing captured for the rest.
void CopyBackground(Control* form)
{
    Canvas* source = BackgroundBitmap ? BackgroundBitmap->GetCanvas() : nullptr;
    HDC target = FormDc(form);
    if (!source || !target)
        return;
    const int32_t width = std::min(form->Width(), BackgroundBitmap->Width);
    const int32_t height = std::min(form->Height(), BackgroundBitmap->Height);
    BitBlt(target, 0, 0, width, height, source->GetHandle(), 0, 0, SRCCOPY);
}

void DrawPicture(Control* form)
{
    HDC dc = FormDc(form);
    PngImage* picture = AnimationCanvas() ? AnimationCanvas() : CurrentImage;
    if (dc && picture)
        picture->Draw(dc, 0, 0, picture->Width(), picture->Height(), 0);
}

// Outside painting the form's canvas draws into a GetDC context, which it
// would otherwise keep until the window is gone: too late to give it back.
void ReleaseFormDC(Control* form)
{
    if (form->ControlCanvas && !form->PaintDC)
        form->ControlCanvas->SetHandle(nullptr);
}

bool IsLiveView(const ViewHolder* view, const Control* form)
{
    return view && PluginView == view && view->Form == form && !form->WindowDestroyed;
}

// Before the re-parenting, after a failed one, or with the host gone before
// it, the form is a top-level window: shown, it would float on the desktop.
bool IsInsideAWindow(const Control* form)
{
    return GetAncestor(form->Window, GA_PARENT) != GetDesktopWindow();
}

void Capture(Control* form)
{
    ViewHolder* view = PluginView;
    // Hidden, the form lets the host repaint what it covered, so the copy
    // holds the host's pixels and not the view's own.
    form->SetVisible(false);
    DrainMessageQueue(form);
    // A message taken from the queue may have destroyed the host window and
    // with it the view.
    if (!IsLiveView(view, form))
        return;
    ReplaceBackground(CopyHostPixels());
    // A capture requested before the form is inside the host leaves it
    // hidden; the re-parenting shows it and captures again.
    if (!IsInsideAWindow(form))
        return;
    form->SetVisible(true);
    // At once, so the view never shows stale pixels; the picture follows
    // with the paint message that showing the form brings.
    CopyBackground(form);
    ReleaseFormDC(form);
}

void ShowNextPicture(ViewHolder* view)
{
    if (!IsLiveView(view, view->Form) || !CurrentImage)
        return;
    CopyBackground(view->Form);
    if (ImageIndex < 0 || ImageIndex >= static_cast<int32_t>(kImageFiles.size()))
        ImageIndex = 0;
    StopAnimation();
    // A file that is missing or broken is not reported; the next press
    // tries the next file all the same.
    if (CurrentImage->LoadFromFile(kImageFiles[ImageIndex]))
        StartAnimation(view->Form, kImageFiles[ImageIndex]);
    DrawPicture(view->Form);
    ReleaseFormDC(view->Form);
    ++ImageIndex;
}

}  // namespace

bool RecaptureHandler(Control* form, MSG* message, LRESULT*)
{
    if (message->message == kRecaptureMessage && message->hwnd == form->Window && IsLiveView(PluginView, form))
        Capture(form);
    return false;
}

void FormClickHandler(void* view, Control*) { ShowNextPicture(static_cast<ViewHolder*>(view)); }

void ButtonClickHandler(void* view, Control*) { ShowNextPicture(static_cast<ViewHolder*>(view)); }

void ViewPaintHandler(void* context, Control*, HDC)
{
    // The form's canvas draws into the paint context while this runs.
    auto* view = static_cast<ViewHolder*>(context);
    if (!IsLiveView(view, view->Form) || !CurrentImage)
        return;
    CopyBackground(view->Form);
    DrawPicture(view->Form);
    ResumeAnimation();
}

