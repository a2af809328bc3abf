// Units (monsters): what the world modules and map scripting read of them
// before the unit record exists.
#ifndef MONSTERS_H
#define MONSTERS_H

#include "cseries.h"

#define MAXIMUM_MONSTERS_PER_MAP 400

enum // monster classes
{
	_monster_class_melee,
	_monster_class_missile,
	_monster_class_magical_melee,
	_monster_class_magical_missile,
	_monster_class_holy,
	_monster_class_ambient_life,
	NUMBER_OF_MONSTER_CLASSES
};

// Two bits per mesh cell in the fog-of-war buffers, sixteen cells to a word,
// the first cell in the lowest bits.
enum
{
	_visibility_bit,
	_close_visibility_bit,

	_visibility_flag = FLAG(_visibility_bit),
	_close_visibility_flag = FLAG(_close_visibility_bit)
};

// The local player's front buffer; NULL counts as every cell seen closely.
extern uint32 *visibility_front_buffer;

// The two visibility bits of a cell of the front buffer (3 without a buffer).
int16 get_cell_visibility(int32 cell_x, int32 cell_y);

// Refreshes the units' impassability map for one cell after its terrain changed.
void update_monster_impassability_for_cell(int32 x, int32 y);
// The class of the unit's definition; NONE when there is no such unit.
int16 get_monster_class(int16 monster_index);

// Identifiers to indexes in order, dropping identifiers no longer in use; works in place; the new count.
int16 monster_identifiers_to_monster_indexes(const int16 *identifiers, int16 *indexes, int16 count);
void monster_indexes_to_monster_identifiers(const int16 *indexes, int16 *output, int16 count);
// Drops units that have left the mesh; the new count.
int16 remove_monsters_that_have_left_the_mesh(int16 *indexes, int16 count);
// Every live unit of the team gets _monster_has_celebrated_flag.
void mark_team_monsters_as_celebrated(int16 team_index);

// Test hooks: the units the stand-in answers for, by index.
#define MAXIMUM_TEST_MONSTERS 32
struct monsters_test_hooks_data
{
	int32 impassability_updates;
	int32 last_impassability_x, last_impassability_y;
	// The class get_monster_class answers (NONE by default).
	int16 monster_class;

	int16 monster_count;
	struct
	{
		int16 identifier; // 0: no unit at this index
		int16 owner_team_index;
		boolean has_left_the_mesh;
		boolean has_celebrated;
	} monsters[MAXIMUM_TEST_MONSTERS];
	int32 celebration_count;
	int16 last_celebrating_team;
};
monsters_test_hooks_data *get_monsters_test_hooks(void);
void reset_monsters_test_hooks(void);

#endif
