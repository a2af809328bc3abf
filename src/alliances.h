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

// Clears the matrix; the players module calls it for every map.
void initialize_alliances_for_new_map(void);
// A team is its own ally; teams outside the map's are nobody's.
boolean teams_are_allied(int16 team_a, int16 team_b);
// Sets team_a's view of team_b (not the reverse), only in games that allow
// alliances and for teams on the map.
void ally_with_team(int16 team_a, int16 team_b, boolean allied);
// Ambient life and berserk units have no allies; units of one team are allied.
boolean monsters_are_allied(int16 monster_a, int16 monster_b);

/* ---------- announcer */

void initialize_game_sounds(void);
void initialize_game_sounds_for_new_map(void);
void dispose_game_sounds_from_old_map(void);
void queue_game_sound(int16 sound);

/* ---------- test hooks */

struct game_sounds_test_hooks_data
{
	// While set, announcements queue even though the sound manager is muted.
	boolean ignore_mute;
};

game_sounds_test_hooks_data *get_game_sounds_test_hooks(void);
void reset_game_sounds_test_hooks(void);
// The queue as it stands: the count, and up to maximum sounds in order.
int16 get_queued_game_sounds(int16 *sounds, int16 maximum);

#endif
