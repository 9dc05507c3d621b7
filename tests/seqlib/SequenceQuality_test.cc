#include "SequenceQuality.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <numeric>
#include <sstream>

namespace {

SequenceQuality Make(std::vector<int> values, std::string name = "q1", std::string desc = "d") {
  SequenceQuality q;
  q.mQual = std::move(values);
  q.mName = std::move(name);
  q.mDescription = std::move(desc);
  return q;
}

std::vector<int> Iota(int n, int first = 1) {
  std::vector<int> v(n);
  std::iota(v.begin(), v.end(), first);
  return v;
}

// Values first..first+n-1, each followed by a space, then "\n".
std::string Line(int first, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += std::to_string(first + i) + " ";
  return s + "\n";
}

std::string Printed(const SequenceQuality& q) {
  std::ostringstream os;
  q.Print(os);
  return os.str();
}

}  // namespace

TEST(SequenceQuality, PrintoutHas51ValuesOnFirstLineThen50) {
  EXPECT_EQ(Printed(Make({20, 30, 40})), ">q1 d\n20 30 40 \n");
  EXPECT_EQ(Printed(Make({}, "q", "")), ">q \n\n");
  EXPECT_EQ(Printed(Make({7})), ">q1 d\n7 \n");
  EXPECT_EQ(Printed(Make(Iota(51))), ">q1 d\n" + Line(1, 51));
  EXPECT_EQ(Printed(Make(Iota(52))), ">q1 d\n" + Line(1, 51) + Line(52, 1));
  EXPECT_EQ(Printed(Make(Iota(101))), ">q1 d\n" + Line(1, 51) + Line(52, 50));
  EXPECT_EQ(Printed(Make(Iota(102))), ">q1 d\n" + Line(1, 51) + Line(52, 50) + Line(102, 1));

  SequenceQualityVector list;
  list.AddQuality(Make({1}, "a", ""));
  list.AddQuality(Make({}, "b", "x y"));
  std::ostringstream os;
  list.Print(os);
  EXPECT_EQ(os.str(), ">a \n1 \n>b x y\n\n");
}

TEST(SequenceQuality, Phred20Searches) {
  EXPECT_EQ(Make({19, 20, -5, 40}).CountPhred20(), 2);
  const SequenceQuality q = Make({5, 10, 25, 3});
  const SequenceQuality none = Make({5, 10, 5});
  const SequenceQuality empty = Make({});
  const SequenceQuality first = Make({25, 10, 5});
  struct Case {
    const SequenceQuality& q;
    long arg;
    int find, rfind;
  } cases[] = {
      {q, 0, 2, 0},       {q, 3, 3, 2},     {q, -1, 3, 0},       {q, 2, 2, 2},
      {q, 99, 3, 2},      {none, 0, 2, 0},  {empty, 0, -1, 0},   {empty, -4, -1, 0},
      {first, 2, 2, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.q.FindPhred20(c.arg), c.find) << c.arg;
    EXPECT_EQ(c.q.RFindPhred20(c.arg), c.rfind) << c.arg;
  }
  EXPECT_EQ(Make({25, 10, 5}).RFindPhred20(), 0);
  EXPECT_EQ(Make({5, 10, 25}).RFindPhred20(), 2);
  EXPECT_EQ(none.RFindPhred20(), 0);
  EXPECT_EQ(empty.RFindPhred20(), 0);
}

TEST(SequenceQuality, EditingInPlace) {
  struct Case {
    long a, b;
    std::vector<int> out;
  } cases[] = {
      {1, 3, {0, 0, 30, 0, 0}},     {-1, -1, {30, 30, 30, 30, 30}}, {-1, 5, {30, 30, 30, 30, 30}},
      {0, 0, {0, 0, 0, 0, 0}},      {9, 9, {0, 0, 0, 0, 0}},        {-3, 4, {30, 30, 30, 30, 0}},
      {LONG_MAX, LONG_MIN, {0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SequenceQuality q = Make({30, 30, 30, 30, 30});
    q.Trim(c.a, c.b);
    EXPECT_EQ(q.mQual, c.out) << c.a << "," << c.b;
  }

  SequenceQuality q = Make({1, 2, 3});
  q.Reverse();
  EXPECT_EQ(q.mQual, (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(q.mName, "q1");
  q.Concatenate(Make({9}, "other", "z"));
  EXPECT_EQ(q.mQual, (std::vector<int>{3, 2, 1, 9}));
  EXPECT_EQ(q.mDescription, "d");
  q.Concatenate(q);
  EXPECT_EQ(q.mQual, (std::vector<int>{3, 2, 1, 9, 3, 2, 1, 9}));
}

TEST(SequenceQualityVector, BuildingAndStatistics) {
  SequenceQualityVector list;
  EXPECT_EQ(list.Phred20Total(), 0);
  float mean = 1, var = 1;
  list.Phred20Stats(mean, var);
  EXPECT_TRUE(std::isnan(mean));
  EXPECT_EQ(var, 0.0f);
  EXPECT_TRUE(std::signbit(var));

  list.GrowVec();
  EXPECT_TRUE(list.mQuals[0].mQual.empty());
  EXPECT_EQ(list.mQuals[0].mDescription, "");
  EXPECT_EQ(list.mQuals[0].mName, "");
  list.mQuals[0].mQual = {20};
  list.Phred20Stats(mean, var);
  EXPECT_EQ(mean, 1.0f);
  EXPECT_TRUE(std::isnan(var));

  // Adding one of the list's own records must copy it whole.
  for (int i = 0; i < 40; ++i) list.AddQuality(list.mQuals[0]);
  EXPECT_EQ(list.mQuals.size(), 41u);
  EXPECT_EQ(list.mQuals[40].mQual, (std::vector<int>{20}));

  SequenceQualityVector three;
  three.AddQuality(Make({20, 1}, "a", "x"));
  three.AddQuality(Make({20, 21}, "b", "y"));
  three.AddQuality(Make({20, 21, 22, 0}, "c", "z"));
  EXPECT_EQ(three.mQuals[2].mName, "c");
  EXPECT_EQ(three.mQuals[2].mDescription, "z");
  EXPECT_EQ(three.Phred20Total(), 6);
  three.Phred20Stats(mean, var);
  EXPECT_EQ(mean, 2.0f);
  EXPECT_EQ(var, 1.0f);

  // Deviations are single precision, sums double: 1, 1, 2 gives mean 4/3.
  three.mQuals[2].mQual = {20, 20};
  three.mQuals[1].mQual = {20};
  three.Phred20Stats(mean, var);
  const float m = static_cast<float>(4.0 / 3.0);
  double squares = 0;
  for (float k : {1.0f, 1.0f, 2.0f}) {
    const float d = k - m;
    squares += static_cast<double>(d) * d;
  }
  EXPECT_EQ(mean, m);
  EXPECT_EQ(var, static_cast<float>(0.5 * squares));
}
