#!/usr/bin/env bash
# Renders the built-in fountain scene (frames 0-149: five seconds at 30
# frames a second) with the plmhost of the given build folder into out/, as
# PLY point clouds, a picture per frame and the contact sheet preview.png,
# and ends by printing the path of plmhost.
#   scripts/demo.sh build/release
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-build/release}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
host="$build/bin/plmhost"
out="$root/out"

if [ ! -x "$host" ]; then
  echo "demo: no plmhost at $host; build it first (make release)" >&2
  exit 2
fi

# Frames of an earlier, longer render would mix with this one's.
mkdir -p "$out"
rm -f "$out"/frame_*.ply "$out"/frame_*.png "$out"/preview.png "$out"/render.json

"$host" info | head -n 2
echo
"$host" render --out "$out" --png
echo
echo "demo: $(ls "$out"/frame_*.ply | wc -l) PLY frames in $out/ (open them in Blender, MeshLab or CloudCompare)"
echo "demo: contact sheet of nine frames: $out/preview.png"
echo "demo: plmhost is not on the PATH; run it as $host (for example: $host render explosion --out explosion)"
