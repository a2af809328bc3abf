// Units on a small map without unit creation: kinds and unit definitions made
// in memory, unit records placed directly, a game record and two players
// (player 0 human on team 0 and local, player 1 a computer on team 1).
#ifndef UNITS_TEST_SUPPORT_H
#define UNITS_TEST_SUPPORT_H

#include <cstring>

#include "game_statistics.h"
#include "alliances.h"
#include "map_actions/map_actions.h"
#include "monster_definitions.h"
#include "objects_content.h"
#include "players.h"
#include "projectiles_test_support.h"
#include "unit_definitions.h"

class units_test_map : public projectiles_test_map
{
protected:
	void SetUp() override
	{
		projectiles_test_map::SetUp();
		saved_game = game;
		memset(&record, 0, sizeof(record));
		record.state = NONE;
		record.maximum_teams = NONE;
		record.winning_team_index = NONE;
		record.difficulty_level = 2;
		game = &record;
		game_play_version = 1720;
		initialize_players();
		initialize_map_actions();
		initialize_map_actions_for_new_map();
		initialize_game_sounds();
		initialize_game_sounds_for_new_map();
		new_player_data players[2];
		for (int16 i = 0; i < 2; ++i)
		{
			memset(&players[i], 0, sizeof(players[i]));
			players[i].unique_identifier = 100 + i;
			players[i].team_captain_identifier = 100 + i;
			players[i].team_index = i;
			players[i].type = i == 0 ? _player_is_human : _player_is_computer;
			players[i].appearance.primary_color = replacement_colors[i * 3];
			players[i].appearance.secondary_color = replacement_colors[i * 3];
		}
		get_players_test_hooks()->team_count = 2;
		initialize_players_for_new_map(2, players, 0);
		reset_game_statistics_test_hooks();
		set_random_seed(1);
	}
	void TearDown() override
	{
		dispose_players_from_old_map();
		reset_players_test_hooks();
		dispose_map_actions_from_old_map();
		dispose_game_sounds_from_old_map();
		reset_game_statistics_test_hooks();
		game = saved_game;
		projectiles_test_map::TearDown();
	}

	// A kind from the default record with every run-time reference cleared.
	template <typename edit_proc>
	static int16 new_kind(file_tag tag, edit_proc edit)
	{
		monster_definition definition = *get_default_monster_definition();
		int16 *run_time = &definition.next_name_string_index;
		for (int16 *p = run_time; p <= &definition.unused12345; ++p) *p = NONE;
		definition.burning_death_projectile_group_type = NONE;
		definition.visibility_type = _visibility_bitmap_farsighted;
		definition.monster_class = _monster_class_melee;
		definition.object_type = object_definition_tag_to_index(DEFAULT_BODY_OBJECT_TAG);
		definition.number_of_attacks = 0;
		edit(&definition);
		const int16 index = new_definition(get_monster_definitions(), tag, &definition);
		if (index != NONE) get_monster_definitions()->flags[index] |= _definition_postprocessed_flag;
		return index;
	}
	static int16 new_kind(file_tag tag)
	{
		return new_kind(tag, [](monster_definition *) {});
	}
	static int16 new_unit_type(file_tag tag, int16 monster_type, int16 player_index, file_tag parent)
	{
		unit_definition definition = *get_default_unit_definition();
		definition.monster_tag = TAG("kind");
		definition.player_index = player_index;
		definition.parent_unit_tag = parent;
		definition.monster_type = monster_type;
		definition.collection_reference_index = NONE;
		const int16 index = new_definition(get_unit_definitions(), tag, &definition);
		if (index != NONE) get_unit_definitions()->flags[index] |= _definition_postprocessed_flag;
		return index;
	}
	// A unit record and its body at (x, y), idle, owned by the unit type's player.
	static int16 place_unit(int16 monster_type, int16 unit_type, world_distance x, world_distance y)
	{
		const int16 index = new_datum(&monster_array);
		if (index == NONE) return NONE;
		monster_data *monster = get_monster_data(index);
		const int16 identifier = monster->identifier;
		memset(monster, 0, sizeof(*monster));
		monster->identifier = identifier;
		monster->type = monster->orig_type = monster_type;
		monster->unit_type = unit_type;
		const unit_definition *unit = get_unit_definition(unit_type);
		const player_data *player = unit ? get_player_data(unit->player_index) : nullptr;
		monster->owner_player_index = static_cast<int8>(unit ? unit->player_index : NONE);
		monster->owner_team_index = static_cast<int8>(player ? player->team_index : NONE);
		monster->carrying_object_index = monster->artifact_index = monster->local_projectile_group_index = NONE;
		monster->current_local_projectile_group_index = monster->current_overhead_text_index = NONE;
		monster->target_monster_index = monster->deferred_target_index = monster->aggressor_monster_index = NONE;
		monster->path_index = monster->avoiding_object_index = monster->pick_up_object_index = NONE;
		monster->formation_identifier = monster->formation_index = monster->last_formation_index = NONE;
		monster->marker_index = NONE;
		monster->action = _monster_action_idle;
		const monster_definition *definition = get_monster_definition(monster_type);
		new_object_data request = {};
		request.type = definition->object_type;
		request.owner = _object_is_monster;
		request.owner_index = index;
		request.scale = 256;
		request.location.position = {x, y, 0};
		request.collection_index = NONE;
		monster->object_index = new_object(&request);
		return index;
	}
	static object_data *object_of(int16 monster_index)
	{
		const monster_data *monster = get_monster_data(monster_index);
		return monster ? get_object_data(monster->object_index) : nullptr;
	}

	game_data record;
	game_data *saved_game = nullptr;
};

#endif
