// Model effects: a placed model turned, cross-faded, faded, scaled over a
// number of game ticks; part of the synchronised simulation.
#ifndef MODEL_EFFECTS_H
#define MODEL_EFFECTS_H

#include "cseries.h"
#include "world_units.h"
#include "data.h"

struct zerv_digest;

#define MAXIMUM_ACTIVE_MODEL_EFFECTS_PER_MAP 16
#define INFINITE_DURATION (-1)
#define NO_PERMUTATION_CHANGE (-1)

enum // effect flags
{
	_fade_model_in_bit,
	_fade_model_out_bit,
	_delete_model_when_done_bit,
	_scale_model_bit,
	_create_projectile_bit,
	_permutation_change_only_bit,
	_fade_model_in_flag = FLAG(_fade_model_in_bit),
	_fade_model_out_flag = FLAG(_fade_model_out_bit),
	_delete_model_when_done_flag = FLAG(_delete_model_when_done_bit),
	_scale_model_flag = FLAG(_scale_model_bit),
	_create_projectile_flag = FLAG(_create_projectile_bit),
	_permutation_change_only_flag = FLAG(_permutation_change_only_bit)
};

struct model_effect_data
{
	int16 identifier;
	int16 model_index; // NONE leaves the record idle
	int16 model_identifier; // the model's when the effect began
	int32 map_action_identifier;
	int16 ticks;
	uint16 flags;
	int16 duration;
	angle delta_yaw, delta_pitch;
	int16 new_permutation;
	int16 material_fading_index;
	fixed_fraction material_initial_transparency;
	fixed_fraction material_final_transparency;
	int16 initial_scale, final_scale;
};

struct new_model_effect_data
{
	uint16 flags;
	int16 duration;
	angle delta_yaw, delta_pitch;
	int32 new_permutation;
	int32 set_permutation;
	int32 material_fading_index;
	fixed_fraction material_final_transparency;
	int16 initial_scale, final_scale;
	world_point3d projectile_origin;
	file_tag projectile_type_to_create;
};

extern datum_globals model_effect_array; // "model_effects"

void initialize_model_effects(void);
void initialize_model_effects_for_new_map(void);
void dispose_model_effects_from_old_map(void);
// TRUE when a new effect was started.
boolean new_model_effect(int16 model_index, int32 map_action_identifier, const new_model_effect_data *data);
void update_model_effects(void);
model_effect_data *get_model_effect_data(int16 effect_index);
void fold_model_effects_digest(zerv_digest *digest);


#endif
