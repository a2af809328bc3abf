// The definition loader on a map-sized set of local tags: 8 groups of 512
// definitions of 128 bytes with 48-code descriptors, each postprocess asking
// for two others (chosen by a fixed generator), plus 1024 string lists of 64
// lines. The tag files are written once, straight into the local folders, in
// a temporary working directory.
#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "CoreLibrary/zerv/error_manager.h"
#include "CoreLibrary/zerv/string_definitions.h"
#include "bench_directory.h"
#include "definitions.h"
#include "tag_files/tag_files.h"
#include "tag_groups.h"

namespace
{
const int32 group_count = 8;
const int16 definitions_per_group = 512;
const int32 string_list_count = 1024;
const int32 lines_per_list = 64;

const file_tag bench_groups[group_count] =
{
	TAG("unit"), TAG("proj"), TAG("obje"), TAG("scen"), TAG("mons"), TAG("part"), TAG("meef"), TAG("conn")
};

// Two references (group index, subgroup), then filler: 128 bytes.
struct bench_definition
{
	int32 reference_groups[2];
	file_tag reference_subgroups[2];
	int16 reference_indexes[2];
	int32 longs[15];
	int16 shorts[24];
};
STORED_SIZE(bench_definition, 128);

// 45 field codes (19 longs, 26 shorts): 48 codes in all.
constexpr byte_swap_code bench_definition_byte_swapping_data[] =
{
	_begin_bs_array, 1,
	_4byte, _4byte, _4byte, _4byte, _2byte, _2byte,
	_4byte, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte,
	_4byte, _4byte,
	_2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte,
	_2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte,
	_end_bs_array
};
static_assert(NUMBEROF(bench_definition_byte_swapping_data) == 48);
static_assert(get_byte_swap_struct_size(bench_definition_byte_swapping_data) == sizeof(bench_definition));

definition_globals bench_definitions[group_count];

boolean postprocess_bench_definition(definition_globals *, int16, int32, void *slot)
{
	bench_definition *definition = static_cast<bench_definition *>(slot);
	for (int32 i = 0; i < 2; ++i)
	{
		definition->reference_indexes[i] = definition_tag_to_index(
			&bench_definitions[definition->reference_groups[i]], definition->reference_subgroups[i]);
	}
	return TRUE;
}

file_tag bench_subgroup(int32 i)
{
	return TAG("b000") + static_cast<file_tag>(((i / 100) << 16) | (((i / 10) % 10) << 8) | (i % 10));
}

struct local_generator
{
	uint32 seed;
	uint32 next(void)
	{
		seed = seed * 1664525u + 1013904223u;
		return seed >> 8;
	}
};

// A local tag file: the 64-byte header, then the data, in stored order.
bool write_local_tag(file_tag group_tag, file_tag subgroup_tag, const std::string &name, const void *data,
	int32 size)
{
	const std::string folder = std::string("local/") + tag_group_get_name(group_tag);
	mkdir("local", 0777);
	mkdir(folder.c_str(), 0777);

	tag_header header = {};
	snprintf(header.name, sizeof(header.name), "%s", name.c_str());
	header.group_tag = group_tag;
	header.subgroup_tag = subgroup_tag;
	header.offset = sizeof(tag_header);
	header.size = static_cast<uint32>(size);
	header.version = 1;
	header.foundation_tag_file_index = -1;
	header.owner_index = -1;
	header.signature = TAG_HEADER_SIGNATURE;
	uint8 bytes[sizeof(tag_header)];
	byte_swap_move("tag header", bytes, &header, sizeof(header), 1, tag_header_byte_swapping_data);

	FILE *file = fopen((folder + "/" + name).c_str(), "wb");
	if (!file) return false;
	const bool written = fwrite(bytes, 1, sizeof(bytes), file) == sizeof(bytes) &&
		fwrite(data, 1, static_cast<size_t>(size), file) == static_cast<size_t>(size);
	return fclose(file) == 0 && written;
}

std::string bench_directory;
bool tag_set_written = false;

// Enters the bench folder with the tag set open; the caller's folder is
// given back by leave_bench_directory. The tag set is written once per process.
bool enter_tag_set(std::string *previous_directory)
{
	const bool first = bench_directory.empty();
	if (!enter_bench_directory("definitions", &bench_directory, previous_directory, true)) return false;
	if (!first)
	{
		// Another benchmark may have closed or reopened the tag set meanwhile.
		if (!tag_set_written) return false;
		if (tag_file_exists(TAG("stli"), bench_subgroup(0))) return true;
		tag_files_initialize();
		return load_local_tags() != FALSE;
	}

	initialize_error_state("zerv");
	tag_files_initialize();

	local_generator generator = {0xDEF5u};
	for (int32 g = 0; g < group_count; ++g)
	{
		for (int32 i = 0; i < definitions_per_group; ++i)
		{
			bench_definition definition = {};
			for (int32 r = 0; r < 2; ++r)
			{
				definition.reference_groups[r] = static_cast<int32>(generator.next() % group_count);
				definition.reference_subgroups[r] = bench_subgroup(static_cast<int32>(generator.next() % definitions_per_group));
				definition.reference_indexes[r] = NONE;
			}
			for (int32 k = 0; k < 15; ++k) definition.longs[k] = static_cast<int32>(generator.next());
			byte_swap_data("bench", &definition, sizeof(definition), 1, bench_definition_byte_swapping_data);
			if (!write_local_tag(bench_groups[g], bench_subgroup(i), "bench " + std::to_string(i), &definition,
				sizeof(definition)))
			{
				return false;
			}
		}
	}
	std::string text;
	for (int32 line = 0; line < lines_per_list; ++line) text += "line " + std::to_string(line) + "\r";
	for (int32 i = 0; i < string_list_count; ++i)
	{
		if (!write_local_tag(TAG("stli"), bench_subgroup(i), "list " + std::to_string(i), text.data(),
			static_cast<int32>(text.size())))
		{
			return false;
		}
	}
	if (!load_local_tags()) return false;

	preinitialize_definitions();
	for (int32 g = 0; g < group_count; ++g)
	{
		definition_globals *definitions = &bench_definitions[g];
		*definitions = {};
		snprintf(definitions->name, sizeof(definitions->name), "bench %d", static_cast<int>(g));
		definitions->group = bench_groups[g];
		definitions->current_version = 1;
		definitions->maximum_count = definitions_per_group;
		definitions->size = sizeof(bench_definition);
		definitions->postprocess = postprocess_bench_definition;
		definitions->byte_swapping_data = bench_definition_byte_swapping_data;
		initialize_definitions(definitions);
	}
	initialize_string_definitions();
	tag_set_written = true;
	return true;
}

void load_everything(void)
{
	for (int32 g = 0; g < group_count; ++g) initialize_definitions_for_new_map(&bench_definitions[g]);
	initialize_string_definitions_for_new_map();
	for (int32 g = 0; g < group_count; ++g)
	{
		for (int32 i = 0; i < definitions_per_group; ++i) definition_tag_to_index(&bench_definitions[g], bench_subgroup(i));
	}
	for (int32 i = 0; i < string_list_count; ++i) string_list_tag_to_string_index(bench_subgroup(i));
}

void dispose_everything(void)
{
	for (int32 g = 0; g < group_count; ++g) dispose_definitions_from_old_map(&bench_definitions[g]);
	dispose_string_definitions_from_old_map();
}
}

static void BM_load_map_definitions(benchmark::State &state)
{
	std::string previous_directory;
	if (!enter_tag_set(&previous_directory))
	{
		leave_bench_directory(previous_directory);
		state.SkipWithError("couldn't write the tag set");
		return;
	}
	for (auto _ : state)
	{
		load_everything();
		if (bench_definitions[group_count - 1].count != definitions_per_group) state.SkipWithError("not all loaded");
		dispose_everything();
	}
	leave_bench_directory(previous_directory);
	state.SetItemsProcessed(state.iterations() * (group_count * definitions_per_group + string_list_count));
}
BENCHMARK(BM_load_map_definitions)->Unit(benchmark::kMillisecond);

static void BM_definition_lookup_loaded(benchmark::State &state)
{
	std::string previous_directory;
	if (!enter_tag_set(&previous_directory))
	{
		leave_bench_directory(previous_directory);
		state.SkipWithError("couldn't write the tag set");
		return;
	}
	load_everything();
	// 1024 loaded definitions: the first two groups.
	uint32 i = 0;
	for (auto _ : state)
	{
		const int32 g = static_cast<int32>(i & 1);
		benchmark::DoNotOptimize(definition_tag_to_index(&bench_definitions[g], bench_subgroup(static_cast<int32>((i >> 1) % definitions_per_group))));
		i += 1;
	}
	dispose_everything();
	leave_bench_directory(previous_directory);
	state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_definition_lookup_loaded);
