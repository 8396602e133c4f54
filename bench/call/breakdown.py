#!/usr/bin/env python3
"""Where a call's time goes, from a perf recording of bench_call (both ovela programs).

    perf record -F 1999 -o call.perf -- build/bin/bench_call 30
    bench/call/breakdown.py call.perf [ticks]

Every sample of the two programs' threads is put in one group by the function and library it fell in;
the groups are printed as shares of the programs' time and as milliseconds per 75 ms tick and
side, from the processor time the programs used (perf's sample count at its frequency) and the
number of ticks (400 a side in a 30 s call unless given).
"""
import collections
import re
import subprocess
import sys

# First match wins: (group, library pattern, function pattern).
GROUPS = [
    ("scripted camera (making the pattern)", r"RXVLIB11", r"makePatternFrame|writePlanar|renderScene|writeBottomUp"),
    ("capture conversion", r"RXVLIB11", r"simd|planar|rgb555|convert|Row|capture"),
    # Debian's libjpeg carries no symbols for most of its functions: compress and decompress
    # are one group (the engine's own benchmark times each).
    ("JPEG compress and decompress (libjpeg)", r"libjpeg", r""),
    # Qt's painting functions are mostly internal and unnamed in its library: its GUI libraries
    # count as drawing, with the surface's own conversion.
    ("drawing (the surface and Qt's painting)", r"", r"VideoSurface|convertRow"),
    ("drawing (the surface and Qt's painting)", r"Qt6Gui|Qt6Widgets|xcb|X11|libQt6XcbQpa|offscreen", r""),
    ("video engine (other)", r"RXVLIB11", r""),
    ("audio engine", r"QVNAUD20|libgsm|libasound", r""),
    ("sockets and network (program)", r"Qt6Network", r""),
    ("kernel (sockets, files, scheduling)", r"kernel", r""),
    ("copies (memcpy/memmove)", r"libc", r"mem(cpy|move|set)|__memmove|__memcpy"),
    ("allocation", r"libc", r"malloc|free|_int_|calloc|realloc|cfree|tcache"),
    ("event loop, timers, signals (Qt core)", r"Qt6Core|glib|libc|ld-linux|libstdc", r""),
    ("program (ovela)", r"ovela", r""),
]


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    data = sys.argv[1]
    ticks = int(sys.argv[2]) if len(sys.argv) > 2 else 400
    out = subprocess.run(
        ["perf", "report", "-i", data, "--no-children", "--sort", "comm,dso,sym", "--stdio",
         "-F", "sample,comm,dso,sym", "-q"],
        capture_output=True, text=True, check=True).stdout
    freq = 1999
    header = subprocess.run(["perf", "report", "-i", data, "--header-only"], capture_output=True,
                            text=True).stdout
    m = re.search(r"sample_freq\D*(\d+)", header)
    if m:
        freq = int(m.group(1))
    groups = collections.Counter()
    other = collections.Counter()
    for line in out.splitlines():
        m = re.match(r"\s*(\d+)\s+(\S+)\s+(\S+)\s+\[.\]\s+(.*)", line)
        # The benchmark's own process is not a side of the call.
        if not m or m.group(2).startswith("bench_call"):
            continue
        samples, dso, sym = int(m.group(1)), m.group(3), m.group(4)
        for name, lib, fn in GROUPS:
            if re.search(lib, dso) and (not fn or re.search(fn, sym)):
                groups[name] += samples
                break
        else:
            groups["other"] += samples
            other[f"{dso} {sym}"] += samples
    total = sum(groups.values())
    sides = 2
    if not total:
        sys.exit("no samples of ovela in " + data)
    print(f"{total} samples of the two programs at {freq} Hz: "
          f"{total / freq / sides:.2f} s of processor time per side, {ticks} ticks per side")
    print(f"{'':40} {'share':>7} {'ms per tick and side':>22}")
    shown = set()
    for name, _, _ in GROUPS + [("other", "", "")]:
        n = groups[name]
        if n and name not in shown:
            shown.add(name)
            print(f"{name:40} {100 * n / total:6.1f}% {1000 * n / freq / sides / ticks:20.3f}")
    print(f"{'all':40} {100.0:6.1f}% {1000 * total / freq / sides / ticks:20.3f}")
    if other and "-v" in sys.argv:
        for what, n in other.most_common(15):
            print("  other:", n, what)


if __name__ == "__main__":
    main()
