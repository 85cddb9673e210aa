#!/usr/bin/env python3
"""Writes the inputs of the acceptance cases that the playground can compile
(a source given alone, or with /s or /detail, and no environment) into
OUTDIR/N/, and prints a JSON list of {name, dir, main}.

usage: cases.py RUNNER OUTDIR CASEDIR...
"""
import json
import os
import runpy
import sys
from types import SimpleNamespace

runner_path, outdir, *case_dirs = sys.argv[1:]
# The runner's helpers (its TOML reader and the writing of a case's files),
# loaded without running its main.
runner = SimpleNamespace(**runpy.run_path(runner_path, run_name="acceptance"))

QUIET_SWITCHES = {"/s", "/detail"}
cases = []
for case_dir in case_dirs:
    for root, _, names in os.walk(case_dir):
        for name in sorted(n for n in names if n.endswith(".toml")):
            with open(os.path.join(root, name), "rb") as f:
                doc = runner.tomllib.load(f)
            for case in doc.get("case", []):
                args = case.get("args", ["song.mml"])
                sources = [a for a in args if a not in QUIET_SWITCHES]
                if "env" in case or len(sources) != 1 or sources[0].startswith(("/", "-")):
                    continue
                if "{dir}" in sources[0]:
                    continue
                d = os.path.join(outdir, str(len(cases)))
                os.makedirs(d)
                try:
                    runner.write_files(case, d)
                except Exception:  # a case the runner itself refuses
                    continue
                cases.append({"name": f"{name}:{case['name']}", "dir": d, "main": sources[0]})
json.dump(cases, sys.stdout)
