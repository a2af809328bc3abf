// Spatial groups and the attack AI on the demo armies, thinned out to the
// units each case places by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "attack_ai.h"
#include "cell_units.h"
#include "demo_armies_fixture.h"
#include "map_actions/map_actions_test_support.h"
#include "map_actions/subject_lists.h"
#include "mesh.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "objects.h"
#include "spatial_groups.h"
#include "units_content.h"
#include "world.h"

#if defined(__SANITIZE_ADDRESS__)
#define GROUPS_TEST_COUNTS_ALLOCATIONS 1
// The sanitizer allocator sees every block: malloc, new_pointer and operator new alike.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void *, size_t),
	void (*free_hook)(const volatile void *));
#endif

namespace {

#ifdef GROUPS_TEST_COUNTS_ALLOCATIONS
volatile int32 allocations_seen = 0;
volatile bool counting_allocations = false;
void count_allocation(const volatile void *, size_t)
{
	if (counting_allocations) allocations_seen = allocations_seen + 1;
}
void ignore_free(const volatile void *) {}
#endif

class spatial_groups_on_a_map : public demo_armies_fixture, protected hand_placed_units
{
protected:
	void TearDown() override
	{
		for (const auto &saved : saved_definitions) *get_monster_definition(saved.first) = saved.second;
		demo_armies_fixture::TearDown();
	}

	// The kind's power and range for this test (put back afterwards).
	void set_kind(int16 index, int16 power, short_world_distance range)
	{
		const int16 type = get_monster_data(index)->type;
		monster_definition *definition = get_monster_definition(type);
		bool saved = false;
		for (const auto &s : saved_definitions) saved = saved || s.first == type;
		if (!saved) saved_definitions.push_back({type, *definition});
		definition->combined_power = power;
		definition->longest_range = range;
	}

	static std::vector<spatial_group *> groups(void)
	{
		std::vector<spatial_group *> list;
		for (spatial_group *g = first_spatial_group(); g; g = next_spatial_group(g)) list.push_back(g);
		return list;
	}

	static std::vector<spatial_supergroup *> supergroups(void)
	{
		std::vector<spatial_supergroup *> list;
		for (spatial_supergroup *s = first_spatial_supergroup(); s; s = next_spatial_supergroup(s)) list.push_back(s);
		return list;
	}

	static std::vector<int16> members(const spatial_group *g)
	{
		std::vector<int16> list;
		for (int16 i = 0; i < g->monster_count; ++i) list.push_back(spatial_group_monster_index(g, i));
		return list;
	}

	static world_distance cell(int32 c) { return c * WORLD_ONE + WORLD_ONE_HALF; }

	std::vector<std::pair<int16, monster_definition>> saved_definitions;
};

using spatial_groups = spatial_groups_on_a_map;
using attack_ai = spatial_groups_on_a_map;

TEST_F(spatial_groups, neighbours_in_the_three_by_three_block_share_a_group_and_its_fields_are_worked_out)
{
	const std::vector<int16> s = take(0, DEFAULT_SWORDSMAN_TAG, 4);
	keep_only_taken();
	set_kind(s[0], 20, 400);
	// One cell apart: together; the third, two cells from the first, is reached only through the second.
	place(s[0], cell(20), cell(20), 0);
	place(s[1], cell(21) + 7, cell(20) - 3, 16384);
	place(s[2], cell(22), cell(20), 16384);
	// Three cells from every other: alone.
	place(s[3], cell(20), cell(24));
	object_of(s[0])->location.velocity = {-3, 5, 0};
	object_of(s[1])->location.velocity = {-4, 0, 0};
	object_of(s[2])->location.velocity = {0, -2, 0};
	build_spatial_groups();
	const auto list = groups();
	ASSERT_EQ(list.size(), 2u);
	spatial_group *g = list[0];
	EXPECT_EQ(members(g), (std::vector<int16>{s[0], s[1], s[2]}));
	EXPECT_EQ(members(list[1]), (std::vector<int16>{s[3]}));
	EXPECT_EQ(+g->team_index, 0);
	EXPECT_EQ(+g->monster_type, get_monster_data(s[0])->type);
	const world_distance x_sum = cell(20) + cell(21) + 7 + cell(22), y_sum = 3 * cell(20) - 3;
	EXPECT_EQ(+g->center.x, x_sum / 3);
	EXPECT_EQ(+g->center.y, y_sum / 3);
	EXPECT_EQ(+g->radius, MAX(cell(22) - x_sum / 3, x_sum / 3 - cell(20)));
	EXPECT_EQ(+g->velocity.i, -2) << "means truncate toward zero";
	EXPECT_EQ(+g->velocity.j, 1);
	EXPECT_EQ(+g->facing, arctangent(angle_cosine(0) + 2 * angle_cosine(16384), angle_sine(0) + 2 * angle_sine(16384)));
	EXPECT_EQ(+g->power, 60);
	EXPECT_EQ(+g->range, 400);
	EXPECT_EQ(+g->first_attacker, NONE);
}

TEST_F(spatial_groups, the_block_is_clamped_at_the_map_edge_and_growth_stops_after_the_scan_that_passes_the_limit)
{
	const std::vector<int16> s = take(0, DEFAULT_SWORDSMAN_TAG, 3);
	keep_only_taken();
	// From cell 0 the block is cells 0..2.
	place(s[0], cell(0), cell(0));
	place(s[1], cell(2), cell(2));
	place(s[2], cell(3), cell(0));
	build_spatial_groups();
	auto list = groups();
	ASSERT_EQ(list.size(), 2u);
	EXPECT_EQ(members(list[0]), (std::vector<int16>{s[0], s[1]}));
	EXPECT_EQ(members(list[1]), (std::vector<int16>{s[2]}));

	// At the top corner the block is the last three cells.
	const int32 w = mesh_globals->mesh_width, h = mesh_globals->mesh_height;
	place(s[0], cell(w - 1), cell(h - 1));
	place(s[1], cell(w - 3), cell(h - 3));
	place(s[2], cell(w - 4), cell(h - 1));
	build_spatial_groups();
	list = groups();
	ASSERT_EQ(list.size(), 2u);
	EXPECT_EQ(list[0]->monster_count + list[1]->monster_count, 3);
	EXPECT_EQ(members(list[0]).size() == 2 ? members(list[0]) : members(list[1]), (std::vector<int16>{s[0], s[1]}));
}

// On a map under three cells wide or high the block starts at 0 and ends at
// the map's edge: it reads no cell off the map (the sanitizer tree would see it).
TEST_F(spatial_groups, on_a_map_under_three_cells_the_block_is_the_whole_map)
{
	const std::vector<int16> s = take(0, DEFAULT_SWORDSMAN_TAG, 2);
	keep_only_taken();
	// Cells 0 and 1 of the bottom row are the first two cells of every narrower layout.
	place(s[0], cell(0), cell(0));
	place(s[1], cell(1), cell(0));
	const int32 width = mesh_globals->mesh_width, height = mesh_globals->mesh_height;
	const int32 sizes[][2] = {{2, 2}, {1, 4}, {4, 1}};
	for (const auto &size : sizes)
	{
		mesh_globals->mesh_width = size[0];
		mesh_globals->mesh_height = size[1];
		ASSERT_TRUE(note_spatial_groups());
		const auto noted = groups();
		const std::vector<int16> noted_members = noted.size() == 1 ? members(noted[0]) : std::vector<int16>{};
		build_spatial_groups_from_live_units();
		const auto built = groups();
		const std::vector<int16> built_members = built.size() == 1 ? members(built[0]) : std::vector<int16>{};
		mesh_globals->mesh_width = width;
		mesh_globals->mesh_height = height;
		EXPECT_EQ(noted_members, (std::vector<int16>{s[0], s[1]})) << size[0] << " x " << size[1];
		EXPECT_EQ(built_members, (std::vector<int16>{s[0], s[1]})) << size[0] << " x " << size[1];
	}
}

TEST_F(spatial_groups, the_growth_limit_is_checked_before_each_member)
{
	// The benchmark map's armies are large enough for a chain of 32 of one kind.
	harness_end_map();
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	ASSERT_TRUE(harness_start_map(&setup));
	file_tag kind = DEFAULT_SWORDSMAN_TAG;
	for (file_tag k : {DEFAULT_SWORDSMAN_TAG, DEFAULT_ARCHER_TAG, DEFAULT_THROWER_TAG, DEFAULT_SCOUT_TAG})
	{
		int16 count = 0;
		for (int16 i = 0; i < monster_array.count; ++i) count += get_monster_data(i) && get_monster_data(i)->owner_team_index == 0 && is_kind(i, k);
		if (count >= 32)
		{
			kind = k;
			break;
		}
	}
	const std::vector<int16> s = take(0, kind, 32);
	keep_only_taken();
	for (int i = 0; i < 32; ++i) place(s[i], cell(5 + i), cell(20));
	// Each scan finds the next one: before member k the group holds k + 1.
	game_play_version = 1300;
	build_spatial_groups();
	EXPECT_EQ(+first_spatial_group()->monster_count, 30);
	game_play_version = 1301;
	build_spatial_groups();
	EXPECT_EQ(+first_spatial_group()->monster_count, 32);
	// Packed 3 x 3 blocks: one scan adds eight, overshooting the limit.
	for (int i = 0; i < 32; ++i) place(s[i], cell(10 + (i % 3)), cell(10 + (i / 3) % 3) + (i / 9) * 16);
	game_play_version = 1300;
	build_spatial_groups();
	EXPECT_EQ(+first_spatial_group()->monster_count, 32) << "the whole cluster lies in the first scans";
}

TEST_F(spatial_groups, passes_allocate_nothing)
{
#ifdef GROUPS_TEST_COUNTS_ALLOCATIONS
	static const bool installed = __sanitizer_install_malloc_and_free_hooks(count_allocation, ignore_free) != 0;
	ASSERT_TRUE(installed);
	allocations_seen = 0;
	counting_allocations = true;
	for (int16 team = 0; team < 2; ++team)
	{
		build_spatial_groups();
		reset_attack_ai();
		attack_with_all_monster_indexes(team);
		update_attack_ai();
	}
	counting_allocations = false;
	EXPECT_EQ(allocations_seen, 0);
#else
	GTEST_SKIP() << "allocation counting needs the sanitizer allocator";
#endif
}

TEST_F(spatial_groups, supergroups_join_other_kinds_within_reach_but_never_the_seeds_kind)
{
	const std::vector<int16> s = take(0, DEFAULT_SWORDSMAN_TAG, 2);
	const std::vector<int16> a = take(0, DEFAULT_ARCHER_TAG, 1);
	const std::vector<int16> e = take(1, DEFAULT_SWORDSMAN_TAG, 1);
	keep_only_taken();
	set_kind(s[0], 20, 400);
	set_kind(a[0], 24, 6144);
	set_kind(e[0], 20, 400);
	// Swordsman, then an archer 767 away (approximate distance), then a second
	// swordsman beside the archer but away from the first; an enemy beside all.
	place(s[0], cell(20), cell(20));
	place(a[0], cell(20) + 767, cell(20));
	place(s[1], cell(20) + 767 + 700, cell(20));
	place(e[0], cell(20) + 300, cell(21));
	build_spatial_groups();
	auto list = groups();
	ASSERT_EQ(list.size(), 4u);
	auto supers = supergroups();
	ASSERT_EQ(supers.size(), 3u);
	// Group order is unit order: find each by its first unit.
	auto group_of = [&](int16 unit) {
		for (spatial_group *g : list)
		{
			if (spatial_group_monster_index(g, 0) == unit) return g;
		}
		return static_cast<spatial_group *>(nullptr);
	};
	EXPECT_EQ(spatial_group_owner_supergroup(group_of(s[0])), spatial_group_owner_supergroup(group_of(a[0])));
	EXPECT_NE(spatial_group_owner_supergroup(group_of(s[0])), spatial_group_owner_supergroup(group_of(s[1])))
		<< "the seed's kind never joins";
	EXPECT_NE(spatial_group_owner_supergroup(group_of(s[0])), spatial_group_owner_supergroup(group_of(e[0])));
	const spatial_supergroup *joined = spatial_group_owner_supergroup(group_of(s[0]));
	EXPECT_EQ(+joined->power, 44);
	EXPECT_EQ(+joined->monster_count, 2);
	EXPECT_EQ(+joined->center.x, static_cast<world_distance>((static_cast<int64>(cell(20)) * 20 + (cell(20) + 767) * 24) / 44));
	EXPECT_EQ(+joined->range, 6144 + (cell(20) + 767 - joined->center.x));

	// At 768 they stay apart.
	place(a[0], cell(20) + 768, cell(20));
	build_spatial_groups();
	list = groups();
	EXPECT_NE(spatial_group_owner_supergroup(group_of(s[0])), spatial_group_owner_supergroup(group_of(a[0])));
}

// Members in order and supergroup places against a plain build: every cell
// of every member's block scanned again, every later group tried as a
// supergroup candidate, over the benchmark map's armies scattered and crowded.
TEST_F(spatial_groups, members_and_supergroups_match_a_plain_build)
{
	harness_end_map();
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	ASSERT_TRUE(harness_start_map(&setup));
	std::vector<int16> units;
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		if (get_monster_data(i) && get_monster_data(i)->owner_team_index >= 0 && get_monster_data(i)->owner_team_index < 2) units.push_back(i);
	}
	ASSERT_GT(units.size(), 300u);
	uint32 seed = 0x2468aceu;
	auto below = [&](int32 n) {
		seed = seed * 1664525u + 1013904223u;
		return static_cast<int32>((seed >> 8) % static_cast<uint32>(n));
	};
	const mesh_globals_data *mesh = mesh_globals;
	size_t joined = 0;
	auto corner = [](int32 c, int32 size) { return MAX(0, MIN(c - 1, size - 3)); };
	for (int32 round = 0; round < 16; ++round)
	{
		// Odd rounds stand in long files: wide groups.
		const int32 spread = 4 + 3 * round, depth = round & 1 ? 2 : spread / 2 + 1;
		for (int16 i : units) place(i, cell(2 + below(spread)) + below(WORLD_ONE) - WORLD_ONE_HALF, cell(2 + below(depth)));
		build_spatial_groups();

		std::vector<bool> used(MAXIMUM_MONSTERS_PER_MAP, false);
		std::vector<std::vector<int16>> plain;
		for (int16 m = 0; m < monster_array.count; ++m)
		{
			const monster_data *monster = get_monster_data(m);
			if (!monster || used[m] || (monster->extra_flags & _monster_cannot_be_autotargeted_extra_flag)) continue;
			if (!object_of(m) || (object_of(m)->flags & _object_is_invisible_flag)) continue;
			if (get_monster_definition(monster->type)->monster_class == _monster_class_ambient_life) continue;
			std::vector<int16> group = {m};
			used[m] = true;
			for (size_t k = 0; k < group.size() && group.size() < MAXIMUM_SPATIAL_GROUP_GROWTH; ++k)
			{
				const world_point3d p = object_of(group[k])->location.position;
				const int32 x0 = corner(WORLD_INTEGERAL_PART(p.x), mesh->mesh_width), y0 = corner(WORLD_INTEGERAL_PART(p.y), mesh->mesh_height);
				for (int32 y = y0; y < y0 + 3; ++y)
				{
					for (int32 x = x0; x < x0 + 3; ++x)
					{
						for_each_visible_unit_in_cell(mesh, x, y, [&](const object_data *, int16 u, const monster_data *other) {
							if (!used[u] && !(other->extra_flags & _monster_cannot_be_autotargeted_extra_flag) &&
								other->owner_team_index == monster->owner_team_index && other->type == monster->type)
							{
								group.push_back(u);
								used[u] = true;
							}
							return true;
						});
					}
				}
			}
			plain.push_back(group);
		}
		const auto list = groups();
		ASSERT_EQ(list.size(), plain.size()) << "round " << round;
		for (size_t g = 0; g < list.size(); ++g) ASSERT_EQ(members(list[g]), plain[g]) << "round " << round << ", group " << g;

		auto touch = [&](const spatial_group *a, const spatial_group *b) {
			for (int16 i : members(a))
			{
				for (int16 j : members(b))
				{
					const world_distance dx = object_of(i)->location.position.x - object_of(j)->location.position.x;
					const world_distance dy = object_of(i)->location.position.y - object_of(j)->location.position.y;
					const int32 ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
					if ((ax > ay ? ax + ay / 2 : ay + ax / 2) < SUPERGROUP_UNIT_CONTACT_DISTANCE) return true;
				}
			}
			return false;
		};
		std::vector<int32> owner(list.size(), NONE);
		int32 supergroup_count = 0;
		for (size_t s0 = 0; s0 < list.size(); ++s0)
		{
			if (owner[s0] != NONE) continue;
			owner[s0] = supergroup_count;
			std::vector<size_t> work = {s0};
			for (size_t w = 0; w < work.size(); ++w)
			{
				const spatial_group *a = list[work[w]];
				for (size_t c = work[w] + 1; c < list.size(); ++c)
				{
					const spatial_group *b = list[c];
					if (owner[c] != NONE || b->team_index != list[s0]->team_index || b->monster_type == list[s0]->monster_type) continue;
					const world_point2d p = {a->center.x, a->center.y}, q = {b->center.x, b->center.y};
					if (static_cast<int64>(distance2d(&p, &q)) - a->radius - b->radius > MAXIMUM_SUPERGROUP_GAP || !touch(a, b)) continue;
					owner[c] = supergroup_count;
					if (work.size() < MAXIMUM_COMBINED_GROUPS) work.push_back(c);
				}
			}
			++supergroup_count;
		}
		const auto supers = supergroups();
		ASSERT_EQ(supers.size(), static_cast<size_t>(supergroup_count)) << "round " << round;
		joined += list.size() - supers.size();
		for (size_t g = 0; g < list.size(); ++g)
		{
			EXPECT_EQ(spatial_group_owner_supergroup(list[g]), supers[static_cast<size_t>(owner[g])]) << "round " << round << ", group " << g;
		}
	}
	EXPECT_GT(joined, 100u) << "supergroups of several groups were tried";
}

TEST_F(spatial_groups, an_obstruction_is_a_melee_group_between_the_point_and_the_group)
{
	const std::vector<int16> target = take(1, DEFAULT_ARCHER_TAG, 1);
	const std::vector<int16> guard = take(1, DEFAULT_SWORDSMAN_TAG, 1);
	keep_only_taken();
	place(target[0], cell(30), cell(30));
	place(guard[0], cell(30), cell(25));
	build_spatial_groups();
	const spatial_group *archers = nullptr, *swordsmen = nullptr;
	for (spatial_group *g : groups()) (spatial_group_monster_index(g, 0) == target[0] ? archers : swordsmen) = g;
	ASSERT_TRUE(archers && swordsmen);
	EXPECT_EQ(obstructing_group({cell(30), cell(10)}, archers, 0), swordsmen);
	EXPECT_EQ(obstructing_group({cell(10), cell(30)}, archers, 0), nullptr) << "off to the side";
	EXPECT_EQ(obstructing_group({cell(30), cell(10)}, archers, 1), nullptr) << "the given team's own groups";
}

TEST_F(attack_ai, recording_caps_and_overflows_without_committing)
{
	attack_ai_configuration configuration;
	new_attack_ai_configuration(&configuration);
	reset_attack_ai();
	int16 indexes[500];
	for (int16 i = 0; i < 500; ++i) indexes[i] = static_cast<int16>(i % MAXIMUM_MONSTERS_PER_MAP);
	attack_with_monster_indexes(indexes, 0, &configuration);
	EXPECT_EQ(first_attack_group(), nullptr);
	// Ten groups of 400 fill 16280 bytes; the eleventh does not fit.
	for (int i = 0; i < 11; ++i) attack_with_monster_indexes(indexes, 500, &configuration);
	EXPECT_EQ(get_attack_ai_globals()->buffer_offset, 10 * MAXIMUM_ATTACK_GROUP_SIZE);
	int groups = 0;
	for (const attack_group *g = first_attack_group(); g; g = next_attack_group(g)) ++groups;
	EXPECT_EQ(groups, 10);
	EXPECT_EQ(first_attack_group()->monster_count, 400);

	char text[64];
	debug_attack_ai(text, sizeof(text));
	EXPECT_STREQ(text, "#400 units @(0.00,0.00) r==0.00\r") << "cut at a whole line";
	reset_attack_ai();
	debug_attack_ai(text, sizeof(text));
	EXPECT_STREQ(text, "");
}

TEST_F(attack_ai, a_radius_of_exactly_two_values_sets_the_focus_radius)
{
	harness_end_map();
	new_game_data setup;
	harness_default_setup(&setup);
	ASSERT_TRUE(harness_start_map(&setup));
	for (int n = 1; n <= 3; ++n)
	{
		const int16 a = new_map_action(NONE);
		world_distance values[3] = {100, 2000, 3000};
		map_action_parameter parameter;
		ASSERT_TRUE(new_map_action_parameter(&parameter, a, TAG("radi"), _parameter_world_distance));
		ASSERT_TRUE(set_map_action_parameter(&parameter, n, values));
		attack_ai_configuration configuration;
		parse_attack_ai_configuration(&configuration, a);
		EXPECT_EQ(configuration.radius, n == 2 ? 2000 : 0) << n;
		EXPECT_EQ(configuration.flags, n == 2 ? 0u : static_cast<uint32>(_attack_ai_no_focus_flag)) << n;
	}
}

TEST_F(attack_ai, attackers_spread_by_overkill_and_pick_targets_by_effectiveness_and_distance)
{
	const std::vector<int16> attackers = take(0, DEFAULT_SWORDSMAN_TAG, 4);
	const std::vector<int16> near_group = take(1, DEFAULT_SWORDSMAN_TAG, 2);
	const std::vector<int16> far_group = take(1, DEFAULT_ARCHER_TAG, 1);
	keep_only_taken();
	set_kind(attackers[0], 20, 400);
	set_kind(far_group[0], 20, 6144);
	for (size_t i = 0; i < attackers.size(); ++i) place(attackers[i], cell(10 + 3 * static_cast<int32>(i)), cell(10));
	place(near_group[0], cell(16), cell(14));
	place(near_group[1], cell(17), cell(14));
	place(far_group[0], cell(40), cell(40));

	// Effectiveness: speeds x 128 and the anti-missile bonus.
	monster_definition *sword = get_monster_definition(get_monster_data(attackers[0])->type);
	monster_definition *bow = get_monster_definition(get_monster_data(far_group[0])->type);
	sword->flags |= _monster_is_anti_missile_unit_flag;
	bow->flags |= _monster_is_anti_missile_target_flag;
	initialize_attack_ai_for_new_map();
	build_spatial_groups();
	reset_attack_ai();
	attack_with_all_monster_indexes(0);
	EXPECT_EQ(get_attack_ai_test_hooks()->last_attacking_team, 0);
	update_attack_ai();
	const attack_ai_globals_data *globals = get_attack_ai_globals();
	EXPECT_FALSE(globals->need_to_initialize_cached_tables);
	const int16 st = get_monster_data(attackers[0])->type, bt = get_monster_data(far_group[0])->type;
	EXPECT_EQ(globals->effectiveness[st][bt], (sword->base_movement_speed - bow->base_movement_speed) * 128 + 1024);
	EXPECT_EQ(globals->effectiveness[bt][st], (bow->base_movement_speed - sword->base_movement_speed) * 128);

	// The near pair (power 40) takes attackers until more than 1.5 times its
	// power is committed: 20, 40, 60 keep it ahead; at 80 the far group wins.
	spatial_group *near_spatial = nullptr, *far_spatial = nullptr;
	for (spatial_group *g = first_spatial_group(); g; g = next_spatial_group(g))
	{
		if (spatial_group_monster_index(g, 0) == near_group[0]) near_spatial = g;
		if (spatial_group_monster_index(g, 0) == far_group[0]) far_spatial = g;
	}
	ASSERT_TRUE(near_spatial && far_spatial);
	int near_count = 0, far_count = 0;
	for (auto e = first_spatial_group_attacker(near_spatial); e; e = next_spatial_group_attacker(e)) ++near_count;
	for (auto e = first_spatial_group_attacker(far_spatial); e; e = next_spatial_group_attacker(e)) ++far_count;
	EXPECT_EQ(near_count + far_count, 4);
	EXPECT_GE(near_count, 1);
	EXPECT_EQ(+near_spatial->attacker_power, 20 * near_count);
	EXPECT_EQ(+near_spatial->power_ratio, (20 * near_count << 16) / 40);
	// Each attacker of the near group was ordered onto its nearer unit.
	for (auto e = first_spatial_group_attacker(near_spatial); e; e = next_spatial_group_attacker(e))
	{
		const monster_data *m = get_monster_data(e->monster_index);
		const world_distance x = object_of(e->monster_index)->location.position.x;
		const int16 expected = x <= (cell(16) + cell(17)) / 2 ? near_group[0] : near_group[1];
		EXPECT_EQ(m->target_monster_index, expected) << e->monster_index;
	}

	// With no enemy group nobody is assigned.
	delete_monster(near_group[0], TRUE);
	delete_monster(near_group[1], TRUE);
	delete_monster(far_group[0], TRUE);
	build_spatial_groups();
	reset_attack_ai();
	attack_with_all_monster_indexes(0);
	update_attack_ai();
	for (spatial_group *g = first_spatial_group(); g; g = next_spatial_group(g)) EXPECT_EQ(+g->first_attacker, NONE);
}

TEST_F(attack_ai, dead_and_reused_records_are_skipped_and_engaged_melee_stays)
{
	const std::vector<int16> attackers = take(0, DEFAULT_SWORDSMAN_TAG, 3);
	const std::vector<int16> enemy = take(1, DEFAULT_SWORDSMAN_TAG, 1);
	keep_only_taken();
	place(attackers[0], cell(10), cell(10));
	place(attackers[1], cell(14), cell(10));
	place(attackers[2], cell(18), cell(10));
	place(enemy[0], cell(14), cell(14));
	build_spatial_groups();
	reset_attack_ai();
	attack_ai_configuration configuration;
	new_attack_ai_configuration(&configuration);
	const int16 list[4] = {attackers[0], attackers[1], attackers[2], 999};
	attack_with_monster_indexes(list, 4, &configuration);
	// A free record, a relabelled unit, an engaged swordsman.
	delete_monster(attackers[0], TRUE);
	set_monster_identifier(attackers[1], static_cast<int16>(get_monster_data(attackers[1])->identifier + 1000));
	get_monster_data(attackers[2])->flags |= _monster_has_valid_target_flag | _monster_in_proximity_to_target_flag;
	game_play_version = 1700;
	update_attack_ai();
	std::vector<int16> assigned;
	for (auto e = first_spatial_group_attacker(first_spatial_group()); e; e = next_spatial_group_attacker(e))
	{
		assigned.push_back(e->monster_index);
	}
	for (spatial_group *g = first_spatial_group(); g; g = next_spatial_group(g))
	{
		if (g->team_index == 1)
		{
			assigned.clear();
			for (auto e = first_spatial_group_attacker(g); e; e = next_spatial_group_attacker(e)) assigned.push_back(e->monster_index);
		}
	}
	EXPECT_EQ(assigned, (std::vector<int16>{attackers[1]})) << "below 1701 a relabelled unit still attacks";
	game_play_version = 1701;
	update_attack_ai();
	for (spatial_group *g = first_spatial_group(); g; g = next_spatial_group(g)) EXPECT_EQ(+g->first_attacker, NONE);
}

// The sharing out and the target picks against a plain scan of every group
// and every member with the scores written out, over scattered armies whose
// cell-centre places give many equal scores, with and without a focus.
TEST_F(attack_ai, shares_and_picks_as_a_plain_scan_of_every_score)
{
	std::vector<int16> units[2];
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (monster && monster->owner_team_index >= 0 && monster->owner_team_index < 2) units[monster->owner_team_index].push_back(i);
	}
	ASSERT_GT(units[0].size(), 10u);
	ASSERT_GT(units[1].size(), 10u);
	uint32 seed = 0x1234567u;
	auto below = [&](int32 n) {
		seed = seed * 1664525u + 1013904223u;
		return static_cast<int32>((seed >> 8) % static_cast<uint32>(n));
	};
	const attack_ai_globals_data *globals = get_attack_ai_globals();
	for (int32 round = 0; round < 12; ++round)
	{
		// Spread over 6 to 60 cells, each army in its own half but overlapping.
		const int32 spread = 6 + 6 * (round % 10);
		for (int16 team = 0; team < 2; ++team)
		{
			for (int16 i : units[team]) place(i, cell(10 + below(spread)), cell(10 + team * spread / 3 + below(spread)));
		}
		build_spatial_groups();
		reset_attack_ai();
		attack_ai_configuration focused;
		new_attack_ai_configuration(&focused);
		focused.flags &= ~static_cast<uint32>(_attack_ai_no_focus_flag);
		focused.focus = {cell(10 + below(spread)), cell(10 + below(spread))};
		focused.radius = below(spread) * WORLD_ONE;
		attack_with_all_monster_indexes(0);
		attack_with_monster_indexes(units[1].data(), static_cast<int16>(units[1].size()), &focused);

		// Shares worked out by hand before the pass, newest attack group first.
		std::vector<spatial_group *> list = groups();
		std::vector<int32> power(list.size(), 0);
		std::vector<int32> ratio(list.size(), 0);
		std::vector<std::vector<int16>> shares(list.size());
		auto share = [&](const std::vector<int16> &attackers, const attack_ai_configuration &configuration) {
			for (int16 a : attackers)
			{
				const monster_data *m = get_monster_data(a);
				const monster_definition *kind = get_monster_definition(m->type);
				if (kind->monster_class == _monster_class_melee && (m->flags & _monster_has_valid_target_flag) &&
					(m->flags & _monster_in_proximity_to_target_flag))
				{
					continue;
				}
				const world_point2d p = {object_of(a)->location.position.x, object_of(a)->location.position.y};
				int32 best = NONE;
				int64 best_score = 0;
				for (size_t g = 0; g < list.size(); ++g)
				{
					if (list[g]->team_index == m->owner_team_index) continue;
					const world_point2d c = {list[g]->center.x, list[g]->center.y};
					if (!(configuration.flags & _attack_ai_no_focus_flag) &&
						distance2d(&configuration.focus, &c) - list[g]->radius > configuration.radius)
					{
						continue;
					}
					const int64 closeness = 10240 - (static_cast<int64>(distance2d(&p, &c)) - list[g]->radius);
					const int64 score = ((98304 - static_cast<int64>(ratio[g])) >> 4) + (closeness > 0 ? closeness : 0);
					if (best == NONE || score > best_score)
					{
						best = static_cast<int32>(g);
						best_score = score;
					}
				}
				if (best == NONE) continue;
				power[best] += kind->combined_power;
				ratio[best] = list[best]->power ? (power[best] << 16) / list[best]->power : INT32_MAX;
				shares[best].insert(shares[best].begin(), a);
			}
		};
		share(units[1], focused);
		share(units[0], {_attack_ai_no_focus_flag, {0, 0}, 0});
		update_attack_ai();
		for (size_t g = 0; g < list.size(); ++g)
		{
			std::vector<int16> attackers;
			for (auto e = first_spatial_group_attacker(list[g]); e; e = next_spatial_group_attacker(e)) attackers.push_back(e->monster_index);
			ASSERT_EQ(attackers, shares[g]) << "round " << round << ", group " << g;
			EXPECT_EQ(+list[g]->attacker_power, power[g]);
			EXPECT_EQ(+list[g]->power_ratio, ratio[g]);
			// Each attacker's target: the best of effectiveness and closeness.
			for (int16 a : attackers)
			{
				const world_point2d p = {object_of(a)->location.position.x, object_of(a)->location.position.y};
				int16 pick = NONE;
				int64 best_score = 0;
				for (int16 t : members(list[g]))
				{
					const world_point2d q = {object_of(t)->location.position.x, object_of(t)->location.position.y};
					const int64 closeness = 10240 - static_cast<int64>(distance2d(&p, &q));
					const int64 score = globals->effectiveness[get_monster_data(a)->type][get_monster_data(t)->type] +
						(closeness > 0 ? closeness : 0);
					if (pick == NONE || score > best_score)
					{
						pick = t;
						best_score = score;
					}
				}
				EXPECT_EQ(get_monster_data(a)->target_monster_index, pick) << "round " << round << ", attacker " << a;
			}
		}
	}
}

TEST_F(attack_ai, command_chunks_follow_the_play_version)
{
	int16 list[200];
	for (int16 i = 0; i < 200; ++i) list[i] = i;
	for (int16 version : {1300, 1301})
	{
		game_play_version = version;
		std::vector<int16> sizes;
		int16 next = 0;
		for_each_command_chunk(200, list, [&](const int16 *chunk, int16 n) {
			EXPECT_EQ(chunk[0], next);
			next = static_cast<int16>(next + n);
			sizes.push_back(n);
		});
		if (version == 1300) EXPECT_EQ(sizes, (std::vector<int16>{30, 30, 30, 30, 30, 30, 20}));
		else EXPECT_EQ(sizes, (std::vector<int16>{126, 74}));
	}
}

TEST_F(attack_ai, identifier_lookups_answer_as_the_linear_search)
{
	auto linear = [](int16 identifier) -> int16 {
		for (int16 m = 0; m < monster_array.count; ++m)
		{
			if (get_monster_data(m) && get_monster_data(m)->identifier == identifier) return m;
		}
		return NONE;
	};
	auto check_all = [&](const char *when) {
		for (int32 id = 1; id < 65536; id += 1)
		{
			const int16 identifier = static_cast<int16>(id);
			int16 index = NONE;
			const int16 found = monster_identifiers_to_monster_indexes(&identifier, &index, 1);
			const int16 expected = linear(identifier);
			ASSERT_EQ(found, expected == NONE ? 0 : 1) << when << " " << id;
			if (found) { ASSERT_EQ(index, expected) << when << " " << id; }
		}
	};
	check_all("start");
	const std::vector<int16> s = take(0, DEFAULT_SWORDSMAN_TAG, 3);
	const int16 old_identifier = get_monster_data(s[0])->identifier;
	delete_monster(s[0], TRUE);
	check_all("death");
	set_monster_identifier(s[1], old_identifier);
	check_all("reuse");
	monster_change_identifier(s[2]);
	check_all("charm");
}

} // namespace
