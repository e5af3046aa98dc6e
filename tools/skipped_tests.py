#!/usr/bin/env python3
"""Holds the README's lists of the tests skipped for each user to the suite.

  skipped_tests.py check README JUNIT   after a run (ctest --output-junit JUNIT):
                                     the list for the user who ran it names
                                     exactly the tests that were skipped, and
                                     its count is theirs
  skipped_tests.py known README BUILD   every name in the lists is a test of
                                     the suite in BUILD (ctest -N), and each
                                     pattern matches one

The lists stand in README between "<!-- skipped as root -->" and
"<!-- skipped as another user -->" and their closing "<!-- /... -->" marks:
a first line saying "N tests", then one "- `NAME`: why" per test, where a
NAME holding "*" stands for every test it matches. A failure names each test
missing from the list, with the reason its skip gave, and each one listed in
vain, so that the list is mended by copying those lines.

A test that a machine unlike the README's keeps from its work says so in its
reason: "the machine lacks " and one of the CONDITIONS below. Such a skip is
told, and it needs no place in the user's list only where the check finds for
itself that the condition is missing; on a machine as the README describes it
fails the run like any other skip the list does not name. The README names
those tests under "<!-- skipped where root cannot mount -->", which `known`
holds to the suite as well.
"""
import fnmatch
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

LISTS = {"root": "skipped as root", "another": "skipped as another user",
         "nomount": "skipped where root cannot mount"}
LACKS = "the machine lacks "


def root_can_mount():
    """Whether a memory file system mounts here in a mount namespace of its
    own, as the tests' do (left unshared from the machine's propagation, which
    a chroot cannot make private, and so unmounted again). Another user's list
    names what mounting keeps from that user on any machine."""
    if os.geteuid() != 0:
        return True
    with tempfile.TemporaryDirectory() as at:
        probe = ["unshare", "--mount", "--propagation", "unchanged", "sh", "-c",
                 'mount -t tmpfs zvk-probe "$0" && umount "$0"', at]
        return subprocess.run(probe, capture_output=True).returncode == 0


# The README's conditions that `./test` cannot bring about, each with how the
# check sees whether the machine has it.
CONDITIONS = {"file systems that root can mount": root_can_mount}


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


def differences(stated, listed, skipped, lacking=()):
    """(the lines that tell how `listed` and `stated` differ from `skipped`, a
    map of each skipped test to its reason, none when they agree; the lines
    that tell each test not listed that was skipped for a condition in
    `lacking`, which the list and its count leave out)."""
    told, spared = [], []
    covered = set()
    for name in listed:
        hits = fnmatch.filter(skipped, name) if "*" in name else [name] if name in skipped else []
        if not hits:
            told.append("listed but not skipped: - `%s`" % name)
        covered.update(hits)
    for name in sorted(set(skipped) - covered):
        if any(LACKS + condition in skipped[name] for condition in lacking):
            spared.append("skipped on a machine unlike the README's: - `%s`: %s" % (name, skipped[name]))
        else:
            told.append("skipped but not listed: - `%s`: %s" % (name, skipped[name]))
    if stated != len(skipped) - len(spared):
        told.append("the list says %s tests; %d were skipped" % (stated, len(skipped) - len(spared)))
    return told, spared


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
            lacking = [condition for condition, there in CONDITIONS.items() if not there()]
            told, spared = differences(stated, listed, skipped_in(argv[3]), lacking)
            for line in spared:
                print("%s: %s" % (argv[2], line))
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
