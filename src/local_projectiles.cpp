#include "local_projectiles.h"

#include <algorithm>
#include <cstring>

#include "alliances.h"
#include "collection_references.h"
#include "error_manager.h"
#include "markers.h"
#include "media.h"
#include "mesh.h"
#include "mirror_groups.h"
#include "monsters.h"
#include "objects.h"
#include "players.h"
#include "render/render.h"
#include "shapes.h"
#include "sound/sound_manager.h"
#include "tag_files/tag_files.h"
#include "projectile_definitions.h"
#include "wind.h"
#include "world.h"
#include "zerv.h"

/* ---------- stored layouts */

constexpr byte_swap_code local_physics_definition_bs_data[] = {
	_begin_bs_array, 1, _2byte, _2byte, 2 * SIZEOF_PHYSICS_BUFFER, _end_bs_array};
static_assert(get_byte_swap_struct_size(local_physics_definition_bs_data) == sizeof(local_physics_definition));

constexpr byte_swap_code linear_physics_bs_data[] = {
	_begin_bs_array, 1, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte,
	_4byte, _4byte, 8, _end_bs_array};
constexpr byte_swap_code cylindrical_physics_bs_data[] = {
	_begin_bs_array, 1, _4byte, _2byte, _2byte, _2byte, _2byte, _4byte, _4byte, _4byte, 36, _end_bs_array};
constexpr byte_swap_code spherical_spring_physics_bs_data[] = {
	_begin_bs_array, 1, _4byte, _2byte, _2byte, _4byte, 48, _end_bs_array};
constexpr byte_swap_code point_attractor_physics_bs_data[] = {
	_begin_bs_array, 1, _4byte, _4byte, _4byte, _4byte, _2byte, 42, _end_bs_array};
constexpr byte_swap_code converging_physics_bs_data[] = {
	_begin_bs_array, 1, _4byte, _2byte, _2byte, _2byte, _2byte, 48, _end_bs_array};
constexpr byte_swap_code explosive_gas_physics_bs_data[] = {
	_begin_bs_array, 1, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte, _4byte, _2byte, 30, _end_bs_array};
static_assert(get_byte_swap_struct_size(linear_physics_bs_data) == sizeof(linear_physics_definition));
static_assert(get_byte_swap_struct_size(cylindrical_physics_bs_data) == sizeof(cylindrical_physics_definition));
static_assert(get_byte_swap_struct_size(spherical_spring_physics_bs_data) == sizeof(spherical_spring_physics_definition));
static_assert(get_byte_swap_struct_size(point_attractor_physics_bs_data) == sizeof(point_attractor_physics_definition));
static_assert(get_byte_swap_struct_size(converging_physics_bs_data) == sizeof(converging_physics_definition));
static_assert(get_byte_swap_struct_size(explosive_gas_physics_bs_data) == sizeof(explosive_gas_physics_definition));

struct physics_type_descriptor
{
	const char *name;
	const byte_swap_code *codes;
};

static const physics_type_descriptor physics_type_descriptors[NUMBER_OF_LOCAL_PHYSICS_TYPES] = {
	{"linear physics", linear_physics_bs_data},
	{"cylindrical physics", cylindrical_physics_bs_data},
	{"spherical spring physics", spherical_spring_physics_bs_data},
	{"point attractor physics", point_attractor_physics_bs_data},
	{"converging physics", converging_physics_bs_data},
	{"explosive gas physics", explosive_gas_physics_bs_data}};

constexpr byte_swap_code local_projectile_group_definition_bs_data[] = {
	_begin_bs_array, 1,
	_4byte, _4byte, _4byte, // flags, collection, physics
	_2byte, _2byte, // sequences
	_2byte, _2byte, _2byte, _2byte, _2byte, _2byte, // scale, rate, target
	_4byte, _4byte, _4byte, _4byte, // radius, expiration
	_2byte, _2byte, // transfer mode, height offset
	_2byte, _2byte, _2byte, _2byte, // transitions
	_4byte, _4byte, // duration
	_2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, // scales
	1, 1, 38, // visibility, unused
	_2byte, _2byte, _2byte, _2byte, // run time
	_end_bs_array};
static_assert(get_byte_swap_struct_size(local_projectile_group_definition_bs_data) ==
	sizeof(local_projectile_group_definition));

/* ---------- module state */

datum_globals local_projectile_group_array = {"local proj grps", LOCAL_PROJECTILE_GROUP_CAPACITY,
	sizeof(local_projectile_group_data), 0};
datum_globals local_projectile_array = {"local projs", LOCAL_PROJECTILE_CAPACITY, sizeof(local_projectile_data), 0};

static local_physics_definition make_default_local_physics_definition(void)
{
	local_physics_definition d = {};
	d.type = NONE;
	return d;
}
static const local_physics_definition default_local_physics_definition = make_default_local_physics_definition();

static definition_globals local_physics_definitions = {
	"local physics",
	LOCAL_PHYSICS_DEFINITION_GROUP_TAG,
	LOCAL_PHYSICS_DEFINITION_VERSION_NUMBER,
	MAXIMUM_LOCAL_PHYSICS_DEFINITIONS_PER_MAP,
	static_cast<int16>(sizeof(local_physics_definition)),
	nullptr,
	postprocess_local_physics_definition,
	nullptr,
	&default_local_physics_definition,
	local_physics_definition_bs_data,
	0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr};

static definition_globals local_projectile_group_definitions = {
	"local projectile group",
	LOCAL_PROJECTILE_GROUP_DEFINITION_GROUP_TAG,
	LOCAL_PROJECTILE_GROUP_DEFINITION_VERSION_NUMBER,
	MAXIMUM_LOCAL_PROJECTILE_GROUP_DEFINITIONS_PER_MAP,
	static_cast<int16>(sizeof(local_projectile_group_definition)),
	local_projectile_group_definition_dependencies,
	postprocess_local_projectile_group_definition,
	nullptr,
	nullptr,
	local_projectile_group_definition_bs_data,
	0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr};

struct local_projectiles_globals_data
{
	int16 maximum_groups, maximum_particles;
};

static local_projectiles_globals_data *local_projectiles_globals = nullptr;
static local_projectiles_test_hooks_data local_projectiles_test_hooks;

definition_globals *get_local_physics_definitions(void) { return &local_physics_definitions; }
definition_globals *get_local_projectile_group_definitions(void) { return &local_projectile_group_definitions; }

local_projectile_group_data *get_local_projectile_group_data(int16 group_index)
{
	return static_cast<local_projectile_group_data *>(datum_in_use(&local_projectile_group_array, group_index));
}

local_projectile_data *get_local_projectile_data(int16 projectile_index)
{
	return static_cast<local_projectile_data *>(datum_in_use(&local_projectile_array, projectile_index));
}

local_projectile_group_definition *get_local_projectile_group_definition(int16 type)
{
	return static_cast<local_projectile_group_definition *>(
		try_and_get_definition(&local_projectile_group_definitions, type));
}

local_physics_definition *get_local_physics_definition(int16 type)
{
	return static_cast<local_physics_definition *>(try_and_get_definition(&local_physics_definitions, type));
}

static int16 physics_type_of(const local_projectile_group_definition *definition)
{
	const local_physics_definition *physics = definition ? get_local_physics_definition(definition->physics_index) : nullptr;
	return physics && physics->type >= 0 && physics->type < NUMBER_OF_LOCAL_PHYSICS_TYPES ? physics->type
		: static_cast<int16>(NONE);
}

template <typename T>
static const T *physics_record(const local_projectile_group_definition *definition)
{
	const local_physics_definition *physics = get_local_physics_definition(definition->physics_index);
	return reinterpret_cast<const T *>(physics->buffer);
}

/* ---------- life cycle */

void initialize_local_projectiles(void)
{
	if (!local_projectiles_globals)
	{
		local_projectiles_globals =
			static_cast<local_projectiles_globals_data *>(new_pointer_z(sizeof(local_projectiles_globals_data)));
		if (!local_projectiles_globals) return;
		local_projectile_group_array.maximum_count = LOCAL_PROJECTILE_GROUP_CAPACITY;
		local_projectile_array.maximum_count = LOCAL_PROJECTILE_CAPACITY;
		initialize_data(&local_projectile_group_array);
		initialize_data(&local_projectile_array);
		initialize_mirror_groups();
	}
	// Always afresh: a second start-up (tests) re-registers the groups.
	initialize_definitions(&local_physics_definitions);
	initialize_definitions(&local_projectile_group_definitions);
}

// The highest counts the arrays have had since their records were last
// cleared: the next map clears that far, not only its own share.
static int16 group_records_reached = LOCAL_PROJECTILE_GROUP_CAPACITY;
static int16 particle_records_reached = LOCAL_PROJECTILE_CAPACITY;

void set_local_projectile_capacities(int16 groups, int16 particles)
{
	local_projectile_group_array.maximum_count = static_cast<int16>(PIN(groups, 1, LOCAL_PROJECTILE_GROUP_CAPACITY));
	local_projectile_array.maximum_count = static_cast<int16>(PIN(particles, 1, LOCAL_PROJECTILE_CAPACITY));
	group_records_reached = std::max(group_records_reached, local_projectile_group_array.maximum_count);
	particle_records_reached = std::max(particle_records_reached, local_projectile_array.maximum_count);
}

void initialize_local_projectiles_for_new_map(void)
{
	if (!local_projectiles_globals) return;
	// Every record an earlier map reached is cleared, not only this map's
	// share: records left above it would read as in use once the counts are
	// raised again.
	local_projectile_group_array.maximum_count = group_records_reached;
	local_projectile_array.maximum_count = particle_records_reached;
	initialize_data_for_new_map(&local_projectile_group_array);
	initialize_data_for_new_map(&local_projectile_array);
	group_records_reached = particle_records_reached = 0;
	set_local_projectile_capacities(MAXIMUM_LOCAL_PROJECTILE_GROUPS_PER_MAP, MAXIMUM_LOCAL_PROJECTILES_PER_MAP);
	if (local_physics_definitions.definitions) initialize_definitions_for_new_map(&local_physics_definitions);
	if (local_projectile_group_definitions.definitions)
	{
		initialize_definitions_for_new_map(&local_projectile_group_definitions);
	}
}

void dispose_local_projectiles_from_old_map(void)
{
	if (!local_projectiles_globals) return;
	dispose_data_from_old_map(&local_projectile_group_array);
	dispose_data_from_old_map(&local_projectile_array);
	if (local_projectile_group_definitions.definitions)
	{
		dispose_definitions_from_old_map(&local_projectile_group_definitions);
	}
	if (local_physics_definitions.definitions) dispose_definitions_from_old_map(&local_physics_definitions);
}

/* ---------- definitions */

static void swap_physics_buffer(local_physics_definition *definition)
{
	if (definition->type < 0 || definition->type >= NUMBER_OF_LOCAL_PHYSICS_TYPES) return; // moves as no physics
	const physics_type_descriptor *descriptor = &physics_type_descriptors[definition->type];
	byte_swap_data(descriptor->name, definition->buffer, sizeof(definition->buffer), 1, descriptor->codes);
}

boolean postprocess_local_physics_definition(definition_globals *, int16, int32, void *definition)
{
	// The loader swapped only the type and pad; the buffer follows its type.
	swap_physics_buffer(static_cast<local_physics_definition *>(definition));
	return TRUE;
}

void local_physics_definition_to_stored(const local_physics_definition *definition, uint8 *stored)
{
	local_physics_definition copy = *definition;
	swap_physics_buffer(&copy);
	byte_swap_data("local physics", &copy, sizeof(copy), 1, local_physics_definition_bs_data);
	memcpy(stored, &copy, sizeof(copy));
}

void local_projectile_group_definition_dependencies(void *definition, report_definition_dependency_proc report)
{
	local_projectile_group_definition *d = static_cast<local_projectile_group_definition *>(definition);
	report(TAG("core"), d->collection_reference_tag, &d->collection_reference_index);
}

boolean postprocess_local_projectile_group_definition(definition_globals *, int16, int32 tag_handle, void *definition)
{
	local_projectile_group_definition *d = static_cast<local_projectile_group_definition *>(definition);
	const char *name = tag_handle == NONE ? "<unknown>" : tag_file_name_get(tag_handle);
	d->collection_reference_index =
		definition_tag_to_index(get_collection_reference_definitions(), d->collection_reference_tag);
	const collection_reference *reference = get_collection_reference(d->collection_reference_index);
	if (!reference)
	{
		error_message(_error_data_missing, MODULE_NAME, __LINE__, "local projectile group %s has no collection '%s'.",
			name, tag_to_string(d->collection_reference_tag));
		return FALSE;
	}
	d->physics_index = NONE;
	if (definition_tag_is_present(d->physics_tag))
	{
		d->physics_index = local_physics_definition_tag_to_index(d->physics_tag);
		if (d->physics_index == NONE)
		{
			error_message(_error_data_missing, MODULE_NAME, __LINE__, "local projectile group %s has no physics '%s'.",
				name, tag_to_string(d->physics_tag));
			return FALSE;
		}
	}
	d->collection_index = reference->collection_index;
	d->color_table_index = NONE;
	if (!verify_sequence_index(d->collection_index, d->sequence_indexes[0]))
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__,
			"local projectile group %s names sequence #%d, which its collection does not have.", name,
			static_cast<int>(d->sequence_indexes[0]));
		return FALSE;
	}
	// The stain is optional: a bad one is dropped rather than drawn past the table.
	if (d->sequence_indexes[1] != NONE && !verify_sequence_index(d->collection_index, d->sequence_indexes[1]))
	{
		log_message(MODULE_NAME, __LINE__, "local projectile group %s names stain sequence #%d, which is dropped.", name,
			static_cast<int>(d->sequence_indexes[1]));
		d->sequence_indexes[1] = NONE;
	}
	return TRUE;
}

int16 local_projectile_group_definition_tag_to_index(file_tag tag)
{
	if (!local_projectile_group_definitions.definitions) return NONE;
	return definition_tag_to_index(&local_projectile_group_definitions, tag);
}

int16 local_physics_definition_tag_to_index(file_tag tag)
{
	if (!local_physics_definitions.definitions) return NONE;
	return definition_tag_to_index(&local_physics_definitions, tag);
}

int16 new_local_physics_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size)
{
	return new_flat_definition_from_tag_data(&local_physics_definitions, subgroup, tag_data, tag_data_size);
}

int16 new_local_projectile_group_definition_from_tag_data(file_tag subgroup, const void *tag_data, int32 tag_data_size)
{
	return new_flat_definition_from_tag_data(&local_projectile_group_definitions, subgroup, tag_data, tag_data_size);
}

/* ---------- small maths */

static inline int32 rnd(int32 n)
{
	return local_random_below(n);
}

static inline int32 cos14(angle a) { return angle_cosine(a); }
static inline int32 sin14(angle a) { return angle_sine(a); }

static inline int32 clamp32(int64 value)
{
	return static_cast<int32>(std::min<int64>(std::max<int64>(value, INT32_MIN), INT32_MAX));
}

static inline int16 clamp16(int64 value)
{
	return static_cast<int16>(std::min<int64>(std::max<int64>(value, -32768), 32767));
}

// Offsets stay far beyond any map yet well inside 32 bits, so that a centre
// plus an offset never wraps whatever the stored laws say.
#define LOCAL_PROJECTILE_OFFSET_LIMIT (1 << 28)

static inline int32 clamp_offset(int64 value)
{
	return static_cast<int32>(PIN(value, -LOCAL_PROJECTILE_OFFSET_LIMIT, LOCAL_PROJECTILE_OFFSET_LIMIT));
}

// A 32-bit bound plus a draw within its delta; a stored pair near the top of
// the range stays there rather than wrapping.
static inline int32 drawn_between(int32 lower, int32 delta)
{
	return clamp32(static_cast<int64>(lower) + rnd(delta));
}

static world_point3d sphere_point(int32 r, angle theta, angle phi)
{
	const int64 horizontal = (static_cast<int64>(r) * cos14(phi)) >> TRIG_SHIFT;
	return {static_cast<int32>((horizontal * cos14(theta)) >> TRIG_SHIFT),
		static_cast<int32>((horizontal * sin14(theta)) >> TRIG_SHIFT),
		static_cast<int32>((static_cast<int64>(r) * sin14(phi)) >> TRIG_SHIFT)};
}

static angle heading(int64 x, int64 y)
{
	// The arctangent reads 32-bit distances; its angle needs only the ratio.
	while (x > 0x3FFFFFFF || x < -0x3FFFFFFF || y > 0x3FFFFFFF || y < -0x3FFFFFFF)
	{
		x >>= 1;
		y >>= 1;
	}
	return arctangent(static_cast<world_distance>(x), static_cast<world_distance>(y));
}

static void turn_horizontal(int32 *x, int32 *y, angle yaw)
{
	const int64 c = cos14(yaw), s = sin14(yaw);
	const int64 nx = (*x * c - *y * s) >> TRIG_SHIFT, ny = (*x * s + *y * c) >> TRIG_SHIFT;
	*x = clamp32(nx);
	*y = clamp32(ny);
}

/* ---------- groups */

static void detach_group_from_unit(local_projectile_group_data *group, int16 group_index)
{
	if (group->monster_index == NONE) return;
	monster_data *monster = get_monster_data(group->monster_index);
	if (monster && monster->local_projectile_group_index == group_index) monster->local_projectile_group_index = NONE;
	group->monster_index = NONE;
}

static void enter_ending(local_projectile_group_data *group)
{
	if (group->state == _state_ending) return;
	group->state = _state_ending;
	group->transition_ticks_elapsed = 0;
}

int16 new_local_projectile_group(const new_local_projectile_group_data *data)
{
	local_projectiles_test_hooks.new_group_calls += 1;
	if (!local_projectiles_globals || local_projectiles_test_hooks.module_off || !data) return NONE;
	const local_projectile_group_definition *definition = get_local_projectile_group_definition(data->type);
	if (data->type == NONE || !definition) return NONE;
	const int16 group_index = new_datum(&local_projectile_group_array);
	if (group_index == NONE) return NONE;
	local_projectile_group_data *group = get_local_projectile_group_data(group_index);
	group->type = data->type;
	group->flags = data->flags;
	group->center = data->center;
	group->center.z += definition->height_offset;
	group->central_object_index = data->central_object_index;
	group->central_object_identifier = data->central_object_identifier;
	group->color_table_index = data->color_table_index;
	const object_data *bounds = get_object_data(data->bounds_object_index);
	if (bounds && (data->bounds_object_identifier == NONE || bounds->identifier == data->bounds_object_identifier))
	{
		group->bounds_position = bounds->location.position;
		group->bounds_radius = bounds->radius;
		group->bounds_height0 = bounds->height0;
		group->bounds_height1 = bounds->height1;
	}
	else
	{
		group->bounds_radius = NONE;
	}
	group->target_number = static_cast<int16>(definition->target_number_lower_bound + rnd(definition->target_number_delta));
	group->current_number = 0;
	group->first_projectile_index = NONE;
	group->group_opacity = data->group_opacity;
	group->yaw = data->yaw;
	if (definition->flags & _group_has_startup_transition_flag)
	{
		group->startup_transition_time = static_cast<int16>(definition->startup_transition_time_lower_bound +
			rnd(definition->startup_transition_time_delta));
	}
	if (definition->flags & _group_has_finite_duration_flag)
	{
		group->duration = drawn_between(definition->duration_lower_bound, definition->duration_delta);
	}
	if (definition->flags & _group_has_ending_transition_flag)
	{
		group->ending_transition_time = static_cast<int16>(definition->ending_transition_time_lower_bound +
			rnd(definition->ending_transition_time_delta));
	}
	group->transition_ticks_elapsed = 0;
	group->state = _state_starting_up;
	group->monster_index = NONE;
	if (!(definition->flags & _group_has_startup_transition_flag))
	{
		maintain_target_number_of_projectiles(group_index, group->target_number);
	}
	return group_index;
}

int16 new_local_projectile_group(int16 type, const world_point3d *origin, int16 owner_object_index, boolean follow_owner)
{
	new_local_projectile_group_data request = {};
	request.type = type;
	if (origin) request.center = *origin;
	request.central_object_index = request.central_object_identifier = NONE;
	request.bounds_object_index = request.bounds_object_identifier = NONE;
	// Drawn in full: a group that follows a unit through the fog takes its
	// opacity from the fog each frame instead.
	request.group_opacity = 65535;
	request.color_table_index = NONE;
	const object_data *owner = get_object_data(owner_object_index);
	if (owner) request.color_table_index = owner->color_table_index;
	if (owner && follow_owner)
	{
		request.central_object_index = owner_object_index;
		request.central_object_identifier = owner->identifier;
	}
	return new_local_projectile_group(&request);
}

int16 new_local_projectile_group_from_marker(marker_data *marker)
{
	if (!marker || (marker->flags & 1)) return NONE;
	marker_palette_entry *entry = get_marker_palette_entry(_marker_local_projectile_group, marker->palette_index);
	if (!entry || entry->tag_index == NONE) return NONE;
	new_local_projectile_group_data request = {};
	request.type = entry->tag_index;
	request.center = marker->location.position;
	request.center.z += marker->location.height;
	request.yaw = marker->location.yaw;
	request.group_opacity = 65535;
	request.central_object_index = request.central_object_identifier = NONE;
	request.bounds_object_index = request.bounds_object_identifier = NONE;
	request.color_table_index = NONE;
	const int16 group_index = new_local_projectile_group(&request);
	if (group_index == NONE) return NONE;
	if (marker->identifier != 0) set_datum_identifier(&local_projectile_group_array, group_index, marker->identifier);
	marker->data_index = group_index;
	marker->data_identifier = group_index;
	entry->count += 1;
	return group_index;
}

void new_local_projectile_group_palette_entry(marker_palette_entry *entry)
{
	if (entry->team_index == 0) entry->team_index = NONE;
	entry->tag_index = local_projectile_group_definition_tag_to_index(entry->tag);
}

int16 local_projectile_group_identifier_to_local_projectile_group_index(int16 identifier)
{
	if (identifier == 0) return NONE;
	for (int16 i = 0; i < local_projectile_group_array.count; ++i)
	{
		const local_projectile_group_data *group = get_local_projectile_group_data(i);
		if (group && group->identifier == identifier) return i;
	}
	return NONE;
}

int16 local_projectile_group_identifiers_to_local_projectile_group_indexes(const int16 *identifiers, int16 *indexes,
	int16 count)
{
	int16 found = 0;
	for (int16 i = 0; i < count; ++i)
	{
		const int16 index = local_projectile_group_identifier_to_local_projectile_group_index(identifiers[i]);
		if (index != NONE) indexes[found++] = index;
	}
	return found;
}

void turn_local_projectile_group_off(int16 group_index)
{
	local_projectiles_test_hooks.turn_off_calls += 1;
	local_projectile_group_data *group = get_local_projectile_group_data(group_index);
	if (!group) return;
	detach_group_from_unit(group, group_index);
	enter_ending(group);
}

// Frees the group; mirrors go only for shared groups, whose life is the simulation's.
static void free_local_projectile_group(int16 group_index, boolean delete_mirrors)
{
	local_projectile_group_data *group = get_local_projectile_group_data(group_index);
	if (!group) return;
	marker_data *marker = get_marker_by_data_index_and_identifier(_marker_local_projectile_group, group_index, group_index);
	if (marker && marker->identifier == group->identifier)
	{
		marker->data_index = NONE;
		marker->data_identifier = NONE;
	}
	detach_group_from_unit(group, group_index);
	for (int16 p = group->first_projectile_index; p != NONE;)
	{
		local_projectile_data *particle = get_local_projectile_data(p);
		if (!particle) break;
		const int16 next = particle->next_projectile_index;
		delete_datum(&local_projectile_array, p);
		p = next;
	}
	if (delete_mirrors && (group->flags & _group_is_never_visible_flag)) delete_mirrors_for_projectile_group(group_index);
	delete_datum(&local_projectile_group_array, group_index);
}

void delete_local_projectile_group(int16 group_index)
{
	free_local_projectile_group(group_index, TRUE);
}

void move_local_projectile_group(int16 group_index, const world_point3d *point)
{
	local_projectile_group_data *group = get_local_projectile_group_data(group_index);
	const local_projectile_group_definition *definition = group ? get_local_projectile_group_definition(group->type) : nullptr;
	if (!group || !definition || !point) return;
	const world_point3d old_center = group->center;
	group->center = *point;
	group->center.z += definition->height_offset;
	if (definition->flags & _group_particles_stay_relative_to_the_center_flag) return;
	const int32 dx = old_center.x - group->center.x, dy = old_center.y - group->center.y,
				dz = old_center.z - group->center.z;
	for (int16 p = group->first_projectile_index; p != NONE;)
	{
		local_projectile_data *particle = get_local_projectile_data(p);
		if (!particle) break;
		particle->offset.x += dx;
		particle->offset.y += dy;
		particle->offset.z += dz;
		p = particle->next_projectile_index;
	}
}

void set_local_projectile_group_center(int16 group_index, const world_point3d *point)
{
	local_projectile_group_data *group = get_local_projectile_group_data(group_index);
	if (!group) return;
	if (group->flags & _group_is_never_visible_flag)
	{
		log_message(MODULE_NAME, __LINE__, "Tried to set the center of invisible projectile group %d",
			static_cast<int>(group_index));
		return;
	}
	group->central_object_index = group->central_object_identifier = NONE;
	move_local_projectile_group(group_index, point);
}

void set_local_projectile_group_central_object(int16 group_index, int16 object_index, int16 object_identifier)
{
	local_projectiles_test_hooks.central_object_calls += 1;
	local_projectile_group_data *group = get_local_projectile_group_data(group_index);
	if (!group) return;
	if (group->flags & _group_is_never_visible_flag)
	{
		log_message(MODULE_NAME, __LINE__, "Tried to set the central object of invisible projectile group %d",
			static_cast<int>(group_index));
		return;
	}
	group->central_object_index = object_index;
	group->central_object_identifier = object_identifier;
}

void set_local_projectile_group_target_number(int16 group_index, int16 target_number)
{
	local_projectile_group_data *group = get_local_projectile_group_data(group_index);
	if (group) group->target_number = target_number;
}

void set_local_projectile_group_opacity(int16 group_index, fixed_fraction opacity)
{
	local_projectile_group_data *group = get_local_projectile_group_data(group_index);
	if (group) group->group_opacity = opacity;
}

void set_local_projectile_group_monster_index(int16 group_index, int16 monster_index)
{
	local_projectile_group_data *group = get_local_projectile_group_data(group_index);
	if (group) group->monster_index = monster_index;
}

/* ---------- particles */

static sequence_data *group_sequence(const local_projectile_group_definition *definition, int16 which)
{
	return get_sequence(definition->collection_index, definition->sequence_indexes[which]);
}

int16 new_local_projectile(const new_local_projectile_data *data)
{
	local_projectile_group_data *group = get_local_projectile_group_data(data->owner_index);
	const local_projectile_group_definition *definition = group ? get_local_projectile_group_definition(group->type) : nullptr;
	if (!definition) return NONE;
	const int16 index = new_datum(&local_projectile_array);
	if (index == NONE) return NONE;
	local_projectile_data *particle = get_local_projectile_data(index);
	particle->owner_index = data->owner_index;
	particle->owner_identifier = group->identifier;
	particle->flags = data->flags;
	particle->yaw = data->yaw;
	particle->offset = {clamp_offset(data->offset.x), clamp_offset(data->offset.y), clamp_offset(data->offset.z)};
	particle->physics = data->initial_physics;
	particle->sequence_index = static_cast<uint8>(definition->sequence_indexes[0]);
	const sequence_data *sequence = group_sequence(definition, 0);
	const int32 sequence_ticks = sequence ? sequence->ticks_per_frame : 1;
	const int32 rate = definition->animation_rate_lower_bound + rnd(definition->animation_rate_delta);
	// The byte field holds 1..255 whatever the rate.
	particle->ticks_per_frame = static_cast<uint8>(PIN((rate * sequence_ticks) >> 8, 1, 255));
	if (!(definition->flags & _group_projectiles_always_start_at_first_animation_frame_flag))
	{
		particle->frame_index = static_cast<uint8>(rnd(sequence ? sequence->frames_per_view : 0));
		particle->phase = static_cast<uint8>(rnd(particle->ticks_per_frame));
	}
	if (sequence && (sequence->flags & _sequence_has_no_rotation_flag))
	{
		particle->view_index = static_cast<uint8>(rnd(sequence->number_of_views));
	}
	particle->scale = static_cast<short_fixed>(definition->scale_lower_bound + rnd(definition->scale_delta));
	const collection_reference *reference = get_collection_reference(definition->collection_reference_index);
	const int32 permutations = reference ? reference->number_of_permutations : 0;
	const uint16 draw = local_random();
	particle->permutation_index = static_cast<int16>(permutations > 0 ? draw % permutations : 0);
	if (definition->flags & _group_projectiles_deleted_after_time_expires_flag)
	{
		particle->ticks_elapsed = 0;
		particle->expiration_time = drawn_between(definition->expiration_time_lower_bound, definition->expiration_time_delta);
	}
	particle->sound_location = {};
	particle->next_projectile_index = group->first_projectile_index;
	group->first_projectile_index = index;
	group->current_number += 1;
	if (group->flags & _group_is_internal_fire_group_flag)
	{
		const world_point3d point = {group->center.x + particle->offset.x, group->center.y + particle->offset.y,
			group->center.z + particle->offset.z};
		handle_new_mirrored_projectile(data->owner_index, &point);
	}
	return index;
}

static void initial_state(local_projectile_group_data *group, const local_projectile_group_definition *definition,
	int16 i, int16 n, new_local_projectile_data *particle)
{
	const int32 r = drawn_between(definition->radius_lower_bound, definition->radius_delta);
	const int16 type = physics_type_of(definition);
	angle a = 0;
	if (type == NONE || type == _linear || type == _cylindrical || type == _point_attractor)
	{
		a = (definition->flags & _group_projectiles_are_created_symmetrically_flag) ?
			static_cast<angle>(static_cast<int32>(i) * 65536 / std::max<int16>(n, 1)) : local_random();
	}
	const world_point3d ring = {static_cast<int32>((static_cast<int64>(r) * cos14(a)) >> TRIG_SHIFT),
		static_cast<int32>((static_cast<int64>(r) * sin14(a)) >> TRIG_SHIFT), 0};
	memset(&particle->initial_physics, 0, sizeof(particle->initial_physics));
	particle->offset = ring;
	particle->yaw = 0;
	switch (type)
	{
	case _linear:
	{
		const linear_physics_definition *law = physics_record<linear_physics_definition>(definition);
		fixed_vector3d *v = &particle->initial_physics.linear.velocity;
		v->i = ((law->initial_linear_velocity_min.i >> 8) + rnd(law->initial_linear_velocity_delta.i >> 8)) << 8;
		v->j = ((law->initial_linear_velocity_min.j >> 8) + rnd(law->initial_linear_velocity_delta.j >> 8)) << 8;
		v->k = ((law->initial_linear_velocity_min.k >> 8) + rnd(law->initial_linear_velocity_delta.k >> 8)) << 8;
		const boolean respect_yaw = (law->flags & _linear_projectiles_respect_group_yaw_flag) != 0;
		if (respect_yaw) turn_horizontal(&v->i, &v->j, group->yaw);
		particle->yaw = heading(v->i, v->j);
		if ((law->flags & _linear_projectiles_originate_within_bounds_flag) && group->bounds_radius != NONE)
		{
			particle->offset.x = static_cast<int32>((static_cast<int64>(cos14(a)) * group->bounds_radius) >> TRIG_SHIFT) +
				group->bounds_position.x - group->center.x;
			particle->offset.y = static_cast<int32>((static_cast<int64>(sin14(a)) * group->bounds_radius) >> TRIG_SHIFT) +
				group->bounds_position.y - group->center.y;
			particle->offset.z = group->bounds_height0 + group->bounds_position.z - group->center.z +
				rnd(group->bounds_height1 - group->bounds_height0);
		}
		if (respect_yaw) turn_horizontal(&particle->offset.x, &particle->offset.y, group->yaw);
		break;
	}
	case _cylindrical:
	{
		const cylindrical_physics_definition *law = physics_record<cylindrical_physics_definition>(definition);
		cylindrical_physics *state = &particle->initial_physics.cylindrical;
		state->radius = r;
		state->theta = a;
		state->theta_velocity = static_cast<angle>(law->initial_angular_velocity_min + rnd(law->initial_angular_velocity_delta));
		const uint16 fresh = local_random();
		const int32 attraction = law->attraction_constant;
		// A period of 0 or less would divide by zero later: a whole turn instead.
		state->period = attraction != 0 ? 65536 / attraction : 65536;
		if (state->period <= 0) state->period = 65536;
		state->ticks_elapsed = attraction != 0 ? fresh / attraction : 0;
		if (state->ticks_elapsed < 0) state->ticks_elapsed = 0;
		state->z_velocity = 0;
		const int32 d = law->initial_z_deviation;
		state->initial_z_deviation = rnd(2 * d) - d;
		particle->yaw = static_cast<angle>(state->theta_velocity != 0 ? state->theta - 16384 : state->theta + 16384);
		particle->offset = {static_cast<int32>((static_cast<int64>(r) * cos14(a)) >> TRIG_SHIFT),
			static_cast<int32>((static_cast<int64>(r) * sin14(a)) >> TRIG_SHIFT),
			static_cast<int32>((static_cast<int64>(cos14(fresh)) * state->initial_z_deviation) >> TRIG_SHIFT)};
		break;
	}
	case _spherical_spring:
	{
		const spherical_spring_physics_definition *law = physics_record<spherical_spring_physics_definition>(definition);
		spherical_spring_physics *state = &particle->initial_physics.spring;
		state->initial_radius = r;
		const uint16 t0 = (law->flags & _spherical_spring_random_time_offsets_flag) ? local_random() : 0;
		state->theta = local_random();
		state->theta_velocity = static_cast<angle>(law->initial_angular_velocity_min + rnd(law->initial_angular_velocity_delta));
		state->phi = local_random();
		state->phi_velocity = 0;
		const int32 attraction = law->attraction_constant;
		state->period = attraction != 0 ? 65536 / attraction : 65536;
		if (state->period <= 0) state->period = 65536;
		state->ticks_elapsed = attraction != 0 ? t0 / attraction : 0;
		if (state->ticks_elapsed < 0) state->ticks_elapsed = 0;
		particle->offset = sphere_point(static_cast<int32>((static_cast<int64>(r) * cos14(t0)) >> TRIG_SHIFT), state->theta,
			state->phi);
		break;
	}
	case _point_attractor:
		break; // velocity 0, the ring offset
	case _converging:
	{
		const converging_physics_definition *law = physics_record<converging_physics_definition>(definition);
		converging_physics *state = &particle->initial_physics.converging;
		state->initial_radius = r;
		state->theta = local_random();
		state->theta_velocity = static_cast<angle>(law->initial_angular_velocity_min + rnd(law->initial_angular_velocity_delta));
		state->phi = static_cast<angle>(law->phi_min + rnd(law->phi_delta));
		state->phi_velocity = 0;
		state->time_to_converge = drawn_between(definition->expiration_time_lower_bound, definition->expiration_time_delta);
		state->ticks_elapsed = 0;
		particle->offset = sphere_point(r, state->theta, state->phi);
		break;
	}
	case _explosive_gas:
	{
		const explosive_gas_physics_definition *law = physics_record<explosive_gas_physics_definition>(definition);
		explosive_gas_physics *state = &particle->initial_physics.gas;
		const int32 speed = drawn_between(law->starting_velocity_min, law->starting_velocity_delta);
		const angle azimuth = local_random();
		const angle elevation = local_random();
		const int64 u[3] = {(static_cast<int64>(cos14(elevation)) * cos14(azimuth)) >> TRIG_SHIFT,
			(static_cast<int64>(cos14(elevation)) * sin14(azimuth)) >> TRIG_SHIFT, sin14(elevation)};
		particle->offset = {static_cast<int32>((r * u[0]) >> TRIG_SHIFT), static_cast<int32>((r * u[1]) >> TRIG_SHIFT),
			static_cast<int32>((r * u[2]) >> TRIG_SHIFT)};
		state->velocity = {clamp32((speed * u[0]) >> TRIG_SHIFT), clamp32((speed * u[1]) >> TRIG_SHIFT),
			clamp32((speed * u[2]) >> TRIG_SHIFT)};
		state->acceleration = {clamp32(((law->radial_acceleration * u[0]) >> TRIG_SHIFT) + law->linear_acceleration.i),
			clamp32(((law->radial_acceleration * u[1]) >> TRIG_SHIFT) + law->linear_acceleration.j),
			clamp32(((law->radial_acceleration * u[2]) >> TRIG_SHIFT) + law->linear_acceleration.k)};
		break;
	}
	default:
		break;
	}
}

void maintain_target_number_of_projectiles(int16 group_index, int16 target)
{
	local_projectile_group_data *group = get_local_projectile_group_data(group_index);
	const local_projectile_group_definition *definition = group ? get_local_projectile_group_definition(group->type) : nullptr;
	if (!definition || target == NONE || group->current_number >= target) return;
	const int16 n = static_cast<int16>(target - group->current_number);
	for (int16 i = 0; i < n; ++i)
	{
		if (local_projectile_array.total_count >= local_projectile_array.maximum_count) return;
		new_local_projectile_data request = {};
		request.owner_index = group_index;
		request.owner_identifier = group->identifier;
		initial_state(group, definition, i, n, &request);
		if (new_local_projectile(&request) == NONE) return;
	}
}

void create_stationary_projectile(int16 group_index, const world_point3d *point)
{
	local_projectile_group_data *group = get_local_projectile_group_data(group_index);
	if (!group || !point) return;
	new_local_projectile_data request = {};
	request.owner_index = group_index;
	request.owner_identifier = group->identifier;
	request.yaw = local_random();
	request.offset = {point->x - group->center.x, point->y - group->center.y, point->z - group->center.z};
	if (new_local_projectile(&request) == NONE) return;
	group->target_number = NONE;
}

// A chain walk knows the particle before the one it deletes; others look it up.
#define UNKNOWN_PREVIOUS_PARTICLE (-2)

static void remove_local_projectile(int16 projectile_index, int16 previous_index)
{
	local_projectile_data *particle = get_local_projectile_data(projectile_index);
	if (!particle) return;
	local_projectile_group_data *group = get_local_projectile_group_data(particle->owner_index);
	if (group)
	{
		const local_projectile_group_definition *definition = get_local_projectile_group_definition(group->type);
		group->current_number -= 1;
		const uint32 flags = definition ? definition->flags : 0;
		if ((flags & _group_projectiles_never_get_recreated_flag) && group->target_number != NONE) group->target_number -= 1;
		local_projectile_data *previous = previous_index >= 0 ? get_local_projectile_data(previous_index) : nullptr;
		if (group->first_projectile_index == projectile_index)
		{
			group->first_projectile_index = particle->next_projectile_index;
		}
		else if (previous && previous->next_projectile_index == projectile_index)
		{
			previous->next_projectile_index = particle->next_projectile_index;
		}
		else
		{
			for (int16 p = group->first_projectile_index; p != NONE;)
			{
				previous = get_local_projectile_data(p);
				if (!previous) break;
				if (previous->next_projectile_index == projectile_index)
				{
					previous->next_projectile_index = particle->next_projectile_index;
					break;
				}
				p = previous->next_projectile_index;
			}
		}
		const uint32 lone = _group_projectiles_never_get_recreated_flag | _group_delete_after_particles_are_gone_flag;
		if (game_play_version >= 1501 && (flags & lone) == lone && !(flags & _group_has_finite_duration_flag) &&
			group->current_number <= 0 && group->target_number <= 0)
		{
			detach_group_from_unit(group, particle->owner_index);
			enter_ending(group);
		}
	}
	delete_datum(&local_projectile_array, projectile_index);
}

void delete_local_projectile(int16 projectile_index)
{
	remove_local_projectile(projectile_index, UNKNOWN_PREVIOUS_PARTICLE);
}

static void play_particle_sound(const sequence_data *sequence, int16 which, const world_point3d *point)
{
	if (!sequence || sequence->sound_indexes[which] == NONE) return;
	world_location3d location = {};
	location.position = *point;
	play_sound_with_flags(sequence->sound_indexes[which], NONE, &location, DEFAULT_SOUND_VOLUME, 0);
}

// FALSE when the particle was deleted.
static boolean advance_local_projectile(int16 projectile_index, int16 ticks, int16 previous_index)
{
	local_projectile_data *particle = get_local_projectile_data(projectile_index);
	local_projectile_group_data *group = particle ? get_local_projectile_group_data(particle->owner_index) : nullptr;
	const local_projectile_group_definition *definition = group ? get_local_projectile_group_definition(group->type) : nullptr;
	if (!definition) return FALSE;
	const int32 t = ticks;
	const boolean windy = (definition->flags & _group_projectiles_affected_by_wind_flag) != 0;
	fixed_vector3d wind = {0, 0, 0};
	switch (physics_type_of(definition))
	{
	case _linear:
	{
		const linear_physics_definition *law = physics_record<linear_physics_definition>(definition);
		fixed_vector3d *v = &particle->physics.linear.velocity;
		// Magnitudes and sums in 64 bits: the stored components may be anything.
		const int32 mi = static_cast<int32>(std::abs(static_cast<int64>(law->random_acceleration.i)) >> 8),
					mj = static_cast<int32>(std::abs(static_cast<int64>(law->random_acceleration.j)) >> 8),
					mk = static_cast<int32>(std::abs(static_cast<int64>(law->random_acceleration.k)) >> 8);
		int32 ai = (rnd(2 * mi + 1) - mi) << 8;
		int32 aj = (rnd(2 * mj + 1) - mj) << 8;
		const int32 ak = (rnd(2 * mk + 1) - mk) << 8;
		if (law->flags & _linear_projectiles_respect_group_yaw_flag) turn_horizontal(&ai, &aj, group->yaw);
		v->i = clamp32(v->i + (static_cast<int64>(law->linear_acceleration.i) + ai) * t);
		v->j = clamp32(v->j + (static_cast<int64>(law->linear_acceleration.j) + aj) * t);
		v->k = clamp32(v->k + (static_cast<int64>(law->linear_acceleration.k) + ak) * t);
		particle->yaw = heading(v->i, v->j);
		if (windy) get_wind_velocity(&wind);
		particle->offset.x = clamp_offset(static_cast<int64>(particle->offset.x) + ((static_cast<int64>(v->i + static_cast<int64>(wind.i)) * t) >> 16));
		particle->offset.y = clamp_offset(static_cast<int64>(particle->offset.y) + ((static_cast<int64>(v->j + static_cast<int64>(wind.j)) * t) >> 16));
		particle->offset.z = clamp_offset(static_cast<int64>(particle->offset.z) + ((static_cast<int64>(v->k + static_cast<int64>(wind.k)) * t) >> 16));
		break;
	}
	case _cylindrical:
	{
		const cylindrical_physics_definition *law = physics_record<cylindrical_physics_definition>(definition);
		cylindrical_physics *state = &particle->physics.cylindrical;
		const int32 period = state->period > 0 ? state->period : 65536;
		state->ticks_elapsed = (state->ticks_elapsed + t) % period;
		state->theta_velocity = static_cast<angle>(state->theta_velocity + t * law->angular_acceleration);
		state->theta = static_cast<angle>(state->theta + state->theta_velocity * t);
		particle->yaw = static_cast<angle>(state->theta - 32768);
		state->radius = clamp32(state->radius + ((static_cast<int64>(t) * law->radial_velocity) >> 16));
		particle->offset.x = static_cast<int32>((static_cast<int64>(state->radius) * cos14(state->theta)) >> TRIG_SHIFT);
		particle->offset.y = static_cast<int32>((static_cast<int64>(state->radius) * sin14(state->theta)) >> TRIG_SHIFT);
		if (law->z_acceleration != 0)
		{
			state->z_velocity = clamp32(static_cast<int64>(state->z_velocity) + law->z_acceleration);
			particle->offset.z = clamp_offset(static_cast<int64>(particle->offset.z) + ((static_cast<int64>(state->z_velocity) * t) >> 16));
		}
		else
		{
			const angle phase = static_cast<angle>(static_cast<int64>(state->ticks_elapsed) * law->attraction_constant);
			particle->offset.z = static_cast<int32>((static_cast<int64>(cos14(phase)) * state->initial_z_deviation) >> TRIG_SHIFT);
		}
		break;
	}
	case _spherical_spring:
	{
		const spherical_spring_physics_definition *law = physics_record<spherical_spring_physics_definition>(definition);
		spherical_spring_physics *state = &particle->physics.spring;
		if (state->period > 0) state->ticks_elapsed = (state->ticks_elapsed + t) % state->period;
		const angle phase = static_cast<angle>(static_cast<int64>(law->attraction_constant) * state->ticks_elapsed);
		const int32 r = static_cast<int32>((static_cast<int64>(cos14(phase)) * state->initial_radius) >> TRIG_SHIFT);
		state->theta = static_cast<angle>(state->theta + state->theta_velocity * t);
		state->phi = static_cast<angle>(state->phi + state->phi_velocity * t);
		particle->offset = sphere_point(r, state->theta, state->phi);
		break;
	}
	case _point_attractor:
	{
		const point_attractor_physics_definition *law = physics_record<point_attractor_physics_definition>(definition);
		fixed_vector3d *v = &particle->physics.attractor.velocity;
		const int64 maximum = std::abs(static_cast<int64>(law->maximum_velocity));
		const int64 ai = -static_cast<int64>(law->attraction_constant) * particle->offset.x;
		const int64 aj = -static_cast<int64>(law->attraction_constant) * particle->offset.y;
		v->i = static_cast<int32>(std::min(std::max(v->i + ai * t, -maximum), maximum));
		v->j = static_cast<int32>(std::min(std::max(v->j + aj * t, -maximum), maximum));
		particle->yaw = heading(v->i, v->j);
		particle->offset.x = clamp_offset(static_cast<int64>(particle->offset.x) + ((static_cast<int64>(v->i) * t) >> 16));
		particle->offset.y = clamp_offset(static_cast<int64>(particle->offset.y) + ((static_cast<int64>(v->j) * t) >> 16));
		if (law->flags & _point_attractor_maintain_minimum_height_above_mesh_flag)
		{
			const world_point2d p = {group->center.x + particle->offset.x, group->center.y + particle->offset.y};
			particle->offset.z = get_mesh_height(&p, _true_height) + law->minimum_height_above_mesh - group->center.z;
		}
		break;
	}
	case _converging:
	{
		const converging_physics_definition *law = physics_record<converging_physics_definition>(definition);
		converging_physics *state = &particle->physics.converging;
		const int32 time = std::max<int32>(state->time_to_converge, 0);
		state->ticks_elapsed = PIN(state->ticks_elapsed + t, 0, time);
		const boolean diverge = (law->flags & _converging_particles_diverge_flag) != 0;
		int32 r;
		if (time == 0) r = diverge ? state->initial_radius : 0; // nothing to divide by: already there
		else
		{
			const int64 part = diverge ? state->ticks_elapsed : time - state->ticks_elapsed;
			r = static_cast<int32>(static_cast<int64>(state->initial_radius) * part / time);
		}
		state->theta = static_cast<angle>(state->theta + state->theta_velocity * t);
		state->phi = static_cast<angle>(state->phi + state->phi_velocity * t);
		particle->offset = sphere_point(r, state->theta, state->phi);
		particle->yaw = heading(particle->offset.x, particle->offset.y);
		break;
	}
	case _explosive_gas:
	{
		const explosive_gas_physics_definition *law = physics_record<explosive_gas_physics_definition>(definition);
		explosive_gas_physics *state = &particle->physics.gas;
		if (windy) get_wind_velocity(&wind);
		for (int32 k = 0; k < t; ++k)
		{
			particle->offset.x = clamp_offset(static_cast<int64>(particle->offset.x) + ((static_cast<int64>(state->velocity.i) + wind.i) >> 16));
			particle->offset.y = clamp_offset(static_cast<int64>(particle->offset.y) + ((static_cast<int64>(state->velocity.j) + wind.j) >> 16));
			particle->offset.z = clamp_offset(static_cast<int64>(particle->offset.z) + ((static_cast<int64>(state->velocity.k) + wind.k) >> 16));
			state->velocity.i = clamp32(static_cast<int64>(state->velocity.i) * law->drag / 256 + state->acceleration.i);
			state->velocity.j = clamp32(static_cast<int64>(state->velocity.j) * law->drag / 256 + state->acceleration.j);
			state->velocity.k = clamp32(static_cast<int64>(state->velocity.k) * law->drag / 256 + state->acceleration.k);
		}
		break;
	}
	default:
		break;
	}

	particle->offset = {clamp_offset(particle->offset.x), clamp_offset(particle->offset.y), clamp_offset(particle->offset.z)};
	const int64 px = static_cast<int64>(group->center.x) + particle->offset.x;
	const int64 py = static_cast<int64>(group->center.y) + particle->offset.y;
	if (!mesh_globals || !mesh_globals->mesh_cells || px < 0 || py < 0 ||
		(px >> WORLD_FRACTIONAL_BITS) >= mesh_globals->mesh_width || (py >> WORLD_FRACTIONAL_BITS) >= mesh_globals->mesh_height)
	{
		remove_local_projectile(projectile_index, previous_index);
		return FALSE;
	}
	const world_point3d p = {static_cast<int32>(px), static_cast<int32>(py),
		clamp32(static_cast<int64>(group->center.z) + particle->offset.z)};
	const world_point2d p2 = {p.x, p.y};
	if ((definition->flags & _group_projectiles_deleted_when_it_hits_the_ground_flag) &&
		p.z < get_mesh_height(&p2, _true_height))
	{
		remove_local_projectile(projectile_index, previous_index);
		return FALSE;
	}
	if (definition->flags & (_group_projectiles_deleted_after_time_expires_flag |
		_group_projectiles_deleted_after_animation_completes_flag))
	{
		particle->ticks_elapsed += t;
		if ((definition->flags & _group_projectiles_deleted_after_time_expires_flag) &&
			particle->ticks_elapsed > particle->expiration_time)
		{
			remove_local_projectile(projectile_index, previous_index);
			return FALSE;
		}
	}
	if (definition->flags & _group_projectiles_does_not_animate_flag) return TRUE;
	const sequence_data *sequence = get_sequence(definition->collection_index, particle->sequence_index);
	if (!sequence || sequence->frames_per_view <= 0) return TRUE;
	const boolean backwards = (particle->flags & _local_projectile_animates_backwards_flag) != 0;
	for (int32 k = 0; k < t; ++k)
	{
		if (particle->frame_index == 0 && particle->phase == 0) play_particle_sound(sequence, 0, &p);
		particle->phase += 1;
		if (particle->phase < particle->ticks_per_frame) continue;
		particle->phase = 0;
		int32 frame = particle->frame_index + (backwards ? -1 : 1);
		boolean wrapped = FALSE;
		if (frame >= sequence->frames_per_view)
		{
			frame = PIN(sequence->loop_frame, 0, sequence->frames_per_view - 1);
			wrapped = TRUE;
		}
		else if (frame < 0)
		{
			frame = sequence->frames_per_view - 1;
			wrapped = TRUE;
		}
		particle->frame_index = static_cast<uint8>(frame);
		if (wrapped)
		{
			play_particle_sound(sequence, 2, &p);
			if (definition->flags & _group_projectiles_deleted_after_animation_completes_flag)
			{
				remove_local_projectile(projectile_index, previous_index);
				return FALSE;
			}
		}
		else if (frame == sequence->key_frame)
		{
			play_particle_sound(sequence, 1, &p);
		}
	}
	return TRUE;
}

void update_local_projectile(int16 projectile_index, int16 ticks)
{
	advance_local_projectile(projectile_index, ticks, UNKNOWN_PREVIOUS_PARTICLE);
}

/* ---------- states */

static int16 interpolate_scale(short_fixed h0, short_fixed h1, int32 f)
{
	return static_cast<int16>(h0 + ((static_cast<int64>(h1 - h0) * f) >> 16));
}

void handle_local_projectile_group_states(int16 group_index, int16 ticks, fixed_fraction *opacity, int16 *target,
	int16 *hscale, int16 *vscale)
{
	local_projectile_group_data *group = get_local_projectile_group_data(group_index);
	const local_projectile_group_definition *definition = group ? get_local_projectile_group_definition(group->type) : nullptr;
	if (!definition) return;
	const uint32 flags = definition->flags;
	*opacity = group->group_opacity;
	*target = group->target_number;
	*hscale = *vscale = NONE;
	switch (group->state)
	{
	case _state_running:
		if (flags & _group_has_finite_duration_flag)
		{
			// A stored duration near the bottom of its range must not wrap.
			group->duration = clamp32(static_cast<int64>(group->duration) - ticks);
			if (group->duration < 0)
			{
				detach_group_from_unit(group, group_index);
				enter_ending(group);
			}
		}
		break;
	case _state_starting_up:
	{
		group->transition_ticks_elapsed = static_cast<int16>(std::min<int32>(group->transition_ticks_elapsed + ticks, 32767));
		if ((flags & _group_has_startup_transition_flag) && group->transition_ticks_elapsed < group->startup_transition_time)
		{
			const int32 f = static_cast<int32>((static_cast<int64>(group->transition_ticks_elapsed) << 16) /
				group->startup_transition_time);
			if (flags & _group_startup_transition_affects_transparency_flag)
			{
				*opacity = static_cast<fixed_fraction>((static_cast<int64>(*opacity) * f) >> 16);
			}
			if ((flags & _group_startup_transition_affects_target_number_flag) && *target != NONE)
			{
				*target = static_cast<int16>((static_cast<int64>(*target) * f) >> 16);
			}
			if (flags & _group_startup_transition_affects_horizontal_scale_flag)
			{
				*hscale = interpolate_scale(definition->starting_hscale0, definition->starting_hscale1, f);
			}
			if (flags & _group_startup_transition_affects_vertical_scale_flag)
			{
				*vscale = interpolate_scale(definition->starting_vscale0, definition->starting_vscale1, f);
			}
		}
		else
		{
			group->state = _state_running;
			group->transition_ticks_elapsed = 0;
		}
		break;
	}
	case _state_ending:
	{
		group->transition_ticks_elapsed = static_cast<int16>(std::min<int32>(group->transition_ticks_elapsed + ticks, 32767));
		const boolean empty_and_done = (flags & _group_delete_after_particles_are_gone_flag) && group->current_number <= 0;
		const int16 time = group->ending_transition_time;
		if ((flags & _group_has_ending_transition_flag) && (time <= 0 || group->transition_ticks_elapsed < time) &&
			!empty_and_done)
		{
			// An ending of time 0 waits for its particles at f = 0.
			const int32 f = time > 0 ? static_cast<int32>((static_cast<int64>(group->transition_ticks_elapsed) << 16) / time) : 0;
			if (flags & _group_ending_transition_affects_transparency_flag)
			{
				*opacity = static_cast<fixed_fraction>((static_cast<int64>(*opacity) * (65535 - f)) >> 16);
			}
			if (flags & _group_ending_transition_stop_creating_particles_flag) *target = 0;
			else if ((flags & _group_ending_transition_affects_target_number_flag) && *target != NONE)
			{
				*target = static_cast<int16>((static_cast<int64>(*target) * f) >> 16);
			}
			if (flags & _group_ending_transition_affects_horizontal_scale_flag)
			{
				*hscale = interpolate_scale(definition->ending_hscale0, definition->ending_hscale1, f);
			}
			if (flags & _group_ending_transition_affects_vertical_scale_flag)
			{
				*vscale = interpolate_scale(definition->ending_vscale0, definition->ending_vscale1, f);
			}
		}
		else
		{
			// The frame driver never frees a shared group: only its owner does.
			if (group->flags & _group_is_never_visible_flag) break;
			free_local_projectile_group(group_index, FALSE);
		}
		break;
	}
	default:
		break;
	}
}

/* ---------- the frame driver */

static boolean follow_central_object(int16 group_index, local_projectile_group_data *group)
{
	if (group->central_object_index == NONE) return TRUE;
	const object_data *object = get_object_data(group->central_object_index);
	if (!object || object->identifier != group->central_object_identifier)
	{
		group->central_object_index = group->central_object_identifier = NONE;
		detach_group_from_unit(group, group_index);
		enter_ending(group);
		return FALSE;
	}
	move_local_projectile_group(group_index, &object->location.position);
	return TRUE;
}

static void advance_particles(int16 group_index, int16 target, int16 ticks, uint32 flags)
{
	const int16 passes = (flags & _group_update_per_tick_flag) ? ticks : 1;
	const int16 step = (flags & _group_update_per_tick_flag) ? 1 : ticks;
	for (int16 pass = 0; pass < passes; ++pass)
	{
		local_projectile_group_data *group = get_local_projectile_group_data(group_index);
		if (!group) return;
		if (target != NONE) maintain_target_number_of_projectiles(group_index, target);
		int16 previous = NONE;
		for (int16 p = group->first_projectile_index; p != NONE;)
		{
			const local_projectile_data *particle = get_local_projectile_data(p);
			if (!particle) break;
			const int16 next = particle->next_projectile_index;
			if (advance_local_projectile(p, step, previous)) previous = p;
			p = next;
		}
	}
}

struct group_frame_state
{
	fixed_fraction opacity;
	int16 target, hscale, vscale;
	boolean visible;
};

// Steps 1-4 for one group; FALSE when it no longer exists.
static boolean step_group(int16 group_index, int16 ticks, boolean update, group_frame_state *state)
{
	local_projectile_group_data *group = get_local_projectile_group_data(group_index);
	const local_projectile_group_definition *definition = group ? get_local_projectile_group_definition(group->type) : nullptr;
	if (!definition) return FALSE;
	follow_central_object(group_index, group);
	state->visible = TRUE;
	const object_data *central = get_object_data(group->central_object_index);
	if (central && (central->flags & _object_respects_monster_visibility_flag))
	{
		const int16 fog = get_cell_visibility(central->location.position.x >> WORLD_FRACTIONAL_BITS,
			central->location.position.y >> WORLD_FRACTIONAL_BITS) & 3;
		group->group_opacity = fog == 3 ? 65535 : fog != 0 ? 32768 : 0;
		if (fog == 0) state->visible = FALSE;
	}
	handle_local_projectile_group_states(group_index, ticks, &state->opacity, &state->target, &state->hscale,
		&state->vscale);
	if (!get_local_projectile_group_data(group_index)) return FALSE;
	if (update && (state->visible || (definition->flags & _group_always_update_physics_flag)))
	{
		advance_particles(group_index, state->target, ticks, definition->flags);
	}
	return get_local_projectile_group_data(group_index) != nullptr;
}

void update_local_projectile_group(int16 group_index, int16 ticks)
{
	group_frame_state state;
	step_group(group_index, static_cast<int16>(PIN(ticks, 0, MAXIMUM_ELAPSED_TICKS_PER_UPDATE)), TRUE, &state);
}

static boolean group_visible_to_local_player(const local_projectile_group_data *group,
	const local_projectile_group_definition *definition)
{
	if (game_play_version < 1601 || group->monster_index == NONE) return TRUE;
	const monster_data *monster = get_monster_data(group->monster_index);
	if (!monster) return TRUE;
	const int16 local_team = player_globals.local_player_team_index;
	switch (definition->visibility_type)
	{
	case _visible_to_owner_only:
		return monster->owner_player_index == player_globals.local_player_index &&
			!(monster->flags & _monster_ignores_user_commands_flag);
	case _visible_to_owner_team_only: return monster->owner_team_index == local_team;
	case _visible_to_owner_allies_only: return teams_are_allied(monster->owner_team_index, local_team);
	case _visible_to_owner_enemies_only: return !teams_are_allied(monster->owner_team_index, local_team);
	default: return TRUE;
	}
}

static boolean particle_cell_is_visible(const mesh_region *region, int32 x, int32 y)
{
	if (!region || !region->spans || y < region->y0 || y >= region->y1) return FALSE;
	const mesh_span *span = &region->spans[y - region->y0];
	return x >= span->x0 && x < span->x1;
}

static void draw_group(view_data *view, mesh_region *region, int16 group_index, const group_frame_state *state)
{
	const local_projectile_group_data *group = get_local_projectile_group_data(group_index);
	const local_projectile_group_definition *definition = group ? get_local_projectile_group_definition(group->type) : nullptr;
	if (!definition || !state->visible || (group->flags & _group_is_never_visible_flag)) return;
	if (!group_visible_to_local_player(group, definition)) return;
	const boolean surface_effect = (definition->flags & _group_is_media_surface_effect_flag) != 0;
	for (int16 p = group->first_projectile_index; p != NONE;)
	{
		const local_projectile_data *particle = get_local_projectile_data(p);
		if (!particle) break;
		const int16 next = particle->next_projectile_index;
		const int32 x = (group->center.x + particle->offset.x) >> WORLD_FRACTIONAL_BITS;
		const int32 y = (group->center.y + particle->offset.y) >> WORLD_FRACTIONAL_BITS;
		if (particle_cell_is_visible(region, x, y))
		{
			const mesh_cell *cell = get_mesh_cell(x, y);
			const boolean reflects = cell && (cell->flags & _mesh_cell_has_reflection_flag) &&
				!(view->flags & _render_view_omit_reflections_flag);
			if (!surface_effect)
			{
				render_local_projectile(view, region, FALSE, group, p, &group->center, group->type, state->opacity,
					state->hscale, state->vscale);
				if (reflects && (definition->flags & _group_casts_reflections_flag))
				{
					render_local_projectile(view, region, TRUE, group, p, &group->center, group->type, state->opacity,
						state->hscale, state->vscale);
				}
			}
			else
			{
				render_local_projectile(view, region, TRUE, group, p, &group->center, group->type, state->opacity,
					state->hscale, state->vscale);
			}
		}
		p = next;
	}
}

void build_local_projectiles_surface_list(view_data *view, mesh_region *region)
{
	if (!local_projectiles_globals || !view || local_projectile_group_array.count <= 0) return;
	const int16 ticks = static_cast<int16>(PIN(view->game_ticks_elapsed, 0, MAXIMUM_ELAPSED_TICKS_PER_UPDATE));
	for (int16 i = 0; i < local_projectile_group_array.count; ++i)
	{
		if (!get_local_projectile_group_data(i)) continue;
		group_frame_state state;
		if (!step_group(i, ticks, TRUE, &state)) continue;
		if (region && view->main_surface_list) draw_group(view, region, i, &state);
	}
}

void saved_game_update_local_projectile_groups(int32 ticks)
{
	local_projectiles_test_hooks.saved_game_update_count += 1;
	local_projectiles_test_hooks.last_saved_game_update_ticks = ticks;
	if (!local_projectiles_globals) return;
	const int16 t = static_cast<int16>(PIN(ticks, 0, MAXIMUM_ELAPSED_TICKS_PER_UPDATE));
	for (int16 i = 0; i < local_projectile_group_array.count; ++i)
	{
		local_projectile_group_data *group = get_local_projectile_group_data(i);
		const local_projectile_group_definition *definition = group ? get_local_projectile_group_definition(group->type) : nullptr;
		if (!definition) continue;
		follow_central_object(i, group);
		const uint32 finite = _group_always_update_physics_flag | _group_has_finite_duration_flag;
		if ((definition->flags & finite) == finite && !(group->flags & _group_is_never_visible_flag))
		{
			free_local_projectile_group(i, FALSE);
			continue;
		}
		group_frame_state state;
		state.visible = TRUE;
		handle_local_projectile_group_states(i, t, &state.opacity, &state.target, &state.hscale, &state.vscale);
		if (get_local_projectile_group_data(i)) advance_particles(i, state.target, t, definition->flags);
	}
}

/* ---------- drawing one particle */

static int16 project_x(const view_data *view, int32 x, int32 z)
{
	const float value = static_cast<float>(view->xk) -
		static_cast<float>(x) * static_cast<float>(view->world_to_screen_x) / static_cast<float>(z);
	return clamp16(static_cast<int64>(value > -40000.0f && value < 40000.0f ? value : (value > 0 ? 40000 : -40000)));
}

static int16 project_y(const view_data *view, int32 y, int32 z)
{
	const float value = static_cast<float>(y) * static_cast<float>(view->world_to_screen_y) / static_cast<float>(z) +
		static_cast<float>(view->yk);
	return clamp16(static_cast<int64>(value > -40000.0f && value < 40000.0f ? value : (value > 0 ? 40000 : -40000)));
}

static fixed_fraction particle_opacity(const local_projectile_group_definition *definition,
	const local_projectile_data *particle, const sequence_data *sequence, fixed_fraction o)
{
	const int64 full = (static_cast<int64>(o) * 65535) >> 16;
	const int64 n = static_cast<int64>(sequence ? sequence->frames_per_view : 0) * particle->ticks_per_frame;
	const int64 k = particle->phase + static_cast<int64>(particle->ticks_per_frame) * particle->frame_index;
	const boolean timed = particle->ticks_elapsed < particle->expiration_time && particle->expiration_time > 0;
	const int64 f = timed ? (static_cast<int64>(particle->ticks_elapsed) << 16) / particle->expiration_time : 65535;
	// An animation of no frames is complete.
	const boolean animating = n > 0 && k < n;
	const int64 g = animating ? (k << 16) / n : 65535;
	int64 value;
	switch (definition->transfer_mode)
	{
	case _transfer_mode_fade_in_over_time: value = timed ? (o * f) >> 16 : full; break;
	case _transfer_mode_fade_in_over_animation: value = animating ? (o * g) >> 16 : full; break;
	case _transfer_mode_fade_out_over_time: value = timed ? (o * (65535 - f)) >> 16 : 0; break;
	case _transfer_mode_fade_out_over_animation: value = animating ? (o * (65535 - g)) >> 16 : 0; break;
	default: value = full; break;
	}
	return static_cast<fixed_fraction>(PIN(value, 0, 65535));
}

void render_local_projectile(view_data *view, mesh_region *region, boolean reflected,
	const local_projectile_group_data *group, int16 particle_index, const world_point3d *center, int16 type,
	fixed_fraction opacity, int16 hscale, int16 vscale)
{
	const local_projectile_data *particle = get_local_projectile_data(particle_index);
	const local_projectile_group_definition *definition = get_local_projectile_group_definition(type);
	if (!view || !region || !particle || !definition || !center || !view->main_surface_list) return;
	const boolean surface_effect = (definition->flags & _group_is_media_surface_effect_flag) != 0;

	// 1. Position and height above ground.
	world_point3d p = {particle->offset.x + center->x, particle->offset.y + center->y, particle->offset.z + center->z};
	const world_point2d p2 = {p.x, p.y};
	int32 h = 0;
	if (surface_effect)
	{
		const mesh_cell *cell = get_mesh_cell(p.x >> WORLD_FRACTIONAL_BITS, p.y >> WORLD_FRACTIONAL_BITS);
		if (cell) p.z = cell->media_height;
	}
	else if (!(definition->flags & _group_projectiles_dont_respect_height_above_ground_flag))
	{
		h = p.z - get_mesh_height(&p2, _true_height);
		if (h < 0) return;
	}
	// 2. Too far.
	const world_point2d camera = {view->location.position.x, view->location.position.y};
	if (!distance2d_below(&p2, &camera, 30720)) return;

	// 3. Sprite and view.
	const int16 collection = definition->collection_index;
	sequence_data *sequence = get_sequence(collection, particle->sequence_index);
	if (!sequence || sequence->number_of_views <= 0) return;
	int32 view_index;
	if (sequence->flags & _sequence_has_no_rotation_flag) view_index = particle->view_index;
	else
	{
		angle a = static_cast<angle>(arctangent(camera.x - p.x, camera.y - p.y) - particle->yaw);
		if (particle->flags & _local_projectile_horizontally_mirrored_flag) a = static_cast<angle>(-a);
		view_index = static_cast<int32>((static_cast<int64>(a) * sequence->number_of_views + 32768) >> 16);
		if (view_index == sequence->number_of_views) view_index = 0;
	}
	if (view_index < 0 || view_index >= sequence->number_of_views) return;
	const sequence_frame_data *frame = get_sequence_frame(sequence, collection, particle->sequence_index, particle->frame_index);
	if (!frame) return;
	int16 instance_index;
	memcpy(&instance_index, reinterpret_cast<const uint8 *>(frame) + sizeof(sequence_frame_data) + 2 * view_index,
		sizeof(instance_index));
	const bitmap_instance_data *instance = get_bitmap_instance(collection, instance_index);
	if (!instance) return;

	// 4. Viewer space and the near cut.
	short_world_point3d t;
	transform_world_point_to_viewer_space(view, &p, &t, reflected);
	if (t.z >= -34) return;

	// 5. Scales and extents.
	const int32 horizontal = hscale != NONE ? hscale : particle->scale;
	const int32 vertical = vscale != NONE ? vscale : particle->scale;
	int32 left = instance->world_left, right = instance->world_right, top = instance->world_top,
		  bottom = instance->world_bottom;
	uint32 surface_flags_value = 0;
	if (reflected && !surface_effect)
	{
		std::swap(top, bottom);
		top = -top;
		bottom = -bottom;
		surface_flags_value ^= _surface_mirror_vertical_flag;
	}
	if (particle->flags & _local_projectile_horizontally_mirrored_flag)
	{
		std::swap(left, right);
		left = -left;
		right = -right;
		surface_flags_value ^= _surface_mirror_horizontal_flag;
	}
	if (particle->flags & _local_projectile_vertically_mirrored_flag)
	{
		std::swap(top, bottom);
		top = -top;
		bottom = -bottom;
		surface_flags_value ^= _surface_mirror_vertical_flag;
	}
	left = (left * horizontal) >> 8;
	right = (right * horizontal) >> 8;
	top = (top * vertical) >> 8;
	bottom = (bottom * vertical) >> 8;

	// 6. Opacity.
	int64 shown = particle_opacity(definition, particle, sequence, opacity);
	if (reflected)
	{
		const media_definition *media = mesh_globals ? get_media_definition(mesh_globals->media_type) : nullptr;
		shown = (shown * (65535 - (media ? media->reflection_transparency : 0))) >> 16;
	}
	const fixed_fraction transparency = static_cast<fixed_fraction>(65535 - PIN(shown, 0, 65535));

	// 7. Colour table.
	const collection_reference *reference = get_collection_reference(definition->collection_reference_index);
	int16 color_table = reference && particle->permutation_index >= 0 &&
		particle->permutation_index < MAXIMUM_PERMUTATIONS_PER_COLLECTION_REFERENCE ?
		reference->color_table_indexes[particle->permutation_index] : static_cast<int16>(0);
	if ((definition->flags & _group_uses_owner_color_table_index_flag) && group && group->color_table_index != NONE)
	{
		color_table = group->color_table_index;
	}

	// 8. The surface.
	if (instance->flags & _bitmap_instance_texture_flag)
	{
		extended_bitmap_surface_data data;
		memset(&data, 0, sizeof(data));
		data.flags = static_cast<uint16>(reflected ? 3 : 2);
		data.collection_index = collection;
		data.color_table_index = color_table;
		data.transparency = transparency;
		data.world_left = instance->world_left;
		data.world_right = instance->world_right;
		data.world_top = instance->world_top;
		data.world_bottom = instance->world_bottom;
		data.horizontal_scale = static_cast<int16>(horizontal);
		data.vertical_scale = static_cast<int16>(vertical);
		world_vector3d direction = {1, 0, 0};
		const int16 law = physics_type_of(definition);
		if (law == _linear || law == _point_attractor || law == _explosive_gas)
		{
			const fixed_vector3d &v = law == _explosive_gas ? particle->physics.gas.velocity : particle->physics.linear.velocity;
			direction = {static_cast<int16>(v.i >> 16), static_cast<int16>(v.j >> 16), static_cast<int16>(v.k >> 16)};
		}
		build_extended_bitmap_surface_triangles(instance, &t, &direction, view, view->main_surface_list, &data);
	}
	else
	{
		const int16 x0 = project_x(view, t.x + left, t.z), x1 = project_x(view, t.x + right, t.z);
		const int16 y0 = project_y(view, t.y + top, t.z), y1 = project_y(view, t.y + bottom, t.z);
		if (x1 > x0 && y1 > y0 && x1 > 0 && x0 < view->screen_width && y1 > 0 && y0 < view->screen_height)
		{
			render_rectangle *rectangle = static_cast<render_rectangle *>(render_malloc(sizeof(render_rectangle)));
			memset(rectangle, 0, sizeof(*rectangle));
			set_surface_type(&rectangle->surface, _surface_type_rectangle, _surface_subtype_object_rectangle);
			if (reflected && !surface_effect) surface_flags_value |= _surface_reflection_flag;
			if (transparency) surface_flags_value |= _surface_transparent_flag;
			set_surface_flags(&rectangle->surface, surface_flags_value | _surface_precise_z_flag);
			rectangle->surface.precise_z = static_cast<world_distance>(t.z) * 16384;
			rectangle->surface.obj_view_y = t.y;
			rectangle->surface.z = t.z;
			rectangle->surface.transparency = transparency;
			rectangle->geometry = {x0, y0, x1, y1, -32768, 32767, {0, 0, 0, 0}, 32767, -32768};
			rectangle->texture = build_bitmap_identifier(static_cast<uint32>(collection),
				static_cast<uint32>(instance->bitmap_index), static_cast<uint32>(color_table) & 127u, 0);
			rectangle->object_index = NONE;
			add_surface_to_surface_list(view->main_surface_list, &rectangle->surface);
		}
	}

	// 9. The shadow.
	if (reflected || frame->shadow_map_index == NONE) return;
	const shadow_map_data *shadow = get_shadow_map(collection, frame->shadow_map_index);
	if (!shadow || shadow->bitmap_index == NONE) return;
	const boolean light = (shadow->flags & 1) != 0;
	int64 factor = 65535, shift = 0;
	if (h != 0)
	{
		const int64 f = (static_cast<int64>(h) << 16) / (light ? 1024 : 3072);
		if (!light) shift = (3 * f) >> 7;
		factor = std::min<int64>(65536 - f, 65535);
	}
	const int64 density = ((PIN(shown, 0, 65535) >> 8) * factor) >> 8;
	if (density < 1) return;
	const int64 x0 = shift + p.x - ((static_cast<int64>(region->x0) << WORLD_FRACTIONAL_BITS) + (shadow->registration_point.x >> 10));
	const int64 y0 = shift + p.y - ((static_cast<int64>(region->y0) << WORLD_FRACTIONAL_BITS) + (shadow->registration_point.y >> 10));
	// A corner beyond 16 bits would wrap onto another part of the map.
	if (x0 < -32768 || x0 > 32767 || y0 < -32768 || y0 > 32767) return;
	render_map_overlay *overlay = static_cast<render_map_overlay *>(render_malloc(sizeof(render_map_overlay)));
	memset(overlay, 0, sizeof(*overlay));
	overlay->x0 = static_cast<short_world_distance>(x0);
	overlay->y0 = static_cast<short_world_distance>(y0);
	overlay->collection_index = static_cast<uint8>(collection);
	overlay->color_table_index = static_cast<uint8>(color_table);
	overlay->bitmap_index = static_cast<uint16>(shadow->bitmap_index);
	overlay->density = static_cast<fixed_fraction>(PIN(density, 0, 65535));
	render_map_overlay **list = light ? &view->light_map_overlays : &view->shadow_map_overlays;
	overlay->next_map_overlay = *list;
	*list = overlay;
}

/* ---------- test hooks */

local_projectiles_test_hooks_data *get_local_projectiles_test_hooks(void)
{
	return &local_projectiles_test_hooks;
}

void reset_local_projectiles_test_hooks(void)
{
	local_projectiles_test_hooks = {};
}
