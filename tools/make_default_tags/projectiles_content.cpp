#include "projectiles_content.h"

#include "collections_content.h"
#include "objects_content.h"
#include "tag_files/tag_files.h"

namespace {

constexpr file_tag no_tag = static_cast<file_tag>(NONE);

scenery_definition scenery(uint32 flags, file_tag object_tag, int16 sequence)
{
	scenery_definition d = *get_default_scenery_definition();
	d.flags = flags;
	d.collection_reference_tag = DEFAULT_SCENERY_REFERENCE_TAG;
	d.object_tag = object_tag;
	d.sequence_indexes[_scenery_sequence_undamaged] = sequence;
	return d;
}

projectile_definition projectile(file_tag object_tag, int16 sequence)
{
	projectile_definition d = *get_default_projectile_definition();
	d.collection_tag = DEFAULT_EFFECTS_COLLECTION_TAG;
	d.object_tag = object_tag;
	d.sequence_indexes[_projectile_in_flight_sequence] = sequence;
	d.damage.type = NONE;
	return d;
}

damage_definition blow(int16 type, int16 lower, int16 delta)
{
	damage_definition damage = {};
	damage.type = type;
	damage.damage_lower_bound = lower;
	damage.damage_delta = delta;
	return damage;
}

projectile_definition sword(void)
{
	projectile_definition d = projectile(DEFAULT_EFFECT_OBJECT_TAG, NONE);
	d.flags = _projectile_is_melee_attack_flag;
	d.damage = blow(_damage_steel_slashing, 80, 48);
	return d;
}

projectile_definition flash(void)
{
	projectile_definition d = projectile(DEFAULT_EFFECT_OBJECT_TAG, _default_effects_explosion_sequence);
	d.flags = _projectile_detonates_when_animation_loops_flag;
	return d;
}

projectile_definition spark(void)
{
	projectile_definition d = projectile(DEFAULT_DEBRIS_OBJECT_TAG, _default_effects_spark_sequence);
	d.lifespan_lower_bound = 20;
	d.lifespan_delta = 10;
	d.random_initial_velocity = 6;
	return d;
}

// Stone's dust and burning things' smoke are puffs, not the bomb's glow.
projectile_definition dust(void)
{
	projectile_definition d = projectile(DEFAULT_EFFECT_OBJECT_TAG, _default_effects_puff_sequence);
	d.lifespan_lower_bound = 15;
	d.lifespan_delta = 5;
	return d;
}

projectile_definition smoke(void)
{
	projectile_definition d = projectile(DEFAULT_EFFECT_OBJECT_TAG, _default_effects_puff_sequence);
	d.lifespan_lower_bound = 20;
	d.lifespan_delta = 10;
	return d;
}

projectile_group_part_definition part(file_tag projectile_tag, int16 count, int16 delta, uint32 flags)
{
	projectile_group_part_definition p = *get_default_projectile_group_part_definition();
	p.projectile_tag = projectile_tag;
	p.count_lower_bound = count;
	p.count_delta = delta;
	p.flags = flags;
	return p;
}

projectile_group_definition group(std::initializer_list<projectile_group_part_definition> parts)
{
	projectile_group_definition g = *get_default_projectile_group_definition();
	for (const projectile_group_part_definition &p : parts) g.parts[g.number_of_parts++] = p;
	return g;
}

struct content_tag
{
	file_tag group_tag;
	int32 version;
	file_tag subgroup_tag;
	const char *name;
	std::vector<uint8> bytes;
};

template <typename record>
content_tag tag_of(file_tag group_tag, int32 version, file_tag subgroup, const char *name, const record &r,
	const byte_swap_code *codes)
{
	return {group_tag, version, subgroup, name, stored_record_bytes(&r, static_cast<int32>(sizeof(record)), codes)};
}

} // namespace

std::vector<uint8> stored_record_bytes(const void *record, int32 size, const byte_swap_code *codes)
{
	std::vector<uint8> bytes(static_cast<size_t>(size));
	byte_swap_move("content", bytes.data(), record, size, 1, codes);
	return bytes;
}

scenery_definition default_tree_scenery(void)
{
	scenery_definition d = scenery(_scenery_is_solid_flag | _scenery_has_random_facing_flag, DEFAULT_TREE_OBJECT_TAG,
		_default_scenery_tree_sequence);
	d.sequence_indexes[_scenery_sequence_ruined] = _default_scenery_stump_sequence;
	return d;
}

scenery_definition default_rock_scenery(void)
{
	scenery_definition d = scenery(_scenery_is_solid_flag | _scenery_marks_terrain_impassable_flag, DEFAULT_ROCK_OBJECT_TAG,
		_default_scenery_rock_sequence);
	d.projectile_group_tags[_scenery_impact_projectile_group] = DEFAULT_CHIP_GROUP_TAG;
	d.projectile_group_tags[_scenery_detonation_projectile_group] = DEFAULT_CHIP_GROUP_TAG;
	return d;
}

scenery_definition default_post_scenery(void)
{
	return scenery(_scenery_is_solid_flag, DEFAULT_POST_OBJECT_TAG, _default_scenery_post_sequence);
}

connector_definition default_fence_connector(void)
{
	connector_definition d = *get_default_connector_definition();
	d.collection_reference_tag = DEFAULT_SCENERY_REFERENCE_TAG;
	d.normal_sequence_index = _default_scenery_fence_sequence;
	d.origin_object_height_fraction = 192;
	d.distance_between_interpolants = 256;
	return d;
}

scenery_definition default_banner_scenery(void)
{
	scenery_definition d = scenery(_scenery_is_solid_flag | _scenery_is_netgame_flag_flag, DEFAULT_POST_OBJECT_TAG,
		_default_scenery_post_sequence);
	d.valid_netgame_scoring_type = 5; // capture the flag
	d.netgame_flag_number = NONE;
	return d;
}

scenery_definition default_ball_scenery(void)
{
	scenery_definition d = scenery(_scenery_is_netgame_flag_flag, DEFAULT_BOMB_OBJECT_TAG, _default_scenery_rock_sequence);
	d.projectile_tag = DEFAULT_BALL_PROJECTILE_TAG;
	d.valid_netgame_scoring_type = 10; // cattle drive
	d.netgame_flag_number = NONE;
	return d;
}

// Lies dormant until a unit or a blow pushes it; it never expires or detonates.
projectile_definition default_ball_projectile(void)
{
	projectile_definition d = projectile(DEFAULT_BOMB_OBJECT_TAG, _default_effects_glow_sequence);
	d.detonation_frequency = 0;
	return d;
}

projectile_definition default_arrow_projectile(void)
{
	projectile_definition d = projectile(DEFAULT_ARROW_OBJECT_TAG, _default_effects_arrow_sequence);
	d.damage = blow(_damage_steel_slashing, 64, 38);
	d.lifespan_lower_bound = 150;
	d.projectile_class = _projectile_class_lethal_object;
	return d;
}

projectile_definition default_bomb_projectile(void)
{
	projectile_definition d = projectile(DEFAULT_BOMB_OBJECT_TAG, _default_effects_glow_sequence);
	d.sequence_indexes[_projectile_detonation_stain_sequence] = _default_effects_scorch_sequence;
	d.projectile_class = _projectile_class_explosive_object;
	d.detonation_frequency = 0; // the fuse decides
	d.lifespan_lower_bound = 60;
	d.lifespan_delta = 15;
	d.damage = blow(_damage_explosion, 160, 96);
	d.damage.flags = _damage_area_of_effect_flag;
	d.damage.radius_lower_bound = 768;
	d.damage.radius_delta = 256;
	d.damage.rate_of_expansion = 128;
	d.damage.damage_to_velocity = 1024;
	d.detonation_projectile_group_tag = DEFAULT_BOOM_GROUP_TAG;
	return d;
}

projectile_group_definition default_boom_group(void)
{
	projectile_group_definition g = group({part(DEFAULT_FLASH_PROJECTILE_TAG, 1, 0, _projectile_group_part_is_central_flag),
		part(DEFAULT_SPARK_PROJECTILE_TAG, 6, 3, 0)});
	// Drawing only: the blast throws local debris.
	g.local_projectile_group_tag = TAG("debr");
	return g;
}

artifact_definition default_flask_artifact(void)
{
	artifact_definition d = *get_default_artifact_definition();
	d.maximum_charges = 3;
	d.initial_charges_lower_bound = 3;
	d.collection_tag = DEFAULT_EFFECTS_COLLECTION_TAG;
	d.sequence_indexes[_artifact_sequence_inventory] = _default_effects_glow_sequence;
	return d;
}

bool make_default_projectile_tags(std::vector<int32> *handles)
{
	const int32 scen = SCENERY_DEFINITION_VERSION_NUMBER, proj = PROJECTILE_DEFINITION_VERSION_NUMBER;
	const int32 prgr = PROJECTILE_GROUP_DEFINITION_VERSION_NUMBER;
	const file_tag scen_group = SCENERY_DEFINITION_GROUP_TAG, proj_group = PROJECTILE_DEFINITION_GROUP_TAG;
	const file_tag prgr_group = PROJECTILE_GROUP_DEFINITION_GROUP_TAG;
	projectile_group_definition chips = group({part(DEFAULT_SPARK_PROJECTILE_TAG, 2, 1, 0)});
	chips.local_projectile_group_tag = TAG("sprk"); // drawing only
	const content_tag tags[] = {
		tag_of(scen_group, scen, DEFAULT_TREE_SCENERY_TAG, "tree", default_tree_scenery(), scenery_definition_bs_data),
		tag_of(scen_group, scen, DEFAULT_ROCK_SCENERY_TAG, "rock", default_rock_scenery(), scenery_definition_bs_data),
		tag_of(scen_group, scen, DEFAULT_POST_SCENERY_TAG, "fence post", default_post_scenery(), scenery_definition_bs_data),
		tag_of(scen_group, scen, DEFAULT_BANNER_SCENERY_TAG, "banner", default_banner_scenery(), scenery_definition_bs_data),
		tag_of(scen_group, scen, DEFAULT_BALL_SCENERY_TAG, "ball", default_ball_scenery(), scenery_definition_bs_data),
		tag_of(CONNECTOR_GROUP_TAG, CONNECTOR_DEFINITION_VERSION_NUMBER, DEFAULT_FENCE_CONNECTOR_TAG, "fence",
			default_fence_connector(), connector_definition_bs_data),
		tag_of(proj_group, proj, DEFAULT_ARROW_PROJECTILE_TAG, "arrow", default_arrow_projectile(), projectile_definition_bs_data),
		tag_of(proj_group, proj, DEFAULT_SWORD_PROJECTILE_TAG, "sword blow", sword(), projectile_definition_bs_data),
		tag_of(proj_group, proj, DEFAULT_BOMB_PROJECTILE_TAG, "bomb", default_bomb_projectile(), projectile_definition_bs_data),
		tag_of(proj_group, proj, DEFAULT_BALL_PROJECTILE_TAG, "ball", default_ball_projectile(), projectile_definition_bs_data),
		tag_of(proj_group, proj, DEFAULT_FLASH_PROJECTILE_TAG, "explosion flash", flash(), projectile_definition_bs_data),
		tag_of(proj_group, proj, DEFAULT_SPARK_PROJECTILE_TAG, "sparks", spark(), projectile_definition_bs_data),
		tag_of(proj_group, proj, TAG("indc"), "masonry dust", dust(), projectile_definition_bs_data),
		tag_of(proj_group, proj, TAG("inst"), "smoke trail", smoke(), projectile_definition_bs_data),
		tag_of(prgr_group, prgr, DEFAULT_BOOM_GROUP_TAG, "explosion", default_boom_group(), projectile_group_definition_bs_data),
		tag_of(prgr_group, prgr, DEFAULT_CHIP_GROUP_TAG, "stone chips", chips, projectile_group_definition_bs_data),
		tag_of(prgr_group, prgr, DEFAULT_SPLASH_GROUP_TAG, "splash", group({part(DEFAULT_SPARK_PROJECTILE_TAG, 3, 2, 0)}),
			projectile_group_definition_bs_data),
		tag_of(ARTIFACT_DEFINITION_GROUP_TAG, ARTIFACT_DEFINITION_VERSION_NUMBER, DEFAULT_FLASK_ARTIFACT_TAG, "flask",
			default_flask_artifact(), artifact_definition_bs_data),
	};
	for (const content_tag &tag : tags)
	{
		const int32 handle = tag_file_new_with_subgroup_tag(tag.group_tag, tag.name, tag.subgroup_tag, tag.version,
			tag.bytes.data(), static_cast<int32>(tag.bytes.size()));
		if (handle == NONE) return false;
		handles->push_back(handle);
	}
	(void)no_tag;
	return true;
}

bool is_default_projectile_content_group(file_tag group_tag)
{
	return group_tag == SCENERY_DEFINITION_GROUP_TAG || group_tag == CONNECTOR_GROUP_TAG ||
		group_tag == PROJECTILE_DEFINITION_GROUP_TAG || group_tag == PROJECTILE_GROUP_DEFINITION_GROUP_TAG ||
		group_tag == ARTIFACT_DEFINITION_GROUP_TAG;
}
