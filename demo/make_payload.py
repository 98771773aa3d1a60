#!/usr/bin/python3
"""Builds the demo distribution payload.

Into the output folder (default demo/payload/) it writes:
  kelvoranx.zip  the product archive: kelvoranX.exe and the product's folders at its top level
  mysql.zip      the database package: mysql.bat and mysql_conector.msi at its top level
  Dlls/          the 26 shared components, in the sub-folders the installer copies from

With --windows DIR (the folder where the build put the demo's Windows programs), kelvoranX.exe
is the demo product built from windows/kelvoranX.c, and the 24 registered components are copies
of the library built from windows/component.c, which registers itself under its own file name;
the two data files stay data. With --components-32 as well, the components are the library's
32-bit build (component32.dll), as the product's real components are. Without --windows, both
are stand-ins that Wine cannot run.

Every byte is generated here from fixed seeds and fixed timestamps, so two runs give identical
files. Each file is written under a temporary name and renamed, so a server reading the folder
never sees half an archive.
"""

import argparse
import os
import random
import struct
import subprocess
import sys
import zipfile
from pathlib import Path

# Fixed timestamp of every archive entry, for reproducible archives.
ENTRY_TIME = (2024, 3, 1, 12, 0, 0)
# MS-DOS attributes in the high-order-free form a Windows-made archive carries.
ATTR_ARCHIVE = 0x20
ATTR_DIRECTORY = 0x10

STAND_IN_NOTE = (
    "Arquivo substituto gerado para a demonstração do instalador kelvoran X; "
    "não é o programa real."
)

# The shared components the installer deploys, as (sub-folder of Dlls, file name).
# MSDBRPT.SRG and MSDBRPTR.DEP are data files, never registered.
DATA_COMPONENTS = {"MSDBRPT.SRG", "MSDBRPTR.DEP"}
COMPONENTS = [
    ("WinSysPath", "COMDLG32.OCX"),
    ("WinSysPath", "htsecurit.ocx"),
    ("WinSysPath", "msado26.tlb"),
    ("WinSysPath", "mscomct2.ocx"),
    ("WinSysPath", "MSCOMCTL.OCX"),
    ("WinSysPath", "MSDBRPT.DLL"),
    ("WinSysPath", "MSDBRPT.SRG"),
    ("WinSysPath", "MSDBRPTR.DEP"),
    ("WinSysPath", "MSDBRPTR.DLL"),
    ("WinSysPath", "MSFLXGRD.OCX"),
    ("WinSysPath", "MSMASK32.OCX"),
    ("WinSysPath", "MSO.DLL"),
    ("WinSysPath", "MSPPT.OLB"),
    ("WinSysPath", "msstdfmt.dll"),
    ("WinSysPath", "RICHED32.DLL"),
    ("WinSysPath", "RICHTX32.OCX"),
    ("WinSysPath", "TABCTL32.OCX"),
    ("WinSysPath", "THREED32.OCX"),
    ("WinSysPath", "VB5DB.DLL"),
    ("WinSysPathSysFile", "MSJET35.DLL"),
    ("WinSysPathSysFile", "MSJINT35.DLL"),
    ("WinSysPathSysFile", "MSJTER35.DLL"),
    ("WinSysPathSysFile", "MSRD2X35.DLL"),
    ("WinSysPathSysFile", "msvbvm60.DLL"),
    ("WinSysPathSysFile", "VB6STKIT.DLL"),
    ("MSDAOPath", "DAO350.DLL"),
]

MYSQL_BAT = "\r\n".join([
    "@echo off",
    "rem Set-up of the demo database connector: records where and when it ran.",
    "rem The connector package beside this file is a demo stand-in and is not installed.",
    "set DESTINO=C:\\Quorimetra\\Install",
    'if not exist "%DESTINO%" mkdir "%DESTINO%"',
    'if not exist "%~dp0mysql_conector.msi" (',
    "  echo Conector de demonstracao: mysql_conector.msi nao encontrado em %~dp0",
    "  exit /b 1",
    ")",
    '> "%DESTINO%\\conector_instalado.txt" echo Conector de demonstracao instalado a partir de'
    " %~dp0 em %DATE% %TIME%",
    "echo Conector de banco de dados de demonstracao instalado.",
    "exit /b 0",
    "",
])


def minimal_pe32(note: str) -> bytes:
    """A complete PE32 GUI program of one section whose entry point returns 0 at once.

    It imports nothing; the text after the code only tells a reader what the file is.
    """
    file_align, section_align, image_base = 0x200, 0x1000, 0x400000
    pe_offset = 0x80

    # DOS header and a 16-bit stub that prints a line and exits, for anyone who runs it in DOS.
    dos_message = b"kelvoranX demo stand-in: needs Windows.\r\r\n$"
    dos = bytearray(pe_offset)
    struct.pack_into("<2sHHHHHHHHHHHHH", dos, 0, b"MZ", 0x90, 3, 0, 4, 0, 0xFFFF, 0, 0xB8, 0,
                     0, 0, 0x40, 0)
    struct.pack_into("<I", dos, 0x3C, pe_offset)
    stub = bytes([0x0E, 0x1F, 0xBA, 0x0E, 0x00, 0xB4, 0x09, 0xCD, 0x21, 0xB8, 0x01, 0x4C, 0xCD,
                  0x21]) + dos_message
    dos[0x40:0x40 + len(stub)] = stub

    code = bytes([0x31, 0xC0, 0xC3])  # xor eax, eax; ret
    text = code + b"\0" + note.encode("utf-8") + b"\0"
    raw_size = (len(text) + file_align - 1) // file_align * file_align
    virtual_size = len(text)
    text_rva = section_align
    image_size = text_rva + (virtual_size + section_align - 1) // section_align * section_align

    coff = struct.pack("<4sHHIIIHH", b"PE\0\0", 0x014C, 1, 0x65E1C400, 0, 0, 0xE0,
                       0x0103)  # relocations stripped, executable, 32-bit
    optional = struct.pack(
        "<HBBIIIIIIIIIHHHHHHIIIIHHIIIIII",
        0x010B, 1, 0,             # PE32, linker version
        raw_size, 0, 0,           # code, initialised and uninitialised data sizes
        text_rva, text_rva, 0,    # entry point, base of code, base of data
        image_base, section_align, file_align,
        4, 0, 1, 0, 4, 0,         # OS, image and subsystem versions
        0, image_size, file_align, 0,
        2, 0,                     # Windows GUI subsystem, no DLL characteristics
        0x100000, 0x1000, 0x100000, 0x1000,
        0, 16)                    # loader flags, number of data directories
    optional += bytes(16 * 8)     # all data directories empty: no imports, no resources
    section = struct.pack("<8sIIIIIIHHI", b".text", virtual_size, text_rva, raw_size,
                          file_align, 0, 0, 0, 0, 0x60000020)  # code, execute, read

    headers = bytes(dos) + coff + optional + section
    assert len(headers) <= file_align
    return headers + bytes(file_align - len(headers)) + text + bytes(raw_size - len(text))


def bmp_image(width: int, height: int, seed: int) -> bytes:
    """A 24-bit BMP with a gradient that differs per seed."""
    row_size = (width * 3 + 3) // 4 * 4
    pixels = bytearray()
    for y in range(height):
        row = bytearray()
        for x in range(width):
            row += bytes(((x * 255 // max(width - 1, 1) + seed * 37) % 256,
                          (y * 255 // max(height - 1, 1) + seed * 11) % 256,
                          ((x + y) * 3 + seed * 53) % 256))
        pixels += row + bytes(row_size - len(row))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + bytes(pixels)


def report_text(rng: random.Random, number: int, title: str) -> bytes:
    lines = [f"KELVORAN X - {title}", f"Relatório nº {number:04d}", "",
             "Código   Descrição                         Quantidade      Valor (R$)"]
    for row in range(rng.randint(20, 400)):
        amount = rng.randint(1, 9999)
        lines.append(f"{row + 1:06d}   Item de demonstração {rng.randint(1, 999):03d}"
                     f"{'':12}{amount:10d}  {amount * rng.randint(100, 99999) / 100:14.2f}")
    lines.append("")
    lines.append(STAND_IN_NOTE)
    return ("\r\n".join(lines) + "\r\n").encode("utf-8")


def csv_table(rng: random.Random, number: int) -> bytes:
    lines = ["id;nome;cidade;saldo"]
    cities = ["Belo Horizonte", "Curitiba", "Recife", "Porto Alegre", "Manaus", "Goiânia"]
    for row in range(rng.randint(50, 600)):
        lines.append(f"{row + 1};Cliente {number:02d}-{row + 1:04d};{rng.choice(cities)};"
                     f"{rng.randint(-50000, 500000) / 100:.2f}")
    return ("\r\n".join(lines) + "\r\n").encode("utf-8")


def help_page(title: str, paragraphs: int) -> bytes:
    body = "\n".join(f"<p>Seção {n + 1} da ajuda de demonstração: {title}.</p>"
                     for n in range(paragraphs))
    return (f"<!DOCTYPE html>\n<html lang=\"pt-BR\"><head><meta charset=\"utf-8\">"
            f"<title>{title}</title></head>\n<body><h1>{title}</h1>\n{body}\n"
            f"<p>{STAND_IN_NOTE}</p></body></html>\n").encode("utf-8")


def product_entries(program: bytes):
    """Yields (name, content, compress) for the product archive, in archive order.

    Folder entries end with "/" and have no content. Already-dense data is stored, the rest
    deflated, as an archiving tool would do.
    """
    rng = random.Random(20240301)
    yield "kelvoranX.exe", program, True
    yield "LEIAME.txt", ("kelvoran X (demonstração)\r\n\r\n" + STAND_IN_NOTE +
                         "\r\nAs pastas Relatorios, Imagens, Dados e Ajuda contêm dados de"
                         " exemplo.\r\n").encode("utf-8"), True
    yield "kelvoran.ini", ("[Geral]\r\nIdioma=pt-BR\r\nPastaDados=Dados\r\n"
                           "[BancoDeDados]\r\nServidor=localhost\r\nPorta=3306\r\n"
                           "Base=kelvoran\r\n").encode("ascii"), True

    yield "Relatorios/", None, True
    for n in range(1, 121):
        yield f"Relatorios/REL{n:04d}.rpt", report_text(rng, n, "Relatório mensal"), True
    yield "Relatorios/Balanço Anual.rpt", report_text(rng, 999, "Balanço anual"), True
    yield "Relatorios/Modelos/", None, True
    for n in range(1, 21):
        yield f"Relatorios/Modelos/modelo_{n:02d}.txt", report_text(rng, n, "Modelo"), True

    yield "Imagens/", None, True
    for n in range(1, 41):
        side = 32 + (n * 7) % 97
        yield f"Imagens/foto{n:03d}.bmp", bmp_image(side, side + n % 5, n), True
    yield "Imagens/Icones/", None, True
    for n in range(1, 21):
        yield f"Imagens/Icones/icone{n:02d}.bmp", bmp_image(16, 16, 100 + n), True

    yield "Dados/", None, True
    for n in range(1, 101):
        yield f"Dados/tabela{n:03d}.dat", rng.randbytes(rng.randint(1024, 40 * 1024)), False
    yield "Dados/Tabelas/", None, True
    for n in range(1, 31):
        yield f"Dados/Tabelas/clientes{n:02d}.csv", csv_table(rng, n), True
    yield "Dados/Exportacao/", None, True  # an empty folder the product writes into

    yield "Ajuda/", None, True
    for n, title in enumerate(["Introdução", "Cadastros", "Relatórios", "Backup", "Suporte"]):
        yield f"Ajuda/{title}.htm", help_page(title, 10 + n * 7), True
    for n in range(1, 6):
        yield f"Ajuda/topico{n:02d}.htm", help_page(f"Tópico {n}", 20), True


def entry_info(name: str, compress: bool) -> zipfile.ZipInfo:
    info = zipfile.ZipInfo(name, date_time=ENTRY_TIME)
    info.create_system = 0  # made on Windows: the attributes below are MS-DOS ones
    info.external_attr = ATTR_DIRECTORY if name.endswith("/") else ATTR_ARCHIVE
    info.compress_type = zipfile.ZIP_DEFLATED if compress else zipfile.ZIP_STORED
    return info


def write_atomically(path: Path, fill) -> None:
    """Calls fill(file) on a temporary file beside path, then renames it over path."""
    temporary = path.with_name("." + path.name + ".tmp")
    try:
        with open(temporary, "wb") as out:
            fill(out)
        os.replace(temporary, path)
    finally:
        temporary.unlink(missing_ok=True)


def write_product(path: Path, big_mib: int, program: bytes) -> int:
    count = 0

    def fill(out):
        nonlocal count
        with zipfile.ZipFile(out, "w") as archive:
            for name, content, compress in product_entries(program):
                archive.writestr(entry_info(name, compress), content or b"")
                count += 1
            if big_mib > 0:
                # Incompressible bulk so a transfer lasts long enough to watch its progress.
                rng = random.Random(big_mib)
                with archive.open(entry_info("Dados/Volume.bin", False), "w",
                                  force_zip64=True) as bulk:
                    for _ in range(big_mib):
                        bulk.write(rng.randbytes(1 << 20))
                count += 1

    write_atomically(path, fill)
    return count


def write_database_package(path: Path) -> None:
    rng = random.Random(3306)
    msi = ("mysql_conector.msi: " + STAND_IN_NOTE + "\r\n").encode("utf-8")
    msi += rng.randbytes(192 * 1024)

    def fill(out):
        with zipfile.ZipFile(out, "w") as archive:
            archive.writestr(entry_info("mysql.bat", True), MYSQL_BAT.encode("ascii"))
            archive.writestr(entry_info("mysql_conector.msi", True), msi)

    write_atomically(path, fill)


def component_stand_in(name: str, index: int) -> bytes:
    header = (f"Componente de demonstração {name}\r\n{STAND_IN_NOTE}\r\n").encode("utf-8")
    return header + random.Random(name).randbytes(2048 + index * 512)


def write_components(dlls: Path, library: bytes | None) -> None:
    for index, (folder, name) in enumerate(COMPONENTS):
        target = dlls / folder
        target.mkdir(parents=True, exist_ok=True)
        content = component_stand_in(name, index)
        if library is not None and name not in DATA_COMPONENTS:
            content = library
        write_atomically(target / name, lambda out, data=content: out.write(data))


def main(argv=None) -> int:
    default_out = Path(__file__).resolve().parent / "payload"
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out", nargs="?", type=Path, default=default_out,
                        help=f"output folder (default {default_out})")
    parser.add_argument("--big-mib", type=int, default=0, metavar="N",
                        help="add N MiB of incompressible data to the product archive")
    parser.add_argument("--windows", type=Path, metavar="DIR",
                        help="folder with the built kelvoranX.exe and component.dll")
    parser.add_argument("--components-32", action="store_true",
                        help="components from the 32-bit component32.dll of that folder")
    parser.add_argument("--sign", type=Path, metavar="KEY",
                        default=os.environ.get("KELVORAN_SIGNING_KEY") or None,
                        help="sign both archives with this PEM private key (default: "
                             "$KELVORAN_SIGNING_KEY), each signature beside its archive as .sig")
    args = parser.parse_args(argv)
    if args.components_32 and args.windows is None:
        parser.error("--components-32 needs --windows")
    if args.big_mib < 0:
        parser.error("--big-mib must not be negative")

    program, library = None, None
    if args.windows is not None:
        try:
            program = (args.windows / "kelvoranX.exe").read_bytes()
            library_name = "component32.dll" if args.components_32 else "component.dll"
            library = (args.windows / library_name).read_bytes()
        except OSError as error:
            parser.error(f"--windows {args.windows}: {error.strerror}: {error.filename}")
    else:
        print("no built Windows programs given (--windows): kelvoranX.exe and the components "
              "are stand-ins that Wine cannot run", file=sys.stderr)
        program = minimal_pe32("kelvoranX.exe: " + STAND_IN_NOTE)

    args.out.mkdir(parents=True, exist_ok=True)
    entries = write_product(args.out / "kelvoranx.zip", args.big_mib, program)
    write_database_package(args.out / "mysql.zip")
    write_components(args.out / "Dlls", library)
    for archive in ("kelvoranx.zip", "mysql.zip"):
        signature = args.out / (archive + ".sig")
        signature.unlink(missing_ok=True)
        if args.sign is not None:
            # What a maker runs to publish a release; the installer checks it with the public key.
            subprocess.run(["openssl", "dgst", "-sha256", "-sign", str(args.sign), "-out",
                            str(signature), str(args.out / archive)], check=True)
    size = (args.out / "kelvoranx.zip").stat().st_size
    kind = "built" if library is not None else "stand-in"
    signed = f", signed with {args.sign}" if args.sign is not None else ", unsigned"
    print(f"payload in {args.out}: kelvoranx.zip ({entries} entries, {size} bytes), "
          f"mysql.zip, Dlls ({len(COMPONENTS)} components, {kind} programs){signed}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
