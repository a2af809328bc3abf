// Whether a unit meets another with its pathfinding radius instead of its
// size: one body for movement's question by index and the obstacle search's
// on the records it already holds.
#ifndef PATHFINDING_RADIUS_H
#define PATHFINDING_RADIUS_H

#include "monster_definitions.h"
#include "monsters.h"
#include "zerv.h"

// allied(team) says whether the unit is allied with that team: asked only
// when every earlier test has passed, the costliest question last.
template <typename Allied>
inline boolean pathfinding_radius_applies(const monster_data *monster, const monster_definition *definition,
	const monster_data *other, int16 other_index, const monster_definition *other_definition, Allied allied)
{
	if (game && (game->option_flags & _game_option_uses_qel_flag)) return FALSE;
	const uint32 both = _monster_has_valid_target_flag | _monster_has_valid_target_location_flag;
	if ((monster->flags & both) == both || (other->flags & both) == both) return FALSE;
	const auto busy = [](const monster_data *m) {
		return m->action == _monster_action_holding_for_attack || m->action == _monster_action_aiming_attack ||
			m->action == _monster_action_attacking;
	};
	const uint32 targeting = _monster_has_valid_target_flag | _monster_has_valid_target_index_flag;
	const boolean soft = (!busy(monster) && !busy(other)) ||
		((monster->flags & targeting) == targeting && monster->target_monster_index != other_index);
	if (!soft) return FALSE;
	// monsters_are_allied on the records at hand; a unit without a kind has no class.
	if ((monster->extra_flags | other->extra_flags) & _monster_is_berserk_extra_flag) return FALSE;
	if (!allied(other->owner_team_index)) return FALSE;
	return !(definition && definition->monster_class == _monster_class_ambient_life) &&
		!(other_definition && other_definition->monster_class == _monster_class_ambient_life);
}

#endif
