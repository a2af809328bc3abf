// The table of the tag groups that the program knows.
#ifndef TAG_GROUPS_H
#define TAG_GROUPS_H

#include "cseries.h"

enum // tag group flags
{
	_tag_group_is_game_critical_bit,
	_tag_group_is_local_bit, // local tags live in a top-level folder named after the group
	_tag_group_renames_duplicates_bit,
	NUMBER_OF_TAG_GROUP_FLAGS,

	_tag_group_is_game_critical_flag = FLAG(_tag_group_is_game_critical_bit),
	_tag_group_is_local_flag = FLAG(_tag_group_is_local_bit),
	_tag_group_renames_duplicates_flag = FLAG(_tag_group_renames_duplicates_bit)
};

enum // foundation tag files
{
	_foundation_tag_file_small,
	_foundation_tag_file_medium,
	_foundation_tag_file_large,
	_foundation_tag_file_small_interface,
	_foundation_tag_file_large_interface,
	NUMBER_OF_FOUNDATION_TAG_FILE_INDEXES
};

#define NUMBER_OF_TAG_GROUPS 40

struct tag_group
{
	const char *name; // display name, also the folder name of a local group
	uint32 flags;
	file_tag group_tag;
	int16 version;
	int16 default_foundation_tag_file_index;
};

extern const tag_group tag_groups[NUMBER_OF_TAG_GROUPS];

// Row index, -1 when unknown.
int32 tag_group_get_index(file_tag group_tag);
// NULL when unknown.
const tag_group *tag_group_get(file_tag group_tag);
// The row after group, the first for NULL, NULL after the last.
const tag_group *tag_group_get_next(const tag_group *group);
// "<invalid group>" when unknown.
const char *tag_group_get_name(file_tag group_tag);
int32 tag_group_count_headers(void);
// Copies the group tags in table order.
void tag_group_get_group_tags(file_tag *tags);
// NONE for an unknown group.
int16 tag_group_get_group_version(file_tag group_tag);

#endif
