// The object surface builders: sprites as bitmap rectangles or quads with
// their shadows, selection frames, vitality and mana bars and labels; 3D
// objects through the model path; and the player interface's local sprites.
#ifndef RENDER_OBJECTS_H
#define RENDER_OBJECTS_H

#include "cseries.h"
#include "world_units.h"

struct view_data;
struct mesh_region;
struct object_data;
struct render_rectangle;

/* ---------- constants */

#define MAXIMUM_LOCAL_SPRITES 126
#define LOCAL_SPRITE_SOLID_TIME 7 // ticks a delayed removal still draws

#define SELECTION_SURFACE_TRANSPARENCY 21845
#define MOUSEOVER_SELECTION_SURFACE_TRANSPARENCY 43690
#define SUBMERGED_SELECTION_SURFACE_TRANSPARENCY 54612
#define SELECTION_FRAME_WIDTH 1

#define VITALITY_BAR_WIDTH 6
#define VITALITY_BAR_SEPARATION 2
#define VITALITY_BAR_CAP_HEIGHT 2
#define MANA_BAR_HEIGHT 6
#define MANA_BAR_SEPARATION 2

#define SUBMERGED_GHOST_TRANSPARENCY 32768
#define PROJECTILE_GHOST_TRANSPARENCY 54614
#define SUBMERGED_SECOND_RECTANGLE_TRANSPARENCY 57344
#define MINIMUM_OBJECT_DEPTH (-34) // viewer depths at or above this are not drawn
#define OBJECT_GEOMETRY_NONE 255

enum // vitality bar pieces
{
	_bar_footer,
	_bar_empty,
	_bar_header
};

enum // remove_local_sprites modes
{
	_remove_local_sprites_delayed,
	_remove_local_sprites_immediately
};

/* ---------- local sprites */

struct local_sprite_data
{
	int16 collection_index;
	int16 sequence_index;
	world_location3d location;
};

struct local_sprite_globals_data
{
	int16 count;
	int32 fade_out_start_time; // game local time, -1 while none is pending
	local_sprite_data sprites[MAXIMUM_LOCAL_SPRITES];
};

extern local_sprite_globals_data *local_sprite_globals;

void initialize_local_sprites(void);
void initialize_local_sprites_for_new_map(void);
void new_local_sprite(const world_point3d *location, int16 collection_index, int16 sequence_index);
void remove_local_sprites(int16 mode);

/* ---------- builders */

void build_objects_surface_list(view_data *view, mesh_region *region);
// object_index -1: a local sprite.
void build_render_object(view_data *view, mesh_region *region, boolean reflection, boolean fully_visible,
	boolean under_media, object_data *object, int16 object_index);
void add_selection_surfaces_to_buckets(view_data *view, int16 object_index, const short_world_point3d *transformed_position,
	world_distance precise_z, int16 x0, int16 y0, int16 x1, int16 y1, int16 clip_top, int16 clip_bottom,
	fixed_fraction transparency, boolean show_selection);
// Modes outside 0-7 change nothing.
void affect_rectangle_transfer_mode(render_rectangle *rectangle, int16 transfer_mode, uint16 transfer_phase);

/* ---------- what the builders read of a unit */

enum // a unit as the local player sees it
{
	_unit_relation_unfriendly,
	_unit_relation_friendly,
	_unit_relation_owned
};

struct render_unit_data
{
	int16 team_index; // NONE without a team
	int16 relation;
	int16 monster_class;
	boolean controllable;
	boolean berserk_or_confused;
	boolean ambient_life;
	boolean targetable_if_ambient;
	boolean hunted;
	boolean netgame_target;
	boolean mana_hidden;
	boolean enemies_cant_see_mana;
	short_fixed mana, maximum_mana; // maximum 0: no mana bar
	int16 overhead_text_index; // NONE without a label
};

// FALSE when the index holds no unit.
typedef boolean (*render_unit_data_proc)(int16 monster_index, render_unit_data *data);
boolean get_render_unit_data(int16 monster_index, render_unit_data *data);

/* ---------- test hooks */

struct render_objects_test_hooks_data
{
	// Answers in place of the unit records when set.
	render_unit_data_proc unit_data;
	// Overrides of the caps-lock key and the game's option flags (NONE: the real ones).
	int16 caps_lock_held;
	int32 rectangles_built; // object rectangles of the last frames
};

render_objects_test_hooks_data *get_render_objects_test_hooks(void);
void reset_render_objects_test_hooks(void);

#endif
