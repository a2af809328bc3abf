#include "alliances.h"

#include <cstring>

#include "console/console.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "players.h"
#include "sound/sound_manager.h"
#include "string_definitions.h"
#include "tag_files/tag_files.h"
#include "zerv.h"

/* ---------- alliances */

// allies[a][b]: team a treats team b as an ally; set one direction at a time.
static boolean allies[MAXIMUM_TEAMS_PER_MAP][MAXIMUM_TEAMS_PER_MAP];

void initialize_alliances_for_new_map(void)
{
	memset(allies, 0, sizeof(allies));
}

static bool team_index_is_valid(int16 team_index)
{
	return team_index >= 0 && team_index < get_team_count() && team_index < MAXIMUM_TEAMS_PER_MAP;
}

boolean teams_are_allied(int16 team_a, int16 team_b)
{
	if (team_a == team_b) return TRUE;
	if (!team_index_is_valid(team_a) || !team_index_is_valid(team_b)) return FALSE;
	return allies[team_a][team_b];
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
	if (!team_index_is_valid(a->owner_team_index) || !team_index_is_valid(b->owner_team_index)) return FALSE;
	return allies[a->owner_team_index][b->owner_team_index];
}

// A team's captain's name for a team of one, else the captain's team name.
static const char *team_name(int16 team_index)
{
	const team_data *team = get_team_data(team_index);
	const player_data *captain = team ? get_player_data(team->captain_player_index) : nullptr;
	if (!captain) return "";
	return team->number_of_players < 2 ? captain->appearance.name : captain->appearance.team_name;
}

static bool game_is_replay(void)
{
	return game && game->type == _game_type_replay;
}

void ally_with_team(int16 team_a, int16 team_b, boolean allied)
{
	if (!game || !(game->option_flags & _game_option_allow_alliances_flag)) return;
	if (!team_index_is_valid(team_a) || !team_index_is_valid(team_b)) return;
	const bool current = team_a == team_b || allies[team_a][team_b];
	if (current == static_cast<bool>(allied)) return;

	allies[team_a][team_b] = allied ? TRUE : FALSE;
	const int16 local_team = player_globals.local_player_team_index;
	int16 sound = NONE;
	if (team_a == local_team) sound = allied ? _game_sound_alliance_formed : _game_sound_alliance_broken;
	if (team_a != local_team || game_is_replay())
	{
		const int16 list = string_list_tag_to_string_index(ALLIANCE_STRING_LIST_TAG);
		const char *name_b = team_b == local_team && !game_is_replay() ?
			get_string_from_list(list, _alliance_local_team_string) : team_name(team_b);
		// The format comes from a tag: only two texts may be read from it.
		char line[CACHED_CONSOLE_LINE_LENGTH];
		safe_tag_sprintf(line, sizeof(line), "%s%s", "%s / %s",
			get_string_from_list(list, allied ? _alliance_formed_string : _alliance_broken_string), team_name(team_a),
			name_b);
		cprintf(FALSE, "%s", line);
	}
	if (sound != NONE) queue_game_sound(sound);
}

void break_all_alliances(void)
{
	const int16 team_count = MIN(get_team_count(), static_cast<int16>(MAXIMUM_TEAMS_PER_MAP));
	bool any = false;
	for (int16 a = 0; a < team_count && !any; ++a)
	{
		for (int16 b = 0; b < team_count; ++b)
		{
			if (a != b && allies[a][b])
			{
				any = true;
				break;
			}
		}
	}
	if (!any) return;
	memset(allies, 0, sizeof(allies));
	if (game && (game->option_flags & _game_option_allow_alliances_flag)) queue_game_sound(_game_sound_alliance_broken);
}

void alliances_fold_digest(zerv_digest *digest)
{
	for (int16 a = 0; a < MAXIMUM_TEAMS_PER_MAP; ++a)
	{
		uint16 row = 0;
		for (int16 b = 0; b < MAXIMUM_TEAMS_PER_MAP; ++b)
		{
			if (allies[a][b]) row |= static_cast<uint16>(1u << b);
		}
		zerv_digest_int16(digest, static_cast<int16>(row));
	}
}

/* ---------- announcer */

struct game_sound_globals_data
{
	boolean initialized;
	int16 sound_list_index;  // 'inns', NONE without one
	int16 string_list_index; // 'ings'
	int16 playing_sound; // NONE when quiet
	int16 playing_sound_index; // what the sound manager plays for it
	int16 queue_count;
	int16 ticks_since_last_sound;
	int16 queue[MAXIMUM_SOUND_QUEUE_SIZE];
};

static game_sound_globals_data game_sound_globals;
static game_sounds_test_hooks_data game_sounds_test_hooks = {FALSE, NONE, 0, {}};

static void reset_game_sound_queue(void)
{
	game_sound_globals.playing_sound = NONE;
	game_sound_globals.playing_sound_index = NONE;
	game_sound_globals.queue_count = 0;
	game_sound_globals.ticks_since_last_sound = SOUND_SEPARATION;
}

void initialize_game_sounds(void)
{
	memset(&game_sound_globals, 0, sizeof(game_sound_globals));
	game_sound_globals.sound_list_index = NONE;
	game_sound_globals.string_list_index = NONE;
	reset_game_sound_queue();
}

// Sound lists are not loaded yet: no 'inns' is found and the announcer only
// prints its lines.
static int16 game_sound_list_index(void)
{
	return NONE;
}

void initialize_game_sounds_for_new_map(void)
{
	reset_game_sound_queue();
	game_sound_globals.sound_list_index = game_sound_list_index();
	// Optional: without the list the announcer prints nothing.
	game_sound_globals.string_list_index = tag_file_exists(STRING_LIST_DEFINITION_GROUP_TAG, GAME_SOUND_STRING_LIST_TAG) ?
		string_list_tag_to_string_index(GAME_SOUND_STRING_LIST_TAG) : static_cast<int16>(NONE);
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
	game_sounds_test_hooks.queue_calls[sound] += 1;
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

void update_game_sounds(int16 ticks)
{
	if (!game_sound_globals.initialized) return;
	if (game_sound_globals.playing_sound != NONE)
	{
		if (game_sound_globals.playing_sound_index != NONE && sound_is_playing(game_sound_globals.playing_sound_index)) return;
		game_sound_globals.playing_sound = NONE;
		game_sound_globals.playing_sound_index = NONE;
		game_sound_globals.ticks_since_last_sound = 0;
	}
	if (game_sound_globals.ticks_since_last_sound < SOUND_SEPARATION)
	{
		game_sound_globals.ticks_since_last_sound = static_cast<int16>(
			MIN(static_cast<int32>(SOUND_SEPARATION), game_sound_globals.ticks_since_last_sound + MAX(static_cast<int16>(0), ticks)));
		return;
	}
	if (game_sound_globals.queue_count <= 0) return;

	const int16 sound = game_sound_globals.queue[0];
	game_sound_globals.queue_count -= 1;
	memmove(game_sound_globals.queue, game_sound_globals.queue + 1, game_sound_globals.queue_count * sizeof(int16));
	const int16 sound_index = get_sound_list_sound_index(game_sound_globals.sound_list_index, sound);
	play_sound_with_flags(sound_index, NONE, nullptr, 256, 256);
	game_sound_globals.playing_sound = sound;
	game_sound_globals.playing_sound_index = sound_index;
	game_sounds_test_hooks.last_played_sound = sound;
	game_sounds_test_hooks.played_count += 1;

	const char *text = get_string_from_list(game_sound_globals.string_list_index, sound);
	if (text[0] && strcmp(text, " ") != 0) cprintf(FALSE, "%s", text);
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
	game_sounds_test_hooks.last_played_sound = NONE;
}
