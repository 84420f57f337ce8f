// --recognize IMAGE: the projection and settings of an Earth map, found from the picture alone.
#include <cstdio>

#include "cli/commands.h"
#include "cli/progress_line.h"
#include "recognize/recognize.h"

namespace {

// What the command line fixes: every setting option given is held.
bool RequestOf(const Settings& s, RecognizeRequest* request) {
  if (s.given.count("--projection")) {
    const int code = FindProjection(s.projection);
    if (code < 0) return false;
    request->typeCodes.push_back(code);
  }
  request->allTypes = s.allTypes;
  if (s.given.count("--center"))
    request->centerLat = s.map.centerLat, request->centerLon = s.map.centerLon;
  if (s.given.count("--parallels"))
    request->parallel1 = s.map.parallel1, request->parallel2 = s.map.parallel2;
  if (s.given.count("--scale")) request->scale = s.map.scale;
  if (s.given.count("--aspect")) request->aspect = s.map.aspect;
  if (s.given.count("--offset")) request->offsetX = s.map.offsetX, request->offsetY = s.map.offsetY;
  return true;
}

}  // namespace

int Recognize(const Settings& s) {
  RecognizeRequest request;
  if (!RequestOf(s, &request)) {
    return Fail(kBadUsage, "Unknown projection " + s.projection + " (kartovel-convert --list)");
  }
  ReferenceEarth earth;
  if (earth.Load() != 0) return Fail(kFailed, RecognizeMessage(RecognizeResult::kNoReference));
  VideoBuffer picture;
  if (picture.Load(s.recognize) != 0 || !picture.HasStorage()) {
    return Fail(kFailed, "Unable to read image file " + s.recognize);
  }
  Recognizer recognizer(earth, request);
  std::vector<Recognition> results;
  RasterProgress progress;
  RecognizeResult result;
  {
    ProgressLine line(&progress, 100);
    result = recognizer.Run(picture, &results, &progress);
  }
  if (result == RecognizeResult::kNotRecognised && !results.empty()) {
    char best[32];
    std::snprintf(best, sizeof best, "%.3f", results.front().score);
    return Fail(kFailed, "Not recognised (best score " + std::string(best) + ", " +
                             SettingsOptionsLine(results.front().settings) + ")");
  }
  if (result != RecognizeResult::kOk) return Fail(kFailed, RecognizeMessage(result));
  for (const Recognition& r : results) {
    std::printf("%.3f\t%s\n", r.score, SettingsOptionsLine(r.settings).c_str());
  }
  return 0;
}
