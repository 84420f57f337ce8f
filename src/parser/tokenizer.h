// Tokenizer for Projection.txt: splits text into keywords, identifiers, numbers, strings and
// punctuation, one current token at a time.
//
// Input is read one line at a time (at most kMaxLineLength characters per line; a longer physical
// line arrives as several lines). Lines end in LF, CR LF or a lone CR alike. Control characters
// read as spaces. Comments run from "//" to the end of the line (cut before scanning while line
// comments are on, even inside quotes) or from "/*" or "(*" to the first "*/" or "*)", across
// lines; block comments do not nest, except that an opener which is the first token of a line
// read inside a comment starts a comment of its own.
//
// Numbers may carry degree, minute and second suffixes (12d30m, 45d10'30s, 0d0m36"): the parts are
// summed into one value in degrees; a last part without suffix replaces the sum (10d30 is 30).
// Exponents take "-" but not "+": 1e+5 is the number 1, "+", and the number 5.
//
// Malformed input is never an error: unterminated strings end at the end of their line, an
// unterminated block comment swallows the rest of the input, unknown characters are kOther tokens.
// Single-threaded; each user owns its tokenizer.
#ifndef KARTOVEL_PARSER_TOKENIZER_H_
#define KARTOVEL_PARSER_TOKENIZER_H_

#include <array>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace Parser {

// Token codes. The values are fixed: the expression parser uses them as operator codes and the
// definition reader compares against them.
enum TokenCode : int {
  kEndOfInput = 0,  // no more lines
  kEndOfLine = 1,   // nothing but spaces left on the line
  kOther = 2,       // any other single character (bytes 0x80 and above included)
  kIdentifier = 3,  // identifier that is not a keyword
  kNumber = 4,
  kString = 6,  // text without its quotes
  kAtSign = 7,
  kColon = 9,
  kComma = 10,
  kCommentClose = 11,  // "*/" or "*)"
  kCommentOpen = 12,   // "/*" or "(*"
  kLineComment = 13,   // "//", only while line comments are off
  kLeftBrace = 14,
  kLeftParen = 15,
  kLeftBracket = 16,
  kPercent = 17,
  kDot = 18,  // "." not followed by a digit
  kQuestion = 19,
  kRightBrace = 20,
  kRightParen = 21,
  kRightBracket = 22,
  kPlus = 23,
  kSlash = 24,
  kStar = 25,
  kMinus = 26,
  kUnaryMinus = 28,  // never scanned; the operator code of a leading "-" in expressions
  kPower = 37,       // "^" or "**"

  // Keywords (matched without regard to case).
  kKeyBias = 33,
  kKeyAz = 60,
  kKeyEl = 61,
  kKeyScale = 81,
  kKeyProjection = 170,
  kKeySegment = 171,
  kKeyOffset = 172,
  kKeyEffective = 173,
  kKeyExtent = 174,
  kKeyExclude = 175,
  kKeyRotate = 176,
  kKeyDescription = 177,
  kKeyEndSegment = 178,
  kKeyEndProjection = 179,
  kKeyNoCache = 180,
};

// The keyword code of `word` (case-insensitive), or kIdentifier when it is no keyword.
int LookupKeyword(std::string_view word);

class Tokenizer {
 public:
  static constexpr int kTextSize = 2048;       // token text buffer, NUL included
  static constexpr int kLineSize = 4096;       // line buffer: the line and two NUL bytes
  static constexpr int kMaxLineLength = 4094;  // characters per delivered line

  Tokenizer();  // state as after Reset
  Tokenizer(const Tokenizer&) = delete;
  Tokenizer& operator=(const Tokenizer&) = delete;
  virtual ~Tokenizer();  // closes an open input, then resets

  // Opens a text file and leaves its first significant token current (kEndOfInput when it has
  // none); turns line comments on. 0 success, -1 an input is already open, -2 the file cannot be
  // opened for reading (the tokenizer then stays without input, type kEndOfInput).
  int Open(const std::string& path);
  // As Open, but reads the lines of `text` (copied) instead of a file.
  int OpenText(std::string_view text);
  // Closes the input. 0 success, -1 no input is open. The current token is kept.
  int Close();
  // Clears line, token, line count and line-comment flag; an open input is closed.
  void Reset();

  // Installs `text` (NUL-terminated, not null; at most kMaxLineLength characters are taken) as the
  // current line and returns the code of its first token.
  int SetLine(const char* text);
  // Reads the next line of the input, makes its first significant token current (reading on past
  // blank and comment lines) and counts it. False, with type kEndOfInput, when no line was left.
  bool ReadLine();
  // Scans one token at the cursor and returns its code.
  int Scan();
  // Moves past end-of-line and comment tokens: the current token is then significant, or
  // kEndOfInput. Without an input, an end of line becomes kEndOfInput.
  void Skip();
  // Skip, Scan, and Skip again when the scanned token is an end of line or a comment opener.
  // Returns the current code; kEndOfInput for good at the end of the input.
  int Next();

  int GetType() const { return type_; }
  // NUL-terminated; at most kTextSize - 1 characters (longer tokens are cut, not refused).
  const char* GetText() const { return text_.data(); }
  // The number's value (degrees when written with d/m/s suffixes); 0 for every other token.
  double GetValue() const { return value_; }
  // Lines read from the input so far.
  int GetLineCount() const { return lineCount_; }

  // Line comments: when on, each line is cut at its first "//" before scanning. Open turns them
  // on; Reset turns them off.
  void SetLineComments(bool on) { lineComments_ = on; }
  bool GetLineComments() const { return lineComments_; }

 private:
  bool HasInput() const { return file_ != nullptr || memoryOpen_; }
  int GetChar();
  void UngetChar(int c);
  bool ReadPhysicalLine();
  void SkipLineFeed();
  // No line is left: the current token becomes kEndOfInput with an empty text.
  void EndInput();
  int InstallLine(const char* data, std::size_t length);
  void SetText(const char* begin, const char* end);
  void ScanNumber();

  std::array<char, kTextSize> text_;
  int type_ = kEndOfInput;
  double value_ = 0.0;
  std::FILE* file_ = nullptr;
  int lineCount_ = 0;
  std::array<char, kLineSize> line_;
  std::size_t cursor_ = 0;
  bool lineComments_ = false;

  // In-memory input of OpenText.
  std::string memory_;
  std::size_t memoryPos_ = 0;
  bool memoryOpen_ = false;
};

}  // namespace Parser

#endif  // KARTOVEL_PARSER_TOKENIZER_H_
