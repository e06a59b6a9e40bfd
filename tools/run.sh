#!/usr/bin/env bash
# Installs what is missing, builds the plug-in and its tools in Release, and runs
# the test host against the plug-in.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
. tools/packages.sh
davrel_install_packages

build="$root/build/release"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDAVREL_TESTS=OFF -DDAVREL_BENCH=OFF </dev/null
cmake --build "$build" -j "$(nproc)" </dev/null
"$build/tools/host/davrel-host" --smoke "$@"
