// The noncentral chi-square distribution of the distribution library: front end and cumulative
// routine.
#pragma once

// The noncentral chi-square front end. which = 1: P = Pr(X <= x) and Q = 1 - P for df degrees
// of freedom and the noncentrality; 2: x (searched in [0, 1e300]); 3: df (searched in
// [1e-300, 1e300]); 4: the noncentrality (searched in [0, 1e4]: the time of the sum grows with
// it). The searches match P. status: 0 done; -1 which outside 1..4 (bound 1 or 4); -2 P outside
// [0, 1], -3 Q outside (0, 1] (bound 0 or 1); -4 x < 0, -5 df <= 0, -6 noncentrality < 0 (bound
// 0; not in the mode that searches them); 3 P + Q not 1; 1 or 2 the answer lies below or above
// the search range (bound the range end).
void noncentralChiSquareDistribution(int which, double& P, double& Q, double& x, double& df,
                                     double& noncentrality, int& status, double& bound);

// P and Q = 1 - P of the noncentral chi-square: the Poisson-weighted sum of chiSquareCdf terms,
// from the largest weight outwards until a term falls below 1e-5 of the sum or 1000 terms are
// taken on one side.
void noncentralChiSquareCdf(double x, double df, double noncentrality, double& P, double& Q);
