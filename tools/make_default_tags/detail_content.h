// Detail textures ('dtex') and detail maps ('dmap') of the default set. The
// textures are drawn from integer hashes only and stored with the engine's
// own image codec, so every tree writes the same bytes.
#ifndef DETAIL_CONTENT_H
#define DETAIL_CONTENT_H

#include <vector>

#include "cseries.h"
#include "detail_maps.h"

struct detail_map_description
{
	uint32 width, height;
	detail_map_entry entries[NUMBER_OF_DETAIL_MAP_ENTRIES]; // empty ones have dtex_id NONE
	std::vector<uint8> vertex_indexes; // width x height, row by row
	std::vector<uint8> triangle_indexes; // two per cell
};

// All entries empty, every index 0.
detail_map_description empty_detail_map(uint32 width, uint32 height);
detail_map_entry detail_entry(file_tag dtex_id, uint8 pixels_per_cell, const char *name);

// The stored tag: the record, the entries at 256, then the run-length vertex and triangle indexes.
std::vector<uint8> detail_map_tag_data(const detail_map_description &description);
// The record, the little-endian stream length at 16, the stream at 20; empty when encoding fails.
std::vector<uint8> detail_texture_tag_data(const uint8 *pixels24, int32 width, int32 height);

// The default set's textures: width x height x 3 bytes.
struct default_detail_texture
{
	file_tag tag;
	const char *name;
	int32 width, height;
};
extern const default_detail_texture default_detail_textures[6];
std::vector<uint8> default_detail_texture_pixels(int32 index);
detail_map_description demo_detail_map(void);
detail_map_description benchmark_detail_map(void);

// Writes the textures (decoding each back) and both detail maps.
bool make_default_detail_tags(std::vector<int32> *handles);

#endif
