// What the player sees and hears: scripted camera moves and shake, sounds,
// ambient sound volumes, the in-game fade, lightning, weather and local
// projectile groups.
#ifndef PRESENTATION_ACTION_PROCS_H
#define PRESENTATION_ACTION_PROCS_H

#include "map_actions/map_actions.h"
#include "world_units.h"

#define DESIRED_CAMERA_DISTANCE 5120
#define DEFAULT_LINEAR_STEP_SIZE 32
#define DEFAULT_ANGULAR_STEP_SIZE 512
#define MAXIMUM_WORLD_DISTANCE 15360
#define WORLD_DISTANCE_SHIFT_AMOUNT 3
// Above this the distance of the points shifted right by WORLD_DISTANCE_SHIFT_AMOUNT is used.
#define MAXIMUM_SHIFTED_WORLD_DISTANCE (MAXIMUM_WORLD_DISTANCE >> WORLD_DISTANCE_SHIFT_AMOUNT)
#define MAXIMUM_SOUND_SOURCES_PER_ACTION_PROC 20
#define MAXIMUM_PRESENTATION_SUBJECTS 400

// The scripted camera move in progress (one for the program).
struct observer_action_globals_data
{
	world_point2d origin;
	world_point2d destination;
	angle original_facing;
	angle final_facing;
	fixed origin_zoom_factor; // the script's scale: 0 the default view
	fixed destination_zoom_factor;
	int16 interpolant_count;
	int16 current_interpolant;
	boolean dont_return_control;
};

extern observer_action_globals_data observer_action_globals;

uint32 observer_movement_action_proc(int16 action_index);      // 'obmo'
uint32 sound_action_proc(int16 action_index);                  // 'soun'
uint32 ambient_sound_action_proc(int16 action_index);          // 'ambi'
uint32 ingame_fade_action_proc(int16 action_index);            // 'fade'
uint32 lightning_action_proc(int16 action_index);              // 'ligh'
uint32 particle_system_action_proc(int16 action_index);        // 'part'
uint32 local_projectile_group_action_proc(int16 action_index); // 'lpgr'

void setup_camera_movement(int16 action_index, const world_point2d *destination, angle facing);
// Each tick while map actions own the camera.
void handle_observer_movement_actions(void);
// Ends any scripted move (a new map).
void reset_observer_movement_actions(void);

// The camera's zoom is a multiplier (1.0 the default view); a script's scale
// is 0 for the default view and -65535 for the widest.
fixed camera_zoom_to_script_zoom(fixed multiplier);
fixed script_zoom_to_camera_zoom(fixed scale);

#endif
