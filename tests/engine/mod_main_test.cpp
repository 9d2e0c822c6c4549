// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/mod_main.h"

#include <gtest/gtest.h>

#include "sources/qt_print.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

#include "engine/quick_sort.h"
#include "platform/vb_error.h"

namespace verdaline {
namespace {

using Strings = std::vector<QString>;

Strings S(std::initializer_list<const char*> items) {
  Strings out;
  for (const char* s : items) out.push_back(QString::fromUtf8(s));
  return out;
}

int ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const VbError& e) {
    return e.number();
  }
  return 0;
}

TEST(QuickSortStrings, PivotIsTheMiddleRoundedHalfToEven) {
  using sorting::PivotPosition;
  EXPECT_EQ(PivotPosition(0, 1), 0);
  EXPECT_EQ(PivotPosition(0, 3), 2);
  EXPECT_EQ(PivotPosition(1, 2), 2);
  EXPECT_EQ(PivotPosition(2, 3), 2);
  EXPECT_EQ(PivotPosition(0, 5), 2);
  EXPECT_EQ(PivotPosition(3, 4), 4);
  EXPECT_EQ(PivotPosition(4, 8), 6);
  EXPECT_EQ(PivotPosition(0, -1), 0);
  EXPECT_EQ(PivotPosition(-3, 0), -2);
  EXPECT_EQ(PivotPosition(40000, 40001), 40000);  // past 16 bits: no overflow now
  EXPECT_EQ(ErrorOf([] { PivotPosition(INT64_MAX, 1); }), 6);
}

TEST(QuickSortStrings, OrdinalUtf16Order) {
  Strings paths = S({"Mail\\Inbox", "Mail", "Mail Archive", "a", "Z", "", "mail", "Ä"});
  QuickSortStrings(paths, 0, 7);
  EXPECT_EQ(paths, S({"", "Mail", "Mail Archive", "Mail\\Inbox", "Z", "a", "mail", "Ä"}));

  // Code-unit order, not code-point order: a surrogate pair (U+1F4E7) sorts
  // before U+FFFD, as QString's operator< compares UTF-16 units.
  const QString high = QString::fromUtf8("\xF0\x9F\x93\xA7");
  const QString bmp(QChar(0xFFFD));
  ASSERT_TRUE(high < bmp);
  Strings mixed{bmp, high, QString(QChar(0xE000))};
  QuickSortStrings(mixed, 0, 2);
  EXPECT_EQ(mixed, (Strings{high, QString(QChar(0xE000)), bmp}));
}

TEST(QuickSortStrings, StretchesAndBounds) {
  Strings one = S({"b", "a"});
  QuickSortStrings(one, 1, 1);
  EXPECT_EQ(one, S({"b", "a"}));

  Strings same = S({"x", "x", "x", "x", "x"});
  QuickSortStrings(same, 0, 4);
  EXPECT_EQ(same, S({"x", "x", "x", "x", "x"}));

  Strings part = S({"z", "d", "c", "b", "a"});
  QuickSortStrings(part, 1, 3);
  EXPECT_EQ(part, S({"z", "b", "c", "d", "a"}));

  // hi < lo moves nothing, but still reads at lo, hi and the middle.
  Strings list = S({"c", "b", "a"});
  QuickSortStrings(list, 2, 1);
  EXPECT_EQ(list, S({"c", "b", "a"}));
  EXPECT_EQ(ErrorOf([&] { QuickSortStrings(list, 0, -1); }), 9);
  EXPECT_EQ(ErrorOf([&] { QuickSortStrings(list, 0, 3); }), 9);
  Strings empty;
  EXPECT_EQ(ErrorOf([&] { QuickSortStrings(empty, 0, -1); }), 9);
  EXPECT_EQ(list, S({"c", "b", "a"}));

  QStringList qt{"b", "c", "a"};
  QuickSortStrings(qt, 0, 2);
  EXPECT_EQ(qt, (QStringList{"a", "b", "c"}));
}

// Random strings over a small alphabet, with many repeats and prefixes.
Strings RandomPaths(std::mt19937& rng, std::size_t n, int alphabet) {
  std::uniform_int_distribution<int> length(0, 6);
  std::uniform_int_distribution<int> letter(0, alphabet - 1);
  const QString letters = QStringLiteral("\\ Aa0Zz\u00E4\u4E2D");
  Strings out(n);
  for (QString& s : out) {
    const int len = length(rng);
    for (int k = 0; k < len; ++k) s += letters[letter(rng) % letters.size()];
  }
  return out;
}

void ExpectSortsLikeStdSort(Strings list, const char* what) {
  Strings reference = list;
  std::sort(reference.begin(), reference.end());
  const int depth = QuickSortStringsDepth(list, 0, static_cast<std::int64_t>(list.size()) - 1);
  EXPECT_EQ(list, reference) << what;
  // The smaller side recurses, so each level at least halves the stretch.
  EXPECT_LE(depth, std::log2(static_cast<double>(list.size())) + 2) << what;
}

TEST(QuickSortStrings, AgreesWithStdSortOnRandomLists) {
  std::mt19937 rng(20261207);
  for (std::size_t n : {2u, 3u, 7u, 16u, 100u, 1000u, 5000u}) {
    for (int alphabet : {1, 2, 9}) {
      ExpectSortsLikeStdSort(RandomPaths(rng, n, alphabet), "random");
    }
  }
}

Strings Numbered(const std::vector<int>& values) {
  Strings out;
  out.reserve(values.size());
  for (int v : values) out.push_back(QStringLiteral("Mail\\%1").arg(v, 7, 10, QChar(u'0')));
  return out;
}

// An input on which this quicksort does the most work it can: McIlroy's
// adversary ("A Killer Adversary for Quicksort") decides each comparison as
// late as possible while the sort runs, and the answers it settled on are
// then turned into real values.
std::vector<int> KillerInput(int n, long* comparisons) {
  std::vector<int> value(static_cast<std::size_t>(n), n);  // n = "gas", not yet decided
  int solid = 0;
  int candidate = -1;
  long count = 0;
  auto less = [&](int x, int y) {
    ++count;
    auto& vx = value[static_cast<std::size_t>(x)];
    auto& vy = value[static_cast<std::size_t>(y)];
    if (vx == n && vy == n) (x == candidate ? vx : vy) = solid++;
    if (vx == n) candidate = x;
    else if (vy == n) candidate = y;
    return vx < vy;
  };
  std::vector<int> items(static_cast<std::size_t>(n));
  std::iota(items.begin(), items.end(), 0);
  sorting::QuickSortRange(items, 0, n - 1, less);
  *comparisons = count;
  return value;
}

TEST(QuickSortStrings, AdversarialOrdersKeepTheRecursionShallow) {
  const int n = 100000;
  std::vector<int> ascending(n);
  std::iota(ascending.begin(), ascending.end(), 0);
  std::vector<int> descending(ascending.rbegin(), ascending.rend());
  std::vector<int> organPipe(n);
  for (int k = 0; k < n; ++k) organPipe[static_cast<std::size_t>(k)] = k < n / 2 ? k : n - 1 - k;
  std::mt19937 rng(7);
  std::vector<int> shuffled = ascending;
  std::shuffle(shuffled.begin(), shuffled.end(), rng);

  ExpectSortsLikeStdSort(Numbered(ascending), "sorted");
  ExpectSortsLikeStdSort(Numbered(descending), "reversed");
  ExpectSortsLikeStdSort(Numbered(std::vector<int>(n, 42)), "all equal");
  ExpectSortsLikeStdSort(Numbered(organPipe), "organ pipe");
  ExpectSortsLikeStdSort(Numbered(shuffled), "100,000 shuffled");

  // The adversary's input must really be quadratic for this pivot rule,
  // or it would prove nothing about the depth.
  const int k = 6000;
  long comparisons = 0;
  const std::vector<int> killer = KillerInput(k, &comparisons);
  EXPECT_GT(comparisons, static_cast<long>(k) * k / 8);
  ExpectSortsLikeStdSort(Numbered(killer), "adversary");
}

TEST(RemoveDuplicates, CollapsesRunsAndDropsEmptyEntries) {
  struct Case {
    Strings in;
    Strings out;
  };
  const Case cases[] = {
      {S({"", "", "a", "a", "a", "b", "c", "c"}), S({"a", "b", "c"})},
      {S({"only"}), S({"only"})},
      {S({"x", ""}), S({"x"})},
      {S({"a", "b", "a"}), S({"a", "b", "a"})},
      {S({"a", "", "a"}), S({"a", "a"})},
      {S({"a", "a", "", "a", "a"}), S({"a", "a"})},
      {S({"Mail", "Mail", "Mail\\Inbox", "mail"}), S({"Mail", "Mail\\Inbox", "mail"})},
  };
  for (const Case& c : cases) {
    Strings list = c.in;
    RemoveDuplicates(list);
    EXPECT_EQ(list, c.out);
    QStringList qt(c.in.begin(), c.in.end());
    RemoveDuplicates(qt);
    EXPECT_EQ(qt, QStringList(c.out.begin(), c.out.end()));
  }
}

TEST(RemoveDuplicates, NothingLeftIsSubscriptOutOfRange) {
  for (Strings list : {S({""}), S({"", "", ""}), Strings{}}) {
    const Strings before = list;
    EXPECT_EQ(ErrorOf([&] { RemoveDuplicates(list); }), 9);
    EXPECT_EQ(list, before);
  }
}

TEST(RemoveDuplicates, AfterSortingEachPathOnce) {
  std::mt19937 rng(99);
  for (int round = 0; round < 20; ++round) {
    Strings list = RandomPaths(rng, 2000, 3);
    list.push_back(QStringLiteral("kept"));
    QuickSortStrings(list, 0, static_cast<std::int64_t>(list.size()) - 1);
    Strings expected = list;
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    expected.erase(std::remove(expected.begin(), expected.end(), QString()), expected.end());
    RemoveDuplicates(list);
    EXPECT_EQ(list, expected);
  }
}

}  // namespace
}  // namespace verdaline
