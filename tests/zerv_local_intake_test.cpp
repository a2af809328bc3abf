// The local command intake and the command tick loop, run through the game core.
#include <cstring>
#include <vector>

#include "support/zerv_harness.h"

#include "CoreLibrary/zerv/commands.h"
#include "alliances.h"
#include "monster_commands.h"
#include "monsters.h"
#include "objects.h"
#include "players.h"
#include "recording.h"
#include "sniffing.h"

namespace {

class zerv_local_intake : public zerv_harness_fixture
{
protected:
	void start(uint32 extra_options = 0)
	{
		new_game_data setup;
		harness_battle_setup(&setup, HARNESS_DEMO_MAP_TAG);
		setup.parameters.option_flags |= extra_options;
		ASSERT_TRUE(harness_start_map(&setup));
	}

	// The first tick shares the formation definition through the queue; once it
	// has run, commands stamped with the current tick are next in line.
	static void run_past_the_formation_broadcast(void)
	{
		harness_run_ticks(1);
		const int32 due = game->target_time;
		harness_run_ticks(due - game->game_time + 1);
	}

	static command_header last_recorded(void)
	{
		command_header header;
		command_read_header(get_recording_test_hooks()->last_recorded_command, &header);
		return header;
	}

	// An ally command for teams 0 and 1, header in host order.
	static std::vector<uint8> ally_command(int32 tick, uint8 player)
	{
		uint8 buffer[MAXIMUM_COMMAND_SIZE];
		command_codec_state state;
		const command_ally_data data = {0, 0, 0, 1};
		command_encode_new(&state, buffer, _command_ally);
		command_encode_data(&state, sizeof(data), &data, command_ally_data_byte_swapping_data);
		command_header header;
		command_read_header(buffer, &header);
		header.time = tick;
		header.player_index = player;
		command_write_header(buffer, &header);
		return std::vector<uint8>(buffer, buffer + header.size);
	}
};

using monster_commands_tick_loop = zerv_local_intake;

TEST_F(zerv_local_intake, stamps_filters_queues_and_records_local_commands)
{
	start(_game_option_allow_alliances_flag);
	run_past_the_formation_broadcast();
	const int32 recorded = get_recording_test_hooks()->recorded_command_count;
	ASSERT_GE(recorded, 1);
	EXPECT_EQ(last_recorded().verb, _command_sync_formation);

	// A player's order: stamped with the frame's target time and the local
	// player, recorded, and run at that tick.
	const command_ally_data ally = {0, 0, 0, 1};
	const int32 target = game->target_time;
	handle_ally_command(COMMAND_FROM_STREAM, &ally);
	EXPECT_FALSE(teams_are_allied(0, 1));
	harness_run_frames(1, 1);
	ASSERT_EQ(get_recording_test_hooks()->recorded_command_count, recorded + 1);
	EXPECT_EQ(last_recorded().time, target);
	EXPECT_EQ(last_recorded().player_index, player_globals.local_player_index);
	EXPECT_EQ(last_recorded().verb, _command_ally);
	// It runs when the clock reaches its tick (the reserve keeps the clock behind).
	harness_run_ticks(game->target_time - game->game_time);
	EXPECT_EQ(game->game_time, target + 1);
	EXPECT_TRUE(teams_are_allied(0, 1));

	// Sniffing may drop it: nothing is queued or recorded.
	new_sniffing_data stop_test = {0, NONE, _test_command_stop, 0, 150, 0};
	toggle_sniffing(&stop_test);
	handle_ally_command(COMMAND_FROM_STREAM, &ally);
	harness_run_ticks(3);
	EXPECT_EQ(get_recording_test_hooks()->recorded_command_count, recorded + 1);
	// (The alliance itself does not last: the armies fight, and with two teams
	// standing the rankings break it.)
	EXPECT_EQ(dequeue_incoming_command(game->target_time), nullptr);
	stop_test.test_case = _no_test;
	toggle_sniffing(&stop_test);

	EXPECT_EQ(get_zerv_test_hooks()->out_of_sync_reports, 0);
}

TEST_F(zerv_local_intake, a_local_movement_order_moves_the_local_players_unit_at_its_tick)
{
	start();
	harness_run_ticks(3);
	int16 mine = NONE;
	for (int16 i = 0; i < monster_array.count && mine == NONE; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (monster && monster->owner_player_index == player_globals.local_player_index) mine = i;
	}
	ASSERT_NE(mine, NONE) << "the demo map gives the local player units";
	const object_data *object = get_object_data(get_monster_data(mine)->object_index);
	const world_point2d start_point = {object->location.position.x, object->location.position.y};
	const world_point2d destination = {start_point.x + 1500, start_point.y};
	const command_movement_data data = {0, 0, 0, 0};
	const int32 target = game->target_time;
	handle_movement_command(COMMAND_FROM_STREAM, &data, 1, &mine, 1, &destination);
	harness_run_ticks(target - game->game_time);
	ASSERT_EQ(game->game_time, target);
	EXPECT_EQ(get_monster_data(mine)->waypoint_count, 0) << "not before its tick";
	harness_run_ticks(1);
	ASSERT_EQ(get_monster_data(mine)->waypoint_count, 1);
	EXPECT_EQ(get_monster_data(mine)->waypoints[0].x, destination.x);
	harness_run_ticks(150);
	EXPECT_GT(object->location.position.x, start_point.x + 300) << "the unit walks towards its destination";
	EXPECT_EQ(get_zerv_test_hooks()->out_of_sync_reports, 0);
}

TEST_F(zerv_local_intake, only_accepted_commands_are_recorded)
{
	start();
	harness_run_ticks(2);
	// Fill the incoming queue with far-future commands so the next is refused.
	int32 queued = 0;
	std::vector<uint8> filler(1000, 0);
	const command_header header = {1000, _command_null, 0, 100000};
	command_write_header(filler.data(), &header);
	while (queue_incoming_command(filler.data())) queued += 1;
	ASSERT_GT(queued, 0);
	EXPECT_EQ(get_zerv_test_hooks()->out_of_sync_reports, 1); // the refusal, reported once

	const int32 before = get_recording_test_hooks()->recorded_command_count;
	for (int32 i = 0; i < 12; ++i) queue_outgoing_command(filler.data());
	harness_run_frames(1, 1);
	EXPECT_EQ(get_recording_test_hooks()->recorded_command_count, before) << "a refused command was recorded";
	EXPECT_EQ(get_zerv_test_hooks()->out_of_sync_reports, 1);
}

TEST_F(zerv_local_intake, scripted_and_sync_commands_interleave_without_faults)
{
	start(_game_option_allow_alliances_flag);
	harness_command_script script;
	for (int32 tick = 5; tick < 1200; tick += 37) script.push_back({tick, ally_command(tick, 0)});
	harness_set_command_script(script);
	harness_run_ticks(1300, 4);
	EXPECT_EQ(get_zerv_test_hooks()->out_of_sync_reports, 0);
	EXPECT_GT(get_zerv_test_hooks()->sync_commands_queued, 5);
	EXPECT_EQ(get_commands_test_hooks()->dropped_count, 0) << get_commands_test_hooks()->last_dropped_line;
	// Every scripted command ran (the alliance itself does not last: the armies
	// fight, and with two teams standing the rankings break it).
	EXPECT_EQ(dequeue_incoming_command(game->target_time), nullptr);
}

TEST_F(monster_commands_tick_loop, a_dropped_captain_hands_team_and_units_to_the_heir)
{
	new_game_data setup;
	harness_demo_setup(&setup, 4);
	ASSERT_TRUE(harness_start_map(&setup));
	run_past_the_formation_broadcast();
	int16 captain = NONE, heir = NONE, team_index = NONE;
	for (int16 t = 0; t < get_team_count() && heir == NONE; ++t)
	{
		const team_data *team = get_team_data(t);
		if (!team || team->captain_player_index == NONE) continue;
		for (int16 p = 0; p < get_player_count() && heir == NONE; ++p)
		{
			const player_data *player = get_player_data(p);
			if (player && player->team_index == t && p != team->captain_player_index)
			{
				captain = team->captain_player_index;
				team_index = t;
			}
		}
		// The heir is the first other player of the team.
		for (int16 p = 0; p < get_player_count() && captain != NONE && heir == NONE; ++p)
		{
			const player_data *player = get_player_data(p);
			if (player && player->team_index == t && p != captain) heir = p;
		}
	}
	ASSERT_NE(heir, NONE) << "the demo set-up puts two players on a team";
	const int16 unit = [&] {
		for (int16 i = 0; i < monster_array.count; ++i)
		{
			const monster_data *monster = get_monster_data(i);
			if (monster && monster->owner_player_index == captain) return i;
		}
		return static_cast<int16>(NONE);
	}();

	// A team count already at 0 stays there rather than wrapping.
	get_team_data(team_index)->number_of_players = 0;
	uint8 buffer[MAXIMUM_COMMAND_SIZE];
	build_drop_player_command(buffer, captain);
	command_header header;
	command_read_header(buffer, &header);
	header.time = game->game_time;
	command_write_header(buffer, &header);
	ASSERT_TRUE(queue_incoming_command(buffer));
	harness_run_ticks(1);

	EXPECT_EQ(get_team_data(team_index)->captain_player_index, heir);
	EXPECT_EQ(get_team_data(team_index)->number_of_players, 0);
	EXPECT_TRUE(get_player_data(captain)->flags & _player_has_been_dropped_flag);
	EXPECT_EQ(get_player_data(captain)->team_index, NONE);
	if (unit != NONE)
	{
		EXPECT_EQ(get_monster_data(unit)->owner_player_index, heir);
	}

	// Dropped again: nothing more changes.
	header.time = game->game_time;
	command_write_header(buffer, &header);
	ASSERT_TRUE(queue_incoming_command(buffer));
	harness_run_ticks(1);
	EXPECT_EQ(get_team_data(team_index)->captain_player_index, heir);
	EXPECT_EQ(get_zerv_test_hooks()->out_of_sync_reports, 0);
}

TEST_F(monster_commands_tick_loop, a_late_command_reports_out_of_sync_and_still_runs)
{
	start(_game_option_allow_alliances_flag);
	harness_run_ticks(10);
	std::vector<uint8> late = ally_command(game->game_time - 1, 0);
	ASSERT_TRUE(queue_incoming_command(late.data()));
	harness_run_ticks(1);
	EXPECT_EQ(get_zerv_test_hooks()->out_of_sync_reports, 1);
	EXPECT_TRUE(teams_are_allied(0, 1));
}

TEST_F(monster_commands_tick_loop, sync_checks_compare_only_the_same_verification_time)
{
	start();
	harness_run_ticks(600); // one verification at 512
	ASSERT_EQ(game->last_synchronization_verification_time, 512);
	uint8 buffer[MAXIMUM_COMMAND_SIZE];
	command_codec_state state;
	command_sync_data data = {0, 0, game->last_synchronization_verification_seed + 1, 511};
	command_encode_new(&state, buffer, _command_sync);
	command_encode_data(&state, sizeof(data), &data, command_sync_data_byte_swapping_data);
	command_header header;
	command_read_header(buffer, &header);
	header.time = game->game_time;
	header.player_index = 0;
	command_write_header(buffer, &header);
	ASSERT_TRUE(queue_incoming_command(buffer));
	harness_run_ticks(1);
	EXPECT_EQ(get_zerv_test_hooks()->out_of_sync_reports, 0) << "another time passes silently";

	data.last_synchronization_verification_time = 512;
	command_encode_new(&state, buffer, _command_sync);
	command_encode_data(&state, sizeof(data), &data, command_sync_data_byte_swapping_data);
	header.time = game->game_time;
	command_write_header(buffer, &header);
	ASSERT_TRUE(queue_incoming_command(buffer));
	header.time = game->game_time + 1;
	command_write_header(buffer, &header);
	ASSERT_TRUE(queue_incoming_command(buffer));
	harness_run_ticks(3);
	EXPECT_EQ(get_zerv_test_hooks()->out_of_sync_reports, 1) << "the same time with another seed, once";
}

TEST_F(monster_commands_tick_loop, malformed_commands_are_dropped_with_their_line)
{
	start(_game_option_allow_alliances_flag);
	run_past_the_formation_broadcast();
	struct
	{
		std::vector<uint8> bytes;
		const char *reason;
	} cases[3];
	cases[0].bytes = ally_command(game->game_time, 9); // no such player
	cases[0].reason = "player out of range";
	cases[1].bytes = ally_command(game->game_time, 0);
	cases[1].bytes[2] = 21;
	cases[1].reason = "unknown verb";
	cases[2].bytes = ally_command(game->game_time, 0);
	cases[2].bytes.resize(12);
	cases[2].bytes[0] = 12; // the record is cut short
	cases[2].reason = "payload overruns the command";

	for (auto &c : cases)
	{
		const uint64 before = zerv_state_digest();
		const int32 dropped = get_commands_test_hooks()->dropped_count;
		command_header header;
		command_read_header(c.bytes.data(), &header);
		header.time = game->game_time;
		command_write_header(c.bytes.data(), &header);
		ASSERT_TRUE(queue_incoming_command(c.bytes.data()));
		execute_monster_commands(game->game_time);
		EXPECT_EQ(get_commands_test_hooks()->dropped_count, dropped + 1);
		EXPECT_STREQ(get_commands_test_hooks()->last_dropped_reason, c.reason);
		EXPECT_EQ(zerv_state_digest(), before);
	}
	EXPECT_NE(strstr(get_commands_test_hooks()->last_dropped_line, "dropped command #14 from player #0 for tick"),
		nullptr);
	EXPECT_EQ(get_zerv_test_hooks()->out_of_sync_reports, 0);
	EXPECT_FALSE(teams_are_allied(0, 1));
}

}
