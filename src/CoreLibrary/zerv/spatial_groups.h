// Spatial groups: clusters of neighbouring units of one team and kind, rebuilt
// on every scheduler pass.
#ifndef SPATIAL_GROUPS_H
#define SPATIAL_GROUPS_H

#include "cseries.h"

void initialize_spatial_groups(void);
void initialize_spatial_groups_for_new_map(void);
void dispose_spatial_groups_from_old_map(void);
void build_spatial_groups(void);

// Test hooks: calls made into the module.
struct spatial_groups_test_hooks_data
{
	int32 build_count;
};
spatial_groups_test_hooks_data *get_spatial_groups_test_hooks(void);

#endif
