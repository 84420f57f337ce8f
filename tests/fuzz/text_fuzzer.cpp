// libFuzzer harness for the readers of Projection.txt: every input runs through every stage of
// kStages, which must neither crash, leak, hang nor break the tokenizer's invariants.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "parser/expression.h"
#include "parser/tokenizer.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void RequireSaneToken(const Parser::Tokenizer& tokenizer) {
  Require(std::strlen(tokenizer.GetText()) < Parser::Tokenizer::kTextSize);
  Require(tokenizer.GetType() != Parser::kEndOfLine &&
          tokenizer.GetType() != Parser::kCommentOpen &&
          tokenizer.GetType() != Parser::kLineComment);
}

// The input as a file: every significant token up to the end.
void Tokens(std::string_view input) {
  Parser::Tokenizer tokenizer;
  Require(tokenizer.OpenText(input) == 0);
  int lines = tokenizer.GetLineCount();
  while (tokenizer.GetType() != Parser::kEndOfInput) {
    RequireSaneToken(tokenizer);
    tokenizer.Next();
    Require(tokenizer.GetLineCount() >= lines);
    lines = tokenizer.GetLineCount();
  }
  Require(tokenizer.Next() == Parser::kEndOfInput);
}

// The input as a list of values, read the way the definition reader reads them: one comma after
// a value is skipped, and a token that stops a value is stepped over.
void Values(std::string_view input) {
  Parser::Tokenizer tokenizer;
  Require(tokenizer.OpenText(input) == 0);
  bool asInteger = false;
  while (tokenizer.GetType() != Parser::kEndOfInput) {
    const double value =
        asInteger ? static_cast<double>(Parser::ReadInt(tokenizer)) : Parser::ReadReal(tokenizer);
    asInteger = !asInteger;
    if (tokenizer.GetType() == Parser::kComma || value == Parser::kBadReal ||
        value == Parser::kBadInt) {
      tokenizer.Next();
    }
  }
}

// The input as one line installed directly, scanned token by token without skipping.
void Line(std::string_view input) {
  Parser::Tokenizer tokenizer;
  tokenizer.SetLineComments(!input.empty() && (input[0] & 1) != 0);
  const std::string line(input);
  for (int type = tokenizer.SetLine(line.c_str()); type != Parser::kEndOfLine;
       type = tokenizer.Scan()) {
    Require(std::strlen(tokenizer.GetText()) < Parser::Tokenizer::kTextSize);
  }
}

using Stage = void (*)(std::string_view input);

// Add a stage per reader of definition text.
constexpr Stage kStages[] = {Tokens, Values, Line};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  for (const Stage stage : kStages) stage(input);
  return 0;
}
