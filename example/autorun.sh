#!/bin/sh
# Starts the orbilex CD menu on Linux from the root of the medium. Desktops
# that follow the autostart convention for media offer to run this file when
# the CD is inserted; by hand: sh /path/to/the/medium/autorun.sh
dir=$(dirname "$0")
if [ ! -x "$dir/start" ]; then
  echo "The medium is mounted without the right to run programs (a USB stick" >&2
  echo "formatted FAT, or a mount with noexec). Copy its folder to a disk and" >&2
  echo "run autorun.sh there: sh autorun.sh" >&2
  exit 1
fi
exec "$dir/start"
