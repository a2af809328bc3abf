// The attack AI driving both sides of a demo-type game on the benchmark map,
// and the groups of its opening.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "attack_ai.h"
#include "monsters.h"
#include "screen.h"
#include "spatial_groups.h"
#include "support/test_directory.h"
#include "support/zerv_harness.h"
#include "zerv.h"

namespace {

using attack_ai_battle = zerv_harness_fixture;

std::vector<harness_digest_entry> play_ai_battle(int32 ticks)
{
	new_game_data setup;
	harness_ai_battle_setup(&setup, TAG("bnch"));
	EXPECT_TRUE(harness_start_map(&setup));
	harness_run_ticks(ticks);
	std::vector<harness_digest_entry> trail = harness_digest_trail();
	harness_end_map();
	return trail;
}

TEST_F(attack_ai_battle, the_bnch_opening_is_400_groups_and_143_supergroups_with_one_overflow_line)
{
	new_game_data setup;
	harness_ai_battle_setup(&setup, TAG("bnch"));
	ASSERT_TRUE(harness_start_map(&setup));
	auto overflow_lines = []() {
		const std::string log = read_test_file("zerv_log.txt");
		size_t lines = 0;
		for (size_t at = log.find("### spatial supergroups overflowed internal buffer"); at != std::string::npos;
			 at = log.find("### spatial supergroups overflowed internal buffer", at + 1))
		{
			++lines;
		}
		return lines;
	};
	const size_t before = overflow_lines();
	build_spatial_groups();
	int32 groups = 0, supergroups = 0;
	for (spatial_group *g = first_spatial_group(); g; g = next_spatial_group(g)) ++groups;
	for (spatial_supergroup *s = first_spatial_supergroup(); s; s = next_spatial_supergroup(s)) ++supergroups;
	EXPECT_EQ(groups, 400) << "every unit stands alone";
	// 400 groups of 50 bytes leave room for 143 supergroups of 32.
	EXPECT_EQ(supergroups, 143);
	EXPECT_EQ(overflow_lines(), before + 1) << "one line per build";
	harness_end_map();
}

TEST_F(attack_ai_battle, bnch_ai_200_v_200_plays_the_same_twice_in_one_process)
{
	const std::vector<harness_digest_entry> first = play_ai_battle(600);
	const std::vector<harness_digest_entry> again = play_ai_battle(600);
	ASSERT_EQ(first.size(), 600u);
	ASSERT_EQ(first.size(), again.size());
	for (size_t i = 0; i < first.size(); ++i) ASSERT_EQ(first[i].digest, again[i].digest) << "tick " << first[i].game_time;
	EXPECT_TRUE(harness_write_test_digest_trail(first));
}

size_t count_of(const std::string &text, const std::string &what)
{
	size_t n = 0;
	for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
	return n;
}

TEST_F(attack_ai_battle, statistics_modes_show_render_counts_groups_supergroups_and_attack_groups)
{
	new_game_data setup;
	harness_ai_battle_setup(&setup, TAG("demo"));
	ASSERT_TRUE(harness_start_map(&setup));
	harness_run_ticks(40);
	static char text[STATISTICS_DISPLAY_TEXT_SIZE];
	get_statistics_display_text(2, text, sizeof(text));
	EXPECT_EQ(count_of(text, "\r"), 4u) << text;
	EXPECT_EQ(count_of(text, ") triangles for #"), 1u) << text;
	EXPECT_EQ(count_of(text, ") transparent"), 1u) << text;

	int32 groups = 0, supergroups = 0;
	for (spatial_group *g = first_spatial_group(); g; g = next_spatial_group(g)) ++groups;
	for (spatial_supergroup *g = first_spatial_supergroup(); g; g = next_spatial_supergroup(g)) ++supergroups;
	ASSERT_GT(groups, 0);
	get_statistics_display_text(3, text, sizeof(text));
	EXPECT_EQ(count_of(text, "\r"), static_cast<size_t>(groups));
	EXPECT_EQ(count_of(text, " pow=="), static_cast<size_t>(groups));
	get_statistics_display_text(4, text, sizeof(text));
	EXPECT_EQ(count_of(text, " range=="), static_cast<size_t>(supergroups));

	// The pass at tick 32 handed team 1 to the attack AI.
	int32 team1 = 0;
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		team1 += monster && monster->owner_team_index == 1 && !(monster->flags & _monster_has_left_the_mesh_flag);
	}
	get_statistics_display_text(5, text, sizeof(text));
	EXPECT_EQ(std::string(text), "#" + std::to_string(team1) + " units @(0.00,0.00) r==0.00\r");
	harness_end_map();
}

} // namespace
