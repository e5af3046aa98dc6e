#!/usr/bin/env python3
"""The README's lists of skipped tests name tests of the suite, and the
comparison after a run tells each name that is missing or listed in vain.

  skipped_tests_test.py README BUILD
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import skipped_tests  # noqa: E402

README = """x
<!-- skipped as root -->
As root, 2 tests are skipped:
- `A.One/nobody`: why
- `B.*/root`: why
<!-- /skipped as root -->
"""

# (what the run skipped, the lines the comparison gives)
CASES = [
    ({"A.One/nobody": "r", "B.Two/root": "r"}, []),
    ({"A.One/nobody": "r", "B.Two/root": "r", "B.Three/root": "r"},
     ["the list says 2 tests; 3 were skipped"]),
    ({"A.One/nobody": "r"},
     ["listed but not skipped: - `B.*/root`", "the list says 2 tests; 1 were skipped"]),
    ({"A.One/nobody": "r", "B.Two/root": "r", "C.New": "needs root"},
     ["skipped but not listed: - `C.New`: needs root", "the list says 2 tests; 3 were skipped"]),
]


def main():
    failed = 0
    stated, listed = skipped_tests.readme_list(README, "root")
    for skipped, want in CASES:
        got = skipped_tests.differences(stated, listed, skipped)
        if got != want:
            failed += 1
            print("for %s: %s, not %s" % (sorted(skipped), got, want))
    # The real README's lists against the suite as built.
    failed += skipped_tests.main(["skipped_tests.py", "known", sys.argv[1], sys.argv[2]])
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
