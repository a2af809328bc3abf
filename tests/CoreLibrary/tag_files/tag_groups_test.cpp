#include <gtest/gtest.h>

#include <set>
#include <string>

#include "CoreLibrary/tag_files/tag_groups.h"

TEST(TagGroups, TableRowsAndLookups)
{
	EXPECT_EQ(tag_group_count_headers(), 40);
	EXPECT_EQ(tag_group_get_index(TAG("amso")), 0);
	EXPECT_EQ(tag_group_get_index(TAG("pref")), 24);
	EXPECT_EQ(tag_group_get_index(TAG("form")), 39);
	EXPECT_EQ(tag_group_get_index(TAG("zzzz")), -1);

	const tag_group *preferences = tag_group_get(TAG("pref"));
	ASSERT_NE(preferences, nullptr);
	EXPECT_STREQ(preferences->name, "preferences");
	EXPECT_EQ(preferences->flags, static_cast<uint32>(_tag_group_is_local_flag));
	EXPECT_EQ(preferences->default_foundation_tag_file_index, _foundation_tag_file_small);

	const tag_group *films = tag_group_get(TAG("reco"));
	ASSERT_NE(films, nullptr);
	EXPECT_EQ(films->flags, 6u);
	EXPECT_EQ(films->version, 3);
	EXPECT_STREQ(tag_group_get_name(TAG("save")), "saved games");
	EXPECT_EQ(tag_group_get_group_version(TAG("mesh")), 11);
	EXPECT_EQ(tag_group_get(TAG(".256"))->default_foundation_tag_file_index, _foundation_tag_file_large);
	EXPECT_EQ(tag_group_get(TAG("stli"))->default_foundation_tag_file_index, _foundation_tag_file_small_interface);
	EXPECT_EQ(tag_group_get(TAG("geom"))->default_foundation_tag_file_index, _foundation_tag_file_medium);

	EXPECT_EQ(tag_group_get(TAG("zzzz")), nullptr);
	EXPECT_STREQ(tag_group_get_name(TAG("zzzz")), "<invalid group>");
}

TEST(TagGroups, WalkingTheTable)
{
	file_tag tags[40];
	tag_group_get_group_tags(tags);

	int32 rows = 0;
	std::set<file_tag> seen;
	std::set<std::string> names;
	for (const tag_group *group = tag_group_get_next(nullptr); group; group = tag_group_get_next(group), ++rows)
	{
		ASSERT_LT(rows, 40);
		EXPECT_EQ(group->group_tag, tags[rows]);
		seen.insert(group->group_tag);
		names.insert(group->name);
		// Only the three local groups keep their tags outside "local".
		const bool local = group->group_tag == TAG("pref") || group->group_tag == TAG("reco") ||
			group->group_tag == TAG("save");
		EXPECT_EQ((group->flags & _tag_group_is_local_flag) != 0, local) << group->name;
	}
	EXPECT_EQ(rows, 40);
	EXPECT_EQ(seen.size(), 40u);
	EXPECT_EQ(names.size(), 40u);
	EXPECT_EQ(tag_group_get_next(&tag_groups[39]), nullptr);
	EXPECT_EQ(tag_group_get_next(&tag_groups[38]), &tag_groups[39]);
}
