// Mesh effects: the bumps a wave leaves, when it ends, what it re-seats, and the ring.
#include "weather_test_support.h"

#include "render/render_world_builders.h"

namespace {

class mesh_effects_on_a_map : public weather_test_map
{
protected:
	int16 effect_type(const mesh_effect_definition &d, file_tag tag)
	{
		return load_record(get_mesh_effect_definitions(), tag, d, mesh_effect_definition_bs_data);
	}
	static int16 start(int16 type, world_distance x, world_distance y)
	{
		const new_mesh_effect_data request = {0, type, {x, y}};
		return new_mesh_effect(&request);
	}
	// The bump of the Part's formula, in int64.
	static int64 reference_bump(const mesh_effect_definition &d, int64 elapsed, int64 distance)
	{
		const int64 radius = d.velocity * elapsed + d.epicenter_offset;
		const int64 crest = (d.amplitude * std::max<int64>(0, 65536 - (radius << 16) / d.cutoff_radius)) >> 16;
		return std::max<int64>(0, crest - ((((radius - distance) * (radius - distance)) >> 9) * d.dissipation >> 8));
	}
};

TEST_F(mesh_effects_on_a_map, a_cell_keeps_its_last_bump)
{
	mesh_effect_definition d = default_shock_mesh_effect();
	d.cutoff_radius = 32767;
	d.velocity = 700;
	d.dissipation = 16;
	d.amplitude = 200;
	const int16 type = effect_type(d, TAG("wide"));
	ASSERT_NE(type, NONE);
	const int16 before = get_mesh_cell(20, 20)->height, far_before = get_mesh_cell(10, 20)->height;
	const int16 index = start(type, 20 * 512, 20 * 512);
	ASSERT_NE(index, NONE);
	update_mesh_effects();
	EXPECT_EQ(get_mesh_cell(20, 20)->height - before, reference_bump(d, 0, 0)) << "the first tick applies the whole bump";
	int32 ticks = 1;
	for (; ticks < 10; ++ticks) update_mesh_effects();
	EXPECT_EQ(get_mesh_cell(20, 20)->height - before, reference_bump(d, ticks - 1, 0));
	EXPECT_EQ(get_mesh_cell(10, 20)->height - far_before, reference_bump(d, ticks - 1, 10 * 512));
	for (; ticks < 60 && get_mesh_effect_data(index); ++ticks) update_mesh_effects();
	EXPECT_EQ(get_mesh_effect_data(index), nullptr) << "the front passed the cut-off";

	// Inverted: the same amounts downwards; media cells move their media height.
	d.flags |= _mesh_effect_is_inverted_flag;
	d.cutoff_radius = 2048;
	d.velocity = 96;
	const int16 inverted = effect_type(d, TAG("invr"));
	get_mesh_cell(40, 40)->flags |= _mesh_cell_triangle0_is_media_flag;
	const int16 land = get_mesh_cell(40, 40)->height, media = get_mesh_cell(40, 40)->media_height;
	start(inverted, 40 * 512, 40 * 512);
	update_mesh_effects();
	EXPECT_EQ(get_mesh_cell(40, 40)->height, land);
	EXPECT_EQ(get_mesh_cell(40, 40)->media_height - media, -reference_bump(d, 0, 0));

	// Heights saturate instead of wrapping.
	get_mesh_cell(30, 10)->height = 32760;
	d.flags = 0;
	d.amplitude = 2000;
	start(effect_type(d, TAG("tall")), 30 * 512, 10 * 512);
	update_mesh_effects();
	EXPECT_EQ(get_mesh_cell(30, 10)->height, 32767);

	// A front that starts 2000 behind its epicentre in a corner: the far corner
	// cell lies 47,980 from it, whose square passes 31 bits. Far from the front
	// no bump is left.
	mesh_effect_definition behind = default_shock_mesh_effect();
	behind.cutoff_radius = 32767;
	behind.velocity = 700;
	behind.dissipation = 16;
	behind.amplitude = 200;
	behind.epicenter_offset = -2000;
	const int16 corner = get_mesh_cell(63, 64)->height;
	ASSERT_NE(start(effect_type(behind, TAG("back")), 0, 0), NONE);
	update_mesh_effects();
	const int64 distance = isqrt(static_cast<uint32>((63 * 512) * (63 * 512) + (64 * 512) * (64 * 512)));
	ASSERT_GT(-behind.epicenter_offset + distance, 46341);
	EXPECT_EQ(get_mesh_cell(63, 64)->height - corner, reference_bump(behind, 0, distance));
}

TEST_F(mesh_effects_on_a_map, lifetimes_and_capacity)
{
	mesh_effect_definition d = default_shock_mesh_effect();
	d.velocity = 0;
	const int16 forever = start(effect_type(d, TAG("stil")), 5000, 5000);
	d.cutoff_radius = 0;
	const int16 none = start(effect_type(d, TAG("zero")), 6000, 5000);
	update_mesh_effects();
	EXPECT_EQ(get_mesh_effect_data(none), nullptr) << "a cut-off below 1 goes at once";
	for (int32 tick = 0; tick < 500; ++tick) update_mesh_effects();
	EXPECT_NE(get_mesh_effect_data(forever), nullptr) << "velocity 0 never ends";
	for (int32 i = 1; i < MAXIMUM_MESH_EFFECTS_PER_MAP; ++i) EXPECT_NE(start(get_mesh_effect_data(forever)->type, 5000, 5000), NONE);
	EXPECT_EQ(start(get_mesh_effect_data(forever)->type, 5000, 5000), NONE) << "the 17th";
	EXPECT_EQ(start(NONE, 5000, 5000), NONE);
}

TEST_F(mesh_effects_on_a_map, reseating_skips_airborne_and_floats_floaters)
{
	const int16 type = mesh_effect_definition_tag_to_index(DEFAULT_SHOCK_MESH_EFFECT_TAG);
	ASSERT_NE(type, NONE);
	const int16 grounded = place_scenery(TAG("post"), 10 * 512 + 10, 10 * 512 + 10);
	const int16 airborne = place_scenery(TAG("post"), 10 * 512 + 20, 10 * 512 + 20);
	const int16 floater = place_scenery(TAG("post"), 11 * 512 + 10, 10 * 512 + 10);
	ASSERT_NE(floater, NONE);
	get_object_data(grounded)->flags |= _object_on_ground_flag;
	get_object_data(airborne)->flags &= ~static_cast<uint32>(_object_on_ground_flag);
	get_object_data(airborne)->location.position.z = 900;
	get_object_data(floater)->flags |= _object_on_ground_flag | _object_floats_on_media_flag;
	get_mesh_cell(11, 10)->flags |= _mesh_cell_triangle_media_flags;
	get_mesh_cell(11, 10)->media_height = 300;
	start(type, 10 * 512, 10 * 512);
	update_mesh_effects();
	const world_point2d p = {10 * 512 + 10, 10 * 512 + 10};
	EXPECT_EQ(get_object_data(grounded)->location.position.z, get_mesh_height(&p, _land_height));
	EXPECT_EQ(get_object_data(airborne)->location.position.z, 900);
	const world_point2d q = {11 * 512 + 10, 10 * 512 + 10};
	EXPECT_EQ(get_object_data(floater)->location.position.z, get_mesh_height(&q, _media_height));
}

TEST_F(mesh_effects_on_a_map, the_shockwave_ring)
{
	EXPECT_EQ(shockwave_transparency(0, 2048), 32768);
	EXPECT_EQ(shockwave_transparency(2048, 2048), 65535);
	EXPECT_EQ(shockwave_transparency(1024, 2048), 49152);
	EXPECT_EQ(shockwave_transparency(512, 2048), 32768 + 64 * 128);
	// Near the corner every point stays on the map.
	const int16 type = mesh_effect_definition_tag_to_index(DEFAULT_SHOCK_MESH_EFFECT_TAG);
	start(type, 100, 100);
	for (int32 tick = 0; tick < 10; ++tick) update_mesh_effects();
	build_mesh_effect_surface_list(nullptr, nullptr);
	const mesh_effects_test_hooks_data *hooks = get_mesh_effects_test_hooks();
	ASSERT_EQ(hooks->last_point_count, 24);
	for (int16 i = 0; i < hooks->last_point_count; ++i)
	{
		EXPECT_GE(hooks->last_outer_points[i].x, 0);
		EXPECT_GE(hooks->last_outer_points[i].y, 0);
	}
	// 0 or more than 48 points are refused.
	mesh_effect_definition d = default_shock_mesh_effect();
	d.number_of_radial_points = 0;
	EXPECT_EQ(effect_type(d, TAG("pts0")), NONE);
	d.number_of_radial_points = MAXIMUM_RADIAL_POINTS + 1;
	EXPECT_EQ(effect_type(d, TAG("pt49")), NONE);
	d.number_of_radial_points = MAXIMUM_RADIAL_POINTS;
	EXPECT_NE(effect_type(d, TAG("pt48")), NONE);
	reset_error_state();
}

} // namespace
