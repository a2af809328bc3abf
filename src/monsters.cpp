// The died-procedure registry: modules that keep unit indexes are told when a
// unit dies, changes owner or leaves the map.
#include "monsters.h"

#include "error_manager.h"

// Static storage: modules register at start-up before the units initialise.
static monster_died_proc monster_died_procs[MAXIMUM_MONSTER_DIED_PROCS] = {};

boolean register_monster_died_proc(monster_died_proc proc)
{
	if (!proc) return FALSE;
	for (int32 i = 1; i < MAXIMUM_MONSTER_DIED_PROCS; ++i)
	{
		if (monster_died_procs[i] == proc) return TRUE;
		if (!monster_died_procs[i])
		{
			monster_died_procs[i] = proc;
			return TRUE;
		}
	}
	log_message(MODULE_NAME, __LINE__, "### too many monster died procedures (at most %d).", MAXIMUM_MONSTER_DIED_PROCS);
	return FALSE;
}

void set_monster_died_first_proc(monster_died_proc proc)
{
	monster_died_procs[0] = proc;
}

void call_monster_died_procs(int16 monster_index, uint16 flags)
{
	for (int32 i = 0; i < MAXIMUM_MONSTER_DIED_PROCS; ++i)
	{
		if (monster_died_procs[i]) monster_died_procs[i](monster_index, flags);
	}
}
