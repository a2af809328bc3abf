// Game flags: carried and planted tokens.
#ifndef FLAGS_H
#define FLAGS_H

#include "cseries.h"

struct damage_definition;
struct damage_data;

// A flag made from a dormant projectile's object; FALSE when none is made.
boolean new_flag(int16 object_index);
void accelerate_flag(int16 object_index, const damage_definition *definition, damage_data *data);
void reclaim_dormant_flag(int16 object_index);
// A unit walked into a flag's object at the given speed.
void monster_bumped_flag(int16 object_index, int16 monster_index, int32 speed);

struct flags_test_hooks_data
{
	int32 new_flag_calls, accelerate_flag_calls, reclaim_calls;
};
flags_test_hooks_data *get_flags_test_hooks(void);
void reset_flags_test_hooks(void);

#endif
