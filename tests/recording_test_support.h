// Shared by the film and saved-game tests.
#ifndef RECORDING_TEST_SUPPORT_H
#define RECORDING_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/recording_harness.h"

// The default battle to its end or this many ticks.
#define FILM_TEST_TICKS 3000
// Where the setup starts in a film, and its option flags.
#define FILM_GAME_OFFSET 36
#define FILM_OPTION_FLAGS_OFFSET (FILM_GAME_OFFSET + 4)

// Plays 'demo' live for ticks (one-tick frames) and ends the map, which
// closes its film; returns the live trail.
inline std::vector<harness_digest_entry> record_demo_film(int32 ticks, int16 elapsed = 1)
{
	new_game_data setup;
	harness_demo_setup(&setup);
	if (!harness_start_map(&setup)) return {};
	harness_run_ticks(ticks, elapsed);
	std::vector<harness_digest_entry> trail = harness_digest_trail();
	harness_end_map();
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

#endif
