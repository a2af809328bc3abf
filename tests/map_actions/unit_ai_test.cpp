// The unit procs on the demo armies, thinned out to the units each case
// places by hand; scripts are built in the running map's store.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "demo_armies_fixture.h"
#include "map_actions/action_procs.h"
#include "map_actions/map_actions_test_support.h"
#include "map_actions/unit_ai_action_procs.h"
#include "mesh.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "objects.h"
#include "projectile_definitions.h"
#include "spatial_groups.h"
#include "support/bnch_unit_ai_script.h"
#include "units_content.h"
#include "world.h"

namespace {

class unit_ai_fixture : public map_actions_fixture, protected hand_placed_units
{
protected:
	void SetUp() override
	{
		zerv_harness_fixture::SetUp();
		harness_battle_setup(&setup, TAG("demo"));
		ASSERT_TRUE(harness_start_map(&setup));
		reset_map_actions_test_hooks();
		reset_monsters_test_hooks();
		saved_version = game_play_version;
		set_map_action_debug_status(_map_action_debug_on);
	}
	void TearDown() override
	{
		set_map_action_debug_status(_map_action_debug_off);
		map_actions_fixture::TearDown();
	}

	static monster_data *m(int16 index) { return get_monster_data(index); }
	static world_distance cell(int32 c) { return c * WORLD_ONE + WORLD_ONE_HALF; }

	static bool has_record(int16 action_index)
	{
		return get_map_action_parameter(nullptr, action_index, _return_empty_arrays_flag, TAG("#glo"),
			_parameter_character);
	}
};

using unit_ai_registry = unit_ai_fixture;
using unit_ai_shaman = unit_ai_fixture;
using unit_ai_melee = unit_ai_fixture;
using unit_ai_assassin = unit_ai_fixture;
using unit_ai_meander = unit_ai_fixture;
using unit_ai_suicide = unit_ai_fixture;
using unit_ai_invisible = unit_ai_fixture;
using unit_ai_legion = unit_ai_fixture;
using unit_ai_harass = unit_ai_fixture;

TEST_F(unit_ai_registry, the_unit_procs_fill_their_rows)
{
	EXPECT_EQ(action_tag_to_action_proc(TAG("sham")), shaman_action_proc);
	EXPECT_EQ(action_tag_to_action_proc(TAG("mele")), melee_action_proc);
	EXPECT_EQ(action_tag_to_action_proc(TAG("assa")), assassin_action_proc);
	EXPECT_EQ(action_tag_to_action_proc(TAG("mean")), meander_action_proc);
}

TEST_F(unit_ai_shaman, heals_the_most_wounded_ally_below_the_threshold_or_falls_back)
{
	const std::vector<int16> healer = take(1, DEFAULT_SWORDSMAN_TAG, 1);
	const std::vector<int16> allies = take(1, DEFAULT_SWORDSMAN_TAG, 3);
	// The fallback gives the allies experience: what it did shows that it ran.
	const int16 fall = action("ctrl");
	subjects(fall, "subj", allies);
	integer(fall, "exp+", 7);
	const uint8 experience = m(allies[0])->experience;
	const int16 a = action("sham");
	subjects(a, "subj", healer);
	subjects(a, "ally", allies);
	// Without a threshold nothing happens.
	EXPECT_EQ(shaman_action_proc(a), 0u);
	EXPECT_NE(log_text().find("No heal threshold!"), std::string::npos);

	fixed_value(a, "<vit", FIXED_ONE_HALF);
	ids(a, "fall", {fall});
	for (int16 u : allies) object_of(u)->vitality = object_of(u)->maximum_vitality;
	EXPECT_EQ(shaman_action_proc(a), 0u);
	EXPECT_EQ(m(allies[0])->experience, MIN(experience + 7, 255)) << "all allies above the threshold";

	// The lowest fraction of each unit's own maximum wins.
	for (int16 i = 0; i < 3; ++i)
		object_of(allies[i])->vitality = static_cast<short_fixed>(object_of(allies[i])->maximum_vitality / (i == 1 ? 5 : 3));
	EXPECT_EQ(shaman_action_proc(a), static_cast<uint32>(_map_action_proc_succeeded_flag));
	EXPECT_EQ(m(healer[0])->internal_command_identifier, id(a));
	EXPECT_EQ(m(healer[0])->target_monster_index, allies[1]);
}

TEST_F(unit_ai_melee, closes_in_then_attacks_and_obje_ignores_clusters_without_its_targets)
{
	const std::vector<int16> band = take_at(0, DEFAULT_SWORDSMAN_TAG, {{20, 20}, {21, 20}, {22, 20}});
	const std::vector<int16> near_enemy = take_at(1, DEFAULT_SWORDSMAN_TAG, {{21, 30}});
	const std::vector<int16> far_enemy = take_at(1, DEFAULT_SWORDSMAN_TAG, {{21, 60}});
	keep_only_taken();
	build_spatial_groups();

	const int16 a = action("mele");
	subjects(a, "subj", band);
	subjects(a, "obje", far_enemy);
	EXPECT_EQ(melee_action_proc(a), 0u);
	// Moving toward the far cluster, the only one holding a target.
	EXPECT_EQ(m(band[1])->internal_command_identifier, -2);
	EXPECT_GT(m(band[1])->waypoints[0].y, cell(50));

	// Without targets the near cluster is chosen; once within the band's extent it attacks.
	const int16 b = action("mele");
	subjects(b, "subj", band);
	place(near_enemy[0], cell(21), cell(20) + 256);
	build_spatial_groups();
	EXPECT_EQ(melee_action_proc(b), 0u);
	struct
	{
		uint32 flags;
		int16 action_index, state, formation_index, unused;
		int32 threshold;
	} record;
	ASSERT_TRUE(get_map_action_structure(b, TAG("#glo"), sizeof(record), &record));
	EXPECT_EQ(record.state, 1);
	EXPECT_EQ(record.threshold, 1536);

	// A record naming another action is rebuilt.
	record.action_index = a;
	record.state = 7;
	set_unique_map_action_parameter(b, TAG("#glo"), _parameter_character, sizeof(record), &record);
	EXPECT_EQ(melee_action_proc(b), 0u);
	ASSERT_TRUE(get_map_action_structure(b, TAG("#glo"), sizeof(record), &record));
	EXPECT_EQ(record.action_index, b);

	for (int16 u : band) delete_monster(u, TRUE);
	EXPECT_EQ(melee_action_proc(b), static_cast<uint32>(_map_action_proc_deactivate_flag));
}

TEST_F(unit_ai_assassin, delays_draw_only_with_dela_and_a_lone_enemy_is_hunted_however_far)
{
	const std::vector<int16> killers = take_at(1, DEFAULT_SWORDSMAN_TAG, {{10, 10}, {12, 10}});
	const std::vector<int16> lone = take_at(0, DEFAULT_SWORDSMAN_TAG, {{60, 60}});
	const std::vector<int16> group = take_at(0, DEFAULT_SWORDSMAN_TAG, {{40, 10}, {41, 10}, {42, 10}});
	keep_only_taken();
	build_spatial_groups();

	// 'dela' 0 is no delay and no draw.
	const int16 a = action("assa");
	subjects(a, "subj", killers);
	integer(a, "dela", 0);
	uint32 draws = zerv_random_draw_count();
	EXPECT_EQ(assassin_action_proc(a), 0u);
	EXPECT_EQ(zerv_random_draw_count(), draws);
	EXPECT_NE(log_text().find("#2 assassin monsters active"), std::string::npos);
	// The nearest group is far: both go straight for the lone enemy.
	EXPECT_EQ(m(killers[0])->target_monster_index, lone[0]);
	EXPECT_EQ(m(killers[0])->internal_command_identifier, id(a));

	const int16 b = action("assa");
	subjects(b, "subj", killers);
	integer(b, "dela", 5);
	draws = zerv_random_draw_count();
	EXPECT_EQ(assassin_action_proc(b), 0u);
	EXPECT_EQ(zerv_random_draw_count(), draws + 2);

	// No enemy at all: idle.
	for (int16 u : group) delete_monster(u, TRUE);
	delete_monster(lone[0], TRUE);
	build_spatial_groups();
	EXPECT_EQ(assassin_action_proc(a), 0u);
	EXPECT_NE(log_text().find("assassin unit #0 idle"), std::string::npos);
}

TEST_F(unit_ai_assassin, units_of_different_parity_skirt_a_near_group_in_opposite_directions)
{
	std::vector<int16> killers = take(1, DEFAULT_SWORDSMAN_TAG, 2);
	const std::vector<int16> group = take(0, DEFAULT_SWORDSMAN_TAG, 3);
	keep_only_taken();
	ASSERT_NE(killers[0] & 1, killers[1] & 1) << "the demo's neighbouring units alternate parity";
	for (size_t i = 0; i < group.size(); ++i) place(group[i], cell(40 + static_cast<int32>(i)), cell(40));
	place(killers[0], cell(41), cell(46));
	place(killers[1], cell(41), cell(46) + 8);
	build_spatial_groups();
	const int16 a = action("assa");
	subjects(a, "subj", killers);
	EXPECT_EQ(assassin_action_proc(a), 0u);
	const world_distance x0 = m(killers[0])->waypoints[0].x, x1 = m(killers[1])->waypoints[0].x;
	const world_distance middle = cell(41);
	EXPECT_TRUE((x0 < middle && x1 > middle) || (x0 > middle && x1 < middle)) << x0 << " " << x1;
	EXPECT_EQ(m(killers[0])->internal_command_identifier, -2);
}

TEST_F(unit_ai_meander, too_many_waypoints_leave_no_record_and_destinations_scatter_in_the_draw_order)
{
	const std::vector<int16> walkers = take_at(0, DEFAULT_SWORDSMAN_TAG, {{30, 30}, {32, 30}});
	keep_only_taken();

	const int16 bad = action("mean");
	subjects(bad, "subj", walkers);
	points(bad, "wayp", std::vector<world_point2d>(33, world_point2d{cell(30), cell(30)}));
	EXPECT_EQ(meander_action_proc(bad), 0u);
	EXPECT_FALSE(has_record(bad));
	EXPECT_NE(log_text().find("too many waypoints in search group!"), std::string::npos);
	EXPECT_NE(log_text().find("couldn't create globals"), std::string::npos);

	const int16 a = action("mean");
	subjects(a, "subj", walkers);
	points(a, "wayp", {{cell(40), cell(40)}});
	// Two initial delays, then each run: a unit whose delay ran out draws four times.
	uint32 draws = zerv_random_draw_count();
	EXPECT_EQ(meander_action_proc(a), 0u);
	EXPECT_GE(zerv_random_draw_count(), draws + 2);
	for (int32 run = 0; run < 12; ++run)
	{
		draws = zerv_random_draw_count();
		EXPECT_EQ(meander_action_proc(a), 0u);
		EXPECT_EQ((zerv_random_draw_count() - draws) % 4, 0u);
	}
	for (int16 u : walkers)
	{
		EXPECT_EQ(m(u)->internal_command_identifier, id(a));
		EXPECT_LE(std::abs(m(u)->waypoints[0].x - cell(40)), 2560);
		EXPECT_LE(std::abs(m(u)->waypoints[0].y - cell(40)), 2560);
	}
}

TEST_F(unit_ai_meander, a_close_enemy_makes_the_unit_flee_with_delay_zero_and_a_lost_unit_runs_casu)
{
	const std::vector<int16> walker = take_at(0, DEFAULT_SWORDSMAN_TAG, {{30, 30}});
	const std::vector<int16> enemy = take_at(1, DEFAULT_SWORDSMAN_TAG, {{32, 30}});
	keep_only_taken();
	const int16 lost = action("dela");
	const int16 a = action("mean");
	subjects(a, "subj", walker);
	flag(a, "thre");
	ids(a, "casu", {lost});
	EXPECT_EQ(meander_action_proc(a), 0u);
	EXPECT_EQ(m(walker[0])->internal_command_identifier, -2);
	EXPECT_LT(m(walker[0])->waypoints[0].x, cell(30) - 4000);

	delete_monster(walker[0], TRUE);
	EXPECT_EQ(meander_action_proc(a), static_cast<uint32>(_map_action_proc_deactivate_flag));
	EXPECT_TRUE(active(lost));
}

TEST_F(unit_ai_meander, a_scan_wider_than_32_cells_is_cut_with_a_line)
{
	const std::vector<int16> walker = take_at(0, DEFAULT_SWORDSMAN_TAG, {{30, 30}});
	const std::vector<int16> enemy = take_at(1, DEFAULT_SWORDSMAN_TAG, {{63, 30}});
	keep_only_taken();
	const int16 a = action("mean");
	subjects(a, "subj", walker);
	flag(a, "thre");
	integer(a, "tscw", 40);
	EXPECT_EQ(meander_action_proc(a), 0u);
	EXPECT_NE(m(walker[0])->internal_command_identifier, -2) << "the enemy 33 cells off is not seen";
	EXPECT_NE(log_text().find("threat scan width above 32: 32 is used"), std::string::npos);
}

TEST_F(unit_ai_suicide, the_inhibition_holds_delays_and_three_adjacent_enemies_set_off_the_charge)
{
	const std::vector<int16> bomber = take_at(1, DEFAULT_SWORDSMAN_TAG, {{30, 30}});
	const std::vector<int16> enemies = take_at(0, DEFAULT_SWORDSMAN_TAG, {{60, 30}, {61, 30}, {62, 30}});
	keep_only_taken();
	build_spatial_groups();

	const int16 hold = action("dela");
	const int16 a = action("suic");
	subjects(a, "subj", bomber);
	flag(a, "dumb");
	integer(a, "dela", 1000);
	ids(a, "suin", {hold});
	EXPECT_EQ(suicide_action_proc(a), 0u);
	EXPECT_NE(log_text().find("these guys are dumb!"), std::string::npos);
	EXPECT_NE(log_text().find("#1 suicide monsters active"), std::string::npos);
	struct
	{
		uint32 flags;
		int16 action_index, inhibition;
		int32 radius;
		int16 fear, threshold;
		int32 power, distance, detonation;
		int16 count;
		int16 units[64][4];
		int16 unused;
	} record;
	static_assert(sizeof(record) == 544);
	ASSERT_TRUE(get_map_action_structure(a, TAG("#glo"), sizeof(record), &record));
	const int16 delay = record.units[0][3];
	ASSERT_GT(delay, 0);
	EXPECT_EQ(record.radius, 25600);
	// The inhibition action has not succeeded: the delay stands.
	EXPECT_EQ(suicide_action_proc(a), 0u);
	ASSERT_TRUE(get_map_action_structure(a, TAG("#glo"), sizeof(record), &record));
	EXPECT_EQ(record.units[0][3], delay);
	get_map_action(hold)->flags |= _map_action_succeeded_flag;
	EXPECT_EQ(suicide_action_proc(a), 0u);
	ASSERT_TRUE(get_map_action_structure(a, TAG("#glo"), sizeof(record), &record));
	EXPECT_EQ(record.units[0][3], delay - 1);

	// Shown at once, dumb: it advances on the enemy.
	const int16 b = action("suic");
	subjects(b, "subj", bomber);
	flag(b, "dumb");
	EXPECT_EQ(suicide_action_proc(b), 0u);
	EXPECT_EQ(m(bomber[0])->internal_command_identifier, -2);
	EXPECT_GT(m(bomber[0])->waypoints[0].x, cell(55));

	// Three enemies in the 5 x 5 block: a special-ability order, no movement.
	place(enemies[0], cell(31), cell(30));
	place(enemies[1], cell(32), cell(31));
	place(enemies[2], cell(28), cell(28));
	build_spatial_groups();
	m(bomber[0])->waypoint_count = 0;
	EXPECT_EQ(suicide_action_proc(b), 0u);
	EXPECT_EQ(m(bomber[0])->waypoint_count, 0);
	EXPECT_TRUE(m(bomber[0])->flags & _monster_will_use_special_ability_flag);
}

TEST_F(unit_ai_suicide, a_zero_ring_radius_avoids_without_dividing_and_a_lost_unit_runs_casu)
{
	const std::vector<int16> bombers = take_at(1, DEFAULT_SWORDSMAN_TAG, {{30, 30}, {40, 30}});
	const std::vector<int16> enemy = take_at(0, DEFAULT_SWORDSMAN_TAG, {{55, 30}});
	keep_only_taken();
	build_spatial_groups();
	const int16 lost = action("dela");
	const int16 a = action("suic");
	subjects(a, "subj", bombers);
	distance(a, "dera", 0);
	integer(a, "deth", 99);
	ids(a, "casu", {lost});
	EXPECT_EQ(suicide_action_proc(a), 0u);
	EXPECT_GT(m(bombers[0])->waypoints[0].x, cell(50));

	delete_monster(bombers[1], TRUE);
	EXPECT_EQ(suicide_action_proc(a), 0u);
	EXPECT_NE(log_text().find("suicide unit #1 died"), std::string::npos);
	EXPECT_TRUE(active(lost));
}

TEST_F(unit_ai_invisible, set_up_errors_the_hunt_without_waypoints_and_its_end_when_the_unit_shows)
{
	const std::vector<int16> searchers = take_at(1, DEFAULT_SWORDSMAN_TAG, {{20, 20}, {22, 20}});
	const std::vector<int16> hunted = take_at(0, DEFAULT_SWORDSMAN_TAG, {{40, 40}});
	keep_only_taken();

	const int16 bad = action("invi");
	subjects(bad, "subj", searchers);
	EXPECT_EQ(invisible_action_proc(bad), 0u);
	EXPECT_FALSE(has_record(bad));
	EXPECT_NE(log_text().find("unable to get the invisible unit! (or more than 1)"), std::string::npos);

	m(hunted[0])->extra_flags |= _monster_is_invisible_extra_flag;
	const int16 seen = action("dela");
	const int16 a = action("invi");
	subjects(a, "subj", searchers);
	subjects(a, "invi", hunted);
	ids(a, "visi", {seen});
	EXPECT_EQ(invisible_action_proc(a), 0u);
	EXPECT_NE(log_text().find("#2 pursuing monsters active"), std::string::npos);
	// Without waypoints every new destination is the searcher's own place, three draws each.
	for (int32 run = 0; run < 14; ++run)
	{
		const uint32 draws = zerv_random_draw_count();
		EXPECT_EQ(invisible_action_proc(a), 0u);
		EXPECT_EQ((zerv_random_draw_count() - draws) % 3, 0u);
	}
	EXPECT_NE(log_text().find("set to state moving"), std::string::npos);
	EXPECT_EQ(m(searchers[0])->internal_command_identifier, id(a));

	m(hunted[0])->extra_flags &= ~_monster_is_invisible_extra_flag;
	EXPECT_EQ(invisible_action_proc(a), static_cast<uint32>(_map_action_proc_deactivate_flag));
	EXPECT_TRUE(active(seen));
}

TEST_F(unit_ai_invisible, a_long_trip_saturates_the_delay_and_ground_attacks_stay_within_the_slop)
{
	const std::vector<int16> searcher = take_at(1, DEFAULT_SWORDSMAN_TAG, {{2, 2}});
	const std::vector<int16> hunted = take_at(0, DEFAULT_SWORDSMAN_TAG, {{60, 60}});
	keep_only_taken();
	m(hunted[0])->extra_flags |= _monster_is_invisible_extra_flag;
	m(searcher[0])->base_movement_speed = 1;
	const int16 a = action("invi");
	subjects(a, "subj", searcher);
	subjects(a, "invi", hunted);
	EXPECT_EQ(invisible_action_proc(a), 0u);
	uint8 record[492];
	ASSERT_TRUE(get_map_action_structure(a, TAG("#glo"), sizeof(record), record));
	const world_point2d far = {cell(60), cell(60)};
	set_unit_state(record, 0, _unit_moving, &far);
	int8 delay;
	std::memcpy(&delay, record + 38 + 6, 1);
	EXPECT_EQ(delay, 127);
	set_unit_state(record, 0, _unit_attacking_ground, &far);
	EXPECT_NE(log_text().find("unit 0 set to state attacking ground"), std::string::npos);
	EXPECT_LE(std::abs(m(searcher[0])->target_location.x - far.x), 768);
	EXPECT_LE(std::abs(m(searcher[0])->target_location.y - far.y), 768);
}

struct legion_head
{
	uint32 flags;
	int32 radii[3];
	int32 ratio, delta;
	int16 action_index, state;
	int32 vitality, power;
	uint16 facing;
	int16 circle;
	int32 threshold;
	world_point2d center, line[2];
	int32 group_count;
	struct
	{
		world_point2d relative;
		uint16 relative_facing, unused;
		int32 formation, guard;
		int16 container, count;
		uint32 offset;
		world_point2d actual;
		int16 flags, state;
		world_point2d desired;
		uint16 desired_facing, unused2;
	} groups[6];
};
static_assert(sizeof(legion_head) == 384);

TEST_F(unit_ai_legion, set_up_reads_the_layout_stops_at_a_missing_container_and_keeps_a_bad_dependency_by_version)
{
	const std::vector<int16> west = take(1, DEFAULT_SWORDSMAN_TAG, 2);
	const std::vector<int16> east = take(1, DEFAULT_SWORDSMAN_TAG, 2);
	keep_only_taken();
	const int16 c0 = action("dela"), c1 = action("dela");
	subjects(c0, "subj", west);
	subjects(c1, "subj", east);

	const int16 none = action("legi");
	EXPECT_EQ(legion_action_proc(none), 0u);
	EXPECT_NE(log_text().find("missing or incomplete line parameter"), std::string::npos);
	EXPECT_FALSE(has_record(none));

	const int16 a = action("legi");
	points(a, "line", {{cell(20), cell(40)}, {cell(40), cell(40)}});
	integer(a, "coun", 3);
	points(a, "cent", {{10240, 10240}});
	const uint16 quarter = 16384;
	add(a, "faci", _parameter_angle, 1, &quarter);
	points(a, "grce", {{10240 + 5120, 10240}, {10240, 10240}, {10240, 12000}});
	ids(a, "grun", {c0, c1});
	const int32 guards[3] = {5, NONE, NONE};
	add(a, "grgd", _parameter_integer, 3, guards);
	game_play_version = 1715;
	legion_action_proc(a);
	EXPECT_NE(log_text().find("group #0/#3 has missing or invalid guard dependency index"), std::string::npos);
	EXPECT_NE(log_text().find("group #2/#3 has missing or invalid unit container"), std::string::npos);
	legion_head record;
	ASSERT_TRUE(get_map_action_structure(a, TAG("#glo"), sizeof(record), &record));
	EXPECT_EQ(record.group_count, 2) << "only the groups fully read";
	EXPECT_EQ(record.groups[0].relative.x, 0);
	EXPECT_EQ(record.groups[0].relative.y, -5120);
	EXPECT_EQ(record.groups[0].guard, 5) << "kept as stored at 1715";
	EXPECT_EQ(record.groups[0].relative_facing, 0) << "without 'grfa' a group faces the layout's way";
	EXPECT_EQ(record.groups[1].relative_facing, 0);
	EXPECT_EQ(record.radii[0], 25600);
	EXPECT_EQ(record.radii[1], 10240);
	EXPECT_EQ(record.ratio, 2 * FIXED_ONE);

	// Each activation rebuilds; above 1715 the bad dependency is reset.
	game_play_version = 1716;
	get_map_action(a)->flags |= _map_action_was_just_activated_flag;
	legion_action_proc(a);
	ASSERT_TRUE(get_map_action_structure(a, TAG("#glo"), sizeof(record), &record));
	EXPECT_EQ(record.groups[0].guard, NONE);
}

// Every per-group list reads as one list over all its parameters.
TEST_F(unit_ai_legion, a_layout_split_over_two_parameters_of_each_list_reads_whole)
{
	int16 containers[3];
	for (int16 &c : containers)
	{
		c = action("dela");
		subjects(c, "subj", take(1, DEFAULT_SWORDSMAN_TAG, 1));
	}
	keep_only_taken();
	const int16 a = action("legi");
	points(a, "line", {{cell(20), cell(40)}, {cell(40), cell(40)}});
	integer(a, "coun", 3);
	points(a, "cent", {{10240, 10240}});
	const uint16 layout_facing = 0;
	add(a, "faci", _parameter_angle, 1, &layout_facing);
	const uint16 facings[3] = {0, 100, 200};
	const int32 formations[3] = {3, 4, 5}, guards[3] = {NONE, 0, 1};
	add(a, "grfa", _parameter_angle, 1, facings);
	add(a, "grfa", _parameter_angle, 2, facings + 1);
	add(a, "grfo", _parameter_integer, 1, formations);
	add(a, "grfo", _parameter_integer, 2, formations + 1);
	points(a, "grce", {{10240, 10240}});
	points(a, "grce", {{10240 + 1024, 10240}, {10240, 10240 + 2048}});
	add(a, "grgd", _parameter_integer, 1, guards);
	add(a, "grgd", _parameter_integer, 2, guards + 1);
	ids(a, "grun", {containers[0]});
	ids(a, "grun", {containers[1], containers[2]});
	legion_action_proc(a);
	EXPECT_EQ(log_text().find("has missing or invalid"), std::string::npos);
	legion_head record;
	ASSERT_TRUE(get_map_action_structure(a, TAG("#glo"), sizeof(record), &record));
	ASSERT_EQ(record.group_count, 3);
	for (int32 g = 0; g < 3; ++g)
	{
		EXPECT_EQ(record.groups[g].container, containers[g]) << g;
		EXPECT_EQ(record.groups[g].formation, formations[g]) << g;
		EXPECT_EQ(record.groups[g].guard, guards[g]) << g;
		EXPECT_EQ(record.groups[g].relative_facing, static_cast<uint16>(-facings[g])) << g;
	}
	EXPECT_EQ(record.groups[1].relative.x, 1024);
	EXPECT_EQ(record.groups[2].relative.y, 2048);
}

TEST_F(unit_ai_legion, advances_without_enemies_attacks_when_called_as_ally_and_falls_back_when_cornered)
{
	const std::vector<int16> legion = take_at(1, DEFAULT_SWORDSMAN_TAG, {{20, 40}, {21, 40}, {22, 40}});
	const std::vector<int16> enemy = take_at(0, DEFAULT_SWORDSMAN_TAG, {{62, 2}}); // out of sight
	keep_only_taken();
	build_spatial_groups();
	const int16 container = action("dela");
	subjects(container, "subj", legion);
	const int16 fall = action("dela");
	const int16 a = action("legi");
	points(a, "line", {{cell(20), cell(40)}, {cell(40), cell(40)}});
	integer(a, "coun", 1);
	const uint16 south = 16384;
	add(a, "faci", _parameter_angle, 1, &south);
	ids(a, "grun", {container});
	ids(a, "fall", {fall});
	EXPECT_EQ(legion_action_proc(a), 0u);
	EXPECT_EQ(m(legion[0])->internal_command_identifier, -2);
	EXPECT_GT(m(legion[1])->waypoints[0].x, cell(35)) << "toward the advance point";
	EXPECT_EQ(m(legion[1])->final_desired_yaw, 0) << "facing along the line, whatever the layout's facing";
	legion_head record;
	ASSERT_TRUE(get_map_action_structure(a, TAG("#glo"), sizeof(record), &record));
	EXPECT_EQ(record.state, 0);

	const int16 other = action("dela");
	call_legion_as_ally(other);
	EXPECT_NE(log_text().find("invalid legion ally: not a legion"), std::string::npos);
	call_legion_as_ally(a);
	EXPECT_EQ(legion_action_proc(a), 0u);
	ASSERT_TRUE(get_map_action_structure(a, TAG("#glo"), sizeof(record), &record));
	EXPECT_EQ(record.state, 1) << "attacks with no enemy in range";
	EXPECT_EQ(record.flags & 32u, 0u);

	// An enemy whose range covers the whole line: unable to retreat, 'fall' runs.
	monster_definition *definition = get_monster_definition(m(enemy[0])->type);
	const monster_definition saved = *definition;
	definition->longest_range = 30000;
	place(enemy[0], cell(30), cell(42));
	build_spatial_groups();
	const uint32 result = legion_action_proc(a);
	*definition = saved;
	EXPECT_EQ(result, static_cast<uint32>(_map_action_proc_deactivate_flag));
	EXPECT_TRUE(active(fall));
}

struct harass_unit
{
	int16 index, identifier, last_vitality, state, sought, flags, fear, delay;
};
int16 harass_unit_field(int16 action_index, int16 position, size_t offset)
{
	uint8 record[1060];
	if (!get_map_action_structure(action_index, TAG("#glo"), sizeof(record), record)) return -999;
	int16 value;
	std::memcpy(&value, record + 24 + 16 * position + offset, 2);
	return value;
}

TEST_F(unit_ai_harass, set_up_marks_kinds_that_cannot_carry_draws_only_with_dela_and_runs_casu_per_lost_unit)
{
	const std::vector<int16> band = take_at(1, DEFAULT_SWORDSMAN_TAG, {{20, 20}, {21, 20}, {22, 20}});
	keep_only_taken();
	build_spatial_groups();
	const int16 lost = action("math");
	const int16 a = action("girl");
	subjects(a, "subj", band);
	ids(a, "casu", {lost});
	uint32 draws = zerv_random_draw_count();
	EXPECT_EQ(harass_action_proc(a), 0u);
	EXPECT_EQ(zerv_random_draw_count(), draws);
	EXPECT_NE(log_text().find("#3 harassing monsters active"), std::string::npos);
	const bool cannot_carry = get_monster_definition_for_monster(band[0])->desired_projectile_volume == NONE;
	EXPECT_EQ((harass_unit_field(a, 0, offsetof(harass_unit, flags)) & 2) != 0, cannot_carry);

	const int16 b = action("girl");
	subjects(b, "subj", band);
	integer(b, "dela", 7);
	draws = zerv_random_draw_count();
	EXPECT_EQ(harass_action_proc(b), 0u);
	EXPECT_EQ(zerv_random_draw_count(), draws + 3);

	// Two lost in one tick: both leave the list and 'casu' runs.
	delete_monster(band[0], TRUE);
	delete_monster(band[1], TRUE);
	EXPECT_EQ(harass_action_proc(a), 0u);
	uint8 record[1060];
	ASSERT_TRUE(get_map_action_structure(a, TAG("#glo"), sizeof(record), record));
	int16 count;
	std::memcpy(&count, record + 22, 2);
	EXPECT_EQ(count, 1);
	EXPECT_TRUE(active(lost));
	delete_monster(band[2], TRUE);
	EXPECT_EQ(harass_action_proc(a), static_cast<uint32>(_map_action_proc_deactivate_flag));
}

TEST_F(unit_ai_harass, an_aggressive_unit_circles_in_front_of_a_group_and_retreats_behind_it)
{
	const std::vector<int16> skirmishers = take(1, DEFAULT_SWORDSMAN_TAG, 2);
	const std::vector<int16> group = take(0, DEFAULT_SWORDSMAN_TAG, 3);
	keep_only_taken();
	// The enemy group faces east (yaw 0).
	for (size_t i = 0; i < group.size(); ++i) place(group[i], cell(40), cell(39 + static_cast<int32>(i)), 0);
	place(skirmishers[0], cell(42), cell(40)); // in front
	place(skirmishers[1], cell(37) + 256, cell(46)); // behind, beyond a diagonal step
	build_spatial_groups();
	const int16 a = action("girl");
	subjects(a, "subj", {skirmishers[0]});
	EXPECT_EQ(harass_action_proc(a), 0u);
	EXPECT_EQ(harass_unit_field(a, 0, offsetof(harass_unit, state)), 3);
	EXPECT_GE(distance2d(&m(skirmishers[0])->waypoints[0], &first_spatial_group()->center), 3000);
	EXPECT_NE(log_text().find("unit 0 set to state 3"), std::string::npos);

	place(skirmishers[1], cell(38), cell(40));
	build_spatial_groups();
	const int16 b = action("girl");
	subjects(b, "subj", {skirmishers[1]});
	EXPECT_EQ(harass_action_proc(b), 0u);
	EXPECT_EQ(harass_unit_field(b, 0, offsetof(harass_unit, state)), 6) << "a swordsman behind retreats";
}

TEST_F(unit_ai_harass, the_timid_variant_lets_reev_runs_pass_between_re_evaluations_and_a_zero_reach_counts_as_one)
{
	const std::vector<int16> skirmisher = take(1, DEFAULT_SWORDSMAN_TAG, 1);
	const std::vector<int16> enemy = take(0, DEFAULT_SWORDSMAN_TAG, 1);
	keep_only_taken();
	place(skirmisher[0], cell(20), cell(20));
	place(enemy[0], cell(24), cell(20), 32768);
	monster_definition *definition = get_monster_definition(m(enemy[0])->type);
	const monster_definition saved = *definition;
	definition->longest_range = 0;
	build_spatial_groups();
	ASSERT_EQ(first_spatial_group()->radius + first_spatial_group()->range, 0) << "a lone unit without range";
	const int16 a = action("girl");
	subjects(a, "subj", skirmisher);
	flag(a, "timd");
	integer(a, "reev", 3);
	// A re-evaluation sets the delay back to 'reev': runs 1, 5 and 9 of 9.
	std::vector<int32> re_evaluated;
	for (int32 run = 1; run <= 9; ++run)
	{
		EXPECT_EQ(harass_action_proc(a), 0u);
		if (harass_unit_field(a, 0, offsetof(harass_unit, delay)) == 3) re_evaluated.push_back(run);
		if (run == 1)
		{
			EXPECT_EQ(harass_unit_field(a, 0, offsetof(harass_unit, state)), 9) << "far beyond twice a reach of one";
		}
	}
	EXPECT_EQ(re_evaluated, (std::vector<int32>{1, 5, 9}));
	*definition = saved;
}

TEST_F(unit_ai_harass, radii_and_thresholds_are_read_as_world_distances)
{
	const std::vector<int16> band = take_at(1, DEFAULT_SWORDSMAN_TAG, {{20, 20}, {21, 20}});
	keep_only_taken();
	build_spatial_groups();
	const int16 container = action("dela");
	subjects(container, "subj", band);
	int32 value[2];
	uint8 record[1060];

	const int16 harass = action("girl");
	subjects(harass, "subj", band);
	distance(harass, "radi", 7000);
	distance(harass, "prra", 3000);
	harass_action_proc(harass);
	ASSERT_TRUE(get_map_action_structure(harass, TAG("#glo"), sizeof(record), record));
	std::memcpy(value, record + 4, 8);
	EXPECT_EQ(value[0], 7000);
	EXPECT_EQ(value[1], 3000);

	const int16 legion = action("legi");
	points(legion, "line", {{cell(20), cell(20)}, {cell(30), cell(20)}});
	integer(legion, "coun", 1);
	ids(legion, "grun", {container});
	distance(legion, "vira", 9000);
	distance(legion, "podt", 1000);
	legion_action_proc(legion);
	legion_head head;
	ASSERT_TRUE(get_map_action_structure(legion, TAG("#glo"), sizeof(head), &head));
	EXPECT_EQ(head.radii[0], 9000);
	EXPECT_EQ(head.threshold, 1000);

	const int16 melee = action("mele");
	subjects(melee, "subj", band);
	distance(melee, "dith", 500);
	melee_action_proc(melee);
	ASSERT_TRUE(get_map_action_structure(melee, TAG("#glo"), 16, record));
	std::memcpy(value, record + 12, 4);
	EXPECT_EQ(value[0], 500);

	const int16 suicide = action("suic");
	subjects(suicide, "subj", band);
	distance(suicide, "radi", 8000);
	distance(suicide, "dith", 600);
	distance(suicide, "dera", 2000);
	suicide_action_proc(suicide);
	ASSERT_TRUE(get_map_action_structure(suicide, TAG("#glo"), 544, record));
	std::memcpy(value, record + 8, 4);
	EXPECT_EQ(value[0], 8000);
	std::memcpy(value, record + 20, 8);
	EXPECT_EQ(value[0], 600);
	EXPECT_EQ(value[1], 2000);
}

// The spatial group of a team's lone unit.
const spatial_group *group_of_team(int16 team)
{
	for (const spatial_group *g = first_spatial_group(); g; g = next_spatial_group(g))
	{
		if (g->team_index == team) return g;
	}
	return nullptr;
}

TEST_F(unit_ai_legion, damage_is_a_loss_beyond_the_delta_since_the_last_hit_and_a_guard_watches_4096_then_6144)
{
	// Damage: 'vide' 1.0 is 256 of vitality, measured from the sum kept at the last hit.
	const std::vector<int16> lead = take_at(1, DEFAULT_SWORDSMAN_TAG, {{30, 40}});
	const std::vector<int16> guard = take_at(1, DEFAULT_SWORDSMAN_TAG, {{24, 36}, {25, 36}});
	const std::vector<int16> enemy = take_at(0, DEFAULT_SWORDSMAN_TAG, {{62, 2}}); // out of sight
	keep_only_taken();
	build_spatial_groups();
	const int16 c0 = action("dela"), c1 = action("dela");
	subjects(c0, "subj", lead);
	subjects(c1, "subj", guard);
	const int16 hurt = action("legi");
	points(hurt, "line", {{cell(20), cell(40)}, {cell(40), cell(40)}});
	integer(hurt, "coun", 1);
	ids(hurt, "grun", {c1});
	legion_head record;
	const auto run = [&](int16 a) {
		EXPECT_EQ(legion_action_proc(a), 0u);
		EXPECT_TRUE(get_map_action_structure(a, TAG("#glo"), sizeof(record), &record));
	};
	run(hurt);
	const int32 full = object_of(guard[0])->vitality + object_of(guard[1])->vitality;
	EXPECT_EQ(record.vitality, full);
	object_of(guard[0])->vitality -= 200;
	run(hurt);
	object_of(guard[1])->vitality -= 56;
	run(hurt);
	EXPECT_EQ(record.flags & 16u, 0u) << "a loss of exactly the delta is no damage";
	EXPECT_EQ(record.state, 0);
	EXPECT_EQ(record.vitality, full) << "the sum is kept until a hit counts";
	object_of(guard[1])->vitality -= 1;
	run(hurt);
	EXPECT_EQ(record.flags & 16u, 16u);
	EXPECT_EQ(record.state, 1) << "damage sends the legion in";
	EXPECT_EQ(record.vitality, full - 257);
	run(hurt);
	EXPECT_EQ(record.flags & 16u, 0u);

	// Guard radii: the enemy stands south of the line; the legion faces it, so the
	// guard group's place lies 2048 south of the lead's unit (its guard).
	const int16 a = action("legi");
	points(a, "line", {{cell(20), cell(40)}, {cell(40), cell(40)}});
	integer(a, "coun", 2);
	points(a, "grce", {{cell(30), cell(40)}, {cell(30) + 2048, cell(40)}});
	ids(a, "grun", {c0, c1});
	const int32 dependencies[2] = {NONE, 0};
	add(a, "grgd", _parameter_integer, 2, dependencies);
	const world_point2d lead_at = {object_of(lead[0])->location.position.x, object_of(lead[0])->location.position.y};
	const world_point2d guard_place = {lead_at.x, lead_at.y + 2048};
	world_distance radius = 0;
	// Puts the enemy's group edge the given distance south of the guard's place.
	const auto enemy_edge_at = [&](world_distance edge) {
		place(enemy[0], lead_at.x, guard_place.y + edge + radius, 0);
		build_spatial_groups();
		const spatial_group *g = group_of_team(0);
		ASSERT_NE(g, nullptr);
		radius = g->radius;
		place(enemy[0], lead_at.x, guard_place.y + edge + radius, 0);
		build_spatial_groups();
		const world_point2d c = {group_of_team(0)->center.x, group_of_team(0)->center.y};
		ASSERT_NEAR(distance2d(&guard_place, &c) - group_of_team(0)->radius, edge, 8);
	};
	enemy_edge_at(4096 + 500);
	run(a);
	ASSERT_EQ(record.state, 1) << "three against one: the legion attacks";
	EXPECT_EQ(record.groups[0].state, 1) << "a group without a guard attacks";
	EXPECT_EQ(record.groups[1].state, 0) << "beyond 4096 of its place";
	enemy_edge_at(4096 - 96);
	run(a);
	EXPECT_EQ(record.groups[1].state, 1);
	enemy_edge_at(6144 - 144);
	run(a);
	EXPECT_EQ(record.groups[1].state, 1) << "once attacking it watches 6144";
	enemy_edge_at(6144 + 156);
	run(a);
	EXPECT_EQ(record.state, 1);
	EXPECT_EQ(record.groups[1].state, 0);
}

// Dormant projectiles lying at the given distances east of a point.
class lying_objects
{
public:
	lying_objects()
	{
		for (int16 t = 0; t < 256 && get_projectile_definition(t); ++t)
		{
			bool used = false;
			for (int16 i = 0; i < object_array.maximum_count && !used; ++i)
			{
				const object_data *object = get_object_data(i);
				used = object && object->owner == _object_is_dormant_projectile && object->owner_index == t;
			}
			if (!used && types.size() < 4) types.push_back(t);
		}
		for (int16 t : types) saved.push_back(*get_projectile_definition(t));
		const int16 classes[4] = {_projectile_class_explosive_object, _projectile_class_lethal_object,
			_projectile_class_nonlethal_object, _projectile_class_explosive_object};
		for (size_t i = 0; i < types.size(); ++i)
		{
			get_projectile_definition(types[i])->projectile_class = classes[i];
			get_projectile_definition(types[i])->volume = i < 3 ? 77 : 78;
		}
	}
	~lying_objects()
	{
		for (size_t i = 0; i < types.size(); ++i) *get_projectile_definition(types[i]) = saved[i];
	}
	bool ready(void) const { return types.size() == 4; }
	enum { explosive, lethal, other, wrong_volume };
	// New objects, then sorted, so that list order is index order.
	std::vector<int16> make(world_point2d from, std::initializer_list<std::pair<int32, world_distance>> list)
	{
		std::vector<int16> indexes;
		for (size_t i = 0; i < list.size(); ++i)
		{
			new_object_data data = {};
			data.type = NONE;
			data.owner = _object_is_dormant_projectile;
			data.scale = 256;
			data.location.position = {from.x, from.y, 0};
			indexes.push_back(new_object(&data));
		}
		std::sort(indexes.begin(), indexes.end());
		size_t i = 0;
		for (const auto &entry : list)
		{
			object_data *object = get_object_data(indexes[i++]);
			object->owner_index = types[static_cast<size_t>(entry.first)];
			object->location.position.x = from.x + entry.second;
		}
		return indexes;
	}

private:
	std::vector<int16> types;
	std::vector<projectile_definition> saved;
};

TEST_F(unit_ai_harass, objects_to_throw_rank_by_class_then_distance_and_timid_units_replace_as_they_walk_the_list)
{
	const std::vector<int16> band = take_at(1, DEFAULT_SWORDSMAN_TAG, {{20, 20}, {20, 24}});
	keep_only_taken();
	lying_objects objects;
	ASSERT_TRUE(objects.ready()) << "fewer than four free projectile kinds";
	monster_definition *definition = get_monster_definition(m(band[0])->type);
	const monster_definition saved = *definition;
	definition->desired_projectile_volume = 77;
	const world_point2d at = {cell(20), cell(20)};
	place(band[1], at.x, at.y);
	build_spatial_groups();

	// Explosive over lethal over other, the nearest within a class; objects
	// already sought, hidden, of another volume or beyond 'prra' are passed over.
	using k = lying_objects;
	const std::vector<int16> lying = objects.make(at, {{k::explosive, 3000}, {k::other, 1000}, {k::lethal, 2000},
		{k::explosive, 2500}, {k::wrong_volume, 500}, {k::explosive, 400}});
	get_object_data(lying[5])->flags |= _object_is_invisible_flag;
	const int16 a = action("girl");
	subjects(a, "subj", band);
	distance(a, "prra", 2800);
	EXPECT_EQ(harass_action_proc(a), 0u);
	EXPECT_EQ(harass_unit_field(a, 0, offsetof(harass_unit, sought)), lying[3]);
	EXPECT_EQ(harass_unit_field(a, 1, offsetof(harass_unit, sought)), lying[2]) << "the far explosive lies beyond 'prra'";
	EXPECT_EQ(harass_unit_field(a, 1, offsetof(harass_unit, state)), 1);
	for (int16 i : lying) delete_object(i);

	// The timid walk in index order: lethal and explosive objects replace the
	// choice unless it is an explosive one at most as far, others only when nearer.
	const std::vector<int16> walk = objects.make(at, {{k::explosive, 2000}, {k::lethal, 1000}, {k::explosive, 3000},
		{k::lethal, 2500}, {k::other, 2600}, {k::explosive, 2400}, {k::lethal, 2450}});
	const int16 t = action("girl");
	subjects(t, "subj", {band[0]});
	flag(t, "timd");
	EXPECT_EQ(harass_action_proc(t), 0u);
	EXPECT_EQ(harass_unit_field(t, 0, offsetof(harass_unit, state)), 8) << "no enemy: it looks for an object";
	EXPECT_EQ(harass_action_proc(t), 0u);
	char line[96];
	std::snprintf(line, sizeof(line), "unit 0 is picking up %d (dis: 2400);g", walk[5]);
	EXPECT_NE(log_text().find(line), std::string::npos) << line;
	EXPECT_EQ(harass_unit_field(t, 0, offsetof(harass_unit, state)), 1);
	*definition = saved;
}

TEST_F(unit_ai_harass, the_timid_danger_fraction_bands_meet_at_a_quarter_one_and_two_reaches)
{
	const std::vector<int16> skirmisher = take(1, DEFAULT_SWORDSMAN_TAG, 1);
	const std::vector<int16> enemy = take(0, DEFAULT_SWORDSMAN_TAG, 1);
	keep_only_taken();
	monster_definition *definition = get_monster_definition(m(enemy[0])->type);
	const monster_definition saved = *definition;
	definition->longest_range = 4000;
	definition->desired_projectile_volume = 77; // both can carry
	place(enemy[0], cell(20), cell(30), 0); // facing east, toward the skirmisher
	place(skirmisher[0], cell(40), cell(30));
	build_spatial_groups();
	const spatial_group *g = group_of_team(0);
	ASSERT_NE(g, nullptr);
	const world_point2d center = {g->center.x, g->center.y};
	const int32 reach = g->radius + g->range;
	ASSERT_GE(reach, 4000);
	// The nearest distance whose fraction (d << 8) / reach reaches f (8.8).
	const auto at_fraction = [&](int32 f) { return static_cast<world_distance>((static_cast<int64>(f) * reach + 255) / 256); };
	struct band
	{
		world_distance distance;
		int16 state;
		bool moved_off;
	};
	const band bands[] = {{at_fraction(64) - 1, 4, false}, {at_fraction(64), 0, true}, {at_fraction(256) - 1, 0, true},
		{at_fraction(256), 8, false}, {at_fraction(512) - 1, 8, false}, {at_fraction(512), 9, false}};
	for (const band &b : bands)
	{
		place(skirmisher[0], center.x + b.distance, center.y);
		build_spatial_groups();
		const int16 a = action("girl");
		subjects(a, "subj", skirmisher);
		flag(a, "timd");
		EXPECT_EQ(harass_action_proc(a), 0u);
		EXPECT_EQ(harass_unit_field(a, 0, offsetof(harass_unit, state)), b.state) << b.distance;
		if (b.moved_off)
		{
			// Off to the reach, turned 2048 by the index's parity.
			const world_point2d to = m(skirmisher[0])->waypoints[0];
			EXPECT_NEAR(distance2d(&to, &center), reach, 2 * WORLD_ONE) << b.distance;
		}
	}
	*definition = saved;
}

TEST_F(unit_ai_invisible, suspicion_grows_21_to_its_ceiling_falls_10_to_0_and_decides_a_reaction_from_behind)
{
	const std::vector<int16> searcher = take_at(1, DEFAULT_SWORDSMAN_TAG, {{20, 20}});
	const std::vector<int16> hunted = take_at(0, DEFAULT_SWORDSMAN_TAG, {{40, 40}});
	keep_only_taken();
	place(searcher[0], cell(20), cell(20), 0); // facing east
	m(hunted[0])->extra_flags |= _monster_is_invisible_extra_flag;
	const int16 a = action("invi");
	subjects(a, "subj", searcher);
	subjects(a, "invi", hunted);
	EXPECT_EQ(invisible_action_proc(a), 0u);
	uint8 record[492];
	// Unit 0's state, delay and suspicion, written into the record.
	const auto set = [&](int16 state, int8 delay, int16 suspicion) {
		ASSERT_TRUE(get_map_action_structure(a, TAG("#glo"), sizeof(record), record));
		std::memcpy(record + 38 + 4, &state, 2);
		std::memcpy(record + 38 + 6, &delay, 1);
		std::memcpy(record + 38 + 8, &suspicion, 2);
		set_unique_map_action_parameter(a, TAG("#glo"), _parameter_character, sizeof(record), record);
	};
	int16 state = 0, suspicion = 0;
	const auto run = [&](void) {
		const uint32 draws = zerv_random_draw_count();
		EXPECT_EQ(invisible_action_proc(a), 0u);
		EXPECT_TRUE(get_map_action_structure(a, TAG("#glo"), sizeof(record), record));
		std::memcpy(&state, record + 38 + 4, 2);
		std::memcpy(&suspicion, record + 38 + 8, 2);
		return zerv_random_draw_count() - draws;
	};
	// Behind the searcher and within 2048: one draw against the suspicion.
	set(_unit_moving, 100, 0);
	place(hunted[0], cell(20) - 1024, cell(20));
	EXPECT_EQ(run(), 1u);
	EXPECT_EQ(state, _unit_moving) << "no draw is below a suspicion of 0";
	set(_unit_moving, 100, 32767);
	place(hunted[0], cell(20) - 1024, cell(20) + 256);
	EXPECT_EQ(run(), 2u) << "the behind draw, then the sniffing delay";
	EXPECT_EQ(state, _unit_sniffing);
	// In front: it reacts without a draw for the test.
	set(_unit_moving, 100, 0);
	place(hunted[0], cell(20) + 1024, cell(20));
	EXPECT_EQ(run(), 1u);
	EXPECT_EQ(state, _unit_sniffing);

	// Sniffing turns add 21, up to 32767; then every draw (0-255) falls below
	// half of it: yelling and attacking the ground.
	set(_unit_sniffing, 0, 100);
	run();
	EXPECT_EQ(suspicion, 121);
	set(_unit_sniffing, 0, 32760);
	EXPECT_EQ(run(), 1u);
	EXPECT_EQ(suspicion, 32767);
	EXPECT_EQ(state, _unit_yelling_to_attack_ground);
	// Watching media likewise; every draw is below the suspicion: yelling.
	set(_unit_watching_media, 0, 32767);
	run();
	EXPECT_EQ(suspicion, 32767);
	EXPECT_EQ(state, _unit_yelling);
	// Each new waypoint takes 10 off, never below 0.
	set(_unit_moving_dont_interrupt_unless_moves, 0, 121);
	run();
	EXPECT_EQ(suspicion, 111);
	EXPECT_EQ(state, _unit_moving);
	set(_unit_moving, 0, 5);
	run();
	EXPECT_EQ(suspicion, 0);
	EXPECT_NE(log_text().find("unit 0 set to state yelling and attacking ground"), std::string::npos);
}

using unit_ai_records = unit_ai_fixture;

TEST_F(unit_ai_records, a_right_sized_record_of_extreme_values_is_rebuilt_by_every_proc)
{
	const std::vector<int16> units = take(1, DEFAULT_SWORDSMAN_TAG, 3);
	const std::vector<int16> enemy = take(0, DEFAULT_SWORDSMAN_TAG, 2);
	keep_only_taken();
	for (size_t i = 0; i < units.size(); ++i) place(units[i], cell(20 + static_cast<int32>(i)), cell(20));
	place(enemy[0], cell(30), cell(22));
	place(enemy[1], cell(31), cell(22));
	m(enemy[0])->extra_flags |= _monster_is_invisible_extra_flag;
	build_spatial_groups();
	const int16 container = action("dela");
	subjects(container, "subj", units);
	struct proc_case
	{
		file_tag tag;
		action_proc_pointer proc;
		int32 size;
		size_t action_index_offset;
	};
	const proc_case cases[] = {{TAG("girl"), harass_action_proc, 1060, 0}, {TAG("legi"), legion_action_proc, 384, 24},
		{TAG("assa"), assassin_action_proc, 68, 4}, {TAG("mean"), meander_action_proc, 656, 0},
		{TAG("mele"), melee_action_proc, 16, 4}, {TAG("suic"), suicide_action_proc, 544, 4},
		{TAG("invi"), invisible_action_proc, 492, 24}};
	for (const proc_case &c : cases)
	{
		for (const uint8 fill : {uint8{0x7F}, uint8{0xFF}, uint8{0x80}})
		{
			const int16 a = new_map_action(NONE);
			set_map_action_tag(a, c.tag);
			subjects(a, "subj", units);
			subjects(a, "invi", {enemy[0]});
			points(a, "line", {{cell(20), cell(20)}, {cell(30), cell(20)}});
			integer(a, "coun", 1);
			ids(a, "grun", {container});
			std::vector<uint8> garbage(static_cast<size_t>(c.size), fill);
			// The right action index, so only the other fields can make it bad.
			std::memcpy(garbage.data() + c.action_index_offset, &a, 2);
			set_unique_map_action_parameter(a, TAG("#glo"), _parameter_character, c.size, garbage.data());
			c.proc(a);
			std::vector<uint8> record(static_cast<size_t>(c.size));
			ASSERT_TRUE(get_map_action_structure(a, TAG("#glo"), c.size, record.data())) << get_map_action_name(a);
			EXPECT_NE(record, garbage) << static_cast<uint32>(c.tag) << " kept a bad record";
		}
	}
}

// One bad field at a time: the record is set up afresh rather than used. The
// marker is a field only the set-up writes (the legion's line, the harass
// radius, the meander radius): a sound record keeps what was planted there.
TEST_F(unit_ai_records, each_out_of_range_field_has_the_record_set_up_again)
{
	const std::vector<int16> units = take(1, DEFAULT_SWORDSMAN_TAG, 3);
	keep_only_taken();
	for (size_t i = 0; i < units.size(); ++i) place(units[i], cell(20 + static_cast<int32>(i)), cell(20));
	build_spatial_groups();
	const int16 container = action("dela");
	subjects(container, "subj", units);
	struct bad_field
	{
		const char *tag;
		int32 size;
		size_t offset;
		int16 value;
		size_t marker_offset;
	};
	// Legion group count, its group's unit container and its state; harass unit count; meander waypoint count.
	const bad_field cases[] = {{"legi", 384, 68, 7, 52}, {"legi", 384, 92, 900, 52}, {"legi", 384, 26, 9, 52},
		{"girl", 1060, 22, 65, 4}, {"mean", 656, 388, 33, 648}};
	const int32 planted = 12345;
	for (const bad_field &c : cases)
	{
		const file_tag tag = (static_cast<file_tag>(c.tag[0]) << 24) | (static_cast<file_tag>(c.tag[1]) << 16) |
			(static_cast<file_tag>(c.tag[2]) << 8) | static_cast<file_tag>(c.tag[3]);
		const int16 a = new_map_action(NONE);
		set_map_action_tag(a, tag);
		subjects(a, "subj", units);
		points(a, "line", {{cell(20), cell(20)}, {cell(30), cell(20)}});
		points(a, "wayp", {{cell(25), cell(25)}});
		integer(a, "coun", 1);
		ids(a, "grun", {container});
		const action_proc_pointer proc = action_tag_to_action_proc(tag);
		proc(a);
		std::vector<uint8> record(static_cast<size_t>(c.size));
		auto marker_after_run = [&](bool corrupt) {
			get_map_action_structure(a, TAG("#glo"), c.size, record.data());
			std::memcpy(record.data() + c.marker_offset, &planted, 4);
			if (corrupt) std::memcpy(record.data() + c.offset, &c.value, 2);
			set_unique_map_action_parameter(a, TAG("#glo"), _parameter_character, c.size, record.data());
			proc(a);
			int32 marker = 0;
			if (get_map_action_structure(a, TAG("#glo"), c.size, record.data()))
				std::memcpy(&marker, record.data() + c.marker_offset, 4);
			return marker;
		};
		EXPECT_EQ(marker_after_run(false), planted) << c.tag << ": a sound record is kept";
		EXPECT_NE(marker_after_run(true), planted) << c.tag << " at " << c.offset << " = " << c.value;
	}
}

class unit_ai_content : public zerv_harness_fixture
{
protected:
	void SetUp() override
	{
		zerv_harness_fixture::SetUp();
		harness_battle_setup(&setup, TAG("bnch"));
		ASSERT_TRUE(harness_start_map(&setup));
	}
	void TearDown() override
	{
		harness_end_map();
		zerv_harness_fixture::TearDown();
	}
	new_game_data setup;
};

TEST_F(unit_ai_content, the_bnch_unit_ai_actions_are_added_in_order_behind_the_gate)
{
	const int16 gate = new_map_action(NONE);
	set_map_action_tag(gate, TAG("plyc"));
	const int16 first = static_cast<int16>(gate + 1);
	EXPECT_TRUE(add_bnch_unit_ai_actions(gate));
	const std::vector<const char *> &names = bnch_unit_ai_action_names();
	const file_tag tags[4] = {TAG("legi"), static_cast<file_tag>(NONE), static_cast<file_tag>(NONE), TAG("girl")};
	for (size_t i = 0; i < names.size(); ++i)
	{
		EXPECT_STREQ(get_map_action_name(static_cast<int16>(first + i)), names[i]);
		EXPECT_EQ(get_map_action_tag(static_cast<int16>(first + i)), tags[i]);
	}
	int16 roots[4];
	EXPECT_EQ(get_combined_map_action_parameter(gate, TAG("acos"), _parameter_action_identifier, roots, 4), 2);
	EXPECT_EQ(roots[0], get_map_action_identifier(first));
	EXPECT_EQ(roots[1], get_map_action_identifier(static_cast<int16>(first + 3)));
}

} // namespace
