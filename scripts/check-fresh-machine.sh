#!/usr/bin/env bash
# Runs the test command as a newcomer's machine would: a minimal Debian 12 root made with
# debootstrap (the variant "minbase" from this machine's configured mirror, with git and
# ca-certificates added and nothing else), a clone of this checkout's HEAD inside it, and
# .ci/run there as root. Prints the minutes it took and the verdict; exits with .ci/run's
# status. Run it after any change of a dependency; it takes about half an hour on two cores.
#
#   scripts/check-fresh-machine.sh [FOLDER]
#
# FOLDER is where the root is made (default: a new folder under /var/tmp); it is removed at
# the end unless KEEP_ROOT=1. Needs root (or sudo); installs debootstrap where it is missing.
set -euo pipefail
checkout=$(cd "$(dirname "$0")/.." && pwd)

if [ "$(id -u)" -ne 0 ]; then
    exec sudo --preserve-env=KEEP_ROOT "$0" "$@"
fi
if ! command -v debootstrap >/dev/null; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap
fi

# The first Debian address this machine's package sources name (deb822 or one-line form).
mirror=$(grep -hsE '^URIs:' /etc/apt/sources.list.d/*.sources | awk '{print $2}' |
    grep -v -- '-security' | head -n 1 || true)
if [ -z "$mirror" ]; then
    mirror=$(grep -hsE '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list |
        awk '{print $2}' | grep -v -- '-security' | head -n 1 || true)
fi
mirror=${mirror:-http://deb.debian.org/debian}

root=${1:-$(mktemp -d /var/tmp/vistrel-fresh.XXXXXX)}
mkdir -p "$root"
# mktemp makes its folder for its owner only; the root folder of a system is open to all.
chmod 755 "$root"
log="$root.log"
mounted=()
cleanup() {
    local point
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        point=${mounted[i]}
        umount -R "$point" 2>/dev/null || umount -l "$point" 2>/dev/null || true
    done
    if [ "${KEEP_ROOT:-0}" != 1 ]; then
        rm -rf --one-file-system "$root"
    fi
}
trap cleanup EXIT

start=$(date +%s)
echo "== A minimal Debian 12 root in $root (from $mirror); the whole output goes to $log"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$log" 2>&1
# The same package sources as this machine (its updates and security archives included),
# so that the root gets what a machine set up from this mirror gets.
rm -f "$root/etc/apt/sources.list"
cp -a /etc/apt/sources.list.d/. "$root/etc/apt/sources.list.d/"
[ -f /etc/apt/sources.list ] && cp /etc/apt/sources.list "$root/etc/apt/sources.list"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true

for point in proc dev tmp; do
    mkdir -p "$root/$point"
done
mount -t proc proc "$root/proc" && mounted+=("$root/proc")
mount --rbind /dev "$root/dev" && mount --make-rslave "$root/dev" && mounted+=("$root/dev")
mount -t tmpfs tmpfs "$root/tmp" && mounted+=("$root/tmp")

in_root() {
    chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}
echo "== git and ca-certificates, nothing else"
in_root apt-get update -qq >>"$log" 2>&1
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    git ca-certificates >>"$log" 2>&1

echo "== A clone of $(git -C "$checkout" rev-parse --short HEAD) (HEAD; uncommitted changes are not in it)"
git clone -q --no-hardlinks "$checkout" "$root/root/vistrel"

echo "== .ci/run inside the root, as root"
status=0
in_root bash -c 'cd /root/vistrel && .ci/run' >>"$log" 2>&1 || status=$?
minutes=$(awk -v s="$(($(date +%s) - start))" 'BEGIN { printf "%.1f", s / 60 }')
tail -n 25 "$log"
if [ "$status" -eq 0 ]; then
    echo "== Fresh machine: PASSED in $minutes minutes (log: $log)"
else
    echo "== Fresh machine: FAILED (exit $status) after $minutes minutes (log: $log)"
fi
exit "$status"
