#!/usr/bin/env bash
# Re-makes hdr_reference.tsv: the brightness (mean) and contrast (standard deviation) of the
# luma of HDR thumbnails that ffmpeg 5.1 renders with its zscale and hable tonemap filters,
# from ../shared/media, at the time and size `korvel frame FILE 0.5 320` uses.
# Luma is Y' = 0.2126 R' + 0.7152 G' + 0.0722 B' on the 0-255 scale.
cd "$(dirname "${BASH_SOURCE[0]}")"
# shellcheck source=../fixtures/fixture_lib.sh
. ../fixtures/fixture_lib.sh
media=../../../shared/media
position=0.5
size=320

printf 'file\tposition\tsize\twidth\theight\tmean\tstddev\n' > hdr_reference.tsv
# File and transfer, below; roadtrip's WebM states no transfer, its content is PQ.
while read -r file transfer; do
  duration=$(probe -show_entries format=duration "$media/$file")
  # korvel's request time: the position of the duration, in 1/600 s ticks.
  time=$(python3 -c "print(round($duration * $position * 600) / 600)")
  ff -ss "$time" -i "$media/$file" -frames:v 1 -vf "\
zscale=tin=$transfer:pin=bt2020:min=bt2020nc:rin=tv:t=linear:p=bt2020:npl=100,format=gbrpf32le,\
zscale=p=bt709,tonemap=hable:desat=0,zscale=t=bt709:m=bt709:r=tv,format=yuv420p,\
scale=$size:$size:force_original_aspect_ratio=decrease" -f yuv4mpegpipe - > "$work/reference.y4m"
  python3 - "$work/reference.y4m" "$file" "$position" "$size" >> hdr_reference.tsv <<'PY'
import math, sys
path, file, position, size = sys.argv[1:]
data = open(path, "rb").read()
header, _, rest = data.partition(b"\n")
fields = {field[:1]: field[1:] for field in header.split()}
width, height = int(fields[b"W"]), int(fields[b"H"])
luma = rest.partition(b"\n")[2][: width * height]  # after the FRAME line
values = [(y - 16) * 255 / 219 for y in luma]
mean = sum(values) / len(values)
stddev = math.sqrt(sum((v - mean) ** 2 for v in values) / len(values))
print(f"{file}\t{position}\t{size}\t{width}\t{height}\t{mean:.1f}\t{stddev:.1f}")
PY
done <<'FILES'
mp4/hdr10-av1.mp4 smpte2084
mp4/hlg10-color-test.mp4 arib-std-b67
mkv/sample_av1.mkv arib-std-b67
vp9/roadtrip-vp92-10bit.webm smpte2084
FILES
cat hdr_reference.tsv
