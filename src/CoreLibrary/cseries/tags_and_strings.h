// Four-character tags, their text form, and small string routines.
#ifndef TAGS_AND_STRINGS_H
#define TAGS_AND_STRINGS_H

#include <cstdarg>

#include "cseries.h"

#define TAG_LENGTH 32
#define NUMBER_TAG_BUFFERS 6
// Bytes csprintf writes at most, terminator included.
#define CSPRINTF_BUFFER_SIZE 255
#define TEMPORARY_BUFFER_SIZE 256
// Bytes of a length-prefixed string buffer filled by psprintf.
#define PSPRINTF_BUFFER_SIZE 256

// Shared scratch buffer for csprintf and friends; main thread only.
extern char temporary[TEMPORARY_BUFFER_SIZE];

// A tag made from a name: the words of the lower-cased name fill the bytes.
file_tag string_to_tag(const char *string);
// The tag's four characters in the next of NUMBER_TAG_BUFFERS rotating
// buffers; "" for NONE. Valid until five more calls.
const char *tag_to_string(file_tag tag);

// Length of string, at most maximum_string_length; 0 when the maximum is below 1.
int32 mstrnlen(const char *string, int32 maximum_string_length);
// A new block holding a copy; NULL for NULL or when allocation fails.
char *cstrdup(const char *str);

// ASCII case conversion in place; the n forms cover positions 0 to n inclusive.
char *strupr(char *string);
char *strlwr(char *string);
char *strnupr(char *string, int32 n);
char *strnlwr(char *string, int32 n);

namespace cseries
{
	// ASCII case-insensitive comparison: the difference of the first differing
	// lower-cased characters, 0 when equal.
	int strcasecmp(const char *str1, const char *str2);
	int strncasecmp(const char *str1, const char *str2, size_t n);
}

// Formats into buffer (temporary when NULL), at most CSPRINTF_BUFFER_SIZE bytes
// with the terminator.
char *csprintf(char *buffer, const char *format, ...) ATTRIBUTE_PRINTF(2, 3);
// Formats and appends at the end of the string in buffer (buffer_size bytes in
// all); returns the characters added.
int32 sprintfcat(char *buffer, size_t buffer_size, const char *format, ...) ATTRIBUTE_PRINTF(3, 4);
// Length-prefixed string into a PSPRINTF_BUFFER_SIZE buffer: the text at
// buffer + 1 (at most 255 characters), its length in byte 0 (255 when longer).
// Returns the formatted count.
int32 psprintf(char *buffer, const char *format, ...) ATTRIBUTE_PRINTF(2, 3);
// No string resources on this platform: empties buffer and returns NULL.
char *getcstr(char *buffer, int32 resource_number, int32 string_number);
// Does nothing.
void debug_printf(const char *format, ...) ATTRIBUTE_PRINTF(1, 2);

#endif
