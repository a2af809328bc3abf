// Shape collections: loading a built tag, derived sprite geometry, lookups,
// refusal of damaged data, and the two writers.
#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

#include "collections_content.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "definitions.h"
#include "hardware/generic_texture_cache.h"
#include "preload_definitions.h"
#include "shading_tables.h"
#include "shapes.h"
#include "shapes_test_support.h"
#include "support/test_directory.h"
#include "tag_files/tag_files.h"
#include "world.h"
#include "zerv.h"

namespace
{
#define TINY_TAG TAG("tiny")

enum
{
	_tiny_body_bitmap, // 40 x 60, 8-bit, one zero pixel
	_tiny_solid_bitmap, // 8 x 8, 8-bit, no zero
	_tiny_span_bitmap, // 10 x 3 row-span
	_tiny_wide_bitmap, // 4 x 2, 16-bit
	_tiny_stream_bitmap, // 4 x 2 run-length
	NUMBER_OF_TINY_BITMAPS
};

enum
{
	_tiny_eight_views_sequence,
	_tiny_five_views_sequence,
	_tiny_single_view_sequence,
	_tiny_empty_sequence,
	NUMBER_OF_TINY_SEQUENCES
};

const uint8 tiny_stream[] = {3, 0x1F, 10, 20, 30, 4, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};

bitmap_instance_data tiny_instance(int16 bitmap_index, int16 rx, int16 ry, int16 kx, int16 ky)
{
	bitmap_instance_data instance;
	memset(&instance, 0, sizeof(instance));
	instance.bitmap_index = bitmap_index;
	instance.highres_bitmap_index = NONE;
	instance.registration_point = {rx, ry};
	instance.key_point = {kx, ky};
	return instance;
}

collection_sequence_description tiny_sequence(const char *name, int16 views, int16 frames, uint32 flags,
	int16 first_instance)
{
	collection_sequence_description sequence;
	sequence.name = name;
	memset(&sequence.sequence, 0, sizeof(sequence.sequence));
	sequence.sequence.flags = flags;
	sequence.sequence.pixels_to_world = FIXED_ONE;
	sequence.sequence.number_of_views = views;
	sequence.sequence.frames_per_view = frames;
	sequence.sequence.ticks_per_frame = 2;
	sequence.sequence.radius = FIXED_ONE / 2;
	sequence.sequence.height0 = 2 * FIXED_ONE;
	sequence.sequence.height1 = 3 * FIXED_ONE;
	for (int32 i = 0; i < NUMBER_OF_SEQUENCE_SOUNDS; ++i) sequence.sequence.sound_tags[i] = static_cast<file_tag>(NONE);
	for (int32 f = 0; f < frames; ++f)
	{
		sequence.shadow_map_indexes.push_back(NONE);
		for (int32 v = 0; v < views; ++v) sequence.instance_indexes.push_back(static_cast<int16>(first_instance + f * views + v));
	}
	return sequence;
}

collection_description tiny_collection(void)
{
	collection_description collection;
	collection.user_data_flags = _collection_can_be_used_for_monsters_flag;
	memset(&collection.colors, 0, sizeof(collection.colors));
	collection.colors.color_count = 4;
	collection.colors.colors[0] = {65535, 65535, 0, 0};
	collection.colors.colors[1] = {65535, 0, 0, 0};
	collection.colors.colors[2] = {0, 65535, 0, 0};
	collection.colors.colors[3] = {0, 0, 65535, 0};

	hue_change primary;
	memset(&primary, 0, sizeof(primary));
	strcpy(primary.name, "primary");
	primary.hue1 = 10000;
	primary.flags = _hue_change_primary_flag;
	collection.hue_changes.push_back(primary);

	collection_bitmap_description body = plain_collection_bitmap("Body", 40, 60, _8bit);
	std::fill(body.pixels.begin(), body.pixels.end(), 1);
	body.pixels[5 * 40 + 5] = 0;
	collection.bitmaps.push_back(body);

	collection_bitmap_description solid = plain_collection_bitmap("Solid", 8, 8, _8bit);
	std::fill(solid.pixels.begin(), solid.pixels.end(), 2);
	collection.bitmaps.push_back(solid);

	collection_bitmap_description span = plain_collection_bitmap("Span", 10, 3, _8bit);
	span.flags = _bitmap_extended_encoding_flag | _1bit_transparency_encoded_flag | _word_aligned_encoding_flag;
	span.pixels.clear();
	append_row_span_row(&span, {2, 5, 9, 10}, {1, 2, 3, 3});
	append_row_span_row(&span, {0, 3}, {2, 2, 2});
	append_row_span_row(&span, {}, {});
	collection.bitmaps.push_back(span);

	collection_bitmap_description wide = plain_collection_bitmap("Wide", 4, 2, _16bit);
	for (size_t i = 0; i < wide.pixels.size(); i += 2)
	{
		const uint16 pixel = static_cast<uint16>(0x0300 + i);
		memcpy(&wide.pixels[i], &pixel, 2);
	}
	collection.bitmaps.push_back(wide);

	collection_bitmap_description stream = plain_collection_bitmap("Stream", 4, 2, _16bit);
	stream.flags = _bitmap_extended_encoding_flag | _no_row_address_table_flag;
	stream.encoding = _16bit_565_encoding;
	stream.pixels.assign(tiny_stream, tiny_stream + sizeof(tiny_stream));
	collection.bitmaps.push_back(stream);

	// Eight mirrored views: views 5..7 are made from 3..1.
	for (int16 v = 0; v < 8; ++v) collection.instances.push_back(tiny_instance(0, 10, 50, static_cast<int16>(30 - v), 20));
	// Five mirrored views over two frames.
	for (int16 i = 0; i < 10; ++i) collection.instances.push_back(tiny_instance(1, 4, 4, static_cast<int16>(i), 2));
	// One view of three frames.
	collection.instances.push_back(tiny_instance(_tiny_solid_bitmap, 0, 0, 0, 0));
	collection.instances.push_back(tiny_instance(_tiny_span_bitmap, 0, 0, 0, 0));
	collection.instances.push_back(tiny_instance(_tiny_wide_bitmap, 0, 0, 0, 0));

	collection.sequences.push_back(tiny_sequence("Eight Views", 8, 1, _sequence_uses_mirroring_flag, 0));
	collection.sequences.push_back(tiny_sequence("Five", 5, 2,
		_sequence_uses_mirroring_flag | _sequence_has_no_rotation_flag, 8));
	collection.sequences.push_back(tiny_sequence("Single", 1, 3, 0, 18));
	collection.sequences.push_back(tiny_sequence("Empty", 0, 0, 0, 0));

	shadow_map_data shadow;
	memset(&shadow, 0, sizeof(shadow));
	shadow.bitmap_index = _tiny_solid_bitmap;
	collection.shadow_maps.push_back(shadow);
	return collection;
}

int16 error_code(void)
{
	return get_error_code();
}

class shapes_fixture : public shapes_test_directory
{
protected:
	int16 load(const collection_description &collection, file_tag tag = TINY_TAG, int16 version = 4)
	{
		if (make_collection_tag(tag, tag_to_string(tag), collection, version) == NONE) return NONE;
		return get_collection_index(tag);
	}

	// Loads the tag data as given; for damaged tags.
	int16 load_bytes(const std::string &data, file_tag tag = TINY_TAG, int16 version = 4)
	{
		if (tag_file_new_with_subgroup_tag(COLLECTION_GROUP_TAG, tag_to_string(tag), tag, version, data.data(),
			static_cast<int32>(data.size())) == NONE)
		{
			return NONE;
		}
		return get_collection_index(tag);
	}
};

class ShapesLoading : public shapes_fixture {};
class ShapesDerivedData : public shapes_fixture {};
class ShapesLookups : public shapes_fixture {};
class ShapesCorruption : public shapes_fixture {};
class PreloadWriter : public shapes_fixture {};

void put_int32(std::string *data, size_t offset, int32 value)
{
	for (int32 i = 0; i < 4; ++i) (*data)[offset + i] = static_cast<char>(static_cast<uint32>(value) >> (24 - 8 * i));
}

void put_int16(std::string *data, size_t offset, int16 value)
{
	(*data)[offset] = static_cast<char>(static_cast<uint16>(value) >> 8);
	(*data)[offset + 1] = static_cast<char>(value & 0xFF);
}
}

/* ---------- loading */

TEST_F(ShapesLoading, a_built_collection_loads_to_known_values)
{
	const uint32 draws = zerv_random_draw_count();
	const int16 collection = load(tiny_collection());
	ASSERT_NE(collection, NONE) << error_text();
	EXPECT_EQ(zerv_random_draw_count(), draws);

	EXPECT_EQ(get_collection_bitmap_count(collection), NUMBER_OF_TINY_BITMAPS);
	EXPECT_EQ(get_collection_sequence_count(collection), NUMBER_OF_TINY_SEQUENCES);
	EXPECT_STREQ(get_sequence_name(collection, 0), "eight views");
	EXPECT_STREQ(get_bitmap_reference(collection, _tiny_body_bitmap)->name, "body");
	EXPECT_TRUE(get_collection_header(collection)->flags & _collection_header_initialized_flag);

	// Colour 0 of a sprite collection is black; the others are as stored.
	const color_table *colors = get_color_table(collection, 0);
	ASSERT_NE(colors, nullptr);
	EXPECT_EQ(colors->color_count, 4);
	EXPECT_EQ(colors->colors[0].red, 0);
	EXPECT_EQ(colors->colors[0].green, 0);
	EXPECT_EQ(colors->colors[1].red, 65535);

	const bitmap_data *body = get_bitmap(collection, _tiny_body_bitmap);
	ASSERT_NE(body, nullptr);
	EXPECT_EQ(body->width, 40);
	EXPECT_EQ(body->height, 60);
	EXPECT_EQ(body->row_addresses[5][5], 0);
	EXPECT_EQ(body->row_addresses[59][39], 1);

	// Row-span rows (16, 12 under the word flag, 4 bytes) are found by the row table.
	const bitmap_data *span = get_bitmap(collection, _tiny_span_bitmap);
	ASSERT_NE(span, nullptr);
	EXPECT_EQ(span->row_addresses[1] - span->row_addresses[0], 16);
	EXPECT_EQ(span->row_addresses[2] - span->row_addresses[1], 12);
	int16 counts[2];
	memcpy(counts, span->row_addresses[1], sizeof(counts));
	EXPECT_EQ(counts[0], 1);
	EXPECT_EQ(counts[1], 3);

	// 16-bit pixels come out in native order.
	const bitmap_data *wide = get_bitmap(collection, _tiny_wide_bitmap);
	ASSERT_NE(wide, nullptr);
	uint16 pixel;
	memcpy(&pixel, wide->row_addresses[1] + 2, sizeof(pixel));
	EXPECT_EQ(pixel, 0x0300 + 10);

	// The run-length stream is left as it is, without a row table.
	const bitmap_data *stream = get_bitmap(collection, _tiny_stream_bitmap);
	ASSERT_NE(stream, nullptr);
	EXPECT_TRUE(stream->flags & _no_row_address_table_flag);
	EXPECT_EQ(memcmp(stream->row_addresses[0], tiny_stream, sizeof(tiny_stream)), 0);

	// Lookups of a loaded collection are the same index; the shadow map is swapped.
	EXPECT_EQ(get_collection_index(TINY_TAG), collection);
	EXPECT_EQ(get_shadow_map(collection, 0)->bitmap_index, _tiny_solid_bitmap);
	EXPECT_EQ(error_code(), _error_none) << error_text();
}

TEST_F(ShapesLoading, versions_and_limits)
{
	// Version 1 loads; 2 is refused; 3 only as a colour map.
	EXPECT_NE(load(tiny_collection(), TAG("ver1"), 1), NONE);
	EXPECT_EQ(load(tiny_collection(), TAG("ver2"), 2), NONE);
	EXPECT_EQ(load(tiny_collection(), TAG("ver3"), 3), NONE);
	collection_description color_map = tiny_collection();
	color_map.user_data_flags |= _collection_is_color_map_flag;
	const int16 map = load(color_map, TAG("map3"), 3);
	ASSERT_NE(map, NONE);
	// A colour map keeps its colour 0.
	EXPECT_EQ(get_color_table(map, 0)->colors[0].red, 65535);

	// 256 sequences load; 257 are refused with the limit.
	collection_description many = tiny_collection();
	while (many.sequences.size() < 256) many.sequences.push_back(tiny_sequence("more", 1, 1, 0, 18));
	EXPECT_NE(load(many, TAG("s256")), NONE) << error_text();
	many.sequences.push_back(tiny_sequence("more", 1, 1, 0, 18));
	clear_errors();
	EXPECT_EQ(load(many, TAG("s257")), NONE);
	EXPECT_NE(log_text().find("sequence count (257) exceeds MAXIMUM_SEQUENCES_PER_COLLECTION (256) for \"s257\" collection"),
		std::string::npos);

	// 16384 bitmaps load; 16385 are refused.
	collection_description bitmaps = tiny_collection();
	while (bitmaps.bitmaps.size() < MAXIMUM_BITMAPS_PER_COLLECTION)
	{
		bitmaps.bitmaps.push_back(plain_collection_bitmap("dot", 1, 1, _8bit));
	}
	EXPECT_NE(load(bitmaps, TAG("b16k")), NONE) << error_text();
	bitmaps.bitmaps.push_back(plain_collection_bitmap("dot", 1, 1, _8bit));
	clear_errors();
	EXPECT_EQ(load(bitmaps, TAG("b16+")), NONE);
	EXPECT_EQ(error_code(), _error_out_of_bounds);
	EXPECT_NE(log_text().find("bitmap count (16385) exceeds MAXIMUM_BITMAPS_PER_COLLECTION (16384) for \"b16+\" collection"),
		std::string::npos);
}

TEST_F(ShapesLoading, only_the_first_eight_hue_changes_count)
{
	collection_description collection = tiny_collection();
	while (collection.hue_changes.size() < 9) collection.hue_changes.push_back(collection.hue_changes[0]);
	const int16 index = load(collection);
	ASSERT_NE(index, NONE) << error_text();
	int16 count = 0;
	EXPECT_NE(get_collection_hue_changes(index, &count), nullptr);
	EXPECT_EQ(count, MAXIMUM_HUE_CHANGES_PER_COLLECTION);
	EXPECT_EQ(get_collection_header(index)->hue_change_count, 9);
}

TEST_F(ShapesLoading, run_length_streams_must_be_complete)
{
	collection_description exact = tiny_collection();
	EXPECT_NE(load(exact, TAG("rle0")), NONE);

	// An overrun of the last run is cut.
	collection_description overrun = tiny_collection();
	overrun.bitmaps[_tiny_stream_bitmap].pixels[5] = 5;
	overrun.bitmaps[_tiny_stream_bitmap].pixels.insert(overrun.bitmaps[_tiny_stream_bitmap].pixels.end(), {13, 14, 15});
	EXPECT_NE(load(overrun, TAG("rle1")), NONE) << error_text();

	// One byte short is refused.
	collection_description shorter = tiny_collection();
	shorter.bitmaps[_tiny_stream_bitmap].pixels.pop_back();
	clear_errors();
	EXPECT_EQ(load(shorter, TAG("rle2")), NONE);
	EXPECT_EQ(error_code(), _error_data_corrupted);
	EXPECT_NE(log_text().find("run-length stream of bitmap #4 in \"rle2\" collection is corrupt"), std::string::npos);
}

TEST_F(ShapesLoading, deleting_frees_every_collection)
{
	const int16 first = load(tiny_collection(), TAG("one "));
	const int16 second = load(tiny_collection(), TAG("two "));
	ASSERT_NE(first, NONE);
	ASSERT_NE(second, NONE);
	ASSERT_NE(get_shading_table(first, 0, 0), nullptr);

	// The older one is not the newest definition; it is freed all the same (LSan).
	delete_collection(first);
	EXPECT_EQ(get_bitmap(first, 0), nullptr);
	EXPECT_EQ(get_sequence(first, 0), nullptr);
	EXPECT_NE(get_bitmap(second, 0), nullptr);
	delete_collection(second);
	EXPECT_EQ(get_bitmap(second, 0), nullptr);
	EXPECT_EQ(get_collection_header(second), nullptr);
}

/* ---------- derived data */

TEST_F(ShapesDerivedData, bounds_mirrors_and_key_points)
{
	const int16 collection = load(tiny_collection());
	ASSERT_NE(collection, NONE) << error_text();

	// s = 1.0 x 10: a 40 x 60 bitmap registered at (10, 50).
	const bitmap_instance_data *front = get_bitmap_instance(collection, 0);
	EXPECT_EQ(front->world_top, 500);
	EXPECT_EQ(front->world_bottom, -100);
	EXPECT_EQ(front->world_left, -100);
	EXPECT_EQ(front->world_right, 300);

	// Views 5, 6, 7 of eight are views 3, 2, 1 mirrored.
	const bitmap_instance_data *seventh = get_bitmap_instance(collection, 7);
	EXPECT_EQ(seventh->world_left, -300);
	EXPECT_EQ(seventh->world_right, 100);
	EXPECT_EQ(seventh->key_point.x, 40 - 29);
	EXPECT_TRUE(seventh->flags & _bitmap_instance_mirror_horizontal_flag);
	EXPECT_EQ(get_bitmap_instance(collection, 5)->key_point.x, 40 - 27);
	EXPECT_EQ(get_bitmap_instance(collection, 6)->key_point.x, 40 - 28);
	EXPECT_FALSE(get_bitmap_instance(collection, 4)->flags & _bitmap_instance_mirror_horizontal_flag);

	// Five views: 3 and 4 copy 2 and 1 (instances 8..12 of frame 0).
	EXPECT_EQ(get_bitmap_instance(collection, 11)->key_point.x, 8 - 2);
	EXPECT_EQ(get_bitmap_instance(collection, 12)->key_point.x, 8 - 1);
	// Mirroring wins over no rotation.
	EXPECT_FALSE(get_sequence(collection, _tiny_five_views_sequence)->flags & _sequence_has_no_rotation_flag);

	// World sizes: 0.5, 2 and 3 world units.
	const sequence_data *sequence = get_sequence(collection, 0);
	EXPECT_EQ(sequence->world_radius, 0);
	EXPECT_EQ(sequence->world_height0, 20);
	EXPECT_EQ(sequence->world_height1, 30);

	// Frame key point: y from view 0's dx (20 x 10), half span of the dx,
	// mean of dy (-30 x 10) negated.
	const sequence_frame_data *frame = get_sequence_frame(NULL, collection, 0, 0);
	ASSERT_NE(frame, nullptr);
	EXPECT_EQ(frame->key_point.y, 200);
	EXPECT_EQ(frame->key_point.z, 300);
	// The half span (95) is shorter than y: the root of a negative is taken as 0.
	EXPECT_EQ(frame->key_point.x, 0);

	// Toggling high resolution twice rebuilds to the same values.
	const bitmap_instance_data before = *seventh;
	const sequence_frame_data frame_before = *frame;
	toggle_highres_sprites();
	toggle_highres_sprites();
	EXPECT_EQ(memcmp(&before, seventh, sizeof(before)), 0);
	EXPECT_EQ(memcmp(&frame_before, frame, sizeof(frame_before)), 0);
}

TEST_F(ShapesDerivedData, high_resolution_instances_and_the_old_mean)
{
	collection_description collection = tiny_collection();
	collection.instances[0].flags |= _bitmap_instance_highres_flag;
	collection.instances[0].highres_bitmap_index = _tiny_solid_bitmap;
	collection.instances[0].highres_pixels_to_world = 2 * FIXED_ONE;
	collection.instances[0].highres_registration_point = {4, 8};
	// A mean that wraps in 32 bits: s x sum of dy beyond 2^31.
	collection.sequences[_tiny_five_views_sequence].sequence.pixels_to_world = 400 * FIXED_ONE;
	for (int32 i = 8; i < 13; ++i) collection.instances[static_cast<size_t>(i)].key_point.y = 1000;

	game_play_version = 1709;
	const int16 old_rules = load(collection, TAG("1709"));
	ASSERT_NE(old_rules, NONE) << error_text();
	const int16 old_mean = get_sequence_frame(NULL, old_rules, _tiny_five_views_sequence, 0)->key_point.z;
	game_play_version = 1710;
	const int16 new_rules = load(collection, TAG("1710"));
	ASSERT_NE(new_rules, NONE);
	const int16 new_mean = get_sequence_frame(NULL, new_rules, _tiny_five_views_sequence, 0)->key_point.z;
	// s x (sum of dy) passes 2^32: 64 bits keep it, 32 bits wrap, before the division by 5 views.
	const int64 s = 400LL * FIXED_ONE * 10;
	const int64 sum = 5 * (1000 - 4);
	EXPECT_EQ(new_mean, static_cast<int16>(-(((s * sum) / 5) >> 16)));
	EXPECT_EQ(old_mean, static_cast<int16>(-((static_cast<int32>(static_cast<uint32>(s) * static_cast<uint32>(sum)) / 5) >> 16)));
	EXPECT_NE(new_mean, old_mean);

	// High resolution takes the other bitmap, scale and point.
	bitmap_instance_data *instance = get_bitmap_instance(new_rules, 0);
	EXPECT_EQ(instance->bitmap_index, _tiny_body_bitmap);
	toggle_highres_sprites();
	EXPECT_EQ(instance->bitmap_index, _tiny_solid_bitmap);
	EXPECT_EQ(instance->world_top, 16);
	EXPECT_EQ(instance->world_left, -8);
	toggle_highres_sprites();
	EXPECT_EQ(instance->bitmap_index, _tiny_body_bitmap);
	EXPECT_EQ(instance->world_top, 500);
}

TEST_F(ShapesDerivedData, extreme_scales_keep_64_bits)
{
	// The largest scale with key points 65535 pixels off: the half span's
	// square and 7000 views' sum of offsets pass 64 bits unless taken apart (UBSan).
	collection_description collection = tiny_collection();
	const int16 near_instance = static_cast<int16>(collection.instances.size());
	collection.instances.push_back(tiny_instance(_tiny_solid_bitmap, 0, 0, 0, 0));
	const int16 far_instance = static_cast<int16>(collection.instances.size());
	collection.instances.push_back(tiny_instance(_tiny_solid_bitmap, -32768, -32768, 32767, 32767));
	collection_sequence_description span = tiny_sequence("span", 2, 1, 0, 0);
	span.sequence.pixels_to_world = INT32_MAX;
	span.instance_indexes = {near_instance, far_instance};
	collection.sequences.push_back(span);
	collection_sequence_description crowd = tiny_sequence("crowd", 7000, 1, 0, 0);
	crowd.sequence.pixels_to_world = INT32_MAX;
	crowd.instance_indexes.assign(7000, far_instance);
	collection.sequences.push_back(crowd);

	const int16 index = load(collection);
	ASSERT_NE(index, NONE) << error_text();
	const int64 s = static_cast<int64>(INT32_MAX) * 10;
	const sequence_frame_data *spread = get_sequence_frame(NULL, index, NUMBER_OF_TINY_SEQUENCES, 0);
	ASSERT_NE(spread, nullptr);
	// x = the root of the square pinned to 2^32 - 1, kept in 16 bits.
	EXPECT_EQ(spread->key_point.x, static_cast<int16>(isqrt(UINT32_MAX)));
	EXPECT_EQ(spread->key_point.y, 0);
	const sequence_frame_data *crowded = get_sequence_frame(NULL, index, NUMBER_OF_TINY_SEQUENCES + 1, 0);
	ASSERT_NE(crowded, nullptr);
	EXPECT_EQ(crowded->key_point.z, static_cast<int16>(-((s * 65535) >> 16)));
	EXPECT_EQ(crowded->key_point.x, 0);
}

/* ---------- lookups */

TEST_F(ShapesLookups, sequences_views_and_frames)
{
	const int16 collection = load(tiny_collection());
	ASSERT_NE(collection, NONE) << error_text();

	// View -1 numbers every bitmap: F x V + 1 wraps to view 0, frame 1.
	point2d registration, key;
	EXPECT_EQ(get_sequence_bitmap_index(collection, _tiny_five_views_sequence, NONE, 2 * 5 + 1, &registration, &key), 1);
	EXPECT_EQ(key.x, 5);
	EXPECT_EQ(get_sequence_bitmap_index(collection, _tiny_single_view_sequence, 0, 2, NULL, NULL), _tiny_wide_bitmap);
	EXPECT_EQ(get_sequence_bitmap_index(collection, _tiny_single_view_sequence, 0, -1, NULL, NULL), NONE);
	EXPECT_EQ(get_sequence_bitmap_index(collection, _tiny_empty_sequence, 0, 0, NULL, NULL), NONE);
	EXPECT_EQ(get_sequence_bitmap_index(NONE, 0, 0, 0, NULL, NULL), NONE);
	EXPECT_EQ(count_sequence_bitmaps(collection, _tiny_five_views_sequence, _count_sequence_bitmaps), 10);
	EXPECT_EQ(count_sequence_bitmaps(collection, _tiny_five_views_sequence, _count_sequence_frames), 2);
	EXPECT_EQ(count_sequence_bitmaps(collection, _tiny_five_views_sequence, _count_sequence_views), 5);
	EXPECT_EQ(count_sequence_bitmaps(collection, _tiny_five_views_sequence, 3), 0);

	// Frames outside the sequence give frame 0; a sequence without frames none.
	sequence_data *five = get_sequence(collection, _tiny_five_views_sequence);
	EXPECT_EQ(get_sequence_frame(five, collection, 1, 7), get_sequence_frame(five, collection, 1, 0));
	EXPECT_EQ(reinterpret_cast<uint8 *>(get_sequence_frame(five, collection, 1, 1)) - reinterpret_cast<uint8 *>(five),
		64 + 56);
	EXPECT_EQ(get_sequence_frame(NULL, collection, _tiny_empty_sequence, 0), nullptr);

	// Plain getters fall back to sequence 0; verification reports.
	EXPECT_EQ(get_sequence(collection, 99), get_sequence(collection, 0));
	EXPECT_TRUE(verify_sequence_index(collection, NONE));
	EXPECT_FALSE(verify_sequence_index(NONE, 0));
	clear_errors();
	EXPECT_FALSE(verify_sequence_index(collection, 4));
	EXPECT_NE(log_text().find("sequence #4 not in [#0,#4) for \"tiny\" collection"), std::string::npos);
	EXPECT_FALSE(verify_bitmap_index(collection, 5));
	EXPECT_NE(log_text().find("bitmap #5 not in [#0,#5) for \"tiny\" collection"), std::string::npos);
	EXPECT_EQ(get_sequence_bitmap_index(collection, 9, 0, 0, NULL, NULL), NONE);
	EXPECT_NE(log_text().find("sequence #9 not in [#0,#4) for \"tiny\" collection"), std::string::npos);

	// Out of range, or no collection: nothing.
	EXPECT_EQ(get_bitmap(collection, NUMBER_OF_TINY_BITMAPS), nullptr);
	EXPECT_EQ(get_bitmap(collection, -1), nullptr);
	EXPECT_EQ(get_bitmap_instance(collection, 200), nullptr);
	EXPECT_EQ(get_shadow_map(collection, 1), nullptr);
	EXPECT_EQ(get_bitmap(collection + 1, 0), nullptr);
	EXPECT_EQ(get_sequence(NONE, 0), nullptr);
	EXPECT_EQ(get_color_table(NONE, 0), nullptr);

	// Collision sizes are copied only between sequences that exist.
	equalize_sequence_collision_rectangles(collection, _tiny_single_view_sequence, 99);
	get_sequence(collection, _tiny_single_view_sequence)->radius = 5 * FIXED_ONE;
	equalize_sequence_collision_rectangles(collection, _tiny_single_view_sequence, _tiny_eight_views_sequence);
	EXPECT_EQ(get_sequence(collection, 0)->radius, 5 * FIXED_ONE);
}

TEST_F(ShapesLookups, kept_sequence_lists_follow_every_change)
{
	const int16 first = load(tiny_collection(), TAG("one "));
	const int16 second = load(tiny_collection(), TAG("two "));
	ASSERT_NE(first, NONE) << error_text();
	ASSERT_NE(second, NONE) << error_text();
	// The kept answer against the header's checks, asked twice so the first ask fills the list.
	auto agree = [&](const char *when)
	{
		for (int16 pass = 0; pass < 2; ++pass)
		{
			for (int16 c = -1; c <= second + 2; ++c)
			{
				for (int16 s = -2; s <= NUMBER_OF_TINY_SEQUENCES + 1; ++s)
				{
					sequence_data *kept = get_sequence(c, s);
					EXPECT_EQ(kept, get_sequence_checked(c, s)) << when << ": " << c << ", " << s;
				}
			}
		}
	};
	agree("loaded");
	ASSERT_NE(get_sequence(first, 1), nullptr);

	// Orphaned: still read by index.
	orphan_definition(get_collection_definitions(), second);
	agree("orphaned");
	EXPECT_NE(get_sequence(second, 1), nullptr);
	// Deleted below the newest: only marked, the side data stay, the lookup ends.
	delete_definition(get_collection_definitions(), first);
	EXPECT_EQ(get_sequence(first, 1), nullptr);
	agree("marked deleted");
	delete_collection(second);
	EXPECT_EQ(get_sequence(second, 1), nullptr);
	agree("deleted");

	const int16 again = load(tiny_collection(), TAG("thre"));
	ASSERT_NE(again, NONE) << error_text();
	EXPECT_NE(get_sequence(again, 1), nullptr);
	agree("loaded again");
}

TEST_F(ShapesLookups, names_colours_and_first_touch)
{
	const int16 collection = load(tiny_collection());
	ASSERT_NE(collection, NONE) << error_text();

	// Names compare folded; the caller's text is not touched.
	const char name[] = "FIVE";
	EXPECT_EQ(get_named_sequence_index(collection, name), _tiny_five_views_sequence);
	EXPECT_STREQ(name, "FIVE");
	EXPECT_EQ(get_named_bitmap_index(collection, "SpAn"), _tiny_span_bitmap);
	EXPECT_EQ(get_named_bitmap_index(collection, "spa"), NONE);

	// Colour of a sequence's first bitmap; white outside it.
	rgb_color color;
	get_rgb_color_from_sequence(collection, _tiny_single_view_sequence, 3, &color);
	EXPECT_EQ(color.green, 65535);
	EXPECT_EQ(color.red, 0);
	get_rgb_color_from_sequence(collection, _tiny_single_view_sequence, 8, &color);
	EXPECT_EQ(color.red, 65535);
	EXPECT_EQ(color.green, 65535);

	// First touch: get_bitmap keys 8-bit bitmaps holding index 0; others,
	// wide ones included, only get stamped. preload_bitmap scans encoding 0
	// (16-bit) bitmaps only, so an 8-bit one it touches first stays unkeyed.
	boolean purged = TRUE;
	preload_bitmap(collection, _tiny_body_bitmap, FALSE, &purged);
	EXPECT_FALSE(purged);
	const bitmap_data *body = get_bitmap(collection, _tiny_body_bitmap);
	EXPECT_FALSE(body->flags & _bitmap_color_key_transparency_flag);
	EXPECT_TRUE(body->flags & _bitmap_in_collection_flag);
	const int16 fresh = load(tiny_collection(), TAG("frsh"));
	ASSERT_NE(fresh, NONE);
	EXPECT_TRUE(get_bitmap(fresh, _tiny_body_bitmap)->flags & _bitmap_color_key_transparency_flag);
	EXPECT_EQ(body->bitmap_index, _tiny_body_bitmap);
	EXPECT_EQ(body->collection_index, collection);
	EXPECT_FALSE(get_bitmap(collection, _tiny_solid_bitmap)->flags & _bitmap_color_key_transparency_flag);
	const bitmap_data *wide = get_bitmap(collection, _tiny_wide_bitmap);
	EXPECT_FALSE(wide->flags & _bitmap_color_key_transparency_flag);
	EXPECT_TRUE(wide->flags & _bitmap_in_collection_flag);

	// Colour-map addresses only for colour maps; writing marks the bitmap changed.
	EXPECT_EQ(get_submesh_bitmap_base_address(collection, 0, FALSE), nullptr);
	collection_description color_map = tiny_collection();
	color_map.user_data_flags |= _collection_is_color_map_flag;
	const int16 map = load(color_map, TAG("cmap"));
	ASSERT_NE(map, NONE);
	EXPECT_EQ(get_submesh_bitmap_base_address(map, 1, TRUE), get_bitmap(map, 1)->row_addresses[0]);
	EXPECT_TRUE(get_bitmap(map, 1)->flags & _bitmap_changed_flag);
	EXPECT_EQ(get_submesh_bitmap_base_address(map, 9, FALSE), nullptr);

	EXPECT_NE(get_transparency_table(_transparency_normal), nullptr);
	EXPECT_EQ(get_transparency_table(2), nullptr);
	EXPECT_EQ(get_blend_table(collection), nullptr);
	EXPECT_EQ(get_shapes_bitmap_cache(), nullptr);
}

TEST_F(ShapesLookups, missing_sounds_are_reported_and_cleared)
{
	collection_description collection = tiny_collection();
	collection.sequences[0].sequence.sound_tags[1] = TAG("boom");
	collection.sequences[0].sequence.sound_indexes[0] = 77; // never taken from the file
	const int16 index = load(collection);
	ASSERT_NE(index, NONE);
	EXPECT_EQ(error_code(), _error_data_missing);
	EXPECT_NE(log_text().find("failed to load sequence sound tiny:eight views:'boom'"), std::string::npos);
	const sequence_data *sequence = get_sequence(index, 0);
	for (int32 i = 0; i < NUMBER_OF_SEQUENCE_SOUNDS; ++i) EXPECT_EQ(sequence->sound_indexes[i], NONE);

	get_shapes_test_hooks()->resolve_sequence_sound = [](file_tag) -> int16 { return 3; };
	collection.sequences[0].sequence.sound_tags[2] = TAG("bang");
	const int16 resolved = load(collection, TAG("snd2"));
	ASSERT_NE(resolved, NONE);
	EXPECT_EQ(get_sequence(resolved, 0)->sound_indexes[1], 3);
	EXPECT_EQ(get_sequence(resolved, 0)->sound_indexes[0], NONE);
}

TEST_F(ShapesLookups, shading_formats_follow_the_map)
{
	shapes_globals_data *globals = get_shapes_globals();
	ASSERT_NE(globals, nullptr);
	EXPECT_EQ(globals->bit_depth, 32);
	EXPECT_EQ(globals->lighting_shading_tables_size, 262144);
	dispose_shapes_from_old_map();

	get_shapes_test_hooks()->force_pixel_format = TRUE;
	get_shapes_test_hooks()->forced_bit_depth = 16;
	get_shapes_test_hooks()->forced_encoding = _16bit_565_encoding;
	initialize_shapes_for_new_map(FALSE);
	EXPECT_EQ(globals->shading_bits, 6);
	EXPECT_EQ(globals->shading_tables, 64);
	EXPECT_EQ(globals->shading_table_size, 512);
	EXPECT_EQ(globals->tinting_shading_tables_size, 4096);
	EXPECT_EQ(get_shapes_encoding(), _16bit_565_encoding);
	dispose_shapes_from_old_map();

	// A depth that is neither keeps what there was.
	get_shapes_test_hooks()->forced_bit_depth = 24;
	initialize_shapes_for_new_map(FALSE);
	EXPECT_EQ(globals->bit_depth, 16);
	get_shapes_test_hooks()->force_pixel_format = FALSE;
}

/* ---------- corruption */

namespace
{
struct damage
{
	const char *what;
	void (*apply)(std::string *data, const collection_layout &layout);
	int16 code;
	const char *line;
};

size_t block_at(const collection_layout &layout, int32 offset)
{
	return static_cast<size_t>(layout.data_offset + offset);
}

size_t section_record(const collection_layout &layout, int32 section, int32 index, int32 size, int32 field)
{
	return block_at(layout, layout.section_offsets[section] + index * size + field);
}

const damage damages[] =
{
	{"data offset", [](std::string *d, const collection_layout &) { put_int32(d, 248, -1); }, _error_out_of_bounds,
		"data offset #-1 not in [#0,"},
	{"data size", [](std::string *d, const collection_layout &) { put_int32(d, 252, 1 << 30); }, _error_out_of_bounds,
		"data size #1073741824 not in [#0,"},
	{"hue change count", [](std::string *d, const collection_layout &) { put_int32(d, 80, -1); }, _error_out_of_bounds,
		"hue change count #-1 not in [#0,"},
	{"bitmap offset misaligned", [](std::string *d, const collection_layout &) { put_int32(d, 100, 2); },
		_error_data_corrupted, "bitmap reference offset of \"tiny\" collection is corrupt"},
	{"sequence size", [](std::string *d, const collection_layout &) { put_int32(d, 136, -1); }, _error_out_of_bounds,
		"sequence reference size #-1 not in [#512,"},
	{"color count", [](std::string *d, const collection_layout &l)
		{ put_int32(d, section_record(l, _collection_section_color_tables, 0, 2080, 0), 257); },
		_error_out_of_bounds, "color count #257 not in [#0,#257)"},
	{"no color table", [](std::string *d, const collection_layout &) { put_int32(d, 64, 0); }, _error_out_of_bounds,
		"color table count #0 not in [#1,"},
	{"blend table too small", [](std::string *d, const collection_layout &) { put_int32(d, 160, 1); },
		_error_out_of_bounds, "blend table size #0 not in [#1,"},
	{"instance bitmap", [](std::string *d, const collection_layout &l)
		{ put_int16(d, section_record(l, _collection_section_bitmap_instances, 3, 64, 28), 5); },
		_error_out_of_bounds, "bitmap #5 not in [#-1,#5) for \"tiny\" collection"},
	{"high-resolution bitmap", [](std::string *d, const collection_layout &l)
		{ put_int16(d, section_record(l, _collection_section_bitmap_instances, 3, 64, 30), -2); },
		_error_out_of_bounds, "high-resolution bitmap #-2 not in [#-1,#5)"},
	{"shadow bitmap", [](std::string *d, const collection_layout &l)
		{ put_int16(d, section_record(l, _collection_section_shadow_maps, 0, 32, 12), 9); },
		_error_out_of_bounds, "shadow bitmap #9 not in [#-1,#5)"},
	{"sequence offset", [](std::string *d, const collection_layout &l)
		{ put_int32(d, section_record(l, _collection_section_sequence_references, 1, 128, 64), -1); },
		_error_data_corrupted, "sequence #1 in \"tiny\" collection has a bad offset or size"},
	{"sequence overlap", [](std::string *d, const collection_layout &l)
		{ put_int32(d, section_record(l, _collection_section_sequence_references, 1, 128, 64), l.sequence_offsets[0]); },
		_error_data_corrupted, "in \"tiny\" collection has an overlapping offset"},
	{"views", [](std::string *d, const collection_layout &l)
		{ put_int16(d, block_at(l, l.sequence_offsets[2] + 8), 0); },
		_error_data_corrupted, "sequence #2 in \"tiny\" collection has frames but no views"},
	{"frames", [](std::string *d, const collection_layout &l)
		{ put_int16(d, block_at(l, l.sequence_offsets[2] + 10), -1); },
		_error_data_corrupted, "sequence #2 in \"tiny\" collection has a negative frame or view count"},
	{"too many frames", [](std::string *d, const collection_layout &l)
		{ put_int16(d, block_at(l, l.sequence_offsets[2] + 10), 4); },
		_error_data_corrupted, "sequence #2 in \"tiny\" collection has more frames than its size holds"},
	{"key frame", [](std::string *d, const collection_layout &l)
		{ put_int16(d, block_at(l, l.sequence_offsets[2] + 14), 3); },
		_error_data_corrupted, "sequence #2 in \"tiny\" collection has a key frame outside its frames"},
	{"loop frame", [](std::string *d, const collection_layout &l)
		{ put_int16(d, block_at(l, l.sequence_offsets[2] + 16), -2); },
		_error_data_corrupted, "sequence #2 in \"tiny\" collection has a loop frame outside its frames"},
	{"view instance", [](std::string *d, const collection_layout &l)
		{ put_int16(d, block_at(l, l.sequence_offsets[2] + 64 + 46), 21); },
		_error_out_of_bounds, "bitmap instance #21 not in [#0,#21)"},
	{"frame shadow map", [](std::string *d, const collection_layout &l)
		{ put_int16(d, block_at(l, l.sequence_offsets[2] + 64), 1); },
		_error_out_of_bounds, "shadow map #1 not in [#-1,#1)"},
	{"bitmap size", [](std::string *d, const collection_layout &l)
		{ put_int32(d, section_record(l, _collection_section_bitmap_references, 1, 128, 68), 51); },
		_error_data_corrupted, "size of bitmap #1 in \"tiny\" collection is corrupt"},
	{"bitmap overlap", [](std::string *d, const collection_layout &l)
		{ put_int32(d, section_record(l, _collection_section_bitmap_references, 3, 128, 64), l.bitmap_offsets[4]); },
		_error_data_corrupted, "offset of bitmap #4 in \"tiny\" collection is corrupt"},
	{"bitmap width", [](std::string *d, const collection_layout &l)
		{ put_int16(d, block_at(l, l.bitmap_offsets[1]), -1); },
		_error_data_corrupted, "width of bitmap #1 in \"tiny\" collection is corrupt"},
	{"bitmap depth", [](std::string *d, const collection_layout &l)
		{ put_int16(d, block_at(l, l.bitmap_offsets[1] + 8), 24); },
		_error_data_corrupted, "bit depth (24) of bitmap #1"},
	{"bitmap encoding", [](std::string *d, const collection_layout &l)
		{ put_int16(d, block_at(l, l.bitmap_offsets[1] + 16), 14); },
		_error_data_corrupted, "encoding (14) of bitmap #1"},
	{"bitmap rows", [](std::string *d, const collection_layout &l)
		{ put_int16(d, block_at(l, l.bitmap_offsets[1] + 2), 9); },
		_error_data_corrupted, "of bitmap #1 in \"tiny\" collection is corrupt"},
	{"span order", [](std::string *d, const collection_layout &l)
		{ put_int16(d, block_at(l, l.bitmap_offsets[2] + 60 + 8), 1); },
		_error_data_corrupted, "spans of row 0 of bitmap #2"},
	{"span pixel count", [](std::string *d, const collection_layout &l)
		{ put_int16(d, block_at(l, l.bitmap_offsets[2] + 60 + 2), 5); },
		_error_data_corrupted, "of bitmap #2 in \"tiny\" collection is corrupt"},
	{"stream flags", [](std::string *d, const collection_layout &l)
		{ put_int16(d, block_at(l, l.bitmap_offsets[4] + 6), _bitmap_extended_encoding_flag); },
		_error_data_corrupted, "of bitmap #4 in \"tiny\" collection is corrupt"},
};
}

TEST_F(ShapesCorruption, each_damaged_field_is_refused_with_its_line)
{
	collection_layout layout;
	const std::string good = collection_tag_data(tiny_collection(), &layout);
	ASSERT_NE(load_bytes(good, TAG("good")), NONE) << error_text();

	for (const damage &entry : damages)
	{
		SCOPED_TRACE(entry.what);
		std::string data = good;
		entry.apply(&data, layout);
		clear_errors();
		const std::string before = log_text();
		EXPECT_EQ(load_bytes(data), NONE);
		EXPECT_EQ(error_code(), entry.code) << error_text();
		const std::string added = log_text().substr(before.size());
		EXPECT_NE(added.find(entry.line), std::string::npos) << added;
	}

	// NONE is a key frame never reached and no loop frame.
	std::string data = good;
	put_int16(&data, block_at(layout, layout.sequence_offsets[2] + 14), -1);
	put_int16(&data, block_at(layout, layout.sequence_offsets[2] + 16), -1);
	clear_errors();
	EXPECT_NE(load_bytes(data, TAG("none")), NONE) << error_text();
}

TEST_F(ShapesCorruption, short_and_truncated_tags)
{
	const std::string good = collection_tag_data(tiny_collection());
	// Every prefix of the block is refused without a crash.
	for (size_t size = 0; size < good.size(); size += 97)
	{
		clear_errors();
		EXPECT_EQ(load_bytes(good.substr(0, size)), NONE) << size;
	}
	// Hostile run-time fields are ignored: the initialized flag and address slots.
	std::string data = good;
	put_int32(&data, 0, -1);
	put_int32(&data, 260, 0x12345678);
	const int16 collection = load_bytes(data, TAG("flag"));
	ASSERT_NE(collection, NONE) << error_text();
	EXPECT_EQ(get_bitmap_instance(collection, 0)->world_top, 500);
}

namespace
{
// Touches everything a loaded collection offers.
void walk_collection(int16 collection)
{
	for (int16 b = 0; b < get_collection_bitmap_count(collection); ++b)
	{
		bitmap_data *bitmap = get_bitmap(collection, b);
		if (!bitmap) continue;
		for (int32 y = 0; y < bitmap->height && !(bitmap->flags & _no_row_address_table_flag); ++y)
		{
			volatile uint8 first = bitmap->row_addresses[y][0];
			(void)first;
		}
	}
	for (int16 s = 0; s < get_collection_sequence_count(collection); ++s)
	{
		const int32 count = count_sequence_bitmaps(collection, s, _count_sequence_bitmaps);
		for (int32 n = 0; n < count; ++n) get_sequence_bitmap(collection, s, NONE, static_cast<int16>(n), NULL, NULL);
		preload_sequence_index(collection, s, NULL);
		rgb_color color;
		get_rgb_color_from_sequence(collection, s, 0, &color);
	}
	get_shading_table(collection, 0, 0);
}
}

TEST_F(ShapesCorruption, a_mutation_sweep_never_crashes)
{
	collection_layout layout;
	const std::string good = collection_tag_data(tiny_collection(), &layout);
	uint32 seed = 12345;
	int32 loaded = 0;
	for (int32 round = 0; round < 1500; ++round)
	{
		std::string data = good;
		const int32 changes = 1 + round % 3;
		for (int32 c = 0; c < changes; ++c)
		{
			seed = seed * 1103515245u + 12345u;
			const size_t position = (seed >> 8) % data.size();
			seed = seed * 1103515245u + 12345u;
			static const uint8 values[] = {0x00, 0xFF, 0x7F, 0x80, 0x01, 0x10};
			data[position] = static_cast<char>(values[(seed >> 16) % sizeof(values)]);
		}
		const file_tag tag = TAG("mut0") + static_cast<file_tag>(round % 2);
		const int16 collection = load_bytes(data, tag);
		if (collection != NONE)
		{
			loaded++;
			walk_collection(collection);
			delete_collection(collection);
		}
		clear_errors();
	}
	// Most damage falls on pixels and names, which load.
	EXPECT_GT(loaded, 500);
	EXPECT_LT(loaded, 1500);
}

/* ---------- writers */

TEST_F(PreloadWriter, a_bitmap_written_back_reloads_and_the_live_one_stays)
{
	const int16 collection = load(tiny_collection());
	ASSERT_NE(collection, NONE);
	bitmap_data *span = get_bitmap(collection, _tiny_span_bitmap);
	span->row_addresses[1][8] = 7;
	bitmap_data *wide = get_bitmap(collection, _tiny_wide_bitmap);
	const uint16 pixel = 0x1234;
	memcpy(wide->row_addresses[0], &pixel, sizeof(pixel));
	int16 counts[2];
	memcpy(counts, span->row_addresses[0], sizeof(counts));

	ASSERT_TRUE(write_bitmap_to_collection(collection, _tiny_span_bitmap, span));
	ASSERT_TRUE(write_bitmap_to_collection(collection, _tiny_wide_bitmap, wide));
	// The live bitmaps are still in native order.
	int16 after[2];
	memcpy(after, span->row_addresses[0], sizeof(after));
	EXPECT_EQ(after[0], counts[0]);
	uint16 live;
	memcpy(&live, wide->row_addresses[0], sizeof(live));
	EXPECT_EQ(live, pixel);

	// A differently laid out bitmap is refused.
	bitmap_data *body = get_bitmap(collection, _tiny_body_bitmap);
	EXPECT_FALSE(write_bitmap_to_collection(collection, _tiny_span_bitmap, body));

	// Loaded again, the written pixels are there.
	dispose_shapes_from_old_map();
	initialize_shapes_for_new_map(FALSE);
	const int16 again = get_collection_index(TINY_TAG);
	ASSERT_NE(again, NONE) << error_text();
	EXPECT_EQ(get_bitmap(again, _tiny_span_bitmap)->row_addresses[1][8], 7);
	memcpy(&live, get_bitmap(again, _tiny_wide_bitmap)->row_addresses[0], sizeof(live));
	EXPECT_EQ(live, pixel);
}

TEST_F(PreloadWriter, the_preload_list_header)
{
	// No 'prel' tag: nothing happens.
	report_preloaded_bitmaps(TAG("mesh"), TAG("none"));
	EXPECT_EQ(error_code(), _error_none);

	preload_definition definition;
	memset(&definition, 0, sizeof(definition));
	definition.preload_data_count = 2;
	definition.preload_data_offset = 32;
	definition.preload_data_size = 16;
	definition.bitmap_preload_data_count = 9;
	byte_swap_data("preload", &definition, sizeof(definition), 1, preload_definition_byte_swapping_data);
	std::string data(reinterpret_cast<const char *>(&definition), sizeof(definition));
	data += std::string(16, 'x');
	ASSERT_NE(tag_file_new_with_subgroup_tag(PRELOAD_DEFINITION_GROUP_TAG, "demo", TAG("demo"), 1, data.data(),
		static_cast<int32>(data.size())), NONE);

	report_preloaded_bitmaps(TAG("demo"), TAG("demo"));
	EXPECT_EQ(error_code(), _error_none) << error_text();
	const int32 handle = tag_file_open(PRELOAD_DEFINITION_GROUP_TAG, TAG("demo"));
	preload_definition written;
	ASSERT_TRUE(tag_file_read(handle, 0, sizeof(written), &written));
	byte_swap_data("preload", &written, sizeof(written), 1, preload_definition_byte_swapping_data);
	EXPECT_EQ(written.preload_data_count, 2);
	EXPECT_EQ(written.bitmap_preload_data_count, 0);
	EXPECT_EQ(written.bitmap_preload_data_offset, 48);
	EXPECT_EQ(written.bitmap_preload_data_size, 0);

	// An offset past the tag is refused and nothing is written.
	written.preload_data_offset = 40;
	byte_swap_data("preload", &written, sizeof(written), 1, preload_definition_byte_swapping_data);
	data.replace(0, sizeof(written), reinterpret_cast<const char *>(&written), sizeof(written));
	ASSERT_NE(tag_file_new_with_subgroup_tag(PRELOAD_DEFINITION_GROUP_TAG, "demo", TAG("demo"), 1, data.data(),
		static_cast<int32>(data.size())), NONE);
	clear_errors();
	report_preloaded_bitmaps(TAG("demo"), TAG("demo"));
	EXPECT_EQ(error_code(), _error_data_corrupted);
	std::string stored(data.size(), '\0');
	ASSERT_TRUE(tag_file_read(tag_file_open(PRELOAD_DEFINITION_GROUP_TAG, TAG("demo")), 0,
		static_cast<int32>(stored.size()), stored.data()));
	EXPECT_EQ(stored, data);
}

TEST_F(PreloadWriter, the_memory_dump)
{
	ASSERT_NE(load(tiny_collection()), NONE);
	debug_shapes_memory_usage(TAG("demo"));
	const std::string dump = read_test_file("shapes memory dump");
	const int32 size = get_collection_header(0)->data_size;
	char expected[256];
	snprintf(expected, sizeof(expected), "demo\n\n%50s % 2d % 8d\n%50s % 2d % 8d\n\n", "tiny", 0, size, "", 0, size);
	EXPECT_EQ(dump, expected);
}

/* ---------- the default set's collections */

namespace
{
class DefaultTagSetCollections : public shapes_fixture {};

uint64 digest_bytes(uint64 digest, const void *bytes, size_t size)
{
	const uint8 *p = static_cast<const uint8 *>(bytes);
	for (size_t i = 0; i < size; ++i)
	{
		digest ^= p[i];
		digest *= 1099511628211ull;
	}
	return digest;
}

// The tag bytes of every default collection and reference, and what loading derives from them.
uint64 default_collections_digest(void)
{
	uint64 digest = 14695981039346656037ull;
	for (int32 i = 0; i < number_of_default_collections; ++i)
	{
		const std::string data = collection_tag_data(default_collections[i].make());
		digest = digest_bytes(digest, data.data(), data.size());
		const int16 collection = get_collection_index(default_collections[i].subgroup_tag);
		for (int16 s = 0; s < get_collection_sequence_count(collection); ++s)
		{
			const sequence_data *sequence = get_sequence(collection, s);
			digest = digest_bytes(digest, &sequence->world_radius, 6);
			for (int16 f = 0; f < sequence->frames_per_view; ++f)
			{
				digest = digest_bytes(digest, &get_sequence_frame(NULL, collection, s, f)->key_point,
					sizeof(short_world_point3d));
			}
		}
		for (int16 n = 0; get_bitmap_instance(collection, n); ++n)
		{
			digest = digest_bytes(digest, get_bitmap_instance(collection, n), sizeof(bitmap_instance_data));
		}
	}
	for (int32 i = 0; i < number_of_default_collection_references; ++i)
	{
		const std::string data = collection_reference_tag_data(default_collection_references[i].make());
		digest = digest_bytes(digest, data.data(), data.size());
	}
	return digest;
}
}

TEST_F(DefaultTagSetCollections, every_collection_loads_with_every_kind)
{
	std::vector<int32> handles;
	ASSERT_TRUE(make_default_collection_tags(&handles));
	ASSERT_EQ(static_cast<int32>(handles.size()), number_of_default_collections + number_of_default_collection_references);
	for (int32 i = 0; i < number_of_default_collections; ++i)
	{
		EXPECT_NE(get_collection_index(default_collections[i].subgroup_tag), NONE) << default_collections[i].name;
	}
	for (int32 i = 0; i < number_of_default_collection_references; ++i)
	{
		EXPECT_NE(definition_tag_to_index(get_collection_reference_definitions(), default_collection_references[i].subgroup_tag),
			NONE) << default_collection_references[i].name;
	}
	EXPECT_EQ(error_code(), _error_none) << error_text();
	EXPECT_EQ(log_text().find("Error"), std::string::npos) << log_text();

	// Units: eight mirrored views in every sequence, row-span figures, narrow shadows, both hue changes.
	const int16 units = get_collection_index(DEFAULT_UNIT_COLLECTION_TAG);
	ASSERT_EQ(get_collection_sequence_count(units), NUMBER_OF_DEFAULT_UNIT_SEQUENCES);
	for (int16 s = 0; s < NUMBER_OF_DEFAULT_UNIT_SEQUENCES; ++s)
	{
		const sequence_data *sequence = get_sequence(units, s);
		EXPECT_EQ(sequence->number_of_views, 8);
		EXPECT_TRUE(sequence->flags & _sequence_uses_mirroring_flag);
		EXPECT_GT(sequence->world_radius, 0);
		EXPECT_LT(sequence->key_frame, sequence->frames_per_view);
		EXPECT_NE(get_sequence_bitmap(units, s, 7, 0, NULL, NULL), nullptr);
	}
	EXPECT_TRUE(get_bitmap(units, 1)->flags & _1bit_transparency_encoded_flag);
	EXPECT_LT(get_bitmap(units, get_shadow_map(units, 0)->bitmap_index)->width, 32);
	int16 hue_change_count = 0;
	const hue_change *changes = get_collection_hue_changes(units, &hue_change_count);
	ASSERT_EQ(hue_change_count, 2);
	for (int16 i = 0; i < 2; ++i)
	{
		bool any = false;
		for (uint8 byte : changes[i].colors_effected) any = any || byte;
		EXPECT_TRUE(any) << i;
	}

	// Effects: masked 16-bit pixels plain and in spans, an overlay and a spark in spans, a scorch and its shadow.
	const int16 effects = get_collection_index(DEFAULT_EFFECTS_COLLECTION_TAG);
	const bitmap_data *explosion = get_bitmap(effects, 1);
	const bitmap_data *explosion_spans = get_bitmap(effects, 2);
	EXPECT_TRUE(explosion->flags & _4bit_transparency_encoded_flag);
	EXPECT_EQ(explosion->logical_bit_depth, 16);
	EXPECT_TRUE(explosion_spans->flags & _1bit_transparency_encoded_flag);
	EXPECT_TRUE(get_bitmap(effects, 3)->flags & _bitmap_is_overlay_flag);
	EXPECT_TRUE(get_bitmap(effects, 3)->flags & _1bit_transparency_encoded_flag);
	EXPECT_EQ(get_bitmap(effects, 4)->flags & (_1bit_transparency_encoded_flag | _4bit_transparency_encoded_flag),
		_1bit_transparency_encoded_flag | _4bit_transparency_encoded_flag);
	EXPECT_EQ(get_bitmap(effects, 5)->width, get_bitmap(effects, 6)->width);
	EXPECT_EQ(get_sequence_frame(NULL, effects, _default_effects_scorch_sequence, 0)->shadow_map_index, 0);
	EXPECT_EQ(get_sequence(effects, _default_effects_arrow_sequence)->number_of_views, 1);

	// Scenery: row-span sprites (the software path draws no others), a tree with a high-resolution picture,
	// and the cottage's plain 64 x 64 texture.
	const int16 scenery = get_collection_index(DEFAULT_SCENERY_COLLECTION_TAG);
	const int16 thatch = get_sequence_bitmap_index(scenery, _default_scenery_thatch_sequence, 0, 0, NULL, NULL);
	ASSERT_NE(thatch, NONE);
	EXPECT_EQ(get_bitmap(scenery, thatch)->width, 64);
	EXPECT_EQ(get_bitmap(scenery, thatch)->height, 64);
	EXPECT_TRUE(get_bitmap(scenery, thatch)->flags & _power_of_two_flag);
	// Every other bitmap is a row-span sprite, but for the model and fence textures and the tree's shadow.
	std::vector<int16> plain = {get_shadow_map(scenery, 0)->bitmap_index};
	for (int16 sequence : {_default_scenery_thatch_sequence, _default_scenery_stone_sequence, _default_scenery_wall_sequence,
			 _default_scenery_fence_sequence})
	{
		const int16 texture = get_sequence_bitmap_index(scenery, sequence, 0, 0, NULL, NULL);
		EXPECT_TRUE(get_bitmap(scenery, texture)->flags & _power_of_two_flag) << sequence;
		plain.push_back(texture);
	}
	for (int16 bitmap = 0; bitmap < get_collection_bitmap_count(scenery); ++bitmap)
	{
		if (std::find(plain.begin(), plain.end(), bitmap) != plain.end()) continue;
		EXPECT_TRUE(get_bitmap(scenery, bitmap)->flags & _1bit_transparency_encoded_flag) << bitmap;
	}
	EXPECT_TRUE(get_bitmap_instance(scenery, 1)->flags & _bitmap_instance_highres_flag);
	EXPECT_EQ(get_sequence(scenery, _default_scenery_fire_sequence)->frames_per_view, 4);

	// The landscape: pairs of 256 x 256 maps and a full blend table.
	const int16 landscape = get_collection_index(DEFAULT_LANDSCAPE_COLLECTION_TAG);
	EXPECT_EQ(get_collection_bitmap_count(landscape), 8);
	EXPECT_EQ(get_bitmap(landscape, 7)->width, 256);
	EXPECT_NE(get_blend_table(landscape), nullptr);
	EXPECT_NE(get_remapping_table(landscape), nullptr);
	EXPECT_GE(get_collection_header(landscape)->blend_table_size, 65536);
	EXPECT_NE(get_submesh_bitmap_base_address(landscape, 0, FALSE), nullptr);

	// Dialog elements: the checkbox in sequence 1, encodings 4 and 2.
	const int16 elements = get_collection_index(DEFAULT_DIALOG_ELEMENTS_COLLECTION_TAG);
	EXPECT_EQ(get_sequence(elements, DEFAULT_DIALOG_CHECKBOX_SEQUENCE)->frames_per_view, 2);
	EXPECT_EQ(get_bitmap(elements, 0)->encoding, _8bit_encoding);
	EXPECT_EQ(get_bitmap(elements, 3)->encoding, _32bit_encoding);
}

TEST_F(DefaultTagSetCollections, the_badge_takes_team_hues_and_the_halo_stays_an_overlay)
{
	std::vector<int32> handles;
	ASSERT_TRUE(make_default_collection_tags(&handles));
	const int16 units = get_collection_index(DEFAULT_UNIT_COLLECTION_TAG);
	bitmap_data *badge = get_bitmap(units, static_cast<int16>(get_collection_bitmap_count(units) - 1));
	ASSERT_NE(badge, nullptr);
	ASSERT_EQ(badge->width, 16);
	ASSERT_EQ(badge->height, 16);
	ASSERT_TRUE(badge->flags & _bitmap_extended_encoding_flag);

	// Green for the primary change, red for the secondary.
	const rgb_color team[2] = {{4000, 50000, 6000, 0}, {52000, 8000, 4000, 0}};
	const int16 table = add_shading_table_to_collection_index(units, team, _add_shading_table_for_tinting,
		static_cast<short_fixed>(0), NULL);
	ASSERT_NE(table, NONE);
	const shading_table_header *header = get_shading_table_header(units, table);
	ASSERT_EQ(header->hue_change_count, 2);
	std::vector<uint8> tinted(16 * 16 * 4), stored(16 * 16 * 4);
	decompress_run_length_pixels(badge, header, tinted.data(), 64);
	decompress_run_length_pixels(badge, nullptr, stored.data(), 64);
	auto at = [](const std::vector<uint8> &pixels, int32 x, int32 y) { return &pixels[static_cast<size_t>(y * 16 + x) * 4]; };
	// Bytes blue, green, red, alpha. The rim (hue 1) is stored red and turns green.
	const uint8 *rim = at(stored, 13, 8), *rim_tinted = at(tinted, 13, 8);
	EXPECT_GT(rim[2], rim[1]);
	EXPECT_GT(rim_tinted[1], rim_tinted[2]);
	EXPECT_EQ(rim_tinted[3], 255);
	// The field (hue 2) is stored blue and turns red.
	const uint8 *field = at(stored, 10, 8), *field_tinted = at(tinted, 10, 8);
	EXPECT_GT(field[0], field[2]);
	EXPECT_GT(field_tinted[2], field_tinted[0]);
	// The boss (hue 3, beyond the two changes) and the outline (hue 0) stay as stored.
	EXPECT_EQ(memcmp(at(tinted, 8, 8), at(stored, 8, 8), 4), 0);
	EXPECT_GT(at(stored, 8, 8)[0], 200);
	EXPECT_EQ(memcmp(at(tinted, 15, 8), at(stored, 15, 8), 4), 0);
	EXPECT_EQ(at(stored, 0, 0)[3], 0);

	// The halo keeps its overlay flag through the texture cache: alpha from brightness.
	const int16 effects = get_collection_index(DEFAULT_EFFECTS_COLLECTION_TAG);
	char halo_name[] = "halo";
	const int16 halo_index = get_named_bitmap_index(effects, halo_name);
	ASSERT_NE(halo_index, NONE);
	bitmap_data *halo = get_bitmap(effects, halo_index);
	ASSERT_EQ(halo->width, 24);
	ASSERT_EQ(halo->height, 12);
	initialize_texture_cache_for_new_map(nullptr, TRUE, FALSE, FALSE, 1 << 20,
		[](void *, bitmap_data *, cached_texture_data *) -> void * { return reinterpret_cast<void *>(1); }, nullptr,
		nullptr);
	cached_texture_descriptor descriptor = {0, halo, get_shading_table_header(effects, 0), get_shading_table(effects, 0, 0), 0};
	cached_texture_data *texture = texture_cache_lookup(&descriptor);
	ASSERT_NE(texture, nullptr);
	EXPECT_EQ(texture->encoding, _32bit_argb_8888_texture_encoding);
	EXPECT_TRUE(halo->flags & _bitmap_is_overlay_flag);
	const uint32 middle = reinterpret_cast<const uint32 *>(cache_singleton->conversion_scratch.data())[6 * 24 + 12];
	const rgb_color &color = get_color_table(effects, 0)->colors[halo->row_addresses[6][12]];
	EXPECT_EQ(middle >> 24, static_cast<uint32>(MAX(color.red, MAX(color.green, color.blue)) >> 8));
	EXPECT_LT(middle >> 24, 255u);
	dispose_texture_cache_from_old_map();
}

TEST_F(DefaultTagSetCollections, ShapesDeterminism)
{
	std::vector<int32> handles;
	ASSERT_TRUE(make_default_collection_tags(&handles));
	// The same bytes and the same derived data on every run and build.
	const uint64 digest = default_collections_digest();
	EXPECT_EQ(digest, default_collections_digest());
	EXPECT_EQ(digest, 0x46057a23605c8a61ull) << std::hex << digest;
}
