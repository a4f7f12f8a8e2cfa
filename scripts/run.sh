#!/usr/bin/env bash
# Builds a release build and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run
cmake --preset release >/dev/null
cmake --build --preset release --target quorvel
exec build/release/src/app/quorvel
