// The in-game ranking overlay (post-rasterization effect 1).
#ifndef RANKING_OVERLAY_H
#define RANKING_OVERLAY_H

#include "cseries.h"
#include "bitmaps.h"

struct view_data;

enum // 'inne'
{
	_netgame_ending_untimed,
	_netgame_ending_ending,
	_netgame_ending_suspended,
	_netgame_ending_game_over,
	_netgame_ending_pregame
};

#define INITIAL_RANKING_DISPLAY_TICKS 150
#define PERIODIC_TIME_REMAINING_DISPLAY_TICKS 150
#define TIME_REMAINING_DISPLAY_TICKS 900
#define RANKING_BOUNDS_WIDTH 290
#define RANKING_BOUNDS_HEIGHT 22
#define RANKING_HORIZONTAL_SPACING 5
#define RANKING_VERTICAL_SPACING 5
#define RANKING_INDENT 20

enum
{
	_ranking_display_none,
	_ranking_display_title,
	_ranking_display_full
};

extern const int16 ranking_extra_widths[];

// What the overlay shows now.
int16 get_ranking_display_level(void);
// "%d day%s " when days, then h:mm:ss or m:ss with a trailing '\r'.
void format_ranking_clock(int32 ticks, char *buffer, int32 size);
void get_ranking_title(char *title, int32 title_size, char *right, int32 right_size);
// The ten points of an ally's star in a box of height h.
void get_star_points(int16 x0, int16 y0, int16 h, point2d points[10]);
// What fill_polygon takes for a star: the ten points (10), or for a hardware
// rasterizer the twelve-point fan from its centre (12).
int16 get_star_fill_points(int16 x0, int16 y0, int16 h, boolean hardware, point2d points[12]);

void rasterize_ranking_box(bitmap_data *screen, const rectangle2d *box, const rgb_color *fill, fixed_fraction transparency,
	const char *name, const char *share, const char *score, int16 extra_width, const int16 *allied_teams, int16 allied_count,
	boolean hardware);
void draw_data_limit(bitmap_data *screen, int16 y, const char *count, const char *maximum, const char *name);
// The right edges of a limit line's count and maximum boxes and the left of its name.
void get_data_limit_columns(int16 *count_right, int16 *maximum_right, int16 *name_left);

#endif
