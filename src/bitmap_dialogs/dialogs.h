// The dialog engine: open dialogs made from dialog definition tags, their
// items, modal dialogs, input routing and drawing. Nothing is drawn yet:
// dialogs live as records that keep their tag, handler and item states, and
// tests answer for the player.
#ifndef DIALOGS_H
#define DIALOGS_H

#include "cseries.h"
#include "bitmaps.h"
#include "least_layer.h"

struct action_data;
struct new_player_data;

#define MAXIMUM_OPEN_DIALOGS 32
#define MAXIMUM_DIALOG_ITEM_STATES 64
#define DIALOG_ITEM_TEXT_LENGTH 256

enum
{
	_dialog_is_transparent_bit,
	_dialog_is_centered_bit,
	NUMBER_OF_DIALOG_FLAGS,

	_dialog_is_transparent_flag = 1 << _dialog_is_transparent_bit,
	_dialog_is_centered_flag = 1 << _dialog_is_centered_bit
};

// What a dialog's handler is told.
enum
{
	_dialog_event_idle = 0,
	_dialog_event_ok = 1,
	_dialog_event_cancel = 2,
	_dialog_event_revert = 3,
	_dialog_event_item_hit = 4, // the item is in the dialog's item_hit
	_dialog_event_initialize = 5,
	_dialog_event_dispose = 6
};

enum
{
	_dialog_item_enabled_bit,
	_dialog_item_visible_bit,
	_dialog_item_dirty_bit,

	_dialog_item_enabled_flag = 1 << _dialog_item_enabled_bit,
	_dialog_item_visible_flag = 1 << _dialog_item_visible_bit,
	_dialog_item_dirty_flag = 1 << _dialog_item_dirty_bit
};

struct dialog_data;
typedef void (*dialog_handler_proc)(dialog_data *dialog, int16 event);
typedef void (*double_arrow_listener_proc)(dialog_data *dialog, int16 item, int32 value);
typedef int32 (*list_sort_proc)(const void *row1, int32 row1_length, const void *row2, int32 row2_length);
typedef boolean (*tag_list_filter_proc)(int32 tag_handle);

#define DIALOG_LIST_ROW_TEXT_LENGTH 64
// Rows a list keeps when no maximum was set.
#define MAXIMUM_DIALOG_LIST_ROWS 32767

// One row of a list: a string list's identifier, a tag list's tag handle, or
// NONE; and its text (cut to fit).
struct dialog_list_row
{
	int32 identifier;
	char text[DIALOG_LIST_ROW_TEXT_LENGTH];
};

// What the dialog's items were last set to.
struct dialog_item_state
{
	int16 item;
	uint16 flags; // enabled, visible, dirty
	int32 value;
	int32 minimum, maximum;
	rectangle2d bounds;
	int16 collection_index, sequence_index;
	fixed_fraction transparency;
	int16 keyboard_equivalent;
	uint32 control_flags;
	int32 row_count;
	dialog_list_row *rows; // row_count in use, NULL until the first; freed with the dialog
	int32 row_capacity;
	list_sort_proc sort; // NULL: rows in the order they came
	char text[DIALOG_ITEM_TEXT_LENGTH];
	double_arrow_listener_proc listener;
	// How the item is drawn (dialog_drawing.h).
	int16 kind;
	boolean text_appearance_set; // else interface font 0, plain, white, flags 0
	int16 text_font_index, text_style;
	rgb_color text_color;
	uint32 text_flags;
};

struct dialog_data
{
	rectangle2d bounds; // on screen
	uint16 flags;
	bitmap_data *internal_bitmap; // NULL until drawn for the hardware path; freed with the dialog
	boolean must_be_disposed_by_backend;
	rectangle2d dirty_rectangle; // in dialog coordinates; empty when nothing is to be drawn

	file_tag tag;
	dialog_handler_proc handler;
	void *inhibitor;
	int32 sleep_ticks;
	uint32 creation_flags;
	int16 item_hit; // the item of the last item-hit event, NONE for none
	int16 default_item, cancel_item, focus_item;
	boolean modal_answered; // modal_dialog has answered once
	int16 background_collection_index, background_sequence_index;
	void *user_data; // for the dialog's owner
	int32 item_state_count;
	dialog_item_state item_states[MAXIMUM_DIALOG_ITEM_STATES];
};

struct dialog_rasterization_data
{
	dialog_data *dialog;
	point2d origin; // the dialog's top-left on screen
	bitmap_data *bitmap;
	fixed_fraction transparency;
};

struct double_arrow_delta_data
{
	int32 upper_bound;
	int32 delta;
};

/* ---------- dialogs */

// Registers every control kind; before initialize_zerv.
void register_zerv_controls(void);

// NULL on failure.
dialog_data *new_dialog(file_tag dialog_tag, dialog_handler_proc handler, void *inhibitor, int32 sleep_ticks,
	uint32 flags);
// The item hit, or -1. With no injected answer the first call answers the
// default item (NONE when the dialog names none) and later calls -1, so no
// dialog loop can spin.
int16 modal_dialog(dialog_data *dialog);
void dispose_dialog(dialog_data *dialog);
void close_all_dialogs(void);
void idle_dialogs(void);
void render_dialogs(bitmap_data *back_buffer);
boolean dialogs_are_dirty(rectangle2d *dirty_rectangle, boolean *must_clear);
dialog_data *get_dialog_to_rasterize(dialog_data *previous);
void invalidate_dialog_rectangle(const rectangle2d *rectangle);
boolean dialogs_handled_action(action_data *action);
// Draws the dirty part of the dialog into the bitmap and clears the dirty rectangle.
void draw_dialog_into_bitmap(bitmap_data *bitmap, dialog_data *dialog);
void get_rasterization_data_for_dialog(dialog_data *dialog, dialog_rasterization_data *data);

void move_dialog(dialog_data *dialog, const rectangle2d *bounds);
void get_dialog_bounds(dialog_data *dialog, rectangle2d *bounds);
void set_dialog_background(dialog_data *dialog, int16 collection_index, int16 sequence_index);
void set_dialog_bitmap_art(dialog_data *dialog, int16 item, int16 collection_index, int16 sequence_index);
void set_default_dialog_item(dialog_data *dialog, int16 item);
void set_dialog_cancel_item(dialog_data *dialog, int16 item);
void set_dialog_focus(dialog_data *dialog, int16 item);
void set_dialog_dirty(dialog_data *dialog);
void set_dialog_item_dirty(dialog_data *dialog, int16 item);

/* ---------- items */

void get_dialog_item_bounds(dialog_data *dialog, int16 item, rectangle2d *bounds);
void set_dialog_item_bounds(dialog_data *dialog, int16 item, const rectangle2d *bounds);
void set_dialog_item_bounds_hard(dialog_data *dialog, int16 item, const rectangle2d *bounds);
void bitmap_set_item_enabled(dialog_data *dialog, int16 item, boolean enabled);
void bitmap_set_item_visible(dialog_data *dialog, int16 item, boolean visible);
void set_dialog_item_keyboard_equivalent(dialog_data *dialog, int16 item, int16 key);
void new_unpressed_control(dialog_data *dialog, file_tag control_kind, int16 item, const rectangle2d *bounds,
	const char *text);

void set_button_control_shape(dialog_data *dialog, int16 item, int16 collection_index, int16 sequence_index);
void set_button_control_flags(dialog_data *dialog, int16 item, uint32 flags);
void set_button_control_name(dialog_data *dialog, int16 item, const char *text);
void get_button_control_name(dialog_data *dialog, int16 item, char *text, int32 length);
// 0 opaque to 65535 invisible.
void set_button_transparency(dialog_data *dialog, int16 item, fixed_fraction transparency);

void set_bitmap_dialog_static_item_text(dialog_data *dialog, int16 item, const char *text);
// NONE keeps the font and the colour.
void set_dialog_static_item_text_appearance(dialog_data *dialog, int16 item, int16 font_index, int16 style,
	const rgb_color *color, uint32 flags);
void set_bitmap_dialog_edit_item_text(dialog_data *dialog, int16 item, const char *text);
void get_bitmap_dialog_edit_item_text(dialog_data *dialog, int16 item, char *text, int32 length);

boolean get_checkbox_state(dialog_data *dialog, int16 item);
void set_checkbox_state(dialog_data *dialog, int16 item, boolean state);

// NONE keeps minimum, maximum or value; the value is kept within the range.
void set_double_arrow_control_value(dialog_data *dialog, int16 item, int32 minimum, int32 maximum, int32 value);
int32 get_double_arrow_control_value(dialog_data *dialog, int16 item);
void set_double_arrow_control_value_listener(dialog_data *dialog, int16 item, double_arrow_listener_proc listener);
void set_double_arrow_control_delta(dialog_data *dialog, int16 item, int16 count,
	const double_arrow_delta_data *steps);

int32 get_slider_value(dialog_data *dialog, int16 item);
void set_slider_value(dialog_data *dialog, int16 item, int32 value);
void set_slider_default_value(dialog_data *dialog, int16 item, int32 value);
void set_slider_extrema(dialog_data *dialog, int16 item, int32 minimum, int32 maximum);

/* ---------- lists */

void bitmap_empty_list(dialog_data *dialog, int16 item);
void bitmap_set_list_maximum_row_count(dialog_data *dialog, int16 item, int32 count);
void bitmap_set_list_flag(dialog_data *dialog, int16 item, uint32 flag, boolean on);
void bitmap_set_list_sort_proc(dialog_data *dialog, int16 item, list_sort_proc procedure);
void bitmap_set_listbox_doubleclick_itemhit(dialog_data *dialog, int16 list_item, int16 item);
void bitmap_select_list_item(dialog_data *dialog, int16 item, int32 row);
void bitmap_focus_on_list_item(dialog_data *dialog, int16 item, int32 row);
// The selected row, NONE when none.
int32 bitmap_get_listbox_value(dialog_data *dialog, int16 item);
int32 bitmap_get_listbox_row_count(dialog_data *dialog, int16 item);
void add_string_to_list(dialog_data *dialog, int16 item, const char *text, int32 identifier, boolean redraw);
int32 get_string_list_selected_identifier(dialog_data *dialog, int16 item);
void select_string_list_by_identifier(dialog_data *dialog, int16 item, int32 identifier);
void append_tags_to_tag_list(dialog_data *dialog, int16 item, file_tag group_tag, tag_list_filter_proc filter);
// The handle of the selected row's tag, NONE when none.
int32 get_tag_list_selected_header(dialog_data *dialog, int16 item);
void add_player_to_list(dialog_data *dialog, int16 item, const new_player_data *player);
void clear_player_list(dialog_data *dialog, int16 item);
void player_list_show_ready_icons(dialog_data *dialog, int16 item, boolean show);

/* ---------- tabs */

// names: the tabs' names separated by carriage returns.
void set_tab_control_names(dialog_data *dialog, int16 item, const char *names);
void set_tab_control_tab_enabled(dialog_data *dialog, int16 item, int16 tab, boolean enabled);
boolean get_tab_control_tab_enabled(dialog_data *dialog, int16 item, int16 tab);
void set_tab_control_selected_tab(dialog_data *dialog, int16 item, int16 tab);
int16 get_tab_control_selected_tab(dialog_data *dialog, int16 item);

#include "bitmap_dialogs/dialog_drawing.h"

/* ---------- test hooks */

#define MAXIMUM_INJECTED_DIALOG_ANSWERS 32

struct dialogs_test_hooks_data
{
	least_call_log calls;

	// modal_dialog answers with these in order, then as without them.
	int32 modal_answer_count;
	int16 modal_answers[MAXIMUM_INJECTED_DIALOG_ANSWERS];
	int32 modal_answers_used;

	// Item hits delivered by the next idle_dialogs to the first open dialog
	// with the tag.
	int32 item_hit_count;
	file_tag item_hit_tags[MAXIMUM_INJECTED_DIALOG_ANSWERS];
	int16 item_hit_items[MAXIMUM_INJECTED_DIALOG_ANSWERS];

	// Fails the next new_dialog calls (NULL) while positive.
	int32 fail_new_dialog_count;

	// Paints a dialog in draw_dialog_into_bitmap, in place of the controls.
	void (*paint_dialog)(bitmap_data *bitmap, dialog_data *dialog);

	// dialogs_are_dirty reports the dialogs dirty with the screen to clear.
	boolean report_must_clear;
};

dialogs_test_hooks_data *get_dialogs_test_hooks(void);
void reset_dialogs_test_hooks(void);
void inject_modal_dialog_answer(int16 item);
void inject_dialog_item_hit(file_tag dialog_tag, int16 item);
int32 open_dialog_count(void);
// Open dialogs by index, oldest first; NULL outside them.
dialog_data *get_open_dialog(int32 index);
// The first open dialog with the tag, NULL when none.
dialog_data *find_open_dialog(file_tag dialog_tag);
// The item's kept state, NULL when the item was never set.
const dialog_item_state *find_dialog_item_state(const dialog_data *dialog, int16 item);
// A row of a list item, NULL outside the list.
const dialog_list_row *get_dialog_list_row(const dialog_data *dialog, int16 item, int32 row);
// The player clicks a row of a list of the first open dialog with the tag:
// the row is selected and the handler hears an item hit of the list item.
// False when there is no such dialog or row.
boolean inject_list_row_click(file_tag dialog_tag, int16 item, int32 row);

#endif
