#include "main.h"
int zerv_main(int, char **) { return 0; }
