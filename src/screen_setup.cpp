// Screen devices: the scan, each device's modes, the default choice and the
// preference panel's lists.
#include "screen.h"

#include <cstdio>
#include <cstdlib>

#include "bitmap_dialogs/dialogs.h"
#include "error_manager.h"
#include "linux_utilities.h"

static device_info screen_devices[MAXIMUM_DISPLAY_DEVICE_COUNT];
static int16 screen_device_count = 0;

// The SDL "any size" answer: one mode per resolution-table row.
static const int16 any_mode_widths[] = {640, 800, 1024, 1152, 1280, 1360, 1366, 1400, 1440, 1600, 1680, 1792, 1920,
	2048, 2560};

struct windowed_size
{
	int16 width, height;
};
static const windowed_size windowed_sizes[] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 800}, {1440, 900},
	{1680, 1050}};

#define WINDOW_FRAME_ALLOWANCE 49

boolean device_mode_usable(const device_mode_info *mode)
{
	return mode && !(mode->flags & (_device_mode_nonswitching_flag | _device_mode_invalid_flag));
}

void clear_screen_devices(void)
{
	memset(screen_devices, 0, sizeof(screen_devices));
	screen_device_count = 0;
}

int16 get_screen_device_count(void)
{
	return screen_device_count;
}

device_info *get_screen_device(int16 device_index)
{
	if (device_index < 0 || device_index >= screen_device_count) return NULL;
	return &screen_devices[device_index];
}

int16 report_device(const device_info *device)
{
	if (screen_device_count >= MAXIMUM_DISPLAY_DEVICE_COUNT)
	{
		debug_printf("Found too many screen devices!");
		return screen_device_count;
	}
	screen_devices[screen_device_count] = *device;
	screen_device_count += 1;
	return screen_device_count;
}

boolean is_valid_resolution(int32 width, int32 height)
{
	return width >= 640 && height >= 480;
}

static boolean device_has_size(const device_info *device, int32 width, int32 height)
{
	for (int32 i = 0; i < device->mode_count; ++i)
	{
		if (device->modes[i].width == width && device->modes[i].height == height) return TRUE;
	}
	return FALSE;
}

static void add_mode(device_info *device, int32 width, int32 height)
{
	device_mode_info *mode = &device->modes[device->mode_count++];
	mode->flags = 0;
	mode->width = static_cast<int16>(width);
	mode->height = static_cast<int16>(height);
	mode->bit_depth = 32;
	mode->refresh_rate = 0;
}

static int32 platform_list_modes(boolean opengl, int16 *widths, int16 *heights, int32 maximum_count)
{
	const platform_procedures_data *platform = get_platform_procedures();
	if (platform->list_modes) return platform->list_modes(opengl, widths, heights, maximum_count);
	screen_test_hooks_data *hooks = get_screen_test_hooks();
	switch (hooks->mode_answer)
	{
	case _headless_modes_none: return 0;
	case _headless_modes_any: return -1;
	case _headless_modes_list:
	{
		const int32 count = MIN(hooks->listed_mode_count, maximum_count);
		for (int32 i = 0; i < count; ++i)
		{
			widths[i] = hooks->listed_widths[i];
			heights[i] = hooks->listed_heights[i];
		}
		return count;
	}
	default:
		widths[0] = 1024;
		heights[0] = 768;
		return 1;
	}
}

void display_device_query_and_report_modes(int16 rasterizer_code, const char *rasterizer_string,
	const device_info_opengl *device_extra)
{
	static device_info device;
	memset(&device, 0, sizeof(device));
	snprintf(device.name, sizeof(device.name), "%s", rasterizer_string ? rasterizer_string : "");
	device.rasterizer_code = rasterizer_code;
	if (device_extra) device.extra_data = *device_extra;

	static int16 widths[MAXIMUM_DISPLAY_MODE_COUNT + 8], heights[MAXIMUM_DISPLAY_MODE_COUNT + 8];
	const int32 count = platform_list_modes(rasterizer_code == _rasterizer_opengl, widths, heights,
		static_cast<int32>(NUMBEROF(widths)));
	if (count == 0) return;
	if (count < 0)
	{
		// Any size: one mode per row of the resolution table.
		for (int16 width : any_mode_widths) add_mode(&device, width, width * 3 / 4);
	}
	else
	{
		for (int32 i = 0; i < count; ++i)
		{
			if (!is_valid_resolution(widths[i], heights[i]) || device_has_size(&device, widths[i], heights[i])) continue;
			add_mode(&device, widths[i], heights[i]);
			if (device.mode_count == MAXIMUM_DISPLAY_MODE_COUNT) break;
		}
		if (device.mode_count == 1)
		{
			const int32 desktop_width = device.modes[0].width, desktop_height = device.modes[0].height;
			for (const windowed_size &size : windowed_sizes)
			{
				if (desktop_width < size.width + WINDOW_FRAME_ALLOWANCE) break;
				if (desktop_height < size.height + WINDOW_FRAME_ALLOWANCE) continue;
				if (!device_has_size(&device, size.width, size.height)) add_mode(&device, size.width, size.height);
			}
		}
	}
	if (device.mode_count > 0) report_device(&device);
}

void query_software_device(void)
{
	display_device_query_and_report_modes(_rasterizer_software, "Software", NULL);
}

void query_for_screen_devices(void)
{
	screen_device_count = 0;
	log_message(MODULE_NAME, __LINE__, "Scanning for %s devices...", "software");
	query_software_device();
	log_message(MODULE_NAME, __LINE__, "\tFound %d to use", static_cast<int>(screen_device_count));

	const int16 before = screen_device_count;
	log_message(MODULE_NAME, __LINE__, "Scanning for %s devices...", "OpenGL");
	const platform_procedures_data *platform = get_platform_procedures();
	if (platform->query_opengl_devices) platform->query_opengl_devices();
	log_message(MODULE_NAME, __LINE__, "\tFound %d to use", static_cast<int>(screen_device_count - before));

	if (screen_device_count == 0)
	{
		log_message(MODULE_NAME, __LINE__, "No valid screen devices were found!");
		exit(-1);
	}
	for (int16 i = 0; i < screen_device_count; ++i)
	{
		const device_info *device = &screen_devices[i];
		if (device->rasterizer_code != _rasterizer_opengl) continue;
		log_message(MODULE_NAME, __LINE__, "\t%s | %s | OpenGL %d.%d", device->extra_data.renderer,
			device->extra_data.vendor, static_cast<int>(device->extra_data.opengl_version >> 16),
			static_cast<int>(device->extra_data.opengl_version & 0xFFFF));
	}
}

void select_best_device_found(int16 *best_device_index, int16 *best_mode_index)
{
	if (screen_device_count == 0)
	{
		show_message_box("No valid screen device found.\nGood bye.\n");
		log_message(MODULE_NAME, __LINE__, "%s %s", "No valid screen device found.", "Good bye.");
		exit(-1);
	}
	int16 device_index = NONE;
	for (int16 i = 0; i < screen_device_count && device_index == NONE; ++i)
	{
		if (screen_devices[i].rasterizer_code == _rasterizer_opengl) device_index = i;
	}
	if (device_index == NONE)
	{
		device_index = 0;
		for (int16 i = 0; i < screen_device_count; ++i)
		{
			if (screen_devices[i].rasterizer_code == _rasterizer_software) device_index = i;
		}
	}

	const device_info *device = &screen_devices[device_index];
	int16 desktop_width = 0, desktop_height = 0;
	get_desktop_dimensions(&desktop_width, &desktop_height);

	int16 mode_index = NONE;
	for (int16 i = 0; i < device->mode_count; ++i)
	{
		const device_mode_info *mode = &device->modes[i];
		if (!device_mode_usable(mode) || mode->width != desktop_width || mode->height != desktop_height) continue;
		// The highest refresh rate; the later one on a tie.
		if (mode_index == NONE || mode->refresh_rate >= device->modes[mode_index].refresh_rate) mode_index = i;
	}
	if (mode_index == NONE)
	{
		const int32 lowest_width = desktop_width == 640 ? 0 : 640;
		const int32 lowest_height = desktop_height == 480 ? 0 : 480;
		for (int16 i = 0; i < device->mode_count && mode_index == NONE; ++i)
		{
			const device_mode_info *mode = &device->modes[i];
			if (mode->width > lowest_width && mode->width <= desktop_width && mode->height > lowest_height &&
				mode->height <= desktop_height)
			{
				mode_index = i;
			}
		}
	}
	if (mode_index == NONE) mode_index = 0;
	if (best_device_index) *best_device_index = device_index;
	if (best_mode_index) *best_mode_index = mode_index;
}

void add_screen_devices_to_list(dialog_data *dialog, int16 dialog_item)
{
	for (int16 i = 0; i < screen_device_count; ++i)
	{
		const device_info *device = &screen_devices[i];
		boolean usable = FALSE;
		for (int16 m = 0; m < device->mode_count && !usable; ++m) usable = device_mode_usable(&device->modes[m]);
		if (usable) add_string_to_list(dialog, dialog_item, device->name, i, FALSE);
		else log_message(MODULE_NAME, __LINE__, "Couldn't find any switchable modes for %s", device->name);
	}
}

void add_screen_resolutions_to_list(dialog_data *dialog, int16 dialog_item, int16 device_index)
{
	const device_info *device = get_screen_device(device_index);
	if (!device) return;
	for (int16 i = 0; i < device->mode_count; ++i)
	{
		const device_mode_info *mode = &device->modes[i];
		if (!device_mode_usable(mode)) continue;
		char text[64];
		if (mode->refresh_rate)
		{
			snprintf(text, sizeof(text), "%d x %d, %d bpp, %d Hz", mode->width, mode->height, mode->bit_depth,
				mode->refresh_rate);
		}
		else
		{
			snprintf(text, sizeof(text), "%d x %d", mode->width, mode->height);
		}
		if (mode->flags & _device_mode_preferred_flag)
		{
			char marked[80];
			snprintf(marked, sizeof(marked), "|i%s|p", text);
			add_string_to_list(dialog, dialog_item, marked, i, FALSE);
		}
		else
		{
			add_string_to_list(dialog, dialog_item, text, i, FALSE);
		}
	}
}
