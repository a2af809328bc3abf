// Fog of war: what the local side sees, two bits per mesh cell, rebuilt from
// the units' sight circles every 64 ticks. Written inside the tick but read
// only by rendering, the overhead map, object sounds and local groups; it is
// per machine and stays out of the state digest.
#ifndef MONSTER_VISIBILITY_H
#define MONSTER_VISIBILITY_H

#include "cseries.h"
#include "bitmaps.h"
#include "monsters.h"

// The cell bits as the renderer names them.
enum
{
	_far_visibility_flag = _visibility_flag,
	// _close_visibility_flag is monsters.h's.
};

struct visibility_type_data
{
	int16 inner_radius, outer_radius; // cells
	int32 bitmap_offset; // into the bitmap block; NONE before the block is built
};

// Rows sit one after another after the bitmap header; offsets, not pointers,
// so the block has one size on both builds.
struct visibility_bitmap_row
{
	int16 horizontal_origin; // first cell, from the bitmap's left edge
	int16 width; // cells
	// followed by (width + 15) / 16 + 1 words: 2 bits a cell, first cell lowest;
	// the last word is always 0 so a shifted read never leaves the row.
};

struct visibility_bitmap
{
	int16 radius; // outer radius R
	int16 diameter; // 2R + 1 rows
	// followed by diameter int32 row offsets from the start of the block
};

struct visibility_globals_data
{
	boolean initialized;
	point2d center_of_visibility_buffer; // cells
	int32 cumulative_x0, cumulative_y0;
	int16 number_of_visibility_bitmaps_rasterized;
	int32 buffer_size; // bytes
	uint32 *back_buffer;
	uint32 *front_buffer;
	uint32 *permanent_buffer;
};

extern visibility_globals_data visibility_globals;
extern visibility_type_data visibility_types[NUMBER_OF_VISIBILITY_BITMAPS];

// The built bitmap of a kind, NULL when the block could not be made or the kind is out of range.
const visibility_bitmap *get_visibility_bitmap(int16 kind);
const visibility_bitmap_row *get_visibility_bitmap_row(const visibility_bitmap *bitmap, int16 row);
// Cell k of a row (0..3).
int16 get_visibility_bitmap_cell(const visibility_bitmap_row *row, int16 k);
// The bytes the bitmap block uses.
int32 get_visibility_bitmap_block_size(void);

// CRC-32 of the front and permanent buffers and the centre; 0 without buffers.
uint32 monster_visibility_digest(void);

// Test hooks: the block can be made to fail at start-up.
struct monster_visibility_test_hooks_data
{
	boolean fail_bitmap_block;
	int32 refused_stamps;
};
monster_visibility_test_hooks_data *get_monster_visibility_test_hooks(void);
void reset_monster_visibility_test_hooks(void);
// Frees and rebuilds the bitmap block (honouring fail_bitmap_block).
void rebuild_visibility_bitmaps_for_tests(void);

#endif
