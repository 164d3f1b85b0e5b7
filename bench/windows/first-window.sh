#!/usr/bin/env bash
# What a user waits for, each time from a fresh process, beside the terminal tool listing
# every record of the same collection (all with the collection's kept copy):
#   - from launching the program until its start window is painted;
#   - from Enter on 進入檢索, pressed as soon as the start window is painted, until the
#     main window with its list is painted.
# "Painted" is the moment the program has drawn the window's first frame and handed it to
# the display, which the program reports when MORVESSA_TRACE_PAINTS is set. Runs under
# its own Xvfb with a window manager when one is installed (icewm), as a user meets it.
#
#   bench/windows/first-window.sh [--reps N] [--build DIR] [--variants] [MDB]
#
# --variants starts both in variant search (nothing more is read or kept for it).
# MDB defaults to the benchmark corpus (../shared/corpus/poems.mdb beside the repository).
set -euo pipefail
cd "$(dirname "$0")/../.."
reps=5
build=build
mdb=../shared/corpus/poems.mdb
mode=()
while (($#)); do
  case $1 in
    --variants) mode=(--variants); shift ;;
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
program=
# Stops what this script started, by process id, and nothing else.
cleanup() {
  [ -n "$program" ] && kill "$program" 2>/dev/null || true
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

# Xvfb picks a free display and names it once it is ready: two runs at once would
# otherwise share one, and the first to end would take it from the other.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
until [ -s "$work/display" ]; do
  kill -0 "$xvfb" 2>/dev/null || { echo "Xvfb did not start: nothing measured" >&2; exit 1; }
  sleep 0.05
done
export DISPLAY=:$(head -n 1 "$work/display")
sleep 1
if command -v icewm >/dev/null; then
  icewm >/dev/null 2>&1 &
  wm=$!
  sleep 1
fi
export QTWEBENGINE_DISABLE_SANDBOX=1

now() { date +%s.%N; }
# The time the program reported for the first paint of the window titled $2, from trace $1.
# A program that has ended paints nothing more: said, rather than waited for.
painted() {
  local line
  until line=$(grep -m1 "^painted $2 " "$1" 2>/dev/null); do
    kill -0 "$program" 2>/dev/null || { echo "the program ended before painting $2" >&2; exit 1; }
    sleep 0.005
  done
  echo "${line##* }"
}
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# One warm-up of each, so both find the kept copy and a warm file cache.
"$work/morvessa-query" --folder "$work" "${mode[@]}" >/dev/null

terminal=()
launch=()
window=()
for ((i = 0; i < reps + 1; i++)); do
  t0=$(now)
  "$work/morvessa-query" --folder "$work" "${mode[@]}" >/dev/null
  t1=$(now)
  trace=$work/trace-$i
  : >"$trace"
  t2=$(now)
  MORVESSA_TRACE_PAINTS=1 "$work/morvessa" "${mode[@]}" 2>"$trace" >/dev/null &
  program=$!
  startPainted=$(painted "$trace" Morvessa)
  # Enter at once, to the start window (the window manager may not have focused it yet).
  until id=$(xdotool search --pid "$program" --onlyvisible --name '^Morvessa$' 2>/dev/null | head -n 1) &&
    [ -n "$id" ]; do
    sleep 0.005
  done
  xdotool windowactivate --sync "$id" >/dev/null 2>&1 || xdotool windowfocus --sync "$id" >/dev/null 2>&1 || true
  t3=$(now)
  xdotool key Return
  mainPainted=$(painted "$trace" 'Morvessa-目錄瀏覽')
  kill "$program" 2>/dev/null || true
  wait "$program" 2>/dev/null || true
  program=
  ((i == 0)) && continue
  terminal+=("$(seconds "$t0" "$t1")")
  launch+=("$(seconds "$t2" "$startPainted")")
  window+=("$(seconds "$t3" "$mainPainted")")
done

tm=$(printf '%s\n' "${terminal[@]}" | median)
lm=$(printf '%s\n' "${launch[@]}" | median)
wmed=$(printf '%s\n' "${window[@]}" | median)
echo "| records from | runs | morvessa-query lists all (s) | launch to start window painted (s) | Enter to main window painted (s) | Enter ÷ terminal |"
echo "|---|---:|---:|---:|---:|---:|"
printf '| %s%s | %d | %s | %s | %s | %s |\n' "$(basename "$mdb")" "${mode[*]:+ ${mode[*]}}" "$reps" "$tm" "$lm" "$wmed" \
  "$(awk -v a="$wmed" -v b="$tm" 'BEGIN { printf "%.2f", a / b }')"
echo
echo "each run (terminal / launch / Enter): $(paste -d/ <(printf '%s\n' "${terminal[@]}") <(printf '%s\n' "${launch[@]}") <(printf '%s\n' "${window[@]}") | tr '\n' ' ')"
echo "command: bench/windows/first-window.sh --reps $reps --build $build ${mode[*]:+${mode[*]} }$mdb"
