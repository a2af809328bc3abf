#include "selection.h"

static selection_test_hooks_data initial_selection_hooks(void)
{
	selection_test_hooks_data hooks = {};
	hooks.pick_kind = NONE;
	return hooks;
}

static selection_test_hooks_data selection_hooks = initial_selection_hooks();

selection_test_hooks_data *get_selection_test_hooks(void)
{
	return &selection_hooks;
}

void reset_selection_test_hooks(void)
{
	clear_least_call_log(&selection_hooks.calls);
	selection_hooks.pick_kind = NONE;
	selection_hooks.pick_cell_x = selection_hooks.pick_cell_y = 0;
}

#define LEAST(...) least_call(&selection_hooks.calls, __VA_ARGS__)

boolean update_selection(action_data *action)
{
	LEAST("update_selection", action);
	return FALSE;
}

void remove_monster_index_from_all_selections(int16 monster_index, int16 flags)
{
	LEAST("remove_monster_index_from_all_selections", monster_index, flags);
}

void remove_monster_index_from_current_selections(int16 monster_index)
{
	LEAST("remove_monster_index_from_current_selections", monster_index);
}

void set_preset_selection_by_identifiers(int16 preset_index, int16 count, const int16 *identifiers)
{
	LEAST("set_preset_selection_by_identifiers", preset_index, count, identifiers);
}

void new_pick_by_point_state(pick_state *state, const point2d *screen_point, uint32 flags)
{
	LEAST("new_pick_by_point_state", state, screen_point, flags);
	if (!state) return;
	memset(state, 0, sizeof(*state));
	if (screen_point) state->screen_point = *screen_point;
	state->flags = flags;
	state->cell_x = state->cell_y = NONE;
}

int16 pick(pick_state *state)
{
	LEAST("pick", state);
	if (!state || selection_hooks.pick_kind == NONE || state->next_index != 0) return NONE;
	state->cell_x = selection_hooks.pick_cell_x;
	state->cell_y = selection_hooks.pick_cell_y;
	state->next_index = 1;
	return selection_hooks.pick_kind;
}
