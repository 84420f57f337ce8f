// Control points: the checks, a coarse search for the centre and cone, and a least-squares fit
// (Ceres) of what the points determine.
#include <ceres/ceres.h>

#include <Eigen/Dense>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>

#include "engine/reproject.h"
#include "fit/fit_model.h"

namespace Fit {

namespace {

// The parameters of a point fit, in the stored convention of MapInstance.
enum Param { kOffsetX, kOffsetY, kScale, kAspect, kLat, kLon, kParallel2, kParallel1, kParamCount };
using Params = std::array<double, kParamCount>;

constexpr int kLinearCount = 4;      // offsets, scale, aspect
constexpr int kCentreResiduals = 3;  // the centre's two settings and one residual to judge them by
constexpr double kLatitudeLimit = 89.999;
constexpr double kOutlierFactor = 3;
// Below this spread (pixels, across the points' main direction) the points are on one line.
constexpr double kLineWidth = 1.0;
// A nonlinear parameter whose effect on the residuals is this close (relative) to a mix of the
// others' cannot be told apart from them and keeps its value.
constexpr double kDependent = 1e-6;
constexpr int kStarts = 3;  // best grid points refined

std::string Describe(std::size_t index, const ControlPoint& p) {
  char text[160];
  std::snprintf(text, sizeof text, "point %zu (%g %g %g %g)", index + 1, p.column, p.row,
                p.latitude, p.longitude);
  return text;
}

// One evaluation's view of the problem.
struct Model {
  const std::vector<ControlPoint>* points;
  int width, height;
  MapInstance* instance;
  bool shared;

  Params Get() const {
    const MapInstance& m = *instance;
    return {m.offsetX,   m.offsetY,   m.scale,     m.aspect,
            m.centerLat, m.centerLon, m.parallel2, m.parallel1};
  }

  // Sets the instance to `p`; false when the projection refuses the centre or cone.
  bool Set(const Params& p) const {
    MapInstance& m = *instance;
    m.offsetX = p[kOffsetX], m.offsetY = p[kOffsetY], m.scale = p[kScale], m.aspect = p[kAspect];
    if (shared || (m.centerLat == p[kLat] && m.centerLon == p[kLon] &&
                   m.parallel2 == p[kParallel2] && m.parallel1 == p[kParallel1])) {
      return true;
    }
    if (std::fabs(p[kLat]) > kLatitudeLimit || std::fabs(p[kParallel2]) > kLatitudeLimit ||
        std::fabs(p[kParallel1]) > kLatitudeLimit) {
      return false;
    }
    m.centerLat = p[kLat], m.centerLon = p[kLon];
    m.parallel2 = p[kParallel2], m.parallel1 = p[kParallel1];
    return m.Apply() == 0;
  }

  // Shape points of every control point at the instance's centre and cone.
  bool Shapes(std::vector<double>* xs, std::vector<double>* ys) const {
    xs->resize(points->size()), ys->resize(points->size());
    for (std::size_t i = 0; i < points->size(); ++i) {
      const ControlPoint& p = (*points)[i];
      if (!ShapePoint(instance->projection, StoredLatitude(p.latitude), p.longitude, &(*xs)[i],
                      &(*ys)[i])) {
        return false;
      }
    }
    return true;
  }

  // Residuals in pixels, x and y of each point, through the engine's placement.
  bool Residuals(const Params& p, double* out) const {
    std::vector<double> xs, ys;
    if (!Set(p) || !Shapes(&xs, &ys)) return false;
    const Placement place(*instance, width, height);
    for (std::size_t i = 0; i < xs.size(); ++i) {
      const ControlPoint& q = (*points)[i];
      out[2 * i] = place.X(xs[i] + instance->offsetX) + kPixelCentre - q.column;
      out[2 * i + 1] = place.Y(ys[i] + instance->offsetY) + kPixelCentre - q.row;
    }
    return true;
  }

  // The best offsets, scale and aspect for the current centre and cone, none held (two straight
  // line fits); false when the points give no positive scale.
  bool SolveLinear(Params* p, double* rms) const {
    std::vector<double> xs, ys;
    if (!Shapes(&xs, &ys)) return false;
    const auto line = [&](const std::vector<double>& u, bool rows, double* slope, double* intercept,
                          double* squares) {
      const double n = static_cast<double>(u.size());
      double mu = 0, mv = 0;
      for (std::size_t i = 0; i < u.size(); ++i) {
        mu += u[i], mv += (rows ? (*points)[i].row : (*points)[i].column) - kPixelCentre;
      }
      mu /= n, mv /= n;
      double uu = 0, uv = 0, vv = 0;
      for (std::size_t i = 0; i < u.size(); ++i) {
        const double du = u[i] - mu;
        const double dv = (rows ? (*points)[i].row : (*points)[i].column) - kPixelCentre - mv;
        uu += du * du, uv += du * dv, vv += dv * dv;
      }
      if (!(uu > 0)) return false;
      *slope = uv / uu;
      *intercept = mv - *slope * mu;
      *squares = std::max(0.0, vv - uv * uv / uu);
      return *slope > 0;
    };
    Linear l;
    double sx, sy;
    if (!line(xs, false, &l.a, &l.b, &sx) || !line(ys, true, &l.c, &l.d, &sy)) return false;
    SetLinear(l, width, height, instance);
    *rms = std::sqrt((sx + sy) / static_cast<double>(xs.size()));
    const Params fitted = Get();
    std::copy(fitted.begin(), fitted.begin() + kLinearCount, p->begin());
    return true;
  }
};

// Residual block for Ceres: every point at once, so the projection is set up once per evaluation.
struct PointCost {
  const Model* model;
  bool operator()(double const* const* parameters, double* residuals) const {
    Params p;
    std::copy(parameters[0], parameters[0] + kParamCount, p.begin());
    return model->Residuals(p, residuals);
  }
};

// The nonlinear parameters the points may determine, in the order they are searched.
std::vector<int> Candidates(MapInstance& m, std::size_t count, const HeldSettings& held,
                            bool shared) {
  std::vector<int> free;
  // Beyond the linear settings left free, the points must give a residual more than the centre
  // takes: four points when none is held, two when all are (an outline placed the map).
  const int freeLinear = 4 - 2 * held.offset - held.scale - held.aspect;
  if (shared || 2 * static_cast<int>(count) < freeLinear + kCentreResiduals) return free;
  const bool conic = (m.GetFlags() & Projection::MAP_CONIC) != 0;
  if (!held.center) {
    if (!conic) free.push_back(kLat);  // a cone's centre latitude only moves it up or down
    free.push_back(kLon);
  }
  // The first parallel only where the points tell it from the second: an equal-area or
  // equidistant cone has a shape of two parameters, a conformal one of one (Determined drops it).
  if (conic && !held.parallels) free.insert(free.end(), {kParallel2, kParallel1});
  return free;
}

// Grid values a nonlinear parameter is searched over, degrees.
std::vector<double> Grid(int param) {
  std::vector<double> values;
  if (param == kLon) {
    for (double v = -180; v < 180; v += 15) values.push_back(v);
  } else {
    for (double v = -85; v <= 85; v += 10) values.push_back(v);
  }
  return values;
}

struct Start {
  Params p;
  double rms;
};

// Every combination of the grids of `search` (the others at `base`), the linear part solved; the
// best few, ties going to the values nearest `base`.
std::vector<Start> SearchGrid(const Model& model, const Params& base,
                              const std::vector<int>& search) {
  std::vector<Start> starts;
  std::vector<std::vector<double>> grids;
  for (int param : search) {
    grids.push_back(Grid(param));
    grids.back().push_back(base[param]);  // where ties go
  }
  std::vector<std::size_t> index(search.size(), 0);
  for (;;) {
    Params p = base;
    for (std::size_t i = 0; i < search.size(); ++i) p[search[i]] = grids[i][index[i]];
    double rms;
    if (model.Set(p) && model.SolveLinear(&p, &rms)) starts.push_back({p, rms});
    std::size_t i = 0;
    while (i < index.size() && ++index[i] == grids[i].size()) index[i++] = 0;
    if (i == index.size()) break;
  }
  const auto distance = [&](const Start& s) {
    double d = 0;
    for (int param : search) d += std::fabs(s.p[param] - base[param]);
    return d;
  };
  std::sort(starts.begin(), starts.end(), [&](const Start& x, const Start& y) {
    const double tie = 1e-9 + 1e-6 * std::min(x.rms, y.rms);
    if (std::fabs(x.rms - y.rms) > tie) return x.rms < y.rms;
    return distance(x) < distance(y);
  });
  if (starts.size() > kStarts) starts.resize(kStarts);
  return starts;
}

// Drops from `search` the parameters whose effect at `p` is a mix of the linear ones' and those
// kept before them (a cylinder's centre longitude moves it sideways like the x offset).
std::vector<int> Determined(const Model& model, const Params& p, const std::vector<int>& search) {
  const std::size_t rows = 2 * model.points->size();
  const auto column = [&](int param) {
    const double h = param < kLinearCount ? 1e-6 * std::max(1e-3, std::fabs(p[param])) : 1e-4;
    Params plus = p, minus = p;
    plus[param] += h, minus[param] -= h;
    Eigen::VectorXd a(rows), b(rows);
    if (!model.Residuals(plus, a.data()) || !model.Residuals(minus, b.data())) {
      return Eigen::VectorXd(Eigen::VectorXd::Zero(rows));
    }
    return Eigen::VectorXd((a - b) / (2 * h));
  };
  std::vector<Eigen::VectorXd> basis;
  const auto addIfNew = [&](Eigen::VectorXd v) {
    const double norm = v.norm();
    if (!(norm > 0)) return false;
    v /= norm;
    for (const Eigen::VectorXd& e : basis) v -= e.dot(v) * e;
    if (v.norm() < kDependent) return false;
    basis.push_back(v.normalized());
    return true;
  };
  for (int param = 0; param < kLinearCount; ++param) addIfNew(column(param));
  std::vector<int> kept;
  for (int param : search) {
    if (addIfNew(column(param))) kept.push_back(param);
  }
  model.Set(p);
  return kept;
}

// Least squares from `start` over the parameters not held; the final cost in squared pixels.
double Refine(const Model& model, Params* p, const std::vector<int>& fixed) {
  ceres::Problem problem;
  auto* cost =
      new ceres::DynamicNumericDiffCostFunction<PointCost, ceres::CENTRAL>(new PointCost{&model});
  cost->AddParameterBlock(kParamCount);
  cost->SetNumResiduals(static_cast<int>(2 * model.points->size()));
  problem.AddResidualBlock(cost, nullptr, p->data());
  if (fixed.size() == kParamCount) return -1;
  if (!fixed.empty()) {
    problem.SetManifold(p->data(), new ceres::SubsetManifold(kParamCount, fixed));
  }
  problem.SetParameterLowerBound(p->data(), kScale, 1e-9);
  problem.SetParameterLowerBound(p->data(), kAspect, -0.0001 + 1e-9);
  ceres::Solver::Options options;
  options.linear_solver_type = ceres::DENSE_QR;
  options.max_num_iterations = 100;
  options.function_tolerance = 1e-15;
  options.gradient_tolerance = 1e-15;
  options.parameter_tolerance = 1e-14;
  options.logging_type = ceres::SILENT;
  ceres::Solver::Summary summary;
  ceres::Solve(options, &problem, &summary);
  return summary.final_cost;
}

}  // namespace

int CheckPoints(const std::vector<ControlPoint>& points, int width, int height,
                std::string* reason) {
  for (std::size_t i = 0; i < points.size(); ++i) {
    const ControlPoint& p = points[i];
    if (!std::isfinite(p.column) || !std::isfinite(p.row) || !std::isfinite(p.latitude) ||
        !std::isfinite(p.longitude)) {
      *reason = "Not a number in " + Describe(i, p);
      return kBadCoordinate;
    }
    if (std::fabs(p.latitude) > 90 || std::fabs(p.longitude) > 180) {
      *reason = "Latitude beyond ±90° or longitude beyond ±180° in " + Describe(i, p);
      return kBadCoordinate;
    }
    if (p.column < 0 || p.row < 0 || p.column > width || p.row > height) {
      *reason = "Outside the " + std::to_string(width) + " × " + std::to_string(height) +
                " picture: " + Describe(i, p);
      return kPointOutside;
    }
  }
  if (points.size() < 2) {
    *reason = "Too few points: " + std::to_string(points.size()) +
              " given, at least 2 are needed to fit offsets, scale and aspect";
    return kTooFewPoints;
  }
  // The spread across the points' main direction: the smaller root of their covariance.
  double mc = 0, mr = 0;
  for (const ControlPoint& p : points) mc += p.column, mr += p.row;
  mc /= points.size(), mr /= points.size();
  double cc = 0, cr = 0, rr = 0;
  for (const ControlPoint& p : points) {
    cc += (p.column - mc) * (p.column - mc), cr += (p.column - mc) * (p.row - mr);
    rr += (p.row - mr) * (p.row - mr);
  }
  cc /= points.size(), cr /= points.size(), rr /= points.size();
  const double across = 0.5 * (cc + rr) - std::sqrt(0.25 * (cc - rr) * (cc - rr) + cr * cr);
  if (std::sqrt(std::max(0.0, across)) < kLineWidth) {
    *reason = "All points lie on one line of the picture; add points off that line";
    return kCollinearPoints;
  }
  return kFitOk;
}

int FitPoints(const std::vector<ControlPoint>& points, int width, int height, MapInstance* instance,
              const HeldSettings& held, FitResult* result, std::string* reason) {
  if (const int status = CheckPoints(points, width, height, reason)) return status;
  if (!instance->projection && instance->Apply() != 0) {
    *reason = "No projection to fit";
    return kNoFit;
  }
  const bool shared = IsShared(*instance);
  const Model model{&points, width, height, instance, shared};
  const Params given = model.Get();
  std::vector<int> search = Candidates(*instance, points.size(), held, shared);

  std::vector<Start> starts = SearchGrid(model, given, search);
  if (starts.empty()) {
    *reason = std::string(instance->GetName()) + " cannot place these points";
    return kNoFit;
  }
  // Parameters the points cannot determine go back to their given values (the grid may have
  // moved them along with the others), except the longitude, whose grid value places a
  // cylinder's seam.
  const std::vector<int> kept = Determined(model, starts.front().p, search);
  std::vector<int> regrid = kept;
  for (int param : search) {
    if (param == kLon && std::find(kept.begin(), kept.end(), kLon) == kept.end()) {
      regrid.push_back(kLon);
    }
  }
  if (regrid.size() != search.size()) {
    starts = SearchGrid(model, given, regrid);
    if (starts.empty()) {
      *reason = std::string(instance->GetName()) + " cannot place these points";
      return kNoFit;
    }
  }
  search = kept;
  std::vector<int> fixed;
  const auto hold = [&](int param, bool yes) {
    if (yes) fixed.push_back(param);
  };
  hold(kOffsetX, held.offset), hold(kOffsetY, held.offset), hold(kScale, held.scale);
  hold(kAspect, held.aspect);
  for (int param : {kLat, kLon, kParallel2, kParallel1}) {
    hold(param, std::find(search.begin(), search.end(), param) == search.end());
  }

  Params best{};
  double bestCost = -1;
  for (Start& s : starts) {
    for (int param = 0; param < kLinearCount; ++param) {
      if (std::find(fixed.begin(), fixed.end(), param) != fixed.end()) s.p[param] = given[param];
    }
    double cost = Refine(model, &s.p, fixed);
    std::vector<double> r(2 * points.size());
    if (cost < 0)
      cost = model.Residuals(s.p, r.data())
                 ? 0.5 * Eigen::Map<Eigen::VectorXd>(r.data(), r.size()).squaredNorm()
                 : -1;
    if (cost >= 0 && (bestCost < 0 || cost < bestCost)) best = s.p, bestCost = cost;
  }
  if (bestCost < 0 || !model.Set(best)) {
    *reason = std::string(instance->GetName()) + " cannot place these points";
    return kNoFit;
  }
  instance->centerLon = std::remainder(instance->centerLon, 360.0);
  RoundToSingle(instance);
  if (!shared) instance->Apply();
  std::vector<double> r(2 * points.size());
  if (!model.Residuals(model.Get(), r.data())) {
    *reason = std::string(instance->GetName()) + " cannot place these points";
    return kNoFit;
  }
  double squares = 0;
  for (double v : r) squares += v * v;
  result->rms = std::sqrt(squares / points.size());
  result->residuals.clear();
  for (std::size_t i = 0; i < points.size(); ++i) {
    const double dx = r[2 * i], dy = r[2 * i + 1];
    result->residuals.push_back(
        {dx, dy, std::hypot(dx, dy) > kOutlierFactor * result->rms && result->rms > 0});
  }
  result->settings = SettingsOf(*instance);
  RoundToSingle(&result->settings);
  result->name = instance->GetName();
  result->iou = 0;
  return kFitOk;
}

}  // namespace Fit
