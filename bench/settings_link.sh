#!/usr/bin/env bash
# What the Settings page's values do to the figure, on a slow link with delay.
# Two network namespaces, a server's and a client's, are joined by a TUN device
# in each; delay_line moves the packets between them at a rate and with a
# one-way delay (a token bucket per direction). vsftpd serves in the one; in
# the other the whole Testing page (bench_download's page client, the Settings
# page's fields set as a user leaves them) and a reference client that is not
# Zephyn (Python's ftplib, given the same socket options, timed from TYPE I to
# the 226) fetch the same file alternately.
#
# For each case it prints
#   settings <label>: zephyn N B/s, reference N B/s, theory N B/s, zephyn/reference R, zephyn/theory Q
# where the theory is min(G, W / (RTT + S x 8 / rate)): G the link's goodput
# for the segment size, W the window in whole segments of payload, RTT the two
# one-way delays, S one full segment with its IP and TCP headers (timestamps
# on). Then the MSS, TTL and DF bit of Zephyn's SYNs as the line saw them.
#
# The TUN devices have loopback-range addresses (127.1.0.1 and 127.1.0.2);
# each namespace drops the 127.0.0.0/8 local route and keeps 127.0.0.1 on lo.
# Needs root; touches no interface of the host. SETTINGS_SECONDS (15) sizes
# each file to that many seconds of the theory; SETTINGS_ROUNDS (1) runs that
# many rounds and takes the medians.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/link_bench.sh
link_bench_start settings_link.sh "network namespaces and TUN devices"
seconds=${SETTINGS_SECONDS:-15}
rounds=${SETTINGS_ROUNDS:-1}

srv=zephyn-srv-$$
cli=zephyn-cli-$$
server_ip=127.1.0.1
client_ip=127.1.0.2
work=$(mktemp -d)
vsftpd_pid=""
line_pid=""
cleanup() {
    [[ -n "$vsftpd_pid" ]] && kill "$vsftpd_pid" 2>/dev/null || true
    [[ -n "$line_pid" ]] && kill "$line_pid" 2>/dev/null || true
    ip netns del "$srv" 2>/dev/null || true
    ip netns del "$cli" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

for ns in "$srv" "$cli"; do
    ip netns add "$ns"
    ip netns exec "$ns" ip link set lo up
    ip netns exec "$ns" ip tuntap add dev zline mode tun
    ip netns exec "$ns" sysctl -qw net.ipv4.conf.all.route_localnet=1 \
        net.ipv4.conf.zline.route_localnet=1
    ip netns exec "$ns" ip route del 127.0.0.0/8 dev lo table local
done
ip netns exec "$srv" ip addr add "$server_ip" peer "$client_ip" dev zline
ip netns exec "$cli" ip addr add "$client_ip" peer "$server_ip" dev zline
ip netns exec "$srv" ip link set zline mtu 1500 up
ip netns exec "$cli" ip link set zline mtu 1500 up

mkdir -p "$work/served"
chmod 755 "$work" "$work/served"
vsftpd_conf "$work/vsftpd.conf" "$server_ip" "$work/served" </dev/null
ip netns exec "$srv" /usr/sbin/vsftpd "$work/vsftpd.conf" &
vsftpd_pid=$!


# label, page MTU, MSS, RWIN, TTL, path-MTU discovery
cases=("small-2144-mtu576 576 536 2144 128 0"
       "win98-8760 1500 1460 8760 128 1"
       "large-64240 1500 1460 64240 128 1"
       "large-64240-mtu576 576 1460 64240 128 1")
# rate in bit/s, one-way delay in ms, label
links=("1000000 100 1Mbit-100ms"
       "56000 150 56kbit-150ms")
summary=()
syns=()
for link in "${links[@]}"; do
    read -r bps delay linklabel <<<"$link"
    build/bin/delay_line "$srv" zline "$cli" zline "$bps" "$delay" >"$work/line.log" &
    line_pid=$!
    for _ in $(seq 50); do grep -q ready "$work/line.log" 2>/dev/null && break; sleep 0.1; done
    for _ in $(seq 50); do
        ip netns exec "$cli" bash -c "</dev/tcp/$server_ip/21" 2>/dev/null && break
        sleep 0.2
    done
    kill -USR1 "$line_pid" # the probe's packets are not counted
    for spec in "${cases[@]}"; do
        read -r label mtu mss rwin ttl pmtu <<<"$spec"
        seg=$(( mss < mtu - 40 ? mss : mtu - 40 ))
        theory=$(awk -v r="$bps" -v d="$delay" -v seg="$seg" -v w="$rwin" 'BEGIN {
            p = seg - 12; s = p + 52
            g = r / 8 * p / s
            win = int(w / p) * p
            t = win / (2 * d / 1000 + s * 8 / r)
            printf "%.0f", (t < g ? t : g) }')
        size=$(awk -v t="$theory" -v s="$seconds" 'BEGIN {printf "%.0f", t * s}')
        head -c "$size" /dev/urandom >"$work/served/test.bin"
        chmod 644 "$work/served/test.bin"
        : >"$work/zephyn"; : >"$work/reference"
        for round in $(seq "$rounds"); do
            # The line counts Zephyn's packets only.
            kill -USR1 "$line_pid"; sleep 0.2
            before=$(wc -l <"$work/line.log")
            out=$(ip netns exec "$cli" env BENCH_FILE="test.bin:$size" BENCH_HOST="$server_ip" \
                  BENCH_SETTINGS="mtu=$mtu mss=$mss rwin=$rwin ttl=$ttl pmtu=$pmtu" \
                  build/bin/bench_download --client page 21 "$work/local.bin" 2>/dev/null || true)
            rm -rf "$work/local.bin" "$work/local.bin.page-home"
            figure=$(sed -n 's/.*Average Throughput: \([0-9]*\) bps.*/\1/p' <<<"$out")
            [[ -n "$figure" ]] || { echo "the page gave no figure for $label at $linklabel" >&2; exit 1; }
            echo "$figure" >>"$work/zephyn"
            kill -USR1 "$line_pid"; sleep 0.2
            # Zephyn's own SYNs: its connection to the server, and its answer
            # to the server's PORT connection (SYN+ACK).
            tail -n +"$((before + 1))" "$work/line.log" >"$work/run.log"
            control=$(awk '/^syn b>a/ && !/ ack/ {print "mss " $7 " ttl " $9 " df " $11; exit}' "$work/run.log")
            data=$(awk '/^syn b>a/ && / ack/ {print "mss " $8 " ttl " $10 " df " $12; exit}' "$work/run.log")
            # Packets after the SYNs from those two connections' ports only.
            after=$(awk '/^syn b>a/ {split($3, a, ":"); own[a[2]] = 1}
                /^after-syn b>a/ {for (i = 9; i <= NF; i++) {split($i, f, ":");
                    sub("from-", "", f[1]); if (f[1] in own) {n += f[2]; df += f[3]}}}
                END {print df + 0 " of " n + 0}' "$work/run.log")
            read -r bytes ref < <(ip netns exec "$cli" /usr/bin/python3 bench/reference_ftp.py \
                "$server_ip" 21 test.bin "$seg" "$rwin" "$ttl" "$pmtu")
            [[ "$bytes" == "$size" ]] || { echo "the reference got $bytes of $size bytes" >&2; exit 1; }
            echo "$ref" >>"$work/reference"
            echo "  $linklabel $label round $round: zephyn $figure B/s, reference $ref B/s," \
                 "theory $theory B/s" >&2
            echo "    readout: $(sed -n 's/^readout: //p' <<<"$out")" >&2
        done
        z=$(median <"$work/zephyn")
        r=$(median <"$work/reference")
        summary+=("$(awk -v l="$label $linklabel" -v z="$z" -v r="$r" -v t="$theory" 'BEGIN {
            printf "settings %s: zephyn %.0f B/s, reference %.0f B/s, theory %.0f B/s, zephyn/reference %.2f, zephyn/theory %.2f",
                   l, z, r, t, z / r, z / t}')")
        syns+=("syn $label $linklabel (page: mss $seg ttl $ttl df $pmtu): control $control; data SYN+ACK $data; after the SYNs $after of its packets with DF")
    done
    kill "$line_pid" 2>/dev/null || true
    wait "$line_pid" 2>/dev/null || true
    line_pid=""
done
printf '%s\n' "${summary[@]}" "${syns[@]}"
