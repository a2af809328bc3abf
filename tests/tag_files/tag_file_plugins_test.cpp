// Patches and checksums, the plugin order of one map, and encoded plugin lists.
#include "tag_files/tag_files_test_support.h"

#include <dirent.h>

#include "bitmap_dialogs/screens.h"
#include "metaserver/metaserver.h"
#include "tag_files/required_tag_files.h"
#include "zerv.h"
#include "zerv_networking/zerv_networking.h"

using namespace tag_files_test;

namespace
{
class tag_files_patches : public fixture
{
protected:
	void TearDown() override
	{
		chosen_interface[0] = 0;
		fixture::TearDown();
	}

	static void remove_generated_plugins(void)
	{
		for (const known_tag_file &known : default_plugin_files)
		{
			remove((std::string("plugins/") + known.name).c_str());
		}
	}

	static bool build_patch(const char *name, int16 type, int16 version, const std::string &text)
	{
		return build_file("plugins", name, type, version, { { TAG("text"), tag_files_string_to_tag(name), name, text } });
	}

	static std::vector<std::string> patch_names(void)
	{
		std::vector<std::string> names;
		plugin_info info;
		for (int16 i = 0; i < tag_file_globals.patch_count; ++i)
		{
			if (tag_file_indexed_plugin_get(tag_file_globals.patch_plugin_indexes[i], &info)) names.push_back(info.name);
		}
		return names;
	}
};

class tag_files_plugin_order : public fixture
{
protected:
	void SetUp() override
	{
		fixture::SetUp();
		reset_metaserver_test_hooks();
	}

	static void build_plugin(const char *name, bool map, int16 flags, const char *url = nullptr)
	{
		std::vector<tag_spec> specs = { { TAG("text"), tag_files_string_to_tag(name), name, name } };
		if (map) specs.push_back({ TAG("mesh"), tag_files_string_to_tag(name), name, std::string(64, 'm') });
		ASSERT_TRUE(build_file("plugins", name, _tag_file_type_plugin, flags, specs, url));
	}

	static std::vector<std::string> order(std::vector<const char *> names, const char *entry_point,
		const char *required = nullptr, boolean *use_vqel = nullptr, boolean *result = nullptr)
	{
		std::vector<int16> in;
		for (const char *name : names) in.push_back(plugin_index_named(name));
		int16 out[MAXIMUM_ENCODED_PLUGINS];
		int16 out_count = 0;
		boolean vqel = FALSE;
		const boolean built = tag_files_build_plugin_indices_for_entrypoint(out, &out_count, MAXIMUM_ENCODED_PLUGINS,
			in.data(), static_cast<int16>(in.size()), static_cast<int16>(in.size()),
			entry_point ? plugin_index_named(entry_point) : static_cast<int16>(NONE),
			required, &vqel);
		if (use_vqel) *use_vqel = vqel;
		if (result) *result = built;
		std::vector<std::string> ordered;
		plugin_info info;
		for (int16 i = 0; i < out_count; ++i)
		{
			tag_file_indexed_plugin_get(out[i], &info);
			ordered.push_back(info.name);
		}
		return ordered;
	}
};

class tag_files_encoded_list : public fixture
{
};

using names = std::vector<std::string>;
}

TEST_F(tag_files_patches, RequiredFilesOfTheGeneratedSet)
{
	ASSERT_TRUE(install_placeholder_foundation_files("."));
	EXPECT_EQ(tag_files_count_required_files(), NUMBER_OF_REQUIRED_TAG_FILES);
	EXPECT_TRUE(tag_files_required_patches_present());

	ASSERT_EQ(rename("plugins/Patch 3", "plugins/Patch Three"), 0);
	EXPECT_FALSE(tag_files_required_patches_present());
	ASSERT_EQ(rename("plugins/Patch Three", "plugins/Patch 3"), 0);

	std::string bytes = read_test_file("plugins/Compatibility Rules 2");
	put_big_endian(&bytes, 104, big_endian_32(bytes, 104) ^ 1, 4);
	ASSERT_TRUE(write_test_file("plugins/Compatibility Rules 2", bytes));
	EXPECT_FALSE(tag_files_required_patches_present());
	EXPECT_EQ(tag_files_count_required_files(), NUMBER_OF_REQUIRED_TAG_FILES - 1);
}

TEST_F(tag_files_patches, HighestCompleteVersionAndMissingVersions)
{
	ASSERT_TRUE(install_placeholder_foundation_files("."));
	remove_generated_plugins();
	ASSERT_TRUE(build_patch("Patch 2", _tag_file_type_patch, 2, "two"));
	ASSERT_TRUE(build_patch("Patch 3", _tag_file_type_patch, 3, "three"));
	ASSERT_TRUE(build_patch("Patch 5", _tag_file_type_patch, 5, "five"));
	ASSERT_TRUE(tag_files_open(FALSE, nullptr, 0, NONE));
	tag_files_update_available_plugins();
	EXPECT_EQ(tag_files_get_patch_version(), 3);
	ASSERT_TRUE(tag_files_open(FALSE, nullptr, 0, NONE));
	EXPECT_EQ(tag_files_get_current_patch_version(), 3);
	EXPECT_EQ(patch_names(), (names{ "Patch 2", "Patch 3" }));
	EXPECT_EQ(tag_file_open(TAG("text"), tag_files_string_to_tag("Patch 5")), NONE);

	// Without version 2 a request for 3 loads no patch and fails.
	ASSERT_EQ(remove("plugins/Patch 2"), 0);
	tag_files_update_available_plugins();
	EXPECT_EQ(tag_files_get_patch_version(), 1);
	EXPECT_FALSE(tag_files_open(FALSE, nullptr, 0, 3));
	EXPECT_EQ(tag_file_globals.patch_count, 0);
	EXPECT_EQ(tag_file_open(TAG("text"), tag_files_string_to_tag("Patch 3")), NONE);
	EXPECT_NE(read_test_file("zerv_log.txt").find("Error: tag_file_open - foundation=1 patch=0 plugin=1 local=0"),
		std::string::npos);
}

TEST_F(tag_files_patches, ChecksumsFollowTheFormula)
{
	open_generated_set();
	ASSERT_EQ(tag_files_get_patch_version(), 5);
	ASSERT_TRUE(tag_files_open(FALSE, nullptr, 0, NONE));
	EXPECT_EQ(patch_names(), (names{ "Patch 2", "Patch 3", "Patch 4", "Interface Patch", "Patch 5" }));

	uint32 foundation = 0x101;
	for (const char *name : foundation_file_names) foundation ^= big_endian_32(read_test_file(std::string("tags/") + name), 104);
	const uint32 patches = 0x7A760002u ^ 0x7A760003u ^ 0x7A760004u ^ 0x7A760005u ^ 0x7A7600F5u;
	EXPECT_EQ(tag_file_globals.patch_checksum, patches);
	EXPECT_EQ(tag_files_get_foundation_checksum(), foundation ^ patches);
	refresh_foundation_checksum();
	EXPECT_EQ(tag_files_get_foundation_checksum(), foundation ^ patches);
	EXPECT_EQ(tag_files_get_patch_checksum(4), 0x7A760004u);
	// Two patches of version 5: the first in catalogue (name) order.
	EXPECT_EQ(tag_files_get_patch_checksum(5), 0x7A7600F5u);
	EXPECT_EQ(tag_files_get_patch_checksum(6), 0u);

	// Below the highest version the patch checksum is neither reset nor added to.
	ASSERT_TRUE(tag_files_open(FALSE, nullptr, 0, 3));
	EXPECT_EQ(tag_file_globals.patch_checksum, patches);
	EXPECT_EQ(patch_names(), (names{ "Patch 2", "Patch 3" }));
	EXPECT_EQ(tag_files_get_foundation_checksum(), foundation ^ patches);
}

TEST_F(tag_files_patches, ChosenInterfaceComesWithTheBaseInterfacePatch)
{
	ASSERT_TRUE(install_placeholder_foundation_files("."));
	ASSERT_TRUE(build_patch("My Interface", _tag_file_type_interface, 5, "skin"));
	ASSERT_TRUE(tag_files_open(FALSE, nullptr, 0, NONE));
	tag_files_update_available_plugins();
	strcpy(chosen_interface, "My Interface");
	ASSERT_TRUE(tag_files_open(FALSE, nullptr, 0, NONE));
	EXPECT_EQ(patch_names(), (names{ "Patch 2", "Patch 3", "Patch 4", "Interface Patch", "My Interface", "Patch 5" }));
	const uint32 interface_checksum = big_endian_32(read_test_file("plugins/My Interface"), 104);
	EXPECT_EQ(tag_file_globals.patch_checksum,
		0x7A760002u ^ 0x7A760003u ^ 0x7A760004u ^ 0x7A760005u ^ interface_checksum);
	EXPECT_EQ(read_tag(tag_file_open(TAG("text"), tag_files_string_to_tag("My Interface"))), "skin");

	// A name that no interface file has is cleared when the patches load with logging.
	strcpy(chosen_interface, "Nowhere");
	ASSERT_TRUE(tag_files_open(FALSE, nullptr, 0, 4));
	EXPECT_STREQ(chosen_interface, "");
}

TEST_F(tag_files_patches, AddOnsAboveTheLastVersionLoadAfterThePatches)
{
	ASSERT_TRUE(install_placeholder_foundation_files("."));
	ASSERT_TRUE(build_file("plugins", "Add On 7", _tag_file_type_add_on, 7,
		{ { TAG("stli"), TAG("addo"), "add on list", "Added" }, { TAG("mesh"), TAG("addm"), "add on map", "map" } }));
	ASSERT_TRUE(tag_files_open(FALSE, nullptr, 0, NONE));
	tag_files_update_available_plugins();
	ASSERT_TRUE(tag_files_open(FALSE, nullptr, 0, NONE));
	EXPECT_EQ(read_tag(tag_file_open(TAG("stli"), TAG("addo"))), "Added");
	EXPECT_EQ(tag_file_open(TAG("mesh"), TAG("addm")), NONE);
}

TEST_F(tag_files_plugin_order, ClassesAndLoadOrderFlags)
{
	build_plugin("Map Plain", true, 0);
	build_plugin("Map First", true, _plugin_load_order_reversed_flag);
	build_plugin("Map Enforced", true, _plugin_load_order_enforced_flag);
	build_plugin("Tagsets Last Map 2", true, 0);
	build_plugin("Set Plain", false, 0);
	build_plugin("Set Reversed", false, _plugin_load_order_reversed_flag);
	open_generated_set();

	EXPECT_EQ(order({ "Set Reversed", "Map Plain", "Set Plain", "Map First" }, "Map Plain"),
		(names{ "Set Plain", "Map Plain", "Set Reversed" }));
	// A map plugin with flag 1 loads first, so the tagsets shadow it.
	EXPECT_EQ(order({ "Set Plain", "Map First" }, "Map First"), (names{ "Map First", "Set Plain" }));
	EXPECT_EQ(order({ "Set Reversed", "Map Enforced", "Set Plain" }, "Map Enforced"),
		(names{ "Set Reversed", "Set Plain", "Map Enforced" }));
	EXPECT_EQ(order({ "Set Plain", "Tagsets Last Map 2", "Set Reversed" }, "Tagsets Last Map 2"),
		(names{ "Tagsets Last Map 2", "Set Plain", "Set Reversed" }));
}

TEST_F(tag_files_plugin_order, DependenciesAndTheMissingTagsetQuestion)
{
	build_plugin("Set A", false, _plugin_relies_on_another_plugin_flag, "Set B");
	build_plugin("Set B", false, _plugin_relies_on_another_plugin_flag, "Set C");
	build_plugin("Set C", false, 0);
	build_plugin("Set D", false, _plugin_relies_on_another_plugin_flag, "Set Missing");
	build_plugin("Web Set", false, _plugin_relies_on_another_plugin_flag, "www.example.org/Set Missing");
	build_plugin("Map", true, 0);
	open_generated_set();

	boolean result = FALSE;
	EXPECT_EQ(order({ "Map", "Set A" }, "Map", nullptr, nullptr, &result), (names{ "Set A", "Set B", "Set C", "Map" }));
	EXPECT_TRUE(result);
	// The url of a web address loses the flag and needs nothing.
	EXPECT_EQ(order({ "Web Set" }, "Map", nullptr, nullptr, &result), (names{ "Web Set" }));
	EXPECT_TRUE(result);
	EXPECT_EQ(least_call_count(&get_metaserver_test_hooks()->calls, "metaserver_query_dialog"), 0);

	get_metaserver_test_hooks()->query_answer = FALSE;
	order({ "Set D" }, "Map", nullptr, nullptr, &result);
	EXPECT_FALSE(result);
	EXPECT_STREQ(least_call_text(&get_metaserver_test_hooks()->calls, "metaserver_query_dialog"),
		"Missing tagset plugin required: \"Set Missing\". (With some old plugins, this message may appear even if "
		"everything is fine.) Continue anyways?");
	get_metaserver_test_hooks()->query_answer = TRUE;
	order({ "Set D" }, "Map", "Required Set", nullptr, &result);
	EXPECT_TRUE(result);
	EXPECT_NE(std::string(least_call_text(&get_metaserver_test_hooks()->calls, "metaserver_query_dialog")).find("\"Required Set\""),
		std::string::npos);

	// The compatibility plugin sets the flag and joins the list.
	boolean use_vqel = FALSE;
	EXPECT_EQ(order({ "Map" }, "Map", "Compatibility Rules", &use_vqel, &result),
		(names{ "Compatibility Rules 2", "Map" }));
	EXPECT_TRUE(use_vqel);
	EXPECT_EQ(get_qel_plugin_index(), plugin_index_named("Compatibility Rules 2"));
	plugin_info info;
	ASSERT_TRUE(tag_file_indexed_plugin_get(get_qel_plugin_index(), &info));
	EXPECT_TRUE(info.hidden);
	EXPECT_EQ(info.version, 0);
}

TEST_F(tag_files_plugin_order, ManyMissingDependenciesAreCapped)
{
	std::vector<std::string> set_names;
	for (int32 i = 0; i < 20; ++i)
	{
		set_names.push_back("Needs " + std::to_string(i));
		build_plugin(set_names.back().c_str(), false, _plugin_relies_on_another_plugin_flag,
			("Nothing " + std::to_string(i)).c_str());
	}
	open_generated_set();
	std::vector<const char *> in;
	for (const std::string &name : set_names) in.push_back(name.c_str());
	get_metaserver_test_hooks()->query_answer = TRUE;
	boolean result = FALSE;
	EXPECT_EQ(order(in, nullptr, nullptr, nullptr, &result).size(), static_cast<size_t>(MAXIMUM_ENCODED_PLUGINS));
	EXPECT_TRUE(result);
	EXPECT_EQ(least_call_count(&get_metaserver_test_hooks()->calls, "metaserver_query_dialog"), 1);
	EXPECT_NE(std::string(least_call_text(&get_metaserver_test_hooks()->calls, "metaserver_query_dialog")).find("\"Nothing 0\""),
		std::string::npos);
}

TEST_F(tag_files_encoded_list, LongNamesStopAtTheBufferEnd)
{
	std::vector<int16> indexes;
	for (int32 i = 0; i < 16; ++i)
	{
		char name[32];
		snprintf(name, sizeof(name), "Long Plugin Name Number %02d xxxx", static_cast<int>(i));
		ASSERT_EQ(strlen(name), 31u);
		const std::string url = "plugins.zerv.invalid/" + std::string(42, static_cast<char>('a' + i));
		ASSERT_TRUE(build_file("plugins", name, _tag_file_type_plugin, NONE, { { TAG("text"), TAG("long"), name, name } },
			url.c_str()));
	}
	open_generated_set();
	for (int32 i = 0; i < 16; ++i)
	{
		char name[32];
		snprintf(name, sizeof(name), "Long Plugin Name Number %02d xxxx", static_cast<int>(i));
		indexes.push_back(plugin_index_named(name));
	}

	uint8 buffer[MAXIMUM_ENCODED_PLUGIN_BUFFER_SIZE + 1];
	const int32 length = tag_file_plugins_encode(indexes.data(), 16, buffer);
	// Five entries of 100 bytes fit; the count says five.
	EXPECT_EQ(length, 502);
	EXPECT_EQ((buffer[0] << 8) | buffer[1], 5);
	EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer) + 502, 10), std::string(10, '\0'));

	int16 decoded[MAXIMUM_ENCODED_PLUGINS];
	int16 count = 0;
	EXPECT_TRUE(tag_file_plugins_decode(decoded, &count, buffer, MAXIMUM_ENCODED_PLUGIN_BUFFER_SIZE, nullptr));
	ASSERT_EQ(count, 5);
	for (int32 i = 0; i < 5; ++i) EXPECT_EQ(decoded[i], indexes[i]);

	EXPECT_FALSE(tag_file_plugins_decode(decoded, &count, buffer, MAXIMUM_ENCODED_PLUGIN_BUFFER_SIZE + 1, nullptr));
	// An entry cut by the length fails; those before it decode.
	EXPECT_FALSE(tag_file_plugins_decode(decoded, &count, buffer, 2 + 100 + 50, nullptr));
	EXPECT_EQ(count, 1);
	buffer[1] = 17;
	EXPECT_FALSE(tag_file_plugins_decode(decoded, &count, buffer, MAXIMUM_ENCODED_PLUGIN_BUFFER_SIZE, nullptr));
	EXPECT_EQ(count, 0);
	buffer[1] = 0;
	EXPECT_TRUE(tag_file_plugins_decode(decoded, &count, buffer, MAXIMUM_ENCODED_PLUGIN_BUFFER_SIZE, nullptr));
	EXPECT_EQ(count, 0);
}

TEST_F(tag_files_encoded_list, MissingPluginsAreNamedWithinTheTextSize)
{
	open_generated_set();
	const int16 available = plugin_index_named("Patch 2");
	uint8 buffer[MAXIMUM_ENCODED_PLUGIN_BUFFER_SIZE] = {};
	int32 offset = 2;
	auto add = [&](uint32 checksum, const char *name, const char *url) {
		for (int32 i = 0; i < 4; ++i) buffer[offset + i] = static_cast<uint8>(checksum >> (24 - 8 * i));
		strcpy(reinterpret_cast<char *>(buffer) + offset + 4, name);
		strcpy(reinterpret_cast<char *>(buffer) + offset + 5 + strlen(name), url);
		offset += 4 + static_cast<int32>(strlen(name)) + 1 + static_cast<int32>(strlen(url)) + 1;
	};
	add(0x12345678, "Gone", "example.invalid/gone");
	add(0x7A760002, "patch 2", "");
	add(0x1, "Also Gone", "http://example.invalid/also");
	buffer[1] = 3;

	char text[200];
	int16 indexes[MAXIMUM_ENCODED_PLUGINS];
	int16 count = 0;
	EXPECT_FALSE(tag_file_plugins_decode(indexes, &count, buffer, offset, text, sizeof(text)));
	ASSERT_EQ(count, 1);
	EXPECT_EQ(indexes[0], available);
	EXPECT_STREQ(text, "Gone - http://example.invalid/gone\rAlso Gone - http://example.invalid/also\r");

	// Lines that do not fit are left out, and the text stays terminated.
	memset(text, 'x', sizeof(text));
	EXPECT_FALSE(tag_file_plugins_decode(indexes, &count, buffer, offset, text, 40));
	EXPECT_STREQ(text, "Gone - http://example.invalid/gone\r");
	EXPECT_EQ(text[40], 'x');

	missing_plugin_info missing[4];
	ASSERT_EQ(tag_file_plugins_decode_missing(buffer, offset, missing, 4), 2);
	EXPECT_STREQ(missing[1].name, "Also Gone");
	EXPECT_STREQ(missing[1].url, "http://example.invalid/also");
	EXPECT_EQ(missing[1].checksum, 1u);
	EXPECT_EQ(tag_file_plugins_decode_missing(buffer, offset, missing, 1), 1);
}
