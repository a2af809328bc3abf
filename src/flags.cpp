#include "flags.h"

#include <cstring>

#include "alliances.h"
#include "collection_references.h"
#include "damage.h"
#include "game_statistics.h"
#include "markers.h"
#include "mesh.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "objects.h"
#include "players.h"
#include "projectiles.h"
#include "scenery.h"
#include "scenery_definitions.h"
#include "shading_tables.h"
#include "shapes.h"
#include "zerv.h"

datum_globals flag_array = {"flag", MAXIMUM_FLAGS_PER_MAP, sizeof(flag_data), 0};
flag_globals_data flag_globals;


/* ---------- life cycle */

static void clear_flag_globals(void)
{
	memset(&flag_globals, 0, sizeof(flag_globals));
	flag_globals.neutral_color_table_index = NONE;
	for (int16 &table : flag_globals.team_color_table_indexes) table = NONE;
}

void initialize_flags(void)
{
	initialize_data(&flag_array);
	clear_flag_globals();
}

void initialize_flags_for_new_map(void)
{
	initialize_data_for_new_map(&flag_array);
	clear_flag_globals();
}

void dispose_flags_from_old_map(void)
{
	dispose_data_from_old_map(&flag_array);
}

flag_data *get_flag_data(int16 flag_index)
{
	if (flag_array.count < 0) return nullptr;
	return static_cast<flag_data *>(try_and_get_datum(&flag_array, flag_index));
}

int16 get_number_of_numbered_flags(void)
{
	return flag_globals.number_of_numbered_flags;
}

int16 get_number_of_unnumbered_flags(void)
{
	return flag_globals.number_of_unnumbered_flags;
}

/* ---------- colours */

static int16 team_color_table(int16 team_index)
{
	if (team_index >= 0 && team_index < MAXIMUM_TEAMS_PER_MAP && flag_globals.team_color_table_indexes[team_index] != NONE)
	{
		return flag_globals.team_color_table_indexes[team_index];
	}
	return flag_globals.neutral_color_table_index;
}

static void set_flag_color(const flag_data *flag, int16 team_index)
{
	object_data *object = get_object_data(flag->object_index);
	const int16 table = team_color_table(team_index);
	if (!object || table == NONE) return;
	object->color_table_index = static_cast<uint8>(table);
	object->color_table_permutation = 0;
}

// The first flag of a map makes the tables: the scenery's own for neutral
// flags, and one per team in its captain's colours. A team without a captain
// keeps the neutral table.
static void build_flag_color_tables(const object_data *object, const scenery_definition *definition)
{
	flag_globals.neutral_color_table_index = object->color_table_index;
	const collection_reference *reference = definition ? get_collection_reference(definition->collection_reference_index) : nullptr;
	if (!reference) return;
	for (int16 t = 0; t < MIN(get_team_count(), static_cast<int16>(MAXIMUM_TEAMS_PER_MAP)); ++t)
	{
		const team_data *team = get_team_data(t);
		const player_data *captain = team ? get_player_data(team->captain_player_index) : nullptr;
		if (!captain) continue;
		flag_globals.team_color_table_indexes[t] = add_adjusted_shading_table_to_collection_index(reference->collection_index,
			reference->colors[0], &captain->appearance.primary_color, &captain->appearance.secondary_color,
			_add_shading_table_for_tinting, FALSE, reference->tint_fraction, &reference->tint_color);
	}
}

/* ---------- making flags */

boolean new_flag(marker_data *marker, int16 number)
{
	if (!marker) return FALSE;
	const marker_palette_entry *entry = get_marker_palette_entry(_marker_scenery, marker->palette_index);
	if (!entry) return FALSE;
	if (entry->team_index != NONE)
	{
		const team_data *team = entry->team_index >= 0 && entry->team_index < get_team_count() ?
			get_team_data(entry->team_index) : nullptr;
		if (!team || team->number_of_players == 0) return FALSE;
	}
	object_data *object = get_object_data(marker->data_index);
	if (!object) return TRUE;
	const int16 flag_index = new_datum(&flag_array);
	if (flag_index == NONE) return TRUE;

	if (flag_globals.neutral_color_table_index == NONE) build_flag_color_tables(object, get_scenery_definition(entry->tag_index));

	flag_data *flag = get_flag_data(flag_index);
	const int16 identifier = flag->identifier;
	memset(flag, 0, sizeof(*flag));
	flag->identifier = identifier;
	if (object->owner == _object_is_dormant_projectile)
	{
		flag->type = _flag_is_token;
		flag->projectile_type = object->owner_index;
		object->flags |= _object_is_flag_flag | _object_must_be_included_in_explosions_flag;
	}
	else
	{
		flag->type = _flag_is_banner;
		flag->projectile_type = NONE;
	}

	// Only 32 numbers have a bit: any other is unnumbered.
	if (number < 0 || number > 31) number = NONE;
	if (number == NONE)
	{
		flag_globals.number_of_unnumbered_flags += 1;
	}
	else if (!(flag_globals.numbered_flags_flags & (1u << number)))
	{
		flag_globals.numbered_flags_flags |= 1u << number;
		flag_globals.number_of_numbered_flags += 1;
	}
	flag->number = number;
	flag->marker_index = static_cast<int16>(get_marker_index(marker));
	flag->object_index = marker->data_index;
	flag->owner_team_index = flag->original_owner_team_index = flag->last_owner_team_index = entry->team_index;
	flag->time_of_possession = 0;
	if (marker->flags & _marker_is_stone_flag) flag->flags |= _flag_cannot_be_captured_flag;
	if (marker->flags & _marker_is_invisible_flag) flag->flags |= _flag_is_invisible_on_overhead_map_flag;

	set_flag_color(flag, flag->owner_team_index);
	object->owner = _object_is_flag;
	object->owner_index = flag_index;
	return TRUE;
}

void new_goal(int16 team_index, int16 vertex_count, const world_point2d *vertices)
{
	if (team_index < 0 || team_index >= MAXIMUM_TEAMS_PER_MAP || vertex_count < VERTICES_PER_GOAL || !vertices) return;
	goal_data *goal = &flag_globals.goals[team_index];
	goal->vertices[0] = vertices[0];
	goal->vertices[1] = vertices[1];
	goal->flags |= _goal_initialized_flag;
}

// A token that scored, or that can't be captured and was: its object fades
// out and a fresh flag stands at its marker again.
static void reset_token(int16 flag_index)
{
	flag_data *flag = get_flag_data(flag_index);
	if (!flag) return;
	object_data *object = get_object_data(flag->object_index);
	if (object)
	{
		if (object->owner == _object_is_projectile && get_projectile_data(object->owner_index))
		{
			delete_datum(&projectile_array, object->owner_index);
		}
		object->flags &= ~static_cast<uint32>(_object_is_flag_flag);
		if (fade_object(TRUE, flag->object_index, 0, FADE_OUT_FLAG_TICKS) == NONE) delete_object(flag->object_index);
	}
	// The flag made again from the marker counts itself anew.
	if (flag->number == NONE && flag_globals.number_of_unnumbered_flags > 0) flag_globals.number_of_unnumbered_flags -= 1;
	marker_data *marker = get_marker_by_index(flag->marker_index);
	delete_datum(&flag_array, flag_index);
	if (marker) new_scenery(marker);
}

/* ---------- units near a flag (as the unit record tells them) */

static int16 monster_team_index(const monster_data *monster)
{
	return monster->owner_team_index;
}

static bool monster_is_netgame_target(const monster_data *monster)
{
	return (monster->extra_flags & _monster_is_netgame_target_extra_flag) != 0;
}

// The unit leaves through a world gate, hidden by its marker as a gate
// sends units away, so a script can bring it back.
static void monster_scores_at_flag(int16 monster_index, monster_data *monster, int16 team_index)
{
	const int16 unit_type = monster->unit_type;
	const marker_data *marker = monster->marker_index >= 0 ? get_marker_by_index(monster->marker_index) : nullptr;
	if (marker && marker->type == _marker_monster && marker->data_index == monster_index &&
		marker->data_identifier == monster->identifier)
	{
		make_monster_invisible(marker->identifier, _monster_exit_world_gate);
	}
	else
	{
		// A unit no marker names can only be hidden where it stands.
		monster->flags |= _monster_has_left_the_mesh_flag;
		object_data *object = get_object_data(monster->object_index);
		if (object) object->flags |= _object_is_invisible_flag;
	}
	adjust_unit_statistics(unit_type, -1, 0);
	score_points(team_index, 1);
}

/* ---------- the per-re-ranking update */

static int16 flag_sound(const flag_data *flag, int16 token_sound, int16 banner_sound)
{
	return flag->type == _flag_is_token ? token_sound : banner_sound;
}

static void set_flag_owner(flag_data *flag, int16 team_index)
{
	flag->owner_team_index = team_index;
	if (team_index != NONE) flag->last_owner_team_index = team_index;
	set_flag_color(flag, team_index);
	flag->time_of_possession = 0;
	team_data *team = team_index != NONE ? get_team_data(team_index) : nullptr;
	if (team && game) team->game_time_at_last_capture = game->game_time;
}

// The goal's line is tested as a half-plane from its first two vertices, in cells.
static bool token_is_across_goal(const object_data *object, const goal_data *goal)
{
	const int64 ax = goal->vertices[0].x >> WORLD_FRACTIONAL_BITS, ay = goal->vertices[0].y >> WORLD_FRACTIONAL_BITS;
	const int64 bx = goal->vertices[1].x >> WORLD_FRACTIONAL_BITS, by = goal->vertices[1].y >> WORLD_FRACTIONAL_BITS;
	const int64 px = object->location.position.x >> WORLD_FRACTIONAL_BITS;
	const int64 py = object->location.position.y >> WORLD_FRACTIONAL_BITS;
	return (bx - ax) * (py - ay) - (by - ay) * (px - ax) < 0;
}

boolean count_team_flags(int16 *flag_counts, uint32 flags, int32 ticks_elapsed)
{
	for (int16 t = 0; t < MAXIMUM_TEAMS_PER_MAP; ++t) flag_counts[t] = 0;
	boolean result = TRUE;
	if (flag_array.count < 0 || !mesh_globals) return result;

	const int32 radius = game && game->scoring == _game_scoring_cattle_drive ? CATTLE_DRIVE_FLAG_NEARNESS_RADIUS
																			 : FLAG_NEARNESS_RADIUS;
	const int16 local_team = player_globals.local_player_team_index;
	// By index as the array stands: a token made again into a later slot is
	// visited in the same pass.
	for (int16 flag_index = 0; flag_index < flag_array.count; ++flag_index)
	{
		flag_data *flag = get_flag_data(flag_index);
		if (!flag) continue;
		const object_data *flag_object = get_object_data(flag->object_index);
		if (!flag_object) continue;
		const int32 x = flag_object->location.position.x, y = flag_object->location.position.y;

		// Columns end before, rows end on, their upper bound.
		const int32 x0 = MAX((x - radius) >> WORLD_FRACTIONAL_BITS, 0);
		const int32 x1 = MIN((x + radius + WORLD_ONE - 1) >> WORLD_FRACTIONAL_BITS, static_cast<int32>(mesh_globals->mesh_width)) - 1;
		const int32 y0 = MAX((y - radius) >> WORLD_FRACTIONAL_BITS, 0);
		const int32 y1 = MIN((y + radius + WORLD_ONE - 1) >> WORLD_FRACTIONAL_BITS, static_cast<int32>(mesh_globals->mesh_height) - 1);

		bool near[MAXIMUM_TEAMS_PER_MAP] = {};
		int16 near_count = 0, near_team = NONE;
		if (x0 <= x1 && y0 <= y1)
		{
			object_cell_walk walk;
			start_object_cell_walk(&walk, x0, y0, x1, y1);
			for (int16 i = next_object_in_cell_walk(&walk); i != NONE; i = next_object_in_cell_walk(&walk))
			{
				const object_data *object = get_object_data(i);
				if (!object || object->owner != _object_is_monster) continue;
				if (object->flags & (_object_is_invisible_flag | _object_wholly_under_media_flag)) continue;
				monster_data *monster = get_monster_data(object->owner_index);
				if (!monster || (monster->extra_flags & _monster_is_uncontrollable_extra_flag)) continue;
				const int16 monster_class = get_monster_class(object->owner_index);
				if (monster_class == _monster_class_ambient_life || monster_class == _monster_class_invisible_observer) continue;
				const int16 team = monster_team_index(monster);
				if (team >= 0 && team < MAXIMUM_TEAMS_PER_MAP)
				{
					const int64 dx = object->location.position.x - x, dy = object->location.position.y - y;
					if (dx * dx + dy * dy < static_cast<int64>(radius) * radius && !near[team])
					{
						near[team] = true;
						near_count += 1;
						near_team = team;
					}
				}
				if ((flags & _score_goals_flag) && monster_is_netgame_target(monster) &&
					!(monster->flags & _monster_has_left_the_mesh_flag) && team != NONE &&
					(flag->owner_team_index == team || flag->owner_team_index == NONE))
				{
					monster_scores_at_flag(object->owner_index, monster, team);
				}
			}
		}

		int16 new_owner = near_count == 0 ? flag->owner_team_index : near_count == 1 ? near_team : static_cast<int16>(NONE);
		flag->time_of_possession += ticks_elapsed;
		int16 sound = NONE;

		if (flag->number != NONE)
		{
			team_data *owner = new_owner != NONE ? get_team_data(new_owner) : nullptr;
			if (owner)
			{
				const uint32 bit = 1u << flag->number;
				if (owner->numbered_flags_captured_flags & bit)
				{
					new_owner = NONE;
				}
				else
				{
					owner->numbered_flags_captured_flags |= bit;
					owner->number_of_numbered_flags_captured += 1;
					sound = flag_sound(flag, _game_sound_token_captured, _game_sound_flag_captured);
				}
			}
			else
			{
				new_owner = NONE;
			}
			if (new_owner != flag->owner_team_index) set_flag_owner(flag, new_owner);
			for (int16 t = 0; t < MAXIMUM_TEAMS_PER_MAP; ++t)
			{
				const team_data *team = near[t] ? get_team_data(t) : nullptr;
				if (team && !(team->numbered_flags_captured_flags & (1u << flag->number))) result = FALSE;
			}
		}
		else
		{
			if (new_owner == NONE)
			{
				if (near_count == 0 && (flags & _return_neutral_flags_to_original_owner_flag) && flag->last_owner_team_index != NONE)
				{
					new_owner = flag->last_owner_team_index;
				}
				else if ((flags & _count_neutral_flags_as_contested_flag) || near_count > 0)
				{
					result = FALSE;
				}
			}
			if ((flags & _count_contested_flags_flag) && near_count > 0)
			{
				for (int16 t = 0; t < MAXIMUM_TEAMS_PER_MAP; ++t)
				{
					if (near[t]) flag_counts[t] += 1;
				}
				if (new_owner == NONE) result = FALSE;
			}
			else if (new_owner >= 0 && new_owner < MAXIMUM_TEAMS_PER_MAP)
			{
				flag_counts[new_owner] += 1;
			}

			if (new_owner != flag->owner_team_index)
			{
				if ((flag->flags & _flag_cannot_be_captured_flag) && flag->type == _flag_is_token && new_owner != NONE)
				{
					reset_token(flag_index);
					continue;
				}
				if (new_owner != NONE)
				{
					if (new_owner != flag->last_owner_team_index)
					{
						sound = flag->last_owner_team_index != NONE && flag->last_owner_team_index == local_team ?
							flag_sound(flag, _game_sound_token_lost, _game_sound_flag_lost) :
							flag_sound(flag, _game_sound_token_captured, _game_sound_flag_captured);
					}
				}
				else
				{
					sound = flag_sound(flag, _game_sound_token_contested, _game_sound_flag_contested);
				}
				set_flag_owner(flag, new_owner);
			}
			if ((flags & _use_minimum_time_of_possession_flag) && flag->time_of_possession < MINIMUM_TIME_OF_POSSESSION) result = FALSE;
		}

		if ((flags & _score_goals_flag) && flag->type == _flag_is_token && flag->owner_team_index != NONE)
		{
			const int16 owner = flag->owner_team_index;
			const object_data *token = get_object_data(flag->object_index);
			for (int16 t = 0; token && t < MAXIMUM_TEAMS_PER_MAP; ++t)
			{
				const goal_data *goal = &flag_globals.goals[t];
				if (t == owner || !(goal->flags & _goal_initialized_flag) || !token_is_across_goal(token, goal)) continue;
				score_points(owner, 1);
				if (team_data *team = get_team_data(owner)) team->game_time_at_last_capture = game ? game->game_time : 0;
				reset_token(flag_index);
				sound = owner == local_team ? _game_sound_point_won : _game_sound_point_lost;
				break;
			}
		}
		if (sound != NONE) queue_game_sound(sound);
	}
	return result;
}

/* ---------- pushing tokens */

static flag_data *flag_of_object(int16 object_index)
{
	const object_data *object = get_object_data(object_index);
	if (!object) return nullptr;
	if (object->owner == _object_is_flag)
	{
		flag_data *flag = get_flag_data(object->owner_index);
		return flag && flag->object_index == object_index ? flag : nullptr;
	}
	for (int16 i = 0; i < MAX(flag_array.count, static_cast<int16>(0)); ++i)
	{
		flag_data *flag = get_flag_data(i);
		if (flag && flag->object_index == object_index) return flag;
	}
	return nullptr;
}

static void push_token(const flag_data *flag, const damage_definition *definition, damage_data *data)
{
	object_data *object = get_object_data(flag->object_index);
	if (!object || flag->type != _flag_is_token) return;
	if (object->owner == _object_is_flag)
	{
		object->owner = _object_is_dormant_projectile;
		object->owner_index = flag->projectile_type;
	}
	accelerate_projectile(definition, data, flag->object_index);
}

void accelerate_flag(const damage_definition *definition, damage_data *data, int16 flag_index)
{
	const flag_data *flag = get_flag_data(flag_index);
	if (!flag || !definition || !data) return;
	push_token(flag, definition, data);
}

boolean monster_bumped_flag(int16 monster_index, int16 flag_object_index, short_world_distance velocity)
{
	const flag_data *flag = flag_of_object(flag_object_index);
	if (!flag || flag->type != _flag_is_token) return FALSE;
	const monster_data *monster = get_monster_data(monster_index);
	const object_data *monster_object = monster ? get_object_data(monster->object_index) : nullptr;

	damage_definition definition;
	memset(&definition, 0, sizeof(definition));
	definition.type = _damage_kinetic;
	damage_data data;
	memset(&data, 0, sizeof(data));
	data.owner_unit_index = data.owner_monster_index = data.owner_monster_identifier = NONE;
	data.detonation_projectile_group_type = NONE;
	if (monster_object)
	{
		data.epicenter = monster_object->location.position;
		data.vector = monster_object->location.velocity;
	}
	data.scale = 256;
	data.velocity = velocity;
	push_token(flag, &definition, &data);
	return TRUE;
}

void reclaim_dormant_flag(int16 object_index)
{
	object_data *object = get_object_data(object_index);
	if (!object || object->owner != _object_is_dormant_projectile) return;
	for (int16 i = 0; i < MAX(flag_array.count, static_cast<int16>(0)); ++i)
	{
		const flag_data *flag = get_flag_data(i);
		if (!flag || flag->object_index != object_index) continue;
		object->flags |= _object_is_solid_flag;
		object->owner = _object_is_flag;
		object->owner_index = i;
		return;
	}
}

/* ---------- digest */

void flags_fold_digest(zerv_digest *digest)
{
	zerv_digest_int16(digest, flag_globals.number_of_unnumbered_flags);
	zerv_digest_int16(digest, flag_globals.number_of_numbered_flags);
	zerv_digest_uint32(digest, flag_globals.numbered_flags_flags);
	for (const goal_data &goal : flag_globals.goals)
	{
		zerv_digest_int16(digest, static_cast<int16>(goal.flags));
		for (const world_point2d &vertex : goal.vertices)
		{
			zerv_digest_int32(digest, vertex.x);
			zerv_digest_int32(digest, vertex.y);
		}
	}
	zerv_digest_uint32(digest, datum_globals_digest(&flag_array));
	for (int16 i = 0; i < MAX(flag_array.count, static_cast<int16>(0)); ++i)
	{
		const flag_data *flag = get_flag_data(i);
		if (!flag) continue;
		zerv_digest_int16(digest, i);
		zerv_digest_int16(digest, flag->identifier);
		zerv_digest_int16(digest, flag->type);
		zerv_digest_uint32(digest, flag->flags);
		zerv_digest_int16(digest, flag->object_index);
		zerv_digest_int16(digest, flag->projectile_type);
		zerv_digest_int16(digest, flag->owner_team_index);
		zerv_digest_int16(digest, flag->last_owner_team_index);
		zerv_digest_int16(digest, flag->original_owner_team_index);
		zerv_digest_int16(digest, flag->number);
		zerv_digest_int16(digest, flag->marker_index);
		zerv_digest_int32(digest, flag->time_of_possession);
	}
}
