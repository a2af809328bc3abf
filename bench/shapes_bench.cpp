// Shape collections: loading (post-process, building, derivation and the
// first touch of every bitmap) of the generator's unit collection, a
// synthetic 4096-bitmap collection and a 16-pair landscape, then the lookups
// drawing and the simulation make on a loaded collection. The tags are built
// in memory by the generator's collection builder and written once as local
// tags in a temporary working directory.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_directory.h"
#include "collection_references.h"
#include "definitions.h"
#include "shapes.h"
#include "tag_files/tag_files.h"

#include "collections_content.h"

namespace
{
const file_tag units_tag = TAG("unit");
const file_tag synthetic_tag = TAG("4096");
const file_tag landscape_tag = TAG("lnd6");

const int32 synthetic_bitmaps = 4096;
const int32 synthetic_sequences = 256;
const int16 synthetic_views = 8;
const int16 synthetic_frames = 8;
const int32 landscape_pairs = 16;

// 4096 row-span sprites of 64 x 64 (8-bit, one to four spans a row) shown
// by 256 mirrored sequences of 8 views and 8 frames.
collection_description synthetic_collection(void)
{
	collection_description collection;
	collection.user_data_flags = _collection_can_be_used_for_monsters_flag;
	collection.colors = default_unit_collection().colors;

	for (int32 b = 0; b < synthetic_bitmaps; ++b)
	{
		collection_bitmap_description bitmap = plain_collection_bitmap("sprite", 64, 64, _8bit);
		bitmap.name = "sprite " + std::to_string(b);
		bitmap.flags = _bitmap_extended_encoding_flag | _1bit_transparency_encoded_flag | _word_aligned_encoding_flag;
		bitmap.pixels.clear();
		for (int32 y = 0; y < 64; ++y)
		{
			const int32 spans = 1 + ((y + b) & 3);
			std::vector<int16> edges;
			std::vector<uint8> pixels;
			for (int32 s = 0; s < spans; ++s)
			{
				const int16 start = static_cast<int16>(s * 16 + ((y + b) & 7));
				const int16 end = static_cast<int16>(start + 5 + (b & 3));
				edges.push_back(start);
				edges.push_back(end);
				pixels.insert(pixels.end(), static_cast<size_t>(end - start), static_cast<uint8>(1 + ((b + y + s) & 127)));
			}
			append_row_span_row(&bitmap, edges, pixels);
		}
		collection.bitmaps.push_back(bitmap);
	}

	for (int32 s = 0; s < synthetic_sequences; ++s)
	{
		collection_sequence_description sequence;
		sequence.name = "sequence " + std::to_string(s);
		memset(&sequence.sequence, 0, sizeof(sequence.sequence));
		sequence.sequence.flags = _sequence_uses_mirroring_flag | _sequence_has_frame_data_flag;
		sequence.sequence.pixels_to_world = FIXED_ONE / 4;
		sequence.sequence.number_of_views = synthetic_views;
		sequence.sequence.frames_per_view = synthetic_frames;
		sequence.sequence.ticks_per_frame = 2;
		sequence.sequence.radius = 12 * FIXED_ONE;
		sequence.sequence.height1 = 40 * FIXED_ONE;
		for (int32 k = 0; k < NUMBER_OF_SEQUENCE_SOUNDS; ++k) sequence.sequence.sound_tags[k] = static_cast<file_tag>(NONE);
		for (int16 f = 0; f < synthetic_frames; ++f)
		{
			sequence.shadow_map_indexes.push_back(NONE);
			for (int16 v = 0; v < synthetic_views; ++v)
			{
				const int32 n = static_cast<int32>(collection.instances.size());
				bitmap_instance_data instance;
				memset(&instance, 0, sizeof(instance));
				instance.bitmap_index = static_cast<int16>(n % synthetic_bitmaps);
				instance.highres_bitmap_index = NONE;
				instance.registration_point = {32, 60};
				instance.key_point = {static_cast<int16>(28 + v), 20};
				sequence.instance_indexes.push_back(static_cast<int16>(n));
				collection.instances.push_back(instance);
			}
		}
		collection.sequences.push_back(sequence);
	}
	return collection;
}

// The default landscape's four pairs of 256 x 256 maps repeated to sixteen.
collection_description sixteen_pair_landscape(void)
{
	collection_description collection = default_landscape_collection();
	const std::vector<collection_bitmap_description> pairs = collection.bitmaps;
	collection.bitmaps.clear();
	for (int32 p = 0; p < landscape_pairs; ++p)
	{
		for (int32 k = 0; k < 2; ++k)
		{
			collection_bitmap_description bitmap = pairs[static_cast<size_t>((2 * p + k) % pairs.size())];
			bitmap.name = (k ? "shadow map " : "color map ") + std::to_string(p);
			collection.bitmaps.push_back(bitmap);
		}
	}
	return collection;
}

struct bench_collection
{
	file_tag tag;
	const char *name;
	collection_description (*make)(void);
	int64 size;
};

bench_collection bench_collections[] =
{
	{units_tag, "units", default_unit_collection, 0},
	{synthetic_tag, "synthetic", synthetic_collection, 0},
	{landscape_tag, "landscape", sixteen_pair_landscape, 0},
};

std::string bench_directory;

// Enters the bench folder with its collections as local tags and the shapes
// module started; the caller's folder is given back by leave_collections.
// The tags are built and written once per process.
bool enter_collections(std::string *previous_directory)
{
	const bool first = bench_directory.empty();
	if (!enter_bench_directory("shapes", &bench_directory, previous_directory, true)) return false;
	tag_files_reset_for_tests();
	tag_files_initialize();
	preinitialize_definitions();
	if (first)
	{
		for (bench_collection &entry : bench_collections)
		{
			const std::string data = collection_tag_data(entry.make());
			entry.size = static_cast<int64>(data.size());
			if (tag_file_new_with_subgroup_tag(COLLECTION_GROUP_TAG, entry.name, entry.tag, COLLECTION_VERSION_NUMBER,
				data.data(), static_cast<int32>(data.size())) == NONE)
			{
				return false;
			}
		}
	}
	else if (!load_local_tags())
	{
		return false;
	}
	initialize_shapes();
	return get_shapes_globals() != nullptr;
}

void leave_collections(const std::string &previous_directory)
{
	dispose_shapes_from_old_map();
	tag_files_reset_for_tests();
	leave_bench_directory(previous_directory);
}

// Loads the collection and touches every bitmap; NONE when it is refused.
int16 load_and_touch(file_tag tag)
{
	const int16 collection = get_collection_index(tag);
	if (collection == NONE) return NONE;
	const int16 bitmap_count = get_collection_bitmap_count(collection);
	for (int16 b = 0; b < bitmap_count; ++b) benchmark::DoNotOptimize(get_bitmap(collection, b));
	return collection;
}

void BM_collection_load(benchmark::State &state)
{
	bench_collection &entry = bench_collections[state.range(0)];
	std::string previous_directory;
	if (!enter_collections(&previous_directory))
	{
		leave_collections(previous_directory);
		state.SkipWithError("couldn't write the collections");
		return;
	}
	for (auto _ : state)
	{
		initialize_shapes_for_new_map(FALSE);
		if (load_and_touch(entry.tag) == NONE)
		{
			state.SkipWithError("the collection was refused");
			break;
		}
		dispose_shapes_from_old_map();
	}
	leave_collections(previous_directory);
	state.SetBytesProcessed(state.iterations() * entry.size);
	state.SetLabel(entry.name);
}
BENCHMARK(BM_collection_load)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The lookups below run on the loaded synthetic collection.
class loaded_collection
{
public:
	explicit loaded_collection(benchmark::State &state) : state(state)
	{
		if (!enter_collections(&previous_directory))
		{
			state.SkipWithError("couldn't write the collections");
			return;
		}
		initialize_shapes_for_new_map(FALSE);
		index = load_and_touch(synthetic_tag);
		if (index == NONE) state.SkipWithError("the collection was refused");
	}
	~loaded_collection()
	{
		leave_collections(previous_directory);
	}

	benchmark::State &state;
	std::string previous_directory;
	int16 index = NONE;
};

// A sprite's picture by sequence, view and frame, as drawing asks for it.
void BM_collection_sequence_bitmap(benchmark::State &state)
{
	loaded_collection loaded(state);
	if (loaded.index == NONE) return;
	int64 lookups = 0;
	for (auto _ : state)
	{
		for (int16 s = 0; s < synthetic_sequences; ++s)
		{
			for (int16 v = 0; v < synthetic_views; ++v)
			{
				for (int16 f = 0; f < synthetic_frames; ++f)
				{
					point2d registration, key;
					benchmark::DoNotOptimize(get_sequence_bitmap(loaded.index, s, v, f, &registration, &key));
				}
			}
		}
		lookups += synthetic_sequences * synthetic_views * synthetic_frames;
	}
	state.SetItemsProcessed(lookups);
}
BENCHMARK(BM_collection_sequence_bitmap)->Unit(benchmark::kMicrosecond);

// The simulation's reads: a sequence's sizes and a frame's key point.
void BM_collection_sequence_frame(benchmark::State &state)
{
	loaded_collection loaded(state);
	if (loaded.index == NONE) return;
	int64 lookups = 0;
	for (auto _ : state)
	{
		for (int16 s = 0; s < synthetic_sequences; ++s)
		{
			sequence_data *sequence = get_sequence(loaded.index, s);
			benchmark::DoNotOptimize(sequence->world_radius);
			for (int16 f = 0; f < synthetic_frames; ++f)
			{
				benchmark::DoNotOptimize(get_sequence_frame(sequence, loaded.index, s, f)->key_point);
			}
		}
		lookups += synthetic_sequences * (1 + synthetic_frames);
	}
	state.SetItemsProcessed(lookups);
}
BENCHMARK(BM_collection_sequence_frame)->Unit(benchmark::kMicrosecond);

// Bitmaps, instances and the collection itself by index and by tag.
void BM_collection_indexed_lookups(benchmark::State &state)
{
	loaded_collection loaded(state);
	if (loaded.index == NONE) return;
	int64 lookups = 0;
	for (auto _ : state)
	{
		for (int16 b = 0; b < synthetic_bitmaps; ++b)
		{
			benchmark::DoNotOptimize(get_bitmap(loaded.index, b));
			benchmark::DoNotOptimize(get_bitmap_instance(loaded.index, b));
		}
		benchmark::DoNotOptimize(get_collection_index(synthetic_tag));
		lookups += 2 * synthetic_bitmaps + 1;
	}
	state.SetItemsProcessed(lookups);
}
BENCHMARK(BM_collection_indexed_lookups)->Unit(benchmark::kMicrosecond);

// Names with ASCII folding: the last sequence and the last bitmap (full scans).
void BM_collection_named_lookups(benchmark::State &state)
{
	loaded_collection loaded(state);
	if (loaded.index == NONE) return;
	const std::string sequence_name = "SEQUENCE " + std::to_string(synthetic_sequences - 1);
	const std::string bitmap_name = "Sprite " + std::to_string(synthetic_bitmaps - 1);
	for (auto _ : state)
	{
		benchmark::DoNotOptimize(get_named_sequence_index(loaded.index, sequence_name.c_str()));
		benchmark::DoNotOptimize(get_named_bitmap_index(loaded.index, bitmap_name.c_str()));
	}
	state.SetItemsProcessed(state.iterations() * (synthetic_sequences + synthetic_bitmaps));
}
BENCHMARK(BM_collection_named_lookups)->Unit(benchmark::kMicrosecond);

} // namespace
