#include "data_encoding.h"

#include <cstring>

#include "tags_and_strings.h"

static constexpr byte_swap_code encoded_array_header_byte_swapping_data[] = {_begin_bs_array, 1, _2byte, _end_bs_array};
static_assert(get_byte_swap_struct_size(encoded_array_header_byte_swapping_data) == sizeof(int16));

const byte_swap_definition encoded_array_header = {
	"encoded array header", sizeof(int16), encoded_array_header_byte_swapping_data, 0};

static uint8 *cursor(const data_encoding_state *state)
{
	return static_cast<uint8 *>(state->buffer) + state->offset;
}

static int64 bytes_left(const data_encoding_state *state)
{
	return state->buffer ? (int64)state->buffer_size - state->offset : 0;
}

// A definition converts structures of exactly its size, and its descriptor
// must not reach past them.
static bool definition_matches(const byte_swap_definition *definition, int32 structure_size)
{
	if (!definition) return true;
	if (!definition->codes || definition->size != structure_size) return false;
	return get_byte_swap_struct_size(definition->codes) <= structure_size;
}

static void convert(const byte_swap_definition *definition, void *data, int32 structure_size, int32 structure_count)
{
	if (definition && structure_count > 0)
		byte_swap_data(definition->name, data, structure_size, structure_count, definition->codes);
}

static bool start_cursor(data_encoding_state *state, void *buffer, int32 buffer_size)
{
	state->buffer = buffer;
	state->offset = 0;
	// Offsets are 16-bit: a larger buffer could not be addressed.
	if (buffer_size < 0 || buffer_size > MAXIMUM_ENCODING_BUFFER_SIZE || (!buffer && buffer_size > 0))
	{
		state->buffer_size = 0;
		return false;
	}
	state->buffer_size = (int16)buffer_size;
	return true;
}

bool data_encode_new(data_encoding_state *state, void *buffer, int32 buffer_size)
{
	return start_cursor(state, buffer, buffer_size);
}

bool data_decode_new(data_encoding_state *state, void *buffer, int32 buffer_size)
{
	return start_cursor(state, buffer, buffer_size);
}

bool data_encode_structures(data_encoding_state *state, const void *source_structures, int32 structure_count,
	int32 structure_size, const byte_swap_definition *bs_definition)
{
	if (structure_count < 0 || structure_size < 0) return false;
	const int64 bytes = (int64)structure_count * structure_size;
	if (bytes == 0) return true;
	if (!source_structures || bytes > bytes_left(state) || !definition_matches(bs_definition, structure_size))
		return false;
	uint8 *destination = cursor(state);
	memmove(destination, source_structures, (size_t)bytes);
	convert(bs_definition, destination, structure_size, structure_count);
	state->offset = (int16)(state->offset + bytes);
	return true;
}

bool data_encode_array(data_encoding_state *state, const void *source_array, int32 element_count, int32 element_size,
	const byte_swap_definition *bs_definition)
{
	if (element_count < 0 || element_count > INT16_MAX || element_size < 0) return false;
	const int64 bytes = (int64)element_count * element_size;
	if ((int64)sizeof(int16) + bytes > bytes_left(state)) return false;
	if (bytes > 0 && (!source_array || !definition_matches(bs_definition, element_size))) return false;

	const int16 count = (int16)element_count;
	byte_swap_move(encoded_array_header.name, cursor(state), &count, encoded_array_header.size, 1,
		encoded_array_header.codes);
	state->offset = (int16)(state->offset + sizeof(int16));
	if (bytes > 0)
	{
		uint8 *destination = cursor(state);
		memmove(destination, source_array, (size_t)bytes);
		convert(bs_definition, destination, element_size, element_count);
		state->offset = (int16)(state->offset + bytes);
	}
	return true;
}

bool data_encode_string(data_encoding_state *state, const char *source_string, int32 maximum_string_length)
{
	if (!source_string) return false;
	const int32 length = mstrnlen(source_string, maximum_string_length);
	// The characters and the terminator must fit: offset + length < size.
	if ((int64)length >= bytes_left(state)) return false;
	uint8 *destination = cursor(state);
	memmove(destination, source_string, (size_t)length);
	destination[length] = 0;
	state->offset = (int16)(state->offset + length + 1);
	return true;
}

void *data_decode_structures(data_encoding_state *state, int32 structure_count, int32 structure_size,
	const byte_swap_definition *bs_definition)
{
	if (!state->buffer || structure_count < 0 || structure_size < 0) return nullptr;
	const int64 bytes = (int64)structure_count * structure_size;
	if (bytes > bytes_left(state)) return nullptr;
	if (bytes > 0 && !definition_matches(bs_definition, structure_size)) return nullptr;
	uint8 *structures = cursor(state);
	convert(bs_definition, structures, structure_size, structure_count);
	state->offset = (int16)(state->offset + bytes);
	return structures;
}

void *data_decode_array(data_encoding_state *state, int16 *element_count, int32 maximum_element_count,
	int32 element_size, const byte_swap_definition *bs_definition)
{
	if (element_size < 0 || (int64)sizeof(int16) > bytes_left(state)) return nullptr;
	// The count is read into a copy: a refused array leaves the buffer as it was.
	int16 count;
	byte_swap_move(encoded_array_header.name, &count, cursor(state), encoded_array_header.size, 1,
		encoded_array_header.codes);
	if (count < 0 || count > maximum_element_count) return nullptr;
	const int64 bytes = (int64)count * element_size;
	if ((int64)sizeof(int16) + bytes > bytes_left(state)) return nullptr;
	if (bytes > 0 && !definition_matches(bs_definition, element_size)) return nullptr;

	uint8 *elements = cursor(state) + sizeof(int16);
	convert(bs_definition, elements, element_size, count);
	state->offset = (int16)(state->offset + sizeof(int16) + bytes);
	if (element_count) *element_count = count;
	return elements;
}

char *data_decode_string(data_encoding_state *state, int32 maximum_string_length)
{
	const int64 left = bytes_left(state);
	if (maximum_string_length < 0 || left < 1) return nullptr;
	char *string = reinterpret_cast<char *>(cursor(state));
	// The terminator must lie within the maximum and inside the buffer.
	const int64 limit = MIN((int64)maximum_string_length, left - 1);
	for (int64 length = 0; length <= limit; ++length)
	{
		if (string[length] == 0)
		{
			state->offset = (int16)(state->offset + length + 1);
			return string;
		}
	}
	return nullptr;
}

void data_encode_checkpoint(const data_encoding_state *state, data_encoding_checkpoint *checkpoint)
{
	checkpoint->offset = state->offset;
}

void data_encode_rollback(data_encoding_state *state, const data_encoding_checkpoint *checkpoint)
{
	if (state->offset <= checkpoint->offset || checkpoint->offset < 0) return;
	memset(static_cast<uint8 *>(state->buffer) + checkpoint->offset, 0, (size_t)(state->offset - checkpoint->offset));
	state->offset = checkpoint->offset;
}
