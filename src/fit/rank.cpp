// "Which projection is this?": every registered type fitted and ranked.
#include <algorithm>

#include "fit/fit_model.h"
#include "registry/projection_registry.h"

namespace Fit {

std::vector<MapInstance> Candidates(const MapInstance& start) {
  const ProjectionRegistry& registry = GetProjectionRegistry();
  double x, y;
  start.GetOffset(&x, &y);
  std::vector<MapInstance> candidates;
  for (int code = registry.First(); code != ProjectionRegistry::kEnd; code = registry.Next(code)) {
    candidates.push_back(start);
    MapInstance& m = candidates.back();
    if (m.Select(code) != 0) {
      candidates.pop_back();
      continue;
    }
    m.SetOffset(x, y);  // user units: the map units differ between types
  }
  return candidates;
}

int Rank(std::vector<MapInstance>* candidates, const std::vector<ControlPoint>& points, int width,
         int height, const Outline& outline, const HeldSettings& held,
         std::vector<FitResult>* ranked, std::string* reason, const std::atomic<bool>* cancel) {
  ranked->clear();
  const bool byPoints = !points.empty();
  if (byPoints) {
    if (const int status = CheckPoints(points, width, height, reason)) return status;
  } else if (outline.area == 0) {
    *reason = "No map outline found";
    return kNoOutline;
  }
  for (MapInstance& candidate : *candidates) {
    if (cancel && *cancel) {
      *reason = "Cancelled";
      return kCancelled;
    }
    FitResult result;
    std::string why;
    const int status = byPoints ? FitPoints(points, width, height, &candidate, held, &result, &why)
                                : FitOutline(outline, &candidate, held, &result, &why, cancel);
    if (status == kCancelled) {
      *reason = why;
      return kCancelled;
    }
    if (status == kFitOk) ranked->push_back(std::move(result));
  }
  if (ranked->empty()) {
    *reason = byPoints ? "No projection can place these points" : "No projection fits the outline";
    return kNoFit;
  }
  std::stable_sort(ranked->begin(), ranked->end(),
                   [byPoints](const FitResult& a, const FitResult& b) {
                     return byPoints ? a.rms < b.rms : a.iou > b.iou;
                   });
  return kFitOk;
}

}  // namespace Fit
