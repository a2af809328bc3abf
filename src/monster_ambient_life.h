// Ambient life: the per-map memory pool of the units' own map actions.
#ifndef MONSTER_AMBIENT_LIFE_H
#define MONSTER_AMBIENT_LIFE_H

#include "cseries.h"

#define MAP_ACTION_MEMORY_POOL_SIZE 4096

void initialize_monster_map_action_memory_pool(void);
void initialize_monster_map_action_memory_pool_for_new_map(void);
void create_map_action_for_monster(int16 monster_index, file_tag map_action_tag);

// The bytes still free in the pool; 0 when it could not be allocated.
int32 get_monster_map_action_memory_pool_free_space(void);

#endif
