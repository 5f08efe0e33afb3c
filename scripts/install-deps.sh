#!/usr/bin/env bash
# Installs the Debian packages of the given jobs from scripts/packages.txt
# when they are missing (all jobs when none is given). As root it installs
# them with apt-get; otherwise it names them and fails.
# Usage: scripts/install-deps.sh [build|run|windows|wine|cd|test]...
set -euo pipefail
list="$(dirname "$0")/packages.txt"

# The packages of the jobs $@ (every package without arguments).
packages_of() {
  awk -v want=" $* " '!/^#/ && NF {
    for (i = 2; i <= NF; i++) if (want == "  " || index(want, " " $i " ")) { print $1; break }
  }' "$list"
}

mapfile -t packages < <(packages_of "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -ne 0 ]]; then
  echo "missing Debian packages: ${missing[*]}" >&2
  echo "install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# A package of another architecture (wine32:i386) needs that architecture.
for p in "${missing[@]}"; do
  arch=${p#*:}
  [[ $p == *:* && $arch != "$(dpkg --print-architecture)" ]] || continue
  dpkg --print-foreign-architectures | grep -qx "$arch" || dpkg --add-architecture "$arch"
done
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
