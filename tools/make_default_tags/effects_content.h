// The default set's visual effects and world pieces the first level shows:
// the particle collection 'ptcl' and its reference, the local physics
// ('phys') and particle groups ('lpgr'), the gate's three models and its
// animation ('anim' 'gate'), the shrine and its lamp, and the rippling water
// 'rwtr'. Written through the engine's records and descriptors.
#ifndef EFFECTS_CONTENT_H
#define EFFECTS_CONTENT_H

#include <vector>

#include "cseries.h"
#include "collections_content.h"
#include "local_projectiles.h"
#include "model_animations.h"

#define PARTICLE_COLLECTION_TAG TAG("ptcl")
#define PARTICLE_REFERENCE_TAG TAG("ptcl")

enum // sequences of the particle collection
{
	_particle_blood_sequence,
	_particle_debris_sequence,
	_particle_spark_sequence,
	_particle_flame_sequence,
	_particle_smoke_sequence,
	_particle_ripple_sequence,
	_particle_swirl_sequence,
	_particle_dust_sequence,
	_particle_scorch_sequence,
	NUMBER_OF_PARTICLE_SEQUENCES
};

enum // the weather's sequences, after the particles' own so those keep their pictures
{
	_particle_rain_streak_sequence = NUMBER_OF_PARTICLE_SEQUENCES,
	_particle_bolt_fork_sequence,
	_particle_bolt_main_sequence,
	_particle_ring_sequence,
	_particle_bolt_glow_sequence,
	NUMBER_OF_PARTICLE_COLLECTION_SEQUENCES
};

#define GATE_CLOSED_MODEL_TAG TAG("gat0")
#define GATE_HALF_OPEN_MODEL_TAG TAG("gat1")
#define GATE_OPEN_MODEL_TAG TAG("gat2")
#define GATE_ANIMATION_TAG TAG("gate")
#define SHRINE_MODEL_TAG TAG("shrn")
#define SHRINE_LAMP_SCENERY_TAG TAG("lamp")
#define SHRINE_LAMP_OBJECT_TAG TAG("lamp")
#define RIPPLING_WATER_MEDIA_TAG TAG("rwtr")
#define VALLEY_LAKE_MEDIA_TAG TAG("vwtr")
#define SWIRL_GROUP_TAG TAG("swrl")
#define RIPPLE_GROUP_TAG TAG("rppl")
#define RIPPLE_SPLASH_GROUP_TAG TAG("rspl")
#define SPLASH_RIPPLE_GROUP_TAG TAG("srpl")

collection_description particle_collection(void);
// Native definitions, as the generator writes them.
local_physics_definition default_local_physics(file_tag subgroup);
local_projectile_group_definition default_local_projectile_group(file_tag subgroup);
model_animation_definition gate_animation(void);
// Stored tag data.
std::vector<uint8> local_physics_tag_data(const local_physics_definition &definition);
std::vector<uint8> local_projectile_group_tag_data(const local_projectile_group_definition &definition);
std::vector<uint8> gate_animation_tag_data(void);

struct effects_tag_entry
{
	file_tag subgroup_tag;
	const char *name;
};
extern const effects_tag_entry default_local_physics_tags[];
extern const int32 number_of_default_local_physics_tags;
extern const effects_tag_entry default_local_projectile_group_tags[];
extern const int32 number_of_default_local_projectile_group_tags;

// Every tag above as a local tag; appends the handles.
bool make_default_effects_tags(std::vector<int32> *handles);

#endif
