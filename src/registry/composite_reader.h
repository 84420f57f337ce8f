// Reads one composite projection definition of Projection.txt into a MapComposite.
//
// The reader is tolerant: unknown words and stray tokens are skipped, a value that does not parse
// reads as 1e20 (2147483647 as an integer), and nothing is ever reported. It never loops without
// consuming a token and caps how much one definition may hold, so no input can hang it or exhaust
// memory.
#ifndef KARTOVEL_REGISTRY_COMPOSITE_READER_H_
#define KARTOVEL_REGISTRY_COMPOSITE_READER_H_

#include <cstddef>

#include "parser/tokenizer.h"
#include "registry/map_composite.h"

class MapCompositeReader {
 public:
  // Limits of one definition; statements beyond them are read and dropped. A point may try every
  // segment and test every extent and exclusion, so these bound the work per point of a hostile
  // definition (real ones use a handful). A segment drawn with a composite counts as the
  // projections of that composite's segments.
  static constexpr std::size_t kMaxSegments = 64;
  static constexpr std::size_t kMaxExtents = 16;
  static constexpr std::size_t kMaxExclusions = 64;  // in all segments together

  // Fills `composite` from the definition whose "Projection" keyword is the current token, up to
  // "EndProjection" or the end of input, which is left current. A definition without a top-level
  // "Scale" keeps the divisor 1; a scale of 0 or beyond the double range also gives 1. Returns 0,
  // or -1 without reading when the current token is not "Projection". Uses the global registry to
  // select segment projections.
  int Fill(Projection::MapComposite& composite, Parser::Tokenizer& tokens);

 private:
  void ReadHeader(Projection::MapComposite& composite, Parser::Tokenizer& tokens);
  void ReadSegmentStart(Parser::Tokenizer& tokens);
  void ReadExclusion(Parser::Tokenizer& tokens);
  void ResetPlacement();

  Projection::CompositeSegment scratch_;
  bool inSegment_ = false;
  std::size_t exclusionsRead_ = 0;  // of the current definition
  std::size_t searchCost_ = 0;      // SearchCost of its segments so far
};

#endif  // KARTOVEL_REGISTRY_COMPOSITE_READER_H_
