#!/usr/bin/env python3
"""Writes src/base/code_page_tables.cpp: the upper halves (0x80..0xFF) of the
single-byte Windows, DOS and ISO code pages, as the C library's converter
(glibc iconv) reads them one byte at a time; 0 marks a byte it refuses.
Run on Linux: python3 src/base/gen/code_page_tables.py > src/base/code_page_tables.cpp
"""
import subprocess
import sys

# Windows code page number -> iconv name.
CODE_PAGES = [
    (437, "IBM437"), (850, "IBM850"), (852, "IBM852"), (855, "IBM855"), (860, "IBM860"),
    (861, "IBM861"), (862, "IBM862"), (865, "IBM865"), (866, "IBM866"), (869, "IBM869"),
    (874, "WINDOWS-874"), (1250, "WINDOWS-1250"), (1251, "WINDOWS-1251"), (1252, "WINDOWS-1252"),
    (1253, "WINDOWS-1253"), (1254, "WINDOWS-1254"), (1255, "WINDOWS-1255"), (1256, "WINDOWS-1256"),
    (1257, "WINDOWS-1257"), (1258, "WINDOWS-1258"), (20866, "KOI8-R"), (21866, "KOI8-U"),
    (28591, "ISO-8859-1"), (28592, "ISO-8859-2"), (28593, "ISO-8859-3"), (28594, "ISO-8859-4"),
    (28595, "ISO-8859-5"), (28596, "ISO-8859-6"), (28597, "ISO-8859-7"), (28598, "ISO-8859-8"),
    (28599, "ISO-8859-9"), (28603, "ISO-8859-13"), (28605, "ISO-8859-15"),
]


def decode(name, byte):
    result = subprocess.run(["iconv", "-f", name, "-t", "UTF-32LE"], input=bytes([byte]), capture_output=True)
    if result.returncode != 0 or len(result.stdout) != 4:
        return 0
    return int.from_bytes(result.stdout, "little")


def main():
    out = sys.stdout
    out.write("// Written by src/base/gen/code_page_tables.py from glibc's iconv; do not edit.\n")
    out.write('#include "base/code_page_tables.h"\n\nnamespace vondrel::code_page {\nnamespace {\n\n')
    for number, name in CODE_PAGES:
        for byte in range(0x80):
            if decode(name, byte) != byte:
                sys.exit(f"{name}: byte {byte:#x} is not ASCII")
        high = [decode(name, byte) for byte in range(0x80, 0x100)]
        out.write(f"// {name}\nconstexpr char16_t kUpper{number}[128] = {{\n")
        for row in range(0, 128, 8):
            out.write("    " + ", ".join(f"0x{code:04X}" for code in high[row:row + 8]) + ",\n")
        out.write("};\n\n")
    out.write("}  // namespace\n\nconst char16_t* UpperHalf(std::uint16_t number) {\n  switch (number) {\n")
    for number, _ in CODE_PAGES:
        out.write(f"    case {number}: return kUpper{number};\n")
    out.write("    default: return nullptr;\n  }\n}\n\n}  // namespace vondrel::code_page\n")


if __name__ == "__main__":
    main()
