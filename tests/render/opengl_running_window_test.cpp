// A game entered with the OpenGL device under Xvfb: the set-up's log lines,
// frames without GL errors, and everything given back when the game ends.
#include "opengl_window_fixture.h"

#include <cstdlib>

#include "hardware/OpenGL/setup_opengl.h"
#include "hardware/OpenGL/render_opengl.h"
#include "zerv.h"

namespace {

class OpenGLLifeCycle : public opengl_window_test
{
protected:
	void SetUp() override
	{
		opengl_window_test::SetUp();
		if (HasFatalFailure()) return;
		enter_state(_game_state_displaying_main_menu);
		harness_default_setup(&main_globals.new_game_data);
	}
	void TearDown() override
	{
		if (game->state == _game_state_running) enter_state(_game_state_displaying_main_menu);
		main_program_test::TearDown();
	}
};

}

TEST_F(OpenGLLifeCycle, a_game_runs_and_ends_through_opengl)
{
	int16 device_index = NONE, mode_index = NONE;
	for (int16 i = 0; i < get_screen_device_count(); ++i)
	{
		if (get_screen_device(i)->rasterizer_code == _rasterizer_opengl) device_index = i;
	}
	if (device_index == NONE) GTEST_SKIP() << "no OpenGL device";
	const device_info *device = get_screen_device(device_index);
	for (int16 i = 0; i < device->mode_count; ++i)
	{
		if (device->modes[i].width == 1024 && device->modes[i].height == 768) mode_index = i;
	}
	ASSERT_NE(mode_index, NONE);
	active_screen.prefs.device_index = device_index;
	active_screen.prefs.mode_index = mode_index;
	active_screen.prefs.flags |= _screen_pref_windowed_flag;
	active_screen.prefs.texture_cache_size = 64;

	enter_state(_game_state_running);
	ASSERT_EQ(game->state, _game_state_running);
	ASSERT_TRUE(rasterizer_initialized);
	for (int32 frame = 0; frame < 5; ++frame) idle_zerv(1, FALSE);
	EXPECT_GE(frame_index, 1);
	EXPECT_EQ(opengl_api.glGetError(), static_cast<GLenum>(GL_NO_ERROR));
	const std::string log = log_text();
	EXPECT_NE(log.find("Running OpenGL at 1024 x 768"), std::string::npos) << log;
	EXPECT_NE(log.find("UseShaders=1"), std::string::npos) << log;

	enter_state(_game_state_displaying_main_menu);
	EXPECT_FALSE(rasterizer_initialized);
	EXPECT_EQ(program_count, 0);
	EXPECT_EQ(cached_bitmap_count, 0);
	EXPECT_EQ(active_screen.rasterizer_code, _rasterizer_software);
}
