"""Reads JUnit XML (standard input) with xml.etree and prints what a CI
system would list: the totals, then one line per test case with its failure
type and message, and the failure's or output's text lines indented."""
import sys
import xml.etree.ElementTree as ET

root = ET.fromstring(sys.stdin.buffer.read())
print(f"{root.tag} tests={root.get('tests')} failures={root.get('failures')} errors={root.get('errors')}")
for suite in root.iter("testsuite"):
    print(f"suite {suite.get('name')} tests={suite.get('tests')} failures={suite.get('failures')}")
    for case in suite.iter("testcase"):
        failure = case.find("failure")
        output = case.find("system-out")
        if failure is not None:
            print(f"  {case.get('name')}: FAILED {failure.get('type')}: {failure.get('message')}")
            body = failure.text or ""
        else:
            print(f"  {case.get('name')}: passed")
            body = output.text if output is not None else ""
        for line in (body or "").splitlines():
            print(f"    {line}")
