#!/usr/bin/env python3
"""Reference numbers for the full decay pipeline test in tst_decaycalc.cpp.

Written from the processing rules alone (not from the C++ code): turn-off
alignment, smoothing, gain division, gating onto the gate-time table,
rescaling by 2.5, clamping and the start-time cut, plus the scatter of three
repeats. Run it and paste its output into pipelineReference().
"""
import math

TABLE = [float(x) for x in open(__file__.rsplit('/', 3)[0] + '/resources/etc/time.ini').read().split()]


def align(t, v, off):
    if len(t) != len(v) or not t or abs(off) < 1e-6 or not (off > t[0]) or not (off < t[-1]):
        return t, v
    idx = None
    for i in range(len(t) - 1):
        if t[i] <= off < t[i + 1]:
            idx = i
            break
    if idx is not None:
        t, v = t[idx + 1:], v[idx + 1:]
    t = [int(math.ceil(x - off) / 1.6) * 1.6 for x in t]
    if t[0] <= 1.6:
        t[0] = 1.6
    for k in range(1, len(t)):
        if t[k] - t[k - 1] < 0.8:
            t[k] = t[k - 1] + 1.6
    return t, v


def smooth(v):
    n = len(v)
    out = list(v)
    if n <= 10:
        return out
    for i in range(11, min(n - 2, 100) + 1):
        out[i] = (v[i - 1] + v[i] + v[i + 1]) / 3
    for i in range(101, n - 3 + 1):
        out[i] = (v[i - 2] + v[i - 1] + v[i] + v[i + 1] + v[i + 2]) / 5
    out[n - 2] = (out[n - 2] + v[n - 3] + v[n - 1]) / 3
    return out


def gate(t, v):
    if not t:
        return [], []
    tmax = max(t)
    g = [c for c in TABLE if 10.0 <= c <= tmax]
    m = len(g)
    nt, nv = [], []
    for i in range(m):
        s, c = 0.0, 0
        for tj, vj in zip(t, v):
            if tj < 10.0:
                continue
            if m == 1:
                ok = True
            elif i == 0:
                ok = tj < (g[0] + g[1]) * 0.5
            elif i == m - 1:
                ok = tj >= (g[i] + g[i - 1]) * 0.5
            else:
                ok = (g[i] + g[i - 1]) * 0.5 <= tj < (g[i] + g[i + 1]) * 0.5
            if ok:
                s += vj
                c += 1
        if c:
            nv.append(s / c)
            nt.append(g[i])
    return nt, nv


def clamp(v, hi, lo):
    out = []
    for x in v:
        if abs(x) > hi:
            x = hi if x > 0 else -hi
        elif abs(x) < lo:
            x = lo if x > 0 else -lo
        out.append(x)
    return out


def decay(v, t, off, mode, gain=11.0, start=80, smoothing=True):
    v = list(v)
    t, v = align(list(t), v, off)
    if smoothing:
        v = smooth(v)
    if mode == 0:
        if abs(gain) >= 1e-6:
            v = [abs(x) / gain for x in v]
        t, v = gate(t, v)
    t = [10 ** (math.log10(x) - 0.3979400086720377) for x in t]
    v = clamp(v, 10, 1.1e-9)
    if mode == 0:
        k = 0
        while k < len(t) and not (t[k] >= start):
            k += 1
        t, v = t[k:], v[k:]
    return v, t


def rsd(w):
    n = len(w)
    mean = sum(w) / n
    return 100 * math.sqrt(sum((x - mean) ** 2 for x in w) / (n - 1)) / abs(mean)


def record(rep, n=2500):
    # Same inputs as the C++ test builds: only +, *, / so both sides agree bit for bit.
    times = [(k + 1) * 1.6 for k in range(n)]
    values = []
    for k in range(n):
        x = 0.55 / ((1.0 + 0.01 * k) * (1.0 + 0.01 * k)) * (1.0 + 0.002 * rep)
        if k % 97 == 5:
            x = -x
        values.append(x)
    return times, values


def fmt(name, xs):
    body = ', '.join(repr(x) for x in xs)
    return f'const Vec {name}{{{body}}};'


if __name__ == '__main__':
    t, v = record(0)
    pv, pt = decay(v, t, 64.5, 0)
    print(fmt('expTimes', pt))
    print(fmt('expValues', pv))
    reps = [record(r) for r in range(3)]
    processed = [decay(rv, rt, 64.5, 0) for rt, rv in reps]
    gates = len(processed[0][0])
    scatter = []
    w = [0.0] * 3
    for i in range(gates):
        for j, (pv_j, _) in enumerate(processed):
            if len(pv_j) > i:
                w[j] = math.log10(abs(pv_j[i]))
        r = rsd(w)
        scatter.append(r if r < 100 else 100.0)
    print(fmt('expScatter', scatter))
    stacked = [(a + b + c) / 3 for a, b, c in zip(reps[0][1], reps[1][1], reps[2][1])]
    sv, st = decay(stacked, reps[0][0], 64.5, 0)
    print(fmt('expStacked', sv))
