// The lossless 24-bit image codec of detail textures: Rice-coded residuals of
// a prediction from decoded neighbours, one Rice parameter per channel and
// 8 x 8 block, two channels predicted through their difference to a base.
#ifndef TESSIK1_H
#define TESSIK1_H

#include "cseries.h"

struct file_reference;

#define TESSIK1_MAXIMUM_SIDE 4095
#define TESSIK1_BLOCK_SIZE 8
#define TESSIK1_HEADER_BITS 26
#define TESSIK1_NUMBER_OF_MODES 3

// Decodes at most compressed_len bytes into a new block of width x height x 3
// bytes (free it with dispose_pointer). False, with NULL and 0 x 0, when the
// stream is bad, short or memory runs out.
boolean tessik1_decode(uint8 **pixels24, int32 *width, int32 *height, const void *compressed_data,
	int32 compressed_len);
// A 4-byte little-endian length and that many bytes from an open file; the
// bytes consumed (length + 4), or 0 when a read or the decode fails.
int32 tessik1_decode_stream_to_buffer(uint8 **pixels24, int32 *width, int32 *height, file_reference *stream);

// Encodes into a new zero-filled block (free it with dispose_pointer); its
// length, or 0 (and NULL) on failure.
int32 tessik1_encode(const uint8 *pixels24, int32 width, int32 height, uint8 **output);
// The length as 4 little-endian bytes, then the stream; the bytes written or 0.
int32 tessik1_encode_buffer_to_stream(const uint8 *pixels24, int32 width, int32 height, file_reference *output);

// The forward prediction of one mode: three residual bytes per pixel, in slot order.
void _tessik1_transform2(const uint8 *pixels24, int32 width, int32 height, int32 mode, uint8 *residuals);

// The Rice parameters of every block, chosen by bit cost.
struct k_Map
{
	int32 blocks_wide, blocks_high;
	uint8 *k; // three per block, blocks in row order
	int64 total_bits; // sum of the chosen parameters' costs

	// Chooses the three parameters of the block [x0, x1) x [y0, y1) and adds their cost.
	void calc_block_k(int32 x0, int32 y0, int32 x1, int32 y1, int32 image_width, const uint8 *residuals,
		uint8 *k0, uint8 *k1, uint8 *k2);
};

#endif
