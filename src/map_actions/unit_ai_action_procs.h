// Procs that drive computer units one by one or in bands: the skirmishers
// ('girl'), the legion ('legi'), the healer ('sham'), the hidden killers
// ('assa'), the wanderers ('mean'), the melee band ('mele'), the suicide
// units ('suic') and the invisible hunt ('invi').
#ifndef UNIT_AI_ACTION_PROCS_H
#define UNIT_AI_ACTION_PROCS_H

#include "cseries.h"
#include "world_units.h"

uint32 harass_action_proc(int16 action_index);
uint32 legion_action_proc(int16 action_index);
// Through the 'alli' lists: the legion attacks on its next run.
void call_legion_as_ally(int16 action_index);
uint32 shaman_action_proc(int16 action_index);
uint32 assassin_action_proc(int16 action_index);
uint32 meander_action_proc(int16 action_index);
uint32 melee_action_proc(int16 action_index);
uint32 suicide_action_proc(int16 action_index);
uint32 invisible_action_proc(int16 action_index);

// The searchers' states of the invisible hunt.
enum
{
	_unit_moving,
	_unit_moving_dont_interrupt_unless_moves,
	_unit_watching_media,
	_unit_yelling,
	_unit_yelling_to_attack_ground,
	_unit_sniffing,
	_unit_attacking,
	_unit_attacking_ground,
	NUMBER_OF_INVISIBLE_UNIT_STATES
};
// Stores the state in the searcher at that list position of the hunt's
// record, orders it and sets its delay; point may be NULL.
void set_unit_state(void *record, int16 position, int16 state, const world_point2d *point);

/* ---------- shared by the unit procs */

struct monster_data;
// The unit's place on the map; (0, 0) without an object.
world_point2d unit_ai_location(const monster_data *monster);
// Octagonal distance: the larger axis difference plus half the smaller.
int32 unit_ai_octagonal_distance(world_point2d a, world_point2d b);
// The unit at index when it still carries the identifier; NULL otherwise.
monster_data *unit_ai_living_unit(int16 monster_index, int16 monster_identifier);
// A movement for one unit, executed at once with the command identifier.
void unit_ai_move(int16 command_identifier, int16 monster_index, world_point2d destination, uint16 flags,
	angle final_facing);

#endif
