// Scoring, rankings and game statistics.
#ifndef GAME_STATISTICS_H
#define GAME_STATISTICS_H

#include "cseries.h"
#include "least_layer.h"

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

void initialize_player_statistics(void);
struct view_data;
void rasterize_rankings(view_data *view);
void initialize_player_statistics_for_new_map(void);
void dispose_player_statistics_from_old_map(void);
void update_player_statistics(void);
void reset_permanent_player_rankings(void);
void finalize_winning_team(void);

// One per team.
struct team_ranking_data
{
	int16 team_index;
	int16 place; // 0 = first
	int32 score;
};

// Unit counts and vitality per unit type, and damage and kills between unit types.
void adjust_unit_statistics(int16 unit_type, int16 delta_count, int32 delta_vitality);
void adjust_damage_statistics(int16 aggressor_unit_type, int16 target_unit_type, int32 damage, boolean died,
	boolean netgame_target, boolean ambient_life, boolean adjust_damage, int16 owner_player_index);

// Re-ranks the teams at once.
void force_player_statistics_update(void);
// The ranking table, one entry per team of the map.
team_ranking_data *get_team_rankings(void);
void new_goal(int16 team_index, int16 point_count, const struct world_point2d *points);

// Test hooks of the goals and rankings: calls made and the last goal's team.
struct scoring_test_hooks_data
{
	int32 force_update_count;
	int32 goal_count;
	int16 last_goal_team;
	int16 last_goal_point_count;
};
scoring_test_hooks_data *get_scoring_test_hooks(void);
void reset_scoring_test_hooks(void);

// Test hooks: calls made into the module.
struct game_statistics_test_hooks_data
{
	int32 initialize_count;
	int32 initialize_for_new_map_count;
	int32 dispose_count;
	int32 update_count;
	int32 reset_permanent_rankings_count;
	int32 finalize_winning_team_count;
	int32 eliminate_team_count;
	int16 last_eliminated_team;
	// The unit and damage statistics calls with their arguments.
	least_call_log calls;
};

// A team whose last player left is out of the game.
void eliminate_team(int16 team_index);

game_statistics_test_hooks_data *get_game_statistics_test_hooks(void);
void reset_game_statistics_test_hooks(void);

#endif
