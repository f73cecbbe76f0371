#!/usr/bin/env python3
"""Independent reference values for the force and position model tests.

The tables below are typed in from the hardware documentation, not taken from the C++ code.
Run it to regenerate the data file the test reads:

    python3 tests/recordings/model_reference.py > tests/recordings/data/model_reference.tsv
"""
import math
import struct


def f32(x):
    """A constant stored in single precision, widened back to double."""
    return struct.unpack("f", struct.pack("f", x))[0]


# --- position coefficients (m2, m1, m0) ------------------------------------------------------
A25_10 = [
    (4.9101e-05, 2539.24806012, 2207.54651932),
    (5.2059e-05, 2396.04515069, 2211.26309615),
    (3.7234e-05, 2774.87293871, 2186.3431852),
    (2.2992e-05, 3907.78159795, 2137.57175466),
    (1.9688e-05, 4196.64866924, 2118.85769928),
    (3.5531e-05, 2552.49674932, 2194.34701981),
    (2.584e-05, 3603.30238003, 2168.968917),
    (2.896e-05, 3205.52486188, 2187.34737602),
    (2.0794e-05, 3806.88109551, 2125.62620562),
]
A100_25 = [
    (-0.002373654, 13.03619006, -11432.6510941),
    (-2.3942e-05, 3582.88781221285, 1414.200491),
    (-1.3605e-05, 5457.55237, 1533.039264),
    (-7.884e-06, 8580.669711, 1744.607306),
    (-8.559e-06, 7197.394555, 1631.940498),
    (-2.0434e-05, 3869.041793, 1481.586444),
    (-4.847e-06, 14318.13493, 2128.165564),
    (-7.856e-06, 8342.668024, 1727.158462),
    (-9.549e-06, 7540.05655, 1706.424072),
]
A100_25_WELL1 = {
    3: (-2.08171e-05, 4868.99944036, 1500.87165857),
    4: (-2.549679059e-05, 4153.14583235, 1460.16984283),
}

# --- membranes: breakpoints, S, T ------------------------------------------------------------
MEMBRANES = {
    "70A_early": ([0, 500, 1500, 2500],
                  [f32(0.86290205), -0.66268674, f32(-2.441823), f32(-4.3396845)],
                  [f32(114.981125), f32(114.48512), f32(107.70303), f32(109.23831)]),
    "70A": ([0, 870, 1820, 2880],
            [f32(-0.43119055), f32(-2.4278786), f32(-3.1542838), f32(-6.864368)],
            [f32(280.8331), f32(221.66193), f32(184.89139), f32(133.23405)]),
    "10A": ([0, 1300, 2100, 3000],
            [f32(-0.112672), f32(-0.13087), f32(-0.091965), f32(-0.140941)],
            [f32(0.24838), f32(0.187324), f32(0.117324), f32(0.081583)]),
}

# --- regulators: scale, offset, gain, sensor offset ------------------------------------------
REGULATORS = [
    ("SMC1050", 0.000144875, 0.0, 1.25616, -1530.312),
    ("SMC1030", 9.96363636e-05, 0.0, 1.019, -1208.8),
    ("QPV1", 0.001407856, 0.0, 1.2454369209, 86.1066),
    ("QPV+-15", 4.77333e-05, -0.09825033, 1.0260472687, -20.36471561),
    ("ITV1050", 0.0002195, 0.0, 1.2409228, -975.63379051),
    ("ITV1030", 0.00012195, 0.0, 1.2552967, -992.0028359),
    ("ITV1010", 2.439e-05, 0.0, 1.24485286, -998.44743246),
    ("QB3_20", 3.36321e-05, 0.0, 1.0011964407, -63.3079728315),
]

# --- springs: c0..c5, travel, switch, min ----------------------------------------------------
SPRINGS = {
    1: ([f32(1.72168e-05), f32(0.012988), f32(-1.7986867),
         f32(3.1499e-06), f32(0.0250666), f32(-4.020217)], 2000, 500, 150),
    2: ([1.45697e-05, f32(-0.05936903), f32(6.1603),
         f32(1.40502e-05), f32(0.0492736), f32(-10.263426)], 2000, 500, 200),
    3: ([4.2641e-05, 0.0636606645, -1.6003235945,
         1.57338e-05, 0.1180294454, -24.5552338365], 1500, 500, 100),
    4: ([1.45697e-05, 0.0100837212, 0.4309795861,
         8.213e-07, 0.0378801663, -11.4301531843], 2000, 600, 100),
}


def round_step(v, s):
    k = 1.0 / s
    return math.floor(v * k + 0.5) / k


def position(row, direct, offset, x):
    m2, m1, m0 = row
    if direct:
        return m2 * x * x + m1 * x + m0 + offset
    t = (x - m0) / m2
    if t < 0:
        return 0.0
    return m1 - math.sqrt(t) + offset


def segment_search(bp, value, x, rounding):
    """The breakpoint search: value(i) at or before breakpoint i, else interpolation."""
    n = len(bp)
    for i in range(n - 1):
        if bp[i] >= x:
            return value(i)
        if bp[i + 1] >= x:
            break
    else:
        i = n - 2
    vi, vj = value(i), value(i + 1)
    return rounding(vi + (vj - vi) * (x - bp[i]) / (bp[i + 1] - bp[i]))


def force_step(reg):
    return 0.001 if reg in ("QPV1", "QB3_20") else 0.1


def setpoint_step(reg):
    if reg == "QPV+-15":
        return 0.00001
    return force_step(reg)


def force(membrane, reg, P, x):
    bp, S, T = MEMBRANES[membrane]
    if P <= 0:
        return 0.0
    return segment_search(bp, lambda i: max(0.0, P * T[i] + S[i]), x,
                          lambda v: round_step(v, force_step(reg)))


def regulator(name):
    for r in REGULATORS:
        if r[0] == name:
            return r
    raise KeyError(name)


def setpoint_value(membrane, reg, raw, x):
    _, scale, offset, _, _ = regulator(reg)
    P = raw * scale + offset
    if membrane == "Hydrostatic":
        # Pressures keep at least 0.001 MPa.
        return round_step(P, min(setpoint_step(reg), 0.001))
    return round_step(force(membrane, reg, P, x), setpoint_step(reg))


def pressure_setpoint(membrane, reg, F, x):
    _, scale, offset, _, _ = regulator(reg)
    if membrane == "Hydrostatic":
        return (F - offset) / scale
    bp, S, T = MEMBRANES[membrane]
    p = 0.0
    if F > 0:
        p = segment_search(bp, lambda i: max(0.0, (F - S[i]) / T[i]), x, lambda v: v)
    return (p - offset) / scale


def spring_force(t, x):
    c, travel, switch, minimum = SPRINGS[t]
    if x < minimum:
        return 0.0
    if x < switch:
        return max(0.0, c[0] * x * x + c[1] * x + c[2])
    return max(0.0, c[3] * x * x + c[4] * x + c[5])


def g(v):
    return "%.17g" % v


# Membrane cases as the C++ test builds them: (table, membrane value, hardwareVersion)
MEMBRANE_CASES = [("70A_early", 1, 1000), ("70A_early", 1, 1799), ("70A", 1, 1800),
                  ("70A", 1, 2500), ("10A", 2, 1000)]
REG_VALUE = {r[0]: i for i, r in enumerate(REGULATORS)}


def main():
    """One evaluation per line: a kind, its integer parameters, the input, the expected value."""
    out = ["# Generated by model_reference.py from the hardware tables; do not edit by hand.",
           "# kind\tparameters...\tinput\texpected"]

    def w(kind, *values):
        out.append("\t".join([kind] + [g(v) if isinstance(v, float) else str(v)
                                         for v in values]))

    # position: magnet, spring type of the spring model, well, offset, reading.
    inverse_readings = [0.0, 1000.0, 1400.0, 2100.0, 2300.0, 2500.0, 3000.0]
    direct_readings = [0.0, 850.0, 900.0, 1000.0, 1200.0, -10.0, 5000.0]
    rows = []
    for spring in (0, 3, 4):
        for well in range(1, 10):
            row, direct = A100_25[well - 1], well == 1
            if well == 1 and spring in A100_25_WELL1:
                row, direct = A100_25_WELL1[spring], False
            if spring and well > 1:
                continue
            rows.append((0, spring, well, row, direct))
    for well in range(1, 10):
        rows.append((1, 0, well, A25_10[well - 1], False))
    for magnet, spring, well, row, direct in rows:
        xs = direct_readings if direct else inverse_readings
        for off in (0, -37):
            for x in xs:
                w("position", magnet, spring, well, off, x, position(row, direct, off, x))

    # coefficients: 27 direct coefficients that replace any magnet's table;
    # direct: well, offset, reading.
    coeffs = [(1e-05 * (k + 1), 2.5 + k, -300.0 - 10 * k) for k in range(9)]
    w("coefficients", *[float(c) for row in coeffs for c in row])
    for well in range(9):
        for off in (0, 40):
            for x in (0.0, 1234.5, -50.0):
                w("direct", well + 1, off, x, position(coeffs[well], True, off, x))

    # pressure: regulator, reading.
    for index, (name, scale, offset, gain, soff) in enumerate(REGULATORS):
        for x in (0.0, 1000.0, 1218.2, 4095.0, 25000.0):
            w("pressure", index, x, ((x * gain + soff) * scale) + offset)

    # force: membrane, hardwareVersion, regulator, pressure, position.
    pressures = {"70A_early": [-0.01, 0.0, 0.0031, 0.05, 0.2371],
                 "70A": [-0.01, 0.0, 0.0031, 0.05, 0.2371],
                 "10A": [-0.01, 0.0, 0.3, 1.7, 4.33]}
    for key, mem, hv in MEMBRANE_CASES:
        bp = MEMBRANES[key][0]
        xs = [-25.0, 0.0, 1.0, bp[1] * 0.5 + 0.3, bp[1], bp[1] + 1,
              (bp[1] + bp[2]) / 2 + 0.7, bp[2], bp[3] - 3.3, bp[3], bp[3] + 400.25]
        for reg in ("SMC1050", "QB3_20", "QPV1", "QPV+-15"):
            for P in pressures[key]:
                for x in xs:
                    w("force", mem, hv, REG_VALUE[reg], float(P), float(x),
                      force(key, reg, P, x))

    # setpoint / pressuresetpoint: membrane, hardwareVersion, regulator, position, input.
    mem_cases = MEMBRANE_CASES + [("Hydrostatic", 3, 1000)]
    for key, mem, hv in mem_cases:
        for reg in REG_VALUE:
            for at in (0.0, 1000.0):
                for r in (-50.0, 0.0, 123.45, 1500.0, 40000.0):
                    w("setpoint", mem, hv, REG_VALUE[reg], at, r,
                      setpoint_value(key, reg, r, at))
    for key, mem, hv in mem_cases:
        targets = ([-1.0, 0.0, 0.005, 0.25, 0.6] if key == "Hydrostatic"
                   else [-1.0, 0.0, 0.05, 10.0, 35.5])
        for reg in REG_VALUE:
            for at in (0.0, 1000.0):
                for F in targets:
                    w("pressuresetpoint", mem, hv, REG_VALUE[reg], at, F,
                      pressure_setpoint(key, reg, F, at))

    # spring: type, position.
    for t, (c, travel, switch, minimum) in SPRINGS.items():
        for x in [-10.0, 0.0, minimum - 0.5, minimum, minimum + 40.0, switch - 0.5, switch,
                  switch + 1.0, 1000.0, travel - 250.0, travel, travel + 500.0]:
            w("spring", t, float(x), spring_force(t, x))
    print("\n".join(out))


if __name__ == "__main__":
    main()
