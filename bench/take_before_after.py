#!/usr/bin/env python3
"""A take's CPU cost with two builds of the program, in one run: four built-in 1080p30 cameras
and the test tone on every channel, each recorded for SECONDS, the two programs taking turns
(A B A B ...) so that the load of the machine falls on both alike.

Reports for each build: frames recorded, frames dropped, CPU time per recorded frame, and the
ratio of the second build's cost to the first's (the first is the reference).

Usage: bench/take_before_after.py REFERENCE_VIREON NEW_VIREON [SECONDS] [ROUNDS]
(VIREON_BENCH_PORT=N gives both programs that remote-control port.)
"""
import os
import re
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from record_benchmark import count_frames, run_measured  # noqa: E402


def record(vireon, seconds):
    env = dict(os.environ, SDL_AUDIODRIVER="dummy", QT_QPA_PLATFORM="offscreen")
    with tempfile.TemporaryDirectory() as out:
        command = [vireon, "--headless", "--demo", "--record", str(seconds), "--output", out, "--session", "Bench"]
        if os.environ.get("VIREON_BENCH_PORT"):
            command += ["--port", os.environ["VIREON_BENCH_PORT"]]
        result, cpu = run_measured(command, env=env, capture_output=True, text=True)
        if result.returncode != 0:
            print(result.stderr[-3000:])
            sys.exit(f"recording with {vireon} failed")
        take = result.stdout.strip()
        dropped = sum(int(n) for n in re.findall(r"frames, (\d+) dropped", result.stderr))
        frames = sum(count_frames(os.path.join(take, f)) for f in os.listdir(take) if f.endswith(".mp4"))
        return cpu, frames, dropped


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    builds = [sys.argv[1], sys.argv[2]]
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 60.0
    rounds = int(sys.argv[4]) if len(sys.argv) > 4 else 2
    totals = [[0.0, 0, 0] for _ in builds]
    for _ in range(rounds):
        for i, vireon in enumerate(builds):
            cpu, frames, dropped = record(vireon, seconds)
            totals[i][0] += cpu
            totals[i][1] += frames
            totals[i][2] += dropped
    per_frame = []
    print(f"take: {seconds:g} s x {rounds} rounds, 4 cameras 1920x1080 at 30 fps, test tone on every channel")
    for name, (cpu, frames, dropped) in zip(("reference", "new"), totals):
        per_frame.append(cpu / frames * 1000.0)
        print(f"  {name}: {frames} frames, {dropped} dropped, {cpu:.1f} s CPU = {per_frame[-1]:.2f} ms per frame")
    print(f"ratio new / reference: {per_frame[1] / per_frame[0]:.3f}")


if __name__ == "__main__":
    main()
