// The veteran store: units that survived a game, written at its end and
// placed again by the next map's veteran placements; 40-byte big-endian
// records on the wire and in films.
#ifndef MONSTER_INITIALIZERS_H
#define MONSTER_INITIALIZERS_H

#include "cseries.h"
#include "monsters.h"

struct new_player_data;
struct zerv_digest;

// The four 32-bit fields swapped, bytes 16-39 copied as they are.
inline constexpr byte_swap_code monster_initializer_bs_data[] = {
	_begin_bs_array, 1, _4byte, _4byte, _4byte, _4byte, 24, _end_bs_array};

struct monster_initializer_globals_data
{
	int16 count;
	int16 backup_count;
	monster_initializer *data; // MAXIMUM_MONSTER_INITIALIZERS_PER_MAP records
	monster_initializer *backup_data;
};

extern monster_initializer_globals_data *monster_initializer_globals;

void adjust_monster_initializers_for_coop(int16 player_count, const new_player_data *players, int16 maximum);
int compare_monster_initializers(const void *a, const void *b);

void fold_monster_initializers_digest(zerv_digest *digest);

#endif
