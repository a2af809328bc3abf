// Units do not exist yet, so there is nothing to group or attack with: the
// calls are counted so the scheduler's use of them can be checked.
#include "attack_ai.h"
#include "spatial_groups.h"

static spatial_groups_test_hooks_data spatial_groups_test_hooks;
static attack_ai_test_hooks_data attack_ai_test_hooks = {0, 0, 0, NONE};

void initialize_spatial_groups(void)
{
}

void initialize_spatial_groups_for_new_map(void)
{
}

void dispose_spatial_groups_from_old_map(void)
{
}

void build_spatial_groups(void)
{
	spatial_groups_test_hooks.build_count += 1;
}

spatial_groups_test_hooks_data *get_spatial_groups_test_hooks(void)
{
	return &spatial_groups_test_hooks;
}

void initialize_attack_ai(void)
{
}

void initialize_attack_ai_for_new_map(void)
{
}

void dispose_attack_ai_from_old_map(void)
{
}

void reset_attack_ai(void)
{
	attack_ai_test_hooks.reset_count += 1;
}

void update_attack_ai(void)
{
	attack_ai_test_hooks.update_count += 1;
}

void attack_with_all_monster_indexes(int16 team_index)
{
	attack_ai_test_hooks.attack_count += 1;
	attack_ai_test_hooks.last_attacking_team = team_index;
}

attack_ai_test_hooks_data *get_attack_ai_test_hooks(void)
{
	return &attack_ai_test_hooks;
}
