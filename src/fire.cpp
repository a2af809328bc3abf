#include "fire.h"

#include <cstring>

#include "damage.h"
#include "data.h"
#include "error_manager.h"
#include "local_projectiles.h"
#include "mesh.h"
#include "mirror_groups.h"
#include "monsters.h"
#include "object_definitions.h"
#include "objects.h"
#include "world.h"
#include "zerv.h"

const fixed_fraction terrain_starting_chance[16] = {
	0, 0, 0, 0, 65535, 65535, 65535, 65535, 65535, 65535, 0, 65535, 65535, 65535, 65535, 65535};
const fixed_fraction terrain_spreading_chance[16] = {
	0, 0, 0, 0, 32768, 0, 32768, 0, 0, 32768, 0, 32768, 0, 0, 32768, 32768};

static datum_globals fire_cell_array = {"fire cells", MAXIMUM_CELLS_ON_FIRE_PER_MAP, sizeof(fire_cell_data), 0};

struct fire_module_data
{
	fire_globals_data globals;
	// The flame and smoke group definitions: the mirrors' simulation side,
	// the same on every machine whether or not the shared groups could be made.
	int16 fire_type, smoke_type;
	boolean map_can_burn;
	uint8 *burning; // one mark per cell: path search asks per node
	int32 burning_size;
};
static fire_module_data fire_module = {};

static const fire_test_hooks_data initial_fire_test_hooks = {};
static fire_test_hooks_data fire_test_hooks = initial_fire_test_hooks;
fire_test_hooks_data *get_fire_test_hooks(void) { return &fire_test_hooks; }
void reset_fire_test_hooks(void) { fire_test_hooks = initial_fire_test_hooks; }

fire_cell_data *get_fire_cell_data(int16 index)
{
	return static_cast<fire_cell_data *>(try_and_get_datum(&fire_cell_array, index));
}

const fire_globals_data *get_fire_globals(void) { return &fire_module.globals; }

fixed_fraction cell_fire_chance(const fixed_fraction *table, uint16 cell_flags)
{
	const int32 low = table[cell_flags & CELL_TERRAIN_TYPE_MASK];
	const int32 high = table[(cell_flags >> CELL_TERRAIN_TYPE_BITS) & CELL_TERRAIN_TYPE_MASK];
	return static_cast<fixed_fraction>((low + high) >> 1);
}

// A chance of 0 never passes, whatever the draw; the draw is taken either way.
static boolean chance_passes(fixed_fraction chance)
{
	const uint16 draw = zerv_random();
	return chance != 0 && chance >= draw;
}

static boolean cell_in_mesh(int32 x, int32 y)
{
	return mesh_globals && mesh_globals->mesh_cells && x >= 0 && y >= 0 && x < mesh_globals->mesh_width &&
		y < mesh_globals->mesh_height;
}

static boolean model_near_cell(int32 x, int32 y)
{
	for (int32 cy = MAX(0, y - MODEL_SEARCH_RADIUS); cy <= MIN(mesh_globals->mesh_height - 1, y + MODEL_SEARCH_RADIUS); ++cy)
	{
		for (int32 cx = MAX(0, x - MODEL_SEARCH_RADIUS); cx <= MIN(mesh_globals->mesh_width - 1, x + MODEL_SEARCH_RADIUS); ++cx)
		{
			if (get_mesh_cell(cx, cy)->model_index != NONE) return TRUE;
		}
	}
	return FALSE;
}

static void set_burning_mark(int32 x, int32 y, uint8 value)
{
	const int32 index = y * mesh_globals->mesh_width + x;
	if (fire_module.burning && index >= 0 && index < fire_module.burning_size) fire_module.burning[index] = value;
}

/* ---------- life cycle */

void initialize_fire(void)
{
	initialize_data(&fire_cell_array);
	dispose_pointer(fire_module.burning);
	fire_module = {};
	initialize_mirror_groups();
	register_monster_died_proc(orphan_monster_fires);
}

static const uint8 SMOKE_GROUP_FLAGS = _group_is_never_visible_flag;
static const uint8 FLAME_GROUP_FLAGS = _group_is_never_visible_flag | _group_is_internal_fire_group_flag;

static int16 shared_fire_group(int16 type, uint8 flags, const world_point3d *centre)
{
	if (type == NONE) return NONE;
	new_local_projectile_group_data request = {};
	request.type = type;
	request.flags = flags;
	request.center = *centre;
	request.central_object_index = request.central_object_identifier = NONE;
	request.bounds_object_index = request.bounds_object_identifier = NONE;
	request.color_table_index = NONE;
	return new_local_projectile_group(&request);
}

void initialize_fire_for_new_map(void)
{
	initialize_mirror_groups_for_new_map();
	initialize_data_for_new_map(&fire_cell_array);
	dispose_pointer(fire_module.burning);
	fire_module = {};
	fire_module.fire_type = fire_module.smoke_type = NONE;
	for (int16 &group : fire_module.globals.fire_groups) group = NONE;
	for (int16 &group : fire_module.globals.smoke_groups) group = NONE;
	if (!mesh_globals || !mesh_globals->mesh_cells || !mesh_globals->header ||
		!(mesh_globals->header->flags & _mesh_can_catch_fire_flag))
	{
		return;
	}
	fire_module.burning_size = mesh_globals->mesh_width * mesh_globals->mesh_height;
	fire_module.burning = static_cast<uint8 *>(new_pointer(fire_module.burning_size));
	if (!fire_module.burning)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for fire cells.",
			static_cast<int>(fire_module.burning_size));
		fire_module.burning_size = 0;
		return;
	}
	memset(fire_module.burning, 0, fire_module.burning_size);
	fire_module.map_can_burn = TRUE;
	const world_point3d centre = {mesh_globals->mesh_width * 256, mesh_globals->mesh_height * 256, 0};
	fire_module.smoke_type = local_projectile_group_definition_tag_to_index(SMOKE_PROJECTILE_GROUP_TAG);
	fire_module.fire_type = local_projectile_group_definition_tag_to_index(FIRE_PROJECTILE_GROUP_TAG);
	// Shared for the whole map: never drawn themselves, only through mirrors.
	for (int16 &group : fire_module.globals.smoke_groups)
	{
		group = shared_fire_group(fire_module.smoke_type, SMOKE_GROUP_FLAGS, &centre);
	}
	for (int16 &group : fire_module.globals.fire_groups)
	{
		group = shared_fire_group(fire_module.fire_type, FLAME_GROUP_FLAGS, &centre);
	}
	fire_module.globals.ticks_until_fire_can_spread =
		TICKS_TILL_SPREADING_LOWER_BOUND + zerv_random_below(TICKS_TILL_SPREADING_DELTA);
}

void dispose_fire_from_old_map(void)
{
	dispose_mirror_groups_from_old_map();
	if (fire_cell_array.data) dispose_data_from_old_map(&fire_cell_array);
	dispose_pointer(fire_module.burning);
	fire_module = {};
}

/* ---------- units */

// The modifier fire damage meets: the magical one (entry 4).
static short_fixed fire_effect_modifier(const object_data *object)
{
	const int16 entry = _damage_kinetic;
	if (game_play_version < 1601)
	{
		const object_definition *definition = get_object_definition(object->type);
		return definition ? definition->effect_modifiers[entry] : static_cast<short_fixed>(0);
	}
	const short_fixed *modifiers = get_monster_effect_modifiers(object->owner_index);
	return modifiers ? modifiers[entry] : static_cast<short_fixed>(0);
}

void tell_nearby_monsters_to_recalculate_paths(int32 cell_x, int32 cell_y, boolean make_units_retreat)
{
	if (!mesh_globals || !mesh_globals->mesh_cells) return;
	object_cell_walk walk;
	start_object_cell_walk(&walk, cell_x - MESH_CELL_SEARCH_RADIUS, cell_y - MESH_CELL_SEARCH_RADIUS,
		cell_x + MESH_CELL_SEARCH_RADIUS, cell_y + MESH_CELL_SEARCH_RADIUS);
	const world_distance x_limit = mesh_globals->mesh_width * WORLD_ONE - 1, y_limit = mesh_globals->mesh_height * WORLD_ONE - 1;
	for (int16 object_index = next_object_in_cell_walk(&walk); object_index != NONE; object_index = next_object_in_cell_walk(&walk))
	{
		const object_data *object = get_object_data(object_index);
		if (!object || object->owner != _object_is_monster) continue;
		monster_data *monster = get_monster_data(object->owner_index);
		if (!monster || fire_effect_modifier(object) <= 0) continue;
		monster->flags |= _monster_needs_new_path_flag;
		if (!make_units_retreat || monster->path_index != NONE || (monster->flags & _monster_standing_ground_flag)) continue;
		const int32 dx = (object->location.position.x >> WORLD_FRACTIONAL_BITS) - cell_x;
		const int32 dy = (object->location.position.y >> WORLD_FRACTIONAL_BITS) - cell_y;
		if (dx < -RETREAT_CELL_RADIUS || dx > RETREAT_CELL_RADIUS || dy < -RETREAT_CELL_RADIUS || dy > RETREAT_CELL_RADIUS) continue;
		const world_point2d waypoint = {PIN(object->location.position.x + WORLD_ONE * dx, 0, x_limit),
			PIN(object->location.position.y + WORLD_ONE * dy, 0, y_limit)};
		set_monster_waypoints(object->owner_index, 1, &waypoint, 0, monster->final_desired_yaw);
	}
}

void orphan_monster_fires(int16 monster_index, uint16)
{
	if (game_play_version < 1701 || !fire_cell_array.data) return;
	for (int16 index = 0; index < fire_cell_array.count; ++index)
	{
		fire_cell_data *fire = get_fire_cell_data(index);
		if (!fire || fire->owner_monster_index != monster_index) continue;
		fire->owner_monster_index = fire->owner_monster_identifier = NONE;
	}
}

/* ---------- starting and spreading */

void start_fire(const new_fire_cell_data *data)
{
	if (!fire_module.map_can_burn || !data || !cell_in_mesh(data->x, data->y)) return;
	get_mesh_cell(data->x, data->y)->flags |= _mesh_cell_was_or_is_on_fire_flag;
	const int16 index = new_datum(&fire_cell_array);
	if (index == NONE)
	{
		log_message(nullptr, -1, "new_fire_cell failed!");
		return;
	}
	fire_cell_data *fire = get_fire_cell_data(index);
	fire->x = data->x;
	fire->y = data->y;
	fire->chance_of_spreading = data->chance_of_spreading;
	fire->owner_unit_index = data->owner_unit_index;
	fire->owner_monster_index = data->owner_monster_index;
	fire->owner_monster_identifier = data->owner_monster_identifier;
	fire->fire_mirror_group_index = NONE;
	set_burning_mark(data->x, data->y, 1);
	tell_nearby_monsters_to_recalculate_paths(data->x, data->y, TRUE);

	const int32 duration = FIRE_DURATION_LOWER_BOUND + zerv_random_below(FIRE_DURATION_DELTA);
	const int16 fire_group = fire_module.globals.fire_groups[zerv_random_below(NUMBER_OF_FIRE_PROJECTILE_GROUPS)];
	const int16 smoke_group = fire_module.globals.smoke_groups[zerv_random_below(NUMBER_OF_SMOKE_PROJECTILE_GROUPS)];
	// The flames and smoke are mirrors of the shared groups. A mirror is made
	// from the group definitions, so it lives alike on a machine that could
	// not make the shared groups (it only shows nothing there). Without a
	// flame mirror (a full array, no 'fire' definition) the fire goes out
	// after the life the mirror would have had, rather than burning for ever.
	new_mirror_group_data flames = {fire_group, {}, duration, FIRE_MIRROR_TRANSITION_TICKS, FIRE_MIRROR_TRANSITION_TICKS,
		fire_module.fire_type, FLAME_GROUP_FLAGS};
	const world_point2d cell_centre = {data->x * 512 + 256, data->y * 512 + 256};
	flames.center = {cell_centre.x, cell_centre.y, get_mesh_height(&cell_centre, _land_height)};
	new_mirror_group_data smoke = flames;
	smoke.parent_projectile_group_index = smoke_group;
	smoke.parent_type = fire_module.smoke_type;
	smoke.parent_flags = SMOKE_GROUP_FLAGS;
	smoke.center.z += 640;
	const int16 flame_mirror = flames.parent_type == NONE ? static_cast<int16>(NONE) : new_mirror_group(&flames);
	if (smoke.parent_type != NONE) new_mirror_group(&smoke);
	fire = get_fire_cell_data(index);
	if (fire) fire->fire_mirror_group_index = flame_mirror;
	if (fire && fire->fire_mirror_group_index == NONE)
	{
		fire->ticks_until_burnt_out = FIRE_MIRROR_TRANSITION_TICKS + duration + 1 + FIRE_MIRROR_TRANSITION_TICKS;
	}
}

void try_to_start_fire(int16 owner_unit_index, int16 owner_monster_index, int16 owner_monster_identifier, int32 cell_x,
	int32 cell_y)
{
	if (!fire_module.map_can_burn || !cell_in_mesh(cell_x, cell_y)) return;
	const mesh_cell *cell = get_mesh_cell(cell_x, cell_y);
	if (cell->flags & _mesh_cell_was_or_is_on_fire_flag) return;
	if (model_near_cell(cell_x, cell_y)) return;
	if (!chance_passes(cell_fire_chance(terrain_starting_chance, cell->flags))) return;
	const new_fire_cell_data data = {static_cast<int16>(cell_x), static_cast<int16>(cell_y), 65535, owner_unit_index,
		owner_monster_index, owner_monster_identifier};
	start_fire(&data);
}

void mark_as_burnable(new_fire_cell_data *burnable_cells, int16 *burnable_cell_count, int32 cell_x, int32 cell_y,
	fixed_fraction source_chance_of_spreading, int16 owner_unit_index, int16 owner_monster_index,
	int16 owner_monster_identifier)
{
	if (model_near_cell(cell_x, cell_y)) return;
	if (!(zerv_random() < source_chance_of_spreading)) return;
	const fixed_fraction chance = static_cast<fixed_fraction>(
		source_chance_of_spreading < SPREADING_CHANCE_DELTA ? 0 : source_chance_of_spreading - SPREADING_CHANCE_DELTA);
	for (int16 i = 0; i < *burnable_cell_count; ++i)
	{
		new_fire_cell_data *candidate = &burnable_cells[i];
		if (candidate->x == cell_x && candidate->y == cell_y)
		{
			candidate->chance_of_spreading = MAX(candidate->chance_of_spreading, chance);
			return;
		}
	}
	if (*burnable_cell_count >= MAXIMUM_CELLS_ON_FIRE_PER_MAP) return;
	burnable_cells[*burnable_cell_count] = {static_cast<int16>(cell_x), static_cast<int16>(cell_y), chance, owner_unit_index,
		owner_monster_index, owner_monster_identifier};
	*burnable_cell_count += 1;
}

static void damage_near_fire(const fire_cell_data *fire)
{
	static const damage_definition fire_damage = {_damage_fire,
		static_cast<uint16>(_damage_instantaneous_flag | _damage_does_not_make_monsters_flinch_flag), 64, 32, 256, 256, 0, 0};
	damage_data damage = {};
	damage.owner_unit_index = fire->owner_unit_index;
	damage.owner_monster_index = fire->owner_monster_index;
	damage.owner_monster_identifier = fire->owner_monster_identifier;
	damage.detonation_projectile_group_type = NONE;
	const world_point2d centre = {fire->x * WORLD_ONE + WORLD_ONE / 2, fire->y * WORLD_ONE + WORLD_ONE / 2};
	damage.epicenter = {centre.x, centre.y, get_mesh_height(&centre, _land_height)};
	cause_damage(NONE, &fire_damage, &damage);
}

void update_fire(void)
{
	if (!fire_module.map_can_burn || !fire_cell_array.data) return;
	boolean spreading = FALSE;
	fire_module.globals.ticks_until_fire_can_spread -= 1;
	if (fire_module.globals.ticks_until_fire_can_spread < 1)
	{
		spreading = TRUE;
		fire_module.globals.ticks_until_fire_can_spread =
			TICKS_TILL_SPREADING_LOWER_BOUND + zerv_random_below(TICKS_TILL_SPREADING_DELTA);
	}
	new_fire_cell_data candidates[MAXIMUM_CELLS_ON_FIRE_PER_MAP];
	int16 candidate_count = 0;
	const int32 game_time = game ? game->game_time : 0;
	for (int16 index = 0; index < fire_cell_array.count; ++index)
	{
		fire_cell_data *fire = get_fire_cell_data(index);
		if (!fire) continue;
		if ((index & FIRE_DAMAGE_MASK) == (game_time & FIRE_DAMAGE_MASK))
		{
			damage_near_fire(fire);
			fire = get_fire_cell_data(index);
			if (!fire) continue;
		}
		if (!spreading) continue;
		static const int8 neighbours[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
		for (const auto &offset : neighbours)
		{
			if (candidate_count >= MAXIMUM_CELLS_ON_FIRE_PER_MAP) break;
			const int32 x = fire->x + offset[0], y = fire->y + offset[1];
			if (!cell_in_mesh(x, y) || (get_mesh_cell(x, y)->flags & _mesh_cell_was_or_is_on_fire_flag)) continue;
			mark_as_burnable(candidates, &candidate_count, x, y, fire->chance_of_spreading, fire->owner_unit_index,
				fire->owner_monster_index, fire->owner_monster_identifier);
		}
	}
	for (int16 i = 0; spreading && i < candidate_count; ++i)
	{
		const new_fire_cell_data *candidate = &candidates[i];
		if (chance_passes(cell_fire_chance(terrain_spreading_chance, get_mesh_cell(candidate->x, candidate->y)->flags)))
		{
			start_fire(candidate);
		}
	}
	for (int16 index = 0; index < fire_cell_array.count; ++index)
	{
		fire_cell_data *fire = get_fire_cell_data(index);
		if (!fire || fire->fire_mirror_group_index != NONE || fire->ticks_until_burnt_out <= 0) continue;
		fire->ticks_until_burnt_out -= 1;
		if (fire->ticks_until_burnt_out == 0) extinguish_fire_in_cell(fire->x, fire->y);
	}
}

void extinguish_fire_in_cell(int32 cell_x, int32 cell_y)
{
	fire_test_hooks.extinguish_calls += 1;
	if (!fire_module.map_can_burn || !fire_cell_array.data) return;
	for (int16 index = 0; index < fire_cell_array.count; ++index)
	{
		const fire_cell_data *fire = get_fire_cell_data(index);
		if (!fire || fire->x != cell_x || fire->y != cell_y) continue;
		tell_nearby_monsters_to_recalculate_paths(cell_x, cell_y, FALSE);
		delete_datum(&fire_cell_array, index);
		set_burning_mark(cell_x, cell_y, 0);
		return;
	}
}

boolean cell_is_on_fire(int32 cell_x, int32 cell_y)
{
	if (!fire_module.burning || !cell_in_mesh(cell_x, cell_y)) return FALSE;
	return fire_module.burning[cell_y * mesh_globals->mesh_width + cell_x] != 0;
}

/* ---------- ambient sound */

static world_distance abs_world_distance(world_distance value)
{
	return value < 0 ? -value : value;
}

struct fire_sound_source
{
	world_point3d location;
	int32 volume;
};

void report_fire_as_sound_source(void *context, int16 *count, report_ambient_sound_source_proc report)
{
	// 'amfi' and the listener come from the sound least layer, which has neither yet.
	if (!fire_test_hooks.has_listener || !fire_test_hooks.has_ambient_sound || !fire_cell_array.data || !count || !report) return;
	const world_point3d listener = fire_test_hooks.listener;
	int32 volume = fire_test_hooks.volume_lower_bound;
	if (fire_test_hooks.volume_delta > 0) volume += (fire_test_hooks.volume_delta * static_cast<int32>(local_random())) >> 16;
	const world_distance inner = fire_test_hooks.inner_radius, outer = fire_test_hooks.outer_radius;
	fire_sound_source sources[MAXIMUM_NUMBER_OF_FIRE_SOUND_SOURCES];
	int32 source_count = 0;
	for (int16 index = 0; index < fire_cell_array.count && source_count < MAXIMUM_NUMBER_OF_FIRE_SOUND_SOURCES; ++index)
	{
		const fire_cell_data *fire = get_fire_cell_data(index);
		if (!fire) continue;
		const world_point2d centre = {fire->x * WORLD_ONE + WORLD_ONE / 2, fire->y * WORLD_ONE + WORLD_ONE / 2};
		if (abs_world_distance(centre.x - listener.x) > MAXIMUM_AMBIENT_SOUND_RADIUS ||
			abs_world_distance(centre.y - listener.y) > MAXIMUM_AMBIENT_SOUND_RADIUS)
		{
			continue;
		}
		const world_point2d ear = {listener.x, listener.y};
		const int32 d = distance2d(&centre, &ear);
		if (d > outer) continue;
		int32 v = volume;
		if (outer > inner && d > inner) v = static_cast<int32>((static_cast<int64>(volume) * (outer - d)) / (outer - inner));
		// The flames' ending fades the sound, the mirror's own or the countdown's.
		int32 elapsed = NONE, ending = FIRE_MIRROR_TRANSITION_TICKS;
		const mirror_group_data *flames = get_mirror_group_data(fire->fire_mirror_group_index);
		if (flames && flames->state == _mirror_state_ending && flames->ending_transition_time > 0)
		{
			elapsed = flames->transition_ticks_elapsed;
			ending = flames->ending_transition_time;
		}
		else if (fire->fire_mirror_group_index == NONE && fire->ticks_until_burnt_out <= FIRE_MIRROR_TRANSITION_TICKS)
		{
			elapsed = FIRE_MIRROR_TRANSITION_TICKS - fire->ticks_until_burnt_out;
		}
		if (elapsed != NONE)
		{
			v = (v * (256 - elapsed * 256 / ending)) >> 8;
			if (v == 0) continue;
		}
		sources[source_count++] = {{centre.x, centre.y, get_mesh_height(&centre, _land_height)}, v};
	}
	// Loudest first; equal volumes keep their array order.
	int32 loudest = -1;
	for (int32 i = 0; i < source_count; ++i)
	{
		if (loudest < 0 || sources[i].volume > sources[loudest].volume) loudest = i;
	}
	for (int32 n = 0; n < NUMBER_OF_FIRE_SOURCES_TO_REPORT && loudest >= 0; ++n)
	{
		if (*count >= MAXIMUM_RAW_AMBIENT_SOUNDS) break;
		world_location3d location = {};
		location.position = sources[loudest].location;
		report(context, &location, fire_test_hooks.ambient_sound_index, static_cast<int16>(sources[loudest].volume));
		*count += 1;
	}
}

/* ---------- digest */

void fold_fire_digest(zerv_digest *digest)
{
	zerv_digest_int32(digest, fire_module.map_can_burn ? 1 : 0);
	zerv_digest_int32(digest, fire_module.globals.ticks_until_fire_can_spread);
	// The shared flame and smoke groups are local projectile groups: drawing
	// state, absent when the local module is off, so never folded.
	if (fire_cell_array.data)
	{
		for (int16 index = 0; index < fire_cell_array.count; ++index)
		{
			const fire_cell_data *fire = get_fire_cell_data(index);
			if (!fire) continue;
			const int16 words[] = {index, fire->identifier, static_cast<int16>(fire->flags), fire->x, fire->y,
				static_cast<int16>(fire->chance_of_spreading), fire->fire_mirror_group_index, fire->owner_unit_index,
				fire->owner_monster_index, fire->owner_monster_identifier};
			for (int16 word : words) zerv_digest_int16(digest, word);
			zerv_digest_int32(digest, fire->ticks_until_burnt_out);
		}
	}
	zerv_digest_uint32(digest, datum_globals_digest(&fire_cell_array));
}
