#include "inifile.h"

#include <cstdlib>

#include "CoreLibrary/iniparser3.0b/src/iniparser.h"
#include "error_manager.h"
#include "memory.h"
#include "x_files.h"

dictionary *ini_dict = nullptr;

static boolean inifile_free_registered = FALSE;

void inifile_load(void)
{
	char result[64];

	if (!inifile_free_registered)
	{
		atexit(inifile_free);
		inifile_free_registered = TRUE;
	}

	file_reference reference;
	file_reference_create(&reference, _file_location_working_directory);
	if (!file_reference_add_directory(&reference, folder_names[_folder_preferences]) ||
		!file_reference_set_name(&reference, INIFILE_NAME) || !file_exists(&reference))
	{
		snprintf(result, sizeof(result), "not found.");
	}
	else
	{
		int32 length = 0;
		char *text = static_cast<char *>(file_read_into_memory(&reference, &length));
		if (!text)
		{
			snprintf(result, sizeof(result), "error!");
		}
		else
		{
			// The block has room behind the file's bytes: end the last line there.
			text[length] = '\n';
			inifile_free();
			int32 bad_lines = 0;
			ini_dict = iniparser_load_buffer(INIFILE_NAME, text, length + 1, &bad_lines);
			dispose_pointer(text);
			if (!ini_dict) snprintf(result, sizeof(result), "error!");
			else if (bad_lines == 0) snprintf(result, sizeof(result), "OK.");
			else snprintf(result, sizeof(result), "OK (#%d bad lines skipped).", bad_lines);
		}
	}
	log_message(nullptr, 0, "Loading %s... %s", INIFILE_NAME, result);
}

void inifile_free(void)
{
	if (ini_dict)
	{
		iniparser_freedict(ini_dict);
		ini_dict = nullptr;
	}
}

// Fields are copied bytewise: a table's offsets are not trusted to be aligned.
template <typename value_type, typename read_proc>
static void read_field(uint8 *field, const uint8 *default_field, read_proc read)
{
	value_type value;
	memcpy(&value, default_field, sizeof(value));
	value = read(value);
	memcpy(field, &value, sizeof(value));
}

// Readers of a list take every entry for a text.
static void drop_missing_strings(ini_string_list *list)
{
	int32 kept = 0;
	for (int32 i = 0; list->strings && i < list->count; ++i)
	{
		if (list->strings[i]) list->strings[kept++] = list->strings[i];
	}
	list->count = kept;
	if (kept == 0)
	{
		free(list->strings);
		list->strings = nullptr;
	}
}

void inifile_readsec(ini_section *section)
{
	if (!section || !section->definition || !section->current_value || !section->default_value) return;
	if (section->default_proc) section->default_proc(section->default_value);

	uint8 *current = static_cast<uint8 *>(section->current_value);
	const uint8 *defaults = static_cast<const uint8 *>(section->default_value);
	char key[1024];

	for (const ini_entry *entry = section->definition; entry->key; ++entry)
	{
		snprintf(key, sizeof(key), "%s:%s", section->secname, entry->key);
		uint8 *field = current + entry->offset;
		const uint8 *default_field = defaults + entry->offset;

		switch (entry->type)
		{
			case ini_bool:
				read_field<boolean>(field, default_field,
					[&](boolean value) { return iniparser_getboolean(ini_dict, key, value); });
				break;
			case ini_int:
				read_field<int32>(field, default_field,
					[&](int32 value) { return iniparser_getint(ini_dict, key, value); });
				break;
			case ini_float:
				read_field<float>(field, default_field, [&](float value)
					{ return static_cast<float>(iniparser_getdouble(ini_dict, key, static_cast<double>(value))); });
				break;
			case ini_double:
				read_field<double>(field, default_field,
					[&](double value) { return iniparser_getdouble(ini_dict, key, value); });
				break;
			case ini_string:
				read_field<const char *>(field, default_field,
					[&](const char *value)
					{
						// A section line of that name stores no value: the default stays.
						const char *found = iniparser_getstring(ini_dict, key, value);
						return found ? found : value;
					});
				break;
			case ini_list_of_strings:
			{
				ini_string_list *list = static_cast<ini_string_list *>(new_pointer_z(sizeof(ini_string_list)));
				if (list)
				{
					iniparser_getstringlist(ini_dict, key, &list->strings, &list->count);
					drop_missing_strings(list);
				}
				memcpy(field, &list, sizeof(list));
				break;
			}
		}
	}

	if (section->verify_proc) section->verify_proc(section->current_value);
}

void inifile_freesec(ini_section *section)
{
	if (!section || !section->definition || !section->current_value) return;
	uint8 *current = static_cast<uint8 *>(section->current_value);
	for (const ini_entry *entry = section->definition; entry->key; ++entry)
	{
		if (entry->type != ini_list_of_strings) continue;
		ini_string_list *list;
		memcpy(&list, current + entry->offset, sizeof(list));
		if (list)
		{
			free(list->strings);
			dispose_pointer(list);
			list = nullptr;
			memcpy(current + entry->offset, &list, sizeof(list));
		}
	}
}

void inifile_save(void)
{
}

void inifile_writesec(ini_section *)
{
}
