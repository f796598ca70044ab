#!/usr/bin/env bash
# Starts the built trawlex on a ready-made demo configuration: a spool folder under
# demo/, the real SpamAssassin, marking spam, activity and debug logging on.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=$(cd "${BUILD_DIR:-build}" && pwd)
program_dir="$build_dir/host"
demo=$(pwd)/demo
mkdir -p "$demo/spool"
touch "$program_dir/user_prefs.txt"
cat > "$program_dir/trawlex.ini" <<INI
[settings]
Debug=1
DirToMonitor=$demo/spool/
MonitorSubDirs=1
MessageExtention=.msg
SpamAction=1
DoLogging=1
LogFile=$demo/trawlex.log
INI
cat <<TEXT
Trawlex demo
  settings:   $program_dir/trawlex.ini
  drop mail:  $demo/spool/  (files ending in .msg), for example
              cp /usr/share/doc/spamassassin/examples/sample-spam.txt $demo/spool/spam.msg
  log file:   $demo/trawlex.log
  debug log:  $program_dir/debug.log
Stop with Ctrl-C.
TEXT
exec "$program_dir/trawlex"
