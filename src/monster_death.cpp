// Units leaving the game: killing with death effects, drops and respawn; the
// units' own died procedure; giving a unit to another player; hiding units and
// showing them again with their entrance effects.
#include "monsters.h"

#include "alliances.h"
#include "artifact_definitions.h"
#include "collection_references.h"
#include "damage.h"
#include "game_preferences.h"
#include "game_statistics.h"
#include "local_projectiles.h"
#include "markers.h"
#include "mesh.h"
#include "objects.h"
#include "overhead_map.h"
#include "players.h"
#include "projectile_definitions.h"
#include "projectile_group_definitions.h"
#include "projectiles.h"
#include "selection.h"
#include "world.h"
#include "zerv.h"

// path.h and world.h both name the eight directions; only this is needed here.
void delete_path(int16 *path_index);

#define CENSORED_DEATH_PROJECTILE_GROUP TAG("nobd")
#define MINIMUM_DEATH_VELOCITY 10

enum // show and hide effect copies
{
	TELEPORT_FADE_TICKS = 30,
	VESSEL_FADE_TICKS = 60,
	PLAIN_FADE_TICKS = 30
};

static const uint32 target_flags_0_to_3 = _monster_has_valid_target_flag | _monster_responding_to_command_flag |
	_monster_responding_to_target_command_flag | _monster_has_valid_target_index_flag;


static marker_data *marker_of(const monster_data *monster)
{
	return monster && monster->marker_index >= 0 ? get_marker_by_index(monster->marker_index) : nullptr;
}

static boolean unit_is_incapacitated(const monster_data *monster)
{
	return monster->action == _monster_action_being_healed || monster->action == _monster_action_being_held ||
		monster->action == _monster_action_stoned || monster->action == _monster_action_paralyzed;
}

/* ---------- identifiers and owners */

void monster_change_identifier(int16 monster_index)
{
	monster_data *monster = get_monster_data(monster_index);
	if (!monster || !monster_array.data) return;
	// Identifiers 0x8000 upward, as uint16; free records carry 0, never a candidate.
	uint8 taken[MAXIMUM_MONSTERS_PER_MAP + 1] = {};
	const monster_data *records = static_cast<const monster_data *>(monster_array.data);
	for (int16 i = 0; i < MAXIMUM_MONSTERS_PER_MAP; ++i)
	{
		const uint32 value = static_cast<uint16>(records[i].identifier);
		if (value >= 0x8000 && value - 0x8000 <= MAXIMUM_MONSTERS_PER_MAP) taken[value - 0x8000] = 1;
	}
	uint32 candidate = 0;
	while (taken[candidate]) ++candidate;
	set_monster_identifier(monster_index, static_cast<int16>(static_cast<uint16>(0x8000 + candidate)));
}

int16 find_player_unit_type_for_monster(int16 player_index, int16 monster_index)
{
	const monster_data *monster = get_monster_data(monster_index);
	if (!monster || !get_player_data(player_index)) return NONE;
	definition_globals *units = get_unit_definitions();
	const unit_definition *current = get_unit_definition(monster->unit_type);
	if (game_play_version >= 1601 && current)
	{
		for (int16 i = 0; i < units->count; ++i)
		{
			const unit_definition *unit = get_unit_definition(i);
			if (unit && unit->player_index == player_index && unit->parent_unit_tag == current->parent_unit_tag) return i;
		}
	}
	for (int16 i = 0; i < units->count; ++i)
	{
		const unit_definition *unit = get_unit_definition(i);
		if (unit && unit->player_index == player_index && unit->monster_type == monster->orig_type) return i;
	}
	return NONE;
}

// The plain (no player) definition of a parent unit tag.
static int16 plain_unit_type(file_tag parent_unit_tag)
{
	definition_globals *units = get_unit_definitions();
	for (int16 i = 0; i < units->count; ++i)
	{
		const unit_definition *unit = get_unit_definition(i);
		if (unit && unit->player_index == NONE && unit->parent_unit_tag == parent_unit_tag) return i;
	}
	return NONE;
}

void detach_monster(int16 monster_index, int16 player_index, boolean silent)
{
	monster_data *monster = get_monster_data(monster_index);
	const player_data *player = get_player_data(player_index);
	// The player index may come from a command.
	if (!monster || !player || player_index == monster->owner_player_index || (player->flags & _player_has_been_dropped_flag)) return;
	const unit_definition *current = get_unit_definition(monster->unit_type);
	int16 new_type;
	if (game_play_version > 1715 && (monster->flags & _monster_ignores_user_commands_flag) && current)
	{
		new_type = plain_unit_type(current->parent_unit_tag);
	}
	else
	{
		new_type = find_player_unit_type_for_monster(player_index, monster_index);
	}
	// A player without this kind cannot take the unit: a unit type of NONE would
	// leave it with no definition.
	if (new_type == monster->unit_type || new_type == NONE) return;
	const object_data *object = get_object_data(monster->object_index);
	const int32 vitality = object ? object->vitality : 0;
	adjust_unit_statistics(monster->unit_type, -1, -vitality);
	adjust_unit_statistics(new_type, 1, vitality);
	const int16 local_player = player_globals.local_player_index;
	if (local_player != NONE && monster->owner_player_index == local_player)
	{
		remove_monster_index_from_all_selections(monster_index, 0);
		if (!silent) queue_game_sound(_game_sound_units_detached);
	}
	else if (local_player != NONE && player_index == local_player)
	{
		if (!silent) queue_game_sound(_game_sound_new_units_received);
	}
	const unit_definition *next = get_unit_definition(new_type);
	if ((player->flags & _player_uses_appearance_colors_flag) && object && current && next)
	{
		const int16 permutation = get_collection_reference_permutation(current->collection_reference_index, object->color_table_index);
		const collection_reference *reference = get_collection_reference(next->collection_reference_index);
		if (reference && permutation >= 0 && permutation < reference->number_of_permutations)
		{
			get_object_data(monster->object_index)->color_table_index = static_cast<uint8>(reference->color_table_indexes[permutation]);
		}
	}
	monster->unit_type = new_type;
	monster->owner_player_index = static_cast<int8>(player_index);
	monster->owner_team_index = static_cast<int8>(player->team_index);
	monster->display_dirty_flags |= 1; // the name
}

void change_monster_owner(int16 monster_index, int16 player_index)
{
	if (!get_monster_data(monster_index) || !get_player_data(player_index)) return;
	monster_change_identifier(monster_index);
	call_monster_died_procs(monster_index, _monster_died_changed_owner);
	monster_data *monster = get_monster_data(monster_index);
	if (!monster) return;
	detach_monster(monster_index, player_index, FALSE);
	monster->extra_flags &= ~static_cast<uint32>(_monster_failed_to_attack_extra_flag | _monster_ignores_model_collisions_extra_flag |
		_monster_chain_lightning_prevention_extra_flag | _monster_will_use_old_collision_detection_extra_flag);
	monster->target_monster_index = NONE;
	monster->flags &= ~static_cast<uint32>(target_flags_0_to_3 | _monster_has_valid_target_location_flag |
		_monster_did_not_get_targeting_solution_flag | _monster_will_use_special_ability_flag |
		_monster_is_using_special_ability_flag | _monster_target_has_caused_melee_damage_flag);
	monster->flags |= _monster_attack_was_aborted_flag;
	if (!(game_play_version > 1500 && unit_is_incapacitated(monster))) set_most_appropriate_monster_action(monster_index);
}

void monster_player_control_changed(int16 monster_index)
{
	monster_data *monster = get_monster_data(monster_index);
	if (!monster) return;
	const unit_definition *current = get_unit_definition(monster->unit_type);
	if (!current) return;
	int16 new_type = NONE;
	if (monster->flags & _monster_ignores_user_commands_flag)
	{
		new_type = plain_unit_type(current->parent_unit_tag);
	}
	else
	{
		definition_globals *units = get_unit_definitions();
		for (int16 i = 0; i < units->count && new_type == NONE; ++i)
		{
			const unit_definition *unit = get_unit_definition(i);
			if (unit && unit->player_index == monster->owner_player_index && unit->parent_unit_tag == current->parent_unit_tag)
			{
				new_type = i;
			}
		}
	}
	if (new_type == NONE) return;
	const object_data *object = get_object_data(monster->object_index);
	const int32 vitality = object ? object->vitality : 0;
	if (game_play_version > 1700)
	{
		adjust_unit_statistics(monster->unit_type, -1, -vitality);
		adjust_unit_statistics(new_type, 1, vitality);
	}
	if (game_play_version > 1720)
	{
		adjust_unit_statistics_for_elimination(new_type, -1, -vitality);
		adjust_unit_statistics_for_elimination(monster->unit_type, 1, vitality);
	}
	monster->unit_type = new_type;
}

/* ---------- the units' own died procedure */

static void retarget_after_death(int16 index, monster_data *other)
{
	const monster_definition *definition = get_monster_definition(other->type);
	int16 candidate = closest_most_appropriate_target(index, _closest_most_appropriate_target_target_died_scan);
	if (candidate == NONE) candidate = closest_most_appropriate_target(index, _closest_most_appropriate_target_second_target_died_scan);
	const boolean remembered = definition && (static_cast<uint16>(definition->hack_flags) & _hack_extra_aggressive_missile_flag) &&
		(other->flags & _monster_responding_to_target_command_flag);
	other->extra_flags &= ~static_cast<uint32>(_monster_failed_to_attack_extra_flag | _monster_chain_lightning_prevention_extra_flag |
		_monster_should_use_closest_range_attack_extra_flag);
	other->flags &= ~static_cast<uint32>(_monster_responding_to_command_flag | _monster_responding_to_target_command_flag |
		_monster_has_valid_target_index_flag | _monster_did_not_get_targeting_solution_flag | _monster_should_close_on_target_flag |
		_monster_will_use_special_ability_flag | _monster_target_has_caused_melee_damage_flag);
	if (!(other->flags & _monster_has_valid_target_location_flag)) other->flags &= ~static_cast<uint32>(_monster_has_valid_target_flag);
	other->flags |= _monster_attack_was_aborted_flag;
	other->target_monster_index = NONE;

	boolean deferred_taken = FALSE;
	if (game_play_version >= 1301 && get_monster_data(other->deferred_target_index))
	{
		const boolean skips_alliance = game_play_version > 1710 && (other->extra_flags & _monster_deferred_uses_special_extra_flag);
		if (skips_alliance || !monsters_are_allied(index, other->deferred_target_index))
		{
			candidate = other->deferred_target_index;
			other->deferred_target_index = NONE;
			deferred_taken = TRUE;
		}
	}
	if (deferred_taken && game_play_version > 1710)
	{
		const boolean special = (other->extra_flags & _monster_deferred_uses_special_extra_flag) != 0;
		other->waypoint_count = other->waypoint_index = 0;
		object_data *object = get_object_data(other->object_index);
		if (object) object->flags &= ~static_cast<uint32>(_object_pausing_for_obstacle_to_move_flag);
		other->target_monster_index = candidate;
		other->extra_flags &= ~static_cast<uint32>(_monster_ignores_model_collisions_extra_flag | _monster_wants_to_run_extra_flag |
			_monster_has_deferred_movement_command_extra_flag | _monster_should_use_closest_range_attack_extra_flag |
			_monster_deferred_uses_special_extra_flag | _monster_will_use_old_collision_detection_extra_flag);
		other->flags &= ~static_cast<uint32>(FLAG(4) | FLAG(7) | FLAG(8) | FLAG(14) | FLAG(16) | FLAG(17) | FLAG(19) | FLAG(20) |
			FLAG(21) | FLAG(22) | FLAG(23) | FLAG(29) | FLAG(31));
		other->flags |= FLAG(0) | FLAG(1) | FLAG(2) | FLAG(3) | FLAG(5) | FLAG(15);
		if (special) other->flags |= _monster_will_use_special_ability_flag;
		return;
	}
	boolean idle = candidate == NONE;
	if (candidate != NONE)
	{
		if (try_and_switch_target_indexes(index, candidate, 0))
		{
			if (remembered) other->flags |= _monster_responding_to_target_command_flag;
		}
		else if (game_play_version < 1718)
		{
			other->extra_flags &= ~static_cast<uint32>(_monster_is_berserk_extra_flag);
		}
		else
		{
			idle = TRUE;
		}
	}
	if (idle)
	{
		const int16 action = other->action;
		if ((action >= 1 && action <= 7) || action == 9 || (action >= 16 && action != _monster_action_being_propelled))
		{
			set_monster_action(index, _monster_action_idle, 0);
		}
		other->flags &= ~static_cast<uint32>(_monster_has_final_desired_yaw_flag);
		other->extra_flags &= ~static_cast<uint32>(_monster_is_berserk_extra_flag);
		other->waypoint_count = 0;
	}
}

void monster_died(int16 monster_index, uint16 flags)
{
	monster_data *monster = get_monster_data(monster_index);
	if (monster && (flags & _monster_died_show_censored_death_flag))
	{
		const game_preferences *preferences = get_game_preferences();
		const monster_definition *definition = get_monster_definition(monster->orig_type != NONE ? monster->orig_type : monster->type);
		const marker_data *marker = marker_of(monster);
		const object_data *object = get_object_data(monster->object_index);
		if (preferences && (preferences->flags & _game_pref_censored_flag) && definition &&
			!(definition->flags & _monster_is_inanimate_object_flag) && !(marker && (marker->flags & _marker_is_invisible_observer_flag)) &&
			object)
		{
			const int16 type = local_projectile_group_definition_tag_to_index(CENSORED_DEATH_PROJECTILE_GROUP);
			if (type != NONE) new_local_projectile_group(type, &object->location.position, monster->object_index);
		}
	}
	for (int16 i = 0; i < MAXIMUM_MONSTERS_PER_MAP; ++i)
	{
		monster_data *other = get_monster_data(i);
		if (!other || i == monster_index) continue;
		if (other->flags & _monster_has_left_the_mesh_flag)
		{
			if (game_play_version >= 1701)
			{
				if (other->aggressor_monster_index == monster_index) other->aggressor_monster_index = NONE;
				if (other->deferred_target_index == monster_index) other->deferred_target_index = NONE;
				if (other->target_monster_index == monster_index)
				{
					other->target_monster_index = NONE;
					other->flags &= ~static_cast<uint32>(_monster_has_valid_target_index_flag);
					if (!(other->flags & _monster_has_valid_target_location_flag))
					{
						other->flags &= ~static_cast<uint32>(_monster_has_valid_target_flag);
					}
				}
			}
			continue;
		}
		if (other->aggressor_monster_index == monster_index) other->aggressor_monster_index = NONE;
		if (game_play_version >= 1301 && other->deferred_target_index == monster_index) other->deferred_target_index = NONE;
		if ((other->flags & _monster_has_valid_target_index_flag) && other->target_monster_index == monster_index)
		{
			retarget_after_death(i, other);
		}
	}
}

// The unit's own glow and its current effect end with it (the second only
// from 1301).
static void turn_off_local_projectile_groups(monster_data *monster)
{
	if (monster->local_projectile_group_index != NONE)
	{
		turn_local_projectile_group_off(monster->local_projectile_group_index);
		monster->local_projectile_group_index = NONE;
	}
	if (game_play_version > 1300 && monster->current_local_projectile_group_index != NONE)
	{
		turn_local_projectile_group_off(monster->current_local_projectile_group_index);
		monster->current_local_projectile_group_index = NONE;
	}
}

/* ---------- killing */

static boolean minor_version_at_least(int16 version)
{
	return game && GET_GAME_OPTIONS_PATCH_LEVEL(game->option_flags) >= version;
}

static const artifact_definition *artifact_of_projectile_type(int16 projectile_type)
{
	const projectile_definition *projectile = get_projectile_definition(projectile_type);
	return projectile ? get_artifact_definition(projectile->artifact_index) : nullptr;
}

// Throws or destroys one carried object at death.
static void drop_object_at_death(new_projectile_group_data *group, int16 object_index)
{
	object_data *object = get_object_data(object_index);
	if (!object) return;
	const int16 type = get_object_projectile_type(object);
	const artifact_definition *artifact = artifact_of_projectile_type(type);
	if (artifact && (artifact->flags & _artifact_dont_drop_on_death_flag))
	{
		delete_object(object_index);
		return;
	}
	if (type == NONE) return;
	const int16 state = object->state;
	const int16 projectile_index = new_projectile_group_part(group, 128, 128, type, 0, FALSE);
	projectile_data *projectile = get_projectile_data(projectile_index);
	if (!projectile) return;
	const int16 thrown_object = projectile->object_index;
	replace_object(object_index, thrown_object);
	projectile = get_projectile_data(projectile_index);
	object = get_object_data(object_index);
	if (!projectile || !object) return;
	projectile->object_index = object_index;
	object->owner = _object_is_projectile;
	object->owner_index = projectile_index;
	object->flags &= ~static_cast<uint32>(_object_is_invisible_flag);
	if (artifact && (artifact->flags & _artifact_keeps_charge_flag)) object->state = state;
}

static void respawn_monster(int16 dead_index, int16 dead_identifier, int32 marker_index, int16 owner_player, int16 owner_team,
	uint32 kept_flags, uint32 kept_extra_flags, boolean ambient)
{
	if (!game || !minor_version_at_least(3)) return;
	const boolean deathmatch = (game->option_flags & _game_option_deathmatch_flag) != 0;
	marker_data *marker = marker_index >= 0 ? get_marker_by_index(marker_index) : nullptr;
	const boolean respawns = marker && (marker->flags & _marker_respawns_flag);
	if (!deathmatch && !respawns) return;
	if (ambient && !(respawns && game_play_version >= 1696)) return;
	const team_data *team = get_team_data(owner_team);
	if (!team || (team->flags & _team_has_been_eliminated_flag) || team->number_of_players == 0) return;
	if (deathmatch && game_play_version <= 1710)
	{
		marker = game_play_version >= 1701 ? get_marker_by_data_index_and_identifier(_marker_monster, dead_index, dead_identifier) :
			get_marker_by_data_index(_marker_monster, dead_index);
	}
	if (!marker) return;
	if (!deathmatch && (marker->flags & _marker_manual_respawn_flag))
	{
		marker->data_index = NONE;
		return;
	}
	const int16 unit_index = new_monster(marker);
	monster_data *unit = get_monster_data(unit_index);
	if (!unit) return;
	unit->flags |= (kept_flags & _monster_ignores_user_commands_flag) | _monster_needs_to_stop_flag;
	unit->extra_flags |= kept_extra_flags & _monster_has_no_visibility_extra_flag;
	detach_monster(unit_index, owner_player, TRUE);
	const int16 effect = ((marker->flags & _marker_uses_monster_entrance_flag) && game_play_version > 1300) ?
		static_cast<int16>(_monster_visibility_effect_definition) : static_cast<int16>(_monster_visibility_effect_teleport);
	make_monster_visible(marker->data_identifier, effect);
}

void kill_monster(int16 monster_index, const damage_definition *damage, damage_data *data, int16 death_kind)
{
	monster_data *monster = get_monster_data(monster_index);
	if (!monster) return;
	object_data *object = get_object_data(monster->object_index);
	damage_data fallback;
	if (!data && death_kind != _monster_death_disintegration)
	{
		// A death without damage data (a lethal heal): the unit's own position.
		initialize_damage_data(&fallback);
		if (object) fallback.epicenter = object->location.position;
		fallback.velocity = 0;
		data = &fallback;
	}
	const int16 definition_type = (monster->carrying_object_index != NONE &&
		(monster->carried_artifact_flags & static_cast<int32>(_artifact_use_original_death_flag))) ? monster->orig_type : monster->type;
	const monster_definition *definition = get_monster_definition(definition_type);
	const boolean stoned = monster->action == _monster_action_stoned;
	const boolean immobile = (monster->extra_flags & _monster_immobile_extra_flag) != 0;

	if (death_kind == _monster_death_disintegration)
	{
		if (!stoned && !(monster->flags & _monster_has_left_the_mesh_flag) && object)
		{
			set_monster_action(monster_index, _monster_action_taking_damage, 0);
			const int16 copy = duplicate_object(monster->object_index);
			if (copy != NONE)
			{
				const int16 fade = fade_object(TRUE, copy, 0, static_cast<int16>(30 + zerv_random_below(30)));
				if (fade == NONE)
				{
					if (game_play_version > 1300) delete_object(copy);
				}
				else
				{
					get_projectile_data(fade)->owner_monster_index = NONE;
				}
			}
		}
	}
	else if (data && object)
	{
		int16 group = NONE;
		if (definition)
		{
			switch (death_kind)
			{
			case _monster_death_soft:
				if (definition->dying_projectile_group_type != NONE) group = definition->dying_projectile_group_type;
				else if (definition->exploding_projectile_group_type != NONE) group = definition->exploding_projectile_group_type;
				break;
			case _monster_death_hard:
				group = definition->exploding_projectile_group_type != NONE ? definition->exploding_projectile_group_type :
					definition->dying_projectile_group_type;
				break;
			case _monster_death_fire:
				group = definition->burning_death_projectile_group_type != NONE ? definition->burning_death_projectile_group_type :
					definition->dying_projectile_group_type;
				break;
			default:
				break;
			}
		}
		uint32 flags = 0;
		if (damage)
		{
			if (damage->type == _damage_explosive_electricity || (damage->type == _damage_fire && death_kind != _monster_death_fire))
			{
				flags |= _new_projectile_group_has_smoking_source_flag;
			}
			if (damage->type == _damage_gas) flags |= _new_projectile_group_no_blood_flag;
			if (damage->flags & _damage_detonates_explosives_immediately_flag) flags |= _new_projectile_group_detonate_explosives_flag;
		}
		if (monster->action == _monster_action_being_healed) flags |= _new_projectile_group_cannot_detonate_flag;
		if (stoned && !immobile) flags |= _new_projectile_group_cannot_detonate_flag | _new_projectile_group_has_masonary_source_flag;
		if (monster->action == _monster_action_paralyzed) object->color_table_permutation = 0;
		new_projectile_group_data group_data = {};
		group_data.flags = flags;
		group_data.type = group;
		group_data.owner_object_index = group_data.bounds_object_index = monster->object_index;
		group_data.owner_monster_index = NONE;
		group_data.epicenter = data->epicenter;
		group_data.velocity = data->velocity;
		group_data.vector = data->vector;
		if (group != NONE) new_projectile_group(&group_data);
		if (stoned && !immobile)
		{
			const int16 stone = internal_projectile_groups[_internal_projectile_group_stone_detonation_effect].index;
			if (stone != NONE)
			{
				new_projectile_group_data stone_data = group_data;
				stone_data.type = stone;
				new_projectile_group(&stone_data);
			}
		}
		if (group_data.velocity < MINIMUM_DEATH_VELOCITY) group_data.velocity = MINIMUM_DEATH_VELOCITY;
		if (definition && definition->ammunition_projectile_type != NONE)
		{
			boolean drops = !(definition->flags & _monster_does_not_drop_ammo_when_dying_flag);
			if (!drops && (flags & _new_projectile_group_detonate_explosives_flag))
			{
				const projectile_definition *ammunition = get_projectile_definition(definition->ammunition_projectile_type);
				drops = ammunition && (ammunition->projectile_class == _projectile_class_explosive_object ||
					ammunition->projectile_class == _projectile_class_potentially_explosive_object);
			}
			for (int16 i = 0; drops && i < monster->ammunition_count; ++i)
			{
				new_projectile_group_part(&group_data, 128, 128, definition->ammunition_projectile_type, 0,
					(flags & _new_projectile_group_no_blood_flag) != 0);
			}
		}
		// The carried object of a multiple-artifact carrier is also in the
		// held list: each object is thrown once.
		int16 dropped[MAXIMUM_HELD_OBJECTS_PER_MONSTER + 1];
		int16 dropped_count = 0;
		const int16 held_count = static_cast<int16>(PIN(monster->held_object_count, 0, MAXIMUM_HELD_OBJECTS_PER_MONSTER));
		for (int16 i = 0; i <= held_count; ++i)
		{
			const int16 object_index = i < held_count ? monster->held_object_indexes[i] : monster->carrying_object_index;
			if (object_index == NONE) continue;
			boolean seen = FALSE;
			for (int16 j = 0; j < dropped_count; ++j) seen |= dropped[j] == object_index;
			if (seen) continue;
			dropped[dropped_count++] = object_index;
			drop_object_at_death(&group_data, object_index);
		}
		monster = get_monster_data(monster_index);
		if (!monster) return;
		monster->held_object_count = 0;
		monster->carrying_object_index = NONE;
	}

	turn_off_local_projectile_groups(monster);
	if (monster->current_overhead_text_index != NONE)
	{
		delete_overhead_text(monster->current_overhead_text_index);
		monster->current_overhead_text_index = NONE;
	}
	object = get_object_data(monster->object_index);
	if (object && object->parasitic_object_index != NONE)
	{
		const int16 parasite = object->parasitic_object_index;
		object->parasitic_object_index = NONE;
		const object_data *parasite_object = get_object_data(parasite);
		if (parasite_object && parasite_object->owner == _object_is_special_projectile)
		{
			const int16 projectile = parasite_object->owner_index;
			if (get_projectile_data(projectile)) delete_datum(&projectile_array, projectile);
		}
		delete_object(parasite);
	}

	marker_data *marker = marker_of(monster);
	const boolean respawns = marker && (marker->flags & _marker_respawns_flag);
	if (respawns && (marker->flags & _marker_remembers_location_flag) && object) marker->location = object->location;
	(void)respawns;

	const int16 identifier = monster->identifier;
	const int32 marker_index = monster->marker_index;
	const int16 owner_player = monster->owner_player_index, owner_team = monster->owner_team_index;
	const uint32 kept_flags = monster->flags, kept_extra_flags = monster->extra_flags;
	const boolean ambient = (monster->extra_flags & _monster_is_ambient_life_extra_flag) != 0;

	get_monsters_test_hooks()->kill_monster_calls += 1;
	call_monster_died_procs(monster_index, _monster_died_deleted);
	monster = get_monster_data(monster_index);
	if (monster)
	{
		if (monster->path_index != NONE) delete_path(&monster->path_index);
		if (get_object_data(monster->object_index)) delete_object(monster->object_index);
		delete_datum(&monster_array, monster_index);
	}

	// A unit killed inside its own creation (a marker that detonates at once) never respawns.
	if (monster_index == get_monster_being_created()) return;
	respawn_monster(monster_index, identifier, marker_index, owner_player, owner_team, kept_flags, kept_extra_flags, ambient);
}

void eliminate_units_of_losing_team(int16 team_index)
{
	for (int16 i = 0; i < MAXIMUM_MONSTERS_PER_MAP; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (!monster || monster->owner_team_index != team_index) continue;
		marker_data *marker = marker_of(monster);
		const marker_palette_entry *entry = marker ? get_marker_palette_entry(_marker_monster, marker->palette_index) : nullptr;
		if (entry && (entry->flags & _marker_palette_ambient_life_flag)) continue;
		kill_monster(i, nullptr, nullptr, _monster_death_disintegration);
		if (marker)
		{
			marker->data_index = NONE;
			marker->data_identifier = NONE;
		}
	}
}

/* ---------- hiding and showing */

static int16 fade_copy(int16 monster_index, int16 object_index, boolean out, int16 delay, int16 ticks, int16 group)
{
	const int16 copy = duplicate_object(object_index);
	if (copy == NONE) return NONE;
	object_data *copy_object = get_object_data(copy);
	if (out) copy_object->flags &= ~static_cast<uint32>(_object_is_invisible_flag);
	const int16 fade = fade_object(out, copy, delay, ticks);
	if (fade == NONE)
	{
		if (!out || game_play_version > 1300) delete_object(copy);
		return NONE;
	}
	projectile_data *projectile = get_projectile_data(fade);
	// Only a fade in shows its unit when it ends.
	projectile->owner_monster_index = out ? static_cast<int16>(NONE) : monster_index;
	projectile->visible_projectile_group_type = group;
	return fade;
}

void make_monster_invisible(int16 marker_identifier, int16 effect)
{
	marker_data *marker = get_marker_by_identifier(_marker_monster, marker_identifier);
	if (!marker || marker->data_index == NONE) return;
	marker->flags |= _marker_is_invisible_flag;
	const int16 monster_index = marker->data_index;
	monster_data *monster = get_monster_data_by_identifier(monster_index, marker->data_identifier);
	if (!monster) return;
	object_data *object = get_object_data(monster->object_index);
	if (object)
	{
		const monster_definition *definition = get_monster_definition(monster->type);
		switch (effect)
		{
		case _monster_visibility_effect_teleport:
		case _monster_visibility_effect_vessel:
		{
			const boolean vessel = effect == _monster_visibility_effect_vessel;
			const int16 group = internal_projectile_groups[vessel ? _internal_projectile_group_vessel_out :
				_internal_projectile_group_teleport_out].index;
			const int16 delay = static_cast<int16>(zerv_random_below(30));
			const int16 copy = duplicate_object(monster->object_index);
			if (copy != NONE)
			{
				get_object_data(copy)->shape_ticks_per_frame = 0; // frozen
				const int16 fade = fade_object(TRUE, copy, delay, vessel ? VESSEL_FADE_TICKS : TELEPORT_FADE_TICKS);
				if (fade == NONE)
				{
					if (game_play_version > 1300) delete_object(copy);
				}
				else
				{
					get_projectile_data(fade)->owner_monster_index = NONE;
					get_projectile_data(fade)->visible_projectile_group_type = group;
				}
			}
			break;
		}
		case _monster_visibility_effect_definition:
			if (definition && definition->exit_projectile_group_type != NONE)
			{
				new_projectile_group_data data = {};
				data.type = definition->exit_projectile_group_type;
				data.owner_object_index = data.bounds_object_index = NONE;
				data.owner_monster_index = NONE;
				data.epicenter = marker->location.position;
				new_projectile_group(&data);
			}
			break;
		case _monster_visibility_effect_fade:
			fade_copy(NONE, monster->object_index, TRUE, 0, static_cast<int16>(PLAIN_FADE_TICKS + zerv_random_below(30)), NONE);
			break;
		default:
			break;
		}
	}
	hide_monster(monster_index);
}

void hide_monster(int16 monster_index)
{
	monster_data *monster = get_monster_data(monster_index);
	if (!monster) return;
	turn_off_local_projectile_groups(monster);
	monster->flags |= _monster_has_left_the_mesh_flag;
	monster->flags &= ~static_cast<uint32>(_monster_has_valid_target_flag | _monster_has_valid_target_index_flag);
	if (game_play_version > 1700)
	{
		monster->flags &= ~static_cast<uint32>(_monster_has_valid_target_location_flag);
		monster->target_monster_index = monster->aggressor_monster_index = monster->deferred_target_index = NONE;
	}
	object_data *object = get_object_data(monster->object_index);
	if (object) object->flags |= _object_is_invisible_flag;
	call_monster_died_procs(monster_index, _monster_died_hidden);
}

static void wait_hidden(int16 monster_index)
{
	monster_data *monster = get_monster_data(monster_index);
	object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
	if (!object) return;
	object->flags |= _object_on_ground_flag | _object_is_invisible_flag;
	monster->flags |= _monster_has_left_the_mesh_flag | _monster_is_teleporting_in_flag;
	if (game_play_version > 1700)
	{
		monster->flags &= ~static_cast<uint32>(_monster_has_valid_target_flag | _monster_has_valid_target_index_flag |
			_monster_has_valid_target_location_flag);
		monster->target_monster_index = monster->aggressor_monster_index = monster->deferred_target_index = NONE;
	}
	const world_point2d point = {object->location.position.x, object->location.position.y};
	if (game_play_version >= 1601)
	{
		const object_definition *definition = get_object_definition(object->type);
		boolean in_media = FALSE;
		object->location.position.z = get_height_for_new_position(&point, (object->flags & _object_floats_on_media_flag) != 0,
			definition && (definition->flags & 4), monster->height_over_mesh, &in_media);
	}
	else if (mesh_globals && mesh_globals->mesh_cells)
	{
		object->location.position.z = get_mesh_height(&point, _true_height);
	}
}

int16 make_monster_visible(int16 marker_identifier, int16 effect)
{
	marker_data *marker = get_marker_by_identifier(_marker_monster, marker_identifier);
	if (!marker) return NONE;
	marker->flags &= ~static_cast<uint32>(_marker_is_invisible_flag);
	int16 monster_index;
	if (marker->data_index != NONE)
	{
		monster_index = marker->data_index;
		monster_data *monster = get_monster_data_by_identifier(monster_index, marker->data_identifier);
		if (!monster) return NONE;
		monster->flags &= ~static_cast<uint32>(_monster_has_left_the_mesh_flag);
		object_data *object = get_object_data(monster->object_index);
		if (object) object->flags &= ~static_cast<uint32>(_object_is_invisible_flag);
	}
	else
	{
		monster_index = new_monster(marker);
		if (monster_index == NONE) return NONE;
	}
	monster_data *monster = get_monster_data(monster_index);
	if (!monster) return NONE;
	const monster_definition *definition = get_monster_definition(monster->type);
	const boolean observer = (marker->flags & _marker_is_invisible_observer_flag) != 0;
	boolean entrance_created = FALSE;
	if (effect != _monster_visibility_effect_none && !observer)
	{
		switch (effect)
		{
		case _monster_visibility_effect_definition:
			if (definition && definition->entrance_projectile_group_type != NONE)
			{
				new_projectile_group_data data = {};
				data.type = definition->entrance_projectile_group_type;
				data.owner_object_index = data.bounds_object_index = monster->object_index;
				data.owner_monster_index = monster_index;
				data.epicenter = marker->location.position;
				wait_hidden(monster_index);
				new_projectile_group(&data);
				entrance_created = TRUE;
			}
			else
			{
				wait_hidden(monster_index);
			}
			break;
		case _monster_visibility_effect_teleport:
		case _monster_visibility_effect_vessel:
		case _monster_visibility_effect_fade:
		{
			const int16 group = effect == _monster_visibility_effect_teleport ?
				internal_projectile_groups[_internal_projectile_group_teleport_in].index :
				(effect == _monster_visibility_effect_vessel ? internal_projectile_groups[_internal_projectile_group_vessel_in].index :
					static_cast<int16>(NONE));
			const int16 delay = static_cast<int16>((static_cast<int32>(zerv_random()) * 60) >> 16);
			const int16 ticks = effect == _monster_visibility_effect_vessel ? VESSEL_FADE_TICKS : TELEPORT_FADE_TICKS;
			if (fade_copy(monster_index, monster->object_index, FALSE, delay, ticks, group) != NONE) wait_hidden(monster_index);
			break;
		}
		default:
			break;
		}
	}
	monster = get_monster_data(monster_index);
	if (monster && !entrance_created && !observer && game_play_version >= 1511 && definition &&
		definition->entrance_projectile_group_type != NONE && (definition->flags & _monster_always_uses_entrance_proj_group_flag))
	{
		monster->extra_flags |= _monster_should_spawn_entrance_proj_group_extra_flag;
	}
	return monster_index;
}

void crossfade_monster_color_table_permutation(int16 monster_index, int16 permutation, int16 ticks)
{
	monsters_test_hooks_data *hooks = get_monsters_test_hooks();
	hooks->crossfade_calls += 1;
	hooks->last_crossfade_permutation = permutation;
	monster_data *monster = get_monster_data(monster_index);
	object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
	if (!object) return;
	if (object->parasitic_object_index != NONE)
	{
		const int16 parasite = object->parasitic_object_index;
		object->parasitic_object_index = NONE;
		delete_object(parasite);
	}
	const int16 copy = duplicate_object(monster->object_index);
	if (copy != NONE)
	{
		const int16 fade = fade_object(TRUE, copy, 0, ticks);
		if (fade == NONE)
		{
			delete_object(copy);
		}
		else
		{
			get_projectile_data(fade)->owner_monster_index = NONE;
			add_parasitic_object(monster->object_index, copy);
		}
	}
	monster->display_dirty_flags |= 2; // the headshot
	object = get_object_data(monster->object_index);
	if (object) object->color_table_permutation = static_cast<uint8>(permutation);
}
