// The collection builder and the default set's collections and references.
#include "collections_content.h"

#include <algorithm>

#include "bitmap_dialogs/dialog_drawing.h"

#include "default_tags.h"
#include "objects.h"
#include "tag_files/tag_files.h"

/* ---------- the builder */

namespace
{
void append_bytes(std::string *data, const void *bytes, size_t size)
{
	data->append(static_cast<const char *>(bytes), size);
}

void pad_to_four(std::string *data)
{
	while (data->size() & 3) data->push_back('\0');
}

template <typename record_type>
std::string stored_records(const std::vector<record_type> &records, const byte_swap_code *codes)
{
	std::string data;
	for (const record_type &record : records)
	{
		record_type copy = record;
		byte_swap_data("record", &copy, sizeof(copy), 1, codes);
		append_bytes(&data, &copy, sizeof(copy));
	}
	return data;
}

void copy_name(char *destination, const std::string &name)
{
	memset(destination, 0, COLLECTION_NAME_LENGTH);
	strncpy(destination, name.c_str(), COLLECTION_NAME_LENGTH - 1);
}

// The stored form of one bitmap: record, row table space, pixels.
std::string stored_bitmap(const collection_bitmap_description &description)
{
	const int32 header_size = sizeof_stored_bitmap(description.height, description.flags);
	std::string data(static_cast<size_t>(header_size) + description.pixels.size(), '\0');

	bitmap_data record;
	memset(&record, 0, sizeof(record));
	record.width = description.width;
	record.height = description.height;
	record.bytes_per_row = description.bytes_per_row;
	record.flags = description.flags;
	record.logical_bit_depth = description.logical_bit_depth;
	record.pixel_upshift = get_pixel_upshift_for_bit_depth(description.logical_bit_depth);
	record.encoding = description.encoding;
	uint8 stored_record[STORED_BITMAP_HEADER_SIZE] = {};
	memcpy(stored_record, &record, BITMAP_HEADER_FIXED_SIZE);
	byte_swap_data("bitmap data", stored_record, STORED_BITMAP_HEADER_SIZE, 1, bitmap_data_byte_swapping_data);
	memcpy(data.data(), stored_record, sizeof(stored_record));

	if (!description.pixels.empty())
	{
		uint8 *pixels = reinterpret_cast<uint8 *>(data.data()) + header_size;
		memcpy(pixels, description.pixels.data(), description.pixels.size());
		std::vector<uint8> header_block(static_cast<size_t>(sizeof_bitmap(description.height, description.flags)));
		bitmap_data *bitmap = reinterpret_cast<bitmap_data *>(header_block.data());
		memcpy(bitmap, &record, BITMAP_HEADER_FIXED_SIZE);
		bitmap->row_addresses[0] = pixels;
		byte_swap_bitmap_pixels_out(bitmap);
	}
	return data;
}
}

collection_bitmap_description plain_collection_bitmap(const char *name, int16 width, int16 height, int16 depth)
{
	collection_bitmap_description bitmap;
	bitmap.name = name;
	bitmap.width = width;
	bitmap.height = height;
	bitmap.bytes_per_row = static_cast<int16>(width * (depth / 8));
	bitmap.flags = _bitmap_extended_encoding_flag;
	bitmap.logical_bit_depth = depth;
	bitmap.encoding = depth == _8bit ? _8bit_encoding : depth == _16bit ? _16bit_555_encoding : _32bit_encoding;
	bitmap.pixels.assign(static_cast<size_t>(bitmap.bytes_per_row) * static_cast<size_t>(MAX(height, 0)), 0);
	return bitmap;
}

void append_row_span_row(collection_bitmap_description *bitmap, const std::vector<int16> &spans,
	const std::vector<uint8> &pixels)
{
	const int16 span_count = static_cast<int16>(spans.size() / 2);
	int16 pixel_count = 0;
	for (size_t i = 0; i + 1 < spans.size(); i += 2) pixel_count = static_cast<int16>(pixel_count + spans[i + 1] - spans[i]);

	const int16 upshift = get_pixel_upshift_for_bit_depth(bitmap->logical_bit_depth);
	const int32 row_size = row_span_row_size(span_count, pixel_count, upshift, bitmap->flags);
	std::vector<uint8> row(static_cast<size_t>(row_size), 0);
	memcpy(row.data(), &span_count, 2);
	memcpy(row.data() + 2, &pixel_count, 2);
	for (size_t i = 0; i < spans.size(); ++i) memcpy(row.data() + 4 + 2 * i, &spans[i], 2);
	const size_t pixel_bytes = MIN(pixels.size(), static_cast<size_t>(pixel_count) << upshift);
	if (pixel_bytes) memcpy(row.data() + 4 + 4 * span_count, pixels.data(), pixel_bytes);
	bitmap->pixels.insert(bitmap->pixels.end(), row.begin(), row.end());
}

void add_row_span_pixel(std::vector<int16> *spans, std::vector<uint8> *pixels, int32 x, uint16 pixel)
{
	if (spans->empty() || spans->back() != x)
	{
		spans->push_back(static_cast<int16>(x));
		spans->push_back(static_cast<int16>(x + 1));
	}
	else
	{
		spans->back() = static_cast<int16>(x + 1);
	}
	pixels->insert(pixels->end(), reinterpret_cast<const uint8 *>(&pixel), reinterpret_cast<const uint8 *>(&pixel) + 2);
}

std::string collection_tag_data(const collection_description &description, collection_layout *layout)
{
	collection_layout local_layout;
	if (!layout) layout = &local_layout;
	*layout = collection_layout();

	// The sections' records, then the sequences and the bitmaps.
	std::string sections[NUMBER_OF_COLLECTION_SECTIONS];
	int32 counts[NUMBER_OF_COLLECTION_SECTIONS] = {};
	{
		color_table colors = description.colors;
		byte_swap_data("color table", &colors, sizeof(colors), 1, color_table_byte_swapping_data);
		append_bytes(&sections[_collection_section_color_tables], &colors, sizeof(colors));
		counts[_collection_section_color_tables] = 1;
	}
	sections[_collection_section_hue_changes] = stored_records(description.hue_changes, hue_change_byte_swapping_data);
	counts[_collection_section_hue_changes] = static_cast<int32>(description.hue_changes.size());
	sections[_collection_section_bitmap_instances] =
		stored_records(description.instances, bitmap_instance_byte_swapping_data);
	counts[_collection_section_bitmap_instances] = static_cast<int32>(description.instances.size());
	sections[_collection_section_shadow_maps] = stored_records(description.shadow_maps, shadow_map_byte_swapping_data);
	counts[_collection_section_shadow_maps] = static_cast<int32>(description.shadow_maps.size());
	sections[_collection_section_blend_table].assign(description.blend_table.begin(), description.blend_table.end());
	counts[_collection_section_blend_table] = description.blend_table.empty() ? 0 : 1;
	sections[_collection_section_remapping_table].assign(description.remapping_table.begin(),
		description.remapping_table.end());
	counts[_collection_section_remapping_table] = description.remapping_table.empty() ? 0 : 1;
	counts[_collection_section_bitmap_references] = static_cast<int32>(description.bitmaps.size());
	counts[_collection_section_sequence_references] = static_cast<int32>(description.sequences.size());

	// Reference sections are sized now and filled once the offsets are known.
	const size_t reference_size = 128;
	int32 offset = 0;
	for (int32 section = 0; section < NUMBER_OF_COLLECTION_SECTIONS; ++section)
	{
		layout->section_offsets[section] = offset;
		size_t size = sections[section].size();
		if (section == _collection_section_bitmap_references || section == _collection_section_sequence_references)
		{
			size = reference_size * static_cast<size_t>(counts[section]);
		}
		offset += static_cast<int32>((size + 3) & ~static_cast<size_t>(3));
	}

	std::string sequences_data;
	std::vector<sequence_reference> sequence_references;
	for (const collection_sequence_description &sequence : description.sequences)
	{
		pad_to_four(&sequences_data);
		const int32 sequence_offset = offset + static_cast<int32>(sequences_data.size());
		sequence_data record = sequence.sequence;
		byte_swap_data("sequence", &record, sizeof(record), 1, sequence_data_byte_swapping_data);
		append_bytes(&sequences_data, &record, sizeof(record));
		const int32 frames = sequence.sequence.frames_per_view, views = sequence.sequence.number_of_views;
		for (int32 f = 0; f < frames; ++f)
		{
			sequence_frame_data frame;
			memset(&frame, 0, sizeof(frame));
			frame.shadow_map_index = f < static_cast<int32>(sequence.shadow_map_indexes.size()) ?
				sequence.shadow_map_indexes[static_cast<size_t>(f)] : static_cast<int16>(NONE);
			byte_swap_data("sequence frame", &frame, sizeof(frame), 1, sequence_frame_byte_swapping_data);
			append_bytes(&sequences_data, &frame, sizeof(frame));
			for (int32 v = 0; v < views; ++v)
			{
				const size_t slot = static_cast<size_t>(f) * static_cast<size_t>(views) + static_cast<size_t>(v);
				int16 index = slot < sequence.instance_indexes.size() ? sequence.instance_indexes[slot] : 0;
				byte_swap_memory("view", &index, 1, _2byte);
				append_bytes(&sequences_data, &index, sizeof(index));
			}
		}
		sequence_reference reference;
		memset(&reference, 0, sizeof(reference));
		copy_name(reference.name, sequence.name);
		reference.offset = sequence_offset;
		reference.size = static_cast<int32>(offset + static_cast<int32>(sequences_data.size()) - sequence_offset);
		sequence_references.push_back(reference);
		layout->sequence_offsets.push_back(sequence_offset);
	}
	pad_to_four(&sequences_data);
	offset += static_cast<int32>(sequences_data.size());

	std::string bitmaps_data;
	std::vector<bitmap_reference> bitmap_references;
	for (const collection_bitmap_description &bitmap : description.bitmaps)
	{
		pad_to_four(&bitmaps_data);
		const std::string stored = stored_bitmap(bitmap);
		bitmap_reference reference;
		memset(&reference, 0, sizeof(reference));
		copy_name(reference.name, bitmap.name);
		reference.offset = offset + static_cast<int32>(bitmaps_data.size());
		reference.size = static_cast<int32>(stored.size());
		reference.width = bitmap.width;
		reference.height = bitmap.height;
		bitmap_references.push_back(reference);
		layout->bitmap_offsets.push_back(reference.offset);
		layout->bitmap_sizes.push_back(reference.size);
		bitmaps_data += stored;
	}
	pad_to_four(&bitmaps_data);

	sections[_collection_section_bitmap_references] =
		stored_records(bitmap_references, bitmap_reference_byte_swapping_data);
	sections[_collection_section_sequence_references] =
		stored_records(sequence_references, sequence_reference_byte_swapping_data);

	std::string block;
	for (int32 section = 0; section < NUMBER_OF_COLLECTION_SECTIONS; ++section)
	{
		block += sections[section];
		pad_to_four(&block);
	}
	block += sequences_data;
	block += bitmaps_data;

	collection_header header;
	memset(&header, 0, sizeof(header));
	header.user_data_flags = description.user_data_flags;
	for (int32 section = 0; section < NUMBER_OF_COLLECTION_SECTIONS; ++section)
	{
		int32 *fields = reinterpret_cast<int32 *>(reinterpret_cast<uint8 *>(&header) + COLLECTION_SECTION(section));
		fields[0] = counts[section];
		fields[1] = layout->section_offsets[section];
		fields[2] = static_cast<int32>(sections[section].size());
	}
	header.data_offset = static_cast<int32>(sizeof(collection_header));
	header.data_size = static_cast<int32>(block.size());
	layout->data_offset = header.data_offset;
	byte_swap_data("collection header", &header, sizeof(header), 1, collection_header_byte_swapping_data);

	std::string data;
	append_bytes(&data, &header, sizeof(header));
	return data + block;
}

std::string collection_tag_data(const collection_description &description)
{
	return collection_tag_data(description, NULL);
}

int32 make_collection_tag(file_tag subgroup_tag, const char *name, const collection_description &description,
	int16 version)
{
	const std::string data = collection_tag_data(description);
	return tag_file_new_with_subgroup_tag(COLLECTION_GROUP_TAG, name, subgroup_tag, version, data.data(),
		static_cast<int32>(data.size()));
}

std::string collection_reference_tag_data(const collection_reference &reference)
{
	collection_reference stored = reference;
	stored.collection_index = 0;
	memset(stored.color_table_indexes, 0, sizeof(stored.color_table_indexes));
	byte_swap_data("collection reference", &stored, sizeof(stored), 1, collection_reference_byte_swapping_data);
	return std::string(reinterpret_cast<const char *>(&stored), sizeof(stored));
}

int32 make_collection_reference_tag(file_tag subgroup_tag, const char *name, const collection_reference &reference)
{
	const std::string data = collection_reference_tag_data(reference);
	return tag_file_new_with_subgroup_tag(COLLECTION_REFERENCE_GROUP_TAG, name, subgroup_tag,
		COLLECTION_REFERENCE_VERSION_NUMBER, data.data(), static_cast<int32>(data.size()));
}

/* ---------- the default set's collections */

color_table banded_color_table(int32 saturation, int32 saturation_step, int32 value, int32 value_step)
{
	color_table colors;
	memset(&colors, 0, sizeof(colors));
	colors.color_count = MAXIMUM_COLOR_TABLE_COLORS;
	for (int32 i = 1; i < MAXIMUM_COLOR_TABLE_COLORS; ++i)
	{
		const int32 band = i / 32, level = i % 32;
		hsv_color hsv;
		set_hsv_color(&hsv, static_cast<uint16>(band * 8192), static_cast<uint16>(saturation + level * saturation_step),
			static_cast<uint16>(value + level * value_step));
		hsv_color_to_rgb_color(&hsv, &colors.colors[i]);
	}
	return colors;
}

namespace
{
color_table default_color_table(void)
{
	return banded_color_table(40000, 800, 16000, 1500);
}

// The first colour of a band and a shade within it.
uint8 band_color(int32 band, int32 shade)
{
	return static_cast<uint8>(band * 32 + 1 + PIN(shade, 0, 30));
}

enum
{
	_red_band = 0,
	_yellow_band = 1,
	_green_band = 2,
	_cyan_band = 4,
	_blue_band = 5,
	_wood_band = 6, // the scenery's own: soft browns and creams
	_grey_band = 7
};
const int32 _leaf_band = 3; // a deep green

hue_change default_hue_change(const color_table &colors, const char *name, uint16 hue0, uint16 hue1, uint16 median,
	uint16 flags)
{
	hue_change change;
	memset(&change, 0, sizeof(change));
	strncpy(change.name, name, sizeof(change.name) - 1);
	change.hue0 = hue0;
	change.hue1 = hue1;
	change.median_hue = median;
	change.minimum_saturation = 1000;
	change.flags = flags;
	update_colors_effected_by_hue_change(&colors, &change);
	return change;
}

bitmap_instance_data default_instance(int16 bitmap_index, int16 rx, int16 ry, int16 kx, int16 ky)
{
	bitmap_instance_data instance;
	memset(&instance, 0, sizeof(instance));
	instance.bitmap_index = bitmap_index;
	instance.highres_bitmap_index = NONE;
	instance.maximum_light_intensity = 65535;
	instance.registration_point = {rx, ry};
	instance.key_point = {kx, ky};
	return instance;
}

sequence_data default_sequence(int16 views, int16 frames, uint32 flags, fixed pixels_to_world, int16 ticks,
	int16 key_frame, int16 loop_frame)
{
	sequence_data sequence;
	memset(&sequence, 0, sizeof(sequence));
	sequence.flags = flags;
	sequence.pixels_to_world = pixels_to_world;
	sequence.number_of_views = views;
	sequence.frames_per_view = frames;
	sequence.ticks_per_frame = ticks;
	sequence.key_frame = key_frame;
	sequence.loop_frame = loop_frame;
	for (int32 i = 0; i < NUMBER_OF_SEQUENCE_SOUNDS; ++i)
	{
		sequence.sound_tags[i] = static_cast<file_tag>(NONE);
		sequence.sound_indexes[i] = NONE;
	}
	sequence.transfer_mode = NONE;
	return sequence;
}

// A one-view sequence of consecutive instances.
collection_sequence_description single_view_sequence(const char *name, const sequence_data &sequence,
	int16 first_instance, int16 shadow_map_index)
{
	collection_sequence_description description;
	description.name = name;
	description.sequence = sequence;
	for (int16 f = 0; f < sequence.frames_per_view; ++f)
	{
		description.shadow_map_indexes.push_back(shadow_map_index);
		description.instance_indexes.push_back(static_cast<int16>(first_instance + f));
	}
	return description;
}

// A plain 8-bit ellipse: colours of a band inside, index 0 outside.
collection_bitmap_description ellipse_bitmap(const char *name, int16 width, int16 height, int32 band,
	drawing_random *random)
{
	collection_bitmap_description bitmap = plain_collection_bitmap(name, width, height, _8bit);
	const int32 cx = width / 2, cy = height / 2;
	for (int32 y = 0; y < height; ++y)
	{
		for (int32 x = 0; x < width; ++x)
		{
			const int32 dx = (x - cx) * 256 / MAX(cx, 1), dy = (y - cy) * 256 / MAX(cy, 1);
			if (dx * dx + dy * dy <= 256 * 256)
			{
				bitmap.pixels[static_cast<size_t>(y * width + x)] = band_color(band, 8 + static_cast<int32>(random->next(20)));
			}
		}
	}
	return bitmap;
}

// A shadow for the shadow map: darkness (not colours) falling off from the middle.
collection_bitmap_description soft_shadow_bitmap(const char *name, int16 width, int16 height)
{
	collection_bitmap_description bitmap = plain_collection_bitmap(name, width, height, _8bit);
	for (int32 y = 0; y < height; ++y)
	{
		for (int32 x = 0; x < width; ++x)
		{
			const int32 dx = 2 * x + 1 - width, dy = 2 * y + 1 - height; // in half texels from the middle
			const int32 d = dx * dx * 256 / (width * width) + dy * dy * 256 / (height * height); // 0..256 at the rim
			bitmap.pixels[static_cast<size_t>(y * width + x)] = static_cast<uint8>(PIN(120 - d * 60 / 256, 40, 120));
		}
	}
	return bitmap;
}

// A ground shadow whose outline is an ellipse touching the map's sides: texels
// outside it stay clear, so the corners draw nothing, and the darkness thins
// towards the rim so the edge fades over a texel or two instead of stepping.
collection_bitmap_description elliptic_shadow_bitmap(const char *name, int16 width, int16 height, int32 darkest)
{
	collection_bitmap_description bitmap = plain_collection_bitmap(name, width, height, _8bit);
	for (int32 y = 0; y < height; ++y)
	{
		for (int32 x = 0; x < width; ++x)
		{
			const int32 dx = 2 * x + 1 - width, dy = 2 * y + 1 - height; // in half texels from the middle
			const int32 d = dx * dx * 256 / (width * width) + dy * dy * 256 / (height * height); // 0..256 at the rim
			bitmap.pixels[static_cast<size_t>(y * width + x)] = static_cast<uint8>(std::max<int32>(0, 256 - d) * darkest / 256);
		}
	}
	return bitmap;
}

// A blast's scorch, burnt into the terrain maps by a detonation: sparse dark
// ash, and a shadow a few levels deep at its middle thinning to a ragged rim.
// A volley's bombs land on one spot, so their stains stack; each one is faint
// enough that a cluster of them reads as burnt ground, not a hole.
void paint_blast_scorch(collection_bitmap_description *ash, collection_bitmap_description *darkness)
{
	drawing_random random = {0x424C5354u};
	const int32 width = ash->width, height = ash->height;
	for (int32 y = 0; y < height; ++y)
	{
		for (int32 x = 0; x < width; ++x)
		{
			const int32 dx = 2 * x + 1 - width, dy = 2 * y + 1 - height; // in half texels from the middle
			const int32 d = dx * dx * 256 / (width * width) + dy * dy * 256 / (height * height); // 0..256 at the rim
			const int32 rim = 256 - static_cast<int32>(random.next(64));
			const int32 cover = d < rim ? 40 - d * 32 / 256 : 0; // of 256
			const size_t i = static_cast<size_t>(y * width + x);
			ash->pixels[i] = static_cast<int32>(random.next(256)) < cover ?
				band_color(_grey_band, 6 + static_cast<int32>(random.next(5))) : 0;
			darkness->pixels[i] = static_cast<uint8>(d < rim ? 3 + (rim - d) * 14 / 256 + static_cast<int32>(random.next(4)) : 0);
		}
	}
}

} // namespace

// The same picture in the row-span format, which the software path draws
// sprites from: index 0 becomes a gap.
collection_bitmap_description row_span_bitmap(const collection_bitmap_description &plain)
{
	collection_bitmap_description bitmap = plain;
	bitmap.flags = _bitmap_extended_encoding_flag | _1bit_transparency_encoded_flag | _word_aligned_encoding_flag;
	bitmap.pixels.clear();
	for (int32 y = 0; y < plain.height; ++y)
	{
		std::vector<int16> spans;
		std::vector<uint8> pixels;
		const uint8 *row = plain.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(plain.bytes_per_row);
		for (int32 x = 0; x < plain.width;)
		{
			if (row[x] == 0)
			{
				x += 1;
				continue;
			}
			const int32 start = x;
			while (x < plain.width && row[x] != 0) pixels.push_back(row[x++]);
			spans.push_back(static_cast<int16>(start));
			spans.push_back(static_cast<int16>(x));
		}
		append_row_span_row(&bitmap, spans, pixels);
	}
	return bitmap;
}

namespace
{

// A unit figure in the row-span format: a body in the primary band over
// legs in the secondary band, leaning by view and frame.
collection_bitmap_description unit_figure_bitmap(int32 view, int32 frame, drawing_random *random)
{
	const int16 width = 32, height = 48;
	char name[64];
	snprintf(name, sizeof(name), "figure v%d f%d", static_cast<int>(view), static_cast<int>(frame));
	collection_bitmap_description bitmap = plain_collection_bitmap(name, width, height, _8bit);
	bitmap.flags = _bitmap_extended_encoding_flag | _1bit_transparency_encoded_flag | _word_aligned_encoding_flag;
	bitmap.bytes_per_row = width;
	bitmap.pixels.clear();
	const int32 lean = (view - 2) + (frame & 1);
	for (int32 y = 0; y < height; ++y)
	{
		std::vector<int16> spans;
		std::vector<uint8> pixels;
		auto add_span = [&](int32 start, int32 end, int32 band)
		{
			start = PIN(start, 0, width);
			end = PIN(end, start, width);
			if (end <= start) return;
			if (!spans.empty() && start < spans.back()) start = spans.back();
			if (end <= start) return;
			spans.push_back(static_cast<int16>(start));
			spans.push_back(static_cast<int16>(end));
			for (int32 x = start; x < end; ++x) pixels.push_back(band_color(band, 6 + static_cast<int32>(random->next(24))));
		};
		if (y < 10)
		{
			add_span(12 + lean / 2, 20 + lean / 2, _yellow_band); // head
		}
		else if (y < 30)
		{
			add_span(8 + lean, 24 + lean, _red_band); // body
		}
		else
		{
			add_span(9 + lean - (frame & 1), 15 + lean, _blue_band); // legs
			add_span(17 + lean, 23 + lean + (frame & 1), _blue_band);
		}
		append_row_span_row(&bitmap, spans, pixels);
	}
	return bitmap;
}

// One pixel of a run-length picture: a 5-bit alpha (0 clear, 31 opaque), its
// colour and a hue index (0 as stored, k: the k-th hue change).
struct stream_pixel
{
	uint8 alpha, red, green, blue;
	uint8 hue;
};

// The pixel's header byte.
uint8 stream_header(const stream_pixel &pixel)
{
	return static_cast<uint8>(pixel.alpha | (pixel.alpha ? pixel.hue << 5 : 0));
}

// The true-colour run-length stream of the pixels: runs of clear or opaque
// pixels alternate with literal pixels, each literal sequence closed by a
// clear or opaque one.
std::vector<uint8> run_length_stream(const std::vector<stream_pixel> &pixels)
{
	std::vector<uint8> stream;
	size_t next = 0;
	uint8 previous = 0;
	while (next < pixels.size())
	{
		// Run state: an opaque run takes the hue of the header before it.
		const uint8 previous_alpha = previous & 31;
		size_t count = 0;
		while (count < 255 && next + count < pixels.size() && stream_header(pixels[next + count]) == previous) ++count;
		stream.push_back(static_cast<uint8>(count));
		for (size_t i = 0; previous_alpha == 31 && i < count; ++i)
		{
			stream.push_back(pixels[next + i].red);
			stream.push_back(pixels[next + i].green);
			stream.push_back(pixels[next + i].blue);
		}
		next += count;

		// Literal state, until a clear or opaque pixel.
		while (next < pixels.size())
		{
			const stream_pixel &pixel = pixels[next++];
			stream.push_back(stream_header(pixel));
			if (pixel.alpha != 0)
			{
				stream.push_back(pixel.red);
				stream.push_back(pixel.green);
				stream.push_back(pixel.blue);
			}
			if (pixel.alpha == 0 || pixel.alpha == 31)
			{
				previous = stream_header(pixel);
				break;
			}
		}
	}
	return stream;
}

// A bright diamond with a soft edge, in rows of spans of 16-bit pixels: a
// yellow of the palette and a 4-bit transparency (0 opaque). Each pixel
// draws an edge's alpha and three colour values, as many as the pictures
// after it count on.
collection_bitmap_description spark_row_span_bitmap(const char *name, int32 width, int32 height, drawing_random *random)
{
	collection_bitmap_description bitmap = plain_collection_bitmap(name, static_cast<int16>(width),
		static_cast<int16>(height), _16bit);
	bitmap.flags = _bitmap_extended_encoding_flag | _1bit_transparency_encoded_flag | _word_aligned_encoding_flag |
		_4bit_transparency_encoded_flag;
	bitmap.encoding = _16bit_555_encoding;
	bitmap.pixels.clear();
	for (int32 y = 0; y < height; ++y)
	{
		std::vector<int16> spans;
		std::vector<uint8> pixels;
		for (int32 x = 0; x < width; ++x)
		{
			const int32 distance = abs(2 * x + 1 - width) + abs(2 * y + 1 - height);
			if (distance >= width) continue;
			const int32 alpha = distance < width / 2 ? 31 : static_cast<int32>(4 + random->next(24)); // of 31
			const int32 red = static_cast<int32>(200 + random->next(55));
			random->next(60); // green and blue follow red on the yellow band
			random->next(40);
			const uint16 level = static_cast<uint16>(15 - alpha * 15 / 31);
			const uint16 pixel = static_cast<uint16>((level << ENCODED_TRANSPARENCY_BIT_OFFSET) |
				band_color(_yellow_band, 22 + (red - 200) * 8 / 55));
			add_row_span_pixel(&spans, &pixels, x, pixel);
		}
		append_row_span_row(&bitmap, spans, pixels);
	}
	return bitmap;
}

// A team badge in true colour: a rim in the primary hue (1), a field in the
// secondary (2), a white boss left as stored (3), a dark outline (0), with a
// soft edge of partly clear pixels.
std::vector<uint8> badge_stream(int32 side, drawing_random *random)
{
	std::vector<stream_pixel> pixels;
	for (int32 y = 0; y < side; ++y)
	{
		for (int32 x = 0; x < side; ++x)
		{
			const int32 dx = 2 * x + 1 - side, dy = 2 * y + 1 - side;
			const int32 d = dx * dx + dy * dy; // squared half-pixel distance; the rim is at side²
			const int32 rim = side * side;
			const uint8 shade = static_cast<uint8>(random->next(12));
			stream_pixel pixel = {0, 0, 0, 0, 0};
			if (d < rim / 16)
			{
				pixel = {31, static_cast<uint8>(236 + shade), static_cast<uint8>(232 + shade), static_cast<uint8>(220 + shade), 3};
			}
			else if (d < rim * 9 / 25)
			{
				pixel = {31, static_cast<uint8>(40 + shade), static_cast<uint8>(70 + shade), static_cast<uint8>(170 + shade), 2};
			}
			else if (d < rim * 16 / 25)
			{
				pixel = {31, static_cast<uint8>(200 + shade), static_cast<uint8>(40 + shade), static_cast<uint8>(30 + shade), 1};
			}
			else if (d < rim * 20 / 25)
			{
				pixel = {31, static_cast<uint8>(30 + shade), static_cast<uint8>(26 + shade), static_cast<uint8>(22 + shade), 0};
			}
			else if (d < rim)
			{
				pixel = {static_cast<uint8>(8 + random->next(12)), 30, 26, 22, 0};
			}
			pixels.push_back(pixel);
		}
	}
	return run_length_stream(pixels);
}
}

/* ---------- units */

collection_description default_unit_collection(void)
{
	drawing_random random = {0x554E4954u};
	collection_description collection;
	collection.user_data_flags = _collection_can_be_used_for_monsters_flag;
	collection.colors = default_color_table();
	collection.hue_changes.push_back(default_hue_change(collection.colors, "primary", 60000, 4000, 0,
		_hue_change_primary_flag));
	collection.hue_changes.push_back(default_hue_change(collection.colors, "secondary", 40000, 48000, 40960,
		_hue_change_secondary_flag));

	struct unit_sequence
	{
		const char *name;
		int16 frames, ticks, key_frame, loop_frame;
	};
	static const unit_sequence sequences[NUMBER_OF_DEFAULT_UNIT_SEQUENCES] =
	{
		{"idle", 2, 8, 0, 0},
		{"moving", 4, 3, 1, 0},
		{"attack", 3, 4, 1, 2},
		{"flinch", 1, 6, 0, 0},
		{"soft death", 3, 4, 2, 2},
		{"hard death", 3, 3, 2, 2},
		{"dead", 1, 30, 0, 0},
		{"secondary idle", 2, 10, 1, 0},
	};
	const int16 views = 8;
	const int16 displayed_views = number_of_displayed_views_in_sequence(views);

	// The shadow: a soft ellipse in shadow-map texels (64 world units each), about a unit's own width.
	collection.bitmaps.push_back(soft_shadow_bitmap("shadow", 3, 2));
	shadow_map_data shadow;
	memset(&shadow, 0, sizeof(shadow));
	shadow.bitmap_index = 0;
	shadow.registration_point = {FIXED_ONE, FIXED_ONE / 2};
	collection.shadow_maps.push_back(shadow);

	for (int32 s = 0; s < NUMBER_OF_DEFAULT_UNIT_SEQUENCES; ++s)
	{
		const unit_sequence &entry = sequences[s];
		collection_sequence_description sequence;
		sequence.name = entry.name;
		sequence.sequence = default_sequence(views, entry.frames, _sequence_uses_mirroring_flag | _sequence_has_frame_data_flag,
			FIXED_ONE / 4, entry.ticks, entry.key_frame, entry.loop_frame);
		sequence.sequence.radius = 12 * FIXED_ONE;
		sequence.sequence.height0 = 0;
		sequence.sequence.height1 = 44 * FIXED_ONE;
		for (int16 f = 0; f < entry.frames; ++f)
		{
			sequence.shadow_map_indexes.push_back(0);
			for (int16 v = 0; v < views; ++v)
			{
				// Every slot has its own instance; mirrored slots are filled at load.
				const int16 drawn_view = v < displayed_views ? v : mirror_sequence_view(views, v);
				const int16 bitmap_index = static_cast<int16>(collection.bitmaps.size());
				if (v < displayed_views) collection.bitmaps.push_back(unit_figure_bitmap(drawn_view, f, &random));
				const int16 figure = v < displayed_views ? bitmap_index : NONE;
				bitmap_instance_data instance = default_instance(figure, 16, 44, static_cast<int16>(16 + drawn_view), 20);
				if (v >= displayed_views) instance.bitmap_index = 1; // overwritten by the mirrored view
				sequence.instance_indexes.push_back(static_cast<int16>(collection.instances.size()));
				collection.instances.push_back(instance);
			}
		}
		collection.sequences.push_back(sequence);
	}

	// After every figure, so no sequence moves: a badge in team colours.
	collection_bitmap_description badge = plain_collection_bitmap("badge", 16, 16, _16bit);
	badge.flags = _bitmap_extended_encoding_flag | _no_row_address_table_flag;
	badge.encoding = _16bit_565_encoding;
	badge.pixels = badge_stream(16, &random);
	collection.bitmaps.push_back(badge);
	return collection;
}

/* ---------- effects */

namespace {

// Band 6, which no other effect draws from, holds the effects' own plain
// colours: browns for wood, a neutral grey ramp for steel and smoke, reds and
// a cream for feathers. The other bands are the default hues.
enum
{
	_effects_plain_band = 6,
	_effects_wood_shade = 0, // 8 shades, dark to light
	_effects_grey_shade = 8, // 14
	_effects_red_shade = 22, // 5
	_effects_white_shade = 27 // 4
};

color_table effects_color_table(void)
{
	color_table colors = default_color_table();
	struct ramp { int32 first, count; int32 from[3], to[3]; };
	const ramp ramps[] = {
		{_effects_wood_shade, 8, {96, 62, 34}, {214, 170, 112}},
		{_effects_grey_shade, 14, {84, 86, 92}, {232, 234, 238}},
		{_effects_red_shade, 5, {150, 28, 24}, {232, 64, 48}},
		{_effects_white_shade, 4, {222, 214, 196}, {250, 248, 240}},
	};
	for (const ramp &r : ramps)
	{
		for (int32 i = 0; i < r.count; ++i)
		{
			uint16 channel[3];
			for (int32 c = 0; c < 3; ++c)
				channel[c] = static_cast<uint16>((r.from[c] + (r.to[c] - r.from[c]) * i / MAX(r.count - 1, 1)) * 257);
			colors.colors[band_color(_effects_plain_band, r.first + i)] = {channel[0], channel[1], channel[2], 0};
		}
	}
	return colors;
}

uint8 effects_plain_color(int32 shade)
{
	return band_color(_effects_plain_band, shade);
}

// An arrow, 32 x 4 (twice a bomb's length, so that it reads in flight), laid
// along its flight with column 0 foremost: a steel head, a wooden shaft, red
// vanes about white feathers and a cream nock, all lit from above. Every
// texel is filled, so that however few pixels a distant arrow is drawn with,
// each finds it; nothing in it is dark enough to read as a hole.
collection_bitmap_description arrow_bitmap(void)
{
	static const char *const rows[4] = {
		"hHHHHTTTTTTTTTTTTTTTTTTrRRRRRRRr",
		"HHHHHdSSSSSSSSSSSSSSSSSWWWWWWWNN",
		"hhhhhdsssssssssssssssssWWWWWWWNN",
		"hhhhhuuuuuuuuuuuuuuuuuurrrrrrrrr",
	};
	const int32 width = 32, height = 4;
	collection_bitmap_description arrow = plain_collection_bitmap("arrow", width, height, _8bit);
	for (int32 y = 0; y < height; ++y)
	{
		for (int32 x = 0; x < width; ++x)
		{
			int32 shade = NONE;
			switch (rows[y][x])
			{
			case 'H': shade = _effects_grey_shade + 12; break;
			case 'h': shade = _effects_grey_shade + 8; break;
			case 'd': shade = _effects_grey_shade + 4; break;
			case 'S': shade = _effects_wood_shade + 7; break;
			case 'T': shade = _effects_wood_shade + 5; break;
			case 's': shade = _effects_wood_shade + 4; break;
			case 'u': shade = _effects_wood_shade + 2; break;
			case 'R': shade = _effects_red_shade + 3; break;
			case 'r': shade = _effects_red_shade + 1; break;
			case 'W': shade = _effects_white_shade + 2; break;
			case 'N': shade = _effects_white_shade; break;
			default: break;
			}
			if (shade != NONE) arrow.pixels[static_cast<size_t>(y * width + x)] = effects_plain_color(shade);
		}
	}
	return arrow;
}

// A puff of smoke or dust, 20 x 20: mid to light greys, lighter towards the
// upper left, with a ragged rim. Its sequence fades it out.
collection_bitmap_description puff_bitmap(void)
{
	drawing_random random = {0x50554646u};
	const int32 size = 20;
	collection_bitmap_description puff = plain_collection_bitmap("puff", size, size, _8bit);
	for (int32 y = 0; y < size; ++y)
	{
		for (int32 x = 0; x < size; ++x)
		{
			const int32 dx = 2 * x + 1 - size, dy = 2 * y + 1 - size; // in half texels from the middle
			const int32 d = (dx * dx + dy * dy) * 256 / (size * size); // 0..256 at the rim
			const int32 rim = 256 - static_cast<int32>(random.next(56));
			const int32 noise = static_cast<int32>(random.next(3));
			if (d > rim) continue;
			const int32 light = 4 - (dx + dy) * 3 / size; // 1..7, upper left lightest
			puff.pixels[static_cast<size_t>(y * size + x)] =
				effects_plain_color(_effects_grey_shade + PIN(3 + light + noise - d / 128, 2, 13));
		}
	}
	return puff;
}

} // namespace

collection_description default_effects_collection(void)
{
	drawing_random random = {0x45464354u};
	collection_description collection;
	collection.user_data_flags = _collection_can_be_used_for_projectiles_flag | _collection_can_be_used_for_atmospheric_effect_flag;
	collection.colors = effects_color_table();

	// Arrow: one view, colour keyed by its zeros.
	collection.bitmaps.push_back(arrow_bitmap());

	// Explosion: 16-bit pixels with a 4-bit transparency, plain and in rows of spans.
	collection_bitmap_description explosion = plain_collection_bitmap("explosion", 16, 16, _16bit);
	explosion.flags = _4bit_transparency_encoded_flag;
	explosion.encoding = _16bit_555_encoding;
	collection_bitmap_description explosion_spans = explosion;
	explosion_spans.name = "explosion spans";
	explosion_spans.flags = _4bit_transparency_encoded_flag | _1bit_transparency_encoded_flag | _word_aligned_encoding_flag;
	explosion_spans.pixels.clear();
	for (int32 y = 0; y < 16; ++y)
	{
		const int32 half = y < 8 ? y + 1 : 16 - y;
		std::vector<uint8> row_pixels;
		for (int32 x = 0; x < 16; ++x)
		{
			const int32 distance = abs(2 * x - 15) / 2;
			const uint16 level = static_cast<uint16>(distance < half ? PIN(distance * 2, 0, 15) : 15);
			const uint16 pixel = static_cast<uint16>((level << ENCODED_TRANSPARENCY_BIT_OFFSET) |
				band_color(_yellow_band, 30 - static_cast<int32>(random.next(10))));
			memcpy(&explosion.pixels[static_cast<size_t>(y * 32 + 2 * x)], &pixel, 2);
			if (distance < half) row_pixels.insert(row_pixels.end(), reinterpret_cast<const uint8 *>(&pixel),
				reinterpret_cast<const uint8 *>(&pixel) + 2);
		}
		append_row_span_row(&explosion_spans, {static_cast<int16>(8 - half), static_cast<int16>(8 + half)}, row_pixels);
	}
	collection.bitmaps.push_back(explosion);
	collection.bitmaps.push_back(explosion_spans);

	// Glow: an overlay whose brightness is its alpha, in rows of spans as
	// every sprite is: the software path draws no others.
	collection_bitmap_description glow = row_span_bitmap(ellipse_bitmap("glow", 16, 16, _cyan_band, &random));
	glow.flags |= _bitmap_is_overlay_flag;
	collection.bitmaps.push_back(glow);

	// Spark: a soft-edged sprite.
	collection.bitmaps.push_back(spark_row_span_bitmap("spark", 8, 8, &random));

	// Scorch: a colour bitmap and a shadow bitmap of the same size.
	// The blobs are drawn and then painted over, so that the pictures after
	// them keep their random pixels.
	collection.bitmaps.push_back(ellipse_bitmap("scorch", 20, 12, _grey_band, &random));
	collection.bitmaps.push_back(ellipse_bitmap("scorch shadow", 20, 12, _grey_band, &random));
	paint_blast_scorch(&collection.bitmaps[collection.bitmaps.size() - 2], &collection.bitmaps.back());
	shadow_map_data shadow;
	memset(&shadow, 0, sizeof(shadow));
	shadow.bitmap_index = 6;
	shadow.registration_point = {10 * FIXED_ONE, 6 * FIXED_ONE};
	collection.shadow_maps.push_back(shadow);

	// The explosion is drawn from its spans: the plain picture is a texture.
	const int16 bitmaps[_default_effects_puff_sequence] = {0, 2, 2, 3, 4, 5};
	static const char *const names[_default_effects_puff_sequence] =
	{
		"arrow", "explosion", "explosion spans", "glow", "spark", "scorch"
	};
	for (int32 s = 0; s < _default_effects_puff_sequence; ++s)
	{
		const collection_bitmap_description &bitmap = collection.bitmaps[static_cast<size_t>(bitmaps[s])];
		const int16 first = static_cast<int16>(collection.instances.size());
		collection.instances.push_back(default_instance(bitmaps[s], static_cast<int16>(bitmap.width / 2),
			static_cast<int16>(bitmap.height / 2), static_cast<int16>(bitmap.width / 2), 0));
		sequence_data sequence = default_sequence(1, 1, 0, FIXED_ONE / 4, 2, 0, 0);
		sequence.radius = 4 * FIXED_ONE;
		collection.sequences.push_back(single_view_sequence(names[s], sequence, first,
			s == _default_effects_scorch_sequence ? 0 : static_cast<int16>(NONE)));
	}
	// Arrows in flight are quads laid along their velocity (32 x 4 is a power of two).
	collection.instances[static_cast<size_t>(_default_effects_arrow_sequence)].flags |= _bitmap_instance_texture_flag;
	// Sprites with a 4-bit transparency are blended: the software path draws them only so.
	for (int16 s : {_default_effects_explosion_sequence, _default_effects_explosion_row_span_sequence,
			 _default_effects_spark_sequence})
	{
		collection.instances[static_cast<size_t>(s)].flags |= _bitmap_instance_transparent_flag;
	}

	// After the others, so no sequence moves: a halo overlay whose sides are not
	// powers of two, so its brightness stays its alpha.
	collection_bitmap_description halo = ellipse_bitmap("halo", 24, 12, _cyan_band, &random);
	halo.flags |= _bitmap_is_overlay_flag;
	collection.bitmaps.push_back(halo);

	// Last of all: the puff that burning bombs trail as smoke and stone as
	// dust, drawn from row spans, half seen at first and fading out.
	const int16 puff_index = static_cast<int16>(collection.bitmaps.size());
	collection.bitmaps.push_back(row_span_bitmap(puff_bitmap()));
	const int16 puff_instance = static_cast<int16>(collection.instances.size());
	collection.instances.push_back(default_instance(puff_index, 10, 10, 10, 0));
	sequence_data puff = default_sequence(1, 1, 0, FIXED_ONE / 4, 2, 0, 0);
	puff.radius = 4 * FIXED_ONE;
	puff.transfer_mode = _transfer_mode_transparent_disappearing;
	puff.transfer_period = 24;
	collection.sequences.push_back(single_view_sequence("puff", puff, puff_instance, NONE));
	return collection;
}

/* ---------- scenery */

namespace {

// The scenery's colours: the default bands, with band 6 a soft warm ramp for
// wood and plaster and band 7 a neutral grey for stone.
color_table scenery_color_table(void)
{
	color_table colors = default_color_table();
	for (int32 level = 0; level < 32; ++level)
	{
		hsv_color hsv;
		set_hsv_color(&hsv, 5500, 22000, static_cast<uint16>(14000 + level * 1600));
		hsv_color_to_rgb_color(&hsv, &colors.colors[_wood_band * 32 + level]);
		const uint16 grey = static_cast<uint16>(12000 + level * 1600);
		if (_grey_band * 32 + level < MAXIMUM_COLOR_TABLE_COLORS)
			colors.colors[_grey_band * 32 + level] = {grey, grey, static_cast<uint16>(grey + 800), 0};
	}
	colors.colors[0] = {0, 0, 0, 0};
	return colors;
}

// A tree at scale 1 or 2: a brown trunk under a canopy about 48 x 96 pixels,
// outlined darker, lit from the upper left, with clumps of leaves.
collection_bitmap_description tree_bitmap(const char *name, int32 scale, drawing_random *random)
{
	const int32 width = 48 * scale, height = 116 * scale;
	collection_bitmap_description bitmap = plain_collection_bitmap(name, static_cast<int16>(width), static_cast<int16>(height), _8bit);
	const int32 cx = width / 2, cy = 48 * scale, rx = 23 * scale, ry = 47 * scale;
	for (int32 y = 0; y < height; ++y)
	{
		for (int32 x = 0; x < width; ++x)
		{
			uint8 &pixel = bitmap.pixels[static_cast<size_t>(y * width + x)];
			const int32 clump = static_cast<int32>(random->next(5));
			// Distance from the crown's centre, 256 at its rim, the rim a little ragged.
			const int32 dx = (x - cx) * 256 / rx, dy = (y - cy) * 256 / ry;
			const int32 d2 = dx * dx + dy * dy, rim = 256 - 6 * clump;
			if (d2 <= rim * rim)
			{
				const int32 light = 16 - (x - cx) * 8 / rx - (y - cy) * 8 / ry; // 0..32, upper left brightest
				const int32 edge = d2 > (rim - 22) * (rim - 22);
				const int32 leaves = ((x / (3 * scale) + y / (4 * scale)) & 3) == 0 ? -3 : 0;
				pixel = band_color(_leaf_band, edge ? clump / 2 : PIN(light * 2 / 5 + 1 + clump + leaves, 2, 19));
				continue;
			}
			const int32 trunk_half = 3 * scale + (y > height - 6 * scale ? scale : 0);
			if (y > 80 * scale && x >= cx - trunk_half && x <= cx + trunk_half)
			{
				const int32 side = x - cx;
				pixel = band_color(_wood_band, side <= -trunk_half + scale || side >= trunk_half - scale / 2 ? 1 : 5 + clump / 2 - side / scale);
			}
		}
	}
	return bitmap;
}

// A 64 x 64 texture from a pattern of shades of one band (no index 0).
collection_bitmap_description texture_bitmap(const char *name, int32 band, drawing_random *random,
	int32 (*shade)(int32 x, int32 y, int32 noise))
{
	collection_bitmap_description bitmap = plain_collection_bitmap(name, 64, 64, _8bit);
	for (int32 y = 0; y < 64; ++y)
	{
		for (int32 x = 0; x < 64; ++x)
		{
			const int32 noise = static_cast<int32>(random->next(5));
			bitmap.pixels[static_cast<size_t>(y * 64 + x)] = band_color(band, PIN(shade(x, y, noise), 0, 30));
		}
	}
	return bitmap;
}

// Dressed stone in courses of 16, staggered, with light mortar.
int32 stone_shade(int32 x, int32 y, int32 noise)
{
	const int32 course = y / 16, offset = (course & 1) * 12;
	const int32 column = (x + offset) % 24, row = y % 16;
	if (row == 0 || column == 0) return 22;
	const int32 stone = ((x + offset) / 24 * 7 + course * 5) % 4;
	return 9 + stone * 2 + noise - (row == 15 || column == 23 ? 3 : 0);
}

// Plaster between dark timbers: a frame, a beam across and a brace.
int32 wall_shade(int32 x, int32 y, int32 noise)
{
	const boolean timber = x < 5 || x > 58 || (y > 29 && y < 35) || (y < 30 && abs(x - y * 2) < 4) || y > 59;
	return timber ? 3 + noise / 2 : 23 + noise;
}

} // namespace

collection_description default_scenery_collection(void)
{
	drawing_random random = {0x5343454Eu};
	collection_description collection;
	collection.user_data_flags = _collection_can_be_used_for_scenery_flag;
	collection.colors = scenery_color_table();

	// Sprites in the row-span format, with gaps where the picture is clear.
	collection.bitmaps.push_back(row_span_bitmap(ellipse_bitmap("rock", 24, 16, _grey_band, &random)));
	// Tree, with a high-resolution picture twice the size.
	collection.bitmaps.push_back(row_span_bitmap(tree_bitmap("tree", 1, &random)));
	collection.bitmaps.push_back(row_span_bitmap(tree_bitmap("tree highres", 2, &random)));
	// Fire: four frames.
	for (int32 f = 0; f < 4; ++f)
	{
		char name[32];
		snprintf(name, sizeof(name), "fire %d", static_cast<int>(f));
		collection.bitmaps.push_back(
			row_span_bitmap(ellipse_bitmap(name, 12, static_cast<int16>(16 + 2 * f), _red_band, &random)));
	}

	collection.instances.push_back(default_instance(0, 12, 14, 12, 4));
	// The tree stands on its trunk's foot, two and a half times a unit's height.
	bitmap_instance_data tree = default_instance(1, 24, 114, 24, 40);
	tree.flags = _bitmap_instance_highres_flag;
	tree.highres_bitmap_index = 2;
	tree.highres_pixels_to_world = FIXED_ONE * 5 / 4;
	tree.highres_registration_point = {48, 228};
	collection.instances.push_back(tree);
	for (int16 f = 0; f < 4; ++f) collection.instances.push_back(default_instance(static_cast<int16>(3 + f), 6, 14, 6, 4));

	// Each tree casts a soft dark ellipse on the ground, centred under its trunk:
	// texels are 64 world units on the ground, so the ellipse needs several
	// across for its outline to read as round rather than as a block.
	const int16 tree_shadow_width = 7, tree_shadow_height = 5;
	collection.bitmaps.push_back(elliptic_shadow_bitmap("tree shadow", tree_shadow_width, tree_shadow_height, 112));
	shadow_map_data shadow;
	memset(&shadow, 0, sizeof(shadow));
	shadow.bitmap_index = static_cast<int16>(collection.bitmaps.size() - 1);
	shadow.registration_point = {tree_shadow_width * FIXED_ONE / 2, tree_shadow_height * FIXED_ONE / 2};
	collection.shadow_maps.push_back(shadow);

	// A post: a dark wooden stake.
	collection_bitmap_description post = plain_collection_bitmap("post", 8, 24, _8bit);
	for (int32 y = 0; y < 24; ++y)
	{
		for (int32 x = 1; x < 7; ++x) post.pixels[static_cast<size_t>(y * 8 + x)] = band_color(_wood_band, x == 1 || x == 6 || y == 0 ? 2 : 6 + x);
	}
	collection.bitmaps.push_back(row_span_bitmap(post));
	const int16 post_instance = static_cast<int16>(collection.instances.size());
	collection.instances.push_back(default_instance(static_cast<int16>(collection.bitmaps.size() - 1), 4, 22, 4, 2));

	sequence_data rock_sequence = default_sequence(1, 1, _sequence_has_no_rotation_flag, FIXED_ONE / 4, 1, 0, 0);
	rock_sequence.radius = 10 * FIXED_ONE;
	rock_sequence.height1 = 12 * FIXED_ONE;
	collection.sequences.push_back(single_view_sequence("rock", rock_sequence, 0, NONE));
	sequence_data tree_sequence = default_sequence(1, 1, _sequence_has_no_rotation_flag, FIXED_ONE / 4, 1, 0, 0);
	tree_sequence.radius = 6 * FIXED_ONE;
	tree_sequence.height1 = 36 * FIXED_ONE;
	collection.sequences.push_back(single_view_sequence("tree", tree_sequence, 1, 0));
	sequence_data fire_sequence = default_sequence(1, 4, 0, FIXED_ONE / 4, 3, 0, 0);
	fire_sequence.radius = 4 * FIXED_ONE;
	fire_sequence.height1 = 18 * FIXED_ONE;
	collection.sequences.push_back(single_view_sequence("fire", fire_sequence, 2, NONE));
	// The stump reuses the rock's picture.
	sequence_data stump_sequence = rock_sequence;
	stump_sequence.height1 = 6 * FIXED_ONE;
	collection.sequences.push_back(single_view_sequence("stump", stump_sequence, 0, NONE));
	sequence_data post_sequence = default_sequence(1, 1, _sequence_has_no_rotation_flag, FIXED_ONE / 4, 1, 0, 0);
	post_sequence.radius = 3 * FIXED_ONE;
	post_sequence.height1 = 20 * FIXED_ONE;
	collection.sequences.push_back(single_view_sequence("post", post_sequence, post_instance, NONE));

	// The fence between posts: two rails on a clear ground, drawn stretched
	// between the posts as a texture (a power of two, colour-keyed by its zeros).
	collection_bitmap_description rails = plain_collection_bitmap("fence rails", 32, 16, _8bit);
	for (int32 y = 0; y < 16; ++y)
	{
		const boolean rail = (y >= 1 && y < 7) || (y >= 9 && y < 15);
		for (int32 x = 0; x < 32; ++x)
		{
			if (rail) rails.pixels[static_cast<size_t>(y * 32 + x)] = band_color(_wood_band, y == 1 || y == 9 ? 16 : y == 6 || y == 14 ? 3 : 9 + ((x * 5 + y) % 3));
			else if (x < 2 || x > 29) rails.pixels[static_cast<size_t>(y * 32 + x)] = band_color(_wood_band, 4); // a lath at each end
		}
	}
	collection.bitmaps.push_back(rails);
	const int16 rails_instance = static_cast<int16>(collection.instances.size());
	// Hung from the posts' tops: the rails' top row at the attachment height.
	collection.instances.push_back(default_instance(static_cast<int16>(collection.bitmaps.size() - 1), 16, 0, 16, 0));
	sequence_data fence_sequence = default_sequence(1, 1, 0, FIXED_ONE / 4, 1, 0, 0);
	fence_sequence.radius = 2 * FIXED_ONE;
	fence_sequence.height1 = 12 * FIXED_ONE;
	collection.sequences.push_back(single_view_sequence("fence", fence_sequence, rails_instance, NONE));

	// Model textures, 64 x 64 (a power of two, so models can use them): the
	// cottage's thatch and walls and the hut's stone.
	collection_bitmap_description thatch = plain_collection_bitmap("thatch", 64, 64, _8bit);
	for (int32 y = 0; y < 64; ++y)
	{
		for (int32 x = 0; x < 64; ++x)
		{
			// Bundles of straw in rows, each strand lit along its length.
			const int32 row = y % 8;
			const int32 shade = row == 0 ? 6 : 12 + row + static_cast<int32>(random.next(6)) - ((x + y / 8 * 3) % 5 == 0 ? 5 : 0);
			thatch.pixels[static_cast<size_t>(y * 64 + x)] = band_color(_yellow_band, shade);
		}
	}
	const auto add_texture = [&](const char *name, collection_bitmap_description &&bitmap) {
		const int16 bitmap_index = static_cast<int16>(collection.bitmaps.size());
		collection.bitmaps.push_back(std::move(bitmap));
		const int16 instance = static_cast<int16>(collection.instances.size());
		collection.instances.push_back(default_instance(bitmap_index, 32, 32, 32, 32));
		sequence_data sequence = default_sequence(1, 1, _sequence_has_no_rotation_flag, FIXED_ONE / 4, 1, 0, 0);
		collection.sequences.push_back(single_view_sequence(name, sequence, instance, NONE));
	};
	add_texture("thatch", std::move(thatch));
	add_texture("stone", texture_bitmap("stone", _grey_band, &random, stone_shade));
	add_texture("wall", texture_bitmap("wall", _wood_band, &random, wall_shade));
	return collection;
}

/* ---------- the landscape colour map */

#define DEFAULT_LANDSCAPE_PAIRS 4
#define DEFAULT_LANDSCAPE_SIZE 256

collection_description default_landscape_collection(void)
{
	drawing_random random = {0x4C4E4430u};
	collection_description collection;
	collection.user_data_flags = _collection_can_be_used_for_textures_flag | _collection_is_color_map_flag;
	collection.colors = default_color_table();

	// Pairs of a colour map (2n) and its shadow map (2n + 1).
	for (int32 pair = 0; pair < DEFAULT_LANDSCAPE_PAIRS; ++pair)
	{
		char name[32];
		snprintf(name, sizeof(name), "color map %d", static_cast<int>(pair));
		collection_bitmap_description color_map =
			plain_collection_bitmap(name, DEFAULT_LANDSCAPE_SIZE, DEFAULT_LANDSCAPE_SIZE, _8bit);
		snprintf(name, sizeof(name), "shadow map %d", static_cast<int>(pair));
		collection_bitmap_description shadow_map =
			plain_collection_bitmap(name, DEFAULT_LANDSCAPE_SIZE, DEFAULT_LANDSCAPE_SIZE, _8bit);
		for (int32 y = 0; y < DEFAULT_LANDSCAPE_SIZE; ++y)
		{
			for (int32 x = 0; x < DEFAULT_LANDSCAPE_SIZE; ++x)
			{
				const size_t i = static_cast<size_t>(y * DEFAULT_LANDSCAPE_SIZE + x);
				const int32 band = ((x / 64) + (y / 64) + pair) % 3 == 0 ? _yellow_band : _green_band;
				color_map.pixels[i] = band_color(band, 10 + static_cast<int32>(random.next(12)));
				shadow_map.pixels[i] = static_cast<uint8>(255 - ((x + y + pair * 32) & 63));
			}
		}
		collection.bitmaps.push_back(color_map);
		collection.bitmaps.push_back(shadow_map);
	}

	collection.blend_table.assign(BLEND_TABLE_SIZE, 0);
	build_blend_table(&collection.colors, collection.blend_table.data());
	collection.remapping_table.resize(MAXIMUM_COLOR_TABLE_COLORS);
	for (int32 i = 0; i < MAXIMUM_COLOR_TABLE_COLORS; ++i) collection.remapping_table[static_cast<size_t>(i)] = static_cast<uint8>(i);
	return collection;
}

/* ---------- dialog elements */

collection_description default_dialog_elements_collection(void)
{
	drawing_random random = {0x42414945u};
	collection_description collection;
	collection.user_data_flags = _collection_can_be_used_for_interface_flag;
	collection.colors = default_color_table();

	// A button face in encoding 4 (8-bit), the checkbox off and on, and a
	// 32-bit panel in encoding 2.
	collection_bitmap_description button = plain_collection_bitmap("button", 64, 20, _8bit);
	for (uint8 &pixel : button.pixels) pixel = band_color(_grey_band, 12 + static_cast<int32>(random.next(4)));
	collection.bitmaps.push_back(button);
	for (int32 state = 0; state < 2; ++state)
	{
		collection_bitmap_description box = plain_collection_bitmap(state ? "checkbox on" : "checkbox off", 12, 12, _8bit);
		for (int32 y = 0; y < 12; ++y)
		{
			for (int32 x = 0; x < 12; ++x)
			{
				const bool edge = x == 0 || y == 0 || x == 11 || y == 11;
				const bool mark = state && (x == y || x == 11 - y);
				box.pixels[static_cast<size_t>(y * 12 + x)] = edge || mark ? band_color(_grey_band, 28) : band_color(_grey_band, 4);
			}
		}
		collection.bitmaps.push_back(box);
	}
	collection_bitmap_description panel = plain_collection_bitmap("panel", 32, 16, _32bit);
	for (size_t i = 0; i < panel.pixels.size(); i += 4)
	{
		panel.pixels[i] = static_cast<uint8>(random.next(64)); // blue
		panel.pixels[i + 1] = 64;
		panel.pixels[i + 2] = 32;
		panel.pixels[i + 3] = 255;
	}
	collection.bitmaps.push_back(panel);

	for (int16 i = 0; i < 4; ++i) collection.instances.push_back(default_instance(i, 0, 0, 0, 0));
	collection.sequences.push_back(single_view_sequence("button", default_sequence(1, 1, 0, FIXED_ONE, 1, 0, 0), 0, NONE));
	collection.sequences.push_back(single_view_sequence("checkbox", default_sequence(1, 2, 0, FIXED_ONE, 1, 0, 0), 1, NONE));
	collection.sequences.push_back(single_view_sequence("panel", default_sequence(1, 1, 0, FIXED_ONE, 1, 0, 0), 3, NONE));
	return collection;
}

collection_description default_main_menu_collection(void)
{
	collection_description collection;
	collection.user_data_flags = _collection_can_be_used_for_interface_flag;
	collection.colors = default_color_table();
	const dialog_layout *layout = find_dialog_layout(DEFAULT_MAIN_MENU_COLLECTION_TAG);
	const int16 width = layout ? layout->width : 640, height = layout ? layout->height : 480;

	// Buttons in the menu's order of sequences, enabled and disabled, keyed
	// outside their rounded corners; sized as the menu lays them out.
	static const int16 button_items[8] = {2, 4, 3, 5, 6, 7, 8, 9};
	int16 instance = 0;
	for (int32 b = 0; b < 8; ++b)
	{
		int16 w = 180, h = 40;
		for (int32 i = 0; layout && i < layout->item_count; ++i)
		{
			if (layout->items[i].item != button_items[b]) continue;
			w = rectangle2d_width(&layout->items[i].bounds);
			h = rectangle2d_height(&layout->items[i].bounds);
		}
		for (int32 state = 0; state < 2; ++state)
		{
			collection_bitmap_description face = plain_collection_bitmap(state ? "button off" : "button on", w, h, _8bit);
			face.flags |= _bitmap_color_key_transparency_flag;
			// Disabled faces are the dark, dull end of the band.
			const int32 band = b == 7 ? _red_band : _blue_band;
			for (int32 y = 0; y < h; ++y)
			{
				for (int32 x = 0; x < w; ++x)
				{
					const int32 dx = MIN(x, w - 1 - x), dy = MIN(y, h - 1 - y);
					uint8 pixel;
					if (dx + dy < 4) pixel = 0;
					else if (dx < 2 || dy < 2) pixel = band_color(band, state ? 8 : 28);
					else pixel = band_color(band, state ? 1 + 4 * (h - y) / h : 10 + 12 * (h - y) / h);
					face.pixels[static_cast<size_t>(y * w + x)] = pixel;
				}
			}
			collection.bitmaps.push_back(face);
			collection.instances.push_back(default_instance(instance, static_cast<int16>(w / 2), static_cast<int16>(h / 2), 0, 0));
			instance += 1;
		}
		collection.sequences.push_back(single_view_sequence("button", default_sequence(1, 2, 0, FIXED_ONE, 1, 0, 0),
			static_cast<int16>(instance - 2), NONE));
	}

	// The overlay: a title banner, transparent elsewhere.
	collection_bitmap_description overlay = plain_collection_bitmap("overlay", width, height, _8bit);
	overlay.flags |= _bitmap_color_key_transparency_flag;
	for (int32 y = 60; y < 170; ++y)
	{
		for (int32 x = 70; x < width - 70; ++x)
		{
			const bool edge = y < 64 || y >= 166 || x < 74 || x >= width - 74;
			overlay.pixels[static_cast<size_t>(y * width + x)] = edge ? band_color(_yellow_band, 30) :
				band_color(_yellow_band, 4 + ((x / 8 + y / 8) & 3) + 16 * (170 - y) / 110);
		}
	}
	collection.bitmaps.push_back(overlay);
	collection.instances.push_back(default_instance(instance, static_cast<int16>(width / 2), static_cast<int16>(height / 2), 0, 0));
	collection.sequences.push_back(single_view_sequence("overlay", default_sequence(1, 1, 0, FIXED_ONE, 1, 0, 0), instance, NONE));
	instance += 1;

	// The static backdrop: an evening sky over two ranges of hills, opaque.
	collection_bitmap_description backdrop = plain_collection_bitmap("backdrop", width, height, _8bit);
	for (int32 y = 0; y < height; ++y)
	{
		for (int32 x = 0; x < width; ++x)
		{
			const int32 far_ridge = 250 + (((x * 7) % 160) < 80 ? (x * 7) % 80 : 80 - (x * 7) % 80) / 2;
			const int32 near_ridge = 330 + (((x * 3 + 40) % 220) < 110 ? (x * 3 + 40) % 110 : 110 - (x * 3 + 40) % 110) / 2;
			uint8 pixel;
			if (y >= near_ridge) pixel = band_color(_green_band, 3 + (height - y) / 24);
			else if (y >= far_ridge) pixel = band_color(_cyan_band, 4 + (near_ridge - y) / 12);
			else pixel = band_color(_blue_band, 2 + y * 20 / height);
			backdrop.pixels[static_cast<size_t>(y * width + x)] = pixel;
		}
	}
	collection.bitmaps.push_back(backdrop);
	collection.instances.push_back(default_instance(instance, static_cast<int16>(width / 2), static_cast<int16>(height / 2), 0, 0));
	collection.sequences.push_back(single_view_sequence("backdrop", default_sequence(1, 1, 0, FIXED_ONE, 1, 0, 0), instance, NONE));
	return collection;
}

const default_collection_entry default_collections[] =
{
	{DEFAULT_UNIT_COLLECTION_TAG, "units", default_unit_collection},
	{DEFAULT_EFFECTS_COLLECTION_TAG, "effects", default_effects_collection},
	{DEFAULT_SCENERY_COLLECTION_TAG, "scenery", default_scenery_collection},
	{DEFAULT_LANDSCAPE_COLLECTION_TAG, "landscape", default_landscape_collection},
	{DEFAULT_DIALOG_ELEMENTS_COLLECTION_TAG, "dialog elements", default_dialog_elements_collection},
	{DEFAULT_MAIN_MENU_COLLECTION_TAG, "main menu", default_main_menu_collection},
};

const int32 number_of_default_collections = static_cast<int32>(NUMBEROF(default_collections));

/* ---------- collection references */

namespace
{
collection_reference empty_reference(file_tag collection_tag, int16 permutations)
{
	collection_reference reference;
	memset(&reference, 0, sizeof(reference));
	reference.collection_tag = collection_tag;
	reference.number_of_permutations = permutations;
	for (int32 p = 0; p < MAXIMUM_PERMUTATIONS_PER_COLLECTION_REFERENCE; ++p)
	{
		for (int32 c = 0; c < NUMBER_OF_REPLACEMENT_COLORS_PER_PERMUTATION; ++c) reference.colors[p][c].flags = _color_unused_flag;
	}
	return reference;
}

collection_reference default_unit_reference(void)
{
	// Three team colourings of the two hue changes; the rest unused.
	collection_reference reference = empty_reference(DEFAULT_UNIT_COLLECTION_TAG, 3);
	static const rgb_color primaries[3] = {{52000, 8000, 6000, 0}, {8000, 20000, 52000, 0}, {50000, 46000, 9000, 0}};
	static const rgb_color secondaries[3] = {{30000, 30000, 30000, 0}, {12000, 12000, 12000, 0}, {40000, 20000, 8000, 0}};
	for (int32 p = 0; p < 3; ++p)
	{
		reference.colors[p][0] = primaries[p];
		reference.colors[p][1] = secondaries[p];
	}
	// The third permutation keeps its legs as drawn.
	reference.colors[2][1].flags = _color_unused_flag;
	return reference;
}

collection_reference default_effects_reference(void)
{
	collection_reference reference = empty_reference(DEFAULT_EFFECTS_COLLECTION_TAG, 1);
	reference.tint_color.flags = _color_use_global_tint_flag;
	return reference;
}

collection_reference default_scenery_reference(void)
{
	collection_reference reference = empty_reference(DEFAULT_SCENERY_COLLECTION_TAG, 2);
	reference.tint_fraction = 64;
	reference.tint_color = {20000, 30000, 12000, 0};
	reference.flags = _core_override_player_tints_flag;
	reference.colors[1][0] = {40000, 36000, 30000, 0};
	return reference;
}
}

const default_collection_reference_entry default_collection_references[] =
{
	{DEFAULT_UNIT_REFERENCE_TAG, "units", default_unit_reference},
	{DEFAULT_EFFECTS_REFERENCE_TAG, "effects", default_effects_reference},
	{DEFAULT_SCENERY_REFERENCE_TAG, "scenery", default_scenery_reference},
};

const int32 number_of_default_collection_references = static_cast<int32>(NUMBEROF(default_collection_references));

bool make_default_collection_tags(std::vector<int32> *handles)
{
	for (int32 i = 0; i < number_of_default_collections; ++i)
	{
		const default_collection_entry &entry = default_collections[i];
		const int32 handle = make_collection_tag(entry.subgroup_tag, entry.name, entry.make());
		if (handle == NONE) return false;
		handles->push_back(handle);
	}
	for (int32 i = 0; i < number_of_default_collection_references; ++i)
	{
		const default_collection_reference_entry &entry = default_collection_references[i];
		const collection_reference reference = entry.make();
		// A reference may only name a collection the set writes.
		bool written = false;
		for (int32 c = 0; c < number_of_default_collections; ++c)
		{
			if (default_collections[c].subgroup_tag == reference.collection_tag) written = true;
		}
		if (!written) return false;
		const int32 handle = make_collection_reference_tag(entry.subgroup_tag, entry.name, reference);
		if (handle == NONE) return false;
		handles->push_back(handle);
	}
	return true;
}
