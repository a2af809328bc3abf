// The default set's unit kinds: 'mons', 'unit' and 'obje' of four kinds that
// share a subgroup, their spellings, the shared names list and the scout's
// blade, written through the engine's records and descriptors.
#ifndef UNITS_CONTENT_H
#define UNITS_CONTENT_H

#include <vector>

#include "cseries.h"
#include "monster_definitions.h"
#include "object_definitions.h"
#include "unit_definitions.h"

#define DEFAULT_SWORDSMAN_TAG TAG("sold")
#define DEFAULT_ARCHER_TAG TAG("arch")
#define DEFAULT_THROWER_TAG TAG("thrw")
#define DEFAULT_SCOUT_TAG TAG("scou")
#define DEFAULT_SCOUT_BLADE_PROJECTILE_TAG TAG("scbl")
#define DEFAULT_UNIT_NAMES_STRING_LIST_TAG TAG("unmn")
// Blood and remains: the kinds' dying, exploding and melee impact groups.
#define DEFAULT_BLOODY_CHUNK_PROJECTILE_TAG TAG("chnk")
#define DEFAULT_BLOOD_DROP_PROJECTILE_TAG TAG("drop")
#define DEFAULT_UNIT_DYING_GROUP_TAG TAG("udie")
#define DEFAULT_UNIT_EXPLODING_GROUP_TAG TAG("uexp")
#define DEFAULT_BLOOD_GROUP_TAG TAG("blod")
#define NUMBER_OF_DEFAULT_UNIT_KINDS 4
// The lightning caster: generated, but outside the armies' kinds; only the
// levels that name it in their palettes field it.
#define DEFAULT_CASTER_TAG TAG("cast")
#define DEFAULT_CASTER_SPELLING_TAG TAG("spca")
#define DEFAULT_CASTER_KIND NUMBER_OF_DEFAULT_UNIT_KINDS
#define NUMBER_OF_GENERATED_UNIT_KINDS (NUMBER_OF_DEFAULT_UNIT_KINDS + 1)
#define NUMBER_OF_DEFAULT_UNIT_NAMES 32

extern const file_tag default_unit_kind_tags[NUMBER_OF_DEFAULT_UNIT_KINDS];
extern const file_tag default_unit_spelling_tags[NUMBER_OF_DEFAULT_UNIT_KINDS];

// The records of kind k (0 swordsman, 1 archer, 2 bomb thrower, 3 scout, 4 lightning caster).
monster_definition default_unit_monster_definition(int16 kind);
unit_definition default_unit_definition(int16 kind);
object_definition default_unit_object_definition(int16 kind);
// Stored 'mons' bytes: the record through its descriptor, the attacks through theirs.
std::vector<uint8> stored_monster_definition_bytes(const monster_definition &definition);

// Ambient life: four harmless kinds outside the fighting kinds, each naming
// its own map action ('chic', 'deer', 'peas', 'soar' are also the subgroups).
#define NUMBER_OF_AMBIENT_LIFE_UNIT_KINDS 4
extern const file_tag ambient_life_unit_kind_tags[NUMBER_OF_AMBIENT_LIFE_UNIT_KINDS];
monster_definition ambient_life_monster_definition(int16 kind);
object_definition ambient_life_object_definition(int16 kind);

// The groups this module writes.
bool is_default_unit_content_group(file_tag group_tag);

// Every tag as local tags; appends the handles.
bool make_default_unit_tags(std::vector<int32> *handles);

#endif
