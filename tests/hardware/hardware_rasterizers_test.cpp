// The hardware seam: every answer while the OpenGL table is empty, the
// capability answers, the dialog bitmaps and their copy into a back buffer,
// and what a recording back end is handed.
#include <gtest/gtest.h>

#include <vector>

#include "bitmap_dialogs/dialogs.h"
#include "hardware/hardware_rasterizers.h"
#include "render/render.h"
#include "screen.h"
#include "support/test_directory.h"

namespace
{
struct recording_back_end
{
	int32 calls;
	int32 initialize_calls, dispose_calls, clear_calls, update_calls, render_bitmap_calls, vsync_calls;
	int32 mesh_parameter_calls;
	int32 vsync_interval;
	int32 draw_calls; // line, rectangle, polygon, character
	int32 download_calls;
	int16 download_slots[8];
	int32 stretch_calls;
	rectangle2d stretch_destination;
	uint32 stretch_transparency;
	boolean stretch_smooth;
	int32 draw_bitmap_calls;
	rectangle2d draw_bitmap_bounds;
	int32 scene_calls;
	boolean initialize_result;
};

recording_back_end recorded;

const opengl_rasterizer_procedures recording_procedures =
{
	[]() -> boolean { recorded.calls++; recorded.initialize_calls++; return recorded.initialize_result; },
	[]() { recorded.calls++; recorded.mesh_parameter_calls++; },
	[]() { recorded.calls++; recorded.dispose_calls++; },
	[](const rectangle2d *) -> bitmap_data * { recorded.calls++; recorded.render_bitmap_calls++; return NULL; },
	[]() { recorded.calls++; recorded.clear_calls++; },
	[]() { recorded.calls++; recorded.update_calls++; },
	[](dialog_rasterization_data *, int16 slot)
	{
		recorded.calls++;
		if (recorded.download_calls < 8) recorded.download_slots[recorded.download_calls] = slot;
		recorded.download_calls++;
	},
	[](bitmap_data *, const rectangle2d *bounds, int32)
	{
		recorded.calls++;
		recorded.draw_bitmap_calls++;
		recorded.draw_bitmap_bounds = *bounds;
	},
	[](const rectangle2d *, bitmap_data *) { recorded.calls++; },
	[](int32 interval) { recorded.calls++; recorded.vsync_calls++; recorded.vsync_interval = interval; },
	[](detail_texture_definition *) { recorded.calls++; },
	[](detail_texture_definition *) { recorded.calls++; },
	[](bitmap_data *) { recorded.calls++; },
	[](view_data *, render_surface_list *) { recorded.calls++; recorded.scene_calls++; },
	[](bitmap_data *, const font_character *, int32, int32, int32, int32, int32, int32, int32)
	{
		recorded.calls++;
		recorded.draw_calls++;
	},
	[](bitmap_data *, int32, point2d, point2d) { recorded.calls++; recorded.draw_calls++; },
	[](bitmap_data *, int32, int32, int32, int32, int32) { recorded.calls++; recorded.draw_calls++; },
	[](bitmap_data *, bitmap_data *, const color_table *, const rectangle2d *, const rectangle2d *destination,
		uint32 transparency, boolean smooth)
	{
		recorded.calls++;
		recorded.stretch_calls++;
		recorded.stretch_destination = *destination;
		recorded.stretch_transparency = transparency;
		recorded.stretch_smooth = smooth;
	},
	[](bitmap_data *, int32, const point2d *, int32) { recorded.calls++; recorded.draw_calls++; },
};

class hardware_rasterizers_fixture : public zerv_test_directory
{
protected:
	void SetUp() override
	{
		zerv_test_directory::SetUp();
		memset(&recorded, 0, sizeof(recorded));
		saved_code = active_screen.rasterizer_code;
		saved_width = active_screen.width;
		saved_height = active_screen.height;
	}
	void TearDown() override
	{
		install_opengl_rasterizer_procedures(NULL);
		active_screen.rasterizer_code = saved_code;
		active_screen.width = saved_width;
		active_screen.height = saved_height;
		close_all_dialogs();
		zerv_test_directory::TearDown();
	}

	dialog_data *make_dialog(int16 left, int16 top, int16 right, int16 bottom)
	{
		dialog_data *dialog = new_dialog(TAG("test"), NULL, NULL, 0, 0);
		rectangle2d bounds;
		set_rectangle2d(&bounds, left, top, right, bottom);
		move_dialog(dialog, &bounds);
		return dialog;
	}

	int16 saved_code = 0, saved_width = 0, saved_height = 0;
};

class HardwareRasterizersSwitch : public hardware_rasterizers_fixture {};
class HardwareRasterizersDialogs : public hardware_rasterizers_fixture {};

// Calls every forwarding operation once.
void call_everything(bitmap_data *destination)
{
	rectangle2d bounds;
	set_rectangle2d(&bounds, 0, 0, 4, 4);
	point2d p0 = {0, 0}, p1 = {3, 3};
	initialize_hardware_rasterizer_for_new_map();
	initialize_rasterizer_mesh_parameters_for_new_map();
	set_vsync_interval(0);
	dispose_hardware_rasterizer_from_old_map();
	initialize_render_bitmap_hardware(&bounds);
	clear_linear_backbuffer_hardware();
	update_screen_hardware();
	copy_bits_from_render_view_hardware(&bounds, destination);
	create_detail_texture_hardware(NULL);
	dispose_detail_texture_hardware(NULL);
	dispose_bitmap_cache_hardware(destination);
	draw_character_to_hardware_frame_buffer(destination, NULL, 0, 0, 0, 0, 0, 1, 1);
	draw_line_hardware(destination, 0, p0, p1);
	fill_rectangle_hardware(destination, 0, 0, 4, 0, 4);
	stretch_copy_bitmap_hardware(destination, destination, NULL, &bounds, &bounds, 0, FALSE);
	copy_bitmap_hardware(destination, destination, NULL, &bounds, p0, 0);
	fill_polygon_hardware(destination, 0, &p0, 1);
	rasterize_scene_hardware(NULL, NULL);
}
}

TEST_F(HardwareRasterizersSwitch, everything_is_off_without_a_back_end)
{
	bitmap_data frame_buffer;
	memset(&frame_buffer, 0, sizeof(frame_buffer));
	frame_buffer.encoding = _opengl_frame_buffer_encoding;

	// An empty table answers "off" even under code 5.
	for (int16 code : {_rasterizer_software, _rasterizer_opengl})
	{
		SCOPED_TRACE(code);
		active_screen.rasterizer_code = code;
		rectangle2d bounds;
		set_rectangle2d(&bounds, 0, 0, 8, 8);
		EXPECT_FALSE(initialize_hardware_rasterizer_for_new_map());
		EXPECT_FALSE(get_status_bars_downloaded());
		EXPECT_FALSE(clear_linear_backbuffer_hardware());
		EXPECT_EQ(initialize_render_bitmap_hardware(&bounds), nullptr);
		EXPECT_EQ(get_linear_backbuffer_hardware(&bounds), nullptr);
		int16 depth = 99, encoding = 98;
		get_bit_depth_and_encoding_hardware(&depth, &encoding);
		EXPECT_EQ(depth, 99);
		EXPECT_EQ(encoding, 98);
		call_everything(&frame_buffer);
	}
	EXPECT_EQ(recorded.calls, 0);

	// A back end installed, but a software display and an ordinary bitmap: still nothing.
	install_opengl_rasterizer_procedures(&recording_procedures);
	active_screen.rasterizer_code = _rasterizer_software;
	bitmap_data plain = frame_buffer;
	plain.encoding = _32bit_encoding;
	call_everything(&plain);
	EXPECT_EQ(recorded.calls, 0);
	// Drawing into the frame buffer tests only its encoding.
	call_everything(&frame_buffer);
	EXPECT_EQ(recorded.draw_calls, 4);
	EXPECT_EQ(recorded.stretch_calls, 2);
	EXPECT_EQ(recorded.initialize_calls, 0);
}

TEST_F(HardwareRasterizersSwitch, capabilities_and_encodings)
{
	for (int16 encoding = -1; encoding <= 16; ++encoding)
	{
		const bool hardware = encoding == 10 || encoding == 12 || encoding == 13 || encoding == 14 || encoding == 15;
		EXPECT_EQ(is_hardware_encoding(encoding) != FALSE, hardware) << encoding;
	}
	EXPECT_FALSE(is_hardware_encoding(-32768));
	EXPECT_FALSE(is_hardware_encoding(32767));

	for (int16 code = -1; code <= 7; ++code)
	{
		SCOPED_TRACE(code);
		EXPECT_EQ(rasterizer_requires_hardware_format_cache(code) != FALSE, code >= 2 && code <= 6);
		EXPECT_EQ(rasterizer_supports_fog(code) != FALSE, code == 4 || code == 5);
		EXPECT_EQ(rasterizer_supports_vsync(code) != FALSE, code == 5);
		// Gamma: the display is asked only for codes 0, 5 and 6.
		get_hardware_rasterizers_test_hooks()->display_supports_gamma = TRUE;
		EXPECT_EQ(rasterizer_supports_gamma(code) != FALSE, code == 0 || code == 5 || code == 6);
		get_hardware_rasterizers_test_hooks()->display_supports_gamma = FALSE;
		EXPECT_FALSE(rasterizer_supports_gamma(code));
	}
	EXPECT_FALSE(rasterizer_requires_square_textures());

	// The OpenGL display reports 32-bit pixels in encoding 2.
	install_opengl_rasterizer_procedures(&recording_procedures);
	active_screen.rasterizer_code = _rasterizer_opengl;
	int16 depth = 16, encoding = 1;
	get_bit_depth_and_encoding_hardware(&depth, &encoding);
	EXPECT_EQ(depth, 32);
	EXPECT_EQ(encoding, _32bit_encoding);
}

TEST_F(HardwareRasterizersSwitch, a_recording_back_end_gets_what_the_table_says)
{
	install_opengl_rasterizer_procedures(&recording_procedures);
	active_screen.rasterizer_code = _rasterizer_opengl;
	recorded.initialize_result = TRUE;
	EXPECT_TRUE(initialize_hardware_rasterizer_for_new_map());
	EXPECT_TRUE(clear_linear_backbuffer_hardware());
	initialize_rasterizer_mesh_parameters_for_new_map();
	set_vsync_interval(0);
	set_vsync_interval(-1);
	update_screen_hardware();
	dispose_hardware_rasterizer_from_old_map();
	EXPECT_EQ(recorded.initialize_calls, 1);
	EXPECT_EQ(recorded.mesh_parameter_calls, 1);
	EXPECT_EQ(recorded.vsync_calls, 2);
	EXPECT_EQ(recorded.vsync_interval, -1);
	EXPECT_EQ(recorded.clear_calls, 1);
	EXPECT_EQ(recorded.update_calls, 1);
	EXPECT_EQ(recorded.dispose_calls, 1);

	// An unscaled copy becomes a stretch to R; only the low 16 bits of transparency pass.
	bitmap_data frame_buffer;
	memset(&frame_buffer, 0, sizeof(frame_buffer));
	frame_buffer.encoding = _opengl_frame_buffer_encoding;
	rectangle2d source;
	set_rectangle2d(&source, 2, 3, 12, 8);
	copy_bitmap_hardware(&frame_buffer, &frame_buffer, NULL, &source, {100, 200}, 0x12345);
	EXPECT_EQ(recorded.stretch_destination.left, 100);
	EXPECT_EQ(recorded.stretch_destination.top, 200);
	EXPECT_EQ(recorded.stretch_destination.right, 110);
	EXPECT_EQ(recorded.stretch_destination.bottom, 205);
	EXPECT_EQ(recorded.stretch_transparency, 0x2345u);
	EXPECT_FALSE(recorded.stretch_smooth);
	stretch_copy_bitmap_hardware(&frame_buffer, &frame_buffer, NULL, &source, &source, 0xFFFF, TRUE);
	EXPECT_EQ(recorded.stretch_transparency, 0xFFFFu);
	EXPECT_TRUE(recorded.stretch_smooth);

	// The scene goes to the back end only for a view drawn into its frame buffer.
	view_data view;
	memset(&view, 0, sizeof(view));
	rasterize_scene_hardware(&view, NULL);
	bitmap_data ordinary = frame_buffer;
	ordinary.encoding = _32bit_encoding;
	view.screen = &ordinary;
	rasterize_scene_hardware(&view, NULL);
	EXPECT_EQ(recorded.scene_calls, 0);
	view.screen = &frame_buffer;
	rasterize_scene_hardware(&view, NULL);
	EXPECT_EQ(recorded.scene_calls, 1);

	// The bars go to slot 0 (status) and 3 (control).
	dialog_rasterization_data rasterization;
	memset(&rasterization, 0, sizeof(rasterization));
	draw_control_or_status_bar_hardware(&rasterization, TRUE);
	draw_control_or_status_bar_hardware(&rasterization, FALSE);
	EXPECT_EQ(recorded.download_slots[0], _preallocated_control_bar_textures);
	EXPECT_EQ(recorded.download_slots[1], _preallocated_status_bar_textures);
}

TEST_F(HardwareRasterizersSwitch, bars_are_uploaded_on_the_first_scene_of_each_map)
{
	install_opengl_rasterizer_procedures(&recording_procedures);
	active_screen.rasterizer_code = _rasterizer_opengl;
	hardware_rasterizers_test_hooks_data *hooks = get_hardware_rasterizers_test_hooks();
	hooks->use_hooked_bar_dialogs = TRUE;
	hooks->status_bar_dialog = make_dialog(0, 0, 640, 20);
	hooks->control_bar_dialog = make_dialog(0, 440, 640, 480);

	initialize_hardware_rasterizer_for_new_map();
	rasterize_scene_hardware(NULL, NULL);
	rasterize_scene_hardware(NULL, NULL);
	ASSERT_EQ(recorded.download_calls, 2);
	EXPECT_EQ(recorded.download_slots[0], _preallocated_status_bar_textures);
	EXPECT_EQ(recorded.download_slots[1], _preallocated_control_bar_textures);
	EXPECT_TRUE(get_status_bars_downloaded());
	ASSERT_NE(hooks->status_bar_dialog->internal_bitmap, nullptr);
	EXPECT_EQ(hooks->status_bar_dialog->internal_bitmap->width, 640);

	// The next map uploads again.
	initialize_hardware_rasterizer_for_new_map();
	EXPECT_FALSE(get_status_bars_downloaded());
	rasterize_scene_hardware(NULL, NULL);
	EXPECT_EQ(recorded.download_calls, 4);

	// A missing bar is skipped and the bars still count as downloaded.
	hooks->status_bar_dialog = NULL;
	initialize_hardware_rasterizer_for_new_map();
	rasterize_scene_hardware(NULL, NULL);
	EXPECT_EQ(recorded.download_calls, 5);
	EXPECT_EQ(recorded.download_slots[4], _preallocated_control_bar_textures);
	EXPECT_TRUE(get_status_bars_downloaded());
	hooks->control_bar_dialog = NULL;
	initialize_hardware_rasterizer_for_new_map();
	rasterize_scene_hardware(NULL, NULL);
	EXPECT_TRUE(get_status_bars_downloaded());
}

/* ---------- dialogs */

namespace
{
int32 paint_calls;
bool painted_onto_zero;

void paint_corner(bitmap_data *bitmap, dialog_data *)
{
	paint_calls++;
	uint32 first;
	memcpy(&first, bitmap->row_addresses[0], sizeof(first));
	painted_onto_zero = first == 0;
	const uint32 pixel = 0xFF112233;
	memcpy(bitmap->row_addresses[0], &pixel, sizeof(pixel));
}
}

TEST_F(HardwareRasterizersDialogs, dialog_bitmaps)
{
	paint_calls = 0;
	get_dialogs_test_hooks()->paint_dialog = paint_corner;

	// An odd width gets a row one pixel wider; the block starts zeroed.
	dialog_data *dialog = make_dialog(10, 20, 15, 23);
	set_dialog_dirty(dialog);
	EXPECT_EQ(rectangle2d_width(&dialog->dirty_rectangle), 5);
	draw_dialog_hardware(dialog);
	const bitmap_data *bitmap = dialog->internal_bitmap;
	ASSERT_NE(bitmap, nullptr);
	EXPECT_EQ(bitmap->width, 5);
	EXPECT_EQ(bitmap->height, 3);
	EXPECT_EQ(bitmap->bytes_per_row, 24);
	EXPECT_EQ(bitmap->logical_bit_depth, 32);
	EXPECT_EQ(bitmap->encoding, _32bit_encoding);
	EXPECT_EQ(bitmap->pixel_upshift, 2);
	// Drawn into: the back end must upload it again.
	EXPECT_EQ(bitmap->flags, _bitmap_changed_flag);
	EXPECT_EQ(bitmap->row_addresses[1] - bitmap->row_addresses[0], 24);
	EXPECT_TRUE(painted_onto_zero);
	for (int32 y = 0; y < 3; ++y)
	{
		for (int32 x = y == 0 ? 4 : 0; x < 24; ++x) EXPECT_EQ(bitmap->row_addresses[y][x], 0);
	}
	// Drawing clears the dirty rectangle.
	EXPECT_EQ(rectangle2d_width(&dialog->dirty_rectangle), 0);

	// The bitmap is kept; an opaque dialog is drawn over what was there, a
	// transparent one is cleared first.
	draw_dialog_hardware(dialog);
	EXPECT_EQ(dialog->internal_bitmap, bitmap);
	EXPECT_FALSE(painted_onto_zero);
	dialog->flags |= _dialog_is_transparent_flag;
	draw_dialog_hardware(dialog);
	EXPECT_TRUE(painted_onto_zero);
	EXPECT_EQ(paint_calls, 3);

	// Empty and inverted dialogs get no bitmap and are not drawn, nor does one
	// whose row would not fit a 16-bit byte count: 8190 pixels fit, 8191
	// (padded to 8192) do not.
	const int16 no_bitmap_bounds[][4] = {{10, 10, 10, 30}, {10, 10, 5, 30}, {0, 0, 8191, 1}};
	for (const int16 *bounds : no_bitmap_bounds)
	{
		dialog_data *refused = make_dialog(bounds[0], bounds[1], bounds[2], bounds[3]);
		draw_dialog_hardware(refused);
		EXPECT_EQ(refused->internal_bitmap, nullptr) << bounds[2];
	}
	EXPECT_EQ(paint_calls, 3);
	dialog_data *widest = make_dialog(0, 0, 8190, 1);
	draw_dialog_hardware(widest);
	EXPECT_NE(widest->internal_bitmap, nullptr);
}

TEST_F(HardwareRasterizersDialogs, copies_into_the_back_buffer_are_clipped)
{
	active_screen.rasterizer_code = _rasterizer_software;
	bitmap_data *backbuffer = new_bitmap(8, 6, 32, _32bit_encoding, 0);
	ASSERT_NE(backbuffer, nullptr);
	hardware_rasterizers_test_hooks_data *hooks = get_hardware_rasterizers_test_hooks();

	dialog_data *dialog = make_dialog(0, 0, 4, 3);
	draw_dialog_hardware(dialog);
	bitmap_data *bitmap = dialog->internal_bitmap;
	ASSERT_NE(bitmap, nullptr);
	for (int32 y = 0; y < 3; ++y)
	{
		for (uint32 x = 0; x < 4; ++x)
		{
			const uint32 pixel = 0x100 * static_cast<uint32>(y + 1) + x + 1;
			memcpy(bitmap->row_addresses[y] + 4 * x, &pixel, 4);
		}
	}
	auto pixel_at = [&](int32 x, int32 y)
	{
		uint32 pixel;
		memcpy(&pixel, backbuffer->row_addresses[y] + 4 * x, 4);
		return pixel;
	};
	dialog_rasterization_data rasterization;
	get_rasterization_data_for_dialog(dialog, &rasterization);

	// No back buffer: nothing drawn.
	EXPECT_FALSE(rasterize_dialog_hardware(&rasterization));

	// Only a 32-bit back buffer takes the copy.
	bitmap_data *narrow = new_bitmap(8, 6, 16, _16bit_565_encoding, 0);
	ASSERT_NE(narrow, nullptr);
	hooks->linear_backbuffer = narrow;
	EXPECT_FALSE(rasterize_dialog_hardware(&rasterization));
	EXPECT_EQ(hooks->linear_backbuffer_releases, 1);
	hooks->linear_backbuffer_releases = 0;
	dispose_pointer(narrow);

	hooks->linear_backbuffer = backbuffer;
	// A negative origin is clipped at the left and top.
	rasterization.origin = {-1, -2};
	EXPECT_TRUE(rasterize_dialog_hardware(&rasterization));
	EXPECT_EQ(pixel_at(0, 0), 0x302u);
	EXPECT_EQ(pixel_at(2, 0), 0x304u);
	EXPECT_EQ(pixel_at(3, 0), 0u);
	EXPECT_EQ(pixel_at(0, 1), 0u);
	EXPECT_EQ(hooks->linear_backbuffer_releases, 1);

	// Past the right and bottom edges only what fits is copied.
	rasterization.origin = {6, 4};
	EXPECT_TRUE(rasterize_dialog_hardware(&rasterization));
	EXPECT_EQ(pixel_at(6, 4), 0x101u);
	EXPECT_EQ(pixel_at(7, 5), 0x202u);

	// Wholly below: nothing copied, still drawn.
	rasterization.origin = {0, 6};
	EXPECT_TRUE(rasterize_dialog_hardware(&rasterization));
	rasterization.origin = {-4, 0};
	EXPECT_TRUE(rasterize_dialog_hardware(&rasterization));
	EXPECT_EQ(pixel_at(0, 2), 0u);
	EXPECT_EQ(hooks->linear_backbuffer_releases, 4);

	// Code 6 never draws; OpenGL draws the bitmap as a texture.
	active_screen.rasterizer_code = _rasterizer_dx11;
	EXPECT_FALSE(rasterize_dialog_hardware(&rasterization));
	active_screen.rasterizer_code = _rasterizer_opengl;
	EXPECT_FALSE(rasterize_dialog_hardware(&rasterization));
	install_opengl_rasterizer_procedures(&recording_procedures);
	EXPECT_TRUE(rasterize_dialog_hardware(&rasterization));
	EXPECT_EQ(recorded.draw_bitmap_calls, 1);
	EXPECT_EQ(recorded.draw_bitmap_bounds.right, 4);
	EXPECT_TRUE(dialog->must_be_disposed_by_backend);
	dispose_pointer(backbuffer);
}
