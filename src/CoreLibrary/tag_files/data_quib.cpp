#include "data_quib.h"

#include <cstring>

#include "memory.h"

// The header block is padded so that the records behind it stay aligned.
#define DATA_ARRAY_HEADER_SIZE ((sizeof(data_array) + 15) & ~static_cast<size_t>(15))

static uint8 *record_address(const data_array *data, int32 index)
{
	return static_cast<uint8 *>(data->data) + (size_t)index * (size_t)data->size;
}

static uint16 record_identifier(const data_array *data, int32 index)
{
	uint16 identifier;
	memcpy(&identifier, record_address(data, index), sizeof(identifier));
	return identifier;
}

static void set_record_identifier(data_array *data, int32 index, uint16 identifier)
{
	memcpy(record_address(data, index), &identifier, sizeof(identifier));
}

static void clear_identifiers(data_array *data, int32 count)
{
	for (int32 i = 0; i < count; ++i) set_record_identifier(data, i, 0);
}

data_array *data_new(const char *name, int16 maximum_count, int16 size)
{
	// Every record starts with its 16-bit identifier.
	if (maximum_count < 0 || size < (int16)sizeof(uint16)) return nullptr;
	const size_t record_bytes = (size_t)maximum_count * (size_t)size;
	uint8 *block = static_cast<uint8 *>(new_pointer(DATA_ARRAY_HEADER_SIZE + record_bytes));
	if (!block) return nullptr;
	data_array *data = reinterpret_cast<data_array *>(block);
	memset(data, 0, sizeof(*data));
	data->name = name;
	data->maximum_count = maximum_count;
	data->size = size;
	data->valid = FALSE;
	data->signature = DATA_ARRAY_SIGNATURE;
	data->data = block + DATA_ARRAY_HEADER_SIZE;
	return data;
}

void data_dispose(data_array *data)
{
	if (!data) return;
	memset(data, 0, sizeof(*data));
	dispose_pointer(data);
}

void data_make_valid(data_array *data)
{
	data->valid = TRUE;
	// Fresh records hold anything: every identifier is cleared once here.
	clear_identifiers(data, data->maximum_count);
	data_delete_all(data);
}

void data_make_invalid(data_array *data)
{
	data->valid = FALSE;
}

void data_delete_all(data_array *data)
{
	// No record at or past count holds an identifier (a new record raises
	// count, a compress clears the rest), so emptying costs the records used.
	clear_identifiers(data, data->count);
	data->first_free_absolute_index = 0;
	data->count = 0;
	data->total_count = 0;
	data->next_identifier = (int16)FIRST_DATA_ARRAY_IDENTIFIER;
}

int32 datum_new(data_array *data)
{
	int32 index = data->first_free_absolute_index;
	if (index < 0) index = 0;
	while (index < data->maximum_count && record_identifier(data, index) != 0) ++index;
	if (index >= data->maximum_count) return NONE;

	const uint16 identifier = (uint16)data->next_identifier;
	memset(record_address(data, index), 0, (size_t)data->size);
	set_record_identifier(data, index, identifier);
	data->next_identifier = (int16)(identifier == 0xFFFF ? FIRST_DATA_ARRAY_IDENTIFIER : identifier + 1);

	data->total_count += 1;
	data->first_free_absolute_index = (int16)(index + 1);
	if (data->count <= index) data->count = (int16)(index + 1);
	return (int32)(((uint32)identifier << 16) | (uint32)index);
}

void *datum_get(data_array *data, int32 handle)
{
	const uint32 bits = (uint32)handle;
	const uint32 index = bits & 0xFFFF;
	if (!data || index == 0xFFFF || index >= (uint32)MAX(data->maximum_count, 0)) return nullptr;
	const uint16 identifier = record_identifier(data, (int32)index);
	if (identifier == 0) return nullptr;
	// A bare index finds the record whatever its identifier.
	if (bits >= 0x10000 && (bits >> 16) != identifier) return nullptr;
	return record_address(data, (int32)index);
}

void *datum_try_and_get(data_array *data, int32 handle)
{
	return datum_get(data, handle);
}

void datum_delete(data_array *data, int32 handle)
{
	if (!datum_get(data, handle)) return;
	const int32 index = (int32)((uint32)handle & 0xFFFF);
	set_record_identifier(data, index, 0);
	if (data->first_free_absolute_index > index) data->first_free_absolute_index = (int16)index;
	if (index + 1 == data->count)
	{
		while (data->count > 0 && record_identifier(data, data->count - 1) == 0) data->count -= 1;
	}
	data->total_count -= 1;
}

void data_process_extant(data_array *data, data_process_proc process)
{
	for (int32 index = 0; index < data->count; ++index)
	{
		const uint16 identifier = record_identifier(data, index);
		if (identifier != 0) process((int32)(((uint32)identifier << 16) | (uint32)index));
	}
}

void data_compress(data_array *data)
{
	// In place: a record only ever moves down, so nothing is overwritten
	// before it has been moved.
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
	data->first_free_absolute_index = (int16)used;
}

void data_sort(data_array *data, compare_members_proc comparator)
{
	if (data->total_count != data->count) data_compress(data);
	qsort_private(data->data, data->total_count, (size_t)data->size, comparator);
}

void data_import(data_array *data, const void *buffer, int32 count)
{
	const uint8 *source = static_cast<const uint8 *>(buffer);
	for (int32 i = 0; i < count; ++i)
	{
		const int32 handle = datum_new(data);
		if (handle == NONE) break; // full: the rest is dropped
		const int32 index = (int32)((uint32)handle & 0xFFFF);
		const uint16 given = record_identifier(data, index);
		memcpy(record_address(data, index), source, (size_t)data->size);
		source += data->size;
		// Only an identifier of a record in use may come along with the copy.
		if (record_identifier(data, index) < FIRST_DATA_ARRAY_IDENTIFIER) set_record_identifier(data, index, given);
	}
}

void data_verify(data_array *data)
{
	(void)data;
}
