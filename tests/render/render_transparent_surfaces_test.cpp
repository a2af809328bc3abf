// Surfaces at the largest transparency through the software rasterizer: not
// seen at all, while one step less still blends at level 15.
#include <gtest/gtest.h>

#include <cstring>

#include "bitmaps.h"
#include "collections_content.h"
#include "shapes.h"
#include "shapes_test_support.h"
#include "render/render.h"
#include "world.h"

namespace {

class render_transparent_surfaces : public shapes_test_directory
{
protected:
	void SetUp() override
	{
		shapes_test_directory::SetUp();
		std::vector<int32> handles;
		ASSERT_TRUE(make_default_collection_tags(&handles));
		effects = get_collection_index(DEFAULT_EFFECTS_COLLECTION_TAG);
		scenery = get_collection_index(DEFAULT_SCENERY_COLLECTION_TAG);
		ASSERT_NE(effects, NONE);
		ASSERT_NE(scenery, NONE);
		ASSERT_NE(get_transparency_table(0), nullptr);
		initialize_render();
		render_scene(NULL);
		screen = new_bitmap(64, 16, 256, _32bit_encoding, 0);
		ASSERT_NE(screen, nullptr);
	}
	void TearDown() override
	{
		dispose_pointer(screen);
		shapes_test_directory::TearDown();
	}

	render_vertex *vertex(int16 x, int16 y)
	{
		render_vertex *v = static_cast<render_vertex *>(render_malloc(sizeof(render_vertex)));
		memset(v, 0, sizeof(*v));
		v->screen = {x, y};
		return v;
	}

	// The whole screen as one quad of the bitmap (object or model triangles).
	void add_quad(render_surface_list *list, int16 collection, int16 bitmap, int16 subtype, fixed_fraction transparency)
	{
		bitmap_instance_data instance;
		memset(&instance, 0, sizeof(instance));
		instance.bitmap_index = bitmap;
		render_quad_data quad;
		memset(&quad, 0, sizeof(quad));
		quad.instance = &instance;
		quad.collection_index = collection;
		quad.transparency = transparency;
		quad.vertices[0] = vertex(0, 0);
		quad.vertices[1] = vertex(0, 16);
		quad.vertices[2] = vertex(64, 16);
		quad.vertices[3] = vertex(64, 0);
		render_surface *last = list->last_surface;
		quad_into_triangles(nullptr, &quad, list);
		for (render_surface *s = last ? last->next_surface : list->first_surface; s; s = s->next_surface)
		{
			set_surface_type(s, _surface_type_triangle, subtype);
		}
	}

	// Draws the one kind of surface at the transparency over the background
	// and counts the pixels it changed, the top byte included.
	int32 changed_by(int32 kind, fixed_fraction transparency)
	{
		for (int32 y = 0; y < screen->height; ++y)
			for (int32 x = 0; x < screen->width; ++x) reinterpret_cast<uint32 *>(screen->row_addresses[y])[x] = background;
		render_surface_list list;
		new_surface_list(&list);
		switch (kind)
		{
		case 0:
		{
			render_rectangle *sprite = static_cast<render_rectangle *>(render_malloc(sizeof(render_rectangle)));
			memset(sprite, 0, sizeof(*sprite));
			set_surface_type(&sprite->surface, _surface_type_rectangle, _surface_subtype_object_rectangle);
			set_surface_flags(&sprite->surface, _surface_transparent_flag);
			sprite->surface.transparency = transparency;
			sprite->geometry = {0, 0, 48, 16, -32768, 32767, {0, 0, 0, 0}, 32767, -32768};
			sprite->texture = build_bitmap_identifier(static_cast<uint32>(scenery), 0, 0, 0);
			add_surface_to_surface_list(&list, &sprite->surface);
			break;
		}
		case 1: add_quad(&list, effects, 0, _surface_subtype_object_triangle, transparency); break;
		case 2: add_quad(&list, effects, 0, _surface_subtype_model_triangle, transparency); break;
		default:
		{
			render_filled_rectangle *r = static_cast<render_filled_rectangle *>(render_malloc(sizeof(render_filled_rectangle)));
			memset(r, 0, sizeof(*r));
			set_surface_type(&r->surface, _surface_type_rectangle, _surface_subtype_filled_rectangle);
			set_surface_flags(&r->surface, _surface_transparent_flag);
			r->surface.transparency = transparency;
			r->geometry = {0, 0, 64, 16, -32768, 32767, {0, 0, 0, 0}, 0, 0};
			r->color = {0xF800, 0xF800, 0x0800, 0};
			add_surface_to_surface_list(&list, &r->surface);
			break;
		}
		}
		view_data view;
		memset(&view, 0, sizeof(view));
		view.screen = screen;
		view.flags = _render_view_omit_rasterization_effects_flag;
		rasterize_scene(&view, &list);
		int32 changed = 0;
		for (int32 y = 0; y < screen->height; ++y)
			for (int32 x = 0; x < screen->width; ++x) changed += reinterpret_cast<const uint32 *>(screen->row_addresses[y])[x] != background;
		return changed;
	}

	// Low bits in every channel, which a level-15 blend cuts away.
	static constexpr uint32 background = 0x00173F5Eu;
	int16 effects = NONE, scenery = NONE;
	bitmap_data *screen = nullptr;
};

}

TEST_F(render_transparent_surfaces, the_largest_transparency_leaves_every_pixel_alone)
{
	const char *const names[] = {"sprite", "object triangles", "model triangles", "filled rectangle"};
	for (int32 kind = 0; kind < 4; ++kind)
	{
		EXPECT_GT(changed_by(kind, 65534), 0) << names[kind] << ": level 15 still blends";
		EXPECT_EQ(changed_by(kind, 65535), 0) << names[kind];
	}
}
