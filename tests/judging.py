# SPDX-License-Identifier: MIT
"""What the judges of mapsyms export share: running a tool, counting cases, comparing answers."""

import subprocess

results = {"passed": 0, "failed": 0}


def run(*args, check=True, **kwargs):
    """The tool's run, its output as text; an AssertionError when check and it failed."""
    done = subprocess.run(args, capture_output=True, text=True, errors="replace", **kwargs)
    if check and done.returncode != 0:
        raise AssertionError(f"{args[0]} exited {done.returncode}: {done.stderr[:600]}")
    return done


def case(name, test, *args):
    """Runs one check, counting it passed or failed (and saying why)."""
    try:
        test(*args)
        results["passed"] += 1
    except AssertionError as error:
        results["failed"] += 1
        print(f"{name}: {error}")


def expect(what, got, wanted):
    """got must equal wanted; of lists, the first few that differ are said."""
    if got != wanted:
        extra = [x for x in got if x not in wanted][:3] if isinstance(got, list) else got
        missing = [x for x in wanted if x not in got][:3] if isinstance(wanted, list) else wanted
        raise AssertionError(f"{what} differ: {extra!r} against {missing!r}")


def summary():
    """The closing line, and the exit status."""
    print(f"{results['passed']} passed, {results['failed']} failed")
    return 1 if results["failed"] else 0
