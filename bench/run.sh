#!/usr/bin/env bash
# Times the search engine against the floor (a bare getdents64 walker), find and fdfind on a
# generated tree under /tmp, side by side in one run, medians of several repetitions.
#   bench/run.sh [FILES [FOLDERS]]     default 1000000 files in 50000 folders
# Environment: REPS (default 3), FIND_MAX_N (default 100: find at 1,000 names takes many
# minutes on the full tree), BUILD (build folder, default build/engine-release).
set -euo pipefail

FILES=${1:-1000000}
FOLDERS=${2:-50000}
REPS=${REPS:-3}
FIND_MAX_N=${FIND_MAX_N:-100}
FD_MAX_N=1000  # fdfind takes the names as one regex argument: 10,000 exceed its length limit
# fdfind's unanchored alternation of 1,000 keywords takes minutes per run on the full tree.
FD_FUZZY_MAX_N=${FD_FUZZY_MAX_N:-100}
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$SRC/build/engine-release}

"$SRC/scripts/deps.sh" bench
cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target floor_walk make_tree bench_search -j2 >/dev/null
FLOOR=$BUILD/bench/floor_walk
OURS=$BUILD/bench/bench_search

ROOT=/tmp/quorvel_bench_${FILES}_${FOLDERS}
if [[ ! -f $ROOT.done ]]; then
  rm -rf "$ROOT" "$ROOT".names_*.txt
  echo "making $FILES files in $FOLDERS folders under $ROOT ..."
  "$BUILD/bench/make_tree" "$ROOT" "$FILES" "$FOLDERS"
  touch "$ROOT.done"
fi
FD=$(command -v fdfind || command -v fd || true)
[[ -n $FD ]] || echo "fdfind not found (apt-get install fd-find): its column stays empty"

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# Seconds one command takes, output discarded.
seconds() {
  local s=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 || true
  local e=$EPOCHREALTIME
  awk -v s="$s" -v e="$e" 'BEGIN { printf "%.3f\n", e - s }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
timed() {  # median of REPS runs
  local i
  for ((i = 0; i < REPS; i++)); do seconds "$@"; done | median
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b == "" || b == 0) print "-"; else printf "%.2f\n", a / b }'; }

find_args() {  # mode n file
  local mode=$1 n=$2 file=$3 first=1 name
  FIND_ARGS=("$ROOT" -type f "(")
  while IFS= read -r name; do
    ((first)) || FIND_ARGS+=(-o)
    first=0
    if [[ $mode == exact ]]; then
      FIND_ARGS+=(-iname "$name" -o -iname "$name.*")
    else
      FIND_ARGS+=(-iname "*$name*")
    fi
  done < <(head -n "$n" "$file")
  FIND_ARGS+=(")")
}
fd_regex() {  # mode n file
  local alt
  alt=$(head -n "$2" "$3" | sed 's/[][\\.^$|?*+(){}]/\\&/g' | paste -sd '|')
  if [[ $1 == exact ]]; then echo "^(?:$alt)(?:\..*)?\$"; else echo "(?:$alt)"; fi
}

echo "warming the cache ..."
entries=$("$FLOOR" "$ROOT")
"$FLOOR" "$ROOT" >/dev/null
find "$ROOT" >/dev/null
echo "tree: $entries entries; repetitions: $REPS (medians); machine: $(nproc) cores"
floor=$(timed "$FLOOR" "$ROOT")
echo "floor walker: ${floor} s"
echo
FMT='%-6s %6s %8s %8s %8s %9s %8s %8s %9s  %s\n'
printf "$FMT" mode N ours/s floor_x find/s find/ours fdfind/s fd/ours rows peers_agree
for mode in exact fuzzy; do
  names=$ROOT.names_$mode.txt
  for n in 1 10 100 1000 10000; do
    ours=$(timed "$OURS" "$ROOT" "$names" "$n" "$mode")
    "$OURS" "$ROOT" "$names" "$n" "$mode" "$TMP/ours" >/dev/null
    sort -u "$TMP/ours" >"$TMP/ours.s"
    rows=$(wc -l <"$TMP/ours")
    agree=""
    findt="" fdt=""
    if ((n <= FIND_MAX_N)); then
      find_args "$mode" "$n" "$names"
      findt=$(timed find "${FIND_ARGS[@]}")
      find "${FIND_ARGS[@]}" | sort -u >"$TMP/find.s"
      cmp -s "$TMP/ours.s" "$TMP/find.s" && agree+="find=yes " || agree+="find=NO "
    else
      agree+="find=skipped "
    fi
    fdmax=$FD_MAX_N
    [[ $mode == fuzzy ]] && fdmax=$FD_FUZZY_MAX_N
    if [[ -n $FD ]] && ((n <= fdmax)); then
      re=$(fd_regex "$mode" "$n" "$names")
      fdt=$(timed "$FD" -uu --type f --ignore-case --regex "$re" "$ROOT")
      "$FD" -uu --type f --ignore-case --regex "$re" "$ROOT" | sort -u >"$TMP/fd.s"
      cmp -s "$TMP/ours.s" "$TMP/fd.s" && agree+="fd=yes" || agree+="fd=NO"
    else
      agree+="fd=skipped"
    fi
    printf "$FMT" "$mode" "$n" "$ours" "$(ratio "$ours" "$floor")" "${findt:--}" \
      "$(ratio "$findt" "$ours")" "${fdt:--}" "$(ratio "$fdt" "$ours")" "$rows" "$agree"
  done
done
echo
echo "floor_x: ours / floor walker (targets: exact <= 1.3, fuzzy <= 2). find/ours, fd/ours: how"
echo "many times longer the peer took. Skipped: find above $FIND_MAX_N names (FIND_MAX_N),"
echo "fdfind above $FD_MAX_N exact / $FD_FUZZY_MAX_N fuzzy names (FD_FUZZY_MAX_N; one regex argument"
echo "cannot hold 10,000). fdfind runs on all cores, ours on one thread per root."
echo "Rows: ours with duplicates (a file matching two names is listed twice); peers compared as sets."
