// The parts of the least layers that already work: text units, rectangles,
// colours, what they store and give back, and their fixed answers.
#include <gtest/gtest.h>

#include <string>

#include "support/test_directory.h"
#include "support/test_hooks_all.h"

#include "bitmaps.h"
#include "bitmap_text.h"
#include "byte_swapping.h"
#include "shapes.h"
#include "screen.h"
#include "render/render.h"
#include "error_manager.h"
#include "test_hooks.h"
#include "console/console.h"
#include "observer.h"
#include "interface.h"
#include "overhead_map.h"
#include "selection.h"
#include "bitmap_dialogs/dialogs.h"
#include "bitmap_dialogs/screens.h"
#include "cutscenes/cutscenes.h"
#include "zerv_networking/zerv_networking.h"
#include "metaserver/metaserver.h"
#include "sound/sound_manager.h"

// What these layers store starts and ends as in a fresh process.
class LeastLayers : public ::testing::Test
{
protected:
	void SetUp() override { reset_all_test_hooks(); }
	void TearDown() override { reset_all_test_hooks(); }
};

/* ---------- text units */

TEST_F(LeastLayers, StyleCodesAreOneUnit)
{
	int32 index = 0;
	EXPECT_EQ(get_next_character("|r", &index), 0x7C72);
	EXPECT_EQ(index, 2);

	// Either case, every code letter.
	for (const char *code : {"|b", "|C", "|i", "|L", "|p", "|R", "|s", "|B"})
	{
		index = 0;
		EXPECT_EQ(get_next_character(code, &index), (0x7C << 8) | static_cast<uint8>(code[1])) << code;
		EXPECT_EQ(index, 2) << code;
		EXPECT_TRUE(double_byte_character(code)) << code;
	}

	// "|" before any other letter is two ordinary units.
	index = 0;
	EXPECT_FALSE(double_byte_character("|x"));
	EXPECT_EQ(get_next_character("|x", &index), '|');
	EXPECT_EQ(get_next_character("|x", &index), 'x');
	EXPECT_EQ(index, 2);
	EXPECT_EQ(get_next_character("|x", &index), 0);
	EXPECT_EQ(index, 2) << "the end does not advance";

	// A trailing "|" is one unit.
	index = 0;
	EXPECT_FALSE(double_byte_character("|"));
	EXPECT_EQ(get_next_character("|", &index), '|');
	EXPECT_EQ(index, 1);
	EXPECT_EQ(get_next_character("|", &index), 0);

	// Bytes above 127 are single units in single-byte fonts.
	index = 0;
	EXPECT_EQ(get_next_character("\x82\xA0", &index), 0x82);
	EXPECT_EQ(index, 1);

	EXPECT_FALSE(double_byte_character(""));
	EXPECT_FALSE(double_byte_character(NULL));
	index = 0;
	EXPECT_EQ(get_next_character(NULL, &index), 0);
}

TEST_F(LeastLayers, PreviousCharacterFindsTheUnitStart)
{
	const char *text = "a|bc/d";
	int32 index = 6;
	EXPECT_EQ(get_previous_character(text, &index), 'd');
	EXPECT_EQ(index, 5);
	EXPECT_EQ(get_previous_character(text, &index), '/');
	EXPECT_EQ(index, 4);
	EXPECT_EQ(get_previous_character(text, &index), 'c');
	EXPECT_EQ(index, 3);
	EXPECT_EQ(get_previous_character(text, &index), 0x7C62) << "the code counts as one unit";
	EXPECT_EQ(index, 1);

	// An index inside a code moves to the code's start.
	index = 2;
	EXPECT_EQ(get_previous_character(text, &index), 0x7C62);
	EXPECT_EQ(index, 1);

	// At the start: the first unit.
	index = 0;
	EXPECT_EQ(get_previous_character(text, &index), 'a');
	EXPECT_EQ(index, 0);
	index = -3;
	EXPECT_EQ(get_previous_character(text, &index), 'a');
	EXPECT_EQ(index, 0);

	// Walking back from the end of a path finds its last "/".
	const char *path = "local/mesh/|bold";
	index = static_cast<int32>(strlen(path));
	uint16 character;
	do
	{
		character = get_previous_character(path, &index);
	} while (index > 0 && character != '/');
	EXPECT_EQ(index, 10);

	// Past the end: the end itself.
	index = 40;
	EXPECT_EQ(get_previous_character("ab", &index), 0);
	EXPECT_EQ(index, 2);
}

/* ---------- rectangles, colours */

TEST_F(LeastLayers, RectanglesAreHalfOpenAndTakeLeftTopRightBottom)
{
	rectangle2d r;
	EXPECT_EQ(set_rectangle2d(&r, 10, 20, 110, 70), &r);
	EXPECT_EQ(r.left, 10);
	EXPECT_EQ(r.top, 20);
	EXPECT_EQ(r.right, 110);
	EXPECT_EQ(r.bottom, 70);
	EXPECT_EQ(rectangle2d_width(&r), 100);
	EXPECT_EQ(rectangle2d_height(&r), 50);

	EXPECT_EQ(offset_rectangle2d(&r, -10, 5), &r);
	EXPECT_EQ(r.left, 0);
	EXPECT_EQ(r.right, 100);
	EXPECT_EQ(r.top, 25);
	EXPECT_EQ(r.bottom, 75);
	EXPECT_EQ(rectangle2d_height(&r), 50);

	rectangle2d bounds, source, destination;
	set_rectangle2d(&bounds, 0, 0, 640, 400);
	set_rectangle2d(&source, 7, 9, 207, 109); // 200 x 100
	EXPECT_EQ(adjust_rectangle2d(&bounds, &source, &destination, _adjust_rectangle_center), &destination);
	EXPECT_EQ(destination.left, 220);
	EXPECT_EQ(destination.top, 150);
	EXPECT_EQ(rectangle2d_width(&destination), 200);
	EXPECT_EQ(rectangle2d_height(&destination), 100);

	// The alert placement leaves a third of the free height above.
	adjust_rectangle2d(&bounds, &source, &destination, _adjust_rectangle_alert);
	EXPECT_EQ(destination.left, 220);
	EXPECT_EQ(destination.top, 100);

	// Odd sizes: each half truncates on its own.
	set_rectangle2d(&bounds, 0, 0, 5, 5);
	set_rectangle2d(&source, 0, 0, 3, 3);
	adjust_rectangle2d(&bounds, &source, &destination, _adjust_rectangle_center);
	EXPECT_EQ(destination.left, 1); // 5 / 2 - 3 / 2

	adjust_rectangle2d(&bounds, &source, &destination, 7);
	EXPECT_EQ(memcmp(&destination, &source, sizeof(source)), 0);
}

TEST_F(LeastLayers, ColourTableSizesAndUpshifts)
{
	EXPECT_EQ(sizeof_color_table(0), 32);
	EXPECT_EQ(sizeof_color_table(1), 40);
	EXPECT_EQ(sizeof_color_table(256), static_cast<int32>(sizeof(color_table)));

	EXPECT_EQ(get_pixel_upshift_for_bit_depth(8), 0);
	EXPECT_EQ(get_pixel_upshift_for_bit_depth(16), 1);
	EXPECT_EQ(get_pixel_upshift_for_bit_depth(32), 2);
	EXPECT_EQ(get_pixel_upshift_for_bit_depth(24), 0);
}

TEST_F(LeastLayers, HsvConversions)
{
	rgb_color rgb = {65535, 0, 0, 0x1234};
	hsv_color hsv;
	EXPECT_EQ(rgb_color_to_hsv_color(&rgb, &hsv), &hsv);
	EXPECT_EQ(hsv.hue, 0);
	EXPECT_EQ(hsv.saturation, 65535);
	EXPECT_EQ(hsv.value, 65535);
	EXPECT_EQ(hsv.flags, 0x1234);

	rgb = {0, 0, 65535, 0};
	rgb_color_to_hsv_color(&rgb, &hsv);
	EXPECT_EQ(hsv.hue, 43690);

	rgb = {0, 65535, 0, 0};
	rgb_color_to_hsv_color(&rgb, &hsv);
	EXPECT_EQ(hsv.hue, 21845);

	// Magenta sits just below a full turn.
	rgb = {65535, 0, 65535, 0};
	rgb_color_to_hsv_color(&rgb, &hsv);
	EXPECT_EQ(hsv.hue, 54613);

	rgb = {30000, 30000, 30000, 0};
	rgb_color_to_hsv_color(&rgb, &hsv);
	EXPECT_EQ(hsv.hue, 0);
	EXPECT_EQ(hsv.saturation, 0);
	EXPECT_EQ(hsv.value, 30000);

	rgb = {0, 0, 0, 0};
	rgb_color_to_hsv_color(&rgb, &hsv);
	EXPECT_EQ(hsv.value, 0);

	hsv = {0, 65535, 65535, 7};
	EXPECT_EQ(hsv_color_to_rgb_color(&hsv, &rgb), &rgb);
	EXPECT_EQ(rgb.red, 65535);
	EXPECT_EQ(rgb.green, 0);
	EXPECT_EQ(rgb.blue, 0);
	EXPECT_EQ(rgb.flags, 7);

	hsv = {12345, 0, 40000, 0};
	hsv_color_to_rgb_color(&hsv, &rgb);
	EXPECT_EQ(rgb.red, 40000);
	EXPECT_EQ(rgb.green, 40000);
	EXPECT_EQ(rgb.blue, 40000);

	// Every sextant comes back close to where it started (both ways truncate).
	const rgb_color colours[] = {{65535, 30000, 0, 0}, {30000, 65535, 0, 0}, {0, 65535, 30000, 0},
		{0, 30000, 65535, 0}, {30000, 0, 65535, 0}, {65535, 0, 30000, 0}, {1000, 2000, 3000, 0}};
	for (const rgb_color &colour : colours)
	{
		rgb_color_to_hsv_color(&colour, &hsv);
		hsv_color_to_rgb_color(&hsv, &rgb);
		EXPECT_NEAR(rgb.red, colour.red, 8);
		EXPECT_NEAR(rgb.green, colour.green, 8);
		EXPECT_NEAR(rgb.blue, colour.blue, 8);
	}
}

TEST_F(LeastLayers, SoundSourceUserDataDescriptor)
{
	// Eight 16-bit words, each swapped on its own.
	const byte_swap_code expected[] = {-100, 1, -2, -2, -2, -2, -2, -2, -2, -2, -101};
	EXPECT_EQ(memcmp(sound_source_user_data_bs_data, expected, sizeof(expected)), 0);
	EXPECT_EQ(get_byte_swap_struct_size(sound_source_user_data_bs_data), 16);
	uint8 words[16];
	for (int32 i = 0; i < 16; ++i) words[i] = static_cast<uint8>(i);
	byte_swap_data("sound source", words, sizeof(words), 1, sound_source_user_data_bs_data);
	for (int32 i = 0; i < 16; ++i) EXPECT_EQ(words[i], i ^ 1) << i;
}

/* ---------- what the least layers keep */

TEST_F(LeastLayers, StoredStateComesBack)
{
	const observer_location location = {{1024, -512}, 16384, 0};
	const fixed zoom = 3 * FIXED_ONE / 2;
	set_actual_observer_location_and_zoom(&location, &zoom);
	observer_location read;
	get_observer_location(&read);
	EXPECT_EQ(memcmp(&read, &location, sizeof(read)), 0);
	EXPECT_EQ(get_observer_zoom_factor(), zoom);

	const world_point2d focus = {7, 8};
	set_observer_focus(&focus, 100);
	get_observer_location(&read);
	EXPECT_EQ(read.position.x, 7);
	EXPECT_EQ(read.yaw, 100);

	set_camera_control_flags(_camera_controlled_by_object_tracking_flag);
	EXPECT_EQ(get_camera_control_flags(), static_cast<uint32>(_camera_controlled_by_object_tracking_flag));

	// A bar is shown only while it has a dialog, and then has no bounds yet.
	rectangle2d bounds = {1, 2, 3, 4};
	EXPECT_FALSE(control_bar_visible(NULL));
	set_control_bar_visibility(_control_bar_inventory);
	set_status_bar_visibility(TRUE);
	EXPECT_FALSE(control_bar_visible(&bounds));
	EXPECT_FALSE(status_bar_visible(NULL));
	dialog_data *bar = new_dialog(TAG("bars"), NULL, NULL, 0, 0);
	get_interface_test_hooks()->control_bar_dialog = bar;
	get_interface_test_hooks()->status_bar_dialog = bar;
	EXPECT_TRUE(control_bar_visible(&bounds));
	EXPECT_EQ(rectangle2d_width(&bounds), 0);
	EXPECT_TRUE(status_bar_visible(NULL));
	set_control_bar_visibility(_control_bar_hidden);
	EXPECT_FALSE(control_bar_visible(&bounds));
	set_status_bar_visibility(FALSE);
	EXPECT_FALSE(status_bar_visible(&bounds));
	reset_interface_test_hooks();
	dispose_dialog(bar);

	sound_mute(TRUE);
	EXPECT_TRUE(get_sound_manager_test_hooks()->muted);
	sound_mute(FALSE);
	EXPECT_FALSE(get_sound_manager_test_hooks()->muted);

	cache_endgame_state(2);
	EXPECT_EQ(get_cached_endgame_state(), 2);
	reset_screens_test_hooks();
	EXPECT_EQ(get_cached_endgame_state(), 0);

	set_observer_shaking(NONE, NONE, NONE);
	EXPECT_EQ(get_observer_test_hooks()->shake_amount, 256);
	EXPECT_EQ(get_observer_test_hooks()->shake_duration, 240);
	initialize_observer();
}

TEST_F(LeastLayers, ConsoleKeepsTheNewestTenLines)
{
	initialize_console();
	for (int32 i = 0; i < 12; ++i) cprintf(FALSE, "line %d", i);
	cprintf(TRUE, "line %d replaced", 11);
	append_chat(3, "hello", FALSE);

	cached_line lines[MAXIMUM_CACHED_CONSOLE_LINES];
	int16 count = NONE;
	save_cached_console_text(lines, &count);
	ASSERT_EQ(count, 10);
	EXPECT_STREQ(lines[0].text, "line 3");
	EXPECT_EQ(lines[0].owner_player_index, NONE);
	EXPECT_STREQ(lines[8].text, "line 11 replaced");
	EXPECT_STREQ(lines[9].text, "hello");
	EXPECT_EQ(lines[9].owner_player_index, 3);

	// A long line is cut, never overrun.
	cprintf(FALSE, "%s", std::string(400, 'x').c_str());
	save_cached_console_text(lines, &count);
	EXPECT_EQ(strlen(lines[9].text), static_cast<size_t>(CACHED_CONSOLE_LINE_LENGTH - 1));

	// A saved game's lines come back; a count outside 0-10 restores nothing.
	cached_line saved[MAXIMUM_CACHED_CONSOLE_LINES] = {};
	saved[0].owner_player_index = 1;
	strcpy(saved[0].text, "first");
	memset(saved[1].text, 'y', sizeof(saved[1].text)); // unterminated
	restore_cached_console_text(saved, 2);
	save_cached_console_text(lines, &count);
	ASSERT_EQ(count, 2);
	EXPECT_STREQ(lines[0].text, "first");
	EXPECT_EQ(strlen(lines[1].text), static_cast<size_t>(CACHED_CONSOLE_LINE_LENGTH - 1));

	restore_cached_console_text(saved, NONE);
	restore_cached_console_text(saved, 11);
	restore_cached_console_text(NULL, 1);
	save_cached_console_text(lines, &count);
	EXPECT_EQ(count, 2);

	restore_cached_console_text(saved, 0);
	save_cached_console_text(lines, &count);
	EXPECT_EQ(count, 0);
}

// The answers of these layers that the built modules act on.
TEST_F(LeastLayers, FixedAnswers)
{
	service_trace_enable(true);

	EXPECT_EQ(get_current_minor_version(), 5);
	EXPECT_EQ(active_screen.rasterizer_code, 0);
	EXPECT_EQ(active_screen.prefs.max_fps, -90);
	rectangle2d bounds;
	get_game_screen_bounds(&bounds);
	EXPECT_EQ(rectangle2d_width(&bounds), 640);
	EXPECT_EQ(rectangle2d_height(&bounds), 480);
	EXPECT_EQ(get_sound_volume(), 256);

	// The listed trues.
	EXPECT_TRUE(get_sound_mute());
	EXPECT_TRUE(zerv_netsync());
	EXPECT_TRUE(initialize_observer_for_new_map(OBSERVER_CONSTANTS_TAG));
	EXPECT_TRUE(initialize_render_for_new_map());
	EXPECT_TRUE(add_blend_table_to_collection_index(3));

	// Whether queries.
	EXPECT_FALSE(metaserver_connected());
	EXPECT_FALSE(local_player_is_network_originator());
	EXPECT_FALSE(zerv_networking_available(NULL));
	EXPECT_FALSE(found_cutscene("prologue.smk"));
	EXPECT_FALSE(game_hints_dialog_is_open());
	EXPECT_FALSE(push_pause_button());
	EXPECT_FALSE(update_selection(NULL));
	EXPECT_FALSE(dialogs_handled_action(NULL));
	EXPECT_FALSE(action_for_overhead_map(NULL));
	EXPECT_FALSE(metaserver_query_dialog("Download the tag set?"));

	// Index lookups.
	EXPECT_EQ(get_collection_index(TAG("in#1")), NONE);
	EXPECT_EQ(get_bitmap(0, 0), nullptr);
	EXPECT_EQ(get_sequence(0, 0), nullptr);
	EXPECT_EQ(get_interface_font_index(1), NONE);
	EXPECT_EQ(bitmap_standard_put_tag("Save", TAG("reco"), "name", 3), NONE);

	char name[16] = "junk";
	// A map that no tag set carries has no name, whatever tag files are open.
	EXPECT_FALSE(get_mesh_display_name_in_plugin_list(TAG("zz99"), name, sizeof(name), NULL, 0));
	EXPECT_STREQ(name, "");

	// Each call reports its name and leaves its arguments.
	play_sound_with_flags(12, NONE, NULL, 256, _play_sound_cannot_be_media_obstructed_flag);
	EXPECT_NE(service_trace_find("play_sound_with_flags", 0), NONE);
	const least_call_log *calls = &get_sound_manager_test_hooks()->calls;
	EXPECT_EQ(least_call_count(calls, "play_sound_with_flags"), 1);
	EXPECT_EQ(least_call_argument(calls, "play_sound_with_flags", 0), 12);
	EXPECT_EQ(least_call_argument(calls, "play_sound_with_flags", 3), 256);
	cprintf(FALSE, "%d : %04x", 3, 0xbeef);
	EXPECT_STREQ(least_call_text(&get_console_test_hooks()->calls, "cprintf"), "3 : beef");
	set_console_popup("Speed", NULL, 15);
	EXPECT_STREQ(get_console_test_hooks()->popup_title, "Speed");
	EXPECT_EQ(get_console_test_hooks()->popup_ticks, 15);
}

/* ---------- the dialog record store */

static int32 idle_events;
static int32 item_hits;
static int16 last_item_hit;

static void counting_handler(dialog_data *dialog, int16 event)
{
	if (event == _dialog_event_idle) idle_events += 1;
	if (event == _dialog_event_item_hit)
	{
		item_hits += 1;
		last_item_hit = dialog->item_hit;
	}
}

static void closing_handler(dialog_data *dialog, int16 event)
{
	if (event == _dialog_event_idle) dispose_dialog(dialog);
}

TEST_F(LeastLayers, DialogsKeepTagHandlerAndItems)
{
	idle_events = item_hits = 0;
	dialog_data *menu = new_dialog(TAG("imm6"), counting_handler, NULL, 0, 0);
	ASSERT_NE(menu, nullptr);
	EXPECT_EQ(menu->tag, TAG("imm6"));
	EXPECT_EQ(menu->handler, counting_handler);
	EXPECT_EQ(find_open_dialog(TAG("imm6")), menu);

	set_button_control_name(menu, 4, "Continue");
	bitmap_set_item_enabled(menu, 4, FALSE);
	set_button_transparency(menu, 4, 32768);
	char text[8];
	get_button_control_name(menu, 4, text, sizeof(text));
	EXPECT_STREQ(text, "Continu") << "cut to the buffer";
	const dialog_item_state *state = find_dialog_item_state(menu, 4);
	ASSERT_NE(state, nullptr);
	EXPECT_FALSE(state->flags & _dialog_item_enabled_flag);
	EXPECT_TRUE(state->flags & _dialog_item_visible_flag);
	EXPECT_EQ(state->transparency, 32768);

	set_double_arrow_control_value(menu, 7, 1, 10, 50);
	EXPECT_EQ(get_double_arrow_control_value(menu, 7), 10);
	set_double_arrow_control_value(menu, 7, NONE, NONE, -4);
	EXPECT_EQ(get_double_arrow_control_value(menu, 7), 1);
	set_checkbox_state(menu, 12, TRUE);
	EXPECT_TRUE(get_checkbox_state(menu, 12));
	// Item 20: the menu's layout has no item there.
	EXPECT_EQ(bitmap_get_listbox_value(menu, 20), NONE);
	add_string_to_list(menu, 20, "row", 0, FALSE);
	bitmap_select_list_item(menu, 20, 0);
	EXPECT_EQ(bitmap_get_listbox_row_count(menu, 20), 1);
	EXPECT_EQ(bitmap_get_listbox_value(menu, 20), 0);

	// Idle events reach every open dialog; item hits their dialog.
	dialog_data *closing = new_dialog(TAG("imdc"), closing_handler, NULL, 0, 0);
	ASSERT_NE(closing, nullptr);
	inject_dialog_item_hit(TAG("imm6"), 9);
	inject_dialog_item_hit(TAG("none"), 2);
	idle_dialogs();
	EXPECT_EQ(item_hits, 1);
	EXPECT_EQ(last_item_hit, 9);
	EXPECT_EQ(idle_events, 1);
	EXPECT_EQ(open_dialog_count(), 1) << "a handler may close its own dialog";
	idle_dialogs();
	EXPECT_EQ(idle_events, 2);
	EXPECT_EQ(item_hits, 1);

	// Modal dialogs answer what the test injected, then -1.
	inject_modal_dialog_answer(2);
	EXPECT_EQ(modal_dialog(menu), 2);
	EXPECT_EQ(menu->item_hit, 2);
	EXPECT_EQ(modal_dialog(menu), -1);
	// Unanswered, a dialog gives its default once, and one without a default -1.
	dialog_data *with_default = new_dialog(TAG("Lnew"), NULL, NULL, 0, 0);
	dialog_data *without_default = new_dialog(TAG("flen"), NULL, NULL, 0, 0);
	ASSERT_NE(with_default, nullptr);
	ASSERT_NE(without_default, nullptr);
	set_default_dialog_item(with_default, 1);
	EXPECT_EQ(modal_dialog(without_default), -1);
	EXPECT_EQ(modal_dialog(with_default), 1);
	EXPECT_EQ(with_default->item_hit, 1);
	EXPECT_EQ(modal_dialog(with_default), -1);
	EXPECT_EQ(modal_dialog(without_default), -1);
	dispose_dialog(with_default);
	dispose_dialog(without_default);

	dispose_dialog(menu);
	dispose_dialog(menu); // no longer open: ignored
	EXPECT_EQ(open_dialog_count(), 0);

	get_dialogs_test_hooks()->fail_new_dialog_count = 1;
	EXPECT_EQ(new_dialog(TAG("flen"), NULL, NULL, 0, 0), nullptr);
	for (int32 i = 0; i < MAXIMUM_OPEN_DIALOGS; ++i) EXPECT_NE(new_dialog(TAG("many"), NULL, NULL, 0, 0), nullptr);
	EXPECT_EQ(new_dialog(TAG("full"), NULL, NULL, 0, 0), nullptr);
	close_all_dialogs();
	EXPECT_EQ(open_dialog_count(), 0);
}

