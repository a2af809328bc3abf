// No detail maps yet: they are never enabled and never active.
#include "detail_maps.h"

static detail_maps_test_hooks_data detail_maps_test_hooks;

void initialize_detail_textures(void) {}
void initialize_detail_maps(void) {}
void initialize_detail_textures_for_new_map(void) {}
void initialize_detail_maps_for_new_map(void) {}
void dispose_detail_textures_from_old_map(void) {}
void dispose_detail_maps_from_old_map(void) {}
void dispose_detail_map_data(void) {}

boolean detail_maps_enabled(void) { return FALSE; }
boolean detail_maps_active(void) { return detail_maps_test_hooks.active; }

// Without layer words the switch can only stay off.
void toggle_detail_maps(void)
{
	detail_maps_test_hooks.toggle_count += 1;
}

detail_maps_test_hooks_data *get_detail_maps_test_hooks(void)
{
	return &detail_maps_test_hooks;
}

void reset_detail_maps_test_hooks(void)
{
	detail_maps_test_hooks = {};
}
