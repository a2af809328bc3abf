// Formations: one destination and facing per unit of a group moved by one
// order. Layouts are part of the synchronised simulation: table trigonometry,
// 64-bit integer products, and a private generator for the mob.
#include "formations.h"

#include <cstring>

#include "definitions.h"
#include "error_manager.h"
#include "players.h"
#include "projectile_definitions.h"
#include "string_definitions.h"
#include "tag_files/tag_files.h"
#include "world.h"
#include "zerv.h"

constexpr byte_swap_code formation_definition_byte_swapping_data[] = {
	_begin_bs_array, 1,
	_2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte,
	_2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte,
	2,
	_end_bs_array};
static_assert(get_byte_swap_struct_size(formation_definition_byte_swapping_data) == sizeof(formation_definition));

constexpr byte_swap_code formation_definition_bs_data[] = {
	_begin_bs_array, 1,
	_2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte,
	_2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte,
	_end_bs_array};
static_assert(get_byte_swap_struct_size(formation_definition_bs_data) == sizeof(formation_definition));

boolean formation_definition_is_valid(const formation_definition *definition)
{
	if (!definition) return FALSE;
	if (definition->maximum_units_per_short_line_row < 1) return FALSE;
	if (definition->maximum_units_per_long_line_row < 1) return FALSE;
	if (definition->maximum_units_per_loose_line_row < 1) return FALSE;
	if (definition->maximum_units_per_staggered_line_row < 1) return FALSE;
	if (definition->shallow_encirclement_arc_length == 0) return FALSE;
	if (definition->deep_encirclement_arc_length == 0) return FALSE;
	if (definition->minimum_mob_unit_separation < 1) return FALSE;
	if (definition->minimum_encirclement_radius < 1) return FALSE;
	return TRUE;
}

static const formation_definition default_formation_definition = {
	4, 640, 8, 640, 4, 1024, 4, 1024, 640, 768, 384, 1536, 768, 16384, 21845, 256, 512, 512, 768, 0};

const build_formation_proc formation_types[MAXIMUM_NUMBER_OF_FORMATIONS] = {build_short_line, build_long_line,
	build_loose_line, build_staggered_line, build_box, build_mob, build_shallow_encirclement, build_deep_encirclement,
	build_vanguard_line, build_circle};

static formation_globals_data *formation_globals = nullptr;

/* ---------- the definition group */

static definition_globals formation_definitions = {
	"formations",
	FORMATION_DEFINITION_GROUP_TAG,
	FORMATION_DEFINITION_VERSION,
	1,
	static_cast<int16>(sizeof(formation_definition)),
	nullptr,
	postprocess_formation_definition,
	nullptr,
	&default_formation_definition,
	formation_definition_bs_data,
	0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr};

definition_globals *get_formation_definitions(void)
{
	return &formation_definitions;
}

const formation_definition *get_default_formation_definition(void)
{
	return &default_formation_definition;
}

boolean postprocess_formation_definition(definition_globals *, int16, int32, void *definition)
{
	if (formation_definition_is_valid(static_cast<const formation_definition *>(definition))) return TRUE;
	log_message(MODULE_NAME, __LINE__, "formation definition refused: a row maximum, arc length or separation is zero.");
	return FALSE;
}

void initialize_formation_definitions(void)
{
	initialize_definitions(&formation_definitions);
}

boolean initialize_formation_definitions_for_new_map(file_tag tag)
{
	if (!formation_definitions.definitions) return TRUE;
	dispose_definitions_from_old_map(&formation_definitions);
	initialize_definitions_for_new_map(&formation_definitions);
	// A missing or refused tag leaves the default in force.
	if (tag_file_exists(FORMATION_DEFINITION_GROUP_TAG, tag)) definition_tag_to_index(&formation_definitions, tag);
	return TRUE;
}

void dispose_formation_definitions_from_old_map(void)
{
	if (formation_definitions.definitions) dispose_definitions_from_old_map(&formation_definitions);
}

int16 new_formation_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size)
{
	return new_flat_definition_from_tag_data(&formation_definitions, subgroup, tag_data, tag_data_size);
}

int16 formation_definition_tag_to_index(file_tag tag)
{
	return definition_tag_to_index(&formation_definitions, tag);
}

const formation_definition *get_loaded_formation_definition(void)
{
	if (!formation_definitions.definitions || formation_definitions.count < 1) return nullptr;
	const int16 index = subgroup_tag_to_definition_index(&formation_definitions, FORMATION_DEFINITION_SUBGROUP_TAG);
	return index == NONE ? nullptr
						 : static_cast<const formation_definition *>(try_and_get_definition(&formation_definitions, index));
}

void broadcast_formation_definition(void)
{
	const formation_definition *loaded = get_loaded_formation_definition();
	formation_definition copy = loaded ? *loaded : default_formation_definition;
	handle_sync_formation_command(NONE, &copy);
}

/* ---------- the per-map module */

void initialize_formations(void)
{
	if (!formation_globals)
	{
		formation_globals = static_cast<formation_globals_data *>(new_pointer_z(sizeof(formation_globals_data)));
		if (!formation_globals)
		{
			error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for formation globals.",
				static_cast<int32>(sizeof(formation_globals_data)));
			return;
		}
	}
	formation_globals->initialized = FALSE;
	formation_globals->formation_names_string_list_index = NONE;
	formation_globals->next_formation_identifier = 0;
	for (formation_definition &definition : formation_globals->definitions) definition = default_formation_definition;
}

// NONE, without a report, when the set has no names or strings are not set up.
static int16 find_formation_names(void)
{
	if (!tag_file_exists(STRING_LIST_DEFINITION_GROUP_TAG, FORMATION_NAMES_STRING_LIST_TAG)) return NONE;
	return string_list_tag_to_string_index(FORMATION_NAMES_STRING_LIST_TAG);
}

void initialize_formations_for_new_map(void)
{
	if (!formation_globals) return;
	// The names are found on first use: the map's strings are set up later.
	formation_globals->formation_names_string_list_index = NONE;
	formation_globals->initialized = TRUE;
	// Players join later in the map's set-up: every slot starts as the default.
	for (formation_definition &definition : formation_globals->definitions) definition = default_formation_definition;
	// Each map starts its identifiers afresh, so a replay matches its recording.
	formation_globals->next_formation_identifier = 0;
}

void dispose_formations_from_old_map(void)
{
	if (formation_globals) formation_globals->initialized = FALSE;
}

const formation_globals_data *get_formation_globals(void)
{
	return formation_globals;
}

void set_formation_definition_for_player(int16 player_index, const formation_definition *definition)
{
	if (!formation_globals || !definition) return;
	if (player_index < 0 || player_index >= MAXIMUM_FORMATION_PLAYERS) return;
	if (!formation_definition_is_valid(definition))
	{
		log_message(MODULE_NAME, __LINE__, "player %d sent a formation definition that cannot be laid out; kept the default.",
			player_index);
		return;
	}
	formation_globals->definitions[player_index] = *definition;
}

const formation_definition *get_formation_definition_for_player(int16 player_index)
{
	if (!formation_globals || player_index < 0 || player_index >= MAXIMUM_FORMATION_PLAYERS)
	{
		return &default_formation_definition;
	}
	return &formation_globals->definitions[player_index];
}

const char *get_formation_name(int16 formation_index)
{
	if (!formation_globals || !valid_formation_index(formation_index)) return "";
	// The map's strings may be set up after this module's new-map call.
	if (formation_globals->formation_names_string_list_index == NONE && formation_globals->initialized)
	{
		formation_globals->formation_names_string_list_index = find_formation_names();
	}
	return get_string_from_list(formation_globals->formation_names_string_list_index, formation_index);
}

boolean valid_formation_index(int16 formation_index)
{
	return formation_index >= 0 && formation_index < MAXIMUM_NUMBER_OF_FORMATIONS && formation_types[formation_index];
}

int16 get_default_formation_index(void)
{
	return _formation_short_line;
}

int16 get_formation_identifier(void)
{
	if (!formation_globals) return 0;
	const int16 identifier = formation_globals->next_formation_identifier;
	formation_globals->next_formation_identifier = identifier >= 32767 ? static_cast<int16>(0) : static_cast<int16>(identifier + 1);
	return identifier;
}

boolean formation_is_line(int16 player_index, int16 formation_index, int16 unit_count)
{
	const formation_definition *d = get_formation_definition_for_player(player_index);
	switch (formation_index)
	{
	case _formation_short_line: return unit_count <= d->maximum_units_per_short_line_row;
	case _formation_long_line: return unit_count <= d->maximum_units_per_long_line_row;
	case _formation_loose_line: return unit_count <= d->maximum_units_per_loose_line_row;
	case _formation_staggered_line: return unit_count <= d->maximum_units_per_staggered_line_row;
	case _formation_shallow_encirclement:
	case _formation_deep_encirclement: return TRUE;
	default: return FALSE;
	}
}

void fold_formations_digest(zerv_digest *digest)
{
	if (!formation_globals)
	{
		zerv_digest_int8(digest, 0);
		return;
	}
	zerv_digest_int8(digest, formation_globals->initialized ? 1 : 0);
	zerv_digest_int16(digest, formation_globals->next_formation_identifier);
	for (const formation_definition &definition : formation_globals->definitions)
	{
		int16 fields[20];
		memcpy(fields, &definition, sizeof(fields));
		for (int16 field : fields) zerv_digest_int16(digest, field);
	}
}

/* ---------- layouts */

static inline world_distance saturate32(int64 v)
{
	return static_cast<world_distance>(PIN(v, static_cast<int64>(INT32_MIN), static_cast<int64>(INT32_MAX)));
}

// Forward distance f and across distance a in the order's frame.
static world_point2d frame_point(const world_point2d *origin, int64 c, int64 s, int64 f, int64 a)
{
	world_point2d p;
	p.x = saturate32(origin->x + ((f * c - a * s) >> TRIG_SHIFT));
	p.y = saturate32(origin->y + ((f * s + a * c) >> TRIG_SHIFT));
	return p;
}

static void build_line(const world_point2d *center, world_point2d *destinations, angle *facings, angle facing,
	int16 total_unit_count, int32 maximum_units_per_line, int32 unit_separation)
{
	const int64 c = angle_cosine(facing), s = angle_sine(facing);
	const int32 per_row = MAX(maximum_units_per_line, 1);
	int32 placed = 0;
	for (int64 row = 0; placed < total_unit_count; ++row)
	{
		const int32 n = MIN(per_row, total_unit_count - placed);
		const int64 first = ((1 - static_cast<int64>(n)) * unit_separation) / 2;
		for (int32 i = 0; i < n; ++i, ++placed)
		{
			destinations[placed] = frame_point(center, c, s, -row * unit_separation, first + static_cast<int64>(i) * unit_separation);
			facings[placed] = facing;
		}
	}
}

void build_short_line(const formation_definition *d, const world_point2d *center, world_point2d *destinations,
	angle *facings, angle facing, int16 n)
{
	build_line(center, destinations, facings, facing, n, d->maximum_units_per_short_line_row, d->short_line_unit_separation);
}

void build_long_line(const formation_definition *d, const world_point2d *center, world_point2d *destinations,
	angle *facings, angle facing, int16 n)
{
	build_line(center, destinations, facings, facing, n, d->maximum_units_per_long_line_row, d->long_line_unit_separation);
}

void build_loose_line(const formation_definition *d, const world_point2d *center, world_point2d *destinations,
	angle *facings, angle facing, int16 n)
{
	build_line(center, destinations, facings, facing, n, d->maximum_units_per_loose_line_row, d->loose_line_unit_separation);
}

// The least integer whose square is at least n.
static int32 ceiling_square_root(int32 n)
{
	int32 root = 0;
	while (static_cast<int64>(root + 1) * (root + 1) <= n) root += 1;
	return static_cast<int64>(root) * root == n ? root : root + 1;
}

void build_box(const formation_definition *d, const world_point2d *center, world_point2d *destinations, angle *facings,
	angle facing, int16 n)
{
	build_line(center, destinations, facings, facing, n, ceiling_square_root(n), d->box_unit_separation);
}

void build_staggered_line(const formation_definition *d, const world_point2d *center, world_point2d *destinations,
	angle *facings, angle facing, int16 total_unit_count)
{
	const int64 c = angle_cosine(facing), s = angle_sine(facing);
	const int32 m = MAX(d->maximum_units_per_staggered_line_row, static_cast<int16>(1));
	const int64 separation = d->staggered_line_unit_separation, half = separation / 2;
	const boolean qel = game && (game->option_flags & _game_option_uses_qel_flag);
	int32 placed = 0;
	for (int64 row = 0; placed < total_unit_count; ++row)
	{
		const boolean odd = row & 1;
		const int32 n = MIN(odd ? m + 1 : m, total_unit_count - placed);
		int64 first = (1 - static_cast<int64>(n)) * half;
		if (odd && !(n & 1) && !(n == 2 && qel)) first = -static_cast<int64>(n) * half;
		for (int32 i = 0; i < n; ++i, ++placed)
		{
			destinations[placed] = frame_point(center, c, s, -row * separation, first + static_cast<int64>(i) * separation);
			facings[placed] = facing;
		}
	}
}

void build_mob(const formation_definition *d, const world_point2d *center, world_point2d *destinations, angle *facings,
	angle facing, int16 total_unit_count)
{
	const int64 g = MAX(d->minimum_mob_unit_separation, static_cast<int16>(1));
	const uint32 spread = static_cast<uint32>(g * (isqrt(static_cast<uint32>(total_unit_count)) + 2));
	const int64 half = spread / 2;
	uint32 state = static_cast<uint32>(center->y) ^ static_cast<uint32>(center->x);
	destinations[0] = *center;
	facings[0] = facing;
	for (int32 i = 1; i < total_unit_count; ++i)
	{
		world_point2d candidate = *center;
		for (int32 attempt = 0; attempt < MAXIMUM_RABBLE_RETRIES; ++attempt)
		{
			state = state * 1664525u + 1013904223u;
			candidate.x = saturate32(center->x - half + state % spread);
			state = state * 1664525u + 1013904223u;
			candidate.y = saturate32(center->y - half + state % spread);
			boolean apart = TRUE;
			for (int32 j = 0; j < i && apart; ++j)
			{
				const int64 dx = static_cast<int64>(candidate.x) - destinations[j].x;
				const int64 dy = static_cast<int64>(candidate.y) - destinations[j].y;
				apart = dx * dx + dy * dy >= g * g;
			}
			if (apart) break;
		}
		destinations[i] = candidate;
		facings[i] = facing;
	}
}

static void build_encirclement(const formation_definition *d, angle arc_length, const world_point2d *center,
	world_point2d *destinations, angle *facings, angle facing, int16 n)
{
	const int64 numerator = static_cast<int64>(n - 1) * 65536 * d->encirclement_unit_separation;
	const boolean floating = game_play_version == 1300;
	// Two pi as the single-precision constant, in the extended format.
	const long double two_pi = static_cast<long double>(6.2831855f);
	const int64 arc = MAX(static_cast<int64>(arc_length), static_cast<int64>(1));
	int64 radius = floating ? static_cast<int64>(static_cast<long double>(numerator) / (two_pi * arc)) : numerator / (6 * arc);
	radius = MAX(radius, static_cast<int64>(d->minimum_encirclement_radius));
	radius = MAX(radius, static_cast<int64>(1));
	const int64 used = floating ? static_cast<int64>(static_cast<long double>(numerator) / (two_pi * radius))
								: numerator / (6 * radius);
	const int64 c = angle_cosine(facing), s = angle_sine(facing);
	world_point2d origin;
	origin.x = saturate32(center->x + ((radius * c) >> TRIG_SHIFT));
	origin.y = saturate32(center->y + ((radius * s) >> TRIG_SHIFT));
	for (int32 i = 0; i < n; ++i)
	{
		const angle a = static_cast<angle>(facing - used / 2 + (static_cast<int64>(i) * used) / (n - 1));
		destinations[i].x = saturate32(origin.x - ((radius * angle_cosine(a)) >> TRIG_SHIFT));
		destinations[i].y = saturate32(origin.y - ((radius * angle_sine(a)) >> TRIG_SHIFT));
		facings[i] = a;
	}
}

void build_shallow_encirclement(const formation_definition *d, const world_point2d *center, world_point2d *destinations,
	angle *facings, angle facing, int16 n)
{
	build_encirclement(d, d->shallow_encirclement_arc_length, center, destinations, facings, facing, n);
}

void build_deep_encirclement(const formation_definition *d, const world_point2d *center, world_point2d *destinations,
	angle *facings, angle facing, int16 n)
{
	build_encirclement(d, d->deep_encirclement_arc_length, center, destinations, facings, facing, n);
}

void build_vanguard_line(const formation_definition *d, const world_point2d *center, world_point2d *destinations,
	angle *facings, angle facing, int16 n)
{
	const int64 c = angle_cosine(facing), s = angle_sine(facing);
	int64 p = n / 2, front = d->vanguard_front_row_separation;
	if (n & 1)
	{
		p += 1;
		front = 0;
	}
	world_point2d apex;
	apex.x = center->x;
	apex.y = saturate32(center->y + (((p / 2) * d->vanguard_row_separation * s) >> TRIG_SHIFT));
	int32 placed = 0;
	if (n & 1)
	{
		destinations[placed] = apex;
		facings[placed++] = facing;
	}
	else
	{
		destinations[placed] = frame_point(&apex, c, s, 0, front);
		facings[placed++] = facing;
		destinations[placed] = frame_point(&apex, c, s, 0, -front);
		facings[placed++] = facing;
	}
	for (int64 k = 1; placed < n; ++k)
	{
		const int64 forward = -k * d->vanguard_row_separation, across = k * d->vanguard_unit_separation + front;
		destinations[placed] = frame_point(&apex, c, s, forward, across);
		facings[placed++] = facing;
		if (placed < n)
		{
			destinations[placed] = frame_point(&apex, c, s, forward, -across);
			facings[placed++] = facing;
		}
	}
}

void build_circle(const formation_definition *d, const world_point2d *center, world_point2d *destinations,
	angle *facings, angle facing, int16 n)
{
	const long double two_pi = static_cast<long double>(6.2831855f);
	const int64 radius =
		static_cast<int64>(static_cast<long double>(static_cast<int64>(d->circle_unit_separation) * n) / two_pi);
	for (int32 i = 0; i < n; ++i)
	{
		const angle a = static_cast<angle>(facing + (static_cast<int64>(i) * 65536) / n);
		destinations[i].x = saturate32(center->x + ((angle_cosine(a) * radius) >> TRIG_SHIFT));
		destinations[i].y = saturate32(center->y + ((angle_sine(a) * radius) >> TRIG_SHIFT));
		facings[i] = a;
	}
}

void build_formation(int16 player_index, int16 formation_index, const world_point2d *center,
	world_point2d *destinations, angle *facings, angle facing, int16 total_unit_count)
{
	const formation_definition *definition = get_formation_definition_for_player(player_index);
	if (!valid_formation_index(formation_index)) formation_index = _formation_short_line;
	if (total_unit_count <= 0) return;
	if (total_unit_count == 1)
	{
		destinations[0] = *center;
		facings[0] = facing;
		return;
	}
	formation_types[formation_index](definition, center, destinations, facings, facing, total_unit_count);
}
