// Composite projections read from Projection.txt beside the executable.
#include <memory>

#include "parser/tokenizer.h"
#include "registry/composite_reader.h"
#include "registry/projection_registry.h"

namespace {

constexpr char kDefinitionFile[] = "Projection.txt";

}  // namespace

void ProjectionRegistry::LoadDefinitions(const std::string& directory) {
  Parser::Tokenizer tokens;
  if (tokens.Open(directory + kDefinitionFile) != 0) return;
  ReadDefinitions(tokens);
  tokens.Close();
}

void ProjectionRegistry::ReadDefinitions(Parser::Tokenizer& tokens) {
  while (tokens.GetType() != Parser::kEndOfInput) {
    if (tokens.GetType() == Parser::kKeyProjection) {
      auto composite = std::make_unique<Projection::MapComposite>();
      MapCompositeReader().Fill(*composite, tokens);
      if (RegisterShared(composite.get())) composite.release();
    } else {
      tokens.Next();
    }
  }
}
