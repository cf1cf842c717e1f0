#include "association/estimates.h"

#include <iostream>

#include "run/random_generator.h"
#include "run/settings.h"
#include "association/association_tests.h"
#include "association/logistic_model.h"
#include "association/plink_runner.h"
#include "association/snp_order.h"

namespace {

// The plink regressions read their results back in .bim order, so the list is put in that
// order first and the fileset written from it; ids are always renumbered (a resample may list
// an individual twice).
void writeOrderedFileset(const std::string& prefix,
                         const std::vector<individualRecord*>& individuals,
                         std::vector<snpRecord*>& snps) {
  sortSnpsByPosition(snps);
  plink.writeBinaryFileset(prefix, individuals, snps, 1);
}

}  // namespace

void computeEstimates(const std::vector<individualRecord*>& individuals,
                      std::vector<snpRecord*>& snps, const std::string& prefix,
                      std::vector<estimateRecord>& out) {
  out.clear();
  if (estimateType == 66) {
    dummyEstimation(out, snps);
  } else if (estimateType == 2) {
    assocTests.allelicTest(individuals, snps, out);
  } else if (estimateType == 3) {
    writeOrderedFileset(prefix, individuals, snps);
    plink.runPlinkRPlugin(prefix, out, snps, rScriptFileName);
  } else if (quantitativeTrait == 1) {
    runQtAssociation(individuals, snps, out, prefix);
  } else {
    runLogistic(prefix, individuals, snps, out);
  }
}

void runLogistic(const std::string& prefix, const std::vector<individualRecord*>& individuals,
                 std::vector<snpRecord*>& snps, std::vector<estimateRecord>& out) {
  if (inProcessLogistic == 1) {
    logisticAllSnps(individuals, snps, out);
    return;
  }
  writeOrderedFileset(prefix, individuals, snps);
  plink.runPlinkLogistic(prefix, out, snps);
}

void runQtAssociation(const std::vector<individualRecord*>& individuals,
                      std::vector<snpRecord*>& snps, std::vector<estimateRecord>& out,
                      const std::string& prefix) {
  if (fast == 1 && !useCovariates) {
    assocTests.qtAssociation(false, individuals, snps, out);
    return;
  }
  writeOrderedFileset(prefix, individuals, snps);
  plink.runPlinkLinear(prefix, out, snps);
}

void dummyEstimation(std::vector<estimateRecord>& out, const std::vector<snpRecord*>& snps) {
  out.clear();
  out.reserve(snps.size());
  for (snpRecord* snp : snps) {
    double u1;
    double u2;
    // rng is shared by every thread and has no lock of its own. The two draws of a SNP are
    // taken together, so a SNP's odds ratio and p are consecutive draws.
#pragma omp critical
    {
      u1 = rng.uniform();
      u2 = rng.uniform();
    }
    out.push_back({snp, 'C', 1.0 + u1, u2});
  }
  std::cout << "DUMMY estimation.. n= " + std::to_string(out.size()) + "\n";
}
