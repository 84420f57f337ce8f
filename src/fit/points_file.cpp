// Control-point files.
#include "fit/points_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace Fit {

namespace {

constexpr char kGeoreferencerHeader[] = "mapX,mapY,sourceX,sourceY";

// The fields of a line split at blanks and commas (empty fields of ",," count in CSV).
std::vector<std::string> Fields(const std::string& line, bool csv) {
  std::vector<std::string> fields;
  std::string field;
  bool inField = false;
  for (const char c : line) {
    const bool separator = c == ',' || (!csv && (c == ' ' || c == '\t'));
    if (separator) {
      if (inField || csv) fields.push_back(field);
      field.clear();
      inField = false;
    } else if (c != ' ' && c != '\t' && c != '\r') {
      field += c;
      inField = true;
    }
  }
  if (inField || (csv && !fields.empty())) fields.push_back(field);
  return fields;
}

bool Number(const std::string& text, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(text.c_str(), &end);
  return *end == '\0' && errno != ERANGE;
}

}  // namespace

int ParsePoints(const std::string& text, std::vector<ControlPoint>* points, std::string* reason) {
  points->clear();
  std::istringstream lines(text);
  std::string line;
  bool georeferencer = false, first = true;
  int enableColumn = -1;
  for (int number = 1; std::getline(lines, line); ++number) {
    const std::size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string::npos || line[start] == '#') continue;
    const std::string content = line.substr(start, line.find('#', start) - start);
    if (first && content.rfind(kGeoreferencerHeader, 0) == 0) {
      georeferencer = true;
      const std::vector<std::string> names = Fields(content, true);
      for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == "enable") enableColumn = static_cast<int>(i);
      }
      first = false;
      continue;
    }
    first = false;
    const std::vector<std::string> fields = Fields(content, georeferencer);
    double v[4];
    bool ok = georeferencer ? fields.size() >= 4 : fields.size() == 4;
    for (int i = 0; ok && i < 4; ++i) ok = Number(fields[i], &v[i]);
    if (!ok) {
      *reason = "Line " + std::to_string(number) + " is not a point (" +
                (georeferencer ? "mapX,mapY,sourceX,sourceY" : "COLUMN ROW LATITUDE LONGITUDE") +
                "): " + content;
      return kBadCoordinate;
    }
    if (georeferencer) {
      if (enableColumn >= 0 && enableColumn < static_cast<int>(fields.size()) &&
          fields[enableColumn] == "0") {
        continue;
      }
      points->push_back({v[2], -v[3], v[1], v[0]});
    } else {
      points->push_back({v[0], v[1], v[2], v[3]});
    }
  }
  return kFitOk;
}

int ReadPointsFile(const std::string& path, std::vector<ControlPoint>* points,
                   std::string* reason) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  if (!file) {
    *reason = "Cannot read points file " + path + ": " + std::strerror(errno);
    return kBadCoordinate;
  }
  text << file.rdbuf();  // fails harmlessly on an empty file
  return ParsePoints(text.str(), points, reason);
}

}  // namespace Fit
