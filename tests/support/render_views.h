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
// object, that object's owner and place (NONE and (0, 0) for a sprite of no
// object).
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

// A quad of the last frame laid along an object's flight (an arrow, a spark):
// its corners on the screen and its texture. Only quads wholly in front of
// the eye are listed.
struct drawn_quad
{
	point2d corners[4];
	bitmap_identifier texture;
};

// The last frame's object quads of one collection's bitmap.
std::vector<drawn_quad> drawn_quads(int16 collection, int16 bitmap);

// Which pixels a count takes as of a sprite's hue, from their 8-bit channels.
typedef bool (*pixel_hue)(int32 red, int32 green, int32 blue);

// The effects' hues: smoke's grey (neither dark nor of any hue), the bomb
// glow's cyan, an arrow's wood and red vanes, and its light steel head and
// white feathers.
bool smoke_grey(int32 red, int32 green, int32 blue);
bool glow_cyan(int32 red, int32 green, int32 blue);
bool arrow_warm(int32 red, int32 green, int32 blue);
bool arrow_light(int32 red, int32 green, int32 blue);

// A sprite's rectangle counted as above, with the hue test given.
sprite_pixels count_sprite_pixels(const bitmap_data *frame, const render_rectangle_geometry &g, pixel_hue hue);

// A 32-bit frame's pixels, row after row.
std::vector<uint32> frame_pixels(const bitmap_data *frame);

// A quad's pixels in a 32-bit frame, clipped to it, counted as above. With
// beneath (the frame_pixels of the same view drawn without the quad's
// object), only the pixels that differ from it count: those the quad drew;
// and only those it made near-black count as such.
sprite_pixels count_quad_pixels(const bitmap_data *frame, const drawn_quad &quad, pixel_hue hue,
	const std::vector<uint32> *beneath = nullptr);

// Whether an object is a projectile of the type.
bool is_projectile_of_type(int16 object_index, int16 projectile_type);

// Kills a unit that carries bombs (the demo's bomb throwers) with a fire's
// blow, as a burning field does: it drops its bombs alight. Returns where it
// stood, or false when no unit carries any.
bool burn_a_bomb_thrower(world_point2d *spot);

// Runs the game until an arrow flies, at most max_ticks; false when none was
// shot by then. Puts the camera, at the zoom, on the first arrow in flight.
bool run_to_the_first_arrow(int32 max_ticks);
void follow_an_arrow(fixed zoom);

// Hides the objects drawn from a collection's sequence, giving back those it
// hid, and shows those again: a frame drawn between the two is the same view
// without them.
std::vector<int16> hide_objects_of_sequence(int16 collection, int16 sequence);
void show_objects(const std::vector<int16> &objects);

// Puts the camera, at the zoom, just short of the first glowing bomb (an
// object of the effects collection's glow sequence) in flight; where none
// flies, it stays.
void follow_a_glowing_bomb(int16 effects, int16 glow_sequence, fixed zoom);
// Runs the game until a thrown bomb's glow flies (a sleeping bomb does not
// count), at most max_ticks; false when none was thrown by then.
bool run_to_the_first_thrown_bomb(int16 effects, int16 glow_sequence, int32 max_ticks);

#endif
