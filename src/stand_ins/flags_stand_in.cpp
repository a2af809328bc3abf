// No game flags yet: none is made, and pushes and reclaims are only counted.
#include "flags.h"

static flags_test_hooks_data flags_test_hooks = {};

boolean new_flag(int16)
{
	flags_test_hooks.new_flag_calls += 1;
	return FALSE;
}

void accelerate_flag(int16, const damage_definition *, damage_data *)
{
	flags_test_hooks.accelerate_flag_calls += 1;
}

void reclaim_dormant_flag(int16)
{
	flags_test_hooks.reclaim_calls += 1;
}

void monster_bumped_flag(int16, int16, int32) {}

flags_test_hooks_data *get_flags_test_hooks(void) { return &flags_test_hooks; }
void reset_flags_test_hooks(void) { flags_test_hooks = {}; }
