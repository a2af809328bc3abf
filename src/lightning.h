// Lightning bolts: the bolt a lightning projectile follows.
#ifndef LIGHTNING_H
#define LIGHTNING_H

#include "cseries.h"
#include "world_units.h"

#define LIGHTNING_DEFINITION_GROUP_TAG TAG("ligh")

enum // lightning states
{
	_lightning_growing,
	_lightning_shocking_target
};

enum // lightning definition flags read by projectiles
{
	_lightning_has_qel_collision_radius_bit = 0,
	_lightning_ignores_collisions_with_models_bit = 1,
	_lightning_has_qel_collision_radius_flag = FLAG(_lightning_has_qel_collision_radius_bit),
	_lightning_ignores_collisions_with_models_flag = FLAG(_lightning_ignores_collisions_with_models_bit)
};

struct lightning_state_data
{
	int16 state;
	world_point3d tip, end;
	int16 target_object_index;
	uint32 definition_flags;
};

// NONE when no bolt is made.
int16 new_lightning(int16 lightning_type, const world_point3d *origin, int16 target_object_index,
	const world_point3d *target_location);
// FALSE when the bolt no longer exists.
boolean get_lightning_state(int16 lightning_index, int16 lightning_identifier, lightning_state_data *state);
void change_lightning_endpoints(int16 lightning_index, int16 target_object_index, const world_point3d *end);
void stop_lightning(int16 lightning_index);
// The loaded 'ligh' definition index; NONE until bolts exist.
int16 lightning_definition_tag_to_index(file_tag tag);

struct lightning_test_hooks_data
{
	int32 new_calls, state_calls, endpoint_calls, stop_calls;
};
lightning_test_hooks_data *get_lightning_test_hooks(void);
void reset_lightning_test_hooks(void);

#endif
