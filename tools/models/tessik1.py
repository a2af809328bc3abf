#!/usr/bin/env python3
"""An independent model of the detail-texture image encoder, written from the
stream description: prints the stream of the 13 x 9 test image as C bytes.

Usage: tools/models/tessik1.py
"""


def predict(l, u, c):
    lo, hi = min(l, u), max(l, u)
    if c >= hi:
        return (hi + 7 * lo) >> 3
    if c <= lo:
        return (lo + 7 * hi) >> 3
    return l + u - c


def zig(v):
    s = ((v + 128) & 255) - 128
    return 2 * s if s >= 0 else -2 * s - 1


def residuals(px, w, h, mode):
    out = []
    for y in range(h):
        b = 0 if y == 0 else mode
        others = [(b + 2) % 3, (b + 1) % 3]
        for x in range(w):
            p = px[y][x]
            if x == 0 and y == 0:
                out.append(list(p))
                continue
            if y == 0 or x == 0:
                n = px[y][x - 1] if y == 0 else px[y - 1][x]
                r = [zig(n[b] - p[b])] + [zig(p[o] - p[b] + (n[b] - n[o])) for o in others]
            else:
                l, u, c = px[y][x - 1], px[y - 1][x], px[y - 1][x - 1]
                r = [zig(predict(l[b], u[b], c[b]) - p[b])]
                r += [zig(p[o] - p[b] + (predict(l[b] - l[o], u[b] - u[o], c[b] - c[o]) & 255)) for o in others]
            out.append(r)
    return out


def choose(res, w, h):
    bw, bh = (w + 7) // 8, (h + 7) // 8
    ks, total = [], 9 * bw * bh
    for by in range(bh):
        for bx in range(bw):
            block = [res[y * w + x] for y in range(by * 8, min(by * 8 + 8, h)) for x in range(bx * 8, min(bx * 8 + 8, w))]
            for s in range(3):
                values = [r[s] for r in block]
                if all(v == 0 for v in values):
                    ks.append(7)
                    continue
                cost = lambda k: sum((v >> k) + k + 1 for v in values)
                k = 0
                while k < 6 and cost(k + 1) <= cost(k):
                    k += 1
                ks.append(k)
                total += cost(k)
    return ks, total


def encode(px, w, h):
    best = None
    for mode in range(3):
        res = residuals(px, w, h, mode)
        ks, total = choose(res, w, h)
        if best is None or total < best[0]:
            best = (total, mode, res, ks)
    total, mode, res, ks = best
    bits = []
    put = lambda v, n: bits.extend((v >> (n - 1 - i)) & 1 for i in range(n))
    put(w, 12), put(h, 12), put(mode, 2)
    for k in ks:
        put(k, 3)
    bw = (w + 7) // 8
    for y in range(h):
        for x in range(w):
            kb = ks[((y // 8) * bw + x // 8) * 3:][:3]
            for s in range(3):
                if kb[s] == 7:
                    continue
                v = res[y * w + x][s]
                bits.extend([1] * (v >> kb[s]) + [0])
                put(v & ((1 << kb[s]) - 1), kb[s])
    length = ((total + 89) & ~31) // 8
    bits += [0] * (length * 8 - len(bits))
    out = bytearray()
    for word in range(length // 4):
        value = int("".join(map(str, bits[word * 32:word * 32 + 32])), 2)
        out += value.to_bytes(4, "little")
    return bytes(out)


def noise_image(w, h, seed):
    state, flat = seed, []
    for _ in range(w * h * 3):
        state = (state * 1664525 + 1013904223) & 0xFFFFFFFF
        flat.append(state >> 24)
    return [[flat[(y * w + x) * 3:(y * w + x) * 3 + 3] for x in range(w)] for y in range(h)]


if __name__ == "__main__":
    stream = encode(noise_image(13, 9, 5), 13, 9)
    print(", ".join("0x%02X" % b for b in stream))
