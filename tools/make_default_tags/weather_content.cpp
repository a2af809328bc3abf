#include "weather_content.h"

#include "collections_content.h"
#include "damage.h"
#include "effects_content.h"
#include "projectiles_content.h"
#include "tag_files/tag_files.h"

static_assert(_projectile_is_lightning_bit == 24 && _projectile_can_set_landscape_on_fire_bit == 28);

wind_definition default_gust_wind(void)
{
	wind_definition d = *get_default_wind_definition();
	d.time_between_adjustments_lower_bound = 300;
	d.time_between_adjustments_delta = 300;
	d.maximum_adjustment_per_tick = 655;
	d.velocity_lower_bound = {-98304, -65536, 0};
	d.velocity_delta = {131072, 131072, 0};
	return d;
}

particle_system_definition default_rain_particle_system(void)
{
	particle_system_definition d = *get_default_particle_system_definition();
	d.flags = _particle_system_transparency_varies_with_distance_flag;
	d.collection_reference_tag = PARTICLE_REFERENCE_TAG;
	d.sequence_index = _particle_rain_streak_sequence;
	d.minimum_view_distance = 512;
	d.transparency_rolloff_point = 4096;
	d.transparency_cutoff_point = 8192;
	d.number_of_particles = 1024;
	d.maximum_particle_number_delta = 0;
	d.scale = 128;
	d.velocity_lower_bound = {0, 0, -2097152};
	d.velocity_delta = {0, 0, 524288};
	d.x0_particle_number = d.x1_particle_number = d.y0_particle_number = d.y1_particle_number = 256;
	d.state[0] = {600, 600, 16384, 8192, 90, 60};
	d.state[1] = {450, 300, 40960, 20480, 60, 60};
	d.ambient_sound_tag = static_cast<file_tag>(NONE);
	d.splash_local_projectile_group_tag = DEFAULT_RIPPLE_LOCAL_GROUP_TAG;
	d.box_width = 8;
	d.box_top_height = 1536;
	d.box_bottom_height = 128;
	d.max_splashes_per_cell = 2;
	d.time_between_building_effects = 4;
	return d;
}

mesh_effect_definition default_shock_mesh_effect(void)
{
	mesh_effect_definition d = *get_default_mesh_effect_definition();
	d.flags = _mesh_effect_has_shockwave_flag;
	d.amplitude = 96;
	d.cutoff_radius = 2048;
	d.dissipation = 128;
	d.velocity = 96;
	d.epicenter_offset = 0;
	d.camera_shaking_type = NONE;
	d.collection_reference_tag = PARTICLE_REFERENCE_TAG;
	d.sequence_index = _particle_ring_sequence;
	d.number_of_radial_points = 24;
	d.shockwave_thickness = 192;
	d.shockwave_height_offset = 32;
	return d;
}

lightning_definition default_bolt_lightning(void)
{
	lightning_definition d = *get_default_lightning_definition();
	d.flags = _lightning_scars_ground_flag;
	d.collection_reference_tag = PARTICLE_REFERENCE_TAG;
	d.shock_duration = 4;
	d.fade_duration = 10;
	d.bolt_length = 0;
	d.sequence_indexes[_lightning_sequence_fork] = _particle_bolt_fork_sequence;
	d.sequence_indexes[_lightning_sequence_main_bolt] = _particle_bolt_main_sequence;
	d.sequence_indexes[_lightning_sequence_stain] = _particle_scorch_sequence;
	d.velocity = 200;
	d.scale = 256;
	d.fork_segment_minimum = 2;
	d.fork_segment_delta = 3;
	d.fork_overlap_amount = 16;
	d.main_bolt_overlap_amount = 32;
	d.angular_limit = 4096;
	d.damage = {NONE, 0, 0, 0, 0, 0, 0, 0};
	d.apparent_number_of_bolts = 2;
	return d;
}

projectile_definition default_bolt_projectile(void)
{
	projectile_definition d = default_arrow_projectile();
	d.flags |= _projectile_is_lightning_flag | _projectile_can_set_landscape_on_fire_flag;
	d.lightning_tag = DEFAULT_BOLT_LIGHTNING_TAG;
	d.damage = {_damage_explosive_electricity, 0, 80, 40, 0, 0, 0, 0};
	d.lifespan_lower_bound = 90;
	d.lifespan_delta = 0;
	d.detonation_projectile_group_tag = DEFAULT_THUNDER_GROUP_TAG;
	return d;
}

projectile_group_definition default_thunder_group(void)
{
	projectile_group_definition g = *get_default_projectile_group_definition();
	g.mesh_effect_tag = DEFAULT_SHOCK_MESH_EFFECT_TAG;
	projectile_group_part_definition p = *get_default_projectile_group_part_definition();
	p.projectile_tag = DEFAULT_SPARK_PROJECTILE_TAG;
	p.count_lower_bound = 2;
	p.count_delta = 2;
	g.parts[g.number_of_parts++] = p;
	return g;
}

bool is_default_weather_content_group(file_tag group_tag)
{
	return group_tag == WIND_DEFINITION_GROUP_TAG || group_tag == PARTICLE_SYSTEM_GROUP_TAG ||
		group_tag == MESH_EFFECT_DEFINITION_GROUP_TAG || group_tag == LIGHTNING_GROUP_TAG;
}

template <typename record>
static bool write_tag(std::vector<int32> *handles, file_tag group_tag, int32 version, file_tag subgroup, const char *name,
	const record &r, const byte_swap_code *codes)
{
	const std::vector<uint8> bytes = stored_record_bytes(&r, static_cast<int32>(sizeof(record)), codes);
	const int32 handle = tag_file_new_with_subgroup_tag(group_tag, name, subgroup, version, bytes.data(),
		static_cast<int32>(bytes.size()));
	if (handle == NONE) return false;
	handles->push_back(handle);
	return true;
}

bool make_default_weather_tags(std::vector<int32> *handles)
{
	return write_tag(handles, WIND_DEFINITION_GROUP_TAG, WIND_DEFINITION_VERSION_NUMBER, DEFAULT_GUST_WIND_TAG, "gusts",
			default_gust_wind(), wind_definition_byte_swapping_data) &&
		write_tag(handles, PARTICLE_SYSTEM_GROUP_TAG, PARTICLE_SYSTEMS_VERSION_NUMBER, DEFAULT_RAIN_PARTICLE_SYSTEM_TAG, "rain",
			default_rain_particle_system(), particle_system_definition_bs_data) &&
		write_tag(handles, MESH_EFFECT_DEFINITION_GROUP_TAG, MESH_EFFECT_DEFINITION_VERSION_NUMBER,
			DEFAULT_SHOCK_MESH_EFFECT_TAG, "shockwave", default_shock_mesh_effect(), mesh_effect_definition_bs_data) &&
		write_tag(handles, LIGHTNING_GROUP_TAG, LIGHTNING_VERSION_NUMBER, DEFAULT_BOLT_LIGHTNING_TAG, "lightning bolt",
			default_bolt_lightning(), lightning_definition_bs_data) &&
		write_tag(handles, PROJECTILE_DEFINITION_GROUP_TAG, PROJECTILE_DEFINITION_VERSION_NUMBER, DEFAULT_BOLT_PROJECTILE_TAG,
			"lightning bolt", default_bolt_projectile(), projectile_definition_bs_data) &&
		write_tag(handles, PROJECTILE_GROUP_DEFINITION_GROUP_TAG, PROJECTILE_GROUP_DEFINITION_VERSION_NUMBER,
			DEFAULT_THUNDER_GROUP_TAG, "thunderclap", default_thunder_group(), projectile_group_definition_bs_data);
}

void add_first_level_weather(mesh_header *header)
{
	if (!header) return;
	header->flags |= _mesh_can_catch_fire_flag;
	header->wind_tag = DEFAULT_GUST_WIND_TAG;
	header->particle_system_tag = DEFAULT_RAIN_PARTICLE_SYSTEM_TAG;
}
