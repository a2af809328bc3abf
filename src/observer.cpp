#include "observer.h"

#include "map_actions/presentation_action_procs.h"

#include "object_tracking.h"
#include "render/render.h"
#include "input/actions.h"
#include "markers.h"
#include "mesh.h"
#include "players.h"
#include "screen.h"
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

#define OBSERVER_MINIMUM_ZOOM (FIXED_ONE / 2)
#define OBSERVER_MAXIMUM_ZOOM (2 * FIXED_ONE)
#define OBSERVER_VIEW_DISTANCE 4608
#define OBSERVER_PITCH (-6144)
#define OBSERVER_MOVE_STEP 256
#define OBSERVER_TURN_STEP 512

static void clamp_observer_focus(void)
{
	if (!mesh_is_loaded()) return;
	world_point2d *p = &observer_globals.location.position;
	const world_distance width = mesh_globals->mesh_width << WORLD_FRACTIONAL_BITS;
	const world_distance height = mesh_globals->mesh_height << WORLD_FRACTIONAL_BITS;
	p->x = std::max<world_distance>(0, std::min<world_distance>(p->x, width - 1));
	p->y = std::max<world_distance>(0, std::min<world_distance>(p->y, height - 1));
}

static void clamp_observer_zoom(void)
{
	observer_globals.zoom = std::max<fixed>(OBSERVER_MINIMUM_ZOOM, std::min<fixed>(observer_globals.zoom, OBSERVER_MAXIMUM_ZOOM));
}

// The local team's marker, else the first marker, else the map's centre.
boolean initialize_observer_for_new_map(file_tag observer_constants_tag)
{
	LEAST("initialize_observer_for_new_map", observer_constants_tag);
	observer_globals = initial_observer_globals;
	if (!mesh_is_loaded()) return TRUE;
	observer_location *location = &observer_globals.location;
	location->position.x = (mesh_globals->mesh_width << WORLD_FRACTIONAL_BITS) / 2;
	location->position.y = (mesh_globals->mesh_height << WORLD_FRACTIONAL_BITS) / 2;
	const marker_data *chosen = NULL;
	for (int32 i = 0; i < mesh_globals->marker_count; ++i)
	{
		const marker_data *marker = &mesh_globals->markers[i];
		if (marker->type != _marker_team) continue;
		if (!chosen) chosen = marker;
		const int32 palette = marker->palette_index;
		const marker_palette_entry *entry = NULL;
		for (int32 k = 0, n = 0; k < mesh_globals->marker_palette_count; ++k)
		{
			if (mesh_globals->marker_palette[k].type != _marker_team) continue;
			if (n++ == palette) entry = &mesh_globals->marker_palette[k];
		}
		if (entry && entry->team_index != NONE && entry->team_index == player_globals.local_player_team_index)
		{
			chosen = marker;
			break;
		}
	}
	if (!chosen && mesh_globals->marker_count > 0) chosen = &mesh_globals->markers[0];
	if (chosen)
	{
		location->position.x = chosen->location.position.x;
		location->position.y = chosen->location.position.y;
		location->yaw = chosen->location.yaw;
	}
	clamp_observer_focus();
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

// The viewer stands back from the focus along the view ray, above the ground.
void build_observer_view(view_data *view, int32 elapsed_ticks)
{
	LEAST("build_observer_view", view, elapsed_ticks);
	if (!view) return;
	view->game_ticks_elapsed = static_cast<int16>(elapsed_ticks);
	view->tan_half_fov = 0.75f;
	view->vertical_offset = -1 / 7.f;
	view->horizontal_offset = 0;
	view->tick_count = game ? game->local_time : 0;
	view->rasterizer_code = active_screen.rasterizer_code;
	memset(&view->hole, 0, sizeof(view->hole));

	const observer_location *location = &observer_globals.location;
	const angle pitch = OBSERVER_PITCH;
	view->location.yaw = location->yaw;
	view->location.pitch = pitch;
	if (!sine_table) return;
	const int64 distance =
		(static_cast<int64>(OBSERVER_VIEW_DISTANCE) * FIXED_ONE) / std::max<fixed>(observer_globals.zoom, 1);
	const int32 back = static_cast<int32>((distance * angle_cosine(pitch)) >> TRIG_SHIFT);
	const int32 up = static_cast<int32>((distance * std::abs(angle_sine(pitch))) >> TRIG_SHIFT);
	const int32 ground = mesh_is_loaded() ? get_mesh_height(&location->position, _true_height) : 0;
	view->location.position.x = location->position.x - ((back * angle_cosine(location->yaw)) >> TRIG_SHIFT);
	view->location.position.y = location->position.y - ((back * angle_sine(location->yaw)) >> TRIG_SHIFT);
	view->location.position.z = ground + up;
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

// One step per sample: moves along or across the yaw, orbits about the focus,
// yaws or zooms.
void update_observer_physics_variables_for_action(action_data *action)
{
	LEAST("update_observer_physics_variables_for_action", action);
	if (!action || !sine_table) return;
	observer_location *location = &observer_globals.location;
	if (test_action_flag(action, _move_forward_bit)) translate_point2d(&location->position, OBSERVER_MOVE_STEP, location->yaw);
	if (test_action_flag(action, _move_backward_bit)) translate_point2d(&location->position, -OBSERVER_MOVE_STEP, location->yaw);
	if (test_action_flag(action, _move_left_bit))
	{
		translate_point2d(&location->position, OBSERVER_MOVE_STEP, static_cast<angle>(location->yaw + 16384));
	}
	if (test_action_flag(action, _move_right_bit))
	{
		translate_point2d(&location->position, OBSERVER_MOVE_STEP, static_cast<angle>(location->yaw - 16384));
	}
	// Orbiting turns about the focus, which stays put; yawing turns about the viewer.
	if (test_action_flag(action, _orbit_left_bit)) location->yaw = static_cast<angle>(location->yaw + OBSERVER_TURN_STEP);
	if (test_action_flag(action, _orbit_right_bit)) location->yaw = static_cast<angle>(location->yaw - OBSERVER_TURN_STEP);
	for (int32 turn = 0; turn < 2; ++turn)
	{
		if (!test_action_flag(action, static_cast<int16>(turn == 0 ? _yaw_left_bit : _yaw_right_bit))) continue;
		const int64 distance =
			(static_cast<int64>(OBSERVER_VIEW_DISTANCE) * FIXED_ONE) / std::max<fixed>(observer_globals.zoom, 1);
		const int32 back = static_cast<int32>((distance * angle_cosine(OBSERVER_PITCH)) >> TRIG_SHIFT);
		world_point2d viewer = location->position;
		translate_point2d(&viewer, -back, location->yaw);
		location->yaw = static_cast<angle>(location->yaw + (turn == 0 ? OBSERVER_TURN_STEP : -OBSERVER_TURN_STEP));
		location->position = viewer;
		translate_point2d(&location->position, back, location->yaw);
	}
	if (test_action_flag(action, _zoom_in_bit)) observer_globals.zoom = observer_globals.zoom * 17 / 16;
	if (test_action_flag(action, _zoom_out_bit)) observer_globals.zoom = observer_globals.zoom * 15 / 16;
	clamp_observer_zoom();
	clamp_observer_focus();
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
	// A new map ends any scripted move.
	reset_observer_movement_actions();
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
	if (observer_globals.camera_control_flags & _camera_controlled_by_map_actions_flag) handle_observer_movement_actions();
}

void handle_camera_control(void)
{
	LEAST("handle_camera_control");
	if (observer_globals.camera_control_flags & _camera_controlled_by_object_tracking_flag) track_object();
}
