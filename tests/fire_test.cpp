// Fire: starting, spreading, going out, the units near it and its sound.
#include "weather_test_support.h"

#include <cstdlib>

#include "mirror_groups.h"
#include "monsters.h"
#include "render/render.h"

namespace {

// The synchronised stream's first draw after this seed is 0.
#define ZERO_DRAW_SEED 634785765u

class fire_on_a_map : public weather_test_map
{
protected:
	void SetUp() override
	{
		weather_test_map::SetUp();
		// As in a game: the shared flame and smoke groups are made.
		get_local_projectiles_test_hooks()->module_off = FALSE;
		start_fire_module();
	}
	// One game tick of the two modules, in the game's order.
	static void tick(void)
	{
		update_fire();
		update_mirror_groups();
	}
	static int32 fires_burning(void)
	{
		int32 count = 0;
		for (int16 i = 0; i < MAXIMUM_CELLS_ON_FIRE_PER_MAP; ++i) count += get_fire_cell_data(i) ? 1 : 0;
		return count;
	}
	// Seeds the stream so that its next draw lies below limit.
	static void seed_next_draw_below(uint16 limit)
	{
		for (uint32 seed = 1;; ++seed)
		{
			set_random_seed(seed);
			const uint16 draw = zerv_random();
			set_random_seed(seed);
			if (draw < limit) return;
		}
	}
	static void light(int32 x, int32 y, fixed_fraction chance = 65535)
	{
		const new_fire_cell_data data = {static_cast<int16>(x), static_cast<int16>(y), chance, NONE, NONE, NONE};
		start_fire(&data);
	}
};

TEST_F(fire_on_a_map, starting_chances_and_draws)
{
	// Water and snow never ignite, even on a draw of 0 (the draw is still taken).
	set_terrain(10, 10, _terrain_media_deep, _terrain_media_deep);
	set_terrain(11, 10, _terrain_snow, _terrain_snow);
	for (int32 x = 10; x <= 11; ++x)
	{
		set_random_seed(ZERO_DRAW_SEED);
		ASSERT_EQ(zerv_random(), 0);
		set_random_seed(ZERO_DRAW_SEED);
		const uint32 draws = zerv_random_draw_count();
		try_to_start_fire(NONE, NONE, NONE, x, 10);
		EXPECT_EQ(zerv_random_draw_count() - draws, 1u);
		EXPECT_FALSE(cell_is_on_fire(x, 10));
		EXPECT_FALSE(get_mesh_cell(x, 10)->flags & _mesh_cell_was_or_is_on_fire_flag);
	}
	// Off the grid: nothing, no draw.
	const uint32 draws = zerv_random_draw_count();
	try_to_start_fire(NONE, NONE, NONE, -1, 5);
	try_to_start_fire(NONE, NONE, NONE, 5, mesh_globals->mesh_height);
	EXPECT_EQ(zerv_random_draw_count(), draws);
	// Grass starts at full chance: the start draw, then duration, fire group, smoke group.
	try_to_start_fire(3, NONE, NONE, 20, 20);
	EXPECT_EQ(zerv_random_draw_count() - draws, 4u);
	EXPECT_TRUE(cell_is_on_fire(20, 20));
	// A cell burns once per map.
	const uint32 later = zerv_random_draw_count();
	try_to_start_fire(3, NONE, NONE, 20, 20);
	EXPECT_EQ(zerv_random_draw_count(), later);
	EXPECT_EQ(fires_burning(), 1);
}

TEST_F(fire_on_a_map, spreading_generations_and_terrain)
{
	// Desert catches from a detonation but never from a neighbour.
	EXPECT_EQ(cell_fire_chance(terrain_spreading_chance, (_terrain_desert << 4) | _terrain_desert), 0);
	EXPECT_EQ(cell_fire_chance(terrain_starting_chance, (_terrain_desert << 4) | _terrain_desert), 65535);
	EXPECT_EQ(cell_fire_chance(terrain_spreading_chance, (_terrain_grass << 4) | _terrain_desert), 16384);

	// Candidates: neighbours W, E, S, N; merging keeps the larger chance; 21845 per generation.
	new_fire_cell_data candidates[MAXIMUM_CELLS_ON_FIRE_PER_MAP];
	int16 count = 0;
	seed_next_draw_below(21845);
	mark_as_burnable(candidates, &count, 30, 30, 65535, 1, NONE, NONE);
	seed_next_draw_below(21845);
	mark_as_burnable(candidates, &count, 31, 30, 21845, 1, NONE, NONE);
	seed_next_draw_below(21845);
	mark_as_burnable(candidates, &count, 30, 30, 43690, 1, NONE, NONE);
	ASSERT_EQ(count, 2);
	EXPECT_EQ(candidates[0].chance_of_spreading, 43690);
	EXPECT_EQ(candidates[1].chance_of_spreading, 0);
	const uint32 draws = zerv_random_draw_count();
	mark_as_burnable(candidates, &count, 32, 30, 0, 1, NONE, NONE);
	EXPECT_EQ(zerv_random_draw_count() - draws, 1u);
	EXPECT_EQ(count, 2) << "a chance of 0 never spreads";

	// A desert neighbour, the only one left, does not catch even when its draw
	// is 0. The first spreading tick counts the draws up to that one (its last:
	// a desert start draws nothing more); the second puts a 0 there.
	set_terrain(50, 51, _terrain_desert, _terrain_desert);
	light(50, 50);
	for (const auto &burnt : {std::pair<int32, int32>{49, 50}, {51, 50}, {50, 49}})
	{
		get_mesh_cell(burnt.first, burnt.second)->flags |= _mesh_cell_was_or_is_on_fire_flag;
	}
	fire_globals_data *globals = const_cast<fire_globals_data *>(get_fire_globals());
	globals->ticks_until_fire_can_spread = 1;
	uint32 before = zerv_random_draw_count();
	update_fire();
	const uint32 spreading_draws = zerv_random_draw_count() - before;
	ASSERT_GE(spreading_draws, 2u);
	uint32 seed = 1;
	for (;; ++seed)
	{
		set_random_seed(seed);
		uint16 draw = 0;
		for (uint32 k = 0; k < spreading_draws; ++k) draw = zerv_random();
		if (draw == 0) break;
	}
	set_random_seed(seed);
	globals->ticks_until_fire_can_spread = 1;
	before = zerv_random_draw_count();
	update_fire();
	EXPECT_EQ(zerv_random_draw_count() - before, spreading_draws);
	EXPECT_FALSE(cell_is_on_fire(50, 51)) << "desert caught from a neighbour on a draw of 0";
	extinguish_fire_in_cell(50, 50);
	extinguish_fire_in_cell(50, 51);

	// A field of grass: the fire spreads at most three generations from its start.
	light(40, 40);
	int32 most = 0;
	for (int32 t = 0; t < 2000 && fires_burning() > 0; ++t)
	{
		tick();
		most = MAX(most, fires_burning());
		for (int16 i = 0; i < MAXIMUM_CELLS_ON_FIRE_PER_MAP; ++i)
		{
			const fire_cell_data *fire = get_fire_cell_data(i);
			if (!fire) continue;
			EXPECT_LE(std::abs(fire->x - 40) + std::abs(fire->y - 40), MAXIMUM_TIMES_FIRE_CAN_SPREAD);
		}
	}
	EXPECT_EQ(fires_burning(), 0) << "every fire goes out with its flames";
	EXPECT_GE(most, 1);
	// A cell next to a model never catches.
	get_mesh_cell(60, 61)->model_index = 0;
	try_to_start_fire(NONE, NONE, NONE, 60, 60);
	EXPECT_FALSE(cell_is_on_fire(60, 60));
	get_mesh_cell(60, 61)->model_index = NONE;
}

// A fire's life is the simulation's: the same spreading field gives the same
// fires and mirrors every tick whether the local module made the shared
// groups and ran their particles, was off, or found its group array full.
TEST_F(fire_on_a_map, fires_and_mirrors_never_hang_on_the_local_groups)
{
	enum { local_module_on, local_module_off, local_groups_full, number_of_cases };
	std::vector<uint64> trails[number_of_cases];
	int32 most_fires[number_of_cases] = {}, shown_mirrors[number_of_cases] = {};
	for (int32 which = 0; which < number_of_cases; ++which)
	{
		dispose_fire_from_old_map();
		dispose_local_projectiles_from_old_map();
		for (int32 y = 0; y < mesh_globals->mesh_height; ++y)
		{
			for (int32 x = 0; x < mesh_globals->mesh_width; ++x)
			{
				get_mesh_cell(x, y)->flags &= static_cast<uint16>(~_mesh_cell_was_or_is_on_fire_flag);
			}
		}
		initialize_local_projectiles_for_new_map();
		get_local_projectiles_test_hooks()->module_off = which == local_module_off;
		if (which == local_groups_full)
		{
			// Room for two of the eight shared groups only.
			set_local_projectile_capacities(6, MAXIMUM_LOCAL_PROJECTILES_PER_MAP);
			const world_point3d somewhere = {5 * WORLD_ONE, 5 * WORLD_ONE, 0};
			const int16 type = local_projectile_group_definition_tag_to_index(SMOKE_PROJECTILE_GROUP_TAG);
			for (int32 i = 0; i < 4; ++i) ASSERT_NE(new_local_projectile_group(type, &somewhere, NONE), NONE);
		}
		set_random_seed(4321);
		set_local_random_seed(static_cast<uint32>(17 + which));
		start_fire_module();
		light(40, 40);
		light(44, 38, 43690);
		view_data view = {};
		view.game_ticks_elapsed = 1;
		for (int32 t = 0; t < 1600; ++t)
		{
			tick();
			if (which == local_module_on) build_local_projectiles_surface_list(&view, nullptr);
			zerv_digest digest;
			zerv_digest_begin(&digest);
			fold_fire_digest(&digest);
			fold_mirror_groups_digest(&digest);
			trails[which].push_back(digest.hash);
			most_fires[which] = MAX(most_fires[which], fires_burning());
			for (int16 i = 0; i < MAXIMUM_MIRROR_GROUPS_PER_MAP; ++i)
			{
				const mirror_group_data *mirror = get_mirror_group_data(i);
				shown_mirrors[which] += mirror && mirror->parent_projectile_group_index != NONE;
			}
		}
		EXPECT_EQ(fires_burning(), 0) << which;
	}
	EXPECT_GT(most_fires[local_module_on], 2) << "the fires spread";
	EXPECT_GT(shown_mirrors[local_module_on], 0);
	EXPECT_EQ(shown_mirrors[local_module_off], 0);
	EXPECT_LT(shown_mirrors[local_groups_full], shown_mirrors[local_module_on]);
	for (int32 which = local_module_off; which < number_of_cases; ++which)
	{
		ASSERT_EQ(trails[which].size(), trails[local_module_on].size());
		for (size_t t = 0; t < trails[which].size(); ++t)
		{
			ASSERT_EQ(trails[which][t], trails[local_module_on][t]) << "case " << which << ", tick " << t;
		}
	}
}

TEST_F(fire_on_a_map, a_fire_without_mirror_burns_its_mirrors_life)
{
	// A full mirror array leaves the next fire without flames.
	new_mirror_group_data filler = {NONE, {}, -1, 0, 0, local_projectile_group_definition_tag_to_index(SMOKE_PROJECTILE_GROUP_TAG),
		_group_is_never_visible_flag};
	for (int32 i = 0; i < MAXIMUM_MIRROR_GROUPS_PER_MAP; ++i) ASSERT_NE(new_mirror_group(&filler), NONE);
	light(20, 20);
	const fire_cell_data *fire = get_fire_cell_data(0);
	ASSERT_NE(fire, nullptr);
	EXPECT_EQ(fire->fire_mirror_group_index, NONE);
	const int32 life = fire->ticks_until_burnt_out;
	EXPECT_GE(life, 150 + FIRE_DURATION_LOWER_BOUND + 1 + 150);
	EXPECT_LT(life, 150 + FIRE_DURATION_LOWER_BOUND + FIRE_DURATION_DELTA + 1 + 150);
	for (int32 t = 1; t < life; ++t) tick();
	EXPECT_TRUE(cell_is_on_fire(20, 20));
	tick();
	EXPECT_FALSE(cell_is_on_fire(20, 20));
	EXPECT_TRUE(get_mesh_cell(20, 20)->flags & _mesh_cell_was_or_is_on_fire_flag) << "burnt for the rest of the map";

	// A full array logs, keeps the mark and lights nothing.
	for (int32 i = 0; i < MAXIMUM_CELLS_ON_FIRE_PER_MAP; ++i) light(2 + i % 60, 30 + i / 60);
	EXPECT_EQ(fires_burning(), MAXIMUM_CELLS_ON_FIRE_PER_MAP);
	light(50, 50);
	EXPECT_FALSE(cell_is_on_fire(50, 50));
	EXPECT_TRUE(get_mesh_cell(50, 50)->flags & _mesh_cell_was_or_is_on_fire_flag);
}

TEST_F(fire_on_a_map, maps_that_cannot_burn_and_orphans)
{
	const int16 owner = 7;
	const new_fire_cell_data data = {25, 25, 65535, 2, owner, 1234};
	start_fire(&data);
	game_play_version = 1700;
	orphan_monster_fires(owner, 0);
	EXPECT_EQ(get_fire_cell_data(0)->owner_monster_index, owner) << "before 1701 fires keep their owner";
	game_play_version = 1701;
	orphan_monster_fires(owner, 0);
	EXPECT_EQ(get_fire_cell_data(0)->owner_monster_index, NONE);
	EXPECT_EQ(get_fire_cell_data(0)->owner_monster_identifier, NONE);
	EXPECT_EQ(get_fire_cell_data(0)->owner_unit_index, 2);
	game_play_version = 1720;

	// Without the header flag nothing burns and nothing is drawn.
	dispose_fire_from_old_map();
	mesh_globals->header->flags &= ~static_cast<uint32>(_mesh_can_catch_fire_flag);
	initialize_fire_for_new_map();
	const uint32 draws = zerv_random_draw_count();
	try_to_start_fire(NONE, NONE, NONE, 26, 26);
	update_fire();
	EXPECT_EQ(zerv_random_draw_count(), draws);
	EXPECT_FALSE(cell_is_on_fire(26, 26));
}

struct sound_report
{
	int32 reports = 0;
	int16 volume = 0;
	world_point3d where = {};
};

void record_sound(void *context, const world_location3d *location, int16, int16 volume)
{
	sound_report *report = static_cast<sound_report *>(context);
	report->reports += 1;
	report->volume = volume;
	report->where = location->position;
}

TEST_F(fire_on_a_map, the_sound_report)
{
	fire_test_hooks_data *hooks = get_fire_test_hooks();
	hooks->has_ambient_sound = hooks->has_listener = TRUE;
	hooks->volume_lower_bound = 200;
	hooks->inner_radius = 1024;
	hooks->outer_radius = 5120;
	hooks->listener = {20 * 512 + 256, 20 * 512 + 256 - 3072, 0};
	light(20, 20);
	light(21, 24);
	sound_report report;
	int16 count = 0;
	report_fire_as_sound_source(&report, &count, record_sound);
	EXPECT_EQ(report.reports, 1) << "one source is reported";
	EXPECT_EQ(count, 1);
	EXPECT_EQ(report.volume, 200 * (5120 - 3072) / 4096) << "between the radii the volume falls off";
	EXPECT_EQ(report.where.x, 20 * 512 + 256);
	count = MAXIMUM_RAW_AMBIENT_SOUNDS;
	report_fire_as_sound_source(&report, &count, record_sound);
	EXPECT_EQ(report.reports, 1) << "seven raw sounds already reported";
	// The flames' ending fades the sound; at its end the fire is dropped.
	mirror_group_data *flames = get_mirror_group_data(get_fire_cell_data(0)->fire_mirror_group_index);
	ASSERT_NE(flames, nullptr);
	flames->state = _mirror_state_ending;
	flames->transition_ticks_elapsed = FIRE_MIRROR_TRANSITION_TICKS / 2;
	count = 0;
	report_fire_as_sound_source(&report, &count, record_sound);
	EXPECT_EQ(report.reports, 2);
	EXPECT_EQ(report.volume, 50);
	flames->transition_ticks_elapsed = FIRE_MIRROR_TRANSITION_TICKS;
	report_fire_as_sound_source(&report, &count, record_sound);
	EXPECT_EQ(report.reports, 2) << "the other fire is out of hearing";
}

} // namespace

#include "units_test_support.h"

namespace {

class fire_and_units : public units_test_map
{
protected:
	void SetUp() override
	{
		units_test_map::SetUp();
		initialize_fire();
		mesh_globals->header->flags |= _mesh_can_catch_fire_flag;
		initialize_fire_for_new_map();
		kind = new_kind(TAG("kind"));
		unit_type = new_unit_type(TAG("unit"), kind, 0, static_cast<file_tag>(NONE));
	}
	void TearDown() override
	{
		dispose_fire_from_old_map();
		units_test_map::TearDown();
	}
	int16 unit_in_cell(int32 x, int32 y)
	{
		return place_unit(kind, unit_type, x * 512 + 256, y * 512 + 256);
	}
	static void light(int32 x, int32 y)
	{
		const new_fire_cell_data data = {static_cast<int16>(x), static_cast<int16>(y), 65535, NONE, NONE, NONE};
		start_fire(&data);
	}
	int16 kind = NONE, unit_type = NONE;
};

TEST_F(fire_and_units, neighbours_replan_and_step_away)
{
	ASSERT_GT(get_monster_effect_modifiers(unit_in_cell(40, 40))[_damage_kinetic], 0);
	const int16 north = unit_in_cell(20, 21), standing = unit_in_cell(19, 20), walking = unit_in_cell(21, 20);
	const int16 far = unit_in_cell(22, 22), outside = unit_in_cell(23, 20);
	get_monster_data(standing)->flags |= _monster_standing_ground_flag;
	get_monster_data(walking)->path_index = 0;
	light(20, 20);
	for (int16 unit : {north, standing, walking, far})
	{
		EXPECT_TRUE(get_monster_data(unit)->flags & _monster_needs_new_path_flag) << unit;
	}
	EXPECT_FALSE(get_monster_data(outside)->flags & _monster_needs_new_path_flag);
	const monster_data *moved = get_monster_data(north);
	ASSERT_EQ(moved->waypoint_count, 1);
	EXPECT_EQ(moved->waypoints[0].x, 20 * 512 + 256);
	EXPECT_EQ(moved->waypoints[0].y, 21 * 512 + 256 + 512) << "one cell further from the fire";
	EXPECT_EQ(get_monster_data(standing)->waypoint_count, 0);
	EXPECT_EQ(get_monster_data(walking)->waypoint_count, 0);
	EXPECT_EQ(get_monster_data(far)->waypoint_count, 0) << "outside the 3 x 3 block only replans";

	// At the map's edge the step is clamped onto the map.
	const int16 edge = place_unit(kind, unit_type, 100, 256);
	light(1, 0);
	ASSERT_EQ(get_monster_data(edge)->waypoint_count, 1);
	EXPECT_EQ(get_monster_data(edge)->waypoints[0].x, 0);
}

} // namespace
