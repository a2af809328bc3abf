// Picking and the selection state machine that turns clicks and gestures
// into orders.
#ifndef SELECTION_H
#define SELECTION_H

#include "cseries.h"
#include "bitmaps.h"

struct action_data;

#define MAXIMUM_SELECTION_PRESETS 16
#define MAXIMUM_PRESET_SELECTION_IDENTIFIERS 126

enum
{
	_pick_mesh_vertices_bit = 4,
	_pick_mesh_vertices_flag = 1 << _pick_mesh_vertices_bit
};

// The remove flags: with this one, the saved presets lose the unit too.
enum
{
	_remove_from_selection_presets_bit = 1,
	_remove_from_selection_presets_flag = 1 << _remove_from_selection_presets_bit
};

struct pick_state
{
	point2d screen_point;
	uint32 flags;
	int16 cell_x, cell_y; // of the last hit
	int16 next_index;
	int16 unused;
};

// Whether the selection state machine used the sample.
boolean update_selection(action_data *action);
void remove_monster_index_from_all_selections(int16 monster_index, int16 flags);
void remove_monster_index_from_current_selections(int16 monster_index);
void set_preset_selection_by_identifiers(int16 preset_index, int16 count, const int16 *identifiers);

void new_pick_by_point_state(pick_state *state, const point2d *screen_point, uint32 flags);
// The kind of the next hit, NONE when nothing more lies there.
int16 pick(pick_state *state);

struct selection_test_hooks_data
{
	least_call_log calls;
	// One hit pick answers with (kind NONE: none), in the cell given.
	int16 pick_kind;
	int16 pick_cell_x, pick_cell_y;
};

selection_test_hooks_data *get_selection_test_hooks(void);
void reset_selection_test_hooks(void);

#endif
