// Bounded root finding for the projections whose forward or inverse has no closed form.
#ifndef KARTOVEL_PROJECTION_ROOT_FINDING_H_
#define KARTOVEL_PROJECTION_ROOT_FINDING_H_

#include <cmath>

namespace Projection {

// Root of f on [lo, hi] (lo < hi) where f(lo) and f(hi) differ in sign: Newton steps from `start`,
// kept inside a bracket that shrinks with every evaluation, and a bisection whenever a step would
// leave it (flat slopes, double roots). `f(t, &value, &slope)` gives f(t) and f'(t). Stops when a
// step is below `tolerance` or after `maxSteps` evaluations; false then (or when f has the same
// sign at both ends or is not finite), and *root is the last estimate.
template <class F>
bool SolveInBracket(const F& f, double lo, double hi, double start, double tolerance, int maxSteps,
                    double* root) {
  double value, slope;
  f(lo, &value, &slope);
  const bool risingFromLo = value < 0;  // the negative side of the bracket is lo
  f(hi, &value, &slope);
  if (!(risingFromLo ? value >= 0 : value <= 0)) {
    *root = start;
    return false;
  }
  double t = start > lo && start < hi ? start : 0.5 * (lo + hi);
  for (int step = 0; step < maxSteps; ++step) {
    f(t, &value, &slope);
    if (value == 0) break;
    if (!std::isfinite(value)) break;
    if ((value < 0) == risingFromLo) {
      lo = t;
    } else {
      hi = t;
    }
    double next = slope != 0 ? t - value / slope : 0.5 * (lo + hi);
    if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
    const double change = std::fabs(next - t);
    t = next;
    if (change < tolerance) {
      *root = t;
      return true;
    }
  }
  *root = t;
  return value == 0;
}

}  // namespace Projection

#endif  // KARTOVEL_PROJECTION_ROOT_FINDING_H_
