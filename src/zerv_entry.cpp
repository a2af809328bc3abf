// Program entry: the game's main lives in zerv_main so that tests can link it.
#include "main.h"

int main(int argc, char **argv)
{
	return zerv_main(argc, argv);
}
