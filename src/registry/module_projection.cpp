// ModuleProjection: each call into a module's object, with its exceptions caught at the boundary.
#include "registry/module_projection.h"

#include <new>

namespace {

// The result of `call`, or `failed` when it throws.
template <typename Call, typename Result>
Result Guarded(Call call, Result failed) {
  try {
    return call();
  } catch (...) {
    return failed;
  }
}

}  // namespace

Projection::MapProject* ModuleProjection::Create(Projection::ProjectionFactory factory) {
  MapProject* object = Guarded([&] { return factory(); }, static_cast<MapProject*>(nullptr));
  if (!object) return nullptr;
  auto* adapter = new (std::nothrow) ModuleProjection(object);
  if (!adapter) delete object;
  return adapter;
}

ModuleProjection::~ModuleProjection() { delete object_; }

const char* ModuleProjection::GetName() const {
  return Guarded([&] { return object_->GetName(); }, "");
}

std::int32_t ModuleProjection::GetFlags() const {
  return Guarded([&] { return object_->GetFlags(); }, std::int32_t{0});
}

std::int32_t ModuleProjection::GetTypeCode() const {
  return Guarded([&] { return object_->GetTypeCode(); }, std::int32_t{-1});
}

void ModuleProjection::CopyState() {
  const MapProject& o = *object_;
  centerLon = o.centerLon, centerLat = o.centerLat, offsetY = o.offsetY, offsetX = o.offsetX;
  sinCenterLat = o.sinCenterLat, cosCenterLat = o.cosCenterLat, axisA = o.axisA, axisB = o.axisB;
  c = o.c, es = o.es, e = o.e, e0 = o.e0, e1 = o.e1, e2 = o.e2, e3 = o.e3, rho0 = o.rho0;
  ns = o.ns, g = o.g, ml0 = o.ml0, epsilon = o.epsilon;
  lonMin = o.lonMin, lonMax = o.lonMax, latMax = o.latMax, latMin = o.latMin;
}

int ModuleProjection::Init(double centerLatitude, double centerLongitude, double yOffset,
                           double xOffset, double a, double b, double parallel1, double parallel2) {
  const int result = Guarded(
      [&] {
        return object_->Init(centerLatitude, centerLongitude, yOffset, xOffset, a, b, parallel1,
                             parallel2);
      },
      -1);
  CopyState();
  return result;
}

int ModuleProjection::Inverse(double x, double y, double* latitude, double* longitude) {
  return Guarded([&] { return object_->Inverse(x, y, latitude, longitude); }, -1);
}

int ModuleProjection::Forward(double latitude, double longitude, double* x, double* y) {
  return Guarded([&] { return object_->Forward(latitude, longitude, x, y); }, -1);
}

double ModuleProjection::GetUnitScale() const {
  return Guarded([&] { return object_->GetUnitScale(); }, 1.0);
}

void ModuleProjection::GetBounds(double* left, double* top, double* right, double* bottom) const {
  const bool answered = Guarded(
      [&] {
        object_->GetBounds(left, top, right, bottom);
        return true;
      },
      false);
  if (!answered) MapProject::GetBounds(left, top, right, bottom);
}

std::string ModuleProjection::GetDescription() const {
  return Guarded([&] { return object_->GetDescription(); }, std::string());
}
