// Objects and local sprites into surfaces over a small test map, seen by a
// hand-made view looking along +x; selection frames and bars; transfer modes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "game_preferences.h"
#include "game_statistics.h"
#include "input/actions.h"
#include "interface.h"
#include "monsters.h"
#include "object_definitions.h"
#include "objects_test_support.h"
#include "overhead_map.h"
#include "players.h"
#include "render/render.h"
#include "render/render_objects.h"
#include "bitmap_text.h"
#include "fonts_content.h"
#include "default_tags.h"
#include "CoreLibrary/zerv/string_definitions.h"
#include "zerv.h"
#include "bitmaps.h"
#include "memory.h"
#include "support/render_views.h"

namespace {

// Viewer space: x = world dy, y = world dz, depth = -world dx.
void make_view(view_data *view, bitmap_data *screen, render_surface_list *list, const world_point3d &eye)
{
	memset(view, 0, sizeof(*view));
	view->screen = screen;
	view->screen_width = 640;
	view->screen_height = 480;
	view->xk = 320;
	view->yk = 240;
	view->world_to_screen_x = view->world_to_screen_y = 320;
	view->location.position = eye;
	view->world_to_viewer_rotation.n[1][0] = 16384;
	view->world_to_viewer_rotation.n[2][1] = 16384;
	view->world_to_viewer_rotation.n[0][2] = -16384;
	view->main_surface_list = list;
}

render_unit_data test_unit;
boolean answer_test_unit(int16, render_unit_data *data)
{
	*data = test_unit;
	return TRUE;
}

class render_objects : public objects_test_map
{
protected:
	void SetUp() override
	{
		objects_test_map::SetUp();
		initialize_render();
		render_scene(NULL);
		reset_render_objects_test_hooks();
		reset_overhead_map_test_hooks();
		saved_game = game;
		memset(&game_record, 0, sizeof(game_record));
		game_record.type = _game_type_local;
		game_record.scoring = NONE;
		game = &game_record;
		saved_team = player_globals.local_player_team_index;
		player_globals.local_player_team_index = 0;
		initialize_object_definitions();
		new_surface_list(&list);
		make_view(&view, nullptr, &list, {0, 1000, 64});
		region = full_region();
		memset(&test_unit, 0, sizeof(test_unit));
		test_unit.team_index = 0;
		test_unit.relation = _unit_relation_owned;
		test_unit.overhead_text_index = NONE;
		test_unit.monster_class = _monster_class_melee;
		test_unit.controllable = TRUE;
	}
	void TearDown() override
	{
		visibility_front_buffer = nullptr;
		game = saved_game;
		player_globals.local_player_team_index = saved_team;
		reset_render_objects_test_hooks();
		reset_overhead_map_test_hooks();
		initialize_local_sprites_for_new_map();
		dispose_object_definitions_from_old_map();
		objects_test_map::TearDown();
	}

	mesh_region *full_region(void)
	{
		mesh_region *r = static_cast<mesh_region *>(render_malloc(sizeof(mesh_region)));
		memset(r, 0, sizeof(*r));
		r->y0 = 0;
		r->y1 = static_cast<int16>(map.height());
		r->x1 = static_cast<int16>(map.width());
		r->spans = static_cast<mesh_span *>(render_malloc(map.height() * sizeof(mesh_span)));
		for (int32 row = 0; row < map.height(); ++row) r->spans[row] = {0, static_cast<int16>(map.width())};
		return r;
	}

	std::vector<render_surface *> surfaces(int16 subtype) const
	{
		std::vector<render_surface *> found;
		for (render_surface *s = list.first_surface; s; s = s->next_surface)
		{
			if (surface_subtype(s) == subtype) found.push_back(s);
		}
		return found;
	}

	// A walking object 200 units in front of the eye.
	int16 front_object(void)
	{
		const int16 index = make_object(200, 1000, 0, false);
		set_object_shape(index, _test_walking_sequence, 256, _transfer_mode_none, 0, 0, FALSE);
		return index;
	}

	int16 selectable_type(uint16 flags)
	{
		object_definition definition = {};
		definition.flags = flags;
		return new_definition(get_object_definitions(), TAG("selb"), &definition);
	}

	void build(void)
	{
		new_surface_list(&list);
		build_objects_surface_list(&view, region);
	}

	game_data game_record;
	game_data *saved_game = nullptr;
	int16 saved_team = NONE;
	render_surface_list list;
	view_data view;
	mesh_region *region = nullptr;
};

}

TEST_F(render_objects, visibility_decides_drawing_and_transparency)
{
	const int16 index = front_object();
	object_data *object = get_object_data(index);
	build();
	ASSERT_EQ(surfaces(_surface_subtype_object_rectangle).size(), 1u) << "no buffer: every cell seen closely";
	EXPECT_EQ(surfaces(_surface_subtype_object_rectangle)[0]->transparency, 0);

	std::vector<uint32> buffer(map.width() * map.height() / 16, 0);
	visibility_front_buffer = buffer.data();
	object->flags |= _object_respects_monster_visibility_flag;
	build();
	EXPECT_TRUE(surfaces(_surface_subtype_object_rectangle).empty()) << "unseen cell";
	const int32 cell = 1 * map.width() + 0;
	buffer[cell >> 4] = _visibility_flag << ((cell & 15) * 2);
	build();
	ASSERT_EQ(surfaces(_surface_subtype_object_rectangle).size(), 1u);
	EXPECT_EQ(surfaces(_surface_subtype_object_rectangle)[0]->transparency, 32768) << "seen far only: half way";
	buffer[cell >> 4] = (_visibility_flag | _close_visibility_flag) << ((cell & 15) * 2);
	object->flags |= _object_is_rendered_transparently_flag;
	build();
	EXPECT_EQ(surfaces(_surface_subtype_object_rectangle)[0]->transparency, 32768) << "rendered transparently";
	object->flags &= ~_object_is_rendered_transparently_flag;
	build();
	EXPECT_EQ(surfaces(_surface_subtype_object_rectangle)[0]->transparency, 0);

	// Flags ignore the buffer, except in scavenger hunts from 1511.
	buffer.assign(buffer.size(), 0);
	object->owner = _object_is_flag;
	build();
	EXPECT_EQ(surfaces(_surface_subtype_object_rectangle).size(), 1u);
	game_record.scoring = _game_scoring_scavenger_hunt;
	build();
	EXPECT_TRUE(surfaces(_surface_subtype_object_rectangle).empty());
	game_play_version = 1510;
	build();
	EXPECT_EQ(surfaces(_surface_subtype_object_rectangle).size(), 1u);

	object->flags |= _object_is_invisible_flag;
	build();
	EXPECT_TRUE(surfaces(_surface_subtype_object_rectangle).empty());
	object->flags &= ~_object_is_invisible_flag;
	object->flags |= _object_is_not_rendered_flag;
	build();
	EXPECT_TRUE(surfaces(_surface_subtype_object_rectangle).empty());

	// Cells off the mesh read as unseen; a region reaching past the map draws nothing there.
	region->spans[1] = {-4, 0};
	object->flags &= ~_object_is_not_rendered_flag;
	build();
	EXPECT_TRUE(surfaces(_surface_subtype_object_rectangle).empty());
}

TEST_F(render_objects, rectangles_cut_near_and_off_screen_and_mirror)
{
	const int16 index = front_object();
	object_data *object = get_object_data(index);
	object->location.position.z = 64;
	build();
	ASSERT_EQ(surfaces(_surface_subtype_object_rectangle).size(), 1u);
	const render_rectangle *rectangle =
		reinterpret_cast<const render_rectangle *>(surfaces(_surface_subtype_object_rectangle)[0]);
	EXPECT_LT(rectangle->geometry.x0, rectangle->geometry.x1);
	EXPECT_LT(rectangle->geometry.y0, rectangle->geometry.y1);
	EXPECT_EQ(rectangle->object_index, index);
	EXPECT_EQ(rectangle->surface.precise_z, -200 * 16384);

	object->location.position.x = 34; // depth -34
	build();
	EXPECT_TRUE(surfaces(_surface_subtype_object_rectangle).empty());
	object->location.position.x = 35;
	build();
	EXPECT_EQ(surfaces(_surface_subtype_object_rectangle).size(), 1u);
	object->location.position = {200, 1000 + 2000, 64}; // far right of the screen
	build();
	EXPECT_TRUE(surfaces(_surface_subtype_object_rectangle).empty());
	object->location.position = {200, 1000, 64};
	object->scale = 0;
	build();
	EXPECT_TRUE(surfaces(_surface_subtype_object_rectangle).empty()) << "zero size";
	object->scale = 256;

	object->flags |= _object_is_horizontally_mirrored_flag;
	build();
	ASSERT_EQ(surfaces(_surface_subtype_object_rectangle).size(), 1u);
	EXPECT_TRUE(surface_flags(surfaces(_surface_subtype_object_rectangle)[0]) & _surface_mirror_horizontal_flag);
}

TEST_F(render_objects, reflections_take_permutations_and_skip_surface_effect_copies)
{
	const int16 index = front_object();
	object_data *object = get_object_data(index);
	const int16 expected[] = {3, 5, 6, 3};
	for (int16 permutation = 0; permutation < 4; ++permutation)
	{
		object->color_table_permutation = static_cast<uint8>(permutation);
		new_surface_list(&list);
		build_render_object(&view, region, TRUE, TRUE, FALSE, object, index);
		const std::vector<render_surface *> found = surfaces(_surface_subtype_object_rectangle);
		ASSERT_EQ(found.size(), 1u);
		const render_rectangle *rectangle = reinterpret_cast<const render_rectangle *>(found[0]);
		EXPECT_EQ(bitmap_identifier_permutation(rectangle->texture), expected[permutation]);
		EXPECT_TRUE(surface_flags(found[0]) & _surface_reflection_flag);
	}
	// No selection surfaces in reflections.
	object->flags |= _object_is_selected_flag;
	object->type = selectable_type(_draw_selection_box_flag | _draw_vitality_box_flag);
	new_surface_list(&list);
	build_render_object(&view, region, TRUE, TRUE, FALSE, object, index);
	EXPECT_TRUE(surfaces(_surface_subtype_filled_rectangle).empty());
	new_surface_list(&list);
	build_render_object(&view, region, FALSE, TRUE, FALSE, object, index);
	EXPECT_FALSE(surfaces(_surface_subtype_filled_rectangle).empty());
}

TEST_F(render_objects, transfer_modes_by_value)
{
	struct row
	{
		int16 mode;
		uint16 phase;
		int32 transparency; // -1: unchanged and opaque
	};
	const row rows[] = {
		{0, 0, -1}, {0, 30000, -1}, {0, 65535, -1},
		{1, 0, 0}, {1, 30000, 30000}, {1, 65535, 65535},
		{2, 0, 65535}, {2, 30000, 35535}, {2, 65535, 0},
		{3, 0, -1}, {3, 30000, -1}, {3, 65535, -1},
		{4, 0, -1}, {4, 30000, -1}, {4, 65535, -1},
		{5, 0, 65535}, {5, 30000, 50535}, {5, 65535, 32768},
		{6, 0, 32768}, {6, 30000, 47768}, {6, 65535, 65535},
		{7, 0, 32767}, {7, 16384, 32767 + 16384}, {7, 49152, 32767 - 16384},
		{8, 30000, -1}, {9, 30000, -1}, {13, 30000, -1}, {32767, 30000, -1}, {-1, 30000, -1}, {-7, 30000, -1}};
	for (const row &r : rows)
	{
		render_rectangle rectangle;
		memset(&rectangle, 0, sizeof(rectangle));
		affect_rectangle_transfer_mode(&rectangle, r.mode, r.phase);
		if (r.transparency < 0)
		{
			EXPECT_EQ(rectangle.surface.transparency, 0) << r.mode;
			EXPECT_FALSE(surface_flags(&rectangle.surface) & _surface_transparent_flag) << r.mode;
			continue;
		}
		EXPECT_EQ(rectangle.surface.transparency, r.transparency) << r.mode << " " << r.phase;
		EXPECT_TRUE(surface_flags(&rectangle.surface) & _surface_transparent_flag);
	}

	// A shape with period 0 renders as period 1.
	const int16 index = front_object();
	object_data *object = get_object_data(index);
	object->transfer_mode = 1;
	object->transfer_period = 0;
	object->transfer_phase = 1;
	object_render_data data;
	get_object_render_data(&data, &view.location.position, index);
	EXPECT_EQ(data.transfer_phase, 65535);
}

TEST_F(render_objects, local_sprites_fill_fade_and_empty)
{
	initialize_local_sprites_for_new_map();
	const world_point3d spot = {200, 1000, 0};
	for (int32 i = 0; i < MAXIMUM_LOCAL_SPRITES + 1; ++i) new_local_sprite(&spot, collection_index, _test_walking_sequence);
	EXPECT_EQ(local_sprite_globals->count, MAXIMUM_LOCAL_SPRITES) << "the 127th is ignored";
	build();
	EXPECT_EQ(surfaces(_surface_subtype_object_rectangle).size(), static_cast<size_t>(MAXIMUM_LOCAL_SPRITES));

	game_record.local_time = 100;
	remove_local_sprites(_remove_local_sprites_delayed);
	remove_local_sprites(_remove_local_sprites_immediately);
	EXPECT_EQ(local_sprite_globals->count, MAXIMUM_LOCAL_SPRITES) << "immediate removal waits for the delayed one";
	game_record.local_time = 107;
	build();
	EXPECT_EQ(surfaces(_surface_subtype_object_rectangle).size(), static_cast<size_t>(MAXIMUM_LOCAL_SPRITES));
	game_record.local_time = 108;
	build();
	EXPECT_TRUE(surfaces(_surface_subtype_object_rectangle).empty());

	new_local_sprite(&spot, collection_index, _test_walking_sequence);
	EXPECT_EQ(local_sprite_globals->count, 1) << "a new sprite during the fade empties the table";
	EXPECT_EQ(local_sprite_globals->fade_out_start_time, -1);
	remove_local_sprites(_remove_local_sprites_immediately);
	EXPECT_EQ(local_sprite_globals->count, 0);
}

TEST_F(render_objects, selection_frames_colours_and_widths)
{
	const int16 index = front_object();
	object_data *object = get_object_data(index);
	object->type = selectable_type(_draw_selection_box_flag);
	const short_world_point3d position = {0, 0, -200};
	auto frame = [&](void) {
		new_surface_list(&list);
		add_selection_surfaces_to_buckets(&view, index, &position, -200 * 16384, 100, 100, 120, 150, -32768, 32767,
			SELECTION_SURFACE_TRANSPARENCY, TRUE);
		std::vector<render_filled_rectangle *> found;
		for (render_surface *s : surfaces(_surface_subtype_filled_rectangle))
		{
			found.push_back(reinterpret_cast<render_filled_rectangle *>(s));
			EXPECT_TRUE(surface_flags(s) & _surface_precise_z_flag);
			EXPECT_EQ(s->precise_z, -200 * 16384);
		}
		return found;
	};
	auto box = [](const render_filled_rectangle *r) {
		return std::vector<int16>{r->geometry.x0, r->geometry.y0, r->geometry.x1, r->geometry.y1};
	};
	std::vector<render_filled_rectangle *> sides = frame();
	ASSERT_EQ(sides.size(), 4u);
	EXPECT_EQ(box(sides[0]), (std::vector<int16>{100, 100, 120, 101}));
	EXPECT_EQ(box(sides[1]), (std::vector<int16>{100, 149, 120, 150}));
	EXPECT_EQ(box(sides[2]), (std::vector<int16>{100, 101, 101, 149}));
	EXPECT_EQ(box(sides[3]), (std::vector<int16>{119, 101, 120, 149}));
	EXPECT_EQ(sides[0]->color.red, 65535) << "not a unit: white";
	EXPECT_EQ(sides[0]->surface.transparency, SELECTION_SURFACE_TRANSPARENCY);

	get_game_preferences()->flags |= _game_pref_qel_selection_boxes_flag;
	sides = frame();
	get_game_preferences()->flags &= ~_game_pref_qel_selection_boxes_flag;
	EXPECT_EQ(box(sides[0]), (std::vector<int16>{100, 100, 120, 102}));
	EXPECT_EQ(box(sides[3]), (std::vector<int16>{118, 102, 120, 148}));

	// Units, by relation.
	object->owner = _object_is_monster;
	get_render_objects_test_hooks()->unit_data = answer_test_unit;
	struct relation_case
	{
		int16 relation;
		boolean berserk, ambient, targetable, hunted;
		int16 scoring;
		uint16 red, green;
	};
	const relation_case cases[] = {
		{_unit_relation_owned, FALSE, FALSE, FALSE, FALSE, NONE, 0, 65535},
		{_unit_relation_owned, TRUE, FALSE, FALSE, FALSE, NONE, 65535, 65535},
		{_unit_relation_friendly, FALSE, FALSE, FALSE, FALSE, NONE, 65535, 65535},
		{_unit_relation_unfriendly, FALSE, FALSE, FALSE, FALSE, NONE, 65535, 0},
		{_unit_relation_unfriendly, FALSE, TRUE, FALSE, FALSE, NONE, 65535, 65535},
		{_unit_relation_owned, FALSE, TRUE, TRUE, FALSE, NONE, 65535, 0},
		{_unit_relation_owned, FALSE, FALSE, FALSE, TRUE, NONE, 0, 65535},
		{_unit_relation_owned, FALSE, FALSE, FALSE, TRUE, _game_scoring_hunting, 65535, 0}};
	for (const relation_case &c : cases)
	{
		test_unit.relation = c.relation;
		test_unit.berserk_or_confused = c.berserk;
		test_unit.ambient_life = c.ambient;
		test_unit.targetable_if_ambient = c.targetable;
		test_unit.hunted = c.hunted;
		game_record.scoring = c.scoring;
		sides = frame();
		ASSERT_EQ(sides.size(), 4u);
		EXPECT_EQ(sides[0]->color.red, c.red) << c.relation << c.berserk << c.ambient << c.hunted;
		EXPECT_EQ(sides[0]->color.green, c.green) << c.relation << c.berserk << c.ambient << c.hunted;
	}

	// The orange frame: special units, two scorings, the local team unless replaying.
	test_unit = {};
	test_unit.team_index = 0;
	test_unit.overhead_text_index = NONE;
	test_unit.netgame_target = TRUE;
	game_record.scoring = _game_scoring_assassination;
	EXPECT_EQ(frame().size(), 8u);
	EXPECT_EQ(frame()[4]->surface.transparency, 0);
	EXPECT_EQ(frame()[4]->color.green, 32767);
	test_unit.team_index = 1;
	EXPECT_EQ(frame().size(), 4u);
	game_record.type = _game_type_replay;
	EXPECT_EQ(frame().size(), 8u);
	game_record.scoring = _game_scoring_king_of_the_hill;
	EXPECT_EQ(frame().size(), 4u);
}

TEST_F(render_objects, vitality_and_mana_bars)
{
	const int16 index = front_object();
	object_data *object = get_object_data(index);
	object->type = selectable_type(_draw_vitality_box_flag);
	const short_world_point3d position = {0, 0, -200};
	auto bars = [&](void) {
		new_surface_list(&list);
		add_selection_surfaces_to_buckets(&view, index, &position, 0, 100, 100, 120, 206, -32768, 32767, 0, FALSE);
		std::vector<std::vector<int32>> found;
		for (render_surface *s : surfaces(_surface_subtype_filled_rectangle))
		{
			const render_filled_rectangle *r = reinterpret_cast<const render_filled_rectangle *>(s);
			found.push_back({r->geometry.x0, r->geometry.y0, r->geometry.x1, r->geometry.y1, r->color.green});
		}
		return found;
	};
	// H = 100; half vitality: 50 filled, 50 empty, capped top and bottom.
	object->height0 = 0;
	object->height1 = 10;
	object->maximum_vitality = 256;
	object->vitality = 128;
	std::vector<std::vector<int32>> pieces = bars();
	ASSERT_EQ(pieces.size(), 3u);
	const int32 step = 10; // 32768 × 21 >> 16
	EXPECT_EQ(pieces[0], (std::vector<int32>{122, 154, 128, 206, 65535 * step / 21}));
	EXPECT_EQ(pieces[1], (std::vector<int32>{122, 104, 128, 154, 65535 * step / 21 / 2}));
	EXPECT_EQ(pieces[2], (std::vector<int32>{122, 102, 128, 104, 65535 * step / 21}));

	// A weak tall unit: maximum 256 against 2 × 400: the bar scales by 256 / 800.
	object->height1 = 400;
	pieces = bars();
	ASSERT_EQ(pieces.size(), 3u);
	EXPECT_EQ(pieces[0][1], 206 - (15 + 2)) << "filled: 10485 × 100 >> 16";
	EXPECT_EQ(pieces[1][3] - pieces[1][1], 31 - 15) << "full: 20971 × 100 >> 16";

	// Maximum 0 on a flat unit: the fraction is 1 and nothing is filled.
	object->height1 = 0;
	object->maximum_vitality = 0;
	pieces = bars();
	ASSERT_EQ(pieces.size(), 3u);
	EXPECT_EQ(pieces[0][3] - pieces[0][1], 2);
	EXPECT_EQ(pieces[1][3] - pieces[1][1], 100);

	// Mana: blue, above the box, a fraction of its width; the enemy rule.
	object->type = selectable_type(0);
	object->owner = _object_is_monster;
	get_render_objects_test_hooks()->unit_data = answer_test_unit;
	test_unit.maximum_mana = 100;
	test_unit.mana = 25;
	pieces = bars();
	ASSERT_EQ(pieces.size(), 1u);
	EXPECT_EQ(pieces[0], (std::vector<int32>{100, 92, 105, 98, 0}));
	test_unit.enemies_cant_see_mana = TRUE;
	test_unit.team_index = 1;
	EXPECT_TRUE(bars().empty());
	game_record.type = _game_type_replay;
	EXPECT_EQ(bars().size(), 1u);
	test_unit.mana_hidden = TRUE;
	EXPECT_TRUE(bars().empty());
}

TEST_F(render_objects, caps_lock_bars_and_overhead_text)
{
	const int16 index = front_object();
	object_data *object = get_object_data(index);
	object->type = selectable_type(_draw_selection_box_flag | _draw_vitality_box_flag);
	object->owner = _object_is_monster;
	object->maximum_vitality = object->vitality = 256;
	get_render_objects_test_hooks()->unit_data = answer_test_unit;
	get_render_objects_test_hooks()->caps_lock_held = TRUE;
	input_definition *input = get_input_definition();
	const uint8 saved_action = input->caps_lock_action;
	for (uint8 action : {0, 1, 2, 3})
	{
		input->caps_lock_action = action;
		build();
		const size_t expected = action == 0 || action == 2 ? 3u : 0u; // bars only, no frame
		EXPECT_EQ(surfaces(_surface_subtype_filled_rectangle).size(), expected) << int(action);
	}
	input->caps_lock_action = 0;
	test_unit.team_index = 1;
	build();
	EXPECT_TRUE(surfaces(_surface_subtype_filled_rectangle).empty()) << "another team's unit";
	input->caps_lock_action = saved_action;
	get_render_objects_test_hooks()->caps_lock_held = FALSE;

	// A label centred over the box, its bottom 4 pixels above it; none without a font.
	overhead_text_data *text = &get_overhead_map_test_hooks()->texts[3];
	text->monster_index = 0;
	text->font_index = NONE;
	test_unit.overhead_text_index = 3;
	build();
	EXPECT_TRUE(surfaces(_surface_subtype_text_rectangle).empty());
	test_unit.overhead_text_index = 65535 & 0x7FFF;
	build();
	EXPECT_TRUE(surfaces(_surface_subtype_text_rectangle).empty());
}

// The label's size comes from its string and font, with room for the font's
// leading on both sides so that it is drawn whole; it sits centred over the
// unit, its bottom 4 pixels above the box; an empty string makes none.
TEST_F(render_objects, overhead_text_is_sized_by_its_string_and_placed_over_the_box)
{
	initialize_string_definitions();
	initialize_string_definitions_for_new_map();
	initialize_font_definitions();
	initialize_font_definitions_for_new_map();
	struct cleanup
	{
		~cleanup()
		{
			dispose_font_definitions_from_old_map();
			dispose_string_definitions_from_old_map();
		}
	} cleanup_fonts_and_strings;
	std::vector<int32> handles;
	ASSERT_TRUE(make_default_font_tags(&handles));
	const char *strings[] = {"For the valley!"};
	ASSERT_NE(make_string_list_tag(TAG("ohtx"), "labels", strings, 1), NONE);
	const int16 font = font_tag_to_font_index(DEFAULT_INTERFACE_FONT_TAG);
	const int16 list_index = string_list_tag_to_string_index(TAG("ohtx"));
	ASSERT_NE(font, NONE);
	ASSERT_NE(list_index, NONE);

	const int16 index = front_object();
	object_data *object = get_object_data(index);
	object->type = selectable_type(_draw_selection_box_flag | _draw_vitality_box_flag);
	object->owner = _object_is_monster;
	object->maximum_vitality = object->vitality = 256;
	get_render_objects_test_hooks()->unit_data = answer_test_unit;
	overhead_text_data *text = &get_overhead_map_test_hooks()->texts[3];
	text->monster_index = 0;
	text->font_index = font;
	text->style = NONE;
	text->string_list_index = list_index;
	text->string_index = 0;
	text->color = {65535, 65535, 65535, 0};
	text->text_flags = _draw_string_center_horizontal_flag;
	test_unit.overhead_text_index = 3;
	build();
	std::vector<render_surface *> labels = surfaces(_surface_subtype_text_rectangle);
	ASSERT_EQ(labels.size(), 1u);
	const render_text_rectangle *label = reinterpret_cast<const render_text_rectangle *>(labels[0]);
	EXPECT_EQ(label->geometry.x1 - label->geometry.x0,
		string_width(font, NONE, strings[0]) + 2 * get_font_definition(font)->leading_width + 1);
	EXPECT_EQ(label->geometry.y1 - label->geometry.y0, get_font_line_height(font));
	EXPECT_STREQ(label->string, strings[0]);
	// Straight ahead: centred on the screen's middle column.
	EXPECT_NEAR((label->geometry.x0 + label->geometry.x1) / 2, view.xk, 1);
	// Its bottom 4 pixels above the top of the unit's box: the top of the
	// object's projected height.
	const render_rectangle *sprite = nullptr;
	for (render_surface *s : surfaces(_surface_subtype_object_rectangle))
	{
		sprite = reinterpret_cast<const render_rectangle *>(s);
	}
	ASSERT_NE(sprite, nullptr);
	EXPECT_LT(label->geometry.y1, sprite->geometry.y1);

	// Drawn, the label shows the whole cry: the same pixels as the string drawn
	// alone in a box as wide as the screen, not a cut one ending in "...".
	{
		const auto inked = [](bitmap_data *screen) {
			int32 left = screen->width, right = -1;
			for (int32 y = 0; y < screen->height; ++y)
				for (int32 x = 0; x < screen->width; ++x)
				{
					const uint8 *p = bitmap_row_address(screen, y) + 4 * x;
					if (p[0] | p[1] | p[2]) left = std::min(left, x), right = std::max(right, x);
				}
			std::vector<uint8> columns;
			for (int32 y = 0; y < screen->height && right >= left; ++y)
			{
				const uint8 *row = bitmap_row_address(screen, y);
				columns.insert(columns.end(), row + 4 * left, row + 4 * (right + 1));
			}
			return std::make_pair(right - left + 1, columns);
		};
		bitmap_data *screen = new_bitmap(640, 480, 640 * 4, _32bit_encoding, 0);
		bitmap_data *alone = new_bitmap(640, 480, 640 * 4, _32bit_encoding, 0);
		ASSERT_TRUE(screen && alone);
		// This view puts the label far above the screen: bring it down, as it is.
		render_text_rectangle *moved = reinterpret_cast<render_text_rectangle *>(labels[0]);
		const int16 down = static_cast<int16>(100 - moved->geometry.y0);
		moved->geometry.y0 = static_cast<int16>(moved->geometry.y0 + down);
		moved->geometry.y1 = static_cast<int16>(moved->geometry.y1 + down);
		view.screen = screen;
		render_surface *drawn_label = labels[0];
		rasterize_text_rectangles(&view, &drawn_label, 1);
		view.screen = nullptr;
		dump_frame_when_asked(screen, "overhead_text");
		rectangle2d wide;
		set_rectangle2d(&wide, 0, label->geometry.y0, 640, label->geometry.y1);
		draw_string(alone, nullptr, &wide, nullptr, font, NONE, &text->color, strings[0], text->text_flags, 0);
		const auto drawn = inked(screen), whole = inked(alone);
		dispose_pointer(screen);
		dispose_pointer(alone);
		EXPECT_GT(whole.first, 0);
		EXPECT_EQ(drawn.first, whole.first) << "the drawn span is not the string's";
		EXPECT_TRUE(drawn.second == whole.second) << "the label is not the whole string";
	}

	// A missing string (an empty one) or a list that is not loaded: no label.
	text->string_index = 5;
	build();
	EXPECT_TRUE(surfaces(_surface_subtype_text_rectangle).empty());
	text->string_index = 0;
	text->string_list_index = NONE;
	build();
	EXPECT_TRUE(surfaces(_surface_subtype_text_rectangle).empty());
}

TEST_F(render_objects, parasite_loops_end_and_palette_matches)
{
	const int16 a = front_object(), b = front_object();
	get_object_data(a)->parasitic_object_index = b;
	get_object_data(b)->parasitic_object_index = a;
	new_surface_list(&list);
	build_render_object(&view, region, FALSE, TRUE, FALSE, get_object_data(a), a);
	EXPECT_EQ(surfaces(_surface_subtype_object_rectangle).size(), 9u) << "the object and eight links";

	rgb_color color;
	EXPECT_EQ(get_interface_color(2, &color)->green, 65535);
	EXPECT_EQ(get_interface_color(12, &color)->red, 65535);
	EXPECT_EQ(color.green, 0);
	EXPECT_EQ(get_interface_color(33, &color)->green, 65535);
	EXPECT_EQ(get_interface_color(34, &color)->red, 32767);
	EXPECT_EQ(get_interface_color(55, &color)->green, 32767);
	EXPECT_EQ(get_interface_color(56, &color)->green, 0);
	EXPECT_EQ(get_interface_color(6, &color)->red, 0);
}
