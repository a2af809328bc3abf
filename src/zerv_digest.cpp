// The state digest's byte folding (FNV-1a, 64 bits), on its own so that the
// sanitizer tree can compile it optimised: the test harness digests the
// whole state after every tick, and unoptimised this loop was most of a
// sanitizer game's time.
#include "zerv.h"

#define FNV_OFFSET_BASIS 14695981039346656037ull
#define FNV_PRIME 1099511628211ull

void zerv_digest_begin(zerv_digest *digest)
{
	digest->hash = FNV_OFFSET_BASIS;
}

void zerv_digest_bytes(zerv_digest *digest, const void *bytes, int32 count)
{
	const uint8 *p = static_cast<const uint8 *>(bytes);
	uint64 hash = digest->hash;
	for (int32 i = 0; i < count; ++i)
	{
		hash ^= p[i];
		hash *= FNV_PRIME;
	}
	digest->hash = hash;
}

static void digest_little_endian(zerv_digest *digest, uint64 value, int32 width)
{
	uint8 bytes[8];
	for (int32 i = 0; i < width; ++i) bytes[i] = static_cast<uint8>(value >> (8 * i));
	zerv_digest_bytes(digest, bytes, width);
}

void zerv_digest_int8(zerv_digest *digest, int8 value) { digest_little_endian(digest, static_cast<uint8>(value), 1); }
void zerv_digest_int16(zerv_digest *digest, int16 value) { digest_little_endian(digest, static_cast<uint16>(value), 2); }
void zerv_digest_int32(zerv_digest *digest, int32 value) { digest_little_endian(digest, static_cast<uint32>(value), 4); }
void zerv_digest_int64(zerv_digest *digest, int64 value) { digest_little_endian(digest, static_cast<uint64>(value), 8); }
void zerv_digest_uint32(zerv_digest *digest, uint32 value) { digest_little_endian(digest, value, 4); }
