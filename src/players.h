// Players and teams: the per-map player and team records made from a game
// setup's player list, and the setup's per-player records exchanged before a
// game and stored in films.
#ifndef PLAYERS_H
#define PLAYERS_H

#include "cseries.h"
#include "byte_swapping.h"

#include "bitmaps.h"
#include "data.h"

#define MAXIMUM_PLAYERS_PER_MAP 16
#define MAXIMUM_TEAMS_PER_MAP 16
#define MAXIMUM_PLAYER_NAME_LENGTH 31

#define MINIMUM_ARBITRATION_COLOR_PROXIMITY 16128
#define REPLACEMENT_COLOR_INDEX_SEED 46
#define NUMBER_OF_REPLACEMENT_COLORS 20
#define MAXIMUM_COLOR_REPLACEMENT_TRIES 20
#define PROHIBITED_TEAM_ACTION_PROC TAG("prta")

enum
{
	_player_is_human,
	_player_is_computer
};

enum
{
	_light_team_index = 0,
	_dark_team_index = 1
};

enum
{
	_player_uses_appearance_colors_bit = 0,
	_player_is_from_hollax_bit = 1,
	_player_has_been_dropped_bit = 2,
	_player_has_been_sorted_bit = 3,
	_player_has_invalid_captain_bit = 5,
	_player_is_observer_bit = 6,
	NUMBER_OF_PLAYER_FLAGS = 7,

	_player_uses_appearance_colors_flag = 1 << _player_uses_appearance_colors_bit,
	_player_is_from_hollax_flag = 1 << _player_is_from_hollax_bit,
	_player_has_been_dropped_flag = 1 << _player_has_been_dropped_bit,
	_player_has_been_sorted_flag = 1 << _player_has_been_sorted_bit,
	_player_has_invalid_captain_flag = 1 << _player_has_invalid_captain_bit,
	_player_is_observer_flag = 1 << _player_is_observer_bit
};

enum
{
	_team_has_been_eliminated_bit = 0,
	_team_is_about_to_win_bit = 1,
	_team_has_already_traded_units_bit = 2,
	NUMBER_OF_TEAM_FLAGS = 3,

	_team_has_been_eliminated_flag = 1 << _team_has_been_eliminated_bit,
	_team_is_about_to_win_flag = 1 << _team_is_about_to_win_bit,
	_team_has_already_traded_units_flag = 1 << _team_has_already_traded_units_bit
};

// 84 bytes, big-endian when stored or sent.
struct player_appearance_data
{
	int16 coat_of_arms_bitmap_index;
	int16 caste_bitmap_index;
	char name[MAXIMUM_PLAYER_NAME_LENGTH + 1];
	char team_name[MAXIMUM_PLAYER_NAME_LENGTH + 1];
	rgb_color primary_color;
	rgb_color secondary_color;
};
STORED_SIZE(player_appearance_data, 84);

// 124 bytes, big-endian when stored or sent.
struct new_player_data
{
	int16 team_index; // NONE for any
	int16 type;
	uint16 flags;
	int16 order;
	uint32 team_captain_identifier; // NONE without a captain
	uint32 unique_identifier;
	boolean agreed_to_play;
	boolean team_is_locked;
	uint32 metaserver_player_id;
	uint8 metaserver_player;
	uint8 persistent_ready;
	int16 version;
	int16 build_number;
	uint8 unused2[6];
	player_appearance_data appearance;
};
STORED_SIZE(new_player_data, 124);

// A record of the "player" array.
struct player_data
{
	int16 identifier;
	uint16 flags;
	int16 team_index; // NONE without a team
	int16 original_team_index;
	int16 type;
	uint32 unique_identifier;
	int32 game_time_at_drop;
	player_appearance_data appearance;
};
STORED_SIZE(player_data, 104);

// A record of the "team" array; the scoring fields belong to the rankings.
struct team_data
{
	int16 identifier;
	uint16 flags;
	int32 game_time_at_elimination; // NONE until eliminated
	int32 game_time_of_possession;
	int32 game_time_at_last_capture; // NONE at start
	int32 game_time_at_last_score;
	int32 game_time_at_maximum_flags_owned;
	int32 last_game_time_at_maximum_flags_owned;
	uint32 numbered_flags_captured_flags;
	int16 number_of_numbered_flags_captured;
	int16 number_of_flags_owned;
	int16 maximum_number_of_flags_owned;
	uint8 number_of_players;
	uint8 original_number_of_players;
	int16 score;
	int16 captain_player_index; // NONE without players
};
STORED_SIZE(team_data, 44);

extern datum_globals player_array; // "player"
extern datum_globals team_array;   // "team"

// The module's values for the running map.
struct player_globals_data
{
	int16 local_player_index;      // NONE without a local player in play
	int16 local_player_team_index; // NONE without a local player or team
	boolean local_player_is_team_captain;
	int16 actual_number_of_teams; // teams with at least one player
};
extern player_globals_data player_globals;

extern const rgb_color replacement_colors[NUMBER_OF_REPLACEMENT_COLORS];
extern const byte_swap_code player_appearance_byte_swapping_data[];

/* ---------- life cycle */

void initialize_players(void);
// May reorder and change the caller's players (captains, order).
void initialize_players_for_new_map(int16 player_count, new_player_data *players, int16 local_index);
void dispose_players_from_old_map(void);
void ressurect_players_from_old_map(void);

/* ---------- players and teams */

// The records in use, else NULL.
player_data *get_player_data(int16 player_index);
team_data *get_team_data(int16 team_index);
// One more than the highest record in use; 0 outside a map.
int16 get_player_count(void);
int16 get_team_count(void);

void delete_player(int16 player_index);
// NONE when no player has this identity.
int16 player_identifier_to_player_index(uint32 unique_identifier);
// Once per team: the flag and the announcement.
void team_is_about_to_win(int16 team_index);

/* ---------- setup records */

// Higher caste first, then lower unique identifier.
int compare_new_player_data(const void *a, const void *b);
// Captains followed by their players; with orphans_become_captains a player
// whose captain is absent leads its own group.
void sort_new_player_data(new_player_data *players, int16 count, boolean orphans_become_captains);
// Makes the colours of leaders and of each group distinct, then gives
// followers their captain's colour.
void arbitrate_player_appearances(new_player_data *players, int16 count);

// Each converts between memory and stored order; applying one twice restores
// the record.
void byte_swap_new_player_data(new_player_data *player);
void byte_swap_player_appearance(player_appearance_data *appearance);

/* ---------- determinism checks */

struct zerv_digest;
// The player records and the number of teams; the team records.
void players_fold_digest(zerv_digest *digest);
void teams_fold_digest(zerv_digest *digest);

/* ---------- test hooks */

struct players_test_hooks_data
{
	// NONE: the map's palette gives the number of teams; otherwise this many.
	int16 team_count;
};

players_test_hooks_data *get_players_test_hooks(void);
void reset_players_test_hooks(void);

#endif
