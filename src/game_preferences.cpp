#include "game_preferences.h"

#include <cmath>

#include "preferences.h"

#define DEFAULT_GAME_PREFERENCE_FLAGS (_game_pref_static_main_menu_flag | _game_pref_show_subtitles_flag | \
	_game_pref_warn_on_network_failure_flag | _game_pref_status_bar_visible_flag | \
	_game_pref_control_bar_visible_flag | _game_pref_show_mission_objectives_dialog_flag)
#define DEFAULT_DIFFICULTY_LEVEL 2
#define MAXIMUM_DIFFICULTY_LEVEL (NUMBER_OF_DIFFICULTY_LEVELS - 1)
#define MAXIMUM_PREFERENCE_PLUGINS 16

static_assert(DEFAULT_GAME_PREFERENCE_FLAGS == 318);

static void default_game_preferences_proc(void *preferences)
{
	default_game_preferences(static_cast<game_preferences *>(preferences));
}

static boolean verify_game_preferences_proc(void *preferences)
{
	return verify_game_preferences(static_cast<game_preferences *>(preferences));
}

preferences_globals game_preferences_globals =
{
	"game", static_cast<int32>(sizeof(game_preferences)), GAME_PREFERENCES_VERSION_NUMBER,
	default_game_preferences_proc, verify_game_preferences_proc, game_preferences_byte_swapping_data, 0x4545, nullptr
};

// Answers callers that ask before the record is read; never written.
static game_preferences fallback_game_preferences;
static boolean fallback_game_preferences_valid = FALSE;

static game_preferences *loaded_game_preferences(void)
{
	return static_cast<game_preferences *>(game_preferences_globals.data);
}

void initialize_game_preferences(void)
{
	game_preferences *preferences =
		static_cast<game_preferences *>(read_preferences_convert(&game_preferences_globals, nullptr));
	if (!preferences) return;

	// Every start-up counts, the first one included, so the first run plays the intro.
	if (preferences->run_count < MAXIMUM_GAME_PREFERENCES_RUN_COUNT) preferences->run_count += 1;
	write_game_preferences();
}

void write_game_preferences(void)
{
	write_preferences(&game_preferences_globals);
}

void default_game_preferences(game_preferences *preferences)
{
	memset(preferences, 0, sizeof(*preferences));
	preferences->flags = DEFAULT_GAME_PREFERENCE_FLAGS;
	preferences->difficulty_level = DEFAULT_DIFFICULTY_LEVEL;
	preferences->number_of_solo_levels_visited = 1;
	preferences->solo_levels_visited[0] = TAG("l1  ");
	preferences->overhead_map_scale_relative_to_default = 1.0f;
}

static void verify_plugin_list(int16 *count, uint8 *data)
{
	if (*count < 0 || *count > MAXIMUM_PREFERENCE_PLUGINS)
	{
		*count = 0;
		memset(data, 0, GAME_PREFERENCES_PLUGIN_DATA_SIZE);
	}
}

boolean verify_game_preferences(game_preferences *preferences)
{
	preferences->flags |= _game_pref_static_main_menu_flag;
	preferences->difficulty_level = PIN(preferences->difficulty_level, 0, MAXIMUM_DIFFICULTY_LEVEL);
	preferences->no_blood_password[GAME_PREFERENCES_PASSWORD_LENGTH - 1] = 0;
	if (preferences->number_of_solo_levels_visited < 0 ||
		preferences->number_of_solo_levels_visited > MAXIMUM_SOLO_LEVELS_VISITED)
	{
		preferences->number_of_solo_levels_visited = 0;
	}
	if (!std::isfinite(preferences->overhead_map_scale_relative_to_default) ||
		preferences->overhead_map_scale_relative_to_default <= 0.0f)
	{
		preferences->overhead_map_scale_relative_to_default = 1.0f;
	}
	if (preferences->current_tip_index < 0) preferences->current_tip_index = 0;
	verify_plugin_list(&preferences->solo_plugin_count, preferences->solo_plugin_data);
	verify_plugin_list(&preferences->multi_plugin_count, preferences->multi_plugin_data);
	return TRUE;
}

boolean solo_level_visited(file_tag mesh_tag)
{
	const game_preferences *preferences = get_game_preferences();
	const int16 count = PIN(preferences->number_of_solo_levels_visited, 0, MAXIMUM_SOLO_LEVELS_VISITED);
	for (int16 i = 0; i < count; ++i)
	{
		if (preferences->solo_levels_visited[i] == mesh_tag) return TRUE;
	}
	return FALSE;
}

void mark_solo_level_as_visited(file_tag mesh_tag)
{
	game_preferences *preferences = loaded_game_preferences();
	if (!preferences || solo_level_visited(mesh_tag)) return;
	const int16 count = preferences->number_of_solo_levels_visited;
	if (count < 0 || count >= MAXIMUM_SOLO_LEVELS_VISITED) return;
	preferences->solo_levels_visited[count] = mesh_tag;
	preferences->number_of_solo_levels_visited = count + 1;
	write_game_preferences();
}

game_preferences *get_game_preferences(void)
{
	game_preferences *preferences = loaded_game_preferences();
	if (preferences) return preferences;
	if (!fallback_game_preferences_valid)
	{
		default_game_preferences(&fallback_game_preferences);
		verify_game_preferences(&fallback_game_preferences);
		fallback_game_preferences_valid = TRUE;
	}
	return &fallback_game_preferences;
}
