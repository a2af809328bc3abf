#include "particle_system.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "collection_references.h"
#include "data.h"
#include "error_manager.h"
#include "local_projectiles.h"
#include "mesh.h"
#include "observer.h"
#include "render/render.h"
#include "render/render_world_builders.h"
#include "shapes.h"
#include "tag_files/tag_files.h"
#include "wind.h"
#include "world.h"
#include "zerv.h"

#define STATE_VARIABLES_BS_CODES _2byte, _2byte, _2byte, _2byte, _2byte, _2byte

constexpr byte_swap_code particle_system_definition_bs_data[] = {
	_begin_bs_array, 1,
	_4byte, _4byte, _4byte, _4byte, _4byte,
	_2byte, _2byte, _2byte, _2byte,
	_4byte, _4byte, _4byte, _4byte, _4byte, _4byte,
	_2byte, _2byte, _2byte, _2byte,
	STATE_VARIABLES_BS_CODES, STATE_VARIABLES_BS_CODES,
	_4byte, _4byte,
	_2byte, _2byte, _2byte, _2byte, _2byte,
	16,
	_2byte, _2byte, _2byte, _2byte, _2byte,
	_end_bs_array};
static_assert(get_byte_swap_struct_size(particle_system_definition_bs_data) == sizeof(particle_system_definition));

static const particle_system_definition default_particle_system = {
	0, static_cast<file_tag>(NONE), 0, 0, 0, NONE, 0, 0, 256, {}, {}, 256, 256, 256, 256, {}, static_cast<file_tag>(NONE),
	static_cast<file_tag>(NONE), 8, 1536, 0, 0, 0, {}, NONE, NONE, NONE, NONE, NONE};

static void particle_system_dependencies(void *, report_definition_dependency_proc) {}

static definition_globals particle_system_definitions = {
	"particle system",
	PARTICLE_SYSTEM_GROUP_TAG,
	PARTICLE_SYSTEMS_VERSION_NUMBER,
	MAXIMUM_PARTICLE_SYSTEMS_PER_MAP,
	static_cast<int16>(sizeof(particle_system_definition)),
	particle_system_dependencies,
	postprocess_particle_system,
	nullptr,
	&default_particle_system,
	particle_system_definition_bs_data,
	0,
	nullptr, nullptr, nullptr, NONE, 0, nullptr, nullptr, nullptr};

static datum_globals particle_array = {"particle data", MAXIMUM_PARTICLES_PER_MAP, sizeof(particle_data), 0};

struct particle_module_data
{
	particle_system_definition *system; // NULL without weather
	particle_globals globals;
};
static particle_module_data particle_module = {};

static particle_system_test_hooks_data particle_system_test_hooks = {};
particle_system_test_hooks_data *get_particle_system_test_hooks(void) { return &particle_system_test_hooks; }
void reset_particle_system_test_hooks(void) { particle_system_test_hooks = {}; }

definition_globals *get_particle_system_definitions(void) { return &particle_system_definitions; }
const particle_system_definition *get_default_particle_system_definition(void) { return &default_particle_system; }
int32 get_particle_system_tag_header_user_data(const particle_system_definition *) { return NONE; }
const particle_system_definition *get_local_particle_system(void) { return particle_module.system; }
const particle_globals *get_particle_globals(void) { return &particle_module.globals; }
int16 get_particle_count(void) { return particle_array.data ? static_cast<int16>(MAX(0, static_cast<int32>(particle_array.total_count))) : 0; }

particle_data *get_particle_data(int16 index)
{
	return static_cast<particle_data *>(try_and_get_datum(&particle_array, index));
}

static boolean tag_is_none(file_tag tag)
{
	return tag == 0 || tag == static_cast<file_tag>(NONE);
}

boolean postprocess_particle_system(definition_globals *, int16, int32 tag_handle, void *definition)
{
	particle_system_definition *d = static_cast<particle_system_definition *>(definition);
	const char *name = tag_handle == NONE ? "<unknown>" : tag_file_name_get(tag_handle);
	d->collection_reference_index = definition_tag_to_index(get_collection_reference_definitions(), d->collection_reference_tag);
	const collection_reference *reference = get_collection_reference(d->collection_reference_index);
	if (!reference)
	{
		error_message(_error_data_missing, MODULE_NAME, __LINE__, "particle system %s has no collection reference '%s'.", name,
			tag_to_string(d->collection_reference_tag));
		return FALSE;
	}
	d->collection_index = reference->collection_index;
	d->color_table_index = reference->color_table_indexes[0];
	if (!verify_sequence_index(d->collection_index, d->sequence_index))
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "particle system %s has a bad sequence #%d.", name,
			static_cast<int>(d->sequence_index));
		return FALSE;
	}
	// Ambient sounds resolve through the sound least layer, which knows none:
	// one named is none, as every unresolved sound is.
	d->ambient_sound_index = NONE;
	d->splash_local_projectile_group_type = NONE;
	if (!tag_is_none(d->splash_local_projectile_group_tag))
	{
		d->splash_local_projectile_group_type = local_projectile_group_definition_tag_to_index(d->splash_local_projectile_group_tag);
		if (d->splash_local_projectile_group_type == NONE)
		{
			error_message(_error_data_missing, MODULE_NAME, __LINE__, "particle system %s has no splash group '%s'.", name,
				tag_to_string(d->splash_local_projectile_group_tag));
			return FALSE;
		}
	}
	// The box wraps positions with a mask and its cell lists are sized by it.
	if (d->box_width < 1 || d->box_width > MAXIMUM_PARTICLE_BOX_WIDTH || (d->box_width & (d->box_width - 1)) != 0)
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__,
			"particle system %s has box width #%d (a power of two from 1 to #%d).", name, static_cast<int>(d->box_width),
			MAXIMUM_PARTICLE_BOX_WIDTH);
		return FALSE;
	}
	return TRUE;
}

/* ---------- the weather clock (synchronised) */

static fixed_fraction random_value(fixed_fraction lower, fixed_fraction delta)
{
	if (delta == 0) return lower;
	return static_cast<fixed_fraction>(lower + ((static_cast<uint32>(delta) * zerv_random()) >> 16));
}

static void enter_transition(void)
{
	const particle_system_definition *system = particle_module.system;
	particle_globals *g = &particle_module.globals;
	const state_variables *current = &system->state[g->state], *other = &system->state[1 - g->state];
	g->in_transition = TRUE;
	g->ticks_per_state = current->transition_lower_bound + zerv_random_below(current->transition_delta);
	g->transition_period = g->ticks_per_state;
	g->old_amplitude = g->amplitude;
	g->amplitude = random_value(other->value_lower_bound, other->value_delta);
}

void update_particle_clock(void)
{
	const particle_system_definition *system = particle_module.system;
	if (!system) return;
	particle_globals *g = &particle_module.globals;
	if (!g->in_transition && (system->flags & _particle_system_states_last_indefinitely_flag)) return;
	g->ticks_per_state -= 1;
	if (g->ticks_per_state > 0) return;
	if (g->in_transition)
	{
		// The state entered lasts its own duration.
		g->in_transition = FALSE;
		g->state = static_cast<int16>(1 - g->state);
		const state_variables *entered = &system->state[g->state];
		g->ticks_per_state = entered->duration_lower_bound + zerv_random_below(entered->duration_delta);
	}
	else
	{
		enter_transition();
	}
}

void switch_snowing_states(void)
{
	if (particle_module.system) enter_transition();
}

void set_target_particle_number_multiplier(short_fixed multiplier)
{
	particle_module.globals.target_particle_number_multiplier = multiplier;
}

int32 particle_transition_fraction(int32 period, int32 ticks_left, boolean rising)
{
	static const long double pi = 3.14159265358979323846264338327950288L;
	const long double theta = (static_cast<long double>(period - ticks_left) * pi) / static_cast<long double>(period);
	const long double c = cosl(theta);
	const long double scaled = (rising ? 1.0L - c : 1.0L + c) * 65536.0L;
	const int32 s = static_cast<int32>(scaled) >> 1;
	return PIN(s, 0, 65535);
}

static int64 current_amplitude(void)
{
	const particle_globals *g = &particle_module.globals;
	if (!g->in_transition || g->transition_period <= 0) return g->amplitude;
	const int64 old_a = g->old_amplitude, new_a = g->amplitude;
	if (new_a > old_a)
	{
		return old_a + (((new_a - old_a) * particle_transition_fraction(g->transition_period, g->ticks_per_state, TRUE)) >> 16);
	}
	return new_a + (((old_a - new_a) * particle_transition_fraction(g->transition_period, g->ticks_per_state, FALSE)) >> 16);
}

static int16 edge_factor(short_fixed f0, short_fixed f1, world_distance position, int32 cells)
{
	if (cells <= 0) return f0;
	const int32 c = ((position >> WORLD_FRACTIONAL_BITS) << 8) / cells;
	return static_cast<int16>(f0 + (((static_cast<int32>(f1) - f0) * c) >> 8));
}

fixed_fraction particle_system_density(const world_point2d *position)
{
	const particle_system_definition *system = particle_module.system;
	if (!system || !position || !mesh_globals || !mesh_globals->mesh_cells) return 0;
	const int64 fx = edge_factor(system->x0_particle_number, system->x1_particle_number, position->x, mesh_globals->mesh_width);
	const int64 fy = edge_factor(system->y0_particle_number, system->y1_particle_number, position->y, mesh_globals->mesh_height);
	const int64 density = (((fx * fy * current_amplitude()) >> 16) * particle_module.globals.target_particle_number_multiplier) >> 8;
	return static_cast<fixed_fraction>(density < 0 ? 0 : density > 65535 ? 65535 : density);
}

uint16 particle_system_intensity(const world_point2d *point)
{
	const particle_system_definition *system = particle_module.system;
	if (!system || (system->flags & _particle_system_does_not_affect_projectiles_flag)) return 0;
	return particle_system_density(point);
}

boolean particle_system_ambient_sound(const world_point3d *, int16 *ambient_sound_index, short_fixed *volume)
{
	const particle_system_definition *system = particle_module.system;
	if (!system || system->ambient_sound_index == NONE) return FALSE;
	if (ambient_sound_index) *ambient_sound_index = system->ambient_sound_index;
	if (volume)
	{
		*volume = system->number_of_particles <= 0 ? static_cast<short_fixed>(0) :
			static_cast<short_fixed>((static_cast<int32>(get_particle_count()) * 256) / system->number_of_particles);
	}
	return TRUE;
}

/* ---------- particles (visual, local stream only) */

static world_point2d camera_point(void)
{
	if (particle_system_test_hooks.has_camera) return particle_system_test_hooks.camera;
	observer_location location = {};
	get_observer_location(&location);
	return location.position;
}

static int32 target_particle_count(void)
{
	const world_point2d camera = camera_point();
	return (static_cast<int32>(particle_system_density(&camera)) * particle_module.system->number_of_particles) >> 16;
}

static int32 local_component(fixed lower, fixed delta)
{
	return static_cast<int32>(static_cast<uint32>((lower >> 8) + local_random_below(delta >> 8)) << 8);
}

static int16 new_particle(void)
{
	const particle_system_definition *system = particle_module.system;
	const int16 index = new_datum(&particle_array);
	if (index == NONE) return NONE;
	particle_data *particle = get_particle_data(index);
	const int32 W = particle_module.globals.world_box_width;
	particle->position.x = static_cast<short_world_distance>(local_random_below(W));
	particle->position.y = static_cast<short_world_distance>(local_random_below(W));
	particle->position.z = system->box_top_height;
	particle->velocity.i = local_component(system->velocity_lower_bound.i, system->velocity_delta.i);
	particle->velocity.j = local_component(system->velocity_lower_bound.j, system->velocity_delta.j);
	particle->velocity.k = local_component(system->velocity_lower_bound.k, system->velocity_delta.k);
	particle->phase = 0;
	const sequence_data *sequence = get_sequence(system->collection_index, system->sequence_index);
	particle->shape_view_index = static_cast<int16>(local_random_below(sequence ? sequence->number_of_views : 0));
	particle->shape_frame_index = static_cast<int16>(local_random_below(sequence ? sequence->frames_per_view : 0));
	if (sequence && sequence->frames_per_view <= 1) particle->shape_frame_index = 0;
	particle->next_in_cell = NONE;
	return index;
}

void generate_particles(void)
{
	if (!particle_module.system || !particle_array.data) return;
	delete_all_data(&particle_array);
	const int32 target = target_particle_count();
	for (int32 i = 0; i < target; ++i)
	{
		if (new_particle() == NONE) break;
	}
}

void update_particles(int32 ticks_elapsed)
{
	const particle_system_definition *system = particle_module.system;
	particle_globals *g = &particle_module.globals;
	if (!system || !particle_array.data || !g->cell_particle_list || particle_system_test_hooks.particles_idle) return;
	const int32 target = target_particle_count();
	const int32 shortfall = target - get_particle_count();
	for (int32 created = 0; created < shortfall - created;)
	{
		if (new_particle() == NONE) break;
		created += 1;
	}
	const int32 W = g->world_box_width, cells = system->box_width * system->box_width;
	for (int32 c = 0; c < cells; ++c) g->cell_particle_list[c] = NONE;
	fixed_vector3d wind;
	get_wind_velocity(&wind);
	const sequence_data *sequence = get_sequence(system->collection_index, system->sequence_index);
	for (int16 index = 0; index < particle_array.count; ++index)
	{
		particle_data *particle = get_particle_data(index);
		if (!particle) continue;
		const int64 vi = static_cast<int64>(particle->velocity.i) + wind.i;
		const int64 vj = static_cast<int64>(particle->velocity.j) + wind.j;
		const int64 vk = static_cast<int64>(particle->velocity.k) + wind.k;
		if (sequence && sequence->frames_per_view > 1)
		{
			const int32 ticks_per_frame = MAX(1, static_cast<int32>(sequence->ticks_per_frame));
			int32 phase = particle->phase + ticks_elapsed;
			int32 frame = particle->shape_frame_index + phase / ticks_per_frame;
			particle->phase = static_cast<int16>(phase % ticks_per_frame);
			particle->shape_frame_index = static_cast<int16>(frame % sequence->frames_per_view);
		}
		const int32 x = static_cast<int32>(((ticks_elapsed * vi) >> 16) + ((particle->position.x + W) & 0xFFFF)) & (W - 1);
		const int32 y = static_cast<int32>(((ticks_elapsed * vj) >> 16) + ((particle->position.y + W) & 0xFFFF)) & (W - 1);
		int32 z = static_cast<int32>(((ticks_elapsed * vk) >> 16) + particle->position.z);
		if (z < system->box_bottom_height)
		{
			if (get_particle_count() > target)
			{
				delete_datum(&particle_array, index);
				continue;
			}
			z = system->box_top_height;
		}
		particle->position = {static_cast<short_world_distance>(x), static_cast<short_world_distance>(y),
			static_cast<short_world_distance>(PIN(z, INT16_MIN, INT16_MAX))};
		const int32 cell = (x >> WORLD_FRACTIONAL_BITS) + (y >> WORLD_FRACTIONAL_BITS) * system->box_width;
		particle->next_in_cell = g->cell_particle_list[cell];
		g->cell_particle_list[cell] = index;
	}
}

/* ---------- life cycle */

void initialize_particle_system(void)
{
	initialize_definitions(&particle_system_definitions);
	initialize_data(&particle_array);
	dispose_pointer(particle_module.globals.cell_particle_list);
	particle_module = {};
	particle_module.globals.splash_projectile_group = NONE;
	register_prerender_effect(-2, build_particle_system_surface_list);
}

boolean initialize_particle_system_for_new_map(file_tag particle_system_tag)
{
	dispose_pointer(particle_module.globals.cell_particle_list);
	particle_module = {};
	particle_module.globals.splash_projectile_group = NONE;
	initialize_definitions_for_new_map(&particle_system_definitions);
	initialize_data_for_new_map(&particle_array);
	if (tag_is_none(particle_system_tag)) return FALSE;
	particle_system_definition *system = static_cast<particle_system_definition *>(try_and_get_definition(
		&particle_system_definitions, definition_tag_to_index(&particle_system_definitions, particle_system_tag)));
	if (!system || !mesh_globals || !mesh_globals->mesh_cells)
	{
		error_message(_error_data_missing, MODULE_NAME, __LINE__, "particle system missing.");
		return FALSE;
	}
	particle_globals *g = &particle_module.globals;
	g->state = 0;
	g->amplitude = random_value(system->state[0].value_lower_bound, system->state[0].value_delta);
	g->in_transition = FALSE;
	g->target_particle_number_multiplier = 256;
	if (system->splash_local_projectile_group_type != NONE)
	{
		const world_point3d centre = {mesh_globals->mesh_width * 256, mesh_globals->mesh_height * 256, 0};
		g->splash_projectile_group = new_local_projectile_group(system->splash_local_projectile_group_type, &centre, NONE);
		g->time_until_building_effects = -1;
	}
	g->world_box_width = system->box_width * WORLD_ONE;
	const int32 cells = system->box_width * system->box_width;
	g->cell_particle_list = static_cast<int16 *>(new_pointer(sizeof(int16) * cells));
	if (!g->cell_particle_list)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate #%d bytes for cell particle list.",
			static_cast<int>(sizeof(int16) * cells));
		return FALSE;
	}
	for (int32 c = 0; c < cells; ++c) g->cell_particle_list[c] = NONE;
	g->ticks_per_state = system->state[0].duration_lower_bound + zerv_random_below(system->state[0].duration_delta);
	particle_module.system = system;
	generate_particles();
	return TRUE;
}

void dispose_particle_system_from_old_map(void)
{
	dispose_pointer(particle_module.globals.cell_particle_list);
	particle_module = {};
	particle_module.globals.splash_projectile_group = NONE;
	if (particle_array.data) dispose_data_from_old_map(&particle_array);
	if (particle_system_definitions.definitions) dispose_definitions_from_old_map(&particle_system_definitions);
}

/* ---------- drawing (local) */

void build_particle_system_splashes(view_data *view, mesh_region *region)
{
	const particle_system_definition *system = particle_module.system;
	particle_globals *g = &particle_module.globals;
	if (!system || g->splash_projectile_group == NONE || !view || !region || !region->spans) return;
	g->time_until_building_effects -= view->game_ticks_elapsed;
	if (g->time_until_building_effects >= 0) return;
	for (int32 y = region->y0; y < region->y1; ++y)
	{
		const mesh_span *span = &region->spans[y - region->y0];
		for (int32 x = span->x0; x < span->x1; ++x)
		{
			const mesh_cell *cell = get_mesh_cell(x, y);
			if ((cell->flags & _mesh_cell_triangle_media_flags) != _mesh_cell_triangle_media_flags) continue;
			const world_point2d centre = {x * WORLD_ONE + WORLD_ONE / 2, y * WORLD_ONE + WORLD_ONE / 2};
			const int32 d = (system->flags & _particle_system_does_not_affect_projectiles_flag) ? 0 : particle_system_density(&centre);
			for (int16 s = 0; s < system->max_splashes_per_cell; ++s)
			{
				if (!(local_random() < d)) continue;
				const world_point3d at = {centre.x + (local_random() >> 7) - 256, centre.y + (local_random() >> 7) - 256,
					cell->media_height};
				create_stationary_projectile(g->splash_projectile_group, &at);
				particle_system_test_hooks.splashes_made += 1;
			}
		}
	}
	g->time_until_building_effects = system->time_between_building_effects;
}

// The picture of a particle's view and frame, NULL when it has none.
static const bitmap_instance_data *particle_instance(const particle_system_definition *system, const particle_data *particle)
{
	sequence_data *sequence = get_sequence(system->collection_index, system->sequence_index);
	if (!sequence || sequence->number_of_views <= 0) return nullptr;
	const int32 view_index = particle->shape_view_index;
	if (view_index < 0 || view_index >= sequence->number_of_views) return nullptr;
	const sequence_frame_data *frame =
		get_sequence_frame(sequence, system->collection_index, system->sequence_index, particle->shape_frame_index);
	if (!frame) return nullptr;
	int16 instance_index;
	memcpy(&instance_index, reinterpret_cast<const uint8 *>(frame) + sizeof(sequence_frame_data) + 2 * view_index,
		sizeof(instance_index));
	return get_bitmap_instance(system->collection_index, instance_index);
}

// A streak lies along the wind and the particle's own fall, or along its
// whole velocity on a still map.
static world_vector3d streak_direction(const particle_data *particle)
{
	fixed_vector3d wind = {};
	world_vector3d direction = {static_cast<int16>(particle->velocity.i >> 16), static_cast<int16>(particle->velocity.j >> 16),
		static_cast<int16>(particle->velocity.k >> 16)};
	if (get_wind_velocity(&wind))
	{
		direction = {static_cast<int16>(wind.i >> 16), static_cast<int16>(wind.j >> 16),
			static_cast<int16>((wind.k >> 16) + (particle->velocity.k >> 16))};
	}
	if (!direction.i && !direction.j && !direction.k) direction.k = -1;
	return direction;
}

static int16 particle_scale(const particle_system_definition *system)
{
	return system->scale > 0 ? system->scale : static_cast<int16>(256);
}

// One particle's sprite: the frame for its view and frame, screen-aligned or,
// for a texture instance, stretched along the fall.
static void add_particle_sprite(view_data *view, render_surface_list *surfaces, const particle_system_definition *system,
	const particle_data *particle, const bitmap_instance_data *instance, const world_point3d *p, world_distance depth)
{
	short_world_point3d t;
	transform_world_point_to_viewer_space(view, p, &t, FALSE);
	if (t.z >= -34) return; // behind the near plane
	fixed_fraction transparency = 0;
	if ((system->flags & _particle_system_transparency_varies_with_distance_flag) &&
		depth > system->transparency_rolloff_point && system->transparency_cutoff_point > system->transparency_rolloff_point)
	{
		const int64 fraction = (static_cast<int64>(depth - system->transparency_rolloff_point) << 16) /
			(system->transparency_cutoff_point - system->transparency_rolloff_point);
		transparency = static_cast<fixed_fraction>(PIN(fraction, 0, 65535));
	}
	const int16 scale = particle_scale(system);
	if (instance->flags & _bitmap_instance_texture_flag)
	{
		// Its picture's width goes across the streak, its height adds to the
		// streak's length.
		world_vector3d direction = streak_direction(particle);
		extended_bitmap_surface_data data;
		memset(&data, 0, sizeof(data));
		data.collection_index = system->collection_index;
		data.color_table_index = system->color_table_index;
		data.transparency = transparency;
		data.overlap_amount = ((instance->world_top - instance->world_bottom) * scale) >> 8;
		data.world_top = instance->world_right;
		data.world_bottom = instance->world_left;
		data.horizontal_scale = data.vertical_scale = scale;
		build_extended_bitmap_surface_triangles(instance, &t, &direction, view, surfaces, &data);
		return;
	}
	const auto project = [](int32 value, int32 k, int32 z, int32 centre) {
		const int64 v = centre + static_cast<int64>(value) * k / z;
		return static_cast<int16>(PIN(v, -32000, 32000));
	};
	const int16 left = project(-(t.x + ((instance->world_left * scale) >> 8)), view->world_to_screen_x, t.z, view->xk);
	const int16 right = project(-(t.x + ((instance->world_right * scale) >> 8)), view->world_to_screen_x, t.z, view->xk);
	const int16 top = project(t.y + ((instance->world_top * scale) >> 8), view->world_to_screen_y, t.z, view->yk);
	const int16 bottom = project(t.y + ((instance->world_bottom * scale) >> 8), view->world_to_screen_y, t.z, view->yk);
	if (right <= left || bottom <= top || right <= 0 || left >= view->screen_width || bottom <= 0 ||
		top >= view->screen_height)
	{
		return;
	}
	build_bitmap_surface_rectangle(instance, surfaces, system->collection_index, system->color_table_index, transparency,
		&t, nullptr, left, right, top, bottom);
}

/* ---------- the land behind the rain */

// Rain is drawn over everything, so a drop whose line of sight runs past the
// land would hang in the void beyond the map's edge: such drops are left out.
namespace {

// Where the land is drawn: the terrain goes in blocks of two by two cells from
// the region's window, up to two vertices short of its end, and a block needs
// all its vertices. Outside the region's spans it is off the screen.
struct land_box
{
	int32 column0, row0, column1, row1; // even vertices
};

// t = num / den along the line of sight from the eye through the drop, den > 0
// (den 0: no end), on the box's side at vertex column (axis 0) or row (axis 1).
struct sight_fraction
{
	int64 num, den;
	int32 axis, side;
};

}

static land_box region_land_box(const mesh_region *region)
{
	const int32 window = MAXIMUM_MESH_REGION_WIDTH - 2;
	return {region->original_x0, region->original_y0,
		MIN(region->original_x0 + window, (mesh_globals->mesh_width - 1) & ~1),
		MIN(region->original_y0 + window, (mesh_globals->mesh_height - 1) & ~1)};
}

static bool sight_fraction_less(const sight_fraction &a, const sight_fraction &b)
{
	if (!b.den) return a.den != 0;
	if (!a.den) return false;
	return a.num * b.den < b.num * a.den;
}

// Whether the line of sight at t runs above every vertex that the land's edge
// there runs between (above), or below every one: so it does whichever way
// their block is cut into triangles.
static bool sight_passes_land_edge(const view_data *view, const land_box *box, const int64 d[3], const sight_fraction &t,
	bool above)
{
	const world_point3d *eye = &view->location.position;
	const int64 along = t.axis == 0 ? eye->y + d[1] * t.num / t.den : eye->x + d[0] * t.num / t.den;
	const int64 z = eye->z + d[2] * t.num / t.den;
	const int32 first = static_cast<int32>(along >> WORLD_FRACTIONAL_BITS) & ~1;
	for (int32 k = 0; k < 3; ++k)
	{
		const int32 n = t.axis == 0 ? PIN(first + k, box->row0, box->row1) : PIN(first + k, box->column0, box->column1);
		const mesh_cell *cell = t.axis == 0 ? get_mesh_cell(t.side, n) : get_mesh_cell(n, t.side);
		int32 low = cell->height, high = cell->height;
		if (!(view->flags & _render_view_omit_media_flag) && (cell->flags & _mesh_vertex_is_media_flag))
		{
			low = MIN(low, static_cast<int32>(cell->media_height));
			high = MAX(high, static_cast<int32>(cell->media_height));
		}
		if (above ? z <= high : z >= low) return false;
	}
	return true;
}

// Whether the land is drawn where the eye looks along d: the line of sight
// reaches the box above the land's edge (or starts over the box) and leaves it
// below, so it meets the land's top in between.
static bool sight_meets_land(const view_data *view, const land_box *box, const int64 d[3])
{
	if (box->column1 <= box->column0 || box->row1 <= box->row0) return false;
	const world_point3d *eye = &view->location.position;
	const int64 e[2] = {eye->x, eye->y};
	const int32 low[2] = {box->column0, box->row0}, high[2] = {box->column1, box->row1};
	sight_fraction enter = {0, 1, NONE, 0}, leave = {0, 0, NONE, 0};
	for (int32 axis = 0; axis < 2; ++axis)
	{
		const int64 low_edge = static_cast<int64>(low[axis]) * WORLD_ONE, high_edge = static_cast<int64>(high[axis]) * WORLD_ONE;
		if (d[axis] == 0)
		{
			if (e[axis] < low_edge || e[axis] > high_edge) return false;
			continue;
		}
		const bool rising = d[axis] > 0;
		const int64 den = rising ? d[axis] : -d[axis];
		const sight_fraction in = {rising ? low_edge - e[axis] : e[axis] - high_edge, den, axis, rising ? low[axis] : high[axis]};
		const sight_fraction out = {rising ? high_edge - e[axis] : e[axis] - low_edge, den, axis, rising ? high[axis] : low[axis]};
		if (sight_fraction_less(enter, in)) enter = in;
		if (sight_fraction_less(out, leave)) leave = out;
	}
	// Straight down over the box: the land is below.
	if (!leave.den) return d[2] < 0;
	if (leave.num <= 0 || !sight_fraction_less(enter, leave)) return false;
	// Coming in over the map's own edge, it must pass above the land there, or
	// it looks at the void below the edge. Through a side of the region's
	// window the land before it is off the screen.
	const int32 last = ((enter.axis == 0 ? mesh_globals->mesh_width : mesh_globals->mesh_height) - 1) & ~1;
	const bool map_edge = enter.side == 0 || enter.side == last;
	if (enter.axis != NONE && map_edge && !sight_passes_land_edge(view, box, d, enter, true)) return false;
	return sight_passes_land_edge(view, box, d, leave, false);
}

// The corners of a particle's sprite in the world, as the renderer lays them
// out in the viewer's space: a streak from the drop back along its fall by its
// length, its picture's width across it and the view; a screen-aligned sprite
// along the viewer's x and y.
static void particle_sprite_corners(const view_data *view, const particle_system_definition *system,
	const particle_data *particle, const bitmap_instance_data *instance, const world_point3d *p, world_point3d corners[4])
{
	const matrix3x3 *m = &view->world_to_viewer_rotation;
	const int64 scale = particle_scale(system);
	for (int32 i = 0; i < 4; ++i) corners[i] = *p;
	if (instance->flags & _bitmap_instance_texture_flag)
	{
		const world_vector3d direction = streak_direction(particle);
		const int64 d[3] = {direction.i, direction.j, direction.k};
		const int64 square = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
		const int64 length = isqrt(static_cast<uint32>(MIN(square, static_cast<int64>(UINT32_MAX))));
		if (length <= 0) return;
		const int64 reach = length + (((instance->world_top - instance->world_bottom) * scale) >> 8);
		// The viewer's z axis crossed with the streak: across it, on the screen.
		const int64 zx = m->n[0][2], zy = m->n[1][2], zz = m->n[2][2];
		const int64 across[3] = {zy * d[2] - zz * d[1], zz * d[0] - zx * d[2], zx * d[1] - zy * d[0]};
		const int64 widths[2] = {(instance->world_right * scale) >> 8, (instance->world_left * scale) >> 8};
		for (int32 i = 0; i < 4; ++i)
		{
			const int64 back = i < 2 ? 0 : reach, width = widths[i & 1];
			corners[i].x += static_cast<world_distance>((-d[0] * back + across[0] * width / 16384) / length);
			corners[i].y += static_cast<world_distance>((-d[1] * back + across[1] * width / 16384) / length);
			corners[i].z += static_cast<world_distance>((-d[2] * back + across[2] * width / 16384) / length);
		}
		return;
	}
	const int64 xs[2] = {(instance->world_left * scale) >> 8, (instance->world_right * scale) >> 8};
	const int64 ys[2] = {(instance->world_top * scale) >> 8, (instance->world_bottom * scale) >> 8};
	for (int32 i = 0; i < 4; ++i)
	{
		const int64 x = xs[i & 1], y = ys[i >> 1];
		corners[i].x += static_cast<world_distance>((m->n[0][0] * x + m->n[0][1] * y) / 16384);
		corners[i].y += static_cast<world_distance>((m->n[1][0] * x + m->n[1][1] * y) / 16384);
		corners[i].z += static_cast<world_distance>((m->n[2][0] * x + m->n[2][1] * y) / 16384);
	}
}

// Whether the land lies behind all of the sprite that is on the screen: its
// corners are projected, the quad is cut to the screen, and the corners of the
// box round what is left are looked through. Off the screen it may hang over
// anything.
static bool land_lies_behind_sprite(const view_data *view, const land_box *box, const world_point3d corners[4])
{
	// Screen points in 256ths of a pixel, round the quad.
	struct screen_point
	{
		int64 x, y;
	};
	static const int32 ring[4] = {0, 1, 3, 2};
	const int64 k = MAX(1, static_cast<int32>(view->world_to_screen_x));
	screen_point polygon[12], clipped[12];
	int32 count = 0;
	for (int32 i = 0; i < 4; ++i)
	{
		short_world_point3d t;
		transform_world_point_to_viewer_space(view, &corners[ring[i]], &t, FALSE);
		if (t.z >= -34) return false; // at the near plane
		// Held within 2^30, so the cuts' products stay within 64 bits.
		const int64 x = static_cast<int64>(view->xk) * 256 - static_cast<int64>(t.x) * k * 256 / t.z;
		const int64 y = static_cast<int64>(view->yk) * 256 + static_cast<int64>(t.y) * view->world_to_screen_y * 256 / t.z;
		polygon[count++] = {PIN(x, -(INT64_C(1) << 30), INT64_C(1) << 30), PIN(y, -(INT64_C(1) << 30), INT64_C(1) << 30)};
	}
	// Cut to the screen and a pixel round it, which the rasterizer's edges reach.
	const int64 limits[4] = {-256, (static_cast<int64>(view->screen_width) + 1) * 256, -256,
		(static_cast<int64>(view->screen_height) + 1) * 256};
	for (int32 side = 0; side < 4 && count > 0; ++side)
	{
		const bool vertical = side < 2, upper = side & 1;
		const auto inside = [&](const screen_point &q) {
			const int64 v = vertical ? q.x : q.y;
			return upper ? v <= limits[side] : v >= limits[side];
		};
		int32 kept = 0;
		for (int32 i = 0; i < count; ++i)
		{
			const screen_point &a = polygon[i], &b = polygon[(i + 1) % count];
			if (inside(a)) clipped[kept++] = a;
			if (inside(a) == inside(b)) continue;
			const int64 a_v = vertical ? a.x : a.y, b_v = vertical ? b.x : b.y;
			const int64 a_w = vertical ? a.y : a.x, b_w = vertical ? b.y : b.x;
			const int64 w = a_w + (b_w - a_w) * (limits[side] - a_v) / (b_v - a_v);
			clipped[kept++] = vertical ? screen_point{limits[side], w} : screen_point{w, limits[side]};
		}
		count = kept;
		std::copy(clipped, clipped + count, polygon);
	}
	if (count == 0) return false;
	// The box round what is left and a pixel round that.
	screen_point low = polygon[0], high = polygon[0];
	for (int32 i = 1; i < count; ++i)
	{
		low = {MIN(low.x, polygon[i].x), MIN(low.y, polygon[i].y)};
		high = {MAX(high.x, polygon[i].x), MAX(high.y, polygon[i].y)};
	}
	const matrix3x3 *m = &view->world_to_viewer_rotation;
	for (int32 i = 0; i < 4; ++i)
	{
		// The viewer's direction through the box's corner, at a depth of 256 k.
		const int64 x = (i & 1) ? high.x + 256 : low.x - 256, y = (i & 2) ? high.y + 256 : low.y - 256;
		const int64 v[3] = {x - static_cast<int64>(view->xk) * 256, static_cast<int64>(view->yk) * 256 - y, -256 * k};
		int64 d[3];
		for (int32 j = 0; j < 3; ++j) d[j] = (m->n[j][0] * v[0] + m->n[j][1] * v[1] + m->n[j][2] * v[2]) / 16384;
		if (!sight_meets_land(view, box, d)) return false;
	}
	return true;
}

void build_particle_system_surface_list(view_data *view, mesh_region *region, render_surface_list *surfaces)
{
	const particle_system_definition *system = particle_module.system;
	const particle_globals *g = &particle_module.globals;
	if (!system || !view || !region || !region->spans || !g->cell_particle_list || !mesh_is_loaded()) return;
	const int32 budget = particle_system_test_hooks.sprite_budget > 0 ? particle_system_test_hooks.sprite_budget :
		MAXIMUM_PARTICLE_SPRITES_PER_FRAME;
	int32 drawn = 0;
	const world_point2d eye = {view->location.position.x, view->location.position.y};
	const land_box box = region_land_box(region);
	for (int32 y = region->y0; y < region->y1; ++y)
	{
		const mesh_span *span = &region->spans[y - region->y0];
		for (int32 x = span->x0; x < span->x1; ++x)
		{
			const int32 bx = x & (system->box_width - 1), by = y & (system->box_width - 1);
			const world_distance origin_x = (x - bx) * WORLD_ONE, origin_y = (y - by) * WORLD_ONE;
			for (int16 index = g->cell_particle_list[bx + by * system->box_width]; index != NONE;)
			{
				const particle_data *particle = get_particle_data(index);
				if (!particle) break;
				index = particle->next_in_cell;
				const world_point2d p = {origin_x + particle->position.x, origin_y + particle->position.y};
				const world_point3d p3 = {p.x, p.y, particle->position.z};
				const world_distance depth = distance2d(&eye, &p);
				if (depth <= system->minimum_view_distance) continue;
				if ((system->flags & _particle_system_transparency_varies_with_distance_flag) &&
					depth >= system->transparency_cutoff_point)
				{
					continue;
				}
				const bitmap_instance_data *instance = particle_instance(system, particle);
				if (!instance) continue;
				world_point3d corners[4];
				particle_sprite_corners(view, system, particle, instance, &p3, corners);
				if (!particle_system_test_hooks.drops_past_the_land && !land_lies_behind_sprite(view, &box, corners)) continue;
				if (drawn >= budget) return;
				drawn += 1;
				particle_system_test_hooks.sprites_drawn += 1;
				if (surfaces) add_particle_sprite(view, surfaces, system, particle, instance, &p3, depth);
			}
		}
	}
}

/* ---------- digest */

void fold_particle_clock_digest(zerv_digest *digest)
{
	const particle_globals *g = &particle_module.globals;
	zerv_digest_int32(digest, particle_module.system ? 1 : 0);
	if (!particle_module.system) return;
	zerv_digest_int16(digest, g->state);
	zerv_digest_int32(digest, g->ticks_per_state);
	zerv_digest_int16(digest, g->in_transition ? 1 : 0);
	zerv_digest_int32(digest, g->transition_period);
	zerv_digest_int16(digest, static_cast<int16>(g->old_amplitude));
	zerv_digest_int16(digest, static_cast<int16>(g->amplitude));
	zerv_digest_int16(digest, g->target_particle_number_multiplier);
}
