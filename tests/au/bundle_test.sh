#!/bin/sh
# The plug-in's bundle copied elsewhere, links followed, as an installation copies
# it: the library finds the kit in the bundle through $ORIGIN, searches no folder of
# the build machine, and the test host runs the bundle from there.
#   bundle_test.sh BUNDLE HOST
set -eu
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp -rL "$1" "$dir/bundle"
lib="$dir/bundle/Davrel Editor.so"
if readelf -d "$lib" | grep -E 'R(UN)?PATH' | grep -qv '\[\$ORIGIN\]'; then
  echo "the library searches another folder:"; readelf -d "$lib" | grep PATH; exit 1
fi
if ! ldd "$lib" | grep -q "libdavrel_platform_appkit.so => $dir/bundle/libdavrel_platform_appkit.so"; then
  echo "the kit is not the bundle's:"; ldd "$lib"; exit 1
fi
"$2" --smoke --bundle "$dir/bundle" >/dev/null
echo "the bundle runs from $dir"
