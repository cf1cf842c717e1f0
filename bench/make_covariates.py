#!/usr/bin/env python3
"""Writes a covariate file for the individuals of a PLINK .ped file, for timing the logistic fits
with covariates.

Usage: make_covariates.py PED OUT [COLUMNS]   (COLUMNS 1 to 5, default 4)

One header line (FID IID and the column names), then one line per individual of PED with its
family and individual id: age, sex (0/1), two principal-component-like scores and bmi, the first
COLUMNS of them. About 1% of the values are missing (-9) and every 97th individual has no line at
all, so that the fits leave individuals out as real data makes them. The output depends only on
the ids in PED (fixed seed).
"""
import random
import sys

NAMES = ["age", "sex", "pc1", "pc2", "bmi"]


def values(rng):
    return [
        "%.1f" % rng.uniform(20, 80),
        str(rng.randint(0, 1)),
        "%.5f" % rng.gauss(0, 0.02),
        "%.5f" % rng.gauss(0, 0.02),
        "%.2f" % rng.gauss(26, 4),
    ]


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__.strip().splitlines()[2])
    ped, out = sys.argv[1], sys.argv[2]
    columns = int(sys.argv[3]) if len(sys.argv) == 4 else 4
    if not 1 <= columns <= len(NAMES):
        sys.exit("COLUMNS must be 1 to %d" % len(NAMES))
    rng = random.Random(20251210)
    with open(ped) as lines, open(out, "w") as cov:
        cov.write(" ".join(["FID", "IID"] + NAMES[:columns]) + "\n")
        for i, line in enumerate(lines):
            family, individual = line.split(None, 2)[:2]
            row = values(rng)[:columns]
            if i % 97 == 96:
                continue
            row = ["-9" if rng.random() < 0.01 else value for value in row]
            cov.write(" ".join([family, individual] + row) + "\n")


if __name__ == "__main__":
    main()
