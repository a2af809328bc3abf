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

TEST_F(installed_units_content, the_kinds_carry_power_range_and_anti_missile_roles_for_the_attack_ai)
{
	const struct
	{
		int16 power;
		uint32 flags;
	} expected[NUMBER_OF_DEFAULT_UNIT_KINDS] = {{20, 0}, {24, _monster_is_anti_missile_target_flag},
		{40, _monster_is_anti_missile_target_flag}, {16, _monster_is_anti_missile_unit_flag}};
	const uint32 roles = _monster_is_anti_missile_unit_flag | _monster_is_anti_missile_target_flag;
	for (int16 kind = 0; kind < NUMBER_OF_DEFAULT_UNIT_KINDS; ++kind)
	{
		const monster_definition d = default_unit_monster_definition(kind);
		EXPECT_EQ(d.combined_power, expected[kind].power) << kind;
		EXPECT_EQ(d.flags & roles, expected[kind].flags) << kind;
		int16 longest = 0;
		for (int16 a = 0; a < d.number_of_attacks; ++a) longest = MAX(longest, d.attacks[a].maximum_range);
		EXPECT_EQ(d.longest_range, longest) << kind;
	}
}

} // namespace
