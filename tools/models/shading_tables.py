#!/usr/bin/env python3
"""Re-derives the golden values of tests/shading_tables_test.cpp.

A plain model of the integer rules for transparency, shading, lighting and
blend tables and of the tint shader bytes, built from the same inputs as
the tests; run by hand, not in CI:
    python3 tools/models/shading_tables.py
"""
import math
import struct

NONE = -1
MODE_NONE, MODE_TINT, MODE_BLEND, MODE_TINT_AND_MEDIA, MODE_UNTINTED = -1, 0, 1, 2, 3
ENCODING_555, ENCODING_565, ENCODING_32 = "555", "565", "32"
REFLECTION = 3
PERMUTATIONS = [
    (MODE_NONE, 0, (0, 0, 0)),
    (MODE_TINT, 224, (47840, 51772, 48495)),
    (MODE_TINT, 192, (41942, 19005, 48495)),
    (MODE_BLEND, 128, (0, 0, 32768)),
    (MODE_TINT, 192, (16962, 14906, 13107)),
    (MODE_TINT_AND_MEDIA, 224, (47840, 51772, 48495)),
    (MODE_TINT_AND_MEDIA, 192, (41942, 19005, 48495)),
    (MODE_UNTINTED, 0, (0, 0, 0)),
]
BLACK, WHITE, RED = (0, 0, 0), (65535, 65535, 65535), (65535, 0, 0)


def fnv1a(data):
    h = 0x811C9DC5
    for byte in data:
        h = ((h ^ byte) * 0x01000193) & 0xFFFFFFFF
    return h


def div(a, b):
    """C division: truncates toward zero."""
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b >= 0) else -q


def int16(value):
    value &= 0xFFFF
    return value - 0x10000 if value >= 0x8000 else value


def test_colors(count=256):
    colors = [((i * 257 * 7) & 0xFFFF, (i * 1031 + 500) & 0xFFFF, (65535 - i * 199) & 0xFFFF) for i in range(256)]
    return colors[:count]


def transparency_table(overlay):
    table = bytearray(16 * 32 * 32)
    for level in range(16):
        for a in range(32):
            for b in range(32):
                if overlay:
                    value = div(465 * a + (15 - level) * b * (b - a) + 232, 465)
                else:
                    value = div(level * a + (15 - level) * b + 7, 15)
                table[(level << 10) | (a << 5) | b] = value & 0xFF
    return bytes(table)


def entry(encoding, r, g, b):
    r, g, b = (min(max(x, 0), 65535) for x in (r, g, b))
    if encoding == ENCODING_555:
        return struct.pack("<H", ((r >> 1) & 0x7C00) | ((g >> 6) & 0x03E0) | ((b >> 11) & 0x1F))
    if encoding == ENCODING_565:
        return struct.pack("<H", (r & 0xF800) | ((g >> 5) & 0x07E0) | ((b >> 11) & 0x1F))
    return struct.pack("<I", ((r << 8) & 0xFF0000) | (g & 0xFF00) | ((b >> 8) & 0xFF))


def level_size(encoding):
    return 256 * (4 if encoding == ENCODING_32 else 2)


def luminance(c):
    return div(2 * c[0] + 3 * c[1] + c[2], 5)


def shading_table(encoding, levels, colors, mode, f1, tint1, f2, tint2):
    out = bytearray()
    fr, media = PERMUTATIONS[REFLECTION][1], PERMUTATIONS[REFLECTION][2]
    global_tint = f2 != 0 and mode != MODE_UNTINTED
    for level in range(levels):
        row = bytearray()
        for color in colors:
            c = list(color)
            if levels > 1:
                c = [div(x * level + (levels - 1) // 2, levels - 1) for x in c]
            y = luminance(c)
            if f1 != 0:
                if mode == MODE_BLEND:
                    c = [(tint1[k] * f1 + c[k] * (256 - f1)) >> 8 for k in range(3)]
                elif mode in (MODE_TINT, MODE_TINT_AND_MEDIA):
                    weight = (y * f1) >> 16
                    c = [(c[k] * (256 - f1) + tint1[k] * weight) >> 8 for k in range(3)]
                    if mode == MODE_TINT_AND_MEDIA:
                        c = [(c[k] * (256 - fr) + media[k] * fr) >> 8 for k in range(3)]
            if global_tint:
                weight = (luminance(c) * f2) >> 16
                c = [(c[k] * (256 - f2) + tint2[k] * weight) >> 8 for k in range(3)]
            row += entry(encoding, *c)
        out += row.ljust(level_size(encoding), b"\0")
    return bytes(out)


def colored_shading_table(encoding, levels, colors, dark_fraction, dark, transition, light_fraction, light):
    out = bytearray()
    t = int16((transition * (levels - 1)) >> 16)
    for level in range(levels):
        if levels == 1:
            target, f = dark, 0
        elif level > t:
            target, f = light, int16(div(light_fraction * (level - t), levels - 1 - t))
        else:
            target = dark
            f = dark_fraction if t == 0 else int16(div(dark_fraction * (t - level), t))
        row = bytearray()
        for c in colors:
            row += entry(encoding, *[(c[k] * (256 - f) + target[k] * f) >> 8 for k in range(3)])
        out += row.ljust(level_size(encoding), b"\0")
    return bytes(out)


def closest(colors, color):
    best, best_distance = NONE, 0
    for i, c in enumerate(colors):
        dr, dg, db = ((color[k] - c[k]) >> 4 for k in range(3))
        distance = 2 * dr * dr + 5 * dg * dg + db * db
        if best == NONE or distance < best_distance:
            best, best_distance = i, distance
    return best


def blend_table(colors):
    table = bytearray(256 * 256)
    for b in range(len(colors)):
        for a in range(len(colors)):
            if b == 0:
                value = a
            elif a == 0:
                value = b
            else:
                value = closest(colors, [(colors[a][k] + colors[b][k]) >> 1 for k in range(3)])
            table[b * 256 + a] = value & 0xFF
    return bytes(table)


def shader_byte(value):
    if value <= 0.0:
        return 0
    if value >= 1.0:
        return 255
    return min(int(math.floor(value * 256.0 + 0.5)), 255)


def tinting_shader(mode, fraction, color, global_fraction, global_color):
    tint = color or BLACK
    t = r = g = b = 0.0
    if mode in (MODE_TINT, MODE_TINT_AND_MEDIA):
        t, r, g, b = fraction / 256.0, tint[0] / 65536.0, tint[1] / 65536.0, tint[2] / 65536.0
    fb = br = bg = bb = 0.0
    if mode == MODE_BLEND:
        fb, br, bg, bb = fraction / 256.0, tint[0] / 65536.0, tint[1] / 65536.0, tint[2] / 65536.0
    elif mode == MODE_TINT_AND_MEDIA:
        media_fraction, media = PERMUTATIONS[REFLECTION][1], PERMUTATIONS[REFLECTION][2]
        fb, br, bg, bb = media_fraction / 256.0, media[0] / 65536.0, media[1] / 65536.0, media[2] / 65536.0
    lb = 0.4 * br + 0.6 * bg + 0.2 * bb
    gf = gr = gg = gb = 0.0
    if global_color:
        gf = global_fraction / 256.0
        gr, gg, gb = global_color[0] / 65536.0, global_color[1] / 65536.0, global_color[2] / 65536.0
    p = (1.0 - fb) * (1.0 - gf)
    q = (t * (1.0 - fb) * (0.4 * r + 0.6 * g + 0.2 * b) + (1.0 - t) * (1.0 - fb)) * gf
    return [shader_byte(p * (1.0 - t)),
            shader_byte((1.0 - gf) * fb * br + lb * fb * gf * gr),
            shader_byte((1.0 - gf) * fb * bg + lb * fb * gf * gg),
            shader_byte((1.0 - gf) * fb * bb + lb * fb * gf * gb),
            shader_byte(p * t * r + q * gr), shader_byte(p * t * g + q * gg), shader_byte(p * t * b + q * gb), 0]


def main():
    print("transparency normal 0x%08x overlay 0x%08x" % (fnv1a(transparency_table(False)), fnv1a(transparency_table(True))))

    colors, global_tint = test_colors(), (65535, 32768, 0)
    for encoding in (ENCODING_32, ENCODING_555, ENCODING_565):
        table = b"".join(shading_table(encoding, 1, colors, mode, fraction, color, 64, global_tint)
                         for mode, fraction, color in PERMUTATIONS)
        print("tinting tables %s 0x%08x" % (encoding, fnv1a(table)))
    print("ramp 0x%08x" % fnv1a(shading_table(ENCODING_32, 4, colors, MODE_NONE, 0, BLACK, 0, BLACK)))

    dark, light = (0, 0, 8192), (65535, 65535, 50000)
    print("lighting 32 0x%08x" % fnv1a(colored_shading_table(ENCODING_32, 256, colors, 192, dark, 0x8000, 128, light)))
    print("lighting 565 0x%08x" % fnv1a(colored_shading_table(ENCODING_565, 64, colors, 192, dark, 0x8000, 128, light)))
    print("lighting t=0 0x%08x" % fnv1a(colored_shading_table(ENCODING_32, 8, colors, 200, (1000, 2000, 3000), 0, 100, RED)))

    for mode, fraction, color in PERMUTATIONS:
        print("shader", tinting_shader(mode, fraction, color, 0, None),
              tinting_shader(mode, fraction, color, 64, global_tint))
    print("blend 0x%08x" % fnv1a(blend_table(test_colors(40))))


if __name__ == "__main__":
    main()
