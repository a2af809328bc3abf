// The map through the tag files: headers read alone, and map loads through
// the definition loader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CoreLibrary/zerv/error_manager.h"
#include "definitions.h"
#include "mesh_test_map.h"
#include "support/tag_files_test_directory.h"
#include "tag_files/tag_files.h"
#include "zerv.h"

namespace {

class mesh_tags : public tag_files_test_directory
{
protected:
	void SetUp() override
	{
		tag_files_test_directory::SetUp();
		preinitialize_definitions();
		initialize_media_definitions();
		initialize_mesh_test_modules();
		game_play_version = 1720;
	}
	void TearDown() override
	{
		dispose_mesh_from_old_map();
		dispose_media_definitions_from_old_map();
		tag_files_test_directory::TearDown();
	}

	static int32 write_mesh_tag(file_tag subgroup, const std::vector<uint8> &bytes, int16 version = MESH_VERSION_NUMBER,
		int32 size = -1)
	{
		return tag_file_new_with_subgroup_tag(MESH_DEFINITION_GROUP_TAG, tag_to_string(subgroup), subgroup, version,
			bytes.data(), size < 0 ? static_cast<int32>(bytes.size()) : size);
	}
};

TEST_F(mesh_tags, headers_are_read_converted_and_checked)
{
	test_map map;
	map.header.flags = _mesh_is_single_player_entry_point_flag | 0x205;
	map.header.team_count = 2;
	map.header.fog_density = 0.5f;
	memset(map.header.plugin_name, 'x', sizeof(map.header.plugin_name));
	const std::vector<uint8> bytes = map.tag_data();
	ASSERT_NE(write_mesh_tag(TAG("now "), bytes), NONE);
	ASSERT_NE(write_mesh_tag(TAG("old "), bytes, 7), NONE);
	ASSERT_NE(write_mesh_tag(TAG("new "), bytes, 12), NONE);
	ASSERT_NE(write_mesh_tag(TAG("tiny"), bytes, MESH_VERSION_NUMBER, 1000), NONE);

	mesh_header header;
	ASSERT_TRUE(read_mesh_header(TAG("now "), &header));
	EXPECT_EQ(header.flags, _mesh_is_single_player_entry_point_flag | 0x205u);
	EXPECT_EQ(header.team_count, 2);
	EXPECT_EQ(header.fog_density, 0.5f);
	EXPECT_EQ(header.submesh_width, 2);
	EXPECT_EQ(header.plugin_name[MESH_PLUGIN_NAME_SIZE - 1], 0);

	// A version-7 tag is seen with version-11 fields.
	ASSERT_TRUE(read_mesh_header(TAG("old "), &header));
	EXPECT_EQ(header.fog_density, 0.0f);
	EXPECT_EQ(header.fog_color.red, 65535);
	EXPECT_EQ(header.dark_fraction, 230);
	EXPECT_EQ(header.team_count, 2);

	EXPECT_FALSE(read_mesh_header(TAG("new "), &header));
	EXPECT_FALSE(read_mesh_header(TAG("tiny"), &header));
	EXPECT_FALSE(read_mesh_header(TAG("none"), &header));
	EXPECT_FALSE(read_mesh_header(TAG("now "), nullptr));
	EXPECT_EQ(get_mesh_test_hooks()->read_mesh_header_count, 6);
}

TEST_F(mesh_tags, a_map_without_its_collection_or_media_does_not_load)
{
	test_map map;
	map.header.landscape_collection_tag = TAG("none");
	map.header.media_tag = TAG("none");
	ASSERT_NE(write_mesh_tag(TAG("lost"), map.tag_data()), NONE);

	EXPECT_FALSE(initialize_mesh_for_new_map(TAG("lost")));
	EXPECT_FALSE(mesh_is_loaded());
	EXPECT_NE(log_text().find("mesh definition postprocess failed on 'lost'."), std::string::npos);
	dispose_mesh_from_old_map();

	// Twice in a row, the second start behaves as the first.
	EXPECT_FALSE(initialize_mesh_for_new_map(TAG("lost")));
	EXPECT_EQ(get_mesh_test_hooks()->initialize_for_new_map_count, 2);
}

TEST_F(mesh_tags, media_definitions_need_their_collection_reference)
{
	media_definition media = default_media_definition;
	media.collection_reference_tag = TAG("none");
	media.projectile_group_tags[0] = TAG("splh");
	uint8 bytes[sizeof(media_definition)];
	byte_swap_move("test", bytes, &media, sizeof(media), 1, media_definition_bs_data);
	ASSERT_NE(tag_file_new_with_subgroup_tag(MEDIA_DEFINITION_GROUP_TAG, "water", TAG("watr"), 1, bytes, sizeof(bytes)),
		NONE);

	initialize_media_definitions_for_new_map();
	EXPECT_EQ(media_definition_tag_to_index(TAG("watr")), NONE);
	EXPECT_NE(log_text().find("media definition postprocess failed on 'water'."), std::string::npos);
	EXPECT_EQ(get_media_definition(NONE), nullptr);
	EXPECT_EQ(get_default_media_definition()->collection_reference_tag, static_cast<file_tag>(NONE));
	EXPECT_EQ(get_default_media_definition()->projectile_group_types[15], NONE);
}

} // namespace
