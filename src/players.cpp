#include "players.h"

#include "data.h"
#include "map_actions/map_actions.h"

#include <cstdlib>
#include <cstring>

#include "CoreLibrary/cseries/quicksort.h"
#include "alliances.h"
#include "error_manager.h"
#include "markers.h"
#include "game_statistics.h"
#include "world.h"
#include "zerv.h"

/* ---------- records and module values */

datum_globals player_array = {"player", MAXIMUM_PLAYERS_PER_MAP, sizeof(player_data), 0};
datum_globals team_array = {"team", MAXIMUM_TEAMS_PER_MAP, sizeof(team_data), 0};

player_globals_data player_globals = {NONE, NONE, FALSE, 0};

static players_test_hooks_data players_test_hooks = {NONE};

const rgb_color replacement_colors[NUMBER_OF_REPLACEMENT_COLORS] = {
	{57670, 0, 0, 0}, {0, 48495, 0, 0}, {32767, 11140, 0, 0}, {61602, 63568, 0, 0},
	{47840, 47840, 65535, 0}, {21626, 20971, 26214, 0}, {0, 54394, 54394, 0}, {0, 0, 60947, 0},
	{44563, 65535, 65535, 0}, {54394, 22281, 65535, 0}, {57015, 47185, 0, 0}, {26214, 26214, 0, 0},
	{0, 42597, 51772, 0}, {65535, 41942, 41942, 0}, {51772, 38665, 65535, 0}, {0, 14417, 35388, 0},
	{27524, 0, 24903, 0}, {65535, 65535, 53083, 0}, {13762, 25558, 0, 0}, {49151, 49806, 42597, 0}};

/* ---------- byte swapping */

constexpr byte_swap_code player_appearance_byte_swapping_data[] = {
	_begin_bs_array, 1,
	_2byte, _2byte,
	MAXIMUM_PLAYER_NAME_LENGTH + 1, MAXIMUM_PLAYER_NAME_LENGTH + 1,
	_2byte, _2byte, _2byte, _2byte,
	_2byte, _2byte, _2byte, _2byte,
	_end_bs_array};

static constexpr byte_swap_code new_player_byte_swapping_data[] = {
	_begin_bs_array, 1,
	_2byte, _2byte, _2byte, _2byte,
	_4byte, _4byte, _4byte, _4byte, _4byte,
	1, 1,
	_2byte, _2byte,
	6,
	_begin_bs_array, 1,
	_2byte, _2byte,
	MAXIMUM_PLAYER_NAME_LENGTH + 1, MAXIMUM_PLAYER_NAME_LENGTH + 1,
	_2byte, _2byte, _2byte, _2byte,
	_2byte, _2byte, _2byte, _2byte,
	_end_bs_array,
	_end_bs_array};

static_assert(get_byte_swap_struct_size(player_appearance_byte_swapping_data) == sizeof(player_appearance_data));
static_assert(get_byte_swap_struct_size(new_player_byte_swapping_data) == sizeof(new_player_data));

void byte_swap_new_player_data(new_player_data *player)
{
	byte_swap_data("new player data", player, sizeof(new_player_data), 1, new_player_byte_swapping_data);
}

void byte_swap_player_appearance(player_appearance_data *appearance)
{
	byte_swap_data("player appearance data", appearance, sizeof(player_appearance_data), 1,
		player_appearance_byte_swapping_data);
}

/* ---------- life cycle */

void initialize_players(void)
{
	initialize_data(&player_array);
	initialize_data(&team_array);
	player_globals.local_player_index = NONE;
	player_globals.local_player_team_index = NONE;
	player_globals.local_player_is_team_captain = FALSE;
	player_globals.actual_number_of_teams = 0;
}

void dispose_players_from_old_map(void)
{
	dispose_data_from_old_map(&player_array);
	dispose_data_from_old_map(&team_array);
}

void ressurect_players_from_old_map(void)
{
	resurrect_data_from_old_map(&player_array);
	resurrect_data_from_old_map(&team_array);
}

/* ---------- records */

player_data *get_player_data(int16 player_index)
{
	if (player_index < 0 || player_index >= MAXIMUM_PLAYERS_PER_MAP || !player_array.data) return nullptr;
	return static_cast<player_data *>(try_and_get_datum(&player_array, player_index));
}

team_data *get_team_data(int16 team_index)
{
	if (team_index < 0 || team_index >= MAXIMUM_TEAMS_PER_MAP || !team_array.data) return nullptr;
	return static_cast<team_data *>(try_and_get_datum(&team_array, team_index));
}

int16 get_player_count(void)
{
	return MAX(player_array.count, static_cast<int16>(0));
}

int16 get_team_count(void)
{
	return MAX(team_array.count, static_cast<int16>(0));
}

void delete_player(int16 player_index)
{
	if (get_player_data(player_index)) delete_datum(&player_array, player_index);
}

int16 player_identifier_to_player_index(uint32 unique_identifier)
{
	for (int16 i = 0; i < get_player_count(); ++i)
	{
		const player_data *player = get_player_data(i);
		if (player && player->unique_identifier == unique_identifier) return i;
	}
	return NONE;
}

void team_is_about_to_win(int16 team_index)
{
	team_data *team = get_team_data(team_index);
	if (!team || (team->flags & _team_is_about_to_win_flag)) return;
	team->flags |= _team_is_about_to_win_flag;
	queue_game_sound(_game_sound_victory_imminent);
}

/* ---------- setup records: sorting */

// A captain identifier of NONE never names a player, even one whose identity
// happens to be 0xFFFFFFFF.
static bool names_as_captain(const new_player_data *player, uint32 captain_identifier)
{
	return player->team_captain_identifier != static_cast<uint32>(NONE) &&
		player->team_captain_identifier == captain_identifier;
}

static bool is_own_captain_or_free(const new_player_data *player)
{
	return player->team_captain_identifier == static_cast<uint32>(NONE) ||
		player->team_captain_identifier == player->unique_identifier;
}

int compare_new_player_data(const void *a, const void *b)
{
	const new_player_data *first = static_cast<const new_player_data *>(a);
	const new_player_data *second = static_cast<const new_player_data *>(b);

	if (first->appearance.caste_bitmap_index != second->appearance.caste_bitmap_index)
	{
		return first->appearance.caste_bitmap_index > second->appearance.caste_bitmap_index ? -1 : 1;
	}
	if (first->unique_identifier < second->unique_identifier) return -1;
	if (first->unique_identifier > second->unique_identifier) return 1;
	return 0;
}

void sort_new_player_data(new_player_data *players, int16 count, boolean orphans_become_captains)
{
	if (!players || count <= 0) return;
	count = MIN(count, static_cast<int16>(MAXIMUM_PLAYERS_PER_MAP));

	new_player_data sorted[MAXIMUM_PLAYERS_PER_MAP];
	qsort_private(players, count, sizeof(new_player_data), compare_new_player_data);
	for (int16 i = 0; i < count; ++i) players[i].flags &= ~_player_has_invalid_captain_flag;

	// Each pass that leaves orphans marks them, so they lead their own groups
	// in the next; a pass that leaves none is the last.
	for (int16 pass = 0; pass <= count; ++pass)
	{
		int16 sorted_count = 0;
		int16 orphan_count = 0;

		for (int16 i = 0; i < count; ++i) players[i].flags &= ~_player_has_been_sorted_flag;
		for (int16 i = 0; i < count; ++i)
		{
			new_player_data *leader = &players[i];
			if (leader->flags & _player_has_been_sorted_flag) continue;
			if (!is_own_captain_or_free(leader) && !(leader->flags & _player_has_invalid_captain_flag)) continue;

			leader->flags |= _player_has_been_sorted_flag;
			sorted[sorted_count++] = *leader;
			for (int16 j = 0; j < count; ++j)
			{
				new_player_data *follower = &players[j];
				if (follower->flags & _player_has_been_sorted_flag) continue;
				if (!names_as_captain(follower, leader->unique_identifier)) continue;
				follower->flags |= _player_has_been_sorted_flag;
				sorted[sorted_count++] = *follower;
			}
		}
		for (int16 i = 0; i < count; ++i)
		{
			new_player_data *orphan = &players[i];
			if (orphan->flags & _player_has_been_sorted_flag) continue;
			orphan->flags |= _player_has_been_sorted_flag | _player_has_invalid_captain_flag;
			if (orphans_become_captains) orphan->team_captain_identifier = static_cast<uint32>(NONE);
			// Every pass with orphans marks at least one more leader, so this
			// only keeps the last pass from losing anyone.
			if (pass == count) sorted[sorted_count++] = *orphan;
			orphan_count += 1;
		}
		if (orphan_count == 0 || pass == count)
		{
			memcpy(players, sorted, sizeof(new_player_data) * count);
			return;
		}
	}
}

/* ---------- setup records: colours */

static bool colors_are_close(const rgb_color *a, const rgb_color *b)
{
	return abs(static_cast<int32>(a->red) - b->red) < MINIMUM_ARBITRATION_COLOR_PROXIMITY &&
		abs(static_cast<int32>(a->green) - b->green) < MINIMUM_ARBITRATION_COLOR_PROXIMITY &&
		abs(static_cast<int32>(a->blue) - b->blue) < MINIMUM_ARBITRATION_COLOR_PROXIMITY;
}

// members: positions in players, in player order.
static void make_group_colors_distinct(new_player_data *players, const int16 *members, int16 member_count)
{
	for (int16 m = member_count - 1; m >= 0; --m)
	{
		new_player_data *player = &players[members[m]];
		const rgb_color original = player->appearance.primary_color;
		uint32 seed = player->unique_identifier * static_cast<uint32>(REPLACEMENT_COLOR_INDEX_SEED);
		int16 tries = 0;

		for (int16 other = member_count - 1; other >= 0; --other)
		{
			if (other == m) continue;
			if (!colors_are_close(&players[members[other]].appearance.primary_color, &player->appearance.primary_color))
			{
				continue;
			}
			if (tries >= MAXIMUM_COLOR_REPLACEMENT_TRIES)
			{
				// No replacement stood apart: the colour stays as it came.
				player->appearance.primary_color = original;
				break;
			}
			player->appearance.primary_color = replacement_colors[seed % NUMBER_OF_REPLACEMENT_COLORS];
			seed += 1;
			tries += 1;
			other = member_count; // scan again from the last member
		}
	}
}

static int16 find_player_by_identifier(const new_player_data *players, int16 count, uint32 unique_identifier)
{
	for (int16 i = 0; i < count; ++i)
	{
		if (players[i].unique_identifier == unique_identifier) return i;
	}
	return NONE;
}

void arbitrate_player_appearances(new_player_data *players, int16 count)
{
	int16 members[MAXIMUM_PLAYERS_PER_MAP] = {};
	int16 member_count = 0;

	if (!players || count <= 0) return;
	count = MIN(count, static_cast<int16>(MAXIMUM_PLAYERS_PER_MAP));

	for (int16 i = 0; i < count; ++i)
	{
		if (is_own_captain_or_free(&players[i])) members[member_count++] = i;
	}
	make_group_colors_distinct(players, members, member_count);

	for (int16 i = 0; i < count; ++i)
	{
		member_count = 0;
		for (int16 j = 0; j < count; ++j)
		{
			if (j == i || names_as_captain(&players[j], players[i].unique_identifier)) members[member_count++] = j;
		}
		make_group_colors_distinct(players, members, member_count);
	}

	for (int16 i = 0; i < count; ++i)
	{
		new_player_data *player = &players[i];
		if (player->team_captain_identifier == static_cast<uint32>(NONE)) continue;
		const int16 captain = find_player_by_identifier(players, count, player->team_captain_identifier);
		if (captain == NONE) continue;
		player->appearance.secondary_color = player->appearance.primary_color;
		player->appearance.primary_color = players[captain].appearance.primary_color;
	}
}

/* ---------- new map */

struct team_formation_data
{
	int16 count; // n': the players in play
	int16 captain[MAXIMUM_PLAYERS_PER_MAP]; // C: position of each player's captain, NONE
	int16 size[MAXIMUM_PLAYERS_PER_MAP];    // S: players whose captain is this one
	int16 formed;  // players that are their own captain
	int16 leaders; // those and the players without a captain
	int16 free[MAXIMUM_PLAYERS_PER_MAP];    // F: players without a captain, in order
	int16 free_count;
};

static void terminate_appearance_strings(player_appearance_data *appearance)
{
	appearance->name[sizeof(appearance->name) - 1] = 0;
	appearance->team_name[sizeof(appearance->team_name) - 1] = 0;
}

// Step 1: the team slots the map's script withholds under this scoring. Each
// integer list of two or more values in a live 'prta' action names a scoring,
// then team slots.
static int16 find_prohibited_teams(bool *prohibited)
{
	int16 prohibited_count = 0;
	for (int16 team = 0; team < MAXIMUM_TEAMS_PER_MAP; ++team) prohibited[team] = false;
	for (int16 action_index = 0; action_index < map_action_array.count; ++action_index)
	{
		if (get_map_action_tag(action_index) != TAG("prta")) continue;
		find_map_action_parameter_state state;
		map_action_parameter list;
		new_find_map_action_parameter_state(&state, action_index, 0, static_cast<field_tag>(NONE), _parameter_integer);
		while (find_next_map_action_parameter(&state, &list))
		{
			const int32 *values = static_cast<const int32 *>(extract_parameter_array_address(&list));
			if (list.count < 2 || !values || values[0] != game->scoring) continue;
			// Only 0..15 name a slot.
			for (int32 i = 1; i < list.count; ++i)
			{
				if (values[i] < 0 || values[i] >= MAXIMUM_TEAMS_PER_MAP || prohibited[values[i]]) continue;
				prohibited[values[i]] = true;
				prohibited_count += 1;
			}
		}
	}
	return prohibited_count;
}

// Step 5: 1 + the highest team of the map's unit palette rows.
static int16 count_map_teams(void)
{
	if (players_test_hooks.team_count != NONE)
	{
		return PIN(players_test_hooks.team_count, static_cast<int16>(0), static_cast<int16>(MAXIMUM_TEAMS_PER_MAP));
	}

	int16 team_count = 0;
	scan_marker_palette_state state;
	new_scan_marker_palette_state(&state, _marker_monster, static_cast<file_tag>(NONE));
	while (const marker_palette_entry *entry = scan_marker_palette(&state))
	{
		// The loader rejects rows beyond the team records; stay inside them anyway.
		if (entry->team_index >= 0 && entry->team_index < MAXIMUM_TEAMS_PER_MAP)
		{
			team_count = MAX(team_count, static_cast<int16>(entry->team_index + 1));
		}
	}
	return team_count;
}

static void count_team_formation(team_formation_data *formation)
{
	formation->formed = 0;
	formation->leaders = 0;
	formation->free_count = 0;
	for (int16 i = 0; i < formation->count; ++i) formation->size[i] = 0;
	for (int16 i = 0; i < formation->count; ++i)
	{
		const int16 captain = formation->captain[i];
		if (captain == i) formation->formed += 1;
		if (captain == NONE)
		{
			formation->free[formation->free_count++] = i;
		}
		else
		{
			formation->size[captain] += 1;
		}
	}
	formation->leaders = formation->formed + formation->free_count;
}

static void set_captain(new_player_data *players, team_formation_data *formation, int16 player, int16 captain)
{
	formation->captain[player] = captain;
	players[player].team_captain_identifier =
		captain == NONE ? static_cast<uint32>(NONE) : players[captain].unique_identifier;
}

// Step 7: captains within the team limit; every free player joins a team.
static void form_teams(new_player_data *players, team_formation_data *formation, int16 maximum_teams)
{
	// Each round either stops or takes one player out of the free list.
	for (int16 round = 0; round <= formation->count; ++round)
	{
		count_team_formation(formation);

		if (formation->formed > maximum_teams)
		{
			while (formation->formed > maximum_teams)
			{
				int16 smallest = NONE;
				for (int16 i = 0; i < formation->count; ++i)
				{
					if (formation->captain[i] != i || formation->size[i] == 0) continue;
					if (smallest == NONE || formation->size[i] < formation->size[smallest]) smallest = i;
				}
				if (smallest == NONE) break;
				for (int16 i = 0; i < formation->count; ++i)
				{
					if (formation->captain[i] == smallest) set_captain(players, formation, i, NONE);
				}
				formation->size[smallest] = 0;
				formation->formed -= 1;
			}
			count_team_formation(formation);
		}

		if (maximum_teams >= formation->leaders) break;
		if (maximum_teams > formation->formed)
		{
			if (formation->free_count == 0) break;
			const int16 chosen = formation->free[zerv_random() % formation->free_count];
			set_captain(players, formation, chosen, chosen);
		}
		else
		{
			int16 smallest_captains[MAXIMUM_PLAYERS_PER_MAP];
			int16 smallest_count = 0;
			int16 smallest_size = 0;
			for (int16 i = 0; i < formation->count; ++i)
			{
				if (formation->captain[i] != i) continue;
				if (smallest_count == 0 || formation->size[i] < smallest_size)
				{
					smallest_size = formation->size[i];
					smallest_count = 0;
				}
				if (formation->size[i] == smallest_size) smallest_captains[smallest_count++] = i;
			}
			if (smallest_count == 0 || formation->free_count == 0) break;
			// The free player is drawn first, then its captain.
			const int16 chosen = formation->free[zerv_random() % formation->free_count];
			const int16 captain = smallest_captains[zerv_random() % smallest_count];
			set_captain(players, formation, chosen, captain);
		}
	}

	count_team_formation(formation);
	for (int16 i = 0; i < formation->count; ++i)
	{
		if (formation->captain[i] == i && formation->size[i] <= 1) set_captain(players, formation, i, NONE);
	}
}

// Step 11: a free team slot from the wanted one onwards, NONE when all are
// taken or prohibited.
static int16 take_free_team(int16 wanted, int16 team_count, const bool *prohibited, int16 player_index)
{
	if (wanted < 0 || wanted >= team_count) wanted = 0;
	for (int16 offset = 0; offset < team_count; ++offset)
	{
		const int16 team_index = static_cast<int16>((wanted + offset) % team_count);
		team_data *team = get_team_data(team_index);
		if (!team || team->number_of_players != 0 || prohibited[team_index]) continue;
		team->number_of_players = 1;
		team->captain_player_index = player_index;
		return team_index;
	}
	return NONE;
}

void initialize_players_for_new_map(int16 player_count, new_player_data *players, int16 local_index)
{
	bool prohibited[MAXIMUM_TEAMS_PER_MAP];
	team_formation_data formation;

	if (player_count < 0 || player_count > MAXIMUM_PLAYERS_PER_MAP || (player_count > 0 && !players))
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "the game has #%d players (at most #%d).",
			player_count, MAXIMUM_PLAYERS_PER_MAP);
		player_count = 0;
	}
	if (local_index < 0 || local_index >= player_count) local_index = NONE;
	for (int16 i = 0; i < player_count; ++i) terminate_appearance_strings(&players[i].appearance);

	// 1. Prohibited teams.
	const int16 prohibited_count = find_prohibited_teams(prohibited);

	// 2. The observer; in a cooperative game it may lead everyone else.
	const bool cooperative = (game->option_flags & _game_option_cooperative_flag) != 0;
	bool has_observer = false;
	uint32 observer_identifier = static_cast<uint32>(NONE);
	for (int16 i = 0; i < player_count; ++i)
	{
		if (players[i].flags & _player_is_observer_flag)
		{
			has_observer = true;
			observer_identifier = players[i].unique_identifier;
			break;
		}
	}
	auto observer_or_follower = [&](const new_player_data *player) {
		return has_observer &&
			(player->unique_identifier == observer_identifier || names_as_captain(player, observer_identifier));
	};
	if (has_observer && player_count >= 4 && game_play_version > 1500 && cooperative)
	{
		int16 observer_group = 0;
		for (int16 i = 0; i < player_count; ++i)
		{
			if (observer_or_follower(&players[i])) observer_group += 1;
		}
		if (observer_group == player_count - 2)
		{
			for (int16 i = 0; i < player_count; ++i)
			{
				if (players[i].unique_identifier != observer_identifier &&
					names_as_captain(&players[i], observer_identifier))
				{
					players[i].team_captain_identifier = static_cast<uint32>(NONE);
				}
			}
			game->option_flags |= _game_option_allow_multiplayer_teams_flag;
			game->option_flags &= ~_game_option_team_captain_chosen_flag;
		}
	}

	// 3. The observer and its followers leave play, moved to the end from the
	// last player back (so the moved block ends reversed).
	int16 in_play = player_count;
	for (int16 i = player_count - 1; i >= 0; --i)
	{
		if (!observer_or_follower(&players[i])) continue;
		new_player_data moved = players[i];
		moved.team_captain_identifier = static_cast<uint32>(NONE);
		memmove(&players[i], &players[i + 1], sizeof(new_player_data) * (player_count - 1 - i));
		players[player_count - 1] = moved;
		if (local_index == i)
		{
			local_index = NONE;
		}
		else if (local_index > i)
		{
			local_index -= 1;
		}
		in_play -= 1;
	}
	player_globals.local_player_index = local_index;

	// 4. Fresh records.
	player_globals.local_player_is_team_captain = FALSE;
	if (player_array.count != NONE) dispose_data_from_old_map(&player_array);
	if (team_array.count != NONE) dispose_data_from_old_map(&team_array);
	initialize_data_for_new_map(&player_array);
	initialize_data_for_new_map(&team_array);
	initialize_alliances_for_new_map();

	// 5. Teams.
	const int16 team_count = count_map_teams();
	for (int16 t = 0; t < team_count; ++t)
	{
		const int16 team_index = new_datum(&team_array);
		team_data *team = get_team_data(team_index);
		if (!team) break;
		team->game_time_at_elimination = NONE;
		team->game_time_at_last_capture = NONE;
		team->captain_player_index = NONE;
	}
	const int16 playable_teams = MAX(static_cast<int16>(0), static_cast<int16>(team_count - prohibited_count));

	// 6. Player records, and each player's captain among those in play.
	formation.count = in_play;
	for (int16 i = 0; i < player_count; ++i)
	{
		const new_player_data *entry = &players[i];
		player_data *player = get_player_data(new_datum(&player_array));
		if (!player) break;
		player->type = entry->type;
		player->flags = entry->flags;
		player->unique_identifier = entry->unique_identifier;
		// A slot outside the map's teams is no slot.
		player->team_index = entry->team_index >= 0 && entry->team_index < team_count && !prohibited[entry->team_index]
			? entry->team_index
			: static_cast<int16>(NONE);
		player->original_team_index = NONE;
		player->appearance = entry->appearance;
		if (i < in_play)
		{
			formation.captain[i] = NONE;
			if (entry->team_captain_identifier != static_cast<uint32>(NONE))
			{
				formation.captain[i] = find_player_by_identifier(players, in_play, entry->team_captain_identifier);
			}
		}
	}

	// 7. Team formation.
	if (playable_teams > 0 && !cooperative)
	{
		int16 maximum_teams = playable_teams;
		if (game->maximum_teams > 0 && game->maximum_teams <= playable_teams) maximum_teams = game->maximum_teams;
		form_teams(players, &formation, maximum_teams);
	}

	// 8. A cooperative game without chosen captains follows one random player.
	if (game_play_version > 1300 && cooperative && (game->option_flags & _game_option_allow_multiplayer_teams_flag) &&
		!(game->option_flags & _game_option_team_captain_chosen_flag) && in_play >= 4)
	{
		const int16 captain = static_cast<int16>(zerv_random() % (in_play - 2));
		for (int16 i = 0; i < in_play - 2; ++i) set_captain(players, &formation, i, captain);
	}

	// 9. Colours.
	arbitrate_player_appearances(players, in_play);
	for (int16 i = 0; i < in_play; ++i)
	{
		player_data *player = get_player_data(i);
		const int16 entry = find_player_by_identifier(players, in_play, player->unique_identifier);
		player->appearance = players[entry].appearance;
	}

	// 10-11. Slots, drawn from the team seed from patch level 3 on.
	const bool seeded_slots = test_minor_version(3) != FALSE;
	const uint32 saved_seed = get_random_seed();
	if (seeded_slots) set_random_seed(game->initial_team_random_seed);
	for (int16 i = 0; i < in_play; ++i)
	{
		player_data *player = get_player_data(i);
		const int16 captain = formation.captain[i];
		if (playable_teams == 0 || (captain != NONE && captain != i))
		{
			player->team_index = NONE;
			continue;
		}
		int16 wanted = player->team_index;
		if (wanted == NONE)
		{
			const uint32 draw = seeded_slots ? zerv_random() : static_cast<uint32>(game->initial_team_random_seed + i);
			wanted = static_cast<int16>(draw % static_cast<uint32>(team_count));
		}
		player->team_index = take_free_team(wanted, team_count, prohibited, i);
		if (i == player_globals.local_player_index) player_globals.local_player_is_team_captain = TRUE;
	}
	if (seeded_slots) set_random_seed(saved_seed);

	// 12. Followers join their captain's team in one pass.
	for (int16 i = 0; i < player_count; ++i)
	{
		player_data *player = get_player_data(i);
		if (i >= in_play)
		{
			player->team_index = NONE;
		}
		else if (player->team_index == NONE && formation.captain[i] != NONE)
		{
			player->team_index = get_player_data(formation.captain[i])->team_index;
			if (team_data *team = get_team_data(player->team_index)) team->number_of_players += 1;
		}
		player->original_team_index = player->team_index;
	}

	// 13.
	player_globals.actual_number_of_teams = 0;
	for (int16 t = 0; t < get_team_count(); ++t)
	{
		team_data *team = get_team_data(t);
		if (!team) continue;
		if (team->number_of_players > 0) player_globals.actual_number_of_teams += 1;
		team->original_number_of_players = team->number_of_players;
	}
	for (int16 i = in_play; i < player_count; ++i) get_player_data(i)->flags |= _player_has_been_dropped_flag;

	// 14.
	if (player_globals.local_player_index != NONE)
	{
		player_globals.local_player_team_index = get_player_data(player_globals.local_player_index)->team_index;
	}
	else
	{
		player_globals.local_player_team_index = NONE;
		clear_limited_visibility_if_applicable();
	}
}

/* ---------- digest */

static void fold_big_endian(zerv_digest *digest, uint32 value, int32 width)
{
	uint8 bytes[4];
	for (int32 i = 0; i < width; ++i) bytes[i] = static_cast<uint8>(value >> (8 * (width - 1 - i)));
	zerv_digest_bytes(digest, bytes, width);
}

static void fold_color(zerv_digest *digest, const rgb_color *color)
{
	fold_big_endian(digest, color->red, 2);
	fold_big_endian(digest, color->green, 2);
	fold_big_endian(digest, color->blue, 2);
	fold_big_endian(digest, color->flags, 2);
}

// The local player stays out: it differs between the machines of one game and
// between a game and its observer's replay.
void players_fold_digest(zerv_digest *digest)
{
	fold_big_endian(digest, static_cast<uint16>(player_globals.actual_number_of_teams), 2);
	fold_big_endian(digest, static_cast<uint16>(player_array.count), 2);
	for (int16 i = 0; i < get_player_count(); ++i)
	{
		const player_data *player = get_player_data(i);
		if (!player)
		{
			fold_big_endian(digest, 0, 2);
			continue;
		}
		fold_big_endian(digest, static_cast<uint16>(player->identifier), 2);
		fold_big_endian(digest, player->flags, 2);
		fold_big_endian(digest, static_cast<uint16>(player->team_index), 2);
		fold_big_endian(digest, static_cast<uint16>(player->original_team_index), 2);
		fold_big_endian(digest, static_cast<uint16>(player->type), 2);
		fold_big_endian(digest, player->unique_identifier, 4);
		fold_big_endian(digest, static_cast<uint32>(player->game_time_at_drop), 4);
		fold_big_endian(digest, static_cast<uint16>(player->appearance.coat_of_arms_bitmap_index), 2);
		fold_big_endian(digest, static_cast<uint16>(player->appearance.caste_bitmap_index), 2);
		zerv_digest_bytes(digest, player->appearance.name, sizeof(player->appearance.name));
		zerv_digest_bytes(digest, player->appearance.team_name, sizeof(player->appearance.team_name));
		fold_color(digest, &player->appearance.primary_color);
		fold_color(digest, &player->appearance.secondary_color);
	}
}

void teams_fold_digest(zerv_digest *digest)
{
	fold_big_endian(digest, static_cast<uint16>(team_array.count), 2);
	for (int16 i = 0; i < get_team_count(); ++i)
	{
		const team_data *team = get_team_data(i);
		if (!team)
		{
			fold_big_endian(digest, 0, 2);
			continue;
		}
		fold_big_endian(digest, static_cast<uint16>(team->identifier), 2);
		fold_big_endian(digest, team->flags, 2);
		fold_big_endian(digest, static_cast<uint32>(team->game_time_at_elimination), 4);
		fold_big_endian(digest, static_cast<uint32>(team->game_time_of_possession), 4);
		fold_big_endian(digest, static_cast<uint32>(team->game_time_at_last_capture), 4);
		fold_big_endian(digest, static_cast<uint32>(team->game_time_at_last_score), 4);
		fold_big_endian(digest, static_cast<uint32>(team->game_time_at_maximum_flags_owned), 4);
		fold_big_endian(digest, static_cast<uint32>(team->last_game_time_at_maximum_flags_owned), 4);
		fold_big_endian(digest, team->numbered_flags_captured_flags, 4);
		fold_big_endian(digest, static_cast<uint16>(team->number_of_numbered_flags_captured), 2);
		fold_big_endian(digest, static_cast<uint16>(team->number_of_flags_owned), 2);
		fold_big_endian(digest, static_cast<uint16>(team->maximum_number_of_flags_owned), 2);
		fold_big_endian(digest, team->number_of_players, 1);
		fold_big_endian(digest, team->original_number_of_players, 1);
		fold_big_endian(digest, static_cast<uint16>(team->score), 2);
		fold_big_endian(digest, static_cast<uint16>(team->captain_player_index), 2);
	}
}

/* ---------- test hooks */

players_test_hooks_data *get_players_test_hooks(void)
{
	return &players_test_hooks;
}

void reset_players_test_hooks(void)
{
	players_test_hooks = {};
	players_test_hooks.team_count = NONE;
}
