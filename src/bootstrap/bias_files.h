// --allbias: the per-replicate level-0 estimates, one file each for Ud - Ue, Ud and Ue.
#pragma once

#include <vector>

#include "bootstrap/result_records.h"

// Writes "all-bias.txt", "ud-bias.txt" and "ue-bias.txt" in the working directory: a heading
// of the nSig naive SNP names, then one line per replicate with one cell per rank. Each file is
// whole or absent: one that cannot be written is named in a warning. Precondition: naiveResults
// holds at least nSig records.
void writeBiasFiles(const std::vector<replicate>& replicates);
