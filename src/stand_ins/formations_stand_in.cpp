// Formations are not built yet: the default formation is the first and no
// unit belongs to a formation.
#include "formations.h"

int16 get_default_formation_index(void)
{
	return 0;
}

int16 get_formation_identifier(void)
{
	return NONE;
}
