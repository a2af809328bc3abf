// Weather: the synchronised clock and its draws, the density curve, and the
// visual particles' top-up, wrap and end.
#include "weather_test_support.h"

#include <algorithm>

#include "render/render.h"
#include "render/render_world_builders.h"
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

// The synchronised modules' trail is the same whatever the visual side does.
class particle_system_sync : public weather_test_map
{
protected:
	struct run_options
	{
		bool visual = false;
		uint32 local_seed = 1;
		int32 frame_split = 1;
		int32 switch_at = -1;
	};

	std::vector<uint64> run(const run_options &options)
	{
		dispose_weather();
		start_modules(1720);
		initialize_local_projectiles_for_new_map();
		get_local_projectiles_test_hooks()->module_off = TRUE;
		initialize_mesh_effects_for_new_map();
		initialize_lightning_for_new_map();
		set_random_seed(4242);
		set_local_random_seed(options.local_seed);
		start_fire_module();
		get_particle_system_test_hooks()->has_camera = TRUE;
		get_particle_system_test_hooks()->camera = {8000, 8000};
		EXPECT_TRUE(initialize_wind_for_new_map(DEFAULT_GUST_WIND_TAG));
		EXPECT_TRUE(initialize_particle_system_for_new_map(DEFAULT_RAIN_PARTICLE_SYSTEM_TAG));
		const int16 shock = mesh_effect_definition_tag_to_index(DEFAULT_SHOCK_MESH_EFFECT_TAG);
		const int16 bolt = lightning_definition_tag_to_index(DEFAULT_BOLT_LIGHTNING_TAG);
		std::vector<uint64> trail;
		for (int32 tick = 0; tick < 300; ++tick)
		{
			if (tick == 60)
			{
				try_to_start_fire(NONE, NONE, NONE, 20, 20);
				const new_mesh_effect_data effect = {0, shock, {20 * 512, 30 * 512}};
				new_mesh_effect(&effect);
				const new_lightning_data strike = {bolt, NONE, NONE, {5000, 5000, 2000}, {9000, 6000, 0}};
				new_lightning(&strike);
			}
			if (tick == options.switch_at) switch_snowing_states();
			update_lightning();
			update_mesh_effects();
			update_particle_clock();
			update_fire();
			update_wind();
			if (options.visual && (tick + 1) % options.frame_split == 0)
			{
				update_particles(options.frame_split);
				build_lightning_surface_list(nullptr, nullptr);
				build_mesh_effect_surface_list(nullptr, nullptr);
			}
			zerv_digest digest;
			zerv_digest_begin(&digest);
			fold_lightning_digest(&digest);
			fold_mesh_effects_digest(&digest);
			fold_particle_clock_digest(&digest);
			fold_fire_digest(&digest);
			fold_wind_digest(&digest);
			fold_mesh_digest(&digest);
			trail.push_back(digest.hash);
		}
		return trail;
	}
};

TEST_F(particle_system_sync, visual_work_leaves_the_trail_alone)
{
	run_options visual;
	visual.visual = true;
	const std::vector<uint64> a = run(visual);
	const std::vector<uint64> b = run(run_options());
	run_options other = visual;
	other.local_seed = 99;
	other.frame_split = 4;
	const std::vector<uint64> c = run(other);
	EXPECT_EQ(a, b);
	EXPECT_EQ(a, c);
	EXPECT_GT(get_particle_count(), 0);
	run_options switched;
	switched.switch_at = 150;
	const std::vector<uint64> d = run(switched);
	EXPECT_TRUE(std::equal(a.begin(), a.begin() + 150, d.begin()));
	EXPECT_NE(a[150], d[150]) << "the switch moves the trail from its tick on";
}

} // namespace
