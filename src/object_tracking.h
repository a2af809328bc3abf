// Object tracking: the automatic camera that follows the most important
// trackable object and now and then orbits it. Camera only: it changes no
// game state and draws only from the local random stream.
#ifndef OBJECT_TRACKING_H
#define OBJECT_TRACKING_H

#include "cseries.h"
#include "world_units.h"

#define MAXIMUM_NUMBER_OF_TRACKED_ITEMS 5
#define TRACKING_TIME_LOWER_BOUND 120
#define TRACKING_TIME_DELTA 120
#define PROJECTILE_TRACKING_TIME 30
#define TIME_BEFORE_ORBITING_AGAIN_LOWER_BOUND 300
#define TIME_BEFORE_ORBITING_AGAIN_DELTA 300
#define ORBIT_TIME_LOWER_BOUND 60
#define ORBIT_TIME_DELTA 30
#define MAXIMUM_ORBIT_VELOCITY 256
#define ORBIT_ACCELERATION 16
#define MINIMUM_DISTANCE_BEFORE_SWITCHING 5120
#define NUMBER_OF_INTERPOLANT_STEPS 30
#define MINIMUM_TRACKED_OBJECT_VELOCITY 5
#define MAXIMUM_ANGULAR_DELTA 16384

enum // tracking_list_entry types
{
	_entry_is_monster,
	_entry_is_projectile
};

enum // orbit states
{
	_not_orbiting,
	_orbiting_left,
	_orbiting_right
};

struct tracking_list_entry
{
	int16 type;
	int16 object_index; // NONE with a NONE identifier: free
	int16 object_identifier;
	int16 priority;
	int32 duration; // ticks left
};

struct tracking_globals_data
{
	int16 list_index; // the entry followed, NONE
	int16 object_index;
	int16 object_identifier;
	angle viewing_angle;
	world_point3d target_location;
	int16 priority;
	int16 orbit_state;
	int32 time_last_orbited;
	int32 orbit_finish_time;
	int16 orbit_velocity;
	boolean tracked_first_object;
	world_point3d old_location;
	angle old_viewing_angle;
	int16 step_index; // NONE when not interpolating
	tracking_list_entry list[MAXIMUM_NUMBER_OF_TRACKED_ITEMS];
};

boolean object_can_be_tracked(int16 object_index);
void add_tracking_object(int16 object_index, int16 owner_team_index);
void update_object_tracking(void);
void track_object(void);
void initialize_object_tracking_for_new_map(void);
void initialize_camera_to_first_tracked_object(void);
void dispose_object_tracking_from_old_map(void);
void location_and_angle_from_interpolant_index(int16 step, world_point3d *point, angle *viewing_angle);

// For tests.
tracking_globals_data *get_tracking_globals(void);

#endif
