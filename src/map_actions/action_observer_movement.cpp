// 'obmo': scripted camera moves and camera shake. The move's maths is in
// double and only places the camera: nothing of it reaches the simulation.
#include "map_actions/presentation_action_procs.h"

#include <cmath>
#include <cstdlib>

#include "map_actions/map_action_accessors.h"
#include "map_actions/subject_lists.h"
#include "mesh.h"
#include "monsters.h"
#include "objects.h"
#include "observer.h"
#include "world.h"
#include "zerv.h"

observer_action_globals_data observer_action_globals;

fixed camera_zoom_to_script_zoom(fixed multiplier)
{
	return multiplier <= FIXED_ONE ? 2 * (multiplier - FIXED_ONE) : multiplier - FIXED_ONE;
}

fixed script_zoom_to_camera_zoom(fixed scale)
{
	return scale <= 0 ? FIXED_ONE + scale / 2 : FIXED_ONE + scale;
}

static int32 round_half_away(double value)
{
	return static_cast<int32>(std::lround(value));
}

void reset_observer_movement_actions(void)
{
	observer_action_globals = {};
	observer_action_globals.current_interpolant = 1;
	observer_action_globals.interpolant_count = 0;
}

void setup_camera_movement(int16 action_index, const world_point2d *destination, angle facing)
{
	observer_action_globals_data &move = observer_action_globals;
	observer_location location;
	get_observer_location(&location);
	move.origin = location.position;
	move.original_facing = location.yaw;
	move.destination = *destination;
	move.final_facing = facing;
	move.origin_zoom_factor = camera_zoom_to_script_zoom(get_observer_zoom_factor());
	move.destination_zoom_factor = map_action_has_flag(action_index, TAG("maxz")) ? -65535 : 0;

	int32 linear_step = DEFAULT_LINEAR_STEP_SIZE;
	get_indexed_long_integer_parameter(action_index, TAG("line"), _parameter_world_distance, &linear_step, 0);
	int32 distance = distance2d(&move.origin, destination);
	const world_point2d shifted_origin = {move.origin.x >> WORLD_DISTANCE_SHIFT_AMOUNT,
		move.origin.y >> WORLD_DISTANCE_SHIFT_AMOUNT};
	const world_point2d shifted_destination = {destination->x >> WORLD_DISTANCE_SHIFT_AMOUNT,
		destination->y >> WORLD_DISTANCE_SHIFT_AMOUNT};
	const int32 shifted_distance = distance2d(&shifted_origin, &shifted_destination);
	if (shifted_distance > MAXIMUM_SHIFTED_WORLD_DISTANCE)
	{
		distance = shifted_distance;
		linear_step >>= WORLD_DISTANCE_SHIFT_AMOUNT;
	}

	int32 angular_step = DEFAULT_ANGULAR_STEP_SIZE;
	int32 angular_units;
	if (get_map_action_integer(action_index, TAG("angu"), &angular_units)) angular_step = angular_units * 64;

	const int32 linear_count = linear_step > 0 ? MAX(distance / linear_step, 1) : 1;
	// A step of zero or less would divide by zero: one step, as for the linear rule.
	const int32 angular_count =
		angular_step > 0 ? angular_difference(move.original_facing, move.final_facing) / angular_step : 1;
	move.interpolant_count = static_cast<int16>(MIN(MAX(linear_count, angular_count), INT16_MAX));

	fixed time;
	if (get_map_action_fixed(action_index, TAG("time"), &time))
	{
		const int32 maximum_ticks = static_cast<int32>((static_cast<int64>(time) * TICKS_PER_SECOND) >> 16);
		map_action_debug(action_index, "linear interp.= %d, angular interp.= %d, max. time= %d", static_cast<int>(linear_count),
			static_cast<int>(angular_count), static_cast<int>(maximum_ticks));
		if (maximum_ticks < move.interpolant_count) move.interpolant_count = 1;
	}
	move.current_interpolant = 0;
}

void handle_observer_movement_actions(void)
{
	observer_action_globals_data &move = observer_action_globals;
	if (move.interpolant_count <= 0 || move.current_interpolant > move.interpolant_count) return;
	const double t = static_cast<double>(move.current_interpolant) / move.interpolant_count;

	observer_location location;
	get_observer_location(&location);
	location.position.x = move.origin.x + round_half_away((move.destination.x - static_cast<double>(move.origin.x)) * t);
	location.position.y = move.origin.y + round_half_away((move.destination.y - static_cast<double>(move.origin.y)) * t);
	const fixed scale = move.origin_zoom_factor +
		round_half_away((move.destination_zoom_factor - static_cast<double>(move.origin_zoom_factor)) * t);
	const fixed zoom = script_zoom_to_camera_zoom(scale);

	const int32 difference = angular_difference(move.original_facing, move.final_facing);
	if (difference != HALF_CIRCLE)
	{
		const int32 step = round_half_away(difference * t);
		const uint16 turn = static_cast<uint16>(move.final_facing - move.original_facing);
		const boolean downward = turn > HALF_CIRCLE;
		location.yaw = static_cast<angle>(downward ? move.original_facing - step : move.original_facing + step);
	}
	set_actual_observer_location_and_zoom(&location, &zoom);

	const boolean last = move.current_interpolant == move.interpolant_count;
	move.current_interpolant += 1;
	if (last && !move.dont_return_control) set_camera_control_flags(0);
}

static uint32 fail_camera(int16 action_index, boolean camera_changes, const char *message)
{
	if (camera_changes) set_camera_control_flags(0);
	map_action_debug(action_index, "%s", message);
	return 0;
}

uint32 observer_movement_action_proc(int16 action_index)
{
	// A film keeps its own camera; it still checks alike, so that it gives the
	// live game's result.
	const boolean camera_changes = !game || game->type != _game_type_replay;
	int32 mode;
	if (!get_map_action_integer(action_index, TAG("mode"), &mode)) return fail_camera(action_index, camera_changes, "missing camera mode");
	if (camera_changes)
	{
		set_camera_control_flags(mode == -1 || mode < 0 || mode >= 32 ? 0 : static_cast<uint32>(1) << mode);
	}

	if (mode == _camera_controlled_by_map_actions_bit)
	{
		const boolean dont_return_control = map_action_has_flag(action_index, TAG("drco"));
		world_point2d destination;
		angle facing = 0;
		map_action_parameter subjects;
		if (get_map_action_parameter(&subjects, action_index, 0, TAG("subj"), _parameter_monster_identifier))
		{
			int16 indexes[MAXIMUM_PRESENTATION_SUBJECTS];
			const int16 count = get_subject_monster_indexes(action_index, TAG("subj"), MAXIMUM_PRESENTATION_SUBJECTS, indexes);
			if (count != 1)
			{
				return fail_camera(action_index, camera_changes, "only works with 1 monster in subject list");
			}
			const monster_data *monster = get_monster_data(indexes[0]);
			const object_data *object = get_object_data(monster->object_index);
			const world_point2d unit = {object ? object->location.position.x : 0, object ? object->location.position.y : 0};
			observer_location location;
			get_observer_location(&location);
			closest_point_on_circle2d(&unit, DESIRED_CAMERA_DISTANCE, &location.position, &destination);
			const int32 width = mesh_globals ? mesh_globals->mesh_width * WORLD_ONE - 1 : 0;
			const int32 height = mesh_globals ? mesh_globals->mesh_height * WORLD_ONE - 1 : 0;
			destination.x = PIN(destination.x, 0, MAX(width, 0));
			destination.y = PIN(destination.y, 0, MAX(height, 0));
			facing = arctangent(unit.x - destination.x, unit.y - destination.y);
		}
		else
		{
			if (!get_indexed_world_point2d_parameter(action_index, TAG("dest"), &destination, 0))
			{
				return fail_camera(action_index, camera_changes, "missing destination");
			}
			if (!get_indexed_short_integer_parameter(action_index, TAG("faci"), _parameter_angle, &facing, 0))
			{
				return fail_camera(action_index, camera_changes, "missing facing");
			}
		}
		if (camera_changes)
		{
			observer_action_globals.dont_return_control = dont_return_control;
			setup_camera_movement(action_index, &destination, facing);
		}
	}

	if (map_action_has_flag(action_index, TAG("shak")))
	{
		int32 amount = NONE;
		get_indexed_long_integer_parameter(action_index, TAG("inte"), _parameter_world_distance, &amount, 0);
		int32 duration = NONE;
		fixed seconds;
		if (get_map_action_fixed(action_index, TAG("dura"), &seconds))
		{
			duration = static_cast<int32>((static_cast<int64>(seconds) * TICKS_PER_SECOND) >> 16);
		}
		// Values past 16 bits are held at the widest.
		if (amount != NONE) amount = PIN(amount, 0, INT16_MAX);
		if (duration != NONE) duration = PIN(duration, 0, INT16_MAX);
		set_observer_shaking(NONE, static_cast<int16>(amount), static_cast<int16>(duration));
		map_action_debug(action_index, "shaking camera");
	}
	return _map_action_proc_succeeded_flag;
}
