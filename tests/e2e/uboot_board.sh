# The U-Boot board of the end-to-end tests, sourced after lib.sh: Debian's
# U-Boot for QEMU's arm64 "virt" machine with its console on end B of the
# simulated line, and the console on end A as an operator uses it.
#
#   boot_board LOADCMD [nullmodem options...]   a fresh line and board,
#       left waiting in LOADCMD for an upload, with the console closed
#   console_open / console_wait TEXT SECONDS    the console on fd 3
#   board_crc SIZE                              U-Boot's CRC-32 of SIZE
#       bytes at the load address;  file_crc FILE  the same of a file
#   stop_board                                  QEMU ended, console closed
#   require_board                               ends the script (1) when
#       QEMU, gzip or U-Boot is missing
UBOOT=${UBOOT:-/usr/lib/u-boot/qemu_arm64/u-boot.bin}
QEMU=${QEMU:-qemu-system-aarch64}
QEMU_PID=""

stop_board() {
    [ -n "$QEMU_PID" ] && kill "$QEMU_PID" 2>/dev/null && wait "$QEMU_PID" 2>/dev/null
    QEMU_PID=""
    exec 3<&-
}
trap 'stop_board; cleanup' EXIT

# console_wait TEXT SECONDS: reads the console until TEXT has come.
console_wait() {
    local want=$1 end=$((SECONDS + $2)) seen="" c
    while [ "$SECONDS" -lt "$end" ]; do
        if IFS= read -r -t 1 -n 1 -u 3 c; then
            seen+=${c:-$'\n'}
            [[ $seen == *"$want"* ]] && { CONSOLE_SEEN=$seen; return 0; }
            [ "${#seen}" -gt 8192 ] && seen=${seen: -4096}
        fi
    done
    echo "console: no \"$want\" within $2 s; last text: ${seen: -300}" >&2
    return 1
}

console_open() {
    exec 3<> "$WORK/a" && stty -F "$WORK/a" raw -echo
}

# boot_board LOADCMD [nullmodem options...]: a fresh line and board, left
# waiting in LOADCMD for an upload, with the console closed again.
boot_board() {
    local load=$1
    shift
    stop_board
    start_line --baud 115200 --latency-ms 1 --faults-from usr1 "$@"
    "$QEMU" -M virt -cpu cortex-a53 -m 128 -nographic -nic none -monitor none \
        -bios "$UBOOT" -chardev "tty,id=console,path=$WORK/b" -serial chardev:console \
        < /dev/null > "$WORK/qemu.out" 2>&1 &
    QEMU_PID=$!
    console_open || return 1
    console_wait "Hit any key" 60 || return 1
    printf ' ' >&3
    console_wait "=> " 10 || return 1
    printf '%s\r' "$load" >&3
    console_wait "$load" 5 || return 1
    exec 3<&-
}

# board_crc SIZE: U-Boot's CRC-32 of SIZE bytes at the load address.
board_crc() {
    console_open || return 1
    printf '\r' >&3
    console_wait "=> " 20 || return 1
    printf 'crc32 ${loadaddr} %x\r' "$1" >&3
    console_wait "==> " 10 && console_wait $'\n' 5 || return 1
    exec 3<&-
    printf '%s' "$CONSOLE_SEEN" | grep -ao '^[0-9a-f]\{8\}'
}

file_crc() {
    gzip -c "$1" | tail -c 8 | od -An -tx4 --endian=little -N4 | tr -d ' \n'
}

require_board() {
    for tool in "$QEMU" gzip; do
        command -v "$tool" > /dev/null || { echo "missing $tool" >&2; exit 1; }
    done
    [ -r "$UBOOT" ] || { echo "missing $UBOOT (package u-boot-qemu)" >&2; exit 1; }
}
