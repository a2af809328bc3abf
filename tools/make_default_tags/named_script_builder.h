// Adding actions and their parameters to the running store by name; shared by
// the level scripts and the benchmark scripts the tests build.
#ifndef NAMED_SCRIPT_BUILDER_H
#define NAMED_SCRIPT_BUILDER_H

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "map_actions/map_actions.h"
#include "world_units.h"

struct named_script_builder
{
	std::map<std::string, int16> index;
	std::string failed; // the first action that could not be made whole

	bool good(void) const { return failed.empty(); }
	bool fail(const char *name)
	{
		if (failed.empty()) failed = name;
		return false;
	}
	// Mode 3 and no delay: every scheduler pass while active.
	void add(const char *name, file_tag tag, uint32 flags = 0, int16 mode = _map_action_deactivates_never,
		int32 lower_bound = 0)
	{
		const int16 i = new_map_action(NONE);
		if (i == NONE || !set_map_action_name(i, name))
		{
			fail(name);
			return;
		}
		index[name] = i;
		set_map_action_tag(i, tag);
		map_action *action = get_map_action(i);
		action->flags = flags;
		action->deactivation_mode = mode;
		set_map_action_trigger_time(i, lower_bound, 0);
	}
	// `name` only labels a failure: the parameter goes on the action at `action_index`.
	void parameter_at(int16 action_index, const char *name, const char (&field)[5], int16 type, int32 count,
		const void *values)
	{
		map_action_parameter handle;
		if (!new_map_action_parameter(&handle, action_index, TAG(field), type) ||
			(count > 0 && !set_map_action_parameter(&handle, count, values)))
		{
			fail(name);
		}
	}
	void parameter(const char *name, const char (&field)[5], int16 type, int32 count, const void *values)
	{
		if (!index.count(name))
		{
			fail(name);
			return;
		}
		parameter_at(index[name], name, field, type, count, values);
	}
	void actions_at(int16 action_index, const char *name, const char (&field)[5],
		std::initializer_list<const char *> targets)
	{
		std::vector<int16> list;
		for (const char *t : targets) list.push_back(index.count(t) ? get_map_action_identifier(index[t]) : NONE);
		parameter_at(action_index, name, field, _parameter_action_identifier, static_cast<int32>(list.size()),
			list.data());
	}
	void actions(const char *name, const char (&field)[5], std::initializer_list<const char *> targets)
	{
		if (!index.count(name))
		{
			fail(name);
			return;
		}
		actions_at(index[name], name, field, targets);
	}
	void integers(const char *name, const char (&field)[5], std::initializer_list<int32> values)
	{
		std::vector<int32> list(values);
		parameter(name, field, _parameter_integer, static_cast<int32>(list.size()), list.data());
	}
	void distances(const char *name, const char (&field)[5], std::initializer_list<world_distance> values)
	{
		std::vector<world_distance> list(values);
		parameter(name, field, _parameter_world_distance, static_cast<int32>(list.size()), list.data());
	}
	void points(const char *name, const char (&field)[5], std::initializer_list<world_point2d> values)
	{
		std::vector<world_point2d> list(values);
		parameter(name, field, _parameter_world_point2d, static_cast<int32>(list.size()), list.data());
	}
	void flag(const char *name, const char (&field)[5]) { parameter(name, field, _parameter_flag, 0, nullptr); }
};

#endif
