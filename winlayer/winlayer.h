// The window and control layer: objects and lists, controls with lazily
// made windows and their message dispatch, canvases and bitmaps, the
// multimedia timer, and the count of live GDI objects.
#pragma once

#include "winlayer/gdi/bitmap.h"
#include "winlayer/gdi/canvas.h"
#include "winlayer/window/control.h"
#include "winlayer/window/dispatch.h"
#include "winlayer/gdi/gdi_count.h"
#include "winlayer/base/obj.h"
#include "winlayer/base/obj_list.h"
#include "winlayer/window/timer.h"
