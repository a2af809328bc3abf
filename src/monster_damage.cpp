// A unit's side of damage: status effects, blocking, flinching and being
// thrown, death, the attacker's reaction and experience, the statistics; and
// the unit's items (ammunition, artifacts) and effect modifiers.
#include "monsters.h"

#include "alliances.h"
#include "artifact_definitions.h"
#include "damage.h"
#include "game_statistics.h"
#include "local_projectiles.h"
#include "markers.h"
#include "mesh.h"
#include "objects.h"
#include "players.h"
#include "projectile_definitions.h"
#include "projectile_group_definitions.h"
#include "projectiles.h"
#include "selection.h"
#include "world.h"
#include "zerv.h"

static inline int32 abs32(int32 value)
{
	return value < 0 ? -value : value;
}

// path.h and world.h both name the eight directions; only this is needed here.
void delete_path(int16 *path_index);

#define STONED_DAMAGE_MULTIPLIER 2
#define HUNTING_SCORING 12
#define ASSASSINATION_SCORING 11
#define HALF_CHANCE 32768
#define THREE_QUARTERS_CHANCE 49152

static void abort_attack_for_damage(int16 monster_index, monster_data *monster)
{
	if (monster->action != _monster_action_attacking) return;
	handle_monster_attack(monster_index, monster->action_permutation, _monster_attack_abort);
	if (monster->extra_flags & _monster_has_deferred_movement_command_extra_flag)
	{
		if (game_play_version > 1600)
		{
			monster->flags &= ~static_cast<uint32>(_monster_has_valid_target_index_flag | _monster_has_valid_target_location_flag);
		}
		if (game_play_version > 1690) monster->flags &= ~static_cast<uint32>(_monster_has_valid_target_flag);
		monster->extra_flags &= ~static_cast<uint32>(_monster_has_deferred_movement_command_extra_flag);
	}
}

static void report_handled(damage_data *data, int16 group)
{
	data->flags |= _damage_data_reported_projectile_group_flag;
	data->detonation_projectile_group_type = group;
}

static int32 fraction_of_vitality(int32 damage, int32 maximum)
{
	if (maximum != 0 && damage <= maximum) return static_cast<int32>((static_cast<int64>(damage) * 65536) / maximum);
	if (damage > maximum) return 65535;
	return 0;
}

// The player a unit's damage statistics go to; see accelerate_monster.
static void book_damage_statistics(const monster_data *victim, const monster_data *attacker, int32 damage, boolean died)
{
	const boolean ignores = (victim->flags & _monster_ignores_user_commands_flag) != 0;
	const boolean target_or_hunted = (victim->extra_flags & (_monster_is_netgame_target_extra_flag | _monster_is_hunted_creature_extra_flag)) != 0;
	const boolean ambient = (victim->extra_flags & _monster_is_ambient_life_extra_flag) != 0;
	int16 aggressor_type = attacker ? attacker->unit_type : static_cast<int16>(NONE);
	if (game_play_version >= 1511 && damage < 0) damage = 0;
	if (game_play_version == 1300)
	{
		if (ignores && !target_or_hunted) return;
		adjust_damage_statistics(aggressor_type, victim->unit_type, damage, died, target_or_hunted, ambient, TRUE, victim->owner_player_index);
		return;
	}
	const int16 scoring = game ? game->scoring : static_cast<int16>(NONE);
	int16 player = victim->owner_player_index;
	boolean uncontrolled = FALSE;
	if (ignores)
	{
		if (game_play_version >= 1690 && game_play_version <= 1700 && !target_or_hunted) return;
		if ((victim->extra_flags & _monster_has_no_visibility_extra_flag) &&
			((scoring != ASSASSINATION_SCORING && scoring != HUNTING_SCORING) || !target_or_hunted))
		{
			player = NONE;
			aggressor_type = NONE;
			uncontrolled = TRUE;
		}
	}
	boolean flag = target_or_hunted;
	if (scoring == HUNTING_SCORING)
	{
		const boolean by_hunted = attacker && (attacker->extra_flags & _monster_is_hunted_creature_extra_flag);
		if (by_hunted) flag = FALSE;
		if (by_hunted || (!attacker && game_play_version <= 1720))
		{
			player = NONE;
			aggressor_type = NONE;
			uncontrolled = TRUE;
		}
	}
	if (ambient) uncontrolled = TRUE;
	adjust_damage_statistics(aggressor_type, victim->unit_type, damage, died, flag, uncontrolled, TRUE, player);
}

static void attacker_reacts(int16 monster_index, int16 attacker_index, const damage_definition *definition, int32 damage,
	boolean died, boolean flinched, const monster_definition *victim_definition)
{
	monster_data *monster = get_monster_data(monster_index);
	monster_data *attacker = get_monster_data(attacker_index);
	if (!attacker) return;
	const monster_definition *attacker_definition = get_monster_definition(attacker->type);
	const boolean hunting = game && game->scoring == HUNTING_SCORING;
	if (monster && monster->owner_team_index == attacker->owner_team_index && !hunting)
	{
		if (damage >= 0 || game_play_version < 1501)
		{
			if (zerv_random() < HALF_CHANCE)
			{
				play_monster_sound(attacker_index, died ? _monster_sound_caused_friendly_death : _monster_sound_hit_friendly_unit);
			}
			else if (!(game_play_version >= 1501 && monster->action == _monster_action_stoned))
			{
				play_monster_sound(monster_index, _monster_sound_hit_by_friendly_unit);
			}
		}
	}
	if (died)
	{
		if (victim_definition && !(victim_definition->flags & _monster_is_inanimate_object_flag))
		{
			play_monster_sound(attacker_index, (victim_definition->flags & _monster_is_undead_flag) ?
				_monster_sound_caused_death_of_enemy_undead : _monster_sound_caused_enemy_death);
		}
		if ((attacker->extra_flags & _monster_is_berserk_extra_flag) && zerv_random() < THREE_QUARTERS_CHANCE)
		{
			make_monster_taunt(attacker_index);
		}
		attacker = get_monster_data(attacker_index);
		if (!attacker) return;
		const int32 value = victim_definition ? abs32(static_cast<int32>(victim_definition->experience_point_value)) : 0;
		attacker->experience = static_cast<uint8>(MIN(static_cast<int32>(attacker->experience) + value, 255));
		attacker->display_dirty_flags |= 4; // experience
		return;
	}
	if (!monster || !victim_definition) return;
	if (monster->action == _monster_action_attacking && !flinched) return;
	const boolean long_range = (definition->flags & _damage_is_long_range_flag) != 0;
	const object_data *object = get_object_data(monster->object_index);
	const object_data *attacker_object = get_object_data(attacker->object_index);
	if (!object || !attacker_object) return;
	const world_point2d here = {object->location.position.x, object->location.position.y};
	const world_point2d there = {attacker_object->location.position.x, attacker_object->location.position.y};
	const world_distance distance = game_play_version <= 1300 ? 512 : distance2d(&here, &there);
	const int16 class_ = victim_definition->monster_class;
	boolean turns = TRUE, retreat = FALSE;
	if (long_range)
	{
		if (monster->flags & _monster_was_stopped_flag) return;
		switch (class_)
		{
		case _monster_class_missile:
		{
			const boolean explosive = definition->type == _damage_explosion || definition->type == _damage_explosive_electricity;
			const boolean retreat_rule = !(game && (game->option_flags & (_game_option_uses_qel_flag | _game_option_uses_anticlump_flag)) &&
				explosive);
			if (retreat_rule && distance > victim_definition->activation_distance) retreat = TRUE;
			break;
		}
		case _monster_class_melee:
			if (distance > victim_definition->critical_distance) turns = FALSE;
			if (static_cast<uint16>(victim_definition->hack_flags) & _hack_mixes_missile_melee_behaviour_flag)
			{
				turns = TRUE;
				if (distance > victim_definition->activation_distance) retreat = TRUE;
			}
			break;
		default:
			retreat = TRUE;
			break;
		}
	}
	else if (game_play_version > 1300)
	{
		switch (class_)
		{
		case _monster_class_melee:
			if (monster->flags & _monster_responding_to_command_flag) turns = FALSE;
			if (distance > victim_definition->critical_distance && distance > victim_definition->activation_distance) turns = FALSE;
			break;
		case _monster_class_missile:
			if (distance > victim_definition->activation_distance) retreat = TRUE;
			break;
		default:
			retreat = TRUE;
			break;
		}
	}
	else if (class_ >= _monster_class_suicide)
	{
		retreat = TRUE;
	}
	if (monster->flags & _monster_responding_to_target_command_flag) retreat = FALSE;
	if (turns && try_and_switch_target_indexes(monster_index, attacker_index, long_range ? 2 : 6))
	{
		monster = get_monster_data(monster_index);
		if (!monster) return;
		if (class_ == _monster_class_melee && !long_range) monster->flags |= _monster_target_has_caused_melee_damage_flag;
		if (retreat) monster->flags |= _monster_needs_to_retreat_flag;
	}
	monster = get_monster_data(monster_index);
	if (monster && game_play_version >= 1301 && game_play_version <= 1600 &&
		(monster->action == _monster_action_moving || monster->action == _monster_action_turning) &&
		(static_cast<uint16>(victim_definition->hack_flags) & _hack_unit_can_charge_flag) &&
		!(monster->extra_flags & _monster_wants_to_run_extra_flag))
	{
		if (!long_range || distance <= victim_definition->terrain_costs[10] * 512) monster->extra_flags |= _monster_wants_to_run_extra_flag;
	}
	(void)attacker_definition;
}

static void throw_monster(int16 monster_index, const damage_definition *definition, const damage_data *data, int32 damage,
	const monster_definition *monster_definition_)
{
	monster_data *monster = get_monster_data(monster_index);
	object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
	if (!object) return;
	const long double k = static_cast<long double>(monster_definition_->damage_to_propulsion) * 0.75L / 65535.0L;
	const long double velocity = static_cast<long double>(data->velocity);
	long double m;
	if (definition->type == _damage_kinetic || definition->type == _damage_steel_slashing) m = velocity < 6.0L ? velocity : 6.0L;
	else m = (velocity / 64.0L) < 1.0L ? velocity / 64.0L : 1.0L;
	const int32 strength = static_cast<int32>(((static_cast<long double>(damage) * m) * k) * 256.0L);
	if (strength == 0)
	{
		set_monster_action(monster_index, _monster_action_taking_damage, 0);
		return;
	}
	world_point3d origin = data->epicenter;
	const monster_data *attacker = get_monster_data_by_identifier(data->owner_monster_index, data->owner_monster_identifier);
	const object_data *attacker_object = attacker ? get_object_data(attacker->object_index) : nullptr;
	const world_point3d unit = object->location.position;
	if (attacker_object)
	{
		const world_distance reach = 2 * object->radius;
		if ((origin.x == unit.x && origin.y == unit.y) || (abs32(origin.x - unit.x) <= reach && abs32(origin.y - unit.y) <= reach))
		{
			origin = attacker_object->location.position;
			const angle facing = arctangent(origin.x - unit.x, origin.y - unit.y);
			const int16 difference = static_cast<int16>(static_cast<uint16>(object->location.yaw - facing));
			if (abs32(static_cast<int32>(difference)) <= 16383) object->location.yaw = facing;
		}
	}
	const boolean was_propelled = monster->action == _monster_action_being_propelled;
	const int16 old_timer = monster->propelled_timer, old_speed = monster->propulsion_speed;
	const world_point2d old_destination = monster->path_destination;
	set_monster_action(monster_index, _monster_action_being_propelled, 0);
	monster = get_monster_data(monster_index);
	if (!monster) return;
	monster->propelled_yaw = arctangent(unit.x - origin.x, unit.y - origin.y);
	if (was_propelled && old_speed + old_speed / 4 >= static_cast<int32>((static_cast<int64>(PROPULSION_SPEED) * 65536) / strength))
	{
		monster->propelled_timer = old_timer;
		monster->propulsion_speed = old_speed;
		monster->path_destination = old_destination;
		return;
	}
	monster->flags &= ~static_cast<uint32>(_monster_evading_obstacle_flag);
	monster->propelled_timer = static_cast<int16>((static_cast<int64>(strength) * PROPELLING_TIMER) / 65536);
	monster->propulsion_speed = static_cast<int16>((static_cast<int64>(strength) * PROPULSION_SPEED) / 65536);
	// Cell counts against world coordinates, as peers and films of this version expect.
	const int32 width = mesh_globals ? mesh_globals->mesh_width : 0;
	const int32 height = mesh_globals ? mesh_globals->mesh_height : 0;
	monster->path_destination.x = origin.x > unit.x ? origin.x - unit.x : (origin.x < unit.x ? MIN(2 * unit.x - origin.x, width) : unit.x);
	monster->path_destination.y = origin.y > unit.y ? origin.y - unit.y : (origin.y < unit.y ? MIN(2 * unit.y - origin.y, height) : unit.y);
}

void accelerate_monster(const damage_definition *definition, damage_data *data, int16 monster_index)
{
	get_monsters_test_hooks()->accelerate_monster_calls += 1;
	monster_data *monster = get_monster_data(monster_index);
	if (!monster || !definition || !data) return;
	object_data *object = get_object_data(monster->object_index);
	const monster_definition *kind = get_monster_definition(monster->type);
	if (!object || !kind) return;
	int32 damage = data->damage;
	int16 group = NONE;

	monster->aggressor_monster_index = data->owner_monster_index;
	switch (definition->type)
	{
	case _damage_hold:
		if (monster->action == _monster_action_being_held) return;
		abort_attack_for_damage(monster_index, monster);
		set_monster_action(monster_index, _monster_action_being_held, -1);
		if ((monster = get_monster_data(monster_index)) != nullptr) monster->attack_timer = static_cast<int16>((damage * 30) >> 8);
		report_handled(data, NONE);
		return;
	case _damage_healing:
	{
		const monster_data *healer = get_monster_data_by_identifier(data->owner_monster_index, data->owner_monster_identifier);
		if (damage < 0 && (!healer || healer->owner_team_index != monster->owner_team_index)) return;
		if (game_play_version == 1695 && (kind->flags & _monster_cannot_be_healed_flag)) return;
		abort_attack_for_damage(monster_index, monster);
		set_monster_action(monster_index, _monster_action_being_healed, -1);
		report_handled(data, NONE);
		return;
	}
	case _damage_steel_slashing:
	case _damage_claws_slashing:
		group = kind->melee_impact_projectile_group_type;
		break;
	case _damage_stoning:
		if (monster->action == _monster_action_stoned || get_monster_effect_modifiers(monster_index)[_effect_modifier_stone] == 0) return;
		set_monster_action(monster_index, _monster_action_stoned, _monster_action_permutation_turning_to_stone);
		report_handled(data, NONE);
		return;
	default:
		break;
	}

	if (monster->action == _monster_action_blocking && monster->target_monster_index == data->owner_monster_index &&
		data->owner_monster_index != NONE)
	{
		if (!(definition->flags & _damage_cannot_be_blocked_flag))
		{
			report_handled(data, kind->blocked_impact_projectile_group_type);
			return;
		}
		damage /= 2;
		group = kind->blocked_impact_projectile_group_type;
	}
	if (monster->extra_flags & _monster_is_invisible_extra_flag) set_monster_magical_invisibility(monster_index, FALSE);
	const boolean immobile = game_play_version > 1300 && (monster->extra_flags & _monster_immobile_extra_flag);
	if (!immobile)
	{
		if ((kind->flags & _monster_turns_to_stone_when_killed_flag) && object->vitality < object->maximum_vitality / 4 &&
			monster->action != _monster_action_stoned)
		{
			set_monster_action(monster_index, _monster_action_stoned, _monster_action_permutation_turning_to_stone);
			monster = get_monster_data(monster_index);
		}
		if (monster->action == _monster_action_stoned)
		{
			damage *= STONED_DAMAGE_MULTIPLIER;
			group = internal_projectile_groups[_internal_projectile_group_stone_impact_effect].index;
		}
	}
	if (game && (game->option_flags & _game_option_cooperative_flag) && !(monster->flags & _monster_ignores_user_commands_flag))
	{
		const player_data *owner = get_player_data(monster->owner_player_index);
		if (owner && owner->type == _player_is_human)
		{
			if (game->difficulty_level == 0) damage /= 2;
			else if (game->difficulty_level == 1) damage = damage * 3 / 4;
		}
	}
	if ((monster->extra_flags & _monster_is_being_traded_extra_flag) && damage > 0) damage = 0;

	const int32 fraction = fraction_of_vitality(damage, object->maximum_vitality);
	uint32 result = 0;
	int32 applied = 0;
	const boolean died = damage_object(monster->object_index, definition, damage, kind->absorbed_fraction, &result, &applied);
	monster = get_monster_data(monster_index);
	object = monster ? get_object_data(monster->object_index) : nullptr;
	if (!monster || !object) return;
	const int16 attacker_index = get_monster_data_by_identifier(data->owner_monster_index, data->owner_monster_identifier) ?
		data->owner_monster_index : static_cast<int16>(NONE);

	boolean flinch = FALSE, thrown = FALSE;
	if (!died)
	{
		const boolean incapacitated = monster->action == _monster_action_being_healed || monster->action == _monster_action_being_held ||
			monster->action == _monster_action_stoned || monster->action == _monster_action_paralyzed;
		if ((result & _damage_result_paralysis_flag) && !incapacitated)
		{
			set_monster_action(monster_index, _monster_action_paralyzed, _monster_action_permutation_being_paralyzed);
		}
		if (result & _damage_result_absorbed_flag) group = kind->absorbed_impact_projectile_group_type;
		else if (damage == 0) group = NONE;
		if ((result & _damage_result_charmed_flag) && data->owner_unit_index != NONE)
		{
			const unit_definition *charmer_unit = get_unit_definition(data->owner_unit_index);
			int16 charmer = charmer_unit ? charmer_unit->player_index : static_cast<int16>(NONE);
			if (charmer == NONE && game_play_version >= 1601 && attacker_index != NONE)
			{
				charmer = get_monster_data(attacker_index)->owner_player_index;
			}
			boolean taken = FALSE;
			if (charmer != NONE && charmer != monster->owner_player_index)
			{
				if (game_play_version <= 1500 || find_player_unit_type_for_monster(charmer, monster_index) != NONE)
				{
					change_monster_owner(monster_index, charmer);
					taken = TRUE;
				}
			}
			if (taken || game_play_version < 1601) group = NONE;
			monster = get_monster_data(monster_index);
			if (!monster) return;
		}
		if ((result & _damage_result_confusion_flag) && !(monster->extra_flags & _monster_is_confused_extra_flag))
		{
			monster->extra_flags |= _monster_is_confused_extra_flag;
			monster->confusion_timer = static_cast<int16>((data->mana_used != 0 || game_play_version <= 1300) ?
				(data->mana_used * 6) / 256 : (damage * 30) >> 8);
			monster->flags &= ~static_cast<uint32>(0x3F | FLAG(7) | FLAG(16) | FLAG(23) | FLAG(24) | FLAG(29));
			monster->flags |= _monster_attack_was_aborted_flag;
			monster->extra_flags &= ~static_cast<uint32>(_monster_failed_to_attack_extra_flag | _monster_ignores_model_collisions_extra_flag |
				_monster_chain_lightning_prevention_extra_flag | _monster_will_use_old_collision_detection_extra_flag);
			monster->extra_flags |= _monster_does_not_autotarget_extra_flag;
			monster->waypoint_count = 0;
			if (monster->path_index != NONE) delete_path(&monster->path_index);
			const int16 confusion = local_projectile_group_definition_tag_to_index(TAG("coef"));
			if (confusion != NONE)
			{
				monster->local_projectile_group_index =
					new_local_projectile_group(confusion, &object->location.position, monster->object_index, TRUE);
				set_local_projectile_group_monster_index(monster->local_projectile_group_index, monster_index);
			}
		}
		const boolean stunned = (result & _damage_result_stun_flag) != 0;
		const boolean held_or_worse = monster->action == _monster_action_paralyzed || monster->action == _monster_action_being_held ||
			monster->action == _monster_action_stoned;
		const boolean did_something = applied != 0 || (result & _damage_result_absorbed_flag);
		const boolean healing_locked = monster->action == _monster_action_being_healed && (monster->flags & _monster_healing_cannot_be_stopped_flag);
		const boolean allowed = !held_or_worse && did_something && !healing_locked && !(definition->flags & _damage_does_not_make_monsters_flinch_flag);
		if (allowed && (fraction >= kind->flinch_system_shock || stunned)) flinch = TRUE;
		if (allowed && (kind->flags & _monster_can_be_propelled_flag) && (fraction >= kind->propelled_system_shock || stunned))
		{
			switch (definition->type)
			{
			case _damage_explosion: case _damage_magical: case _damage_kinetic: case _damage_steel_slashing: case _damage_explosive_electricity:
				thrown = flinch = TRUE;
				break;
			default:
				break;
			}
		}
		if (!(monster->extra_flags & _monster_is_berserk_extra_flag) &&
			((kind->berserk_system_shock != 0 && fraction > kind->berserk_system_shock) ||
				(kind->berserk_vitality != 0 && object->maximum_vitality != 0 &&
					(static_cast<int64>(object->vitality) * 65536) / object->maximum_vitality < kind->berserk_vitality)))
		{
			monster_change_identifier(monster_index);
			monster->extra_flags |= _monster_is_berserk_extra_flag;
			monster->flags &= ~static_cast<uint32>(0xF | FLAG(23) | FLAG(24) | FLAG(29) | (game_play_version > 1700 ? FLAG(22) : 0));
			make_monster_taunt(monster_index);
			monster = get_monster_data(monster_index);
			if (!monster) return;
		}
		if (flinch && monster->action == _monster_action_attacking)
		{
			const monster_attack_definition *attack = get_monster_attack_definition(monster_index, monster->action_permutation);
			if ((attack && (attack->flags & _monster_attack_cannot_be_aborted_flag)) || (definition->flags & _damage_does_not_interrupt_events_flag))
			{
				flinch = thrown = FALSE;
			}
			else
			{
				handle_monster_attack(monster_index, monster->action_permutation, _monster_attack_abort);
			}
		}
	}
	monster = get_monster_data(monster_index);
	if (!monster) return;
	// Confused and berserk units are left alone only while they live: a kill still counts.
	if (attacker_index != NONE && (died || !(monster->extra_flags & (_monster_is_confused_extra_flag | _monster_is_berserk_extra_flag))))
	{
		attacker_reacts(monster_index, attacker_index, definition, damage, died, flinch, kind);
	}
	monster = get_monster_data(monster_index);
	if (!monster) return;
	book_damage_statistics(monster, get_monster_data(attacker_index), damage, died);

	if (!died)
	{
		if (thrown) throw_monster(monster_index, definition, data, damage, kind);
		else if (flinch) set_monster_action(monster_index, _monster_action_taking_damage, 0);
		if (group != NONE) report_handled(data, group);
		return;
	}
	int16 death = fraction > kind->hard_death_system_shock ? static_cast<int16>(_monster_death_hard) : static_cast<int16>(_monster_death_soft);
	const boolean really_immobile = (monster->extra_flags & _monster_immobile_extra_flag) != 0;
	switch (definition->type)
	{
	case _damage_fire:
		if (kind->burning_death_projectile_group_type != NONE) death = _monster_death_fire;
		break;
	case _damage_gas:
		death = _monster_death_soft;
		break;
	case _damage_explosion: case _damage_magical: case _damage_explosive_electricity:
		if (!really_immobile) death = _monster_death_hard;
		break;
	default:
		break;
	}
	if (monster->action == _monster_action_stoned && !really_immobile) death = _monster_death_hard;
	kill_monster(monster_index, definition, data, death);
	if (group != NONE) report_handled(data, NONE);
}

/* ---------- effect modifiers and experience */

static boolean artifact_override_applies(const artifact_definition *artifact, const monster_data *monster)
{
	if (!(artifact->flags & _artifact_restrict_overrides_flag)) return TRUE;
	const monster_definition *original = get_monster_definition(monster->orig_type);
	if (artifact->monster_restriction_type == monster->orig_type) return TRUE;
	if (artifact->flags & _artifact_restricted_by_collection_flag)
	{
		const monster_definition *restriction = get_monster_definition(artifact->monster_restriction_type);
		return original && restriction && original->collection_index == restriction->collection_index;
	}
	return FALSE;
}

const short_fixed *get_monster_effect_modifiers(int16 monster_index)
{
	static const short_fixed neutral[MAXIMUM_NUMBER_OF_EFFECT_MODIFIERS] = {256, 256, 256, 256, 256, 256, 256, 256, 256};
	const monster_data *monster = get_monster_data(monster_index);
	const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
	const object_definition *definition = object ? get_object_definition(object->type) : nullptr;
	const short_fixed *own = definition ? definition->effect_modifiers : neutral;
	if (!monster) return own;
	const artifact_definition *artifact = get_artifact_definition(monster->artifact_index);
	if (!artifact) return own;
	if ((artifact->flags & _artifact_overrides_owner_monster_flag) && artifact_override_applies(artifact, monster)) return own;
	if (game_play_version >= 1601 && (artifact->flags & _artifact_does_not_override_monster_effect_modifiers_flag)) return own;
	return artifact->bonus_effect_modifiers;
}

int16 get_relevant_experience(int16 monster_index)
{
	const monster_data *monster = get_monster_data(monster_index);
	const monster_definition *definition = monster ? get_monster_definition(monster->type) : nullptr;
	const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
	if (!definition || !object) return 0;
	int32 experience = monster->experience;
	if (definition->flags & _monster_experience_proportional_to_damage_flag)
	{
		int32 term = (object->maximum_vitality - object->vitality) >> 8;
		if (game && (game->option_flags & _game_option_uses_qel_flag)) term /= 2;
		experience += term;
	}
	if (game && (game->option_flags & _game_option_has_captains_flag) && (definition->flags & _monster_boosted_by_captain_flag) &&
		mesh_globals && mesh_globals->mesh_cells)
	{
		int32 allied = 0, enemy = 0;
		const world_point3d *p = &object->location.position;
		const int32 x0 = MAX(0, (p->x - 4096) >> 9), x1 = MIN(mesh_globals->mesh_width, (p->x + 4607) >> 9);
		const int32 y0 = MAX(0, (p->y - 4096) >> 9), y1 = MIN(mesh_globals->mesh_height, (p->y + 4607) >> 9);
		if (x0 < x1 && y0 < y1)
		{
			object_cell_walk walk;
			start_object_cell_walk(&walk, x0, y0, x1 - 1, y1 - 1);
			while (advance_object_cell_walk(&walk))
			{
				for (int16 index = next_object_in_cell_walk(&walk); index != NONE; index = next_object_in_cell_walk(&walk))
				{
					const object_data *other_object = get_object_data(index);
					if (!other_object || other_object->owner != _object_is_monster || other_object->owner_index == monster_index) continue;
					const monster_data *other = get_monster_data(other_object->owner_index);
					const monster_definition *captain = other ? get_monster_definition(other->type) : nullptr;
					if (!captain || !(captain->flags & _monster_is_captain_flag)) continue;
					if (captain->experience_kill_bonus <= allied && captain->enemy_experience_kill_bonus >= enemy) continue;
					const int64 dx = other_object->location.position.x - p->x, dy = other_object->location.position.y - p->y;
					const int64 radius = captain->experience_bonus_radius;
					if (dx * dx + dy * dy >= radius * radius * (static_cast<int64>(1) << 18)) continue;
					const boolean ally = teams_are_allied(other->owner_team_index, monster->owner_team_index);
					if (captain->experience_kill_bonus != 0 && ally) allied = captain->experience_kill_bonus;
					else if (captain->enemy_experience_kill_bonus != 0 && !ally) enemy = captain->enemy_experience_kill_bonus;
				}
			}
		}
		experience += allied + enemy;
	}
	int32 cap = MAXIMUM_RELEVANT_EXPERIENCE;
	if ((definition->flags & _monster_is_skittish_flag) && definition->terrain_costs[9] != 0) cap = definition->terrain_costs[9];
	return static_cast<int16>(MIN(experience, cap));
}

/* ---------- items */

uint16 monster_could_pick_up_object(int16 monster_index, int16 object_index, int16 object_identifier)
{
	const monster_data *monster = get_monster_data(monster_index);
	const object_data *object = get_object_data(object_index);
	if (!monster || !object || object->identifier != object_identifier || (object->flags & _object_is_invisible_flag)) return 0;
	if (object->owner == _object_is_flag) return _monster_could_pick_up_object_flag | _monster_could_pick_up_flag_flag;
	const monster_definition *definition = get_monster_definition(monster->type);
	if (!definition) return 0;
	int16 type = get_object_projectile_type(object);
	if (type == NONE) return 0;
	uint16 bits = 0;
	for (int16 pass = 0; pass < 2; ++pass)
	{
		if (type == definition->ammunition_projectile_type && object->color_table_permutation != 1 &&
			monster->ammunition_count < definition->maximum_ammunition_count)
		{
			return bits | _monster_could_pick_up_object_flag | _monster_could_pick_up_ammunition_flag;
		}
		const projectile_definition *projectile = get_projectile_definition(type);
		if (!projectile) return 0;
		const artifact_definition *carried = get_artifact_definition(monster->artifact_index);
		if (game_play_version > 1720 && carried && (carried->flags & _artifact_projectile_pickup_adds_charges_flag) &&
			carried->projectile_types[0] == type)
		{
			const object_data *in_hand = get_object_data(monster->carrying_object_index);
			if (in_hand && in_hand->state != NONE && (carried->maximum_charges == NONE || in_hand->state < carried->maximum_charges))
			{
				return bits | _monster_could_pick_up_object_flag | _monster_could_pick_up_artifact_charge_flag;
			}
		}
		boolean may = FALSE, room = FALSE;
		if (!(definition->flags & _monster_carries_multiple_artifacts_flag))
		{
			may = monster->carrying_object_index == NONE;
		}
		else
		{
			room = monster->held_object_count < monster->maximum_artifacts_carried;
			const object_data *in_hand = get_object_data(monster->carrying_object_index);
			const artifact_definition *hand_artifact = in_hand ? get_artifact_definition(monster->artifact_index) : nullptr;
			if (room) may = !in_hand || !(hand_artifact && (hand_artifact->flags & _artifact_cannot_be_holstered_flag));
			else may = !in_hand && game_play_version <= 1510;
		}
		if (may)
		{
			if (room) bits |= _monster_could_pick_up_additional_flag;
			const artifact_definition *artifact = get_artifact_definition(projectile->artifact_index);
			const monster_definition *original = get_monster_definition(monster->orig_type);
			const unit_definition *unit = get_unit_definition(monster->unit_type);
			boolean takes = definition->desired_projectile_volume != NONE && projectile->volume == definition->desired_projectile_volume;
			if (!takes && artifact)
			{
				takes = artifact->monster_restriction_tag == static_cast<file_tag>(NONE) ||
					(unit && artifact->monster_restriction_tag == unit->monster_tag) || artifact->monster_restriction_type == monster->orig_type;
				if (!takes && game_play_version > 1510 && (artifact->flags & _artifact_restricted_by_collection_flag))
				{
					const monster_definition *restriction = get_monster_definition(artifact->monster_restriction_type);
					takes = original && restriction && original->collection_index == restriction->collection_index;
				}
			}
			if (takes) return bits | _monster_could_pick_up_object_flag;
		}
		if (pass == 1) return 0;
		type = projectile->promoted_projectile_type;
		if (type == NONE) return 0;
		bits |= _monster_could_pick_up_by_promoting_flag;
	}
	return 0;
}

// The artifact an object carries as a projectile, NONE for none.
static int16 artifact_of_object(const object_data *object)
{
	const projectile_definition *projectile = get_projectile_definition(get_object_projectile_type(object));
	return projectile ? projectile->artifact_index : static_cast<int16>(NONE);
}

uint16 give_object_to_monster(int16 monster_index, int16 object_index)
{
	object_data *object = get_object_data(object_index);
	if (!object) return 0;
	const uint16 bits = monster_could_pick_up_object(monster_index, object_index, object->identifier);
	monster_data *monster = get_monster_data(monster_index);
	if (!bits || !monster) return 0;
	if (object->owner == _object_is_projectile)
	{
		const int16 projectile_index = object->owner_index;
		sleep_projectile(projectile_index);
		object = get_object_data(object_index);
		if (bits & _monster_could_pick_up_by_promoting_flag)
		{
			const projectile_definition *projectile = get_projectile_definition(get_object_projectile_type(object));
			if (projectile && object->owner == _object_is_dormant_projectile) object->owner_index = projectile->promoted_projectile_type;
		}
	}
	if (bits & (_monster_could_pick_up_ammunition_flag | _monster_could_pick_up_artifact_charge_flag))
	{
		if (bits & _monster_could_pick_up_ammunition_flag) monster->ammunition_count += 1;
		else if (object_data *in_hand = get_object_data(monster->carrying_object_index)) in_hand->state += 1;
		monster->display_dirty_flags |= 8; // ammunition
		delete_object(object_index);
		return bits;
	}
	if ((bits & _monster_could_pick_up_additional_flag) && monster->held_object_count < MAXIMUM_HELD_OBJECTS_PER_MONSTER)
	{
		monster->held_object_indexes[monster->held_object_count++] = object_index;
	}
	monster->carrying_object_index = object_index;
	monster->artifact_index = artifact_of_object(object);
	const artifact_definition *artifact = get_artifact_definition(monster->artifact_index);
	if (artifact)
	{
		if (object->state == NONE) object->state = static_cast<int16>(artifact->initial_charges_lower_bound + zerv_random_below(artifact->initial_charges_delta));
		if (artifact->flags & _artifact_overrides_monster_yaw_flag)
		{
			object_data *unit_object = get_object_data(monster->object_index);
			if (unit_object) unit_object->location.yaw = object->location.yaw;
		}
	}
	if (game_play_version > 1300) switch_monster_artifact(monster_index);
	monster = get_monster_data(monster_index);
	object = get_object_data(object_index);
	if (!monster || !object) return bits;
	monster->display_dirty_flags |= 8;
	if (game_play_version >= 1701 && monster->action_permutation == ARTIFACT_ATTACK_INDEX) monster->action_permutation = NONE;
	object->flags |= _object_is_invisible_flag;
	object->flags &= ~static_cast<uint32>(_object_is_selected_flag);
	return bits;
}

void switch_monster_artifact(int16 monster_index)
{
	monster_data *monster = get_monster_data(monster_index);
	if (!monster) return;
	monster->display_dirty_flags |= 8;
	monster->carried_artifact_flags = 0;
	int16 new_type = monster->orig_type;
	boolean overrides = FALSE;
	object_data *carried = get_object_data(monster->carrying_object_index);
	// The artifact in use is the one of the object in hand: the inventory
	// steps and a used-up object change the object alone.
	monster->artifact_index = carried ? artifact_of_object(carried) : static_cast<int16>(NONE);
	const artifact_definition *artifact = get_artifact_definition(monster->artifact_index);
	if (artifact)
	{
		if (carried->state == NONE) carried->state = static_cast<int16>(artifact->initial_charges_lower_bound + zerv_random_below(artifact->initial_charges_delta));
		if (carried->expiry < 1) carried->expiry = artifact->expiry_timer;
		monster->carried_artifact_flags = static_cast<int32>(artifact->flags);
		if ((artifact->flags & _artifact_overrides_owner_monster_flag) && artifact_override_applies(artifact, monster) &&
			artifact->monster_override_type != NONE)
		{
			new_type = artifact->monster_override_type;
			overrides = TRUE;
			if (artifact->flags & _artifact_has_timed_expiry_flag) monster->artifact_timer = static_cast<uint32>(carried->expiry * 30);
		}
	}
	const boolean changed = new_type != monster->type;
	const monster_definition *definition = get_monster_definition(new_type);
	if (changed && definition)
	{
		monster->type = new_type;
		monster->base_movement_speed = definition->base_movement_speed;
		monster->mana = MIN(monster->mana, definition->maximum_mana);
		object_data *object = get_object_data(monster->object_index);
		if (object)
		{
			object->flags &= ~static_cast<uint32>(_object_floats_on_land_flag | _object_floats_on_media_flag);
			// As at creation: a floating kind floats on land and on media.
			if (definition->flags & _monster_floats_flag) object->flags |= _object_floats_on_land_flag | _object_floats_on_media_flag;
			if (game_play_version > 1710 && (static_cast<uint16>(definition->hack_flags) & _hack_walks_on_water_flag))
			{
				object->flags |= _object_floats_on_media_flag;
			}
		}
		if (monster->local_projectile_group_index != NONE) turn_local_projectile_group_off(monster->local_projectile_group_index);
		if (monster->current_local_projectile_group_index != NONE) turn_local_projectile_group_off(monster->current_local_projectile_group_index);
		monster->local_projectile_group_index = monster->current_local_projectile_group_index = NONE;
		if (definition->local_projectile_group_type != NONE && object)
		{
			monster->local_projectile_group_index = new_local_projectile_group(definition->local_projectile_group_type,
				&object->location.position, monster->object_index, TRUE);
			set_local_projectile_group_monster_index(monster->local_projectile_group_index, monster_index);
		}
		if (game_play_version > 1600 && (definition->flags & _monster_is_inanimate_object_flag))
		{
			remove_monster_index_from_current_selections(monster_index);
		}
	}
	calculate_monster_speed(monster_index);
	monster = get_monster_data(monster_index);
	if (!monster) return;
	const boolean reenter = game_play_version >= 1710 ? changed : overrides;
	const boolean incapacitated = monster->action == _monster_action_being_healed || monster->action == _monster_action_being_held ||
		monster->action == _monster_action_stoned || monster->action == _monster_action_paralyzed;
	if (reenter && !(game_play_version > 1510 && incapacitated)) set_monster_action(monster_index, monster->action, 0);
}

void give_artifacts_from_projectile_group(int16 monster_index, int16 projectile_group_type)
{
	const projectile_group_definition *group = get_projectile_group_definition(projectile_group_type);
	if (!group) return;
	const int16 parts = static_cast<int16>(PIN(group->number_of_parts, 0, MAXIMUM_NUMBER_OF_PARTS_PER_PROJECTILE_GROUP));
	for (int16 p = 0; p < parts; ++p)
	{
		const projectile_group_part_definition *part = &group->parts[p];
		const int32 count = part->count_lower_bound + zerv_random_below(part->count_delta);
		for (int32 i = 0; i < count; ++i)
		{
			const int16 type = zerv_random() > part->appearing_fraction ? part->fail_projectile_type : part->projectile_type;
			monster_data *monster = get_monster_data(monster_index);
			const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
			if (type == NONE || !object) continue;
			new_projectile_data data;
			initialize_new_projectile_data(&data);
			data.type = type;
			data.location = object->location;
			const int16 projectile_index = new_projectile(&data);
			const projectile_data *projectile = get_projectile_data(projectile_index);
			if (!projectile) continue;
			const int16 object_index = projectile->object_index;
			if (!give_object_to_monster(monster_index, object_index) && get_object_data(object_index))
			{
				delete_object(object_index);
				delete_datum(&projectile_array, projectile_index);
			}
		}
		monster_data *monster = get_monster_data(monster_index);
		const monster_definition *definition = monster ? get_monster_definition(monster->type) : nullptr;
		if (!definition || !(definition->flags & _monster_carries_multiple_artifacts_flag)) continue;
		const artifact_definition *artifact = get_artifact_definition(monster->artifact_index);
		if (monster->carrying_object_index != NONE && !(artifact && (artifact->flags & _artifact_cannot_be_holstered_flag)))
		{
			monster->carrying_object_index = NONE;
			switch_monster_artifact(monster_index);
		}
	}
}

void set_monster_magical_invisibility(int16 monster_index, boolean on)
{
	monster_data *monster = get_monster_data(monster_index);
	if (!monster) return;
	const uint32 extra = _monster_is_invisible_extra_flag | _monster_does_not_autotarget_extra_flag | _monster_cannot_be_autotargeted_extra_flag;
	object_data *object = get_object_data(monster->object_index);
	if (on)
	{
		monster->extra_flags |= extra;
		if (object)
		{
			object->flags |= _object_has_no_shadow_flag;
			// Local to this machine: the own side sees it faintly, others not at all.
			if (monster->owner_team_index == player_globals.local_player_team_index) object->flags |= _object_is_rendered_transparently_flag;
			else object->flags |= _object_is_not_rendered_flag;
		}
	}
	else
	{
		monster->extra_flags &= ~extra;
		if (object)
		{
			object->flags &= ~static_cast<uint32>(_object_has_no_shadow_flag | _object_is_rendered_transparently_flag | _object_is_not_rendered_flag);
		}
	}
}
