// Constant expressions: every numeric value of Projection.txt is parsed from the tokenizer and
// reduced to one number (90/2, (10+5)*2, 10d30m-90).
//
// Grammar (operators of one level bind to the right: 8/4/2 is 4, 2-3+4 is -5):
//   expression := primary [("*" | "/") term] [("+" | "-") expression]
//   term       := primary [("*" | "/") term]
//   primary    := number | "(" expression [")"] | "+" primary | "-" primary
//               | "az" | "el" | "^" "(" args ")" | "Bias" "(" args ")"
// "^(a)" is e to the power a; "Bias(a, b)" is 0; "az" and "el" are never constant. A divisor
// smaller than 1e-7 in magnitude gives 0 when either operand is 0, else 1e20 with the sign of the
// quotient. Nesting deeper than kMaxNesting (parentheses, signs, right operands, arguments) fails
// the expression like any malformed one.
#ifndef KARTOVEL_PARSER_EXPRESSION_H_
#define KARTOVEL_PARSER_EXPRESSION_H_

#include <array>
#include <memory>
#include <vector>

#include "parser/tokenizer.h"

namespace Parser {

inline constexpr double kBadReal = 1e20;    // what ReadReal gives when nothing constant parsed
inline constexpr int kBadInt = 2147483647;  // what ReadInt gives on failure (and at the top)
inline constexpr int kMaxNesting = 256;     // deepest accepted nesting of an expression
inline constexpr double kMinDivisor = 0.0000001;  // smaller divisors do not divide

// One node of a parsed expression. A node owns its children; destroying it destroys the subtree.
class Expression {
 public:
  static constexpr int kOperatorNode = 1;
  static constexpr int kConstantNode = 2;
  static constexpr int kValueSlots = 10;  // also the most children a node may have

  Expression() = default;
  Expression(const Expression&) = delete;
  Expression& operator=(const Expression&) = delete;
  virtual ~Expression() = default;

  int kind = kConstantNode;
  bool constant = false;  // set by Fold when the node holds its final value
  int op = 0;             // operator node: token code of the operator or function (kUnaryMinus)
  std::vector<std::unique_ptr<Expression>> children;  // operands or arguments, left to right
  // Slot 0 is the node's value; while folding, slot i receives the value of child i.
  std::array<double, kValueSlots> values{};
};

// Parses one expression starting at the tokenizer's current token (ends of line and comments
// before it are skipped) and folds it. Returns the folded tree, or null when nothing could be
// parsed. The tokenizer is left on the first significant token after the expression; after a
// failure, on the token where parsing stopped (tokens consumed before stay consumed).
std::unique_ptr<Expression> ParseExpression(Tokenizer& tokenizer);

// The constant value of the next expression; kBadReal when it fails or is not constant.
double ReadReal(Tokenizer& tokenizer);

// ReadReal truncated toward zero to 32 bits: kBadInt for values of 2147483647.0 or more and on
// failure (NaN included), -2147483647 for values of -2147483647.0 or less.
int ReadInt(Tokenizer& tokenizer);

// Folds `node` bottom-up. True when the node was turned into a constant (an operator whose
// children were all constant); false for a leaf constant (marked constant all the same), for "az"
// and "el", and for an operator with a non-constant child (children after it stay unfolded).
bool Fold(Expression& node);

}  // namespace Parser

#endif  // KARTOVEL_PARSER_EXPRESSION_H_
