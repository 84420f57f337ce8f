// PROJ wrapper for the differential projection tests.
#include "projection/proj_oracle.h"

#include <proj.h>

#include <cmath>

namespace oracle {

ProjOracle::ProjOracle(const std::string& definition) {
  pj_ = proj_create(PJ_DEFAULT_CTX, definition.c_str());
}

ProjOracle::~ProjOracle() {
  if (pj_) proj_destroy(pj_);
}

bool ProjOracle::Forward(double latitude, double longitude, double* x, double* y) const {
  PJ_COORD in = proj_coord(longitude, latitude, 0, 0);
  proj_errno_reset(pj_);
  PJ_COORD out = proj_trans(pj_, PJ_FWD, in);
  if (proj_errno(pj_) != 0 || !std::isfinite(out.xy.x) || !std::isfinite(out.xy.y) ||
      out.xy.x == HUGE_VAL) {
    return false;
  }
  *x = out.xy.x;
  *y = out.xy.y;
  return true;
}

}  // namespace oracle
