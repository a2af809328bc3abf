#include "bitmap_dialogs/postgame_screen.h"

#include <initializer_list>

#include "bitmap_dialogs/dialogs.h"
#include "bitmap_dialogs/screens.h"
#include "bitmap_text.h"
#include "interface.h"
#include "postgame.h"

namespace
{
	struct postgame_screen_globals_data
	{
		dialog_data *dialog;
		file_tag mesh_tag;
		boolean continued;
		int16 next_item;
		encoded_postgame_report report; // a copy: a new map may write the next
		int32 offset;
	};

	postgame_screen_globals_data postgame_screen_globals = {};

	const rgb_color heading_color = {65535, 52428, 26214, 0};
	const rgb_color cell_color = {65535, 65535, 65535, 0};

	// The columns of a table: left edge, right edge, right-justified.
	struct column
	{
		int16 left, right;
		boolean right_justified;
	};

	// Room for the longest kind ("Lightning Casters"), a hero's name with his
	// kind and "100 of 100"; the headings right-justified over their numbers, at
	// least a space between neighbours.
	const column survivors_columns[] = {{20, 250, FALSE}, {250, 404, TRUE}, {404, 484, TRUE}, {484, 620, TRUE}};
	const column heroes_columns[] = {{20, 370, FALSE}, {370, 470, TRUE}, {470, 620, TRUE}};
	const column kills_columns[] = {{20, 240, FALSE}, {240, 320, TRUE}};
	const int16 ratios_left = 340, table_gap = 6;

	const int16 line_height = 18;

	// The next string of the report as a text item in the box.
	void place_text(int16 left, int16 top, int16 right, uint32 flags, const rgb_color *color)
	{
		postgame_screen_globals_data *g = &postgame_screen_globals;
		if (g->next_item >= MAXIMUM_DIALOG_ITEM_STATES) return;
		const char *text = get_next_encoded_postgame_report_string(&g->report, &g->offset);
		rectangle2d bounds;
		set_rectangle2d(&bounds, left, top, right, static_cast<int16>(top + line_height));
		const int16 item = g->next_item++;
		new_unpressed_control(g->dialog, TAG("stat"), item, &bounds, text);
		set_dialog_static_item_text_appearance(g->dialog, item, get_interface_font_index(0),
			NONE, color, flags);
	}

	// A heading line, the column headings, then rows of cells.
	int16 place_table(int16 top, const column *columns, int16 column_count, int16 heading_count, int16 rows)
	{
		for (int16 h = 0; h < heading_count; ++h)
		{
			place_text(columns[0].left, top, columns[column_count - 1].right, 0, &heading_color);
			top = static_cast<int16>(top + line_height);
		}
		for (int16 r = -1; r < rows; ++r)
		{
			for (int16 c = 0; c < column_count; ++c)
			{
				place_text(columns[c].left, top, columns[c].right,
					columns[c].right_justified ? _draw_string_right_justified_flag : 0, r < 0 ? &heading_color : &cell_color);
			}
			top = static_cast<int16>(top + line_height);
		}
		return top;
	}

	void postgame_screen_handler(dialog_data *dialog, int16 event)
	{
		postgame_screen_globals_data *g = &postgame_screen_globals;
		const boolean go_on = event == _dialog_event_cancel || event == _dialog_event_ok ||
			(event == _dialog_event_item_hit && dialog->item_hit == iPOSTGAME_CONTINUE);
		// The state change closes the screen; a second press asks nothing more.
		if (!go_on || g->continued) return;
		g->continued = TRUE;
		display_mesh_epilogue(g->mesh_tag);
	}
}

boolean open_postgame_screen(const encoded_postgame_report *report, file_tag mesh_tag)
{
	close_postgame_screen();
	const uint32 tables = _postgame_title_flag | _postgame_survivors_table_flag | _postgame_heroes_table_flag |
		_postgame_kills_table_flag | _postgame_damage_ratio_flag | _postgame_kill_ratio_flag;
	if (!report || !(report->valid_table_flags & tables)) return FALSE;

	postgame_screen_globals_data *g = &postgame_screen_globals;
	g->dialog = new_dialog(POSTGAME_SCREEN_DIALOG_TAG, postgame_screen_handler, NULL, 0, 0);
	if (!g->dialog) return FALSE;
	g->report = *report;
	g->mesh_tag = mesh_tag;
	g->continued = FALSE;
	g->offset = 0;
	g->next_item = iPOSTGAME_FIRST_TEXT;
	set_default_dialog_item(g->dialog, iPOSTGAME_CONTINUE);
	set_dialog_cancel_item(g->dialog, iPOSTGAME_CONTINUE);

	// The writer's order: title, survivors, heroes, kills, the two ratios.
	// Survivors and heroes take the whole width, one under the other; the kills
	// sit under them, the ratios beside the kills. Five rows in every table
	// still end above the Continue button.
	const uint32 flags = report->valid_table_flags;
	const int16 *rows = report->table_row_counts;
	int16 top = 6;
	if (flags & _postgame_title_flag)
	{
		place_text(20, top, 620, _draw_string_center_horizontal_flag, &cell_color);
		top = static_cast<int16>(top + line_height + table_gap);
	}
	// Each table is placed once (it takes the report's strings as it goes).
	if (flags & _postgame_survivors_table_flag)
	{
		top = static_cast<int16>(place_table(top, survivors_columns, 4, 1, PIN(rows[1], 0, 5)) + table_gap);
	}
	if (flags & _postgame_heroes_table_flag)
	{
		top = static_cast<int16>(place_table(top, heroes_columns, 3, 1, PIN(rows[2], 0, 5)) + table_gap);
	}
	int16 ratio_top = top;
	int16 ratio_left = 20;
	if (flags & _postgame_kills_table_flag)
	{
		place_table(top, kills_columns, 2, 1, PIN(rows[3], 0, 5));
		ratio_left = ratios_left;
	}
	for (uint32 ratio : {static_cast<uint32>(_postgame_damage_ratio_flag), static_cast<uint32>(_postgame_kill_ratio_flag)})
	{
		if (!(flags & ratio)) continue;
		place_text(ratio_left, ratio_top, 620, 0, &cell_color);
		ratio_top = static_cast<int16>(ratio_top + line_height);
	}
	return TRUE;
}

// Closing every dialog may have taken the screen already.
dialog_data *get_postgame_screen(void)
{
	postgame_screen_globals_data *g = &postgame_screen_globals;
	if (g->dialog && find_open_dialog(POSTGAME_SCREEN_DIALOG_TAG) != g->dialog) g->dialog = NULL;
	return g->dialog;
}

void close_postgame_screen(void)
{
	if (dialog_data *dialog = get_postgame_screen()) dispose_dialog(dialog);
	postgame_screen_globals.dialog = NULL;
}
