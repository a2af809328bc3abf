#include "md5.h"

#include <cstring>

namespace
{
	struct md5_context
	{
		uint32 state[4];
		uint64 length; // bytes taken so far
		uint8 block[64];
		uint32 block_used;
	};

	constexpr uint32 md5_sines[64] = {
		0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
		0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
		0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
		0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
		0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
		0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
		0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
		0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

	constexpr uint8 md5_shifts[64] = {
		7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
		5, 9, 14, 20, 5, 9, 14, 20, 5, 9, 14, 20, 5, 9, 14, 20,
		4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
		6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

	inline uint32 rotate_left(uint32 x, uint32 n)
	{
		return (x << n) | (x >> (32 - n));
	}

	void md5_transform(uint32 state[4], const uint8 block[64])
	{
		uint32 x[16];
		// Words are little-endian by definition of the digest.
		for (int32 i = 0; i < 16; ++i)
			x[i] = static_cast<uint32>(block[4 * i]) | (static_cast<uint32>(block[4 * i + 1]) << 8) |
				(static_cast<uint32>(block[4 * i + 2]) << 16) | (static_cast<uint32>(block[4 * i + 3]) << 24);

		uint32 a = state[0], b = state[1], c = state[2], d = state[3];
		for (int32 i = 0; i < 64; ++i)
		{
			uint32 f;
			int32 g;
			if (i < 16)
			{
				f = (b & c) | (~b & d);
				g = i;
			}
			else if (i < 32)
			{
				f = (b & d) | (c & ~d);
				g = (5 * i + 1) & 15;
			}
			else if (i < 48)
			{
				f = b ^ c ^ d;
				g = (3 * i + 5) & 15;
			}
			else
			{
				f = c ^ (b | ~d);
				g = (7 * i) & 15;
			}
			const uint32 rotated = rotate_left(a + f + md5_sines[i] + x[g], md5_shifts[i]);
			a = d;
			d = c;
			c = b;
			b = b + rotated;
		}
		state[0] += a;
		state[1] += b;
		state[2] += c;
		state[3] += d;
	}

	void md5_init(md5_context *context)
	{
		context->state[0] = 0x67452301;
		context->state[1] = 0xefcdab89;
		context->state[2] = 0x98badcfe;
		context->state[3] = 0x10325476;
		context->length = 0;
		context->block_used = 0;
	}

	void md5_update(md5_context *context, const uint8 *input, size_t length)
	{
		context->length += length;
		while (length > 0)
		{
			const size_t take = MIN(length, static_cast<size_t>(64 - context->block_used));
			std::memcpy(context->block + context->block_used, input, take);
			context->block_used += static_cast<uint32>(take);
			input += take;
			length -= take;
			if (context->block_used == 64)
			{
				md5_transform(context->state, context->block);
				context->block_used = 0;
			}
		}
	}

	void md5_final(md5_context *context, uint8 digest[MD5_DIGEST_SIZE])
	{
		const uint64 bit_length = context->length * 8;
		static const uint8 padding[64] = {0x80};
		const uint32 used = context->block_used;
		md5_update(context, padding, used < 56 ? 56 - used : 120 - used);
		uint8 length_bytes[8];
		for (int32 i = 0; i < 8; ++i) length_bytes[i] = static_cast<uint8>(bit_length >> (8 * i));
		md5_update(context, length_bytes, 8);
		for (int32 i = 0; i < 4; ++i)
			for (int32 j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<uint8>(context->state[i] >> (8 * j));
	}
}

void MD5Print(const uint8 digest[MD5_DIGEST_SIZE], char *output)
{
	static const char hexadecimal[] = "0123456789abcdef";
	for (int32 i = 0; i < MD5_DIGEST_SIZE; ++i)
	{
		output[2 * i] = hexadecimal[digest[i] >> 4];
		output[2 * i + 1] = hexadecimal[digest[i] & 0x0F];
	}
	output[2 * MD5_DIGEST_SIZE] = '\0';
}

void MD5Digest(const void *input, uint32 len, char *output)
{
	md5_context context;
	uint8 digest[MD5_DIGEST_SIZE];
	md5_init(&context);
	if (input) md5_update(&context, static_cast<const uint8 *>(input), len);
	md5_final(&context, digest);
	MD5Print(digest, output);
}
