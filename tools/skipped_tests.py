#!/usr/bin/env python3
"""Holds the README's lists of the tests skipped for each user to the suite.

  skipped_tests.py check README JUNIT   after a run (ctest --output-junit JUNIT):
                                     the list for the user who ran it names
                                     exactly the tests that were skipped, and
                                     its count is theirs
  skipped_tests.py known README BUILD   every name in both lists is a test of
                                     the suite in BUILD (ctest -N), and each
                                     pattern matches one

The lists stand in README between "<!-- skipped as root -->" and
"<!-- skipped as another user -->" and their closing "<!-- /... -->" marks:
a first line saying "N tests", then one "- `NAME`: why" per test, where a
NAME holding "*" stands for every test it matches. A failure names each test
missing from the list, with the reason its skip gave, and each one listed in
vain, so that the list is mended by copying those lines.
"""
import fnmatch
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

LISTS = {"root": "skipped as root", "another": "skipped as another user"}


def readme_list(text, user):
    """(the count stated, the names and patterns listed) for `user`."""
    mark = LISTS[user]
    match = re.search(r"<!-- %s -->\n(.*?)<!-- /%s -->" % (mark, mark), text, re.S)
    if not match:
        return None, None
    body = match.group(1)
    stated = re.search(r"(\d+) tests?\b", body)
    names = re.findall(r"^- `([^`]+)`", body, re.M)
    return (int(stated.group(1)) if stated else None), names


def differences(stated, listed, skipped):
    """The lines that tell how `listed` and `stated` differ from `skipped`,
    a map of each skipped test to its reason; none when they agree."""
    told = []
    covered = set()
    for name in listed:
        hits = fnmatch.filter(skipped, name) if "*" in name else [name] if name in skipped else []
        if not hits:
            told.append("listed but not skipped: - `%s`" % name)
        covered.update(hits)
    for name in sorted(set(skipped) - covered):
        told.append("skipped but not listed: - `%s`: %s" % (name, skipped[name]))
    if stated != len(skipped):
        told.append("the list says %s tests; %d were skipped" % (stated, len(skipped)))
    return told


def plain(name):
    """A test's name without the value CTest shows after it."""
    return name.split("  # ")[0].strip()


def skipped_in(junit):
    """Each test the run skipped, with the reason its skip gave."""
    skipped = {}
    for case in ET.parse(junit).getroot().iter("testcase"):
        if case.find("skipped") is None:
            continue
        out = case.findtext("system-out") or ""
        reason = re.search(r": Skipped\n(.*)", out)
        skipped[plain(case.get("name"))] = reason.group(1).strip() if reason and reason.group(1).strip() else "?"
    return skipped


def suite_tests(build):
    listing = subprocess.run(["ctest", "--test-dir", build, "-N"], capture_output=True, text=True, check=True)
    return [plain(name) for name in re.findall(r"^\s*Test\s+#\d+: (.+)$", listing.stdout, re.M)]


def main(argv):
    if len(argv) != 4 or argv[1] not in ("check", "known"):
        sys.stderr.write(__doc__)
        return 64
    with open(argv[2], encoding="utf-8") as f:
        text = f.read()
    told = []
    if argv[1] == "check":
        user = "root" if os.geteuid() == 0 else "another"
        stated, listed = readme_list(text, user)
        if listed is None:
            told.append('no list "%s" in %s' % (LISTS[user], argv[2]))
        else:
            told = differences(stated, listed, skipped_in(argv[3]))
        where = "%s, list %s" % (argv[2], LISTS[user])
    else:
        tests = suite_tests(argv[3])
        for user in LISTS:
            _, listed = readme_list(text, user)
            if listed is None:
                told.append('no list "%s"' % LISTS[user])
                continue
            for name in listed:
                if not (fnmatch.filter(tests, name) if "*" in name else name in tests):
                    told.append("%s: - `%s` is no test of the suite" % (LISTS[user], name))
        where = argv[2]
    for line in told:
        print("%s: %s" % (where, line))
    return 1 if told else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
