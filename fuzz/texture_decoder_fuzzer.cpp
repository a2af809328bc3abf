// Arbitrary bytes as one stored bitmap (sides up to 64): a header of five
// bytes chooses the size and kind, the rest is the stored pixels. Whatever
// check_stored_bitmap accepts is converted under every encoding, alpha and
// border combination, with and without an overlay colour table.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "bitmaps.h"
#include "fuzz_support.h"
#include "hardware/generic_texture_cache.h"
#include "memory.h"
#include "shading_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size < 5 || size > 64 * 1024) return 0;
	const int32 width = data[0] % 65, height = data[1] % 65;
	const uint8 kind = data[2];
	const int32 padding = data[3] & 3;
	const uint8 colour_seed = data[4];
	const uint8 *stored = data + 5;
	const int32 stored_size = static_cast<int32>(size - 5);

	const bool run_length = (kind & 16) != 0;
	const bool masked = !run_length && (kind & 2);
	const int32 bytes_per_pixel = run_length || masked ? 2 : 1;
	int32 flags = 0;
	if ((kind & 1) && !run_length) flags |= _1bit_transparency_encoded_flag;
	if (masked) flags |= _4bit_transparency_encoded_flag;
	if (kind & 4) flags |= _bitmap_is_overlay_flag;
	if (kind & 32) flags |= _power_of_two_flag;
	if (run_length) flags |= _bitmap_extended_encoding_flag;

	const size_t record = sizeof(bitmap_data) + sizeof(uint8 *) * static_cast<size_t>(height > 0 ? height : 1);
	std::vector<uint8> block(record + static_cast<size_t>(stored_size) + 8, 0);
	bitmap_data *bitmap = reinterpret_cast<bitmap_data *>(block.data());
	bitmap->width = static_cast<int16>(width);
	bitmap->height = static_cast<int16>(height);
	bitmap->bytes_per_row = static_cast<int16>(width * bytes_per_pixel + padding * bytes_per_pixel);
	bitmap->flags = static_cast<int16>(flags);
	bitmap->logical_bit_depth = static_cast<int16>(8 * bytes_per_pixel);
	bitmap->pixel_upshift = static_cast<int16>(bytes_per_pixel >> 1);
	bitmap->encoding = run_length ? 1 : bytes_per_pixel == 1 ? _8bit_encoding : _16bit_555_encoding;
	char fault[64];
	if (!check_stored_bitmap(bitmap, stored, stored_size, fault, sizeof(fault))) return 0;

	memcpy(block.data() + record, stored, static_cast<size_t>(stored_size));
	bitmap->row_addresses[0] = block.data() + record;
	byte_swap_bitmap_pixels(bitmap);
	precalculate_bitmap_row_addresses(bitmap);

	std::vector<uint32> table32(256);
	std::vector<uint16> table16(256);
	color_table *colors = static_cast<color_table *>(new_pointer_z(sizeof(color_table)));
	check(colors != nullptr);
	for (uint32 i = 0; i < 256; ++i)
	{
		const uint32 v = (i * 2654435761u) ^ colour_seed;
		table32[i] = v & 0xFFFFFF;
		table16[i] = static_cast<uint16>(v & 0x7FFF);
		colors->colors[i] = {static_cast<uint16>(v), static_cast<uint16>(v >> 7), static_cast<uint16>(v >> 13), 0};
	}

	const int32 w = width + 2, h = height + 2;
	std::vector<uint8> out(static_cast<size_t>(h) * w * 4 + 4);
	if (run_length)
	{
		shading_table_header header = {};
		header.hue_change_count = colour_seed & 7;
		for (int32 i = 0; i < MAXIMUM_SHADING_TABLE_HUE_CHANGES; ++i)
		{
			header.hue_change_data[i].replacement_color = {static_cast<uint16>(i * 9000), 0xC000, 0xE000,
				static_cast<uint16>(i & 1)};
			header.hue_change_data[i].median_hue = static_cast<uint16>(i * 5000);
		}
		decompress_run_length_pixels(bitmap, &header, out.data(), w * 4);
		decompress_run_length_pixels(bitmap, nullptr, out.data(), width * 4);
	}
	else
	{
		for (int16 encoding = _16bit_xrgb_1555_texture_encoding; encoding <= _32bit_argb_8888_texture_encoding; ++encoding)
		{
			const void *table = encoding >= _32bit_xrgb_8888_texture_encoding ? static_cast<const void *>(table32.data())
																			 : static_cast<const void *>(table16.data());
			const int32 depth = get_encoding_byte_depth(encoding);
			for (int32 variant = 0; variant < 8; ++variant)
			{
				const boolean premultiply = variant & 1, border = (variant >> 1) & 1;
				const color_table *overlay = (variant & 4) ? colors : nullptr;
				const int32 stride = (border ? w : width) * depth;
				decompress_and_copy_pixels(bitmap, overlay, out.data(), encoding, stride, table, premultiply, border);
			}
		}
	}
	dispose_pointer(colors);
	return 0;
}
