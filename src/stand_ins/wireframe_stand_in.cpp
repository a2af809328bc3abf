// The wireframe overlay: nothing is drawn until the overlay exists.
#include "bitmaps.h"

void rasterize_wireframe_over_surfaces(bitmap_data *screen, uint32 exclude_flags, int16 wireframe_mode)
{
	(void)screen;
	(void)exclude_flags;
	(void)wireframe_mode;
}

#include "render/render_wireframe.h"

void rasterize_flag_contesting_ranges(view_data *) {}
