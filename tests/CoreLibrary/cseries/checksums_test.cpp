#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "crc.h"
#include "md5.h"

TEST(Checksums, Crc32IsTheStandardOne)
{
	EXPECT_EQ(calculate_data_crc("123456789", 9), 0xCBF43926u);
	EXPECT_EQ(calculate_data_crc("The quick brown fox jumps over the lazy dog", 43), 0x414FA339u);
	EXPECT_EQ(calculate_data_crc("", 0), 0u);
	EXPECT_EQ(calculate_data_crc("abc", -1), 0u);
	const uint8 zeros[4] = {0, 0, 0, 0};
	EXPECT_EQ(calculate_data_crc(zeros, 4), 0x2144DF1Cu);
}

TEST(Checksums, SharedTableAndRunningUpdate)
{
	const uint32 *table = get_crc32_table();
	ASSERT_NE(table, nullptr);
	EXPECT_EQ(table[0], 0u);
	EXPECT_EQ(table[1], 0x77073096u);
	EXPECT_EQ(table[128], 0xEDB88320u);
	EXPECT_EQ(table[255], 0x2D02EF8Du);

	// Running the update in pieces gives the whole buffer's result.
	const char *text = "123456789";
	uint32 crc = crc32_update(0xFFFFFFFFu, text, 4);
	crc = crc32_update(crc, text + 4, 5);
	EXPECT_EQ(~crc, 0xCBF43926u);
	EXPECT_EQ(crc32_update(0x12345678u, text, 0), 0x12345678u);
}

TEST(Checksums, Md5DigestTextMatchesRfc1321)
{
	const struct
	{
		const char *input;
		const char *digest;
	} cases[] = {
		{"", "d41d8cd98f00b204e9800998ecf8427e"},
		{"a", "0cc175b9c0f1b6a831c399e269772661"},
		{"abc", "900150983cd24fb0d6963f7d28e17f72"},
		{"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
		{"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
		{"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
		{"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
			"57edf4a22be3c955ac49da2e2107b67a"},
	};
	for (const auto &c : cases)
	{
		char output[MD5_TEXT_SIZE + 1];
		std::memset(output, '#', sizeof(output));
		MD5Digest(c.input, static_cast<uint32>(std::strlen(c.input)), output);
		EXPECT_STREQ(output, c.digest) << "\"" << c.input << "\"";
		EXPECT_EQ(output[MD5_TEXT_SIZE], '#') << "33 bytes written, no more";
	}

	// Lengths around the padding boundaries (56 and 64 bytes).
	const struct
	{
		size_t length;
		const char *digest;
	} boundaries[] = {
		{55, "c932e1b1a97de537d13e0dddd96da42b"},
		{56, "266ea7b18061f04ebe140d63ce648567"},
		{63, "7b7cb022759a9f373ef24bf92c05204f"},
		{64, "40bfc24c764552cb38083a62855664aa"},
		{65, "4f8d62f3cf50e436dfe277c67b321fbc"},
	};
	char output[MD5_TEXT_SIZE];
	for (const auto &b : boundaries)
	{
		const std::string input(b.length, 'q');
		MD5Digest(input.data(), static_cast<uint32>(b.length), output);
		EXPECT_STREQ(output, b.digest) << b.length << " bytes";
	}

	const uint8 digest[MD5_DIGEST_SIZE] = {0x00, 0x01, 0x0a, 0xff, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80,
		0x90, 0xa0, 0xb0, 0xc0};
	MD5Print(digest, output);
	EXPECT_STREQ(output, "00010aff102030405060708090a0b0c0");
}
