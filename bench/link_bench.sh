# What the benchmarks on network namespaces share (sourced): root, their
# packages and the build, the median of a column, and vsftpd's configuration.

# link_bench_start SCRIPT WHAT: refuses to run without root, which WHAT needs.
link_bench_start() {
    if [[ $(id -u) -ne 0 ]]; then
        echo "$1 needs root ($2)" >&2
        exit 1
    fi
    scripts/install-deps.sh --shaped
    make build >/dev/null
}

median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

# vsftpd_conf FILE ADDRESS ROOT: anonymous downloads of ROOT on ADDRESS:21,
# in the foreground; further lines come from standard input.
vsftpd_conf() {
    mkdir -p /var/run/vsftpd/empty
    {
        cat <<CONF
listen=YES
listen_ipv6=NO
listen_address=$2
listen_port=21
background=NO
anonymous_enable=YES
anon_root=$3
no_anon_password=NO
local_enable=NO
write_enable=NO
pasv_enable=YES
port_enable=YES
connect_from_port_20=NO
secure_chroot_dir=/var/run/vsftpd/empty
seccomp_sandbox=NO
xferlog_enable=NO
CONF
        cat
    } >"$1"
}
