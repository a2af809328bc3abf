// Models and geometries into model triangles: culling, double-sided
// surfaces, depth rules, reflections, cross-fades and once-per-frame marks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "geometry.h"
#include "media.h"
#include "model_animations.h"
#include "models.h"
#include "monsters.h"
#include "objects_content.h"
#include "objects_test_support.h"
#include "render/render.h"
#include "render/render_models.h"
#include "render/render_objects.h"

namespace {

class render_models : public objects_test_map
{
protected:
	void SetUp() override
	{
		objects_test_map::SetUp();
		std::vector<int32> handles;
		ASSERT_TRUE(make_default_collection_tags(&handles));
		initialize_models();
		game_play_version = 1720;
		initialize_models_for_new_map();
		initialize_render();
		render_scene(NULL);
		reset_monsters_test_hooks();
		reset_model_animations_test_hooks();
		ASSERT_NE(tag_file_new_with_subgroup_tag(GEOMETRY_GROUP_TAG, "hut", DEFAULT_HUT_MODEL_TAG, GEOMETRY_VERSION_NUMBER,
					  hut_geometry_tag_data().data(), static_cast<int32>(hut_geometry_tag_data().size())),
			NONE);
		ASSERT_NE(tag_file_new_with_subgroup_tag(MODEL_GROUP_TAG, "hut", DEFAULT_HUT_MODEL_TAG, MODEL_VERSION_NUMBER,
					  hut_model_tag_data().data(), static_cast<int32>(hut_model_tag_data().size())),
			NONE);
		type = get_model_definition_index(DEFAULT_HUT_MODEL_TAG);
		ASSERT_NE(type, NONE) << log_text();
		const new_model_data request = {type, 0, {20 * 512, 20 * 512, 0}, HUT_MODEL_YAW, HUT_MODEL_PITCH, NONE};
		model_index = new_model(&request);
		ASSERT_NE(model_index, NONE);
		geometry_index = get_model_definition(type)->geometry_index;
		tables = get_geometry_tables(geometry_index);
		ASSERT_NE(tables, nullptr);
		// A texture, so that surfaces are drawn.
		tables->materials[0].collection_index = collection_index;
		tables->materials[0].bitmap_index = 0;
		tables->materials[0].color_table_index = 0;
		// The rules below start from surfaces sorted by their farthest corner.
		for (int16 i = 0; i < get_geometry_definition(geometry_index)->surface_count; ++i)
			tables->surfaces[i].flags &= static_cast<uint16>(~_geometry_surface_uses_closest_z_flag);
		saved_surfaces.assign(tables->surfaces, tables->surfaces + get_geometry_definition(geometry_index)->surface_count);

		memset(&view, 0, sizeof(view));
		view.screen_width = 640;
		view.screen_height = 480;
		view.xk = 320;
		view.yk = 240;
		view.world_to_screen_x = view.world_to_screen_y = 320;
		// Looking along +x from well in front of the hut, a little above the ground.
		view.location.position = {20 * 512 - 4000, 20 * 512 + 512, 200};
		view.world_to_viewer_rotation.n[1][0] = 16384;
		view.world_to_viewer_rotation.n[2][1] = 16384;
		view.world_to_viewer_rotation.n[0][2] = -16384;
		new_surface_list(&list);
		view.main_surface_list = &list;
		region = static_cast<mesh_region *>(render_malloc(sizeof(mesh_region)));
		memset(region, 0, sizeof(*region));
		region->y1 = static_cast<int16>(map.height());
		region->x1 = static_cast<int16>(map.width());
		region->spans = static_cast<mesh_span *>(render_malloc(map.height() * sizeof(mesh_span)));
		for (int32 row = 0; row < map.height(); ++row) region->spans[row] = {0, static_cast<int16>(map.width())};
	}
	void TearDown() override
	{
		if (tables) std::copy(saved_surfaces.begin(), saved_surfaces.end(), tables->surfaces);
		dispose_models_from_old_map();
		reset_monsters_test_hooks();
		reset_model_animations_test_hooks();
		objects_test_map::TearDown();
	}

	std::vector<render_model_triangle *> draw(boolean reflection = FALSE, uint16 transparency = 0)
	{
		new_surface_list(&list);
		const model_data *model = get_model_data(model_index);
		render_geometry(&view, region, model_index, geometry_index, &model->location, &model->up_vector,
			&model->forward_vector, &model->scale_vector, reflection, transparency);
		return triangles();
	}

	std::vector<render_model_triangle *> triangles(void) const
	{
		std::vector<render_model_triangle *> found;
		for (render_surface *s = list.first_surface; s; s = s->next_surface)
		{
			if (surface_subtype(s) == _surface_subtype_model_triangle) found.push_back(reinterpret_cast<render_model_triangle *>(s));
		}
		return found;
	}

	int16 type = NONE, model_index = NONE, geometry_index = NONE;
	const geometry_tables *tables = nullptr;
	std::vector<geometry_surface> saved_surfaces;
	view_data view;
	render_surface_list list;
	mesh_region *region = nullptr;
};

}

TEST_F(render_models, back_faces_cull_and_double_sided_surfaces_flip)
{
	const std::vector<render_model_triangle *> front = draw();
	ASSERT_GT(front.size(), 0u);
	ASSERT_LT(front.size(), 10u) << "faces turned away are dropped";
	// Every kept surface shares its vertices through the translation table.
	for (size_t i = 0; i < front.size(); ++i)
	{
		for (size_t j = 0; j < front.size(); ++j)
		{
			for (const render_corner &a : front[i]->corners)
			{
				for (const render_corner &b : front[j]->corners)
				{
					if (a.vertex->mesh_vertex.y == b.vertex->mesh_vertex.y) { EXPECT_EQ(a.vertex, b.vertex); }
				}
			}
		}
	}
	std::vector<bool> kept(10, false);
	for (const render_model_triangle *t : front) kept[t->triangle_index] = true;
	int32 hidden = 0;
	while (hidden < 10 && kept[hidden]) ++hidden;
	ASSERT_LT(hidden, 10);

	geometry_surface *surface = &tables->surfaces[hidden];
	surface->flags |= _geometry_surface_no_backface_cull_flag;
	std::vector<render_model_triangle *> both = draw();
	EXPECT_EQ(both.size(), front.size() + 1);
	EXPECT_TRUE(surface->flags & _geometry_surface_negative_flag) << "seen from behind";
	const render_model_triangle *flipped = nullptr;
	for (const render_model_triangle *t : both)
	{
		if (t->triangle_index == hidden) flipped = t;
	}
	ASSERT_NE(flipped, nullptr);
	EXPECT_EQ(flipped->corners[0].vertex->mesh_vertex.y, surface->corners[2].vertex_index) << "corners reversed";
	EXPECT_EQ(flipped->corners[2].vertex->mesh_vertex.y, surface->corners[0].vertex_index);

	// A double-sided surface seen from the front has the bit cleared and its corners in order.
	geometry_surface *facing = &tables->surfaces[front[0]->triangle_index];
	facing->flags |= _geometry_surface_no_backface_cull_flag | _geometry_surface_negative_flag;
	for (const render_model_triangle *t : draw())
	{
		if (t->triangle_index != front[0]->triangle_index) continue;
		EXPECT_EQ(t->corners[0].vertex->mesh_vertex.y, facing->corners[0].vertex_index);
	}
	EXPECT_FALSE(facing->flags & _geometry_surface_negative_flag);
}

TEST_F(render_models, depth_rules_reflections_and_transparency)
{
	const std::vector<render_model_triangle *> plain = draw();
	ASSERT_FALSE(plain.empty());
	const int16 index = plain[0]->triangle_index;
	const int16 farthest = plain[0]->surface.z;
	EXPECT_LT(farthest, 0);
	geometry_surface *surface = &tables->surfaces[index];

	surface->flags |= _geometry_surface_under_mesh_flag;
	EXPECT_EQ(draw()[0]->surface.z, farthest - 512);
	surface->flags = saved_surfaces[index].flags | _geometry_surface_uses_closest_z_flag;
	const int16 closest = draw()[0]->surface.z;
	EXPECT_GT(closest, farthest);
	surface->flags |= _geometry_surface_mesh_aligned_closest_z_flag;
	EXPECT_EQ(draw()[0]->surface.z, closest - 384);
	surface->flags = saved_surfaces[index].flags | _geometry_surface_reflective_flag;
	std::vector<render_model_triangle *> reflective = draw();
	EXPECT_TRUE(surface_flags(&reflective[0]->surface) & _surface_media_flag);
	EXPECT_EQ(categorize_surface(&reflective[0]->surface), _surface_category_reflective_objects);
	for (const render_model_triangle *t : draw(TRUE)) { EXPECT_NE(t->triangle_index, index) << "no reflective surfaces in reflections"; }
	surface->flags = saved_surfaces[index].flags;

	// Reflections: flagged, permutation 3, corners reversed.
	const std::vector<render_model_triangle *> mirrored = draw(TRUE);
	ASSERT_FALSE(mirrored.empty());
	for (const render_model_triangle *t : mirrored)
	{
		EXPECT_TRUE(surface_flags(&t->surface) & _surface_reflection_flag);
		EXPECT_EQ(bitmap_identifier_permutation(t->texture), 3);
		const geometry_surface &s = tables->surfaces[t->triangle_index];
		EXPECT_EQ(t->corners[0].vertex->mesh_vertex.y, s.corners[2].vertex_index);
	}
	// A reflection goes to Reflections before its bitmap's transparency is looked at.
	bitmap_data *bitmap = get_bitmap(collection_index, 0);
	ASSERT_NE(bitmap, nullptr);
	const int16 saved_bitmap_flags = bitmap->flags;
	bitmap->flags = static_cast<int16>(bitmap->flags | _bitmap_color_key_transparency_flag);
	render_model_triangle *reflected = mirrored[0];
	set_surface_flags(&reflected->surface, _surface_reflection_flag);
	EXPECT_EQ(categorize_surface(&reflected->surface), _surface_category_reflections);
	EXPECT_EQ(surface_flags(&reflected->surface), _surface_reflection_flag);
	bitmap->flags = saved_bitmap_flags;

	// Transparency: the larger of the model's and the surface's; one transparent surface fades the whole model.
	surface->transparency = 1000;
	std::vector<render_model_triangle *> faded = draw(FALSE, 500);
	for (const render_model_triangle *t : faded)
	{
		EXPECT_EQ(t->surface.transparency, t->triangle_index == index ? 1000 : 500);
		EXPECT_TRUE(surface_flags(&t->surface) & _surface_transparent_flag);
	}
	surface->transparency = 0;
	for (const render_model_triangle *t : draw()) { EXPECT_FALSE(surface_flags(&t->surface) & _surface_transparent_flag); }

	// Surfaces at or behind the eye are dropped.
	view.location.position.x = 20 * 512 + 2000;
	EXPECT_TRUE(draw().empty());
}

// A surface listed as depending on another is drawn just in front of it;
// an entry whose count runs past the table is ignored.
TEST_F(render_models, dependent_surfaces_sort_in_front_of_their_dependencies)
{
	const std::vector<render_model_triangle *> plain = draw();
	ASSERT_GE(plain.size(), 2u);
	const render_model_triangle *back = plain[0], *front = plain[0];
	for (const render_model_triangle *t : plain)
	{
		if (t->surface.z < back->surface.z) back = t;
		if (t->surface.z > front->surface.z) front = t;
	}
	ASSERT_LT(back->surface.z, front->surface.z);
	const int16 dependent = back->triangle_index, dependency = front->triangle_index;
	const int16 back_z = back->surface.z, front_z = front->surface.z;

	geometry_definition *geometry = get_geometry_definition(geometry_index);
	geometry_tables *writable = const_cast<geometry_tables *>(tables);
	const int16 saved_count = geometry->dependency_count;
	int16 *const saved_list = writable->dependency_list;
	int16 list[3] = {1, dependency, 0};
	geometry->dependency_count = 3;
	writable->dependency_list = list;
	tables->surfaces[dependent].dependency_table_index = 0;
	auto z_of = [&](int16 triangle_index) {
		for (const render_model_triangle *t : draw())
		{
			if (t->triangle_index == triangle_index) return static_cast<int32>(t->surface.z);
		}
		return -1000000;
	};
	EXPECT_EQ(z_of(dependent), std::min<int32>(front_z + 1, -1));
	EXPECT_EQ(z_of(dependency), front_z);
	list[0] = 5; // past the end of the table
	EXPECT_EQ(z_of(dependent), back_z);
	tables->surfaces[dependent].dependency_table_index = 3; // past the end
	list[0] = 1;
	EXPECT_EQ(z_of(dependent), back_z);
	writable->dependency_list = saved_list;
	geometry->dependency_count = saved_count;
	tables->surfaces[dependent].dependency_table_index = NONE;
}

TEST_F(render_models, a_model_is_drawn_once_and_cross_fades)
{
	new_surface_list(&list);
	build_models_surface_list(&view, region);
	const size_t once = triangles().size();
	ASSERT_GT(once, 0u);

	model_data *model = get_model_data(model_index);
	model->desired_model_permutation = 1; // wraps to permutation 0 of a one-permutation model
	model->permutation_crossfade_amount = 16384;
	model->transparency = 0;
	new_surface_list(&list);
	build_models_surface_list(&view, region);
	const std::vector<render_model_triangle *> both = triangles();
	ASSERT_EQ(both.size(), 2 * once);
	EXPECT_EQ(both[once]->surface.transparency, 65535 - ((65535 * 16384) >> 16));

	// A reflective model is drawn again with the complement product.
	model->desired_model_permutation = model->model_permutation;
	model->flags |= _model_has_reflection_flag;
	model->transparency = 32768;
	new_surface_list(&list);
	render_model_permutation(&view, region, model_index, 7, model->transparency);
	const std::vector<render_model_triangle *> with_reflection = triangles();
	const media_definition *media = mesh_globals ? get_media_definition(mesh_globals->media_type) : nullptr;
	const uint32 r = media ? media->reflection_transparency : 0;
	const uint16 expected = static_cast<uint16>(65535 - (((65535u - 32768u) * (65535u - r)) >> 16));
	bool found = false;
	for (const render_model_triangle *t : with_reflection)
	{
		if (!(surface_flags(&t->surface) & _surface_reflection_flag)) continue;
		found = true;
		EXPECT_EQ(t->surface.transparency, expected);
	}
	EXPECT_TRUE(found);
}

TEST_F(render_models, material_frames_follow_the_tick_and_survive_zero_ticks_per_frame)
{
	const model_definition_tables *model_tables = get_model_definition_tables(type);
	ASSERT_NE(model_tables, nullptr);
	model_permutation_data *permutation = &model_tables->permutations[0];
	const model_permutation_data saved_permutation = *permutation;
	geometry_material *material = &tables->materials[0];
	const geometry_material saved_material = *material;
	permutation->collection_index = collection_index;
	permutation->color_table_index = 0;
	material->sequence_index = _test_slow_sequence;
	sequence_data *sequence = get_sequence(collection_index, _test_slow_sequence);
	ASSERT_NE(sequence, nullptr);
	const int16 saved_ticks = sequence->ticks_per_frame;

	new_surface_list(&list);
	render_model_permutation(&view, region, model_index, 0, 0);
	EXPECT_EQ(material->collection_index, collection_index);
	EXPECT_NE(material->bitmap_index, NONE) << "a power-of-two frame textures the material";
	EXPECT_FALSE(triangles().empty());

	sequence->ticks_per_frame = 0; // read as 1 rather than dividing by zero
	view.tick_count = 5;
	new_surface_list(&list);
	render_model_permutation(&view, region, model_index, 0, 0);
	EXPECT_FALSE(triangles().empty());

	sequence->ticks_per_frame = saved_ticks;
	*permutation = saved_permutation;
	*material = saved_material;
}
