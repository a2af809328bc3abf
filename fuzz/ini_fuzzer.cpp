// Arbitrary text through the ini parser and every section table.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "CoreLibrary/iniparser3.0b/src/iniparser.h"
#include "bitmap_dialogs/dialogs_ini.h"
#include "hardware/OpenGL/gl_prefs.h"
#include "inifile.h"
#include "zerv_networking/zerv_networking_ini.h"

static void check(bool condition)
{
	if (!condition) std::abort();
}

// Formats each diagnostic (its arguments are read like stderr's would be) and drops it.
ATTRIBUTE_PRINTF(1, 2) static int discard_diagnostic(const char *format, ...)
{
	static char buffer[2048];
	va_list arguments;
	va_start(arguments, format);
	const int length = vsnprintf(buffer, sizeof(buffer), format, arguments);
	va_end(arguments);
	return length;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size > 1 << 20) return 0;
	static FILE *sink = fopen("/dev/null", "w");
	// The parser's diagnostics would flood the output; stderr stays the fuzzer's.
	iniparser_set_error_callback(discard_diagnostic);

	int32 bad_lines = -1;
	dictionary *d = iniparser_load_buffer("fuzz", reinterpret_cast<const char *>(data), static_cast<int32>(size),
		&bad_lines);
	check(d != nullptr);
	check(bad_lines >= 0);
	check(d->n >= 0 && d->n <= d->size);

	inifile_free();
	ini_dict = d;
	ini_section *sections[] = { &gl_prefs_section, &net_hosting_section, &net_plugin_lookup_section, &ui_section };
	for (ini_section *section : sections)
	{
		inifile_readsec(section);
		inifile_freesec(section);
	}
	check(iniparser_getnsec(d) >= 0);
	for (int32 i = 0; i < iniparser_getnsec(d); ++i) check(iniparser_getsecname(d, i) != nullptr);
	for (int32 i = 0; i < d->size; ++i)
	{
		if (!d->key[i]) continue;
		char **list = nullptr;
		int32 count = 0;
		iniparser_getstringlist(d, d->key[i], &list, &count);
		check(count >= 1 && list != nullptr);
		free(list);
		iniparser_getint(d, d->key[i], 0);
		iniparser_getdouble(d, d->key[i], 0.0);
		iniparser_getboolean(d, d->key[i], 0);
	}
	if (sink)
	{
		iniparser_dump(d, sink);
		iniparser_dump_ini(d, sink);
		dictionary_dump(d, sink);
	}
	inifile_free();
	return 0;
}
