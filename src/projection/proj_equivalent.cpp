// Type codes of the built-in projections to PROJ operations, with the factors of our scalings.
#include "projection/proj_equivalent.h"

#include <cmath>
#include <cstdio>

#include "projection/map_project.h"

namespace Projection {

namespace {

// What a type's PROJ operation reads of the centre and the parallels.
enum class Takes {
  kMeridian,     // the centre's longitude only (world maps)
  kCentre,       // latitude and longitude of the centre
  kLatTs,        // meridian, latitude of true scale from the first parallel
  kLat1,         // meridian, the first parallel
  kCone,         // centre and both parallels
  kTangentCone,  // centre and the first parallel as both
};

struct Twin {
  std::int32_t typeCode;
  const char* name;
  Takes takes;
};

constexpr Twin kTwins[] = {
    {1, "aeqd", Takes::kCentre},         {2, "eqc", Takes::kMeridian},
    {3, "gnom", Takes::kCentre},         {4, "hammer", Takes::kMeridian},
    {5, "laea", Takes::kCentre},         {6, "merc", Takes::kMeridian},
    {7, "mill", Takes::kMeridian},       {8, "moll", Takes::kMeridian},
    {9, "ortho", Takes::kCentre},        {10, "sinu", Takes::kMeridian},
    {11, "stere", Takes::kCentre},       {12, "vandg", Takes::kMeridian},
    {13, "wag4", Takes::kMeridian},      {15, "wag7", Takes::kMeridian},
    {18, "aea", Takes::kCone},           {19, "eqdc", Takes::kTangentCone},
    {20, "lcc", Takes::kCone},           {22, "wag6", Takes::kMeridian},
    {23, "robin", Takes::kMeridian},     {24, "wintri", Takes::kMeridian},
    {25, "eqearth", Takes::kMeridian},   {26, "natearth", Takes::kMeridian},
    {27, "natearth2", Takes::kMeridian}, {28, "eck4", Takes::kMeridian},
    {29, "eck6", Takes::kMeridian},      {30, "aitoff", Takes::kMeridian},
    {31, "kav7", Takes::kMeridian},      {32, "cea", Takes::kLatTs},
    {33, "gall", Takes::kMeridian},      {34, "tmerc", Takes::kCentre},
    {35, "cass", Takes::kCentre},        {36, "poly", Takes::kCentre},
    {37, "bonne", Takes::kLat1},         {38, "times", Takes::kMeridian},
    {39, "nicol", Takes::kMeridian},
};

// Our stored constants against PROJ's exact ones.
void SetFactors(std::int32_t typeCode, ProjEquivalent* twin) {
  double x = 1, y = 1;
  switch (typeCode) {
    case 8:  // Mollweide: Cx = 2 sqrt(2)/pi and Cy = sqrt(2) rounded to 12 and 13 digits
      x = 0.900316316158 / (2 * std::sqrt(2.0) / kPi);
      y = 1.4142135623731 / std::sqrt(2.0);
      break;
    case 13: {  // Wagner IV: Cx and Cy rounded to 4 and 5 digits (PROJ derives them from 60 deg)
      const double r =
          std::sqrt(2 * kPi * std::sin(kPi / 3) / (2 * kPi / 3 + std::sin(2 * kPi / 3)));
      x = 0.8631 / (2 * r / kPi);
      y = 1.56548 / (r / std::sin(kPi / 3));
      break;
    }
    case 4:  // Hammer: sqrt(2) rounded to 9 decimals
      x = y = 1.414213562 / std::sqrt(2.0);
      break;
    case 22:  // PROJ scales Wagner VI by 0.94745 on both axes; ours is not
      x = y = 1 / 0.94745;
      break;
    default:
      break;
  }
  twin->xFactor = x;
  twin->yFactor = y;
}

std::string Parameter(const char* name, double degrees) {
  char text[64];
  std::snprintf(text, sizeof text, " +%s=%.17g", name, degrees);
  return text;
}

}  // namespace

ProjEquivalent ProjEquivalentOf(std::int32_t typeCode, double centerLatDeg, double centerLonDeg,
                                double parallel1Deg, double parallel2Deg) {
  ProjEquivalent twin;
  for (const Twin& t : kTwins) {
    if (t.typeCode != typeCode) continue;
    std::string d = std::string("+proj=") + t.name + " +R=1";
    if (t.takes == Takes::kCentre || t.takes == Takes::kCone || t.takes == Takes::kTangentCone) {
      d += Parameter("lat_0", centerLatDeg);
    }
    d += Parameter("lon_0", centerLonDeg);
    switch (t.takes) {
      case Takes::kLatTs:
        d += Parameter("lat_ts", parallel1Deg);
        break;
      case Takes::kLat1:
        d += Parameter("lat_1", parallel1Deg);
        break;
      case Takes::kCone:
        d += Parameter("lat_1", parallel1Deg) + Parameter("lat_2", parallel2Deg);
        break;
      case Takes::kTangentCone:
        d += Parameter("lat_1", parallel1Deg) + Parameter("lat_2", parallel1Deg);
        break;
      default:
        break;
    }
    twin.definition = d;
    SetFactors(typeCode, &twin);
    break;
  }
  return twin;
}

}  // namespace Projection
