#include "dataset/ped_record.h"

#include "association/plink_runner.h"

namespace {

// The record of one .ped line from its six leading fields; genotypes all zero.
individualRecord* newIndividual(const std::string (&fields)[6]) {
  auto* person = new individualRecord;
  person->familyId = fields[0];
  person->individualId = fields[1];
  person->fatherId = fields[2];
  person->motherId = fields[3];
  person->sex = fields[4];
  person->phenotype = plink.parseValueOrMissing(fields[5].c_str());
  person->genotypes.assign(genotypeWordCount(nSnps), 0);
  return person;
}

}  // namespace

pedLineFault readPedRecord(pedLineText& line, pedAlleleColumns& alleles, pedMessageSink& messages,
                           individualRecord*& person) {
  person = nullptr;
  std::string fields[6];
  if (!readLeadingFields(line, fields)) return pedLineFault::tooFewFields;
  individualRecord* read = newIndividual(fields);
  const int pairs = scanGenotypes(line, alleles, read->genotypes, messages);
  if (pairs == nSnps) {
    person = read;
    return pedLineFault::none;
  }
  delete read;
  return pairs == tooManyGenotypePairs ? pedLineFault::tooManyGenotypes
                                       : pedLineFault::tooFewGenotypes;
}

std::string pedFaultMessage(pedLineFault fault, const std::string& fileName, int lineNumber) {
  const std::string line = std::to_string(lineNumber);
  switch (fault) {
    case pedLineFault::tooFewFields:
      return "Error: Cannot read all items from ped file input line " + line + "\n";
    case pedLineFault::tooFewGenotypes:
      return "Error: Not enough SNP's read from ped file file " + fileName + " line " + line + "\n";
    case pedLineFault::tooManyGenotypes:
      return "Error: Too many genotype data on line " + line + "!\n";
    case pedLineFault::none:
      break;
  }
  return "";
}
