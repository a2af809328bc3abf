// The default set's object definitions ('obje') and its one model: the
// stone hut ('geom' and 'mode' 'hut '), written through the engine's records
// and descriptors so the same bytes come out on every build.
#ifndef OBJECTS_CONTENT_H
#define OBJECTS_CONTENT_H

#include <cstdio>
#include <vector>

#include "cseries.h"
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

// Every 'obje' tag and the hut pair as local tags; appends the handles.
bool make_default_object_tags(std::vector<int32> *handles);
// Prints the 'obje', 'geom' and 'mode' tags of the foundation files under
// directory/tags, one line each; false when a file cannot be read.
bool list_default_object_tags(const char *directory, FILE *out);

#endif
