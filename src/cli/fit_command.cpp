// --fit IMAGE: the settings of a map picture from its outline or control points, and --rank.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "fit/fit.h"
#include "fit/points_file.h"

namespace {

Fit::HeldSettings Held(const Settings& s) {
  Fit::HeldSettings held;
  held.center = s.given.count("--center"), held.offset = s.given.count("--offset");
  held.scale = s.given.count("--scale"), held.aspect = s.given.count("--aspect");
  held.parallels = s.given.count("--parallels");
  return held;
}

// Bad points are the command line's fault; an outline or fit that is not there is the work's.
int ExitCode(int status) {
  switch (status) {
    case Fit::kNoOutline:
    case Fit::kNoFit:
    case Fit::kCancelled:
      return kFailed;
    default:
      return kBadUsage;
  }
}

void PrintFit(const Fit::FitResult& r, const std::vector<Fit::ControlPoint>& points) {
  std::printf("%s\n", SettingsOptionsLine(r.settings).c_str());
  if (points.empty()) {
    std::printf("outline IoU %.4f\n", r.iou);
    return;
  }
  std::printf("rms %.3f px, %zu points\n", r.rms, points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    const Fit::PointResidual& d = r.residuals[i];
    std::printf("%g %g %.3f %.3f%s\n", points[i].column, points[i].row, d.dx, d.dy,
                d.outlier ? " outlier" : "");
  }
}

}  // namespace

int FitCommand(const Settings& s) {
  int code = 2;
  if (s.given.count("--projection") && (code = FindProjection(s.projection)) < 0) {
    return Fail(kBadUsage, "Unknown projection " + s.projection + " (kartovel-convert --list)");
  }
  MapInstance start;
  if (const int refused = SetUpInstance(s, code, &start)) return refused;

  std::vector<Fit::ControlPoint> points;
  std::string reason;
  if (!s.pointsFile.empty()) {
    if (Fit::ReadPointsFile(s.pointsFile, &points, &reason) != Fit::kFitOk) {
      return Fail(kBadUsage, reason);
    }
    if (points.empty()) return Fail(kBadUsage, "No points in " + s.pointsFile);
  }
  points.insert(points.end(), s.points.begin(), s.points.end());
  VideoBuffer picture;
  if (picture.Load(s.fit) != 0 || !picture.HasStorage()) {
    return Fail(kFailed, "Unable to read image file " + s.fit);
  }
  if (const int status = points.empty()
                             ? Fit::kFitOk
                             : Fit::CheckPoints(points, picture.width, picture.height, &reason)) {
    return Fail(ExitCode(status), reason);
  }
  Fit::Outline outline;
  const bool single = s.given.count("--projection") && !s.rank;
  if (points.empty()) {
    if (const int status = Fit::DetectOutline(picture, &outline, &reason)) {
      return Fail(ExitCode(status), reason);
    }
  } else if (single && Fit::DetectOutline(picture, &outline, &reason) != Fit::kFitOk) {
    outline = Fit::Outline{};  // the points alone, then
  }

  const Fit::HeldSettings held = Held(s);
  if (single) {
    Fit::FitResult result;
    const int status =
        points.empty() ? Fit::FitOutline(outline, &start, held, &result, &reason)
                       : Fit::FitPointsAndOutline(points, picture.width, picture.height, outline,
                                                  &start, held, &result, &reason);
    if (status != Fit::kFitOk) return Fail(ExitCode(status), reason);
    PrintFit(result, points);
    return 0;
  }
  std::vector<MapInstance> candidates = Fit::Candidates(start);
  std::vector<Fit::FitResult> ranked;
  if (const int status = Fit::Rank(&candidates, points, picture.width, picture.height, outline,
                                   held, &ranked, &reason)) {
    return Fail(ExitCode(status), reason);
  }
  if (!s.rank) {
    PrintFit(ranked.front(), points);
    return 0;
  }
  for (const Fit::FitResult& r : ranked) {
    std::printf("%d\t%s\t%.*f\t%s\n", r.settings.typeCode, r.name.c_str(), points.empty() ? 4 : 3,
                points.empty() ? r.iou : r.rms, SettingsOptionsLine(r.settings).c_str());
  }
  return 0;
}
