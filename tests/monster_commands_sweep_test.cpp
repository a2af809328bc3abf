// Damaged commands through the incoming queue of a running 'demo': one real
// command per verb, built by the game's builders, mutated in 2,000 fixed ways
// (bytes, sizes, counts, verbs, senders), one per tick. Each either runs or is
// dropped with its log line; nothing crashes, overruns or stays queued.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "support/test_directory.h"
#include "support/zerv_harness.h"

#include "CoreLibrary/zerv/commands.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "formations.h"
#include "monster_commands.h"
#include "monsters.h"
#include "players.h"
#include "zerv.h"

namespace {

constexpr int32 SWEEP_MUTANTS = 2000;
// A fresh game every so often, so that most mutants meet both armies.
constexpr int32 MUTANTS_PER_GAME = 400;

// The payload of each verb, for finding its counts: a record of n bytes, a
// monster list, an array of points, of 16-bit values or of sketch points,
// or a string.
struct verb_layout
{
	int32 record_size;
	const char *arrays; // 'L' list of identifiers, 'P' points, 'I' int16s, 'K' sketch points, 'S' string
};
const verb_layout verb_layouts[NUMBER_OF_COMMAND_VERBS] = {
	{0, ""}, {12, ""}, {4, "L"}, {8, "LP"}, {2, "LL"}, {16, "L"}, {8, "L"}, {2, "LS"}, {12, "L"}, {0, ""},
	{2, "S"}, {4, "L"}, {2, "I"}, {2, "K"}, {8, ""}, {4, "I"}, {40, ""}, {4, "L"}, {4, "L"}, {4, "L"}, {4, "L"}};

// Fixed-seed xorshift: the sweep is the same on every run and build.
class sweep_random
{
public:
	explicit sweep_random(uint32 seed) : state(seed) {}
	uint32 next(void)
	{
		state ^= state << 13;
		state ^= state >> 17;
		state ^= state << 5;
		return state;
	}
	uint32 below(uint32 n) { return next() % n; }

private:
	uint32 state;
};

int16 read_int16(const std::vector<uint8> &bytes, size_t offset)
{
	return static_cast<int16>((bytes[offset] << 8) | bytes[offset + 1]);
}

void write_int16(std::vector<uint8> &bytes, size_t offset, int16 value)
{
	bytes[offset] = static_cast<uint8>(static_cast<uint16>(value) >> 8);
	bytes[offset + 1] = static_cast<uint8>(value);
}

command_header header_of(const std::vector<uint8> &bytes)
{
	command_header header;
	command_read_header(bytes.data(), &header);
	return header;
}

void set_size(std::vector<uint8> &bytes, int16 size)
{
	command_header header = header_of(bytes);
	header.size = size;
	command_write_header(bytes.data(), &header);
}

// Where the counts of a well-formed command lie.
std::vector<size_t> count_offsets(const std::vector<uint8> &bytes)
{
	const command_header header = header_of(bytes);
	std::vector<size_t> offsets;
	if (header.verb >= NUMBER_OF_COMMAND_VERBS) return offsets;
	const verb_layout &layout = verb_layouts[header.verb];
	size_t offset = sizeof(command_header) + layout.record_size;
	for (const char *array = layout.arrays; *array && *array != 'S' && offset + 2 <= bytes.size(); ++array)
	{
		offsets.push_back(offset);
		const int16 count = read_int16(bytes, offset);
		if (count < 0) break;
		offset += 2 + count * (*array == 'P' ? 8 : 2);
	}
	return offsets;
}

struct sweep_mutant
{
	std::vector<uint8> bytes; // header in host order, payload big-endian
	std::string what;
};

const int16 interesting_counts[] = {0, 1, -1, 2, 126, 127, 200, 2047, 0x7FFF, static_cast<int16>(0x8000)};
const uint8 interesting_bytes[] = {0x00, 0x01, 0x7F, 0x80, 0xFF};

// One deterministic damage to a command.
void mutate(sweep_mutant *mutant, sweep_random *random)
{
	std::vector<uint8> &bytes = mutant->bytes;
	const size_t payload = bytes.size() - sizeof(command_header);
	char what[96];
	switch (random->below(9))
	{
		case 0: // flipped bits in the payload
		{
			if (!payload) return mutate(mutant, random);
			const uint32 flips = 1 + random->below(4);
			for (uint32 i = 0; i < flips; ++i) bytes[sizeof(command_header) + random->below(payload)] ^= 1 << random->below(8);
			snprintf(what, sizeof(what), "%u flipped bits", flips);
			break;
		}
		case 1: // a byte set to an edge value
		{
			if (!payload) return mutate(mutant, random);
			const size_t at = sizeof(command_header) + random->below(payload);
			bytes[at] = interesting_bytes[random->below(sizeof(interesting_bytes))];
			snprintf(what, sizeof(what), "byte %zu = %u", at, bytes[at]);
			break;
		}
		case 2: // a count that disagrees with what follows it
		{
			const std::vector<size_t> offsets = count_offsets(bytes);
			if (offsets.empty()) return mutate(mutant, random);
			const size_t at = offsets[random->below(offsets.size())];
			const int16 count = random->below(3) == 0 ? static_cast<int16>(read_int16(bytes, at) + 1 - 2 * random->below(2)) :
				interesting_counts[random->below(sizeof(interesting_counts) / sizeof(interesting_counts[0]))];
			write_int16(bytes, at, count);
			snprintf(what, sizeof(what), "count at %zu = %d", at, count);
			break;
		}
		case 3: // cut short, the size following
		{
			if (!payload) return mutate(mutant, random);
			bytes.resize(sizeof(command_header) + random->below(payload));
			set_size(bytes, static_cast<int16>(bytes.size()));
			snprintf(what, sizeof(what), "cut to %zu bytes", bytes.size());
			break;
		}
		case 4: // trailing junk, the size following
		{
			const uint32 extra = 1 + random->below(64);
			for (uint32 i = 0; i < extra; ++i) bytes.push_back(static_cast<uint8>(random->next()));
			set_size(bytes, static_cast<int16>(bytes.size()));
			snprintf(what, sizeof(what), "%u bytes appended", extra);
			break;
		}
		case 5: // a size no command has (the bytes stay as they are)
		{
			const int16 sizes[] = {0, 7, -1, -8, MAXIMUM_COMMAND_SIZE + 1, 0x7FFF, static_cast<int16>(0x8000)};
			const int16 size = sizes[random->below(sizeof(sizes) / sizeof(sizes[0]))];
			set_size(bytes, size);
			snprintf(what, sizeof(what), "size field %d", size);
			break;
		}
		case 6: // another verb over the same payload
		{
			bytes[2] = static_cast<uint8>(random->below(3) == 0 ? random->below(256) : random->below(NUMBER_OF_COMMAND_VERBS));
			snprintf(what, sizeof(what), "verb %u", bytes[2]);
			break;
		}
		case 7: // another sender
		{
			const uint8 senders[] = {0, 1, 2, 3, 4, 15, 16, 254, NO_COMMAND_PLAYER};
			bytes[3] = senders[random->below(sizeof(senders))];
			snprintf(what, sizeof(what), "player %u", bytes[3]);
			break;
		}
		default: // a string without its end
		{
			if (!payload || bytes.back() != 0) return mutate(mutant, random);
			bytes.back() = 'x';
			snprintf(what, sizeof(what), "last NUL overwritten");
			break;
		}
	}
	if (!mutant->what.empty()) mutant->what += ", ";
	mutant->what += what;
}

// What any sound check refuses, known from the damage alone: bad framing, an
// unknown verb or sender, a record cut short, or a first count below zero.
bool must_be_refused(const std::vector<uint8> &bytes, int16 player_count)
{
	const command_header header = header_of(bytes);
	if (header.size < static_cast<int16>(sizeof(command_header)) || header.size > MAXIMUM_COMMAND_SIZE) return true;
	if (header.verb >= NUMBER_OF_COMMAND_VERBS) return true;
	if (header.player_index == NO_COMMAND_PLAYER)
	{
		if (header.verb != _command_null && header.verb != _command_sync && header.verb != _command_ally) return true;
	}
	else if (header.player_index >= player_count) return true;
	const verb_layout &layout = verb_layouts[header.verb];
	const size_t record_end = sizeof(command_header) + layout.record_size;
	if (bytes.size() < record_end) return true;
	if (layout.arrays[0] && layout.arrays[0] != 'S')
	{
		if (bytes.size() < record_end + 2 || read_int16(bytes, record_end) < 0) return true;
	}
	return false;
}

class monster_commands_sweep : public zerv_harness_fixture
{
protected:
	void TearDown() override
	{
		harness_end_map();
		zerv_harness_fixture::TearDown();
	}

	static void start(void)
	{
		new_game_data setup;
		harness_demo_setup(&setup);
		ASSERT_TRUE(harness_start_map(&setup));
		// Past the first tick's formation broadcast.
		harness_run_ticks(2);
	}

	static std::vector<int16> units_of(int16 player, size_t most)
	{
		std::vector<int16> units;
		for (int16 i = 0; i < monster_array.count && units.size() < most; ++i)
		{
			const monster_data *monster = get_monster_data(i);
			if (monster && monster->owner_player_index == player) units.push_back(i);
		}
		return units;
	}

	// One command of each verb, as the builders write it for player 0.
	static std::vector<std::vector<uint8>> build_seeds(void)
	{
		std::vector<std::vector<uint8>> seeds(NUMBER_OF_COMMAND_VERBS);
		harness_command_script script;
		const auto take = [&](int16 verb) {
			script.clear();
			harness_capture_commands(0, 0, &script);
			EXPECT_EQ(script.size(), 1u) << "verb " << verb;
			if (script.size() == 1) seeds[verb] = script[0].command;
		};
		const auto take_built = [&](int16 verb, void *command) {
			command_header header;
			command_read_header(command, &header);
			header.player_index = 0;
			command_write_header(command, &header);
			seeds[verb].assign(static_cast<uint8 *>(command), static_cast<uint8 *>(command) + header.size);
		};

		const std::vector<int16> mine = units_of(0, 6), theirs = units_of(1, 3);
		EXPECT_EQ(mine.size(), 6u);
		EXPECT_EQ(theirs.size(), 3u);
		const int16 count = static_cast<int16>(mine.size());
		uint8 buffer[MAXIMUM_COMMAND_SIZE];

		take_built(_command_null, build_null_command(buffer));
		take_built(_command_sync, build_sync_command(buffer));
		const command_general_data general = {0, _command_general_scatter};
		handle_general_command(COMMAND_FROM_STREAM, &general, count, mine.data());
		take(_command_general);
		const command_movement_data movement = {_command_movement_formation_flag | _command_movement_final_facing_flag,
			_formation_box, 16384, 0};
		const world_point2d waypoints[2] = {{20000, 33000}, {22000, 34000}};
		handle_movement_command(COMMAND_FROM_STREAM, &movement, count, mine.data(), 2, waypoints);
		take(_command_movement);
		const command_target_data target = {_command_target_player_initiated_flag};
		handle_target_command(COMMAND_FROM_STREAM, &target, count, mine.data(), static_cast<int16>(theirs.size()),
			theirs.data());
		take(_command_target);
		const command_attack_location_data attack = {0, 0, {21000, 34000, 0}};
		handle_attack_location_command(COMMAND_FROM_STREAM, &attack, count, mine.data());
		take(_command_attack_location);
		const command_pick_up_data pick_up = {0, 0, NONE, 0};
		handle_pick_up_command(COMMAND_FROM_STREAM, &pick_up, count, mine.data());
		take(_command_pick_up);
		const command_rename_data rename = {0};
		handle_rename_command(COMMAND_FROM_STREAM, &rename, 1, mine.data(), "Sweeper");
		take(_command_rename);
		const command_rotation_data rotation = {0, 8192, {21000, 31000}};
		handle_rotation_command(COMMAND_FROM_STREAM, &rotation, count, mine.data());
		take(_command_rotation);
		take_built(_command_drop_player, build_drop_player_command(buffer, 2));
		const command_chat_data chat = {0};
		queue_chat_command(&chat, "hold the ridge");
		take(_command_chat);
		const command_detach_data detach = {0, 3};
		handle_detach_command(COMMAND_FROM_STREAM, &detach, 2, mine.data());
		take(_command_detach);
		const int16 counts[] = {1, 2, 3};
		queue_unit_adjustment_command(0, 3, counts);
		take(_command_unit_adjustment);
		const sketch_point2d sketch[] = {{10, 20}, {30, 40}, {50, 60}};
		queue_sketch_command(_command_sketch_start_flag, 3, sketch);
		take(_command_sketch);
		const command_ally_data ally = {0, 0, 0, 1};
		handle_ally_command(COMMAND_FROM_STREAM, &ally);
		take(_command_ally);
		const command_preset_selection_data preset = {0, 2};
		const int16 identifiers[] = {get_monster_data(mine[0])->identifier, get_monster_data(mine[1])->identifier};
		queue_preset_selection_command(&preset, 2, identifiers);
		take(_command_preset_selection);
		handle_sync_formation_command(COMMAND_FROM_STREAM, get_formation_definition_for_player(0));
		take(_command_sync_formation);
		const command_inventory_data inventory = {0, NONE};
		handle_inventory_command(COMMAND_FROM_STREAM, &inventory, count, mine.data());
		take(_command_inventory);
		handle_inventory_drop_command(COMMAND_FROM_STREAM, &inventory, count, mine.data());
		take(_command_inventory_drop);
		handle_inventory_prev_command(COMMAND_FROM_STREAM, &inventory, count, mine.data());
		take(_command_inventory_prev);
		handle_inventory_next_command(COMMAND_FROM_STREAM, &inventory, count, mine.data());
		take(_command_inventory_next);
		return seeds;
	}
};

TEST_F(monster_commands_sweep, damaged_commands_run_or_are_dropped_with_a_log_line)
{
	start();
	const std::vector<std::vector<uint8>> seeds = build_seeds();
	for (size_t verb = 0; verb < seeds.size(); ++verb)
	{
		ASSERT_FALSE(seeds[verb].empty()) << "no seed for verb " << verb;
		ASSERT_FALSE(must_be_refused(seeds[verb], get_player_count())) << "verb " << verb;
	}

	// Each mutant is queued for the first tick the intake has not yet
	// covered, as a player's command is, so that the queue stays in tick
	// order; it runs some ticks later, and each tick runs at most one.
	struct pending_mutant
	{
		int32 index;
		command_header header;
		bool must_refuse;
		std::string what;
	};
	std::deque<pending_mutant> pending;
	int32 refused = 0, executed = 0, lost = 0, games = 1;

	const auto expect_line = [](const command_header &header) {
		char line[64];
		snprintf(line, sizeof(line), "dropped command #%d from player #%d for tick %d", header.verb, header.player_index,
			static_cast<int>(header.time));
		EXPECT_EQ(strncmp(get_commands_test_hooks()->last_dropped_line, line, strlen(line)), 0)
			<< get_commands_test_hooks()->last_dropped_line;
	};
	// One tick, then the verdict on the mutant it ran, if any.
	const auto run_tick = [&](void) {
		const int32 dropped = get_commands_test_hooks()->dropped_count;
		if (harness_run_ticks(1) != 1)
		{
			// The game is over: what is still queued never runs.
			EXPECT_TRUE(harness_game_is_finished());
			lost += static_cast<int32>(pending.size());
			pending.clear();
			return;
		}
		const int32 drops = get_commands_test_hooks()->dropped_count - dropped;
		if (pending.empty() || pending.front().header.time >= game->game_time)
		{
			EXPECT_EQ(drops, 0) << "a drop in a tick without a mutant: " << get_commands_test_hooks()->last_dropped_line;
		}
		else
		{
			const pending_mutant mutant = pending.front();
			pending.pop_front();
			SCOPED_TRACE("mutant " + std::to_string(mutant.index) + ": " + mutant.what);
			ASSERT_LT(mutant.header.time, game->game_time);
			EXPECT_LE(drops, 1) << "one drop, one line";
			if (mutant.must_refuse)
			{
				EXPECT_EQ(drops, 1) << "a broken command was not refused";
			}
			if (drops)
			{
				refused += 1;
				expect_line(mutant.header);
			}
			else executed += 1;
			ASSERT_TRUE(pending.empty() || pending.front().header.time >= game->game_time) << "two mutants in a tick";
		}
		// Nothing due stays behind.
		EXPECT_EQ(dequeue_incoming_command(game->game_time - 1), nullptr);
	};

	sweep_random random(0x5EEDC0DE);
	for (int32 i = 0; i < SWEEP_MUTANTS && !::testing::Test::HasFailure(); ++i)
	{
		if (i > 0 && (i % MUTANTS_PER_GAME == 0 || harness_game_is_finished()))
		{
			for (int32 t = 0; t < 64 && !pending.empty(); ++t) run_tick();
			harness_end_map();
			start();
			games += 1;
		}
		const size_t verb = static_cast<size_t>(i) % seeds.size();
		sweep_mutant mutant = {seeds[verb], ""};
		mutate(&mutant, &random);
		if (random.below(4) == 0) mutate(&mutant, &random);
		SCOPED_TRACE("mutant " + std::to_string(i) + " of verb " + std::to_string(verb) + ": " + mutant.what);

		command_header header = header_of(mutant.bytes);
		header.time = game->target_time;
		command_write_header(mutant.bytes.data(), &header);
		const bool must_refuse = must_be_refused(mutant.bytes, get_player_count());

		const int32 dropped = get_commands_test_hooks()->dropped_count;
		if (queue_incoming_command(mutant.bytes.data()))
		{
			EXPECT_EQ(get_commands_test_hooks()->dropped_count, dropped);
			pending.push_back({i, header, must_refuse, mutant.what});
		}
		else
		{
			// Refused at the door, on its framing alone.
			EXPECT_EQ(get_commands_test_hooks()->dropped_count, dropped + 1) << "refused at the queue without a line";
			expect_line(header);
			refused += 1;
		}
		run_tick();
	}
	for (int32 t = 0; t < 64 && !pending.empty(); ++t) run_tick();
	if (HasFailure()) return; // the first fault is the one to read
	EXPECT_TRUE(pending.empty());
	EXPECT_EQ(refused + executed + lost, SWEEP_MUTANTS);
	EXPECT_LT(lost, 10);
	// Both kinds occur in numbers: the damage is neither all fatal nor all harmless.
	EXPECT_GT(refused, SWEEP_MUTANTS / 5);
	EXPECT_GT(executed, SWEEP_MUTANTS / 5);
	EXPECT_GT(games, 1);

	// Every refusal is in the log, once.
	const std::string log = read_test_file(harness_directory() + "/" ERROR_LOG_FILE_NAME);
	int32 logged = 0;
	for (size_t at = log.find("dropped command #"); at != std::string::npos; at = log.find("dropped command #", at + 1))
	{
		logged += 1;
	}
	EXPECT_EQ(logged, refused);
}

} // namespace
