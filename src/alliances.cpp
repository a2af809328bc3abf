#include "alliances.h"

#include <cstring>

#include "monsters.h"
#include "players.h"
#include "sound/sound_manager.h"
#include "zerv.h"

/* ---------- alliances */

// allies[a][b]: team a treats team b as an ally; set one direction at a time.
static boolean allies[MAXIMUM_TEAMS_PER_MAP][MAXIMUM_TEAMS_PER_MAP];

void initialize_alliances_for_new_map(void)
{
	memset(allies, 0, sizeof(allies));
}

static boolean team_is_on_map(int16 team)
{
	return team >= 0 && team < get_team_count() && team < MAXIMUM_TEAMS_PER_MAP;
}

boolean teams_are_allied(int16 team_a, int16 team_b)
{
	if (team_a == team_b) return TRUE;
	if (!team_is_on_map(team_a) || !team_is_on_map(team_b)) return FALSE;
	return allies[team_a][team_b];
}

void ally_with_team(int16 team_a, int16 team_b, boolean allied)
{
	if (!game || !(game->option_flags & _game_option_allow_alliances_flag)) return;
	if (!team_is_on_map(team_a) || !team_is_on_map(team_b)) return;
	const boolean current = team_a == team_b ? TRUE : allies[team_a][team_b];
	if ((allied != FALSE) == (current != FALSE)) return;
	allies[team_a][team_b] = allied ? TRUE : FALSE;
}

boolean monsters_are_allied(int16 monster_a, int16 monster_b)
{
	const monster_data *a = get_monster_data(monster_a);
	const monster_data *b = get_monster_data(monster_b);
	if (!a || !b) return FALSE;
	if (get_monster_class(monster_a) == _monster_class_ambient_life ||
		get_monster_class(monster_b) == _monster_class_ambient_life)
	{
		return FALSE;
	}
	if ((a->extra_flags | b->extra_flags) & _monster_is_berserk_extra_flag) return FALSE;
	if (a->owner_team_index == b->owner_team_index) return TRUE;
	if (!team_is_on_map(a->owner_team_index) || !team_is_on_map(b->owner_team_index)) return FALSE;
	return allies[a->owner_team_index][b->owner_team_index];
}

/* ---------- announcer */

struct game_sound_globals_data
{
	boolean initialized;
	int16 playing_sound; // NONE when quiet
	int16 queue_count;
	int16 ticks_since_last_sound;
	int16 queue[MAXIMUM_SOUND_QUEUE_SIZE];
};

static game_sound_globals_data game_sound_globals;
static game_sounds_test_hooks_data game_sounds_test_hooks;

static void reset_game_sound_queue(void)
{
	game_sound_globals.playing_sound = NONE;
	game_sound_globals.queue_count = 0;
	game_sound_globals.ticks_since_last_sound = SOUND_SEPARATION;
}

void initialize_game_sounds(void)
{
	memset(&game_sound_globals, 0, sizeof(game_sound_globals));
	reset_game_sound_queue();
}

void initialize_game_sounds_for_new_map(void)
{
	reset_game_sound_queue();
	game_sound_globals.initialized = TRUE;
}

void dispose_game_sounds_from_old_map(void)
{
	reset_game_sound_queue();
	game_sound_globals.initialized = FALSE;
}

static bool game_sound_is_queued(int16 sound)
{
	for (int16 i = 0; i < game_sound_globals.queue_count; ++i)
	{
		if (game_sound_globals.queue[i] == sound) return true;
	}
	return false;
}

static void replace_queued_game_sound(int16 old_sound, int16 new_sound)
{
	for (int16 i = 0; i < game_sound_globals.queue_count; ++i)
	{
		if (game_sound_globals.queue[i] == old_sound) game_sound_globals.queue[i] = new_sound;
	}
}

void queue_game_sound(int16 sound)
{
	if (sound < 0 || sound >= NUMBER_OF_GAME_SOUNDS) return;
	if (get_sound_mute() && !game_sounds_test_hooks.ignore_mute) return;
	if (game && (game->option_flags & _game_option_cooperative_flag) &&
		!(VALID_SINGLE_PLAYER_GAME_SOUNDS & (1u << sound)))
	{
		return;
	}

	if (sound == _game_sound_casualty)
	{
		// Two casualties in a row are heard as one casualties announcement.
		if (game_sound_is_queued(_game_sound_casualties)) return;
		if (game_sound_is_queued(_game_sound_casualty))
		{
			replace_queued_game_sound(_game_sound_casualty, _game_sound_casualties);
			return;
		}
	}
	else if (game_sound_is_queued(sound))
	{
		return;
	}

	if (game_sound_globals.queue_count >= MAXIMUM_SOUND_QUEUE_SIZE) return;
	if (sound == _game_sound_casualty && game_sound_globals.queue_count == 0)
	{
		// A casualty waits a full separation, so that more can merge into it.
		game_sound_globals.ticks_since_last_sound = 0;
	}
	game_sound_globals.queue[game_sound_globals.queue_count++] = sound;
}

int16 get_queued_game_sounds(int16 *sounds, int16 maximum)
{
	for (int16 i = 0; i < game_sound_globals.queue_count && i < maximum; ++i) sounds[i] = game_sound_globals.queue[i];
	return game_sound_globals.queue_count;
}

game_sounds_test_hooks_data *get_game_sounds_test_hooks(void)
{
	return &game_sounds_test_hooks;
}

void reset_game_sounds_test_hooks(void)
{
	game_sounds_test_hooks = {};
}
