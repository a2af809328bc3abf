// Unit kinds and unit definitions loaded from stored bytes on a running map:
// what postprocessing derives, decodes and refuses, and the generated kinds'
// bytes through both descriptors.
#include <gtest/gtest.h>

#include "demo_armies_fixture.h"

#include <cstring>

#include "collection_references.h"
#include "collections_content.h"
#include "projectiles_content.h"
#include "support/tag_files_test_directory.h"
#include "monsters.h"
#include "support/zerv_harness.h"
#include "units_content.h"
#include "zerv.h"

namespace {

class monster_definitions_on_a_map : public demo_armies_fixture
{
protected:
	void SetUp() override
	{
		demo_armies_fixture::SetUp();
		saved_options = game->option_flags;
	}
	void TearDown() override
	{
		game->option_flags = saved_options;
		demo_armies_fixture::TearDown();
	}
	// A generated kind changed by the caller, loaded under a fresh subgroup.
	static int16 load(monster_definition d, file_tag subgroup = TAG("tst0"))
	{
		const std::vector<uint8> bytes = stored_monster_definition_bytes(d);
		return new_monster_definition_from_tag_data(subgroup, bytes.data(), static_cast<int32>(bytes.size()));
	}
	static monster_definition swordsman(void)
	{
		return default_unit_monster_definition(0);
	}

	uint32 saved_options = 0;
};

TEST_F(monster_definitions_on_a_map, generated_kinds_load_and_write_back_byte_identical)
{
	for (int16 kind = 0; kind < NUMBER_OF_DEFAULT_UNIT_KINDS; ++kind)
	{
		const monster_definition generated = default_unit_monster_definition(kind);
		const std::vector<uint8> bytes = stored_monster_definition_bytes(generated);
		ASSERT_EQ(bytes.size(), 1024u);
		// Back to host order through both descriptors, and out again: the same bytes.
		monster_definition host;
		memcpy(&host, bytes.data(), sizeof(host));
		byte_swap_data("mons", &host, sizeof(host), 1, monster_definition_bs_data);
		byte_swap_data("monster attack", host.attacks, sizeof(monster_attack_definition),
			MAXIMUM_NUMBER_OF_ATTACKS_PER_MONSTER, monster_attack_definition_bs_data);
		EXPECT_EQ(memcmp(&host, &generated, sizeof(host)), 0) << kind;
		EXPECT_EQ(stored_monster_definition_bytes(host), bytes) << kind;

		const int16 type = monster_definition_tag_to_index(default_unit_kind_tags[kind]);
		const monster_definition *loaded = get_monster_definition(type);
		ASSERT_NE(loaded, nullptr) << kind;
		EXPECT_EQ(loaded->number_of_attacks, 1);
		EXPECT_EQ(loaded->attacks[0].repetitions, generated.attacks[0].repetitions);
		EXPECT_EQ(loaded->attacks[0].maximum_range, generated.attacks[0].maximum_range);
		EXPECT_NE(loaded->attacks[0].projectile_type, NONE);
		EXPECT_NE(loaded->object_type, NONE);
		EXPECT_NE(loaded->names_string_list_index, NONE);
		// Impassable: the negative costs and, from 1301, the zero modifiers; the
		// swordsman and the archer stop only at deep water and walls.
		EXPECT_EQ(loaded->terrain_impassability_flags, kind < 2 ? 0xC008u : 0xF00Cu) << kind;
		const int16 unit = unit_definition_tag_to_index(default_unit_kind_tags[kind]);
		ASSERT_NE(get_unit_definition(unit), nullptr);
		EXPECT_EQ(get_unit_definition(unit)->monster_type, type);
	}
	const monster_definition *thrower = get_monster_definition(monster_definition_tag_to_index(DEFAULT_THROWER_TAG));
	EXPECT_NE(thrower->ammunition_projectile_type, NONE);
}

TEST_F(monster_definitions_on_a_map, postprocessing_derives_and_decodes_by_the_rules)
{
	monster_definition d = swordsman();
	d.use_attack_frequency = 1;
	d.attack_frequency_lower_bound = d.attack_frequency_delta = 0;
	d.flags |= _monster_carries_multiple_artifacts_flag;
	d.maximum_artifacts_carried = 12;
	const monster_definition *loaded = get_monster_definition(load(d, TAG("fq00")));
	ASSERT_NE(loaded, nullptr) << log_text();
	EXPECT_EQ(loaded->use_attack_frequency, 0);
	EXPECT_EQ(loaded->maximum_artifacts_carried, 9);
	d.maximum_artifacts_carried = 0;
	EXPECT_FALSE(get_monster_definition(load(d, TAG("fq01")))->flags & _monster_carries_multiple_artifacts_flag);

	// Cost 5 with modifier 0 is impassable from 1301 only.
	d = swordsman();
	d.terrain_costs[0] = 5;
	d.movement_modifiers[0] = 0;
	game_play_version = 1300;
	EXPECT_FALSE(get_monster_definition(load(d, TAG("tc00")))->terrain_impassability_flags & 1);
	game_play_version = 1301;
	EXPECT_TRUE(get_monster_definition(load(d, TAG("tc01")))->terrain_impassability_flags & 1);
	// The ignore flag keeps negative costs passable only above 1700.
	d = swordsman();
	d.flags |= _monster_ignores_terrain_costs_for_impassability_flag;
	d.terrain_costs[2] = -1;
	d.movement_modifiers[2] = 100;
	game_play_version = 1700;
	EXPECT_TRUE(get_monster_definition(load(d, TAG("ig00")))->terrain_impassability_flags & 4);
	game_play_version = 1701;
	EXPECT_FALSE(get_monster_definition(load(d, TAG("ig01")))->terrain_impassability_flags & 4);

	// Behaviour bits: byte 6 at 255 decodes nothing without the ignore flag;
	// 128 there is long-range eyesight; byte 4 at or below 0 stays above 1510.
	game_play_version = 1720;
	d = swordsman();
	d.flags |= _monster_is_skittish_flag;
	d.terrain_costs[6] = -1;
	d.terrain_costs[7] = 8;
	loaded = get_monster_definition(load(d, TAG("hk00")));
	EXPECT_EQ(static_cast<uint16>(loaded->hack_flags), _hack_chases_enemy_during_recovery_flag);
	EXPECT_EQ(loaded->terrain_costs[6], 0);
	d.terrain_costs[6] = static_cast<int8>(128);
	d.terrain_costs[4] = static_cast<int8>(_hack_can_target_flying_cost);
	loaded = get_monster_definition(load(d, TAG("hk01")));
	EXPECT_EQ(loaded->visibility_type, _visibility_bitmap_2020);
	EXPECT_EQ(static_cast<uint8>(loaded->more_hack_flags), _hack_can_target_flying_flag);
	EXPECT_EQ(loaded->terrain_costs[4], static_cast<int8>(128)) << "a value at or below 0 stays above 1510";
	// Charging needs a running sequence.
	d.terrain_costs[6] = static_cast<int8>(_hack_unit_can_charge_cost);
	d.sequence_indexes[_monster_sequence_running] = NONE;
	EXPECT_FALSE(static_cast<uint16>(get_monster_definition(load(d, TAG("hk02")))->hack_flags) & _hack_unit_can_charge_flag);
	d.sequence_indexes[_monster_sequence_running] = d.sequence_indexes[_monster_sequence_moving];
	ASSERT_NE(d.sequence_indexes[_monster_sequence_running], NONE);
	EXPECT_TRUE(static_cast<uint16>(get_monster_definition(load(d, TAG("hk03")))->hack_flags) & _hack_unit_can_charge_flag);

	// The anticlump radii and the speed cut.
	game->option_flags |= _game_option_uses_qel_flag;
	const struct
	{
		int16 radius, melee, other;
	} radii[] = {{99, 162, 132}, {100, 200, 100}, {154, 200, 154}, {155, 155, 155}};
	for (const auto &r : radii)
	{
		d = swordsman();
		d.pathfinding_radius = r.radius;
		loaded = get_monster_definition(load(d, TAG("qm00") + static_cast<file_tag>(r.radius)));
		EXPECT_EQ(loaded->pathfinding_radius, r.melee) << r.radius;
		EXPECT_EQ(loaded->base_movement_speed, 24 - 2);
		d.monster_class = _monster_class_harmless;
		EXPECT_EQ(get_monster_definition(load(d, TAG("qo00") + static_cast<file_tag>(r.radius)))->pathfinding_radius,
			r.other) << r.radius;
	}
	EXPECT_TRUE(static_cast<uint8>(loaded->more_hack_flags) & _hack_responds_to_enemies_flag);
}

TEST_F(monster_definitions_on_a_map, kept_kinds_follow_every_change_of_the_group)
{
	definition_globals *kinds = get_monster_definitions();
	// The kept answer against the group's own checks over the whole index range and past it.
	auto agree = [&](const char *when)
	{
		for (int32 type = -2; type <= MAXIMUM_MONSTER_DEFINITIONS_PER_MAP + 1; ++type)
		{
			const int16 t = static_cast<int16>(type);
			EXPECT_EQ(get_monster_definition(t), try_and_get_definition(kinds, t)) << when << ": " << type;
		}
	};
	agree("on the map");
	const int16 first = load(swordsman(), TAG("tst1"));
	const int16 second = load(swordsman(), TAG("tst2"));
	ASSERT_NE(first, NONE) << log_text();
	ASSERT_NE(second, NONE) << log_text();
	ASSERT_NE(get_monster_definition(first), nullptr);
	agree("two loaded");

	// Marked deleted below the newest: the lookup ends at once.
	EXPECT_FALSE(delete_definition(kinds, first));
	EXPECT_EQ(get_monster_definition(first), nullptr);
	agree("one marked");
	// The newest removed, then its slot reused by another kind.
	EXPECT_TRUE(delete_definition(kinds, second));
	EXPECT_EQ(get_monster_definition(second), nullptr);
	agree("newest removed");
	EXPECT_EQ(load(swordsman(), TAG("tst3")), second);
	EXPECT_NE(get_monster_definition(second), nullptr);
	agree("slot reused");
}

TEST_F(monster_definitions_on_a_map, broken_kinds_and_mismatched_units_are_refused)
{
	monster_definition d = swordsman();
	// Five attacks would read and write past the four records.
	d.number_of_attacks = 5;
	EXPECT_EQ(load(d, TAG("bad0")), NONE);
	EXPECT_NE(log_text().find("has #5 attacks"), std::string::npos);
	// A visibility kind outside the table.
	d = swordsman();
	d.visibility_type = 7;
	EXPECT_EQ(load(d, TAG("bad1")), NONE);
	d = swordsman();
	d.collection_tag = TAG("none");
	EXPECT_EQ(load(d, TAG("bad2")), NONE);
	d = swordsman();
	d.attacks[0].projectile_tag = TAG("none");
	EXPECT_EQ(load(d, TAG("bad3")), NONE);
	d = swordsman();
	d.names_string_list_tag = TAG("none");
	EXPECT_EQ(load(d, TAG("bad4")), NONE);
	d = swordsman();
	d.sequence_indexes[_monster_sequence_moving] = 40;
	EXPECT_EQ(load(d, TAG("bad5")), NONE);
	// A sound no layer knows is none: the kind loads.
	d = swordsman();
	d.sound_tags[0] = TAG("gone");
	const int16 sounding = load(d, TAG("snd0"));
	ASSERT_NE(sounding, NONE) << log_text();
	EXPECT_EQ(get_monster_definition(sounding)->sound_indexes[0], NONE);
}

using unit_definitions_on_a_map = monster_definitions_on_a_map;

TEST_F(unit_definitions_on_a_map, units_pair_kinds_and_colours_and_refuse_a_mismatch)
{
	// Every player of the battle has its own copy of each placed kind, made from the plain one.
	const int16 plain = unit_definition_tag_to_index(DEFAULT_SWORDSMAN_TAG);
	const unit_definition *original = get_unit_definition(plain);
	ASSERT_NE(original, nullptr);
	EXPECT_EQ(original->parent_unit_tag, DEFAULT_SWORDSMAN_TAG);
	EXPECT_EQ(original->player_index, NONE);
	int32 copies = 0;
	for (int16 i = 0; i < get_unit_definitions()->count; ++i)
	{
		const unit_definition *unit = get_unit_definition(i);
		if (unit && i != plain && unit->parent_unit_tag == DEFAULT_SWORDSMAN_TAG)
		{
			EXPECT_TRUE(unit->player_index == 0 || unit->player_index == 1) << unit->player_index;
			EXPECT_EQ(unit->monster_type, original->monster_type);
			copies += 1;
		}
	}
	EXPECT_EQ(copies, 2);
	EXPECT_EQ(custom_unit_definition(TAG("none"), nullptr, nullptr), NONE);

	// A unit whose reference is of another collection than its kind.
	monster_definition d = swordsman();
	d.collection_tag = DEFAULT_EFFECTS_COLLECTION_TAG;
	d.sequence_indexes[_monster_sequence_moving] = NONE;
	for (int16 &sequence : d.sequence_indexes) sequence = sequence == NONE ? NONE : 0;
	d.attacks[0].sequences[0].sequence_index = 0;
	ASSERT_NE(load(d, TAG("mism")), NONE) << log_text();
	unit_definition unit = default_unit_definition(0);
	unit.monster_tag = TAG("mism");
	const std::vector<uint8> bytes = stored_record_bytes(&unit, sizeof(unit), unit_definition_bs_data);
	EXPECT_EQ(new_unit_definition_from_tag_data(TAG("mism"), bytes.data(), static_cast<int32>(bytes.size())), NONE);
	EXPECT_NE(log_text().find("unit definition has mismatched collection reference (unit) and monster (efct)."),
		std::string::npos) << log_text();
}

} // namespace
