// Procs that change the world rather than order units: terrain cells, model
// animations and effects, unit markers, lying items and the world gate.
#ifndef WORLD_OBJECT_ACTION_PROCS_H
#define WORLD_OBJECT_ACTION_PROCS_H

#include <cstddef>

#include "cseries.h"
#include "world_units.h"

#define MAXIMUM_CELLS_PER_ACTION_PROC 64
#define MAXIMUM_RADIUS_TO_SCAN 20
#define MAXIMUM_OBJECTS_PER_OBJECT_CONTROL 512
#define MAXIMUM_MONSTERS_PER_WORLD_GATE 32
#define MAXIMUM_MODELS_PER_WORLD_GATE 5
#define MAXIMUM_WAVES_PER_GATE 16

enum // world gate states
{
	_state_idle,
	_state_teleporting_in,
	_state_teleporting_out
};

struct wave_data
{
	int16 container_index;
	int16 activation_index;
	int16 remote_gate_index;
};
static_assert(sizeof(wave_data) == 6);

// The gate's state, kept in its action as '#glo' (type 1, 260 bytes, host order).
struct world_gate_globals
{
	int16 state;
	int16 action_index;
	world_point2d center;
	world_distance radius;
	boolean teleporting_out;
	int32 ticks_at_last_transition_state;
	int32 duration;
	int32 model_count;
	int16 model_indexes[MAXIMUM_MODELS_PER_WORLD_GATE];
	int16 initial_model_permutation[MAXIMUM_MODELS_PER_WORLD_GATE];
	int16 teleport_in_action_index;
	wave_data waves[MAXIMUM_WAVES_PER_GATE];
	int16 wave_container_count;
	wave_data free_waves[MAXIMUM_WAVES_PER_GATE];
	int16 free_wave_container_count;
	int16 next_world_gate_index;
	boolean use_bounding_box_for_gate_center;
	boolean use_bounding_box_for_wave_center;
};
static_assert(sizeof(world_gate_globals) == 260);
static_assert(offsetof(world_gate_globals, teleporting_out) == 16 && offsetof(world_gate_globals, model_indexes) == 32 &&
	offsetof(world_gate_globals, teleport_in_action_index) == 52 && offsetof(world_gate_globals, waves) == 54 &&
	offsetof(world_gate_globals, wave_container_count) == 150 && offsetof(world_gate_globals, free_waves) == 152 &&
	offsetof(world_gate_globals, next_world_gate_index) == 250 &&
	offsetof(world_gate_globals, use_bounding_box_for_wave_center) == 256);

uint32 mesh_cell_action_proc(int16 action_index);
uint32 model_animation_action_proc(int16 action_index);
uint32 model_effect_action_proc(int16 action_index);
uint32 move_marker_action_proc(int16 action_index);
uint32 object_control_action_proc(int16 action_index);
uint32 world_gate_action_proc(int16 action_index);

// Exposed for tests: the gate's centre of points (extent returned).
world_distance get_centerpoint_of_points(int16 count, const world_point2d *points, world_point2d *center,
	boolean bounding_box);

#endif
