// How well the reference Earth, placed on a picture, explains the picture: the picture reduced to
// a few levels of detail with its colours in coarse classes, and the score of a placement.
//
// The score does not care how land and sea are drawn: it is the information (in bits) that the
// picture's colour classes under the reference points carry about land and sea there (their
// mutual information), so a photograph, a flat political map, a grey or posterised one all score
// high where the coasts line up. It is multiplied by the square of the
// share of the map's area that the placed points cover, so that a piece of coast matched at a
// huge scale cannot win, and by the square root of the share of placed points that fall on the
// map rather than on its background.
#ifndef KARTOVEL_RECOGNIZE_PICTURE_MATCH_H_
#define KARTOVEL_RECOGNIZE_PICTURE_MATCH_H_

#include <cstdint>
#include <vector>

#include "image/video_buffer.h"

// Colour classes: 6 of lightness, 3 x 3 of two colour axes, plus one for the background.
constexpr int kColourClasses = 6 * 3 * 3;
constexpr int kBackgroundClass = kColourClasses;
constexpr int kClasses = kColourClasses + 1;

// One level of detail: every pixel an average of factor x factor pixels of the picture.
struct PictureLevel {
  int width = 0, height = 0, factor = 1;
  std::vector<std::uint8_t> colourClass;  // width x height, top row first
  // Cells of cellSize x cellSize pixels; mapCell marks those mostly inside the map.
  int cellSize = 1, columns = 0, rows = 0, mapCells = 0;
  std::vector<std::uint8_t> mapCell;
};

// The picture at levels of about 256, 512 and (at most) 2048 pixels across, and where its map is.
struct PictureLevels {
  // 0, or -1 for a picture too small to recognise (under 64 pixels across or 32 high).
  int Build(const VideoBuffer& picture);

  int width = 0, height = 0;  // the picture's own size
  std::vector<PictureLevel> levels;  // coarse to fine
  // The map's extent in the picture's pixels (edges) when a background surrounds it.
  bool outlined = false;
  double left = 0, top = 0, right = 0, bottom = 0;
};

// Reference points placed by a projection: normalised map coordinates without offsets (y grows
// downwards, as the picture's rows), and whether the point is land.
struct PlacedPoints {
  std::vector<float> x, y;
  std::vector<std::uint8_t> land;
  void Clear() { x.clear(), y.clear(), land.clear(); }
};

// Pixel position (x to the right, y downwards, pixel i at coordinate i, as the reprojection
// samples) of a normalised map point: (a x + b, c y + d).
struct Affine {
  double a = 1, b = 0, c = 1, d = 0;
};

// The score of `points` placed by `place` on `level`, 0..1.
double MatchScore(const PictureLevel& level, const PlacedPoints& points, const Affine& place);

#endif  // KARTOVEL_RECOGNIZE_PICTURE_MATCH_H_
