#!/usr/bin/env python3
"""The Inno Setup include (hosts/inno/qxinst.iss) against the host header (include/qxinst.h), since
Inno Setup cannot run here: the same exports, each declared external from QXINST.dll under its own
name with cdecl and delayload (loaded at the first call), with as many arguments, each an
AnsiString where the header has a char pointer and an Integer or Cardinal where it has an int or
unsigned int, and the same kind of result (Boolean for QXBOOL, Integer for int, a procedure for
void). Every export that writes into a caller's buffer
has its Qx helper, which calls it with all its arguments; the DLL is in [Files] for the "files:"
prefix. Each export's result is told alike by README's table of exports, the guide for installer
authors (hosts/README-hosts.txt, whose table lists every export too), the NSIS header and the
include: the same kind and the same values (the numbers that begin its clauses, True and False as 1
and 0). The check is then run on altered copies of the include and the guide, each of which it must
refuse."""
import argparse
import os
import re
import sys

C_RESULTS = {"QXBOOL": ("function", "Boolean"), "int": ("function", "Integer"), "void": ("procedure", None)}
C_ARGUMENTS = {"const char*": "AnsiString", "char*": "AnsiString", "int": "Integer", "unsigned int": "Cardinal"}
C_DECLARATION = re.compile(r"\b(QXBOOL|int|void)\s+QXAPI\s+(\w+)\s*\(([^)]*)\)\s*;")
PASCAL_DECLARATION = re.compile(
    r"\b(function|procedure)\s+(\w+)\s*(?:\(([^)]*)\))?\s*(?::\s*(\w+))?\s*;\s*external\s+'([^']*)'\s*;", re.I)
PASCAL_ROUTINE = re.compile(r"^(?:function|procedure)\s+(\w+)[^;]*;(.*?)^end;", re.I | re.M | re.S)
RESULT_VALUE = re.compile(r"(?:^|[;:,.]|\bor\b)\s*(\d+(?:\.\.\d+)?)\b")
NSH_PARAMETER = re.compile(r"^;\s+[A-Z0-9.]+\s+(?:in|out|in/out)\s")
DLL_ENTRY = re.compile(r'^\[Files\]\s*^Source:\s*"\{#QXINST_DLL\}";\s*Flags:\s*dontcopy\s*$', re.M)


def header_exports(text):
    """{name: (result, [(pascal type, is a buffer), ...])} from the C header."""
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    exports = {}
    for result, name, arguments in C_DECLARATION.findall(text):
        kinds = []
        for argument in arguments.split(","):
            argument = " ".join(argument.replace("*", "* ").split())
            if argument in ("", "void"):
                continue
            c_type = re.sub(r"\s+\w+$", "", argument).replace(" *", "*")
            if c_type not in C_ARGUMENTS:
                raise ValueError("%s: argument type %r has no Pascal counterpart" % (name, c_type))
            kinds.append((C_ARGUMENTS[c_type], c_type == "char*"))
        exports[name] = (result, kinds)
    return exports


def pascal_code(text):
    """The [Code] part of the include, without comments."""
    code = text.split("\n[Code]\n", 1)[-1]
    code = re.sub(r"\{.*?\}|\(\*.*?\*\)", " ", code, flags=re.S)
    return re.sub(r"//[^\n]*", "", code)


def pascal_types(parameters):
    types = []
    for group in filter(None, (g.strip() for g in (parameters or "").split(";"))):
        names, _, kind = group.rpartition(":")
        names = re.sub(r"^\s*(var|const|out)\s+", "", names, flags=re.I)
        types += [kind.strip()] * len([n for n in names.split(",") if n.strip()])
    return types


def call_arguments(body, name):
    """The number of arguments of the first call of name in body, or None."""
    match = re.search(r"\b%s\s*\(" % name, body)
    if match is None:
        return None
    depth, count, start = 1, 1, match.end()
    for i in range(start, len(body)):
        if body[i] == "(":
            depth += 1
        elif body[i] == ")":
            depth -= 1
            if depth == 0:
                return count if body[start:i].strip() else 0
        elif body[i] == "," and depth == 1:
            count += 1
    return None


def check(header_text, iss_text):
    """The differences between the include and the header, one sentence each."""
    findings = []
    exports = header_exports(header_text)
    code = pascal_code(iss_text)
    declared = {}
    for kind, name, parameters, result, external in PASCAL_DECLARATION.findall(code):
        if name in declared:
            findings.append("%s is declared twice" % name)
        declared[name] = (kind.lower(), result or None, pascal_types(parameters), external)
    routines = {name: body for name, body in PASCAL_ROUTINE.findall(code)}
    for name in sorted(set(exports) - set(declared)):
        findings.append("%s is not declared" % name)
    for name in sorted(set(declared) - set(exports)):
        findings.append("%s is declared but the DLL has no such export" % name)
    for name in sorted(set(exports) & set(declared)):
        c_result, c_arguments = exports[name]
        kind, result, types, external = declared[name]
        if external != "%s@files:QXINST.dll cdecl delayload" % name:
            findings.append("%s: external '%s', not '%s@files:QXINST.dll cdecl delayload'" % (name, external, name))
        if (kind, result) != C_RESULTS[c_result]:
            findings.append("%s: %s %s for a %s result" % (name, kind, result or "", c_result))
        wanted = [t for t, _ in c_arguments]
        if [t.lower() for t in types] != [t.lower() for t in wanted]:
            findings.append("%s: arguments (%s), not (%s)" % (name, ", ".join(types), ", ".join(wanted)))
        if any(buffer for _, buffer in c_arguments):
            helper = "Qx" + name
            if helper not in routines:
                findings.append("%s writes buffers but has no helper %s" % (name, helper))
            elif call_arguments(routines[helper], name) != len(c_arguments):
                findings.append("%s does not call %s with its %d arguments" % (helper, name, len(c_arguments)))
    if not DLL_ENTRY.search(iss_text):
        findings.append("no [Files] entry for {#QXINST_DLL} with dontcopy")
    return findings


def result_of(kind, text):
    """A result as (kind, its values): kind is bool, int or none."""
    text = re.sub(r"\bTrue\b", "1", re.sub(r"\bFalse\b", "0", " ".join(text.split())))
    return kind, sorted(set(RESULT_VALUE.findall(text)))


def table_results(text, heading):
    """{export: result} from the first table after the line heading (README's and the guide's table
    of exports), read in its Result column; a row may name several exports."""
    lines = text.split("\n" + heading + "\n", 1)[1].split("\n")
    start = next(i for i, line in enumerate(lines) if line.startswith("|"))
    rows = []
    for line in lines[start:]:
        if not line.startswith("|"):
            break
        rows.append([c.strip() for c in line.strip().strip("|").split("|")])
    column = rows[0].index("Result")
    results = {}
    for cells in rows[2:]:
        for name in re.findall(r"`(\w+)`", cells[0]):
            results[name] = result_of(cells[column].split(":")[0].split()[0], cells[column])
    return results


def nsh_results(text):
    results, names, lines = {}, [], text.split("\n")
    for i, line in enumerate(lines):
        header = re.match(r"^; \$\{QX(\w+)\}", line)
        if header:
            names.append(header.group(1))
        elif re.match(r"^;\s+RESULT\s+out\s", line):
            body = line.split("out", 1)[1]
            for more in lines[i + 1:]:
                if not more.startswith(";") or NSH_PARAMETER.match(more) or more.startswith("; ${"):
                    break
                body += " " + more[1:]
            for name in names:
                results[name] = result_of(body.split(":")[0].strip(), body)
        elif not line.startswith(";"):
            names = []
    return results


def iss_results(text):
    code = text.split("\n[Code]\n", 1)[-1]
    comments = dict((name, comment) for comment, name in re.findall(r"\{([^{}]*)\}\s*function\s+(\w+)", code))
    results = {}
    for name, kind in re.findall(r"^function\s+(\w+)\s*(?:\([^)]*\))?\s*:\s*(Boolean|Integer);\s*external", code, re.M):
        comment = comments.get(name, "")
        seen = re.search(r"Buffers?: see (Qx\w+)", comment)
        results[name] = result_of("bool" if kind == "Boolean" else "int",
                                  comments.get(seen.group(1), "") if seen else comment)
    return results


def check_results(names, readme_text, nsh_text, iss_text, guide_text):
    """Where README, the guide, qxinst.nsh and qxinst.iss tell an export's result differently, or a
    table of exports leaves one out (names: the header's exports)."""
    findings = []
    readme = table_results(readme_text, "## The exports")
    guide = table_results(guide_text, "The exports\n-----------")
    nsh, iss = nsh_results(nsh_text), iss_results(iss_text)
    for where, table in (("README", readme), ("the guide", guide)):
        for name in sorted(set(names) ^ set(table)):
            findings.append("%s: %s in %s's table of exports, not in qxinst.h" % (name, where, where)
                            if name in table else "%s: missing from %s's table of exports" % (name, where))
    for name, (kind, values) in sorted(readme.items()):
        for where, results in (("the guide", guide), ("qxinst.nsh", nsh), ("qxinst.iss", iss)):
            if (kind != "none" or where == "the guide") and results.get(name) != (kind, values):
                findings.append("%s: %s tells its result as %s, README as %s" % (name, where, results.get(name),
                                                                                (kind, values)))
    return findings


# Drifts the check must see: (what changed, text in the include, its replacement).
ALTERATIONS = [
    ("an argument dropped", "pszDest: AnsiString; nVersion: Integer): Boolean", "pszDest: AnsiString): Boolean"),
    ("a one-byte result read as Integer", "function Decrypt(pszSource, pszDest: AnsiString): Boolean;",
     "function Decrypt(pszSource, pszDest: AnsiString): Integer;"),
    ("stdcall", "'GetEngineVersion@files:QXINST.dll cdecl delayload'",
     "'GetEngineVersion@files:QXINST.dll stdcall delayload'"),
    ("another export's name", "'GetUNC@files:QXINST.dll cdecl delayload'", "'GetUnc@files:QXINST.dll cdecl delayload'"),
    ("a DLL loaded at Setup's start", "'SPClose@files:QXINST.dll cdecl delayload'", "'SPClose@files:QXINST.dll cdecl'"),
    ("a signed index", "nIndex: Cardinal", "nIndex: Integer"),
    ("a declaration missing", "function KixInstalled(pszMachine: AnsiString): Integer;\n"
     "  external 'KixInstalled@files:QXINST.dll cdecl delayload';\n", ""),
    ("a helper missing", "function QxFindRepl(", "function QxFindReplica("),
    ("a helper's call short of an argument", "GetSharePath(B1, B2)", "GetSharePath(B1)"),
    ("a result for a void export", "procedure SPSetPos(nPos: Integer);", "function SPSetPos(nPos: Integer): Integer;"),
    ("the DLL not carried", "Flags: dontcopy", "Flags: ignoreversion"),
    ("a result value left out", "2 skip\n  it (this computer); 0 past the last one", "2 skip\n  it (this computer)"),
    ("a boolean told as always true", "1 decoded; 0 after a message box", "Always True"),
]
# The same for the guide.
GUIDE_ALTERATIONS = [
    ("a result value left out of the guide", "int: 1 written; 2 skip it (this computer); 0 past the last",
     "int: 1 written; 0 past the last"),
    ("an export missing from the guide", "| `SetBuffer`() | — | none | — |\n", ""),
    ("a result told as none in the guide", "| `SetUnattended`(on) | — | none |",
     "| `SetUnattended`(on) | — | int: 1 |"),
]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--source", required=True)
    args, _ = ap.parse_known_args()
    header_text = open(os.path.join(args.source, "include", "qxinst.h")).read()
    iss_text = open(os.path.join(args.source, "hosts", "inno", "qxinst.iss")).read()
    readme_text = open(os.path.join(args.source, "README.md"), encoding="utf-8").read()
    nsh_text = open(os.path.join(args.source, "hosts", "nsis", "qxinst.nsh"), encoding="utf-8").read()
    guide_text = open(os.path.join(args.source, "hosts", "README-hosts.txt"), encoding="utf-8").read()
    exports = header_exports(header_text)

    def all_findings(iss, guide):
        return check(header_text, iss) + check_results(exports, readme_text, nsh_text, iss, guide)

    findings = all_findings(iss_text, guide_text)
    for finding in findings:
        print("FAIL: " + finding)
    alterations = [(what, old, new, "qxinst.iss") for what, old, new in ALTERATIONS]
    alterations += [(what, old, new, "the guide") for what, old, new in GUIDE_ALTERATIONS]
    for what, old, new, where in alterations:
        text = iss_text if where == "qxinst.iss" else guide_text
        if text.count(old) != 1:
            print("FAIL: the alteration '%s' no longer applies to %s" % (what, where))
            findings.append(what)
        elif not (all_findings(text.replace(old, new), guide_text) if where == "qxinst.iss"
                  else all_findings(iss_text, text.replace(old, new))):
            print("FAIL: %s with %s passes the check" % (where, what))
            findings.append(what)
    if findings:
        return 1
    helpers = sum(1 for _, kinds in exports.values() if any(buffer for _, buffer in kinds))
    print("qxinst.iss: %d declarations and %d helpers match qxinst.h; README, the guide, qxinst.nsh and "
          "qxinst.iss tell every result alike; %d altered copies refused" % (len(exports), helpers, len(alterations)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
