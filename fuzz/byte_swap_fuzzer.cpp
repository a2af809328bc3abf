// Byte-swap descriptors and the structure encoder under arbitrary input.
// The first byte picks the mode:
//   0: the rest is an array of codes: through the validator and, when it is
//      accepted, through the walk (a double conversion is the identity);
//   1: the rest is data under one of the project's descriptors (next byte);
//   2: the rest is an encoded stream, decoded as counted arrays and strings.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "CoreLibrary/tag_files/data_encoding.h"
#include "CoreLibrary/zerv/world_units.h"
#include "byte_swapping.h"
#include "game_preferences.h"
#include "tag_files/tag_files.h"

namespace
{
struct known_descriptor
{
	const char *name;
	const byte_swap_code *codes;
	int32 size;
};

#define KNOWN(type) {#type, type##_byte_swapping_data, (int32)sizeof(type)}
const known_descriptor known_descriptors[] = {
	KNOWN(world_point2d),
	KNOWN(world_point3d),
	KNOWN(short_world_point2d),
	KNOWN(short_world_point3d),
	KNOWN(world_vector2d),
	KNOWN(world_vector3d),
	KNOWN(fixed_vector3d),
	KNOWN(short_fixed_vector3d),
	KNOWN(world_location3d),
	KNOWN(short_world_rectangle3d),
	KNOWN(matrix3x3),
	KNOWN(tag_header),
	KNOWN(game_preferences),
	{"encoded array header", encoded_array_header.codes, encoded_array_header.size},
};
#undef KNOWN

const byte_swap_definition world_point3d_definition = {
	"world point", (int32)sizeof(world_point3d), world_point3d_byte_swapping_data, 0};

// Largest structure and largest amount of walking a fuzzed descriptor may ask for.
const int64 maximum_walked_size = 1 << 16;
const int64 maximum_walk_steps = 1 << 20;

void check(bool condition)
{
	if (!condition) abort();
}

// Code visits the walk makes for the group at codes[0] of a valid
// descriptor; groups describing 0 bytes can repeat without bound, so this
// (saturating) count bounds the work before the walk runs.
int64 walk_steps(const byte_swap_code *codes, int32 *consumed)
{
	const int64 count = codes[1];
	int64 per_repetition = 1;
	int32 position = 2;
	while (codes[position] != _end_bs_array)
	{
		if (codes[position] == _begin_bs_array)
		{
			int32 nested = 0;
			per_repetition += walk_steps(codes + position, &nested);
			position += nested;
		}
		else
		{
			per_repetition += 1;
			position += 1;
		}
		if (per_repetition > maximum_walk_steps) per_repetition = maximum_walk_steps + 1;
	}
	*consumed = position + 1;
	const int64 steps = count * per_repetition;
	return steps > maximum_walk_steps ? maximum_walk_steps + 1 : steps;
}

void fuzz_codes(const uint8_t *data, size_t size)
{
	const int32 code_count = (int32)(size / 2 > 512 ? 512 : size / 2);
	// An exact-sized block, so that reading past the codes is caught.
	std::vector<byte_swap_code> codes((size_t)code_count);
	if (code_count > 0) memcpy(codes.data(), data, (size_t)code_count * 2);
	const byte_swap_code *code_pointer = code_count > 0 ? codes.data() : nullptr;
	if (!byte_swap_descriptor_is_valid(code_pointer, code_count)) return;

	int32 consumed = 0;
	if (walk_steps(code_pointer, &consumed) > maximum_walk_steps) return;
	check(consumed <= code_count);
	const int32 described = get_byte_swap_struct_size(code_pointer);
	check(described >= 0);
	if (described > maximum_walked_size) return;

	std::vector<uint8> original((size_t)described + 1);
	for (size_t i = 0; i < original.size(); ++i) original[i] = (uint8)(i * 37 + 11);
	std::vector<uint8> bytes(original);
	byte_swap_data("fuzz", bytes.data(), described, 1, code_pointer);
	check(bytes[(size_t)described] == original[(size_t)described]);
	byte_swap_data("fuzz", bytes.data(), described, 1, code_pointer);
	check(bytes == original);
}

void fuzz_known(const uint8_t *data, size_t size)
{
	if (size < 1) return;
	const known_descriptor &known = known_descriptors[data[0] % NUMBEROF(known_descriptors)];
	data += 1;
	size -= 1;
	check(get_byte_swap_struct_size(known.codes) == known.size);
	const int32 count = (int32)(size / (size_t)known.size);
	if (count < 1) return;

	const std::vector<uint8> original(data, data + (size_t)count * (size_t)known.size);
	std::vector<uint8> bytes(original);
	byte_swap_data(known.name, bytes.data(), known.size, count, known.codes);
	std::vector<uint8> moved(original.size());
	byte_swap_move(known.name, moved.data(), original.data(), known.size, count, known.codes);
	check(moved == bytes);
	byte_swap_data(known.name, bytes.data(), known.size, count, known.codes);
	check(bytes == original);
}

void fuzz_stream(const uint8_t *data, size_t size)
{
	if (size > MAXIMUM_ENCODING_BUFFER_SIZE) size = MAXIMUM_ENCODING_BUFFER_SIZE;
	std::vector<uint8> buffer(data, data + size);
	data_encoding_state state;
	if (!data_decode_new(&state, buffer.empty() ? nullptr : buffer.data(), (int32)buffer.size())) return;

	// Alternate arrays of world points and strings until the stream is spent.
	for (int32 round = 0; round < 64; ++round)
	{
		const int16 before = state.offset;
		int16 count = 0;
		const void *points = data_decode_array(&state, &count, 16, sizeof(world_point3d), &world_point3d_definition);
		if (points)
		{
			check(count >= 0 && count <= 16);
			check(state.offset == before + 2 + count * (int32)sizeof(world_point3d));
		}
		else
		{
			check(state.offset == before);
		}
		const int16 string_start = state.offset;
		const char *string = data_decode_string(&state, 31);
		if (string)
		{
			const size_t length = strlen(string);
			check(length <= 31);
			check(state.offset == string_start + (int32)length + 1);
		}
		if (!points && !string) break;
	}
	check(state.offset >= 0 && state.offset <= state.buffer_size);

	// Whatever was read encodes back into a buffer of the same size.
	std::vector<uint8> out(buffer.size());
	data_encoding_state writer;
	if (data_encode_new(&writer, out.empty() ? nullptr : out.data(), (int32)out.size()))
	{
		data_encoding_checkpoint checkpoint;
		data_encode_checkpoint(&writer, &checkpoint);
		char text[17] = {};
		if (!buffer.empty()) memcpy(text, buffer.data(), buffer.size() < 16 ? buffer.size() : 16);
		data_encode_string(&writer, text, 16);
		data_encode_rollback(&writer, &checkpoint);
		check(writer.offset == 0);
		for (uint8 b : out) check(b == 0);
	}
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size < 1) return 0;
	switch (data[0] % 3)
	{
	case 0: fuzz_codes(data + 1, size - 1); break;
	case 1: fuzz_known(data + 1, size - 1); break;
	default: fuzz_stream(data + 1, size - 1); break;
	}
	return 0;
}
