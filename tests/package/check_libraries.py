#!/usr/bin/env python3
"""Checks that an installed package brings every shared library its programs
load: each library that ldd lists for a program must belong to a package
that the package depends on, directly or through the packages those depend
on (Depends and Pre-Depends; every installed alternative; a virtual package
through the installed packages that provide it). Prints each library with
its package, then what is wrong; exits 1 when anything is.

    check_libraries.py PACKAGE PROGRAM...
"""
import os
import re
import subprocess
import sys


def installed_packages():
    """name -> (depends, provides) of every installed package."""
    out = subprocess.run(
        ["dpkg-query", "-W", "-f=${Package}\t${db:Status-Status}\t${Depends}, ${Pre-Depends}"
         "\t${Provides}\n"],
        check=True, capture_output=True, text=True).stdout
    packages = {}
    for line in out.splitlines():
        name, status, depends, provides = line.split("\t")
        if status == "installed":
            packages[name] = (depends, provides)
    return packages


def names(relations):
    """The package names a Depends or Provides field mentions, alternatives
    included, without versions or architectures."""
    found = []
    for relation in relations.split(","):
        for alternative in relation.split("|"):
            name = re.split(r"[\s(:\[]", alternative.strip(), maxsplit=1)[0]
            if name:
                found.append(name)
    return found


def dependency_closure(package, packages):
    providers = {}
    for name, (_, provides) in packages.items():
        for virtual in names(provides):
            providers.setdefault(virtual, set()).add(name)
    closure = set()
    todo = names(packages[package][0])
    while todo:
        name = todo.pop()
        for real in ({name} if name in packages else set()) | providers.get(name, set()):
            if real not in closure:
                closure.add(real)
                todo.extend(names(packages[real][0]))
    return closure


def owner(path):
    """The package that ships a library file, tried under the names a merged
    /usr gives it; None when no package does."""
    candidates = [path, os.path.realpath(path)]
    for c in list(candidates):
        if c.startswith("/usr/"):
            candidates.append(c[len("/usr"):])
        else:
            candidates.append("/usr" + c)
    for candidate in candidates:
        result = subprocess.run(["dpkg-query", "-S", candidate], capture_output=True, text=True)
        if result.returncode == 0:
            return result.stdout.split(":", 1)[0].split(",")[0].strip()
    return None


def libraries(program):
    """path of every library ldd lists for the program; a library that is not
    found is listed by its name with the path None."""
    out = subprocess.run(["ldd", program], check=True, capture_output=True, text=True).stdout
    found = {}
    for line in out.splitlines():
        line = line.strip()
        m = re.match(r"(\S+) => (not found|\S+)", line)
        if m:
            found[m.group(1)] = None if m.group(2) == "not found" else m.group(2)
        elif line.startswith("/"):
            found[line.split()[0]] = line.split()[0]
    return found


def main():
    package, programs = sys.argv[1], sys.argv[2:]
    packages = installed_packages()
    if package not in packages:
        print(f"{package} is not installed")
        return 1
    allowed = dependency_closure(package, packages)
    problems = []
    for program in programs:
        for name, path in sorted(libraries(program).items()):
            if path is None:
                problems.append(f"{program}: {name} is not found")
                continue
            shipped_by = owner(path)
            print(f"{program}: {path} from {shipped_by}")
            if shipped_by is None:
                problems.append(f"{program}: {path} belongs to no package")
            elif shipped_by not in allowed:
                problems.append(f"{program}: {path} belongs to {shipped_by}, which {package} "
                                f"does not depend on")
    for problem in problems:
        print("FAILED: " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
