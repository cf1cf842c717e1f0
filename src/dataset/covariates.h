// The covariate file's header line, repeated as the first line of every .cov file for plink.
#pragma once

#include <string>

// Unchanged apart from a trailing carriage return; empty when the file had no header line.
inline std::string covariateHeaderLine;
