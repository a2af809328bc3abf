#include "bitmap_dialogs/dialogs.h"

#include <new>

#include "tag_files/tag_files.h"
#include "screen.h"
#include "hardware/hardware_rasterizers.h"

static dialogs_test_hooks_data dialogs_hooks;

// Open dialogs, oldest first.
static dialog_data *open_dialogs[MAXIMUM_OPEN_DIALOGS];
static int32 open_dialog_total = 0;

dialogs_test_hooks_data *get_dialogs_test_hooks(void)
{
	return &dialogs_hooks;
}

void reset_dialogs_test_hooks(void)
{
	memset(&dialogs_hooks, 0, sizeof(dialogs_hooks));
}

#define LEAST(...) least_call(&dialogs_hooks.calls, __VA_ARGS__)

void inject_modal_dialog_answer(int16 item)
{
	if (dialogs_hooks.modal_answer_count < MAXIMUM_INJECTED_DIALOG_ANSWERS)
	{
		dialogs_hooks.modal_answers[dialogs_hooks.modal_answer_count++] = item;
	}
}

void inject_dialog_item_hit(file_tag dialog_tag, int16 item)
{
	if (dialogs_hooks.item_hit_count < MAXIMUM_INJECTED_DIALOG_ANSWERS)
	{
		dialogs_hooks.item_hit_tags[dialogs_hooks.item_hit_count] = dialog_tag;
		dialogs_hooks.item_hit_items[dialogs_hooks.item_hit_count] = item;
		dialogs_hooks.item_hit_count += 1;
	}
}

int32 open_dialog_count(void)
{
	return open_dialog_total;
}

dialog_data *find_open_dialog(file_tag dialog_tag)
{
	for (int32 i = 0; i < open_dialog_total; ++i)
	{
		if (open_dialogs[i]->tag == dialog_tag) return open_dialogs[i];
	}
	return NULL;
}

dialog_data *get_open_dialog(int32 index)
{
	return index >= 0 && index < open_dialog_total ? open_dialogs[index] : NULL;
}

static bool dialog_is_open(const dialog_data *dialog)
{
	for (int32 i = 0; i < open_dialog_total; ++i)
	{
		if (open_dialogs[i] == dialog) return true;
	}
	return false;
}

const dialog_item_state *find_dialog_item_state(const dialog_data *dialog, int16 item)
{
	if (!dialog) return NULL;
	for (int32 i = 0; i < dialog->item_state_count; ++i)
	{
		if (dialog->item_states[i].item == item) return &dialog->item_states[i];
	}
	return NULL;
}

// The item's state, made on first use; NULL without a dialog or room.
static dialog_item_state *item_state(dialog_data *dialog, int16 item)
{
	if (!dialog) return NULL;
	dialog_item_state *state = const_cast<dialog_item_state *>(find_dialog_item_state(dialog, item));
	if (state) return state;
	if (dialog->item_state_count >= MAXIMUM_DIALOG_ITEM_STATES) return NULL;

	state = &dialog->item_states[dialog->item_state_count++];
	memset(state, 0, sizeof(*state));
	state->item = item;
	state->flags = _dialog_item_enabled_flag | _dialog_item_visible_flag;
	state->collection_index = NONE;
	state->sequence_index = NONE;
	state->keyboard_equivalent = NONE;
	return state;
}

static void copy_text(char *destination, int32 length, const char *source)
{
	if (!destination || length < 1) return;
	strncpy(destination, source ? source : "", static_cast<size_t>(length) - 1);
	destination[length - 1] = 0;
}

/* ---------- dialogs */

void register_zerv_controls(void)
{
	LEAST("register_zerv_controls");
}

dialog_data *new_dialog(file_tag dialog_tag, dialog_handler_proc handler, void *inhibitor, int32 sleep_ticks,
	uint32 flags)
{
	LEAST("new_dialog", dialog_tag, reinterpret_cast<void *>(handler), inhibitor, sleep_ticks, flags);
	if (dialogs_hooks.fail_new_dialog_count > 0)
	{
		dialogs_hooks.fail_new_dialog_count -= 1;
		return NULL;
	}
	if (open_dialog_total >= MAXIMUM_OPEN_DIALOGS) return NULL;

	dialog_data *dialog = new (std::nothrow) dialog_data();
	if (!dialog) return NULL;
	dialog->tag = dialog_tag;
	dialog->handler = handler;
	dialog->inhibitor = inhibitor;
	dialog->sleep_ticks = sleep_ticks;
	dialog->creation_flags = flags;
	dialog->item_hit = NONE;
	dialog->default_item = dialog->cancel_item = dialog->focus_item = NONE;
	dialog->background_collection_index = dialog->background_sequence_index = NONE;
	open_dialogs[open_dialog_total++] = dialog;
	apply_dialog_layout(dialog);
	return dialog;
}

int16 modal_dialog(dialog_data *dialog)
{
	LEAST("modal_dialog", dialog);
	int16 answer = NONE;
	const boolean open = dialog && dialog_is_open(dialog);
	if (dialogs_hooks.modal_answers_used < dialogs_hooks.modal_answer_count)
	{
		answer = dialogs_hooks.modal_answers[dialogs_hooks.modal_answers_used++];
	}
	else if (open && !dialog->modal_answered)
	{
		// A person meets the dialog: its default is what they would choose.
		answer = dialog->default_item;
	}
	if (open)
	{
		dialog->modal_answered = TRUE;
		dialog->item_hit = answer;
	}
	return answer;
}

void dispose_dialog(dialog_data *dialog)
{
	LEAST("dispose_dialog", dialog);
	for (int32 i = 0; i < open_dialog_total; ++i)
	{
		if (open_dialogs[i] != dialog) continue;
		memmove(&open_dialogs[i], &open_dialogs[i + 1], sizeof(open_dialogs[0]) * static_cast<size_t>(open_dialog_total - i - 1));
		open_dialog_total -= 1;
		open_dialogs[open_dialog_total] = NULL;
		// The back end keys its tiles by the bitmap's address, which a new
		// bitmap may reuse.
		if (dialog->internal_bitmap && dialog->must_be_disposed_by_backend)
			dispose_bitmap_cache_hardware(dialog->internal_bitmap);
		dispose_pointer(dialog->internal_bitmap);
		for (int32 j = 0; j < dialog->item_state_count; ++j) dispose_pointer(dialog->item_states[j].rows);
		forget_dialog_lists(dialog);
		delete dialog;
		return;
	}
}

void close_all_dialogs(void)
{
	LEAST("close_all_dialogs");
	while (open_dialog_total > 0) dispose_dialog(open_dialogs[open_dialog_total - 1]);
}

// Calls the handler of a dialog that is still open.
static void send_dialog_event(dialog_data *dialog, int16 event)
{
	if (dialog_is_open(dialog) && dialog->handler) dialog->handler(dialog, event);
}

void idle_dialogs(void)
{
	LEAST("idle_dialogs");

	// Injected item hits first, each to the oldest open dialog with its tag.
	const int32 hit_count = dialogs_hooks.item_hit_count;
	file_tag tags[MAXIMUM_INJECTED_DIALOG_ANSWERS];
	int16 items[MAXIMUM_INJECTED_DIALOG_ANSWERS];
	memcpy(tags, dialogs_hooks.item_hit_tags, sizeof(tags));
	memcpy(items, dialogs_hooks.item_hit_items, sizeof(items));
	dialogs_hooks.item_hit_count = 0;
	for (int32 i = 0; i < hit_count; ++i)
	{
		dialog_data *dialog = find_open_dialog(tags[i]);
		if (!dialog) continue;
		dialog->item_hit = items[i];
		send_dialog_event(dialog, _dialog_event_item_hit);
	}

	// Handlers may open or close dialogs: work on a copy of the list.
	dialog_data *dialogs[MAXIMUM_OPEN_DIALOGS];
	const int32 count = open_dialog_total;
	memcpy(dialogs, open_dialogs, sizeof(dialogs[0]) * static_cast<size_t>(count));
	for (int32 i = 0; i < count; ++i) send_dialog_event(dialogs[i], _dialog_event_idle);
}

void render_dialogs(bitmap_data *back_buffer)
{
	LEAST("render_dialogs", back_buffer);
	draw_open_dialogs(back_buffer);
}

boolean dialogs_are_dirty(rectangle2d *dirty_rectangle, boolean *must_clear)
{
	LEAST("dialogs_are_dirty", dirty_rectangle, must_clear);
	const boolean dirty = dialogs_changed_since_drawn() || dialogs_hooks.report_must_clear;
	if (dirty_rectangle)
	{
		if (dirty) get_game_screen_bounds(dirty_rectangle);
		else set_rectangle2d(dirty_rectangle, 0, 0, 0, 0);
	}
	if (must_clear) *must_clear = dialogs_hooks.report_must_clear;
	return dirty;
}

dialog_data *get_dialog_to_rasterize(dialog_data *previous)
{
	LEAST("get_dialog_to_rasterize", previous);
	return next_drawn_dialog(previous);
}

void invalidate_dialog_rectangle(const rectangle2d *rectangle)
{
	LEAST("invalidate_dialog_rectangle", rectangle);
	note_world_drawn_beneath_dialogs();
}

boolean dialogs_handled_action(action_data *action)
{
	LEAST("dialogs_handled_action", action);
	return route_action_to_dialogs(action);
}

void draw_dialog_into_bitmap(bitmap_data *bitmap, dialog_data *dialog)
{
	LEAST("draw_dialog_into_bitmap", bitmap, dialog);
	if (!bitmap || !dialog) return;
	if (dialogs_hooks.paint_dialog) dialogs_hooks.paint_dialog(bitmap, dialog);
	else draw_dialog(bitmap, dialog, point2d{0, 0});
	set_rectangle2d(&dialog->dirty_rectangle, 0, 0, 0, 0);
}

void get_rasterization_data_for_dialog(dialog_data *dialog, dialog_rasterization_data *data)
{
	if (!dialog || !data) return;
	data->dialog = dialog;
	data->origin.x = dialog->bounds.left;
	data->origin.y = dialog->bounds.top;
	data->bitmap = dialog->internal_bitmap;
	data->transparency = 0;
}

void move_dialog(dialog_data *dialog, const rectangle2d *bounds)
{
	LEAST("move_dialog", dialog, bounds);
	if (dialog && bounds) dialog->bounds = *bounds;
}

void get_dialog_bounds(dialog_data *dialog, rectangle2d *bounds)
{
	if (!bounds) return;
	if (dialog) *bounds = dialog->bounds;
	else set_rectangle2d(bounds, 0, 0, 0, 0);
}

void set_dialog_background(dialog_data *dialog, int16 collection_index, int16 sequence_index)
{
	LEAST("set_dialog_background", dialog, collection_index, sequence_index);
	if (!dialog) return;
	dialog->background_collection_index = collection_index;
	dialog->background_sequence_index = sequence_index;
}

void set_dialog_bitmap_art(dialog_data *dialog, int16 item, int16 collection_index, int16 sequence_index)
{
	LEAST("set_dialog_bitmap_art", dialog, item, collection_index, sequence_index);
	if (dialog_item_state *state = item_state(dialog, item))
	{
		state->collection_index = collection_index;
		state->sequence_index = sequence_index;
	}
}

void set_default_dialog_item(dialog_data *dialog, int16 item)
{
	LEAST("set_default_dialog_item", dialog, item);
	if (dialog) dialog->default_item = item;
}

void set_dialog_cancel_item(dialog_data *dialog, int16 item)
{
	LEAST("set_dialog_cancel_item", dialog, item);
	if (dialog) dialog->cancel_item = item;
}

void set_dialog_focus(dialog_data *dialog, int16 item)
{
	LEAST("set_dialog_focus", dialog, item);
	if (dialog) dialog->focus_item = item;
}

void set_dialog_dirty(dialog_data *dialog)
{
	LEAST("set_dialog_dirty", dialog);
	if (dialog)
	{
		set_rectangle2d(&dialog->dirty_rectangle, 0, 0, rectangle2d_width(&dialog->bounds),
			rectangle2d_height(&dialog->bounds));
	}
}

void set_dialog_item_dirty(dialog_data *dialog, int16 item)
{
	LEAST("set_dialog_item_dirty", dialog, item);
	if (dialog_item_state *state = item_state(dialog, item)) state->flags |= _dialog_item_dirty_flag;
}

/* ---------- items */

void get_dialog_item_bounds(dialog_data *dialog, int16 item, rectangle2d *bounds)
{
	if (!bounds) return;
	const dialog_item_state *state = find_dialog_item_state(dialog, item);
	if (state) *bounds = state->bounds;
	else set_rectangle2d(bounds, 0, 0, 0, 0);
}

void set_dialog_item_bounds(dialog_data *dialog, int16 item, const rectangle2d *bounds)
{
	LEAST("set_dialog_item_bounds", dialog, item, bounds);
	dialog_item_state *state = item_state(dialog, item);
	if (state && bounds) state->bounds = *bounds;
}

void set_dialog_item_bounds_hard(dialog_data *dialog, int16 item, const rectangle2d *bounds)
{
	LEAST("set_dialog_item_bounds_hard", dialog, item, bounds);
	dialog_item_state *state = item_state(dialog, item);
	if (state && bounds) state->bounds = *bounds;
}

static void set_item_flag(dialog_data *dialog, int16 item, uint16 flag, boolean on)
{
	dialog_item_state *state = item_state(dialog, item);
	if (!state) return;
	if (on) state->flags |= flag;
	else state->flags &= static_cast<uint16>(~flag);
}

void bitmap_set_item_enabled(dialog_data *dialog, int16 item, boolean enabled)
{
	LEAST("bitmap_set_item_enabled", dialog, item, enabled);
	set_item_flag(dialog, item, _dialog_item_enabled_flag, enabled);
}

void bitmap_set_item_visible(dialog_data *dialog, int16 item, boolean visible)
{
	LEAST("bitmap_set_item_visible", dialog, item, visible);
	set_item_flag(dialog, item, _dialog_item_visible_flag, visible);
}

void set_dialog_item_keyboard_equivalent(dialog_data *dialog, int16 item, int16 key)
{
	LEAST("set_dialog_item_keyboard_equivalent", dialog, item, key);
	if (dialog_item_state *state = item_state(dialog, item)) state->keyboard_equivalent = key;
}

void new_unpressed_control(dialog_data *dialog, file_tag control_kind, int16 item, const rectangle2d *bounds,
	const char *text)
{
	LEAST("new_unpressed_control", dialog, control_kind, item, bounds, text);
	dialog_item_state *state = item_state(dialog, item);
	if (!state) return;
	if (bounds) state->bounds = *bounds;
	copy_text(state->text, DIALOG_ITEM_TEXT_LENGTH, text);
	set_dialog_item_kind_from_control(dialog, item, control_kind);
}

void set_button_control_shape(dialog_data *dialog, int16 item, int16 collection_index, int16 sequence_index)
{
	LEAST("set_button_control_shape", dialog, item, collection_index, sequence_index);
	if (dialog_item_state *state = item_state(dialog, item))
	{
		state->collection_index = collection_index;
		state->sequence_index = sequence_index;
	}
}

void set_button_control_flags(dialog_data *dialog, int16 item, uint32 flags)
{
	LEAST("set_button_control_flags", dialog, item, flags);
	if (dialog_item_state *state = item_state(dialog, item)) state->control_flags = flags;
}

void set_button_control_name(dialog_data *dialog, int16 item, const char *text)
{
	LEAST("set_button_control_name", dialog, item, text);
	if (dialog_item_state *state = item_state(dialog, item)) copy_text(state->text, DIALOG_ITEM_TEXT_LENGTH, text);
}

void get_button_control_name(dialog_data *dialog, int16 item, char *text, int32 length)
{
	const dialog_item_state *state = find_dialog_item_state(dialog, item);
	copy_text(text, length, state ? state->text : "");
}

void set_button_transparency(dialog_data *dialog, int16 item, fixed_fraction transparency)
{
	LEAST("set_button_transparency", dialog, item, transparency);
	if (dialog_item_state *state = item_state(dialog, item)) state->transparency = transparency;
}

void set_bitmap_dialog_static_item_text(dialog_data *dialog, int16 item, const char *text)
{
	LEAST("set_bitmap_dialog_static_item_text", dialog, item, text);
	if (dialog_item_state *state = item_state(dialog, item)) copy_text(state->text, DIALOG_ITEM_TEXT_LENGTH, text);
}

void set_dialog_static_item_text_appearance(dialog_data *dialog, int16 item, int16 font_index, int16 style,
	const rgb_color *color, uint32 flags)
{
	LEAST("set_dialog_static_item_text_appearance", dialog, item, font_index, style, color, flags);
	if (item_state(dialog, item)) keep_static_item_text_appearance(dialog, item, font_index, style, color, flags);
}

void set_bitmap_dialog_edit_item_text(dialog_data *dialog, int16 item, const char *text)
{
	LEAST("set_bitmap_dialog_edit_item_text", dialog, item, text);
	if (dialog_item_state *state = item_state(dialog, item)) copy_text(state->text, DIALOG_ITEM_TEXT_LENGTH, text);
}

void get_bitmap_dialog_edit_item_text(dialog_data *dialog, int16 item, char *text, int32 length)
{
	const dialog_item_state *state = find_dialog_item_state(dialog, item);
	copy_text(text, length, state ? state->text : "");
}

boolean get_checkbox_state(dialog_data *dialog, int16 item)
{
	const dialog_item_state *state = find_dialog_item_state(dialog, item);
	return state && state->value ? TRUE : FALSE;
}

void set_checkbox_state(dialog_data *dialog, int16 item, boolean on)
{
	LEAST("set_checkbox_state", dialog, item, on);
	if (dialog_item_state *state = item_state(dialog, item)) state->value = on ? TRUE : FALSE;
}

void set_double_arrow_control_value(dialog_data *dialog, int16 item, int32 minimum, int32 maximum, int32 value)
{
	LEAST("set_double_arrow_control_value", dialog, item, minimum, maximum, value);
	dialog_item_state *state = item_state(dialog, item);
	if (!state) return;
	if (minimum != NONE) state->minimum = minimum;
	if (maximum != NONE) state->maximum = maximum;
	if (value != NONE) state->value = value;
	if (state->minimum <= state->maximum) state->value = PIN(state->value, state->minimum, state->maximum);
}

int32 get_double_arrow_control_value(dialog_data *dialog, int16 item)
{
	const dialog_item_state *state = find_dialog_item_state(dialog, item);
	return state ? state->value : 0;
}

void set_double_arrow_control_value_listener(dialog_data *dialog, int16 item, double_arrow_listener_proc listener)
{
	LEAST("set_double_arrow_control_value_listener", dialog, item, reinterpret_cast<void *>(listener));
	if (dialog_item_state *state = item_state(dialog, item)) state->listener = listener;
}

void set_double_arrow_control_delta(dialog_data *dialog, int16 item, int16 count,
	const double_arrow_delta_data *steps)
{
	LEAST("set_double_arrow_control_delta", dialog, item, count, steps);
}

int32 get_slider_value(dialog_data *dialog, int16 item)
{
	const dialog_item_state *state = find_dialog_item_state(dialog, item);
	return state ? state->value : 0;
}

void set_slider_value(dialog_data *dialog, int16 item, int32 value)
{
	LEAST("set_slider_value", dialog, item, value);
	if (dialog_item_state *state = item_state(dialog, item)) state->value = value;
}

void set_slider_default_value(dialog_data *dialog, int16 item, int32 value)
{
	LEAST("set_slider_default_value", dialog, item, value);
}

void set_slider_extrema(dialog_data *dialog, int16 item, int32 minimum, int32 maximum)
{
	LEAST("set_slider_extrema", dialog, item, minimum, maximum);
	if (dialog_item_state *state = item_state(dialog, item))
	{
		state->minimum = minimum;
		state->maximum = maximum;
	}
}

/* ---------- lists */

const dialog_list_row *get_dialog_list_row(const dialog_data *dialog, int16 item, int32 row)
{
	const dialog_item_state *state = find_dialog_item_state(dialog, item);
	if (!state || !state->rows || row < 0 || row >= state->row_count) return NULL;
	return &state->rows[row];
}

// Appends a row, growing the list's block by halves; a full list (its
// maximum row count, or no memory) keeps the rows it has.
static void append_list_row(dialog_item_state *state, int32 identifier, const char *text)
{
	if (!state) return;
	const int32 maximum = state->maximum > 0 ? MIN(state->maximum, MAXIMUM_DIALOG_LIST_ROWS) : MAXIMUM_DIALOG_LIST_ROWS;
	if (state->row_count >= maximum) return;
	// A list made by its first row has no selection yet.
	if (!state->rows) state->value = NONE;
	if (state->row_count >= state->row_capacity)
	{
		const int32 capacity = MIN(maximum, MAX(16, state->row_capacity + state->row_capacity / 2));
		dialog_list_row *rows = static_cast<dialog_list_row *>(new_pointer(sizeof(dialog_list_row) * static_cast<size_t>(capacity)));
		if (!rows) return;
		if (state->rows) memcpy(rows, state->rows, sizeof(dialog_list_row) * static_cast<size_t>(state->row_count));
		dispose_pointer(state->rows);
		state->rows = rows;
		state->row_capacity = capacity;
	}
	// A sorted list puts the row after every row that does not sort later, so
	// equal rows keep their order.
	dialog_list_row added;
	added.identifier = identifier;
	copy_text(added.text, DIALOG_LIST_ROW_TEXT_LENGTH, text);
	int32 position = state->row_count;
	if (state->sort)
	{
		const int32 length = static_cast<int32>(strlen(added.text));
		position = 0;
		while (position < state->row_count &&
			state->sort(state->rows[position].text, static_cast<int32>(strlen(state->rows[position].text)), added.text, length) <= 0)
		{
			position += 1;
		}
		memmove(&state->rows[position + 1], &state->rows[position],
			sizeof(dialog_list_row) * static_cast<size_t>(state->row_count - position));
	}
	state->rows[position] = added;
	state->row_count += 1;
}

static void empty_list(dialog_item_state *state)
{
	if (!state) return;
	state->row_count = 0;
	state->value = NONE;
}

// The selected row's identifier, NONE when no row is selected.
static int32 selected_row_identifier(dialog_data *dialog, int16 item)
{
	const dialog_item_state *state = find_dialog_item_state(dialog, item);
	const dialog_list_row *row = state ? get_dialog_list_row(dialog, item, state->value) : NULL;
	return row ? row->identifier : NONE;
}

boolean inject_list_row_click(file_tag dialog_tag, int16 item, int32 row)
{
	dialog_data *dialog = find_open_dialog(dialog_tag);
	if (!get_dialog_list_row(dialog, item, row)) return FALSE;
	item_state(dialog, item)->value = row;
	dialog->item_hit = item;
	send_dialog_event(dialog, _dialog_event_item_hit);
	return TRUE;
}

void bitmap_empty_list(dialog_data *dialog, int16 item)
{
	LEAST("bitmap_empty_list", dialog, item);
	empty_list(item_state(dialog, item));
}

void bitmap_set_list_maximum_row_count(dialog_data *dialog, int16 item, int32 count)
{
	LEAST("bitmap_set_list_maximum_row_count", dialog, item, count);
	if (dialog_item_state *state = item_state(dialog, item)) state->maximum = count;
}

void bitmap_set_list_flag(dialog_data *dialog, int16 item, uint32 flag, boolean on)
{
	LEAST("bitmap_set_list_flag", dialog, item, flag, on);
	if (dialog_item_state *state = item_state(dialog, item))
	{
		if (on) state->control_flags |= flag;
		else state->control_flags &= ~flag;
	}
}

void bitmap_set_list_sort_proc(dialog_data *dialog, int16 item, list_sort_proc procedure)
{
	LEAST("bitmap_set_list_sort_proc", dialog, item, reinterpret_cast<void *>(procedure));
	if (dialog_item_state *state = item_state(dialog, item)) state->sort = procedure;
}

void bitmap_set_listbox_doubleclick_itemhit(dialog_data *dialog, int16 list_item, int16 item)
{
	LEAST("bitmap_set_listbox_doubleclick_itemhit", dialog, list_item, item);
}

void bitmap_select_list_item(dialog_data *dialog, int16 item, int32 row)
{
	LEAST("bitmap_select_list_item", dialog, item, row);
	if (dialog_item_state *state = item_state(dialog, item)) state->value = row;
}

void bitmap_focus_on_list_item(dialog_data *dialog, int16 item, int32 row)
{
	LEAST("bitmap_focus_on_list_item", dialog, item, row);
	if (dialog_item_state *state = item_state(dialog, item)) state->value = row;
}

int32 bitmap_get_listbox_value(dialog_data *dialog, int16 item)
{
	const dialog_item_state *state = find_dialog_item_state(dialog, item);
	return state ? state->value : NONE;
}

int32 bitmap_get_listbox_row_count(dialog_data *dialog, int16 item)
{
	const dialog_item_state *state = find_dialog_item_state(dialog, item);
	return state ? state->row_count : 0;
}

void add_string_to_list(dialog_data *dialog, int16 item, const char *text, int32 identifier, boolean redraw)
{
	LEAST("add_string_to_list", dialog, item, text, identifier, redraw);
	append_list_row(item_state(dialog, item), identifier, text);
}

int32 get_string_list_selected_identifier(dialog_data *dialog, int16 item)
{
	LEAST("get_string_list_selected_identifier", dialog, item);
	return selected_row_identifier(dialog, item);
}

// A missing identifier selects no row.
void select_string_list_by_identifier(dialog_data *dialog, int16 item, int32 identifier)
{
	LEAST("select_string_list_by_identifier", dialog, item, identifier);
	dialog_item_state *state = item_state(dialog, item);
	if (!state) return;
	state->value = NONE;
	for (int32 row = 0; row < state->row_count && state->value == NONE; ++row)
	{
		if (state->rows[row].identifier == identifier) state->value = row;
	}
}

// One row per visible tag of the group that passes the filter, in the tag
// files' order (by name).
void append_tags_to_tag_list(dialog_data *dialog, int16 item, file_tag group_tag, tag_list_filter_proc filter)
{
	LEAST("append_tags_to_tag_list", dialog, item, group_tag, reinterpret_cast<void *>(filter));
	dialog_item_state *state = item_state(dialog, item);
	if (!state) return;
	static int32 handles[MAXIMUM_HEADERS_PER_GROUP_QUERY];
	const int32 count = MIN(tag_file_get_headers(group_tag, handles), MAXIMUM_HEADERS_PER_GROUP_QUERY);
	for (int32 i = 0; i < count; ++i)
	{
		if (filter && !filter(handles[i])) continue;
		append_list_row(state, handles[i], tag_file_name_get(handles[i]));
	}
}

int32 get_tag_list_selected_header(dialog_data *dialog, int16 item)
{
	LEAST("get_tag_list_selected_header", dialog, item);
	return selected_row_identifier(dialog, item);
}

void add_player_to_list(dialog_data *dialog, int16 item, const new_player_data *player)
{
	LEAST("add_player_to_list", dialog, item, player);
	append_list_row(item_state(dialog, item), NONE, NULL);
}

void clear_player_list(dialog_data *dialog, int16 item)
{
	LEAST("clear_player_list", dialog, item);
	empty_list(item_state(dialog, item));
}

void player_list_show_ready_icons(dialog_data *dialog, int16 item, boolean show)
{
	LEAST("player_list_show_ready_icons", dialog, item, show);
}

/* ---------- tabs */

// A tab control keeps its names in the item's text, separated by carriage
// returns, its selected tab as the value and one disabled bit per tab in the
// control flags.
void set_tab_control_names(dialog_data *dialog, int16 item, const char *names)
{
	LEAST("set_tab_control_names", dialog, item, names);
	if (dialog_item_state *state = item_state(dialog, item)) copy_text(state->text, DIALOG_ITEM_TEXT_LENGTH, names);
}

void set_tab_control_tab_enabled(dialog_data *dialog, int16 item, int16 tab, boolean enabled)
{
	LEAST("set_tab_control_tab_enabled", dialog, item, tab, enabled);
	dialog_item_state *state = item_state(dialog, item);
	if (!state || tab < 0 || tab >= 32) return;
	if (enabled) state->control_flags &= ~(1u << tab);
	else state->control_flags |= 1u << tab;
}

boolean get_tab_control_tab_enabled(dialog_data *dialog, int16 item, int16 tab)
{
	const dialog_item_state *state = find_dialog_item_state(dialog, item);
	if (tab < 0 || tab >= 32) return FALSE;
	return !state || !(state->control_flags & (1u << tab));
}

void set_tab_control_selected_tab(dialog_data *dialog, int16 item, int16 tab)
{
	LEAST("set_tab_control_selected_tab", dialog, item, tab);
	if (dialog_item_state *state = item_state(dialog, item)) state->value = tab;
}

int16 get_tab_control_selected_tab(dialog_data *dialog, int16 item)
{
	const dialog_item_state *state = find_dialog_item_state(dialog, item);
	return state ? static_cast<int16>(state->value) : 0;
}
