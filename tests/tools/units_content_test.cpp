// The generated set's unit kinds as installed: four kinds of three groups
// sharing a subgroup, their five string lists and their attack projectiles.
#include <gtest/gtest.h>

#include "object_definitions.h"
#include "projectile_definitions.h"
#include "string_definitions.h"
#include "support/zerv_harness.h"
#include "tag_files/tag_files.h"
#include "units_content.h"

namespace {

using installed_units_content = zerv_harness_fixture;

TEST_F(installed_units_content, the_set_holds_every_kind_list_and_attack_projectile)
{
	new_game_data setup;
	harness_battle_setup(&setup, TAG("demo"));
	ASSERT_TRUE(harness_start_map(&setup));
	for (int16 kind = 0; kind < NUMBER_OF_DEFAULT_UNIT_KINDS; ++kind)
	{
		const file_tag tag = default_unit_kind_tags[kind];
		EXPECT_TRUE(tag_file_exists(MONSTER_DEFINITION_GROUP_TAG, tag)) << kind;
		EXPECT_TRUE(tag_file_exists(UNIT_DEFINITION_GROUP_TAG, tag)) << kind;
		EXPECT_TRUE(tag_file_exists(OBJECT_DEFINITION_GROUP_TAG, tag)) << kind;
		EXPECT_TRUE(tag_file_exists(STRING_LIST_DEFINITION_GROUP_TAG, default_unit_spelling_tags[kind])) << kind;
		const monster_definition generated = default_unit_monster_definition(kind);
		EXPECT_TRUE(tag_file_exists(PROJECTILE_DEFINITION_GROUP_TAG, generated.attacks[0].projectile_tag)) << kind;
	}
	EXPECT_TRUE(tag_file_exists(STRING_LIST_DEFINITION_GROUP_TAG, DEFAULT_UNIT_NAMES_STRING_LIST_TAG));
	EXPECT_TRUE(tag_file_exists(PROJECTILE_DEFINITION_GROUP_TAG, DEFAULT_SCOUT_BLADE_PROJECTILE_TAG));
	const int16 names = string_list_tag_to_string_index(DEFAULT_UNIT_NAMES_STRING_LIST_TAG);
	EXPECT_EQ(count_strings_in_list(names), NUMBER_OF_DEFAULT_UNIT_NAMES);
	harness_end_map();
}

} // namespace
