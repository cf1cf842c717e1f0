#!/usr/bin/env python3
"""Simulated case-control data sets with known effects, for validation and timing.

Usage as a program: simulate_gwas.py BASE CASES SNPS [SEED]
  writes BASE.ped/.map with CASES cases and as many controls, SNPS SNPs in Hardy-Weinberg
  equilibrium, and true log odds ratios of 0.2 to 0.35 at every 100th SNP (at most ten).
"""
import math
import random
import sys


def simulate(base, seed, n_cases, n_controls, n_snps, effects):
    """Writes base.ped/.map; returns {snp name: (risk allele, true log OR)}."""
    rng = random.Random(seed)
    snps = []
    truth = {}
    for j in range(n_snps):
        a1, a2 = rng.sample("ACGT", 2)
        freq = rng.uniform(0.1, 0.5)  # frequency of a2
        name = "s%d" % j
        snps.append((name, a1, a2, freq))
        log_or = effects.get(j, 0.0)
        truth[name] = (a2, log_or)
    baseline = math.log(0.1 / 0.9)
    cases, controls = [], []
    while len(cases) < n_cases or len(controls) < n_controls:
        copies = [(rng.random() < f) + (rng.random() < f) for (_, _, _, f) in snps]
        logit = baseline + sum(lo * copies[j] for j, lo in effects.items())
        affected = rng.random() < 1 / (1 + math.exp(-logit))
        group, limit = (cases, n_cases) if affected else (controls, n_controls)
        if len(group) < limit:
            group.append(copies)
    with open(base + ".map", "w") as out:
        for j, (name, *_) in enumerate(snps):
            out.write("1 %s 0 %d\n" % (name, 1000 + j))
    with open(base + ".ped", "w") as out:
        people = [(c, 2) for c in cases] + [(c, 1) for c in controls]
        for i, (copies, status) in enumerate(people):
            cells = ["F%d" % i, "I%d" % i, "0", "0", "1", str(status)]
            for (name, a1, a2, _), k in zip(snps, copies):
                cells.append([a1 + " " + a1, a1 + " " + a2, a2 + " " + a2][k])
            out.write(" ".join(cells) + "\n")
    return truth



def default_effects(n_snps):
    """True log odds ratios of a few SNPs: the setting in which the winner's curse bites."""
    sizes = [0.25, 0.3, 0.2, 0.35, 0.25, 0.3, 0.2, 0.35, 0.25, 0.3]
    return {5 + 100 * i: sizes[i] for i in range(min(10, n_snps // 100))}


if __name__ == "__main__":
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__.strip().splitlines()[2])
    base, cases, snps = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    seed = int(sys.argv[4]) if len(sys.argv) == 5 else 1
    simulate(base, seed, cases, cases, snps, default_effects(snps))
