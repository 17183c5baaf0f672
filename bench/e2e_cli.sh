#!/usr/bin/env bash
# End to end through the command-line front end: an hour of 10 Hz NMEA driven round the demo
# circuit is imported on the example track, its laps listed and its route exported in every
# format, each step timed beside gpsbabel converting the same log to GPX.
#
#   bench/e2e_cli.sh [BUILD_DIR]      (default build/e2e-release; REPEAT=n keeps the best of n)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/e2e-release}
repeat=${REPEAT:-1}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPW_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j 2 --target pacewright-cli demo_drive pw_examples >/dev/null
command -v gpsbabel >/dev/null || { echo "e2e_cli: gpsbabel is not installed (scripts/setup installs it)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export PACEWRIGHT_DOCUMENTS=$work/documents PACEWRIGHT_APPDATA=$work/appdata PACEWRIGHT_INSTALL=$PWD/data
cli=$build/pacewright-cli
log=$work/hour.nmea
"$build/demo_drive" --hours 1 --out "$log"
echo "log: $(du -h "$log" | cut -f1) of NMEA, $(grep -c '^\$GPRMC' "$log") epochs"

# Seconds taken by the command (the best of $repeat runs); its output goes to $work/out.
seconds() {
  local best=
  for ((i = 0; i < repeat; i++)); do
    local start end
    start=$(date +%s.%N)
    "$@" >"$work/out"
    end=$(date +%s.%N)
    best=$(echo "$start $end ${best:-}" | awk '{ t = $2 - $1; if ($3 != "" && $3 < t) t = $3; printf "%.3f", t }')
  done
  echo "$best"
}

babel=$(seconds gpsbabel -i nmea -f "$log" -o gpx -F "$work/babel.gpx")
import=$(seconds "$cli" import --format nmea --track "Example track" --title "Hour" "$log")
session=$(cat "$work/out")
laps=$(seconds "$cli" laps "$session" --json)
lapcount=$(grep -o '"number":' "$work/out" | wc -l)

printf '\n%-28s %9s %12s %12s\n' "step" "seconds" "x gpsbabel" "output"
row() {
  printf '%-28s %9s %12s %12s\n' "$1" "$2" "$(echo "$2 $babel" | awk '{ printf "%.2f", ($2 > 0 ? $1 / $2 : 0) }')" "$3"
}
size() { du -h "$1" | cut -f1; }
row "gpsbabel nmea -> gpx" "$babel" "$(size "$work/babel.gpx")"
row "import (nmea)" "$import" "$(size "$PACEWRIGHT_DOCUMENTS/Pacewright/Sessions/$session-plots.bin")"
row "laps --json ($lapcount laps)" "$laps" "$(size "$work/out")"
for format in kml csv vbo dat gpx; do
  took=$(seconds "$cli" export "$session" --format "$format" --scope route)
  row "export --scope route $format" "$took" "$(size "$(cat "$work/out")")"
done

# GPX import beside gpsbabel reading the same GPX (its own conversion of the hour above) and
# writing its track points as CSV (unicsv writes waypoints only, hence the track-to-waypoint
# transform): our reader and import against gpsbabel's reader and writer.
gpx=$work/babel.gpx
babelcsv=$(seconds gpsbabel -i gpx -f "$gpx" -x transform,wpt=trk -o unicsv -F "$work/babel.csv")
gpximport=$(seconds "$cli" import --format gpx --track "Example track" --title "Hour GPX" "$gpx")
gpxsession=$(cat "$work/out")
gpxpositions=$("$cli" import --format gpx --title "Count" "$gpx" --json | grep -o '"positions": *[0-9]*' | grep -o '[0-9]*$')
gpxlaps=$("$cli" laps "$gpxsession" --json | grep -o '"number":' | wc -l)
printf '\n%-28s %9s %12s %12s\n' "GPX in ($(size "$gpx"))" "seconds" "x gpsbabel" "output"
printf '%-28s %9s %12s %12s\n' "gpsbabel gpx -> csv ($(($(wc -l <"$work/babel.csv") - 1)) rows)" "$babelcsv" "1.00" "$(size "$work/babel.csv")"
printf '%-28s %9s %12s %12s\n' "import (gpx, $gpxpositions fixes, $gpxlaps laps)" "$gpximport" \
  "$(echo "$gpximport $babelcsv" | awk '{ printf "%.2f", ($2 > 0 ? $1 / $2 : 0) }')" \
  "$(size "$PACEWRIGHT_DOCUMENTS/Pacewright/Sessions/$gpxsession-plots.bin")"
echo "gpx import speed-up over gpsbabel: $(echo "$gpximport $babelcsv" | awk '{ printf "%.1f", ($1 > 0 ? $2 / $1 : 0) }')x"
