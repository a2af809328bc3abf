// Scoring is not kept yet: the calls are counted so the game core's use of
// them can be checked.
#include "game_statistics.h"
#include "render/render.h"

static game_statistics_test_hooks_data game_statistics_test_hooks;

void initialize_player_statistics(void)
{
	game_statistics_test_hooks.initialize_count += 1;
	register_postrasterization_effect(1, rasterize_rankings);
}

// The rankings are not drawn yet.
void rasterize_rankings(view_data *view)
{
	(void)view;
}

void initialize_player_statistics_for_new_map(void)
{
	game_statistics_test_hooks.initialize_for_new_map_count += 1;
}

void dispose_player_statistics_from_old_map(void)
{
	game_statistics_test_hooks.dispose_count += 1;
}

void eliminate_team(int16 team_index)
{
	game_statistics_test_hooks.eliminate_team_count += 1;
	game_statistics_test_hooks.last_eliminated_team = team_index;
}

void update_player_statistics(void)
{
	game_statistics_test_hooks.update_count += 1;
}

void reset_permanent_player_rankings(void)
{
	game_statistics_test_hooks.reset_permanent_rankings_count += 1;
}

void finalize_winning_team(void)
{
	game_statistics_test_hooks.finalize_winning_team_count += 1;
}

game_statistics_test_hooks_data *get_game_statistics_test_hooks(void)
{
	return &game_statistics_test_hooks;
}

void reset_game_statistics_test_hooks(void)
{
	game_statistics_test_hooks = {};
}

void adjust_unit_statistics(int16 unit_type, int16 delta_count, int32 delta_vitality)
{
	least_call(&game_statistics_test_hooks.calls, "adjust_unit_statistics", unit_type, delta_count, delta_vitality);
}

void adjust_damage_statistics(int16 aggressor_unit_type, int16 target_unit_type, int32 damage, boolean died,
	boolean netgame_target, boolean ambient_life, boolean adjust_damage, int16 owner_player_index)
{
	least_call(&game_statistics_test_hooks.calls, "adjust_damage_statistics", aggressor_unit_type, target_unit_type,
		damage, died, netgame_target, ambient_life, adjust_damage, owner_player_index);
}
