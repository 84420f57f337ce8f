// Fitting a map picture to a projection: the map's outline, control points, and the ranking of
// every registered type by how well it fits.
//
// Pictures are measured as the engine places maps on them (Placement in engine/reproject.h):
// fitted settings reproduce the placement in a conversion. Control points and results are in the
// north-positive convention of MapSettings; column and row count pixels from the picture's
// top-left corner, so the top-left pixel's centre is (0.5, 0.5).
//
// Threads: Candidates() creates projections through the registry and belongs to the registry's
// thread. The fits only initialise the projections of the instances they are given, and never
// initialise a composite (its object is shared with every instance of its type), so they may run
// on a worker thread while the registry's thread leaves those instances alone.
#ifndef KARTOVEL_FIT_FIT_H_
#define KARTOVEL_FIT_FIT_H_

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "image/video_buffer.h"
#include "registry/map_instance.h"
#include "registry/map_settings.h"

namespace Fit {

// Results of the fitting functions; each failure comes with a reason for the user.
enum FitStatus : int {
  kFitOk = 0,
  kNoOutline = 1,        // the picture has no detectable map outline
  kTooFewPoints = 2,     // fewer points than the settings to fit need
  kCollinearPoints = 3,  // the points lie on one line of the picture
  kPointOutside = 4,     // a point lies outside the picture
  kBadCoordinate = 5,    // a coordinate is not a number or out of range
  kNoFit = 6,            // the projection cannot place the points (none visible, say)
  kCancelled = 7,
};

// Settings the user fixed: the fit keeps them as the instance holds them.
struct HeldSettings {
  bool center = false, offset = false, scale = false, aspect = false, parallels = false;
};

// The map's region in a picture: 1 where the map is, row-major from the top-left pixel.
struct Outline {
  int width = 0, height = 0;
  std::vector<std::uint8_t> inside;
  long long area = 0;  // pixels inside
};

// Finds the map in `picture`: the largest connected region that is not background, its holes
// filled. Background is the transparent pixels when the picture has any, otherwise the
// near-uniform colour (JPEG noise tolerated) that dominates the picture's rim, unless it runs
// along two opposite sides only (polar ice); inside a rectangle that background leaves, a black or
// white second layer (a page's margin around a map drawn on black). Lines, titles and legends apart from the
// map are left out. Without a background the map fills the picture. kNoOutline when nothing
// map-like is found.
int DetectOutline(const VideoBuffer& picture, Outline* outline, std::string* reason);

// A control point: where a place is in the picture and where it is on the globe.
struct ControlPoint {
  double column = 0, row = 0;          // pixels, top-left pixel centre at 0.5, 0.5
  double latitude = 0, longitude = 0;  // degrees, north and east positive
};

struct PointResidual {
  double dx = 0, dy = 0;  // fitted minus given position, pixels (x right, y down)
  bool outlier = false;   // beyond 3 x the RMS
};

struct FitResult {
  MapSettings settings;  // the fitted settings, single precision as the settings edits hold them
  std::string name;      // the projection's name
  double rms = 0;        // pixels, over the points (point fits)
  double iou = 0;        // intersection over union of the outlines (outline fits)
  std::vector<PointResidual> residuals;  // one per point, in their order (point fits)
};

// Checks points against a width x height picture: numbers, ranges, inside the picture, not all on
// one line. kFitOk, or the failure with the point named in `reason`.
int CheckPoints(const std::vector<ControlPoint>& points, int width, int height,
                std::string* reason);

// Fits offsets, scale and aspect (those not held) of `instance` so that the projection's own
// outline, at the instance's centre and parallels, matches `outline`. Afterwards `instance` holds
// the fitted parameters (its projection is not re-initialised with them: apply result->settings
// to the instance that is shown). After a failure it may hold trial values: fit a copy of the
// instance the user sees, so that a failure changes nothing.
int FitOutline(const Outline& outline, MapInstance* instance, const HeldSettings& held,
               FitResult* result, std::string* reason, const std::atomic<bool>* cancel = nullptr);

// Least-squares fit of the settings of `instance` to `points` on a width x height picture. Two or
// three points fit offsets, scale and aspect; from four on (from two when offsets, scale and
// aspect are held), the centre too, and for a conic the
// second standard parallel (the centre latitude held: it only moves the cone), and the first where
// the points tell it from the second (not for the conformal cone, whose shape has one parameter).
// Held settings stay; settings the points cannot tell apart from others keep their values.
// `instance` ends as for FitOutline.
int FitPoints(const std::vector<ControlPoint>& points, int width, int height, MapInstance* instance,
              const HeldSettings& held, FitResult* result, std::string* reason);

// Control points and the map's outline together, where the outline helps: it places the map
// (offsets, scale and aspect) to a fraction of a pixel, and the points then fit the centre and
// cone, so that two or three points find a globe's centre. The outline is used only when its fit
// matches it closely and the points agree with the placement it gives (their residuals grow no
// more than noise explains); otherwise this is FitPoints. `result->iou` is the outline's IoU when
// it was used, 0 otherwise. An empty outline (no area) is not used. `instance` ends as for
// FitPoints.
int FitPointsAndOutline(const std::vector<ControlPoint>& points, int width, int height,
                        const Outline& outline, MapInstance* instance, const HeldSettings& held,
                        FitResult* result, std::string* reason);

// One instance of every registered type (ascending code) with the settings of `start` and its
// parallels; on the registry's thread.
std::vector<MapInstance> Candidates(const MapInstance& start);

// Fits every candidate to the points on a width x height picture, or to `outline` when there are
// no points, and returns the fits best first: lowest RMS, or highest IoU. Types that cannot be
// fitted are left out. kFitOk with at least one fit; otherwise the failure (bad points, no
// outline, nothing fits) with its reason.
int Rank(std::vector<MapInstance>* candidates, const std::vector<ControlPoint>& points, int width,
         int height, const Outline& outline, const HeldSettings& held,
         std::vector<FitResult>* ranked, std::string* reason,
         const std::atomic<bool>* cancel = nullptr);

}  // namespace Fit

#endif  // KARTOVEL_FIT_FIT_H_
