#!/usr/bin/env python3
"""Recognition benchmark: Earth maps drawn by gdalwarp (and GMT, where installed) with random
centres, as drawn and restyled, and pictures that are no Earth map; kartovel-convert --recognize
on each, judged against the true placement.

    bench/recognize_bench.py [--width 2048] [--seed 2] [--out DIR] [--keys moll,ortho,...]
                             [--sets classic,new] [--styles plain,restyled] [--no-gmt]
                             [--no-others]

Needs gdal-bin and xplanet-images; the restyled maps and the pictures that are no map need
ImageMagick's convert, the GMT maps gmt and gmt-gshhg-low (each skipped when missing). The maps
are drawn with the table and settings derivation of the shared reference maps (sources.py,
REFERENCE_MAPS, default ../shared/reference-maps beside the repository), their centres drawn at
random. The newer types (codes 23-39), which the shared table does not hold, are drawn here from
PROJ's definitions; their true settings are the exact fit of 200 places that PROJ puts on the
picture (centre and parallels held), which also checks that our projection draws PROJ's shape.
Prints a Markdown table: type x style -> right/wrong, error in px, CPU and wall time.
"""
import argparse
import importlib.util
import math
import os
import random
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
EARTH = "/usr/share/xplanet/images/earth.jpg"
LL = "+proj=longlat +R=1 +no_defs +type=crs"
# Types with a centre of projection: latitude and longitude drawn at random; the others get a
# random central meridian.
CENTRED = {"aeqd", "gnom", "laea", "ortho", "stere"}
CONES = {"aea", "eqdc", "lcc"}


def draw(proj, te, width, height, out, stem):
    """The Earth in `proj` over the extent `te`, drawn by gdalwarp into stem.png (once)."""
    if os.path.exists(stem + ".png"):
        return
    subprocess.run(["gdalwarp", "-q", "-overwrite", "-t_srs", proj + " +type=crs",
                    "-te", *map(repr, te), "-ts", str(width), str(height), "-r", "bilinear",
                    "-et", "0", "-dstalpha", "-wo", "SAMPLE_GRID=YES", "-multi",
                    "-wo", "NUM_THREADS=ALL_CPUS", os.path.join(out, "earth_ll.tif"),
                    stem + ".tif"], check=True)
    subprocess.run(["gdal_translate", "-q", "-b", "1", "-b", "2", "-b", "3", "-of", "PNG",
                    stem + ".tif", stem + ".png"], check=True,
                   env=dict(os.environ, GDAL_PAM_ENABLED="NO"))

def load_sources():
    folder = os.environ.get("REFERENCE_MAPS",
                            os.path.join(os.path.dirname(REPO), "shared", "reference-maps"))
    spec = importlib.util.spec_from_file_location("sources", os.path.join(folder, "sources.py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def proj_with_centre(proj, lat0, lon0):
    words = [w for w in proj.split() if not w.startswith(("+lat_0=", "+lon_0="))]
    if lat0 is not None:
        words.append(f"+lat_0={lat0}")
    words.append(f"+lon_0={lon0}")
    return " ".join(words)


def random_centre(key, rng):
    """A classic map's random centre: (latitude or None, longitude)."""
    lon0 = round(rng.uniform(-180, 180), 2)
    return (round(rng.uniform(-70, 70), 2) if key in CENTRED else None), lon0


def draw_gdal(sources, key, width, centre, out):
    """Draws one map with the centre drawn for it; returns (png, width, height, true options)."""
    name, proj, k, clat, clon, p1, p2, box = sources.TABLE[key]
    lat0, lon0 = centre
    if key in CENTRED:
        clat = -lat0  # the stored convention of the sidecars
    elif key in CONES:
        lat0 = {"aea": 25}.get(key)
    proj = proj_with_centre(proj, lat0, lon0)
    sources.TABLE[key] = (name, proj, k, clat, lon0, p1, p2, box)
    h, te = sources.geometry(key, width)
    p = sources.params(key, width)
    stem = os.path.join(out, f"{key}_{width}_{lat0}_{lon0}")
    draw(proj, te, width, h, out, stem)
    code = {"Equirectangular": 2, "Mercator": 6, "Miller Cylindrical": 7, "Sinusoidal": 10,
            "Mollweide": 8, "Wagner IV": 13, "Wagner VI": 22, "Hammer": 4,
            "Van Der Grinten": 12, "Azimuthal Equidistant": 1, "Gnomonic": 3,
            "Lambert Azimuthal Equal-Area": 5, "Orthographic": 9, "Stereographic": 11,
            "Albers Equal-Area Conic": 18, "Equidistant Conic": 19,
            "Lambert Conformal Conic": 20}[name]
    # North-positive options from the stored-convention sidecar values.
    options = ["--projection", str(code), "--center", f"{-p['center_lat']!r},{p['center_lon']!r}",
               "--offset", f"{p['offset_x']!r},{-p['offset_y']!r}",
               "--scale", repr(p["scale"]), "--aspect", repr(p["aspect"])]
    if key in CONES:
        options += ["--parallels", f"{-p['parallel1']!r},{-p['parallel2']!r}"]
    return stem + ".png", width, h, options


# The newer types: key, our code, PROJ definition, whether the outline is cut to a box (PROJ
# units: xmin, ymin, xmax, ymax) instead of the whole world's extent.
NEW_TYPES = {
    "robin": (23, "+proj=robin", None),
    # PROJ takes no standard parallel (cos = 1) unless told; ours is acos(2 / pi), as Winkel chose.
    "wintri": (24, "+proj=wintri +lat_1=50.4597762", None),
    "eqearth": (25, "+proj=eqearth", None),
    "natearth": (26, "+proj=natearth", None),
    "natearth2": (27, "+proj=natearth2", None),
    "eck4": (28, "+proj=eck4", None),
    "eck6": (29, "+proj=eck6", None),
    "aitoff": (30, "+proj=aitoff", None),
    "kav7": (31, "+proj=kav7", None),
    "cea": (32, "+proj=cea", None),
    "gall": (33, "+proj=gall", None),
    # Infinite 90 degrees from the central meridian: 75 degrees either side at the equator.
    "tmerc": (34, "+proj=tmerc", (-2.0, -3.1416, 2.0, 3.1416)),
    "cass": (35, "+proj=cass", None),
    # The whole world's polyconic spirals far out; the usual crop.
    "poly": (36, "+proj=poly", (-3.2, -2.2, 3.2, 2.2)),
    "bonne": (37, "+proj=bonne +lat_1=45", None),
    "times": (38, "+proj=times", None),
    "nicol": (39, "+proj=nicol", None),
}


def proj_points(proj, places):
    """PROJ's map units (+R=1) of (lat, lon) places; None where it has none."""
    text = "".join(f"{lon} {lat}\n" for lat, lon in places)
    run = subprocess.run(["cs2cs", "-f", "%.10f", LL, "+to", proj + " +R=1 +type=crs"],
                         input=text, capture_output=True, text=True, check=True)
    out = []
    for line in run.stdout.splitlines():
        words = line.split()
        try:
            x, y = float(words[0]), float(words[1])
            out.append((x, y) if abs(x) < 1e3 and abs(y) < 1e3 else None)
        except (ValueError, IndexError):
            out.append(None)
    return out


def draw_new(binary, key, width, lon0, out):
    """Draws one of the newer types with central meridian lon0; returns as draw_gdal."""
    code, definition, box = NEW_TYPES[key]
    if box is None:  # the world's extent, from a fine grid of places and the rim
        places = [(lat, lon) for lat in range(-90, 91) for lon in range(-180, 181, 2)]
        places += [(lat * 0.25, s * 180) for lat in range(-360, 361) for s in (-1, 1)]
        if key == "nicol":
            places = [(lat, lon) for lat, lon in places if abs(lon) <= 90]
        xy = [p for p in proj_points(definition, places) if p]
        box = (min(p[0] for p in xy), min(p[1] for p in xy), max(p[0] for p in xy),
               max(p[1] for p in xy))
    proj = f"{definition} +lon_0={lon0}"
    xh, xc, yc = (box[2] - box[0]) / 2, (box[0] + box[2]) / 2, (box[1] + box[3]) / 2
    h = 2 * math.ceil(width * (box[3] - box[1]) / (box[2] - box[0]) / 2 - 1e-9)
    yh = xh * h / width
    te = (xc - xh, yc - yh, xc + xh, yc + yh)
    stem = os.path.join(out, f"{key}_{width}_{lon0}")
    draw(proj + " +R=1", te, width, h, out, stem)
    # The true settings: the exact fit of places spread over the picture (pixel edges at the
    # extent, the top-left pixel's centre at 0.5 0.5 as a points file counts).
    # Nicolosi's globular shows one hemisphere.
    reach = 80 if key == "nicol" else 170
    grid = [(lat, lon0 + lon) for lat in range(-75, 76, 10) for lon in range(-reach, reach + 1, 20)]
    points = []
    for (lat, lon), xy in zip(grid, proj_points(proj, grid)):
        if not xy:
            continue
        column = (xy[0] - te[0]) / (te[2] - te[0]) * width
        row = (te[3] - xy[1]) / (te[3] - te[1]) * h
        if 0.02 * width < column < 0.98 * width and 0.02 * h < row < 0.98 * h:
            points.append(f"{column!r} {row!r} {lat} {(lon + 180) % 360 - 180!r}")
    held = ["--center", f"0,{lon0}"]
    if key == "bonne":
        held += ["--parallels", "45,45"]
    with open(stem + ".points", "w") as f:
        f.write("\n".join(points) + "\n")
    run = subprocess.run([binary, "--fit", stem + ".png", "--projection", str(code), *held,
                          "--points", stem + ".points"], capture_output=True, text=True)
    lines = run.stdout.splitlines()
    if run.returncode != 0 or len(lines) < 2:
        sys.exit(f"no true settings for {key}: {run.stderr.strip()}")
    rms = float(lines[1].split()[1])
    if rms > 0.05:
        print(f"<!-- {key}: our projection differs from PROJ's by {rms:.3f} px RMS -->")
    return stem + ".png", width, h, lines[0].split()


def convert_tool():
    for candidate in ("/usr/bin/convert", shutil.which("convert")):
        if candidate and os.path.exists(candidate):
            return candidate
    return None


FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"  # fonts-dejavu-core


def restyle(convert, png, w, h):
    """Grey, posterised to 6 colours, a 5% white margin and a title; returns (file, dx, dy, w2, h2)."""
    out = png[:-4] + "_restyled.png"
    bx, by = round(w * 0.05), round(h * 0.05)
    if not os.path.exists(out):
        subprocess.run([convert, png, "-colorspace", "Gray", "-dither", "None", "-colors", "6",
                        "-bordercolor", "white", "-border", f"{bx}x{by}", "-gravity", "North",
                        *(["-font", FONT] if os.path.exists(FONT) else []), "-fill", "black",
                        "-pointsize", str(max(10, by * 0.7)), "-annotate", "+0+2",
                        "A Map of the World", out], check=True)
    return out, bx, by, w + 2 * bx, h + 2 * by


def recognize(binary, picture):
    start = time.monotonic()
    before = os.times()
    run = subprocess.run([binary, "--recognize", picture], capture_output=True, text=True)
    seconds = time.monotonic() - start
    after = os.times()
    cpu = (after.children_user - before.children_user) + \
        (after.children_system - before.children_system)
    first = run.stdout.splitlines()[0] if run.stdout else ""
    score, _, options = first.partition("\t")
    if not score and "best score " in run.stderr:
        score = run.stderr.split("best score ")[1].split(",")[0]
    return run.returncode, (float(score) if score else 0.0), options.split(), (seconds, cpu), \
        run.stderr


def judge(binary_dir, w, h, truth, found, w2, h2, dx, dy):
    run = subprocess.run([os.path.join(binary_dir, "kartovel-placement-error"), str(w), str(h),
                          *truth, "--", str(w2), str(h2), str(dx), str(dy), *found],
                         capture_output=True, text=True)
    try:
        return float(run.stdout.strip())
    except ValueError:
        return float("inf")


def non_earth(convert, width, out, rng):
    """Pictures that are no Earth map: noise, a fantasy world, a Mars-like world, a photo."""
    if not convert:
        return []
    h = width // 2
    seed = str(rng.randrange(1 << 30))
    pictures = []
    noise = os.path.join(out, "noise.png")
    subprocess.run([convert, "-seed", seed, "-size", f"{width}x{h}", "xc:gray", "+noise", "Random",
                    noise], check=True)
    pictures.append(("noise", noise))
    # Continents of a fractal height field, flat-coloured as a political map.
    fantasy = os.path.join(out, "fantasy.png")
    subprocess.run([convert, "-seed", seed, "-size", f"{width}x{h}", "plasma:fractal", "-blur",
                    "0x12", "-colorspace", "Gray", "-auto-level", "-threshold", "55%",
                    "+level-colors", "#3060c0,#60a040", fantasy], check=True)
    pictures.append(("fantasy map", fantasy))
    # A rust-red world of fractal albedo, as planetary maps of Mars look.
    mars = os.path.join(out, "mars-like.png")
    subprocess.run([convert, "-seed", seed, "-size", f"{width}x{h}", "plasma:fractal", "-blur",
                    "0x3", "-colorspace", "Gray", "-auto-level", "+level-colors",
                    "#4a2010,#e0a070", mars], check=True)
    pictures.append(("mars-like map", mars))
    sun = "/usr/share/xplanet/images/sun.jpg"
    if os.path.exists(sun):
        pictures.append(("photo (sun.jpg)", sun))
    return pictures


GMT_MAPS = [  # name, GMT projection ({w}: the map width), our code, region, centre lat, lon
    ("Mollweide", "-JW15/{w}", 8, "-Rg", 0, 15),
    ("Hammer", "-JH-60/{w}", 4, "-Rg", 0, -60),
    ("Sinusoidal", "-JI30/{w}", 10, "-Rg", 0, 30),
    ("Equirectangular", "-JQ100/{w}", 2, "-Rg", 0, 100),
    ("Miller", "-JJ0/{w}", 7, "-R-180/180/-80/80", 0, 0),
    ("Mercator", "-JM-40/{w}", 6, "-R-220/140/-75/80", 0, -40),
    ("Van der Grinten", "-JV-20/{w}", 12, "-Rg", 0, -20),
    ("Orthographic", "-JG40/35/{w}", 9, "-Rg", 35, 40),
    ("Azimuthal equidistant", "-JE-100/40/{w}", 1, "-Rg", 40, -100),
    ("Lambert azimuthal", "-JA10/50/{w}", 5, "-Rg", 50, 10),
    ("Albers conic, Europe", "-JB10/50/40/60/{w}", 18, "-R-25/45/30/72", 0, 10),
]


def gmt_maps(out, width):
    """Flat-coloured coastline maps drawn by GMT at about `width` pixels (300 dpi)."""
    if not shutil.which("gmt"):
        return []
    maps = []
    centimetres = f"{width / 300 * 2.54:.2f}c"
    for name, projection, code, region, lat, lon in GMT_MAPS:
        stem = os.path.join(out, "gmt_" + name.lower().replace(" ", "_").replace(",", ""))
        if not os.path.exists(stem + ".png"):
            subprocess.run(["gmt", "coast", region, projection.format(w=centimetres), "-Dl",
                            "-A5000", "-Gburlywood", "-Slightblue", "-B0", "-png", stem],
                           capture_output=True, text=True, cwd=out,
                           env=dict(os.environ, GMT_END_SHOW="off"))
        if os.path.exists(stem + ".png"):
            maps.append((name, stem + ".png", code, lat, lon))
    return maps


def centre_of(options):
    if "--center" not in options:
        return None
    lat, lon = options[options.index("--center") + 1].split(",")
    return float(lat), float(lon)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--width", type=int, default=2048)
    parser.add_argument("--seed", type=int, default=2)
    parser.add_argument("--out", default=os.path.join(REPO, "build", "recognize-bench"))
    parser.add_argument("--bin", default=os.path.join(REPO, "build", "release", "bin"))
    parser.add_argument("--keys", default="")
    parser.add_argument("--sets", default="classic,new")
    parser.add_argument("--styles", default="plain,restyled")
    parser.add_argument("--no-gmt", action="store_true")
    parser.add_argument("--no-others", action="store_true")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    binary = os.path.join(args.bin, "kartovel-convert")
    sources = load_sources()
    rng = random.Random(args.seed)
    # Its own sequence, so that the classic maps of a seed stay the same.
    rng_new = random.Random(f"{args.seed}-new")
    earth_ll = os.path.join(args.out, "earth_ll.tif")
    if not os.path.exists(earth_ll):
        subprocess.run(["gdal_translate", "-q", "-a_srs", LL, "-a_ullr", "-180", "90", "180", "-90",
                        EARTH, earth_ll], check=True)
    convert = convert_tool()
    styles = args.styles.split(",")
    sets = args.sets.split(",")
    chosen = args.keys.split(",") if args.keys else None
    # Every map's centre is drawn, chosen or not, so that a subset gets the maps of a whole run.
    maps = []
    for key in sources.TABLE:
        centre = random_centre(key, rng)
        if "classic" in sets and (not chosen or key in chosen):
            maps.append(("classic", key, centre))
    for key in NEW_TYPES:
        lon0 = round(rng_new.uniform(-180, 180), 2)
        if "new" in sets and (not chosen or key in chosen):
            maps.append(("new", key, lon0))
    print("| type | centre | style | result | score | error px | time s (CPU) |")
    print("|---|---|---|---|---|---|---|")
    tally = {}
    for group, key, drawn in maps:
        if group == "classic":
            png, w, h, truth = draw_gdal(sources, key, args.width, drawn, args.out)
        else:
            png, w, h, truth = draw_new(binary, key, args.width, drawn, args.out)
        centre = truth[3]
        cases = [("plain", png, 0, 0, w, h)]
        if "restyled" in styles and convert:
            picture, bx, by, w2, h2 = restyle(convert, png, w, h)
            cases.append(("restyled", picture, bx, by, w2, h2))
        for style, picture, dx, dy, w2, h2 in cases:
            if style not in styles:
                continue
            code, score, found, (seconds, cpu), errors = recognize(binary, picture)
            error = judge(args.bin, w, h, truth, found, w2, h2, dx, dy) if found else float("inf")
            right = code == 0 and found[1:2] == truth[1:2] and error <= 1.0
            result = "right" if right else ("wrong type" if found[1:2] != truth[1:2] else "wrong")
            if code != 0:
                result = "not recognised"
            if result == "wrong type":
                result += f" ({found[1] if len(found) > 1 else '-'})"
            tally.setdefault(f"{group} {style}", []).append(right)
            print(f"| {key} | {centre} | {style} | {result} | {score:.3f} | {error:.2f} | "
                  f"{seconds:.1f} ({cpu:.1f}) |", flush=True)
    if not args.no_gmt:
        for name, picture, code, lat, lon in gmt_maps(args.out, args.width):
            rc, score, found, (seconds, cpu), _ = recognize(binary, picture)
            right = rc == 0 and found[1:2] == [str(code)]
            # GMT's placement is not known to the pixel: the type and the centre are judged
            # (within 1 degree; conic maps carry their central meridian only).
            centre = centre_of(found)
            if right and centre:
                right = abs((centre[1] - lon + 180) % 360 - 180) <= 1 and \
                    (code in (18, 19, 20) or abs(centre[0] - lat) <= 1)
            tally.setdefault("gmt", []).append(right)
            print(f"| GMT {name} | {lat},{lon} | gmt | {'right' if right else 'wrong'} "
                  f"({' '.join(found[:4])}) | {score:.3f} | | {seconds:.1f} ({cpu:.1f}) |", flush=True)
    if not args.no_others:
        for name, picture in non_earth(convert, args.width, args.out, rng):
            rc, score, found, (seconds, cpu), _ = recognize(binary, picture)
            right = rc == 1
            tally.setdefault("not earth", []).append(right)
            print(f"| {name} | | not earth | {'not recognised' if right else 'RECOGNISED'} | "
                  f"{score:.3f} | | {seconds:.1f} ({cpu:.1f}) |", flush=True)
    for style, results in tally.items():
        print(f"{style}: {sum(results)}/{len(results)} right")
    print(f"load: {os.getloadavg()[0]:.2f} (1-minute average at the end)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
