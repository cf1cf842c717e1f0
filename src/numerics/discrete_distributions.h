// The binomial, negative binomial and Poisson distributions of the distribution library: front
// ends and cumulative routines over the incomplete beta and gamma ratios. The counts are real
// numbers: the cumulative routines interpolate between whole counts, and the searches return
// real counts.
#pragma once

// The binomial front end (s successes in n trials with success probability pr, ompr = 1 - pr).
// which = 1: P = Pr(S <= s) and Q = Pr(S > s); 2: s from P, Q, n, pr (searched in [0, n]); 3: n
// from P, Q, s, pr (searched in [1e-300, 1e300]); 4: pr and ompr from P, Q, s, n (bracketed in
// [0, 1]). status: 0 done; -1 which outside 1..4 (bound 1 or 4); -2 P outside [0, 1], -3 Q
// outside (0, 1] (inverse modes; bound 0 or 1); -4 s < 0 (bound 0) or s > n (bound n; not in
// mode 3); -5 n <= 0 (bound 0); -6 pr and -7 ompr outside [0, 1] (bound 0 or 1); 3 P + Q not 1;
// 4 pr + ompr not 1 (bound 0 for a negative sum, else 1); 1 or 2 the answer lies below or above
// the search range (bound the range end).
void binomialDistribution(int which, double& P, double& Q, double& s, double& n, double& pr,
                          double& ompr, int& status, double& bound);

// P = Pr(S <= s) and Q of the binomial: for s < n, I_(1-pr)(n - s, s + 1) and its complement
// through betaCdf (pr, ompr, s + 1, n - s) with its results exchanged; (1, 0) for s >= n.
void binomialCdf(double s, double n, double pr, double ompr, double& P, double& Q);

// The negative binomial front end (s failures before the n-th success, success probability pr).
// which = 1..4 as for binomialDistribution; s is searched in [0, 1e300], n in [0, 1e300], pr in
// [0, 1]. status as there, except -4 only for s < 0 and -5 for n < 0.
void negBinomialDistribution(int which, double& P, double& Q, double& s, double& n, double& pr,
                             double& ompr, int& status, double& bound);

// P = Pr(S <= s) and Q of the negative binomial: betaCdf (pr, ompr, n, s + 1).
void negBinomialCdf(double s, double n, double pr, double ompr, double& P, double& Q);

// The Poisson front end (count s, mean lambda). which = 1: P = Pr(S <= s) and Q = Pr(S > s); 2:
// s from P, Q, lambda; 3: lambda from P, Q, s (both searched in [0, 1e300]). status: 0 done; -1
// which outside 1..3 (bound 1 or 3); -2 P outside [0, 1], -3 Q outside (0, 1] (bound 0 or 1);
// -4 s < 0, -5 lambda < 0 (bound 0); 3 P + Q not 1; 1 or 2 outside the search range; 10 the
// ratio routine failed.
void poissonDistribution(int which, double& P, double& Q, double& s, double& lambda, int& status,
                         double& bound);

// P = Pr(S <= s) and Q of the Poisson: the chi-square tails at 2 lambda with 2 (s + 1) degrees
// of freedom, exchanged. The ratio routine's error shows as 2 in both.
void poissonCdf(double s, double lambda, double& P, double& Q);
