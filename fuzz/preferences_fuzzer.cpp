// Arbitrary "preferences/game" files through the preference store, then a
// write and read round trip of whatever was accepted.
#include <sys/stat.h>

#include <cmath>
#include <cstring>

#include "fuzz_support.h"
#include "game_preferences.h"
#include "preferences.h"
#include "tag_files/tag_files.h"

// Takes any older record as the current layout, as far as it reaches.
static boolean convert_game_preferences(const void *stored, void *record, int32)
{
	memcpy(record, stored, sizeof(game_preferences));
	byte_swap_data("game", record, sizeof(game_preferences), 1, game_preferences_byte_swapping_data);
	return TRUE;
}

static void check_repaired(const game_preferences *p)
{
	check((p->flags & _game_pref_static_main_menu_flag) != 0);
	check(p->difficulty_level >= 0 && p->difficulty_level <= 4);
	check(p->number_of_solo_levels_visited >= 0 && p->number_of_solo_levels_visited <= MAXIMUM_SOLO_LEVELS_VISITED);
	check(p->no_blood_password[GAME_PREFERENCES_PASSWORD_LENGTH - 1] == 0);
	check(std::isfinite(p->overhead_map_scale_relative_to_default) && p->overhead_map_scale_relative_to_default > 0.0f);
	check(p->current_tip_index >= 0);
	check(p->solo_plugin_count >= 0 && p->solo_plugin_count <= 16);
	check(p->multi_plugin_count >= 0 && p->multi_plugin_count <= 16);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	enter_fuzz_directory("preferences", tag_files_initialize);
	mkdir("preferences", 0777);
	check(write_file("preferences/game", data, size));
	// The local tags are loaded again, as an opening of the tag set would.
	tag_files_close();
	load_local_tags();

	free_preferences(&game_preferences_globals);
	const game_preferences *read = static_cast<const game_preferences *>(
		read_preferences_convert(&game_preferences_globals, convert_game_preferences));
	check(read != nullptr);
	check_repaired(read);
	solo_level_visited(TAG("l1  "));

	game_preferences copy;
	memcpy(&copy, read, sizeof(copy));
	check(write_preferences(&game_preferences_globals));
	check(memcmp(game_preferences_globals.data, &copy, sizeof(copy)) == 0);

	free_preferences(&game_preferences_globals);
	const game_preferences *again = static_cast<const game_preferences *>(
		read_preferences_convert(&game_preferences_globals, nullptr));
	check(again != nullptr && memcmp(again, &copy, sizeof(copy)) == 0);
	free_preferences(&game_preferences_globals);
	leave_fuzz_directory();
	return 0;
}
