// The header table: shadowing, lookup and enumeration against a literal
// model, stale handles, the read-ahead window and reading bounds.
#include "tag_files/tag_files_test_support.h"

#include <algorithm>
#include <clocale>
#include <random>

using namespace tag_files_test;

namespace
{
class tag_files_index : public fixture
{
};
class tag_files_stale : public fixture
{
};
class tag_files_reading : public fixture
{
};
class tag_files_determinism : public fixture
{
};

// The literal rules, kept as a list of every header in order of addition.
struct model_header
{
	int32 handle;
	file_tag group_tag;
	file_tag subgroup_tag;
	int8 owner_index;
	bool alive;
	bool shadowed;
};

struct literal_model
{
	std::vector<model_header> headers;

	void walk(file_tag group_tag, file_tag subgroup_tag, bool prefer_owner, int8 owner)
	{
		model_header *winner = nullptr;
		for (model_header &header : headers)
		{
			if (!header.alive || header.group_tag != group_tag || header.subgroup_tag != subgroup_tag) continue;
			header.shadowed = true;
			if (!winner)
			{
				winner = &header;
				continue;
			}
			const bool local = header.owner_index == NONE;
			const bool best_local = winner->owner_index == NONE;
			bool wins;
			if (local) wins = true;
			else if (best_local) wins = false;
			else if (prefer_owner && header.owner_index == owner) wins = true;
			else if (prefer_owner && winner->owner_index == owner) wins = false;
			else wins = header.owner_index > winner->owner_index;
			if (wins) winner = &header;
		}
		if (winner) winner->shadowed = false;
	}

	int32 visible(file_tag group_tag, file_tag subgroup_tag) const
	{
		for (const model_header &header : headers)
		{
			if (header.alive && !header.shadowed && header.group_tag == group_tag && header.subgroup_tag == subgroup_tag)
			{
				return header.handle;
			}
		}
		return NONE;
	}

	std::vector<int32> group_order(file_tag group_tag) const
	{
		std::vector<int32> handles;
		for (const model_header &header : headers)
		{
			if (header.alive && !header.shadowed && header.group_tag == group_tag) handles.push_back(header.handle);
		}
		return handles;
	}
};

std::vector<int32> enumerate_group(file_tag group_tag)
{
	tag_file_info filter;
	tag_file_info_new(&filter);
	filter.group_tag = group_tag;
	std::vector<int32> handles(MAXIMUM_SIMULTANEOUS_TAG_HEADERS);
	handles.resize(static_cast<size_t>(tag_file_enumerate(&filter, handles.data(), NONE)));
	return handles;
}

// A header added straight to the table, as an opened file's would be.
int32 add_named_header(file_tag group_tag, file_tag subgroup_tag, int8 owner_index, const char *name)
{
	tag_header header;
	memset(&header, 0, sizeof(header));
	header.group_tag = group_tag;
	header.subgroup_tag = subgroup_tag;
	header.owner_index = owner_index;
	header.signature = TAG_HEADER_SIGNATURE;
	snprintf(header.name, sizeof(header.name), "%s", name);
	return add_tag_header(&header);
}
}

TEST_F(tag_files_index, RandomSequenceMatchesTheLiteralRules)
{
	const file_tag groups[] = { TAG("text"), TAG("stli"), TAG("mesh") };
	const file_tag subgroups[] = { TAG("aaaa"), TAG("bbbb"), TAG("cccc"), TAG("dddd") };
	std::mt19937 random(1234);
	literal_model model;

	for (int32 step = 0; step < 3000; ++step)
	{
		const uint32 choice = random() % 10;
		const file_tag group_tag = groups[random() % 3];
		const file_tag subgroup_tag = subgroups[random() % 4];
		if (choice < 6 || model.headers.empty())
		{
			const int8 owner_index = static_cast<int8>(static_cast<int32>(random() % 5) - 1);
			const int32 handle = add_named_header(group_tag, subgroup_tag, owner_index, ("tag " + std::to_string(step)).c_str());
			ASSERT_NE(handle, NONE);
			model.headers.push_back({ handle, group_tag, subgroup_tag, owner_index, true, false });
			model.walk(group_tag, subgroup_tag, false, 0);
		}
		else if (choice < 9)
		{
			model_header &victim = model.headers[random() % model.headers.size()];
			if (!victim.alive) continue;
			delete_tag_header(victim.handle);
			victim.alive = false;
			model.walk(victim.group_tag, victim.subgroup_tag, false, 0);
		}
		else
		{
			const int8 owner = static_cast<int8>(random() % 4);
			update_tag_header_shadows_for_owner_index(group_tag, subgroup_tag, owner);
			model.walk(group_tag, subgroup_tag, true, owner);
		}

		for (file_tag group : groups)
		{
			for (file_tag subgroup : subgroups)
			{
				ASSERT_EQ(tag_file_open(group, subgroup), model.visible(group, subgroup)) << "step " << step;
			}
			const std::vector<int32> expected = model.group_order(group);
			ASSERT_EQ(enumerate_group(group), expected) << "step " << step;
			for (size_t n = 0; n <= expected.size(); ++n)
			{
				ASSERT_EQ(tag_file_get_indexed_header(group, static_cast<int32>(n)),
					n < expected.size() ? expected[n] : NONE);
			}
		}
	}

	// Enumerating every group walks the header array in index order.
	std::vector<int32> expected;
	for (const model_header &header : model.headers)
	{
		if (header.alive && !header.shadowed) expected.push_back(header.handle);
	}
	std::sort(expected.begin(), expected.end(), [](int32 a, int32 b) { return (a & 0xFFFF) < (b & 0xFFFF); });
	std::vector<int32> all(MAXIMUM_SIMULTANEOUS_TAG_HEADERS);
	all.resize(static_cast<size_t>(tag_file_enumerate(nullptr, all.data(), NONE)));
	EXPECT_EQ(all, expected);
	EXPECT_EQ(tag_file_enumerate(nullptr, all.data(), 0), 0);
	EXPECT_EQ(tag_file_enumerate(nullptr, all.data(), 2), 2);
}

// Clearing the (group, subgroup) index zeroes only the entries it used
// (pairs of deleted tags stay behind until then): after a close the whole
// index must be zero again, and a reopened set found.
TEST_F(tag_files_index, ClearingLeavesTheWholeIndexZero)
{
	const tag_file_global_data *g = &tag_file_globals;
	auto index_is_zero = [g]() {
		const uint8 *bytes = reinterpret_cast<const uint8 *>(g->subgroup_index);
		return std::all_of(bytes, bytes + sizeof(subgroup_index_entry) * SUBGROUP_INDEX_SIZE, [](uint8 b) { return b == 0; });
	};
	auto add = [](file_tag group_tag, file_tag subgroup_tag) {
		return add_named_header(group_tag, subgroup_tag, NONE, ("pair " + std::to_string(subgroup_tag)).c_str());
	};

	const int32 kept = add(TAG("text"), TAG("keep"));
	ASSERT_NE(kept, NONE);
	for (int32 i = 0; i < 300; ++i)
	{
		const int32 handle = add(TAG("stli"), static_cast<file_tag>(0x10000 + i * 7919));
		ASSERT_NE(handle, NONE);
		if (i % 3) delete_tag_header(handle);
	}
	EXPECT_EQ(g->subgroup_index_used, 301);
	EXPECT_EQ(tag_file_open(TAG("text"), TAG("keep")), kept);

	tag_files_close();
	EXPECT_EQ(g->subgroup_index_used, 0);
	EXPECT_TRUE(index_is_zero());
	open_generated_set();
	EXPECT_NE(tag_file_open(TAG("stli"), TAG("inrf")), NONE);
	EXPECT_EQ(tag_file_open(TAG("text"), TAG("keep")), NONE);
	tag_files_close();
	EXPECT_TRUE(index_is_zero());
}

TEST_F(tag_files_index, LocalTagShadowsTheFoundationTagUntilDeleted)
{
	open_generated_set();
	const int32 foundation = tag_file_open(TAG("stli"), TAG("inrf"));
	ASSERT_NE(foundation, NONE);
	const int32 local = make_local_tag({ TAG("stli"), TAG("inrf"), "my films", "Mine\rOurs\rTheirs" });
	EXPECT_EQ(tag_file_open(TAG("stli"), TAG("inrf")), local);
	EXPECT_TRUE(tag_file_exists(TAG("stli"), TAG("inrf")));
	// A shadowed tag answers nothing.
	tag_file_info info;
	EXPECT_FALSE(tag_file_info_get(foundation, &info));
	EXPECT_EQ(tag_file_get_header_data_size(foundation), NONE);
	EXPECT_FALSE(tag_file_read(foundation, 0, 1, &info));
	ASSERT_TRUE(tag_file_delete(local));
	EXPECT_EQ(tag_file_open(TAG("stli"), TAG("inrf")), foundation);
	EXPECT_EQ(read_tag(foundation), "Last Replay\rSaved Game\rSaved Replay");
}

TEST_F(tag_files_index, HigherFileRecordWinsAndTiesKeepTheFirst)
{
	ASSERT_TRUE(build_file("plugins", "A", _tag_file_type_plugin, NONE,
		{ { TAG("text"), TAG("same"), "first", "first" }, { TAG("text"), TAG("othr"), "second", "second" } }));
	// Both tags of "A" under one subgroup.
	std::string bytes = read_test_file("plugins/A");
	put_big_endian(&bytes, 128 + 64 + 40, TAG("same"), 4);
	ASSERT_TRUE(write_test_file("plugins/A", bytes));
	ASSERT_TRUE(build_file("plugins", "B", _tag_file_type_plugin, NONE, { { TAG("text"), TAG("same"), "b", "from b" } }));
	open_generated_set();
	const int16 a = plugin_index_named("A");
	const int16 b = plugin_index_named("B");
	const int16 a_then_b[] = { a, b };
	const int16 b_then_a[] = { b, a };
	// The file opened later has the higher record; within one file the first tag stays.
	ASSERT_TRUE(tag_files_open(FALSE, b_then_a, 2, NONE));
	EXPECT_EQ(read_tag(tag_file_open(TAG("text"), TAG("same"))), "first");
	tag_file_info filter;
	tag_file_info_new(&filter);
	filter.subgroup_tag = TAG("same");
	EXPECT_EQ(tag_file_enumerate(&filter, nullptr, NONE), 1);
	ASSERT_TRUE(tag_files_open(FALSE, a_then_b, 2, NONE));
	EXPECT_EQ(read_tag(tag_file_open(TAG("text"), TAG("same"))), "from b");
}

TEST_F(tag_files_stale, HandleKeptAcrossAReopenFailsEverywhere)
{
	open_generated_set();
	int32 handle = tag_file_open(TAG("stli"), TAG("inrf"));
	ASSERT_NE(handle, NONE);
	ASSERT_TRUE(tag_files_open(FALSE, nullptr, 0, NONE));
	// The same tag is loaded again under a new handle.
	ASSERT_NE(tag_file_open(TAG("stli"), TAG("inrf")), handle);
	char buffer[8];
	tag_file_info info;
	EXPECT_FALSE(tag_file_read(handle, 0, 4, buffer));
	EXPECT_FALSE(tag_file_read_ahead(handle, 0, 4, buffer));
	EXPECT_FALSE(tag_file_info_get(handle, &info));
	EXPECT_STREQ(tag_file_name_get(handle), "<unknown>");
	EXPECT_EQ(tag_file_get_file_offset(handle), NONE);
	EXPECT_EQ(tag_file_get_header_group(handle), static_cast<file_tag>(NONE));
	EXPECT_FALSE(tag_file_write(&handle, 0, 4, "abcd"));
	EXPECT_FALSE(tag_file_delete(handle));
	EXPECT_FALSE(tag_file_set_header_version(&handle, 2));
	// A bare index is no handle either.
	EXPECT_EQ(tag_file_get_file_offset(tag_file_open(TAG("stli"), TAG("inrf")) & 0xFFFF), NONE);
}

TEST_F(tag_files_stale, WindowFollowsTheFileThatReusesARecord)
{
	for (const char *name : { "A", "B", "C" })
	{
		ASSERT_TRUE(build_file("plugins", name, _tag_file_type_plugin, NONE,
			{ { TAG("text"), TAG("data"), "data", pattern(3000, static_cast<uint8>(name[0])) } }));
	}
	open_generated_set();
	const int16 a = plugin_index_named("A");
	const int16 b = plugin_index_named("B");
	const int16 c = plugin_index_named("C");
	auto window_read = [](int32 offset) {
		char bytes[100];
		if (!tag_file_read_ahead(tag_file_open(TAG("text"), TAG("data")), offset, 100, bytes)) return std::string();
		return std::string(bytes, 100);
	};
	ASSERT_TRUE(tag_files_open(FALSE, &a, 1, NONE));
	EXPECT_EQ(window_read(200), pattern(3000, 'A').substr(200, 100));

	// "B" now takes the record "A" had.
	ASSERT_TRUE(tag_files_open(FALSE, &b, 1, NONE));
	EXPECT_EQ(window_read(300), pattern(3000, 'B').substr(300, 100));

	// A freed temporary plugin's record is taken by the next one.
	tag_file_plugin_open_temporary(a);
	EXPECT_EQ(window_read(500), pattern(3000, 'A').substr(500, 100));
	tag_file_plugin_open_temporary(c);
	EXPECT_EQ(window_read(500), pattern(3000, 'C').substr(500, 100));
	tag_file_plugin_close_temporary();
	EXPECT_EQ(window_read(500), pattern(3000, 'B').substr(500, 100));
}

TEST_F(tag_files_reading, WindowedReadsReturnTheRightBytes)
{
	const std::string data = pattern(40000, 5);
	ASSERT_TRUE(build_file("plugins", "Big", _tag_file_type_plugin, NONE,
		{ { TAG("text"), TAG("one "), "one", "small" }, { TAG("text"), TAG("big "), "big", data } }));
	open_generated_set();
	const int16 plugin = plugin_index_named("Big");
	ASSERT_TRUE(tag_files_open(FALSE, &plugin, 1, NONE));
	const int32 handle = tag_file_open(TAG("text"), TAG("big "));

	std::string buffer(20000, '\0');
	// Larger than the window: read directly, leaving the window as it was.
	ASSERT_TRUE(tag_file_read_ahead(handle, 0, 20000, buffer.data()));
	EXPECT_EQ(buffer, data.substr(0, 20000));
	// Small reads after it, forward across window ends and back again.
	for (int32 offset : { 20000, 20100, 36380, 36390, 100, 16380, 39900 })
	{
		char bytes[100];
		ASSERT_TRUE(tag_file_read_ahead(handle, offset, 100, bytes)) << offset;
		EXPECT_EQ(std::string(bytes, 100), data.substr(static_cast<size_t>(offset), 100)) << offset;
	}
	for (int32 offset = 0; offset + 37 <= 40000; offset += 37)
	{
		char bytes[37];
		ASSERT_TRUE(tag_file_read_ahead(handle, offset, 37, bytes));
		ASSERT_EQ(std::string(bytes, 37), data.substr(static_cast<size_t>(offset), 37)) << offset;
	}
	// The other tag of the file through the same window.
	EXPECT_EQ(read_tag(tag_file_open(TAG("text"), TAG("one ")), true), "small");
}

TEST_F(tag_files_reading, ReadsOutsideTheTagFail)
{
	open_generated_set();
	const int32 handle = tag_file_open(TAG("stli"), TAG("inrf"));
	const int32 size = tag_file_get_header_data_size(handle);
	char buffer[64];
	clear_errors();
	EXPECT_FALSE(tag_file_read(handle, size - 1, 2, buffer));
	EXPECT_NE(error_text().find("read of #2 bytes at #" + std::to_string(size - 1) + " is outside tag 'film names'"),
		std::string::npos);
	EXPECT_FALSE(tag_file_read_ahead(handle, size - 1, 2, buffer));
	EXPECT_FALSE(tag_file_read(handle, -1, 1, buffer));
	EXPECT_FALSE(tag_file_read_ahead(handle, 0, -1, buffer));
	EXPECT_TRUE(tag_file_read(handle, size, 0, buffer));
	EXPECT_TRUE(tag_file_read_ahead(handle, size - 2, 2, buffer));

	const int32 local = make_local_tag({ TAG("text"), TAG("loca"), "local", "12345" });
	EXPECT_FALSE(tag_file_read(local, 3, 3, buffer));
	EXPECT_TRUE(tag_file_read_ahead(local, 3, 2, buffer));
	EXPECT_EQ(std::string(buffer, 2), "45");
}

TEST_F(tag_files_determinism, LastLocalFileInNameOrderWins)
{
	open_generated_set();
	mkdir("local/text", 0777);
	for (const char *order : { "ab", "ba" })
	{
		tag_files_reset_for_tests();
		tag_files_initialize();
		for (const char *name = order; *name; ++name)
		{
			ASSERT_TRUE(write_test_file(std::string("local/text/") + *name, local_tag_bytes(TAG("text"), TAG("same"),
				std::string(1, *name))));
		}
		ASSERT_TRUE(tag_files_open(FALSE, nullptr, 0, NONE));
		EXPECT_EQ(read_tag(tag_file_open(TAG("text"), TAG("same"))), "b") << order;
		ASSERT_EQ(remove("local/text/a"), 0);
		ASSERT_EQ(remove("local/text/b"), 0);
	}
}

TEST_F(tag_files_determinism, NamesCompareTheSameUnderAnotherLocale)
{
	for (const char *name : { "Zeta", "alpha", "Alpha", "beta" })
	{
		ASSERT_TRUE(build_file("plugins", name, _tag_file_type_plugin, NONE, { { TAG("text"), TAG("x   "), "x", name } }));
	}
	ASSERT_NE(setlocale(LC_ALL, "C.UTF-8"), nullptr);
	open_generated_set();
	std::vector<std::string> names;
	plugin_info info;
	for (int16 i = 0; i < tag_file_get_plugin_count(); ++i)
	{
		if (tag_file_indexed_plugin_get(i, &info) && strlen(info.name) <= 5) names.push_back(info.name);
	}
	setlocale(LC_ALL, "C");
	// Case-insensitive order, ties by raw bytes.
	EXPECT_EQ(names, (std::vector<std::string>{ "Alpha", "alpha", "beta", "Zeta" }));

	tag_file_info filter;
	tag_file_info_new(&filter);
	strcpy(filter.name, "FILM NAMES");
	EXPECT_EQ(tag_file_enumerate(&filter, nullptr, NONE), 1);
}

TEST_F(tag_files_index, LocalMapHidesTheFoundationMapOfTheSameName)
{
	ASSERT_TRUE(install_placeholder_foundation_files("."));
	ASSERT_TRUE(build_file("tags", "medium install", _tag_file_type_foundation, 0,
		{ { TAG("mesh"), TAG("hill"), "Hill Map", std::string(64, 'h') } }));
	ASSERT_NE(make_local_tag({ TAG("mesh"), TAG("hilx"), "hill map", std::string(64, 'x') }), NONE);
	auto listed = [](void) {
		std::vector<entry_point_info> entries(static_cast<size_t>(tag_file_entry_points_get(nullptr)));
		tag_file_entry_points_get(entries.data());
		std::vector<file_tag> subgroups;
		for (const entry_point_info &entry : entries)
		{
			if (entry.subgroup_tag == TAG("hill") || entry.subgroup_tag == TAG("hilx")) subgroups.push_back(entry.subgroup_tag);
		}
		return subgroups;
	};
	ASSERT_TRUE(tag_files_open(FALSE, nullptr, 0, NONE));
	EXPECT_EQ(listed(), (std::vector<file_tag>{ TAG("hilx") }));
	// While the local folder is restricted its maps are left out and hide nothing.
	ASSERT_TRUE(tag_files_open(TRUE, nullptr, 0, NONE));
	EXPECT_EQ(listed(), (std::vector<file_tag>{ TAG("hill") }));
	EXPECT_EQ(tag_file_open(TAG("mesh"), TAG("hilx")), NONE);
}
