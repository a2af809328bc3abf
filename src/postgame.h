// The post-game report, the lobby standings and the ranking overlay.
#ifndef POSTGAME_H
#define POSTGAME_H

#include "cseries.h"

// Codes handed to build_hollax_net_game_standings.
enum
{
	_game_ended_normally,
	_game_ended_with_server_loss,
	_game_ended_with_player_quit
};

#define SOLO_POSTGAME_STRING_LIST_TAG TAG("in03")
enum // entries of 'in03'
{
	_solo_single_survivor_header,
	_solo_multiple_survivors_header,
	_solo_survivors_unit_header,
	_solo_survivors_damage_inflicted_header,
	_solo_survivors_kills_header,
	_solo_survivors_casualties_header,
	_solo_kills_header,
	_solo_kills_unit_header,
	_solo_kills_dead_header,
	_solo_heroes_header,
	_solo_heroes_name_header,
	_solo_heroes_battles_header,
	_solo_heroes_experience_header,
	_solo_damage_ratio,
	_solo_kill_ratio,
	_solo_time_elapsed,
	_solo_name_and_type_format,
	_solo_percentile_format,
	_solo_unit_type_format,
	_solo_integer_format,
	_solo_side_by_side_integer_format,
	_solo_no_damage_taken,
	_solo_no_casualties,
	NUMBER_OF_SOLO_POSTGAME_STRINGS
};

#define MAXIMUM_NUMBER_OF_HEROES 5
#define MAXIMUM_NUMBER_OF_FRIENDLY_UNITS 5
#define MAXIMUM_NUMBER_OF_ENEMY_UNITS 5
#define MINIMUM_EXPERIENCE_PER_HERO 5

enum // encoded_postgame_report valid_table_flags
{
	_postgame_title_bit,
	_postgame_survivors_table_bit,
	_postgame_heroes_table_bit,
	_postgame_kills_table_bit,
	_postgame_damage_ratio_bit,
	_postgame_kill_ratio_bit,

	_postgame_title_flag = 1 << _postgame_title_bit,
	_postgame_survivors_table_flag = 1 << _postgame_survivors_table_bit,
	_postgame_heroes_table_flag = 1 << _postgame_heroes_table_bit,
	_postgame_kills_table_flag = 1 << _postgame_kills_table_bit,
	_postgame_damage_ratio_flag = 1 << _postgame_damage_ratio_bit,
	_postgame_kill_ratio_flag = 1 << _postgame_kill_ratio_bit
};

#define MAXIMUM_MONSTER_DEFINITIONS_PER_MAP 128
#define POSTGAME_REPORT_STRING_BUFFER_SIZE 1024

enum // monster_statistics flags
{
	_monster_statistics_friendly_bit,
	_monster_statistics_should_not_be_shown_bit,

	_monster_statistics_friendly_flag = FLAG(_monster_statistics_friendly_bit),
	_monster_statistics_should_not_be_shown_flag = FLAG(_monster_statistics_should_not_be_shown_bit)
};

// One per monster definition of the map (in memory only).
struct monster_statistics
{
	uint32 flags;
	int16 type;
	int16 kills;
	int16 casualties;
	int16 initial_count;
	int32 damage_inflicted;
	int32 initial_vitality;
	int32 current_vitality;
};
static_assert(sizeof(monster_statistics) == 24);

// 1048 bytes, read by the post-game screen.
struct encoded_postgame_report
{
	uint32 valid_table_flags;
	int16 table_row_counts[6];
	int16 string_count;
	int16 padding;
	int32 string_buffer_size;
	char strings[POSTGAME_REPORT_STRING_BUFFER_SIZE];
};
static_assert(sizeof(encoded_postgame_report) == 1048);

// 12 bytes per team of the lobby standings.
struct hollax_net_game_standings_team
{
	int16 place; // NONE when unranked
	int16 captain_player_index;
	int16 present;
	int16 eliminated;
	int32 game_time_at_elimination;
};
static_assert(sizeof(hollax_net_game_standings_team) == 12);

struct hollax_net_game_standings_player
{
	int16 team_index;
	int16 player_finished_game_flag;
	int32 time_played;
	int32 units_killed;
	int32 units_lost;
	int32 points_killed;
	int32 points_lost;
	int32 hollax_net_player_id;
};
static_assert(sizeof(hollax_net_game_standings_player) == 28);

// 664 bytes, handed to the lobby client in memory order.
struct hollax_net_game_standings
{
	int16 game_ended_code;
	int16 game_scoring;
	int32 game_version;
	int32 time_limit;
	int32 actual_time_elapsed;
	int32 hollax_net_player_id;
	int16 number_of_players;
	int16 number_of_teams;
	hollax_net_game_standings_team teams[16];
	hollax_net_game_standings_player players[16];
};
static_assert(sizeof(hollax_net_game_standings) == 664);
static_assert(offsetof(hollax_net_game_standings, players) == 216);

void gather_monster_statistics(monster_statistics *statistics, boolean friendly_statistics);
void encode_postgame_report(void);
const encoded_postgame_report *get_encoded_postgame_report(void);
// The string at *offset ("" outside the buffer); the offset moves past it
// while it stays below the buffer's end.
const char *get_next_encoded_postgame_report_string(const encoded_postgame_report *report, int32 *offset);
void build_hollax_net_game_standings(int16 game_ended_code);
const hollax_net_game_standings *get_hollax_net_game_standings(void);
// At each map start: the permanent rankings follow the new player order,
// matched by identity.
void adjust_permanent_player_rankings(void);

#endif
