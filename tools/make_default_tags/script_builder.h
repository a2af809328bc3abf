// Composing a map's script through the store's own entry points, and writing
// it as the mesh tag's map-action section.
#ifndef SCRIPT_BUILDER_H
#define SCRIPT_BUILDER_H

#include <initializer_list>
#include <vector>

#include "cseries.h"
#include "map_actions/map_actions.h"
#include "memory.h"

struct map_action_section
{
	int16 count;
	std::vector<uint8> bytes; // big-endian, as stored
};

// Actions are named by slots, so that lists can name actions made later.
struct script_builder
{
	std::vector<int16> indexes;
	bool good = true;

	explicit script_builder(int32 slots = 0) : indexes(static_cast<size_t>(slots), static_cast<int16>(NONE)) {}

	// Every action waits no delay: the scheduler's every pass.
	int16 add_action(int32 slot, const char (&tag)[5], const char *name, uint32 flags, int16 mode)
	{
		if (slot >= static_cast<int32>(indexes.size())) indexes.resize(static_cast<size_t>(slot) + 1, NONE);
		const int16 index = new_map_action(NONE);
		indexes[static_cast<size_t>(slot)] = index;
		good = good && index != NONE && set_map_action_name(index, name);
		if (index == NONE) return NONE;
		set_map_action_tag(index, TAG(tag));
		map_action *action = get_map_action(index);
		action->flags = flags;
		action->deactivation_mode = mode;
		return index;
	}

	void delays(int32 slot, int32 lower_bound, int32 delta)
	{
		set_map_action_trigger_time(indexes[static_cast<size_t>(slot)], lower_bound, delta);
	}

	void parameter(int32 slot, const char (&field)[5], int16 type, int32 count, const void *data)
	{
		map_action_parameter handle;
		good = good && new_map_action_parameter(&handle, indexes[static_cast<size_t>(slot)], TAG(field), type) &&
			(count == 0 || set_map_action_parameter(&handle, count, data));
	}

	void identifiers(int32 slot, const char (&field)[5], std::initializer_list<int32> slots)
	{
		int16 list[8];
		int32 count = 0;
		for (int32 target : slots) list[count++] = get_map_action_identifier(indexes[static_cast<size_t>(target)]);
		parameter(slot, field, _parameter_action_identifier, count, list);
	}

	void flag(int32 slot, const char (&field)[5]) { parameter(slot, field, _parameter_flag, 0, nullptr); }
	void integer(int32 slot, const char (&field)[5], int32 value) { parameter(slot, field, _parameter_integer, 1, &value); }
	void fixed_value(int32 slot, const char (&field)[5], fixed value) { parameter(slot, field, _parameter_fixed, 1, &value); }
};

// An empty store to build in; false when it cannot be set up.
inline bool begin_script_section(void)
{
	initialize_map_actions();
	initialize_map_actions_for_new_map();
	return map_action_globals && map_action_globals->initialized;
}

// The store's actions as a section (an empty one after a failure); the store is emptied.
inline map_action_section finish_script_section(const script_builder &b)
{
	map_action_section section = {0, {}};
	int32 size = 0;
	void *block = b.good ? export_map_actions(&section.count, &size) : nullptr;
	if (block)
	{
		section.bytes.assign(static_cast<uint8 *>(block), static_cast<uint8 *>(block) + size);
		dispose_pointer(block);
	}
	else
	{
		section.count = 0;
	}
	dispose_map_actions_from_old_map();
	return section;
}

#endif
