#!/usr/bin/env bash
# The README's two commands in either order: scripts/run configures build/ without the tests
# (but with the simulated bridge it starts the updater behind),
# and a later scripts/test must configure them back in and find them (ctest fails on none).
# Configures only, in a scratch copy of the source tree.
set -euo pipefail
source_dir=$1
scratch=$(mktemp -d /tmp/ostrel-scripts.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
for entry in "$source_dir"/* "$source_dir"/.clang-format; do
    case "$(basename "$entry")" in build*) continue ;; esac
    cp -a "$entry" "$scratch/"
done
cd "$scratch"
scripts/run --configure-only >configure-run.log 2>&1 || { cat configure-run.log; exit 1; }
# Without the adapter scripts/run starts the updater behind the simulated bridge.
# grep reads the whole list: an early exit would end the listing with SIGPIPE under pipefail.
if ! cmake --build build --target help | grep 'ostrel-bridgesim' >/dev/null; then
    echo "scripts/run configures no ostrel-bridgesim"; exit 1
fi
scripts/test --configure-only >configure-test.log 2>&1 || { cat configure-test.log; exit 1; }
total=$(sed -n 's/^Total Tests: //p' configure-test.log)
echo "scripts/test after scripts/run lists ${total:-no} tests"
[ "${total:-0}" -gt 0 ]
