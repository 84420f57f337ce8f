// Recognition of an Earth map: the projection type and the settings under which the reference
// Earth, drawn by that projection, lines up with the picture, found from the picture alone.
//
// Coarse to fine: every candidate type is tried over a grid of its free settings on a small copy
// of the picture (the map's outline, where it has one, gives scale and offsets at once), the best
// placements are refined with a derivative-free local search (NLopt) on larger copies.
#ifndef KARTOVEL_RECOGNIZE_RECOGNIZE_H_
#define KARTOVEL_RECOGNIZE_RECOGNIZE_H_

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/reproject.h"
#include "image/video_buffer.h"
#include "recognize/reference_earth.h"
#include "registry/map_instance.h"
#include "registry/map_settings.h"

// What the user already knows; everything unset is searched. Degrees north-positive, user units,
// as MapSettings.
struct RecognizeRequest {
  std::vector<int> typeCodes;  // empty: every type the registry offers (see allTypes)
  bool allTypes = false;       // with no codes: modules and composites too, not only built-ins
  std::optional<double> centerLat, centerLon;
  std::optional<double> parallel1, parallel2;  // both or neither
  std::optional<double> scale, aspect;
  std::optional<double> offsetX, offsetY;  // both or neither
};

struct Recognition {
  MapSettings settings;
  double score = 0;  // 0..1
};

// Below this score a match is no recognition: the picture is no Earth map we can place.
inline constexpr double kRecognizedScore = 0.25;

enum class RecognizeResult { kOk, kNotRecognised, kNoReference, kBadPicture, kCancelled };

class Recognizer {
 public:
  // Selects the candidate projections; call on the thread that owns the projection registry, as
  // the destructor. `earth` must stay loaded while the recognizer lives.
  Recognizer(const ReferenceEarth& earth, const RecognizeRequest& request);
  ~Recognizer();
  Recognizer(const Recognizer&) = delete;
  Recognizer& operator=(const Recognizer&) = delete;

  // Recognises `picture`; may run on any thread (it only initialises and calls the projections it
  // selected; composites are used as they are, never re-initialised). On kOk `results` holds up
  // to `count` candidates, best first, of distinct types, the first scoring at least
  // kRecognizedScore; on kNotRecognised the best that was found, below it.
  // `progress` (optional) counts percent in rowsDone, 0..100; its cancel stops the run.
  RecognizeResult Run(const VideoBuffer& picture, std::vector<Recognition>* results,
                      RasterProgress* progress = nullptr, int count = 5);

  struct Candidate;
  struct TypeModel;

 private:
  const ReferenceEarth& earth_;
  RecognizeRequest request_;
  std::vector<std::unique_ptr<TypeModel>> types_;
};

// How far apart two settings put the Earth, in pixels: the RMS distance over a 1-degree grid of
// the points that `truth` places on its w x h picture (points within a degree of its seam left
// out), where `found` describes a w2 x h2 picture in which the first lies at (dx, dy), as when a
// margin was added. Infinity when `found` cannot place a twentieth of them or none is placed.
double PlacementRms(const MapSettings& truth, int w, int h, const MapSettings& found, int w2, int h2,
                    double dx = 0, double dy = 0);

// A reason for the user, in a sentence.
std::string RecognizeMessage(RecognizeResult result);

#endif  // KARTOVEL_RECOGNIZE_RECOGNIZE_H_
