// No map can be loaded yet: headers cannot be read and a map start answers
// what a test asks for (no map by default).
#include "mesh.h"

#include "zerv.h"

static mesh_test_hooks_data mesh_test_hooks = {FALSE, 0, static_cast<file_tag>(NONE), 0, NONE, 0};

void initialize_mesh(void) {}

boolean initialize_mesh_for_new_map(file_tag mesh_tag)
{
	mesh_test_hooks.initialize_for_new_map_count += 1;
	mesh_test_hooks.last_mesh_tag = mesh_tag;
	return mesh_test_hooks.initialize_for_new_map_answer;
}

void dispose_mesh_from_old_map(void)
{
	mesh_test_hooks.dispose_count += 1;
	mesh_test_hooks.state_at_last_dispose = game ? game->state : static_cast<int16>(NONE);
}

boolean read_mesh_header(file_tag, mesh_header *header)
{
	mesh_test_hooks.read_mesh_header_count += 1;
	if (header) memset(header, 0, sizeof(*header));
	return FALSE;
}

void initialize_media_definitions(void) {}

void initialize_media_definitions_for_new_map(void) {}

void dispose_media_definitions_from_old_map(void) {}

int16 media_definition_tag_to_index(file_tag) { return NONE; }

mesh_test_hooks_data *get_mesh_test_hooks(void)
{
	return &mesh_test_hooks;
}

void reset_mesh_test_hooks(void)
{
	mesh_test_hooks = {};
	mesh_test_hooks.last_mesh_tag = static_cast<file_tag>(NONE);
	mesh_test_hooks.state_at_last_dispose = NONE;
}
