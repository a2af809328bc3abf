#include "zerv_harness.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <algorithm>

#include "CoreLibrary/cseries/linux_utilities.h"
#include "CoreLibrary/cseries/test_hooks.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "fake_programs.h"
#include "foundation_files.h"
#include "tag_files/tag_files.h"
#include "map_actions/map_actions.h"
#include "mesh.h"
#include "particle_system.h"
#include "recording.h"
#include "CoreLibrary/zerv/commands.h"
#include "test_directory.h"
#include "test_hooks_all.h"

namespace {

struct harness_globals_data
{
	std::string directory;
	std::string previous_directory;
	std::string fake_folder;
	bool zerv_initialized = false;
	std::vector<harness_digest_entry> trail;
	harness_command_script script;
	size_t script_next = 0;
	bool map_running = false;
};

harness_globals_data harness_globals;

const char *const harness_folders[] = {"tags", "local", "plugins", "preferences", "recordings", "saved games"};

// Frames beyond this many per requested tick mean the game is stuck.
const int32 maximum_frames_per_tick = 64;

void record_digest(int32 game_time, void *)
{
	harness_globals.trail.push_back({game_time, zerv_state_digest()});
}

void feed_command_script(int32 first_tick, int32 end_tick, void *)
{
	harness_command_script &script = harness_globals.script;
	while (harness_globals.script_next < script.size() && script[harness_globals.script_next].tick < end_tick)
	{
		harness_command_entry &entry = script[harness_globals.script_next++];
		if (entry.tick < first_tick)
		{
			ADD_FAILURE() << "scripted command for tick " << entry.tick << " came after tick " << first_tick;
			continue;
		}
		command_header header;
		command_read_header(entry.command.data(), &header);
		header.time = entry.tick;
		command_write_header(entry.command.data(), &header);
		if (!queue_scripted_command(entry.command.data()))
		{
			ADD_FAILURE() << "the incoming queue refused the command scripted for tick " << entry.tick;
		}
	}
}

// What a fresh process would see: every module's hooks at rest, and the
// headless map answers that let a map start.
void reset_harness_hooks(void)
{
	reset_all_test_hooks();
	harness_globals.script.clear();
	harness_globals.script_next = 0;
	reset_zerv_test_hooks();
	reset_map_actions_test_hooks();
	reset_mesh_test_hooks();
	get_mesh_test_hooks()->initialize_for_new_map_answer = TRUE;
	get_particle_system_test_hooks()->particles_idle = TRUE;
	get_linux_utilities_test_hooks()->skip_working_directory_change = TRUE;
}

}

bool harness_initialize(bool trace_start_up)
{
	char buffer[4096];
	harness_globals.previous_directory = getcwd(buffer, sizeof(buffer)) ? buffer : "/";

	harness_globals.directory = make_test_directory();
	if (harness_globals.directory.empty()) return false;
	for (const char *folder : harness_folders)
	{
		const std::string path = harness_globals.directory + "/" + folder;
		if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return false;
	}
	if (!install_placeholder_foundation_files(harness_globals.directory)) return false;
	harness_globals.fake_folder = install_fake_programs(harness_globals.directory);
	if (harness_globals.fake_folder.empty()) return false;

	reset_harness_hooks();
	service_trace_enable(trace_start_up);
	if (harness_globals.zerv_initialized)
	{
		// A later test in the same process: earlier tests may have reset or
		// replaced any module's state, so the core starts again from the tag
		// files up, with its log in this test's directory.
		dispose_error_state();
		tag_files_reset_for_tests();
	}
	initialize_zerv();
	// The shell catalogues the plugins on its first menu entry; maps started here need the patches.
	tag_files_update_available_plugins();
	harness_globals.zerv_initialized = true;
	return game != nullptr;
}

void harness_shutdown(void)
{
	// A map the test left running goes first: the next start-up in this
	// process would otherwise leak what the map loaded.
	if (harness_globals.map_running) harness_end_map();
	set_zerv_tick_hook(nullptr, nullptr);
	// A film still open is closed while its folder exists.
	stop_recording();
	restore_fake_programs_path();
	reset_harness_hooks();
	// The core's lock file goes with this folder; later tests start unlocked.
	release_exclusive_mode();
	remove_test_directory(harness_globals.directory, harness_globals.previous_directory);
	harness_globals.directory.clear();
}

const std::string &harness_directory(void)
{
	return harness_globals.directory;
}

const std::string &harness_fake_program_folder(void)
{
	return harness_globals.fake_folder;
}

void harness_default_setup(new_game_data *setup)
{
	memset(setup, 0, sizeof(*setup));
	// A map the default set does not hold, so the default game runs without terrain.
	get_default_new_game_data(setup, _game_type_local, TAG("xmap"));
	setup->parameters.random_seed = 0x5EED1234;
	setup->parameters.initial_team_random_seed = 0x2468;
	setup->player_count = 1;
	setup->local_player_index = 0;

	new_player_data *player = &setup->players[0];
	player->team_index = 0;
	player->type = _player_is_human;
	player->team_captain_identifier = static_cast<uint32>(NONE);
	player->unique_identifier = 1;
	player->agreed_to_play = TRUE;
	player->version = 2172;
	player->build_number = 377;
	snprintf(player->appearance.name, sizeof(player->appearance.name), "%s", "Light");
	player->appearance.primary_color = {65535, 65535, 65535, 0};
	player->appearance.secondary_color = {65535, 65535, 65535, 0};
}

void harness_demo_setup(new_game_data *setup, int16 player_count)
{
	harness_default_setup(setup);
	setup->parameters.scenario_tag = HARNESS_DEMO_MAP_TAG;
	player_count = PIN(player_count, static_cast<int16>(1), static_cast<int16>(MAXIMUM_PLAYERS_PER_MAP));
	setup->player_count = player_count;
	// The map's palette places the teams.
	setup->players[0].team_index = NONE;
	for (int16 i = 1; i < player_count; ++i)
	{
		new_player_data *player = &setup->players[i];
		*player = setup->players[0];
		player->unique_identifier = static_cast<uint32>(i + 1);
		player->type = player_count > 2 && i == player_count - 1 ? _player_is_computer : _player_is_human;
		snprintf(player->appearance.name, sizeof(player->appearance.name), "Player %d", i + 1);
	}
}

void harness_battle_setup(new_game_data *setup, file_tag map_tag, bool computer_opponent)
{
	harness_default_setup(setup);
	setup->parameters.scenario_tag = map_tag;
	setup->parameters.difficulty_level = 2;
	setup->player_count = 2;
	new_player_data *computer = &setup->players[1];
	*computer = setup->players[0];
	computer->team_index = 1;
	computer->type = computer_opponent ? _player_is_computer : _player_is_human;
	computer->unique_identifier = 2;
	snprintf(computer->appearance.name, sizeof(computer->appearance.name), "%s", "Dark");
}

void harness_ai_battle_setup(new_game_data *setup, file_tag map_tag)
{
	harness_battle_setup(setup, map_tag);
	setup->parameters.type = _game_type_demo;
	setup->parameters.option_flags &= ~_game_option_limited_visibility_flag;
	setup->players[0].type = _player_is_computer;
}

void harness_level_setup(new_game_data *setup, bool computer_opponent)
{
	harness_battle_setup(setup, HARNESS_FIRST_LEVEL_MAP_TAG, computer_opponent);
}

void harness_trading_setup(new_game_data *setup)
{
	harness_demo_setup(setup, 4);
	setup->parameters.option_flags |= _game_option_allow_unit_trading_flag;
	setup->parameters.pregame_time_limit = 300;
	for (int16 i = 0; i < 4; ++i)
	{
		new_player_data *player = &setup->players[i];
		player->type = _player_is_human;
		player->team_index = static_cast<int16>(i / 2);
		player->team_captain_identifier = setup->players[(i / 2) * 2].unique_identifier;
	}
}

bool harness_start_map(new_game_data *setup)
{
	harness_globals.trail.clear();
	set_zerv_tick_hook(record_digest, nullptr);
	if (!initialize_zerv_for_new_map(setup)) return false;
	harness_globals.map_running = true;
	game->loaded = 1;
	game_local_time_set(0);
	return true;
}

void harness_run_frames(int32 frames, int16 elapsed)
{
	for (int32 frame = 0; frame < frames; ++frame)
	{
		for (int32 i = 0; i < elapsed; ++i) advance_local_time();
		update_zerv(elapsed);
	}
}

bool harness_game_is_finished(void)
{
	return game->time_state == _game_time_ending && game->time_remaining <= 0;
}

int32 harness_run_ticks(int32 ticks, int16 elapsed)
{
	const int32 start = game->game_time;
	const int64 frame_limit = static_cast<int64>(ticks) * maximum_frames_per_tick + 64;

	for (int64 frame = 0; frame < frame_limit; ++frame)
	{
		if (game->game_time - start >= ticks || harness_game_is_finished()) break;
		harness_run_frames(1, elapsed);
	}
	return game->game_time - start;
}

void harness_end_map(void)
{
	harness_globals.map_running = false;
	dispose_zerv_from_old_map();
}

void harness_capture_commands(int32 tick, int16 player, harness_command_script *script)
{
	void *command;
	while ((command = dequeue_outgoing_command()) != NULL)
	{
		command_header header;
		command_read_header(command, &header);
		harness_command_entry entry;
		entry.tick = tick;
		entry.command.assign(static_cast<uint8 *>(command), static_cast<uint8 *>(command) + header.size);
		header.time = tick;
		header.player_index = static_cast<uint8>(player);
		command_write_header(entry.command.data(), &header);
		script->push_back(entry);
	}
}

void harness_set_command_script(const harness_command_script &script)
{
	harness_globals.script = script;
	std::stable_sort(harness_globals.script.begin(), harness_globals.script.end(),
		[](const harness_command_entry &a, const harness_command_entry &b) { return a.tick < b.tick; });
	harness_globals.script_next = 0;
	if (script.empty()) set_command_script_hook(nullptr, nullptr);
	else set_command_script_hook(feed_command_script, nullptr);
}

const std::vector<harness_digest_entry> &harness_digest_trail(void)
{
	return harness_globals.trail;
}

void harness_clear_digest_trail(void)
{
	harness_globals.trail.clear();
}

namespace {

bool write_trail_lines(FILE *file, const std::vector<harness_digest_entry> &trail)
{
	bool success = true;
	for (const harness_digest_entry &entry : trail)
	{
		if (fprintf(file, "%d %016llx\n", static_cast<int>(entry.game_time),
				static_cast<unsigned long long>(entry.digest)) < 0)
		{
			success = false;
		}
	}
	return success;
}

// Through a temporary file renamed into place: a reader never sees half a trail.
bool write_trail_file(const std::string &path, const harness_named_trail *trails, size_t count, bool named)
{
	const std::string temporary = path + ".tmp";
	FILE *file = fopen(temporary.c_str(), "w");
	if (!file) return false;
	bool success = true;
	for (size_t i = 0; i < count; ++i)
	{
		if (named && fprintf(file, "# %s\n", trails[i].name.c_str()) < 0) success = false;
		if (!write_trail_lines(file, trails[i].trail)) success = false;
	}
	if (fclose(file) != 0) success = false;
	if (success && rename(temporary.c_str(), path.c_str()) != 0) success = false;
	if (!success) remove(temporary.c_str());
	return success;
}

}

bool harness_write_digest_trail(const std::string &path)
{
	const harness_named_trail current = {"", harness_globals.trail};
	return write_trail_file(path, &current, 1, false);
}

bool harness_write_digest_trails(const std::string &path, const std::vector<harness_named_trail> &trails)
{
	return write_trail_file(path, trails.data(), trails.size(), true);
}

bool harness_write_test_digest_trail(const std::vector<harness_digest_entry> &trail)
{
	const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
	if (!test) return false;
	const std::string folder = std::string(ZERV_BINARY_DIR) + "/digest_trails";
	if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) return false;
	const harness_named_trail current = {"", trail};
	return write_trail_file(folder + "/" + test->test_suite_name() + "." + test->name() + ".txt", &current, 1, false);
}

void zerv_harness_fixture::SetUp()
{
	ASSERT_TRUE(harness_initialize()) << "cannot set up the harness";
}

void zerv_harness_fixture::TearDown()
{
	harness_shutdown();
}
