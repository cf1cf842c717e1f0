// The scans and estimates through plink need the fileset writers and result parsers, which are
// still to be written. Until then a run that takes such a route stops with a clear error.
#include <iostream>

#include "run/exit.h"
#include "tests/plink_runner.h"

namespace {

[[noreturn]] void notAvailable(const char* what) {
  std::cout << "Error: " << what << " through plink is not available in this build of zuq yet.\n";
  fatalExit(1);
}

}  // namespace

void plinkRunner::writeBinaryFileset(const std::string&, const std::vector<individualRecord*>&,
                                     const std::vector<snpRecord*>&, int) {
  notAvailable("Writing a PLINK binary fileset");
}
void plinkRunner::runPlinkModel(const std::string&, const std::string&,
                                std::vector<significanceRecord>&) {
  notAvailable("The full-model scan");
}
void plinkRunner::runPlinkLinear(const std::string&, std::vector<estimateRecord>&,
                                 const std::vector<snpRecord*>&) {
  notAvailable("The linear regression");
}
void plinkRunner::runPlinkLogistic(const std::string&, std::vector<estimateRecord>&,
                                   const std::vector<snpRecord*>&) {
  notAvailable("The logistic regression");
}
void plinkRunner::runPlinkRPlugin(const std::string&, std::vector<estimateRecord>&,
                                  const std::vector<snpRecord*>&, std::string) {
  notAvailable("The R plug-in");
}
