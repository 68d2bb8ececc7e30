#!/usr/bin/python3
"""The reference client of make bench-settings: Python's ftplib, in active
mode (PORT) as the Testing page, with the same socket options on every
connection, timed the same way: from TYPE I to the 226 after the file.

    reference_ftp.py HOST PORT FILE MSS RWIN TTL PMTU

MSS, RWIN and TTL are 0 for Linux's own; PMTU is 1 (DF) or 0. Prints the
bytes received and the figure in bytes a second.
"""
import ftplib
import socket
import sys
import time

IP_MTU_DISCOVER = 10
IP_PMTUDISC_DONT, IP_PMTUDISC_DO = 0, 2
TCP_WINDOW_CLAMP = 10


class Options:
    def __init__(self, mss, rwin, ttl, pmtu):
        self.mss, self.rwin, self.ttl, self.pmtu = mss, rwin, ttl, pmtu

    def created(self, s):
        if self.mss:
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_MAXSEG, self.mss)
        if self.rwin:
            s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 2 * self.rwin)
            s.setsockopt(socket.IPPROTO_TCP, TCP_WINDOW_CLAMP, self.rwin)
        if self.ttl:
            s.setsockopt(socket.IPPROTO_IP, socket.IP_TTL, self.ttl)
        s.setsockopt(socket.IPPROTO_IP, IP_MTU_DISCOVER,
                     IP_PMTUDISC_DO if self.pmtu else IP_PMTUDISC_DONT)

    def receiving(self, s):
        if self.rwin:
            s.setsockopt(socket.IPPROTO_TCP, TCP_WINDOW_CLAMP, self.rwin)

    def connected(self, s):
        if self.rwin:
            s.setsockopt(socket.IPPROTO_TCP, TCP_WINDOW_CLAMP, self.rwin)
        s.setsockopt(socket.IPPROTO_IP, IP_MTU_DISCOVER,
                     IP_PMTUDISC_DO if self.pmtu else IP_PMTUDISC_DONT)


class TunedFTP(ftplib.FTP):
    def __init__(self, options):
        super().__init__(timeout=120)
        self.options = options

    def connect(self, host, port):
        self.host, self.port = host, port
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.options.created(s)
        s.settimeout(self.timeout)
        s.connect((host, port))
        self.options.connected(s)
        self.sock = s
        self.af = s.family
        self.file = s.makefile('r', encoding=self.encoding)
        self.welcome = self.getresp()
        return self.welcome

    def makeport(self):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.options.created(s)
        s.bind((self.sock.getsockname()[0], 0))
        s.listen(1)
        host, port = s.getsockname()[:2]
        self.sendport(host, port)
        s.settimeout(self.timeout)
        return s

    def ntransfercmd(self, cmd, rest=None):
        conn, size = super().ntransfercmd(cmd, rest)
        self.options.connected(conn)
        return conn, size


def main():
    host, port, name = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    mss, rwin, ttl, pmtu = (int(v) for v in sys.argv[4:8])
    ftp = TunedFTP(Options(mss, rwin, ttl, pmtu))
    ftp.set_pasv(False)
    ftp.connect(host, port)
    ftp.login('anonymous', 'bench@example.test')
    received = 0
    start = time.monotonic()
    ftp.voidcmd('TYPE I')
    # As Zephyn does: the clamp again at the first 64 receives, since Linux
    # rescales it as the first segments arrive.
    with ftp.transfercmd('RETR ' + name) as conn:
        for n in range(1 << 62):
            data = conn.recv(8192)
            if not data:
                break
            received += len(data)
            if n < 64:
                ftp.options.receiving(conn)
    ftp.voidresp()
    seconds = time.monotonic() - start
    ftp.quit()
    print(received, round(received / seconds))


if __name__ == '__main__':
    main()
