// SNP filters: mark SNPs (index -1), then compact them away from the list and the genotypes.
#pragma once

// Removes every SNP whose index is -1; rebuilds every individual record.
void compactSnps();
// --chr: keeps the SNPs of chromosome c with a nonzero position.
void selectChromosome(int c);
// Fills maf, mafCases, mafControls of every SNP and removes those below the thresholds.
void filterMaf();
// --exclude and --extract lists.
void applySnpLists();
