// The action store: records, the shared parameter buffer, search, the lookup
// cache, editing, run-time actions and the map section.
#include "map_actions/map_actions.h"

#include <cstring>

#include "data.h"
#include "error_manager.h"
#include "map_actions/map_actions_private.h"
#include "memory.h"
#include "mesh.h"
#include "projectile_definitions.h"
#include "projectile_group_definitions.h"
#include "quicksort.h"
#include "zerv.h"

datum_globals map_action_array = {"map action", MAXIMUM_MAP_ACTIONS_PER_MAP, sizeof(map_action), 0};
map_action_globals_data *map_action_globals = nullptr;
map_action_store_data map_action_store;
static map_actions_test_hooks_data map_actions_test_hooks;

constexpr byte_swap_code map_action_byte_swap_data[] = {_begin_bs_array, 1, _2byte, _2byte, _4byte, _4byte, _4byte,
	_4byte, _2byte, _2byte, _4byte, _2byte, 30, _4byte, _end_bs_array};
static_assert(get_byte_swap_struct_size(map_action_byte_swap_data) == 64);
const byte_swap_code map_action_parameter_header_byte_swap_data[] = {_begin_bs_array, 1, _2byte, _2byte, _4byte,
	_end_bs_array};


static const byte_swap_code no_swap_data[] = {_begin_bs_array, 1, 1, _end_bs_array};
static const byte_swap_code short_swap_data[] = {_begin_bs_array, 1, _2byte, _end_bs_array};
static const byte_swap_code long_swap_data[] = {_begin_bs_array, 1, _4byte, _end_bs_array};
static const byte_swap_code point2d_swap_data[] = {_begin_bs_array, 1, _4byte, _4byte, _end_bs_array};
static const byte_swap_code rectangle2d_swap_data[] = {_begin_bs_array, 1, _4byte, _4byte, _4byte, _4byte,
	_end_bs_array};
static const byte_swap_code point3d_swap_data[] = {_begin_bs_array, 1, _4byte, _4byte, _4byte, _end_bs_array};

const parameter_definition parameter_definitions[NUMBER_OF_MAP_ACTION_PARAMETER_TYPES] = {
	{1, no_swap_data}, {1, no_swap_data}, {2, short_swap_data}, {2, short_swap_data}, {2, short_swap_data},
	{4, long_swap_data}, {4, long_swap_data}, {4, long_swap_data}, {4, long_swap_data}, {4, long_swap_data},
	{4, long_swap_data}, {4, long_swap_data}, {4, long_swap_data}, {8, point2d_swap_data},
	{16, rectangle2d_swap_data}, {2, short_swap_data}, {2, short_swap_data}, {2, short_swap_data},
	{12, point3d_swap_data}, {2, short_swap_data}, {2, short_swap_data}};

#define UNNAMED_ACTION_NAME "<unnamed action>"
#define MAXIMUM_ACTION_NAME_LENGTH 255
#define MAXIMUM_PARAMETER_COUNT 32767

/* ---------- helpers shared with the scheduler */

static inline int32 round_up_to_alignment(int32 n)
{
	return (n + PARAMETER_ALIGNMENT - 1) & ~(PARAMETER_ALIGNMENT - 1);
}

static inline int32 element_size(int16 type)
{
	return type >= 0 && type < NUMBER_OF_MAP_ACTION_PARAMETER_TYPES ? parameter_definitions[type].size : 1;
}

map_action *get_map_action(int16 action_index)
{
	// Past the count (NONE outside a map) every record is free.
	if (!map_action_array.data || action_index < 0 || action_index >= map_action_array.count) return nullptr;
	map_action *action = static_cast<map_action *>(map_action_array.data) + action_index;
	return action->identifier != 0 ? action : nullptr;
}

void map_actions_changed(void)
{
	map_action_globals->map_actions_state += 1;
}

static void clear_lookup_cache(void)
{
	map_action_store.cache.action_index = NONE;
	map_action_store.cache.found_count = 0;
	map_action_store.cache.exhausted = TRUE;
	map_action_store.debg_memo_state = NONE;
}

static void index_identifier(int16 identifier, int16 action_index)
{
	if (identifier != 0 && map_action_store.identifier_to_index)
		map_action_store.identifier_to_index[static_cast<uint16>(identifier)] = action_index;
}

// Table entries are checked against the record they name, so stale ones
// never answer and need no clearing.
void clear_map_action_store(void)
{
	clear_lookup_cache();
	map_action_store.offset_watermark = 0;
}

/* ---------- records */

void set_map_action_tag(int16 action_index, action_tag tag)
{
	map_action *action = get_map_action(action_index);
	if (!action) return;
	action->tag = tag;
	map_actions_changed();
}

action_tag get_map_action_tag(int16 action_index)
{
	const map_action *action = get_map_action(action_index);
	return action ? action->tag : static_cast<action_tag>(NONE);
}

int16 get_map_action_identifier(int16 action_index)
{
	const map_action *action = get_map_action(action_index);
	return action ? action->identifier : static_cast<int16>(NONE);
}

boolean set_map_action_name(int16 action_index, const char *name)
{
	if (!name) return FALSE;
	const int32 length = static_cast<int32>(strnlen(name, MAXIMUM_ACTION_NAME_LENGTH));
	char copy[MAXIMUM_ACTION_NAME_LENGTH + 1];
	memcpy(copy, name, static_cast<size_t>(length));
	copy[length] = 0;
	return set_unique_map_action_parameter(action_index, TAG("name"), _parameter_character, length + 1, copy);
}

const char *get_map_action_name(int16 action_index)
{
	static char names[4][MAXIMUM_ACTION_NAME_LENGTH + 1];
	static int32 next_name = 0;
	map_action_parameter parameter;
	if (!get_map_action(action_index) ||
		!get_map_action_parameter(&parameter, action_index, _dont_resolve_links_flag, TAG("name"), _parameter_character))
	{
		return UNNAMED_ACTION_NAME;
	}
	char *name = names[next_name];
	next_name = (next_name + 1) & 3;
	const char *data = static_cast<const char *>(extract_parameter_array_address(&parameter));
	int32 length = 0;
	while (length < parameter.count && length < MAXIMUM_ACTION_NAME_LENGTH && data[length]) ++length;
	memcpy(name, data, static_cast<size_t>(length));
	name[length] = 0;
	return name;
}

void set_map_action_trigger_time(int16 action_index, int32 trigger_time_lower_bound, int32 trigger_time_delta)
{
	map_action *action = get_map_action(action_index);
	if (!action) return;
	action->trigger_time_lower_bound = trigger_time_lower_bound;
	action->trigger_time_delta = trigger_time_delta;
}

int16 action_identifier_to_action_index(int16 action_identifier)
{
	// Identifiers are unique among live records, so the table answers as a scan would.
	if (action_identifier == 0 || !map_action_store.identifier_to_index || !map_action_array.data) return NONE;
	const int16 index = map_action_store.identifier_to_index[static_cast<uint16>(action_identifier)];
	const map_action *action = get_map_action(index);
	return action && action->identifier == action_identifier ? index : static_cast<int16>(NONE);
}

map_action *get_map_action_by_identifier(int16 action_identifier)
{
	return get_map_action(action_identifier_to_action_index(action_identifier));
}

/* ---------- parameter walk */

int32 get_parameter_size(int16 type, int32 count, boolean align)
{
	const int32 size = count * element_size(type);
	return align ? round_up_to_alignment(size) : size;
}

// Byte offset of the parameter's header inside the buffer, or NONE.
int32 find_parameter_offset(int16 action_index, int16 parameter_index)
{
	const map_action *action = get_map_action(action_index);
	if (!action || parameter_index < 0 || parameter_index >= action->parameter_count) return NONE;
	int32 offset = action->parameters_offset;
	const int32 end = action->parameters_offset + action->parameters_size;
	for (int16 p = 0;; ++p)
	{
		if (offset + static_cast<int32>(sizeof(map_action_parameter_header)) > end) return NONE;
		if (p == parameter_index) return offset;
		const map_action_parameter_header *header =
			reinterpret_cast<const map_action_parameter_header *>(map_action_globals->parameter_buffer + offset);
		offset += parameter_extent(header->type, header->count);
	}
}

map_action_parameter_header *get_map_action_parameter_header(int16 action_index, int16 parameter_index)
{
	const int32 offset = find_parameter_offset(action_index, parameter_index);
	if (offset == NONE) return nullptr;
	return reinterpret_cast<map_action_parameter_header *>(map_action_globals->parameter_buffer + offset);
}

static void fill_handle(map_action_parameter *parameter, const map_action_parameter_header *header,
	int16 action_index, int16 parameter_index)
{
	parameter->field_name = header->field_name;
	parameter->type = header->type;
	parameter->count = header->count;
	parameter->action_index = action_index;
	parameter->parameter_index = parameter_index;
}

boolean build_map_action_parameter(map_action_parameter *parameter, int16 action_index, int16 parameter_index)
{
	const map_action_parameter_header *header = get_map_action_parameter_header(action_index, parameter_index);
	if (!header || !parameter) return FALSE;
	fill_handle(parameter, header, action_index, parameter_index);
	return TRUE;
}

void *extract_parameter_array_address(const map_action_parameter *parameter)
{
	map_action_parameter_header *header =
		get_map_action_parameter_header(parameter->action_index, parameter->parameter_index);
	return header ? header + 1 : nullptr;
}

/* ---------- search */

void new_find_map_action_parameter_state(find_map_action_parameter_state *state, int16 action_index, uint32 flags,
	field_tag field_name_filter, int16 type_filter)
{
	state->stack_index = 0;
	state->offsets_state = NONE;
	state->stack[0].parameter_offset = NONE;
	state->flags = flags;
	state->field_name_filter = field_name_filter;
	state->type_filter = type_filter;
	state->stack[0].action_index = action_index;
	state->stack[0].parameter_index = 0;
	state->stack_size = 1;
}

static inline boolean count_passes(uint32 flags, int16 count)
{
	if (count == 0) return (flags & _return_empty_arrays_flag) != 0;
	if (count == 1) return (flags & _only_return_one_element_arrays_flag) == 0;
	return TRUE;
}

static void push_linked_actions(find_map_action_parameter_state *state, const map_action_parameter_header *header)
{
	const int16 count = header->count;
	for (int16 i = 0; i < count; ++i)
	{
		int16 identifier;
		memcpy(&identifier, reinterpret_cast<const uint8 *>(header + 1) + 2 * i, sizeof(identifier));
		const int16 linked = action_identifier_to_action_index(identifier);
		if (linked == NONE) continue;
		boolean searched = FALSE;
		for (int16 k = 0; k < state->stack_index && !searched; ++k) searched = state->stack[k].action_index == linked;
		if (searched) continue;
		if (state->stack_size < MAXIMUM_FIND_MAP_ACTION_PARAMETER_STACK_SIZE)
		{
			state->stack[state->stack_size].action_index = linked;
			state->stack[state->stack_size].parameter_index = 0;
			state->stack[state->stack_size].parameter_offset = NONE;
			state->stack_size += 1;
		}
		// else: "### couldn't search into %s" goes to debug output, which prints nothing.
	}
}

boolean find_next_map_action_parameter(find_map_action_parameter_state *state, map_action_parameter *result)
{
	if (!map_action_globals || !map_action_globals->parameter_buffer) return FALSE;
	while (state->stack_index < state->stack_size)
	{
		auto &entry = state->stack[state->stack_index];
		const map_action *action = get_map_action(entry.action_index);
		if (action)
		{
			const int32 end = action->parameters_offset + action->parameters_size;
			while (entry.parameter_index < action->parameter_count)
			{
				// The offset found last time holds while nothing was edited.
				if (state->offsets_state != map_action_globals->map_actions_state)
				{
					state->offsets_state = map_action_globals->map_actions_state;
					for (int16 k = 0; k < state->stack_size; ++k) state->stack[k].parameter_offset = NONE;
				}
				if (entry.parameter_offset == NONE)
				{
					entry.parameter_offset = find_parameter_offset(entry.action_index, entry.parameter_index);
				}
				const int32 offset = entry.parameter_offset;
				if (offset == NONE || offset + 8 > end) break;
				const map_action_parameter_header *header =
					reinterpret_cast<const map_action_parameter_header *>(map_action_globals->parameter_buffer + offset);
				const int16 parameter_index = entry.parameter_index;
				entry.parameter_index += 1;
				entry.parameter_offset = offset + parameter_extent(header->type, header->count);
				if (!(state->flags & _dont_resolve_links_flag) && header->type == _parameter_action_identifier &&
					header->field_name == TAG("link"))
				{
					push_linked_actions(state, header);
					continue;
				}
				if ((state->type_filter == NONE || header->type == state->type_filter) &&
					(state->field_name_filter == static_cast<uint32>(NONE) || header->field_name == state->field_name_filter) &&
					count_passes(state->flags, header->count))
				{
					if (result) fill_handle(result, header, state->stack[state->stack_index].action_index, parameter_index);
					return TRUE;
				}
			}
		}
		state->stack_index += 1;
	}
	return FALSE;
}

boolean get_map_action_parameter(map_action_parameter *result, int16 action_index, uint32 flags, field_tag field_name,
	int16 type)
{
	if (!map_action_globals || !get_map_action(action_index)) return FALSE;
	auto &cache = map_action_store.cache;
	const int32 game_time = game ? game->game_time : 0;
	const uint32 link_flag = flags & _dont_resolve_links_flag;
	if (cache.action_index != action_index || cache.link_flag != link_flag || cache.game_time != game_time ||
		cache.map_actions_state != map_action_globals->map_actions_state)
	{
		cache.action_index = action_index;
		cache.link_flag = link_flag;
		cache.game_time = game_time;
		cache.map_actions_state = map_action_globals->map_actions_state;
		cache.found_count = 0;
		cache.exhausted = FALSE;
		new_find_map_action_parameter_state(&cache.search, action_index, link_flag | _return_empty_arrays_flag, NONE, NONE);
	}

	for (int16 i = 0; i < MAXIMUM_CACHED_MAP_ACTION_PARAMETERS; ++i)
	{
		if (i == cache.found_count)
		{
			if (cache.exhausted) return FALSE;
			if (!find_next_map_action_parameter(&cache.search, &cache.handles[i]))
			{
				cache.exhausted = TRUE;
				return FALSE;
			}
			cache.found_count += 1;
		}
		const map_action_parameter &handle = cache.handles[i];
		if ((field_name == static_cast<field_tag>(NONE) || handle.field_name == field_name) &&
			(type == NONE || handle.type == type) && count_passes(flags, handle.count))
		{
			if (result) *result = handle;
			return TRUE;
		}
	}

	find_map_action_parameter_state state;
	new_find_map_action_parameter_state(&state, action_index, flags, field_name, type);
	return find_next_map_action_parameter(&state, result);
}

/* ---------- resizing */

boolean adjust_map_action_parameters_size(int16 action_index, int32 new_parameters_size)
{
	map_action *action = get_map_action(action_index);
	if (!action || !map_action_globals->parameter_buffer || new_parameters_size < 0) return FALSE;
	const int32 old_size = action->parameters_size;
	const int32 used = map_action_globals->parameter_buffer_size;
	// Counts past 16 bits fail like a full buffer.
	if (used + new_parameters_size >= map_action_globals->maximum_parameter_buffer_size ||
		new_parameters_size > MAXIMUM_PARAMETER_COUNT)
	{
		map_action_debug(NONE, "adjust parameters #%d==>#%d failed", old_size, new_parameters_size);
		return FALSE;
	}

	uint8 *buffer = map_action_globals->parameter_buffer;
	const int32 offset = action->parameters_offset;
	const int32 end = offset + old_size;
	// The block goes to the end of the used area; what followed it moves down.
	// Through the scratch tail past the buffer's capacity: the block is at most 32767 bytes.
	uint8 *scratch = buffer + map_action_globals->maximum_parameter_buffer_size;
	memcpy(scratch, buffer + offset, static_cast<size_t>(old_size));
	memmove(buffer + offset, buffer + end, static_cast<size_t>(used - end));
	memcpy(buffer + used - old_size, scratch, static_cast<size_t>(old_size));
	// The watermark bounds every live offset: when it lies below the block's
	// end no other block follows, and the scan would change nothing.
	if (old_size > 0 && map_action_store.offset_watermark >= end)
	{
		int32 highest = 0;
		map_action *records = static_cast<map_action *>(map_action_array.data);
		for (int16 i = 0; i < map_action_array.count; ++i)
		{
			map_action *other = &records[i];
			if (other->identifier == 0 || i == action_index) continue;
			if (other->parameters_offset >= end) other->parameters_offset -= old_size;
			highest = MAX(highest, other->parameters_offset);
		}
		map_action_store.offset_watermark = highest;
	}
	action->parameters_offset = used - old_size;
	map_action_store.offset_watermark = MAX(map_action_store.offset_watermark, action->parameters_offset);
	action->parameters_size = static_cast<int16>(new_parameters_size);
	map_action_globals->parameter_buffer_size = used + new_parameters_size - old_size;
	if (new_parameters_size > old_size)
		memset(buffer + action->parameters_offset + old_size, 0, static_cast<size_t>(new_parameters_size - old_size));
	else if (new_parameters_size < old_size)
		memset(buffer + map_action_globals->parameter_buffer_size, 0, static_cast<size_t>(old_size - new_parameters_size));
	map_actions_changed();
	return TRUE;
}

boolean adjust_map_action_parameter_size(int16 action_index, int16 parameter_index, int32 new_count)
{
	map_action *action = get_map_action(action_index);
	const int32 header_offset = find_parameter_offset(action_index, parameter_index);
	if (!action || header_offset == NONE || new_count < NONE) return FALSE;
	map_actions_changed();

	map_action_parameter_header header =
		*reinterpret_cast<const map_action_parameter_header *>(map_action_globals->parameter_buffer + header_offset);
	const int32 old_size = action->parameters_size;
	if (new_count > MAXIMUM_PARAMETER_COUNT)
	{
		map_action_debug(NONE, "adjust parameters #%d==>#%d failed", old_size, old_size + parameter_extent(header.type, new_count));
		return FALSE;
	}
	const int16 old_header_count = header.count;
	const int32 old_extent = parameter_extent(header.type, header.count);
	const int32 new_extent = new_count == NONE ? 0 : parameter_extent(header.type, new_count);
	const int32 relative = header_offset - action->parameters_offset;
	const int32 new_size = old_size + new_extent - old_extent;

	if (new_extent > old_extent && !adjust_map_action_parameters_size(action_index, new_size)) return FALSE;

	uint8 *block = map_action_globals->parameter_buffer + action->parameters_offset;
	const int32 tail = old_size - relative - old_extent;
	memmove(block + relative + new_extent, block + relative + old_extent, static_cast<size_t>(tail));
	if (new_count == NONE)
	{
		action->parameter_count -= 1;
	}
	else
	{
		header.count = static_cast<int16>(new_count);
		memcpy(block + relative, &header, sizeof(header));
		// Padding and new elements read as zero.
		const int32 kept = 8 + get_parameter_size(header.type, MIN(new_count, static_cast<int32>(old_header_count)), FALSE);
		if (new_extent > kept) memset(block + relative + kept, 0, static_cast<size_t>(new_extent - kept));
	}
	if (new_extent < old_extent)
	{
		memset(block + new_size, 0, static_cast<size_t>(old_size - new_size));
		adjust_map_action_parameters_size(action_index, new_size);
	}
	map_actions_changed();
	return TRUE;
}

/* ---------- editing */

static boolean refresh_handle(map_action_parameter *parameter)
{
	return build_map_action_parameter(parameter, parameter->action_index, parameter->parameter_index);
}

boolean new_map_action_parameter(map_action_parameter *parameter, int16 action_index, field_tag field_name, int16 type)
{
	map_action *action = get_map_action(action_index);
	if (!action || type < 0 || type >= NUMBER_OF_MAP_ACTION_PARAMETER_TYPES) return FALSE;
	map_actions_changed();
	if (action->parameter_count >= MAXIMUM_PARAMETER_COUNT ||
		!adjust_map_action_parameters_size(action_index, action->parameters_size + 8))
	{
		return FALSE;
	}
	if (field_name == TAG("debg")) map_action_store.any_debg = TRUE;
	const map_action_parameter_header header = {type, 0, field_name};
	memcpy(map_action_globals->parameter_buffer + action->parameters_offset + action->parameters_size - 8, &header,
		sizeof(header));
	action->parameter_count += 1;
	map_action_parameter local;
	if (!parameter) parameter = &local;
	return build_map_action_parameter(parameter, action_index, static_cast<int16>(action->parameter_count - 1));
}

boolean set_map_action_parameter(map_action_parameter *parameter, int32 new_count, const void *new_data)
{
	if (new_count < 0 || !adjust_map_action_parameter_size(parameter->action_index, parameter->parameter_index, new_count))
	{
		return FALSE;
	}
	refresh_handle(parameter);
	void *data = extract_parameter_array_address(parameter);
	const int32 size = get_parameter_size(parameter->type, new_count, FALSE);
	if (new_data) memmove(data, new_data, static_cast<size_t>(size));
	else memset(data, 0, static_cast<size_t>(size));
	return TRUE;
}

boolean append_to_map_action_parameter(map_action_parameter *parameter, int32 appended_count, const void *new_data)
{
	if (!refresh_handle(parameter) || appended_count < 0) return FALSE;
	const int32 old_count = parameter->count;
	if (!adjust_map_action_parameter_size(parameter->action_index, parameter->parameter_index, old_count + appended_count))
	{
		return FALSE;
	}
	refresh_handle(parameter);
	uint8 *data = static_cast<uint8 *>(extract_parameter_array_address(parameter));
	const int32 size = get_parameter_size(parameter->type, appended_count, FALSE);
	uint8 *tail = data + get_parameter_size(parameter->type, old_count, FALSE);
	if (new_data) memmove(tail, new_data, static_cast<size_t>(size));
	else memset(tail, 0, static_cast<size_t>(size));
	return TRUE;
}

boolean copy_map_action_parameter(const map_action_parameter *source, map_action_parameter *destination)
{
	map_action_parameter from = *source;
	if (!refresh_handle(&from) || !refresh_handle(destination)) return FALSE;
	if (element_size(from.type) != element_size(destination->type)) return FALSE;
	if (!set_map_action_parameter(destination, from.count, nullptr)) return FALSE;
	// The source's address is taken after the destination moved.
	const void *data = extract_parameter_array_address(&from);
	if (!data) return FALSE;
	memmove(extract_parameter_array_address(destination), data,
		static_cast<size_t>(get_parameter_size(from.type, from.count, FALSE)));
	return TRUE;
}

boolean delete_map_action_parameter(map_action_parameter *parameter)
{
	return adjust_map_action_parameter_size(parameter->action_index, parameter->parameter_index, NONE);
}

boolean set_unique_map_action_parameter(int16 action_index, field_tag field_name, int16 type, int32 count,
	const void *data)
{
	map_action *action = get_map_action(action_index);
	if (!action) return FALSE;
	for (int16 p = 0; p < action->parameter_count;)
	{
		const map_action_parameter_header *header = get_map_action_parameter_header(action_index, p);
		if (header && header->field_name == field_name && header->type == type)
		{
			if (!adjust_map_action_parameter_size(action_index, p, NONE)) return FALSE;
		}
		else
		{
			++p;
		}
	}
	map_action_parameter parameter;
	if (!new_map_action_parameter(&parameter, action_index, field_name, type)) return FALSE;
	if (data && count >= 1) return set_map_action_parameter(&parameter, count, data);
	return TRUE;
}

boolean set_map_action_parameter_type(map_action_parameter *parameter, int16 type)
{
	if (type < 0 || type >= NUMBER_OF_MAP_ACTION_PARAMETER_TYPES || !refresh_handle(parameter)) return FALSE;
	if (parameter->type == type) return TRUE;
	if (!set_map_action_parameter(parameter, 0, nullptr)) return FALSE;
	get_map_action_parameter_header(parameter->action_index, parameter->parameter_index)->type = type;
	map_actions_changed();
	return refresh_handle(parameter);
}

boolean set_map_action_parameter_field_name(map_action_parameter *parameter, field_tag field_name)
{
	map_action_parameter_header *header =
		get_map_action_parameter_header(parameter->action_index, parameter->parameter_index);
	if (!header) return FALSE;
	header->field_name = field_name;
	if (field_name == TAG("debg")) map_action_store.any_debg = TRUE;
	map_actions_changed();
	return refresh_handle(parameter);
}

/* ---------- actions */

int16 new_map_action(int16 parent_action_index)
{
	if (!map_action_globals || !map_action_globals->parameter_buffer) return NONE;
	const int16 action_index = new_datum(&map_action_array);
	if (action_index == NONE) return NONE;
	map_action *action = get_map_action(action_index);
	// Never NONE or -2, the "none" values of lists and command identifiers, nor a live identifier.
	int16 identifier = action->identifier;
	while (identifier == -1 || identifier == -2 ||
		(action_identifier_to_action_index(identifier) != NONE && action_identifier_to_action_index(identifier) != action_index))
	{
		identifier = static_cast<int16>(identifier == -1 ? FIRST_DATUM_IDENTIFIER : identifier + 1);
	}
	if (identifier != action->identifier) set_datum_identifier(&map_action_array, action_index, identifier);
	identifier = action->identifier;
	index_identifier(identifier, action_index);
	action->tag = static_cast<action_tag>(NONE);
	action->parameters_offset = map_action_globals->parameter_buffer_size;
	map_action_store.offset_watermark = MAX(map_action_store.offset_watermark, action->parameters_offset);
	map_actions_changed();

	if (parent_action_index != NONE && get_map_action(parent_action_index) && parent_action_index != action_index)
	{
		const map_action *parent = get_map_action(parent_action_index);
		const int32 size = parent->parameters_size;
		if (adjust_map_action_parameters_size(action_index, size))
		{
			parent = get_map_action(parent_action_index);
			memcpy(map_action_globals->parameter_buffer + action->parameters_offset,
				map_action_globals->parameter_buffer + parent->parameters_offset, static_cast<size_t>(size));
			const int32 offset = action->parameters_offset;
			*action = *parent;
			action->identifier = identifier;
			action->parameters_offset = offset;
		}
	}
	return action_index;
}

void delete_map_action(int16 action_index)
{
	map_action *action = get_map_action(action_index);
	if (!action) return;
	map_action_debug(action_index, "deleted");
	adjust_map_action_parameters_size(action_index, 0);
	action->parameter_count = 0;
	index_identifier(action->identifier, NONE);
	delete_datum(&map_action_array, action_index);
	map_actions_changed();
}

/* ---------- import */

namespace {

struct import_fault
{
	const char *reason;
	int32 action;
	int32 byte;
};

struct block_extent
{
	int32 offset;
	int32 size;
	int32 action;
};

int compare_block_extents(const void *a, const void *b)
{
	const block_extent *x = static_cast<const block_extent *>(a);
	const block_extent *y = static_cast<const block_extent *>(b);
	if (x->offset != y->offset) return x->offset < y->offset ? -1 : 1;
	return x->action < y->action ? -1 : (x->action > y->action ? 1 : 0);
}

int compare_identifiers(const void *a, const void *b)
{
	const uint16 x = *static_cast<const uint16 *>(a);
	const uint16 y = *static_cast<const uint16 *>(b);
	return x < y ? -1 : (x > y ? 1 : 0);
}

// Swaps (when asked) and walks the area's headers, marking each boundary.
bool walk_parameter_area(uint8 *area, int32 area_size, bool byte_swap, uint8 *boundaries, import_fault *fault)
{
	int32 position = 0;
	while (position < area_size)
	{
		boundaries[position >> 2] = 1;
		if (area_size - position < 8)
		{
			*fault = {"parameter header past the end", NONE, position};
			return false;
		}
		if (byte_swap) byte_swap_data("map action parameter", area + position, 8, 1, map_action_parameter_header_byte_swap_data);
		map_action_parameter_header header;
		memcpy(&header, area + position, sizeof(header));
		if (header.field_name == TAG("debg")) map_action_store.any_debg = TRUE;
		if (header.type < 0 || header.type >= NUMBER_OF_MAP_ACTION_PARAMETER_TYPES)
		{
			*fault = {"bad parameter type", NONE, position};
			return false;
		}
		if (header.count < 0)
		{
			*fault = {"negative parameter count", NONE, position};
			return false;
		}
		const int32 extent = parameter_extent(header.type, header.count);
		if (extent > area_size - position)
		{
			*fault = {"parameter past the end", NONE, position};
			return false;
		}
		if (byte_swap && header.count > 0)
		{
			const parameter_definition *definition = &parameter_definitions[header.type];
			byte_swap_data("map action parameter data", area + position + 8, definition->size, header.count,
				definition->byte_swap_data);
		}
		position += extent;
	}
	if (area_size >= 0 && (area_size & 3) == 0) boundaries[area_size >> 2] = 1;
	return true;
}

bool check_records(const map_action *records, int32 count, const uint8 *area, int32 area_size,
	const uint8 *boundaries, import_fault *fault)
{
	block_extent *blocks = static_cast<block_extent *>(new_pointer(static_cast<int32>(sizeof(block_extent)) * MAX(count, 1)));
	uint16 *identifiers = static_cast<uint16 *>(new_pointer(static_cast<int32>(sizeof(uint16)) * MAX(count, 1)));
	bool good = blocks && identifiers;
	if (!good) *fault = {"out of memory", NONE, 0};
	int32 block_count = 0;
	for (int32 i = 0; good && i < count; ++i)
	{
		const map_action *record = &records[i];
		const int32 byte = i * MAP_ACTION_RECORD_SIZE;
		const int64 end = static_cast<int64>(record->parameters_offset) + record->parameters_size;
		const uint16 identifier = static_cast<uint16>(record->identifier);
		identifiers[i] = identifier;
		if (identifier < 0x8000 || identifier > 0xFFFD)
		{
			*fault = {"bad identifier", i, byte};
			good = false;
		}
		else if (record->parameter_count < 0 || record->parameters_size < 0 || record->parameters_offset < 0 ||
			end > area_size)
		{
			*fault = {"parameter block outside the area", i, byte};
			good = false;
		}
		else if (record->parameters_size > 0 || record->parameter_count > 0)
		{
			int32 position = record->parameters_offset;
			if ((position & 3) != 0 || !boundaries[position >> 2])
			{
				*fault = {"parameter block inside a parameter", i, byte};
				good = false;
				break;
			}
			// Exactly parameter_count headers fill the block.
			for (int16 p = 0; p < record->parameter_count && position <= end; ++p)
			{
				if (position == end)
				{
					position = NONE;
					break;
				}
				map_action_parameter_header header;
				memcpy(&header, area + position, sizeof(header));
				position += parameter_extent(header.type, header.count);
			}
			if (position != end)
			{
				*fault = {"parameters overrun their block", i, byte};
				good = false;
			}
			blocks[block_count++] = {record->parameters_offset, record->parameters_size, i};
		}
	}
	if (good)
	{
		qsort_private(blocks, block_count, sizeof(block_extent), compare_block_extents);
		for (int32 i = 1; good && i < block_count; ++i)
		{
			if (blocks[i - 1].offset + blocks[i - 1].size > blocks[i].offset)
			{
				*fault = {"overlapping parameter blocks", blocks[i].action, blocks[i].action * MAP_ACTION_RECORD_SIZE};
				good = false;
			}
		}
	}
	// An empty block holds no bytes but must not sit inside another block: that
	// block's bytes move without it, and it would point past the used area.
	for (int32 i = 0; good && i < count; ++i)
	{
		const map_action *record = &records[i];
		if (record->parameters_size > 0 || record->parameter_count > 0) continue;
		for (int32 b = 0; b < block_count; ++b)
		{
			if (blocks[b].offset < record->parameters_offset && record->parameters_offset < blocks[b].offset + blocks[b].size)
			{
				*fault = {"empty parameter block inside another", i, i * MAP_ACTION_RECORD_SIZE};
				good = false;
				break;
			}
		}
	}
	if (good)
	{
		qsort_private(identifiers, count, sizeof(uint16), compare_identifiers);
		for (int32 i = 1; good && i < count; ++i)
		{
			if (identifiers[i - 1] == identifiers[i])
			{
				int32 action = 0;
				while (action < count && static_cast<uint16>(records[action].identifier) != identifiers[i]) ++action;
				*fault = {"duplicate identifier", action, action * MAP_ACTION_RECORD_SIZE};
				good = false;
			}
		}
	}
	if (blocks) dispose_pointer(blocks);
	if (identifiers) dispose_pointer(identifiers);
	return good;
}

} // namespace

boolean import_map_actions(int16 map_action_count, int32 map_action_buffer_size, const void *buffer, boolean byte_swap)
{
	const boolean store = map_action_globals && map_action_globals->initialized && map_action_globals->parameter_buffer;
	if (store) clear_lookup_cache();
	const int32 count = map_action_count;
	import_fault fault = {nullptr, NONE, 0};
	if (count < 0 || count > MAXIMUM_MAP_ACTIONS_PER_MAP) fault = {"bad action count", NONE, 0};
	else if (map_action_buffer_size < MAP_ACTION_RECORD_SIZE * count) fault = {"section smaller than its records", NONE, 0};
	else if (map_action_buffer_size - MAP_ACTION_RECORD_SIZE * count > PARAMETER_BUFFER_SIZE)
		fault = {"parameter area too large", NONE, MAP_ACTION_RECORD_SIZE * count};
	else if (map_action_buffer_size > 0 && !buffer) fault = {"no section", NONE, 0};
	if (fault.reason)
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "map actions: %s (action #%d, byte #%d).", fault.reason,
			static_cast<int>(fault.action), static_cast<int>(fault.byte));
		return FALSE;
	}

	const int32 area_size = map_action_buffer_size - MAP_ACTION_RECORD_SIZE * count;
	const uint8 *source = static_cast<const uint8 *>(buffer);
	map_action *records = static_cast<map_action *>(new_pointer(MAX(count, 1) * MAP_ACTION_RECORD_SIZE));
	uint8 *area = static_cast<uint8 *>(new_pointer(MAX(area_size, 4)));
	uint8 *boundaries = static_cast<uint8 *>(new_pointer(area_size / 4 + 2));
	bool good = records && area && boundaries;
	if (!good)
	{
		fault = {"out of memory", NONE, 0};
	}
	else
	{
		if (count > 0) memcpy(records, source, static_cast<size_t>(count) * MAP_ACTION_RECORD_SIZE);
		if (area_size > 0) memcpy(area, source + MAP_ACTION_RECORD_SIZE * count, static_cast<size_t>(area_size));
		memset(boundaries, 0, static_cast<size_t>(area_size / 4 + 2));
		if (byte_swap && count > 0)
			byte_swap_data("map action", records, MAP_ACTION_RECORD_SIZE, count, map_action_byte_swap_data);
		good = walk_parameter_area(area, area_size, byte_swap, boundaries, &fault);
		if (good) good = check_records(records, count, area, area_size, boundaries, &fault);
		if (good) fault.byte += 0;
		else if (fault.action == NONE) fault.byte += MAP_ACTION_RECORD_SIZE * count;
	}

	if (!good)
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "map actions: %s (action #%d, byte #%d).", fault.reason,
			static_cast<int>(fault.action), static_cast<int>(fault.byte));
	}
	else if (store)
	{
		for (int32 i = 0; i < count; ++i)
		{
			const int16 index = new_datum(&map_action_array);
			if (index == NONE) break;
			map_action *action = get_map_action(index);
			*action = records[i];
			action->flags &= ~static_cast<uint32>(_map_action_is_active_flag | _map_action_succeeded_flag |
				_map_action_has_been_activated_flag | _map_action_was_just_activated_flag);
			action->trigger_time = 0;
			index_identifier(action->identifier, index);
			map_action_store.offset_watermark = MAX(map_action_store.offset_watermark, action->parameters_offset);
		}
		if (area_size > 0) memcpy(map_action_globals->parameter_buffer, area, static_cast<size_t>(area_size));
		map_action_globals->parameter_buffer_size = area_size;
		map_actions_changed();
	}
	if (records) dispose_pointer(records);
	if (area) dispose_pointer(area);
	if (boundaries) dispose_pointer(boundaries);
	return good;
}

void walk_all_parameters(map_action_parameter_visitor visit, void *context)
{
	if (!map_action_globals || !map_action_globals->parameter_buffer) return;
	for (int16 i = 0; i < map_action_array.count; ++i)
	{
		const map_action *action = get_map_action(i);
		if (!action) continue;
		int32 offset = action->parameters_offset;
		const int32 end = offset + action->parameters_size;
		for (int16 p = 0; p < action->parameter_count && offset + 8 <= end; ++p)
		{
			map_action_parameter_header *header =
				reinterpret_cast<map_action_parameter_header *>(map_action_globals->parameter_buffer + offset);
			offset += parameter_extent(header->type, header->count);
			visit(i, header, context);
		}
	}
}

static void resolve_parameter_tags(int16, map_action_parameter_header *header, void *)
{
	if (header->type < _parameter_projectile_group_tag || header->type > _parameter_projectile_tag) return;
	uint8 *data = reinterpret_cast<uint8 *>(header + 1);
	for (int16 k = 0; k < header->count; ++k)
	{
		int32 value;
		memcpy(&value, data + 4 * k, sizeof(value));
		value = header->type == _parameter_string_list_tag ? NONE : resolve_map_action_tag(header->type, static_cast<file_tag>(value));
		memcpy(data + 4 * k, &value, sizeof(value));
	}
}

void preload_map_action_tags(void)
{
	if (!map_action_globals || !map_action_globals->parameter_buffer) return;
	walk_all_parameters(resolve_parameter_tags, nullptr);
	map_actions_changed();
}

// Projectile groups and projectiles load through their definitions (set up
// for the map before the mesh); sounds have no definitions yet and resolve to none.
int16 resolve_map_action_tag(int16 parameter_type, file_tag tag)
{
	if (map_actions_test_hooks.resolve_tag) return map_actions_test_hooks.resolve_tag(parameter_type, tag);
	if (tag == static_cast<file_tag>(NONE)) return NONE;
	switch (parameter_type)
	{
		case _parameter_projectile_group_tag: return projectile_group_definition_tag_to_index(tag);
		case _parameter_projectile_tag: return projectile_definition_tag_to_index(tag);
		default: return NONE;
	}
}

int32 get_map_action_parameter_buffer_size(void)
{
	return map_action_globals ? map_action_globals->parameter_buffer_size : 0;
}

/* ---------- export */

void *export_map_actions(int16 *map_action_count, int32 *map_action_buffer_size)
{
	*map_action_count = 0;
	*map_action_buffer_size = 0;
	if (!map_action_globals || !map_action_globals->parameter_buffer) return nullptr;
	compress_data(&map_action_array);
	// Packing moves records, not their parameter blocks: the offset watermark
	// stays true, and only lookups by index must be forgotten.
	clear_lookup_cache();
	const int16 count = MAX(map_action_array.count, static_cast<int16>(0));
	for (int16 i = 0; i < count; ++i) index_identifier(get_map_action(i)->identifier, i);
	map_actions_changed();
	const int32 used = map_action_globals->parameter_buffer_size;
	const int32 size = count * MAP_ACTION_RECORD_SIZE + used;
	if (size == 0) return nullptr;
	uint8 *block = static_cast<uint8 *>(new_pointer(size));
	if (!block) return nullptr;
	for (int16 i = 0; i < count; ++i)
	{
		map_action record = *get_map_action(i);
		byte_swap_data("map action", &record, MAP_ACTION_RECORD_SIZE, 1, map_action_byte_swap_data);
		memcpy(block + i * MAP_ACTION_RECORD_SIZE, &record, sizeof(record));
	}
	uint8 *area = block + count * MAP_ACTION_RECORD_SIZE;
	memcpy(area, map_action_globals->parameter_buffer, static_cast<size_t>(used));
	// The used area is one walk of parameters; swap each in the copy.
	for (int32 position = 0; position + 8 <= used;)
	{
		map_action_parameter_header header;
		memcpy(&header, area + position, sizeof(header));
		if (header.type < 0 || header.type >= NUMBER_OF_MAP_ACTION_PARAMETER_TYPES || header.count < 0) break;
		const int32 extent = parameter_extent(header.type, header.count);
		if (extent > used - position) break;
		if (header.count > 0)
		{
			const parameter_definition *definition = &parameter_definitions[header.type];
			byte_swap_data("map action parameter data", area + position + 8, definition->size, header.count,
				definition->byte_swap_data);
		}
		byte_swap_data("map action parameter", area + position, 8, 1, map_action_parameter_header_byte_swap_data);
		position += extent;
	}
	*map_action_count = count;
	*map_action_buffer_size = size;
	return block;
}

struct map_offset
{
	int32 dx, dy, maximum_x, maximum_y;
};

static void offset_points(int16, map_action_parameter_header *header, void *context)
{
	if (header->type != _parameter_world_point2d) return;
	const map_offset *offset = static_cast<const map_offset *>(context);
	uint8 *data = reinterpret_cast<uint8 *>(header + 1);
	for (int16 k = 0; k < header->count; ++k)
	{
		int32 point[2];
		memcpy(point, data + 8 * k, sizeof(point));
		point[0] = static_cast<int32>(PIN(static_cast<int64>(point[0]) + offset->dx, 0, offset->maximum_x));
		point[1] = static_cast<int32>(PIN(static_cast<int64>(point[1]) + offset->dy, 0, offset->maximum_y));
		memcpy(data + 8 * k, point, sizeof(point));
	}
}

void offset_map_actions(int32 dx, int32 dy)
{
	if (!map_action_globals || !map_action_globals->parameter_buffer || !mesh_globals || mesh_globals->mesh_width <= 0)
	{
		return;
	}
	map_offset offset = {dx, dy, mesh_globals->mesh_width * 512 - 513, mesh_globals->mesh_height * 512 - 513};
	walk_all_parameters(offset_points, &offset);
	map_actions_changed();
}

/* ---------- test hooks */

map_actions_test_hooks_data *get_map_actions_test_hooks(void)
{
	return &map_actions_test_hooks;
}

void reset_map_actions_test_hooks(void)
{
	map_actions_test_hooks = {};
}
