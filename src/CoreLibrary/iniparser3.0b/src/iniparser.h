// Reads ini text into a dictionary. Each key is stored as "section:key" in
// lower case; keys before the first section have an empty section name.
#ifndef INIPARSER_H
#define INIPARSER_H

#include <cstdio>

#include "cseries.h"
#include "dictionary.h"

// A line, its line end included, holds at most this many bytes.
#define INIPARSER_MAXIMUM_LINE_LENGTH 1023
// Lower-cased keys are cut to this many bytes.
#define INIPARSER_MAXIMUM_KEY_LENGTH 1024

// Parses buffer (a NUL-terminated text) when it is not NULL, else the file
// ininame. Malformed and over-long lines are reported on standard error and
// skipped; NULL only when the file can't be opened or memory runs out.
dictionary *iniparser_load(const char *ininame, const char *buffer);
// The same over length bytes of buffer (which may hold NUL bytes: such a line
// is malformed); ininame names the text in messages. *bad_line_count, when
// given, gets the number of skipped lines.
dictionary *iniparser_load_buffer(const char *ininame, const char *buffer, int32 length, int32 *bad_line_count);
void iniparser_freedict(dictionary *d);
// Where the parser's diagnostics go (printf-style); NULL restores standard
// error. A caller whose stderr belongs to someone else takes them here.
void iniparser_set_error_callback(int (*callback)(const char *format, ...));

// Lookups lower-case the key first, so they ignore case.
const char *iniparser_getstring(const dictionary *d, const char *key, const char *def);
// Automatic base (decimal, 0x hexadecimal, leading-0 octal), clamped to 32 bits.
int32 iniparser_getint(const dictionary *d, const char *key, int32 notfound);
double iniparser_getdouble(const dictionary *d, const char *key, double notfound);
// By the first character: 1 T t Y y give TRUE, 0 F f N n give FALSE, others notfound.
int32 iniparser_getboolean(const dictionary *d, const char *key, int32 notfound);
// *list_size = the number of values of key; *list = a new array (freed with
// free by the caller, not the strings) holding them oldest first, or NULL when
// there are none.
void iniparser_getstringlist(const dictionary *d, const char *key, char ***list, int32 *list_size);
boolean iniparser_find_entry(const dictionary *ini, const char *entry);
int32 iniparser_setstring(dictionary *ini, const char *entry, const char *val);
void iniparser_unset(dictionary *ini, const char *entry);

// The number of sections (keys without a colon); -1 for NULL.
int32 iniparser_getnsec(const dictionary *d);
// The n-th section (from 0, in slot order); NULL when out of range.
const char *iniparser_getsecname(const dictionary *d, int32 n);

void iniparser_dump(const dictionary *d, FILE *f);
void iniparser_dump_ini(const dictionary *d, FILE *f);

#endif
