// The tag-file manager on a full header table: opening and closing 32000
// tags, looking every pair up, and small sequential reads through the
// read-ahead window against direct reads. The files are written once,
// straight in the stored format, in a temporary working directory.
#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_directory.h"
#include "tag_files/tag_files.h"
#include "tag_groups.h"

namespace
{
const int32 foundation_tags_per_file = 6200;
const int32 local_tag_count = 1000;
const int32 repeated_pairs = foundation_tags_per_file / 4;
const int32 tag_data_size = 16;

struct bench_pair
{
	file_tag group_tag;
	file_tag subgroup_tag;
};

struct bench_tag
{
	bench_pair pair;
	int32 size;
};

bench_pair pair_of(int32 id)
{
	return { tag_groups[id % NUMBER_OF_TAG_GROUPS].group_tag, static_cast<file_tag>(0x10000000 + id) };
}

bool write_bytes(const std::string &path, const std::vector<uint8> &bytes)
{
	FILE *file = fopen(path.c_str(), "wb");
	if (!file) return false;
	const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
	return fclose(file) == 0 && written;
}

// A monolithic file in the stored format; tag i holds bytes (i + n) & 0xFF.
bool write_monolithic_file(const std::string &path, int16 type, const std::vector<bench_tag> &tags)
{
	const size_t data_start = sizeof(tag_file_header) + sizeof(tag_header) * tags.size();
	size_t size = data_start;
	for (const bench_tag &tag : tags) size += static_cast<size_t>(tag.size);
	std::vector<uint8> bytes(size, 0);

	tag_file_header header = {};
	header.type = type;
	header.tag_count = static_cast<int16>(tags.size());
	header.size = static_cast<uint32>(size);
	header.signature = TAG_FILE_HEADER_SIGNATURE;
	byte_swap_data("tag file header", &header, sizeof(header), 1, tag_file_header_byte_swapping_data);
	memcpy(bytes.data(), &header, sizeof(header));

	size_t offset = data_start;
	for (size_t i = 0; i < tags.size(); ++i)
	{
		tag_header tag = {};
		snprintf(tag.name, sizeof(tag.name), "tag %u", static_cast<unsigned>(i));
		tag.group_tag = tags[i].pair.group_tag;
		tag.subgroup_tag = tags[i].pair.subgroup_tag;
		tag.offset = static_cast<uint32>(offset);
		tag.size = static_cast<uint32>(tags[i].size);
		tag.foundation_tag_file_index = 0;
		tag.owner_index = static_cast<int8>(LOCAL_TAG_HEADER_OWNER_INDEX);
		tag.signature = TAG_HEADER_SIGNATURE;
		byte_swap_data("tag header", &tag, sizeof(tag), 1, tag_header_byte_swapping_data);
		memcpy(bytes.data() + sizeof(tag_file_header) + sizeof(tag_header) * i, &tag, sizeof(tag));
		for (int32 j = 0; j < tags[i].size; ++j) bytes[offset + j] = static_cast<uint8>(i + j);
		offset += static_cast<size_t>(tags[i].size);
	}
	return write_bytes(path, bytes);
}

bool write_local_tag(const bench_pair &pair, const std::string &name)
{
	const tag_group *group = tag_group_get(pair.group_tag);
	const std::string folder = (group->flags & _tag_group_is_local_flag) ? std::string(group->name) :
		std::string("local/") + group->name;
	mkdir(folder.c_str(), 0777);
	tag_header tag = {};
	snprintf(tag.name, sizeof(tag.name), "%s", name.c_str());
	tag.group_tag = pair.group_tag;
	tag.subgroup_tag = pair.subgroup_tag;
	tag.offset = LOCAL_TAG_DATA_OFFSET;
	tag.size = tag_data_size;
	tag.foundation_tag_file_index = NONE;
	tag.owner_index = static_cast<int8>(LOCAL_TAG_HEADER_OWNER_INDEX);
	tag.signature = TAG_HEADER_SIGNATURE;
	byte_swap_data("tag header", &tag, sizeof(tag), 1, tag_header_byte_swapping_data);
	std::vector<uint8> bytes(sizeof(tag) + tag_data_size, 7);
	memcpy(bytes.data(), &tag, sizeof(tag));
	return write_bytes(folder + "/" + name, bytes);
}

struct bench_set
{
	std::string directory;
	std::string previous_directory;
	std::vector<bench_pair> pairs;
};

// Makes a folder of tag files and opens it as the tag set.
bool make_set(bench_set *set, const std::vector<std::vector<bench_tag>> &foundation_files, int32 local_count)
{
	if (!enter_bench_directory("tag", &set->directory, &set->previous_directory, false)) return false;
	tag_files_reset_for_tests();
	tag_files_initialize();
	for (int16 i = 0; i < NUMBER_OF_FOUNDATION_TAG_FILES; ++i)
	{
		const std::string path = std::string("tags/") + tag_file_strings[FIRST_FOUNDATION_TAG_FILENAME + i];
		if (!write_monolithic_file(path, _tag_file_type_foundation, foundation_files[static_cast<size_t>(i)])) return false;
	}
	for (int32 i = 0; i < local_count; ++i)
	{
		const bench_pair pair = pair_of(5 * foundation_tags_per_file + i);
		if (!write_local_tag(pair, "local " + std::to_string(i))) return false;
		set->pairs.push_back(pair);
	}
	return tag_files_open(FALSE, nullptr, 0, NONE);
}

void remove_set(const bench_set &set)
{
	tag_files_reset_for_tests();
	leave_bench_directory(set.previous_directory);
	remove_bench_directory(set.directory);
}

// 5 foundation files of 6200 tags and 1000 local tags: 32000 in 40 groups,
// a quarter of the pairs repeated in every file.
bool make_full_set(bench_set *set)
{
	std::vector<std::vector<bench_tag>> files(NUMBER_OF_FOUNDATION_TAG_FILES);
	for (int32 file = 0; file < NUMBER_OF_FOUNDATION_TAG_FILES; ++file)
	{
		for (int32 i = 0; i < foundation_tags_per_file; ++i)
		{
			const int32 id = i < repeated_pairs ? i : file * foundation_tags_per_file + i;
			files[static_cast<size_t>(file)].push_back({ pair_of(id), tag_data_size });
			if (file == 0 || i >= repeated_pairs) set->pairs.push_back(pair_of(id));
		}
	}
	return make_set(set, files, local_tag_count);
}
}

static void BM_tag_files_open_32000(benchmark::State &state)
{
	bench_set set;
	if (!make_full_set(&set))
	{
		remove_set(set);
		state.SkipWithError("couldn't make the tag set");
		return;
	}
	for (auto _ : state)
	{
		tag_files_open(FALSE, nullptr, 0, NONE);
		tag_files_close();
	}
	remove_set(set);
}
BENCHMARK(BM_tag_files_open_32000)->Unit(benchmark::kMillisecond);

static void BM_tag_file_lookup_all(benchmark::State &state)
{
	bench_set set;
	if (!make_full_set(&set))
	{
		remove_set(set);
		state.SkipWithError("couldn't make the tag set");
		return;
	}
	std::vector<int32> handles(MAXIMUM_SIMULTANEOUS_TAG_HEADERS);
	for (auto _ : state)
	{
		int32 found = 0;
		for (const bench_pair &pair : set.pairs) found += tag_file_open(pair.group_tag, pair.subgroup_tag) != NONE;
		for (int32 group = 0; group < NUMBER_OF_TAG_GROUPS; ++group)
		{
			tag_file_info filter;
			tag_file_info_new(&filter);
			filter.group_tag = tag_groups[group].group_tag;
			found += tag_file_enumerate(&filter, handles.data(), NONE);
		}
		benchmark::DoNotOptimize(found);
	}
	remove_set(set);
}
BENCHMARK(BM_tag_file_lookup_all)->Unit(benchmark::kMillisecond);

// 1024 definitions of 128 bytes, each read as four 32-byte pieces; argument 1
// reads through the window, 0 directly.
static void BM_read_ahead_sequential(benchmark::State &state)
{
	std::vector<std::vector<bench_tag>> files(NUMBER_OF_FOUNDATION_TAG_FILES);
	for (int32 i = 0; i < 1024; ++i) files[0].push_back({ { TAG("unit"), static_cast<file_tag>(0x20000000 + i) }, 128 });
	bench_set set;
	if (!make_set(&set, files, 0))
	{
		remove_set(set);
		state.SkipWithError("couldn't make the tag set");
		return;
	}
	std::vector<int32> handles;
	for (int32 i = 0; i < 1024; ++i) handles.push_back(tag_file_open(TAG("unit"), static_cast<file_tag>(0x20000000 + i)));
	const bool windowed = state.range(0) != 0;
	uint8 buffer[32];
	for (auto _ : state)
	{
		for (int32 handle : handles)
		{
			for (int32 piece = 0; piece < 4; ++piece)
			{
				if (windowed) tag_file_read_ahead(handle, piece * 32, 32, buffer);
				else tag_file_read(handle, piece * 32, 32, buffer);
				benchmark::DoNotOptimize(buffer);
			}
		}
	}
	remove_set(set);
}
BENCHMARK(BM_read_ahead_sequential)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
