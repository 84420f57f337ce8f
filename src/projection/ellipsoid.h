// Functions of the ellipsoid shared by the projection classes: conformal and authalic latitudes,
// parallel radius and the meridian distance series. e is the eccentricity, es = e * e.
//
// The iterating functions take an optional code pointer: they set it to 0 on entry and, when they
// do not converge, to their own failure code, returning 0.0.
#ifndef KARTOVEL_PROJECTION_ELLIPSOID_H_
#define KARTOVEL_PROJECTION_ELLIPSOID_H_

namespace Projection {

// Meridian series coefficients e0..e3 of MeridianDistance.
struct MeridianSeries {
  double e0, e1, e2, e3;
};

// t = tan((pi/2 - phi) / 2) * ((1 - e sin phi) / (1 + e sin phi))^(-e/2).
double ConformalT(double e, double phi, double sinPhi);

// Inverse of ConformalT; at most 16 iterations, failure code 2.
double LatitudeFromConformalT(double e, double t, int* code = nullptr);

// q = (1 - es) (sin phi / (1 - es sin^2 phi) - 1/(2e) ln((1 - e sin phi) / (1 + e sin phi))).
double AuthalicQ(double e, double sinPhi);

// Inverse of AuthalicQ; returns the first guess when e < epsilon; at most 25 iterations, failure
// code 1.
double LatitudeFromAuthalicQ(double e, double q, double epsilon, int* code = nullptr);

// cos phi / sqrt(1 - (e sin phi)^2).
double ParallelRadius(double e, double sinPhi, double cosPhi);

// Coefficients of the meridian distance series for the eccentricity squared es; es = 0 gives the
// sphere (e0 = 1, the others 0).
MeridianSeries MeridianCoefficients(double es);

// e0 phi - e1 sin 2phi + e2 sin 4phi - e3 sin 6phi: the meridian arc from the equator to phi
// (radians), in units of the semi-major axis.
double MeridianDistance(const MeridianSeries& s, double phi);

// Inverse of MeridianDistance; at most 15 iterations, failure code 3.
double LatitudeFromMeridianDistance(double m, const MeridianSeries& s, int* code = nullptr);

// sqrt((1 + e)^(1 + e) (1 - e)^(1 - e)).
double PolarFactor(double e);

}  // namespace Projection

#endif  // KARTOVEL_PROJECTION_ELLIPSOID_H_
