// The veteran store: survivors of a game kept as 40-byte records, placed
// again by veteran placements, sent to cooperative peers and into films.
#include "monster_initializers.h"

#include <cstring>

#include "collection_references.h"
#include "error_manager.h"
#include "memory.h"
#include "objects.h"
#include "players.h"
#include "quicksort.h"
#include "zerv.h"

static_assert(get_byte_swap_struct_size(monster_initializer_bs_data) == MONSTER_INITIALIZER_STORED_SIZE);
static_assert(offsetof(monster_initializer, experience) == 16 && offsetof(monster_initializer, name) == 22);

monster_initializer_globals_data *monster_initializer_globals = nullptr;

#define MAXIMUM_MONSTER_INITIALIZER_BYTES (MAXIMUM_MONSTER_INITIALIZERS_PER_MAP * MONSTER_INITIALIZER_STORED_SIZE)

void initialize_monster_initializers(void)
{
	if (monster_initializer_globals)
	{
		// Start-up again in one process: keep the blocks, empty the store.
		monster_initializer_globals->count = monster_initializer_globals->backup_count = 0;
		return;
	}
	monster_initializer_globals = static_cast<monster_initializer_globals_data *>(new_pointer_z(sizeof(monster_initializer_globals_data)));
	if (!monster_initializer_globals)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate monster initializer globals");
		return;
	}
	monster_initializer_globals->data = static_cast<monster_initializer *>(new_pointer_z(MAXIMUM_MONSTER_INITIALIZER_BYTES));
	if (!monster_initializer_globals->data)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate monster initializer data");
		return;
	}
	monster_initializer_globals->backup_data = static_cast<monster_initializer *>(new_pointer_z(MAXIMUM_MONSTER_INITIALIZER_BYTES));
	if (!monster_initializer_globals->backup_data)
	{
		error_message(_error_out_of_memory, MODULE_NAME, __LINE__, "couldn't allocate monster initializer backup data");
		return;
	}
}

static boolean store_ready(void)
{
	return monster_initializer_globals && monster_initializer_globals->data && monster_initializer_globals->backup_data;
}

void reset_monster_initializers(void)
{
	if (monster_initializer_globals) monster_initializer_globals->count = 0;
}

void mark_monster_initializers_as_unused(void)
{
	if (!store_ready()) return;
	for (int16 i = 0; i < monster_initializer_globals->count; ++i) monster_initializer_globals->data[i].flags = 0;
}

void backup_monster_initializers(void)
{
	if (!store_ready()) return;
	monster_initializer_globals->backup_count = monster_initializer_globals->count;
	memcpy(monster_initializer_globals->backup_data, monster_initializer_globals->data, MAXIMUM_MONSTER_INITIALIZER_BYTES);
}

void restore_monster_initializers_from_backup(void)
{
	if (!store_ready()) return;
	monster_initializer_globals->count = monster_initializer_globals->backup_count;
	memcpy(monster_initializer_globals->data, monster_initializer_globals->backup_data, MAXIMUM_MONSTER_INITIALIZER_BYTES);
}

int compare_monster_initializers(const void *a, const void *b)
{
	const monster_initializer *first = static_cast<const monster_initializer *>(a);
	const monster_initializer *second = static_cast<const monster_initializer *>(b);
	return static_cast<int>(second->experience) - static_cast<int>(first->experience);
}

void build_monster_initializers(void)
{
	if (!store_ready()) return;
	monster_initializer *data = monster_initializer_globals->data;
	int16 count = 0;
	for (int16 i = 0; i < monster_initializer_globals->count; ++i)
	{
		if (!(data[i].flags & _monster_initializer_used_flag) && data[i].experience > 0) data[count++] = data[i];
	}
	for (int16 i = 0; i < MAXIMUM_MONSTERS_PER_MAP && count < MAXIMUM_MONSTER_INITIALIZERS_PER_MAP; ++i)
	{
		const monster_data *monster = get_monster_data(i);
		if (!monster || monster->action == _monster_action_stoned) continue;
		const player_data *owner = get_player_data(monster->owner_player_index);
		if (!owner || owner->type != _player_is_human) continue;
		const unit_definition *unit = get_unit_definition(monster->unit_type);
		const object_data *object = get_object_data(monster->object_index);
		monster_initializer *record = &data[count++];
		memset(record, 0, sizeof(*record));
		record->owner_player_identifier = owner->unique_identifier;
		record->unit_tag = unit ? unit->parent_unit_tag : static_cast<file_tag>(NONE);
		record->monster_tag = unit ? unit->monster_tag : static_cast<file_tag>(NONE);
		record->original_name_string_index = monster->original_name_string_index;
		record->experience = monster->experience;
		// The count is a signed byte: it stops at 127.
		record->battles_survived = static_cast<int8>(MIN(static_cast<int32>(monster->battles_survived) + 1, 127));
		record->color_table_permutation = static_cast<int8>(unit && object ?
			get_collection_reference_permutation(unit->collection_reference_index, object->color_table_index) : 0);
		memcpy(record->name, monster->name, MONSTER_NAME_LENGTH);
		record->name[MONSTER_NAME_LENGTH - 1] = 0;
	}
	monster_initializer_globals->count = count;
	qsort_private(data, count, sizeof(monster_initializer), compare_monster_initializers);
}

monster_initializer *get_monster_initializer(int16 unit_type)
{
	if (!store_ready() || !game || !(game->option_flags & _game_option_allow_veterans_flag)) return nullptr;
	const unit_definition *unit = get_unit_definition(unit_type);
	if (!unit || unit->parent_unit_tag == static_cast<file_tag>(NONE) || unit->parent_unit_tag == 0 || unit->player_index == NONE)
	{
		return nullptr;
	}
	const player_data *player = get_player_data(unit->player_index);
	if (!player) return nullptr;
	monster_initializer *best = nullptr;
	for (int16 i = 0; i < monster_initializer_globals->count; ++i)
	{
		monster_initializer *record = &monster_initializer_globals->data[i];
		if (record->flags & _monster_initializer_used_flag) continue;
		if (record->unit_tag != unit->parent_unit_tag && record->monster_tag != unit->monster_tag) continue;
		if (record->owner_player_identifier != player->unique_identifier)
		{
			const player_data *owner = get_player_data(player_identifier_to_player_index(record->owner_player_identifier));
			if (!owner || owner->team_index != player->team_index) continue;
		}
		if (!best || record->experience > best->experience) best = record;
	}
	if (best) best->flags |= _monster_initializer_used_flag;
	return best;
}

void export_monster_initializers(void *buffer, int32 *size)
{
	const int16 count = store_ready() ? monster_initializer_globals->count : static_cast<int16>(0);
	if (size) *size = count * MONSTER_INITIALIZER_STORED_SIZE;
	if (!buffer || count == 0) return;
	byte_swap_move("monster initializer", buffer, monster_initializer_globals->data, MONSTER_INITIALIZER_STORED_SIZE, count,
		monster_initializer_bs_data);
}

boolean import_monster_initializers(const void *buffer, int32 size)
{
	if (!store_ready()) return FALSE;
	monster_initializer_globals->count = 0;
	if (size < 0 || size % MONSTER_INITIALIZER_STORED_SIZE != 0 || size > MAXIMUM_MONSTER_INITIALIZER_BYTES ||
		(size > 0 && !buffer))
	{
		error_message(_error_data_corrupted, MODULE_NAME, __LINE__, "veteran data of %d bytes is not whole records within the store",
			static_cast<int>(size));
		return FALSE;
	}
	const int16 count = static_cast<int16>(size / MONSTER_INITIALIZER_STORED_SIZE);
	if (count > 0)
	{
		byte_swap_move("monster initializer", monster_initializer_globals->data, buffer, MONSTER_INITIALIZER_STORED_SIZE, count,
			monster_initializer_bs_data);
	}
	for (int16 i = 0; i < count; ++i)
	{
		monster_initializer_globals->data[i].flags &= ~static_cast<uint32>(_monster_initializer_used_flag);
		monster_initializer_globals->data[i].name[MONSTER_NAME_LENGTH - 1] = 0;
	}
	monster_initializer_globals->count = count;
	return TRUE;
}

monster_initializer *get_monster_initializers(int16 *count)
{
	if (count) *count = store_ready() ? monster_initializer_globals->count : static_cast<int16>(0);
	return store_ready() ? monster_initializer_globals->data : nullptr;
}

void adjust_monster_initializers_for_coop(int16 player_count, const new_player_data *players, int16 maximum)
{
	if (!store_ready()) return;
	// Both counts come from a packet.
	player_count = static_cast<int16>(PIN(player_count, 0, MAXIMUM_PLAYERS_PER_MAP));
	maximum = static_cast<int16>(PIN(maximum, 0, MAXIMUM_MONSTER_INITIALIZERS_PER_MAP));
	const new_player_data *owner = nullptr;
	for (int16 i = 0; players && i < player_count && !owner; ++i)
	{
		const new_player_data *player = &players[i];
		if (player->flags & _player_is_observer_flag) continue;
		if (player->team_captain_identifier == static_cast<uint32>(NONE) || player->team_captain_identifier == player->unique_identifier)
		{
			owner = player;
		}
	}
	if (!owner)
	{
		monster_initializer_globals->count = 0;
		return;
	}
	monster_initializer_globals->count = MIN(monster_initializer_globals->count, maximum);
	for (int16 i = 0; i < monster_initializer_globals->count; ++i)
	{
		monster_initializer_globals->data[i].owner_player_identifier = owner->unique_identifier;
	}
}

static void fold_store(zerv_digest *digest, const monster_initializer *data, int16 count)
{
	for (int16 i = 0; i < count; ++i)
	{
		const monster_initializer *record = &data[i];
		zerv_digest_uint32(digest, record->flags);
		zerv_digest_uint32(digest, record->owner_player_identifier);
		zerv_digest_uint32(digest, record->unit_tag);
		zerv_digest_uint32(digest, record->monster_tag);
		zerv_digest_int16(digest, record->experience);
		zerv_digest_int8(digest, record->battles_survived);
		zerv_digest_int8(digest, record->color_table_permutation);
		zerv_digest_int8(digest, record->original_name_string_index);
		zerv_digest_bytes(digest, record->name, MONSTER_NAME_LENGTH);
	}
}

void fold_monster_initializers_digest(zerv_digest *digest)
{
	if (!store_ready())
	{
		zerv_digest_int16(digest, 0);
		zerv_digest_int16(digest, 0);
		return;
	}
	zerv_digest_int16(digest, monster_initializer_globals->count);
	zerv_digest_int16(digest, monster_initializer_globals->backup_count);
	fold_store(digest, monster_initializer_globals->data, monster_initializer_globals->count);
	fold_store(digest, monster_initializer_globals->backup_data, monster_initializer_globals->backup_count);
}
