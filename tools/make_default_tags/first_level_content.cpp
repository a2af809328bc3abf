#include "first_level_content.h"

#include <string>

#include "default_tags.h"
#include "effects_content.h"
#include "first_level_script.h"
#include "level_scenes_content.h"
#include "level_unit_ai_script.h"
#include "mesh_content.h"
#include "units_content.h"
#include "weather_content.h"

namespace {

int16 cell_height(const map_description &map, int32 x, int32 y)
{
	const int32 width = map.header.submesh_width * SUBMESH_WIDTH;
	return map.cells[static_cast<size_t>(y * width + x)].height;
}

// Units in the order the demo places them get their role's identifiers.
void number_units(map_description *map)
{
	std::vector<int16> identifiers;
	for (int16 team : {0, 1})
	{
		const int16 first = team == 0 ? FIRST_LEVEL_TEAM0_FIRST_SWORDSMAN : FIRST_LEVEL_TEAM1_FIRST_SWORDSMAN;
		for (int16 i = 0; i < 14; ++i) identifiers.push_back(static_cast<int16>(first + i));
	}
	identifiers.push_back(FIRST_LEVEL_HARD_PAIR_FIRST);
	identifiers.push_back(FIRST_LEVEL_HARD_PAIR_FIRST + 1);
	for (int16 i = 0; i < 3; ++i) identifiers.push_back(static_cast<int16>(FIRST_LEVEL_TEAM0_FIRST_HIDDEN + i));
	for (int16 i = 0; i < 3; ++i) identifiers.push_back(static_cast<int16>(FIRST_LEVEL_TEAM1_FIRST_HIDDEN + i));
	size_t next = 0;
	for (marker_data &marker : map->markers)
	{
		if (marker.type == _marker_monster && next < identifiers.size()) marker.identifier = identifiers[next++];
	}
}

int32 height_at(int32 x, int32 y, void *data)
{
	return cell_height(*static_cast<const map_description *>(data), x, y);
}

// The meadow between the armies is the field that burns: grass, with rows of
// forest through its middle. Water, shore and ridge keep their own terrain.
void lay_burning_meadow(map_description *map)
{
	const int32 width = map->header.submesh_width * SUBMESH_WIDTH;
	for (int32 y = FIRST_LEVEL_MEADOW_FIRST_ROW; y <= FIRST_LEVEL_MEADOW_LAST_ROW; ++y)
	{
		for (int32 x = 0; x < width; ++x)
		{
			mesh_cell &cell = map->cells[static_cast<size_t>(y * width + x)];
			const int16 low = static_cast<int16>(cell.flags & CELL_TERRAIN_TYPE_MASK);
			const int16 high = static_cast<int16>((cell.flags >> CELL_TERRAIN_TYPE_BITS) & CELL_TERRAIN_TYPE_MASK);
			const bool dry_land = (low == _terrain_grass || low == _terrain_forest) &&
				(high == _terrain_grass || high == _terrain_forest) && !(cell.flags & _mesh_cell_triangle_media_flags);
			if (!dry_land) continue;
			const int16 terrain = (y >= 66 && y <= 68 && x % 9 < 3) ? _terrain_forest : _terrain_grass;
			cell.flags = static_cast<uint16>((cell.flags & ~CELL_TERRAIN_MASK) |
				(terrain | (terrain << CELL_TERRAIN_TYPE_BITS)));
		}
	}
}

// Movement keeps every unit 992 world units inside the mesh, and one that
// crosses that line leaves the game while still counting for its side: two
// rings of wall along every edge stop any walk two cells short of it.
void wall_the_edges(map_description *map)
{
	const int32 width = map->header.submesh_width * SUBMESH_WIDTH;
	const int32 height = map->header.submesh_height * SUBMESH_WIDTH;
	for (int32 y = 0; y < height; ++y)
	{
		for (int32 x = 0; x < width; ++x)
		{
			if (x >= FIRST_LEVEL_EDGE_WALL_CELLS && x < width - FIRST_LEVEL_EDGE_WALL_CELLS &&
				y >= FIRST_LEVEL_EDGE_WALL_CELLS && y < height - FIRST_LEVEL_EDGE_WALL_CELLS) continue;
			mesh_cell &cell = map->cells[static_cast<size_t>(y * width + x)];
			const int16 wall = _terrain_walking_impassable;
			cell.flags = static_cast<uint16>((cell.flags & ~CELL_TERRAIN_MASK) | (wall | (wall << CELL_TERRAIN_TYPE_BITS)));
		}
	}
}

// "Very Hard" has its own: two archers more on the computer's flanks, at the
// ends of its archers' row.
void add_very_hard_pair(map_description *map)
{
	const int16 team1_archer_row = NUMBER_OF_DEFAULT_UNIT_KINDS + 1;
	const int32 y = 75;
	int16 identifier = FIRST_LEVEL_VERY_HARD_PAIR_FIRST;
	for (const int32 x : {32, 52})
	{
		marker_data archer =
			marker_at(_marker_monster, team1_archer_row, identifier++, x * WORLD_ONE, y * WORLD_ONE, 0xC000);
		archer.location.position.z = cell_height(*map, x, y);
		archer.minimum_difficulty_level = FIRST_LEVEL_VERY_HARD_DIFFICULTY;
		map->markers.push_back(archer);
	}
}

// One lightning caster per team, behind each army's archers, after every
// existing palette row and marker.
void add_casters(map_description *map)
{
	const int32 width = map->header.submesh_width * SUBMESH_WIDTH;
	const int16 first_row = static_cast<int16>(count_palette_rows(*map, _marker_monster));
	for (int16 team = 0; team < 2; ++team)
	{
		map->palette.push_back(palette_row(_marker_monster, DEFAULT_CASTER_TAG, team, 0xFFFF));
	}
	for (int16 team = 0; team < 2; ++team)
	{
		const int32 x = FIRST_LEVEL_CASTER_CELL_X;
		const int32 y = team == 0 ? FIRST_LEVEL_TEAM0_CASTER_CELL_Y : FIRST_LEVEL_TEAM1_CASTER_CELL_Y;
		const int16 identifier = team == 0 ? FIRST_LEVEL_TEAM0_CASTER_IDENTIFIER : FIRST_LEVEL_TEAM1_CASTER_IDENTIFIER;
		marker_data caster = marker_at(_marker_monster, static_cast<int16>(first_row + team), identifier, x * WORLD_ONE,
			y * WORLD_ONE, team == 0 ? 0x4000 : 0xC000);
		caster.location.position.z = map->cells[static_cast<size_t>(y * width + x)].height;
		map->markers.push_back(caster);
	}
}

} // namespace

map_description first_level_map(void)
{
	map_description map = demo_map();
	map.header.media_tag = RIPPLING_WATER_MEDIA_TAG;
	map.header.map_description_string_list_tag = FIRST_LEVEL_DESCRIPTION_STRING_LIST_TAG;
	// The level's own script: never the demo's timed ending.
	add_first_level_weather(&map.header);
	lay_burning_meadow(&map);
	wall_the_edges(&map);
	map.actions = first_level_script_section(map);
	number_units(&map);
	add_very_hard_pair(&map);
	const int32 cell = WORLD_ONE;

	// The camera starts at the level's observer point, and a film, whose
	// script moves no camera, stays there: the demo's points stand far off on
	// the computer's side, looking away from the field.
	for (marker_data &marker : map.markers)
	{
		if (marker.type != _marker_team) continue;
		marker.location.position.x = FIRST_LEVEL_VIEW_CELL_X * cell;
		marker.location.position.y = FIRST_LEVEL_VIEW_CELL_Y * cell;
		marker.location.yaw = FIRST_LEVEL_VIEW_FACING;
	}

	// The gate swings in the east, across the ridge's end.
	map.palette.push_back(palette_row(_marker_model_animation, GATE_ANIMATION_TAG, NONE, 0xFFFF));
	marker_data gate = marker_at(_marker_model_animation, 0, FIRST_LEVEL_GATE_IDENTIFIER, FIRST_LEVEL_GATE_CELL_X * cell,
		FIRST_LEVEL_GATE_CELL_Y * cell, 0);
	gate.location.pitch = 49152;
	gate.location.position.z = cell_height(map, FIRST_LEVEL_GATE_CELL_X, FIRST_LEVEL_GATE_CELL_Y);
	map.markers.push_back(gate);

	// The shrine by the western edge, its lamp on one of its cells.
	const int16 shrine_row = static_cast<int16>(count_palette_rows(map, _marker_model));
	map.palette.push_back(palette_row(_marker_model, SHRINE_MODEL_TAG, NONE, 0xFFFF));
	marker_data shrine = marker_at(_marker_model, shrine_row, FIRST_LEVEL_SHRINE_IDENTIFIER,
		FIRST_LEVEL_SHRINE_CELL_X * cell, FIRST_LEVEL_SHRINE_CELL_Y * cell, 16384);
	shrine.location.pitch = 49152;
	shrine.location.position.z = cell_height(map, FIRST_LEVEL_SHRINE_CELL_X, FIRST_LEVEL_SHRINE_CELL_Y);
	map.markers.push_back(shrine);
	const int16 lamp_row = static_cast<int16>(count_palette_rows(map, _marker_scenery));
	map.palette.push_back(palette_row(_marker_scenery, SHRINE_LAMP_SCENERY_TAG, NONE, 0xFFFF));
	marker_data lamp = marker_at(_marker_scenery, lamp_row, FIRST_LEVEL_LAMP_IDENTIFIER,
		(FIRST_LEVEL_SHRINE_CELL_X - 1) * cell + cell / 2, (FIRST_LEVEL_SHRINE_CELL_Y - 1) * cell + cell / 2, 0);
	map.markers.push_back(lamp);

	// A swirl in the meadow west of the hut.
	map.palette.push_back(palette_row(_marker_local_projectile_group, SWIRL_GROUP_TAG, NONE, 0xFFFF));
	marker_data swirl = marker_at(_marker_local_projectile_group, 0, FIRST_LEVEL_SWIRL_IDENTIFIER,
		FIRST_LEVEL_SWIRL_CELL_X * cell + cell / 2, FIRST_LEVEL_SWIRL_CELL_Y * cell + cell / 2, 0);
	swirl.location.position.z = cell_height(map, FIRST_LEVEL_SWIRL_CELL_X, FIRST_LEVEL_SWIRL_CELL_Y);
	map.markers.push_back(swirl);

	add_level_scene_markers(&map);
	add_casters(&map);
	// The animals come last, so none takes record 0.
	add_first_level_animals(&map.palette, &map.markers, height_at, &map);
	add_level_unit_ai_scouts(&map);
	stand_scenery_on_ground(&map);
	// The storm's strike starts at the brook's source: high over the water, so
	// the bolt comes down rather than striking the ground where it starts.
	for (marker_data &marker : map.markers)
	{
		if (marker.type != _marker_sound_source || marker.identifier != FIRST_LEVEL_SOUND_SOURCE_IDENTIFIER) continue;
		marker.location.position.z = static_cast<world_distance>(
			ground_height(map, marker.location.position.x, marker.location.position.y) + 3 * WORLD_ONE);
	}
	return map;
}

bool make_first_level_map_tags(std::vector<int32> *handles)
{
	static const char *const description[] = {
		"First Level",
		"The demo valley, with a swinging gate, a shrine and rippling water.",
	};
	const std::string list_name = std::string(description[0]) + " description";
	const int32 list = make_string_list_tag(FIRST_LEVEL_DESCRIPTION_STRING_LIST_TAG, list_name.c_str(), description,
		static_cast<int32>(NUMBEROF(description)));
	map_description map = first_level_map();
	const uint32 flags = map.header.flags;
	const int32 mesh = make_mesh_tag(FIRST_LEVEL_MAP_MESH_TAG, FIRST_LEVEL_MAP_MESH_NAME, finish_map(&map), flags);
	if (list == NONE || mesh == NONE) return false;
	handles->push_back(list);
	handles->push_back(mesh);
	return make_default_effects_tags(handles);
}
