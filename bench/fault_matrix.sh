#!/usr/bin/env bash
# Fault matrix: blockxfer over a damaged simulated cable (nullmodem), in
# every send mode against our receiver and lrzsz, and every receive mode
# against our sender and lrzsz; bit flips, drops, duplicates, noise bursts,
# a cut cable, a killed peer and a cancelling receiver; several seeds each.
#
#   bench/fault_matrix.sh [--short | --full] [--seeds N] [--jobs N] [--output FILE]
#
# --short (the default, what CI runs): a few pairings and cells, one seed,
# in about three minutes. --full: everything, three seeds, and a Markdown
# table in bench/fault_matrix_results.md (or --output). Each run records
# the exit status and time of both sides, how the received file compares,
# and how many resend characters the receiver sent. A run is
#   ok           both sides 0 and the file identical;
#   fail         a clean failure: a documented code and message, and no
#                side of ours claiming success for a damaged file;
#   undetected   a receiver reported success for a damaged or missing
#                file that the protocol as specified cannot catch: the 8-bit
#                checksum missed a multi-byte error (same length); a false
#                EOT cut an X-Modem file short (X-Modem carries no size; a
#                stray 0x04 at the start of a frame, or a noise "G" that put
#                the sender into streaming so that its real EOT came after
#                lost blocks); or a stray 0x04 where the first Y-Modem
#                header was expected, which ends the receive with success
#                and no file;
#   DEFECT       anything else: success with a damaged file, a hang (our
#                side still running after HANG_S, 240 s),
#                a crash (a signal with no message), an undocumented code.
# (A run that keeps retrying is slow, not hung: 240 s is far beyond the
# slowest recovery seen, about 125 s for 32 KiB at 1e-3 drops from sx -k.)
# Exits non-zero when any run is a DEFECT.
#
# Environment: BUILD_DIR (default build/), or BLOCKXFER, NULLMODEM and SHIM
# (the tcdrain shim for lrzsz) one by one. Needs lrzsz (sx, rx, sb, rb).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
. "$repo/tools/cable.sh"
build=${BUILD_DIR:-$repo/build}
BLOCKXFER=${BLOCKXFER:-$build/bin/blockxfer}
NULLMODEM=${NULLMODEM:-$build/bin/nullmodem}
SHIM=${SHIM:-$build/lib/libtcdrain_shim.so}
export BLOCKXFER NULLMODEM SHIM

SIZE=32768          # 2.8 s at 115200 baud
HANG_S=240          # our side still running after this: a hang
MID_MS=1500         # "the middle of the data" at 115200 baud
PEER_GRACE_S=4      # an lrzsz peer outliving our side this long is stopped

# --- pairings ----------------------------------------------------------------
# id: sender | receiver | protocol (x: X-Modem, y: Y-Modem) | check (sum|crc)
# blockxfer sends on end A, the receiver is on end B; "ab" is the data.
pairing() {
    case $1 in
    sx-rx)   echo "bx -sx|bx -rx|x|sum" ;;
    sk-rc)   echo "bx -sk|bx -rc|x|crc" ;;
    sy-ry)   echo "bx -sy|bx -ry|y|crc" ;;
    sy-rg)   echo "bx -sy|bx -rg|y|crc" ;;
    sx-lrx)  echo "bx -sx|lz rx|x|sum" ;;
    sk-lrxc) echo "bx -sk|lz rx -c|x|crc" ;;
    sy-lrb)  echo "bx -sy|lz rb|y|crc" ;;
    lsx-rx)  echo "lz sx|bx -rx|x|sum" ;;
    lsk-rc)  echo "lz sx -k|bx -rc|x|crc" ;;
    lsb-ry)  echo "lz sb -k|bx -ry|y|crc" ;;
    lsb-rg)  echo "lz sb -k|bx -rg|y|crc" ;;
    lsx-lrx)   echo "lz sx|lz rx|x|sum" ;;
    lsk-lrxc)  echo "lz sx -k|lz rx -c|x|crc" ;;
    lsb-lrb)   echo "lz sb -k|lz rb|y|crc" ;;
    *) return 1 ;;
    esac
}
ALL_PAIRINGS="sx-rx sk-rc sy-ry sy-rg sx-lrx sk-lrxc sy-lrb lsx-rx lsk-rc lsb-ry lsb-rg
lsx-lrx lsk-lrxc lsb-lrb"
# lrzsz to lrzsz is the reference: what the field's own tools deliver on
# the same damaged line.

# --- cells -------------------------------------------------------------------
# cell ID PAIRING -> nullmodem options. Count-based faults run unthrottled
# (with 2 ms latency, which lrzsz needs); timed ones at 115200 baud.
cell_options() {
    local fast="--latency-ms 2" paced="--baud 115200 --latency-ms 2"
    case $1 in
    flip-d-1e-5) echo "$fast --flip-ab 1e-5" ;;
    flip-d-1e-4) echo "$fast --flip-ab 1e-4" ;;
    flip-d-1e-3) echo "$fast --flip-ab 1e-3" ;;
    flip-b-1e-5) echo "$fast --flip-ab 1e-5 --flip-ba 1e-5" ;;
    flip-b-1e-4) echo "$fast --flip-ab 1e-4 --flip-ba 1e-4" ;;
    flip-b-1e-3) echo "$fast --flip-ab 1e-3 --flip-ba 1e-3" ;;
    drop-1e-4)   echo "$fast --drop-ab 1e-4 --drop-ba 1e-4" ;;
    drop-1e-3)   echo "$fast --drop-ab 1e-3 --drop-ba 1e-3" ;;
    dup-1e-4)    echo "$fast --dup-ab 1e-4 --dup-ba 1e-4" ;;
    dup-1e-3)    echo "$fast --dup-ab 1e-3 --dup-ba 1e-3" ;;
    noise-start) echo "$paced --noise-ab 100:400 --noise-ba 100:400" ;;
    noise-mid)   echo "$paced --noise-ab $MID_MS:400 --noise-ba $MID_MS:400" ;;
    cut-d)       echo "$fast --cut-ab $((SIZE / 2))" ;;
    cut-r)       echo "$fast --cut-ba $(reply_bytes_at_half "$2")" ;;
    kill-tx | kill-rx | cancel) echo "$paced" ;;
    *) return 1 ;;
    esac
}
ALL_CELLS="flip-d-1e-5 flip-d-1e-4 flip-d-1e-3 flip-b-1e-5 flip-b-1e-4 flip-b-1e-3
drop-1e-4 drop-1e-3 dup-1e-4 dup-1e-3 noise-start noise-mid cut-d cut-r kill-tx kill-rx cancel"

# About one reply byte per block: half the blocks, plus the opening ones.
reply_bytes_at_half() {
    local sender
    sender=$(pairing "$1" | cut -d'|' -f1)
    case $sender in
    "bx -sx" | "lz sx") echo $((SIZE / 128 / 2 + 1)) ;;
    "bx -sy" | "lz sb -k") echo $((SIZE / 1024 / 2 + 3)) ;;
    *) echo $((SIZE / 1024 / 2 + 1)) ;;
    esac
}

# --- one run -------------------------------------------------------------------
# side_command ROLE SPEC RUNDIR PROTO: the command line of one side.
side_command() {
    local role=$1 spec=$2 dir=$3 proto=$4 end who args
    who=${spec%% *}
    args=${spec#* }
    [ "$role" = tx ] && end=$dir/a || end=$dir/b
    if [ "$who" = bx ]; then
        if [ "$role" = tx ]; then
            echo "exec \"$BLOCKXFER\" -p$end $args src.bin"
        elif [ "$proto" = x ]; then
            echo "exec \"$BLOCKXFER\" -p$end -t10 $args out"
        else
            echo "exec \"$BLOCKXFER\" -p$end -t10 $args"
        fi
    else
        local file=""
        [ "$role" = tx ] && file=src.bin
        [ "$role" = rx ] && [ "$proto" = x ] && file=out
        echo "LD_PRELOAD=\"$SHIM\" exec $args -q $file <$end >$end"
    fi
}

# start_side ROLE SPEC RUNDIR PROTO [LIMIT]: runs it in the background; its
# status and milliseconds land in RUNDIR/ROLE.res, its pid in ROLE.pid.
start_side() {
    local role=$1 spec=$2 dir=$3 proto=$4 limit=${5:-} cwd cmd
    [ "$role" = tx ] && cwd=$dir || cwd=$dir/in
    cmd=$(side_command "$role" "$spec" "$dir" "$proto")
    (
        exec 2>/dev/null  # not the shell's "Killed" notices
        cd "$cwd" || exit 1
        start=$(date +%s%N)
        timeout -k 5 "$HANG_S" bash -c "$limit echo \$\$ >\"$dir/$role.pid\"; $cmd" \
            >"$dir/$role.out" 2>"$dir/$role.err"
        status=$?
        echo "$status $((($(date +%s%N) - start) / 1000000))" >"$dir/$role.res"
    ) &
    echo $! >"$dir/$role.wrapper"
}

# Compares the received file with what was sent (X-Modem pads with SUB).
compare_file() {
    local dir=$1 proto=$2 got expected
    if [ "$proto" = x ]; then
        got=$dir/in/out
        expected=$dir/expected
        cp "$dir/src.bin" "$expected"
        local pad=$(((128 - SIZE % 128) % 128))
        [ $pad -gt 0 ] && head -c $pad /dev/zero | tr '\0' '\032' >>"$expected"
    else
        got=$dir/in/src.bin
        expected=$dir/src.bin
    fi
    if [ ! -e "$got" ]; then
        echo missing
    elif cmp -s "$got" "$expected"; then
        echo same
    elif [ "$(stat -c %s "$got")" -lt "$(stat -c %s "$expected")" ] &&
        cmp -s "$got" <(head -c "$(stat -c %s "$got")" "$expected"); then
        echo prefix
    elif [ "$(stat -c %s "$got")" -eq "$(stat -c %s "$expected")" ]; then
        echo corrupt
    else
        echo differs
    fi
}

# Resend characters the receiver sent: in Y-Modem every NAK (before the
# header its resend character is its opening one), in X-Modem a NAK or "C"
# after its first ACK.
count_resends() {
    awk -v proto="$2" '$2 == "ba" {
            for (j = 1; j < length($4); j += 2) {
                b = substr($4, j, 2)
                if (b == "06") acked = 1
                else if (b == "15" && (proto == "y" || acked)) ++n
                else if (b == "43" && proto == "x" && acked) ++n
            }
         }
         END { print n + 0 }' "$1" 2>/dev/null || echo 0
}

documented_status() {  # the statuses a shell sees for our result codes
    case $1 in
    156 | 155 | 154 | 153 | 152 | 151 | 56 | 55 | 212 | 211 | 210 | 209 | 112 | 109 | 108 | 12 | 11) return 0 ;;
    *) return 1 ;;
    esac
}

# Judges one side of ours: prints ok, fail, or a DEFECT reason.
judge_ours() {
    local dir=$1 role=$2 killed=$3 status
    status=$(cut -d' ' -f1 "$dir/$role.res")
    if [ "$status" = 0 ]; then
        echo ok
    elif [ "$killed" = "$role" ]; then
        echo killed
    elif [ "$status" = 124 ]; then
        echo "DEFECT:hang"
    elif documented_status "$status" && grep -q "Error -[0-9]" "$dir/$role.err"; then
        echo fail
    elif [ "$status" -ge 128 ]; then
        echo "DEFECT:crash-$status"
    else
        echo "DEFECT:status-$status"
    fi
}

code_of() {  # the result code our side printed, or its status
    local code
    code=$(grep -o "Error -[0-9]*" "$1.err" 2>/dev/null | tail -1 | cut -d' ' -f2)
    [ -n "$code" ] && echo "$code" || cut -d' ' -f1 "$1.res"
}

run_one() {
    local pair=$1 cell=$2 seed=$3 dir=$4 spec tx rx proto check options
    spec=$(pairing "$pair") || { echo "unknown pairing $pair" >&2; return 1; }
    IFS='|' read -r tx rx proto check <<<"$spec"
    options=$(cell_options "$cell" "$pair") || { echo "unknown cell $cell" >&2; return 1; }
    rm -rf "$dir" && mkdir -p "$dir/in"
    head -c $SIZE /dev/urandom >"$dir/src.bin"

    # shellcheck disable=SC2086
    # Pairings of one protocol and check share their seeds, so that ours
    # and lrzsz's meet the same fault patterns; the three families differ.
    local family
    case $proto-$check in
    x-sum) family=1 ;;
    x-crc) family=2 ;;
    *) family=3 ;;
    esac
    cable_start "$NULLMODEM" "$dir/a" "$dir/b" "$dir/line.out" --seed $((family * 1000 + seed)) \
        --trace "$dir/trace" --max-seconds 300 $options || return 1
    local line=$CABLE_PID

    # The receiver cancels: ours when its disk is full halfway (a file size
    # limit, its signal ignored), lrzsz on SIGINT, which sends CANs.
    local rxlimit=""
    if [ "$cell" = cancel ] && [ "${rx%% *}" = bx ]; then
        rxlimit="ulimit -f $((SIZE / 2048)); trap '' XFSZ;"
    fi
    start_side tx "$tx" "$dir" "$proto"
    sleep 0.2
    start_side rx "$rx" "$dir" "$proto" "$rxlimit"
    local killed=""
    case $cell in
    kill-tx | kill-rx | cancel)
        sleep $((MID_MS / 1000)).$((MID_MS % 1000 / 100))
        local role=${cell#kill-} signal=KILL
        if [ "$cell" = cancel ]; then
            role=rx
            signal=INT
            [ "${rx%% *}" = bx ] && role=""
        else
            killed=$role
        fi
        if [ -n "$role" ] && wait_until 2 test -s "$dir/$role.pid"; then
            kill -s $signal "$(cat "$dir/$role.pid")" 2>/dev/null
        fi
        ;;
    esac

    # Our sides run to their end; an lrzsz peer gets a grace period after.
    # Between two lrzsz sides, both run to their end (or the hang limit).
    local ours="" peer=""
    [ "${tx%% *}" = bx ] && ours="$ours tx" || peer=tx
    [ "${rx%% *}" = bx ] && ours="$ours rx" || peer=rx
    local first=$ours
    [ -z "$ours" ] && first=tx && peer=rx
    for role in $first; do
        wait "$(cat "$dir/$role.wrapper")" 2>/dev/null
    done
    if [ -n "$peer" ]; then
        if ! wait_until "$PEER_GRACE_S" test -e "$dir/$peer.res"; then
            kill -TERM "$(cat "$dir/$peer.pid")" 2>/dev/null
        fi
        wait "$(cat "$dir/$peer.wrapper")" 2>/dev/null
    fi
    cable_stop "$line"

    local file resends verdict="" reason=""
    file=$(compare_file "$dir" "$proto")
    resends=$(count_resends "$dir/trace" "$proto")
    for role in $ours; do
        local j
        j=$(judge_ours "$dir" "$role" "$killed")
        case $j in DEFECT*) reason="$reason ${role}:${j#DEFECT:}" ;; esac
    done
    local rxstatus
    rxstatus=$(cut -d' ' -f1 "$dir/rx.res")
    if [ -n "$reason" ]; then
        verdict=DEFECT
    elif [ "$rxstatus" = 0 ] && [ "$file" != same ]; then
        # A receiver's success with a damaged file: lrzsz's is counted the
        # same way when the protocol explains it, and is lrzsz's otherwise.
        local whose=""
        [ "${rx%% *}" = lz ] && whose=" (lrzsz receiver)"
        if [ "$check" = sum ] && [ "$file" = corrupt ]; then
            verdict=undetected
            reason="checksum$whose"
        elif [ "$proto" = x ] && [ "$file" = prefix ]; then
            verdict=undetected
            reason="false-EOT$whose"
        elif [ "$proto" = y ] && [ "$file" = missing ]; then
            verdict=undetected
            reason="EOT-for-first-header$whose"
        elif [ -n "$whose" ]; then
            verdict=fail
            reason="lrzsz-success-with-$file-file"
        else
            verdict=DEFECT
            reason="rx:success-with-$file-file"
        fi
    elif [ "$(cut -d' ' -f1 "$dir/tx.res")" = 0 ] && [ "$rxstatus" = 0 ] && [ "$file" = same ]; then
        verdict=ok
    else
        verdict=fail
    fi
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$pair" "$cell" "$seed" \
        "$(code_of "$dir/tx")" "$(cut -d' ' -f2 "$dir/tx.res")" \
        "$(code_of "$dir/rx")" "$(cut -d' ' -f2 "$dir/rx.res")" \
        "$file" "$resends" "$verdict" "${reason# }"
    # A defect's run folder stays for study, as does every run with KEEP_RUNS set.
    if [ "$verdict" = DEFECT ] && [ -n "${KEPT_DIR:-}" ]; then
        mv "$dir" "$KEPT_DIR/" 2>/dev/null
    elif [ -z "${KEEP_RUNS:-}" ]; then
        rm -rf "$dir"
    fi
    return 0
}

# --- the matrix ----------------------------------------------------------------
# One run, started by the matrix below: its cable is kept for the matrix's
# exit trap, and so is the run itself.
if [ "${1:-}" = --run ]; then
    shift
    keep_pid $$
    run_one "$@"
    status=$?
    drop_pid $$
    exit $status
fi

mode=short
seeds=""
jobs=4
output=""
while [ $# -gt 0 ]; do
    case $1 in
    --short) mode=short ;;
    --full) mode=full ;;
    --seeds) seeds=$2; shift ;;
    --jobs) jobs=$2; shift ;;
    --output) output=$2; shift ;;
    *) echo "usage: $0 [--short | --full] [--seeds N] [--jobs N] [--output FILE]" >&2; exit 2 ;;
    esac
    shift
done
for tool in "$BLOCKXFER" "$NULLMODEM" "$SHIM"; do
    [ -e "$tool" ] || { echo "missing $tool (set BUILD_DIR or BLOCKXFER/NULLMODEM/SHIM)" >&2; exit 2; }
done
for tool in sx rx sb rb; do
    command -v $tool >/dev/null || { echo "lrzsz ($tool) is not installed" >&2; exit 2; }
done

if [ "$mode" = short ]; then
    pairs="sk-rc sy-ry sy-rg sy-lrb lsb-ry lsx-rx"
    cells="flip-d-1e-4 dup-1e-4 noise-mid cut-d cut-r kill-tx kill-rx cancel"
    seeds=${seeds:-1}
else
    pairs=$ALL_PAIRINGS
    cells=$ALL_CELLS
    seeds=${seeds:-3}
    output=${output:-$here/fault_matrix_results.md}
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/faults.XXXXXX")
KEPT_DIR=$(mktemp -d "${TMPDIR:-/tmp}/fault_matrix_defects.XXXXXX")
export KEPT_DIR
# Every cable and run, by its id, when the matrix ends or is interrupted.
keep_pids_in "$work/pids"
trap 'end_kept_pids; rm -rf "$work"; rmdir "$KEPT_DIR" 2>/dev/null' EXIT
records=$work/records.tsv
started=$(date +%s)
# In the background, so that a signal to the matrix ends it at once rather
# than after the last run; the runs get SIGINT back (lrzsz is cancelled
# with it).
for pair in $pairs; do
    for cell in $cells; do
        for seed in $(seq 1 "$seeds"); do
            echo "$pair $cell $seed $work/run-$pair-$cell-$seed"
        done
    done
done | xargs -P "$jobs" -L 1 env --default-signal=INT bash "$0" --run >"$records" &
keep_pid $!
wait $!
drop_pid $!
elapsed=$(($(date +%s) - started))

# --- the table -------------------------------------------------------------------
summary() {
    awk -F'\t' -v elapsed="$elapsed" -v size="$SIZE" '
    function add_code(key, code) { codes[key] = codes[key] (codes[key] == "" ? "" : " ") code }
    {
        key = $2
        order[key] = order[key] ? order[key] : ++n
        runs[key]++
        if ($10 == "ok") ok[key]++
        else if ($10 == "fail") {
            failed[key]++
            c = "tx " $4 "/rx " $6
            tally[key, c]++
            if (!((key, c) in seen)) { seen[key, c] = 1; list[key] = list[key] SUBSEP c }
            t = ($4 != 0 && $4 != "killed") ? $5 : $7
            ms[key] = ms[key] " " t
        }
        else if ($10 == "undetected") undetected[key]++
        else defect[key]++
        if ($9 > 0) { resent[key]++; if ($10 == "ok") recovered[key]++ }
        if ($9 > 0 && ($1 ~ /^(sx-rx|sk-rc|sy-ry|sy-rg)$/)) {
            ours_resent++
            if ($10 == "ok") ours_recovered++
            else if ($4 == -200) ours_timeout++
        }
        total++; if ($10 == "DEFECT") defects++; if ($10 == "undetected") undet++
        if ($10 == "ok") oks++; if ($10 == "fail") fails++
    }
    function median(list,   a, m, i, j, t) {
        m = split(list, a, " ")
        for (i = 1; i <= m; ++i) for (j = i + 1; j <= m; ++j) if (a[j] + 0 < a[i] + 0) { t = a[i]; a[i] = a[j]; a[j] = t }
        return m ? sprintf("%.1f", a[int((m + 1) / 2)] / 1000) : "-"
    }
    END {
        printf "%d runs in %d s (file %d bytes): %d ok, %d clean failures, %d undetected by the protocol, %d defects.\n\n", total, elapsed, size, oks, fails, undet, defects
        print "| Cell | Runs | Identical + success | Clean failure | Codes (tx/rx: count) | Median s to fail | Undetected | Defect | Runs with resends (recovered) |"
        print "|---|---|---|---|---|---|---|---|---|"
        for (k in order) sorted[order[k]] = k
        for (i = 1; i <= n; ++i) {
            k = sorted[i]
            s = ""
            m = split(list[k], cs, SUBSEP)
            for (j = 2; j <= m; ++j) s = s (s == "" ? "" : ", ") cs[j] ": " tally[k, cs[j]]
            printf "| %s | %d | %d | %d | %s | %s | %d | %d | %d (%d) |\n", k, runs[k], ok[k], failed[k], s == "" ? "-" : s, median(ms[k]), undetected[k], defect[k], resent[k], recovered[k]
        }
        printf "\nblockxfer to blockxfer, runs in which the receiver sent at least one resend character: %d; of them %d still succeeded, %d ended with the sender at -200.\n", ours_resent, ours_recovered, ours_timeout
    }' "$records"
}

# Identical-and-success runs per cell and pairing ("u": undetected, "D": defect).
grid() {
    awk -F'\t' -v pairs="$pairs" '
    {
        if (!($2 in row)) { row[$2] = ++rows; cellname[rows] = $2 }
        runs[$2, $1]++
        if ($10 == "ok") ok[$2, $1]++
        if ($10 == "undetected") und[$2, $1]++
        if ($10 == "DEFECT") bad[$2, $1]++
    }
    END {
        n = split(pairs, p, " ")
        line = "| Cell |"; rule = "|---|"
        for (i = 1; i <= n; ++i) { line = line " " p[i] " |"; rule = rule "---|" }
        print line; print rule
        for (r = 1; r <= rows; ++r) {
            c = cellname[r]; line = "| " c " |"
            for (i = 1; i <= n; ++i) {
                e = (ok[c, p[i]] + 0) "/" (runs[c, p[i]] + 0)
                if (und[c, p[i]]) e = e " " und[c, p[i]] "u"
                if (bad[c, p[i]]) e = e " " bad[c, p[i]] "D"
                line = line " " e " |"
            }
            print line
        }
    }' "$records"
}

table=$(summary)
table="$table

Identical-and-success runs of each pairing (sender-receiver; l = lrzsz):

$(grid)"
echo "$table"
bad=$(awk -F'\t' '$10 == "DEFECT" || $10 == "undetected"' "$records")
if [ -n "$bad" ]; then
    echo
    echo "Runs that are not ok or a clean failure (pairing, cell, seed, tx code, ms, rx code, ms, file, resends, verdict, reason):"
    echo "$bad"
fi
if [ -n "$output" ]; then
    {
        echo "# Fault matrix"
        echo
        echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(uname -sr), $(nproc) cores; bench/fault_matrix.sh --$mode, $seeds seed(s), $jobs runs in parallel."
        echo "Pairings (sender-receiver; l = lrzsz): $pairs."
        echo "Count-based faults run unthrottled with 2 ms latency, timed ones at 115200 baud; d = sender to receiver only, b = both directions; drops and duplicates in both."
        echo
        echo "$table"
        if [ -n "$bad" ]; then
            echo
            echo "Runs that are not ok or a clean failure:"
            echo
            echo '```'
            echo "$bad"
            echo '```'
        fi
    } >"$output"
    echo "table written to $output"
fi
[ -n "$output" ] && cp "$records" "${output%.md}.tsv"
status=0
awk -F'\t' '$10 == "DEFECT" { found = 1 } END { exit !found }' "$records" && status=1
rm -rf "$work"
if [ -n "$(ls -A "$KEPT_DIR")" ]; then
    echo "run folders of the defects (trace, outputs, files) kept in $KEPT_DIR"
else
    rmdir "$KEPT_DIR"
fi
exit $status
