#!/usr/bin/python3
"""Checks the demo payload generator and the demo FTP server.

Generates the payload into temporary folders and inspects the archives, then starts server.py
on a free loopback port and downloads both archives with ftplib in passive and active mode.
Every server started here is stopped by its pid, also when a check fails.
"""

import ftplib
import io
import os
import re
import select
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
PYTHON = "/usr/bin/python3"
# The folder with the built Windows programs, from "--windows DIR" on the command line.
WINDOWS_DIR = None
USER, PASSWORD = "kelvoran", "Kv7q2Rm9Xa"

# Written out here rather than taken from make_payload.py, so a slip there shows up.
EXPECTED_COMPONENTS = {
    "WinSysPath/" + name for name in (
        "COMDLG32.OCX", "htsecurit.ocx", "msado26.tlb", "mscomct2.ocx", "MSCOMCTL.OCX",
        "MSDBRPT.DLL", "MSDBRPT.SRG", "MSDBRPTR.DEP", "MSDBRPTR.DLL", "MSFLXGRD.OCX",
        "MSMASK32.OCX", "MSO.DLL", "MSPPT.OLB", "msstdfmt.dll", "RICHED32.DLL", "RICHTX32.OCX",
        "TABCTL32.OCX", "THREED32.OCX", "VB5DB.DLL")
} | {
    "WinSysPathSysFile/" + name for name in (
        "MSJET35.DLL", "MSJINT35.DLL", "MSJTER35.DLL", "MSRD2X35.DLL", "msvbvm60.DLL",
        "VB6STKIT.DLL")
} | {"MSDAOPath/DAO350.DLL"}


def make_payload(out, *extra):
    subprocess.run([PYTHON, str(HERE / "make_payload.py"), str(out), *extra], check=True,
                   stdout=subprocess.DEVNULL, timeout=300)


def all_files(root):
    return {p.relative_to(root).as_posix(): p.read_bytes()
            for p in sorted(root.rglob("*")) if p.is_file()}


class DemoServer:
    """server.py as a child process on a free port; stop() ends it by its pid."""

    def __init__(self, root, *extra):
        self.pidfile = Path(root).parent / f"server-{os.getpid()}-{time.monotonic_ns()}.pid"
        self.process = subprocess.Popen(
            [PYTHON, str(HERE / "server.py"), "--port", "0", "--root", str(root), "--quiet",
             "--pidfile", str(self.pidfile), *extra],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.port = self._wait_until_ready()

    def _wait_until_ready(self, timeout=15):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            ready, _, _ = select.select([self.process.stdout], [], [], 0.2)
            if ready:
                line = self.process.stdout.readline()
                match = re.search(r"ready on 127\.0\.0\.1:(\d+)", line)
                if match:
                    return int(match.group(1))
            if self.process.poll() is not None:
                break
        self.stop()
        raise AssertionError(f"server did not start: {self.process.stderr.read()}")

    def login(self, passive):
        ftp = ftplib.FTP()
        ftp.connect("127.0.0.1", self.port, timeout=20)
        ftp.login(USER, PASSWORD)
        ftp.set_pasv(passive)
        return ftp

    def stop(self):
        if self.process.poll() is None:
            os.kill(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.kill(self.process.pid, signal.SIGKILL)
                self.process.wait()
        for stream in (self.process.stdout, self.process.stderr):
            stream.close()
        return self.process.returncode


def retrieve(ftp, path):
    data = io.BytesIO()
    ftp.retrbinary(f"RETR {path}", data.write)
    return data.getvalue()


class PayloadContents(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.temp = tempfile.TemporaryDirectory(prefix="demo-payload-")
        cls.out = Path(cls.temp.name) / "payload"
        make_payload(cls.out)

    @classmethod
    def tearDownClass(cls):
        cls.temp.cleanup()

    def test_database_package_holds_batch_file_and_connector_at_top_level(self):
        with zipfile.ZipFile(self.out / "mysql.zip") as archive:
            self.assertIsNone(archive.testzip())
            self.assertEqual(sorted(archive.namelist()), ["mysql.bat", "mysql_conector.msi"])
            batch = archive.read("mysql.bat")
            self.assertGreater(len(archive.read("mysql_conector.msi")), 0)
        self.assertEqual(batch.count(b"\n"), batch.count(b"\r\n"), "bare LF in mysql.bat")
        self.assertTrue(batch.endswith(b"\r\n"))
        self.assertIn(b"C:\\Quorimetra\\Install", batch)
        self.assertIn(b"conector_instalado.txt", batch)

    def test_product_archive_has_program_at_top_level_and_hundreds_of_files(self):
        with zipfile.ZipFile(self.out / "kelvoranx.zip") as archive:
            self.assertIsNone(archive.testzip())
            infos = archive.infolist()
            names = [info.filename for info in infos]
            program = archive.read("kelvoranX.exe")
        files = [info for info in infos if not info.is_dir()]
        self.assertGreaterEqual(len(files), 200)
        self.assertLessEqual(len(files), 1000)
        total = sum(info.file_size for info in files)
        self.assertTrue(1 << 20 <= total <= 32 << 20, f"{total} bytes in all")
        for folder in ("Relatorios/", "Imagens/", "Dados/"):
            self.assertIn(folder, names)
            self.assertTrue(any(n.startswith(folder) and n != folder for n in names), folder)
        for name in names:
            self.assertFalse(name.startswith("/") or "\\" in name or ":" in name, name)
            self.assertNotIn("..", name.split("/"), name)
        methods = {info.compress_type for info in files}
        self.assertEqual(methods, {zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED})
        self.assertEqual(len(names), len({n.lower() for n in names}), "names clash by case")
        self.assertIsInstance(program, bytes)
        self.check_pe32(program)

    def check_pe32(self, image):
        self.assertEqual(image[:2], b"MZ")
        pe = struct.unpack_from("<I", image, 0x3C)[0]
        self.assertEqual(image[pe:pe + 4], b"PE\0\0")
        machine, sections = struct.unpack_from("<HH", image, pe + 4)
        self.assertEqual((machine, sections), (0x014C, 1))
        optional = pe + 24
        magic = struct.unpack_from("<H", image, optional)[0]
        entry = struct.unpack_from("<I", image, optional + 16)[0]
        subsystem = struct.unpack_from("<H", image, optional + 68)[0]
        self.assertEqual((magic, subsystem), (0x010B, 2))
        section = optional + struct.unpack_from("<H", image, pe + 20)[0]
        vsize, rva, raw_size, raw_pointer = struct.unpack_from("<IIII", image, section + 8)
        self.assertTrue(rva <= entry < rva + vsize, "entry point outside the code section")
        self.assertLessEqual(raw_pointer + raw_size, len(image))
        code = image[raw_pointer + entry - rva:][:3]
        self.assertEqual(code, b"\x31\xc0\xc3")

    def test_component_tree_holds_the_26_components(self):
        dlls = self.out / "Dlls"
        found = {p.relative_to(dlls).as_posix() for p in dlls.rglob("*") if p.is_file()}
        self.assertEqual(found, EXPECTED_COMPONENTS)
        for name in found:
            self.assertGreater((dlls / name).stat().st_size, 0, name)

    def test_two_runs_give_identical_bytes(self):
        again = Path(self.temp.name) / "again"
        make_payload(again)
        self.assertEqual(all_files(again), all_files(self.out))

    def test_big_option_adds_that_many_mebibytes(self):
        big = Path(self.temp.name) / "big"
        make_payload(big, "--big-mib", "3")
        with zipfile.ZipFile(big / "kelvoranx.zip") as archive:
            self.assertEqual(archive.getinfo("Dados/Volume.bin").file_size, 3 << 20)
            self.assertIsNone(archive.testzip())
        grown = (big / "kelvoranx.zip").stat().st_size - (self.out / "kelvoranx.zip").stat().st_size
        self.assertGreaterEqual(grown, 3 << 20)


class ServerTransfers(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.temp = tempfile.TemporaryDirectory(prefix="demo-server-")
        cls.root = Path(cls.temp.name) / "payload"
        make_payload(cls.root)
        cls.product = (cls.root / "kelvoranx.zip").read_bytes()
        cls.package = (cls.root / "mysql.zip").read_bytes()
        cls.server = DemoServer(cls.root)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        cls.temp.cleanup()

    def test_both_archives_download_in_passive_and_active_mode(self):
        for passive in (True, False):
            with self.subTest(passive=passive):
                ftp = self.server.login(passive)
                try:
                    self.assertEqual(ftp.pwd(), "/")
                    self.assertEqual(retrieve(ftp, "/kelvoranx.zip"), self.product)
                    self.assertEqual(retrieve(ftp, "mysql.zip"), self.package)
                    self.assertEqual(ftp.size("/kelvoranx.zip"), len(self.product))
                finally:
                    ftp.quit()

    def test_listing_shows_both_archives_at_the_root(self):
        ftp = self.server.login(False)
        try:
            names = ftp.nlst()
        finally:
            ftp.quit()
        self.assertIn("kelvoranx.zip", names)
        self.assertIn("mysql.zip", names)

    def test_account_is_read_only(self):
        ftp = self.server.login(True)
        try:
            with self.assertRaises(ftplib.error_perm):
                ftp.storbinary("STOR novo.zip", io.BytesIO(b"x"))
            with self.assertRaises(ftplib.error_perm):
                ftp.delete("mysql.zip")
            with self.assertRaises(ftplib.error_perm):
                ftp.mkd("pasta")
        finally:
            ftp.quit()
        self.assertEqual((self.root / "mysql.zip").read_bytes(), self.package)
        self.assertFalse((self.root / "novo.zip").exists())

    def test_wrong_password_is_refused(self):
        ftp = ftplib.FTP()
        ftp.connect("127.0.0.1", self.server.port, timeout=20)
        try:
            with self.assertRaisesRegex(ftplib.error_perm, "^530"):
                ftp.login(USER, PASSWORD + "x")
        finally:
            ftp.close()

    def test_second_server_on_a_taken_port_fails_clearly(self):
        result = subprocess.run(
            [PYTHON, str(HERE / "server.py"), "--port", str(self.server.port), "--root",
             str(self.root)], capture_output=True, text=True, timeout=30)
        self.assertEqual(result.returncode, 2)
        self.assertIn("already in use", result.stderr)


class ServerLifecycle(unittest.TestCase):
    def setUp(self):
        self.temp = tempfile.TemporaryDirectory(prefix="demo-life-")
        self.root = Path(self.temp.name) / "payload"
        make_payload(self.root)

    def tearDown(self):
        self.temp.cleanup()

    def test_paced_download_is_slowed_and_intact(self):
        server = DemoServer(self.root, "--transfer-seconds", "1.5")
        try:
            for passive in (False, True):
                ftp = server.login(passive)
                try:
                    started = time.monotonic()
                    data = retrieve(ftp, "mysql.zip")
                    elapsed = time.monotonic() - started
                finally:
                    ftp.quit()
                self.assertEqual(data, (self.root / "mysql.zip").read_bytes())
                self.assertGreater(elapsed, 1.0)
                self.assertLess(elapsed, 10.0)
        finally:
            server.stop()

    def test_terminate_stops_the_server_and_removes_its_pidfile(self):
        server = DemoServer(self.root)
        pid = int(server.pidfile.read_text())
        self.assertEqual(pid, server.process.pid)
        self.assertEqual(server.stop(), 0)
        self.assertFalse(server.pidfile.exists())

    def test_missing_archive_is_reported_before_listening(self):
        (self.root / "mysql.zip").unlink()
        result = subprocess.run([PYTHON, str(HERE / "server.py"), "--port", "0", "--root",
                                 str(self.root)], capture_output=True, text=True, timeout=30)
        self.assertEqual(result.returncode, 2)
        self.assertIn("mysql.zip", result.stderr)


class BuiltWindowsPrograms(unittest.TestCase):
    """With the programs built by MinGW-w64: a 64-bit product, and libraries that register."""

    @classmethod
    def setUpClass(cls):
        if WINDOWS_DIR is None:
            raise unittest.SkipTest("MinGW-w64 is not installed: no Windows programs were built")
        cls.tmp = tempfile.TemporaryDirectory()
        cls.out = Path(cls.tmp.name) / "payload"
        make_payload(cls.out, "--windows", str(WINDOWS_DIR))

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def coff(self, image):
        """(machine, characteristics, optional-header magic, subsystem) of a PE image."""
        self.assertEqual(image[:2], b"MZ")
        pe = struct.unpack_from("<I", image, 0x3C)[0]
        self.assertEqual(image[pe:pe + 4], b"PE\0\0")
        machine, characteristics = struct.unpack_from("<H16xH", image, pe + 4)
        magic, subsystem = struct.unpack_from("<H66xH", image, pe + 24)
        return machine, characteristics & 0x2000, magic, subsystem

    def test_product_is_a_64_bit_windows_program(self):
        with zipfile.ZipFile(self.out / "kelvoranx.zip") as archive:
            program = archive.read("kelvoranX.exe")
        self.assertEqual(self.coff(program), (0x8664, 0, 0x020B, 2))
        self.assertIn("/smoke".encode("utf-16-le"), program)

    def test_registered_components_are_libraries_that_register_and_data_stays_data(self):
        dlls = self.out / "Dlls"
        for name in EXPECTED_COMPONENTS:
            image = (dlls / name).read_bytes()
            if name.endswith((".SRG", ".DEP")):
                self.assertNotEqual(image[:2], b"MZ", name)
                continue
            self.assertEqual(self.coff(image), (0x8664, 0x2000, 0x020B, 3), name)
            for export in (b"DllRegisterServer\0", b"DllUnregisterServer\0"):
                self.assertIn(export, image, name)


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "--windows":
        WINDOWS_DIR = Path(sys.argv[2])
        del sys.argv[1:3]
    unittest.main(verbosity=2)
