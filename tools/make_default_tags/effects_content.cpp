#include "effects_content.h"

#include <cstring>
#include <iterator>

#include "bitmaps.h"
#include "collections_content.h"
#include "geometry.h"
#include "level_scenes_content.h"
#include "media.h"
#include "mesh_content.h"
#include "models.h"
#include "object_definitions.h"
#include "projectile_group_definitions.h"
#include "objects_content.h"
#include "scenery_definitions.h"
#include "tag_files/tag_files.h"

namespace {

constexpr file_tag no_tag = static_cast<file_tag>(NONE);

// Soft enough to sit on the terrain.
color_table particle_colors(void)
{
	color_table colors = banded_color_table(30000, 700, 20000, 1400);
	// Band 7 is the smoke's, the debris's and the scorch's neutral grey, not
	// the hue its place would give.
	for (int32 level = 1; level < 32; ++level)
	{
		const uint16 grey = static_cast<uint16>(14000 + level * 1500);
		colors.colors[7 * 32 + level] = {grey, grey, grey, 0};
	}
	return colors;
}

enum
{
	_red = 0,
	_yellow = 1,
	_green = 2,
	_cyan = 4,
	_blue = 5,
	_grey = 7
};

uint8 shade(int32 band, int32 level)
{
	return static_cast<uint8>(band * 32 + 1 + PIN(level, 0, 30));
}

// An 8-bit blob (ellipse, or ring when hollow) of one band; 0 outside.
collection_bitmap_description blob(const char *name, int16 width, int16 height, int32 band, bool ring,
	drawing_random *random)
{
	collection_bitmap_description bitmap = plain_collection_bitmap(name, width, height, _8bit);
	const int32 cx = width / 2, cy = height / 2;
	for (int32 y = 0; y < height; ++y)
	{
		for (int32 x = 0; x < width; ++x)
		{
			const int32 dx = (x - cx) * 256 / MAX(cx, 1), dy = (y - cy) * 256 / MAX(cy, 1);
			const int32 r2 = dx * dx + dy * dy;
			if (r2 > 256 * 256 || (ring && r2 < 160 * 160)) continue;
			bitmap.pixels[static_cast<size_t>(y * width + x)] = shade(band, 10 + static_cast<int32>(random->next(12)));
		}
	}
	return bitmap;
}

// A scorch-sized 8-bit picture, each texel made from its distance to the
// middle: 0 there, 256 at the ellipse's rim.
template <typename Texel>
collection_bitmap_description scorch_picture(const char *name, int16 width, int16 height, Texel texel)
{
	collection_bitmap_description bitmap = plain_collection_bitmap(name, width, height, _8bit);
	for (int32 y = 0; y < height; ++y)
	{
		for (int32 x = 0; x < width; ++x)
		{
			const int32 dx = 2 * x + 1 - width, dy = 2 * y + 1 - height; // in half texels from the middle
			bitmap.pixels[static_cast<size_t>(y * width + x)] =
				texel(dx * dx * 256 / (width * width) + dy * dy * 256 / (height * height));
		}
	}
	return bitmap;
}

// A scorch's ash: a few dark greys, sparse, thinning towards a ragged rim.
collection_bitmap_description ash_bitmap(const char *name, int16 width, int16 height)
{
	drawing_random random = {0x41534821u};
	return scorch_picture(name, width, height, [&random](int32 d) {
		const int32 cover = d < 256 ? 72 - d * 56 / 256 : 0; // of 256
		const int32 level = 3 + static_cast<int32>(random.next(4));
		return static_cast<int32>(random.next(256)) < cover ? shade(_grey, level) : static_cast<uint8>(0);
	});
}

// Darkness for a scorch's shadow map: deepest in the middle, fading to a
// ragged rim, with a little grain so that stacked stains do not band.
collection_bitmap_description burn_bitmap(const char *name, int16 width, int16 height)
{
	drawing_random random = {0x4255524Eu};
	return scorch_picture(name, width, height, [&random](int32 d) {
		const int32 rim = 256 - static_cast<int32>(random.next(64));
		const int32 grain = static_cast<int32>(random.next(3));
		return static_cast<uint8>(d < rim ? 2 + (rim - d) * 8 / 256 + grain : 0);
	});
}

// A debris chip's shade: a few texels of shallow darkness, deepest in the
// middle (a shadow map's bytes are darkness: 28 takes about a ninth of the light).
#define CHIP_SHADE_SIZE 3
collection_bitmap_description chip_shade_bitmap(const char *name)
{
	collection_bitmap_description bitmap = plain_collection_bitmap(name, CHIP_SHADE_SIZE, CHIP_SHADE_SIZE, _8bit);
	const uint8 texels[CHIP_SHADE_SIZE * CHIP_SHADE_SIZE] = {0, 12, 0, 12, 28, 12, 0, 12, 0};
	for (int32 i = 0; i < CHIP_SHADE_SIZE * CHIP_SHADE_SIZE; ++i) bitmap.pixels[static_cast<size_t>(i)] = texels[i];
	return bitmap;
}

// A 16-bit picture with a 4-bit transparency a texel (0 opaque, 15 clear):
// texel(x, y, &level) gives the colour and sets the level. Plain, a texture's
// picture; or in rows of spans, as sprites are drawn, clear texels as gaps.
template <typename Texel>
collection_bitmap_description translucent_picture(const char *name, int16 width, int16 height, bool spans, Texel texel)
{
	collection_bitmap_description bitmap = plain_collection_bitmap(name, width, height, _16bit);
	bitmap.flags = spans ? static_cast<int16>(_bitmap_extended_encoding_flag | _1bit_transparency_encoded_flag |
		_word_aligned_encoding_flag | _4bit_transparency_encoded_flag) : static_cast<int16>(_4bit_transparency_encoded_flag);
	bitmap.encoding = _16bit_555_encoding;
	if (spans) bitmap.pixels.clear();
	for (int32 y = 0; y < height; ++y)
	{
		std::vector<int16> row_spans;
		std::vector<uint8> row_pixels;
		for (int32 x = 0; x < width; ++x)
		{
			int32 level = 15;
			const uint8 colour = texel(x, y, &level);
			level = PIN(level, 0, 15);
			const uint16 pixel = static_cast<uint16>((level << ENCODED_TRANSPARENCY_BIT_OFFSET) | colour);
			if (!spans)
			{
				memcpy(&bitmap.pixels[static_cast<size_t>(2 * (y * width + x))], &pixel, 2);
				continue;
			}
			if (level == 15) continue;
			add_row_span_pixel(&row_spans, &row_pixels, x, pixel);
		}
		if (spans) append_row_span_row(&bitmap, row_spans, row_pixels);
	}
	return bitmap;
}

// A bolt's stroke: the bolt runs along the picture's rows (the renderer lays
// its columns along the segment and its rows across), a white-hot core a few
// rows wide in a blue glow that fades to clear. A bolt drawn as a wide opaque
// band reads as a river on the grass. Each entry of the profile is one row
// further from the middle: its band, shade and transparency level.
struct stroke_texel
{
	int32 band, level, transparency;
};

collection_bitmap_description bolt_stroke_bitmap(const char *name, int16 width, int16 height,
	const std::vector<stroke_texel> &profile)
{
	return translucent_picture(name, width, height, false, [&](int32, int32 y, int32 *level) {
		const int32 from_middle = y < height / 2 ? height / 2 - 1 - y : y - height / 2;
		if (from_middle >= static_cast<int32>(profile.size()))
		{
			*level = 15;
			return shade(_blue, 24); // clear, but the glow's colour where filtering reaches it
		}
		const stroke_texel &t = profile[static_cast<size_t>(from_middle)];
		*level = t.transparency;
		return shade(t.band, t.level);
	});
}

// A flame's tongue standing on the bottom row: pointed at the top, widest
// two thirds down. A white-hot heart in gold and a red rim, the rim and the
// tip mostly clear, so that what stands behind a fire shows through it.
collection_bitmap_description flame_bitmap(const char *name, int16 width, int16 height)
{
	drawing_random own = {0x464C414Du}, *random = &own;
	return translucent_picture(name, width, height, true, [&](int32 x, int32 y, int32 *level) {
		// t from 0 at the tip to 256 at the foot; the tongue's half width there, of 256.
		const int32 t = (2 * y + 1) * 128 / height;
		const int32 half = t < 176 ? 64 + t * 192 / 176 : 256 - (t - 176) * 160 / 80;
		const int32 across = abs(2 * x + 1 - width) * 256 / width; // 0 in the middle, 256 at the sides
		const int32 ragged = static_cast<int32>(random->next(48));
		const int32 d = across * 256 / MAX(half, 1) + ragged - 24; // 256 at the tongue's edge
		if (d >= 256) return static_cast<uint8>(0);
		const int32 tip = t < 96 ? (96 - t) / 24 : 0; // the tip burns thinner
		if (d < 96 && t > 96)
		{
			*level = 3 + tip;
			return random->next(3) ? shade(_yellow, 30) : shade(_grey, 30);
		}
		if (d < 176)
		{
			*level = 7 + tip;
			return shade(_yellow, 24 + static_cast<int32>(random->next(6)));
		}
		*level = 10 + tip;
		return shade(_red, 26 + static_cast<int32>(random->next(4)));
	});
}

// A smoke puff: a soft grey ball, thin all through and thinner to its rim,
// so that the fires' smoke veils what lies behind it rather than hiding it.
collection_bitmap_description smoke_bitmap(const char *name, int16 side)
{
	drawing_random own = {0x534D4F4Bu}, *random = &own;
	return translucent_picture(name, side, side, true, [&](int32 x, int32 y, int32 *level) {
		const int32 dx = 2 * x + 1 - side, dy = 2 * y + 1 - side;
		const int32 d = (dx * dx + dy * dy) * 256 / (side * side); // 256 at the rim
		const int32 grain = static_cast<int32>(random->next(2));
		if (d >= 256 - static_cast<int32>(random->next(40))) return static_cast<uint8>(0);
		*level = 12 + d * 3 / 256 + grain;
		return shade(_grey, 14 + static_cast<int32>(random->next(6)) - d * 4 / 256);
	});
}

bitmap_instance_data instance_of(int16 bitmap_index, int16 width, int16 height)
{
	bitmap_instance_data instance;
	memset(&instance, 0, sizeof(instance));
	instance.bitmap_index = bitmap_index;
	instance.highres_bitmap_index = NONE;
	instance.maximum_light_intensity = 65535;
	instance.registration_point = {static_cast<int16>(width / 2), static_cast<int16>(height / 2)};
	instance.key_point = {static_cast<int16>(width / 2), 0};
	return instance;
}

sequence_data particle_sequence(int16 views, int16 frames, uint32 flags, int16 ticks)
{
	sequence_data sequence;
	memset(&sequence, 0, sizeof(sequence));
	sequence.flags = flags;
	sequence.pixels_to_world = 2 * FIXED_ONE;
	sequence.number_of_views = views;
	sequence.frames_per_view = frames;
	sequence.ticks_per_frame = ticks;
	for (int32 i = 0; i < NUMBER_OF_SEQUENCE_SOUNDS; ++i)
	{
		sequence.sound_tags[i] = no_tag;
		sequence.sound_indexes[i] = NONE;
	}
	sequence.transfer_mode = NONE;
	sequence.radius = 4 * FIXED_ONE;
	return sequence;
}

/* ---------- records to bytes */

template <typename record>
std::vector<uint8> swapped(const record &r, const byte_swap_code *codes)
{
	record copy = r;
	byte_swap_data("effects content", &copy, sizeof(copy), 1, codes);
	const uint8 *bytes = reinterpret_cast<const uint8 *>(&copy);
	return std::vector<uint8>(bytes, bytes + sizeof(copy));
}

template <typename record>
void append(std::vector<uint8> *bytes, const record *records, int32 count, const byte_swap_code *codes)
{
	for (int32 i = 0; i < count; ++i)
	{
		const std::vector<uint8> one = swapped(records[i], codes);
		bytes->insert(bytes->end(), one.begin(), one.end());
	}
}

/* ---------- models: boxes standing on their cells */

struct box
{
	int16 x0, y0, x1, y1, height;
};

// Walls and a roof of each box, as triangles of one stone material.
std::vector<uint8> boxes_geometry(const std::vector<box> &boxes, int16 height)
{
	std::vector<short_world_point3d> points;
	std::vector<geometry_surface> surfaces;
	for (const box &b : boxes)
	{
		const int16 base = static_cast<int16>(points.size());
		const short_world_point3d corners[8] = {{b.x0, b.y0, 0}, {b.x1, b.y0, 0}, {b.x1, b.y1, 0}, {b.x0, b.y1, 0},
			{b.x0, b.y0, b.height}, {b.x1, b.y0, b.height}, {b.x1, b.y1, b.height}, {b.x0, b.y1, b.height}};
		points.insert(points.end(), corners, corners + 8);
		const struct { world_vector3d normal; int16 c[4]; } faces[5] = {
			{{0, -TRIG_MAGNITUDE, 0}, {0, 1, 5, 4}}, {{TRIG_MAGNITUDE, 0, 0}, {1, 2, 6, 5}},
			{{0, TRIG_MAGNITUDE, 0}, {2, 3, 7, 6}}, {{-TRIG_MAGNITUDE, 0, 0}, {3, 0, 4, 7}},
			{{0, 0, TRIG_MAGNITUDE}, {4, 5, 6, 7}}};
		for (const auto &face : faces)
		{
			const short_world_point3d &p = corners[face.c[0]];
			const int32 d = -(face.normal.i * p.x + face.normal.j * p.y + face.normal.k * p.z);
			const int16 triangles[2][3] = {{face.c[0], face.c[1], face.c[2]}, {face.c[0], face.c[2], face.c[3]}};
			for (const auto &tri : triangles)
			{
				geometry_surface surface = model_surface(points.data(), face.normal, d, static_cast<int16>(base + tri[0]),
					static_cast<int16>(base + tri[1]), static_cast<int16>(base + tri[2]));
				// Each face spans the stone texture once, walls across and up, the roof over x and y.
				const int32 width = MAX(1, MAX(b.x1 - b.x0, b.y1 - b.y0));
				for (geometry_corner &corner : surface.corners)
				{
					const short_world_point3d &p = points[corner.vertex_index];
					const int32 across = face.normal.i ? p.y - b.y0 : p.x - b.x0;
					const int32 up = face.normal.k ? p.y - b.y0 : b.height - p.z;
					const int32 extent = face.normal.k ? width : MAX(1, static_cast<int32>(b.height));
					corner.interpolants[0] = static_cast<int16>(static_cast<uint16>(PIN(across * 65535 / width, 0, 65535)));
					corner.interpolants[1] = static_cast<int16>(static_cast<uint16>(PIN(up * 65535 / extent, 0, 65535)));
				}
				surfaces.push_back(surface);
			}
		}
	}
	return geometry_tag_data({textured_material("stone", _default_scenery_stone_sequence)}, points.data(),
		static_cast<int16>(points.size()), surfaces, height);
}

std::vector<uint8> model_data_of(file_tag geometry_tag, int16 vertex_count, int16 permutations,
	const std::vector<model_mesh_cell_data> &cells)
{
	std::vector<geometry_vertex_data> vertex_flags(static_cast<size_t>(vertex_count));
	model_permutation_data permutation = {};
	permutation.collection_index = NONE;
	permutation.color_table_index = NONE;
	std::vector<model_permutation_data> permutation_table(static_cast<size_t>(permutations), permutation);

	model_definition header = {};
	header.geometry_tag = geometry_tag;
	header.geometry_index = NONE;
	header.model_geometry_vertex_count = vertex_count;
	header.model_permutation_count = permutations;
	header.model_cell_count = static_cast<int16>(cells.size());
	header.model_geometry_vertex_size = static_cast<int32>(sizeof(geometry_vertex_data) * vertex_flags.size());
	header.model_permutations_offset = header.model_geometry_vertex_size;
	header.model_permutations_size = static_cast<int32>(sizeof(model_permutation_data) * permutation_table.size());
	header.model_cell_offset = header.model_permutations_offset + header.model_permutations_size;
	header.model_cell_size = static_cast<int32>(sizeof(model_mesh_cell_data) * cells.size());
	header.data_offset = sizeof(model_definition);
	header.data_size = header.model_cell_offset + header.model_cell_size;

	std::vector<uint8> bytes = swapped(header, model_definition_bs_data);
	append(&bytes, vertex_flags.data(), vertex_count, geometry_vertex_data_bs_data);
	append(&bytes, permutation_table.data(), permutations, model_permutation_data_bs_data);
	append(&bytes, cells.data(), static_cast<int32>(cells.size()), model_mesh_cell_data_bs_data);
	return bytes;
}

struct model_entry
{
	file_tag tag;
	const char *name;
	std::vector<box> boxes;
	int16 height, permutations;
	std::vector<model_mesh_cell_data> cells;
};

std::vector<model_entry> effect_models(void)
{
	const uint16 wall = _mesh_cell_is_impassable_walking_flag;
	// The gate spans two cells: a closed door, a half-lowered one, then open posts.
	return {
		{GATE_CLOSED_MODEL_TAG, "gate closed", {{0, 0, 1024, 192, 448}}, 448, 2, {{0, 0, wall, 0}, {1, 0, wall, 0}}},
		{GATE_HALF_OPEN_MODEL_TAG, "gate half open", {{0, 0, 128, 192, 448}, {896, 0, 1024, 192, 448}, {128, 0, 896, 192, 224}},
			448, 1, {{0, 0, wall, 0}, {1, 0, wall, 0}}},
		{GATE_OPEN_MODEL_TAG, "gate open", {{0, 0, 128, 192, 448}, {896, 0, 1024, 192, 448}}, 448, 1, {}},
		{SHRINE_MODEL_TAG, "shrine", {{0, 0, 1024, 1024, 192}, {256, 256, 768, 768, 512}}, 512, 2,
			{{0, 0, wall, 0}, {1, 0, wall, 0}, {0, 1, wall, 0}, {1, 1, wall, 0}}},
		{STANDING_STONE_MODEL_TAG, "standing stone", {{128, 128, 384, 384, 768}}, 768, 8, {{0, 0, wall, 0}}},
	};
}

/* ---------- physics and groups */

template <typename record>
local_physics_definition physics_of(int16 type, const record &r)
{
	local_physics_definition d = {};
	d.type = type;
	memcpy(d.buffer, &r, sizeof(r));
	return d;
}

local_projectile_group_definition group_of(file_tag physics, int16 sequence, uint32 flags, int16 target, int16 target_delta,
	int32 radius, int32 expiration)
{
	local_projectile_group_definition d = {};
	d.flags = flags;
	d.collection_reference_tag = PARTICLE_REFERENCE_TAG;
	d.physics_tag = physics;
	d.sequence_indexes[0] = sequence;
	d.sequence_indexes[1] = NONE;
	d.scale_lower_bound = 224;
	d.scale_delta = 64;
	d.animation_rate_lower_bound = 224;
	d.animation_rate_delta = 64;
	d.target_number_lower_bound = target;
	d.target_number_delta = target_delta;
	d.radius_lower_bound = radius;
	d.radius_delta = radius / 2;
	d.expiration_time_lower_bound = expiration;
	d.expiration_time_delta = expiration / 2;
	d.starting_hscale0 = d.starting_hscale1 = d.starting_vscale0 = d.starting_vscale1 = 256;
	d.ending_hscale0 = d.ending_hscale1 = d.ending_vscale0 = d.ending_vscale1 = 256;
	d.collection_reference_index = NONE;
	d.collection_index = NONE;
	d.color_table_index = NONE;
	d.physics_index = NONE;
	return d;
}

// Burst groups: a set of particles that die away, then the group with them.
const uint32 burst_flags = _group_projectiles_never_get_recreated_flag | _group_delete_after_particles_are_gone_flag |
	_group_projectiles_deleted_after_time_expires_flag | _group_has_startup_transition_flag;

} // namespace

const effects_tag_entry default_local_physics_tags[] = {{TAG("fall"), "falling"}, {TAG("orbt"), "orbiting"},
	{TAG("sprg"), "springing"}, {TAG("attr"), "attracted"}, {TAG("conv"), "converging"}, {TAG("gasb"), "gas burst"}};
const int32 number_of_default_local_physics_tags = static_cast<int32>(NUMBEROF(default_local_physics_tags));

const effects_tag_entry default_local_projectile_group_tags[] = {{TAG("blod"), "blood"}, {TAG("debr"), "debris"},
	{TAG("sprk"), "sparks"}, {TAG("fire"), "flames"}, {TAG("smff"), "smoke"}, {RIPPLE_GROUP_TAG, "ripples"},
	{SWIRL_GROUP_TAG, "swirl"}, {TAG("coef"), "confusion"}, {TAG("nobd"), "no body"}, {TAG("dust"), "dust"},
	{SPLASH_RIPPLE_GROUP_TAG, "splash ripple"}};
const int32 number_of_default_local_projectile_group_tags =
	static_cast<int32>(NUMBEROF(default_local_projectile_group_tags));

collection_description particle_collection(void)
{
	drawing_random random = {0x5054434Cu};
	collection_description collection;
	collection.user_data_flags = _collection_can_be_used_for_projectiles_flag | _collection_can_be_used_for_atmospheric_effect_flag;
	collection.colors = particle_colors();
	struct { const char *name; int16 width, height; int32 band; bool ring; } pictures[NUMBER_OF_PARTICLE_SEQUENCES] = {
		{"blood", 6, 6, _red, false}, {"debris", 8, 6, _grey, false}, {"spark", 8, 8, _yellow, false},
		{"flame", 12, 16, _yellow, false}, {"smoke", 16, 16, _grey, false}, {"ripple", 32, 16, _cyan, true},
		{"swirl", 8, 8, _blue, false}, {"dust", 12, 8, _yellow, false}, {"scorch", 24, 16, _grey, false}};
	for (int16 s = 0; s < NUMBER_OF_PARTICLE_SEQUENCES; ++s)
	{
		const auto &picture = pictures[s];
		collection_bitmap_description bitmap =
			blob(picture.name, picture.width, picture.height, picture.band, picture.ring, &random);
		// Sprites are drawn from row spans; the spark's quads and the scorch's
		// stains need the plain picture.
		const bool plain = s == _particle_spark_sequence || s == _particle_scorch_sequence;
		collection.bitmaps.push_back(plain ? bitmap : row_span_bitmap(bitmap));
	}
	// A flame's scorch, about a cell across, in place of the table's blob
	// (whose draws stay, so that the pictures after it keep theirs). A cell's
	// seven stains add up with the edges of its burning neighbours', so each
	// one is faint: sparse ash and a shadow a few levels deep leave burnt
	// ground darker and mottled, neither painted over nor a hole.
	collection.bitmaps[static_cast<size_t>(_particle_scorch_sequence)] = ash_bitmap("scorch", 10, 8);
	// The flames and the smoke likewise: a cell's fire shows eight or more of
	// each, so as opaque blobs three units high they hid everything in and
	// behind a burning field. Finer texels (below) keep a flame about a unit's
	// height and a puff not much wider, both mostly clear.
	collection.bitmaps[static_cast<size_t>(_particle_flame_sequence)] = flame_bitmap("flame", 14, 20);
	collection.bitmaps[static_cast<size_t>(_particle_smoke_sequence)] = smoke_bitmap("smoke", 16);
	// Shadows: the debris's shade and the flame's light.
	collection.bitmaps.push_back(blob("debris shadow", 8, 8, _grey, false, &random));
	// A chip's shade is chip-sized and faint, in place of the blob (whose
	// draws stay, so that the pictures after it keep theirs): a burst's chips
	// fly out over a few texels, and shades a cell across each stacked on all
	// of a volley's others into a black blot; small ones leave scattered marks.
	collection.bitmaps.back() = chip_shade_bitmap("debris shadow");
	collection.bitmaps.push_back(blob("flame light", 16, 16, _yellow, false, &random));
	shadow_map_data shadow;
	memset(&shadow, 0, sizeof(shadow));
	shadow.bitmap_index = NUMBER_OF_PARTICLE_SEQUENCES;
	shadow.registration_point = {CHIP_SHADE_SIZE * FIXED_ONE / 2, CHIP_SHADE_SIZE * FIXED_ONE / 2};
	collection.shadow_maps.push_back(shadow);
	shadow.flags = 1; // a light map
	shadow.bitmap_index = NUMBER_OF_PARTICLE_SEQUENCES + 1;
	shadow.registration_point = {8 * FIXED_ONE, 8 * FIXED_ONE};
	collection.shadow_maps.push_back(shadow);

	for (int16 s = 0; s < NUMBER_OF_PARTICLE_SEQUENCES; ++s)
	{
		const collection_bitmap_description &bitmap = collection.bitmaps[static_cast<size_t>(s)];
		const int16 first = static_cast<int16>(collection.instances.size());
		collection.instances.push_back(instance_of(s, bitmap.width, bitmap.height));
		// A flame stands on its foot.
		if (s == _particle_flame_sequence) collection.instances.back().registration_point.y = static_cast<int16>(bitmap.height - 1);
		const int16 views = s == _particle_debris_sequence ? 8 : s == _particle_smoke_sequence ? 2 : 1;
		const int16 frames = s == _particle_ripple_sequence || s == _particle_flame_sequence ? 4 : 2;
		const uint32 flags = s == _particle_smoke_sequence ? _sequence_has_no_rotation_flag : 0;
		collection_sequence_description sequence;
		sequence.name = pictures[s].name;
		sequence.sequence = particle_sequence(views, frames, flags, 3);
		if (s == _particle_flame_sequence) sequence.sequence.pixels_to_world = FIXED_ONE / 2;
		if (s == _particle_smoke_sequence) sequence.sequence.pixels_to_world = FIXED_ONE * 5 / 4;
		const int16 shadow_index = s == _particle_debris_sequence ? 0 : s == _particle_flame_sequence ? 1 :
			s == _particle_scorch_sequence ? 2 : static_cast<int16>(NONE);
		for (int16 f = 0; f < frames; ++f)
		{
			sequence.shadow_map_indexes.push_back(shadow_index);
			for (int16 v = 0; v < views; ++v) sequence.instance_indexes.push_back(first);
		}
		collection.sequences.push_back(sequence);
	}
	// Sparks are quads along their flight (8 x 8 is a power of two).
	collection.instances[static_cast<size_t>(_particle_spark_sequence)].flags |= _bitmap_instance_texture_flag;

	// The weather's pictures come after the shadows, so the ones above keep
	// their random pixels. The bolt's first frames light the ground.
	struct { const char *name; int16 width, height, frames; int32 band; bool ring; int16 first_shadow; } weather[] = {
		{"rain streak", 4, 16, 1, _cyan, false, NONE}, {"bolt fork", 8, 16, 2, _blue, false, 1},
		{"bolt main", 16, 32, 2, _blue, false, 1}, {"ring", 64, 64, 4, _grey, true, NONE},
		{"bolt glow", 16, 16, 2, _yellow, false, NONE}};
	static_assert(NUMBEROF(weather) == static_cast<int32>(NUMBER_OF_PARTICLE_COLLECTION_SEQUENCES) - NUMBER_OF_PARTICLE_SEQUENCES);
	for (const auto &picture : weather)
	{
		const int16 bitmap_index = static_cast<int16>(collection.bitmaps.size());
		collection.bitmaps.push_back(blob(picture.name, picture.width, picture.height, picture.band, picture.ring, &random));
		const int16 first = static_cast<int16>(collection.instances.size());
		collection.instances.push_back(instance_of(bitmap_index, picture.width, picture.height));
		collection_sequence_description sequence;
		sequence.name = picture.name;
		sequence.sequence = particle_sequence(1, picture.frames, 0, 3);
		for (int16 f = 0; f < picture.frames; ++f)
		{
			sequence.shadow_map_indexes.push_back(f == 0 ? picture.first_shadow : static_cast<int16>(NONE));
			sequence.instance_indexes.push_back(first);
		}
		collection.sequences.push_back(sequence);
	}
	// Rain falls as quads along its streaks (4 x 16 are powers of two). The
	// streaks are faint: thousands of them fall between the camera and the
	// ground, so each texel carries a high transparency level.
	const size_t rain = collection.instances.size() - NUMBEROF(weather);
	collection.instances[rain].flags |= _bitmap_instance_texture_flag;
	collection_bitmap_description &streak = collection.bitmaps[static_cast<size_t>(collection.instances[rain].bitmap_index)];
	collection_bitmap_description faint = plain_collection_bitmap(streak.name.c_str(), streak.width, streak.height, _16bit);
	faint.flags = _4bit_transparency_encoded_flag;
	faint.encoding = _16bit_555_encoding;
	for (int32 i = 0; i < streak.width * streak.height; ++i)
	{
		const uint8 colour = streak.pixels[static_cast<size_t>(i)];
		const uint16 pixel = static_cast<uint16>(((colour ? 13 : 15) << ENCODED_TRANSPARENCY_BIT_OFFSET) |
			(colour ? colour : shade(_cyan, 20)));
		memcpy(&faint.pixels[static_cast<size_t>(2 * i)], &pixel, 2);
	}
	streak = faint;

	// The bolt's strokes in place of the blobs (whose draws stay). A stroke is
	// as wide in the world as its picture is wide (the main bolt half that),
	// whatever the rows across it, which only set how fine its core is: a fork
	// 80 world units across, the main bolt 160, each a core a few rows wide.
	const stroke_texel fork_profile[] = {{_grey, 30, 1}, {_cyan, 28, 5}, {_blue, 27, 9}, {_blue, 26, 11}, {_blue, 25, 13},
		{_blue, 24, 14}};
	const stroke_texel main_profile[] = {{_grey, 30, 0}, {_cyan, 30, 1}, {_cyan, 28, 5}, {_blue, 28, 8}, {_blue, 27, 10},
		{_blue, 26, 11}, {_blue, 25, 11}, {_blue, 24, 12}, {_blue, 24, 12}, {_blue, 24, 13}, {_blue, 24, 13}, {_blue, 24, 14},
		{_blue, 24, 14}, {_blue, 24, 14}};
	const struct
	{
		int16 sequence, width, height;
		fixed pixels_to_world;
		std::vector<stroke_texel> profile;
	} strokes[] = {
		{_particle_bolt_fork_sequence, 8, 16, FIXED_ONE, {std::begin(fork_profile), std::end(fork_profile)}},
		{_particle_bolt_main_sequence, 16, 32, 2 * FIXED_ONE, {std::begin(main_profile), std::end(main_profile)}},
	};
	for (const auto &stroke : strokes)
	{
		bitmap_instance_data &instance = collection.instances[rain + static_cast<size_t>(stroke.sequence - _particle_rain_streak_sequence)];
		collection_bitmap_description &picture = collection.bitmaps[static_cast<size_t>(instance.bitmap_index)];
		picture = bolt_stroke_bitmap(picture.name.c_str(), stroke.width, stroke.height, stroke.profile);
		instance = instance_of(instance.bitmap_index, picture.width, picture.height);
		collection.sequences[static_cast<size_t>(stroke.sequence)].sequence.pixels_to_world = stroke.pixels_to_world;
	}

	// The scorch's shadow comes last, so that no picture above moves.
	const collection_bitmap_description &scorch = collection.bitmaps[static_cast<size_t>(_particle_scorch_sequence)];
	shadow.flags = 0;
	shadow.bitmap_index = static_cast<int16>(collection.bitmaps.size());
	shadow.registration_point = {(scorch.width / 2) * FIXED_ONE, (scorch.height / 2) * FIXED_ONE};
	collection.shadow_maps.push_back(shadow);
	collection.bitmaps.push_back(burn_bitmap("scorch shadow", scorch.width, scorch.height));
	return collection;
}

local_physics_definition default_local_physics(file_tag subgroup)
{
	switch (subgroup)
	{
	case TAG("fall"):
	{
		linear_physics_definition law = {};
		law.linear_acceleration = {0, 0, -FIXED_ONE / 6};
		law.initial_linear_velocity_min = {-3 * FIXED_ONE, -3 * FIXED_ONE, 3 * FIXED_ONE};
		law.initial_linear_velocity_delta = {6 * FIXED_ONE, 6 * FIXED_ONE, 4 * FIXED_ONE};
		law.random_acceleration = {FIXED_ONE / 16, FIXED_ONE / 16, FIXED_ONE / 32};
		return physics_of(_linear, law);
	}
	case TAG("orbt"):
	{
		cylindrical_physics_definition law = {};
		law.initial_angular_velocity_min = 700;
		law.initial_angular_velocity_delta = 500;
		law.initial_z_deviation = 96;
		law.attraction_constant = FIXED_ONE / 48;
		return physics_of(_cylindrical, law);
	}
	case TAG("sprg"):
	{
		spherical_spring_physics_definition law = {};
		law.flags = _spherical_spring_random_time_offsets_flag;
		law.initial_angular_velocity_min = 400;
		law.initial_angular_velocity_delta = 400;
		law.attraction_constant = FIXED_ONE / 32;
		return physics_of(_spherical_spring, law);
	}
	case TAG("attr"):
	{
		point_attractor_physics_definition law = {};
		law.flags = _point_attractor_maintain_minimum_height_above_mesh_flag;
		law.maximum_velocity = 6 * FIXED_ONE;
		law.attraction_constant = FIXED_ONE / 1024;
		law.minimum_height_above_mesh = 64;
		return physics_of(_point_attractor, law);
	}
	case TAG("conv"):
	{
		converging_physics_definition law = {};
		law.flags = _converging_particles_diverge_flag;
		law.initial_angular_velocity_min = 200;
		law.initial_angular_velocity_delta = 300;
		law.phi_min = 2048;
		law.phi_delta = 8192;
		return physics_of(_converging, law);
	}
	default:
	{
		explosive_gas_physics_definition law = {};
		law.starting_velocity_min = 3 * FIXED_ONE;
		law.starting_velocity_delta = 5 * FIXED_ONE;
		law.radial_acceleration = 0;
		law.linear_acceleration = {0, 0, -FIXED_ONE / 8};
		law.drag = 224;
		return physics_of(_explosive_gas, law);
	}
	}
}

local_projectile_group_definition default_local_projectile_group(file_tag subgroup)
{
	local_projectile_group_definition d;
	switch (subgroup)
	{
	case TAG("blod"):
		d = group_of(TAG("fall"), _particle_blood_sequence, burst_flags | _group_projectiles_deleted_when_it_hits_the_ground_flag,
			8, 4, 16, 20);
		d.startup_transition_time_lower_bound = 1;
		break;
	case TAG("debr"):
		d = group_of(TAG("gasb"), _particle_debris_sequence, burst_flags, 6, 3, 32, 24);
		d.startup_transition_time_lower_bound = 1;
		break;
	case TAG("sprk"):
		d = group_of(TAG("fall"), _particle_spark_sequence, burst_flags, 10, 4, 8, 12);
		d.startup_transition_time_lower_bound = 1;
		d.transfer_mode = _transfer_mode_fade_out_over_time;
		break;
	case TAG("fire"):
		// Flames burn out and rise again: each new one leaves a scorch under
		// the fires it is shown at.
		d = group_of(TAG("orbt"), _particle_flame_sequence, _group_casts_reflections_flag | _group_always_update_physics_flag |
			_group_projectiles_deleted_after_time_expires_flag, 8, 2, 64, 45);
		d.sequence_indexes[1] = _particle_scorch_sequence;
		d.height_offset = 64;
		break;
	case TAG("smff"):
		// Few puffs a cell: the smoke of a row of burning cells gathers in one
		// column on the screen, and must still be seen through.
		d = group_of(TAG("conv"), _particle_smoke_sequence, _group_projectiles_deleted_after_time_expires_flag |
			_group_always_update_physics_flag, 4, 2, 96, 60);
		d.height_offset = 256;
		d.transfer_mode = _transfer_mode_fade_out_over_time;
		break;
	case TAG("rppl"):
		d = group_of(no_tag, _particle_ripple_sequence, _group_is_media_surface_effect_flag |
			_group_projectiles_deleted_after_animation_completes_flag | _group_projectiles_always_start_at_first_animation_frame_flag,
			0, 0, 0, 0);
		d.transfer_mode = _transfer_mode_fade_out_over_animation;
		break;
	case TAG("srpl"):
		// One ripple where something fell in; the group goes with it, so that
		// splashes never pile up empty groups.
		d = group_of(no_tag, _particle_ripple_sequence, _group_is_media_surface_effect_flag |
			_group_projectiles_deleted_after_animation_completes_flag | _group_projectiles_always_start_at_first_animation_frame_flag |
			_group_projectiles_never_get_recreated_flag | _group_delete_after_particles_are_gone_flag, 1, 0, 0, 0);
		d.transfer_mode = _transfer_mode_fade_out_over_animation;
		break;
	case TAG("swrl"):
		d = group_of(TAG("sprg"), _particle_swirl_sequence, _group_particles_stay_relative_to_the_center_flag |
			_group_has_startup_transition_flag | _group_startup_transition_affects_transparency_flag |
			_group_startup_transition_affects_horizontal_scale_flag | _group_has_ending_transition_flag |
			_group_ending_transition_affects_transparency_flag, 16, 4, 160, 0);
		d.height_offset = 192;
		d.startup_transition_time_lower_bound = 60;
		d.ending_transition_time_lower_bound = 30;
		d.starting_hscale0 = 64;
		d.starting_hscale1 = 256;
		break;
	case TAG("coef"):
		d = group_of(TAG("orbt"), _particle_swirl_sequence, _group_particles_stay_relative_to_the_center_flag |
			_group_has_ending_transition_flag | _group_ending_transition_affects_transparency_flag, 6, 0, 48, 0);
		d.height_offset = 160;
		d.ending_transition_time_lower_bound = 15;
		break;
	case TAG("nobd"):
		d = group_of(TAG("gasb"), _particle_dust_sequence, burst_flags, 10, 4, 48, 30);
		d.startup_transition_time_lower_bound = 1;
		break;
	default: // 'dust', kicked up around a running unit
		d = group_of(TAG("attr"), _particle_dust_sequence, _group_projectiles_deleted_after_time_expires_flag |
			_group_has_startup_transition_flag | _group_startup_transition_affects_target_number_flag |
			_group_has_ending_transition_flag | _group_ending_transition_stop_creating_particles_flag |
			_group_delete_after_particles_are_gone_flag, 4, 2, 48, 20);
		d.startup_transition_time_lower_bound = 15;
		d.ending_transition_time_lower_bound = 20;
		d.transfer_mode = _transfer_mode_fade_out_over_time;
		break;
	}
	return d;
}

std::vector<uint8> local_physics_tag_data(const local_physics_definition &definition)
{
	std::vector<uint8> bytes(sizeof(local_physics_definition));
	local_physics_definition_to_stored(&definition, bytes.data());
	return bytes;
}

std::vector<uint8> local_projectile_group_tag_data(const local_projectile_group_definition &definition)
{
	return swapped(definition, local_projectile_group_definition_bs_data);
}

model_animation_definition gate_animation(void)
{
	model_animation_definition d = {};
	d.flags = _animation_back_and_forth_flag | _animation_initially_running_flag;
	d.number_of_frames = 4;
	d.ticks_per_frame = 14;
	const file_tag models[4] = {GATE_CLOSED_MODEL_TAG, GATE_CLOSED_MODEL_TAG, GATE_HALF_OPEN_MODEL_TAG, GATE_OPEN_MODEL_TAG};
	const int16 permutations[4] = {0, 1, 0, 0};
	for (int16 i = 0; i < 4; ++i)
	{
		d.frames[i].model_tag = models[i];
		d.frames[i].model_type = NONE;
		d.frames[i].permutation_index = permutations[i];
	}
	d.shadow_map_width = d.shadow_map_height = d.shadow_bytes_per_row = 16;
	d.origin_offset_x = d.origin_offset_y = -256;
	d.forward_sound_tag = d.backward_sound_tag = no_tag;
	d.forward_sound_type = d.backward_sound_type = NONE;
	d.shadow_maps_offset = sizeof(model_animation_definition);
	d.shadow_maps_size = 4 * 16 * 16;
	return d;
}

std::vector<uint8> gate_animation_tag_data(void)
{
	const model_animation_definition d = gate_animation();
	std::vector<uint8> bytes = swapped(d, model_animation_definition_bs_data);
	// Each frame's shadow: the door's band, thinning as it opens.
	for (int32 frame = 0; frame < 4; ++frame)
	{
		const int32 door = frame < 2 ? 16 : frame == 2 ? 8 : 0;
		for (int32 y = 0; y < 16; ++y)
		{
			for (int32 x = 0; x < 16; ++x)
			{
				const bool post = x < 2 || x >= 14;
				const bool shaded = y >= 6 && y < 10 && (post || (x >= (16 - door) / 2 && x < (16 + door) / 2));
				bytes.push_back(static_cast<uint8>(shaded ? 160 : 0));
			}
		}
	}
	return bytes;
}

bool make_default_effects_tags(std::vector<int32> *handles)
{
	std::vector<int32> made;
	made.push_back(make_collection_tag(PARTICLE_COLLECTION_TAG, "particles", particle_collection()));
	collection_reference reference = *get_default_collection_reference();
	reference.collection_tag = PARTICLE_COLLECTION_TAG;
	reference.number_of_permutations = 1;
	reference.tint_fraction = 0;
	made.push_back(make_collection_reference_tag(PARTICLE_REFERENCE_TAG, "particles", reference));

	for (const effects_tag_entry &entry : default_local_physics_tags)
	{
		const std::vector<uint8> bytes = local_physics_tag_data(default_local_physics(entry.subgroup_tag));
		made.push_back(tag_file_new_with_subgroup_tag(LOCAL_PHYSICS_DEFINITION_GROUP_TAG, entry.name, entry.subgroup_tag,
			LOCAL_PHYSICS_DEFINITION_VERSION_NUMBER, bytes.data(), static_cast<int32>(bytes.size())));
	}
	for (const effects_tag_entry &entry : default_local_projectile_group_tags)
	{
		const std::vector<uint8> bytes = local_projectile_group_tag_data(default_local_projectile_group(entry.subgroup_tag));
		made.push_back(tag_file_new_with_subgroup_tag(LOCAL_PROJECTILE_GROUP_DEFINITION_GROUP_TAG, entry.name,
			entry.subgroup_tag, LOCAL_PROJECTILE_GROUP_DEFINITION_VERSION_NUMBER, bytes.data(), static_cast<int32>(bytes.size())));
	}
	for (const model_entry &model : effect_models())
	{
		const std::vector<uint8> geometry = boxes_geometry(model.boxes, model.height);
		const std::vector<uint8> data = model_data_of(model.tag, static_cast<int16>(8 * model.boxes.size()),
			model.permutations, model.cells);
		made.push_back(tag_file_new_with_subgroup_tag(GEOMETRY_GROUP_TAG, model.name, model.tag, GEOMETRY_VERSION_NUMBER,
			geometry.data(), static_cast<int32>(geometry.size())));
		made.push_back(tag_file_new_with_subgroup_tag(MODEL_GROUP_TAG, model.name, model.tag, MODEL_VERSION_NUMBER,
			data.data(), static_cast<int32>(data.size())));
	}
	const std::vector<uint8> gate = gate_animation_tag_data();
	made.push_back(tag_file_new_with_subgroup_tag(MODEL_ANIMATION_GROUP_TAG, "gate", GATE_ANIMATION_TAG,
		MODEL_ANIMATION_VERSION_NUMBER, gate.data(), static_cast<int32>(gate.size())));

	// The shrine's lamp: a frail post that cracks the shrine when it falls.
	object_definition lamp_object = {};
	for (int32 i = 0; i < number_of_default_objects; ++i)
	{
		if (default_objects[i].subgroup_tag == DEFAULT_POST_OBJECT_TAG) lamp_object = default_objects[i].make();
	}
	lamp_object.maximum_vitality = 64;
	lamp_object.maximum_vitality_delta = 0;
	const std::vector<uint8> object_bytes = object_definition_tag_data(lamp_object);
	made.push_back(tag_file_new_with_subgroup_tag(OBJECT_DEFINITION_GROUP_TAG, "shrine lamp", SHRINE_LAMP_OBJECT_TAG,
		OBJECT_DEFINITION_VERSION_NUMBER, object_bytes.data(), static_cast<int32>(object_bytes.size())));
	scenery_definition lamp = *get_default_scenery_definition();
	lamp.flags = _scenery_is_solid_flag | _scenery_adjusts_model_permutation_flag;
	lamp.collection_reference_tag = DEFAULT_SCENERY_REFERENCE_TAG;
	lamp.object_tag = SHRINE_LAMP_OBJECT_TAG;
	lamp.sequence_indexes[_scenery_sequence_undamaged] = _default_scenery_post_sequence;
	lamp.model_permutation_delta = 1;
	const std::vector<uint8> lamp_bytes = swapped(lamp, scenery_definition_bs_data);
	made.push_back(tag_file_new_with_subgroup_tag(SCENERY_DEFINITION_GROUP_TAG, "shrine lamp", SHRINE_LAMP_SCENERY_TAG,
		SCENERY_DEFINITION_VERSION_NUMBER, lamp_bytes.data(), static_cast<int32>(lamp_bytes.size())));

	// Rippling water: the lake's, with ripples on its surface. What falls in
	// only ripples: the lake's splash throws sparks that splash again where
	// they land, so a blast on the shore would breed them until the
	// projectile array is full.
	projectile_group_definition ripple_splash = *get_default_projectile_group_definition();
	ripple_splash.local_projectile_group_tag = SPLASH_RIPPLE_GROUP_TAG;
	const std::vector<uint8> splash_bytes = swapped(ripple_splash, projectile_group_definition_bs_data);
	made.push_back(tag_file_new_with_subgroup_tag(PROJECTILE_GROUP_DEFINITION_GROUP_TAG, "ripple splash",
		RIPPLE_SPLASH_GROUP_TAG, PROJECTILE_GROUP_DEFINITION_VERSION_NUMBER, splash_bytes.data(),
		static_cast<int32>(splash_bytes.size())));
	media_definition water = lake_media();
	water.surface_effect_local_projectile_group_tag = RIPPLE_GROUP_TAG;
	for (int16 slot = _media_projectile_group_small_splash; slot <= _media_projectile_group_large_splash; ++slot)
	{
		water.projectile_group_tags[slot] = RIPPLE_SPLASH_GROUP_TAG;
	}
	water.surface_effect_density = 2500;
	water.effects_per_cell = 1;
	water.time_between_building_effects = 20;
	const std::vector<uint8> water_bytes = swapped(water, media_definition_bs_data);
	made.push_back(tag_file_new_with_subgroup_tag(MEDIA_DEFINITION_GROUP_TAG, "rippling water", RIPPLING_WATER_MEDIA_TAG,
		MEDIA_DEFINITION_VERSION_NUMBER, water_bytes.data(), static_cast<int32>(water_bytes.size())));
	// The demo valley's lake: still, and for the same reason only ripples
	// where something falls in.
	media_definition valley = lake_media();
	for (int16 slot = _media_projectile_group_small_splash; slot <= _media_projectile_group_large_splash; ++slot)
	{
		valley.projectile_group_tags[slot] = RIPPLE_SPLASH_GROUP_TAG;
	}
	const std::vector<uint8> valley_bytes = swapped(valley, media_definition_bs_data);
	made.push_back(tag_file_new_with_subgroup_tag(MEDIA_DEFINITION_GROUP_TAG, "valley lake water", VALLEY_LAKE_MEDIA_TAG,
		MEDIA_DEFINITION_VERSION_NUMBER, valley_bytes.data(), static_cast<int32>(valley_bytes.size())));

	for (int32 handle : made)
	{
		if (handle == NONE) return false;
		handles->push_back(handle);
	}
	return make_level_scene_tags(handles);
}
