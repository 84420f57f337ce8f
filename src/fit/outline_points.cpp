// Control points and the map's outline together: the outline places the map, the points find the
// centre and cone, as long as the two agree.
#include "fit/fit_model.h"

namespace Fit {

namespace {

// The outline places the map only when its fit covers it this closely (a crop, a torn edge or a
// map on a busy background fall short).
constexpr double kTrustedIou = 0.995;
// Noise of a point given by a click, pixels, where too few points are given to measure it: their
// residuals need this many degrees of freedom.
constexpr double kClickNoise = 0.5;
constexpr double kMinFreedom = 4;
// The outline's placement stands when the points' squared residuals grow by no more than this many
// times the noise variance for each of the four settings it fixes (about a 99% bound).
constexpr double kAgreement = 3;

}  // namespace

int FitPointsAndOutline(const std::vector<ControlPoint>& points, int w, int h,
                        const Outline& outline, MapInstance* instance, const HeldSettings& held,
                        FitResult* result, std::string* reason) {
  MapInstance byPoints = *instance;
  FitResult pointsOnly;
  const int status = FitPoints(points, w, h, &byPoints, held, &pointsOnly, reason);
  const bool linearHeld = held.offset && held.scale && held.aspect;
  if (status != kFitOk || outline.area == 0 || outline.width != w || outline.height != h ||
      linearHeld || IsShared(*instance)) {
    if (status == kFitOk) *instance = byPoints, *result = pointsOnly;
    return status;
  }
  // The outline's placement at the centre and cone the points found, then the points' centre and
  // cone at that placement.
  MapInstance placed = byPoints;
  FitResult outlineFit, both;
  std::string why;
  HeldSettings placement = held;
  placement.offset = placement.scale = placement.aspect = true;
  if (FitOutline(outline, &placed, held, &outlineFit, &why) != kFitOk ||
      outlineFit.iou < kTrustedIou ||
      FitPoints(points, w, h, &placed, placement, &both, &why) != kFitOk) {
    *instance = byPoints, *result = pointsOnly;
    return kFitOk;
  }
  const double n = static_cast<double>(points.size());
  const double squaresAlone = n * pointsOnly.rms * pointsOnly.rms;
  const double squaresBoth = n * both.rms * both.rms;
  // The points' scatter from what their own fit leaves (it fits up to six settings), when they are
  // enough to tell it: exact points are then better alone than with the outline.
  const double freedom = 2 * n - 6;
  const double variance =
      freedom >= kMinFreedom ? squaresAlone / freedom : kClickNoise * kClickNoise;
  if (squaresBoth - squaresAlone > kAgreement * 4 * variance) {
    *instance = byPoints, *result = pointsOnly;
    return kFitOk;
  }
  *instance = placed;
  *result = both;
  result->iou = outlineFit.iou;
  return kFitOk;
}

}  // namespace Fit
