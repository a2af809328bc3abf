// Artifacts and the loading of every group of this module from stored bytes:
// what an artifact keeps, clears and resolves by version, and the corrupt
// fields each group refuses.
#include <gtest/gtest.h>

#include "projectiles_test_support.h"

#include <string>

#include "bitmaps.h"
#include "collections_content.h"

namespace {

class artifacts_on_a_map : public projectiles_test_map
{
protected:
	template <typename record>
	static std::vector<uint8> bytes_of(const record &r, const byte_swap_code *codes)
	{
		return stored_record_bytes(&r, static_cast<int32>(sizeof(record)), codes);
	}
	static int16 load_artifact(file_tag tag, const artifact_definition &artifact)
	{
		const std::vector<uint8> bytes = bytes_of(artifact, artifact_definition_bs_data);
		return new_artifact_definition_from_tag_data(tag, bytes.data(), static_cast<int32>(bytes.size()));
	}
};

TEST_F(artifacts_on_a_map, loading_clears_what_cannot_hold_and_resolves_by_version)
{
	artifact_definition flask = default_flask_artifact();
	flask.flags = _artifact_overrides_owner_monster_flag | _artifact_has_timed_expiry_flag |
		_artifact_restricted_by_collection_flag | _artifact_overrides_owner_attack_flag;
	flask.monster_override_tag = TAG("ogre"); // no such unit kind
	flask.expiry_timer = 0;
	flask.projectile_tags[0] = DEFAULT_ARROW_PROJECTILE_TAG;
	flask.projectile_types[0] = 900; // as stored: names nothing loaded
	flask.override_attack.repetitions = 0x0102;
	const int16 old_rules = load_artifact(TAG("fls1"), flask);
	ASSERT_NE(old_rules, NONE) << log_text();
	artifact_definition *loaded = get_artifact_definition(old_rules);
	EXPECT_EQ(loaded->flags, static_cast<uint32>(_artifact_overrides_owner_attack_flag));
	EXPECT_EQ(loaded->projectile_types[0], 900) << "kept as loaded up to 1720";
	EXPECT_EQ(get_artifact_projectile_type(loaded, 0), NONE);
	EXPECT_EQ(loaded->override_attack.repetitions, 0x0102);
	// A retried postprocess swaps nothing again.
	ASSERT_TRUE(postprocess_artifact_definition(get_artifact_definitions(), old_rules, NONE, loaded));
	EXPECT_EQ(loaded->override_attack.repetitions, 0x0102);

	start_modules(1721);
	const int16 new_rules = load_artifact(TAG("fls2"), flask);
	ASSERT_NE(new_rules, NONE);
	EXPECT_EQ(get_artifact_projectile_type(get_artifact_definition(new_rules), 0), projectile_type(DEFAULT_ARROW_PROJECTILE_TAG));
	flask.projectile_tags[1] = TAG("nope");
	EXPECT_EQ(load_artifact(TAG("fls3"), flask), NONE);
}

TEST_F(artifacts_on_a_map, corrupt_fields_are_refused_with_their_lines)
{
	projectile_group_definition group = default_boom_group();
	for (int16 parts : {16, -1})
	{
		group.number_of_parts = parts;
		const std::vector<uint8> bytes = bytes_of(group, projectile_group_definition_bs_data);
		EXPECT_EQ(new_projectile_group_definition_from_tag_data(TAG("bad1"), bytes.data(), static_cast<int32>(bytes.size())), NONE);
		EXPECT_EQ(get_error_code(), _error_data_corrupted);
	}
	EXPECT_NE(log_text().find("has 16 parts (at most 15)"), std::string::npos) << log_text();

	projectile_definition arrow = default_arrow_projectile();
	arrow.object_tag = TAG("none");
	std::vector<uint8> bytes = bytes_of(arrow, projectile_definition_bs_data);
	EXPECT_EQ(new_projectile_definition_from_tag_data(TAG("bad2"), bytes.data(), static_cast<int32>(bytes.size())), NONE);
	arrow = default_arrow_projectile();
	arrow.sequence_indexes[_projectile_bounce_stain_sequence] = 77;
	bytes = bytes_of(arrow, projectile_definition_bs_data);
	EXPECT_EQ(new_projectile_definition_from_tag_data(TAG("bad3"), bytes.data(), static_cast<int32>(bytes.size())), NONE);
	arrow = default_arrow_projectile();
	arrow.flags |= _projectile_is_lightning_flag;
	bytes = bytes_of(arrow, projectile_definition_bs_data);
	EXPECT_EQ(new_projectile_definition_from_tag_data(TAG("bad4"), bytes.data(), static_cast<int32>(bytes.size())), NONE)
		<< "no lightning loads yet";
	bytes.resize(100);
	EXPECT_EQ(new_projectile_definition_from_tag_data(TAG("bad5"), bytes.data(), static_cast<int32>(bytes.size())), NONE);
	// An explosion that never grows would never hit nor end.
	arrow = default_arrow_projectile();
	arrow.damage.type = _damage_explosion;
	arrow.damage.flags = _damage_area_of_effect_flag;
	arrow.damage.radius_lower_bound = 512;
	arrow.damage.rate_of_expansion = 0;
	bytes = bytes_of(arrow, projectile_definition_bs_data);
	EXPECT_EQ(new_projectile_definition_from_tag_data(TAG("stil"), bytes.data(), static_cast<int32>(bytes.size())), NONE);
	EXPECT_NE(log_text().find("has a bad damage rate_of_expansion."), std::string::npos) << log_text();
	arrow.damage.rate_of_expansion = 1;
	bytes = bytes_of(arrow, projectile_definition_bs_data);
	EXPECT_NE(new_projectile_definition_from_tag_data(TAG("grow"), bytes.data(), static_cast<int32>(bytes.size())), NONE);
	// A sound no layer knows is none, the rebound sound as any other.
	arrow.sound_tags[_projectile_sound_rebound] = TAG("gone");
	bytes = bytes_of(arrow, projectile_definition_bs_data);
	const int16 rebounding = new_projectile_definition_from_tag_data(TAG("rbnd"), bytes.data(), static_cast<int32>(bytes.size()));
	ASSERT_NE(rebounding, NONE) << log_text();
	EXPECT_EQ(get_projectile_definition(rebounding)->sound_indexes[_projectile_sound_rebound], NONE);

	scenery_definition rock = default_rock_scenery();
	rock.sequence_indexes[_scenery_sequence_ruined] = 40;
	bytes = bytes_of(rock, scenery_definition_bs_data);
	EXPECT_EQ(new_scenery_definition_from_tag_data(TAG("bad6"), bytes.data(), static_cast<int32>(bytes.size())), NONE);
	connector_definition fence = default_fence_connector();
	fence.damaged_sequence_index = 40;
	bytes = bytes_of(fence, connector_definition_bs_data);
	EXPECT_EQ(new_connector_definition_from_tag_data(TAG("bad7"), bytes.data(), static_cast<int32>(bytes.size())), NONE);
	// A span stretches its first frame as a texture: a normal sequence without
	// one of power-of-two sides is refused at load, with its line.
	fence = default_fence_connector();
	const int16 scenery = get_collection_index(DEFAULT_SCENERY_COLLECTION_TAG);
	int16 uneven = NONE;
	for (int16 s = 0; s < get_collection_sequence_count(scenery) && uneven == NONE; ++s)
	{
		const bitmap_data *first = get_sequence_bitmap(scenery, s, 0, 0, nullptr, nullptr);
		if (first && !(first->flags & _power_of_two_flag)) uneven = s;
	}
	ASSERT_NE(uneven, NONE);
	for (int16 sequence : {uneven, static_cast<int16>(999), static_cast<int16>(NONE)})
	{
		fence.normal_sequence_index = sequence;
		bytes = bytes_of(fence, connector_definition_bs_data);
		EXPECT_EQ(new_connector_definition_from_tag_data(TAG("bad9"), bytes.data(), static_cast<int32>(bytes.size())), NONE)
			<< sequence;
	}
	EXPECT_NE(log_text().find("has no drawable first frame in its normal sequence #" + std::to_string(uneven)), std::string::npos);
	artifact_definition flask = default_flask_artifact();
	flask.sequence_indexes[_artifact_sequence_inventory] = 40;
	EXPECT_EQ(load_artifact(TAG("bad8"), flask), NONE);
	EXPECT_NE(log_text().find("artifact <unknown> has no collection"), std::string::npos);
}

} // namespace
