// Files and directories on POSIX. Writers hold an exclusive flock for as long
// as the file is open: flock belongs to the open file, so two references of
// one process conflict just as two processes do. Nothing is truncated before
// that lock is held.
#include "x_files.h"
#include "x_files_posix.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "error_manager.h"
#include "memory.h"
#include "quicksort.h"

find_files_state find_files_globals = {0, NONE, {0}, {}};

static int16 single_file_replace_failure = _single_file_replace_fail_none;
static int32 read_into_memory_short_by = 0; // tests: bytes the file lacks when read

boolean x_files_get_working_directory(char *buffer, int32 size)
{
	// A folder too deep for the buffer ends the process too: every file
	// operation would otherwise fail without a word.
	if (getcwd(buffer, (size_t)size)) return TRUE;
	log_message(nullptr, -1, "getcwd() failed! %s", strerror(errno));
	exit(-1);
}

static boolean full_path_of(const file_reference *reference, char *full_path)
{
	return file_location_get_full_path(reference->location, reference->path, full_path);
}

static boolean fail(int16 code)
{
	file_error = code;
	return FALSE;
}

static boolean succeed(void)
{
	file_error = _error_none;
	return TRUE;
}

// An exclusive lock that never waits; FALSE when another open file holds one.
static bool lock_exclusive(int fd)
{
	int result;
	do result = flock(fd, LOCK_EX | LOCK_NB);
	while (result != 0 && errno == EINTR);
	return result == 0;
}

static bool write_all(int fd, const void *bytes, size_t count)
{
	const uint8 *p = static_cast<const uint8 *>(bytes);
	while (count > 0)
	{
		const ssize_t written = write(fd, p, count);
		if (written < 0)
		{
			if (errno == EINTR) continue;
			return false;
		}
		if (written == 0) return false;
		p += written;
		count -= (size_t)written;
	}
	return true;
}

boolean file_create(file_reference *reference)
{
	char full_path[MAXIMUM_FILE_PATH_SIZE];
	if (!full_path_of(reference, full_path)) return fail(_error_file_system_create);

	if (!(reference->flags & has_filename_flag))
	{
		if (mkdir(full_path, 0777) != 0) return fail(_error_file_system_create);
		return succeed();
	}

	// Open without truncating, lock, and only then empty it: a file that
	// another writer holds is left exactly as it is.
	const int fd = open(full_path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
	if (fd < 0) return fail(_error_file_system_create);
	struct stat status;
	if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || !lock_exclusive(fd))
	{
		close(fd);
		return fail(_error_file_system_create);
	}
	const bool emptied = ftruncate(fd, 0) == 0;
	flock(fd, LOCK_UN);
	close(fd);
	return emptied ? succeed() : fail(_error_file_system_create);
}

boolean file_delete(file_reference *reference)
{
	char full_path[MAXIMUM_FILE_PATH_SIZE];
	if (!full_path_of(reference, full_path)) return fail(_error_file_system_general);
	// A reference to a directory only ever removes an empty directory, and a
	// reference to a file never removes a directory.
	const int result = (reference->flags & has_filename_flag) ? unlink(full_path) : rmdir(full_path);
	return result == 0 ? succeed() : fail(_error_file_system_general);
}

boolean file_exists(const file_reference *reference)
{
	char full_path[MAXIMUM_FILE_PATH_SIZE];
	struct stat status;
	if (!full_path_of(reference, full_path)) return FALSE;
	return stat(full_path, &status) == 0;
}

boolean file_rename(file_reference *reference, const char *new_name)
{
	char old_full_path[MAXIMUM_FILE_PATH_SIZE];
	char new_full_path[MAXIMUM_FILE_PATH_SIZE];
	char new_path[MAXIMUM_FILE_PATH_SIZE];
	struct stat status;

	if (!new_name || !full_path_of(reference, old_full_path)) return fail(_error_file_system_general);
	memcpy(new_path, reference->path, sizeof(new_path));
	file_path_remove_name(new_path);
	if (!file_path_add_name(new_path, new_name)) return fail(_error_file_system_general);
	if (!file_location_get_full_path(reference->location, new_path, new_full_path))
		return fail(_error_file_system_general);
	if (stat(old_full_path, &status) != 0) return fail(_error_file_system_general);
	if (rename(old_full_path, new_full_path) != 0) return fail(_error_file_system_general);
	memcpy(reference->path, new_path, sizeof(new_path));
	return succeed();
}

boolean file_open(file_reference *reference, uint16 permissions)
{
	const bool read_permission = (permissions & _permission_read_flag) != 0;
	const bool write_permission = (permissions & _permission_write_flag) != 0;
	const bool append_permission = (permissions & _permission_append_flag) != 0;
	char full_path[MAXIMUM_FILE_PATH_SIZE];
	struct stat status;

	if (reference->handle) return fail(_error_file_system_open);
	if (!read_permission && !write_permission) return fail(_error_file_system_open);
	if (!full_path_of(reference, full_path)) return fail(_error_file_system_open);
	// Files are made with file_create before they are first opened for writing.
	if (stat(full_path, &status) != 0 || !S_ISREG(status.st_mode)) return fail(_error_file_system_open);

	int open_flags;
	const char *mode;
	if (read_permission && write_permission)
	{
		open_flags = O_RDWR;
		mode = "rb+";
	}
	else if (write_permission)
	{
		open_flags = O_WRONLY;
		mode = "wb";
	}
	else
	{
		open_flags = O_RDONLY;
		mode = "rb";
	}

	const int fd = open(full_path, open_flags | O_CLOEXEC);
	if (fd < 0) return fail(_error_file_system_open);
	if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
	{
		close(fd);
		return fail(_error_file_system_open);
	}
	if (write_permission)
	{
		if (!lock_exclusive(fd))
		{
			close(fd);
			return fail(_error_file_system_open);
		}
		// A plain writer starts from an empty file, emptied only now that the
		// lock is ours; an appending writer keeps what is there.
		if (!read_permission && !append_permission && ftruncate(fd, 0) != 0)
		{
			close(fd);
			return fail(_error_file_system_open);
		}
	}

	// fdopen never truncates, whatever its mode.
	FILE *handle = fdopen(fd, mode);
	if (!handle)
	{
		close(fd);
		return fail(_error_file_system_open);
	}
	if (append_permission && fseek(handle, 0, SEEK_END) != 0)
	{
		fclose(handle);
		return fail(_error_file_system_open);
	}
	reference->handle = handle;
	reference->locked = write_permission ? TRUE : FALSE;
	return succeed();
}

boolean file_close(file_reference *reference)
{
	if (!reference->handle) return fail(_error_file_system_general);
	FILE *handle = reference->handle;
	reference->handle = nullptr;
	if (reference->locked) flock(fileno(handle), LOCK_UN);
	reference->locked = FALSE;
	return fclose(handle) == 0 ? succeed() : fail(_error_file_system_general);
}

int32 file_get_position(file_reference *reference)
{
	if (!reference->handle) return fail(_error_file_system_general), NONE;
	const off_t position = ftello(reference->handle);
	if (position < 0 || position > INT32_MAX) return fail(_error_file_system_general), NONE;
	succeed();
	return (int32)position;
}

boolean file_set_position(file_reference *reference, int32 offset)
{
	if (!reference->handle || offset < 0) return fail(_error_file_system_general);
	if (fseeko(reference->handle, (off_t)offset, SEEK_SET) != 0) return fail(_error_file_system_general);
	return succeed();
}

int32 file_get_eof(file_reference *reference)
{
	char full_path[MAXIMUM_FILE_PATH_SIZE];
	struct stat status;
	if (!full_path_of(reference, full_path) || stat(full_path, &status) != 0 || status.st_size > INT32_MAX)
		return fail(_error_file_system_general), NONE;
	succeed();
	return (int32)status.st_size;
}

boolean file_set_eof(file_reference *reference, int32 length)
{
	if (length < 0) return fail(_error_file_system_write);

	// Through our own lock when we hold it; otherwise take one for the change.
	if (reference->handle && reference->locked)
	{
		if (fflush(reference->handle) != 0 || ftruncate(fileno(reference->handle), (off_t)length) != 0)
			return fail(_error_file_system_write);
		return succeed();
	}

	char full_path[MAXIMUM_FILE_PATH_SIZE];
	struct stat status;
	if (!full_path_of(reference, full_path)) return fail(_error_file_system_write);
	if (stat(full_path, &status) != 0 || !S_ISREG(status.st_mode)) return fail(_error_file_system_write);
	const int fd = open(full_path, O_WRONLY | O_CLOEXEC);
	if (fd < 0) return fail(_error_file_system_write);
	bool done = false;
	if (lock_exclusive(fd))
	{
		done = ftruncate(fd, (off_t)length) == 0;
		flock(fd, LOCK_UN);
	}
	close(fd);
	return done ? succeed() : fail(_error_file_system_write);
}

int32 file_read_with_length(file_reference *reference, int32 count, void *buffer)
{
	if (!reference->handle || count < 0 || (count > 0 && !buffer)) return fail(_error_file_system_read), 0;
	if (count == 0) return succeed(), 0;
	const size_t read_count = fread(buffer, 1, (size_t)count, reference->handle);
	if (read_count < (size_t)count) fail(_error_file_system_read);
	else succeed();
	return (int32)read_count;
}

boolean file_read(file_reference *reference, int32 count, void *buffer)
{
	file_read_with_length(reference, count, buffer);
	return file_error == _error_none;
}

boolean file_write(file_reference *reference, int32 count, const void *buffer)
{
	if (!reference->handle || count < 0 || (count > 0 && !buffer)) return fail(_error_file_system_write);
	// A write may follow a read only after a seek.
	if (fseeko(reference->handle, 0, SEEK_CUR) != 0) return fail(_error_file_system_write);
	if (count > 0 && fwrite(buffer, 1, (size_t)count, reference->handle) != (size_t)count)
	{
		clearerr(reference->handle);
		return fail(_error_file_system_write);
	}
	if (fflush(reference->handle) != 0)
	{
		clearerr(reference->handle);
		return fail(_error_file_system_write);
	}
	return succeed();
}

boolean file_read_from_position(file_reference *reference, int32 offset, int32 count, void *buffer)
{
	if (!reference->handle || offset < 0 || fseeko(reference->handle, (off_t)offset, SEEK_SET) != 0)
		return fail(_error_file_system_read);
	return file_read(reference, count, buffer);
}

boolean file_write_to_position(file_reference *reference, int32 offset, int32 count, const void *buffer)
{
	if (!reference->handle || offset < 0 || fseeko(reference->handle, (off_t)offset, SEEK_SET) != 0)
		return fail(_error_file_system_write);
	return file_write(reference, count, buffer);
}

boolean file_get_modification_date(const file_reference *reference, struct tm *date)
{
	char full_path[MAXIMUM_FILE_PATH_SIZE];
	struct stat status;
	if (!full_path_of(reference, full_path) || stat(full_path, &status) != 0)
		return fail(_error_file_system_general);
	const time_t modified = status.st_mtime;
	if (!localtime_r(&modified, date)) return fail(_error_file_system_general);
	return succeed();
}

void *file_read_into_memory(file_reference *reference, int32 *length)
{
	file_reference file;
	struct stat status;

	if (length) *length = 0;
	file_reference_copy(&file, reference);
	if (!file_open(&file, _permission_read_flag)) return nullptr;

	// The size comes from the open file; a size that cannot take the four
	// terminating bytes is refused rather than wrapped.
	uint8 *block = nullptr;
	if (fstat(fileno(file.handle), &status) == 0 && status.st_size >= 0 && status.st_size <= INT32_MAX - 4)
	{
		const int32 size = (int32)status.st_size;
		block = static_cast<uint8 *>(new_pointer((size_t)size + 4));
		// A file that shrank after its size was taken yields fewer bytes.
		const size_t available = (size_t)(size - MIN(size, read_into_memory_short_by));
		if (block && (size == 0 || fread(block, 1, available, file.handle) == (size_t)size))
		{
			memset(block + size, 0, 4);
			if (length) *length = size;
		}
		else
		{
			dispose_pointer(block);
			block = nullptr;
		}
	}
	fclose(file.handle);
	if (!block) fail(_error_file_system_read);
	else succeed();
	return block;
}

boolean file_copy(file_reference *destination, file_reference *source)
{
	file_reference from, to;
	uint8 buffer[FILE_COPY_CHUNK_SIZE];

	file_reference_copy(&from, source);
	file_reference_copy(&to, destination);
	if (!file_exists(&from) || !file_open(&from, _permission_read_flag)) return FALSE;
	if (!file_exists(&to) && !file_create(&to))
	{
		file_close(&from);
		return FALSE;
	}
	// Copying a file onto itself would empty it before reading it.
	char to_path[MAXIMUM_FILE_PATH_SIZE];
	struct stat from_status, to_status;
	if (full_path_of(&to, to_path) && stat(to_path, &to_status) == 0 && fstat(fileno(from.handle), &from_status) == 0 &&
		from_status.st_dev == to_status.st_dev && from_status.st_ino == to_status.st_ino)
	{
		file_close(&from);
		return fail(_error_file_system_open);
	}
	// Opening to write empties the destination once its lock is held.
	if (!file_open(&to, _permission_write_flag))
	{
		file_close(&from);
		return FALSE;
	}

	bool copied = true;
	for (;;)
	{
		const size_t count = fread(buffer, 1, sizeof(buffer), from.handle);
		if (count > 0 && !file_write(&to, (int32)count, buffer))
		{
			copied = false;
			break;
		}
		if (count < sizeof(buffer))
		{
			if (ferror(from.handle))
			{
				copied = false;
				file_error = _error_file_system_read;
			}
			break;
		}
	}
	const int16 error = file_error;
	file_close(&from);
	const bool closed = file_close(&to);
	if (!copied)
	{
		file_error = error;
		return FALSE;
	}
	return closed ? succeed() : FALSE;
}

// Listings.

static int compare_names(const void *a, const void *b)
{
	return strcmp(*static_cast<char *const *>(a), *static_cast<char *const *>(b));
}

static void close_level(find_files_level *level)
{
	for (int32 i = 0; i < level->count; ++i) dispose_pointer(level->names[i]);
	dispose_pointer(level->names);
	level->names = nullptr;
	level->count = 0;
	level->next = 0;
	level->open = FALSE;
}

// Reads a whole directory, without the names that begin with ".", sorted by
// strcmp so that every machine lists in the same order.
static bool open_level(find_files_level *level, const char *path)
{
	DIR *directory = opendir(path);
	if (!directory) return false;
	int32 capacity = 0;
	bool ok = true;
	for (struct dirent *entry = readdir(directory); entry; entry = readdir(directory))
	{
		if (entry->d_name[0] == '.') continue;
		if (level->count == capacity)
		{
			const int32 new_capacity = capacity ? capacity * 2 : 32;
			char **names = static_cast<char **>(realloc_pointer(level->names, sizeof(char *) * (size_t)new_capacity));
			if (!names)
			{
				ok = false;
				break;
			}
			level->names = names;
			capacity = new_capacity;
		}
		const size_t length = strlen(entry->d_name);
		char *name = static_cast<char *>(new_pointer(length + 1));
		if (!name)
		{
			ok = false;
			break;
		}
		memcpy(name, entry->d_name, length + 1);
		level->names[level->count++] = name;
	}
	closedir(directory);
	if (!ok)
	{
		close_level(level);
		return false;
	}
	qsort_private(level->names, level->count, sizeof(char *), compare_names);
	level->next = 0;
	level->open = TRUE;
	return true;
}

static void go_up(find_files_state *state)
{
	close_level(&state->dir_entries[state->depth]);
	file_path_remove_name(state->path);
	state->depth -= 1;
}

void find_files_end(void)
{
	find_files_state *state = &find_files_globals;
	for (int32 i = 0; i < MAXIMUM_SEARCH_DEPTH; ++i) close_level(&state->dir_entries[i]);
	state->depth = NONE;
	state->path[0] = 0;
}

void find_files_start(uint16 flags, const file_reference *directory)
{
	find_files_state *state = &find_files_globals;
	find_files_end();
	state->flags = flags;
	if (!full_path_of(directory, state->path)) return;
	// No trailing "/", so that names join with exactly one.
	size_t length = strlen(state->path);
	while (length > 1 && state->path[length - 1] == '/') state->path[--length] = 0;
	state->depth = 0;
}

boolean find_files_next(file_reference *file)
{
	find_files_state *state = &find_files_globals;
	const bool recursive = (state->flags & _find_files_recursive_flag) != 0;

	while (state->depth >= 0)
	{
		find_files_level *level = &state->dir_entries[state->depth];
		if (!level->open && !open_level(level, state->path))
		{
			go_up(state);
			continue;
		}
		if (level->next >= level->count)
		{
			go_up(state);
			continue;
		}

		const char *name = level->names[level->next++];
		char entry_path[MAXIMUM_FILE_PATH_SIZE];
		struct stat status;
		const bool root = strcmp(state->path, "/") == 0;
		if (strlen(state->path) + 1 + strlen(name) >= MAXIMUM_FILE_PATH_SIZE) continue;
		strcpy(entry_path, root ? "" : state->path);
		strcat(entry_path, "/");
		strcat(entry_path, name);
		if (stat(entry_path, &status) != 0) continue;

		const bool is_directory = S_ISDIR(status.st_mode);
		if (!is_directory || !recursive)
		{
			file_reference_create(file, _file_location_absolute);
			strcpy(file->path, entry_path);
			if (!is_directory) file->flags |= has_filename_flag;
			return TRUE;
		}
		// Descend, but never past the deepest level the state holds.
		if (state->depth + 1 < MAXIMUM_SEARCH_DEPTH)
		{
			strcpy(state->path, entry_path);
			state->depth += 1;
		}
	}
	state->path[0] = 0;
	return FALSE;
}

// Whole-file replacement.

void single_file_replace_inject_failure(int16 stage)
{
	single_file_replace_failure = stage;
}

void file_read_into_memory_inject_short_read(int32 missing_bytes)
{
	read_into_memory_short_by = MAX(missing_bytes, 0);
}

void reset_x_files_test_hooks(void)
{
	single_file_replace_failure = _single_file_replace_fail_none;
	read_into_memory_short_by = 0;
}

static bool injected(int16 stage)
{
	return single_file_replace_failure == stage;
}

bool single_file_replace(const file_reference *folder, const char *name, const void *bytes, int32 size)
{
	char folder_path[MAXIMUM_FILE_PATH_SIZE];
	char target_path[MAXIMUM_FILE_PATH_SIZE];
	char temporary_path[MAXIMUM_FILE_PATH_SIZE];

	file_error = _error_file_system_write;
	if (!name || !name[0] || strchr(name, '/') || size < 0 || (size > 0 && !bytes)) return false;
	if (!full_path_of(folder, folder_path)) return false;
	const size_t folder_length = strlen(folder_path);
	const size_t name_length = strlen(name);
	// "<folder>/.<name>.tmp" is the longer of the two.
	if (folder_length + 2 + name_length + 4 >= MAXIMUM_FILE_PATH_SIZE) return false;
	strcpy(target_path, folder_path);
	strcat(target_path, "/");
	strcat(target_path, name);
	strcpy(temporary_path, folder_path);
	strcat(temporary_path, "/.");
	strcat(temporary_path, name);
	strcat(temporary_path, ".tmp");

	// A writer holding the old file keeps it: replacing it under the lock
	// would silently drop what that writer does next.
	int target_fd = open(target_path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
	if (target_fd >= 0 && !lock_exclusive(target_fd))
	{
		close(target_fd);
		return false;
	}

	// The temporary file may be another replacer's: lock it before emptying.
	bool ok = false;
	bool made_temporary = false;
	const int fd = injected(_single_file_replace_fail_create)
		? -1
		: open(temporary_path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
	if (fd >= 0)
	{
		struct stat status;
		if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && lock_exclusive(fd))
		{
			made_temporary = true;
			ok = ftruncate(fd, 0) == 0 && !injected(_single_file_replace_fail_write) &&
				write_all(fd, bytes, (size_t)size) && !injected(_single_file_replace_fail_sync) && fsync(fd) == 0 &&
				!injected(_single_file_replace_fail_rename) && rename(temporary_path, target_path) == 0;
		}
		if (!ok && made_temporary) unlink(temporary_path);
		close(fd);
	}
	if (target_fd >= 0) close(target_fd);
	if (!ok) return false;

	// Make the rename itself durable.
	const int folder_fd = open(folder_path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (folder_fd < 0) return false;
	const bool synced = fsync(folder_fd) == 0 || errno == EINVAL;
	close(folder_fd);
	if (!synced) return false;
	file_error = _error_none;
	return true;
}
