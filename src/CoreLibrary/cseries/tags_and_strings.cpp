#include "tags_and_strings.h"

#include <cstdio>
#include <cstdlib>

#include "memory.h"

char temporary[TEMPORARY_BUFFER_SIZE];

static char tag_buffers[NUMBER_TAG_BUFFERS][5];
static int32 tag_buffer_index;

// Case folding is ASCII only, never the locale's, so every machine agrees.
static inline char ascii_lower(char c)
{
	return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

static inline char ascii_upper(char c)
{
	return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

static bool is_tag_word_delimiter(char c)
{
	return c != '\0' && std::strchr(" \t\n()[]{}?!:;-", c) != NULL;
}

file_tag string_to_tag(const char *string)
{
	char name[TAG_LENGTH + 1];
	uint8 bytes[4] = {0xFF, 0xFF, 0xFF, 0xFF};

	int32 length = 0;
	if (string)
	{
		while (length < TAG_LENGTH && string[length])
		{
			name[length] = ascii_lower(string[length]);
			length += 1;
		}
	}
	name[length] = '\0';

	// Word 1 fills bytes 0-3, word 2 bytes 2-3, word 3 byte 3.
	static const int32 first_byte[3] = {0, 2, 3};
	int32 word = 0;
	int32 i = 0;
	while (word < 3)
	{
		while (i < length && is_tag_word_delimiter(name[i])) i += 1;
		if (i >= length) break;
		int32 destination = first_byte[word];
		while (i < length && !is_tag_word_delimiter(name[i]))
		{
			if (destination < 4) bytes[destination++] = static_cast<uint8>(name[i]);
			i += 1;
		}
		word += 1;
	}

	return (static_cast<uint32>(bytes[0]) << 24) | (static_cast<uint32>(bytes[1]) << 16) |
		(static_cast<uint32>(bytes[2]) << 8) | static_cast<uint32>(bytes[3]);
}

const char *tag_to_string(file_tag tag)
{
	tag_buffer_index = (tag_buffer_index + 1) % NUMBER_TAG_BUFFERS;
	char *buffer = tag_buffers[tag_buffer_index];

	if (tag == static_cast<file_tag>(NONE))
	{
		buffer[0] = '\0';
		return buffer;
	}

	// "% 4.4s" by hand: at most four characters, ending at a zero byte,
	// right-aligned in four columns.
	const char characters[4] = {
		static_cast<char>(tag >> 24), static_cast<char>(tag >> 16), static_cast<char>(tag >> 8), static_cast<char>(tag)};
	int32 length = 0;
	while (length < 4 && characters[length]) length += 1;
	const int32 padding = 4 - length;
	std::memset(buffer, ' ', padding);
	std::memcpy(buffer + padding, characters, length);
	buffer[4] = '\0';
	return buffer;
}

int32 mstrnlen(const char *string, int32 maximum_string_length)
{
	if (!string || maximum_string_length < 1) return 0;
	return static_cast<int32>(strnlen(string, static_cast<size_t>(maximum_string_length)));
}

char *cstrdup(const char *str)
{
	if (!str) return NULL;
	const size_t size = std::strlen(str) + 1;
	char *copy = static_cast<char *>(new_pointer(size));
	if (copy) std::memcpy(copy, str, size);
	return copy;
}

char *strupr(char *string)
{
	for (char *p = string; p && *p; ++p) *p = ascii_upper(*p);
	return string;
}

char *strlwr(char *string)
{
	for (char *p = string; p && *p; ++p) *p = ascii_lower(*p);
	return string;
}

char *strnupr(char *string, int32 n)
{
	for (int32 i = 0; string && i <= n && string[i]; ++i) string[i] = ascii_upper(string[i]);
	return string;
}

char *strnlwr(char *string, int32 n)
{
	for (int32 i = 0; string && i <= n && string[i]; ++i) string[i] = ascii_lower(string[i]);
	return string;
}

namespace cseries
{
	int strcasecmp(const char *str1, const char *str2)
	{
		return strncasecmp(str1, str2, SIZE_MAX);
	}

	int strncasecmp(const char *str1, const char *str2, size_t n)
	{
		if (str1 == str2) return 0;
		for (size_t i = 0; i < n; ++i)
		{
			const int c1 = static_cast<uint8>(ascii_lower(str1[i]));
			const int c2 = static_cast<uint8>(ascii_lower(str2[i]));
			if (c1 != c2) return c1 - c2;
			if (c1 == 0) break;
		}
		return 0;
	}
}

// Formats into a scratch copy first, so that an argument may be the
// destination itself (csprintf(temporary, "%s", temporary)).
char *csprintf(char *buffer, const char *format, ...)
{
	if (!buffer) buffer = temporary;
	char scratch[CSPRINTF_BUFFER_SIZE];
	va_list arguments;
	va_start(arguments, format);
	const int result = std::vsnprintf(scratch, sizeof(scratch), format, arguments);
	va_end(arguments);
	if (result < 0) scratch[0] = '\0';
	std::memcpy(buffer, scratch, std::strlen(scratch) + 1);
	return buffer;
}

int32 sprintfcat(char *buffer, size_t buffer_size, const char *format, ...)
{
	if (!buffer || buffer_size == 0) return 0;
	const size_t used = strnlen(buffer, buffer_size);
	// An unterminated buffer has no end to append at.
	if (used >= buffer_size) return 0;
	const size_t room = buffer_size - used - 1;

	va_list arguments;
	va_start(arguments, format);
	va_list measuring;
	va_copy(measuring, arguments);
	const int length = std::vsnprintf(NULL, 0, format, measuring);
	va_end(measuring);
	if (length < 0)
	{
		va_end(arguments);
		return 0;
	}

	// Format into a separate block: the arguments may point into buffer.
	char small[512];
	char *scratch = static_cast<size_t>(length) < sizeof(small) ? small : static_cast<char *>(new_pointer(static_cast<size_t>(length) + 1));
	if (!scratch)
	{
		va_end(arguments);
		return 0;
	}
	std::vsnprintf(scratch, static_cast<size_t>(length) + 1, format, arguments);
	va_end(arguments);

	const size_t added = MIN(static_cast<size_t>(length), room);
	std::memcpy(buffer + used, scratch, added);
	buffer[used + added] = '\0';
	if (scratch != small) dispose_pointer(scratch);
	return static_cast<int32>(added);
}

int32 psprintf(char *buffer, const char *format, ...)
{
	char scratch[PSPRINTF_BUFFER_SIZE];
	va_list arguments;
	va_start(arguments, format);
	const int result = std::vsnprintf(scratch, sizeof(scratch), format, arguments);
	va_end(arguments);

	// The text never goes past the 256-byte buffer: at most 255 characters.
	const int32 length = result < 0 ? 0 : MIN(result, PSPRINTF_BUFFER_SIZE - 1);
	buffer[0] = static_cast<char>(static_cast<uint8>(length));
	std::memcpy(buffer + 1, scratch, length);
	if (length < PSPRINTF_BUFFER_SIZE - 1) buffer[1 + length] = '\0';
	return result;
}

char *getcstr(char *buffer, int32 resource_number, int32 string_number)
{
	(void)resource_number;
	(void)string_number;
	if (buffer) buffer[0] = '\0';
	return NULL;
}

void debug_printf(const char *format, ...)
{
	(void)format;
}
