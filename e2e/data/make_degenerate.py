#!/usr/bin/env python3
"""Writes degenerate.ped/.map: 40 cases and 40 controls with SNPs that have no usable
allele-frequency scale or no calls at all, beside ordinary associated and null SNPs.
Run from this folder: python3 make_degenerate.py"""
import random

CASES, CONTROLS = 40, 40

# chromosome, name, position, genotype counts of the cases, of the controls ("00" is no call)
SNPS = [
    (1, "rs1", 1000, {"GG": 20, "AG": 15, "AA": 5}, {"GG": 5, "AG": 15, "AA": 20}),
    # The minor allele C occurs only in cases: the controls' frequency (the MAF) is 0.
    (1, "rs2", 2000, {"AC": 20, "AA": 20}, {"AA": 40}),
    (1, "rs3", 3000, {"00": 40}, {"00": 40}),  # no calls
    (1, "rs4", 4000, {"TT": 40}, {"TT": 40}),  # monomorphic
    (1, "rs5", 5000, {"CC": 12, "CT": 18, "TT": 10}, {"CC": 6, "CT": 18, "TT": 16}),
    (2, "rs6", 1000, {"GG": 10, "AG": 20, "AA": 10}, {"GG": 10, "AG": 20, "AA": 10}),
    # A rare allele only in cases.
    (2, "rs7", 2000, {"AG": 6, "GG": 34}, {"GG": 40}),
    (2, "rs8", 3000, {"00": 40}, {"AA": 10, "AC": 20, "CC": 10}),  # no calls in cases
    (2, "rs9", 4000, {"AA": 10, "AC": 20, "CC": 10}, {"00": 40}),  # no calls in controls
]


def column(counts, rng):
    cells = [g for g, n in counts.items() for _ in range(n)]
    rng.shuffle(cells)
    return cells


def main():
    rng = random.Random(20261210)
    columns = [(column(cases, rng), column(controls, rng)) for _, _, _, cases, controls in SNPS]
    with open("degenerate.map", "w") as out:
        for chromosome, name, position, _, _ in SNPS:
            out.write(f"{chromosome} {name} 0 {position}\n")
    with open("degenerate.ped", "w") as out:
        for i in range(CASES + CONTROLS):
            case = i < CASES
            row = i if case else i - CASES
            cells = [(c[0] if case else c[1])[row] for c in columns]
            genotypes = " ".join(f"{g[0]} {g[1]}" for g in cells)
            out.write(f"F{i + 1} I{i + 1} 0 0 {1 + i % 2} {2 if case else 1} {genotypes}\n")


main()
