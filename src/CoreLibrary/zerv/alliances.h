// Alliances between teams, and the announcer's queue of spoken game
// announcements.
#ifndef ALLIANCES_H
#define ALLIANCES_H

#include "cseries.h"

enum // announcer sounds: entries of the sound list and of the text list
{
	_game_sound_five_minutes_remaining,
	_game_sound_one_minute_remaining,
	_game_sound_thirty_seconds_remaining,
	_game_sound_victory_imminent,
	_game_sound_game_ending,
	_game_sound_sudden_death,
	_game_sound_game_over,
	_game_sound_casualty,
	_game_sound_casualties,
	_game_sound_player_eliminated,
	_game_sound_team_eliminated,
	_game_sound_flag_captured,
	_game_sound_flag_contested,
	_game_sound_flag_lost,
	_game_sound_token_captured,
	_game_sound_token_contested,
	_game_sound_token_lost,
	_game_sound_narrator_on,
	_game_sound_narrator_off,
	_game_sound_units_detached,
	_game_sound_new_units_received,
	_game_sound_incoming_message,
	_game_sound_incoming_whisper,
	_game_sound_point_won,
	_game_sound_point_lost,
	_game_sound_game_on,
	_game_sound_alliance_formed,
	_game_sound_alliance_broken,
	NUMBER_OF_GAME_SOUNDS
};

// Casualty, casualties, units detached, new units received, incoming message
// and incoming whisper: the only announcements of a cooperative game.
#define VALID_SINGLE_PLAYER_GAME_SOUNDS 7864704
#define MAXIMUM_SOUND_QUEUE_SIZE 4
#define SOUND_SEPARATION 22
#define GAME_SOUND_LIST_TAG TAG("inns")
#define GAME_SOUND_STRING_LIST_TAG TAG("ings")

/* ---------- alliances */

#define ALLIANCE_STRING_LIST_TAG TAG("inal")

enum // 'inal' strings
{
	_alliance_formed_string,
	_alliance_broken_string,
	_alliance_local_team_string
};

// Clears the matrix; the players module calls it for every map.
void initialize_alliances_for_new_map(void);
// A team is always allied with itself, even an invalid one; otherwise false
// for a team outside the map's teams.
boolean teams_are_allied(int16 team_a, int16 team_b);
// Units by index: ambient life and berserk units have no allies; units of the
// same team (none included) are allied.
boolean monsters_are_allied(int16 monster_a, int16 monster_b);
// Sets one direction only, with its console line and announcement.
void ally_with_team(int16 team_a, int16 team_b, boolean allied);
void break_all_alliances(void);

/* ---------- announcer */

void initialize_game_sounds(void);
void initialize_game_sounds_for_new_map(void);
void dispose_game_sounds_from_old_map(void);
void queue_game_sound(int16 sound);
// Once per frame after the game ticks: plays the queue one announcement at a time.
void update_game_sounds(int16 ticks);

/* ---------- test hooks */

struct game_sounds_test_hooks_data
{
	// While set, announcements queue even though the sound manager is muted.
	boolean ignore_mute;
	// The announcement started last (NONE) and how many have started.
	int16 last_played_sound;
	int32 played_count;
	// Calls to queue_game_sound by sound, counted before any is merged or dropped.
	int32 queue_calls[NUMBER_OF_GAME_SOUNDS];
};

game_sounds_test_hooks_data *get_game_sounds_test_hooks(void);
void reset_game_sounds_test_hooks(void);
// The queue as it stands: the count, and up to maximum sounds in order.
int16 get_queued_game_sounds(int16 *sounds, int16 maximum);

struct zerv_digest;
// The alliance matrix, 16 rows of 16 bits.
void alliances_fold_digest(zerv_digest *digest);

#endif
