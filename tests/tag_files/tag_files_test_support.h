// Shared set-up of the tag-file tests: a fresh tag-file manager in the test's
// own folder, and small tag files built with the engine's own writer.
#ifndef TAG_FILES_TEST_SUPPORT_H
#define TAG_FILES_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "CoreLibrary/cseries/crc.h"
#include "CoreLibrary/tag_files/crc_quib.h"
#include "CoreLibrary/tag_files/x_files.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "support/foundation_files.h"
#include "support/tag_files_test_directory.h"
#include "support/test_directory.h"
#include "tag_files/tag_files.h"
#include "tag_files/tag_files_private.h"

namespace tag_files_test
{
struct tag_spec
{
	file_tag group_tag;
	file_tag subgroup_tag;
	std::string name;
	std::string data;
};

inline int32 make_local_tag(const tag_spec &spec, int16 version = 1)
{
	return tag_file_new_with_subgroup_tag(spec.group_tag, spec.name.c_str(), spec.subgroup_tag, version,
		spec.data.data(), static_cast<int32>(spec.data.size()));
}

inline file_reference folder_file(const char *folder, const std::string &name)
{
	file_reference file;
	file_reference_create(&file, _file_location_working_directory);
	file_reference_add_directory(&file, folder);
	file_reference_set_name(&file, name.c_str());
	return file;
}

// Builds "<folder>/<name>" of the specs' tags, made as local tags and removed again.
inline bool build_file(const char *folder, const std::string &name, int16 type, int16 version,
	const std::vector<tag_spec> &specs, const char *url = nullptr)
{
	std::vector<int32> handles;
	for (const tag_spec &spec : specs)
	{
		const int32 handle = make_local_tag(spec);
		if (handle == NONE) return false;
		handles.push_back(handle);
	}
	file_reference file = folder_file(folder, name);
	const bool built = build_monolithic_file_from_tag_indexes(&file, type, version, handles.data(),
		static_cast<int32>(handles.size()), url);
	for (int32 handle : handles) tag_file_delete(handle);
	return built;
}

inline std::string read_tag(int32 handle, bool read_ahead = false)
{
	const int32 size = tag_file_get_header_data_size(handle);
	if (size < 0) return "<unreadable>";
	std::string data(static_cast<size_t>(size), '\0');
	const boolean read = read_ahead ? tag_file_read_ahead(handle, 0, size, data.data()) :
		tag_file_read(handle, 0, size, data.data());
	return read ? data : "<unreadable>";
}

inline std::string pattern(size_t size, uint8 seed)
{
	std::string data(size, '\0');
	for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 7 + seed) & 0xFF);
	return data;
}

inline int16 plugin_index_named(const char *name)
{
	plugin_info info;
	for (int16 i = 0; i < tag_file_get_plugin_count(); ++i)
	{
		if (tag_file_indexed_plugin_get(i, &info) && strcmp(info.name, name) == 0) return i;
	}
	return NONE;
}

inline uint32 big_endian_32(const std::string &bytes, size_t offset)
{
	return (static_cast<uint32>(static_cast<uint8>(bytes[offset])) << 24) |
		(static_cast<uint32>(static_cast<uint8>(bytes[offset + 1])) << 16) |
		(static_cast<uint32>(static_cast<uint8>(bytes[offset + 2])) << 8) | static_cast<uint8>(bytes[offset + 3]);
}

inline void put_big_endian(std::string *bytes, size_t offset, uint32 value, int32 width)
{
	for (int32 i = 0; i < width; ++i) (*bytes)[offset + i] = static_cast<char>(value >> (8 * (width - 1 - i)));
}

// A raw local tag file, written without the engine.
inline std::string local_tag_bytes(file_tag group_tag, file_tag subgroup_tag, const std::string &data, int16 version = 1,
	int8 foundation_index = 0)
{
	tag_header header;
	memset(&header, 0, sizeof(header));
	header.group_tag = group_tag;
	header.subgroup_tag = subgroup_tag;
	header.offset = LOCAL_TAG_DATA_OFFSET;
	header.size = static_cast<uint32>(data.size());
	header.version = version;
	header.foundation_tag_file_index = foundation_index;
	header.owner_index = static_cast<int8>(LOCAL_TAG_HEADER_OWNER_INDEX);
	header.signature = TAG_HEADER_SIGNATURE;
	byte_swap_data("tag header", &header, sizeof(header), 1, tag_header_byte_swapping_data);
	return std::string(reinterpret_cast<const char *>(&header), sizeof(header)) + data;
}

// Each test starts from a fresh manager in its own folder.
class fixture : public tag_files_test_directory
{
protected:
	// The generated set, opened without plugins and catalogued.
	static void open_generated_set(void)
	{
		ASSERT_TRUE(install_placeholder_foundation_files("."));
		ASSERT_TRUE(tag_files_open(FALSE, nullptr, 0, NONE));
		tag_files_update_available_plugins();
	}
};
}

#endif
