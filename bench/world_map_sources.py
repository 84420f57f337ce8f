#!/usr/bin/env python3
"""The reference-map table of ../shared/reference-maps/sources.py, extended by the world maps
drawn in Robinson, Winkel Tripel and Equal Earth; same commands, same settings derivation:

    world_map_sources.py list WIDTH [KEY...]
    world_map_sources.py sidecar KEY WIDTH DIR

The shared sources.py is loaded from REFERENCE_MAPS (default: ../shared/reference-maps beside the
repository) and left untouched; only its two tables gain rows here.
"""
import importlib.util
import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SHARED = os.environ.get("REFERENCE_MAPS",
                        os.path.join(HERE, "..", "..", "shared", "reference-maps"))

spec = importlib.util.spec_from_file_location("sources", os.path.join(SHARED, "sources.py"))
sources = importlib.util.module_from_spec(spec)
spec.loader.exec_module(sources)

PI = math.pi
ROBINSON_X = 0.8487 * PI                 # x of the equator at 180 degrees
WINKEL_X = 1 + PI / 2                    # (pi + 2) / 2
EQUAL_EARTH_X = 2.7066299836960748       # pi / (sqrt(3)/2 * 1.340264)
EQUAL_EARTH_Y = 1.3173627591574133

# key: (our name, PROJ string, our units per PROJ unit, centre lat, lon, parallels, tight box)
sources.TABLE.update({
    "robin":   ("Robinson", "+proj=robin +R=1", 1.0, 0, 0, 50, 10,
                (-ROBINSON_X, -1.3523, ROBINSON_X, 1.3523)),
    # lat_1 spelt out: GDAL turns a CRS without it into lat_1=0, not PROJ's acos(2/pi).
    "wintri":  ("Winkel Tripel", "+proj=wintri +lat_1=50.459776252189805 +R=1", 1.0, 0, 0, 50, 10,
                (-WINKEL_X, -PI / 2, WINKEL_X, PI / 2)),
    "eqearth": ("Equal Earth", "+proj=eqearth +R=1", 1.0, 0, 0, 50, 10,
                (-EQUAL_EARTH_X, -EQUAL_EARTH_Y, EQUAL_EARTH_X, EQUAL_EARTH_Y)),
})
sources.UNIT_SCALE.update({
    "Robinson": 1 / ROBINSON_X,
    "Winkel Tripel": 1 / WINKEL_X,
    "Equal Earth": 1 / EQUAL_EARTH_X,
})

if __name__ == "__main__":
    sys.exit(sources.main(sys.argv))
