// A cursor that packs structures, counted arrays and strings into a big-endian
// byte buffer and unpacks them again in place. Every call either succeeds
// whole or writes nothing and leaves the offset where it was.
#ifndef DATA_ENCODING_H
#define DATA_ENCODING_H

#include "cseries.h"
#include "byte_swapping.h"

// Offsets are 16-bit.
#define MAXIMUM_ENCODING_BUFFER_SIZE 32767

// A descriptor with its name and the size of the structure it describes.
struct byte_swap_definition
{
	const char *name;
	int32 size;
	const byte_swap_code *codes;
	uint32 signature;
};

struct data_encoding_state
{
	void *buffer;
	int16 offset; // the next byte to write or read
	int16 buffer_size;
};

struct data_encoding_checkpoint
{
	int16 offset;
};

// The 2-byte signed count in front of a counted array.
extern const byte_swap_definition encoded_array_header;

// false (and a cursor that refuses everything) for a buffer over
// MAXIMUM_ENCODING_BUFFER_SIZE bytes or a negative size.
bool data_encode_new(data_encoding_state *state, void *buffer, int32 buffer_size);
bool data_decode_new(data_encoding_state *state, void *buffer, int32 buffer_size);

// bs_definition may be NULL for bytes that need no conversion; otherwise its
// size must equal structure_size.
bool data_encode_structures(data_encoding_state *state, const void *source_structures, int32 structure_count,
	int32 structure_size, const byte_swap_definition *bs_definition);
bool data_encode_array(data_encoding_state *state, const void *source_array, int32 element_count, int32 element_size,
	const byte_swap_definition *bs_definition);
bool data_encode_string(data_encoding_state *state, const char *source_string, int32 maximum_string_length);

// Decoded data is converted in place and has no alignment: copy it out
// (memcpy) before reading its fields.
void *data_decode_structures(data_encoding_state *state, int32 structure_count, int32 structure_size,
	const byte_swap_definition *bs_definition);
void *data_decode_array(data_encoding_state *state, int16 *element_count, int32 maximum_element_count,
	int32 element_size, const byte_swap_definition *bs_definition);
char *data_decode_string(data_encoding_state *state, int32 maximum_string_length);

void data_encode_checkpoint(const data_encoding_state *state, data_encoding_checkpoint *checkpoint);
// Clears the bytes written since the checkpoint and returns the offset to it.
void data_encode_rollback(data_encoding_state *state, const data_encoding_checkpoint *checkpoint);

#endif
