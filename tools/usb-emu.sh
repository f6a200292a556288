#!/bin/sh
# Runs a command with the USB emulator in front of the system libusb, so the
# real backend and libftdi1 talk to the simulated units of a bench file
# (written by benchmake):  tools/usb-emu.sh <bench file> <command> [args...]
# The emulator library is taken from $OSTREL_USBEMU, else from build/.
set -eu
if [ $# -lt 2 ]; then
    echo "usage: $0 <bench file> <command> [args...]" >&2
    exit 2
fi
bench=$(realpath "$1")
shift
top=$(cd "$(dirname "$0")/.." && pwd)
lib=${OSTREL_USBEMU:-$top/build/device/usbemu/libostrel_usbemu.so}
if [ ! -r "$lib" ]; then
    echo "$0: no emulator library at $lib (build first, or set OSTREL_USBEMU)" >&2
    exit 2
fi
preload=$lib
# AddressSanitizer must be the first library loaded: put it ahead.
program=$(command -v "$1" || true)
if [ -n "$program" ]; then
    asan=$(ldd "$program" 2>/dev/null | awk '/libasan/ {print $3; exit}')
    [ -n "$asan" ] && preload="$asan:$preload"
fi
OSTREL_USB_BENCH=$bench LD_PRELOAD="$preload${LD_PRELOAD:+:$LD_PRELOAD}" exec "$@"
