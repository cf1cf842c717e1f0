// Romberg integration: the extended trapezoidal rule refined stage by stage, and Neville's
// polynomial extrapolation of its stages to step size 0.
#pragma once

#include <functional>
#include <vector>

using realFunction = std::function<double(double)>;

// Stage n of the extended trapezoidal rule for f on [a, b]. n = 1 starts a new integral with
// (b - a)(f(a) + f(b))/2; stage n > 1 adds the 2^(n-2) midpoints of the previous stage and
// returns the refined sum. Stages must be called in order 1, 2, 3, ... for one integral at a
// time; the running sum belongs to the calling thread, so each thread may run its own integral.
// A stage beyond 62 (2^60 new points) is a fatal error.
double trapezoidStep(const realFunction& f, double a, double b, int n);

// Neville's interpolation through the points (xa[i], ya[i]) evaluated at x: y the value, dy the
// last correction as its error estimate (0 for a single point). Two equal abscissas: fatal
// error "Error in routine polint"; no points or unequal lengths: fatal error.
void polint(const std::vector<double>& xa, const std::vector<double>& ya, double x, double& y,
            double& dy);

// The integral of f over [a, b] by Romberg's method: up to 20 trapezoidal stages, each from stage
// 5 on extrapolated to step 0 through the last 5 stages; returns as soon as the error estimate is
// at most 1e-10 of the value. No convergence after stage 20: fatal error. It keeps its own
// running sum, so it may run on several threads at once and f may itself call qromb.
double qromb(const realFunction& f, double a, double b);
