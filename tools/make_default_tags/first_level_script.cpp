#include "first_level_script.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "first_level_content.h"
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
const int32 cell = WORLD_ONE;

// The level's end, after the scenes.
enum
{
	_light_count,
	_dark_count,
	_light_lost,
	_dark_lost,
	_light_thin,
	_dark_thin,
	_closers,
	_throwers,
	_seek,
	_seek_from_afar,
	_last_stand,
	_victory,
	_defeat,
	_long_battle,
	NUMBER_OF_ENDING_ACTIONS
};
static_assert(NUMBER_OF_ENDING_ACTIONS == FIRST_LEVEL_ENDING_ACTION_COUNT, "the header counts the ending's actions");
static_assert(_light_thin == FIRST_LEVEL_ENDING_LIGHT_THIN && _dark_thin == FIRST_LEVEL_ENDING_DARK_THIN &&
		_long_battle == FIRST_LEVEL_ENDING_LONG_BATTLE,
	"the computer team's gate opens these");

} // namespace

void add_first_level_presentation_actions(script_builder *b, int32 first_slot)
{
	const uint32 at_once = _map_action_initially_active_flag | _map_action_no_initial_delay_flag;
	const uint32 later = _map_action_initially_active_flag;
	const int16 mode = _map_action_deactivates_on_trigger;
	auto slot = [first_slot](int32 s) { return first_slot + s; };

	// The level opens on the meadow where the armies meet. The camera starts
	// there already, at the level's observer points; the glide, with nowhere
	// left to go, is kept so that every later action keeps its index.
	b->add_action(slot(_opening_view), "obmo", "opening view", at_once, mode);
	b->integer(slot(_opening_view), "mode", 1);
	const world_point2d first_view = {FIRST_LEVEL_VIEW_CELL_X * cell, FIRST_LEVEL_VIEW_CELL_Y * cell};
	b->parameter(slot(_opening_view), "dest", _parameter_world_point2d, 1, &first_view);
	const int16 facing = FIRST_LEVEL_VIEW_FACING;
	b->parameter(slot(_opening_view), "faci", _parameter_angle, 1, &facing);
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
	// Every unit the computer's team may field, its army, Hard's pair, the
	// hidden ones, its caster and Very Hard's pair: the player may have felled
	// the army by then, and a strike with no subject left is an error.
	std::vector<int16> army;
	for (int16 i = first_team1_unit; i <= FIRST_LEVEL_VERY_HARD_PAIR_FIRST + 1; ++i) army.push_back(i);
	b->parameter(slot(_strike), "subj", _parameter_monster_identifier, static_cast<int16>(army.size()), army.data());
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

void add_first_level_ending_actions(script_builder *b, int32 first_slot)
{
	const uint32 watching = _map_action_initially_active_flag | _map_action_no_initial_delay_flag;
	const int16 never = _map_action_deactivates_never;
	auto slot = [first_slot](int32 s) { return first_slot + s; };

	// Each side's fighting units, counted anew every pass: the team test
	// leaves out ambient life (the animals walk with team 0) and observers.
	b->add_action(slot(_light_count), "geom", "light's army", watching, never);
	b->add_action(slot(_dark_count), "geom", "dark's army", watching, never);
	const int16 once = _map_action_deactivates_on_successful_execution;
	b->add_action(slot(_light_lost), "tuni", "light lost", watching, once);
	b->add_action(slot(_dark_lost), "tuni", "dark lost", watching, once);
	b->add_action(slot(_light_thin), "tuni", "light thin", _map_action_no_initial_delay_flag, never);
	b->add_action(slot(_dark_thin), "tuni", "dark thin", _map_action_no_initial_delay_flag, never);
	b->add_action(slot(_closers), "geom", "closers", _map_action_no_initial_delay_flag, never);
	b->add_action(slot(_throwers), "geom", "throwers", _map_action_no_initial_delay_flag, never);
	b->add_action(slot(_seek), "atta", "seek", _map_action_no_initial_delay_flag, never);
	b->add_action(slot(_seek_from_afar), "atta", "seek from afar", _map_action_no_initial_delay_flag, never);
	b->add_action(slot(_last_stand), "tuni", "last stand", 0, _map_action_deactivates_on_trigger);
	b->add_action(slot(_victory), "endg", "victory", _map_action_no_initial_delay_flag,
		_map_action_deactivates_on_trigger);
	b->add_action(slot(_defeat), "endg", "defeat", _map_action_no_initial_delay_flag,
		_map_action_deactivates_on_trigger);
	b->add_action(slot(_long_battle), "tuni", "long battle", 0, once);

	const field_tag subjects[4] = {TAG("subj"), TAG("subj"), TAG("subj"), TAG("subj")};
	b->integer(slot(_light_count), "team", 0);
	b->identifiers(slot(_light_count), "resu", {slot(_light_lost), slot(_light_thin)});
	b->parameter(slot(_light_count), "insi", _parameter_field_name, 2, subjects);
	b->integer(slot(_dark_count), "team", 1);
	b->identifiers(slot(_dark_count), "resu", {slot(_dark_lost), slot(_dark_thin), slot(_closers), slot(_throwers)});
	b->parameter(slot(_dark_count), "insi", _parameter_field_name, 4, subjects);

	// The first side to fall decides: the other test stops at once.
	for (int32 test : {_light_lost, _dark_lost, _light_thin, _dark_thin})
	{
		b->parameter(slot(test), "subj", _parameter_monster_identifier, 0, nullptr);
	}
	b->integer(slot(_light_lost), "___<", 1);
	b->identifiers(slot(_light_lost), "acos", {slot(_defeat)});
	b->identifiers(slot(_light_lost), "deos",
		{slot(_dark_lost), slot(_light_thin), slot(_dark_thin), slot(_closers), slot(_throwers), slot(_seek),
			slot(_seek_from_afar), slot(_last_stand)});
	b->integer(slot(_dark_lost), "___<", 1);
	b->identifiers(slot(_dark_lost), "acos", {slot(_victory)});
	b->identifiers(slot(_dark_lost), "deos",
		{slot(_light_lost), slot(_light_thin), slot(_dark_thin), slot(_closers), slot(_throwers), slot(_seek),
			slot(_seek_from_afar), slot(_last_stand)});
	b->flag(slot(_victory), "ligh");

	// Down to its last few, either side is sought out: the computer team's
	// units go for the player's nearest, so that neither an idle player nor
	// a straggler in a corner keeps the level from its end.
	b->integer(slot(_light_thin), "___<", FIRST_LEVEL_FEW_UNITS + 1);
	b->identifiers(slot(_light_thin), "acos",
		{slot(_closers), slot(_throwers), slot(_seek), slot(_seek_from_afar), slot(_last_stand)});
	b->integer(slot(_dark_thin), "___<", FIRST_LEVEL_FEW_UNITS + 1);
	b->identifiers(slot(_dark_thin), "acos",
		{slot(_closers), slot(_throwers), slot(_seek), slot(_seek_from_afar), slot(_last_stand)});
	// Stragglers out of each other's sight may stand for good with more than
	// a few a side: a long battle is sought out all the same. Its test always
	// holds (no subjects, fewer than one); a thinned-out side deactivates it.
	b->delays(slot(_long_battle), FIRST_LEVEL_LONG_BATTLE_TICKS, 0);
	b->parameter(slot(_long_battle), "subj", _parameter_monster_identifier, 0, nullptr);
	b->integer(slot(_long_battle), "___<", 1);
	b->identifiers(slot(_long_battle), "acos",
		{slot(_closers), slot(_throwers), slot(_seek), slot(_seek_from_afar), slot(_last_stand)});
	for (int32 thin : {_light_thin, _dark_thin}) b->identifiers(slot(thin), "deos", {slot(_long_battle)});
	// Each goes for the nearest of the player's units. Swordsmen, scouts,
	// archers and casters close on it; bomb throwers, the one kind above 35 in
	// power, keep their distance, or they would stand under their own
	// minimum range.
	const int32 thrower_power = 35;
	b->parameter(slot(_closers), "subj", _parameter_monster_identifier, 0, nullptr);
	b->integer(slot(_closers), "pow<", thrower_power);
	b->parameter(slot(_throwers), "subj", _parameter_monster_identifier, 0, nullptr);
	b->integer(slot(_throwers), "pow>", thrower_power);
	for (int32 kind : {_closers, _throwers})
	{
		b->flag(slot(kind), "_map");
		b->identifiers(slot(kind), "resu", {slot(kind == _closers ? _seek : _seek_from_afar)});
		b->parameter(slot(kind), "insi", _parameter_field_name, 1, subjects);
	}
	for (int32 seek : {_seek, _seek_from_afar})
	{
		b->parameter(slot(seek), "subj", _parameter_monster_identifier, 0, nullptr);
		b->integer(slot(seek), "team", 0);
		b->flag(slot(seek), "near");
		b->delays(slot(seek), FIRST_LEVEL_SEEK_PERIOD, 0);
	}
	b->flag(slot(_seek), "clos");

	// Units that cannot hurt each other (throwers under their minimum range,
	// an archer below a ridge) may face off for good: a while
	// after the first side thinned out, the stronger side left wins, the
	// player on a tie. Both armies as placed, by identifier.
	int16 soldiers[FIRST_LEVEL_SOLDIER_COUNT];
	int16 count = 0;
	for (int16 i = FIRST_LEVEL_TEAM0_FIRST_SWORDSMAN; i <= FIRST_LEVEL_TEAM0_CASTER_IDENTIFIER; ++i)
	{
		soldiers[count++] = i;
	}
	for (int16 i = FIRST_LEVEL_TEAM1_FIRST_SWORDSMAN; i <= FIRST_LEVEL_TEAM1_CASTER_IDENTIFIER; ++i)
	{
		soldiers[count++] = i;
	}
	for (int16 i = 0; i < 2; ++i) soldiers[count++] = static_cast<int16>(FIRST_LEVEL_VERY_HARD_PAIR_FIRST + i);
	static_assert(FIRST_LEVEL_TEAM0_CASTER_IDENTIFIER - FIRST_LEVEL_TEAM0_FIRST_SWORDSMAN + 1 +
			FIRST_LEVEL_TEAM1_CASTER_IDENTIFIER - FIRST_LEVEL_TEAM1_FIRST_SWORDSMAN + 1 + 2 == FIRST_LEVEL_SOLDIER_COUNT,
		"both armies as placed");
	b->parameter(slot(_last_stand), "subj", _parameter_monster_identifier, count, soldiers);
	b->delays(slot(_last_stand), FIRST_LEVEL_LAST_STAND_TICKS, 0);
	b->fixed_value(slot(_last_stand), "por>", FIXED_ONE);
	b->identifiers(slot(_last_stand), "acos", {slot(_victory)});
	b->identifiers(slot(_last_stand), "acof", {slot(_defeat)});
	const std::initializer_list<int32> watchers = {slot(_light_lost), slot(_dark_lost), slot(_light_thin),
		slot(_dark_thin), slot(_closers), slot(_throwers), slot(_seek), slot(_seek_from_afar)};
	b->identifiers(slot(_last_stand), "deos", watchers);
	b->identifiers(slot(_last_stand), "deof", watchers);
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
	const int32 ending = FIRST_LEVEL_PRESENTATION_ACTION_COUNT + NUMBER_OF_LEVEL_SCENES;
	add_first_level_ending_actions(&b, ending);
	// The seek orders the computer team: it waits for the team's gate, which
	// opens only when no human plays team 1, and so does the long battle's clock.
	int16 gate = NONE;
	for (int16 i = 0; i < MAXIMUM_MAP_ACTIONS_PER_MAP && gate == NONE; ++i)
	{
		if (get_map_action(i) && strcmp(get_map_action_name(i), "computer team") == 0) gate = i;
	}
	b.good = b.good && gate != NONE;
	if (gate != NONE)
	{
		const int16 watchers[3] = {
			get_map_action_identifier(b.indexes[static_cast<size_t>(ending + FIRST_LEVEL_ENDING_LIGHT_THIN)]),
			get_map_action_identifier(b.indexes[static_cast<size_t>(ending + FIRST_LEVEL_ENDING_DARK_THIN)]),
			get_map_action_identifier(b.indexes[static_cast<size_t>(ending + FIRST_LEVEL_ENDING_LONG_BATTLE)])};
		map_action_parameter handle;
		b.good = b.good && new_map_action_parameter(&handle, gate, TAG("acos"), _parameter_action_identifier) &&
			set_map_action_parameter(&handle, 3, watchers);
	}
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
