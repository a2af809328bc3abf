// The attack AI driving both sides of a demo-type game on the benchmark map,
// and the groups of its opening.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "attack_ai.h"
#include "bitmaps.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "observer.h"
#include "world.h"
#include "render/render.h"
#include "screen.h"
#include "spatial_groups.h"
#include "support/render_views.h"
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

size_t supergroup_overflow_lines(void)
{
	const std::string log = read_test_file("zerv_log.txt");
	const char *line = "### spatial supergroups overflowed internal buffer";
	size_t lines = 0;
	for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++lines;
	return lines;
}

TEST_F(attack_ai_battle, the_bnch_opening_is_400_groups_and_143_supergroups_with_one_overflow_line)
{
	new_game_data setup;
	harness_ai_battle_setup(&setup, TAG("bnch"));
	ASSERT_TRUE(harness_start_map(&setup));
	const size_t before = supergroup_overflow_lines();
	build_spatial_groups();
	int32 groups = 0, supergroups = 0;
	for (spatial_group *g = first_spatial_group(); g; g = next_spatial_group(g)) ++groups;
	for (spatial_supergroup *s = first_spatial_supergroup(); s; s = next_spatial_supergroup(s)) ++supergroups;
	EXPECT_EQ(groups, 400) << "every unit stands alone";
	// 400 groups of 50 bytes leave room for 143 supergroups of 32.
	EXPECT_EQ(supergroups, 143);
	EXPECT_EQ(supergroup_overflow_lines(), before + 1) << "one line per build";
	harness_end_map();
}

// The overflow lines logged so far after the map's start (which runs a pass),
// after each later pass of 129 ticks of the scripted benchmark, and after the
// map's end. Without the digest nothing reads its groups.
std::vector<size_t> overflow_lines_by_pass(bool digest)
{
	new_game_data setup;
	harness_battle_setup(&setup, TAG("bnch"));
	const size_t before = supergroup_overflow_lines();
	EXPECT_TRUE(harness_start_map(&setup));
	if (!digest) set_zerv_tick_hook(nullptr, nullptr);
	std::vector<size_t> lines = {supergroup_overflow_lines() - before};
	for (int32 tick = 0; tick < 129; ++tick)
	{
		const uint32 builds = spatial_groups_build_count();
		harness_run_ticks(1);
		if (spatial_groups_build_count() != builds) lines.push_back(supergroup_overflow_lines() - before);
	}
	harness_end_map();
	lines.push_back(supergroup_overflow_lines() - before);
	return lines;
}

// A pass logs its lines as a build at the pass would, whether or not anything
// reads its groups, and the map's end logs none again.
TEST_F(attack_ai_battle, each_pass_logs_its_overflow_line_whether_or_not_its_groups_are_read)
{
	const std::vector<size_t> unread = overflow_lines_by_pass(false);
	// Units standing apart at first make 400 groups: no room for every
	// supergroup; from the fourth pass on they stand in larger groups.
	const std::vector<size_t> expected = {1, 2, 3, 4, 4, 4, 4};
	EXPECT_EQ(unread, expected);
	EXPECT_EQ(overflow_lines_by_pass(true), expected) << "the digest reads every pass's groups";
}

// A kind loaded after the first pass built the table gets its row and column.
TEST_F(attack_ai_battle, a_kind_loaded_after_the_first_pass_gets_its_effectiveness_row)
{
	new_game_data setup;
	harness_battle_setup(&setup, TAG("demo"));
	ASSERT_TRUE(harness_start_map(&setup));
	harness_run_ticks(40);
	const int16 caster = monster_definition_tag_to_index(TAG("cast"));
	ASSERT_NE(caster, NONE);
	harness_run_ticks(32);
	const monster_definition *c = get_monster_definition(caster);
	int32 compared = 0;
	for (int16 t = 0; t < caster; ++t)
	{
		const monster_definition *other = get_monster_definition(t);
		if (!other || other->base_movement_speed == c->base_movement_speed) continue;
		const int32 expected = (static_cast<int32>(c->base_movement_speed) - other->base_movement_speed) * 128;
		const int32 bonus = (c->flags & _monster_is_anti_missile_unit_flag) && (other->flags & _monster_is_anti_missile_target_flag) ? 1024 : 0;
		EXPECT_EQ(get_attack_ai_globals()->effectiveness[caster][t], expected + bonus) << t;
		EXPECT_EQ(get_attack_ai_globals()->effectiveness[t][caster], -expected +
			((other->flags & _monster_is_anti_missile_unit_flag) && (c->flags & _monster_is_anti_missile_target_flag) ? 1024 : 0)) << t;
		++compared;
	}
	EXPECT_GT(compared, 0);
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

// Both lists as read: every field a build fills, the owners and the members.
std::vector<int64> laid_out_spatial_groups(void)
{
	std::vector<int64> out;
	for (spatial_group *g = first_spatial_group(); g; g = next_spatial_group(g))
	{
		const spatial_supergroup *owner = spatial_group_owner_supergroup(g);
		const int64 fields[] = {g->flags, g->team_index, g->monster_type, g->monster_count, g->center.x, g->center.y,
			g->radius, g->facing, g->power, g->range, g->velocity.i, g->velocity.j, g->attacker_power, g->power_ratio,
			g->first_attacker, owner ? owner->monster_index : -1};
		out.insert(out.end(), fields, fields + sizeof(fields) / sizeof(fields[0]));
		for (int16 i = 0; i < g->monster_count; ++i) out.push_back(spatial_group_monster_index(g, i));
	}
	out.push_back(-2);
	for (spatial_supergroup *s = first_spatial_supergroup(); s; s = next_spatial_supergroup(s))
	{
		const int64 fields[] = {s->team_index, s->monster_index, s->center.x, s->center.y, s->radius, s->facing, s->power,
			s->monster_count, s->range, s->velocity.i, s->velocity.j};
		out.insert(out.end(), fields, fields + sizeof(fields) / sizeof(fields[0]));
	}
	return out;
}

// A pass notes what the groups are built from and builds them when first read:
// through a battle that moves, fights and kills, groups built from a note
// equal groups built at once from the units.
TEST_F(attack_ai_battle, groups_built_from_a_note_equal_groups_built_from_the_units_every_tick)
{
	new_game_data setup;
	harness_ai_battle_setup(&setup, TAG("bnch"));
	ASSERT_TRUE(harness_start_map(&setup));
	int32 compared = 0;
	for (int32 tick = 0; tick < 720; ++tick)
	{
		harness_run_ticks(1);
		ASSERT_TRUE(note_spatial_groups());
		ASSERT_TRUE(spatial_groups_pending());
		const std::vector<int64> noted = laid_out_spatial_groups();
		ASSERT_FALSE(spatial_groups_pending());
		build_spatial_groups_from_live_units();
		ASSERT_EQ(noted, laid_out_spatial_groups()) << "tick " << tick;
		compared += noted.size() > 1;
	}
	EXPECT_EQ(compared, 720);
	int32 alive = 0;
	for (int16 i = 0; i < monster_array.count; ++i) alive += get_monster_data(i) != nullptr;
	EXPECT_LT(alive, 400) << "units died on the way";
	harness_end_map();
}

size_t count_of(const std::string &text, const std::string &what)
{
	size_t n = 0;
	for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
	return n;
}

struct overlay_drawing
{
	int32 changed_pixels = 0, white_pixels = 0, darkened_pixels = 0, bands = 0;
};

// The camera's frame drawn with the statistics display in the given mode,
// against the same frame with it off: the pixels the overlay changed and the
// bands of adjacent rows they fill (one a line of text: the frame is wide
// and tall enough that no line wraps or falls off).
overlay_drawing draw_statistics_mode(int16 mode, const char *name)
{
	constexpr int32 WIDTH = 1024, HEIGHT = 1024;
	std::vector<uint32> frames[2];
	for (int32 pass = 0; pass < 2; ++pass)
	{
		bitmap_data *bitmap = new_bitmap(WIDTH, HEIGHT, WIDTH * 4, _32bit_encoding, 0);
		if (!bitmap) return {};
		for (int32 row = 0; row < HEIGHT; ++row) memset(bitmap->row_addresses[row], 0, WIDTH * 4);
		get_frame_rate_sample_data()->statistics_display_mode = pass ? mode : 0;
		set_local_random_seed(0x5EED);
		view_data view;
		prepare_observer_view(&view, bitmap);
		render_scene(&view);
		get_frame_rate_sample_data()->statistics_display_mode = 0;
		if (pass) dump_frame_when_asked(bitmap, name);
		for (int32 row = 0; row < HEIGHT; ++row)
		{
			const uint32 *pixels = reinterpret_cast<const uint32 *>(bitmap->row_addresses[row]);
			frames[pass].insert(frames[pass].end(), pixels, pixels + WIDTH);
		}
		dispose_pointer(bitmap);
	}
	overlay_drawing drawn;
	bool in_band = false;
	for (int32 row = 0; row < HEIGHT; ++row)
	{
		bool row_changed = false;
		for (int32 x = 0; x < WIDTH; ++x)
		{
			const size_t at = static_cast<size_t>(row * WIDTH + x);
			if (frames[0][at] == frames[1][at]) continue;
			row_changed = true;
			drawn.changed_pixels += 1;
			drawn.white_pixels += (frames[1][at] & 0xFFFFFF) == 0xFFFFFF;
			for (int32 shift = 0; shift < 24; shift += 8)
			{
				if (((frames[1][at] >> shift) & 0xFF) < ((frames[0][at] >> shift) & 0xFF))
				{
					drawn.darkened_pixels += 1;
					break;
				}
			}
		}
		drawn.bands += row_changed && !in_band;
		in_band = row_changed;
	}
	return drawn;
}

// Each statistics mode draws its lines over the frame, one band of white
// text a line.
TEST_F(attack_ai_battle, statistics_modes_draw_render_counts_groups_supergroups_and_attack_groups)
{
	new_game_data setup;
	harness_demo_setup(&setup, 2);
	ASSERT_TRUE(harness_start_map(&setup));
	harness_run_ticks(40);
	static char text[STATISTICS_DISPLAY_TEXT_SIZE];
	auto expect_drawn = [&](int16 mode, const char *name) {
		get_statistics_display_text(mode, text, sizeof(text));
		const size_t lines = count_of(text, "\r") + (text[0] && text[strlen(text) - 1] != '\r');
		const overlay_drawing drawn = draw_statistics_mode(mode, name);
		EXPECT_EQ(static_cast<size_t>(drawn.bands), lines) << "mode " << mode << ":\n" << text;
		EXPECT_GT(drawn.white_pixels, static_cast<int32>(40 * lines)) << "mode " << mode;
		EXPECT_EQ(drawn.darkened_pixels, 0) << "mode " << mode << ": the text is drawn in white, its edges blended";
		return lines;
	};
	// No frame of this map drawn yet: nothing counted, rather than what the
	// stack held.
	get_statistics_display_text(2, text, sizeof(text));
	EXPECT_EQ(std::string(text), "#0/#0 (0.00%) triangles for #0/#0 (0.00%) bytes\r"
								 "#0/#0 (0.00%) mesh, #0/#0 (0.00%) reflected mesh,\r"
								 "#0/#0 (0.00%) model, #0/#0 (0.00%) reflected model,\r"
								 "#0/#0 (0.00%) rectangle, #0/#0 (0.00%) reflected rectangle,\r"
								 "#0/#0 (0.00%) media, #0/#0 (0.00%) transparent");
	EXPECT_EQ(expect_drawn(2, "statistics_mode_2"), 5u);
	get_statistics_display_text(2, text, sizeof(text));
	EXPECT_EQ(count_of(text, ") triangles for #"), 1u) << text;
	EXPECT_EQ(count_of(text, ") transparent"), 1u) << text;

	int32 groups = 0, supergroups = 0;
	for (spatial_group *g = first_spatial_group(); g; g = next_spatial_group(g)) ++groups;
	for (spatial_supergroup *g = first_spatial_supergroup(); g; g = next_spatial_supergroup(g)) ++supergroups;
	ASSERT_GT(groups, 1);
	ASSERT_GT(supergroups, 0);
	EXPECT_EQ(expect_drawn(3, "statistics_mode_3"), static_cast<size_t>(groups));
	EXPECT_EQ(count_of(text, " pow=="), static_cast<size_t>(groups));
	EXPECT_EQ(expect_drawn(4, "statistics_mode_4"), static_cast<size_t>(supergroups));
	EXPECT_EQ(count_of(text, " range=="), static_cast<size_t>(supergroups));
	harness_end_map();

	// A demo-type game hands a team to the attack AI on every pass: at tick
	// 32 team 1, as one attack group.
	harness_ai_battle_setup(&setup, TAG("demo"));
	ASSERT_TRUE(harness_start_map(&setup));
	harness_run_ticks(40);
	int32 team1 = 0;
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		team1 += monster && monster->owner_team_index == 1 && !(monster->flags & _monster_has_left_the_mesh_flag);
	}
	EXPECT_EQ(expect_drawn(5, "statistics_mode_5"), 1u);
	EXPECT_EQ(std::string(text), "#" + std::to_string(team1) + " units @(0.00,0.00) r==0.00\r");
	harness_end_map();
}

} // namespace
