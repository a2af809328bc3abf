#include "bitmap_dialogs/dialog_drawing.h"

#include <string>
#include <vector>

#include "bitmap_dialogs/dialogs.h"
#include "bitmap_text.h"
#include "crc.h"
#include "input/actions.h"
#include "interface.h"
#include "screen.h"
#include "shapes.h"

#define STATIC_TEXT_CONTROL_TAG TAG("stat")
#define BUTTON_CONTROL_TAG TAG("butn")
#define PICTURE_CONTROL_TAG TAG("pict")
// Disabled button labels are drawn at least half transparent.
#define DISABLED_LABEL_TRANSPARENCY 0x8000

/* ---------- layouts */

#define BUTTON(item, left, top, label) {item, _dialog_item_kind_button, {top, left, (top) + 40, (left) + 180}, label}

static const dialog_layout dialog_layouts[] =
{
	{
		TAG("imm6"), 640, 480, TAG("imm6"), 9,
		{
			{1, _dialog_item_kind_picture, {0, 0, 480, 640}, NULL},
			BUTTON(2, 110, 220, "New Game"),
			BUTTON(3, 110, 276, "Multiplayer"),
			BUTTON(4, 110, 332, "Continue"),
			BUTTON(5, 110, 388, "Replay"),
			BUTTON(6, 350, 220, "Training"),
			BUTTON(7, 350, 276, "Intro"),
			BUTTON(8, 350, 332, "Preferences"),
			BUTTON(9, 350, 388, "Quit"),
		}
	},
	// The post-game report: its texts are placed by the screen itself.
	{
		TAG("pgsc"), 640, 480, static_cast<file_tag>(NONE), 1,
		{
			BUTTON(1, 230, 420, "Continue"),
		}
	},
};

const dialog_layout *find_dialog_layout(file_tag dialog_tag)
{
	for (const dialog_layout &layout : dialog_layouts)
	{
		if (layout.tag == dialog_tag) return &layout;
	}
	return NULL;
}

// Counts openings and closings: a dialog opened where a closed one was, with
// the same contents, is still new on screen.
static uint32 dialog_generation = 0;

static dialog_item_state *writable_item(dialog_data *dialog, int16 item)
{
	return const_cast<dialog_item_state *>(find_dialog_item_state(dialog, item));
}

void apply_dialog_layout(dialog_data *dialog)
{
	dialog_generation += 1;
	const dialog_layout *layout = dialog ? find_dialog_layout(dialog->tag) : NULL;
	if (!layout) return;
	rectangle2d screen;
	get_game_screen_bounds(&screen);
	const int16 left = static_cast<int16>(screen.left + (rectangle2d_width(&screen) - layout->width) / 2);
	const int16 top = static_cast<int16>(screen.top + (rectangle2d_height(&screen) - layout->height) / 2);
	set_rectangle2d(&dialog->bounds, left, top, static_cast<int16>(left + layout->width),
		static_cast<int16>(top + layout->height));
	dialog->background_collection_index = get_collection_index(layout->background_collection_tag);
	for (int32 i = 0; i < layout->item_count; ++i)
	{
		const dialog_layout_item *entry = &layout->items[i];
		set_dialog_item_bounds(dialog, entry->item, &entry->bounds);
		if (entry->label) set_button_control_name(dialog, entry->item, entry->label);
		if (dialog_item_state *state = writable_item(dialog, entry->item)) state->kind = entry->kind;
	}
}

void set_dialog_item_kind_from_control(dialog_data *dialog, int16 item, file_tag control_kind)
{
	dialog_item_state *state = writable_item(dialog, item);
	if (!state) return;
	if (control_kind == STATIC_TEXT_CONTROL_TAG) state->kind = _dialog_item_kind_static_text;
	else if (control_kind == BUTTON_CONTROL_TAG) state->kind = _dialog_item_kind_button;
	else if (control_kind == PICTURE_CONTROL_TAG) state->kind = _dialog_item_kind_picture;
}

void keep_static_item_text_appearance(dialog_data *dialog, int16 item, int16 font_index, int16 style,
	const rgb_color *color, uint32 flags)
{
	dialog_item_state *state = writable_item(dialog, item);
	if (!state) return;
	if (!state->text_appearance_set)
	{
		state->text_appearance_set = TRUE;
		state->text_font_index = NONE;
		state->text_color = white;
	}
	// NONE keeps the font, and no colour keeps the colour.
	if (font_index != NONE) state->text_font_index = font_index;
	if (color) state->text_color = *color;
	state->text_style = style;
	state->text_flags = flags;
}

/* ---------- drawing */

static void item_rectangle(const dialog_item_state *state, point2d origin, rectangle2d *bounds)
{
	*bounds = state->bounds;
	offset_rectangle2d(bounds, origin.x, origin.y);
}

static void draw_button(bitmap_data *bitmap, const dialog_item_state *state, point2d origin)
{
	const boolean enabled = (state->flags & _dialog_item_enabled_flag) != 0;
	rectangle2d bounds;
	item_rectangle(state, origin, &bounds);
	if (state->collection_index != NONE && state->sequence_index != NONE)
	{
		rectangle2d frame = bounds;
		draw_bitmap_from_sequence(bitmap, state->collection_index, state->sequence_index, 0, enabled ? 0 : 1, &frame,
			NULL, NULL, state->transparency, 0, 0, 0);
	}
	if (!state->text[0]) return;
	const fixed_fraction transparency = enabled ? state->transparency :
		static_cast<fixed_fraction>(MAX(static_cast<int32>(state->transparency), DISABLED_LABEL_TRANSPARENCY));
	draw_string(bitmap, NULL, &bounds, NULL, get_interface_font_index(0), NONE, &white, state->text,
		_draw_string_center_horizontal_flag | _draw_string_center_vertical_flag | _draw_string_shadow_flag, transparency);
}

static void draw_static_text(bitmap_data *bitmap, const dialog_item_state *state, point2d origin)
{
	rectangle2d bounds;
	item_rectangle(state, origin, &bounds);
	const boolean custom = state->text_appearance_set;
	const int16 font = custom && state->text_font_index != NONE ? state->text_font_index : get_interface_font_index(0);
	draw_string(bitmap, NULL, &bounds, NULL, font, custom ? state->text_style : static_cast<int16>(NONE),
		custom ? &state->text_color : &white, state->text, custom ? state->text_flags : 0, 0);
}

void draw_dialog(bitmap_data *bitmap, dialog_data *dialog, point2d origin)
{
	if (!bitmap || !dialog) return;
	rectangle2d frame;
	set_rectangle2d(&frame, origin.x, origin.y, static_cast<int16>(origin.x + rectangle2d_width(&dialog->bounds)),
		static_cast<int16>(origin.y + rectangle2d_height(&dialog->bounds)));
	if (dialog->background_collection_index != NONE && dialog->background_sequence_index != NONE)
	{
		draw_bitmap_from_sequence(bitmap, dialog->background_collection_index, dialog->background_sequence_index, 0, 0,
			&frame, NULL, NULL, 0, 0, 0, 0);
	}

	// Items in ascending number.
	int16 previous = INT16_MIN;
	for (;;)
	{
		const dialog_item_state *next = NULL;
		for (int32 i = 0; i < dialog->item_state_count; ++i)
		{
			const dialog_item_state *state = &dialog->item_states[i];
			if (state->item > previous && (!next || state->item < next->item)) next = state;
		}
		if (!next) break;
		previous = next->item;
		if (!(next->flags & _dialog_item_visible_flag)) continue;
		switch (next->kind)
		{
		case _dialog_item_kind_picture:
			if (next->collection_index != NONE && next->sequence_index != NONE)
			{
				rectangle2d bounds;
				item_rectangle(next, origin, &bounds);
				draw_bitmap_from_sequence(bitmap, next->collection_index, next->sequence_index, 0, 0, &bounds, NULL,
					NULL, next->transparency, 0, 0, 0);
			}
			break;
		case _dialog_item_kind_button: draw_button(bitmap, next, origin); break;
		case _dialog_item_kind_static_text: draw_static_text(bitmap, next, origin); break;
		default: break;
		}
	}
}

/* ---------- the dirty rule */

struct dialog_drawing_globals_data
{
	uint32 drawn_signature;
	boolean drawn_once;
	boolean world_beneath;
};

static dialog_drawing_globals_data dialog_drawing_globals = {};

// Everything of the open dialogs that shows on screen.
static uint32 open_dialogs_signature(void)
{
	std::vector<uint8> bytes;
	auto add = [&](const void *data, size_t size)
	{
		const uint8 *p = static_cast<const uint8 *>(data);
		bytes.insert(bytes.end(), p, p + size);
	};
	const int32 count = open_dialog_count();
	add(&count, sizeof(count));
	add(&dialog_generation, sizeof(dialog_generation));
	for (dialog_data *dialog = next_drawn_dialog(NULL); dialog; dialog = next_drawn_dialog(dialog))
	{
		add(&dialog, sizeof(dialog));
		add(&dialog->bounds, sizeof(dialog->bounds));
		add(&dialog->background_collection_index, sizeof(int16));
		add(&dialog->background_sequence_index, sizeof(int16));
		for (int32 i = 0; i < dialog->item_state_count; ++i)
		{
			const dialog_item_state *state = &dialog->item_states[i];
			const uint16 flags = state->flags & static_cast<uint16>(~_dialog_item_dirty_flag);
			add(&state->item, sizeof(state->item));
			add(&flags, sizeof(flags));
			add(&state->value, sizeof(state->value));
			add(&state->bounds, sizeof(state->bounds));
			add(&state->collection_index, sizeof(int16));
			add(&state->sequence_index, sizeof(int16));
			add(&state->transparency, sizeof(state->transparency));
			add(&state->kind, sizeof(state->kind));
			add(&state->text_appearance_set, sizeof(state->text_appearance_set));
			add(&state->text_font_index, sizeof(int16));
			add(&state->text_style, sizeof(int16));
			add(&state->text_color, sizeof(state->text_color));
			add(&state->text_flags, sizeof(state->text_flags));
			add(state->text, strlen(state->text));
		}
	}
	return calculate_data_crc(bytes.data(), static_cast<int32>(bytes.size()));
}

boolean dialogs_changed_since_drawn(void)
{
	return !dialog_drawing_globals.drawn_once || open_dialogs_signature() != dialog_drawing_globals.drawn_signature;
}

void note_dialogs_drawn(void)
{
	dialog_drawing_globals.drawn_signature = open_dialogs_signature();
	dialog_drawing_globals.drawn_once = TRUE;
}

void note_world_drawn_beneath_dialogs(void)
{
	dialog_drawing_globals.world_beneath = TRUE;
}

dialog_data *next_drawn_dialog(dialog_data *previous)
{
	// Oldest first: find previous in the open list, then the next one after it.
	boolean after = previous == NULL;
	for (int32 i = 0; i < open_dialog_count(); ++i)
	{
		dialog_data *dialog = get_open_dialog(i);
		if (after && find_dialog_layout(dialog->tag)) return dialog;
		if (dialog == previous) after = TRUE;
	}
	return NULL;
}

void draw_open_dialogs(bitmap_data *back_buffer)
{
	if (back_buffer)
	{
		rectangle2d screen;
		get_game_screen_bounds(&screen);
		if (!dialog_drawing_globals.world_beneath)
		{
			for (dialog_data *dialog = next_drawn_dialog(NULL); dialog; dialog = next_drawn_dialog(dialog))
			{
				rectangle2d bounds = dialog->bounds;
				offset_rectangle2d(&bounds, static_cast<int16>(-screen.left), static_cast<int16>(-screen.top));
				fill_rectangle_clipped(back_buffer, &black, &bounds, NULL, 0, NULL);
			}
		}
		for (dialog_data *dialog = next_drawn_dialog(NULL); dialog; dialog = next_drawn_dialog(dialog))
		{
			const point2d origin = {static_cast<int16>(dialog->bounds.left - screen.left),
				static_cast<int16>(dialog->bounds.top - screen.top)};
			draw_dialog(back_buffer, dialog, origin);
		}
	}
	dialog_drawing_globals.world_beneath = FALSE;
	note_dialogs_drawn();
}

/* ---------- input */

static void hit_item(dialog_data *dialog, int16 item)
{
	dialog->item_hit = item;
	if (dialog->handler) dialog->handler(dialog, _dialog_event_item_hit);
}

static const dialog_item_state *enabled_visible(const dialog_data *dialog, int16 item)
{
	const dialog_item_state *state = find_dialog_item_state(dialog, item);
	const uint16 needed = _dialog_item_enabled_flag | _dialog_item_visible_flag;
	return state && (state->flags & needed) == needed ? state : NULL;
}

boolean route_action_to_dialogs(action_data *action)
{
	if (!action || open_dialog_count() == 0) return FALSE;

	if (test_action_flag(action, _left_mouse_button_pressed_bit))
	{
		for (int32 i = open_dialog_count() - 1; i >= 0; --i)
		{
			dialog_data *dialog = get_open_dialog(i);
			if (!point2d_in_rectangle2d(&dialog->bounds, &action->pointer)) continue;
			const point2d inside = {static_cast<int16>(action->pointer.x - dialog->bounds.left),
				static_cast<int16>(action->pointer.y - dialog->bounds.top)};
			for (int32 s = 0; s < dialog->item_state_count; ++s)
			{
				const dialog_item_state *state = &dialog->item_states[s];
				if (state->kind != _dialog_item_kind_button || !enabled_visible(dialog, state->item) ||
					!point2d_in_rectangle2d(&state->bounds, &inside))
				{
					continue;
				}
				hit_item(dialog, state->item);
				return TRUE;
			}
			// A press inside a dialog goes no further.
			return TRUE;
		}
	}

	if (action->key_code == NONE) return FALSE;
	// Keys go to the newest dialog.
	dialog_data *dialog = get_open_dialog(open_dialog_count() - 1);
	if (action->key_code == _key_escape)
	{
		if (dialog->cancel_item != NONE && enabled_visible(dialog, dialog->cancel_item)) hit_item(dialog, dialog->cancel_item);
		else if (dialog->handler) dialog->handler(dialog, _dialog_event_cancel);
		return TRUE;
	}
	if (action->key_code == _key_return || action->key_code == _keypad_enter)
	{
		if (dialog->default_item == NONE || !enabled_visible(dialog, dialog->default_item)) return FALSE;
		hit_item(dialog, dialog->default_item);
		return TRUE;
	}
	for (int32 s = 0; s < dialog->item_state_count; ++s)
	{
		const dialog_item_state *state = &dialog->item_states[s];
		if (state->keyboard_equivalent == action->key_code && enabled_visible(dialog, state->item))
		{
			hit_item(dialog, state->item);
			return TRUE;
		}
	}
	return FALSE;
}

/* ---------- list rows */

void forget_dialog_lists(const dialog_data *)
{
	// A closed dialog's rows go with its item states; what is shown changed.
	dialog_generation += 1;
}
