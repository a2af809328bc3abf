// OpenGL set-up on SDL: the OpenGL screen devices and the platform's GL
// procedures.
#ifndef SETUP_OPENGL_SDL_H
#define SETUP_OPENGL_SDL_H

#include "cseries.h"

struct platform_procedures_data;

// Reports every OpenGL renderer found as a screen device (engine side, through
// the platform's GL procedures).
void query_opengl_devices(void);

// SDL library only: fills the GL members of the platform's procedures.
void install_sdl_opengl_procedures(platform_procedures_data *procedures);

#endif
