// Helpers shared by the tests that draw whole views of a loaded map.
#ifndef RENDER_VIEWS_H
#define RENDER_VIEWS_H

#include <string>
#include <vector>

#include "CoreLibrary/zerv/world_units.h"
#include "render/render.h"

struct bitmap_data;
struct view_data;

// Starts the map (the demo with two sides, or a battle map) for its frames.
// Footprints darken the shadow map through the machine's own stream, which
// the clock seeds: it is fixed here, so that the frames are the same in any
// process. False where the map does not start.
bool start_map_for_frames(file_tag map_tag);

// The centre of the loaded map's animated lake, in world units; (0, 0) without one.
world_point2d animated_lake_centre(void);

// The camera's view into the screen bitmap, ready for render_scene.
void prepare_observer_view(view_data *view, bitmap_data *screen, int32 elapsed_ticks = 0);

// With ZERV_DUMP_FRAMES=folder, writes a 32-bit bitmap there as name.ppm for a look.
void dump_frame_when_asked(const bitmap_data *bitmap, const std::string &name);

// An object sprite of the last frame: where it was drawn, from what, and its
// object's owner and place (NONE and (0, 0) for a sprite of no object).
struct drawn_sprite
{
	render_rectangle_geometry geometry;
	bitmap_identifier texture;
	int8 owner;
	world_point2d position;
	int16 object_index;
};

// The last frame's object sprites: all of them, or those from the collection.
std::vector<drawn_sprite> drawn_sprites(void);
std::vector<drawn_sprite> drawn_sprites(int16 collection);

// A sprite's rectangle in a 32-bit frame, clipped to it: its pixels, the
// near-black ones, and those of the sprite's own hue (the glow's cyan, or
// else the flash's and the sparks' yellow).
struct sprite_pixels
{
	int32 area, black, hue;
};

sprite_pixels count_sprite_pixels(const bitmap_data *frame, const render_rectangle_geometry &g, bool cyan);

// Puts the camera, at the zoom, just short of the first glowing bomb (an
// object of the effects collection's glow sequence) in flight; where none
// flies, it stays.
void follow_a_glowing_bomb(int16 effects, int16 glow_sequence, fixed zoom);
// Runs the game until a thrown bomb's glow flies (a sleeping bomb does not
// count), at most max_ticks; false when none was thrown by then.
bool run_to_the_first_thrown_bomb(int16 effects, int16 glow_sequence, int32 max_ticks);

#endif
