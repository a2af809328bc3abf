#include "hardware/hardware_rasterizer.h"

static hardware_rasterizer_test_hooks_data hardware_rasterizer_hooks;

hardware_rasterizer_test_hooks_data *get_hardware_rasterizer_test_hooks(void)
{
	return &hardware_rasterizer_hooks;
}

void reset_hardware_rasterizer_test_hooks(void)
{
	clear_least_call_log(&hardware_rasterizer_hooks.calls);
}

#define LEAST(...) least_call(&hardware_rasterizer_hooks.calls, __VA_ARGS__)

void render_begin_hardware(void)
{
	LEAST("render_begin_hardware");
}

void render_end_hardware(boolean dont_flip)
{
	LEAST("render_end_hardware", dont_flip);
}

void draw_control_or_status_bar_hardware(dialog_rasterization_data *data, int16 control_bar)
{
	LEAST("draw_control_or_status_bar_hardware", data, control_bar);
}

void copy_bits_from_render_view_hardware(const rectangle2d *rectangle, bitmap_data *bitmap)
{
	LEAST("copy_bits_from_render_view_hardware", rectangle, bitmap);
}

void create_detail_texture_hardware(detail_texture_definition *definition)
{
	LEAST("create_detail_texture_hardware", definition);
}

void dispose_detail_texture_hardware(detail_texture_definition *definition)
{
	LEAST("dispose_detail_texture_hardware", definition);
}

boolean rasterizer_requires_square_textures(void)
{
	return FALSE;
}
