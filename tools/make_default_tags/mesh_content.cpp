#include "mesh_content.h"

#include "first_level_content.h"
#include "units_content.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "collections_content.h"
#include "directions.h"
#include "effects_content.h"
#include "default_tags.h"
#include "demo_script.h"
#include "first_level_script.h"
#include "training_script.h"
#include "projectiles_content.h"
#include "markers.h"
#include "media.h"
#include "mesh.h"
#include "shading_tables.h"
#include "tag_files/tag_files.h"
#include "world.h"

namespace {

// Integer-only: the content must come out the same on every build.
struct content_generator
{
	uint32 seed;
	uint32 next(void)
	{
		seed = seed * 1664525u + 1013904223u;
		return seed >> 8;
	}
	int32 below(int32 n) { return static_cast<int32>(next() % static_cast<uint32>(n)); }
};

void ensure_mesh_modules(void)
{
	static bool initialized = false;
	if (initialized) return;
	initialize_world();
	initialize_mesh();
	initialize_markers();
	initialized = true;
}

uint16 terrain_pair(int16 first, int16 second)
{
	return static_cast<uint16>((first << CELL_TERRAIN_TYPE_BITS) | second);
}

} // namespace

marker_palette_entry palette_row(int16 type, file_tag tag, int16 team_index, uint32 extra_flags)
{
	marker_palette_entry entry = {};
	entry.type = type;
	entry.tag = tag;
	entry.team_index = team_index;
	entry.extra_flags = extra_flags;
	entry.tag_index = NONE;
	return entry;
}

marker_data marker_at(int16 type, int16 palette_index, int16 identifier, world_distance x, world_distance y,
	angle yaw)
{
	marker_data marker = {};
	marker.type = type;
	marker.palette_index = palette_index;
	marker.identifier = identifier;
	marker.location.position = {x, y, 0};
	marker.location.yaw = yaw;
	marker.data_index = NONE;
	marker.data_identifier = NONE;
	return marker;
}

// The ground at a point as the engine's get_mesh_height gives it (true
// height: a vertex of a media cell counts at the surface). Scenery takes its
// height from its marker, so the marker must carry the ground's.
short_world_distance ground_height(const map_description &map, world_distance x, world_distance y)
{
	const int32 width = map.header.submesh_width * SUBMESH_WIDTH;
	const int32 index = (y >> WORLD_FRACTIONAL_BITS) * width + (x >> WORLD_FRACTIONAL_BITS);
	if (index < 0 || static_cast<size_t>(index) >= map.cells.size()) return 0;
	if (map.cells[static_cast<size_t>(index)].flags & _mesh_cell_is_not_rendered_flag) return NONRENDERED_CELL_HEIGHT;
	auto vertex = [&](int32 direction)
	{
		const int32 i = index + width * direction_delta_y[direction] + direction_delta_x[direction];
		if (i < 0 || static_cast<size_t>(i) >= map.cells.size()) return 0;
		const mesh_cell &cell = map.cells[static_cast<size_t>(i)];
		return static_cast<int32>((cell.flags & _mesh_cell_triangle_media_flags) ? cell.media_height : cell.height);
	};
	const int16 t = get_mesh_triangle_index(x, y);
	const mesh_subdivision_direction_data *d = &mesh_subdivision_directions[t];
	const int32 o = vertex(d->origin), h = vertex(d->horizontal), v_height = vertex(d->vertical);
	return interpolate_triangle_height(x, y, t, o, h, v_height);
}

void stand_scenery_on_ground(map_description *map)
{
	for (marker_data &marker : map->markers)
	{
		if (marker.type != _marker_scenery) continue;
		marker.location.position.z = ground_height(*map, marker.location.position.x, marker.location.position.y);
	}
}

// Sorts the markers, precalculates normals and LOD through the engine, and
// writes the stored tag data.
std::vector<uint8> finish_map(map_description *map)
{
	ensure_mesh_modules();
	const int32 width = map->header.submesh_width * SUBMESH_WIDTH;
	const int32 height = map->header.submesh_height * SUBMESH_WIDTH;

	std::vector<uint16> coverage(static_cast<size_t>(height * MESH_TEXELS_PER_CELL * (width + 1)));
	const int32 coverage_words = build_media_coverage_from_cells(map->cells.data(), width, height, coverage.data(),
		static_cast<int32>(coverage.size()));
	if (coverage_words < 0) return {};
	coverage.resize(static_cast<size_t>(coverage_words));
	std::vector<uint16> LOD(static_cast<size_t>((width / 2) * (height / 2)), 0);

	mesh_tag_contents contents = {};
	contents.header = map->header;
	contents.cells = map->cells.data();
	contents.palette = map->palette.data();
	contents.palette_count = static_cast<int32>(map->palette.size());
	contents.markers = map->markers.data();
	contents.marker_count = static_cast<int32>(map->markers.size());
	contents.connectors = map->connectors.data();
	contents.connector_count = static_cast<int32>(map->connectors.size());
	contents.media_coverage_region = coverage.data();
	contents.media_coverage_region_words = coverage_words;
	contents.LOD_data = LOD.data();
	contents.LOD_data_words = static_cast<int32>(LOD.size());
	contents.map_actions = map->actions.bytes.empty() ? nullptr : map->actions.bytes.data();
	contents.map_action_count = map->actions.count;
	contents.map_action_buffer_size = static_cast<int32>(map->actions.bytes.size());

	// Load the draft, let the engine work on it, and take its results back.
	int32 size = 0;
	uint8 *draft = build_mesh_tag_data(&contents, &size);
	if (!draft) return {};
	const boolean loaded = load_mesh_from_tag_data(draft, size, MESH_VERSION_NUMBER, "draft");
	dispose_pointer(draft);
	if (!loaded) return {};

	sort_markers_before_saving();
	precalculate_mesh_normals(0, 0, width, height);
	recalculate_LOD_for_cell_region(0, 0, width - 1, height - 1);
	for (int32 i = 0; i < width * height; ++i) map->cells[i].normal = mesh_globals->mesh_cells[i].normal;
	map->markers.assign(mesh_globals->markers, mesh_globals->markers + mesh_globals->marker_count);
	LOD.assign(mesh_globals->mesh_LOD_data, mesh_globals->mesh_LOD_data + LOD.size());
	dispose_mesh_from_old_map();

	contents.markers = map->markers.data();
	contents.LOD_data = LOD.data();
	uint8 *data = build_mesh_tag_data(&contents, &size);
	if (!data) return {};
	std::vector<uint8> bytes(data, data + size);
	dispose_pointer(data);
	return bytes;
}

namespace {

int32 wave(int32 index, int32 shift)
{
	return sine_table[index & (NUMBER_OF_TRIG_TABLE_ENTRIES - 1)] >> shift;
}

/* ---------- the demo map */

// Palette rows are numbered within their marker type.
} // namespace

int32 count_palette_rows(const map_description &map, int16 type)
{
	int32 count = 0;
	for (const marker_palette_entry &entry : map.palette) count += entry.type == type ? 1 : 0;
	return count;
}

namespace {

const int32 demo_lake_x = 20, demo_lake_y = 60, demo_lake_radius = 9;
const short_world_distance demo_lake_surface = 160;

// Rocks (two sharing a cell), a fence of three posts and a bomb lying
// beside the hut, which starts asleep for want of a vertical velocity.
void add_demo_scenery_and_bomb(map_description *map, int32 width)
{
	const int16 rock_row = 1, post_row = 2;
	map->palette.push_back(palette_row(_marker_scenery, DEMO_ROCK_TAG, NONE, 0xFFFF));
	map->palette.push_back(palette_row(_marker_scenery, DEMO_POST_TAG, NONE, 0xFFFF));
	map->palette.push_back(palette_row(_marker_projectile, DEMO_BOMB_TAG, NONE, 0xFFFF));
	const int32 cell = WORLD_ONE;
	const world_point2d rocks[] = {{40 * cell + 100, 30 * cell + 100}, {40 * cell + 350, 30 * cell + 300},
		{42 * cell + 256, 30 * cell + 256}, {38 * cell + 256, 32 * cell + 256}};
	for (int16 i = 0; i < 4; ++i) map->markers.push_back(marker_at(_marker_scenery, rock_row, static_cast<int16>(601 + i),
		rocks[i].x, rocks[i].y, 0));
	saved_connector_data fence = {};
	for (int16 i = 0; i < 3; ++i)
	{
		const int16 identifier = static_cast<int16>(DEMO_FIRST_POST_IDENTIFIER + i);
		map->markers.push_back(marker_at(_marker_scenery, post_row, identifier, (44 + 3 * i) * cell + 256, 20 * cell + 256, 0));
		fence.identifiers[i] = identifier;
	}
	fence.count = 3;
	map->connectors.push_back(fence);
	map->header.connector_tag = DEMO_FENCE_TAG;
	marker_data bomb = marker_at(_marker_projectile, 0, 701, DEMO_BOMB_CELL_X * cell + 256, DEMO_BOMB_CELL_Y * cell + 256, 0);
	bomb.location.position.z = map->cells[static_cast<size_t>(DEMO_BOMB_CELL_Y * width + DEMO_BOMB_CELL_X)].height;
	map->markers.push_back(bomb);
}

/* ---------- flag markers (the flag games' banners and ball) */

// Team banners near each side's start and a neutral ball midway between the
// fronts; the default scoring makes neither, so the default battles are unchanged.
void add_demo_flag_markers(map_description *map)
{
	const int16 first_row = static_cast<int16>(count_palette_rows(*map, _marker_scenery));
	map->palette.push_back(palette_row(_marker_scenery, DEFAULT_BANNER_SCENERY_TAG, 0, 0xFFFF));
	map->palette.push_back(palette_row(_marker_scenery, DEFAULT_BANNER_SCENERY_TAG, 1, 0xFFFF));
	map->palette.push_back(palette_row(_marker_scenery, DEFAULT_BALL_SCENERY_TAG, NONE, 0xFFFF));
	const int32 cell = WORLD_ONE;
	map->markers.push_back(marker_at(_marker_scenery, first_row, 801, 40 * cell + 256, 52 * cell + 256, 0));
	map->markers.push_back(marker_at(_marker_scenery, static_cast<int16>(first_row + 1), 802, 40 * cell + 256, 82 * cell + 256, 0));
	map->markers.push_back(marker_at(_marker_scenery, static_cast<int16>(first_row + 2), 803, 42 * cell + 256, 67 * cell + 256, 0));
}

void add_benchmark_flag_markers(map_description *map)
{
	const int16 first_row = static_cast<int16>(count_palette_rows(*map, _marker_scenery));
	map->palette.push_back(palette_row(_marker_scenery, DEFAULT_BANNER_SCENERY_TAG, 0, 0xFFFF));
	map->palette.push_back(palette_row(_marker_scenery, DEFAULT_BANNER_SCENERY_TAG, 1, 0xFFFF));
	const int32 cell = WORLD_ONE;
	// Amid the battle: each just in front of its own army's first rank.
	map->markers.push_back(marker_at(_marker_scenery, first_row, 3801, 112 * cell + 256, 124 * cell + 256, 0));
	map->markers.push_back(marker_at(_marker_scenery, static_cast<int16>(first_row + 1), 3802, 124 * cell + 256, 132 * cell + 256, 0));
}
// The thatched cottage at (20, 50), on the shore south of the lake's centre,
// where the water reflects it and the armies' ranks are well clear of it.
void add_demo_cottage(map_description *map, int32 width)
{
	map->palette.push_back(palette_row(_marker_model, DEMO_COTTAGE_TAG, NONE, 0xFFFF));
	const int16 cottage_row = 1; // the second model row, after the hut
	marker_data cottage = marker_at(_marker_model, cottage_row, DEMO_COTTAGE_IDENTIFIER, DEMO_COTTAGE_CELL_X * WORLD_ONE,
		DEMO_COTTAGE_CELL_Y * WORLD_ONE, 16384);
	cottage.location.pitch = 49152;
	cottage.location.position.z = map->cells[static_cast<size_t>(DEMO_COTTAGE_CELL_Y * width + DEMO_COTTAGE_CELL_X)].height;
	map->markers.push_back(cottage);
}

void add_demo_units(map_description *map, int32 width);
void add_demo_trading_markers(map_description *map, int32 width);

} // namespace

map_description demo_map(void)
{
	ensure_mesh_modules();
	map_description map;
	initialize_mesh_header(&map.header, 2, 3);
	mesh_header *header = &map.header;
	header->landscape_collection_tag = DEMO_LANDSCAPE_COLLECTION_TAG;
	header->media_tag = VALLEY_LAKE_MEDIA_TAG;
	header->flags = FLAG(0) | FLAG(2) | FLAG(9) | _mesh_is_single_player_entry_point_flag | _mesh_is_complete_flag |
		_mesh_can_be_used_by_demo_flag;
	header->team_count = 2;
	header->ceiling_height = 2048;
	header->fog_color = {52000, 56000, 60000, 0};
	// About a fifth at the start focus, four fifths at 64 cells: drawn fog only.
	header->fog_density = 0.00005f;
	header->global_tint_color = {65535, 60000, 52000, 0};
	header->global_tint_fraction = 16;
	header->blood_color = {40000, 0, 0, 0};
	header->map_description_string_list_tag = DEMO_DESCRIPTION_STRING_LIST_TAG;

	const int32 width = 64, height = 96;
	map.cells.resize(static_cast<size_t>(width * height));
	for (int32 y = 0; y < height; ++y)
	{
		for (int32 x = 0; x < width; ++x)
		{
			mesh_cell &cell = map.cells[static_cast<size_t>(y * width + x)];
			const int32 dx = x - demo_lake_x, dy = y - demo_lake_y;
			const int32 distance2 = dx * dx + dy * dy;
			int32 h = 320 + wave(x * 24, 6) + wave(y * 17 + 300, 6) + wave((x + y) * 40, 8);
			if (y > 80) h += (y - 80) * 24; // hills to the north
			uint16 flags = terrain_pair(_terrain_grass, _terrain_grass);
			if (y < 12) flags = terrain_pair(_terrain_desert, _terrain_desert);
			else if (y > 84) flags = terrain_pair(_terrain_snow, _terrain_rocky);
			else if ((x / 6 + y / 5) % 7 == 0) flags = terrain_pair(_terrain_forest, _terrain_forest);

			if (distance2 <= demo_lake_radius * demo_lake_radius)
			{
				// The lake bed drops towards the middle; depth sets the media terrain.
				const int32 depth = (demo_lake_radius * demo_lake_radius - distance2) * 6 + 20;
				h = demo_lake_surface - depth;
				const int16 kind = static_cast<int16>(depth < 80 ? _terrain_media_dwarf_depth
					: depth < 200 ? _terrain_media_human_depth
					: depth < 400 ? _terrain_media_giant_depth : _terrain_media_deep);
				flags = static_cast<uint16>(terrain_pair(kind, kind) | _mesh_cell_triangle_media_flags |
					_mesh_cell_has_reflection_flag);
			}
			else if (distance2 <= (demo_lake_radius + 1) * (demo_lake_radius + 1))
			{
				// The shore: the second triangle wet, the first marsh.
				h = demo_lake_surface + 10;
				flags = static_cast<uint16>(terrain_pair(_terrain_marsh, _terrain_media_dwarf_depth) |
					_mesh_cell_triangle1_is_media_flag | _mesh_cell_has_reflection_flag);
			}
			// A rocky ridge no one walks over.
			if (x == 44 && y >= 30 && y < 50)
			{
				flags = terrain_pair(_terrain_walking_impassable, _terrain_walking_impassable);
				h += 300;
			}
			cell.height = static_cast<short_world_distance>(h);
			cell.media_height = demo_lake_surface;
			cell.flags = flags;
			cell.first_object_index = NONE;
			cell.model_index = NONE;
		}
	}

	map.palette = {
		palette_row(_marker_team, static_cast<file_tag>(NONE), NONE, 0xFFFF),
		palette_row(_marker_monster, DEFAULT_SWORDSMAN_TAG, 0, 0xFFFF),
		palette_row(_marker_monster, DEFAULT_ARCHER_TAG, 0, 0xFFFF),
		palette_row(_marker_monster, DEFAULT_THROWER_TAG, 0, 0xFFFF),
		palette_row(_marker_monster, DEFAULT_SCOUT_TAG, 0, 0xFFFF),
		palette_row(_marker_monster, DEFAULT_SWORDSMAN_TAG, 1, 0xFFFF),
		palette_row(_marker_monster, DEFAULT_ARCHER_TAG, 1, 0xFFFF),
		palette_row(_marker_monster, DEFAULT_THROWER_TAG, 1, 0xFFFF),
		palette_row(_marker_monster, DEFAULT_SCOUT_TAG, 1, 0xFFFF),
		palette_row(_marker_scenery, DEMO_TREE_TAG, NONE, 0xFFFF),
		palette_row(_marker_sound_source, DEMO_BROOK_TAG, NONE, 0xFFFF),
		palette_row(_marker_model, DEMO_HUT_TAG, NONE, 0xFFFF),
	};
	map.palette[1].flags = _marker_palette_may_use_veterans_flag;

	const int32 cell = WORLD_ONE;
	map.markers = {
		marker_at(_marker_team, 0, 0, 12 * cell, 20 * cell, 0x2000),
		marker_at(_marker_team, 0, 0, 50 * cell, 76 * cell, 0xA000),
		marker_at(_marker_scenery, 0, 0, 30 * cell, 40 * cell, 0),
		marker_at(_marker_scenery, 0, 3, 31 * cell + 200, 43 * cell, 0x1000),
		marker_at(_marker_scenery, 0, 0, 8 * cell, 70 * cell, 0),
		marker_at(_marker_scenery, 0, 7, 36 * cell, 55 * cell + 300, 0),
		marker_at(_marker_scenery, 0, 0, 55 * cell, 30 * cell, 0x8000),
		marker_at(_marker_scenery, 0, 0, 26 * cell, 75 * cell, 0),
		marker_at(_marker_sound_source, 0, 0, demo_lake_x * cell, demo_lake_y * cell, 0),
		marker_at(_marker_sound_source, 0, 12, 44 * cell, 40 * cell, 0),
	};
	add_demo_units(&map, width);
	map.actions = demo_script_section();
	// Ambient sound sources carry their permutation in the first user word
	// (native here; the marker list is swapped on writing).
	const uint16 permutation = 1;
	memcpy(map.markers[8].user_data, &permutation, sizeof(permutation));

	// The stone hut, upright on a grid vertex at the height of its cell (permutation 0).
	marker_data hut = marker_at(_marker_model, 0, 0, DEMO_HUT_CELL_X * cell, DEMO_HUT_CELL_Y * cell, 16384);
	hut.location.pitch = 49152;
	hut.location.position.z = map.cells[static_cast<size_t>(DEMO_HUT_CELL_Y * width + DEMO_HUT_CELL_X)].height;
	map.markers.push_back(hut);
	add_demo_scenery_and_bomb(&map, width);
	add_demo_flag_markers(&map);
	add_demo_cottage(&map, width);
	add_demo_trading_markers(&map, width);
	stand_scenery_on_ground(&map);
	return map;
}

namespace {

/* ---------- the units of the maps */

// A unit marker at a grid vertex, at the height of its cell.
marker_data unit_marker_at(const map_description &map, int32 width, int16 palette_index, int32 x, int32 y, angle yaw)
{
	marker_data marker = marker_at(_marker_monster, palette_index, 0, x * WORLD_ONE, y * WORLD_ONE, yaw);
	marker.location.position.z = map.cells[static_cast<size_t>(y * width + x)].height;
	return marker;
}

// Two armies facing each other across the valley: team 0 below, team 1 its
// mirror above, with two swordsmen more for harder games.
void add_demo_units(map_description *map, int32 width)
{
	for (int16 team = 0; team < 2; ++team)
	{
		const angle yaw = team == 0 ? 0x4000 : 0xC000;
		const int16 row = static_cast<int16>(team * NUMBER_OF_DEFAULT_UNIT_KINDS);
		auto place = [&](int16 kind, int32 x, int32 y)
		{
			map->markers.push_back(unit_marker_at(*map, width, static_cast<int16>(row + kind), x, team == 0 ? y : 134 - y, yaw));
		};
		for (int32 i = 0; i < 6; ++i) place(0, 34 + 3 * i, 62);
		for (int32 i = 0; i < 4; ++i) place(1, 36 + 4 * i, 59);
		place(2, 40, 57);
		place(2, 48, 57);
		place(3, 32, 63);
		place(3, 52, 63);
	}
	for (const int32 x : {37, 43})
	{
		marker_data marker = unit_marker_at(*map, width, NUMBER_OF_DEFAULT_UNIT_KINDS, x, 73, 0xC000);
		marker.minimum_difficulty_level = 3;
		map->markers.push_back(marker);
	}
}

/* ---------- unit trading on the demo map */

// Archers and throwers of both teams may be traded, and each team holds a
// hidden archer pair and thrower that trading can bring out, so points can
// move between kinds.
void add_demo_trading_markers(map_description *map, int32 width)
{
	for (int16 team = 0; team < 2; ++team)
	{
		const int16 row = static_cast<int16>(team * NUMBER_OF_DEFAULT_UNIT_KINDS);
		for (const int16 kind : {int16(1), int16(2)})
		{
			// The team row comes first in the palette, so monster row r is entry r + 1.
			marker_palette_entry &entry = map->palette[static_cast<size_t>(row + kind + 1)];
			entry.flags = static_cast<uint16>(entry.flags | _marker_palette_may_be_traded_flag);
		}
		const angle yaw = team == 0 ? 0x4000 : 0xC000;
		const struct { int16 kind; int32 x, y; } hidden[] = {{1, 38, 56}, {1, 46, 56}, {2, 44, 55}};
		for (const auto &unit : hidden)
		{
			marker_data marker = unit_marker_at(*map, width, static_cast<int16>(row + unit.kind), unit.x,
				team == 0 ? unit.y : 134 - unit.y, yaw);
			marker.flags |= _marker_is_invisible_flag;
			map->markers.push_back(marker);
		}
	}
}

/* ---------- the benchmark map */

// A walled pen east of the armies, open towards them by a four-cell gap:
// units crowd through it in the movement benchmark.
const int32 pen_x0 = 176, pen_x1 = 200, pen_y0 = 116, pen_y1 = 140;
const int32 pen_gap_y0 = 126, pen_gap_y1 = 129;
std::string benchmark_pen_error;

bool in_pen(int32 x, int32 y, int32 margin)
{
	return x >= pen_x0 - margin && x <= pen_x1 + margin && y >= pen_y0 - margin && y <= pen_y1 + margin;
}

void add_benchmark_pen(map_description *map, int32 width)
{
	benchmark_pen_error.clear();
	for (int32 y = pen_y0; y <= pen_y1; ++y)
	{
		for (int32 x = pen_x0; x <= pen_x1; ++x)
		{
			mesh_cell &cell = map->cells[static_cast<size_t>(y * width + x)];
			const bool wall = x == pen_x0 || x == pen_x1 || y == pen_y0 || y == pen_y1;
			const bool gap = x == pen_x0 && y >= pen_gap_y0 && y <= pen_gap_y1;
			if (wall && !gap)
			{
				cell.flags = terrain_pair(_terrain_walking_impassable, _terrain_walking_impassable);
				cell.height = static_cast<short_world_distance>(cell.height + 300);
			}
			else
			{
				cell.flags = terrain_pair(_terrain_grass, _terrain_grass);
			}
		}
	}
	// Trees in the pen or on its walls move 40 cells east, so the count holds.
	for (size_t i = 0; i < map->markers.size(); ++i)
	{
		marker_data &marker = map->markers[i];
		const int32 x = marker.location.position.x / WORLD_ONE, y = marker.location.position.y / WORLD_ONE;
		if (marker.type == _marker_monster && in_pen(x, y, 2) && benchmark_pen_error.empty())
		{
			benchmark_pen_error = "unit marker #" + std::to_string(i) + " lies within 2 cells of the benchmark pen";
		}
		if (marker.type == _marker_scenery && in_pen(x, y, 0)) marker.location.position.x += 40 * WORLD_ONE;
	}
}

map_description benchmark_map(void)
{
	ensure_mesh_modules();
	map_description map;
	initialize_mesh_header(&map.header, 8, 8);
	mesh_header *header = &map.header;
	header->landscape_collection_tag = BENCHMARK_LANDSCAPE_COLLECTION_TAG;
	header->media_tag = DEFAULT_MEDIA_TAG;
	header->flags = 0x3FF | _mesh_is_complete_flag;
	header->team_count = 2;

	const int32 width = 256, height = 256;
	content_generator generator = {0xB0C4u};
	map.cells.resize(static_cast<size_t>(width * height));
	for (int32 y = 0; y < height; ++y)
	{
		for (int32 x = 0; x < width; ++x)
		{
			mesh_cell &cell = map.cells[static_cast<size_t>(y * width + x)];
			int32 h = 400 + wave(x * 9, 5) + wave(y * 13 + 200, 5) + generator.below(32);
			uint16 flags = terrain_pair(static_cast<int16>(_terrain_grass + (x / 16 + y / 16) % 6),
				static_cast<int16>(_terrain_grass + (x / 16 + y / 16) % 6));
			for (int32 lake = 0; lake < 4; ++lake)
			{
				const int32 dx = x - (48 + lake * 52), dy = y - (60 + (lake % 2) * 120);
				if (dx * dx + dy * dy < 120)
				{
					h = 100;
					flags = static_cast<uint16>(terrain_pair(_terrain_media_human_depth, _terrain_media_human_depth) |
						_mesh_cell_triangle_media_flags);
				}
			}
			if (x % 29 == 0 && y % 7 < 3) flags = terrain_pair(_terrain_walking_impassable, _terrain_walking_impassable);
			cell.height = static_cast<short_world_distance>(h);
			cell.media_height = 180;
			cell.flags = flags;
			cell.first_object_index = NONE;
			cell.model_index = NONE;
		}
	}

	// 56 rows: 8 observers, 8 unit rows (the four kinds of team 0, then of team 1), 32 scenery, 8 sounds.
	for (int16 i = 0; i < 8; ++i) map.palette.push_back(palette_row(_marker_team, static_cast<file_tag>(NONE), NONE, 0xFFFF));
	for (int16 i = 0; i < 2 * NUMBER_OF_DEFAULT_UNIT_KINDS; ++i)
	{
		map.palette.push_back(palette_row(_marker_monster, default_unit_kind_tags[i % NUMBER_OF_DEFAULT_UNIT_KINDS],
			static_cast<int16>(i / NUMBER_OF_DEFAULT_UNIT_KINDS), 0xFFFF));
	}
	for (int16 i = 0; i < 32; ++i) map.palette.push_back(palette_row(_marker_scenery, DEMO_TREE_TAG, NONE, 0xFFFF));
	for (int16 i = 0; i < 8; ++i) map.palette.push_back(palette_row(_marker_sound_source, DEMO_BROOK_TAG, NONE, 0xFFFF));

	const int32 extent = width * WORLD_ONE;
	const struct
	{
		int16 type;
		int16 rows;
		int32 count;
	} kinds[] = {{_marker_team, 8, 8}, {_marker_monster, 16, 300}, {_marker_scenery, 32, 1100}, {_marker_sound_source, 8, 92}};
	for (const auto &kind : kinds)
	{
		for (int32 i = 0; i < kind.count; ++i)
		{
			const int16 identifier = static_cast<int16>(i % 3 == 0 ? 0 : 2000 + i);
			// One draw per statement: argument order is the compiler's choice.
			const world_distance x = generator.below(extent);
			const world_distance y = generator.below(extent);
			const angle yaw = static_cast<angle>(generator.below(65536));
			// The old unit markers' draws are kept so every other marker keeps its place.
			if (kind.type == _marker_monster) continue;
			map.markers.push_back(marker_at(kind.type, static_cast<int16>(i % kind.rows), identifier, x, y, yaw));
		}
	}
	// Two armies of 200 in ranks, 20 abreast: five rows of swordsmen, three of
	// archers, one of bomb throwers and one of scouts per team.
	std::vector<marker_data> units;
	for (int16 team = 0; team < 2; ++team)
	{
		for (int32 r = 0; r < 10; ++r)
		{
			const int16 kind = r < 5 ? 0 : r < 8 ? 1 : r < 9 ? 2 : 3;
			for (int32 c = 0; c < 20; ++c)
			{
				const int32 x = 99 + 2 * c, y = team == 0 ? 122 - 2 * r : 134 + 2 * r;
				units.push_back(unit_marker_at(map, width, static_cast<int16>(team * NUMBER_OF_DEFAULT_UNIT_KINDS + kind), x, y,
					team == 0 ? 0x4000 : 0xC000));
			}
		}
	}
	// No tree stands in the ranks: scenery within a cell of a unit moves 64 cells west.
	for (marker_data &marker : map.markers)
	{
		if (marker.type != _marker_scenery) continue;
		for (const marker_data &unit : units)
		{
			const world_distance dx = marker.location.position.x - unit.location.position.x;
			const world_distance dy = marker.location.position.y - unit.location.position.y;
			if (dx >= -WORLD_ONE && dx <= WORLD_ONE && dy >= -WORLD_ONE && dy <= WORLD_ONE)
			{
				marker.location.position.x -= 64 * WORLD_ONE;
				break;
			}
		}
	}
	map.markers.insert(map.markers.end(), units.begin(), units.end());
	add_benchmark_pen(&map, width);
	add_benchmark_flag_markers(&map);
	return map;
}

/* ---------- collections, media and tags */

// The landscape's colour families: eight ramps of 32 shades.
enum
{
	_family_grass,
	_family_sand,
	_family_forest,
	_family_water,
	_family_rock,
	_family_marsh,
	_family_snow,
	_family_ridge,
	NUMBER_OF_FAMILIES
};

// Shade 0 of every family stays unused: an 8-bit bitmap holding index 0 is
// colour-keyed, and the blend table takes 0 for no colour.
#define FIRST_SHADE 1
#define LAST_SHADE 31

int32 cell_family(const mesh_cell &cell)
{
	const int32 terrain = cell.flags & CELL_TERRAIN_TYPE_MASK;
	if (terrain < NUMBER_OF_MEDIA_TERRAIN_TYPES) return _family_water;
	switch (terrain)
	{
	case _terrain_desert: return _family_sand;
	case _terrain_snow: return _family_snow;
	case _terrain_rocky: return _family_rock;
	case _terrain_marsh: return _family_marsh;
	case _terrain_forest: return _family_forest;
	default: return terrain >= _terrain_walking_impassable ? _family_ridge : _family_grass;
	}
}

uint32 texel_hash(int32 x, int32 y, uint32 seed)
{
	uint32 h = static_cast<uint32>(x) * 0x8DA6B343u ^ static_cast<uint32>(y) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
	h ^= h >> 13;
	h *= 0x5BD1E995u;
	return h ^ (h >> 15);
}

// Smooth value noise over world texels in [-1, 1]: lattice values blended
// with a smoothstep, so neighbouring texels differ little anywhere.
double value_noise(int32 x, int32 y, int32 spacing, uint32 seed)
{
	const int32 x0 = x / spacing, y0 = y / spacing;
	const double fx = static_cast<double>(x % spacing) / spacing, fy = static_cast<double>(y % spacing) / spacing;
	const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
	auto lattice = [&](int32 i, int32 j) { return static_cast<double>(texel_hash(i, j, seed) & 0xFFFF) / 32767.5 - 1; };
	const double top = lattice(x0, y0) + (lattice(x0 + 1, y0) - lattice(x0, y0)) * sx;
	const double bottom = lattice(x0, y0 + 1) + (lattice(x0 + 1, y0 + 1) - lattice(x0, y0 + 1)) * sx;
	return top + (bottom - top) * sy;
}

struct landscape_texel_source
{
	const map_description *map;
	int32 width, height;
	std::vector<double> light; // per grid vertex, baked from the terrain's normals
	std::vector<double> depth; // per grid vertex: media height above the ground
	std::vector<double> shore; // per grid vertex: cells to the nearest flooded vertex, at most 3
	std::vector<double> canopy; // per world texel: how much tree shade falls there

	const mesh_cell &cell(int32 x, int32 y) const
	{
		return map->cells[static_cast<size_t>(PIN(y, 0, height - 1) * width + PIN(x, 0, width - 1))];
	}
	// Bilinear across a cell's texels from its four corner vertices.
	double at_vertex(const std::vector<double> &values, int32 gx, int32 gy) const
	{
		const int32 x = gx / MESH_TEXELS_PER_CELL, y = gy / MESH_TEXELS_PER_CELL;
		const double fx = (gx % MESH_TEXELS_PER_CELL + 0.5) / MESH_TEXELS_PER_CELL;
		const double fy = (gy % MESH_TEXELS_PER_CELL + 0.5) / MESH_TEXELS_PER_CELL;
		auto v = [&](int32 i, int32 j) { return values[static_cast<size_t>(PIN(j, 0, height - 1) * width + PIN(i, 0, width - 1))]; };
		const double top = v(x, y) + (v(x + 1, y) - v(x, y)) * fx;
		const double bottom = v(x, y + 1) + (v(x + 1, y + 1) - v(x, y + 1)) * fx;
		return top + (bottom - top) * fy;
	}
};

landscape_texel_source make_texel_source(const map_description &map)
{
	landscape_texel_source source;
	source.map = &map;
	source.width = map.header.submesh_width * SUBMESH_WIDTH;
	source.height = map.header.submesh_height * SUBMESH_WIDTH;
	const int32 width = source.width, height = source.height;
	source.light.resize(static_cast<size_t>(width * height));
	source.depth.resize(static_cast<size_t>(width * height));
	source.shore.resize(static_cast<size_t>(width * height));
	// The sun low in the south-west, so slopes read.
	const double sun[3] = {-0.45, -0.35, 0.82};
	for (int32 y = 0; y < height; ++y)
	{
		for (int32 x = 0; x < width; ++x)
		{
			const double dx = (source.cell(x + 1, y).height - source.cell(x - 1, y).height) / (2.0 * WORLD_ONE);
			const double dy = (source.cell(x, y + 1).height - source.cell(x, y - 1).height) / (2.0 * WORLD_ONE);
			const double length = sqrt(dx * dx + dy * dy + 1);
			const double lit = (-dx * sun[0] - dy * sun[1] + sun[2]) / length;
			const size_t i = static_cast<size_t>(y * width + x);
			source.light[i] = lit > 0 ? lit : 0;
			source.depth[i] = source.cell(x, y).media_height - source.cell(x, y).height;
		}
	}
	// Distances to the water, smooth between vertices, so the sand follows the shore's curve.
	for (int32 y = 0; y < height; ++y)
	{
		for (int32 x = 0; x < width; ++x)
		{
			double nearest = 3;
			for (int32 j = -3; j <= 3; ++j)
			{
				for (int32 k = -3; k <= 3; ++k)
				{
					const int32 terrain = source.cell(x + k, y + j).flags & CELL_TERRAIN_TYPE_MASK;
					if (terrain >= NUMBER_OF_MEDIA_TERRAIN_TYPES || source.cell(x + k, y + j).media_height <= source.cell(x + k, y + j).height)
						continue;
					nearest = MIN(nearest, sqrt(static_cast<double>(j * j + k * k)));
				}
			}
			source.shore[static_cast<size_t>(y * width + x)] = nearest;
		}
	}
	// Soft shade under every tree.
	const int32 texels_wide = width * MESH_TEXELS_PER_CELL, texels_high = height * MESH_TEXELS_PER_CELL;
	source.canopy.assign(static_cast<size_t>(texels_wide) * static_cast<size_t>(texels_high), 0);
	int16 tree_row = NONE, row = 0;
	for (const marker_palette_entry &entry : map.palette)
	{
		if (entry.type != _marker_scenery) continue;
		if (entry.tag == DEMO_TREE_TAG) tree_row = row;
		row += 1;
	}
	const int32 reach = 4; // texels: a tree's crown and a little more
	for (const marker_data &marker : map.markers)
	{
		if (marker.type != _marker_scenery || marker.palette_index != tree_row || tree_row == NONE) continue;
		const int32 cx = marker.location.position.x * MESH_TEXELS_PER_CELL / WORLD_ONE;
		const int32 cy = marker.location.position.y * MESH_TEXELS_PER_CELL / WORLD_ONE;
		for (int32 y = MAX(cy - reach, 0); y <= MIN(cy + reach, texels_high - 1); ++y)
		{
			for (int32 x = MAX(cx - reach, 0); x <= MIN(cx + reach, texels_wide - 1); ++x)
			{
				const double r = sqrt(static_cast<double>((x - cx) * (x - cx) + (y - cy) * (y - cy))) / reach;
				if (r >= 1) continue;
				double &shade = source.canopy[static_cast<size_t>(y) * static_cast<size_t>(texels_wide) + static_cast<size_t>(x)];
				shade = MIN(1.0, shade + (1 - r) * (1 - r));
			}
		}
	}
	return source;
}

// The family a world texel shows: terrain types meet over a dithered band of
// two or three texels; water and its sand shore follow the interpolated depth.
int32 texel_family(const landscape_texel_source &source, int32 gx, int32 gy, double *depth)
{
	*depth = source.at_vertex(source.depth, gx, gy);
	const double shore = source.at_vertex(source.shore, gx, gy);
	if (shore < 1 && *depth > 0) return _family_water;
	if (shore < 1.6 + 0.4 * value_noise(gx, gy, 9, 0x53414E44u)) return _family_sand;
	const uint32 h = texel_hash(gx, gy, 0x44495448u);
	const int32 jx = static_cast<int32>(h % 5) - 2, jy = static_cast<int32>((h >> 8) % 5) - 2;
	const int32 family = cell_family(source.cell((gx + jx) / MESH_TEXELS_PER_CELL, (gy + jy) / MESH_TEXELS_PER_CELL));
	// A dithered neighbour of the lake keeps to the land.
	return family == _family_water ? _family_sand : family;
}

rgb_color family_color(int32 family, int32 shade)
{
	// Each family a narrow ramp, about 15% either side of its middle, drifting
	// a little warmer as it brightens; water darkens with depth instead.
	static const double bases[NUMBER_OF_FAMILIES][3] = {{0.30, 0.50, 0.20}, {0.78, 0.70, 0.48}, {0.20, 0.38, 0.16},
		{0.20, 0.38, 0.55}, {0.50, 0.48, 0.44}, {0.36, 0.42, 0.26}, {0.90, 0.92, 0.95}, {0.42, 0.37, 0.32}};
	const double t = static_cast<double>(shade - FIRST_SHADE) / (LAST_SHADE - FIRST_SHADE);
	double level = 0.85 + 0.30 * t, warm = (t - 0.5) * 0.06;
	if (family == _family_water)
	{
		level = 1.25 - 0.75 * t;
		warm = 0;
	}
	rgb_color color = {};
	const double rgb[3] = {bases[family][0] * level * (1 + warm), bases[family][1] * level,
		bases[family][2] * level * (1 - warm)};
	color.red = static_cast<uint16>(PIN(static_cast<int32>(rgb[0] * 65535), 0, 65535));
	color.green = static_cast<uint16>(PIN(static_cast<int32>(rgb[1] * 65535), 0, 65535));
	color.blue = static_cast<uint16>(PIN(static_cast<int32>(rgb[2] * 65535), 0, 65535));
	return color;
}

// One colour and one shadow map per submesh. Colours: each family's ramp
// walked by smooth low-contrast noise over world texels, with no term of the
// cell, so nothing marks a cell's edge. Shadows: lighting baked from the
// terrain's normals, bilinear across each cell, softly darker under trees.
collection_description landscape_collection(const map_description &map)
{
	collection_description collection = {};
	collection.user_data_flags = _collection_is_color_map_flag;
	collection.colors.color_count = 256;
	for (int32 i = 0; i < 256; ++i)
	{
		collection.colors.colors[i] = family_color(i >> 5, PIN(i & 31, FIRST_SHADE, LAST_SHADE));
		collection.colors.colors[i].flags = 0;
	}
	collection.remapping_table.resize(256);
	for (int32 i = 0; i < 256; ++i) collection.remapping_table[i] = static_cast<uint8>(i < 224 ? 224 + (i & 31) : i);
	// Filtered terrain mixes neighbouring texels through it.
	collection.blend_table.assign(BLEND_TABLE_SIZE, 0);
	build_blend_table(&collection.colors, collection.blend_table.data());

	const landscape_texel_source source = make_texel_source(map);
	const int32 texels_wide = source.width * MESH_TEXELS_PER_CELL;
	const int32 submesh_width = map.header.submesh_width;
	const int32 submeshes = submesh_width * map.header.submesh_height;
	const int32 submesh_texels = SUBMESH_WIDTH * MESH_TEXELS_PER_CELL;
	for (int32 n = 0; n < submeshes; ++n)
	{
		const int32 sx = n % submesh_width, sy = n / submesh_width;
		collection_bitmap_description color = plain_collection_bitmap(("color " + std::to_string(n)).c_str(), 256, 256, 8);
		collection_bitmap_description shadow = plain_collection_bitmap(("shadow " + std::to_string(n)).c_str(), 256, 256, 8);
		for (int32 ty = 0; ty < 256; ++ty)
		{
			for (int32 tx = 0; tx < 256; ++tx)
			{
				const int32 gx = sx * submesh_texels + tx, gy = sy * submesh_texels + ty;
				double depth;
				const int32 family = texel_family(source, gx, gy, &depth);
				int32 shade;
				uint8 s;
				if (family == _family_water)
				{
					// Deeper is darker, smoothly, with a faint ripple.
					shade = static_cast<int32>(FIRST_SHADE + 4 + depth / 20 + 1.5 * value_noise(gx, gy, 7, 0x57415452u));
					s = 200; // the visible surface is the flat media
				}
				else
				{
					const double noise = 0.7 * value_noise(gx, gy, 23, 0x4C414E44u) + 0.3 * value_noise(gx, gy, 6, 0x47524153u);
					shade = static_cast<int32>(16.5 + 12 * noise);
					const double canopy = source.canopy[static_cast<size_t>(gy) * static_cast<size_t>(texels_wide) + static_cast<size_t>(gx)];
					s = static_cast<uint8>(PIN(static_cast<int32>(96 + 120 * source.at_vertex(source.light, gx, gy) - 40 * canopy), 40, 250));
				}
				color.pixels[static_cast<size_t>(ty * 256 + tx)] =
					static_cast<uint8>(family * 32 + PIN(shade, FIRST_SHADE, LAST_SHADE));
				shadow.pixels[static_cast<size_t>(ty * 256 + tx)] = s;
			}
		}
		collection.bitmaps.push_back(std::move(color));
		collection.bitmaps.push_back(std::move(shadow));
	}
	return collection;
}

} // namespace

media_definition lake_media(void)
{
	media_definition media = default_media_definition;
	media.collection_reference_tag = DEFAULT_MEDIA_REFERENCE_TAG;
	media.reflection_tint_fraction = 96;
	media.reflection_tint_color = {8000, 20000, 40000, 0};
	media.surface_effect_density = 0;
	media.wobble_magnitude = {4, 4, 2};
	media.wobble_phase_multiplier = {3, 5, 1};
	media.effects_per_cell = 0;
	media.time_between_building_effects = 30;
	media.reflection_transparency = 0x8000;
	for (int16 slot = _media_projectile_group_small_splash; slot <= _media_projectile_group_large_splash; ++slot)
	{
		media.projectile_group_tags[slot] = TAG("splh");
	}
	return media;
}

namespace {

collection_reference lake_reference(void)
{
	collection_reference reference = *get_default_collection_reference();
	reference.collection_tag = DEMO_LANDSCAPE_COLLECTION_TAG;
	reference.number_of_permutations = 1;
	reference.tint_fraction = 0;
	return reference;
}

} // namespace

int32 make_mesh_tag(file_tag subgroup, const char *name, const std::vector<uint8> &bytes, uint32 user_data)
{
	if (bytes.empty()) return NONE;
	int32 handle = tag_file_new_with_subgroup_tag(MESH_DEFINITION_GROUP_TAG, name, subgroup, MESH_VERSION_NUMBER,
		bytes.data(), static_cast<int32>(bytes.size()));
	if (handle != NONE && !tag_file_set_header_user_data(&handle, user_data)) return NONE;
	return handle;
}

namespace {

// The demo valley again under its own tag, printed name and description list
// (maps of one printed name hide each other).
bool make_demo_copy(const map_description &demo, file_tag mesh_tag, const char *name, file_tag description_tag,
	const char *const (&description)[2], std::vector<int32> *handles, bool keeps_script)
{
	const std::string list_name = std::string(description[0]) + " description";
	const int32 list = make_string_list_tag(description_tag, list_name.c_str(), description,
		static_cast<int32>(NUMBEROF(description)));
	map_description copy = demo;
	copy.header.map_description_string_list_tag = description_tag;
	// The demo's script ends its game at a set tick: training and the menu's game play on.
	if (!keeps_script) copy.actions = {0, {}};
	const int32 mesh = make_mesh_tag(mesh_tag, name, finish_map(&copy), demo.header.flags);
	if (list == NONE || mesh == NONE) return false;
	handles->push_back(list);
	handles->push_back(mesh);
	return true;
}

int32 map_cell_height(int32 x, int32 y, void *data)
{
	const map_description *map = static_cast<const map_description *>(data);
	const int32 width = map->header.submesh_width * 32;
	const size_t index = static_cast<size_t>(y * width + x);
	return index < map->cells.size() ? map->cells[index].height : 0;
}

// The training map: the demo valley with team 0's army alone, the animals,
// and the tutorial's own script.
bool make_training_map(const map_description &demo, const char *const (&description)[2], std::vector<int32> *handles)
{
	const std::string list_name = std::string(description[0]) + " description";
	const int32 list = make_string_list_tag(TRAINING_DESCRIPTION_STRING_LIST_TAG, list_name.c_str(), description,
		static_cast<int32>(NUMBEROF(description)));
	map_description map = demo;
	map.header.map_description_string_list_tag = TRAINING_DESCRIPTION_STRING_LIST_TAG;
	map.header.team_count = 1;
	map.header.flags |= _mesh_is_training_map_flag;
	// Team 1's unit rows follow team 0's.
	std::vector<marker_data> kept;
	for (const marker_data &marker : map.markers)
	{
		const bool team_one = marker.type == _marker_monster && marker.palette_index >= NUMBER_OF_DEFAULT_UNIT_KINDS &&
			marker.palette_index < 2 * NUMBER_OF_DEFAULT_UNIT_KINDS;
		if (!team_one) kept.push_back(marker);
	}
	map.markers = kept;
	add_first_level_animals(&map.palette, &map.markers, map_cell_height, &map);
	map.actions = training_script_section();
	const int32 mesh = make_mesh_tag(TRAINING_MAP_MESH_TAG, TRAINING_MAP_MESH_NAME, finish_map(&map), map.header.flags);
	if (list == NONE || mesh == NONE || map.actions.count == 0) return false;
	handles->push_back(list);
	handles->push_back(mesh);
	return true;
}

} // namespace

// The demo battle's rim is walled off: a unit within two cells of the edge
// leaves the field for good and keeps its team in the game, so a fleeing
// archer held the battle from its end. Two rings were not enough there (a
// unit knocked back from the wall still left), so four. The copies built from
// the valley (the level walls its own edges) keep their ground.
static void wall_the_demo_rim(map_description *map)
{
	const int32 rim = 4;
	const int32 width = map->header.submesh_width * SUBMESH_WIDTH;
	const int32 height = map->header.submesh_height * SUBMESH_WIDTH;
	for (int32 y = 0; y < height; ++y)
	{
		for (int32 x = 0; x < width; ++x)
		{
			if (x >= rim && x < width - rim && y >= rim && y < height - rim) continue;
			mesh_cell &cell = map->cells[static_cast<size_t>(y * width + x)];
			const int16 wall = _terrain_walking_impassable;
			cell.flags = static_cast<uint16>((cell.flags & ~CELL_TERRAIN_MASK) | (wall | (wall << CELL_TERRAIN_TYPE_BITS)));
		}
	}
}

std::vector<uint8> demo_mesh_tag_data(void)
{
	map_description map = demo_map();
	wall_the_demo_rim(&map);
	return finish_map(&map);
}

std::vector<uint8> benchmark_mesh_tag_data(void)
{
	map_description map = benchmark_map();
	return finish_map(&map);
}

bool make_default_mesh_tags(std::vector<int32> *handles)
{
	static const char *const demo_description[] = {
		"Demo Valley",
		"Two small armies meet in a green valley beside a quiet lake. Hold the hill to win.",
	};
	const map_description demo = demo_map();
	const map_description bench = benchmark_map();

	if (!benchmark_pen_error.empty())
	{
		fprintf(stderr, "make_default_tags: %s\n", benchmark_pen_error.c_str());
		return false;
	}
	const int32 description = make_string_list_tag(DEMO_DESCRIPTION_STRING_LIST_TAG, "Demo Valley description",
		demo_description, static_cast<int32>(NUMBEROF(demo_description)));
	const int32 demo_collection = make_collection_tag(DEMO_LANDSCAPE_COLLECTION_TAG, "Demo Valley landscape",
		landscape_collection(demo));
	const int32 bench_collection = make_collection_tag(BENCHMARK_LANDSCAPE_COLLECTION_TAG, "Benchmark landscape",
		landscape_collection(bench));
	const int32 reference = make_collection_reference_tag(DEFAULT_MEDIA_REFERENCE_TAG, "lake water", lake_reference());

	const media_definition media = lake_media();
	uint8 media_bytes[sizeof(media_definition)];
	byte_swap_move("media definition", media_bytes, &media, sizeof(media), 1, media_definition_bs_data);
	const int32 water = tag_file_new_with_subgroup_tag(MEDIA_DEFINITION_GROUP_TAG, "lake water", DEFAULT_MEDIA_TAG,
		MEDIA_DEFINITION_VERSION_NUMBER, media_bytes, static_cast<int32>(sizeof(media_bytes)));

	map_description demo_copy = demo;
	wall_the_demo_rim(&demo_copy);
	map_description bench_copy = bench;
	const int32 demo_mesh = make_mesh_tag(DEMO_MAP_MESH_TAG, DEMO_MAP_MESH_NAME, finish_map(&demo_copy), demo.header.flags);
	const int32 bench_mesh = make_mesh_tag(BENCHMARK_MAP_MESH_TAG, BENCHMARK_MAP_MESH_NAME, finish_map(&bench_copy),
		bench.header.flags);

	for (int32 handle : {description, demo_collection, bench_collection, reference, water, demo_mesh, bench_mesh})
	{
		if (handle == NONE) return false;
		handles->push_back(handle);
	}
	// The training map the menu starts.
	static const char *const training_description[] = {
		"Training Valley",
		"The demo valley, for practice.",
	};
	static const char *const menu_demo_description[] = {
		"Menu Demo",
		"The demo valley, as the menu's demo.",
	};
	return make_training_map(demo, training_description, handles) &&
		make_first_level_map_tags(handles) &&
		make_demo_copy(demo, MENU_DEMO_MAP_MESH_TAG, MENU_DEMO_MAP_MESH_NAME, MENU_DEMO_DESCRIPTION_STRING_LIST_TAG,
			menu_demo_description, handles, false);
}
