// The in-game interface: the interface definition (colours and fonts), the
// control bar, the status bar, in-game fades and the interface overlay.
#ifndef INTERFACE_H
#define INTERFACE_H

#include "cseries.h"
#include "bitmaps.h"

struct action_data;
struct dialog_data;
struct view_data;
struct mesh_region;
struct render_surface_list;

#define INTERFACE_DEFINITION_TAG TAG("stin")
#define NUMBER_OF_INTERFACE_COLORS 57

enum
{
	_control_bar_hidden,
	_control_bar_shown,
	_control_bar_inventory
};

void initialize_interface(void);
void initialize_interface_for_new_map(file_tag interface_tag);
void dispose_interface_from_old_map(void);

rgb_color *get_interface_color(int16 index, rgb_color *color);
int16 get_interface_font_index(int16 slot);

// Maps the sample's pointer into the game frame.
void adjust_action_pointer(action_data *action, const rectangle2d *destination_frame,
	const rectangle2d *mouse_movement_frame, uint32 camera_control_flags);
void build_interface_overlay_surface_list(view_data *view, mesh_region *region, render_surface_list *surfaces);
void rasterize_interface_effects(view_data *view);
void advance_mission(int16 pages);
void highlight_all(boolean on);
void highlight_movement_destinations(void);

/* ---------- control bar (bounds may be NULL) */

void initialize_control_bar_for_new_map(void);
void dispose_control_bar_from_old_map(void);
void update_control_bar(void);
boolean control_bar_visible(rectangle2d *bounds);
void set_control_bar_visibility(int16 state);
dialog_data *get_control_bar_dialog(void);

/* ---------- status bar (bounds may be NULL) */

void initialize_status_bar_for_new_map(void);
void dispose_status_bar_from_old_map(void);
void update_status_bar(void);
boolean status_bar_visible(rectangle2d *bounds);
void set_status_bar_visibility(boolean visible);
// NONE: the default height.
void set_status_bar_height(int16 pixels);
// Whether the pause button took the press.
boolean push_pause_button(void);
void push_help_button(void);
void show_status_map_description(void);
dialog_data *get_status_bar_dialog(void);

/* ---------- fades */

void initialize_ingame_fades(void);
void rasterize_ingame_fades(view_data *view);
void initialize_ingame_fades_for_new_game(void);
void update_ingame_fades(void);
// A positive duration fades the colour away, a negative one fades it in and holds.
void set_ingame_fade(const rgb_color *color, int16 duration, int16 starting_duration);
struct ingame_fade_data
{
	boolean active;
	rgb_color color;
	int16 duration;
	int16 starting_duration;
	int16 ticks_left;
};
const ingame_fade_data *get_ingame_fade(void);
// 0 clear to 65535 the colour alone.
fixed_fraction get_ingame_fade_opacity(void);

struct interface_test_hooks_data
{
	least_call_log calls;
	// What get_control_bar_dialog and get_status_bar_dialog answer: no bar
	// dialog is built yet, so a bar counts as shown only with one set here.
	dialog_data *control_bar_dialog;
	dialog_data *status_bar_dialog;
};

interface_test_hooks_data *get_interface_test_hooks(void);
void reset_interface_test_hooks(void);

#endif
