// Versioned settings records kept as local 'pref' tags in "preferences".
#ifndef PREFERENCES_H
#define PREFERENCES_H

#include "cseries.h"
#include "byte_swapping.h"

#define PREFERENCES_GROUP_TAG TAG("pref")
#define PREFERENCES_NAME_LENGTH 32
// A stored record larger than this is not trusted and yields the defaults.
#define MAXIMUM_STORED_PREFERENCES_SIZE (1 << 20)

// Fills a cleared record with defaults.
typedef void (*default_preferences_proc)(void *preferences);
// Checks (and may repair) a record; FALSE rejects it.
typedef boolean (*verify_preferences_proc)(void *preferences);
// Fills new_preferences from a record stored in an older version. The stored
// record is handed over as read (big-endian), in a block of at least the
// current record size, zeroed past the stored bytes; new_preferences is
// cleared and defaulted beforehand. TRUE when it has filled the new record.
typedef boolean (*convert_preferences_proc)(const void *stored_preferences, void *new_preferences,
	int32 stored_version);

struct preferences_globals
{
	char name[PREFERENCES_NAME_LENGTH];
	int32 size;
	int32 version_number;
	default_preferences_proc default_preferences;
	verify_preferences_proc verify_preferences;
	const byte_swap_code *byte_swapping_data;
	int32 code;
	void *data; // the loaded record, NULL until read
};

// The subgroup tag under which a record is stored.
file_tag preferences_subgroup_tag(const preferences_globals *preferences);

// Allocates and fills the record from its stored tag (or with defaults) and
// returns it; a second read replaces the earlier block.
void *read_preferences_convert(preferences_globals *preferences, convert_preferences_proc convert);
// Writes the loaded record back; FALSE when nothing is loaded or the write
// failed (reported as a non-fatal error; the stored file stays as it was).
boolean write_preferences(preferences_globals *preferences);
void free_preferences(preferences_globals *preferences);

#endif
