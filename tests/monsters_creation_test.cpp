// Creating units from markers on the demo map: which palette rows get which
// unit kind, the markers that create nothing, flyers, the order of the random
// draws, and the names and sounds a group of units gives.
#include <gtest/gtest.h>

#include "demo_armies_fixture.h"

#include "collection_references.h"
#include "game_preferences.h"
#include "game_statistics.h"
#include "markers.h"
#include "mesh.h"
#include "monsters.h"
#include "objects.h"
#include "players.h"
#include "shapes.h"
#include "sound/sound_manager.h"
#include "string_definitions.h"
#include "support/zerv_harness.h"
#include "tag_files/tag_files.h"
#include "units_content.h"
#include "world.h"
#include "zerv.h"

namespace {

// The synchronised stream, replayed: the same step as the game's.
struct replayed_stream
{
	uint32 seed;
	uint16 next(void)
	{
		seed = seed * 1664525u + 1013904223u;
		return static_cast<uint16>(seed >> 16);
	}
	int32 below(int32 n) { return n <= 0 ? 0 : static_cast<int32>((static_cast<int64>(n) * next()) >> 16); }
};

class monster_creation_on_a_map : public demo_armies_fixture
{
protected:
	void SetUp() override
	{
		demo_armies_fixture::SetUp();
		saved_type = game->type;
		saved_scoring = game->scoring;
		reset_sound_manager_test_hooks();
	}
	void TearDown() override
	{
		game->type = saved_type;
		game->scoring = saved_scoring;
		reset_sound_manager_test_hooks();
		demo_armies_fixture::TearDown();
	}
	static int16 unit_of(file_tag kind, int16 nth = 0)
	{
		for (int16 i = 0; i < monster_array.count; ++i)
		{
			const monster_data *monster = get_monster_data(i);
			if (monster && get_unit_definition(monster->unit_type)->parent_unit_tag == kind && nth-- == 0) return i;
		}
		return NONE;
	}
	static int32 live_units(void)
	{
		int32 count = 0;
		for (int16 i = 0; i < monster_array.count; ++i) count += get_monster_data(i) != nullptr;
		return count;
	}
	// A team-0 marker of the kind, its unit deleted, ready to place again.
	static marker_data *free_marker_of(file_tag kind)
	{
		for (int32 i = 0; i < mesh_globals->marker_count; ++i)
		{
			marker_data *marker = &mesh_globals->markers[i];
			if (marker->type != _marker_monster || marker->data_index == NONE) continue;
			const marker_palette_entry *entry = get_marker_palette_entry(_marker_monster, marker->palette_index);
			if (entry->team_index != 0 || entry->tag != kind) continue;
			delete_monster(marker->data_index, TRUE);
			marker->data_index = NONE;
			return marker;
		}
		return nullptr;
	}
	int16 saved_type = 0, saved_scoring = 0;
};

TEST_F(monster_creation_on_a_map, palette_rows_give_each_team_player_a_recoloured_kind)
{
	marker_data *marker = free_marker_of(DEFAULT_ARCHER_TAG);
	ASSERT_NE(marker, nullptr);
	marker_palette_entry entry = *get_marker_palette_entry(_marker_monster, marker->palette_index);
	const int16 plain = unit_definition_tag_to_index(DEFAULT_ARCHER_TAG);
	ASSERT_NE(plain, NONE);
	// Player 1 joins team 0 with colours of its own: it needs its own archers.
	player_data *second = get_player_data(1);
	ASSERT_NE(second, nullptr);
	ASSERT_EQ(get_team_data(1)->captain_player_index, 1);
	for (int16 i = 0; i < get_unit_definitions()->count; ++i)
	{
		unit_definition *unit = get_unit_definition(i);
		if (unit && unit->player_index == 1) unit->player_index = NONE; // as if it had just joined
	}
	second->team_index = 0;
	second->flags |= _player_uses_appearance_colors_flag;
	second->appearance.primary_color.red = 0x1111;
	second->appearance.secondary_color.blue = 0x3333;
	const int16 definitions = get_unit_definitions()->count;
	new_monster_palette_entry(&entry);
	EXPECT_EQ(get_unit_definitions()->count, definitions + 1) << "one new kind, for player 1 alone";
	const int16 captains = entry.tag_index;
	ASSERT_NE(captains, NONE);
	EXPECT_NE(captains, plain) << "the captain has a kind of its own";
	int16 seconds = NONE, made_for_player_1 = 0;
	for (int16 i = 0; i < get_unit_definitions()->count; ++i)
	{
		const unit_definition *unit = get_unit_definition(i);
		if (!unit || unit->player_index != 1 || unit->parent_unit_tag != DEFAULT_ARCHER_TAG) continue;
		seconds = i;
		made_for_player_1 += 1;
	}
	ASSERT_EQ(made_for_player_1, 1);
	EXPECT_EQ(get_unit_definition(captains)->player_index, 0);
	EXPECT_EQ(unit_definition_tag_to_index(DEFAULT_ARCHER_TAG), plain) << "the tag still finds the plain kind";
	EXPECT_EQ(get_unit_definition(seconds)->monster_type, get_unit_definition(plain)->monster_type);
	EXPECT_NE(get_unit_definition(seconds)->collection_reference_index,
		get_unit_definition(plain)->collection_reference_index) << "player 1's colours";
	// A second pass finds the definitions made before instead of making more.
	const int16 before = get_unit_definitions()->count;
	new_monster_palette_entry(&entry);
	EXPECT_EQ(entry.tag_index, captains);
	EXPECT_EQ(get_unit_definitions()->count, before);

	// Uncontrollable rows use the plain kind only in custom scoring.
	entry.flags |= _marker_palette_uncontrollable_flag;
	new_monster_palette_entry(&entry);
	EXPECT_EQ(entry.tag_index, captains);
	game->scoring = _game_scoring_custom;
	new_monster_palette_entry(&entry);
	EXPECT_EQ(entry.tag_index, plain);

	// Ambient life belongs to player 0's team and uses the plain kind.
	marker_palette_entry ambient = *get_marker_palette_entry(_marker_monster, marker->palette_index);
	ambient.flags |= _marker_palette_ambient_life_flag;
	ambient.team_index = 1;
	get_unit_definition(plain)->player_index = 5;
	new_monster_palette_entry(&ambient);
	EXPECT_EQ(ambient.tag_index, plain);
	EXPECT_EQ(ambient.team_index, get_player_data(0)->team_index);
	EXPECT_EQ(get_unit_definition(plain)->player_index, 0);

	// A full group leaves the row without a kind, and its markers create nothing.
	second->team_index = 1;
	while (custom_unit_definition(DEFAULT_SCOUT_TAG, nullptr, nullptr) != NONE) {}
	for (int16 i = 0; i < get_unit_definitions()->count; ++i)
	{
		unit_definition *unit = get_unit_definition(i);
		if (unit && unit->player_index == 1) unit->player_index = NONE;
	}
	marker_palette_entry full = *get_marker_palette_entry(_marker_monster, marker->palette_index);
	full.tag = DEFAULT_SCOUT_TAG;
	full.team_index = 1;
	full.flags = 0;
	new_monster_palette_entry(&full);
	EXPECT_EQ(full.tag_index, NONE);
}

TEST_F(monster_creation_on_a_map, refused_markers_create_nothing_and_leave_no_trace)
{
	marker_data *marker = free_marker_of(DEFAULT_SWORDSMAN_TAG);
	ASSERT_NE(marker, nullptr);
	marker_palette_entry *entry = get_marker_palette_entry(_marker_monster, marker->palette_index);
	const marker_palette_entry saved_entry = *entry;
	const marker_data saved_marker = *marker;
	const int32 units = live_units();
	const int16 count = entry->count;
	auto refused = [&](const char *why) {
		const uint32 draws = zerv_random_draw_count();
		EXPECT_EQ(new_monster(marker), NONE) << why;
		EXPECT_EQ(marker->data_index, NONE) << why;
		EXPECT_EQ(live_units(), units) << why;
		EXPECT_EQ(entry->count, count) << why;
		EXPECT_EQ(zerv_random_draw_count(), draws) << why;
		*entry = saved_entry;
		*marker = saved_marker;
	};
	marker->minimum_difficulty_level = static_cast<int16>(game->difficulty_level + 1);
	refused("too hard for the game");
	game->type = _game_type_networked;
	entry->extra_flags = 0;
	refused("not allowed under the networked game's scoring");
	game->type = saved_type;
	entry->team_index = NONE;
	refused("no team");
	marker->flags |= _marker_is_invisible_flag;
	refused("invisible without having to use veterans");
	marker->flags |= _marker_is_invisible_flag;
	entry->flags |= _marker_palette_must_use_veterans_flag;
	refused("must use veterans and there are none");

	// No palette row: the marker is not touched at all.
	marker->palette_index = 999;
	marker->data_index = 77;
	EXPECT_EQ(new_monster(marker), NONE);
	EXPECT_EQ(marker->data_index, 77);
	*marker = saved_marker;

	// And the marker still creates its unit.
	EXPECT_NE(new_monster(marker), NONE);
	EXPECT_EQ(entry->count, count + 1);
}

TEST_F(monster_creation_on_a_map, flyers_rise_only_from_near_the_ground_and_record_0_gets_no_map_action)
{
	marker_data *marker = free_marker_of(DEFAULT_SCOUT_TAG);
	ASSERT_NE(marker, nullptr);
	const marker_palette_entry *entry = get_marker_palette_entry(_marker_monster, marker->palette_index);
	monster_definition *definition =
		get_monster_definition(get_unit_definition(entry->tag_index)->monster_type);
	definition->flags |= _monster_raise_to_flying_height_flag;
	const world_point2d point = {marker->location.position.x, marker->location.position.y};
	const world_distance ground = get_mesh_height(&point, _land_height);

	marker->location.position.z = ground + 500;
	int16 unit = new_monster(marker);
	ASSERT_NE(unit, NONE);
	EXPECT_EQ(marker->location.position.z, ground + MONSTER_FLYING_HEIGHT) << "later placements start there";
	delete_monster(unit, TRUE);

	marker->location.position.z = ground + 600;
	unit = new_monster(marker);
	ASSERT_NE(unit, NONE);
	EXPECT_EQ(marker->location.position.z, ground + 600);
	delete_monster(unit, TRUE);

	// Under 1500's rules the height is drawn, before anything else.
	game_play_version = 1500;
	marker->location.position.z = ground;
	replayed_stream stream = {get_random_seed()};
	unit = new_monster(marker);
	ASSERT_NE(unit, NONE);
	EXPECT_EQ(marker->location.position.z, ground + 1536 + (stream.next() >> 5));
	delete_monster(unit, TRUE);
	game_play_version = saved_version;

	// Record 0 never gets a map action, whatever its kind asks for.
	definition->map_action_tag = TAG("mact");
	marker->location.position.z = ground;
	if (get_monster_data(0)) delete_monster(0, TRUE);
	unit = new_monster(marker);
	ASSERT_EQ(unit, 0);
	EXPECT_EQ(get_monster_data(0)->monster_map_action_data, nullptr);
	definition->map_action_tag = static_cast<file_tag>(NONE);
}

TEST_F(monster_creation_on_a_map, creation_draws_in_a_fixed_order)
{
	marker_data *marker = free_marker_of(DEFAULT_THROWER_TAG);
	ASSERT_NE(marker, nullptr);
	const marker_palette_entry *entry = get_marker_palette_entry(_marker_monster, marker->palette_index);
	const unit_definition *unit = get_unit_definition(entry->tag_index);
	monster_definition *definition = get_monster_definition(unit->monster_type);
	collection_reference *reference = get_collection_reference(unit->collection_reference_index);
	const object_definition *body = get_object_definition(definition->object_type);
	// Every step draws: several permutations, a speed spread, a name not yet begun.
	const collection_reference saved_reference = *reference;
	reference->number_of_permutations = 3;
	int16 tables[3];
	for (int16 i = 0; i < 3; ++i)
	{
		tables[i] = static_cast<int16>(saved_reference.color_table_indexes[0] + i);
		reference->color_table_indexes[i] = tables[i];
	}
	definition->base_movement_speed = 256;
	definition->next_name_string_index = NONE;
	definition->left_handed_fraction = 32768;
	ASSERT_GT(body->scale_delta, 0);
	ASSERT_GT(body->maximum_vitality_delta, 0);
	ASSERT_GT(definition->initial_ammunition_delta, 0);

	replayed_stream stream = {get_random_seed()};
	const uint32 draws = zerv_random_draw_count();
	const int16 index = new_monster(marker);
	*reference = saved_reference;
	ASSERT_NE(index, NONE);
	const monster_data *monster = get_monster_data(index);
	const object_data *object = get_object_data(monster->object_index);

	const int16 permutation = static_cast<int16>(stream.next() % 3);
	const int32 scale = body->scale_lower_bound + stream.below(body->scale_delta);
	const int32 vitality = body->maximum_vitality + stream.below(body->maximum_vitality_delta);
	const int32 ammunition = definition->initial_ammunition_lower_bound + stream.below(definition->initial_ammunition_delta);
	const int32 variance = 256 * MONSTER_SPEED_VARIANCE / 256;
	const int32 speed = 256 - variance + stream.below(2 * variance);
	const int32 name = stream.next() & 0x7FFF;
	const int32 rate = IDLE_ANIMATION_RATE_LOWER_BOUND + stream.below(IDLE_ANIMATION_RATE_DELTA);
	const sequence_data *idle =
		get_sequence(reference->collection_index, definition->sequence_indexes[_monster_sequence_idle]);
	ASSERT_NE(idle, nullptr);
	const int32 frame = stream.next() % MAX(idle->frames_per_view, static_cast<int16>(1));
	const int32 phase = idle->ticks_per_frame != 0 ? stream.next() % idle->ticks_per_frame : 0;
	const bool mirrored = stream.next() < 32768;

	EXPECT_EQ(object->color_table_index, tables[permutation]);
	EXPECT_EQ(object->scale, scale);
	EXPECT_EQ(object->maximum_vitality, vitality);
	EXPECT_EQ(monster->ammunition_count, ammunition);
	EXPECT_EQ(monster->base_movement_speed, speed);
	EXPECT_EQ(monster->orig_base_movement_speed, speed);
	EXPECT_EQ(monster->original_name_string_index,
		name % MIN(count_strings_in_list(definition->names_string_list_index), static_cast<int16>(128)));
	EXPECT_EQ(definition->next_name_string_index, name + 1);
	EXPECT_EQ(object->shape_ticks_per_frame, MAX(1, (idle->ticks_per_frame * rate) >> 8));
	EXPECT_EQ(object->shape_frame_index, frame);
	EXPECT_EQ(object->shape_phase, phase);
	EXPECT_EQ((object->flags & _object_is_horizontally_mirrored_flag) != 0, mirrored);
	EXPECT_EQ(zerv_random_draw_count() - draws, static_cast<uint32>(idle->ticks_per_frame != 0 ? 10 : 9));
}

TEST_F(monster_creation_on_a_map, group_sounds_speak_for_the_larger_kind_and_names_follow_the_original_kind)
{
	const int16 swordsman = unit_of(DEFAULT_SWORDSMAN_TAG), archer = unit_of(DEFAULT_ARCHER_TAG);
	monster_definition *swords = get_monster_definition(get_monster_data(swordsman)->type);
	monster_definition *bows = get_monster_definition(get_monster_data(archer)->type);
	for (monster_definition *definition : {swords, bows})
	{
		definition->sound_types[0] = _monster_sound_move_order;
		definition->sound_types[1] = _monster_sound_multiple_move_order;
	}
	swords->sound_indexes[0] = 10, swords->sound_indexes[1] = 11;
	bows->sound_indexes[0] = 20, bows->sound_indexes[1] = 21;
	least_call_log *calls = &get_sound_manager_test_hooks()->calls;

	// Three archers and two swordsmen: the archers answer, in the multiple form.
	const int16 five[5] = {unit_of(DEFAULT_SWORDSMAN_TAG, 0), unit_of(DEFAULT_ARCHER_TAG, 0),
		unit_of(DEFAULT_SWORDSMAN_TAG, 1), unit_of(DEFAULT_ARCHER_TAG, 1), unit_of(DEFAULT_ARCHER_TAG, 2)};
	clear_least_call_log(calls);
	play_monsters_sound(five, 5, _monster_sound_move_order);
	EXPECT_EQ(least_call_count(calls, "play_sound_with_flags"), 3);
	EXPECT_EQ(least_call_argument(calls, "play_sound_with_flags", 0), 21);

	// Two and two: the kind of the lower definition index answers, in the plain form.
	const int16 lower = MIN(get_monster_data(swordsman)->type, get_monster_data(archer)->type);
	clear_least_call_log(calls);
	play_monsters_sound(five, 4, _monster_sound_move_order);
	EXPECT_EQ(least_call_count(calls, "play_sound_with_flags"), 2);
	EXPECT_EQ(least_call_argument(calls, "play_sound_with_flags", 0), lower == get_monster_data(archer)->type ? 20 : 10);

	// A swordsman turned archer keeps its own voice and name only when the
	// two kinds draw from different collections.
	monster_data *changed = get_monster_data(swordsman);
	const char *own_name = get_monster_name(swordsman);
	std::string name = own_name;
	changed->type = get_monster_data(archer)->type;
	clear_least_call_log(calls);
	play_monster_sound(swordsman, _monster_sound_move_order);
	EXPECT_EQ(least_call_argument(calls, "play_sound_with_flags", 0), 20) << "one collection: the current kind speaks";
	bows->names_string_list_index = NONE;
	EXPECT_STREQ(get_monster_name(swordsman), "");
	bows->collection_index = static_cast<int16>(swords->collection_index + 1);
	play_monster_sound(swordsman, _monster_sound_move_order);
	EXPECT_EQ(least_call_argument(calls, "play_sound_with_flags", 0), 10) << "another collection: the original speaks";
	EXPECT_EQ(get_monster_name(swordsman), name);
}

TEST_F(monster_creation_on_a_map, names_from_a_list_longer_than_the_index_can_name)
{
	std::string lines;
	for (int32 i = 0; i < 200; ++i) lines += "name" + std::to_string(i) + "\n";
	const int32 handle = tag_file_new_with_subgroup_tag(STRING_LIST_DEFINITION_GROUP_TAG, "two hundred names", TAG("n200"), 1,
		lines.data(), static_cast<int32>(lines.size()));
	ASSERT_NE(handle, NONE);
	const int16 list = string_list_tag_to_string_index(TAG("n200"));
	ASSERT_NE(list, NONE);
	ASSERT_EQ(count_strings_in_list(list), 200);
	marker_data *marker = free_marker_of(DEFAULT_SCOUT_TAG);
	ASSERT_NE(marker, nullptr);
	monster_definition *definition =
		get_monster_definition(get_unit_definition(get_marker_palette_entry(_marker_monster, marker->palette_index)->tag_index)->monster_type);
	definition->names_string_list_index = list;
	// The index is a byte: the names past 127 are never named.
	for (const int16 next : {130, 300, 127})
	{
		definition->next_name_string_index = next;
		const int16 unit = new_monster(marker);
		ASSERT_NE(unit, NONE);
		EXPECT_EQ(get_monster_data(unit)->original_name_string_index, next % 128) << next;
		EXPECT_EQ(get_monster_name(unit), "name" + std::to_string(next % 128)) << next;
		delete_monster(unit, TRUE);
	}
	EXPECT_TRUE(tag_file_delete(handle));
}

} // namespace

namespace {

class monster_creation_preferences : public zerv_harness_fixture
{
protected:
	void TearDown() override
	{
		get_game_preferences()->flags &= ~static_cast<uint32>(_game_pref_no_persistent_formations_flag);
		zerv_harness_fixture::TearDown();
	}
	// 'demo' for 30 ticks, the local player's first kind made beside its
	// first unit at tick 10.
	static std::vector<harness_digest_entry> play(bool no_persistent_formations)
	{
		uint32 &flags = get_game_preferences()->flags;
		if (no_persistent_formations) flags |= _game_pref_no_persistent_formations_flag;
		else flags &= ~static_cast<uint32>(_game_pref_no_persistent_formations_flag);
		new_game_data setup;
		harness_battle_setup(&setup, TAG("demo"));
		EXPECT_TRUE(harness_start_map(&setup));
		harness_run_ticks(10);
		const int16 local = player_globals.local_player_index;
		file_tag kind = 0;
		world_point3d where = {};
		for (int16 i = 0; i < monster_array.count && !kind; ++i)
		{
			const monster_data *monster = get_monster_data(i);
			if (!monster || monster->owner_player_index != local) continue;
			kind = get_unit_definition(monster->unit_type)->parent_unit_tag;
			where = get_object_data(monster->object_index)->location.position;
			where.x += 256;
		}
		EXPECT_NE(new_monster_at_location(kind, &where, local, 0, 0), NONE);
		harness_run_ticks(20);
		std::vector<harness_digest_entry> trail = harness_digest_trail();
		harness_end_map();
		return trail;
	}
};

} // namespace

TEST_F(monster_creation_preferences, a_local_preference_leaves_the_digest_trail_alone)
{
	const std::vector<harness_digest_entry> plain = play(false);
	const std::vector<harness_digest_entry> preferring = play(true);
	ASSERT_EQ(plain.size(), preferring.size());
	ASSERT_GE(plain.size(), 30u);
	for (size_t i = 0; i < plain.size(); ++i) EXPECT_EQ(plain[i].digest, preferring[i].digest) << "tick " << plain[i].game_time;
}
