// Runs whose data set or options are not what the user meant: a .map file whose reading stops
// early, repeated SNP ids, a data set in which no SNP can show an association, a --cpu value
// that is no number. Each run names its cause, in order, before the ending it leads to.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "run_zuq.h"

namespace {

// A .ped file of one individual per phenotype, every one homozygous A at each of snpCount SNPs:
// no SNP can be significant, so a run that gets through the reading ends at the naive scan.
std::string pedOf(const std::vector<std::string>& phenotypes, int snpCount) {
  std::string text;
  int i = 0;
  for (const std::string& phenotype : phenotypes) {
    ++i;
    text += "f" + std::to_string(i) + " i" + std::to_string(i) + " 0 0 1 " + phenotype;
    for (int j = 0; j < snpCount; ++j) text += " A A";
    text += "\n";
  }
  return text;
}

// What a run prints between two marks, or "<not reached>".
std::string between(const std::string& out, const std::string& from, const std::string& to) {
  const size_t start = out.find(from);
  if (start == std::string::npos) return "<not reached>";
  const size_t end = to.empty() ? out.size() : out.find(to, start + from.size());
  if (end == std::string::npos) return "<not reached>";
  return out.substr(start + from.size(), end - start - from.size());
}

const std::string mapStop =
    ": the SNPs from there on are not part of the data set (a .ped file that has their "
    "genotypes then has too many genotypes per line).\n";
const std::string nothingToDo =
    "Computing naive estimate...\n\n\nNo Significant SNPs in input file. Nothing to do.\n";
const std::string compare = ": no test can compare cases with controls.\n";
const std::string lists = ". --exclude and --extract act on every SNP that has a listed id.\n";
const std::string twoSnps = "1 a 0 1\n1 b 0 2\n";

struct causeCase {
  const char* name;
  std::string map;
  std::string ped;
  std::vector<std::string> extra;  // after --file case
  std::vector<std::pair<std::string, std::string>> files;  // further files: name, content
  int status;
  std::string options;                // what the option lookups printed
  std::optional<std::string> reading;  // all after "Reading input files.\n"; unset: unchecked
};

const std::string none;
std::string binary(int cases, int controls, int missing) {
  return "Binary trait:\n    " + std::to_string(cases) + " cases.\n    " +
         std::to_string(controls) + " controls.\n    " + std::to_string(missing) +
         " missing.\n\n";
}
std::string deleting(int n) {
  return "Warning: Deleting " + std::to_string(n) + " individuals with missing phenotype.\n\n";
}
std::string remaining(int snpCount, int people) {
  return "SNPs remaining after filtering: " + std::to_string(snpCount) +
         "\nIndividuals remaining after filtering: " + std::to_string(people) + "\n";
}
std::string readCounts(int snpCount, int people) {
  return "Map file contains " + std::to_string(snpCount) +
         " SNP ids. \nPedigree file contains " + std::to_string(people) + " individuals.\n";
}
std::string quantitative(const std::string& minimum, const std::string& maximum,
                         const std::string& average, const std::string& sd) {
  return "Quantitative trait:\n     minimum " + minimum + "\n     maximum " + maximum +
         "\n     average " + average + "\n          sd " + sd + "\n\n";
}
std::string cpuSet(int n) { return "Setting number of cpus to use to " + std::to_string(n) + ".\n\n"; }

TEST(NamedCauses, EachRunNamesItsCauseBeforeItsEnding) {
  const std::vector<std::string> pair = {"1", "2"};
  const std::string limit =
      std::to_string(std::max(1024, static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN))));
  const std::string capped =
      "\" is more threads than can be started here; using " + limit + " cpus.\n";
  // a and c are each the id of two SNPs.
  const std::string repeats = "1 a 0 1\n1 b 0 2\n1 a 0 3\n1 c 0 4\n1 c 0 5\n";
  const std::string repeatsRead =
      "Map file contains 5 SNP ids. \nWarning: 2 SNP ids occur more than once in map file "
      "case.map; the first to repeat is a (SNPs 1 and 3 of the file)" + lists +
      "Pedigree file contains 2 individuals.\n" + binary(1, 1, 0);
  const causeCase cases[] = {
      // The .map reader.
      {"letter codes only", "X a 0 1\nY b 0 2\nXY c 0 3\nMT d 0 4\n", pedOf(pair, 4), {}, {}, 1,
       none,
       "Warning: Reading of map file case.map stops at line 1, whose chromosome code \"X\" is "
       "not a whole number" + mapStop +
           "Map file contains 0 SNP ids. \nError: Too many genotype data on line 1!\n"},
      {"letter code in the middle", "1 a 0 1\n1 b 0 2\nX c 0 3\n1 d 0 4\n", pedOf(pair, 4), {},
       {}, 1, none,
       "Warning: Reading of map file case.map stops at line 3, whose chromosome code \"X\" is "
       "not a whole number" + mapStop +
           "Map file contains 2 SNP ids. \nError: Too many genotype data on line 1!\n"},
      {"digit and letter", "1x a 0 1\n", pedOf(pair, 1), {}, {}, 1, none,
       "Warning: Reading of map file case.map stops at line 1, whose chromosome code \"1x\" is "
       "not a whole number" + mapStop +
           "Map file contains 0 SNP ids. \nError: Too many genotype data on line 1!\n"},
      {"lines of three words", "1 a 1000\n1 b 2000\n", pedOf(pair, 2), {}, {}, 1, none,
       "Warning: Reading of map file case.map stops at line 2, where \"b\", read as a "
       "chromosome code, is not a whole number (the words of the file are read four to a SNP, "
       "whatever its lines)" + mapStop +
           "Map file contains 1 SNP ids. \nError: Too many genotype data on line 1!\n"},
      // The reading stops, but the .ped file has only the SNPs before: the run goes on.
      {"letter code after the SNPs of the ped file", "1 a 0 1\nX b 0 2\n", pedOf(pair, 1), {},
       {}, 1, none,
       "Warning: Reading of map file case.map stops at line 2, whose chromosome code \"X\" is "
       "not a whole number" + mapStop + readCounts(1, 2) + binary(1, 1, 0) + remaining(1, 2) +
           nothingToDo},
      // Code 23 is plink's X: said once, after the count.
      {"signed, large and blank-led codes", "-1 a 0 1\n23 b 0 2\n 0 c 0 3\n", pedOf(pair, 3), {},
       {}, 1, none,
       "Map file contains 3 SNP ids. \nWarning: 1 SNP of map file case.map has a chromosome code "
       "from 23 to 26, which plink reads as X, Y, XY and MT; the first is b (SNP 2 of the file, "
       "code 23). The tests and estimates run in zuq treat them as autosomes, while plink "
       "(--slow, --useplink, --R) applies its rules for sex chromosomes and mitochondria: the two "
       "routes can give these SNPs different results.\nPedigree file contains 2 individuals.\n" +
           binary(1, 1, 0) + remaining(3, 2) + nothingToDo},

      // Repeated ids: the lists act on every SNP of an id.
      {"repeated ids and --exclude", repeats, pedOf(pair, 5), {"--exclude", "exclude.txt"},
       {{"exclude.txt", "a\n"}}, 1, none,
       repeatsRead +
           "Reading list of SNPs to exclude from file exclude.txt\n"
           "2 SNPs were excluded from file exclude.txt\n" + remaining(3, 2) + nothingToDo},
      {"repeated ids and --extract", repeats, pedOf(pair, 5), {"--extract", "extract.txt"},
       {{"extract.txt", "c\n"}}, 1, none,
       repeatsRead +
           "Reading list of SNPs to keep from file extract.txt\n"
           "3 SNPs were deleted, not present in file extract.txt\n" + remaining(2, 2) +
           nothingToDo},

      // Data sets in which no SNP can show an association, after the missing are dropped.
      {"controls only", twoSnps, pedOf({"1", "1", "1", "0"}, 2), {}, {}, 1, none,
       readCounts(2, 4) + binary(0, 3, 1) + deleting(1) + remaining(2, 3) +
           "Warning: The data set has no cases (phenotype 2)" + compare + nothingToDo},
      {"cases only", twoSnps, pedOf({"2", "2", "1.5"}, 2), {}, {}, 1, none,
       readCounts(2, 3) + binary(2, 0, 1) + deleting(1) + remaining(2, 2) +
           "Warning: The data set has no controls (phenotype 1)" + compare + nothingToDo},
      {"one individual", twoSnps, pedOf({"-9", "2", "x"}, 2), {}, {}, 1, none,
       readCounts(2, 3) + binary(1, 0, 2) + deleting(2) + remaining(2, 1) +
           "Warning: The data set has only one individual with a phenotype: a test needs at "
           "least two.\n" + nothingToDo},
      {"every phenotype missing", twoSnps, pedOf({"-9", "0", "3"}, 2), {}, {}, 1, none,
       readCounts(2, 3) + binary(0, 0, 3) + deleting(3) + remaining(2, 0) +
           "Warning: The data set has no individual with a phenotype: there is nothing to "
           "test.\n" + nothingToDo},
      {"cases and controls", twoSnps, pedOf({"1", "2", "1", "2"}, 2), {}, {}, 1, none,
       readCounts(2, 4) + binary(2, 2, 0) + remaining(2, 4) + nothingToDo},
      // --pheno: the phenotypes that count are the file's.
      {"--pheno leaves controls only", twoSnps, pedOf({"2", "2", "1"}, 2),
       {"--pheno", "pheno.txt"}, {{"pheno.txt", "f1 i1 1\nf2 i2 1\n"}}, 1, none,
       "Map file contains 2 SNP ids. \nPedigree file contains 3 individuals.\n"
       "Reading alternative phenotype from file pheno.txt\n"
       "Read alternative phenotype for 2 individuals\n"
       "Warning: 1 individuals with no phenotype.\n" + binary(0, 2, 1) + deleting(1) +
           remaining(2, 2) + "Warning: The data set has no cases (phenotype 2)" + compare +
           nothingToDo},
      // --qt: no cases or controls, but a count and the values.
      {"--qt with one value", twoSnps, pedOf({"3.5", "-9"}, 2), {"--qt"}, {}, 1, none,
       readCounts(2, 2) + quantitative("3.5", "3.5", "3.5", "NA") + deleting(1) + remaining(2, 1) +
           "Warning: The data set has only one individual with a phenotype: a test needs at "
           "least two.\n" + nothingToDo},
      {"--qt with every value missing", twoSnps, pedOf({"-9", "-9"}, 2), {"--qt"}, {}, 1, none,
       readCounts(2, 2) + quantitative("1e+40", "-1e+40", "NA", "NA") + deleting(2) + remaining(2, 0) +
           "Warning: The data set has no individual with a phenotype: there is nothing to "
           "test.\n" + nothingToDo},
      {"--qt with one value for all", twoSnps, pedOf({"1", "1", "1"}, 2), {"--qt"}, {}, 1, none,
       readCounts(2, 3) + quantitative("1", "1", "1", "0") + remaining(2, 3) +
           "Warning: Every individual of the data set has the same phenotype, 1: no test can "
           "find an association.\n" + nothingToDo},
      {"--qt --resampling 1 recodes to cases and controls", twoSnps, pedOf({"1", "1", "7"}, 2),
       {"--qt", "--resampling", "1"}, {}, 1, none,
       readCounts(2, 3) + binary(0, 2, 1) + deleting(1) + remaining(2, 2) +
           "Warning: The data set has no cases (phenotype 2)" + compare + nothingToDo},

      // --cpu: the text given is quoted when it is not a number; the run goes on (the allelic
      // diagnostic of --alpha 4, whose numbers follow the clock).
      {"--cpu abc", twoSnps, pedOf(pair, 2), {"--cpu", "abc", "--alpha", "4"}, {}, 0,
       "Warning: --cpu \"abc\" is not a thread count; using 1 cpu.\n" + cpuSet(1), std::nullopt},
      {"--cpu empty", twoSnps, pedOf(pair, 2), {"--cpu", "", "--alpha", "4"}, {}, 0,
       "Warning: --cpu \"\" is not a thread count; using 1 cpu.\n" + cpuSet(1), std::nullopt},
      {"--cpu -4x", twoSnps, pedOf(pair, 2), {"--cpu", "-4x", "--alpha", "4"}, {}, 0,
       "Warning: --cpu \"-4x\" is not a thread count; using 1 cpu.\n" + cpuSet(1), std::nullopt},
      {"--cpu -4", twoSnps, pedOf(pair, 2), {"--cpu", "-4", "--alpha", "4"}, {}, 0,
       "Warning: --cpu -4 is not a thread count; using 1 cpu.\n" + cpuSet(1), std::nullopt},
      {"--cpu 0", twoSnps, pedOf(pair, 2), {"--cpu", "0", "--alpha", "4"}, {}, 0,
       "Warning: --cpu 0 is not a thread count; using 1 cpu.\n" + cpuSet(1), std::nullopt},
      {"--cpu 4x", twoSnps, pedOf(pair, 2), {"--cpu", "4x", "--alpha", "4"}, {}, 0, cpuSet(4),
       std::nullopt},
      // Too many to start: a number beyond a long, and letters after a number.
      {"--cpu beyond a long", twoSnps, pedOf(pair, 2),
       {"--cpu", "99999999999999999999", "--alpha", "4"}, {}, 0,
       "Warning: --cpu \"99999999999999999999" + capped + cpuSet(std::stoi(limit)),
       std::nullopt},
      {"--cpu 5000x", twoSnps, pedOf(pair, 2), {"--cpu", "5000x", "--alpha", "4"}, {}, 0,
       "Warning: --cpu \"5000x" + capped + cpuSet(std::stoi(limit)), std::nullopt},
  };
  for (const causeCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = makeWorkDirectory();
    writeFile(dir + "/case.map", c.map);
    writeFile(dir + "/case.ped", c.ped);
    for (const auto& [name, content] : c.files) writeFile(dir + "/" + name, content);
    std::vector<std::string> args = {"--file", "case", "--plink", plinkPath()};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const zuqRun run = runZuq(args, dir);
    EXPECT_EQ(run.status, c.status) << run.out;
    EXPECT_EQ(between(run.out, "  - running in 64-bit mode - \n\n", "\nCommand line options are: "),
              c.options);
    if (c.reading) {
      EXPECT_EQ(between(run.out, "Reading input files.\n", ""), *c.reading);
    }
  }
}

}  // namespace
