// Shading, transparency and blend tables and the tint shaders. The golden
// hashes and shader bytes come from a separate model of the same rules,
// tools/models/shading_tables.py; they must hold on both builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "shading_tables.h"
#include "shapes.h"
#include "definitions.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "CoreLibrary/zerv/shape_file.h"
#include "support/tag_files_test_directory.h"
#include "support/test_directory.h"
#include "tag_files/tag_files.h"

namespace
{
	uint32 fnv1a(const void *data, size_t size)
	{
		const uint8 *bytes = static_cast<const uint8 *>(data);
		uint32 hash = 0x811C9DC5u;
		for (size_t i = 0; i < size; ++i)
		{
			hash ^= bytes[i];
			hash *= 0x01000193u;
		}
		return hash;
	}

	color_table test_colors(int32 count = 256)
	{
		color_table colors = {};
		colors.color_count = count;
		for (int32 i = 0; i < 256; ++i)
		{
			colors.colors[i].red = static_cast<uint16>(i * 257 * 7);
			colors.colors[i].green = static_cast<uint16>(i * 1031 + 500);
			colors.colors[i].blue = static_cast<uint16>(65535 - i * 199);
		}
		return colors;
	}

	uint32 entry32(const std::vector<uint8> &table, int32 level, int32 index)
	{
		uint32 entry;
		memcpy(&entry, table.data() + level * SHADING_TABLE_SIZE32 + 4 * index, 4);
		return entry;
	}

	class ShadingTablesFixture : public ::testing::Test
	{
	protected:
		void SetUp() override { reset_shading_table_permutation_data(); }
		void TearDown() override { reset_shading_table_permutation_data(); }
	};
}

/* ---------- transparency tables */

TEST(ShadingTablesTransparency, NormalAndOverlay)
{
	std::vector<uint8> normal(TRANSPARENCY_TABLE_SIZE), overlay(TRANSPARENCY_TABLE_SIZE);
	build_transparency_table(_transparency_normal, normal.data());
	build_transparency_table(_transparency_overlay, overlay.data());
	auto at = [](const std::vector<uint8> &table, int32 level, int32 a, int32 b)
	{
		return table[static_cast<size_t>((level << 10) | (a << 5) | b)];
	};

	EXPECT_EQ(at(normal, 8, 31, 0), 17);
	for (int32 a = 0; a < 32; ++a)
	{
		for (int32 b = 0; b < 32; ++b)
		{
			EXPECT_EQ(at(normal, 0, a, b), b);
			EXPECT_EQ(at(normal, 15, a, b), a);
			EXPECT_EQ(at(overlay, 15, a, b), a);
		}
	}
	EXPECT_EQ(at(overlay, 0, 0, 31), 31);
	EXPECT_EQ(fnv1a(normal.data(), normal.size()), 0x7f7cf3c9u);
	EXPECT_EQ(fnv1a(overlay.data(), overlay.size()), 0x9493c205u);

	// Other modes leave the table as it is.
	std::vector<uint8> untouched(TRANSPARENCY_TABLE_SIZE, 0xA5);
	build_transparency_table(NUMBER_OF_TRANSPARENCY_MODES, untouched.data());
	build_transparency_table(NONE, untouched.data());
	EXPECT_EQ(untouched, std::vector<uint8>(TRANSPARENCY_TABLE_SIZE, 0xA5));
}

/* ---------- permutations */

TEST_F(ShadingTablesFixture, PermutationData)
{
	short_fixed fraction;
	rgb_color color;
	EXPECT_EQ(get_shading_table_permutation_data(_shading_table_normal, &fraction, &color), _shading_mode_none);
	EXPECT_EQ(get_shading_table_permutation_data(_shading_table_paralyzed, &fraction, &color), _shading_mode_tint);
	EXPECT_EQ(fraction, 192);
	EXPECT_EQ(color.red, 41942);
	EXPECT_EQ(color.green, 19005);
	EXPECT_EQ(get_shading_table_permutation_data(_shading_table_reflection, &fraction, &color), _shading_mode_blend);
	EXPECT_EQ(color.blue, 32768);
	EXPECT_EQ(get_shading_table_permutation_data(_shading_table_stone_reflection, NULL, NULL),
		_shading_mode_tint_and_blend_with_media);
	EXPECT_EQ(get_shading_table_permutation_data(_shading_table_normal_untinted, NULL, NULL), _shading_mode_untinted);
	EXPECT_EQ(get_shading_table_permutation_data(8, &fraction, &color), NONE);
	EXPECT_EQ(get_shading_table_permutation_data(NONE, NULL, NULL), NONE);

	const rgb_color water = {100, 200, 300, 0};
	set_shading_table_permutation_data(_shading_table_reflection, _shading_mode_blend, static_cast<short_fixed>(77),
		&water);
	set_shading_table_permutation_data(8, _shading_mode_tint, static_cast<short_fixed>(1), &water); // ignored
	EXPECT_EQ(get_shading_table_permutation_data(_shading_table_reflection, &fraction, &color), _shading_mode_blend);
	EXPECT_EQ(fraction, 77);
	EXPECT_EQ(color.green, 200);
	reset_shading_table_permutation_data();
	get_shading_table_permutation_data(_shading_table_reflection, &fraction, &color);
	EXPECT_EQ(fraction, 128);

	shading_table_format format;
	get_shading_table_format(16, 1, &format);
	EXPECT_EQ(format.shading_bits, 6);
	EXPECT_EQ(format.shading_tables, 64);
	EXPECT_EQ(format.shading_table_size, 512);
	EXPECT_EQ(format.lighting_shading_tables_size, 32768);
	EXPECT_EQ(format.tinting_shading_tables_size, 4096);
	get_shading_table_format(32, 2, &format);
	EXPECT_EQ(format.shading_bits, 8);
	EXPECT_EQ(format.shading_tables, 256);
	EXPECT_EQ(format.lighting_shading_tables_size, 262144);
	EXPECT_EQ(format.tinting_shading_tables_size, 8192);
}

/* ---------- tables with an effect */

TEST_F(ShadingTablesFixture, EntryEncodingsAndTints)
{
	color_table colors = {};
	colors.color_count = 1;
	colors.colors[0] = {40000, 20000, 10000, 0};
	std::vector<uint8> table(SHADING_TABLE_SIZE32, 0xEE);

	build_shading_table(32, _32bit_encoding, 1, &colors, table.data(), _shading_mode_none, 0, NULL, 0, NULL);
	EXPECT_EQ(entry32(table, 0, 0), 0x9C4E27u);
	EXPECT_EQ(table[4], 0xEE); // only the table's colours are written
	build_shading_table(16, _16bit_555_encoding, 1, &colors, table.data(), _shading_mode_none, 0, NULL, 0, NULL);
	uint16 entry16;
	memcpy(&entry16, table.data(), 2);
	EXPECT_EQ(entry16, (19 << 10) | (9 << 5) | 4);
	build_shading_table(16, _16bit_565_encoding, 1, &colors, table.data(), _shading_mode_none, 0, NULL, 0, NULL);
	memcpy(&entry16, table.data(), 2);
	EXPECT_EQ(entry16, (19 << 11) | (19 << 5) | 4);

	// Encodings without an entry form write nothing.
	std::vector<uint8> untouched(SHADING_TABLE_SIZE32 * 2, 0x5A);
	build_shading_table(32, _16bit_88_encoding, 2, &colors, untouched.data(), _shading_mode_none, 0, NULL, 0, NULL);
	build_colored_shading_table(32, _8bit_encoding, 2, &colors, untouched.data(), 0, NULL, 0, 0, NULL);
	EXPECT_EQ(untouched, std::vector<uint8>(SHADING_TABLE_SIZE32 * 2, 0x5A));

	// Tint: luminance 30000 weighs the stone colour (k = 102).
	const rgb_color stone = {47840, 51772, 48495, 0};
	build_shading_table(32, _32bit_encoding, 1, &colors, table.data(), _shading_mode_tint, 224, &stone, 0, NULL);
	EXPECT_EQ(entry32(table, 0, 0), 0x5D5A50u);

	// Blend at full strength gives the tint colour; overshoot clamps.
	const rgb_color tint = {1000, 2000, 3000, 0};
	build_shading_table(32, _32bit_encoding, 1, &colors, table.data(), _shading_mode_blend, 256, &tint, 0, NULL);
	EXPECT_EQ(entry32(table, 0, 0), (0x03u << 16) | 0x0700u | 0x0B);
	build_shading_table(32, _32bit_encoding, 1, &colors, table.data(), _shading_mode_blend, -256, &white, 0, NULL);
	EXPECT_EQ(entry32(table, 0, 0), 0x380000u); // 2c - 65535: red 14465, the others clamp to 0
	build_shading_table(32, _32bit_encoding, 1, &colors, table.data(), _shading_mode_blend, 512, &white, 0, NULL);
	EXPECT_EQ(entry32(table, 0, 0), 0xFFFFFFu);

	// The global tint applies to every mode but 3.
	build_shading_table(32, _32bit_encoding, 1, &colors, table.data(), _shading_mode_untinted, 0, NULL, 200, &red);
	EXPECT_EQ(entry32(table, 0, 0), 0x9C4E27u);
	build_shading_table(32, _32bit_encoding, 1, &colors, table.data(), _shading_mode_none, 0, NULL, 200, &red);
	EXPECT_NE(entry32(table, 0, 0), 0x9C4E27u);
}

TEST_F(ShadingTablesFixture, GoldenTintingAndRampTables)
{
	const color_table colors = test_colors();
	const rgb_color global = {65535, 32768, 0, 0};
	const struct
	{
		int16 depth, encoding;
		uint32 hash;
	} formats[] = {{32, _32bit_encoding, 0x416b3d88u}, {16, _16bit_555_encoding, 0xca06ac9eu},
		{16, _16bit_565_encoding, 0x9f6b38d3u}};

	for (const auto &format : formats)
	{
		SCOPED_TRACE(format.encoding);
		const int32 level_size = format.depth == 32 ? SHADING_TABLE_SIZE32 : SHADING_TABLE_SIZE16;
		std::vector<uint8> table(static_cast<size_t>(level_size * NUMBER_OF_SHADING_TABLE_PERMUTATIONS));
		for (int16 p = 0; p < NUMBER_OF_SHADING_TABLE_PERMUTATIONS; ++p)
		{
			short_fixed fraction;
			rgb_color color;
			const int16 mode = get_shading_table_permutation_data(p, &fraction, &color);
			build_shading_table(format.depth, format.encoding, 1, &colors, table.data() + p * level_size, mode, fraction,
				&color, 64, &global);
		}
		EXPECT_EQ(fnv1a(table.data(), table.size()), format.hash);
	}

	// More than one level ramps from black up to the full colour.
	std::vector<uint8> ramp(SHADING_TABLE_SIZE32 * 4);
	build_shading_table(32, _32bit_encoding, 4, &colors, ramp.data(), _shading_mode_none, 0, NULL, 0, NULL);
	EXPECT_EQ(fnv1a(ramp.data(), ramp.size()), 0x5ae99b37u);
	EXPECT_EQ(entry32(ramp, 0, 200), 0u);
	EXPECT_EQ(entry32(ramp, 3, 255) & 0xFF, (65535u - 255 * 199) >> 8);
}

/* ---------- landscape lighting */

TEST(ShadingTablesLighting, TransitionOnBothSidesAndAtZero)
{
	const color_table colors = test_colors();
	std::vector<uint8> table(LIGHTING_SHADING_TABLES_SIZE32);
	const rgb_color dark = {0, 0, 8192, 0}, light = {65535, 65535, 50000, 0};
	build_colored_shading_table(32, _32bit_encoding, 256, &colors, table.data(), 192, &dark, 0x8000, 128, &light);
	EXPECT_EQ(fnv1a(table.data(), table.size()), 0x673817a3u);
	std::vector<uint8> table16(LIGHTING_SHADING_TABLES_SIZE16);
	build_colored_shading_table(16, _16bit_565_encoding, 64, &colors, table16.data(), 192, &dark, 0x8000, 128, &light);
	EXPECT_EQ(fnv1a(table16.data(), table16.size()), 0xce7f4380u);

	// Four levels, t = 1: level 0 fully dark, level 1 the colours, level 3 fully light.
	std::vector<uint8> four(SHADING_TABLE_SIZE32 * 4);
	build_colored_shading_table(32, _32bit_encoding, 4, &colors, four.data(), 256, &black, 0x8000, 256, &white);
	EXPECT_EQ(entry32(four, 0, 77), 0u);
	EXPECT_EQ(entry32(four, 3, 77), 0xFFFFFFu);
	const rgb_color &c = colors.colors[77];
	EXPECT_EQ(entry32(four, 1, 77), ((c.red << 8) & 0xFF0000u) | (c.green & 0xFF00u) | (c.blue >> 8));

	// t = 0: level 0 takes the whole dark fraction instead of dividing by zero.
	std::vector<uint8> eight(SHADING_TABLE_SIZE32 * 8);
	const rgb_color dark2 = {1000, 2000, 3000, 0};
	build_colored_shading_table(32, _32bit_encoding, 8, &colors, eight.data(), 200, &dark2, 0, 100, &red);
	EXPECT_EQ(fnv1a(eight.data(), eight.size()), 0xef58b5aau);
	build_colored_shading_table(32, _32bit_encoding, 4, &colors, four.data(), 256, &black, 0, 256, &white);
	EXPECT_EQ(entry32(four, 0, 77), 0u);

	// One level copies the colours.
	std::vector<uint8> one(SHADING_TABLE_SIZE32);
	build_colored_shading_table(32, _32bit_encoding, 1, &colors, one.data(), 256, &black, 0x8000, 256, &white);
	EXPECT_EQ(entry32(one, 0, 77), ((c.red << 8) & 0xFF0000u) | (c.green & 0xFF00u) | (c.blue >> 8));
}

/* ---------- tint shaders */

TEST_F(ShadingTablesFixture, TintShaderBytes)
{
	const uint8 plain[NUMBER_OF_SHADING_TABLE_PERMUTATIONS][TINT_SHADER_SIZE] =
	{
		{255, 0, 0, 0, 0, 0, 0, 0}, {32, 0, 0, 0, 164, 177, 166, 0}, {64, 0, 0, 0, 123, 56, 142, 0},
		{128, 0, 0, 64, 0, 0, 0, 0}, {64, 0, 0, 0, 50, 44, 38, 0}, {16, 0, 0, 64, 82, 88, 83, 0},
		{32, 0, 0, 64, 61, 28, 71, 0}, {255, 0, 0, 0, 0, 0, 0, 0}
	};
	const uint8 tinted[NUMBER_OF_SHADING_TABLE_PERMUTATIONS][TINT_SHADER_SIZE] =
	{
		{192, 0, 0, 0, 64, 32, 0, 0}, {24, 0, 0, 0, 182, 162, 124, 0}, {48, 0, 0, 0, 136, 64, 107, 0},
		{96, 3, 2, 48, 32, 16, 0, 0}, {48, 0, 0, 0, 67, 47, 29, 0}, {12, 3, 2, 48, 91, 81, 62, 0},
		{24, 3, 2, 48, 68, 32, 53, 0}, {192, 0, 0, 0, 64, 32, 0, 0}
	};
	const rgb_color global = {65535, 32768, 0, 0};

	for (int16 p = 0; p < NUMBER_OF_SHADING_TABLE_PERMUTATIONS; ++p)
	{
		SCOPED_TRACE(p);
		short_fixed fraction;
		rgb_color color;
		const int16 mode = get_shading_table_permutation_data(p, &fraction, &color);
		uint8 shader[TINT_SHADER_SIZE];
		build_tinting_shader(shader, mode, fraction, &color, 0, NULL);
		EXPECT_EQ(memcmp(shader, plain[p], TINT_SHADER_SIZE), 0);
		// The shader tints mode 3 as well, unlike the software table.
		build_tinting_shader(shader, mode, fraction, &color, 64, &global);
		EXPECT_EQ(memcmp(shader, tinted[p], TINT_SHADER_SIZE), 0);
	}

	// Just below 1.0 rounds to 256: the byte stays 255 rather than wrapping to 0.
	uint8 shader[TINT_SHADER_SIZE];
	build_tinting_shader(shader, _shading_mode_blend, 256, &white, 0, NULL);
	EXPECT_EQ(shader[0], 0);
	EXPECT_EQ(shader[1], 255);
	EXPECT_EQ(shader[2], 255);
	EXPECT_EQ(shader[3], 255);
	// A missing colour counts as black.
	build_tinting_shader(shader, _shading_mode_tint, 128, NULL, 0, NULL);
	EXPECT_EQ(shader[0], 128);
	EXPECT_EQ(shader[4], 0);
}

/* ---------- blend table */

TEST(ShadingTablesBlend, AveragesAndEdges)
{
	const color_table colors = test_colors(40);
	std::vector<uint8> table(BLEND_TABLE_SIZE, 0xCC);
	build_blend_table(&colors, table.data());
	EXPECT_EQ(fnv1a(table.data(), table.size()), 0x26c19a2du);
	EXPECT_EQ(table[0 * 256 + 17], 17);
	EXPECT_EQ(table[23 * 256 + 0], 23);
	EXPECT_EQ(table[5 * 256 + 5], 5);
	EXPECT_EQ(table[39 * 256 + 200], 0); // outside the colours
}

/* ---------- collection tables */

namespace
{
	// Hue change k recolours the colours i with i % 16 == k + 1; the change k = 8
	// (a ninth) is past the 8 a table records.
	bool hue_change_marks(int32 k, int32 color)
	{
		return color % 16 == k + 1;
	}

	// A '.256' tag with a colour table and hue_change_count hue changes
	// (change 0 primary, change 1 secondary), written as a local tag.
	bool write_collection(file_tag subgroup, const char *name, int32 hue_change_count)
	{
		const int32 data_size = static_cast<int32>(sizeof(color_table)) + hue_change_count * 128;
		std::vector<uint8> tag(sizeof(collection_header) + static_cast<size_t>(data_size));

		collection_header header = {};
		header.color_table_count = 1;
		header.color_tables_size = sizeof(color_table);
		header.hue_change_count = hue_change_count;
		header.hue_changes_offset = sizeof(color_table);
		header.hue_changes_size = hue_change_count * 128;
		header.data_offset = sizeof(collection_header);
		header.data_size = data_size;
		byte_swap_move("collection header", tag.data(), &header, sizeof(header), 1, collection_header_byte_swapping_data);

		const color_table colors = test_colors();
		byte_swap_move("color table", tag.data() + sizeof(header), &colors, sizeof(colors), 1,
			color_table_byte_swapping_data);
		for (int32 k = 0; k < hue_change_count; ++k)
		{
			hue_change change = {};
			snprintf(change.name, sizeof(change.name), "change %d", static_cast<int>(k));
			change.median_hue = static_cast<uint16>(1000 * (k + 1));
			change.flags = k == 0 ? _hue_change_primary_flag : (k == 1 ? _hue_change_secondary_flag : 0);
			for (int32 i = 0; i < 256; ++i)
				if (hue_change_marks(k, i)) change.colors_effected[i >> 3] |= static_cast<uint8>(1 << (i & 7));
			byte_swap_move("hue change", tag.data() + sizeof(header) + sizeof(colors) + 128 * k, &change, 128, 1,
				hue_change_byte_swapping_data);
		}
		return tag_file_new_with_subgroup_tag(COLLECTION_GROUP_TAG, name, subgroup, COLLECTION_VERSION_NUMBER, tag.data(),
			static_cast<int32>(tag.size())) != NONE;
	}

	class ShadingTablesCollections : public tag_files_test_directory
	{
	protected:
		void SetUp() override
		{
			tag_files_test_directory::SetUp();
			reset_shading_table_permutation_data();
			preinitialize_definitions();
			initialize_shapes();
		}
		void TearDown() override
		{
			dispose_shapes_from_old_map();
			reset_shading_table_permutation_data();
			tag_files_test_directory::TearDown();
		}

		// Starts a map whose tables take the given format and loads one collection.
		int16 load(int16 bit_depth, int16 encoding, int32 hue_change_count)
		{
			get_shapes_test_hooks()->force_pixel_format = TRUE;
			get_shapes_test_hooks()->forced_bit_depth = bit_depth;
			get_shapes_test_hooks()->forced_encoding = encoding;
			initialize_shapes_for_new_map(FALSE);
			if (!write_collection(TAG("test"), "test colors", hue_change_count)) return NONE;
			return get_collection_index(TAG("test"));
		}

		static uint8 *data_of(int16 collection_index, int16 table_index)
		{
			return reinterpret_cast<uint8 *>(get_shading_table_header(collection_index, table_index)) +
				sizeof(shading_table_header);
		}
	};

	const rgb_color replacements[9] =
	{
		{0, 30000, 60000, 0}, {50000, 10000, 0, 0}, {20000, 20000, 0, 0}, {0, 40000, 0, 0}, {1000, 2000, 3000, 0},
		{60000, 60000, 0, 0}, {0, 0, 30000, 0}, {30000, 0, 30000, 0}, {65535, 65535, 65535, 0}
	};
}

TEST_F(ShadingTablesCollections, TintingTablesOnDemandReuseAndClamping)
{
	const int16 collection = load(32, _32bit_encoding, 2);
	ASSERT_NE(collection, NONE);
	const collection_header *header = get_collection_header(collection);
	ASSERT_NE(header, nullptr);
	EXPECT_EQ(header->shading_table_count, 0);

	// The first fetch builds a plain tinting table.
	uint8 *start = static_cast<uint8 *>(get_shading_table(collection, 0, NONE));
	ASSERT_NE(start, nullptr);
	EXPECT_EQ(header->shading_table_count, 1);
	EXPECT_EQ(get_shading_table(collection, 0, 8), start);
	EXPECT_EQ(get_shading_table(collection, 0, _shading_table_burned), start + 4 * SHADING_TABLE_SIZE32);
	EXPECT_EQ(reinterpret_cast<uint8 *>(get_shading_table_header(collection, 0)) + 148, start);
	EXPECT_EQ(get_shading_table_header(collection, 0)->hue_change_count, 0);
	EXPECT_EQ(get_unshaded_shading_table(collection, 0), start); // a tinting table has no brightest level

	// Its levels are the permutations applied to the loaded colours (colour 0 black).
	const color_table *colors = get_color_table(collection, 0);
	ASSERT_NE(colors, nullptr);
	EXPECT_EQ(colors->colors[0].red | colors->colors[0].green | colors->colors[0].blue, 0);
	for (int16 p = 0; p < NUMBER_OF_SHADING_TABLE_PERMUTATIONS; ++p)
	{
		short_fixed fraction;
		rgb_color color;
		const int16 mode = get_shading_table_permutation_data(p, &fraction, &color);
		std::vector<uint8> expected(SHADING_TABLE_SIZE32);
		build_shading_table(32, _32bit_encoding, 1, colors, expected.data(), mode, fraction, &color, 0, NULL);
		EXPECT_EQ(memcmp(expected.data(), start + p * SHADING_TABLE_SIZE32, SHADING_TABLE_SIZE32), 0) << p;
		uint8 shader[TINT_SHADER_SIZE];
		build_tinting_shader(shader, mode, fraction, &color, 0, NULL);
		EXPECT_EQ(memcmp(shader, get_shading_table_header(collection, 0)->tint_shader_data[p], TINT_SHADER_SIZE), 0);
	}

	// Without replacement colours table 0 serves again, whatever the mode.
	EXPECT_EQ(add_shading_table_to_collection_index(collection, NULL, _add_shading_table_for_lighting,
		static_cast<short_fixed>(0), NULL), 0);
	EXPECT_EQ(header->shading_table_count, 1);

	// With them a new table is made and records its hue changes.
	EXPECT_EQ(add_shading_table_to_collection_index(collection, replacements, _add_shading_table_for_tinting,
		static_cast<short_fixed>(0), NULL), 1);
	const shading_table_header *recoloured = get_shading_table_header(collection, 1);
	EXPECT_EQ(recoloured->hue_change_count, 2);
	hsv_color hsv;
	rgb_color_to_hsv_color(&replacements[1], &hsv);
	EXPECT_EQ(recoloured->hue_change_data[1].replacement_color.hue, hsv.hue);
	EXPECT_EQ(recoloured->hue_change_data[1].median_hue, 2000);

	// Indexes clamp to the tables there are.
	EXPECT_EQ(get_shading_table(collection, -4, 0), start);
	EXPECT_EQ(get_shading_table(collection, 99, 0), data_of(collection, 1));

	// Nothing for a collection that is not there.
	EXPECT_EQ(get_shading_table(NONE, 0, 0), nullptr);
	EXPECT_EQ(get_shading_table(77, 0, 0), nullptr);
	EXPECT_EQ(get_shading_table_header(NONE, 0), nullptr);
	EXPECT_EQ(get_unshaded_shading_table(NONE, 0), nullptr);
	EXPECT_EQ(add_shading_table_to_collection_index(NONE, replacements, _add_shading_table_for_tinting,
		static_cast<short_fixed>(0), NULL), NONE);
	EXPECT_EQ(add_shading_table_to_mesh(NONE, 0, NULL, 0, 0, NULL), NONE);
	EXPECT_TRUE(add_blend_table_to_collection_index(collection));
}

TEST_F(ShadingTablesCollections, OnlyEightHueChangesCount)
{
	const int16 collection = load(32, _32bit_encoding, 9);
	ASSERT_NE(collection, NONE);
	const int16 table = add_shading_table_to_collection_index(collection, replacements, _add_shading_table_for_tinting,
		static_cast<short_fixed>(0), NULL);
	ASSERT_EQ(table, 0);
	EXPECT_EQ(get_shading_table_header(collection, table)->hue_change_count, 8);

	const uint8 *normal = static_cast<uint8 *>(get_shading_table(collection, table, _shading_table_normal));
	const color_table *colors = get_color_table(collection, 0);
	std::vector<uint8> plain(SHADING_TABLE_SIZE32);
	build_shading_table(32, _32bit_encoding, 1, colors, plain.data(), _shading_mode_none, 0, NULL, 0, NULL);
	for (int32 i = 1; i < 256; ++i)
	{
		bool marked = false;
		for (int32 k = 0; k < 8; ++k) marked = marked || hue_change_marks(k, i);
		// The ninth change (colours 9, 25, ...) is ignored; the first eight recolour.
		if (!marked)
		{
			EXPECT_EQ(memcmp(normal + 4 * i, plain.data() + 4 * i, 4), 0) << i;
		}
	}
	EXPECT_NE(memcmp(normal + 4 * 17, plain.data() + 4 * 17, 4), 0); // change 0 marks colour 17

	// A temporary table applies the same recolouring; 32-bit when matching the screen.
	uint8 *temporary = static_cast<uint8 *>(new_temporary_shading_table(collection, replacements, TRUE));
	ASSERT_NE(temporary, nullptr);
	EXPECT_EQ(memcmp(temporary, normal, SHADING_TABLE_SIZE32), 0);
	dispose_temporary_shading_table(temporary);
	EXPECT_EQ(new_temporary_shading_table(NONE, NULL, TRUE), nullptr);
}

TEST_F(ShadingTablesCollections, TeamColoursAndGlobalTint)
{
	const int16 collection = load(32, _32bit_encoding, 2);
	ASSERT_NE(collection, NONE);
	const rgb_color primary = {1, 2, 65535, 0}, secondary = {65535, 3, 4, 0};
	rgb_color unused = primary;
	unused.flags = _color_unused_flag;

	const int16 team = add_adjusted_shading_table_to_collection_index(collection, replacements, &primary, &secondary,
		_add_shading_table_for_tinting, FALSE, 0, NULL);
	ASSERT_NE(team, NONE);
	hsv_color hsv;
	rgb_color_to_hsv_color(&primary, &hsv);
	EXPECT_EQ(get_shading_table_header(collection, team)->hue_change_data[0].replacement_color.hue, hsv.hue);
	rgb_color_to_hsv_color(&secondary, &hsv);
	EXPECT_EQ(get_shading_table_header(collection, team)->hue_change_data[1].replacement_color.hue, hsv.hue);

	// An unused primary keeps the replacement colour.
	const int16 kept = add_adjusted_shading_table_to_collection_index(collection, replacements, &unused, &secondary,
		_add_shading_table_for_tinting, FALSE, 0, NULL);
	rgb_color_to_hsv_color(&replacements[0], &hsv);
	EXPECT_EQ(get_shading_table_header(collection, kept)->hue_change_data[0].replacement_color.hue, hsv.hue);

	// The global tint replaces the given one.
	const rgb_color tint = {65535, 0, 0, 0};
	set_global_tint_color(&tint, 128);
	const int16 tinted = add_adjusted_shading_table_to_collection_index(collection, replacements, &primary, &secondary,
		_add_shading_table_for_tinting, TRUE, 0, NULL);
	EXPECT_EQ(get_shading_table_header(collection, tinted)->tint_shader_data[_shading_table_normal][0], 128);
	EXPECT_EQ(get_shading_table_header(collection, team)->tint_shader_data[_shading_table_normal][0], 255);
}

TEST_F(ShadingTablesCollections, TheTableLimitAndItsMessage)
{
	const int16 collection = load(16, _16bit_565_encoding, 2);
	ASSERT_NE(collection, NONE);
	for (int32 i = 0; i < MAXIMUM_SHADING_TABLES_PER_COLLECTION; ++i)
	{
		ASSERT_EQ(add_shading_table_to_collection_index(collection, replacements, _add_shading_table_for_tinting,
			static_cast<short_fixed>(0), NULL), i);
	}
	EXPECT_EQ(add_shading_table_to_collection_index(collection, replacements, _add_shading_table_for_tinting,
		static_cast<short_fixed>(0), NULL), NONE);
	EXPECT_NE(log_text().find("can't add more than #128 color tables (test colors collection)."), std::string::npos)
		<< log_text();
	EXPECT_EQ(add_shading_table_to_mesh(collection, 0, NULL, 0, 0, NULL), NONE);
	EXPECT_EQ(get_collection_header(collection)->shading_table_count, MAXIMUM_SHADING_TABLES_PER_COLLECTION);
	// The tables already made are untouched, and 16-bit levels are 512 bytes apart.
	EXPECT_EQ(static_cast<uint8 *>(get_shading_table(collection, 5, 1)) - data_of(collection, 5), SHADING_TABLE_SIZE16);
}

TEST_F(ShadingTablesCollections, LandscapeTablesAreAlways32Bit)
{
	// A 16-bit map still gets 256 levels of 32-bit entries (ASan checks the block).
	const int16 collection = load(16, _16bit_555_encoding, 0);
	ASSERT_NE(collection, NONE);
	const rgb_color dark = {0, 0, 8192, 0}, light = {65535, 65535, 50000, 0};
	const int16 table = add_shading_table_to_mesh(collection, 192, &dark, 0x8000, 128, &light);
	ASSERT_EQ(table, 0);
	const shading_table_header *header = get_shading_table_header(collection, table);
	EXPECT_EQ(header->hue_change_count, 0);

	std::vector<uint8> expected(LIGHTING_SHADING_TABLES_SIZE32);
	build_colored_shading_table(32, _32bit_encoding, 256, get_color_table(collection, 0), expected.data(), 192, &dark,
		0x8000, 128, &light);
	EXPECT_EQ(memcmp(expected.data(), data_of(collection, table), expected.size()), 0);
	EXPECT_EQ(get_unshaded_shading_table(collection, table), data_of(collection, table) + 255 * SHADING_TABLE_SIZE32);

	// A lighting table in the map's own format: its last level is the unshaded one.
	const int16 lighting = add_shading_table_to_collection_index(collection, replacements,
		_add_shading_table_for_lighting, static_cast<short_fixed>(0), NULL);
	ASSERT_EQ(lighting, 1);
	EXPECT_EQ(get_unshaded_shading_table(collection, lighting),
		data_of(collection, lighting) + LIGHTING_SHADING_TABLES_SIZE16 - SHADING_TABLE_SIZE16);

	// A temporary table in the map's format has 2-byte entries.
	uint8 *temporary = static_cast<uint8 *>(new_temporary_shading_table(collection, NULL, FALSE));
	ASSERT_NE(temporary, nullptr);
	std::vector<uint8> plain(SHADING_TABLE_SIZE32);
	build_shading_table(16, _16bit_555_encoding, 1, get_color_table(collection, 0), plain.data(), _shading_mode_none, 0,
		NULL, 0, NULL);
	EXPECT_EQ(memcmp(temporary, plain.data(), SHADING_TABLE_SIZE32), 0);
	dispose_temporary_shading_table(temporary);
}

// The hardware path colours sprites through the tint shaders alone: a
// lighting table and the landscape's table (which a sprite's clamped index
// can reach) carry the permutations' tints as a tinting table does, with the
// given tint over a lighting table's. An empty one draws every texel black.
TEST_F(ShadingTablesCollections, EveryKindOfTableCarriesThePermutationsTints)
{
	const int16 collection = load(32, _32bit_encoding, 2);
	ASSERT_NE(collection, NONE);
	const rgb_color dark = {0, 0, 8192, 0}, light = {65535, 65535, 50000, 0}, tint = {60000, 1000, 2000, 0};
	const int16 lighting = add_shading_table_to_collection_index(collection, replacements,
		_add_shading_table_for_lighting, static_cast<short_fixed>(64), &tint);
	const int16 plain_lighting = add_shading_table_to_collection_index(collection, replacements,
		_add_shading_table_for_lighting, static_cast<short_fixed>(0), NULL);
	const int16 landscape = add_shading_table_to_mesh(collection, 192, &dark, 0x8000, 128, &light);
	ASSERT_EQ(landscape, 2);
	for (int16 p = 0; p < NUMBER_OF_SHADING_TABLE_PERMUTATIONS; ++p)
	{
		short_fixed fraction;
		rgb_color color;
		const int16 mode = get_shading_table_permutation_data(p, &fraction, &color);
		uint8 tinted[TINT_SHADER_SIZE], plain[TINT_SHADER_SIZE];
		build_tinting_shader(tinted, mode, fraction, &color, 64, &tint);
		build_tinting_shader(plain, mode, fraction, &color, 0, NULL);
		EXPECT_EQ(memcmp(tinted, get_shading_table_header(collection, lighting)->tint_shader_data[p], TINT_SHADER_SIZE), 0) << p;
		EXPECT_EQ(memcmp(plain, get_shading_table_header(collection, plain_lighting)->tint_shader_data[p], TINT_SHADER_SIZE), 0) << p;
		EXPECT_EQ(memcmp(plain, get_shading_table_header(collection, 99)->tint_shader_data[p], TINT_SHADER_SIZE), 0) << p;
	}
	// The normal permutation keeps the texture's colours whole.
	EXPECT_EQ(get_shading_table_header(collection, plain_lighting)->tint_shader_data[_shading_table_normal][0], 255);
	EXPECT_EQ(get_shading_table_header(collection, landscape)->tint_shader_data[_shading_table_normal][0], 255);
}

TEST_F(ShadingTablesCollections, ABrokenTableCountGivesNothing)
{
	const int16 collection = load(32, _32bit_encoding, 0);
	ASSERT_NE(collection, NONE);
	// A count that cannot be a slot: no table is made, and lookups give NULL
	// instead of reading slot -1.
	get_collection_header(collection)->shading_table_count = -1;
	EXPECT_EQ(get_shading_table(collection, 0, 0), nullptr);
	EXPECT_EQ(get_shading_table_header(collection, 0), nullptr);
	EXPECT_EQ(add_shading_table_to_collection_index(collection, replacements, _add_shading_table_for_tinting,
		static_cast<short_fixed>(0), NULL), NONE);
	get_collection_header(collection)->shading_table_count = 0;
}

/* ---------- the builders against their first form */

namespace
{
	// The builders as first written, choosing the entry form per entry: the
	// reference the format-specialised builders must match byte for byte.
	uint8 *reference_entry(uint8 *out, int16 bit_depth, int16 encoding, int64 r, int64 g, int64 b)
	{
		const uint32 red = static_cast<uint32>(PIN(r, 0, 65535));
		const uint32 green = static_cast<uint32>(PIN(g, 0, 65535));
		const uint32 blue = static_cast<uint32>(PIN(b, 0, 65535));
		uint32 entry;
		switch (encoding)
		{
		case _16bit_555_encoding: entry = ((red >> 1) & 0x7C00) | ((green >> 6) & 0x03E0) | ((blue >> 11) & 0x1F); break;
		case _16bit_565_encoding: entry = (red & 0xF800) | ((green >> 5) & 0x07E0) | ((blue >> 11) & 0x1F); break;
		case _32bit_encoding: entry = ((red << 8) & 0xFF0000) | (green & 0xFF00) | ((blue >> 8) & 0xFF); break;
		default: return out;
		}
		if (bit_depth == _32bit)
		{
			memcpy(out, &entry, 4);
			return out + 4;
		}
		const uint16 narrow = static_cast<uint16>(entry);
		memcpy(out, &narrow, 2);
		return out + 2;
	}

	void reference_colored(int16 bit_depth, int16 encoding, int16 levels, const color_table *colors, uint8 *table,
		short_fixed dark_fraction, const rgb_color *dark, fixed transition_point, short_fixed light_fraction,
		const rgb_color *light)
	{
		const int32 count = color_table_usable_count(colors);
		const int32 level_size = SHADING_TABLE_ENTRIES * (bit_depth == _32bit ? 4 : 2);
		const int32 t = static_cast<int16>((static_cast<int64>(transition_point) * (levels - 1)) >> 16);
		for (int32 level = 0; level < levels; ++level)
		{
			uint8 *out = table + static_cast<int64>(level) * level_size;
			const rgb_color *target;
			int64 f;
			if (levels == 1) { target = dark; f = 0; }
			else if (level > t)
			{
				target = light;
				f = static_cast<int16>(static_cast<int64>(light_fraction) * (level - t) / (levels - 1 - t));
			}
			else
			{
				target = dark;
				f = t == 0 ? dark_fraction : static_cast<int16>(static_cast<int64>(dark_fraction) * (t - level) / t);
			}
			for (int32 i = 0; i < count; ++i)
			{
				const rgb_color *c = &colors->colors[i];
				out = reference_entry(out, bit_depth, encoding, (int64{c->red} * (256 - f) + int64{target->red} * f) >> 8,
					(int64{c->green} * (256 - f) + int64{target->green} * f) >> 8,
					(int64{c->blue} * (256 - f) + int64{target->blue} * f) >> 8);
			}
		}
	}

	void reference_effect(int16 bit_depth, int16 encoding, int16 levels, const color_table *colors, uint8 *table,
		int16 mode, int64 f1, const rgb_color *tint1, int64 f2, const rgb_color *tint2)
	{
		const int32 count = color_table_usable_count(colors);
		const int32 level_size = SHADING_TABLE_ENTRIES * (bit_depth == _32bit ? 4 : 2);
		const int64 t1[3] = {tint1->red, tint1->green, tint1->blue};
		const int64 t2[3] = {tint2->red, tint2->green, tint2->blue};
		short_fixed reflection_fraction = 0;
		rgb_color reflection = {};
		get_shading_table_permutation_data(_shading_table_reflection, &reflection_fraction, &reflection);
		const int64 fr = reflection_fraction;
		const int64 media[3] = {reflection.red, reflection.green, reflection.blue};
		auto luminance = [](const int64 c[3]) { return (2 * c[0] + 3 * c[1] + c[2]) / 5; };
		for (int32 level = 0; level < levels; ++level)
		{
			uint8 *out = table + static_cast<int64>(level) * level_size;
			for (int32 i = 0; i < count; ++i)
			{
				int64 c[3] = {colors->colors[i].red, colors->colors[i].green, colors->colors[i].blue};
				if (levels > 1)
					for (int64 &component : c) component = (component * level + (levels - 1) / 2) / (levels - 1);
				const int64 y = luminance(c);
				if (f1 != 0 && mode == _shading_mode_blend)
					for (int32 k = 0; k < 3; ++k) c[k] = (t1[k] * f1 + c[k] * (256 - f1)) >> 8;
				if (f1 != 0 && (mode == _shading_mode_tint || mode == _shading_mode_tint_and_blend_with_media))
				{
					const int64 weight = (y * f1) >> 16;
					for (int32 k = 0; k < 3; ++k) c[k] = (c[k] * (256 - f1) + t1[k] * weight) >> 8;
					if (mode == _shading_mode_tint_and_blend_with_media)
						for (int32 k = 0; k < 3; ++k) c[k] = (c[k] * (256 - fr) + media[k] * fr) >> 8;
				}
				if (f2 != 0 && mode != _shading_mode_untinted)
				{
					const int64 weight = (luminance(c) * f2) >> 16;
					for (int32 k = 0; k < 3; ++k) c[k] = (c[k] * (256 - f2) + t2[k] * weight) >> 8;
				}
				out = reference_entry(out, bit_depth, encoding, c[0], c[1], c[2]);
			}
		}
	}

	rgb_color random_color(std::mt19937 &random)
	{
		return {static_cast<uint16>(random()), static_cast<uint16>(random()), static_cast<uint16>(random()), 0};
	}
}

TEST_F(ShadingTablesFixture, BuildersMatchTheirFirstFormForEveryFormat)
{
	const int16 encodings[] = {_16bit_555_encoding, _16bit_565_encoding, _32bit_encoding, _8bit_encoding, _16bit_88_encoding};
	const int16 depths[] = {_16bit, _32bit};
	const size_t most = static_cast<size_t>(256) * SHADING_TABLE_SIZE32;

	// Every component value of every format: one level at fraction 0 writes the colours themselves.
	color_table colors = {};
	colors.color_count = 256;
	for (const int16 encoding : encodings)
		for (const int16 depth : depths)
			for (int32 start = 0; start < 65536; start += 256)
			{
				for (int32 i = 0; i < 256; ++i)
				{
					const uint16 v = static_cast<uint16>(start + i);
					colors.colors[i] = {v, static_cast<uint16>(v ^ 0x5555), static_cast<uint16>(65535 - v), 0};
				}
				std::vector<uint8> expected(SHADING_TABLE_SIZE32, 0xA5), actual(SHADING_TABLE_SIZE32, 0xA5);
				reference_colored(depth, encoding, 1, &colors, expected.data(), 0, &black, 0, 0, &black);
				build_colored_shading_table(depth, encoding, 1, &colors, actual.data(), 0, &black, 0, 0, &black);
				ASSERT_EQ(actual, expected) << encoding << " " << depth << " " << start;
			}

	// Whole tables over random colours, levels, fractions and modes.
	std::mt19937 random(77);
	std::vector<uint8> expected(most), actual(most);
	for (int trial = 0; trial < 300; ++trial)
	{
		colors.color_count = static_cast<int32>(random() % 300) - 10;
		for (rgb_color &c : colors.colors) c = random_color(random);
		const int16 encoding = encodings[random() % NUMBEROF(encodings)];
		const int16 depth = depths[random() % 2];
		const int16 levels = static_cast<int16>(trial % 10 == 0 ? 256 : 1 + random() % 40);
		const rgb_color a = random_color(random), b = random_color(random);
		// Fractions in 0-256 mix without clamping; the others clamp.
		auto fraction = [&random]() {
			return static_cast<short_fixed>(random() % 2 ? static_cast<int32>(random() % 257) : static_cast<int32>(random() % 1200) - 600);
		};
		const short_fixed fa = fraction();
		const short_fixed fb = fraction();
		const fixed transition = static_cast<fixed>(random() % 0x10001);

		std::fill(expected.begin(), expected.end(), 0x3C);
		std::fill(actual.begin(), actual.end(), 0x3C);
		reference_colored(depth, encoding, levels, &colors, expected.data(), fa, &a, transition, fb, &b);
		build_colored_shading_table(depth, encoding, levels, &colors, actual.data(), fa, &a, transition, fb, &b);
		ASSERT_EQ(actual, expected) << "lighting trial " << trial;

		const int16 mode = static_cast<int16>(static_cast<int32>(random() % 7) - 1);
		set_shading_table_permutation_data(_shading_table_reflection, _shading_mode_tint,
			static_cast<short_fixed>(random() % 256), &b);
		std::fill(expected.begin(), expected.end(), 0x3C);
		std::fill(actual.begin(), actual.end(), 0x3C);
		reference_effect(depth, encoding, levels, &colors, expected.data(), mode, fa, &a, fb, &b);
		build_shading_table(depth, encoding, levels, &colors, actual.data(), mode, fa, &a, fb, &b);
		ASSERT_EQ(actual, expected) << "effect trial " << trial;
	}
}
