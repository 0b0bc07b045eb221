#!/usr/bin/env bash
# How long a new user waits on a fresh Debian 12 machine: the README's main command,
# ./run.sh --headless --demo --record 10, timed in a just-bootstrapped Debian 12 tree (chroot),
# for a reference commit and for the working tree's HEAD, one after the other in the same run.
# Prints the seconds until the take began and until the command ended, and the ratio to the
# reference. Needs root, debootstrap and the network; everything lands outside the repository.
#   sudo bench/fresh_machine_run.sh [REFERENCE_COMMIT]     (default: main)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
reference=$(git -C "$repo" rev-parse "${1:-main}")
candidate=$(git -C "$repo" rev-parse HEAD)
work=${TMPDIR:-/tmp}/vireon-fresh-machine
mkdir -p "$work"

if [ ! -x "$work/base/usr/bin/apt-get" ]; then
  debootstrap bookworm "$work/base" http://deb.debian.org/debian >"$work/debootstrap.log"
  # As a Debian 12 installation sets it up, updates and security fixes included.
  printf '%s\n' "deb http://deb.debian.org/debian bookworm main" \
    "deb http://deb.debian.org/debian bookworm-updates main" \
    "deb http://deb.debian.org/debian-security bookworm-security main" >"$work/base/etc/apt/sources.list"
fi
cp /etc/resolv.conf "$work/base/etc/resolv.conf"

mounted() { grep -q " $1/" /proc/mounts; }
unmount() { umount -R "$1/dev" 2>/dev/null || true; umount -R "$1/sys" 2>/dev/null || true; umount "$1/proc" 2>/dev/null || true; }

# time_run NAME COMMIT: prints "seconds-until-the-take-began total-seconds"
time_run() {
  local root=$work/$1 start port
  unmount "$root"
  if mounted "$root"; then echo "$root is still mounted" >&2; exit 1; fi
  rm -rf "$root"
  cp -a "$work/base" "$root"
  git clone -q "$repo" "$root/root/vireon"
  git -C "$root/root/vireon" checkout -q "$2"
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys" && mount --make-rslave "$root/sys"
  mount --rbind /dev "$root/dev" && mount --make-rslave "$root/dev"
  trap "unmount '$root'" EXIT
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("", 0)); print(s.getsockname()[1])')
  start=$(date +%s.%N)
  # Every line stamped with the seconds since the start.
  chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    bash -c "cd /root/vireon && ./run.sh --headless --demo --record 10 --port $port --output /root/takes" 2>&1 \
    | START=$start perl -MTime::HiRes=time -ne '$|=1; printf "%.1f %s", time - $ENV{START}, $_' >"$work/$1.log"
  unmount "$root"
  trap - EXIT
  awk '/Started Video Encoder for channel 1/ && !began { began = $1 } { last = $1 } END { print began, last }' "$work/$1.log"
}

read -r reference_began reference_total < <(time_run reference "$reference")
read -r candidate_began candidate_total < <(time_run candidate "$candidate")
if [ -z "$reference_began" ] || [ -z "$candidate_began" ]; then
  echo "a run recorded no take: see $work/reference.log and $work/candidate.log" >&2
  exit 1
fi
echo "reference $reference: take began after ${reference_began} s, command ended after ${reference_total} s"
echo "candidate $candidate: take began after ${candidate_began} s, command ended after ${candidate_total} s"
awk -v r="$reference_began" -v c="$candidate_began" 'BEGIN { printf "ratio until the take began: %.2f\n", c / r }'
echo "logs: $work/reference.log, $work/candidate.log; the trees stay in $work until the next run"
