// The frame renderer on the generated maps through the headless harness:
// whole frames (the demo in battle at tick 600, the first level burning in
// the rain), the scene's build and sort, the volatile maps, the terrain and
// sprite rasterizers and the geometry builder, in milliseconds.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <vector>

#include "bitmap_drawing.h"
#include "bitmaps.h"
#include "CoreLibrary/cseries/memory.h"
#include "collections_content.h"
#include "CoreLibrary/cseries/crc.h"
#include "geometry.h"
#include "local_projectiles.h"
#include "models.h"
#include "objects_content.h"
#include "mesh.h"
#include "objects.h"
#include "observer.h"
#include "render/render.h"
#include "render/render_models.h"
#include "render/render_objects.h"
#include "support/render_views.h"
#include "shapes.h"
#include "world.h"
#include "bench_first_level_view.h"
#include "support/zerv_harness.h"
#include "zerv.h"

namespace {

bool render_harness_ready = false;
file_tag render_bench_map = 0;

// One map at a time, kept between benchmarks of the same map.
bool enter_map(file_tag map_tag)
{
	if (!render_harness_ready)
	{
		if (!harness_initialize()) return false;
		atexit(harness_shutdown);
		render_harness_ready = true;
	}
	if (render_bench_map == map_tag) return true;
	if (render_bench_map) harness_end_map();
	render_bench_map = 0;
	if (map_tag == HARNESS_FIRST_LEVEL_MAP_TAG)
	{
		if (!start_first_level_fire_view()) return false;
		render_bench_map = map_tag;
		return true;
	}
	new_game_data setup;
	if (map_tag == HARNESS_DEMO_MAP_TAG) harness_demo_setup(&setup, 2);
	else harness_battle_setup(&setup, map_tag);
	if (!harness_start_map(&setup)) return false;
	render_bench_map = map_tag;
	if (map_tag == HARNESS_DEMO_MAP_TAG) harness_run_ticks(600); // armies engaged, arrows in flight
	if (map_tag != HARNESS_DEMO_MAP_TAG)
	{
		const observer_location centre = {{128 * WORLD_ONE, 128 * WORLD_ONE}, 0, 0};
		set_actual_observer_location_and_zoom(&centre, NULL);
	}
	return true;
}

file_tag map_of(int64 index)
{
	return index == 1 ? TAG("bnch") : index == 4 ? HARNESS_FIRST_LEVEL_MAP_TAG : HARNESS_DEMO_MAP_TAG;
}

// The demo's close views, at the nearest zoom: the hut, then the fence.
bool close_view_of(int64 index, observer_location *location)
{
	if (index == 2) *location = {{32 * WORLD_ONE, 48 * WORLD_ONE + 256}, 16384 - 2048, 0};
	else if (index == 3) *location = {{45 * WORLD_ONE, 21 * WORLD_ONE + 256}, 16384 + 8192, 0};
	else return false;
	return true;
}

void fill_view(view_data *view, bitmap_data *screen, uint32 flags, int32 tick)
{
	memset(view, 0, sizeof(*view));
	build_observer_view(view, 1);
	view->screen = screen;
	view->flags |= flags;
	view->tick_count = tick;
}

// One timed frame, out of line: `valgrind --tool=callgrind
// --toggle-collect='*render_timed_frame*'` counts the timed frames alone.
__attribute__((noinline)) void render_timed_frame(view_data *view)
{
	render_scene(view);
}

// Args: view (0 demo, 1 bnch, 2 demo hut, 3 demo fence, 4 l1 with fire and rain), width, depth (32, or 16 adding the 565 copy), filtering.
void BM_render_frame(benchmark::State &state)
{
	if (!enter_map(map_of(state.range(0))))
	{
		state.SkipWithError("map start failed");
		return;
	}
	const int32 width = static_cast<int32>(state.range(1));
	const int32 height = width * 3 / 4;
	bitmap_data *screen = new_bitmap(width, height, width * 4, _32bit_encoding, 0);
	bitmap_data *window = state.range(2) == 16 ? new_bitmap(width, height, width * 2, _16bit_565_encoding, 0) : NULL;
	const uint32 flags = state.range(3) ? _render_view_filtering_flag : 0;
	const point2d origin = {0, 0};
	observer_location saved, close;
	const fixed saved_zoom = get_observer_zoom_factor(), near_zoom = 2 * FIXED_ONE;
	get_observer_location(&saved);
	const bool close_view = close_view_of(state.range(0), &close);
	if (close_view) set_actual_observer_location_and_zoom(&close, &near_zoom);
	// The first frame's CRC in the label: a change that keeps the pixels keeps it.
	view_data first;
	fill_view(&first, screen, flags, 0);
	render_scene(&first);
	uint32 crc = 0xFFFFFFFFu;
	for (int32 row = 0; row < height; ++row) crc = crc32_update(crc, screen->row_addresses[row], width * 4);
	char crc_label[16];
	snprintf(crc_label, sizeof(crc_label), " crc %08x", static_cast<unsigned>(~crc));
	dump_frame_when_asked(screen, "render_frame_" + std::to_string(state.range(0)) + "_" + std::to_string(width));
	int32 tick = 0;
	const int32 sprites_before = get_particle_system_test_hooks()->sprites_drawn;
	for (auto _ : state)
	{
		view_data view;
		fill_view(&view, screen, flags, ++tick);
		render_timed_frame(&view);
		if (window) copy_bitmap(window, &origin, screen, NULL, NULL, 0, NULL);
	}
	if (state.range(0) == 4)
	{
		// What the frame carries: the rain's sprites, the burning cells and the live particles.
		state.counters["rain_sprites"] = static_cast<double>(get_particle_system_test_hooks()->sprites_drawn - sprites_before) /
			static_cast<double>(std::max<int64_t>(1, static_cast<int64_t>(state.iterations())));
		int32 burning = 0;
		for (int16 i = 0; i < MAXIMUM_CELLS_ON_FIRE_PER_MAP; ++i) burning += get_fire_cell_data(i) != NULL;
		state.counters["burning_cells"] = burning;
		state.counters["local_particles"] = local_projectile_array.total_count;
	}
	if (close_view) set_actual_observer_location_and_zoom(&saved, &saved_zoom);
	static const char *const labels[] = {"demo tick 600", "bnch", "demo hut close", "demo fence close", "l1 fire and rain tick 800"};
	state.SetLabel(std::string(labels[state.range(0)]) + (flags ? " filtered" : " unfiltered") + crc_label);
	dispose_pointer(screen);
	if (window) dispose_pointer(window);
}
BENCHMARK(BM_render_frame)
	->Args({0, 640, 32, 1})
	->Args({0, 1024, 32, 1})
	->Args({0, 640, 16, 1})
	->Args({0, 1024, 16, 1})
	->Args({1, 640, 32, 1})
	->Args({1, 1024, 32, 1})
	->Args({1, 640, 16, 1})
	->Args({1, 1024, 16, 1})
	->Args({0, 1024, 32, 0})
	->Args({2, 1024, 32, 1})
	->Args({3, 1024, 32, 1})
	->Args({4, 1024, 32, 1})
	->Unit(benchmark::kMillisecond);

// The first level's frames over a sweep of ticks, views, zooms and filtering,
// folded into one CRC in the label (each frame's on stderr with
// ZERV_FRAME_CRCS set): two builds of the rasterizer draw the same pixels when
// their sums agree. Plays the level on: run it alone.
void BM_render_frame_sweep(benchmark::State &state)
{
	if (!enter_map(HARNESS_FIRST_LEVEL_MAP_TAG))
	{
		state.SkipWithError("map start failed");
		return;
	}
	const bool print = getenv("ZERV_FRAME_CRCS") != NULL;
	bitmap_data *screen = new_bitmap(1024, 768, 1024 * 4, _32bit_encoding, 0);
	uint32 total = 0xFFFFFFFFu;
	for (auto _ : state)
	{
		set_local_random_seed(0x5EED);
		for (int32 frame = 0; frame < 48; ++frame)
		{
			harness_run_ticks(1);
			const observer_location look = {{static_cast<world_distance>((bench_first_level_fire_cell_x + frame % 5 - 2) * WORLD_ONE + frame * 37),
				static_cast<world_distance>((bench_first_level_fire_cell_y + 2 + frame % 3) * WORLD_ONE)},
				static_cast<angle>(QUARTER_CIRCLE + (frame % 8 - 4) * 1500), 0};
			const fixed zoom = (frame % 4 == 3 ? 1 : 2) * FIXED_ONE - (frame % 2) * (FIXED_ONE / 3);
			set_actual_observer_location_and_zoom(&look, &zoom);
			view_data view;
			fill_view(&view, screen, frame % 6 == 5 ? 0 : _render_view_filtering_flag, frame);
			render_scene(&view);
			uint32 crc = 0xFFFFFFFFu;
			for (int32 row = 0; row < screen->height; ++row) crc = crc32_update(crc, screen->row_addresses[row], screen->width * 4);
			total = crc32_update(total, reinterpret_cast<const uint8 *>(&crc), sizeof(crc));
			if (print) fprintf(stderr, "frame %d crc %08x\n", frame, static_cast<unsigned>(~crc));
		}
	}
	char label[32];
	snprintf(label, sizeof(label), "l1 sweep crc %08x", static_cast<unsigned>(~total));
	state.SetLabel(label);
	dispose_pointer(screen);
}
BENCHMARK(BM_render_frame_sweep)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_build_and_sort_terrain(benchmark::State &state)
{
	if (!enter_map(map_of(state.range(0))))
	{
		state.SkipWithError("map start failed");
		return;
	}
	bitmap_data *screen = new_bitmap(1024, 768, 1024 * 4, _32bit_encoding, 0);
	view_data view;
	fill_view(&view, screen, _render_view_filtering_flag, 0);
	render_scene(&view); // sets the projection up
	const view_data first = last_render_view() ? *last_render_view() : view;
	for (auto _ : state)
	{
		render_scene(NULL); // resets the arena
		render_surface_list surfaces;
		new_surface_list(&surfaces);
		view_data copy = first;
		copy.tick_count = last_ticks; // no volatile rebuild
		copy.flags &= ~static_cast<uint32>(_render_view_moved_flag);
		build_scene(&copy, &surfaces);
		postprocess_scene(&copy, &surfaces);
		benchmark::DoNotOptimize(surfaces.surface_count);
	}
	dispose_pointer(screen);
}
BENCHMARK(BM_build_and_sort_terrain)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Building and sorting a frame with 400 units on a 20 x 20 grid, 1.25 cells
// apart (2 cells do not fit the view), in front of a zoom-0.5 camera on
// 'bnch'. The map is left with its units moved: later benchmarks restart it.
void BM_build_and_sort_objects(benchmark::State &state)
{
	const int32 count = static_cast<int32>(state.range(0));
	if (!enter_map(TAG("bnch")))
	{
		state.SkipWithError("map start failed");
		return;
	}
	const observer_location camera = {{128 * WORLD_ONE, 128 * WORLD_ONE}, 0, 0};
	const fixed zoom = FIXED_ONE / 2;
	set_actual_observer_location_and_zoom(&camera, &zoom);
	const int16 collection = get_collection_index(DEFAULT_UNIT_COLLECTION_TAG);
	bitmap_data *screen = new_bitmap(1024, 768, 1024 * 4, _32bit_encoding, 0);
	view_data view;
	fill_view(&view, screen, _render_view_filtering_flag, 0);
	render_scene(&view);
	const view_data first = last_render_view() ? *last_render_view() : view;
	// Ahead of the camera, along its facing.
	world_vector3d forward;
	build_world_vector3d(&forward, WORLD_ONE, first.location.yaw, 0);
	// The map's own units are moved onto the grid; figures are added if it has fewer.
	std::vector<int16> units, added;
	for (int16 index = 0; index < MAXIMUM_OBJECTS_PER_MAP && static_cast<int32>(units.size()) < count; ++index)
	{
		const object_data *object = get_object_data(index);
		if (object && object->owner == _object_is_monster) units.push_back(index);
	}
	const int32 side = 20;
	for (int32 i = 0; i < count; ++i)
	{
		// In quarter cells: rows 1.25 cells apart from 16 cells ahead, so that the grid fits the view.
		const int32 along = 64 + 5 * (i / side), across = 5 * (i % side) - 5 * (side - 1) / 2;
		world_point3d spot = {first.location.position.x + (forward.i * along - forward.j * across) / 4,
			first.location.position.y + (forward.j * along + forward.i * across) / 4, 0};
		const world_point2d ground = {spot.x, spot.y};
		spot.z = get_mesh_height(&ground, _true_height);
		int16 index = i < static_cast<int32>(units.size()) ? units[static_cast<size_t>(i)] : static_cast<int16>(NONE);
		if (index == NONE)
		{
			if (collection == NONE) continue;
			new_object_data data = {};
			data.type = NONE;
			data.owner = _object_is_scenery;
			data.owner_index = NONE;
			data.scale = 256;
			data.collection_index = collection;
			data.location.position = spot;
			index = new_object(&data);
			if (index == NONE) continue;
			set_object_shape(index, 0, 256, _transfer_mode_none, 0, 0, FALSE);
			added.push_back(index);
		}
		disconnect_object_from_mesh(index);
		get_object_data(index)->location.position = spot;
		reconnect_object_to_mesh(index);
	}
	const std::vector<int16> &placed = added;
	int32 rectangles = 0;
	for (auto _ : state)
	{
		render_scene(NULL); // resets the arena
		render_surface_list surfaces;
		new_surface_list(&surfaces);
		view_data copy = first;
		copy.tick_count = last_ticks; // no volatile rebuild
		copy.flags &= ~static_cast<uint32>(_render_view_moved_flag);
		get_render_objects_test_hooks()->rectangles_built = 0;
		build_scene(&copy, &surfaces);
		postprocess_scene(&copy, &surfaces);
		rectangles = get_render_objects_test_hooks()->rectangles_built;
		benchmark::DoNotOptimize(surfaces.surface_count);
	}
	for (int16 index : placed) delete_object(index);
	dispose_pointer(screen);
	harness_end_map(); // its units were moved
	render_bench_map = 0;
	if (rectangles < count)
	{
		static char message[96];
		snprintf(message, sizeof(message), "%d rectangles for %d units (%d of the map's)", static_cast<int>(rectangles),
			static_cast<int>(count), static_cast<int>(units.size()));
		state.SkipWithError(message);
	}
	state.counters["rectangles"] = rectangles;
}
BENCHMARK(BM_build_and_sort_objects)->Arg(400)->Unit(benchmark::kMillisecond);

// One 1024 x 768 frame of the demo's battle view; its arena copy of the view,
// or NULL when the map did not start.
view_data *first_demo_frame(benchmark::State &state, uint32 flags, bitmap_data **screen)
{
	*screen = new_bitmap(1024, 768, 1024 * 4, _32bit_encoding, 0);
	if (!enter_map(HARNESS_DEMO_MAP_TAG))
	{
		state.SkipWithError("map start failed");
		return NULL;
	}
	view_data view;
	fill_view(&view, *screen, flags, 0);
	render_scene(&view);
	return last_render_view();
}

void BM_build_volatile_maps(benchmark::State &state)
{
	bitmap_data *screen = NULL;
	view_data *last = first_demo_frame(state, 0, &screen);
	for (auto _ : state)
	{
		if (last) build_volatile_maps(last, last->region);
	}
	dispose_pointer(screen);
}
BENCHMARK(BM_build_volatile_maps)->Unit(benchmark::kMillisecond);

// The terrain rasterizer alone over the last frame's sorted surfaces.
void BM_rasterize_terrain(benchmark::State &state)
{
	bitmap_data *screen = NULL;
	view_data *last = first_demo_frame(state,
		(state.range(0) ? _render_view_filtering_flag : 0) | _render_view_omit_rasterization_effects_flag, &screen);
	render_surface_list *surfaces = last_render_surface_list();
	for (auto _ : state)
	{
		if (last && surfaces) rasterize_scene(last, surfaces);
	}
	state.SetItemsProcessed(state.iterations() * 1024 * 768);
	state.SetLabel(state.range(0) ? "filtered, pixels" : "unfiltered, pixels");
	dispose_pointer(screen);
}
BENCHMARK(BM_rasterize_terrain)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Sorting and categorising n discarded triangles of pseudo-random depths.
void BM_postprocess_sort(benchmark::State &state)
{
	const int32 count = static_cast<int32>(state.range(0));
	view_data view;
	memset(&view, 0, sizeof(view));
	for (auto _ : state)
	{
		state.PauseTiming();
		render_scene(NULL); // resets the arena
		render_vertex *vertex = static_cast<render_vertex *>(render_malloc(sizeof(render_vertex)));
		memset(vertex, 0, sizeof(*vertex));
		vertex->flags = _vertex_clipped_flag | _vertex_discarded_flag;
		render_surface_list surfaces;
		new_surface_list(&surfaces);
		uint32 seed = 12345;
		for (int32 i = 0; i < count; ++i)
		{
			render_triangle *t = static_cast<render_triangle *>(render_malloc(sizeof(render_triangle)));
			memset(t, 0, sizeof(*t));
			seed = seed * 1103515245u + 12345u;
			t->surface.z = static_cast<short_world_distance>(-1 - static_cast<int32>((seed >> 16) & 0x3FFF));
			for (render_corner &corner : t->corners) corner.vertex = vertex;
			add_surface_to_surface_list(&surfaces, &t->surface);
		}
		state.ResumeTiming();
		postprocess_scene(&view, &surfaces);
	}
}
BENCHMARK(BM_postprocess_sort)->Arg(2000)->Arg(8000)->Arg(30000)->Unit(benchmark::kMillisecond);


// n row-span sprites of 32 x 48 on a 1024 x 768 screen (a unit figure, on a grid).
void BM_rasterize_sprites(benchmark::State &state)
{
	const int32 count = static_cast<int32>(state.range(0));
	if (!enter_map(HARNESS_DEMO_MAP_TAG))
	{
		state.SkipWithError("map start failed");
		return;
	}
	const int16 collection = try_and_get_collection_index(DEFAULT_UNIT_COLLECTION_TAG);
	int16 sprite = NONE;
	for (int16 i = 0; collection != NONE && i < get_collection_bitmap_count(collection) && sprite == NONE; ++i)
	{
		const bitmap_data *bitmap = get_bitmap(collection, i);
		if (bitmap && (bitmap->flags & _1bit_transparency_encoded_flag)) sprite = i;
	}
	if (sprite == NONE)
	{
		state.SkipWithError("no row-span sprite in the unit collection");
		return;
	}
	bitmap_data *screen = new_bitmap(1024, 768, 1024 * 4, _32bit_encoding, 0);
	std::vector<render_rectangle> rectangles(static_cast<size_t>(count));
	for (int32 i = 0; i < count; ++i)
	{
		render_rectangle &r = rectangles[static_cast<size_t>(i)];
		memset(&r, 0, sizeof(r));
		set_surface_type(&r.surface, _surface_type_rectangle, _surface_subtype_object_rectangle);
		r.texture = build_bitmap_identifier(static_cast<uint32>(collection), static_cast<uint32>(sprite), 0, 0);
		r.object_index = NONE;
	}
	for (auto _ : state)
	{
		for (int32 i = 0; i < count; ++i)
		{
			render_rectangle &r = rectangles[static_cast<size_t>(i)];
			// The rasterizer clamps the clip rows in place: set them each time.
			const int16 x = static_cast<int16>(16 + (i % 20) * 49), y = static_cast<int16>(8 + (i / 20 % 20) * 36);
			r.geometry = {x, y, static_cast<int16>(x + 32), static_cast<int16>(y + 48), 0, 768, {0, 0, 0, 0}, 0, 0};
			rasterize_rectangle_32bit(screen, &r.surface);
		}
	}
	state.SetItemsProcessed(state.iterations() * count);
	state.SetLabel("sprites");
	dispose_pointer(screen);
}
BENCHMARK(BM_rasterize_sprites)->Arg(400)->Unit(benchmark::kMillisecond);

// A geometry of n surfaces (a double-sided grid 1024 wide, 512 high) through
// the model triangle builder.
void BM_render_geometry(benchmark::State &state)
{
	const int32 count = static_cast<int32>(state.range(0));
	if (!enter_map(HARNESS_DEMO_MAP_TAG))
	{
		state.SkipWithError("map start failed");
		return;
	}
	static int16 geometry_index = NONE;
	const int16 columns = 16, rows = static_cast<int16>(count / (2 * 16));
	if (geometry_index == NONE)
	{
		std::vector<short_world_point3d> points;
		for (int16 j = 0; j <= rows; ++j)
		{
			for (int16 i = 0; i <= columns; ++i)
			{
				// In the plane x = 0, which faces the viewer below.
				points.push_back({0, static_cast<short_world_distance>(i * 64), static_cast<short_world_distance>(j * 512 / rows)});
			}
		}
		std::vector<geometry_surface> surfaces;
		const world_vector3d normal = {-TRIG_MAGNITUDE, 0, 0};
		for (int16 j = 0; j < rows; ++j)
		{
			for (int16 i = 0; i < columns; ++i)
			{
				const int16 a = static_cast<int16>(j * (columns + 1) + i), b = static_cast<int16>(a + 1),
							c = static_cast<int16>(a + columns + 1), d = static_cast<int16>(c + 1);
				geometry_surface first = model_surface(points.data(), normal, 0, a, b, d);
				geometry_surface second = model_surface(points.data(), normal, 0, a, d, c);
				first.flags = second.flags = _geometry_surface_no_backface_cull_flag;
				surfaces.push_back(first);
				surfaces.push_back(second);
			}
		}
		geometry_material material = {};
		material.sequence_index = NONE;
		material.collection_index = NONE;
		material.color_table_index = NONE;
		material.bitmap_index = NONE;
		const std::vector<uint8> bytes = geometry_tag_data({material}, points.data(), static_cast<int16>(points.size()), surfaces, 512);
		geometry_index = new_geometry_definition_from_tag_data(TAG("bgrd"), bytes.data(), static_cast<int32>(bytes.size()));
	}
	const geometry_tables *tables = get_geometry_tables(geometry_index);
	if (geometry_index == NONE || !tables)
	{
		state.SkipWithError("geometry failed to load");
		return;
	}
	// The scenery thatch, so that surfaces are drawn.
	const int16 scenery = try_and_get_collection_index(DEFAULT_SCENERY_COLLECTION_TAG);
	tables->materials[0].collection_index = scenery;
	tables->materials[0].color_table_index = 0;
	tables->materials[0].bitmap_index = scenery == NONE ? static_cast<int16>(NONE)
		: get_sequence_bitmap_index(scenery, _default_scenery_thatch_sequence, 0, 0, NULL, NULL);

	// Placed as the demo's first model, seen from 4000 in front as the model tests see it.
	const model_data *model = NULL;
	for (int16 i = 0; i < MAXIMUM_MODELS_PER_MAP && !model; ++i) model = get_model_data(i);
	if (!model)
	{
		state.SkipWithError("the demo has no model");
		return;
	}
	view_data view;
	memset(&view, 0, sizeof(view));
	view.screen_width = 640;
	view.screen_height = 480;
	view.xk = 320;
	view.yk = 240;
	view.world_to_screen_x = view.world_to_screen_y = 320;
	view.location.position = {model->location.x - 4000, model->location.y + 512, model->location.z + 200};
	view.world_to_viewer_rotation.n[1][0] = 16384;
	view.world_to_viewer_rotation.n[2][1] = 16384;
	view.world_to_viewer_rotation.n[0][2] = -16384;
	int64 built = 0;
	for (auto _ : state)
	{
		render_scene(NULL); // resets the arena
		render_surface_list list;
		new_surface_list(&list);
		view.main_surface_list = &list;
		mesh_region *region = static_cast<mesh_region *>(render_malloc(sizeof(mesh_region)));
		memset(region, 0, sizeof(*region));
		region->x1 = static_cast<int16>(mesh_globals->mesh_width);
		region->y1 = static_cast<int16>(mesh_globals->mesh_height);
		region->spans = static_cast<mesh_span *>(render_malloc(region->y1 * static_cast<int32>(sizeof(mesh_span))));
		for (int32 row = 0; row < region->y1; ++row) region->spans[row] = {0, region->x1};
		render_geometry(&view, region, NONE, geometry_index, &model->location, &model->up_vector, &model->forward_vector,
			&model->scale_vector, FALSE, 0);
		built = 0;
		for (render_surface *s = list.first_surface; s; s = s->next_surface) ++built;
	}
	state.counters["triangles"] = static_cast<double>(built);
	if (built == 0) state.SkipWithError("no triangles built");
}
BENCHMARK(BM_render_geometry)->Arg(512)->Unit(benchmark::kMillisecond);

}
