#include "screen_preferences.h"

#include <cstdio>

#include "bitmap_dialogs/dialogs.h"
#include "CoreLibrary/input/sdl_input.h"
#include "hardware/hardware_rasterizers.h"
#include "input/actions.h"
#include "memory.h"
#include "shapes.h"

#define DEFAULT_OPENGL2_FLAGS (_screen_pref_landscape_filtering_flag | _screen_pref_landscape_textures_flag | \
	_screen_pref_anisotropic_filtering_flag | _screen_pref_vsync_enabled_flag)
#define DEFAULT_FLAGS _screen_pref_landscape_filtering_flag
static_assert(DEFAULT_OPENGL2_FLAGS == 226 && (~_screen_pref_per_device_mask & 0xFFFF) == 276);

#define GAMMA_SLIDER_MINIMUM 256
#define GAMMA_SLIDER_MAXIMUM 682
#define GAMMA_SLIDER_DEFAULT 512

// Button and list flags the panel sets.
#define BUTTON_DRAW_SIDE_BY_SIDE_FLAG 0x10
#define LIST_CANNOT_LOSE_SELECTION_FLAG 0x2
#define DIALOG_ELEMENTS_COLLECTION_TAG TAG("baie")
#define DIALOG_CHECKBOX_SEQUENCE 1

static void default_screen_parameters_proc(void *parameters)
{
	default_screen_parameters(static_cast<screen_parameters *>(parameters));
}

static boolean verify_screen_parameters_proc(void *parameters)
{
	return verify_screen_parameters(static_cast<screen_parameters *>(parameters));
}

preferences_globals screen_preferences_globals =
{
	"screen preferences", static_cast<int32>(sizeof(screen_parameters)), SCREEN_PREFERENCES_VERSION_NUMBER,
	default_screen_parameters_proc, verify_screen_parameters_proc, screen_parameters_byte_swapping_data, 0, nullptr
};

/* ---------- defaults and checks */

int16 texture_cache_default_for_memory(int32 megabytes)
{
	const int32 v = 3 * (megabytes / 2) - 960;
	return static_cast<int16>(PIN((v / 4) & ~1, MINIMUM_TEXTURE_CACHE_SIZE, MAXIMUM_TEXTURE_CACHE_SIZE));
}

int16 get_machine_specific_texture_cache_default(void)
{
	return texture_cache_default_for_memory(get_physical_memory_size() / (1024 * 1024));
}

static boolean opengl2_class_device(const device_info *device)
{
	return device && ((device->rasterizer_code == _rasterizer_opengl && device->extra_data.opengl2_device) ||
		device->rasterizer_code == _rasterizer_dx11);
}

static uint16 default_device_flags(const device_info *device)
{
	return static_cast<uint16>(opengl2_class_device(device) ? DEFAULT_OPENGL2_FLAGS : DEFAULT_FLAGS);
}

static boolean mode_usable_on(const device_info *device, int16 mode_index)
{
	return device && mode_index >= 0 && mode_index < device->mode_count && device_mode_usable(&device->modes[mode_index]);
}

static int16 first_usable_mode(const device_info *device)
{
	for (int16 i = 0; device && i < device->mode_count; ++i)
	{
		if (device_mode_usable(&device->modes[i])) return i;
	}
	return NONE;
}

void default_screen_parameters(screen_parameters *parameters)
{
	memset(parameters, 0, sizeof(*parameters));
	parameters->device_index = NONE;
	parameters->mode_index = NONE;
	// Without devices (before the scan) there is nothing to choose.
	if (get_screen_device_count() > 0) select_best_device_found(&parameters->device_index, &parameters->mode_index);
	const device_info *device = get_screen_device(parameters->device_index);
	if (!mode_usable_on(device, parameters->mode_index)) parameters->mode_index = first_usable_mode(device);
	if (mode_usable_on(device, parameters->mode_index))
	{
		parameters->width = static_cast<uint16>(device->modes[parameters->mode_index].width);
		parameters->height = static_cast<uint16>(device->modes[parameters->mode_index].height);
	}
	parameters->flags = default_device_flags(device);
	parameters->gamma = DEFAULT_GAMMA;
	parameters->max_fps = DEFAULT_MAX_FPS;
	parameters->texture_cache_size = static_cast<uint16>(get_machine_specific_texture_cache_default());
}

boolean verify_screen_parameters(screen_parameters *parameters)
{
	const device_info *device = get_screen_device(parameters->device_index);
	boolean valid = device && device->rasterizer_code < NUMBER_OF_RASTERIZER_CODES;
	if (valid && parameters->width && parameters->height)
	{
		device_mode_info wanted = {_device_mode_preferred_flag, static_cast<int16>(parameters->width),
			static_cast<int16>(parameters->height), -1, -1};
		int16 similar = NONE;
		if (find_mode_similar_to(parameters->device_index, &wanted, &similar)) parameters->mode_index = similar;
	}
	valid = valid && mode_usable_on(device, parameters->mode_index) && parameters->gamma >= MINIMUM_GAMMA &&
		parameters->gamma <= MAXIMUM_GAMMA;
	if (!valid)
	{
		default_screen_parameters(parameters);
		return FALSE;
	}
	// The magnitude in 32 bits: -32768 has none in 16.
	const int32 max_fps = parameters->max_fps;
	const int32 magnitude = max_fps < 0 ? -max_fps : max_fps;
	if (magnitude < MINIMUM_MAX_FPS || magnitude > MAXIMUM_MAX_FPS) parameters->max_fps = DEFAULT_MAX_FPS;
	if (parameters->texture_cache_size == 0)
		parameters->texture_cache_size = static_cast<uint16>(get_machine_specific_texture_cache_default());
	else
		parameters->texture_cache_size = static_cast<uint16>(PIN(static_cast<int32>(parameters->texture_cache_size),
			MINIMUM_TEXTURE_CACHE_SIZE, MAXIMUM_TEXTURE_CACHE_SIZE));
	return TRUE;
}

boolean convert_screen_parameters(const void *old_prefs, void *parameters, int32 version_number)
{
	if (version_number != 3 || !old_prefs || !parameters) return FALSE;
	screen_parameters old;
	memcpy(&old, old_prefs, sizeof(old));
	byte_swap_data("screen parameters", &old, sizeof(old), 1, screen_parameters_byte_swapping_data);
	old.texture_cache_size = static_cast<uint16>(get_machine_specific_texture_cache_default());
	memcpy(parameters, &old, sizeof(old));
	return TRUE;
}

void load_screen_parameters(screen_parameters *parameters)
{
	const void *stored = read_preferences_convert(&screen_preferences_globals, convert_screen_parameters);
	if (stored) memcpy(parameters, stored, sizeof(*parameters));
	else default_screen_parameters(parameters);
	free_preferences(&screen_preferences_globals);
}

boolean save_screen_parameters(const screen_parameters *parameters)
{
	void *stored = read_preferences_convert(&screen_preferences_globals, convert_screen_parameters);
	if (!stored) return FALSE;
	memcpy(stored, parameters, sizeof(*parameters));
	const boolean written = write_preferences(&screen_preferences_globals);
	free_preferences(&screen_preferences_globals);
	return written;
}

/* ---------- modes */

static double size_score(int32 a, int32 b)
{
	const int32 larger = MAX(a, b), smaller = MIN(a, b);
	if (larger <= 0) return 1.0;
	return 1.0 - static_cast<double>(larger - smaller) / larger;
}

boolean find_mode_similar_to(int16 device_index, const device_mode_info *existing_mode, int16 *out_mode)
{
	const device_info *device = get_screen_device(device_index);
	int16 best = NONE;
	double best_score = 0;
	for (int16 i = 0; device && existing_mode && i < device->mode_count; ++i)
	{
		const device_mode_info *mode = &device->modes[i];
		if (!device_mode_usable(mode)) continue;
		double score = size_score(mode->width, existing_mode->width) + size_score(mode->height, existing_mode->height);
		if (existing_mode->bit_depth != NONE && existing_mode->bit_depth == mode->bit_depth) score += 1;
		if (existing_mode->refresh_rate != NONE && existing_mode->refresh_rate == mode->refresh_rate) score += 1;
		if ((existing_mode->flags & _device_mode_preferred_flag) == (mode->flags & _device_mode_preferred_flag)) score += 1;
		if (best == NONE || score > best_score)
		{
			best = i;
			best_score = score;
		}
	}
	if (out_mode) *out_mode = best;
	return best != NONE;
}

// How many of width and height the row reads as "%i x %i".
static int32 parse_resolution_row(const void *row, int32 length, int32 *width, int32 *height)
{
	char text[64];
	const int32 size = PIN(length, 0, static_cast<int32>(sizeof(text)) - 1);
	if (row && size > 0) memcpy(text, row, static_cast<size_t>(size));
	text[row ? size : 0] = 0;
	const char *start = text;
	if (start[0] == '|' && (start[1] == 'i' || start[1] == 'I')) start += 2;
	*width = *height = 0;
	const int count = sscanf(start, "%i x %i", width, height);
	return count < 0 ? 0 : count;
}

int32 resolution_list_sort_proc(const void *res1, int32 res1_len, const void *res2, int32 res2_len)
{
	int32 w1, h1, w2, h2;
	const int32 n1 = parse_resolution_row(res1, res1_len, &w1, &h1);
	const int32 n2 = parse_resolution_row(res2, res2_len, &w2, &h2);
	if (n1 != n2) return n1 - n2;
	if (w1 != w2) return w1 < w2 ? -1 : 1;
	if (h1 != h2) return h1 < h2 ? -1 : 1;
	return 0;
}

/* ---------- the panel */

static const double_arrow_delta_data max_fps_steps[] = {{45, 1}, {100, 5}, {300, 10}};
static const double_arrow_delta_data texture_cache_steps[] = {{32, 2}, {64, 8}, {128, 16}, {256, 32}, {512, 64}};

static void set_flag(uint16 *flags, uint16 flag, boolean on)
{
	if (on) *flags = static_cast<uint16>(*flags | flag);
	else *flags = static_cast<uint16>(*flags & ~flag);
}

static void synchronize_controls_with_data(dialog_data *dialog)
{
	const screen_parameters *prefs = &active_screen.prefs;
	const device_info *device = get_screen_device(prefs->device_index);
	const int16 code = device ? device->rasterizer_code : static_cast<int16>(NONE);
	const boolean opengl = code == _rasterizer_opengl;
	const int32 max_fps = prefs->max_fps;
	const int32 magnitude = PIN(max_fps < 0 ? -max_fps : max_fps, MINIMUM_MAX_FPS, MAXIMUM_MAX_FPS);

	set_double_arrow_control_delta(dialog, iMAX_FPS, static_cast<int16>(NUMBEROF(max_fps_steps)), max_fps_steps);
	set_double_arrow_control_value(dialog, iMAX_FPS, MINIMUM_MAX_FPS, MAXIMUM_MAX_FPS, magnitude);
	bitmap_set_item_enabled(dialog, iMAX_FPS, max_fps > 0);
	set_checkbox_state(dialog, iMAX_FPS_CHECKBOX, max_fps > 0);

	set_double_arrow_control_delta(dialog, iTEXTURE_CACHE_SIZE, static_cast<int16>(NUMBEROF(texture_cache_steps)),
		texture_cache_steps);
	set_double_arrow_control_value(dialog, iTEXTURE_CACHE_SIZE, MINIMUM_TEXTURE_CACHE_SIZE, MAXIMUM_TEXTURE_CACHE_SIZE,
		PIN(static_cast<int32>(prefs->texture_cache_size), MINIMUM_TEXTURE_CACHE_SIZE, MAXIMUM_TEXTURE_CACHE_SIZE));
	bitmap_set_item_enabled(dialog, iTEXTURE_CACHE_TEXT, opengl);
	bitmap_set_item_enabled(dialog, iTEXTURE_CACHE_SIZE, opengl);

	set_checkbox_state(dialog, iWINDOW, (prefs->flags & _screen_pref_windowed_flag) != 0);
	if (opengl || code == _rasterizer_dx11)
	{
		const boolean textures = (prefs->flags & _screen_pref_landscape_textures_flag) != 0;
		bitmap_set_item_enabled(dialog, iHIGH_RESOLUTION, TRUE);
		set_checkbox_state(dialog, iHIGH_RESOLUTION, textures);
		set_button_control_name(dialog, iLANDSCAPE_FILTERING, "Anisotropic Filtering");
		bitmap_set_item_enabled(dialog, iLANDSCAPE_FILTERING, textures);
		set_checkbox_state(dialog, iLANDSCAPE_FILTERING, (prefs->flags & _screen_pref_anisotropic_filtering_flag) != 0);
	}
	else
	{
		bitmap_set_item_enabled(dialog, iHIGH_RESOLUTION, FALSE);
		set_button_control_name(dialog, iLANDSCAPE_FILTERING, "Landscape Filtering");
		bitmap_set_item_enabled(dialog, iLANDSCAPE_FILTERING, code == _rasterizer_software);
		set_checkbox_state(dialog, iLANDSCAPE_FILTERING, (prefs->flags & _screen_pref_landscape_filtering_flag) != 0);
	}
	const boolean fog = rasterizer_supports_fog(code), vsync = rasterizer_supports_vsync(code);
	bitmap_set_item_enabled(dialog, iFOG, fog);
	set_checkbox_state(dialog, iFOG, fog && (prefs->flags & _screen_pref_fog_enabled_flag));
	bitmap_set_item_enabled(dialog, iVSYNC, vsync);
	set_checkbox_state(dialog, iVSYNC, vsync && (prefs->flags & _screen_pref_vsync_enabled_flag));
	const boolean gamma = rasterizer_supports_gamma(code);
	set_slider_value(dialog, iGAMMA, 2 * prefs->gamma);
	bitmap_set_item_enabled(dialog, iGAMMA, gamma);
	bitmap_set_item_enabled(dialog, iGAMMA_STATIC_TEXT, gamma);
}

static void fill_resolution_list(dialog_data *dialog, int16 device_index, int16 mode_index)
{
	bitmap_empty_list(dialog, iRESOLUTION_LIST);
	add_screen_resolutions_to_list(dialog, iRESOLUTION_LIST, device_index);
	if (mode_index != NONE) select_string_list_by_identifier(dialog, iRESOLUTION_LIST, mode_index);
}

static void change_device(dialog_data *dialog, int16 new_device_index)
{
	screen_parameters *prefs = &active_screen.prefs;
	const device_info *old_device = get_screen_device(prefs->device_index);
	const device_info *new_device = get_screen_device(new_device_index);
	int16 mode_index = prefs->mode_index;
	if (mode_usable_on(old_device, prefs->mode_index))
	{
		find_mode_similar_to(new_device_index, &old_device->modes[prefs->mode_index], &mode_index);
	}
	prefs->flags = static_cast<uint16>((prefs->flags & ~_screen_pref_per_device_mask) | default_device_flags(new_device));
	if ((prefs->flags & _screen_pref_vsync_enabled_flag) && prefs->max_fps > 0)
		prefs->max_fps = static_cast<int16>(-prefs->max_fps);
	if (!mode_usable_on(new_device, mode_index)) mode_index = first_usable_mode(new_device);
	fill_resolution_list(dialog, new_device_index, mode_index);
	prefs->device_index = new_device_index;
	prefs->mode_index = mode_index;
}

static void read_controls(dialog_data *dialog)
{
	screen_parameters *prefs = &active_screen.prefs;
	prefs->device_index = static_cast<int16>(get_string_list_selected_identifier(dialog, iRASTERIZER_LIST));
	prefs->mode_index = static_cast<int16>(get_string_list_selected_identifier(dialog, iRESOLUTION_LIST));
	const device_info *device = get_screen_device(prefs->device_index);
	if (mode_usable_on(device, prefs->mode_index))
	{
		prefs->width = static_cast<uint16>(device->modes[prefs->mode_index].width);
		prefs->height = static_cast<uint16>(device->modes[prefs->mode_index].height);
	}
	const int16 code = device ? device->rasterizer_code : static_cast<int16>(NONE);
	if (code == _rasterizer_opengl || code == _rasterizer_dx11)
	{
		set_flag(&prefs->flags, _screen_pref_landscape_textures_flag, get_checkbox_state(dialog, iHIGH_RESOLUTION));
		set_flag(&prefs->flags, _screen_pref_anisotropic_filtering_flag, get_checkbox_state(dialog, iLANDSCAPE_FILTERING));
	}
	else
	{
		set_flag(&prefs->flags, _screen_pref_landscape_filtering_flag, get_checkbox_state(dialog, iLANDSCAPE_FILTERING));
	}
	// A device that cannot use fog or vsync shows the box unchecked; the choice
	// stays for the devices that can.
	if (rasterizer_supports_vsync(code)) set_flag(&prefs->flags, _screen_pref_vsync_enabled_flag, get_checkbox_state(dialog, iVSYNC));
	if (rasterizer_supports_fog(code)) set_flag(&prefs->flags, _screen_pref_fog_enabled_flag, get_checkbox_state(dialog, iFOG));
	prefs->gamma = static_cast<short_fixed>(get_slider_value(dialog, iGAMMA) / 2);
	const int32 max_fps = get_double_arrow_control_value(dialog, iMAX_FPS);
	prefs->max_fps = static_cast<int16>(get_checkbox_state(dialog, iMAX_FPS_CHECKBOX) ? max_fps : -max_fps);
	prefs->texture_cache_size = static_cast<uint16>(get_double_arrow_control_value(dialog, iTEXTURE_CACHE_SIZE));
	set_flag(&prefs->flags, _screen_pref_windowed_flag, (code == _rasterizer_software || code == _rasterizer_opengl) &&
		get_checkbox_state(dialog, iWINDOW));
}

boolean screen_preferences_panel_handler(dialog_data *dialog, int16 verb, int32 param)
{
	screen_parameters *prefs = &active_screen.prefs;
	switch (verb)
	{
	case _setup_verb:
	{
		set_button_control_flags(dialog, iWINDOW, BUTTON_DRAW_SIDE_BY_SIDE_FLAG);
		set_button_control_shape(dialog, iWINDOW, get_collection_index(DIALOG_ELEMENTS_COLLECTION_TAG),
			DIALOG_CHECKBOX_SEQUENCE);
		set_button_control_name(dialog, iWINDOW, "Windowed");
		set_button_control_name(dialog, iHIGH_RESOLUTION, "Landscape Textures");
		bitmap_set_list_flag(dialog, iRASTERIZER_LIST, LIST_CANNOT_LOSE_SELECTION_FLAG, TRUE);
		bitmap_set_list_flag(dialog, iRESOLUTION_LIST, LIST_CANNOT_LOSE_SELECTION_FLAG, TRUE);
		bitmap_empty_list(dialog, iRASTERIZER_LIST);
		add_screen_devices_to_list(dialog, iRASTERIZER_LIST);
		select_string_list_by_identifier(dialog, iRASTERIZER_LIST, prefs->device_index);
		bitmap_focus_on_list_item(dialog, iRASTERIZER_LIST, bitmap_get_listbox_value(dialog, iRASTERIZER_LIST));
		bitmap_set_list_sort_proc(dialog, iRESOLUTION_LIST, resolution_list_sort_proc);
		fill_resolution_list(dialog, prefs->device_index, prefs->mode_index);
		set_slider_extrema(dialog, iGAMMA, GAMMA_SLIDER_MINIMUM, GAMMA_SLIDER_MAXIMUM);
		set_slider_default_value(dialog, iGAMMA, GAMMA_SLIDER_DEFAULT);
		synchronize_controls_with_data(dialog);
		break;
	}

	case _commit_verb:
		save_screen_parameters(prefs);
		break;

	case _discard_verb:
		load_screen_parameters(prefs);
		break;

	case _handle_itemhit_verb:
		switch (param)
		{
		case iVSYNC:
			if (get_checkbox_state(dialog, iVSYNC) && !key_down(_key_shift)) set_checkbox_state(dialog, iMAX_FPS_CHECKBOX, FALSE);
			break;
		case iMAX_FPS_CHECKBOX:
			if (get_checkbox_state(dialog, iMAX_FPS_CHECKBOX) && !key_down(_key_shift)) set_checkbox_state(dialog, iVSYNC, FALSE);
			break;
		case iRASTERIZER_LIST:
		{
			const int16 device_index = static_cast<int16>(get_string_list_selected_identifier(dialog, iRASTERIZER_LIST));
			if (device_index != prefs->device_index)
			{
				change_device(dialog, device_index);
				// The new device's boxes show the record before they are read back.
				synchronize_controls_with_data(dialog);
			}
			break;
		}
		case iRESOLUTION_LIST:
			prefs->mode_index = static_cast<int16>(get_string_list_selected_identifier(dialog, iRESOLUTION_LIST));
			break;
		default:
			break;
		}
		read_controls(dialog);
		synchronize_controls_with_data(dialog);
		break;

	default: // teardown
		break;
	}
	return TRUE;
}
