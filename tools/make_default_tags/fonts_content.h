// Bitmap fonts ('font') of the default set, drawn from the generator's own
// glyph table, and the builder that stores a font described in native
// records. Tests build their own fonts with the same builder.
#ifndef FONTS_CONTENT_H
#define FONTS_CONTENT_H

#include <string>
#include <vector>

#include "cseries.h"
#include "bitmap_text.h"

struct font_glyph_description
{
	uint16 character;
	int16 character_width;
	int16 origin_x, origin_y; // pen x minus picture left, baseline minus picture top
	int16 width, height;
	std::vector<uint8> pixels; // width x height, 0 full ink, 255 none
};

struct font_description
{
	int16 ascending_height, descending_height, leading_height;
	file_tag style_font_tags[NUMBER_OF_FONT_STYLES];
	std::vector<font_glyph_description> glyphs;
};

// The stored tag data: the 64-byte record, then the character block.
std::string font_tag_data(const font_description &description);
// A local 'font' tag; its handle, or NONE.
int32 make_font_tag(file_tag subgroup_tag, const char *name, const font_description &description);

#define DEFAULT_INTERFACE_FONT_TAG TAG("ifnt")
#define DEFAULT_INTERFACE_ITALIC_FONT_TAG TAG("ifni")
#define DEFAULT_INTERFACE_BOLD_FONT_TAG TAG("ifnb")
// The check mark's code.
#define DEFAULT_FONT_CHECK_MARK_CHARACTER 0xC3

// The interface font in a style (NONE plain, _font_style_italic, _font_style_bold).
font_description default_interface_font(int16 style);
// Every default font as a local tag; appends the handles.
bool make_default_font_tags(std::vector<int32> *handles);

#endif
