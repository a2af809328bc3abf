#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "memory.h"
#include "tags_and_strings.h"

TEST(Tags, StringToTagTakesWordsIntoBytes)
{
	EXPECT_EQ(string_to_tag("hello world"), TAG("hewo"));
	EXPECT_EQ(string_to_tag("Hello"), TAG("hell"));
	EXPECT_EQ(string_to_tag("game preferences"), TAG("gapr"));
	EXPECT_EQ(string_to_tag("a"), 0x61FFFFFFu);
	EXPECT_EQ(string_to_tag("ab"), 0x6162FFFFu);
	// The third word takes byte 3; byte 1 keeps its 0xFF.
	EXPECT_EQ(string_to_tag("a b c"), 0x61FF6263u);
	// Every delimiter splits; runs of delimiters make no empty words.
	EXPECT_EQ(string_to_tag("x(y)z"), 0x78FF797Au);
	EXPECT_EQ(string_to_tag("  \t[ab]--{cd}?!:;e\nf"), TAG("abce"));
	EXPECT_EQ(string_to_tag("one two three four"), TAG("ontt"));
	EXPECT_EQ(string_to_tag(""), 0xFFFFFFFFu);
	EXPECT_EQ(string_to_tag("MiXeD"), TAG("mixe"));
}

TEST(Tags, StringToTagReadsOnlyTheFirst32Characters)
{
	// 30 letters, a blank, then "bcdefghij": only the "b" lies within 32 characters.
	const std::string name = std::string(30, 'a') + " bcdefghij";
	ASSERT_EQ(name.size(), 40u);
	EXPECT_EQ(string_to_tag(name.c_str()), TAG("aaba"));
}

TEST(Tags, TagToStringPadsAndRotates)
{
	EXPECT_STREQ(tag_to_string(static_cast<file_tag>(NONE)), "");
	EXPECT_STREQ(tag_to_string(TAG("abcd")), "abcd");
	EXPECT_STREQ(tag_to_string(TAG("l1  ")), "l1  ");
	// A zero byte ends the text early; what is left is right-aligned.
	EXPECT_STREQ(tag_to_string(0x61620000u), "  ab");
	EXPECT_STREQ(tag_to_string(0x00616263u), "    ");
	EXPECT_STREQ(tag_to_string(0x61006263u), "   a");

	const char *first = tag_to_string(TAG("one "));
	std::set<const char *> distinct = {first};
	for (int i = 0; i < 5; ++i) distinct.insert(tag_to_string(TAG("more")));
	EXPECT_EQ(distinct.size(), static_cast<size_t>(NUMBER_TAG_BUFFERS));
	EXPECT_STREQ(first, "one ") << "still valid after five more calls";
	const char *seventh = tag_to_string(TAG("7th "));
	EXPECT_EQ(seventh, first);
	EXPECT_STREQ(first, "7th ");
}

TEST(Strings, CsprintfKeeps254Characters)
{
	const std::string long_text(300, 'x');
	char *result = csprintf(temporary, "%s", long_text.c_str());
	EXPECT_EQ(result, temporary);
	EXPECT_EQ(std::strlen(temporary), 254u);

	// The destination may be an argument.
	csprintf(temporary, "%d", 12);
	csprintf(temporary, "%s-%s", temporary, temporary);
	EXPECT_STREQ(temporary, "12-12");

	// No buffer means the shared one.
	EXPECT_EQ(csprintf(NULL, "%s%d", "no buffer ", 7), temporary);
	EXPECT_STREQ(temporary, "no buffer 7");
}

TEST(Strings, PsprintfStaysInside256Bytes)
{
	// An exact heap block, so that ASan sees any byte written past it.
	char *buffer = static_cast<char *>(std::malloc(PSPRINTF_BUFFER_SIZE));
	ASSERT_NE(buffer, nullptr);
	const std::string long_text(300, 'y');
	EXPECT_EQ(psprintf(buffer, "%s", long_text.c_str()), 300);
	EXPECT_EQ(static_cast<uint8_t>(buffer[0]), 255);
	EXPECT_EQ(std::string(buffer + 1, 255), std::string(255, 'y'));

	const std::string exactly_255(255, 'z');
	EXPECT_EQ(psprintf(buffer, "%s", exactly_255.c_str()), 255);
	EXPECT_EQ(static_cast<uint8_t>(buffer[0]), 255);

	EXPECT_EQ(psprintf(buffer, "n=%d", 42), 4);
	EXPECT_EQ(buffer[0], 4);
	EXPECT_STREQ(buffer + 1, "n=42");
	std::free(buffer);
}

TEST(Strings, SprintfcatStopsAtTheBufferSize)
{
	char buffer[16] = "abc";
	EXPECT_EQ(sprintfcat(buffer, sizeof(buffer), "%d", 45), 2);
	EXPECT_STREQ(buffer, "abc45");
	EXPECT_EQ(sprintfcat(buffer, sizeof(buffer), "%s", "0123456789abcdef"), 10);
	EXPECT_STREQ(buffer, "abc450123456789");
	EXPECT_EQ(sprintfcat(buffer, sizeof(buffer), "more"), 0);
	EXPECT_EQ(std::strlen(buffer), 15u);

	// The appended text may quote the buffer itself.
	char self[32] = "ab";
	EXPECT_EQ(sprintfcat(self, sizeof(self), "[%s]", self), 4);
	EXPECT_STREQ(self, "ab[ab]");

	// No terminator within the size: no end to append at.
	char full[4] = {'w', 'x', 'y', 'z'};
	EXPECT_EQ(sprintfcat(full, sizeof(full), "!"), 0);
	EXPECT_EQ(std::memcmp(full, "wxyz", 4), 0);
}

TEST(Strings, CaseConversionCoversPositionsZeroToN)
{
	char text[] = "abcdef";
	strnupr(text, 2);
	EXPECT_STREQ(text, "ABCdef");
	strnupr(text, -1);
	EXPECT_STREQ(text, "ABCdef");
	strnupr(text, 100);
	EXPECT_STREQ(text, "ABCDEF");
	strnlwr(text, 0);
	EXPECT_STREQ(text, "aBCDEF");
	EXPECT_STREQ(strlwr(text), "abcdef");
	EXPECT_STREQ(strupr(text), "ABCDEF");
}

TEST(Strings, CaseInsensitiveComparisonFoldsAsciiOnly)
{
	EXPECT_EQ(cseries::strcasecmp("Hello", "hELLO"), 0);
	EXPECT_EQ(cseries::strcasecmp("abc", "ABD"), 'c' - 'd');
	EXPECT_EQ(cseries::strcasecmp("abc", "ab"), 'c');
	EXPECT_EQ(cseries::strcasecmp("[", "a"), '[' - 'a') << "letters compare by their lower-case form";
	EXPECT_EQ(cseries::strncasecmp("abcX", "ABCy", 3), 0);
	EXPECT_EQ(cseries::strncasecmp("a", "b", 0), 0);
	const char *same = "whatever";
	EXPECT_EQ(cseries::strcasecmp(same, same), 0);

	// Bytes from 0x80 up are never folded, whatever the locale says.
	const char *previous = std::setlocale(LC_ALL, nullptr);
	const std::string saved = previous ? previous : "C";
	for (const char *locale : {"C", "C.UTF-8", "en_US.ISO-8859-1", "de_DE.ISO-8859-1", ""})
	{
		if (!std::setlocale(LC_ALL, locale)) continue;
		EXPECT_EQ(cseries::strcasecmp("\xC4", "\xE4"), 0xC4 - 0xE4) << locale;
		EXPECT_EQ(cseries::strcasecmp("\xFF", "a"), 0xFF - 'a') << locale;
	}
	std::setlocale(LC_ALL, saved.c_str());
}

TEST(Strings, LengthLimits)
{
	EXPECT_EQ(mstrnlen("hello", 3), 3);
	EXPECT_EQ(mstrnlen("hello", 10), 5);
	EXPECT_EQ(mstrnlen("hello", 0), 0);
	EXPECT_EQ(mstrnlen("hello", -5), 0);
}
