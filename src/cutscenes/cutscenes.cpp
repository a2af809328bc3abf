#include "cutscenes/cutscenes.h"

static cutscenes_test_hooks_data cutscenes_hooks;

cutscenes_test_hooks_data *get_cutscenes_test_hooks(void)
{
	return &cutscenes_hooks;
}

void reset_cutscenes_test_hooks(void)
{
	memset(&cutscenes_hooks, 0, sizeof(cutscenes_hooks));
}

void display_cutscene(const char *file_name, int16 flags, int16 volume)
{
	least_call(&cutscenes_hooks.calls, "display_cutscene", file_name, flags, volume);
}

boolean found_cutscene(const char *file_name)
{
	least_call(&cutscenes_hooks.calls, "found_cutscene", file_name);
	return cutscenes_hooks.cutscenes_found;
}
