// What the built-in world maps share: the fixed latitude window, the unit scale 1/pi and the
// frame [-pi, pi] x [-pi/2, pi/2] in map units.
#ifndef KARTOVEL_PROJECTION_WORLD_FRAME_H_
#define KARTOVEL_PROJECTION_WORLD_FRAME_H_

#include "projection/map_project.h"

namespace Projection {

// Base of the classes whose latitude window is always the whole globe, whatever the centre. Its
// Init is the common step with that window and never rejects; a class with constants of its own
// overrides Init and does the same two steps first.
class FixedWindowProjection : public MapProject {
 public:
  int Init(double centerLatitude, double centerLongitude, double yOffset, double xOffset, double a,
           double b, double, double) override {
    CommonInit(centerLatitude, centerLongitude, yOffset, xOffset, a, b);
    FixedLatitudeWindow();
    return 0;
  }
};

inline constexpr double kInvPi = 0.3183098861837907;  // 1 / pi

inline void WorldFrame(double* left, double* top, double* right, double* bottom) {
  *left = -kPi;
  *top = kHalfPi;
  *right = kPi;
  *bottom = -kHalfPi;
}

// The frame of the classes with unit scale 4/11: 2.75 by 1.375 map units either side.
inline void ElevenQuarterFrame(double* left, double* top, double* right, double* bottom) {
  *left = -2.75;
  *top = 1.375;
  *right = 2.75;
  *bottom = -1.375;
}

inline constexpr double kFourElevenths = 0.36363636363636365;  // 4 / 11

}  // namespace Projection

#endif  // KARTOVEL_PROJECTION_WORLD_FRAME_H_
