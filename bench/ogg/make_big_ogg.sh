#!/bin/sh
# Makes OUT (a Theora + Vorbis Ogg file of about MB megabytes) from a short
# high-rate clip repeated by stream copy.
#   make_big_ogg.sh OUT MB
set -e
out=$1
mb=$2
dir=$(dirname "$out")
ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=1280x720:rate=30 \
  -f lavfi -i sine=frequency=440:sample_rate=48000 -t 10 -c:v libtheora -b:v 16M -g 60 \
  -c:a libvorbis -ac 2 -b:a 128k "$dir/clip.ogg"
size=$(stat -c %s "$dir/clip.ogg")
loops=$(( (mb * 1000000 + size - 1) / size ))
ffmpeg -nostdin -hide_banner -loglevel error -y -stream_loop $((loops - 1)) -i "$dir/clip.ogg" \
  -c copy "$out"
rm -f "$dir/clip.ogg"
