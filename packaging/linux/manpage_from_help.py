#!/usr/bin/env python3
"""Writes a program's manual page from its --help text, so the page says what the program does.

Usage: manpage_from_help.py PROGRAM VERSION SUMMARY SEE_ALSO < help.txt > page.1

The help text's shape: a "Usage:" line, a paragraph of description, a block of options (an option
line starts with two blanks and a dash, its description continues on more deeply indented lines),
paragraphs of prose (indented lines in them are examples, kept as they are), and an "Exit codes:"
block whose lines start with two blanks and the code.
"""
import re
import sys


def escape(text):
    """Roff text: backslashes kept, options' dashes as minus signs, no control line by accident."""
    text = text.replace("\\", "\\e")
    text = re.sub(r"(?<![\w-])(--?\w[\w-]*)", lambda m: m.group(1).replace("-", "\\-"), text)
    return "\\&" + text if text.startswith((".", "'")) else text


def option_heading(name):
    """'--port PATH' -> the option in bold, its argument in italics."""
    words = []
    for word in name.split():
        comma = "," if word.endswith(",") else ""
        word = word.rstrip(",")
        font = "B" if word.startswith("-") else "I"
        words.append(f"\\f{font}{escape(word)}\\fR{comma}")
    return " ".join(words)


def paragraphs(lines):
    block = []
    for line in lines:
        if line.strip():
            block.append(line.rstrip())
        elif block:
            yield block
            block = []
    if block:
        yield block


def page(program, version, summary, see_also, help_text):
    blocks = list(paragraphs(help_text.splitlines()))
    usage = blocks.pop(0)
    match = re.match(r"Usage: (\S+)\s*(.*)", usage[0])
    if not match or match.group(1) != program:
        sys.exit(f"manpage_from_help: the help does not start with 'Usage: {program}'")
    out = [
        f'.TH {program.upper()} 1 "" "{program} {version}" "User Commands"',
        ".SH NAME",
        f"{escape(program)} \\- {escape(summary)}",
        ".SH SYNOPSIS",
        f".B {escape(program)}",
        escape(match.group(2)),
        ".SH DESCRIPTION",
    ]
    out += [escape(line.strip()) for line in usage[1:]]

    section = None
    for block in blocks:
        if re.match(r"  -", block[0]):
            out.append(".SH OPTIONS")
            for line in block:
                option = re.match(r"  (-\S.*?)(?:\s{2,}(.*))?$", line)
                if option:
                    out += [".TP", option_heading(option.group(1))]
                    if option.group(2):
                        out.append(escape(option.group(2)))
                else:
                    out.append(escape(line.strip()))
        elif block[0] == "Exit codes:":
            out.append(".SH EXIT STATUS")
            for line in block[1:]:
                code = re.match(r"  (\d+)\s+(.*)", line)
                if code:
                    out += [".TP", f".B {code.group(1)}", escape(code.group(2))]
                else:
                    out.append(escape(line.strip()))
        else:
            if section is None:
                section = "OUTPUT"
                out.append(f".SH {section}")
            else:
                out.append(".PP")
            literal = False
            for line in block:
                indented = line.startswith(" ")
                if indented != literal:
                    out.append(".RS 2\n.nf" if indented else ".fi\n.RE")
                    literal = indented
                out.append(escape(line.strip() if not indented else line[2:]))
            if literal:
                out.append(".fi\n.RE")
    out += [".SH SEE ALSO", f".BR {see_also} (1)"]
    return "\n".join(out) + "\n"


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__.split("\n\n")[1])
    sys.stdout.write(page(*sys.argv[1:], sys.stdin.read()))
