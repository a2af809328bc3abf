// Lightning: the bolt's draws and curve, its states and end, its sweep, the
// loader's refusals and the drawing's ground light and budget.
#include "weather_test_support.h"

#include "render/render.h"
#include "render/render_world_builders.h"
#include "shapes.h"

#include <cmath>
#include <memory>

namespace {

class lightning_on_a_map : public weather_test_map
{
protected:
	int16 bolt_type(const lightning_definition &d, file_tag tag)
	{
		return load_record(get_lightning_definitions(), tag, d, lightning_definition_bs_data);
	}
	static int16 bolt(int16 type, world_point3d p0, world_point3d p1, int16 target = NONE)
	{
		const new_lightning_data request = {type, NONE, target, p0, p1};
		return new_lightning(&request);
	}
};

TEST_F(lightning_on_a_map, creation_draws_and_points)
{
	const int16 type = lightning_definition_tag_to_index(DEFAULT_BOLT_LIGHTNING_TAG);
	ASSERT_NE(type, NONE);
	const world_point3d p0 = {4000, 4000, 600}, p1 = {4000 + 1600, 4000, 600};
	// Six draws: start x, y, z, then end x, y, z, each (n * draw) >> 16.
	set_random_seed(1234);
	uint16 draws[6];
	for (uint16 &draw : draws) draw = zerv_random();
	set_random_seed(1234);
	const int16 index = bolt(type, p0, p1);
	ASSERT_NE(index, NONE);
	const lightning_data *b = get_lightning_data(index);
	const int32 h = 800, q = 400;
	EXPECT_EQ(b->start_control_point.x, p0.x + 400 + ((h * draws[0]) >> 16) - q);
	EXPECT_EQ(b->start_control_point.y, p0.y + ((h * draws[1]) >> 16) - q);
	EXPECT_EQ(b->start_control_point.z, p0.z + ((q * draws[2]) >> 16));
	EXPECT_EQ(b->end_control_point.x, p1.x - 400 + ((h * draws[3]) >> 16) - q);
	EXPECT_EQ(b->end_control_point.z, p1.z + ((q * draws[5]) >> 16));
	EXPECT_EQ(b->number_of_points, 10) << "fade 10: spaced by 160";
	EXPECT_EQ(b->time_to_target, 8);
	change_lightning_endpoints(index, nullptr, &p1);
	EXPECT_EQ(b->number_of_points, 4) << "updates space by 341";

	// Start = end: the tip is on the end at once, and no draw is made.
	const uint32 before = zerv_random_draw_count();
	const int16 still = bolt(type, p1, p1);
	EXPECT_EQ(zerv_random_draw_count(), before);
	update_lightning();
	EXPECT_EQ(get_lightning_data(still)->tip.x, p1.x);
}

TEST_F(lightning_on_a_map, states_fading_and_identity)
{
	const int16 type = lightning_definition_tag_to_index(DEFAULT_BOLT_LIGHTNING_TAG);
	const int16 target = place_scenery(TAG("post"), 6000, 4000);
	const int16 index = bolt(type, {4000, 4000, 600}, {6000, 4000, 0}, target);
	ASSERT_NE(index, NONE);
	const int16 identifier = get_lightning_data(index)->identifier;
	lightning_state_data state;
	ASSERT_TRUE(get_lightning_follow_state(index, identifier, &state));
	EXPECT_EQ(state.target_object_index, target);
	EXPECT_EQ(state.definition_flags, static_cast<uint32>(_lightning_scars_ground_flag));
	// The target dies mid-flight: the bolt fades once, its end stays, and it goes after the fade.
	update_lightning();
	const world_point3d end = get_lightning_data(index)->end;
	delete_object(target);
	int32 ticks = 0;
	for (; ticks < 40 && get_lightning_data(index); ++ticks)
	{
		update_lightning();
		if (get_lightning_data(index))
		{
			EXPECT_EQ(get_lightning_state(index), _lightning_fading);
			EXPECT_EQ(get_lightning_data(index)->end.x, end.x);
		}
	}
	EXPECT_EQ(ticks, 11) << "fade 10: gone on the eleventh tick";
	EXPECT_EQ(get_lightning_state(index), NONE);
	EXPECT_FALSE(get_lightning_follow_state(index, identifier, &state));
	// A reused slot answers only its new identifier.
	const int16 again = bolt(type, {4000, 4000, 600}, {4100, 4000, 600});
	EXPECT_EQ(again, index);
	EXPECT_FALSE(get_lightning_follow_state(again, identifier, &state));

	// On the way, then shocking after time_to_target, then fading after the shock.
	stop_lightning(again);
	const int16 walk = bolt(type, {4000, 5000, 600}, {4400, 5000, 600});
	EXPECT_EQ(get_lightning_data(walk)->time_to_target, 2);
	int16 states[8];
	for (int16 &s : states)
	{
		update_lightning();
		s = get_lightning_state(walk);
	}
	EXPECT_EQ(states[1], _lightning_on_way_to_target);
	EXPECT_EQ(states[2], _lightning_shocking_target);
	EXPECT_EQ(states[6], _lightning_shocking_target);
	EXPECT_EQ(states[7], _lightning_fading);

	// A full array or a module not ready gives NONE.
	for (int32 i = 0; i < MAXIMUM_LIGHTNING_STRIKES_PER_MAP; ++i) bolt(type, {4000, 4000, 0}, {4100, 4000, 0});
	EXPECT_EQ(bolt(type, {4000, 4000, 0}, {4100, 4000, 0}), NONE);
	dispose_lightning_from_old_map();
	EXPECT_EQ(bolt(type, {4000, 4000, 0}, {4100, 4000, 0}), NONE);
}

TEST_F(lightning_on_a_map, the_sweep_stains_and_damages_only_when_asked)
{
	// Neither flag: no damage and no stain, so no draw.
	lightning_definition d = default_bolt_lightning();
	d.velocity = 1280;
	d.flags = 0;
	d.damage = {_damage_explosion, _damage_instantaneous_flag, 256, 0, 512, 0, 0, 0};
	const int16 harmless = bolt_type(d, TAG("hrml"));
	ASSERT_NE(harmless, NONE);
	const int16 victim = place_scenery(TAG("post"), 4000, 4300);
	const short_fixed vitality = get_object_data(victim)->vitality;
	const int16 first = bolt(harmless, {3000, 4300, 0}, {3000 + 2560, 4300, 0});
	uint32 draws = zerv_random_draw_count();
	for (int32 tick = 0; tick < 4; ++tick) update_lightning();
	EXPECT_EQ(zerv_random_draw_count(), draws);
	EXPECT_EQ(get_object_data(victim)->vitality, vitality);
	stop_lightning(first);
	for (int32 tick = 0; tick < 20; ++tick) update_lightning();
	ASSERT_EQ(get_lightning_data(first), nullptr);

	// Scars: one stain draw per sweep point, 128 apart.
	d.flags = _lightning_scars_ground_flag;
	const int16 scars = bolt_type(d, TAG("scar"));
	ASSERT_NE(scars, NONE);
	const int16 index = bolt(scars, {3000, 3000, 0}, {3000 + 2560, 3000, 0});
	update_lightning(); // travelled 0
	draws = zerv_random_draw_count();
	update_lightning(); // travelled 1280
	const uint32 sweep_draws = zerv_random_draw_count() - draws;
	EXPECT_GE(sweep_draws, 8u);
	EXPECT_EQ(sweep_draws, static_cast<uint32>(distance3d(&get_lightning_data(index)->start, &get_lightning_data(index)->tip) / 128));
}

TEST_F(lightning_on_a_map, the_loader_refuses_what_cannot_work)
{
	lightning_definition d = default_bolt_lightning();
	d.velocity = 0;
	EXPECT_EQ(bolt_type(d, TAG("vel0")), NONE);
	d = default_bolt_lightning();
	d.apparent_number_of_bolts = MAXIMUM_APPARENT_NUMBER_OF_BOLTS + 1;
	EXPECT_EQ(bolt_type(d, TAG("bl17")), NONE);
	d = default_bolt_lightning();
	d.fork_segment_delta = MAXIMUM_FORK_SEGMENTS + 1;
	EXPECT_EQ(bolt_type(d, TAG("fk65")), NONE);
	d = default_bolt_lightning();
	d.damage = {_damage_explosion, _damage_area_of_effect_flag, 256, 0, 512, 0, 0, 0};
	EXPECT_EQ(bolt_type(d, TAG("area")), NONE) << "area damage that never expands";
	d.damage.rate_of_expansion = 64;
	EXPECT_NE(bolt_type(d, TAG("aok ")), NONE);
	d = default_bolt_lightning();
	d.sequence_indexes[_lightning_sequence_stain] = 99;
	EXPECT_EQ(bolt_type(d, TAG("seq9")), NONE);
	reset_error_state();
	// The lightning projectile names its bolt and loads.
	EXPECT_NE(projectile_type(DEFAULT_BOLT_PROJECTILE_TAG), NONE);
}

TEST_F(lightning_on_a_map, drawing_is_local_and_bounded)
{
	EXPECT_EQ(lightning_ground_intensity(-512, FALSE), 0);
	EXPECT_EQ(lightning_ground_intensity(-256, FALSE), 65536 - 128 * 256);
	EXPECT_EQ(lightning_ground_intensity(0, FALSE), 65535);
	EXPECT_EQ(lightning_ground_intensity(1024, TRUE), 65535);
	EXPECT_EQ(lightning_ground_intensity(1025, TRUE), 65535) << "65536 would wrap to nothing";
	EXPECT_EQ(lightning_ground_intensity(3072, TRUE), 65536 - 512 * 64);
	EXPECT_EQ(lightning_ground_intensity(3072, FALSE), 0);
	EXPECT_EQ(lightning_ground_intensity(5120, TRUE), 0);

	lightning_definition d = default_bolt_lightning();
	d.apparent_number_of_bolts = MAXIMUM_APPARENT_NUMBER_OF_BOLTS;
	d.fork_segment_minimum = d.fork_segment_delta = MAXIMUM_FORK_SEGMENTS;
	d.fade_duration = 0;
	const int16 type = bolt_type(d, TAG("huge"));
	ASSERT_NE(type, NONE);
	for (int32 i = 0; i < MAXIMUM_LIGHTNING_STRIKES_PER_MAP; ++i) bolt(type, {1000, 1000 + 100 * i, 0}, {20000, 1000 + 100 * i, 0});
	for (int32 tick = 0; tick < 98; ++tick) update_lightning();
	const uint32 draws = zerv_random_draw_count();
	auto frame = [](uint32 seed) {
		reset_lightning_test_hooks();
		set_local_random_seed(seed);
		build_lightning_surface_list(nullptr, nullptr);
		return *get_lightning_test_hooks();
	};
	const lightning_test_hooks_data a = frame(77), b = frame(77), c = frame(78);
	EXPECT_EQ(a.surface_checksum, b.surface_checksum);
	EXPECT_EQ(a.segments_drawn, b.segments_drawn);
	EXPECT_NE(a.surface_checksum, c.surface_checksum);
	EXPECT_LE(a.segments_drawn + a.fork_segments_drawn + a.reflections_drawn, MAXIMUM_LIGHTNING_SEGMENTS_PER_FRAME);
	EXPECT_EQ(a.segments_drawn + a.fork_segments_drawn + a.reflections_drawn, MAXIMUM_LIGHTNING_SEGMENTS_PER_FRAME)
		<< "the largest bolts fill the budget";
	EXPECT_EQ(zerv_random_draw_count(), draws) << "drawing never draws the synchronised stream";
}

// A fork's pieces run level, each half as long as the main segment it grows
// from. A steep bolt shows it: the ground light of a fork's first piece lies
// at the height of the main point it starts from (the same fade), half that
// segment's whole length away, not half its run over the ground.
TEST_F(lightning_on_a_map, fork_pieces_are_half_the_main_segment_long)
{
	lightning_definition d = default_bolt_lightning();
	d.fork_segment_minimum = 1;
	d.fork_segment_delta = 0;
	d.apparent_number_of_bolts = 1;
	const int16 type = bolt_type(d, TAG("frk1"));
	ASSERT_NE(type, NONE);
	const world_point2d ground = {3000, 3000};
	const world_distance floor = get_mesh_height(&ground, _true_height);
	const int16 index = bolt(type, {ground.x, ground.y, floor + 4800}, {ground.x, ground.y, floor + 1200});
	ASSERT_NE(index, NONE);
	for (int32 tick = 0; tick < 20; ++tick) update_lightning();
	std::unique_ptr<mesh_region> region(new mesh_region());
	view_data view;
	memset(&view, 0, sizeof(view));
	view.region = region.get();
	set_local_random_seed(11);
	build_lightning_surface_list(&view, nullptr);
	// The list is built at its head: drawing order is its reverse.
	std::vector<render_map_overlay> drawn;
	for (const render_map_overlay *o = view.light_map_overlays; o; o = o->next_map_overlay) drawn.insert(drawn.begin(), *o);
	const auto height = [](const render_map_overlay &o) { return 1024 + (65536 - static_cast<int32>(o.density)) / 16; };
	int32 forks = 0;
	for (size_t i = 2; i < drawn.size(); ++i)
	{
		const render_map_overlay &before = drawn[i - 2], &main = drawn[i - 1], &fork = drawn[i];
		if (fork.density != main.density || before.density == main.density) continue;
		// The run over the ground and the drop of the main segment, then the fork's reach.
		const double run = std::hypot(main.x0 - before.x0, main.y0 - before.y0);
		const double drop = height(main) - height(before);
		const double reach = std::hypot(fork.x0 - main.x0, fork.y0 - main.y0);
		EXPECT_NEAR(reach, std::hypot(run, drop) / 2, 12) << i;
		forks += 1;
	}
	EXPECT_GE(forks, 2);
}

// The ground under a bolt: its light map (the generated bolt) or, for a
// picture naming a plain shadow, a shadow pushed away from under the bolt by
// half its height, handed to the frame's two overlay lists. The same bolt is
// drawn both ways, 2048 above the ground.
TEST_F(lightning_on_a_map, the_ground_light_and_shadow_reach_the_frame_lists)
{
	lightning_definition d = default_bolt_lightning();
	d.fork_segment_minimum = d.fork_segment_delta = 0;
	const int16 lit = bolt_type(d, TAG("lite"));
	d.sequence_indexes[_lightning_sequence_main_bolt] = _particle_debris_sequence;
	const int16 shaded = bolt_type(d, TAG("shad"));
	ASSERT_NE(lit, NONE);
	ASSERT_NE(shaded, NONE);
	std::unique_ptr<mesh_region> region(new mesh_region());
	region->x0 = 2;
	region->y0 = 3;
	struct drawn
	{
		std::vector<render_map_overlay> overlays;
		const shadow_map_data *shadow;
		int32 counted;
	};
	auto draw = [&](int16 type, bool light) {
		drawn result = {};
		set_random_seed(17);
		const world_point2d ground = {3000, 3000};
		const world_distance z = get_mesh_height(&ground, _true_height) + 2048;
		const int16 index = bolt(type, {1000, ground.y, z}, {5000, ground.y, z});
		EXPECT_NE(index, NONE);
		for (int32 tick = 0; tick < 25; ++tick) update_lightning();
		view_data view;
		memset(&view, 0, sizeof(view));
		view.region = region.get();
		reset_lightning_test_hooks();
		set_local_random_seed(5);
		build_lightning_surface_list(&view, nullptr);
		result.counted = light ? get_lightning_test_hooks()->light_maps_drawn : get_lightning_test_hooks()->shadows_drawn;
		EXPECT_EQ(light ? view.shadow_map_overlays : view.light_map_overlays, nullptr);
		for (const render_map_overlay *o = light ? view.light_map_overlays : view.shadow_map_overlays; o; o = o->next_map_overlay)
		{
			result.overlays.push_back(*o);
		}
		const lightning_definition *definition = get_lightning_definition(type);
		const int16 sequence = definition->sequence_indexes[_lightning_sequence_main_bolt];
		const sequence_frame_data *frame =
			get_sequence_frame(get_sequence(definition->collection_index, sequence), definition->collection_index, sequence, 0);
		result.shadow = frame ? get_shadow_map(definition->collection_index, frame->shadow_map_index) : nullptr;
		stop_lightning(index);
		for (int32 tick = 0; tick < 20; ++tick) update_lightning();
		return result;
	};
	const drawn light = draw(lit, true), shadow = draw(shaded, false);
	ASSERT_TRUE(light.shadow && shadow.shadow);
	ASSERT_TRUE(light.shadow->flags & _shadow_is_light_map_flag);
	ASSERT_FALSE(shadow.shadow->flags & _shadow_is_light_map_flag);
	EXPECT_GT(light.counted, 10);
	EXPECT_EQ(static_cast<int32>(light.overlays.size()), light.counted);
	ASSERT_EQ(shadow.overlays.size(), light.overlays.size());
	for (size_t i = 0; i < light.overlays.size(); ++i)
	{
		const render_map_overlay &l = light.overlays[i], &s = shadow.overlays[i];
		EXPECT_EQ(l.bitmap_index, light.shadow->bitmap_index);
		EXPECT_EQ(s.bitmap_index, shadow.shadow->bitmap_index);
		// The maps' centres: the light under the point, the shadow half the height away.
		const int32 dx = (s.x0 + (shadow.shadow->registration_point.x >> 10)) - (l.x0 + (light.shadow->registration_point.x >> 10));
		const int32 dy = (s.y0 + (shadow.shadow->registration_point.y >> 10)) - (l.y0 + (light.shadow->registration_point.y >> 10));
		// The point's height back from the light's fade (to 4 units), then the shadow's.
		const int32 h = 1024 + (65536 - l.density) / 16;
		EXPECT_GT(h, 2048 - 64) << i;
		EXPECT_LT(h, 3072) << i;
		EXPECT_NEAR(dx, h / 2, 3) << i;
		EXPECT_EQ(dx, dy) << i;
		EXPECT_NEAR(s.density, 65536 - (h << 16) / 3072, 120) << i;
	}
}

} // namespace
