// Arbitrary bytes as a 'dmap' tag, loaded through the definitions with a fake
// back end and two small detail textures beside it; an accepted map's layer
// words may only name entries that compaction kept. Seeds are small maps.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "definitions.h"
#include "detail_maps.h"
#include "fuzz_support.h"
#include "hardware/hardware_rasterizers.h"
#include "memory.h"
#include "screen.h"
#include "tag_files/tag_files.h"
#include "tessik1/tessik1.h"

namespace {

const file_tag fuzz_tag = TAG("fuzz");
uint32 next_handle = 1;

void fake_create(detail_texture_definition *definition)
{
	check(detail_texture_pixels24(definition) != nullptr);
	definition->hardware_format = next_handle++;
}

void fake_dispose(detail_texture_definition *definition)
{
	definition->hardware_format = 0;
}

void add_texture(file_tag tag, uint8 shade)
{
	std::vector<uint8> pixels(8 * 8 * 3, shade);
	uint8 *stream;
	const int32 length = tessik1_encode(pixels.data(), 8, 8, &stream);
	check(length > 0);
	std::vector<uint8> bytes(DETAIL_TEXTURE_STREAM_OFFSET + static_cast<size_t>(length), 0);
	bytes[3] = 8;
	bytes[7] = 8;
	for (int32 i = 0; i < 4; ++i) bytes[DETAIL_TEXTURE_STREAM_LENGTH_OFFSET + i] = static_cast<uint8>(length >> (8 * i));
	memcpy(bytes.data() + DETAIL_TEXTURE_STREAM_OFFSET, stream, static_cast<size_t>(length));
	dispose_pointer(stream);
	check(tag_file_new_with_subgroup_tag(DETAIL_TEXTURE_DEFINITION_GROUP_TAG, tag == TAG("grs0") ? "grass" : "rock", tag,
		DETAIL_TEXTURE_DEFINITION_VERSION_NUMBER, bytes.data(), static_cast<int32>(bytes.size())) != NONE);
}

void set_up_fuzz_directory(void)
{
	tag_files_reset_for_tests();
	tag_files_initialize();
	preinitialize_definitions();
	initialize_detail_textures();
	initialize_detail_maps();
	static opengl_rasterizer_procedures procedures = {};
	procedures.create_detail_texture_opengl = fake_create;
	procedures.dispose_detail_texture_opengl = fake_dispose;
	install_opengl_rasterizer_procedures(&procedures);
	active_screen.rasterizer_code = _rasterizer_opengl;
	active_screen.prefs.flags |= _screen_pref_landscape_textures_flag;
	add_texture(TAG("grs0"), 90);
	add_texture(TAG("rck0"), 140);
}

// The indexes a layer word names: one for a triangle word, up to three for a blend word.
void check_word(uint32 word, int32 count)
{
	if (!(word & 0x40000000) && (word & 7) == 7)
	{
		check(static_cast<int32>((word >> 9) & 0x7F) < count);
		return;
	}
	for (int32 k = 0; k < 3; ++k) check(static_cast<int32>((word >> (9 + 7 * k)) & 0x7F) < count);
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size > 256 * 1024) return 0;
	enter_fuzz_directory("detail_maps", set_up_fuzz_directory);

	initialize_detail_textures_for_new_map();
	initialize_detail_maps_for_new_map();
	const int32 handle = tag_file_new_with_subgroup_tag(DETAIL_MAP_DEFINITION_GROUP_TAG, "fuzz", fuzz_tag,
		DETAIL_MAP_DEFINITION_VERSION_NUMBER, data, static_cast<int32>(size));
	check(handle != NONE);
	const int16 index = detail_map_definition_tag_to_index(fuzz_tag);
	if (index != NONE)
	{
		const detail_map_definition *map = get_detail_map_definition(index);
		check(map != nullptr);
		check((detail_maps_active() != FALSE) == (detail_map_layer_info != nullptr));
		if (detail_map_layer_info)
		{
			check(detail_map_layer_row_cells == static_cast<int32>(map->width));
			const int32 count = detail_map_compacted_entry_count();
			for (uint32 i = 0; i < 2 * map->width * map->height; ++i) check_word(detail_map_layer_info[i], count);
		}
	}
	dispose_detail_textures_from_old_map();
	dispose_detail_maps_from_old_map();
	check(tag_file_delete(handle));
	leave_fuzz_directory();
	return 0;
}
