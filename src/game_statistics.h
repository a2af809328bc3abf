// Scoring, rankings and game statistics: per-unit-type counts, per-player
// damage and kill samples, the rankings re-computed every few ticks, the end
// conditions of each scoring type and the rankings carried from game to game.
#ifndef GAME_STATISTICS_H
#define GAME_STATISTICS_H

#include "cseries.h"
#include "least_layer.h"
#include "players.h"
#include "postgame.h"

enum
{
	_game_scoring_attrition,
	_game_scoring_grab_the_ball,
	_game_scoring_last_man_on_the_hill,
	_game_scoring_scavenger_hunt,
	_game_scoring_flag_rally,
	_game_scoring_capture_the_flag,
	_game_scoring_ball_hoard,
	_game_scoring_territories,
	_game_scoring_captures,
	_game_scoring_king_of_the_hill,
	_game_scoring_cattle_drive,
	_game_scoring_assassination,
	_game_scoring_hunting,
	_game_scoring_custom,
	_game_scoring_king_of_the_hill_qel,
	NUMBER_OF_GAME_SCORING_TYPES
};

#define INITIAL_TICKS_PER_SAMPLE 300
#define MAXIMUM_NUMBER_OF_SAMPLES 20
#define RERANKING_PERIOD 15
#define MAXIMUM_UNIT_DEFINITIONS_PER_MAP 512
#define NETGAME_NAMES_STRING_LIST_TAG TAG("innn")
#define NETGAME_ENDINGS_STRING_LIST_TAG TAG("inne")
#define NETGAME_RULES_STRING_LIST_TAG TAG("innr")

/* ---------- records (in memory only) */

struct player_statistics
{
	int32 damage_against[MAXIMUM_PLAYERS_PER_MAP]; // cost-weighted damage done to each player
	int32 kills_against[MAXIMUM_PLAYERS_PER_MAP];
	int32 score;
};

struct statistics_sample
{
	player_statistics players[MAXIMUM_PLAYERS_PER_MAP];
	player_statistics unattributed; // damage without a responsible player
	int32 lead_changes;
};

struct unit_statistics
{
	int32 initial_count;
	int32 initial_vitality;
	int32 current_count;
	int32 current_vitality;
	int32 current_count_for_elimination_logic;
	int32 kills;
	int32 damage;
};

struct player_ranking_data
{
	int16 player_index;
	int32 casualty_count;
	int32 casualty_cost;
	int32 extant_unit_count;
	int32 extant_cost;
	int32 total_kill_count;
	int32 total_damage;
	int32 score;
};

struct team_ranking_data
{
	int16 team_index;
	int16 place; // 0 = first; equal scores share a place
	int32 casualty_count;
	int32 casualty_cost;
	int32 extant_unit_count;
	int32 extant_cost;
	int32 total_kill_count;
	int32 total_damage;
	int32 score;
};

struct permanent_player_ranking_data
{
	int16 player_index;
	int16 unique_identifier; // the low 16 bits of the player's identity
	fixed score;
	int32 casualty_count;
	int32 total_kill_count;
	int32 total_damage;
	int16 standings[3]; // times placed first, second, third
};

struct statistics_globals_data
{
	boolean initialized;
	boolean permanent_rankings_recorded;
	// 32 bits: doubling from 300 a 16-bit count overflows after about 3.6 hours.
	int32 ticks_per_sample;
	int32 ticks_this_sample;
	int16 number_of_samples;
	int16 ticks_until_reranking; // NONE until the first re-ranking
	uint16 ranking_sequence;
	int16 netgame_names_string_list_index;
	int16 netgame_endings_string_list_index;
	int16 netgame_rules_string_list_index;
	boolean netgame_targets_found_flag;
	statistics_sample samples[MAXIMUM_NUMBER_OF_SAMPLES];
	statistics_sample sum;
	struct unit_statistics unit_statistics[MAXIMUM_UNIT_DEFINITIONS_PER_MAP];
	player_ranking_data player_rankings[MAXIMUM_PLAYERS_PER_MAP];
	team_ranking_data team_rankings[MAXIMUM_TEAMS_PER_MAP];
	int16 permanent_player_ranking_count;
	permanent_player_ranking_data permanent_player_rankings[MAXIMUM_PLAYERS_PER_MAP];
	encoded_postgame_report postgame_report;
	struct hollax_net_game_standings hollax_net_game_standings;
};

// NULL before initialize_player_statistics.
extern statistics_globals_data *statistics_globals;

/* ---------- life cycle */

void initialize_player_statistics(void);
struct view_data;
void rasterize_rankings(view_data *view);
void initialize_player_statistics_for_new_map(void);
void ressurect_player_statistics_from_old_map(void);
void dispose_player_statistics_from_old_map(void);
// Once per tick.
void update_player_statistics(void);
// Re-ranks the teams at once.
void force_player_statistics_update(void);
void reset_permanent_player_rankings(void);
void finalize_winning_team(void);

/* ---------- what the units and flags report */

void adjust_damage_statistics(int16 aggressor_unit_type, int16 target_unit_type, int32 damage, boolean died,
	boolean netgame_target, boolean ambient_life, boolean adjust_damage, int16 owner_player_index);
void adjust_player_score(int16 player_index, int32 delta_score);
void adjust_unit_statistics(int16 unit_type, int32 delta_count, int32 delta_vitality);
void adjust_unit_statistics_for_elimination(int16 unit_type, int32 delta_count, int32 delta_vitality);
void score_points(int16 team_index, int32 point_delta);
void eliminate_team(int16 team_index);
void mark_extant_units_as_eliminated(int16 team_index);

/* ---------- reading the statistics */

// Sorted; one entry per team (player) of the map.
team_ranking_data *get_team_rankings(void);
player_ranking_data *get_player_rankings(void);
// One per unit type; NULL outside 0..511.
unit_statistics *get_unit_statistics(int16 unit_type);
permanent_player_ranking_data *get_permanent_player_rankings(int16 *count);
uint16 get_ranking_sequence(void);
// The samples, oldest first, with their count, length and the ticks of the newest.
statistics_sample *get_player_statistics_sample_range(int16 *number_of_samples, int32 *ticks_per_sample,
	int32 *ticks_this_sample);
// The sum of samples first..first + count - 1 (clamped to those in use).
void sum_player_statistics_sample_range(int16 first, int16 count, statistics_sample *result);
void zero_sample(statistics_sample *sample);
void add_samples(const statistics_sample *a, const statistics_sample *b, statistics_sample *result);

// "" for a scoring outside the types.
const char *get_game_scoring_string(int16 scoring);
const char *get_game_rules_string(int16 scoring);

/* ---------- comparators (qsort order) */

int compare_team_scores(const void *a, const void *b);
int compare_player_scores(const void *a, const void *b);
int compare_permanent_player_scores(const void *a, const void *b);
int sort_monster_statistics_by_kills(const void *a, const void *b);
int sort_monster_statistics_by_casualties(const void *a, const void *b);

/* ---------- determinism checks */

struct zerv_digest;
void player_statistics_fold_digest(zerv_digest *digest);

/* ---------- unit types as the statistics see them */

// Until the unit record answers, tests describe the map's unit types here:
// owner player (NONE: none), monster cost and class, per unit type.
struct statistics_unit_type_data
{
	int16 owner_player_index;
	int16 monster_class;
	int32 cost;
	int32 maximum_vitality;
};

struct game_statistics_test_hooks_data
{
	int16 unit_type_count; // types described below; the others have no owner
	statistics_unit_type_data unit_types[64];
	// Units the hunting and assassination rules count, until units exist.
	int16 hunted_left;
	int16 targets_left_per_team[MAXIMUM_TEAMS_PER_MAP]; // NONE entries count nothing
	// The unit and damage statistics calls with their arguments.
	least_call_log calls;
};

game_statistics_test_hooks_data *get_game_statistics_test_hooks(void);
void reset_game_statistics_test_hooks(void);

#endif
