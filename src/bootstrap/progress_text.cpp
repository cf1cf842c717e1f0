#include "bootstrap/progress_text.h"

#include <cstdio>
#include <sstream>

std::string level0CompletionLine(int sigBoots, int attempts) {
  std::ostringstream line;
  line << "Level 0 completed. " << sigBoots << "/" << attempts << " significant bootstraps (";
  // With no attempt (--L0 0) the share is 0/0; say so instead of printing nan.
  if (attempts > 0) {
    line << 100.0 * sigBoots / attempts;
  } else {
    line << "NA";
  }
  line << "%)\n";
  return line.str();
}

std::string timeEstimateText(long elapsedSeconds, int done, int total) {
  // Threads that pass the last check together each append, so done can exceed total; the
  // estimate counts no more than the analysis needs (never a negative time, never over 100%).
  if (done > total) done = total;
  const double elapsed = static_cast<double>(elapsedSeconds);
  const double projected = (elapsed + 0.5) * total / done;
  const double remaining = projected - elapsed;
  const double percentDone = 100.0 * done / total;
  char text[500];
  if (projected > 100) {
    std::snprintf(text, sizeof text, "%.1f min (%.0f%% done)", remaining / 60, percentDone);
  } else {
    std::snprintf(text, sizeof text, "%.1f sec (%.0f%% done)", remaining, percentDone);
  }
  return text;
}
