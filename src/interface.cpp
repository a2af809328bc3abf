#include "interface.h"
#include "render/render.h"

#include "bitmap_drawing.h"
#include "bitmap_text.h"
#include "formations.h"
#include "tag_files/tag_files.h"

static interface_test_hooks_data interface_hooks;

// The bars as last set; nothing is drawn.
static int16 control_bar_state = _control_bar_hidden;
static boolean status_bar_shown = FALSE;

interface_test_hooks_data *get_interface_test_hooks(void)
{
	return &interface_hooks;
}

void reset_interface_test_hooks(void)
{
	clear_least_call_log(&interface_hooks.calls);
	interface_hooks.control_bar_dialog = NULL;
	interface_hooks.status_bar_dialog = NULL;
	control_bar_state = _control_bar_hidden;
	status_bar_shown = FALSE;
}

#define LEAST(...) least_call(&interface_hooks.calls, __VA_ARGS__)

void initialize_interface(void)
{
	LEAST("initialize_interface");
	initialize_formations();
	register_prerender_effect(-1, build_interface_overlay_surface_list);
	register_postrasterization_effect(0, rasterize_interface_effects);
}

void initialize_interface_for_new_map(file_tag interface_tag)
{
	LEAST("initialize_interface_for_new_map", interface_tag);
	initialize_formations_for_new_map();
}

// The interface font of every slot, resolved on first use per map.
#define NUMBER_OF_INTERFACE_FONT_SLOTS 8
#define INTERFACE_FONT_TAG TAG("ifnt")
static int16 interface_font_indexes[NUMBER_OF_INTERFACE_FONT_SLOTS] = {NONE, NONE, NONE, NONE, NONE, NONE, NONE, NONE};
static boolean interface_fonts_resolved[NUMBER_OF_INTERFACE_FONT_SLOTS] = {};

void dispose_interface_from_old_map(void)
{
	LEAST("dispose_interface_from_old_map");
	dispose_formations_from_old_map();
	// Font indexes belong to the map being left.
	for (int32 i = 0; i < NUMBER_OF_INTERFACE_FONT_SLOTS; ++i)
	{
		interface_font_indexes[i] = NONE;
		interface_fonts_resolved[i] = FALSE;
	}
}

rgb_color *get_interface_color(int16 index, rgb_color *color)
{
	LEAST("get_interface_color", index, color);
	if (!color) return color;
	// The palette the unit overlays use, until the interface definition carries one.
	*color = rgb_color{0, 0, 0, 0};
	switch (index)
	{
	case 2: *color = rgb_color{0, 65535, 0, 0}; return color; // owned
	case 3: *color = rgb_color{65535, 0, 0, 0}; return color; // unfriendly
	case 4: *color = rgb_color{65535, 65535, 0, 0}; return color; // friendly
	case 5: *color = rgb_color{65535, 65535, 65535, 0}; return color; // not a unit
	default: break;
	}
	// Vitality steps: red to green, and the same at half value for the empty part.
	if (index >= 12 && index < 12 + 2 * 22)
	{
		const int32 i = (index - 12) % 22;
		const int32 divisor = index < 34 ? 1 : 2;
		color->red = static_cast<uint16>(65535 * (21 - i) / 21 / divisor);
		color->green = static_cast<uint16>(65535 * i / 21 / divisor);
	}
	return color;
}

int16 get_interface_font_index(int16 slot)
{
	LEAST("get_interface_font_index", slot);
	if (slot < 0 || slot >= NUMBER_OF_INTERFACE_FONT_SLOTS) return NONE;
	if (!interface_fonts_resolved[slot])
	{
		// A missing font is NONE, without an error.
		interface_font_indexes[slot] = tag_file_exists(FONT_DEFINITION_GROUP_TAG, INTERFACE_FONT_TAG) ?
			font_tag_to_font_index(INTERFACE_FONT_TAG) : static_cast<int16>(NONE);
		interface_fonts_resolved[slot] = TRUE;
	}
	return interface_font_indexes[slot];
}

void adjust_action_pointer(action_data *action, const rectangle2d *destination_frame,
	const rectangle2d *mouse_movement_frame, uint32 camera_control_flags)
{
	LEAST("adjust_action_pointer", action, destination_frame, mouse_movement_frame, camera_control_flags);
}

void build_interface_overlay_surface_list(view_data *view, mesh_region *region, render_surface_list *surfaces)
{
	LEAST("build_interface_overlay_surface_list", view, region, surfaces);
}

void rasterize_interface_effects(view_data *view)
{
	LEAST("rasterize_interface_effects", view);
}

void advance_mission(int16 pages)
{
	LEAST("advance_mission", pages);
}

void highlight_all(boolean on)
{
	LEAST("highlight_all", on);
}

void highlight_movement_destinations(void)
{
	LEAST("highlight_movement_destinations");
}

/* ---------- bars: the area of a shown bar is empty until they are drawn */

static void clear_bounds(rectangle2d *bounds)
{
	if (bounds) set_rectangle2d(bounds, 0, 0, 0, 0);
}

void initialize_control_bar_for_new_map(void)
{
	LEAST("initialize_control_bar_for_new_map");
}

void dispose_control_bar_from_old_map(void)
{
	LEAST("dispose_control_bar_from_old_map");
}

void update_control_bar(void)
{
	LEAST("update_control_bar");
}

// Not shown while no dialog is built for the bar: the least layer builds none.
boolean control_bar_visible(rectangle2d *bounds)
{
	clear_bounds(bounds);
	return control_bar_state != _control_bar_hidden && get_control_bar_dialog() ? TRUE : FALSE;
}

void set_control_bar_visibility(int16 state)
{
	LEAST("set_control_bar_visibility", state);
	control_bar_state = state;
}

dialog_data *get_control_bar_dialog(void)
{
	return interface_hooks.control_bar_dialog;
}

void initialize_status_bar_for_new_map(void)
{
	LEAST("initialize_status_bar_for_new_map");
}

void dispose_status_bar_from_old_map(void)
{
	LEAST("dispose_status_bar_from_old_map");
}

void update_status_bar(void)
{
	LEAST("update_status_bar");
}

boolean status_bar_visible(rectangle2d *bounds)
{
	clear_bounds(bounds);
	return status_bar_shown && get_status_bar_dialog() ? TRUE : FALSE;
}

void set_status_bar_visibility(boolean visible)
{
	LEAST("set_status_bar_visibility", visible);
	status_bar_shown = visible ? TRUE : FALSE;
}

void set_status_bar_height(int16 pixels)
{
	LEAST("set_status_bar_height", pixels);
}

boolean push_pause_button(void)
{
	LEAST("push_pause_button");
	return FALSE;
}

void push_help_button(void)
{
	LEAST("push_help_button");
}

void show_status_map_description(void)
{
	LEAST("show_status_map_description");
}

dialog_data *get_status_bar_dialog(void)
{
	return interface_hooks.status_bar_dialog;
}

/* ---------- fades */

void initialize_ingame_fades(void)
{
	LEAST("initialize_ingame_fades");
	register_postrasterization_effect(2, rasterize_ingame_fades);
}

// Presentation only: never digested.
static ingame_fade_data ingame_fade;

const ingame_fade_data *get_ingame_fade(void)
{
	return &ingame_fade;
}

void initialize_ingame_fades_for_new_game(void)
{
	LEAST("initialize_ingame_fades_for_new_game");
	ingame_fade = {};
}

void update_ingame_fades(void)
{
	LEAST("update_ingame_fades");
	if (ingame_fade.active && ingame_fade.ticks_left > 0) ingame_fade.ticks_left -= 1;
	// A fade away is over once clear; a fade in holds its colour.
	if (ingame_fade.active && ingame_fade.duration > 0 && ingame_fade.ticks_left <= 0) ingame_fade.active = FALSE;
}

void set_ingame_fade(const rgb_color *color, int16 duration, int16 starting_duration)
{
	LEAST("set_ingame_fade", color, duration, starting_duration);
	if (!color || duration == 0)
	{
		ingame_fade = {};
		return;
	}
	ingame_fade.active = TRUE;
	ingame_fade.color = *color;
	ingame_fade.duration = duration;
	ingame_fade.starting_duration = starting_duration;
	const int32 span = duration < 0 ? -static_cast<int32>(duration) : duration;
	const int32 start = starting_duration < 0 ? -static_cast<int32>(starting_duration) : starting_duration;
	ingame_fade.ticks_left = static_cast<int16>(MIN(start, span));
}

fixed_fraction get_ingame_fade_opacity(void)
{
	if (!ingame_fade.active || ingame_fade.duration == 0) return 0;
	const int32 span = ingame_fade.duration < 0 ? -static_cast<int32>(ingame_fade.duration) : ingame_fade.duration;
	const int32 left = PIN(static_cast<int32>(ingame_fade.ticks_left), 0, span);
	const int32 remaining = static_cast<int32>((static_cast<int64>(left) * 65535) / span);
	return static_cast<fixed_fraction>(ingame_fade.duration > 0 ? remaining : 65535 - remaining);
}

void rasterize_ingame_fades(view_data *view)
{
	const fixed_fraction opacity = get_ingame_fade_opacity();
	if (!view || !view->screen || opacity == 0) return;
	const rectangle2d frame = {0, 0, static_cast<int16>(view->screen->height), static_cast<int16>(view->screen->width)};
	fill_rectangle_clipped(view->screen, &ingame_fade.color, &frame, &frame, static_cast<fixed_fraction>(65535 - opacity),
		NULL);
}
