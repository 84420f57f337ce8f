// Tokenizer: line reading, token scanning, degree/minute/second numbers and comment skipping.
#include "parser/tokenizer.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

namespace Parser {
namespace {

struct Keyword {
  const char* name;
  int code;
};

// Only the keywords this program gives a meaning; any other word is an identifier.
constexpr Keyword kKeywords[] = {
    {"Bias", kKeyBias},
    {"az", kKeyAz},
    {"el", kKeyEl},
    {"Scale", kKeyScale},
    {"Projection", kKeyProjection},
    {"Segment", kKeySegment},
    {"Offset", kKeyOffset},
    {"Effective", kKeyEffective},
    {"Extent", kKeyExtent},
    {"Exclude", kKeyExclude},
    {"Rotate", kKeyRotate},
    {"Description", kKeyDescription},
    {"EndSegment", kKeyEndSegment},
    {"EndProjection", kKeyEndProjection},
    {"NoCache", kKeyNoCache},
};

constexpr double kMinute = 0.016666666666666666;   // 1/60
constexpr double kSecond = 0.0002777777777777778;  // 1/3600

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsWordChar(unsigned char c) { return IsLetter(c) || IsDigit(c) || c == '_'; }
unsigned char Lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// Single characters with a code of their own ("." only when no digit follows it).
struct Punctuation {
  char character;
  int code;
};

constexpr Punctuation kPunctuation[] = {
    {'@', kAtSign},  {':', kColon},    {',', kComma},      {'{', kLeftBrace},  {'[', kLeftBracket},
    {'%', kPercent}, {'?', kQuestion}, {'}', kRightBrace}, {')', kRightParen}, {']', kRightBracket},
    {'+', kPlus},    {'-', kMinus},    {'^', kPower},      {'(', kLeftParen},  {'*', kStar},
    {'/', kSlash},   {'.', kDot},
};

int SingleCharCode(unsigned char c) {
  for (const Punctuation& p : kPunctuation) {
    if (static_cast<unsigned char>(p.character) == c) return p.code;
  }
  return kOther;
}

// Decimal text (digits, ".", digits, "e", "-", digits; validated by the caller) to double. Reads
// the longest valid prefix, like the C library's conversion but independent of the locale that a
// GUI toolkit may have set. Out of range gives infinity or zero, as that conversion does.
double ConvertDecimal(const char* first, const char* last) {
  double result = 0.0;
  const auto [end, error] = std::from_chars(first, last, result, std::chars_format::general);
  if (error != std::errc::result_out_of_range) return result;
  // Overflow or underflow, decided by the decimal magnitude of the leading significant digit.
  long magnitude = 0;
  bool seenPoint = false;
  bool seenSignificant = false;
  const char* p = first;
  for (; p < end && *p != 'e' && *p != 'E'; ++p) {
    if (*p == '.') {
      seenPoint = true;
    } else if (seenSignificant) {
      if (!seenPoint) ++magnitude;
    } else if (seenPoint) {
      --magnitude;
      seenSignificant = *p != '0';
    } else {
      seenSignificant = *p != '0';
    }
  }
  long exponent = 0;
  if (p < end) {
    ++p;
    const bool negative = p < end && *p == '-';
    if (negative) ++p;
    for (; p < end && exponent < 1000000; ++p) exponent = exponent * 10 + (*p - '0');
    if (negative) exponent = -exponent;
  }
  return magnitude + exponent > 0 ? HUGE_VAL : 0.0;
}

}  // namespace

int LookupKeyword(std::string_view word) {
  for (const Keyword& keyword : kKeywords) {
    if (EqualNoCase(word, keyword.name)) return keyword.code;
  }
  return kIdentifier;
}

Tokenizer::Tokenizer() { Reset(); }

Tokenizer::~Tokenizer() { Reset(); }

void Tokenizer::Reset() {
  // Forgetting an open file would leak its handle, so it is closed rather than dropped.
  Close();
  line_.fill('\0');
  cursor_ = 0;
  text_[0] = '\0';
  type_ = kEndOfInput;
  value_ = 0.0;
  lineCount_ = 0;
  lineComments_ = false;
}

int Tokenizer::Open(const std::string& path) {
  if (HasInput()) return -1;
  file_ = std::fopen(path.c_str(), "r");
  if (file_ == nullptr) return -2;
  lineCount_ = 0;
  lineComments_ = true;
  ReadLine();
  return 0;
}

int Tokenizer::OpenText(std::string_view text) {
  if (HasInput()) return -1;
  memory_.assign(text);
  memoryPos_ = 0;
  memoryOpen_ = true;
  lineCount_ = 0;
  lineComments_ = true;
  ReadLine();
  return 0;
}

int Tokenizer::Close() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
    return 0;
  }
  if (memoryOpen_) {
    memory_.clear();
    memory_.shrink_to_fit();
    memoryPos_ = 0;
    memoryOpen_ = false;
    return 0;
  }
  return -1;
}

int Tokenizer::GetChar() {
  if (file_ != nullptr) return std::getc(file_);
  if (memoryOpen_ && memoryPos_ < memory_.size()) {
    return static_cast<unsigned char>(memory_[memoryPos_++]);
  }
  return EOF;
}

void Tokenizer::UngetChar(int c) {
  if (file_ != nullptr) {
    std::ungetc(c, file_);
  } else if (memoryOpen_) {
    --memoryPos_;
  }
}

// After a carriage return: a line feed that follows belongs to the same line end (CR LF).
void Tokenizer::SkipLineFeed() {
  const int c = GetChar();
  if (c != '\n' && c != EOF) UngetChar(c);
}

// Reads up to kMaxLineLength characters of the current physical line into the line buffer and
// installs them. A newline that directly follows a full-length piece belongs to that piece, so a
// line of exactly kMaxLineLength characters is not followed by an empty one.
bool Tokenizer::ReadPhysicalLine() {
  if (!HasInput()) return false;
  char piece[kMaxLineLength];
  std::size_t length = 0;
  bool sawNewline = false;
  while (length < sizeof(piece)) {
    const int c = GetChar();
    if (c == EOF) break;
    if (c == '\n' || c == '\r') {
      sawNewline = true;
      if (c == '\r') SkipLineFeed();
      break;
    }
    piece[length++] = static_cast<char>(c);
  }
  if (length == 0 && !sawNewline) return false;
  if (length == sizeof(piece) && !sawNewline) {
    const int c = GetChar();
    if (c == '\r') {
      SkipLineFeed();
    } else if (c != '\n' && c != EOF) {
      UngetChar(c);
    }
  }
  ++lineCount_;
  InstallLine(piece, length);
  return true;
}

int Tokenizer::SetLine(const char* text) {
  return InstallLine(text, strnlen(text, kMaxLineLength));
}

int Tokenizer::InstallLine(const char* data, std::size_t length) {
  std::memcpy(line_.data(), data, length);
  // Control characters (NUL bytes read from a file included) become spaces.
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned char c = line_[i];
    if (c < 0x20 || c == 0x7f) line_[i] = ' ';
  }
  if (lineComments_) {
    for (std::size_t i = 0; i + 1 < length; ++i) {
      if (line_[i] == '/' && line_[i + 1] == '/') {
        length = i;
        break;
      }
    }
  }
  line_[length] = '\0';
  line_[length + 1] = '\0';
  cursor_ = 0;
  return Scan();
}

void Tokenizer::EndInput() {
  type_ = kEndOfInput;
  text_[0] = '\0';
}

bool Tokenizer::ReadLine() {
  if (!ReadPhysicalLine()) {
    EndInput();
    return false;
  }
  Skip();
  return true;
}

void Tokenizer::SetText(const char* begin, const char* end) {
  std::size_t length = static_cast<std::size_t>(end - begin);
  if (length > kTextSize - 1) length = kTextSize - 1;
  std::memcpy(text_.data(), begin, length);
  text_[length] = '\0';
}

int Tokenizer::Scan() {
  text_[0] = '\0';
  type_ = kEndOfLine;
  value_ = 0.0;
  if (line_[cursor_] == '\0') return type_;
  while (line_[cursor_] == ' ') ++cursor_;

  const char* start = line_.data() + cursor_;
  const unsigned char c = line_[cursor_];
  const unsigned char next = c == '\0' ? '\0' : line_[cursor_ + 1];
  if (IsLetter(c) || c == '_') {
    while (IsWordChar(line_[cursor_])) ++cursor_;
    SetText(start, line_.data() + cursor_);
    type_ = LookupKeyword(std::string_view(start, line_.data() + cursor_ - start));
  } else if (IsDigit(c) || (c == '.' && IsDigit(next))) {
    ScanNumber();
    const char* end = line_.data() + cursor_;
    while (end > start && end[-1] == ' ') --end;
    SetText(start, end);
    type_ = kNumber;
  } else if (c == '"' || c == '\'') {
    ++cursor_;
    const char* body = line_.data() + cursor_;
    while (line_[cursor_] != '\0' && static_cast<unsigned char>(line_[cursor_]) != c) ++cursor_;
    SetText(body, line_.data() + cursor_);
    if (line_[cursor_] != '\0') ++cursor_;
    type_ = kString;
  } else if (c == '\0') {
    type_ = kEndOfLine;
  } else {
    // Two-character tokens: comment openers and closers, and "**".
    int length = 2;
    if (c == '(' && next == '*') {
      type_ = kCommentOpen;
    } else if (c == '*' && next == '*') {
      type_ = kPower;
    } else if (c == '*' && (next == ')' || next == '/')) {
      type_ = kCommentClose;
    } else if (c == '/' && next == '*') {
      type_ = kCommentOpen;
    } else if (c == '/' && next == '/') {
      type_ = kLineComment;
    } else {
      length = 1;
      type_ = SingleCharCode(c);
    }
    cursor_ += length;
    SetText(start, start + length);
  }
  return type_;
}

// Scans number parts from the cursor: each part is digits, an optional "." with digits, and an
// optional exponent ("e", optional "-", digits). A part followed by d, m/' or s/" is added in that
// unit and scanning goes on after the suffix and any spaces; a part without suffix replaces the
// sum and ends the number. A part without digits before its exponent changes nothing and ends the
// number, though its characters stay consumed.
void Tokenizer::ScanNumber() {
  double sum = 0.0;
  for (;;) {
    const char* first = line_.data() + cursor_;
    int mantissaDigits = 0;
    while (IsDigit(line_[cursor_])) {
      ++cursor_;
      ++mantissaDigits;
    }
    if (line_[cursor_] == '.') {
      ++cursor_;
      while (IsDigit(line_[cursor_])) {
        ++cursor_;
        ++mantissaDigits;
      }
    }
    if (line_[cursor_] == 'e' || line_[cursor_] == 'E') {
      ++cursor_;
      if (line_[cursor_] == '-') ++cursor_;
      while (IsDigit(line_[cursor_])) ++cursor_;
    }
    if (mantissaDigits == 0) break;
    const double part = ConvertDecimal(first, line_.data() + cursor_);

    const char suffix = line_[cursor_];
    if (suffix == 'd' || suffix == 'D') {
      sum += part;
    } else if (suffix == 'm' || suffix == 'M' || suffix == '\'') {
      sum += part * kMinute;
    } else if (suffix == 's' || suffix == 'S' || suffix == '"') {
      sum += part * kSecond;
    } else {
      sum = part;
      break;
    }
    ++cursor_;
    while (line_[cursor_] == ' ') ++cursor_;
  }
  value_ = sum;
}

// Comment skipping without recursion. Reading a line inside a block comment first skips that
// line's leading blank lines and comments, and an opener there starts a comment of its own that
// must close before the search for the outer closer goes on; `depth` counts those comments.
void Tokenizer::Skip() {
  int depth = 0;
  bool inComment = false;
  for (;;) {
    if (type_ == kEndOfInput) return;
    if (!inComment) {
      if (type_ == kEndOfLine || type_ == kLineComment) {
        if (!ReadPhysicalLine()) return EndInput();
      } else if (type_ == kCommentOpen) {
        ++depth;
        inComment = true;
        Scan();
      } else if (depth == 0) {
        return;
      } else {
        // The first significant token of a line read inside a comment: the comment goes on
        // from it.
        inComment = true;
      }
    } else if (type_ == kCommentClose) {
      Scan();
      --depth;
      inComment = false;
    } else if (type_ == kEndOfLine) {
      if (!ReadPhysicalLine()) return EndInput();
      inComment = false;
    } else {
      Scan();
    }
  }
}

int Tokenizer::Next() {
  Skip();
  Scan();
  if (type_ == kEndOfLine || type_ == kCommentOpen || type_ == kLineComment) Skip();
  return type_;
}

}  // namespace Parser
