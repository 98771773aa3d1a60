#!/usr/bin/python3
"""Starts vsftpd for the tests: one virtual user (a password file read through pam_pwdfile),
jailed in --root, writable, active and passive mode on 127.0.0.1.

Needs root (the PAM service file goes to /etc/pam.d under a unique name). Prints
"PORT <n>" once vsftpd accepts connections, stops vsftpd and removes the PAM file when it is
terminated, when its standard input reaches end of file, or after --max-seconds.
"""

import argparse
import warnings

with warnings.catch_warnings():
    warnings.simplefilter("ignore", DeprecationWarning)
    import crypt
import os
import signal
import socket
import subprocess
import sys
import threading
import time

VSFTPD = "/usr/sbin/vsftpd"


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def listening(port):
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.settimeout(0.2)
        try:
            s.connect(("127.0.0.1", port))
            return True
        except OSError:
            return False


def write_config(path, args, port, pam_service):
    pasv = free_port()
    lines = [
        "listen=YES", "listen_ipv6=NO", "listen_address=127.0.0.1",
        "listen_port=%d" % port, "background=NO",
        "anonymous_enable=NO", "local_enable=YES", "write_enable=YES",
        "guest_enable=YES", "guest_username=root", "virtual_use_local_privs=YES",
        "local_root=%s" % os.path.abspath(args.root),
        "chroot_local_user=YES", "allow_writeable_chroot=YES",
        "pam_service_name=%s" % pam_service,
        "pasv_enable=YES", "pasv_address=127.0.0.1", "pasv_addr_resolve=NO",
        # A small passive range around one free port keeps the ports on loopback only.
        "pasv_min_port=%d" % max(pasv - 20, 1025), "pasv_max_port=%d" % min(pasv + 20, 65535),
        "port_enable=YES", "connect_from_port_20=NO",
        "seccomp_sandbox=NO", "isolate_network=NO", "isolate=NO",
        "secure_chroot_dir=%s" % os.path.join(args.work, "empty"),
        "use_localtime=NO", "local_umask=022", "file_open_mode=0644",
        "xferlog_enable=NO", "vsftpd_log_file=%s" % os.path.join(args.work, "vsftpd.log"),
        "userlist_enable=NO", "tcp_wrappers=NO", "hide_ids=NO",
        "max_clients=32", "idle_session_timeout=300", "data_connection_timeout=60",
    ]
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="kelvoran")
    parser.add_argument("--password", default="Kv7q2Rm9Xa")
    parser.add_argument("--work", required=True, help="folder for the config and logs")
    parser.add_argument("--max-seconds", type=float, default=900)
    args = parser.parse_args()

    os.makedirs(os.path.join(args.work, "empty"), exist_ok=True)
    pwdfile = os.path.join(args.work, "passwd")
    with open(pwdfile, "w") as f:
        f.write("%s:%s\n" % (args.user, crypt.crypt(args.password, crypt.mksalt(crypt.METHOD_MD5))))
    pam_service = "kelvoran-test-%d" % os.getpid()
    pam_file = os.path.join("/etc/pam.d", pam_service)
    with open(pam_file, "w") as f:
        f.write("auth required pam_pwdfile.so pwdfile=%s\n" % pwdfile)
        f.write("account required pam_permit.so\n")

    child = None
    stopping = threading.Event()

    def cleanup(*_):
        stopping.set()
        if child is not None and child.poll() is None:
            child.terminate()
            try:
                child.wait(2)
            except subprocess.TimeoutExpired:
                child.kill()
        try:
            os.unlink(pam_file)
        except OSError:
            pass
        os._exit(0)

    signal.signal(signal.SIGTERM, cleanup)
    signal.signal(signal.SIGINT, cleanup)
    try:
        for _ in range(10):
            port = free_port()
            config = os.path.join(args.work, "vsftpd.conf")
            write_config(config, args, port, pam_service)
            child = subprocess.Popen([VSFTPD, config], stdin=subprocess.DEVNULL)
            deadline = time.monotonic() + 5
            while time.monotonic() < deadline and child.poll() is None and not listening(port):
                time.sleep(0.05)
            if child.poll() is None and listening(port):
                break
            if child.poll() is None:
                child.kill()
            child.wait()
            child = None
        if child is None:
            print("vsftpd did not start", file=sys.stderr)
            cleanup()
        print("PORT %d" % port, flush=True)

        def watch_stdin():
            try:
                while sys.stdin.buffer.read(4096):
                    pass
            except OSError:
                pass
            os.kill(os.getpid(), signal.SIGTERM)

        threading.Thread(target=watch_stdin, daemon=True).start()
        end = time.monotonic() + args.max_seconds
        while child.poll() is None and time.monotonic() < end:
            time.sleep(0.2)
    finally:
        cleanup()


if __name__ == "__main__":
    main()
