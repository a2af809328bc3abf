// 'mung': edits other actions' parameters and state at run time.
#include <cstring>

#include "map_actions/general_action_procs.h"
#include "map_actions/map_action_accessors.h"
#include "memory.h"

static void delete_own_parameters(int16 target, field_tag field_name, int16 type)
{
	const map_action *action = get_map_action(target);
	for (int16 p = 0; action && p < action->parameter_count;)
	{
		const map_action_parameter_header *header = get_map_action_parameter_header(target, p);
		if (!header) break;
		if (header->field_name == field_name && header->type == type)
		{
			if (!adjust_map_action_parameter_size(target, p, NONE)) break;
		}
		else
		{
			++p;
		}
		action = get_map_action(target);
	}
}

void munger_insert_parameter(int16 target, const map_action_parameter *operand, const void *data)
{
	map_action_parameter parameter;
	if (!new_map_action_parameter(&parameter, target, operand->field_name, operand->type)) return;
	if (operand->count > 0) set_map_action_parameter(&parameter, operand->count, data);
}

void munger_replace_parameter(int16 target, const map_action_parameter *operand, const void *data)
{
	munger_delete_parameter(target, operand, data);
	munger_insert_parameter(target, operand, data);
}

void munger_delete_parameter(int16 target, const map_action_parameter *operand, const void *)
{
	delete_own_parameters(target, operand->field_name, operand->type);
}

void munger_append_parameter(int16 target, const map_action_parameter *operand, const void *data)
{
	map_action_parameter parameter;
	if (!get_map_action_parameter(&parameter, target, _dont_resolve_links_flag | _return_empty_arrays_flag,
			operand->field_name, operand->type) &&
		!new_map_action_parameter(&parameter, target, operand->field_name, operand->type))
	{
		return;
	}
	append_to_map_action_parameter(&parameter, operand->count, data);
}

const munger_proc munger_procs[NUMBER_OF_MUNGER_PROCS] = {
	{TAG("pins"), 0, munger_insert_parameter, nullptr},
	{TAG("prep"), 0, munger_replace_parameter, nullptr},
	{TAG("pdel"), 0, munger_delete_parameter, nullptr},
	{TAG("papp"), 0, munger_append_parameter, nullptr},
	{TAG("adea"), 1, nullptr, deactivate_map_action},
	{TAG("aact"), 1, nullptr, activate_map_action},
	{TAG("adel"), 1, nullptr, delete_map_action},
	{TAG("asuc"), 1, nullptr, set_map_action_success},
};

struct copied_parameter
{
	map_action_parameter_header header;
	const uint8 *data;
};

uint32 munger_action_proc(int16 action_index)
{
	map_action_debug(action_index, "Munging...");
	const map_action *action = get_map_action(action_index);
	const int16 identifier = action->identifier;
	const int16 parameter_count = action->parameter_count;
	// Instructions and operands are read from a copy taken before the first edit.
	uint8 *copy = static_cast<uint8 *>(new_pointer(MAX(static_cast<int32>(action->parameters_size), 1)));
	copied_parameter *parameters =
		static_cast<copied_parameter *>(new_pointer(static_cast<int32>(sizeof(copied_parameter)) * MAX(parameter_count, static_cast<int16>(1))));
	if (!copy || !parameters)
	{
		if (copy) dispose_pointer(copy);
		if (parameters) dispose_pointer(parameters);
		return 0;
	}
	memcpy(copy, map_action_globals->parameter_buffer + action->parameters_offset, static_cast<size_t>(action->parameters_size));
	int16 copied = 0;
	for (int16 p = 0; p < parameter_count; ++p)
	{
		const map_action_parameter_header *header = get_map_action_parameter_header(action_index, p);
		if (!header) break;
		if (header->count == 0) continue;
		parameters[copied].header = *header;
		parameters[copied].data = copy + (reinterpret_cast<const uint8 *>(header + 1) -
			(map_action_globals->parameter_buffer + action->parameters_offset));
		copied += 1;
	}

	for (int16 p = 0; p < copied && get_map_action_identifier(action_index) == identifier; ++p)
	{
		const copied_parameter *instruction = &parameters[p];
		if (instruction->header.type != _parameter_action_identifier) continue;
		const munger_proc *proc = nullptr;
		for (const munger_proc &row : munger_procs)
		{
			if (row.field_name == instruction->header.field_name) proc = &row;
		}
		const copied_parameter *operand = nullptr;
		if (proc && proc->kind == 0)
		{
			if (p + 1 >= copied) break;
			operand = &parameters[++p];
		}
		for (int16 k = 0; k < instruction->header.count && get_map_action_identifier(action_index) == identifier; ++k)
		{
			int16 target_identifier;
			memcpy(&target_identifier, instruction->data + 2 * k, sizeof(target_identifier));
			const int16 target = action_identifier_to_action_index(target_identifier);
			if (target == NONE) continue;
			if (!proc)
			{
				map_action_debug(action_index, "bad munger field name %s", tag_to_string(instruction->header.field_name));
			}
			else if (proc->kind == 0)
			{
				map_action_parameter handle = {operand->header.field_name, operand->header.type, operand->header.count, NONE, NONE};
				proc->parameter_proc(target, &handle, operand->data);
			}
			else
			{
				proc->action_proc(target);
			}
		}
	}
	dispose_pointer(copy);
	dispose_pointer(parameters);
	return 0;
}
