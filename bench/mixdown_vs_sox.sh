#!/usr/bin/env bash
# Mixdown of 14 five-minute mono tracks by Mv01.exe against sox doing the same mix with the
# same gains (sox -M T01.wav .. T14.wav out.wav remix ...): whole-process wall times of a few
# alternating runs, best and median, and their ratio. Inputs are in the page cache for both.
#
#   bench/mixdown_vs_sox.sh [path/to/Mv01.exe] [runs]
# By default it times the release build's program, build/release/mixdown/Mv01.exe, which
# scripts/run.sh and `scripts/build.sh release` make.
set -euo pipefail

exe=$(realpath -m "${1:-$(dirname "$0")/../build/release/mixdown/Mv01.exe}")
runs=${2:-3}
seconds=300
command -v sox >/dev/null || { echo "sox is not installed" >&2; exit 1; }
[[ -x $exe ]] || { echo "no program at $exe" >&2; exit 1; }

dir=$(mktemp -d /tmp/vemra-mixbench-XXXXXX)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/Mysong"
cp "$exe" "$dir/Mv01.exe"

echo "making 14 tracks of $seconds s in $dir ..."
for n in $(seq 1 14); do
  f=$(printf '%s/Mysong/T%02d.wav' "$dir" "$n")
  sox -n -r 44100 -b 16 -c 1 "$f" synth "$seconds" sine $((110 * n)) synth pinknoise mix vol 0.45 &
done
wait
want=$((44 + 2 * 44100 * seconds))
for f in "$dir"/Mysong/T*.wav; do
  [[ $(stat -c %s "$f") == "$want" ]] || { echo "$f: not a 44-byte header + samples" >&2; exit 1; }
done

# The request (volume = 2 x mixer scale, pan in mixer scale) and the same gains for sox.
remix=$(python3 - "$dir/Parms" <<'EOF'
import struct, sys
req = [(5700, 16383), (-3000, 0), (2880, 32272), (3000, 10000), (4200, 20000), (3600, 16383),
       (2400, 5000), (4800, 28000), (3000, 16383), (5000, 12000), (1500, 25000), (3300, 16383),
       (4500, 2000), (3900, 30000)]
b = bytearray(284)
struct.pack_into('<h', b, 11, 99)
for n, (v, p) in enumerate(req):
    struct.pack_into('<hh', b, 15 + 4 * n, v, p)
open(sys.argv[1], 'wb').write(b)

def volume(v):  # hundredths of a dB, None = silent
    t = abs(v) / 60
    if t < 2: return None
    if 46 < t < 50: return -1536
    if t > 92: return 0
    return -32 * (94 - t)
def pan(p):
    d = min(max(p, 0), 32712) / 348
    return 0 if 46 <= d <= 48 else min(max(110 * d - 5000, -5000), 5000)
left, right = [], []
for n, (v, p) in enumerate(req, 1):
    vol = volume(v)
    if vol is None: continue
    pp = pan(p)
    left.append('%dv%.9f' % (n, 10 ** ((vol + min(0, -pp)) / 2000)))
    right.append('%dv%.9f' % (n, 10 ** ((vol + min(0, pp)) / 2000)))
print(','.join(left), ','.join(right))
EOF
)
cat "$dir"/Mysong/T*.wav >/dev/null  # both start from the page cache

TIMEFORMAT=%R
tracks=("$dir"/Mysong/T{01..14}.wav)
times_mv=() times_sox=()
for ((i = 1; i <= runs; i++)); do
  t_mv=$( { time "$dir/Mv01.exe" >/dev/null; } 2>&1 )
  t_sox=$( { time sox -V1 -D -M "${tracks[@]}" "$dir/out.wav" remix -m $remix; } 2>&1 )
  echo "run $i: Mv01.exe ${t_mv} s, sox ${t_sox} s"
  times_mv+=("$t_mv") times_sox+=("$t_sox")
done

[[ -f $dir/Mysong/Mix.wav && ! -e $dir/Mysong/Copymix.wav ]] || { echo "no Mix.wav" >&2; exit 1; }
# The two masters should agree to a unit or so (sox rounds in its own way).
diff=$(sox -V1 -m -v 1 "$dir/Mysong/Mix.wav" -v -1 "$dir/out.wav" -n stats 2>&1 |
       awk '/Pk lev dB/ {print $4}')
echo "largest difference between the masters: ${diff} dBFS"
python3 - "${times_mv[*]}" "${times_sox[*]}" <<'EOF'
import statistics, sys
mv, sox = ([float(x) for x in a.split()] for a in sys.argv[1:3])
for name, f in (('best', min), ('median', statistics.median)):
    print('%-6s Mv01.exe %.3f s, sox %.3f s, ratio %.3f' % (name, f(mv), f(sox), f(mv) / f(sox)))
EOF
