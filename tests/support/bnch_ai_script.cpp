#include "support/bnch_ai_script.h"
#include "support/bnch_unit_ai_script.h"

#include <initializer_list>
#include <map>
#include <string>

#include "../../tools/make_default_tags/named_script_builder.h"
#include "map_actions/map_actions.h"
#include "monsters.h"
#include "objects.h"

namespace {

const std::vector<const char *> names = {"computer team", "host", "host row 0", "host row 1", "host row 2", "advance",
	"archers", "split archers", "archers whole", "archers west", "archers east", "guard west", "guard east",
	"hold west", "hold east", "volley", "spotted", "outriders"};

struct builder : named_script_builder
{
	static world_point2d cell(int32 x, int32 y) { return {x * WORLD_ONE, y * WORLD_ONE}; }

	void rows(const char *name, const char (&field)[5], int32 first_row, int32 last_row)
	{
		std::vector<int16> list;
		for (int32 r = first_row; r <= last_row; ++r)
		{
			for (int32 c = 0; c < 20; ++c) list.push_back(BNCH_AI_IDENTIFIER(r, c));
		}
		parameter(name, field, _parameter_monster_identifier, static_cast<int32>(list.size()), list.data());
	}
};

} // namespace

const std::vector<const char *> &bnch_ai_action_names(void)
{
	// The group AI's actions, then the unit AI's, in the order they are added.
	static const std::vector<const char *> all = [] {
		std::vector<const char *> list = names;
		const std::vector<const char *> &units = bnch_unit_ai_action_names();
		list.insert(list.end(), units.begin(), units.end());
		return list;
	}();
	return all;
}

bool start_bnch_computer_team(void)
{
	// Units already holding one of the identifiers make room first.
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (!monster || monster->identifier < BNCH_AI_FIRST_IDENTIFIER || monster->identifier >= BNCH_AI_IDENTIFIER(10, 0))
		{
			continue;
		}
		set_monster_identifier(i, static_cast<int16>(20000 + i));
	}
	// Team 1 stands in ranks from cell (99, 134), two cells apart.
	for (int16 i = 0; i < monster_array.count; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (!monster || monster->owner_team_index != 1) continue;
		const object_data *object = get_object_data(monster->object_index);
		const int32 c = (object->location.position.x / WORLD_ONE - 99) / 2;
		const int32 r = (object->location.position.y / WORLD_ONE - 134) / 2;
		if (r < 0 || r >= 10 || c < 0 || c >= 20) return false;
		set_monster_identifier(i, BNCH_AI_IDENTIFIER(r, c));
	}

	builder b;
	const uint32 initially_active = _map_action_initially_active_flag;
	const file_tag none = static_cast<file_tag>(NONE);
	b.add("computer team", TAG("plyc"), initially_active, _map_action_deactivates_on_successful_execution, 32);
	b.add("host", TAG("plat"));
	for (const char *row : {"host row 0", "host row 1", "host row 2"}) b.add(row, TAG("squa"));
	b.add("advance", TAG("plmo"));
	b.add("archers", TAG("grou"));
	b.add("split archers", TAG("spup"));
	for (const char *setup : {"archers whole", "archers west", "archers east"}) b.add(setup, none);
	b.add("guard west", TAG("guar"));
	b.add("guard east", TAG("guar"));
	b.add("hold west", TAG("rout"));
	b.add("hold east", TAG("rout"));
	b.add("volley", none);
	b.add("spotted", TAG("look"), 0, _map_action_deactivates_on_successful_execution);
	b.add("outriders", TAG("surr"));

	b.integers("computer team", "team", {1});
	b.integers("computer team", "pc_=", {0});
	b.actions("computer team", "acos", {"host", "archers", "spotted"});

	b.actions("host", "stat", {"advance"});
	b.actions("host", "init", {"host row 0", "host row 1", "host row 2"});
	b.points("host", "cent", {builder::cell(118, 136)});
	const int16 facing = static_cast<int16>(0xC000);
	b.parameter("host", "faci", _parameter_angle, 1, &facing);
	const char *host_rows[3] = {"host row 0", "host row 1", "host row 2"};
	for (int32 r = 0; r < 3; ++r)
	{
		b.rows(host_rows[r], "subj", r, r);
		b.points(host_rows[r], "cent", {builder::cell(118, 134 + 2 * r)});
		b.integers(host_rows[r], "form", {0});
	}
	b.points("advance", "wayp",
		{builder::cell(118, 136), builder::cell(118, 128), builder::cell(118, 116), builder::cell(118, 104)});
	b.flag("advance", "ntrp");
	b.distances("advance", "spac", {2048});
	b.distances("advance", "radi", {3072, 8192});
	b.flag("advance", "cong");

	b.rows("archers", "subj", 5, 7);
	b.actions("archers", "stat", {"split archers"});
	b.integers("split archers", "thre", {30});
	const field_tag bands[2] = {TAG("few_"), TAG("many")};
	b.parameter("split archers", "setu", _parameter_field_name, 2, bands);
	b.actions("split archers", "few_", {"archers whole"});
	b.actions("split archers", "many", {"archers west", "archers east"});
	b.actions("archers whole", "init", {"guard west"});
	const fixed half = FIXED_ONE / 2;
	b.parameter("archers west", "coun", _parameter_fixed, 1, &half);
	b.points("archers west", "deci", {builder::cell(99, 146)});
	b.actions("archers west", "init", {"guard west"});
	b.actions("archers east", "init", {"guard east"});

	b.points("guard west", "poin", {builder::cell(105, 146)});
	b.points("guard east", "poin", {builder::cell(131, 146)});
	for (const char *guard : {"guard west", "guard east"}) b.distances(guard, "radi", {3072, 9216});
	b.actions("guard west", "acti", {"hold west", "volley"});
	b.actions("guard east", "acti", {"hold east", "volley"});
	b.points("hold west", "dest", {builder::cell(103, 145), builder::cell(105, 147), builder::cell(107, 145)});
	b.points("hold east", "dest", {builder::cell(129, 145), builder::cell(131, 147), builder::cell(133, 145)});
	b.distances("volley", "radi", {0, 10240});

	b.rows("spotted", "subj", 9, 9);
	b.actions("spotted", "acos", {"outriders"});
	b.rows("outriders", "subj", 9, 9);
	b.integers("outriders", "loss", {6});
	b.integers("outriders", "time", {8});
	b.distances("outriders", "radi", {0, 6144});
	if (!b.good() || !add_bnch_unit_ai_actions(b.index["computer team"])) return false;
	// The map's initial actions were activated when it started.
	if (map_action_globals->initial_actions_activated) activate_map_action(b.index["computer team"]);
	return true;
}
