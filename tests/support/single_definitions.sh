#!/bin/sh
# Fails when a function is defined in two objects of the engine library: the
# linker would take whichever comes first, so a stand-in left beside the real
# body could silently replace it. (Names of the compiler's own, such as the
# 32-bit PC thunks, are shared by design and left out.)
set -e
nm -C --defined-only "$1" | awk '
	/\.o:$/ { object = $1; next }
	$2 == "T" && $3 !~ /^__/ { $1 = ""; $2 = ""; sub(/^  /, ""); count[$0]++; where[$0] = where[$0] " " object }
	END { bad = 0; for (name in count) if (count[name] > 1) { print name ":" where[name]; bad = 1 } exit bad }'
