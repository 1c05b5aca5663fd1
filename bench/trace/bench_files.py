#!/usr/bin/python3
"""Save and load of a 500,000-point data file beside snprintf, pandas and numpy, and a VCD of
500,001 level changes beside sigrok-cli, in one run.

    bench/trace/bench_files.py BUILD_DIR     (an optimised build: cmake -DCMAKE_BUILD_TYPE=Release)
"""
import os
import subprocess
import sys
import tempfile
import time


def best(run, repeat=3):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build-rel"
    import numpy
    import pandas

    with tempfile.TemporaryDirectory() as folder:
        out = subprocess.run([os.path.join(build, "bench/trace/bench_data_file"), folder],
                             check=True, capture_output=True, text=True,
                             env=dict(os.environ, QT_QPA_PLATFORM="offscreen")).stdout
        ours = {name: float(seconds) for name, seconds in (l.split() for l in out.splitlines())}
        path = os.path.join(folder, "sorted.txt")
        pandas_s = best(lambda: pandas.read_csv(path, sep=" ", header=None))
        numpy_s = best(lambda: numpy.loadtxt(path))
        toggle = os.path.join(folder, "toggle.vcd")
        sigrok_s = best(lambda: subprocess.run(
            ["sigrok-cli", "-I", "vcd:downsample=9765625", "-i", toggle, "-O", "csv"],
            check=True, capture_output=True))

    rows = [
        ("save (to_chars, temp file + rename)", ours["save"], ""),
        ("save, snprintf loop", ours["save_snprintf"], f'{ours["save_snprintf"] / ours["save"]:.1f}x slower than ours'),
        ("load into the series", ours["load"], ""),
        ("load, reversed file", ours["load_reversed"], f'{ours["load_reversed"] / ours["load"]:.2f}x the sorted file'),
        ("load, shuffled file", ours["load_shuffled"], f'{ours["load_shuffled"] / ours["load"]:.2f}x the sorted file'),
        ("pandas.read_csv", pandas_s, f'{pandas_s / ours["load"]:.1f}x slower than ours'),
        ("numpy.loadtxt", numpy_s, f'{numpy_s / ours["load"]:.1f}x slower than ours'),
        ("VCD export, 500,001 level changes", ours["vcd_export"], ""),
        ("VCD import into the series", ours["vcd_import"], ""),
        ("sigrok-cli, the same VCD to CSV", sigrok_s,
         f'{sigrok_s / max(ours["vcd_export"], ours["vcd_import"]):.1f}x our slower one'),
    ]
    print(f'{"500,000 points":40} {"seconds":>9}  ratio')
    for name, seconds, ratio in rows:
        print(f"{name:40} {seconds:9.4f}  {ratio}")


if __name__ == "__main__":
    main()
