// A configurable projection module for the module-loading tests: each build picks its type code,
// its name and which exports it has (TEST_CODE, TEST_NAME, TEST_NO_CLASS, TEST_NO_EXPORTS,
// TEST_NULL_FACTORY).
#include <new>

#include "projection/map_project.h"

namespace {

int destroyed = 0;

class TestProjection : public Projection::MapProject {
 public:
  ~TestProjection() override { ++destroyed; }
  const char* GetName() const override { return TEST_NAME; }
  std::int32_t GetFlags() const override { return Projection::MAP_CYLINDRICAL; }
  std::int32_t GetTypeCode() const override { return TEST_CODE; }
  int Forward(double latitude, double longitude, double* x, double* y) override {
    *x = longitude + offsetX;
    *y = latitude + offsetY;
    return 0;
  }
};

}  // namespace

#ifndef TEST_NO_EXPORTS
KARTOVEL_MODULE_EXPORT Projection::MapProject* CreateProjection() {
#ifdef TEST_NULL_FACTORY
  return nullptr;
#else
  return new (std::nothrow) TestProjection;
#endif
}

#ifndef TEST_NO_CLASS
KARTOVEL_MODULE_EXPORT const char* ClassProjection() { return "TestProjection"; }
#endif
#endif

// How many objects of this module have been destroyed.
KARTOVEL_MODULE_EXPORT int DestroyedCount() { return destroyed; }
