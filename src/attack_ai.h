// The attack AI: the demo game's attacks and the scripted groups' targets.
#ifndef ATTACK_AI_H
#define ATTACK_AI_H

#include "cseries.h"

void initialize_attack_ai(void);
void initialize_attack_ai_for_new_map(void);
void dispose_attack_ai_from_old_map(void);
void reset_attack_ai(void);
void update_attack_ai(void);
void attack_with_all_monster_indexes(int16 team_index);

// Test hooks: calls made into the module.
struct attack_ai_test_hooks_data
{
	int32 reset_count;
	int32 update_count;
	int32 attack_count;
	int16 last_attacking_team;
};
attack_ai_test_hooks_data *get_attack_ai_test_hooks(void);

#endif
