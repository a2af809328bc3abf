#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "CoreLibrary/iniparser3.0b/src/dictionary.h"
#include "CoreLibrary/iniparser3.0b/src/iniparser.h"
#include "support/test_directory.h"

namespace
{
class IniParser : public zerv_test_directory
{
};

struct parsed
{
	dictionary *d = nullptr;
	int32 bad_lines = 0;

	explicit parsed(const std::string &text)
	{
		d = iniparser_load_buffer("test.ini", text.data(), static_cast<int32>(text.size()), &bad_lines);
	}
	~parsed() { iniparser_freedict(d); }
	const char *get(const char *key) const { return iniparser_getstring(d, key, "<absent>"); }
};

template <typename print_procedure>
std::string print_to_string(print_procedure print)
{
	char *text = nullptr;
	size_t length = 0;
	FILE *stream = open_memstream(&text, &length);
	print(stream);
	fclose(stream);
	std::string result(text, length);
	free(text);
	return result;
}
}

TEST_F(IniParser, KeysAreStoredUnderTheirSectionInLowerCase)
{
	parsed ini("[Net.Hosting]\nPortNumber = 4000\n");
	ASSERT_NE(ini.d, nullptr);
	EXPECT_EQ(iniparser_getint(ini.d, "net.hosting:portnumber", 0), 4000);
	EXPECT_EQ(iniparser_getint(ini.d, "NET.Hosting:PortNUMBER", 0), 4000);
	EXPECT_EQ(iniparser_getint(ini.d, "net.hosting:missing", 17), 17);
	EXPECT_TRUE(iniparser_find_entry(ini.d, "Net.Hosting"));
	// A section entry exists but has no value.
	EXPECT_EQ(iniparser_getstring(ini.d, "net.hosting", "def"), nullptr);
	EXPECT_EQ(iniparser_getint(ini.d, "net.hosting", 5), 5);

	parsed early("Orphan = 1\n[A]\nk=v\n");
	EXPECT_STREQ(early.get(":orphan"), "1");
	EXPECT_STREQ(early.get("a:k"), "v");
}

TEST_F(IniParser, RepeatedKeyKeepsEveryValueInFileOrder)
{
	parsed ini("[S]\nkey = one\nkey = two\nKEY = three\n");
	EXPECT_EQ(dictionary_get_list_length(ini.d, "s:key"), 3);
	EXPECT_STREQ(ini.get("s:key"), "three");

	char **list = nullptr;
	int32 count = 0;
	iniparser_getstringlist(ini.d, "S:Key", &list, &count);
	ASSERT_EQ(count, 3);
	ASSERT_NE(list, nullptr);
	EXPECT_STREQ(list[0], "one");
	EXPECT_STREQ(list[1], "two");
	EXPECT_STREQ(list[2], "three");
	free(list);

	iniparser_getstringlist(ini.d, "s:none", &list, &count);
	EXPECT_EQ(count, 0);
	EXPECT_EQ(list, nullptr);
}

TEST_F(IniParser, ValueForms)
{
	parsed ini(
		"[v]\n"
		"quoted = \"a;b#c\"\n"
		"single = 'x;y'\n"
		"plain = a;b\n"
		"hashed = left # comment\n"
		"empty_quotes = \"\"\n"
		"empty_single = ''\n"
		"nothing =\n"
		"comment_only = ; remark\n"
		"spaced =   padded value   \n"
		"equals = a=b\n");
	ASSERT_NE(ini.d, nullptr);
	EXPECT_EQ(ini.bad_lines, 0);
	EXPECT_STREQ(ini.get("v:quoted"), "a;b#c");
	EXPECT_STREQ(ini.get("v:single"), "x;y");
	EXPECT_STREQ(ini.get("v:plain"), "a");
	EXPECT_STREQ(ini.get("v:hashed"), "left");
	EXPECT_STREQ(ini.get("v:empty_quotes"), "");
	EXPECT_STREQ(ini.get("v:empty_single"), "");
	EXPECT_STREQ(ini.get("v:nothing"), "");
	EXPECT_STREQ(ini.get("v:comment_only"), "");
	EXPECT_STREQ(ini.get("v:spaced"), "padded value");
	EXPECT_STREQ(ini.get("v:equals"), "a=b");
}

TEST_F(IniParser, ContinuedLinesAndLineEnds)
{
	parsed joined("[s]\nkey = first \\\n  second\nnext = 1\n");
	EXPECT_STREQ(joined.get("s:key"), "first   second");
	EXPECT_STREQ(joined.get("s:next"), "1");

	// LF, CR and CR LF each end one line.
	parsed ends("[s]\ra = 1\r\nb = 2\rc = 3\n\r\nd = 4");
	EXPECT_EQ(ends.bad_lines, 0);
	EXPECT_STREQ(ends.get("s:a"), "1");
	EXPECT_STREQ(ends.get("s:b"), "2");
	EXPECT_STREQ(ends.get("s:c"), "3");
	// The last line counts even without its line end, and so does a continued one.
	EXPECT_STREQ(ends.get("s:d"), "4");
	parsed continued_last("[s]\nk = a\\");
	EXPECT_STREQ(continued_last.get("s:k"), "a");
}

TEST_F(IniParser, BadLinesAreSkippedAndCounted)
{
	parsed ini("[s]\nbefore = 1\n; a comment in the wrong style\n[broken\n= no key\nafter = 2\n");
	ASSERT_NE(ini.d, nullptr);
	EXPECT_EQ(ini.bad_lines, 3);
	EXPECT_STREQ(ini.get("s:before"), "1");
	EXPECT_STREQ(ini.get("s:after"), "2");

	const std::string with_nul("[s]\na = 1\nb = \0x\nc = 3\n", 23);
	parsed nul(with_nul);
	EXPECT_EQ(nul.bad_lines, 1);
	EXPECT_STREQ(nul.get("s:a"), "1");
	EXPECT_STREQ(nul.get("s:b"), "<absent>");
	EXPECT_STREQ(nul.get("s:c"), "3");

	// The text form stops at the terminator like any C string.
	dictionary *d = iniparser_load("text", "[s]\nk = v\n; bad\n");
	ASSERT_NE(d, nullptr);
	EXPECT_STREQ(iniparser_getstring(d, "s:k", nullptr), "v");
	iniparser_freedict(d);
}

TEST_F(IniParser, LineLengthLimit)
{
	// A line with its line end holds at most 1023 bytes.
	const std::string longest = "k = " + std::string(1018, 'x');
	ASSERT_EQ(longest.size() + 1, 1023u);
	parsed fits("[s]\n" + longest + "\nafter = 1\n");
	EXPECT_EQ(fits.bad_lines, 0);
	EXPECT_EQ(strlen(fits.get("s:k")), 1018u);

	parsed too_long("[s]\n" + longest + "y\nafter = 1\n");
	EXPECT_EQ(too_long.bad_lines, 1);
	EXPECT_STREQ(too_long.get("s:k"), "<absent>");
	EXPECT_STREQ(too_long.get("s:after"), "1");

	// A continued line counts as one.
	const std::string half = "k = " + std::string(600, 'a') + "\\\n" + std::string(600, 'b') + "\n";
	parsed joined("[s]\n" + half + "after = 2\n");
	EXPECT_EQ(joined.bad_lines, 1);
	EXPECT_STREQ(joined.get("s:k"), "<absent>");
	EXPECT_STREQ(joined.get("s:after"), "2");

	parsed huge("[s]\n" + std::string(5000, 'z') + "\nafter = 3\n");
	EXPECT_EQ(huge.bad_lines, 1);
	EXPECT_STREQ(huge.get("s:after"), "3");
}

TEST_F(IniParser, NumbersAndBooleans)
{
	parsed ini(
		"[n]\noctal = 010\nhex = 0x10\neight = 08\nbig = 4294967296\nsmall = -4294967296\n"
		"real = 2.5\nyes = yes\nno = No\noff = off\none = 1\ntrue = T\n");
	EXPECT_EQ(iniparser_getint(ini.d, "n:octal", 0), 8);
	EXPECT_EQ(iniparser_getint(ini.d, "n:hex", 0), 16);
	EXPECT_EQ(iniparser_getint(ini.d, "n:eight", -1), 0);
	EXPECT_EQ(iniparser_getint(ini.d, "n:big", 0), INT32_MAX);
	EXPECT_EQ(iniparser_getint(ini.d, "n:small", 0), INT32_MIN);
	EXPECT_DOUBLE_EQ(iniparser_getdouble(ini.d, "n:real", 0.0), 2.5);
	EXPECT_DOUBLE_EQ(iniparser_getdouble(ini.d, "n:missing", 7.25), 7.25);
	EXPECT_EQ(iniparser_getboolean(ini.d, "n:yes", -1), TRUE);
	EXPECT_EQ(iniparser_getboolean(ini.d, "n:no", -1), FALSE);
	EXPECT_EQ(iniparser_getboolean(ini.d, "n:off", -1), -1);
	EXPECT_EQ(iniparser_getboolean(ini.d, "n:one", -1), TRUE);
	EXPECT_EQ(iniparser_getboolean(ini.d, "n:true", -1), TRUE);
	EXPECT_EQ(iniparser_getboolean(ini.d, "n:missing", -1), -1);
}

TEST_F(IniParser, DictionaryGrowsPastItsFirstSlots)
{
	std::string text = "[many]\n";
	for (int i = 0; i < 300; ++i) text += "key" + std::to_string(i) + " = " + std::to_string(i * 7) + "\n";
	parsed ini(text);
	ASSERT_NE(ini.d, nullptr);
	EXPECT_EQ(ini.d->n, 301);
	EXPECT_GE(ini.d->size, 512);
	for (int i = 0; i < 300; ++i)
	{
		EXPECT_EQ(iniparser_getint(ini.d, ("many:key" + std::to_string(i)).c_str(), -1), i * 7);
	}
}

TEST_F(IniParser, DictionaryOperations)
{
	EXPECT_EQ(dictionary_hash(""), 0u);
	EXPECT_EQ(dictionary_hash("a"), 0xCA2E9442u);
	// Bytes above 0x7F count as negative characters.
	EXPECT_EQ(dictionary_hash("\xE9"), 0x409848FFu);

	dictionary *d = dictionary_new(4);
	ASSERT_NE(d, nullptr);
	EXPECT_EQ(d->size, 128);
	EXPECT_EQ(dictionary_set(nullptr, "k", "v"), -1);
	EXPECT_EQ(dictionary_set(d, nullptr, "v"), -1);
	EXPECT_EQ(dictionary_set(d, "k", "1"), 0);
	EXPECT_EQ(dictionary_set(d, "k", nullptr), 0);
	EXPECT_EQ(dictionary_set(d, "k", "3"), 0);
	// A NULL value is not kept in the history.
	EXPECT_EQ(dictionary_get_list_length(d, "k"), 2);
	EXPECT_EQ(dictionary_hist_get_length(&d->hist[0]), 1);
	char *list[2] = {};
	dictionary_get_full_list(d, "k", list);
	EXPECT_STREQ(list[0], "1");
	EXPECT_STREQ(list[1], "3");

	dictionary_unset(d, "k");
	EXPECT_EQ(d->n, 0);
	EXPECT_EQ(dictionary_get_list_length(d, "k"), 0);
	EXPECT_TRUE(dictionary_hist_is_empty(&d->hist[0]));
	EXPECT_STREQ(dictionary_get(d, "k", const_cast<char *>("gone")), "gone");

	EXPECT_EQ(iniparser_setstring(d, "Sec", nullptr), 0);
	EXPECT_EQ(iniparser_setstring(d, "Sec:Key", "Val"), 0);
	EXPECT_TRUE(iniparser_find_entry(d, "SEC:KEY"));
	EXPECT_EQ(iniparser_getnsec(d), 1);
	EXPECT_STREQ(iniparser_getsecname(d, 0), "sec");
	EXPECT_EQ(iniparser_getsecname(d, 1), nullptr);
	EXPECT_EQ(iniparser_getsecname(d, -1), nullptr);
	iniparser_unset(d, "Sec:Key");
	EXPECT_FALSE(iniparser_find_entry(d, "sec:key"));
	EXPECT_EQ(iniparser_getnsec(nullptr), -1);
	dictionary_del(d);
	dictionary_del(nullptr);
}

TEST_F(IniParser, DumpTexts)
{
	parsed ini("[Alpha]\nkey = value\nempty =\n[b]\nx = 1\n");
	const std::string dump = print_to_string([&](FILE *f) { iniparser_dump(ini.d, f); });
	EXPECT_EQ(dump, "[alpha]=UNDEF\n[alpha:key]=[value]\n[alpha:empty]=[]\n[b]=UNDEF\n[b:x]=[1]\n");

	const std::string ini_form = print_to_string([&](FILE *f) { iniparser_dump_ini(ini.d, f); });
	EXPECT_EQ(ini_form,
		"\n[alpha]\n"
		"key                            = value\n"
		"empty                          = \n"
		"\n[b]\n"
		"x                              = 1\n"
		"\n");

	parsed flat("a = 1\n");
	EXPECT_EQ(print_to_string([&](FILE *f) { iniparser_dump_ini(flat.d, f); }), ":a = 1\n\n");

	const std::string dictionary_text = print_to_string([&](FILE *f) { dictionary_dump(ini.d, f); });
	EXPECT_EQ(dictionary_text.substr(0, 28), "               alpha\t[UNDEF]");
	EXPECT_NE(dictionary_text.find("           alpha:key\t[value]\n"), std::string::npos);

	dictionary *empty = dictionary_new(0);
	EXPECT_EQ(print_to_string([&](FILE *f) { dictionary_dump(empty, f); }), "empty dictionary\n");
	dictionary_del(empty);
}

TEST_F(IniParser, LoadsFromAFile)
{
	ASSERT_TRUE(write_test_file("settings.ini", "[s]\nk = from file\n"));
	dictionary *d = iniparser_load("settings.ini", nullptr);
	ASSERT_NE(d, nullptr);
	EXPECT_STREQ(iniparser_getstring(d, "s:k", nullptr), "from file");
	iniparser_freedict(d);
	EXPECT_EQ(iniparser_load("missing.ini", nullptr), nullptr);
}
