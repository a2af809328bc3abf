#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstddef>
#include <string>

#include "CoreLibrary/zerv/error_manager.h"
#include "bitmap_dialogs/dialogs_ini.h"
#include "hardware/OpenGL/gl_prefs.h"
#include "inifile.h"
#include "support/test_directory.h"
#include "zerv_networking/zerv_networking_ini.h"

namespace
{
class IniFile : public zerv_test_directory
{
protected:
	void SetUp() override
	{
		zerv_test_directory::SetUp();
		initialize_error_state("zerv");
	}
	void TearDown() override
	{
		inifile_free();
		zerv_test_directory::TearDown();
	}

	static void write_settings(const std::string &text)
	{
		mkdir("preferences", 0777);
		ASSERT_TRUE(write_test_file("preferences/poweruser.txt", text));
	}

	static std::string log_text() { return read_test_file(ERROR_LOG_FILE_NAME); }

	static void read_all_sections()
	{
		inifile_readsec(&gl_prefs_section);
		inifile_readsec(&net_hosting_section);
		inifile_readsec(&net_plugin_lookup_section);
		inifile_readsec(&ui_section);
	}
};

struct list_settings
{
	double ratio;
	ini_string_list *names;
};

int32 list_defaults_calls = 0;
int32 list_verify_calls = 0;

const ini_entry list_definition[] =
{
	{ "Ratio", ini_double, static_cast<int32>(offsetof(list_settings, ratio)) },
	{ "Name", ini_list_of_strings, static_cast<int32>(offsetof(list_settings, names)) },
	{ nullptr, ini_bool, 0 }
};

list_settings list_current;
list_settings list_default;

void list_defaults(void *record)
{
	list_defaults_calls += 1;
	static_cast<list_settings *>(record)->ratio = 0.75;
}

void list_verify(void *record)
{
	list_verify_calls += 1;
	if (static_cast<list_settings *>(record)->ratio > 1.0) static_cast<list_settings *>(record)->ratio = 1.0;
}

ini_section list_section = { "Lists", list_defaults, list_verify, list_definition, &list_current, &list_default };
}

TEST_F(IniFile, MissingFileGivesEveryDefault)
{
	inifile_load();
	EXPECT_EQ(ini_dict, nullptr);
	EXPECT_NE(log_text().find("Loading poweruser.txt... not found.\n"), std::string::npos);

	read_all_sections();
	EXPECT_EQ(gl_prefs.clear_color, 0);
	EXPECT_FALSE(gl_prefs.erase_previous_frame);
	EXPECT_TRUE(gl_prefs.reuse_context);
	EXPECT_EQ(gl_prefs.texture_lod_bias, -0.5f);
	EXPECT_TRUE(gl_prefs.use_apple_client_storage);
	EXPECT_TRUE(gl_prefs.use_depth_test);
	EXPECT_TRUE(gl_prefs.update_cmap_chunked);
	EXPECT_EQ(net_hosting_prefs.port_number, 3453);
	EXPECT_STREQ(net_plugin_lookup_prefs.web_url, "");
	EXPECT_FALSE(ui_prefs.debug_control_bounds);
}

TEST_F(IniFile, SampleFileFillsTheFourSections)
{
	// No line end after the last line: it is still read.
	write_settings(
		"[Renderer.OpenGL]\n"
		"ClearColor = 0x00FF00\n"
		"ErasePreviousFrame = yes\n"
		"TextureLodBias = 0.1\n"
		"UseNPO2Textures = 1\n"
		"UseMipMaps = 0\n"
		"UseShaders = true\n"
		"[Net.Hosting]\n"
		"PortNumber = 4000\n"
		"[Net.PluginLookup]\n"
		"WebUrl = \"http://example.invalid/lookup;x\"\n"
		"[UI]\n"
		"DebugControlBounds = Y");
	inifile_load();
	ASSERT_NE(ini_dict, nullptr);
	EXPECT_NE(log_text().find("Loading poweruser.txt... OK.\n"), std::string::npos);

	gl_prefs_defaults.use_mip_maps = TRUE;
	read_all_sections();
	EXPECT_EQ(gl_prefs.clear_color, 0x00FF00);
	EXPECT_TRUE(gl_prefs.erase_previous_frame);
	// A float setting is read as a double and narrowed.
	EXPECT_EQ(gl_prefs.texture_lod_bias, static_cast<float>(0.1));
	EXPECT_TRUE(gl_prefs.use_npo2_textures);
	EXPECT_FALSE(gl_prefs.use_mip_maps);
	EXPECT_TRUE(gl_prefs.use_shaders);
	EXPECT_FALSE(gl_prefs.use_32bit_textures);
	EXPECT_EQ(net_hosting_prefs.port_number, 4000);
	EXPECT_STREQ(net_plugin_lookup_prefs.web_url, "http://example.invalid/lookup;x");
	EXPECT_TRUE(ui_prefs.debug_control_bounds);
}

TEST_F(IniFile, BadLinesAreCountedInTheLog)
{
	write_settings("; old-style comment\n[Net.Hosting]\nPortNumber = 5000\n[UI\n");
	inifile_load();
	ASSERT_NE(ini_dict, nullptr);
	EXPECT_NE(log_text().find("Loading poweruser.txt... OK (#2 bad lines skipped).\n"), std::string::npos);
	inifile_readsec(&net_hosting_section);
	EXPECT_EQ(net_hosting_prefs.port_number, 5000);
}

TEST_F(IniFile, ListsDoublesAndProcedures)
{
	write_settings("[Lists]\nRatio = 3.5\nName = first\nName = second\n");
	inifile_load();
	list_defaults_calls = 0;
	list_verify_calls = 0;
	inifile_readsec(&list_section);
	EXPECT_EQ(list_defaults_calls, 1);
	EXPECT_EQ(list_verify_calls, 1);
	EXPECT_EQ(list_current.ratio, 1.0);
	ASSERT_NE(list_current.names, nullptr);
	ASSERT_EQ(list_current.names->count, 2);
	EXPECT_STREQ(list_current.names->strings[0], "first");
	EXPECT_STREQ(list_current.names->strings[1], "second");
	inifile_freesec(&list_section);
	EXPECT_EQ(list_current.names, nullptr);

	// A reload replaces the dictionary; without the key the list is empty.
	write_settings("[Lists]\n");
	inifile_load();
	inifile_readsec(&list_section);
	EXPECT_EQ(list_current.ratio, 0.75);
	ASSERT_NE(list_current.names, nullptr);
	EXPECT_EQ(list_current.names->count, 0);
	EXPECT_EQ(list_current.names->strings, nullptr);
	inifile_freesec(&list_section);
	// Freeing twice is harmless.
	inifile_freesec(&list_section);
}

TEST_F(IniFile, SectionLineNamedLikeAKeyGivesNoValue)
{
	write_settings("[Lists]\nName = first\n[Lists:Name]\n[Net.PluginLookup:WebUrl]\n");
	inifile_load();
	inifile_readsec(&net_plugin_lookup_section);
	EXPECT_STREQ(net_plugin_lookup_prefs.web_url, "");
	inifile_readsec(&list_section);
	ASSERT_NE(list_current.names, nullptr);
	ASSERT_EQ(list_current.names->count, 1);
	EXPECT_STREQ(list_current.names->strings[0], "first");
	inifile_freesec(&list_section);
}
