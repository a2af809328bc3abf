#include "level_group_ai_script.h"

#include <initializer_list>
#include <map>
#include <utility>
#include <vector>

#include "map_actions/map_actions.h"
#include "named_script_builder.h"
#include "world_units.h"

namespace {

// Team 1's archers and its two scouts on the level.
const int16 archers[4] = {37, 38, 39, 40};
const int16 west_scout = 43, east_scout = 44;

struct builder : named_script_builder
{
	level_cell_is_open_proc cell_is_open;
	const void *data;

	void cells(const char *name, const char (&field)[5], std::initializer_list<std::pair<int32, int32>> values)
	{
		std::vector<world_point2d> list;
		for (const auto &cell : values)
		{
			if (!cell_is_open(cell.first, cell.second, data)) fail(name);
			list.push_back({cell.first * WORLD_ONE, cell.second * WORLD_ONE});
		}
		parameter(name, field, _parameter_world_point2d, static_cast<int32>(list.size()), list.data());
	}
	void units(const char *name, const char (&field)[5], const int16 *identifiers, int32 count)
	{
		parameter(name, field, _parameter_monster_identifier, count, identifiers);
	}
};

} // namespace

bool append_level_group_ai_actions(level_cell_is_open_proc cell_is_open, const void *data, std::string *failed_action)
{
	builder b;
	b.cell_is_open = cell_is_open;
	b.data = data;
	const file_tag none = static_cast<file_tag>(NONE);
	b.add("computer team", TAG("plyc"), _map_action_initially_active_flag,
		_map_action_deactivates_on_successful_execution, 32);
	b.add("escort", TAG("lead"));
	b.add("archers follow", TAG("foll"));
	b.add("flank guard", TAG("grou"));
	b.add("guard flank", TAG("guar"));
	b.add("hold flank", TAG("wand"));
	b.add("flank volley", none);
	b.add("pickets", TAG("plat"));
	b.add("picket squad", TAG("squa"));
	b.add("probe", TAG("plsc"));

	b.integers("computer team", "team", {1});
	b.integers("computer team", "pc_=", {0});
	b.actions("computer team", "acos", {"escort", "archers follow", "pickets"});

	b.units("escort", "subj", archers, 4);
	b.units("escort", "lead", &west_scout, 1);
	b.distances("escort", "mira", {512});
	b.distances("escort", "dera", {1024});
	b.distances("escort", "mara", {2560});
	b.integers("escort", "type", {0});
	b.cells("escort", "wayp", {{26, 70}, {31, 58}});
	b.distances("escort", "rata", {768});
	// The scout runs only from an enemy at hand: fleeing at the default range
	// drives it, and the archers following it, off the map's edge.
	b.distances("escort", "mrbf", {1024});
	b.integers("escort", "deby", {90, 60});
	b.integers("escort", "yect", {2});
	b.actions("escort", "succ", {"flank guard"});
	b.actions("escort", "died", {"flank guard"});
	b.actions("escort", "acod", {"flank guard"});
	b.actions("escort", "deod", {"archers follow"});

	b.units("archers follow", "subj", archers, 4);
	b.units("archers follow", "obje", &west_scout, 1);
	b.distances("archers follow", "fora", {512});
	b.actions("archers follow", "edel", {"flank guard"});
	b.actions("archers follow", "acab", {"flank guard"});

	b.units("flank guard", "subj", archers, 4);
	b.actions("flank guard", "stat", {"guard flank"});
	b.cells("guard flank", "poin", {{31, 58}});
	b.distances("guard flank", "radi", {2048, 6144});
	b.actions("guard flank", "acti", {"hold flank", "flank volley"});
	b.cells("hold flank", "cent", {{31, 58}});
	b.distances("hold flank", "radi", {768});
	b.distances("flank volley", "radi", {0, 8192});

	b.actions("pickets", "stat", {"probe"});
	b.actions("pickets", "init", {"picket squad"});
	b.cells("pickets", "cent", {{52, 71}});
	const int16 facing = static_cast<int16>(0xC000);
	b.parameter("pickets", "faci", _parameter_angle, 1, &facing);
	b.units("picket squad", "subj", &east_scout, 1);
	b.cells("picket squad", "cent", {{52, 71}});
	b.integers("picket squad", "form", {0});
	b.cells("probe", "wayp", {{52, 71}, {56, 62}, {44, 62}});
	b.flag("probe", "loop");
	b.distances("probe", "radi", {0, 12288});
	b.flag("probe", "chrg");

	if (failed_action) *failed_action = b.failed;
	return b.failed.empty();
}
