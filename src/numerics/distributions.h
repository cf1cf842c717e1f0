// The p-values that the association tests use. Both return -9 when no p-value can be
// computed; callers turn that into missingValue. Reentrant: called from many threads at once.
#pragma once

// Upper-tail probability of a chi-square variable with df degrees of freedom at x.
double chiSquareP(double x, double df);

// Two-sided p-value 2 Pr(T > |t|) of a Student t statistic with df degrees of freedom.
double tTwoSidedP(double t, double df);
