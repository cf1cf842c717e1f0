// The .map reader's warnings: where and why its reading stopped before the end of the file, SNP
// ids that more than one SNP of the file has, and SNPs on the chromosomes that plink does not test
// as autosomes.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

struct snpRecord;

// The warning for a reading that stopped at offset start of text, the position after the last
// SNP record read (0 when none was), or "" when nothing but whitespace remains there.
std::string mapStopWarning(std::string_view text, size_t start, const std::string& fileName);

// The warning for ids that more than one of the SNPs has, in their order in the file; "" when
// every id is unique. One pass over a hash table: map files hold millions of SNPs.
std::string repeatedSnpIdWarning(std::span<snpRecord* const> fileSnps,
                                 const std::string& fileName);

// The warning for SNPs with chromosome codes 23 to 26 (plink's X, Y, XY and MT), which the tests
// run in process treat as autosomes and plink does not; "" when there are none.
std::string sexChromosomeWarning(std::span<snpRecord* const> fileSnps,
                                 const std::string& fileName);
