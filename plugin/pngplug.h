/* pngplug: the twelve functions a host calls. All are cdecl, every argument
   and result is 32 bits wide, and all are called on the host's
   user-interface thread (the one that pumps the host window's messages).
   Order: SetParentWindow first, then Draw whenever the plug-in's area moves
   or changes size; the rest at any time. */
#ifndef PNGPLUG_H
#define PNGPLUG_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Hands over the host window; the first call builds the view inside it. */
void __cdecl SetParentWindow(HWND host);
/* Places the view at (x, y), width by height, in the host's client area.
   The first argument is not read. */
void __cdecl Draw(int unused, int x, int y, int width, int height);
/* The library keeps its own copies; null stores the empty string. */
void __cdecl SetPath(const char* path);
void __cdecl SetFile(const char* file);
/* Never null; valid until the next SetFile or unload. */
const char* __cdecl GetFile(void);
void __cdecl SetData(void* data);
void* __cdecl GetData(void);
int __cdecl GetType(void);
/* Static texts in the ANSI code page (line 2 of GetInfo is code page 1251). */
const char* __cdecl GetShortInfo(void);
const char* __cdecl GetInfo(void);
const char* __cdecl Copyright(void);
void __cdecl Settings(void);

#ifdef __cplusplus
}
#endif

#endif
