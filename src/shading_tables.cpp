#include "shading_tables.h"

#include <cmath>

#include "shapes.h"
#include "mesh.h"
#include "CoreLibrary/zerv/error_manager.h"
#include "CoreLibrary/zerv/shape_file.h"

/* ---------- module state */

enum // what a collection table holds, for get_unshaded_shading_table
{
	_shading_table_kind_lighting,
	_shading_table_kind_tinting,
	_shading_table_kind_mesh
};

static const shading_table_permutation_data initial_permutations[NUMBER_OF_SHADING_TABLE_PERMUTATIONS] =
{
	{_shading_mode_none, 0, {0, 0, 0, 0}},
	{_shading_mode_tint, 224, {47840, 51772, 48495, 0}},
	{_shading_mode_tint, 192, {41942, 19005, 48495, 0}},
	{_shading_mode_blend, 128, {0, 0, 32768, 0}},
	{_shading_mode_tint, 192, {16962, 14906, 13107, 0}},
	{_shading_mode_tint_and_blend_with_media, 224, {47840, 51772, 48495, 0}},
	{_shading_mode_tint_and_blend_with_media, 192, {41942, 19005, 48495, 0}},
	{_shading_mode_untinted, 0, {0, 0, 0, 0}}
};

static struct
{
	shading_table_permutation_data permutations[NUMBER_OF_SHADING_TABLE_PERMUTATIONS];
	// Written whenever a table is made, so every slot below a collection's
	// count names the kind of the table in it.
	uint8 table_kinds[MAXIMUM_COLLECTIONS_PER_MAP][MAXIMUM_SHADING_TABLES_PER_COLLECTION];
} shading_tables_globals =
{
	{
		initial_permutations[0], initial_permutations[1], initial_permutations[2], initial_permutations[3],
		initial_permutations[4], initial_permutations[5], initial_permutations[6], initial_permutations[7]
	},
	{}
};

void reset_shading_table_permutation_data(void)
{
	memcpy(shading_tables_globals.permutations, initial_permutations, sizeof(initial_permutations));
}

void set_shading_table_permutation_data(int16 permutation_index, int16 mode, short_fixed tint_fraction,
	const rgb_color *tint_color)
{
	if (permutation_index < 0 || permutation_index >= NUMBER_OF_SHADING_TABLE_PERMUTATIONS) return;
	shading_table_permutation_data *permutation = &shading_tables_globals.permutations[permutation_index];
	permutation->mode = mode;
	permutation->tint_fraction = tint_fraction;
	if (tint_color) permutation->tint_color = *tint_color;
	else permutation->tint_color = black;
}

int16 get_shading_table_permutation_data(int16 permutation_index, short_fixed *tint_fraction, rgb_color *tint_color)
{
	if (permutation_index < 0 || permutation_index >= NUMBER_OF_SHADING_TABLE_PERMUTATIONS) return NONE;
	const shading_table_permutation_data *permutation = &shading_tables_globals.permutations[permutation_index];
	if (tint_fraction) *tint_fraction = permutation->tint_fraction;
	if (tint_color) *tint_color = permutation->tint_color;
	return permutation->mode;
}

void get_shading_table_format(int16 bit_depth, int16 encoding, shading_table_format *format)
{
	const boolean wide = bit_depth == _32bit;
	format->bit_depth = bit_depth;
	format->encoding = encoding;
	format->shading_bits = wide ? SHADING_BITS32 : SHADING_BITS16;
	format->shading_tables = wide ? SHADING_TABLES32 : SHADING_TABLES16;
	format->shading_table_size = wide ? SHADING_TABLE_SIZE32 : SHADING_TABLE_SIZE16;
	format->lighting_shading_tables_size = format->shading_tables * format->shading_table_size;
	format->tinting_shading_tables_size = NUMBER_OF_SHADING_TABLE_PERMUTATIONS * format->shading_table_size;
}

// The map's table format; the software rasterizer's before shapes start.
static void get_map_shading_table_format(shading_table_format *format)
{
	const shapes_globals_data *globals = get_shapes_globals();
	if (globals && (globals->bit_depth == _16bit || globals->bit_depth == _32bit))
		get_shading_table_format(globals->bit_depth, globals->encoding, format);
	else
		get_shading_table_format(_32bit, _32bit_encoding, format);
}

/* ---------- entries */

static inline int64 clamp_component(int64 value)
{
	return PIN(value, 0, 65535);
}

// One entry in the given encoding; in_range when the components are known
// to lie in 0-65535 already.
template <int16 encoding, bool in_range = false>
static inline uint32 shading_entry(int64 r, int64 g, int64 b)
{
	const uint32 red_component = static_cast<uint32>(in_range ? r : clamp_component(r));
	const uint32 green_component = static_cast<uint32>(in_range ? g : clamp_component(g));
	const uint32 blue_component = static_cast<uint32>(in_range ? b : clamp_component(b));

	if constexpr (encoding == _16bit_555_encoding)
		return ((red_component >> 1) & 0x7C00) | ((green_component >> 6) & 0x03E0) | ((blue_component >> 11) & 0x1F);
	else if constexpr (encoding == _16bit_565_encoding)
		return (red_component & 0xF800) | ((green_component >> 5) & 0x07E0) | ((blue_component >> 11) & 0x1F);
	else
		return ((red_component << 8) & 0xFF0000) | (green_component & 0xFF00) | ((blue_component >> 8) & 0xFF);
}

// Writes one entry and returns the next position.
template <int16 encoding, bool wide, bool in_range = false>
static inline uint8 *write_shading_entry(uint8 *out, int64 r, int64 g, int64 b)
{
	const uint32 entry = shading_entry<encoding, in_range>(r, g, b);
	if constexpr (wide)
	{
		memcpy(out, &entry, sizeof(entry));
		return out + sizeof(entry);
	}
	else
	{
		const uint16 narrow = static_cast<uint16>(entry);
		memcpy(out, &narrow, sizeof(narrow));
		return out + sizeof(narrow);
	}
}

// Runs fill.operator()<encoding, wide>() for the table's format, so the
// entry loop is compiled once per format instead of choosing per entry.
// Other encodings write nothing.
template <typename fill_function>
static void fill_for_entry_format(int16 bit_depth, int16 encoding, fill_function &&fill)
{
	const boolean wide = bit_depth == _32bit;
	switch (encoding)
	{
	case _16bit_555_encoding:
		if (wide) fill.template operator()<_16bit_555_encoding, true>();
		else fill.template operator()<_16bit_555_encoding, false>();
		break;
	case _16bit_565_encoding:
		if (wide) fill.template operator()<_16bit_565_encoding, true>();
		else fill.template operator()<_16bit_565_encoding, false>();
		break;
	case _32bit_encoding:
		if (wide) fill.template operator()<_32bit_encoding, true>();
		else fill.template operator()<_32bit_encoding, false>();
		break;
	default:
		break;
	}
}

static inline int32 entry_size_for_bit_depth(int16 bit_depth)
{
	return bit_depth == _32bit ? 4 : 2;
}

/* ---------- builders */

void build_transparency_table(int16 transparency_mode, uint8 *table)
{
	if (!table) return;

	switch (transparency_mode)
	{
	case _transparency_normal:
		for (int32 level = 0; level < NUMBER_OF_TRANSPARENCY_LEVELS; ++level)
			for (int32 a = 0; a < 32; ++a)
				for (int32 b = 0; b < 32; ++b)
					table[(level << 10) | (a << 5) | b] = static_cast<uint8>((level * a + (15 - level) * b + 7) / 15);
		break;
	case _transparency_overlay:
		for (int32 level = 0; level < NUMBER_OF_TRANSPARENCY_LEVELS; ++level)
		{
			const int32 weight = 15 - level;
			for (int32 a = 0; a < 32; ++a)
				for (int32 b = 0; b < 32; ++b)
					table[(level << 10) | (a << 5) | b] = static_cast<uint8>((465 * a + weight * b * (b - a) + 232) / 465);
		}
		break;
	default:
		break;
	}
}

static const rgb_color *color_or_black(const rgb_color *color)
{
	return color ? color : &black;
}

void build_colored_shading_table(int16 bit_depth, int16 encoding, int16 shading_levels, const color_table *colors,
	void *shading_table, short_fixed dark_color_fraction, const rgb_color *dark_color, fixed transition_point,
	short_fixed light_color_fraction, const rgb_color *light_color)
{
	if (!colors || !shading_table || shading_levels < 1) return;

	const int32 count = color_table_usable_count(colors);
	const int32 level_size = SHADING_TABLE_ENTRIES * entry_size_for_bit_depth(bit_depth);
	const int32 levels = shading_levels;
	const int32 t = static_cast<int16>((static_cast<int64>(transition_point) * (levels - 1)) >> 16);
	const rgb_color *dark = color_or_black(dark_color);
	const rgb_color *light = color_or_black(light_color);

	for (int32 level = 0; level < levels; ++level)
	{
		uint8 *out = static_cast<uint8 *>(shading_table) + static_cast<int64>(level) * level_size;
		const rgb_color *target;
		int64 f;

		if (levels == 1)
		{
			target = dark;
			f = 0;
		}
		else if (level > t)
		{
			target = light;
			f = static_cast<int16>(static_cast<int64>(light_color_fraction) * (level - t) / (levels - 1 - t));
		}
		else
		{
			target = dark;
			// At t = 0 the only such level is 0: it takes the whole dark fraction.
			f = t == 0 ? dark_color_fraction :
				static_cast<int16>(static_cast<int64>(dark_color_fraction) * (t - level) / t);
		}

		fill_for_entry_format(bit_depth, encoding, [&]<int16 entry_encoding, bool wide>() {
			// With f in 0-256 each component is a mix of two 16-bit values: no clamping.
			auto fill_level = [&]<bool in_range>() {
				for (int32 i = 0; i < count; ++i)
				{
					const rgb_color *c = &colors->colors[i];
					out = write_shading_entry<entry_encoding, wide, in_range>(out,
						(static_cast<int64>(c->red) * (256 - f) + static_cast<int64>(target->red) * f) >> 8,
						(static_cast<int64>(c->green) * (256 - f) + static_cast<int64>(target->green) * f) >> 8,
						(static_cast<int64>(c->blue) * (256 - f) + static_cast<int64>(target->blue) * f) >> 8);
				}
			};
			if (f >= 0 && f <= 256) fill_level.template operator()<true>();
			else fill_level.template operator()<false>();
		});
	}
}

static inline int64 luminance(const int64 c[3])
{
	return (2 * c[0] + 3 * c[1] + c[2]) / 5;
}

void build_shading_table(int16 bit_depth, int16 encoding, int16 shading_levels, const color_table *colors,
	void *shading_table, int16 mode, short_fixed tint_fraction1, const rgb_color *tint_color1,
	short_fixed tint_fraction2, const rgb_color *tint_color2)
{
	if (!colors || !shading_table || shading_levels < 1) return;

	const int32 count = color_table_usable_count(colors);
	const int32 level_size = SHADING_TABLE_ENTRIES * entry_size_for_bit_depth(bit_depth);
	const int32 levels = shading_levels;
	const int64 f1 = tint_fraction1, f2 = tint_fraction2;
	const rgb_color *tint1 = color_or_black(tint_color1);
	const rgb_color *tint2 = color_or_black(tint_color2);
	const int64 tint1_components[3] = {tint1->red, tint1->green, tint1->blue};
	const int64 tint2_components[3] = {tint2->red, tint2->green, tint2->blue};
	const shading_table_permutation_data *reflection = &shading_tables_globals.permutations[_shading_table_reflection];
	const int64 fr = reflection->tint_fraction;
	const int64 media[3] = {reflection->tint_color.red, reflection->tint_color.green, reflection->tint_color.blue};
	const boolean global_tint = f2 != 0 && mode != _shading_mode_untinted;

	fill_for_entry_format(bit_depth, encoding, [&]<int16 entry_encoding, bool wide>() {
		for (int32 level = 0; level < levels; ++level)
		{
			uint8 *out = static_cast<uint8 *>(shading_table) + static_cast<int64>(level) * level_size;
			for (int32 i = 0; i < count; ++i)
			{
				const rgb_color *color = &colors->colors[i];
				int64 c[3] = {color->red, color->green, color->blue};

				if (levels > 1)
					for (int64 &component : c) component = (component * level + (levels - 1) / 2) / (levels - 1);

				const int64 y = luminance(c);
				if (f1 != 0)
				{
					switch (mode)
					{
					case _shading_mode_blend:
						for (int32 k = 0; k < 3; ++k) c[k] = (tint1_components[k] * f1 + c[k] * (256 - f1)) >> 8;
						break;
					case _shading_mode_tint:
					case _shading_mode_tint_and_blend_with_media:
					{
						const int64 weight = (y * f1) >> 16;
						for (int32 k = 0; k < 3; ++k) c[k] = (c[k] * (256 - f1) + tint1_components[k] * weight) >> 8;
						if (mode == _shading_mode_tint_and_blend_with_media)
							for (int32 k = 0; k < 3; ++k) c[k] = (c[k] * (256 - fr) + media[k] * fr) >> 8;
						break;
					}
					default:
						break;
					}
				}

				if (global_tint)
				{
					const int64 weight = (luminance(c) * f2) >> 16;
					for (int32 k = 0; k < 3; ++k) c[k] = (c[k] * (256 - f2) + tint2_components[k] * weight) >> 8;
				}

				out = write_shading_entry<entry_encoding, wide>(out, c[0], c[1], c[2]);
			}
		}
	});
}

static uint8 tint_shader_byte(double value)
{
	if (value <= 0.0) return 0;
	if (value >= 1.0) return 255;
	// Rounding can reach 256 just below 1.0.
	const double scaled = std::floor(value * 256.0 + 0.5);
	return static_cast<uint8>(scaled > 255.0 ? 255 : static_cast<int32>(scaled));
}

void build_tinting_shader(uint8 *tint_shader, int16 mode, short_fixed fraction, const rgb_color *color,
	short_fixed global_tint_fraction, const rgb_color *global_tint_color)
{
	if (!tint_shader) return;

	const rgb_color *tint = color_or_black(color);
	double t = 0.0, r = 0.0, g = 0.0, b = 0.0;
	if (mode == _shading_mode_tint || mode == _shading_mode_tint_and_blend_with_media)
	{
		t = fraction / 256.0;
		r = tint->red / 65536.0;
		g = tint->green / 65536.0;
		b = tint->blue / 65536.0;
	}

	double fb = 0.0, br = 0.0, bg = 0.0, bb = 0.0;
	if (mode == _shading_mode_blend)
	{
		fb = fraction / 256.0;
		br = tint->red / 65536.0;
		bg = tint->green / 65536.0;
		bb = tint->blue / 65536.0;
	}
	else if (mode == _shading_mode_tint_and_blend_with_media)
	{
		const shading_table_permutation_data *reflection =
			&shading_tables_globals.permutations[_shading_table_reflection];
		fb = reflection->tint_fraction / 256.0;
		br = reflection->tint_color.red / 65536.0;
		bg = reflection->tint_color.green / 65536.0;
		bb = reflection->tint_color.blue / 65536.0;
	}
	const double lb = 0.4 * br + 0.6 * bg + 0.2 * bb;

	double gf = 0.0, gr = 0.0, gg = 0.0, gb = 0.0;
	if (global_tint_color)
	{
		gf = global_tint_fraction / 256.0;
		gr = global_tint_color->red / 65536.0;
		gg = global_tint_color->green / 65536.0;
		gb = global_tint_color->blue / 65536.0;
	}

	const double p = (1.0 - fb) * (1.0 - gf);
	const double q = (t * (1.0 - fb) * (0.4 * r + 0.6 * g + 0.2 * b) + (1.0 - t) * (1.0 - fb)) * gf;

	tint_shader[0] = tint_shader_byte(p * (1.0 - t));
	tint_shader[1] = tint_shader_byte((1.0 - gf) * fb * br + lb * fb * gf * gr);
	tint_shader[2] = tint_shader_byte((1.0 - gf) * fb * bg + lb * fb * gf * gg);
	tint_shader[3] = tint_shader_byte((1.0 - gf) * fb * bb + lb * fb * gf * gb);
	tint_shader[4] = tint_shader_byte(p * t * r + q * gr);
	tint_shader[5] = tint_shader_byte(p * t * g + q * gg);
	tint_shader[6] = tint_shader_byte(p * t * b + q * gb);
	tint_shader[7] = 0;
}

void build_blend_table(const color_table *colors, uint8 *blend_table)
{
	if (!colors || !blend_table) return;

	const int32 count = color_table_usable_count(colors);
	memset(blend_table, 0, BLEND_TABLE_SIZE);
	for (int32 b = 0; b < count; ++b)
	{
		for (int32 a = 0; a < count; ++a)
		{
			uint8 entry;
			if (b == 0) entry = static_cast<uint8>(a);
			else if (a == 0) entry = static_cast<uint8>(b);
			else
			{
				const rgb_color *ca = &colors->colors[a], *cb = &colors->colors[b];
				const rgb_color average =
				{
					static_cast<uint16>((ca->red + cb->red) >> 1),
					static_cast<uint16>((ca->green + cb->green) >> 1),
					static_cast<uint16>((ca->blue + cb->blue) >> 1),
					0
				};
				entry = static_cast<uint8>(closest_color_in_color_table(colors, &average));
			}
			blend_table[b * 256 + a] = entry;
		}
	}
}

/* ---------- collection tables */

// The collection's colours as a full table with a usable count.
static boolean copy_collection_colors(int16 collection_index, color_table *colors)
{
	const color_table *original = get_color_table(collection_index, 0);
	memset(colors, 0, sizeof(*colors));
	if (!original) return FALSE;
	*colors = *original;
	colors->color_count = color_table_usable_count(original);
	return TRUE;
}

static int16 collection_hue_changes(int16 collection_index, const hue_change **hue_changes)
{
	int16 count = 0;
	*hue_changes = get_collection_hue_changes(collection_index, &count);
	if (!*hue_changes) return 0;
	// The header records at most 8.
	return static_cast<int16>(PIN(count, 0, MAXIMUM_SHADING_TABLE_HUE_CHANGES));
}

static boolean collection_has_room(int16 collection_index, const collection_header *header)
{
	// A count that names no slot is never written through.
	if (header->shading_table_count < 0) return FALSE;
	if (header->shading_table_count < MAXIMUM_SHADING_TABLES_PER_COLLECTION) return TRUE;
	error_message(_error_array_full, MODULE_NAME, __LINE__, "can't add more than #%d color tables (%s collection).",
		MAXIMUM_SHADING_TABLES_PER_COLLECTION, get_collection_name(collection_index));
	return FALSE;
}

// A zeroed block of header and data size bytes, or NULL (reported).
static shading_table_header *allocate_collection_table(int16 collection_index, const collection_header *header,
	int32 data_size, int32 level_size)
{
	shading_table_header *table =
		static_cast<shading_table_header *>(new_pointer_z(sizeof(shading_table_header) + static_cast<size_t>(data_size)));
	if (!table)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__,
			"couldn't allocate #%d bytes for shading table #%d of %s collection.", level_size,
			header->shading_table_count, get_collection_name(collection_index));
	}
	return table;
}

static int16 store_collection_table(int16 collection_index, collection_header *header, void **slots,
	shading_table_header *table, uint8 kind)
{
	const int16 index = static_cast<int16>(header->shading_table_count);
	slots[index] = table;
	header->shading_table_count = index + 1;
	if (collection_index >= 0 && collection_index < MAXIMUM_COLLECTIONS_PER_MAP)
		shading_tables_globals.table_kinds[collection_index][index] = kind;
	return index;
}

static uint8 *shading_table_data(shading_table_header *table)
{
	return reinterpret_cast<uint8 *>(table) + sizeof(shading_table_header);
}

struct mesh_lighting
{
	short_fixed dark_fraction, light_fraction;
	rgb_color dark_color, light_color;
	fixed transition_point;
};

// The current map's lighting; none (plain colours) without a map.
static void get_mesh_lighting(mesh_lighting *lighting)
{
	memset(lighting, 0, sizeof(*lighting));
	const mesh_header *header = get_mesh_header();
	if (!header) return;
	lighting->dark_fraction = header->dark_fraction;
	lighting->light_fraction = header->light_fraction;
	lighting->dark_color = header->dark_color;
	lighting->light_color = header->light_color;
	lighting->transition_point = header->transition_point;
}

// The hardware path colours every table's sprites through these alone, so
// every kind of table carries the permutations' tints, with the given tint
// over them.
static void build_permutation_tint_shaders(shading_table_header *table, short_fixed tint_fraction,
	const rgb_color *tint_color)
{
	for (int16 p = 0; p < NUMBER_OF_SHADING_TABLE_PERMUTATIONS; ++p)
	{
		const shading_table_permutation_data *permutation = &shading_tables_globals.permutations[p];
		build_tinting_shader(table->tint_shader_data[p], permutation->mode, permutation->tint_fraction,
			&permutation->tint_color, tint_fraction, tint_color);
	}
}

int16 add_shading_table_to_collection_index(int16 collection_index, const rgb_color *replacement_colors, int16 mode,
	short_fixed tint_fraction, const rgb_color *tint_color)
{
	collection_header *header = get_collection_header(collection_index);
	void **slots = get_collection_shading_table_pointers(collection_index);
	if (!header || !slots) return NONE;

	// Without replacement colours table 0, whatever its kind, serves.
	if (!replacement_colors && header->shading_table_count > 0) return 0;
	if (!collection_has_room(collection_index, header)) return NONE;

	shading_table_format format;
	get_map_shading_table_format(&format);
	const boolean lighting = mode == _add_shading_table_for_lighting;
	const int32 data_size = lighting ? format.lighting_shading_tables_size : format.tinting_shading_tables_size;
	shading_table_header *table = allocate_collection_table(collection_index, header, data_size,
		format.shading_table_size);
	if (!table) return NONE;

	color_table colors;
	if (!copy_collection_colors(collection_index, &colors))
	{
		dispose_pointer(table);
		return NONE;
	}
	if (replacement_colors)
	{
		const hue_change *hue_changes;
		const int16 hue_change_count = collection_hue_changes(collection_index, &hue_changes);
		colorize_color_table(&colors, &colors, hue_changes, replacement_colors, hue_change_count);
		for (int16 i = 0; i < hue_change_count; ++i)
		{
			rgb_color_to_hsv_color(&replacement_colors[i], &table->hue_change_data[i].replacement_color);
			table->hue_change_data[i].median_hue = hue_changes[i].median_hue;
		}
		table->hue_change_count = hue_change_count;
	}

	uint8 *data = shading_table_data(table);
	if (lighting)
	{
		mesh_lighting light;
		get_mesh_lighting(&light);
		build_colored_shading_table(format.bit_depth, format.encoding, format.shading_tables, &colors, data,
			light.dark_fraction, &light.dark_color, light.transition_point, light.light_fraction, &light.light_color);
	}
	else
	{
		for (int16 p = 0; p < NUMBER_OF_SHADING_TABLE_PERMUTATIONS; ++p)
		{
			const shading_table_permutation_data *permutation = &shading_tables_globals.permutations[p];
			build_shading_table(format.bit_depth, format.encoding, 1, &colors, data + p * format.shading_table_size,
				permutation->mode, permutation->tint_fraction, &permutation->tint_color, tint_fraction, tint_color);
		}
	}
	build_permutation_tint_shaders(table, tint_fraction, tint_color);

	return store_collection_table(collection_index, header, slots, table,
		lighting ? _shading_table_kind_lighting : _shading_table_kind_tinting);
}

int16 add_adjusted_shading_table_to_collection_index(int16 collection_index, const rgb_color *replacement_colors,
	const rgb_color *primary_color, const rgb_color *secondary_color, int16 mode, boolean use_global_tint,
	short_fixed tint_fraction, const rgb_color *tint_color)
{
	rgb_color adjusted[MAXIMUM_SHADING_TABLE_HUE_CHANGES];
	const rgb_color *colors = NULL;

	if (replacement_colors)
	{
		const hue_change *hue_changes;
		const int16 hue_change_count = collection_hue_changes(collection_index, &hue_changes);
		memset(adjusted, 0, sizeof(adjusted));
		for (int16 i = 0; i < hue_change_count; ++i)
		{
			rgb_color color = replacement_colors[i];
			const uint16 flags = hue_changes[i].flags;
			if ((flags & _hue_change_primary_flag) && primary_color && !(color.flags & _color_unused_flag) &&
				!(primary_color->flags & _color_unused_flag))
			{
				color = *primary_color;
			}
			else if ((flags & _hue_change_secondary_flag) && secondary_color && !(color.flags & _color_unused_flag) &&
				!(secondary_color->flags & _color_unused_flag))
			{
				color = *secondary_color;
			}
			adjusted[i] = color;
		}
		colors = adjusted;
	}

	if (use_global_tint)
	{
		tint_color = get_global_tint_color();
		tint_fraction = get_global_tint_fraction();
	}
	return add_shading_table_to_collection_index(collection_index, colors, mode, tint_fraction, tint_color);
}

int16 add_shading_table_to_mesh(int16 collection_index, short_fixed dark_color_fraction, const rgb_color *dark_color,
	fixed transition_point, short_fixed light_color_fraction, const rgb_color *light_color)
{
	collection_header *header = get_collection_header(collection_index);
	void **slots = get_collection_shading_table_pointers(collection_index);
	if (!header || !slots) return NONE;
	if (!collection_has_room(collection_index, header)) return NONE;

	// Always 32-bit entries: the map's encoding and levels only when it is 32-bit itself.
	shading_table_format format;
	get_map_shading_table_format(&format);
	const int16 encoding = format.bit_depth == _32bit ? format.encoding : static_cast<int16>(_32bit_encoding);
	const int16 levels = format.bit_depth == _32bit ? format.shading_tables : static_cast<int16>(SHADING_TABLES32);
	const int32 data_size = levels * SHADING_TABLE_SIZE32;

	shading_table_header *table = allocate_collection_table(collection_index, header, data_size, SHADING_TABLE_SIZE32);
	if (!table) return NONE;

	color_table colors;
	if (!copy_collection_colors(collection_index, &colors))
	{
		dispose_pointer(table);
		return NONE;
	}
	build_colored_shading_table(_32bit, encoding, levels, &colors, shading_table_data(table), dark_color_fraction,
		dark_color, transition_point, light_color_fraction, light_color);
	// A sprite's table index clamps onto this table when it is the last.
	build_permutation_tint_shaders(table, 0, NULL);
	return store_collection_table(collection_index, header, slots, table, _shading_table_kind_mesh);
}

boolean add_blend_table_to_collection_index(int16 collection_index)
{
	(void)collection_index;
	return TRUE;
}

// The clamped table of a collection, building a plain tinting table when it
// has none; NULL when there is no collection or the build failed.
static shading_table_header *find_collection_table(int16 collection_index, int16 shading_table_index,
	int16 *clamped_index)
{
	collection_header *header = get_collection_header(collection_index);
	void **slots = get_collection_shading_table_pointers(collection_index);
	if (!header || !slots) return NULL;

	if (header->shading_table_count <= 0 &&
		add_shading_table_to_collection_index(collection_index, NULL, _add_shading_table_for_tinting,
			static_cast<short_fixed>(0), NULL) == NONE)
		return NULL;

	const int32 count = MIN(header->shading_table_count, MAXIMUM_SHADING_TABLES_PER_COLLECTION);
	if (count <= 0) return NULL;
	const int16 index = static_cast<int16>(PIN(static_cast<int32>(shading_table_index), 0, count - 1));
	if (clamped_index) *clamped_index = index;
	return static_cast<shading_table_header *>(slots[index]);
}

void *get_shading_table(int16 collection_index, int16 shading_table_index, int16 permutation)
{
	shading_table_header *table = find_collection_table(collection_index, shading_table_index, NULL);
	if (!table) return NULL;

	uint8 *data = shading_table_data(table);
	if (permutation < 0 || permutation >= NUMBER_OF_SHADING_TABLE_PERMUTATIONS) return data;
	shading_table_format format;
	get_map_shading_table_format(&format);
	return data + permutation * format.shading_table_size;
}

void *get_mesh_shading_table(int16 collection_index)
{
	collection_header *header = get_collection_header(collection_index);
	void **slots = get_collection_shading_table_pointers(collection_index);
	if (!header || !slots || collection_index < 0 || collection_index >= MAXIMUM_COLLECTIONS_PER_MAP) return NULL;
	const int32 count = MIN(header->shading_table_count, MAXIMUM_SHADING_TABLES_PER_COLLECTION);
	for (int32 index = count - 1; index >= 0; --index)
	{
		if (shading_tables_globals.table_kinds[collection_index][index] == _shading_table_kind_mesh && slots[index])
		{
			return shading_table_data(static_cast<shading_table_header *>(slots[index]));
		}
	}
	return NULL;
}

shading_table_header *get_shading_table_header(int16 collection_index, int16 shading_table_index)
{
	return find_collection_table(collection_index, shading_table_index, NULL);
}

void *get_unshaded_shading_table(int16 collection_index, int16 shading_table_index)
{
	int16 index = 0;
	shading_table_header *table = find_collection_table(collection_index, shading_table_index, &index);
	if (!table) return NULL;

	uint8 *data = shading_table_data(table);
	const uint8 kind = collection_index < MAXIMUM_COLLECTIONS_PER_MAP ?
		shading_tables_globals.table_kinds[collection_index][index] : static_cast<uint8>(_shading_table_kind_tinting);
	shading_table_format format;
	get_map_shading_table_format(&format);
	switch (kind)
	{
	case _shading_table_kind_lighting:
		return data + format.lighting_shading_tables_size - format.shading_table_size;
	case _shading_table_kind_mesh:
	{
		const int16 levels = format.bit_depth == _32bit ? format.shading_tables : static_cast<int16>(SHADING_TABLES32);
		return data + (levels - 1) * SHADING_TABLE_SIZE32;
	}
	default:
		// A tinting table has no brightest level.
		return data;
	}
}

void *new_temporary_shading_table(int16 collection_index, const rgb_color *replacement_colors,
	boolean match_active_screen)
{
	color_table colors;
	if (!copy_collection_colors(collection_index, &colors)) return NULL;
	if (replacement_colors)
	{
		const hue_change *hue_changes;
		const int16 hue_change_count = collection_hue_changes(collection_index, &hue_changes);
		colorize_color_table(&colors, &colors, hue_changes, replacement_colors, hue_change_count);
	}

	shading_table_format format;
	if (match_active_screen) get_shading_table_format(_32bit, _32bit_encoding, &format);
	else get_map_shading_table_format(&format);

	void *table = new_pointer_z(SHADING_TABLE_SIZE32);
	if (!table) return NULL;
	build_shading_table(format.bit_depth, format.encoding, 1, &colors, table, _shading_mode_none, 0, NULL, 0, NULL);
	return table;
}

void dispose_temporary_shading_table(void *table)
{
	dispose_pointer(table);
}
