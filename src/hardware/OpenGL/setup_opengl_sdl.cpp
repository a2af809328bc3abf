// The SDL and GLX side of the OpenGL back end: context attributes, the entry
// points of libGL and GLU, run-time lookups, swaps and the swap interval.
#include <SDL/SDL.h>
#include <GL/gl.h>
#include <GL/glu.h>
#include <GL/glx.h>

#include <cstring>

#include "hardware/OpenGL/opengl_api.h"
#include "hardware/OpenGL/setup_opengl_sdl.h"
#include "screen.h"

static boolean sdl_opengl_possible(void)
{
	char name[32] = "";
	if (!SDL_VideoDriverName(name, sizeof(name))) return FALSE;
	// SDL's dummy driver has no GL.
	return strcmp(name, "dummy") != 0;
}

static void sdl_opengl_set_attributes(int32 depth_size, int32 swap_interval)
{
	SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, 1);
	SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
	SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth_size);
	// SDL 1.2 applies the interval only when it sets a mode.
	SDL_GL_SetAttribute(SDL_GL_SWAP_CONTROL, swap_interval);
}

static boolean sdl_opengl_load_api(opengl_api_data *api)
{
	SDL_Surface *surface = SDL_GetVideoSurface();
	if (!surface || !(surface->flags & SDL_OPENGL)) return FALSE;
#define LOAD_1X(type, name, parameters, arguments) api->name = name;
	OPENGL_API_1X(LOAD_1X)
#undef LOAD_1X
	return TRUE;
}

static void *sdl_opengl_get_proc_address(const char *name)
{
	return reinterpret_cast<void *>(glXGetProcAddress(reinterpret_cast<const GLubyte *>(name)));
}

static void sdl_opengl_swap_buffers(void)
{
	SDL_GL_SwapBuffers();
}

static boolean sdl_opengl_set_swap_interval(int32 interval)
{
	typedef int (*swap_interval_proc)(int);
	swap_interval_proc mesa = reinterpret_cast<swap_interval_proc>(sdl_opengl_get_proc_address("glXSwapIntervalMESA"));
	if (mesa) return mesa(interval) == 0;
	swap_interval_proc sgi = reinterpret_cast<swap_interval_proc>(sdl_opengl_get_proc_address("glXSwapIntervalSGI"));
	if (sgi && interval > 0) return sgi(interval) == 0;
	return FALSE;
}

static const char *sdl_opengl_error_string(void)
{
	return SDL_GetError();
}

static void sdl_query_opengl_devices(void)
{
	if (sdl_opengl_possible()) query_opengl_devices();
}

void install_sdl_opengl_procedures(platform_procedures_data *procedures)
{
	procedures->query_opengl_devices = sdl_query_opengl_devices;
	procedures->opengl_set_attributes = sdl_opengl_set_attributes;
	procedures->opengl_load_api = sdl_opengl_load_api;
	procedures->opengl_get_proc_address = sdl_opengl_get_proc_address;
	procedures->opengl_swap_buffers = sdl_opengl_swap_buffers;
	procedures->opengl_set_swap_interval = sdl_opengl_set_swap_interval;
	procedures->opengl_error_string = sdl_opengl_error_string;
}
