#include "observer.h"

#include "object_tracking.h"
#include "render/render.h"
#include "mesh.h"
#include "world.h"
#include "zerv.h"

static observer_test_hooks_data observer_hooks;

namespace {

struct observer_globals_data
{
	observer_location location;
	fixed zoom;
	uint32 camera_control_flags;
};

}

static const observer_globals_data initial_observer_globals = {{{0, 0}, 0, 0}, FIXED_ONE, 0};
static observer_globals_data observer_globals = initial_observer_globals;

observer_test_hooks_data *get_observer_test_hooks(void)
{
	return &observer_hooks;
}

void reset_observer_test_hooks(void)
{
	memset(&observer_hooks, 0, sizeof(observer_hooks));
	observer_globals = initial_observer_globals;
}

#define LEAST(...) least_call(&observer_hooks.calls, __VA_ARGS__)

void initialize_observer(void)
{
	LEAST("initialize_observer");
	observer_globals = initial_observer_globals;
}

boolean initialize_observer_for_new_map(file_tag observer_constants_tag)
{
	LEAST("initialize_observer_for_new_map", observer_constants_tag);
	return TRUE;
}

void dispose_observer_from_old_map(void)
{
	LEAST("dispose_observer_from_old_map");
}

void new_observer_palette_entry(marker_palette_entry *entry)
{
	LEAST("new_observer_palette_entry", entry);
}

void build_observer_view(view_data *view, int32 elapsed_ticks)
{
	LEAST("build_observer_view", view, elapsed_ticks);
	if (view) view->game_ticks_elapsed = elapsed_ticks;
}

void get_observer_location(observer_location *location)
{
	if (location) *location = observer_globals.location;
}

fixed get_observer_zoom_factor(void)
{
	return observer_globals.zoom;
}

void set_actual_observer_location_and_zoom(const observer_location *location, const fixed *zoom)
{
	LEAST("set_actual_observer_location_and_zoom", location, zoom);
	if (location) observer_globals.location = *location;
	if (zoom) observer_globals.zoom = *zoom;
}

void set_observer_focus(const world_point2d *point, angle facing)
{
	LEAST("set_observer_focus", point, facing);
	if (!point) return;
	observer_globals.location.position = *point;
	observer_globals.location.yaw = facing;
}

void set_observer_shaking(int16 shake_type, int16 shake_amount, int16 duration)
{
	LEAST("set_observer_shaking", shake_type, shake_amount, duration);
	if (shake_type == NONE)
	{
		if (shake_amount == NONE) shake_amount = EARTHQUAKE_DEFAULT_SHAKE_AMOUNT;
		if (duration == NONE) duration = EARTHQUAKE_DEFAULT_SHAKE_DURATION;
	}
	observer_hooks.shake_type = shake_type;
	observer_hooks.shake_amount = shake_amount;
	observer_hooks.shake_duration = duration;
}

void update_observer_physics_variables_for_action(action_data *action)
{
	LEAST("update_observer_physics_variables_for_action", action);
}

void update_observer_physics_variables(void)
{
	LEAST("update_observer_physics_variables");
}

#define SOUND_LISTENER_FORWARD_DISTANCE 3072

// The listener stands ahead of the camera, where the view is centred; the
// least camera keeps no height of its own, so it stands on the ground.
world_location3d *sound_listener_proc(void)
{
	static world_location3d listener;
	if (game && game_flags_test(_game_is_disabled_flag)) return NULL;

	world_point2d point = observer_globals.location.position;
	if (sine_table) translate_point2d(&point, SOUND_LISTENER_FORWARD_DISTANCE, observer_globals.location.yaw);
	memset(&listener, 0, sizeof(listener));
	listener.position.x = point.x;
	listener.position.y = point.y;
	listener.position.z = mesh_is_loaded() ? get_mesh_height(&point, _true_height) : 0;
	listener.yaw = observer_globals.location.yaw;
	return &listener;
}

void initialize_camera_control_for_new_map(void)
{
	LEAST("initialize_camera_control_for_new_map");
	initialize_object_tracking_for_new_map();
}

void dispose_camera_control_from_old_map(void)
{
	LEAST("dispose_camera_control_from_old_map");
}

uint32 get_camera_control_flags(void)
{
	return observer_globals.camera_control_flags;
}

void set_camera_control_flags(uint32 flags)
{
	LEAST("set_camera_control_flags", flags);
	observer_globals.camera_control_flags = flags;
}

void update_camera_tracking(void)
{
	LEAST("update_camera_tracking");
	if (observer_globals.camera_control_flags & _camera_controlled_by_object_tracking_flag) update_object_tracking();
}

void handle_map_action_camera_control(void)
{
	LEAST("handle_map_action_camera_control");
}

void handle_camera_control(void)
{
	LEAST("handle_camera_control");
	if (observer_globals.camera_control_flags & _camera_controlled_by_object_tracking_flag) track_object();
}
