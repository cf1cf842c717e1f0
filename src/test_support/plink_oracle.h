// Test support for comparisons with plink 1.07: where it is, how closely a number it printed
// must agree with ours, and the Rserve server that its R plug-in needs.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>

#include "dataset/missing_value.h"

namespace testsupport {

inline const std::string plink107 = "/usr/lib/debian-med/bin/plink";

inline bool plink107Installed() { return access(plink107.c_str(), X_OK) == 0; }

// The R plug-in script of the tests: for every SNP, the glm of case status on the count of
// plink's A1 alleles, returned as c(2, beta, p); NA, NA where R cannot fit it.
inline const std::string glmPluginScript =
    std::string(ZUQ_SOURCE_DIR) + "/src/association/testdata/rplugin_glm.R";

// The R plug-in's glm stops when the deviance has settled to 1e-14 relative, so its beta and p
// are good to about 1e-7 relative, a fifth of half a unit of the sixth digit that plink prints of
// them: the limit of the distance (below) between a value of ours and one the plug-in printed.
inline constexpr double rPluginDistanceLimit = 1.25;

// Half a unit in the last digit of a number printed with the given significant digits.
inline double printedHalfUnit(double printed, int digits) {
  if (printed == 0) return 0;
  return 0.5 * std::pow(10.0, std::floor(std::log10(std::fabs(printed))) - (digits - 1));
}

// How far ours lies from the printed value, in half units of its last digit: at most 1 when
// they agree (0 when both are missing; infinite when only one is).
inline double printedDistance(double ours, double printed, int digits) {
  if (ours == missingValue || printed == missingValue) {
    return ours == printed ? 0 : INFINITY;
  }
  const double halfUnit = printedHalfUnit(printed, digits);
  if (halfUnit == 0) return ours == 0 ? 0 : INFINITY;
  return std::fabs(ours - printed) / halfUnit;
}

// True when something accepts connections on the local port.
inline bool localPortOpen(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool open = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return open;
}

// Rserve on port 6311, where plink's R plug-in looks for it: the running one when there is one
// (the test script starts one for the whole run), else one started here in the foreground of an
// R process of our own, which ends with the object. available() is false when neither works.
class rserveSession {
 public:
  rserveSession() {
    if (localPortOpen(port)) {
      available_ = true;
      return;
    }
    pid_ = fork();
    if (pid_ == 0) {
      const int null = open("/dev/null", O_WRONLY);
      if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
      }
      execlp("Rscript", "Rscript", "-e", "Rserve::run.Rserve(port = 6311)",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int wait = 0; wait < 100 && pid_ > 0 && !available_; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      available_ = localPortOpen(port);
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;  // R ended: Rserve is missing
    }
  }
  ~rserveSession() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  rserveSession(const rserveSession&) = delete;
  rserveSession& operator=(const rserveSession&) = delete;

  bool available() const { return available_; }

 private:
  static constexpr int port = 6311;
  pid_t pid_ = -1;
  bool available_ = false;
};

}  // namespace testsupport
