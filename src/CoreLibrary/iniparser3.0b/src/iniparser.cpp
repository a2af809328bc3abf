#include "iniparser.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#define LINE_BUFFER_SIZE (INIPARSER_MAXIMUM_LINE_LENGTH + 1)
#define FILE_READ_CHUNK 65536

enum line_status
{
	_line_empty,
	_line_comment,
	_line_section,
	_line_value,
	_line_error
};

ATTRIBUTE_PRINTF(1, 2) static int default_error_callback(const char *format, ...)
{
	va_list arguments;
	va_start(arguments, format);
	const int result = vfprintf(stderr, format, arguments);
	va_end(arguments);
	return result;
}

static int (*iniparser_error_callback)(const char *, ...) = default_error_callback;

void iniparser_set_error_callback(int (*callback)(const char *format, ...))
{
	iniparser_error_callback = callback ? callback : default_error_callback;
}

// Marks an absent key; never a stored value.
static char invalid_key[] = "\n";

static bool is_blank(char c)
{
	// ASCII white space only: the result must not depend on the locale.
	return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

static char lower_case(char c)
{
	return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Lower-cased copy of s, cut to INIPARSER_MAXIMUM_KEY_LENGTH bytes, in a
// static buffer.
static const char *strlwc(const char *s)
{
	static char buffer[INIPARSER_MAXIMUM_KEY_LENGTH + 1];
	if (!s) return nullptr;
	int32 i = 0;
	for (; s[i] && i < INIPARSER_MAXIMUM_KEY_LENGTH; ++i) buffer[i] = lower_case(s[i]);
	buffer[i] = 0;
	return buffer;
}

// Strips leading and trailing white space of the length bytes at s into out
// (which holds at least length + 1 bytes).
static void strip_into(char *out, const char *s, size_t length)
{
	while (length > 0 && is_blank(*s))
	{
		++s;
		--length;
	}
	while (length > 0 && is_blank(s[length - 1])) --length;
	memcpy(out, s, length);
	out[length] = 0;
}

static void lower_case_in_place(char *s)
{
	for (; *s; ++s) *s = lower_case(*s);
}

// Classifies one line (NUL-terminated, at most INIPARSER_MAXIMUM_LINE_LENGTH
// bytes) and extracts its section, or its key and value.
static line_status parse_line(const char *input, char *section, char *key, char *value)
{
	char line[LINE_BUFFER_SIZE];
	strip_into(line, input, strlen(input));
	const size_t length = strlen(line);

	if (length == 0) return _line_empty;
	if (line[0] == '#') return _line_comment;
	if (line[0] == '[' && line[length - 1] == ']')
	{
		const char *close = strchr(line + 1, ']');
		strip_into(section, line + 1, static_cast<size_t>(close - (line + 1)));
		lower_case_in_place(section);
		return _line_section;
	}

	const char *equals = strchr(line, '=');
	if (!equals || equals == line) return _line_error;
	strip_into(key, line, static_cast<size_t>(equals - line));
	lower_case_in_place(key);

	const char *p = equals + 1;
	while (*p && is_blank(*p)) ++p;

	value[0] = 0;
	if (*p == '"' || *p == '\'')
	{
		// A quoted value ends at its closing quote; semicolons and hashes inside stay.
		const char quote = *p;
		const char *end = strchr(p + 1, quote);
		const size_t count = end ? static_cast<size_t>(end - (p + 1)) : strlen(p + 1);
		if (count > 0)
		{
			strip_into(value, p + 1, count);
			return _line_value;
		}
	}
	// Unquoted: the value ends before an in-line comment.
	const size_t count = strcspn(p, ";#");
	if (count > 0)
	{
		strip_into(value, p, count);
		if (strcmp(value, "\"\"") == 0 || strcmp(value, "''") == 0) value[0] = 0;
	}
	return _line_value;
}

// Characters of the line end starting at position (0 at the end of the text).
static int32 line_end_length(const char *buffer, int32 length, int32 position)
{
	if (position >= length) return 0;
	if (buffer[position] == '\r' && position + 1 < length && buffer[position + 1] == '\n') return 2;
	return 1;
}

static boolean store_line(dictionary *d, const char *ininame, int32 line_number, const char *line, char *section,
	int32 *bad_line_count, boolean *failed)
{
	char key[LINE_BUFFER_SIZE];
	char value[LINE_BUFFER_SIZE];
	char full_key[2 * LINE_BUFFER_SIZE + 2];

	switch (parse_line(line, section, key, value))
	{
		case _line_empty:
		case _line_comment:
			return TRUE;
		case _line_section:
			if (dictionary_set(d, section, nullptr) != 0) *failed = TRUE;
			return !*failed;
		case _line_value:
			snprintf(full_key, sizeof(full_key), "%s:%s", section, key);
			full_key[INIPARSER_MAXIMUM_KEY_LENGTH] = 0;
			if (dictionary_set(d, full_key, value) != 0) *failed = TRUE;
			return !*failed;
		case _line_error:
		default:
			iniparser_error_callback("iniparser: syntax error in %s (%d):\n", ininame, line_number);
			iniparser_error_callback("-> %s\n", line);
			*bad_line_count += 1;
			return TRUE;
	}
}

dictionary *iniparser_load_buffer(const char *ininame, const char *buffer, int32 length, int32 *bad_line_count)
{
	int32 bad_lines = 0;
	if (bad_line_count) *bad_line_count = 0;
	if (!ininame) ininame = "";
	if (!buffer || length < 0) length = 0;

	dictionary *d = dictionary_new(0);
	if (!d)
	{
		iniparser_error_callback("iniparser: memory allocation failure\n");
		return nullptr;
	}

	char line[LINE_BUFFER_SIZE];
	char section[LINE_BUFFER_SIZE] = "";
	int32 pending = 0; // bytes of a continued line waiting for its next part
	int32 line_number = 0;
	int32 position = 0;
	boolean failed = FALSE;

	while (position < length && !failed)
	{
		const int32 start = position;
		while (position < length && buffer[position] != '\n' && buffer[position] != '\r') ++position;
		const int32 content_length = position - start;
		const int32 end_length = line_end_length(buffer, length, position);
		position += end_length;
		line_number += 1;

		// A line without a line end (the end of the text) counts one byte for it.
		if (pending + content_length + (end_length ? end_length : 1) > INIPARSER_MAXIMUM_LINE_LENGTH)
		{
			iniparser_error_callback("iniparser: input line too long in %s (%d)\n", ininame, line_number);
			bad_lines += 1;
			pending = 0;
			continue;
		}
		memcpy(line + pending, buffer + start, content_length);
		int32 total = pending + content_length;
		line[total] = 0;
		pending = 0;

		if (memchr(buffer + start, 0, content_length))
		{
			iniparser_error_callback("iniparser: syntax error in %s (%d):\n", ininame, line_number);
			iniparser_error_callback("-> %s\n", line);
			bad_lines += 1;
			continue;
		}

		while (total > 0 && is_blank(line[total - 1])) line[--total] = 0;
		if (total > 0 && line[total - 1] == '\\')
		{
			// The next line takes the backslash's place.
			pending = total - 1;
			continue;
		}
		store_line(d, ininame, line_number, line, section, &bad_lines, &failed);
	}
	if (!failed && pending > 0)
	{
		// A continued last line is still read.
		line[pending] = 0;
		store_line(d, ininame, line_number, line, section, &bad_lines, &failed);
	}

	if (failed)
	{
		iniparser_error_callback("iniparser: memory allocation failure\n");
		dictionary_del(d);
		return nullptr;
	}
	if (bad_line_count) *bad_line_count = bad_lines;
	return d;
}

dictionary *iniparser_load(const char *ininame, const char *buffer)
{
	if (buffer)
	{
		const size_t length = strlen(buffer);
		if (length > INT32_MAX) return nullptr;
		return iniparser_load_buffer(ininame, buffer, static_cast<int32>(length), nullptr);
	}

	FILE *in = ininame ? fopen(ininame, "rb") : nullptr;
	if (!in)
	{
		iniparser_error_callback("iniparser: cannot open %s\n", ininame ? ininame : "(null)");
		return nullptr;
	}
	char *text = nullptr;
	size_t length = 0;
	size_t capacity = 0;
	boolean failed = FALSE;
	for (;;)
	{
		if (capacity - length < FILE_READ_CHUNK)
		{
			if (capacity > static_cast<size_t>(INT32_MAX) - FILE_READ_CHUNK)
			{
				failed = TRUE;
				break;
			}
			char *grown = static_cast<char *>(realloc(text, capacity + FILE_READ_CHUNK));
			if (!grown)
			{
				failed = TRUE;
				break;
			}
			text = grown;
			capacity += FILE_READ_CHUNK;
		}
		const size_t count = fread(text + length, 1, capacity - length, in);
		length += count;
		if (count == 0) break;
	}
	if (ferror(in)) failed = TRUE;
	fclose(in);
	if (failed)
	{
		free(text);
		iniparser_error_callback("iniparser: memory allocation failure\n");
		return nullptr;
	}
	dictionary *d = iniparser_load_buffer(ininame, text, static_cast<int32>(length), nullptr);
	free(text);
	return d;
}

void iniparser_freedict(dictionary *d)
{
	dictionary_del(d);
}

const char *iniparser_getstring(const dictionary *d, const char *key, const char *def)
{
	if (!d || !key) return def;
	char *value = dictionary_get(d, strlwc(key), invalid_key);
	return value == invalid_key ? def : value;
}

int32 iniparser_getint(const dictionary *d, const char *key, int32 notfound)
{
	const char *value = iniparser_getstring(d, key, invalid_key);
	if (value == invalid_key || !value) return notfound;
	// 64-bit parsing clamped to 32 bits gives the same answer on every build.
	const long long number = strtoll(value, nullptr, 0);
	if (number > INT32_MAX) return INT32_MAX;
	if (number < INT32_MIN) return INT32_MIN;
	return static_cast<int32>(number);
}

double iniparser_getdouble(const dictionary *d, const char *key, double notfound)
{
	const char *value = iniparser_getstring(d, key, invalid_key);
	if (value == invalid_key || !value) return notfound;
	return strtod(value, nullptr);
}

int32 iniparser_getboolean(const dictionary *d, const char *key, int32 notfound)
{
	const char *value = iniparser_getstring(d, key, invalid_key);
	if (value == invalid_key || !value) return notfound;
	switch (value[0])
	{
		case '1': case 'T': case 't': case 'Y': case 'y':
			return TRUE;
		case '0': case 'F': case 'f': case 'N': case 'n':
			return FALSE;
		default:
			return notfound;
	}
}

void iniparser_getstringlist(const dictionary *d, const char *key, char ***list, int32 *list_size)
{
	int32 count = 0;
	char **values = nullptr;
	if (d && key)
	{
		const char *lower_key = strlwc(key);
		count = dictionary_get_list_length(d, lower_key);
		if (count > 0)
		{
			values = static_cast<char **>(malloc(static_cast<size_t>(count) * sizeof(char *)));
			if (values)
			{
				dictionary_get_full_list(d, lower_key, values);
			}
			else
			{
				count = 0;
			}
		}
	}
	if (list) *list = values;
	else free(values);
	if (list_size) *list_size = count;
}

boolean iniparser_find_entry(const dictionary *ini, const char *entry)
{
	return iniparser_getstring(ini, entry, invalid_key) != invalid_key;
}

int32 iniparser_setstring(dictionary *ini, const char *entry, const char *val)
{
	if (!entry) return -1;
	return dictionary_set(ini, strlwc(entry), val);
}

void iniparser_unset(dictionary *ini, const char *entry)
{
	if (!entry) return;
	dictionary_unset(ini, strlwc(entry));
}

int32 iniparser_getnsec(const dictionary *d)
{
	if (!d) return -1;
	int32 count = 0;
	for (int32 i = 0; i < d->size; ++i)
	{
		if (d->key[i] && !strchr(d->key[i], ':')) count += 1;
	}
	return count;
}

const char *iniparser_getsecname(const dictionary *d, int32 n)
{
	if (!d || n < 0) return nullptr;
	int32 found = 0;
	for (int32 i = 0; i < d->size; ++i)
	{
		if (d->key[i] && !strchr(d->key[i], ':'))
		{
			if (found == n) return d->key[i];
			found += 1;
		}
	}
	return nullptr;
}

void iniparser_dump(const dictionary *d, FILE *f)
{
	if (!d || !f) return;
	for (int32 i = 0; i < d->size; ++i)
	{
		if (!d->key[i]) continue;
		if (d->val[i]) fprintf(f, "[%s]=[%s]\n", d->key[i], d->val[i]);
		else fprintf(f, "[%s]=UNDEF\n", d->key[i]);
	}
}

void iniparser_dump_ini(const dictionary *d, FILE *f)
{
	if (!d || !f) return;
	const int32 section_count = iniparser_getnsec(d);
	if (section_count < 1)
	{
		for (int32 i = 0; i < d->size; ++i)
		{
			if (d->key[i]) fprintf(f, "%s = %s\n", d->key[i], d->val[i] ? d->val[i] : "");
		}
	}
	else
	{
		for (int32 s = 0; s < section_count; ++s)
		{
			const char *section = iniparser_getsecname(d, s);
			const size_t section_length = strlen(section);
			fprintf(f, "\n[%s]\n", section);
			for (int32 i = 0; i < d->size; ++i)
			{
				const char *key = d->key[i];
				if (key && strncmp(key, section, section_length) == 0 && key[section_length] == ':')
				{
					fprintf(f, "%-30s = %s\n", key + section_length + 1, d->val[i] ? d->val[i] : "");
				}
			}
		}
	}
	fprintf(f, "\n");
}
