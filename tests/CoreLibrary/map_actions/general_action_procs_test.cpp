// The logic, timing and arithmetic procedures, run through real actions.
#include "flags.h"
#include "game_statistics.h"
#include "map_actions/general_action_procs.h"
#include "map_actions/map_actions_test_support.h"
#include "sniffing.h"

namespace {

using general_action_procs = map_actions_fixture;

fixed fixed_of(int16 index, const char (&name)[5])
{
	fixed value = -12345;
	get_map_action_fixed(index, TAG(name), &value);
	return value;
}

std::vector<int32> integers_of_delay(int16 index)
{
	int32 values[8];
	const int32 count = get_combined_map_action_parameter(index, TAG("#del"), _parameter_integer, values, 8);
	return std::vector<int32>(values, values + count);
}

// A live unit record at index with that identifier and team.
void monster(int16 index, int16 identifier, int16 team = 0)
{
	while (!get_monster_data(index)) ASSERT_NE(new_datum(&monster_array), NONE);
	set_monster_identifier(index, identifier);
	get_monster_data(index)->owner_team_index = static_cast<int8>(team);
}

TEST_F(general_action_procs, math_operators_wrap_and_store_by_type)
{
	struct
	{
		int32 left, right;
		const char *op;
		int32 resu;
		fixed refx;
	} cases[] = {
		{7, 2, "div_", 3, 3 * FIXED_ONE},
		{7, 2, "%___", 1, FIXED_ONE},
		{-7, 2, "%___", -1, -FIXED_ONE},
		{INT32_MIN, -1, "%___", 0, 0},
		{INT32_MAX, 1, "+___", INT32_MIN, 0},
		{INT32_MIN, 1, "-___", INT32_MAX, -FIXED_ONE},
		{3, 4, "<___", 1, FIXED_ONE},
		{3, 0, "and_", 0, 0},
		{3, 0, "xor_", 1, FIXED_ONE},
	};
	for (const auto &c : cases)
	{
		const int16 a = action("math");
		integer(a, "lint", c.left);
		integer(a, "rint", c.right);
		const field_tag op = (static_cast<uint32>(static_cast<uint8>(c.op[0])) << 24) |
			(static_cast<uint32>(static_cast<uint8>(c.op[1])) << 16) | (static_cast<uint32>(static_cast<uint8>(c.op[2])) << 8) |
			static_cast<uint8>(c.op[3]);
		ASSERT_TRUE(new_map_action_parameter(nullptr, a, op, _parameter_flag));
		math_action_proc(a);
		EXPECT_EQ(integer_of(a, "resu"), c.resu) << c.op << " " << c.left;
		EXPECT_EQ(fixed_of(a, "refx"), c.refx) << c.op << " " << c.left;
	}

	const int16 product = action("math");
	fixed_value(product, "lfix", -3 * FIXED_ONE / 2);
	fixed_value(product, "rfix", 5 * FIXED_ONE / 2);
	flag(product, "*___");
	EXPECT_EQ(math_action_proc(product), static_cast<uint32>(_map_action_proc_succeeded_flag));
	EXPECT_EQ(integer_of(product, "resu"), -4);
	EXPECT_EQ(fixed_of(product, "refx"), -15 * FIXED_ONE / 4);

	const int16 divide = action("math");
	integer(divide, "lint", 7);
	integer(divide, "rint", 0);
	flag(divide, "div_");
	EXPECT_EQ(math_action_proc(divide), 0u);
	EXPECT_FALSE(get_map_action_parameter(nullptr, divide, 0, TAG("resu"), NONE));

	const int16 negated = action("math");
	flag(negated, "lnot");
	EXPECT_EQ(math_action_proc(negated), static_cast<uint32>(_map_action_proc_succeeded_flag));
	EXPECT_EQ(integer_of(negated, "resu"), 1);

	// A fixed 'resu' keeps its type; 'dact'/'dfld' store into another action.
	const int16 typed = action("math");
	const int16 target = action("none");
	integer(typed, "lint", 2);
	fixed_value(typed, "resu", 0);
	ids(typed, "dact", {target});
	const field_tag name = TAG("outp");
	add(typed, "dfld", _parameter_field_name, 1, &name);
	flag(typed, "fixd");
	math_action_proc(typed);
	EXPECT_EQ(fixed_of(typed, "resu"), 2 * FIXED_ONE);
	EXPECT_EQ(fixed_of(target, "outp"), 2 * FIXED_ONE);

	// Another action's field, and the fallback sum over linked values.
	const int16 reader = action("math");
	ids(reader, "lact", {target});
	add(reader, "lfld", _parameter_field_name, 1, &name);
	math_action_proc(reader);
	EXPECT_EQ(integer_of(reader, "resu"), 2);

	set_map_action_debug_status(_map_action_debug_on);
	math_action_proc(product);
	EXPECT_NE(log_text().find("-1.500000 * 2.500000 = -3.750000"), std::string::npos);
}

TEST_F(general_action_procs, lock_counts_its_keys_and_rebuilds_a_bad_state)
{
	int16 keys[3];
	int16 transitions[3];
	for (int16 k = 0; k < 3; ++k)
	{
		keys[k] = action("math"); // succeeds once 'lint' is non-zero
		transitions[k] = action("math");
		integer(transitions[k], "lint", 1);
		flag(transitions[k], "+___");
	}
	const int16 lock = action("lock");
	ids(lock, "keys", {keys[0], keys[1], keys[2]});
	ids(lock, "___1", {transitions[0]});
	ids(lock, "___2", {transitions[1]});
	ids(lock, "___3", {transitions[2]});
	lock_action_proc(lock);
	for (int16 k = 0; k < 3; ++k)
	{
		integer(keys[k], "lint", 1);
		lock_action_proc(lock);
		lock_action_proc(lock);
		for (int16 t = 0; t < 3; ++t) EXPECT_EQ(integer_of(transitions[t], "resu"), t <= k ? 1 : -12345) << k << t;
	}

	// Below 1601 the name is the plain text tag.
	game_play_version = 1600;
	const int16 old_lock = action("lock");
	ids(old_lock, "keys", {keys[0]});
	const int16 old_transition = action("math");
	integer(old_transition, "lint", 5);
	const int16 one[] = {id(old_transition)};
	map_action_parameter parameter;
	ASSERT_TRUE(new_map_action_parameter(&parameter, old_lock, string_to_tag("1"), _parameter_action_identifier));
	ASSERT_TRUE(set_map_action_parameter(&parameter, 1, one));
	lock_action_proc(old_lock);
	EXPECT_EQ(integer_of(old_transition, "resu"), 5);

	// A '#sta' with counts above 8 is rebuilt.
	uint8 bad[74] = {};
	bad[0] = 9;
	set_unique_map_action_parameter(lock, TAG("#sta"), _parameter_character, 74, bad);
	EXPECT_EQ(lock_action_proc(lock), 0u);
	int16 key_count = 0;
	uint8 state[74];
	ASSERT_TRUE(get_map_action_structure(lock, TAG("#sta"), 74, state));
	memcpy(&key_count, state, sizeof(key_count));
	EXPECT_EQ(key_count, 3);
}

TEST_F(general_action_procs, delay_releases_live_subjects_on_their_ticks)
{
	const int16 subjects[4] = {-30000, -29999, -29998, -29997};
	for (int16 k = 0; k < 4; ++k) monster(k, subjects[k]);
	const int16 delay = action("dela");
	const int16 result = action("none");
	add(delay, "subj", _parameter_monster_identifier, 4, subjects);
	fixed_value(delay, "time", 2 * FIXED_ONE);
	flag(delay, "dist");
	ids(delay, "resu", {result});
	game->game_time = 100;
	EXPECT_EQ(delay_action_proc(delay), 0u);
	EXPECT_EQ(integers_of_delay(delay), (std::vector<int32>{115, 130, 145, 160}));

	// The second subject dies: it is never released, the others keep their ticks.
	delete_datum(&monster_array, 1);
	game->game_time = 140;
	EXPECT_EQ(delay_action_proc(delay), 0u);
	int16 released[4];
	EXPECT_EQ(get_combined_map_action_parameter(result, TAG("subj"), _parameter_monster_identifier, released, 4), 1);
	EXPECT_EQ(released[0], subjects[0]);
	EXPECT_TRUE(active(result));
	game->game_time = 200;
	delay_action_proc(delay);
	EXPECT_EQ(get_combined_map_action_parameter(result, TAG("subj"), _parameter_monster_identifier, released, 4), 2);
	EXPECT_EQ(released[1], subjects[3]);
	EXPECT_EQ(delay_action_proc(delay), static_cast<uint32>(_map_action_proc_succeeded_flag));
}

// 1200 seconds (78,643,200 as fixed) spread over four subjects: the ticks need
// more than 32 bits on the way.
TEST_F(general_action_procs, a_long_delay_spreads_its_ticks_without_overflow)
{
	const int16 subjects[4] = {-30000, -29999, -29998, -29997};
	for (int16 k = 0; k < 4; ++k) monster(k, subjects[k]);
	const int16 delay = action("dela");
	add(delay, "subj", _parameter_monster_identifier, 4, subjects);
	fixed_value(delay, "time", 1200 * FIXED_ONE);
	flag(delay, "dist");
	game->game_time = 100;
	EXPECT_EQ(delay_action_proc(delay), 0u);
	EXPECT_EQ(integers_of_delay(delay), (std::vector<int32>{100 + 9000, 100 + 18000, 100 + 27000, 100 + 36000}));
}

TEST_F(general_action_procs, action_lists_munger_and_draws)
{
	// 'rand' over three once-activated actions: one draw, nothing activated.
	int16 spent[3];
	for (int16 &index : spent)
	{
		index = action("none", _map_action_activates_only_once_flag);
		activate_map_action(index);
		deactivate_map_action(index);
	}
	const int16 list = action("acli");
	ids(list, "acti", {spent[0], spent[1], spent[2]});
	flag(list, "rand");
	uint32 draws = zerv_random_draw_count();
	EXPECT_EQ(action_list_action_proc(list), 0u);
	EXPECT_EQ(zerv_random_draw_count(), draws + 1);

	// An empty list with 'only' draws nothing; nor does one with 'rand' (no
	// draw over nothing, no division by zero).
	const int16 empty = action("acli");
	flag(empty, "only");
	draws = zerv_random_draw_count();
	EXPECT_EQ(action_list_action_proc(empty), 0u);
	EXPECT_EQ(zerv_random_draw_count(), draws);
	const int16 empty_random = action("acli");
	ids(empty_random, "acti", {});
	flag(empty_random, "rand");
	EXPECT_EQ(action_list_action_proc(empty_random), 0u);
	EXPECT_EQ(zerv_random_draw_count(), draws);

	// Chances of 1.0: one draw each; a short chance list activates all without drawing.
	const int16 a = action("none");
	const int16 b = action("none");
	const int16 chances = action("acli");
	ids(chances, "acti", {a, b});
	const fixed sure[2] = {FIXED_ONE, FIXED_ONE};
	add(chances, "acch", _parameter_fixed, 2, sure);
	draws = zerv_random_draw_count();
	EXPECT_EQ(action_list_action_proc(chances), static_cast<uint32>(_map_action_proc_succeeded_flag));
	EXPECT_EQ(zerv_random_draw_count(), draws + 2);
	EXPECT_TRUE(active(a) && active(b));

	// The munger inserts an operand into its targets and edits itself safely.
	const int16 munger = action("mung");
	const int16 target = action("none");
	ids(munger, "pins", {target, munger});
	integer(munger, "valu", 42);
	ids(munger, "adea", {a});
	ids(munger, "bogu", {b});
	munger_action_proc(munger);
	EXPECT_EQ(integer_of(target, "valu"), 42);
	EXPECT_FALSE(active(a));
	EXPECT_TRUE(active(b));
	int32 values[4];
	EXPECT_EQ(get_combined_map_action_parameter(munger, TAG("valu"), _parameter_integer, values, 4), 2);
}

TEST_F(general_action_procs, game_tests_goal_sniffer_mission_and_endgame)
{
	// 'plan' with 'time' 60 holds once 1800 ticks or fewer remain.
	const int16 plan = action("plan");
	integer(plan, "time", 60);
	game->time_remaining = 1801;
	EXPECT_EQ(netgame_time_action_proc(plan), 0u);
	game->time_remaining = 1800;
	EXPECT_EQ(netgame_time_action_proc(plan), static_cast<uint32>(_map_action_proc_succeeded_flag));

	// 'plyc' on the team count.
	const int16 count = action("plyc");
	integer(count, "tc_>", get_team_count());
	EXPECT_EQ(player_count_action_proc(count), 0u);
	const int16 humans = action("plyc");
	integer(humans, "pc_=", 1);
	EXPECT_EQ(player_count_action_proc(humans), static_cast<uint32>(_map_action_proc_succeeded_flag));

	// 'ngty': the scoring type and a team's lead, with ties.
	const int16 type = action("ngty");
	integer(type, "type", game->scoring + 1);
	EXPECT_EQ(game_type_action_proc(type), 0u);
	const int16 lead = action("ngty");
	integer(lead, "team", 0);
	if (!statistics_globals) initialize_player_statistics();
	team_ranking_data *rankings = get_team_rankings();
	const team_ranking_data saved[2] = {rankings[0], rankings[1]};
	rankings[0] = {1, 0, 0, 0, 0, 0, 0, 0, 10};
	rankings[1] = {0, 0, 0, 0, 0, 0, 0, 0, 10};
	if (get_team_count() >= 2)
	{
		EXPECT_EQ(game_type_action_proc(lead), 0u) << "another team shares first place";
		flag(lead, "ties");
		EXPECT_EQ(game_type_action_proc(lead), static_cast<uint32>(_map_action_proc_succeeded_flag));
	}
	rankings[0] = saved[0];
	rankings[1] = saved[1];

	const int16 goal = action("goal");
	integer(goal, "team", 1);
	const int32 points[6] = {0, 0, 512, 0, 512, 512};
	add(goal, "poly", _parameter_world_point2d, 3, points);
	const flag_globals_data saved_flags = flag_globals;
	goal_action_proc(goal);
	EXPECT_TRUE(flag_globals.goals[1].flags & _goal_initialized_flag);
	EXPECT_EQ(flag_globals.goals[1].vertices[1].x, 512);
	flag_globals = saved_flags;

	const int16 sniffer = action("snif");
	integer(sniffer, "case", 50);
	const int32 three[3] = {1, 2, 3};
	add(sniffer, "time", _parameter_integer, 3, three);
	EXPECT_EQ(sniffer_action_proc(sniffer), 0u);
	EXPECT_EQ(get_sniffing_state()->test_case, 50);
	EXPECT_EQ(get_sniffing_state()->time_between_errors_min, DEFAULT_INITIAL_DELAY_BEFORE_ERRORS);
	EXPECT_EQ(get_sniffing_state()->next_possible_error_time, game->game_time + DEFAULT_INITIAL_DELAY_BEFORE_ERRORS);
	EXPECT_EQ(get_sniffing_state()->flags,
		static_cast<uint32>(_sniffing_clear_after_success_flag | _sniffing_report_errors_flag));

	EXPECT_EQ(mission_action_proc(action("miss")), static_cast<uint32>(_map_action_proc_succeeded_flag));

	monster(0, -30000, _light_team_index);
	const int16 end = action("endg");
	flag(end, "ligh");
	flag(end, "noce");
	game->winning_team_index = NONE;
	EXPECT_EQ(endgame_action_proc(end), 0u);
	EXPECT_EQ(game->winning_team_index, _light_team_index);
	EXPECT_EQ(game->endgame_state, _endgame_state_victory);
	EXPECT_TRUE(get_monster_data(0)->flags & _monster_has_celebrated_flag);
	game->endgame_state = 0;
	EXPECT_EQ(endgame_action_proc(end), 0u) << "the light team's win is final";
	EXPECT_EQ(game->endgame_state, 0);
}

} // namespace
