#!/usr/bin/env python3
"""Derive which clause each error code breaks from the conformance corpus, whose folders are
named by clause ("6.2.4.3 Uncalibrated - Device colour spaces"), and write the clause columns
of the table of rules sdf/Rules.def.

  gen-clause-table.py --tolva build/apps/tolva/tolva --corpus ../shared/corpus [--table FILE]
                      [--output FILE] [--check]

Every file of the manifest is validated at its level with `tolva --json -`. For each code
and part (1 to 4 of ISO 19005, 0 for PDF/UA-1), the candidate folders are those where a
larger share of the failing files than of the passing files records the code: there the code
tells the fault the folder is about, rather than something its files have in common. Each
failing file then gives the codes it records an equal share of one vote (a file that records
the code alone says more about it than one that records five), and the clause is the
candidate with the most votes; ties go to the candidate with more failing files recording
the code, then to the lower clause. A code without a candidate keeps an empty clause: it stays
unknown rather than guessed.

The table (--table, default sdf/Rules.def of this tree) is read, its clause columns replaced,
and the result written to --output (default: standard output); the other columns stay as they
are. --check verifies the table's clauses instead: each must still be a candidate (status 1
otherwise), so that the table stays true while other changes to the checks move votes around;
clauses the derivation would now choose differently are listed."""
import argparse, collections, json, os, re, subprocess, sys, tempfile

PARTS = {"1A": 1, "1B": 1, "2A": 2, "2B": 2, "2U": 2, "3A": 3, "3B": 3, "3U": 3,
         "4": 4, "4E": 4, "4F": 4, "UA1": 0}
CLAUSE = re.compile(r"^(\d+(?:\.\d+)*)\s")
# One row of the table: macro, kind, number, levels, five clause columns, message.
ROW = re.compile(r'^(QVX_RULE(?:_AGAIN)?)\((PDFA|PDFUA), (\d+), ([^,]+), "([^"]*)", "([^"]*)", "([^"]*)", '
                 r'"([^"]*)", "([^"]*)", (".*")\)$', re.M)
# Clause columns of the table, by part: 1 to 4 of ISO 19005, then PDF/UA-1 (part 0).
COLUMNS = (1, 2, 3, 4, 0)
TABLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "sdf", "Rules.def")


def folder_clause(path):
    """The clause of the deepest folder of a manifest path that is named by one."""
    for part in reversed(path.split("/")[:-1]):
        m = CLAUSE.match(part + " ")
        if m:
            return m.group(1)
    return None


def clause_key(clause):
    return tuple(int(n) for n in clause.split("."))


def validate(tolva, corpus, level, paths, cwd):
    """Codes recorded per manifest path, from one tolva run over the paths."""
    files = [os.path.join(corpus, p) for p in paths]
    p = subprocess.run([tolva, "--json", "-", "-x", "--verb", "0", "-l", level] + files, cwd=cwd,
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True)
    report = json.loads(p.stdout)
    by_path = {os.path.relpath(f["path"], corpus): f for f in report["files"]}
    return {p: [e["number"] for e in by_path[p]["errors"]] for p in paths if p in by_path}


def derive(tolva, corpus):
    rows = [l.rstrip("\n").split("\t")[:3] for l in open(os.path.join(corpus, "MANIFEST.tsv"), encoding="utf-8")][1:]
    files = collections.defaultdict(list)
    for path, level, expected in rows:
        if expected in ("pass", "fail") and level in PARTS and folder_clause(path):
            files[level].append(path)
    expected_of = {path: expected for path, _, expected in rows}
    # (expected, code, part) -> clause -> files recording it; (expected, part, clause) -> files
    hits = collections.defaultdict(collections.Counter)
    votes = collections.defaultdict(collections.Counter)   # (code, part) -> clause -> votes
    totals = collections.Counter()
    with tempfile.TemporaryDirectory() as cwd:
        for level in sorted(files):
            part = PARTS[level]
            for path, codes in validate(tolva, corpus, level, files[level], cwd).items():
                clause, expected = folder_clause(path), expected_of[path]
                totals[(expected, part, clause)] += 1
                for code in set(codes):
                    hits[(expected, code, part)][clause] += 1
                    if expected == "fail":
                        votes[(code, part)][clause] += 1 / len(set(codes))
    table, candidates_of = {}, {}
    for (expected, code, part), counts in hits.items():
        if expected != "fail":
            continue
        passing = hits.get(("pass", code, part), collections.Counter())

        def share(kind, n, clause):
            total = totals[(kind, part, clause)]
            return n / total if total else 0.0

        candidates = [c for c in counts if share("fail", counts[c], c) > share("pass", passing[c], c)]
        candidates_of[(code, part)] = set(candidates)
        if candidates:
            vote = votes[(code, part)]
            # Votes are sums of fractions; rounding keeps equal sums equal.
            table[(code, part)] = max(candidates, key=lambda c: (round(vote[c], 9), counts[c],
                                                                 [-n for n in clause_key(c)]))
    return table, candidates_of


def code_of(m):
    return -int(m.group(3)) if m.group(2) == "PDFUA" else int(m.group(3))


def table_clauses(text):
    """(code, part) -> clause of every non-empty clause cell of the table."""
    rows = {}
    for m in ROW.finditer(text):
        for part, clause in zip(COLUMNS, m.groups()[4:9]):
            if clause:
                rows[(code_of(m), part)] = clause
    return rows


def render(text, table):
    """The table with its clause columns taken from the derived table."""
    def row(m):
        cells = ", ".join(f'"{table.get((code_of(m), part), "")}"' for part in COLUMNS)
        return f"{m.group(1)}({m.group(2)}, {m.group(3)}, {m.group(4)}, {cells}, {m.group(10)})"
    return ROW.sub(row, text)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--tolva", required=True)
    ap.add_argument("--corpus", required=True)
    ap.add_argument("--table", default=TABLE, help="table of rules to read (default: %(default)s)")
    ap.add_argument("--output", help="file to write (default: standard output)")
    ap.add_argument("--check", action="store_true", help="compare the table's clauses with the corpus")
    a = ap.parse_args()
    with open(a.table, encoding="utf-8") as f:
        text = f.read()
    table, candidates_of = derive(os.path.abspath(a.tolva), os.path.abspath(a.corpus))
    if a.check:
        rows = table_clauses(text)
        if not rows:
            sys.exit(f"gen-clause-table: no clauses in {a.table}")
        wrong = [(c, p, cl) for (c, p), cl in sorted(rows.items()) if cl not in candidates_of.get((c, p), set())]
        for (code, part), clause in sorted(rows.items()):
            if table.get((code, part)) != clause:
                print(f"would change: code {code} part {part}: {clause} -> {table.get((code, part), '(none)')}")
        for code, part, clause in wrong:
            print(f"unsupported: code {code} part {part} clause {clause}")
        print(f"{len(rows)} rows, {len(wrong)} unsupported by the corpus")
        sys.exit(1 if wrong else 0)
    text = render(text, table)
    if a.output:
        with open(a.output, "w", encoding="utf-8") as f:
            f.write(text)
    else:
        sys.stdout.write(text)


if __name__ == "__main__":
    main()
