#include "sound/sound_manager.h"

#include "markers.h"

// Eight 16-bit words; the first is the ambient sound's permutation.
const byte_swap_code sound_source_user_data_bs_data[] = {
	_begin_bs_array, 1, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _end_bs_array};

static sound_manager_test_hooks_data sound_manager_hooks;

sound_manager_test_hooks_data *get_sound_manager_test_hooks(void)
{
	return &sound_manager_hooks;
}

void reset_sound_manager_test_hooks(void)
{
	memset(&sound_manager_hooks, 0, sizeof(sound_manager_hooks));
}

// Presentation only: never digested.
static struct
{
	int16 count;
	ambient_sound_source_data sources[MAXIMUM_AMBIENT_SOUND_SOURCES];
} ambient_sound_sources;

#define LEAST(...) least_call(&sound_manager_hooks.calls, __VA_ARGS__)

void initialize_sound_manager(void)
{
	LEAST("initialize_sound_manager");
}

void initialize_sound_manager_for_new_map(void)
{
	LEAST("initialize_sound_manager_for_new_map");
	ambient_sound_sources.count = 0;
}

void dispose_sound_manager_from_old_map(void)
{
	LEAST("dispose_sound_manager_from_old_map");
	ambient_sound_sources.count = 0;
}

void initialize_sound_mesh_parameters_for_new_map(void)
{
	LEAST("initialize_sound_mesh_parameters_for_new_map");
}

void update_sound_manager(int16 elapsed_ticks)
{
	LEAST("update_sound_manager", elapsed_ticks);
}

void adjust_sound_volume(int16 adjustment)
{
	LEAST("adjust_sound_volume", adjustment);
}

int16 get_sound_volume(void)
{
	return DEFAULT_SOUND_VOLUME;
}

boolean get_sound_mute(void)
{
	// There is no sound manager.
	return TRUE;
}

void sound_mute(boolean mute)
{
	LEAST("sound_mute", mute);
	sound_manager_hooks.muted = mute ? TRUE : FALSE;
}

void start_main_menu_music(void)
{
	LEAST("start_main_menu_music");
}

uint32 get_sound_preferences_flags(void)
{
	return sound_manager_hooks.sound_preferences_flags;
}

void play_sound_with_flags(int16 sound_index, int16 source_identifier, const world_location3d *source_location,
	short_fixed pitch, uint16 flags)
{
	LEAST("play_sound_with_flags", sound_index, source_identifier, source_location, pitch, flags);
}

boolean sound_is_playing(int16 sound_index)
{
	LEAST("sound_is_playing", sound_index);
	return FALSE;
}

void orphan_sounds(int16 source_identifier)
{
	LEAST("orphan_sounds", source_identifier);
}

int16 get_sound_list_sound_index(int16 sound_list_index, int16 n)
{
	LEAST("get_sound_list_sound_index", sound_list_index, n);
	return NONE;
}

void new_sound_source_palette_entry(marker_palette_entry *entry)
{
	LEAST("new_sound_source_palette_entry", entry);
}


int16 new_sound_source(marker_data *marker)
{
	LEAST("new_sound_source", marker);
	if (!marker || ambient_sound_sources.count >= MAXIMUM_AMBIENT_SOUND_SOURCES) return NONE;
	const int16 slot = ambient_sound_sources.count++;
	ambient_sound_source_data &source = ambient_sound_sources.sources[slot];
	source.identifier = marker->identifier;
	source.volume = source.target_volume = 256;
	source.ticks = 0;
	source.point = marker->location.position;
	return slot;
}

int16 get_ambient_sound_source_count(void)
{
	return ambient_sound_sources.count;
}

const ambient_sound_source_data *get_ambient_sound_source(int16 index)
{
	return index >= 0 && index < ambient_sound_sources.count ? &ambient_sound_sources.sources[index] : nullptr;
}

static ambient_sound_source_data *find_ambient_sound_source(int16 identifier)
{
	for (int16 i = 0; i < ambient_sound_sources.count; ++i)
	{
		if (ambient_sound_sources.sources[i].identifier == identifier) return &ambient_sound_sources.sources[i];
	}
	return nullptr;
}

void adjust_ambient_sound_source_volume(int16 identifier, short_fixed volume, int16 ticks)
{
	LEAST("adjust_ambient_sound_source_volume", identifier, volume, ticks);
	ambient_sound_source_data *source = find_ambient_sound_source(identifier);
	if (!source) return;
	source->target_volume = volume;
	source->ticks = ticks;
}

void get_ambient_sound_source_location(int16 identifier, world_point3d *point)
{
	LEAST("get_ambient_sound_source_location", identifier, point);
	const ambient_sound_source_data *source = find_ambient_sound_source(identifier);
	if (point) *point = source ? source->point : world_point3d{0, 0, 0};
}
