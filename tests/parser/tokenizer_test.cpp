// Tokenizer: number forms, punctuation codes, strings, comments, long lines and input handling.
#include "parser/tokenizer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace Parser {
namespace {

struct Token {
  int type;
  std::string text;
  double value;
};

// Every significant token of `text` read as a file would be, end of input excluded.
std::vector<Token> ReadAll(const std::string& text) {
  Tokenizer tokenizer;
  EXPECT_EQ(tokenizer.OpenText(text), 0);
  std::vector<Token> tokens;
  for (int type = tokenizer.GetType(); type != kEndOfInput; type = tokenizer.Next()) {
    tokens.push_back({type, tokenizer.GetText(), tokenizer.GetValue()});
  }
  return tokens;
}

TEST(TokenizerNumbers, FormsAndSuffixes) {
  struct Case {
    const char* input;
    std::vector<Token> expected;
  };
  const double kSecondsOf45d10m30s = 45.0 + 10.0 / 60.0 + 30.0 / 3600.0;
  const Case cases[] = {
      {"Projection 20", {{kKeyProjection, "Projection", 0}, {kNumber, "20", 20}}},
      {"PROJECTION projection",
       {{kKeyProjection, "PROJECTION", 0}, {kKeyProjection, "projection", 0}}},
      {"1e+5", {{kNumber, "1e", 1}, {kPlus, "+", 0}, {kNumber, "5", 5}}},
      {"2.5e-1", {{kNumber, "2.5e-1", 0.25}}},
      {".5 5.", {{kNumber, ".5", 0.5}, {kNumber, "5.", 5}}},
      {"5e x", {{kNumber, "5e", 5}, {kIdentifier, "x", 0}}},
      {"1.2.3", {{kNumber, "1.2", 1.2}, {kNumber, ".3", 0.3}}},
      {"12d30m", {{kNumber, "12d30m", 12.5}}},
      {"45d10'30s", {{kNumber, "45d10'30s", kSecondsOf45d10m30s}}},
      {"45D10M30S", {{kNumber, "45D10M30S", kSecondsOf45d10m30s}}},
      {"0d0m36s", {{kNumber, "0d0m36s", 0.01}}},
      {"0d0'36\" 1", {{kNumber, "0d0'36\" 1", 1}}},
      {"10d30", {{kNumber, "10d30", 30}}},
      {"10d 5", {{kNumber, "10d 5", 5}}},
      {"12d", {{kNumber, "12d", 12}}},
      {"12d east", {{kNumber, "12d e", 12}, {kIdentifier, "ast", 0}}},
      {"1d-5", {{kNumber, "1d", 1}, {kMinus, "-", 0}, {kNumber, "5", 5}}},
      {"1e999 1e-999", {{kNumber, "1e999", HUGE_VAL}, {kNumber, "1e-999", 0}}},
      {"0.000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "0000000000000000000000000000000000000000000000000000000000000000001",
       {{kNumber, "", 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    const std::vector<Token> tokens = ReadAll(c.input);
    ASSERT_EQ(tokens.size(), c.expected.size());
    for (std::size_t i = 0; i < tokens.size(); ++i) {
      EXPECT_EQ(tokens[i].type, c.expected[i].type) << "token " << i;
      if (!c.expected[i].text.empty()) {
        EXPECT_EQ(tokens[i].text, c.expected[i].text);
      }
      if (std::isinf(c.expected[i].value)) {
        EXPECT_EQ(tokens[i].value, c.expected[i].value);
      } else {
        EXPECT_NEAR(tokens[i].value, c.expected[i].value, 1e-12);
      }
    }
  }
}

TEST(TokenizerPunctuation, CodesOfEveryCharacterClass) {
  // Line comments off, as for a line installed with SetLine: "//" is a token of its own.
  struct Case {
    const char* input;
    std::vector<int> codes;
    std::vector<std::string> texts;
  };
  const Case cases[] = {
      {"** ^ * *) */",
       {kPower, kPower, kStar, kCommentClose, kCommentClose},
       {"**", "^", "*", "*)", "*/"}},
      {"(* ( /* / //",
       {kCommentOpen, kLeftParen, kCommentOpen, kSlash, kLineComment},
       {"(*", "(", "/*", "/", "//"}},
      {"{ [ ) ] }", {kLeftBrace, kLeftBracket, kRightParen, kRightBracket, kRightBrace}, {}},
      {"@ : , % ? + - .", {kAtSign, kColon, kComma, kPercent, kQuestion, kPlus, kMinus, kDot}, {}},
      {"~ \xc3\xa9 _x1 a_b9",
       {kOther, kOther, kOther, kIdentifier, kIdentifier},
       {"~", "\xc3", "\xa9", "_x1", "a_b9"}},
      {"bias AZ El scale offset ENDSEGMENT endprojection nocache",
       {kKeyBias, kKeyAz, kKeyEl, kKeyScale, kKeyOffset, kKeyEndSegment, kKeyEndProjection,
        kKeyNoCache},
       {}},
      {"Segment Effective Extent Exclude Rotate Description Biased",
       {kKeySegment, kKeyEffective, kKeyExtent, kKeyExclude, kKeyRotate, kKeyDescription,
        kIdentifier},
       {}},
      {"a\tb\x7f"
       "c",
       {kIdentifier, kIdentifier, kIdentifier},
       {"a", "b", "c"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    Tokenizer tokenizer;
    std::vector<int> codes;
    std::vector<std::string> texts;
    for (int type = tokenizer.SetLine(c.input); type != kEndOfLine; type = tokenizer.Scan()) {
      codes.push_back(type);
      texts.push_back(tokenizer.GetText());
      ASSERT_LT(codes.size(), 100u);
    }
    EXPECT_EQ(codes, c.codes);
    if (!c.texts.empty()) {
      EXPECT_EQ(texts, c.texts);
    }
  }
}

TEST(TokenizerStrings, QuotesAndUnterminatedStrings) {
  Tokenizer tokenizer;
  EXPECT_EQ(tokenizer.SetLine("'abc"), kString);
  EXPECT_STREQ(tokenizer.GetText(), "abc");
  EXPECT_EQ(tokenizer.Scan(), kEndOfLine);

  EXPECT_EQ(tokenizer.SetLine("\"it's \" '\"q\"' ''"), kString);
  EXPECT_STREQ(tokenizer.GetText(), "it's ");
  EXPECT_EQ(tokenizer.Scan(), kString);
  EXPECT_STREQ(tokenizer.GetText(), "\"q\"");
  EXPECT_EQ(tokenizer.Scan(), kString);
  EXPECT_STREQ(tokenizer.GetText(), "");
  EXPECT_EQ(tokenizer.Scan(), kEndOfLine);
}

TEST(TokenizerComments, LineAndBlockComments) {
  struct Case {
    const char* input;
    std::vector<int> codes;
  };
  const Case cases[] = {
      {"Scale 2 // half size\n", {kKeyScale, kNumber}},
      // Cut before scanning: the string loses its end and the rest of the line.
      {"Description 'a//b' Offset\nRotate", {kKeyDescription, kString, kKeyRotate}},
      {"/* opened\n closed */\nOffset", {kKeyOffset}},
      {"(* x *) 5", {kNumber}},
      {"1 /* x */ 2 (* y *) 3", {kNumber, kNumber, kNumber}},
      // The inside is scanned as tokens: a closer within a string does not close.
      {"/* '*/' */ 7", {kNumber}},
      {"/* \"*/ 7\n*/ 8", {kNumber}},
      // No nesting on one line: the second closer is an ordinary token.
      {"/* a /* b */ 8 */", {kNumber, kCommentClose}},
      // An opener that starts a line read inside a comment does nest.
      {"/* outer\n/* inner */ still */ 7", {kNumber}},
      {"/* outer\n\n   /* inner\n*/ */ 9", {kNumber}},
      {"/* never closed\nOffset\n", {}},
      {"*) 4", {kCommentClose, kNumber}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    std::vector<int> codes;
    for (const Token& token : ReadAll(c.input)) codes.push_back(token.type);
    EXPECT_EQ(codes, c.codes);
  }
}

TEST(TokenizerComments, OnlyCommentsCountsEveryLine) {
  Tokenizer tokenizer;
  ASSERT_EQ(tokenizer.OpenText("// a\n\n/* b\n c */\n   \n"), 0);
  EXPECT_EQ(tokenizer.GetType(), kEndOfInput);
  EXPECT_EQ(tokenizer.GetLineCount(), 5);
  EXPECT_EQ(tokenizer.Next(), kEndOfInput);
}

TEST(TokenizerComments, LineCommentTokenWhenCuttingIsOff) {
  Tokenizer tokenizer;
  ASSERT_EQ(tokenizer.OpenText("1 // 2\n3"), 0);
  tokenizer.SetLineComments(false);
  EXPECT_EQ(tokenizer.SetLine("1 // 2"), kNumber);
  EXPECT_EQ(tokenizer.Next(), kNumber);  // "//" skips the rest of the line
  EXPECT_EQ(tokenizer.GetValue(), 3);
}

TEST(TokenizerLines, LongLinesArriveInPieces) {
  struct Case {
    std::string input;
    int lines;
    std::vector<std::size_t> identifierLengths;  // text lengths, cut at the text buffer
  };
  const std::size_t kMax = Tokenizer::kMaxLineLength;
  const std::size_t kText = Tokenizer::kTextSize - 1;
  const Case cases[] = {
      {std::string(5000, 'a'), 2, {kText, 906}},
      {std::string(kMax, 'a') + "\nb", 2, {kText, 1}},
      {std::string(kMax + 1, 'a') + "\nb", 3, {kText, 1, 1}},
      {std::string(2 * kMax, 'a'), 2, {kText, kText}},
      {"'" + std::string(3000, 's') + "'", 1, {kText}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input.size());
    Tokenizer tokenizer;
    ASSERT_EQ(tokenizer.OpenText(c.input), 0);
    std::vector<std::size_t> lengths;
    for (int type = tokenizer.GetType(); type != kEndOfInput; type = tokenizer.Next()) {
      lengths.push_back(std::string(tokenizer.GetText()).size());
    }
    EXPECT_EQ(lengths, c.identifierLengths);
    EXPECT_EQ(tokenizer.GetLineCount(), c.lines);
  }
}

TEST(TokenizerLines, LineFeedCarriageReturnAndBothEndLinesAlike) {
  // A line comment ends at each line end, so the second line's number is only seen when the line
  // end was recognised; the kMaxLineLength row checks that CR LF after a full piece is one end.
  const std::string full(Tokenizer::kMaxLineLength, 'a');
  for (const std::string end : {"\n", "\r", "\r\n"}) {
    SCOPED_TRACE(end.size() == 2 ? "CR LF" : end == "\r" ? "CR" : "LF");
    const std::vector<Token> tokens = ReadAll("1 // one" + end + "2 // two" + end + end + "3");
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[2].text, "3");
    Tokenizer tokenizer;
    ASSERT_EQ(tokenizer.OpenText(full + end + "b"), 0);
    while (tokenizer.Next() != kEndOfInput) {
    }
    EXPECT_EQ(tokenizer.GetLineCount(), 2);
  }
}

TEST(TokenizerLines, NulBytesReadAsSpaces) {
  const std::vector<Token> tokens = ReadAll(std::string("a\0b\n", 4));
  ASSERT_EQ(tokens.size(), 2u);
  EXPECT_EQ(tokens[1].text, "b");
}

TEST(TokenizerInput, OpenCloseAndResultCodes) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / "kartovel_tokenizer_test.txt";
  {
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("\n// comment\nSegment 'Sinusoidal' 1\n", file);
    std::fclose(file);
  }
  Tokenizer tokenizer;
  EXPECT_EQ(tokenizer.Close(), -1);
  EXPECT_EQ(tokenizer.Open((path.string() + ".missing")), -2);
  EXPECT_EQ(tokenizer.GetType(), kEndOfInput);
  ASSERT_EQ(tokenizer.Open(path.string()), 0);
  EXPECT_TRUE(tokenizer.GetLineComments());
  EXPECT_EQ(tokenizer.GetType(), kKeySegment);
  EXPECT_EQ(tokenizer.GetLineCount(), 3);
  EXPECT_EQ(tokenizer.Open(path.string()), -1);
  EXPECT_EQ(tokenizer.OpenText("x"), -1);
  EXPECT_EQ(tokenizer.Next(), kString);
  EXPECT_STREQ(tokenizer.GetText(), "Sinusoidal");
  EXPECT_EQ(tokenizer.Next(), kNumber);
  EXPECT_EQ(tokenizer.Next(), kEndOfInput);
  EXPECT_EQ(tokenizer.Next(), kEndOfInput);
  EXPECT_EQ(tokenizer.Close(), 0);
  EXPECT_EQ(tokenizer.Close(), -1);

  // Reset after an open closes the file, so opening again succeeds.
  ASSERT_EQ(tokenizer.Open(path.string()), 0);
  tokenizer.Reset();
  EXPECT_EQ(tokenizer.GetType(), kEndOfInput);
  EXPECT_FALSE(tokenizer.GetLineComments());
  EXPECT_EQ(tokenizer.Open(path.string()), 0);
  std::filesystem::remove(path);
}

TEST(TokenizerInput, WithoutInputAnEndOfLineEndsTheInput) {
  Tokenizer tokenizer;
  EXPECT_EQ(tokenizer.SetLine("Offset"), kKeyOffset);
  EXPECT_EQ(tokenizer.Next(), kEndOfInput);
  EXPECT_FALSE(tokenizer.ReadLine());
}

}  // namespace
}  // namespace Parser
