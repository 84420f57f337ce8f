// The placement model shared by the fits: a projection's shape (its map units without the
// offsets) and the axis-aligned linear map that the engine's Placement makes of offsets, scale and
// aspect.
#ifndef KARTOVEL_FIT_FIT_MODEL_H_
#define KARTOVEL_FIT_FIT_MODEL_H_

#include <array>
#include <vector>

#include "fit/fit.h"

namespace Fit {

// Engine pixels (pixel i's centre at i) of a shape point (xs, ys): (a xs + b, c ys + d). The same
// numbers as Placement::X and Y of the instance whose offsets are added to the shape point.
struct Linear {
  double a = 1, b = 0, c = 1, d = 0;
};

// Offset of a column or row number given by users (top-left pixel's centre at 0.5) to the engine.
inline constexpr double kPixelCentre = 0.5;

Linear LinearOf(const MapInstance& instance, int width, int height);

// Writes scale, aspect and offsets of `instance` so that LinearOf gives `linear` back; the fields
// only, the projection is not re-initialised.
void SetLinear(const Linear& linear, int width, int height, MapInstance* instance);

// Rounds centre, offsets, scale and aspect to single precision, as the settings edits and the
// command line read them, so that the fit is judged by what a user can type back.
void RoundToSingle(MapInstance* instance);
void RoundToSingle(MapSettings* settings);

// The projection's map units of a place without the offsets it was initialised with. `latitude`
// in the stored convention, degrees. False where the projection has no point.
bool ShapePoint(Projection::MapProject* projection, double latitude, double longitude, double* xs,
                double* ys);

// Whether a shape point lies on the map as RenderProjection decides it: the inverse finds a place
// whose image comes back to within `tolerance` map units.
bool ShapeInside(Projection::MapProject* projection, double xs, double ys, double tolerance);

// The projection's shape as the x extents of its rows: what ShapeInside answers, read from a table
// for the many points of a fit. The table holds, on lines of constant y one step apart, the x where
// ShapeInside changes; a point between two lines that agree on it takes their answer, any other
// point (the lines disagree, or it lies beyond the table) is tried with ShapeInside. The answers
// then differ from ShapeInside's only where the outline bulges between two lines (by about the
// step's square over eight times its radius of curvature) or for a piece that no line crosses.
// Map units without the offsets, as ShapeInside. The projection must outlive the table and stay
// as it was.
class ShapeRows {
 public:
  // Lines `step` apart across `box` (left, top, right, bottom, top < bottom), searched for changes
  // on kProbes points each and on the midpoints of the neighbouring lines' pieces, which follows
  // a piece narrower than the probes' spacing (towards a pointed pole, say) to its end.
  ShapeRows(Projection::MapProject* projection, const std::array<double, 4>& box, double step,
            double tolerance);

  bool Inside(double xs, double ys) const;

 private:
  static constexpr int kProbes = 64;
  struct Line {
    bool startInside = false;     // left of the first change
    std::vector<double> changes;  // ascending
    bool At(double x) const;
  };
  // The changes of a line from probes (x ascending) and their answers.
  void Settle(double y, const std::vector<std::pair<double, bool>>& probes, Line* line) const;

  Projection::MapProject* projection_;
  double tolerance_, left_, right_, top_, step_;
  std::vector<Line> lines_;
};

// Whether `instance` holds a composite, whose shared object the fits must not initialise.
bool IsShared(MapInstance& instance);

}  // namespace Fit

#endif  // KARTOVEL_FIT_FIT_MODEL_H_
