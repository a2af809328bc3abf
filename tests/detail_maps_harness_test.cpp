// The demo map started with an OpenGL-class rasterizer, landscape textures
// and a fake back end: its detail map loads, and the game plays exactly as
// without it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/console.h"
#include "crc.h"
#include "detail_content.h"
#include "detail_maps.h"
#include "error_manager.h"
#include "hardware/hardware_rasterizers.h"
#include "main_globals.h"
#include "mesh_content.h"
#include "screen.h"
#include "support/test_directory.h"
#include "support/zerv_harness.h"
#include "tag_files/tag_files.h"

namespace {

int32 textures_made = 0, textures_freed = 0;

void count_create(detail_texture_definition *definition)
{
	textures_made += 1;
	definition->hardware_format = static_cast<uint32>(textures_made);
}

void count_dispose(detail_texture_definition *)
{
	textures_freed += 1;
}

class detail_maps_harness : public zerv_harness_fixture
{
protected:
	active_color_environment saved_screen;

	void SetUp() override
	{
		zerv_harness_fixture::SetUp();
		saved_screen = active_screen;
		textures_made = textures_freed = 0;
	}
	void TearDown() override
	{
		install_opengl_rasterizer_procedures(nullptr);
		active_screen = saved_screen;
		zerv_harness_fixture::TearDown();
	}

	// The demo map under a fake OpenGL back end that counts detail textures.
	static bool start_demo_with_landscape_textures(void)
	{
		static opengl_rasterizer_procedures procedures = {};
		procedures.initialize_opengl_rasterizer_for_new_map = []() -> boolean { return TRUE; };
		procedures.create_detail_texture_opengl = count_create;
		procedures.dispose_detail_texture_opengl = count_dispose;
		install_opengl_rasterizer_procedures(&procedures);
		active_screen.rasterizer_code = _rasterizer_opengl;
		active_screen.prefs.flags |= _screen_pref_landscape_textures_flag;
		new_game_data setup;
		harness_default_setup(&setup);
		setup.parameters.scenario_tag = DEMO_MAP_MESH_TAG;
		return harness_start_map(&setup);
	}

	static std::vector<harness_digest_entry> play_demo(int32 ticks)
	{
		new_game_data setup;
		harness_default_setup(&setup);
		setup.parameters.scenario_tag = DEMO_MAP_MESH_TAG;
		EXPECT_TRUE(harness_start_map(&setup));
		EXPECT_EQ(harness_run_ticks(ticks), ticks);
		return harness_digest_trail();
	}
};

} // namespace

TEST_F(detail_maps_harness, the_demo_map_takes_its_detail_map_and_plays_the_same)
{
	const std::vector<harness_digest_entry> plain = play_demo(300);
	EXPECT_FALSE(detail_maps_active());
	harness_end_map();

	ASSERT_TRUE(start_demo_with_landscape_textures());
	EXPECT_TRUE(detail_maps_active());
	EXPECT_EQ(read_test_file(ERROR_LOG_FILE_NAME).find("Warning: Detail map"), std::string::npos);
	// Grass (twice, folded), rock, sand, dry grass and mud; the pebbles are used by nothing.
	EXPECT_EQ(textures_made, 5);
	ASSERT_NE(detail_map_layer_info, nullptr);
	EXPECT_EQ(detail_map_layer_row_cells, 64);
	EXPECT_EQ(calculate_data_crc(detail_map_layer_info, 64 * 96 * 8), 0xD52D428Fu) << "layer words";
	EXPECT_EQ(harness_run_ticks(300), 300);
	const std::vector<harness_digest_entry> detailed = harness_digest_trail();

	// The hot key turns it off and on again, and says so.
	adjust_landscape_filtering();
	EXPECT_FALSE(detail_maps_active());
	EXPECT_STREQ(get_console_test_hooks()->popup_title, "Detail Texturing");
	EXPECT_STREQ(get_console_test_hooks()->popup_text, "OFF");
	adjust_landscape_filtering();
	EXPECT_TRUE(detail_maps_active());
	EXPECT_STREQ(get_console_test_hooks()->popup_text, "ON");

	// The preference changes during the map: the textures are freed all the same.
	active_screen.prefs.flags &= ~_screen_pref_landscape_textures_flag;
	harness_end_map();
	EXPECT_EQ(textures_freed, textures_made);
	EXPECT_EQ(detail_map_layer_info, nullptr);

	ASSERT_EQ(plain.size(), detailed.size());
	for (size_t i = 0; i < plain.size(); ++i)
	{
		ASSERT_EQ(plain[i].game_time, detailed[i].game_time);
		ASSERT_EQ(plain[i].digest, detailed[i].digest) << "tick " << plain[i].game_time;
	}
	EXPECT_TRUE(harness_write_test_digest_trail(detailed));
}

TEST_F(detail_maps_harness, a_detail_map_of_another_size_is_not_applied)
{
	// A local 'dmap' under the demo's landscape tag, half the mesh's width, shadows the generated one.
	detail_map_description small = empty_detail_map(32, 96);
	small.entries[1] = detail_entry(TAG("grs0"), 7, "grass");
	for (uint8 &index : small.vertex_indexes) index = 1;
	const std::vector<uint8> bytes = detail_map_tag_data(small);
	ASSERT_NE(tag_file_new_with_subgroup_tag(DETAIL_MAP_DEFINITION_GROUP_TAG, "small details", DEMO_LANDSCAPE_COLLECTION_TAG,
		DETAIL_MAP_DEFINITION_VERSION_NUMBER, bytes.data(), static_cast<int32>(bytes.size())), NONE);

	ASSERT_TRUE(start_demo_with_landscape_textures());
	EXPECT_NE(read_test_file(ERROR_LOG_FILE_NAME).find(
		"Warning: Detail map not applied because its dimensions do not match mesh."), std::string::npos);
	EXPECT_FALSE(detail_maps_active());
	EXPECT_EQ(detail_map_layer_info, nullptr);
	EXPECT_EQ(hardware_format_detail_textures[1], 0u);
	harness_end_map();
	EXPECT_EQ(textures_freed, textures_made);
}
