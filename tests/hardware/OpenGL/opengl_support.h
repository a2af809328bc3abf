// The recording-GL fixture of the OpenGL back end's unit tests: one OpenGL
// device at 1024 x 768, windowed, a settings file written before each start.
#ifndef OPENGL_SUPPORT_H
#define OPENGL_SUPPORT_H

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "CoreLibrary/zerv/error_manager.h"
#include "hardware/OpenGL/gl_prefs.h"
#include "hardware/OpenGL/setup_opengl.h"
#include "hardware/hardware_rasterizers.h"
#include "inifile.h"
#include "screen.h"
#include "support/recording_gl.h"
#include "support/test_directory.h"

class opengl_fixture : public zerv_test_directory
{
protected:
	void SetUp() override
	{
		zerv_test_directory::SetUp();
		initialize_error_state("zerv");
		install_recording_gl();
		use_device(0x20001);
	}
	void TearDown() override
	{
		if (rasterizer_initialized) dispose_opengl_rasterizer_from_old_map();
		inifile_free();
		clear_screen_devices();
		set_active_screen(NONE, NONE);
		zerv_test_directory::TearDown();
	}

	// Registers one OpenGL device of the version and makes it the active screen.
	void use_device(int32 version)
	{
		clear_screen_devices();
		device_info device = {};
		device.rasterizer_code = _rasterizer_opengl;
		device.mode_count = 1;
		snprintf(device.name, sizeof(device.name), "OpenGL");
		device.extra_data.opengl_version = version;
		device.extra_data.opengl2_device = version >= 0x20000;
		device.modes[0] = { 0, 1024, 768, 32, 0 };
		report_device(&device);
		active_screen.prefs.flags = _screen_pref_windowed_flag;
		active_screen.prefs.texture_cache_size = 64;
		set_active_screen(0, 0);
	}

	static void write_settings(const std::string &text)
	{
		inifile_free();
		mkdir("preferences", 0777);
		ASSERT_TRUE(write_test_file("preferences/poweruser.txt", "[Renderer.OpenGL]\n" + text));
		inifile_load();
	}

	static std::string log_text() { return read_test_file(ERROR_LOG_FILE_NAME); }
	static size_t count_in_log(const std::string &text)
	{
		const std::string log = log_text();
		size_t count = 0;
		for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
		return count;
	}
};

#endif
