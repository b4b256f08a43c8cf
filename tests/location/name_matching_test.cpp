// File-list patterns and ordering.

#include <gtest/gtest.h>

#include "location/name_matching.h"

namespace vondrel::location {
namespace {

TEST(MatchesWildcard, NamesMatchWithoutRegardToCase) {
  EXPECT_TRUE(MatchesWildcard(u"Data.mdb", u"Data.mdb"));
  EXPECT_TRUE(MatchesWildcard(u"DATA.MDB", u"Data.mdb"));
  EXPECT_TRUE(MatchesWildcard(u"gv_data.mdb", u"GV_Data.mdb"));
  EXPECT_TRUE(MatchesWildcard(u"ÄRZTE.mdb", u"ärzte.MDB"));
  EXPECT_TRUE(MatchesWildcard(u"ΔΕΔΟΜΕΝΑ.mdb", u"δεδομενα.mdb"));
  EXPECT_TRUE(MatchesWildcard(u"ДАННЫЕ.mdb", u"данные.mdb"));
  EXPECT_FALSE(MatchesWildcard(u"Data.mdb.bak", u"Data.mdb"));
  EXPECT_FALSE(MatchesWildcard(u"OldData.mdb", u"Data.mdb"));
  EXPECT_FALSE(MatchesWildcard(u"", u"Data.mdb"));
  EXPECT_FALSE(MatchesWildcard(u"Data.mdb", u""));
}

TEST(MatchesWildcard, StarAndQuestionMark) {
  EXPECT_TRUE(MatchesWildcard(u"a.mdb", u"*.mdb"));
  EXPECT_TRUE(MatchesWildcard(u".mdb", u"*.mdb"));
  EXPECT_TRUE(MatchesWildcard(u"x.y.MDB", u"*.mdb"));
  EXPECT_FALSE(MatchesWildcard(u"a.mdbx", u"*.mdb"));
  EXPECT_FALSE(MatchesWildcard(u"amdb", u"*.mdb"));
  EXPECT_TRUE(MatchesWildcard(u"a.mdb", u"?.mdb"));
  EXPECT_FALSE(MatchesWildcard(u"ab.mdb", u"?.mdb"));
  EXPECT_TRUE(MatchesWildcard(u"backup-2024-01.mdb", u"b*-*-??.mdb"));
  EXPECT_FALSE(MatchesWildcard(u"backup-2024-1.mdb", u"b*-*-??.mdb"));
  EXPECT_TRUE(MatchesWildcard(u"anything", u"*"));
  EXPECT_TRUE(MatchesWildcard(u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", u"*a*a*a*a*a*a*b"));
  EXPECT_FALSE(MatchesWildcard(u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", u"*a*a*a*a*a*a*b"));
}

TEST(MatchesWildcard, StarDotStarAlsoTakesNamesWithoutExtension) {
  EXPECT_TRUE(MatchesWildcard(u"README", u"*.*"));
  EXPECT_TRUE(MatchesWildcard(u"a.b", u"*.*"));
  EXPECT_TRUE(MatchesWildcard(u"Data", u"Data.*"));
  EXPECT_FALSE(MatchesWildcard(u"Dat", u"Data.*"));
}

TEST(MatchesPatternList, AnyPatternOfASemicolonList) {
  EXPECT_TRUE(MatchesPatternList(u"a.mdb", u"*.mdb;*.mde"));
  EXPECT_TRUE(MatchesPatternList(u"a.MDE", u"*.mdb;*.mde"));
  EXPECT_TRUE(MatchesPatternList(u"a.mde", u"*.mdb ; *.mde"));
  EXPECT_FALSE(MatchesPatternList(u"a.mdw", u"*.mdb;*.mde"));
  EXPECT_FALSE(MatchesPatternList(u"a.mdb", u""));
  EXPECT_FALSE(MatchesPatternList(u"a.mdb", u";;"));
  EXPECT_TRUE(MatchesPatternList(u"a.mdb", u";*.mdb;"));
}

TEST(SortNames, SortsWithoutRegardToCaseAndKeepsAFixedOrderForTwins) {
  std::vector<std::u16string> names{u"b.mdb", u"A.mdb", u"a.mdb", u"C.mdb", u"ab.mdb", u"a"};
  SortNames(names);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"a", u"A.mdb", u"a.mdb", u"ab.mdb", u"b.mdb", u"C.mdb"}));
}

}  // namespace
}  // namespace vondrel::location
