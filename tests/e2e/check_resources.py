#!/usr/bin/env python3
"""Reads the resources and imports of a built corvane-setup.exe back and checks them.

    check_resources.py PATH/corvane-setup.exe [PATH/companion.dll ...]

Checks the log dialog's template (id 101, English (United States), extended
form) number by number, and the application manifest (type 24, id 1) by its
identity, description, dependency and execution level. Checks that the
executable and every further file named import, directly or delay-loaded,
only known DLLs: an elevated program that imported any other library would
load it from its own folder first. Prints one line per mismatch and exits 1
when there is any; exits 0 and prints a summary line otherwise. Only the
standard library is used: the PE file is parsed here.
"""

import struct
import sys
import xml.etree.ElementTree as ET

RT_DIALOG = 5
RT_MANIFEST = 24
LANG_EN_US = 1033

DIALOG_ID = 101
DIALOG = {
    "style": 0x80C808C8,
    "exstyle": 0,
    "x": 0, "y": 0, "cx": 451, "cy": 228,
    "menu": "",
    "class": "",
    "title": "",
    "font_size": 8,
    "font_weight": 400,
    "font_italic": 0,
    "font_charset": 1,
    "font_face": "MS Shell Dlg",
}
# Button and edit are the predefined classes 0x0080 and 0x0081.
CONTROLS = [
    {"id": 1, "class": 0x0080, "text": "Close", "x": 394, "y": 207, "cx": 50, "cy": 14,
     "style": 0x50010001, "exstyle": 0},
    {"id": 1001, "class": 0x0081, "text": "", "x": 7, "y": 7, "cx": 437, "cy": 194,
     "style": 0x50A108C4, "exstyle": 0},
]

# The libraries Windows always loads from the system directory: its known
# DLLs (HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs)
# and ntdll, which every process has mapped before the first import.
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "coml2.dll",
    "difxapi.dll", "gdi32.dll", "gdiplus.dll", "imagehlp.dll", "imm32.dll",
    "kernel32.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll",
    "ole32.dll", "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll",
    "setupapi.dll", "shcore.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
    "wldap32.dll", "ws2_32.dll", "ntdll.dll",
}

ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"


class PeError(Exception):
    pass


IMPORT_DIRECTORY = 1
RESOURCE_DIRECTORY = 2
DELAY_IMPORT_DIRECTORY = 13


class PeImage:
    """Just enough of a PE32+ image to walk its resource and import directories."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PeError("no MZ header")
        pe = self.u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        machine, sections, _, _, _, opt_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        if machine != 0x8664:
            raise PeError("machine 0x%04X is not x64" % machine)
        opt = pe + 24
        if self.u16(opt) != 0x20B:
            raise PeError("optional header is not PE32+")
        dir_count = self.u32(opt + 108)
        self.directories = [struct.unpack_from("<II", data, opt + 112 + 8 * i)
                            for i in range(min(dir_count, 16))]
        self.rsrc_rva, _ = self.directory(RESOURCE_DIRECTORY)
        self.sections = []
        table = opt + opt_size
        for i in range(sections):
            at = table + 40 * i
            vsize, vaddr, raw_size, raw_ptr = struct.unpack_from("<IIII", data, at + 8)
            self.sections.append((vaddr, max(vsize, raw_size), raw_ptr, raw_size))

    def directory(self, index):
        """(RVA, size) of a data directory; (0, 0) when the image has none."""
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def c_string(self, rva):
        at = self.offset(rva)
        end = self.data.index(b"\0", at)
        return self.data[at:end].decode("ascii")

    def imported_libraries(self):
        """Names of the libraries the image imports, directly or delay-loaded."""
        names = []
        rva, _ = self.directory(IMPORT_DIRECTORY)
        at = self.offset(rva) if rva else None
        # Descriptors of 20 bytes, the name's RVA at 12, ended by a zero one.
        while at is not None and any(self.data[at:at + 20]):
            names.append(self.c_string(self.u32(at + 12)))
            at += 20
        rva, _ = self.directory(DELAY_IMPORT_DIRECTORY)
        at = self.offset(rva) if rva else None
        # Descriptors of 32 bytes, the name's RVA at 4, ended by a zero one.
        while at is not None and any(self.data[at:at + 32]):
            if not self.u32(at) & 1:
                raise PeError("delay-load descriptor with virtual addresses")
            names.append(self.c_string(self.u32(at + 4)))
            at += 32
        return names

    def u16(self, at):
        return struct.unpack_from("<H", self.data, at)[0]

    def u32(self, at):
        return struct.unpack_from("<I", self.data, at)[0]

    def offset(self, rva):
        for vaddr, size, raw_ptr, raw_size in self.sections:
            if vaddr <= rva < vaddr + size:
                if rva - vaddr >= raw_size:
                    raise PeError("RVA 0x%X lies in uninitialised data" % rva)
                return raw_ptr + rva - vaddr
        raise PeError("RVA 0x%X is in no section" % rva)

    def _entries(self, dir_offset):
        """(id or name, is_directory, offset relative to the resource root)."""
        base = self.offset(self.rsrc_rva)
        at = base + dir_offset
        named, ids = struct.unpack_from("<HH", self.data, at + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
            if name & 0x80000000:
                str_at = base + (name & 0x7FFFFFFF)
                length = self.u16(str_at)
                key = self.data[str_at + 2:str_at + 2 + 2 * length].decode("utf-16-le")
            else:
                key = name
            yield key, bool(target & 0x80000000), target & 0x7FFFFFFF

    def resources(self):
        """Every resource as {(type, name, language): bytes}."""
        if not self.rsrc_rva:
            raise PeError("the image has no resources")
        base = self.offset(self.rsrc_rva)
        found = {}
        for rtype, is_dir, type_dir in self._entries(0):
            if not is_dir:
                raise PeError("type entry without a directory")
            for name, is_dir2, name_dir in self._entries(type_dir):
                if not is_dir2:
                    raise PeError("name entry without a directory")
                for lang, is_dir3, leaf in self._entries(name_dir):
                    if is_dir3:
                        raise PeError("language entry is a directory")
                    rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    start = self.offset(rva)
                    found[(rtype, name, lang)] = self.data[start:start + size]
        return found


class Reader:
    def __init__(self, data):
        self.data = data
        self.at = 0

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.at)
        self.at += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def text(self):
        end = self.at
        while self.data[end:end + 2] != b"\0\0":
            end += 2
            if end >= len(self.data):
                raise PeError("unterminated string in the template")
        value = self.data[self.at:end].decode("utf-16-le")
        self.at = end + 2
        return value

    def sz_or_ord(self):
        if self.data[self.at:self.at + 2] == b"\xff\xff":
            self.at += 2
            return self.take("H")
        return self.text()

    def align(self, n):
        self.at = (self.at + n - 1) // n * n


def parse_dialogex(data):
    r = Reader(data)
    version, signature = r.take("HH")
    if (version, signature) != (1, 0xFFFF):
        raise PeError("not an extended template (version %d, signature 0x%04X)" % (version, signature))
    dialog = {}
    dialog["help"], dialog["exstyle"], dialog["style"] = r.take("III")
    count = r.take("H")
    dialog["x"], dialog["y"], dialog["cx"], dialog["cy"] = r.take("hhhh")
    dialog["menu"] = r.sz_or_ord()
    dialog["class"] = r.sz_or_ord()
    dialog["title"] = r.text()
    DS_SETFONT = 0x40  # also part of DS_SHELLFONT
    if dialog["style"] & DS_SETFONT:
        dialog["font_size"], dialog["font_weight"] = r.take("HH")
        dialog["font_italic"], dialog["font_charset"] = r.take("BB")
        dialog["font_face"] = r.text()
    controls = []
    for _ in range(count):
        r.align(4)
        control = {}
        control["help"], control["exstyle"], control["style"] = r.take("III")
        control["x"], control["y"], control["cx"], control["cy"] = r.take("hhhh")
        control["id"] = r.take("I")
        control["class"] = r.sz_or_ord()
        control["text"] = r.sz_or_ord()
        extra = r.take("H")
        r.at += extra
        controls.append(control)
    return dialog, controls


def show(value):
    if isinstance(value, int):
        return "%d (0x%X)" % (value, value)
    return repr(value)


def check_dialog(template, problems):
    dialog, controls = parse_dialogex(template)
    for field, wanted in DIALOG.items():
        got = dialog.get(field)
        if got != wanted:
            problems.append("dialog %s: %s, expected %s" % (field, show(got), show(wanted)))
    if len(controls) != len(CONTROLS):
        problems.append("dialog has %d controls, expected %d" % (len(controls), len(CONTROLS)))
    for index, (got, wanted) in enumerate(zip(controls, CONTROLS)):
        for field, value in wanted.items():
            if got.get(field) != value:
                problems.append("control %d %s: %s, expected %s"
                                % (index + 1, field, show(got.get(field)), show(value)))


def check_manifest(text, problems):
    try:
        root = ET.fromstring(text)
    except ET.ParseError as error:
        problems.append("manifest is not well-formed XML: %s" % error)
        return

    def expect(element, where, attributes):
        if element is None:
            problems.append("manifest: no %s" % where)
            return
        for name, value in attributes.items():
            if element.get(name) != value:
                problems.append("manifest %s %s: %r, expected %r"
                                % (where, name, element.get(name), value))

    if root.tag != "{%s}assembly" % ASM_V1:
        problems.append("manifest root is %s" % root.tag)
    expect(root.find("{%s}assemblyIdentity" % ASM_V1), "assemblyIdentity",
           {"version": "1.0.0.0", "processorArchitecture": "*",
            "name": "Corvane.Install", "type": "win32"})
    description = root.find("{%s}description" % ASM_V1)
    if description is None or (description.text or "").strip() != "File viewer/translator":
        problems.append("manifest description: %r"
                        % (None if description is None else description.text))
    expect(root.find("{%s}dependency/{%s}dependentAssembly/{%s}assemblyIdentity"
                     % (ASM_V1, ASM_V1, ASM_V1)),
           "dependency",
           {"type": "win32", "name": "Microsoft.Windows.Common-Controls",
            "version": "6.0.0.0", "processorArchitecture": "*", "language": "*",
            "publicKeyToken": "6595b64144ccf1df"})
    level = None
    for ns_trust in (ASM_V3, ASM_V1):
        level = root.find("{%s}trustInfo/{%s}security/{%s}requestedPrivileges/"
                          "{%s}requestedExecutionLevel" % ((ns_trust,) * 4))
        if level is not None:
            break
    expect(level, "requestedExecutionLevel", {"level": "requireAdministrator", "uiAccess": "false"})


def check_imports(path, image, problems):
    for name in image.imported_libraries():
        if name.lower() not in KNOWN_DLLS:
            problems.append("%s imports %s, which is not a known DLL" % (path, name))


def check_executable(data, problems):
    image = PeImage(data)
    resources = image.resources()
    template = resources.get((RT_DIALOG, DIALOG_ID, LANG_EN_US))
    if template is None:
        problems.append("no dialog template %d in language %d; dialogs present: %s"
                        % (DIALOG_ID, LANG_EN_US,
                           sorted(k[1:] for k in resources if k[0] == RT_DIALOG)))
    else:
        check_dialog(template, problems)
    manifests = [k for k in resources if k[0] == RT_MANIFEST]
    manifest = resources.get((RT_MANIFEST, 1, LANG_EN_US))
    if manifest is None:
        problems.append("no manifest 1 in language %d; manifests present: %s"
                        % (LANG_EN_US, sorted(k[1:] for k in manifests)))
    else:
        if len(manifests) != 1:
            problems.append("%d manifests, expected exactly one" % len(manifests))
        check_manifest(manifest.decode("utf-8"), problems)
    return image


def main(argv):
    if len(argv) < 2:
        print("usage: check_resources.py EXE [PE...]", file=sys.stderr)
        return 2
    problems = []
    for index, path in enumerate(argv[1:]):
        with open(path, "rb") as f:
            data = f.read()
        try:
            image = check_executable(data, problems) if index == 0 else PeImage(data)
            check_imports(path, image, problems)
        except (PeError, struct.error, UnicodeDecodeError, ValueError) as error:
            problems.append("cannot read %s: %s" % (path, error))
    for problem in problems:
        print("  " + problem)
    if problems:
        return 1
    print("  dialog %d and manifest 1 (language %d) as expected; %d files import known DLLs only"
          % (DIALOG_ID, LANG_EN_US, len(argv) - 1))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
