// Text shown to the player: 'text' tags, string lists ('stli', 'temp',
// 'ditl'), fetched by index for the current map.
#ifndef STRING_DEFINITIONS_H
#define STRING_DEFINITIONS_H

#include "cseries.h"

#define STRING_DEFINITION_GROUP_TAG TAG("text")
#define STRING_LIST_DEFINITION_GROUP_TAG TAG("stli")
#define TEMPLATE_DEFINITION_GROUP_TAG TAG("temp")
#define DIALOG_STRING_LIST_DEFINITION_GROUP_TAG TAG("ditl")
#define MAXIMUM_STRING_DEFINITIONS 1024
#define MAXIMUM_STRING_LIST_DEFINITIONS 1024
// Counts and lengths are 16-bit.
#define MAXIMUM_STRINGS_PER_LIST 32767
#define MAXIMUM_STRING_LENGTH 32767

// In memory only: the loader builds them from the tag's bytes.
struct string_definition
{
	int16 string_buffer_size; // the text's length
	char *string_buffer;      // terminated
};

struct string_list_definition
{
	int16 string_count;
	char *string_buffer; // the tag's data, terminated and split in place
	char **index_table;  // string_count pointers into the buffer
};

void initialize_string_definitions(void);
void initialize_string_definitions_for_new_map(void);
void dispose_string_definitions_from_old_map(void);

// Index of the list or text, NONE when it cannot be loaded.
int16 string_tag_to_string_index(file_tag subgroup_tag);
int16 string_list_tag_to_string_index(file_tag subgroup_tag);
int16 template_tag_to_template_index(file_tag subgroup_tag);
// NONE without a report when there is no such tag.
int16 dialog_string_list_tag_to_string_index(file_tag subgroup_tag);

// The text of a 'text' definition; its length into size when size is given.
const char *get_string(int16 string_index, int16 *size);
// 0 for NONE.
int16 count_strings_in_list(int16 string_list_index);
// "" for NONE in either argument or an index outside the list.
const char *get_string_from_list(int16 string_list_index, int16 string_index);

// Prints a text that came from a tag with the arguments the caller supplies.
// conversions names them in order ("%d", "%s%s"); the text may use them, or
// the first of them, in that order, with flags, width and precision, and %%
// anywhere. Any other conversion (or an empty or NULL text) prints
// built_in_text instead, so a damaged tag never reads an argument that is not
// there. buffer NULL means temporary; at most buffer_size bytes with the
// terminator, and never more than TEMPORARY_BUFFER_SIZE.
char *safe_tag_sprintf(char *buffer, int32 buffer_size, const char *conversions, const char *built_in_text,
	const char *text, ...);

// Deletes the list through the loader; frees it when it was the newest.
void delete_string_list_definition(int16 string_list_index);
// Stays readable by index, is not found by tag again.
void orphan_string_list_definition(int16 string_list_index);

// String tags carry no user data: -1.
int32 get_string_definition_tag_header_user_data(void *buffer);
int32 get_string_list_definition_tag_header_user_data(void *buffer);

#endif
