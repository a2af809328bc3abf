#include "support/bnch_unit_ai_script.h"

#include <initializer_list>
#include <map>
#include <string>

#include "../../tools/make_default_tags/named_script_builder.h"
#include "map_actions/map_actions.h"
#include "world_units.h"

namespace {

const std::vector<const char *> names = {"dark legion", "legion row 3", "legion row 4", "bombers"};

int16 identifier(int32 row, int32 column) { return static_cast<int16>(1000 + 20 * row + column); }
world_point2d cell(int32 x, int32 y) { return {x * WORLD_ONE, y * WORLD_ONE}; }

struct builder : named_script_builder
{
	void row(const char *name, int32 r)
	{
		std::vector<int16> list;
		for (int32 c = 0; c < 20; ++c) list.push_back(identifier(r, c));
		parameter(name, "subj", _parameter_monster_identifier, static_cast<int32>(list.size()), list.data());
	}
};

} // namespace

const std::vector<const char *> &bnch_unit_ai_action_names(void)
{
	return names;
}

bool add_bnch_unit_ai_actions(int16 gate_action_index)
{
	if (!get_map_action(gate_action_index)) return false;
	builder b;
	const file_tag none = static_cast<file_tag>(NONE);
	b.add("dark legion", TAG("legi"));
	b.add("legion row 3", none);
	b.add("legion row 4", none);
	b.add("bombers", TAG("girl"));

	b.points("dark legion", "line", {cell(118, 148), cell(118, 124)});
	b.integers("dark legion", "coun", {2});
	b.points("dark legion", "cent", {cell(118, 141)});
	const uint16 facing = 0xC000;
	b.parameter("dark legion", "faci", _parameter_angle, 1, &facing);
	b.points("dark legion", "grce", {cell(118, 140), cell(118, 142)});
	b.actions("dark legion", "grun", {"legion row 3", "legion row 4"});
	b.integers("dark legion", "grgd", {NONE, 0});
	b.integers("dark legion", "grfo", {0, 0});
	const world_distance radii[2] = {6144, 10240};
	b.parameter("dark legion", "atra", _parameter_world_distance, 2, radii);
	b.row("legion row 3", 3);
	b.row("legion row 4", 4);

	b.row("bombers", 8);
	b.points("bombers", "wayp", {cell(118, 150)});

	b.actions_at(gate_action_index, "gate", "acos", {"dark legion", "bombers"});
	return b.good();
}
