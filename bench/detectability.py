#!/usr/bin/python3
"""How detectable a hidden message is, measured on photographs from Debian packages.

Cuts the photographs listed in COVERS into 256 x 256 tiles (after halving them, which averages
away most of their JPEG history), writes random messages into them with every writer in WRITERS
and PEERS at every rate in RATES, and measures each picture with the detectors: the classical
estimators as `analyze` has them, the SPAM features with a logistic regression trained per
writer and rate, the same over the rows a sequential container must fill, and `analyze` itself.
Training and test tiles come from different photographs. Prints a Markdown table of P_E,
accuracy and AUC with 95 % intervals (a bootstrap over the test photographs).

Run it through bench/detectability, which installs what it needs and builds the programs.
"""

import argparse
import concurrent.futures
import dataclasses
import functools
import hashlib
import json
import os
import re
import resource
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TILE = 256
RATES = (0.05, 0.1, 0.2, 0.4)  # message bits per channel sample
MODEL_FILE = os.path.join(ROOT, "src", "analysis", "SpamModel.inc")
SPAM_DIMENSION = 686
# Tiles of one photograph at most, spread over it, so that no photograph dominates.
MAX_TILES_PER_PHOTO = 30


# --- covers ------------------------------------------------------------------------------------

@dataclasses.dataclass
class Cover:
    package: str
    path: str  # relative to the package's directory below
    licence: str
    what: str  # what the photograph shows: why it counts as one


MATE = "/usr/share/backgrounds/mate/nature"
PLASMA = "/usr/share/wallpapers"
MATE_LICENCE = "GPL-2+ (debian/copyright of mate-backgrounds)"
PLASMA_LICENCE = "GPL-2+ (debian/copyright); LGPL-3 in the wallpaper's metadata.json"


def plasma(name, what):
    return Cover("plasma-workspace-wallpapers", f"{name}/contents/images/2560x1600.jpg",
                 PLASMA_LICENCE, what)


def lomiri(name, licence, what, package="lomiri-wallpapers-16.04"):
    return Cover(package, name + ".jpg", f"{licence} (debian/copyright of {package})", what)


COVERS = [
    Cover("mate-backgrounds", "Aqua.jpg", MATE_LICENCE, "a drop falling into water, close-up"),
    Cover("mate-backgrounds", "Blinds.jpg", MATE_LICENCE, "a backlit leaf, close-up"),
    Cover("mate-backgrounds", "Dune.jpg", MATE_LICENCE, "grass on a dune, sea behind"),
    Cover("mate-backgrounds", "FreshFlower.jpg", MATE_LICENCE, "an orange flower, close-up"),
    Cover("mate-backgrounds", "Garden.jpg", MATE_LICENCE, "a red flower, blurred garden"),
    Cover("mate-backgrounds", "GreenMeadow.jpg", MATE_LICENCE, "blades of grass"),
    Cover("mate-backgrounds", "LadyBird.jpg", MATE_LICENCE, "a ladybird on a stem among flowers"),
    Cover("mate-backgrounds", "RainDrops.jpg", MATE_LICENCE, "rain drops on leaves"),
    Cover("mate-backgrounds", "Storm.jpg", MATE_LICENCE, "storm clouds over a road"),
    Cover("mate-backgrounds", "TwoWings.jpg", MATE_LICENCE, "dandelion seeds before flowers"),
    Cover("mate-backgrounds", "Wood.jpg", MATE_LICENCE, "wooden boards, shallow focus"),
    Cover("mate-backgrounds", "YellowFlower.jpg", MATE_LICENCE, "a yellow flower, close-up"),
    plasma("BytheWater", "a wooden jetty at a lake"),
    plasma("ColdRipple", "a pier in fog, nearly grey"),
    plasma("ColorfulCups", "stacked paper cups from above"),
    plasma("DarkestHour", "a lake with islands at dusk"),
    plasma("EveningGlow", "rowing boats on a shore at sunset"),
    plasma("FallenLeaf", "a maple leaf on the ground, shallow focus"),
    plasma("Grey", "a building's curved facade, black and white"),
    plasma("Kite", "a kite in a blue sky with clouds"),
    plasma("OneStandsOut", "moss seen from above"),
    plasma("Path", "a path through a forest"),
    plasma("summer_1am", "a lake under the night sky"),
    lomiri("Bridge_by_Sander_Klootwijk", "CC-BY-SA-4.0", "cables of a bridge, sky and flats"),
    lomiri("Dragonfly_by_Bolly", "CC-BY-SA-4.0", "a dragonfly on a hazel branch"),
    lomiri("Picture_0B_by_freespace", "CC-BY-4.0", "a fig in a red bowl on concrete"),
    lomiri("Picture_1A_by_freespace", "CC-BY-4.0", "paint brushes in a jar"),
    lomiri("Wine_by_Jakkub_Mede", "CC-BY-4.0", "a room with a drum and a bottle of wine"),
    lomiri("aitzgorri_by_Aitzol_Berasategi", "CC-BY-4.0", "mountains over an autumn forest"),
    lomiri("analogpattern_by_Peter_Nerlich", "CC-BY-SA-4.0", "a textured surface in coloured light"),
    lomiri("free_by_Peter_Nerlich", "CC-BY-SA-4.0", "a bird figure under ceiling lamps"),
    lomiri("friends_by_Aitzol_Berasategi", "CC-BY-4.0", "two dogs at a window"),
    lomiri("greentock_by_Peter_Nerlich", "CC-BY-SA-4.0", "a wall clock, close-up"),
    lomiri("life_by_Aitzol_Berasategi", "CC-BY-4.0", "a stream among rocks in a forest"),
    lomiri("picosdeeuropa_by_Aitzol_Berasategi", "CC-BY-4.0", "a path below limestone peaks"),
    lomiri("seeding_by_Clements_Engelhardt", "CC0-1.0", "dandelion clocks in a meadow"),
    lomiri("sunset_by_Aitzol_Berasategi", "CC-BY-4.0", "the sun low over hills"),
    lomiri("Kleiber_by_Lukas_Baubkus", "CC-BY-SA-3.0", "a nuthatch on a tree trunk",
           "lomiri-wallpapers-20.04"),
    Cover("python3-skimage", "astronaut.png",
          "public domain (NASA), as the data set's notes say", "portrait of Eileen Collins"),
    Cover("python3-skimage", "retina.jpg",
          "CC0 (Häggström), as the data set's notes say", "fundus photograph of an eye"),
]
# Left out: the other pictures of these packages are drawings, renderings or paintings
# (plasma's Autumn, Volna and the rest, MATE's abstract and desktop folders, lomiri's Fossa,
# Infinite-Sea, Painting-Colors and umang), grey (skimage's camera, moon, coins), too small for a
# tile once halved (coffee, chelsea, rocket), a composite of telescope exposures (hubble), or of
# a licence the data set does not state (motorcycle).

PACKAGE_DIRS = {"mate-backgrounds": MATE, "plasma-workspace-wallpapers": PLASMA,
                "lomiri-wallpapers-16.04": "/usr/share/backgrounds",
                "lomiri-wallpapers-20.04": "/usr/share/backgrounds"}


def package_dir(package):
    if package == "python3-skimage":
        import skimage.data
        return os.path.dirname(skimage.data.__file__)
    return PACKAGE_DIRS[package]


def photo_name(cover):
    return re.sub(r"[^A-Za-z0-9]+", "_", cover.path.split("/")[0].rsplit(".", 1)[0])


def reduction(width, height):
    """Halving, repeated while the shorter side stays at least 512: every cover is averaged over
    2 x 2 pixels or more, which hides most of its JPEG history, and large camera pictures over
    4 x 4, so that their tiles show scenes rather than texture."""
    factor = 2
    while min(width, height) // (2 * factor) >= 512:
        factor *= 2
    return factor


def make_tiles(work, per_photo, size=TILE, factor=None):
    """Averages every cover down (by factor, or as reduction() says) and cuts it into tiles of
    size x size; returns the tile list."""
    from PIL import Image
    tiles = []
    directory = os.path.join(work, "tiles" if (size, factor) == (TILE, None)
                             else f"tiles-{size}-{factor}")
    os.makedirs(directory, exist_ok=True)
    for index, cover in enumerate(COVERS):
        path = os.path.join(package_dir(cover.package), cover.path)
        if not os.path.exists(path):
            sys.exit(f"missing cover {path}: install {cover.package}")
        picture = Image.open(path).convert("RGB")
        picture = picture.reduce(factor or reduction(picture.width, picture.height))
        columns, rows = picture.width // size, picture.height // size
        # Centred grid; at most per_photo of its cells, evenly spaced.
        x0, y0 = (picture.width - columns * size) // 2, (picture.height - rows * size) // 2
        cells = [(r, c) for r in range(rows) for c in range(columns)]
        keep = np.unique(np.linspace(0, len(cells) - 1,
                                     min(len(cells), per_photo)).round().astype(int))
        photo = photo_name(cover)
        # Training and test photographs alternate within each package.
        split = "train" if sum(c.package == cover.package for c in COVERS[:index]) % 2 == 0 \
            else "test"
        for k in keep:
            r, c = cells[k]
            name = f"{photo}-{r}-{c}"
            file = os.path.join(directory, name + ".png")
            if not os.path.exists(file):
                picture.crop((x0 + c * size, y0 + r * size, x0 + (c + 1) * size,
                              y0 + (r + 1) * size)).save(file)
            tiles.append({"name": name, "photo": photo, "split": split, "file": file,
                          "package": cover.package, "index": len(tiles)})
    return tiles


# --- writers -----------------------------------------------------------------------------------

@dataclasses.dataclass
class Writer:
    name: str  # as the table shows it
    sequential: bool  # fills the carrier from the top-left corner, so its place is known
    core: str = ""  # a writer of pennacrow_bench_detect
    peer: object = None  # a function (cover tile, message file, output stem) -> output file
    share: tuple = (0, 1)  # (k, m): only tiles whose number is k modulo m
    note: str = ""


def peer_run(command, output, env=None):
    """Runs a peer; the output file, or None when the message does not fit."""
    result = subprocess.run(command, capture_output=True, text=True, env=env, timeout=300)
    if result.returncode == 0 and os.path.exists(output):
        return output
    message = (result.stderr + result.stdout).strip().splitlines()
    if any(re.search(r"too short|not enough|capacity|too (large|big)|exceeds", line, re.I)
           for line in message):
        return None
    raise RuntimeError(f"{command[0]} failed: {message[-1] if message else result.returncode}")


def steghide(tile, message, stem):
    from PIL import Image
    cover = stem + "-cover.bmp"
    Image.open(tile).save(cover)
    return peer_run(["steghide", "embed", "-q", "-f", "-cf", cover, "-ef", message,
                     "-sf", stem + ".bmp", "-p", "benchmark"], stem + ".bmp")


def outguess(tile, message, stem):
    from PIL import Image
    cover = stem + "-cover.ppm"
    Image.open(tile).save(cover)
    return peer_run(["outguess", "-k", "benchmark", "-d", message, cover, stem + ".ppm"],
                    stem + ".ppm")


def stegosuite(extension, tile, message, stem):
    from PIL import Image
    cover = stem + "-cover." + extension
    Image.open(tile).save(cover)
    # Its command line needs no display; a quicker start of the Java VM changes nothing of what
    # it writes.
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    env["JAVA_TOOL_OPTIONS"] = "-XX:TieredStopAtLevel=1 -XX:+UseSerialGC"
    output = stem + "." + extension
    return peer_run(["stegosuite", "embed", "-k", "benchmark", "-f", message, "-o", output,
                     cover], output, env)


# The peers: tools people install today that write lossless pictures. A new one is one line.
# Their programs cost far more time per picture than our writers, so each takes a share of the
# tiles (both splits, every photograph), which the intervals of its rows show; stegosuite starts a
# Java VM per picture, a second each.
PEERS = [
    Writer("steghide (BMP)", False, peer=steghide, share=(0, 2), note="every other tile"),
    Writer("outguess (PPM)", False, peer=outguess, share=(0, 2), note="every other tile"),
    Writer("stegosuite (BMP)", False, peer=functools.partial(stegosuite, "bmp"), share=(1, 8),
           note="one tile in eight"),
    Writer("stegosuite (PNG)", False, peer=functools.partial(stegosuite, "png"), share=(5, 8),
           note="one tile in eight, others than BMP's"),
]

CORE_NAMES = {"replace": "replacement", "stealth": "--stealth", "seal": "--seal",
              "seal-stealth": "--seal --stealth", "keyed": "--seal --adaptive"}


def core_writers(tool):
    """Our writers, as the measuring program lists them."""
    writers = []
    for line in subprocess.run([tool, "writers"], check=True, capture_output=True,
                               text=True).stdout.splitlines():
        name, sequential = line.split("\t")
        writers.append(Writer(CORE_NAMES.get(name, name), sequential == "1", core=name))
    return writers


# --- measuring ---------------------------------------------------------------------------------

FIELDS = ("spa", "rs", "ws", "classical_region", "verdict", "trained", "container_bits")


def seed_of(*parts):
    return int.from_bytes(hashlib.sha256("/".join(map(str, parts)).encode()).digest()[:8],
                          "little")


def message_bytes(rate):
    return int(rate * 3 * TILE * TILE) // 8


def measure_tile(tool, work, tile, writers, keep, check_rate):
    """Writes and measures everything for one tile; returns its records and feature rows."""
    stego_dir = os.path.join(work, "stego", tile["name"])
    os.makedirs(stego_dir, exist_ok=True)
    jobs, records = [], []
    for rate in RATES:
        jobs.append(("clean", rate, "none", tile["file"], 0, None))
    for w in writers:
        k, m = w.share
        if tile["index"] % m != k:
            continue
        fitted = True
        for rate in RATES:
            seed = seed_of(tile["name"], w.name, rate)
            if w.core:
                save = None
                if w.core == "stealth" and rate == check_rate and tile["split"] == "test":
                    save = os.path.join(work, "check", f"{tile['name']}-stealth.png")
                jobs.append((w.name, rate, w.core, tile["file"], seed, save))
                continue
            stem = os.path.join(stego_dir, re.sub(r"[^a-z]+", "_", w.name.lower()) + f"-{rate}")
            existing = [f for f in os.listdir(stego_dir)
                        if f.startswith(os.path.basename(stem) + ".")] if keep else []
            output = os.path.join(stego_dir, existing[0]) if existing else None
            if output is None and fitted:
                message = os.path.join(stego_dir, "m")
                with open(message, "wb") as f:
                    f.write(np.random.default_rng(seed).bytes(message_bytes(rate)))
                output = w.peer(tile["file"], message, stem)
                # A message that does not fit at this rate fits at no higher one.
                fitted = output is not None
            if output is None:
                records.append({"tile": tile["name"], "writer": w.name, "rate": rate,
                                "status": "too-big"})
            else:
                jobs.append((w.name, rate, "none", output, 0, None))
    features = os.path.join(work, "features", tile["name"] + ".f32")
    if os.path.exists(features):
        os.remove(features)
    lines = "".join(f"{i}\t{j[2]}\t{j[1]}\t{j[3]}\t{j[4]}" + (f"\t{j[5]}" if j[5] else "")
                    + "\n" for i, j in enumerate(jobs))
    out = subprocess.run([tool, "measure", features], input=lines, capture_output=True,
                         text=True, check=True).stdout
    rows = np.fromfile(features, dtype=np.float32).reshape(-1, 2, SPAM_DIMENSION) \
        if os.path.exists(features) else np.zeros((0, 2, SPAM_DIMENSION), np.float32)
    used = 0
    for line in out.splitlines():
        key, status, *values = line.split("\t")
        writer, rate = jobs[int(key)][0], jobs[int(key)][1]
        record = {"tile": tile["name"], "writer": writer, "rate": rate, "status": status}
        if status == "ok":
            record.update({f: v if f == "verdict" else float(v) for f, v in zip(FIELDS, values)})
            record["row"] = rows[used]
            used += 1
        records.append(record)
    if not keep:
        shutil.rmtree(stego_dir, ignore_errors=True)
    return records


def measure_all(tool, work, tiles, writers, jobs, keep, check_rate):
    os.makedirs(os.path.join(work, "features"), exist_ok=True)
    os.makedirs(os.path.join(work, "check"), exist_ok=True)
    return in_pool(jobs, measure_tile, [(tool, work, t, writers, keep, check_rate) for t in tiles],
                   "tiles")


def in_pool(jobs, function, calls, what):
    """The records of function over the calls' arguments, on jobs processes, joined in one list;
    says how far it has come every 25 calls."""
    records = []
    started = time.time()
    with concurrent.futures.ProcessPoolExecutor(max_workers=jobs) as pool:
        futures = [pool.submit(function, *arguments) for arguments in calls]
        for done, future in enumerate(concurrent.futures.as_completed(futures), 1):
            records.extend(future.result())
            if done % 25 == 0 or done == len(calls):
                print(f"  {done}/{len(calls)} {what}, {time.time() - started:.0f} s",
                      file=sys.stderr)
    return records


# --- statistics --------------------------------------------------------------------------------

def weighted_metrics(cover, stego, weights_cover, weights_stego, threshold):
    """P_E, accuracy at a fixed threshold, and AUC, for each row of the weight matrices.

    Scores at or above a threshold are called stego. Ties count half in the AUC."""
    values = np.unique(np.concatenate([cover, stego]))
    ic = np.searchsorted(values, cover)
    is_ = np.searchsorted(values, stego)
    b = weights_cover.shape[0]
    hc = np.zeros((b, len(values)))
    hs = np.zeros((b, len(values)))
    np.add.at(hc.T, ic, weights_cover.T)
    np.add.at(hs.T, is_, weights_stego.T)
    tc, ts = hc.sum(1, keepdims=True), hs.sum(1, keepdims=True)
    hc, hs = hc / tc, hs / ts
    # Threshold at each value: false alarms are covers at or above it, misses stegos below.
    fa = np.flip(np.cumsum(np.flip(hc, 1), 1), 1)
    md = np.cumsum(hs, 1) - hs
    pe = np.minimum(0.5 * (fa + md).min(1), 0.5)
    below_c = np.cumsum(hc, 1) - hc
    auc = (hs * (below_c + 0.5 * hc)).sum(1)
    called_c = (weights_cover * (cover >= threshold)).sum(1) / tc[:, 0]
    called_s = (weights_stego * (stego >= threshold)).sum(1) / ts[:, 0]
    accuracy = 0.5 * (1 - called_c + called_s)
    return pe, accuracy, auc


def train_threshold(cover, stego):
    """The threshold that minimises the training error (equal priors)."""
    values = np.unique(np.concatenate([cover, stego, [np.inf]]))
    errors = [(cover >= t).mean() + (stego < t).mean() for t in values]
    return values[int(np.argmin(errors))]


def bootstrap_weights(photos, count, rng):
    """Weights of each sample in count resamplings of the photographs (with replacement)."""
    names = sorted(set(photos))
    index = np.array([names.index(p) for p in photos])
    draws = rng.integers(0, len(names), size=(count, len(names)))
    per_photo = np.stack([np.bincount(d, minlength=len(names)) for d in draws])
    return per_photo[:, index].astype(float)


def evaluate(cover, stego, photos, threshold, rng, count=1000):
    cover, stego = np.asarray(cover, float), np.asarray(stego, float)
    one = np.ones((1, len(cover)))
    point = [m[0] for m in weighted_metrics(cover, stego, one, one, threshold)]
    w = bootstrap_weights(photos, count, rng)
    keep = w.sum(1) > 0
    spread = weighted_metrics(cover, stego, w[keep], w[keep], threshold)
    intervals = [np.percentile(m, [2.5, 97.5]) for m in spread]
    return point, intervals


# --- detectors ---------------------------------------------------------------------------------

def fit_spam(x_cover, x_stego, photos, weights=None):
    """Standardised features, logistic regression, regularisation chosen by a cross-validation
    that keeps each photograph's tiles in one fold."""
    from sklearn.linear_model import LogisticRegressionCV
    from sklearn.model_selection import GroupKFold
    from sklearn.pipeline import make_pipeline
    from sklearn.preprocessing import StandardScaler
    x = np.vstack([x_cover, x_stego]).astype(float)
    y = np.r_[np.zeros(len(x_cover)), np.ones(len(x_stego))]
    groups = np.r_[photos, photos] if len(photos) == len(x_cover) == len(x_stego) else None
    folds = list(GroupKFold(4).split(x, y, groups)) if groups is not None else 4
    model = make_pipeline(StandardScaler(), LogisticRegressionCV(
        Cs=np.logspace(-4, 1, 6), cv=folds, max_iter=2000, scoring="neg_log_loss"))
    model.fit(x, y, logisticregressioncv__sample_weight=weights)
    return model


def paired(records, writer, rate, key):
    """(tile, cover value, stego value) for the tiles where both were measured."""
    clean = {r["tile"]: r for r in records if r["writer"] == "clean" and r["rate"] == rate
             and r["status"] == "ok"}
    out = []
    for r in records:
        if r["writer"] == writer and r["rate"] == rate and r["status"] == "ok" \
                and r["tile"] in clean:
            out.append((r["tile"], key(clean[r["tile"]]), key(r)))
    return out


def detectors(writer):
    """(name, kind, value of a record) of every detector that applies to the writer."""
    found = [
        ("SPA", "estimate", lambda r: r["spa"]),
        ("RS", "estimate", lambda r: r["rs"]),
        ("WS", "estimate", lambda r: r["ws"]),
        ("SPAM + LR", "trained", lambda r: r["row"][0]),
    ]
    if writer.sequential:
        found += [("SPA+RS+WS, container rows", "estimate", lambda r: r["classical_region"]),
                  ("SPAM + LR, container rows", "trained", lambda r: r["row"][1])]
    found += [("analyze: trained detector", "fixed-0.5", lambda r: r["trained"]),
              ("analyze: verdict", "verdict", lambda r: r["verdict"])]
    return found


def verdict_alarm(value):
    # Only a verdict that claims a trace is an alarm; "cannot judge" is none.
    return 1.0 if value in ("suspicious", "detectable") else 0.0


def score_cell(records, tiles, writer, rate, detector, rng):
    name, kind, key = detector
    split = {t["name"]: t["split"] for t in tiles}
    photo = {t["name"]: t["photo"] for t in tiles}
    pairs = paired(records, writer.name, rate, key)
    train = [p for p in pairs if split[p[0]] == "train"]
    test = [p for p in pairs if split[p[0]] == "test"]
    if len(train) < 10 or len(test) < 10:
        return None
    if kind == "trained":
        model = fit_spam(np.array([p[1] for p in train]), np.array([p[2] for p in train]),
                         np.array([photo[p[0]] for p in train]))
        cover = model.decision_function(np.array([p[1] for p in test], float))
        stego = model.decision_function(np.array([p[2] for p in test], float))
        threshold = 0.0
    elif kind == "verdict":
        cover = np.array([verdict_alarm(p[1]) for p in test])
        stego = np.array([verdict_alarm(p[2]) for p in test])
        threshold = 1.0
    else:
        cover = np.array([p[1] for p in test], float)
        stego = np.array([p[2] for p in test], float)
        # An estimate the estimator could not make counts as no trace.
        cover, stego = np.nan_to_num(cover, nan=-1.0), np.nan_to_num(stego, nan=-1.0)
        if kind == "fixed-0.5":
            threshold = 0.5
        else:
            threshold = train_threshold(np.nan_to_num([p[1] for p in train], nan=-1.0),
                                        np.nan_to_num([p[2] for p in train], nan=-1.0))
    point, intervals = evaluate(cover, stego, [photo[p[0]] for p in test], threshold, rng)
    return {"pairs": len(test), "point": point, "intervals": intervals}


# --- the shipped model -------------------------------------------------------------------------

def train_shipped_model(records, tiles, rates):
    """The model analyze ships: clean training tiles against --stealth ones at the given rates,
    each rate weighted so that both classes weigh the same."""
    split = {t["name"]: t["split"] for t in tiles}
    photo = {t["name"]: t["photo"] for t in tiles}
    clean = [r for r in records if r["writer"] == "clean" and r["rate"] == rates[0]
             and r["status"] == "ok" and split[r["tile"]] == "train"]
    stego = [r for r in records if r["writer"] == "--stealth" and r["rate"] in rates
             and r["status"] == "ok" and split[r["tile"]] == "train"]
    x = np.array([r["row"][0] for r in clean + stego], float)
    y = np.r_[np.zeros(len(clean)), np.ones(len(stego))]
    weights = np.r_[np.full(len(clean), len(stego) / len(clean)), np.ones(len(stego))]
    groups = np.array([photo[r["tile"]] for r in clean + stego])
    from sklearn.model_selection import GroupKFold
    from sklearn.linear_model import LogisticRegressionCV
    from sklearn.pipeline import make_pipeline
    from sklearn.preprocessing import StandardScaler
    model = make_pipeline(StandardScaler(), LogisticRegressionCV(
        Cs=np.logspace(-4, 1, 6), cv=list(GroupKFold(4).split(x, y, groups)), max_iter=2000,
        scoring="neg_log_loss"))
    model.fit(x, y, logisticregressioncv__sample_weight=weights)
    return model


def model_weights(model):
    """The pipeline folded into one weight per raw feature and a bias."""
    scaler, regression = model[0], model[1]
    w = regression.coef_[0] / scaler.scale_
    b = regression.intercept_[0] - float(np.dot(w, scaler.mean_))
    return w, b


def write_model(model, rates, tiles, commit):
    w, b = model_weights(model)
    train = sorted({t["photo"] for t in tiles if t["split"] == "train"})
    count = sum(t["split"] == "train" for t in tiles)
    header = [
        "// The trained ±1 detector of analyze: a logistic regression over the 686 SPAM features",
        "// averaged over the colour channels (src/analysis/Spam.h), folded into one weight per",
        "// feature and, last, the bias; the probability is 1 / (1 + exp(-(w . f + b))).",
        "//",
        "// Written by bench/detectability --train, which made it this way (rerun it to retrain):",
        f"// {count} training tiles of 256 x 256 from {len(train)} photographs (bench/detectability.py",
        "// lists them), averaged down 2 or 4 times before they were cut; each clean tile against",
        "// the same tile",
        f"// written with --stealth and a random message at {', '.join(map(str, rates))} bits per channel sample,",
        "// the rates weighted so that clean and written tiles weigh the same; standardised",
        "// features, L2 regularisation chosen by a 4-fold cross-validation that keeps each",
        f"// photograph in one fold (C = {model[1].C_[0]:.4g}). Commit {commit}.",
    ]
    with open(MODEL_FILE, "w") as f:
        f.write("\n".join(header) + "\n")
        for i in range(0, len(w), 4):
            f.write(" ".join(f"{v:.17g}," for v in w[i:i + 4]) + "\n")
        f.write(f"{b:.17g}\n")


def read_model():
    numbers = []
    with open(MODEL_FILE) as f:
        for line in f:
            if not line.startswith("//"):
                numbers += [float(v) for v in line.replace(",", " ").split()]
    return np.array(numbers[:-1]), numbers[-1]


# --- checks ------------------------------------------------------------------------------------

def spam_reference(channel, rect=None):
    """SPAM-686 of one channel straight from the definitions, as an independent check of the
    program's counting: eight difference arrays, second-order transition probabilities of the
    differences in [-3, 3], horizontal and vertical averaged, diagonal averaged."""
    x = channel.astype(np.int64)
    if rect is not None:
        left, top, width, height = rect
        x = x[top:top + height, left:left + width]
    t = 3
    groups = []
    for directions in (((0, 1), (0, -1), (1, 0), (-1, 0)),
                       ((1, 1), (-1, -1), (1, -1), (-1, 1))):
        total = np.zeros((2 * t + 1,) * 3)
        for dy, dx in directions:
            h, w = x.shape
            # Runs s1 s2 s3 s4 with s(k+1) one step (dy, dx) after s(k), all inside.
            ys = range(max(0, -3 * dy), h - max(0, 3 * dy))
            xs = range(max(0, -3 * dx), w - max(0, 3 * dx))
            s = [x[ys.start + k * dy:ys.stop + k * dy, xs.start + k * dx:xs.stop + k * dx]
                 for k in range(4)]
            d1, d2, d3 = (s[0] - s[1]).ravel(), (s[1] - s[2]).ravel(), (s[2] - s[3]).ravel()
            m = np.zeros((2 * t + 1,) * 3)
            for v in range(-t, t + 1):
                for w_ in range(-t, t + 1):
                    condition = (d2 == v) & (d1 == w_)
                    n = condition.sum()
                    if n == 0:
                        continue
                    for u in range(-t, t + 1):
                        m[u + t, v + t, w_ + t] = ((d3 == u) & condition).sum() / n
            total += m / 4
        groups.append(total.ravel())
    return np.concatenate(groups)


def check_features(records, tiles, count=3):
    """The program's features against the reference on a few tiles, whole and container rows."""
    from PIL import Image
    worst = 0.0
    by_name = {t["name"]: t for t in tiles}
    checked = [r for r in records if r["writer"] == "clean" and r["rate"] == RATES[1]
               and r["status"] == "ok"][:count]
    rows = int(message_bytes(RATES[1]) * 8 // TILE)
    for r in checked:
        rgb = np.asarray(Image.open(by_name[r["tile"]]["file"]).convert("RGB"))
        for area, rect in ((0, None), (1, (0, 0, TILE // 3, rows))):
            # Our channel order is the bitmap's B, G, R; the mean does not care.
            reference = np.mean([spam_reference(rgb[..., c], rect) for c in range(3)], axis=0)
            worst = max(worst, float(np.abs(reference - r["row"][area]).max()))
    return len(checked), worst


def check_analyze(cli, records, tiles, work, rate):
    """pennacrow-cli analyze on held-out tiles, clean and --stealth: its trained detector's
    decisions against the shipped model applied here to the same features."""
    w, b = read_model()
    split = {t["name"]: t for t in tiles}
    cover, stego, reference = [], [], {"clean": [], "--stealth": []}
    for r in records:
        if r["status"] != "ok" or r["rate"] != rate or split[r["tile"]]["split"] != "test" \
                or r["writer"] not in reference:
            continue
        if r["writer"] == "clean":
            cover.append(split[r["tile"]]["file"])
        else:
            stego.append(os.path.join(work, "check", f"{r['tile']}-stealth.png"))
        reference[r["writer"]].append(float(np.dot(w, r["row"][0]) + b) >= 0)
    answers = []
    for start in range(0, len(cover + stego), 200):
        out = subprocess.run([cli, "analyze", "--json", *(cover + stego)[start:start + 200]],
                             capture_output=True, text=True).stdout
        answers += [json.loads(line) for line in out.splitlines()]
    truth = np.r_[np.zeros(len(cover)), np.ones(len(stego))]
    called = np.array([(a.get("trained") or {}).get("whole") or 0.0 for a in answers]) >= 0.5
    accuracy = 0.5 * ((~called[truth == 0]).mean() + called[truth == 1].mean())
    ref = np.array(reference["clean"] + reference["--stealth"])
    ref_accuracy = 0.5 * ((~ref[truth == 0]).mean() + ref[truth == 1].mean())
    return len(cover), len(stego), accuracy, ref_accuracy, int((called != ref).sum())


def save_records(work, records):
    """The measurements beside the tiles, for a look at them afterwards (numpy's npz)."""
    fields = ("tile", "writer", "rate", "status") + FIELDS
    table = {f: np.array([r.get(f, np.nan if f not in ("tile", "writer", "status", "verdict")
                                else "") for r in records]) for f in fields}
    rows = np.array([r["row"] if "row" in r else np.full((2, SPAM_DIMENSION), np.nan, np.float32)
                     for r in records])
    np.savez_compressed(os.path.join(work, "records.npz"), rows=rows, **table)


# --- output ------------------------------------------------------------------------------------

def fmt(point, interval):
    return f"{point:.2f} [{interval[0]:.2f}, {interval[1]:.2f}]"


def print_tables(results, writers, tiles, elapsed, extra):
    test = [t for t in tiles if t["split"] == "test"]
    print(f"Covers: {len(tiles)} tiles of {TILE} x {TILE} from {len(COVERS)} photographs; "
          f"{len(tiles) - len(test)} for training, {len(test)} for testing "
          f"({len({t['photo'] for t in test})} photographs).")
    print(f"Message sizes per tile: " + ", ".join(
        f"{r} → {message_bytes(r)} bytes" for r in RATES) + ".")
    print()
    print("| writer | bits per channel sample | detector | test pairs | P_E | accuracy | AUC |")
    print("|---|---|---|---:|---|---|---|")
    for w in writers:
        for rate in RATES:
            cells = results.get((w.name, rate))
            if isinstance(cells, str):
                print(f"| {w.name} | {rate} | all | – | {cells} | | |")
                continue
            for name, cell in cells:
                if cell is None:
                    print(f"| {w.name} | {rate} | {name} | – | too few pairs | | |")
                    continue
                p, i = cell["point"], cell["intervals"]
                print(f"| {w.name} | {rate} | {name} | {cell['pairs']} | {fmt(p[0], i[0])} | "
                      f"{fmt(p[1], i[1])} | {fmt(p[2], i[2])} |")
    print()
    for line in extra:
        print(line)
    usage = resource.getrusage(resource.RUSAGE_SELF), resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = sum(u.ru_utime + u.ru_stime for u in usage)
    print(f"Run time: {elapsed / 60:.1f} minutes on {os.cpu_count()} cores, {cpu / 60:.1f} minutes "
          f"of processor time in all (so about {cpu / 60 / os.cpu_count():.1f} minutes on idle "
          f"cores); load average at the end: "
          f"{' '.join(open('/proc/loadavg').read().split()[:3])}.")


def commit_id():
    try:
        return subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"],
                              capture_output=True, text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return "unknown"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.environ.get("PENNACROW_BUILD_DIR",
                                                          os.path.join(ROOT, "build")))
    parser.add_argument("--work", help="keep tiles and results here (default: a temporary "
                                        "directory, removed at the end)")
    parser.add_argument("--jobs", type=int, default=os.cpu_count())
    parser.add_argument("--no-peers", action="store_true",
                        help="our writers only (enough to retrain the shipped model)")
    parser.add_argument("--keep", action="store_true",
                        help="keep the peers' pictures in --work and use them again next time")
    parser.add_argument("--train", action="store_true",
                        help="retrain the shipped model and write " + MODEL_FILE)
    parser.add_argument("--covers", action="store_true", help="list the covers and stop")
    parser.add_argument("--writers", help="only these writers, by their names in the table, "
                        "comma-separated (a quicker look at a few)")
    parser.add_argument("--jpeg", action="store_true",
                        help="the JPEG section instead: JPEG covers at qualities 75 and 95, our "
                        "writer, steghide and outguess, a Markov detector of the coefficients")
    parser.add_argument("--jpeg-tile", type=int, choices=(256, 512), default=512,
                        help="with --jpeg: the covers' size (512: cut from the photographs "
                        "halved; 256: the lossless section's tiles)")
    parser.add_argument("--jpeg-all-tiles", action="store_true",
                        help="with --jpeg --jpeg-tile 256: write into every tile, not every "
                        "other (twice the time, narrower intervals)")
    parser.add_argument("--tiles-per-photo", type=int, default=MAX_TILES_PER_PHOTO,
                        help="fewer tiles for a quick look (the table needs the default)")
    args = parser.parse_args()
    if args.covers:
        for c in COVERS:
            print(f"| {c.package} | {c.path} | {c.licence} | {c.what} |")
        return
    started = time.time()
    tool = os.path.join(args.build, "bench", "pennacrow_bench_detect")
    cli = os.path.join(args.build, "pennacrow-cli")
    work = args.work or tempfile.mkdtemp(prefix="pennacrow-detect.")
    try:
        if args.jpeg:
            import detectability_jpeg
            detectability_jpeg.run(args, started, args.build, cli, work)
        else:
            run(args, started, tool, cli, work)
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)


CHECK_RATE = 0.1
SHIPPED_RATES = (0.05, 0.1, 0.2)


def run(args, started, tool, cli, work):
    tiles = make_tiles(work, args.tiles_per_photo)
    writers = core_writers(tool) + ([] if args.no_peers else PEERS)
    if args.writers:
        chosen = args.writers.split(",")
        writers = [w for w in writers if w.name in chosen]
        if len(writers) != len(chosen):
            sys.exit(f"unknown writer among {args.writers}")
    print(f"{len(tiles)} tiles; measuring with {args.jobs} processes", file=sys.stderr)
    records = measure_all(tool, work, tiles, writers, args.jobs, args.train or args.keep,
                          CHECK_RATE)
    measured = time.time() - started
    if args.train:
        model = train_shipped_model(records, tiles, SHIPPED_RATES)
        write_model(model, SHIPPED_RATES, tiles, commit_id())
        print(f"wrote {MODEL_FILE}; rebuilding and measuring again", file=sys.stderr)
        subprocess.run(["cmake", "--build", args.build, "--target", "pennacrow_bench_detect",
                        "pennacrow-cli"], check=True, stdout=subprocess.DEVNULL)
        records = measure_all(tool, work, tiles, writers, args.jobs, True, CHECK_RATE)
    rng = np.random.default_rng(20261210)
    results = {}
    for w in writers:
        for rate in RATES:
            if not any(r["writer"] == w.name and r["rate"] == rate and r["status"] == "ok"
                       for r in records):
                tried = [r for r in records if r["writer"] == w.name and r["rate"] == rate]
                results[(w.name, rate)] = "does not fit" if tried else "not run"
                continue
            results[(w.name, rate)] = [(d[0], score_cell(records, tiles, w, rate, d, rng))
                                       for d in detectors(w)]
    save_records(work, records)
    checked, worst = check_features(records, tiles)
    extra = [f"SPAM features of the program against the reference written from the paper's "
             f"definitions (numpy) on {checked} tiles, whole and container rows: largest "
             f"difference {worst:.2g}."]
    n_cover, n_stego, accuracy, reference, differ = check_analyze(cli, records, tiles, work,
                                                                  CHECK_RATE)
    extra.append(f"`pennacrow-cli analyze` on held-out tiles ({n_cover} clean, {n_stego} "
                 f"--stealth at {CHECK_RATE}): its trained detector's accuracy {accuracy:.3f}; "
                 f"the shipped model in Python on the same features {reference:.3f} "
                 f"({differ} decisions differ).")
    for w in writers:
        if w.note:
            extra.append(f"{w.name}: {w.note}.")
    extra.append(f"Writing and measuring took {measured / 60:.1f} minutes.")
    print_tables(results, writers, tiles, time.time() - started, extra)


if __name__ == "__main__":
    main()
