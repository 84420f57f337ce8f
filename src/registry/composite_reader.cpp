// The definition reader: walks the statements of one composite projection in Projection.txt.
#include "registry/composite_reader.h"

#include <cmath>
#include <string>

#include "parser/expression.h"

using Parser::Tokenizer;
using Projection::CompositeExtent;
using Projection::MapComposite;
using Projection::SegmentExclusion;

namespace {

// Steps over one "," when it is the current token.
void SkipComma(Tokenizer& tokens) {
  if (tokens.GetType() == Parser::kComma) tokens.Next();
}

// One value followed by an optional comma.
double ReadListed(Tokenizer& tokens) {
  const double value = Parser::ReadReal(tokens);
  SkipComma(tokens);
  return value;
}

// Truncated toward zero; anything outside the 32-bit range (NaN included) gives INT32_MIN, which
// the registry refuses like every other code outside 0..255.
std::int32_t TypeCodeFrom(double value) {
  if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

// A centre that did not parse (1e20, or a division that could not divide) means 0, not a value
// that no wrapping by turns can bring into range.
double CentreFrom(double value) {
  return std::isfinite(value) && std::fabs(value) < Parser::kBadReal ? value : 0;
}

// Projections a point may try through `projection`: 1, or for a composite those of its segments.
std::size_t SearchCost(const Projection::MapProject* projection) {
  const auto* composite = dynamic_cast<const MapComposite*>(projection);
  if (!composite) return 1;
  std::size_t cost = 0;
  for (const auto& segment : composite->Segments())
    cost += SearchCost(segment->instance.projection);
  return cost;
}

}  // namespace

int MapCompositeReader::Fill(MapComposite& composite, Tokenizer& tokens) {
  if (tokens.GetType() != Parser::kKeyProjection) return -1;
  composite.cacheEnabled = true;
  composite.boundLeft = composite.boundTop = composite.boundRight = composite.boundBottom = 0;
  scratch_ = Projection::CompositeSegment();
  inSegment_ = false;
  exclusionsRead_ = 0;
  searchCost_ = 0;
  for (;;) {
    switch (tokens.GetType()) {
      case Parser::kEndOfInput:
      case Parser::kKeyEndProjection:
        scratch_.instance.Release();
        return 0;
      case Parser::kKeyProjection:
        ReadHeader(composite, tokens);
        break;
      case Parser::kKeyDescription:
        tokens.Next();
        composite.description = tokens.GetText();
        tokens.Next();
        break;
      case Parser::kKeyNoCache:
        composite.cacheEnabled = false;
        tokens.Next();
        break;
      case Parser::kKeyScale: {
        tokens.Next();
        SkipComma(tokens);
        if (inSegment_) {
          scratch_.scaleX = ReadListed(tokens);
          scratch_.scaleY = Parser::ReadReal(tokens);
        } else {
          // The last top-level Scale decides; 0 (or an overflow) would make the unit scale
          // infinite or 0, so it means 1.
          const double divisor = Parser::ReadReal(tokens);
          composite.unitDivisor = divisor != 0 && std::isfinite(divisor) ? divisor : 1;
        }
        break;
      }
      case Parser::kKeyExtent: {
        tokens.Next();
        SkipComma(tokens);
        CompositeExtent extent;
        extent.left = ReadListed(tokens);
        extent.top = ReadListed(tokens);
        extent.right = ReadListed(tokens);
        extent.bottom = Parser::ReadReal(tokens);
        if (composite.Extents().size() < kMaxExtents) composite.AddExtent(extent);
        break;
      }
      case Parser::kKeyOffset:
        tokens.Next();
        SkipComma(tokens);
        scratch_.offsetX = ReadListed(tokens);
        scratch_.offsetY = Parser::ReadReal(tokens);
        break;
      case Parser::kKeyRotate:
        tokens.Next();
        SkipComma(tokens);
        scratch_.rotation = Parser::ReadReal(tokens);
        break;
      case Parser::kKeyEffective:
        tokens.Next();
        SkipComma(tokens);
        scratch_.effectiveLeft = ReadListed(tokens);
        scratch_.effectiveTop = ReadListed(tokens);
        scratch_.effectiveRight = ReadListed(tokens);
        scratch_.effectiveBottom = Parser::ReadReal(tokens);
        break;
      case Parser::kKeyExclude:
        ReadExclusion(tokens);
        break;
      case Parser::kKeySegment:
        ReadSegmentStart(tokens);
        break;
      case Parser::kKeyEndSegment:
        tokens.Next();
        scratch_.UpdateRotation();
        if (const std::size_t cost = SearchCost(scratch_.instance.projection);
            searchCost_ + cost <= kMaxSegments) {
          composite.AddSegment(scratch_);
          searchCost_ += cost;
        }
        inSegment_ = false;
        break;
      default:
        tokens.Next();
        break;
    }
  }
}

void MapCompositeReader::ReadHeader(MapComposite& composite, Tokenizer& tokens) {
  tokens.Next();
  SkipComma(tokens);
  composite.typeCode = TypeCodeFrom(Parser::ReadReal(tokens));
  SkipComma(tokens);
  composite.name = tokens.GetText();
  tokens.Next();
}

void MapCompositeReader::ResetPlacement() {
  scratch_.rotation = 0;
  scratch_.scaleX = scratch_.scaleY = 1;
  scratch_.offsetX = scratch_.offsetY = 0;
  scratch_.effectiveLeft = -180;
  scratch_.effectiveTop = 90;
  scratch_.effectiveRight = 180;
  scratch_.effectiveBottom = -90;
  scratch_.UpdateRotation();
}

void MapCompositeReader::ReadSegmentStart(Tokenizer& tokens) {
  tokens.Next();
  SkipComma(tokens);
  const std::string name = tokens.GetText();
  tokens.Next();
  SkipComma(tokens);
  const double centerLat = ReadListed(tokens);
  const double centerLon = ReadListed(tokens);
  const double offsetX = ReadListed(tokens);
  const double offsetY = ReadListed(tokens);
  const double scale = ReadListed(tokens);
  const double parallel1 = ReadListed(tokens);
  const double parallel2 = Parser::ReadReal(tokens);

  ResetPlacement();
  MapInstance& instance = scratch_.instance;
  instance.SelectByName(name);  // no such name: the equirectangular projection
  instance.SetCenter(CentreFrom(centerLat), CentreFrom(centerLon));
  instance.SetOffset(offsetX, offsetY);
  instance.SetParallels(parallel1, parallel2);
  instance.SetScale(scale);
  scratch_.exclusions.clear();
  inSegment_ = true;
}

void MapCompositeReader::ReadExclusion(Tokenizer& tokens) {
  tokens.Next();
  SkipComma(tokens);
  SegmentExclusion exclusion;
  exclusion.shape = Parser::ReadInt(tokens);
  SkipComma(tokens);
  const int invert = Parser::ReadInt(tokens);
  SkipComma(tokens);
  if (invert != 0) exclusion.shape |= SegmentExclusion::kInverted;
  const std::int32_t kind = exclusion.shape & SegmentExclusion::kShapeMask;
  if (kind == SegmentExclusion::kCircle) {
    exclusion.x[0] = ReadListed(tokens);
    exclusion.y[0] = ReadListed(tokens);
    exclusion.x[1] = Parser::ReadReal(tokens);
  } else {
    const int corners = kind == SegmentExclusion::kQuadrilateral ? 4 : 3;
    for (int i = 0; i < corners; ++i) {
      exclusion.x[i] = ReadListed(tokens);
      exclusion.y[i] = i + 1 < corners ? ReadListed(tokens) : Parser::ReadReal(tokens);
    }
  }
  if (exclusionsRead_ < kMaxExclusions) {
    scratch_.exclusions.push_back(exclusion);
    ++exclusionsRead_;
  }
}
