"""Compares decoded media dumped as raw bytes, for the video tests.

    raw_compare.py frames A.rgb B.rgb WIDTH HEIGHT TOLERANCE
        Both files hold rgb24 frames. Passes when they hold the same number of
        frames, every frame of A lies within TOLERANCE (mean absolute
        difference per channel, 0-255) of the frame of B at the same index,
        and, where the reference moves between frames, no frame of A is nearer
        to a neighbour of its counterpart than to the counterpart (a frame
        repeated or dropped at a join shows that way).
    raw_compare.py lag A.s16 B.s16 MAXLAG
        Both files hold interleaved s16le stereo. Prints the shift of A
        against B (in sample frames, within +-MAXLAG) at which A's left
        channel matches B's best over A's first second.

Prints what it found; exits 1 when a check fails.
"""
import struct
import sys


def frames(a_path, b_path, width, height, tolerance):
    size = width * height * 3
    a = open(a_path, "rb").read()
    b = open(b_path, "rb").read()
    if len(a) % size or len(b) % size or len(a) != len(b) or not a:
        print(f"frame counts differ: {len(a) / size} against {len(b) / size}")
        return 1

    def diff(x, y):
        # Every 7th byte is plenty for a mean and keeps the test quick.
        n = 0
        total = 0
        for i in range(0, size, 7):
            total += abs(x[i] - y[i])
            n += 1
        return total / n

    count = len(a) // size
    fa = [a[i * size:(i + 1) * size] for i in range(count)]
    fb = [b[i * size:(i + 1) * size] for i in range(count)]
    worst = 0.0
    for i in range(count):
        own = diff(fa[i], fb[i])
        worst = max(worst, own)
        if own > tolerance:
            print(f"frame {i} differs by {own:.2f}")
            return 1
        for j in (i - 1, i + 1):
            # Where the picture moves between reference frames, a frame must
            # be nearest its own; a still picture cannot tell.
            if 0 <= j < count and diff(fb[i], fb[j]) > 1.0 and diff(fa[i], fb[j]) <= own:
                print(f"frame {i} looks like reference frame {j}")
                return 1
    print(f"{count} frames, worst mean difference {worst:.2f}")
    return 0


def lag(a_path, b_path, max_lag):
    def left(path):
        data = open(path, "rb").read()
        n = len(data) // 4
        return struct.unpack(f"<{n * 2}h", data[:n * 4])[0::2]

    a, b = left(a_path), left(b_path)
    span = min(len(a), 44100)
    best, best_lag = None, 0
    for shift in range(-max_lag, max_lag + 1, 2):
        total = 0
        for i in range(0, span, 5):
            j = i + shift
            total += abs(a[i] - (b[j] if 0 <= j < len(b) else 0))
        if best is None or total < best:
            best, best_lag = total, shift
    print(best_lag)
    return 0


def main():
    if sys.argv[1] == "frames":
        return frames(sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5]), float(sys.argv[6]))
    if sys.argv[1] == "lag":
        return lag(sys.argv[2], sys.argv[3], int(sys.argv[4]))
    return 2


sys.exit(main())
