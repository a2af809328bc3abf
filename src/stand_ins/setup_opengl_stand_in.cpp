// OpenGL devices: none are reported until the OpenGL back end exists.
#include "hardware/OpenGL/setup_opengl_sdl.h"

void query_opengl_devices(void)
{
}
