// Targeting and attacks are not built yet: nobody finds a target or chooses
// an attack, and an attack's sequence is its first. Tests may answer for the
// target scan. Nothing here draws from the synchronised stream.
#include "monsters.h"

int16 closest_most_appropriate_target(int16, int16)
{
	monsters_test_hooks_data *hooks = get_monsters_test_hooks();
	hooks->closest_target_calls += 1;
	return hooks->closest_target;
}

boolean try_and_switch_target_indexes(int16 monster_index, int16 candidate_index, uint16)
{
	if (!get_monsters_test_hooks()->switch_targets) return FALSE;
	monster_data *monster = get_monster_data(monster_index);
	if (!monster || !get_monster_data(candidate_index)) return FALSE;
	monster->target_monster_index = candidate_index;
	monster->flags |= _monster_has_valid_target_flag | _monster_has_valid_target_index_flag;
	return TRUE;
}

int16 choose_monster_attack_index(int16, int16)
{
	return NONE;
}

world_distance linear_distance_to_best_point_of_attack(int16)
{
	return 0;
}

boolean handle_monster_attack(int16, int16, int16)
{
	get_monsters_test_hooks()->handle_monster_attack_calls += 1;
	return FALSE;
}

int16 get_monster_attack_sequence_index(const monster_attack_definition *attack, angle)
{
	return attack ? attack->sequences[0].sequence_index : static_cast<int16>(NONE);
}

world_distance linear_distance_to_enemy(int16)
{
	return 512000;
}

boolean aim_monster(int16, int16, world_point2d *)
{
	return FALSE;
}

boolean try_monster_attack(int16)
{
	return FALSE;
}

boolean monster_wants_to_charge(int16, world_distance)
{
	return FALSE;
}
