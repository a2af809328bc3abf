#include "players.h"

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
