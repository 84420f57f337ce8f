// Expression parsing and constant folding for the numeric values of Projection.txt.
#include "parser/expression.h"

#include <cmath>
#include <utility>

namespace Parser {
namespace {

using Node = std::unique_ptr<Expression>;

struct Function {
  int code;
  int arguments;
};

// The tokens that start a function call, with the number of arguments each takes.
constexpr Function kFunctions[] = {
    {kPower, 1},
    {kKeyBias, 2},
    {kKeyAz, 0},
    {kKeyEl, 0},
};

const Function* FindFunction(int code) {
  for (const Function& function : kFunctions) {
    if (function.code == code) return &function;
  }
  return nullptr;
}

Node MakeOperator(int op) {
  Node node = std::make_unique<Expression>();
  node->kind = Expression::kOperatorNode;
  node->op = op;
  return node;
}

Node MakeBinary(int op, Node left, Node right) {
  Node node = MakeOperator(op);
  node->children.push_back(std::move(left));
  node->children.push_back(std::move(right));
  return node;
}

// Tiny divisors never produce an infinity: they give 0 when either side is zero, else 1e20 with
// the sign of the quotient.
double Divide(double a, double b) {
  if (std::fabs(b) >= kMinDivisor) return a / b;
  if (a == 0.0 || b == 0.0) return 0.0;
  return std::signbit(a) != std::signbit(b) ? -kBadReal : kBadReal;
}

double Apply(int op, const std::array<double, Expression::kValueSlots>& v) {
  switch (op) {
    case kPlus:
      return v[0] + v[1];
    case kMinus:
      return v[0] - v[1];
    case kStar:
      return v[0] * v[1];
    case kSlash:
      return Divide(v[0], v[1]);
    case kUnaryMinus:
      return -v[0];
    case kPower:
      return std::exp(v[0]);
    default:
      return 0.0;  // Bias, and any code without a meaning
  }
}

// Recursive descent over the tokenizer. Every failure returns null; the unique_ptr ownership
// destroys whatever the failed branch had built.
class ExpressionParser {
 public:
  explicit ExpressionParser(Tokenizer& tokenizer) : tokenizer_(tokenizer) {}

  Node ParseExpression() {
    Node left = Primary();
    if (!left) return nullptr;
    int type = tokenizer_.GetType();
    if (type == kStar || type == kSlash) {
      tokenizer_.Next();
      Node right = Nested(&ExpressionParser::Term);
      if (!right) return nullptr;
      left = MakeBinary(type, std::move(left), std::move(right));
    }
    type = tokenizer_.GetType();
    if (type == kPlus || type == kMinus) {
      tokenizer_.Next();
      Node right = Nested(&ExpressionParser::ParseExpression);
      if (!right) return nullptr;
      left = MakeBinary(type, std::move(left), std::move(right));
    }
    return left;
  }

 private:
  Node Term() {
    Node left = Primary();
    if (!left) return nullptr;
    const int type = tokenizer_.GetType();
    if (type == kStar || type == kSlash) {
      tokenizer_.Next();
      Node right = Nested(&ExpressionParser::Term);
      if (!right) return nullptr;
      left = MakeBinary(type, std::move(left), std::move(right));
    }
    return left;
  }

  Node Primary() {
    while (tokenizer_.GetType() == kPlus) tokenizer_.Next();  // a leading "+" means nothing
    const int type = tokenizer_.GetType();
    if (type == kNumber) {
      Node node = std::make_unique<Expression>();
      node->values[0] = tokenizer_.GetValue();
      tokenizer_.Next();
      return node;
    }
    if (type == kLeftParen) {
      tokenizer_.Next();
      Node inner = Nested(&ExpressionParser::ParseExpression);
      if (inner && tokenizer_.GetType() == kRightParen) tokenizer_.Next();
      return inner;
    }
    if (type == kMinus) {
      tokenizer_.Next();
      Node operand = Nested(&ExpressionParser::Primary);
      if (!operand) return nullptr;
      Node node = MakeOperator(kUnaryMinus);
      node->children.push_back(std::move(operand));
      return node;
    }
    const Function* function = FindFunction(type);
    if (function == nullptr) return nullptr;
    tokenizer_.Next();
    if (function->arguments == 0) return MakeOperator(type);
    if (tokenizer_.GetType() != kLeftParen) return nullptr;
    tokenizer_.Next();
    Node node = MakeOperator(type);
    int counted = 0;
    for (;;) {
      Node argument = Nested(&ExpressionParser::ParseExpression);
      // Arguments without commas between them keep coming until ")"; more than the value slots
      // can hold make the call malformed.
      if (!argument || node->children.size() == Expression::kValueSlots) return nullptr;
      node->children.push_back(std::move(argument));
      if (tokenizer_.GetType() == kComma) {
        tokenizer_.Next();
        ++counted;
      }
      const int stop = tokenizer_.GetType();
      if (counted == function->arguments || stop == kRightParen || stop == kEndOfLine ||
          stop == kEndOfInput) {
        break;
      }
    }
    if (tokenizer_.GetType() == kRightParen) tokenizer_.Next();
    return node;
  }

  // Runs one nested rule, refusing to go deeper than kMaxNesting so that hostile input cannot
  // exhaust the stack (here, in folding, or in destroying the tree).
  Node Nested(Node (ExpressionParser::*rule)()) {
    if (depth_ >= kMaxNesting) return nullptr;
    ++depth_;
    Node node = (this->*rule)();
    --depth_;
    return node;
  }

  Tokenizer& tokenizer_;
  int depth_ = 0;
};

}  // namespace

std::unique_ptr<Expression> ParseExpression(Tokenizer& tokenizer) {
  tokenizer.Skip();
  Node tree = ExpressionParser(tokenizer).ParseExpression();
  tokenizer.Skip();
  if (tree) Fold(*tree);
  return tree;
}

bool Fold(Expression& node) {
  if (node.kind == Expression::kConstantNode) {
    node.constant = true;
    return false;
  }
  if (node.children.empty() || node.children.size() > Expression::kValueSlots) return false;
  for (std::size_t i = 0; i < node.children.size(); ++i) {
    Expression& child = *node.children[i];
    Fold(child);
    node.values[i] = child.values[0];
    if (!child.constant) return false;
  }
  node.values[0] = Apply(node.op, node.values);
  node.kind = Expression::kConstantNode;
  node.constant = true;
  node.children.clear();
  return true;
}

double ReadReal(Tokenizer& tokenizer) {
  const Node tree = ParseExpression(tokenizer);
  return tree && tree->constant ? tree->values[0] : kBadReal;
}

int ReadInt(Tokenizer& tokenizer) {
  const double value = ReadReal(tokenizer);
  if (std::isnan(value) || value >= 2147483647.0) return kBadInt;
  if (value <= -2147483647.0) return -2147483647;
  return static_cast<int>(value);
}

}  // namespace Parser
