// The default set's object definitions ('obje') and its models: the
// stone hut ('geom' and 'mode' 'hut ') and the thatched cottage ('cott'), written through the engine's records
// and descriptors so the same bytes come out on every build.
#ifndef OBJECTS_CONTENT_H
#define OBJECTS_CONTENT_H

#include <cstdio>
#include <vector>

#include "cseries.h"
#include "geometry.h"
#include "object_definitions.h"

#define DEFAULT_BODY_OBJECT_TAG TAG("body")
#define DEFAULT_ARROW_OBJECT_TAG TAG("arro")
#define DEFAULT_BOMB_OBJECT_TAG TAG("bomb")
#define DEFAULT_EFFECT_OBJECT_TAG TAG("efct")
#define DEFAULT_DEBRIS_OBJECT_TAG TAG("debr")
#define DEFAULT_TREE_OBJECT_TAG TAG("tree")
#define DEFAULT_ROCK_OBJECT_TAG TAG("rock")
#define DEFAULT_POST_OBJECT_TAG TAG("post")
#define DEFAULT_HUT_MODEL_TAG TAG("hut ")

// The hut, 1024 x 1024 x 512, upright at yaw 16384 and pitch 49152.
#define HUT_MODEL_YAW 16384
#define HUT_MODEL_PITCH 49152
// The thatched cottage, 768 x 512 under a roof ridged at 640, placed as the hut.
#define DEFAULT_COTTAGE_MODEL_TAG TAG("cott")

struct default_object_entry
{
	file_tag subgroup_tag;
	const char *name;
	object_definition (*make)(void);
};

extern const default_object_entry default_objects[];
extern const int32 number_of_default_objects;

// Stored tag data: 'obje' of a definition, and the hut's 'geom' and 'mode'.
std::vector<uint8> object_definition_tag_data(const object_definition &definition);
std::vector<uint8> hut_geometry_tag_data(void);
std::vector<uint8> hut_model_tag_data(void);
std::vector<uint8> cottage_geometry_tag_data(void);
// A surface of a geometry (material 0), its corners turned clockwise seen
// from the normal's side; and the 'geom' data of such surfaces.
geometry_surface model_surface(const short_world_point3d *points, const world_vector3d &normal, int32 d, int16 a,
	int16 b, int16 c);
// A material drawn from a sequence of the scenery collection.
geometry_material textured_material(const char *name, int16 sequence_index);
std::vector<uint8> geometry_tag_data(const std::vector<geometry_material> &materials, const short_world_point3d *points,
	int16 point_count, const std::vector<geometry_surface> &surfaces, int16 height);
std::vector<uint8> cottage_model_tag_data(void);

// Every 'obje' tag and the hut pair as local tags; appends the handles.
bool make_default_object_tags(std::vector<int32> *handles);
// Prints the 'obje', 'geom' and 'mode' tags of the foundation files under
// directory/tags, one line each; false when a file cannot be read.
bool list_default_object_tags(const char *directory, FILE *out);

#endif
