// Movement and rotation orders: a group's order becomes each unit's own
// waypoints, keeping the group's shape or laying it out in a formation.
#include "monster_commands.h"

#include <cstring>

#include "formations.h"
#include "game_preferences.h"
#include "mesh.h"
#include "monsters.h"
#include "objects.h"
#include "players.h"
#include "quicksort.h"
#include "world.h"
#include "zerv.h"

namespace
{

world_distance clamp_coordinate(int64 value, int64 high)
{
	if (value < 0) return 0;
	if (value > high) return static_cast<world_distance>(high);
	return static_cast<world_distance>(value);
}

// Into 0 .. width x 512 - 1 and 0 .. height x 512 - 1.
void clamp_to_mesh(world_point2d *point, int64 x, int64 y)
{
	const int64 width = mesh_globals && mesh_globals->mesh_cells ? mesh_globals->mesh_width : 1;
	const int64 height = mesh_globals && mesh_globals->mesh_cells ? mesh_globals->mesh_height : 1;
	point->x = clamp_coordinate(x, width * WORLD_ONE - 1);
	point->y = clamp_coordinate(y, height * WORLD_ONE - 1);
}

boolean unit_position(int16 monster_index, world_point2d *point)
{
	const monster_data *monster = get_monster_data(monster_index);
	const object_data *object = monster ? get_object_data(monster->object_index) : NULL;
	point->x = object ? object->location.position.x : 0;
	point->y = object ? object->location.position.y : 0;
	return object != NULL;
}

angle direction(const world_point2d *from, const world_point2d *to)
{
	return arctangent(to->x - from->x, to->y - from->y);
}

int32 wrapped_square_distance(const world_point2d *a, const world_point2d *b)
{
	const uint32 dx = static_cast<uint32>(a->x) - static_cast<uint32>(b->x);
	const uint32 dy = static_cast<uint32>(a->y) - static_cast<uint32>(b->y);
	return static_cast<int32>(dx * dx + dy * dy);
}

int64 square_distance(const world_point2d *a, const world_point2d *b)
{
	const int64 dx = static_cast<int64>(a->x) - b->x;
	const int64 dy = static_cast<int64>(a->y) - b->y;
	return dx * dx + dy * dy;
}

// The destination table is large; one copy serves every order.
world_point2d destination_table[MAXIMUM_DESTINATION_ROWS][MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];

}

int16 build_movement_command_destinations(const command_movement_data *data, int16 player_index,
	const int16 *monster_indexes, int16 monster_count, const world_point2d *waypoints, int16 waypoint_count,
	world_point2d destinations[MAXIMUM_DESTINATION_ROWS][MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND], angle *facings)
{
	world_point2d rows[MAXIMUM_DESTINATION_ROWS];
	world_point2d center;
	int16 k = waypoint_count < 0 ? 0 : MIN(waypoint_count, MAXIMUM_MOVEMENT_WAYPOINTS);

	if (monster_count <= 0) return 0;
	if (monster_count > MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND) monster_count = MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND;
	for (int16 r = 0; r < k; ++r) rows[r] = waypoints[r];
	get_centerpoint_of_monster_indexes(monster_count, monster_indexes, &center);

	if ((data->flags & _command_movement_last_waypoint_is_centerpoint_flag) || (k == 0 && game_play_version > 1715))
	{
		if (k == MAXIMUM_MOVEMENT_WAYPOINTS) rows[k - 1] = center;
		else rows[k++] = center;
	}

	if (k == 0)
	{
		// No rows: a facing-only order turns every unit to its final facing;
		// any other keeps each unit's present yaw.
		for (int16 i = 0; i < monster_count; ++i)
		{
			if (data->flags & _command_movement_final_facing_flag)
			{
				facings[i] = data->final_facing;
			}
			else
			{
				const monster_data *monster = get_monster_data(monster_indexes[i]);
				const object_data *object = monster ? get_object_data(monster->object_index) : NULL;
				facings[i] = object ? object->location.yaw : 0;
			}
		}
		return 0;
	}

	const angle facing = (data->flags & _command_movement_final_facing_flag) ? data->final_facing :
		direction(&center, &rows[k - 1]);

	if (!(data->flags & _command_movement_formation_flag))
	{
		for (int16 i = 0; i < monster_count; ++i)
		{
			world_point2d position;
			unit_position(monster_indexes[i], &position);
			for (int16 r = 0; r < k; ++r)
			{
				clamp_to_mesh(&destinations[r][i], static_cast<int64>(rows[r].x) + position.x - center.x,
					static_cast<int64>(rows[r].y) + position.y - center.y);
			}
			facings[i] = facing;
		}
		return k;
	}

	for (int16 r = 0; r < k; ++r)
	{
		angle row_facing;
		if (k == 1) row_facing = facing;
		else if (data->flags & _command_movement_loop_flag)
		{
			row_facing = r > 0 ? direction(&rows[r - 1], &rows[r]) : direction(&rows[0], &rows[k - 1]);
		}
		else
		{
			row_facing = r < k - 1 ? direction(&rows[r], &rows[r + 1]) : facing;
		}
		build_formation(player_index, data->formation_index, &rows[r], destinations[r], facings, row_facing,
			monster_count);
		for (int16 i = 0; i < monster_count; ++i)
		{
			clamp_to_mesh(&destinations[r][i], destinations[r][i].x, destinations[r][i].y);
		}
	}
	return k;
}

void set_monster_waypoints(int16 monster_index, int16 count, const world_point2d *waypoints, uint16 movement_flags,
	angle final_facing)
{
	monster_data *monster = get_monster_data(monster_index);
	object_data *object = monster ? get_object_data(monster->object_index) : NULL;
	if (!monster || !object) return;
	// Other callers may pass more than a unit holds.
	if (count < 0 || !waypoints) count = 0;
	if (count > MAXIMUM_WAYPOINTS_PER_MONSTER) count = MAXIMUM_WAYPOINTS_PER_MONSTER;

	monster->deferred_target_index = NONE;
	monster->extra_flags &= ~_monster_has_deferred_movement_command_extra_flag;

	uint32 retained = 0;
	if (game_play_version >= 1301 && monster->action == _monster_action_attacking)
	{
		if (game_play_version > 1600 || !(monster->flags & _monster_has_attacked_flag))
		{
			retained = monster->flags & (_monster_has_valid_target_index_flag | _monster_has_valid_target_location_flag);
		}
		const monster_attack_definition *attack = get_monster_attack_definition(monster_index, monster->action_permutation);
		if (attack && (attack->extra_flags & _monster_attack_player_can_interrupt_flag))
		{
			set_monster_action(monster_index, _monster_action_holding_for_attack, NONE);
			retained = 0;
		}
	}

	if (game_play_version > 1300 && (get_game_preferences()->flags & _game_pref_no_persistent_formations_flag) &&
		player_globals.local_player_index != NONE && monster->owner_player_index == player_globals.local_player_index)
	{
		monster->formation_index = NONE;
	}

	if (count == 1 && waypoints[0].x == object->location.position.x && waypoints[0].y == object->location.position.y)
	{
		return;
	}

	object->flags &= ~_object_pausing_for_obstacle_to_move_flag;
	monster->flags &= ~(_monster_has_obstructed_path_flag | _monster_has_looped_waypoints_flag |
		_monster_has_back_and_forth_looped_waypoints_flag | _monster_looping_back_through_waypoints_flag |
		_monster_wants_to_pick_up_object_flag | _monster_needs_to_retreat_flag | _monster_is_retreating_flag |
		_monster_was_stopped_flag | _monster_will_use_special_ability_flag | _monster_standing_ground_flag);

	if (!(movement_flags & _command_movement_preserves_target_index_flag))
	{
		monster->flags &= ~(_monster_has_valid_target_flag | _monster_responding_to_target_command_flag |
			_monster_has_valid_target_index_flag | _monster_has_valid_target_location_flag |
			_monster_should_close_on_target_flag);
		monster->extra_flags &= ~(_monster_ignores_model_collisions_extra_flag |
			_monster_should_use_closest_range_attack_extra_flag | _monster_will_use_old_collision_detection_extra_flag);
		if (retained)
		{
			// It finishes its attack, then moves.
			monster->flags |= retained;
			monster->extra_flags |= _monster_has_deferred_movement_command_extra_flag;
		}
	}

	monster->flags |= _monster_responding_to_command_flag | _monster_needs_new_path_flag |
		_monster_has_final_desired_yaw_flag;
	monster->waypoint_count = static_cast<int8>(count);
	monster->waypoint_index = 0;
	monster->avoiding_object_index = NONE;
	monster->final_desired_yaw = final_facing;
	for (int16 i = 0; i < count; ++i) monster->waypoints[i] = waypoints[i];

	if ((movement_flags & _command_movement_loop_flag) && count >= 2)
	{
		monster->flags |= _monster_has_looped_waypoints_flag;
		if (movement_flags & _command_movement_loop_back_and_forth_flag)
		{
			monster->flags |= _monster_has_back_and_forth_looped_waypoints_flag;
		}
	}
	if (movement_flags & _command_movement_run_flag) monster->extra_flags |= _monster_wants_to_run_extra_flag;
	else monster->extra_flags &= ~_monster_wants_to_run_extra_flag;
}

void execute_movement_command(void *command, int16 command_identifier)
{
	command_codec_state state;
	command_movement_data data;
	int16 units[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
	world_point2d waypoints[MAXIMUM_MOVEMENT_WAYPOINTS];
	angle facings[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
	int16 slot_units[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
	int16 waypoint_count = 0;

	command_decode_new(&state, command, _command_movement);
	const void *record = command_decode_data(&state, sizeof(data), command_movement_data_byte_swapping_data);
	if (!record) return;
	memcpy(&data, record, sizeof(data));
	const int16 n = command_decode_monster_list(command, &state, command_identifier, units, _monster_list_obeying);
	const void *elements =
		command_decode_array(&state, &waypoint_count, sizeof(world_point2d), world_point2d_byte_swapping_data);
	debug_monster_command(command, units, n, "movement");
	// An order nobody obeys does nothing (and divides by nobody).
	if (n <= 0) return;
	if (!elements || waypoint_count < 0) waypoint_count = 0;
	if (waypoint_count > MAXIMUM_MOVEMENT_WAYPOINTS) waypoint_count = MAXIMUM_MOVEMENT_WAYPOINTS;
	if (waypoint_count > 0) memcpy(waypoints, elements, waypoint_count * sizeof(world_point2d));

	command_header header;
	command_read_header(command, &header);
	const int16 player_index = header.player_index == NO_COMMAND_PLAYER ? static_cast<int16>(NONE) :
		static_cast<int16>(header.player_index);

	// The waypoints each unit gets: the centre counts when the order asks for
	// it, not when only the computation appended it.
	int16 given = waypoint_count;
	if (data.flags & _command_movement_last_waypoint_is_centerpoint_flag) given = MIN(given + 1, MAXIMUM_MOVEMENT_WAYPOINTS);

	const int16 rows = build_movement_command_destinations(&data, player_index, units, n, waypoints, waypoint_count,
		destination_table, facings);

	for (int16 i = 0; i < n; ++i) slot_units[i] = units[i];
	if ((data.flags & _command_movement_formation_flag) && rows > 0)
	{
		const monster_data *first = get_monster_data(units[0]);
		boolean keep = first != NULL;
		int32 turn = 0;
		for (int16 i = 0; i < n && keep; ++i)
		{
			const monster_data *monster = get_monster_data(units[i]);
			if (!monster || monster->formation_identifier != first->formation_identifier ||
				(game_play_version > 1300 && monster->last_formation_index != data.formation_index) ||
				monster->formation_position < 0 || monster->formation_position >= n)
			{
				keep = FALSE;
				break;
			}
			turn += angular_difference(monster->formation_angle, facings[i]);
		}
		if (keep && turn / n > ANGULAR_FORMATION_THRESHOLD) keep = FALSE;

		if (keep)
		{
			for (int16 i = 0; i < n; ++i) slot_units[i] = NONE;
			for (int16 i = 0; i < n; ++i) slot_units[get_monster_data(units[i])->formation_position] = units[i];
		}
		else
		{
			world_point2d center;
			int16 order[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
			boolean taken[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
			world_point2d positions[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
			const boolean line = formation_is_line(player_index, data.formation_index, n);
			const int16 identifier = get_formation_identifier();

			get_centerpoint_of_monster_indexes(n, units, &center);
			for (int16 slot = 0; slot < n; ++slot)
			{
				const int32 key = wrapped_square_distance(&destination_table[0][slot], &center);
				set_monster_distance_key(slot, line ? static_cast<int32>(0u - static_cast<uint32>(key)) : key);
				order[slot] = slot;
				taken[slot] = FALSE;
				unit_position(units[slot], &positions[slot]);
			}
			qsort_private(order, n, sizeof(int16), compare_monster_distances_to_destination);
			for (int16 k = 0; k < n; ++k)
			{
				const int16 slot = order[k];
				int16 best = NONE;
				int64 best_distance = 0;
				for (int16 i = 0; i < n; ++i)
				{
					if (taken[i]) continue;
					const int64 d = square_distance(&positions[i], &destination_table[0][slot]);
					if (best == NONE || d < best_distance)
					{
						best = i;
						best_distance = d;
					}
				}
				taken[best] = TRUE;
				slot_units[slot] = units[best];
				get_monster_data(units[best])->formation_position = slot;
			}
			for (int16 i = 0; i < n; ++i)
			{
				monster_data *monster = get_monster_data(units[i]);
				monster->formation_identifier = identifier;
				monster->formation_angle = facings[i];
				if (game_play_version > 1300) monster->last_formation_index = data.formation_index;
			}
		}
	}

	for (int16 slot = 0; slot < n; ++slot)
	{
		if (slot_units[slot] == NONE) continue;
		world_point2d points[MAXIMUM_MOVEMENT_WAYPOINTS];
		const int16 count = MIN(given, rows);
		for (int16 r = 0; r < count; ++r) points[r] = destination_table[r][slot];
		set_monster_waypoints(slot_units[slot], count, points, data.flags, facings[slot]);
	}
}

void execute_rotation_command(void *command, int16 command_identifier)
{
	command_codec_state state;
	command_rotation_data data;
	int16 units[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];

	command_decode_new(&state, command, _command_rotation);
	const void *record = command_decode_data(&state, sizeof(data), command_rotation_data_byte_swapping_data);
	if (!record) return;
	memcpy(&data, record, sizeof(data));
	const int16 n = command_decode_monster_list(command, &state, command_identifier, units, _monster_list_obeying);
	debug_monster_command(command, units, n, "rotation");

	for (int16 i = 0; i < n; ++i)
	{
		monster_data *monster = get_monster_data(units[i]);
		const object_data *object = monster ? get_object_data(monster->object_index) : NULL;
		if (!monster || !object) continue;

		world_point2d reference;
		angle base;
		if (monster->waypoint_count > 0 && monster->waypoint_index >= 0 &&
			monster->waypoint_index < MAXIMUM_WAYPOINTS_PER_MONSTER)
		{
			reference = monster->waypoints[monster->waypoint_index];
			base = monster->final_desired_yaw;
		}
		else
		{
			reference.x = object->location.position.x;
			reference.y = object->location.position.y;
			base = object->location.yaw;
		}
		const angle facing = static_cast<angle>(base + data.rotation_angle);
		monster->formation_angle = facing;

		const world_distance d = distance2d(&data.center, &reference);
		const angle a = static_cast<angle>(arctangent(reference.x - data.center.x, reference.y - data.center.y) +
			data.rotation_angle);
		world_point2d point;
		point.x = static_cast<world_distance>(data.center.x + static_cast<int64>(angle_cosine(a)) * d / 16384);
		point.y = static_cast<world_distance>(data.center.y + static_cast<int64>(angle_sine(a)) * d / 16384);
		set_monster_waypoints(units[i], 1, &point, data.flags, facing);
	}
}
