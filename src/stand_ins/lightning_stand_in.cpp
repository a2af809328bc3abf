// No lightning yet: no bolt is made or found; every call is counted.
#include "lightning.h"

static lightning_test_hooks_data lightning_test_hooks = {};

int16 new_lightning(int16, const world_point3d *, int16, const world_point3d *)
{
	lightning_test_hooks.new_calls += 1;
	return NONE;
}

boolean get_lightning_state(int16, int16, lightning_state_data *)
{
	lightning_test_hooks.state_calls += 1;
	return FALSE;
}

void change_lightning_endpoints(int16, int16, const world_point3d *)
{
	lightning_test_hooks.endpoint_calls += 1;
}

void stop_lightning(int16)
{
	lightning_test_hooks.stop_calls += 1;
}

int16 lightning_definition_tag_to_index(file_tag)
{
	return NONE;
}

lightning_test_hooks_data *get_lightning_test_hooks(void) { return &lightning_test_hooks; }
void reset_lightning_test_hooks(void) { lightning_test_hooks = {}; }
