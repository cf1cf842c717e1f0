// --dummy: a generated data set of random genotypes in place of the input files.
#pragma once

// Appends nInd individuals and nSnp SNPs with random genotype codes (system generator, seed 10).
void generateDummyDataset(int nInd, int nSnp);
