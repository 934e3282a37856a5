#!/usr/bin/env bash
# Boots the test VM with the disks given and runs a shell command in it, under
# chroot in the host's root (so the build's own programs run as they are);
# prints the command's output and exits with its status.
#
#   test/vm/run.sh [--disk KIND:IMAGE[:OPTION=VALUE]...]... [--timeout S]
#                  [--workdir DIR] [--reads FILE] [--cache DIR] -- COMMAND...
#
# KIND is sata, nvme, scsi or virtio; options are name=, serial=, model=
# (SATA), sector=4096 and bad=N[,N...] (512-byte units whose reads fail).
# --workdir keeps QEMU's console log (console.log), QMP socket (qmp.sock)
# and read log (reads.trace); --reads writes one line per read a disk
# received: NAME OFFSET BYTES. The kernel is fetched into --cache
# (build/vm-kernel) the first time. test/vm/vm.py does the work.
exec python3 "$(dirname "${BASH_SOURCE[0]}")/vm.py" "$@"
