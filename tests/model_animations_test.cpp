// Model animations and effects on the object test map: the frame steps and
// their sounds, the random first frame, model identity and the drawn cells,
// refused loads; effect ramps, reversal and the end of a deleted model.
#include <gtest/gtest.h>

#include <algorithm>

#include "CoreLibrary/zerv/error_manager.h"
#include "map_actions/map_actions.h"
#include "mesh.h"
#include "model_animations.h"
#include "model_effects.h"
#include "objects_content.h"
#include "objects_test_support.h"
#include "sound/sound_manager.h"
#include "support/zerv_harness.h"
#include "world.h"

namespace {

#define HUT2_TAG TAG("hut2")
#define HUT3_TAG TAG("hut3")

int16 resolve_test_sound(file_tag tag)
{
	return tag == TAG("fwd ") ? 5 : tag == TAG("back") ? 6 : static_cast<int16>(NONE);
}

class model_animations_on_a_map : public objects_test_map
{
protected:
	void SetUp() override
	{
		objects_test_map::SetUp();
		std::vector<int32> handles;
		ASSERT_TRUE(make_default_collection_tags(&handles));
		initialize_models();
		dispose_models_from_old_map();
		initialize_models_for_new_map();
		initialize_model_animations();
		initialize_model_animations_for_new_map();
		initialize_model_effects();
		initialize_model_effects_for_new_map();
		reset_model_animations_test_hooks();
		reset_sound_manager_test_hooks();
		// 'hut2' is the smaller cottage, so a frame can shrink the model's box.
		for (file_tag tag : {DEFAULT_HUT_MODEL_TAG, HUT2_TAG, HUT3_TAG})
		{
			const bool cottage = tag == HUT2_TAG;
			std::vector<uint8> model = cottage ? cottage_model_tag_data() : hut_model_tag_data();
			const uint32 big = static_cast<uint32>(tag);
			const uint8 name[4] = {static_cast<uint8>(big >> 24), static_cast<uint8>(big >> 16), static_cast<uint8>(big >> 8),
				static_cast<uint8>(big)};
			std::copy(name, name + 4, model.begin() + 4);
			const std::vector<uint8> geometry = cottage ? cottage_geometry_tag_data() : hut_geometry_tag_data();
			tag_file_new_with_subgroup_tag(GEOMETRY_GROUP_TAG, tag_to_string(tag), tag, GEOMETRY_VERSION_NUMBER,
				geometry.data(), static_cast<int32>(geometry.size()));
			tag_file_new_with_subgroup_tag(MODEL_GROUP_TAG, tag_to_string(tag), tag, MODEL_VERSION_NUMBER, model.data(),
				static_cast<int32>(model.size()));
			ASSERT_NE(get_model_definition_index(tag), NONE) << log_text();
		}
	}
	void TearDown() override
	{
		get_shapes_test_hooks()->resolve_sequence_sound = nullptr;
		dispose_model_effects_from_old_map();
		dispose_model_animations_from_old_map();
		dispose_models_from_old_map();
		reset_model_animations_test_hooks();
		objects_test_map::TearDown();
	}

	// The gate's layout: hut p0, hut p1, hut2 p0, hut3 p0.
	static model_animation_definition gate(uint32 flags, int16 frames = 4)
	{
		model_animation_definition d = {};
		d.flags = flags;
		d.number_of_frames = frames;
		d.ticks_per_frame = 14;
		const file_tag models[4] = {DEFAULT_HUT_MODEL_TAG, DEFAULT_HUT_MODEL_TAG, HUT2_TAG, HUT3_TAG};
		const int16 permutations[4] = {0, 1, 0, 0};
		for (int16 i = 0; i < frames && i < 4; ++i)
		{
			d.frames[i].model_tag = models[i];
			d.frames[i].permutation_index = permutations[i];
		}
		d.forward_sound_tag = d.backward_sound_tag = static_cast<file_tag>(NONE);
		return d;
	}

	static std::vector<uint8> stored(model_animation_definition d, const std::vector<uint8> &maps = {})
	{
		if (!maps.empty())
		{
			d.shadow_maps_offset = sizeof(d);
			d.shadow_maps_size = static_cast<int32>(maps.size());
		}
		byte_swap_data("anim", &d, sizeof(d), 1, model_animation_definition_bs_data);
		std::vector<uint8> bytes(reinterpret_cast<uint8 *>(&d), reinterpret_cast<uint8 *>(&d) + sizeof(d));
		bytes.insert(bytes.end(), maps.begin(), maps.end());
		return bytes;
	}

	int16 load(file_tag subgroup, const model_animation_definition &d, const std::vector<uint8> &maps = {})
	{
		const std::vector<uint8> bytes = stored(d, maps);
		return new_model_animation_definition_from_tag_data(subgroup, bytes.data(), static_cast<int32>(bytes.size()));
	}

	int16 start(int16 type)
	{
		new_model_animation_data request = {};
		request.type = type;
		request.location.position = {20 * 512, 20 * 512, 0};
		return new_model_animation(&request);
	}
};

TEST_F(model_animations_on_a_map, back_and_forth_steps_keep_the_model_within_a_model_and_sound_at_both_turns)
{
	get_shapes_test_hooks()->resolve_sequence_sound = resolve_test_sound;
	model_animation_definition d = gate(_animation_back_and_forth_flag | _animation_initially_running_flag);
	d.forward_sound_tag = TAG("fwd ");
	d.backward_sound_tag = TAG("back");
	const int16 type = load(TAG("gate"), d);
	ASSERT_NE(type, NONE) << log_text();
	const int16 index = start(type);
	ASSERT_NE(index, NONE);
	const least_call_log *calls = &get_sound_manager_test_hooks()->calls;
	EXPECT_EQ(least_call_count(calls, "play_sound_with_flags"), 1); // starting forward
	model_animation_data *animation = get_model_animation_data(index);
	const int16 first_model = animation->current_model_index;
	const int8 expected[8] = {0, 1, 2, 3, 3, 2, 1, 0};
	for (int32 k = 1; k <= 250; ++k)
	{
		update_model_animations();
		ASSERT_EQ(animation->current_frame_index, expected[(k / 15) % 8]) << k;
		ASSERT_NE(animation->current_model_index, NONE) << k;
		if (k == 15)
		{
			EXPECT_EQ(animation->current_model_index, first_model); // same model, new permutation
			EXPECT_EQ(get_model_data(first_model)->model_permutation, 1);
		}
		if (k == 60) { EXPECT_EQ(least_call_argument(calls, "play_sound_with_flags", 0), 6); }
		if (k == 120) { EXPECT_EQ(least_call_argument(calls, "play_sound_with_flags", 0), 5); }
	}
	EXPECT_EQ(least_call_count(calls, "play_sound_with_flags"), 1 + 2 * (250 / 120) + (250 % 120 >= 60 ? 1 : 0));
	EXPECT_EQ(get_model_animation_index_from_current_model_index(animation->current_model_index), index);

	// A jump outside the frames is ignored; one-shot stops at its end; cycling wraps.
	const int16 frame = animation->current_frame_index;
	jump_model_animation_to_frame(index, 4);
	jump_model_animation_to_frame(index, -2);
	EXPECT_EQ(animation->current_frame_index, frame);
	const int16 once = start(load(TAG("once"), gate(_animation_initially_running_flag)));
	const int16 loop = start(load(TAG("loop"), gate(_animation_cycles_flag | _animation_initially_running_flag, 2)));
	ASSERT_NE(once, NONE);
	ASSERT_NE(loop, NONE);
	for (int32 k = 0; k < 15 * 5; ++k) update_model_animations();
	EXPECT_EQ(get_model_animation_data(once)->state, _animation_stopped);
	EXPECT_EQ(get_model_animation_data(once)->current_frame_index, 3);
	EXPECT_EQ(get_model_animation_data(loop)->current_frame_index, 1);
}

TEST_F(model_animations_on_a_map, a_random_first_frame_takes_one_draw_and_one_frame_none)
{
	const int16 four = load(TAG("rnd4"), gate(_random_initial_frame_flag));
	const int16 one = load(TAG("rnd1"), gate(_random_initial_frame_flag, 1));
	ASSERT_NE(four, NONE);
	ASSERT_NE(one, NONE);
	set_random_seed(1327);
	uint32 draws = zerv_random_draw_count();
	const int16 a = start(four);
	EXPECT_EQ(zerv_random_draw_count(), draws + 1);
	EXPECT_EQ(get_model_animation_data(a)->current_frame_index, 2);
	EXPECT_EQ(get_model_animation_data(a)->state, _animation_stopped);
	draws = zerv_random_draw_count();
	delete_model_animation(a);
	const int16 b = start(one);
	EXPECT_EQ(zerv_random_draw_count(), draws);
	EXPECT_EQ(get_model_animation_data(b)->current_frame_index, 0);
}

TEST_F(model_animations_on_a_map, models_deleted_elsewhere_are_neither_kept_nor_deleted_again)
{
	const int16 type = load(TAG("gate"), gate(0));
	const int16 index = start(type);
	model_animation_data *animation = get_model_animation_data(index);
	const int16 shown = animation->current_model_index;
	ASSERT_NE(shown, NONE);
	// From 1716 the model's end is reported.
	delete_model(shown);
	EXPECT_EQ(animation->current_model_index, NONE);
	// The next frame shows the same model: nothing comes back until the model changes.
	jump_model_animation_to_frame(index, 1);
	EXPECT_EQ(animation->current_model_index, NONE);
	EXPECT_EQ(model_array.total_count, 0);
	jump_model_animation_to_frame(index, 2);
	ASSERT_NE(animation->current_model_index, NONE);

	// Below it the index goes stale: a model placed in its slot is not the animation's.
	game_play_version = 1715;
	const int16 stale = animation->current_model_index;
	delete_model(stale);
	EXPECT_EQ(animation->current_model_index, stale);
	new_model_data other = {get_model_definition_index(HUT3_TAG), 0, {20 * 512, 20 * 512, 0}, 0, 0, NONE};
	const int16 reused = new_model(&other);
	ASSERT_EQ(reused, stale);
	EXPECT_EQ(get_model_animation_index_from_current_model_index(reused), NONE);
	jump_model_animation_to_frame(index, 3);
	EXPECT_NE(get_model_data(reused), nullptr) << "the other model was deleted";
	game_play_version = 1720;
}

TEST_F(model_animations_on_a_map, an_unplaceable_frame_shows_nothing_and_the_animation_goes_on)
{
	// A model already standing where the frames go: no frame can be placed.
	new_model_data blocker = {get_model_definition_index(HUT3_TAG), 0, {20 * 512, 20 * 512, 0}, 0, 0, NONE};
	const int16 blocking = new_model(&blocker);
	ASSERT_NE(blocking, NONE);
	const int16 index = start(load(TAG("gate"), gate(_animation_initially_running_flag)));
	ASSERT_NE(index, NONE);
	const model_animation_data *animation = get_model_animation_data(index);
	EXPECT_EQ(animation->current_frame_index, 0);
	EXPECT_EQ(animation->current_model_index, NONE);
	for (int32 k = 0; k < 2 * 15; ++k) update_model_animations();
	EXPECT_EQ(animation->current_frame_index, 2);
	EXPECT_EQ(animation->current_model_index, NONE);
	EXPECT_EQ(animation->state, _animation_running);
	// Once the place is free the next frame stands there.
	delete_model(blocking);
	for (int32 k = 0; k < 15; ++k) update_model_animations();
	EXPECT_EQ(animation->current_frame_index, 3);
	EXPECT_NE(animation->current_model_index, NONE);
}

TEST_F(model_animations_on_a_map, the_drawn_cells_follow_the_frames_and_clip_at_the_edge)
{
	ASSERT_NE(mesh_globals->mesh_LOD_data, nullptr);
	const int32 blocks_per_row = mesh_globals->mesh_width / 2;
	uint16 *lod = mesh_globals->mesh_LOD_data;
	for (int32 i = 0; i < mesh_globals->mesh_LOD_data_size / 2; ++i) lod[i] = 0x0F;
	new_model_animation_data request = {};
	request.type = load(TAG("gate"), gate(0));
	request.location.position = {20 * 512 + 256, 20 * 512, 0};
	const int16 index = new_model_animation(&request);
	ASSERT_NE(index, NONE);
	EXPECT_EQ(lod[10 * blocks_per_row + 10], 0xFF); // the hut's block, all four cells drawn
	// The hut's box reaches a block column the smaller cottage's does not:
	// that block is refreshed for the old box when the cottage replaces it.
	const auto first_block = [](world_distance a, world_distance b) { return std::min(a, b) >> 10; };
	const world_rectangle3d hut = get_model_data(get_model_animation_data(index)->current_model_index)->bounds;
	const int32 first_x = first_block(hut.minimum_corner.x, hut.maximum_corner.x);
	const int32 first_y = first_block(hut.minimum_corner.y, hut.maximum_corner.y);
	EXPECT_EQ(lod[first_y * blocks_per_row + first_x], 0xFF);
	get_mesh_cell(21, 21)->flags |= _mesh_cell_is_not_rendered_flag;
	get_mesh_cell(2 * first_x, 2 * first_y)->flags |= _mesh_cell_is_not_rendered_flag;
	jump_model_animation_to_frame(index, 2);
	const model_data *cottage = get_model_data(get_model_animation_data(index)->current_model_index);
	ASSERT_NE(cottage, nullptr);
	ASSERT_GT(first_block(cottage->bounds.minimum_corner.x, cottage->bounds.maximum_corner.x), first_x);
	EXPECT_EQ(lod[10 * blocks_per_row + 10], 0x0F | LOD_CELL_0_VISIBLE_FLAG | LOD_CELL_1_VISIBLE_FLAG |
		LOD_CELL_3_VISIBLE_FLAG);
	EXPECT_EQ(lod[first_y * blocks_per_row + first_x], 0xFF & ~LOD_CELL_0_VISIBLE_FLAG);
	// The refresh stops at the table's edge.
	refresh_LOD_cell_visibility(blocks_per_row - 2, -5, blocks_per_row + 40, 3);
	EXPECT_EQ(lod[blocks_per_row - 1], 0xFF);
}

TEST_F(model_animations_on_a_map, bad_animation_tags_are_refused_with_a_line)
{
	model_animation_definition d = gate(0);
	d.number_of_frames = 32;
	EXPECT_EQ(load(TAG("bad1"), d), NONE);
	EXPECT_NE(log_text().find("bad1 has a bad number_of_frames"), std::string::npos) << log_text();
	d = gate(0);
	d.shadow_map_width = 16;
	d.shadow_map_height = 16;
	d.shadow_bytes_per_row = 16;
	EXPECT_EQ(load(TAG("bad2"), d, std::vector<uint8>(16 * 16 * 3, 1)), NONE);
	EXPECT_NE(log_text().find("bad2 has a bad shadow map table"), std::string::npos) << log_text();
	d.shadow_map_width = 17;
	EXPECT_EQ(load(TAG("bad3"), d, std::vector<uint8>(16 * 16 * 4, 1)), NONE);
	d = gate(0);
	d.frames[1].model_tag = TAG("none");
	EXPECT_EQ(load(TAG("bad4"), d), NONE);
	// A sound no layer knows is none: the gate still loads and blocks its cells.
	d = gate(0);
	d.forward_sound_tag = TAG("gone");
	const int16 sounding = load(TAG("snd0"), d);
	ASSERT_NE(sounding, NONE) << log_text();
	EXPECT_EQ(get_model_animation_definition(sounding)->forward_sound_type, NONE);
	EXPECT_NE(get_model_animation_data(start(sounding))->current_model_index, NONE);
	d = gate(0);
	d.shadow_map_width = d.shadow_map_height = d.shadow_bytes_per_row = 16;
	const int16 good = load(TAG("good"), d, std::vector<uint8>(16 * 16 * 4, 7));
	ASSERT_NE(good, NONE) << log_text();
	ASSERT_NE(get_model_animation_shadow_map(good, 3), nullptr);
	EXPECT_EQ(get_model_animation_shadow_map(good, 3)[255], 7);
	EXPECT_EQ(get_model_animation_shadow_map(good, 4), nullptr);

	// Shadow maps that cannot be had fail the load with one line that says why.
	const auto lines_with = [](const std::string &text) {
		int32 count = 0;
		for (size_t at = log_text().find(text); at != std::string::npos; at = log_text().find(text, at + 1)) ++count;
		return count;
	};
	const auto load_tag = [&d](file_tag subgroup) {
		const std::vector<uint8> bytes = stored(d, std::vector<uint8>(16 * 16 * 4, 7));
		tag_file_new_with_subgroup_tag(MODEL_ANIMATION_GROUP_TAG, tag_to_string(subgroup), subgroup,
			MODEL_ANIMATION_VERSION_NUMBER, bytes.data(), static_cast<int32>(bytes.size()));
		return get_model_animation_definition_index(subgroup);
	};
	ASSERT_NE(load_tag(TAG("shd0")), NONE) << log_text();
	// Out of memory is fatal: the process ends with its code after the line.
	EXPECT_EXIT(
		{
			get_model_animations_test_hooks()->fail_shadow_map_allocation = TRUE;
			load_tag(TAG("oom1"));
		},
		::testing::ExitedWithCode(_error_out_of_memory), "");
	EXPECT_EQ(lines_with("couldn't allocate #1024 bytes for shadow maps for model animation oom1."), 1) << log_text();
	EXPECT_EQ(lines_with("model animation oom1"), 1) << log_text();
	get_model_animations_test_hooks()->fail_shadow_map_read = TRUE;
	EXPECT_EQ(load_tag(TAG("red1")), NONE);
	EXPECT_EQ(lines_with("couldn't read shadow maps from model animation red1."), 1) << log_text();
	EXPECT_EQ(lines_with("model animation red1"), 1) << log_text();
}

/* ---------- effects */

class model_effects_on_a_map : public model_animations_on_a_map
{
protected:
	int16 hut(void)
	{
		new_model_data request = {get_model_definition_index(DEFAULT_HUT_MODEL_TAG), 0, {20 * 512, 20 * 512, 0}, 0, 0, NONE};
		return new_model(&request);
	}
	static new_model_effect_data request(uint16 flags, int16 duration)
	{
		new_model_effect_data r = {};
		r.flags = flags;
		r.duration = duration;
		r.new_permutation = r.set_permutation = r.material_fading_index = NONE;
		r.initial_scale = 512;
		r.final_scale = 1024;
		r.projectile_type_to_create = static_cast<file_tag>(NONE);
		return r;
	}
};

TEST_F(model_effects_on_a_map, fading_in_and_scaling_ramp_by_the_tick)
{
	const int16 model_index = hut();
	ASSERT_NE(model_index, NONE);
	const new_model_effect_data r = request(_fade_model_in_flag | _scale_model_flag, 7);
	ASSERT_TRUE(new_model_effect(model_index, NONE, &r));
	const model_data *model = get_model_data(model_index);
	const int32 height = std::abs(model->bounds.maximum_corner.z - model->bounds.minimum_corner.z);
	std::vector<int32> transparency, scale;
	for (int32 k = 0; k < 7; ++k)
	{
		update_model_effects();
		transparency.push_back(model->transparency);
		scale.push_back(model->scale_vector.i);
	}
	EXPECT_EQ(transparency.front(), 56173);
	EXPECT_EQ(transparency[5], 9363);
	EXPECT_EQ(transparency.back(), 0);
	EXPECT_EQ(scale.front(), 585);
	EXPECT_EQ(scale[5], 950);
	EXPECT_EQ(scale.back(), 1024);
	EXPECT_EQ(model_effect_array.total_count, 0);
	// The collision box follows the scale.
	EXPECT_NEAR(std::abs(model->bounds.maximum_corner.z - model->bounds.minimum_corner.z), 2 * height, 4);

	// Duration 0 ends on the first tick.
	const new_model_effect_data quick = request(_fade_model_out_flag, 0);
	ASSERT_TRUE(new_model_effect(model_index, NONE, &quick));
	update_model_effects();
	EXPECT_EQ(model->transparency, 65535);
	EXPECT_EQ(model_effect_array.total_count, 0);
}

TEST_F(model_effects_on_a_map, a_fading_material_fades_every_model_of_its_geometry)
{
	const int16 faded = hut();
	new_model_data second = {get_model_definition_index(DEFAULT_HUT_MODEL_TAG), 0, {40 * 512, 40 * 512, 0}, 0, 0, NONE};
	const int16 other = new_model(&second);
	ASSERT_NE(faded, NONE);
	ASSERT_NE(other, NONE);
	new_model_effect_data r = request(0, 4);
	r.material_fading_index = 0;
	r.material_final_transparency = 32768;
	ASSERT_TRUE(new_model_effect(faded, NONE, &r));
	for (int32 k = 0; k < 4; ++k) update_model_effects();
	// The other hut's surfaces, as the renderer reads them.
	const model_definition *definition = get_model_definition(get_model_data(other)->type);
	const geometry_tables *tables = get_geometry_tables(definition->geometry_index);
	const geometry_definition *geometry = get_geometry_definition(definition->geometry_index);
	ASSERT_TRUE(tables && geometry && tables->surfaces);
	for (int16 i = 0; i < geometry->surface_count; ++i)
	{
		if (tables->surfaces[i].material_index == 0) { EXPECT_EQ(tables->surfaces[i].transparency, 32768) << i; }
	}
	EXPECT_EQ(get_model_data(other)->transparency, 0) << "the model itself does not fade";
}

TEST_F(model_effects_on_a_map, a_change_only_request_reverses_the_running_cross_fade)
{
	const int16 model_index = hut();
	new_model_effect_data r = request(0, 10);
	r.new_permutation = 1;
	ASSERT_TRUE(new_model_effect(model_index, NONE, &r));
	for (int32 k = 0; k < 4; ++k) update_model_effects();
	new_model_effect_data change = request(_permutation_change_only_flag, 10);
	change.new_permutation = 0;
	EXPECT_FALSE(new_model_effect(model_index, NONE, &change));
	const model_effect_data *effect = get_model_effect_data(0);
	ASSERT_NE(effect, nullptr);
	EXPECT_EQ(effect->ticks, 6);
	EXPECT_EQ(get_model_data(model_index)->model_permutation, 1);
	for (int32 k = 0; k < 3; ++k) update_model_effects();
	EXPECT_EQ(model_effect_array.total_count, 1);
	update_model_effects();
	EXPECT_EQ(model_effect_array.total_count, 0);
	EXPECT_EQ(get_model_data(model_index)->model_permutation, 0);
	// With nothing running it starts an effect of its own.
	EXPECT_TRUE(new_model_effect(model_index, NONE, &change));
}

TEST_F(model_effects_on_a_map, an_effect_on_a_deleted_model_ends_without_touching_another)
{
	const int16 model_index = hut();
	const new_model_effect_data r = request(_fade_model_out_flag, 20);
	ASSERT_TRUE(new_model_effect(model_index, NONE, &r));
	update_model_effects();
	delete_model(model_index);
	const int16 other = hut();
	ASSERT_EQ(other, model_index);
	update_model_effects();
	EXPECT_EQ(model_effect_array.total_count, 0);
	EXPECT_EQ(get_model_data(other)->transparency, 0);
	// A NONE model or a negative duration start nothing.
	EXPECT_FALSE(new_model_effect(NONE, NONE, &r));
	const new_model_effect_data negative = request(0, -5);
	EXPECT_FALSE(new_model_effect(other, NONE, &negative));
	EXPECT_EQ(model_effect_array.total_count, 0);
}

} // namespace
