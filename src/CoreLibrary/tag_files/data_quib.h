// data_array: a fixed-capacity array of equal-sized records addressed by
// handles, (identifier << 16) | index, so that a stale handle is recognised.
// Every record begins with a 16-bit identifier: 0 while free, 0x8000-0xFFFF
// while in use. A handle below 0x10000 is a bare index.
#ifndef DATA_QUIB_H
#define DATA_QUIB_H

#include "cseries.h"
#include "quicksort.h"

#define DATA_ARRAY_SIGNATURE TAG("d@t@")
#define FIRST_DATA_ARRAY_IDENTIFIER 0x8000

struct data_array
{
	const char *name; // not copied
	int16 maximum_count;
	int16 size;
	boolean valid;
	file_tag signature;
	int16 first_free_absolute_index; // no free record lies below
	int16 count;                     // one more than the highest index in use
	int16 total_count;               // records in use
	int16 next_identifier;
	void *data;
};

typedef void (*data_process_proc)(int32 handle);

// NULL when out of memory (or for a capacity or size below 1).
data_array *data_new(const char *name, int16 maximum_count, int16 size);
void data_dispose(data_array *data);
void data_make_valid(data_array *data);
void data_make_invalid(data_array *data);
void data_delete_all(data_array *data);

// The handle of a new cleared record, or NONE when none is free.
int32 datum_new(data_array *data);
// Frees the record the handle names; nothing when it names no record in use.
void datum_delete(data_array *data, int32 handle);
// The record the handle names, or NULL.
void *datum_get(data_array *data, int32 handle);
void *datum_try_and_get(data_array *data, int32 handle);
// process gets the handle of every record in use, in index order.
void data_process_extant(data_array *data, data_process_proc process);
// Moves the records in use to the front, in index order, in place.
void data_compress(data_array *data);
void data_sort(data_array *data, compare_members_proc comparator);
// Appends count records copied whole from buffer; drops what does not fit.
void data_import(data_array *data, const void *buffer, int32 count);
void data_verify(data_array *data);

#endif
