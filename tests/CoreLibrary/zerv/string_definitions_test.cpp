#include <gtest/gtest.h>

#include <malloc.h>

#include <string>
#include <vector>

#include "CoreLibrary/zerv/error_manager.h"
#include "CoreLibrary/zerv/string_definitions.h"
#include "definitions.h"
#include "support/tag_files_test_directory.h"
#include "support/test_directory.h"
#include "tag_files/tag_files.h"

namespace
{
class string_definitions_lists : public tag_files_test_directory
{
protected:
	void SetUp() override
	{
		tag_files_test_directory::SetUp();
		preinitialize_definitions();
		initialize_string_definitions();
		initialize_string_definitions_for_new_map();
	}
	void TearDown() override
	{
		dispose_string_definitions_from_old_map();
		tag_files_test_directory::TearDown();
	}
};
}

TEST_F(string_definitions_lists, missing_lists_read_as_empty)
{
	EXPECT_EQ(count_strings_in_list(NONE), 0);
	EXPECT_STREQ(get_string_from_list(NONE, 0), "");
	EXPECT_STREQ(get_string_from_list(0, NONE), "");
	EXPECT_STREQ(get_string_from_list(3, 0), "");
	int16 size = 99;
	EXPECT_STREQ(get_string(NONE, &size), "");
	EXPECT_EQ(size, 0);
	EXPECT_EQ(string_list_tag_to_string_index(static_cast<file_tag>(NONE)), NONE);
	delete_string_list_definition(NONE);
	orphan_string_list_definition(NONE);
	EXPECT_EQ(get_string_definition_tag_header_user_data(nullptr), -1);
	EXPECT_EQ(get_string_list_definition_tag_header_user_data(nullptr), -1);
}

TEST_F(string_definitions_lists, a_missing_stli_is_reported_and_a_missing_ditl_is_not)
{
	const std::string before = log_text();
	EXPECT_EQ(dialog_string_list_tag_to_string_index(TAG("nodl")), NONE);
	EXPECT_EQ(log_text(), before);

	EXPECT_EQ(string_list_tag_to_string_index(TAG("nost")), NONE);
	EXPECT_NE(log_text().find("couldn't read tag header for string 'nost'."), std::string::npos);
}

/* ---------- lists from tags */

namespace
{
int32 write_text_tag(file_tag group, file_tag subgroup, const char *name, const std::string &text)
{
	return tag_file_new_with_subgroup_tag(group, name, subgroup, 1, text.data(), static_cast<int32>(text.size()));
}

// Bytes the allocator holds for the program: the sanitizer's own count when
// it replaces the allocator, glibc's otherwise.
extern "C" size_t __sanitizer_get_current_allocated_bytes(void) __attribute__((weak));

size_t bytes_in_use(void)
{
	if (__sanitizer_get_current_allocated_bytes) return __sanitizer_get_current_allocated_bytes();
	const struct mallinfo2 info = mallinfo2();
	return info.uordblks + info.hblkhd;
}

std::vector<std::string> strings_of(int16 list)
{
	std::vector<std::string> strings;
	for (int16 i = 0; i < count_strings_in_list(list); ++i) strings.push_back(get_string_from_list(list, i));
	return strings;
}
}

TEST_F(string_definitions_lists, lines_split_by_list_kind)
{
	const std::string text = std::string("Alpha\r\n\rBeta");
	ASSERT_NE(write_text_tag(TAG("stli"), TAG("abcd"), "stli abcd", text), NONE);
	ASSERT_NE(write_text_tag(TAG("ditl"), TAG("abcd"), "ditl abcd", text), NONE);
	ASSERT_NE(write_text_tag(TAG("temp"), TAG("abcd"), "temp abcd", text + "\r"), NONE);
	ASSERT_NE(write_text_tag(TAG("ditl"), TAG("endr"), "ditl endr", "One|rTwo|RThree\r"), NONE);

	// One subgroup in three tag groups gives three distinct lists.
	const int16 list = string_list_tag_to_string_index(TAG("abcd"));
	const int16 dialog = dialog_string_list_tag_to_string_index(TAG("abcd"));
	const int16 templates = template_tag_to_template_index(TAG("abcd"));
	ASSERT_NE(list, NONE);
	ASSERT_NE(dialog, NONE);
	ASSERT_NE(templates, NONE);
	EXPECT_NE(list, dialog);
	EXPECT_NE(list, templates);
	EXPECT_NE(dialog, templates);

	EXPECT_EQ(strings_of(list), (std::vector<std::string>{"Alpha", "Beta"}));
	EXPECT_EQ(strings_of(templates), (std::vector<std::string>{"Alpha", "Beta"}));
	EXPECT_EQ(strings_of(dialog), (std::vector<std::string>{"Alpha", "", "", "Beta"}));
	EXPECT_STREQ(get_string_from_list(list, count_strings_in_list(list)), "");

	// Asking again, in any order, keeps each list its own.
	EXPECT_EQ(dialog_string_list_tag_to_string_index(TAG("abcd")), dialog);
	EXPECT_EQ(string_list_tag_to_string_index(TAG("abcd")), list);

	// A lower-case "|r" is a line break inside the string; a final CR closes
	// one more, empty string.
	const int16 breaks = dialog_string_list_tag_to_string_index(TAG("endr"));
	EXPECT_EQ(strings_of(breaks), (std::vector<std::string>{"One\r\nTwo|RThree", ""}));
}

TEST_F(string_definitions_lists, texts_and_sizes)
{
	ASSERT_NE(write_text_tag(TAG("text"), TAG("hell"), "hello", "Hello, world"), NONE);
	const int16 index = string_tag_to_string_index(TAG("hell"));
	ASSERT_NE(index, NONE);
	int16 size = 0;
	EXPECT_STREQ(get_string(index, &size), "Hello, world");
	EXPECT_EQ(size, 12);
	EXPECT_EQ(string_tag_to_string_index(TAG("hell")), index);
}

TEST_F(string_definitions_lists, lists_beyond_sixteen_bits_are_refused)
{
	std::string lines;
	for (int32 i = 0; i < 32767; ++i) lines += "x\n";
	ASSERT_NE(write_text_tag(TAG("stli"), TAG("full"), "full", lines), NONE);
	ASSERT_NE(write_text_tag(TAG("stli"), TAG("over"), "over", lines + "y"), NONE);
	ASSERT_NE(write_text_tag(TAG("text"), TAG("long"), "long", std::string(32768, 'z')), NONE);

	const int16 full = string_list_tag_to_string_index(TAG("full"));
	ASSERT_NE(full, NONE);
	EXPECT_EQ(count_strings_in_list(full), 32767);
	EXPECT_STREQ(get_string_from_list(full, 32766), "x");

	EXPECT_EQ(string_list_tag_to_string_index(TAG("over")), NONE);
	EXPECT_NE(log_text().find("string list 'over' is too large"), std::string::npos);
	EXPECT_EQ(string_tag_to_string_index(TAG("long")), NONE);
	EXPECT_NE(log_text().find("string list 'long' is too large"), std::string::npos);
}

TEST_F(string_definitions_lists, deleted_and_orphaned_lists)
{
	ASSERT_NE(write_text_tag(TAG("stli"), TAG("aaaa"), "aaaa", "a1\na2"), NONE);
	ASSERT_NE(write_text_tag(TAG("stli"), TAG("bbbb"), "bbbb", "b1"), NONE);
	const int16 a = string_list_tag_to_string_index(TAG("aaaa"));
	const int16 b = string_list_tag_to_string_index(TAG("bbbb"));

	orphan_string_list_definition(a);
	EXPECT_STREQ(get_string_from_list(a, 1), "a2");
	const int16 again = string_list_tag_to_string_index(TAG("aaaa"));
	EXPECT_NE(again, a);
	EXPECT_STREQ(get_string_from_list(again, 0), "a1");

	delete_string_list_definition(b);
	EXPECT_EQ(count_strings_in_list(b), 0);
	EXPECT_STREQ(get_string_from_list(b, 0), "");
	// The newest goes and its slot is taken by the next list.
	delete_string_list_definition(again);
	EXPECT_EQ(string_list_tag_to_string_index(TAG("bbbb")), again);
	EXPECT_STREQ(get_string_from_list(again, 0), "b1");
}

// The strings set up again while a map still holds its lists (the core
// started again in one process) or a map ended: either way the lists go.
TEST_F(string_definitions_lists, lists_are_released_when_set_up_again_or_at_the_map_end)
{
	std::string text;
	for (int32 i = 0; i < 16; ++i) text += std::string(64 * 1024, 'x') + "\n";
	ASSERT_NE(write_text_tag(TAG("stli"), TAG("big "), "big", text), NONE);
	ASSERT_NE(write_text_tag(TAG("text"), TAG("word"), "word", "word"), NONE);

	size_t before = 0;
	for (int32 round = 0; round < 5; ++round)
	{
		if (round == 1) before = bytes_in_use(); // after the tag file's own first-use set-up
		ASSERT_EQ(count_strings_in_list(string_list_tag_to_string_index(TAG("big "))), 16);
		ASSERT_STREQ(get_string(string_tag_to_string_index(TAG("word")), nullptr), "word");
		if (round % 2) dispose_string_definitions_from_old_map();
		else initialize_string_definitions();
		initialize_string_definitions_for_new_map();
	}
	EXPECT_LT(bytes_in_use(), before + text.size());
}

// Texts from tags are printed only with the conversions the caller supplies.
TEST(safe_tag_sprintf, conversions_are_checked_against_what_the_caller_supplies)
{
	const char *const good[][2] = {{"%-4s|%3d%%", "Ann |  3%"}, {"only %s", "only Ann"}};
	for (const auto &row : good) EXPECT_STREQ(safe_tag_sprintf(NULL, 0, "%s%d", "", row[0], "Ann", 3), row[1]);
	// Out of order, one too many, another size, arguments for widths or positions, %n, cut off, empty.
	for (const char *bad : {"%d %s", "%s %d %s", "%ld", "%*d", "%1$s", "%n", "ends in %", "", static_cast<const char *>(NULL)})
	{
		EXPECT_STREQ(safe_tag_sprintf(NULL, 0, "%s%d", "built in %s %d", bad, "Ann", 3), "built in Ann 3") << bad;
	}
	char small[5];
	EXPECT_STREQ(safe_tag_sprintf(small, sizeof(small), "%s", "", "%s!", "abcdefgh"), "abcd");
}
