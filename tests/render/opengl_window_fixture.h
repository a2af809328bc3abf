// The OpenGL window tests' common set-up: the SDL platform with llvmpipe's
// vector width pinned, and the OpenGL device chosen with the settings the
// compared and pinned frames are drawn with.
#ifndef OPENGL_WINDOW_FIXTURE_H
#define OPENGL_WINDOW_FIXTURE_H

#include "main_test_fixture.h"

#include <sys/stat.h>

#include <cstdlib>

#include "inifile.h"

class opengl_window_test : public main_program_test
{
protected:
	void SetUp() override
	{
		setenv("LP_NATIVE_VECTOR_WIDTH", "128", 1);
		install_sdl_platform();
		main_program_test::SetUp();
		if (HasFatalFailure()) return;
		set_screen_parameters(-2, -2);
	}

	// Makes the OpenGL device active in its width x height mode with the
	// preference flags given; false without such a device and mode.
	bool select_opengl(int16 width, int16 height, uint32 preference_flags)
	{
		int16 device_index = NONE, mode_index = NONE;
		for (int16 i = 0; i < get_screen_device_count(); ++i)
		{
			if (get_screen_device(i)->rasterizer_code == _rasterizer_opengl) device_index = i;
		}
		if (device_index == NONE) return false;
		const device_info *device = get_screen_device(device_index);
		for (int16 i = 0; i < device->mode_count; ++i)
		{
			if (device->modes[i].width == width && device->modes[i].height == height) mode_index = i;
		}
		if (mode_index == NONE) return false;
		mkdir("preferences", 0777);
		write_test_file("preferences/poweruser.txt",
			"[Renderer.OpenGL]\nErasePreviousFrame = 1\nClearColor = 0\nUse32BitTextures = 1\n");
		inifile_free();
		inifile_load();
		active_screen.prefs.flags = _screen_pref_windowed_flag | preference_flags;
		active_screen.prefs.texture_cache_size = 64;
		set_active_screen(device_index, mode_index);
		return active_screen.rasterizer_code == _rasterizer_opengl;
	}
};

#endif
