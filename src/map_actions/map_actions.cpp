#include "map_actions/map_actions.h"

#include <cstdarg>
#include <cstdio>

#include "error_manager.h"

// Until the action store exists, a map has no actions: identifiers name
// nothing, and the reports that take an action index ignore every index.
struct map_action_globals_data
{
	boolean debug;
};

static map_action_globals_data map_action_globals;
static map_actions_test_hooks_data map_actions_test_hooks;

// Log lines are composed here and cut rather than overflowed.
#define MAP_ACTION_LOG_LINE_SIZE 512

void initialize_map_actions(void)
{
}

void initialize_map_actions_for_new_map(void)
{
	// Script debugging holds for one map only.
	map_action_globals.debug = FALSE;
}

void dispose_map_actions_from_old_map(void)
{
}

void update_map_actions(void)
{
}

void import_map_actions(int16, int32, void *, boolean)
{
	// The section is skipped: there is no action store to load it into.
}

void preload_map_action_tags(void)
{
}

int16 action_identifier_to_action_index(int16)
{
	return NONE;
}

void set_map_action_success(int16)
{
}

void set_map_action_error(int16)
{
}

boolean get_map_action_parameter(map_action_parameter *result, int16 action_index, uint32, field_tag field_name,
	int16 type)
{
	const map_actions_test_hooks_data *hooks = &map_actions_test_hooks;
	for (int16 i = 0; i < hooks->parameter_count && i < MAXIMUM_TEST_MAP_ACTION_PARAMETERS; ++i)
	{
		const auto &p = hooks->parameters[i];
		if ((p.action_index == NONE || p.action_index == action_index) && p.field_name == field_name &&
			(type == NONE || p.type == type))
		{
			if (result)
			{
				result->field_name = field_name;
				result->type = p.type;
				result->count = 0;
				result->action_index = action_index;
				result->parameter_index = i;
			}
			return TRUE;
		}
	}
	return FALSE;
}

// A line without an action starts with general_prefix; one of an action with action_mark and the action's name.
static void write_map_action_line(const char *general_prefix, const char *action_mark, int16 action_index,
	const char *format, va_list arguments) ATTRIBUTE_PRINTF(4, 0);

static void write_map_action_line(const char *general_prefix, const char *action_mark, int16 action_index,
	const char *format, va_list arguments)
{
	char line[MAP_ACTION_LOG_LINE_SIZE];
	int length;
	if (action_index == NONE) length = snprintf(line, sizeof(line), "%s", general_prefix);
	else length = snprintf(line, sizeof(line), "%s MA [%s] %s:  ", action_mark, "    ", "<unnamed action>");
	if (length < 0) length = 0;
	if (length < static_cast<int>(sizeof(line)) - 2)
	{
		vsnprintf(line + length, sizeof(line) - 1 - length, format, arguments);
	}
	line[sizeof(line) - 2] = 0;
	length = static_cast<int>(strlen(line));
	line[length] = '\n';
	line[length + 1] = 0;
	write_to_error_file(line, TRUE);
}

void map_action_debug(int16 action_index, const char *format, ...)
{
	if (!map_action_globals.debug)
	{
		if (action_index == NONE) return;
		if (!get_map_action_parameter(nullptr, action_index, _return_empty_arrays_flag, TAG("debg"), _parameter_flag))
		{
			return;
		}
	}

	va_list arguments;
	va_start(arguments, format);
	write_map_action_line("--- ", "###", action_index, format, arguments);
	va_end(arguments);
}

void map_action_error(int16 action_index, const char *format, ...)
{
	va_list arguments;
	va_start(arguments, format);
	write_map_action_line("xxx ", "XXX", action_index, format, arguments);
	va_end(arguments);
}

static void map_action_console_line(const char *text);

void set_map_action_debug_status(int16 new_status)
{
	if (new_status == _map_action_debug_toggle)
	{
		new_status = map_action_globals.debug ? _map_action_debug_off : _map_action_debug_on;
	}

	switch (new_status)
	{
	case _map_action_debug_on:
		map_action_globals.debug = TRUE;
		map_action_debug(NONE, "map action debugging on");
		map_action_console_line("map action debugging on");
		break;
	case _map_action_debug_off:
		// The line goes out while debugging is still on.
		map_action_debug(NONE, "map action debugging off");
		map_action_console_line("map action debugging off");
		map_action_globals.debug = FALSE;
		break;
	default:
		break;
	}
}

boolean get_map_action_debug_status(void)
{
	return map_action_globals.debug;
}

static void map_action_console_line(const char *)
{
}

map_actions_test_hooks_data *get_map_actions_test_hooks(void)
{
	return &map_actions_test_hooks;
}

void reset_map_actions_test_hooks(void)
{
	map_actions_test_hooks = {};
	map_actions_test_hooks.last_celebrating_team = NONE;
}

void test_add_map_action_parameter(int16 action_index, field_tag field_name, int16 type)
{
	map_actions_test_hooks_data *hooks = &map_actions_test_hooks;
	if (hooks->parameter_count >= MAXIMUM_TEST_MAP_ACTION_PARAMETERS) return;
	auto &p = hooks->parameters[hooks->parameter_count++];
	p.action_index = action_index;
	p.field_name = field_name;
	p.type = type;
}
