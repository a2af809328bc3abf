// The tag and string routines over arbitrary text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cseries.h"

static void check(bool condition)
{
	if (!condition) std::abort();
}

static bool is_plain_tag_character(uint8_t c)
{
	return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.';
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	// The text is the input up to its first zero byte; the rest still reaches
	// the routines that take lengths.
	std::vector<char> text(data, data + size);
	text.push_back('\0');
	const char *string = text.data();
	const size_t length = std::strlen(string);

	const file_tag tag = string_to_tag(string);
	const char *tag_text = tag_to_string(tag);
	check(tag == static_cast<file_tag>(NONE) ? tag_text[0] == '\0' : std::strlen(tag_text) == 4);

	// A tag of four plain characters survives the trip through its text.
	if (size >= 4)
	{
		const file_tag raw = (static_cast<uint32_t>(data[0]) << 24) | (static_cast<uint32_t>(data[1]) << 16) |
			(static_cast<uint32_t>(data[2]) << 8) | data[3];
		const char *raw_text = tag_to_string(raw);
		if (is_plain_tag_character(data[0]) && is_plain_tag_character(data[1]) && is_plain_tag_character(data[2]) &&
			is_plain_tag_character(data[3]))
			check(string_to_tag(raw_text) == raw);
	}

	const int32 maximum = size > 0 ? static_cast<int8_t>(data[0]) : 0;
	const int32 measured = mstrnlen(string, maximum);
	check(measured >= 0 && measured <= MAX(maximum, 0) && static_cast<size_t>(measured) <= length);

	std::vector<char> upper(text), lower(text);
	strnupr(upper.data(), maximum);
	strnlwr(lower.data(), static_cast<int32>(size));
	check(cseries::strcasecmp(upper.data(), lower.data()) == 0);
	check(cseries::strcasecmp(string, lower.data()) == 0);
	const size_t half = length / 2;
	const int order = cseries::strcasecmp(string, string + half);
	check((order == 0) == (cseries::strcasecmp(string + half, string) == 0));
	check(cseries::strncasecmp(string, string + half, 0) == 0);

	char *copy = cstrdup(string);
	check(copy && std::strcmp(copy, string) == 0);
	free_and_clear(&copy);

	csprintf(temporary, "%s", string);
	check(std::strlen(temporary) == MIN(length, static_cast<size_t>(CSPRINTF_BUFFER_SIZE - 1)));

	// Exact-size blocks, so that the sanitizer sees any write past them.
	char *pascal = static_cast<char *>(std::malloc(PSPRINTF_BUFFER_SIZE));
	check(pascal != NULL);
	const int32 formatted = psprintf(pascal, "%s", string);
	check(formatted == static_cast<int32>(length));
	check(static_cast<uint8_t>(pascal[0]) == MIN(length, static_cast<size_t>(255)));
	std::free(pascal);

	const size_t small_size = 1 + (size > 1 ? data[1] % 40 : 0);
	char *small = static_cast<char *>(std::malloc(small_size));
	check(small != NULL);
	small[0] = '\0';
	const int32 added = sprintfcat(small, small_size, "%s", string);
	const int32 added_again = sprintfcat(small, small_size, "%s|%d", string, maximum);
	check(added >= 0 && added_again >= 0 && static_cast<size_t>(added + added_again) < small_size);
	check(std::strlen(small) == static_cast<size_t>(added + added_again));
	std::free(small);
	return 0;
}
