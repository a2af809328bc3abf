#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "CoreLibrary/zerv/error_manager.h"
#include "mesh_test_map.h"
#include "render/render.h"
#include "support/tag_files_test_directory.h"
#include "zerv.h"

namespace {

void put_be32(std::vector<uint8> &bytes, size_t offset, uint32 value)
{
	bytes[offset] = static_cast<uint8>(value >> 24);
	bytes[offset + 1] = static_cast<uint8>(value >> 16);
	bytes[offset + 2] = static_cast<uint8>(value >> 8);
	bytes[offset + 3] = static_cast<uint8>(value);
}

void put_be16(std::vector<uint8> &bytes, size_t offset, uint16 value)
{
	bytes[offset] = static_cast<uint8>(value >> 8);
	bytes[offset + 1] = static_cast<uint8>(value);
}

class mesh_loading : public mesh_test_directory
{
protected:
	bool load_bytes(const std::vector<uint8> &bytes, int16 version = MESH_VERSION_NUMBER)
	{
		reset_error_state();
		return load_mesh_from_tag_data(bytes.data(), static_cast<int32>(bytes.size()), version, "test map") != FALSE;
	}
};

/* ---------- the stored header */

TEST_F(mesh_loading, header_fields_sit_at_their_offsets)
{
	EXPECT_EQ(get_byte_swap_struct_size(mesh_header_bs_data), 1024);
	EXPECT_EQ(get_byte_swap_struct_size(mesh_cell_bs_data), 12);
	EXPECT_EQ(get_byte_swap_struct_size(saved_connector_data_bs_data), 64);
	EXPECT_EQ(get_byte_swap_struct_size(marker_data_bs_data), 64);
	EXPECT_EQ(get_byte_swap_struct_size(marker_palette_entry_bs_data), 32);
	EXPECT_EQ(get_byte_swap_struct_size(media_definition_bs_data), 256);

	std::vector<uint8> bytes(1024);
	for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8>(i * 7 + 3);
	put_be32(bytes, 84, 0x11223344);   // team_count
	put_be32(bytes, 272, 0x3F800000);  // reverb_volume 1.0
	put_be32(bytes, 548, 0x00000001);  // extra_flags
	put_be16(bytes, 8, 2);             // submesh_width
	put_be16(bytes, 112, 0xFF38);      // ceiling_height -200
	put_be16(bytes, 122, 0x0102);      // edge_of_mesh_buffer_zones.right
	put_be32(bytes, 512, 0x41424344);  // team_names_override_string_list_tag

	mesh_header header;
	memcpy(&header, bytes.data(), sizeof(header));
	byte_swap_data("test", &header, sizeof(header), 1, mesh_header_bs_data);
	EXPECT_EQ(header.team_count, 0x11223344);
	EXPECT_EQ(header.reverb_volume, 1.0f);
	EXPECT_EQ(header.extra_flags, _mesh_extra_is_last_level_of_scenario_flag);
	EXPECT_EQ(header.submesh_width, 2);
	EXPECT_EQ(header.ceiling_height, -200);
	EXPECT_EQ(header.edge_of_mesh_buffer_zones.right, 0x0102);
	EXPECT_EQ(header.team_names_override_string_list_tag, TAG("ABCD"));

	// Slots, text, unused space, load-filled fields and editor data keep their bytes.
	const uint8 *swapped = reinterpret_cast<const uint8 *>(&header);
	for (size_t offset : {20u, 21u, 32u, 48u, 64u, 114u, 200u, 212u, 226u, 296u, 299u})
	{
		EXPECT_EQ(swapped[offset], bytes[offset]) << offset;
	}
	for (size_t offset = 300; offset < 492; ++offset) ASSERT_EQ(swapped[offset], bytes[offset]) << offset;
	for (size_t offset = 516; offset < 548; ++offset) ASSERT_EQ(swapped[offset], bytes[offset]) << offset;
	for (size_t offset = 552; offset < 1024; ++offset) ASSERT_EQ(swapped[offset], bytes[offset]) << offset;

	// Swapping back gives the stored bytes.
	byte_swap_data("test", &header, sizeof(header), 1, mesh_header_bs_data);
	EXPECT_EQ(memcmp(&header, bytes.data(), sizeof(header)), 0);
}

/* ---------- conversion */

mesh_header patterned_header(void)
{
	mesh_header header;
	uint8 *bytes = reinterpret_cast<uint8 *>(&header);
	for (size_t i = 0; i < sizeof(header); ++i) bytes[i] = static_cast<uint8>(0x5A ^ i);
	return header;
}

TEST_F(mesh_loading, old_headers_convert_one_step_at_a_time)
{
	mesh_header header = patterned_header();
	ASSERT_TRUE(convert_mesh_header_to_current_version(&header, 5));
	EXPECT_EQ(header.particle_system_tag, static_cast<file_tag>(NONE));
	EXPECT_EQ(header.dark_fraction, 230);
	EXPECT_EQ(header.dark_color.blue, 3932);
	EXPECT_EQ(header.dark_color.red, 0);
	EXPECT_EQ(header.transition_point, 62259);
	EXPECT_EQ(header.light_fraction, 25);
	EXPECT_EQ(header.light_color.red, 65535);
	EXPECT_EQ(header.light_color.green, 41287);
	EXPECT_EQ(header.light_color.blue, 0);
	EXPECT_EQ(header.light_color.flags, 0);
	EXPECT_EQ(header.connector_tag, static_cast<file_tag>(NONE));
	for (char c : header.cutscene_names) ASSERT_EQ(c, 0);
	EXPECT_EQ(header.hints_string_list_tag, static_cast<file_tag>(NONE));
	EXPECT_EQ(header.fog_color.red, 65535);
	EXPECT_EQ(header.fog_color.green, 65535);
	EXPECT_EQ(header.fog_color.blue, 65535);
	EXPECT_EQ(header.fog_color.flags, 0);
	EXPECT_EQ(header.fog_density, 0.0f);

	// Version 10 takes only the last step.
	mesh_header v10 = patterned_header();
	mesh_header expected = v10;
	ASSERT_TRUE(convert_mesh_header_to_current_version(&v10, 10));
	expected.hints_string_list_tag = static_cast<file_tag>(NONE);
	expected.fog_color = {65535, 65535, 65535, 0};
	expected.fog_density = 0.0f;
	EXPECT_EQ(memcmp(&v10, &expected, sizeof(v10)), 0);

	mesh_header untouched = patterned_header();
	EXPECT_FALSE(convert_mesh_header_to_current_version(&untouched, 4));
	EXPECT_FALSE(convert_mesh_header_to_current_version(&untouched, 12));
	mesh_header reference = patterned_header();
	EXPECT_EQ(memcmp(&untouched, &reference, sizeof(untouched)), 0);

	mesh_header converted;
	EXPECT_FALSE(convert_mesh_header(nullptr, NONE, 11, &reference, &converted));
	EXPECT_TRUE(convert_mesh_header(nullptr, NONE, 9, &reference, &converted));
	EXPECT_EQ(converted.fog_density, 0.0f);
}

TEST_F(mesh_loading, versions_outside_five_to_eleven_are_refused)
{
	test_map map;
	const std::vector<uint8> bytes = map.tag_data();
	EXPECT_FALSE(load_bytes(bytes, 4));
	EXPECT_EQ(get_error_code(), _error_data_version);
	EXPECT_NE(log_text().find("is too old (#4<#11)."), std::string::npos);
	EXPECT_FALSE(load_bytes(bytes, 12));
	EXPECT_NE(log_text().find("is too new (#12>#11)."), std::string::npos);
	EXPECT_TRUE(load_bytes(bytes, 7));
	EXPECT_EQ(get_mesh_header()->fog_color.red, 65535);
}

/* ---------- a whole map */

TEST_F(mesh_loading, sections_decode_into_their_own_records)
{
	test_map map;
	map.cell(3, 4).height = -300;
	map.cell(3, 4).normal = 0x1234;
	map.cell(3, 4).first_object_index = 17;
	map.cell(3, 4).model_index = 5;
	map.palette.push_back(test_palette_entry(_marker_team, TAG("obse")));
	map.palette.push_back(test_palette_entry(_marker_monster, TAG("unit"), 1));
	map.palette[1].extra_flags = 0x205;
	map.markers.push_back(test_marker(_marker_monster, 1005));
	map.markers[0].location.position = {1000, -2000, 300};
	map.markers[0].location.yaw = 0x4000;
	map.markers.push_back(test_marker(_marker_model, 0));
	map.markers[1].user_data[0] = 0x12;
	map.markers[1].user_data[1] = 0x34;
	saved_connector_data connector = {};
	connector.identifiers[0] = 1005;
	connector.count = 1;
	map.connectors.push_back(connector);
	map.LOD[7] = 0xABCD;
	std::vector<uint16> coverage(map.height() * 8, static_cast<uint16>(map.width() * 8));
	map.coverage = coverage;
	ASSERT_TRUE(map.load());

	EXPECT_EQ(mesh_globals->mesh_width, 64);
	EXPECT_EQ(mesh_globals->mesh_height, 96);
	const mesh_cell *cell = get_mesh_cell(3, 4);
	EXPECT_EQ(cell->height, -300);
	EXPECT_EQ(cell->normal, 0x1234);
	EXPECT_EQ(cell->first_object_index, NONE);
	EXPECT_EQ(cell->model_index, NONE);
	EXPECT_EQ(mesh_globals->min_cell_height, -300);

	ASSERT_EQ(mesh_globals->marker_palette_count, 2);
	EXPECT_EQ(mesh_globals->marker_palette[1].team_index, 1);
	EXPECT_EQ(mesh_globals->marker_palette[1].extra_flags, 0x205u);
	EXPECT_EQ(mesh_globals->marker_palette[1].tag, TAG("unit"));
	ASSERT_EQ(mesh_globals->marker_count, 2);
	EXPECT_EQ(mesh_globals->markers[0].identifier, 1005);
	EXPECT_EQ(mesh_globals->markers[0].location.position.y, -2000);
	EXPECT_EQ(mesh_globals->markers[0].location.yaw, 0x4000);
	// User data round-trips through its type's own layout.
	EXPECT_EQ(mesh_globals->markers[1].user_data[0], 0x12);
	EXPECT_EQ(mesh_globals->markers[1].user_data[1], 0x34);
	ASSERT_EQ(mesh_globals->connector_count, 1);
	EXPECT_EQ(mesh_globals->connectors[0].identifiers[0], 1005);
	EXPECT_EQ(mesh_globals->connectors[0].count, 1);
	EXPECT_EQ(mesh_globals->mesh_LOD_data[7], 0xABCD);
	EXPECT_EQ(mesh_globals->media_coverage_region[0], 512);
	EXPECT_EQ(get_render_test_hooks()->media_coverage_initializations, 1);

	dispose_mesh_from_old_map();
	EXPECT_FALSE(mesh_is_loaded());
	EXPECT_EQ(get_mesh_header(), nullptr);
}

/* ---------- corrupt maps */

struct corruption
{
	const char *name;
	std::function<void(test_map &)> change_map;
	std::function<void(std::vector<uint8> &)> change_bytes;
	const char *log_line;
};

TEST_F(mesh_loading, corrupt_maps_are_refused_cleanly)
{
	auto bytes_only = [](std::function<void(std::vector<uint8> &)> change) { return change; };
	const corruption cases[] = {
		{"narrow", nullptr, bytes_only([](auto &b) { put_be16(b, 8, 0); }), "has a bad size (#0 x #3 submeshes)"},
		{"wide", nullptr, bytes_only([](auto &b) { put_be16(b, 8, 9); }), "has a bad size"},
		{"tall", nullptr, bytes_only([](auto &b) { put_be16(b, 10, 0xFFFF); }), "has a bad size"},
		{"huge block", nullptr, bytes_only([](auto &b) { put_be32(b, 28, 0x7FFFFFF0); }), "has a bad data block"},
		{"block before tag", nullptr, bytes_only([](auto &b) { put_be32(b, 24, 0xFFFFFF00); }), "has a bad data block"},
		{"cells short", nullptr, bytes_only([](auto &b) { put_be32(b, 16, 64 * 96 * 12 - 12); }),
			"has a bad cells section"},
		{"cells outside", nullptr, bytes_only([](auto &b) { put_be32(b, 12, 70000); }), "has a bad cells section"},
		{"palette count", nullptr, bytes_only([](auto &b) { put_be32(b, 36, 3); }), "has a bad marker palette section"},
		{"palette negative", nullptr, bytes_only([](auto &b) { put_be32(b, 36, 0xFFFFFFFF); }),
			"has a bad marker palette section"},
		{"marker count", nullptr, bytes_only([](auto &b) { put_be32(b, 52, 40000); }), "has a bad markers section"},
		{"markers outside", [](test_map &m) { m.markers.push_back(test_marker(_marker_scenery, 0)); },
			bytes_only([](auto &b) { put_be32(b, 56, 0x7FFFFFFF); }), "has a bad markers section"},
		{"action count", nullptr, bytes_only([](auto &b) { put_be32(b, 128, 1025); }), "has a bad map actions section"},
		{"script identifier", nullptr, nullptr, "map actions: bad identifier (action #0, byte #0)."},
		{"action buffer", nullptr, bytes_only([](auto &b) { put_be32(b, 136, 98305); }),
			"has a bad map actions section"},
		{"actions beyond buffer", nullptr, bytes_only([](auto &b) { put_be32(b, 128, 2); }),
			"has a bad map actions section"},
		{"coverage odd", nullptr, bytes_only([](auto &b) { put_be32(b, 196, 3); }), "has a bad media coverage section"},
		{"LOD size", nullptr, bytes_only([](auto &b) { put_be32(b, 208, 2); }), "has a bad LOD section"},
		{"connector count", nullptr, bytes_only([](auto &b) { put_be32(b, 284, 2); }), "has a bad connectors section"},
		{"coverage unterminated", [](test_map &m) { m.coverage.assign(m.height() * 8, 5); }, nullptr,
			"has a bad media coverage section"},
		{"connector identifiers", [](test_map &m) {
			 saved_connector_data c = {};
			 c.count = 32;
			 m.connectors.push_back(c);
		 }, nullptr, "has a bad connectors section"},
		{"marker type", [](test_map &m) { m.markers.push_back(test_marker(12, 0)); }, nullptr, "unknown type #12"},
		{"marker type negative", [](test_map &m) { m.markers.push_back(test_marker(-1, 0)); }, nullptr,
			"unknown type #-1"},
		{"unused palette type", [](test_map &m) { m.palette.push_back(test_palette_entry(_marker_unused3, 0)); },
			nullptr, "unusable type #7"},
		{"team too high", [](test_map &m) { m.palette.push_back(test_palette_entry(_marker_monster, 0, 16)); },
			nullptr, "names the team #16"},
		{"team negative", [](test_map &m) { m.palette.push_back(test_palette_entry(_marker_monster, 0, -2)); },
			nullptr, "names the team #-2"},
	};

	for (const corruption &c : cases)
	{
		SCOPED_TRACE(c.name);
		test_map map;
		map.map_actions.assign(64, 0);
		map.map_action_count = 1;
		if (c.change_map) c.change_map(map);
		std::vector<uint8> bytes = map.tag_data();
		ASSERT_FALSE(bytes.empty());
		if (c.change_bytes) c.change_bytes(bytes);

		EXPECT_FALSE(load_bytes(bytes));
		EXPECT_EQ(get_error_code(), _error_data_corrupted);
		EXPECT_NE(log_text().find(c.log_line), std::string::npos) << log_text();
		EXPECT_FALSE(mesh_is_loaded());
		EXPECT_EQ(mesh_globals->data, nullptr);
		EXPECT_EQ(mesh_globals->markers, nullptr);
	}

	// The same map unchanged loads.
	test_map good;
	good.map_actions.assign(64, 0);
	good.map_actions[0] = 0x80; // identifier 0x8000
	good.map_action_count = 1;
	EXPECT_TRUE(load_bytes(good.tag_data()));
	EXPECT_NE(mesh_globals->map_actions, nullptr);

	// A tag too short for its header.
	const std::vector<uint8> short_tag(1000, 0);
	EXPECT_FALSE(load_bytes(short_tag));
}

TEST_F(mesh_loading, fresh_identifiers_that_cannot_fit_refuse_the_map)
{
	test_map map;
	for (int32 identifier = FIRST_FRESH_MARKER_IDENTIFIER; identifier <= MAXIMUM_MARKER_IDENTIFIER; ++identifier)
	{
		map.markers.push_back(test_marker(_marker_scenery, static_cast<int16>(identifier)));
	}
	map.markers.push_back(test_marker(_marker_scenery, 0));
	EXPECT_FALSE(load_bytes(map.tag_data()));
	EXPECT_NE(log_text().find("run out of identifiers"), std::string::npos);

	// One fewer used value leaves room for it.
	map.markers[5].identifier = 7;
	EXPECT_TRUE(load_bytes(map.tag_data()));
}

/* ---------- the stained map */

TEST_F(mesh_loading, stained_maps_go_to_their_folder_only)
{
	test_map map;
	ASSERT_TRUE(map.load());
	dispose_mesh_from_old_map();
	EXPECT_EQ(log_text().find("Exporting stained colormap"), std::string::npos);

	ASSERT_EQ(mkdir("stained_maps", 0755), 0);
	ASSERT_TRUE(map.load());
	dispose_mesh_from_old_map();
	// Without colour maps the export stops with a line.
	EXPECT_NE(log_text().find("Exporting stained colormap..."), std::string::npos);
	EXPECT_NE(log_text().find("Stained colormap not exported"), std::string::npos);
}

TEST_F(mesh_loading, stained_map_file_layout)
{
	ASSERT_EQ(mkdir("stained_maps", 0755), 0);
	mesh_test_hooks_data *hooks = get_mesh_test_hooks();
	hooks->use_fixed_time = TRUE;
	hooks->month = 3;
	hooks->day = 5;
	hooks->hour = 14;
	hooks->minute = 7;

	// Submesh n is filled with n + 1 and marks its own texel (0, 0) with 200 + n.
	std::vector<std::vector<uint8>> maps(6, std::vector<uint8>(256 * 256));
	const uint8 *pointers[6];
	for (int32 n = 0; n < 6; ++n)
	{
		std::fill(maps[n].begin(), maps[n].end(), static_cast<uint8>(n + 1));
		maps[n][0] = static_cast<uint8>(200 + n);
		pointers[n] = maps[n].data();
	}
	color_table colors = {};
	colors.color_count = 256;
	colors.colors[1] = {0x1100, 0x2200, 0x3300, 0};

	ASSERT_TRUE(write_stained_color_map(2, 3, pointers, &colors));
	const std::string name = "stained_maps/Stained map- Mar  5 14.07.bmp";
	const std::string file = read_test_file(name);
	ASSERT_EQ(file.size(), 394294u);
	auto le32 = [&](size_t at) {
		return static_cast<uint32>(static_cast<uint8>(file[at])) | static_cast<uint32>(static_cast<uint8>(file[at + 1])) << 8 |
			static_cast<uint32>(static_cast<uint8>(file[at + 2])) << 16 |
			static_cast<uint32>(static_cast<uint8>(file[at + 3])) << 24;
	};
	EXPECT_EQ(file.substr(0, 2), "BM");
	EXPECT_EQ(le32(2), 394294u);
	EXPECT_EQ(le32(10), 1078u);
	EXPECT_EQ(le32(14), 40u);
	EXPECT_EQ(le32(18), 512u);
	EXPECT_EQ(le32(22), 768u);
	EXPECT_EQ(le32(26), 0x00080001u); // one plane, 8 bits
	EXPECT_EQ(le32(30), 0u);
	// Palette entry 1: blue, green, red, 0.
	EXPECT_EQ(le32(54 + 4), 0x00112233u);

	auto pixel = [&](int32 column, int32 image_row) {
		return static_cast<uint8>(file[1078 + static_cast<size_t>(767 - image_row) * 512 + column]);
	};
	// Submesh (0, 0) sits at block column 1 (mirrored), block row 0; its
	// texel (0, 0) lands at the right end of its first row.
	EXPECT_EQ(pixel(511, 0), 200);
	EXPECT_EQ(pixel(256, 0), 1);
	EXPECT_EQ(pixel(255, 0), 201);     // submesh (1, 0) = index 1
	EXPECT_EQ(pixel(255, 256), 203);   // submesh (1, 1) = index 3
	EXPECT_EQ(pixel(511, 512), 204);   // submesh (0, 2) = index 4
	EXPECT_EQ(pixel(0, 767), 6);

	// A second export in the same minute keeps the first.
	ASSERT_TRUE(write_stained_color_map(2, 3, pointers, &colors));
	EXPECT_EQ(read_test_file("stained_maps/Stained map- Mar  5 14.07 #2.bmp").size(), 394294u);
	EXPECT_NE(log_text().find("Stained colormap saved to stained_maps/Stained map- Mar  5 14.07 #2.bmp"),
		std::string::npos);
}

/* ---------- maps without tags */

TEST_F(mesh_loading, a_missing_map_tag_fails_unless_a_test_asks_for_a_stand_in)
{
	EXPECT_FALSE(initialize_mesh_for_new_map(TAG("none")));
	EXPECT_FALSE(mesh_is_loaded());
	get_mesh_test_hooks()->initialize_for_new_map_answer = TRUE;
	EXPECT_TRUE(initialize_mesh_for_new_map(TAG("none")));
	EXPECT_TRUE(mesh_is_loaded());
	EXPECT_EQ(mesh_globals->mesh_width, 64);
	EXPECT_EQ(get_mesh_test_hooks()->initialize_for_new_map_count, 2);
}

} // namespace
