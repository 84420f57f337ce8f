// MapInstance: selection of a projection from the registry and its parameters.
#include "registry/map_instance.h"

#include <cmath>

#include "registry/projection_registry.h"

using Projection::kDegToRad;

namespace {

constexpr int kFallbackCode = 2;
constexpr double kLatitudeLimit = 89.9990005493164;  // 89.999 in single precision
// Beyond this many degrees, stepping by 360 is replaced by a remainder: a step would be lost in
// rounding (1e20) or take too long. Below it, values wrap by the exact steps users expect.
constexpr double kStepWrapLimit = 360.0 * 64;

double WrapDegrees(double value) {
  if (!std::isfinite(value)) return 0;
  if (std::fabs(value) > kStepWrapLimit) value = std::fmod(value, 360.0);
  while (value > 180) value -= 360;
  while (value < -180) value += 360;
  return value;
}

}  // namespace

MapInstance::MapInstance() { Select(kFallbackCode); }

MapInstance::MapInstance(const MapInstance& other) {
  CopyParameters(other);
  if (other.projection) Select(typeCode);
}

MapInstance& MapInstance::operator=(const MapInstance& other) {
  if (this == &other) return *this;
  Release();
  CopyParameters(other);
  if (other.projection) Select(typeCode);
  return *this;
}

MapInstance::~MapInstance() { Release(); }

void MapInstance::CopyParameters(const MapInstance& other) {
  scale = other.scale;
  aspect = other.aspect;
  unitFactor = other.unitFactor;
  centerLat = other.centerLat;
  centerLon = other.centerLon;
  offsetX = other.offsetX;
  offsetY = other.offsetY;
  parallel1 = other.parallel1;
  parallel2 = other.parallel2;
  typeCode = other.typeCode;
}

int MapInstance::Select(int code) {
  ProjectionRegistry& registry = GetProjectionRegistry();
  Release();
  int result = 0;
  Projection::MapProject* object = registry.Create(code);
  if (!object) {
    code = kFallbackCode;
    object = registry.Create(kFallbackCode);
    result = -1;
  }
  projection = object;
  typeCode = code;
  if (projection) InitProjection();  // none only before the registry is loaded
  return result;
}

int MapInstance::SelectByName(const std::string& name) {
  ProjectionRegistry& registry = GetProjectionRegistry();
  Release();
  Projection::MapProject* object = registry.CreateByName(name);
  if (!object) {
    Select(kFallbackCode);
    return -1;
  }
  projection = object;
  typeCode = object->GetTypeCode();
  Apply();
  return 0;
}

void MapInstance::Release() {
  if (!projection) return;
  GetProjectionRegistry().Release(projection);
  projection = nullptr;
}

Projection::MapProject* MapInstance::Held() {
  if (!projection) Select(typeCode);
  return projection;
}

int MapInstance::InitProjection() {
  const int result =
      projection->Init(centerLat * kDegToRad, centerLon * kDegToRad, offsetY, offsetX, 1.0, 1.0,
                       parallel1 * kDegToRad, parallel2 * kDegToRad);
  unitFactor = 1.0 / projection->GetUnitScale();
  return result;
}

int MapInstance::Apply() {
  if (!projection) Select(typeCode);
  return projection ? InitProjection() : -1;
}

int MapInstance::SetCenter(double latitude, double longitude) {
  latitude = WrapDegrees(latitude);
  longitude = WrapDegrees(longitude);
  if (latitude > 90) latitude = 180 - latitude;
  if (latitude < -90) latitude = -180 - latitude;
  if (latitude > kLatitudeLimit) latitude = kLatitudeLimit;
  if (latitude < -kLatitudeLimit) latitude = -kLatitudeLimit;
  centerLat = latitude;
  centerLon = longitude;
  Apply();
  return 0;
}

void MapInstance::GetCenter(double* latitude, double* longitude) const {
  *latitude = centerLat;
  *longitude = centerLon;
}

int MapInstance::SetOffset(double x, double y) {
  if (x == 0) x = kZeroOffsetX;
  if (Held()) InitProjection();  // unitFactor of the held projection, before converting
  offsetX = unitFactor * x;
  offsetY = unitFactor * y;
  Apply();
  return 0;
}

void MapInstance::GetOffset(double* x, double* y) const {
  *x = offsetX / unitFactor;
  *y = offsetY / unitFactor;
}

int MapInstance::SetParallels(double first, double second) {
  parallel1 = first;
  parallel2 = second;
  return Apply();
}

void MapInstance::GetParallels(double* first, double* second) const {
  *first = parallel1;
  *second = parallel2;
}

int MapInstance::SetScale(double value) {
  scale = value;
  Apply();
  return 0;
}

int MapInstance::SetAspect(double value) {
  aspect = value;
  Apply();
  return 0;
}

void MapInstance::GetAxes(double* horizontal, double* vertical) const {
  *horizontal = scale;
  *vertical = scale / (aspect + 0.0001);
}

std::int32_t MapInstance::GetTypeCode() {
  Projection::MapProject* p = Held();
  return p ? p->GetTypeCode() : typeCode;
}

const char* MapInstance::GetName() {
  Projection::MapProject* p = Held();
  return p ? p->GetName() : "";
}

std::int32_t MapInstance::GetFlags() {
  Projection::MapProject* p = Held();
  return p ? p->GetFlags() : 0;
}
