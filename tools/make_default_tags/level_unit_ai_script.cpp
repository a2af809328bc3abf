#include "level_unit_ai_script.h"

#include <cstdio>
#include <cstring>

#include "map_actions/map_actions.h"
#include "markers.h"
#include "mesh_content.h"
#include "named_script_builder.h"
#include "units_content.h"
#include "world_units.h"

const char *const level_unit_ai_action_names[LEVEL_UNIT_AI_ACTION_COUNT] = {
	"shield wall", "wall west", "wall east", "bombers", "reserve", "ambush"};

namespace {

// Team 1's front swordsmen, west to east, its throwers and the hard-game pair.
const int16 wall_west[3] = {31, 32, 33};
const int16 wall_east[3] = {34, 35, 36};
const int16 throwers[2] = {41, 42};
const int16 reserve[2] = {45, 46};
const int16 scouts[LEVEL_UNIT_AI_SCOUT_COUNT] = {LEVEL_UNIT_AI_FIRST_SCOUT, LEVEL_UNIT_AI_FIRST_SCOUT + 1};
// West of the lake and east of team 1's line (inside the edge's wall), both
// clear of the burning rows.
const int32 scout_cells[LEVEL_UNIT_AI_SCOUT_COUNT][2] = {{20, 72}, {61, 72}};
const int16 scout_kind = 3;

int16 find_action(const char *name)
{
	for (int16 i = 0; i < MAXIMUM_MAP_ACTIONS_PER_MAP; ++i)
	{
		if (get_map_action(i) && strcmp(get_map_action_name(i), name) == 0) return i;
	}
	return NONE;
}

} // namespace

bool append_level_unit_ai_actions(level_cell_is_open_proc cell_is_open, const void *data, std::string *failed_action)
{
	named_script_builder b;
	// A cell's point (x * WORLD_ONE), failing the action when the cell is closed.
	auto cell = [&](const char *name, int32 x, int32 y) {
		if (!cell_is_open(x, y, data)) b.fail(name);
		return world_point2d{x * WORLD_ONE, y * WORLD_ONE};
	};
	auto units = [&](const char *name, const int16 *identifiers, int32 count) {
		b.parameter(name, "subj", _parameter_monster_identifier, count, identifiers);
	};
	const file_tag none = static_cast<file_tag>(NONE);
	const int16 gate = find_action("computer team");
	if (gate == NONE) b.fail("computer team");
	b.add("shield wall", TAG("legi"));
	b.add("wall west", none);
	b.add("wall east", none);
	b.add("bombers", TAG("girl"));
	b.add("reserve", TAG("mele"));
	b.add("ambush", TAG("assa"));

	const char *wall = "shield wall";
	b.points(wall, "line", {cell(wall, 41, 80), cell(wall, 41, 66)});
	b.integers("shield wall", "coun", {2});
	b.points(wall, "cent", {cell(wall, 41, 72)});
	const uint16 west_facing = 0xC000;
	b.parameter("shield wall", "faci", _parameter_angle, 1, &west_facing);
	b.points(wall, "grce", {cell(wall, 37, 72), cell(wall, 46, 72)});
	b.actions("shield wall", "grun", {"wall west", "wall east"});
	b.actions("shield wall", "acat", {"reserve"});
	b.actions("shield wall", "demo", {"reserve"});
	units("wall west", wall_west, 3);
	units("wall east", wall_east, 3);

	units("bombers", throwers, 2);
	b.flag("bombers", "timd");
	b.integers("bombers", "reev", {2});
	b.distances("bombers", "prra", {6144});
	b.points("bombers", "wayp", {cell("bombers", 44, 78)});

	units("reserve", reserve, 2);
	b.integers("reserve", "form", {0});

	units("ambush", scouts, LEVEL_UNIT_AI_SCOUT_COUNT);
	b.integers("ambush", "dela", {30});

	if (gate != NONE) b.actions_at(gate, "computer team", "acos", {"shield wall", "bombers", "ambush"});
	if (!b.good()) fprintf(stderr, "first level: the unit AI's action \"%s\" could not be made\n", b.failed.c_str());
	if (failed_action) *failed_action = b.failed;
	return b.good();
}

void add_level_unit_ai_scouts(map_description *map)
{
	const int32 width = map->header.submesh_width * SUBMESH_WIDTH;
	const int16 row = static_cast<int16>(NUMBER_OF_DEFAULT_UNIT_KINDS + scout_kind); // team 1's scouts
	for (int32 i = 0; i < LEVEL_UNIT_AI_SCOUT_COUNT; ++i)
	{
		const int32 x = scout_cells[i][0], y = scout_cells[i][1];
		const mesh_cell &cell = map->cells[static_cast<size_t>(y * width + x)];
		marker_data scout = marker_at(_marker_monster, row, scouts[i], x * WORLD_ONE, y * WORLD_ONE, 0xC000);
		scout.location.position.z = cell.height;
		scout.flags |= _marker_is_invisible_flag;
		map->markers.push_back(scout);
	}
}
