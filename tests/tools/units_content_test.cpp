// The generated set's unit kinds as installed: four kinds of three groups
// sharing a subgroup, their five string lists and their attack projectiles.
#include <gtest/gtest.h>

#include "collections_content.h"
#include "monsters.h"
#include "object_definitions.h"
#include "projectile_definitions.h"
#include "projectiles_test_support.h"
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

// The arrow as the archer looses it on flat ground: from the key point of its
// attack sequence, at the slowest speed its attack gives, with the velocity
// error taken against it on both axes, at the pitch the aim takes for its
// farthest reach. Where the arrow comes down is what an archer can hurt.
class archer_reach : public projectiles_test_map
{
protected:
	struct flight
	{
		int32 carried; // from the launch point to where the arrow came down
		int32 ticks;
		bool solved; // the aim found a shot that comes down at its target
	};

	flight loose_arrow(int32 speed, int32 error, int32 aimed_at = 40 * WORLD_ONE)
	{
		const world_distance x = 16 * WORLD_ONE, y = 4 * WORLD_ONE;
		new_object_data body = {};
		body.type = object_definition_tag_to_index(DEFAULT_BODY_OBJECT_TAG);
		body.owner = _object_is_garbage;
		body.owner_index = NONE;
		body.scale = 256;
		body.location.position = {x, y, 0};
		body.location.yaw = 0x4000;
		body.collection_index = get_collection_index(DEFAULT_UNIT_COLLECTION_TAG);
		body.color_table_index = 0;
		const int16 archer = new_object(&body);
		EXPECT_NE(archer, NONE);
		world_point3d origin = {x, y, 0};
		get_object_key_point(archer, _default_unit_attack_sequence, NONE, 0x4000, &origin);
		EXPECT_GT(origin.z, 0) << "the arrow leaves the bow above the ground";
		delete_object(archer);

		// A target on the ground; one past any reach gets the aim's farthest shot.
		world_point3d target = {x, y + aimed_at, 0};
		angle pitch = 0;
		int16 flight_time = 0;
		const int16 arrow_type = projectile_type(DEFAULT_ARROW_PROJECTILE_TAG);
		const object_definition *arrow_object = get_object_definition(get_projectile_definition(arrow_type)->object_type);
		const int16 solved =
			solve_projectile_aim(speed, arrow_object->gravity, FALSE, &origin, &target, &pitch, &flight_time);
		world_vector3d velocity;
		build_world_vector3d(&velocity, speed, 0x4000, pitch);
		velocity.j = static_cast<short_world_distance>(velocity.j - error);
		velocity.k = static_cast<short_world_distance>(velocity.k - error);

		const int16 arrow = launch(DEFAULT_ARROW_PROJECTILE_TAG, origin.x, origin.y, origin.z, velocity.i, velocity.j,
			velocity.k);
		EXPECT_NE(arrow, NONE);
		if (arrow == NONE) return {0, 0, false};
		const int16 identifier = get_projectile_data(arrow)->identifier;
		world_point3d last = origin;
		for (int32 tick = 1; tick <= 300; ++tick)
		{
			update_projectiles();
			const projectile_data *projectile = get_projectile_data(arrow);
			if (!projectile || projectile->identifier != identifier)
			{
				return {last.y - origin.y, tick, solved == _projectile_aim_solved};
			}
			last = get_object_data(projectile->object_index)->location.position;
		}
		ADD_FAILURE() << "the arrow never came down";
		return {0, 0, false};
	}
};

TEST_F(archer_reach, the_slowest_arrow_carries_the_archer_s_listed_range)
{
	const monster_definition archer = default_unit_monster_definition(1);
	const monster_attack_definition &attack = archer.attacks[0];
	const flight slowest = loose_arrow(attack.initial_velocity_lower_bound, attack.initial_velocity_error);
	const flight fastest = loose_arrow(attack.initial_velocity_lower_bound + attack.initial_velocity_delta, 0);
	RecordProperty("slowest_arrow_carries", slowest.carried);
	RecordProperty("fastest_arrow_carries", fastest.carried);
	// Measured where the arrow last stood before it struck: a little short.
	EXPECT_GE(slowest.carried, attack.maximum_range) << "flight of " << slowest.ticks << " ticks";
	EXPECT_GE(fastest.carried, slowest.carried);
	// Aimed at a target on the ground at that range, the slowest arrow has a
	// shot of its own, which comes down within a few ticks' flight of it.
	const flight aimed = loose_arrow(attack.initial_velocity_lower_bound, 0, attack.maximum_range);
	EXPECT_TRUE(aimed.solved);
	EXPECT_GE(aimed.carried, attack.maximum_range - 3 * attack.initial_velocity_lower_bound);
	EXPECT_EQ(archer.longest_range, attack.maximum_range);
}

} // namespace
