#!/usr/bin/env bash
# Lighthouse mobile performance of a page with a 3000 x 2000 photograph, with option 720
# "Prepare pictures for the web" off and on: two blogs with the same entry and picture, each
# served by tessavo-cli serve and measured by Lighthouse (Chromium headless, Lighthouse's
# default mobile emulation and throttling) RUNS times.
#
#   bench/picture_lighthouse.sh [RUNS]        (default 3; needs scripts/setup --with-browser)
#
# Prints per run the performance score and the Largest Contentful Paint, and per blog the
# photo's bytes as published. Set TESSAVO_CLI to another tessavo-cli than build/'s.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
cli=${TESSAVO_CLI:-$PWD/build/src/cli/tessavo-cli}
lighthouse="${XDG_CACHE_HOME:-$HOME/.cache}/tessavo/npm/node_modules/.bin/lighthouse"
chrome=$(command -v chromium || true)
for tool in "$cli" "$lighthouse" "$chrome" /usr/bin/convert; do
  if [ ! -x "$tool" ]; then
    echo "missing: ${tool:-chromium} (build first; scripts/setup --with-browser)" >&2
    exit 1
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tessavo-lighthouse.XXXXXX")
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then kill -TERM "$server_pid" 2>/dev/null || true; wait "$server_pid" || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
export TESSAVO_HOME="$work/home"
mkdir -p "$TESSAVO_HOME"

# A photograph-like picture: a sky-to-grass gradient under soft fractal texture and sensor
# noise, so that it compresses like a phone photo (about 2 MB) and not to nothing.
/usr/bin/convert -seed 7 -size 3000x2000 gradient:'#6a8fc7'-'#3d5a2a' \
  \( -size 3000x2000 plasma:fractal -blur 0x2 \) -compose overlay -composite \
  -attenuate 0.5 +noise Gaussian -sampling-factor 4:2:0 -quality 92 "$work/photo.jpg"
echo "photo.jpg: 3000 x 2000, $(stat -c %s "$work/photo.jpg") bytes"

measure() {  # measure NAME PREPARE(0|1)
  local name=$1 prepare=$2 blog="$work/$1.zdb"
  (cd "$work" && "$cli" --yes create "$name.zdb" >/dev/null 2>&1)
  "$cli" option set "$blog" 720 "$prepare" >/dev/null
  "$cli" --yes picture add "$blog" "$work/photo.jpg" | grep -E 'prepared|added' || true
  "$cli" entry add "$blog" --title "A walk in the hills" \
    --text '<p>The view from the ridge this morning.</p><p><img src="photo.jpg" alt="Hills under a blue sky"></p>' >/dev/null
  "$cli" serve "$blog" --port 0 >"$work/$name.serve" 2>&1 &
  server_pid=$!
  local address=
  for _ in $(seq 1 300); do
    address=$(sed -n 's/^Serving .* at \(http:.*\)$/\1/p' "$work/$name.serve")
    [ -n "$address" ] && break
    sleep 0.1
  done
  [ -n "$address" ] || { cat "$work/$name.serve" >&2; exit 1; }
  local published
  published=$(stat -c %s "$TESSAVO_HOME/HTML/$name/photo.jpg")
  echo "== $name (option 720 = $prepare): published photo.jpg $published bytes, page $address"
  for run in $(seq 1 "$runs"); do
    CHROME_PATH=$chrome "$lighthouse" "$address" --quiet --only-categories=performance \
      --form-factor=mobile --output=json --output-path="$work/$name-$run.json" \
      --chrome-flags="--headless=new --no-sandbox --disable-gpu" >/dev/null 2>&1
    /usr/bin/python3 - "$work/$name-$run.json" "$run" <<'PY'
import json, sys
report = json.load(open(sys.argv[1]))
audits = report["audits"]
photo = [r for r in audits["network-requests"]["details"]["items"] if r["url"].endswith("/photo.jpg")]
print("run %s: performance %d, LCP %.1f s, FCP %.1f s, photo transferred %s bytes" % (
    sys.argv[2], round(report["categories"]["performance"]["score"] * 100),
    audits["largest-contentful-paint"]["numericValue"] / 1000,
    audits["first-contentful-paint"]["numericValue"] / 1000,
    photo[0]["transferSize"] if photo else "?"))
PY
  done
  kill -TERM "$server_pid"
  wait "$server_pid" || true
  server_pid=
}

measure off 0
measure on 1
