// Differential testing against the PROJ library: the same projection computed independently.
#ifndef KARTOVEL_TESTS_PROJECTION_PROJ_ORACLE_H_
#define KARTOVEL_TESTS_PROJECTION_PROJ_ORACLE_H_

#include <memory>
#include <string>

struct PJconsts;

namespace oracle {

// One PROJ transformation from geographic radians to projected units.
class ProjOracle {
 public:
  explicit ProjOracle(const std::string& definition);
  ~ProjOracle();
  bool valid() const { return pj_ != nullptr; }
  // false when PROJ has no image of the point.
  bool Forward(double latitude, double longitude, double* x, double* y) const;

 private:
  PJconsts* pj_ = nullptr;
};

}  // namespace oracle

#endif  // KARTOVEL_TESTS_PROJECTION_PROJ_ORACLE_H_
