// The required patches and the compatibility plugins. Their data CRCs are the
// table's checksums: the last tag of each is a 'text' tag whose final four
// bytes are chosen to reach it.
#include "default_tags.h"

#include "crc.h"
#include "crc_quib.h"
#include "tag_files/tag_files.h"
#include "x_files.h"

#define TEXT_GROUP_TAG TAG("text")
#define TEXT_VERSION 1

void force_tag_crc(uint32 crc, uint32 target, uint8 bytes[4])
{
	const uint32 *table = get_crc32_table();
	// Walk back from the target: each step's table entry is known by its top byte.
	uint32 state = target;
	for (int32 step = 0; step < 4; ++step)
	{
		uint32 index = 0;
		while (index < 256 && (table[index] >> 24) != (state >> 24)) ++index;
		state = ((state ^ table[index]) << 8) | index;
	}
	const uint32 bytes_value = state ^ crc;
	for (int32 i = 0; i < 4; ++i) bytes[i] = static_cast<uint8>(bytes_value >> (8 * i));
}

int32 make_checksum_text_tag(const char *name, const char *text, uint32 crc, uint32 target)
{
	int32 handle = tag_file_new(TEXT_GROUP_TAG, name, TEXT_VERSION);
	if (handle == NONE) return NONE;
	const int32 length = static_cast<int32>(strlen(text));
	crc_checksum_buffer(&crc, text, length);
	uint8 tail[4];
	force_tag_crc(crc, target, tail);
	if (!tag_file_write(&handle, 0, length, text) || !tag_file_write(&handle, length, 4, tail)) return NONE;
	return handle;
}

bool make_known_plugin_file(const known_tag_file *known, const file_reference *folder)
{
	char text[128];
	snprintf(text, sizeof(text), "%s of the default tag set.", known->name);
	uint32 crc;
	crc_new(&crc);
	const int32 handle = make_checksum_text_tag(known->name, text, crc, known->checksum);
	if (handle == NONE) return false;

	file_reference file;
	file_reference_copy(&file, folder);
	if (!file_reference_set_name(&file, known->name)) return false;
	const std::vector<int32> handles = { handle };
	return make_monolithic_file(&file, known->type, known->version, handles, known->url, &known->checksum);
}
