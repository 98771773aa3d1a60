#!/usr/bin/python3
"""A scriptable FTP server for the tests, built on pyftpdlib.

Serves one account on 127.0.0.1 (or ::1), prints "PORT <n>" once it listens and can inject
one fault at a time (see README.md in this folder). It stops by itself when its standard
input reaches end of file (the test that started it went away) or after --max-seconds.
"""

import argparse
import errno
import os
import socket
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import ActiveDTP, FTPHandler, _FileReadWriteError
from pyftpdlib.ioloop import Connector
from pyftpdlib.servers import FTPServer

FAULTS = (
    "drop-data-start",
    "drop-data-middle",
    "drop-data-before-end",
    "drop-first-transfer",
    "drop-control",
    "silent",
    "huge-line",
    "endless-reply",
    "not-ftp",
    "pasv-other-address",
    "active-from-other",
    "big-listing-entry",
    "stor-452",
    "short-data",
    "active-425",
    "trickle",
    "undated-entry",
    "many-entries",
)

TRICKLE_SECONDS = 0.2
HUGE_LINE_BYTES = 1024 * 1024
ENDLESS_REPLY_BYTES = 8 * 1024 * 1024
BIG_SIZE = 5000000000
MANY_ENTRIES = 70000
MONTHS = ("Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec")


class Settings:
    fault = ""
    fault_arg = ""
    command_log = None
    retr_count = 0  # over the whole server, for drop-first-transfer


def log_command(line):
    if Settings.command_log is None:
        return
    with open(Settings.command_log, "a", encoding="utf-8", errors="replace") as log:
        log.write(line + "\n")


class DroppingProducer:
    """Hands out the first `limit` bytes of a file, then breaks the data connection (or, with
    `end`, ends it as if the file were complete)."""

    def __init__(self, handler, fd, limit, reset, end=False):
        self.handler = handler
        self.fd = fd
        self.left = limit
        self.reset = reset
        self.end = end

    def more(self):
        if self.left <= 0 and self.end:
            return b""
        if self.left <= 0:
            channel = self.handler.data_channel
            if self.reset and channel is not None and channel.socket is not None:
                channel.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                          b"\x01\x00\x00\x00\x00\x00\x00\x00")
            # The DTP handler closes the data socket and answers 426.
            raise _FileReadWriteError(errno.ECONNABORTED, "dropped")
        data = self.fd.read(min(65536, self.left))
        self.left -= len(data)
        return data


class OtherSourceActiveDTP(ActiveDTP):
    """Active-mode data connection made from another local address than the control's."""

    def __init__(self, ip, port, cmd_channel):
        Connector.__init__(self, ioloop=cmd_channel.ioloop)
        self.cmd_channel = cmd_channel
        self.log = cmd_channel.log
        self.log_exception = cmd_channel.log_exception
        self._idler = self.ioloop.call_later(self.timeout, self.handle_timeout,
                                             _errback=self.handle_error)
        if ip.count('.') == 3:
            self._cmd = "PORT"
            self._normalized_addr = "%s:%s" % (ip, port)
        else:
            self._cmd = "EPRT"
            self._normalized_addr = "[%s]:%s" % (ip, port)
        source = Settings.fault_arg or ("127.0.0.2" if ":" not in ip else "::")
        try:
            self.connect_af_unspecified((ip, port), (source, 0))
        except (socket.gaierror, socket.error):
            self.handle_close()


class TestFS(AbstractedFS):
    def _patched(self, path, st):
        if Settings.fault == "big-listing-entry" and \
                os.path.basename(path) == (Settings.fault_arg or "big.bin"):
            fields = list(st[:10])
            fields[6] = BIG_SIZE
            return os.stat_result(fields)
        return st

    def stat(self, path):
        return self._patched(path, AbstractedFS.stat(self, path))

    def lstat(self, path):
        return self._patched(path, AbstractedFS.lstat(self, path))

    def getsize(self, path):
        return self.stat(path).st_size

    def format_mlsx(self, basedir, listing, perms, facts, ignore_err=True):
        if Settings.fault == "many-entries":
            for n in range(MANY_ENTRIES):
                yield ("type=file;size=1;modify=20240102030405; f%d\r\n" % n).encode()
            return
        undated = (Settings.fault_arg or "undated.txt").encode()
        for line in AbstractedFS.format_mlsx(self, basedir, listing, perms, facts, ignore_err):
            if Settings.fault == "undated-entry" and line.rstrip(b"\r\n").endswith(b" " + undated):
                line = b";".join(f for f in line.split(b";") if not f.startswith(b"modify="))
            yield line


class DosListFS(TestFS):
    """LIST answers in the DOS format ("12-08-26  10:15AM       <DIR>          sub")."""

    def format_list(self, basedir, listing, ignore_err=True):
        for name in listing:
            try:
                st = self.lstat(os.path.join(basedir, name))
            except OSError:
                if ignore_err:
                    continue
                raise
            when = time.strftime("%m-%d-%y  %I:%M%p", time.gmtime(st.st_mtime))
            if os.path.isdir(os.path.join(basedir, name)):
                line = "%s       <DIR>          %s\r\n" % (when, name)
            else:
                line = "%s %20d %s\r\n" % (when, st.st_size, name)
            yield line.encode("utf-8", self.cmd_channel.unicode_errors)


class TestHandler(FTPHandler):
    use_gmt_times = True
    silent = False

    def handle(self):
        fault = Settings.fault
        if fault == "not-ftp":
            self.push("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<html></html>\r\n")
            self.close_when_done()
            return
        if fault == "silent" and not Settings.fault_arg:
            self.silent = True
            return
        if fault == "huge-line" and not Settings.fault_arg:
            self.push("220 " + "x" * HUGE_LINE_BYTES + "\r\n")
            return
        if fault == "endless-reply" and not Settings.fault_arg:
            self.push_endless()
            return
        if fault == "trickle" and not Settings.fault_arg:
            self.silent = True
            self.push_trickle()
            return
        FTPHandler.handle(self)

    def push_trickle(self):
        """One byte of a never-ending multi-line reply now and then, each in time for any
        per-read timeout."""
        if not self.connected:
            return
        self.push("220-a\r\n"[self.__dict__.setdefault("trickled", 0) % 7])
        self.trickled += 1
        self.ioloop.call_later(TRICKLE_SECONDS, self.push_trickle, _errback=self.handle_error)

    def push_endless(self):
        line = "220-" + "y" * 1000 + "\r\n"
        self.push(line * (ENDLESS_REPLY_BYTES // len(line)))

    def respond(self, resp, logfun=None):
        if Settings.fault == "stor-452" and resp.startswith("226 ") and \
                getattr(self, "last_cmd", "") in ("STOR", "APPE", "STOU"):
            resp = "452 Insufficient storage space."
        if Settings.fault == "pasv-other-address" and resp.startswith("227 "):
            start = resp.find("(")
            parts = resp[start + 1:resp.find(")")].split(",")
            resp = "227 Entering passive mode (10,1,2,3,%s,%s)." % (parts[4], parts[5])
        announced = self.__dict__.pop("announced_size", None)
        if announced is not None and resp[:4] in ("150 ", "125 "):
            resp = "%s (%d bytes)." % (resp.rstrip("."), announced)
        if logfun is None:
            FTPHandler.respond(self, resp)
        else:
            FTPHandler.respond(self, resp, logfun)

    def pre_process_command(self, line, cmd, arg):
        log_command(line)
        if self.silent:
            return
        self.last_cmd = cmd
        fault, fault_arg = Settings.fault, Settings.fault_arg.upper()
        if fault == "trickle" and cmd == fault_arg:
            self.silent = True
            self.push_trickle()
            return
        if fault == "active-425" and cmd in ("PORT", "EPRT"):
            self.active_425 = True
            self.respond("200 Active data connection established.")
            return
        if fault == "active-425" and cmd in ("PASV", "EPSV"):
            self.active_425 = False
        if fault == "active-425" and cmd in ("RETR", "STOR", "LIST", "MLSD", "NLST") and \
                getattr(self, "active_425", False):
            # Both replies in one segment: the final one is there before any wait begins.
            self.push("150 File status okay. About to open data connection.\r\n"
                      "425 Can't open data connection.\r\n")
            return
        if fault == "silent" and cmd == fault_arg:
            self.silent = True
            return
        if fault == "huge-line" and cmd == fault_arg:
            self.push("500 " + "x" * HUGE_LINE_BYTES + "\r\n")
            return
        if fault == "endless-reply" and cmd == fault_arg:
            self.push_endless()
            return
        if fault == "pasv-other-address" and cmd == "EPSV":
            self.respond("500 Command \"EPSV\" not understood.")
            return
        if cmd == "RETR" and self.authenticated:
            Settings.retr_count += 1
            if fault == "drop-control":
                self.close()
                return
            if self.drop_retr(arg):
                return
        FTPHandler.pre_process_command(self, line, cmd, arg)

    def drop_retr(self, arg):
        """Starts a RETR that breaks part-way; False when no drop fault applies."""
        fault = Settings.fault
        if fault == "drop-first-transfer" and Settings.retr_count != 1:
            return False
        if fault not in ("drop-data-start", "drop-data-middle", "drop-data-before-end",
                         "drop-first-transfer", "short-data"):
            return False
        path = self.fs.ftp2fs(arg)
        try:
            size = os.path.getsize(path)
            fd = open(path, "rb")
        except OSError as err:
            self.respond("550 %s." % err.strerror)
            return True
        if fault == "drop-data-start":
            limit = 0
        elif fault == "drop-data-before-end":
            limit = max(size - 1, 0)
        else:
            limit = size // 2
        if fault == "short-data" and Settings.fault_arg != "unannounced":
            self.announced_size = size
        producer = DroppingProducer(self, fd, limit, Settings.fault_arg == "rst",
                                    end=fault == "short-data")
        # sendfile() would bypass the producer and send the whole file.
        self.use_sendfile = False
        self.push_dtp_data(producer, isproducer=True, file=fd, cmd="RETR")
        return True


def stop_when_stdin_closes():
    try:
        while sys.stdin.buffer.read(4096):
            pass
    except OSError:
        pass
    os._exit(0)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="kelvoran")
    parser.add_argument("--password", default="Kv7q2Rm9Xa")
    parser.add_argument("--host", default="127.0.0.1", choices=("127.0.0.1", "::1"))
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--no-mlsd", action="store_true")
    parser.add_argument("--dos-list", action="store_true")
    parser.add_argument("--fault", default="", choices=("",) + FAULTS)
    parser.add_argument("--fault-arg", default="")
    parser.add_argument("--command-log")
    parser.add_argument("--max-seconds", type=float, default=900)
    args = parser.parse_args()

    Settings.fault = args.fault
    Settings.fault_arg = args.fault_arg
    Settings.command_log = args.command_log

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, os.path.abspath(args.root), perm="elradfmwMT")
    handler = TestHandler
    handler.authorizer = authorizer
    handler.banner = "Test FTP server ready."
    handler.abstracted_fs = DosListFS if args.dos_list else TestFS
    handler.permit_foreign_addresses = False
    handler.auth_failed_timeout = 0.1  # answer a refused login at once
    if args.no_mlsd:
        handler.proto_cmds = {k: v for k, v in FTPHandler.proto_cmds.items()
                              if k not in ("MLSD", "MLST")}
    if args.fault == "active-from-other":
        handler.active_dtp = OtherSourceActiveDTP

    server = FTPServer((args.host, args.port), handler)
    server.max_cons = 64
    print("PORT %d" % server.socket.getsockname()[1], flush=True)

    threading.Thread(target=stop_when_stdin_closes, daemon=True).start()
    deadline = time.monotonic() + args.max_seconds
    threading.Thread(target=lambda: (time.sleep(max(deadline - time.monotonic(), 0)),
                                     os._exit(0)), daemon=True).start()
    import logging
    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
    server.serve_forever(timeout=0.5)


if __name__ == "__main__":
    main()
