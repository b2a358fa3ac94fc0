"""The JPEG section of bench/detectability: writers that keep a JPEG a JPEG.

The photographs of the lossless section, halved and cut into 512 x 512 tiles (or, with
--jpeg-tile 256, that section's own tiles, every other one written), each saved as a JPEG at
every quality in QUALITIES (Pillow's libjpeg, standard tables, 4:2:0 chroma). Into every tile
each writer writes a random message of RATES bits per non-zero AC coefficient of that cover,
counted over all its components: our `hide --seal --adaptive` with the sealed payload's whole
size at that rate (the seal's overhead included), steghide and outguess with a random file of
that size. The detectors are logistic regressions, as in the lossless section, over features
of the quantised coefficients (bench/jpeg_features.cpp): the Markov features of the luminance
(486) and of all components (972), and DCTR's 8000 of the luminance. Prints the P_E table and a
table of capacity, processor time, file-size change and coefficient changes per tool.
"""

import hashlib
import os
import re
import resource
import shutil
import subprocess
import sys
import tempfile
import time
import warnings

import numpy as np

import detectability as lossless

QUALITIES = (75, 95)
RATES = (0.05, 0.1, 0.2)  # message bits per non-zero AC coefficient of the cover
# What a seal adds to a file's bytes (kSealOverhead), plus the file name's length byte and the
# one-letter name "m" every message here has.
SEAL_OVERHEAD = 60 + 1 + 1
MARKOV = 972
LUMINANCE = 486  # the first Markov features are the luminance's
DIMENSION = MARKOV + 8000  # then DCTR's
PASSWORD = "benchmark"
# Our writer reads its result back from this many tiles per quality (each costs a key
# derivation), to show that what was measured is what a reader gets.
REVEAL_CHECKS = 4
# The refusals of a message that does not fit, in the tools' words and ours.
TOO_BIG = re.compile(r"too short|not enough|capacity|too (large|big)|larger than|exceeds|"
                     r"放不下|太小|容量", re.I)


def timed_run(command, env=None):
    """Runs a command; its exit status, its output and error text, and its processor seconds."""
    with tempfile.TemporaryFile() as out:
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=out,
                                   stderr=subprocess.STDOUT, env=env)
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)
        out.seek(0)
        text = out.read().decode(errors="replace")
    return process.returncode, text, usage.ru_utime + usage.ru_stime


class Refused(Exception):
    """The tool said the message does not fit."""


def checked(command, output, env=None):
    """Runs a writer; its processor seconds. Raises Refused when the message does not fit."""
    status, text, cpu = timed_run(command, env)
    if status == 0 and os.path.exists(output) and os.path.getsize(output) > 0:
        return cpu
    lines = text.strip().splitlines()
    if any(TOO_BIG.search(line) for line in lines):
        raise Refused(lines[-1] if lines else "")
    raise RuntimeError(f"{os.path.basename(command[0])} failed ({status}): "
                       f"{lines[-1] if lines else ''}")


def ours(context, cover, message, output, quality):
    return checked([context["cli"], "hide", cover, "-o", output, "--seal", "--adaptive",
                    "--file", message, "--password-file", context["password"]], output)


def steghide(context, cover, message, output, quality):
    return checked(["steghide", "embed", "-q", "-f", "-cf", cover, "-ef", message, "-sf", output,
                    "-p", PASSWORD], output)


def outguess(context, cover, message, output, quality):
    # outguess decodes the cover and compresses it anew while it writes; -p sets that
    # compression's quality, which is otherwise 75 whatever the cover's.
    return checked(["outguess", "-k", PASSWORD, "-p", str(quality), "-d", message, cover,
                    output], output)


# (name in the tables, writer, bytes of the message a tool adds to the payload we size)
WRITERS = [
    ("--seal --adaptive", ours, SEAL_OVERHEAD),
    ("steghide", steghide, 0),
    ("outguess", outguess, 0),
]
# stegosuite is left out: its JPEG writer needs an X display (its encoder opens a window even
# from the command line), and it compresses every JPEG anew with its own tables (about quality
# 80) whatever the cover's, so beside a quality-75 or 95 cover it would be found by its tables.


def seed_of(*parts):
    return int.from_bytes(hashlib.sha256("/".join(map(str, parts)).encode()).digest()[:8],
                          "little")


def read_lines(output):
    return [line.split("\t") for line in output.splitlines()]


def jpeg_cover(tile, quality, directory):
    from PIL import Image
    path = os.path.join(directory, f"{tile['name']}-q{quality}.jpg")
    if not os.path.exists(path):
        Image.open(tile["file"]).save(path, quality=quality)
    return path


def measure_cover(context, tile, quality, writers):
    """Writes every writer's messages into one tile at one quality and measures all results."""
    work = context["work"]
    cover = jpeg_cover(tile, quality, os.path.join(work, "jpeg-covers"))
    stego_dir = os.path.join(work, "jpeg-stego", f"{tile['name']}-q{quality}")
    os.makedirs(stego_dir, exist_ok=True)
    tool = context["tool"]
    count = read_lines(subprocess.run([tool, "count", cover], capture_output=True, text=True,
                                      check=True).stdout)[0]
    non_zero = int(count[2])
    base = {"tile": tile["name"], "quality": quality, "non_zero": non_zero}
    records = [dict(base, writer="clean", rate=0.0, status="ok", file=cover, path=cover,
                    size=os.path.getsize(cover))]
    for name, write, overhead in writers:
        fitted = True
        for rate in RATES:
            payload = int(rate * non_zero) // 8
            record = dict(base, writer=name, rate=rate, payload=payload)
            records.append(record)
            if not fitted or payload - overhead < 1:
                record["status"] = "too-big" if not fitted else "too-small"
                continue
            message = os.path.join(stego_dir, "m")
            with open(message, "wb") as f:
                f.write(np.random.default_rng(seed_of(tile["name"], quality, name, rate))
                        .bytes(payload - overhead))
            output = os.path.join(stego_dir, re.sub(r"[^a-z]+", "_", name.strip("-")) +
                                  f"-{rate}.jpg")
            try:
                record["cpu"] = write(context, cover, message, output, quality)
            except Refused:
                # A message that does not fit at this rate fits at no higher one.
                record["status"] = "too-big"
                fitted = False
                continue
            record.update(status="ok", file=output, size=os.path.getsize(output))
            if write is ours and rate == 0.1 and tile.get("reveal_check"):
                record["revealed"] = reveal_matches(context, output, message, stego_dir)
    written = [r for r in records if r["status"] == "ok"]
    features = os.path.join(stego_dir, "features.f32")
    if os.path.exists(features):
        os.remove(features)
    lines = read_lines(subprocess.run([tool, "features", features] + [r["file"] for r in written],
                                      capture_output=True, text=True).stdout)
    rows = np.fromfile(features, dtype=np.float32).reshape(-1, DIMENSION)
    used = 0
    for r, line in zip(written, lines):
        if line[1] != "ok":
            r["status"] = "unreadable: " + line[1]
            continue
        r["row"] = rows[used]
        used += 1
    changes = read_lines(subprocess.run([tool, "changes", cover] +
                                        [r["file"] for r in written[1:]],
                                        capture_output=True, text=True).stdout)
    for r, line in zip(written[1:], changes):
        r["changes"] = int(line[2]) if line[1] == "ok" else -1
    if not context["keep"]:
        shutil.rmtree(stego_dir, ignore_errors=True)
    for r in records:
        r.pop("file", None)
    return records


def reveal_matches(context, output, message, directory):
    revealed = os.path.join(directory, "revealed")
    status, _, _ = timed_run([context["cli"], "reveal", output, "--adaptive", "--password-file",
                              context["password"], "-o", revealed])
    same = status == 0 and open(revealed, "rb").read() == open(message, "rb").read()
    if os.path.exists(revealed):
        os.remove(revealed)
    return same


def writes_jpeg(context, tile):
    """Whether this build's hide --seal --adaptive writes a JPEG: one try on one cover."""
    directory = tempfile.mkdtemp(dir=context["work"])
    try:
        cover = jpeg_cover(tile, QUALITIES[0], directory)
        message = os.path.join(directory, "m")
        with open(message, "wb") as f:
            f.write(b"x")
        output = os.path.join(directory, "probe.jpg")
        status, text, _ = timed_run([context["cli"], "hide", cover, "-o", output, "--seal",
                                     "--adaptive", "--file", message, "--password-file",
                                     context["password"]])
        with open(output, "rb") if os.path.exists(output) else open(os.devnull, "rb") as f:
            is_jpeg = f.read(3) == b"\xff\xd8\xff"
        lines = text.strip().splitlines()
        return status == 0 and is_jpeg, lines[0] if lines else f"exit status {status}"
    finally:
        shutil.rmtree(directory, ignore_errors=True)


# --- checks ------------------------------------------------------------------------------------

def read_dump(path):
    """The components of a coefficient dump, each shaped (block rows, block columns, 8, 8), and
    their quantisation tables."""
    data = open(path, "rb").read()
    components, tables, at = [], [], 0
    while at < len(data):
        header = np.frombuffer(data, np.int32, 66, at)
        at += 4 * 66
        rows, columns = int(header[0]), int(header[1])
        tables.append(header[2:].astype(np.int64))
        count = rows * columns * 64
        components.append(np.frombuffer(data, np.int16, count, at).astype(np.int64)
                          .reshape(rows, columns, 8, 8))
        at += 2 * count
    return components, tables


def markov_reference(components, modes):
    """The features of a group of components straight from the definitions, as an independent
    check of the program's counting: magnitudes as one 2-D array, differences along four
    directions, transitions of neighbouring differences limited to [-4, 4]; the same between
    blocks for each mode, averaged over the modes."""
    t = 4

    def count(current, following):
        m = np.zeros((2 * t + 1, 2 * t + 1))
        np.add.at(m, (np.clip(current, -t, t).ravel() + t, np.clip(following, -t, t).ravel() + t),
                  1)
        return m

    def probabilities(m):
        total = m.sum(1, keepdims=True)
        return np.divide(m, total, out=np.zeros_like(m), where=total > 0)

    intra = [np.zeros((2 * t + 1,) * 2) for _ in range(4)]
    for c in components:
        f = np.abs(c).transpose(0, 2, 1, 3).reshape(c.shape[0] * 8, c.shape[1] * 8)
        h = f[:, :-1] - f[:, 1:]
        v = f[:-1] - f[1:]
        d = f[:-1, :-1] - f[1:, 1:]
        a = f[:-1, 1:] - f[1:, :-1]  # a[y, x]: from (y, x + 1) down-left to (y + 1, x)
        intra[0] += count(h[:, :-1], h[:, 1:])
        intra[1] += count(v[:-1], v[1:])
        intra[2] += count(d[:-1, :-1], d[1:, 1:])
        intra[3] += count(a[:-1, 1:], a[1:, :-1])
    inter = [np.zeros((2 * t + 1,) * 2) for _ in range(2)]
    for row, column in modes:
        per_mode = [np.zeros((2 * t + 1,) * 2) for _ in range(2)]
        for c in components:
            g = np.abs(c[:, :, row, column])
            h = g[:, :-1] - g[:, 1:]
            v = g[:-1] - g[1:]
            per_mode[0] += count(h[:, :-1], h[:, 1:])
            per_mode[1] += count(v[:-1], v[1:])
        for k in range(2):
            inter[k] += probabilities(per_mode[k]) / len(modes)
    return np.concatenate([probabilities(m).ravel() for m in intra] + [m.ravel() for m in inter])


def dctr_reference(luminance, quantisation):
    """DCTR of the luminance straight from its definition, by another road than the program's:
    the blocks decompressed with scipy's inverse DCT, the correlations with the 64 basis
    patterns by FFT, the histograms by numpy."""
    from scipy.fft import idctn
    from scipy.signal import fftconvolve
    rows, columns = luminance.shape[:2]
    pixels = idctn(luminance * quantisation.reshape(8, 8), axes=(2, 3), norm="ortho") + 128
    x = pixels.transpose(0, 2, 1, 3).reshape(rows * 8, columns * 8)
    table = quantisation.reshape(8, 8)
    standard = np.array([16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55,
                         14, 13, 16, 24, 40, 57, 69, 56, 14, 17, 22, 29, 51, 87, 80, 62,
                         18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64, 81, 104, 113, 92,
                         49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103,
                         99]).reshape(8, 8)
    errors = []
    for quality in range(1, 101):
        scale = 5000 // quality if quality < 50 else 200 - 2 * quality
        steps = np.clip((standard * scale + 50) // 100, 1, 255)
        errors.append(((steps - table) ** 2).sum())
    quality = 1 + int(np.argmin(errors))
    q = 8.0 if quality < 50 else 8.0 * (2 - quality / 50)
    m = np.arange(8)
    basis = np.array([(np.sqrt(0.5) if k == 0 else 1.0) / 2 * np.cos(np.pi * k * (2 * m + 1) / 16)
                      for k in range(8)])
    merged = np.minimum(m, 8 - m)
    features = []
    for k in range(8):
        for l in range(8):
            pattern = np.outer(basis[k], basis[l])
            u = fftconvolve(x, pattern[::-1, ::-1], mode="valid")
            bins = np.minimum(np.floor(np.abs(u) / q + 0.5 + 1e-6), 4).astype(int)
            phase = (merged[np.arange(u.shape[0]) % 8][:, None] * 5 +
                     merged[np.arange(u.shape[1]) % 8][None, :])
            counts = np.zeros((25, 5))
            np.add.at(counts, (phase.ravel(), bins.ravel()), 1)
            features.append((counts / counts.sum(1, keepdims=True)).ravel())
    return np.concatenate(features)


# The modes the program follows between blocks: the AC coefficients whose row and column within
# the block add up to at most 4.
INTER_MODES = [(r, s - r) for s in range(1, 5) for r in range(s + 1)]


def check_features(tool, records, work, count=3):
    """The program's features against the reference on a few covers and written pictures."""
    worst, checked = 0.0, 0
    for r in [r for r in records if "row" in r and r.get("path")][:count]:
        dump = os.path.join(work, "check.coefficients")
        subprocess.run([tool, "dump", r["path"], dump], check=True)
        components, tables = read_dump(dump)
        reference = np.concatenate([markov_reference(components[:1], INTER_MODES),
                                    markov_reference(components[1:], INTER_MODES),
                                    dctr_reference(components[0], tables[0])])
        worst = max(worst, float(np.abs(reference - r["row"]).max()))
        checked += 1
    return checked, worst


# --- scoring -----------------------------------------------------------------------------------

DETECTORS = [("Markov, luminance (486)", slice(0, LUMINANCE)),
             ("Markov, all components (972)", slice(0, MARKOV)),
             ("DCTR, luminance (8000)", slice(MARKOV, DIMENSION))]


def score(records, tiles, quality, writer, rate, columns, rng):
    split = {t["name"]: t["split"] for t in tiles}
    photo = {t["name"]: t["photo"] for t in tiles}
    clean = {r["tile"]: r for r in records if r["writer"] == "clean" and r["quality"] == quality
             and "row" in r}
    pairs = [(r["tile"], clean[r["tile"]]["row"][columns], r["row"][columns]) for r in records
             if r["writer"] == writer and r["quality"] == quality and r["rate"] == rate
             and "row" in r and r["tile"] in clean]
    train = [p for p in pairs if split[p[0]] == "train"]
    test = [p for p in pairs if split[p[0]] == "test"]
    if len(train) < 10 or len(test) < 10:
        return None
    from sklearn.exceptions import ConvergenceWarning
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always", ConvergenceWarning)
        model = lossless.fit_spam(np.array([p[1] for p in train]),
                                  np.array([p[2] for p in train]),
                                  np.array([photo[p[0]] for p in train]))
    # DCTR's many features against few training pictures: some regularisations of the
    # cross-validation stop at the iteration limit. The table says how often.
    unconverged = sum(issubclass(w.category, ConvergenceWarning) for w in caught)
    cover = model.decision_function(np.array([p[1] for p in test], float))
    stego = model.decision_function(np.array([p[2] for p in test], float))
    point, intervals = lossless.evaluate(cover, stego, [photo[p[0]] for p in test], 0.0, rng)
    return {"pairs": len(test), "point": point, "intervals": intervals,
            "unconverged": unconverged}


def median(values):
    values = [v for v in values if v is not None]
    return float(np.median(values)) if values else None


def usage_rows(records, quality, writer):
    """Per rate: tiles written and tried, payload, processor time, size change, changes per bit."""
    rows = []
    for rate in RATES:
        tried = [r for r in records if r["writer"] == writer and r["quality"] == quality
                 and r["rate"] == rate]
        ok = [r for r in tried if r["status"] == "ok"]
        sizes = {r["tile"]: r["size"] for r in records if r["writer"] == "clean"
                 and r["quality"] == quality}
        rows.append({
            "rate": rate, "tried": len(tried), "ok": len(ok),
            "too_small": sum(r["status"] == "too-small" for r in tried),
            "payload": median([r["payload"] for r in ok]),
            "cpu": median([r.get("cpu") for r in ok]),
            "size": median([100.0 * (r["size"] - sizes[r["tile"]]) / sizes[r["tile"]]
                            for r in ok]),
            "per_bit": median([r["changes"] / (8 * r["payload"]) for r in ok
                               if r.get("changes", -1) >= 0]),
            "recompressed": sum(r.get("changes", 0) < 0 for r in ok),
        })
    return rows


# --- the section -------------------------------------------------------------------------------

def measure_all(context, tiles, writers, jobs):
    calls = [(context, t, q, writers) for t in tiles if t["index"] % context["share"] == 0
             for q in QUALITIES]
    return lossless.in_pool(jobs, measure_cover, calls, "JPEG covers")


def run(args, started, build, cli, work):
    tool = os.path.join(build, "bench", "pennacrow_bench_jpeg")
    if args.jpeg_tile == lossless.TILE:
        tiles = lossless.make_tiles(work, args.tiles_per_photo)
        share = 1 if args.jpeg_all_tiles else 2
    else:
        # Halved, not quartered: at this size the large camera pictures give tiles of scenes.
        tiles = lossless.make_tiles(work, args.tiles_per_photo, args.jpeg_tile, 2)
        share = 1
    for directory in ("jpeg-covers", "jpeg-stego"):
        os.makedirs(os.path.join(work, directory), exist_ok=True)
    password = os.path.join(work, "password")
    with open(password, "w") as f:
        f.write(PASSWORD + "\n")
    context = {"work": work, "tool": tool, "cli": cli, "password": password,
               "keep": args.keep, "share": share}
    writers = [w for w in WRITERS if w[1] is ours or not args.no_peers]
    if args.writers:
        chosen = args.writers.split(",")
        writers = [w for w in writers if w[0] in chosen]
        if len(writers) != len(chosen):
            sys.exit(f"unknown JPEG writer among {args.writers}")
    pending = None
    if any(w[1] is ours for w in writers):
        works, why = writes_jpeg(context, tiles[0])
        if not works:
            pending = why
            writers = [w for w in writers if w[1] is not ours]
            print(f"hide --seal --adaptive does not write JPEG in this build: {why}",
                  file=sys.stderr)
    # Our writer reads back a few of its results, spread over the test photographs.
    test = [t for t in tiles if t["split"] == "test" and t["index"] % share == 0]
    for t in test[::max(1, len(test) // REVEAL_CHECKS)][:REVEAL_CHECKS]:
        t["reveal_check"] = True
    for t in tiles:
        t["size"] = args.jpeg_tile
    print(f"{len(tiles)} tiles, every {'' if share == 1 else 'other '}one written at "
          f"{len(QUALITIES)} qualities; {args.jobs} processes", file=sys.stderr)
    records = measure_all(context, tiles, writers, args.jobs)
    measured = time.time() - started
    rng = np.random.default_rng(20261210)
    results = {}
    for quality in QUALITIES:
        for name, _, _ in writers:
            for rate in RATES:
                results[(quality, name, rate)] = [
                    (d, score(records, tiles, quality, name, rate, columns, rng))
                    for d, columns in DETECTORS]
    save_records(work, records)
    check = check_features(tool, records, work)
    print_tables(records, results, tiles, writers, pending, check, measured,
                 time.time() - started)


def save_records(work, records):
    fields = ("tile", "writer", "status")
    numbers = ("quality", "rate", "non_zero", "payload", "size", "cpu", "changes")
    table = {f: np.array([r.get(f, "") for r in records]) for f in fields}
    table.update({f: np.array([r.get(f, np.nan) for r in records], float) for f in numbers})
    rows = np.array([r["row"] if "row" in r else np.full(DIMENSION, np.nan, np.float32)
                     for r in records])
    np.savez_compressed(os.path.join(work, "jpeg-records.npz"), rows=rows, **table)


def cell(value, form):
    return "–" if value is None else form.format(value)


def print_tables(records, results, tiles, writers, pending, check, measured, elapsed):
    covers = [r for r in records if r["writer"] == "clean"]
    test = {t["name"] for t in tiles if t["split"] == "test"}
    size = tiles[0]["size"]
    tested = sum(r["tile"] in test for r in covers) // len(QUALITIES)
    print(f"JPEG covers: {len({r['tile'] for r in covers})} tiles of {size} x {size} "
          f"({tested} of them from the test photographs), each at quality "
          f"{' and '.join(map(str, QUALITIES))}.")
    for quality in QUALITIES:
        counts = [r["non_zero"] for r in covers if r["quality"] == quality]
        print(f"Non-zero AC coefficients per cover at quality {quality}: median "
              f"{int(np.median(counts))}, from {min(counts)} to {max(counts)}.")
    print()
    print("P_E at a glance (lower is easier to detect; 0.5 is chance), 95 % intervals over the "
          "test photographs:")
    print()
    print("| quality | writer | bits per non-zero AC | " +
          " | ".join(d for d, _ in DETECTORS) + " |")
    print("|---|---|---|" + "---|" * len(DETECTORS))
    for quality in QUALITIES:
        for name, _, _ in writers:
            for rate in RATES:
                cells = []
                for _, c in results[(quality, name, rate)]:
                    cells.append("too few pairs" if c is None else
                                 lossless.fmt(c["point"][0], c["intervals"][0]))
                print(f"| {quality} | {name} | {rate} | " + " | ".join(cells) + " |")
        if pending:
            print(f"| {quality} | --seal --adaptive | all | pending: {pending} |" +
                  " |" * (len(DETECTORS) - 1))
    print()
    print("| quality | writer | bits per non-zero AC | detector | test pairs | P_E | accuracy | "
          "AUC |")
    print("|---|---|---|---|---:|---|---|---|")
    for quality in QUALITIES:
        for name, _, _ in writers:
            for rate in RATES:
                for d, c in results[(quality, name, rate)]:
                    if c is None:
                        print(f"| {quality} | {name} | {rate} | {d} | – | too few pairs | | |")
                        continue
                    p, i = c["point"], c["intervals"]
                    print(f"| {quality} | {name} | {rate} | {d} | {c['pairs']} | "
                          f"{lossless.fmt(p[0], i[0])} | {lossless.fmt(p[1], i[1])} | "
                          f"{lossless.fmt(p[2], i[2])} |")
    print()
    print("Capacity, time and size (medians over the tiles written): tiles written of those "
          "tried, the payload, processor seconds per write, the file's size change, and the "
          "coefficients changed per payload bit.")
    print()
    print("| quality | writer | bits per non-zero AC | written | payload bytes | processor s | "
          "size change | changes per bit |")
    print("|---|---|---|---:|---:|---:|---:|---:|")
    notes = []
    for quality in QUALITIES:
        for name, _, overhead in writers:
            for u in usage_rows(records, quality, name):
                written = f"{u['ok']} of {u['tried']}"
                if u["too_small"]:
                    what = f"the seal's {overhead} bytes alone" if overhead else "one byte"
                    notes.append(f"{name}, quality {quality}, {u['rate']}: {u['too_small']} "
                                 f"of the covers tried too small for {what}")
                per_bit = cell(u["per_bit"], "{:.2f}")
                if u["recompressed"]:
                    per_bit = f"recompressed ({u['recompressed']})" if u["per_bit"] is None \
                        else f"{per_bit}; {u['recompressed']} recompressed"
                print(f"| {quality} | {name} | {u['rate']} | {written} | "
                      f"{cell(u['payload'], '{:.0f}')} | {cell(u['cpu'], '{:.3f}')} | "
                      f"{cell(u['size'], '{:+.1f} %')} | {per_bit} |")
    print()
    checks = [r["revealed"] for r in records if "revealed" in r]
    if checks:
        notes.append(f"hide --seal --adaptive read back by reveal --adaptive: {sum(checks)} of "
                     f"{len(checks)} gave the file back")
    stopped = [(key, d, c["unconverged"]) for key, cells in results.items() for d, c in cells
               if c is not None and c["unconverged"]]
    if stopped:
        notes.append("Fits where some regularisations of the cross-validation stopped at the "
                     "iteration limit: " + ", ".join(f"{d} at quality {k[0]}, {k[1]}, {k[2]} "
                                                     f"({n})" for k, d, n in stopped))
    notes.append(f"Markov and DCTR features of the program against the reference written from "
                 f"the definitions (numpy and scipy) on {check[0]} covers: largest difference "
                 f"{check[1]:.2g}")
    for n in notes:
        print(f"{n}.")
    usage = resource.getrusage(resource.RUSAGE_SELF), resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = sum(u.ru_utime + u.ru_stime for u in usage)
    print(f"Writing and measuring took {measured / 60:.1f} minutes; the whole section "
          f"{elapsed / 60:.1f} minutes on {os.cpu_count()} cores, {cpu / 60:.1f} minutes of "
          f"processor time (load average at the end: "
          f"{' '.join(open('/proc/loadavg').read().split()[:3])}).")
