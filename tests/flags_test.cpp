// Flags on the demo map through the game core: the banners and the ball of
// their scoring types, who owns a flag, and goals.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "alliances.h"
#include "flags.h"
#include "game_statistics.h"
#include "markers.h"
#include "mesh.h"
#include "monsters.h"
#include "objects.h"
#include "players.h"
#include "projectile_definitions.h"
#include "projectiles_content.h"
#include "support/zerv_harness.h"
#include "zerv.h"

namespace {

class flags_fixture : public zerv_harness_fixture
{
protected:
	void start(int16 scoring)
	{
		new_game_data setup;
		harness_demo_setup(&setup, 2);
		setup.parameters.scoring = scoring;
		ASSERT_TRUE(harness_start_map(&setup));
		get_game_sounds_test_hooks()->ignore_mute = TRUE;
		initialize_game_sounds_for_new_map();
		// The map's own armies are hidden: only the units a test places are near.
		for (int16 i = 0; i < monster_array.count; ++i)
		{
			const monster_data *monster = get_monster_data(i);
			object_data *object = monster ? get_object_data(monster->object_index) : nullptr;
			if (object) object->flags |= _object_is_invisible_flag;
		}
	}

	void TearDown() override
	{
		harness_end_map();
		reset_game_sounds_test_hooks();
		zerv_harness_fixture::TearDown();
	}

	static std::vector<int16> live_flags(void)
	{
		std::vector<int16> flags;
		for (int16 i = 0; i < flag_array.count; ++i)
		{
			if (get_flag_data(i)) flags.push_back(i);
		}
		return flags;
	}

	static flag_data *flag_of_team(int16 team)
	{
		for (int16 i : live_flags())
		{
			if (get_flag_data(i)->original_owner_team_index == team) return get_flag_data(i);
		}
		return nullptr;
	}

	static world_point2d flag_position(const flag_data *flag)
	{
		const object_data *object = get_object_data(flag->object_index);
		return {object->location.position.x, object->location.position.y};
	}

	// A bare unit of a team standing at a point; the unit record keeps only what flags read.
	static int16 make_unit(int16 team, world_distance x, world_distance y)
	{
		const int16 monster_index = new_datum(&monster_array);
		monster_data *monster = get_monster_data(monster_index);
		const int16 identifier = monster->identifier;
		memset(monster, 0, sizeof(*monster));
		monster->identifier = identifier;
		monster->type = NONE;
		monster->unit_type = NONE;
		monster->owner_team_index = static_cast<int8>(team);
		monster->owner_player_index = NONE;
		new_object_data request = {};
		request.type = NONE;
		request.owner = _object_is_monster;
		request.owner_index = monster_index;
		request.location.position = {x, y, 0};
		request.collection_index = NONE;
		monster->object_index = new_object(&request);
		// Without a collection the object would be hidden, and hidden units are not near.
		get_object_data(monster->object_index)->flags &= ~static_cast<uint32>(_object_is_invisible_flag);
		return monster_index;
	}

	static void remove_unit(int16 monster_index)
	{
		delete_object(get_monster_data(monster_index)->object_index);
		delete_datum(&monster_array, monster_index);
	}

	static std::vector<int16> queued(void)
	{
		int16 sounds[MAXIMUM_SOUND_QUEUE_SIZE];
		const int16 count = get_queued_game_sounds(sounds, MAXIMUM_SOUND_QUEUE_SIZE);
		return std::vector<int16>(sounds, sounds + count);
	}

	int16 counts[MAXIMUM_TEAMS_PER_MAP];
};

using flags_making = flags_fixture;
using flags_owners = flags_fixture;
using flags_goals = flags_fixture;

TEST_F(flags_making, banners_and_the_ball_stand_only_under_their_scoring)
{
	start(_game_scoring_last_man_on_the_hill);
	EXPECT_TRUE(live_flags().empty());
	EXPECT_EQ(get_number_of_unnumbered_flags(), 0);
	harness_end_map();

	start(_game_scoring_capture_the_flag);
	ASSERT_EQ(live_flags().size(), 2u);
	EXPECT_EQ(get_number_of_unnumbered_flags(), 2);
	for (int16 team : {0, 1})
	{
		const flag_data *flag = flag_of_team(team);
		ASSERT_NE(flag, nullptr) << team;
		EXPECT_EQ(flag->type, _flag_is_banner);
		EXPECT_EQ(flag->owner_team_index, team);
		EXPECT_EQ(flag->number, NONE);
		EXPECT_EQ(get_object_data(flag->object_index)->owner, _object_is_flag);
	}
	harness_end_map();

	start(_game_scoring_cattle_drive);
	ASSERT_EQ(live_flags().size(), 1u);
	const flag_data *ball = get_flag_data(live_flags()[0]);
	EXPECT_EQ(ball->type, _flag_is_token);
	EXPECT_EQ(ball->owner_team_index, NONE);
	EXPECT_EQ(ball->projectile_type, projectile_definition_tag_to_index(DEFAULT_BALL_PROJECTILE_TAG));
	EXPECT_TRUE(get_object_data(ball->object_index)->flags & _object_is_flag_flag);
	EXPECT_EQ(flag_position(ball).x >> WORLD_FRACTIONAL_BITS, 42);
	EXPECT_EQ(flag_position(ball).y >> WORLD_FRACTIONAL_BITS, 67);
}

TEST_F(flags_making, bad_numbers_and_teams_make_no_numbered_or_foreign_flag)
{
	start(_game_scoring_capture_the_flag);
	flag_data *banner = flag_of_team(0);
	ASSERT_NE(banner, nullptr);
	marker_data *marker = get_marker_by_index(banner->marker_index);
	ASSERT_NE(marker, nullptr);
	const world_point2d p = flag_position(banner);

	// A number outside 0..31 makes an unnumbered flag; 31 is the last number.
	for (int16 number : {32, -5, 31})
	{
		new_object_data request = {};
		request.type = NONE;
		request.owner = _object_is_scenery;
		request.location.position = {p.x, p.y, 0};
		request.collection_index = NONE;
		marker->data_index = new_object(&request);
		ASSERT_TRUE(new_flag(marker, number));
	}
	EXPECT_EQ(get_number_of_unnumbered_flags(), 4);
	EXPECT_EQ(get_number_of_numbered_flags(), 1);
	EXPECT_EQ(flag_globals.numbered_flags_flags, 1u << 31);

	// A palette row whose team the map does not have makes no flag.
	marker_palette_entry *row = get_marker_palette_entry(_marker_scenery, marker->palette_index);
	const int16 team = row->team_index;
	row->team_index = 9;
	EXPECT_FALSE(new_flag(marker, NONE));
	row->team_index = team;
}

TEST_F(flags_owners, contested_flags_count_for_both_and_come_back_to_their_last_owner)
{
	start(_game_scoring_capture_the_flag);
	flag_data *banner = flag_of_team(0);
	ASSERT_NE(banner, nullptr);
	const world_point2d p = flag_position(banner);

	// Exactly the radius away is not near.
	const int16 far_unit = make_unit(1, p.x + FLAG_NEARNESS_RADIUS, p.y);
	EXPECT_TRUE(count_team_flags(counts, _count_contested_flags_flag, 15));
	EXPECT_EQ(banner->owner_team_index, 0);
	EXPECT_EQ(counts[0], 1);
	EXPECT_EQ(counts[1], 1) << "team 1's own banner";

	zerv_digest held;
	zerv_digest_begin(&held);
	flags_fold_digest(&held);
	const int16 enemy = make_unit(1, p.x + FLAG_NEARNESS_RADIUS - 1, p.y);
	const int16 friendly = make_unit(0, p.x, p.y + 100);
	EXPECT_FALSE(count_team_flags(counts, _count_contested_flags_flag, 15));
	EXPECT_EQ(banner->owner_team_index, NONE);
	EXPECT_EQ(counts[0], 1);
	EXPECT_EQ(counts[1], 2);
	zerv_digest contested;
	zerv_digest_begin(&contested);
	flags_fold_digest(&contested);
	EXPECT_NE(contested.hash, held.hash) << "the digest sees the owner";
	EXPECT_FALSE(count_team_flags(counts, _count_contested_flags_flag, 15));
	EXPECT_EQ(queued(), (std::vector<int16>{_game_sound_flag_contested})) << "heard once";

	remove_unit(enemy);
	remove_unit(friendly);
	remove_unit(far_unit);
	EXPECT_TRUE(count_team_flags(counts, 0, 15));
	EXPECT_FALSE(count_team_flags(counts, _count_neutral_flags_as_contested_flag, 15)) << "a neutral flag counts as contested";
	EXPECT_EQ(banner->owner_team_index, NONE);
	count_team_flags(counts, _return_neutral_flags_to_original_owner_flag, 15);
	EXPECT_EQ(banner->owner_team_index, 0);
	EXPECT_EQ(banner->time_of_possession, 0);

	// A held flag settles only after the minimum time.
	EXPECT_FALSE(count_team_flags(counts, _use_minimum_time_of_possession_flag, MINIMUM_TIME_OF_POSSESSION - 1));
	EXPECT_TRUE(count_team_flags(counts, _use_minimum_time_of_possession_flag, 1));
}

TEST_F(flags_owners, a_numbered_flag_is_captured_once_and_a_neutral_one_is_safe)
{
	start(_game_scoring_capture_the_flag);
	flag_data *banner = flag_of_team(1);
	ASSERT_NE(banner, nullptr);
	banner->number = 3;
	banner->owner_team_index = NONE;
	count_team_flags(counts, 0, 15); // nobody near, no owner: nothing to capture
	EXPECT_EQ(banner->owner_team_index, NONE);

	const world_point2d p = flag_position(banner);
	const int16 unit = make_unit(0, p.x, p.y);
	count_team_flags(counts, 0, 15);
	team_data *team = get_team_data(0);
	EXPECT_EQ(team->number_of_numbered_flags_captured, 1);
	EXPECT_EQ(team->numbered_flags_captured_flags, 1u << 3);
	EXPECT_EQ(banner->owner_team_index, 0);
	EXPECT_EQ(counts[0], 1) << "only team 0's own banner counts";

	// Team 0 already has number 3: staying or coming back captures nothing more.
	count_team_flags(counts, 0, 15);
	remove_unit(unit);
	make_unit(0, p.x, p.y);
	count_team_flags(counts, 0, 15);
	EXPECT_EQ(team->number_of_numbered_flags_captured, 1);
}

TEST_F(flags_goals, a_token_across_another_teams_goal_scores_and_stands_again_at_its_marker)
{
	start(_game_scoring_cattle_drive);
	ASSERT_EQ(live_flags().size(), 1u);
	flag_data *ball = get_flag_data(live_flags()[0]);
	const int16 old_object = ball->object_index;
	const int16 marker_index = ball->marker_index;
	ball->owner_team_index = 0;

	// On the line's cell row the sign is 0: no point.
	const world_point2d on_line[2] = {{0, 67 * WORLD_ONE}, {100 * WORLD_ONE, 67 * WORLD_ONE + 511}};
	new_goal(1, 2, on_line);
	count_team_flags(counts, _score_goals_flag, 15);
	EXPECT_EQ(get_team_data(0)->score, 0);
	EXPECT_EQ(ball->object_index, old_object);

	const world_point2d beyond[2] = {{0, 68 * WORLD_ONE}, {100 * WORLD_ONE, 68 * WORLD_ONE}};
	new_goal(1, 2, beyond);
	new_goal(0, 2, beyond); // the owner's own goal never scores
	count_team_flags(counts, _score_goals_flag, 15);
	EXPECT_EQ(get_team_data(0)->score, 1);
	EXPECT_EQ(get_object_data(old_object)->owner, _object_is_special_projectile) << "fading out";
	ASSERT_EQ(live_flags().size(), 1u);
	const flag_data *fresh = get_flag_data(live_flags()[0]);
	EXPECT_NE(fresh->object_index, old_object);
	EXPECT_EQ(fresh->marker_index, marker_index);
	EXPECT_EQ(fresh->owner_team_index, NONE);
	EXPECT_EQ(get_marker_by_index(marker_index)->data_index, fresh->object_index);
	EXPECT_EQ(get_number_of_unnumbered_flags(), 1) << "the ball made again is still one flag";
	const int16 won = get_team_data(0) && player_globals.local_player_team_index == 0 ? _game_sound_point_won : _game_sound_point_lost;
	EXPECT_EQ(queued(), (std::vector<int16>{won}));
}

TEST_F(flags_goals, an_uncapturable_token_resets_silently_when_taken)
{
	start(_game_scoring_cattle_drive);
	flag_data *ball = get_flag_data(live_flags()[0]);
	ball->flags |= _flag_cannot_be_captured_flag;
	const int16 old_object = ball->object_index;
	const world_point2d p = flag_position(ball);
	make_unit(1, p.x + 10, p.y);
	count_team_flags(counts, 0, 15);
	ASSERT_EQ(live_flags().size(), 1u);
	EXPECT_NE(get_flag_data(live_flags()[0])->object_index, old_object);
	EXPECT_TRUE(queued().empty());
}

// A target reaching a flag its team may score at leaves through a world
// gate: hidden by its marker, counted once, no longer near anything.
TEST_F(flags_goals, a_target_at_a_flag_scores_once_and_leaves_the_world)
{
	start(_game_scoring_cattle_drive);
	flag_data *ball = get_flag_data(live_flags()[0]);
	int16 target = NONE;
	for (int16 i = 0; i < monster_array.count && target == NONE; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (monster && monster->owner_team_index == 1 && monster->marker_index >= 0) target = i;
	}
	ASSERT_NE(target, NONE);
	monster_data *monster = get_monster_data(target);
	monster->extra_flags |= _monster_is_netgame_target_extra_flag;
	object_data *unit = get_object_data(monster->object_index);
	unit->flags &= ~static_cast<uint32>(_object_is_invisible_flag);
	// The ball is carried to the target.
	disconnect_object_from_mesh(ball->object_index);
	get_object_data(ball->object_index)->location.position = unit->location.position;
	reconnect_object_to_mesh(ball->object_index);

	count_team_flags(counts, _score_goals_flag, 15);
	EXPECT_EQ(get_team_data(1)->score, 1);
	EXPECT_TRUE(monster->flags & _monster_has_left_the_mesh_flag);
	EXPECT_TRUE(unit->flags & _object_is_invisible_flag);
	EXPECT_TRUE(get_marker_by_index(monster->marker_index)->flags & _marker_is_invisible_flag) << "a script can bring it back";
	count_team_flags(counts, _score_goals_flag, 15);
	EXPECT_EQ(get_team_data(1)->score, 1) << "gone from the world, it scores no more";
}

} // namespace

namespace {

using scoring_without_objects = zerv_harness_fixture;

// 'demo' has no numbered flags, no banners but under capture the flag, and no
// targets or hunted units: no scoring may end its game for want of them.
TEST_F(scoring_without_objects, demo_plays_on_under_every_scoring_that_lacks_its_objects)
{
	for (const int16 scoring : {_game_scoring_scavenger_hunt, _game_scoring_flag_rally, _game_scoring_capture_the_flag,
			 _game_scoring_ball_hoard, _game_scoring_territories, _game_scoring_captures, _game_scoring_assassination,
			 _game_scoring_hunting})
	{
		new_game_data setup;
		harness_demo_setup(&setup, 2);
		setup.parameters.scoring = scoring;
		ASSERT_TRUE(harness_start_map(&setup));
		EXPECT_EQ(harness_run_ticks(60), 60) << "scoring " << scoring;
		EXPECT_FALSE(game_flags_test(_game_is_over_flag)) << "scoring " << scoring;
		harness_end_map();
	}
}

} // namespace
