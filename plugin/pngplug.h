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

/* The same twelve as pointer types, for hosts that load the DLL with
   LoadLibrary and look each function up by its plain name. */
typedef void(__cdecl* PngplugSetParentWindowFn)(HWND host);
typedef void(__cdecl* PngplugDrawFn)(int unused, int x, int y, int width, int height);
typedef void(__cdecl* PngplugSetPathFn)(const char* path);
typedef void(__cdecl* PngplugSetFileFn)(const char* file);
typedef const char*(__cdecl* PngplugGetFileFn)(void);
typedef void(__cdecl* PngplugSetDataFn)(void* data);
typedef void*(__cdecl* PngplugGetDataFn)(void);
typedef int(__cdecl* PngplugGetTypeFn)(void);
typedef const char*(__cdecl* PngplugGetShortInfoFn)(void);
typedef const char*(__cdecl* PngplugGetInfoFn)(void);
typedef const char*(__cdecl* PngplugCopyrightFn)(void);
typedef void(__cdecl* PngplugSettingsFn)(void);

/* One function of the loaded DLL as its pointer type, or null when the DLL
   lacks it:  PngplugDrawFn draw = PNGPLUG_PROC(plugin, Draw);
   The cast goes through void (*)(void), which compilers accept between any
   two function types, so a host built with all warnings needs none of its own. */
#define PNGPLUG_PROC(module, name) ((Pngplug##name##Fn)(void (*)(void))GetProcAddress((module), #name))

#ifdef __cplusplus
}
#endif

#endif
