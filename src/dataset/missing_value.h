// The one marker of a missing or not computable real, everywhere in the program.
#pragma once

// Tested by exact equality; writers print it as "NA", output streams as 1e+81.
inline constexpr double missingValue = 1e81;
