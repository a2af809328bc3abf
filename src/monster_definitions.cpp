// Unit kinds ('mons'): loading, the derived run-time fields and the defaults.
#include "monster_definitions.h"

#include <cstring>

#include "error_manager.h"
#include "local_projectiles.h"
#include "object_definitions.h"
#include "projectile_definitions.h"
#include "projectile_group_definitions.h"
#include "shapes.h"
#include "string_definitions.h"
#include "tag_files/tag_files.h"
#include "zerv.h"

constexpr byte_swap_code monster_attack_definition_bs_data[] = {
	_begin_bs_array, 1, MONSTER_ATTACK_DEFINITION_BS_CODES, _end_bs_array};
static_assert(get_byte_swap_struct_size(monster_attack_definition_bs_data) == sizeof(monster_attack_definition));

// The attacks are swapped by postprocessing; the run-time tail is left alone.
constexpr byte_swap_code monster_definition_bs_data[] = {
	_begin_bs_array, 1,
	_4byte, _4byte, // flags, collection_tag
	_begin_bs_array, MAXIMUM_NUMBER_OF_MONSTER_SEQUENCES, _2byte, _end_bs_array,
	_4byte, _2byte, // burning death group
	2, // experience bonus bytes
	_2byte, _2byte, // propelled shock, damage to propulsion
	NUMBER_OF_MONSTER_TERRAIN_TYPES, // terrain costs
	_2byte, _2byte, // impassability, pathfinding radius
	NUMBER_OF_MONSTER_TERRAIN_TYPES, // movement modifiers
	_begin_bs_array, 12, _2byte, _end_bs_array, // absorbed_fraction .. size
	_4byte, _2byte, _2byte, // object_tag, number_of_attacks, desired_projectile_volume
	MAXIMUM_NUMBER_OF_ATTACKS_PER_MONSTER * 64, // attacks
	_4byte, _2byte, _2byte, _4byte, // map action, attack frequency, exploding group
	_2byte, _2byte, _2byte, _2byte, // hack flags, ammunition, shocks
	_4byte, _4byte, _4byte, _4byte, _4byte, // melee impact, dying, three string lists
	2, // use_attack_frequency, more_hack_flags
	_2byte, _2byte, _2byte, // class, allegiance, experience
	_begin_bs_array, MAXIMUM_NUMBER_OF_SOUNDS_PER_MONSTER, _4byte, _end_bs_array,
	_4byte, _4byte, _4byte, // blocked, absorbed, ammunition projectile
	_2byte, _2byte, _2byte, _2byte, // visibility, power, range, cost
	MAXIMUM_NUMBER_OF_SOUNDS_PER_MONSTER, // sound types
	_2byte, // enemy experience kill bonus
	_4byte, _4byte, _4byte, _4byte, // entrance, local group, special ability, exit
	_begin_bs_array, 6, _2byte, _end_bs_array, // mana .. unused1234
	_4byte, // initial artifacts
	476,
	_end_bs_array};
static_assert(get_byte_swap_struct_size(monster_definition_bs_data) == sizeof(monster_definition));

static constexpr file_tag no_tag = static_cast<file_tag>(NONE);

static monster_attack_definition make_default_monster_attack_definition(void)
{
	monster_attack_definition a = {};
	a.projectile_tag = no_tag;
	a.minimum_range = a.maximum_range = 512;
	for (monster_attack_sequence &sequence : a.sequences)
	{
		sequence.flags = _sequence_normal_flag;
		sequence.sequence_index = NONE;
	}
	a.repetitions = 1;
	a.initial_velocity_lower_bound = 25;
	a.recovery_time = 30;
	a.recovery_time_experience_delta = 3;
	return a;
}

static monster_definition make_default_monster_definition(void)
{
	monster_definition d = {};
	d.collection_tag = no_tag;
	for (int16 &sequence : d.sequence_indexes) sequence = NONE;
	d.burning_death_projectile_group_tag = 0;
	for (uint8 &modifier : d.movement_modifiers) modifier = 255;
	d.pathfinding_radius = 51;
	d.warning_distance = 1024;
	d.critical_distance = 6144;
	d.healing_fraction = 204;
	d.activation_distance = 2048;
	d.turning_speed = 546;
	d.base_movement_speed = 25;
	d.left_handed_fraction = 32768;
	d.size = 1;
	d.object_tag = no_tag;
	d.desired_projectile_volume = NONE;
	d.map_action_tag = no_tag;
	d.attack_frequency_lower_bound = 30;
	d.exploding_projectile_group_tag = no_tag;
	d.hard_death_system_shock = 32768;
	d.flinch_system_shock = 6553;
	d.melee_impact_projectile_group_tag = d.dying_projectile_group_tag = no_tag;
	d.spelling_string_list_tag = d.names_string_list_tag = d.flavor_string_list_tag = no_tag;
	d.experience_point_value = 1;
	for (file_tag &tag : d.sound_tags) tag = no_tag;
	d.blocked_impact_projectile_group_tag = d.absorbed_impact_projectile_group_tag = no_tag;
	d.ammunition_projectile_tag = no_tag;
	d.cost = 1;
	for (int8 &type : d.sound_types) type = NONE;
	d.entrance_projectile_group_tag = static_cast<file_tag>(-2);
	d.local_projectile_group_tag = d.special_ability_string_list_tag = no_tag;
	d.exit_projectile_group_tag = 0;
	d.maximum_artifacts_carried = NONE;
	d.initial_artifacts_projectile_group_tag = 0;
	return d;
}

static const monster_definition default_monster_definition = make_default_monster_definition();
static const monster_attack_definition default_monster_attack_definition = make_default_monster_attack_definition();

definition_globals monster_definitions = {
	"monster",
	MONSTER_DEFINITION_GROUP_TAG,
	MONSTER_DEFINITION_VERSION_NUMBER,
	MAXIMUM_MONSTER_DEFINITIONS_PER_MAP,
	static_cast<int16>(sizeof(monster_definition)),
	monster_definition_dependencies,
	postprocess_monster_definition,
	nullptr,
	&default_monster_definition,
	monster_definition_bs_data,
	0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr};

monster_definition *kept_monster_definitions[MAXIMUM_MONSTER_DEFINITIONS_PER_MAP];
uint32 kept_monster_definitions_generation = 0;

monster_definition *get_monster_definition_checked(int16 monster_type)
{
	if (kept_monster_definitions_generation != definitions_generation)
	{
		for (monster_definition *&kept : kept_monster_definitions) kept = nullptr;
		kept_monster_definitions_generation = definitions_generation;
	}
	monster_definition *definition =
		static_cast<monster_definition *>(try_and_get_definition(&monster_definitions, monster_type));
	if (definition && monster_type < MAXIMUM_MONSTER_DEFINITIONS_PER_MAP) kept_monster_definitions[monster_type] = definition;
	return definition;
}

definition_globals *get_monster_definitions(void)
{
	return &monster_definitions;
}

const monster_definition *get_default_monster_definition(void)
{
	return &default_monster_definition;
}

const monster_attack_definition *get_default_monster_attack_definition(void)
{
	return &default_monster_attack_definition;
}

int32 get_monster_definition_tag_header_user_data(void)
{
	return NONE;
}

void initialize_monster_definitions(void)
{
	initialize_definitions(&monster_definitions);
}

void initialize_monster_definitions_for_new_map(void)
{
	if (monster_definitions.definitions) initialize_definitions_for_new_map(&monster_definitions);
}

void dispose_monster_definitions_from_old_map(void)
{
	if (monster_definitions.definitions) dispose_definitions_from_old_map(&monster_definitions);
}

void monster_definition_dependencies(void *definition, report_definition_dependency_proc report)
{
	monster_definition *d = static_cast<monster_definition *>(definition);
	report(TAG(".256"), d->collection_tag, &d->collection_index);
	report(TAG("obje"), d->object_tag, &d->object_type);
	const int16 attack_count = PIN(d->number_of_attacks, static_cast<int16>(0),
		static_cast<int16>(MAXIMUM_NUMBER_OF_ATTACKS_PER_MONSTER));
	for (int16 i = 0; i < attack_count; ++i)
	{
		monster_attack_definition *attack = &d->attacks[i];
		report(TAG("proj"), attack->projectile_tag, &attack->projectile_type);
		if (attack->maximum_range > 3071) d->more_hack_flags = static_cast<int8>(d->more_hack_flags | 4);
	}
	report(TAG("prgr"), d->exploding_projectile_group_tag, &d->exploding_projectile_group_type);
	report(TAG("prgr"), d->dying_projectile_group_tag, &d->dying_projectile_group_type);
	report(TAG("prgr"), d->melee_impact_projectile_group_tag, &d->melee_impact_projectile_group_type);
	report(TAG("prgr"), d->burning_death_projectile_group_tag, &d->burning_death_projectile_group_type);
	report(TAG("stli"), d->spelling_string_list_tag, &d->spelling_string_list_index);
	report(TAG("stli"), d->names_string_list_tag, &d->names_string_list_index);
	report(TAG("stli"), d->flavor_string_list_tag, &d->flavor_string_list_index);
}

/* ---------- postprocessing */

static boolean tag_is_none(file_tag tag)
{
	return tag == no_tag;
}

// A tag of -1 gives NONE; any other must load.
static boolean resolve_required(const char *name, const char *what, file_tag tag, int16 (*resolve)(file_tag),
	int16 *slot, boolean zero_is_none = FALSE)
{
	*slot = NONE;
	if (tag_is_none(tag) || (zero_is_none && tag == 0)) return TRUE;
	*slot = resolve(tag);
	if (*slot != NONE) return TRUE;
	error_message(_error_data_missing, MODULE_NAME, __LINE__, "monster %s has no %s '%s'.", name, what,
		tag_to_string(tag));
	return FALSE;
}

static int16 resolve_sound(file_tag tag)
{
	if (tag_is_none(tag) || tag == 0) return NONE;
	const resolve_sequence_sound_proc resolve = get_shapes_test_hooks()->resolve_sequence_sound;
	return resolve ? resolve(tag) : static_cast<int16>(NONE);
}

static boolean monster_class_is_harmless_or_ambient(int16 monster_class)
{
	return monster_class == _monster_class_harmless || monster_class == _monster_class_ambient_life;
}

static void apply_game_options(monster_definition *d)
{
	const uint32 options = game ? game->option_flags : 0;
	if ((options & _game_option_uses_qel_flag) && d->monster_class == _monster_class_missile)
	{
		d->more_hack_flags = static_cast<int8>(d->more_hack_flags | _hack_shift_click_targets_group_flag |
			_hack_walks_around_blockage_flag);
	}
	if (!(options & (_game_option_uses_qel_flag | _game_option_uses_anticlump_flag))) return;
	if (d->monster_class == _monster_class_melee)
	{
		if (d->pathfinding_radius <= 99) d->pathfinding_radius = 162;
		else if (d->pathfinding_radius <= 154) d->pathfinding_radius = 200;
	}
	else if (d->pathfinding_radius <= 99)
	{
		d->pathfinding_radius = static_cast<short_world_distance>(d->pathfinding_radius + d->pathfinding_radius / 3);
	}
	if (options & _game_option_uses_qel_flag)
	{
		d->base_movement_speed = static_cast<short_world_distance>(d->base_movement_speed - d->base_movement_speed / 10);
	}
	d->more_hack_flags = static_cast<int8>(d->more_hack_flags | _hack_walks_around_blockage_flag |
		_hack_responds_to_enemies_flag);
	d->hack_flags = static_cast<int16>(static_cast<uint16>(d->hack_flags) | _hack_chases_enemy_during_recovery_flag);
}

// Behaviour bits packed into terrain-cost bytes 4, 6 and 7 (skittish kinds only).
static void decode_behaviour_bits(monster_definition *d)
{
	if (!(d->flags & _monster_is_skittish_flag)) return;
	const boolean decode_all = (d->flags & _monster_ignores_terrain_costs_for_impassability_flag) != 0;
	const uint8 low = static_cast<uint8>(d->terrain_costs[HACK_FLAGS_LOW_TERRAIN_INDEX]);
	const uint8 high = static_cast<uint8>(d->terrain_costs[HACK_FLAGS_HIGH_TERRAIN_INDEX]);
	const uint8 more = static_cast<uint8>(d->terrain_costs[MORE_HACK_FLAGS_TERRAIN_INDEX]);
	uint16 hacks = static_cast<uint16>(d->hack_flags);
	if (decode_all || low != 255)
	{
		// Only a kind that can run can charge.
		const uint8 decoded = d->sequence_indexes[_monster_sequence_running] != NONE ? low :
			static_cast<uint8>(low & ~_hack_unit_can_charge_cost);
		hacks = static_cast<uint16>(hacks | decoded);
		if (low & _hack_has_long_range_eyesight_cost) d->visibility_type = _visibility_bitmap_2020;
	}
	if (decode_all || high != 255) hacks = static_cast<uint16>(hacks | (high << 8));
	uint8 more_hacks = static_cast<uint8>(d->more_hack_flags);
	if (decode_all || more != 255)
	{
		if (more & _hack_moves_to_shoot_uphill_cost) more_hacks |= _hack_moves_to_shoot_uphill_flag;
		if (more & _hack_shift_click_targets_group_cost) more_hacks |= _hack_shift_click_targets_group_flag;
		if (more & _hack_can_target_flying_cost) more_hacks |= _hack_can_target_flying_flag;
		if (more & _hack_walks_around_blockage_cost) more_hacks |= _hack_walks_around_blockage_flag;
		if (more & _hack_chases_intelligently_cost) more_hacks |= _hack_chases_intelligently_flag;
	}
	d->hack_flags = static_cast<int16>(hacks);
	d->more_hack_flags = static_cast<int8>(more_hacks);
	if (hacks != 0) d->terrain_costs[HACK_FLAGS_LOW_TERRAIN_INDEX] = d->terrain_costs[HACK_FLAGS_HIGH_TERRAIN_INDEX] = 0;
	if (more_hacks != 0 && !(game_play_version > 1510 && d->terrain_costs[MORE_HACK_FLAGS_TERRAIN_INDEX] <= 0))
	{
		d->terrain_costs[MORE_HACK_FLAGS_TERRAIN_INDEX] = 0;
	}
}

static boolean attack_uses_sequence(const monster_definition *d, int16 sequence)
{
	for (int16 i = 0; i < d->number_of_attacks; ++i)
	{
		for (const monster_attack_sequence &s : d->attacks[i].sequences)
		{
			if (s.sequence_index == sequence) return TRUE;
		}
	}
	return FALSE;
}

boolean postprocess_monster_definition(definition_globals *, int16, int32 tag_handle, void *definition)
{
	monster_definition *d = static_cast<monster_definition *>(definition);
	const char *name = tag_handle == NONE ? "<unknown>" : tag_file_name_get(tag_handle);

	// Run-time fields: stored bytes there are never trusted.
	d->terrain_impassability_flags = 0;
	d->ammunition_projectile_type = NONE;
	for (int16 &index : d->sound_indexes) index = NONE;
	d->spelling_string_list_index = d->names_string_list_index = NONE;
	d->flavor_string_list_index = d->special_ability_string_list_index = NONE;
	d->exploding_projectile_group_type = d->melee_impact_projectile_group_type = NONE;
	d->dying_projectile_group_type = d->blocked_impact_projectile_group_type = NONE;
	d->absorbed_impact_projectile_group_type = d->entrance_projectile_group_type = NONE;
	d->exit_projectile_group_type = d->local_projectile_group_type = NONE;
	d->burning_death_projectile_group_type = d->initial_artifacts_projectile_group_type = NONE;

	// A count outside the four records would read and write past them.
	if (d->number_of_attacks < 0 || d->number_of_attacks > MAXIMUM_NUMBER_OF_ATTACKS_PER_MONSTER)
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "monster %s has #%d attacks (at most #%d).", name,
			static_cast<int>(d->number_of_attacks), MAXIMUM_NUMBER_OF_ATTACKS_PER_MONSTER);
		return FALSE;
	}

	// 1.
	d->collection_index = get_collection_index(d->collection_tag);
	if (d->collection_index == NONE)
	{
		error_message(_error_data_missing, MODULE_NAME, __LINE__, "monster %s has no collection '%s'.", name,
			tag_to_string(d->collection_tag));
		return FALSE;
	}
	d->object_type = object_definition_tag_to_index(d->object_tag);
	if (d->object_type == NONE)
	{
		error_message(_error_data_missing, MODULE_NAME, __LINE__, "monster %s has no object '%s'.", name,
			tag_to_string(d->object_tag));
		return FALSE;
	}
	d->next_name_string_index = NONE;
	// 2.
	if ((d->flags & _monster_is_captain_flag) && game) game->option_flags |= _game_option_has_captains_flag;
	// 3.
	byte_swap_data("monster attack", d->attacks, sizeof(monster_attack_definition), MAXIMUM_NUMBER_OF_ATTACKS_PER_MONSTER,
		monster_attack_definition_bs_data);
	for (monster_attack_definition &attack : d->attacks) attack.projectile_type = NONE;
	d->hack_flags = 0;
	d->more_hack_flags = 0;
	// 4.
	if (game && game->type == _game_type_networked && !(game->option_flags & _game_option_cooperative_flag) &&
		!monster_class_is_harmless_or_ambient(d->monster_class))
	{
		d->flags &= ~static_cast<uint32>(_monster_does_not_respect_visibility_flag);
	}
	// 5.
	if (d->flags & _monster_carries_multiple_artifacts_flag)
	{
		d->maximum_artifacts_carried = MIN(d->maximum_artifacts_carried, static_cast<int16>(MAXIMUM_ARTIFACTS_CARRIED_PER_MONSTER));
		if (d->maximum_artifacts_carried < 1) d->flags &= ~static_cast<uint32>(_monster_carries_multiple_artifacts_flag);
	}
	// 6.
	if (d->use_attack_frequency && d->attack_frequency_lower_bound <= 0 && d->attack_frequency_delta <= 0)
	{
		d->use_attack_frequency = 0;
	}
	else
	{
		d->attack_frequency_delta = MAX(d->attack_frequency_lower_bound, d->attack_frequency_delta);
	}
	// 7-8.
	apply_game_options(d);
	decode_behaviour_bits(d);
	// A kind outside the table would index past it.
	if (d->visibility_type < NONE || d->visibility_type > _visibility_bitmap_2020)
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "monster %s has visibility type #%d.", name,
			static_cast<int>(d->visibility_type));
		return FALSE;
	}
	const uint16 hacks = static_cast<uint16>(d->hack_flags);
	// 9.
	const int16 idle = d->sequence_indexes[_monster_sequence_idle];
	for (int16 i = 0; i < d->number_of_attacks; ++i)
	{
		monster_attack_definition *attack = &d->attacks[i];
		if (!resolve_required(name, "attack projectile", attack->projectile_tag, projectile_definition_tag_to_index,
			&attack->projectile_type))
		{
			return FALSE;
		}
		for (const monster_attack_sequence &sequence : attack->sequences)
		{
			if (!verify_sequence_index(d->collection_index, sequence.sequence_index)) return FALSE;
			if (!(hacks & _hack_resizable_selection_box_flag))
			{
				equalize_sequence_collision_rectangles(d->collection_index, idle, sequence.sequence_index);
			}
		}
	}
	// 10.
	for (int16 n = 0; n < NUMBER_OF_MONSTER_TERRAIN_TYPES; ++n)
	{
		boolean impassable = d->terrain_costs[n] < 0 &&
			!(game_play_version > 1700 && (d->flags & _monster_ignores_terrain_costs_for_impassability_flag));
		if (game_play_version >= 1301 && d->movement_modifiers[n] == 0) impassable = TRUE;
		if (impassable) d->terrain_impassability_flags = static_cast<uint16>(d->terrain_impassability_flags | (1u << n));
	}
	// 11.
	if (!resolve_required(name, "exploding group", d->exploding_projectile_group_tag,
			projectile_group_definition_tag_to_index, &d->exploding_projectile_group_type) ||
		!resolve_required(name, "dying group", d->dying_projectile_group_tag, projectile_group_definition_tag_to_index,
			&d->dying_projectile_group_type) ||
		!resolve_required(name, "burning death group", d->burning_death_projectile_group_tag,
			projectile_group_definition_tag_to_index, &d->burning_death_projectile_group_type) ||
		!resolve_required(name, "melee impact group", d->melee_impact_projectile_group_tag,
			projectile_group_definition_tag_to_index, &d->melee_impact_projectile_group_type) ||
		!resolve_required(name, "absorbed impact group", d->absorbed_impact_projectile_group_tag,
			projectile_group_definition_tag_to_index, &d->absorbed_impact_projectile_group_type) ||
		!resolve_required(name, "blocked impact group", d->blocked_impact_projectile_group_tag,
			projectile_group_definition_tag_to_index, &d->blocked_impact_projectile_group_type) ||
		!resolve_required(name, "entrance group", d->entrance_projectile_group_tag,
			projectile_group_definition_tag_to_index, &d->entrance_projectile_group_type, TRUE) ||
		!resolve_required(name, "exit group", d->exit_projectile_group_tag, projectile_group_definition_tag_to_index,
			&d->exit_projectile_group_type, TRUE) ||
		!resolve_required(name, "initial artifacts group", d->initial_artifacts_projectile_group_tag,
			projectile_group_definition_tag_to_index, &d->initial_artifacts_projectile_group_type, TRUE) ||
		!resolve_required(name, "ammunition projectile", d->ammunition_projectile_tag,
			projectile_definition_tag_to_index, &d->ammunition_projectile_type) ||
		!resolve_required(name, "spelling list", d->spelling_string_list_tag, string_list_tag_to_string_index,
			&d->spelling_string_list_index) ||
		!resolve_required(name, "special ability list", d->special_ability_string_list_tag,
			string_list_tag_to_string_index, &d->special_ability_string_list_index, TRUE) ||
		!resolve_required(name, "names list", d->names_string_list_tag, string_list_tag_to_string_index,
			&d->names_string_list_index) ||
		!resolve_required(name, "flavor list", d->flavor_string_list_tag, string_list_tag_to_string_index,
			&d->flavor_string_list_index) ||
		!resolve_required(name, "local projectile group", d->local_projectile_group_tag,
			local_projectile_group_definition_tag_to_index, &d->local_projectile_group_type, TRUE))
	{
		return FALSE;
	}
	// A sound that does not resolve is none, as everywhere: there is no sound layer to ask.
	for (int16 i = 0; i < MAXIMUM_NUMBER_OF_SOUNDS_PER_MONSTER; ++i) d->sound_indexes[i] = resolve_sound(d->sound_tags[i]);
	// 12.
	for (int16 s = 0; s < NUMBER_OF_MONSTER_SEQUENCES; ++s)
	{
		const int16 sequence = d->sequence_indexes[s];
		if (!verify_sequence_index(d->collection_index, sequence)) return FALSE;
		if (s == 0 || sequence == NONE) continue;
		if ((hacks & _hack_resizable_selection_box_flag) &&
			(s == _monster_sequence_taunting || attack_uses_sequence(d, sequence)))
		{
			continue;
		}
		equalize_sequence_collision_rectangles(d->collection_index, idle, sequence);
	}
	return TRUE;
}

int16 monster_definition_tag_to_index(file_tag tag)
{
	return definition_tag_to_index(&monster_definitions, tag);
}

int16 new_monster_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size)
{
	return new_flat_definition_from_tag_data(&monster_definitions, subgroup, tag_data, tag_data_size);
}
