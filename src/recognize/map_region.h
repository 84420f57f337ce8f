// Where the map is in a picture: the part that is not background. Background is transparent or
// a near-uniform colour reaching the picture's border (a margin, the black or white outside of a
// world map, in up to two layers such as a white margin around a black frame); titles, legends
// and other islands outside the largest remaining piece count as background too.
#ifndef KARTOVEL_RECOGNIZE_MAP_REGION_H_
#define KARTOVEL_RECOGNIZE_MAP_REGION_H_

#include <cstdint>
#include <vector>

// A picture as 0xAABBGGRR words, top row first (the colour words of VideoBuffer).
struct Pixels {
  int width = 0, height = 0;
  std::vector<std::uint32_t> rgba;
  std::uint32_t At(int x, int y) const { return rgba[static_cast<std::size_t>(y) * width + x]; }
};

struct MapRegion {
  std::vector<std::uint8_t> inside;  // per pixel of the analysed picture: 1 map, 0 background
  // True when a background was found around the map; the box is then the map's extent in pixels
  // of the analysed picture (edges: left <= x < right), otherwise the whole picture.
  bool outlined = false;
  int left = 0, top = 0, right = 0, bottom = 0;
};

MapRegion FindMapRegion(const Pixels& picture);

#endif  // KARTOVEL_RECOGNIZE_MAP_REGION_H_
