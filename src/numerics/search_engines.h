// The two reverse-communication search engines behind the inverse modes of the distribution
// front ends. The caller owns the engine's state, so any number of searches can run at once on
// different threads; the engines keep nothing else between steps.
//
// Protocol of both: set up once, set status to 0 and call the step; while the step returns
// status 1, evaluate the function at the returned x and call the step again with that value;
// status 0 ends the search with the answer in x, status -1 ends it without one (the flags tell
// where the answer lies).
#pragma once

// Bracketing zero finder over [xlo, xhi]: a secant and inverse quadratic interpolation search
// that falls back to bisection whenever the interpolation does not shrink the bracket fast
// enough, stopping when the bracket is narrower than max(absolute tolerance, relative tolerance
// times |x|).
struct zeroFinderState {
  double lowEnd = 0, highEnd = 0, absTol = 0, relTol = 0;  // setup
  int stage = 0;
  bool first = true;
  int extrapolations = 0;
  double a = 0, b = 0, c = 0, d = 0, fa = 0, fb = 0, fc = 0, fd = 0, step = 0, halfWidth = 0;
};

void zeroFinderSetup(zeroFinderState& state, double xlo, double xhi, double absTol,
                     double relTol);

// One step. On status 0 x = xlo is the answer and [xlo, xhi] the final bracket. On status
// -1 no sign change was found: qleft tells whether the zero lies to the left of xlo, qhi
// whether the function is above 0 at both ends.
void zeroFinderStep(zeroFinderState& state, int& status, double& x, double fx, double& xlo,
                    double& xhi, bool& qleft, bool& qhi);

// Monotone inverse search over [small, big]: the function is evaluated at both ends to learn its
// direction and whether the answer lies inside, then the search steps from the start x in the
// direction of the answer with steps max(absolute step, relative step |x|) growing by the step
// factor until the answer is bracketed, and the zero finder narrows the bracket.
struct invrState {
  double small = 0, big = 0, absStep = 0, relStep = 0, stepFactor = 0, absTol = 0, relTol = 0;
  int stage = 0;
  bool increasing = false;
  double start = 0, fSmall = 0, step = 0, lower = 0, upper = 0;
  zeroFinderState zero;
  int zeroStatus = 0;
  double zeroLow = 0, zeroHigh = 0;
};

void invrSetup(invrState& state, double small, double big, double absStep, double relStep,
               double stepFactor, double absTol, double relTol);

// One step. status -1 means the answer lies outside [small, big]: qleft true when it lies below
// small, false when above big (qhi tells whether the function is above 0 there). A start x
// outside [small, big] ends the process through stopWithMessage.
void invrStep(invrState& state, int& status, double& x, double fx, bool& qleft, bool& qhi);

// How a front end's search ended.
enum class searchEnd { found, belowRange, aboveRange, failed };

// Runs a monotone search over [small, big] from the start in x with the front ends' settings
// (steps 0.5, 0.5 and factor 5, tolerances 1e-50 and 1e-8). evaluate(x, fx) writes the target
// minus the computed value into fx and returns false when the cumulative routine failed.
template <typename Evaluate>
searchEnd monotoneSearch(double& x, double small, double big, Evaluate evaluate) {
  invrState state;
  invrSetup(state, small, big, 0.5, 0.5, 5.0, 1e-50, 1e-8);
  int status = 0;
  double fx = 0;
  bool qleft = false, qhi = false;
  invrStep(state, status, x, fx, qleft, qhi);
  while (status == 1) {
    if (!evaluate(x, fx)) return searchEnd::failed;
    invrStep(state, status, x, fx, qleft, qhi);
  }
  if (status == -1) return qleft ? searchEnd::belowRange : searchEnd::aboveRange;
  return searchEnd::found;
}

// Runs the bracketing zero finder over [lo, hi] with the front ends' tolerances (1e-50 and
// 1e-8); evaluate(x, fx) as for monotoneSearch. The answer is left in x.
template <typename Evaluate>
searchEnd bracketedSearch(double& x, double lo, double hi, Evaluate evaluate) {
  zeroFinderState state;
  zeroFinderSetup(state, lo, hi, 1e-50, 1e-8);
  int status = 0;
  double fx = 0, xlo = lo, xhi = hi;
  bool qleft = false, qhi = false;
  zeroFinderStep(state, status, x, fx, xlo, xhi, qleft, qhi);
  while (status == 1) {
    if (!evaluate(x, fx)) return searchEnd::failed;
    zeroFinderStep(state, status, x, fx, xlo, xhi, qleft, qhi);
  }
  if (status == -1) return qleft ? searchEnd::belowRange : searchEnd::aboveRange;
  x = xlo;
  return searchEnd::found;
}

// A front end's status and bound for the end of its search: 0 found; 1 with the low end or 2
// with the high end of the range; 10 when the cumulative routine failed.
inline void reportSearchEnd(searchEnd end, double low, double high, int& status,
                            double& bound) {
  switch (end) {
    case searchEnd::found: status = 0; return;
    case searchEnd::belowRange: status = 1; bound = low; return;
    case searchEnd::aboveRange: status = 2; bound = high; return;
    case searchEnd::failed: status = 10; return;
  }
}

// The gap a front end's search drives to zero: on the smaller tail (P when P <= Q), whose
// digits are the ones that count.
inline double tailGap(double P, double Q, double cum, double ccum) {
  return P <= Q ? P - cum : Q - ccum;
}

// Searches a front end's unknown over [low, high] from start: evaluate(fx) computes the gap with
// the unknown set to the trial value. The answer is left in unknown, the end of the search in
// status and bound.
template <typename Evaluate>
void searchUnknown(double& unknown, double start, double low, double high, Evaluate evaluate,
                   int& status, double& bound) {
  double value = start;
  const searchEnd end = monotoneSearch(value, low, high, [&](double v, double& fx) {
    unknown = v;
    return evaluate(fx);
  });
  unknown = value;
  reportSearchEnd(end, low, high, status, bound);
}

// Searches a probability and its complement (value + complement = 1) with the zero finder over
// [0, 1], run on value when lowerTail and on complement otherwise, so that the one near 1 keeps
// the digits of the other; evaluate(fx) as for searchUnknown.
template <typename Evaluate>
void searchComplementPair(bool lowerTail, double& value, double& complement, Evaluate evaluate,
                          int& status, double& bound) {
  const auto place = [&](double v) {
    value = lowerTail ? v : 1.0 - v;
    complement = lowerTail ? 1.0 - v : v;
  };
  double found = 0.5;
  const searchEnd end = bracketedSearch(found, 0.0, 1.0, [&](double v, double& fx) {
    place(v);
    return evaluate(fx);
  });
  place(found);
  reportSearchEnd(end, 0.0, 1.0, status, bound);
}
