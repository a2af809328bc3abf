// The group AI procs on the demo armies, thinned out to the units each case
// places by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "attack_ai.h"
#include "level_group_ai_script.h"
#include "map_actions/group_ai_action_procs.h"
#include "map_actions/map_actions_test_support.h"
#include "mesh.h"
#include "monsters.h"
#include "objects.h"
#include "spatial_groups.h"
#include "world.h"

namespace {

class group_ai_fixture : public demo_armies_actions_fixture
{
protected:
	size_t least_team0_units(void) const override { return 12; }

	// Only these units stay on the map.
	void keep(const std::vector<int16> &kept)
	{
		for (int16 i = 0; i < monster_array.count; ++i)
		{
			bool used = false;
			for (int16 k : kept) used = used || k == i;
			if (!used && get_monster_data(i)) delete_monster(i, TRUE);
		}
	}
	static void place(int16 index, world_distance x, world_distance y)
	{
		const int16 object_index = get_monster_data(index)->object_index;
		disconnect_object_from_mesh(object_index);
		object_data *object = get_object_data(object_index);
		object->location.position.x = x;
		object->location.position.y = y;
		reconnect_object_to_mesh(object_index);
	}
	static void distances(int16 action, const char (&name)[5], const std::vector<world_distance> &list)
	{
		add(action, name, _parameter_world_distance, static_cast<int32>(list.size()), list.data());
	}
	static void integers(int16 action, const char (&name)[5], const std::vector<int32> &list)
	{
		add(action, name, _parameter_integer, static_cast<int32>(list.size()), list.data());
	}
	static std::vector<int16> identifiers_in(int16 action, const char (&name)[5], int16 type)
	{
		int16 values[400];
		const int32 n = get_combined_map_action_parameter(action, TAG(name), type, values, 400);
		return std::vector<int16>(values, values + n);
	}
	static void groups_now(void)
	{
		build_spatial_groups();
		reset_attack_ai();
	}
	static world_point2d center_of(int16 team)
	{
		for (spatial_group *g = first_spatial_group(); g; g = next_spatial_group(g))
		{
			if (g->team_index == team) return g->center;
		}
		return {0, 0};
	}
	static int16 radius_of(int16 team)
	{
		for (spatial_group *g = first_spatial_group(); g; g = next_spatial_group(g))
		{
			if (g->team_index == team) return g->radius;
		}
		return 0;
	}
	static std::vector<int16> first(const std::vector<int16> &list, size_t n)
	{
		return std::vector<int16>(list.begin(), list.begin() + static_cast<long>(n));
	}
};

using group_ai_groups = group_ai_fixture;
using group_ai_platoons = group_ai_fixture;
using group_ai_units = group_ai_fixture;

TEST_F(group_ai_groups, the_walk_stops_once_a_state_replaces_the_list_and_states_are_capped)
{
	const int16 group = action("grou");
	const int16 split = action("spup");
	const int16 later = action("wand");
	subjects(group, "subj", first(team0, 3));
	ids(group, "stat", {split, later});
	integers(split, "thre", {});
	const field_tag none = TAG("none");
	add(split, "setu", _parameter_field_name, 1, &none);
	ids(split, "none", {});
	trigger_map_action(group);
	EXPECT_TRUE(get_map_action_parameter(nullptr, split, 0, TAG("owgr"), _parameter_action_identifier));
	EXPECT_FALSE(get_map_action_parameter(nullptr, later, 0, TAG("owgr"), _parameter_action_identifier))
		<< "the split replaced the states: the walk stops";

	const int16 wander = action("wand");
	set_group_action_state(wander, nullptr, 0);
	EXPECT_NE(log_text().find("isn't a group action!"), std::string::npos);

	std::vector<int16> states;
	for (int k = 0; k < 17; ++k) states.push_back(id(action("wand")));
	set_group_action_state(group, states.data(), 17);
	EXPECT_EQ(identifiers_in(group, "stat", _parameter_action_identifier).size(), 16u);
	EXPECT_EQ(integer_of(group, "subs"), -1);
	for (int k = 0; k < 16; ++k) EXPECT_EQ(integer_of(action_identifier_to_action_index(states[k]), "subs"), -1);
	EXPECT_EQ(integer_of(action_identifier_to_action_index(states[16]), "subs"), -12345);

	// Without states the group does nothing: its substate stays unwritten.
	const int16 empty = action("grou");
	trigger_map_action(empty);
	EXPECT_EQ(integer_of(empty, "subs"), -12345);
	ids(empty, "stat", {});
	trigger_map_action(empty);
	EXPECT_EQ(integer_of(empty, "subs"), -12345);
}

TEST_F(group_ai_groups, split_up_picks_the_band_takes_the_nearest_first_and_replaces_its_children)
{
	keep(first(team0, 12));
	std::vector<int16> units = first(team0, 12);
	for (size_t k = 0; k < units.size(); ++k) place(units[k], 20000 + 600 * static_cast<int32>(k), 20000);
	const int16 group = action("grou");
	const int16 split = action("spup");
	subjects(group, "subj", units);
	ids(group, "stat", {split});
	integers(split, "thre", {5, 10});
	const field_tag bands[3] = {TAG("few_"), TAG("some"), TAG("many")};
	add(split, "setu", _parameter_field_name, 3, bands);
	const int16 east = action("none");
	const int16 rest = action("none");
	const int16 guard = action("wand");
	world_point2d far_east = {20000 + 600 * 11, 20000};
	points(east, "deci", {far_east});
	fixed_value(east, "coun", FIXED_ONE / 2);
	ids(rest, "init", {guard});
	ids(split, "many", {east, rest});
	ids(split, "few_", {});
	ids(split, "some", {});
	trigger_map_action(group);
	std::string log = log_text();
	EXPECT_NE(log.find("chose threshold #2 (#12 units)"), std::string::npos);
	EXPECT_NE(log.find("got #6"), std::string::npos);
	const std::vector<int16> children = identifiers_in(split, "chil", _parameter_action_identifier);
	ASSERT_EQ(children.size(), 2u);
	EXPECT_EQ(identifiers_in(group, "stat", _parameter_action_identifier), children);
	const int16 east_child = action_identifier_to_action_index(children[0]);
	const std::vector<int16> east_units = identifiers_in(east_child, "subj", _parameter_monster_identifier);
	ASSERT_EQ(east_units.size(), 6u);
	EXPECT_EQ(east_units[0], get_monster_data(units[11])->identifier) << "nearest the decision point first";
	EXPECT_EQ(identifiers_in(action_identifier_to_action_index(children[1]), "stat", _parameter_action_identifier),
		std::vector<int16>({id(guard)}));

	// A rerun deletes the old children; one naming the owner stays.
	const int16 owner_identifier = id(group);
	const int16 named[2] = {owner_identifier, children[0]};
	set_unique_map_action_parameter(split, TAG("chil"), _parameter_action_identifier, 2, named);
	for (size_t k = 5; k < units.size(); ++k) delete_monster(units[k], TRUE);
	set_unique_map_action_parameter(split, TAG("owgr"), _parameter_action_identifier, 1, &owner_identifier);
	trigger_map_action(split);
	EXPECT_NE(get_map_action(group), nullptr);
	EXPECT_NE(log_text().find("chose threshold #0 (#5 units)"), std::string::npos);
	EXPECT_TRUE(identifiers_in(group, "stat", _parameter_action_identifier).empty()) << "an empty setup list";
	EXPECT_EQ(get_map_action(east_child), nullptr) << "the old child went";
}

TEST_F(group_ai_groups, a_fixed_count_takes_its_share_of_the_unassigned_units)
{
	const std::vector<int16> units = first(team0, 7);
	const int16 group = action("grou");
	const int16 split = action("spup");
	subjects(group, "subj", units);
	ids(group, "stat", {split});
	integers(split, "thre", {});
	const field_tag band = TAG("all_");
	add(split, "setu", _parameter_field_name, 1, &band);
	const int16 half = action("none");
	fixed_value(half, "coun", FIXED_ONE / 2);
	ids(split, "all_", {half});
	trigger_map_action(group);
	EXPECT_NE(log_text().find("got #3"), std::string::npos);
}

// Lists longer than the procs take are cut, each with a line.
TEST_F(group_ai_groups, thresholds_setup_actions_and_rout_destinations_past_their_caps_are_cut_with_a_line)
{
	const std::vector<int16> units = first(team0, 7);
	const int16 group = action("grou");
	const int16 split = action("spup");
	subjects(group, "subj", units);
	ids(group, "stat", {split});
	// 33 thresholds, all below the unit count: the 32 read send 7 units past them all, to band 32.
	integers(split, "thre", std::vector<int32>(33, 1));
	std::vector<field_tag> bands(34, TAG("none"));
	bands[32] = TAG("all_");
	add(split, "setu", _parameter_field_name, 34, bands.data());
	std::vector<int16> setups;
	for (int k = 0; k < 17; ++k) setups.push_back(id(action("none")));
	add(split, "all_", _parameter_action_identifier, 17, setups.data());
	trigger_map_action(group);
	const std::string log = log_text();
	EXPECT_NE(log.find("more than 32 thresholds: the rest are ignored"), std::string::npos);
	EXPECT_NE(log.find("chose threshold #32 (#7 units)"), std::string::npos);
	EXPECT_NE(log.find("more than 16 setup actions: the rest are ignored"), std::string::npos);
	EXPECT_EQ(identifiers_in(split, "chil", _parameter_action_identifier).size(), 16u);

	const int16 rout = action("rout");
	subjects(rout, "subj", {units[0]});
	place(units[0], 20000, 20000);
	std::vector<world_point2d> destinations(64, world_point2d{30000, 30000});
	destinations.push_back({20000, 20000});
	points(rout, "dest", destinations);
	trigger_map_action(rout);
	EXPECT_EQ(get_monster_data(units[0])->waypoints[0].x, 30000) << "the 65th destination is not read";
	EXPECT_NE(log_text().find("more than 64 destinations: the rest are ignored"), std::string::npos);
}

TEST_F(group_ai_groups, the_guard_radius_guards_at_the_edge_and_draws_only_between_the_radii)
{
	keep({team0[0], team1[0]});
	place(team0[0], 20000, 20000);
	place(team1[0], 40000, 20000);
	groups_now();
	const world_point2d enemy = center_of(1);
	const int32 r = radius_of(1);
	auto at = [&](int32 edge) { return world_point2d{enemy.x - r - edge, enemy.y}; };
	const uint32 draws = zerv_random_draw_count();
	EXPECT_FALSE(test_guard_radius(at(9216), 0, 1024, 9216, FALSE)) << "exactly at the outer radius";
	EXPECT_FALSE(test_guard_radius(at(1024 + 8192), 0, 1024, 20000, FALSE)) << "8192 beyond the inner";
	EXPECT_TRUE(test_guard_radius(at(1000), 0, 1024, 9216, FALSE)) << "inside the inner";
	EXPECT_TRUE(test_guard_radius(at(5000), 0, 1024, 9216, TRUE)) << "already attacking";
	EXPECT_FALSE(test_guard_radius(at(1000), 1, 1024, 9216, FALSE)) << "its own team is no enemy";
	EXPECT_EQ(zerv_random_draw_count(), draws);
	test_guard_radius(at(5000), 0, 1024, 9216, FALSE);
	EXPECT_EQ(zerv_random_draw_count(), draws + 1);
}

TEST_F(group_ai_groups, a_guard_attacks_with_one_attack_group_and_guards_with_the_whole_list)
{
	keep({team0[0], team0[1], team1[0]});
	place(team0[0], 20000, 20000);
	place(team0[1], 20400, 20000);
	place(team1[0], 23000, 20000);
	const int16 group = action("grou");
	const int16 guard = action("guar");
	const int16 hold = action("wand");
	const int16 attack = action("none");
	subjects(group, "subj", {team0[0], team0[1]});
	ids(group, "stat", {guard});
	points(guard, "poin", {{20000, 20000}});
	distances(guard, "radi", {4096, 9216});
	ids(guard, "acti", {hold, attack});
	distances(attack, "radi", {0, 7777});
	groups_now();
	trigger_map_action(group);
	EXPECT_EQ(integer_of(guard, "subs"), 1);
	const attack_group *recorded = first_attack_group();
	ASSERT_NE(recorded, nullptr);
	EXPECT_EQ(next_attack_group(recorded), nullptr);
	EXPECT_EQ(recorded->configuration.focus.x, 20000);
	EXPECT_EQ(recorded->configuration.radius, 7777);

	// Away from the enemy: guarding writes the whole list and triggers the hold state.
	place(team1[0], 60000, 20000);
	groups_now();
	const int16 inhibitor = action("none");
	ids(guard, "inhi", {inhibitor});
	trigger_map_action(group);
	EXPECT_EQ(integer_of(guard, "subs"), 0);
	EXPECT_EQ(identifiers_in(hold, "subj", _parameter_monster_identifier).size(), 2u);

	// Losses while guarding reset; 'subs' stays.
	const int16 reset = action("wand");
	ids(guard, "rese", {reset});
	set_unique_map_action_parameter(guard, TAG("subs"), _parameter_integer, 1, &std::vector<int32>{1}[0]);
	delete_monster(team0[1], TRUE);
	groups_now();
	trigger_map_action(group);
	EXPECT_EQ(integer_of(guard, "subs"), 1);
}

TEST_F(group_ai_platoons, a_platoon_draws_its_state_once_and_moves_squads_in_its_frame)
{
	keep({team0[0], team1[0]});
	place(team1[0], 80000, 80000);
	const int16 platoon = action("plat");
	const int16 march = action("plmo", 0, _map_action_deactivates_never, "march");
	const int16 squad = action("squa");
	subjects(squad, "subj", {team0[0]});
	points(squad, "cent", {{20000, 20000 + 1024}}); // north: +y
	integer(squad, "form", 0);
	ids(platoon, "stat", {march});
	ids(platoon, "init", {squad});
	points(platoon, "cent", {{20000, 20000}});
	add(platoon, "faci", _parameter_angle, 1, &std::vector<int16>{0}[0]);
	points(march, "wayp", {{30000, 30000}});
	groups_now();
	const uint32 draws = zerv_random_draw_count();
	trigger_map_action(platoon);
	EXPECT_EQ(zerv_random_draw_count(), draws + 1);
	EXPECT_NE(log_text().find("platoon state set to: march"), std::string::npos);
	EXPECT_FALSE(get_map_action_parameter(nullptr, platoon, 0, TAG("stat"), _parameter_action_identifier));
	EXPECT_EQ(identifiers_in(platoon, "#squ", _parameter_action_identifier), std::vector<int16>({id(squad)}));
	EXPECT_EQ(get_monster_data(team0[0])->internal_command_identifier, id(squad));
	EXPECT_EQ(integer_of(march, "#wpi"), 0);

	generate_squad_movement_commands(squad, {20000, 20000}, {30000, 30000}, 0, 16384);
	const monster_data *monster = get_monster_data(team0[0]);
	ASSERT_GT(monster->waypoint_count, 0);
	const world_point2d goal = monster->waypoints[monster->waypoint_count - 1];
	EXPECT_EQ(goal.x, 30000 - 1024);
	EXPECT_EQ(goal.y, 30000);

	// The squad arrives (its success): the one-point route ends and the platoon then deactivates.
	set_map_action_success(squad);
	trigger_map_action(platoon);
	EXPECT_EQ(identifiers_in(platoon, "#cst", _parameter_action_identifier).size(), 0u);
	EXPECT_EQ(trigger_map_action(platoon) & _map_action_proc_deactivate_flag,
		static_cast<uint32>(_map_action_proc_deactivate_flag));
	EXPECT_NE(log_text().find("no state (deactivating)"), std::string::npos);
}

TEST_F(group_ai_platoons, a_marching_platoon_answers_an_allys_call_within_its_outer_radius)
{
	keep({team0[0], team1[0]});
	place(team0[0], 20000, 20000);
	place(team1[0], 26000, 20000); // between the guard radii
	const int16 platoon = action("plat");
	const int16 march = action("plmo", 0, _map_action_deactivates_never, "march");
	const int16 squad = action("squa");
	subjects(squad, "subj", {team0[0]});
	points(squad, "cent", {{20000, 20000}});
	integer(squad, "form", 0);
	ids(platoon, "stat", {march});
	ids(platoon, "init", {squad});
	points(platoon, "cent", {{20000, 20000}});
	points(march, "wayp", {{20000, 30000}});
	distances(march, "radi", {4096, 9216});
	groups_now();
	trigger_map_action(platoon);
	EXPECT_EQ(integer_of(march, "#sub"), 0) << "beyond the inner radius it marches on";
	flag(platoon, "#att");
	groups_now();
	trigger_map_action(platoon);
	EXPECT_EQ(integer_of(march, "#sub"), 3) << "called, it attacks within the outer radius";
}

TEST_F(group_ai_platoons, route_legs_interpolate_with_a_floor_and_never_come_up_empty)
{
	const int16 route = action("plmo");
	points(route, "wayp", {{0, 0}, {1000, -1000}, {1000, -1000}, {1100, -1000}});
	distances(route, "spac", {0});
	EXPECT_EQ(compute_number_of_interpolated_waypoints(route, 1), 2) << "spacing below 1 uses 512";
	EXPECT_EQ(compute_number_of_interpolated_waypoints(route, 2), 1) << "a zero-length leg";
	EXPECT_EQ(compute_number_of_interpolated_waypoints(route, 3), 1) << "a leg shorter than the spacing";
	const int16 dense = action("plmo");
	points(dense, "wayp", {{0, 0}, {1000, -1000}});
	distances(dense, "spac", {300});
	EXPECT_EQ(compute_number_of_interpolated_waypoints(dense, 1), 4);
	const world_point2d half = interpolate_waypoint(route, 1, 1, 3);
	EXPECT_EQ(half.x, (1000 * 85) >> 8);
	EXPECT_EQ(half.y, (-1000 * 85) >> 8) << "floored";
	EXPECT_EQ(interpolate_waypoint(route, 1, 0, 0).x, 0);

	// Congregation refuses at 31 points, naming 32.
	const int16 platoon = action("plat");
	const int16 full = action("plmo");
	std::vector<world_point2d> many(31, world_point2d{100, 100});
	points(full, "wayp", many);
	flag(full, "cong");
	ids(platoon, "#squ", {});
	const int16 platoon_identifier = id(platoon);
	set_unique_map_action_parameter(full, TAG("#own"), _parameter_action_identifier, 1, &platoon_identifier);
	flag(platoon, "#att");
	flag(platoon, "#att");
	trigger_map_action(full);
	EXPECT_NE(log_text().find("Can't have more than 32 waypoints... add waypoint failed."), std::string::npos);
	EXPECT_FALSE(map_action_has_flag(full, TAG("cong")));
	EXPECT_FALSE(map_action_has_flag(platoon, TAG("#att"))) << "every copy goes when read";
}

TEST_F(group_ai_units, follow_and_surround_records_start_afresh_when_the_map_carries_bad_ones)
{
	keep({team0[0], team0[1], team1[0]});
	place(team0[0], 20000, 20000);
	place(team0[1], 20600, 20000);
	place(team1[0], 26000, 20000);
	groups_now();
	const int16 follow = action("foll");
	subjects(follow, "subj", {team0[0]});
	subjects(follow, "obje", {team0[1]});
	uint8 bad[32] = {};
	bad[3] = 0x7F; // action_index far past the store
	bad[2] = 0x7F;
	add(follow, "!glb", _parameter_character, 32, bad);
	EXPECT_EQ(trigger_map_action(follow) & _map_action_proc_deactivate_flag, 0u);
	uint8 record[32];
	ASSERT_TRUE(get_map_action_structure(follow, TAG("!glb"), 32, record));
	int16 index;
	memcpy(&index, record + 2, 2);
	EXPECT_EQ(index, follow);
	EXPECT_EQ(get_monster_data(team0[0])->internal_command_identifier, -2);

	// Surround with 'time' 0 charges on its first run, activating 'acat' once, without a draw.
	const int16 surround = action("surr");
	const int16 charged = action("none");
	subjects(surround, "subj", {team0[0], team0[1]});
	integer(surround, "time", 0);
	ids(surround, "acat", {charged});
	distances(surround, "radi", {0, 6144});
	const uint32 draws = zerv_random_draw_count();
	trigger_map_action(surround);
	EXPECT_TRUE(active(charged));
	deactivate_map_action(charged);
	trigger_map_action(surround);
	EXPECT_FALSE(active(charged));
	EXPECT_EQ(zerv_random_draw_count(), draws);
	uint8 state[12];
	ASSERT_TRUE(get_map_action_structure(surround, TAG("#cst"), 12, state));
	EXPECT_EQ(state[0] | state[1], 1);
}

TEST_F(group_ai_units, rout_look_and_wander_answer_for_their_lists)
{
	keep({team0[0], team0[1], team1[0]});
	place(team0[0], 20000, 20000);
	place(team0[1], 20600, 20000);
	place(team1[0], 60000, 20000);
	groups_now();
	const int16 look = action("look");
	EXPECT_EQ(trigger_map_action(look) & _map_action_proc_succeeded_flag, static_cast<uint32>(_map_action_proc_succeeded_flag))
		<< "no living units";
	subjects(look, "subj", {team0[0]});
	EXPECT_EQ(trigger_map_action(look) & _map_action_proc_succeeded_flag, 0u);

	const int16 wander = action("wand");
	subjects(wander, "subj", {team0[0], team0[1]});
	points(wander, "cent", {{21000, 21000}});
	distances(wander, "radi", {0});
	const uint32 draws = zerv_random_draw_count();
	trigger_map_action(wander);
	EXPECT_EQ(zerv_random_draw_count(), draws + 4);

	const int16 rout = action("rout");
	subjects(rout, "subj", {team0[0]});
	points(rout, "dest", {{10000, 10000}, {22000, 20000}});
	EXPECT_EQ(trigger_map_action(rout) & _map_action_proc_deactivate_flag, 0u);
	EXPECT_EQ(get_monster_data(team0[0])->internal_command_identifier, id(rout));
	delete_monster(team0[0], TRUE);
	EXPECT_EQ(trigger_map_action(rout) & (_map_action_proc_succeeded_flag | _map_action_proc_deactivate_flag),
		static_cast<uint32>(_map_action_proc_succeeded_flag | _map_action_proc_deactivate_flag));
}

TEST_F(group_ai_units, lead_refuses_sixteen_waypoints_and_lets_the_leader_walk_ahead)
{
	keep({team0[0], team0[1], team1[0]});
	place(team0[0], 20000, 20000);
	place(team0[1], 23000, 20000);
	place(team1[0], 80000, 80000);
	const int16 lead = action("lead");
	subjects(lead, "subj", {team0[0]});
	subjects(lead, "lead", {team0[1]});
	distances(lead, "mira", {512});
	distances(lead, "dera", {1024});
	distances(lead, "mara", {2560});
	integer(lead, "type", 0);
	std::vector<world_point2d> route(16, world_point2d{40000, 20000});
	points(lead, "wayp", route);
	EXPECT_EQ(trigger_map_action(lead) & _map_action_proc_deactivate_flag,
		static_cast<uint32>(_map_action_proc_deactivate_flag));
	EXPECT_NE(log_text().find("Can't have more than 16 waypoints"), std::string::npos);

	set_unique_map_action_parameter(lead, TAG("wayp"), _parameter_world_point2d, 2, route.data());
	integers(lead, "deby", {120, 0});
	const uint32 draws = zerv_random_draw_count();
	EXPECT_EQ(trigger_map_action(lead) & _map_action_proc_deactivate_flag, 0u);
	EXPECT_EQ(zerv_random_draw_count(), draws);
	EXPECT_EQ(get_monster_data(team0[1])->internal_command_identifier, id(lead)) << "too far ahead: leading";
	EXPECT_EQ(integer_of(lead, "#stt"), 1);

	// A stored waypoint index past the route counts as its last point.
	set_unique_map_action_parameter(lead, TAG("#way"), _parameter_integer, 1, &std::vector<int32>{99}[0]);
	EXPECT_EQ(trigger_map_action(lead) & _map_action_proc_deactivate_flag, 0u);
	EXPECT_EQ(integer_of(lead, "#way"), 1);

	// The led group dies: no centre is taken, and the action ends.
	delete_monster(team0[0], TRUE);
	EXPECT_EQ(trigger_map_action(lead) & _map_action_proc_deactivate_flag,
		static_cast<uint32>(_map_action_proc_deactivate_flag));
}

} // namespace

namespace {

bool every_cell_open(int32, int32, const void *) { return true; }
bool west_closed(int32 x, int32, const void *) { return x > 40; }

TEST_F(group_ai_units, the_level_script_appends_its_gate_and_nine_actions_and_names_a_closed_point)
{
	std::string failed;
	ASSERT_TRUE(append_level_group_ai_actions(every_cell_open, nullptr, &failed)) << failed;
	const char *names[] = {"computer team", "escort", "archers follow", "flank guard", "guard flank", "hold flank",
		"flank volley", "pickets", "picket squad", "probe"};
	int16 found = 0;
	for (int16 i = 0; i < MAXIMUM_MAP_ACTIONS_PER_MAP && found < LEVEL_GROUP_AI_ACTION_COUNT; ++i)
	{
		if (get_map_action(i) && strcmp(get_map_action_name(i), names[found]) == 0) ++found;
	}
	EXPECT_EQ(found, LEVEL_GROUP_AI_ACTION_COUNT) << "in order";
	EXPECT_FALSE(append_level_group_ai_actions(west_closed, nullptr, &failed));
	EXPECT_EQ(failed, "escort");
}

} // namespace
