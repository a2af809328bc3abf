// The string lists of the default set: local 'stli' tags of foundation file 3.
#include "default_tags.h"

#include "tag_files/tag_files.h"

#define STRING_LIST_GROUP_TAG TAG("stli")
#define STRING_LIST_VERSION 1

namespace
{
// A 'stli' line can never be empty (runs of line ends collapse), so every entry has text.
const char *const film_names[] = { "Last Replay", "Saved Game", "Saved Replay" };
const char *const game_speeds[] =
{
	"Game Speed", "Stopped", "1/16x", "1/8x", "1/4x", "1/2x", "Normal", "2x", "4x", "8x", "16x", "32x", "64x"
};
const char *const camera_tracking[] = { "Camera Tracking", "ON", "OFF" };
const char *const gamma_and_filtering[] = { "Gamma", "Landscape Filtering", "ON", "OFF" };
const char *const difficulty_levels[] = { "Very Easy", "Easy", "Normal", "Hard", "Very Hard" };
const char *const difficulty_explanations[] =
{
	"Enemies are few and slow to anger.",
	"Enemies fight, but forgive mistakes.",
	"The battle as it was planned.",
	"Enemies are many and fight to the end.",
	"Only the best commanders survive."
};
const char *const alliances[] = { "%s has formed an alliance with %s.", "%s has broken its alliance with %s.", "your team" };
const char *const formation_names[] =
{
	"Short Line", "Long Line", "Loose Line", "Staggered Line", "Box", "Mob", "Shallow Encirclement",
	"Deep Encirclement", "Vanguard", "Circle"
};
const char *const unit_trading[] = { "Points remaining: %d" };
// Network messages by index: 7 is the dropped-player line (the player's name
// its one argument), 34 the team captain's notice. The game uses no other
// entry yet; each holds a placeholder, since a 'stli' line cannot be empty.
const char *const networking_messages[] =
{
	"Network message 0", "Network message 1", "Network message 2", "Network message 3", "Network message 4",
	"Network message 5", "Network message 6", "%s has left the game.", "Network message 8", "Network message 9",
	"Network message 10", "Network message 11", "Network message 12", "Network message 13", "Network message 14",
	"Network message 15", "Network message 16", "Network message 17", "Network message 18", "Network message 19",
	"Network message 20", "Network message 21", "Network message 22", "Network message 23", "Network message 24",
	"Network message 25", "Network message 26", "Network message 27", "Network message 28", "Network message 29",
	"Network message 30", "Network message 31", "Network message 32", "Network message 33",
	"You are your team's captain."
};
// Language, truncation string, the three line-break lists (string 3 a space) and the country code.
const char *const text_layout[] = { "0", "...", " .,", " ", "([{", ".,;:!?)]}", "0" };
}

#define LIST(tag, name, strings) { TAG(tag), name, strings, static_cast<int32>(NUMBEROF(strings)) }

const default_string_list default_string_lists[] =
{
	LIST("inrf", "film names", film_names),
	LIST("inrs", "game speeds", game_speeds),
	LIST("inct", "camera tracking", camera_tracking),
	LIST("ingp", "gamma and filtering", gamma_and_filtering),
	LIST("indl", "difficulty levels", difficulty_levels),
	LIST("in04", "difficulty explanations", difficulty_explanations),
	LIST("inal", "alliances", alliances),
	LIST("infn", "formation names", formation_names),
	LIST("inut", "unit trading", unit_trading),
	LIST("in#1", "text layout", text_layout),
	LIST("inmn", "networking messages", networking_messages),
};

const int32 number_of_default_string_lists = static_cast<int32>(NUMBEROF(default_string_lists));

std::string string_list_text(const char *const *strings, int32 string_count)
{
	std::string text;
	for (int32 i = 0; i < string_count; ++i)
	{
		if (i) text += '\r';
		text += strings[i];
	}
	return text;
}

int32 make_string_list_tag(file_tag subgroup_tag, const char *name, const char *const *strings, int32 string_count)
{
	const std::string text = string_list_text(strings, string_count);
	return tag_file_new_with_subgroup_tag(STRING_LIST_GROUP_TAG, name, subgroup_tag, STRING_LIST_VERSION, text.data(),
		static_cast<int32>(text.size()));
}

bool make_default_string_list_tags(std::vector<int32> *handles)
{
	for (int32 i = 0; i < number_of_default_string_lists; ++i)
	{
		const default_string_list *list = &default_string_lists[i];
		const int32 handle = make_string_list_tag(list->subgroup_tag, list->name, list->strings, list->string_count);
		if (handle == NONE) return false;
		handles->push_back(handle);
	}
	return true;
}
