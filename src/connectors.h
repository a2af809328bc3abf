// Connectors: fences, ropes and chains strung between scenery posts; they
// block the cells along each span and break where a post goes.
#ifndef CONNECTORS_H
#define CONNECTORS_H

#include "cseries.h"
#include "world_units.h"
#include "data.h"
#include "connector_definitions.h"

struct saved_connector_data;
struct view_data;
struct mesh_region;
struct zerv_digest;

#define MAXIMUM_CONNECTORS_PER_MAP 32
#define MAXIMUM_NUMBER_OF_CONNECTOR_OBJECTS 31
#define MINIMUM_VIEW_DISTANCE 34

enum // connector object flags
{
	_connector_object_linked_to_next_object_bit,
	_connector_object_linked_to_next_object_flag = FLAG(_connector_object_linked_to_next_object_bit)
};

struct connector_object
{
	uint16 flags;
	int16 object_index;
	int16 object_identifier;
	world_point2d location; // the post's last known position
};

struct connector_data
{
	int16 identifier;
	int16 type;
	int16 color_table_index;
	int16 connector_count;
	connector_object objects[MAXIMUM_NUMBER_OF_CONNECTOR_OBJECTS];
};

struct connector_object_id
{
	int16 object_index;
	int16 object_identifier;
};

struct new_connector_data
{
	int16 type;
	connector_object_id object_id[MAXIMUM_NUMBER_OF_CONNECTOR_OBJECTS];
	int16 connector_count;
};

extern datum_globals connector_array; // "connectors"

void initialize_connectors(void);
boolean initialize_connectors_for_new_map(void);
void dispose_connectors_from_old_map(void);
void create_connectors_for_new_map(void);
void update_connectors(void);

connector_data *get_connector_data(int16 connector_index);
int16 new_connector(const new_connector_data *data);
int16 new_connector_from_saved_data(int16 type, const saved_connector_data *saved);
void delete_connector(int16 connector_index);
void kill_cells_for_connector(int16 connector_index, boolean impassable);
// Reports each changed cell once, in walk order.
void set_cells_between_points(const world_point2d *p0, const world_point2d *p1, boolean impassable);

void build_connector_surface_list(view_data *view, const mesh_region *region);
void render_connector(view_data *view, const world_point3d *p0, const world_point3d *p1, int16 collection_index,
	int16 sequence_index, int16 color_table_index, boolean reflective);

struct connectors_test_hooks_data
{
	int32 pieces_rendered;
	int32 reflections_rendered;
};
connectors_test_hooks_data *get_connectors_test_hooks(void);
void reset_connectors_test_hooks(void);

void fold_connectors_digest(zerv_digest *digest);

#endif
