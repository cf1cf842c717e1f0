// Data sets in which no SNP can show an association whatever its genotypes: too few individuals
// with a phenotype, a case-control study without cases or without controls, or one phenotype
// value for all.
#pragma once

#include <string>

// The warning that names the shortfall of the individuals as they are (after those with a
// missing phenotype were dropped), or "" when there is none. Cases and controls are counted in
// a case-control study only (studyType 1), where every phenotype is then 1 or 2; in other
// studies the phenotype values are compared.
std::string phenotypeShortfallWarning();
