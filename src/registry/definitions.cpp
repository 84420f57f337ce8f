// Composite projections read from Projection.txt beside the executable.
#include <sys/stat.h>

#include <memory>

#include "parser/tokenizer.h"
#include "registry/composite_reader.h"
#include "registry/projection_registry.h"

namespace {

constexpr char kDefinitionFile[] = "Projection.txt";

}  // namespace

void ProjectionRegistry::LoadDefinitions(const std::string& directory) {
  // Only a regular file: a FIFO or /dev/zero in its place would hang the start-up.
  const std::string path = directory + kDefinitionFile;
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  Parser::Tokenizer tokens;
  if (tokens.Open(path) != 0) return;
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
