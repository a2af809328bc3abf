// Every single-byte flip, every run of 2, 4 and 8 flipped bytes and every
// truncation of a small file, opened as a plugin and as a local tag: each
// ends in a clean rejection or in tags that read back whole.
#include "tag_files/tag_files_test_support.h"

using namespace tag_files_test;

namespace
{
class tag_file_corruption_sweep : public fixture
{
protected:
	// An open set of five empty foundation files, so that only the swept tags are loaded.
	static void open_empty_set(void)
	{
		for (const char *name : foundation_file_names)
		{
			file_reference file = folder_file("tags", name);
			ASSERT_TRUE(build_monolithic_file_from_tag_indexes(&file, _tag_file_type_foundation, 0, nullptr, 0));
		}
		ASSERT_TRUE(tag_files_open(FALSE, nullptr, 0, NONE));
		mkdir("local/string lists", 0777);
	}

	std::vector<int32> handles_named(const char *name)
	{
		tag_file_info filter;
		tag_file_info_new(&filter);
		strcpy(filter.name, name);
		std::vector<int32> handles(64);
		handles.resize(static_cast<size_t>(tag_file_enumerate(&filter, handles.data(), 64)));
		return handles;
	}

	// Reads a tag whole, directly and through the window; both must agree.
	static void expect_consistent(int32 handle, int32 limit)
	{
		const int32 size = tag_file_get_header_data_size(handle);
		ASSERT_GE(size, 0);
		ASSERT_LE(size, limit);
		const std::string direct = read_tag(handle);
		const std::string windowed = read_tag(handle, true);
		ASSERT_EQ(direct.size(), static_cast<size_t>(size));
		ASSERT_EQ(direct, windowed);
	}

	void open_as_plugin(const std::string &bytes)
	{
		ASSERT_TRUE(write_test_file("plugins/Sweep", bytes));
		file_reference file = folder_file("plugins", "Sweep");
		tag_file_header header;
		const int16 types[] = { _tag_file_type_plugin };
		const int16 record = tag_files_load_monolithic_file(&file, types, 1, &header, nullptr);
		if (record == NONE) return;
		ASSERT_EQ(header.size, bytes.size());
		std::vector<int32> handles(MAXIMUM_SIMULTANEOUS_TAG_HEADERS);
		handles.resize(static_cast<size_t>(tag_file_enumerate(nullptr, handles.data(), NONE)));
		for (int32 handle : handles)
		{
			tag_file_info info;
			if (tag_file_info_get(handle, &info) && info.owner_index == record)
			{
				expect_consistent(handle, static_cast<int32>(bytes.size()));
			}
		}
		tag_files_remove_tag_file(record);
	}

	void open_as_local_tag(const std::string &bytes)
	{
		ASSERT_TRUE(write_test_file("local/string lists/sweep", bytes));
		ASSERT_TRUE(load_local_tags());
		for (int32 handle : handles_named("sweep"))
		{
			expect_consistent(handle, static_cast<int32>(bytes.size()));
			delete_tag_header(handle);
		}
	}

	// Opens every run of 1, 2, 4 and 8 flipped bytes of original, then every
	// truncation shorter than truncations_below; stops at the first fatal failure.
	template <typename open_proc>
	void sweep(const std::string &original, size_t truncations_below, open_proc open)
	{
		for (size_t run : { size_t(1), size_t(2), size_t(4), size_t(8) })
		{
			for (size_t at = 0; at + run <= original.size(); ++at)
			{
				std::string variant = original;
				for (size_t i = at; i < at + run; ++i) variant[i] = static_cast<char>(variant[i] ^ 0xFF);
				open(variant);
				if (HasFatalFailure()) FAIL() << "run " << run << " at " << at;
			}
		}
		for (size_t length = 0; length < truncations_below; ++length)
		{
			open(original.substr(0, length));
			if (HasFatalFailure()) FAIL() << "truncated to " << length;
		}
	}
};
}

TEST_F(tag_file_corruption_sweep, EveryVariantEndsCleanly)
{
	open_empty_set();
	ASSERT_TRUE(build_file("plugins", "Sweep", _tag_file_type_plugin, NONE,
		{
			{ TAG("stli"), TAG("swst"), "sweep list", "One\rTwo\rThree\r\rFour and five" },
			{ TAG("text"), TAG("swtx"), "sweep text", "A short text." },
			{ TAG("temp"), TAG("swtm"), "sweep template", "Line one\nLine two\n" },
			{ TAG("mesh"), TAG("swms"), "sweep map", pattern(900, 9) },
		}));
	const std::string original = read_test_file("plugins/Sweep");
	ASSERT_GT(original.size(), 1400u);
	ASSERT_LT(original.size(), 1600u);
	set_ignore_errors(TRUE);
	sweep(original, original.size(), [this](const std::string &variant)
		{
			open_as_plugin(variant);
			open_as_local_tag(variant);
		});
	set_ignore_errors(FALSE);
}

TEST_F(tag_file_corruption_sweep, LocalTagVariantsEndCleanly)
{
	open_empty_set();
	const std::string original = local_tag_bytes(TAG("stli"), TAG("swst"), "One\rTwo\rThree", 1, 3);
	set_ignore_errors(TRUE);
	sweep(original, original.size() + 1, [this](const std::string &variant) { open_as_local_tag(variant); });
	set_ignore_errors(FALSE);
}
