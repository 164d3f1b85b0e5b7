#!/usr/bin/env bash
# From Enter on 進入檢索 to the main window on screen with its first list, beside the terminal
# tool listing every record of the same collection (both with the collection's kept copy).
# Runs the program under its own Xvfb with a window manager when one is installed (icewm),
# as a user would meet it.
#
#   bench/windows/first-window.sh [--reps N] [--build DIR] [MDB]
#
# MDB defaults to the benchmark corpus (../shared/corpus/poems.mdb beside the repository).
set -euo pipefail
cd "$(dirname "$0")/../.."
reps=5
build=build
mdb=../shared/corpus/poems.mdb
while (($#)); do
  case $1 in
    --reps) reps=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    *) mdb=$1; shift ;;
  esac
done
if [ ! -f "$mdb" ]; then
  echo "no collection at $mdb: nothing measured" >&2
  exit 0
fi
for tool in Xvfb xdotool; do
  command -v $tool >/dev/null || { echo "$tool is missing: nothing measured" >&2; exit 0; }
done

work=$(mktemp -d)
display=:$((70 + RANDOM % 20))
cleanup() {
  pkill -f "$work/morvessa" 2>/dev/null || true
  [ -n "${wm:-}" ] && kill "$wm" 2>/dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The collection folder: the database, the shipped pages and pictures, and the programs.
mdb=$(realpath "$mdb")
ln -s "$mdb" "$work/jst.mdb"
for f in "$build"/app/*; do
  [ "$(basename "$f")" = jst.mdb ] || [ -d "$f" ] || ln -s "$(realpath "$f")" "$work/"
done
mkdir -p "$work/tmp"

Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
sleep 1
if command -v icewm >/dev/null; then
  icewm >/dev/null 2>&1 &
  wm=$!
  sleep 1
fi
export QTWEBENGINE_DISABLE_SANDBOX=1

now() { date +%s.%N; }
# xdotool's own --sync looks only every half second; this looks every 10 ms.
shown() { until xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; do sleep 0.01; done; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# One warm-up of each, so both find the kept copy and a warm file cache.
"$work/morvessa-query" --folder "$work" >/dev/null

terminal=()
window=()
for ((i = 0; i < reps + 1; i++)); do
  t0=$(now)
  "$work/morvessa-query" --folder "$work" >/dev/null
  t1=$(now)
  "$work/morvessa" >/dev/null 2>&1 &
  program=$!
  shown '^Morvessa$'
  sleep 1 # the start window settles, as it does while a user reads it
  xdotool search --onlyvisible --name '^Morvessa$' windowactivate --sync >/dev/null 2>&1 || true
  t2=$(now)
  xdotool key Return
  shown '目錄瀏覽'
  t3=$(now)
  kill "$program" 2>/dev/null || true
  wait "$program" 2>/dev/null || true
  ((i == 0)) && continue
  terminal+=("$(seconds "$t0" "$t1")")
  window+=("$(seconds "$t2" "$t3")")
done

tm=$(printf '%s\n' "${terminal[@]}" | median)
wmed=$(printf '%s\n' "${window[@]}" | median)
echo "| records from | runs | morvessa-query lists all (s) | Enter to main window (s) | window ÷ terminal |"
echo "|---|---:|---:|---:|---:|"
printf '| %s | %d | %s | %s | %s |\n' "$(basename "$mdb")" "$reps" "$tm" "$wmed" \
  "$(awk -v a="$wmed" -v b="$tm" 'BEGIN { printf "%.2f", a / b }')"
echo
echo "each run (terminal / window): $(paste -d/ <(printf '%s\n' "${terminal[@]}") <(printf '%s\n' "${window[@]}") | tr '\n' ' ')"
