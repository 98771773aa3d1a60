#!/usr/bin/python3
"""The demo distribution server: a read-only FTP server on 127.0.0.1.

It serves the payload folder (see make_payload.py) to one account, with "/kelvoranx.zip" at the
root and "mysql.zip" in the login folder, which is the same folder. Active mode (PORT/EPRT back
to 127.0.0.1) and passive mode both work. Downloads can be slowed down so that the installer's
progress bars can be watched.
"""

import argparse
import errno
import logging
import os
import signal
import socket
import sys
import time
from pathlib import Path

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer

HOST = "127.0.0.1"
DEFAULT_PORT = 2121
DEFAULT_USER = "kelvoran"
DEFAULT_PASSWORD = "Kv7q2Rm9Xa"
REQUIRED_FILES = ("kelvoranx.zip", "mysql.zip")


class PacedDTPHandler(DTPHandler):
    """A data channel that sends at a steady rate instead of in bursts.

    The rate is either fixed (bytes_per_second) or chosen per transfer so that the file takes
    about seconds_per_transfer to send. Sends are cut into small pieces and the channel is put
    to sleep whenever it runs ahead of the schedule, so the client sees a smooth trickle.
    """

    bytes_per_second = 0
    seconds_per_transfer = 0.0

    def __init__(self, sock, cmd_channel):
        super().__init__(sock, cmd_channel)
        self._rate = 0.0
        self._started = None
        self._sent = 0
        self._wakeup = None

    def use_sendfile(self):
        return False

    def _choose_rate(self):
        rate = float(self.bytes_per_second)
        if self.seconds_per_transfer > 0 and self.file_obj is not None:
            try:
                size = os.fstat(self.file_obj.fileno()).st_size
                rate = max(size / self.seconds_per_transfer, 256.0)
            except (OSError, AttributeError, ValueError):
                pass
        return rate

    def send(self, data):
        if self._started is None:
            self._rate = self._choose_rate()
            self._started = time.monotonic()
        if self._rate <= 0:
            return super().send(data)
        # About twenty pieces a second, never less than one FTP client read.
        piece = max(int(self._rate / 20), 255)
        sent = super().send(data[:piece])
        self._sent += sent
        ahead = self._started + self._sent / self._rate - time.monotonic()
        if ahead > 0 and not self._closed:
            self._sleep(ahead)
        return sent

    def _sleep(self, seconds):
        def wake():
            self._wakeup = None
            if not self._closed:
                self.add_channel(events=self.ioloop.WRITE)

        self.del_channel()
        self._cancel_wakeup()
        self._wakeup = self.ioloop.call_later(seconds, wake, _errback=self.handle_error)

    def _cancel_wakeup(self):
        if self._wakeup is not None and not self._wakeup.cancelled:
            self._wakeup.cancel()
        self._wakeup = None

    def close(self):
        self._cancel_wakeup()
        super().close()


def parse_args(argv):
    default_root = Path(__file__).resolve().parent / "payload"
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=DEFAULT_PORT,
                        help=f"port on {HOST} (default {DEFAULT_PORT}; 0 picks a free one)")
    parser.add_argument("--root", type=Path, default=default_root,
                        help=f"payload folder to serve (default {default_root})")
    parser.add_argument("--user", default=DEFAULT_USER, help="account name")
    parser.add_argument("--password", default=DEFAULT_PASSWORD, help="account password")
    parser.add_argument("--throttle", type=float, default=0, metavar="KBPS",
                        help="send downloads at this many KiB per second")
    parser.add_argument("--transfer-seconds", type=float, default=0, metavar="S",
                        help="pace each download so that it lasts about S seconds")
    parser.add_argument("--pidfile", type=Path, help="write the server's pid here")
    parser.add_argument("--quiet", action="store_true", help="log only warnings and errors")
    parser.add_argument("--log-commands", action="store_true",
                        help="log every command received and every reply sent")
    args = parser.parse_args(argv)
    if not 0 <= args.port <= 65535:
        parser.error("--port must be between 0 and 65535")
    if args.throttle < 0 or args.transfer_seconds < 0:
        parser.error("--throttle and --transfer-seconds must not be negative")
    return args


def make_handler(args):
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, str(args.root.resolve()), perm="elr",
                        msg_login="Bem-vindo ao servidor de distribuicao de demonstracao.",
                        msg_quit="Ate logo.")

    class Handler(FTPHandler):
        pass

    Handler.authorizer = authorizer
    Handler.banner = "kelvoran demo distribution server ready."
    Handler.permit_foreign_addresses = False  # data connections only to the client's address
    Handler.permit_privileged_ports = False
    if args.throttle > 0 or args.transfer_seconds > 0:
        class Paced(PacedDTPHandler):
            bytes_per_second = args.throttle * 1024
            seconds_per_transfer = args.transfer_seconds

        Handler.dtp_handler = Paced
    return Handler


def write_pidfile(path):
    temporary = path.with_name("." + path.name + ".tmp")
    temporary.write_text(f"{os.getpid()}\n")
    os.replace(temporary, path)


def remove_pidfile(path):
    try:
        if path.read_text().strip() == str(os.getpid()):
            path.unlink()
    except OSError:
        pass


def main(argv=None):
    args = parse_args(argv)
    missing = [name for name in REQUIRED_FILES if not (args.root / name).is_file()]
    if missing:
        print(f"server.py: {args.root} lacks {', '.join(missing)}; run demo/make_payload.py "
              f"{args.root} first", file=sys.stderr)
        return 2

    level = logging.DEBUG if args.log_commands else logging.INFO
    logging.basicConfig(level=logging.WARNING if args.quiet else level,
                        format="[%(asctime)s] %(message)s", stream=sys.stderr)
    # Our own socket, so that a taken port is reported with its real cause.
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    try:
        listener.bind((HOST, args.port))
    except OSError as error:
        listener.close()
        if error.errno == errno.EADDRINUSE:
            print(f"server.py: port {args.port} on {HOST} is already in use", file=sys.stderr)
        else:
            print(f"server.py: cannot listen on {HOST}:{args.port}: {error.strerror}",
                  file=sys.stderr)
        return 2

    server = FTPServer(listener, make_handler(args))
    port = listener.getsockname()[1]
    pacing = ""
    if args.transfer_seconds > 0:
        pacing = f", each download paced to about {args.transfer_seconds:g} s"
    elif args.throttle > 0:
        pacing = f", downloads at {args.throttle:g} KiB/s"
    # SIGTERM ends the loop the same way Ctrl-C does: open connections are closed cleanly.
    # It may arrive at any point from here on, so everything below is inside the try.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        if args.pidfile:
            write_pidfile(args.pidfile)
        print(f"demo FTP server ready on {HOST}:{port} (user {args.user}, "
              f"root {args.root.resolve()}{pacing})", flush=True)
        server.serve_forever(handle_exit=True)
    except SystemExit:
        pass
    finally:
        server.close_all()
        if args.pidfile:
            remove_pidfile(args.pidfile)
    return 0


if __name__ == "__main__":
    sys.exit(main())
