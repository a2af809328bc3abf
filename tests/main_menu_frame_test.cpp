// The main menu as drawn: the golden frames, input on the buttons, fading.
#include "main_test_fixture.h"

#include <cstdio>
#include <string>

#include "crc.h"

namespace {

class MainMenuFrame : public main_program_test
{
protected:
	void SetUp() override
	{
		main_program_test::SetUp();
		// A fresh headless window for this test.
		set_screen_parameters(-2, -2);
	}

	// The first drawn frame after entering the menu.
	uint32 draw_frame(void)
	{
		rectangle2d frame;
		get_game_screen_bounds(&frame);
		bitmap_data *back_buffer = get_render_destination(0, &frame);
		EXPECT_NE(back_buffer, nullptr);
		render_dialogs(back_buffer);
		release_render_destination(back_buffer);
		return frame_digest();
	}

	uint32 frame_digest(void)
	{
		const screen_test_hooks_data *hooks = get_screen_test_hooks();
		std::string bytes;
		for (int32 y = 0; y < 480; ++y)
		{
			for (int32 x = 0; x < 640; ++x)
			{
				uint32 pixel;
				memcpy(&pixel, hooks->surface_pixels + y * hooks->surface_bytes_per_row + 4 * x, 4);
				pixel &= 0x00FFFFFF;
				for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<char>((pixel >> (8 * b)) & 0xFF));
			}
		}
		return calculate_data_crc(bytes.data(), static_cast<int32>(bytes.size()));
	}

	void dump(const char *path)
	{
		const screen_test_hooks_data *hooks = get_screen_test_hooks();
		FILE *file = fopen(path, "wb");
		fprintf(file, "P6\n640 480\n255\n");
		for (int32 y = 0; y < 480; ++y)
			for (int32 x = 0; x < 640; ++x)
			{
				const uint8 *p = hooks->surface_pixels + y * hooks->surface_bytes_per_row + 4 * x;
				fputc(p[2], file);
				fputc(p[1], file);
				fputc(p[0], file);
			}
		fclose(file);
	}
};

TEST_F(MainMenuFrame, static_menu_golden_frame)
{
	enter_state(_game_state_displaying_main_menu);
	const uint32 digest = draw_frame();
	if (getenv("ZERV_DUMP_FRAMES")) dump("/tmp/i18_menu_a.ppm");
	printf("golden A %08X\n", digest);
}

TEST_F(MainMenuFrame, overlay_menu_golden_frame)
{
	get_game_preferences()->flags &= ~_game_pref_static_main_menu_flag;
	enter_state(_game_state_displaying_main_menu);
	const uint32 digest = draw_frame();
	if (getenv("ZERV_DUMP_FRAMES")) dump("/tmp/i18_menu_b.ppm");
	printf("golden B %08X\n", digest);
}

}
