// The action store: search, cache, editing and relocation, run-time actions,
// the section import's refusals, and the scheduler's life cycle.
#include <cstring>

#include "console/console.h"
#include "map_actions/map_actions_test_support.h"
#include "memory.h"

namespace {

using map_actions_store = map_actions_fixture;

std::vector<int32> integers_of(int16 index, const char (&name)[5])
{
	int32 values[64];
	const int32 count = get_combined_map_action_parameter(index, TAG(name), _parameter_integer, values, 64);
	return std::vector<int32>(values, values + count);
}

TEST_F(map_actions_store, search_follows_links_breadth_first_and_honours_the_flags)
{
	const int16 a = action("none");
	const int16 b = action("none");
	flag(a, "flag");
	integer(a, "valu", 1);
	ids(a, "link", {b, a});
	integer(b, "valu", 2);
	integer(a, "valu", 3);

	EXPECT_FALSE(get_map_action_parameter(nullptr, a, 0, TAG("flag"), _parameter_flag)) << "count 0 needs flag 2";
	EXPECT_TRUE(get_map_action_parameter(nullptr, a, _return_empty_arrays_flag, TAG("flag"), _parameter_flag));
	EXPECT_EQ(integers_of(a, "valu"), (std::vector<int32>{1, 3, 2, 1, 3})) << "own, linked, then itself once more";
	EXPECT_FALSE(get_map_action_parameter(nullptr, a, 0, TAG("link"), NONE)) << "links are never results";
	EXPECT_TRUE(get_map_action_parameter(nullptr, a, _dont_resolve_links_flag, TAG("link"), NONE));
	EXPECT_FALSE(get_map_action_parameter(nullptr, a, _only_return_one_element_arrays_flag, TAG("valu"), NONE));
	int32 two[2];
	EXPECT_EQ(get_combined_map_action_parameter(a, TAG("valu"), _parameter_integer, two, 2), 2);
	EXPECT_EQ(get_combined_map_action_parameter(a, TAG("valu"), NONE, two, 2), 0);

	// A self-link is searched once more, then found in an earlier entry.
	const int16 c = action("none");
	integer(c, "valu", 7);
	ids(c, "link", {c});
	EXPECT_EQ(integers_of(c, "valu"), (std::vector<int32>{7, 7}));
}

TEST_F(map_actions_store, cached_lookups_match_fresh_searches_and_never_outlive_the_map)
{
	uint32 seed = 12345;
	auto next = [&seed]() { return (seed = seed * 1103515245u + 12345u) >> 16; };
	int16 indexes[6];
	for (int16 &index : indexes) index = action("none");
	static const char names[4][5] = {"aaaa", "bbbb", "cccc", "link"};
	for (int32 step = 0; step < 200; ++step)
	{
		const int16 index = indexes[next() % 6];
		const char(&name)[5] = names[next() % 4];
		if (TAG(name) == TAG("link")) ids(index, "link", {indexes[next() % 6]});
		else integer(index, name, static_cast<int32>(next()));
		for (int16 probe : indexes)
		{
			for (const auto &probe_name : names)
			{
				for (uint32 flags : {0u, 1u, 2u, 4u})
				{
					map_action_parameter cached, fresh;
					find_map_action_parameter_state state;
					new_find_map_action_parameter_state(&state, probe, flags, TAG(probe_name), NONE);
					const boolean found = find_next_map_action_parameter(&state, &fresh);
					ASSERT_EQ(get_map_action_parameter(&cached, probe, flags, TAG(probe_name), NONE), found);
					if (found)
					{
						ASSERT_EQ(memcmp(&cached, &fresh, sizeof(fresh)), 0);
					}
				}
			}
		}
	}

	// The same index, tick and change count on the next map answer from the next map.
	const int16 first = action("none");
	integer(first, "valu", 1);
	integer(first, "pad ", 9);
	ASSERT_TRUE(get_map_action_parameter(nullptr, first, 0, TAG("valu"), NONE));
	harness_end_map();
	ASSERT_TRUE(harness_start_map(&setup));
	int16 again = NONE;
	while (again < first) again = action("none");
	ASSERT_EQ(again, first);
	EXPECT_FALSE(get_map_action_parameter(nullptr, again, 0, TAG("valu"), NONE));
	// The same changes on the next map with 'valu' second: the answer is the new store's.
	integer(again, "valu", 1);
	integer(again, "pad ", 9);
	ASSERT_TRUE(get_map_action_parameter(nullptr, again, 0, TAG("valu"), NONE));
	harness_end_map();
	ASSERT_TRUE(harness_start_map(&setup));
	again = NONE;
	while (again < first) again = action("none");
	integer(again, "pad ", 8);
	integer(again, "valu", 2);
	map_action_parameter found;
	ASSERT_TRUE(get_map_action_parameter(&found, again, 0, TAG("valu"), NONE));
	EXPECT_EQ(found.field_name, TAG("valu"));
	EXPECT_EQ(found.parameter_index, 1);
	EXPECT_EQ(integer_of(again, "valu"), 2);
}

TEST_F(map_actions_store, resizing_relocates_as_specified_and_fails_at_the_limit)
{
	const int16 a = action("none");
	const int16 b = action("none");
	const int16 c = action("none");
	integer(a, "aaaa", 1);
	integer(b, "bbbb", 2);
	integer(c, "cccc", 3);
	const int32 b_offset = get_map_action(b)->parameters_offset;
	const int32 used = get_map_action_parameter_buffer_size();

	map_action_parameter parameter;
	ASSERT_TRUE(get_map_action_parameter(&parameter, a, 0, TAG("aaaa"), NONE));
	const int32 more[3] = {4, 5, 6};
	ASSERT_TRUE(append_to_map_action_parameter(&parameter, 3, more));
	EXPECT_EQ(get_map_action(a)->parameters_offset, used - 12) << "the grown block is last";
	EXPECT_EQ(get_map_action(b)->parameters_offset, b_offset - 12) << "the blocks after it move down";
	EXPECT_EQ(integers_of(a, "aaaa"), (std::vector<int32>{1, 4, 5, 6}));
	EXPECT_EQ(integer_of(b, "bbbb"), 2);
	EXPECT_EQ(integer_of(c, "cccc"), 3);

	// Filling the buffer: the failing edit keeps the old values.
	const int16 big = action("none");
	std::vector<int32> filler(8000, 7);
	add(big, "fill", _parameter_integer, 8000, filler.data());
	const int16 more_big = action("none");
	add(more_big, "fill", _parameter_integer, 8000, filler.data());
	const int16 last = action("none");
	add(last, "rest", _parameter_integer, 8000, filler.data());
	set_map_action_debug_status(_map_action_debug_on);
	const int32 before = get_map_action_parameter_buffer_size();
	ASSERT_TRUE(get_map_action_parameter(&parameter, c, 0, TAG("cccc"), NONE));
	EXPECT_FALSE(set_map_action_parameter(&parameter, 20000, nullptr));
	EXPECT_NE(log_text().find("--- adjust parameters #"), std::string::npos);
	EXPECT_EQ(get_map_action_parameter_buffer_size(), before);
	EXPECT_EQ(integer_of(c, "cccc"), 3);
	// Past 16 bits fails like a full buffer.
	EXPECT_FALSE(set_map_action_parameter(&parameter, 40000, nullptr));

	// Nearly full: shrinking a big block stays inside the buffer.
	ASSERT_TRUE(get_map_action_parameter(&parameter, big, 0, TAG("fill"), NONE));
	set_map_action_parameter(&parameter, 10, nullptr);
	EXPECT_EQ(integer_of(more_big, "fill"), 7);
	EXPECT_EQ(integer_of(last, "rest"), 7);

	// Copies between element sizes are refused.
	map_action_parameter source, destination;
	ASSERT_TRUE(get_map_action_parameter(&source, b, 0, TAG("bbbb"), NONE));
	add(b, "shrt", _parameter_angle, 0, nullptr);
	ASSERT_TRUE(get_map_action_parameter(&destination, b, _return_empty_arrays_flag, TAG("shrt"), NONE));
	EXPECT_FALSE(copy_map_action_parameter(&source, &destination));
}

TEST_F(map_actions_store, new_actions_copy_their_parent_and_take_fresh_identifiers)
{
	const int16 parent = action("math", _map_action_activates_only_once_flag, 2, "parent");
	set_map_action_trigger_time(parent, 30, 60);
	get_map_action(parent)->trigger_time = 99;
	integer(parent, "valu", 5);
	const int16 child = new_map_action(parent);
	ASSERT_NE(child, NONE);
	const map_action *p = get_map_action(parent);
	const map_action *c = get_map_action(child);
	EXPECT_EQ(c->tag, TAG("math"));
	EXPECT_EQ(c->flags, p->flags);
	EXPECT_EQ(c->deactivation_mode, 2);
	EXPECT_EQ(c->trigger_time_lower_bound, 30);
	EXPECT_EQ(c->trigger_time_delta, 60);
	EXPECT_EQ(c->trigger_time, 99);
	EXPECT_NE(c->identifier, p->identifier);
	EXPECT_NE(c->parameters_offset, p->parameters_offset);
	EXPECT_STREQ(get_map_action_name(child), "parent");
	EXPECT_EQ(integer_of(child, "valu"), 5);

	// A free record as parent acts as none.
	const int16 orphan = new_map_action(MAXIMUM_MAP_ACTIONS_PER_MAP - 1);
	EXPECT_EQ(get_map_action_tag(orphan), static_cast<action_tag>(NONE));

	// Identifiers skip live ones, NONE and -2.
	delete_map_action(orphan);
	map_action_array.next_identifier = -2;
	const int16 wrapped = new_map_action(NONE);
	EXPECT_NE(id(wrapped), -2);
	EXPECT_NE(id(wrapped), NONE);
	map_action_array.next_identifier = id(parent);
	EXPECT_NE(id(new_map_action(NONE)), id(parent));

	// A copy the buffer cannot take keeps tag NONE and no parameters.
	std::vector<int32> filler(8000, 1);
	for (int32 i = 0; i < 3; ++i) add(action("none"), "fill", _parameter_integer, 8000, filler.data());
	const int16 big_parent = action("math");
	add(big_parent, "fill", _parameter_integer, 370, filler.data());
	const int16 refused = new_map_action(big_parent);
	ASSERT_NE(refused, NONE);
	EXPECT_EQ(get_map_action_tag(refused), static_cast<action_tag>(NONE));
	EXPECT_EQ(get_map_action(refused)->parameter_count, 0);

	while (new_map_action(NONE) != NONE) {}
	EXPECT_EQ(map_action_array.total_count, MAXIMUM_MAP_ACTIONS_PER_MAP);
}

TEST_F(map_actions_store, names_stop_at_the_parameter_end)
{
	const int16 a = action("none");
	EXPECT_STREQ(get_map_action_name(a), "<unnamed action>");
	add(a, "name", _parameter_character, 5, "abcdefgh");
	EXPECT_STREQ(get_map_action_name(a), "abcde");
}

/* ---------- import */

struct section
{
	std::vector<uint8> bytes;
	int16 count = 0;
};

void put16(section *s, int32 at, int32 value)
{
	s->bytes[at] = static_cast<uint8>(value >> 8);
	s->bytes[at + 1] = static_cast<uint8>(value);
}

section export_store(void)
{
	section s;
	int32 size = 0;
	void *block = export_map_actions(&s.count, &size);
	s.bytes.assign(static_cast<uint8 *>(block), static_cast<uint8 *>(block) + size);
	dispose_pointer(block);
	return s;
}

// Exporting packs the records, not their parameter blocks: the store stays
// editable, and deleting and growing actions afterwards relocates correctly.
TEST_F(map_actions_store, the_store_stays_editable_after_an_export)
{
	const int32 base = get_map_action_parameter_buffer_size();
	const int16 gone = action("none");
	integer(gone, "gone", 9);
	const int16 ids_of[3] = {id(action("none")), id(action("none")), id(action("none"))};
	auto at = [&](int32 k) { return action_identifier_to_action_index(ids_of[k]); };
	integer(at(0), "aaaa", 1);
	integer(at(1), "bbbb", 2);
	integer(at(2), "cccc", 3);
	delete_map_action(gone);
	const section first = export_store();
	EXPECT_EQ(export_store().bytes, first.bytes) << "a second export writes the same bytes";
	EXPECT_EQ(get_map_action_parameter_buffer_size(), base + 3 * 12);

	delete_map_action(at(0));
	delete_map_action(at(2));
	EXPECT_EQ(integer_of(at(1), "bbbb"), 2);
	map_action_parameter parameter;
	ASSERT_TRUE(get_map_action_parameter(&parameter, at(1), 0, TAG("bbbb"), NONE));
	const int32 more[2] = {4, 5};
	ASSERT_TRUE(append_to_map_action_parameter(&parameter, 2, more));
	EXPECT_EQ(integers_of(at(1), "bbbb"), (std::vector<int32>{2, 4, 5}));
	EXPECT_EQ(get_map_action_parameter_buffer_size(), base + 8 + 3 * 4);
	const map_action *last = get_map_action(at(1));
	EXPECT_EQ(last->parameters_offset + last->parameters_size, get_map_action_parameter_buffer_size());
}

TEST_F(map_actions_store, import_refuses_damaged_sections_whole)
{
	const int16 a = action("math", 0, 0, "first");
	integer(a, "valu", 4);
	const int16 b = action("lock");
	ids(b, "keys", {a});
	const section good = export_store();
	ASSERT_EQ(good.count, 2);
	const int32 area = 2 * 64;

	struct fault
	{
		const char *what;
		void (*damage)(section *);
	};
	const fault faults[] = {
		{"count above 1024", [](section *s) { s->count = 1025; }},
		{"size below the records", [](section *s) { s->bytes.resize(100); }},
		{"area too large", [](section *s) { s->bytes.resize(128 + 98305); }},
		{"type 21", [](section *s) { put16(s, 128, 21); }},
		{"count -1", [](section *s) { put16(s, 128 + 2, -1); }},
		{"header past the end", [](section *s) { s->bytes.resize(s->bytes.size() + 4); }},
		{"offset inside a header", [](section *s) { put16(s, 64 + 26, 4); }},
		{"block overrun", [](section *s) { put16(s, 22, 4 + 256); }},
		{"overlapping blocks", [](section *s) { put16(s, 64 + 26, 0); put16(s, 64 + 22, 16); put16(s, 64 + 20, 1); }},
		{"duplicate identifiers", [](section *s) { put16(s, 64, (s->bytes[0] << 8) | s->bytes[1]); }},
		{"identifier 0", [](section *s) { put16(s, 0, 0); }},
		{"identifier 0xFFFF", [](section *s) { put16(s, 0, 0xFFFF); }},
		{"parameters_size -4", [](section *s) { put16(s, 22, -4); }},
		{"more parameters than headers", [](section *s) { put16(s, 20, 3); }},
	};
	(void)area;
	for (const fault &f : faults)
	{
		section bad = good;
		f.damage(&bad);
		initialize_map_actions_for_new_map();
		const size_t lines = occurrences(log_text(), "map actions: ");
		EXPECT_FALSE(import_map_actions(bad.count, static_cast<int32>(bad.bytes.size()), bad.bytes.data(), TRUE)) << f.what;
		EXPECT_EQ(occurrences(log_text(), "map actions: "), lines + 1) << f.what;
		EXPECT_EQ(map_action_array.total_count, 0) << f.what;
		EXPECT_EQ(get_map_action_parameter_buffer_size(), 0) << f.what;
	}

	initialize_map_actions_for_new_map();
	ASSERT_TRUE(import_map_actions(good.count, static_cast<int32>(good.bytes.size()), good.bytes.data(), TRUE));
	EXPECT_STREQ(get_map_action_name(0), "first");
	EXPECT_EQ(integer_of(0, "valu"), 4);

	// 1024 records with a full parameter area load.
	initialize_map_actions_for_new_map();
	std::vector<uint8> full(64 * 1024 + PARAMETER_BUFFER_SIZE, 0);
	section big{full, static_cast<int16>(1024)};
	for (int32 i = 0; i < 1024; ++i) put16(&big, 64 * i, 0x8000 + i);
	// One character parameter spanning the area.
	put16(&big, 64 * 1024, _parameter_character);
	put16(&big, 64 * 1024 + 2, PARAMETER_BUFFER_SIZE - 8);
	EXPECT_TRUE(import_map_actions(big.count, static_cast<int32>(big.bytes.size()), big.bytes.data(), TRUE));
	EXPECT_EQ(map_action_array.total_count, 1024);
	EXPECT_EQ(get_map_action_parameter_buffer_size(), PARAMETER_BUFFER_SIZE);
}

/* ---------- scheduler */

using map_actions_scheduler = map_actions_fixture;

TEST_F(map_actions_scheduler, passes_run_every_32nd_tick_and_modes_decide_deactivation)
{
	get_map_actions_test_hooks()->answer_every_tag = [](int16 index) -> uint32 {
		return static_cast<uint32>(get_map_action(index)->trigger_time_lower_bound);
	};
	int16 modes[6];
	for (int16 mode = 0; mode < 6; ++mode)
	{
		modes[mode] = action("none", _map_action_no_initial_delay_flag | _map_action_only_initial_delay_flag, mode);
		activate_map_action(modes[mode]);
	}
	pass_at(33);
	for (int16 index : modes) EXPECT_TRUE(active(index));

	// The stand-in procedure returns the lower bound: failure here.
	pass_at(64);
	const bool after_failure[6] = {false, false, true, true, false, false};
	for (int16 mode = 0; mode < 6; ++mode) EXPECT_EQ(active(modes[mode]), after_failure[mode]) << mode;

	// Success, then bit 4.
	for (int16 index : modes)
	{
		get_map_action(index)->trigger_time_lower_bound = _map_action_proc_succeeded_flag;
		activate_map_action(index);
	}
	pass_at(96);
	const bool after_success[6] = {false, false, false, true, true, false};
	for (int16 mode = 0; mode < 6; ++mode) EXPECT_EQ(active(modes[mode]), after_success[mode]) << mode;
	get_map_action(modes[3])->trigger_time_lower_bound = _map_action_proc_deactivate_flag;
	pass_at(128);
	EXPECT_FALSE(active(modes[3]));
}

TEST_F(map_actions_scheduler, chain_lists_inhibitors_and_prerequisites)
{
	set_map_action_debug_status(_map_action_debug_on);
	const int16 gate = action("none", 0, 0, "gate");
	const int16 blocked = action("none");
	const int16 subject = action("plan", _map_action_no_initial_delay_flag, _map_action_deactivates_on_successful_execution);
	const int16 on_success = action("none");
	const int16 on_deactivation = action("none");
	ids(subject, "inhi", {gate});
	ids(subject, "acin", {blocked});
	ids(subject, "acos", {on_success});
	ids(subject, "acod", {on_deactivation});
	activate_map_action(subject);

	get_map_action(gate)->flags |= _map_action_succeeded_flag;
	pass_at(32);
	EXPECT_TRUE(active(blocked));
	EXPECT_TRUE(active(subject)) << "a blocked mode-2 action stays active";
	EXPECT_NE(log_text().find("inhibited"), std::string::npos);

	get_map_action(gate)->flags &= ~static_cast<uint32>(_map_action_succeeded_flag);
	get_map_action(subject)->trigger_time = 64;
	pass_at(64);
	EXPECT_TRUE(active(on_success));
	EXPECT_TRUE(active(on_deactivation));
	EXPECT_FALSE(active(subject));

	// A 'prer' list needs one succeeded action; an empty one blocks.
	const int16 needs = action("plan", _map_action_no_initial_delay_flag, 3);
	ids(needs, "prer", {gate, on_success});
	EXPECT_EQ(trigger_map_action(needs), 0u);
	get_map_action(on_success)->flags |= _map_action_succeeded_flag;
	EXPECT_NE(trigger_map_action(needs), 0u);
	add(needs, "prer", _parameter_action_identifier, 0, nullptr);
	EXPECT_EQ(trigger_map_action(needs), 0u);
}

TEST_F(map_actions_scheduler, recursion_cycles_and_missing_procedures)
{
	set_map_action_debug_status(_map_action_debug_on);
	int16 chain[5];
	for (int16 &index : chain) index = action("none");
	for (int16 i = 0; i < 4; ++i) ids(chain[i], "trsi", {chain[i + 1]});
	trigger_map_action(chain[0]);
	EXPECT_NE(log_text().find("recursion limit is #4"), std::string::npos);

	// Activation and deactivation cycles run each list once.
	const int16 a = action("none");
	const int16 b = action("none");
	ids(a, "acoa", {b});
	ids(b, "acoa", {a});
	ids(a, "deod", {b});
	ids(b, "deod", {a});
	activate_map_action(a);
	EXPECT_TRUE(active(a));
	EXPECT_TRUE(active(b));
	deactivate_map_action(b);
	EXPECT_FALSE(active(a));
	EXPECT_FALSE(active(b));

	// A tag without a procedure (a map from a later build): executed and
	// failed, one error line per tag.
	const int16 row_without_procedure = action("zzzz");
	const int16 prta = action("prta");
	const int16 again = action("zzzz");
	EXPECT_EQ(trigger_map_action(row_without_procedure), static_cast<uint32>(_map_action_proc_executed_flag));
	EXPECT_EQ(trigger_map_action(prta), static_cast<uint32>(_map_action_proc_executed_flag));
	trigger_map_action(again);
	const std::string log = log_text();
	EXPECT_EQ(occurrences(log, "no procedure for action tag 'zzzz'"), 1u);
	EXPECT_EQ(occurrences(log, "XXX MA [prta]"), 1u);
	EXPECT_NE(log.find("couldn't locate action tag 'zzzz'."), std::string::npos);
}

TEST_F(map_actions_scheduler, deletion_on_deactivation_from_1601_and_reused_slots)
{
	const int16 a = action("none", _map_action_deleted_on_deactivation_flag);
	activate_map_action(a);
	game_play_version = 1600;
	deactivate_map_action(a);
	EXPECT_NE(get_map_action(a), nullptr);
	activate_map_action(a);
	game_play_version = 1601;
	deactivate_map_action(a);
	EXPECT_EQ(get_map_action(a), nullptr);

	// A munger deleting itself whose slot is taken at once leaves the newcomer alone.
	const int16 munger = action("mung", _map_action_no_initial_delay_flag, 0);
	ids(munger, "adel", {munger});
	const int16 refill = action("none", 0, 0);
	ids(munger, "aact", {refill});
	activate_map_action(munger);
	pass_at(32);
	EXPECT_EQ(get_map_action(munger), nullptr);
	const int16 newcomer = action("none", 0, 3);
	EXPECT_EQ(newcomer, munger);
	EXPECT_FALSE(active(newcomer));
}

TEST_F(map_actions_scheduler, draws_follow_the_delays)
{
	const int16 a = action("none");
	get_map_action(a)->trigger_time_delta = 1;
	uint32 draws = zerv_random_draw_count();
	activate_map_action(a);
	EXPECT_EQ(zerv_random_draw_count(), draws + 1);
	deactivate_map_action(a);
	get_map_action(a)->flags |= _map_action_no_initial_delay_flag;
	draws = zerv_random_draw_count();
	activate_map_action(a);
	EXPECT_EQ(zerv_random_draw_count(), draws);
	deactivate_map_action(a);
	get_map_action(a)->flags = 0;
	get_map_action(a)->trigger_time_delta = 0;
	activate_map_action(a);
	EXPECT_EQ(zerv_random_draw_count(), draws);

	// A huge delay saturates.
	deactivate_map_action(a);
	get_map_action(a)->trigger_time_lower_bound = INT32_MAX;
	game->game_time = 64;
	activate_map_action(a);
	EXPECT_EQ(get_map_action(a)->trigger_time, INT32_MAX);
}

TEST_F(map_actions_scheduler, the_demo_game_triggers_nothing_and_rotates_the_attacking_team)
{
	harness_end_map();
	harness_demo_setup(&setup, 4);
	ASSERT_TRUE(harness_start_map(&setup));
	const int16 a = action("none", _map_action_no_initial_delay_flag, 0);
	activate_map_action(a);
	game->type = _game_type_demo;
	const int16 team_count = get_team_count();
	ASSERT_GT(team_count, 1);
	for (int32 pass = 1; pass <= 4; ++pass)
	{
		pass_at(32 * pass);
		const int16 team = static_cast<int16>(pass % team_count);
		EXPECT_EQ(get_attack_ai_test_hooks()->last_attacking_team, team);
		// The recorded group holds exactly the team's units on the mesh.
		int16 expected = 0;
		for (int16 i = 0; i < monster_array.count; ++i)
		{
			const monster_data *monster = get_monster_data(i);
			if (monster && monster->owner_team_index == team && !(monster->flags & _monster_has_left_the_mesh_flag)) ++expected;
		}
		const attack_group *group = first_attack_group();
		EXPECT_EQ(group ? group->monster_count : 0, expected);
		if (group) { EXPECT_EQ(next_attack_group(group), nullptr); }
	}
	EXPECT_TRUE(active(a));
}

int32 triggers_of[16];

TEST_F(map_actions_scheduler, activations_below_the_current_index_wait_a_pass_and_outside_reports_count)
{
	for (int32 &count : triggers_of) count = 0;
	get_map_actions_test_hooks()->answer_every_tag = [](int16 index) -> uint32 {
		triggers_of[index] += 1;
		return _map_action_proc_succeeded_flag;
	};
	const int16 low = action("none", _map_action_no_initial_delay_flag);
	const int16 middle = action("none", _map_action_no_initial_delay_flag, 0);
	const int16 high = action("none", _map_action_no_initial_delay_flag);
	ids(middle, "acot", {low, high});
	activate_map_action(middle);
	pass_at(31);
	EXPECT_EQ(triggers_of[middle], 0);
	pass_at(32);
	EXPECT_EQ(triggers_of[middle], 1);
	EXPECT_EQ(triggers_of[high], 1) << "a higher index runs in the same pass";
	EXPECT_EQ(triggers_of[low], 0) << "a lower index waits for the next";
	pass_at(64);
	EXPECT_EQ(triggers_of[low], 1);
	EXPECT_FALSE(active(middle));

	// A success reported from outside deactivates a mode-2 action at once.
	const int16 mover = action("none", 0, _map_action_deactivates_on_successful_execution);
	activate_map_action(mover);
	set_map_action_success(mover);
	EXPECT_FALSE(active(mover));
	EXPECT_TRUE(get_map_action(mover)->flags & _map_action_succeeded_flag);

	// An only-once action that was deactivated stays inactive.
	const int16 once = action("none", _map_action_activates_only_once_flag);
	activate_map_action(once);
	deactivate_map_action(once);
	activate_map_action(once);
	EXPECT_FALSE(active(once));
}

TEST_F(map_actions_scheduler, debug_lines_need_debugging_or_debg_and_errors_always_show)
{
	const int16 quiet = action("none", 0, 3, "quiet");
	const int16 loud = action("none", 0, 3, "loud");
	flag(loud, "debg");
	map_action_debug(quiet, "from quiet %d", 1);
	map_action_debug(loud, "from loud %d", 2);
	map_action_debug(NONE, "from nobody");
	map_action_error(quiet, "broken %d", 3);
	std::string log = log_text();
	EXPECT_EQ(log.find("from quiet"), std::string::npos);
	EXPECT_NE(log.find("### MA [none] loud:  from loud 2\n"), std::string::npos);
	EXPECT_EQ(log.find("from nobody"), std::string::npos);
	EXPECT_NE(log.find("XXX MA [none] quiet:  broken 3\n"), std::string::npos);
	EXPECT_FALSE(get_map_action_debug_status());

	// 'debg' on an initially active action turns debugging on for the map.
	get_map_action(loud)->flags |= _map_action_initially_active_flag;
	map_action_debug(loud, "again");
	EXPECT_TRUE(get_map_action_debug_status());
	map_action_debug(NONE, "from nobody");
	EXPECT_NE(log_text().find("--- from nobody\n"), std::string::npos);
	set_map_action_debug_status(_map_action_debug_toggle);
	EXPECT_FALSE(get_map_action_debug_status());
	EXPECT_NE(log_text().find("--- map action debugging off\n"), std::string::npos);
	// Turning it off again prints to the console only: the log line needs debugging on.
	set_map_action_debug_status(_map_action_debug_off);
	log = log_text();
	EXPECT_EQ(log.find("--- map action debugging off\n"), log.rfind("--- map action debugging off\n"));
	cached_line lines[MAXIMUM_CACHED_CONSOLE_LINES];
	int16 line_count = 0;
	save_cached_console_text(lines, &line_count);
	int32 printed = 0;
	for (int16 i = 0; i < line_count; ++i) printed += std::string(lines[i].text) == "map action debugging off";
	EXPECT_EQ(printed, 2);

	// Lines are cut, not overflowed.
	const std::string long_text(5000, 'x');
	map_action_error(quiet, "%s", long_text.c_str());
	log = log_text();
	const size_t at = log.rfind("XXX MA [");
	EXPECT_LT(log.find('\n', at) - at, 512u);
}

} // namespace
