#include "game_statistics.h"

#include <cstring>

#include "alliances.h"
#include "bitmap_dialogs/screens.h"
#include "console/console.h"
#include "definitions.h"
#include "error_manager.h"
#include "flags.h"
#include "game_preferences.h"
#include "main.h"
#include "mesh.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "object_definitions.h"
#include "unit_definitions.h"
#include "observer.h"
#include "quicksort.h"
#include "render/render.h"
#include "string_definitions.h"
#include "tag_files/tag_files.h"
#include "zerv.h"

statistics_globals_data *statistics_globals = nullptr;

// A human player had a team when the map started: only then does the game end
// once no human is left (the all-computer demo runs to its end).
static boolean humans_had_teams_at_start = FALSE;

static game_statistics_test_hooks_data default_game_statistics_test_hooks(void)
{
	game_statistics_test_hooks_data hooks;
	memset(&hooks, 0, sizeof(hooks));
	for (int16 &count : hooks.targets_left_per_team) count = NONE;
	return hooks;
}

static game_statistics_test_hooks_data game_statistics_test_hooks = default_game_statistics_test_hooks();

#define CAMERA_TRACKING_STRING_LIST_TAG TAG("inct")
#define CAMERA_TRACKING_POPUP_TICKS 15

/* ---------- small helpers */

static bool game_is_over(void)
{
	return game && game_flags_test(_game_is_over_flag);
}

static bool game_has_option(uint32 flag)
{
	return game && (game->option_flags & flag);
}

static int16 team_count(void)
{
	return MIN(get_team_count(), static_cast<int16>(MAXIMUM_TEAMS_PER_MAP));
}

static int16 player_count(void)
{
	return MIN(get_player_count(), static_cast<int16>(MAXIMUM_PLAYERS_PER_MAP));
}

static bool team_index_is_valid(int16 team_index)
{
	return team_index >= 0 && team_index < team_count() && get_team_data(team_index);
}

static int16 saturate_int16(int32 value)
{
	return static_cast<int16>(PIN(value, static_cast<int32>(INT16_MIN), static_cast<int32>(INT16_MAX)));
}

static int32 saturate_int32(int64 value)
{
	return static_cast<int32>(PIN(value, static_cast<int64>(INT32_MIN), static_cast<int64>(INT32_MAX)));
}

static int16 player_team_index(int16 player_index)
{
	const player_data *player = get_player_data(player_index);
	return player ? player->team_index : static_cast<int16>(NONE);
}

/* ---------- unit types */

// A unit type's owner, its kind's cost and class and its object's vitality.
// Types the test hooks describe answer from there (units are not made yet).
static bool get_unit_type_data(int16 unit_type, statistics_unit_type_data *data)
{
	data->owner_player_index = NONE;
	data->monster_class = NONE;
	data->cost = 0;
	data->maximum_vitality = 0;
	if (unit_type < 0 || unit_type >= MAXIMUM_UNIT_DEFINITIONS_PER_MAP) return false;
	if (unit_type < game_statistics_test_hooks.unit_type_count &&
		unit_type < static_cast<int16>(NUMBEROF(game_statistics_test_hooks.unit_types)))
	{
		*data = game_statistics_test_hooks.unit_types[unit_type];
		return true;
	}
	const unit_definition *unit = get_unit_definition(unit_type);
	const monster_definition *monster = unit ? get_monster_definition(unit->monster_type) : nullptr;
	if (!monster) return true;
	data->owner_player_index = unit->player_index;
	data->monster_class = monster->monster_class;
	data->cost = monster->cost;
	const object_definition *object = get_object_definition(monster->object_type);
	data->maximum_vitality = object ? object->maximum_vitality : 0;
	return true;
}

// The unit types of the map: those loaded, or those the test hooks describe.
static int16 map_unit_type_count(void)
{
	const definition_globals *definitions = get_unit_definitions();
	const int16 loaded = definitions ? definitions->count : static_cast<int16>(0);
	return PIN(MAX(loaded, game_statistics_test_hooks.unit_type_count), static_cast<int16>(0),
		static_cast<int16>(MAXIMUM_UNIT_DEFINITIONS_PER_MAP));
}

// Units counted by the hunting, cattle-drive and assassination rules: those in
// use that have not left the mesh without having celebrated.
static void count_netgame_units(int32 *hunted_left, int32 *targets_left, int32 *team_targets)
{
	*hunted_left = MAX(0, static_cast<int32>(game_statistics_test_hooks.hunted_left));
	*targets_left = 0;
	for (int16 t = 0; t < MAXIMUM_TEAMS_PER_MAP; ++t)
	{
		team_targets[t] = 0;
		const int16 count = game_statistics_test_hooks.targets_left_per_team[t];
		if (count < 0 || t >= team_count()) continue;
		statistics_globals->netgame_targets_found_flag = TRUE;
		team_targets[t] = count;
		*targets_left += count;
	}
	for (int16 i = 0; i < MAX(monster_array.count, static_cast<int16>(0)); ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (!monster) continue;
		if ((monster->flags & _monster_has_left_the_mesh_flag) && !(monster->flags & _monster_has_celebrated_flag)) continue;
		if (monster->extra_flags & _monster_is_hunted_creature_extra_flag) *hunted_left += 1;
		const int16 team = monster->owner_team_index;
		if ((monster->extra_flags & _monster_is_netgame_target_extra_flag) && team >= 0 && team < MAXIMUM_TEAMS_PER_MAP)
		{
			statistics_globals->netgame_targets_found_flag = TRUE;
			*targets_left += 1;
			team_targets[team] += 1;
		}
	}
}

/* ---------- samples */

void zero_sample(statistics_sample *sample)
{
	memset(sample, 0, sizeof(*sample));
}

static void add_player_statistics(const player_statistics *a, const player_statistics *b, player_statistics *result)
{
	for (int16 i = 0; i < MAXIMUM_PLAYERS_PER_MAP; ++i)
	{
		result->damage_against[i] = a->damage_against[i] + b->damage_against[i];
		result->kills_against[i] = a->kills_against[i] + b->kills_against[i];
	}
	result->score = a->score + b->score;
}

void add_samples(const statistics_sample *a, const statistics_sample *b, statistics_sample *result)
{
	for (int16 p = 0; p < MAXIMUM_PLAYERS_PER_MAP; ++p) add_player_statistics(&a->players[p], &b->players[p], &result->players[p]);
	add_player_statistics(&a->unattributed, &b->unattributed, &result->unattributed);
	result->lead_changes = a->lead_changes + b->lead_changes;
}

statistics_sample *get_player_statistics_sample_range(int16 *number_of_samples, int32 *ticks_per_sample,
	int32 *ticks_this_sample)
{
	if (!statistics_globals) return nullptr;
	if (number_of_samples) *number_of_samples = statistics_globals->number_of_samples;
	if (ticks_per_sample) *ticks_per_sample = statistics_globals->ticks_per_sample;
	if (ticks_this_sample) *ticks_this_sample = statistics_globals->ticks_this_sample;
	return statistics_globals->samples;
}

void sum_player_statistics_sample_range(int16 first, int16 count, statistics_sample *result)
{
	zero_sample(result);
	if (!statistics_globals) return;
	const int16 start = MAX(first, static_cast<int16>(0));
	const int16 end = static_cast<int16>(MIN(static_cast<int32>(first) + count, static_cast<int32>(statistics_globals->number_of_samples)));
	for (int16 i = start; i < end; ++i) add_samples(result, &statistics_globals->samples[i], result);
}

static statistics_sample *current_sample(void)
{
	return &statistics_globals->samples[PIN(statistics_globals->number_of_samples - 1, 0, MAXIMUM_NUMBER_OF_SAMPLES - 1)];
}

/* ---------- life cycle */

void initialize_player_statistics(void)
{
	if (!statistics_globals)
	{
		statistics_globals = static_cast<statistics_globals_data *>(new_pointer_z(sizeof(statistics_globals_data)));
		if (!statistics_globals)
		{
			error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate the game statistics");
			return;
		}
	}
	memset(statistics_globals, 0, sizeof(*statistics_globals));
	statistics_globals->ticks_until_reranking = NONE;
	statistics_globals->netgame_names_string_list_index = NONE;
	statistics_globals->netgame_endings_string_list_index = NONE;
	statistics_globals->netgame_rules_string_list_index = NONE;
	humans_had_teams_at_start = FALSE;
	register_postrasterization_effect(1, rasterize_rankings);
}

// The lists are optional: a missing one leaves its names empty without a report.
static int16 optional_string_list_index(file_tag tag)
{
	if (!tag_file_exists(STRING_LIST_DEFINITION_GROUP_TAG, tag)) return NONE;
	return string_list_tag_to_string_index(tag);
}

void initialize_player_statistics_for_new_map(void)
{
	if (!statistics_globals) return;
	statistics_globals_data *g = statistics_globals;
	g->initialized = TRUE;
	g->ticks_per_sample = INITIAL_TICKS_PER_SAMPLE;
	g->ticks_this_sample = 0;
	g->number_of_samples = 1;
	memset(g->samples, 0, sizeof(g->samples));
	zero_sample(&g->sum);
	memset(g->unit_statistics, 0, sizeof(g->unit_statistics));
	memset(g->player_rankings, 0, sizeof(g->player_rankings));
	memset(g->team_rankings, 0, sizeof(g->team_rankings));
	g->netgame_targets_found_flag = FALSE;
	g->ticks_until_reranking = NONE;
	g->ranking_sequence = 0;
	g->netgame_names_string_list_index = optional_string_list_index(NETGAME_NAMES_STRING_LIST_TAG);
	g->netgame_endings_string_list_index = optional_string_list_index(NETGAME_ENDINGS_STRING_LIST_TAG);
	g->netgame_rules_string_list_index = optional_string_list_index(NETGAME_RULES_STRING_LIST_TAG);
	adjust_permanent_player_rankings();
	g->permanent_rankings_recorded = FALSE;
	memset(&g->hollax_net_game_standings, 0, sizeof(g->hollax_net_game_standings));

	humans_had_teams_at_start = FALSE;
	for (int16 p = 0; p < player_count(); ++p)
	{
		const player_data *player = get_player_data(p);
		if (player && player->type == _player_is_human && player->team_index != NONE) humans_had_teams_at_start = TRUE;
	}
}

void ressurect_player_statistics_from_old_map(void)
{
	if (statistics_globals) statistics_globals->initialized = TRUE;
}

void dispose_player_statistics_from_old_map(void)
{
	if (statistics_globals) statistics_globals->initialized = FALSE;
}

void reset_permanent_player_rankings(void)
{
	if (statistics_globals) statistics_globals->permanent_player_ranking_count = 0;
}

/* ---------- comparators */

static int32 compare_larger_first(int64 a, int64 b)
{
	return a > b ? -1 : a < b ? 1 : 0;
}

int compare_team_scores(const void *a, const void *b)
{
	const team_ranking_data *ra = static_cast<const team_ranking_data *>(a);
	const team_ranking_data *rb = static_cast<const team_ranking_data *>(b);
	if (game && game->winning_team_index != NONE && ra->team_index != rb->team_index)
	{
		if (ra->team_index == game->winning_team_index) return -1;
		if (rb->team_index == game->winning_team_index) return 1;
	}
	const team_data *ta = get_team_data(ra->team_index);
	const team_data *tb = get_team_data(rb->team_index);
	const bool a_empty = !ta || ta->original_number_of_players == 0;
	const bool b_empty = !tb || tb->original_number_of_players == 0;
	if (a_empty || b_empty) return a_empty == b_empty ? 0 : a_empty ? 1 : -1;
	if (ra->score != rb->score) return compare_larger_first(ra->score, rb->score);

	switch (game ? game->scoring : NONE)
	{
	case _game_scoring_attrition:
	case _game_scoring_hunting:
		return -compare_larger_first(ta->game_time_at_maximum_flags_owned, tb->game_time_at_maximum_flags_owned);
	case _game_scoring_grab_the_ball:
	case _game_scoring_last_man_on_the_hill:
		return compare_larger_first(ta->game_time_at_last_capture, tb->game_time_at_last_capture);
	case _game_scoring_scavenger_hunt:
	case _game_scoring_flag_rally:
		return -compare_larger_first(ta->game_time_at_last_capture, tb->game_time_at_last_capture);
	case _game_scoring_territories:
	case _game_scoring_captures:
		if (ta->maximum_number_of_flags_owned != tb->maximum_number_of_flags_owned)
		{
			return compare_larger_first(ta->maximum_number_of_flags_owned, tb->maximum_number_of_flags_owned);
		}
		if (ta->last_game_time_at_maximum_flags_owned != tb->last_game_time_at_maximum_flags_owned)
		{
			return compare_larger_first(ta->last_game_time_at_maximum_flags_owned, tb->last_game_time_at_maximum_flags_owned);
		}
		return -compare_larger_first(ta->game_time_at_maximum_flags_owned, tb->game_time_at_maximum_flags_owned);
	case _game_scoring_cattle_drive:
	case _game_scoring_assassination:
		return -compare_larger_first(ta->game_time_at_last_score, tb->game_time_at_last_score);
	default:
		return 0;
	}
}

static bool player_is_captain(const player_data *player, int16 player_index)
{
	const team_data *team = get_team_data(player->team_index);
	return team && team->captain_player_index == player_index;
}

int compare_player_scores(const void *a, const void *b)
{
	const player_ranking_data *ra = static_cast<const player_ranking_data *>(a);
	const player_ranking_data *rb = static_cast<const player_ranking_data *>(b);
	const player_data *pa = get_player_data(ra->player_index);
	const player_data *pb = get_player_data(rb->player_index);
	const bool a_teamless = !pa || pa->team_index == NONE;
	const bool b_teamless = !pb || pb->team_index == NONE;
	if (a_teamless || b_teamless) return a_teamless == b_teamless ? 0 : a_teamless ? 1 : -1;
	const bool a_captain = player_is_captain(pa, ra->player_index);
	const bool b_captain = player_is_captain(pb, rb->player_index);
	if (a_captain != b_captain) return a_captain ? -1 : 1;
	if (ra->total_kill_count != rb->total_kill_count) return compare_larger_first(ra->total_kill_count, rb->total_kill_count);
	return compare_larger_first(ra->total_damage, rb->total_damage);
}

int compare_permanent_player_scores(const void *a, const void *b)
{
	return compare_larger_first(static_cast<const permanent_player_ranking_data *>(a)->score,
		static_cast<const permanent_player_ranking_data *>(b)->score);
}

int sort_monster_statistics_by_kills(const void *a, const void *b)
{
	return compare_larger_first(static_cast<const monster_statistics *>(a)->damage_inflicted,
		static_cast<const monster_statistics *>(b)->damage_inflicted);
}

int sort_monster_statistics_by_casualties(const void *a, const void *b)
{
	return compare_larger_first(static_cast<const monster_statistics *>(a)->casualties,
		static_cast<const monster_statistics *>(b)->casualties);
}

/* ---------- teams */

void score_points(int16 team_index, int32 point_delta)
{
	if (!team_index_is_valid(team_index)) return;
	team_data *team = get_team_data(team_index);
	team->score = saturate_int16(static_cast<int32>(team->score) + point_delta);
	if (point_delta > 0 && game) team->game_time_at_last_score = game->game_time;
}

void eliminate_team(int16 team_index)
{
	if (game_is_over() || !team_index_is_valid(team_index)) return;
	team_data *team = get_team_data(team_index);
	if ((team->flags & _team_has_been_eliminated_flag) || team->number_of_players == 0) return;
	team->flags |= _team_has_been_eliminated_flag;
	queue_game_sound(team->number_of_players == 1 ? _game_sound_player_eliminated : _game_sound_team_eliminated);
	eliminate_units_of_losing_team(team_index);
	if (team_index == player_globals.local_player_team_index)
	{
		if (game && game->type == _game_type_networked &&
			(get_game_preferences()->flags & _game_pref_enabled_camera_tracking_by_default_flag))
		{
			set_camera_control_flags(get_camera_control_flags() | _camera_controlled_by_object_tracking_flag);
			const int16 list = optional_string_list_index(CAMERA_TRACKING_STRING_LIST_TAG);
			set_console_popup(get_string_from_list(list, 0), get_string_from_list(list, 1), CAMERA_TRACKING_POPUP_TICKS);
		}
		clear_limited_visibility_if_applicable();
	}
}

void mark_extant_units_as_eliminated(int16 team_index)
{
	if (!statistics_globals || !team_index_is_valid(team_index)) return;
	for (int16 i = 0; i < team_count(); ++i)
	{
		team_ranking_data *ranking = &statistics_globals->team_rankings[i];
		if (ranking->team_index != team_index) continue;
		ranking->extant_unit_count = 0;
		ranking->extant_cost = 0;
	}
	for (int16 i = 0; i < player_count(); ++i)
	{
		player_ranking_data *ranking = &statistics_globals->player_rankings[i];
		if (player_team_index(ranking->player_index) != team_index) continue;
		ranking->extant_unit_count = 0;
		ranking->extant_cost = 0;
	}
}

void finalize_winning_team(void)
{
	if (!statistics_globals || !game || game->winning_team_index != NONE) return;
	if (statistics_globals->ticks_until_reranking < 0 || team_count() == 0) return;
	const team_ranking_data *rankings = statistics_globals->team_rankings;
	if (player_globals.actual_number_of_teams < 2)
	{
		game->winning_team_index = rankings[0].team_index;
	}
	else if (team_count() >= 2 && rankings[0].place != rankings[1].place)
	{
		game->winning_team_index = rankings[0].team_index;
	}
}

/* ---------- reported by the units */

void adjust_player_score(int16 player_index, int32 delta_score)
{
	if (!statistics_globals || game_is_over()) return;
	if (player_index != NONE && (player_index < 0 || player_index >= MAXIMUM_PLAYERS_PER_MAP)) return;
	for (statistics_sample *sample : {current_sample(), &statistics_globals->sum})
	{
		player_statistics *row = player_index == NONE ? &sample->unattributed : &sample->players[player_index];
		row->score += delta_score;
	}
}

void adjust_unit_statistics(int16 unit_type, int32 delta_count, int32 delta_vitality)
{
	least_call(&game_statistics_test_hooks.calls, "adjust_unit_statistics", unit_type, delta_count, delta_vitality);
	unit_statistics *statistics = get_unit_statistics(unit_type);
	if (!statistics) return;
	statistics->initial_count += delta_count;
	statistics->current_count += delta_count;
	statistics->current_count_for_elimination_logic += delta_count;
	statistics->initial_vitality += delta_vitality;
	statistics->current_vitality += delta_vitality;
}

void adjust_unit_statistics_for_elimination(int16 unit_type, int32 delta_count, int32 delta_vitality)
{
	(void)delta_vitality;
	unit_statistics *statistics = get_unit_statistics(unit_type);
	if (statistics) statistics->current_count_for_elimination_logic += delta_count;
}

void adjust_damage_statistics(int16 aggressor_unit_type, int16 target_unit_type, int32 damage, boolean died,
	boolean netgame_target, boolean ambient_life, boolean adjust_damage, int16 owner_player_index)
{
	least_call(&game_statistics_test_hooks.calls, "adjust_damage_statistics", aggressor_unit_type, target_unit_type,
		damage, died, netgame_target, ambient_life, adjust_damage, owner_player_index);
	if (!statistics_globals || game_is_over()) return;
	statistics_unit_type_data target_type, aggressor_type;
	if (!get_unit_type_data(target_unit_type, &target_type)) return;
	const bool aggressor_known = aggressor_unit_type != NONE;
	if (aggressor_known && !get_unit_type_data(aggressor_unit_type, &aggressor_type)) return;
	if (owner_player_index != NONE && (owner_player_index < 0 || owner_player_index >= MAXIMUM_PLAYERS_PER_MAP)) return;

	const int32 weighted = target_type.maximum_vitality == 0 ? 0 :
		saturate_int32(static_cast<int64>(target_type.cost) * (static_cast<int64>(damage) * 256 / target_type.maximum_vitality));
	const int16 aggressor_player = aggressor_known ? aggressor_type.owner_player_index : static_cast<int16>(NONE);
	const int16 target_player = target_type.owner_player_index;
	const int16 aggressor_team = player_team_index(aggressor_player);
	const int16 target_team = player_team_index(target_player);
	const bool enemies = aggressor_player == NONE || target_player == NONE || aggressor_team != target_team;
	const bool target_player_valid = target_player >= 0 && target_player < MAXIMUM_PLAYERS_PER_MAP;
	const bool aggressor_player_valid = aggressor_player == NONE ||
		(aggressor_player >= 0 && aggressor_player < MAXIMUM_PLAYERS_PER_MAP);

	if (target_player_valid && aggressor_player_valid && !ambient_life && adjust_damage)
	{
		for (statistics_sample *sample : {current_sample(), &statistics_globals->sum})
		{
			player_statistics *row = aggressor_player == NONE ? &sample->unattributed : &sample->players[aggressor_player];
			row->damage_against[target_player] += weighted;
			if (died) row->kills_against[target_player] += 1;
		}
	}

	unit_statistics *target = &statistics_globals->unit_statistics[target_unit_type];
	if (aggressor_known && enemies && adjust_damage && target_type.monster_class != _monster_class_ambient_life)
	{
		unit_statistics *aggressor = &statistics_globals->unit_statistics[aggressor_unit_type];
		aggressor->damage += weighted;
		target->current_vitality += weighted;
		if (!died) return;
		aggressor->kills += 1;
	}
	else
	{
		target->current_vitality += weighted;
		if (!died) return;
	}

	target->current_count -= 1;
	target->current_count_for_elimination_logic -= 1;
	if (owner_player_index == NONE) target->initial_count -= 1;

	const int16 local_player = player_globals.local_player_index;
	const bool local_player_counts = game && (game->type != _game_type_networked || player_globals.local_player_team_index != NONE);
	const bool suicide = aggressor_unit_type == target_unit_type;
	if (local_player != NONE && target_player == local_player && local_player_counts && !ambient_life &&
		owner_player_index != NONE && target_type.monster_class != _monster_class_invisible_observer &&
		(target_type.monster_class != _monster_class_ambient_life || suicide || enemies))
	{
		queue_game_sound(_game_sound_casualty);
	}

	const int16 scoring = game ? game->scoring : NONE;
	if (scoring == _game_scoring_assassination && netgame_target && !ambient_life)
	{
		const int16 victim_team = target_player != NONE ? target_team : player_team_index(owner_player_index);
		if (aggressor_team != NONE && aggressor_team == victim_team)
		{
			score_points(victim_team, -1);
		}
		else if (aggressor_team != NONE)
		{
			score_points(aggressor_team, 1);
		}
	}
	else if (scoring == _game_scoring_hunting && netgame_target && aggressor_team != NONE)
	{
		score_points(aggressor_team, 1);
	}
}

/* ---------- rankings */

static uint32 count_team_flags_options(int16 scoring)
{
	switch (scoring)
	{
	case _game_scoring_grab_the_ball:
	case _game_scoring_last_man_on_the_hill:
		return 26;
	case _game_scoring_capture_the_flag:
	case _game_scoring_ball_hoard:
		return 14;
	case _game_scoring_king_of_the_hill:
		return 10;
	case _game_scoring_cattle_drive:
		return 9;
	default:
		return 8;
	}
}

struct player_totals
{
	int32 extant_unit_count, extant_cost, elimination_count;
	int32 total_kill_count, casualty_count, casualty_cost, total_damage;
};

static void gather_player_totals(player_totals *totals)
{
	memset(totals, 0, sizeof(player_totals) * MAXIMUM_PLAYERS_PER_MAP);
	bool units_counted = false;
	const int16 unit_types = map_unit_type_count();
	for (int16 u = 0; u < unit_types && !units_counted; ++u)
	{
		units_counted = statistics_globals->unit_statistics[u].initial_count > 0;
	}
	if (!units_counted)
	{
		// A map where no unit was ever counted beats no team.
		for (int16 p = 0; p < MAXIMUM_PLAYERS_PER_MAP; ++p) totals[p].elimination_count = 1;
		return;
	}
	for (int16 u = 0; u < unit_types; ++u)
	{
		statistics_unit_type_data type;
		get_unit_type_data(u, &type);
		if (type.monster_class == _monster_class_ambient_life || type.monster_class == _monster_class_invisible_observer) continue;
		const int16 p = type.owner_player_index;
		const player_data *player = p >= 0 && p < MAXIMUM_PLAYERS_PER_MAP ? get_player_data(p) : nullptr;
		if (!player) continue;
		const unit_statistics *s = &statistics_globals->unit_statistics[u];
		player_totals *t = &totals[p];
		const team_data *team = get_team_data(player->team_index);
		if (team && !(team->flags & _team_has_been_eliminated_flag))
		{
			t->extant_unit_count += s->current_count;
			t->extant_cost += s->current_count * type.cost;
			t->elimination_count += s->current_count_for_elimination_logic;
		}
		t->total_kill_count += s->kills;
		const int32 casualties = s->initial_count - s->current_count;
		t->casualty_count += casualties;
		t->casualty_cost += casualties * type.cost;
		t->total_damage += s->damage;
	}
}

static void add_ranking_totals(team_ranking_data *team, const player_ranking_data *player)
{
	team->casualty_count += player->casualty_count;
	team->casualty_cost += player->casualty_cost;
	team->extant_unit_count += player->extant_unit_count;
	team->extant_cost += player->extant_cost;
	team->total_kill_count += player->total_kill_count;
	team->total_damage += player->total_damage;
	team->score += player->score;
}

static void update_player_rankings(void)
{
	statistics_globals_data *g = statistics_globals;
	const int16 scoring = game->scoring;
	const int32 game_time = game->game_time;
	const int16 teams = team_count(), players = player_count();
	const bool over = game_is_over();
	const bool cooperative = game_has_option(_game_option_cooperative_flag);

	player_totals totals[MAXIMUM_PLAYERS_PER_MAP];
	gather_player_totals(totals);

	int16 flag_counts[MAXIMUM_TEAMS_PER_MAP];
	const boolean flags_settled = count_team_flags(flag_counts, count_team_flags_options(scoring), RERANKING_PERIOD);

	for (int16 t = 0; t < teams; ++t)
	{
		team_ranking_data *ranking = &g->team_rankings[t];
		memset(ranking, 0, sizeof(*ranking));
		ranking->team_index = t;
		team_data *team = get_team_data(t);
		if (!team) continue;
		ranking->score = team->score;
		if (flag_counts[t] >= 1) team->game_time_of_possession += RERANKING_PERIOD;
		team->number_of_flags_owned = flag_counts[t];
		if (team->number_of_flags_owned > team->maximum_number_of_flags_owned)
		{
			team->maximum_number_of_flags_owned = team->number_of_flags_owned;
			team->game_time_at_maximum_flags_owned = game_time;
			team->last_game_time_at_maximum_flags_owned = game_time;
		}
		else if (team->number_of_flags_owned == team->maximum_number_of_flags_owned)
		{
			team->last_game_time_at_maximum_flags_owned = game_time;
		}
	}

	bool team_alive[MAXIMUM_TEAMS_PER_MAP] = {};
	int16 last_alive_team = NONE;
	const bool deathmatch_alive = game_has_option(_game_option_deathmatch_flag) && game_play_version >= 1501;
	for (int16 p = 0; p < players; ++p)
	{
		player_ranking_data *ranking = &g->player_rankings[p];
		memset(ranking, 0, sizeof(*ranking));
		ranking->player_index = p;
		const player_data *player = get_player_data(p);
		if (!player) continue;
		const player_totals *t = &totals[p];
		ranking->extant_unit_count = t->extant_unit_count;
		ranking->extant_cost = t->extant_cost;
		ranking->total_kill_count = t->total_kill_count;
		ranking->casualty_count = t->casualty_count;
		ranking->casualty_cost = t->casualty_cost;
		ranking->total_damage = t->total_damage - g->sum.players[p].damage_against[p];
		if (game_play_version < 1720) ranking->total_damage -= g->sum.unattributed.damage_against[p];
		ranking->score = g->sum.players[p].score;

		const int16 original = player->original_team_index;
		if ((player->team_index != NONE || original != NONE) && original >= 0 && original < teams)
		{
			add_ranking_totals(&g->team_rankings[original], ranking);
		}
		if (player->team_index != NONE && original >= 0 && original < teams)
		{
			const team_data *team = get_team_data(original);
			if (team && !(team->flags & _team_has_been_eliminated_flag) && (t->elimination_count != 0 || deathmatch_alive))
			{
				team_alive[original] = true;
				if (last_alive_team == NONE) last_alive_team = original;
			}
		}
	}

	int16 alive = 0;
	for (int16 t = 0; t < teams; ++t)
	{
		team_data *team = get_team_data(t);
		if (!team || team->original_number_of_players == 0) continue;
		if (team_alive[t]) alive += 1;
		else if (!cooperative && !over && !(team->flags & _team_has_been_eliminated_flag)) eliminate_team(t);
		team_ranking_data *ranking = &g->team_rankings[t];
		switch (scoring)
		{
		case _game_scoring_attrition: ranking->score = ranking->total_damage / 100; break;
		case _game_scoring_grab_the_ball:
		case _game_scoring_last_man_on_the_hill:
		case _game_scoring_capture_the_flag:
		case _game_scoring_ball_hoard:
		case _game_scoring_territories:
		case _game_scoring_captures:
		case _game_scoring_custom: ranking->score = flag_counts[t]; break;
		case _game_scoring_scavenger_hunt:
		case _game_scoring_flag_rally: ranking->score = team->number_of_numbered_flags_captured; break;
		case _game_scoring_king_of_the_hill:
		case _game_scoring_king_of_the_hill_qel: ranking->score = team->game_time_of_possession; break;
		case _game_scoring_cattle_drive:
		case _game_scoring_assassination:
		case _game_scoring_hunting: ranking->score = team->score; break;
		default: break;
		}
		// Equal attrition and hunting scores go to whoever reached the score first.
		if ((scoring == _game_scoring_attrition || scoring == _game_scoring_hunting) &&
			ranking->score > team->maximum_number_of_flags_owned)
		{
			team->maximum_number_of_flags_owned = saturate_int16(ranking->score);
			team->game_time_at_maximum_flags_owned = game_time;
		}
	}

	int32 hunted_left = 0, targets_left = 0, team_targets[MAXIMUM_TEAMS_PER_MAP] = {};
	if (scoring == _game_scoring_cattle_drive || scoring == _game_scoring_assassination || scoring == _game_scoring_hunting)
	{
		count_netgame_units(&hunted_left, &targets_left, team_targets);
		// Hunting's targets are the hunted units: the hunt ends only after some were seen.
		if (scoring == _game_scoring_hunting && hunted_left > 0) g->netgame_targets_found_flag = TRUE;
	}

	bool ended = false;
	const int16 actual_teams = player_globals.actual_number_of_teams;
	if (!over && !cooperative)
	{
		if (alive == 2)
		{
			break_all_alliances();
		}
		else if ((alive <= 1 && actual_teams >= 2) || (alive == 0 && actual_teams == 1))
		{
			ended = true;
			team_data *last = team_index_is_valid(last_alive_team) ? get_team_data(last_alive_team) : nullptr;
			team_ranking_data *last_ranking = last ? &g->team_rankings[last_alive_team] : nullptr;
			const bool koth = scoring == _game_scoring_king_of_the_hill ||
				(scoring == _game_scoring_king_of_the_hill_qel && actual_teams == 2);
			if (koth)
			{
				if (last)
				{
					last->game_time_of_possession += game->time_remaining;
					last_ranking->score += game->time_remaining;
				}
			}
			else if (scoring == _game_scoring_cattle_drive)
			{
				if (last)
				{
					last->score = saturate_int16(last->score + team_targets[last_alive_team]);
					last_ranking->score += team_targets[last_alive_team];
					if (game_play_version > 1710) last->game_time_at_last_score = game_time;
				}
			}
			else if (scoring == _game_scoring_hunting)
			{
				const bool counts = !game_has_option(_game_option_uses_qel_flag) &&
					!(game_has_option(_game_option_uses_anticlump_flag) && game_play_version < 1711);
				if (last && counts)
				{
					last->score = saturate_int16(last->score + hunted_left);
					last_ranking->score += hunted_left;
					if (game_play_version > 1710)
					{
						last->game_time_at_last_score = game_time;
						last->game_time_at_maximum_flags_owned = game_time;
					}
				}
			}
			else if (scoring != _game_scoring_attrition && scoring != _game_scoring_assassination)
			{
				game->winning_team_index = last_alive_team;
			}
		}
	}

	if (!over && !ended && game_play_version >= 1501 && humans_had_teams_at_start)
	{
		bool human_left = false;
		for (int16 p = 0; p < players && !human_left; ++p)
		{
			const player_data *player = get_player_data(p);
			human_left = player && player->type == _player_is_human && player->team_index != NONE &&
				!(player->flags & _player_has_been_dropped_flag);
		}
		if (!human_left) ended = true;
	}

	qsort_private(g->player_rankings, players, sizeof(player_ranking_data), compare_player_scores);
	qsort_private(g->team_rankings, teams, sizeof(team_ranking_data), compare_team_scores);
	for (int16 t = 0; t < teams; ++t)
	{
		g->team_rankings[t].place = t == 0 ? static_cast<int16>(0) : static_cast<int16>(g->team_rankings[t - 1].place +
			(compare_team_scores(&g->team_rankings[t - 1], &g->team_rankings[t]) != 0 ? 1 : 0));
	}

	if (ended)
	{
		suspend_end_game(FALSE);
		end_game(FALSE);
		return;
	}
	if (over) return;

	switch (scoring)
	{
	case _game_scoring_grab_the_ball:
	case _game_scoring_last_man_on_the_hill:
		suspend_end_game(!flags_settled);
		break;
	case _game_scoring_scavenger_hunt:
	case _game_scoring_flag_rally:
	{
		suspend_end_game(!flags_settled);
		const int16 numbered = get_number_of_numbered_flags();
		// A map without numbered flags has no rally to win.
		for (int16 t = 0; t < teams && numbered > 0; ++t)
		{
			const team_data *team = get_team_data(t);
			if (!team || team->original_number_of_players == 0) continue;
			if (team->number_of_numbered_flags_captured == numbered - 1) team_is_about_to_win(t);
			if (team->number_of_numbered_flags_captured == numbered) end_game(FALSE);
		}
		break;
	}
	case _game_scoring_capture_the_flag:
	case _game_scoring_ball_hoard:
		suspend_end_game(!flags_settled);
		// Holding no flag eliminates only where flags exist.
		for (int16 t = 0; t < teams && get_number_of_numbered_flags() + get_number_of_unnumbered_flags() > 0; ++t)
		{
			if (flag_counts[t] == 0) eliminate_team(t);
		}
		break;
	case _game_scoring_territories:
	case _game_scoring_captures:
		suspend_end_game(!flags_settled);
		for (int16 t = 0; t < teams && get_number_of_unnumbered_flags() > 0; ++t)
		{
			const team_data *team = get_team_data(t);
			if (!team || team->original_number_of_players == 0) continue;
			if (flag_counts[t] == get_number_of_unnumbered_flags())
			{
				if (!game_has_option(_game_option_uses_qel_flag)) suspend_end_game(FALSE);
				end_game(FALSE);
				break;
			}
		}
		break;
	case _game_scoring_cattle_drive:
		if (g->netgame_targets_found_flag && targets_left == 0)
		{
			suspend_end_game(FALSE);
			end_game(FALSE);
		}
		break;
	case _game_scoring_assassination:
		// As in the cattle drive, only once targets were found.
		for (int16 t = 0; t < teams && g->netgame_targets_found_flag; ++t)
		{
			if (team_targets[t] == 0) eliminate_team(t);
		}
		break;
	case _game_scoring_hunting:
		if (g->netgame_targets_found_flag && hunted_left == 0)
		{
			suspend_end_game(FALSE);
			end_game(FALSE);
		}
		break;
	default:
		break;
	}
}

static permanent_player_ranking_data *permanent_ranking_of(int16 player_index)
{
	statistics_globals_data *g = statistics_globals;
	for (int16 i = 0; i < MIN(g->permanent_player_ranking_count, static_cast<int16>(MAXIMUM_PLAYERS_PER_MAP)); ++i)
	{
		if (g->permanent_player_rankings[i].player_index == player_index) return &g->permanent_player_rankings[i];
	}
	return nullptr;
}

static void record_permanent_rankings(void)
{
	statistics_globals_data *g = statistics_globals;
	update_player_rankings();
	for (int16 t = 0; t < team_count(); ++t)
	{
		const team_ranking_data *team = &g->team_rankings[t];
		for (int16 i = 0; i < player_count(); ++i)
		{
			const player_ranking_data *ranking = &g->player_rankings[i];
			const player_data *player = get_player_data(ranking->player_index);
			if (!player || player->original_team_index != team->team_index) continue;
			permanent_player_ranking_data *permanent = permanent_ranking_of(ranking->player_index);
			if (!permanent) continue;
			permanent->score += FIXED_ONE / (team->place + 1);
			if (team->place < 3) permanent->standings[team->place] += 1;
			permanent->casualty_count += ranking->casualty_count;
			permanent->total_kill_count += ranking->total_kill_count;
			permanent->total_damage += ranking->total_damage;
		}
	}
	qsort_private(g->permanent_player_rankings, MIN(g->permanent_player_ranking_count, static_cast<int16>(MAXIMUM_PLAYERS_PER_MAP)),
		sizeof(permanent_player_ranking_data), compare_permanent_player_scores);
	g->permanent_rankings_recorded = TRUE;
	if (game->type == _game_type_replay && !restoring_from_saved_game()) open_postgame_carnage_report_dialog();
}

void update_player_statistics(void)
{
	if (!statistics_globals || !statistics_globals->initialized || !game) return;
	statistics_globals_data *g = statistics_globals;
	if (game_is_over())
	{
		if (!g->permanent_rankings_recorded) record_permanent_rankings();
		return;
	}

	g->ticks_until_reranking -= 1;
	if (game_play_version > 1510 ? g->ticks_until_reranking < 1 : g->ticks_until_reranking < 0)
	{
		g->ranking_sequence += 1;
		g->ticks_until_reranking = RERANKING_PERIOD;
		update_player_rankings();
	}

	g->ticks_this_sample += 1;
	if (g->ticks_this_sample > g->ticks_per_sample)
	{
		g->number_of_samples += 1;
		if (g->number_of_samples > MAXIMUM_NUMBER_OF_SAMPLES)
		{
			for (int16 i = 0; i < MAXIMUM_NUMBER_OF_SAMPLES / 2; ++i)
			{
				add_samples(&g->samples[2 * i], &g->samples[2 * i + 1], &g->samples[i]);
			}
			g->number_of_samples = MAXIMUM_NUMBER_OF_SAMPLES / 2 + 1;
			g->ticks_per_sample *= 2;
		}
		zero_sample(&g->samples[g->number_of_samples - 1]);
		g->ticks_this_sample = 0;
	}
}

void force_player_statistics_update(void)
{
	if (!statistics_globals) return;
	statistics_globals->ticks_until_reranking = 0;
	update_player_statistics();
}

/* ---------- getters */

team_ranking_data *get_team_rankings(void)
{
	return statistics_globals ? statistics_globals->team_rankings : nullptr;
}

player_ranking_data *get_player_rankings(void)
{
	return statistics_globals ? statistics_globals->player_rankings : nullptr;
}

unit_statistics *get_unit_statistics(int16 unit_type)
{
	if (!statistics_globals || unit_type < 0 || unit_type >= MAXIMUM_UNIT_DEFINITIONS_PER_MAP) return nullptr;
	return &statistics_globals->unit_statistics[unit_type];
}

permanent_player_ranking_data *get_permanent_player_rankings(int16 *count)
{
	if (count) *count = statistics_globals ? statistics_globals->permanent_player_ranking_count : static_cast<int16>(0);
	return statistics_globals ? statistics_globals->permanent_player_rankings : nullptr;
}

uint16 get_ranking_sequence(void)
{
	return statistics_globals ? statistics_globals->ranking_sequence : static_cast<uint16>(0);
}

static const char *scoring_string(int16 scoring, int16 custom_index, int16 list_index)
{
	if (scoring < 0 || scoring >= NUMBER_OF_GAME_SCORING_TYPES) return "";
	if (scoring == _game_scoring_custom)
	{
		const mesh_header *header = get_mesh_header();
		return get_string_from_list(header ? header->map_description_string_index : static_cast<int16>(NONE), custom_index);
	}
	return get_string_from_list(list_index, scoring);
}

const char *get_game_scoring_string(int16 scoring)
{
	return scoring_string(scoring, 0, statistics_globals ? statistics_globals->netgame_names_string_list_index : NONE);
}

const char *get_game_rules_string(int16 scoring)
{
	return scoring_string(scoring, 1, statistics_globals ? statistics_globals->netgame_rules_string_list_index : NONE);
}

/* ---------- digest */

static void fold_player_statistics(zerv_digest *digest, const player_statistics *statistics)
{
	for (int16 i = 0; i < MAXIMUM_PLAYERS_PER_MAP; ++i)
	{
		zerv_digest_int32(digest, statistics->damage_against[i]);
		zerv_digest_int32(digest, statistics->kills_against[i]);
	}
	zerv_digest_int32(digest, statistics->score);
}

static void fold_sample(zerv_digest *digest, const statistics_sample *sample)
{
	for (int16 p = 0; p < MAXIMUM_PLAYERS_PER_MAP; ++p) fold_player_statistics(digest, &sample->players[p]);
	fold_player_statistics(digest, &sample->unattributed);
	zerv_digest_int32(digest, sample->lead_changes);
}

void player_statistics_fold_digest(zerv_digest *digest)
{
	const statistics_globals_data *g = statistics_globals;
	if (!g || !g->initialized)
	{
		zerv_digest_int8(digest, 0);
		return;
	}
	zerv_digest_int8(digest, 1);
	zerv_digest_int8(digest, static_cast<int8>(g->permanent_rankings_recorded ? 1 : 0));
	zerv_digest_int8(digest, static_cast<int8>(humans_had_teams_at_start ? 1 : 0));
	zerv_digest_int32(digest, g->ticks_per_sample);
	zerv_digest_int32(digest, g->ticks_this_sample);
	zerv_digest_int16(digest, g->number_of_samples);
	zerv_digest_int16(digest, g->ticks_until_reranking);
	zerv_digest_int16(digest, static_cast<int16>(g->ranking_sequence));
	zerv_digest_int8(digest, static_cast<int8>(g->netgame_targets_found_flag ? 1 : 0));
	fold_sample(digest, &g->sum);
	fold_sample(digest, &g->samples[PIN(g->number_of_samples - 1, 0, MAXIMUM_NUMBER_OF_SAMPLES - 1)]);
	for (int16 t = 0; t < team_count(); ++t)
	{
		const team_ranking_data *r = &g->team_rankings[t];
		zerv_digest_int16(digest, r->team_index);
		zerv_digest_int16(digest, r->place);
		for (int32 value : {r->casualty_count, r->casualty_cost, r->extant_unit_count, r->extant_cost, r->total_kill_count,
				 r->total_damage, r->score})
		{
			zerv_digest_int32(digest, value);
		}
	}
	for (int16 p = 0; p < player_count(); ++p)
	{
		const player_ranking_data *r = &g->player_rankings[p];
		zerv_digest_int16(digest, r->player_index);
		for (int32 value : {r->casualty_count, r->casualty_cost, r->extant_unit_count, r->extant_cost, r->total_kill_count,
				 r->total_damage, r->score})
		{
			zerv_digest_int32(digest, value);
		}
	}
	const int16 unit_types = map_unit_type_count();
	zerv_digest_int16(digest, unit_types);
	for (int16 u = 0; u < unit_types; ++u)
	{
		const unit_statistics *s = &g->unit_statistics[u];
		for (int32 value : {s->initial_count, s->initial_vitality, s->current_count, s->current_vitality,
				 s->current_count_for_elimination_logic, s->kills, s->damage})
		{
			zerv_digest_int32(digest, value);
		}
	}
}

/* ---------- test hooks */

game_statistics_test_hooks_data *get_game_statistics_test_hooks(void)
{
	return &game_statistics_test_hooks;
}

void reset_game_statistics_test_hooks(void)
{
	game_statistics_test_hooks = default_game_statistics_test_hooks();
}
