// Arbitrary game setups through the lobby's sort, colour arbitration and the
// map start of the players module, with every team record checked after.
//
// Input: team count, player count (may be out of range), local index,
// option bits, scoring, maximum teams, team seed, random seed, a version
// selector, up to four 'prta' value lists, then player records in their
// big-endian wire form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "map_actions/map_actions.h"
#include "players.h"
#include "world.h"
#include "zerv.h"

namespace {

void check(bool condition)
{
	if (!condition) std::abort();
}

struct input_reader
{
	const uint8_t *data;
	size_t size;
	size_t position;

	uint8_t byte(void) { return position < size ? data[position++] : 0; }
	uint16_t word(void) { return static_cast<uint16_t>((byte() << 8) | byte()); }
	uint32_t longword(void) { return (static_cast<uint32_t>(word()) << 16) | word(); }
};

// The input's 'prta' lists and their values.
const int32 MAXIMUM_PRTA_LISTS = 4;
const int32 MAXIMUM_PRTA_VALUES = 18;

const int16 game_play_versions[] = {1300, 1500, 1501, 1700, 1701, 1720};

void check_records(int16 in_play_limit)
{
	int16 members[MAXIMUM_TEAMS_PER_MAP] = {};
	const int16 team_count = get_team_count();
	check(team_count >= 0 && team_count <= MAXIMUM_TEAMS_PER_MAP);
	check(get_player_count() >= 0 && get_player_count() <= in_play_limit);

	for (int16 i = 0; i < get_player_count(); ++i)
	{
		const player_data *player = get_player_data(i);
		check(player != nullptr);
		check(player->team_index == NONE || (player->team_index >= 0 && player->team_index < team_count));
		check(player->original_team_index == player->team_index);
		check(strnlen(player->appearance.name, sizeof(player->appearance.name)) < sizeof(player->appearance.name));
		if (player->team_index != NONE) members[player->team_index] += 1;
	}
	int16 teams_with_players = 0;
	for (int16 t = 0; t < team_count; ++t)
	{
		const team_data *team = get_team_data(t);
		check(team != nullptr);
		check(team->number_of_players == members[t]);
		check(team->original_number_of_players == team->number_of_players);
		if (team->number_of_players > 0)
		{
			teams_with_players += 1;
			const player_data *captain = get_player_data(team->captain_player_index);
			check(captain != nullptr && captain->team_index == t);
		}
	}
	check(player_globals.actual_number_of_teams == teams_with_players);
	check(player_globals.local_player_index == NONE ||
		(player_globals.local_player_index >= 0 && player_globals.local_player_index < get_player_count()));
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	static game_data record;
	static bool initialized = false;
	if (!initialized)
	{
		game = &record;
		initialize_players();
		initialize_map_actions();
		initialized = true;
	}
	if (size > 16 * 1024) return 0;

	input_reader input = {data, size, 0};
	memset(&record, 0, sizeof(record));
	reset_players_test_hooks();
	players_test_hooks_data *hooks = get_players_test_hooks();

	hooks->team_count = static_cast<int16>(input.byte() % (MAXIMUM_TEAMS_PER_MAP + 1));
	const int16 player_count = static_cast<int16>(static_cast<int8_t>(input.byte()));
	const int16 local_index = static_cast<int16>(static_cast<int8_t>(input.byte()));
	const uint8_t options = input.byte();
	record.option_flags = (options & 1 ? static_cast<uint32>(_game_option_cooperative_flag) : 0u) |
		(options & 2 ? static_cast<uint32>(_game_option_allow_multiplayer_teams_flag) : 0u) |
		(options & 4 ? static_cast<uint32>(_game_option_team_captain_chosen_flag) : 0u) |
		(static_cast<uint32>((options >> 3) & 3) << GAME_OPTION_PATCH_LEVEL_SHIFT);
	const boolean orphans_become_captains = (options & 32) ? TRUE : FALSE;
	record.scoring = static_cast<int16>(input.word());
	record.maximum_teams = static_cast<int16>(input.word());
	record.initial_team_random_seed = input.word();
	set_random_seed(input.longword());
	game_play_version = game_play_versions[input.byte() % (sizeof(game_play_versions) / sizeof(game_play_versions[0]))];

	// Each value list becomes a 'prta' action of the map's script.
	initialize_map_actions_for_new_map();
	const int32 list_count = input.byte() % (MAXIMUM_PRTA_LISTS + 1);
	for (int32 list = 0; list < list_count; ++list)
	{
		int32 values[MAXIMUM_PRTA_VALUES];
		const int32 value_count = input.byte() % (MAXIMUM_PRTA_VALUES + 1);
		for (int32 i = 0; i < value_count; ++i) values[i] = static_cast<int8_t>(input.byte());
		const int16 action = new_map_action(NONE);
		check(action != NONE);
		set_map_action_tag(action, TAG("prta"));
		check(set_unique_map_action_parameter(action, TAG("team"), _parameter_integer, value_count, values));
	}

	new_player_data players[MAXIMUM_PLAYERS_PER_MAP + 1];
	memset(players, 0, sizeof(players));
	for (int16 i = 0; i <= MAXIMUM_PLAYERS_PER_MAP && input.position < size; ++i)
	{
		const size_t available = MIN(size - input.position, sizeof(new_player_data));
		memcpy(&players[i], data + input.position, available);
		input.position += available;
		byte_swap_new_player_data(&players[i]);
	}

	const int16 listed = static_cast<int16>(PIN(player_count, 0, MAXIMUM_PLAYERS_PER_MAP));
	new_player_data lobby[MAXIMUM_PLAYERS_PER_MAP];
	memcpy(lobby, players, sizeof(lobby));
	sort_new_player_data(lobby, listed, orphans_become_captains);
	arbitrate_player_appearances(lobby, listed);

	initialize_players_for_new_map(player_count, players, local_index);
	check_records(listed);
	// A second map start from the changed list must hold up as well.
	initialize_players_for_new_map(listed, players, local_index);
	check_records(listed);
	dispose_players_from_old_map();
	return 0;
}
