#!/usr/bin/env python3
"""GetPrivateProfileStringA of the Linux simulation against the real call under Wine.

Every INI file of ini/ is copied into a folder "Corpus" and asked the
questions below, as the programs ask them, through probes/profile_probe.exe
(under Wine) and through the simulation's probe; the answers (count and
buffer, byte for byte) must agree.
Where Windows and Wine are known to read a file differently, the simulation
follows Windows: such a case is listed in KNOWN_DIFFERENCES with both answers
and is checked both ways, never skipped.
"""
import os
import shutil
import sys
import tempfile

from conformance_common import probes_or_skip, run_and_compare
import wine

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "ini")


def q(file, section, key):
    """A question as the programs ask it: default "" and a buffer of 512 bytes."""
    return (file, section, key, "", "512")


QUERIES = [
    q("basic_crlf.ini", "Sec", "Key"), q("basic_crlf.ini", "sec", "KEY"),
    q("basic_crlf.ini", "Sec", "Nope"),
    q("basic_crlf.ini", "Nope", "Key"), q("basic_lf.ini", "Sec", "Key"),
    q("basic_lf.ini", "SEC", "key"), q("cr_only.ini", "Sec", "Key"),
    q("cr_only.ini", "Sec", "Other"), q("mixed_line_ends.ini", "Sec", "A"),
    q("mixed_line_ends.ini", "Sec", "B"), q("mixed_line_ends.ini", "Sec", "C"),
    q("mixed_line_ends.ini", "Sec", "D"), q("no_final_newline.ini", "Sec", "Key"),
    q("trailing_eof_mark.ini", "Sec", "Key"), q("trailing_eof_mark.ini", "Sec", "End"),
    q("blanks.ini", "Spaced Sec", "Key1"), q("blanks.ini", "spaced sec", "TabKey"),
    q("blanks.ini", "Spaced Sec", "my key"),
    q("equals_in_value.ini", "S", "a"), q("equals_in_value.ini", "S", "url"),
    q("equals_in_value.ini", "S", "a=b"), q("quotes.ini", "Q", "d"), q("quotes.ini", "Q", "s"),
    q("quotes.ini", "Q", "sp"), q("quotes.ini", "Q", "mis"), q("quotes.ini", "Q", "left"),
    q("quotes.ini", "Q", "right"), q("quotes.ini", "Q", "semi"), q("quotes.ini", "Q", "empty"),
    q("quotes.ini", "Q", "one"), q("quotes.ini", "Q", "dq"), q("quotes.ini", "Q", "inner"),
    q("quotes.ini", "Q", "abc"), q("comments.ini", "S", "k"), q("comments.ini", "S", "#h"),
    q("comments.ini", "S", ";c"), q("comments.ini", "S", "c"), q("comments.ini", "S", "indented"),
    q("duplicate_keys.ini", "S", "k"), q("duplicate_keys.ini", "s", "K"),
    q("duplicate_sections.ini", "D", "a"), q("duplicate_sections.ini", "d", "only2"),
    q("duplicate_sections.ini", "Other", "b"), q("no_equals.ini", "S", "novalue"),
    q("no_equals.ini", "S", "k"), q("empty_value.ini", "S", "k"),
    q("empty_value.ini", "S", "blank"),
    q("before_section.ini", "S", "x"), q("before_section.ini", "S", "y"),
    q("empty_section_name.ini", "S", "j"),
    q("empty_section_name.ini", "S", "k"), q("blank_lines.ini", "S", "k"),
    q("utf8_bom.ini", "S", "k"), q("utf8_bom.ini", "T", "k"), q("utf8_no_bom.ini", "S", "k"),
    q("utf16le_bom.ini", "S", "k"), q("utf16le_bom.ini", "caf\u00c9", "x"),
    q("long_value.ini", "S", "long"), q("section_text_after.ini", "S", "a"),
    q("section_text_after.ini", "T", "b"), q("bracket_in_name.ini", "A", "k"),
    q("bracket_in_name.ini", "A]b", "k"), q("unclosed_header.ini", "C", "k"),
    q("unclosed_header.ini", "B", "k"), q("unclosed_header.ini", "B", "x"),
    q("setup_file.ini", "VERSION", "Version"), q("setup_file.ini", "OSTKeysLoader", "Loader"),
    q("setup_file.ini", "OSTKeysLoader", "CustomData"),
    q("setup_file.ini", "QELKeysLoader", "Loader"), q("setup_file.ini", "Version", "version"),
    q("setup_file_lf_lower.ini", "VERSION", "Version"),
    q("setup_file_lf_lower.ini", "OSTKeysLoader", "Loader"),
    q("ansi_names.ini", "CAF\u00c9", "\u00e9T\u00c9"), q("ansi_names.ini", "\u0160", "\u0178"),
    q("empty_file.ini", "S", "k"), q("only_comments.ini", "S", "k"),
    q("equals_first.ini", "S", "k"), q("many_sections.ini", "sec59", "key"),
    q("many_sections.ini", "Sec0", "Key"), q("many_sections.ini", "Sec60", "Key"),
    q("symbols.ini", "Paths", "Dir"), q("symbols.ini", "Paths", "Tab"),
    q("symbols.ini", "Paths", "High"), q("symbols.ini", "Paths", "Bang"),
    q("header_only.ini", "S", "k"), q("vertical_blanks.ini", "S", "k"),
    q("vertical_blanks.ini", "S", "k2"), q("case_keys.ini", "mixed", "KEY"),
    q("case_keys.ini", "MIXED", "Key2"), q("missing.ini", "S", "k"),
    q("no such folder\\x.ini", "S", "k"),
    # A NUL byte ends its name or value, not the line or the file.
    q("nul_byte.ini", "S", "a"), q("nul_byte.ini", "S", "Ver"), q("nul_byte.ini", "S", "z"),
    q("nul_byte.ini", "VERSION", "Version"), q("utf16le_nul.ini", "A", "k"),
    q("utf16le_nul.ini", "VERSION", "Version"),
    # Full paths of 259 characters ({pad} makes them so) and of 260, which fail.
    # (Wine may then answer from the file it read last, so that one lacks [Sec].)
    q("{pad}\\setup_file.ini", "VERSION", "Version"), q("{pad}x\\basic_crlf.ini", "Sec", "Key"),
]

# request -> (Wine's answer, Windows' answer, why). The simulation must give
# the Windows answer.
KNOWN_DIFFERENCES = {
    q("comments.ini", "S", ";c"): (
        "1 1\\x00", "0 \\x00", "a line starting with ';' is a comment on Windows"),
    q("comments.ini", "S", "  ;indented"): (
        "1 2\\x00", "0 \\x00", "a line starting with ';' is a comment on Windows"),
    q("utf8_bom.ini", "S", "k"): (
        "1 v\\x00", "0 \\x00", "Windows does not know the UTF-8 BOM: line 1 is no header"),
    q("utf8_bom.ini", "T", "k"): (
        "1 \\xE9\\x00", "2 \\xC3\\xA9\\x00", "Windows reads a file with a UTF-8 BOM as ANSI"),
    q("bracket_in_name.ini", "A", "k"): (
        "0 \\x00", "1 v\\x00", "the section name ends at the first ']' on Windows"),
    q("bracket_in_name.ini", "A]b", "k"): (
        "1 v\\x00", "0 \\x00", "the section name ends at the first ']' on Windows"),
    q("unclosed_header.ini", "C", "k"): (
        "0 \\x00", "1 v\\x00", "Windows takes \"[C\" as a header"),
    q("unclosed_header.ini", "B", "k"): (
        "1 v\\x00", "0 \\x00", "Windows takes \"[C\" as a header"),
}


def main():
    windows_probe, simulation_probe = probes_or_skip("profile_probe.exe")
    work = tempfile.mkdtemp(prefix="regost-profile-")
    try:
        folder = os.path.join(work, "Corpus")
        shutil.copytree(CORPUS, folder)
        # Asked for in upper case, the folder and files are found anyway.
        dos_folder = wine.dos_path(folder).upper()
        pad = "P" * (259 - len(dos_folder + "\\\\setup_file.ini"))
        for name, ini in ((pad, "setup_file.ini"), (pad + "x", "basic_crlf.ini")):
            os.makedirs(os.path.join(folder, name))
            shutil.copy(os.path.join(CORPUS, ini), os.path.join(folder, name))
        queries = QUERIES + [k for k in KNOWN_DIFFERENCES if k not in QUERIES]

        def with_path(request):
            path = dos_folder + "\\" + request[0].upper().replace("{PAD}", pad)
            return (path,) + tuple(request[1:])

        requests = [with_path(r) for r in queries]
        known = {with_path(k): v for k, v in KNOWN_DIFFERENCES.items()}
        failures = run_and_compare(windows_probe, simulation_probe, "profile", requests, known, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d requests, %d known differences, %d failures"
          % (len(requests), len(KNOWN_DIFFERENCES), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
