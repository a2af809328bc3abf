#include "monster_commands.h"

#include <cstdio>
#include <cstring>

#include "alliances.h"
#include "artifact_definitions.h"
#include "bitmap_dialogs/screens.h"
#include "console/console.h"
#include "error_manager.h"
#include "formations.h"
#include "game_statistics.h"
#include "mesh.h"
#include "monsters.h"
#include "objects.h"
#include "overhead_map.h"
#include "players.h"
#include "projectile_definitions.h"
#include "projectiles.h"
#include "quicksort.h"
#include "local_projectiles.h"
#include "recording.h"
#include "selection.h"
#include "world.h"
#include "zerv.h"
#include "zerv_networking/zerv_networking.h"

/* ---------- module state */

static boolean monster_command_debug = FALSE;

const char *const general_command_names[NUMBER_OF_GENERAL_COMMAND_TYPES] = {
	"stop", "scatter", "retreat", "special ability", "stand ground", "taunt", "celebrate"};

/* ---------- small helpers */

static int16 monster_list_cap(void)
{
	return game_play_version == 1300 ? MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND_13 :
		MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND;
}

static object_data *monster_object(const monster_data *monster)
{
	return monster ? get_object_data(monster->object_index) : NULL;
}

// The unit's current attack while attacking or aiming, else NULL.
static const monster_attack_definition *current_attack(int16 monster_index, const monster_data *monster)
{
	return get_monster_attack_definition(monster_index, monster->action_permutation);
}

static boolean attack_is_interruptible(int16 monster_index, const monster_data *monster)
{
	const monster_attack_definition *attack = current_attack(monster_index, monster);
	return attack && (attack->extra_flags & _monster_attack_player_can_interrupt_flag);
}

static world_distance clamp_distance(int64 value, int64 low, int64 high)
{
	if (value < low) return static_cast<world_distance>(low);
	if (value > high) return static_cast<world_distance>(high);
	return static_cast<world_distance>(value);
}

// Destinations of scatter and retreat stay on the map's last vertex.
static void clamp_to_mesh_vertices(world_point2d *point)
{
	const int64 width = mesh_globals && mesh_globals->mesh_cells ? mesh_globals->mesh_width : 1;
	const int64 height = mesh_globals && mesh_globals->mesh_cells ? mesh_globals->mesh_height : 1;
	point->x = clamp_distance(point->x, 0, (width - 1) * WORLD_ONE);
	point->y = clamp_distance(point->y, 0, (height - 1) * WORLD_ONE);
}

static int16 object_projectile_type(int16 object_index)
{
	return get_object_projectile_type(get_object_data(object_index));
}

static const artifact_definition *object_artifact(int16 object_index)
{
	const int16 type = object_projectile_type(object_index);
	const projectile_definition *definition = type == NONE ? NULL : get_projectile_definition(type);
	return definition && definition->artifact_index != NONE ? get_artifact_definition(definition->artifact_index) :
		NULL;
}

/* ---------- building */

static void encode_monster_list(command_codec_state *state, int16 count, const int16 *monster_indexes)
{
	int16 identifiers[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
	const int16 cap = monster_list_cap();

	if (count < 0 || !monster_indexes) count = 0;
	if (count > cap) count = cap;
	monster_indexes_to_monster_identifiers(monster_indexes, identifiers, count);
	command_encode_array(state, count, sizeof(int16), identifiers, command_int16_byte_swapping_data);
}

static void execute_command(void *command, int16 command_identifier);

// A command that did not fit its buffer is dropped; -1 queues it outgoing;
// any other identifier runs it here and now.
static void finish_command(command_codec_state *state, int16 command_identifier)
{
	if (state->failed)
	{
		report_dropped_command(state->header, "too large to encode");
		return;
	}
	if (command_identifier == COMMAND_FROM_STREAM)
	{
		queue_outgoing_command(state->header);
		return;
	}

	command_validation_limits limits;
	const char *reason = NULL;
	get_command_validation_limits(&limits, FALSE);
	if (!command_payload_is_valid(state->header, &limits, &reason))
	{
		report_dropped_command(state->header, reason);
		return;
	}
	execute_command(state->header, command_identifier);
}

#define START_COMMAND(verb) \
	uint8 buffer[MAXIMUM_COMMAND_SIZE]; \
	command_codec_state state; \
	command_encode_new(&state, buffer, verb)

void handle_general_command(int16 command_identifier, const command_general_data *data, int16 count,
	const int16 *monster_indexes)
{
	START_COMMAND(_command_general);
	command_encode_data(&state, sizeof(*data), data, command_general_data_byte_swapping_data);
	encode_monster_list(&state, count, monster_indexes);
	finish_command(&state, command_identifier);
}

void handle_movement_command(int16 command_identifier, const command_movement_data *data, int16 count,
	const int16 *monster_indexes, int16 waypoint_count, const world_point2d *waypoints)
{
	START_COMMAND(_command_movement);
	command_encode_data(&state, sizeof(*data), data, command_movement_data_byte_swapping_data);
	encode_monster_list(&state, count, monster_indexes);
	command_encode_array(&state, waypoints ? waypoint_count : 0, sizeof(world_point2d), waypoints,
		world_point2d_byte_swapping_data);
	finish_command(&state, command_identifier);
}

void handle_target_command(int16 command_identifier, const command_target_data *data, int16 attacker_count,
	const int16 *attacker_indexes, int16 target_count, const int16 *target_indexes)
{
	START_COMMAND(_command_target);
	command_encode_data(&state, sizeof(*data), data, command_target_data_byte_swapping_data);
	encode_monster_list(&state, attacker_count, attacker_indexes);
	encode_monster_list(&state, target_count, target_indexes);
	finish_command(&state, command_identifier);
}

void handle_attack_location_command(int16 command_identifier, const command_attack_location_data *data, int16 count,
	const int16 *monster_indexes)
{
	START_COMMAND(_command_attack_location);
	command_encode_data(&state, sizeof(*data), data, command_attack_location_data_byte_swapping_data);
	encode_monster_list(&state, count, monster_indexes);
	finish_command(&state, command_identifier);
}

void handle_pick_up_command(int16 command_identifier, const command_pick_up_data *data, int16 count,
	const int16 *monster_indexes)
{
	START_COMMAND(_command_pick_up);
	command_encode_data(&state, sizeof(*data), data, command_pick_up_data_byte_swapping_data);
	encode_monster_list(&state, count, monster_indexes);
	finish_command(&state, command_identifier);
}

void handle_rename_command(int16 command_identifier, const command_rename_data *data, int16 count,
	const int16 *monster_indexes, const char *name)
{
	START_COMMAND(_command_rename);
	command_encode_data(&state, sizeof(*data), data, command_rename_data_byte_swapping_data);
	encode_monster_list(&state, count, monster_indexes);
	command_encode_string(&state, name, MAXIMUM_COMMAND_NAME_LENGTH);
	finish_command(&state, command_identifier);
}

void handle_rotation_command(int16 command_identifier, const command_rotation_data *data, int16 count,
	const int16 *monster_indexes)
{
	START_COMMAND(_command_rotation);
	command_encode_data(&state, sizeof(*data), data, command_rotation_data_byte_swapping_data);
	encode_monster_list(&state, count, monster_indexes);
	finish_command(&state, command_identifier);
}

void handle_detach_command(int16 command_identifier, const command_detach_data *data, int16 count,
	const int16 *monster_indexes)
{
	START_COMMAND(_command_detach);
	command_encode_data(&state, sizeof(*data), data, command_detach_data_byte_swapping_data);
	encode_monster_list(&state, count, monster_indexes);
	finish_command(&state, command_identifier);
}

void handle_ally_command(int16 command_identifier, const command_ally_data *data)
{
	START_COMMAND(_command_ally);
	command_encode_data(&state, sizeof(*data), data, command_ally_data_byte_swapping_data);
	finish_command(&state, command_identifier);
}

void handle_sync_formation_command(int16 command_identifier, const formation_definition *definition)
{
	START_COMMAND(_command_sync_formation);
	command_encode_data(&state, sizeof(*definition), definition, command_sync_formation_data_byte_swapping_data);
	finish_command(&state, command_identifier);
}

static void handle_inventory_verb(int16 verb, int16 command_identifier, const command_inventory_data *data,
	int16 count, const int16 *monster_indexes)
{
	START_COMMAND(verb);
	command_encode_data(&state, sizeof(*data), data, command_inventory_data_byte_swapping_data);
	encode_monster_list(&state, count, monster_indexes);
	finish_command(&state, command_identifier);
}

void handle_inventory_command(int16 command_identifier, const command_inventory_data *data, int16 count,
	const int16 *monster_indexes)
{
	handle_inventory_verb(_command_inventory, command_identifier, data, count, monster_indexes);
}

void handle_inventory_drop_command(int16 command_identifier, const command_inventory_data *data, int16 count,
	const int16 *monster_indexes)
{
	handle_inventory_verb(_command_inventory_drop, command_identifier, data, count, monster_indexes);
}

// Next and previous skip units whose carried artifact may not be put away.
static int16 filter_holstering_units(int16 count, const int16 *monster_indexes, int16 *kept)
{
	int16 n = 0;
	if (count < 0 || !monster_indexes) count = 0;
	for (int16 i = 0; i < count; ++i)
	{
		const int16 monster_index = monster_indexes[i];
		const monster_data *monster = get_monster_data(monster_index);
		const monster_definition *definition = monster ? get_monster_definition_for_monster(monster_index) : NULL;
		if (monster && definition && (definition->flags & _monster_carries_multiple_artifacts_flag) &&
			monster->held_object_count >= 1 && monster->carrying_object_index != NONE)
		{
			const artifact_definition *artifact = object_artifact(monster->carrying_object_index);
			if (artifact && (artifact->flags & _artifact_cannot_be_holstered_flag)) continue;
		}
		kept[n++] = monster_index;
	}
	return n;
}

void handle_inventory_prev_command(int16 command_identifier, const command_inventory_data *data, int16 count,
	const int16 *monster_indexes)
{
	const int16 cap = monster_list_cap();
	int16 kept[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
	const int16 n = filter_holstering_units(count > cap ? cap : count, monster_indexes, kept);
	handle_inventory_verb(_command_inventory_prev, command_identifier, data, n, kept);
}

void handle_inventory_next_command(int16 command_identifier, const command_inventory_data *data, int16 count,
	const int16 *monster_indexes)
{
	const int16 cap = monster_list_cap();
	int16 kept[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
	const int16 n = filter_holstering_units(count > cap ? cap : count, monster_indexes, kept);
	handle_inventory_verb(_command_inventory_next, command_identifier, data, n, kept);
}

void queue_chat_command(const command_chat_data *data, const char *text)
{
	START_COMMAND(_command_chat);
	command_encode_data(&state, sizeof(*data), data, command_chat_data_byte_swapping_data);
	command_encode_string(&state, text, MAXIMUM_COMMAND_CHAT_LENGTH);
	finish_command(&state, COMMAND_FROM_STREAM);
}

void queue_sketch_command(uint16 flags, int16 count, const sketch_point2d *points)
{
	const command_sketch_data data = {flags};
	START_COMMAND(_command_sketch);
	command_encode_data(&state, sizeof(data), &data, command_sketch_data_byte_swapping_data);
	command_encode_array(&state, points ? count : 0, sizeof(sketch_point2d), points, sketch_point2d_byte_swapping_data);
	finish_command(&state, COMMAND_FROM_STREAM);
}

void queue_unit_adjustment_command(uint16 flags, int16 count, const int16 *counts)
{
	const command_unit_adjustment_data data = {flags};
	START_COMMAND(_command_unit_adjustment);
	command_encode_data(&state, sizeof(data), &data, command_unit_adjustment_data_byte_swapping_data);
	command_encode_array(&state, counts ? count : 0, sizeof(int16), counts, command_int16_byte_swapping_data);
	finish_command(&state, COMMAND_FROM_STREAM);
}

void queue_preset_selection_command(const command_preset_selection_data *data, int16 count,
	const int16 *identifiers)
{
	START_COMMAND(_command_preset_selection);
	command_encode_data(&state, sizeof(*data), data, command_preset_selection_data_byte_swapping_data);
	command_encode_array(&state, identifiers ? count : 0, sizeof(int16), identifiers,
		command_int16_byte_swapping_data);
	finish_command(&state, COMMAND_FROM_STREAM);
}

void *build_sync_command(void *buffer)
{
	command_codec_state state;
	command_sync_data data = {0, 0, 0, 0};
	if (game)
	{
		data.last_synchronization_verification_seed = game->last_synchronization_verification_seed;
		data.last_synchronization_verification_time = game->last_synchronization_verification_time;
	}
	command_encode_new(&state, buffer, _command_sync);
	command_encode_data(&state, sizeof(data), &data, command_sync_data_byte_swapping_data);
	return buffer;
}

void queue_sync_command(void)
{
	uint8 buffer[MAXIMUM_COMMAND_SIZE];
	queue_outgoing_command(build_sync_command(buffer));
}

void *build_null_command(void *buffer)
{
	command_codec_state state;
	command_encode_new(&state, buffer, _command_null);
	command_header header;
	command_read_header(buffer, &header);
	header.time = game ? game_local_time_get() : 0;
	command_write_header(buffer, &header);
	return buffer;
}

void *build_drop_player_command(void *buffer, int16 player_index)
{
	command_codec_state state;
	command_encode_new(&state, buffer, _command_drop_player);
	command_header header;
	command_read_header(buffer, &header);
	header.time = game ? game_local_time_get() : 0;
	header.player_index = static_cast<uint8>(player_index);
	command_write_header(buffer, &header);
	return buffer;
}

/* ---------- monster lists */

int16 command_decode_monster_list(void *command, command_codec_state *state, int16 command_identifier,
	int16 *monster_indexes, int16 filter)
{
	int16 identifiers[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
	int16 count = 0;
	const void *elements = command_decode_array(state, &count, sizeof(int16), command_int16_byte_swapping_data);
	const int16 cap = monster_list_cap();

	if (count < 0 || !elements) count = 0;
	if (count > cap) count = cap;
	if (count > 0) memcpy(identifiers, elements, count * sizeof(int16));
	count = monster_identifiers_to_monster_indexes(identifiers, monster_indexes, count);
	if (filter == _monster_list_unfiltered) return count;

	command_header header;
	command_read_header(command, &header);
	const int16 sender = header.player_index;
	int16 kept = 0;

	if (command_identifier == COMMAND_FROM_STREAM)
	{
		// The sender commands its team's units only as its captain.
		int16 team_index = NONE;
		const player_data *player = sender == NO_COMMAND_PLAYER ? NULL : get_player_data(sender);
		if (player && player->team_index != NONE)
		{
			const team_data *team = get_team_data(player->team_index);
			if (team && team->captain_player_index == sender) team_index = player->team_index;
		}

		for (int16 i = 0; i < count; ++i)
		{
			monster_data *monster = get_monster_data(monster_indexes[i]);
			if (!monster) continue;
			monster->internal_command_identifier = COMMAND_FROM_STREAM;
			if (monster->flags & _monster_ignores_user_commands_flag) continue;
			if (monster->owner_player_index != sender && (team_index == NONE || monster->owner_team_index != team_index))
			{
				continue;
			}
			if (monster->action == _monster_action_paralyzed) continue;
			if (game_play_version >= 1701 && (monster->flags & _monster_has_left_the_mesh_flag)) continue;
			monster->flags |= _monster_has_received_user_command_flag;
			if (monster->extra_flags & (_monster_is_confused_extra_flag | _monster_is_berserk_extra_flag)) continue;
			monster_indexes[kept++] = monster_indexes[i];
		}
	}
	else
	{
		for (int16 i = 0; i < count; ++i)
		{
			monster_data *monster = get_monster_data(monster_indexes[i]);
			if (!monster) continue;
			monster->internal_command_identifier = command_identifier;
			if (monster->extra_flags & (_monster_is_confused_extra_flag | _monster_is_berserk_extra_flag)) continue;
			monster_indexes[kept++] = monster_indexes[i];
		}
	}
	return kept;
}

/* ---------- order primitives */

void stop_monsters(int16 count, const int16 *monster_indexes, boolean stop, boolean guard, boolean special)
{
	for (int16 i = 0; i < count; ++i)
	{
		const int16 monster_index = monster_indexes[i];
		monster_data *monster = get_monster_data(monster_index);
		if (!monster) continue;

		if (monster->action == _monster_action_attacking && attack_is_interruptible(monster_index, monster))
		{
			set_monster_action(monster_index, _monster_action_holding_for_attack, NONE);
		}
		if (game_play_version >= 1301)
		{
			monster->extra_flags &= ~_monster_has_deferred_movement_command_extra_flag;
			monster->deferred_target_index = NONE;
		}
		monster->flags |= _monster_needs_to_stop_flag;
		if (stop) monster->flags |= _monster_was_stopped_flag;
		else monster->flags &= ~_monster_was_stopped_flag;
		if (get_monster_class(monster_index) == _monster_class_melee)
		{
			if (guard) monster->flags |= _monster_standing_ground_flag;
			else monster->flags &= ~_monster_standing_ground_flag;
		}
		if (special) monster->flags |= _monster_will_use_special_ability_flag;
		else monster->flags &= ~_monster_will_use_special_ability_flag;
	}
}

static boolean aiming_or_attacking(const monster_data *monster)
{
	return monster->action == _monster_action_aiming_attack || monster->action == _monster_action_attacking;
}

void set_monster_target_index(int16 monster_index, uint16 target_flags, int16 target_index)
{
	monster_data *monster = get_monster_data(monster_index);
	object_data *object = monster_object(monster);
	if (!monster || !object) return;

	boolean skip_to_clearing = FALSE;
	if (game_play_version >= 1301)
	{
		const boolean had_deferred = (monster->extra_flags & _monster_has_deferred_movement_command_extra_flag) != 0;
		monster->waypoint_index = 0;
		monster->waypoint_count = 0;
		monster->deferred_target_index = NONE;
		monster->extra_flags &= ~_monster_has_deferred_movement_command_extra_flag;

		if (aiming_or_attacking(monster))
		{
			if (!attack_is_interruptible(monster_index, monster))
			{
				// The attack finishes first; the order waits.
				monster->deferred_target_index = target_index;
				if (target_flags & _command_target_special_ability_flag)
				{
					monster->extra_flags |= _monster_deferred_uses_special_extra_flag;
				}
				else
				{
					monster->extra_flags &= ~_monster_deferred_uses_special_extra_flag;
				}
				if (game_play_version >= 1501 && had_deferred &&
					(game_play_version <= 1690 ||
						(monster->flags & (_monster_has_valid_target_index_flag | _monster_has_valid_target_location_flag))))
				{
					monster->flags |= _monster_has_valid_target_flag;
				}
				return;
			}
			set_monster_action(monster_index, _monster_action_holding_for_attack, NONE);
		}
		else
		{
			monster->flags &= ~_monster_has_valid_target_location_flag;
			if (game_play_version > 1690)
			{
				monster->extra_flags &= ~(_monster_will_use_old_collision_detection_extra_flag |
					_monster_has_deferred_movement_command_extra_flag | _monster_ignores_model_collisions_extra_flag);
			}
			if (!(monster->flags & _monster_has_valid_target_index_flag))
			{
				monster->flags &= ~_monster_has_valid_target_flag;
				if (!(target_flags & _command_target_dont_override_local_ai_flag)) skip_to_clearing = TRUE;
			}
		}
	}
	else if (monster->extra_flags & _monster_chain_lightning_prevention_extra_flag)
	{
		return;
	}

	if (!skip_to_clearing && (target_flags & _command_target_dont_override_local_ai_flag) &&
		(monster->flags & _monster_has_valid_target_index_flag) &&
		(monster->flags & _monster_target_has_caused_melee_damage_flag))
	{
		return;
	}

	const boolean had_target_index = (monster->flags & _monster_has_valid_target_index_flag) != 0;
	object->flags &= ~_object_pausing_for_obstacle_to_move_flag;
	monster->extra_flags &= ~(_monster_ignores_model_collisions_extra_flag | _monster_wants_to_run_extra_flag |
		_monster_should_use_closest_range_attack_extra_flag | _monster_will_use_old_collision_detection_extra_flag);
	monster->flags &= ~(_monster_has_valid_target_location_flag | _monster_has_obstructed_path_flag |
		_monster_wants_to_pick_up_object_flag | _monster_needs_to_retreat_flag | _monster_is_retreating_flag |
		_monster_should_close_on_target_flag | _monster_was_stopped_flag | _monster_will_use_special_ability_flag |
		_monster_standing_ground_flag);
	if (game_play_version > 1690 && !had_target_index) monster->flags &= ~_monster_has_valid_target_flag;

	if (target_index == NONE)
	{
		monster->flags &= ~_monster_has_valid_target_index_flag;
		if (game_play_version > 1690) monster->flags &= ~_monster_has_valid_target_flag;
		monster->target_monster_index = NONE;
		monster->waypoint_count = 0;
		return;
	}

	boolean replan = !had_target_index || monster->target_monster_index != target_index;
	if (!replan && game_play_version >= 1711 && (target_flags & _command_target_close_flag)) replan = TRUE;
	if (replan)
	{
		monster->flags |= _monster_needs_new_path_flag | _monster_attack_was_aborted_flag;
		monster->flags &= ~(_monster_in_proximity_to_target_flag | _monster_did_not_get_targeting_solution_flag |
			_monster_target_has_caused_melee_damage_flag);
	}

	monster->flags |= _monster_has_valid_target_flag | _monster_responding_to_command_flag |
		_monster_responding_to_target_command_flag | _monster_has_valid_target_index_flag;
	const monster_definition *definition = get_monster_definition_for_monster(monster_index);
	const uint16 special_or_command = _command_target_special_ability_flag | _command_target_use_command_flag;
	if (definition && (static_cast<uint8>(definition->more_hack_flags) & _hack_responds_to_enemies_flag))
	{
		if (!(target_flags & special_or_command)) monster->flags &= ~_monster_responding_to_command_flag;
		monster->flags |= _monster_needs_new_path_flag;
	}
	if (game_play_version > 1300 && (target_flags & special_or_command))
	{
		monster->flags |= _monster_responding_to_command_flag;
	}

	if (target_flags & _command_target_close_flag) monster->flags |= _monster_should_close_on_target_flag;
	if (target_flags & _command_target_use_closest_attack_flag)
	{
		monster->extra_flags |= _monster_should_use_closest_range_attack_extra_flag;
	}
	if (target_flags & _command_target_special_ability_flag) monster->flags |= _monster_will_use_special_ability_flag;

	monster->target_monster_index = target_index;
	monster->waypoint_count = 0;
}

void set_monster_target_location(int16 monster_index, const world_point3d *point, uint16 flags)
{
	monster_data *monster = get_monster_data(monster_index);
	object_data *object = monster_object(monster);
	if (!monster || !object) return;

	if (game_play_version >= 1301)
	{
		monster->extra_flags &= ~_monster_has_deferred_movement_command_extra_flag;
		monster->waypoint_index = 0;
		monster->waypoint_count = 0;
		monster->deferred_target_index = NONE;
		if (aiming_or_attacking(monster)) return;
	}
	else if (monster->extra_flags & _monster_chain_lightning_prevention_extra_flag)
	{
		return;
	}

	const uint32 both = _monster_has_valid_target_flag | _monster_has_valid_target_location_flag;
	if ((monster->flags & both) == both && monster->target_location.x == point->x &&
		monster->target_location.y == point->y)
	{
		// The looped-waypoints bit of flags, compared with the order's
		// ignore-collision bit, as the rules have it.
		const boolean looped = (monster->flags & _monster_has_looped_waypoints_flag) != 0;
		const boolean ignore = (flags & _command_attack_location_ignore_model_collision_flag) != 0;
		const boolean special = (monster->flags & _monster_will_use_special_ability_flag) != 0;
		const boolean wants_special = (flags & _command_attack_location_special_ability_flag) != 0;
		if (looped == ignore && special == wants_special) return;
	}

	monster->target_location.x = point->x;
	monster->target_location.y = point->y;
	monster->target_location_height = static_cast<short_world_distance>(point->z);
	object->flags &= ~_object_pausing_for_obstacle_to_move_flag;
	if (game_play_version > 1300) monster->target_monster_index = NONE;

	monster->flags &= ~(_monster_has_valid_target_index_flag | _monster_has_obstructed_path_flag |
		_monster_wants_to_pick_up_object_flag | _monster_did_not_get_targeting_solution_flag |
		_monster_needs_to_retreat_flag | _monster_is_retreating_flag | _monster_should_close_on_target_flag |
		_monster_was_stopped_flag | _monster_will_use_special_ability_flag | _monster_standing_ground_flag);
	monster->flags |= _monster_has_valid_target_flag | _monster_responding_to_command_flag |
		_monster_responding_to_target_command_flag | _monster_has_valid_target_location_flag |
		_monster_needs_new_path_flag | _monster_attack_was_aborted_flag;
	if (flags & _command_attack_location_special_ability_flag) monster->flags |= _monster_will_use_special_ability_flag;

	if (flags & _command_attack_location_ignore_model_collision_flag)
	{
		monster->extra_flags |= _monster_ignores_model_collisions_extra_flag;
	}
	else
	{
		monster->extra_flags &= ~_monster_ignores_model_collisions_extra_flag;
	}
	if (game_play_version > 1710 && (flags & _command_attack_location_from_map_action_flag))
	{
		monster->extra_flags |= _monster_will_use_old_collision_detection_extra_flag;
		monster->extra_flags &= ~(_monster_wants_to_run_extra_flag | _monster_should_use_closest_range_attack_extra_flag);
	}
	else
	{
		monster->extra_flags &= ~(_monster_will_use_old_collision_detection_extra_flag |
			_monster_wants_to_run_extra_flag | _monster_should_use_closest_range_attack_extra_flag);
	}
	monster->waypoint_count = 0;
}

/* ---------- pairing attackers with targets */

// The shared key table of compare_monster_distances_to_destination.
static int32 distance_keys[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];

int compare_monster_distances_to_destination(const void *a, const void *b)
{
	const int16 slot_a = *static_cast<const int16 *>(a);
	const int16 slot_b = *static_cast<const int16 *>(b);
	const int32 difference = static_cast<int32>(static_cast<uint32>(distance_keys[slot_b]) -
		static_cast<uint32>(distance_keys[slot_a]));
	return difference < 0 ? -1 : difference > 0 ? 1 : 0;
}

void set_monster_distance_key(int16 slot, int32 key)
{
	if (slot >= 0 && slot < MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND) distance_keys[slot] = key;
}

// dx² + dy² as 32-bit two's complement, as the pairing rules compute it.
static int32 wrapped_square_distance(const world_point2d *a, const world_point2d *b)
{
	const uint32 dx = static_cast<uint32>(a->x) - static_cast<uint32>(b->x);
	const uint32 dy = static_cast<uint32>(a->y) - static_cast<uint32>(b->y);
	return static_cast<int32>(dx * dx + dy * dy);
}

static boolean monster_position(int16 monster_index, world_point2d *point)
{
	const object_data *object = monster_object(get_monster_data(monster_index));
	if (!object)
	{
		point->x = point->y = 0;
		return FALSE;
	}
	point->x = object->location.position.x;
	point->y = object->location.position.y;
	return TRUE;
}

void pair_attackers_with_targets(uint16 flags, int16 attacker_count, int16 target_count, const int16 *attackers,
	const int16 *targets)
{
	if (attacker_count <= 0 || target_count <= 0) return;
	if (attacker_count > MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND) attacker_count = MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND;
	if (target_count > MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND) target_count = MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND;

	world_point2d attacker_center, target_center;
	world_point2d attacker_points[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
	world_point2d target_points[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
	int16 order[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
	boolean used[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
	int32 minimum = 512000;

	get_centerpoint_of_monster_indexes(attacker_count, attackers, &attacker_center);
	for (int16 i = 0; i < attacker_count; ++i) monster_position(attackers[i], &attacker_points[i]);
	for (int16 t = 0; t < target_count; ++t)
	{
		monster_position(targets[t], &target_points[t]);
		const int32 key = wrapped_square_distance(&target_points[t], &attacker_center);
		distance_keys[t] = key;
		const int32 negated = static_cast<int32>(0u - static_cast<uint32>(key));
		if (negated < minimum) minimum = negated;
		order[t] = t;
	}
	qsort_private(order, target_count, sizeof(int16), compare_monster_distances_to_destination);

	int16 free_count = 0;
	for (int16 i = 0; i < attacker_count; ++i)
	{
		const monster_data *monster = get_monster_data(attackers[i]);
		used[i] = FALSE;
		if ((flags & _command_target_dont_override_existing_target_flag) && monster &&
			(monster->flags & (_monster_has_valid_target_index_flag | _monster_has_valid_target_location_flag)))
		{
			used[i] = TRUE;
		}
		else
		{
			free_count += 1;
		}
	}
	if (free_count == 0) return;

	boolean spread = FALSE;
	if (game_play_version >= 1301 && !(flags & _command_target_close_flag) && minimum > 5120)
	{
		for (int16 i = 0; i < attacker_count && !spread; ++i)
		{
			const monster_definition *definition = get_monster_definition_for_monster(attackers[i]);
			if (definition && get_monster_class(attackers[i]) == _monster_class_missile &&
				(static_cast<uint16>(definition->hack_flags) & _hack_mixes_missile_melee_behaviour_flag))
			{
				spread = TRUE;
			}
		}
	}

	if (spread)
	{
		int16 attacker_order[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
		boolean marks[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
		int32 loads[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];

		get_centerpoint_of_monster_indexes(target_count, targets, &target_center);
		for (int16 i = 0; i < attacker_count; ++i)
		{
			const int32 key = wrapped_square_distance(&attacker_points[i], &target_center);
			distance_keys[i] = static_cast<int32>(0u - static_cast<uint32>(key));
			attacker_order[i] = i;
			// Marks of this pass count positions in the new order, not the list's.
			marks[i] = used[i];
		}
		qsort_private(attacker_order, attacker_count, sizeof(int16), compare_monster_distances_to_destination);
		for (int16 t = 0; t < target_count; ++t) loads[t] = 0;
		for (int16 position = attacker_count - 1; position >= 0; --position)
		{
			if (marks[position]) continue;
			const int16 a = attacker_order[position];
			int16 best = NONE;
			int32 best_cost = 0;
			for (int16 t = 0; t < target_count; ++t)
			{
				const int32 cost = distance2d(&attacker_points[a], &target_points[t]) + loads[t];
				if (best == NONE || cost < best_cost)
				{
					best = t;
					best_cost = cost;
				}
			}
			set_monster_target_index(attackers[a], flags, targets[best]);
			loads[best] += 1536;
			marks[position] = TRUE;
		}
		return;
	}

	while (free_count > 0)
	{
		const int16 take = free_count >= target_count ? target_count : free_count;
		for (int16 k = target_count - take; k < target_count; ++k)
		{
			const int16 t = order[k];
			int16 best = NONE;
			int32 best_distance = 0;
			for (int16 i = 0; i < attacker_count; ++i)
			{
				if (used[i]) continue;
				const int32 d = wrapped_square_distance(&attacker_points[i], &target_points[t]);
				if (best == NONE || d < best_distance)
				{
					best = i;
					best_distance = d;
				}
			}
			if (best == NONE) break;
			set_monster_target_index(attackers[best], flags, targets[t]);
			used[best] = TRUE;
			free_count -= 1;
		}
	}
}

/* ---------- dropping a held object */

void monster_command_drop_projectile(monster_data *monster, int16 monster_index, int16 slot)
{
	if (!monster || slot < 0 || slot >= monster->held_object_count || slot >= MAXIMUM_HELD_OBJECTS_PER_MONSTER) return;
	const int16 object_index = monster->held_object_indexes[slot];
	const object_data *held = get_object_data(object_index);
	const object_data *unit_object = monster_object(monster);
	if (!held || !unit_object) return;

	const artifact_definition *artifact = object_artifact(object_index);
	if (artifact && (artifact->flags & _artifact_cannot_be_discarded_flag)) return;
	const boolean overrides_owner = artifact && (artifact->flags & _artifact_overrides_owner_monster_flag);

	new_projectile_data request;
	initialize_new_projectile_data(&request);
	request.type = object_projectile_type(object_index);
	request.location = unit_object->location;
	request.location.velocity.i = request.location.velocity.j = request.location.velocity.k = 0;
	request.owner_monster_index = monster_index;
	request.owner_projectile_index = NONE;
	request.owner_object_index = object_index;
	const int16 projectile_index = request.type == NONE ? static_cast<int16>(NONE) : new_projectile(&request);
	const projectile_data *projectile = get_projectile_data(projectile_index);
	if (projectile)
	{
		object_data *new_object = get_object_data(projectile->object_index);
		if (new_object)
		{
			new_object->identifier = held->identifier;
			if (artifact && (artifact->flags & _artifact_keeps_charge_flag)) new_object->state = held->state;
		}
		if (projectile->local_projectile_group_index != NONE && new_object)
		{
			set_local_projectile_group_central_object(projectile->local_projectile_group_index, projectile->object_index,
				new_object->identifier);
		}
	}

	const boolean was_carried = monster->carrying_object_index == object_index;
	if (game_play_version < 1601 && was_carried && overrides_owner)
	{
		monster->type = monster->orig_type;
		monster->base_movement_speed = monster->orig_base_movement_speed;
	}
	if (was_carried)
	{
		object_data *object = get_object_data(monster->object_index);
		if (object) object->flags |= _object_animation_last_frame_flag;
		if (game_play_version < 1601 && overrides_owner)
		{
			const monster_definition *original = get_monster_definition(monster->orig_type);
			if (original && monster->mana > original->maximum_mana) monster->mana = original->maximum_mana;
		}
		monster->carrying_object_index = NONE;
		switch_monster_artifact(monster_index);
		monster->display_dirty_flags |= _monster_items_dirty_flag;
	}

	delete_object(object_index);
	for (int16 i = slot; i + 1 < monster->held_object_count; ++i)
	{
		monster->held_object_indexes[i] = monster->held_object_indexes[i + 1];
	}
	monster->held_object_count -= 1;
	monster->held_object_indexes[monster->held_object_count] = NONE;
	calculate_monster_speed(monster_index);
}

/* ---------- executors */

void debug_monster_command(const void *command, const int16 *monster_indexes, int16 count, const char *name)
{
	if (!monster_command_debug || !game || game->type != _game_type_replay) return;
	boolean selected = FALSE;
	for (int16 i = 0; i < count && !selected; ++i)
	{
		const object_data *object = monster_object(get_monster_data(monster_indexes[i]));
		if (object && (object->flags & _object_is_selected_flag)) selected = TRUE;
	}
	if (!selected) return;
	command_header header;
	command_read_header(command, &header);
	cprintf(FALSE, "%d : %04x #%d #%d #%02d %s", static_cast<int>(game->game_time), static_cast<unsigned>(header.time),
		header.player_index, header.verb, header.size, name);
}

void toggle_monster_command_debug_status(void)
{
	monster_command_debug = !monster_command_debug;
	cprintf(FALSE, "monster command debug %s", monster_command_debug ? "ON" : "OFF");
}

boolean get_monster_command_debug_status(void)
{
	return monster_command_debug;
}

void execute_general_command(void *command, int16 command_identifier)
{
	command_codec_state state;
	int16 units[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
	command_general_data data;

	command_decode_new(&state, command, _command_general);
	const void *record = command_decode_data(&state, sizeof(data), command_general_data_byte_swapping_data);
	if (!record) return;
	memcpy(&data, record, sizeof(data));
	const int16 count = command_decode_monster_list(command, &state, command_identifier, units, _monster_list_obeying);
	if (data.type < 0 || data.type >= NUMBER_OF_GENERAL_COMMAND_TYPES) return;
	debug_monster_command(command, units, count, general_command_names[data.type]);

	switch (data.type)
	{
		case _command_general_stop:
			stop_monsters(count, units, TRUE, FALSE, FALSE);
			break;
		case _command_general_scatter:
		{
			world_point2d center;
			get_centerpoint_of_monster_indexes(count, units, &center);
			for (int16 i = 0; i < count; ++i)
			{
				world_point2d position, destination;
				if (!monster_position(units[i], &position)) continue;
				const angle a = arctangent(position.x - center.x, position.y - center.y);
				destination.x = position.x + angle_cosine(a) / 8;
				destination.y = position.y + angle_sine(a) / 8;
				clamp_to_mesh_vertices(&destination);
				set_monster_waypoints(units[i], 1, &destination, 0, a);
			}
			break;
		}
		case _command_general_retreat:
			for (int16 i = 0; i < count; ++i)
			{
				world_point2d point;
				angle facing;
				if (generate_point_of_retreat(units[i], NULL, &point, &facing))
				{
					set_monster_waypoints(units[i], 1, &point, 0, facing);
				}
			}
			break;
		case _command_general_special_ability:
			stop_monsters(count, units, FALSE, FALSE, TRUE);
			break;
		case _command_general_guard:
			stop_monsters(count, units, FALSE, TRUE, FALSE);
			break;
		case _command_general_taunt:
			for (int16 i = 0; i < count; ++i) make_monster_taunt(units[i]);
			break;
		case _command_general_celebrate:
			for (int16 i = 0; i < count; ++i) make_monster_celebrate(units[i]);
			break;
	}
}

void execute_target_command(void *command, int16 command_identifier)
{
	command_codec_state state;
	int16 attackers[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
	int16 targets[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
	command_target_data data;

	command_decode_new(&state, command, _command_target);
	const void *record = command_decode_data(&state, sizeof(data), command_target_data_byte_swapping_data);
	if (!record) return;
	memcpy(&data, record, sizeof(data));
	const int16 attacker_count =
		command_decode_monster_list(command, &state, command_identifier, attackers, _monster_list_obeying);
	const int16 target_count =
		command_decode_monster_list(command, &state, command_identifier, targets, _monster_list_unfiltered);
	debug_monster_command(command, attackers, attacker_count, "attack");
	if (attacker_count <= 0 || target_count <= 0) return;

	if (data.flags & _command_target_attack_closest_flag)
	{
		world_point2d center;
		get_centerpoint_of_monster_indexes(attacker_count, attackers, &center);
		int16 best = NONE;
		int64 best_distance = 0;
		for (int16 t = 0; t < target_count; ++t)
		{
			world_point2d p;
			monster_position(targets[t], &p);
			const int64 dx = static_cast<int64>(p.x) - center.x;
			const int64 dy = static_cast<int64>(p.y) - center.y;
			// "Exceeds the centre's by more than": a signed comparison.
			if (dx > MAXIMUM_SEPARATION_DISTANCE - 1 || dy > MAXIMUM_SEPARATION_DISTANCE - 1) continue;
			const int64 d = dx * dx + dy * dy;
			if (best == NONE || d < best_distance)
			{
				best = targets[t];
				best_distance = d;
			}
		}
		for (int16 i = 0; i < attacker_count; ++i)
		{
			const monster_data *monster = get_monster_data(attackers[i]);
			if ((data.flags & _command_target_dont_override_existing_target_flag) && monster &&
				(monster->flags & (_monster_has_valid_target_index_flag | _monster_has_valid_target_location_flag)))
			{
				continue;
			}
			set_monster_target_index(attackers[i], data.flags, best);
		}
		return;
	}
	pair_attackers_with_targets(data.flags, attacker_count, target_count, attackers, targets);
}

static void execute_attack_location_command(void *command, int16 command_identifier)
{
	command_codec_state state;
	int16 units[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
	command_attack_location_data data;

	command_decode_new(&state, command, _command_attack_location);
	const void *record = command_decode_data(&state, sizeof(data), command_attack_location_data_byte_swapping_data);
	if (!record) return;
	memcpy(&data, record, sizeof(data));
	const int16 count = command_decode_monster_list(command, &state, command_identifier, units, _monster_list_obeying);
	debug_monster_command(command, units, count, "attack location");
	for (int16 i = 0; i < count; ++i) set_monster_target_location(units[i], &data.point, data.flags);
}

void execute_pick_up_command(void *command, int16 command_identifier)
{
	command_codec_state state;
	int16 units[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
	command_pick_up_data data;

	command_decode_new(&state, command, _command_pick_up);
	const void *record = command_decode_data(&state, sizeof(data), command_pick_up_data_byte_swapping_data);
	if (!record) return;
	memcpy(&data, record, sizeof(data));
	const int16 count = command_decode_monster_list(command, &state, command_identifier, units, _monster_list_obeying);
	debug_monster_command(command, units, count, "pick up");
	for (int16 i = 0; i < count; ++i)
	{
		monster_data *monster = get_monster_data(units[i]);
		object_data *object = monster_object(monster);
		if (!monster || !object) continue;
		if (!monster_could_pick_up_object(units[i], data.object_index, data.object_identifier)) continue;
		monster->extra_flags &= ~(_monster_has_deferred_movement_command_extra_flag |
			_monster_ignores_model_collisions_extra_flag | _monster_wants_to_run_extra_flag |
			_monster_should_use_closest_range_attack_extra_flag | _monster_will_use_old_collision_detection_extra_flag);
		monster->deferred_target_index = NONE;
		object->flags &= ~_object_pausing_for_obstacle_to_move_flag;
		monster->pick_up_object_index = data.object_index;
		monster->pick_up_object_identifier = data.object_identifier;
		monster->flags &= ~(_monster_has_valid_target_flag | _monster_responding_to_target_command_flag |
			_monster_has_valid_target_index_flag | _monster_has_valid_target_location_flag |
			_monster_has_obstructed_path_flag | _monster_needs_to_retreat_flag | _monster_is_retreating_flag |
			_monster_should_close_on_target_flag | _monster_was_stopped_flag | _monster_will_use_special_ability_flag |
			_monster_standing_ground_flag);
		monster->flags |= _monster_responding_to_command_flag | _monster_needs_new_path_flag |
			_monster_wants_to_pick_up_object_flag;
		monster->waypoint_count = 0;
	}
}

void execute_rename_command(void *command, int16 command_identifier)
{
	command_codec_state state;
	int16 units[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];

	command_decode_new(&state, command, _command_rename);
	if (!command_decode_data(&state, sizeof(command_rename_data), command_rename_data_byte_swapping_data)) return;
	const int16 count = command_decode_monster_list(command, &state, command_identifier, units, _monster_list_obeying);
	const char *name = command_decode_string(&state, MAXIMUM_COMMAND_NAME_LENGTH);
	debug_monster_command(command, units, count, "rename");
	if (!name) return;
	for (int16 i = 0; i < count; ++i)
	{
		monster_data *monster = get_monster_data(units[i]);
		if (!monster) continue;
		snprintf(monster->name, sizeof(monster->name), "%s", name);
		monster->display_dirty_flags |= _monster_name_dirty_flag;
	}
}

/* ---------- inventory */

static int16 decode_inventory(void *command, int16 verb, int16 command_identifier, command_inventory_data *data,
	int16 *units, const char *name)
{
	command_codec_state state;
	command_decode_new(&state, command, verb);
	const void *record = command_decode_data(&state, sizeof(*data), command_inventory_data_byte_swapping_data);
	if (!record) return 0;
	memcpy(data, record, sizeof(*data));
	const int16 count = command_decode_monster_list(command, &state, command_identifier, units, _monster_list_obeying);
	debug_monster_command(command, units, count, name);
	return count;
}

static void interrupt_attack(int16 monster_index, monster_data *monster)
{
	if (monster->action == _monster_action_attacking && current_attack(monster_index, monster))
	{
		set_monster_action(monster_index, _monster_action_holding_for_attack, NONE);
	}
}

static void carry_object(int16 monster_index, monster_data *monster, int16 object_index)
{
	if (monster->carrying_object_index == object_index) return;
	monster->carrying_object_index = object_index;
	switch_monster_artifact(monster_index);
	monster->display_dirty_flags |= _monster_items_dirty_flag;
}

// The slot of the object of type: the given slot when it matches, else the
// first held object of the type; NONE without one.
static int16 find_held_slot(const monster_data *monster, int16 type, int16 number)
{
	const int16 held = MIN(monster->held_object_count, MAXIMUM_HELD_OBJECTS_PER_MONSTER);
	if (number >= 0 && number < held && object_projectile_type(monster->held_object_indexes[number]) == type)
	{
		return number;
	}
	for (int16 slot = 0; slot < held; ++slot)
	{
		if (object_projectile_type(monster->held_object_indexes[slot]) == type) return slot;
	}
	return NONE;
}

void execute_inventory_command(void *command, int16 command_identifier)
{
	int16 units[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
	command_inventory_data data;
	const int16 count = decode_inventory(command, _command_inventory, command_identifier, &data, units, "inventory");

	for (int16 i = 0; i < count; ++i)
	{
		monster_data *monster = get_monster_data(units[i]);
		if (!monster) continue;
		if (data.number == NONE)
		{
			interrupt_attack(units[i], monster);
			monster->carrying_object_index = NONE;
			if (monster->artifact_index != NONE)
			{
				switch_monster_artifact(units[i]);
				monster->display_dirty_flags |= _monster_items_dirty_flag;
			}
			continue;
		}
		if (!get_projectile_definition(data.type)) continue;
		const int16 slot = find_held_slot(monster, data.type, data.number);
		if (slot == NONE) continue;
		interrupt_attack(units[i], monster);
		carry_object(units[i], monster, monster->held_object_indexes[slot]);
	}
}

void execute_inventory_drop_command(void *command, int16 command_identifier)
{
	int16 units[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
	command_inventory_data data;
	const int16 count =
		decode_inventory(command, _command_inventory_drop, command_identifier, &data, units, "inventory drop");

	for (int16 i = 0; i < count; ++i)
	{
		monster_data *monster = get_monster_data(units[i]);
		if (!monster) continue;
		int16 slot = NONE;
		if (data.number == NONE)
		{
			for (int16 s = 0; s < MIN(monster->held_object_count, MAXIMUM_HELD_OBJECTS_PER_MONSTER); ++s)
			{
				if (monster->held_object_indexes[s] == monster->carrying_object_index &&
					monster->carrying_object_index != NONE)
				{
					slot = s;
				}
			}
		}
		else
		{
			slot = find_held_slot(monster, data.type, data.number);
		}
		if (slot == NONE) continue;
		interrupt_attack(units[i], monster);
		monster_command_drop_projectile(monster, units[i], slot);
	}
}

// Next (+1) or previous (-1) item; slots repeating an earlier slot's type
// are skipped, and stepping past either end carries nothing.
static void step_inventory(void *command, int16 verb, int16 command_identifier, int16 direction, const char *name)
{
	int16 units[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
	command_inventory_data data;
	const int16 count = decode_inventory(command, verb, command_identifier, &data, units, name);

	for (int16 i = 0; i < count; ++i)
	{
		monster_data *monster = get_monster_data(units[i]);
		if (!monster || monster->held_object_count < 1) continue;
		const int16 held = MIN(monster->held_object_count, MAXIMUM_HELD_OBJECTS_PER_MONSTER);
		boolean skipped[MAXIMUM_HELD_OBJECTS_PER_MONSTER];
		for (int16 s = 0; s < held; ++s)
		{
			const int16 type = object_projectile_type(monster->held_object_indexes[s]);
			skipped[s] = FALSE;
			for (int16 earlier = 0; earlier < s; ++earlier)
			{
				if (object_projectile_type(monster->held_object_indexes[earlier]) == type) skipped[s] = TRUE;
			}
		}

		int16 next = NONE;
		if (monster->carrying_object_index == NONE)
		{
			next = direction > 0 ? 0 : static_cast<int16>(held - 1);
		}
		else
		{
			int16 current = NONE;
			for (int16 s = 0; s < held; ++s)
			{
				if (monster->held_object_indexes[s] == monster->carrying_object_index) current = s;
			}
			if (current == NONE) continue;
			for (int16 s = static_cast<int16>(current + direction); s >= 0 && s < held; s = static_cast<int16>(s + direction))
			{
				if (!skipped[s])
				{
					next = s;
					break;
				}
			}
		}

		interrupt_attack(units[i], monster);
		const int16 object_index = next == NONE ? static_cast<int16>(NONE) : monster->held_object_indexes[next];
		carry_object(units[i], monster, object_index);
	}
}

void execute_inventory_prev_command(void *command, int16 command_identifier)
{
	step_inventory(command, _command_inventory_prev, command_identifier, -1, "inventory prev");
}

void execute_inventory_next_command(void *command, int16 command_identifier)
{
	step_inventory(command, _command_inventory_next, command_identifier, 1, "inventory next");
}

/* ---------- game-wide verbs */

static void execute_sync_command(void *command)
{
	command_codec_state state;
	command_sync_data data;
	command_decode_new(&state, command, _command_sync);
	const void *record = command_decode_data(&state, sizeof(data), command_sync_data_byte_swapping_data);
	if (!record) return;
	memcpy(&data, record, sizeof(data));
	if (data.last_synchronization_verification_time == game->last_synchronization_verification_time &&
		data.last_synchronization_verification_seed != game->last_synchronization_verification_seed &&
		!game_flags_test(_game_is_out_of_sync_flag))
	{
		game_is_out_of_sync(MODULE_NAME, __LINE__);
	}
}

static void execute_drop_player_command(int16 player_index)
{
	player_data *player = get_player_data(player_index);
	if (!player) return;

	if (game->type == _game_type_networked) remove_player_from_player_list(static_cast<int32>(player->unique_identifier));

	const int16 team_index = player->team_index;
	team_data *team = team_index == NONE ? NULL : get_team_data(team_index);
	if (team)
	{
		int16 heir = NONE;
		const boolean was_captain = team->captain_player_index == player_index;
		if (team->captain_player_index == NONE)
		{
			eliminate_team(team_index);
		}
		else if (!was_captain)
		{
			heir = team->captain_player_index;
		}
		else
		{
			for (int16 i = 0; i < get_player_count() && heir == NONE; ++i)
			{
				const player_data *other = get_player_data(i);
				if (i != player_index && other && other->team_index == team_index &&
					!(other->flags & _player_has_been_dropped_flag))
				{
					heir = i;
				}
			}
			if (heir == NONE) eliminate_team(team_index);
		}

		if (heir != NONE)
		{
			for (int16 m = 0; m < monster_array.count; ++m)
			{
				const monster_data *monster = get_monster_data(m);
				if (monster && monster->owner_player_index == player_index) detach_monster(m, heir, FALSE);
			}
			if (was_captain)
			{
				team->captain_player_index = heir;
				if (game_play_version >= 1601 && heir == player_globals.local_player_index)
				{
					player_globals.local_player_is_team_captain = TRUE;
					if (game->time_state == _game_time_pregame &&
						(game->option_flags & _game_option_allow_unit_trading_flag) &&
						!(team->flags & _team_has_already_traded_units_flag))
					{
						open_unit_trading_dialog();
					}
				}
			}
			// A repeated drop must not wrap the count.
			if (team->number_of_players > 0) team->number_of_players -= 1;
		}
	}

	player->flags |= _player_has_been_dropped_flag;
	player->team_index = NONE;
	if (game->type == _game_type_replay && get_replay_game_type() != _game_type_local)
	{
		// The message names the player where its %s stands.
		const char *format = get_networking_string(7);
		const char *mark = format ? strstr(format, "%s") : NULL;
		if (format && *format)
		{
			char line[256];
			if (mark)
			{
				snprintf(line, sizeof(line), "%.*s%s%s", static_cast<int>(mark - format), format, player->appearance.name,
					mark + 2);
			}
			else
			{
				snprintf(line, sizeof(line), "%s", format);
			}
			cprintf(FALSE, "%s", line);
		}
	}
}

static void execute_chat_command(void *command, int16 sender)
{
	command_codec_state state;
	command_chat_data data;
	command_decode_new(&state, command, _command_chat);
	const void *record = command_decode_data(&state, sizeof(data), command_chat_data_byte_swapping_data);
	if (!record) return;
	memcpy(&data, record, sizeof(data));
	const char *text = command_decode_string(&state, MAXIMUM_COMMAND_CHAT_LENGTH);
	if (!text) return;

	const boolean private_chat = (data.flags & _command_chat_private_flag) != 0;
	if (private_chat && player_globals.local_player_team_index != NONE)
	{
		const player_data *player = get_player_data(sender);
		if (!player || player->team_index != player_globals.local_player_team_index) return;
	}
	append_chat(sender, text, private_chat);
	if (game->type == _game_type_replay) return;
	const uint32 both = _game_option_uses_qel_flag | _game_option_cooperative_flag;
	if ((game->option_flags & both) == both && game->type == _game_type_networked)
	{
		queue_game_sound(_game_sound_incoming_message);
	}
	else
	{
		queue_game_sound(private_chat ? _game_sound_incoming_whisper : _game_sound_incoming_message);
	}
}

static void execute_detach_command(void *command, int16 command_identifier)
{
	command_codec_state state;
	int16 units[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
	command_detach_data data;
	command_decode_new(&state, command, _command_detach);
	const void *record = command_decode_data(&state, sizeof(data), command_detach_data_byte_swapping_data);
	if (!record) return;
	memcpy(&data, record, sizeof(data));
	const int16 count = command_decode_monster_list(command, &state, command_identifier, units, _monster_list_obeying);
	debug_monster_command(command, units, count, "detach");
	for (int16 i = 0; i < count; ++i) detach_monster(units[i], data.new_owner_player_index, FALSE);
}

static void execute_unit_adjustment_command(void *command, int16 sender)
{
	command_codec_state state;
	int16 counts[MAXIMUM_COMMAND_SIZE / 2];
	int16 count = 0;
	command_decode_new(&state, command, _command_unit_adjustment);
	if (!command_decode_data(&state, sizeof(command_unit_adjustment_data),
		command_unit_adjustment_data_byte_swapping_data))
	{
		return;
	}
	const void *elements = command_decode_array(&state, &count, sizeof(int16), command_int16_byte_swapping_data);
	if (count > 0) memcpy(counts, elements, count * sizeof(int16));

	const player_data *player = get_player_data(sender);
	team_data *team = player && player->team_index != NONE ? get_team_data(player->team_index) : NULL;
	if (!team || team->captain_player_index != sender) return;
	if (game_play_version >= 1601 && ((team->flags & _team_has_already_traded_units_flag) ||
		!(game->option_flags & _game_option_allow_unit_trading_flag)))
	{
		return;
	}
	adjust_unit_placement(player->team_index, count, counts);
	team->flags |= _team_has_already_traded_units_flag;
}

static void execute_sketch_command(void *command, int16 sender)
{
	command_codec_state state;
	command_sketch_data data;
	sketch_point2d points[MAXIMUM_COMMAND_SIZE / 2];
	int16 count = 0;

	if (sender == player_globals.local_player_index) return;
	if (player_globals.local_player_team_index != NONE)
	{
		const player_data *player = get_player_data(sender);
		if (!player || player->team_index != player_globals.local_player_team_index) return;
	}
	command_decode_new(&state, command, _command_sketch);
	const void *record = command_decode_data(&state, sizeof(data), command_sketch_data_byte_swapping_data);
	if (!record) return;
	memcpy(&data, record, sizeof(data));
	const void *elements =
		command_decode_array(&state, &count, sizeof(sketch_point2d), sketch_point2d_byte_swapping_data);
	if (count > 0) memcpy(points, elements, count * sizeof(sketch_point2d));
	submit_sketch_points_to_overhead_map(sender, count, points);
	if (data.flags & _command_sketch_start_flag) push_overhead_map_button(1);
	if (data.flags & _command_sketch_erase_flag) erase_sketch_points(FALSE);
}

static void execute_ally_command(void *command)
{
	command_codec_state state;
	command_ally_data data;
	command_decode_new(&state, command, _command_ally);
	const void *record = command_decode_data(&state, sizeof(data), command_ally_data_byte_swapping_data);
	if (!record) return;
	memcpy(&data, record, sizeof(data));
	ally_with_team(data.team0, data.team1, !teams_are_allied(data.team0, data.team1));
}

static void execute_preset_selection_command(void *command, int16 sender)
{
	command_codec_state state;
	command_preset_selection_data data;
	int16 identifiers[MAXIMUM_COMMAND_SIZE / 2];
	int16 count = 0;

	// Films replay the local player's selections; a live game made them already.
	if (game->type != _game_type_replay || sender != player_globals.local_player_index) return;
	command_decode_new(&state, command, _command_preset_selection);
	const void *record = command_decode_data(&state, sizeof(data), command_preset_selection_data_byte_swapping_data);
	if (!record) return;
	memcpy(&data, record, sizeof(data));
	const void *elements = command_decode_array(&state, &count, sizeof(int16), command_int16_byte_swapping_data);
	if (count > 0) memcpy(identifiers, elements, count * sizeof(int16));
	set_preset_selection_by_identifiers(data.preset_index, count, identifiers);
}

static void execute_sync_formation_command(void *command, int16 sender)
{
	command_codec_state state;
	command_sync_formation_data data;
	command_decode_new(&state, command, _command_sync_formation);
	const void *record = command_decode_data(&state, sizeof(data), command_sync_formation_data_byte_swapping_data);
	if (!record || sender == NO_COMMAND_PLAYER) return;
	memcpy(&data, record, sizeof(data));
	set_formation_definition_for_player(sender, &data.definition);
}

// One validated command, from the stream (-1) or executed at once.
static void execute_command(void *command, int16 command_identifier)
{
	command_header header;
	command_read_header(command, &header);
	const int16 sender = header.player_index;

	switch (header.verb)
	{
		case _command_null:
			break;
		case _command_sync:
			execute_sync_command(command);
			break;
		case _command_general:
			execute_general_command(command, command_identifier);
			break;
		case _command_movement:
			execute_movement_command(command, command_identifier);
			break;
		case _command_target:
			execute_target_command(command, command_identifier);
			break;
		case _command_attack_location:
			execute_attack_location_command(command, command_identifier);
			break;
		case _command_pick_up:
			execute_pick_up_command(command, command_identifier);
			break;
		case _command_rename:
			execute_rename_command(command, command_identifier);
			break;
		case _command_rotation:
			execute_rotation_command(command, command_identifier);
			break;
		case _command_drop_player:
			execute_drop_player_command(sender);
			break;
		case _command_chat:
			execute_chat_command(command, sender);
			break;
		case _command_detach:
			execute_detach_command(command, command_identifier);
			break;
		case _command_unit_adjustment:
			execute_unit_adjustment_command(command, sender);
			break;
		case _command_sketch:
			execute_sketch_command(command, sender);
			break;
		case _command_ally:
			execute_ally_command(command);
			break;
		case _command_preset_selection:
			execute_preset_selection_command(command, sender);
			break;
		case _command_sync_formation:
			execute_sync_formation_command(command, sender);
			break;
		case _command_inventory:
			execute_inventory_command(command, command_identifier);
			break;
		case _command_inventory_drop:
			execute_inventory_drop_command(command, command_identifier);
			break;
		case _command_inventory_prev:
			execute_inventory_prev_command(command, command_identifier);
			break;
		case _command_inventory_next:
			execute_inventory_next_command(command, command_identifier);
			break;
	}
}

void execute_monster_commands(int32 game_time)
{
	void *command;

	while ((command = dequeue_incoming_command(game_time)) != NULL)
	{
		command_header header;
		command_validation_limits limits;
		const char *reason = NULL;

		// Nothing of a malformed command is read, and its drop is no fault of the game's.
		get_command_validation_limits(&limits, TRUE);
		if (!command_payload_is_valid(command, &limits, &reason))
		{
			report_dropped_command(command, reason);
			continue;
		}
		command_read_header(command, &header);
		if (header.time != game_time) game_is_out_of_sync(MODULE_NAME, __LINE__);
		if (game->time_state == _game_time_pregame && (INVALID_PREGAME_COMMAND_FLAGS & (1 << header.verb))) continue;
		execute_command(command, COMMAND_FROM_STREAM);
	}
}
