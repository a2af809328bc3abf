// Arbitrary bytes as a plugin file and as a local 'stli' tag: every visible
// tag is read directly and through the read-ahead window, the string lists
// are loaded, the entry points listed, and the bytes decoded as an encoded
// plugin list.
#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "definitions.h"
#include "fuzz_support.h"
#include "string_definitions.h"
#include "tag_files/tag_files.h"
#include "x_files.h"
#include "zerv_networking/zerv_networking.h"

// Five empty foundation files made by the engine's writer, so that the tag set opens.
static void set_up_tag_set(void)
{
	tag_files_initialize();
	for (int16 i = 0; i < NUMBER_OF_FOUNDATION_TAG_FILES; ++i)
	{
		file_reference file;
		file_reference_create(&file, _file_location_working_directory);
		file_reference_add_directory(&file, tag_file_strings[_tag_file_string_foundation_folder]);
		file_reference_set_name(&file, tag_file_strings[FIRST_FOUNDATION_TAG_FILENAME + i]);
		check(build_monolithic_file_from_tag_indexes(&file, _tag_file_type_foundation, 0, nullptr, 0));
	}
	mkdir("local/string lists", 0777);
	preinitialize_definitions();
	initialize_string_definitions();
}

// Counted first: a table of every possible header per input would cost more than the loads.
static std::vector<int32> enumerate_tags(const tag_file_info *filter)
{
	std::vector<int32> handles(static_cast<size_t>(tag_file_enumerate(filter, nullptr, NONE)));
	if (handles.empty()) return handles;
	const int32 found = tag_file_enumerate(filter, handles.data(), static_cast<int32>(handles.size()));
	handles.resize(static_cast<size_t>(found));
	return handles;
}

static void read_every_visible_tag(void)
{
	const std::vector<int32> handles = enumerate_tags(nullptr);
	for (int32 handle : handles)
	{
		const int32 size = tag_file_get_header_data_size(handle);
		check(size >= 0);
		std::vector<uint8_t> direct(static_cast<size_t>(size) + 1);
		std::vector<uint8_t> windowed(static_cast<size_t>(size) + 1);
		check(tag_file_read(handle, 0, size, direct.data()));
		check(tag_file_read_ahead(handle, 0, size, windowed.data()));
		check(direct == windowed);
		// Small sequential reads through the window give the same bytes.
		for (int32 offset = 0; offset < size; offset += 61)
		{
			const int32 piece = size - offset < 61 ? size - offset : 61;
			check(tag_file_read_ahead(handle, offset, piece, windowed.data()));
			check(memcmp(windowed.data(), direct.data() + offset, static_cast<size_t>(piece)) == 0);
		}
		check(!tag_file_read(handle, size, 1, direct.data()));
	}
}

static void load_string_lists(void)
{
	initialize_string_definitions_for_new_map();
	tag_file_info filter;
	tag_file_info_new(&filter);
	filter.group_tag = TAG("stli");
	const std::vector<int32> handles = enumerate_tags(&filter);
	for (int32 handle : handles)
	{
		const int16 index = string_list_tag_to_string_index(tag_file_get_header_subgroup(handle));
		const int16 count = count_strings_in_list(index);
		for (int16 i = 0; i <= count; ++i) check(get_string_from_list(index, i) != nullptr);
	}
	dispose_string_definitions_from_old_map();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	enter_fuzz_directory("tag-file", set_up_tag_set);
	check(write_file("plugins/Fuzz Plugin", data, size));
	check(write_file("local/string lists/fuzz", data, size));

	tag_files_update_available_plugins();
	int16 plugin_index = NONE;
	plugin_info info;
	for (int16 i = 0; i < tag_file_get_plugin_count(); ++i)
	{
		if (tag_file_indexed_plugin_get(i, &info) && strcmp(info.name, "Fuzz Plugin") == 0) plugin_index = i;
	}
	tag_files_open(FALSE, plugin_index == NONE ? nullptr : &plugin_index, plugin_index == NONE ? 0 : 1, NONE);
	read_every_visible_tag();
	load_string_lists();

	std::vector<entry_point_info> entry_points(static_cast<size_t>(tag_file_entry_points_get(nullptr)) + 1);
	tag_file_entry_points_get(entry_points.data());

	// The same bytes as an encoded plugin list.
	int16 indexes[MAXIMUM_ENCODED_PLUGINS];
	int16 count = 0;
	char missing_text[96];
	const int32 length = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32>(size);
	tag_file_plugins_decode(indexes, &count, data, length, missing_text, sizeof(missing_text));
	check(count >= 0 && count <= MAXIMUM_ENCODED_PLUGINS && strlen(missing_text) < sizeof(missing_text));
	missing_plugin_info missing[MAXIMUM_ENCODED_PLUGINS];
	const int32 missing_count = tag_file_plugins_decode_missing(data, length, missing, MAXIMUM_ENCODED_PLUGINS);
	check(missing_count >= 0 && missing_count <= MAXIMUM_ENCODED_PLUGINS);
	uint8_t encoded[MAXIMUM_ENCODED_PLUGIN_BUFFER_SIZE];
	check(tag_file_plugins_encode(indexes, count, encoded) <= MAXIMUM_ENCODED_PLUGIN_BUFFER_SIZE);

	leave_fuzz_directory();
	return 0;
}
