#include "first_level_script.h"

#include <cstdio>
#include <string>

#include "level_group_ai_script.h"
#include "level_scenes_content.h"
#include "level_unit_ai_script.h"
#include "mesh_content.h"
#include "unit_query_level_actions.h"
#include "units_content.h"

namespace {

enum
{
	_opening_view,
	_dawn,
	_brook,
	_swirl,
	_storm,
	_strike,
	_thunder
};

// Team 1's fourteen, which the lightning looks for: the front swordsmen
// have often fallen by the storm, but some of the rest are in reach.
const int16 first_team1_unit = 31;
const int16 team1_units = 14;
const int32 cell = WORLD_ONE;

} // namespace

void add_first_level_presentation_actions(script_builder *b, int32 first_slot)
{
	const uint32 at_once = _map_action_initially_active_flag | _map_action_no_initial_delay_flag;
	const uint32 later = _map_action_initially_active_flag;
	const int16 mode = _map_action_deactivates_on_trigger;
	auto slot = [first_slot](int32 s) { return first_slot + s; };

	// A glide over team 0's line as the level opens.
	b->add_action(slot(_opening_view), "obmo", "opening view", at_once, mode);
	b->integer(slot(_opening_view), "mode", 1);
	const world_point2d over_the_line = {42 * cell, 56 * cell};
	b->parameter(slot(_opening_view), "dest", _parameter_world_point2d, 1, &over_the_line);
	const int16 north = 0x4000;
	b->parameter(slot(_opening_view), "faci", _parameter_angle, 1, &north);
	const int32 glide_step = 320;
	b->parameter(slot(_opening_view), "line", _parameter_world_distance, 1, &glide_step);

	b->add_action(slot(_dawn), "fade", "dawn", at_once, mode);
	b->integer(slot(_dawn), "dura", 60);
	const int32 black[3] = {0, 0, 0};
	b->parameter(slot(_dawn), "colr", _parameter_integer, 3, black);

	b->add_action(slot(_brook), "ambi", "brook", at_once, mode);
	const int16 brook = FIRST_LEVEL_SOUND_SOURCE_IDENTIFIER;
	b->parameter(slot(_brook), "subj", _parameter_sound_source_identifier, 1, &brook);
	b->fixed_value(slot(_brook), "volu", FIXED_ONE / 2);
	b->fixed_value(slot(_brook), "dura", 4 * FIXED_ONE);

	b->add_action(slot(_swirl), "lpgr", "swirl", later, mode);
	b->delays(slot(_swirl), 480, 0);
	b->flag(slot(_swirl), "__on");
	const int16 swirl = FIRST_LEVEL_SWIRL_GROUP_IDENTIFIER;
	b->parameter(slot(_swirl), "grou", _parameter_local_projectile_group_identifier, 1, &swirl);

	b->add_action(slot(_storm), "part", "storm", later, mode);
	b->delays(slot(_storm), 640, 0);
	b->flag(slot(_storm), "swit");
	b->fixed_value(slot(_storm), "mult", FIXED_ONE + FIXED_ONE / 2);

	b->add_action(slot(_strike), "ligh", "strike", later, mode);
	b->delays(slot(_strike), 896, 0);
	int16 army[team1_units];
	for (int16 i = 0; i < team1_units; ++i) army[i] = static_cast<int16>(first_team1_unit + i);
	b->parameter(slot(_strike), "subj", _parameter_monster_identifier, team1_units, army);
	b->parameter(slot(_strike), "soun", _parameter_sound_source_identifier, 1, &brook);
	// From the brook over the whole field between the armies; the test is strictly closer.
	const int32 reach = 20480;
	b->parameter(slot(_strike), "radi", _parameter_world_distance, 1, &reach);
	const file_tag bolt = TAG("bolt");
	b->parameter(slot(_strike), "proj", _parameter_projectile_tag, 1, &bolt);

	b->add_action(slot(_thunder), "obmo", "thunder", later, mode);
	b->delays(slot(_thunder), 896, 0);
	b->integer(slot(_thunder), "mode", -1);
	b->flag(slot(_thunder), "shak");
	const int32 shake = 384;
	b->parameter(slot(_thunder), "inte", _parameter_world_distance, 1, &shake);
	b->fixed_value(slot(_thunder), "dura", FIXED_ONE);
}

// Open: dry land (the computer team's points never stand in the lake).
static bool cell_is_open(int32 x, int32 y, const void *data)
{
	const map_description *map = static_cast<const map_description *>(data);
	const int32 width = map->header.submesh_width * SUBMESH_WIDTH;
	const int32 height = map->header.submesh_height * SUBMESH_WIDTH;
	if (x < 0 || y < 0 || x >= width || y >= height) return false;
	const mesh_cell &cell = map->cells[static_cast<size_t>(y * width + x)];
	return (cell.flags & (_mesh_cell_triangle_media_flags | _mesh_vertex_is_media_flag)) == 0;
}

map_action_section first_level_script_section(const map_description &map)
{
	if (!begin_script_section()) return map_action_section{0, {}};
	script_builder b(FIRST_LEVEL_PRESENTATION_ACTION_COUNT);
	add_first_level_presentation_actions(&b, 0);
	// The unit queries follow, then the computer team, in landing order.
	b.good = b.good && append_unit_query_level_actions();
	std::string failed;
	if (b.good && !append_level_group_ai_actions(cell_is_open, &map, &failed))
	{
		fprintf(stderr, "first level: the computer team's action \"%s\" could not be made\n", failed.c_str());
		b.good = false;
	}
	b.good = b.good && append_level_unit_ai_actions(cell_is_open, &map, &failed);
	add_level_scenes(b, FIRST_LEVEL_PRESENTATION_ACTION_COUNT);
	return finish_script_section(b);
}

void add_first_level_animals(std::vector<marker_palette_entry> *palette, std::vector<marker_data> *markers,
	cell_height_proc height_at, void *data)
{
	int16 rows_of_monsters = 0;
	for (const marker_palette_entry &entry : *palette) rows_of_monsters += entry.type == _marker_monster;
	for (int16 kind = 0; kind < NUMBER_OF_AMBIENT_LIFE_UNIT_KINDS; ++kind)
	{
		marker_palette_entry entry = {};
		entry.type = _marker_monster;
		entry.tag = ambient_life_unit_kind_tags[kind];
		entry.team_index = 0;
		entry.extra_flags = 0xFFFF;
		entry.tag_index = NONE;
		entry.flags = _marker_palette_ambient_life_flag;
		palette->push_back(entry);
	}
	// Chickens between team 0's archers and swordsmen, clear of every unit's
	// vertex and of the burning rows; deer on the far meadow, peasants by the
	// lake, one bird over the valley.
	const struct { int16 kind; int32 x, y; } animals[FIRST_LEVEL_ANIMAL_COUNT] = {
		{0, 35, 60}, {0, 38, 61}, {0, 41, 60}, {0, 44, 61}, {0, 47, 60}, {0, 49, 61},
		{1, 10, 88}, {1, 13, 90},
		{2, 31, 60}, {2, 22, 71},
		{3, 38, 66},
	};
	for (const auto &animal : animals)
	{
		marker_data marker = {};
		marker.type = _marker_monster;
		// Palette indexes count among the rows of the marker's own type.
		marker.palette_index = static_cast<int16>(rows_of_monsters + animal.kind);
		marker.identifier = 0;
		marker.location.position = {animal.x * cell + cell / 2, animal.y * cell + cell / 2,
			height_at ? height_at(animal.x, animal.y, data) : 0};
		marker.location.yaw = static_cast<angle>(animal.x * 4096);
		marker.data_index = NONE;
		markers->push_back(marker);
	}
}
