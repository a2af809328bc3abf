// Wireframe and debug overlays drawn over the rasterized scene.
#ifndef RENDER_WIREFRAME_H
#define RENDER_WIREFRAME_H

#include "cseries.h"

struct view_data;
struct bitmap_data;

void rasterize_flag_contesting_ranges(view_data *view);
void rasterize_wireframe_over_surfaces(bitmap_data *screen, uint32 exclude_flags, int16 wireframe_mode);

#endif
