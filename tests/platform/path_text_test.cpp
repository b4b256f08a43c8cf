#include "platform/path_text.h"

#include <gtest/gtest.h>

namespace vondrel::platform {
namespace {

TEST(PathTextConversion, RoundTripsEveryPlane) {
  std::u16string text = u"Dat\u00e9i \u0416 \u20ac \U0001F600.mdb";
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(ToUtf8(u"\u00e9"), "\xC3\xA9");
  EXPECT_EQ(ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(PathTextConversion, BrokenInputBecomesReplacementCharacter) {
  EXPECT_EQ(FromUtf8("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong form
  EXPECT_EQ(FromUtf8("\xE2\x82"), u"\uFFFD\uFFFD");  // cut short
  std::u16string lone{u'a', char16_t(0xD800), u'b'};
  EXPECT_EQ(ToUtf8(lone), "a\xEF\xBF\xBD" "b");
}

TEST(PathTextConversion, HostNamesThatAreNotUtf8SurviveTheRoundTrip) {
  std::string latin1Name = "caf\xE9.mdb";
  std::u16string shown = FromHostName(latin1Name);
  EXPECT_EQ(shown.size(), latin1Name.size());
  EXPECT_EQ(ToHostName(shown), latin1Name);
  EXPECT_EQ(ToHostName(FromHostName("na\xC3\xAFve")), "na\xC3\xAFve");
}

TEST(NameComparison, IgnoresCaseOfLatinGreekAndCyrillicLetters) {
  EXPECT_TRUE(SameNameIgnoringCase(u"Data.MDB", u"data.mdb"));
  EXPECT_TRUE(SameNameIgnoringCase(u"\u00c9T\u00c9", u"\u00e9t\u00e9"));
  EXPECT_TRUE(SameNameIgnoringCase(u"\u0141\u00f3d\u017a", u"\u0142\u00d3D\u0179"));
  EXPECT_TRUE(SameNameIgnoringCase(u"\u0414\u0410\u041d\u041d\u042b\u0415", u"\u0434\u0430\u043d\u043d\u044b\u0435"));
  EXPECT_TRUE(SameNameIgnoringCase(u"\u03a3\u03a9", u"\u03c2\u03c9"));
  EXPECT_FALSE(SameNameIgnoringCase(u"data.mdb", u"data.mdc"));
  EXPECT_FALSE(SameNameIgnoringCase(u"data", u"data.mdb"));
  EXPECT_FALSE(SameNameIgnoringCase(u"\u00f7", u"\u00d7"));  // division and multiplication signs are no pair
}

TEST(PathComposition, FolderBackslashName) {
  EXPECT_EQ(JoinPath(u"c:\\Program Files\\Tamberlo", u"Data.mdb"), u"c:\\Program Files\\Tamberlo\\Data.mdb");
  EXPECT_EQ(JoinPath(u"C:\\", u"Data.mdb"), u"C:\\\\Data.mdb");
}

TEST(PathComposition, SplitsAtTheLastSeparator) {
  auto split = SplitLastComponent(u"C:\\a\\b\\Data.MDB");
  EXPECT_EQ(split.folder, u"C:\\a\\b");
  EXPECT_EQ(split.name, u"Data.MDB");
  EXPECT_EQ(SplitLastComponent(u"C:\\Data.mdb").folder, u"C:\\");
  EXPECT_EQ(SplitLastComponent(u"C:Data.mdb").folder, u"C:");
  EXPECT_EQ(SplitLastComponent(u"C:Data.mdb").name, u"Data.mdb");
  EXPECT_EQ(SplitLastComponent(u"Data.mdb").folder, u"");
  EXPECT_EQ(SplitLastComponent(u"C:/a/x.mdb").folder, u"C:/a");
}

TEST(FolderBranch, RunsFromTheDriveRootDownToTheFolder) {
  EXPECT_EQ(FolderChain(u"C:\\Program Files\\Tamberlo"),
            (std::vector<PathText>{u"C:\\", u"C:\\Program Files", u"C:\\Program Files\\Tamberlo"}));
  EXPECT_EQ(FolderChain(u"C:\\"), std::vector<PathText>{u"C:\\"});
  EXPECT_EQ(FolderChain(u"C:\\A\\\\B\\"), (std::vector<PathText>{u"C:\\", u"C:\\A", u"C:\\A\\\\B"}))
      << "an empty component and a trailing separator add no entry";
  EXPECT_TRUE(FolderChain(u"").empty());
}

TEST(FolderBranch, NamesTheLastComponentAndComposesChildren) {
  EXPECT_EQ(LastComponent(u"C:\\Program Files\\Tamberlo"), u"Tamberlo");
  EXPECT_EQ(LastComponent(u"C:\\"), u"C:\\");
  EXPECT_EQ(ChildFolder(u"C:\\", u"Windows"), u"C:\\Windows");
  EXPECT_EQ(ChildFolder(u"C:\\Windows", u"System"), u"C:\\Windows\\System");
}

}  // namespace
}  // namespace vondrel::platform
