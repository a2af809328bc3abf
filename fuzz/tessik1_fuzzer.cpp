// Arbitrary bytes as a detail-texture image stream. Whatever decodes must
// encode and decode back to the same pixels. Headers above 256 x 256 are
// skipped to keep the rate up. Seeds are small encoded images.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "memory.h"
#include "tessik1/tessik1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size < 4 || size > 1024 * 1024) return 0;
	// Width and height are the first 24 bits of the first little-endian word.
	const uint32 word = static_cast<uint32>(data[0]) | (static_cast<uint32>(data[1]) << 8) |
		(static_cast<uint32>(data[2]) << 16) | (static_cast<uint32>(data[3]) << 24);
	if ((word >> 20) > 256 || ((word >> 8) & 0xFFF) > 256) return 0;

	uint8 *pixels;
	int32 width, height;
	if (!tessik1_decode(&pixels, &width, &height, data, static_cast<int32>(size)))
	{
		check(pixels == nullptr && width == 0 && height == 0);
		return 0;
	}
	uint8 *stream;
	const int32 length = tessik1_encode(pixels, width, height, &stream);
	check(length > 0);
	uint8 *again;
	int32 width2, height2;
	check(tessik1_decode(&again, &width2, &height2, stream, length));
	check(width2 == width && height2 == height);
	check(memcmp(again, pixels, static_cast<size_t>(width) * height * 3) == 0);
	dispose_pointer(again);
	dispose_pointer(stream);
	dispose_pointer(pixels);
	return 0;
}
