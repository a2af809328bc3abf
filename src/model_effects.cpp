#include "model_effects.h"

#include "error_manager.h"
#include "geometry.h"
#include "map_actions/map_actions.h"
#include "models.h"
#include "projectile_definitions.h"
#include "projectiles.h"
#include "world.h"
#include "zerv.h"

datum_globals model_effect_array = {"model_effects", MAXIMUM_ACTIVE_MODEL_EFFECTS_PER_MAP, sizeof(model_effect_data), 0};

static boolean model_effects_initialized = FALSE;

model_effect_data *get_model_effect_data(int16 effect_index)
{
	return static_cast<model_effect_data *>(datum_in_use(&model_effect_array, effect_index));
}

void initialize_model_effects(void)
{
	if (model_effects_initialized) return;
	initialize_data(&model_effect_array);
	model_effects_initialized = TRUE;
}

void initialize_model_effects_for_new_map(void)
{
	if (model_effects_initialized) initialize_data_for_new_map(&model_effect_array);
}

void dispose_model_effects_from_old_map(void)
{
	if (model_effects_initialized) dispose_data_from_old_map(&model_effect_array);
}

static int16 action_index_of(int32 identifier)
{
	return identifier == NONE ? static_cast<int16>(NONE) : action_identifier_to_action_index(static_cast<int16>(identifier));
}

static void report_error(int32 map_action_identifier)
{
	const int16 action = action_index_of(map_action_identifier);
	if (action != NONE) set_map_action_error(action);
}

// The surfaces of the model's geometry (shared by every model of it); NULL without.
static geometry_surface *model_surfaces(const model_data *model, int16 *count)
{
	const model_definition *definition = get_model_definition(model->type);
	const geometry_definition *geometry = definition ? get_geometry_definition(definition->geometry_index) : nullptr;
	const geometry_tables *tables = definition ? get_geometry_tables(definition->geometry_index) : nullptr;
	if (!geometry || !tables || !tables->surfaces) return nullptr;
	*count = geometry->surface_count;
	return tables->surfaces;
}

static void set_material_transparency(const model_data *model, int16 material, int32 transparency)
{
	int16 count = 0;
	geometry_surface *surfaces = model_surfaces(model, &count);
	for (int16 i = 0; surfaces && i < count; ++i)
	{
		if (surfaces[i].material_index == material) surfaces[i].transparency = static_cast<uint16>(PIN(transparency, 0, 65535));
	}
}

boolean new_model_effect(int16 model_index, int32 map_action_identifier, const new_model_effect_data *data)
{
	if (!model_effects_initialized || !data) return FALSE;
	model_data *model = get_model_data(model_index);

	if ((data->flags & _permutation_change_only_flag) && model)
	{
		model_effect_data *running = nullptr;
		for (int16 i = 0; i < model_effect_array.count; ++i)
		{
			model_effect_data *effect = get_model_effect_data(i);
			if (effect && effect->model_index == model_index) running = effect;
		}
		if (running)
		{
			if (data->new_permutation != NO_PERMUTATION_CHANGE)
			{
				model->model_permutation = running->new_permutation;
				running->new_permutation = static_cast<int16>(data->new_permutation);
				model->desired_model_permutation = static_cast<int16>(data->new_permutation);
				running->ticks = static_cast<int16>(running->duration - running->ticks);
			}
			return FALSE;
		}
	}

	const int16 index = new_datum(&model_effect_array);
	if (index == NONE)
	{
		report_error(map_action_identifier);
		return FALSE;
	}
	if (!model || data->duration < 0)
	{
		report_error(map_action_identifier);
		delete_datum(&model_effect_array, index);
		return FALSE;
	}
	model_effect_data *effect = get_model_effect_data(index);
	effect->ticks = 0;
	effect->model_index = model_index;
	effect->model_identifier = model->identifier;
	effect->map_action_identifier = map_action_identifier;
	effect->flags = data->flags;
	effect->duration = data->duration;
	effect->delta_yaw = data->delta_yaw;
	effect->delta_pitch = data->delta_pitch;
	if (data->set_permutation != NO_PERMUTATION_CHANGE)
	{
		model->model_permutation = static_cast<int16>(data->set_permutation);
		model->desired_model_permutation = static_cast<int16>(data->set_permutation);
	}
	effect->new_permutation = data->new_permutation != NO_PERMUTATION_CHANGE ? static_cast<int16>(data->new_permutation)
		: model->model_permutation;
	model->desired_model_permutation = effect->new_permutation;
	effect->material_fading_index = static_cast<int16>(data->material_fading_index);
	effect->material_final_transparency = data->material_final_transparency;
	effect->material_initial_transparency = 0;
	if (effect->material_fading_index != NONE)
	{
		int16 count = 0;
		const geometry_surface *surfaces = model_surfaces(model, &count);
		for (int16 i = 0; surfaces && i < count; ++i)
		{
			if (surfaces[i].material_index == effect->material_fading_index)
			{
				effect->material_initial_transparency = surfaces[i].transparency;
				break;
			}
		}
	}
	const boolean scaled = (data->flags & _scale_model_flag) != 0;
	effect->initial_scale = scaled ? data->initial_scale : static_cast<int16>(GEOMETRY_NORMAL_SCALE);
	effect->final_scale = scaled ? data->final_scale : static_cast<int16>(GEOMETRY_NORMAL_SCALE);

	if (data->flags & _create_projectile_flag)
	{
		const int16 type = projectile_definition_tag_to_index(data->projectile_type_to_create);
		if (type == NONE)
		{
			report_error(map_action_identifier);
			return TRUE;
		}
		new_projectile_data projectile = {};
		projectile.type = type;
		projectile.flags = _projectile_detonates_immediately_flag;
		projectile.location.position = data->projectile_origin;
		projectile.damage_scale = 256;
		projectile.owner_monster_index = projectile.owner_projectile_index = projectile.owner_object_index = NONE;
		projectile.target_monster_index = NONE;
		new_projectile(&projectile);
	}
	return TRUE;
}

static void rebuild_matrices(int16 model_index, model_data *model)
{
	get_geometry_matrices(&model->forward_vector, &model->up_vector, &model->scale_vector, &model->geometry_to_world_matrix,
		&model->world_to_geometry_matrix);
	// A turned or scaled model keeps no stale collision box.
	compute_model_bounds_from_geometry(model_index);
}

static void set_scale(model_data *model, int32 scale)
{
	const int16 s = static_cast<int16>(PIN(scale, -32768, 32767));
	model->scale_vector = {s, s, s};
}

void update_model_effects(void)
{
	if (!model_effects_initialized) return;
	for (int16 i = 0; i < model_effect_array.count; ++i)
	{
		model_effect_data *effect = get_model_effect_data(i);
		if (!effect || effect->model_index == NONE) continue;
		model_data *model = get_model_data(effect->model_index);
		if (!model || model->identifier != effect->model_identifier)
		{
			// The model went elsewhere: its slot may hold another now.
			report_error(effect->map_action_identifier);
			delete_datum(&model_effect_array, i);
			continue;
		}
		effect->ticks = static_cast<int16>(effect->ticks + 1);
		if (effect->duration != INFINITE_DURATION && effect->ticks >= effect->duration)
		{
			const int16 action = action_index_of(effect->map_action_identifier);
			if (action != NONE) set_map_action_success(action);
			if (effect->flags & _fade_model_in_flag) model->transparency = 0;
			if (effect->flags & _fade_model_out_flag) model->transparency = 65535;
			model->permutation_crossfade_amount = 0;
			model->model_permutation = effect->new_permutation;
			model->desired_model_permutation = effect->new_permutation;
			if (effect->material_fading_index != NONE)
			{
				set_material_transparency(model, effect->material_fading_index, effect->material_final_transparency);
			}
			if (effect->flags & _scale_model_flag)
			{
				set_scale(model, effect->final_scale);
				rebuild_matrices(effect->model_index, model);
			}
			if (effect->flags & _delete_model_when_done_flag) delete_model(effect->model_index);
			delete_datum(&model_effect_array, i);
			continue;
		}
		boolean changed = FALSE;
		if (effect->delta_yaw != 0 || effect->delta_pitch != 0)
		{
			model->current_yaw = static_cast<angle>(model->current_yaw + effect->delta_yaw);
			model->current_pitch = static_cast<angle>(model->current_pitch + effect->delta_pitch);
			matrix3x3 rotation;
			build_rotation_matrix(&rotation, model->current_yaw, model->current_pitch);
			model->forward_vector = {rotation.n[0][0], rotation.n[1][0], rotation.n[2][0]};
			model->up_vector = {rotation.n[0][2], rotation.n[1][2], rotation.n[2][2]};
			changed = TRUE;
		}
		if (effect->duration != INFINITE_DURATION)
		{
			const int32 f = static_cast<int32>(effect->ticks) * 65535 / effect->duration;
			model->permutation_crossfade_amount = static_cast<uint16>(f);
			if (effect->flags & _fade_model_in_flag) model->transparency = static_cast<uint16>(~static_cast<uint16>(f));
			if (effect->flags & _fade_model_out_flag) model->transparency = static_cast<uint16>(f);
			if (effect->material_fading_index != NONE)
			{
				const int32 initial = effect->material_initial_transparency;
				const int32 value = initial + static_cast<int32>(effect->ticks) *
					(static_cast<int32>(effect->material_final_transparency) - initial) / effect->duration;
				set_material_transparency(model, effect->material_fading_index, value);
			}
			if (effect->flags & _scale_model_flag)
			{
				set_scale(model, effect->initial_scale + (static_cast<int32>(effect->final_scale) - effect->initial_scale) *
					effect->ticks / effect->duration);
				changed = TRUE;
			}
		}
		if (changed) rebuild_matrices(effect->model_index, model);
	}
}

void fold_model_effects_digest(zerv_digest *digest)
{
	if (!model_effects_initialized || !digest) return;
	for (int16 i = 0; i < model_effect_array.count; ++i)
	{
		const model_effect_data *e = get_model_effect_data(i);
		if (!e) continue;
		zerv_digest_int16(digest, i);
		zerv_digest_int16(digest, e->identifier);
		zerv_digest_int16(digest, e->model_index);
		zerv_digest_int16(digest, e->model_identifier);
		zerv_digest_int32(digest, e->map_action_identifier);
		zerv_digest_int16(digest, e->ticks);
		zerv_digest_int16(digest, static_cast<int16>(e->flags));
		zerv_digest_int16(digest, e->duration);
		zerv_digest_int16(digest, static_cast<int16>(e->delta_yaw));
		zerv_digest_int16(digest, static_cast<int16>(e->delta_pitch));
		zerv_digest_int16(digest, e->new_permutation);
		zerv_digest_int16(digest, e->material_fading_index);
		zerv_digest_int16(digest, static_cast<int16>(e->material_initial_transparency));
		zerv_digest_int16(digest, static_cast<int16>(e->material_final_transparency));
		zerv_digest_int16(digest, e->initial_scale);
		zerv_digest_int16(digest, e->final_scale);
	}
	zerv_digest_uint32(digest, datum_globals_digest(&model_effect_array));
}
