#include "detail_content.h"

#include <cmath>
#include <cstdio>

#include "memory.h"
#include "mesh_content.h"
#include "tag_files/tag_files.h"
#include "tessik1/tessik1.h"

namespace {

uint32 hash3(int32 x, int32 y, uint32 seed)
{
	uint32 h = static_cast<uint32>(x) * 0x8DA6B343u ^ static_cast<uint32>(y) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
	h ^= h >> 13;
	h *= 0x5BD1E995u;
	h ^= h >> 15;
	return h;
}

// Bilinear value noise on a grid of `cell` pixels, 0..255.
int32 value_noise(int32 x, int32 y, int32 cell, uint32 seed)
{
	int32 gx = x / cell, gy = y / cell, fx = x % cell, fy = y % cell;
	int32 v00 = hash3(gx, gy, seed) & 255, v10 = hash3(gx + 1, gy, seed) & 255;
	int32 v01 = hash3(gx, gy + 1, seed) & 255, v11 = hash3(gx + 1, gy + 1, seed) & 255;
	int32 top = v00 * (cell - fx) + v10 * fx, bottom = v01 * (cell - fx) + v11 * fx;
	return (top * (cell - fy) + bottom * fy) / (cell * cell);
}

uint8 clamp_byte(int32 v)
{
	return static_cast<uint8>(v < 0 ? 0 : v > 255 ? 255 : v);
}

void put_rle(std::vector<uint8> *out, const std::vector<uint8> &values)
{
	size_t i = 0;
	while (i < values.size())
	{
		size_t run = 1;
		while (i + run < values.size() && run < 256 && values[i + run] == values[i]) run += 1;
		out->push_back(values[i]);
		out->push_back(static_cast<uint8>(run - 1));
		i += run;
	}
}

void put_be32(std::vector<uint8> *out, size_t offset, uint32 value)
{
	(*out)[offset] = static_cast<uint8>(value >> 24);
	(*out)[offset + 1] = static_cast<uint8>(value >> 16);
	(*out)[offset + 2] = static_cast<uint8>(value >> 8);
	(*out)[offset + 3] = static_cast<uint8>(value);
}

} // namespace

const default_detail_texture default_detail_textures[6] = {
	{TAG("grs0"), "grass", 128, 128},
	{TAG("grs1"), "dry grass", 128, 128},
	{TAG("rck0"), "rock", 128, 128},
	{TAG("pbl0"), "pebbles", 128, 128},
	{TAG("mud0"), "mud", 64, 64},
	{TAG("snd0"), "sand", 100, 100},
};

detail_map_entry detail_entry(file_tag dtex_id, uint8 pixels_per_cell, const char *name)
{
	detail_map_entry entry = {};
	entry.dtex_id = dtex_id;
	entry.pixels_per_cell = pixels_per_cell;
	snprintf(entry.name, sizeof(entry.name), "%s", name ? name : "");
	return entry;
}

detail_map_description empty_detail_map(uint32 width, uint32 height)
{
	detail_map_description d;
	d.width = width;
	d.height = height;
	for (detail_map_entry &entry : d.entries) entry = detail_entry(static_cast<file_tag>(NONE), 0, "");
	d.vertex_indexes.assign(static_cast<size_t>(width) * height, 0);
	d.triangle_indexes.assign(static_cast<size_t>(width) * height * 2, 0);
	return d;
}

std::vector<uint8> detail_map_tag_data(const detail_map_description &description)
{
	const size_t entries_offset = sizeof(detail_map_definition);
	std::vector<uint8> out(entries_offset + sizeof(detail_map_entry) * NUMBER_OF_DETAIL_MAP_ENTRIES, 0);
	for (int32 i = 0; i < NUMBER_OF_DETAIL_MAP_ENTRIES; ++i)
	{
		detail_map_entry entry = description.entries[i];
		uint8 *bytes = out.data() + entries_offset + i * sizeof(detail_map_entry);
		memcpy(bytes, &entry, sizeof(entry));
		put_be32(&out, entries_offset + i * sizeof(detail_map_entry), entry.dtex_id);
	}
	const size_t v_offset = out.size();
	put_rle(&out, description.vertex_indexes);
	const size_t t_offset = out.size();
	put_rle(&out, description.triangle_indexes);

	put_be32(&out, 0, description.width);
	put_be32(&out, 4, description.height);
	put_be32(&out, 8, static_cast<uint32>(v_offset));
	put_be32(&out, 16, static_cast<uint32>(t_offset));
	put_be32(&out, 24, static_cast<uint32>(entries_offset));
	return out;
}

std::vector<uint8> detail_texture_tag_data(const uint8 *pixels24, int32 width, int32 height)
{
	uint8 *stream;
	int32 length = tessik1_encode(pixels24, width, height, &stream);
	if (length <= 0) return {};
	std::vector<uint8> out(DETAIL_TEXTURE_STREAM_OFFSET + static_cast<size_t>(length), 0);
	put_be32(&out, 0, static_cast<uint32>(width));
	put_be32(&out, 4, static_cast<uint32>(height));
	for (int32 i = 0; i < 4; ++i) out[DETAIL_TEXTURE_STREAM_LENGTH_OFFSET + i] = static_cast<uint8>(length >> (8 * i));
	memcpy(out.data() + DETAIL_TEXTURE_STREAM_OFFSET, stream, static_cast<size_t>(length));
	dispose_pointer(stream);
	return out;
}

std::vector<uint8> default_detail_texture_pixels(int32 index)
{
	const default_detail_texture &texture = default_detail_textures[index];
	std::vector<uint8> pixels(static_cast<size_t>(texture.width) * texture.height * 3);
	const uint32 seed = static_cast<uint32>(index) + 17;
	for (int32 y = 0; y < texture.height; ++y)
	{
		for (int32 x = 0; x < texture.width; ++x)
		{
			int32 fine = static_cast<int32>(hash3(x, y, seed) & 31) - 16;
			int32 r, g, b;
			switch (index)
			{
			case 0: case 1:
			{
				// Blades: streaks three pixels tall.
				int32 blade = static_cast<int32>(hash3(x, y / 3, seed + 5) & 31) - 16;
				int32 patch = value_noise(x, y, 16, seed) / 8 - 16;
				if (index == 0) { r = 72; g = 112; b = 52; }
				else { r = 140; g = 128; b = 80; }
				r += blade / 2 + patch / 2; g += blade + patch; b += blade / 3;
				break;
			}
			case 2:
			{
				int32 v = (value_noise(x, y, 16, seed) + value_noise(x, y, 4, seed + 1)) / 8 - 32;
				r = 118 + v + fine / 4; g = 114 + v + fine / 4; b = 108 + v + fine / 4;
				break;
			}
			case 3:
			{
				uint32 pebble = hash3(x / 5, y / 5, seed);
				int32 tint = static_cast<int32>(pebble & 31) - 16;
				bool edge = x % 5 == 0 || y % 5 == 0;
				r = 128 + tint - (edge ? 18 : 0); g = 120 + tint - (edge ? 18 : 0); b = 104 + tint / 2 - (edge ? 14 : 0);
				r += fine / 4; g += fine / 4;
				break;
			}
			case 4:
			{
				int32 v = value_noise(x, y, 8, seed) / 8 - 16;
				r = 92 + v + fine / 4; g = 72 + v; b = 52 + v / 2;
				break;
			}
			default:
			{
				int32 ripple = value_noise(x, y * 3, 12, seed) / 16 - 8;
				r = 190 + fine / 2 + ripple; g = 176 + fine / 2 + ripple; b = 132 + fine / 3;
				break;
			}
			}
			uint8 *p = &pixels[(static_cast<size_t>(y) * texture.width + x) * 3];
			p[0] = clamp_byte(r);
			p[1] = clamp_byte(g);
			p[2] = clamp_byte(b);
		}
	}
	return pixels;
}

detail_map_description demo_detail_map(void)
{
	detail_map_description d = empty_detail_map(64, 96);
	d.entries[1] = detail_entry(TAG("grs0"), 7, "grass");
	d.entries[2] = detail_entry(TAG("rck0"), 15, "rock");
	d.entries[3] = detail_entry(TAG("snd0"), 7, "sand");
	d.entries[4] = detail_entry(TAG("grs0"), 7, "grass again");
	d.entries[5] = detail_entry(TAG("grs1"), 7, "dry grass");
	d.entries[6] = detail_entry(TAG("pbl0"), 7, "pebbles");
	d.entries[7] = detail_entry(TAG("mud0"), 7, "mud");

	for (int32 y = 0; y < 96; ++y)
	{
		for (int32 x = 0; x < 64; ++x)
		{
			const int32 dx = x - 20, dy = y - 60, d2 = dx * dx + dy * dy;
			uint8 index;
			if (y > 80) index = 2;
			else if (d2 <= 6 * 6) index = 7;
			else if (d2 <= 9 * 9) index = 3;
			else
			{
				const int32 patch = value_noise(x, y, 8, 91);
				index = patch < 70 ? 5 : patch > 200 ? 4 : 1;
				if ((hash3(x, y, 92) & 63) == 0) index = 0;
			}
			d.vertex_indexes[static_cast<size_t>(y) * 64 + x] = index;
		}
	}
	// A rock path across the meadow.
	for (int32 x = 0; x < 64; ++x)
	{
		const int32 y = 30 + x / 4;
		for (int32 half = 0; half < 2; ++half) d.triangle_indexes[(static_cast<size_t>(y) * 64 + x) * 2 + half] = 2;
	}
	return d;
}

detail_map_description benchmark_detail_map(void)
{
	static const file_tag textures[8] = {TAG("mud0"), TAG("snd0"), TAG("grs0"), TAG("grs1"), TAG("pbl0"), TAG("grs0"),
		TAG("rck0"), TAG("rck0")};
	static const uint8 pixels_per_cell[8] = {7, 7, 7, 7, 7, 15, 7, 15};
	detail_map_description d = empty_detail_map(256, 256);
	for (int32 i = 0; i < 8; ++i) d.entries[i + 1] = detail_entry(textures[i], pixels_per_cell[i], "band");
	for (int32 y = 0; y < 256; ++y)
	{
		for (int32 x = 0; x < 256; ++x)
		{
			// Eight bands of a smooth height-like field.
			const int32 field = value_noise(x, y, 32, 7) + value_noise(x, y, 8, 8) / 4;
			d.vertex_indexes[static_cast<size_t>(y) * 256 + x] = static_cast<uint8>(1 + field * 8 / 320);
		}
	}
	return d;
}

bool make_default_detail_tags(std::vector<int32> *handles)
{
	for (int32 i = 0; i < 6; ++i)
	{
		const default_detail_texture &texture = default_detail_textures[i];
		std::vector<uint8> pixels = default_detail_texture_pixels(i);
		std::vector<uint8> bytes = detail_texture_tag_data(pixels.data(), texture.width, texture.height);
		if (bytes.empty()) return false;

		// The decode-back check: the stored stream gives the drawn pixels.
		uint8 *decoded;
		int32 width, height;
		if (!tessik1_decode(&decoded, &width, &height, bytes.data() + DETAIL_TEXTURE_STREAM_OFFSET,
				static_cast<int32>(bytes.size()) - DETAIL_TEXTURE_STREAM_OFFSET))
		{
			return false;
		}
		bool same = width == texture.width && height == texture.height && memcmp(decoded, pixels.data(), pixels.size()) == 0;
		dispose_pointer(decoded);
		if (!same)
		{
			fprintf(stderr, "detail texture '%s' does not decode to its pixels\n", texture.name);
			return false;
		}
		int32 handle = tag_file_new_with_subgroup_tag(DETAIL_TEXTURE_DEFINITION_GROUP_TAG, texture.name, texture.tag,
			DETAIL_TEXTURE_DEFINITION_VERSION_NUMBER, bytes.data(), static_cast<int32>(bytes.size()));
		if (handle == NONE) return false;
		handles->push_back(handle);
	}

	const struct
	{
		file_tag tag;
		const char *name;
		detail_map_description description;
	} maps[] = {
		{DEMO_LANDSCAPE_COLLECTION_TAG, "demo valley details", demo_detail_map()},
		{BENCHMARK_LANDSCAPE_COLLECTION_TAG, "benchmark details", benchmark_detail_map()},
	};
	for (const auto &map : maps)
	{
		std::vector<uint8> bytes = detail_map_tag_data(map.description);
		int32 handle = tag_file_new_with_subgroup_tag(DETAIL_MAP_DEFINITION_GROUP_TAG, map.name, map.tag,
			DETAIL_MAP_DEFINITION_VERSION_NUMBER, bytes.data(), static_cast<int32>(bytes.size()));
		if (handle == NONE) return false;
		handles->push_back(handle);
	}
	return true;
}
