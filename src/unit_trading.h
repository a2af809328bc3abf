// Unit placements a team may trade before a multiplayer game starts, the
// captain's trading dialog, and the unit adjustment that places a team again.
#ifndef UNIT_TRADING_H
#define UNIT_TRADING_H

#include "cseries.h"
#include "bitmaps.h"

struct dialog_data;

#define MAXIMUM_UNIT_PLACEMENTS_PER_TEAM 16
#define NUMBER_OF_MONSTER_PLACEMENT_DIALOG_ENTRIES 8
#define UNIT_ADJUSTMENT_GRACE_PERIOD 450
#define MAXIMUM_UNIT_ADJUSTMENT_COUNT 15
#define UNIT_TRADING_STRING_LIST_TAG TAG("inut")

enum
{
	_placement_can_be_traded_bit,
	_placement_can_be_traded_flag = FLAG(_placement_can_be_traded_bit)
};

enum // dialog items
{
	_item_ok = 1,
	_item_cancel,
	_item_revert,
	_item_header_first, // 4..11: type, cost, maximum, count on each side
	FIRST_VARIABLE_ITEM = 12,
	LAST_VARIABLE_ITEM = 43,
	_item_points_remaining = 44
};

enum // a row's items, from FIRST_VARIABLE_ITEM + 4 × row
{
	_row_item_type,
	_row_item_cost,
	_row_item_maximum,
	_row_item_count,
	NUMBER_OF_ROW_ITEMS
};

enum // 'inut'
{
	_string_index_points_remaining = 0
};

struct monster_placement
{
	uint32 flags;
	int16 palette_index;
	int16 unit_type;
	int16 count; // placed by visible markers
	int16 minimum_count;
	int16 maximum_count;
	int16 cost_per_unit;
};

struct unit_trading_globals_data
{
	int16 total_available_points;
	int16 monster_placement_count;
	struct monster_placement *monster_placements; // the team's placements while the dialog is open
	dialog_data *dialog;
	boolean status_bar_initially_visible;
};

extern unit_trading_globals_data unit_trading_globals;

void initialize_monster_placements_for_new_map(void);
// A block the caller frees (dispose_pointer); NULL without placements.
monster_placement *get_monster_placement_data(int16 team_index, int16 *count);
void adjust_unit_placement(int16 team_index, int16 count, const int16 *counts);
int compare_monster_placement(const void *a, const void *b);

void open_unit_trading_dialog(void);
void update_unit_trading_dialog(void);
void unit_trading_double_arrow_listener(dialog_data *dialog, int16 item, int32 value);
void unit_trading_dialog_handler_proc(dialog_data *dialog, int16 event);
// Sends the values, as OK does.
void close_unit_trading_dialog(void);
// Sends nothing (the map is going away).
void dispose_unit_trading_dialog(void);
boolean unit_trading_dialog_visible(rectangle2d *bounds);

// The command that carries a team's new counts (the command stream's).
void queue_unit_adjustment_command(uint16 flags, int16 count, const int16 *counts);

#endif
