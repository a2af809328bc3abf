#!/bin/sh
# Compiler launcher of the clang tree's test check: the tests are compiled
# there for clang's diagnostics only (the g++ trees build and run them), so a
# source is parsed and checked (-fsyntax-only, warnings as errors as usual) and
# an empty object stands for it, which keeps the build incremental. The
# precompiled header is still built in full.
case " $* " in
*" -emit-pch "*) exec "$@" ;;
esac
out=
prev=
for arg in "$@"; do
	[ "$prev" = "-o" ] && out=$arg
	prev=$arg
done
"$@" -fsyntax-only || exit
[ -z "$out" ] || : >"$out"
