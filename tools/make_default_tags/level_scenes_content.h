// The first level's scenes: 27 actions that exercise the order, control and
// world procedures in a battle the player still plays to its end.
#ifndef LEVEL_SCENES_CONTENT_H
#define LEVEL_SCENES_CONTENT_H

#include <initializer_list>
#include <vector>

#include "cseries.h"
#include "map_actions/map_actions.h"
#include "world_units.h"

#define NUMBER_OF_LEVEL_SCENES 27

// The world pieces the scenes name.
#define STANDING_STONE_MODEL_TAG TAG("ston")
#define MAST_ANIMATION_TAG TAG("mast")
#define BATTLE_CRIES_STRING_LIST_TAG TAG("shou")
#define LEVEL_MAST_IDENTIFIER 901
#define LEVEL_FIRST_CACHE_BOMB_IDENTIFIER 711 // 711-716
#define NUMBER_OF_LEVEL_CACHE_BOMBS 6
#define LEVEL_FIRST_STONE_IDENTIFIER 811 // 811-813
#define NUMBER_OF_LEVEL_STONES 3
#define NUMBER_OF_LEVEL_SCENE_MARKERS (1 + NUMBER_OF_LEVEL_CACHE_BOMBS + NUMBER_OF_LEVEL_STONES)

struct map_description;
struct model_animation_definition;

// The bomb cache, the three standing stones and the mast, as markers of the level.
void add_level_scene_markers(map_description *map);
// The mast: four frames of the standing stone, one per permutation.
model_animation_definition mast_animation(void);
// The mast's animation and the battle cries as local tags; appends the handles
// (the stone's geometry and model are among the effects' models).
bool make_level_scene_tags(std::vector<int32> *handles);

// Slots of the scenes after the builder's first free slot.
enum
{
	_scene_raise_the_mast,
	_scene_fetch,
	_scene_hide_the_cache,
	_scene_march,
	_scene_volley,
	_scene_taunt,
	_scene_barricade,
	_scene_reinforcements,
	_scene_bombard,
	_scene_turn_to_stone,
	_scene_rally,
	_scene_regroup,
	_scene_ambush_place,
	_scene_ambush_show,
	_scene_east_stone,
	_scene_dark_reserves,
	_scene_reserves_charge,
	_scene_mast_halts,
	_scene_west_stone,
	_scene_far_stone,
	_scene_west_wave,
	_scene_scout_arrived,
	_scene_scout_moves_on,
	_scene_mast_turns,
	_scene_stone_crumbles,
	_scene_cache_revealed,
	_scene_charm
};

namespace level_scenes_detail {

inline world_point2d cell(int32 x, int32 y) { return {x * 512 + 256, y * 512 + 256}; }

template <typename Builder>
void units(Builder &b, int32 slot, const char (&field)[5], int16 first, int16 last)
{
	std::vector<int16> list;
	for (int16 i = first; i <= last; ++i) list.push_back(i);
	b.parameter(slot, field, _parameter_monster_identifier, static_cast<int32>(list.size()), list.data());
}

template <typename Builder>
void points(Builder &b, int32 slot, const char (&field)[5], std::initializer_list<world_point2d> list)
{
	std::vector<world_point2d> copy(list);
	b.parameter(slot, field, _parameter_world_point2d, static_cast<int32>(copy.size()), copy.data());
}

template <typename Builder>
void value(Builder &b, int32 slot, const char (&field)[5], uint8 v)
{
	b.parameter(slot, field, _parameter_flag, 1, &v);
}

template <typename Builder>
void field(Builder &b, int32 slot, const char (&name)[5], file_tag tag)
{
	b.parameter(slot, name, _parameter_field_name, 1, &tag);
}

} // namespace level_scenes_detail

// Adds the scenes at slots first_slot.. of the builder (script_builder: add_action,
// delays, parameter, identifiers, flag, integer, fixed_value); the markers they
// name (901 the mast, 811-813 the stones, 701 and 711-716 the bombs, the armies)
// belong to the level's own content.
template <typename Builder>
void add_level_scenes(Builder &b, int32 first_slot)
{
	using namespace level_scenes_detail;
	const uint32 at_time = _map_action_initially_active_flag;
	const uint32 once_on = _map_action_no_initial_delay_flag | _map_action_activates_only_once_flag;
	const uint32 gate = _map_action_initially_active_flag | _map_action_only_initial_delay_flag;
	auto s = [first_slot](int32 scene) { return first_slot + scene; };
	auto timed = [&](int32 scene, const char (&tag)[5], const char *name, int32 tick) {
		b.add_action(s(scene), tag, name, at_time, _map_action_deactivates_on_trigger);
		b.delays(s(scene), tick, 0);
	};
	auto on = [&](int32 scene, const char (&tag)[5], const char *name) {
		b.add_action(s(scene), tag, name, once_on, _map_action_deactivates_on_trigger);
	};
	auto idle = [&](int32 scene, const char *name) {
		b.add_action(s(scene), "none", name, 0, _map_action_deactivates_never);
	};

	// Made first so that every list can name them.
	timed(_scene_raise_the_mast, "anim", "raise the mast", 32);
	timed(_scene_fetch, "pick", "fetch", 32);
	on(_scene_hide_the_cache, "obco", "hide the cache");
	timed(_scene_march, "move", "march", 64);
	on(_scene_volley, "atta", "volley");
	timed(_scene_taunt, "gene", "taunt", 128);
	timed(_scene_barricade, "mece", "barricade", 160);
	timed(_scene_reinforcements, "ctrl", "reinforcements", 192);
	timed(_scene_bombard, "atta", "bombard", 224);
	timed(_scene_turn_to_stone, "ctrl", "turn to stone", 320);
	timed(_scene_rally, "ctrl", "rally", 352);
	timed(_scene_regroup, "moma", "regroup", 384);
	timed(_scene_ambush_place, "moma", "ambush: place", 384);
	timed(_scene_ambush_show, "ctrl", "ambush: show", 416);
	b.add_action(s(_scene_east_stone), "gate", "east stone", gate, _map_action_deactivates_never);
	b.delays(s(_scene_east_stone), 416, 0);
	idle(_scene_dark_reserves, "dark reserves");
	on(_scene_reserves_charge, "atta", "reserves charge");
	b.add_action(s(_scene_mast_halts), "anim", "mast halts", 0, _map_action_deactivates_on_trigger);
	b.add_action(s(_scene_west_stone), "geom", "west stone", gate, _map_action_deactivates_on_successful_execution);
	b.delays(s(_scene_west_stone), 448, 0);
	b.add_action(s(_scene_far_stone), "gate", "far stone", 0, _map_action_deactivates_never);
	idle(_scene_west_wave, "west wave");
	// The far stone is done at the first pass after its one-second glow, but
	// the soldier it brings fades in for up to 89 ticks (a random wait, then
	// the teleport's fade) and counts as off the map till then: it is looked
	// for two passes (64 ticks) after the stone is done.
	b.add_action(s(_scene_scout_arrived), "tuni", "scout arrived", 0, _map_action_deactivates_on_trigger);
	b.delays(s(_scene_scout_arrived), 64, 0);
	b.add_action(s(_scene_scout_moves_on), "move", "scout moves on", _map_action_no_initial_delay_flag,
		_map_action_deactivates_on_trigger);
	timed(_scene_mast_turns, "moef", "mast turns", 512);
	timed(_scene_stone_crumbles, "ctrl", "stone crumbles", 544);
	timed(_scene_cache_revealed, "obco", "cache revealed", 608);
	timed(_scene_charm, "atta", "charm", 384);

	const int16 mast = 901;
	b.parameter(s(_scene_raise_the_mast), "subj", _parameter_model_animation_identifier, 1, &mast);
	b.flag(s(_scene_raise_the_mast), "stfo");
	b.flag(s(_scene_raise_the_mast), "rese");
	b.flag(s(_scene_raise_the_mast), "cycl");

	units(b, s(_scene_fetch), "subj", 21, 21);
	const int16 bomb = 701;
	b.parameter(s(_scene_fetch), "obje", _parameter_object_identifier, 1, &bomb);
	b.identifiers(s(_scene_fetch), "acos", {s(_scene_hide_the_cache)});
	field(b, s(_scene_hide_the_cache), "type", TAG("bomb"));
	b.flag(s(_scene_hide_the_cache), "hial");

	units(b, s(_scene_march), "subj", 11, 16);
	points(b, s(_scene_march), "wayp", {cell(38, 65), cell(40, 66)});
	b.integer(s(_scene_march), "form", 0);
	const angle facing = 16384;
	b.parameter(s(_scene_march), "fifa", _parameter_angle, 1, &facing);
	b.identifiers(s(_scene_march), "acos", {s(_scene_volley)});
	units(b, s(_scene_volley), "subj", 17, 20);
	b.integer(s(_scene_volley), "team", 1);
	b.flag(s(_scene_volley), "near");

	units(b, s(_scene_taunt), "subj", 31, 36);
	b.integer(s(_scene_taunt), "type", 5);

	points(b, s(_scene_barricade), "pnts",
		{cell(27, 68), cell(28, 68), cell(29, 68), cell(30, 68), cell(31, 68), cell(32, 68), {-300, 35000}});
	b.integer(s(_scene_barricade), "teco", 14);
	value(b, s(_scene_barricade), "kill", 0);

	units(b, s(_scene_reinforcements), "subj", 25, 27);
	b.flag(s(_scene_reinforcements), "visi");
	b.flag(s(_scene_reinforcements), "quib");
	b.flag(s(_scene_reinforcements), "rein");
	field(b, s(_scene_reinforcements), "otxt", TAG("shou"));
	b.integer(s(_scene_reinforcements), "otsi", 2);
	b.integer(s(_scene_reinforcements), "otim", 150);
	const int32 colour[3] = {65535, 52000, 0};
	b.parameter(s(_scene_reinforcements), "otcl", _parameter_integer, 3, colour);
	b.flag(s(_scene_reinforcements), "otsh");

	units(b, s(_scene_bombard), "subj", 22, 22);
	points(b, s(_scene_bombard), "wayp", {cell(38, 74), cell(46, 74)});

	units(b, s(_scene_turn_to_stone), "subj", 31, 31);
	value(b, s(_scene_turn_to_stone), "held", 1);

	units(b, s(_scene_rally), "subj", 11, 27);
	const fixed health[2] = {FIXED_ONE * 3 / 4, FIXED_ONE};
	b.parameter(s(_scene_rally), "hefr", _parameter_fixed, 2, health);
	b.integer(s(_scene_rally), "exp+", 1);
	field(b, s(_scene_rally), "otxt", TAG("shou"));
	b.integer(s(_scene_rally), "otsi", 1);

	units(b, s(_scene_regroup), "subj", 17, 20);
	points(b, s(_scene_regroup), "dest", {cell(42, 58)});
	units(b, s(_scene_ambush_place), "subj", 49, 49);
	b.integer(s(_scene_ambush_place), "team", 0);
	units(b, s(_scene_ambush_show), "subj", 49, 49);
	b.flag(s(_scene_ambush_show), "visi");
	b.flag(s(_scene_ambush_show), "vesl");

	const int16 east = 811, west = 812, far = 813;
	b.parameter(s(_scene_east_stone), "mode", _parameter_model_identifier, 1, &east);
	points(b, s(_scene_east_stone), "cent", {cell(56, 84)});
	const int32 east_radius = 1024, stone_radius = 768;
	b.parameter(s(_scene_east_stone), "radi", _parameter_world_distance, 1, &east_radius);
	b.identifiers(s(_scene_east_stone), "wave", {s(_scene_dark_reserves)});
	b.identifiers(s(_scene_east_stone), "acow", {s(_scene_reserves_charge)});
	b.fixed_value(s(_scene_east_stone), "dura", 2 * FIXED_ONE);
	b.identifiers(s(_scene_east_stone), "strt", {s(_scene_mast_halts)});
	units(b, s(_scene_dark_reserves), "subj", 47, 48);
	units(b, s(_scene_reserves_charge), "subj", 47, 48);
	b.flag(s(_scene_reserves_charge), "_all");
	b.parameter(s(_scene_mast_halts), "subj", _parameter_model_animation_identifier, 1, &mast);
	b.integer(s(_scene_mast_halts), "___<", 99);
	b.flag(s(_scene_mast_halts), "stop");

	// The first of the player's soldiers found on the west stone's spot once
	// the stones wake is carried once to the far stone, where it moves on as
	// the player's scout. Only the player's: the computer's would take the
	// walk over with its own orders within the pass. A one-way trip: two
	// linked gates would keep exchanging whoever passes, and a side with
	// nobody in its circle sends a wave of no one.
	units(b, s(_scene_west_stone), "subj", 11, 28);
	// Just the scout's own spot: the battle's paths pass the lake's shore here.
	points(b, s(_scene_west_stone), "cent", {{32 * 512, 63 * 512}});
	const int32 west_radius = 384;
	b.parameter(s(_scene_west_stone), "radi", _parameter_world_distance, 1, &west_radius);
	b.identifiers(s(_scene_west_stone), "resu", {s(_scene_west_wave), s(_scene_scout_arrived)});
	const file_tag subjects[2] = {TAG("subj"), TAG("subj")};
	b.parameter(s(_scene_west_stone), "insi", _parameter_field_name, 2, subjects);
	b.integer(s(_scene_west_stone), "_max", 1);
	b.identifiers(s(_scene_west_stone), "acos", {s(_scene_far_stone)});
	// Both stones glow while the far one brings the soldier in.
	const int16 stones[2] = {far, west};
	b.parameter(s(_scene_far_stone), "mode", _parameter_model_identifier, 2, stones);
	points(b, s(_scene_far_stone), "cent", {cell(12, 88)});
	b.parameter(s(_scene_far_stone), "radi", _parameter_world_distance, 1, &stone_radius);
	b.identifiers(s(_scene_far_stone), "wave", {s(_scene_west_wave)});
	b.identifiers(s(_scene_far_stone), "acow", {s(_scene_scout_arrived)});
	b.fixed_value(s(_scene_far_stone), "dura", FIXED_ONE);
	// Moved on only while alive: a move of no one is a script error.
	b.parameter(s(_scene_scout_arrived), "subj", _parameter_monster_identifier, 0, nullptr);
	b.integer(s(_scene_scout_arrived), "___>", 0);
	b.identifiers(s(_scene_scout_arrived), "acos", {s(_scene_scout_moves_on)});
	b.identifiers(s(_scene_scout_moves_on), "link", {s(_scene_west_wave)});
	points(b, s(_scene_scout_moves_on), "wayp", {cell(14, 90)});

	b.parameter(s(_scene_mast_turns), "anim", _parameter_model_animation_identifier, 1, &mast);
	b.fixed_value(s(_scene_mast_turns), "dura", 3 * FIXED_ONE);
	const angle turn = 1092;
	b.parameter(s(_scene_mast_turns), "dyaw", _parameter_angle, 1, &turn);

	units(b, s(_scene_stone_crumbles), "subj", 31, 31);
	value(b, s(_scene_stone_crumbles), "held", 0);
	b.integer(s(_scene_stone_crumbles), "kill", 1);

	field(b, s(_scene_cache_revealed), "type", TAG("bomb"));
	b.flag(s(_scene_cache_revealed), "rera");

	units(b, s(_scene_charm), "subj", 21, 21);
	units(b, s(_scene_charm), "obje", 44, 44);
	b.flag(s(_scene_charm), "chrm");
}

#endif
