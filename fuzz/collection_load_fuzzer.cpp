// Arbitrary bytes as a '.256' collection tag's data, loaded through the
// definitions like any collection (version convert, post-process, building
// and derivation on first use); then every sequence, view and frame is
// walked, every bitmap and its pixels touched, shading tables built and the
// whole map disposed. The last 384 bytes (all of a shorter input) also make
// a 'core' reference, loaded after the collection: its permutations become
// tinting tables and a team-coloured copy is made.
//
// Byte 319 of the header (its extractor data, never read by the loader)
// picks the stored version 4, 1 or 3; byte 318's low bit the older
// key-point rule. Seeds are default collections followed by a reference
// naming the collection 'fuzz'.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "collection_references.h"
#include "definitions.h"
#include "fuzz_support.h"
#include "shapes.h"
#include "tag_files/tag_files.h"
#include "world.h"
#include "zerv.h"

namespace {

const file_tag fuzz_tag = TAG("fuzz");
const size_t version_selector = 319;
const size_t rules_selector = 318;
const int16 stored_versions[] = {COLLECTION_VERSION_NUMBER, 1, 3};

// Once, in the fuzzer's own folder: an empty tag set and the shapes module.
void set_up_fuzz_directory(void)
{
	tag_files_reset_for_tests();
	tag_files_initialize();
	preinitialize_definitions();
	initialize_shapes();
	check(get_shapes_globals() != nullptr);
	const rgb_color global_tint = {30000, 20000, 10000, 0};
	set_global_tint_color(&global_tint, 96);
}

bool is_run_length(const bitmap_data *bitmap)
{
	return (bitmap->flags & _bitmap_extended_encoding_flag) && bitmap->encoding == _16bit_565_encoding;
}

int16 load_native_int16(const uint8 *p)
{
	int16 value;
	memcpy(&value, p, sizeof(value));
	return value;
}

// Every pixel a drawing routine could read, by the bitmap's own layout.
void touch_pixels(const bitmap_data *bitmap)
{
	volatile uint8 sink = 0;
	const int32 pixel_bytes = 1 << bitmap->pixel_upshift;
	if (is_run_length(bitmap))
	{
		// The stream was walked whole at load; its start is there.
		if (bitmap->width > 0 && bitmap->height > 0) sink = sink ^ bitmap->row_addresses[0][0];
		return;
	}
	for (int32 y = 0; y < bitmap->height; ++y)
	{
		const uint8 *row = (bitmap->flags & _no_row_address_table_flag) ?
			bitmap->row_addresses[0] + static_cast<intptr_t>(y) * bitmap->bytes_per_row : bitmap->row_addresses[y];
		if (bitmap->flags & _1bit_transparency_encoded_flag)
		{
			const int32 span_count = load_native_int16(row);
			const int32 pixel_count = load_native_int16(row + 2);
			check(span_count >= 0 && pixel_count >= 0);
			const uint8 *pixels = row + ROW_SPAN_HEADER_SIZE + 4 * span_count;
			int32 previous_end = 0, total = 0;
			for (int32 s = 0; s < span_count; ++s)
			{
				const int32 start = load_native_int16(row + ROW_SPAN_HEADER_SIZE + 4 * s);
				const int32 end = load_native_int16(row + ROW_SPAN_HEADER_SIZE + 4 * s + 2);
				check(start >= previous_end && start <= end && end <= bitmap->width);
				previous_end = end;
				total += end - start;
			}
			check(total == pixel_count);
			for (int32 i = 0; i < pixel_count * pixel_bytes; ++i) sink = sink ^ pixels[i];
		}
		else
		{
			for (int32 i = 0; i < bitmap->width * pixel_bytes; ++i) sink = sink ^ row[i];
		}
	}
}

void walk_bitmaps(int16 collection, int16 bitmap_count)
{
	const color_table *colors = get_color_table(collection, 0);
	check(colors != nullptr && colors->color_count >= 0 && colors->color_count <= MAXIMUM_COLOR_TABLE_COLORS);
	std::vector<uint8> picture;
	for (int16 b = 0; b < bitmap_count; ++b)
	{
		boolean purged = TRUE;
		preload_bitmap(collection, b, FALSE, &purged);
		check(!purged);
		bitmap_data *bitmap = get_bitmap(collection, b);
		check(bitmap != nullptr && bitmap == get_bitmap(collection, b));
		check(bitmap->width >= 0 && bitmap->height >= 0);
		check(bitmap->logical_bit_depth == _8bit || bitmap->logical_bit_depth == _16bit ||
			bitmap->logical_bit_depth == _32bit);
		check(get_bitmap_reference(collection, b) != nullptr);
		touch_pixels(bitmap);
		(void)get_named_bitmap_index(collection, get_bitmap_reference(collection, b)->name);

		// The colour-map reader, into a picture that may be narrower than the bitmap.
		if (!is_run_length(bitmap))
		{
			const int32 width = bitmap->width < 64 ? bitmap->width : 64;
			const int32 height = bitmap->height < 64 ? bitmap->height : 64;
			picture.assign(static_cast<size_t>(2 * width * height) + 1, 0);
			decompress_bitmap(colors, bitmap, picture.data(), width, height, 2 * width, _decompress_bitmap_88, TRUE);
			decompress_bitmap(colors, bitmap, picture.data(), width, height, width, _decompress_bitmap_8, FALSE);
		}
		(void)get_submesh_bitmap_base_address(collection, b, FALSE);
	}
	check(get_bitmap(collection, bitmap_count) == nullptr);
	check(get_bitmap(collection, -1) == nullptr);
}

void walk_sequences(int16 collection, int16 sequence_count, int16 bitmap_count)
{
	for (int16 s = 0; s < sequence_count; ++s)
	{
		sequence_data *sequence = get_sequence(collection, s);
		check(sequence != nullptr);
		const int32 frames = sequence->frames_per_view, views = sequence->number_of_views;
		check(frames >= 0 && views >= 0 && (frames == 0 || views > 0));
		// A key or loop frame is NONE (never reached) or one of the frames.
		check(frames == 0 || ((sequence->key_frame == NONE || (sequence->key_frame >= 0 && sequence->key_frame < frames)) &&
			(sequence->loop_frame == NONE || (sequence->loop_frame >= 0 && sequence->loop_frame < frames))));
		check(count_sequence_bitmaps(collection, s, _count_sequence_bitmaps) == frames * views);
		check(verify_sequence_index(collection, s));
		check(get_sequence_name(collection, s) != nullptr);
		const int16 named = get_named_sequence_index(collection, get_sequence_name(collection, s));
		check(named >= 0 && named <= s);

		for (int32 f = 0; f < frames; ++f)
		{
			const sequence_frame_data *frame = get_sequence_frame(sequence, collection, s, static_cast<int16>(f));
			check(frame != nullptr);
			check(frame->shadow_map_index == NONE || get_shadow_map(collection, frame->shadow_map_index) != nullptr);
			for (int32 v = 0; v < views; ++v)
			{
				point2d registration, key;
				const int16 index = get_sequence_bitmap_index(collection, s, static_cast<int16>(v), static_cast<int16>(f),
					&registration, &key);
				check(index == NONE || (index >= 0 && index < bitmap_count));
				(void)get_sequence_bitmap(collection, s, static_cast<int16>(v), static_cast<int16>(f), nullptr, nullptr);
			}
		}
		check(get_sequence_frame(sequence, collection, s, -1) == get_sequence_frame(sequence, collection, s, 0));
		const int32 count = frames * views;
		for (int32 n = 0; n < count && n < 4096; ++n)
		{
			(void)get_sequence_bitmap(collection, s, NONE, static_cast<int16>(n), nullptr, nullptr);
		}
		preload_sequence_index(collection, s, nullptr);
		rgb_color color;
		for (int16 c : {0, 1, 255}) get_rgb_color_from_sequence(collection, s, c, &color);
	}
	if (sequence_count > 0) equalize_sequence_collision_rectangles(collection, 0, static_cast<int16>(sequence_count - 1));
}

void walk_instances(int16 collection, int16 bitmap_count)
{
	const collection_header *header = get_collection_header(collection);
	check(header != nullptr);
	for (int32 i = 0; i < header->bitmap_instance_count; ++i)
	{
		const bitmap_instance_data *instance = get_bitmap_instance(collection, static_cast<int16>(i));
		check(instance != nullptr);
		check(instance->bitmap_index >= NONE && instance->bitmap_index < bitmap_count);
	}
	for (int32 i = 0; i < header->shadow_map_count; ++i)
	{
		const shadow_map_data *shadow = get_shadow_map(collection, static_cast<int16>(i));
		check(shadow != nullptr && shadow->bitmap_index >= NONE && shadow->bitmap_index < bitmap_count);
	}
}

void walk_collection(int16 collection)
{
	const int16 bitmap_count = get_collection_bitmap_count(collection);
	const int16 sequence_count = get_collection_sequence_count(collection);
	check(bitmap_count >= 0 && bitmap_count <= MAXIMUM_BITMAPS_PER_COLLECTION);
	check(sequence_count >= 0 && sequence_count <= MAXIMUM_SEQUENCES_PER_COLLECTION);
	check(get_collection_header(collection)->flags & _collection_header_initialized_flag);

	int16 hue_change_count = 0;
	(void)get_collection_hue_changes(collection, &hue_change_count);
	check(hue_change_count >= 0 && hue_change_count <= MAXIMUM_HUE_CHANGES_PER_COLLECTION);

	walk_bitmaps(collection, bitmap_count);
	walk_sequences(collection, sequence_count, bitmap_count);
	walk_instances(collection, bitmap_count);

	// Derived data rebuilt with the high-resolution pictures, and back.
	toggle_highres_sprites();
	walk_instances(collection, bitmap_count);
	walk_sequences(collection, sequence_count, bitmap_count);
	toggle_highres_sprites();

	(void)get_blend_table(collection);
	(void)get_remapping_table(collection);

	// Shading: the plain table, a lighting table, a temporary level, and the
	// landscape's lighting for colour maps.
	check(get_shading_table(collection, 0, 0) != nullptr);
	rgb_color replacements[NUMBER_OF_REPLACEMENT_COLORS_PER_PERMUTATION];
	for (int32 i = 0; i < NUMBER_OF_REPLACEMENT_COLORS_PER_PERMUTATION; ++i)
	{
		replacements[i] = {static_cast<uint16>(8000 * i), 40000, static_cast<uint16>(60000 - 7000 * i), 0};
	}
	const rgb_color tint = {50000, 10000, 10000, 0};
	const int16 lighting = add_shading_table_to_collection_index(collection, replacements,
		_add_shading_table_for_lighting, 32, &tint);
	if (lighting != NONE)
	{
		check(get_shading_table_header(collection, lighting) != nullptr);
		check(get_unshaded_shading_table(collection, lighting) != nullptr);
	}
	void *temporary = new_temporary_shading_table(collection, replacements, TRUE);
	dispose_temporary_shading_table(temporary);
	if (get_collection_header(collection)->user_data_flags & _collection_is_color_map_flag)
	{
		const rgb_color dark = {0, 0, 8000, 0}, light = {65535, 60000, 50000, 0};
		(void)add_shading_table_to_mesh(collection, 128, &dark, FIXED_ONE / 2, 64, &light);
	}
	(void)add_blend_table_to_collection_index(collection);
}

void walk_reference(int16 reference_index, int16 collection)
{
	collection_reference *reference = get_collection_reference(reference_index);
	check(reference != nullptr);
	// Only a reference to the loaded collection, with 1..5 permutations, loads.
	check(collection != NONE && reference->collection_index == collection);
	check(reference->number_of_permutations >= 1 &&
		reference->number_of_permutations <= MAXIMUM_PERMUTATIONS_PER_COLLECTION_REFERENCE);
	for (int16 p = 0; p < reference->number_of_permutations; ++p)
	{
		const int16 table = reference->color_table_indexes[p];
		check(table != NONE);
		check(get_collection_reference_permutation(reference_index, table) == p);
		for (int16 permutation = 0; permutation < NUMBER_OF_SHADING_TABLE_PERMUTATIONS; ++permutation)
		{
			check(get_shading_table(collection, table, permutation) != nullptr);
		}
		(void)test_collection_replacement_colors(collection, reference->colors[p], &white, &black);
	}

	const rgb_color primary = {60000, 2000, 2000, 0}, secondary = {2000, 2000, 60000, 0};
	for (boolean global : {FALSE, TRUE})
	{
		const int16 custom = custom_collection_reference(fuzz_tag, &primary, &secondary, global);
		if (custom == NONE) continue;
		const collection_reference *copy = get_collection_reference(custom);
		check(copy != nullptr && copy->collection_index == collection);
		check(copy->number_of_permutations >= 1 &&
			copy->number_of_permutations <= MAXIMUM_PERMUTATIONS_PER_COLLECTION_REFERENCE);
	}
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size > 16 * 1024 * 1024) return 0;
	enter_fuzz_directory("collection", set_up_fuzz_directory);

	const int16 version = size > version_selector ? stored_versions[data[version_selector] % 3] : COLLECTION_VERSION_NUMBER;
	game_play_version = size > rules_selector && (data[rules_selector] & 1) ? 1709 : MAXIMUM_GAME_PLAY_VERSION;
	const size_t reference_size = size < sizeof(collection_reference) ? size : sizeof(collection_reference);

	initialize_shapes_for_new_map(FALSE);
	const int32 collection_tag = tag_file_new_with_subgroup_tag(COLLECTION_GROUP_TAG, "fuzz", fuzz_tag, version, data,
		static_cast<int32>(size));
	const int32 reference_tag = tag_file_new_with_subgroup_tag(COLLECTION_REFERENCE_GROUP_TAG, "fuzz", fuzz_tag,
		COLLECTION_REFERENCE_VERSION_NUMBER, data + size - reference_size, static_cast<int32>(reference_size));
	check(collection_tag != NONE && reference_tag != NONE);

	const int16 collection = get_collection_index(fuzz_tag);
	if (collection != NONE)
	{
		check(get_collection_index(fuzz_tag) == collection);
		walk_collection(collection);
	}
	const int16 reference = definition_tag_to_index(get_collection_reference_definitions(), fuzz_tag);
	if (reference != NONE) walk_reference(reference, collection);
	if (collection != NONE)
	{
		delete_collection(collection);
		check(get_collection_header(collection) == nullptr);
	}
	dispose_shapes_from_old_map();

	leave_fuzz_directory();
	return 0;
}
