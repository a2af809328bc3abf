#include "markers.h"

#include "monsters.h"

#include "bitmap_dialogs/screens.h"
#include "error_manager.h"
#include "mesh.h"
#include "local_projectiles.h"
#include "model_animations.h"
#include "models.h"
#include "objects.h"
#include "observer.h"
#include "projectiles.h"
#include "quicksort.h"
#include "recording.h"
#include "scenery.h"
#include "sound/sound_manager.h"
#include "zerv.h"

/* ---------- stored layouts */

constexpr byte_swap_code marker_data_bs_data[] = {
	_begin_bs_array, 1,
	_4byte, // flags
	_2byte, _2byte, _2byte, _2byte, // type, palette_index, identifier, minimum_difficulty_level
	_4byte, _4byte, _4byte, // position
	_2byte, _2byte, _2byte, // velocity
	_2byte, _2byte, _2byte, // height, yaw, pitch
	MARKER_USER_DATA_SIZE, // by the type's own descriptor
	8, // unused
	4, // data_index, data_identifier
	_end_bs_array};
static_assert(get_byte_swap_struct_size(marker_data_bs_data) == sizeof(marker_data));

constexpr byte_swap_code marker_palette_entry_bs_data[] = {
	_begin_bs_array, 1,
	_2byte, _2byte, // type, flags
	_4byte, // tag
	_2byte, 2, // team_index, pad
	_4byte, // extra_flags
	12, // unused
	4, // count, tag_index
	_end_bs_array};
static_assert(get_byte_swap_struct_size(marker_palette_entry_bs_data) == sizeof(marker_palette_entry));

// Eight 16-bit words; the first is the permutation.
constexpr byte_swap_code model_user_data_bs_data[] = {
	_begin_bs_array, 1, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _end_bs_array};
static_assert(get_byte_swap_struct_size(model_user_data_bs_data) == MARKER_USER_DATA_SIZE);

/* ---------- the marker table */

// Each owning module fills its procedures here as it lands; an empty slot
// means the type has none.
const marker_type_definition marker_table[NUMBER_OF_MARKER_TYPES] = {
	{static_cast<file_tag>(NONE), "Observer", new_observer_palette_entry, nullptr, nullptr, nullptr},
	{TAG("scen"), "Scenery", new_scenery_palette_entry, new_scenery, delete_object, nullptr},
	{static_cast<file_tag>(NONE), "Unused", nullptr, nullptr, nullptr, nullptr},
	{TAG("unit"), "Unit", new_monster_palette_entry, new_monster, nullptr, nullptr},
	{static_cast<file_tag>(NONE), "Unused", nullptr, nullptr, nullptr, nullptr},
	{TAG("amso"), "Sound Source", new_sound_source_palette_entry, new_sound_source, nullptr,
		sound_source_user_data_bs_data},
	{TAG("mode"), "Model", new_model_palette_entry, new_model_from_marker, delete_model, model_user_data_bs_data},
	{static_cast<file_tag>(NONE), "Unused", nullptr, nullptr, nullptr, nullptr},
	{static_cast<file_tag>(NONE), "Unused", nullptr, nullptr, nullptr, nullptr},
	{TAG("proj"), "projectile", new_projectile_palette_entry, new_projectile_from_marker, delete_object, nullptr},
	{TAG("lpgr"), "local projectile group", new_local_projectile_group_palette_entry,
		new_local_projectile_group_from_marker, delete_local_projectile_group, nullptr},
	{TAG("anim"), "model animation", new_model_animation_palette_entry, new_model_animation_from_marker,
		delete_model_animation, nullptr},
};

static const char unknown_marker_type_name[] = "<unknown>";

static marker_globals_data *marker_globals = nullptr;
static markers_test_hooks_data markers_test_hooks;

markers_test_hooks_data *get_markers_test_hooks(void)
{
	return &markers_test_hooks;
}

void reset_markers_test_hooks(void)
{
	markers_test_hooks = {};
}

marker_globals_data *get_marker_globals(void)
{
	return marker_globals;
}

static bool marker_type_is_valid(int32 type)
{
	return type >= 0 && type < NUMBER_OF_MARKER_TYPES;
}

// The types no palette row may have: they have no palette procedure.
static bool marker_type_is_unused(int32 type)
{
	return type == _marker_unused1 || type == _marker_unused2 || type == _marker_unused3 || type == _marker_unused4;
}

static new_marker_palette_entry_proc palette_procedure(int16 type)
{
	if (!marker_type_is_valid(type)) return nullptr;
	return markers_test_hooks.new_palette_entry[type] ? markers_test_hooks.new_palette_entry[type]
													  : marker_table[type].new_palette_entry;
}

static new_data_from_marker_proc create_procedure(int16 type)
{
	if (!marker_type_is_valid(type)) return nullptr;
	return markers_test_hooks.new_from_marker[type] ? markers_test_hooks.new_from_marker[type]
													: marker_table[type].new_from_marker;
}

static delete_data_from_marker_proc delete_procedure(int16 type)
{
	if (!marker_type_is_valid(type)) return nullptr;
	return markers_test_hooks.delete_data[type] ? markers_test_hooks.delete_data[type] : marker_table[type].delete_data;
}

/* ---------- the loaded lists */

static marker_data *loaded_markers(int32 *count)
{
	if (!mesh_globals || !mesh_globals->markers)
	{
		*count = 0;
		return nullptr;
	}
	*count = mesh_globals->marker_count;
	return mesh_globals->markers;
}

static marker_palette_entry *loaded_palette(int32 *count)
{
	if (!mesh_globals || !mesh_globals->marker_palette)
	{
		*count = 0;
		return nullptr;
	}
	*count = mesh_globals->marker_palette_count;
	return mesh_globals->marker_palette;
}

/* ---------- identifiers */

// Identifiers from FIRST_FRESH_MARKER_IDENTIFIER up that a type already uses.
struct used_identifiers
{
	uint32 bits[(MAXIMUM_MARKER_IDENTIFIER + 1 - FIRST_FRESH_MARKER_IDENTIFIER + 31) / 32];

	void mark(int32 identifier)
	{
		if (identifier < FIRST_FRESH_MARKER_IDENTIFIER || identifier > MAXIMUM_MARKER_IDENTIFIER) return;
		const int32 n = identifier - FIRST_FRESH_MARKER_IDENTIFIER;
		bits[n >> 5] |= FLAG(n & 31);
	}
	bool used(int32 identifier) const
	{
		const int32 n = identifier - FIRST_FRESH_MARKER_IDENTIFIER;
		return (bits[n >> 5] & FLAG(n & 31)) != 0;
	}
};

static void collect_used_identifiers(const marker_data *markers, int32 count, int16 type, used_identifiers *used)
{
	memset(used, 0, sizeof(*used));
	for (int32 i = 0; i < count; ++i)
	{
		if (markers[i].type == type && markers[i].identifier != 0) used->mark(markers[i].identifier);
	}
}

// Gives every marker of the type without an identifier the next free one
// from 1000; false (nothing past the limit assigned) when they run out.
static bool assign_fresh_identifiers(marker_data *markers, int32 count, int16 type, bool write)
{
	static used_identifiers used;
	collect_used_identifiers(markers, count, type, &used);

	int32 next = FIRST_FRESH_MARKER_IDENTIFIER;
	for (int32 i = 0; i < count; ++i)
	{
		if (markers[i].type != type || markers[i].identifier != 0) continue;
		while (next <= MAXIMUM_MARKER_IDENTIFIER && used.used(next)) next += 1;
		if (next > MAXIMUM_MARKER_IDENTIFIER) return false;
		if (write) markers[i].identifier = static_cast<int16>(next);
		next += 1;
	}
	return true;
}

const char *check_marker_data(const marker_data *markers, int32 marker_count, const marker_palette_entry *palette,
	int32 palette_count)
{
	static char reason[128];

	for (int32 i = 0; i < marker_count; ++i)
	{
		if (!marker_type_is_valid(markers[i].type))
		{
			snprintf(reason, sizeof(reason), "marker #%d has the unknown type #%d.", static_cast<int>(i),
				markers[i].type);
			return reason;
		}
	}
	for (int32 i = 0; i < palette_count; ++i)
	{
		const marker_palette_entry *entry = &palette[i];
		if (!marker_type_is_valid(entry->type) || marker_type_is_unused(entry->type))
		{
			snprintf(reason, sizeof(reason), "marker palette row #%d has the unusable type #%d.", static_cast<int>(i),
				entry->type);
			return reason;
		}
		if (entry->type == _marker_monster && (entry->team_index < NONE || entry->team_index > MAXIMUM_MARKER_TEAM_INDEX))
		{
			snprintf(reason, sizeof(reason), "marker palette row #%d names the team #%d.", static_cast<int>(i),
				entry->team_index);
			return reason;
		}
	}
	for (int16 type = 0; type < NUMBER_OF_MARKER_TYPES; ++type)
	{
		if (!assign_fresh_identifiers(const_cast<marker_data *>(markers), marker_count, type, false))
		{
			snprintf(reason, sizeof(reason), "markers of type #%d run out of identifiers.", type);
			return reason;
		}
	}
	return nullptr;
}

/* ---------- life cycle */

void initialize_markers(void)
{
	if (marker_globals)
	{
		// Set up again (tests): the warnings may be given afresh.
		memset(marker_globals, 0, sizeof(*marker_globals));
		return;
	}
	marker_globals = static_cast<marker_globals_data *>(new_pointer_z(sizeof(marker_globals_data)));
	if (!marker_globals)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for marker globals",
			static_cast<int>(sizeof(marker_globals_data)));
	}
}

void initialize_markers_for_new_map(void)
{
	if (marker_globals)
	{
		// The palette warnings stay given for the rest of the run.
		marker_globals->statistics = {};
	}

	int32 palette_count;
	marker_palette_entry *palette = loaded_palette(&palette_count);
	for (int32 i = 0; i < palette_count; ++i)
	{
		palette[i].count = 0;
		palette[i].tag_index = NONE;
	}

	int32 marker_count;
	marker_data *markers = loaded_markers(&marker_count);
	for (int16 type = 0; type < NUMBER_OF_MARKER_TYPES; ++type)
	{
		// The load checked that every type has enough identifiers.
		assign_fresh_identifiers(markers, marker_count, type, true);
	}
}

static void advance_progress(void)
{
	markers_test_hooks.progress_steps += 1;
	update_map_loading_progress_dialog();
}

void add_markers_to_new_map(void)
{
	int32 palette_count, marker_count;
	marker_palette_entry *palette = loaded_palette(&palette_count);
	marker_data *markers = loaded_markers(&marker_count);

	for (int16 type = 0; type < NUMBER_OF_MARKER_TYPES; ++type)
	{
		advance_progress();
		for (int32 i = 0; i < palette_count; ++i)
		{
			if (palette[i].type == type) add_marker_palette_entry_for_type(type, &palette[i]);
		}
		for (int32 i = 0; i < marker_count; ++i)
		{
			if (markers[i].type != type) continue;
			markers[i].data_index = NONE;
			create_data_from_marker(type, &markers[i]);
		}
	}
	for (int32 i = 0; i < MAP_LOADING_PROGRESS_STEPS_AFTER_MARKERS; ++i) advance_progress();
}

/* ---------- lookup */

void new_scan_markers_state(scan_markers_state *state, int16 type_filter, int16 palette_index_filter,
	int16 data_index_filter)
{
	state->type = type_filter;
	state->palette_index = palette_index_filter;
	state->data_index = data_index_filter;
	state->result_marker_index = NONE;
	state->internal_index = 0;
}

marker_data *scan_markers(scan_markers_state *state)
{
	int32 count;
	marker_data *markers = loaded_markers(&count);
	for (int32 i = MAX(state->internal_index, 0); i < count; ++i)
	{
		const marker_data *marker = &markers[i];
		if (state->type != NONE && marker->type != state->type) continue;
		if (state->palette_index != NONE && marker->palette_index != state->palette_index) continue;
		if (state->data_index != NONE && marker->data_index != state->data_index) continue;
		state->result_marker_index = i;
		state->internal_index = i + 1;
		return &markers[i];
	}
	state->result_marker_index = NONE;
	state->internal_index = count;
	return nullptr;
}

int32 count_markers(int16 type)
{
	int32 count, result = 0;
	const marker_data *markers = loaded_markers(&count);
	for (int32 i = 0; i < count; ++i)
	{
		if (markers[i].type == type) result += 1;
	}
	return result;
}

void new_scan_marker_palette_state(scan_marker_palette_state *state, int16 type_filter, file_tag tag_filter)
{
	state->type = type_filter;
	state->tag = tag_filter;
	state->result_palette_index = NONE;
	state->typed_index = NONE;
	state->internal_index = 0;
}

marker_palette_entry *scan_marker_palette(scan_marker_palette_state *state)
{
	int32 count;
	marker_palette_entry *palette = loaded_palette(&count);
	for (int32 i = MAX(state->internal_index, 0); i < count; ++i)
	{
		if (state->type != NONE && palette[i].type != state->type) continue;
		state->typed_index += 1; // position among the rows of the filtered type
		if (state->tag != static_cast<file_tag>(NONE) && palette[i].tag != state->tag) continue;
		state->result_palette_index = i;
		state->internal_index = i + 1;
		return &palette[i];
	}
	state->result_palette_index = NONE;
	state->internal_index = count;
	return nullptr;
}

int32 count_marker_palette_entries(int16 type)
{
	int32 count, result = 0;
	const marker_palette_entry *palette = loaded_palette(&count);
	for (int32 i = 0; i < count; ++i)
	{
		if (type == NONE || palette[i].type == type) result += 1;
	}
	return result;
}

marker_palette_entry *get_marker_palette_entry(int16 type, int32 index)
{
	int32 count;
	marker_palette_entry *palette = loaded_palette(&count);
	int32 seen = 0;
	for (int32 i = 0; i < count; ++i)
	{
		if (type != NONE && palette[i].type != type) continue;
		if (index >= 0 && seen == index) return &palette[i];
		seen += 1;
	}

	// Types outside the table share one warning bit and have no name.
	const int32 bit = marker_type_is_valid(type) ? static_cast<int32>(type) : static_cast<int32>(NUMBER_OF_MARKER_TYPES);
	if (marker_globals && !(marker_globals->incomplete_palette_warning_mask & FLAG(bit)))
	{
		marker_globals->incomplete_palette_warning_mask |= FLAG(bit);
		log_message(nullptr, NONE, "***Warning****");
		log_message(nullptr, NONE, "Mesh has incomplete marker palette for type '%s'...", marker_type_to_group_name(type));
		log_message(nullptr, NONE, " -> Marker palette index #%d for not in range [0,#%d)!", static_cast<int>(index),
			static_cast<int>(seen));
	}
	return nullptr;
}

marker_data *get_marker_by_index(int32 marker_index)
{
	int32 count;
	marker_data *markers = loaded_markers(&count);
	return marker_index >= 0 && marker_index < count ? &markers[marker_index] : nullptr;
}

int32 get_marker_index(const marker_data *marker)
{
	int32 count;
	const marker_data *markers = loaded_markers(&count);
	if (!marker || !markers) return NONE;
	// Compared as addresses so that a record outside the list never makes an index.
	const uintptr_t address = reinterpret_cast<uintptr_t>(marker);
	const uintptr_t first = reinterpret_cast<uintptr_t>(markers);
	if (address < first) return NONE;
	const uintptr_t offset = address - first;
	if (offset % sizeof(marker_data) != 0) return NONE;
	const uintptr_t index = offset / sizeof(marker_data);
	return index < static_cast<uintptr_t>(count) ? static_cast<int32>(index) : NONE;
}

template <typename match_type>
static marker_data *first_marker_of_type(int16 type, match_type match)
{
	int32 count;
	marker_data *markers = loaded_markers(&count);
	for (int32 i = 0; i < count; ++i)
	{
		if (markers[i].type == type && match(markers[i])) return &markers[i];
	}
	return nullptr;
}

marker_data *get_marker_by_identifier(int16 type, int16 identifier)
{
	return first_marker_of_type(type, [&](const marker_data &m) { return m.identifier == identifier; });
}

marker_data *get_marker_by_data_index(int16 type, int16 data_index)
{
	return first_marker_of_type(type, [&](const marker_data &m) { return m.data_index == data_index; });
}

marker_data *get_marker_by_data_index_and_identifier(int16 type, int16 data_index, int16 identifier)
{
	return first_marker_of_type(type,
		[&](const marker_data &m) { return m.data_index == data_index && m.identifier == identifier; });
}

int32 get_marker_array_of_type(int16, marker_data **array)
{
	int32 count;
	marker_data *markers = loaded_markers(&count);
	if (array) *array = markers;
	return count;
}

file_tag marker_type_to_tag_group(int16 type)
{
	return marker_type_is_valid(type) ? marker_table[type].group_tag : static_cast<file_tag>(NONE);
}

const char *marker_type_to_group_name(int16 type)
{
	return marker_type_is_valid(type) ? marker_table[type].name : unknown_marker_type_name;
}

/* ---------- the type procedures */

void add_marker_palette_entry_for_type(int16 type, marker_palette_entry *entry)
{
	new_marker_palette_entry_proc procedure = palette_procedure(type);
	if (!procedure) return;
	procedure(entry);
	if (marker_globals) marker_globals->statistics.palette_entries_added += 1;
}

int16 create_data_from_marker(int16 type, marker_data *marker)
{
	new_data_from_marker_proc procedure = create_procedure(type);
	if (!procedure) return NONE;
	const int16 result = procedure(marker);
	if (marker_globals && result != NONE) marker_globals->statistics.markers_created += 1;
	return result;
}

void delete_data_associated_with_marker(marker_data *marker)
{
	if (!marker || marker->data_index == NONE) return;
	delete_data_from_marker_proc procedure = delete_procedure(marker->type);
	if (procedure) procedure(marker->data_index);
}

/* ---------- stored order */

static const byte_swap_code *user_data_descriptor(int16 type)
{
	return marker_type_is_valid(type) ? marker_table[type].user_data_bs_data : nullptr;
}

void byte_swap_marker_list(marker_data *markers, int32 count)
{
	for (int32 i = 0; i < count; ++i)
	{
		byte_swap_data("marker", &markers[i], sizeof(marker_data), 1, marker_data_bs_data);
		// A type outside the table has no user data layout; the load rejects it.
		const byte_swap_code *codes = user_data_descriptor(markers[i].type);
		if (codes) byte_swap_data("marker user data", markers[i].user_data, MARKER_USER_DATA_SIZE, 1, codes);
	}
}

void byte_swap_marker_list_out(marker_data *markers, int32 count)
{
	for (int32 i = 0; i < count; ++i)
	{
		const byte_swap_code *codes = user_data_descriptor(markers[i].type);
		if (codes) byte_swap_data("marker user data", markers[i].user_data, MARKER_USER_DATA_SIZE, 1, codes);
		byte_swap_data("marker", &markers[i], sizeof(marker_data), 1, marker_data_bs_data);
	}
}

void byte_swap_marker_palette(marker_palette_entry *palette, int32 count)
{
	byte_swap_data("marker palette", palette, sizeof(marker_palette_entry), count, marker_palette_entry_bs_data);
}

int compare_marker_data(const void *a, const void *b)
{
	return static_cast<const marker_data *>(b)->type - static_cast<const marker_data *>(a)->type;
}

void sort_marker_list(marker_data *markers, int32 count)
{
	if (markers && count > 1) qsort_private(markers, count, sizeof(marker_data), compare_marker_data);
}

void sort_markers_before_saving(void)
{
	int32 count;
	marker_data *markers = loaded_markers(&count);
	sort_marker_list(markers, count);
}

/* ---------- digest */

void fold_markers_digest(zerv_digest *digest)
{
	int32 marker_count, palette_count;
	const marker_data *markers = loaded_markers(&marker_count);
	const marker_palette_entry *palette = loaded_palette(&palette_count);
	zerv_digest_int32(digest, marker_count);
	for (int32 i = 0; i < marker_count; ++i)
	{
		zerv_digest_int16(digest, markers[i].identifier);
		// Creation writes both (a flyer's raised height).
		zerv_digest_uint32(digest, markers[i].flags);
		zerv_digest_int32(digest, markers[i].location.position.x);
		zerv_digest_int32(digest, markers[i].location.position.y);
		zerv_digest_int32(digest, markers[i].location.position.z);
		// A visual group's index depends on earlier frames: no machine may compare it.
		if (markers[i].type == _marker_local_projectile_group) continue;
		zerv_digest_int16(digest, markers[i].data_index);
		zerv_digest_int16(digest, markers[i].data_identifier);
	}
	zerv_digest_int32(digest, palette_count);
	for (int32 i = 0; i < palette_count; ++i)
	{
		if (palette[i].type != _marker_local_projectile_group) zerv_digest_int16(digest, palette[i].count);
		zerv_digest_int16(digest, palette[i].tag_index);
	}
}

/* ---------- scoring */

boolean palette_compatible_with_game_scoring(const marker_palette_entry *entry)
{
	if (!entry || !game) return TRUE;

	bool applies;
	if (game_play_version > 1700)
	{
		if (game->type == _game_type_networked)
			applies = !(game->option_flags & _game_option_cooperative_flag);
		else if (game->type != _game_type_replay)
			return TRUE;
		else
			applies = !game_is_solo_replay();
	}
	else
	{
		if (game->type == _game_type_networked)
			applies = true;
		else if (game->type != _game_type_replay)
			return TRUE;
		else
			applies = get_replay_game_type() == _game_type_networked;
	}
	if (!applies) return TRUE;

	const int16 bit = mesh_scoring_flag_bit(game->scoring);
	if (bit < 0 || bit > 31) return FALSE;
	return (entry->extra_flags & FLAG(bit)) ? TRUE : FALSE;
}
