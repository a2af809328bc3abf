// Tutorial sniffing: the tutorial harness that watches the player's input.
#ifndef SNIFFING_H
#define SNIFFING_H

#include "cseries.h"

struct action_data;
struct command_header;

void initialize_sniffing_for_new_map(void);
void dispose_sniffing_from_old_map(void);
// May clear the sample.
void handle_action_sniffing(action_data *action);
// False drops the local command.
boolean handle_command_sniffing(command_header *command);

#endif
