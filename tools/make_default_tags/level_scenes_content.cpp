#include "level_scenes_content.h"

#include "default_tags.h"
#include "mesh_content.h"
#include "model_animations.h"
#include "tag_files/tag_files.h"

namespace {

const int32 cell = WORLD_ONE;

short_world_distance height_of_cell(const map_description &map, int32 x, int32 y)
{
	const int32 width = map.header.submesh_width * SUBMESH_WIDTH;
	return map.cells[static_cast<size_t>(y * width + x)].height;
}

// A model or animation row of its own, or the index of the row already naming the tag.
int16 palette_index_for(map_description *map, int16 type, file_tag tag)
{
	int16 index = 0;
	for (const marker_palette_entry &entry : map->palette)
	{
		if (entry.type != type) continue;
		if (entry.tag == tag) return index;
		++index;
	}
	map->palette.push_back(palette_row(type, tag, NONE, 0xFFFF));
	return index;
}

// Models stand at their cell's corner, upright as the level's others.
marker_data model_marker(const map_description &map, int16 type, int16 row, int16 identifier, int32 x, int32 y)
{
	marker_data marker = marker_at(type, row, identifier, x * cell, y * cell, 0);
	marker.location.pitch = 49152;
	marker.location.position.z = height_of_cell(map, x, y);
	return marker;
}

} // namespace

void add_level_scene_markers(map_description *map)
{
	// Behind team 0's line, clear of the burning meadow.
	const struct { int32 x, y; } bombs[NUMBER_OF_LEVEL_CACHE_BOMBS] = {
		{44, 50}, {46, 50}, {43, 51}, {47, 51}, {44, 52}, {46, 52}};
	const int16 bomb_row = palette_index_for(map, _marker_projectile, DEMO_BOMB_TAG);
	for (int16 i = 0; i < NUMBER_OF_LEVEL_CACHE_BOMBS; ++i)
	{
		marker_data bomb = marker_at(_marker_projectile, bomb_row, static_cast<int16>(LEVEL_FIRST_CACHE_BOMB_IDENTIFIER + i),
			bombs[i].x * cell + cell / 2, bombs[i].y * cell + cell / 2, 0);
		bomb.location.position.z = height_of_cell(*map, bombs[i].x, bombs[i].y);
		map->markers.push_back(bomb);
	}

	const struct { int32 x, y; } stones[NUMBER_OF_LEVEL_STONES] = {{56, 86}, {30, 63}, {10, 88}};
	const int16 stone_row = palette_index_for(map, _marker_model, STANDING_STONE_MODEL_TAG);
	for (int16 i = 0; i < NUMBER_OF_LEVEL_STONES; ++i)
	{
		map->markers.push_back(model_marker(*map, _marker_model, stone_row,
			static_cast<int16>(LEVEL_FIRST_STONE_IDENTIFIER + i), stones[i].x, stones[i].y));
	}

	const int16 mast_row = palette_index_for(map, _marker_model_animation, MAST_ANIMATION_TAG);
	map->markers.push_back(model_marker(*map, _marker_model_animation, mast_row, LEVEL_MAST_IDENTIFIER, 60, 60));
}

model_animation_definition mast_animation(void)
{
	model_animation_definition d = {};
	d.number_of_frames = 4;
	d.ticks_per_frame = 7;
	for (int16 i = 0; i < 4; ++i)
	{
		d.frames[i].model_tag = STANDING_STONE_MODEL_TAG;
		d.frames[i].model_type = NONE;
		d.frames[i].permutation_index = i;
	}
	d.forward_sound_tag = d.backward_sound_tag = static_cast<file_tag>(NONE);
	d.forward_sound_type = d.backward_sound_type = NONE;
	return d;
}

bool make_level_scene_tags(std::vector<int32> *handles)
{
	model_animation_definition mast = mast_animation();
	byte_swap_data("level scenes", &mast, sizeof(mast), 1, model_animation_definition_bs_data);
	const int32 animation = tag_file_new_with_subgroup_tag(MODEL_ANIMATION_GROUP_TAG, "mast", MAST_ANIMATION_TAG,
		MODEL_ANIMATION_VERSION_NUMBER, &mast, static_cast<int32>(sizeof(mast)));
	static const char *const cries[] = {"Hold the line!", "For the valley!", "Stand fast!"};
	const int32 list = make_string_list_tag(BATTLE_CRIES_STRING_LIST_TAG, "battle cries", cries,
		static_cast<int32>(NUMBEROF(cries)));
	if (animation == NONE || list == NONE) return false;
	handles->push_back(animation);
	handles->push_back(list);
	return true;
}
