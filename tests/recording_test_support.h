// Shared by the film and saved-game tests.
#ifndef RECORDING_TEST_SUPPORT_H
#define RECORDING_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "CoreLibrary/zerv/commands.h"
#include "support/recording_harness.h"

// The default battle while both sides still stand (it is decided from about
// tick 1400), so that a replay plays the whole film.
#define FILM_TEST_TICKS 1200
// Where the setup starts in a film, and its option flags.
#define FILM_GAME_OFFSET 36
#define FILM_OPTION_FLAGS_OFFSET (FILM_GAME_OFFSET + 4)

// A chat command of that total size (at least 11) in host order: its
// payload is well formed, and nothing in the simulation depends on it.
inline std::vector<uint8> chat_command(int32 time, int16 size, uint8 player_index = 0, uint8 verb = _command_chat)
{
	std::vector<uint8> bytes(static_cast<size_t>(size), 'a');
	command_header header = {size, verb, player_index, time};
	memcpy(bytes.data(), &header, sizeof(header));
	if (size < 11) return bytes;
	bytes[8] = 0;
	bytes[9] = 0;
	bytes[static_cast<size_t>(size) - 1] = 0;
	return bytes;
}

// The fixed orders of the scripted games: one every 250 ticks from tick 100,
// the first from this tick on.
inline harness_command_script film_orders(int32 first_tick = 0, int32 last_tick = 3000)
{
	harness_command_script script;
	for (int32 tick = 100; tick <= last_tick; tick += 250)
	{
		if (tick >= first_tick) script.push_back({tick, chat_command(tick, static_cast<int16>(20 + tick % 37))});
	}
	return script;
}

// Plays 'demo' live for ticks (one-tick frames) with the fixed orders and
// ends the map, which closes its film; returns the live trail.
inline std::vector<harness_digest_entry> record_demo_film(int32 ticks, int16 elapsed = 1)
{
	new_game_data setup;
	harness_demo_setup(&setup);
	harness_set_command_script(film_orders(0, ticks - 1));
	if (!harness_start_map(&setup)) return {};
	harness_run_ticks(ticks, elapsed);
	std::vector<harness_digest_entry> trail = harness_digest_trail();
	harness_end_map();
	harness_set_command_script({});
	return trail;
}

inline void expect_same_trail(const std::vector<harness_digest_entry> &actual,
	const std::vector<harness_digest_entry> &expected)
{
	ASSERT_EQ(actual.size(), expected.size());
	for (size_t i = 0; i < actual.size(); ++i)
	{
		ASSERT_EQ(actual[i].game_time, expected[i].game_time) << "entry " << i;
		ASSERT_EQ(actual[i].digest, expected[i].digest) << "tick " << actual[i].game_time;
	}
}

inline bool write_bytes(const std::string &path, const std::vector<uint8> &bytes)
{
	FILE *file = fopen(path.c_str(), "wb");
	if (!file) return false;
	const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
	return fclose(file) == 0 && written;
}

inline std::vector<uint8> read_bytes(const std::string &path)
{
	std::vector<uint8> bytes;
	FILE *file = fopen(path.c_str(), "rb");
	if (!file) return bytes;
	uint8 buffer[65536];
	size_t got;
	while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
	fclose(file);
	return bytes;
}

inline void put_big_endian(std::vector<uint8> *bytes, size_t offset, uint32 value, int32 width)
{
	for (int32 i = 0; i < width; ++i)
	{
		(*bytes)[offset + static_cast<size_t>(i)] = static_cast<uint8>(value >> (8 * (width - 1 - i)));
	}
}

inline uint32 get_big_endian(const std::vector<uint8> &bytes, size_t offset, int32 width)
{
	uint32 value = 0;
	for (int32 i = 0; i < width; ++i) value = (value << 8) | bytes[offset + static_cast<size_t>(i)];
	return value;
}

inline void set_option_bit(std::vector<uint8> *film, uint32 flag, bool on)
{
	uint32 options = get_big_endian(*film, FILM_OPTION_FLAGS_OFFSET, 4);
	options = on ? (options | flag) : (options & ~flag);
	put_big_endian(film, FILM_OPTION_FLAGS_OFFSET, options, 4);
}

inline void record_command(std::vector<uint8> command)
{
	record_incoming_command(reinterpret_cast<command_header *>(command.data()));
}

// A film of 'demo' whose blocks carry chat commands: count of them, size
// bytes each, stamped with the tick at which they are recorded, spread over
// ticks; the live trail comes back.
inline std::vector<harness_digest_entry> record_demo_film_with_commands(int32 ticks, int32 count, int16 size,
	int32 *last_command_time = nullptr)
{
	new_game_data setup;
	harness_demo_setup(&setup);
	if (!harness_start_map(&setup)) return {};
	const int32 per_tick = count / MAX(ticks / 2, 1) + 1;
	int32 recorded = 0;
	while (game->game_time < ticks && !harness_game_is_finished())
	{
		for (int32 i = 0; i < per_tick && recorded < count; ++i, ++recorded)
		{
			record_command(chat_command(game->game_time, size));
			if (last_command_time) *last_command_time = game->game_time;
		}
		harness_run_ticks(1, 1);
	}
	std::vector<harness_digest_entry> trail = harness_digest_trail();
	harness_end_map();
	return trail;
}

#endif
