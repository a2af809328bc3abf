#include "hardware/hardware_rasterizers.h"

#include "bitmap_dialogs/dialogs.h"
#include "interface.h"
#include "render/render.h"
#include "screen.h"

struct hardware_rasterizers_globals_data
{
	boolean status_bars_downloaded;
	// NULL while no back end has installed itself.
	const opengl_rasterizer_procedures *opengl;
};

static hardware_rasterizers_globals_data hardware_rasterizers_globals;
static hardware_rasterizers_test_hooks_data hardware_rasterizers_hooks;

hardware_rasterizers_test_hooks_data *get_hardware_rasterizers_test_hooks(void)
{
	return &hardware_rasterizers_hooks;
}

void reset_hardware_rasterizers_test_hooks(void)
{
	memset(&hardware_rasterizers_hooks, 0, sizeof(hardware_rasterizers_hooks));
	memset(&hardware_rasterizers_globals, 0, sizeof(hardware_rasterizers_globals));
}

#define LEAST(...) least_call(&hardware_rasterizers_hooks.calls, __VA_ARGS__)

void install_opengl_rasterizer_procedures(const opengl_rasterizer_procedures *procedures)
{
	hardware_rasterizers_globals.opengl = procedures;
}

const opengl_rasterizer_procedures *get_opengl_rasterizer_procedures(void)
{
	return hardware_rasterizers_globals.opengl;
}

/* ---------- the two tests */

// The display is driven by OpenGL and the back end offers the operation.
#define OPENGL_DISPLAY(procedure) \
	(active_screen.rasterizer_code == _rasterizer_opengl && hardware_rasterizers_globals.opengl && \
		hardware_rasterizers_globals.opengl->procedure)

// The bitmap stands for the OpenGL frame buffer and the back end offers the operation.
#define OPENGL_BITMAP(bitmap, procedure) \
	((bitmap) && (bitmap)->encoding == _opengl_frame_buffer_encoding && hardware_rasterizers_globals.opengl && \
		hardware_rasterizers_globals.opengl->procedure)

#define OPENGL(procedure) (hardware_rasterizers_globals.opengl->procedure)

/* ---------- per map and per frame */

boolean initialize_hardware_rasterizer_for_new_map(void)
{
	// Every map uploads both bars again on its first hardware scene.
	hardware_rasterizers_globals.status_bars_downloaded = FALSE;
	if (!OPENGL_DISPLAY(initialize_opengl_rasterizer_for_new_map)) return FALSE;
	return OPENGL(initialize_opengl_rasterizer_for_new_map)() ? TRUE : FALSE;
}

void initialize_rasterizer_mesh_parameters_for_new_map(void)
{
	if (OPENGL_DISPLAY(initialize_opengl_mesh_parameters_for_new_map)) OPENGL(initialize_opengl_mesh_parameters_for_new_map)();
}

void dispose_hardware_rasterizer_from_old_map(void)
{
	if (OPENGL_DISPLAY(dispose_opengl_rasterizer_from_old_map)) OPENGL(dispose_opengl_rasterizer_from_old_map)();
}

void set_vsync_interval(int32 interval)
{
	if (OPENGL_DISPLAY(set_vsync_interval_opengl)) OPENGL(set_vsync_interval_opengl)(interval);
}

void preload_bitmap_into_cache_hardware(bitmap_data *)
{
}

bitmap_data *initialize_render_bitmap_hardware(const rectangle2d *bounds)
{
	if (!OPENGL_DISPLAY(initialize_opengl_render_bitmap)) return NULL;
	return OPENGL(initialize_opengl_render_bitmap)(bounds);
}

void release_render_bitmap_hardware(void)
{
}

bitmap_data *get_linear_backbuffer_hardware(const rectangle2d *)
{
	// The hardware path never exposes a linear back buffer.
	return NULL;
}

void release_linear_backbuffer_hardware(void)
{
}

boolean clear_linear_backbuffer_hardware(void)
{
	if (!OPENGL_DISPLAY(clear_opengl_backbuffer)) return FALSE;
	OPENGL(clear_opengl_backbuffer)();
	return TRUE;
}

void update_screen_hardware(void)
{
	if (OPENGL_DISPLAY(copy_opengl_world_to_screen)) OPENGL(copy_opengl_world_to_screen)();
}

void render_begin_hardware(void)
{
	LEAST("render_begin_hardware");
}

void render_end_hardware(boolean dont_flip)
{
	LEAST("render_end_hardware", dont_flip);
}

static dialog_data *bar_dialog(boolean control_bar)
{
	if (hardware_rasterizers_hooks.use_hooked_bar_dialogs)
	{
		return control_bar ? hardware_rasterizers_hooks.control_bar_dialog : hardware_rasterizers_hooks.status_bar_dialog;
	}
	return control_bar ? get_control_bar_dialog() : get_status_bar_dialog();
}

static void download_bar(boolean control_bar)
{
	dialog_data *dialog = bar_dialog(control_bar);
	// A bar missing on the first scene is skipped; the next map tries again.
	if (!dialog) return;

	dialog_rasterization_data rasterization;
	draw_dialog_hardware(dialog);
	get_rasterization_data_for_dialog(dialog, &rasterization);
	if (OPENGL_DISPLAY(download_control_or_status_bar_opengl))
	{
		OPENGL(download_control_or_status_bar_opengl)(&rasterization,
			control_bar ? _preallocated_control_bar_textures : _preallocated_status_bar_textures);
	}
}

void rasterize_scene_hardware(view_data *view, render_surface_list *surfaces)
{
	if (!hardware_rasterizers_globals.status_bars_downloaded)
	{
		download_bar(FALSE);
		download_bar(TRUE);
		hardware_rasterizers_globals.status_bars_downloaded = TRUE;
	}

	bitmap_data *destination = view ? view->screen : NULL;
	if (OPENGL_BITMAP(destination, rasterize_scene_opengl)) OPENGL(rasterize_scene_opengl)(view, surfaces);
}

boolean get_status_bars_downloaded(void)
{
	return hardware_rasterizers_globals.status_bars_downloaded;
}

/* ---------- dialogs */

static uint8 *bitmap_row(const bitmap_data *bitmap, int32 y)
{
	if (bitmap->flags & _no_row_address_table_flag)
	{
		return bitmap->row_addresses[0] + static_cast<intptr_t>(y) * bitmap->bytes_per_row;
	}
	return bitmap->row_addresses[y];
}

static void setup_dialog_for_hardware_acceleration(dialog_data *dialog)
{
	if (dialog->internal_bitmap) return;

	const int32 width = rectangle2d_width(&dialog->bounds);
	const int32 height = rectangle2d_height(&dialog->bounds);
	const int32 bytes_per_row = (width + (width & 1)) * 4;
	// An empty or inverted dialog, or a row too wide to describe, gets no bitmap.
	if (width <= 0 || height <= 0 || bytes_per_row > INT16_MAX) return;

	const size_t header_size = static_cast<size_t>(sizeof_bitmap(static_cast<int16>(height), 0));
	const size_t block_size = static_cast<size_t>(bytes_per_row) * static_cast<size_t>(height) + header_size;
	bitmap_data *bitmap = static_cast<bitmap_data *>(new_pointer(block_size));
	dialog->internal_bitmap = bitmap;
	if (!bitmap) return;

	memset(bitmap, 0, block_size);
	bitmap->width = static_cast<int16>(width);
	bitmap->height = static_cast<int16>(height);
	bitmap->bytes_per_row = static_cast<int16>(bytes_per_row);
	bitmap->flags = 0;
	bitmap->logical_bit_depth = _32bit;
	bitmap->encoding = _32bit_encoding;
	bitmap->pixel_upshift = 2;
	bitmap->width_bits = 0;
	bitmap->height_bits = 0;
	bitmap->row_addresses[0] = reinterpret_cast<uint8 *>(bitmap) + header_size;
	precalculate_bitmap_row_addresses(bitmap);
}

void draw_dialog_hardware(dialog_data *dialog)
{
	if (!dialog) return;
	setup_dialog_for_hardware_acceleration(dialog);
	bitmap_data *bitmap = dialog->internal_bitmap;
	if (!bitmap) return;

	if (dialog->flags & _dialog_is_transparent_flag)
	{
		// What the dialog does not paint stays fully transparent.
		for (int32 y = 0; y < bitmap->height; ++y) memset(bitmap_row(bitmap, y), 0, static_cast<size_t>(bitmap->bytes_per_row));
	}
	draw_dialog_into_bitmap(bitmap, dialog);
	// The back end uploads the bitmap again only when told it changed.
	bitmap->flags = static_cast<int16>(bitmap->flags | _bitmap_changed_flag);
}

void draw_control_or_status_bar_hardware(dialog_rasterization_data *rasterization, boolean control_bar)
{
	if (!OPENGL_DISPLAY(download_control_or_status_bar_opengl)) return;
	OPENGL(download_control_or_status_bar_opengl)(rasterization,
		control_bar ? _preallocated_control_bar_textures : _preallocated_status_bar_textures);
}

static bitmap_data *get_dialog_backbuffer(rectangle2d *bounds)
{
	if (hardware_rasterizers_hooks.linear_backbuffer) return hardware_rasterizers_hooks.linear_backbuffer;
	return get_linear_backbuffer(bounds);
}

static void release_dialog_backbuffer(bitmap_data *backbuffer)
{
	if (backbuffer == hardware_rasterizers_hooks.linear_backbuffer)
	{
		hardware_rasterizers_hooks.linear_backbuffer_releases += 1;
		return;
	}
	release_linear_backbuffer(backbuffer);
}

boolean rasterize_dialog_hardware(dialog_rasterization_data *rasterization, const rectangle2d *full_screen_bounds)
{
	if (!rasterization) return FALSE;

	switch (active_screen.rasterizer_code)
	{
	case _rasterizer_opengl:
	{
		if (!OPENGL_DISPLAY(draw_bitmap_opengl)) return FALSE;
		rectangle2d bounds;
		get_dialog_bounds(rasterization->dialog, &bounds);
		OPENGL(draw_bitmap_opengl)(rasterization->bitmap, &bounds, 0);
		if (rasterization->dialog) rasterization->dialog->must_be_disposed_by_backend = TRUE;
		return TRUE;
	}

	case _rasterizer_dx11:
		return FALSE;

	default:
		break;
	}

	rectangle2d bounds;
	if (full_screen_bounds) bounds = *full_screen_bounds;
	else set_rectangle2d(&bounds, 0, 0, active_screen.width, active_screen.height);

	bitmap_data *backbuffer = get_dialog_backbuffer(&bounds);
	if (!backbuffer) return FALSE;
	// The copy moves whole 32-bit pixels; any other back buffer cannot take it.
	if (backbuffer->pixel_upshift != 2)
	{
		release_dialog_backbuffer(backbuffer);
		return FALSE;
	}

	const bitmap_data *bitmap = rasterization->bitmap;
	if (bitmap && bitmap->pixel_upshift == 2)
	{
		// Clipped on all four sides: a dialog may lie partly off the screen.
		const int32 origin_x = rasterization->origin.x;
		const int32 origin_y = rasterization->origin.y;
		const int32 source_x = MAX(0, -origin_x);
		const int32 source_y = MAX(0, -origin_y);
		const int32 destination_x = MAX(0, origin_x);
		const int32 destination_y = MAX(0, origin_y);
		const int32 rows = MIN(backbuffer->height - destination_y, bitmap->height - source_y);
		const int32 columns = MIN(backbuffer->width - destination_x, bitmap->width - source_x);

		if (columns > 0)
		{
			for (int32 row = 0; row < rows; ++row)
			{
				memcpy(bitmap_row(backbuffer, destination_y + row) + 4 * destination_x,
					bitmap_row(bitmap, source_y + row) + 4 * source_x, static_cast<size_t>(columns) * 4);
			}
		}
	}

	release_dialog_backbuffer(backbuffer);
	return TRUE;
}

void copy_bits_from_render_view_hardware(const rectangle2d *bounds, bitmap_data *destination)
{
	// In software nothing is written, so a snapshot reproduces.
	if (OPENGL_DISPLAY(copy_bits_from_opengl_render_buffer)) OPENGL(copy_bits_from_opengl_render_buffer)(bounds, destination);
}

/* ---------- capabilities */

void get_bit_depth_and_encoding_hardware(int16 *bit_depth, int16 *encoding)
{
	if (active_screen.rasterizer_code != _rasterizer_opengl || !hardware_rasterizers_globals.opengl) return;
	if (bit_depth) *bit_depth = _32bit;
	if (encoding) *encoding = _32bit_encoding;
}

boolean rasterizer_requires_hardware_format_cache(int16 rasterizer_code)
{
	return rasterizer_code >= _rasterizer_direct3d && rasterizer_code <= _rasterizer_dx11;
}

boolean rasterizer_supports_gamma(int16 rasterizer_code)
{
	switch (rasterizer_code)
	{
	case _rasterizer_software:
	case _rasterizer_opengl:
	case _rasterizer_dx11:
		return hardware_rasterizers_hooks.display_supports_gamma ? TRUE : FALSE;
	default:
		return FALSE;
	}
}

boolean rasterizer_requires_square_textures(void)
{
	return hardware_rasterizers_hooks.requires_square_textures ? TRUE : FALSE;
}

boolean rasterizer_supports_fog(int16 rasterizer_code)
{
	return rasterizer_code == _rasterizer_3dfx || rasterizer_code == _rasterizer_opengl;
}

boolean rasterizer_supports_vsync(int16 rasterizer_code)
{
	return rasterizer_code == _rasterizer_opengl;
}

boolean is_hardware_encoding(int16 encoding)
{
	switch (encoding)
	{
	case _3dfx_frame_buffer_encoding:
	case _direct3d_frame_buffer_encoding:
	case _rave_frame_buffer_encoding:
	case _opengl_frame_buffer_encoding:
	case _dx11_frame_buffer_encoding:
		return TRUE;
	default:
		return FALSE;
	}
}

/* ---------- textures and drawing */

void create_detail_texture_hardware(detail_texture_definition *definition)
{
	if (OPENGL_DISPLAY(create_detail_texture_opengl)) OPENGL(create_detail_texture_opengl)(definition);
}

void dispose_detail_texture_hardware(detail_texture_definition *definition)
{
	if (OPENGL_DISPLAY(dispose_detail_texture_opengl)) OPENGL(dispose_detail_texture_opengl)(definition);
}

void dispose_bitmap_cache_hardware(bitmap_data *bitmap)
{
	if (OPENGL_DISPLAY(dispose_bitmap_cache_opengl)) OPENGL(dispose_bitmap_cache_opengl)(bitmap);
}

void draw_character_to_hardware_frame_buffer(bitmap_data *destination, const font_character *character, int32 color,
	int32 x0, int32 y0, int32 x, int32 y, int32 width, int32 height)
{
	if (!OPENGL_BITMAP(destination, draw_character_to_opengl_frame_buffer)) return;
	OPENGL(draw_character_to_opengl_frame_buffer)(destination, character, color, x0, y0, x, y, width, height);
}

void draw_line_hardware(bitmap_data *destination, int32 pel, point2d p0, point2d p1)
{
	if (OPENGL_BITMAP(destination, draw_line_opengl)) OPENGL(draw_line_opengl)(destination, pel, p0, p1);
}

void fill_rectangle_hardware(bitmap_data *destination, int32 pel, int32 left, int32 right, int32 top, int32 bottom)
{
	if (OPENGL_BITMAP(destination, fill_rectangle_opengl)) OPENGL(fill_rectangle_opengl)(destination, pel, left, right, top, bottom);
}

void stretch_copy_bitmap_hardware(bitmap_data *destination, bitmap_data *source, const color_table *source_color_table,
	const rectangle2d *source_rectangle, const rectangle2d *destination_rectangle, fixed_fraction transparency,
	boolean smooth)
{
	if (!OPENGL_BITMAP(destination, stretch_copy_bitmap_opengl)) return;
	OPENGL(stretch_copy_bitmap_opengl)(destination, source, source_color_table, source_rectangle, destination_rectangle,
		static_cast<uint32>(transparency), smooth);
}

void copy_bitmap_hardware(bitmap_data *destination, bitmap_data *source, const color_table *source_color_table,
	const rectangle2d *source_rectangle, point2d destination_point, int32 transparency)
{
	if (!OPENGL_BITMAP(destination, stretch_copy_bitmap_opengl) || !source_rectangle) return;

	// An unscaled copy: the destination has the source rectangle's size.
	rectangle2d destination_rectangle;
	destination_rectangle.left = destination_point.x;
	destination_rectangle.top = destination_point.y;
	destination_rectangle.right = static_cast<int16>(destination_point.x + (source_rectangle->right - source_rectangle->left));
	destination_rectangle.bottom = static_cast<int16>(destination_point.y + (source_rectangle->bottom - source_rectangle->top));
	OPENGL(stretch_copy_bitmap_opengl)(destination, source, source_color_table, source_rectangle, &destination_rectangle,
		static_cast<uint32>(transparency) & 0xFFFFu, FALSE);
}

void fill_polygon_hardware(bitmap_data *destination, int32 pel, const point2d *vertices, int32 vertex_count)
{
	if (OPENGL_BITMAP(destination, fill_polygon_opengl)) OPENGL(fill_polygon_opengl)(destination, pel, vertices, vertex_count);
}
