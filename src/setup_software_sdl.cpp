// The SDL answers of the software device's mode query and the desktop size.
#include <SDL/SDL.h>

#include "screen.h"

int32 sdl_list_modes(boolean opengl, int16 *widths, int16 *heights, int32 maximum_count)
{
	SDL_Rect **modes = SDL_ListModes(NULL, SDL_FULLSCREEN | (opengl ? SDL_OPENGL : 0));
	if (!modes) return 0;
	if (modes == reinterpret_cast<SDL_Rect **>(-1)) return -1;
	int32 count = 0;
	for (; modes[count] && count < maximum_count; ++count)
	{
		widths[count] = static_cast<int16>(modes[count]->w);
		heights[count] = static_cast<int16>(modes[count]->h);
	}
	return count;
}

void sdl_get_desktop_size(int16 *width, int16 *height)
{
	// Before the first window SDL reports the desktop (0 x 0 with the dummy driver).
	const SDL_VideoInfo *info = SDL_GetVideoInfo();
	*width = info ? static_cast<int16>(info->current_w) : 0;
	*height = info ? static_cast<int16>(info->current_h) : 0;
}
