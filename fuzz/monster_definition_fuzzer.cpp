// Arbitrary bytes as a unit kind ('mons', first byte even) or a unit ('unit',
// first byte odd), loaded from memory through the group's descriptor and
// postprocess beside the generated set. A kind that loads gets a unit on a
// small map that runs 64 ticks and passes through every action; a unit that
// loads gets a recoloured copy. Seeds are the generated kinds and units.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "default_tags.h"
#include "definitions.h"
#include "error_manager.h"
#include "map_fuzz_support.h"
#include "monsters.h"
#include "objects.h"
#include "projectiles.h"
#include "units_content.h"
#include "zerv.h"

namespace {

const file_tag fuzz_tag = TAG("fuzz");
std::vector<uint8> flat_map_bytes;
game_data fuzz_game = {};

void set_up_fuzz_directory(void)
{
	open_generated_tag_set(true);
	fuzz_game.type = _game_type_local;
	fuzz_game.winning_team_index = NONE;
	game = &fuzz_game;
	start_generated_tag_set_map(true);
	for (const file_tag kind : default_unit_kind_tags) check(unit_definition_tag_to_index(kind) != NONE);
	flat_map_bytes = grass_map_tag_data();
}

// A unit of the kind in the middle of the map, made as creation makes it.
void exercise_monster(int16 type, const uint8_t *data, size_t size)
{
	const monster_definition *definition = get_monster_definition(type);
	check(definition != nullptr);
	const int16 index = new_datum(&monster_array);
	if (index == NONE) return;
	new_object_data request = {};
	request.type = definition->object_type;
	request.owner = _object_is_monster;
	request.owner_index = index;
	request.tracking_priority = MONSTER_TRACKING_PRIORITY;
	request.scale = 256;
	request.location.position = {16 * WORLD_ONE, 16 * WORLD_ONE, 0};
	request.collection_index = definition->collection_index;
	const int16 object_index = new_object(&request);
	if (object_index == NONE)
	{
		delete_datum(&monster_array, index);
		return;
	}
	monster_data *monster = get_monster_data(index);
	monster->type = monster->orig_type = type;
	monster->unit_type = NONE;
	monster->object_index = object_index;
	monster->path_index = monster->carrying_object_index = monster->target_monster_index = NONE;
	monster->artifact_index = monster->deferred_target_index = monster->local_projectile_group_index = NONE;
	monster->aggressor_monster_index = monster->pick_up_object_index = NONE;
	for (int16 &held : monster->held_object_indexes) held = NONE;
	monster->mana = definition->maximum_mana;
	set_monster_action(index, _monster_action_idle, 0);
	for (int32 tick = 0; tick < SCAN_FOR_TARGETS_COUNT; ++tick)
	{
		fuzz_game.game_time += 1;
		update_monsters();
	}
	static const int16 actions[] = {_monster_action_idle, _monster_action_celebrating, _monster_action_taunting,
		_monster_action_moving, _monster_action_turning, _monster_action_holding_for_attack,
		_monster_action_aiming_attack, _monster_action_attacking, _monster_action_blocking, _monster_action_picking_up,
		_monster_action_being_healed, _monster_action_being_held, _monster_action_stoned, _monster_action_paralyzed,
		_monster_action_taking_damage, _monster_action_dying, _monster_action_being_propelled};
	for (size_t i = 0; i < NUMBEROF(actions) && get_monster_data(index); ++i)
	{
		const int16 permutation = static_cast<int16>(static_cast<int8>(data[i % size]));
		set_monster_action(index, actions[i], permutation);
		fuzz_game.game_time += 1;
		update_monsters();
	}
	if (get_monster_data(index)) delete_monster(index, TRUE);
	get_monster_spelling(type, 2);
}

void exercise_unit(int16 type)
{
	const unit_definition *unit = get_unit_definition(type);
	check(unit != nullptr && get_monster_definition(unit->monster_type) != nullptr);
	const int16 copy = custom_unit_definition(fuzz_tag, nullptr, nullptr);
	if (copy != NONE) delete_definition(get_unit_definitions(), copy);
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size < 2 || size > 64 * 1024) return 0;
	enter_fuzz_directory("monster", set_up_fuzz_directory);
	const boolean unit = data[0] & 1;
	initialize_data_for_new_map(&object_array);
	initialize_data_for_new_map(&projectile_array);
	initialize_data_for_new_map(&monster_array);
	load_fuzz_map(flat_map_bytes);
	const int16 type = unit ? new_unit_definition_from_tag_data(fuzz_tag, data + 1, static_cast<int32>(size - 1)) :
		new_monster_definition_from_tag_data(fuzz_tag, data + 1, static_cast<int32>(size - 1));
	if (type != NONE)
	{
		if (unit) exercise_unit(type);
		else exercise_monster(type, data + 1, size - 1);
		delete_definition(unit ? get_unit_definitions() : get_monster_definitions(), type);
	}
	handle_error();
	dispose_mesh_from_old_map();
	leave_fuzz_directory();
	return 0;
}
