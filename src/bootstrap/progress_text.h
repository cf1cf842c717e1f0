// The progress texts of the level engines: the level-0 completion line and the time estimate.
#pragma once

#include <string>

// "Level 0 completed. s/a significant bootstraps (x%)\n" with x = 100 s / a in the stream's
// default notation; "NA" in place of x when no attempt ran.
std::string level0CompletionLine(int sigBoots, int attempts);

// The text after "Estimated time to complete analysis: " once `done` of `total` level-1
// resamples are accepted `elapsedSeconds` whole seconds after the start: the remaining time
// of the projected total, in minutes when that total exceeds 100 seconds. A done above total
// counts as total. done must be > 0.
std::string timeEstimateText(long elapsedSeconds, int done, int total);
