#include "association/plink_runner.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "dataset/dataset.h"
#include "run/exit.h"
#include "run/shell_command.h"
#include "association/checked_file.h"

plinkRunner::plinkRunner() : executable("plink"), arguments("--allow-no-sex --noweb --silent") {}

void plinkRunner::appendSpaceAndString(const std::string& text) { arguments += " " + text; }

void plinkRunner::run(const std::string& extra) const {
  const std::string command = executable + " " + arguments + " " + extra + " ";
  // Output written so far must reach the terminal before plink's own.
  std::cout.flush();
  const int status = runShellCommand(command);
  if (status != 0) {
    std::cout << "Error: execution of plink failed with exit code " << status << "\n"
              << "  command was '" << command << "'\n";
    fatalExit(1);
  }
}

namespace {

// The number after the first word of the log that begins with 'v' (-1 when there is none).
double versionFromLog(std::ifstream& log) {
  std::string word;
  while (log >> word) {
    if (word[0] != 'v') continue;
    word[0] = '0';
    return std::strtod(word.c_str(), nullptr);
  }
  return -1;
}

// A probe file that could not be written in full would make plink fail on a scratch directory
// without room, and the run would blame plink.
void writeProbeFile(const std::string& name, const std::string& text, const std::string& prefix) {
  checkedFile file(name);
  if (!file.isOpen()) {
    std::cout << createFailureLine(name, file.reason())
              << "Error: Cannot write to scratch directory: '" << prefix << "'\n";
    fatalExit(1);
  }
  file.stream() << text;
  if (!file.close()) {
    std::cout << writeFailureLine(name, file.reason());
    fatalExit(1);
  }
}

}  // namespace

double plinkRunner::probePlinkVersion(const std::string& prefix) const {
  const std::string logName = prefix + "plinktest.log";
  const std::string mapName = prefix + "plinktest.map";
  const std::string pedName = prefix + "plinktest.ped";
  std::remove(logName.c_str());
  writeProbeFile(mapName, "1 snp 0 0\n", prefix);
  writeProbeFile(pedName, "per0 per0 0 0 2 2 B A\n", prefix);
  const std::string probeName = shellWord(prefix + "plinktest");
  run("--file " + probeName + " --out " + probeName);
  std::remove(mapName.c_str());
  std::remove(pedName.c_str());
  double version = -1;
  {
    std::ifstream log(logName);
    if (log) version = versionFromLog(log);
  }
  std::remove(logName.c_str());
  std::remove(mapName.c_str());
  std::remove(pedName.c_str());
  return version;
}

void plinkRunner::runPlinkAssoc(const std::string& base, const std::vector<snpRecord*>& snpList) {
  writeBinaryFileset(base, individuals, snpList, 1);
  const std::string name = doubleQuotedShellWord(base);
  run("--bfile " + name + " --assoc --out " + name + " ");
}
