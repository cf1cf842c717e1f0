#include "dataset/phenotype_groups.h"

#include <cstdio>
#include <string>

#include "dataset/dataset.h"
#include "run/settings.h"

namespace {

// A quantitative (or population-study) phenotype with one value for all shows no association.
std::string constantPhenotypeWarning() {
  const double first = individuals.front()->phenotype;
  for (const individualRecord* person : individuals) {
    if (person->phenotype != first) return "";
  }
  char value[64];
  std::snprintf(value, sizeof value, "%g", first);
  return "Warning: Every individual of the data set has the same phenotype, " +
         std::string(value) + ": no test can find an association.\n";
}

}  // namespace

std::string phenotypeShortfallWarning() {
  if (individuals.empty()) {
    return "Warning: The data set has no individual with a phenotype: there is nothing to "
           "test.\n";
  }
  if (individuals.size() == 1) {
    return "Warning: The data set has only one individual with a phenotype: a test needs at "
           "least two.\n";
  }
  if (studyType != 1) return constantPhenotypeWarning();
  bool hasCase = false;
  bool hasControl = false;
  for (const individualRecord* person : individuals) {
    hasCase = hasCase || person->phenotype == 2.0;
    hasControl = hasControl || person->phenotype == 1.0;
  }
  if (!hasCase) {
    return "Warning: The data set has no cases (phenotype 2): no test can compare cases with "
           "controls.\n";
  }
  if (!hasControl) {
    return "Warning: The data set has no controls (phenotype 1): no test can compare cases with "
           "controls.\n";
  }
  return "";
}
