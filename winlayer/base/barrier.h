// Stops any C++ exception at a call that comes from outside the library (an
// export, the window procedure, the timer callback, DllMain): unwinding into
// a caller that is not C++ code ends the process. Nothing here throws by
// design (allocations answer none); this is the second line. It compiles to
// the plain call when the build has no exceptions.
#pragma once

template <typename Result, typename Body>
Result Guarded(Result fallback, Body&& body) noexcept
{
#if __cpp_exceptions
    try {
        return body();
    } catch (...) {
        return fallback;
    }
#else
    (void)fallback;
    return body();
#endif
}

template <typename Body>
void Guarded(Body&& body) noexcept
{
#if __cpp_exceptions
    try {
        body();
    } catch (...) {
    }
#else
    body();
#endif
}
