// String lists are not loaded yet: every lookup answers NONE and every text is
// empty, which readers already treat as "no such list".
#include "string_definitions.h"

void initialize_string_definitions(void) {}

void initialize_string_definitions_for_new_map(void) {}

void dispose_string_definitions_from_old_map(void) {}

int16 string_tag_to_string_index(file_tag) { return NONE; }
int16 string_list_tag_to_string_index(file_tag) { return NONE; }
int16 template_tag_to_template_index(file_tag) { return NONE; }
int16 dialog_string_list_tag_to_string_index(file_tag) { return NONE; }

const char *get_string(int16, int16 *size)
{
	if (size) *size = 0;
	return "";
}

int16 count_strings_in_list(int16) { return 0; }
const char *get_string_from_list(int16, int16) { return ""; }
