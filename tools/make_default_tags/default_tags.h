// The default tag set generator: the project's own content, written through
// the engine's tag writer. One module per kind of content; tests link the
// library to build small tag files.
#ifndef DEFAULT_TAGS_H
#define DEFAULT_TAGS_H

#include <cstdio>
#include <string>
#include <vector>

#include "cseries.h"
#include "tag_files/required_tag_files.h"

struct file_reference;

/* ---------- string lists (string_lists.cpp) */

struct default_string_list
{
	file_tag subgroup_tag;
	const char *name;
	const char *const *strings;
	int32 string_count;
};

extern const default_string_list default_string_lists[];
extern const int32 number_of_default_string_lists;

// The stored text of a list: the strings separated by CR.
std::string string_list_text(const char *const *strings, int32 string_count);
// A local 'stli' tag holding the strings; its handle, or NONE.
int32 make_string_list_tag(file_tag subgroup_tag, const char *name, const char *const *strings, int32 string_count);
// Every default string list as a local tag; appends the handles.
bool make_default_string_list_tags(std::vector<int32> *handles);

/* ---------- plugin files (plugin_files.cpp) */

// The four bytes that take a running tag CRC from crc to target.
void force_tag_crc(uint32 crc, uint32 target, uint8 bytes[4]);
// A local 'text' tag holding text plus four bytes chosen so that the running
// CRC from crc over its data ends at target; its handle, or NONE.
int32 make_checksum_text_tag(const char *name, const char *text, uint32 crc, uint32 target);
// Builds one known plugin or patch file in folder: its tags (none yet
// besides the checksum tag) and a data CRC equal to the table's checksum.
bool make_known_plugin_file(const known_tag_file *known, const file_reference *folder);

/* ---------- formations (formations_content.cpp) */

// The stored (big-endian) bytes of the default formation definition.
std::vector<uint8> default_formation_definition_bytes(void);
// The 'form' 'info' tag as a local tag; appends the handle.
bool make_default_formation_tags(std::vector<int32> *handles);

/* ---------- the whole set (default_tags.cpp) */

// A reference to name in directory (an absolute or working-directory path).
bool default_tags_file_reference(const char *directory, const char *folder, const char *name, file_reference *file);
// Builds a monolithic file of handles at file and re-reads it: FALSE on any
// difference from what was asked.
bool make_monolithic_file(const file_reference *file, int16 type, int16 version, const std::vector<int32> &handles,
	const char *url, const uint32 *expected_checksum);
// Writes tags/ and plugins/ into output_directory, working in a scratch
// folder beside them; errors go to error.
bool make_default_tag_set(const char *output_directory, std::string *error);
// Prints every file of the set in directory and the required-file count;
// FALSE when a file is missing or invalid.
bool list_default_tag_set(const char *directory, FILE *out);

#endif
