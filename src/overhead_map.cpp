#include "overhead_map.h"
#include "render/render.h"

static overhead_map_test_hooks_data initial_overhead_map_hooks(void)
{
	overhead_map_test_hooks_data hooks = {};
	for (overhead_text_data &text : hooks.texts) text.monster_index = NONE;
	return hooks;
}

static overhead_map_test_hooks_data overhead_map_hooks = initial_overhead_map_hooks();

overhead_map_test_hooks_data *get_overhead_map_test_hooks(void)
{
	return &overhead_map_hooks;
}

void reset_overhead_map_test_hooks(void)
{
	clear_least_call_log(&overhead_map_hooks.calls);
	for (overhead_text_data &text : overhead_map_hooks.texts)
	{
		text = overhead_text_data{};
		text.monster_index = NONE;
	}
}

#define LEAST(...) least_call(&overhead_map_hooks.calls, __VA_ARGS__)

void initialize_overhead_map(void)
{
	LEAST("initialize_overhead_map");
	register_postrasterization_effect(3, rasterize_overhead_map);
}

// The overhead map draws nothing yet.
void rasterize_overhead_map(view_data *view)
{
	(void)view;
}

void initialize_overhead_map_for_new_game(void)
{
	LEAST("initialize_overhead_map_for_new_game");
}

void dispose_overhead_map_from_old_map(void)
{
	LEAST("dispose_overhead_map_from_old_map");
}

void toggle_overhead_map_drawing_state(void)
{
	LEAST("toggle_overhead_map_drawing_state");
}

void update_monster_blips(void)
{
	LEAST("update_monster_blips");
}

boolean action_for_overhead_map(action_data *action)
{
	LEAST("action_for_overhead_map", action);
	return FALSE;
}

boolean get_overhead_map_state(void)
{
	return FALSE;
}

void push_overhead_map_button(int16 mode)
{
	LEAST("push_overhead_map_button", mode);
}

void erase_sketch_points(boolean send)
{
	LEAST("erase_sketch_points", send);
}

void submit_sketch_points_to_overhead_map(int16 player_index, int16 count, const sketch_point2d *points)
{
	LEAST("submit_sketch_points_to_overhead_map", player_index, count, points);
}

void initialize_overhead_text(void)
{
	LEAST("initialize_overhead_text");
}

static void free_every_overhead_text(void)
{
	for (overhead_text_data &text : overhead_map_hooks.texts)
	{
		text = overhead_text_data{};
		text.monster_index = NONE;
	}
}

void initialize_overhead_text_for_new_map(void)
{
	LEAST("initialize_overhead_text_for_new_map");
	free_every_overhead_text();
}

void dispose_overhead_text_from_old_map(void)
{
	LEAST("dispose_overhead_text_from_old_map");
	free_every_overhead_text();
}

// Machine-local: the texts count down once per tick and free their slot at zero.
void update_overhead_text(void)
{
	LEAST("update_overhead_text");
	for (overhead_text_data &text : overhead_map_hooks.texts)
	{
		if (text.monster_index == NONE) continue;
		text.timer = static_cast<int16>(text.timer - 1);
		if (text.timer <= 0) text.monster_index = NONE;
	}
}

int16 new_overhead_text(const overhead_text_data *text)
{
	LEAST("new_overhead_text", text);
	if (!text || text->monster_index == NONE) return NONE;
	for (int16 i = 0; i < MAXIMUM_OVERHEAD_TEXTS; ++i)
	{
		if (overhead_map_hooks.texts[i].monster_index != NONE) continue;
		overhead_map_hooks.texts[i] = *text;
		return i;
	}
	return NONE;
}

void delete_overhead_text(int16 overhead_text_index)
{
	LEAST("delete_overhead_text", overhead_text_index);
	if (overhead_text_index < 0 || overhead_text_index >= MAXIMUM_OVERHEAD_TEXTS) return;
	overhead_map_hooks.texts[overhead_text_index].monster_index = NONE;
}

const overhead_text_data *get_overhead_text_data(int16 overhead_text_index)
{
	if (overhead_text_index < 0 || overhead_text_index >= MAXIMUM_OVERHEAD_TEXTS) return NULL;
	const overhead_text_data *text = &overhead_map_hooks.texts[overhead_text_index];
	return text->monster_index == NONE ? NULL : text;
}

int16 count_overhead_texts(void)
{
	int16 count = 0;
	for (const overhead_text_data &text : overhead_map_hooks.texts)
	{
		if (text.monster_index != NONE) ++count;
	}
	return count;
}
