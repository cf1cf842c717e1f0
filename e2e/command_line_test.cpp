// The command line end to end: banner, option errors, --help, echo and parameter print-out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_zuq.h"

namespace {

const std::string banner =
    "   zuq - Zuquor\n   version 1.12 (March 7th, 2011)\n\n"
    "  - multi-processor enabled (OpenMP) -\n  - machine has N processors - \n\n"
    "  - running in 64-bit mode - \n\n";

std::string join(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& a : args) text += a + " ";
  return text;
}

struct ErrorCase {
  std::vector<std::string> args;
  int status;
  std::string afterBanner;  // everything the run prints after the banner
};

TEST(CommandLine, ErrorsPrintTheirMessageAndStatus) {
  const std::string noInput =
      "Error: Please specify input file using --file <basefilename> or --ped <pedfile> and "
      "--map <mapfile> \n";
  const ErrorCase cases[] = {
      {{}, 1, noInput},
      {{"--alpha"}, 1, "Error: Option --alpha requires 1 arguments.\n"},
      {{"--dummy", "3"}, 1, "Error: Option --dummy requires 2 arguments.\n"},
      {{"--l0", "100", "--dummy", "2", "2"}, 1,
       "Generating dummy dataset...\nError: Option --l0 not understood.\n\n"
       "Try running zuq --help for a list of command line options.\n"},
      {{"--test", "trend"}, 1,
       "Error: Unknown test type \"trend\"\n  should be one of minTRENDGENO TREND GENO LOGISTIC "
       "ALLELIC RPLUGIN LINEAR \n"},
      {{"--estimate", "GENO"}, 1,
       "Error: Unknown estimate type \"GENO\"\n  should be one of LOGISTIC, ALLELIC or RPLUGIN\n"},
      {{"--file", "x", "--ped", "y.ped"}, 1,
       "Error: please specify only one of --file or --ped.\n"},
      {{"--file", "x", "--map", "y.map"}, 1,
       "Error: please specify only one of --file or --map.\n"},
      {{"--covar-number", "2", "--covar-name", "age", "--dummy", "2", "2"}, 1,
       "Error: Multiple covariate selection commands. Use either --covar-number or "
       "--covar-name\n"},
      {{"--dummy", "2", "2", "--covar-number", "2"}, 1,
       "Generating dummy dataset...\nError: No covariate file specified (please use --covar).\n"},
      {{"--dummy", "2", "2", "--cluster", "3"}, 1,
       "Generating dummy dataset...\n"
       "Error: --cluster option accepts a string of the type k/n (e.g. 1/20)\n"},
      {{"--dummy", "2", "2", "--cluster", "0/5"}, 1,
       "Generating dummy dataset...\n\nCommand line options are: --dummy 2 2 --cluster 0/5 \n\n"
       "Error: --cluster k/n needs n of at least 1 and k from 1 to n (got 0/5).\n"},
      {{"--dummy", "2", "2", "--cluster", "1/4", "--join", "4"}, 1,
       "Generating dummy dataset...\n\nCommand line options are: --dummy 2 2 --cluster 1/4 "
       "--join 4 \n\nError: Use only one of --cluster or --join.\n"},
      {{"--script", "/nonexistent/script.txt"}, 1,
       "Error: Cannot open script file '/nonexistent/script.txt'.\n"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(join(c.args));
    const zuqRun run = runZuq(c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(maskMachineLines(run.out), banner + c.afterBanner);
  }
}

TEST(CommandLine, HelpPrintsTheUsageTextEvenWithUnknownTokens) {
  for (const auto& args : {std::vector<std::string>{"--help"},
                           std::vector<std::string>{"--nonsense", "--help", "--more"}}) {
    SCOPED_TRACE(join(args));
    const zuqRun run = runZuq(args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(maskMachineLines(run.out), banner + readFile(dataPath("usage.txt")));
  }
}

// The start of a run on the generated data set, up to the end of the data preparation.
std::string dummyRunStart(const std::string& echo, const std::string& options,
                          const std::string& parameters) {
  return banner + options + "\nCommand line options are: " + echo + "\n\n" +
         "\nAnalysis parameters:\n" + parameters;
}

TEST(CommandLine, ParametersFollowTheOptions) {
  struct Case {
    std::vector<std::string> args;
    std::string optionMessages;
    std::string parameters;
  } cases[] = {
      {{"--dummy", "6", "3", "--slow"},
       "Generating dummy dataset...\n",
       "   input pedigree file =  (--ped)\n   input map file =  (--map)\n"
       "   output file = out.zuq (--out)\n   study type = 1 (case-control)\n"
       "   test type = TREND\n   estimation = LOGISTIC\n   phenotype = binary (case/controls)\n"
       "   alpha = 0.05 (--alpha)\n   bootstraps = 100 + 0 x 100\n\n"
       "Using MAF correction: TRUE\nReading input files.\n"},
      {{"--slow", "--dummy", "6", "3", "--qt", "--estimate", "DUMMY", "--alpha", "1e-7", "--top",
        "12x", "--B1", "20", "--L0", "5", "--B2", "3", "--nomafcorrection", "--seed", "77",
        "--cpu", "2", "--out", "res.txt", "--resampling", "7"},
       "Setting random seed to 77\nSetting number of cpus to use to 2.\n\n"
       "Generating dummy dataset...\n",
       "   input pedigree file =  (--ped)\n   input map file =  (--map)\n"
       "   output file = res.txt (--out)\n   study type = 7 (population)\n"
       "   test type = LINEAR\n   estimation = LINEAR\n   phenotype = quantitative\n"
       "   alpha = 1e-07 (--alpha)\n   max SNPs = 12 (--top)\n   bootstraps = 20 + 3 x 20\n\n"
       "Reading input files.\n"},
      {{"--dummy", "6", "3", "--slow", "--R", "plug.R", "--test", "GENO", "--covar", "c.txt",
        "--covar-name", "age"},
       "Generating dummy dataset...\n",
       "   input pedigree file =  (--ped)\n   input map file =  (--map)\n"
       "   output file = out.zuq (--out)\n   study type = 1 (case-control)\n"
       "   test type = RPLUGIN\n   estimation = R PLUGIN plug.R\n"
       "   phenotype = binary (case/controls)\n   alpha = 0.05 (--alpha)\n"
       "   bootstraps = 100 + 0 x 100\n   covariates = yes (file: c.txt, index: age)\n\n"
       "Using MAF correction: TRUE\nReading input files.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(join(c.args));
    const zuqRun run = runZuq(c.args);
    const std::string expected = dummyRunStart(join(c.args), c.optionMessages, c.parameters);
    EXPECT_EQ(maskMachineLines(run.out).substr(0, expected.size()), expected);
  }
}

TEST(CommandLine, CovariatesWithoutQtSwitchToTheLogisticTest) {
  const zuqRun run = runZuq({"--dummy", "4", "2", "--slow", "--covar", "none.txt"});
  EXPECT_NE(run.out.find("Warning: automatically using logistic regression test because of "
                         "covariates\n\nCommand line options are: "),
            std::string::npos);
  EXPECT_NE(run.out.find("   test type = LOGISTIC\n"), std::string::npos);
}

TEST(CommandLine, ScriptFileWordsActLikeCommandLineWords) {
  const std::string dir = makeWorkDirectory();
  writeFile(dir + "/opts.txt", "--qt\n--alpha 0.001\n");
  const zuqRun run = runZuq({"--script", "opts.txt", "--dummy", "4", "2", "--slow"}, dir);
  EXPECT_NE(run.out.find("Command line options are: --dummy 4 2 --slow --qt --alpha 0.001 \n"),
            std::string::npos);
  EXPECT_NE(run.out.find("   phenotype = quantitative\n   alpha = 0.001 (--alpha)\n"),
            std::string::npos);
}

}  // namespace
