#include <gtest/gtest.h>

#include <string>

#include "CoreLibrary/zerv/error_manager.h"
#include "definitions.h"
#include "support/tag_files_test_directory.h"
#include "support/test_directory.h"
#include "tag_files/tag_files.h"

namespace
{
struct test_definition
{
	int32 value;
	int16 small;
	int16 reference_index;
	file_tag reference;
};
STORED_SIZE(test_definition, 12);

constexpr byte_swap_code test_definition_byte_swapping_data[] =
{
	_begin_bs_array, 1, _4byte, _2byte, _2byte, _4byte, _end_bs_array
};

const test_definition default_test_definition = {7, 0, NONE, static_cast<file_tag>(NONE)};

definition_globals test_definitions =
{
	"test", TAG("unit"), 2, 128, sizeof(test_definition), nullptr, nullptr, nullptr, &default_test_definition,
	test_definition_byte_swapping_data, 0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr
};

bool log_has(const std::string &text)
{
	return log_text().find(text) != std::string::npos;
}

test_definition sample(int32 value)
{
	test_definition definition = default_test_definition;
	definition.value = value;
	return definition;
}

class definitions_groups : public tag_files_test_directory
{
protected:
	void SetUp() override
	{
		tag_files_test_directory::SetUp();
		preinitialize_definitions();
		initialize_definitions(&test_definitions);
	}
	void TearDown() override
	{
		dispose_definitions_from_old_map(&test_definitions);
		tag_files_test_directory::TearDown();
	}
};
}

TEST_F(definitions_groups, a_group_holds_nothing_until_it_is_set_up_for_a_map)
{
	EXPECT_EQ(test_definitions.count, NONE);
	EXPECT_EQ(get_cached_definition_globals_count(), 1);
	EXPECT_EQ(get_cached_definition_globals(0), &test_definitions);

	// Adding before the map is set up must not write below the array.
	const test_definition definition = sample(1);
	EXPECT_EQ(new_definition(&test_definitions, TAG("abcd"), &definition), NONE);
	EXPECT_EQ(test_definitions.count, NONE);
	EXPECT_EQ(try_and_get_definition(&test_definitions, 0), nullptr);
	EXPECT_EQ(definition_tag_to_index(&test_definitions, TAG("abcd")), NONE);
	EXPECT_TRUE(log_has("test definitions are not set up for a map; couldn't add 'abcd'."));

	initialize_definitions_for_new_map(&test_definitions);
	EXPECT_EQ(test_definitions.count, 0);
	EXPECT_EQ(new_definition(&test_definitions, TAG("abcd"), &definition), 0);
	// A group already set up keeps its definitions.
	initialize_definitions_for_new_map(&test_definitions);
	EXPECT_EQ(test_definitions.count, 1);
	// Registering twice keeps one entry.
	initialize_definitions(&test_definitions);
	EXPECT_EQ(get_cached_definition_globals_count(), 1);
}

TEST_F(definitions_groups, capacity_128_refuses_the_129th_subgroup)
{
	initialize_definitions_for_new_map(&test_definitions);
	for (int32 i = 0; i < 128; ++i)
	{
		const test_definition definition = sample(i);
		ASSERT_EQ(new_definition(&test_definitions, TAG("aa00") + static_cast<file_tag>(i), &definition), i);
	}
	const test_definition definition = sample(128);
	EXPECT_EQ(new_definition(&test_definitions, TAG("zzzz"), &definition), NONE);
	EXPECT_TRUE(log_has("there are no more free test definitions for '<unknown>'."));
	EXPECT_EQ(test_definitions.count, 128);

	// Lookup searches from the newest.
	EXPECT_EQ(subgroup_tag_to_definition_index(&test_definitions, TAG("aa00") + 5), 5);
	EXPECT_EQ(static_cast<test_definition *>(try_and_get_definition(&test_definitions, 127))->value, 127);
}

TEST_F(definitions_groups, deleting_the_newest_shrinks_and_others_are_only_marked)
{
	initialize_definitions_for_new_map(&test_definitions);
	for (int32 i = 0; i < 3; ++i)
	{
		const test_definition definition = sample(i);
		new_definition(&test_definitions, TAG("aa00") + static_cast<file_tag>(i), &definition);
	}

	EXPECT_FALSE(delete_definition(&test_definitions, 1));
	EXPECT_EQ(test_definitions.count, 3);
	EXPECT_EQ(try_and_get_definition(&test_definitions, 1), nullptr);
	EXPECT_EQ(get_definition_tag_header(&test_definitions, 1), NONE);
	EXPECT_STREQ(get_definition_name(&test_definitions, 1), "<unknown>");
	EXPECT_EQ(subgroup_tag_to_definition_index(&test_definitions, TAG("aa01")), NONE);
	ASSERT_NE(try_and_get_definition(&test_definitions, 2), nullptr);

	EXPECT_TRUE(delete_definition(&test_definitions, 2));
	EXPECT_EQ(test_definitions.count, 2);
	EXPECT_EQ(try_and_get_definition(&test_definitions, 2), nullptr);
	// Out of range is refused, not written.
	EXPECT_FALSE(delete_definition(&test_definitions, 5));
	EXPECT_FALSE(delete_definition(&test_definitions, NONE));
}

TEST_F(definitions_groups, a_reused_slot_starts_without_the_old_flags)
{
	initialize_definitions_for_new_map(&test_definitions);
	const test_definition first = sample(1);
	const int16 index = new_definition(&test_definitions, TAG("frst"), &first);
	test_definitions.flags[index] |= _definition_postprocessed_flag | _definition_fetched_flag;
	ASSERT_TRUE(delete_definition(&test_definitions, index));

	const test_definition second = sample(2);
	ASSERT_EQ(new_definition(&test_definitions, TAG("scnd"), &second), index);
	EXPECT_EQ(test_definitions.flags[index], 0);
	EXPECT_EQ(get_definition_subgroup(&test_definitions, index), TAG("scnd"));
}

TEST_F(definitions_groups, requests_without_a_tag_fail_with_their_reports)
{
	initialize_definitions_for_new_map(&test_definitions);

	EXPECT_EQ(definition_tag_to_index(&test_definitions, static_cast<file_tag>(NONE)), NONE);
	EXPECT_TRUE(log_has("tried to read non-existant (i.e., NONE) test definition"));

	// A "}:" subgroup without a tag is absent on purpose: nothing is reported.
	const std::string before = log_text();
	EXPECT_EQ(definition_tag_to_index(&test_definitions, TAG("}:ab")), NONE);
	EXPECT_EQ(log_text(), before);

	EXPECT_EQ(definition_tag_to_index(&test_definitions, TAG("miss")), NONE);
	EXPECT_TRUE(log_has("couldn't read header for test definition 'miss'."));
	EXPECT_EQ(test_definitions.count, 0);
}

/* ---------- loading from tags */

namespace
{
int32 convert_calls = 0;
int32 postprocess_calls = 0;
int32 convert_failures_left = 0;
int32 postprocess_failures_left = 0;
int32 chain_length = 0;
int16 self_index_seen = NONE;

// Version 1 stored only value and small; the converter adds 1000 to value.
boolean convert_test_definition(definition_globals *, int32, int16 stored_version, const void *stored, void *slot)
{
	const test_definition *copy = static_cast<const test_definition *>(stored);
	test_definition *definition = static_cast<test_definition *>(slot);
	convert_calls += 1;
	if (stored_version != 1) return FALSE;
	definition->value = copy->value + 1000;
	definition->reference_index = copy->reference_index;
	definition->reference = copy->reference;
	if (convert_failures_left > 0)
	{
		convert_failures_left -= 1;
		return FALSE;
	}
	return TRUE;
}

// Resolves reference in the same group, and changes the slot before a failure.
boolean postprocess_test_definition(definition_globals *definitions, int16 definition_index, int32,
	void *slot)
{
	test_definition *definition = static_cast<test_definition *>(slot);
	postprocess_calls += 1;
	definition->small += 1;
	if (postprocess_failures_left > 0)
	{
		postprocess_failures_left -= 1;
		return FALSE;
	}
	if (definition->reference != static_cast<file_tag>(NONE) && definition->reference != 0)
	{
		definition->reference_index = definition_tag_to_index(definitions, definition->reference);
		if (definition->reference == get_definition_subgroup(definitions, definition_index))
		{
			self_index_seen = definition->reference_index;
		}
		if (definition->reference_index == NONE) return FALSE;
	}
	chain_length += 1;
	return TRUE;
}

// A local tag of the test group holding the record in stored order.
int32 write_definition_tag(file_tag subgroup, const char *name, int16 version, const test_definition &record,
	int32 stored_size = sizeof(test_definition))
{
	uint8 bytes[sizeof(test_definition)];
	byte_swap_move("test", bytes, &record, sizeof(record), 1, test_definition_byte_swapping_data);
	return tag_file_new_with_subgroup_tag(TAG("unit"), name, subgroup, version, bytes, stored_size);
}

test_definition stored(int32 value, file_tag reference = static_cast<file_tag>(NONE))
{
	test_definition definition = sample(value);
	definition.small = 0;
	definition.reference = reference;
	return definition;
}

class definitions_loading : public definitions_groups
{
protected:
	void SetUp() override
	{
		definitions_groups::SetUp();
		test_definitions.convert = convert_test_definition;
		test_definitions.postprocess = postprocess_test_definition;
		convert_calls = postprocess_calls = convert_failures_left = postprocess_failures_left = chain_length = 0;
		self_index_seen = NONE;
		initialize_definitions_for_new_map(&test_definitions);
	}
	void TearDown() override
	{
		test_definitions.convert = nullptr;
		test_definitions.postprocess = nullptr;
		definitions_groups::TearDown();
	}

	static const test_definition *get(int16 index)
	{
		return static_cast<const test_definition *>(try_and_get_definition(&test_definitions, index));
	}
};
}

TEST_F(definitions_loading, a_second_request_uses_the_loaded_definition)
{
	const int32 handle = write_definition_tag(TAG("one "), "one", 2, stored(5));
	ASSERT_NE(handle, NONE);

	const int16 index = definition_tag_to_index(&test_definitions, TAG("one "));
	ASSERT_EQ(index, 0);
	EXPECT_EQ(get(index)->value, 5);
	EXPECT_EQ(get(index)->small, 1);
	EXPECT_STREQ(get_definition_name(&test_definitions, index), "one");
	EXPECT_EQ(get_definition_tag_header(&test_definitions, index), handle);

	// A changed tag is not read again: the loaded definition answers.
	ASSERT_NE(write_definition_tag(TAG("one "), "one", 2, stored(6)), NONE);
	EXPECT_EQ(definition_tag_to_index(&test_definitions, TAG("one ")), index);
	EXPECT_EQ(get(index)->value, 5);
	EXPECT_EQ(postprocess_calls, 1);
	EXPECT_EQ(test_definitions.count, 1);
}

TEST_F(definitions_loading, a_definition_referring_to_itself_gets_its_own_index)
{
	ASSERT_NE(write_definition_tag(TAG("self"), "self", 2, stored(1, TAG("self"))), NONE);
	const int16 index = definition_tag_to_index(&test_definitions, TAG("self"));
	ASSERT_EQ(index, 0);
	EXPECT_EQ(self_index_seen, index);
	EXPECT_EQ(get(index)->reference_index, index);
	EXPECT_EQ(test_definitions.count, 1);
	EXPECT_EQ(postprocess_calls, 1);
}

TEST_F(definitions_loading, a_chain_ten_deep_loads_every_link)
{
	for (int32 i = 0; i < 10; ++i)
	{
		const file_tag subgroup = TAG("ch00") + static_cast<file_tag>(i);
		const file_tag next = i < 9 ? subgroup + 1 : static_cast<file_tag>(NONE);
		char name[8];
		snprintf(name, sizeof(name), "chain%d", static_cast<int>(i));
		ASSERT_NE(write_definition_tag(subgroup, name, 2, stored(i, next)), NONE);
	}
	const int16 first = definition_tag_to_index(&test_definitions, TAG("ch00"));
	ASSERT_NE(first, NONE);
	EXPECT_EQ(chain_length, 10);
	EXPECT_EQ(test_definitions.count, 10);
	int16 index = first;
	for (int32 i = 0; i < 9; ++i)
	{
		ASSERT_NE(get(index), nullptr);
		EXPECT_EQ(get(index)->value, i);
		index = get(index)->reference_index;
		ASSERT_NE(index, NONE);
	}
	EXPECT_EQ(get(index)->value, 9);
}

TEST_F(definitions_loading, versions_outside_the_current_fail_with_their_texts)
{
	ASSERT_NE(write_definition_tag(TAG("new "), "newer", 3, stored(1)), NONE);
	EXPECT_EQ(definition_tag_to_index(&test_definitions, TAG("new ")), NONE);
	EXPECT_TRUE(log_has("test definition for 'newer' is too new (#3>#2)."));
	// Nothing usable remains: asking again fails again.
	EXPECT_EQ(definition_tag_to_index(&test_definitions, TAG("new ")), NONE);
	EXPECT_EQ(postprocess_calls, 0);

	test_definitions.convert = nullptr;
	ASSERT_NE(write_definition_tag(TAG("old "), "older", 1, stored(1)), NONE);
	EXPECT_EQ(definition_tag_to_index(&test_definitions, TAG("old ")), NONE);
	EXPECT_TRUE(log_has("test definition for 'older' is too old (#1<#2)."));
}

TEST_F(definitions_loading, a_retried_conversion_starts_from_the_stored_bytes)
{
	ASSERT_NE(write_definition_tag(TAG("conv"), "conv", 1, stored(7)), NONE);
	convert_failures_left = 1;
	EXPECT_EQ(definition_tag_to_index(&test_definitions, TAG("conv")), NONE);
	EXPECT_EQ(convert_calls, 1);
	EXPECT_TRUE(log_has("test definition for 'conv' is too old (#1<#2)."));

	const int16 index = definition_tag_to_index(&test_definitions, TAG("conv"));
	ASSERT_EQ(index, 0);
	EXPECT_EQ(convert_calls, 2);
	// Converted once, not once per attempt.
	EXPECT_EQ(get(index)->value, 1007);
	EXPECT_EQ(test_definitions.count, 1);
}

TEST_F(definitions_loading, a_retried_postprocess_starts_from_the_stored_bytes)
{
	ASSERT_NE(write_definition_tag(TAG("post"), "post", 2, stored(3)), NONE);
	postprocess_failures_left = 1;
	EXPECT_EQ(definition_tag_to_index(&test_definitions, TAG("post")), NONE);
	EXPECT_TRUE(log_has("test definition postprocess failed on 'post'."));
	EXPECT_EQ(test_definitions.flags[0] & _definition_postprocessed_flag, 0);

	const int16 index = definition_tag_to_index(&test_definitions, TAG("post"));
	ASSERT_EQ(index, 0);
	EXPECT_EQ(postprocess_calls, 2);
	EXPECT_EQ(get(index)->small, 1);
}

TEST_F(definitions_loading, a_reused_slot_runs_its_postprocess_again)
{
	ASSERT_NE(write_definition_tag(TAG("frst"), "first", 2, stored(1)), NONE);
	ASSERT_NE(write_definition_tag(TAG("scnd"), "second", 2, stored(2)), NONE);
	const int16 index = definition_tag_to_index(&test_definitions, TAG("frst"));
	ASSERT_TRUE(delete_definition(&test_definitions, index));
	EXPECT_EQ(definition_tag_to_index(&test_definitions, TAG("scnd")), index);
	EXPECT_EQ(postprocess_calls, 2);
	EXPECT_EQ(get(index)->value, 2);
	EXPECT_EQ(get(index)->small, 1);
}

TEST_F(definitions_loading, a_short_tag_fails_to_read_whatever_its_version)
{
	ASSERT_NE(write_definition_tag(TAG("shrt"), "short", 1, stored(4, TAG("zzzz")), 6), NONE);
	EXPECT_EQ(definition_tag_to_index(&test_definitions, TAG("shrt")), NONE);
	EXPECT_TRUE(log_has("couldn't read test definition for 'short' (shrt)."));
	EXPECT_EQ(convert_calls, 0);

	ASSERT_NE(write_definition_tag(TAG("cut "), "cut", 2, stored(4), 6), NONE);
	EXPECT_EQ(definition_tag_to_index(&test_definitions, TAG("cut ")), NONE);
	EXPECT_TRUE(log_has("couldn't read test definition for 'cut' (cut )."));
}
