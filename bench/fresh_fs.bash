#!/usr/bin/env bash
# A new, empty ext4 file system for each timed run of a benchmark, so that
# every run meets the same file system whatever ran before it: made in an
# image file on a loop device with direct I/O (the image's writes reach the
# disk as the file system's own would, not through a second page cache).
# Needs root, losetup and mkfs.ext4.
#
#   fresh_fs.bash usable                exit 0 when this machine can do it
#   fresh_fs.bash image IMAGE SIZE_MB   make IMAGE of SIZE_MB MiB, all its
#                                       blocks written, unless it is as large
#                                       already (so that no run's writes make
#                                       the disk's file system find room)
#   fresh_fs.bash remake IMAGE MOUNT    unmount MOUNT, make a new file system
#                                       in IMAGE and mount it at MOUNT
#   fresh_fs.bash stop IMAGE MOUNT      unmount MOUNT and free the loop device
set -euo pipefail

usable() {
  [[ $(id -u) -eq 0 ]] && command -v losetup >/dev/null && command -v mkfs.ext4 >/dev/null &&
    [[ -e /dev/loop-control ]]
}

make_image() {
  local image=$1 size_mb=$2
  if [[ -f $image ]] && (($(stat -c %s "$image") >= size_mb * 1024 * 1024)); then
    return
  fi
  rm -f "$image"
  dd if=/dev/zero of="$image" bs=1M count="$size_mb" conv=fsync status=none
}

stop() {
  local image=$1 mount=$2 device
  if mountpoint -q "$mount"; then
    umount "$mount"
  fi
  for device in $(losetup -j "$image" | cut -d: -f1); do
    losetup -d "$device"
  done
}

# Lazy initialisation is off: the kernel would otherwise write the inode
# tables in the background during the timed run. No discard: the image's
# blocks stay written.
remake() {
  local image=$1 mount=$2 device
  stop "$image" "$mount"
  mkfs.ext4 -q -F -E nodiscard,lazy_itable_init=0,lazy_journal_init=0 "$image"
  device=$(losetup -f --show --direct-io=on "$image")
  mkdir -p "$mount"
  mount "$device" "$mount"
}

case ${1:-} in
  usable) usable ;;
  image) make_image "$2" "$3" ;;
  remake) remake "$2" "$3" ;;
  stop) stop "$2" "$3" ;;
  *)
    echo "fresh_fs.bash: usable | image IMAGE SIZE_MB | remake IMAGE MOUNT | stop IMAGE MOUNT" >&2
    exit 2
    ;;
esac
