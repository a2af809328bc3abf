// Models: the normal table, loading the hut pair and refusing damaged ones,
// placing and removing models on a test map, segments against them, and the
// hut of the demo map run through the game core.
#include <gtest/gtest.h>

#include <set>

#include "CoreLibrary/cseries/crc.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "collection_references.h"
#include "geometry.h"
#include "model_animations.h"
#include "monsters.h"
#include "objects_content.h"
#include "objects_test_support.h"
#include "support/zerv_harness.h"

namespace {

void put_be16(std::vector<uint8> *bytes, size_t offset, int32 value)
{
	(*bytes)[offset] = static_cast<uint8>(value >> 8);
	(*bytes)[offset + 1] = static_cast<uint8>(value);
}

void put_be32(std::vector<uint8> *bytes, size_t offset, int32 value)
{
	put_be16(bytes, offset, value >> 16);
	put_be16(bytes, offset + 2, value & 0xFFFF);
}

class models_on_a_map : public objects_test_map
{
protected:
	void SetUp() override
	{
		objects_test_map::SetUp();
		std::vector<int32> handles;
		ASSERT_TRUE(make_default_collection_tags(&handles));
		initialize_models();
		start_models(1720);
		reset_monsters_test_hooks();
		reset_model_animations_test_hooks();
	}
	void TearDown() override
	{
		dispose_model_animations_from_old_map();
		dispose_models_from_old_map();
		reset_monsters_test_hooks();
		reset_model_animations_test_hooks();
		objects_test_map::TearDown();
	}

	void start_models(int16 version)
	{
		dispose_models_from_old_map();
		game_play_version = version;
		initialize_models_for_new_map();
	}

	// Loads a 'geom' and a 'mode' of these bytes under subgroup; the model's index or NONE.
	int16 load_pair(file_tag subgroup, const std::vector<uint8> &geometry, const std::vector<uint8> &model,
		int16 geometry_version = GEOMETRY_VERSION_NUMBER, int16 model_version = MODEL_VERSION_NUMBER)
	{
		std::vector<uint8> named_model = model;
		put_be32(&named_model, 4, static_cast<int32>(subgroup));
		if (tag_file_new_with_subgroup_tag(GEOMETRY_GROUP_TAG, tag_to_string(subgroup), subgroup, geometry_version,
				geometry.data(), static_cast<int32>(geometry.size())) == NONE ||
			tag_file_new_with_subgroup_tag(MODEL_GROUP_TAG, tag_to_string(subgroup), subgroup, model_version,
				named_model.data(), static_cast<int32>(named_model.size())) == NONE)
		{
			return NONE;
		}
		return get_model_definition_index(subgroup);
	}

	int16 place(int16 type, world_distance x, world_distance y, world_distance z, angle yaw = HUT_MODEL_YAW)
	{
		new_model_data request = {type, 0, {x, y, z}, yaw, HUT_MODEL_PITCH, NONE};
		return new_model(&request);
	}
};

TEST_F(models_on_a_map, the_normal_table_is_pinned)
{
	ASSERT_EQ(get_precalculated_model_normal_count(), NUMBER_OF_PRECALCULATED_MODEL_NORMALS);
	uint32 crc = 0;
	for (int16 i = 0; i < NUMBER_OF_PRECALCULATED_MODEL_NORMALS; ++i)
	{
		world_vector3d v;
		get_model_normal(i, &v);
		const int16 components[3] = {v.i, v.j, v.k};
		crc = crc32_update(crc, components, sizeof(components));
	}
	EXPECT_EQ(crc, 0xBABDDCABu) << std::hex << crc;
	const world_vector3d up = {0, 0, 16384}, down = {0, 0, -16384};
	EXPECT_EQ(match_precalculated_model_normal(&up), 0);
	EXPECT_EQ(match_precalculated_model_normal(&down), NUMBER_OF_PRECALCULATED_MODEL_NORMALS - 1);
}

TEST_F(models_on_a_map, the_hut_places_marks_deforms_and_goes)
{
	const int16 hut = load_pair(DEFAULT_HUT_MODEL_TAG, hut_geometry_tag_data(), hut_model_tag_data());
	ASSERT_NE(hut, NONE) << log_text();
	for (int32 y = 19; y <= 20; ++y)
	{
		for (int32 x = 19; x <= 20; ++x)
		{
			get_mesh_cell(x, y)->flags = static_cast<uint16>((_terrain_desert << 4) | _terrain_desert);
		}
	}
	const int16 index = place(hut, 20 * 512, 20 * 512, 77);
	ASSERT_NE(index, NONE);
	const model_data *model = get_model_data(index);
	EXPECT_EQ(model->x0, 20);
	EXPECT_EQ(model->x1, 21);
	EXPECT_EQ(model->y0, 20);
	EXPECT_EQ(model->y1, 21);
	EXPECT_EQ(model->destroyed_materials, 0xFFFFFFFFu);
	for (int32 y = 18; y <= 21; ++y)
	{
		for (int32 x = 18; x <= 21; ++x)
		{
			const bool under = x >= 19 && x <= 20 && y >= 19 && y <= 20;
			EXPECT_EQ(get_model_index_from_mesh_cell(x, y), under ? index : NONE) << x << " " << y;
			if (under) { EXPECT_EQ(get_mesh_cell(x, y)->flags & 0xFF, 0xEE); }
		}
	}
	EXPECT_EQ(get_monsters_test_hooks()->impassability_updates, 4);
	// Only the bottom corners on grid vertices pull the terrain.
	EXPECT_EQ(get_mesh_cell(19, 19)->height, 77);
	EXPECT_EQ(get_mesh_cell(21, 21)->height, 77);
	EXPECT_EQ(get_mesh_cell(20, 20)->height, 0);
	world_point2d centre;
	get_model_centerpoint(index, &centre);
	EXPECT_EQ(centre.x, 20 * 512 + 512);
	EXPECT_EQ(model_identifier_to_model_index(model->identifier), index);
	EXPECT_EQ(model_identifier_to_model_index(0), NONE);

	// An overlapping hut changes nothing and says so for each shared cell. An
	// animation holding the slot the refused hut took is told it went (from 1716).
	initialize_model_animations();
	initialize_model_animations_for_new_map();
	model_animation_data *watcher = get_model_animation_data(new_datum(&model_animation_array));
	ASSERT_NE(watcher, nullptr);
	const auto watch_slot = [watcher]() { watcher->current_model_index = model_array.first_free_index; };
	watch_slot();
	EXPECT_EQ(place(hut, 21 * 512, 20 * 512, 0), NONE);
	EXPECT_NE(log_text().find("cell (20, 19) contains more than one model!"), std::string::npos);
	EXPECT_NE(log_text().find("cell (20, 20) contains more than one model!"), std::string::npos);
	EXPECT_EQ(get_model_index_from_mesh_cell(20, 20), index);
	EXPECT_EQ(get_mesh_cell(20, 20)->flags & 0xFF, 0xEE) << "the earlier hut's cells stay marked";
	EXPECT_EQ(get_model_index_from_mesh_cell(21, 20), NONE);
	EXPECT_EQ(get_mesh_cell(21, 20)->flags & 0xFF, (_terrain_grass << 4) | _terrain_grass);
	EXPECT_EQ(watcher->current_model_index, NONE) << "the animation has no model";
	EXPECT_EQ(model_array.total_count, 1);
	game_play_version = 1715;
	watch_slot();
	const int16 slot = watcher->current_model_index;
	EXPECT_EQ(place(hut, 21 * 512, 20 * 512, 0), NONE);
	EXPECT_EQ(watcher->current_model_index, slot) << "before 1716 nothing is told";
	game_play_version = 1720;

	// Removal frees the cells and leaves grass, whatever was there.
	watcher->current_model_index = index;
	delete_model(index);
	EXPECT_EQ(get_model_index_from_mesh_cell(20, 20), NONE);
	EXPECT_EQ(get_mesh_cell(19, 19)->flags & 0xFF, (_terrain_grass << 4) | _terrain_grass);
	EXPECT_EQ(watcher->current_model_index, NONE);

	// Turned an eighth, each covered cell is marked once and the extents grow by at least one.
	reset_monsters_test_hooks();
	const int16 turned = place(hut, 40 * 512, 40 * 512, 0, HUT_MODEL_YAW + 8192);
	ASSERT_NE(turned, NONE);
	std::set<std::pair<int32, int32>> impassable;
	for (int32 y = 36; y <= 44; ++y)
	{
		for (int32 x = 36; x <= 44; ++x)
		{
			if ((get_mesh_cell(x, y)->flags & 0xFF) == 0xEE) impassable.insert({x, y});
		}
	}
	EXPECT_EQ(get_monsters_test_hooks()->impassability_updates, static_cast<int32>(impassable.size()));
	EXPECT_GE(get_model_data(turned)->x1, get_model_data(turned)->x0 + 1);
	EXPECT_GE(get_model_data(turned)->y1, get_model_data(turned)->y0 + 1);

	// A hut over the edge of the mesh touches only cells inside it.
	EXPECT_NE(place(hut, 0, 0, 0), NONE);
	EXPECT_EQ(get_mesh_cell(0, 0)->flags & 0xFF, 0xEE);
}

TEST_F(models_on_a_map, segments_hit_the_hut_and_boxes_clip)
{
	const int16 hut = load_pair(DEFAULT_HUT_MODEL_TAG, hut_geometry_tag_data(), hut_model_tag_data());
	ASSERT_NE(hut, NONE) << log_text();
	const int16 index = place(hut, 20 * 512, 20 * 512, 0);
	ASSERT_NE(index, NONE);
	const world_distance cx = 20 * 512, cy = 20 * 512;

	// Down through the roof.
	world_point3d top = {cx + 100, cy + 100, 600}, bottom = {cx + 100, cy + 100, 400};
	world_vector3d normal;
	int16 struck = NONE;
	ASSERT_TRUE(object_hit_model(&top, &bottom, &normal, &struck, 0));
	EXPECT_EQ(struck, index);
	EXPECT_EQ(bottom.z, 512);
	EXPECT_EQ(normal.k, 16384);
	// A long probe divides both sides by 256 first: near the roof, not exact.
	world_point3d high = {cx + 100, cy + 100, 1000}, deep = {cx + 100, cy + 100, -1000};
	ASSERT_TRUE(object_hit_model_index(index, &high, &deep, &normal, 0));
	EXPECT_NEAR(deep.z, 512, 4);
	// Ending exactly on the roof (t = 512), or starting on it (a plane value of 0), still hits.
	world_point3d on_roof = {cx + 100, cy + 100, 512};
	EXPECT_TRUE(object_hit_model_index(index, &top, &on_roof, &normal, 0));
	world_point3d below = {cx + 100, cy + 100, 300};
	const world_point3d start_on_roof = {cx + 100, cy + 100, 512};
	EXPECT_TRUE(object_hit_model_index(index, &start_on_roof, &below, &normal, 0));
	EXPECT_EQ(below.z, 512);

	// Into the west wall, pushed back out by the radius.
	world_point3d outside = {cx - 700, cy + 50, 100}, inside = {cx - 300, cy + 50, 100};
	ASSERT_TRUE(object_hit_model(&outside, &inside, &normal, &struck, 20));
	EXPECT_NEAR(inside.x, cx - 512 - 20, 1);
	EXPECT_EQ(normal.i, -16384);
	// From 256 inside the wall (a plane value of -0x400000) out through it: the
	// scaled numerator needs 64 bits.
	world_point3d within = {cx - 256, cy + 50, 100}, out = {cx - 700, cy + 50, 100};
	ASSERT_TRUE(object_hit_model_index(index, &within, &out, &normal, 0));
	EXPECT_NEAR(out.x, cx - 512, 1);
	// Cells without a model, and the box test.
	world_point3d far0 = {cx + 3000, cy, 100}, far1 = {cx + 3300, cy, 100};
	EXPECT_FALSE(object_hit_model(&far0, &far1, &normal, &struck, 0));
	EXPECT_FALSE(intersects_with_model_bounding_box(index, &far0, &far1));
	// Far beyond a face the clip divides both sides down first, and still refuses.
	const world_point3d beyond0 = {cx + 512 + 32768, cy, 100}, beyond1 = {cx + 512 + 32768 + 1000, cy, 100};
	EXPECT_FALSE(intersects_with_model_bounding_box(index, &beyond0, &beyond1));
	EXPECT_TRUE(intersects_with_model_bounding_box(index, &top, &on_roof));

	// The line of fire: blocked by the hut, clear beside it; the chosen test survives force_old_way.
	const world_point3d archer = {cx - 3000, cy, 100}, target = {cx + 3000, cy, 100};
	boolean near_blocked, far_blocked;
	const point_in_surface_triangle_proc chosen = get_point_in_surface_triangle_proc();
	check_for_model_obstruction(&archer, &target, 0, &near_blocked, &far_blocked, TRUE);
	EXPECT_EQ(get_point_in_surface_triangle_proc(), chosen);
	const world_point3d close_archer = {cx - 1000, cy, 100}, close_target = {cx + 1500, cy, 100};
	check_for_model_obstruction(&close_archer, &close_target, 0, &near_blocked, &far_blocked, FALSE);
	EXPECT_TRUE(near_blocked);
	EXPECT_TRUE(far_blocked);
	// Half of pitch 32768 lands on a cosine of 0: the rise saturates instead of dividing by it.
	check_for_model_obstruction(&archer, &target, 32768, &near_blocked, &far_blocked, FALSE);
	EXPECT_FALSE(near_blocked) << "a line rising without end passes over the hut";
	EXPECT_FALSE(far_blocked);
	const world_point3d beside0 = {cx - 1000, cy + 2000, 100}, beside1 = {cx + 1000, cy + 2000, 100};
	check_for_model_obstruction(&beside0, &beside1, 0, &near_blocked, &far_blocked, FALSE);
	EXPECT_FALSE(near_blocked);

	// 2D clipping.
	world_point2d clip;
	const world_point2d a = {50, 50};
	EXPECT_EQ(clip_line_to_box(100, 300, 0, 100, &a, &a, &clip), NONE);
	const world_point2d b = {250, 50};
	EXPECT_EQ(clip_line_to_box(100, 300, 0, 100, &a, &b, &clip), _clip_x);
	EXPECT_EQ(clip.x, 100);
	const world_point2d c = {150, -100}, d = {150, 300};
	EXPECT_EQ(clip_line_to_box(100, 300, 1, 100, &c, &d, &clip), _clip_y);
	EXPECT_EQ(clip.y, 0); // one short of the face, within the tolerance
	const world_point2d e = {500, 50};
	EXPECT_EQ(clip_line_to_box(100, 300, 0, 100, &e, &b, &clip), _clip_x);
	EXPECT_EQ(clip.x, 300);
	const world_point2d f = {50, 500}, g = {60, 600};
	EXPECT_EQ(clip_line_to_box(100, 300, 0, 100, &f, &g, &clip), NONE);
}

TEST_F(models_on_a_map, moving_objects_strike_the_hut)
{
	const int16 hut = load_pair(DEFAULT_HUT_MODEL_TAG, hut_geometry_tag_data(), hut_model_tag_data());
	ASSERT_NE(place(hut, 20 * 512, 20 * 512, 0), NONE);
	object_definition flying = *get_default_object_definition();
	flying.gravity = 0;
	const int16 type = new_definition(get_object_definitions(), TAG("fly "), &flying);
	const int16 arrow = make_object(20 * 512 - 560, 20 * 512 + 100, 200, false, 8);
	object_data *object = get_object_data(arrow);
	object->type = type;
	object->location.velocity = {100, 0, 0};
	const uint32 result = move_object(arrow);
	EXPECT_TRUE(result & _object_struck_ground_flag);
	EXPECT_LT(object->location.position.x, 20 * 512 - 512);
	// A wall is steeper than the friction limit: elasticity 128 rises to 192.
	EXPECT_EQ(object->location.velocity.i, -75);
	// Models are not struck by what ignores them.
	flying.flags |= _ignore_model_and_object_collisions_flag;
	object->type = new_definition(get_object_definitions(), TAG("efct"), &flying);
	object->location.position = {20 * 512 - 560, 20 * 512 + 100, 200};
	object->location.velocity = {100, 0, 0};
	EXPECT_FALSE(move_object(arrow) & _object_struck_ground_flag);
	EXPECT_EQ(object->location.position.x, 20 * 512 - 460);
}

TEST_F(models_on_a_map, markers_place_models_with_their_identifiers)
{
	ASSERT_NE(load_pair(DEFAULT_HUT_MODEL_TAG, hut_geometry_tag_data(), hut_model_tag_data()), NONE);
	dispose_models_from_old_map();
	dispose_objects_from_old_map();
	map.palette = {test_palette_entry(_marker_model, DEFAULT_HUT_MODEL_TAG, 0)};
	marker_data good = test_marker(_marker_model, 77), bad = test_marker(_marker_model, 78);
	good.location.position = {20 * 512, 20 * 512, 0};
	good.location.yaw = HUT_MODEL_YAW;
	good.location.pitch = HUT_MODEL_PITCH;
	bad.location = good.location;
	bad.location.position = {40 * 512, 40 * 512, 0};
	const int16 out_of_range = 5;
	memcpy(bad.user_data, &out_of_range, sizeof(out_of_range));
	map.markers = {good, bad};
	ASSERT_TRUE(map.load());
	initialize_models_for_new_map();
	initialize_objects_for_new_map();
	initialize_markers_for_new_map();
	add_markers_to_new_map();

	const marker_palette_entry *entry = get_marker_palette_entry(_marker_model, 0);
	EXPECT_EQ(entry->team_index, NONE);
	EXPECT_EQ(entry->count, 1);
	EXPECT_EQ(model_array.total_count, 1);
	const marker_data *placed = get_marker_by_identifier(_marker_model, 77);
	ASSERT_NE(placed, nullptr);
	ASSERT_NE(placed->data_index, NONE);
	EXPECT_EQ(get_model_data(placed->data_index)->identifier, 77);
	EXPECT_EQ(model_identifier_to_model_index(77), placed->data_index);
	EXPECT_EQ(get_marker_by_identifier(_marker_model, 78)->data_index, NONE);
	EXPECT_NE(log_text().find("names permutation #5"), std::string::npos);
	EXPECT_EQ(get_model_index_from_mesh_cell(40, 40), NONE);
}

TEST_F(models_on_a_map, the_triangle_test_follows_the_version)
{
	start_models(1700);
	EXPECT_EQ(get_point_in_surface_triangle_proc(), point_in_surface_triangle_old);
	start_models(1701);
	EXPECT_EQ(get_point_in_surface_triangle_proc(), point_in_surface_triangle);

	// Both agree on the hut's roof triangles.
	const int16 hut = load_pair(DEFAULT_HUT_MODEL_TAG, hut_geometry_tag_data(), hut_model_tag_data());
	ASSERT_NE(hut, NONE);
	const geometry_tables *tables = get_geometry_tables(get_model_definition(hut)->geometry_index);
	ASSERT_NE(tables, nullptr);
	for (int16 s = 0; s < 10; ++s)
	{
		const geometry_surface *surface = &tables->surfaces[s];
		world_point3d centroid = {0, 0, 0};
		for (int c = 0; c < 3; ++c)
		{
			const short_world_point3d &v = tables->vertices[surface->corners[c].vertex_index].point;
			centroid.x += v.x / 3;
			centroid.y += v.y / 3;
			centroid.z += v.z / 3;
		}
		EXPECT_TRUE(point_in_surface_triangle(surface, tables->vertices, &centroid)) << s;
		EXPECT_TRUE(point_in_surface_triangle_old(surface, tables->vertices, &centroid)) << s;
		const world_point3d outside = {centroid.x + 5000, centroid.y + 5000, centroid.z + 5000};
		EXPECT_FALSE(point_in_surface_triangle(surface, tables->vertices, &outside)) << s;
	}
}

TEST_F(models_on_a_map, damaged_definitions_are_refused_with_their_line)
{
	const std::vector<uint8> geometry = hut_geometry_tag_data(), model = hut_model_tag_data();
	const size_t surfaces = 128 + 112;
	struct damage
	{
		bool in_geometry;
		size_t offset;
		int32 value;
		bool wide;
		const char *line;
	} damages[] = {
		{true, 8, 33, false, "bad material_count"},
		{true, 10, 2049, false, "bad vertex_count"},
		{true, 12, 513, false, "bad surface_count"},
		{true, 56, 64, true, "bad surface table"},
		{true, 52, 0x7FFFFFF0, true, "bad surface table"},
		{true, surfaces + 32, 8, false, "bad vertex_index"},
		{true, surfaces + 26, 1, false, "bad material_index"},
		{true, surfaces + 52, 10, false, "bad surface link"},
		{true, 80, 100000, true, "bad data block"},
		{false, 14, 129, false, "bad model_cell_count"},
		{false, 12, 0, false, "bad model_permutation_count"},
		{false, 10, 7, false, "bad model_geometry_vertex_count"},
		{false, 44, 16, true, "bad cell table"},
		{false, 16, -4, true, "bad vertex flag table"},
	};
	int32 n = 0;
	for (const damage &d : damages)
	{
		start_models(1720);
		std::vector<uint8> g = geometry, m = model;
		std::vector<uint8> *target = d.in_geometry ? &g : &m;
		if (d.wide) put_be32(target, d.offset, d.value);
		else put_be16(target, d.offset, d.value);
		const file_tag subgroup = static_cast<file_tag>(TAG("dm00") + n++);
		EXPECT_EQ(load_pair(subgroup, g, m), NONE) << d.line;
		EXPECT_NE(log_text().find(d.line), std::string::npos) << d.line;
	}
	start_models(1720);
	EXPECT_EQ(load_pair(TAG("ver2"), geometry, model, 2), NONE);
	start_models(1720);
	EXPECT_EQ(load_pair(TAG("ver3"), geometry, model, GEOMETRY_VERSION_NUMBER, 3), NONE);
	start_models(1720);
	EXPECT_NE(load_pair(TAG("good"), geometry, model), NONE);
	const geometry_definition *hut_geometry = get_geometry_definition(geometry_definition_tag_to_index(TAG("good")));
	ASSERT_NE(hut_geometry, nullptr);
	EXPECT_EQ(get_geometry_tables(geometry_definition_tag_to_index(TAG("good")))->dependency_list, nullptr);
	// A geometry whose collection reference has no permutations gives no model, and says so.
	{
		const model_definition *good = get_model_definition(get_model_definition_index(TAG("good")));
		ASSERT_NE(good, nullptr);
		collection_reference *reference =
			get_collection_reference(get_geometry_definition(good->geometry_index)->collection_reference_index);
		ASSERT_NE(reference, nullptr);
		const int16 permutations = reference->number_of_permutations;
		reference->number_of_permutations = 0;
		reset_error_state();
		const int16 refused = load_pair(TAG("perm"), geometry, model);
		reference->number_of_permutations = permutations;
		EXPECT_EQ(refused, NONE);
		EXPECT_EQ(get_error_code(), _error_data_corrupted);
		EXPECT_NE(log_text().find("has a bad geometry collection reference."), std::string::npos);
		reset_error_state();
	}

	// The same pair loads from memory, and damage there is refused the same way.
	std::vector<uint8> in_memory = model;
	put_be32(&in_memory, 4, static_cast<int32>(TAG("mem ")));
	EXPECT_NE(new_geometry_definition_from_tag_data(TAG("mem "), geometry.data(), static_cast<int32>(geometry.size())), NONE);
	EXPECT_NE(new_model_definition_from_tag_data(TAG("mem "), in_memory.data(), static_cast<int32>(in_memory.size())), NONE);
	put_be16(&in_memory, 14, 129);
	EXPECT_EQ(new_model_definition_from_tag_data(TAG("mem2"), in_memory.data(), static_cast<int32>(in_memory.size())), NONE);
	EXPECT_EQ(new_model_definition_from_tag_data(TAG("mem3"), in_memory.data(), 40), NONE);

	// A block outside the bytes is refused with its line and leaves no definition behind.
	std::vector<uint8> outside = geometry;
	put_be32(&outside, 80, 100000);
	const int16 count = get_geometry_definitions()->count;
	reset_error_state();
	EXPECT_EQ(new_geometry_definition_from_tag_data(TAG("mem4"), outside.data(), static_cast<int32>(outside.size())), NONE);
	EXPECT_EQ(get_error_code(), _error_data_corrupted);
	EXPECT_NE(log_text().find("geometry mem4 has a bad data block"), std::string::npos);
	EXPECT_EQ(get_geometry_definitions()->count, count);
	EXPECT_EQ(geometry_definition_tag_to_index(TAG("mem4")), NONE);
	reset_error_state();
}

TEST_F(models_on_a_map, a_mutation_sweep_over_the_hut_never_crashes)
{
	const std::vector<uint8> geometry = hut_geometry_tag_data(), model = hut_model_tag_data();
	int32 n = 0;
	for (size_t i = 0; i < geometry.size() + model.size(); i += 3)
	{
		start_models(1720);
		std::vector<uint8> g = geometry, m = model;
		uint8 &byte = i < geometry.size() ? g[i] : m[i - geometry.size()];
		byte ^= static_cast<uint8>(0x80 | (i & 0x7F));
		const int16 type = load_pair(static_cast<file_tag>(TAG("mu00") + n++), g, m);
		if (type == NONE) continue;
		const int16 index = place(type, 30 * 512, 30 * 512, 0);
		world_point3d p0 = {30 * 512 - 900, 30 * 512 + 100, 100}, p1 = {30 * 512 + 900, 30 * 512 + 100, 100};
		world_vector3d normal;
		int16 struck;
		object_hit_model(&p0, &p1, &normal, &struck, 10);
		if (index != NONE) delete_model(index);
	}
}

class models_harness : public zerv_harness_fixture {};

TEST_F(models_harness, the_demo_hut_stands_and_replays_the_same)
{
	std::vector<harness_digest_entry> trails[2];
	for (int run = 0; run < 2; ++run)
	{
		new_game_data setup;
		harness_demo_setup(&setup);
		ASSERT_TRUE(harness_start_map(&setup));
		ASSERT_EQ(model_array.total_count, 2) << "the hut and the cottage by the lake";
		ASSERT_NE(get_model_data(0), nullptr);
		ASSERT_NE(get_model_data(1), nullptr);
		const int16 hut = get_model_data(0)->type == get_model_definition_index(TAG("hut ")) ? 0 : 1;
		const model_data *cottage = get_model_data(static_cast<int16>(1 - hut));
		EXPECT_EQ(cottage->type, get_model_definition_index(TAG("cott")));
		EXPECT_EQ(cottage->x0, 20);
		EXPECT_EQ(cottage->y0, 50);
		const model_data *model = get_model_data(hut);
		EXPECT_EQ(model->x0, 32);
		EXPECT_EQ(model->x1, 33);
		EXPECT_EQ(model->y0, 48);
		EXPECT_EQ(model->y1, 49);
		scan_markers_state state;
		new_scan_markers_state(&state, _marker_model, 0, NONE); // the hut's palette row
		const marker_data *marker = scan_markers(&state);
		ASSERT_NE(marker, nullptr);
		EXPECT_EQ(marker->data_index, hut);
		EXPECT_EQ(model->identifier, marker->identifier);
		for (int32 y = 47; y <= 48; ++y)
		{
			for (int32 x = 31; x <= 32; ++x)
			{
				EXPECT_EQ(get_model_index_from_mesh_cell(x, y), hut);
				EXPECT_EQ(get_mesh_cell(x, y)->flags & 0xFF, 0xEE);
			}
		}
		static const int32 corners[][2] = {{31, 47}, {33, 47}, {31, 49}, {33, 49}};
		for (const auto &c : corners)
		{
			EXPECT_EQ(get_mesh_cell(c[0], c[1])->height, marker->location.position.z);
		}
		EXPECT_EQ(harness_run_ticks(600), 600);
		trails[run] = harness_digest_trail();
		harness_end_map();
	}
	ASSERT_EQ(trails[0].size(), trails[1].size());
	for (size_t i = 0; i < trails[0].size(); ++i) ASSERT_EQ(trails[0][i].digest, trails[1][i].digest) << i;
	EXPECT_TRUE(harness_write_test_digest_trail(trails[0]));
}

} // namespace
