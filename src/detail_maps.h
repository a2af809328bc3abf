// Detail maps ('dmap') and detail textures ('dtex') that overlay the terrain
// with the hardware rasterizers, and the switch that turns them on and off.
#ifndef DETAIL_MAPS_H
#define DETAIL_MAPS_H

#include "cseries.h"

#define DETAIL_MAP_DEFINITION_GROUP_TAG TAG("dmap")
#define DETAIL_TEXTURE_DEFINITION_GROUP_TAG TAG("dtex")

void initialize_detail_textures(void);
void initialize_detail_maps(void);
void initialize_detail_textures_for_new_map(void);
void initialize_detail_maps_for_new_map(void);
void dispose_detail_textures_from_old_map(void);
void dispose_detail_maps_from_old_map(void);
void dispose_detail_map_data(void);

// True only with an OpenGL-class rasterizer and landscape textures chosen.
boolean detail_maps_enabled(void);
boolean detail_maps_active(void);
// Two words per cell, row after row, detail_map_layer_row_cells cells a row; NULL without one.
extern const uint32 *detail_map_layer_info;
extern int32 detail_map_layer_row_cells;
// Turns detail mapping off, or on only when a detail map is loaded.
void toggle_detail_maps(void);

// Test hooks.
struct detail_maps_test_hooks_data
{
	int32 toggle_count;
	boolean active; // detail_maps_active answers this, so tests can take the detail path
};

detail_maps_test_hooks_data *get_detail_maps_test_hooks(void);
void reset_detail_maps_test_hooks(void);

#endif
