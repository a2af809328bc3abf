// OpenGL set-up on SDL: the OpenGL screen devices.
#ifndef SETUP_OPENGL_SDL_H
#define SETUP_OPENGL_SDL_H

#include "cseries.h"

// Reports every OpenGL renderer found as a screen device.
void query_opengl_devices(void);

#endif
