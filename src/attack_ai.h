// The attack AI: procs record sets of units that are to attack during a
// scheduler pass; after the pass they are shared out over the enemy spatial
// groups and each attacker is ordered onto a target.
#ifndef ATTACK_AI_H
#define ATTACK_AI_H

#include "cseries.h"
#include "world_units.h"

struct zerv_digest;
struct spatial_group;

#define MAXIMUM_ATTACK_GROUPS_BUFFER_SIZE 16384
// The head and 400 units.
#define MAXIMUM_ATTACK_GROUP_SIZE 1628
#define MAXIMUM_ATTACK_GROUP_MONSTERS 400
#define MAXIMUM_ATTACK_EFFECTIVENESS_KINDS 128

enum
{
	_attack_ai_no_focus_bit,
	NUMBER_OF_ATTACK_AI_CONFIGURATION_FLAGS,

	_attack_ai_no_focus_flag = FLAG(_attack_ai_no_focus_bit)
};

struct attack_ai_configuration
{
	uint32 flags;
	world_point2d focus;
	world_distance radius;
};
STORED_SIZE(attack_ai_configuration, 16);

struct attack_group
{
	int16 monster_count;
	int16 unused;
	uint32 flags; // always 0
	attack_ai_configuration configuration;
	int32 next_group; // offset into the buffer; NONE at the end
	// then monster_count {unit index, unit identifier} pairs
};
STORED_SIZE(attack_group, 28);

struct spatial_group_attacker_entry
{
	int16 monster_index;
	int16 unused;
	int32 next_attacker; // offset into the buffer; NONE at the end
};
STORED_SIZE(spatial_group_attacker_entry, 8);

struct attack_ai_globals_data
{
	int32 first_group; // offset; NONE when empty
	int32 buffer_offset;
	uint8 buffer[MAXIMUM_ATTACK_GROUPS_BUFFER_SIZE]; // attack groups, then attacker entries
	boolean need_to_initialize_cached_tables;
	int32 effectiveness[MAXIMUM_ATTACK_EFFECTIVENESS_KINDS][MAXIMUM_ATTACK_EFFECTIVENESS_KINDS]; // [attacker][target]
};
STORED_SIZE(attack_ai_globals_data, 81932);

void initialize_attack_ai(void);
void initialize_attack_ai_for_new_map(void);
void dispose_attack_ai_from_old_map(void);
void reset_attack_ai(void);
void update_attack_ai(void);

void new_attack_ai_configuration(attack_ai_configuration *configuration);
// The defaults; an action with a type-6 'radi' of exactly two values sets
// the radius from the second and a focus the caller fills in.
void parse_attack_ai_configuration(attack_ai_configuration *configuration, int16 action_index);
void attack_with_monster_indexes(const int16 *monster_indexes, int16 count, const attack_ai_configuration *configuration);
// Every live unit on the mesh of the team (NONE: of every team).
void attack_with_all_monster_indexes(int16 team_index);

// One line per attack group, cut at a whole line to fit size bytes.
void debug_attack_ai(char *buffer, int32 size);

// Read access for later procs and tests; valid until the next pass.
const attack_ai_globals_data *get_attack_ai_globals(void);
const attack_group *first_attack_group(void);
const attack_group *next_attack_group(const attack_group *group);
const spatial_group_attacker_entry *first_spatial_group_attacker(const spatial_group *group);
const spatial_group_attacker_entry *next_spatial_group_attacker(const spatial_group_attacker_entry *entry);

void attack_ai_fold_digest(zerv_digest *digest);

// Test hook: the last team handed to attack_with_all_monster_indexes.
struct attack_ai_test_hooks_data
{
	int16 last_attacking_team;
};
attack_ai_test_hooks_data *get_attack_ai_test_hooks(void);

#endif
