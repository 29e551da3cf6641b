#include "text/PString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

namespace {

// A P-string built from text (at most 255 characters); s for variable arguments.
struct P {
  PStr255 s;
  explicit P(const std::string& t) { s[0] = uint8_t(t.size()), memcpy(s + 1, t.data(), t.size()); }
  operator PStrPtr() { return s; }
};
std::string Text(ConstPStrPtr p) { return std::string(reinterpret_cast<const char*>(p + 1), p[0]); }
const ConstPStrPtr kEnd = nullptr;

TEST(PStringRing, TwentiethTemporaryIsTheSameSlot) {
  const PStrPtr first = PStrNext();
  for (int i = 1; i < 20; ++i) EXPECT_NE(PStrNext(), first) << i;
  EXPECT_EQ(PStrNext(), first);
  // Results that take temporaries share the ring, one slot each.
  const PStrPtr kept = PS("kept");
  for (int i = 0; i < 19; ++i) PStrNum(i);
  EXPECT_EQ(Text(kept), "kept");
  PStrNum(12345);
  EXPECT_EQ(Text(kept), "12345");
}

TEST(PStringConversion, TruncatesAt255AndRoundTrips) {
  std::string longText(300, 'x'), inPlace = longText;
  longText[254] = inPlace[254] = 'y';
  const std::string first255 = longText.substr(0, 255);
  PStr255 p, copy, copy2;
  EXPECT_EQ(Text(PStrCToP(longText.c_str(), p)), first255);
  EXPECT_EQ(Text(PStrC2P(inPlace.data())), first255);
  EXPECT_STREQ(CS(p), first255.c_str());  // 255 characters and the zero fit a slot
  EXPECT_STREQ(PStrP2C(P("abc")), "abc");
  CopyStr(copy, longText.c_str());
  CopyPStr(copy2, copy);
  EXPECT_EQ(Text(copy2), first255);
}

TEST(PStringSearch, CharactersSubstringsAndComparisons) {
  EXPECT_EQ(CStrIn(0xC8, "a\xC8" "b"), 1);  // unsigned characters
  EXPECT_EQ(CStrIn('z', "ab"), -1);
  EXPECT_TRUE(PStrIn('c', P("abc")) == 3 && PStrIn('q', P("abc")) == 0);
  EXPECT_EQ(PStrPos(P("bc"), P("abc")), 2u);
  P abc("abc");
  abc.s[4] = 'd';  // a stray byte after the length must not match
  EXPECT_EQ(PStrPos(P("cd"), abc), 0u);
  EXPECT_EQ(PStrPos(P(""), abc), 1u);
  EXPECT_EQ(PStrPos(P(""), P("")), 0u);  // nothing is found in an empty string
  // Byte order (unsigned), then length.
  const std::tuple<const char*, const char*, int> order[] = {
      {"abc", "abcde", -2}, {"abd", "abc", 1}, {"B", "a", -1}, {"", "", 0}, {"\xE9", "a", 1}};
  for (const auto& [a, b, result] : order) EXPECT_EQ(PStrCompare(P(a), P(b)), result) << a << b;
}

TEST(PStringEdit, AppendConcatAndInsertCutAtTheLimit) {
  P s(std::string(254, 'q'));
  PStrAppend(s, P("abc"));
  PStrAppendChar(s, 'z');
  EXPECT_EQ(Text(s), std::string(254, 'q') + "a");
  EXPECT_EQ(Text(PStrAppend(nullptr, P("abc"))), "abc");  // into a temporary
  P one("one "), two("two"), x200(std::string(200, 'x'));
  EXPECT_EQ(Text(PStrConcat(one, two.s, one.s, kEnd)), "one twoone ");
  EXPECT_EQ(Text(PStrConcat(x200, x200.s, kEnd)), std::string(255, 'x'));

  std::string dest;
  for (int i = 0; i < 250; ++i) dest.push_back(char('A' + i % 26));
  P d(dest);
  PStrInsert(P("0123456789"), d, 5);  // the source whole, the destination cut
  EXPECT_EQ(Text(d), dest.substr(0, 4) + "0123456789" + dest.substr(4, 241));
  P hello("hello"), word("world");
  PStrInsert(P(">"), hello, 0);
  PStrInsert(P(">"), hello, 99);
  EXPECT_EQ(Text(hello), ">hello>");
  EXPECT_EQ(Text(PStrInclude(P(">"), word, 3)), "wo>rld");
  EXPECT_EQ(Text(word), "world");
}

TEST(PStringEdit, SubDeleteOmitCaseAndSpacesClipAtTheEnd) {
  P hello("hello");
  EXPECT_EQ(Text(PStrSub(hello, 4, 10)), "lo");
  EXPECT_EQ(Text(PStrSub(hello, 6, 3)), "");
  EXPECT_EQ(Text(PStrSub(hello, 2, 3)), "ell");
  EXPECT_EQ(Text(PStrOmit(hello, 2, 2)), "hlo");
  EXPECT_EQ(Text(PStrOmit(hello, 4, 50)), "hel");
  PStrDelete(hello, 1, 1);
  PStrDelete(hello, 5, 3);  // past the end: nothing
  EXPECT_EQ(Text(hello), "ello");
  EXPECT_EQ(Text(PStrUpCase(P("abz\x8E{`AZ"))), "ABZ\x8E{`AZ");  // ASCII letters only
  P spaced(" a b  c \t");
  PStrStrip(spaced);  // spaces only
  EXPECT_EQ(Text(spaced), "abc\t");
}

TEST(PStringNumbers, DecimalTextAndTypes) {
  const std::pair<int32_t, const char*> numbers[] = {
      {0, "0"}, {-7, "-7"}, {1000, "1000"}, {INT32_MAX, "2147483647"}, {INT32_MIN, "-2147483648"}};
  for (const auto& [n, text] : numbers) EXPECT_EQ(Text(PStrNum(n)), text);
  EXPECT_EQ(Text(PStrType(0x47454E4D)), "GENM");
  EXPECT_EQ(MakeType("GENM"), 0x47454E4Du);
  EXPECT_EQ(MakeType(CS(PStrType(0x80FF0102))), 0x80FF0102u);
  EXPECT_TRUE(*PrintBoolean(2) == '1' && *PrintBoolean(256) == '0');  // the low byte decides
  EXPECT_STREQ(PrintPStr(P("diag")), "diag");
}

}  // namespace
