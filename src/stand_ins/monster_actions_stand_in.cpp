// The action state machine and unit sounds are not built yet: an action is
// only recorded, and a sound is only counted. Nothing here draws from the
// synchronised stream.
#include "monsters.h"

void set_monster_action(int16 monster_index, int16 action, int16 permutation)
{
	monster_data *monster = get_monster_data(monster_index);
	if (!monster) return;
	monster->action = static_cast<int8>(action);
	monster->action_permutation = static_cast<int8>(permutation);
}

void play_monster_sound(int16, int16 sound_type)
{
	monsters_test_hooks_data *hooks = get_monsters_test_hooks();
	hooks->monster_sound_calls += 1;
	hooks->last_monster_sound = sound_type;
}
