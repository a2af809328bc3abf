// Helpers shared by the tests that draw whole views of a loaded map.
#ifndef RENDER_VIEWS_H
#define RENDER_VIEWS_H

#include <string>

#include "CoreLibrary/zerv/world_units.h"

struct bitmap_data;
struct view_data;

// The centre of the loaded map's animated lake, in world units; (0, 0) without one.
world_point2d animated_lake_centre(void);

// The camera's view into the screen bitmap, ready for render_scene.
void prepare_observer_view(view_data *view, bitmap_data *screen, int32 elapsed_ticks = 0);

// With ZERV_DUMP_FRAMES=folder, writes a 32-bit bitmap there as name.ppm for a look.
void dump_frame_when_asked(const bitmap_data *bitmap, const std::string &name);

#endif
