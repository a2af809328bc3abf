// The overhead map with its sketches and unit blips, and the floating text
// over units.
#ifndef OVERHEAD_MAP_H
#define OVERHEAD_MAP_H

#include "cseries.h"
#include "bitmaps.h"

struct action_data;

#define MAXIMUM_SKETCH_POINTS 200

// As a sketch command carries it: one byte each, not swapped.
struct sketch_point2d
{
	uint8 x, y;
};
STORED_SIZE(sketch_point2d, 2);

enum
{
	_overhead_map_button_toggle,
	_overhead_map_button_show,
	_overhead_map_button_hide
};

void initialize_overhead_map(void);
void initialize_overhead_map_for_new_game(void);
void dispose_overhead_map_from_old_map(void);
void toggle_overhead_map_drawing_state(void);
void update_monster_blips(void);
boolean action_for_overhead_map(action_data *action);
boolean get_overhead_map_state(void);
void push_overhead_map_button(int16 mode);
void erase_sketch_points(boolean send);
void submit_sketch_points_to_overhead_map(int16 player_index, int16 count, const sketch_point2d *points);

/* ---------- floating text over units */

struct overhead_text_data
{
	int16 monster_index;
	int16 string_list_index;
	int16 string_index;
	int16 font_index;
	int16 style;
	rgb_color color;
	uint16 text_flags;
	int16 timer;
};

void initialize_overhead_text(void);
void initialize_overhead_text_for_new_map(void);
void dispose_overhead_text_from_old_map(void);
void update_overhead_text(void);
// Its index, NONE when there is no room.
int16 new_overhead_text(const overhead_text_data *text);
void delete_overhead_text(int16 overhead_text_index);
// The record of a text; NULL for NONE, an index out of range or a free slot.
const overhead_text_data *get_overhead_text_data(int16 overhead_text_index);

#define MAXIMUM_OVERHEAD_TEXTS 32
// How the debug limits name the texts, beside their count and MAXIMUM_OVERHEAD_TEXTS.
#define OVERHEAD_TEXT_ARRAY_NAME "overhead text"

// The texts in use.
int16 count_overhead_texts(void);

struct overhead_map_test_hooks_data
{
	least_call_log calls;
	// The texts get_overhead_text_data answers with; monster_index NONE is a free slot.
	overhead_text_data texts[MAXIMUM_OVERHEAD_TEXTS];
};

overhead_map_test_hooks_data *get_overhead_map_test_hooks(void);
void reset_overhead_map_test_hooks(void);

struct view_data;
void rasterize_overhead_map(view_data *view);

#endif
