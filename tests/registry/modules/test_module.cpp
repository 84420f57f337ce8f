// A configurable projection module for the module-loading tests: each build picks its type code,
// its name and which exports it has (TEST_CODE, TEST_NAME, TEST_NO_CLASS, TEST_NO_EXPORTS,
// TEST_NULL_FACTORY), and how it misbehaves: TEST_THROWS (Init, Forward and Inverse throw),
// TEST_FACTORY_THROWS, TEST_NULL_LATER (only the first object is made).
#include <new>
#include <stdexcept>

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
#ifdef TEST_THROWS
    throw std::runtime_error("Forward");
#endif
    *x = longitude + offsetX;
    *y = latitude + offsetY;
    return 0;
  }
#ifdef TEST_THROWS
  int Init(double, double, double, double, double, double, double, double) override {
    throw std::runtime_error("Init");
  }
  int Inverse(double, double, double*, double*) override { throw std::runtime_error("Inverse"); }
#endif
};

}  // namespace

#ifndef TEST_NO_EXPORTS
KARTOVEL_MODULE_EXPORT Projection::MapProject* CreateProjection() {
#if defined(TEST_NULL_FACTORY)
  return nullptr;
#elif defined(TEST_FACTORY_THROWS)
  throw std::bad_alloc();
#elif defined(TEST_NULL_LATER)
  static int made = 0;
  return made++ == 0 ? new (std::nothrow) TestProjection : nullptr;
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
