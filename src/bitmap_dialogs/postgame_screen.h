// The single-player post-game screen: the encoded report's tables, shown
// before the epilogue goes on; Continue (Return or Escape) goes on.
#ifndef POSTGAME_SCREEN_H
#define POSTGAME_SCREEN_H

#include "cseries.h"

struct dialog_data;
struct encoded_postgame_report;

#define POSTGAME_SCREEN_DIALOG_TAG TAG("pgsc")

enum
{
	iPOSTGAME_CONTINUE = 1,
	iPOSTGAME_FIRST_TEXT // the report's strings follow in their order
};

// Opens the screen over the report of the map just played; FALSE (nothing
// opened) when the report holds no table. Continuing calls
// display_mesh_epilogue for the map.
boolean open_postgame_screen(const encoded_postgame_report *report, file_tag mesh_tag);
void close_postgame_screen(void);
dialog_data *get_postgame_screen(void);

#endif
