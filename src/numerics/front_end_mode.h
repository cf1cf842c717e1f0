// The mode check shared by the distribution front ends.
#pragma once

// True for which = 1 (P and Q from the statistic), the only mode built. Otherwise writes
// status -1 and the bound: 1 when which is below 1, 3 when it is above 1 (the inverse modes 2
// and 3 are not available).
inline bool forwardModeAsked(int which, int& status, double& bound) {
  if (which == 1) return true;
  status = -1;
  bound = which < 1 ? 1.0 : 3.0;
  return false;
}
