#include "console/console.h"
#include "render/render.h"

#include <cstdarg>
#include <cstdio>

static console_test_hooks_data console_hooks;

// The newest lines, oldest first.
static cached_line console_lines[MAXIMUM_CACHED_CONSOLE_LINES];
static int16 console_line_count = 0;

console_test_hooks_data *get_console_test_hooks(void)
{
	return &console_hooks;
}

void reset_console_test_hooks(void)
{
	memset(&console_hooks, 0, sizeof(console_hooks));
	console_hooks.last_error = NONE;
	console_line_count = 0;
}

static struct console_hooks_initializer
{
	console_hooks_initializer() { reset_console_test_hooks(); }
} console_hooks_initializer_instance;

#define LEAST(...) least_call(&console_hooks.calls, __VA_ARGS__)

static void add_console_line(int16 owner, const char *text, boolean replace)
{
	if (replace && console_line_count > 0)
	{
		// Overwrites the newest line.
	}
	else if (console_line_count == MAXIMUM_CACHED_CONSOLE_LINES)
	{
		memmove(&console_lines[0], &console_lines[1], sizeof(console_lines[0]) * (MAXIMUM_CACHED_CONSOLE_LINES - 1));
	}
	else
	{
		console_line_count += 1;
	}

	cached_line *line = &console_lines[console_line_count - 1];
	memset(line, 0, sizeof(*line));
	line->owner_player_index = owner;
	const char *source = text ? text : "";
	memcpy(line->text, source, strnlen(source, CACHED_CONSOLE_LINE_LENGTH - 1));
}

void initialize_console(void)
{
	LEAST("initialize_console");
	register_postrasterization_effect(1, rasterize_console);
	memset(console_lines, 0, sizeof(console_lines));
	console_line_count = 0;
}

void initialize_console_for_new_map(void)
{
	LEAST("initialize_console_for_new_map");
}

void dispose_console_from_old_map(void)
{
	LEAST("dispose_console_from_old_map");
}

void cprintf(boolean replace, const char *format, ...)
{
	char text[CACHED_CONSOLE_LINE_LENGTH] = "";
	if (format)
	{
		va_list arguments;
		va_start(arguments, format);
		vsnprintf(text, sizeof(text), format, arguments);
		va_end(arguments);
	}

	LEAST("cprintf", replace, static_cast<const char *>(text));
	add_console_line(NONE, text, replace);
}

void append_chat(int16 player_index, const char *text, boolean private_message)
{
	LEAST("append_chat", player_index, text, private_message);
	add_console_line(player_index, text, FALSE);
}

void set_console_popup(const char *title, const char *text, int32 ticks)
{
	LEAST("set_console_popup", title, text, ticks);
	strncpy(console_hooks.popup_title, title ? title : "", sizeof(console_hooks.popup_title) - 1);
	strncpy(console_hooks.popup_text, text ? text : "", sizeof(console_hooks.popup_text) - 1);
	console_hooks.popup_ticks = ticks;
}

void set_console_error(int16 error)
{
	LEAST("set_console_error", error);
	console_hooks.last_error = error;
}

int16 get_console_input_state(void)
{
	return 0;
}

void save_cached_console_text(cached_line *lines, int16 *count)
{
	LEAST("save_cached_console_text", lines, count);
	if (lines)
	{
		memset(lines, 0, sizeof(cached_line) * MAXIMUM_CACHED_CONSOLE_LINES);
		memcpy(lines, console_lines, sizeof(cached_line) * static_cast<size_t>(console_line_count));
	}
	if (count) *count = console_line_count;
}

void restore_cached_console_text(const cached_line *lines, int16 count)
{
	LEAST("restore_cached_console_text", lines, count);
	// The count comes from a saved game (or is NONE when there was none).
	if (!lines || count < 0 || count > MAXIMUM_CACHED_CONSOLE_LINES) return;

	memset(console_lines, 0, sizeof(console_lines));
	for (int16 i = 0; i < count; ++i)
	{
		console_lines[i] = lines[i];
		console_lines[i].text[CACHED_CONSOLE_LINE_LENGTH - 1] = 0;
	}
	console_line_count = count;
}

// The console's lines are not drawn over the frame yet.
void rasterize_console(view_data *view)
{
	(void)view;
}
