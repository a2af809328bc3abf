// What the player and the lobby see of a game's result: the per-kind
// summaries, the encoded single-player report, the lobby standings and the
// permanent rankings across continued games.
#include "postgame.h"

#include <cstdio>
#include <cstring>

#include "definitions.h"
#include "game_statistics.h"
#include "main.h"
#include "mesh.h"
#include "monster_definitions.h"
#include "monsters.h"
#include "players.h"
#include "quicksort.h"
#include "string_definitions.h"
#include "unit_definitions.h"
#include "zerv.h"

/* ---------- per-kind statistics */

void gather_monster_statistics(monster_statistics *statistics, boolean friendly_statistics)
{
	memset(statistics, 0, sizeof(monster_statistics) * MAXIMUM_MONSTER_DEFINITIONS_PER_MAP);
	const int16 local_team = player_globals.local_player_team_index;
	const definition_globals *units = get_unit_definitions();
	const int16 unit_type_count = units ? MIN(units->count, static_cast<int16>(MAXIMUM_UNIT_DEFINITIONS_PER_MAP)) : 0;
	for (int16 m = 0; m < MAXIMUM_MONSTER_DEFINITIONS_PER_MAP; ++m)
	{
		monster_statistics &entry = statistics[m];
		entry.type = m;
		const monster_definition *monster = get_monster_definition(m);
		if (!monster) continue;
		for (int16 u = 0; u < unit_type_count; ++u)
		{
			const unit_definition *unit = get_unit_definition(u);
			if (!unit || unit->monster_type != m) continue;
			const player_data *owner = get_player_data(unit->player_index);
			if (!owner || (monster->flags & _monster_cannot_be_autotargeted_flag)) continue;
			// Animals are no one's army: scoring leaves them out of every count too.
			if (monster->monster_class == _monster_class_ambient_life) continue;
			const unit_statistics *counts = get_unit_statistics(u);
			if (!counts || counts->initial_count == 0) continue;
			const boolean friendly = owner->team_index == local_team;
			if (friendly != (friendly_statistics ? TRUE : FALSE)) continue;
			entry.initial_count = static_cast<int16>(MIN(entry.initial_count + counts->initial_count, 32767));
			entry.kills = static_cast<int16>(MIN(entry.kills + counts->kills, 32767));
			entry.casualties = static_cast<int16>(MIN(entry.casualties + (counts->initial_count - counts->current_count), 32767));
			entry.damage_inflicted += counts->damage;
			entry.initial_vitality += counts->initial_vitality;
			entry.current_vitality += counts->current_vitality;
			if (friendly) entry.flags |= _monster_statistics_friendly_flag;
			if (monster->monster_class == _monster_class_invisible_observer) entry.flags |= _monster_statistics_should_not_be_shown_flag;
		}
	}
}

/* ---------- the encoded report */

namespace
{
	struct report_writer
	{
		encoded_postgame_report *report;
		boolean full; // a string was dropped: the rest would shift the table
	};

	boolean append_string(report_writer *writer, const char *text)
	{
		encoded_postgame_report *report = writer->report;
		const int32 length = static_cast<int32>(strlen(text));
		if (writer->full || report->string_buffer_size + length + 1 >= POSTGAME_REPORT_STRING_BUFFER_SIZE)
		{
			writer->full = TRUE;
			return FALSE;
		}
		memcpy(report->strings + report->string_buffer_size, text, static_cast<size_t>(length) + 1);
		report->string_buffer_size += length + 1;
		report->string_count += 1;
		return TRUE;
	}

	const char *solo_string(int16 index)
	{
		return get_string_from_list(string_list_tag_to_string_index(SOLO_POSTGAME_STRING_LIST_TAG), index);
	}

	void append_plain(report_writer *writer, int16 index)
	{
		append_string(writer, solo_string(index));
	}

	void append_int(report_writer *writer, int16 index, int32 value)
	{
		char buffer[POSTGAME_REPORT_STRING_BUFFER_SIZE];
		char fallback[32];
		snprintf(fallback, sizeof(fallback), "%d", static_cast<int>(value));
		append_string(writer, safe_tag_sprintf(buffer, sizeof(buffer), "%d", fallback, solo_string(index), static_cast<int>(value)));
	}

	void append_two_ints(report_writer *writer, int16 index, int32 a, int32 b)
	{
		char buffer[POSTGAME_REPORT_STRING_BUFFER_SIZE];
		char fallback[48];
		snprintf(fallback, sizeof(fallback), "%d of %d", static_cast<int>(a), static_cast<int>(b));
		append_string(writer, safe_tag_sprintf(buffer, sizeof(buffer), "%d%d", fallback, solo_string(index),
			static_cast<int>(a), static_cast<int>(b)));
	}

	// The built-in form: a ratio with two decimals, a share with one and "%".
	void append_double(report_writer *writer, int16 index, double value, boolean percentage)
	{
		char buffer[POSTGAME_REPORT_STRING_BUFFER_SIZE];
		char fallback[64];
		if (percentage) snprintf(fallback, sizeof(fallback), "%.1f%%", value);
		else snprintf(fallback, sizeof(fallback), "%.2f", value);
		append_string(writer, safe_tag_sprintf(buffer, sizeof(buffer), "%f", fallback, solo_string(index), value));
	}

	void append_text(report_writer *writer, int16 index, const char *text)
	{
		char buffer[POSTGAME_REPORT_STRING_BUFFER_SIZE];
		append_string(writer, safe_tag_sprintf(buffer, sizeof(buffer), "%s", text, solo_string(index), text));
	}

	void append_two_texts(report_writer *writer, int16 index, const char *a, const char *b)
	{
		char buffer[POSTGAME_REPORT_STRING_BUFFER_SIZE];
		char fallback[128];
		snprintf(fallback, sizeof(fallback), "%s, %s", a, b);
		append_string(writer, safe_tag_sprintf(buffer, sizeof(buffer), "%s%s", fallback, solo_string(index), a, b));
	}

	// A hero's name, cut at the record's length when unterminated; "" for a bad index.
	void hero_name(const monster_initializer *record, const monster_definition *definition, char *name)
	{
		memcpy(name, record->name, MONSTER_NAME_LENGTH - 1);
		name[MONSTER_NAME_LENGTH - 1] = 0;
		if (name[0]) return;
		if (definition->names_string_list_index == NONE) return;
		const int16 count = count_strings_in_list(definition->names_string_list_index);
		if (record->original_name_string_index < 0 || record->original_name_string_index >= count) return;
		snprintf(name, MONSTER_NAME_LENGTH, "%s",
			get_string_from_list(definition->names_string_list_index, record->original_name_string_index));
	}
}

void encode_postgame_report(void)
{
	if (!statistics_globals) return;
	encoded_postgame_report *report = &statistics_globals->postgame_report;
	memset(report, 0, sizeof(*report));
	const int16 local_team = player_globals.local_player_team_index;
	const team_data *team = get_team_data(local_team);
	if (local_team == NONE || !team || team->captain_player_index == NONE) return;

	const int16 team_count = MIN(get_team_count(), static_cast<int16>(MAXIMUM_TEAMS_PER_MAP));
	const team_ranking_data *rankings = get_team_rankings();
	const team_ranking_data *local_ranking = &rankings[0];
	for (int16 i = 0; i < team_count; ++i)
	{
		if (rankings[i].team_index == local_team) local_ranking = &rankings[i];
	}
	report_writer writer = {report, FALSE};

	// Title.
	{
		const mesh_header *header = get_mesh_header();
		const char *map_name = get_string_from_list(header ? header->map_description_string_index : NONE, 0);
		const char *difficulty = get_string_from_list(string_list_tag_to_string_index(DIFFICULTY_LEVEL_STRING_LIST_TAG),
			game ? game->difficulty_level : 0);
		char title[POSTGAME_REPORT_STRING_BUFFER_SIZE];
		snprintf(title, sizeof(title), "%s (%s)", map_name, difficulty);
		append_string(&writer, title);
		report->valid_table_flags |= _postgame_title_flag;
	}

	static monster_statistics statistics[MAXIMUM_MONSTER_DEFINITIONS_PER_MAP];
	// Survivors.
	gather_monster_statistics(statistics, TRUE);
	qsort_private(statistics, MAXIMUM_MONSTER_DEFINITIONS_PER_MAP, sizeof(monster_statistics), sort_monster_statistics_by_kills);
	int64 friendly_damage = 0, damage_taken = 0;
	for (const monster_statistics &entry : statistics)
	{
		friendly_damage += entry.damage_inflicted;
		// Damage raises current_vitality, so what was taken sums to zero or less.
		damage_taken += static_cast<int64>(entry.initial_vitality) - entry.current_vitality;
	}
	int16 rows = 0;
	for (const monster_statistics &entry : statistics)
	{
		if (rows >= MAXIMUM_NUMBER_OF_FRIENDLY_UNITS || writer.full) break;
		if (entry.flags != _monster_statistics_friendly_flag) continue;
		if (rows == 0)
		{
			report->valid_table_flags |= _postgame_survivors_table_flag;
			if (local_ranking->extant_unit_count == 1) append_plain(&writer, _solo_single_survivor_header);
			else append_int(&writer, _solo_multiple_survivors_header, local_ranking->extant_unit_count);
			append_plain(&writer, _solo_kills_unit_header);
			append_plain(&writer, _solo_survivors_damage_inflicted_header);
			append_plain(&writer, _solo_survivors_kills_header);
			append_plain(&writer, _solo_survivors_casualties_header);
		}
		append_text(&writer, _solo_unit_type_format, get_monster_spelling(entry.type, entry.initial_count));
		append_double(&writer, _solo_percentile_format,
			friendly_damage ? 100.0 * entry.damage_inflicted / static_cast<double>(friendly_damage) : 0.0, TRUE);
		append_int(&writer, _solo_integer_format, entry.kills);
		append_two_ints(&writer, _solo_side_by_side_integer_format, entry.casualties, entry.initial_count);
		if (!writer.full) rows += 1;
	}
	report->table_row_counts[1] = rows;

	// Heroes.
	int16 record_count = 0;
	const monster_initializer *records = get_monster_initializers(&record_count);
	if (game && (game->endgame_state == 1 || game->endgame_state == 2) && records && record_count > 1)
	{
		rows = 0;
		definition_globals *monsters = get_monster_definitions();
		for (int16 i = 0; i < record_count && rows < MAXIMUM_NUMBER_OF_HEROES && !writer.full; ++i)
		{
			const monster_initializer &record = records[i];
			const int16 type = monsters ? subgroup_tag_to_definition_index(monsters, record.monster_tag) : NONE;
			const monster_definition *definition = type != NONE ? get_monster_definition(type) : nullptr;
			if (!definition || record.experience + record.battles_survived <= MINIMUM_EXPERIENCE_PER_HERO) continue;
			if (rows == 0)
			{
				report->valid_table_flags |= _postgame_heroes_table_flag;
				append_plain(&writer, _solo_heroes_header);
				append_plain(&writer, _solo_heroes_name_header);
				append_plain(&writer, _solo_heroes_battles_header);
				append_plain(&writer, _solo_heroes_experience_header);
			}
			char name[MONSTER_NAME_LENGTH];
			hero_name(&record, definition, name);
			append_two_texts(&writer, _solo_name_and_type_format, name, get_monster_spelling(type, 1));
			append_int(&writer, _solo_integer_format, record.battles_survived);
			append_int(&writer, _solo_integer_format, record.experience);
			if (!writer.full) rows += 1;
		}
		report->table_row_counts[2] = rows;
	}

	// Kills.
	gather_monster_statistics(statistics, FALSE);
	qsort_private(statistics, MAXIMUM_MONSTER_DEFINITIONS_PER_MAP, sizeof(monster_statistics), sort_monster_statistics_by_casualties);
	int32 total_casualties = 0;
	for (const monster_statistics &entry : statistics)
	{
		if (entry.initial_count && entry.casualties > 0) total_casualties = MIN(total_casualties + entry.casualties, 32767);
	}
	rows = 0;
	for (const monster_statistics &entry : statistics)
	{
		if (rows >= MAXIMUM_NUMBER_OF_ENEMY_UNITS || writer.full) break;
		if (!entry.initial_count || entry.casualties <= 0) continue;
		if (rows == 0)
		{
			report->valid_table_flags |= _postgame_kills_table_flag;
			append_int(&writer, _solo_kills_header, total_casualties);
			append_plain(&writer, _solo_kills_unit_header);
			append_plain(&writer, _solo_kills_dead_header);
		}
		append_text(&writer, _solo_unit_type_format, get_monster_spelling(entry.type, entry.casualties));
		append_int(&writer, _solo_integer_format, entry.casualties);
		if (!writer.full) rows += 1;
	}
	report->table_row_counts[3] = rows;

	// Ratios.
	report->valid_table_flags |= _postgame_damage_ratio_flag;
	if (damage_taken != 0)
	{
		const double ratio = local_ranking->total_damage < 0 ? 0.0 :
			-static_cast<double>(local_ranking->total_damage) / static_cast<double>(damage_taken);
		append_double(&writer, _solo_damage_ratio, ratio, FALSE);
	}
	else
	{
		append_plain(&writer, _solo_no_damage_taken);
	}
	report->valid_table_flags |= _postgame_kill_ratio_flag;
	if (local_ranking->casualty_count != 0)
	{
		const float ratio = static_cast<float>(local_ranking->total_kill_count) / static_cast<float>(local_ranking->casualty_count);
		append_double(&writer, _solo_kill_ratio, ratio, FALSE);
	}
	else
	{
		append_plain(&writer, _solo_no_casualties);
	}
}

const encoded_postgame_report *get_encoded_postgame_report(void)
{
	return statistics_globals ? &statistics_globals->postgame_report : nullptr;
}

const char *get_next_encoded_postgame_report_string(const encoded_postgame_report *report, int32 *offset)
{
	if (!report || !offset || *offset < 0 || *offset >= POSTGAME_REPORT_STRING_BUFFER_SIZE) return "";
	const char *text = report->strings + *offset;
	const size_t length = strnlen(text, static_cast<size_t>(POSTGAME_REPORT_STRING_BUFFER_SIZE - *offset));
	// An unterminated tail is not a string.
	if (*offset + static_cast<int32>(length) >= POSTGAME_REPORT_STRING_BUFFER_SIZE) return "";
	if (*offset + static_cast<int32>(length) + 1 < POSTGAME_REPORT_STRING_BUFFER_SIZE) *offset += static_cast<int32>(length) + 1;
	return text;
}

/* ---------- lobby standings */

void build_hollax_net_game_standings(int16 game_ended_code)
{
	if (!statistics_globals) return;
	hollax_net_game_standings *standings = &statistics_globals->hollax_net_game_standings;
	memset(standings, 0, sizeof(*standings));
	if (player_globals.local_player_index == NONE || !game) return;
	const new_game_data *setup = get_new_game_data();
	const int16 player_count = MIN(get_player_count(), static_cast<int16>(MAXIMUM_PLAYERS_PER_MAP));
	const int16 team_count = MIN(get_team_count(), static_cast<int16>(MAXIMUM_TEAMS_PER_MAP));

	standings->game_ended_code = game_ended_code;
	standings->game_scoring = game->scoring;
	standings->game_version =
		(game->option_flags & (_game_option_uses_qel_flag | _game_option_uses_anticlump_flag)) ? 1 : 0;
	standings->time_limit = game->original_time_limit;
	standings->actual_time_elapsed = game->game_time;
	if (setup && player_globals.local_player_index < MAXIMUM_PLAYERS_PER_MAP)
	{
		standings->hollax_net_player_id = static_cast<int32>(setup->players[player_globals.local_player_index].metaserver_player_id);
	}
	standings->number_of_players = player_count;
	standings->number_of_teams = team_count;

	const team_ranking_data *team_rankings = get_team_rankings();
	for (int16 t = 0; t < team_count; ++t)
	{
		const team_data *team = get_team_data(t);
		if (!team || team->original_number_of_players == 0) continue;
		hollax_net_game_standings_team &row = standings->teams[t];
		row.present = 1;
		row.place = NONE;
		for (int16 r = 0; r < team_count; ++r)
		{
			if (team_rankings[r].team_index == t) row.place = team_rankings[r].place;
		}
		row.captain_player_index = team->captain_player_index;
		row.eliminated = (team->flags & _team_has_been_eliminated_flag) ? 1 : 0;
		row.game_time_at_elimination = team->game_time_at_elimination;
	}
	const player_ranking_data *player_rankings = get_player_rankings();
	for (int16 p = 0; p < player_count; ++p)
	{
		const player_data *player = get_player_data(p);
		if (!player) continue;
		hollax_net_game_standings_player &row = standings->players[p];
		row.team_index = player->team_index;
		row.player_finished_game_flag = (player->flags & _player_has_been_dropped_flag) ? 0 : 1;
		row.time_played = player->game_time_at_drop;
		for (int16 r = 0; r < player_count; ++r)
		{
			const player_ranking_data &ranking = player_rankings[r];
			if (ranking.player_index != p) continue;
			row.units_killed = ranking.total_kill_count;
			row.units_lost = ranking.casualty_count;
			row.points_killed = ranking.total_damage >> 8;
			row.points_lost = ranking.casualty_cost;
			break;
		}
		if (setup) row.hollax_net_player_id = static_cast<int32>(setup->players[p].metaserver_player_id);
	}
}

const hollax_net_game_standings *get_hollax_net_game_standings(void)
{
	return statistics_globals ? &statistics_globals->hollax_net_game_standings : nullptr;
}

/* ---------- permanent rankings */

void adjust_permanent_player_rankings(void)
{
	if (!statistics_globals) return;
	permanent_player_ranking_data old_rankings[MAXIMUM_PLAYERS_PER_MAP];
	const int16 old_count = PIN(statistics_globals->permanent_player_ranking_count, static_cast<int16>(0),
		static_cast<int16>(MAXIMUM_PLAYERS_PER_MAP));
	memcpy(old_rankings, statistics_globals->permanent_player_rankings, sizeof(old_rankings));

	const int16 player_count = MIN(get_player_count(), static_cast<int16>(MAXIMUM_PLAYERS_PER_MAP));
	for (int16 p = 0; p < player_count; ++p)
	{
		const player_data *player = get_player_data(p);
		const int16 identity = player ? static_cast<int16>(player->unique_identifier & 0xffff) : static_cast<int16>(NONE);
		permanent_player_ranking_data ranking;
		memset(&ranking, 0, sizeof(ranking));
		ranking.unique_identifier = identity;
		for (int16 i = 0; i < old_count; ++i)
		{
			if (old_rankings[i].unique_identifier == identity)
			{
				ranking = old_rankings[i];
				break;
			}
		}
		ranking.player_index = p;
		statistics_globals->permanent_player_rankings[p] = ranking;
	}
	statistics_globals->permanent_player_ranking_count = player_count;
}
