// What the dialog engine draws while no dialog definitions exist: built-in
// layouts by dialog tag (size, background collection, items), drawing of
// pictures, buttons and static text, the dirty rule, input routing to
// buttons, and list rows.
#ifndef DIALOG_DRAWING_H
#define DIALOG_DRAWING_H

#include "cseries.h"
#include "bitmaps.h"

struct dialog_data;
struct action_data;

enum // item kinds
{
	_dialog_item_kind_none,
	_dialog_item_kind_picture,
	_dialog_item_kind_button,
	_dialog_item_kind_static_text
};

struct dialog_layout_item
{
	int16 item;
	int16 kind;
	rectangle2d bounds; // in the dialog
	const char *label; // buttons
};

#define MAXIMUM_DIALOG_LAYOUT_ITEMS 16

struct dialog_layout
{
	file_tag tag;
	int16 width, height;
	file_tag background_collection_tag;
	int16 item_count;
	dialog_layout_item items[MAXIMUM_DIALOG_LAYOUT_ITEMS];
};

// NULL for a dialog without a layout.
const dialog_layout *find_dialog_layout(file_tag dialog_tag);

// Called by the engine: a new dialog takes its layout (centred in the game
// screen); a closing one forgets its lists; a control kind names its item.
void apply_dialog_layout(dialog_data *dialog);
void forget_dialog_lists(const dialog_data *dialog);
void set_dialog_item_kind_from_control(dialog_data *dialog, int16 item, file_tag control_kind);
void keep_static_item_text_appearance(dialog_data *dialog, int16 item, int16 font_index, int16 style,
	const rgb_color *color, uint32 flags);

// Draws the dialog whole with its top-left at origin in the bitmap.
void draw_dialog(bitmap_data *bitmap, dialog_data *dialog, point2d origin);
// Whether the open dialogs differ from what was last drawn.
boolean dialogs_changed_since_drawn(void);
void note_dialogs_drawn(void);
void note_world_drawn_beneath_dialogs(void);
// Draws every open visible dialog, oldest first, over black unless the world
// was drawn beneath since the last call.
void draw_open_dialogs(bitmap_data *back_buffer);
// The next open dialog with a layout after previous (oldest first).
dialog_data *next_drawn_dialog(dialog_data *previous);
boolean route_action_to_dialogs(action_data *action);


#endif
