#include "monster_ambient_life.h"

#include "error_manager.h"
#include "memory.h"

struct monster_ambient_life_globals_data
{
	uint8 *pool; // NULL when the allocation failed
	int32 free_space_left_in_pool;
};

static monster_ambient_life_globals_data ambient_life_globals;

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
}

void create_map_action_for_monster(int16, file_tag)
{
	// Without the action store no unit gets an ambient-life action, so its
	// monster_map_action_data stays none.
}

int32 get_monster_map_action_memory_pool_free_space(void)
{
	return ambient_life_globals.free_space_left_in_pool;
}
