// Game record arrays: fixed-capacity arrays of equal-sized records reached by
// plain indexes. Each record begins with its signed 16-bit identifier, 0 while
// the record is free. Slot and identifier choice follow only from the order of
// creations and deletions, so every machine of a game agrees on them.
#ifndef DATA_H
#define DATA_H

#include <cstring>

#include "cseries.h"

#define MAXIMUM_DATUM_GLOBALS_NAME_SIZE 18
#define MAXIMUM_NUMBER_OF_CACHED_GLOBALS 256
#define FIRST_DATUM_IDENTIFIER ((int16)-32768) // 0x8000

// One per module, declared with name, capacity, record size and globals size:
//   static datum_globals monster_array = {"monster", 400, sizeof(monster_data), 0};
struct datum_globals
{
	char name[MAXIMUM_DATUM_GLOBALS_NAME_SIZE];
	int16 maximum_count;
	int16 size;
	int16 globals_size;

	// Filled in by this module; their defaults let declarations name only the four above.
	int16 first_free_index = 0;  // no free record lies below
	int16 count = NONE;          // one more than the highest index in use; -1 outside a map
	int16 total_count = 0;       // records in use
	int16 next_identifier = FIRST_DATUM_IDENTIFIER;

	void *data = nullptr;
	void *globals = nullptr; // NULL when globals_size is 0
};

typedef void (*process_datum_proc)(int16 index);

extern datum_globals *cached_globals[MAXIMUM_NUMBER_OF_CACHED_GLOBALS];
extern int16 cached_globals_count;

// At start-up only: allocates the records and globals (fatal when out of
// memory) and empties cached_globals.
void initialize_data(datum_globals *data);
void initialize_data_for_new_map(datum_globals *data);
void dispose_data_from_old_map(datum_globals *data);
void delete_all_data(datum_globals *data);
void resurrect_data_from_old_map(datum_globals *data);

// The index of a new cleared record, or NONE when the array is full.
int16 new_datum(datum_globals *data);
void delete_datum(datum_globals *data, int32 index);
// The record if it is in use, else NULL.
void *try_and_get_datum(datum_globals *data, int32 index);
// try_and_get_datum inline, for the per-unit loops of every tick: the same
// answer (the record if it is in use, else NULL) without the call.
inline void *datum_in_use(const datum_globals *data, int32 index)
{
	if (!data->data || index < 0 || index >= data->maximum_count) return nullptr;
	uint8 *record = static_cast<uint8 *>(data->data) + (size_t)index * (size_t)data->size;
	int16 identifier;
	memcpy(&identifier, record, sizeof(identifier));
	return identifier != 0 ? record : nullptr;
}
// The record if index is not NONE, the record is in use and holds identifier.
void *get_datum_by_identifier(datum_globals *data, int32 index, int16 identifier);
// The record at index, in use or not; NULL (with _error_out_of_bounds) outside the array.
void *get_datum(datum_globals *data, int32 index);
void set_datum_identifier(datum_globals *data, int32 index, int16 identifier);
void compress_data(datum_globals *data);
void import_data(datum_globals *data, const void *buffer, int32 count);
void process_extant_data(datum_globals *data, process_datum_proc process);
void *get_datum_globals(datum_globals *data);
// CRC-32 over the raw records (padding included): never compare across builds.
uint32 checksum_datum_array(datum_globals *data);

// Build-independent digest of the array's bookkeeping and of every live
// (index, identifier), for per-tick state comparison.
uint32 datum_globals_digest(const datum_globals *data);

#endif
