// The file layer: every file the program touches is named by a file_reference
// and reached through these routines. Paths are resolved against the working
// directory at each call.
#ifndef X_FILES_H
#define X_FILES_H

#include <cstdio>
#include <ctime>

#include "cseries.h"

#define FILE_REFERENCE_SIGNATURE TAG("filo")

// Bytes of a path buffer, terminator included: a path holds at most 1023 characters.
#define MAXIMUM_FILE_PATH_SIZE 1024
#define MAXIMUM_SEARCH_DEPTH 8
#define FILE_COPY_CHUNK_SIZE 4096

enum
{
	has_filename_bit,
	NUMBER_OF_FILE_REFERENCE_FLAGS
};
enum
{
	has_filename_flag = FLAG(has_filename_bit)
};

// Where a reference's path is rooted.
enum
{
	_file_location_working_directory, // the working directory, then the path
	_file_location_volume,            // the location's volume name, then the path (relative)
	_file_location_absolute,          // the path itself
	NUMBER_OF_FILE_LOCATIONS
};

enum
{
	_permission_read_bit,
	_permission_write_bit,
	_permission_append_bit,
	NUMBER_OF_PERMISSIONS
};
enum
{
	_permission_read_flag = FLAG(_permission_read_bit),
	_permission_write_flag = FLAG(_permission_write_bit),
	_permission_append_flag = FLAG(_permission_append_bit)
};

// Parts asked of file_reference_get_name.
enum
{
	_file_name_directory_bit,
	_file_name_name_bit,
	_file_name_extension_bit,
	NUMBER_OF_FILE_NAME_PARTS
};
enum
{
	_file_name_directory_flag = FLAG(_file_name_directory_bit),
	_file_name_name_flag = FLAG(_file_name_name_bit),
	_file_name_extension_flag = FLAG(_file_name_extension_bit)
};

enum
{
	_find_files_recursive_bit,
	NUMBER_OF_FIND_FILES_FLAGS
};
enum
{
	_find_files_recursive_flag = FLAG(_find_files_recursive_bit)
};

// Names a file or directory; owned by the caller and never stored.
struct file_reference
{
	uint32 signature;
	uint16 flags;
	int16 location;
	char path[MAXIMUM_FILE_PATH_SIZE]; // "/"-separated, beginning with "/"
	FILE *handle;                      // NULL when closed
	boolean locked;                    // TRUE while this reference holds the exclusive lock
};

// One directory level of a listing: its entries, read whole and sorted.
struct find_files_level
{
	char **names;
	int32 count;
	int32 next;
	boolean open;
};

struct find_files_state
{
	uint16 flags;
	int16 depth; // -1 when no search is active
	char path[MAXIMUM_FILE_PATH_SIZE];
	find_files_level dir_entries[MAXIMUM_SEARCH_DEPTH];
};

extern find_files_state find_files_globals;
extern char file_location_volume_names[NUMBER_OF_FILE_LOCATIONS][MAXIMUM_FILE_PATH_SIZE];
// The last error code: 0 or one of _error_file_system_read ... _error_file_system_general.
extern int16 file_error;

// The folders beside the executable.
enum
{
	_folder_tags,
	_folder_plugins,
	_folder_local,
	_folder_preferences,
	_folder_recordings,
	_folder_saved_games,
	_folder_cutscenes,
	_folder_metaservers,
	_folder_stained_maps,
	NUMBER_OF_FOLDER_NAMES
};
extern const char *const folder_names[NUMBER_OF_FOLDER_NAMES];

// References and paths.
void file_reference_create(file_reference *reference, int16 location);
void file_reference_copy(file_reference *destination, const file_reference *source);
// FALSE (reference unchanged) when the path would reach MAXIMUM_FILE_PATH_SIZE bytes.
boolean file_reference_add_directory(file_reference *reference, const char *name);
boolean file_reference_set_name(file_reference *reference, const char *name);
int16 file_reference_get_location(const file_reference *reference);
// flags: _file_name_*_flag; buffer holds MAXIMUM_FILE_PATH_SIZE bytes.
char *file_reference_get_name(const file_reference *reference, uint16 flags, char *buffer);
void file_location_set_volume(int16 location, const char *name);
boolean file_location_add_directory(int16 location, const char *name);
boolean file_location_is_valid(int16 location);
// full_path holds MAXIMUM_FILE_PATH_SIZE bytes; FALSE (full_path empty) when
// the location is invalid or the result does not fit.
boolean file_location_get_full_path(int16 location, const char *path, char *full_path);
// path holds MAXIMUM_FILE_PATH_SIZE bytes; FALSE and unchanged when it would not fit.
boolean file_path_add_name(char *path, const char *name);
void file_path_remove_name(char *path);
// Splits path in place; the results point into path (or at an empty string).
void file_path_split(char *path, char **directory, char **name, char **extension);

// Files and directories; each sets file_error.
boolean file_create(file_reference *reference);
boolean file_delete(file_reference *reference);
boolean file_exists(const file_reference *reference);
boolean file_rename(file_reference *reference, const char *new_name);
boolean file_open(file_reference *reference, uint16 permissions);
boolean file_close(file_reference *reference);
int32 file_get_position(file_reference *reference);
boolean file_set_position(file_reference *reference, int32 offset);
int32 file_get_eof(file_reference *reference);
boolean file_set_eof(file_reference *reference, int32 length);
boolean file_read(file_reference *reference, int32 count, void *buffer);
int32 file_read_with_length(file_reference *reference, int32 count, void *buffer);
boolean file_write(file_reference *reference, int32 count, const void *buffer);
boolean file_read_from_position(file_reference *reference, int32 offset, int32 count, void *buffer);
boolean file_write_to_position(file_reference *reference, int32 offset, int32 count, const void *buffer);
boolean file_get_modification_date(const file_reference *reference, struct tm *date);
int16 file_get_last_error(void);
// The whole file followed by four zero bytes (the caller frees it with
// dispose_pointer), or NULL; *length gets the file's size when length is given.
void *file_read_into_memory(file_reference *reference, int32 *length);
boolean file_copy(file_reference *destination, file_reference *source);

// Directory listings, one at a time; entries come sorted by strcmp.
void find_files_start(uint16 flags, const file_reference *directory);
boolean find_files_next(file_reference *file);
// Ends the active search, if any.
void find_files_end(void);

// Replaces the file "<name>" in folder with size bytes: writes ".<name>.tmp"
// beside it, syncs, renames it into place and syncs the folder. On any
// failure the temporary file is removed, the old file is untouched, and the
// result is false.
bool single_file_replace(const file_reference *folder, const char *name, const void *bytes, int32 size);

// Test hooks: make single_file_replace fail at one stage until reset.
enum
{
	_single_file_replace_fail_none,
	_single_file_replace_fail_create,
	_single_file_replace_fail_write,
	_single_file_replace_fail_sync,
	_single_file_replace_fail_rename,
	NUMBER_OF_SINGLE_FILE_REPLACE_FAILURES
};
void single_file_replace_inject_failure(int16 stage);
// Makes file_read_into_memory find the file this many bytes short.
void file_read_into_memory_inject_short_read(int32 missing_bytes);
void reset_x_files_test_hooks(void);

#endif
