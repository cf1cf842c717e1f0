#include <omp.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "run/exit.h"
#include "run/settings.h"
#include "run/start_up.h"
#include "association/plink_runner.h"

void printBanner() {
  std::cout << "   zuq - Zuquor\n   version 1.12 (March 7th, 2011)\n\n";
  cpuCount = omp_get_num_procs();
  std::printf("  - multi-processor enabled (OpenMP) -\n  - machine has %d processors - \n\n",
              cpuCount);
  std::cout << "  - running in 64-bit mode - \n\n";
}

void reportPlinkVersion() {
  const double version = plink.probePlinkVersion(scratchPrefix);
  if (version < 0) {
    std::cout << "Error: Cannot run plink.Please install plink and check that it is in your "
                 "path.\n\n";
    plainExit(1);
  }
  std::cout << "Detected plink version " << version << "\n";
  if (version != 1.04 && version != 1.05 && version != 1.06) {
    std::cout << "Warning: zuq has only been tested with versions 1.04 to 1.06 of plink. It may "
                 "not work correctly with current version.\n";
  }
}

namespace {

std::string estimationName() {
  if (estimateType == 3) return "R PLUGIN " + rScriptFileName;
  if (quantitativeTrait != 0) return "LINEAR";
  switch (estimateType) {
    case 0: return "LOGISTIC";
    case 2: return "ALLELIC";
    case 66: return "DUMMY";
    default: return "";
  }
}

}  // namespace

void printAnalysisParameters() {
  std::cout << "\nAnalysis parameters:\n"
            << "   input pedigree file = " << pedFileName << " (--ped)\n"
            << "   input map file = " << mapFileName << " (--map)\n"
            << "   output file = " << outFileName << " (--out)\n"
            << "   study type = " << studyType << " ("
            << (studyType == 1 ? "case-control" : "population") << ")\n"
            << "   test type = " << (quantitativeTrait != 0 ? "LINEAR" : testNames[testType])
            << "\n"
            << "   estimation = " << estimationName() << "\n"
            << "   phenotype = "
            << (quantitativeTrait == 1 ? "quantitative" : "binary (case/controls)") << "\n";
  std::printf("   alpha = %g (--alpha)\n", alpha);
  if (topCount != -1) std::printf("   max SNPs = %d (--top)\n", topCount);
  std::printf("   bootstraps = %d + %d x %d\n", nL0, nL1, nL2);
  if (useCovariates) {
    std::cout << "   covariates = yes (file: " << covarFileName << ", index: " << covarSelection
              << ")\n";
  }
  std::cout << "\n";
  if (mafCorrection != 0) std::cout << "Using MAF correction: TRUE\n";
  std::cout << "Reading input files.\n";
  std::cout.flush();
}
