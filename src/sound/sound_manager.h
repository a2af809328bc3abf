// The sound manager: positioned sounds, ambient sources, menu music and the
// volume. There is no sound device yet: nothing plays.
#ifndef SOUND_MANAGER_H
#define SOUND_MANAGER_H

#include "cseries.h"
#include "world_units.h"
#include "byte_swapping.h"
#include "least_layer.h"

struct marker_palette_entry;
struct marker_data;

enum
{
	_adjust_sound_volume_up,
	_adjust_sound_volume_down,
	_adjust_sound_volume_mute,
	_adjust_sound_volume_maximum
};

enum
{
	_play_sound_cannot_be_media_obstructed_bit,
	_play_sound_cannot_be_media_obstructed_flag = 1 << _play_sound_cannot_be_media_obstructed_bit
};

#define DEFAULT_SOUND_VOLUME 256

// The 16 bytes of a sound source marker's user data.
extern const byte_swap_code sound_source_user_data_bs_data[];

typedef void (*report_ambient_sound_source_proc)(void *context, const world_location3d *location,
	int16 ambient_sound_index, int16 volume);

void initialize_sound_manager(void);
void initialize_sound_manager_for_new_map(void);
void dispose_sound_manager_from_old_map(void);
void initialize_sound_mesh_parameters_for_new_map(void);
// Once per frame.
void update_sound_manager(int16 elapsed_ticks);

void adjust_sound_volume(int16 adjustment);
int16 get_sound_volume(void);
// True when there is no sound manager.
boolean get_sound_mute(void);
// Mutes everything during map loading and saved-game restoring.
void sound_mute(boolean mute);
void start_main_menu_music(void);

enum
{
	_sound_preferences_disable_menu_music_bit,
	_sound_preferences_disable_menu_music_flag = 1 << _sound_preferences_disable_menu_music_bit
};

// The sound preferences' flags; none are set until sound preferences exist.
uint32 get_sound_preferences_flags(void);

// A NONE sound plays nothing; pitch 256 is normal.
void play_sound_with_flags(int16 sound_index, int16 source_identifier, const world_location3d *source_location,
	short_fixed pitch, uint16 flags);
boolean sound_is_playing(int16 sound_index);
void orphan_sounds(int16 source_identifier);
// NONE past the list's count.
int16 get_sound_list_sound_index(int16 sound_list_index, int16 n);

void new_sound_source_palette_entry(marker_palette_entry *entry);
// The created source's index, NONE when none.
int16 new_sound_source(marker_data *marker);
void adjust_ambient_sound_source_volume(int16 identifier, short_fixed volume, int16 ticks);
void get_ambient_sound_source_location(int16 identifier, world_point3d *point);

// What the least layer keeps of each ambient sound source.
#define MAXIMUM_AMBIENT_SOUND_SOURCES 64
struct ambient_sound_source_data
{
	int16 identifier;
	short_fixed volume;
	short_fixed target_volume;
	int16 ticks; // of the last volume change
	world_point3d point;
};
int16 get_ambient_sound_source_count(void);
const ambient_sound_source_data *get_ambient_sound_source(int16 index);

struct sound_manager_test_hooks_data
{
	least_call_log calls;
	boolean muted; // as sound_mute left it
	uint32 sound_preferences_flags; // what get_sound_preferences_flags answers
};

sound_manager_test_hooks_data *get_sound_manager_test_hooks(void);
void reset_sound_manager_test_hooks(void);

#endif
