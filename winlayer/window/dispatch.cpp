// The window procedure of every layer class and the fixed order in which a
// control processes a message.
#include "winlayer/window/dispatch.h"

#include <cstdint>

#include "winlayer/base/barrier.h"
#include "winlayer/window/layer_internal.h"

namespace {

bool IsMainFormOrApplet(Control* control) { return control == LibraryApplet || control == MainForm(); }

LRESULT ProcessSysCommand(Control* control, const MSG& message)
{
    bool minimise = (message.wParam & 0xFFF0) == SC_MINIMIZE;
    if (minimise && control == MainForm() && LibraryApplet && LibraryApplet->Window) {
        PostMessageA(LibraryApplet->Window, message.message, message.wParam, message.lParam);
        return 0;
    }
    return DefaultProcessing(control, message);
}

LRESULT ProcessSetFocus(Control* control, const MSG& message)
{
    if (!control->Enabled && !control->TabStop)
        return 0;
    ++control->FocusInProgress;
    SetFocus(message.hwnd);
    --control->FocusInProgress;
    return DefaultProcessing(control, message);
}

// Colour and command messages are sent on to the child that caused them, so
// that the child's own handlers answer; a foreign child gets default handling.
LRESULT Reflect(Control* control, const MSG& message, UINT reflected)
{
    auto child = reinterpret_cast<HWND>(message.lParam);
    // Another program's child may keep its own pointer in the user data.
    bool layerWindow = child && reinterpret_cast<WNDPROC>(GetClassLongPtrA(child, GCLP_WNDPROC)) == WindowProc;
    if (layerWindow && BoundControl(child))
        return SendMessageA(child, reflected, message.wParam, message.lParam);
    return DefaultProcessing(control, message);
}

LRESULT BuiltInProcessing(Control* control, MSG& message)
{
    // Messages of windows without a control reach LibraryApplet: only the
    // control's own window may close the program or mark a window destroyed.
    bool own = message.hwnd == control->Window;
    UINT number = message.message;
    if (number == WM_CLOSE) {
        if (own && IsMainFormOrApplet(control))
            PostQuitMessage(0);
    } else if (number == WM_DESTROY) {
        if (own)
            control->WindowDestroyed = true;
    } else if (number == WM_NCDESTROY) {
        // Default processing frees what the platform kept for the window
        // (its text among others); the answer stays 0.
        DefaultProcessing(control, message);
        return 0;
    } else if (number == WM_SIZE) {
        LRESULT result = DefaultProcessing(control, message);
        control->SizeType = message.wParam;
        return result;
    } else if (number == WM_SYSCOMMAND) {
        return ProcessSysCommand(control, message);
    } else if (number == WM_SETFOCUS && own) {
        return ProcessSetFocus(control, message);
    } else if (number >= WM_CTLCOLORMSGBOX && number <= WM_CTLCOLORSTATIC) {
        return Reflect(control, message, number + kReflectOffset);
    } else if (number == WM_COMMAND) {
        return Reflect(control, message, kReflectedCommand);
    } else if (number >= WM_KEYFIRST && number <= WM_SYSDEADCHAR) {
        LRESULT result = 0;
        if (control->KeyboardHook(control, &message, &result))
            return result;
    }
    return DefaultProcessing(control, message);
}

// Holds a reference across the processing, so that a release from inside
// only takes effect once the message is done. A control whose window was
// destroyed meanwhile is released here, unless another of its messages is
// still being processed further up the stack.
LRESULT ProcessGuarded(Control* control, MSG& message, bool releaseIfWindowGone)
{
    ++control->Nesting;
    AddRef(control);
    LRESULT result = control->ProcessMessage(message);
    --control->Nesting;
    bool windowGone = releaseIfWindowGone && control->RefCount == 2 && control->Nesting <= 0 &&
                      control->WindowDestroyed && !control->DestroyStarted;
    Release(control);
    if (windowGone)
        Release(control);
    return result;
}

}  // namespace

LRESULT DefaultProcessing(Control* control, const MSG& message)
{
    if (control->DefaultProc && message.hwnd == control->Window)
        return CallWindowProcA(control->DefaultProc, message.hwnd, message.message, message.wParam, message.lParam);
    return DefWindowProcA(message.hwnd, message.message, message.wParam, message.lParam);
}

namespace {

LRESULT RouteMessage(HWND window, UINT number, WPARAM wParam, LPARAM lParam)
{
    Control* control = BoundControl(window);
    if (!control && CreatingControl) {
        control = CreatingControl;
        CreatingControl = nullptr;
        BindWindow(control, window);
    }
    MSG message{window, number, wParam, lParam, 0, {0, 0}};
    if (control)
        return ProcessGuarded(control, message, control != LibraryApplet);
    if (LibraryApplet)
        return ProcessGuarded(LibraryApplet, message, false);
    return DefWindowProcA(window, number, wParam, lParam);
}

}  // namespace

LRESULT CALLBACK WindowProc(HWND window, UINT number, WPARAM wParam, LPARAM lParam)
{
    return Guarded(LRESULT{0}, [&] { return RouteMessage(window, number, wParam, lParam); });
}

LRESULT Control::ProcessMessage(MSG& message)
{
    if (message.hwnd && !Window && BoundControl(message.hwnd) == this)
        Window = message.hwnd;
    LRESULT result = 0;
    if (MessageFilter && MessageFilter(this, &message, &result))
        return result;
    if (ChainDispatcher(this, &message, &result))
        return result;
    if (ClassHandler(this, &message, &result))
        return result;
    result = BuiltInProcessing(this, message);
    if (!AppletTerminated)
        PostProcessHook(this, &message, &result);
    return result;
}

bool DispatchHandlerChain(Control* control, MSG* message, LRESULT* result)
{
    if (control->RefCount < 0 || !control->HandlerChain)
        return false;
    AddRef(control);
    ObjList* chain = control->HandlerChain;
    bool handled = false;
    for (int32_t i = chain->Count - 2; i >= 0 && !handled; i -= 2) {
        // A handler may have detached others meanwhile.
        if (i + 1 >= chain->Count)
            continue;
        auto handler = reinterpret_cast<MessageHandler>(chain->Item(i));
        bool keepAfterQuit = chain->Item(i + 1) != nullptr;
        if (AppletTerminated && !keepAfterQuit)
            continue;
        handled = handler(control, message, result);
    }
    Release(control);
    return handled;
}

void AttachHandler(Control* control, MessageHandler handler, bool keepAfterQuit)
{
    control->ChainDispatcher = DispatchHandlerChain;
    ObjList* chain = control->HandlerChain;
    for (int32_t i = 0; i + 1 < chain->Count; i += 2)
        if (chain->Item(i) == reinterpret_cast<void*>(handler))
            return;
    chain->Add(reinterpret_cast<void*>(handler));
    chain->Add(reinterpret_cast<void*>(static_cast<intptr_t>(keepAfterQuit)));
}

void DrainMessageQueue(Control* control)
{
    MSG message;
    bool quitTaken = false;
    WPARAM exitCode = 0;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            AppletTerminated = true;
            quitTaken = true;
            exitCode = message.wParam;
            continue;
        }
        if (control && control->MessageHook && control->MessageHook(control, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // The quit request belongs to the host's own loop: swallowing it would
    // keep the host running after it asked to end. Posted again only once
    // the queue is empty, so that this loop does not take it a second time.
    if (quitTaken)
        PostQuitMessage(static_cast<int>(exitCode));
}
