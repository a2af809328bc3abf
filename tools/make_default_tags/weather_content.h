// The default set's weather and strikes: the wind ('wind' 'gust'), rain
// ('part' 'rain'), the terrain shockwave ('meef' 'shok'), the bolt
// ('ligh' 'bolt') and the lightning caster's projectile ('proj' 'bolt') with
// its thunderclap group ('prgr' 'thnd'), written through the engine's
// records and descriptors.
#ifndef WEATHER_CONTENT_H
#define WEATHER_CONTENT_H

#include <vector>

#include "cseries.h"
#include "lightning.h"
#include "mesh.h"
#include "mesh_effects.h"
#include "particle_system.h"
#include "projectile_definitions.h"
#include "projectile_group_definitions.h"
#include "wind.h"

#define DEFAULT_GUST_WIND_TAG TAG("gust")
#define DEFAULT_RAIN_PARTICLE_SYSTEM_TAG TAG("rain")
#define DEFAULT_SHOCK_MESH_EFFECT_TAG TAG("shok")
#define DEFAULT_BOLT_LIGHTNING_TAG TAG("bolt")
#define DEFAULT_BOLT_PROJECTILE_TAG TAG("bolt")
#define DEFAULT_THUNDER_GROUP_TAG TAG("thnd")
#define DEFAULT_RIPPLE_LOCAL_GROUP_TAG TAG("rppl")

wind_definition default_gust_wind(void);
particle_system_definition default_rain_particle_system(void);
mesh_effect_definition default_shock_mesh_effect(void);
lightning_definition default_bolt_lightning(void);
projectile_definition default_bolt_projectile(void);
projectile_group_definition default_thunder_group(void);

// The groups this module writes.
bool is_default_weather_content_group(file_tag group_tag);

// Every tag of these groups as local tags; appends the handles.
bool make_default_weather_tags(std::vector<int32> *handles);

// What the first level takes of it: the header's fire flag, wind and rain.
// The level's burning meadow and casters are its own map's cells and markers.
void add_first_level_weather(mesh_header *header);

#endif
