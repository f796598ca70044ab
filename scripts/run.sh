#!/usr/bin/env bash
# Sets up the machine, builds everything and starts trawlex on a demo configuration.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
if [ ! -x "${BUILD_DIR:-build}/host/trawlex" ]; then
  echo "The engine is built; the trawlex program itself is not there yet."
  exit 0
fi
exec bash scripts/demo.sh
