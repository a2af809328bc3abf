// Game record arrays. Slot and identifier choice is lockstep state: it follows
// only from the order of creations and deletions, step by step as below.
#include "data.h"

#include <cstring>

#include "crc.h"
#include "error_manager.h"
#include "memory.h"

datum_globals *cached_globals[MAXIMUM_NUMBER_OF_CACHED_GLOBALS];
int16 cached_globals_count = 0;

static uint8 *record_address(const datum_globals *data, int32 index)
{
	return static_cast<uint8 *>(data->data) + (size_t)index * (size_t)data->size;
}

static int16 record_identifier(const datum_globals *data, int32 index)
{
	int16 identifier;
	memcpy(&identifier, record_address(data, index), sizeof(identifier));
	return identifier;
}

static void set_record_identifier(datum_globals *data, int32 index, int16 identifier)
{
	memcpy(record_address(data, index), &identifier, sizeof(identifier));
}

static bool index_is_valid(const datum_globals *data, int32 index)
{
	return data->data && index >= 0 && index < data->maximum_count;
}

static void report_bad_index(const datum_globals *data, const char *operation, int32 index)
{
	error_message(_error_out_of_bounds, MODULE_NAME, __LINE__, "%s: index #%d outside the %s data array.", operation,
		index, data->name);
}

static int16 following_identifier(int16 identifier)
{
	// 0xFFFF is followed by 0x8000.
	return identifier == -1 ? FIRST_DATUM_IDENTIFIER : (int16)(identifier + 1);
}

static int32 find_cached_globals(const datum_globals *data)
{
	for (int32 i = 0; i < cached_globals_count; ++i)
		if (cached_globals[i] == data) return i;
	return NONE;
}

void initialize_data(datum_globals *data)
{
	const int32 bytes = (int32)data->maximum_count * data->size;

	free_and_clear(&data->data);
	free_and_clear(&data->globals);
	data->data = new_pointer_z((size_t)MAX(bytes, 1));
	if (!data->data)
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for %s data array.", bytes,
			data->name);
	if (data->globals_size > 0)
	{
		data->globals = new_pointer_z((size_t)data->globals_size);
		if (!data->globals)
			error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for %s globals.",
				(int32)data->globals_size, data->name);
	}
	data->first_free_index = 0;
	data->count = NONE;
	data->total_count = 0;
	data->next_identifier = FIRST_DATUM_IDENTIFIER;
	cached_globals_count = 0;
}

void initialize_data_for_new_map(datum_globals *data)
{
	data->first_free_index = 0;
	data->count = 0;
	data->total_count = 0;
	data->next_identifier = FIRST_DATUM_IDENTIFIER;
	if (data->data)
		for (int32 i = 0; i < data->maximum_count; ++i) set_record_identifier(data, i, 0);

	if (find_cached_globals(data) != NONE) return;
	if (cached_globals_count >= MAXIMUM_NUMBER_OF_CACHED_GLOBALS)
	{
		log_message(nullptr, -1, "### too many data arrays for one map; %s is not cached.", data->name);
		return;
	}
	cached_globals[cached_globals_count++] = data;
}

void dispose_data_from_old_map(datum_globals *data)
{
	data->count = NONE;
	const int32 position = find_cached_globals(data);
	if (position == NONE) return;
	for (int32 i = position; i + 1 < cached_globals_count; ++i) cached_globals[i] = cached_globals[i + 1];
	cached_globals_count -= 1;
	cached_globals[cached_globals_count] = nullptr;
}

void delete_all_data(datum_globals *data)
{
	dispose_data_from_old_map(data);
	initialize_data_for_new_map(data);
}

void resurrect_data_from_old_map(datum_globals *data)
{
	int32 count = data->data ? data->maximum_count : 0;
	while (count > 0 && record_identifier(data, count - 1) == 0) count -= 1;
	data->count = (int16)count;
}

int16 new_datum(datum_globals *data)
{
	if (!data->data) return NONE;
	int32 index = MAX(data->first_free_index, (int16)0);
	while (index < data->maximum_count && record_identifier(data, index) != 0) ++index;
	if (index >= data->maximum_count) return NONE;

	memset(record_address(data, index), 0, (size_t)data->size);
	set_record_identifier(data, index, data->next_identifier);
	data->next_identifier = following_identifier(data->next_identifier);

	data->total_count += 1;
	data->first_free_index = (int16)(index + 1);
	if (data->count <= index) data->count = (int16)(index + 1);
	return (int16)index;
}

void delete_datum(datum_globals *data, int32 index)
{
	if (!index_is_valid(data, index))
	{
		report_bad_index(data, "delete_datum", index);
		return;
	}
	// Deleting a free record would unbalance the counts.
	if (record_identifier(data, index) == 0) return;

	set_record_identifier(data, index, 0);
	if (index < data->first_free_index) data->first_free_index = (int16)index;
	if (index + 1 == data->count)
	{
		while (data->count > 0 && record_identifier(data, data->count - 1) == 0) data->count -= 1;
	}
	data->total_count -= 1;
}

void *try_and_get_datum(datum_globals *data, int32 index)
{
	if (!index_is_valid(data, index) || record_identifier(data, index) == 0) return nullptr;
	return record_address(data, index);
}

void *get_datum_by_identifier(datum_globals *data, int32 index, int16 identifier)
{
	if (index == NONE || !index_is_valid(data, index)) return nullptr;
	const int16 held = record_identifier(data, index);
	if (held == 0 || held != identifier) return nullptr;
	return record_address(data, index);
}

void *get_datum(datum_globals *data, int32 index)
{
	if (!index_is_valid(data, index))
	{
		report_bad_index(data, "get_datum", index);
		return nullptr;
	}
	return record_address(data, index);
}

// The identifier that the record at index may take: the wanted one unless
// another live record holds it, else the next free one from next_identifier
// (which advances past every identifier so taken).
static int16 settle_identifier(datum_globals *data, int32 index, int16 identifier)
{
	int16 candidate = identifier;
	bool clash;
	do
	{
		clash = false;
		for (int32 i = 0; i < data->count; ++i)
		{
			if (i != index && record_identifier(data, i) == candidate)
			{
				candidate = data->next_identifier;
				data->next_identifier = following_identifier(data->next_identifier);
				clash = true;
				break;
			}
		}
	} while (clash);
	return candidate;
}

void set_datum_identifier(datum_globals *data, int32 index, int16 identifier)
{
	if (!index_is_valid(data, index))
	{
		report_bad_index(data, "set_datum_identifier", index);
		return;
	}
	if (identifier == 0) return;
	set_record_identifier(data, index, settle_identifier(data, index, identifier));
}

void compress_data(datum_globals *data)
{
	if (!data->data || data->count < 0) return;
	// In place: records only move down, so compaction needs no memory.
	int32 used = 0;
	for (int32 index = 0; index < data->count; ++index)
	{
		if (record_identifier(data, index) == 0) continue;
		if (index != used) memmove(record_address(data, used), record_address(data, index), (size_t)data->size);
		used += 1;
	}
	if (used < data->maximum_count)
		memset(record_address(data, used), 0, (size_t)(data->maximum_count - used) * (size_t)data->size);
	data->count = (int16)used;
	data->total_count = (int16)used;
	data->first_free_index = (int16)used;
}

void import_data(datum_globals *data, const void *buffer, int32 count)
{
	const uint8 *source = static_cast<const uint8 *>(buffer);
	for (int32 i = 0; i < count; ++i)
	{
		const int16 index = new_datum(data);
		if (index == NONE) break; // full: the rest is dropped
		const int16 given = record_identifier(data, index);
		memcpy(record_address(data, index), source, (size_t)data->size);
		source += data->size;
		const int16 copied = record_identifier(data, index);
		// Only identifiers of records in use (0x8000-0xFFFF) come along.
		set_record_identifier(data, index, given);
		if (copied < 0) set_record_identifier(data, index, settle_identifier(data, index, copied));
	}
}

void process_extant_data(datum_globals *data, process_datum_proc process)
{
	if (!data->data) return;
	for (int32 index = 0; index < data->count; ++index)
		if (record_identifier(data, index) != 0) process((int16)index);
}

void *get_datum_globals(datum_globals *data)
{
	return data->globals;
}

uint32 checksum_datum_array(datum_globals *data)
{
	if (!data->data || data->count <= 0) return calculate_data_crc(data->data, 0);
	return calculate_data_crc(data->data, (int32)data->count * data->size);
}

static uint32 digest_int16(uint32 crc, int32 value)
{
	const uint16 bits = (uint16)value;
	const uint8 bytes[2] = {(uint8)(bits & 0xFF), (uint8)(bits >> 8)};
	return crc32_update(crc, bytes, sizeof(bytes));
}

uint32 datum_globals_digest(const datum_globals *data)
{
	uint32 crc = 0xFFFFFFFFu;
	crc = digest_int16(crc, data->count);
	crc = digest_int16(crc, data->total_count);
	crc = digest_int16(crc, data->first_free_index);
	crc = digest_int16(crc, data->next_identifier);
	if (data->data)
	{
		for (int32 index = 0; index < data->count; ++index)
		{
			const int16 identifier = record_identifier(data, index);
			if (identifier == 0) continue;
			crc = digest_int16(crc, index);
			crc = digest_int16(crc, identifier);
		}
	}
	return ~crc;
}
