// Unit orders through their builders and executors, on unit records made by
// hand on the demo map.
#include <algorithm>
#include <cstring>
#include <vector>

#include "bare_unit_object.h"
#include "support/zerv_harness.h"

#include "CoreLibrary/zerv/commands.h"
#include "artifact_definitions.h"
#include "data.h"
#include "mesh.h"
#include "monster_commands.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "objects.h"
#include "players.h"
#include "projectile_definitions.h"
#include "projectiles_content.h"
#include "units_content.h"
#include "world.h"

namespace {

class monster_commands_orders : public zerv_harness_fixture
{
protected:
	void SetUp() override
	{
		zerv_harness_fixture::SetUp();
		new_game_data setup;
		harness_battle_setup(&setup, HARNESS_DEMO_MAP_TAG);
		ASSERT_TRUE(harness_start_map(&setup));
		harness_run_ticks(2);
		game_play_version = 1720;
	}

	// A unit record of player 0 (team 0) standing at (x, y).
	int16 unit(world_distance x, world_distance y, int16 player = 0)
	{
		const int16 index = new_datum(&monster_array);
		EXPECT_NE(index, NONE);
		monster_data *monster = get_monster_data(index);
		const int16 identifier = monster->identifier;
		memset(monster, 0, sizeof(*monster));
		monster->identifier = identifier;
		monster->type = NONE;
		monster->owner_player_index = static_cast<int8>(player);
		const player_data *owner = get_player_data(player);
		monster->owner_team_index = static_cast<int8>(owner ? owner->team_index : NONE);
		monster->target_monster_index = monster->deferred_target_index = NONE;
		monster->carrying_object_index = monster->artifact_index = NONE;
		monster->pick_up_object_index = monster->avoiding_object_index = NONE;
		monster->formation_identifier = monster->formation_position = NONE;
		monster->last_formation_index = monster->formation_index = NONE;
		monster->action = _monster_action_idle;

		monster->object_index = new_bare_unit_object(index, x, y);
		EXPECT_NE(monster->object_index, NONE);
		return index;
	}

	static monster_data *m(int16 index) { return get_monster_data(index); }
	static object_data *o(int16 index) { return get_object_data(m(index)->object_index); }
};

TEST_F(monster_commands_orders, a_lone_unit_scatters_north_and_stays_on_the_map)
{
	const int16 a = unit(20000, 20000);
	const command_general_data scatter = {0, _command_general_scatter};
	handle_general_command(-2, &scatter, 1, &a);
	ASSERT_EQ(m(a)->waypoint_count, 1);
	EXPECT_EQ(m(a)->waypoints[0].x, 20000);
	EXPECT_EQ(m(a)->waypoints[0].y, 20000 + SCATTER_DISTANCE);
	EXPECT_EQ(m(a)->final_desired_yaw, 16384);
	EXPECT_EQ(m(a)->internal_command_identifier, -2);

	const int16 edge = unit(1000, (mesh_globals->mesh_height - 1) * WORLD_ONE - 100);
	handle_general_command(-2, &scatter, 1, &edge);
	EXPECT_EQ(m(edge)->waypoints[0].y, (mesh_globals->mesh_height - 1) * WORLD_ONE);
}

TEST_F(monster_commands_orders, rotation_turns_points_about_the_centre)
{
	const int16 a = unit(20000, 20000);
	command_rotation_data rotation = {0, 16384, {20000, 19000}};
	handle_rotation_command(-2, &rotation, 1, &a);
	EXPECT_EQ(m(a)->waypoints[0].x, 20000 - 1000);
	EXPECT_EQ(m(a)->waypoints[0].y, 20000 - 1000);
	EXPECT_EQ(m(a)->final_desired_yaw, static_cast<angle>(o(a)->location.yaw + 16384));

	const int16 b = unit(30000, 20000);
	rotation = {0, 8192, {30000, 19000}};
	handle_rotation_command(-2, &rotation, 1, &b);
	EXPECT_EQ(m(b)->waypoints[0].x, 30000 - 707);
	EXPECT_EQ(m(b)->waypoints[0].y, 20000 - 293);
}

TEST_F(monster_commands_orders, stream_orders_obey_owners_captains_and_states)
{
	const int16 own = unit(20000, 20000, 0);
	const int16 other = unit(21000, 20000, 1);
	const int16 paralyzed = unit(22000, 20000, 0);
	const int16 confused = unit(23000, 20000, 0);
	const int16 gone = unit(24000, 20000, 0);
	m(paralyzed)->action = _monster_action_paralyzed;
	m(confused)->extra_flags |= _monster_is_confused_extra_flag;
	m(gone)->flags |= _monster_has_left_the_mesh_flag;
	const int16 list[] = {own, other, paralyzed, confused, gone};

	uint8 buffer[MAXIMUM_COMMAND_SIZE];
	command_codec_state state;
	int16 identifiers[5];
	monster_indexes_to_monster_identifiers(list, identifiers, 5);
	command_encode_new(&state, buffer, _command_general);
	const command_general_data stop = {0, _command_general_stop};
	command_encode_data(&state, sizeof(stop), &stop, command_general_data_byte_swapping_data);
	command_encode_array(&state, 5, sizeof(int16), identifiers, command_int16_byte_swapping_data);
	command_header header;
	command_read_header(buffer, &header);
	header.player_index = 0;
	command_write_header(buffer, &header);

	std::vector<uint8> copy(buffer, buffer + header.size);
	command_decode_new(&state, copy.data(), _command_general);
	command_decode_data(&state, sizeof(stop), command_general_data_byte_swapping_data);
	int16 obeying[MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND];
	int16 count = command_decode_monster_list(copy.data(), &state, -1, obeying, _monster_list_obeying);
	ASSERT_EQ(count, 1);
	EXPECT_EQ(obeying[0], own);
	EXPECT_TRUE(m(confused)->flags & _monster_has_received_user_command_flag);
	EXPECT_FALSE(m(other)->flags & _monster_has_received_user_command_flag);
	for (int16 i : list) EXPECT_EQ(m(i)->internal_command_identifier, -1);

	// Before 1701 a unit that left the mesh still obeys.
	game_play_version = 1700;
	copy.assign(buffer, buffer + header.size);
	command_decode_new(&state, copy.data(), _command_general);
	command_decode_data(&state, sizeof(stop), command_general_data_byte_swapping_data);
	count = command_decode_monster_list(copy.data(), &state, -1, obeying, _monster_list_obeying);
	EXPECT_EQ(count, 2);

	// Executed at once, only confused or berserk units refuse.
	copy.assign(buffer, buffer + header.size);
	command_decode_new(&state, copy.data(), _command_general);
	command_decode_data(&state, sizeof(stop), command_general_data_byte_swapping_data);
	count = command_decode_monster_list(copy.data(), &state, 7, obeying, _monster_list_obeying);
	EXPECT_EQ(count, 4);
	EXPECT_EQ(m(other)->internal_command_identifier, 7);
}

TEST_F(monster_commands_orders, movement_orders_give_each_unit_its_waypoints)
{
	const int16 a = unit(5000, 5000), b = unit(6000, 5000);
	const int16 both[] = {a, b};
	const world_point2d six[] = {{10000, 10000}, {11000, 10000}, {12000, 10000}, {13000, 10000}, {14000, 10000},
		{15000, 10000}};
	command_movement_data data = {_command_movement_run_flag, 0, 0, 0};
	handle_movement_command(-2, &data, 2, both, 6, six);
	ASSERT_EQ(m(a)->waypoint_count, 4);
	// The group keeps its shape: each unit keeps its offset from the centre.
	EXPECT_EQ(m(a)->waypoints[0].x, 10000 - 500);
	EXPECT_EQ(m(b)->waypoints[3].x, 13000 + 500);
	EXPECT_TRUE(m(a)->extra_flags & _monster_wants_to_run_extra_flag);

	// The centre flag replaces the fourth waypoint with the group's centre.
	data.flags = _command_movement_last_waypoint_is_centerpoint_flag;
	handle_movement_command(-2, &data, 2, both, 4, six);
	ASSERT_EQ(m(a)->waypoint_count, 4);
	EXPECT_EQ(m(a)->waypoints[3].x, 5000);
	EXPECT_EQ(m(b)->waypoints[3].x, 6000);
	EXPECT_FALSE(m(a)->extra_flags & _monster_wants_to_run_extra_flag);

	// Past the edge: clamped to the last world unit inside.
	const world_point2d far = {10000000, 9000};
	data.flags = 0;
	handle_movement_command(-2, &data, 1, &a, 1, &far);
	EXPECT_EQ(m(a)->waypoints[0].x, mesh_globals->mesh_width * WORLD_ONE - 1);

	// One waypoint at the unit's own spot changes nothing.
	const int16 c = unit(8000, 8000);
	const world_point2d here = {8000, 8000};
	handle_movement_command(-2, &data, 1, &c, 1, &here);
	EXPECT_EQ(m(c)->waypoint_count, 0);
	EXPECT_FALSE(m(c)->flags & _monster_needs_new_path_flag);

	// A facing-only order turns units in place, under every version.
	for (int16 version : {1300, 1715, 1720})
	{
		game_play_version = version;
		data = {_command_movement_final_facing_flag, 0, 1234, 0};
		handle_movement_command(-2, &data, 1, &c, 0, nullptr);
		EXPECT_EQ(m(c)->waypoint_count, 0) << version;
		EXPECT_EQ(m(c)->final_desired_yaw, 1234) << version;
	}
	// Above 1715 an order with no waypoints nor facing turns units to 16384.
	data = {0, 0, 0, 0};
	handle_movement_command(-2, &data, 1, &c, 0, nullptr);
	EXPECT_EQ(m(c)->final_desired_yaw, 16384);

	// Nobody obeying: nothing happens (and nothing divides by zero).
	m(c)->extra_flags |= _monster_is_confused_extra_flag;
	const world_point2d there = {9000, 9000};
	handle_movement_command(-2, &data, 1, &c, 1, &there);
	EXPECT_EQ(m(c)->waypoint_count, 0);
}

TEST_F(monster_commands_orders, formation_orders_keep_slots_until_the_facing_turns)
{
	std::vector<int16> units;
	for (int16 i = 0; i < 6; ++i) units.push_back(unit(20000 + 700 * i, 20000 + 300 * (i % 2)));
	const world_point2d target = {30000, 30000};
	command_movement_data data = {_command_movement_formation_flag | _command_movement_final_facing_flag, 0, 0, 0};
	handle_movement_command(-2, &data, 6, units.data(), 1, &target);
	std::vector<int16> slots;
	for (int16 i : units) slots.push_back(m(i)->formation_position);
	const int16 identifier = m(units[0])->formation_identifier;
	std::vector<int16> sorted = slots;
	std::sort(sorted.begin(), sorted.end());
	for (int16 i = 0; i < 6; ++i) EXPECT_EQ(sorted[i], i);

	// The same order again keeps every slot and the formation.
	handle_movement_command(-2, &data, 6, units.data(), 1, &target);
	for (size_t i = 0; i < units.size(); ++i) EXPECT_EQ(m(units[i])->formation_position, slots[i]);
	EXPECT_EQ(m(units[0])->formation_identifier, identifier);

	// Turned by more than a quarter turn: a new formation.
	data.final_facing = 40000;
	handle_movement_command(-2, &data, 6, units.data(), 1, &target);
	EXPECT_NE(m(units[0])->formation_identifier, identifier);
	EXPECT_EQ(m(units[0])->formation_angle, 40000);
}

TEST_F(monster_commands_orders, set_monster_waypoints_clamps_a_long_list)
{
	const int16 a = unit(20000, 20000);
	world_point2d points[MAXIMUM_WAYPOINTS_PER_MONSTER + 4];
	for (int32 i = 0; i < MAXIMUM_WAYPOINTS_PER_MONSTER + 4; ++i) points[i] = {21000 + 100 * i, 20000};
	const world_point2d guard = m(a)->path_destination;
	set_monster_waypoints(a, MAXIMUM_WAYPOINTS_PER_MONSTER + 4, points,
		_command_movement_loop_flag | _command_movement_loop_back_and_forth_flag, 99);
	EXPECT_EQ(m(a)->waypoint_count, MAXIMUM_WAYPOINTS_PER_MONSTER);
	EXPECT_EQ(m(a)->path_destination.x, guard.x) << "the record after the waypoints was overwritten";
	EXPECT_TRUE(m(a)->flags & _monster_has_back_and_forth_looped_waypoints_flag);
}

TEST_F(monster_commands_orders, target_orders_pair_attackers_with_the_nearest_targets)
{
	const int16 a = unit(20000, 20000, 0), b = unit(20500, 20000, 0), c = unit(21000, 20000, 0);
	const int16 near = unit(22000, 20000, 1), middle = unit(26000, 20000, 1), far = unit(40000, 20000, 1);
	const command_target_data data = {0};
	const int16 three[] = {a, b, c};
	handle_target_command(-2, &data, 3, three, 1, &near);
	for (int16 i : three) EXPECT_EQ(m(i)->target_monster_index, near);

	const int16 two[] = {a, b};
	const int16 targets[] = {far, middle, near};
	handle_target_command(-2, &data, 2, two, 3, targets);
	EXPECT_NE(m(a)->target_monster_index, far);
	EXPECT_NE(m(b)->target_monster_index, far);
	EXPECT_NE(m(a)->target_monster_index, m(b)->target_monster_index);

	// Attack-closest: the nearest target for all, the first listed on a tie.
	const command_target_data closest = {_command_target_attack_closest_flag};
	const int16 tie_targets[] = {middle, unit(15000, 20000, 1)};
	handle_target_command(-2, &closest, 3, three, 2, tie_targets);
	for (int16 i : three) EXPECT_EQ(m(i)->target_monster_index, middle);
}

TEST_F(monster_commands_orders, pregame_drops_unit_orders_but_not_chat)
{
	const int16 a = unit(20000, 20000);
	game->time_state = _game_time_pregame;
	const world_point2d target = {30000, 30000};
	const command_movement_data data = {0, 0, 0, 0};
	handle_movement_command(-1, &data, 1, &a, 1, &target);
	harness_run_ticks(12);
	EXPECT_EQ(m(a)->waypoint_count, 0);
	EXPECT_EQ(get_commands_test_hooks()->dropped_count, 0);
}

}

namespace {

// Walking a waypoint list: a back-and-forth patrol turns at either end; a
// unit 80 from its last waypoint finishes the order and turns to its facing.
TEST_F(monster_commands_orders, patrols_turn_at_the_ends_and_arrival_turns_to_the_final_facing)
{
	const int16 swordsman = monster_definition_tag_to_index(default_unit_kind_tags[0]);
	const int16 a = unit(20000, 20000);
	m(a)->type = swordsman;
	ASSERT_NE(get_monster_definition_for_monster(a), nullptr);
	// All three inside one cell, so standing on each needs no cell change.
	const world_point2d points[3] = {{20000, 20000}, {20200, 20000}, {20400, 20000}};
	set_monster_waypoints(a, 3, points, _command_movement_loop_flag | _command_movement_loop_back_and_forth_flag, 0);
	std::vector<int16> visited;
	for (int32 i = 0; i < 7; ++i)
	{
		const int16 at = m(a)->waypoint_index;
		visited.push_back(at);
		ASSERT_TRUE(at >= 0 && at < 3);
		o(a)->location.position.x = points[at].x;
		o(a)->location.position.y = points[at].y;
		m(a)->flags |= _monster_needs_new_path_flag;
		monster_needs_new_path(a);
	}
	EXPECT_EQ(visited, (std::vector<int16>{0, 1, 2, 1, 0, 1, 2}));

	const world_point2d last = {20080, 20400};
	o(a)->location.position = {20000, 20400, o(a)->location.position.z};
	set_monster_waypoints(a, 1, &last, 0, 16384);
	monster_needs_new_path(a);
	EXPECT_EQ(m(a)->waypoint_count, 0);
	EXPECT_EQ(m(a)->desired_yaw, 16384);
	EXPECT_EQ(m(a)->action, _monster_action_turning);
	EXPECT_FALSE(m(a)->flags & _monster_has_final_desired_yaw_flag);
}

}

namespace {

// Units holding objects of projectile types, slot by slot.
class monster_commands_inventory : public monster_commands_orders
{
protected:
	int16 holding(world_distance x, world_distance y, std::vector<int16> types)
	{
		const int16 index = unit(x, y);
		m(index)->orig_type = NONE;
		for (int16 &slot : m(index)->held_object_indexes) slot = NONE;
		for (int16 type : types)
		{
			const int16 object = new_bare_unit_object(NONE, x, y);
			get_object_data(object)->owner = _object_is_dormant_projectile;
			get_object_data(object)->owner_index = type;
			m(index)->held_object_indexes[m(index)->held_object_count++] = object;
		}
		return index;
	}
	// The slot carried, NONE for nothing, -2 for an object not among the slots.
	static int16 carried_slot(int16 index)
	{
		if (m(index)->carrying_object_index == NONE) return NONE;
		for (int16 slot = 0; slot < m(index)->held_object_count; ++slot)
		{
			if (m(index)->held_object_indexes[slot] == m(index)->carrying_object_index) return slot;
		}
		return -2;
	}
	// The projectile object that took over an identifier.
	static const object_data *object_with_identifier(int16 identifier)
	{
		for (int16 i = 0; i < object_array.count; ++i)
		{
			const object_data *object = get_object_data(i);
			if (object && object->identifier == identifier) return object;
		}
		return nullptr;
	}

	void SetUp() override
	{
		monster_commands_orders::SetUp();
		bomb = projectile_definition_tag_to_index(DEFAULT_BOMB_PROJECTILE_TAG);
		arrow = projectile_definition_tag_to_index(DEFAULT_ARROW_PROJECTILE_TAG);
		ASSERT_NE(bomb, NONE);
		ASSERT_NE(arrow, NONE);
	}

	int16 bomb = NONE, arrow = NONE;
};

// Next and previous step through the slots, passing over a slot whose type an
// earlier slot has, and carry nothing past either end.
TEST_F(monster_commands_inventory, next_and_previous_skip_repeated_types_and_run_off_the_ends)
{
	const int16 a = holding(20000, 20000, {bomb, bomb, arrow});
	const command_inventory_data data = {0, NONE};
	const auto next = [&] {
		handle_inventory_next_command(-2, &data, 1, &a);
		return carried_slot(a);
	};
	const auto previous = [&] {
		handle_inventory_prev_command(-2, &data, 1, &a);
		return carried_slot(a);
	};
	m(a)->carrying_object_index = m(a)->held_object_indexes[0];
	m(a)->display_dirty_flags = 0;
	EXPECT_EQ(next(), 2);
	EXPECT_TRUE(m(a)->display_dirty_flags & _monster_items_dirty_flag);
	EXPECT_EQ(next(), NONE);
	EXPECT_EQ(next(), 0);
	EXPECT_EQ(previous(), NONE);
	EXPECT_EQ(previous(), 2) << "from nothing, the last slot";
	EXPECT_EQ(previous(), 0) << "slot 1 repeats slot 0's type";

	// A carried object that is not among the slots: nothing changes.
	const int16 loose = new_bare_unit_object(NONE, 20000, 20000);
	m(a)->carrying_object_index = loose;
	next();
	previous();
	EXPECT_EQ(m(a)->carrying_object_index, loose);

	// Holding nothing: nothing changes either.
	const int16 empty = holding(21000, 20000, {});
	handle_inventory_next_command(-2, &data, 1, &empty);
	EXPECT_EQ(m(empty)->carrying_object_index, NONE);
}

// Next and previous cut the list to the cap first and then leave out the
// units that may not put their artifact away: a long list with such units
// among its first 126 goes out shorter than the cap.
TEST_F(monster_commands_inventory, next_and_previous_cap_the_list_before_leaving_units_out)
{
	artifact_definition artifact = *get_artifact_definition(artifact_definition_tag_to_index(DEFAULT_FLASK_ARTIFACT_TAG));
	artifact.flags = _artifact_cannot_be_holstered_flag;
	projectile_definition projectile = *get_projectile_definition(bomb);
	projectile.artifact_index = new_definition(get_artifact_definitions(), TAG("tnha"), &artifact);
	const int16 stuck = new_definition(get_projectile_definitions(), TAG("tnhp"), &projectile);
	monster_definition juggler = *get_monster_definition(0);
	juggler.flags |= _monster_carries_multiple_artifacts_flag;
	const int16 juggler_kind = new_definition(get_monster_definitions(), TAG("tjug"), &juggler);
	ASSERT_NE(stuck, NONE);
	ASSERT_NE(juggler_kind, NONE);

	std::vector<int16> list;
	for (int16 i = 0; i < 130; ++i)
	{
		const world_distance x = 4000 + 300 * (i % 20), y = 4000 + 300 * (i / 20);
		const bool holds_fast = i == 3 || i == 70 || i == 128;
		const int16 index = holds_fast ? holding(x, y, {stuck}) : unit(x, y);
		ASSERT_NE(index, NONE);
		if (holds_fast)
		{
			m(index)->type = juggler_kind;
			m(index)->carrying_object_index = m(index)->held_object_indexes[0];
		}
		list.push_back(index);
	}
	const command_inventory_data data = {0, NONE};
	for (const int16 verb : {_command_inventory_next, _command_inventory_prev})
	{
		if (verb == _command_inventory_next) handle_inventory_next_command(COMMAND_FROM_STREAM, &data, 130, list.data());
		else handle_inventory_prev_command(COMMAND_FROM_STREAM, &data, 130, list.data());
		void *command = dequeue_outgoing_command();
		ASSERT_NE(command, nullptr);
		command_header header;
		command_read_header(command, &header);
		EXPECT_EQ(header.verb, verb);
		std::vector<uint8> bytes(static_cast<uint8 *>(command), static_cast<uint8 *>(command) + header.size);
		command_codec_state state;
		command_decode_new(&state, bytes.data(), verb);
		ASSERT_NE(command_decode_data(&state, sizeof(data), command_inventory_data_byte_swapping_data), nullptr);
		int16 count = 0;
		const int16 *identifiers = static_cast<const int16 *>(
			command_decode_array(&state, &count, sizeof(int16), command_int16_byte_swapping_data));
		ASSERT_EQ(count, MAXIMUM_MONSTER_IDENTIFIERS_PER_COMMAND - 2) << "two of the first 126 are left out";
		ASSERT_NE(identifiers, nullptr);
		int16 unaligned = 0;
		memcpy(&unaligned, &identifiers[3], sizeof(unaligned));
		EXPECT_EQ(unaligned, m(list[4])->identifier);
		memcpy(&unaligned, &identifiers[count - 1], sizeof(unaligned));
		EXPECT_EQ(unaligned, m(list[125])->identifier) << "nothing past the cap comes in";
		EXPECT_EQ(dequeue_outgoing_command(), nullptr);
	}
}

// A drop leaves a projectile with the object's identifier (and its charges
// when the artifact keeps them); the slots after it move down.
TEST_F(monster_commands_inventory, a_drop_hands_over_identifier_and_charges_and_closes_the_slot)
{
	artifact_definition artifact = *get_artifact_definition(artifact_definition_tag_to_index(DEFAULT_FLASK_ARTIFACT_TAG));
	artifact.flags = _artifact_keeps_charge_flag;
	projectile_definition projectile = *get_projectile_definition(bomb);
	projectile.artifact_index = new_definition(get_artifact_definitions(), TAG("tkca"), &artifact);
	const int16 charged = new_definition(get_projectile_definitions(), TAG("tkcp"), &projectile);
	ASSERT_NE(projectile.artifact_index, NONE);
	ASSERT_NE(charged, NONE);

	const int16 a = holding(20000, 20000, {charged, arrow, bomb});
	const int16 first = m(a)->held_object_indexes[0], second = m(a)->held_object_indexes[1];
	const int16 third = m(a)->held_object_indexes[2];
	get_object_data(first)->state = 3;
	get_object_data(third)->state = 5;
	const int16 first_identifier = get_object_data(first)->identifier;
	const int16 third_identifier = get_object_data(third)->identifier;
	m(a)->carrying_object_index = first;
	m(a)->artifact_index = projectile.artifact_index;

	// Stepping to the arrow puts the artifact away; stepping back takes it up.
	command_inventory_data data = {0, NONE};
	handle_inventory_next_command(-2, &data, 1, &a);
	EXPECT_EQ(m(a)->carrying_object_index, second);
	EXPECT_EQ(m(a)->artifact_index, NONE);
	EXPECT_EQ(m(a)->carried_artifact_flags, 0);
	handle_inventory_prev_command(-2, &data, 1, &a);
	EXPECT_EQ(m(a)->carrying_object_index, first);
	EXPECT_EQ(m(a)->artifact_index, projectile.artifact_index);
	EXPECT_EQ(m(a)->carried_artifact_flags, static_cast<int32>(_artifact_keeps_charge_flag));

	handle_inventory_drop_command(-2, &data, 1, &a);
	EXPECT_EQ(get_object_data(first), nullptr);
	const object_data *dropped = object_with_identifier(first_identifier);
	ASSERT_NE(dropped, nullptr);
	EXPECT_EQ(dropped->owner, _object_is_projectile);
	EXPECT_EQ(dropped->state, 3);
	EXPECT_EQ(m(a)->carrying_object_index, NONE);
	ASSERT_EQ(m(a)->held_object_count, 2);
	EXPECT_EQ(m(a)->held_object_indexes[0], second);
	EXPECT_EQ(m(a)->held_object_indexes[1], third);
	EXPECT_EQ(m(a)->held_object_indexes[2], NONE);

	// By type, the slot named holding another: the first of the type goes,
	// without its charges.
	data = {bomb, 0};
	handle_inventory_drop_command(-2, &data, 1, &a);
	ASSERT_EQ(m(a)->held_object_count, 1);
	EXPECT_EQ(m(a)->held_object_indexes[0], second);
	dropped = object_with_identifier(third_identifier);
	ASSERT_NE(dropped, nullptr);
	EXPECT_NE(dropped->state, 5);
}

}
