// Expressions: binding and precedence, division guards, functions, failure positions, limits.
#include "parser/expression.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace Parser {
namespace {

struct Case {
  std::string input;
  double expected;
};

double Read(const std::string& text) {
  Tokenizer tokenizer;
  EXPECT_EQ(tokenizer.OpenText(text), 0);
  return ReadReal(tokenizer);
}

void ExpectValues(const Case* begin, const Case* end) {
  for (const Case* c = begin; c != end; ++c) {
    SCOPED_TRACE(c->input);
    EXPECT_DOUBLE_EQ(Read(c->input), c->expected);
  }
}

TEST(ExpressionValues, BindingAndPrecedence) {
  const Case cases[] = {
      {"90/2", 45},
      {"8/4/2", 4},
      {"8/2*2", 2},
      {"2-3+4", -5},
      {"2-3-4", 3},
      {"2*3+4", 10},
      {"2+3*4", 14},
      {"-2*3", -6},
      {"-3-4", -7},
      {"-(1+2)*2", -6},
      {"(1+2", 3},
      {"+ +5", 5},
      {"--5", 5},
      {"10d30m-90", -79.5},
      {"2 *\n 3", 6},
      {"(1 /* c */ + 2)", 3},
      {"\n\n  4 // four", 4},
  };
  ExpectValues(std::begin(cases), std::end(cases));
}

TEST(ExpressionValues, DivisionGuards) {
  const Case cases[] = {
      {"1/0", 0},
      {"0/0", 0},
      {"0/0.00000001", 0},
      {"1/0.00000001", 1e20},
      {"-1/0.00000001", -1e20},
      {"1/-0.00000001", -1e20},
      {"-1/-0.00000001", 1e20},
      {"1/0.0000001", 1e7},  // exactly the smallest divisor still divides
  };
  ExpectValues(std::begin(cases), std::end(cases));
}

TEST(ExpressionValues, Functions) {
  const Case cases[] = {
      {"^(1)", 2.718281828459045},
      {"**(0)", 1},
      {"^(1+1)*2", 2 * std::exp(2.0)},
      {"Bias(3,4)", 0},
      {"bias(3 4) + 1", 1},
      {"Bias(1,2,", 0},
      {"Bias(1 2 3 4 5 6 7 8 9 10)", 0},
      {"Bias(1 2 3 4 5 6 7 8 9 10 11)", 1e20},  // more arguments than value slots
      {"az", 1e20},
      {"az+1", 1e20},
      {"1+el", 1e20},
      {"Bias(az, 1)", 1e20},
  };
  ExpectValues(std::begin(cases), std::end(cases));
}

// Which token a read leaves current: the caller reads its next value or statement from there.
TEST(ExpressionFailures, TokenLeftCurrent) {
  struct Position {
    std::string input;
    double value;
    int type;
    const char* text;
  };
  const Position cases[] = {
      {"^ 1", 1e20, kNumber, "1"},
      {"2 * )", 1e20, kRightParen, ")"},
      {"2 3", 2, kNumber, "3"},
      {"5, 6", 5, kComma, ","},
      {"-2 -3", -5, kEndOfInput, ""},
      {"Bias(1,2,3)", 0, kNumber, "3"},
      {"^(1,2)", std::exp(1.0), kNumber, "2"},
      {"Bias()", 1e20, kRightParen, ")"},
      {"Scale 2", 1e20, kKeyScale, "Scale"},
      {"(1+ Offset", 1e20, kKeyOffset, "Offset"},
      {"- x", 1e20, kIdentifier, "x"},
      {"", 1e20, kEndOfInput, ""},
      {"1e+5", 6, kEndOfInput, ""},  // the exponent takes no "+"
  };
  for (const Position& c : cases) {
    SCOPED_TRACE(c.input);
    Tokenizer tokenizer;
    ASSERT_EQ(tokenizer.OpenText(c.input), 0);
    EXPECT_DOUBLE_EQ(ReadReal(tokenizer), c.value);
    EXPECT_EQ(tokenizer.GetType(), c.type);
    EXPECT_STREQ(tokenizer.GetText(), c.text);
  }
}

TEST(ExpressionValues, ReadIntTruncatesAndSaturates) {
  struct IntCase {
    const char* input;
    int expected;
  };
  const IntCase cases[] = {
      {"3.9", 3},
      {"-3.9", -3},
      {"1e10", 2147483647},
      {"-1e10", -2147483647},
      {"2147483646.9", 2147483646},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647},
      {"x", 2147483647},
      {"^(1000)-^(1000)", 2147483647},  // infinity minus infinity is no number
      {"1e999", 2147483647},
  };
  for (const IntCase& c : cases) {
    SCOPED_TRACE(c.input);
    Tokenizer tokenizer;
    ASSERT_EQ(tokenizer.OpenText(c.input), 0);
    EXPECT_EQ(ReadInt(tokenizer), c.expected);
  }
}

TEST(ExpressionLimits, DeepNestingFailsAndReadingGoesOn) {
  const std::string kOk = std::string(200, '(') + "1" + std::string(200, ')');
  const Case cases[] = {
      {kOk, 1},
      {std::string(200, '-') + "1", 1},
      {std::string(100000, '(') + "1", 1e20},
      {std::string(100000, '-') + "1", 1e20},
      {std::string(50000, '+') + "1", 1},  // a leading "+" nests nothing
  };
  ExpectValues(std::begin(cases), std::end(cases));

  // The nesting may span lines; after the refused read the next one starts where it stopped.
  std::string lines;
  for (int i = 0; i < 300; ++i) lines += "(\n";
  lines += "1\n, 7";
  Tokenizer tokenizer;
  ASSERT_EQ(tokenizer.OpenText(lines), 0);
  EXPECT_EQ(ReadReal(tokenizer), 1e20);
  EXPECT_EQ(tokenizer.GetType(), kLeftParen);
  EXPECT_EQ(ReadReal(tokenizer), 1);  // the remaining parentheses fit
  EXPECT_EQ(tokenizer.Next(), kNumber);
  EXPECT_EQ(ReadReal(tokenizer), 7);
}

TEST(ExpressionFold, ResultsAndTreeShape) {
  Tokenizer tokenizer;
  ASSERT_EQ(tokenizer.OpenText("1+2 az*3 4"), 0);

  std::unique_ptr<Expression> folded = ParseExpression(tokenizer);
  ASSERT_NE(folded, nullptr);
  EXPECT_EQ(folded->kind, Expression::kConstantNode);
  EXPECT_TRUE(folded->constant);
  EXPECT_TRUE(folded->children.empty());
  EXPECT_EQ(folded->values[0], 3);
  EXPECT_FALSE(Fold(*folded));  // a constant leaf folds no further

  std::unique_ptr<Expression> open = ParseExpression(tokenizer);
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(open->kind, Expression::kOperatorNode);
  EXPECT_EQ(open->op, kStar);
  EXPECT_FALSE(open->constant);
  ASSERT_EQ(open->children.size(), 2u);
  EXPECT_EQ(open->children[0]->op, kKeyAz);
  EXPECT_FALSE(open->children[1]->constant);  // not folded after the first open child

  EXPECT_EQ(tokenizer.GetValue(), 4);
}

}  // namespace
}  // namespace Parser
