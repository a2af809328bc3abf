// Sequence bitmaps placed in frames and the nine-piece tiling of rectangles.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <utility>

#include "bitmap_drawing.h"
#include "collections_content.h"
#include "shapes_test_support.h"

namespace
{
#define PIECES_TAG TAG("pcs9")

// Nine 8-bit pieces (centre 4 x 4, corners 3 x 3, bevels 2 x 3 or 3 x 2, the
// right bevel 0 wide), each of colour index piece + 1, as one nine-frame
// sequence.
collection_description pieces_collection(void)
{
	collection_description collection;
	collection.user_data_flags = _collection_can_be_used_for_interface_flag;
	memset(&collection.colors, 0, sizeof(collection.colors));
	collection.colors.color_count = 16;
	for (int i = 1; i < 16; ++i) collection.colors.colors[i] = {static_cast<uint16>(i * 4096), 0, 0, 0};
	const int16 sizes[9][2] = {{4, 4}, {3, 3}, {3, 3}, {3, 3}, {3, 3}, {2, 3}, {3, 2}, {2, 3}, {0, 2}};
	for (int p = 0; p < 9; ++p)
	{
		collection_bitmap_description piece = plain_collection_bitmap("piece", sizes[p][0], sizes[p][1], _8bit);
		for (uint8 &pixel : piece.pixels) pixel = static_cast<uint8>(p + 1);
		collection.bitmaps.push_back(piece);
		bitmap_instance_data instance;
		memset(&instance, 0, sizeof(instance));
		instance.bitmap_index = static_cast<int16>(p);
		instance.highres_bitmap_index = NONE;
		collection.instances.push_back(instance);
	}
	collection_sequence_description sequence;
	sequence.name = "pieces";
	memset(&sequence.sequence, 0, sizeof(sequence.sequence));
	sequence.sequence.pixels_to_world = FIXED_ONE;
	sequence.sequence.number_of_views = 1;
	sequence.sequence.frames_per_view = 9;
	sequence.sequence.ticks_per_frame = 1;
	for (int32 i = 0; i < NUMBER_OF_SEQUENCE_SOUNDS; ++i) sequence.sequence.sound_tags[i] = static_cast<file_tag>(NONE);
	for (int16 f = 0; f < 9; ++f)
	{
		sequence.shadow_map_indexes.push_back(NONE);
		sequence.instance_indexes.push_back(f);
	}
	collection.sequences.push_back(sequence);
	return collection;
}

struct bitmap_deleter
{
	void operator()(bitmap_data *bitmap) const { dispose_pointer(bitmap); }
};

// The piece (colour index) at each pixel: red's top nibble.
int piece_at(const bitmap_data *bitmap, int x, int y)
{
	uint32 value;
	memcpy(&value, bitmap_row_address(bitmap, y) + 4 * x, 4);
	return static_cast<int>((value >> 20) & 0xF);
}
}

class bitmap_drawing_sequences : public shapes_test_directory
{
protected:
	void SetUp() override
	{
		shapes_test_directory::SetUp();
		ASSERT_NE(make_collection_tag(PIECES_TAG, "pieces", pieces_collection()), NONE);
		collection = get_collection_index(PIECES_TAG);
		ASSERT_NE(collection, NONE);
	}
	int16 collection = NONE;
};

TEST_F(bitmap_drawing_sequences, justification_and_returned_bounds)
{
	std::unique_ptr<bitmap_data, bitmap_deleter> b(new_bitmap(20, 20, 80, _32bit_encoding, 0));
	rectangle2d frame;
	set_rectangle2d(&frame, 2, 2, 12, 12);
	const uint32 both = _draw_bitmap_left_justified_flag | _draw_bitmap_right_justified_flag |
		_draw_bitmap_top_justified_flag | _draw_bitmap_bottom_justified_flag | _draw_bitmap_return_adjusted_bounds_flag;
	draw_bitmap_from_sequence(b.get(), collection, 0, 0, 0, &frame, NULL, NULL, 0, 0, both, 1);
	// Right wins over left, top over bottom: (12 - 4 - 1, 2 + 1).
	EXPECT_EQ(frame.left, 7);
	EXPECT_EQ(frame.top, 3);
	EXPECT_EQ(frame.right, 11);
	EXPECT_EQ(frame.bottom, 7);
	EXPECT_EQ(piece_at(b.get(), 7, 3), 1);
	EXPECT_EQ(piece_at(b.get(), 6, 3), 0);

	// Centred, then moved by half the size less the registration point.
	set_rectangle2d(&frame, 0, 0, 11, 11);
	draw_bitmap_from_sequence(b.get(), collection, 0, 0, 0, &frame, NULL, NULL, 0, 0,
		_draw_bitmap_respect_registration_point_flag | _draw_bitmap_return_adjusted_bounds_flag, 0);
	point2d registration = {0, 0};
	ASSERT_NE(get_sequence_bitmap(collection, 0, 0, 0, &registration, NULL), nullptr);
	EXPECT_EQ(frame.left, 0 - 2 + 5 + 2 - registration.x);
	EXPECT_EQ(frame.top, 0 - 2 + 5 + 2 - registration.y);

	// A 16-bit destination cannot use the 32-bit temporary table.
	std::unique_ptr<bitmap_data, bitmap_deleter> narrow(new_bitmap(8, 8, 16, _16bit_565_encoding, 0));
	set_rectangle2d(&frame, 0, 0, 8, 8);
	draw_bitmap_from_sequence(narrow.get(), collection, 0, 0, 0, &frame, NULL, NULL, 0, 0, 0, 0);
	uint16 pixel;
	memcpy(&pixel, narrow->row_addresses[4], 2);
	EXPECT_EQ(pixel, 0);
}

TEST_F(bitmap_drawing_sequences, tiling_bevels_stop_at_their_corners)
{
	std::unique_ptr<bitmap_data, bitmap_deleter> b(new_bitmap(12, 10, 48, _32bit_encoding, 0));
	rectangle2d bounds;
	set_rectangle2d(&bounds, 0, 0, 12, 10);
	// Centre, bevels, then corners: the bevels drawn after the corners are
	// limited by them only when the corners come first.
	const int16 order[] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
	tile_and_bevel_rectangle(b.get(), collection, 0, 0, &bounds, NULL, NULL, 0, 0, order);
	EXPECT_EQ(piece_at(b.get(), 0, 0), 2); // top-left corner
	EXPECT_EQ(piece_at(b.get(), 11, 0), 3); // top-right corner
	EXPECT_EQ(piece_at(b.get(), 5, 0), 6); // top bevel between the corners
	EXPECT_EQ(piece_at(b.get(), 2, 0), 2); // the bevel stopped at the corner's edge
	EXPECT_EQ(piece_at(b.get(), 0, 5), 7); // left bevel
	EXPECT_EQ(piece_at(b.get(), 5, 9), 8); // bottom bevel
	EXPECT_EQ(piece_at(b.get(), 5, 5), 1); // centre
	// The zero-wide right bevel is skipped: the centre shows at the right edge.
	EXPECT_EQ(piece_at(b.get(), 11, 5), 1);

	// NONE leaves a piece out.
	std::unique_ptr<bitmap_data, bitmap_deleter> c(new_bitmap(12, 10, 48, _32bit_encoding, 0));
	const int16 without_centre[] = {NONE, 1, 2, 3, 4, 5, 6, 7, 8};
	tile_and_bevel_rectangle(c.get(), collection, 0, 0, &bounds, NULL, NULL, 0, 0, without_centre);
	EXPECT_EQ(piece_at(c.get(), 5, 5), 0);
	EXPECT_EQ(piece_at(c.get(), 0, 0), 2);
}
