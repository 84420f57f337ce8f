// The thin adapter through which every object of a projection module is used.
//
// All calls into module code go through here: a C++ exception it throws becomes the failure of
// that one call, and nothing else in the program looks at a module's own object (no dynamic_cast
// on a class built without RTTI, no unwinding through the engine's threads).
#ifndef KARTOVEL_REGISTRY_MODULE_PROJECTION_H_
#define KARTOVEL_REGISTRY_MODULE_PROJECTION_H_

#include "projection/map_project.h"

class ModuleProjection : public Projection::MapProject {
 public:
  // A new adapter around a new object of `factory`; null when the factory returns null or throws,
  // or memory runs out.
  static MapProject* Create(Projection::ProjectionFactory factory);
  // Destroys the module's object (through its own destructor, in the module).
  ~ModuleProjection() override;

  // Failures of the module's answers: "" for the name, 0 for the flags, -1 for the type code (a
  // code the registry refuses), -1 for Init, Forward and Inverse, 1 for the unit scale, the
  // default bounds, an empty description.
  const char* GetName() const override;
  std::int32_t GetFlags() const override;
  std::int32_t GetTypeCode() const override;
  int Init(double centerLatitude, double centerLongitude, double yOffset, double xOffset, double a,
           double b, double parallel1, double parallel2) override;
  int Inverse(double x, double y, double* latitude, double* longitude) override;
  int Forward(double latitude, double longitude, double* x, double* y) override;
  double GetUnitScale() const override;
  void GetBounds(double* left, double* top, double* right, double* bottom) const override;
  std::string GetDescription() const override;

 private:
  explicit ModuleProjection(MapProject* object) : object_(object) { CopyState(); }
  // The shared state fields of the module's object, which callers may read on the adapter.
  void CopyState();
  MapProject* object_;
};

#endif  // KARTOVEL_REGISTRY_MODULE_PROJECTION_H_
