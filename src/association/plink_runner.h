// The outside program plink: how to call it, one command at a time through the shell. The
// class also carries the readers of the PLINK text formats, which use none of its fields.
#pragma once

#include <string>
#include <vector>

struct individualRecord;
struct snpRecord;
struct significanceRecord;
struct estimateRecord;

class plinkRunner {
 public:
  plinkRunner();

  // Runs executable + " " + arguments + " " + extra + " " through the shell; returns only when
  // plink exited with status 0, otherwise reports the command and ends through fatalExit(1).
  // Every name in extra must already be one shell word (shellWord, doubleQuotedShellWord);
  // executable is handed to the shell as the user gave it.
  void run(const std::string& extra) const;
  // The version plink writes into the log of a one-SNP run in the scratch prefix; -1 when the
  // log cannot be read or holds no word beginning with 'v'.
  double probePlinkVersion(const std::string& prefix) const;
  void appendSpaceAndString(const std::string& text);

  // Readers of the PLINK text data set (.map and .ped).
  void readPedAndMap(const std::string& pedFileName, const std::string& mapFileName);
  void readMapFile(const std::string& fileName);
  void readPedFile(const std::string& fileName);
  // A phenotype or covariate field: missingValue for the missing-phenotype code or no number.
  double parseValueOrMissing(const char* text) const;
  void removeMissingPhenotypes();

  // Readers of the alternative phenotype (--pheno) and covariate (--covar) files.
  void readAlternativePhenotype(const std::string& fileName);
  void readCovariateFile(const std::string& fileName);

  // PLINK binary fileset (base.bed/.bim/.fam, and .cov with covariates) of the individuals and
  // SNPs given; newfids renumbers the individual ids i0, i1, ... Completes unset alleles. A file
  // that cannot be created or written in full ends the run (fatalExit(1)) with a message that
  // names it and the system's reason; of threads failing at once, one prints.
  void writeBinaryFileset(const std::string& base, const std::vector<individualRecord*>& people,
                          const std::vector<snpRecord*>& snpList, int newfids);
  // The same fileset as one that the run leaves for the user (--single): its files are written
  // under names of their own and renamed into place once all are complete, so that the fileset
  // is whole or absent. Old files of those names go first; a failure removes every file of the
  // fileset and ends the run, naming the file and the system's reason.
  void writeWholeFileset(const std::string& base, const std::vector<individualRecord*>& people,
                         const std::vector<snpRecord*>& snpList, int newfids);
  // The parts of the fileset: .bim and .cov under the full name given, .bed as base + ".bed".
  void writeBimFile(const std::string& fileName, const std::vector<snpRecord*>& snpList);
  void writeBedFile(const std::string& base, const std::vector<individualRecord*>& people,
                    const std::vector<snpRecord*>& snpList);
  void writeCovFile(const std::string& fileName, const std::vector<individualRecord*>& people,
                    int newfids);
  // plink --assoc on a fileset of all individuals and the SNPs given; its result is not read.
  void runPlinkAssoc(const std::string& base, const std::vector<snpRecord*>& snpList);
  // plink runs on a fileset just written, with their result files read back per SNP.
  void runPlinkModel(const std::string& base, const std::string& outName,
                     std::vector<significanceRecord>& out);
  void runPlinkLinear(const std::string& base, std::vector<estimateRecord>& out,
                      const std::vector<snpRecord*>& snpList);
  void runPlinkLogistic(const std::string& base, std::vector<estimateRecord>& out,
                        const std::vector<snpRecord*>& snpList);
  void runPlinkRPlugin(const std::string& base, std::vector<estimateRecord>& out,
                       const std::vector<snpRecord*>& snpList, std::string scriptName);

  std::string executable;
  std::string arguments;
};

inline plinkRunner plink;
