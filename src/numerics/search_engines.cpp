#include "numerics/search_engines.h"

#include <cmath>

#include "numerics/distribution_utilities.h"
#include "numerics/fatal_error.h"

namespace {

enum zeroStage { zeroStart, zeroAtLow, zeroAtHigh, zeroAtNew };

// Keeps b the better end (|f(b)| <= |f(c)|), then either ends the search (the bracket [b, c]
// is narrow enough) or picks the next point: the interpolated one when it is safe and shrinks
// the bracket, else a step of the tolerance or the bisection step.
void zeroNextPoint(zeroFinderState& s, int& status, double& x, double& xlo, double& xhi) {
  if (std::fabs(s.fc) < std::fabs(s.fb)) {
    if (s.c != s.a) {
      s.d = s.a;
      s.fd = s.fa;
    }
    s.a = s.b;
    s.fa = s.fb;
    s.b = s.c;
    s.fb = s.fc;
    s.c = s.a;
    s.fc = s.fa;
  }
  xlo = s.b;
  double tol = 0.5 * maxDouble(s.absTol, s.relTol * std::fabs(xlo));
  s.halfWidth = 0.5 * (s.c + s.b) - s.b;
  const double mb = s.halfWidth;
  if (!(std::fabs(mb) > tol)) {
    xhi = s.c;
    x = xlo;
    const bool signChange = (s.fc >= 0.0 && s.fb <= 0.0) || (s.fc < 0.0 && s.fb >= 0.0);
    status = signChange ? 0 : -1;
    return;
  }
  double w;
  if (s.extrapolations > 3) {
    w = mb;
  } else {
    tol = transferSign(tol, mb);
    double p = (s.b - s.a) * s.fb, q;
    if (s.first) {
      q = s.fa - s.fb;
      s.first = false;
    } else {
      const double fdb = (s.fd - s.fb) / (s.d - s.b);
      const double fda = (s.fd - s.fa) / (s.d - s.a);
      p = fda * p;
      q = fdb * s.fa - fda * s.fb;
    }
    if (p < 0.0) {
      p = -p;
      q = -q;
    }
    if (s.extrapolations == 3) p *= 2.0;
    if (p == 0.0 || p <= q * tol) w = tol;
    else if (p < mb * q) w = p / q;
    else w = mb;
  }
  s.step = w;
  s.d = s.a;
  s.fd = s.fa;
  s.a = s.b;
  s.fa = s.fb;
  s.b += w;
  xlo = s.b;
  x = xlo;
  s.stage = zeroAtNew;
  status = 1;
}

// Starts a fresh bracket [b, c] with c at the previous point a.
void zeroNewBracket(zeroFinderState& s) {
  s.c = s.a;
  s.fc = s.fa;
  s.extrapolations = 0;
}

}  // namespace

void zeroFinderSetup(zeroFinderState& state, double xlo, double xhi, double absTol,
                     double relTol) {
  state = zeroFinderState{};
  state.lowEnd = xlo;
  state.highEnd = xhi;
  state.absTol = absTol;
  state.relTol = relTol;
}

void zeroFinderStep(zeroFinderState& s, int& status, double& x, double fx, double& xlo,
                    double& xhi, bool& qleft, bool& qhi) {
  if (status <= 0) s.stage = zeroStart;
  switch (s.stage) {
    case zeroStart:
      xlo = s.lowEnd;
      xhi = s.highEnd;
      s.b = xlo;
      x = xlo;
      s.stage = zeroAtLow;
      status = 1;
      return;
    case zeroAtLow:
      s.fb = fx;
      xlo = xhi;
      s.a = xlo;
      x = xlo;
      s.stage = zeroAtHigh;
      status = 1;
      return;
    case zeroAtHigh:
      // No sign change between the ends: say on which side the zero must lie.
      if (s.fb < 0.0 && fx < 0.0) {
        status = -1;
        qleft = fx < s.fb;
        qhi = false;
        return;
      }
      if (s.fb > 0.0 && fx > 0.0) {
        status = -1;
        qleft = fx > s.fb;
        qhi = true;
        return;
      }
      s.fa = fx;
      s.first = true;
      zeroNewBracket(s);
      zeroNextPoint(s, status, x, xlo, xhi);
      return;
    case zeroAtNew:
      s.fb = fx;
      // Signs compared directly: the product of two tiny values (tails near 1e-300) underflows
      // to -0, which would pass for "same sign" and lose the bracket.
      if (!((s.fc < 0.0 && s.fb > 0.0) || (s.fc > 0.0 && s.fb < 0.0))) {
        zeroNewBracket(s);
      } else if (s.step == s.halfWidth) {
        s.extrapolations = 0;
      } else {
        ++s.extrapolations;
      }
      zeroNextPoint(s, status, x, xlo, xhi);
      return;
  }
}

namespace {

enum invrStage { invrStart, invrAtSmall, invrAtBig, invrAtStart, invrUp, invrDown, invrNarrow };

void invrBeginNarrowing(invrState& s, int& status, double& x) {
  zeroFinderSetup(s.zero, s.lower, s.upper, s.absTol, s.relTol);
  s.zeroStatus = 0;
  bool unusedLeft = false, unusedHigh = false;
  zeroFinderStep(s.zero, s.zeroStatus, x, 0.0, s.zeroLow, s.zeroHigh, unusedLeft, unusedHigh);
  s.stage = invrNarrow;
  status = 1;
}

}  // namespace

void invrSetup(invrState& state, double small, double big, double absStep, double relStep,
               double stepFactor, double absTol, double relTol) {
  state = invrState{};
  state.small = small;
  state.big = big;
  state.absStep = absStep;
  state.relStep = relStep;
  state.stepFactor = stepFactor;
  state.absTol = absTol;
  state.relTol = relTol;
}

void invrStep(invrState& s, int& status, double& x, double fx, bool& qleft, bool& qhi) {
  if (status <= 0) s.stage = invrStart;
  switch (s.stage) {
    case invrStart:
      if (!(s.small <= x && x <= s.big)) stopWithMessage(" SMALL, X, BIG not monotone in INVR");
      s.start = x;
      x = s.small;
      s.stage = invrAtSmall;
      status = 1;
      return;
    case invrAtSmall:
      s.fSmall = fx;
      x = s.big;
      s.stage = invrAtBig;
      status = 1;
      return;
    case invrAtBig: {
      const double fBig = fx;
      s.increasing = fBig > s.fSmall;
      // The answer lies outside the range when the function has one sign at both ends.
      if (s.increasing) {
        if (s.fSmall > 0.0) {
          status = -1;
          qleft = true;
          qhi = false;
          return;
        }
        if (fBig < 0.0) {
          status = -1;
          qleft = false;
          qhi = true;
          return;
        }
      } else {
        if (s.fSmall < 0.0) {
          status = -1;
          qleft = true;
          qhi = true;
          return;
        }
        if (fBig > 0.0) {
          status = -1;
          qleft = false;
          qhi = false;
          return;
        }
      }
      x = s.start;
      s.step = maxDouble(s.absStep, s.relStep * std::fabs(x));
      s.stage = invrAtStart;
      status = 1;
      return;
    }
    case invrAtStart: {
      if (fx == 0.0) {
        status = 0;
        return;
      }
      const bool up = (s.increasing && fx < 0.0) || (!s.increasing && fx > 0.0);
      if (up) {
        s.lower = s.start;
        s.upper = minDouble(s.lower + s.step, s.big);
        x = s.upper;
        s.stage = invrUp;
      } else {
        s.upper = s.start;
        s.lower = maxDouble(s.upper - s.step, s.small);
        x = s.lower;
        s.stage = invrDown;
      }
      status = 1;
      return;
    }
    case invrUp: {
      const bool bracketed = (s.increasing && fx >= 0.0) || (!s.increasing && fx <= 0.0);
      const bool atEnd = s.upper >= s.big;
      if (!bracketed && !atEnd) {
        s.step *= s.stepFactor;
        s.lower = s.upper;
        s.upper = minDouble(s.lower + s.step, s.big);
        x = s.upper;
        status = 1;
        return;
      }
      if (!bracketed) {
        status = -1;
        qleft = false;
        qhi = !s.increasing;
        x = s.big;
        return;
      }
      invrBeginNarrowing(s, status, x);
      return;
    }
    case invrDown: {
      const bool bracketed = (s.increasing && fx <= 0.0) || (!s.increasing && fx >= 0.0);
      const bool atEnd = s.lower <= s.small;
      if (!bracketed && !atEnd) {
        s.step *= s.stepFactor;
        s.upper = s.lower;
        s.lower = maxDouble(s.upper - s.step, s.small);
        x = s.lower;
        status = 1;
        return;
      }
      if (!bracketed) {
        status = -1;
        qleft = true;
        qhi = s.increasing;
        x = s.small;
        return;
      }
      invrBeginNarrowing(s, status, x);
      return;
    }
    case invrNarrow: {
      bool unusedLeft = false, unusedHigh = false;
      zeroFinderStep(s.zero, s.zeroStatus, x, fx, s.zeroLow, s.zeroHigh, unusedLeft,
                     unusedHigh);
      if (s.zeroStatus == 1) {
        status = 1;
        return;
      }
      x = s.zeroLow;
      status = 0;
      return;
    }
  }
}
