#include "text/PString.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Builds a P-string from std::string text (up to 255 characters).
void Make(PStrPtr dst, const std::string& text) {
  ASSERT_LE(text.size(), 255u);
  dst[0] = static_cast<unsigned char>(text.size());
  for (size_t i = 0; i < text.size(); ++i) dst[i + 1] = static_cast<unsigned char>(text[i]);
}

std::string Text(ConstPStrPtr p) { return std::string(reinterpret_cast<const char*>(p + 1), p[0]); }

TEST(PStringRing, TwentiethTemporaryIsTheSameSlot) {
  PStrPtr first = PStrNext();
  PStrPtr seen[19];
  for (auto& slot : seen) {
    slot = PStrNext();
    EXPECT_NE(slot, first);
  }
  EXPECT_EQ(PStrNext(), first);
  // Results that take temporaries share the ring.
  PStrPtr kept = PS("kept");
  for (int i = 0; i < 19; ++i) PStrNum(i);
  EXPECT_EQ(Text(kept), "kept");
  PStrNum(12345);
  EXPECT_EQ(Text(kept), "12345");
}

TEST(PStringConversion, TruncatesAt255AndRoundTrips) {
  std::string longText(300, 'x');
  longText[254] = 'y';
  PStr255 p;
  PStrCToP(longText.c_str(), p);
  EXPECT_EQ(p[0], 255);
  EXPECT_EQ(p[255], 'y');

  char inPlace[301];
  std::copy(longText.begin(), longText.end(), inPlace);
  inPlace[300] = 0;
  PStrPtr converted = PStrC2P(inPlace);
  EXPECT_EQ(converted[0], 255);
  EXPECT_EQ(Text(converted), longText.substr(0, 255));

  char* c = CS(p);  // 255 characters and the zero fit a slot
  EXPECT_EQ(CStrLength(c), 255u);
  EXPECT_EQ(std::string(c), longText.substr(0, 255));

  PStr255 small;
  Make(small, "abc");
  EXPECT_STREQ(PStrP2C(small), "abc");

  PStr255 copied;
  CopyStr(copied, longText.c_str());
  EXPECT_EQ(copied[0], 255);
  PStr255 copy2;
  CopyPStr(copy2, copied);
  EXPECT_EQ(PStrCompare(copy2, copied), 0);
}

TEST(PStringSearch, CharactersAndSubstrings) {
  const char high[] = {'a', char(0xC8), 'b', 0};
  EXPECT_EQ(CStrIn(0xC8, high), 1);
  EXPECT_EQ(CStrIn('z', high), -1);

  PStr255 abc, bc, cd, empty;
  Make(abc, "abc");
  Make(bc, "bc");
  Make(cd, "cd");
  Make(empty, "");
  EXPECT_EQ(PStrIn('c', abc), 3u);
  EXPECT_EQ(PStrIn('q', abc), 0u);
  EXPECT_EQ(PStrPos(bc, abc), 2u);
  abc[4] = 'd';  // a stray byte after the length must not match
  EXPECT_EQ(PStrPos(cd, abc), 0u);
  EXPECT_EQ(PStrPos(empty, abc), 1u);
  EXPECT_EQ(PStrPos(empty, empty), 0u);
}

TEST(PStringCompare, ByteOrderThenLength) {
  PStr255 a, b;
  auto cmp = [&](const char* x, const char* y) {
    Make(a, x);
    Make(b, y);
    return PStrCompare(a, b);
  };
  EXPECT_EQ(cmp("abc", "abcde"), -2);
  EXPECT_EQ(cmp("abd", "abc"), 1);
  EXPECT_EQ(cmp("B", "a"), -1);
  EXPECT_EQ(cmp("", ""), 0);
  EXPECT_EQ(cmp("\xE9", "a"), 1);  // unsigned bytes
}

TEST(PStringEdit, AppendTruncatesAtLimit) {
  PStr255 s, abc;
  Make(s, std::string(254, 'q'));
  Make(abc, "abc");
  PStrAppend(s, abc);
  EXPECT_EQ(s[0], 255);
  EXPECT_EQ(s[255], 'a');
  PStrAppendChar(s, 'z');
  EXPECT_EQ(s[0], 255);
  EXPECT_EQ(s[255], 'a');

  PStrPtr temp = PStrAppend(nullptr, abc);
  EXPECT_EQ(Text(temp), "abc");

  PStr255 one, two;
  Make(one, "one ");
  Make(two, "two");
  EXPECT_EQ(Text(PStrConcat(one, two, one, static_cast<ConstPStrPtr>(nullptr))), "one twoone ");
  Make(s, std::string(200, 'x'));
  PStrPtr joined = PStrConcat(s, s, static_cast<ConstPStrPtr>(nullptr));
  EXPECT_EQ(joined[0], 255);
}

TEST(PStringEdit, InsertKeepsSourceAndCutsDestination) {
  std::string dest;
  for (int i = 0; i < 250; ++i) dest.push_back(char('A' + i % 26));
  PStr255 d, src;
  Make(d, dest);
  Make(src, "0123456789");
  PStrInsert(src, d, 5);
  ASSERT_EQ(d[0], 255);
  EXPECT_EQ(Text(d), dest.substr(0, 4) + "0123456789" + dest.substr(4, 241));

  PStr255 word;
  Make(word, "world");
  Make(d, "hello");
  Make(src, ">");
  PStrInsert(src, d, 0);
  EXPECT_EQ(Text(d), ">hello");
  PStrInsert(src, d, 99);
  EXPECT_EQ(Text(d), ">hello>");
  EXPECT_EQ(Text(PStrInclude(src, word, 3)), "wo>rld");
  EXPECT_EQ(Text(word), "world");
}

TEST(PStringEdit, SubDeleteAndOmitClipAtTheEnd) {
  PStr255 hello;
  Make(hello, "hello");
  EXPECT_EQ(Text(PStrSub(hello, 4, 10)), "lo");
  EXPECT_EQ(Text(PStrSub(hello, 6, 3)), "");
  EXPECT_EQ(Text(PStrSub(hello, 2, 3)), "ell");
  EXPECT_EQ(Text(PStrOmit(hello, 2, 2)), "hlo");
  EXPECT_EQ(Text(PStrOmit(hello, 4, 50)), "hel");
  PStrDelete(hello, 1, 1);
  EXPECT_EQ(Text(hello), "ello");
  PStrDelete(hello, 5, 3);
  EXPECT_EQ(Text(hello), "ello");
}

TEST(PStringEdit, CaseAndSpaces) {
  PStr255 s;
  Make(s, "abz\x8E{`AZ");
  EXPECT_EQ(Text(PStrUpCase(s)), "ABZ\x8E{`AZ");
  Make(s, " a b  c ");
  PStrStrip(s);
  EXPECT_EQ(Text(s), "abc");
  Make(s, "\ta\t");
  PStrStrip(s);
  EXPECT_EQ(Text(s), "\ta\t");
}

TEST(PStringNumbers, DecimalTextAndTypes) {
  EXPECT_EQ(Text(PStrNum(0)), "0");
  EXPECT_EQ(Text(PStrNum(-2147483647 - 1)), "-2147483648");
  EXPECT_EQ(Text(PStrNum(2147483647)), "2147483647");
  EXPECT_EQ(Text(PStrNum(1000000)), "1000000");
  EXPECT_EQ(Text(PStrNum(-7)), "-7");

  EXPECT_EQ(Text(PStrType(0x47454E4D)), "GENM");
  EXPECT_EQ(MakeType("GENM"), 0x47454E4Du);
  EXPECT_EQ(MakeType(CS(PStrType(0x80FF0102))), 0x80FF0102u);

  EXPECT_STREQ(PrintBoolean(2), "1");
  EXPECT_STREQ(PrintBoolean(256), "0");
  EXPECT_STREQ(PrintBoolean(0), "0");
  PStr255 s;
  Make(s, "diag");
  EXPECT_STREQ(PrintPStr(s), "diag");
}

}  // namespace
