// Arbitrary "preferences/screen preferences" files through the preference
// store: whatever is accepted passes verification again unchanged, and
// survives a write and read. Seeds are a default record and a version-3 one.
#include <sys/stat.h>

#include <cstring>

#include "fuzz_support.h"
#include "screen_preferences.h"
#include "tag_files/tag_files.h"

namespace {

void set_up_fuzz_directory(void)
{
	tag_files_initialize();
	// One software device with a few modes, as the scan reports.
	clear_screen_devices();
	device_info software = {};
	software.rasterizer_code = _rasterizer_software;
	const device_mode_info modes[] = {{0, 1024, 768, 32, 0}, {0, 640, 480, 32, 0}, {0, 800, 600, 32, 60}};
	for (const device_mode_info &mode : modes) software.modes[software.mode_count++] = mode;
	report_device(&software);
}

void reload_local_tags(void)
{
	tag_files_close();
	load_local_tags();
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	enter_fuzz_directory("screen-preferences", set_up_fuzz_directory);
	mkdir("preferences", 0777);
	check(write_file("preferences/screen preferences", data, size));
	reload_local_tags();

	screen_parameters loaded;
	load_screen_parameters(&loaded);
	screen_parameters again = loaded;
	check(verify_screen_parameters(&again));
	check(memcmp(&again, &loaded, sizeof(again)) == 0);

	check(save_screen_parameters(&loaded));
	reload_local_tags();
	screen_parameters read_back;
	load_screen_parameters(&read_back);
	check(memcmp(&read_back, &loaded, sizeof(read_back)) == 0);

	remove("preferences/screen preferences");
	reload_local_tags();
	leave_fuzz_directory();
	return 0;
}
