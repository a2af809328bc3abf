// No unit records yet: every lookup finds nothing, creation fails and pushes
// are only counted. Nothing here draws from the synchronised stream.
#include "monsters.h"

static monster_records_test_hooks_data monster_records_test_hooks = {};

monster_data *get_monster_data(int16)
{
	return nullptr;
}

monster_data *get_monster_data_by_identifier(int16, int16)
{
	return nullptr;
}

int16 new_monster_at_location(int16, int16, const world_point3d *)
{
	monster_records_test_hooks.new_monster_calls += 1;
	return NONE;
}

void accelerate_monster(int16, const damage_definition *, damage_data *)
{
	monster_records_test_hooks.accelerate_monster_calls += 1;
}

void update_monster_location_height(int16)
{
	monster_records_test_hooks.location_height_updates += 1;
}

int16 monster_definition_tag_to_index(file_tag)
{
	return NONE;
}

int16 unit_definition_tag_to_index(file_tag)
{
	return NONE;
}

monster_records_test_hooks_data *get_monster_records_test_hooks(void)
{
	return &monster_records_test_hooks;
}

void reset_monster_records_test_hooks(void)
{
	monster_records_test_hooks = {};
}
