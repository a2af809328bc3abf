// Program entry: the game's main lives in zerv_main so that tests can link it.
// The game binary runs on SDL; tests run the same engine headless.
#include "main.h"
#include "screen.h"

int main(int argc, char **argv)
{
	install_sdl_platform();
	return zerv_main(argc, argv);
}
