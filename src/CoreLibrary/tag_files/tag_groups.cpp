#include "tag_groups.h"

const tag_group tag_groups[NUMBER_OF_TAG_GROUPS] =
{
	{ "ambient sounds", 0, TAG("amso"), 1, _foundation_tag_file_small },
	{ "artifacts", _tag_group_is_game_critical_flag, TAG("arti"), 1, _foundation_tag_file_small },
	{ "collection references", 0, TAG("core"), 1, _foundation_tag_file_small },
	{ "collections", _tag_group_is_game_critical_flag, TAG(".256"), 4, _foundation_tag_file_large },
	{ "detail maps", 0, TAG("dmap"), 2, _foundation_tag_file_small },
	{ "detail textures", 0, TAG("dtex"), 1, _foundation_tag_file_large },
	{ "dialog string lists", 0, TAG("ditl"), 1, _foundation_tag_file_small_interface },
	{ "dialogs", 0, TAG("bina"), 1, _foundation_tag_file_small },
	{ "fonts", 0, TAG("font"), 1, _foundation_tag_file_small_interface },
	{ "geometries", _tag_group_is_game_critical_flag, TAG("geom"), 1, _foundation_tag_file_medium },
	{ "interface", 0, TAG("inte"), 1, _foundation_tag_file_small },
	{ "lightning", _tag_group_is_game_critical_flag, TAG("ligh"), 1, _foundation_tag_file_small },
	{ "local physics", 0, TAG("phys"), 1, _foundation_tag_file_small },
	{ "local projectile groups", 0, TAG("lpgr"), 1, _foundation_tag_file_small },
	{ "media types", _tag_group_is_game_critical_flag, TAG("medi"), 1, _foundation_tag_file_small },
	{ "mesh effect", _tag_group_is_game_critical_flag, TAG("meef"), 1, _foundation_tag_file_small },
	{ "mesh lighting", 0, TAG("meli"), 1, _foundation_tag_file_small },
	{ "meshes", _tag_group_is_game_critical_flag, TAG("mesh"), 11, _foundation_tag_file_small },
	{ "models", _tag_group_is_game_critical_flag, TAG("mode"), 4, _foundation_tag_file_small },
	{ "model animations", _tag_group_is_game_critical_flag, TAG("anim"), 1, _foundation_tag_file_small },
	{ "monsters", _tag_group_is_game_critical_flag, TAG("mons"), 1, _foundation_tag_file_small },
	{ "objects", _tag_group_is_game_critical_flag, TAG("obje"), 1, _foundation_tag_file_small },
	{ "observer constants", 0, TAG("obpc"), 1, _foundation_tag_file_small },
	{ "particle systems", _tag_group_is_game_critical_flag, TAG("part"), 1, _foundation_tag_file_small },
	{ "preferences", _tag_group_is_local_flag, TAG("pref"), 1, _foundation_tag_file_small },
	{ "projectile groups", _tag_group_is_game_critical_flag, TAG("prgr"), 1, _foundation_tag_file_small },
	{ "projectiles", _tag_group_is_game_critical_flag, TAG("proj"), 1, _foundation_tag_file_small },
	{ "recordings", _tag_group_is_local_flag | _tag_group_renames_duplicates_flag, TAG("reco"), 3, _foundation_tag_file_small },
	{ "saved games", _tag_group_is_local_flag | _tag_group_renames_duplicates_flag, TAG("save"), 3, _foundation_tag_file_small },
	{ "scenery", _tag_group_is_game_critical_flag, TAG("scen"), 2, _foundation_tag_file_small },
	{ "sound lists", 0, TAG("soli"), 1, _foundation_tag_file_small },
	{ "sounds", 0, TAG("soun"), 1, _foundation_tag_file_small },
	{ "string lists", 0, TAG("stli"), 1, _foundation_tag_file_small_interface },
	{ "text", 0, TAG("text"), 1, _foundation_tag_file_small },
	{ "templates", 0, TAG("temp"), 1, _foundation_tag_file_small },
	{ "units", _tag_group_is_game_critical_flag, TAG("unit"), 1, _foundation_tag_file_small },
	{ "wind", _tag_group_is_game_critical_flag, TAG("wind"), 1, _foundation_tag_file_small },
	{ "connectors", _tag_group_is_game_critical_flag, TAG("conn"), 1, _foundation_tag_file_small },
	{ "preloaded data", 0, TAG("prel"), 1, _foundation_tag_file_small },
	{ "formations", 0, TAG("form"), 1, _foundation_tag_file_small }
};

int32 tag_group_get_index(file_tag group_tag)
{
	for (int32 index = 0; index < NUMBER_OF_TAG_GROUPS; ++index)
	{
		if (tag_groups[index].group_tag == group_tag) return index;
	}
	return NONE;
}

const tag_group *tag_group_get(file_tag group_tag)
{
	const int32 index = tag_group_get_index(group_tag);
	return index == NONE ? nullptr : &tag_groups[index];
}

const tag_group *tag_group_get_next(const tag_group *group)
{
	if (!group) return &tag_groups[0];
	// A pointer from outside the table has no successor.
	if (group < tag_groups || group >= tag_groups + NUMBER_OF_TAG_GROUPS) return nullptr;
	const tag_group *next = group + 1;
	return next < tag_groups + NUMBER_OF_TAG_GROUPS ? next : nullptr;
}

const char *tag_group_get_name(file_tag group_tag)
{
	const tag_group *group = tag_group_get(group_tag);
	return group ? group->name : "<invalid group>";
}

int32 tag_group_count_headers(void)
{
	return NUMBER_OF_TAG_GROUPS;
}

void tag_group_get_group_tags(file_tag *tags)
{
	for (int32 index = 0; index < NUMBER_OF_TAG_GROUPS; ++index) tags[index] = tag_groups[index].group_tag;
}

int16 tag_group_get_group_version(file_tag group_tag)
{
	const tag_group *group = tag_group_get(group_tag);
	return group ? group->version : static_cast<int16>(NONE);
}
