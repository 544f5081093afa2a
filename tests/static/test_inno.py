#!/usr/bin/env python3
"""Each export's result is told alike by README's and the guide's tables (neither leaving out an export of
qxinst.h), qxinst.nsh's RESULT lines and qxinst.iss's comments; each copy in ALTERATIONS is refused."""
import os
import re
import sys

from pe import options, report

RESULT_VALUE = re.compile(r"(?:^|[;:,.]|\bor\b)\s*(\d+(?:\.\.\d+)?)\b")
NSH_PARAMETER = re.compile(r"^;\s+[A-Z0-9.]+\s+(?:in|out|in/out)\s")
ISS_DECLARATION = re.compile(r"^function\s+(\w+)\s*(?:\([^)]*\))?\s*:\s*(Boolean|Integer);\s*external", re.M)
# Drifts the check must see: (file, what changed, text, its replacement).
ALTERATIONS = [
    ("qxinst.iss", "a result value left out", "2 skip\n  it (this computer); 0 past the last one", "2 skip\n  it"),
    ("qxinst.nsh", "a result value changed", "bool: 1 decoded; 0 after", "bool: 1 decoded; 2 after"),
    ("guide", "an export missing from the guide", "| `SetBuffer`() | — | none | — |\n", ""),
]

def result_of(kind, text):
    """A result as (kind, its values): kind is bool, int or none."""
    text = re.sub(r"\bTrue\b", "1", re.sub(r"\bFalse\b", "0", " ".join(text.split())))
    return kind, sorted(set(RESULT_VALUE.findall(text)))

def table_results(text, heading):
    """{export: result} from the Result column of the first table after the line heading."""
    table = re.search(r"(?m)(?:^\|.*\n?)+", text.split("\n" + heading + "\n", 1)[1]).group(0)
    rows = [[c.strip() for c in line.strip().strip("|").split("|")] for line in table.splitlines()]
    column = rows[0].index("Result")
    return {name: result_of(cells[column].split(":")[0].split()[0], cells[column])
            for cells in rows[2:] for name in re.findall(r"`(\w+)`", cells[0])}

def nsh_results(text):
    results, names, lines = {}, [], text.split("\n")
    for i, line in enumerate(lines):
        if header := re.match(r"^; \$\{QX(\w+)\}", line):
            names.append(header.group(1))
        elif re.match(r"^;\s+RESULT\s+out\s", line):
            body = line.split("out", 1)[1]
            for more in lines[i + 1:]:
                if not more.startswith(";") or NSH_PARAMETER.match(more) or more.startswith("; ${"):
                    break
                body += " " + more[1:]
            results.update((name, result_of(body.split(":")[0].strip(), body)) for name in names)
        elif not line.startswith(";"):
            names = []
    return results

def iss_results(text):
    code = text.split("\n[Code]\n", 1)[-1]
    comments = {name: comment for comment, name in re.findall(r"\{([^{}]*)\}\s*function\s+(\w+)", code)}
    see = lambda name: re.search(r"Buffers?: see (Qx\w+)", comments.get(name, ""))  # noqa: E731
    return {name: result_of("bool" if kind == "Boolean" else "int", comments.get(see(name)[1] if see(name) else name, ""))
            for name, kind in ISS_DECLARATION.findall(code)}

def findings(names, texts):
    """Where the four tell an export's result differently, or a table leaves out one of names."""
    found, readme = [], table_results(texts["README"], "## The exports")
    guide = table_results(texts["guide"], "The exports\n-----------")
    nsh, iss = nsh_results(texts["qxinst.nsh"]), iss_results(texts["qxinst.iss"])
    for where, table in (("README", readme), ("the guide", guide)):
        found += ["%s: %s %s's table of exports" % (name, "not in qxinst.h but in" if name in table else "missing from",
                                                     where) for name in sorted(set(names) ^ set(table))]
    for name, result in sorted(readme.items()):
        for where, results in (("the guide", guide), ("qxinst.nsh", nsh), ("qxinst.iss", iss)):
            if (result[0] != "none" or where == "the guide") and results.get(name) != result:
                found.append("%s: %s tells its result as %s, README as %s" % (name, where, results.get(name), result))
    return found

def main():
    source = options("--source", win32_bin=None, win64_bin=None, output=None).source
    paths = {"README": "README.md", "guide": "hosts/README-hosts.txt", "qxinst.nsh": "hosts/nsis/qxinst.nsh",
             "qxinst.iss": "hosts/inno/qxinst.iss", "header": "include/qxinst.h"}
    texts = {key: open(os.path.join(source, path), encoding="utf-8").read() for key, path in paths.items()}
    names = re.findall(r"\b(?:QXBOOL|int|void)\s+QXAPI\s+(\w+)\s*\(", re.sub(r"/\*.*?\*/", " ", texts["header"], flags=re.S))
    failures = findings(names, texts)
    for where, what, old, new in ALTERATIONS:
        if texts[where].count(old) != 1:
            failures.append("the alteration '%s' no longer applies to %s" % (what, where))
        elif not findings(names, dict(texts, **{where: texts[where].replace(old, new)})):
            failures.append("%s with %s passes the check" % (where, what))
    return report(failures, "%d exports, %d altered copies: README, the guide, qxinst.nsh and qxinst.iss: "
                  % (len(names), len(ALTERATIONS)), "every result told alike, every alteration refused")

sys.exit(main())
