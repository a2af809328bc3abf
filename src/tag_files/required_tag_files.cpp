#include "tag_files/required_tag_files.h"

#include "tag_files/tag_files.h"

#define PATCH(n, checksum) { "Patch " #n, _tag_file_type_patch, n, checksum, "" }
#define INTERFACE_PATCH { BASE_INTERFACE_PATCH_NAME, _tag_file_type_patch, 5, 0x7A7600F5, "" }
#define FIRST_QEL_PLUGIN \
	{ "Compatibility Rules", _tag_file_type_plugin, _plugin_load_order_reversed_flag, 0x7A76C001, QEL_PLUGIN_URL }
#define SECOND_QEL_PLUGIN \
	{ "Compatibility Rules 2", _tag_file_type_plugin, _plugin_load_order_reversed_flag, 0x7A76C002, QEL_PLUGIN_URL }

const known_tag_file required_tag_files[NUMBER_OF_REQUIRED_TAG_FILES] =
{
	PATCH(2, 0x7A760002),
	PATCH(3, 0x7A760003),
	PATCH(4, 0x7A760004),
	PATCH(5, 0x7A760005),
	INTERFACE_PATCH,
	SECOND_QEL_PLUGIN
};

const known_tag_file qel_plugins[NUMBER_OF_QEL_PLUGINS] =
{
	FIRST_QEL_PLUGIN,
	SECOND_QEL_PLUGIN
};

const char *const tagsets_last_map_plugin_names[NUMBER_OF_TAGSETS_LAST_MAP_PLUGINS] =
{
	"Tagsets Last Map 1",
	"Tagsets Last Map 2",
	"Tagsets Last Map 3",
	"Tagsets Last Map 4"
};

const known_tag_file default_plugin_files[NUMBER_OF_DEFAULT_PLUGIN_FILES] =
{
	PATCH(2, 0x7A760002),
	PATCH(3, 0x7A760003),
	PATCH(4, 0x7A760004),
	PATCH(5, 0x7A760005),
	INTERFACE_PATCH,
	FIRST_QEL_PLUGIN,
	SECOND_QEL_PLUGIN
};
