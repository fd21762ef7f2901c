#!/usr/bin/env python3
"""Writes a gzipped man page (section 1) from a program's own help text.

  manpage.py cli NAME BINARY OUT [SUBCOMMAND...]
      from `BINARY --help`, `BINARY --version` and `BINARY SUBCOMMAND --help`
      (a CLI11 command line);
  manpage.py keys NAME VERSION SUMMARY HELP_BINARY OUT
      from a benchmark program's help text as HELP_BINARY prints it: the
      title, the results-file name format, then the key help lines.
"""

import gzip
import re
import subprocess
import sys

DATE = "December 2026"


def roff(text):
    """Plain text as roff: backslashes and hyphens kept, no line read as a request."""
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text.startswith((".", "'")) else text


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def header(name, version, summary):
    return [
        '.TH %s 1 "%s" "Lumenfold %s" "User Commands"' % (name.upper(), DATE, version),
        ".SH NAME",
        "%s \\- %s" % (name, roff(summary)),
    ]


def help_sections(text):
    """Turns CLI11 help into roff: 'Options:'-style headings become
    subheadings, two-column entries become tagged paragraphs."""
    out = []
    for line in text.splitlines():
        if not line.strip():
            continue
        # A description CLI11 moved below a long entry continues that entry.
        if line.startswith(" " * 8) and out and out[-1].startswith(".B "):
            out.append(roff(line.strip()))
            continue
        if re.match(r"^\S.*:$", line):
            out += [".SS " + roff(line[:-1])]
            continue
        entry = re.match(r"^\s+(\S(?:.*?\S)?)(?:\s{2,}(\S.*))?$", line)
        if entry and line.startswith(" "):
            out += [".TP", ".B " + roff(entry.group(1))]
            if entry.group(2):
                out.append(roff(entry.group(2)))
        elif line.startswith("Usage:"):
            continue
        else:
            out += [".PP", roff(line)]
    return out


def usage_of(text, name):
    for line in text.splitlines():
        if line.startswith("Usage:"):
            words = line.split()[1:]
            return " ".join([name] + words[1:])
    return name


def cli_page(name, binary, subcommands):
    top = run(binary, "--help")
    version = run(binary, "--version").strip()
    summary = top.splitlines()[0].rstrip(".")
    page = header(name, version, summary)
    page += [".SH SYNOPSIS", ".B " + roff(usage_of(top, name))]
    for sub in subcommands:
        page.append(".br")
        page.append(".B " + roff(usage_of(run(binary, sub, "--help"), name)))
    page += [".SH DESCRIPTION", roff(top.splitlines()[0]), ".SH OPTIONS"]
    page += help_sections("\n".join(top.splitlines()[1:]))
    for sub in subcommands:
        text = run(binary, sub, "--help")
        page += [".SH %s %s" % (name.upper(), sub.upper())]
        page += help_sections(text)
    return page, version


def keys_page(name, version, summary, help_binary):
    lines = run(help_binary, name).splitlines()
    title, results_name, keys = lines[0], lines[1], lines[2:]
    page = header(name, version, summary)
    page += [".SH SYNOPSIS", ".B " + name, ".SH DESCRIPTION", roff(title), ".PP",
             roff("The program opens its window, prints its title and these lines, and waits. "
                  "Every report line goes to the console and to the results file."),
             ".SH KEYS"]
    for key in keys:
        page += [".IP \\(bu 2", roff(key)]
    page += [".SH FILES", ".TP", ".I " + roff(results_name),
             roff("the results file, in the working directory, named from the local start time "
                  "(strftime conversions); a second run in the same second adds \" (2)\" before "
                  "\".txt\"."),
             ".SH SEE ALSO", ".BR lumenfold (1)"]
    return page, version


def main(argv):
    if len(argv) >= 4 and argv[0] == "cli":
        name, binary, out = argv[1], argv[2], argv[3]
        page, _ = cli_page(name, binary, argv[4:])
    elif len(argv) == 6 and argv[0] == "keys":
        name, version, summary, binary, out = argv[1:]
        page, _ = keys_page(name, version, summary, binary)
    else:
        sys.exit(__doc__)
    # A fixed time stamp keeps the package reproducible.
    with open(out, "wb") as handle:
        handle.write(gzip.compress(("\n".join(page) + "\n").encode("utf-8"), 9, mtime=0))


if __name__ == "__main__":
    main(sys.argv[1:])
