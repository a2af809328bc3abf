// The camera: its location, zoom and control flags, the view it builds for
// the renderer, and camera shake. The camera stays where it is put.
#ifndef OBSERVER_H
#define OBSERVER_H

#include "cseries.h"
#include "world_units.h"
#include "least_layer.h"

struct action_data;
struct view_data;
struct marker_palette_entry;

#define OBSERVER_CONSTANTS_TAG TAG("obpc")

// As a saved game stores it.
struct observer_location
{
	world_point2d position;
	angle yaw;
	int16 unused;
};
STORED_SIZE(observer_location, 12);

enum
{
	_camera_uncontrollable_by_user_bit,
	_camera_controlled_by_map_actions_bit,
	_camera_controlled_by_object_tracking_bit,
	NUMBER_OF_CAMERA_CONTROL_FLAGS,

	_camera_uncontrollable_by_user_flag = 1 << _camera_uncontrollable_by_user_bit,
	_camera_controlled_by_map_actions_flag = 1 << _camera_controlled_by_map_actions_bit,
	_camera_controlled_by_object_tracking_flag = 1 << _camera_controlled_by_object_tracking_bit
};

// Shake amount and duration NONE take the kind's defaults; the kind NONE is
// the earthquake.
#define EARTHQUAKE_DEFAULT_SHAKE_AMOUNT 256
#define EARTHQUAKE_DEFAULT_SHAKE_DURATION 240

void initialize_observer(void);
// False when the camera cannot be set up.
boolean initialize_observer_for_new_map(file_tag observer_constants_tag);
void dispose_observer_from_old_map(void);
void new_observer_palette_entry(marker_palette_entry *entry);

void build_observer_view(view_data *view, int32 elapsed_ticks);
void get_observer_location(observer_location *location);
fixed get_observer_zoom_factor(void);
void set_actual_observer_location_and_zoom(const observer_location *location, const fixed *zoom);
void set_observer_focus(const world_point2d *point, angle facing);
void set_observer_shaking(int16 shake_type, int16 shake_amount, int16 duration);
void update_observer_physics_variables_for_action(action_data *action);
void update_observer_physics_variables(void);
// The listener's location for sound, NULL when there is none.
world_location3d *sound_listener_proc(void);

void initialize_camera_control_for_new_map(void);
void dispose_camera_control_from_old_map(void);
uint32 get_camera_control_flags(void);
void set_camera_control_flags(uint32 flags);
void update_camera_tracking(void);
void handle_map_action_camera_control(void);
void handle_camera_control(void);

struct observer_test_hooks_data
{
	least_call_log calls;
	// The last shake, with the defaults filled in.
	int16 shake_type, shake_amount, shake_duration;
};

observer_test_hooks_data *get_observer_test_hooks(void);
// Also puts the camera back as a fresh process has it.
void reset_observer_test_hooks(void);

#endif
