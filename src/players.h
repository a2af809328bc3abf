// Players and teams: the setup's per-player records exchanged before a game
// and stored in films.
#ifndef PLAYERS_H
#define PLAYERS_H

#include "cseries.h"
#include "byte_swapping.h"

#include "bitmaps.h"

#define MAXIMUM_PLAYERS_PER_MAP 16
#define MAXIMUM_TEAMS_PER_MAP 16
#define MAXIMUM_PLAYER_NAME_LENGTH 31

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

extern const byte_swap_code player_appearance_byte_swapping_data[];

// Each converts between memory and stored order; applying one twice restores
// the record.
void byte_swap_new_player_data(new_player_data *player);
void byte_swap_player_appearance(player_appearance_data *appearance);

#endif
