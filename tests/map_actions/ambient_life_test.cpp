// Ambient life: the per-map pool of unit records, the actions made for the
// units, and the four procedures' orders and draws, played on 'demo''s units.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "map_actions/ambient_life/ambient_life_procs.h"
#include "map_actions/map_actions.h"
#include "mesh.h"
#include "monster_ambient_life.h"
#include "monsters.h"
#include "objects.h"
#include "support/zerv_harness.h"
#include "world.h"
#include "zerv.h"

namespace {

class ambient_life : public zerv_harness_fixture
{
protected:
	void SetUp() override
	{
		zerv_harness_fixture::SetUp();
		new_game_data setup;
		harness_battle_setup(&setup, HARNESS_DEMO_MAP_TAG);
		ASSERT_TRUE(harness_start_map(&setup));
		for (int16 i = 1; i < monster_array.count; ++i)
		{
			if (get_monster_data(i)) units.push_back(i);
		}
		ASSERT_GE(units.size(), 4u);
		saved_version = game_play_version;
	}

	void TearDown() override
	{
		game_play_version = saved_version;
		harness_end_map();
		// The game record outlives the map: leave its clock as a fresh process has it.
		game->game_time = 0;
		zerv_harness_fixture::TearDown();
	}

	// The newest action, made for the unit.
	static int16 make(int16 monster_index, const char (&tag)[5])
	{
		const int16 before = map_action_array.count;
		create_map_action_for_monster(monster_index, TAG(tag));
		int16 newest = NONE;
		for (int16 i = 0; i < map_action_array.count; ++i)
		{
			const map_action *action = get_map_action(i);
			if (action && action->tag == TAG(tag)) newest = i;
		}
		EXPECT_GE(map_action_array.count, before);
		return newest;
	}

	// Hides every unit but the given ones from the threat scans.
	static void hide_all_but(std::initializer_list<int16> keep)
	{
		for (int16 i = 0; i < monster_array.count; ++i)
		{
			monster_data *monster = get_monster_data(i);
			if (!monster) continue;
			bool kept = false;
			for (int16 k : keep) kept = kept || k == i;
			if (!kept) monster->extra_flags |= _monster_is_invisible_extra_flag;
		}
	}

	// Two units of different types within the chicken's scan, or false.
	bool find_neighbours(int16 *chicken, int16 *other)
	{
		for (int16 a : units)
		{
			for (int16 b : units)
			{
				if (get_monster_data(a)->unit_type == get_monster_data(b)->unit_type) continue;
				const world_point2d pa = get_monster_position2d(a), pb = get_monster_position2d(b);
				if (std::abs(pa.x / WORLD_ONE - pb.x / WORLD_ONE) <= 2 && std::abs(pa.y / WORLD_ONE - pb.y / WORLD_ONE) <= 2)
				{
					*chicken = a;
					*other = b;
					return true;
				}
			}
		}
		return false;
	}

	std::vector<int16> units;
	int16 saved_version = 0;
};

TEST_F(ambient_life, pool_offsets_kinds_overflow_and_late_activation)
{
	EXPECT_EQ(get_monster_map_action_memory_pool_free_space(), MAP_ACTION_MEMORY_POOL_SIZE);
	const int16 chicken = make(units[0], "chic");
	ASSERT_NE(chicken, NONE);
	EXPECT_EQ(get_monster_ambient_life_pool_offset(units[0]), 0);
	EXPECT_STREQ(get_map_action_name(chicken), ("monster " + std::to_string(units[0]) + " ambient action").c_str());
	EXPECT_EQ(get_map_action(chicken)->deactivation_mode, _map_action_deactivates_on_successful_execution);
	// The map's first pass has run: a unit made now is active at once.
	EXPECT_TRUE(get_map_action(chicken)->flags & _map_action_is_active_flag);

	make(units[1], "deer");
	EXPECT_EQ(get_monster_ambient_life_pool_offset(units[1]), 12);
	const deer_action_data *deer =
		static_cast<const deer_action_data *>(get_monster_ambient_life_record(units[1], _ambient_life_deer));
	ASSERT_NE(deer, nullptr);
	EXPECT_EQ(deer->ticks_until_next_movement, -1);
	EXPECT_EQ(deer->last_vitality, get_object_data(get_monster_data(units[1])->object_index)->vitality);
	// A record is only read as its own kind.
	EXPECT_EQ(get_monster_ambient_life_record(units[1], _ambient_life_chicken), nullptr);

	const uint32 draws = zerv_random_draw_count();
	make(units[2], "soar");
	EXPECT_EQ(zerv_random_draw_count(), draws + 1) << "the lift";
	EXPECT_EQ(get_monster_ambient_life_pool_offset(units[2]), 32);
	const monster_data *bird = get_monster_data(units[2]);
	EXPECT_GE(bird->height_over_mesh, 1280);
	EXPECT_LT(bird->height_over_mesh, 1280 + 512);

	// An unknown kind gets its action but no record.
	const int16 unknown = make(units[3], "xxxx");
	EXPECT_NE(unknown, NONE);
	EXPECT_EQ(get_monster_data(units[3])->monster_map_action_data, nullptr);
	EXPECT_EQ(get_monster_map_action_memory_pool_free_space(), MAP_ACTION_MEMORY_POOL_SIZE - 40);

	// Before the first pass, that pass activates it.
	map_action_globals->initial_actions_activated = FALSE;
	const int16 early = make(units[3], "peas");
	EXPECT_FALSE(get_map_action(early)->flags & _map_action_is_active_flag);
	map_action_globals->initial_actions_activated = TRUE;

	// The 342nd chicken no longer fits.
	initialize_monster_map_action_memory_pool_for_new_map();
	for (int i = 0; i < 341; ++i) make(units[0], "chic");
	EXPECT_EQ(get_monster_map_action_memory_pool_free_space(), 4);
	EXPECT_NE(get_monster_data(units[0])->monster_map_action_data, nullptr);
	make(units[0], "chic");
	EXPECT_EQ(get_monster_data(units[0])->monster_map_action_data, nullptr);
	EXPECT_EQ(get_monster_map_action_memory_pool_free_space(), 4);
}

TEST_F(ambient_life, chicken_and_peasant_draws_and_destinations)
{
	const int16 subject = units[0];
	hide_all_but({subject});
	const int16 action = make(subject, "chic");
	chicken_action_data *data =
		static_cast<chicken_action_data *>(get_monster_ambient_life_record(subject, _ambient_life_chicken));

	// Idle: no draw, the countdown falls by 30.
	data->ticks_until_next_movement = 100;
	uint32 draws = zerv_random_draw_count();
	EXPECT_EQ(chicken_action_proc(action), 0u);
	EXPECT_EQ(zerv_random_draw_count(), draws);
	EXPECT_EQ(data->ticks_until_next_movement, 70);

	// Wander: distance, direction, countdown.
	data->ticks_until_next_movement = 0;
	draws = zerv_random_draw_count();
	chicken_action_proc(action);
	EXPECT_EQ(zerv_random_draw_count(), draws + 3);
	EXPECT_GE(data->ticks_until_next_movement, -60);

	// A unit that cannot move (no speed, or a negative one) waits the bare minimum: -60 and the third draw.
	const int16 speed = get_monster_data(subject)->base_movement_speed;
	for (const int16 still : {int16{0}, int16{-5}})
	{
		get_monster_data(subject)->base_movement_speed = still;
		data->ticks_until_next_movement = 0;
		const uint32 seed = get_random_seed();
		zerv_random();
		zerv_random();
		const int32 wait = (150 * static_cast<int32>(zerv_random())) >> 16;
		set_random_seed(seed);
		chicken_action_proc(action);
		EXPECT_EQ(data->ticks_until_next_movement, -60 + wait) << still;
	}
	get_monster_data(subject)->base_movement_speed = speed;

	// A wrong-kind subject is skipped: a peasant action on the chicken reads nothing.
	const int16 peasant_action = make(units[1], "peas");
	get_map_action(peasant_action);
	map_action_parameter subjects;
	ASSERT_TRUE(get_map_action_parameter(&subjects, peasant_action, 0, TAG("subj"), _parameter_monster_identifier));
	const int16 chicken_identifier = get_monster_data(subject)->identifier;
	ASSERT_TRUE(set_map_action_parameter(&subjects, 1, &chicken_identifier));
	draws = zerv_random_draw_count();
	peasant_action_proc(peasant_action);
	EXPECT_EQ(zerv_random_draw_count(), draws);

	// Version gates: a unit being healed acts before 1511 only.
	get_monster_data(subject)->action = _monster_action_being_healed;
	data->ticks_until_next_movement = 100;
	game_play_version = 1510;
	chicken_action_proc(action);
	EXPECT_EQ(data->ticks_until_next_movement, 70);
	game_play_version = 1511;
	chicken_action_proc(action);
	EXPECT_EQ(data->ticks_until_next_movement, 70);
	get_monster_data(subject)->action = 0;
	get_monster_data(subject)->flags |= _monster_has_left_the_mesh_flag;
	game_play_version = 1695;
	chicken_action_proc(action);
	EXPECT_EQ(data->ticks_until_next_movement, 40);
	game_play_version = 1696;
	chicken_action_proc(action);
	EXPECT_EQ(data->ticks_until_next_movement, 40);
	get_monster_data(subject)->flags &= ~static_cast<uint32>(_monster_has_left_the_mesh_flag);
}

TEST_F(ambient_life, chicken_flees_from_its_home_point)
{
	int16 chicken = NONE, other = NONE;
	ASSERT_TRUE(find_neighbours(&chicken, &other)) << "no two kinds stand close on this map";
	hide_all_but({chicken, other});
	const int16 action = make(chicken, "chic");
	chicken_action_data *data =
		static_cast<chicken_action_data *>(get_monster_ambient_life_record(chicken, _ambient_life_chicken));
	data->ticks_until_next_movement = 100;
	// Home lies 24 cells off: the flight is measured from there, 1536 to 4608 away, not from where it stands.
	const world_distance shift = data->original_position.x > mesh_globals->mesh_width * WORLD_ONE / 2 ? -24 * WORLD_ONE : 24 * WORLD_ONE;
	const world_point2d home = {data->original_position.x + shift, data->original_position.y};
	data->original_position = home;
	uint32 draws = zerv_random_draw_count();
	chicken_action_proc(action);
	EXPECT_EQ(zerv_random_draw_count(), draws + 2) << "flee: a distance, then the countdown";
	const monster_data *runner = get_monster_data(chicken);
	ASSERT_GT(runner->waypoint_count, 0);
	const world_distance from_home = distance2d(&runner->waypoints[runner->waypoint_count - 1], &home);
	EXPECT_GE(from_home, 1536 - 2);
	EXPECT_LT(from_home, 1536 + 3072 + 2);
	data->ticks_until_next_movement = 0;
	draws = zerv_random_draw_count();
	chicken_action_proc(action);
	EXPECT_EQ(zerv_random_draw_count(), draws + 4) << "flee, then the wander that replaces it";
}

TEST_F(ambient_life, the_bird_takes_five_draws_on_its_first_pass_and_the_deer_herd_retreats)
{
	hide_all_but({units[0], units[1], units[2]});
	const int16 bird_action = make(units[0], "soar");
	// What the change of animation itself draws, apart from the procedure's own five.
	uint32 draws = zerv_random_draw_count();
	set_monster_movement_animation(units[2], _monster_action_permutation_gliding);
	const uint32 animation_draws = zerv_random_draw_count() - draws;
	draws = zerv_random_draw_count();
	soaring_action_proc(bird_action);
	EXPECT_EQ(zerv_random_draw_count(), draws + 5 + animation_draws);
	EXPECT_EQ(get_monster_data(units[0])->action_permutation, _monster_action_permutation_gliding);
	const soaring_action_data *bird =
		static_cast<const soaring_action_data *>(get_monster_ambient_life_record(units[0], _ambient_life_soaring));
	EXPECT_GE(bird->ticks_until_glide_transition, 90);
	EXPECT_LT(bird->ticks_until_glide_transition, 120);

	// Two deer in one action: a wound sends the deer 7680 from home, away from its attacker.
	const int16 deer_action = make(units[1], "deer");
	deer_action_data *deer = static_cast<deer_action_data *>(get_monster_ambient_life_record(units[1], _ambient_life_deer));
	deer->ticks_until_next_movement = 300;
	deer->last_vitality = static_cast<short_fixed>(get_object_data(get_monster_data(units[1])->object_index)->vitality + 10);
	get_monster_data(units[1])->aggressor_monster_index = units[2];
	deer_action_proc(deer_action);
	EXPECT_TRUE(deer->flags & _deer_was_previously_retreating_flag);
	EXPECT_GE(deer->ticks_until_next_movement, 150 - 30);
	EXPECT_LT(deer->ticks_until_next_movement, 210 - 30);
	EXPECT_EQ(deer->last_vitality, get_object_data(get_monster_data(units[1])->object_index)->vitality);

	// Grazing afterwards moves the home point to where it stands.
	deer->ticks_until_next_movement = 0;
	deer_action_proc(deer_action);
	EXPECT_FALSE(deer->flags & _deer_was_previously_retreating_flag);
	const world_point2d here = get_monster_position2d(units[1]);
	EXPECT_EQ(deer->original_position.x, here.x);
	EXPECT_EQ(deer->original_position.y, here.y);
	EXPECT_GE(deer->ticks_until_next_movement, 600 - 60);
}

// A threat to one deer sends the whole herd off, away from it.
TEST_F(ambient_life, a_threat_to_one_deer_moves_the_whole_herd)
{
	int16 near = NONE, threat = NONE;
	ASSERT_TRUE(find_neighbours(&near, &threat)) << "no two kinds stand close on this map";
	const world_point2d danger = get_monster_position2d(threat);
	int16 far = NONE;
	for (int16 u : units)
	{
		const world_point2d p = get_monster_position2d(u);
		if (u != near && get_monster_data(u)->unit_type == get_monster_data(near)->unit_type &&
			distance2d(&p, &danger) > 10 * WORLD_ONE)
		{
			far = u;
			break;
		}
	}
	ASSERT_NE(far, NONE) << "no second deer far from the threat";
	hide_all_but({near, threat, far});
	const int16 herd = make(near, "deer");
	make(far, "deer");
	const int16 identifiers[2] = {get_monster_data(near)->identifier, get_monster_data(far)->identifier};
	ASSERT_TRUE(set_unique_map_action_parameter(herd, TAG("subj"), _parameter_monster_identifier, 2, identifiers));
	for (int16 deer : {near, far})
	{
		deer_action_data *data = static_cast<deer_action_data *>(get_monster_ambient_life_record(deer, _ambient_life_deer));
		ASSERT_NE(data, nullptr);
		data->ticks_until_next_movement = 300;
		data->last_vitality = get_object_data(get_monster_data(deer)->object_index)->vitality;
		get_monster_data(deer)->waypoint_count = 0;
	}
	deer_action_proc(herd);
	for (int16 deer : {near, far})
	{
		const monster_data *monster = get_monster_data(deer);
		ASSERT_GT(monster->waypoint_count, 0) << deer;
		const world_point2d at = get_monster_position2d(deer);
		EXPECT_GT(distance2d(&monster->waypoints[monster->waypoint_count - 1], &danger), distance2d(&at, &danger)) << deer;
	}
}

TEST_F(ambient_life, animals_move_over_ticks_and_digest_their_records)
{
	const world_point2d start = get_monster_position2d(units[0]);
	make(units[0], "peas");
	harness_run_ticks(300);
	const world_point2d later = get_monster_position2d(units[0]);
	EXPECT_TRUE(later.x != start.x || later.y != start.y);
}

} // namespace
