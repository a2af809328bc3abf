// The default set's scenery ('scen'), fence ('conn'), projectiles ('proj'),
// projectile groups ('prgr') and artifact ('arti'), written through the
// engine's records and descriptors.
#ifndef PROJECTILES_CONTENT_H
#define PROJECTILES_CONTENT_H

#include <cstdio>
#include <vector>

#include "cseries.h"
#include "artifact_definitions.h"
#include "connector_definitions.h"
#include "projectile_definitions.h"
#include "projectile_group_definitions.h"
#include "scenery_definitions.h"

#define DEFAULT_TREE_SCENERY_TAG TAG("tree")
#define DEFAULT_ROCK_SCENERY_TAG TAG("rock")
#define DEFAULT_POST_SCENERY_TAG TAG("post")
#define DEFAULT_FENCE_CONNECTOR_TAG TAG("fenc")
#define DEFAULT_ARROW_PROJECTILE_TAG TAG("arro")
#define DEFAULT_SWORD_PROJECTILE_TAG TAG("swrd")
#define DEFAULT_BOMB_PROJECTILE_TAG TAG("bomb")
#define DEFAULT_FLASH_PROJECTILE_TAG TAG("flsh")
#define DEFAULT_SPARK_PROJECTILE_TAG TAG("sprk")
#define DEFAULT_BOOM_GROUP_TAG TAG("boom")
#define DEFAULT_CHIP_GROUP_TAG TAG("chip")
#define DEFAULT_SPLASH_GROUP_TAG TAG("splh")
#define DEFAULT_FLASK_ARTIFACT_TAG TAG("flsk")
// The flags of flag games: a banner that stands (capture the flag) and a ball
// that units push around (cattle drive), its dormant projectile of the same tag.
#define DEFAULT_BANNER_SCENERY_TAG TAG("banr")
#define DEFAULT_BALL_SCENERY_TAG TAG("ball")
#define DEFAULT_BALL_PROJECTILE_TAG TAG("ball")

scenery_definition default_tree_scenery(void);
scenery_definition default_rock_scenery(void);
scenery_definition default_post_scenery(void);
scenery_definition default_banner_scenery(void);
scenery_definition default_ball_scenery(void);
projectile_definition default_ball_projectile(void);
connector_definition default_fence_connector(void);
projectile_definition default_arrow_projectile(void);
projectile_definition default_bomb_projectile(void);
projectile_group_definition default_boom_group(void);
artifact_definition default_flask_artifact(void);

// Stored bytes of one record through its descriptor.
std::vector<uint8> stored_record_bytes(const void *record, int32 size, const byte_swap_code *codes);

// The groups this module writes (listed with the objects).
bool is_default_projectile_content_group(file_tag group_tag);

// Every tag of these groups as local tags; appends the handles.
bool make_default_projectile_tags(std::vector<int32> *handles);

#endif
