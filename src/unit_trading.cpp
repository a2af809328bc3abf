// Unit trading: the placements a team may trade before a multiplayer game,
// the captain's dialog that chooses their counts, and the unit adjustment
// that places that team's units again when the command executes.
#include "unit_trading.h"

#include <cstdio>
#include <cstring>

#include "bitmap_dialogs/dialogs.h"
#include "bitmap_dialogs/screens.h"
#include "error_manager.h"
#include "game_preferences.h"
#include "game_statistics.h"
#include "interface.h"
#include "markers.h"
#include "memory.h"
#include "monsters.h"
#include "objects.h"
#include "players.h"
#include "quicksort.h"
#include "screen.h"
#include "shapes.h"
#include "string_definitions.h"
#include "zerv.h"

unit_trading_globals_data unit_trading_globals = {};

#define COST_FIELD_WIDTH 22

static boolean trading_allowed(void)
{
	return game && (game->option_flags & _game_option_allow_unit_trading_flag);
}

static boolean marker_passes(const marker_data *marker, const marker_palette_entry *entry)
{
	return game && game->difficulty_level >= marker->minimum_difficulty_level && palette_compatible_with_game_scoring(entry);
}

void initialize_monster_placements_for_new_map(void)
{
	if (game_play_version <= 1700 || !trading_allowed() || game->time_state != _game_time_pregame) return;
	scan_markers_state state;
	new_scan_markers_state(&state, _marker_monster, NONE, NONE);
	while (marker_data *marker = scan_markers(&state))
	{
		const marker_palette_entry *entry = get_marker_palette_entry(_marker_monster, marker->palette_index);
		if (!entry || (entry->flags & _marker_palette_must_use_veterans_flag) || !marker_passes(marker, entry)) continue;
		monster_data *monster = get_monster_data_by_identifier(marker->data_index, marker->data_identifier);
		if (!monster) continue;
		monster->flags |= _monster_needs_to_stop_flag | _monster_was_stopped_flag;
		monster->extra_flags |= _monster_is_being_traded_extra_flag;
	}
}

int compare_monster_placement(const void *a, const void *b)
{
	const monster_placement *first = static_cast<const monster_placement *>(a);
	const monster_placement *second = static_cast<const monster_placement *>(b);
	const int first_tradable = (first->flags & _placement_can_be_traded_flag) ? 1 : 0;
	const int second_tradable = (second->flags & _placement_can_be_traded_flag) ? 1 : 0;
	if (first_tradable != second_tradable) return second_tradable - first_tradable;
	if (first->cost_per_unit != second->cost_per_unit) return second->cost_per_unit - first->cost_per_unit;
	if (first->maximum_count != second->maximum_count) return second->maximum_count - first->maximum_count;
	if (game_play_version >= 1601 && first->palette_index != second->palette_index) return second->palette_index - first->palette_index;
	return 0;
}

monster_placement *get_monster_placement_data(int16 team_index, int16 *count)
{
	if (count) *count = 0;
	monster_placement *placements = static_cast<monster_placement *>(
		new_pointer_z(sizeof(monster_placement) * MAXIMUM_UNIT_PLACEMENTS_PER_TEAM));
	if (!placements)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate monster placement data");
		return nullptr;
	}
	int16 placement_count = 0;
	const int32 entries = count_marker_palette_entries(_marker_monster);
	for (int32 p = 0; p < entries; ++p)
	{
		const marker_palette_entry *entry = get_marker_palette_entry(_marker_monster, p);
		if (!entry || entry->team_index != team_index || (entry->flags & _marker_palette_must_use_veterans_flag)) continue;
		const int16 unit_type = entry->tag_index;
		monster_placement *placement = nullptr;
		for (int16 i = 0; i < placement_count && !placement; ++i)
		{
			if (placements[i].unit_type == unit_type) placement = &placements[i];
		}
		if (!placement)
		{
			if (placement_count >= MAXIMUM_UNIT_PLACEMENTS_PER_TEAM) continue;
			placement = &placements[placement_count++];
			placement->palette_index = static_cast<int16>(p);
			placement->unit_type = unit_type;
			const unit_definition *unit = get_unit_definition(unit_type);
			const monster_definition *kind = unit ? get_monster_definition(unit->monster_type) : nullptr;
			placement->cost_per_unit = static_cast<int16>(kind ? MAX(kind->cost, 0) : 0);
		}
		const boolean tradable = (entry->flags & _marker_palette_may_be_traded_flag) != 0;
		const boolean ambient = (entry->flags & _marker_palette_ambient_life_flag) != 0;
		scan_markers_state state;
		new_scan_markers_state(&state, _marker_monster, static_cast<int16>(p), NONE);
		while (const marker_data *marker = scan_markers(&state))
		{
			if (tradable) placement->flags |= _placement_can_be_traded_flag;
			if (!marker_passes(marker, entry)) continue;
			placement->maximum_count += 1;
			if (!(marker->flags & _marker_is_invisible_flag)) placement->count += 1;
			if (!(marker->flags & _marker_is_invisible_flag) && !(tradable && !ambient)) placement->minimum_count += 1;
		}
	}
	int16 kept = 0;
	for (int16 i = 0; i < placement_count; ++i)
	{
		monster_placement *placement = &placements[i];
		if (placement->maximum_count == placement->minimum_count) placement->flags &= ~static_cast<uint32>(_placement_can_be_traded_flag);
		if (game_play_version >= 1710 && placement->maximum_count == 0) continue;
		if (game_play_version >= 1711 && !(placement->flags & _placement_can_be_traded_flag)) continue;
		placements[kept++] = *placement;
	}
	qsort_private(placements, kept, sizeof(monster_placement), compare_monster_placement);
	if (count) *count = MIN(kept, static_cast<int16>(NUMBER_OF_MONSTER_PLACEMENT_DIALOG_ENTRIES));
	return placements;
}

// The captain's definition of the same parent unit, for a unit type of another player.
static int16 captains_unit_type(int16 unit_type, int16 team_index)
{
	const unit_definition *unit = get_unit_definition(unit_type);
	const team_data *team = get_team_data(team_index);
	if (!unit || !team || team->captain_player_index == NONE || unit->player_index == team->captain_player_index) return unit_type;
	definition_globals *units = get_unit_definitions();
	for (int16 i = 0; i < units->count; ++i)
	{
		const unit_definition *other = get_unit_definition(i);
		if (other && other->player_index == team->captain_player_index && other->parent_unit_tag == unit->parent_unit_tag) return i;
	}
	return unit_type;
}

void adjust_unit_placement(int16 team_index, int16 count, const int16 *counts)
{
	// The team and the counts come from a peer's command.
	if (team_index < 0 || team_index >= MAXIMUM_TEAMS_PER_MAP || count < 0 || count > MAXIMUM_UNIT_ADJUSTMENT_COUNT || !counts) return;
	if (!trading_allowed()) return;
	const boolean in_time = game->time_state == _game_time_pregame ||
		(game->time_state == _game_time_countdown && game->original_time_limit - game->time_remaining < UNIT_ADJUSTMENT_GRACE_PERIOD);
	if (!in_time) return;
	int16 placement_count = 0;
	monster_placement *placements = get_monster_placement_data(team_index, &placement_count);
	if (!placements) return;
	if (placement_count == 0 || count != placement_count)
	{
		dispose_pointer(placements);
		return;
	}
	int16 requests[MAXIMUM_UNIT_ADJUSTMENT_COUNT];
	int32 total = 0, spent = 0;
	boolean in_range = TRUE;
	for (int16 i = 0; i < count; ++i)
	{
		requests[i] = counts[i];
		total += placements[i].count * placements[i].cost_per_unit;
		spent += requests[i] * placements[i].cost_per_unit;
		if (requests[i] < placements[i].minimum_count || requests[i] > placements[i].maximum_count) in_range = FALSE;
	}
	if (!in_range || spent > total)
	{
		dispose_pointer(placements);
		return;
	}
	int32 remaining = total - spent;
	for (int16 i = 0; i < count; ++i)
	{
		const int16 cost = placements[i].cost_per_unit;
		if (cost == 0 && game_play_version >= 1701) continue;
		while (remaining >= cost && requests[i] < placements[i].maximum_count)
		{
			requests[i] += 1;
			remaining -= cost;
		}
	}

	// Entries of one unit type share its request.
	int16 remaining_requests[MAXIMUM_UNIT_ADJUSTMENT_COUNT];
	for (int16 i = 0; i < count; ++i) remaining_requests[i] = requests[i];
	const int32 entries = count_marker_palette_entries(_marker_monster);
	for (int32 p = 0; p < entries; ++p)
	{
		marker_palette_entry *entry = get_marker_palette_entry(_marker_monster, p);
		if (!entry || entry->team_index != team_index || (entry->flags & _marker_palette_must_use_veterans_flag)) continue;
		int16 which = NONE;
		for (int16 i = 0; i < count && which == NONE; ++i)
		{
			if (placements[i].unit_type == entry->tag_index) which = i;
		}
		scan_markers_state state;
		new_scan_markers_state(&state, _marker_monster, static_cast<int16>(p), NONE);
		while (marker_data *marker = scan_markers(&state))
		{
			monster_data *monster = get_monster_data_by_identifier(marker->data_index, marker->data_identifier);
			if (!monster) continue;
			monster->extra_flags &= ~static_cast<uint32>(_monster_is_being_traded_extra_flag);
			if (which == NONE) continue;
			const object_data *object = get_object_data(monster->object_index);
			adjust_unit_statistics(monster->unit_type, -1, object ? -object->vitality : 0);
			delete_monster(marker->data_index, FALSE);
			marker->data_index = NONE;
		}
		if (which == NONE) continue;
		int16 &left = remaining_requests[which];
		new_scan_markers_state(&state, _marker_monster, static_cast<int16>(p), NONE);
		while (marker_data *marker = scan_markers(&state))
		{
			if (marker->flags & _marker_is_invisible_flag) continue;
			if (left > 0 && marker_passes(marker, entry)) left -= 1;
			else marker->flags |= _marker_is_invisible_flag;
		}
		new_scan_markers_state(&state, _marker_monster, static_cast<int16>(p), NONE);
		while (marker_data *marker = scan_markers(&state))
		{
			if (left <= 0) break;
			if ((marker->flags & _marker_is_invisible_flag) && marker_passes(marker, entry))
			{
				marker->flags &= ~static_cast<uint32>(_marker_is_invisible_flag);
				left -= 1;
			}
		}
		mark_monster_initializers_as_unused();
		const int16 original_type = entry->tag_index;
		if (game_play_version >= 1601) entry->tag_index = captains_unit_type(original_type, team_index);
		new_scan_markers_state(&state, _marker_monster, static_cast<int16>(p), NONE);
		while (marker_data *marker = scan_markers(&state))
		{
			new_monster(marker);
		}
		entry->tag_index = original_type;
	}
	dispose_pointer(placements);
}

/* ---------- the dialog */

static int16 row_item(int16 row, int16 which)
{
	return static_cast<int16>(FIRST_VARIABLE_ITEM + row * NUMBER_OF_ROW_ITEMS + which);
}

static int16 shown_placement_count(void)
{
	int16 shown = 0;
	for (int16 i = 0; i < unit_trading_globals.monster_placement_count && shown < NUMBER_OF_MONSTER_PLACEMENT_DIALOG_ENTRIES; ++i)
	{
		if (unit_trading_globals.monster_placements[i].flags & _placement_can_be_traded_flag) ++shown;
	}
	return shown;
}

void update_unit_trading_dialog(void)
{
	dialog_data *dialog = unit_trading_globals.dialog;
	if (!dialog) return;
	const int16 shown = shown_placement_count();
	int32 spent = 0;
	for (int16 row = 0; row < shown; ++row)
	{
		spent += unit_trading_globals.monster_placements[row].cost_per_unit * get_double_arrow_control_value(dialog, row_item(row, _row_item_count));
	}
	const int32 remaining = unit_trading_globals.total_available_points - spent;
	for (int16 row = 0; row < shown; ++row)
	{
		const monster_placement *placement = &unit_trading_globals.monster_placements[row];
		const int16 item = row_item(row, _row_item_count);
		const int32 value = get_double_arrow_control_value(dialog, item);
		const int32 maximum = placement->cost_per_unit == 0 ? placement->maximum_count :
			MIN(static_cast<int32>(placement->maximum_count), value + remaining / placement->cost_per_unit);
		set_double_arrow_control_value(dialog, item, placement->minimum_count, maximum, value);
	}
	char text[256];
	const int16 list = string_list_tag_to_string_index(UNIT_TRADING_STRING_LIST_TAG);
	const char *format = list != NONE ? get_string_from_list(list, _string_index_points_remaining) : nullptr;
	// The format comes from tag data: only one %d is honoured.
	safe_tag_sprintf(text, sizeof(text), "%d", "%d", format, static_cast<int>(remaining));
	set_bitmap_dialog_static_item_text(dialog, _item_points_remaining, text);
}

void unit_trading_double_arrow_listener(dialog_data *dialog, int16 item, int32 value)
{
	(void)dialog;
	(void)item;
	(void)value;
	update_unit_trading_dialog();
}

static void revert_unit_trading_dialog(dialog_data *dialog)
{
	const int16 shown = shown_placement_count();
	for (int16 row = 0; row < shown; ++row)
	{
		const monster_placement *placement = &unit_trading_globals.monster_placements[row];
		set_double_arrow_control_value(dialog, row_item(row, _row_item_count), placement->minimum_count, placement->maximum_count,
			placement->count);
	}
	update_unit_trading_dialog();
}

static void send_unit_trading_values(void)
{
	// The adjustment needs every placement: rows not shown keep their own count.
	int16 counts[MAXIMUM_UNIT_ADJUSTMENT_COUNT];
	const int16 shown = shown_placement_count();
	const int16 count = MIN(unit_trading_globals.monster_placement_count, static_cast<int16>(MAXIMUM_UNIT_ADJUSTMENT_COUNT));
	for (int16 row = 0; row < count; ++row)
	{
		counts[row] = row < shown ?
			static_cast<int16>(get_double_arrow_control_value(unit_trading_globals.dialog, row_item(row, _row_item_count))) :
			unit_trading_globals.monster_placements[row].count;
	}
	queue_unit_adjustment_command(0, count, counts);
}

// Frees the placements and brings the status bar back.
static void forget_unit_trading_dialog(void)
{
	dialog_data *dialog = unit_trading_globals.dialog;
	unit_trading_globals.dialog = nullptr;
	if (dialog) dispose_dialog(dialog);
	dispose_pointer(unit_trading_globals.monster_placements);
	unit_trading_globals.monster_placements = nullptr;
	unit_trading_globals.monster_placement_count = 0;
	set_status_bar_height(NONE);
	set_status_bar_visibility(unit_trading_globals.status_bar_initially_visible);
}

void unit_trading_dialog_handler_proc(dialog_data *dialog, int16 event)
{
	if (!dialog || dialog != unit_trading_globals.dialog) return;
	int16 item = NONE;
	switch (event)
	{
	case _dialog_event_ok: item = _item_ok; break;
	case _dialog_event_cancel: item = _item_cancel; break;
	case _dialog_event_revert: item = _item_revert; break;
	case _dialog_event_item_hit: item = dialog->item_hit; break;
	default: break;
	}
	switch (item)
	{
	case _item_ok:
		send_unit_trading_values();
		forget_unit_trading_dialog();
		break;
	case _item_cancel:
		forget_unit_trading_dialog();
		break;
	case _item_revert:
		revert_unit_trading_dialog(dialog);
		break;
	default:
		break;
	}
}

void open_unit_trading_dialog(void)
{
	if (unit_trading_globals.dialog || !trading_allowed() || game->time_state != _game_time_pregame) return;
	const int16 local = player_globals.local_player_index;
	const player_data *player = get_player_data(local);
	const team_data *team = player ? get_team_data(player->team_index) : nullptr;
	if (!team || team->captain_player_index != local) return;
	int16 count = 0;
	monster_placement *placements = get_monster_placement_data(player->team_index, &count);
	if (!placements) return;
	if (count == 0)
	{
		dispose_pointer(placements);
		return;
	}
	const resolution_data *resolution = get_active_resolution_data();
	dialog_data *dialog = resolution ? new_dialog(resolution->unit_trading_dialog, unit_trading_dialog_handler_proc, nullptr, 0, 0) : nullptr;
	if (!dialog)
	{
		dispose_pointer(placements);
		return;
	}
	unit_trading_globals.dialog = dialog;
	unit_trading_globals.monster_placements = placements;
	unit_trading_globals.monster_placement_count = count;
	const int16 collection = try_and_get_collection_index(resolution->unit_trading_collection);
	if (collection != NONE) set_dialog_background(dialog, collection, 0);
	rectangle2d bounds;
	get_dialog_bounds(dialog, &bounds);
	const int16 width = static_cast<int16>(bounds.right - bounds.left), height = static_cast<int16>(bounds.bottom - bounds.top);
	set_rectangle2d(&bounds, 0, 0, width, height);
	move_dialog(dialog, &bounds);
	const game_preferences *preferences = get_game_preferences();
	unit_trading_globals.status_bar_initially_visible = preferences && (preferences->flags & _game_pref_status_bar_visible_flag);
	set_status_bar_visibility(FALSE);
	set_status_bar_height(height);

	const int16 shown = shown_placement_count();
	int32 total = 0;
	for (int16 row = 0; row < NUMBER_OF_MONSTER_PLACEMENT_DIALOG_ENTRIES; ++row)
	{
		if (row >= shown)
		{
			for (int16 which = 0; which < NUMBER_OF_ROW_ITEMS; ++which) bitmap_set_item_visible(dialog, row_item(row, which), FALSE);
			continue;
		}
		const monster_placement *placement = &placements[row];
		const unit_definition *unit = get_unit_definition(placement->unit_type);
		char text[64];
		set_bitmap_dialog_static_item_text(dialog, row_item(row, _row_item_type),
			unit ? get_monster_spelling(unit->monster_type, 2) : "");
		snprintf(text, sizeof(text), "%d/%d", placement->minimum_count, placement->maximum_count);
		set_bitmap_dialog_static_item_text(dialog, row_item(row, _row_item_maximum), text);
		snprintf(text, sizeof(text), "%d", placement->cost_per_unit);
		const int16 cost_item = row_item(row, _row_item_cost);
		set_bitmap_dialog_static_item_text(dialog, cost_item, text);
		rectangle2d cost_bounds;
		get_dialog_item_bounds(dialog, cost_item, &cost_bounds);
		cost_bounds.right = static_cast<int16>(cost_bounds.left + COST_FIELD_WIDTH);
		set_dialog_item_bounds(dialog, cost_item, &cost_bounds);
		const int16 count_item = row_item(row, _row_item_count);
		set_double_arrow_control_value(dialog, count_item, placement->minimum_count, placement->maximum_count, placement->count);
		set_double_arrow_control_value_listener(dialog, count_item, unit_trading_double_arrow_listener);
		total += placement->cost_per_unit * placement->count;
	}
	unit_trading_globals.total_available_points = static_cast<int16>(total);
	update_unit_trading_dialog();
}

void close_unit_trading_dialog(void)
{
	if (!unit_trading_globals.dialog) return;
	send_unit_trading_values();
	forget_unit_trading_dialog();
}

void dispose_unit_trading_dialog(void)
{
	if (!unit_trading_globals.dialog) return;
	forget_unit_trading_dialog();
}

boolean unit_trading_dialog_visible(rectangle2d *bounds)
{
	if (!unit_trading_globals.dialog)
	{
		if (bounds) set_rectangle2d(bounds, 0, 0, 0, 0);
		return FALSE;
	}
	if (bounds) get_dialog_bounds(unit_trading_globals.dialog, bounds);
	return TRUE;
}
