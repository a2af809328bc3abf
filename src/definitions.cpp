#include "definitions.h"

#include "error_manager.h"
#include "tag_files/tag_files.h"

static const char unknown_definition_name[] = "<unknown>";

struct definitions_globals_data
{
	int16 cached_globals_count;
	definition_globals *cached_globals[MAXIMUM_NUMBER_OF_CACHED_DEFINITION_GLOBALS];
};

static definitions_globals_data definitions_globals;

uint32 definitions_generation = 0;

static inline void note_definitions_changed(void)
{
	definitions_generation += 1;
}

/* ---------- helpers */

static boolean definition_index_is_valid(const definition_globals *definitions, int16 definition_index)
{
	return definitions && definitions->definitions && definition_index >= 0 &&
		definition_index < definitions->count;
}

static void *definition_address(definition_globals *definitions, int16 definition_index)
{
	return static_cast<uint8 *>(definitions->definitions) +
		static_cast<size_t>(definition_index) * static_cast<size_t>(definitions->size);
}

static const char *tag_name_or_unknown(int32 tag_handle)
{
	return tag_handle == NONE ? unknown_definition_name : tag_file_name_get(tag_handle);
}

static void *allocate_or_die(size_t size, const char *what, const char *group_name)
{
	void *block = new_pointer(size ? size : 1);
	if (!block)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate %d bytes for %s for %s definitions.",
			static_cast<int>(size), what, group_name);
	}
	return block;
}

static void free_group_tables(definition_globals *definitions)
{
	free_and_clear(&definitions->definitions);
	free_and_clear(&definitions->subgroup_tags);
	free_and_clear(&definitions->flags);
	free_and_clear(&definitions->stack);
	free_and_clear(&definitions->group_tags);
	free_and_clear(&definitions->tag_handles);
	note_definitions_changed();
}

// Reads the definition's stored bytes into destination in host order; a tag
// shorter than the record fails, whatever its version.
static boolean read_stored_definition(definition_globals *definitions, int32 tag_handle, void *destination)
{
	const int32 size = definitions->size;
	memset(destination, 0, static_cast<size_t>(size));
	if (size > 0 && !tag_file_read(tag_handle, 0, size, destination)) return FALSE;
	if (definitions->byte_swapping_data)
	{
		byte_swap_data(definitions->name, destination, size, 1, definitions->byte_swapping_data);
	}
	return TRUE;
}

static void report_read_failure(definition_globals *definitions, int32 tag_handle, file_tag subgroup_tag)
{
	error_message(_error_file_system_read, MODULE_NAME, __LINE__, "couldn't read %s definition for '%s' (%s).",
		definitions->name, tag_name_or_unknown(tag_handle), tag_to_string(subgroup_tag));
}

/* ---------- life cycle */

void preinitialize_definitions(void)
{
	definitions_globals.cached_globals_count = 0;
	memset(definitions_globals.cached_globals, 0, sizeof(definitions_globals.cached_globals));
}

void initialize_definitions(definition_globals *definitions)
{
	const size_t count = definitions->maximum_count > 0 ? static_cast<size_t>(definitions->maximum_count) : 0;
	const size_t size = definitions->size > 0 ? static_cast<size_t>(definitions->size) : 0;

	// A group set up again (tests, a restarted shell) must not leak its old tables.
	free_group_tables(definitions);

	// The descriptor converts each definition in place: it must not reach past one.
	if (definitions->byte_swapping_data &&
		get_byte_swap_struct_size(definitions->byte_swapping_data) > static_cast<int32>(size))
	{
		error_message(_error_assertion_failure, MODULE_NAME, __LINE__,
			"%s definitions: the byte-swap descriptor covers #%d bytes of a #%d-byte definition", definitions->name,
			static_cast<int>(get_byte_swap_struct_size(definitions->byte_swapping_data)), static_cast<int>(size));
		return;
	}

	definitions->subgroup_tags = static_cast<file_tag *>(
		allocate_or_die(count * sizeof(file_tag), "subgroup_tags", definitions->name));
	definitions->definitions = allocate_or_die(count * size, "definitions", definitions->name);
	definitions->flags = static_cast<uint16 *>(
		allocate_or_die(count * sizeof(uint16), "definition flags", definitions->name));
	definitions->stack = static_cast<file_tag *>(
		allocate_or_die(MAXIMUM_DEFINITION_STACK_SIZE * sizeof(file_tag), "stack", definitions->name));
	definitions->group_tags = static_cast<file_tag *>(
		allocate_or_die(count * sizeof(file_tag), "group tags", definitions->name));
	definitions->tag_handles = static_cast<int32 *>(
		allocate_or_die(count * sizeof(int32), "tag handles", definitions->name));
	definitions->count = NONE;
	definitions->stack_size = 0;
	note_definitions_changed();

	for (int16 i = 0; i < definitions_globals.cached_globals_count; ++i)
	{
		if (definitions_globals.cached_globals[i] == definitions) return;
	}
	if (definitions_globals.cached_globals_count < MAXIMUM_NUMBER_OF_CACHED_DEFINITION_GLOBALS)
	{
		definitions_globals.cached_globals[definitions_globals.cached_globals_count++] = definitions;
	}
	else
	{
		// Only the dependency report walks the registered groups.
		log_message(MODULE_NAME, __LINE__, "too many definition groups: %s is left out of preload lists",
			definitions->name);
	}
}

void initialize_definitions_for_new_map(definition_globals *definitions)
{
	if (definitions->count != NONE) return;
	definitions->count = 0;
	definitions->stack_size = 0;
	if (definitions->flags && definitions->maximum_count > 0)
	{
		memset(definitions->flags, 0, static_cast<size_t>(definitions->maximum_count) * sizeof(uint16));
	}
	note_definitions_changed();
}

void dispose_definitions_from_old_map(definition_globals *definitions)
{
	definitions->count = NONE;
	definitions->stack_size = 0;
	note_definitions_changed();
}

/* ---------- loading */

int16 definition_tag_to_index(definition_globals *definitions, file_tag subgroup_tag)
{
	if (subgroup_tag == static_cast<file_tag>(NONE))
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__,
			"tried to read non-existant (i.e., NONE) %s definition", definitions->name);
		return NONE;
	}
	if (!definitions->definitions || definitions->count < 0)
	{
		error_message(_error_data_missing, MODULE_NAME, __LINE__, "%s definitions are not set up for a map; couldn't add '%s'.",
			definitions->name, tag_to_string(subgroup_tag));
		return NONE;
	}

	int16 definition_index = subgroup_tag_to_definition_index(definitions, subgroup_tag);
	int32 tag_handle = NONE;
	boolean just_read = FALSE;

	if (definition_index == NONE)
	{
		tag_handle = tag_file_open(definitions->group, subgroup_tag);
		if (tag_handle == NONE)
		{
			const char *text = tag_to_string(subgroup_tag);
			if (text[0] == '}' && text[1] == ':') return NONE;
			error_message(_error_file_system_open, MODULE_NAME, __LINE__, "couldn't read header for %s definition '%s'.",
				definitions->name, text);
			return NONE;
		}

		for (int16 i = 0; i < definitions->stack_size; ++i)
		{
			if (definitions->stack[i] == subgroup_tag)
			{
				return static_cast<int16>(definitions->count + (definitions->stack_size - 1 - i));
			}
		}

		if (definitions->stack_size >= MAXIMUM_DEFINITION_STACK_SIZE)
		{
			error_message(_error_array_full, MODULE_NAME, __LINE__, "%s definition stack overflow, couldn't load '%s'",
				definitions->name, tag_file_name_get(tag_handle));
			return NONE;
		}

		void *scratch = new_pointer(static_cast<size_t>(definitions->size > 0 ? definitions->size : 1));
		if (!scratch)
		{
			error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for new %s definition '%s'.",
				static_cast<int>(definitions->size), definitions->name, tag_file_name_get(tag_handle));
			return NONE;
		}

		definitions->stack[definitions->stack_size++] = subgroup_tag;
		if (!read_stored_definition(definitions, tag_handle, scratch))
		{
			report_read_failure(definitions, tag_handle, subgroup_tag);
			dispose_pointer(scratch);
			definitions->stack_size -= 1;
			return NONE;
		}
		definition_index = new_definition_for_group(definitions, definitions->group, subgroup_tag, tag_handle, scratch);
		dispose_pointer(scratch);
		definitions->stack_size -= 1;
		if (definition_index == NONE) return NONE;
		just_read = TRUE;
	}
	else
	{
		tag_handle = definitions->tag_handles[definition_index];
	}

	if (definitions->flags[definition_index] & _definition_postprocessed_flag) return definition_index;

	void *definition = definition_address(definitions, definition_index);

	if (!just_read)
	{
		// An earlier attempt failed at the version or postprocess step and may
		// have changed the slot: start again from the stored bytes, so that
		// every attempt converts exactly once.
		tag_handle = tag_file_open(definitions->group_tags[definition_index], subgroup_tag);
		definitions->tag_handles[definition_index] = tag_handle;
		if (tag_handle == NONE || !read_stored_definition(definitions, tag_handle, definition))
		{
			report_read_failure(definitions, tag_handle, subgroup_tag);
			return NONE;
		}
	}

	const int32 stored_version = tag_file_get_header_version(tag_handle);
	if (stored_version > definitions->current_version)
	{
		error_message(_error_data_version, MODULE_NAME, __LINE__, "%s definition for '%s' is too new (#%d>#%d).",
			definitions->name, tag_file_name_get(tag_handle), static_cast<int>(stored_version),
			static_cast<int>(definitions->current_version));
		return NONE;
	}
	if (stored_version < definitions->current_version)
	{
		void *copy = new_pointer(static_cast<size_t>(definitions->size > 0 ? definitions->size : 1));
		if (!copy)
		{
			error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes to convert '%s' definition '%s'.",
				static_cast<int>(definitions->size), definitions->name, tag_file_name_get(tag_handle));
			return NONE;
		}
		memcpy(copy, definition, static_cast<size_t>(definitions->size));
		const boolean converted = definitions->convert &&
			definitions->convert(definitions, tag_handle, static_cast<int16>(stored_version), copy, definition);
		dispose_pointer(copy);
		if (!converted)
		{
			error_message(_error_data_version, MODULE_NAME, __LINE__, "%s definition for '%s' is too old (#%d<#%d).",
				definitions->name, tag_file_name_get(tag_handle), static_cast<int>(stored_version),
				static_cast<int>(definitions->current_version));
			return NONE;
		}
	}

	// Set before the postprocess, so that a definition referring back to
	// itself gets its own index instead of loading again.
	definitions->flags[definition_index] |= _definition_postprocessed_flag;
	note_definitions_changed();
	const boolean postprocessed = !definitions->postprocess ||
		definitions->postprocess(definitions, definition_index, tag_handle, definition);
	// The postprocess rewrites the record whatever it answers.
	note_definitions_changed();
	if (!postprocessed)
	{
		error_message(_error_unknown, MODULE_NAME, __LINE__, "%s definition postprocess failed on '%s'.", definitions->name,
			tag_file_name_get(tag_handle));
		definitions->flags[definition_index] &= static_cast<uint16>(~_definition_postprocessed_flag);
		note_definitions_changed();
		return NONE;
	}

	return definition_index;
}

int16 new_definition(definition_globals *definitions, file_tag subgroup_tag, const void *definition)
{
	const int32 tag_handle = subgroup_tag == static_cast<file_tag>(NONE) ? NONE :
		tag_file_open(definitions->group, subgroup_tag);
	return new_definition_for_group(definitions, definitions->group, subgroup_tag, tag_handle, definition);
}

int16 new_definition_for_group(definition_globals *definitions, file_tag group_tag, file_tag subgroup_tag,
	int32 tag_handle, const void *definition)
{
	if (!definitions->definitions || definitions->count < 0)
	{
		error_message(_error_data_missing, MODULE_NAME, __LINE__, "%s definitions are not set up for a map; couldn't add '%s'.",
			definitions->name, tag_name_or_unknown(tag_handle));
		return NONE;
	}
	if (definitions->count >= definitions->maximum_count)
	{
		error_message(_error_array_full, MODULE_NAME, __LINE__, "there are no more free %s definitions for '%s'.",
			definitions->name, tag_name_or_unknown(tag_handle));
		return NONE;
	}

	const int16 definition_index = definitions->count;
	definitions->count += 1;
	memmove(definition_address(definitions, definition_index), definition, static_cast<size_t>(definitions->size));
	definitions->subgroup_tags[definition_index] = subgroup_tag;
	definitions->group_tags[definition_index] = group_tag;
	definitions->tag_handles[definition_index] = tag_handle;
	// A reused slot starts over: nothing of its former definition holds.
	definitions->flags[definition_index] = 0;
	note_definitions_changed();
	return definition_index;
}

/* ---------- lookup */

int16 subgroup_tag_to_definition_index(definition_globals *definitions, file_tag subgroup_tag)
{
	return group_subgroup_tag_to_definition_index(definitions, definitions->group, subgroup_tag);
}

int16 group_subgroup_tag_to_definition_index(definition_globals *definitions, file_tag group_tag,
	file_tag subgroup_tag)
{
	if (!definitions->subgroup_tags || subgroup_tag == static_cast<file_tag>(NONE)) return NONE;
	for (int16 i = static_cast<int16>(definitions->count - 1); i >= 0; --i)
	{
		if (definitions->subgroup_tags[i] == subgroup_tag && definitions->group_tags[i] == group_tag) return i;
	}
	return NONE;
}

file_tag get_definition_subgroup(definition_globals *definitions, int16 definition_index)
{
	if (!definition_index_is_valid(definitions, definition_index)) return static_cast<file_tag>(NONE);
	return definitions->subgroup_tags[definition_index];
}

file_tag get_definition_group(definition_globals *definitions, int16 definition_index)
{
	if (!definition_index_is_valid(definitions, definition_index)) return static_cast<file_tag>(NONE);
	return definitions->group_tags[definition_index];
}

int32 get_definition_tag_header(definition_globals *definitions, int16 definition_index)
{
	if (!definition_index_is_valid(definitions, definition_index)) return NONE;
	if (definitions->subgroup_tags[definition_index] == static_cast<file_tag>(NONE)) return NONE;
	return definitions->tag_handles[definition_index];
}

const char *get_definition_name(definition_globals *definitions, int16 definition_index)
{
	return tag_name_or_unknown(get_definition_tag_header(definitions, definition_index));
}

const void *get_default_definition(definition_globals *definitions)
{
	return definitions->default_initializer;
}

boolean delete_definition(definition_globals *definitions, int16 definition_index)
{
	if (!definition_index_is_valid(definitions, definition_index)) return FALSE;
	definitions->tag_handles[definition_index] = NONE;
	note_definitions_changed();
	if (definition_index == definitions->count - 1)
	{
		definitions->count -= 1;
		return TRUE;
	}
	definitions->subgroup_tags[definition_index] = static_cast<file_tag>(NONE);
	return FALSE;
}

void orphan_definition(definition_globals *definitions, int16 definition_index)
{
	if (!definition_index_is_valid(definitions, definition_index)) return;
	definitions->subgroup_tags[definition_index] = ORPHANED_DEFINITION_SUBGROUP_TAG;
	note_definitions_changed();
}

/* ---------- registered groups */

int16 get_cached_definition_globals_count(void)
{
	return definitions_globals.cached_globals_count;
}

definition_globals *get_cached_definition_globals(int16 index)
{
	if (index < 0 || index >= definitions_globals.cached_globals_count) return nullptr;
	return definitions_globals.cached_globals[index];
}

boolean definition_group_is_set_up(file_tag group_tag)
{
	for (int16 i = 0; i < get_cached_definition_globals_count(); ++i)
	{
		const definition_globals *definitions = get_cached_definition_globals(i);
		if (definitions && definitions->group == group_tag) return definitions->definitions && definitions->count >= 0;
	}
	return FALSE;
}
