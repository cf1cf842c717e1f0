// The F distribution of the distribution library, central and noncentral: front ends and
// cumulative routines over the incomplete beta ratio.
#pragma once

// The F front end. which = 1: P = Pr(F <= f) and Q = Pr(F > f) for dfn and dfd degrees of
// freedom; 2: f from P, Q, dfn, dfd (searched in [0, 1e300]); 3: dfn from P, Q, f, dfd; 4: dfd
// from P, Q, f, dfn (both searched in [1e-300, 1e300]; the distribution need not be monotone in
// them, and the search then finds one of the answers). status: 0 done; -1 which outside 1..4
// (bound 1 or 4); -2 P outside [0, 1], -3 Q outside (0, 1] (inverse modes; bound 0 or 1); -4
// f < 0, -5 dfn <= 0, -6 dfd <= 0 (bound 0; not in the mode that searches them); 3 P + Q not 1;
// 1 or 2 the answer lies below or above the search range (bound the range end).
void fDistribution(int which, double& P, double& Q, double& f, double& dfn, double& dfd,
                   int& status, double& bound);

// P and Q of the F distribution: (0, 1) for f <= 0, else from I_x(dfd/2, dfn/2) with
// x = dfd/(dfd + dfn f), the smaller of x and 1 - x formed directly.
void fCdf(double f, double dfn, double dfd, double& P, double& Q);

// The noncentral F front end, with the noncentrality as fifth quantity: which = 1..5 as for
// fDistribution, 5 finding the noncentrality (searched in [0, 1e4]: the time of the sum grows
// with it). The searches match the smaller of P and Q, so that a tiny Q finds its unknown too.
// status as for fDistribution, with -7 for a negative noncentrality and bound 5 for a which
// above 5; the same -k for an argument that is infinite or not a number (bound 0, or the largest
// double for +infinity); 10 when the cumulative routine gave no value (a noncentrality beyond
// 1e10 where its bounds do not settle the tails; bound unchanged).
void noncentralFDistribution(int which, double& P, double& Q, double& f, double& dfn,
                             double& dfd, double& noncentrality, int& status, double& bound);

// P and Q of the noncentral F distribution, the smaller of them (as the ratios at the largest
// Poisson weight tell, and its sum confirms) as its own Poisson-weighted sum and the other as its
// complement. P sums incomplete beta ratios from the largest weight outwards until a falling term
// is below 1e-15 of the sum (or a limit of terms far beyond that is reached), from a scaled start
// where the ratio there underflows; Q sums their complements (poissonMixtureUpperTail). Both keep
// their relative precision down to the smallest normal numbers. A noncentrality above 1e10 gives
// only the tails that a Chernoff bound shows below 1e-321 (0, and the other 1); elsewhere there,
// and for an argument that is infinite or not a number, P and Q are both not a number.
void noncentralFCdf(double f, double dfn, double dfd, double noncentrality, double& P,
                    double& Q);
