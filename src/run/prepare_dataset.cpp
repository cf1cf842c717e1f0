#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "dataset/dataset.h"
#include "dataset/snp_filters.h"
#include "dataset/stats_helpers.h"
#include "run/random_generator.h"
#include "run/settings.h"
#include "run/start_up.h"
#include "association/plink_runner.h"

namespace {

void readInputFiles() {
  if (dummyData != 1) plink.readPedAndMap(pedFileName, mapFileName);
  if (!phenoFileName.empty()) plink.readAlternativePhenotype(phenoFileName);
  if (useCovariates) plink.readCovariateFile(covarFileName);
}

void drawRandomPhenotypes() {
  for (individualRecord* person : individuals) person->phenotype = rng.phenotype();
}

void summariseBinaryTrait() {
  int cases = 0;
  int controls = 0;
  for (individualRecord* person : individuals) {
    if (person->phenotype == 1.0) {
      ++controls;
    } else if (person->phenotype == 2.0) {
      ++cases;
    } else {
      person->phenotype = missingValue;
    }
  }
  std::cout << "Binary trait:\n"
            << "    " << cases << " cases.\n"
            << "    " << controls << " controls.\n"
            << "    " << nIndividuals - controls - cases << " missing.\n";
}

std::string formatSummaryValue(double value) {
  if (value == missingValue) return "NA";
  char text[64];
  std::snprintf(text, sizeof text, "%.3g", value);
  return text;
}

void summariseQuantitativeTrait() {
  std::vector<double> values;
  double minimum = 1e40;
  double maximum = -1e40;
  for (const individualRecord* person : individuals) {
    if (person->phenotype == missingValue) continue;
    values.push_back(person->phenotype);
    if (person->phenotype < minimum) minimum = person->phenotype;
    if (person->phenotype > maximum) maximum = person->phenotype;
  }
  std::cout << "Quantitative trait:\n"
            << "     minimum " << formatSummaryValue(minimum) << "\n"
            << "     maximum " << formatSummaryValue(maximum) << "\n"
            << "     average " << formatSummaryValue(meanIgnoringMissing(values)) << "\n"
            << "          sd " << formatSummaryValue(sdIgnoringMissing(values)) << "\n";
}

void applySnpFilters() {
  if (selectedChromosome != -1) selectChromosome(selectedChromosome);
  filterMaf();
  applySnpLists();
  std::cout << "SNPs remaining after filtering: " << snps.size() << "\n"
            << "Individuals remaining after filtering: " << individuals.size() << "\n";
  std::cout.flush();
}

}  // namespace

void prepareDataSet() {
  readInputFiles();
  if (makeFemale) {
    for (individualRecord* person : individuals) person->sex = "1";
  }
  if (randomPhenotypes && !individuals.empty()) drawRandomPhenotypes();
  if (studyType == 1) {
    summariseBinaryTrait();
  } else {
    summariseQuantitativeTrait();
  }
  std::cout << "\n";
  plink.removeMissingPhenotypes();
  std::cout.flush();
  applySnpFilters();
}
