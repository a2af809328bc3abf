// The hardware rasterizer interface: frame brackets, HUD bars and textures
// made by the back end. No back end runs yet (the rasterizer is software).
#ifndef HARDWARE_RASTERIZER_H
#define HARDWARE_RASTERIZER_H

#include "cseries.h"
#include "bitmaps.h"

struct dialog_rasterization_data;
struct detail_texture_definition;

enum
{
	_draw_status_bar_hardware = 0,
	_draw_control_bar_hardware = 1
};

void render_begin_hardware(void);
// dont_flip: nothing was drawn this frame.
void render_end_hardware(boolean dont_flip);
void draw_control_or_status_bar_hardware(dialog_rasterization_data *data, int16 control_bar);
void copy_bits_from_render_view_hardware(const rectangle2d *rectangle, bitmap_data *bitmap);
void create_detail_texture_hardware(detail_texture_definition *definition);
void dispose_detail_texture_hardware(detail_texture_definition *definition);
boolean rasterizer_requires_square_textures(void);

struct hardware_rasterizer_test_hooks_data
{
	least_call_log calls;
};

hardware_rasterizer_test_hooks_data *get_hardware_rasterizer_test_hooks(void);
void reset_hardware_rasterizer_test_hooks(void);

#endif
