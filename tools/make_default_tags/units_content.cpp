#include "units_content.h"

#include <cstring>

#include "collections_content.h"
#include "default_tags.h"
#include "mesh.h"
#include "objects_content.h"
#include "projectile_definitions.h"
#include "projectiles_content.h"
#include "string_definitions.h"
#include "tag_files/tag_files.h"

const file_tag default_unit_kind_tags[NUMBER_OF_DEFAULT_UNIT_KINDS] = {DEFAULT_SWORDSMAN_TAG, DEFAULT_ARCHER_TAG,
	DEFAULT_THROWER_TAG, DEFAULT_SCOUT_TAG};
const file_tag default_unit_spelling_tags[NUMBER_OF_DEFAULT_UNIT_KINDS] = {TAG("spso"), TAG("spar"), TAG("spth"),
	TAG("spsc")};

const file_tag ambient_life_unit_kind_tags[NUMBER_OF_AMBIENT_LIFE_UNIT_KINDS] = {TAG("chic"), TAG("deer"), TAG("peas"),
	TAG("soar")};

namespace {

constexpr file_tag no_tag = static_cast<file_tag>(NONE);

struct unit_kind
{
	const char *name;
	const char *singular, *plural;
	int16 monster_class;
	int16 speed;
	int16 vitality;
	int16 visibility;
	file_tag projectile;
	int16 minimum_range, maximum_range;
	int16 cost;
	int16 recovery;
	int16 combined_power; // what the attack AI weighs groups by
	uint32 anti_missile_flags;
};

const unit_kind kinds[NUMBER_OF_GENERATED_UNIT_KINDS] = {
	{"swordsman", "Swordsman", "Swordsmen", _monster_class_melee, 24, 320, 0, DEFAULT_SWORD_PROJECTILE_TAG, 0, 400, 10, 30, 20, 0},
	{"archer", "Archer", "Archers", _monster_class_missile, 22, 200, 1, DEFAULT_ARROW_PROJECTILE_TAG, 768, 5760, 12, 45, 24,
		_monster_is_anti_missile_target_flag},
	{"bomb thrower", "Bomb Thrower", "Bomb Throwers", _monster_class_missile, 20, 224, 0, DEFAULT_BOMB_PROJECTILE_TAG, 1024,
		4096, 20, 75, 40, _monster_is_anti_missile_target_flag},
	{"scout", "Scout", "Scouts", _monster_class_melee, 40, 160, 1, DEFAULT_SCOUT_BLADE_PROJECTILE_TAG, 0, 320, 8, 20, 16,
		_monster_is_anti_missile_unit_flag},
	{"lightning caster", "Lightning Caster", "Lightning Casters", _monster_class_missile, 20, 200, 1, TAG("bolt"), 1536,
		6144, 16, 90, 32, _monster_is_anti_missile_target_flag},
};

struct ambient_life_kind
{
	const char *name;
	const char *singular, *plural;
	file_tag spelling;
	int16 speed;
	int16 vitality;
	bool flies;
};

const ambient_life_kind ambient_kinds[NUMBER_OF_AMBIENT_LIFE_UNIT_KINDS] = {
	{"chicken", "Chicken", "Chickens", TAG("spck"), 14, 40, false},
	{"deer", "Deer", "Deer", TAG("spde"), 34, 120, false},
	{"peasant", "Peasant", "Peasants", TAG("sppe"), 12, 100, false},
	{"bird", "Bird", "Birds", TAG("spbd"), 44, 30, true},
};

file_tag kind_tag(int16 kind)
{
	return kind == DEFAULT_CASTER_KIND ? DEFAULT_CASTER_TAG : default_unit_kind_tags[kind];
}

file_tag kind_spelling_tag(int16 kind)
{
	return kind == DEFAULT_CASTER_KIND ? DEFAULT_CASTER_SPELLING_TAG : default_unit_spelling_tags[kind];
}

// The caster moves and animates as the archer does.
int16 sequence_kind(int16 kind)
{
	return kind == DEFAULT_CASTER_KIND ? static_cast<int16>(1) : kind;
}

const int8 terrain_costs[NUMBER_OF_MONSTER_TERRAIN_TYPES] = {2, 4, -1, -1, 1, 3, 0, 1, 2, 3, 2, 2, -1, -1, -1, -1};
const uint8 movement_modifiers[NUMBER_OF_MONSTER_TERRAIN_TYPES] = {128, 96, 0, 0, 230, 128, 255, 230, 200, 160, 180, 200,
	0, 0, 0, 0};

const char *const unit_names[NUMBER_OF_DEFAULT_UNIT_NAMES] = {"Aldo", "Berwin", "Cato", "Dunmore", "Edric", "Fenwick",
	"Garran", "Holt", "Ivo", "Jessup", "Kell", "Loric", "Marten", "Nils", "Osric", "Pell", "Quill", "Roderic", "Saul",
	"Tamsin", "Ulric", "Varn", "Wendel", "Yorick", "Zane", "Bram", "Corwin", "Dale", "Emmet", "Falk", "Gideon", "Hale"};

projectile_definition scout_blade(void)
{
	projectile_definition d = *get_default_projectile_definition();
	d.collection_tag = DEFAULT_EFFECTS_COLLECTION_TAG;
	d.object_tag = DEFAULT_EFFECT_OBJECT_TAG;
	d.sequence_indexes[_projectile_in_flight_sequence] = NONE;
	d.flags = _projectile_is_melee_attack_flag;
	d.damage = {};
	d.damage.type = _damage_steel_slashing;
	d.damage.damage_lower_bound = 32;
	d.damage.damage_delta = 16;
	return d;
}

// A bloody chunk thrown from the effects collection's spark sequence.
projectile_definition bloody_chunk(int16 lifespan, int16 lifespan_delta)
{
	projectile_definition d = *get_default_projectile_definition();
	d.collection_tag = DEFAULT_EFFECTS_COLLECTION_TAG;
	d.object_tag = DEFAULT_DEBRIS_OBJECT_TAG;
	d.sequence_indexes[_projectile_in_flight_sequence] = _default_effects_spark_sequence;
	d.damage.type = NONE;
	d.projectile_class = _projectile_class_bloody_chunk;
	d.lifespan_lower_bound = lifespan;
	d.lifespan_delta = lifespan_delta;
	d.random_initial_velocity = 8;
	return d;
}

projectile_group_definition chunks(file_tag projectile_tag, int16 count)
{
	projectile_group_definition g = *get_default_projectile_group_definition();
	projectile_group_part_definition &p = g.parts[g.number_of_parts++];
	p = *get_default_projectile_group_part_definition();
	p.projectile_tag = projectile_tag;
	p.count_lower_bound = count;
	p.count_delta = 0;
	return g;
}

// Melee blood: drops in the simulation, the local spatter drawn with them.
projectile_group_definition blood_spatter(void)
{
	projectile_group_definition g = chunks(DEFAULT_BLOOD_DROP_PROJECTILE_TAG, 2);
	g.local_projectile_group_tag = TAG("blod");
	return g;
}

} // namespace

// Movement fields of the swordsman and the archer: deep water and walls
// stop them, rough ground slows them; the swordsman walks around blockage
// and charges (13% faster within 8 cells), and only he turns in place.
static void set_unit_movement_fields(int16 kind, monster_definition *d)
{
	if (kind != 0 && kind != 1) return;
	for (int32 n = 0; n < NUMBER_OF_MONSTER_TERRAIN_TYPES; ++n)
	{
		if (d->terrain_costs[n] < 0) d->terrain_costs[n] = 0;
		d->movement_modifiers[n] = 255;
	}
	d->terrain_costs[_terrain_media_deep] = -1;
	d->terrain_costs[_terrain_walking_impassable] = -1;
	d->terrain_costs[_terrain_flying_impassable] = -1;
	d->movement_modifiers[_terrain_marsh] = 128;
	d->movement_modifiers[_terrain_snow] = 192;
	d->movement_modifiers[_terrain_forest] = 192;

	int16 *s = d->sequence_indexes;
	if (kind == 1)
	{
		s[_monster_sequence_turning] = NONE;
		return;
	}
	d->flags |= _monster_is_skittish_flag;
	d->terrain_costs[4] = 4; // walks around blockage
	d->terrain_costs[6] = 4; // can charge
	d->terrain_costs[7] = 0;
	d->terrain_costs[8] = 13; // charge bonus, percent
	d->terrain_costs[10] = 8; // charge range, cells
	s[_monster_sequence_moving] = _default_unit_moving_sequence;
	s[_monster_sequence_pausing_for_obstacle] = _default_unit_idle_sequence;
	s[_monster_sequence_turning] = _default_unit_moving_sequence;
	s[_monster_sequence_running] = _default_unit_moving_sequence;
}

// What every generated kind shares: the unit pictures, its dying and exploding
// groups (no burning or entrance ones), the terrain tables and the walking sequences.
static monster_definition generated_monster_definition(file_tag object_tag, int16 speed, file_tag spelling)
{
	monster_definition d = *get_default_monster_definition();
	d.collection_tag = DEFAULT_UNIT_COLLECTION_TAG;
	d.object_tag = object_tag;
	d.base_movement_speed = speed;
	d.spelling_string_list_tag = spelling;
	d.dying_projectile_group_tag = DEFAULT_UNIT_DYING_GROUP_TAG;
	d.exploding_projectile_group_tag = DEFAULT_UNIT_EXPLODING_GROUP_TAG;
	d.burning_death_projectile_group_tag = no_tag;
	d.entrance_projectile_group_tag = no_tag;
	memcpy(d.terrain_costs, terrain_costs, sizeof(terrain_costs));
	memcpy(d.movement_modifiers, movement_modifiers, sizeof(movement_modifiers));
	int16 *s = d.sequence_indexes;
	s[_monster_sequence_idle] = _default_unit_idle_sequence;
	s[_monster_sequence_moving] = _default_unit_moving_sequence;
	s[_monster_sequence_pausing_for_obstacle] = _default_unit_idle_sequence;
	s[_monster_sequence_turning] = _default_unit_moving_sequence;
	s[_monster_sequence_taking_damage] = _default_unit_flinch_sequence;
	return d;
}

monster_definition default_unit_monster_definition(int16 kind)
{
	const unit_kind &k = kinds[kind];
	monster_definition d = generated_monster_definition(kind_tag(kind), k.speed, kind_spelling_tag(kind));
	d.monster_class = k.monster_class;
	d.visibility_type = k.visibility;
	d.cost = k.cost;
	d.names_string_list_tag = DEFAULT_UNIT_NAMES_STRING_LIST_TAG;
	d.melee_impact_projectile_group_tag = (kind == 0 || kind == 3) ? DEFAULT_BLOOD_GROUP_TAG : no_tag;
	// Drawing only: scouts raise dust as they run.
	d.local_projectile_group_tag = kind == 3 ? TAG("dust") : no_tag;

	int16 *s = d.sequence_indexes;
	s[_monster_sequence_holding_for_attack] = _default_unit_idle_sequence;
	s[_monster_sequence_propelled] = _default_unit_flinch_sequence;
	if (kind == 0 || sequence_kind(kind) == 1)
	{
		s[_monster_sequence_transition_to_secondary_idle] = _default_unit_secondary_idle_sequence;
		s[_monster_sequence_secondary_idle] = _default_unit_secondary_idle_sequence;
		s[_monster_sequence_transition_to_primary_idle] = _default_unit_idle_sequence;
	}
	if (kind == 3) s[_monster_sequence_running] = _default_unit_moving_sequence;
	set_unit_movement_fields(sequence_kind(kind), &d);

	// Far enough that the front ranks of the battles, 8 to 14 cells apart,
	// find each other in their first scan.
	d.activation_distance = 10240;
	if (k.monster_class == _monster_class_missile)
	{
		// Shooters close on an enemy within their critical distance rather than
		// wait for orders, or a battle whose fighters have fallen never ends. The
		// behaviour bit rides in the terrain-cost bytes the loader decodes for
		// skittish kinds; the bytes it reads stay passable and the experience
		// cap (byte 9) stays at its usual 5.
		d.flags |= _monster_is_skittish_flag;
		d.terrain_costs[4] = 0;
		d.terrain_costs[6] = 0;
		d.terrain_costs[7] = 64; // extra aggressive missile unit
		d.terrain_costs[9] = 5;
		d.critical_distance = d.activation_distance;
	}

	d.combined_power = k.combined_power;
	d.longest_range = k.maximum_range; // the one attack's reach
	d.flags |= k.anti_missile_flags;

	d.number_of_attacks = 1;
	monster_attack_definition &attack = d.attacks[0];
	attack = *get_default_monster_attack_definition();
	attack.flags = _monster_attack_is_primary_flag;
	attack.projectile_tag = k.projectile;
	attack.minimum_range = k.minimum_range;
	attack.maximum_range = k.maximum_range;
	attack.sequences[0].flags = _sequence_normal_flag;
	attack.sequences[0].sequence_index = _default_unit_attack_sequence;
	attack.recovery_time = k.recovery;
	switch (kind)
	{
		case 1:
			attack.flags |= _monster_attack_leads_target_flag;
			attack.initial_velocity_lower_bound = 120;
			attack.initial_velocity_delta = 20;
			// Each of the arrow's three velocity parts is off by up to this much.
			// At 6 an arrow loosed at the listed range came down anywhere within
			// some 700 units of its mark, and two archers at their reach missed
			// each other for good.
			attack.initial_velocity_error = 2;
			break;
		case 2:
			// Bombs burst among friends too: the thrower holds when its own side would pay more.
			attack.flags |= _monster_attack_is_indirect_flag | _monster_attack_uses_ammunition_flag |
				_monster_attack_avoids_friendly_units_flag;
			// A bomb falls 3 a tick each tick: a throw of v carries v * v / 3 at
			// most, so the default 25 never reached the minimum range.
			attack.initial_velocity_lower_bound = 112;
			attack.initial_velocity_delta = 8;
			d.initial_ammunition_lower_bound = 4;
			d.initial_ammunition_delta = 3;
			d.maximum_ammunition_count = 8;
			d.ammunition_projectile_tag = DEFAULT_BOMB_PROJECTILE_TAG;
			d.desired_projectile_volume = default_bomb_projectile().volume;
			d.experience_point_value = 2;
			break;
		case 3:
			d.flags |= _monster_can_be_propelled_flag;
			d.propelled_system_shock = 16384;
			d.damage_to_propulsion = 32768;
			d.turning_speed = 820;
			break;
		case DEFAULT_CASTER_KIND:
			// The bolt follows its strike rather than flying, but the aim still
			// needs a speed to find a solution at all: an arrow's carries the
			// whole reach. A fixed speed takes no draw.
			attack.initial_velocity_lower_bound = 120;
			break;
		default:
			break;
	}
	return d;
}

unit_definition default_unit_definition(int16 kind)
{
	unit_definition d = *get_default_unit_definition();
	d.monster_tag = kind_tag(kind);
	d.collection_reference_tag = DEFAULT_UNIT_REFERENCE_TAG;
	return d;
}

object_definition default_unit_object_definition(int16 kind)
{
	object_definition d = *get_default_object_definition();
	d.flags = _draw_selection_box_flag | _draw_vitality_box_flag | _object_definition_is_solid_flag;
	d.gravity = -2;
	d.maximum_vitality = kinds[kind].vitality;
	d.maximum_vitality_delta = 32;
	d.scale_lower_bound = 256;
	d.scale_delta = 16;
	if (kind == 0) d.effect_modifiers[_effect_modifier_close_range_physical_damage] = 200;
	return d;
}

monster_definition ambient_life_monster_definition(int16 kind)
{
	const ambient_life_kind &k = ambient_kinds[kind];
	monster_definition d = generated_monster_definition(ambient_life_unit_kind_tags[kind], k.speed, k.spelling);
	d.monster_class = _monster_class_ambient_life;
	d.map_action_tag = ambient_life_unit_kind_tags[kind];
	d.names_string_list_tag = no_tag;
	d.melee_impact_projectile_group_tag = no_tag;
	int16 *s = d.sequence_indexes;
	s[_monster_sequence_running] = _default_unit_moving_sequence;
	if (k.flies)
	{
		d.flags |= _monster_flies_flag;
		s[_monster_sequence_gliding] = _default_unit_idle_sequence;
		for (int32 n = 0; n < NUMBER_OF_MONSTER_TERRAIN_TYPES; ++n)
		{
			d.terrain_costs[n] = 0;
			d.movement_modifiers[n] = 255;
		}
	}
	// No attacks: power, range and the fighting fields stay 0.
	d.number_of_attacks = 0;
	return d;
}

object_definition ambient_life_object_definition(int16 kind)
{
	object_definition d = *get_default_object_definition();
	d.flags = _object_definition_is_solid_flag;
	d.gravity = ambient_kinds[kind].flies ? 0 : -2;
	d.maximum_vitality = ambient_kinds[kind].vitality;
	d.maximum_vitality_delta = 8;
	// Smaller than the soldiers they share their sprites with.
	d.scale_lower_bound = kind == 1 ? 224 : 160;
	d.scale_delta = 16;
	return d;
}

std::vector<uint8> stored_monster_definition_bytes(const monster_definition &definition)
{
	std::vector<uint8> bytes = stored_record_bytes(&definition, static_cast<int32>(sizeof(definition)),
		monster_definition_bs_data);
	for (int32 i = 0; i < MAXIMUM_NUMBER_OF_ATTACKS_PER_MONSTER; ++i)
	{
		const std::vector<uint8> attack = stored_record_bytes(&definition.attacks[i],
			static_cast<int32>(sizeof(monster_attack_definition)), monster_attack_definition_bs_data);
		memcpy(bytes.data() + offsetof(monster_definition, attacks) + i * sizeof(monster_attack_definition), attack.data(),
			attack.size());
	}
	return bytes;
}

bool is_default_unit_content_group(file_tag group_tag)
{
	return group_tag == MONSTER_DEFINITION_GROUP_TAG || group_tag == UNIT_DEFINITION_GROUP_TAG;
}

bool make_default_unit_tags(std::vector<int32> *handles)
{
	auto add = [handles](file_tag group, int32 version, file_tag subgroup, const char *name, const std::vector<uint8> &bytes)
	{
		const int32 handle = tag_file_new_with_subgroup_tag(group, name, subgroup, version, bytes.data(),
			static_cast<int32>(bytes.size()));
		if (handle == NONE) return false;
		handles->push_back(handle);
		return true;
	};
	const projectile_definition blade = scout_blade();
	if (!add(PROJECTILE_DEFINITION_GROUP_TAG, PROJECTILE_DEFINITION_VERSION_NUMBER, DEFAULT_SCOUT_BLADE_PROJECTILE_TAG,
			"scout blade", stored_record_bytes(&blade, static_cast<int32>(sizeof(blade)), projectile_definition_bs_data)))
	{
		return false;
	}
	const projectile_definition chunk = bloody_chunk(40, 20), drop = bloody_chunk(8, 4);
	const projectile_group_definition dying = chunks(DEFAULT_BLOODY_CHUNK_PROJECTILE_TAG, 3),
		exploding = chunks(DEFAULT_BLOODY_CHUNK_PROJECTILE_TAG, 6), blood = blood_spatter();
	if (!add(PROJECTILE_DEFINITION_GROUP_TAG, PROJECTILE_DEFINITION_VERSION_NUMBER, DEFAULT_BLOODY_CHUNK_PROJECTILE_TAG,
			"bloody chunk", stored_record_bytes(&chunk, static_cast<int32>(sizeof(chunk)), projectile_definition_bs_data)) ||
		!add(PROJECTILE_DEFINITION_GROUP_TAG, PROJECTILE_DEFINITION_VERSION_NUMBER, DEFAULT_BLOOD_DROP_PROJECTILE_TAG,
			"blood drop", stored_record_bytes(&drop, static_cast<int32>(sizeof(drop)), projectile_definition_bs_data)) ||
		!add(PROJECTILE_GROUP_DEFINITION_GROUP_TAG, PROJECTILE_GROUP_DEFINITION_VERSION_NUMBER, DEFAULT_UNIT_DYING_GROUP_TAG,
			"unit dying", stored_record_bytes(&dying, static_cast<int32>(sizeof(dying)), projectile_group_definition_bs_data)) ||
		!add(PROJECTILE_GROUP_DEFINITION_GROUP_TAG, PROJECTILE_GROUP_DEFINITION_VERSION_NUMBER, DEFAULT_UNIT_EXPLODING_GROUP_TAG,
			"unit exploding", stored_record_bytes(&exploding, static_cast<int32>(sizeof(exploding)),
				projectile_group_definition_bs_data)) ||
		!add(PROJECTILE_GROUP_DEFINITION_GROUP_TAG, PROJECTILE_GROUP_DEFINITION_VERSION_NUMBER, DEFAULT_BLOOD_GROUP_TAG, "blood",
			stored_record_bytes(&blood, static_cast<int32>(sizeof(blood)), projectile_group_definition_bs_data)))
	{
		return false;
	}
	const int32 names = make_string_list_tag(DEFAULT_UNIT_NAMES_STRING_LIST_TAG, "unit names", unit_names,
		NUMBER_OF_DEFAULT_UNIT_NAMES);
	if (names == NONE) return false;
	handles->push_back(names);
	for (int16 kind = 0; kind < NUMBER_OF_GENERATED_UNIT_KINDS; ++kind)
	{
		const unit_kind &k = kinds[kind];
		const char *spelling[] = {k.singular, k.plural, "Nothing carried"};
		const int32 list = make_string_list_tag(kind_spelling_tag(kind), k.name, spelling, 3);
		if (list == NONE) return false;
		handles->push_back(list);
		const object_definition body = default_unit_object_definition(kind);
		const unit_definition unit = default_unit_definition(kind);
		const file_tag tag = kind_tag(kind);
		if (!add(OBJECT_DEFINITION_GROUP_TAG, OBJECT_DEFINITION_VERSION_NUMBER, tag, k.name,
				stored_record_bytes(&body, static_cast<int32>(sizeof(body)), object_definition_bs_data)) ||
			!add(MONSTER_DEFINITION_GROUP_TAG, MONSTER_DEFINITION_VERSION_NUMBER, tag, k.name,
				stored_monster_definition_bytes(default_unit_monster_definition(kind))) ||
			!add(UNIT_DEFINITION_GROUP_TAG, UNIT_DEFINITION_VERSION_NUMBER, tag, k.name,
				stored_record_bytes(&unit, static_cast<int32>(sizeof(unit)), unit_definition_bs_data)))
		{
			return false;
		}
	}
	for (int16 kind = 0; kind < NUMBER_OF_AMBIENT_LIFE_UNIT_KINDS; ++kind)
	{
		const ambient_life_kind &k = ambient_kinds[kind];
		const char *spelling[] = {k.singular, k.plural, "Nothing carried"};
		const int32 list = make_string_list_tag(k.spelling, k.name, spelling, 3);
		if (list == NONE) return false;
		handles->push_back(list);
		const object_definition body = ambient_life_object_definition(kind);
		unit_definition unit = *get_default_unit_definition();
		const file_tag tag = ambient_life_unit_kind_tags[kind];
		unit.monster_tag = tag;
		unit.collection_reference_tag = DEFAULT_UNIT_REFERENCE_TAG;
		if (!add(OBJECT_DEFINITION_GROUP_TAG, OBJECT_DEFINITION_VERSION_NUMBER, tag, k.name,
				stored_record_bytes(&body, static_cast<int32>(sizeof(body)), object_definition_bs_data)) ||
			!add(MONSTER_DEFINITION_GROUP_TAG, MONSTER_DEFINITION_VERSION_NUMBER, tag, k.name,
				stored_monster_definition_bytes(ambient_life_monster_definition(kind))) ||
			!add(UNIT_DEFINITION_GROUP_TAG, UNIT_DEFINITION_VERSION_NUMBER, tag, k.name,
				stored_record_bytes(&unit, static_cast<int32>(sizeof(unit)), unit_definition_bs_data)))
		{
			return false;
		}
	}
	return true;
}
