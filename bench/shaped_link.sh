#!/usr/bin/env bash
# The figure Zephyn records, on the links it was made for: a 56 kbit/s modem,
# a 1 Mbit/s and a 10 Mbit/s line. For each rate, in a network namespace of its
# own whose loopback is shaped by a token bucket (tc tbf), vsftpd serves a file
# of about SHAPED_SECONDS (30) seconds of transfer; the whole Testing page
# (bench_download's page client, every question answered) and curl fetch it
# alternately, three times each. The last lines compare the medians with each
# other and with the rate's TCP goodput for MTU 1500 with timestamps
# (rate / 8 x 1448 / 1514). Needs root; touches no interface of the host.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/link_bench.sh
link_bench_start shaped_link.sh "network namespaces and tc"
seconds=${SHAPED_SECONDS:-30}
rounds=${SHAPED_ROUNDS:-3}

ns=zephyn-shaped-$$
work=$(mktemp -d)
vsftpd_pid=""
cleanup() {
    if [[ -n "$vsftpd_pid" ]]; then kill "$vsftpd_pid" 2>/dev/null || true; fi
    ip netns del "$ns" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

ip netns add "$ns"
ip netns exec "$ns" ip link set lo mtu 1500 up
mkdir -p "$work/served"
chmod 755 "$work" "$work/served"


# rate in bit/s, tc rate, burst, latency, label
rates=("56000 56kbit 1600 400ms 56 kbit/s"
       "1000000 1mbit 4000 100ms 1 Mbit/s"
       "10000000 10mbit 16000 50ms 10 Mbit/s")
summary=()
for spec in "${rates[@]}"; do
    read -r bps tcrate burst latency label <<<"$spec"
    ip netns exec "$ns" tc qdisc replace dev lo root tbf rate "$tcrate" burst "$burst" latency "$latency"
    goodput=$(awk -v r="$bps" 'BEGIN {printf "%.0f", r / 8 * 1448 / 1514}')
    size=$(awk -v g="$goodput" -v s="$seconds" 'BEGIN {printf "%.0f", g * s}')
    head -c "$size" /dev/urandom >"$work/served/test.bin"
    chmod 644 "$work/served/test.bin"
    vsftpd_conf "$work/vsftpd.conf" 127.0.0.1 "$work/served" <<CONF
pasv_address=127.0.0.1
async_abor_enable=YES
CONF
    ip netns exec "$ns" /usr/sbin/vsftpd "$work/vsftpd.conf" &
    vsftpd_pid=$!
    for _ in $(seq 50); do
        ip netns exec "$ns" bash -c '</dev/tcp/127.0.0.1/21' 2>/dev/null && break
        sleep 0.1
    done
    : >"$work/zephyn" ; : >"$work/curl" ; : >"$work/curl-first"
    for round in $(seq "$rounds"); do
        figure=$(ip netns exec "$ns" env BENCH_FILE="test.bin:$size" \
                     build/bin/bench_download --client page 21 "$work/local.bin" 2>/dev/null |
                 sed -n 's/.*Average Throughput: \([0-9]*\) bps.*/\1/p')
        [[ -n "$figure" ]] || { echo "the page gave no figure at $label" >&2; exit 1; }
        rm -rf "$work/local.bin" "$work/local.bin.page-home"
        echo "$figure" >>"$work/zephyn"
        read -r speed bytes total first < <(ip netns exec "$ns" curl -s -o /dev/null \
            -w '%{speed_download} %{size_download} %{time_total} %{time_starttransfer}\n' \
            "ftp://127.0.0.1/test.bin")
        echo "$speed" >>"$work/curl"
        awk -v b="$bytes" -v t="$total" -v f="$first" 'BEGIN {printf "%.0f\n", b / (t - f)}' \
            >>"$work/curl-first"
        echo "  $label round $round: zephyn $figure B/s, curl $speed B/s" >&2
    done
    kill "$vsftpd_pid" 2>/dev/null || true
    wait "$vsftpd_pid" 2>/dev/null || true
    vsftpd_pid=""
    z=$(median <"$work/zephyn")
    c=$(median <"$work/curl")
    cf=$(median <"$work/curl-first")
    summary+=("$(awk -v l="$label" -v z="$z" -v c="$cf" -v g="$goodput" 'BEGIN {
        printf "shaped link %s: zephyn %.0f B/s, curl %.0f B/s, goodput %.0f B/s, zephyn/curl %.2f, zephyn/goodput %.2f",
               l, z, c, g, z / c, z / g}')")
    echo "  ($label: curl's own speed_download median $c B/s)" >&2
done
printf '%s\n' "${summary[@]}"
