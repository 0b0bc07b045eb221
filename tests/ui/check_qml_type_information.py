#!/usr/bin/env python3
"""The QML module's generated type information describes the back end, and qmllint resolves
every type and singleton of the module in its documents.

  check_qml_type_information.py QMLLINT MODULE_IMPORT_DIR UI_SOURCE_DIR

Other qmllint findings are counted by kind and printed, not failed on: some are limits of the
linter (context properties such as ChannelsModel, loosely typed test seams)."""
import collections
import json
import pathlib
import re
import subprocess
import sys
import tempfile

qmllint, import_dir, ui_dir = sys.argv[1], pathlib.Path(sys.argv[2]), pathlib.Path(sys.argv[3])
module_dir = import_dir / "Vireon"
failures = []

# The back end's names, with what QML reads of them.
types_text = (module_dir / "vireon_qml.qmltypes").read_text()
components = re.split(r"\n    Component \{", types_text)[1:]
by_export = {}
for component in components:
    for export in re.findall(r'"Vireon/(\w+) 1\.0"', component):
        by_export[export] = component
expected = {"AppManager": ("isRecording", True), "UpdateManager": ("updateAvailable", True),
            "RemoteServer": ("serverUrl", True),
            "VideoStreamItem": ("channelIndex", False)}
for name, (member, singleton) in expected.items():
    component = by_export.get(name)
    if component is None:
        failures.append(f"{name} is missing from the type information")
        continue
    if f'name: "{member}"' not in component:
        failures.append(f"{name} is described without its member {member}")
    if 'accessSemantics: "reference"' not in component:
        failures.append(f"{name} is not described as an object type")
    if ("isSingleton: true" in component) != singleton:
        failures.append(f"{name} is {'not ' if singleton else ''}described as a singleton")

# The module's own names: the C++ exports and the documents listed in the qmldir.
qmldir = (module_dir / "qmldir").read_text()
module_names = set(expected) | set(by_export) | set(re.findall(r"^(?:singleton )?([A-Z]\w*) 1\.0 ", qmldir, re.M))

documents = sorted(str(p) for p in (ui_dir / "qml").rglob("*.qml"))
with tempfile.TemporaryDirectory() as scratch:
    report = pathlib.Path(scratch) / "lint.json"
    subprocess.run([qmllint, "-I", str(import_dir), "--json", str(report), *documents],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    findings = json.loads(report.read_text())["files"]

kinds = collections.Counter()
unresolved = re.compile(r"not resolved|was not found|Did you add all import paths|is not a type")
for document in findings:
    source = pathlib.Path(document["filename"]).read_text()
    for warning in document["warnings"]:
        if warning["type"] != "warning":
            continue
        message = warning["message"]
        kinds[re.sub(r'"[^"]*"', '"…"', message)] += 1
        where = f'{document["filename"]}:{warning["line"]}'
        if unresolved.search(message):
            failures.append(f"{where}: {message}")
        elif message == "Unqualified access":
            offset = warning.get("charOffset", -1)
            token = re.match(r"\w*", source[offset:]).group(0) if offset >= 0 else ""
            if token in module_names:
                failures.append(f"{where}: {token} is not known to qmllint")

for kind, count in kinds.most_common():
    print(f"{count:5}  {kind}")
print(f"{sum(kinds.values()):5}  qmllint warnings in all")
for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
