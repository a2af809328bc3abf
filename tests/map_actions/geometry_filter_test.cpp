// The geometry filter and the unit test on the demo armies.
#include "map_actions/map_action_accessors.h"
#include "map_actions/map_actions_test_support.h"
#include "map_actions/unit_query_action_procs.h"
#include "definitions.h"
#include "mesh.h"
#include "monster_definitions.h"
#include "objects.h"
#include "projectile_definitions.h"
#include "unit_query_level_actions.h"
#include "world.h"

namespace {

class unit_query_fixture : public demo_armies_actions_fixture
{
protected:
	static int16 identifier_of(int16 index) { return get_monster_data(index)->identifier; }
	static world_point2d position(int16 index)
	{
		const object_data *object = get_object_data(get_monster_data(index)->object_index);
		return {object->location.position.x, object->location.position.y};
	}
	static void subjects(int16 action, const char (&name)[5], const std::vector<int16> &indexes)
	{
		std::vector<int16> identifiers;
		for (int16 i : indexes) identifiers.push_back(identifier_of(i));
		add(action, name, _parameter_monster_identifier, static_cast<int32>(identifiers.size()), identifiers.data());
	}
	static void fields(int16 action, const char (&name)[5], std::initializer_list<const char *> names)
	{
		std::vector<field_tag> tags;
		for (const char *n : names) tags.push_back(TAG4(n));
		add(action, name, _parameter_field_name, static_cast<int32>(tags.size()), tags.data());
	}
	static field_tag TAG4(const char *n)
	{
		return (static_cast<uint32>(static_cast<uint8>(n[0])) << 24) | (static_cast<uint32>(static_cast<uint8>(n[1])) << 16) |
			(static_cast<uint32>(static_cast<uint8>(n[2])) << 8) | static_cast<uint8>(n[3]);
	}
	static void points(int16 action, const char (&name)[5], const std::vector<world_point2d> &list)
	{
		add(action, name, _parameter_world_point2d, static_cast<int32>(list.size()), list.data());
	}
	static std::vector<int16> identifiers_in(int16 action, const char (&name)[5])
	{
		int16 values[400];
		const int32 n = get_combined_map_action_parameter(action, TAG(name), _parameter_monster_identifier, values, 400);
		return std::vector<int16>(values, values + n);
	}
	static int parameters_named(int16 action, const char (&name)[5])
	{
		find_map_action_parameter_state search;
		map_action_parameter parameter;
		new_find_map_action_parameter_state(&search, action, _dont_resolve_links_flag | _return_empty_arrays_flag, TAG(name), NONE);
		int n = 0;
		while (find_next_map_action_parameter(&search, &parameter)) ++n;
		return n;
	}
};

using geometry_filter = unit_query_fixture;
using test_units_action = unit_query_fixture;

TEST_F(geometry_filter, sources_that_conflict_touch_nothing)
{
	const int16 a = action("geom");
	subjects(a, "subj", {team0[0]});
	fields(a, "type", {"arro"});
	flag(a, "_map");
	fields(a, "insi", {"subj"});
	const int before = parameters_named(a, "subj");
	EXPECT_EQ(geometry_filter_action_proc(a), 0u);
	EXPECT_NE(log_text().find("cannot contain both monsters, objects, and object identifiers!"), std::string::npos);
	EXPECT_EQ(parameters_named(a, "subj"), before);
	EXPECT_EQ(identifiers_in(a, "subj"), (std::vector<int16>{identifier_of(team0[0])}));
}

TEST_F(geometry_filter, circles_use_wide_squares_and_later_tests_win)
{
	const int16 target = action("none");
	const int16 a = action("geom");
	subjects(a, "subj", {team0[0], team0[1], team0[2], team0[0]});
	const world_point2d p = position(team0[0]);
	// Radius 40000 with the unit at (39999, 39999) from the centre: far outside,
	// though 32-bit squares would wrap and call it inside.
	points(a, "cent", {{p.x - 39999, p.y - 39999}});
	add(a, "radi", _parameter_world_distance, 1, std::vector<int32>{40000}.data());
	ids(a, "resu", {target});
	fields(a, "insi", {"ins_"});
	fields(a, "outs", {"out_"});
	EXPECT_EQ(geometry_filter_action_proc(a), static_cast<uint32>(_map_action_proc_succeeded_flag));
	EXPECT_EQ(identifiers_in(target, "out_")[0], identifier_of(team0[0])) << "the duplicate is listed once";
	EXPECT_EQ(identifiers_in(target, "out_").size() + identifiers_in(target, "ins_").size(), 3u);
	EXPECT_NE(log_text().find("oustide geometry (added to out_)"), std::string::npos);

	// 'coun' after the circle: the first two inside whatever it said; a rerun replaces the fields.
	integer(a, "coun", 2);
	EXPECT_EQ(geometry_filter_action_proc(a), static_cast<uint32>(_map_action_proc_succeeded_flag));
	EXPECT_EQ(identifiers_in(target, "ins_"), (std::vector<int16>{identifier_of(team0[0]), identifier_of(team0[1])}));
	EXPECT_EQ(parameters_named(target, "ins_"), 1);

	// '_max' 0 adds nothing and fails.
	integer(a, "_max", 0);
	EXPECT_EQ(geometry_filter_action_proc(a), 0u);
	EXPECT_TRUE(identifiers_in(target, "ins_").empty());
}

TEST_F(geometry_filter, results_go_to_this_action_or_fail_on_an_empty_list)
{
	const int16 a = action("geom");
	subjects(a, "subj", {team0[0], team0[1]});
	flag(a, "_map");
	fields(a, "inlo", {"wayp"});
	fields(a, "insi", {"subj"});
	// Writing into its own subject list: the list was copied first.
	EXPECT_EQ(geometry_filter_action_proc(a), static_cast<uint32>(_map_action_proc_succeeded_flag));
	EXPECT_EQ(identifiers_in(a, "subj"), (std::vector<int16>{identifier_of(team0[0]), identifier_of(team0[1])}));
	world_point2d written[4];
	ASSERT_EQ(get_combined_map_action_parameter(a, TAG("wayp"), _parameter_world_point2d, written, 4), 2);
	EXPECT_EQ(written[1].x, position(team0[1]).x);

	add(a, "resu", _parameter_action_identifier, 0, nullptr);
	EXPECT_EQ(geometry_filter_action_proc(a), 0u);
	EXPECT_NE(log_text().find("action to add results to is NONE!"), std::string::npos);
}

TEST_F(geometry_filter, random_choice_draws_as_counted)
{
	const int16 a = action("geom");
	flag(a, "_map");
	flag(a, "rand");
	fields(a, "insi", {"pick"});
	subjects(a, "subj", {team0[0]});
	uint32 draws = zerv_random_draw_count();
	EXPECT_EQ(geometry_filter_action_proc(a), static_cast<uint32>(_map_action_proc_succeeded_flag));
	EXPECT_EQ(zerv_random_draw_count(), draws) << "one candidate draws nothing";

	const int16 b = action("geom");
	flag(b, "_map");
	flag(b, "rand");
	fields(b, "insi", {"pick"});
	subjects(b, "subj", {team0[0], team0[1]});
	draws = zerv_random_draw_count();
	EXPECT_EQ(geometry_filter_action_proc(b), static_cast<uint32>(_map_action_proc_succeeded_flag));
	EXPECT_EQ(zerv_random_draw_count(), draws + 21) << "position 0 at once, then 20 misses";
	EXPECT_EQ(identifiers_in(b, "pick"), (std::vector<int16>{identifier_of(team0[0]), identifier_of(team0[1])}));
}

TEST_F(geometry_filter, replacing_tests_below_1601_never_read_unwritten_rows)
{
	game_play_version = 1600;
	const int16 a = action("geom");
	subjects(a, "subj", team0);
	flag(a, "_map");
	integer(a, "team", 1);
	fields(a, "insi", {"all_"});
	fields(a, "outs", {"rest"});
	EXPECT_EQ(geometry_filter_action_proc(a), static_cast<uint32>(_map_action_proc_succeeded_flag));
	// The count is the team's units plus the ones inside before: the rows past
	// the found units were never written and read as none, outside.
	std::vector<int16> expected;
	for (int16 i : team1) expected.push_back(identifier_of(i));
	EXPECT_EQ(identifiers_in(a, "all_"), expected);
	EXPECT_EQ(identifiers_in(a, "rest"), std::vector<int16>(MIN(team0.size(), 400 - team1.size()), NONE));
}

TEST_F(test_units_action, state_counts_and_ratios)
{
	const int16 a = action("tuni");
	subjects(a, "subj", {team0[0], team0[1], team1[0]});
	integer(a, "___>", 2);
	fixed_value(a, "por>", 0);
	EXPECT_EQ(test_units_action_proc(a), static_cast<uint32>(_map_action_proc_succeeded_flag));
	int32 globals[2] = {0, 0};
	ASSERT_TRUE(get_map_action_structure(a, TAG("#glo"), 8, globals));
	EXPECT_EQ(globals[0], 3);

	// Fewer subjects: the maximum stays; team 1 has no power, so the ratio saturates.
	const int16 b = action("tuni");
	subjects(b, "subj", {team0[0]});
	fixed_value(b, "por>", 0);
	set_unique_map_action_parameter(b, TAG("#glo"), _parameter_character, 8, std::vector<int32>{5, 0}.data());
	EXPECT_EQ(test_units_action_proc(b), static_cast<uint32>(_map_action_proc_succeeded_flag));
	ASSERT_TRUE(get_map_action_structure(b, TAG("#glo"), 8, globals));
	EXPECT_EQ(globals[0], 5);
	EXPECT_NE(log_text().find("#1/#0 ==> #"), std::string::npos);
	EXPECT_NE(log_text().find("== 32768.00"), std::string::npos);

	// 'devi' fails right after activation and stores the average.
	const int16 c = action("tuni");
	subjects(c, "subj", {team0[0]});
	fixed_value(c, "devi", 0);
	get_map_action(c)->flags |= _map_action_was_just_activated_flag;
	EXPECT_EQ(test_units_action_proc(c), 0u);
	ASSERT_TRUE(get_map_action_structure(c, TAG("#glo"), 8, globals));
	const object_data *object = get_object_data(get_monster_data(team0[0])->object_index);
	EXPECT_EQ(globals[1], object->vitality * 65536 / get_object_definition(object->type)->maximum_vitality);
	get_map_action(c)->flags &= ~static_cast<uint32>(_map_action_was_just_activated_flag);
	EXPECT_EQ(test_units_action_proc(c), 0u) << "no change";
}

// Sums past 32767 shifted by 16 need 64 bits: two units of power 20000 against one is 2.0.
TEST_F(test_units_action, power_ratios_of_large_sums_hold)
{
	std::vector<std::pair<monster_definition *, int16>> saved;
	for (int16 i : {team0[0], team0[1], team1[0]})
	{
		monster_definition *definition = get_monster_definition(get_monster_data(i)->type);
		saved.emplace_back(definition, definition->combined_power);
	}
	for (auto &entry : saved) entry.first->combined_power = 20000;
	const int16 a = action("tuni");
	subjects(a, "subj", {team0[0], team0[1], team1[0]});
	fixed_value(a, "por>", FIXED_ONE * 19 / 10);
	fixed_value(a, "por<", FIXED_ONE * 21 / 10);
	const uint32 result = test_units_action_proc(a);
	for (auto it = saved.rbegin(); it != saved.rend(); ++it) it->first->combined_power = it->second;
	EXPECT_EQ(result, static_cast<uint32>(_map_action_proc_succeeded_flag));
}

TEST_F(test_units_action, close_enemies_hit_by_distance_and_chance)
{
	const int16 a = action("tuni", 0, _map_action_deactivates_on_failed_execution);
	subjects(a, "subj", {team0[0]});
	subjects(a, "enem", {team1[0]});
	add(a, "clos", _parameter_world_distance, 2, std::vector<int32>{0, 1024}.data());
	object_data *mine = get_object_data(get_monster_data(team0[0])->object_index);
	object_data *theirs = get_object_data(get_monster_data(team1[0])->object_index);
	theirs->location.position = mine->location.position;
	uint32 draws = zerv_random_draw_count();
	EXPECT_EQ(test_units_action_proc(a), static_cast<uint32>(_map_action_proc_succeeded_flag));
	EXPECT_EQ(zerv_random_draw_count(), draws) << "at distance 0 without a draw";
	theirs->location.position.x += 1024;
	EXPECT_EQ(test_units_action_proc(a), 0u);
	EXPECT_EQ(zerv_random_draw_count(), draws) << "at the outer radius never";
	EXPECT_NE(log_text().find("test action failed"), std::string::npos);
	theirs->location.position.x -= 512;
	set_random_seed(12345);
	const uint16 draw = zerv_random();
	set_random_seed(12345);
	EXPECT_EQ(test_units_action_proc(a), (draw >> 8) < 128 ? static_cast<uint32>(_map_action_proc_succeeded_flag) : 0u);
	// Radii past 32767 are clamped, not wrapped.
	const int16 b = action("tuni");
	subjects(b, "subj", {team0[0]});
	subjects(b, "enem", {team1[0]});
	add(b, "clos", _parameter_world_distance, 1, std::vector<int32>{70000}.data());
	EXPECT_EQ(test_units_action_proc(b), static_cast<uint32>(_map_action_proc_succeeded_flag));
	// Both radii clamp to 32767: an enemy 10000 away is within, with no draw (wrapped, r0 would be negative).
	const int16 c = action("tuni");
	subjects(c, "subj", {team0[0]});
	subjects(c, "enem", {team1[0]});
	add(c, "clos", _parameter_world_distance, 2, std::vector<int32>{40000, 70000}.data());
	theirs->location.position.x = mine->location.position.x + 10000;
	theirs->location.position.y = mine->location.position.y;
	draws = zerv_random_draw_count();
	EXPECT_EQ(test_units_action_proc(c), static_cast<uint32>(_map_action_proc_succeeded_flag));
	EXPECT_EQ(zerv_random_draw_count(), draws);

	// The list decides: its only unit dead, another enemy standing close is not looked at.
	get_object_data(get_monster_data(team1[1])->object_index)->location.position = mine->location.position;
	const int16 d = action("tuni");
	subjects(d, "subj", {team0[0]});
	subjects(d, "enem", {team1[0]});
	add(d, "clos", _parameter_world_distance, 2, std::vector<int32>{1024, 2048}.data());
	delete_monster(team1[0], TRUE);
	EXPECT_EQ(test_units_action_proc(d), 0u);
}

TEST_F(test_units_action, holi_counts_any_held_object_of_a_unit_that_holds_some)
{
	int16 item = NONE;
	for (int16 i = 0; i < object_array.count && item == NONE; ++i)
	{
		const object_data *object = get_object_data(i);
		if (object && object->owner == _object_is_dormant_projectile) item = i;
	}
	ASSERT_NE(item, NONE) << "no lying items";
	const field_tag kind = get_definition_subgroup(get_projectile_definitions(), get_object_data(item)->owner_index);
	monster_data *unit = get_monster_data(team0[0]);
	monster_definition *definition = get_monster_definition(unit->type);
	const uint32 saved_flags = definition->flags;
	definition->flags &= ~static_cast<uint32>(_monster_carries_multiple_artifacts_flag);
	const monster_data saved = *unit;
	unit->carrying_object_index = NONE;
	unit->held_object_count = 1;
	unit->held_object_indexes[0] = item;
	const int16 a = action("tuni");
	subjects(a, "subj", {team0[0]});
	add(a, "holi", _parameter_field_name, 1, &kind);
	const uint32 result = test_units_action_proc(a);
	*unit = saved;
	definition->flags = saved_flags;
	EXPECT_EQ(result, static_cast<uint32>(_map_action_proc_succeeded_flag));
	EXPECT_NE(log_text().find("1 monsters carrying"), std::string::npos);
}

TEST_F(test_units_action, terrain_values_outside_the_sixteen_types_allow_nothing)
{
	game_play_version = 1711;
	const int16 a = action("tuni");
	subjects(a, "subj", {team0[0]});
	add(a, "terr", _parameter_integer, 2, std::vector<int32>{-3, 40}.data());
	EXPECT_EQ(test_units_action_proc(a), static_cast<uint32>(_map_action_proc_succeeded_flag)) << "no allowed set: passes";
	const world_point2d p = position(team0[0]);
	const int32 terrain = get_mesh_terrain_type(&p);
	const int16 b = action("tuni");
	subjects(b, "subj", {team0[0]});
	add(b, "terr", _parameter_integer, 1, std::vector<int32>{(terrain + 1) % 16}.data());
	EXPECT_EQ(test_units_action_proc(b), 0u);
}

TEST_F(geometry_filter, the_level_watch_counts_exactly_the_front_units_in_the_strip)
{
	// Team 1's front as the level marks it.
	for (int16 i = 0; i < 5; ++i) set_monster_identifier(team1[i], static_cast<int16>(31 + i));
	const int16 first = static_cast<int16>(map_action_array.count);
	ASSERT_TRUE(append_unit_query_level_actions());
	const int16 watch = first, count = static_cast<int16>(first + 1), tally = static_cast<int16>(first + 2);
	const world_point2d strip[4] = {{24 * WORLD_ONE, 64 * WORLD_ONE}, {24 * WORLD_ONE, 71 * WORLD_ONE},
		{60 * WORLD_ONE, 71 * WORLD_ONE}, {60 * WORLD_ONE, 64 * WORLD_ONE}};
	int32 hits = 0;
	for (int32 pass = 0; pass < 6; ++pass)
	{
		// Move some of the front into the strip, one more each pass.
		for (int16 id = 31; id < 31 + pass && id < 36; ++id)
		{
			int16 index;
			if (monster_identifiers_to_monster_indexes(&id, &index, 1) != 1) continue;
			const int16 object_index = get_monster_data(index)->object_index;
			disconnect_object_from_mesh(object_index);
			get_object_data(object_index)->location.position.x = 30 * WORLD_ONE + id * 100;
			get_object_data(object_index)->location.position.y = 66 * WORLD_ONE;
			reconnect_object_to_mesh(object_index);
		}
		std::vector<int16> expected;
		for (int16 id = 31; id < 36; ++id)
		{
			int16 index;
			if (monster_identifiers_to_monster_indexes(&id, &index, 1) != 1) continue;
			if (get_monster_data(index)->flags & _monster_has_left_the_mesh_flag) continue;
			const world_point2d p = position(index);
			if (point_in_polygon_test(&p, strip, 4, TRUE)) expected.push_back(id);
		}
		const uint32 found = geometry_filter_action_proc(watch);
		EXPECT_EQ(found != 0, !expected.empty()) << pass;
		EXPECT_EQ(identifiers_in(count, "subj"), expected) << pass;
		if (test_units_action_proc(count) & _map_action_proc_succeeded_flag)
		{
			++hits;
			trigger_map_action(tally);
		}
	}
	EXPECT_EQ(hits, 4) << "passes with two or more in the strip";
	EXPECT_EQ(integer_of(tally, "resu"), hits);
}

} // namespace
