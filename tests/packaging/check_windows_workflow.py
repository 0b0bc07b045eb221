#!/usr/bin/env python3
"""Reads the Windows CI workflow back, since it runs only on GitHub's Windows runners: it must
parse, every step must be well formed, every step output and env value it uses must exist, and
the installer it builds, starts and uploads must carry the name the update manager saves its
download under and CPack gives the installer.
    check_windows_workflow.py SOURCE_ROOT"""
import re
import sys
from pathlib import Path

import yaml

root = Path(sys.argv[1])
text = (root / ".github/workflows/windows.yml").read_text()
workflow = yaml.safe_load(text)
problems = []

jobs = workflow.get("jobs") or {}
if not jobs:
    problems.append("no jobs")
for name, job in jobs.items():
    if not str(job.get("runs-on", "")).startswith("windows"):
        problems.append(f"job {name} does not run on a Windows runner")
    env = dict(workflow.get("env") or {}, **(job.get("env") or {}))
    steps = job.get("steps") or []
    ids = {step["id"] for step in steps if "id" in step}
    for number, step in enumerate(steps, 1):
        label = step.get("name", f"step {number}")
        if ("uses" in step) == ("run" in step):
            problems.append(f"{label}: needs exactly one of 'uses' and 'run'")
        if "uses" in step and not re.fullmatch(r"[\w.-]+/[\w./-]+@[\w.-]+", step["uses"]):
            problems.append(f"{label}: '{step['uses']}' is not owner/action@version")
        for used in set(re.findall(r"steps\.([\w-]+)\.", yaml.safe_dump(step))):
            if used not in ids:
                problems.append(f"{label}: uses the outputs of an unknown step '{used}'")
        for used in set(re.findall(r"\$\{\{\s*env\.(\w+)", yaml.safe_dump(step))):
            if used not in env:
                problems.append(f"{label}: uses env.{used}, which is not set")

installer = re.search(r'QStringLiteral\("(\w+\.exe)"\)',
                      (root / "src/update/UpdateManager.cpp").read_text())
cpack_name = re.search(r"CPACK_PACKAGE_FILE_NAME\s+(\S+)\)", (root / "cmake/PackageGenerators.cmake").read_text())
if not installer or not cpack_name:
    problems.append("the installer name was not found in UpdateManager.cpp or PackageGenerators.cmake")
else:
    name = installer.group(1)
    if cpack_name.group(1) + ".exe" != name:
        problems.append(f"CPack names the installer {cpack_name.group(1)}.exe, the update manager {name}")
    if text.count(name) < 2:
        problems.append(f"the workflow does not start and upload {name}")

for problem in problems:
    print("FAIL:", problem)
sys.exit(1 if problems else 0)
