// The action state machine on the demo armies: entering actions, the handlers
// and the tick, with the faults of the unit code that are mended.
#include <gtest/gtest.h>

#include "demo_armies_fixture.h"

#include "artifact_definitions.h"
#include "collection_references.h"
#include "game_preferences.h"
#include "game_statistics.h"
#include "markers.h"
#include "mesh.h"
#include "monsters.h"
#include "objects.h"
#include "projectiles_content.h"
#include "support/zerv_harness.h"
#include "units_content.h"
#include "world.h"
#include "zerv.h"

namespace {

class monster_actions_on_a_map : public demo_armies_fixture
{
protected:
	void TearDown() override
	{
		get_game_preferences()->flags &= ~static_cast<uint32>(_game_pref_no_persistent_formations_flag);
		demo_armies_fixture::TearDown();
	}
	// The first unit of a kind.
	static int16 unit_of(file_tag kind)
	{
		for (int16 i = 0; i < monster_array.count; ++i)
		{
			const monster_data *monster = get_monster_data(i);
			if (monster && get_unit_definition(monster->unit_type)->parent_unit_tag == kind) return i;
		}
		return NONE;
	}
	static object_data *object_of(int16 monster_index)
	{
		return get_object_data(get_monster_data(monster_index)->object_index);
	}
	static monster_definition *definition_of(int16 monster_index)
	{
		return get_monster_definition(get_monster_data(monster_index)->type);
	}
	// A unit marker of the local player's team whose unit is gone, ready to place again.
	static marker_data *free_unit_marker(int16 *old_unit)
	{
		for (int32 i = 0; i < mesh_globals->marker_count; ++i)
		{
			marker_data *marker = &mesh_globals->markers[i];
			if (marker->type != _marker_monster || marker->data_index == NONE) continue;
			if (get_marker_palette_entry(_marker_monster, marker->palette_index)->team_index != 0) continue;
			*old_unit = marker->data_index;
			delete_monster(marker->data_index, TRUE);
			marker->data_index = NONE;
			return marker;
		}
		return nullptr;
	}

};

TEST_F(monster_actions_on_a_map, entering_actions_follows_the_table_and_its_exceptions)
{
	const int16 index = unit_of(DEFAULT_SWORDSMAN_TAG);
	monster_data *monster = get_monster_data(index);
	const monster_definition *definition = definition_of(index);
	object_data *object = object_of(index);

	// Standing ground: a move becomes holding with a target index, idle without.
	// The armies face each other, so the unit may already have found a target.
	monster->flags &= ~static_cast<uint32>(_monster_has_valid_target_flag | _monster_has_valid_target_index_flag);
	monster->flags |= _monster_standing_ground_flag;
	set_monster_action(index, _monster_action_moving, 0);
	EXPECT_EQ(monster->action, _monster_action_idle);
	EXPECT_EQ(monster->action_permutation, _monster_idle_primary);
	monster->flags |= _monster_has_valid_target_index_flag;
	set_monster_action(index, _monster_action_moving, 0);
	EXPECT_EQ(monster->action, _monster_action_holding_for_attack);
	monster->flags &= ~static_cast<uint32>(_monster_standing_ground_flag);

	// Pausing for an obstacle: a move changes nothing, anything else ends the pause.
	object->flags |= _object_pausing_for_obstacle_to_move_flag;
	set_monster_action(index, _monster_action_moving, 0);
	EXPECT_EQ(monster->action, _monster_action_holding_for_attack);
	set_monster_action(index, _monster_action_turning, 0);
	EXPECT_EQ(monster->action, _monster_action_turning);
	EXPECT_FALSE(object->flags & _object_pausing_for_obstacle_to_move_flag);
	EXPECT_EQ(object->shape_sequence_index, definition->sequence_indexes[_monster_sequence_turning]);

	// Idle resets the path and drops the target.
	monster->target_monster_index = 3;
	monster->waypoint_count = 2;
	set_monster_action(index, _monster_action_idle, 0);
	EXPECT_EQ(monster->target_monster_index, NONE);
	EXPECT_EQ(monster->waypoint_count, 0);
	EXPECT_TRUE(monster->flags & _monster_attack_was_aborted_flag);
	EXPECT_EQ(object->tracking_priority, 0);

	// Below 1601 an attack index past the kind's attacks is clamped like later
	// rules: it would read beyond the four records.
	game_play_version = 1600;
	set_monster_action(index, _monster_action_attacking, 3);
	EXPECT_EQ(monster->repeated_obstruction_count, definition->attacks[0].repetitions);
	EXPECT_EQ(object->shape_sequence_index, definition->attacks[0].sequences[0].sequence_index);
	// The artifact attack without an artifact is the first attack.
	set_monster_action(index, _monster_action_attacking, ARTIFACT_ATTACK_INDEX);
	EXPECT_EQ(monster->action_permutation, ARTIFACT_ATTACK_INDEX);
	EXPECT_EQ(monster->repeated_obstruction_count, 1);

	// Stoned freezes the animation and crossfades to permutation 1.
	set_monster_action(index, _monster_action_stoned, _monster_action_permutation_turning_to_stone);
	EXPECT_EQ(object->shape_ticks_per_frame, 0);
	EXPECT_EQ(monster->attack_timer, STONING_TIME);
	EXPECT_EQ(get_monsters_test_hooks()->last_crossfade_permutation, 1);
}

TEST_F(monster_actions_on_a_map, a_missing_idle_transition_goes_straight_to_the_other_idle)
{
	const int16 index = unit_of(DEFAULT_SWORDSMAN_TAG);
	monster_definition *definition = definition_of(index);
	definition->sequence_indexes[_monster_sequence_transition_to_secondary_idle] = NONE;
	monster_data *monster = get_monster_data(index);
	object_data *object = object_of(index);
	for (int32 attempt = 0; attempt < 64 && monster->action_permutation == _monster_idle_primary; ++attempt)
	{
		object->flags |= _object_animation_new_frame_flag;
		monster_idle(index);
	}
	// A transition of none would have hidden the unit.
	EXPECT_EQ(monster->action_permutation, _monster_idle_secondary);
	EXPECT_EQ(object->shape_sequence_index, definition->sequence_indexes[_monster_sequence_secondary_idle]);
	EXPECT_FALSE(object->flags & _object_is_invisible_flag);
}

TEST_F(monster_actions_on_a_map, small_heals_and_harms_still_move_every_tick)
{
	const int16 index = unit_of(DEFAULT_ARCHER_TAG);
	monster_definition *definition = definition_of(index);
	monster_data *monster = get_monster_data(index);
	object_data *object = object_of(index);
	// goal = 50 × 204 >> 8 = 39, and 39 / 75 = 0.
	object->maximum_vitality = 50;
	object->vitality = 0;
	set_monster_action(index, _monster_action_being_healed, 0);
	for (int32 i = 0; i < 3; ++i) monster_being_healed(index);
	EXPECT_EQ(object->vitality, 3);

	// Healing fraction 0 harms: 50 / 75 = 0 still takes 1 a tick, booked as damage.
	definition->healing_fraction = 0;
	object->vitality = 2;
	clear_least_call_log(&get_game_statistics_test_hooks()->calls);
	set_monster_action(index, _monster_action_being_healed, 0);
	EXPECT_TRUE(monster->flags & _monster_healing_cannot_be_stopped_flag);
	monster_being_healed(index);
	EXPECT_EQ(object->vitality, 1);
	EXPECT_EQ(least_call_argument(&get_game_statistics_test_hooks()->calls, "adjust_damage_statistics", 2), 1);
	monster->attack_timer = NONE;
	monster_being_healed(index);
	monster_being_healed(index);
	EXPECT_EQ(get_monster_data(index), nullptr) << "dies once its vitality is negative";
	EXPECT_EQ(get_monsters_test_hooks()->kill_monster_calls, 1);
}

TEST_F(monster_actions_on_a_map, paralysis_runs_its_three_phases)
{
	const int16 index = unit_of(DEFAULT_SCOUT_TAG);
	monster_data *monster = get_monster_data(index);
	set_monster_action(index, _monster_action_paralyzed, _monster_action_permutation_being_paralyzed);
	EXPECT_EQ(monster->attack_timer, PARALYSIS_TIME);
	EXPECT_EQ(get_monsters_test_hooks()->last_crossfade_permutation, 2);
	monster->attack_timer = NONE;
	monster_paralyzed(index);
	EXPECT_EQ(monster->action_permutation, _monster_action_permutation_paralyzed);
	EXPECT_GE(monster->attack_timer, PARALYSIS_DURATION_LOWER_BOUND);
	EXPECT_LT(monster->attack_timer, PARALYSIS_DURATION_LOWER_BOUND + PARALYSIS_DURATION_DELTA);
	monster->attack_timer = NONE;
	monster_paralyzed(index);
	EXPECT_EQ(monster->action_permutation, _monster_action_permutation_recovering_from_paralysis);
	EXPECT_EQ(monster->attack_timer, PARALYSIS_RECOVERY_TIME);
	monster->attack_timer = NONE;
	// Without a target it recovers to idle (not to holding for an attack).
	monster->flags &= ~static_cast<uint32>(_monster_has_valid_target_flag | _monster_has_valid_target_index_flag);
	monster_paralyzed(index);
	EXPECT_EQ(monster->action, _monster_action_idle);
}

TEST_F(monster_actions_on_a_map, an_expiring_artifact_never_closes_a_slot_it_did_not_fill)
{
	const int16 index = unit_of(DEFAULT_SWORDSMAN_TAG);
	monster_data *monster = get_monster_data(index);
	const int16 artifact = artifact_definition_tag_to_index(DEFAULT_FLASK_ARTIFACT_TAG);
	ASSERT_NE(artifact, NONE);
	get_artifact_definition(artifact)->flags |= _artifact_has_timed_expiry_flag;
	const int16 carried = duplicate_object(monster->object_index);
	ASSERT_NE(carried, NONE);
	monster->artifact_index = artifact;
	monster->carrying_object_index = carried;
	monster->held_object_count = 0;
	monster->artifact_timer = 0;
	monster->action_permutation = ARTIFACT_ATTACK_INDEX;
	harness_run_ticks(1);
	monster = get_monster_data(index);
	EXPECT_EQ(monster->held_object_count, 0);
	EXPECT_EQ(monster->carrying_object_index, NONE);
	EXPECT_EQ(monster->artifact_index, NONE);
	EXPECT_EQ(get_object_data(carried), nullptr);
}

TEST_F(monster_actions_on_a_map, creation_mends_zero_permutations_self_kills_and_local_preferences)
{
	int16 old_unit;
	marker_data *marker = free_unit_marker(&old_unit);
	ASSERT_NE(marker, nullptr);
	const marker_palette_entry *entry = get_marker_palette_entry(_marker_monster, marker->palette_index);
	// A reference without permutations counts as one, and the draw is still made.
	collection_reference *reference =
		get_collection_reference(get_unit_definition(entry->tag_index)->collection_reference_index);
	const int16 permutations = reference->number_of_permutations;
	reference->number_of_permutations = 0;
	// The local player prefers no persistent formations: only the field nobody reads changes.
	get_game_preferences()->flags |= _game_pref_no_persistent_formations_flag;
	const uint32 draws = zerv_random_draw_count();
	const int16 unit = new_monster(marker);
	reference->number_of_permutations = permutations;
	ASSERT_NE(unit, NONE);
	EXPECT_GT(zerv_random_draw_count(), draws);
	EXPECT_EQ(marker->data_index, unit);
	const monster_data *monster = get_monster_data(unit);
	EXPECT_EQ(monster->formation_index, NONE);
	EXPECT_NE(monster->last_formation_index, NONE);
	EXPECT_NE(monster->formation_position, NONE);
	EXPECT_EQ(monster->marker_index, get_marker_index(marker));

	// An invisible-observer marker hides its unit as soon as it is made, as
	// make_monster_invisible does without an effect.
	delete_monster(unit, TRUE);
	marker->flags |= _marker_is_invisible_observer_flag;
	const int16 observer = new_monster(marker);
	ASSERT_NE(observer, NONE);
	const monster_data *hidden = get_monster_data(observer);
	EXPECT_TRUE(hidden->flags & _monster_has_left_the_mesh_flag);
	EXPECT_FALSE(hidden->flags & (_monster_has_valid_target_flag | _monster_has_valid_target_index_flag |
		_monster_has_valid_target_location_flag));
	EXPECT_EQ(hidden->target_monster_index, NONE);
	EXPECT_EQ(hidden->local_projectile_group_index, NONE);
	EXPECT_TRUE(get_object_data(hidden->object_index)->flags & _object_is_invisible_flag);
	marker->flags &= ~static_cast<uint32>(_marker_is_invisible_observer_flag);
	marker->data_index = NONE;
	const int16 respawning = observer;

	// A respawning detonates-immediately marker dies inside its creation once.
	delete_monster(respawning, TRUE);
	marker->flags |= _marker_detonates_immediately_flag | _marker_respawns_flag;
	EXPECT_EQ(new_monster(marker), NONE);
	EXPECT_EQ(marker->data_index, NONE);
	EXPECT_EQ(get_monsters_test_hooks()->kill_monster_calls, 1);
}

TEST_F(monster_actions_on_a_map, names_and_spellings_never_read_a_missing_list)
{
	const int16 index = unit_of(DEFAULT_ARCHER_TAG);
	monster_data *monster = get_monster_data(index);
	EXPECT_STREQ(get_monster_spelling(monster->type, 1), "Archer");
	EXPECT_STREQ(get_monster_spelling(monster->type, 0), "Archers");
	EXPECT_STREQ(get_monster_spelling(monster->type, 2), "Archers");
	EXPECT_STRNE(get_monster_name(index), "");
	monster->original_name_string_index = 100; // past the 32 names, as an imported veteran may be
	EXPECT_STREQ(get_monster_name(index), "");
	monster_definition *definition = definition_of(index);
	definition->names_string_list_index = NONE;
	definition->spelling_string_list_index = NONE;
	EXPECT_STREQ(get_monster_name(index), "");
	EXPECT_STREQ(get_monster_spelling(monster->type, 2), "");
}

TEST_F(monster_actions_on_a_map, list_queries_drop_the_dead_and_filter)
{
	int16 indexes[3] = {unit_of(DEFAULT_SWORDSMAN_TAG), unit_of(DEFAULT_ARCHER_TAG), unit_of(DEFAULT_SCOUT_TAG)};
	int16 identifiers[3];
	monster_indexes_to_monster_identifiers(indexes, identifiers, 3);
	delete_monster(indexes[1], TRUE);
	int16 found[3];
	EXPECT_EQ(monster_identifiers_to_monster_indexes(identifiers, found, 3), 2);
	EXPECT_EQ(found[1], indexes[2]);
	get_monster_data(found[0])->flags |= _monster_has_left_the_mesh_flag;
	EXPECT_EQ(remove_monsters_that_have_left_the_mesh(found, 2), 1);
	world_point2d center;
	EXPECT_EQ(get_centerpoint_of_monster_indexes(0, found, &center), 0);
	EXPECT_EQ(center.x, NONE);
	EXPECT_EQ(get_centerpoint_of_monster_indexes(1, found, &center), 0);
	EXPECT_EQ(center.x, object_of(found[0])->location.position.x);
	// Team 0 is the local player's: friendly, owned and controllable; team 1 is not allied.
	EXPECT_EQ(evaluate_monster(indexes[0]), _evaluate_monster_controllable_flag | _evaluate_monster_friendly_flag |
		_evaluate_monster_owned_flag);
}

} // namespace
