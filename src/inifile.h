// The settings file "poweruser.txt" in "preferences": loaded once and read
// into typed settings records through tables of keys, one table per section.
// The file is optional and never written.
#ifndef INIFILE_H
#define INIFILE_H

#include "cseries.h"
#include "CoreLibrary/iniparser3.0b/src/dictionary.h"

#define INIFILE_NAME "poweruser.txt"

enum ini_type
{
	ini_bool, // 32-bit boolean
	ini_int, // signed 32-bit
	ini_float, // 32-bit float
	ini_double, // 64-bit float
	ini_string, // text pointer into the dictionary, valid until the next load
	ini_list_of_strings // ini_string_list *, allocated by the reader
};

struct ini_string_list
{
	int32 count;
	char **strings;
};

// One key of a section; a table ends with a row whose key is NULL.
struct ini_entry
{
	const char *key;
	ini_type type;
	int32 offset; // of the value within the section's records
};

typedef void (*ini_section_proc)(void *record);

struct ini_section
{
	const char *secname; // as written in the file
	ini_section_proc default_proc; // fills default_value; may be NULL
	ini_section_proc verify_proc; // checks current_value after reading; may be NULL
	const ini_entry *definition;
	void *current_value;
	void *default_value;
};

// The loaded file; NULL when none.
extern dictionary *ini_dict;

void inifile_load(void);
void inifile_free(void);
void inifile_readsec(ini_section *section);
void inifile_freesec(ini_section *section);
void inifile_save(void);
void inifile_writesec(ini_section *section);

#endif
