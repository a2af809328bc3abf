// The whole default tag set: foundation files and the known plugin files,
// each re-read and checked after it is written, and the listing.
#include "default_tags.h"

#include "collections_content.h"
#include "detail_content.h"
#include "fonts_content.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "crc_quib.h"
#include "error_manager.h"
#include "memory.h"
#include "tag_files/tag_files.h"
#include "mesh.h"
#include "mesh_content.h"
#include "objects_content.h"
#include "weather_content.h"
#include "projectiles_content.h"
#include "units_content.h"
#include "x_files.h"

#define WORK_FOLDER_NAME ".default_tags_work"

bool default_tags_file_reference(const char *directory, const char *folder, const char *name, file_reference *file)
{
	file_reference_create(file, directory[0] == '/' ? _file_location_absolute : _file_location_working_directory);
	if (!file_reference_add_directory(file, directory)) return false;
	if (folder && !file_reference_add_directory(file, folder)) return false;
	return !name || file_reference_set_name(file, name);
}

static uint32 read_big_endian_32(const uint8 *bytes)
{
	return (static_cast<uint32>(bytes[0]) << 24) | (static_cast<uint32>(bytes[1]) << 16) |
		(static_cast<uint32>(bytes[2]) << 8) | bytes[3];
}

// Re-reads a written file and compares it with what was asked.
static bool verify_monolithic_file(const file_reference *written, int16 type, int16 version,
	const std::vector<int32> &handles, const char *url, const uint32 *expected_checksum)
{
	file_reference file;
	file_reference_copy(&file, written);
	tag_file_header header;
	if (!tag_file_open_monolithic_file(&file, &header) || !add_tags_from_monolithic_file(&file, &header, TRUE)) return false;
	if (header.type != type || header.version != version || header.tag_count != static_cast<int32>(handles.size()) ||
		strcmp(header.url, url ? url : "") != 0)
	{
		return false;
	}

	int32 length = 0;
	uint8 *bytes = static_cast<uint8 *>(file_read_into_memory(&file, &length));
	if (!bytes) return false;
	bool same = length == static_cast<int32>(header.size);

	// The header checksum recomputes over the stored header with the field zeroed.
	uint8 stored_header[sizeof(tag_file_header)];
	memcpy(stored_header, bytes, sizeof(stored_header));
	const uint32 stored_header_checksum = read_big_endian_32(stored_header + offsetof(tag_file_header, header_checksum));
	memset(stored_header + offsetof(tag_file_header, header_checksum), 0, 4);
	uint32 header_checksum;
	crc_new(&header_checksum);
	crc_checksum_buffer(&header_checksum, stored_header, sizeof(stored_header));
	same = same && header_checksum == stored_header_checksum;

	// The data checksum recomputes over the tags in order, and each tag holds its source's bytes.
	const uint8 *tag_headers = bytes + sizeof(tag_file_header) + sizeof(tag_file_entry_point) * header.entry_point_count;
	uint32 checksum;
	crc_new(&checksum);
	for (size_t i = 0; same && i < handles.size(); ++i)
	{
		tag_header stored;
		memcpy(&stored, tag_headers + sizeof(tag_header) * i, sizeof(stored));
		byte_swap_data("tag header", &stored, sizeof(stored), 1, tag_header_byte_swapping_data);
		const int32 size = static_cast<int32>(stored.size);
		std::vector<uint8> source(static_cast<size_t>(size) + 1);
		same = size == tag_file_get_header_data_size(handles[i]) && tag_file_read(handles[i], 0, size, source.data()) &&
			memcmp(source.data(), bytes + stored.offset, static_cast<size_t>(size)) == 0;
		crc_checksum_buffer(&checksum, bytes + stored.offset, size);
	}
	same = same && checksum == header.checksum && (!expected_checksum || checksum == *expected_checksum);
	dispose_pointer(bytes);
	return same;
}

bool make_monolithic_file(const file_reference *file, int16 type, int16 version, const std::vector<int32> &handles,
	const char *url, const uint32 *expected_checksum)
{
	return build_monolithic_file_from_tag_indexes(file, type, version, handles.data(), static_cast<int32>(handles.size()),
			url) &&
		verify_monolithic_file(file, type, version, handles, url, expected_checksum);
}

static int remove_entry(const char *path, const struct stat *, int, struct FTW *)
{
	return remove(path);
}

static void remove_tree(const std::string &path)
{
	struct stat status;
	if (lstat(path.c_str(), &status) == 0) nftw(path.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

static bool make_folder(const std::string &path)
{
	return mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}

static void report(std::string *error, const std::string &text)
{
	if (!error) return;
	*error = text;
	if (error_globals && error_globals->message_buffer[0]) *error += std::string(": ") + error_globals->message_buffer;
}

static bool make_foundation_files(const char *output, const std::vector<int32> &handles, std::string *error)
{
	for (int16 index = 0; index < NUMBER_OF_FOUNDATION_TAG_FILES; ++index)
	{
		std::vector<int32> members;
		for (int32 handle : handles)
		{
			if (tag_file_get_tag_file_foundation_tag_file_index(handle) == index) members.push_back(handle);
		}
		const char *name = tag_file_strings[FIRST_FOUNDATION_TAG_FILENAME + index];
		file_reference file;
		if (!default_tags_file_reference(output, tag_file_strings[_tag_file_string_foundation_folder], name, &file) ||
			!make_monolithic_file(&file, _tag_file_type_foundation, FOUNDATION_TAG_FILE_VERSION, members, "", nullptr))
		{
			report(error, std::string("couldn't write the foundation file '") + name + "'");
			return false;
		}
	}
	return true;
}

bool make_default_tag_set(const char *output_directory, std::string *error)
{
	char output[PATH_MAX];
	char previous[PATH_MAX];
	if (!make_folder(output_directory) || !realpath(output_directory, output) || !getcwd(previous, sizeof(previous)))
	{
		report(error, std::string("couldn't use the folder '") + output_directory + "'");
		return false;
	}
	const std::string output_path = output;
	const std::string work = output_path + "/" WORK_FOLDER_NAME;
	if (!make_folder(output_path + "/" + tag_file_strings[_tag_file_string_foundation_folder]) ||
		!make_folder(output_path + "/" + tag_file_strings[_tag_file_string_plugin_folder]))
	{
		report(error, "couldn't make the output folders");
		return false;
	}
	// Local tags are made in a scratch folder, so nothing of the output's own local folder is read.
	remove_tree(work);
	if (!make_folder(work) || chdir(work.c_str()) != 0)
	{
		report(error, "couldn't make the scratch folder " + work);
		return false;
	}
	initialize_error_state("make_default_tags");
	tag_files_initialize();

	bool made = true;
	std::vector<int32> foundation_handles;
	if (!make_default_string_list_tags(&foundation_handles))
	{
		report(error, "couldn't make the string lists");
		made = false;
	}
	if (made && !make_default_mesh_tags(&foundation_handles))
	{
		report(error, "couldn't make the maps");
		made = false;
	}
	if (made && !make_default_collection_tags(&foundation_handles))
	{
		report(error, "couldn't make the collections");
		made = false;
	}
	if (made && !make_default_object_tags(&foundation_handles))
	{
		report(error, "couldn't make the objects and models");
		made = false;
	}
	if (made && !make_default_font_tags(&foundation_handles))
	{
		report(error, "couldn't make the fonts");
		made = false;
	}
	if (made && !make_default_projectile_tags(&foundation_handles))
	{
		report(error, "couldn't make the scenery and projectiles");
		made = false;
	}
	if (made && !make_default_weather_tags(&foundation_handles))
	{
		report(error, "couldn't make the weather and lightning");
		made = false;
	}
	if (made && !make_default_unit_tags(&foundation_handles))
	{
		report(error, "couldn't make the unit kinds");
		made = false;
	}
	if (made && !make_default_formation_tags(&foundation_handles))
	{
		report(error, "couldn't make the formation definition");
		made = false;
	}
	if (made && !make_default_detail_tags(&foundation_handles))
	{
		report(error, "couldn't make the detail textures and maps");
		made = false;
	}
	made = made && make_foundation_files(output, foundation_handles, error);

	file_reference plugin_folder;
	if (made && !default_tags_file_reference(output, tag_file_strings[_tag_file_string_plugin_folder], nullptr, &plugin_folder))
	{
		made = false;
	}
	for (int32 i = 0; made && i < NUMBER_OF_DEFAULT_PLUGIN_FILES; ++i)
	{
		if (!make_known_plugin_file(&default_plugin_files[i], &plugin_folder))
		{
			report(error, std::string("couldn't write the plugin file '") + default_plugin_files[i].name + "'");
			made = false;
		}
	}

	tag_files_close();
	if (chdir(previous) != 0) made = false;
	remove_tree(work);
	return made;
}

static bool list_file(file_reference *file, FILE *out)
{
	tag_file_header header;
	char name[MAXIMUM_FILE_PATH_SIZE];
	file_reference_get_name(file, _file_name_name_flag | _file_name_extension_flag, name);
	if (!tag_file_open_monolithic_file(file, &header))
	{
		fprintf(out, "%s: not a valid tag file\n", name);
		return false;
	}
	fprintf(out, "%s: type %d, version %d, %d tags, checksum 0x%08X\n", header.name, header.type, header.version,
		header.tag_count, header.checksum);
	return true;
}

// Each map's script: its action count and parameter bytes.
static void list_map_scripts(FILE *out)
{
	tag_files_initialize();
	if (!tag_files_open(TRUE, nullptr, 0, NONE)) return;
	for (const file_tag map : {DEMO_MAP_MESH_TAG, BENCHMARK_MAP_MESH_TAG, FIRST_LEVEL_MAP_MESH_TAG, TRAINING_MAP_MESH_TAG})
	{
		mesh_header header;
		if (!read_mesh_header(map, &header)) continue;
		fprintf(out, "map '%s': %d map actions, %d parameter bytes\n", tag_to_string(map),
			static_cast<int>(header.map_action_count),
			static_cast<int>(header.map_action_buffer_size - 64 * header.map_action_count));
	}
	tag_files_close();
}

// The tags of a foundation file by their stored headers: group, subgroup, name.
static void list_foundation_file_tags(const std::string &path, FILE *out)
{
	FILE *file = fopen(path.c_str(), "rb");
	if (!file) return;
	tag_file_header header;
	if (fread(&header, sizeof(header), 1, file) == 1)
	{
		byte_swap_data("tag file header", &header, sizeof(header), 1, tag_file_header_byte_swapping_data);
		const long first = static_cast<long>(sizeof(tag_file_header)) +
			static_cast<long>(MAX(header.entry_point_count, 0)) * static_cast<long>(sizeof(tag_file_entry_point));
		for (int32 i = 0; i < header.tag_count && fseek(file, first + i * static_cast<long>(sizeof(tag_header)), SEEK_SET) == 0; ++i)
		{
			tag_header tag;
			if (fread(&tag, sizeof(tag), 1, file) != 1) break;
			byte_swap_data("tag header", &tag, sizeof(tag), 1, tag_header_byte_swapping_data);
			tag.name[sizeof(tag.name) - 1] = 0;
			char group[5], subgroup[5];
			snprintf(group, sizeof(group), "%s", tag_to_string(tag.group_tag));
			snprintf(subgroup, sizeof(subgroup), "%s", tag_to_string(tag.subgroup_tag));
			fprintf(out, "\t'%s' '%s' %s\n", group, subgroup, tag.name);
		}
	}
	fclose(file);
}

bool list_default_tag_set(const char *directory, FILE *out)
{
	char previous[PATH_MAX];
	if (!getcwd(previous, sizeof(previous)) || chdir(directory) != 0)
	{
		fprintf(out, "couldn't open the folder '%s'\n", directory);
		return false;
	}
	bool listed = true;
	for (int16 index = 0; index < NUMBER_OF_FOUNDATION_TAG_FILES; ++index)
	{
		file_reference file;
		if (!default_tags_file_reference(".", tag_file_strings[_tag_file_string_foundation_folder],
				tag_file_strings[FIRST_FOUNDATION_TAG_FILENAME + index], &file) ||
			!list_file(&file, out))
		{
			listed = false;
		}
		list_foundation_file_tags(std::string(tag_file_strings[_tag_file_string_foundation_folder]) + "/" +
			tag_file_strings[FIRST_FOUNDATION_TAG_FILENAME + index], out);
	}

	file_reference folder;
	if (default_tags_file_reference(".", tag_file_strings[_tag_file_string_plugin_folder], nullptr, &folder))
	{
		std::vector<file_reference> files;
		file_reference file;
		find_files_start(0, &folder);
		while (find_files_next(&file))
		{
			if (file.flags & has_filename_flag) files.push_back(file);
		}
		find_files_end();
		for (file_reference &listed_file : files) list_file(&listed_file, out);
	}

	if (!list_default_object_tags(".", out)) listed = false;
	refresh_foundation_checksum();
	fprintf(out, "foundation checksum: 0x%08X\n", tag_files_get_foundation_checksum());
	const int32 required = tag_files_count_required_files();
	fprintf(out, "required files: %d of %d\n", required, NUMBER_OF_REQUIRED_TAG_FILES);
	list_map_scripts(out);
	if (chdir(previous) != 0) listed = false;
	return listed && required == NUMBER_OF_REQUIRED_TAG_FILES;
}
