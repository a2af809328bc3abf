// The in-game overlay of the time remaining, the game's title and the ranking
// boxes of teams and players, or the debug limits of the data arrays.
// Drawing only: it reads the game and never changes it.
#include "ranking_overlay.h"

#include <cstdio>
#include <cstring>

#include "alliances.h"
#include "bitmap_drawing.h"
#include "bitmap_text.h"
#include "damage.h"
#include "data.h"
#include "game_preferences.h"
#include "game_statistics.h"
#include "input/actions.h"
#include "local_projectiles.h"
#include "interface.h"
#include "main.h"
#include "main_globals.h"
#include "map_actions/map_actions.h"
#include "mesh.h"
#include "players.h"
#include "render/render.h"
#include "CoreLibrary/input/sdl_input.h"
#include "objects.h"
#include "overhead_map.h"
#include "projectiles.h"
#include "monsters.h"
#include "string_definitions.h"
#include "unit_trading.h"
#include "zerv.h"

const int16 ranking_extra_widths[NUMBER_OF_GAME_SCORING_TYPES] = {
	50, 20, 20, 130, 130, 20, 20, 50, 50, 60, 40, 40, 35, 0, 60};

static const rgb_color ranking_white = {65535, 65535, 65535, 0};
static const rgb_color ranking_black = {0, 0, 0, 0};

static int16 ranking_extra_width(void)
{
	return game && game->scoring >= 0 && game->scoring < NUMBER_OF_GAME_SCORING_TYPES ? ranking_extra_widths[game->scoring] : 0;
}

int16 get_ranking_display_level(void)
{
	if (!game || !statistics_globals) return _ranking_display_none;
	if (game->state != _game_state_running || game_flags_test(_game_is_out_of_sync_flag) ||
		statistics_globals->ticks_until_reranking < 0)
	{
		return _ranking_display_none;
	}
	int16 level = _ranking_display_none;
	switch (game->time_state)
	{
		case _game_time_no_countdown: break;
		case _game_time_countdown:
			if (game->time_remaining < TIME_REMAINING_DISPLAY_TICKS ||
				game->game_time % TICKS_PER_MINUTE < PERIODIC_TIME_REMAINING_DISPLAY_TICKS ||
				game->original_time_limit - game->time_remaining < PERIODIC_TIME_REMAINING_DISPLAY_TICKS)
			{
				level = _ranking_display_title;
			}
			break;
		default: level = _ranking_display_title; break;
	}
	if (game_flags_test(_game_is_ending_flag)) level = MAX(level, static_cast<int16>(_ranking_display_title));
	const input_definition *input = get_input_definition();
	const boolean caps_lock_shows = key_down(_key_caps_lock) && input && input->caps_lock_action == 3;
	if (game_flags_test(_game_is_over_flag) || game->game_time < INITIAL_RANKING_DISPLAY_TICKS || key_down(_key_f7) ||
		main_module.display_in_game_stats || caps_lock_shows)
	{
		level = _ranking_display_full;
	}
	return level;
}

void format_ranking_clock(int32 ticks, char *buffer, int32 size)
{
	if (ticks < 0) ticks = 0;
	const int32 days = ticks / 2592000, hours = ticks % 2592000 / 108000;
	const int32 minutes = ticks % 108000 / 1800, seconds = ticks % 1800 / TICKS_PER_SECOND;
	int32 used = 0;
	buffer[0] = 0;
	if (days) used = snprintf(buffer, size, "%d day%s ", static_cast<int>(days), days == 1 ? "" : "s");
	if (used < 0 || used >= size) return;
	if (days || hours)
	{
		snprintf(buffer + used, size - used, "%d:%02d:%02d\r", static_cast<int>(hours), static_cast<int>(minutes),
			static_cast<int>(seconds));
	}
	else
	{
		snprintf(buffer + used, size - used, "%d:%02d\r", static_cast<int>(minutes), static_cast<int>(seconds));
	}
}

static const char *endings_string(int16 index)
{
	return get_string_from_list(string_list_tag_to_string_index(NETGAME_ENDINGS_STRING_LIST_TAG), index);
}

void get_ranking_title(char *title, int32 title_size, char *right, int32 right_size)
{
	title[0] = right[0] = 0;
	if (!game) return;
	const mesh_header *header = get_mesh_header();
	if (game_flags_test(_game_is_over_flag) && (game->option_flags & _game_option_cooperative_flag))
	{
		boolean victory = game->endgame_state == 1;
		if (game->endgame_state == 2) victory = header && header->next_mesh_tags[1] != 0 &&
			header->next_mesh_tags[1] != static_cast<file_tag>(NONE);
		snprintf(title, title_size, "%s", victory ? "VICTORY" : "DEFEAT");
	}
	else if (game->scoring == _game_scoring_custom)
	{
		snprintf(title, title_size, "%s", get_string_from_list(header ? header->map_description_string_index : NONE, 0));
	}
	else if (game->time_state == _game_time_pregame && game_flags_test(_game_is_local_time_paused_flag))
	{
		snprintf(title, title_size, "%s", endings_string(_netgame_ending_pregame));
	}
	else
	{
		snprintf(title, title_size, "%s", get_game_scoring_string(game->scoring));
	}

	switch (game->time_state)
	{
		case _game_time_pregame:
		case _game_time_countdown: format_ranking_clock(game->time_remaining, right, right_size); break;
		case _game_time_no_countdown: format_ranking_clock(game->game_time, right, right_size); break;
		case _game_time_random_endgame_countdown: snprintf(right, right_size, "%s", endings_string(_netgame_ending_ending)); break;
		case _game_time_suspended_ending: snprintf(right, right_size, "%s", endings_string(_netgame_ending_suspended)); break;
		case _game_time_ending:
			if (game_flags_test(_game_is_paused_flag) && (game->option_flags & _game_option_cooperative_flag))
			{
				format_ranking_clock(game->game_time_at_end, right, right_size);
			}
			else
			{
				snprintf(right, right_size, "%s", endings_string(_netgame_ending_game_over));
			}
			break;
		default: snprintf(right, right_size, "%s", endings_string(_netgame_ending_untimed)); break;
	}
}

int16 get_star_fill_points(int16 x0, int16 y0, int16 h, boolean hardware, point2d points[12])
{
	if (!hardware)
	{
		get_star_points(x0, y0, h, points);
		return 10;
	}
	// A fan from the first point would cover the star's notches: fan from its centre.
	points[0].x = static_cast<int16>(x0 + h / 2);
	points[0].y = static_cast<int16>(y0 + h / 2);
	get_star_points(x0, y0, h, points + 1);
	points[11] = points[1];
	return 12;
}

void get_star_points(int16 x0, int16 y0, int16 h, point2d points[10])
{
	static const int16 star[10][2] = {
		{50, 10}, {59, 39}, {90, 39}, {66, 58}, {75, 90}, {50, 70}, {23, 90}, {34, 58}, {10, 39}, {41, 39}};
	for (int16 i = 0; i < 10; ++i)
	{
		points[i].x = static_cast<int16>(x0 + h * star[i][0] / 100);
		points[i].y = static_cast<int16>(y0 + h * star[i][1] / 100);
	}
}

/* ---------- boxes */

namespace
{
	struct overlay_layout
	{
		int16 rows_per_column;
		int16 bar_offset;
		int16 extra_width;
		int16 slot;
	};

	int16 share_of(int32 extant, int32 denominator)
	{
		// A zero denominator (no units ever) shows 0.
		if (denominator <= 0) return 0;
		return static_cast<int16>(static_cast<int64>(extant) * 100 / denominator);
	}

	// How a box's text stands out from its fill.
	struct box_text_colors
	{
		const rgb_color *text;
		const rgb_color *outline; // null for none
	};

	void draw_text_in(bitmap_data *screen, const rectangle2d *box, const char *text, uint32 flags,
		const box_text_colors &colors = {&ranking_white, nullptr})
	{
		const int16 font = get_interface_font_index(1);
		flags |= _draw_string_center_vertical_flag;
		if (colors.outline && text && *text)
		{
			static const int16 offsets[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
			for (const auto &offset : offsets)
			{
				rectangle2d shifted = *box;
				offset_rectangle2d(&shifted, offset[0], offset[1]);
				draw_string(screen, nullptr, &shifted, box, font, NONE, colors.outline, text, flags, 0);
			}
		}
		draw_string(screen, nullptr, box, box, font, NONE, colors.text, text, flags, 0);
	}

	// Over any background, the fill keeps (15 - level) fifteenths of its colour:
	// white text on a dark fill, black on a bright one, and where the fill leaves
	// too little of itself to be sure (a faded box, a middle colour), an outline
	// in the other colour.
	box_text_colors text_colors_for_fill(const rgb_color *fill, fixed_fraction transparency)
	{
		const int32 luminance = (299 * static_cast<int32>(fill->red) + 587 * static_cast<int32>(fill->green) +
			114 * static_cast<int32>(fill->blue)) / 1000;
		const boolean bright = luminance > 32767;
		const int32 keep = 15 - (transparency >> 12);
		const int32 worst_contrast = keep * (bright ? luminance : 65535 - luminance) / 15;
		box_text_colors colors = {bright ? &ranking_black : &ranking_white, nullptr};
		if (worst_contrast < 65535 * 3 / 10) colors.outline = bright ? &ranking_white : &ranking_black;
		return colors;
	}

	rectangle2d next_box(overlay_layout *layout, boolean member)
	{
		const int16 s = layout->slot++;
		const int16 column = s / layout->rows_per_column, row = s % layout->rows_per_column;
		const int16 left = static_cast<int16>(RANKING_HORIZONTAL_SPACING +
			column * (RANKING_BOUNDS_WIDTH + RANKING_HORIZONTAL_SPACING + layout->extra_width));
		const int16 top = static_cast<int16>(RANKING_VERTICAL_SPACING +
			row * (RANKING_BOUNDS_HEIGHT + RANKING_VERTICAL_SPACING) + layout->bar_offset);
		const int16 right = static_cast<int16>(left + RANKING_BOUNDS_WIDTH + layout->extra_width);
		rectangle2d box;
		set_rectangle2d(&box, member ? static_cast<int16>(left + RANKING_INDENT + layout->extra_width) : left, top, right,
			static_cast<int16>(top + RANKING_BOUNDS_HEIGHT));
		return box;
	}

	void score_text(const team_ranking_data *ranking, int64 score_sum, char *text, int32 size)
	{
		const team_data *team = get_team_data(ranking->team_index);
		text[0] = 0;
		switch (game->scoring)
		{
			case _game_scoring_attrition:
				if ((game->option_flags & _game_option_uses_qel_flag) ||
					((game->option_flags & _game_option_uses_anticlump_flag) && game_play_version < 1711))
				{
					snprintf(text, size, "%d%%", score_sum > 0 ? static_cast<int>(static_cast<int64>(ranking->score) * 100 / score_sum) : 0);
				}
				else
				{
					snprintf(text, size, "%d", static_cast<int>(ranking->score));
				}
				break;
			case 1: case 2: case 5: case 6:
				if (ranking->score) snprintf(text, size, "%s", get_check_mark_string());
				break;
			case 3: case 4:
				for (int16 flag = 1; flag <= 9 && team; ++flag)
				{
					char digit[4];
					snprintf(digit, sizeof(digit), (team->numbered_flags_captured_flags & (1u << flag)) ? "%d" : " ", flag);
					strncat(text, digit, static_cast<size_t>(size) - strlen(text) - 1);
				}
				break;
			case 7: case 8: case 10: case 11: case 12:
				if (ranking->score) snprintf(text, size, "%d", static_cast<int>(ranking->score));
				break;
			case 9: case 14:
			{
				const int32 seconds = team ? team->game_time_of_possession / TICKS_PER_SECOND : 0;
				snprintf(text, size, "%02d:%02d", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
				break;
			}
		}
	}
}

void rasterize_ranking_box(bitmap_data *screen, const rectangle2d *box, const rgb_color *fill, fixed_fraction transparency,
	const char *name, const char *share, const char *score, int16 extra_width, const int16 *allied_teams, int16 allied_count,
	boolean hardware)
{
	fill_rectangle_clipped(screen, fill, box, nullptr, transparency, nullptr);
	const box_text_colors colors = text_colors_for_fill(fill, transparency);
	rectangle2d inner = *box;
	inner.left = static_cast<int16>(inner.left + 5);
	draw_text_in(screen, &inner, name, 0, colors);
	inner.left = static_cast<int16>(box->left + extra_width);
	const int16 h = static_cast<int16>(box->bottom - box->top);
	int16 x = inner.left;
	for (int16 i = 0; i < allied_count; ++i)
	{
		const team_data *ally = get_team_data(allied_teams[i]);
		const player_data *captain = ally ? get_player_data(ally->captain_player_index) : nullptr;
		if (!captain) continue;
		point2d points[12];
		const int16 count = get_star_fill_points(x, box->top, h, hardware, points);
		rectangle2d clip;
		set_rectangle2d(&clip, 0, 0, static_cast<int16>(screen->width), static_cast<int16>(screen->height));
		fill_polygon(screen, &captain->appearance.primary_color, &clip, 0, nullptr, points, count);
		rgb_color frame;
		get_interface_color(56, &frame);
		const point2d *outline = count == 12 ? points + 1 : points;
		frame_polygon(screen, &frame, &clip, 0, nullptr, outline, 10);
		x = static_cast<int16>(x + h);
	}
	rectangle2d right = *box;
	right.right = static_cast<int16>(right.right - 5);
	draw_text_in(screen, &right, share, _draw_string_right_justified_flag, colors);
	right.right = static_cast<int16>(box->right - 10 - string_width(get_interface_font_index(1), NONE, share));
	draw_text_in(screen, &right, score, _draw_string_right_justified_flag, colors);
}

// Columns sized by the font for the widest counts: a 5-digit array count
// ("32767  /"), the render arena in kilobytes ("4096 K /") and the maxima.
void get_data_limit_columns(int16 *count_right, int16 *maximum_right, int16 *name_left)
{
	const int16 font = get_interface_font_index(1);
	const font_definition *definition = get_font_definition(font);
	const int32 margins = 2 * (definition ? definition->leading_width : 0) + 1;
	const int32 count = MAX(string_width(font, NONE, "00000  /"), string_width(font, NONE, "00000 K /")) + margins;
	const int32 maximum = count + string_width(font, NONE, " 00000 K") + margins;
	*count_right = static_cast<int16>(MAX(count, 80));
	*maximum_right = static_cast<int16>(MAX(maximum, 160));
	*name_left = static_cast<int16>(*maximum_right + 10);
}

void draw_data_limit(bitmap_data *screen, int16 y, const char *count, const char *maximum, const char *name)
{
	int16 count_right, maximum_right, name_left;
	get_data_limit_columns(&count_right, &maximum_right, &name_left);
	rectangle2d box;
	set_rectangle2d(&box, 0, y, count_right, static_cast<int16>(y + RANKING_BOUNDS_HEIGHT));
	draw_text_in(screen, &box, count, _draw_string_right_justified_flag);
	box.right = maximum_right;
	draw_text_in(screen, &box, maximum, _draw_string_right_justified_flag);
	set_rectangle2d(&box, name_left, y, static_cast<int16>(screen->width), static_cast<int16>(y + RANKING_BOUNDS_HEIGHT));
	draw_text_in(screen, &box, name, 0);
}

static void draw_array_limit(bitmap_data *screen, int16 *y, const char *array_name, int16 total_count, int16 maximum_count)
{
	char count[16], maximum[16], name[80];
	snprintf(count, sizeof(count), "%d  /", static_cast<int>(total_count));
	snprintf(maximum, sizeof(maximum), "%d", static_cast<int>(maximum_count));
	const size_t length = strlen(array_name);
	snprintf(name, sizeof(name), "%s%s:", array_name, length && array_name[length - 1] == 's' ? "" : "s");
	draw_data_limit(screen, *y, count, maximum, name);
	*y = static_cast<int16>(*y + RANKING_BOUNDS_HEIGHT);
}

static void draw_array_limit(bitmap_data *screen, int16 *y, const datum_globals *array)
{
	if (array) draw_array_limit(screen, y, array->name, array->total_count, array->maximum_count);
}

static void rasterize_data_limits(bitmap_data *screen)
{
	int16 y = RANKING_VERTICAL_SPACING;
	draw_array_limit(screen, &y, &object_array);
	draw_array_limit(screen, &y, &projectile_array);
	draw_array_limit(screen, &y, &local_projectile_array);
	const mesh_header *header = get_mesh_header();
	if ((game && game->type == _game_type_replay) || (header && !(header->flags & _mesh_is_complete_flag)))
	{
		draw_array_limit(screen, &y, &monster_array);
	}
	draw_array_limit(screen, &y, &local_projectile_group_array);
	draw_array_limit(screen, &y, OVERHEAD_TEXT_ARRAY_NAME, count_overhead_texts(), MAXIMUM_OVERHEAD_TEXTS);
	draw_array_limit(screen, &y, &explosion_array);
	char count[16], maximum[16];
	snprintf(count, sizeof(count), "%d /", static_cast<int>(get_map_action_parameter_buffer_size()));
	snprintf(maximum, sizeof(maximum), "%d", PARAMETER_BUFFER_SIZE);
	draw_data_limit(screen, y, count, maximum, "MA params size:");
	y = static_cast<int16>(y + RANKING_BOUNDS_HEIGHT);
	// Before the first frame there are no statistics: the arena then shows 0 used.
	render_statistics statistics = {};
	statistics.total_memory = RENDER_MEMORY_POOL_SIZE;
	get_render_statistics(&statistics);
	snprintf(count, sizeof(count), "%d K /", static_cast<int>(statistics.used_memory / 1024));
	snprintf(maximum, sizeof(maximum), "%d K", static_cast<int>(statistics.total_memory / 1024));
	draw_data_limit(screen, y, count, maximum, "");
}

void rasterize_rankings(view_data *view)
{
	if (!view || !view->screen || !game || !statistics_globals) return;
	bitmap_data *screen = view->screen;
	const boolean hardware = view->rasterizer_code != 0;
	if (main_module.display_limits)
	{
		rasterize_data_limits(screen);
		return;
	}
	const int16 level = get_ranking_display_level();
	if (level == _ranking_display_none) return;

	overlay_layout layout = {};
	layout.extra_width = ranking_extra_width();
	layout.rows_per_column = static_cast<int16>(MAX(1, (screen->height - RANKING_VERTICAL_SPACING) /
		(RANKING_BOUNDS_HEIGHT + RANKING_VERTICAL_SPACING)));
	rectangle2d bar;
	if (unit_trading_dialog_visible(&bar)) layout.bar_offset = static_cast<int16>(bar.bottom - bar.top);
	else if (status_bar_visible(&bar) && (get_game_preferences()->flags & _game_pref_use_transparency_flag))
	{
		layout.bar_offset = static_cast<int16>(bar.bottom - bar.top);
	}

	char title[128], right[64];
	get_ranking_title(title, sizeof(title), right, sizeof(right));
	const rectangle2d title_box = next_box(&layout, FALSE);
	rasterize_ranking_box(screen, &title_box, &ranking_black, 32768, title, right, "", layout.extra_width, nullptr, 0,
		hardware);
	if (level != _ranking_display_full) return;

	const int16 team_count = MIN(get_team_count(), static_cast<int16>(MAXIMUM_TEAMS_PER_MAP));
	const team_ranking_data *rankings = get_team_rankings();
	const player_ranking_data *player_rankings = get_player_rankings();
	const int16 player_count = MIN(get_player_count(), static_cast<int16>(MAXIMUM_PLAYERS_PER_MAP));
	int64 score_sum = 0;
	for (int16 r = 0; r < team_count; ++r) score_sum += rankings[r].score;
	for (int16 r = 0; r < team_count; ++r)
	{
		const team_ranking_data *ranking = &rankings[r];
		const team_data *team = get_team_data(ranking->team_index);
		const player_data *captain = team ? get_player_data(team->captain_player_index) : nullptr;
		// A team without a captain in play is skipped.
		if (!team || !captain || (captain->flags & _player_has_been_dropped_flag) || captain->type != _player_is_human) continue;
		const int32 denominator = ranking->extant_cost + ranking->casualty_cost;
		char share[16], score[64];
		snprintf(share, sizeof(share), "%d%%", share_of(ranking->extant_cost, denominator));
		score_text(ranking, score_sum, score, sizeof(score));
		int16 allies[MAXIMUM_TEAMS_PER_MAP];
		int16 ally_count = 0;
		for (int16 t = static_cast<int16>(team_count - 1); t >= 0; --t)
		{
			if (t != ranking->team_index && get_team_data(t) && teams_are_allied(ranking->team_index, t)) allies[ally_count++] = t;
		}
		// A deathmatch team without units is still in the game: no fade.
		const boolean units_left =
			ranking->extant_unit_count > 0 || (game->option_flags & _game_option_deathmatch_flag) != 0;
		const rectangle2d box = next_box(&layout, FALSE);
		const char *name = team->original_number_of_players > 1 ? captain->appearance.team_name : captain->appearance.name;
		rasterize_ranking_box(screen, &box, &captain->appearance.primary_color, units_left ? 32768 : 57344, name, share,
			score, layout.extra_width, allies, ally_count, hardware);
		if (team->original_number_of_players <= 1) continue;
		for (int16 p = 0; p < player_count; ++p)
		{
			const player_data *member = get_player_data(p);
			if (!member || member->team_index != ranking->team_index || (member->flags & _player_has_been_dropped_flag)) continue;
			int32 extant = 0;
			for (int16 k = 0; k < player_count; ++k)
			{
				if (player_rankings[k].player_index == p) extant = player_rankings[k].extant_cost;
			}
			snprintf(share, sizeof(share), "%d%%", share_of(extant, denominator));
			const rectangle2d member_box = next_box(&layout, TRUE);
			rasterize_ranking_box(screen, &member_box, &member->appearance.secondary_color, units_left ? 32768 : 57344,
				member->appearance.name, share, "", 0, nullptr, 0, hardware);
		}
	}
}
