#!/usr/bin/env python3
"""Writes a large PLINK text data set, BASE.ped and BASE.map, for timing the readers.

Usage: make_large_ped.py BASE N M [COPIES]   (N individuals, M SNPs)

The output depends only on N and M (fixed seed): every SNP has its own two letters and allele
frequency, genotypes follow Hardy-Weinberg proportions, about 2% are missing ("0 0"), and the
phenotypes alternate between control (1) and case (2). With COPIES, the N lines are written
that many times over (COPIES x N individuals, ids repeated): a file of gigabytes without
drawing every genotype.
"""
import random
import sys


def main():
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__.strip().splitlines()[2])
    base, people, markers = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    copies = int(sys.argv[4]) if len(sys.argv) == 5 else 1
    rng = random.Random(20240611)
    letters = "ACGT"
    missing_rate = 0.02

    with open(base + ".map", "w") as out:
        for j in range(markers):
            out.write(f"{1 + j * 22 // max(markers, 1)} rs{j} 0 {1000 * (j + 1)}\n")

    # Drawn SNP by SNP (one allele frequency each), written individual by individual.
    columns = []
    for _ in range(markers):
        a, b = rng.sample(letters, 2)
        p = rng.uniform(0.05, 0.5)
        typed = 1 - missing_rate
        weights = [missing_rate, typed * p * p, typed * 2 * p * (1 - p), typed * (1 - p) * (1 - p)]
        tokens = [" 0 0", f" {a} {a}", f" {a} {b}", f" {b} {b}"]
        columns.append(rng.choices(tokens, weights, k=people))

    lines = [f"fam{i} ind{i} 0 0 {1 + i % 2} {1 + i % 2}{''.join(genotypes)}\n"
             for i, genotypes in enumerate(zip(*columns) if markers else [()] * people)]
    del columns
    with open(base + ".ped", "w") as out:
        for _ in range(copies):
            out.writelines(lines)


if __name__ == "__main__":
    main()
