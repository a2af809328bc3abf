// The units' action state machine: entering an action, deciding the next
// one, and the per-tick update with its staggered target scan.
#include "monsters.h"

#include "alliances.h"
#include "artifact_definitions.h"
#include "damage.h"
#include "game_statistics.h"
#include "local_projectiles.h"
#include "map_actions/map_actions.h"
#include "mesh.h"
#include "object_animation.h"
#include "object_tracking.h"
#include "objects.h"
#include "path.h"
#include "projectile_definitions.h"
#include "projectiles.h"
#include "shapes.h"
#include "world.h"
#include "zerv.h"

static inline monster_data *monster_at(int16 monster_index)
{
	return static_cast<monster_data *>(monster_array.data) + monster_index;
}

// The record at an index already known to be inside the array, NULL when free.
static inline monster_data *live_monster_at(int16 monster_index)
{
	monster_data *monster = monster_at(monster_index);
	return monster->identifier != 0 ? monster : nullptr;
}

static inline int32 random_below(int32 n)
{
	return zerv_random_below(n);
}

static boolean monster_is_incapacitated(const monster_data *monster)
{
	return monster->action == _monster_action_being_healed || monster->action == _monster_action_being_held ||
		monster->action == _monster_action_stoned || monster->action == _monster_action_paralyzed;
}

// An internal group at the unit's object; nothing when the map has none.
static void play_internal_projectile_group(int16 monster_index, int16 which)
{
	const int16 type = internal_projectile_groups[which].index;
	const monster_data *monster = get_monster_data(monster_index);
	if (type == NONE || !monster || !get_object_data(monster->object_index)) return;
	new_projectile_group_data group = {};
	group.type = type;
	group.owner_object_index = group.bounds_object_index = monster->object_index;
	group.owner_monster_index = monster_index;
	get_object_point(_object_point_location, monster->object_index, &group.epicenter);
	new_projectile_group(&group);
}

static int16 sequence_ticks_per_frame(const object_data *object)
{
	if (object->shape_collection_index == NO_SHAPE_INDEX || object->shape_sequence_index == NO_SHAPE_INDEX) return 1;
	const sequence_data *sequence = get_sequence(object->shape_collection_index, object->shape_sequence_index);
	return sequence ? MAX(sequence->ticks_per_frame, static_cast<int16>(1)) : static_cast<int16>(1);
}

static int16 current_sequence(const object_data *object)
{
	return object->shape_sequence_index == NO_SHAPE_INDEX ? static_cast<int16>(NONE) : object->shape_sequence_index;
}

static void drop_target(monster_data *monster)
{
	monster->target_monster_index = NONE;
	monster->extra_flags &= ~static_cast<uint32>(_monster_failed_to_attack_extra_flag |
		_monster_ignores_model_collisions_extra_flag | _monster_chain_lightning_prevention_extra_flag |
		_monster_will_use_old_collision_detection_extra_flag);
	monster->flags &= ~static_cast<uint32>(_monster_has_valid_target_flag | _monster_responding_to_command_flag |
		_monster_responding_to_target_command_flag | _monster_has_valid_target_index_flag |
		_monster_has_valid_target_location_flag | _monster_did_not_get_targeting_solution_flag |
		_monster_will_use_special_ability_flag | _monster_is_using_special_ability_flag |
		_monster_target_has_caused_melee_damage_flag);
	monster->flags |= _monster_attack_was_aborted_flag;
	monster->last_target_location.x = monster->last_target_location.y = 0;
}

static void reset_path(monster_data *monster)
{
	monster->extra_flags &= ~static_cast<uint32>(_monster_deviating_left_extra_flag);
	monster->waypoint_count = 0;
	monster->flags &= ~static_cast<uint32>(_monster_needs_new_path_flag | _monster_has_obstructed_path_flag);
	if (monster->path_index != NONE) delete_path(&monster->path_index);
}

void monster_carried_by_script(int16 monster_index)
{
	monster_data *monster = get_monster_data(monster_index);
	const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
	if (!object) return;
	get_monsters_test_hooks()->last_script_carry_time[monster_index] = game->game_time;
	// The path and its segment led on from where the unit was: walked on from
	// here, the rest of the old segment would send it back in one step. The
	// places it was walking to (waypoints, an item to fetch) lay ahead of the
	// old spot too; a target it keeps, and it goes after it from here.
	const world_point2d here = {object->location.position.x, object->location.position.y};
	reset_path(monster);
	monster->flags &= ~static_cast<uint32>(_monster_has_looped_waypoints_flag |
		_monster_has_back_and_forth_looped_waypoints_flag | _monster_looping_back_through_waypoints_flag |
		_monster_wants_to_pick_up_object_flag);
	monster->extra_flags &= ~static_cast<uint32>(_monster_has_deferred_movement_command_extra_flag);
	monster->path_destination = here;
	monster->path_segment_length = 0;
	monster->avoiding_object_index = NONE;
	monster->cell_impassability_flags = build_cell_impassability_flags(monster->terrain_impassability_flags, &here);
	if (monster->action == _monster_action_moving || monster->action == _monster_action_turning)
	{
		monster->flags |= _monster_needs_new_path_flag;
	}
}

// The attack an attacking unit plays and its repetitions.
static void attack_sequence_for(int16 monster_index, const monster_definition *definition, int16 permutation,
	int16 *sequence, int16 *repetitions)
{
	monster_data *monster = monster_at(monster_index);
	const monster_attack_definition *attack = nullptr;
	const monster_attack_definition *shown = nullptr;
	if (permutation == ARTIFACT_ATTACK_INDEX)
	{
		const artifact_definition *artifact = get_artifact_definition(monster->artifact_index);
		if (artifact)
		{
			attack = shown = &artifact->override_attack;
			const boolean unrestricted = artifact->monster_restriction_tag == static_cast<file_tag>(NONE) ||
				artifact->monster_restriction_tag == 0;
			if (game_play_version > 1500 && unrestricted && definition->number_of_attacks > 0) shown = &definition->attacks[0];
		}
		else if (definition->number_of_attacks > 0)
		{
			attack = shown = &definition->attacks[0];
		}
	}
	else if (definition->number_of_attacks > 0)
	{
		// Clamped under every rule: an unclamped index reads past the four records.
		const int16 index = PIN(permutation, static_cast<int16>(0), static_cast<int16>(definition->number_of_attacks - 1));
		attack = shown = &definition->attacks[index];
	}
	*sequence = shown ? get_monster_attack_sequence_index(shown, monster->estimated_projectile_pitch) :
		static_cast<int16>(NONE);
	*repetitions = attack ? attack->repetitions : static_cast<int16>(0);
}

void set_monster_action(int16 monster_index, int16 action, int16 permutation)
{
	monster_data *monster = get_monster_data(monster_index);
	const monster_definition *definition = monster ? get_monster_definition(monster->type) : nullptr;
	object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
	if (!definition || !object) return;

	// 1.
	if (action == _monster_action_moving && (monster->flags & _monster_standing_ground_flag))
	{
		action = (monster->flags & _monster_has_valid_target_index_flag) ? _monster_action_holding_for_attack :
			_monster_action_idle;
	}
	// 2.
	if (object->flags & _object_pausing_for_obstacle_to_move_flag)
	{
		if (action == _monster_action_moving) return;
		object->flags &= ~static_cast<uint32>(_object_pausing_for_obstacle_to_move_flag);
	}
	// 3.
	boolean restore_frame_ticks = FALSE;
	if (action != _monster_action_being_healed)
	{
		if (game_play_version >= 1710 && monster->action == _monster_action_being_healed &&
			(monster->extra_flags & _monster_was_stoned_prior_to_heal_extra_flag) && object->shape_ticks_per_frame == 0)
		{
			restore_frame_ticks = TRUE;
		}
		monster->extra_flags &= ~static_cast<uint32>(_monster_was_stoned_prior_to_heal_extra_flag);
	}

	// 4.
	const int16 *sequences = definition->sequence_indexes;
	const boolean stoned = monster->action == _monster_action_stoned;
	int16 sequence = NONE;
	int32 rate = 256;
	uint16 shape_flags = 0;
	int16 tracking = MONSTER_TRACKING_PRIORITY;
	boolean reset = FALSE, drop = FALSE;
	int16 result = permutation;
	switch (action)
	{
		case _monster_action_idle:
			sequence = sequences[_monster_sequence_idle];
			rate = IDLE_ANIMATION_RATE_LOWER_BOUND + random_below(IDLE_ANIMATION_RATE_DELTA);
			shape_flags = _random_sequence_frame_flag | _random_sequence_phase_flag;
			tracking = 0;
			reset = drop = TRUE;
			result = _monster_idle_primary;
			break;
		case _monster_action_celebrating:
			sequence = sequences[_monster_sequence_celebration];
			monster->flags |= _monster_has_celebrated_flag;
			rate = CELEBRATION_ANIMATION_RATE_LOWER_BOUND + random_below(CELEBRATION_ANIMATION_RATE_DELTA);
			reset = drop = TRUE;
			break;
		case _monster_action_taunting:
			sequence = sequences[_monster_sequence_taunting];
			rate = TAUNTING_ANIMATION_RATE_LOWER_BOUND + random_below(TAUNTING_ANIMATION_RATE_DELTA);
			reset = drop = TRUE;
			break;
		case _monster_action_moving:
		case _monster_action_aiming_attack:
			sequence = sequences[_monster_sequence_moving];
			if (permutation == _monster_action_permutation_running && sequences[_monster_sequence_running] != NONE)
			{
				sequence = sequences[_monster_sequence_running];
			}
			if (permutation == _monster_action_permutation_gliding && sequences[_monster_sequence_gliding] != NONE)
			{
				sequence = sequences[_monster_sequence_gliding];
			}
			shape_flags = _random_sequence_frame_flag | _random_sequence_phase_flag;
			if (action == _monster_action_aiming_attack) tracking = 75;
			break;
		case _monster_action_turning:
			sequence = sequences[_monster_sequence_turning];
			shape_flags = _random_sequence_frame_flag | _random_sequence_phase_flag;
			break;
		case _monster_action_holding_for_attack:
			sequence = sequences[_monster_sequence_holding_for_attack];
			shape_flags = _random_sequence_frame_flag | _random_sequence_phase_flag;
			break;
		case _monster_action_attacking:
		{
			int16 repetitions;
			attack_sequence_for(monster_index, definition, permutation, &sequence, &repetitions);
			monster->repeated_obstruction_count = repetitions;
			tracking = 100;
			reset = TRUE;
			break;
		}
		case _monster_action_blocking:
			sequence = sequences[_monster_sequence_blocking];
			break;
		case _monster_action_picking_up:
			sequence = sequences[_monster_sequence_picking_up_object];
			break;
		case _monster_action_being_healed:
		{
			// 5.
			const boolean no_flinch = (static_cast<uint16>(definition->hack_flags) & _hack_doesnt_flinch_heal_flag) != 0;
			if (no_flinch || stoned) sequence = current_sequence(object);
			else sequence = sequences[_monster_sequence_taking_damage];
			if (stoned) monster->extra_flags |= _monster_was_stoned_prior_to_heal_extra_flag;
			if (definition->healing_fraction == 0) monster->flags |= _monster_healing_cannot_be_stopped_flag;
			else monster->flags &= ~static_cast<uint32>(_monster_healing_cannot_be_stopped_flag);
			play_internal_projectile_group(monster_index, _internal_projectile_group_healing_start);
			monster = monster_at(monster_index);
			if (!no_flinch) monster->attack_timer = HEALING_TIME;
			tracking = 100;
			break;
		}
		case _monster_action_being_held:
			sequence = stoned && game_play_version > 1510 ? current_sequence(object) : sequences[_monster_sequence_taking_damage];
			monster->attack_timer = HOLD_TIME;
			tracking = 100;
			break;
		case _monster_action_stoned:
			sequence = current_sequence(object);
			if (!(monster->extra_flags & _monster_immobile_extra_flag))
			{
				play_internal_projectile_group(monster_index, _internal_projectile_group_stoning_start);
				monster = monster_at(monster_index);
			}
			monster->attack_timer = STONING_TIME;
			break;
		case _monster_action_paralyzed:
			sequence = sequences[_monster_sequence_taking_damage];
			play_internal_projectile_group(monster_index, _internal_projectile_group_paralysis_start);
			monster = monster_at(monster_index);
			monster->attack_timer = PARALYSIS_TIME;
			tracking = 100;
			break;
		case _monster_action_taking_damage:
			sequence = sequences[_monster_sequence_taking_damage];
			tracking = 100;
			break;
		case _monster_action_being_propelled:
			sequence = sequences[_monster_sequence_propelled] != NONE ? sequences[_monster_sequence_propelled] :
				sequences[_monster_sequence_taking_damage];
			tracking = 100;
			break;
		default:
			break;
	}
	object = get_object_data(monster->object_index);
	if (!object) return;

	// 6.
	if (monster->flags & _monster_is_using_special_ability_flag)
	{
		drop = TRUE;
		if (game_play_version < 1601) reset = TRUE;
	}
	monster->flags &= ~static_cast<uint32>(_monster_is_evading_obstacle_to_attack_flag);
	// 7.
	if (reset) reset_path(monster);
	if (drop) drop_target(monster);

	// 8. A missing sequence shows idle; with no idle the shape stays.
	monster->action = static_cast<int8>(action);
	monster->action_permutation = static_cast<int8>(result);
	object->location.velocity.i = object->location.velocity.j = object->location.velocity.k = 0;
	if (sequence == NONE) sequence = sequences[_monster_sequence_idle];
	if (sequence != NONE)
	{
		set_object_shape(monster->object_index, sequence, static_cast<short_fixed>(rate), _transfer_mode_none, 0,
			shape_flags, FALSE);
	}
	if (restore_frame_ticks) object->shape_ticks_per_frame = static_cast<int8>(MIN(sequence_ticks_per_frame(object), 127));
	object->tracking_priority = static_cast<uint8>(tracking);
	if (tracking) add_tracking_object(monster->object_index, monster->owner_team_index);

	// 9.
	if (definition->flags & _monster_is_not_solid_flag)
	{
		if (action == _monster_action_moving || action == _monster_action_turning)
		{
			object->flags &= ~static_cast<uint32>(_object_is_solid_flag);
		}
		else
		{
			object->flags |= _object_is_solid_flag;
		}
	}

	// 10.
	if (action == _monster_action_stoned)
	{
		object->shape_ticks_per_frame = 0;
		crossfade_monster_color_table_permutation(monster_index, 1, STONING_TIME);
	}
	else if (action == _monster_action_paralyzed)
	{
		crossfade_monster_color_table_permutation(monster_index, 2, PARALYSIS_TIME);
	}
	else if (action == _monster_action_being_healed && object->color_table_permutation != 0)
	{
		monster->flags |= _monster_healing_cannot_be_stopped_flag;
		crossfade_monster_color_table_permutation(monster_index, 0, HEALING_TIME);
	}
}

void set_monster_movement_animation(int16 monster_index, int16 permutation)
{
	set_monster_action(monster_index, _monster_action_moving, permutation);
}

void set_monster_action_holding_for_attack(int16 monster_index)
{
	if (game_play_version > 1709)
	{
		set_monster_action(monster_index, _monster_action_holding_for_attack, 0);
		return;
	}
	monster_data *monster = get_monster_data(monster_index);
	if (monster) monster->action = _monster_action_holding_for_attack;
}

void make_monster_taunt(int16 monster_index)
{
	monster_data *monster = get_monster_data(monster_index);
	if (!monster) return;
	if (game_play_version > 1500 && (monster->flags & _monster_has_left_the_mesh_flag)) return;
	monster->deferred_target_index = NONE;
	if (!monster_is_incapacitated(monster))
	{
		set_monster_action(monster_index, _monster_action_taunting,
			static_cast<int16>(TIMES_TO_TAUNT_LOWER_BOUND + random_below(TIMES_TO_TAUNT_DELTA)));
	}
	monster = get_monster_data(monster_index);
	if (monster && game && game->winning_team_index == NONE)
	{
		monster->extra_flags &= ~static_cast<uint32>(_monster_has_deferred_movement_command_extra_flag);
	}
}

void make_monster_celebrate(int16 monster_index)
{
	monster_data *monster = get_monster_data(monster_index);
	if (!monster || monster_is_incapacitated(monster)) return;
	set_monster_action(monster_index, _monster_action_celebrating,
		static_cast<int16>(ENDGAME_CELEBRATIONS_LOWER_BOUND + random_below(ENDGAME_CELEBRATIONS_DELTA)));
}

/* ---------- deciding */

static boolean has_waypoints_left(const monster_data *monster)
{
	return monster->waypoint_count >= 1 && monster->waypoint_count > monster->waypoint_index;
}

static void stop_special_ability(int16 monster_index, monster_data *monster)
{
	monster->flags &= ~static_cast<uint32>(_monster_has_valid_target_flag | _monster_has_valid_target_index_flag |
		_monster_is_using_special_ability_flag);
	monster->waypoint_count = 0;
	set_monster_action(monster_index, _monster_action_idle, 0);
}

static boolean unit_is_moving_or_turning(const monster_data *monster)
{
	return monster->action == _monster_action_moving || monster->action == _monster_action_turning;
}

static void move_with_new_path_unless_moving(monster_data *monster)
{
	if (!unit_is_moving_or_turning(monster)) monster->flags |= _monster_needs_new_path_flag;
}

void set_most_appropriate_monster_action(int16 monster_index)
{
	monster_data *monster = get_monster_data(monster_index);
	const monster_definition *definition = monster ? get_monster_definition(monster->type) : nullptr;
	if (!definition) return;
	const uint16 hacks = static_cast<uint16>(definition->hack_flags);
	boolean decided = FALSE;
	int16 action = NONE;

	// 1.
	if (game_play_version > 1300 && (monster->extra_flags & _monster_has_deferred_movement_command_extra_flag) &&
		(monster->flags & _monster_is_using_special_ability_flag))
	{
		monster->extra_flags &= ~static_cast<uint32>(_monster_has_deferred_movement_command_extra_flag);
		if (has_waypoints_left(monster))
		{
			monster->flags &= ~static_cast<uint32>(_monster_has_valid_target_flag |
				_monster_responding_to_target_command_flag | _monster_has_valid_target_index_flag |
				_monster_has_valid_target_location_flag | _monster_should_close_on_target_flag |
				_monster_will_use_special_ability_flag | _monster_is_using_special_ability_flag |
				_monster_standing_ground_flag);
			monster->flags |= _monster_responding_to_command_flag | _monster_needs_new_path_flag |
				_monster_has_final_desired_yaw_flag;
			monster->extra_flags &= ~static_cast<uint32>(_monster_has_deferred_movement_command_extra_flag |
				_monster_should_use_closest_range_attack_extra_flag);
		}
	}
	// 2.
	if (monster->flags & _monster_is_using_special_ability_flag)
	{
		const boolean go_on = (game_play_version >= 1601 && has_waypoints_left(monster)) ||
			(game_play_version >= 1301 && game_play_version <= 1600 && (monster->flags & _monster_has_attacked_flag) &&
				(monster->extra_flags & _monster_has_deferred_movement_command_extra_flag));
		if (!go_on)
		{
			if (game_play_version <= 1300)
			{
				stop_special_ability(monster_index, monster);
				return;
			}
			const boolean will = (monster->extra_flags & _monster_deferred_uses_special_extra_flag) != 0;
			monster->extra_flags &= ~static_cast<uint32>(_monster_deferred_uses_special_extra_flag);
			if (!will)
			{
				stop_special_ability(monster_index, monster);
				return;
			}
			monster->flags |= _monster_will_use_special_ability_flag | _monster_needs_new_path_flag;
			monster->flags &= ~static_cast<uint32>(_monster_is_using_special_ability_flag);
			action = _monster_action_moving;
			decided = TRUE;
		}
	}
	if (!decided)
	{
		// 3.
		if (game && game->winning_team_index != NONE && monster->owner_team_index == game->winning_team_index &&
			!(monster->extra_flags & _monster_is_ambient_life_extra_flag) && !(monster->flags & _monster_has_celebrated_flag))
		{
			set_monster_action(monster_index, _monster_action_celebrating, 0);
			return;
		}
		// 4.
		if (monster->flags & _monster_wants_to_pick_up_object_flag)
		{
			action = _monster_action_moving;
		}
		// 5.
		else if (monster->flags & _monster_has_valid_target_flag)
		{
			if (monster->flags & _monster_is_retreating_flag)
			{
				if (!unit_is_moving_or_turning(monster))
				{
					monster->flags |= _monster_needs_new_path_flag;
					monster->flags &= ~static_cast<uint32>(_monster_has_obstructed_path_flag);
				}
				action = _monster_action_moving;
			}
			else if (hacks & _hack_chases_enemy_during_recovery_flag)
			{
				if (monster->target_monster_index != NONE &&
					((monster->flags & _monster_target_has_caused_melee_damage_flag) ||
						monsters_are_allied(monster_index, monster->target_monster_index)))
				{
					action = _monster_action_holding_for_attack;
				}
				else
				{
					monster->flags |= _monster_needs_new_path_flag;
					action = _monster_action_moving;
				}
			}
			else
			{
				action = _monster_action_holding_for_attack;
			}
		}
		// 6.
		else if (has_waypoints_left(monster))
		{
			move_with_new_path_unless_moving(monster);
			action = _monster_action_moving;
		}
		else
		{
			const int16 target =
				closest_most_appropriate_target(monster_index, _closest_most_appropriate_target_becoming_idle_scan);
			if (target == NONE || !try_and_switch_target_indexes(monster_index, target, _switch_target_activate_adjacents_flag))
			{
				set_monster_action(monster_index, _monster_action_idle, 0);
				return;
			}
			monster = monster_at(monster_index);
			monster->flags &= ~static_cast<uint32>(_monster_has_obstructed_path_flag);
			if (hacks & _hack_doesnt_close_on_target_flag)
			{
				set_monster_action(monster_index, _monster_action_idle, 0);
				return;
			}
			monster->flags |= _monster_needs_new_path_flag;
			action = _monster_action_moving;
		}
	}
	if (action == _monster_action_holding_for_attack)
	{
		set_monster_action_holding_for_attack(monster_index);
		return;
	}
	// 7.
	int16 permutation = 0;
	if (monster->action == _monster_action_turning)
	{
		permutation = (monster->extra_flags & _monster_wants_to_run_extra_flag) ? _monster_action_permutation_running : 0;
	}
	else if (monster->action == _monster_action_moving)
	{
		permutation = monster->action_permutation;
	}
	set_monster_action(monster_index, _monster_action_moving, permutation);
}

/* ---------- handlers */

static void idle_step(monster_data *monster, const monster_definition *definition, object_data *object);

void monster_idle(int16 monster_index)
{
	monster_data *monster = get_monster_data(monster_index);
	const monster_definition *definition = monster ? get_monster_definition(monster->type) : nullptr;
	object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
	if (definition && object) idle_step(monster, definition, object);
}

static void idle_step(monster_data *monster, const monster_definition *definition, object_data *object)
{
	const uint16 flags = _random_sequence_frame_flag | _ignore_duplicate_sequences_flag;
	const int16 *sequences = definition->sequence_indexes;
	switch (monster->action_permutation)
	{
		case _monster_idle_primary:
		case _monster_idle_secondary:
		{
			if (!(object->flags & _object_animation_new_frame_flag)) return;
			const boolean primary = monster->action_permutation == _monster_idle_primary;
			if (zerv_random() < IDLE_SEQUENCE_TRANSITION_FRACTION && sequences[_monster_sequence_secondary_idle] != NONE)
			{
				// A transition that is missing goes straight to the idle it leads to.
				int16 next = primary ? _monster_idle_transition_to_secondary : _monster_idle_transition_to_primary;
				int16 sequence = sequences[primary ? _monster_sequence_transition_to_secondary_idle :
					_monster_sequence_transition_to_primary_idle];
				if (sequence == NONE)
				{
					next = primary ? _monster_idle_secondary : _monster_idle_primary;
					sequence = sequences[primary ? _monster_sequence_secondary_idle : _monster_sequence_idle];
				}
				monster->action_permutation = static_cast<int8>(next);
				if (sequence != NONE) set_object_shape(monster->object_index, sequence, 256, _transfer_mode_none, 0, flags, FALSE);
			}
			else
			{
				const int16 rate = static_cast<int16>(IDLE_ANIMATION_RATE_LOWER_BOUND + (zerv_random() >> 9));
				const int16 sequence = current_sequence(object);
				if (sequence != NONE) set_object_shape(monster->object_index, sequence, rate, _transfer_mode_none, 0, flags, FALSE);
			}
			break;
		}
		case _monster_idle_transition_to_primary:
		case _monster_idle_transition_to_secondary:
		{
			if (!(object->flags & _object_animation_last_frame_flag)) return;
			const boolean to_primary = monster->action_permutation == _monster_idle_transition_to_primary;
			const int16 sequence = sequences[to_primary ? _monster_sequence_idle : _monster_sequence_secondary_idle];
			monster->action_permutation = static_cast<int8>(to_primary ? _monster_idle_primary : _monster_idle_secondary);
			if (sequence != NONE) set_object_shape(monster->object_index, sequence, 256, _transfer_mode_none, 0, flags, FALSE);
			break;
		}
		default:
			break;
	}
}

void monster_confused(int16 monster_index)
{
	monster_data *monster = monster_at(monster_index);
	const monster_definition *definition = get_monster_definition(monster->type);
	if (monster->flags & _monster_has_valid_target_index_flag)
	{
		drop_target(monster);
	}
	boolean melee = FALSE;
	if (zerv_random() < 32768)
	{
		for (int16 i = 0; i < definition->number_of_attacks && !melee; ++i)
		{
			const projectile_definition *projectile = get_projectile_definition(definition->attacks[i].projectile_type);
			if (projectile && (projectile->flags & _projectile_is_melee_attack_flag)) melee = TRUE;
		}
	}
	const object_data *object = get_object_data(monster->object_index);
	const angle direction = static_cast<angle>(zerv_random());
	world_point3d point = object->location.position;
	point.x += (angle_cosine(direction) * CONFUSION_WANDER_RADIUS_LOWER_BOUND) >> TRIG_SHIFT;
	point.y += (angle_sine(direction) * CONFUSION_WANDER_RADIUS_LOWER_BOUND) >> TRIG_SHIFT;
	const world_point2d point2d = {point.x, point.y};
	point.z = get_mesh_height(&point2d, _true_height);
	if (melee) set_monster_target_location(monster_index, &point, 0);
	else set_monster_waypoints(monster_index, 1, &point2d, 0, 0);
}

void monster_attacking(int16 monster_index)
{
	monster_data *monster = monster_at(monster_index);
	const object_data *object = get_object_data(monster->object_index);
	if (object->flags & _object_animation_key_frame_flag)
	{
		handle_monster_attack(monster_index, monster->action_permutation, _monster_attack_execute);
		monster = get_monster_data(monster_index);
		object = monster ? get_object_data(monster->object_index) : nullptr;
		if (!object) return;
	}
	if (!(object->flags & _object_animation_last_frame_flag)) return;
	const monster_attack_definition *attack = get_monster_attack_definition(monster_index, monster->action_permutation);
	const boolean reflexive = attack && (attack->flags & _monster_attack_is_reflexive_flag);
	if (((monster->flags & _monster_has_valid_target_flag) || reflexive) && !(monster->flags & _monster_attack_was_aborted_flag))
	{
		monster->repeated_obstruction_count -= 1;
		if (monster->repeated_obstruction_count > 0)
		{
			monster->flags &= ~static_cast<uint32>(_monster_has_attacked_flag);
			return;
		}
	}
	const boolean deferred = (monster->extra_flags & _monster_has_deferred_movement_command_extra_flag) != 0;
	set_most_appropriate_monster_action(monster_index);
	monster = get_monster_data(monster_index);
	if (!monster) return;
	if (game_play_version > 1600 && deferred)
	{
		monster->flags &= ~static_cast<uint32>(_monster_has_valid_target_index_flag | _monster_has_valid_target_location_flag);
		if (game_play_version > 1690) monster->flags &= ~static_cast<uint32>(_monster_has_valid_target_flag);
	}
	monster->extra_flags &= ~static_cast<uint32>(_monster_has_deferred_movement_command_extra_flag);
}

void monster_picking_up(int16 monster_index)
{
	monster_data *monster = monster_at(monster_index);
	const object_data *object = get_object_data(monster->object_index);
	if (object->flags & _object_animation_key_frame_flag)
	{
		// The index came from a command: checked before its identifier is read.
		const int16 index = monster->pick_up_object_index;
		const object_data *item = index >= 0 && index < object_array.maximum_count ? get_object_data(index) : nullptr;
		if (item && item->identifier == monster->pick_up_object_identifier && !(item->flags & _object_is_flag_flag))
		{
			const world_point2d a = {object->location.position.x, object->location.position.y};
			const world_point2d b = {item->location.position.x, item->location.position.y};
			if (distance2d(&a, &b) <= MINIMUM_PICK_UP_DISTANCE && give_object_to_monster(monster_index, index) &&
				(monster->flags & _monster_responding_to_command_flag))
			{
				const int16 ordering_action = monster->internal_command_identifier == -1 ||
						monster->internal_command_identifier == -2 ?
					static_cast<int16>(NONE) :
					action_identifier_to_action_index(monster->internal_command_identifier);
				if (ordering_action != NONE) set_map_action_success(ordering_action);
			}
		}
		monster = get_monster_data(monster_index);
		object = monster ? get_object_data(monster->object_index) : nullptr;
		if (!object) return;
	}
	if (object->flags & _object_animation_last_frame_flag) set_most_appropriate_monster_action(monster_index);
}

void monster_being_healed(int16 monster_index)
{
	monster_data *monster = monster_at(monster_index);
	const monster_definition *definition = get_monster_definition(monster->type);
	object_data *object = get_object_data(monster->object_index);
	const int32 h = definition->healing_fraction;
	boolean done;
	if (h != 0 && !(monster->flags & _monster_healing_cannot_be_stopped_flag))
	{
		const int32 goal = (object->maximum_vitality * h) >> 8;
		if (object->vitality < goal)
		{
			// At least 1 a tick: a small goal still ends.
			const int32 step = MAX(goal / HEALING_TIME, 1);
			object->vitality = static_cast<short_fixed>(MIN(object->vitality + step, goal));
		}
		done = object->vitality >= goal;
	}
	else if (h != 0)
	{
		done = TRUE;
	}
	else
	{
		if (object->vitality >= 0)
		{
			const int32 step = MAX(object->maximum_vitality / HEALING_TIME, 1);
			const int32 booked = MIN(step, static_cast<int32>(object->vitality));
			int32 vitality = object->vitality - step;
			if (vitality < 0) vitality = -1;
			object->vitality = static_cast<short_fixed>(vitality);
			if (!(game && (game->option_flags & _game_option_uses_qel_flag)))
			{
				const monster_data *healer = get_monster_data(monster->aggressor_monster_index);
				adjust_damage_statistics(healer ? healer->unit_type : static_cast<int16>(NONE), monster->unit_type, booked,
					FALSE, FALSE, (monster->extra_flags & _monster_is_ambient_life_extra_flag) != 0, TRUE,
					monster->owner_player_index);
			}
		}
		done = object->vitality < 0;
	}
	play_internal_projectile_group(monster_index, _internal_projectile_group_healing_effect);
	monster = get_monster_data(monster_index);
	if (!monster || !done || monster->attack_timer >= 0) return;
	object = get_object_data(monster->object_index);
	if (h == 0)
	{
		monster_data *healer = get_monster_data(monster->aggressor_monster_index);
		boolean netgame = (monster->extra_flags & _monster_is_netgame_target_extra_flag) != 0;
		const boolean hunted = (monster->extra_flags & _monster_is_hunted_creature_extra_flag) != 0;
		const boolean hunting = game && game->scoring == _game_scoring_hunting;
		if (game_play_version >= 1511)
		{
			netgame = netgame || hunted;
			if (hunting && healer && (healer->extra_flags & _monster_is_hunted_creature_extra_flag)) netgame = FALSE;
		}
		adjust_damage_statistics(healer ? healer->unit_type : static_cast<int16>(NONE), monster->unit_type, 0, TRUE,
			netgame, (monster->extra_flags & _monster_is_ambient_life_extra_flag) != 0, TRUE, monster->owner_player_index);
		if (healer && (healer->owner_team_index != monster->owner_team_index || (hunting && hunted)))
		{
			const int32 gained = healer->experience + (definition->experience_point_value < 0 ? -definition->experience_point_value : definition->experience_point_value);
			healer->experience = static_cast<uint8>(MIN(gained, 255));
			healer->display_dirty_flags |= _monster_experience_dirty_flag;
		}
		kill_monster(monster_index, nullptr, nullptr, _monster_death_soft);
		return;
	}
	set_most_appropriate_monster_action(monster_index);
	monster = get_monster_data(monster_index);
	object = monster ? get_object_data(monster->object_index) : nullptr;
	if (object && game_play_version >= 1601 && object->shape_ticks_per_frame == 0)
	{
		object->shape_ticks_per_frame = static_cast<int8>(MIN(sequence_ticks_per_frame(object), 127));
	}
}

void monster_being_held(int16 monster_index)
{
	play_internal_projectile_group(monster_index, _internal_projectile_group_hold_effect);
	monster_data *monster = get_monster_data(monster_index);
	if (!monster || monster->attack_timer >= 0) return;
	const object_data *object = get_object_data(monster->object_index);
	const int16 permutation = object ? object->color_table_permutation : 0;
	if (game_play_version > 1510 && permutation == 1)
	{
		set_monster_action(monster_index, _monster_action_stoned, _monster_action_permutation_stoned);
	}
	else if (game_play_version > 1510 && permutation == 2)
	{
		set_monster_action(monster_index, _monster_action_paralyzed, _monster_action_permutation_paralyzed);
	}
	else
	{
		set_most_appropriate_monster_action(monster_index);
	}
}

void monster_paralyzed(int16 monster_index)
{
	play_internal_projectile_group(monster_index, _internal_projectile_group_paralysis_effect);
	monster_data *monster = get_monster_data(monster_index);
	if (!monster || monster->attack_timer >= 0) return;
	switch (monster->action_permutation)
	{
		case _monster_action_permutation_being_paralyzed:
		{
			monster->action_permutation = _monster_action_permutation_paralyzed;
			const int32 duration = PARALYSIS_DURATION_LOWER_BOUND + random_below(PARALYSIS_DURATION_DELTA);
			const short_fixed modifier = get_monster_effect_modifiers(monster_index)[_effect_modifier_paralysis];
			monster->attack_timer = static_cast<int16>((duration * modifier) >> 8);
			break;
		}
		case _monster_action_permutation_paralyzed:
			crossfade_monster_color_table_permutation(monster_index, 0, PARALYSIS_TIME);
			play_internal_projectile_group(monster_index, _internal_projectile_group_paralysis_start);
			monster = get_monster_data(monster_index);
			if (!monster) return;
			monster->action_permutation = _monster_action_permutation_recovering_from_paralysis;
			monster->attack_timer = PARALYSIS_RECOVERY_TIME;
			break;
		case _monster_action_permutation_recovering_from_paralysis:
			set_most_appropriate_monster_action(monster_index);
			break;
		default:
			break;
	}
}

void monster_being_propelled(int16 monster_index)
{
	monster_data *monster = monster_at(monster_index);
	object_data *object = get_object_data(monster->object_index);
	object->location.velocity.i = static_cast<short_world_distance>((angle_cosine(monster->propelled_yaw) *
		static_cast<int32>(monster->propulsion_speed)) >> TRIG_SHIFT);
	object->location.velocity.j = static_cast<short_world_distance>((angle_sine(monster->propelled_yaw) *
		static_cast<int32>(monster->propulsion_speed)) >> TRIG_SHIFT);
	object->location.velocity.k = 0;
	if (monster->propulsion_speed > 0) monster->propulsion_speed -= 1;
	const uint32 moved = move_monster_object(monster->object_index);
	monster = get_monster_data(monster_index);
	if (!monster) return;
	if (monster->propelled_timer < 1)
	{
		set_most_appropriate_monster_action(monster_index);
		monster = get_monster_data(monster_index);
		if (!monster) return;
		monster->propulsion_speed = 0;
		if (monster->flags & _monster_wants_to_pick_up_object_flag) monster->flags |= _monster_needs_new_path_flag;
	}
	else if (monster->propulsion_speed > 0 &&
		(moved & (_object_struck_object_flag | _object_struck_cell_flag | _object_struck_edge_of_mesh_flag)))
	{
		monster->propulsion_speed = 0;
		set_monster_action(monster_index, _monster_action_taking_damage, 0);
		monster = get_monster_data(monster_index);
		if (!monster) return;
		if (monster->flags & _monster_wants_to_pick_up_object_flag) monster->flags |= _monster_needs_new_path_flag;
	}
	monster->propelled_timer -= 1;
}

/* ---------- the tick */

static boolean monster_is_winner_to_celebrate(const monster_data *monster)
{
	return game && game->winning_team_index != NONE && monster->owner_team_index == game->winning_team_index &&
		!(monster->extra_flags & _monster_is_ambient_life_extra_flag) && !(monster->flags & _monster_has_celebrated_flag);
}

static void scan_monster(int16 monster_index, boolean version_13)
{
	build_monster_visibility(monster_index);
	monster_data *monster = get_monster_data(monster_index);
	if (!monster || (monster->flags & _monster_has_left_the_mesh_flag)) return;
	object_data *object = get_object_data(monster->object_index);
	if (!object) return;
	object->flags &= ~static_cast<uint32>(_object_was_chosen_to_take_damage_flag);
	const int16 action = monster->action;
	if (monster_is_winner_to_celebrate(monster) &&
		(action == _monster_action_idle || action == _monster_action_moving || action == _monster_action_turning ||
			action == _monster_action_holding_for_attack))
	{
		set_monster_action(monster_index, _monster_action_celebrating,
			static_cast<int16>(ENDGAME_CELEBRATIONS_LOWER_BOUND + random_below(ENDGAME_CELEBRATIONS_DELTA)));
		monster = monster_at(monster_index);
	}
	if (monster->action == _monster_action_moving || monster->action == _monster_action_holding_for_attack)
	{
		if (monster->flags & _monster_has_valid_target_flag)
		{
			if (linear_distance_to_best_point_of_attack(monster_index) != 0) monster->flags |= _monster_needs_new_path_flag;
		}
		else if (monster->flags & _monster_wants_to_pick_up_object_flag)
		{
			monster->flags |= _monster_needs_new_path_flag;
		}
		else
		{
			adjust_path_destination_for_obstacles(monster_index);
			monster = monster_at(monster_index);
			object = get_object_data(monster->object_index);
			const world_point2d here = {object->location.position.x, object->location.position.y};
			monster->path_segment_length = static_cast<short_world_distance>(distance2d(&here, &monster->path_destination));
			boolean aim = TRUE;
			if (!version_13)
			{
				const boolean targets_other = monster->target_monster_index != NONE &&
					monster->target_monster_index != monster_index;
				if (game_play_version > 1300 && (monster->flags & _monster_has_final_desired_yaw_flag) && !targets_other)
				{
					aim = FALSE;
				}
				if (game_play_version >= 1710 && monster->path_destination.x == here.x && monster->path_destination.y == here.y)
				{
					aim = FALSE;
				}
			}
			if (aim)
			{
				monster->desired_yaw = arctangent(monster->path_destination.x - here.x, monster->path_destination.y - here.y);
			}
		}
	}
	const int16 now = monster->action;
	if (now == _monster_action_celebrating || now == _monster_action_taunting || now == _monster_action_aiming_attack) return;
	const uint32 busy = _monster_responding_to_command_flag | _monster_responding_to_target_command_flag |
		_monster_is_retreating_flag | _monster_was_stopped_flag | _monster_will_use_special_ability_flag |
		_monster_is_using_special_ability_flag;
	if ((monster->flags & busy) || (monster->extra_flags & _monster_does_not_autotarget_extra_flag)) return;
	const uint16 switch_flags = _switch_target_activate_adjacents_flag | _switch_target_suppress_melee_attacks_flag;
	if (target_switch_is_refused_for_every_candidate(monster_index, switch_flags)) return;
	const int16 target = closest_most_appropriate_target(monster_index, _closest_most_appropriate_target_periodic_scan);
	if (target != NONE) try_and_switch_target_indexes(monster_index, target, switch_flags);
}

static void scan_monsters(boolean version_13)
{
	for (int32 i = game->game_time & SCAN_FOR_TARGETS_MASK; i < monster_array.count; i += SCAN_FOR_TARGETS_COUNT)
	{
		if (i == 0) swap_visibility_buffers();
		if (!get_monster_data(static_cast<int16>(i))) continue;
		monsters_test_hooks_data *hooks = get_monsters_test_hooks();
		hooks->scans[i] += 1;
		hooks->last_scan_time[i] = game->game_time;
		scan_monster(static_cast<int16>(i), version_13);
	}
}

// Closes the carried object's slot: never one the carrier did not fill.
static void remove_expired_artifact(int16 monster_index, monster_data *monster)
{
	const int16 carried = monster->carrying_object_index;
	int16 count = PIN(static_cast<int16>(monster->held_object_count), static_cast<int16>(0),
		static_cast<int16>(MAXIMUM_HELD_OBJECTS_PER_MONSTER));
	int16 slot = NONE;
	for (int16 i = 0; i < count && slot == NONE; ++i)
	{
		if (monster->held_object_indexes[i] == carried) slot = i;
	}
	if (slot != NONE)
	{
		for (int16 i = slot; i + 1 < MAXIMUM_HELD_OBJECTS_PER_MONSTER; ++i)
		{
			monster->held_object_indexes[i] = monster->held_object_indexes[i + 1];
		}
		monster->held_object_indexes[MAXIMUM_HELD_OBJECTS_PER_MONSTER - 1] = NONE;
		count -= 1;
	}
	monster->held_object_count = static_cast<int8>(count);
	if (get_object_data(carried)) delete_object(carried);
	if (count > 0)
	{
		monster->carrying_object_index = monster->held_object_indexes[slot != NONE && slot < count ? slot : count - 1];
	}
	else
	{
		monster->carrying_object_index = monster->artifact_index = NONE;
	}
	if (game_play_version > 1300)
	{
		switch_monster_artifact(monster_index);
		monster = monster_at(monster_index);
	}
	monster->display_dirty_flags |= _monster_items_dirty_flag;
	if (monster->action_permutation == ARTIFACT_ATTACK_INDEX) monster->action_permutation = NONE;
}

static void update_artifact_expiry(int16 monster_index, monster_data *monster)
{
	if (monster->artifact_index == NONE || monster->carrying_object_index == NONE) return;
	object_data *carried = get_object_data(monster->carrying_object_index);
	if (monster->artifact_timer != 0)
	{
		if (!carried) return;
		int32 seconds = static_cast<int32>(monster->artifact_timer / 30);
		if (seconds == 0 && game_play_version > 1510) seconds = 1;
		if (carried->expiry != seconds)
		{
			carried->expiry = static_cast<int16>(seconds);
			monster->display_dirty_flags |= _monster_items_dirty_flag;
		}
		return;
	}
	const artifact_definition *artifact = get_artifact_definition(monster->artifact_index);
	if (artifact && (artifact->flags & _artifact_has_timed_expiry_flag)) remove_expired_artifact(monster_index, monster);
}

static void end_confusion(int16 monster_index, monster_data *monster, boolean version_13)
{
	monster->extra_flags &= ~static_cast<uint32>(_monster_is_confused_extra_flag | _monster_does_not_autotarget_extra_flag);
	if (version_13 || game_play_version < 1511) monster->flags &= ~static_cast<uint32>(_monster_ignores_user_commands_flag);
	if (version_13 || !monster_is_incapacitated(monster) || game_play_version < 1501)
	{
		set_most_appropriate_monster_action(monster_index);
		monster = get_monster_data(monster_index);
		if (!monster) return;
	}
	if (monster->local_projectile_group_index != NONE) turn_local_projectile_group_off(monster->local_projectile_group_index);
	monster->local_projectile_group_index = NONE;
}

// object: the unit's object record as get_object_data gives it now, or NULL to look it up.
static void run_action_handler(int16 monster_index, monster_data *monster, const monster_definition *definition,
	object_data *object)
{
	if (!object) object = get_object_data(monster->object_index);
	if (!object) return;
	switch (monster->action)
	{
		case _monster_action_idle:
			if (definition) idle_step(monster, definition, object);
			break;
		case _monster_action_celebrating:
			if (!(object->flags & _object_animation_last_frame_flag)) break;
			monster->action_permutation = static_cast<int8>(monster->action_permutation - 1);
			if (monster->action_permutation > 0)
			{
				const int16 sequence = current_sequence(object);
				if (sequence != NONE)
				{
					set_object_shape(monster->object_index, sequence,
						static_cast<short_fixed>(CELEBRATION_ANIMATION_RATE_LOWER_BOUND +
							random_below(CELEBRATION_ANIMATION_RATE_DELTA)),
						_transfer_mode_none, 0, _loop_sequence_frame_flag | _ignore_duplicate_sequences_flag, FALSE);
				}
			}
			else
			{
				set_most_appropriate_monster_action(monster_index);
			}
			break;
		case _monster_action_taunting:
			if (!(object->flags & _object_animation_last_frame_flag)) break;
			monster->action_permutation = static_cast<int8>(monster->action_permutation - 1);
			if (monster->action_permutation < 1) set_most_appropriate_monster_action(monster_index);
			break;
		case _monster_action_moving:
		case _monster_action_turning:
		case _monster_action_holding_for_attack:
		case _monster_action_aiming_attack:
			// definition is the kind of the unit's type now, as monster_moving would look it up;
			// monster_moving does nothing for a unit whose slot is free or kind unknown.
			if (monster->identifier != 0 && definition)
			{
				monster_moving_with_records(monster_index, monster, object, definition);
			}
			else
			{
				get_monsters_test_hooks()->monster_moving_calls += 1;
			}
			break;
		case _monster_action_attacking:
			monster_attacking(monster_index);
			break;
		case _monster_action_blocking:
			monster->action_permutation = static_cast<int8>(monster->action_permutation - 1);
			if (monster->action_permutation < 0) set_most_appropriate_monster_action(monster_index);
			break;
		case _monster_action_picking_up:
			monster_picking_up(monster_index);
			break;
		case _monster_action_being_healed:
			monster_being_healed(monster_index);
			break;
		case _monster_action_being_held:
			monster_being_held(monster_index);
			break;
		case _monster_action_stoned:
			if (monster->action_permutation == _monster_action_permutation_turning_to_stone)
			{
				play_internal_projectile_group(monster_index, _internal_projectile_group_stoning_effect);
				monster = get_monster_data(monster_index);
				if (monster && monster->attack_timer < 0) monster->action_permutation = _monster_action_permutation_stoned;
			}
			break;
		case _monster_action_paralyzed:
			monster_paralyzed(monster_index);
			break;
		case _monster_action_taking_damage:
			if (object->flags & _object_animation_last_frame_flag) set_most_appropriate_monster_action(monster_index);
			break;
		case _monster_action_being_propelled:
			monster_being_propelled(monster_index);
			break;
		default:
			break;
	}
}

static void update_mana(monster_data *monster, const monster_definition *definition, boolean version_13)
{
	if (!definition || definition->maximum_mana == 0) return;
	const int32 maximum = definition->maximum_mana, rate = definition->mana_recharge_rate;
	if (version_13)
	{
		if (monster->mana < maximum) monster->mana = static_cast<short_fixed>(MIN(monster->mana + rate, maximum));
		return;
	}
	if (monster->extra_flags & _monster_immobile_extra_flag) return;
	if (monster->mana < maximum && rate > 0) monster->mana = static_cast<short_fixed>(MIN(monster->mana + rate, maximum));
	else if (monster->mana > 0 && rate < 0) monster->mana = static_cast<short_fixed>(MAX(0, monster->mana + rate));
}

static boolean action_moves(int16 action)
{
	return (action < _monster_action_attacking || action >= _monster_action_dying) &&
		action != _monster_action_being_propelled;
}

static boolean action_counts_timers(int16 action)
{
	return (action >= _monster_action_idle && action <= _monster_action_holding_for_attack) ||
		action == _monster_action_blocking ||
		(action >= _monster_action_being_healed && action <= _monster_action_taking_damage) ||
		action == _monster_action_being_propelled;
}

// object: the unit's object record, in use, as the caller just found it.
static void update_monster(int16 monster_index, boolean version_13, object_data *object)
{
	monster_data *monster = monster_at(monster_index);
	const int16 type = monster->type;
	const monster_definition *definition = get_monster_definition(type);
	// 1.
	if (!version_13 && (monster->extra_flags & _monster_should_spawn_entrance_proj_group_extra_flag) &&
		game->time_state != _game_time_pregame)
	{
		if (definition && definition->entrance_projectile_group_type != NONE)
		{
			new_projectile_group_data group = {};
			group.type = definition->entrance_projectile_group_type;
			group.owner_object_index = group.bounds_object_index = monster->object_index;
			group.owner_monster_index = monster_index;
			get_object_point(_object_point_location, monster->object_index, &group.epicenter);
			new_projectile_group(&group);
			monster = get_monster_data(monster_index);
			if (!monster) return;
			// The group's birth may have touched the unit: its object is looked up again.
			object = get_object_data(monster->object_index);
		}
		monster->extra_flags &= ~static_cast<uint32>(_monster_should_spawn_entrance_proj_group_extra_flag);
	}
	// 2.
	if (monster->target_monster_index == NONE)
	{
		monster->flags &= ~static_cast<uint32>(_monster_has_valid_target_index_flag);
		if (!version_13 && game_play_version > 1690 && !(monster->flags & _monster_has_valid_target_location_flag))
		{
			monster->flags &= ~static_cast<uint32>(_monster_has_valid_target_flag);
		}
	}
	// 3. animate_object on the record found above, without its lookup.
	if (object) animate_object_record_inline(monster->object_index, object);
	// 4.
	if (action_moves(monster->action))
	{
		if (monster->flags & _monster_needs_new_path_flag)
		{
			object = nullptr;
			monster_needs_new_path(monster_index);
			monster = get_monster_data(monster_index);
			if (!monster) return;
		}
		if (monster->flags & _monster_needs_to_stop_flag)
		{
			object = nullptr;
			const boolean special = (monster->flags & _monster_will_use_special_ability_flag) != 0;
			set_monster_action(monster_index, _monster_action_idle, 0);
			monster = monster_at(monster_index);
			if (special)
			{
				const int16 attack = choose_monster_attack_index(monster_index, _choose_reflexive_special_ability_attack_index);
				if (attack != NONE)
				{
					handle_monster_attack(monster_index, attack, _monster_attack_aim);
					monster = get_monster_data(monster_index);
					if (!monster) return;
					monster->flags |= _monster_is_using_special_ability_flag;
				}
			}
			monster->flags &= ~static_cast<uint32>(_monster_will_use_special_ability_flag | _monster_needs_to_stop_flag |
				_monster_has_final_desired_yaw_flag);
			monster->waypoint_count = 0;
		}
	}
	// 5.
	if (action_counts_timers(monster->action))
	{
		if (monster->attack_timer >= 0) monster->attack_timer -= 1;
		if (!version_13 && monster->artifact_timer != 0) monster->artifact_timer -= 1;
	}
	// 6.
	if (!version_13 && monster->artifact_index != NONE)
	{
		object = nullptr;
		update_artifact_expiry(monster_index, monster);
		monster = live_monster_at(monster_index);
		if (!monster) return;
	}
	// 7.
	if (monster->extra_flags & _monster_is_confused_extra_flag)
	{
		object = nullptr;
		monster->confusion_timer -= 1;
		if (monster->confusion_timer < 1)
		{
			end_confusion(monster_index, monster, version_13);
		}
		else if (monster->action == _monster_action_idle)
		{
			monster_confused(monster_index);
		}
		monster = get_monster_data(monster_index);
		if (!monster) return;
	}
	// 8. object is still the unit's record unless a step above that may create, delete or
	// renumber objects ran (each clears it): the rest only animates it and counts timers.
	run_action_handler(monster_index, monster, monster->type == type ? definition : get_monster_definition(monster->type),
		object);
	// 9.
	monster = live_monster_at(monster_index);
	if (monster) update_mana(monster, monster->type == type ? definition : get_monster_definition(monster->type), version_13);
}

static void update_all_monsters(boolean version_13)
{
	if (!monster_array.data || !game) return;
	scan_monsters(version_13);
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		const monster_data *monster = live_monster_at(i);
		if (!monster || (monster->flags & _monster_has_left_the_mesh_flag)) continue;
		object_data *object = get_object_data(monster->object_index);
		if (!object) continue;
		update_monster(i, version_13, object);
	}
}

void update_monsters(void)
{
	update_all_monsters(FALSE);
}

void update_monsters_13(void)
{
	update_all_monsters(TRUE);
}
