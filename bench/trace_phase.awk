# Reads a nullmodem trace and finds the data phase of one X/Y-Modem
# transfer: from the first byte of data block 1 to the EOT, in the sender's
# direction. Variables (-v): dir (sender's direction, "ab" or "ba"),
# check (trailer bytes: 1 checksum, 2 CRC-16), baud (0 = unthrottled).
# Prints: start_us eot_us data_frames start_wait_us
# start_wait_us: from the receiver's first byte to the sender's first frame.
# Times of bytes inside a chunk are taken back from the chunk's time by one
# byte time per later byte, the chunk being stamped at its last byte.
BEGIN { byteUs = baud > 0 ? 1e7 / baud : 0; skip = 0; need = 0; start = -1; eot = -1
        frames = 0; firstPeer = -1; firstFrame = -1; done = 0 }
/^#/ { next }
done { next }
$2 != dir { if (firstPeer < 0) firstPeer = $1; next }
{
    ts = $1; count = $3; hex = $4; i = 0
    while (i < count && !done) {
        if (skip > 0) {
            if (need > 0) {
                header = header substr(hex, 2 * i + 1, 2); need--; skip--; i++
                if (need == 0) frameSeen()
                continue
            }
            k = count - i; if (k > skip) k = skip
            i += k; skip -= k; continue
        }
        b = substr(hex, 2 * i + 1, 2)
        t = ts - (count - 1 - i) * byteUs
        if (b == "04" && start >= 0) { eot = t; done = 1; break }
        if (b == "01" || b == "02") {
            headerTime = t; header = ""; need = 2
            skip = (b == "01" ? 128 : 1024) + 2 + check
            if (firstFrame < 0) firstFrame = t
        }
        i++
    }
}
function frameSeen() {
    if (start < 0 && header == "01fe") start = headerTime
    if (start >= 0) frames++
}
END {
    wait = (firstPeer >= 0 && firstFrame >= 0) ? firstFrame - firstPeer : -1
    printf "%.0f %.0f %d %.0f\n", start, eot, frames, wait
}
