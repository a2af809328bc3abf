// The tag-set files known by name: the required patches and compatibility
// plugins with their checksums, the base interface patch, the compatibility
// host and the tagsets-last names. The engine and the default tag set
// generator share this one table.
#ifndef REQUIRED_TAG_FILES_H
#define REQUIRED_TAG_FILES_H

#include "cseries.h"

struct known_tag_file
{
	const char *name;
	int16 type;
	int16 version; // a patch's number or a plugin's flag word
	uint32 checksum;
	const char *url; // "" for none
};

#define NUMBER_OF_REQUIRED_TAG_FILES 6
// Patch 2 to 5, the interface patch, and the second compatibility plugin.
extern const known_tag_file required_tag_files[NUMBER_OF_REQUIRED_TAG_FILES];

#define BASE_INTERFACE_PATCH_NAME "Interface Patch"

#define NUMBER_OF_QEL_PLUGINS 2
// The first and the second compatibility plugin; the second becomes the qel plugin.
extern const known_tag_file qel_plugins[NUMBER_OF_QEL_PLUGINS];
#define QEL_PLUGIN_HOST_PREFIX "http://compat.zerv.invalid/"
#define QEL_PLUGIN_URL "http://compat.zerv.invalid/rules"

#define NUMBER_OF_TAGSETS_LAST_MAP_PLUGINS 4
extern const char *const tagsets_last_map_plugin_names[NUMBER_OF_TAGSETS_LAST_MAP_PLUGINS];
#define TAGSETS_LAST_TAGSET_PLUGIN_NAME "Tagsets Last Tagset"

// Every file the default tag set puts in "plugins", in the order written.
#define NUMBER_OF_DEFAULT_PLUGIN_FILES 7
extern const known_tag_file default_plugin_files[NUMBER_OF_DEFAULT_PLUGIN_FILES];

#endif
