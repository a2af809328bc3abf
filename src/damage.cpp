#include "damage.h"

#include <cstdint>
#include <cstring>

#include "error_manager.h"
#include "flags.h"
#include "mesh.h"
#include "monsters.h"
#include "objects.h"
#include "projectiles.h"
#include "scenery.h"
#include "world.h"
#include "zerv.h"

constexpr byte_swap_code damage_definition_bs_data[] = {_begin_bs_array, 1, DAMAGE_DEFINITION_BS_CODES, _end_bs_array};
static_assert(get_byte_swap_struct_size(damage_definition_bs_data) == sizeof(damage_definition));

datum_globals explosion_array = {"explosion", MAXIMUM_EXPLOSIONS_PER_MAP, sizeof(explosion_data), 0};

// An object an instantaneous blow will reach, listed before any blow lands
// because a blow may relink the chains being walked.
struct pending_blow
{
	int16 object_index;
	int16 object_identifier;
	int32 distance;
};

// Nested instantaneous damage stacks its lists on top of the caller's.
#define MAXIMUM_PENDING_BLOWS (2 * MAXIMUM_OBJECTS_PER_MAP)

struct damage_globals_data
{
	pending_blow *pending; // MAXIMUM_PENDING_BLOWS
	int32 pending_top;
	int16 must_include_cursor; // where the last forced inclusion stopped
};

static damage_globals_data damage_globals = {nullptr, 0, 0};

/* ---------- life cycle */

void initialize_explosions(void)
{
	explosion_array.maximum_count = MAXIMUM_EXPLOSIONS_PER_MAP;
	initialize_data(&explosion_array);
	if (!damage_globals.pending)
	{
		damage_globals.pending = static_cast<pending_blow *>(new_pointer(sizeof(pending_blow) * MAXIMUM_PENDING_BLOWS));
		if (!damage_globals.pending)
		{
			error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate the damage lists.");
		}
	}
	damage_globals.pending_top = 0;
	damage_globals.must_include_cursor = 0;
	register_monster_died_proc(orphan_monster_explosions);
}

void initialize_explosions_for_new_map(void)
{
	explosion_array.maximum_count = MAXIMUM_EXPLOSIONS_PER_MAP;
	initialize_data_for_new_map(&explosion_array);
	if (game_play_version == 1300)
	{
		explosion_array.maximum_count = MAXIMUM_EXPLOSIONS_PER_MAP_13;
	}
	else if (game_play_version < 1711)
	{
		explosion_array.maximum_count = MAXIMUM_EXPLOSIONS_PER_MAP_15;
	}
	damage_globals.pending_top = 0;
	damage_globals.must_include_cursor = 0;
}

void dispose_explosions_from_old_map(void)
{
	dispose_data_from_old_map(&explosion_array);
}

explosion_data *get_explosion_data(int16 explosion_index)
{
	return static_cast<explosion_data *>(try_and_get_datum(&explosion_array, explosion_index));
}

void initialize_damage_data(damage_data *data)
{
	memset(data, 0, sizeof(*data));
	data->owner_unit_index = NONE;
	data->owner_monster_index = NONE;
	data->owner_monster_identifier = NONE;
	data->detonation_projectile_group_type = NONE;
	data->scale = 256;
}

/* ---------- scans */

static int16 rolled_radius(const damage_definition *definition)
{
	const int32 radius = definition->radius_lower_bound + zerv_random_below(definition->radius_delta);
	return static_cast<int16>(PIN(radius, 0, MAXIMUM_EXPLOSION_RADIUS));
}

// The cells an area of radius r reaches: rows inclusive, columns to an
// exclusive ceiling. FALSE when no cell is reached.
static boolean start_area_walk(object_cell_walk *walk, const world_point3d *epicenter, int32 radius)
{
	if (!mesh_globals || !mesh_globals->mesh_cells) return FALSE;
	const int32 y0 = MAX(0, (epicenter->y - radius) >> WORLD_FRACTIONAL_BITS);
	const int32 y1 = MIN((epicenter->y + radius + WORLD_ONE - 1) >> WORLD_FRACTIONAL_BITS, mesh_globals->mesh_height - 1);
	const int32 x0 = MAX(0, (epicenter->x - radius) >> WORLD_FRACTIONAL_BITS);
	const int32 x_end = MIN((epicenter->x + radius + WORLD_ONE - 1) >> WORLD_FRACTIONAL_BITS, mesh_globals->mesh_width - 1);
	if (y0 > y1 || x0 >= x_end || x0 >= mesh_globals->mesh_width || y0 >= mesh_globals->mesh_height) return FALSE;
	start_object_cell_walk(walk, x0, y0, x_end - 1, y1);
	return TRUE;
}

// The record of an index the cell walk handed out (always in use).
static inline const object_data *walked_object(int16 object_index)
{
	return static_cast<const object_data *>(object_array.data) + object_index;
}

// The distance from the epicenter when below radius, else -1. A coordinate
// difference of radius or more settles it without the square root.
static inline int32 distance_within(const world_point3d *epicenter, const world_point3d *p, int32 radius)
{
	const int64 dx = static_cast<int64>(p->x) - epicenter->x, dy = static_cast<int64>(p->y) - epicenter->y;
	const int64 dz = static_cast<int64>(p->z) - epicenter->z;
	if (dx >= radius || dx <= -radius || dy >= radius || dy <= -radius || dz >= radius || dz <= -radius) return -1;
	const int32 distance = distance3d(epicenter, p);
	return distance < radius ? distance : -1;
}

static boolean object_is_damage_owner(const object_data *object, const damage_data *data)
{
	if (object->owner != _object_is_monster || object->owner_index != data->owner_monster_index) return FALSE;
	const monster_data *monster = get_monster_data(object->owner_index);
	return monster && monster->identifier == data->owner_monster_identifier;
}

static int32 blow_scale(int32 distance, int32 radius)
{
	if (radius <= 0) return 256;
	return 256 - (distance - (distance >> 2)) * 256 / radius;
}

static void instantaneous_area_damage(const damage_definition *definition, damage_data *data)
{
	const int32 radius = rolled_radius(definition);
	const uint32 allowed_kinds = definition->type == _damage_gas ? FLAG(_object_is_monster) : ACCELERATEABLE_OBJECT_OWNER_FLAGS;
	const boolean excludes_owner = (definition->flags & _damage_cannot_hurt_owner_flag) != 0;
	const world_point3d epicenter = data->epicenter;
	object_cell_walk walk;
	if (!start_area_walk(&walk, &epicenter, radius)) return;

	if (!damage_globals.pending) return;
	const int32 base = damage_globals.pending_top;
	int32 top = base;
	for (int16 object_index = next_object_in_cell_walk(&walk); object_index != NONE;
		 object_index = next_object_in_cell_walk(&walk))
	{
		const object_data *object = walked_object(object_index);
		if (game_play_version >= 1301 && (object->flags & _object_is_flag_flag) && definition->type == _damage_fire) continue;
		if (object->flags & (_object_is_invisible_flag | _object_cannot_be_accelerated_flag)) continue;
		if (object->owner < 0 || !(allowed_kinds & FLAG(object->owner))) continue;
		if (excludes_owner && object_is_damage_owner(object, data)) continue;
		const int32 distance = distance_within(&epicenter, &object->location.position, radius);
		if (distance < 0 || top >= MAXIMUM_PENDING_BLOWS) continue;
		damage_globals.pending[top++] = {object_index, object->identifier, distance};
	}
	damage_globals.pending_top = top;
	for (int32 i = base; i < top; ++i)
	{
		const pending_blow blow = damage_globals.pending[i];
		const object_data *object = get_object_data(blow.object_index);
		if (!object || object->identifier != blow.object_identifier) continue;
		data->scale = static_cast<short_fixed>(blow_scale(blow.distance, radius));
		accelerate_object(blow.object_index, definition, data);
	}
	damage_globals.pending_top = base;
}

/* ---------- explosions */

static int16 explosion_to_evict(void)
{
	int16 best = NONE;
	// Progress may be negative (a radius that starts below zero).
	int32 best_progress = INT32_MIN;
	for (int16 i = 0; i < explosion_array.count; ++i)
	{
		const explosion_data *explosion = get_explosion_data(i);
		if (!explosion) continue;
		// An explosion of radius 0 has nothing left to reach.
		const int32 progress = explosion->maximum_radius <= 0 ? 65536 :
			static_cast<int32>(static_cast<int64>(explosion->current_radius) * 65536 / explosion->maximum_radius);
		if (progress > best_progress)
		{
			best_progress = progress;
			best = i;
		}
	}
	return best;
}

static void add_explosion_reference(explosion_data *explosion, int16 object_index, const object_data *object, int32 distance)
{
	const object_reference reference = {object_index, object->identifier, static_cast<int16>(distance), 0};
	if (explosion->object_reference_count < MAXIMUM_OBJECT_REFERENCES_PER_EXPLOSION)
	{
		explosion->object_references[explosion->object_reference_count++] = reference;
		return;
	}
	if (!(object->flags & _object_must_be_included_in_explosions_flag)) return;
	for (int16 i = damage_globals.must_include_cursor; i < MAXIMUM_OBJECT_REFERENCES_PER_EXPLOSION; ++i)
	{
		const object_data *listed = get_object_data(explosion->object_references[i].object_index);
		if (listed && (listed->flags & _object_must_be_included_in_explosions_flag)) continue;
		explosion->object_references[i] = reference;
		damage_globals.must_include_cursor = static_cast<int16>(i + 1);
		return;
	}
	damage_globals.must_include_cursor = MAXIMUM_OBJECT_REFERENCES_PER_EXPLOSION;
}

static void new_explosion(const damage_definition *definition, const damage_data *data)
{
	int16 explosion_index = new_datum(&explosion_array);
	if (explosion_index == NONE)
	{
		const int16 victim = explosion_to_evict();
		if (victim == NONE) return;
		delete_datum(&explosion_array, victim);
		explosion_index = new_datum(&explosion_array);
		if (explosion_index == NONE) return;
	}
	explosion_data *explosion = get_explosion_data(explosion_index);
	const int16 identifier = explosion->identifier;
	memset(explosion, 0, sizeof(*explosion));
	explosion->identifier = identifier;
	explosion->maximum_radius = rolled_radius(definition);
	explosion->current_radius = 0;
	explosion->damage = *definition;
	explosion->data = *data;
	damage_globals.must_include_cursor = 0;

	const int32 radius = explosion->maximum_radius;
	const boolean excludes_owner = (definition->flags & _damage_cannot_hurt_owner_flag) != 0;
	object_cell_walk walk;
	if (!start_area_walk(&walk, &data->epicenter, radius)) return;
	for (int16 object_index = next_object_in_cell_walk(&walk); object_index != NONE;
		 object_index = next_object_in_cell_walk(&walk))
	{
		const object_data *object = walked_object(object_index);
		if (game_play_version >= 1501)
		{
			const object_definition *object_definition = get_object_definition(object->type);
			if (object_definition && (object_definition->flags & _object_ignores_area_of_effect_damage_flag)) continue;
		}
		if (game_play_version >= 1401 && (object->flags & _object_is_flag_flag) && definition->type == _damage_fire) continue;
		if (object->flags & (_object_is_invisible_flag | _object_cannot_be_accelerated_flag)) continue;
		if (object->owner < 0 || !(ACCELERATEABLE_OBJECT_OWNER_FLAGS & FLAG(object->owner))) continue;
		if (excludes_owner && object_is_damage_owner(object, data)) continue;
		const int32 distance = distance_within(&data->epicenter, &object->location.position, radius);
		if (distance < 0) continue;
		add_explosion_reference(explosion, object_index, object, distance);
	}
}

void cause_damage(int16 object_index, const damage_definition *definition, damage_data *data)
{
	if (!definition || !data) return;
	if (definition->flags & _damage_instantaneous_flag)
	{
		instantaneous_area_damage(definition, data);
	}
	else if (!(definition->flags & _damage_area_of_effect_flag))
	{
		const object_data *object = get_object_data(object_index);
		if (!object || (object->flags & _object_is_invisible_flag)) return;
		data->scale = 256;
		accelerate_object(object_index, definition, data);
	}
	else
	{
		new_explosion(definition, data);
	}
}

void update_explosions(void)
{
	for (int16 i = 0; i < explosion_array.count; ++i)
	{
		explosion_data *explosion = get_explosion_data(i);
		if (!explosion) continue;
		const int16 identifier = explosion->identifier;
		explosion->current_radius = static_cast<int16>(
			PIN(static_cast<int32>(explosion->current_radius) + explosion->damage.rate_of_expansion, -32768, 32767));
		boolean ended = FALSE;
		for (int16 r = 0; r < explosion->object_reference_count; ++r)
		{
			object_reference *reference = &explosion->object_references[r];
			if (reference->radius >= explosion->current_radius) continue;
			const object_data *object = get_object_data(reference->object_index);
			if (object && object->identifier == reference->object_identifier &&
				!(game_play_version >= 1711 && (object->flags & _object_is_invisible_flag)))
			{
				// Copies: the blow may evict and reuse this record.
				const damage_definition definition = explosion->damage;
				damage_data data = explosion->data;
				data.scale = static_cast<short_fixed>(MAX(0, blow_scale(reference->radius, explosion->maximum_radius)));
				accelerate_object(reference->object_index, &definition, &data);
				explosion = get_explosion_data(i);
				if (!explosion || explosion->identifier != identifier)
				{
					ended = TRUE;
					break;
				}
				// The owner may have died in the blow and been cleared: keep that.
				data.owner_unit_index = explosion->data.owner_unit_index;
				data.owner_monster_index = explosion->data.owner_monster_index;
				data.owner_monster_identifier = explosion->data.owner_monster_identifier;
				explosion->data = data;
				reference = &explosion->object_references[r];
			}
			reference->radius = EXPLOSION_REFERENCE_HIT;
		}
		if (!ended && explosion->current_radius >= explosion->maximum_radius) delete_datum(&explosion_array, i);
	}
}

/* ---------- a blow */

void accelerate_object(int16 object_index, const damage_definition *definition, damage_data *data)
{
	const object_data *object = get_object_data(object_index);
	if (!object || !definition || !data) return;
	int32 damage = definition->damage_lower_bound + zerv_random_below(definition->damage_delta);
	if (game_play_version >= 1301 && damage != 0 && data->mana_proportion != 0.0f)
	{
		const volatile float product = static_cast<float>(damage) * data->mana_proportion;
		damage = static_cast<int16>(static_cast<int32>(product));
	}
	if (definition->flags & _damage_proportional_to_velocity_flag)
	{
		data->scale = static_cast<short_fixed>((world_magnitude3d(&data->vector) * static_cast<int32>(data->scale)) >> 8);
	}
	data->damage = static_cast<short_fixed>((damage * static_cast<int32>(data->scale)) >> 8);
	if (game_play_version == 1300 && data->damage < 0) data->damage = 0;
	if (!(definition->flags & _damage_instantaneous_flag))
	{
		data->velocity = static_cast<short_world_distance>(
			MIN((static_cast<int32>(data->damage) * definition->damage_to_velocity) >> 12, MAXIMUM_VELOCITY_DUE_TO_EXPLOSION));
	}
	switch (object->owner)
	{
	case _object_is_scenery:
		accelerate_scenery(object_index, definition, data);
		break;
	case _object_is_monster:
		if (!(definition->flags & _damage_does_not_effect_monsters_flag))
		{
			accelerate_monster(definition, data, object->owner_index);
		}
		break;
	case _object_is_projectile:
	case _object_is_dormant_projectile:
		accelerate_projectile(definition, data, object_index);
		break;
	case _object_is_flag:
		accelerate_flag(definition, data, object->owner_index);
		break;
	default:
		break;
	}
}

/* ---------- units */

void orphan_monster_explosions(int16 monster_index, uint16)
{
	if (game_play_version < 1601) return;
	for (int16 i = 0; i < explosion_array.count; ++i)
	{
		explosion_data *explosion = get_explosion_data(i);
		if (!explosion || explosion->data.owner_monster_index != monster_index) continue;
		explosion->data.owner_monster_index = NONE;
		explosion->data.owner_monster_identifier = NONE;
	}
}

/* ---------- digest */

static void fold_damage_definition(zerv_digest *digest, const damage_definition *d)
{
	const int16 fields[8] = {d->type, static_cast<int16>(d->flags), d->damage_lower_bound, d->damage_delta,
		d->radius_lower_bound, d->radius_delta, d->rate_of_expansion, d->damage_to_velocity};
	for (int16 field : fields) zerv_digest_int16(digest, field);
}

void fold_explosions_digest(zerv_digest *digest)
{
	zerv_digest_uint32(digest, datum_globals_digest(&explosion_array));
	if (!explosion_array.data) return;
	for (int16 i = 0; i < explosion_array.count; ++i)
	{
		const explosion_data *e = get_explosion_data(i);
		if (!e) continue;
		zerv_digest_int16(digest, i);
		zerv_digest_int16(digest, e->identifier);
		zerv_digest_int16(digest, e->object_reference_count);
		zerv_digest_int16(digest, e->current_radius);
		zerv_digest_int16(digest, e->maximum_radius);
		fold_damage_definition(digest, &e->damage);
		const damage_data *d = &e->data;
		const int16 words[] = {d->owner_unit_index, d->owner_monster_index, d->owner_monster_identifier,
			d->detonation_projectile_group_type, d->vector.i, d->vector.j, d->vector.k, d->scale, d->velocity, d->damage,
			static_cast<int16>(d->flags), d->mana_used};
		for (int16 word : words) zerv_digest_int16(digest, word);
		zerv_digest_int32(digest, d->epicenter.x);
		zerv_digest_int32(digest, d->epicenter.y);
		zerv_digest_int32(digest, d->epicenter.z);
		uint32 proportion;
		memcpy(&proportion, &d->mana_proportion, sizeof(proportion));
		zerv_digest_uint32(digest, proportion);
		for (int16 r = 0; r < e->object_reference_count; ++r)
		{
			const object_reference *reference = &e->object_references[r];
			zerv_digest_int16(digest, reference->object_index);
			zerv_digest_int16(digest, reference->object_identifier);
			zerv_digest_int16(digest, reference->radius);
		}
	}
}
