// Units (monsters): what the world modules and map scripting read of them
// before the unit record exists.
#ifndef MONSTERS_H
#define MONSTERS_H

#include "cseries.h"
#include "world_units.h"

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

/* ---------- the unit record seen by damage and projectiles (none exists yet) */

struct object_definition;
struct damage_definition;
struct damage_data;

enum // the unit flags projectiles read
{
	_monster_is_uncontrollable_bit = 3,
	_monster_is_ambient_life_bit = 4,
	_monster_has_no_visibility_bit = 5,
	_monster_has_left_the_mesh_bit = 9,
	_monster_has_celebrated_bit = 25, // also the teleporting-in mark

	_monster_is_uncontrollable_flag = FLAG(_monster_is_uncontrollable_bit),
	_monster_is_ambient_life_flag = FLAG(_monster_is_ambient_life_bit),
	_monster_has_no_visibility_flag = FLAG(_monster_has_no_visibility_bit),
	_monster_has_left_the_mesh_flag = FLAG(_monster_has_left_the_mesh_bit),
	_monster_has_celebrated_flag = FLAG(_monster_has_celebrated_bit)
};

struct monster_data
{
	int16 identifier;
	int16 unit_type;
	uint32 flags;
	int16 object_index;
	int16 owner_player_index;
	short_fixed mana;
	short_fixed maximum_mana;
	int16 artifact_type; // held artifact, NONE
	boolean cannot_be_healed;
};

// NULL for an index that holds no unit.
monster_data *get_monster_data(int16 monster_index);
// The unit at index when its identifier still matches; NULL otherwise.
monster_data *get_monster_data_by_identifier(int16 monster_index, int16 identifier);
int16 new_monster_at_location(int16 unit_type, int16 player_index, const world_point3d *location);
void accelerate_monster(int16 monster_index, const damage_definition *definition, damage_data *data);
void update_monster_location_height(int16 monster_index);
// Loaded unit kinds ('mons') and unit types ('unit'); NONE until they load.
int16 monster_definition_tag_to_index(file_tag tag);
int16 unit_definition_tag_to_index(file_tag tag);

/* ---------- died procedures (real: projectiles and explosions register at start-up) */

#define MAXIMUM_MONSTER_DIED_PROCS 8

enum // died flags
{
	_monster_died_hidden = 0,
	_monster_died_changed_owner = 2,
	_monster_died_deleted = 3
};

typedef void (*monster_died_proc)(int16 monster_index, uint16 flags);

// FALSE (with a line) when all eight slots are taken; a procedure already
// registered is not added twice.
boolean register_monster_died_proc(monster_died_proc proc);
// The first slot is kept for the units' own procedure.
void set_monster_died_first_proc(monster_died_proc proc);
void call_monster_died_procs(int16 monster_index, uint16 flags);

// Calls of the unit stand-ins above, counted for tests.
struct monster_records_test_hooks_data
{
	int32 accelerate_monster_calls;
	int32 new_monster_calls;
	int32 location_height_updates;
};

monster_records_test_hooks_data *get_monster_records_test_hooks(void);
void reset_monster_records_test_hooks(void);

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
