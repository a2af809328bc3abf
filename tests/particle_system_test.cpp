// Weather: the synchronised clock and its draws, the density curve, and the
// visual particles' top-up, wrap and end.
#include "weather_test_support.h"

#include <algorithm>

#include "bitmaps.h"
#include "CoreLibrary/cseries/memory.h"
#include "observer.h"
#include "render/render.h"
#include "render/render_world_builders.h"
#include "monsters.h"
#include "objects.h"
#include "projectile_definitions.h"
#include "projectiles.h"
#include "support/battle_script.h"
#include "support/render_views.h"
#include "units_content.h"
#include "support/zerv_harness.h"
#include "zerv.h"

namespace {

class particle_system_on_a_map : public weather_test_map
{
protected:
	static particle_system_definition dry(void)
	{
		particle_system_definition d = default_rain_particle_system();
		d.splash_local_projectile_group_tag = static_cast<file_tag>(NONE);
		return d;
	}
	// Written as a tag and started as the map's weather.
	static bool start(const particle_system_definition &d, file_tag tag)
	{
		const std::vector<uint8> bytes = stored_record_bytes(&d, static_cast<int32>(sizeof(d)), particle_system_definition_bs_data);
		if (tag_file_new_with_subgroup_tag(PARTICLE_SYSTEM_GROUP_TAG, "variant", tag, PARTICLE_SYSTEMS_VERSION_NUMBER,
				bytes.data(), static_cast<int32>(bytes.size())) == NONE)
		{
			return false;
		}
		dispose_particle_system_from_old_map();
		get_particle_system_test_hooks()->has_camera = TRUE;
		get_particle_system_test_hooks()->camera = {5000, 5000};
		return initialize_particle_system_for_new_map(tag) != FALSE;
	}
};

TEST_F(particle_system_on_a_map, the_clock_draws_only_at_changes)
{
	particle_system_definition d = dry();
	d.state[0] = {5, 1, 1000, 1, 3, 1};
	d.state[1] = {7, 1, 5000, 1, 2, 1};
	// A sound no layer knows is none: the weather still starts.
	d.ambient_sound_tag = TAG("gone");
	uint32 draws = zerv_random_draw_count();
	ASSERT_TRUE(start(d, TAG("clk1")));
	EXPECT_EQ(zerv_random_draw_count() - draws, 2u) << "amplitude and duration";
	const particle_globals *g = get_particle_globals();
	auto tick = [&draws]() {
		draws = zerv_random_draw_count();
		update_particle_clock();
		return zerv_random_draw_count() - draws;
	};
	for (int32 t = 0; t < 4; ++t) EXPECT_EQ(tick(), 0u);
	EXPECT_EQ(tick(), 2u) << "entering: length, then the other state's amplitude";
	EXPECT_TRUE(g->in_transition);
	EXPECT_EQ(g->transition_period, 3);
	EXPECT_EQ(g->amplitude, 5000);
	EXPECT_EQ(tick(), 0u);
	EXPECT_EQ(tick(), 0u);
	EXPECT_EQ(tick(), 1u) << "leaving: the duration";
	EXPECT_EQ(g->state, 1);
	EXPECT_EQ(g->ticks_per_state, 7) << "the state entered lasts its own time";

	// Mid-transition the switch starts a new one from the current target.
	EXPECT_EQ(tick(), 0u);
	switch_snowing_states();
	EXPECT_TRUE(g->in_transition);
	EXPECT_EQ(g->old_amplitude, 5000);
	EXPECT_EQ(g->amplitude, 1000);
	EXPECT_EQ(g->transition_period, 2);

	// States that last: no draw outside a transition.
	d.flags |= _particle_system_states_last_indefinitely_flag;
	ASSERT_TRUE(start(d, TAG("clk2")));
	for (int32 t = 0; t < 50; ++t) EXPECT_EQ(tick(), 0u);

	// A transition of 0 ticks yields the new amplitude at once.
	d.flags = 0;
	d.state[0] = {1, 0, 1000, 0, 0, 0};
	ASSERT_TRUE(start(d, TAG("clk3")));
	tick();
	EXPECT_TRUE(g->in_transition);
	const world_point2d p = {5000, 5000};
	EXPECT_EQ(particle_system_density(&p), 5000);
}

TEST_F(particle_system_on_a_map, density)
{
	EXPECT_EQ(particle_transition_fraction(100, 50, TRUE), 32767);
	EXPECT_EQ((65535 * particle_transition_fraction(100, 50, TRUE)) >> 16, 32766);
	EXPECT_EQ((65535 * particle_transition_fraction(100, 50, FALSE)) >> 16, 32767);
	uint32 hash = 2166136261u;
	for (int32 period = 1; period <= 400; ++period)
	{
		for (int32 ticks = 0; ticks <= period; ++ticks)
		{
			hash = (hash ^ static_cast<uint32>(particle_transition_fraction(period, ticks, TRUE))) * 16777619u;
			hash = (hash ^ static_cast<uint32>(particle_transition_fraction(period, ticks, FALSE))) * 16777619u;
		}
	}
	EXPECT_EQ(hash, 2678204946u) << "the curve on every build";

	const world_point2d p = {3000, 9000};
	EXPECT_EQ(particle_system_intensity(&p), 0) << "no weather";
	particle_system_definition d = dry();
	d.state[0] = {100, 0, 40000, 0, 10, 0};
	ASSERT_TRUE(start(d, TAG("dns1")));
	EXPECT_EQ(particle_system_density(&p), 40000) << "edges of 256 give the amplitude";
	EXPECT_EQ(particle_system_intensity(&p), 40000);
	set_target_particle_number_multiplier(0);
	EXPECT_EQ(particle_system_density(&p), 0);
	d.flags |= _particle_system_does_not_affect_projectiles_flag;
	d.x0_particle_number = d.x1_particle_number = 32767; // far past 32 bits: clamped
	ASSERT_TRUE(start(d, TAG("dns2")));
	EXPECT_EQ(particle_system_density(&p), 65535);
	EXPECT_EQ(particle_system_intensity(&p), 0);
	d.x0_particle_number = d.x1_particle_number = -256;
	ASSERT_TRUE(start(d, TAG("dns3")));
	EXPECT_EQ(particle_system_density(&p), 0) << "negative is none, not full";
	// The box must be a power of two up to 64.
	d = dry();
	d.box_width = 3;
	EXPECT_FALSE(start(d, TAG("box3")));
	d.box_width = 128;
	EXPECT_FALSE(start(d, TAG("bx12")));
	reset_error_state();
}

TEST_F(particle_system_on_a_map, particles_top_up_wrap_and_die_out)
{
	particle_system_definition d = dry();
	d.number_of_particles = 6; // target (65535 x 6) >> 16 = 5
	d.state[0] = {1000, 0, 65535, 0, 10, 0};
	d.velocity_lower_bound = {-70000, 90000, -2097152};
	ASSERT_TRUE(start(d, TAG("few ")));
	EXPECT_EQ(get_particle_count(), 5);
	set_target_particle_number_multiplier(0);
	generate_particles();
	EXPECT_EQ(get_particle_count(), 0);
	set_target_particle_number_multiplier(256);
	update_particles(0);
	EXPECT_EQ(get_particle_count(), 3) << "a shortfall of 5 makes 3";
	update_particles(0);
	EXPECT_EQ(get_particle_count(), 4);
	const world_distance W = get_particle_globals()->world_box_width;
	for (int32 frame = 0; frame < 40; ++frame)
	{
		update_particles(1);
		for (int16 i = 0; i < MAXIMUM_PARTICLES_PER_MAP; ++i)
		{
			const particle_data *particle = get_particle_data(i);
			if (!particle) continue;
			EXPECT_GE(particle->position.x, 0);
			EXPECT_LT(particle->position.x, W);
			EXPECT_GE(particle->position.y, 0);
			EXPECT_LT(particle->position.y, W);
		}
	}
	set_target_particle_number_multiplier(0);
	for (int32 frame = 0; frame < 60; ++frame) update_particles(1);
	EXPECT_EQ(get_particle_count(), 0) << "with no target they die out at the bottom";

	// A full array stops the top-up.
	d.number_of_particles = 32767;
	ASSERT_TRUE(start(d, TAG("many")));
	EXPECT_EQ(get_particle_count(), MAXIMUM_PARTICLES_PER_MAP);
	const uint32 draws = zerv_random_draw_count();
	update_particles(2);
	EXPECT_EQ(zerv_random_draw_count(), draws) << "particles never draw the synchronised stream";
}

// Without wind a streak lies along the particle's whole velocity: rain blown
// along the view runs away from the eye instead of hanging straight down.
TEST_F(particle_system_on_a_map, without_wind_a_streak_follows_the_whole_velocity)
{
	initialize_render();
	render_scene(NULL);
	particle_system_definition d = dry();
	d.flags = 0;
	d.number_of_particles = 6;
	d.state[0] = {1000, 0, 65535, 0, 10, 0};
	d.velocity_lower_bound = {8 * FIXED_ONE, 0, -FIXED_ONE};
	d.velocity_delta = {0, 0, 0};
	ASSERT_TRUE(start(d, TAG("strk")));
	update_particles(0);
	ASSERT_GT(get_particle_count(), 0);
	render_surface_list list;
	new_surface_list(&list);
	view_data view;
	memset(&view, 0, sizeof(view));
	view.main_surface_list = &list;
	// Looking along +x from above and west of the first box tile: depth is -x.
	view.location.position = {-2048, 2048, d.box_top_height + 8192};
	view.world_to_viewer_rotation.n[1][0] = 16384;
	view.world_to_viewer_rotation.n[2][1] = 16384;
	view.world_to_viewer_rotation.n[0][2] = -16384;
	view.world_to_screen_x = view.world_to_screen_y = 64;
	view.screen_width = 640;
	view.screen_height = 480;
	view.xk = 320;
	view.yk = 240;
	mesh_span spans[8];
	for (mesh_span &span : spans) span = {0, 8};
	mesh_region region = {};
	region.spans = spans;
	region.x0 = region.y0 = 0;
	region.x1 = region.y1 = 8;
	build_particle_system_surface_list(&view, &region, &list);
	ASSERT_GT(list.surface_count, 0);
	for (render_surface *s = list.first_surface; s; s = s->next_surface)
	{
		const render_triangle *t = reinterpret_cast<const render_triangle *>(s);
		int32 nearest = INT32_MAX, farthest = INT32_MIN;
		for (const render_corner &corner : t->corners)
		{
			nearest = std::min<int32>(nearest, corner.vertex->p.z);
			farthest = std::max<int32>(farthest, corner.vertex->p.z);
		}
		EXPECT_GE(farthest - nearest, 7) << "the streak runs along the view";
	}
}

// Rain splashes land only on cells whose two triangles both hold media, at
// the media's height.
TEST_F(particle_system_on_a_map, splashes_land_only_where_both_triangles_are_media)
{
	get_local_projectiles_test_hooks()->module_off = FALSE;
	particle_system_definition d = default_rain_particle_system();
	d.state[0] = {1000, 0, 65535, 0, 10, 0};
	ASSERT_TRUE(start(d, TAG("wet ")));
	const int16 group = get_particle_globals()->splash_projectile_group;
	ASSERT_NE(group, NONE);
	mesh_cell *both = get_mesh_cell(10, 10), *one = get_mesh_cell(11, 10), *dry_cell = get_mesh_cell(12, 10);
	both->flags |= _mesh_cell_triangle_media_flags;
	both->media_height = 77;
	one->flags = static_cast<uint16>((one->flags & ~_mesh_cell_triangle_media_flags) | _mesh_cell_triangle1_is_media_flag);
	dry_cell->flags &= static_cast<uint16>(~_mesh_cell_triangle_media_flags);
	mesh_span span = {10, 13};
	mesh_region region = {};
	region.spans = &span;
	region.x0 = 10;
	region.x1 = 13;
	region.y0 = 10;
	region.y1 = 11;
	view_data view = {};
	view.game_ticks_elapsed = 4;
	for (int32 frame = 0; frame < 8; ++frame) build_particle_system_splashes(&view, &region);
	const local_projectile_group_data *g = get_local_projectile_group_data(group);
	ASSERT_NE(g, nullptr);
	int32 splashes = 0;
	for (int16 p = g->first_projectile_index; p != NONE; p = get_local_projectile_data(p)->next_projectile_index)
	{
		const local_projectile_data *splash = get_local_projectile_data(p);
		EXPECT_EQ((g->center.x + splash->offset.x) >> WORLD_FRACTIONAL_BITS, 10);
		EXPECT_EQ((g->center.y + splash->offset.y) >> WORLD_FRACTIONAL_BITS, 10);
		EXPECT_EQ(g->center.z + splash->offset.z, 77);
		splashes += 1;
	}
	EXPECT_GT(splashes, 0);
	EXPECT_EQ(splashes, get_particle_system_test_hooks()->splashes_made);
}

} // namespace

namespace {

// The rainy level's synchronised trail is the same whatever the visual side
// does: 900 ticks of 'l1  ' with its casters' bolts (each caster strikes the
// enemy nearest to it three times) and the shockwaves they raise, a fire lit
// on the meadow between ticks 60 and 61, and the weather.
// Each test plays the level's headless game (the harness leaves the visual
// entries idle) once per process as its reference.
class particle_system_sync : public zerv_harness_fixture
{
protected:
	struct run_options
	{
		bool visual = false; // particles each frame, a headless frame every fourth
		uint32 local_seed = 1;
		int16 frame_split = 1; // game ticks per frame
		int32 switch_after = NONE; // switch_snowing_states after this tick
	};
	struct seen_data
	{
		int32 ticks_with_bolts = 0, ticks_with_shockwaves = 0, most_fires = 0, most_rain = 0, most_particles = 0;
		int32 frames_drawn = 0;
	};
	static constexpr int32 ticks = 900, fire_after = 60;
	static constexpr int32 casts_after[] = {120, 400, 680};

	// Each caster's bolt at the enemy nearest to it, as its attack makes one.
	static void cast(void)
	{
		const int16 bolt = projectile_definition_tag_to_index(DEFAULT_BOLT_PROJECTILE_TAG);
		for (int16 team = 0; team < 2; ++team)
		{
			const battle_order order = {0, team, _battle_order_target, team, {DEFAULT_CASTER_TAG, DEFAULT_CASTER_TAG},
				_battle_order_enemy_nearest_block, _battle_formation_none, 0};
			const battle_order_resolution caster = resolve_battle_order(order);
			ASSERT_EQ(caster.units.size(), 1u);
			ASSERT_NE(caster.target_index, NONE);
			const monster_data *monster = get_monster_data(caster.units[0]);
			const object_data *target = get_object_data(get_monster_data(caster.target_index)->object_index);
			new_projectile_data request;
			initialize_new_projectile_data(&request);
			request.type = bolt;
			request.flags = _projectile_has_valid_target_location_flag;
			request.location.position = get_object_data(monster->object_index)->location.position;
			request.location.position.z += 256;
			request.owner_monster_index = caster.units[0];
			request.owner_object_index = monster->object_index;
			request.target_monster_index = caster.target_index;
			request.target_location = target->location.position;
			EXPECT_NE(new_projectile(&request), NONE);
		}
	}

	static std::vector<harness_digest_entry> play(const run_options &options, seen_data *seen = nullptr)
	{
		new_game_data setup;
		harness_level_setup(&setup);
		EXPECT_TRUE(harness_start_map(&setup));
		set_local_random_seed(options.local_seed);
		get_particle_system_test_hooks()->particles_idle = options.visual ? FALSE : TRUE;
		bitmap_data *screen = options.visual ? new_bitmap(64, 48, 64 * 4, _32bit_encoding, 0) : nullptr;
		// The meadow between the armies, where the bolts and the fire land.
		const observer_location look = {{38 * WORLD_ONE, 62 * WORLD_ONE}, QUARTER_CIRCLE, 0};
		const fixed zoom = 2 * FIXED_ONE;
		std::vector<int32> events(std::begin(casts_after), std::end(casts_after));
		events.push_back(fire_after);
		if (options.switch_after != NONE) events.push_back(options.switch_after);
		int32 frame = 0;
		while (game->game_time < ticks && !harness_game_is_finished())
		{
			// Frames never run past a tick where something is done between ticks.
			int32 next = ticks;
			for (int32 event : events)
			{
				if (event > game->game_time) next = std::min(next, event);
			}
			const int16 step = static_cast<int16>(std::min<int32>(options.frame_split, next - game->game_time));
			harness_run_ticks(step, step);
			if (game->game_time == fire_after)
			{
				const new_fire_cell_data fire = {37, 67, 65535, NONE, NONE, NONE};
				start_fire(&fire);
			}
			for (int32 when : casts_after)
			{
				if (game->game_time == when) cast();
			}
			if (game->game_time == options.switch_after) switch_snowing_states();
			if (screen && ++frame % 4 == 0)
			{
				set_actual_observer_location_and_zoom(&look, &zoom);
				view_data view;
				prepare_observer_view(&view, screen, 4 * step);
				render_scene(&view);
				if (seen) seen->frames_drawn += 1;
			}
			if (seen) note(seen);
		}
		std::vector<harness_digest_entry> trail = harness_digest_trail();
		harness_end_map();
		if (screen) dispose_pointer(screen);
		return trail;
	}
	static void note(seen_data *seen)
	{
		int32 bolts = 0, shockwaves = 0, fires = 0;
		for (int16 i = 0; i < MAXIMUM_LIGHTNING_STRIKES_PER_MAP; ++i) bolts += get_lightning_data(i) != nullptr;
		for (int16 i = 0; i < MAXIMUM_MESH_EFFECTS_PER_MAP; ++i) shockwaves += get_mesh_effect_data(i) != nullptr;
		for (int16 i = 0; i < MAXIMUM_CELLS_ON_FIRE_PER_MAP; ++i) fires += get_fire_cell_data(i) != nullptr;
		seen->ticks_with_bolts += bolts > 0;
		seen->ticks_with_shockwaves += shockwaves > 0;
		seen->most_fires = std::max(seen->most_fires, fires);
		seen->most_particles = std::max<int32>(seen->most_particles, get_particle_count());
		const particle_globals *weather = get_particle_globals();
		if (weather) seen->most_rain = std::max<int32>(seen->most_rain, weather->amplitude);
	}
	// The headless game's trail, played once per process.
	static std::vector<harness_digest_entry> &reference_trail(void)
	{
		static std::vector<harness_digest_entry> trail;
		return trail;
	}
	static const std::vector<harness_digest_entry> &reference(void)
	{
		if (reference_trail().empty()) reference_trail() = play(run_options());
		return reference_trail();
	}
	static void expect_same(const std::vector<harness_digest_entry> &a, const std::vector<harness_digest_entry> &b)
	{
		ASSERT_EQ(a.size(), b.size());
		for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(a[i].digest, b[i].digest) << "tick " << a[i].game_time;
	}
};

TEST_F(particle_system_sync, the_level_writes_its_trail_with_bolts_shockwaves_fire_and_rain)
{
	seen_data seen;
	const std::vector<harness_digest_entry> trail = play(run_options(), &seen);
	ASSERT_FALSE(trail.empty());
	EXPECT_EQ(trail.back().game_time, ticks);
	EXPECT_GT(seen.ticks_with_bolts, 30);
	EXPECT_GT(seen.ticks_with_shockwaves, 30);
	EXPECT_GT(seen.most_fires, 0);
	EXPECT_GT(seen.most_rain, 0) << "the weather's clock runs";
	EXPECT_TRUE(harness_write_test_digest_trail(trail));
	reference_trail() = trail;
}

TEST_F(particle_system_sync, particles_and_frames_leave_the_trail_alone)
{
	run_options visual;
	visual.visual = true;
	seen_data seen;
	const std::vector<harness_digest_entry> drawn = play(visual, &seen);
	EXPECT_GT(seen.most_particles, 0);
	EXPECT_GT(seen.frames_drawn, 200);
	expect_same(reference(), drawn);
}

TEST_F(particle_system_sync, another_local_seed_and_longer_frames_leave_the_trail_alone)
{
	run_options visual;
	visual.visual = true;
	visual.local_seed = 99;
	visual.frame_split = 4;
	expect_same(reference(), play(visual));
}

TEST_F(particle_system_sync, switching_the_weather_moves_the_trail_from_the_next_tick)
{
	run_options switched;
	switched.switch_after = 300;
	const std::vector<harness_digest_entry> a = reference(), b = play(switched);
	ASSERT_EQ(a.size(), b.size());
	for (size_t i = 0; i < a.size() && a[i].game_time <= 300; ++i) ASSERT_EQ(a[i].digest, b[i].digest) << a[i].game_time;
	for (size_t i = 0; i < a.size(); ++i)
	{
		if (a[i].game_time != 301) continue;
		EXPECT_NE(a[i].digest, b[i].digest) << "the switch moves the trail from 301 on";
	}
}

} // namespace
