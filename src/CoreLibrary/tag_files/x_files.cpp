// File references and paths. Paths are walked byte by byte: "/" (0x2F) is
// never the trail byte of a double-byte character, so no font is needed here.
#include "x_files.h"

#include <cstring>

#include "error_manager.h"
#include "x_files_posix.h"

char file_location_volume_names[NUMBER_OF_FILE_LOCATIONS][MAXIMUM_FILE_PATH_SIZE];
int16 file_error = _error_none;

const char *const folder_names[NUMBER_OF_FOLDER_NAMES] = {
	"tags",
	"plugins",
	"local",
	"preferences",
	"recordings",
	"saved games",
	"cutscenes",
	"metaservers",
	"stained_maps",
};

static char empty_text[1] = {0};

static char *last_slash(char *path)
{
	char *result = nullptr;
	for (char *p = path; *p; ++p)
		if (*p == '/') result = p;
	return result;
}

void file_reference_create(file_reference *reference, int16 location)
{
	memset(reference, 0, sizeof(*reference));
	reference->signature = FILE_REFERENCE_SIGNATURE;
	reference->location = location;
}

void file_reference_copy(file_reference *destination, const file_reference *source)
{
	if (destination == source) return;
	destination->signature = source->signature;
	destination->flags = source->flags;
	destination->location = source->location;
	memcpy(destination->path, source->path, sizeof(destination->path));
	destination->path[MAXIMUM_FILE_PATH_SIZE - 1] = 0;
	// The copy names the same file but holds neither its stream nor its lock.
	destination->handle = nullptr;
	destination->locked = FALSE;
}

boolean file_reference_add_directory(file_reference *reference, const char *name)
{
	return file_path_add_name(reference->path, name);
}

boolean file_reference_set_name(file_reference *reference, const char *name)
{
	// Build the new path aside and commit only when it fits, so a refused name
	// never leaves a directory path marked as a file.
	char path[MAXIMUM_FILE_PATH_SIZE];
	memcpy(path, reference->path, sizeof(path));
	path[MAXIMUM_FILE_PATH_SIZE - 1] = 0;
	if (reference->flags & has_filename_flag) file_path_remove_name(path);
	if (!file_path_add_name(path, name)) return FALSE;
	memcpy(reference->path, path, sizeof(path));
	reference->flags |= has_filename_flag;
	return TRUE;
}

int16 file_reference_get_location(const file_reference *reference)
{
	return reference->location;
}

char *file_reference_get_name(const file_reference *reference, uint16 flags, char *buffer)
{
	char full_path[MAXIMUM_FILE_PATH_SIZE];
	char *directory = full_path;
	char *name = empty_text;
	char *extension = empty_text;
	const bool has_filename = (reference->flags & has_filename_flag) != 0;

	buffer[0] = 0;
	if (!file_location_get_full_path(reference->location, reference->path, full_path)) return buffer;
	if (has_filename) file_path_split(full_path, &directory, &name, &extension);

	// Every piece comes from full_path, which is shorter than the buffer.
	if (flags & _file_name_directory_flag) strcat(buffer, directory);
	if (has_filename)
	{
		if (flags & _file_name_name_flag)
		{
			strcat(buffer, "/");
			strcat(buffer, name);
		}
		if ((flags & _file_name_extension_flag) && extension[0])
		{
			if (flags & _file_name_name_flag) strcat(buffer, ".");
			strcat(buffer, extension);
		}
	}
	if ((flags & _file_name_name_flag) && !(flags & _file_name_directory_flag) && buffer[0] == '/')
		memmove(buffer, buffer + 1, strlen(buffer));
	return buffer;
}

void file_location_set_volume(int16 location, const char *name)
{
	if (!file_location_is_valid(location) || !name) return;
	char *volume = file_location_volume_names[location];
	strncpy(volume, name, MAXIMUM_FILE_PATH_SIZE - 1);
	volume[MAXIMUM_FILE_PATH_SIZE - 1] = 0;
}

boolean file_location_add_directory(int16 location, const char *name)
{
	if (!file_location_is_valid(location)) return FALSE;
	return file_path_add_name(file_location_volume_names[location], name);
}

boolean file_location_is_valid(int16 location)
{
	return location >= 0 && location < NUMBER_OF_FILE_LOCATIONS;
}

boolean file_location_get_full_path(int16 location, const char *path, char *full_path)
{
	const char *relative = path[0] == '/' ? path + 1 : path;
	size_t length = 0;

	full_path[0] = 0;
	switch (location)
	{
	case _file_location_working_directory:
		// Resolved at every call: start-up moves beside the executable, tests
		// move into their own folders.
		if (!x_files_get_working_directory(full_path, MAXIMUM_FILE_PATH_SIZE)) return FALSE;
		length = strlen(full_path);
		if (length + 1 + strlen(relative) >= MAXIMUM_FILE_PATH_SIZE) break;
		strcat(full_path, "/");
		strcat(full_path, relative);
		return TRUE;

	case _file_location_volume:
	{
		const char *volume = file_location_volume_names[location];
		// Without a volume name the path stays relative rather than becoming
		// rooted at "/".
		const char *rest = volume[0] ? path : relative;
		if (strlen(volume) + strlen(rest) >= MAXIMUM_FILE_PATH_SIZE) break;
		strcpy(full_path, volume);
		strcat(full_path, rest);
		return TRUE;
	}

	case _file_location_absolute:
		if (strlen(path) >= MAXIMUM_FILE_PATH_SIZE) break;
		strcpy(full_path, path[0] ? path : "/");
		return TRUE;

	default:
		break;
	}
	full_path[0] = 0;
	return FALSE;
}

boolean file_path_add_name(char *path, const char *name)
{
	if (!name) return FALSE;
	if (name[0] == '/') name += 1;
	const size_t path_length = strlen(path);
	const size_t name_length = strlen(name);
	if (path_length + 1 + name_length >= MAXIMUM_FILE_PATH_SIZE) return FALSE;
	path[path_length] = '/';
	memcpy(path + path_length + 1, name, name_length + 1);
	return TRUE;
}

void file_path_remove_name(char *path)
{
	char *slash = last_slash(path);
	if (slash) *slash = 0;
}

void file_path_split(char *path, char **directory, char **name, char **extension)
{
	char *slash = last_slash(path);
	char *file_name;
	if (slash)
	{
		*slash = 0;
		*directory = path;
		file_name = slash + 1;
	}
	else
	{
		*directory = empty_text;
		file_name = path;
	}
	*name = file_name;

	char *dot = nullptr;
	for (char *p = file_name; *p; ++p)
		if (*p == '.') dot = p;
	if (dot)
	{
		*dot = 0;
		*extension = dot + 1;
	}
	else
	{
		*extension = file_name + strlen(file_name);
	}
}

int16 file_get_last_error(void)
{
	const int16 error = file_error;
	file_error = _error_none;
	return error;
}
