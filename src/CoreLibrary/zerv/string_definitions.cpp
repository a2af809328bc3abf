#include "string_definitions.h"

#include <cstdarg>
#include <cstdio>

#include "bitmap_text.h"
#include "definitions.h"
#include "error_manager.h"
#include "tag_files/tag_files.h"

// "|" with a lower-case r: a line break within a dialog string.
#define DIALOG_LINE_BREAK_CHARACTER ((static_cast<uint16>('|') << 8) | 'r')

static definition_globals string_definitions =
{
	"string", STRING_DEFINITION_GROUP_TAG, 1, MAXIMUM_STRING_DEFINITIONS,
	static_cast<int16>(sizeof(string_definition)), nullptr, nullptr, nullptr, nullptr, nullptr, 0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr
};

static definition_globals string_list_definitions =
{
	"string list", STRING_LIST_DEFINITION_GROUP_TAG, 1, MAXIMUM_STRING_LIST_DEFINITIONS,
	static_cast<int16>(sizeof(string_list_definition)), nullptr, nullptr, nullptr, nullptr, nullptr, 0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr
};

/* ---------- splitting */

static boolean is_line_end(char c)
{
	return c == 0 || c == '\n' || c == '\r';
}

// 'stli' and 'temp': every NUL, LF or CR ends a line; a run of them counts
// once. With a table, the ends become zero bytes and the table is filled.
static int32 split_string_list(char *buffer, int32 size, char **index_table)
{
	int32 count = 0;
	boolean in_string = FALSE;

	for (int32 i = 0; i < size; ++i)
	{
		if (is_line_end(buffer[i]))
		{
			if (index_table) buffer[i] = 0;
			in_string = FALSE;
		}
		else if (!in_string)
		{
			if (index_table) index_table[count] = buffer + i;
			count += 1;
			in_string = TRUE;
		}
	}
	return count;
}

// 'ditl': walked by text units; every LF, CR and the end close a string, so
// empty lines give empty strings. With a table, "|r" also becomes CR LF.
static int32 split_dialog_string_list(char *buffer, char **index_table)
{
	int32 count = 0;
	int32 index = 0;
	int32 start = 0;

	for (;;)
	{
		const int32 position = index;
		const uint16 character = get_next_character(buffer, &index);

		if (character == 0 || character == '\n' || character == '\r')
		{
			if (index_table)
			{
				index_table[count] = buffer + start;
				buffer[position] = 0;
			}
			count += 1;
			if (character == 0) break;
			start = index;
		}
		else if (character == DIALOG_LINE_BREAK_CHARACTER && index_table)
		{
			buffer[position] = '\r';
			buffer[position + 1] = '\n';
		}
		if (index <= position) break; // never stall on a malformed unit
	}
	return count;
}

/* ---------- loading */

static void report_too_large(int32 tag_handle)
{
	error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "string list '%s' is too large",
		tag_file_name_get(tag_handle));
}

static int16 load_string_tag(file_tag group_tag, file_tag subgroup_tag)
{
	const boolean is_text = group_tag == STRING_DEFINITION_GROUP_TAG;
	definition_globals *definitions = is_text ? &string_definitions : &string_list_definitions;

	if (subgroup_tag == static_cast<file_tag>(NONE)) return NONE;

	const int16 loaded = group_subgroup_tag_to_definition_index(definitions, group_tag, subgroup_tag);
	if (loaded != NONE) return loaded;

	const int32 tag_handle = tag_file_open(group_tag, subgroup_tag);
	if (tag_handle == NONE)
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "couldn't read tag header for string '%s'.",
			tag_to_string(subgroup_tag));
		return NONE;
	}

	const int32 size = tag_file_get_header_data_size(tag_handle);
	if (size < 0)
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "couldn't read string data for %s.",
			tag_file_name_get(tag_handle));
		return NONE;
	}

	const size_t buffer_size = static_cast<size_t>(size) + 1;
	char *buffer = static_cast<char *>(new_pointer(buffer_size));
	if (!buffer)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for string",
			static_cast<int>(static_cast<uint32>(size) + 1));
		return NONE;
	}
	if (size > 0 && !tag_file_read(tag_handle, 0, size, buffer))
	{
		error_message(_error_file_system_read, MODULE_NAME, __LINE__, "couldn't read string data for %s.",
			tag_file_name_get(tag_handle));
		dispose_pointer(buffer);
		return NONE;
	}
	buffer[size] = 0;

	int16 definition_index = NONE;
	if (is_text)
	{
		const size_t length = strlen(buffer);
		if (length > MAXIMUM_STRING_LENGTH)
		{
			report_too_large(tag_handle);
			dispose_pointer(buffer);
			return NONE;
		}
		string_definition definition;
		definition.string_buffer_size = static_cast<int16>(length);
		definition.string_buffer = buffer;
		definition_index = new_definition_for_group(definitions, group_tag, subgroup_tag, tag_handle, &definition);
		if (definition_index == NONE) dispose_pointer(buffer);
		return definition_index;
	}

	const boolean is_dialog = group_tag == DIALOG_STRING_LIST_DEFINITION_GROUP_TAG;
	if (!is_dialog && group_tag != STRING_LIST_DEFINITION_GROUP_TAG && group_tag != TEMPLATE_DEFINITION_GROUP_TAG)
	{
		dispose_pointer(buffer);
		return NONE;
	}

	const int32 count = is_dialog ? split_dialog_string_list(buffer, nullptr) : split_string_list(buffer, size, nullptr);
	if (count > MAXIMUM_STRINGS_PER_LIST)
	{
		report_too_large(tag_handle);
		dispose_pointer(buffer);
		return NONE;
	}

	char **index_table = nullptr;
	if (count > 0)
	{
		const size_t table_size = sizeof(char *) * static_cast<size_t>(count);
		index_table = static_cast<char **>(new_pointer(table_size));
		if (!index_table)
		{
			error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for index_table",
				static_cast<int>(table_size));
			dispose_pointer(buffer);
			return NONE;
		}
		if (is_dialog) split_dialog_string_list(buffer, index_table);
		else split_string_list(buffer, size, index_table);
	}

	string_list_definition definition;
	definition.string_count = static_cast<int16>(count);
	definition.string_buffer = buffer;
	definition.index_table = index_table;
	definition_index = new_definition_for_group(definitions, group_tag, subgroup_tag, tag_handle, &definition);
	if (definition_index == NONE)
	{
		dispose_pointer(index_table);
		dispose_pointer(buffer);
	}
	return definition_index;
}

static string_definition *get_string_definition(int16 string_index)
{
	if (string_index == NONE) return nullptr;
	return static_cast<string_definition *>(try_and_get_definition(&string_definitions, string_index));
}

static string_list_definition *get_string_list_definition(int16 string_list_index)
{
	if (string_list_index == NONE) return nullptr;
	return static_cast<string_list_definition *>(try_and_get_definition(&string_list_definitions, string_list_index));
}

/* ---------- life cycle */

// Every text and list below the count owns its buffers, deleted and orphaned
// ones as well.
static void release_string_buffers(void)
{
	if (string_definitions.definitions)
	{
		string_definition *texts = static_cast<string_definition *>(string_definitions.definitions);
		for (int16 i = 0; i < string_definitions.count; ++i) free_and_clear(&texts[i].string_buffer);
	}
	if (string_list_definitions.definitions)
	{
		string_list_definition *lists = static_cast<string_list_definition *>(string_list_definitions.definitions);
		for (int16 i = 0; i < string_list_definitions.count; ++i)
		{
			free_and_clear(&lists[i].string_buffer);
			free_and_clear(&lists[i].index_table);
		}
	}
}

void initialize_string_definitions(void)
{
	// Set up again while a map still holds strings (the core started again in
	// one process): the new tables would drop the only pointers to them.
	release_string_buffers();
	initialize_definitions(&string_definitions);
	initialize_definitions(&string_list_definitions);
}

void initialize_string_definitions_for_new_map(void)
{
	initialize_definitions_for_new_map(&string_definitions);
	initialize_definitions_for_new_map(&string_list_definitions);
}

void dispose_string_definitions_from_old_map(void)
{
	release_string_buffers();
	dispose_definitions_from_old_map(&string_definitions);
	dispose_definitions_from_old_map(&string_list_definitions);
}

/* ---------- lookup */

int16 string_tag_to_string_index(file_tag subgroup_tag)
{
	return load_string_tag(STRING_DEFINITION_GROUP_TAG, subgroup_tag);
}

int16 string_list_tag_to_string_index(file_tag subgroup_tag)
{
	return load_string_tag(STRING_LIST_DEFINITION_GROUP_TAG, subgroup_tag);
}

int16 template_tag_to_template_index(file_tag subgroup_tag)
{
	return load_string_tag(TEMPLATE_DEFINITION_GROUP_TAG, subgroup_tag);
}

int16 dialog_string_list_tag_to_string_index(file_tag subgroup_tag)
{
	if (subgroup_tag == static_cast<file_tag>(NONE)) return NONE;
	if (group_subgroup_tag_to_definition_index(&string_list_definitions, DIALOG_STRING_LIST_DEFINITION_GROUP_TAG,
		subgroup_tag) == NONE && !tag_file_exists(DIALOG_STRING_LIST_DEFINITION_GROUP_TAG, subgroup_tag))
	{
		return NONE;
	}
	return load_string_tag(DIALOG_STRING_LIST_DEFINITION_GROUP_TAG, subgroup_tag);
}

/* ---------- access */

const char *get_string(int16 string_index, int16 *size)
{
	const string_definition *definition = get_string_definition(string_index);
	if (!definition || !definition->string_buffer)
	{
		if (size) *size = 0;
		return "";
	}
	if (size) *size = definition->string_buffer_size;
	return definition->string_buffer;
}

int16 count_strings_in_list(int16 string_list_index)
{
	const string_list_definition *definition = get_string_list_definition(string_list_index);
	return definition ? definition->string_count : static_cast<int16>(0);
}

const char *get_string_from_list(int16 string_list_index, int16 string_index)
{
	const string_list_definition *definition = get_string_list_definition(string_list_index);
	if (!definition || string_index < 0 || string_index >= definition->string_count || !definition->index_table)
	{
		return "";
	}
	return definition->index_table[string_index];
}

void delete_string_list_definition(int16 string_list_index)
{
	if (string_list_index == NONE) return;
	string_list_definition *definition = get_string_list_definition(string_list_index);
	if (!definition) return;
	if (delete_definition(&string_list_definitions, string_list_index))
	{
		free_and_clear(&definition->string_buffer);
		free_and_clear(&definition->index_table);
		definition->string_count = 0;
	}
}

void orphan_string_list_definition(int16 string_list_index)
{
	if (string_list_index == NONE) return;
	orphan_definition(&string_list_definitions, string_list_index);
}

int32 get_string_definition_tag_header_user_data(void *)
{
	return NONE;
}

int32 get_string_list_definition_tag_header_user_data(void *)
{
	return NONE;
}

/* ---------- printing texts from tags */

// Reads one conversion after its "%" at *text: skips flags, width and
// precision and copies the length modifiers and the conversion letter to
// kind (room for 4 characters and the terminator). False for what a caller
// can never name safely: "*" widths, "$" positions, %n, or no letter at all.
static bool read_conversion(const char **text, char kind[5])
{
	const char *p = *text;
	while (*p && strchr("-+ #0", *p)) ++p;
	while (*p >= '0' && *p <= '9') ++p;
	if (*p == '.')
	{
		++p;
		while (*p >= '0' && *p <= '9') ++p;
	}
	int32 length = 0;
	while (*p && strchr("hlLqjzt", *p) && length < 2) kind[length++] = *p++;
	if (!*p || !strchr("diouxXeEfFgGaAcsp", *p)) return false;
	kind[length++] = *p++;
	kind[length] = 0;
	*text = p;
	return true;
}

// Whether every conversion of text is the next one of conversions.
static bool text_conversions_are_supplied(const char *text, const char *conversions)
{
	const char *supplied = conversions ? conversions : "";
	for (const char *p = text; *p; )
	{
		if (*p++ != '%') continue;
		if (*p == '%')
		{
			++p;
			continue;
		}
		char kind[5], supplied_kind[5];
		if (!read_conversion(&p, kind)) return false;
		while (*supplied && *supplied != '%') ++supplied;
		if (!*supplied) return false;
		++supplied;
		if (!read_conversion(&supplied, supplied_kind) || strcmp(kind, supplied_kind) != 0) return false;
	}
	return true;
}

char *safe_tag_sprintf(char *buffer, int32 buffer_size, const char *conversions, const char *built_in_text,
	const char *text, ...)
{
	if (!buffer)
	{
		buffer = temporary;
		buffer_size = TEMPORARY_BUFFER_SIZE;
	}
	if (buffer_size < 1) return buffer;
	const char *format = text && *text && text_conversions_are_supplied(text, conversions) ? text :
		built_in_text ? built_in_text : "";

	// Formatted apart first: an argument may point into buffer.
	char scratch[TEMPORARY_BUFFER_SIZE];
	va_list arguments;
	va_start(arguments, text);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
	const int result = std::vsnprintf(scratch, sizeof(scratch), format, arguments);
#pragma GCC diagnostic pop
	va_end(arguments);
	if (result < 0) scratch[0] = 0;
	const size_t length = MIN(strlen(scratch), static_cast<size_t>(buffer_size) - 1);
	memcpy(buffer, scratch, length);
	buffer[length] = 0;
	return buffer;
}
