#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "definitions.h"
#include "detail_content.h"
#include "detail_maps.h"
#include "hardware/hardware_rasterizers.h"
#include "screen.h"
#include "support/tag_files_test_directory.h"

namespace {

struct fake_detail_back_end
{
	int32 created = 0, disposed = 0;
	bool saw_pixels = false;
	uint32 next_handle = 100;
};
fake_detail_back_end back_end;

void fake_create(detail_texture_definition *definition)
{
	back_end.created += 1;
	const uint8 *pixels = detail_texture_pixels24(definition);
	back_end.saw_pixels = pixels != nullptr && definition->width > 0;
	definition->hardware_format = back_end.next_handle++;
}

void fake_dispose(detail_texture_definition *definition)
{
	back_end.disposed += 1;
	definition->hardware_format = 0;
}

std::vector<uint8> flat_pixels(int32 width, int32 height, uint8 value)
{
	return std::vector<uint8>(static_cast<size_t>(width) * height * 3, value);
}

class detail_maps : public tag_files_test_directory
{
protected:
	active_color_environment saved_screen;

	void SetUp() override
	{
		tag_files_test_directory::SetUp();
		back_end = {};
		saved_screen = active_screen;
		active_screen.rasterizer_code = _rasterizer_opengl;
		active_screen.prefs.flags |= _screen_pref_landscape_textures_flag;
		static opengl_rasterizer_procedures procedures = {};
		procedures.create_detail_texture_opengl = fake_create;
		procedures.dispose_detail_texture_opengl = fake_dispose;
		install_opengl_rasterizer_procedures(&procedures);
		preinitialize_definitions();
		initialize_detail_textures();
		initialize_detail_maps();
		initialize_detail_textures_for_new_map();
		initialize_detail_maps_for_new_map();
	}
	void TearDown() override
	{
		dispose_detail_textures_from_old_map();
		dispose_detail_maps_from_old_map();
		install_opengl_rasterizer_procedures(nullptr);
		reset_detail_maps_test_hooks();
		active_screen = saved_screen;
		tag_files_test_directory::TearDown();
	}

	static void add_texture(file_tag tag, int32 width, int32 height)
	{
		std::vector<uint8> pixels = flat_pixels(width, height, 90);
		std::vector<uint8> bytes = detail_texture_tag_data(pixels.data(), width, height);
		// Local tags are files named by their tag names.
		const std::string name = "texture " + std::to_string(tag);
		ASSERT_NE(tag_file_new_with_subgroup_tag(DETAIL_TEXTURE_DEFINITION_GROUP_TAG, name.c_str(), tag,
			DETAIL_TEXTURE_DEFINITION_VERSION_NUMBER, bytes.data(), static_cast<int32>(bytes.size())), NONE);
	}
	static void add_raw(file_tag group, file_tag tag, const std::vector<uint8> &bytes)
	{
		int16 version = group == DETAIL_MAP_DEFINITION_GROUP_TAG ? DETAIL_MAP_DEFINITION_VERSION_NUMBER
																 : DETAIL_TEXTURE_DEFINITION_VERSION_NUMBER;
		const std::string name = "detail " + std::to_string(tag);
		ASSERT_NE(tag_file_new_with_subgroup_tag(group, name.c_str(), tag, version, bytes.data(),
			static_cast<int32>(bytes.size())), NONE);
	}
	static int16 load(const detail_map_description &map)
	{
		add_raw(DETAIL_MAP_DEFINITION_GROUP_TAG, TAG("land"), detail_map_tag_data(map));
		return detail_map_definition_tag_to_index(TAG("land"));
	}
};

bool logged(const char *text)
{
	return log_text().find(text) != std::string::npos;
}

} // namespace

TEST(detail_maps_words, blend_words_and_compaction)
{
	EXPECT_EQ(make_tdl(0, 0, 0), 0x40000000u);
	EXPECT_EQ(make_tdl(5, 5, 5), (5u << 9) | 7);
	// Distinct values ascending, each with the corners that hold it.
	EXPECT_EQ(make_tdl(3, 1, 3), 0x40000000u | (1u << 9) | (3u << 16) | 2u | (5u << 3));
	EXPECT_EQ(make_tdl(0, 0, 4), 0x40000000u | (4u << 9) | 4u);

	// Entries 3 and 7 fold, entry 5 is used by nothing, entry 0 stays.
	detail_map_entry entries[NUMBER_OF_DETAIL_MAP_ENTRIES];
	for (detail_map_entry &entry : entries) entry = detail_entry(static_cast<file_tag>(NONE), 0, "");
	entries[1] = detail_entry(TAG("aaaa"), 7, "a");
	entries[3] = detail_entry(TAG("bbbb"), 7, "b");
	entries[5] = detail_entry(TAG("cccc"), 7, "unused");
	entries[6] = detail_entry(TAG("dddd"), 3, "d");
	entries[7] = detail_entry(TAG("bbbb"), 7, "b again");
	uint8 v[4] = {0, 1, 3, 7};
	uint8 t[4] = {6, 0, 7, 1};
	postprocess_detail_map(entries, v, 4, t, 4);
	EXPECT_EQ(entries[0].dtex_id, static_cast<file_tag>(NONE));
	EXPECT_EQ(entries[1].dtex_id, TAG("aaaa"));
	EXPECT_EQ(entries[2].dtex_id, TAG("bbbb"));
	EXPECT_EQ(entries[3].dtex_id, TAG("dddd"));
	EXPECT_EQ(entries[4].dtex_id, static_cast<file_tag>(NONE));
	EXPECT_EQ(entries[4].pixels_per_cell, 0);
	EXPECT_EQ(std::vector<uint8>(v, v + 4), (std::vector<uint8>{0, 1, 2, 2}));
	EXPECT_EQ(std::vector<uint8>(t, t + 4), (std::vector<uint8>{3, 0, 2, 1}));

	// An entry equal to entry 0 folds into it and reads "none"; entry 0 keeps its place.
	for (detail_map_entry &entry : entries) entry = detail_entry(static_cast<file_tag>(NONE), 0, "");
	entries[0] = detail_entry(TAG("zero"), 5, "zero");
	entries[2] = detail_entry(TAG("zero"), 5, "same as zero");
	entries[4] = detail_entry(TAG("four"), 5, "four");
	entries[6] = detail_entry(TAG("four"), 5, "four again");
	uint8 v0[3] = {2, 4, 6};
	uint8 t0[3] = {0, 2, 4};
	postprocess_detail_map(entries, v0, 3, t0, 3);
	EXPECT_EQ(entries[0].dtex_id, TAG("zero"));
	EXPECT_EQ(entries[1].dtex_id, TAG("four"));
	EXPECT_EQ(entries[2].dtex_id, static_cast<file_tag>(NONE));
	EXPECT_EQ(std::vector<uint8>(v0, v0 + 3), (std::vector<uint8>{0, 1, 1}));
	EXPECT_EQ(std::vector<uint8>(t0, t0 + 3), (std::vector<uint8>{0, 0, 1}));
}

TEST(detail_maps_words, a_hand_worked_map_and_an_odd_one)
{
	// 4 x 4 vertices: the first 2 x 2 block's centre is (1, 1).
	std::vector<uint8> v(16, 0), t(32, 0);
	v[1 * 4 + 1] = 2; // the centre of block (0, 0)
	v[0] = 1;         // vertex (0, 0)
	t[(0 * 4 + 1) * 2 + 1] = 9; // cell (1, 0), second triangle
	std::vector<mesh_cell_detail_info> cells(16);
	build_detail_map_layer_words(cells.data(), 4, 4, v.data(), t.data());
	EXPECT_EQ(cells[0].triangle_info[0], make_tdl(2, 1, 0));
	EXPECT_EQ(cells[0].triangle_info[1], make_tdl(2, 0, 1));
	EXPECT_EQ(cells[1].triangle_info[0], make_tdl(2, 0, 0));
	EXPECT_EQ(cells[1].triangle_info[1], (9u << 9) | 7);
	EXPECT_EQ(cells[5].triangle_info[0], make_tdl(2, 0, 0));
	EXPECT_EQ(cells[4].triangle_info[1], make_tdl(2, 0, 0));
	// Block (2, 2)'s centre (3, 3); its far vertices lie past the map and read 0.
	EXPECT_EQ(cells[15].triangle_info[0], 0x40000000u);

	// Odd sides write only the table's cells (ASan watches the edges).
	std::vector<uint8> odd_v(15, 1), odd_t(30, 0);
	std::vector<mesh_cell_detail_info> odd(15);
	build_detail_map_layer_words(odd.data(), 5, 3, odd_v.data(), odd_t.data());
	EXPECT_EQ(odd[14].triangle_info[0], make_tdl(0, 1, 0)); // the centre (5, 3) lies outside
}

TEST_F(detail_maps, a_map_loads_its_textures_and_builds_words)
{
	add_texture(TAG("grs0"), 16, 8);
	add_texture(TAG("rck0"), 8, 8);
	detail_map_description map = empty_detail_map(4, 4);
	map.entries[1] = detail_entry(TAG("grs0"), 7, "grass");
	map.entries[2] = detail_entry(TAG("rck0"), 15, "rock");
	map.entries[3] = detail_entry(TAG("mud0"), 15, "unused, never looked up");
	for (uint8 &index : map.vertex_indexes) index = 1;
	map.triangle_indexes[0] = 2;
	const int16 index = load(map);
	ASSERT_NE(index, NONE) << log_text();
	EXPECT_TRUE(detail_maps_active());
	EXPECT_FALSE(logged("Warning"));
	EXPECT_EQ(back_end.created, 2);
	EXPECT_TRUE(back_end.saw_pixels);
	EXPECT_EQ(detail_texture_pixels24(nullptr), nullptr);
	EXPECT_EQ(hardware_format_detail_textures[0], 0u);
	EXPECT_EQ(hardware_format_detail_textures[1], 100u);
	EXPECT_EQ(hardware_format_detail_textures[2], 101u);
	EXPECT_EQ(hardware_format_detail_textures[3], 0u);
	EXPECT_FLOAT_EQ(detail_texture_scales[1][0], 0.5f);
	EXPECT_FLOAT_EQ(detail_texture_scales[1][1], 1.0f);
	ASSERT_NE(detail_map_layer_info, nullptr);
	EXPECT_EQ(detail_map_layer_row_cells, 4);
	EXPECT_EQ(detail_map_layer_info[0], (2u << 9) | 7);
	EXPECT_EQ(detail_map_layer_info[1], (1u << 9) | 7);

	// The hot key's switch: off, then on again because words exist.
	toggle_detail_maps();
	EXPECT_FALSE(detail_maps_active());
	toggle_detail_maps();
	EXPECT_TRUE(detail_maps_active());

	// The dispose hooks run while the groups are set up, which a changed
	// preference does not undo; disposing frees each texture once.
	active_screen.prefs.flags &= ~_screen_pref_landscape_textures_flag;
	EXPECT_FALSE(detail_maps_enabled());
	EXPECT_TRUE(detail_maps_set_up());
	dispose_detail_textures_from_old_map();
	dispose_detail_maps_from_old_map();
	EXPECT_EQ(back_end.disposed, 2);
	EXPECT_FALSE(detail_maps_active());
	EXPECT_EQ(detail_map_layer_info, nullptr);
	EXPECT_FALSE(detail_maps_set_up());
	toggle_detail_maps();
	EXPECT_FALSE(detail_maps_active());
}

TEST_F(detail_maps, missing_and_corrupt_textures_leave_mapping_off)
{
	std::vector<uint8> corrupt = detail_texture_tag_data(flat_pixels(8, 8, 1).data(), 8, 8);
	corrupt[DETAIL_TEXTURE_STREAM_OFFSET + 3] = 0; // width 0
	corrupt[DETAIL_TEXTURE_STREAM_OFFSET + 2] &= 0x0F;
	add_raw(DETAIL_TEXTURE_DEFINITION_GROUP_TAG, TAG("bad "), corrupt);
	detail_map_description map = empty_detail_map(2, 2);
	map.entries[1] = detail_entry(TAG("bad "), 7, "corrupt");
	map.entries[2] = detail_entry(TAG("gone"), 7, "missing");
	map.vertex_indexes = {1, 2, 0, 0};
	EXPECT_NE(load(map), NONE);
	EXPECT_FALSE(detail_maps_active());
	EXPECT_EQ(detail_map_layer_info, nullptr);
	EXPECT_TRUE(logged("Warning: Detail map not applied because some textures could not be found."));
	EXPECT_TRUE(logged("is corrupt."));
	EXPECT_EQ(hardware_format_detail_textures[1], 0u);
	// The look-ups ran with errors ignored: nothing was stored, and the state came back.
	EXPECT_EQ(get_error_code(), _error_none);
	EXPECT_FALSE(error_globals->ignore);
}

TEST_F(detail_maps, entry_zero_is_looked_up_like_the_others)
{
	add_texture(TAG("grs0"), 8, 8);
	detail_map_description map = empty_detail_map(2, 2);
	map.entries[0] = detail_entry(TAG("gone"), 7, "missing, used by nothing");
	map.entries[1] = detail_entry(TAG("grs0"), 7, "grass");
	map.vertex_indexes = {1, 1, 1, 1};
	EXPECT_NE(load(map), NONE);
	EXPECT_FALSE(detail_maps_active());
	EXPECT_EQ(detail_map_layer_info, nullptr);
	EXPECT_TRUE(logged("Warning: Detail map not applied because some textures could not be found."));
	dispose_detail_maps_from_old_map();
	initialize_detail_maps_for_new_map();

	map.entries[0] = detail_entry(TAG("grs0"), 3, "found");
	add_raw(DETAIL_MAP_DEFINITION_GROUP_TAG, TAG("lnd2"), detail_map_tag_data(map));
	EXPECT_NE(detail_map_definition_tag_to_index(TAG("lnd2")), NONE);
	EXPECT_TRUE(detail_maps_active());
	EXPECT_EQ(hardware_format_detail_textures[0], hardware_format_detail_textures[1]);
	EXPECT_NE(hardware_format_detail_textures[0], 0u);
	EXPECT_FLOAT_EQ(detail_texture_scales[0][0], 0.5f);
}

TEST_F(detail_maps, a_failed_allocation_of_the_layer_words_fails_the_map)
{
	add_texture(TAG("grs0"), 8, 8);
	detail_map_description map = empty_detail_map(2, 2);
	map.entries[1] = detail_entry(TAG("grs0"), 7, "grass");
	map.vertex_indexes = {1, 1, 1, 1};
	set_detail_map_layer_allocation_refused_for_tests(TRUE);
	// Out of memory is fatal, as for the map's other allocations.
	EXPECT_EXIT(load(map), ::testing::ExitedWithCode(_error_out_of_memory), "");
	EXPECT_TRUE(logged("allocation of 32 bytes failed for data from detail map")) << log_text();
}

TEST_F(detail_maps, bad_tags_are_refused_without_layer_words)
{
	struct bad_case
	{
		const char *text;
		void (*spoil)(std::vector<uint8> *bytes);
	};
	const bad_case cases[] = {
		{"bad dimensions (#0 x #2)", [](std::vector<uint8> *b) { (*b)[3] = 0; }},
		{"bad dimensions (#257 x #2)", [](std::vector<uint8> *b) { (*b)[2] = 1; (*b)[3] = 1; }},
		{"couldn't read data from detail map", [](std::vector<uint8> *b) { (*b)[24] = 0x7F; }},
		{"couldn't read data from detail map", [](std::vector<uint8> *b) { b->resize(b->size() - 1); }},
		{"uses detail texture #128 of 128.", [](std::vector<uint8> *b) { (*b)[b->size() - 4] = 128; }},
	};
	add_texture(TAG("grs0"), 8, 8);
	for (const bad_case &c : cases)
	{
		detail_map_description map = empty_detail_map(2, 2);
		map.entries[1] = detail_entry(TAG("grs0"), 7, "grass");
		map.vertex_indexes = {1, 1, 1, 1};
		std::vector<uint8> bytes = detail_map_tag_data(map);
		c.spoil(&bytes);
		dispose_detail_maps_from_old_map();
		initialize_detail_maps_for_new_map();
		clear_errors();
		add_raw(DETAIL_MAP_DEFINITION_GROUP_TAG, TAG("land"), bytes);
		EXPECT_EQ(detail_map_definition_tag_to_index(TAG("land")), NONE) << c.text;
		EXPECT_TRUE(logged(c.text)) << c.text;
		EXPECT_NE(get_error_code(), _error_none) << c.text;
		EXPECT_EQ(detail_map_layer_info, nullptr);
		EXPECT_FALSE(detail_maps_active());
	}

	// A long last run is cut at the end of its array.
	detail_map_description map = empty_detail_map(2, 2);
	map.entries[1] = detail_entry(TAG("grs0"), 7, "grass");
	map.vertex_indexes = {1, 1, 1, 1};
	std::vector<uint8> bytes = detail_map_tag_data(map);
	bytes[bytes.size() - 3] = 200; // the vertex run: 201 instead of 4
	dispose_detail_maps_from_old_map();
	initialize_detail_maps_for_new_map();
	clear_errors();
	add_raw(DETAIL_MAP_DEFINITION_GROUP_TAG, TAG("long"), bytes);
	EXPECT_NE(detail_map_definition_tag_to_index(TAG("long")), NONE) << log_text();
}

TEST_F(detail_maps, texture_counts_outside_the_tag_are_read_failures)
{
	std::vector<uint8> good = detail_texture_tag_data(flat_pixels(4, 4, 7).data(), 4, 4);
	const int32 stream = static_cast<int32>(good.size()) - DETAIL_TEXTURE_STREAM_OFFSET;
	for (int32 count : {-1, 0, stream + 1, static_cast<int32>(good.size())})
	{
		std::vector<uint8> bytes = good;
		for (int32 i = 0; i < 4; ++i) bytes[DETAIL_TEXTURE_STREAM_LENGTH_OFFSET + i] = static_cast<uint8>(count >> (8 * i));
		file_tag tag = TAG("t000") + static_cast<file_tag>(count & 0xFF);
		add_raw(DETAIL_TEXTURE_DEFINITION_GROUP_TAG, tag, bytes);
		EXPECT_EQ(definition_tag_to_index(get_detail_texture_definitions(), tag), NONE) << count;
	}
	EXPECT_TRUE(logged("couldn't read data from detail texture detail"));
	EXPECT_EQ(back_end.created, 0);
}
