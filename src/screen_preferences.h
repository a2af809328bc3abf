// The player's graphics settings: one versioned record in the preference
// store, kept live in active_screen.prefs, and its preferences panel.
#ifndef SCREEN_PREFERENCES_H
#define SCREEN_PREFERENCES_H

#include "cseries.h"
#include "screen.h"
#include "CoreLibrary/tag_files/preferences.h"

struct dialog_data;

// The flags reset when the device changes: all but fog, windowed and full-screen windowed.
#define _screen_pref_per_device_mask (-277)

inline constexpr byte_swap_code screen_parameters_byte_swapping_data[] =
{
	_begin_bs_array, 1, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _2byte, _end_bs_array
};
static_assert(get_byte_swap_struct_size(screen_parameters_byte_swapping_data) == sizeof(screen_parameters));

extern preferences_globals screen_preferences_globals;

enum // panel verbs
{
	_setup_verb,
	_teardown_verb,
	_handle_itemhit_verb,
	_commit_verb,
	_discard_verb
};

enum // panel items
{
	iHIGH_RESOLUTION = 12,
	iLANDSCAPE_FILTERING = 13,
	iVSYNC = 14,
	iFOG = 15,
	iWINDOW = 16,
	iMAX_FPS_CHECKBOX = 17,
	iMAX_FPS = 18,
	iTEXTURE_CACHE_TEXT = 19,
	iTEXTURE_CACHE_SIZE = 20,
	iRASTERIZER_LIST = 22,
	iRESOLUTION_LIST = 24,
	iGAMMA_STATIC_TEXT = 25,
	iGAMMA = 26
};

void default_screen_parameters(screen_parameters *parameters);
// TRUE when usable (a few fields repaired); otherwise the defaults and FALSE.
boolean verify_screen_parameters(screen_parameters *parameters);
// Version 3 only: the old bytes as read (big-endian).
boolean convert_screen_parameters(const void *old_prefs, void *parameters, int32 version_number);
int16 get_machine_specific_texture_cache_default(void);
// The rule for a machine of that many megabytes.
int16 texture_cache_default_for_memory(int32 megabytes);
void load_screen_parameters(screen_parameters *parameters);
boolean save_screen_parameters(const screen_parameters *parameters);
// FALSE and -1 when the device has no usable mode.
boolean find_mode_similar_to(int16 device_index, const device_mode_info *existing_mode, int16 *out_mode);
int32 resolution_list_sort_proc(const void *res1, int32 res1_len, const void *res2, int32 res2_len);
// param: the item hit. Always TRUE.
boolean screen_preferences_panel_handler(dialog_data *dialog, int16 verb, int32 param);

#endif
