// Unit creation and the action state machine land with the units module's
// other files; until then these keep the tree linking. Weak, so the real
// bodies take over as soon as they are present. None draws zerv_random.
#include "monsters.h"

#include "mesh.h"
#include "objects.h"

#define PENDING __attribute__((weak))

PENDING void set_monster_action(int16 monster_index, int16 action, int16 permutation)
{
	monster_data *monster = get_monster_data(monster_index);
	if (!monster) return;
	monster->action = static_cast<int8>(action);
	monster->action_permutation = static_cast<int8>(permutation);
}

PENDING void set_most_appropriate_monster_action(int16 monster_index)
{
	set_monster_action(monster_index, _monster_action_idle, 0);
}

PENDING void make_monster_taunt(int16 monster_index)
{
	set_monster_action(monster_index, _monster_action_taunting, 0);
}

PENDING void play_monster_sound(int16, int16) {}

PENDING int16 new_monster(int16)
{
	return NONE;
}

PENDING const monster_attack_definition *get_monster_attack_definition(int16 monster_index, int16 attack_index)
{
	const monster_definition *definition = get_monster_definition_for_monster(monster_index);
	if (!definition || definition->number_of_attacks < 1) return nullptr;
	return &definition->attacks[PIN(attack_index, 0, MIN(definition->number_of_attacks, 4) - 1)];
}

PENDING void delete_monster(int16 monster_index, boolean)
{
	monster_data *monster = get_monster_data(monster_index);
	if (!monster) return;
	if (get_object_data(monster->object_index)) delete_object(monster->object_index);
	delete_datum(&monster_array, monster_index);
}

PENDING const char *get_monster_spelling(int16, int16)
{
	return "";
}

// The mesh height with media counted.
PENDING world_distance get_height_for_new_position(const world_point2d *point, boolean, boolean, short_world_distance,
	boolean *in_media)
{
	if (in_media) *in_media = FALSE;
	return (mesh_globals && mesh_globals->mesh_cells && point) ? get_mesh_height(point, _true_height) : 0;
}
