#include "shapes.h"

static shapes_test_hooks_data shapes_hooks;

shapes_test_hooks_data *get_shapes_test_hooks(void)
{
	return &shapes_hooks;
}

void reset_shapes_test_hooks(void)
{
	clear_least_call_log(&shapes_hooks.calls);
}

#define LEAST(...) least_call(&shapes_hooks.calls, __VA_ARGS__)

void initialize_shapes(void)
{
	LEAST("initialize_shapes");
}

void initialize_shapes_for_new_map(boolean is_main_menu)
{
	LEAST("initialize_shapes_for_new_map", is_main_menu);
}

void dispose_shapes_from_old_map(void)
{
	LEAST("dispose_shapes_from_old_map");
}

int16 get_collection_index(file_tag collection_tag)
{
	LEAST("get_collection_index", collection_tag);
	return NONE;
}

boolean is_resolution_collection(file_tag collection_tag)
{
	LEAST("is_resolution_collection", collection_tag);
	return FALSE;
}

bitmap_data *get_bitmap(int16 collection_index, int16 bitmap_index)
{
	LEAST("get_bitmap", collection_index, bitmap_index);
	return NULL;
}

bitmap_instance_data *get_bitmap_instance(int16 collection_index, int16 bitmap_instance_index)
{
	LEAST("get_bitmap_instance", collection_index, bitmap_instance_index);
	return NULL;
}

sequence_data *get_sequence(int16 collection_index, int16 sequence_index)
{
	LEAST("get_sequence", collection_index, sequence_index);
	return NULL;
}

sequence_frame_data *get_sequence_frame(sequence_data *sequence, int16 collection_index, int16 sequence_index,
	int16 frame_index)
{
	LEAST("get_sequence_frame", sequence, collection_index, sequence_index, frame_index);
	return NULL;
}

shadow_map_data *get_shadow_map(int16 collection_index, int16 shadow_map_index)
{
	LEAST("get_shadow_map", collection_index, shadow_map_index);
	return NULL;
}

color_table *get_color_table(int16 collection_index, int16 color_table_index)
{
	LEAST("get_color_table", collection_index, color_table_index);
	return NULL;
}

void *get_shading_table(int16 collection_index, int16 shading_table_index, int16 permutation)
{
	LEAST("get_shading_table", collection_index, shading_table_index, permutation);
	return NULL;
}

void *get_blend_table(int16 collection_index)
{
	LEAST("get_blend_table", collection_index);
	return NULL;
}

void *get_remapping_table(int16 collection_index)
{
	LEAST("get_remapping_table", collection_index);
	return NULL;
}

void *get_transparency_table(int16 transparency_mode)
{
	LEAST("get_transparency_table", transparency_mode);
	return NULL;
}

uint8 *get_submesh_bitmap_base_address(int16 collection_index, int16 bitmap_index, boolean write_enable)
{
	LEAST("get_submesh_bitmap_base_address", collection_index, bitmap_index, write_enable);
	return NULL;
}

boolean verify_sequence_index(int16 collection_index, int16 sequence_index)
{
	LEAST("verify_sequence_index", collection_index, sequence_index);
	return FALSE;
}

void preload_sequence_index(int16 collection_index, int16 sequence_index, boolean *had_to_purge)
{
	LEAST("preload_sequence_index", collection_index, sequence_index, had_to_purge);
	if (had_to_purge) *had_to_purge = FALSE;
}

void preload_submesh_cache(void)
{
	LEAST("preload_submesh_cache");
}

void equalize_sequence_collision_rectangles(int16 collection_index, int16 primary_sequence_index,
	int16 secondary_sequence_index)
{
	LEAST("equalize_sequence_collision_rectangles", collection_index, primary_sequence_index,
		secondary_sequence_index);
}

void report_preloaded_bitmaps(file_tag mesh_tag, file_tag preload_subgroup)
{
	LEAST("report_preloaded_bitmaps", mesh_tag, preload_subgroup);
}

int16 add_shading_table_to_collection_index(int16 collection_index, const rgb_color *replacement_colors, int16 mode,
	fixed_fraction tint_fraction, const rgb_color *tint_color)
{
	LEAST("add_shading_table_to_collection_index", collection_index, replacement_colors, mode, tint_fraction,
		tint_color);
	return 0;
}

int16 add_adjusted_shading_table_to_collection_index(int16 collection_index, const rgb_color *replacement_colors,
	const rgb_color *primary_color, const rgb_color *secondary_color, int16 mode, boolean use_global_tint,
	fixed_fraction tint_fraction, const rgb_color *tint_color)
{
	LEAST("add_adjusted_shading_table_to_collection_index", collection_index, replacement_colors, primary_color,
		secondary_color, mode, use_global_tint, tint_fraction, tint_color);
	return 0;
}

int16 add_shading_table_to_mesh(int16 collection_index, fixed_fraction dark_color_fraction, const rgb_color *dark_color,
	int16 transition_point, fixed_fraction light_color_fraction, const rgb_color *light_color)
{
	LEAST("add_shading_table_to_mesh", collection_index, dark_color_fraction, dark_color, transition_point,
		light_color_fraction, light_color);
	return 0;
}

boolean add_blend_table_to_collection_index(int16 collection_index)
{
	LEAST("add_blend_table_to_collection_index", collection_index);
	return TRUE;
}

void set_shading_table_permutation_data(int16 permutation_index, int16 mode, fixed_fraction tint_fraction,
	const rgb_color *tint_color)
{
	LEAST("set_shading_table_permutation_data", permutation_index, mode, tint_fraction, tint_color);
}

void set_global_tint_color(const rgb_color *tint_color, fixed_fraction tint_fraction)
{
	LEAST("set_global_tint_color", tint_color, tint_fraction);
}

int16 custom_collection_reference(int16 collection_reference_index, const rgb_color *primary_color,
	const rgb_color *secondary_color, boolean use_global_tint)
{
	LEAST("custom_collection_reference", collection_reference_index, primary_color, secondary_color,
		use_global_tint);
	return collection_reference_index;
}

int16 get_collection_reference_permutation(int16 collection_reference_index, int16 color_table_index)
{
	LEAST("get_collection_reference_permutation", collection_reference_index, color_table_index);
	return 0; // no permutation holds the table
}
