#!/usr/bin/env python3
"""Recording benchmark: four built-in 1080p30 cameras recorded for SECONDS with the software
H.264 encoder at 16 Mbit/s, against the ffmpeg command line encoding the same frames with the
same settings, in the same run.

Reports: dropped frames (from the program's log), frames in every MP4 (ffprobe), the program's
CPU time per recorded frame, and the command line's CPU time per frame for the same work
(decoding the recorded file and turning it into RGBA are measured separately and subtracted,
so what remains is RGBA -> YUV conversion plus encoding, as in the program).

Usage: bench/record_benchmark.py [SECONDS] [path/to/vireon]
"""
import os
import re
import resource
import subprocess
import sys
import tempfile


def child_cpu_seconds():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def run_measured(cmd, **kwargs):
    before = child_cpu_seconds()
    result = subprocess.run(cmd, **kwargs)
    return result, child_cpu_seconds() - before


def count_frames(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-count_packets", "-select_streams", "v:0",
                          "-show_entries", "stream=nb_read_packets", "-of", "csv=p=0", path],
                         capture_output=True, text=True, check=True).stdout.strip()
    return int(out)


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 60.0
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    vireon = sys.argv[2] if len(sys.argv) > 2 else os.path.join(root, "build", "vireon")
    env = dict(os.environ, SDL_AUDIODRIVER="dummy", QT_QPA_PLATFORM="offscreen")

    with tempfile.TemporaryDirectory() as out:
        result, program_cpu = run_measured(
            [vireon, "--headless", "--demo", "--record", str(seconds), "--output", out, "--session", "Bench"],
            env=env, capture_output=True, text=True)
        if result.returncode != 0:
            print(result.stderr[-3000:])
            sys.exit("recording failed")
        # The last line; the phone's address comes before it.
        take = result.stdout.strip().splitlines()[-1]
        dropped = sum(int(n) for n in re.findall(r"frames, (\d+) dropped", result.stderr))
        cameras = sorted(f for f in os.listdir(take) if f.endswith(".mp4"))
        frames = {f: count_frames(os.path.join(take, f)) for f in cameras}
        total_frames = sum(frames.values())

        # The same frames through the command line: decode + RGBA (+ encode), and without the encode.
        encode_cpu = decode_cpu = 0.0
        for f in cameras:
            src = os.path.join(take, f)
            common = ["ffmpeg", "-v", "error", "-threads", "1", "-i", src, "-vf", "format=rgba"]
            _, both = run_measured(common + ["-pix_fmt", "yuv420p", "-c:v", "libx264", "-preset", "ultrafast",
                                             "-threads", "1", "-bf", "2", "-g", "60", "-b:v", "16M",
                                             "-maxrate", "16M", "-bufsize", "16M", "-y",
                                             os.path.join(out, "cli_" + f)], check=True)
            _, decode = run_measured(common + ["-f", "null", "-"], check=True)
            encode_cpu += both
            decode_cpu += decode
        cli_per_frame = (encode_cpu - decode_cpu) / total_frames * 1000.0
        program_per_frame = program_cpu / total_frames * 1000.0

    expected = round(seconds * 30)
    print(f"take: {seconds:g} s, 4 cameras 1920x1080 at 30 fps, libx264 ultrafast, 16 Mbit/s")
    for f in cameras:
        print(f"  {f}: {frames[f]} frames (expected {expected} +- 1)")
    print(f"  dropped frames: {dropped}")
    print(f"program CPU: {program_cpu:.1f} s = {program_per_frame:.2f} ms per recorded frame "
          f"(capture, test patterns, audio, conversion, encoding, files)")
    print(f"ffmpeg CLI, same frames and settings: {cli_per_frame:.2f} ms per frame "
          f"(RGBA -> YUV and encoding; decode pass subtracted)")
    print(f"ratio program / CLI: {program_per_frame / cli_per_frame:.2f} (target <= 1.15)")
    ok = dropped == 0 and all(abs(n - expected) <= 1 for n in frames.values())
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
