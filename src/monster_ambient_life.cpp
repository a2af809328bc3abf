// Ambient life: each unit whose kind names an ambient-life procedure gets a
// map action of its own and a record from a pool handed out front to back
// and reset for every map.
#include "monster_ambient_life.h"

#include <cstdio>
#include <cstring>

#include "error_manager.h"
#include "map_actions/map_actions.h"
#include "memory.h"
#include "mesh.h"
#include "monsters.h"
#include "objects.h"
#include "tags_and_strings.h"
#include "world.h"
#include "zerv.h"

#define HEIGHT_LOWER_BOUNDS 1280
#define HEIGHT_DELTA 512
// Every record is at least this large.
#define MAXIMUM_AMBIENT_LIFE_RECORDS (MAP_ACTION_MEMORY_POOL_SIZE / 8)

struct ambient_life_record_entry
{
	int16 monster_index;
	int16 kind;
	int32 offset;
};

struct monster_ambient_life_globals_data
{
	uint8 *pool; // NULL when the allocation failed
	int32 free_space_left_in_pool;
	// Records in creation order; the kind of each unit's record, kept outside it.
	int16 record_count;
	ambient_life_record_entry records[MAXIMUM_AMBIENT_LIFE_RECORDS];
	int8 kinds[MAXIMUM_MONSTERS_PER_MAP];
};

static monster_ambient_life_globals_data ambient_life_globals;

const chicken_action_data default_chicken_action_data = {-1, {0, 0}};
const deer_action_data default_deer_action_data = {0, -1, {0, 0}, 0, 0};
const peasant_action_data default_peasant_action_data = {-1, {0, 0}};
const soaring_action_data default_soaring_action_data = {-1, -1};

static const int32 record_sizes[NUMBER_OF_AMBIENT_LIFE_KINDS] = {
	sizeof(chicken_action_data), sizeof(deer_action_data), sizeof(peasant_action_data), sizeof(soaring_action_data)};

static int16 ambient_life_kind(file_tag tag)
{
	if (tag == TAG("chic")) return _ambient_life_chicken;
	if (tag == TAG("deer")) return _ambient_life_deer;
	if (tag == TAG("peas")) return _ambient_life_peasant;
	if (tag == TAG("soar")) return _ambient_life_soaring;
	return NONE;
}

void initialize_monster_map_action_memory_pool(void)
{
	if (ambient_life_globals.pool) return;
	ambient_life_globals.pool = static_cast<uint8 *>(new_pointer(MAP_ACTION_MEMORY_POOL_SIZE));
	if (!ambient_life_globals.pool)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__,
			"couldn't allocate #%d bytes for monster map action memory pool", MAP_ACTION_MEMORY_POOL_SIZE);
	}
	ambient_life_globals.free_space_left_in_pool = 0;
}

void initialize_monster_map_action_memory_pool_for_new_map(void)
{
	ambient_life_globals.free_space_left_in_pool = ambient_life_globals.pool ? MAP_ACTION_MEMORY_POOL_SIZE : 0;
	ambient_life_globals.record_count = 0;
	memset(ambient_life_globals.kinds, NONE, sizeof(ambient_life_globals.kinds));
}

int32 get_monster_map_action_memory_pool_free_space(void)
{
	return ambient_life_globals.free_space_left_in_pool;
}

void *get_monster_ambient_life_record(int16 monster_index, int16 kind)
{
	const monster_data *monster = get_monster_data(monster_index);
	if (!monster || !monster->monster_map_action_data || ambient_life_globals.kinds[monster_index] != kind) return nullptr;
	return monster->monster_map_action_data;
}

int32 get_monster_ambient_life_pool_offset(int16 monster_index)
{
	const monster_data *monster = get_monster_data(monster_index);
	if (!monster || !monster->monster_map_action_data || !ambient_life_globals.pool) return NONE;
	return static_cast<int32>(reinterpret_cast<uint8 *>(monster->monster_map_action_data) - ambient_life_globals.pool);
}

/* ---------- defaults */

static const object_data *monster_object(int16 monster_index)
{
	const monster_data *monster = get_monster_data(monster_index);
	return monster ? get_object_data(monster->object_index) : nullptr;
}

static world_point2d monster_position(int16 monster_index)
{
	const object_data *object = monster_object(monster_index);
	world_point2d point = {0, 0};
	if (object) point = {object->location.position.x, object->location.position.y};
	return point;
}

void initialize_chicken_action_data_to_default(int16 monster_index)
{
	chicken_action_data *data =
		static_cast<chicken_action_data *>(get_monster_ambient_life_record(monster_index, _ambient_life_chicken));
	if (!data) return;
	*data = default_chicken_action_data;
	data->original_position = monster_position(monster_index);
}

void initialize_deer_action_data_to_default(int16 monster_index)
{
	deer_action_data *data = static_cast<deer_action_data *>(get_monster_ambient_life_record(monster_index, _ambient_life_deer));
	if (!data) return;
	*data = default_deer_action_data;
	data->original_position = monster_position(monster_index);
	const object_data *object = monster_object(monster_index);
	data->last_vitality = object ? object->vitality : 0;
}

void initialize_peasant_action_data_to_default(int16 monster_index)
{
	peasant_action_data *data =
		static_cast<peasant_action_data *>(get_monster_ambient_life_record(monster_index, _ambient_life_peasant));
	if (!data) return;
	*data = default_peasant_action_data;
	data->original_position = monster_position(monster_index);
}

void initialize_soaring_action_data_to_default(int16 monster_index)
{
	soaring_action_data *data =
		static_cast<soaring_action_data *>(get_monster_ambient_life_record(monster_index, _ambient_life_soaring));
	if (!data) return;
	*data = default_soaring_action_data;
	// The bird takes to the air.
	monster_data *monster = get_monster_data(monster_index);
	object_data *object = get_object_data(monster->object_index);
	if (!object) return;
	const world_point2d where = {object->location.position.x, object->location.position.y};
	const world_distance ground = get_mesh_height(&where, _true_height);
	object->location.position.z = ground + HEIGHT_LOWER_BOUNDS + (zerv_random() >> 7);
	monster->height_over_mesh = static_cast<short_world_distance>(object->location.position.z - ground);
}

typedef void (*ambient_life_initializer)(int16 monster_index);
static const ambient_life_initializer ambient_life_initializers[NUMBER_OF_AMBIENT_LIFE_KINDS] = {
	initialize_chicken_action_data_to_default, initialize_deer_action_data_to_default,
	initialize_peasant_action_data_to_default, initialize_soaring_action_data_to_default};

/* ---------- creation */

void create_map_action_for_monster(int16 monster_index, file_tag map_action_tag)
{
	monster_data *monster = get_monster_data(monster_index);
	if (!monster) return;
	const int16 action_index = new_map_action(NONE);
	if (action_index == NONE)
	{
		debug_printf("couldn't create new map action for ambient life monster %d", monster_index);
		return;
	}
	char name[64];
	snprintf(name, sizeof(name), "monster %d ambient action", monster_index);
	set_map_action_name(action_index, name);
	set_map_action_tag(action_index, string_to_tag(tag_to_string(map_action_tag)));
	map_action *action = get_map_action(action_index);
	action->flags |= _map_action_initially_active_flag;
	action->deactivation_mode = _map_action_deactivates_on_successful_execution;
	set_unique_map_action_parameter(action_index, TAG("subj"), _parameter_monster_identifier, 1, &monster->identifier);

	monster->monster_map_action_data = nullptr;
	ambient_life_globals.kinds[monster_index] = static_cast<int8>(NONE);
	const int16 kind = ambient_life_kind(map_action_tag);
	if (kind != NONE && ambient_life_globals.pool)
	{
		const int32 size = record_sizes[kind];
		if (size <= ambient_life_globals.free_space_left_in_pool &&
			ambient_life_globals.record_count < MAXIMUM_AMBIENT_LIFE_RECORDS)
		{
			const int32 offset = MAP_ACTION_MEMORY_POOL_SIZE - ambient_life_globals.free_space_left_in_pool;
			uint8 *record = ambient_life_globals.pool + offset;
			memset(record, 0, static_cast<size_t>(size));
			monster->monster_map_action_data = reinterpret_cast<struct monster_map_action_data *>(record);
			ambient_life_globals.kinds[monster_index] = static_cast<int8>(kind);
			ambient_life_globals.records[ambient_life_globals.record_count++] = {monster_index, kind, offset};
			ambient_life_globals.free_space_left_in_pool -= size;
			ambient_life_initializers[kind](monster_index);
		}
		else
		{
			debug_printf("overflowed monster map action memory pool");
		}
	}

	// Before the map's first pass, that pass activates it with the others;
	// a unit created later (a respawn, a revealed marker) is activated here.
	if (map_action_globals && map_action_globals->initial_actions_activated) activate_map_action(action_index);
}

/* ---------- digest */

void ambient_life_fold_digest(zerv_digest *digest)
{
	zerv_digest_int32(digest, ambient_life_globals.free_space_left_in_pool);
	if (!ambient_life_globals.pool) return;
	for (int16 i = 0; i < ambient_life_globals.record_count; ++i)
	{
		const ambient_life_record_entry &entry = ambient_life_globals.records[i];
		zerv_digest_int16(digest, entry.monster_index);
		zerv_digest_int16(digest, entry.kind);
		zerv_digest_int32(digest, entry.offset);
		const uint8 *record = ambient_life_globals.pool + entry.offset;
		switch (entry.kind)
		{
			case _ambient_life_chicken:
			case _ambient_life_peasant:
			{
				chicken_action_data data;
				memcpy(&data, record, sizeof(data));
				zerv_digest_int32(digest, data.ticks_until_next_movement);
				zerv_digest_int32(digest, data.original_position.x);
				zerv_digest_int32(digest, data.original_position.y);
				break;
			}
			case _ambient_life_deer:
			{
				deer_action_data data;
				memcpy(&data, record, sizeof(data));
				zerv_digest_uint32(digest, data.flags);
				zerv_digest_int32(digest, data.ticks_until_next_movement);
				zerv_digest_int32(digest, data.original_position.x);
				zerv_digest_int32(digest, data.original_position.y);
				zerv_digest_int16(digest, data.last_vitality);
				break;
			}
			case _ambient_life_soaring:
			{
				soaring_action_data data;
				memcpy(&data, record, sizeof(data));
				zerv_digest_int32(digest, data.ticks_until_next_movement);
				zerv_digest_int32(digest, data.ticks_until_glide_transition);
				break;
			}
		}
	}
}
