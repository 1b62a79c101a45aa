#!/usr/bin/env python3
"""Lists the tests of CTest JUnit reports (ctest --output-junit) that did not run, by reason.

    skipped_tests.py REPORT.xml...

Prints the number of tests that did not run on the first line, then one line per distinct
reason: "<count> skipped: <reason>". A missing or unreadable report counts as one test that did
not run, so that a stage cannot hide its skips by failing to write its report.

The reason is what the test said when it skipped: the message of GTEST_SKIP(), the reason of a
Python unittest skip, a "SKIP: " line of the shell tests, or else the last line of its output.
"""
import collections
import re
import sys
import xml.etree.ElementTree as ElementTree

GTEST = re.compile(r": Skipped\n(.*?)\n\[  SKIPPED \]", re.S)
UNITTEST = re.compile(r"skipped '(.*?)'")
SHELL = re.compile(r"^SKIP: (.*)$", re.M)


def reason_of(case):
    output = case.findtext("system-out") or ""
    for pattern in (GTEST, UNITTEST, SHELL):
        found = pattern.search(output)
        if found and found.group(1).strip():
            return found.group(1).strip().splitlines()[0]
    lines = [line.strip() for line in output.splitlines() if line.strip()]
    if lines:
        return lines[-1]
    skipped = case.find("skipped")
    message = skipped.get("message") if skipped is not None else None
    return f"no reason given ({message or case.get('status')})"


def main(paths):
    reasons = collections.Counter()
    for path in paths:
        try:
            cases = ElementTree.parse(path).getroot().iter("testcase")
        except (OSError, ElementTree.ParseError) as error:
            reasons[f"no test report ({error})"] += 1
            continue
        for case in cases:
            if case.get("status") != "run" and case.find("failure") is None:
                reasons[reason_of(case)] += 1
    print(sum(reasons.values()))
    for reason, count in sorted(reasons.items(), key=lambda item: (-item[1], item[0])):
        print(f"{count} skipped: {reason}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
