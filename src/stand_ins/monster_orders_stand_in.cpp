// What the unit orders call before the state machine, the lookups, ownership
// and trading land: thin bodies that keep a game running. Nothing here draws
// from the synchronised stream.
#include "monsters.h"

#include "objects.h"
#include "players.h"

world_distance get_centerpoint_of_monster_indexes(int16 count, const int16 *indexes, world_point2d *center)
{
	int64 x = 0, y = 0;
	int16 n = 0;
	for (int16 i = 0; i < count; ++i)
	{
		const monster_data *monster = get_monster_data(indexes[i]);
		const object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
		if (!object) continue;
		x += object->location.position.x;
		y += object->location.position.y;
		n += 1;
	}
	center->x = n ? static_cast<world_distance>(x / n) : 0;
	center->y = n ? static_cast<world_distance>(y / n) : 0;
	return 0;
}

void set_monster_action(int16 monster_index, int16 action, int16 permutation)
{
	monster_data *monster = get_monster_data(monster_index);
	if (!monster) return;
	monster->action = static_cast<int8>(action);
	if (permutation != NONE) monster->action_permutation = static_cast<int8>(permutation);
}

void set_most_appropriate_monster_action(int16 monster_index)
{
	set_monster_action(monster_index, _monster_action_idle, NONE);
}

void make_monster_taunt(int16 monster_index)
{
	set_monster_action(monster_index, _monster_action_taunting, NONE);
}

void make_monster_celebrate(int16 monster_index)
{
	set_monster_action(monster_index, _monster_action_celebrating, NONE);
}

const monster_attack_definition *get_monster_attack_definition(int16 monster_index, int16 attack_index)
{
	monster_definition *definition = get_monster_definition_for_monster(monster_index);
	if (!definition || attack_index < 0 || attack_index >= definition->number_of_attacks ||
		attack_index >= MAXIMUM_NUMBER_OF_ATTACKS_PER_MONSTER)
	{
		return nullptr;
	}
	return &definition->attacks[attack_index];
}

void detach_monster(int16 monster_index, int16 player_index, boolean)
{
	monster_data *monster = get_monster_data(monster_index);
	const player_data *player = get_player_data(player_index);
	if (!monster || !player) return;
	monster->owner_player_index = static_cast<int8>(player_index);
	monster->owner_team_index = static_cast<int8>(player->team_index);
}

void adjust_unit_placement(int16, int16, const int16 *) {}
