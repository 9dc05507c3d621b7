#!/usr/bin/env bash
# Compares pileograph-txt with a plain line pass over the same report and with
# the samtools route (sort, index, faidx, tview) on one generated data set.
#
#   bench/compare.sh [WORKDIR [BUILD_DIR]]            the comparison
#   bench/compare.sh --scaling [WORKDIR [BUILD_DIR]]  layout time against read
#                                                     count and contig length
# Environment: CONTIG (1000000), READS (20000), LENGTH (700), SEED (1), REPS (5).
# BUILD_DIR is a Release build (default: build-bench-rel beside this folder);
# WORKDIR defaults to /tmp/pileograph-bench. Times are wall-clock seconds; the
# comparison takes the best of REPS interleaved runs of each command, the
# scaling runs the best of REPS runs of layout_bench per data set.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
mode=compare
if [ "${1:-}" = "--scaling" ]; then
  mode=scaling
  shift
fi
work=${1:-/tmp/pileograph-bench}
build=${2:-$repo/build-bench-rel}
CONTIG=${CONTIG:-1000000}
READS=${READS:-20000}
LENGTH=${LENGTH:-700}
SEED=${SEED:-1}
REPS=${REPS:-5}

for tool in bench/gen_cm bench/linepass bench/layout_bench app/pileograph-txt; do
  if [ ! -x "$build/$tool" ]; then
    echo "compare.sh: $build/$tool is missing; build with:" >&2
    echo "  cmake -S $repo -B $build -DCMAKE_BUILD_TYPE=Release && cmake --build $build -j" >&2
    exit 1
  fi
done
mkdir -p "$work"
work=$(cd "$work" && pwd)

# Generates a data set into $work/c<contig>-r<reads>-l<length>-s<seed> once;
# sets $data.
generate() {
  data="$work/c$1-r$2-l$3-s$4"
  if [ ! -s "$data/report.cm" ] || [ ! -s "$data/contig.fa" ]; then
    "$build/bench/gen_cm" "$data" --contig "$1" --reads "$2" --length "$3" --seed "$4" >/dev/null
  fi
}

# measure OUT CMD...: runs CMD with standard output to OUT; sets $secs
# (wall clock) and $rss_kb (peak resident set of the command and its children).
measure() {
  local out=$1
  shift
  local stats
  stats=$(mktemp)
  if [ -x /usr/bin/time ]; then
    local t0 t1
    t0=$(date +%s%N)
    /usr/bin/time -f '%M' -o "$stats" "$@" >"$out"
    t1=$(date +%s%N)
    secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
    rss_kb=$(tail -n 1 "$stats")
  else
    python3 - "$stats" "$out" "$@" <<'EOF'
import resource, subprocess, sys, time
stats, out, cmd = sys.argv[1], sys.argv[2], sys.argv[3:]
t0 = time.monotonic()
with open(out, 'w') as f:
    rc = subprocess.call(cmd, stdout=f)
t1 = time.monotonic()
with open(stats, 'w') as f:
    f.write('%.3f %d\n' % (t1 - t0, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))
sys.exit(rc)
EOF
    read -r secs rss_kb <"$stats"
  fi
  rm -f "$stats"
}

min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b + 0 < a + 0) ? b : a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
mb() { awk -v a="$1" 'BEGIN { printf "%.1f", a / 1e6 }'; }

# best_layout DIR START: runs layout_bench $REPS times; prints the output of
# the run with the smallest engine total.
best_layout() {
  local best='' best_out='' o t
  for ((k = 0; k < REPS; k++)); do
    o=$("$build/bench/layout_bench" "$1" "$2" 1)
    t=$(awk '/^engine total/{print $3}' <<<"$o")
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a + 0 < b + 0) }'; then
      best=$t best_out=$o
    fi
  done
  printf '%s\n' "$best_out"
}

# stage_secs REGEX: total seconds of the layout_bench stage lines matching
# REGEX (the seconds are the first figure after the 28-character name).
stage_secs() {
  awk -v re="$1" '$0 ~ re { split(substr($0, 30), f, " "); s += f[1] } END { printf "%.3f", s }'
}

if [ "$mode" = scaling ]; then
  echo "== layout time against read count (contig $CONTIG, reads of about $LENGTH) =="
  printf '%8s %10s %10s %10s %10s %12s %10s\n' reads report_MB parse_s union_s repad_s engine_s us/read
  for n in 5000 10000 20000 40000; do
    generate "$CONTIG" "$n" "$LENGTH" "$SEED"
    out=$(best_layout "$data" $((CONTIG / 2)))
    parse=$(stage_secs '^parse ' <<<"$out")
    union=$(stage_secs '^union contig ' <<<"$out")
    repad=$(stage_secs '^re-pad' <<<"$out")
    total=$(awk '/^engine total/{print $3}' <<<"$out")
    printf '%8d %10s %10s %10s %10s %12s %10s\n' "$n" "$(mb "$(stat -c %s "$data/report.cm")")" \
      "$parse" "$union" "$repad" "$total" "$(awk -v t="$total" -v n="$n" 'BEGIN{printf "%.1f", t * 1e6 / n}')"
  done
  echo
  echo "== layout time against contig length (10000 reads of about $LENGTH) =="
  printf '%9s %10s %10s %10s %10s %12s\n' contig report_MB parse_s union_s repad_s engine_s
  for c in 500000 1000000 2000000 4000000; do
    generate "$c" 10000 "$LENGTH" "$SEED"
    out=$(best_layout "$data" $((c / 2)))
    parse=$(stage_secs '^parse ' <<<"$out")
    union=$(stage_secs '^union contig ' <<<"$out")
    repad=$(stage_secs '^re-pad' <<<"$out")
    total=$(awk '/^engine total/{print $3}' <<<"$out")
    printf '%9d %10s %10s %10s %10s %12s\n' "$c" "$(mb "$(stat -c %s "$data/report.cm")")" \
      "$parse" "$union" "$repad" "$total"
  done
  echo
  echo "== read count at one spot: contig 20000, coverage 175x to 1400x =="
  printf '%8s %10s %10s %10s %10s %12s %10s\n' reads report_MB parse_s union_s repad_s engine_s union_cols
  for n in 5000 10000 20000 40000; do
    data="$work/deep-c20000-r$n-l$LENGTH-s$SEED"
    if [ ! -s "$data/report.cm" ]; then
      "$build/bench/gen_cm" "$data" --contig 20000 --reads "$n" --length "$LENGTH" --seed "$SEED" \
        --repeats 0 >/dev/null
    fi
    out=$(best_layout "$data" 10000)
    printf '%8d %10s %10s %10s %10s %12s %10s\n' "$n" "$(mb "$(stat -c %s "$data/report.cm")")" \
      "$(stage_secs '^parse ' <<<"$out")" "$(stage_secs '^union contig ' <<<"$out")" \
      "$(stage_secs '^re-pad' <<<"$out")" "$(awk '/^engine total/{print $3}' <<<"$out")" \
      "$(sed -n 's/.*union contig \([0-9]*\) columns.*/\1/p' <<<"$out")"
  done
  exit 0
fi

generate "$CONTIG" "$READS" "$LENGTH" "$SEED"
cd "$data"
report_bytes=$(stat -c %s report.cm)
contig_name=$(head -n 1 contig.fa | sed 's/^>//; s/[[:space:]].*//')
echo "data: $data"
echo "report $(mb "$report_bytes") MB; contig $CONTIG bases; $READS reads of about $LENGTH"

have_samtools=0
if command -v samtools >/dev/null; then
  have_samtools=1
  if [ ! -s aln.sam ]; then
    echo "converting the report to SAM (not timed)..."
    python3 "$repo/bench/cm2sam.py" contig.fa report.cm >aln.sam.tmp
    mv aln.sam.tmp aln.sam
  fi
  cat >samtools-route.sh <<EOF
set -e
samtools sort -o aln.sorted.bam aln.sam 2>/dev/null
samtools index aln.sorted.bam
samtools faidx contig.fa
samtools tview -d T -p $contig_name:500001 aln.sorted.bam contig.fa
EOF
else
  echo "samtools is not installed: the samtools route is skipped"
fi

cat report.cm >/dev/null  # page cache
best_lp='' best_ours='' best_sam='' peak_ours=0 peak_sam=0 all_lp='' all_ours='' all_sam=''
printf '%4s %12s %12s %10s %12s %10s\n' run linepass_s ours_s ours_MB samtools_s sam_MB
for ((i = 1; i <= REPS; i++)); do
  measure linepass.out "$build/bench/linepass" report.cm
  lp=$secs all_lp="$all_lp $secs"
  best_lp=$(min "$best_lp" "$lp")
  measure ours.log "$build/app/pileograph-txt" contig.fa report.cm out.txt 500000 500000
  ours=$secs ours_kb=$rss_kb all_ours="$all_ours $secs"
  best_ours=$(min "$best_ours" "$ours")
  [ "$ours_kb" -gt "$peak_ours" ] && peak_ours=$ours_kb
  sam=- sam_mb=-
  if [ $have_samtools = 1 ]; then
    rm -f aln.sorted.bam aln.sorted.bam.bai contig.fa.fai
    measure tview.txt sh samtools-route.sh
    sam=$secs all_sam="$all_sam $secs"
    sam_mb=$(mb $((rss_kb * 1024)))
    best_sam=$(min "$best_sam" "$sam")
    [ "$rss_kb" -gt "$peak_sam" ] && peak_sam=$rss_kb
  fi
  printf '%4d %12s %12s %10s %12s %10s\n' "$i" "$lp" "$ours" "$(mb $((ours_kb * 1024)))" "$sam" "$sam_mb"
done
if ! grep -q 'MergePads...done.' ours.log; then
  echo "compare.sh: pileograph-txt did not complete; its output:" >&2
  cat ours.log >&2
  exit 1
fi

echo
echo "best of $REPS: line pass $best_lp s, pileograph-txt $best_ours s${best_sam:+, samtools route $best_sam s}"
median() { tr ' ' '\n' <<<"$1" | { grep . || true; } | sort -n | awk '{ v[NR] = $1 } END { if (NR) print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
med_lp=$(median "$all_lp") med_ours=$(median "$all_ours") med_sam=$(median "$all_sam")
echo "median of $REPS: line pass $med_lp s, pileograph-txt $med_ours s${med_sam:+, samtools route $med_sam s}" \
  "(ours / line pass $(ratio "$med_ours" "$med_lp")${med_sam:+, samtools / ours $(ratio "$med_sam" "$med_ours")})"
echo "pileograph-txt peak RSS $(mb $((peak_ours * 1024))) MB${best_sam:+; samtools route peak RSS $(mb $((peak_sam * 1024))) MB}"
r1=$(ratio "$best_ours" "$best_lp")
r3=$(ratio $((peak_ours * 1024)) "$report_bytes")
verdict() { awk -v a="$1" -v b="$2" 'BEGIN { print (a + 0 <= b + 0) ? "met" : "MISSED" }'; }
echo "ours / line pass         = $r1  (target <= 2.5: $(verdict "$r1" 2.5))"
if [ -n "$best_sam" ]; then
  r2=$(ratio "$best_sam" "$best_ours")
  echo "samtools / ours          = $r2  (target > 1, ours faster: $(awk -v a="$r2" 'BEGIN { print (a > 1) ? "met" : "MISSED" }'))"
fi
echo "peak memory / report     = $r3  (target <= 3: $(verdict "$r3" 3))"
