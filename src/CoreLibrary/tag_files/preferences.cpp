#include "preferences.h"

#include "error_manager.h"
#include "memory.h"
#include "tag_files/tag_files.h"
#include "tag_groups.h"
#include "tags_and_strings.h"
#include "x_files.h"

file_tag preferences_subgroup_tag(const preferences_globals *preferences)
{
	char name[PREFERENCES_NAME_LENGTH + 1];
	memcpy(name, preferences->name, PREFERENCES_NAME_LENGTH);
	name[PREFERENCES_NAME_LENGTH] = 0;
	return string_to_tag(name);
}

// Reads the stored record of the current version into record; FALSE rejects it.
static boolean read_current_version(preferences_globals *preferences, int32 handle, int32 stored_size, void *record)
{
	const int32 size = preferences->size;
	uint8 *tail = nullptr;
	boolean accepted = FALSE;

	if (stored_size < size)
	{
		// The fields that an older build did not store take their defaults.
		memset(record, 0, size);
		if (preferences->default_preferences) preferences->default_preferences(record);
		tail = static_cast<uint8 *>(new_pointer(size - stored_size));
		if (!tail)
		{
			error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for %s preferences",
				size - stored_size, preferences->name);
			return FALSE;
		}
		memcpy(tail, static_cast<uint8 *>(record) + stored_size, size - stored_size);
	}

	const int32 read_size = MIN(stored_size, size);
	if (read_size < 1 || tag_file_read(handle, 0, read_size, record))
	{
		byte_swap_data(preferences->name, record, size, 1, preferences->byte_swapping_data);
		if (tail) memcpy(static_cast<uint8 *>(record) + stored_size, tail, size - stored_size);
		accepted = !preferences->verify_preferences || preferences->verify_preferences(record);
	}
	dispose_pointer(tail);
	return accepted;
}

// Hands an older stored record to the converter; FALSE rejects it.
static boolean read_older_version(preferences_globals *preferences, convert_preferences_proc convert, int32 handle,
	int32 stored_size, int32 stored_version, void *record)
{
	const int32 size = preferences->size;
	// The converter may read as far as the current layout reaches: what was
	// not stored reads as zero.
	const int32 scratch_size = MAX(stored_size, size);
	uint8 *scratch = static_cast<uint8 *>(new_pointer_z(scratch_size));
	boolean accepted = FALSE;

	if (!scratch)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for %s preferences",
			scratch_size, preferences->name);
		return FALSE;
	}
	if (stored_size < 1 || tag_file_read(handle, 0, stored_size, scratch))
	{
		memset(record, 0, size);
		if (preferences->default_preferences) preferences->default_preferences(record);
		if (convert(scratch, record, stored_version))
		{
			accepted = !preferences->verify_preferences || preferences->verify_preferences(record);
		}
	}
	dispose_pointer(scratch);
	return accepted;
}

void *read_preferences_convert(preferences_globals *preferences, convert_preferences_proc convert)
{
	const int32 size = preferences->size;
	void *record = size > 0 ? new_pointer(size) : nullptr;
	if (!record)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for %s preferences", size,
			preferences->name);
		return nullptr;
	}

	boolean accepted = FALSE;
	const int32 handle = tag_file_open(PREFERENCES_GROUP_TAG, preferences_subgroup_tag(preferences));
	if (handle != NONE)
	{
		const int32 stored_version = tag_file_get_header_version(handle);
		const int32 stored_size = tag_file_get_header_data_size(handle);

		if (stored_size >= 0 && stored_size <= MAXIMUM_STORED_PREFERENCES_SIZE)
		{
			if (stored_version == preferences->version_number)
			{
				accepted = read_current_version(preferences, handle, stored_size, record);
			}
			else if (stored_version < preferences->version_number && convert)
			{
				accepted = read_older_version(preferences, convert, handle, stored_size, stored_version, record);
			}
		}
	}

	if (!accepted)
	{
		memset(record, 0, size);
		if (preferences->default_preferences) preferences->default_preferences(record);
		if (preferences->verify_preferences) preferences->verify_preferences(record);
	}

	dispose_pointer(preferences->data);
	preferences->data = record;
	return record;
}

boolean write_preferences(preferences_globals *preferences)
{
	if (!preferences->data) return FALSE;

	char name[TAG_NAME_LENGTH];
	snprintf(name, sizeof(name), "%.*s", TAG_NAME_LENGTH - 1, preferences->name);

	const int32 size = preferences->size;
	uint8 *stored = static_cast<uint8 *>(new_pointer_z(MAX(size, 1)));
	boolean written = FALSE;

	if (stored)
	{
		// Stored order is made in the output buffer: the live record never changes.
		byte_swap_move(preferences->name, stored, preferences->data, size, 1, preferences->byte_swapping_data);
		// The tag-file manager's one creation path writes the whole file at once and keeps its table current.
		written = tag_file_new_with_subgroup_tag(PREFERENCES_GROUP_TAG, name, preferences_subgroup_tag(preferences),
			static_cast<int16>(preferences->version_number), stored, size) != NONE;
		dispose_pointer(stored);
	}

	if (!written)
	{
		error_message(_error_file_system_write, MODULE_NAME, __LINE__, "couldn't write %s preferences", preferences->name);
	}
	return written;
}

void free_preferences(preferences_globals *preferences)
{
	dispose_pointer(preferences->data);
	preferences->data = nullptr;
}
