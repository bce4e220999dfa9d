#!/usr/bin/env bash
# Kills conversions at random moments and checks that nothing is lost and nothing is left:
# an existing PDF is either exactly as it was or a complete result, no output has zero pages,
# no temporary stays in the output folder or in $TMPDIR, and two writers never lose each
# other's work.
#
#   stress.sh BIN_DIR [TRIALS]        (TRIALS kill trials; CI runs a few)
set -uo pipefail
bin=${1:?usage: stress.sh BIN_DIR [TRIALS]}
trials=${2:-10}
pictofold="$bin/pictofold"
command -v qpdf >/dev/null || { echo "stress: qpdf is needed" >&2; exit 1; }
samples="$(cd "$(dirname "$0")/../../samples" && pwd)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work/tmp" HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$TMPDIR" "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$work/in" "$work/out"
chmod 700 "$XDG_RUNTIME_DIR"
settings="$work/Settings.ini"
printf '[Settings]\r\n' >"$settings"

# Enough inputs that a run takes a moment: copies of the bundled JPEG and TIFF.
for i in $(seq -w 1 40); do
  cp "$samples/landscape.jpg" "$work/in/p$i.jpg"
done
cp "$samples/scan.tif" "$work/in/zscan.tif"
ninputs=$(ls "$work/in" | wc -l)

failures=0
interrupted=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

pages() { # page count by an independent reader; empty when the file does not parse
  qpdf --show-npages "$1" 2>/dev/null
}

# exec: a signal must reach pictofold itself, not a shell around it.
convert() { exec "$pictofold" convert --settings "$settings" -q "$@"; }

# The reference: what a complete run of the inputs gives.
(convert -o "$work/ref.pdf" "$work/in") >/dev/null 2>&1 || { echo "reference run failed" >&2; exit 1; }
full=$(pages "$work/ref.pdf")
[ -n "$full" ] && [ "$full" -gt 0 ] || { echo "reference has no pages" >&2; exit 1; }

litter() { # temporaries that outlived their run: nothing may stay in $TMPDIR or hide in out/
  find "$TMPDIR" "$work/out" -mindepth 1 \( -path "$TMPDIR/*" -o -name '.*' \) 2>/dev/null
}

for t in $(seq 1 "$trials"); do
  policies=(overwrite append new)
  policy=${policies[$((RANDOM % 3))]}
  signals=(KILL TERM INT)
  sig=${signals[$((RANDOM % 3))]}
  target="$work/out/t$t.pdf"
  cp "$work/ref.pdf" "$target"
  before=$(sha256sum "$target" | cut -d' ' -f1)
  (convert --exists "$policy" -o "$target" "$work/in") >/dev/null 2>&1 &
  pid=$!
  # A random moment: from at once to somewhat after the run got going.
  delay=$(awk -v r=$RANDOM 'BEGIN { printf "%.3f", (r % 400) / 1000 }')
  sleep "$delay"
  kill -s "$sig" "$pid" 2>/dev/null
  { wait "$pid"; } 2>/dev/null
  status=$?
  [ "$status" -gt 128 ] && interrupted=$((interrupted + 1))
  after=$(sha256sum "$target" | cut -d' ' -f1)
  n=$(pages "$target")
  if [ "$after" != "$before" ]; then
    # Changed: only a complete result may stand under the name.
    case $policy in
      overwrite) want=$full ;;
      append) want=$((full * 2)) ;;
      new) want=$full ;;
    esac
    [ "$n" = "$want" ] || fail "trial $t ($policy, SIG$sig): $target has '$n' pages, want $want or the old file"
  fi
  # A signal that came in time ends the run with its own status, never with success.
  if [ "$sig" != KILL ] && [ "$status" -ne 0 ] && [ "$after" != "$before" ]; then
    fail "trial $t ($policy, SIG$sig): stopped with status $status but the target changed"
  fi
  for f in "$work"/out/*.pdf; do
    m=$(pages "$f")
    [ -n "$m" ] && [ "$m" -gt 0 ] || fail "trial $t: $f is not a readable PDF with pages"
  done
  left=$(litter)
  [ -z "$left" ] || fail "trial $t ($policy, SIG$sig): left behind: $left"
done

# Two writers at once.
rm -f "$work"/out/*
cp "$work/ref.pdf" "$work/out/a.pdf"
(convert --exists new -o "$work/out/a.pdf" "$work/in") >/dev/null 2>&1 &
p1=$!
(convert --exists new -o "$work/out/a.pdf" "$work/in") >/dev/null 2>&1 &
p2=$!
wait "$p1" "$p2"
made=$(ls "$work/out" | wc -l)
[ "$made" -eq 3 ] || fail "two 'new' writers: $made files, want 3: $(ls "$work/out")"
for f in "$work"/out/*.pdf; do
  [ "$(pages "$f")" = "$full" ] || fail "two 'new' writers: $f has $(pages "$f") pages"
done

cp "$work/ref.pdf" "$work/out/b.pdf"
(convert --exists append -o "$work/out/b.pdf" "$work/in") >/dev/null 2>&1 &
p1=$!
(convert --exists append -o "$work/out/b.pdf" "$work/in") >/dev/null 2>&1 &
p2=$!
wait "$p1" "$p2"
[ "$(pages "$work/out/b.pdf")" = "$((full * 3))" ] ||
  fail "two appenders: $(pages "$work/out/b.pdf") pages, want $((full * 3))"

left=$(litter)
[ -z "$left" ] || fail "left behind: $left"

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s) in $trials trials of $ninputs inputs" >&2
  exit 1
fi
echo "stress: $trials kill trials ($interrupted interrupted a run) and two-writer checks passed" \
  "($ninputs inputs, $full pages)"
