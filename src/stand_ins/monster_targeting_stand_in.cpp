// Targeting and attacks are not built yet: nobody finds a target or chooses
// an attack, and an attack's sequence is its first. Tests may answer for the
// target scan. Nothing here draws from the synchronised stream.
#include "monsters.h"

#include "artifact_definitions.h"

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

const monster_attack_definition *get_monster_attack_definition(int16 monster_index, int16 attack_index)
{
	const monster_data *monster = get_monster_data(monster_index);
	const monster_definition *definition = monster ? get_monster_definition(monster->type) : nullptr;
	if (!definition) return nullptr;
	if (attack_index == ARTIFACT_ATTACK_INDEX)
	{
		const artifact_definition *artifact = get_artifact_definition(monster->artifact_index);
		if (artifact) return &artifact->override_attack;
		attack_index = 0;
	}
	if (definition->number_of_attacks < 1) return nullptr;
	return &definition->attacks[PIN(attack_index, static_cast<int16>(0), static_cast<int16>(definition->number_of_attacks - 1))];
}
