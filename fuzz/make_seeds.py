#!/usr/bin/env python3
"""Writes the seed corpora under fuzz/corpus/<target>/.

Each seed is a complete, sensible scenario in the target's input layout
(see the comment at the top of each *_fuzz.cpp), so that mutation starts
from real transfers, headers and command lines instead of noise.
"""
import hashlib
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

SOH, STX, EOT, ACK, NAK, CAN = 1, 2, 4, 6, 0x15, 0x18

# Segment op byte: 0x80 = wait for the engine's next write, kind << 4,
# delay index in the low four bits (0 = at once, 2 = 10 ms: late enough
# for the sender's opening character to survive its drain of stale input).
def op(kind, after_write=True, delay=0):
    return bytes([(0x80 if after_write else 0) | (kind << 4) | delay])

def u16(v):
    return bytes([(v >> 8) & 0xFF, v & 0xFF])

# --- receiver ---------------------------------------------------------------
X_SUM, X_CRC, Y, YG = 0, 1, 2, 3
BUDGET_30S = 3 << 5

def rx_config(variant, file_named=False):
    return bytes([variant | (4 if file_named else 0) | BUDGET_30S])

def rx_raw(data, after_write=True, delay=0):
    return op(0, after_write, delay) + bytes([len(data)]) + data

def rx_short(number, data, after_write=True):
    return op(1, after_write) + bytes([number, len(data)]) + data

def rx_long(number, data):
    return op(2) + bytes([number]) + u16(len(data)) + data

def rx_header(field, long_block=False):
    if long_block:
        return op(4) + u16(len(field)) + field
    return op(3) + bytes([len(field)]) + field

def file_bytes(n):
    return bytes((i * 131 + 7) & 0xFF for i in range(n))

def ymodem_receive(name, size, data, variant=Y):
    # Each reply of the receiver releases the next segment: the header is
    # on the line at once, the first "C"/"G" releases nothing, the one after
    # the header the data. Y-Modem G acknowledges no block, so its blocks
    # and EOT stream back to back.
    streaming = variant == YG
    s = rx_config(variant) + rx_header(name + b"\0" + size) + rx_raw(b"")
    if not streaming:
        s += rx_raw(b"")  # the header's ACK; the data follow the "C"
    number = 1
    while data:
        s += rx_short(number, data[:128], after_write=not streaming or number == 1)
        data, number = data[128:], number + 1
    s += op(6, after_write=not streaming or number == 1)
    if not streaming:
        s += rx_raw(b"")  # the EOT's ACK; the end of batch follows the "C"
    return s + rx_header(b"")

def receiver_seeds():
    body = file_bytes(300)
    yield ymodem_receive(b"file.bin", b"300", body)
    yield ymodem_receive(b"sub/dir/file.bin", b"300", body)
    yield ymodem_receive(b"g.bin", b"300", body, YG)
    # Sizes at the block edges, where the fill must be cut off.
    for size in (0, 1, 127, 128, 129, 1023, 1024, 1025):
        yield ymodem_receive(b"edge.bin", str(size).encode(), file_bytes(size))
    for name in (b"/etc/passwd", b"../up.bin", b"a/../../b", b"c:boot.ini",
                 b"\\\\server\\share", b"dir\\..\\x", b"bell\x07.bin", b"del\x7f"):
        yield ymodem_receive(name, b"10", b"x" * 10)
    yield rx_config(Y) + rx_header(b"n" * 128)            # no NUL
    yield rx_config(Y) + rx_header(b"big\x004294967296")
    yield rx_config(Y) + rx_header(b"junk\x0012a")
    yield rx_config(Y) + rx_header(b"sp\x001234 extra text")
    yield ymodem_receive(b"claims.bin", b"5000", file_bytes(256))
    s = rx_config(Y) + rx_header(b"long.bin\x001500", long_block=True) + rx_raw(b"")
    s += rx_long(1, file_bytes(1024))
    for number, start in ((2, 1024), (3, 1152), (4, 1280), (5, 1408)):
        s += rx_short(number, file_bytes(1500)[start:start + 128])
    yield s + op(6) + rx_raw(b"") + rx_header(b"")
    # X-Modem with both checks, a repeated block and garbage first.
    for variant in (X_SUM, X_CRC):
        s = rx_config(variant) + rx_raw(b"\xff\x00garbage", after_write=False)
        s += rx_short(1, file_bytes(128)) + rx_short(1, file_bytes(128))
        s += rx_short(2, file_bytes(100)) + op(6)
        yield s
    s = rx_config(X_CRC)
    for _ in range(12):
        s += rx_short(1, file_bytes(128))
    yield s
    yield rx_config(X_CRC) + op(5) + bytes([1, 128]) + file_bytes(128) + bytes([40, 0x10])
    # The sender cancels where a block should begin.
    yield rx_config(X_CRC) + rx_short(1, file_bytes(128)) + rx_raw(bytes([CAN, CAN]))
    yield rx_config(Y) + rx_header(b"c.bin\x00300") + rx_raw(b"") + rx_raw(bytes([CAN, CAN]))

# --- sender -----------------------------------------------------------------
XMODEM, XMODEM1K, YMODEM = 0, 1, 2
REPLY_RAW, REPLY_ACK, REPLY_NAK, REPLY_C, REPLY_G, REPLY_CAN, REPLY_ACK_C = range(7)

def tx_config(protocol, budget=1):
    return bytes([protocol | (budget << 5)])

def sender_seeds():
    for protocol, opening in ((XMODEM, REPLY_NAK), (XMODEM, REPLY_C), (XMODEM1K, REPLY_C)):
        s = tx_config(protocol) + u16(1500) + b"\0" + op(opening, after_write=False, delay=2)
        s += op(REPLY_ACK) * 13
        yield s
    name = b"Dir\\FW.BIN"
    s = tx_config(YMODEM) + u16(1500) + bytes([len(name)]) + name + op(REPLY_C, False, 2)
    s += op(REPLY_ACK_C) + op(REPLY_ACK) * 5 + op(REPLY_ACK_C) + op(REPLY_ACK)
    yield s
    s = tx_config(YMODEM) + u16(300) + b"\x05g.bin" + op(REPLY_G, False, 2)
    s += op(REPLY_G) + op(REPLY_RAW) + b"\0" * 3 + op(REPLY_ACK) + op(REPLY_G)
    yield s
    # U-Boot's loady: ACK, ACK, "C" after EOT.
    s = tx_config(YMODEM) + u16(100) + b"\x04a.gz" + op(REPLY_C, False, 2)
    s += op(REPLY_ACK_C) + op(REPLY_ACK) + op(REPLY_RAW) + b"\x03\x06\x06C" + op(REPLY_ACK)
    yield s
    # NAK to everything, a CAN pair, a checksum start switched to CRC.
    yield tx_config(XMODEM) + u16(200) + b"\0" + op(REPLY_NAK, False, 2) + op(REPLY_NAK) * 11
    yield tx_config(XMODEM) + u16(200) + b"\0" + op(REPLY_C, False, 2) + op(REPLY_CAN) * 3
    yield tx_config(XMODEM) + u16(200) + b"\0" + op(REPLY_NAK, False, 2) + op(REPLY_C) + op(REPLY_ACK) * 3
    yield tx_config(YMODEM) + u16(10) + bytes([124]) + b"n" * 124 + op(REPLY_C, False, 2)
    # A file that shrinks while it is sent.
    yield bytes([XMODEM | 8 | (1 << 5)]) + u16(3000) + b"\0" + op(REPLY_C, False, 2) + op(REPLY_ACK) * 30

# --- command line ------------------------------------------------------------
def cmdline_seeds():
    lines = [
        [b"-sy", b"fw.bin", b"-lfLOG"], [b"-p3", b"-sk", b"fw.bin", b"dst.bin"],
        [b"-rc", b"out.bin"], [b"-rg"], [b"-p/dev/ttyUSB0", b"-b9600", b"-t5"],
        [b"-lx" + b"a" * 128], [b"-lx" + b"a" * 129], [b"\""], [b"\"-sx\"", b"\"a b\""],
        [b"-lt4294967", b"-t4294966"], [b"-p-1"], [b"-b 42"], [b"-p1.5"], [b"-h"],
        [b"a", b"b", b"c"], [b"-le", b"-lt0", b"-lxOK"],
    ]
    for args in lines:
        yield b"\0".join(args)

# --- capture ----------------------------------------------------------------
def cap(config, timeout_index, stop, chunks, fault=b""):
    # fault: the failing read's index (config 2) or the log's room (config 4)
    s = bytes([config, timeout_index, len(stop)]) + stop + fault
    for gap_index, data in chunks:
        s += bytes([gap_index]) + u16(len(data)) + data
    return s

def capture_seeds():
    yield cap(0, 2, b"DONE", [(0, b"boot...DO"), (1, b"NE\r\nafter")])
    # The stop string cut at every point, the second part a slice of it.
    stop = b"U-Boot>"
    for cut in range(1, len(stop)):
        s = cap(0, 2, stop, [(0, b"log " + stop[:cut])])
        yield s + bytes([8 | 1, cut, len(stop) - cut])
    yield cap(1, 2, b"", [(0, b"line\r\n"), (3, b"more\r\n")])
    yield cap(0, 2, b"x", [(0, b"abc"), (5, b"x")])
    yield cap(0, 3, b"Z" * 128, [(1, b"Z" * 100), (1, b"Z" * 28)])
    yield cap(0, 0, b"OK", [(0, b"O"), (1, b"K")])
    yield cap(0, 2, b"END", [(0, b"y" * 2000), (0, b"E"), (4, b"ND")])
    yield cap(2, 2, b"STOP", [(0, b"a" * 1500), (1, b"b")], fault=b"\x02")
    yield cap(4, 2, b"", [(0, b"q" * 40)], fault=u16(10))

SEEDS = {
    "receiver": receiver_seeds,
    "sender": sender_seeds,
    "cmdline": cmdline_seeds,
    "capture": capture_seeds,
}

def main():
    for target, make in SEEDS.items():
        folder = os.path.join(HERE, "corpus", target)
        os.makedirs(folder, exist_ok=True)
        for seed in make():
            name = hashlib.sha1(seed).hexdigest()[:16]
            with open(os.path.join(folder, name), "wb") as f:
                f.write(seed)
    return 0

if __name__ == "__main__":
    sys.exit(main())
