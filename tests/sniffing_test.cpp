// Tutorial sniffing: input samples and outgoing commands judged against an
// armed test.
#include <cstring>
#include <vector>

#include "map_actions/map_actions_test_support.h"

#include "commands.h"
#include "input/actions.h"
#include "sniffing.h"

namespace {

class sniffing_fixture : public map_actions_fixture
{
protected:
	int16 snif = NONE, on_error = NONE;

	// A 'snif' action whose error chain activates on_error.
	void arm(int16 test_case, uint32 flags = _sniffing_clear_after_success_flag, int32 delay = 150, int32 minimum = 150,
		int32 delta = 0)
	{
		snif = action("snif");
		on_error = action("dela");
		ids(snif, "acer", {on_error});
		const new_sniffing_data data = {flags, id(snif), test_case, delay, minimum, delta};
		toggle_sniffing(&data);
	}

	void TearDown() override
	{
		map_actions_fixture::TearDown();
		game->game_time = 0;
	}

	bool succeeded(void) const { return (get_map_action(snif)->flags & _map_action_succeeded_flag) != 0; }

	// Whether an error was reported since the last call.
	bool took_error(void)
	{
		const bool was = active(on_error);
		if (was) deactivate_map_action(on_error);
		return was;
	}

	static action_data key(int16 key_code)
	{
		action_data sample;
		clear_action(&sample);
		sample.key_code = key_code;
		return sample;
	}

	static action_data bit(int16 action_bit)
	{
		action_data sample;
		clear_action(&sample);
		set_action_flag(&sample, action_bit, TRUE);
		return sample;
	}

	static bool cleared(const action_data &sample)
	{
		action_data empty;
		clear_action(&empty);
		return memcmp(&sample, &empty, sizeof(empty)) == 0;
	}

	static std::vector<uint8> general(int16 type)
	{
		const command_general_data data = {0, type};
		const int16 units[2] = {5, 6};
		return encode(_command_general, &data, sizeof(data), command_general_data_byte_swapping_data, {units, 2});
	}

	static std::vector<uint8> movement(uint16 flags, int16 formation)
	{
		const command_movement_data data = {flags, formation, 0, 0};
		uint8 buffer[MAXIMUM_COMMAND_SIZE];
		command_codec_state state;
		command_encode_new(&state, buffer, _command_movement);
		command_encode_data(&state, sizeof(data), &data, command_movement_data_byte_swapping_data);
		const int16 units[1] = {5};
		command_encode_array(&state, 1, sizeof(int16), units, command_int16_byte_swapping_data);
		const world_point2d point = {1024, 1024};
		command_encode_array(&state, 1, sizeof(world_point2d), &point, world_point2d_byte_swapping_data);
		return finish(buffer);
	}

	static std::vector<uint8> target(uint16 flags, std::vector<int16> units, std::vector<int16> targets)
	{
		const command_target_data data = {flags};
		uint8 buffer[MAXIMUM_COMMAND_SIZE];
		command_codec_state state;
		command_encode_new(&state, buffer, _command_target);
		command_encode_data(&state, sizeof(data), &data, command_target_data_byte_swapping_data);
		command_encode_array(&state, static_cast<int16>(units.size()), sizeof(int16), units.data(), command_int16_byte_swapping_data);
		command_encode_array(&state, static_cast<int16>(targets.size()), sizeof(int16), targets.data(),
			command_int16_byte_swapping_data);
		return finish(buffer);
	}

	struct list
	{
		const int16 *items;
		int16 count;
	};

	static std::vector<uint8> encode(int16 verb, const void *record, int32 size, const byte_swap_code *codes, list units)
	{
		uint8 buffer[MAXIMUM_COMMAND_SIZE];
		command_codec_state state;
		command_encode_new(&state, buffer, verb);
		command_encode_data(&state, size, record, codes);
		command_encode_array(&state, units.count, sizeof(int16), units.items, command_int16_byte_swapping_data);
		return finish(buffer);
	}

	static std::vector<uint8> finish(const uint8 *buffer)
	{
		command_header header;
		command_read_header(buffer, &header);
		return std::vector<uint8>(buffer, buffer + header.size);
	}

	// Judged on a copy; the bytes handed in stay as they were.
	static bool judge(std::vector<uint8> command)
	{
		const std::vector<uint8> before = command;
		const bool passes = handle_command_sniffing(reinterpret_cast<command_header *>(command.data())) != FALSE;
		EXPECT_EQ(command, before);
		return passes;
	}
};

using sniffing_actions = sniffing_fixture;
using sniffing_commands = sniffing_fixture;

TEST_F(sniffing_actions, orbit_test_passes_escape_swallows_letters_and_reports_once_per_interval)
{
	game->game_time = 0;
	arm(_test_action_orbiting_camera);
	action_data escape = key(_key_escape), f1 = key(_key_f1);
	handle_action_sniffing(&escape);
	handle_action_sniffing(&f1);
	EXPECT_EQ(escape.key_code, _key_escape);
	EXPECT_EQ(f1.key_code, _key_f1);

	// Swallowed, but no error within the first 150 ticks.
	game->game_time = 150;
	action_data letter = key(_key_a);
	handle_action_sniffing(&letter);
	EXPECT_TRUE(cleared(letter));
	EXPECT_FALSE(took_error());

	game->game_time = 151;
	letter = key(_key_a);
	handle_action_sniffing(&letter);
	EXPECT_TRUE(took_error());
	game->game_time = 200;
	letter = key(_key_a);
	handle_action_sniffing(&letter);
	EXPECT_TRUE(cleared(letter));
	EXPECT_FALSE(took_error()) << "one error per interval";
	game->game_time = 302;
	letter = key(_key_a);
	handle_action_sniffing(&letter);
	EXPECT_TRUE(took_error());

	action_data orbit = bit(_orbit_left_bit);
	handle_action_sniffing(&orbit);
	EXPECT_TRUE(test_action_flag(&orbit, _orbit_left_bit));
	EXPECT_TRUE(succeeded());
	EXPECT_EQ(get_sniffing_state()->test_case, _no_test);
}

TEST_F(sniffing_actions, kept_test_succeeds_once_then_passes_and_nothing_acts_outside_local_games)
{
	game->game_time = 0;
	arm(_test_action_moving_camera_forwards_and_backwards, 0);
	action_data orbit = bit(_orbit_right_bit);
	handle_action_sniffing(&orbit);
	EXPECT_TRUE(cleared(orbit));
	action_data forward = bit(_move_forward_bit);
	handle_action_sniffing(&forward);
	EXPECT_TRUE(succeeded());
	get_map_action(snif)->flags &= ~static_cast<uint32>(_map_action_succeeded_flag);
	forward = bit(_move_backward_bit);
	handle_action_sniffing(&forward);
	EXPECT_TRUE(test_action_flag(&forward, _move_backward_bit));
	EXPECT_FALSE(succeeded()) << "success is reported once";
	EXPECT_EQ(get_sniffing_state()->test_case, _test_action_moving_camera_forwards_and_backwards);
	// Without 'keep', wrong input after success is swallowed silently.
	game->game_time = 1000;
	orbit = bit(_orbit_right_bit);
	handle_action_sniffing(&orbit);
	EXPECT_TRUE(cleared(orbit));
	EXPECT_FALSE(took_error());

	// Networked games and replays leave samples alone.
	for (int16 type : {static_cast<int16>(_game_type_networked), static_cast<int16>(_game_type_replay)})
	{
		const int16 saved = game->type;
		game->type = type;
		orbit = bit(_orbit_right_bit);
		handle_action_sniffing(&orbit);
		game->type = saved;
		EXPECT_TRUE(test_action_flag(&orbit, _orbit_right_bit));
	}

	// Test 1 never arms.
	const new_sniffing_data overhead = {0, id(snif), _test_overhead_map_is_visible, 0, 150, 0};
	toggle_sniffing(&overhead);
	EXPECT_EQ(get_sniffing_state()->test_case, _test_action_moving_camera_forwards_and_backwards);
}

TEST_F(sniffing_commands, each_case_against_each_verb_on_a_copy)
{
	struct expectation
	{
		int16 test_case;
		std::vector<bool> passes; // stop, scatter, retreat, movement, vanguard, target, special reflexive, special other
	};
	const std::vector<std::vector<uint8>> commands = {general(_command_general_stop), general(_command_general_scatter),
		general(_command_general_retreat), movement(0, 0), movement(_command_movement_formation_flag, _formation_vanguard),
		target(0, {5}, {9}), target(_command_target_special_ability_flag, {5, 6}, {5, 6, 7}),
		target(_command_target_special_ability_flag, {5}, {9})};
	const std::vector<expectation> expectations = {
		{_test_command_stop, {1, 0, 0, 0, 0, 0, 0, 0}},
		{_test_command_scatter, {0, 1, 0, 0, 0, 0, 0, 0}},
		{_test_command_retreat, {0, 0, 1, 0, 0, 0, 0, 0}},
		{_test_command_movement, {0, 0, 0, 1, 1, 0, 0, 0}},
		{_test_command_target, {0, 0, 0, 0, 0, 1, 1, 1}},
		{_test_command_attacking, {1, 0, 0, 1, 1, 1, 1, 1}},
		{_test_command_special_ability_attack_reflexive, {0, 0, 0, 0, 0, 0, 1, 0}},
		{_test_command_special_ability_attack_nonreflexive, {0, 0, 0, 0, 0, 0, 0, 1}},
		{_test_command_special_ability_attack_vs_anyone, {0, 0, 0, 0, 0, 0, 1, 1}},
		{_test_command_movement_formation_vanguard, {0, 0, 0, 0, 1, 0, 0, 0}},
		{_test_command_movement_formation_loose_line, {0, 0, 0, 0, 0, 0, 0, 0}},
		{_test_command_movement_formation_any, {0, 0, 0, 0, 1, 0, 0, 0}},
		{_test_command_pick_up, {0, 0, 0, 0, 0, 0, 0, 0}},
	};
	for (const expectation &e : expectations)
	{
		for (size_t c = 0; c < commands.size(); ++c)
		{
			arm(e.test_case, 0);
			EXPECT_EQ(judge(commands[c]), e.passes[c]) << "case " << e.test_case << " command " << c;
		}
	}
}

TEST_F(sniffing_commands, bad_sizes_truncated_payloads_errors_and_draws)
{
	game->game_time = 0;
	arm(_test_command_scatter, _sniffing_clear_after_success_flag, 0, 30, 0);
	// Sizes the buffer cannot hold are not judged.
	std::vector<uint8> small = general(_command_general_stop);
	command_header header;
	command_read_header(small.data(), &header);
	header.size = 7;
	command_write_header(small.data(), &header);
	EXPECT_TRUE(judge(small));
	std::vector<uint8> large(4097 + 8, 0);
	memcpy(large.data(), general(_command_general_stop).data(), 8);
	command_read_header(large.data(), &header);
	header.size = 4097;
	command_write_header(large.data(), &header);
	EXPECT_TRUE(judge(large));

	// A truncated payload fails the test; with no delta, an error draws nothing.
	std::vector<uint8> truncated = general(_command_general_scatter);
	command_read_header(truncated.data(), &header);
	header.size = static_cast<int16>(header.size - 3);
	command_write_header(truncated.data(), &header);
	game->game_time = 10;
	const uint32 draws = zerv_random_draw_count();
	EXPECT_FALSE(judge(truncated));
	EXPECT_TRUE(took_error());
	EXPECT_EQ(zerv_random_draw_count(), draws);
	EXPECT_EQ(get_sniffing_state()->next_possible_error_time, 40);

	// With a delta, one draw per error.
	arm(_test_command_scatter, _sniffing_clear_after_success_flag, 0, 30, 60);
	game->game_time = 11;
	EXPECT_FALSE(judge(general(_command_general_stop)));
	EXPECT_EQ(zerv_random_draw_count(), draws + 1);
	EXPECT_TRUE(took_error());
	EXPECT_GE(get_sniffing_state()->next_possible_error_time, 41);
	EXPECT_LT(get_sniffing_state()->next_possible_error_time, 101);

	// A null command and a sync pass.
	EXPECT_TRUE(handle_command_sniffing(nullptr));
	EXPECT_TRUE(judge(finish([] {
		static uint8 buffer[MAXIMUM_COMMAND_SIZE];
		command_codec_state state;
		command_encode_new(&state, buffer, _command_null);
		return buffer;
	}())));
	EXPECT_TRUE(judge(general(_command_general_scatter)));
	EXPECT_TRUE(succeeded());
}

TEST_F(sniffing_commands, a_new_map_starts_clear)
{
	game->game_time = 0;
	arm(_test_command_scatter, 0, 7, 8, 9);
	initialize_sniffing_for_new_map();
	const sniffing_globals_data *state = get_sniffing_state();
	EXPECT_EQ(state->test_case, _no_test);
	EXPECT_EQ(state->flags, 0u);
	EXPECT_EQ(state->next_possible_error_time, 0);
	EXPECT_EQ(state->time_between_errors_min, 0);
	EXPECT_EQ(state->time_between_errors_delta, 0);
	EXPECT_NE(state->command_header, nullptr);

	// Sums past 32 bits hold at the largest tick.
	game->game_time = 10;
	arm(_test_command_scatter, 0, INT32_MAX, 8, 9);
	EXPECT_EQ(get_sniffing_state()->next_possible_error_time, INT32_MAX);
}

} // namespace
