#!/usr/bin/env python3
"""The README's lists of skipped tests name tests of the suite, and the
comparison after a run tells each name that is missing or listed in vain;
a skip for a condition the machine lacks is told apart, only where it lacks it.

  skipped_tests_test.py README BUILD
"""
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import skipped_tests  # noqa: E402

README = """x
<!-- skipped as root -->
As root, 2 tests are skipped:
- `A.One/nobody`: why
- `B.*/root`: why
<!-- /skipped as root -->
"""

NO_MOUNT = "the machine lacks file systems that root can mount"
MOUNTING = [NO_MOUNT[len(skipped_tests.LACKS):]]

# (what the run skipped, the conditions the machine lacks, the lines that fail
# the run, the lines that tell skips the list leaves out)
CASES = [
    ({"A.One/nobody": "r", "B.Two/root": "r"}, [], [], []),
    ({"A.One/nobody": "r", "B.Two/root": "r", "B.Three/root": "r"}, [],
     ["the list says 2 tests; 3 were skipped"], []),
    ({"A.One/nobody": "r"}, [],
     ["listed but not skipped: - `B.*/root`", "the list says 2 tests; 1 were skipped"], []),
    ({"A.One/nobody": "r", "B.Two/root": "r", "C.New": "needs root"}, [],
     ["skipped but not listed: - `C.New`: needs root", "the list says 2 tests; 3 were skipped"], []),
    # A skip that does not name the condition is drift on any machine.
    ({"A.One/nobody": "r", "B.Two/root": "r", "M.Own": "cannot mount here"}, MOUNTING,
     ["skipped but not listed: - `M.Own`: cannot mount here", "the list says 2 tests; 3 were skipped"], []),
    # A listed test skipped for the condition still counts in the list.
    ({"A.One/nobody": NO_MOUNT, "B.Two/root": "r"}, MOUNTING, [], []),
]

# A run as CTest writes it where root cannot mount (a container without the
# right to), read with the reasons its skips gave.
JUNIT = """<?xml version="1.0" encoding="UTF-8"?>
<testsuite name="zvk" tests="4" failures="0" skipped="3">
<testcase name="A.One/nobody" status="notrun"><skipped message="Skipped"/>
<system-out>x.cpp:1: Skipped
r

[  SKIPPED ] A.One/nobody</system-out></testcase>
<testcase name="B.Two/root  # GetParam() = false" status="notrun"><skipped message="Skipped"/>
<system-out>y.cpp:2: Skipped
%s: tmpfs

</system-out></testcase>
<testcase name="M.Own/nobody" status="notrun"><skipped message="Skipped"/>
<system-out>z.cpp:3: Skipped
%s
</system-out></testcase>
<testcase name="M.Ran" status="run"><system-out>ok</system-out></testcase>
</testsuite>
""" % (NO_MOUNT, NO_MOUNT)


def main():
    failed = 0
    stated, listed = skipped_tests.readme_list(README, "root")
    for skipped, lacking, want, spared in CASES:
        got = skipped_tests.differences(stated, listed, skipped, lacking)
        if got != (want, spared):
            failed += 1
            print("for %s lacking %s: %s, not %s" % (sorted(skipped), lacking, got, (want, spared)))
    with tempfile.NamedTemporaryFile("w", suffix=".xml") as junit:
        junit.write(JUNIT)
        junit.flush()
        skipped = skipped_tests.skipped_in(junit.name)
    spared = "skipped on a machine unlike the README's: - `M.Own/nobody`: " + NO_MOUNT
    drift = ["skipped but not listed: - `M.Own/nobody`: " + NO_MOUNT, "the list says 2 tests; 3 were skipped"]
    for lacking, want in [(MOUNTING, ([], [spared])), ([], (drift, []))]:
        got = skipped_tests.differences(stated, listed, skipped, lacking)
        if got != want:
            failed += 1
            print("for the results file lacking %s: %s, not %s" % (lacking, got, want))
    # The real README's lists against the suite as built.
    failed += skipped_tests.main(["skipped_tests.py", "known", sys.argv[1], sys.argv[2]])
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
