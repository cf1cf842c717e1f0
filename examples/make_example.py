#!/usr/bin/env python3
"""Writes the example case-control data set casecontrol.ped/.map.

500 individuals (250 cases, 250 controls) drawn from a simulated population, 1000 SNPs on three
chromosomes in Hardy-Weinberg equilibrium, six of them with a true effect on disease risk
(log-additive odds ratios 1.5 to 2.2), and about 1% missing genotypes. Deterministic: the same
seed gives the same files.
"""
import math
import random
import sys

SEED = 20110307
N_CASES = 250
N_CONTROLS = 250
N_SNPS = 1000
MISSING_RATE = 0.01
BASELINE_LOGIT = math.log(0.05 / 0.95)  # disease prevalence about 5% at no risk allele
CAUSAL = {57: 2.2, 140: 1.8, 333: 1.6, 512: 1.9, 700: 1.5, 901: 1.7}  # SNP number: odds ratio


def make_snps(rng):
    snps = []
    for j in range(N_SNPS):
        chromosome = 1 + j * 3 // N_SNPS
        first = -(-(chromosome - 1) * N_SNPS // 3)  # the chromosome's first SNP number
        position = 10000 + (j - first) * 5000 + rng.randrange(1000)
        a1, a2 = rng.sample("ACGT", 2)
        freq = rng.uniform(0.08, 0.5)  # frequency of a2, the risk allele of causal SNPs
        snps.append((chromosome, "rs%d" % (100000 + j), position, a1, a2, freq))
    return snps


def draw_person(rng, snps):
    copies = [(rng.random() < s[5]) + (rng.random() < s[5]) for s in snps]
    logit = BASELINE_LOGIT + sum(math.log(o) * copies[j] for j, o in CAUSAL.items())
    return copies, rng.random() < 1 / (1 + math.exp(-logit))


def genotype_text(rng, snp, count):
    if rng.random() < MISSING_RATE:
        return "0 0"
    a1, a2 = snp[3], snp[4]
    return [a1 + " " + a1, a1 + " " + a2, a2 + " " + a2][count]


def main(base):
    rng = random.Random(SEED)
    snps = make_snps(rng)
    cases, controls = [], []
    while len(cases) < N_CASES or len(controls) < N_CONTROLS:
        copies, affected = draw_person(rng, snps)
        group = cases if affected else controls
        if len(group) < (N_CASES if affected else N_CONTROLS):
            group.append(copies)
    with open(base + ".map", "w") as out:
        for chromosome, name, position, *_ in snps:
            out.write("%d %s 0 %d\n" % (chromosome, name, position))
    with open(base + ".ped", "w") as out:
        people = [(c, 2) for c in cases] + [(c, 1) for c in controls]
        rng.shuffle(people)
        for i, (copies, phenotype) in enumerate(people):
            sex = 1 + rng.randrange(2)
            fields = ["FAM%d" % (i + 1), "IND%d" % (i + 1), "0", "0", str(sex), str(phenotype)]
            fields += [genotype_text(rng, snps[j], copies[j]) for j in range(N_SNPS)]
            out.write(" ".join(fields) + "\n")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "casecontrol")
