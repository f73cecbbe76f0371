#!/usr/bin/env python3
"""Reference conversion of raw test data into CSV, written separately from the C++ code so that
the converter's end-to-end test compares against an expectation derived on its own.

Usage: convert_reference.py OUTDIR
Writes OUTDIR/sample_raw.csv (a small raw file with the awkward cases) and the expected
OUTDIR/sample_short.csv and OUTDIR/sample_full.csv for the default hardware (magnet A100_25,
membrane 70A_794um, hardware version 1000, regulator SMC1050, gold spring in well 1).
"""
import math
import os
import struct
import sys


def f32(v):
    return struct.unpack('f', struct.pack('f', v))[0]


# Default hardware model.
WELLS = [  # (m2, m1, m0), inverse form; well 1 is the gold-spring row
    (-2.549679059e-05, 4153.14583235, 1460.16984283),
    (-2.3942e-05, 3582.88781221285, 1414.200491),
    (-1.3605e-05, 5457.55237, 1533.039264),
    (-7.884e-06, 8580.669711, 1744.607306),
    (-8.559e-06, 7197.394555, 1631.940498),
    (-2.0434e-05, 3869.041793, 1481.586444),
    (-4.847e-06, 14318.13493, 2128.165564),
    (-7.856e-06, 8342.668024, 1727.158462),
    (-9.549e-06, 7540.05655, 1706.424072),
]
BP = [0.0, 500.0, 1500.0, 2500.0]
S = [f32(0.86290205), -0.66268674, f32(-2.441823), f32(-4.3396845)]
T = [f32(114.981125), f32(114.48512), f32(107.70303), f32(109.23831)]
P_SCALE, P_OFFSET, GAIN, SENSOR_OFFSET = 0.000144875, 0.0, 1.25616, -1530.312
SPRING = dict(c=(1.45697e-05, 0.0100837212, 0.4309795861, 8.213e-07, 0.0378801663,
                 -11.4301531843), travel=2000.0, margin=250.0, switch=600.0, minimum=100.0)
NO_SPRING = 999888.0


def position(well, x):
    m2, m1, m0 = WELLS[well]
    t = (x - m0) / m2
    if t < 0:
        return 0.0
    return m1 - math.sqrt(t) + 0.0


def actual_pressure(x):
    return ((x * GAIN + SENSOR_OFFSET) * P_SCALE) + P_OFFSET


def force(p, x):
    if p <= 0:
        return 0.0
    v = [max(0.0, p * T[i] + S[i]) for i in range(4)]
    n = 4
    seg = None
    for i in range(n - 1):
        if BP[i] >= x:
            return v[i]
        if BP[i + 1] >= x:
            seg = i
            break
    if seg is None:
        seg = n - 2
    i, j = seg, seg + 1
    value = v[i] + (v[j] - v[i]) * (x - BP[i]) / (BP[j] - BP[i])
    k = 1.0 / 0.1
    return math.floor(value * k + 0.5) / k


def spring_force(x):
    c = SPRING['c']
    if x < SPRING['minimum']:
        return 0.0
    if x < SPRING['switch']:
        return max(0.0, c[0] * x * x + c[1] * x + c[2])
    return max(0.0, c[3] * x * x + c[4] * x + c[5])


def leading_int(text):
    s = text.lstrip(' \t\n\v\f\r')
    sign = 1
    if s[:1] in ('+', '-'):
        sign = -1 if s[0] == '-' else 1
        s = s[1:]
    digits = ''
    for ch in s:
        if not ch.isdigit():
            break
        digits += ch
    return sign * int(digits) if digits else 0


def map_header(field):
    for text, code in (('Time(mS)', 0), ('Set', 1), ('Name', 2), ('Cycle', 3),
                       ('SpecifiedPressure', 4), ('Force', 4), ('ActualPressure', 5),
                       ('Pressure', 5)):
        if text in field:
            return code
    for k in range(9):
        if 'Disp%d' % (k + 1) in field:
            return 16 + k
    return 44


def select(codes, full):
    out = []
    for c in codes:
        if c <= 3:
            out.append(c)
        elif c in (4, 5):
            if full:
                out.append(c)
        elif 16 <= c <= 24:
            k = c - 16
            out += [c, 7 + k, 35 + k]
            if k == 0 and full:
                out.append(34)
    return out


def title(c):
    fixed = {0: 'Time (mS)', 1: 'Set', 2: 'Set Name', 3: 'Cycle', 4: 'Specified Pressure (MPa)',
             5: 'Pressure (MPa)', 34: 'Spring Force (N)'}
    if c in fixed:
        return fixed[c]
    if 16 <= c <= 24:
        return 'Position %d (um)' % (c - 15)
    if 7 <= c <= 15:
        return 'Force %d (N) (factory)' % (c - 6)
    return 'Force %d (N) (calibrated)' % (c - 34)


def solve(a, b):
    """Least-squares normal equations solved by plain Gaussian elimination with partial pivoting
    (a different route from the program's full-pivot inverse; results agree to rounding)."""
    n = len(b)
    m = [row[:] + [b[i]] for i, row in enumerate(a)]
    for col in range(n):
        piv = max(range(col, n), key=lambda r: abs(m[r][col]))
        if m[piv][col] == 0:
            return None
        m[col], m[piv] = m[piv], m[col]
        for r in range(n):
            if r != col:
                f = m[r][col] / m[col][col]
                for c in range(col, n + 1):
                    m[r][c] -= f * m[col][c]
    return [m[i][n] / m[i][i] for i in range(n)]


def correct(group):
    low, high = SPRING['margin'], SPRING['travel'] - SPRING['margin']
    pairs, bounded, last = [], 0, 0.0
    prev, rising = 0.0, True
    for r in group:
        p1, f1 = r['pos'][0], r['force'][0]
        if r['spec'] < prev:
            rising = False
        if low < p1 < high and r['spec'] >= prev and rising:
            ratio = f1 / spring_force(p1)
            pairs.append((p1, ratio))
            if f32(0.1) < ratio < 10.0:
                bounded += 1
            last = ratio
        prev = r['spec']
    if bounded < 2:
        return
    for r in group:
        r['cal'] = [f / last for f in r['force']]
    if len(pairs) < 4:
        return
    a = [[sum(x ** (i + j) for x, _ in pairs) for j in range(4)] for i in range(4)]
    b = [sum(y * x ** i for x, y in pairs) for i in range(4)]
    q = solve(a, b)
    if q is None:
        return
    for r in group:
        for k in range(9):
            x = min(max(r['pos'][k], low), high)
            kx = ((q[3] * x + q[2]) * x + q[1]) * x + q[0]
            kx = min(max(kx, 0.1), 10.0)
            r['force'][k] /= kx


def convert(raw_lines, full):
    header = [f for f in raw_lines[0].split(',') if f]
    codes = [map_header(f) for f in header]
    out_codes = select(codes, full)
    out = [','.join(title(c) for c in out_codes)]
    rec = dict(time=0, set=0, cycle=0, name='', spec=0.0, act=0.0, pos=[0.0] * 9,
               force=[0.0] * 9, spring=0.0)
    latest = 0.0
    group, gset, gcycle = [], 1, 1

    def write(group):
        for r in group:
            cells = []
            for c in out_codes:
                if c in (0, 1, 3):
                    cells.append('%u' % (r[{0: 'time', 1: 'set', 3: 'cycle'}[c]] & 0xFFFFFFFF))
                elif c == 2:
                    cells.append(r['name'])
                elif c == 4:
                    cells.append('%.4f' % r['spec'])
                elif c == 5:
                    cells.append('%.4f' % r['act'])
                elif c == 34:
                    cells.append('--' if r['spring'] == NO_SPRING else '%.2f' % r['spring'])
                elif 16 <= c <= 24:
                    cells.append('%.0f' % r['pos'][c - 16])
                elif 7 <= c <= 15:
                    cells.append('%.2f' % r['force'][c - 7])
                else:
                    v = r['cal'][c - 35] if r['cal'] else None
                    cells.append('' if v is None or not math.isfinite(v) else '%.2f' % v)
            out.append(','.join(cells))

    for line in raw_lines[1:]:
        if line == '':
            continue
        parts = line.split(',')[:len(codes)]
        parts += [''] * (len(codes) - len(parts))
        rec['name'] = ''
        for code, text in zip(codes, parts):
            if code == 0:
                rec['time'] = leading_int(text)
            elif code == 1:
                rec['set'] = leading_int(text)
            elif code == 3:
                rec['cycle'] = leading_int(text)
            elif code == 2:
                rec['name'] = text.replace('|', ' ')
            elif code == 4:
                rec['spec'] = leading_int(text) * P_SCALE + P_OFFSET
            elif code == 5:
                rec['act'] = actual_pressure(leading_int(text) / 100)
                latest = rec['act']
            elif 16 <= code <= 24:
                k = code - 16
                p = position(k, leading_int(text) / 100)
                rec['pos'][k] = p
                rec['force'][k] = force(latest, p)
                if k == 0:
                    low, high = SPRING['margin'], SPRING['travel'] - SPRING['margin']
                    rec['spring'] = spring_force(p) if low < p < high else NO_SPRING
        if rec['set'] != gset or rec['cycle'] != gcycle:
            correct(group)
            write(group)
            group, gset, gcycle = [], rec['set'], rec['cycle']
        copy = dict(rec, pos=rec['pos'][:], force=rec['force'][:], cal=None)
        group.append(copy)
    correct(group)
    write(group)
    return ''.join(line + '\r\n' for line in out)


def reading_for(well, pos):
    """Raw file value (counts x 100) that reads as about `pos` um in a well."""
    m2, m1, m0 = WELLS[well]
    return int(round((m0 + m2 * (m1 - pos) ** 2) * 100))


def pressure_reading(p):
    return int(round((p / P_SCALE - SENSOR_OFFSET) / GAIN * 100))


def sample_raw():
    header = ('Time(mS),Set,Name,Cycle,SpecifiedPressure,ActualPressure,'
              + ','.join('Disp%d' % k for k in range(1, 10)))
    lines = [header]
    t = 0

    def line(set_, name, cycle, p, p1, spread=1.0, extra=''):
        nonlocal t
        t += 137
        spec = int(round(p / P_SCALE))
        act = pressure_reading(p * 0.98)
        disps = [reading_for(0, p1)] + [reading_for(k, p1 * spread * (0.8 + 0.05 * k))
                                        for k in range(1, 9)]
        return ','.join(str(v) for v in [t, set_, name, cycle, spec, act] + disps) + extra

    # Set 1 cycle 1: rising pressure sweeps well 1 through the spring range (full correction),
    # then falls; the first and last points lie outside the spring's margins.
    for i in range(14):
        lines.append(line(1, 'Stretch|A', 1, 0.05 + 0.03 * i, 150 + 130 * i))
    for i in range(4):
        lines.append(line(1, 'Stretch|A', 1, 0.40 - 0.08 * i, 1500 - 300 * i))
    # Set 1 cycle 2: pressure falls from the start: no correction, empty calibrated cells.
    for i in range(5):
        lines.append(line(1, 'Stretch|A', 2, 0.30 - 0.05 * i, 1200 - 150 * i) + '\r')
    # Set 2 cycle 1: only three qualifying points: calibrated by the last ratio, no cubic.
    for i in range(3):
        lines.append(line(2, 'Hold', 1, 0.10 + 0.1 * i, 600 + 400 * i))
    # A short line and one with surplus fields.
    lines.append('99999,2,Hold,1,1000,150000')
    lines.append(line(2, 'Hold', 1, 0.35, 1450, extra=',77,88,Extra'))
    # A reading beyond the sensor's inverse range reads position 0.
    lines.append(line(3, 'Rest', 1, 0.0, 100).replace(
        str(reading_for(0, 100)), '150000', 1))
    lines.append('')
    lines.append(line(3, 'Rest', 1, 0.01, 900, spread=1.3))
    return '\n'.join(lines) + '\n'


def main():
    outdir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    raw = sample_raw()
    with open(os.path.join(outdir, 'sample_raw.csv'), 'w', newline='') as f:
        f.write(raw)
    raw_lines = [l[:-1] if l.endswith('\r') else l for l in raw.split('\n')]
    if raw_lines and raw_lines[-1] == '':
        raw_lines.pop()
    for name, full in (('sample_short.csv', False), ('sample_full.csv', True)):
        with open(os.path.join(outdir, name), 'w', newline='') as f:
            f.write(convert(raw_lines, full))


if __name__ == '__main__':
    main()
