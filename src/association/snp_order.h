// The chromosome, base-pair order in which SNP lists are handed to plink.
#pragma once

#include <vector>

#include "dataset/dataset.h"

// Strict order: chromosome ascending, then base-pair position ascending.
bool snpPrecedes(const snpRecord* a, const snpRecord* b);

// Stable sort of the list by snpPrecedes, in place. A list already in order is only read, never
// written, so threads that read a shared, ordered list meanwhile are not disturbed.
void sortSnpsByPosition(std::vector<snpRecord*>& snpList);
