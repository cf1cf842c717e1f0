#!/usr/bin/env python3
"""Writes strong.ped/.map: 100 cases and 100 controls, 40 SNPs of which 30 have a per-allele
odds ratio of 2.8 to 5 (the others none). Their log odds ratios are above 1, where six significant
digits (what a cluster partial file keeps) leave an error that the table's four decimals of the
odds ratio can show: with this seed, rounding changes the printed odds ratio of several SNPs.
Deterministic. Run from this folder: python3 make_strong_effects.py"""
import random

CASES, CONTROLS, SNPS = 100, 100, 40


def main():
    rng = random.Random(2)
    snps = []
    for j in range(SNPS):
        a1, a2 = rng.sample("ACGT", 2)
        control_freq = rng.uniform(0.15, 0.35)  # of a2, the risk allele
        odds = rng.uniform(2.8, 5.0) if j % 4 != 3 else 1.0
        case_freq = odds * control_freq / (1 - control_freq + odds * control_freq)
        snps.append((a1, a2, control_freq, case_freq))
    with open("strong.map", "w") as out:
        for j in range(SNPS):
            out.write("1 rs%d 0 %d\n" % (j + 1, 1000 * (j + 1)))
    with open("strong.ped", "w") as out:
        for i in range(CASES + CONTROLS):
            case = i < CASES
            cells = ["F%d" % (i + 1), "I%d" % (i + 1), "0", "0", "1", "2" if case else "1"]
            for a1, a2, control_freq, case_freq in snps:
                freq = case_freq if case else control_freq
                cells += [a2 if rng.random() < freq else a1 for _ in range(2)]
            out.write(" ".join(cells) + "\n")


main()
