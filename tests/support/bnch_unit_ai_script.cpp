#include "support/bnch_unit_ai_script.h"

#include <initializer_list>
#include <map>
#include <string>

#include "map_actions/map_actions.h"
#include "world_units.h"

namespace {

const std::vector<const char *> names = {"dark legion", "legion row 3", "legion row 4", "bombers"};

int16 identifier(int32 row, int32 column) { return static_cast<int16>(1000 + 20 * row + column); }
world_point2d cell(int32 x, int32 y) { return {x * WORLD_ONE, y * WORLD_ONE}; }

struct builder
{
	std::map<std::string, int16> index;
	bool good = true;

	void add(const char *name, file_tag tag)
	{
		const int16 i = new_map_action(NONE);
		good = good && i != NONE && set_map_action_name(i, name);
		if (i == NONE) return;
		index[name] = i;
		set_map_action_tag(i, tag);
		map_action *action = get_map_action(i);
		action->flags = 0;
		action->deactivation_mode = _map_action_deactivates_never; // every pass while active
		set_map_action_trigger_time(i, 0, 0);
	}
	void parameter(int16 action_index, const char (&field)[5], int16 type, int32 count, const void *data)
	{
		map_action_parameter handle;
		good = good && new_map_action_parameter(&handle, action_index, TAG(field), type) &&
			(count == 0 || set_map_action_parameter(&handle, count, data));
	}
	void parameter(const char *name, const char (&field)[5], int16 type, int32 count, const void *data)
	{
		parameter(index[name], field, type, count, data);
	}
	void actions(int16 action_index, const char (&field)[5], std::initializer_list<const char *> targets)
	{
		std::vector<int16> list;
		for (const char *t : targets) list.push_back(get_map_action_identifier(index[t]));
		parameter(action_index, field, _parameter_action_identifier, static_cast<int32>(list.size()), list.data());
	}
	void points(const char *name, const char (&field)[5], std::initializer_list<world_point2d> values)
	{
		std::vector<world_point2d> list(values);
		parameter(name, field, _parameter_world_point2d, static_cast<int32>(list.size()), list.data());
	}
	void integers(const char *name, const char (&field)[5], std::initializer_list<int32> values)
	{
		std::vector<int32> list(values);
		parameter(name, field, _parameter_integer, static_cast<int32>(list.size()), list.data());
	}
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
	b.actions(b.index["dark legion"], "grun", {"legion row 3", "legion row 4"});
	b.integers("dark legion", "grgd", {NONE, 0});
	b.integers("dark legion", "grfo", {0, 0});
	const world_distance radii[2] = {6144, 10240};
	b.parameter("dark legion", "atra", _parameter_world_distance, 2, radii);
	b.row("legion row 3", 3);
	b.row("legion row 4", 4);

	b.row("bombers", 8);
	b.points("bombers", "wayp", {cell(118, 150)});

	b.actions(gate_action_index, "acos", {"dark legion", "bombers"});
	return b.good;
}
