// The dialog utilities: number text and the change-detecting setters, then
// the dialog functions against a fake host whose services are extern "C"
// functions exported from the test program, found by name like a real
// host's.  Dialog and control handles point at the fake's records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <deque>
#include <list>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ui/PluginUtils.h"

namespace {

struct Control : QV_Control {
  int id;
  QV_ControlType type;
  std::string title, text;  // text: an edit field's contents
  int value = 0, rgba[4] = {0, 0, 0, 0};
  bool writesColor = true;  // false: QV_GetColorButtonColor leaves its outputs alone
};

struct Dialog : QV_Dialog {
  int dialogID = 0;
  std::deque<Control> controls;  // by index
  Control& Add(int theID, QV_ControlType theType, const std::string& theTitle = "") {
    return controls.emplace_back(Control{{}, theID, theType, theTitle, ""});
  }
};

struct Host {
  // The length the Size services report (if not the true one), whether text
  // comes back zero-terminated, and the largest capacity asked for.
  std::optional<int> reportedSize;
  bool terminates = true;
  int largestRequest = 0;
  // The dialogs of the resource file, each the static texts "^0" and
  // "[^1^2^3]"; those made and not destroyed; what QV_ExecuteDialog answers;
  // per dialog shown, its number and static texts.
  std::set<int> dialogIDs;
  std::list<Dialog> live;
  int executeResult = 1;
  std::vector<std::string> shown;
  // The resource file: which step fails, and the references not released.
  bool homeFails = false, fileRefFails = false, openFails = false;
  int homesHeld = 0, fileRefsHeld = 0;
  std::string fileRequest;  // name|type|extension
  QV_DirectoryRef home{};
  QV_FileRef fileRef{};
  QV_ResourceFile resourceFile{};
} host;

Control* C(QV_Control* theHandle) { return static_cast<Control*>(theHandle); }
Dialog* D(QV_Dialog* theHandle) { return static_cast<Dialog*>(theHandle); }

// Text out with the host's rules: at most the capacity, zero-terminated
// within it when asked to.
void CopyOut(const std::string& theText, char* oText, int* ioNumChars) {
  host.largestRequest = std::max(host.largestRequest, *ioNumChars);
  if (*ioNumChars <= 0) return;
  int n = std::min<int>(int(theText.size()), *ioNumChars - host.terminates);
  std::memcpy(oText, theText.data(), size_t(n));
  if (host.terminates) oText[n] = 0;
  *ioNumChars = n;
}

int SizeOf(const std::string& theText) {
  return host.reportedSize.value_or(int(theText.size()));
}

std::string Text(ConstPStrPtr s) { return std::string(reinterpret_cast<const char*>(s + 1), s[0]); }

struct DialogUtils : ::testing::Test {
  Dialog d;
  void SetUp() override {
    host = Host();
    InitUtils();
  }
};

}  // namespace

// Trimmed for a count >= 0 ("-0" included), a point and every decimal kept
// for a negative count.
TEST(NumberText, FixedPointText) {
  const struct { double x; int16_t digits; const char* text; } cases[] = {
      {2.5, 8, "2.5"}, {100, 8, "100"}, {1e-9, 8, "0"}, {-1e-9, 8, "0"}, {-0.0, 8, "0"},
      {-2.5, 8, "-2.5"}, {1.23456789, 2, "1.23"}, {1.5, 0, "2"}, {1.5, -3, "1.500"},
      {7.0, -2, "7.00"}, {1.5e300, 8, "1.5e+300"}};
  for (const auto& k : cases)
    EXPECT_EQ(Text(RealTrimStr(k.x, k.digits)), k.text) << k.x << " " << k.digits;
}

// Up to 255 characters fixed-point; beyond, the shortest exponent form that
// reads back as the same double.
TEST(NumberText, TooLongForAPStringUsesTheExponentForm) {
  PStr255 s;
  Num2Str(8, 1e245, s);  // 246 digits, point, 8 decimals: 255 characters
  EXPECT_EQ(Text(s).substr(246), ".00000000");
  for (double x : {1e246, -1e246, 1e250, DBL_MAX, -DBL_MAX, 1.0 / 3.0 * 1e250}) {
    Num2Str(8, x, s);
    EXPECT_NE(Text(s).find('e'), std::string::npos) << Text(s);
    EXPECT_EQ(Str2Num(s), x) << Text(s);
    EXPECT_EQ(Str2Num(RealTrimStr(x, 8)), x);  // not trimmed
  }
  for (int32_t digits : {INT32_MIN, -300, 300, INT32_MAX}) {  // precisions no text could hold
    Num2Str(digits, 0.1, s);
    EXPECT_EQ(Str2Num(s), 0.1) << digits;
  }
}

TEST(NumberText, ReadsLeadingNumbersAndSaturates) {
  const std::pair<const char*, int32_t> ints[] = {
      {"12x", 12}, {"abc", 0}, {" -7", -7}, {"9999999999", INT32_MAX}, {"-9999999999", INT32_MIN}};
  for (const auto& k : ints) EXPECT_EQ(Str2Int(PS(k.first)), k.second) << k.first;
  EXPECT_EQ(Str2Num(PS(" -3.25x")), -3.25);
  EXPECT_EQ(Str2Num(PS("x1")), 0.0);
  EXPECT_EQ(Str2Num(PS(("1" + std::string(254, '0')).c_str())), 1e254);  // read whole
}

// The flag is raised by a change (a not-a-number always is one) and never
// lowered; every colour component counts; bit numbers outside the word
// change nothing.
TEST(ChangeSetters, FlagRaisedOnlyByAChange) {
  bool flag = false;
  auto changed = [&flag](auto set) { return flag = false, set(), flag; };
  int32_t l = 5;
  double d = -0.0;
  int8_t b = 44;
  EXPECT_FALSE(changed([&] { SetLongInt(&l, 5, &flag), SetDouble(&d, 0.0, &flag); }));
  EXPECT_FALSE(changed([&] { SetByte(&b, 44, &flag); }));
  EXPECT_FALSE(std::signbit(d));
  EXPECT_TRUE(changed([&] { SetLongInt(&l, 6, &flag), SetLongInt(&l, 6, &flag); }));
  EXPECT_EQ(l, 6);
  EXPECT_TRUE(changed([&] { d = NAN, SetDouble(&d, NAN, &flag); }));
  EXPECT_TRUE(changed([&] { SetByte(&b, 300, &flag); }));  // stores 44 again, yet 44 != 300

  for (int k = 0; k < 4; ++k) {
    ARGB stored = MakeARGB(1, 2, 3, 4), next = stored;
    RGB_Color rgb{-1, 0, 1}, nextRGB = rgb;
    uint8_t* argbParts[4] = {&next.a, &next.r, &next.g, &next.b};
    int16_t* rgbParts[4] = {&nextRGB.red, &nextRGB.green, &nextRGB.blue, &nextRGB.red};
    *argbParts[k] = 99;
    *rgbParts[k] = k < 3 ? 7 : -1;  // the fourth leaves the colour as it is
    EXPECT_TRUE(changed([&] { SetTheARGB(&stored, &next, &flag); })) << k;
    EXPECT_EQ(changed([&] { SetRGBColor(&rgb, &nextRGB, &flag); }), k < 3) << k;
    EXPECT_EQ(stored.colorValue, next.colorValue);
    EXPECT_EQ(std::memcmp(&rgb, &nextRGB, sizeof rgb), 0);
  }

  uint32_t word = 0;
  EXPECT_FALSE(changed([&] {
    SetBooleanFlag(&word, 31, false, &flag), SetBooleanFlag(&word, 32, true, &flag);
    SetBooleanFlag(&word, -1, true, &flag);
  }));
  EXPECT_TRUE(changed([&] { SetBooleanFlag(&word, 31, true, &flag); }));
  SetFlag(&word, 0, true);
  SetFlag(&word, 40, true);
  EXPECT_EQ(word, 0x80000001u);
  uint16_t half = 0xFFFF;
  SetIntegerFlag(&half, 15, false);
  SetIntegerFlag(&half, 16, false);
  EXPECT_EQ(half, 0x7FFF);
}

// The services; those the utilities call with a missing control accept null.
QV_SERVICE_EXPORT int QV_CountControls(QV_Dialog* d) { return int(D(d)->controls.size()); }
QV_SERVICE_EXPORT QV_Control* QV_FindControlByIndex(QV_Dialog* d, int i) {
  return &D(d)->controls.at(size_t(i));
}
QV_SERVICE_EXPORT QV_Control* QV_FindControlByID(QV_Dialog* d, int theID) {
  for (Control& c : D(d)->controls)
    if (c.id == theID) return &c;
  return nullptr;
}
QV_SERVICE_EXPORT QV_ControlType QV_GetControlType(QV_Control* c) { return C(c)->type; }
QV_SERVICE_EXPORT int QV_GetControlValue(QV_Control* c) { return C(c)->value; }
QV_SERVICE_EXPORT void QV_SetControlValue(QV_Control* c, int v) { C(c)->value = v; }
QV_SERVICE_EXPORT int QV_GetControlTitleSize(QV_Control* c) { return SizeOf(C(c)->title); }
QV_SERVICE_EXPORT int QV_GetEditTextStringSize(QV_Control* c) { return SizeOf(C(c)->text); }
QV_SERVICE_EXPORT void QV_GetControlTitle(QV_Control* c, char* oText, int* ioNumChars) {
  CopyOut(C(c)->title, oText, ioNumChars);
}
QV_SERVICE_EXPORT void QV_GetEditTextString(QV_Control* c, char* oText, int* ioNumChars) {
  CopyOut(C(c)->text, oText, ioNumChars);
}
QV_SERVICE_EXPORT void QV_SetControlTitle(QV_Control* c, const char* t) { if (c) C(c)->title = t; }
QV_SERVICE_EXPORT void QV_SetEditTextString(QV_Control* c, const char* t) { if (c) C(c)->text = t; }
QV_SERVICE_EXPORT void QV_GetColorButtonColor(QV_Control* c, int* r, int* g, int* b, int* a) {
  if (!c || !C(c)->writesColor) return;
  *r = C(c)->rgba[0], *g = C(c)->rgba[1], *b = C(c)->rgba[2], *a = C(c)->rgba[3];
}
QV_SERVICE_EXPORT void QV_SetColorButtonColor(QV_Control* c, int r, int g, int b, int a) {
  if (c) C(c)->rgba[0] = r, C(c)->rgba[1] = g, C(c)->rgba[2] = b, C(c)->rgba[3] = a;
}

QV_SERVICE_EXPORT QV_Dialog* QV_MakeDialog(QV_ResourceFile* iResourceFile, int iDialogID) {
  if (iResourceFile == nullptr || host.dialogIDs.count(iDialogID) == 0) return nullptr;
  Dialog& d = host.live.emplace_back(Dialog{{}, iDialogID, {}});
  d.Add(1, cQV_StaticText, "^0");
  d.Add(2, cQV_StaticText, "[^1^2^3]");
  return &d;
}
QV_SERVICE_EXPORT void QV_DestroyDialog(QV_Dialog* d) {
  host.live.remove_if([d](const Dialog& e) { return &e == d; });
}
QV_SERVICE_EXPORT int QV_ExecuteDialog(QV_Dialog* d) {
  std::string texts = std::to_string(D(d)->dialogID);
  for (const Control& c : D(d)->controls)
    if (c.type == cQV_StaticText) texts += " " + c.title;
  host.shown.push_back(texts);
  return host.executeResult;
}

QV_SERVICE_EXPORT QV_DirectoryRef* QV_GetHomeDirectory() {
  return host.homeFails ? nullptr : (++host.homesHeld, &host.home);
}
QV_SERVICE_EXPORT void QV_DestroyDirectoryRef(QV_DirectoryRef* r) {
  if (r == &host.home) --host.homesHeld;
}
QV_SERVICE_EXPORT QV_FileRef* QV_MakeFileRef(QV_DirectoryRef* iDirectory, const char* iName,
                                             uint32_t iFileType, const char* iExtension) {
  if (host.fileRefFails || iDirectory != &host.home) return nullptr;
  host.fileRequest = std::string(iName) + "|" + std::to_string(iFileType) + "|" + iExtension;
  ++host.fileRefsHeld;
  return &host.fileRef;
}
QV_SERVICE_EXPORT void QV_DestroyFileRef(QV_FileRef* r) {
  if (r == &host.fileRef) --host.fileRefsHeld;
}
QV_SERVICE_EXPORT QV_ResourceFile* QV_OpenResourceFile(QV_FileRef* r) {
  return host.openFails || r != &host.fileRef ? nullptr : &host.resourceFile;
}

TEST_F(DialogUtils, NumbersThroughEditFields) {
  Control& edit = d.Add(6, cQV_EditText);
  SetTheIReal(&d, 6, 2.5, 8);
  EXPECT_EQ(edit.text, "2.5");
  EXPECT_EQ(GetTheIReal(&d, 6), 2.5);
  // No number, or one that must not be stored, reads as +0.
  for (const char* bad : {"apples", "inf", "-inf", "nan", "-0", "1e999"}) {
    edit.text = bad;
    double v = GetTheIReal(&d, 6);
    EXPECT_TRUE(v == 0 && !std::signbit(v)) << bad;
  }
}

// Whatever length the host reports, no more than the stated capacities is
// asked for and no more than 255 characters come back.
TEST_F(DialogUtils, TextReadBackIsBounded) {
  Control& edit = d.Add(1, cQV_EditText, std::string(400, 'T'));
  edit.text = std::string(300, '7');
  for (int reported : {0, 100000, -5, 3})
    for (bool terminates : {true, false}) {
      host.reportedSize = reported ? std::optional<int>(reported) : std::nullopt;
      host.terminates = terminates;
      bool whole = reported == 0 || reported == 100000;
      host.largestRequest = 0;
      PStr255 s;
      GetTheIText(&d, 1, s);
      EXPECT_LE(host.largestRequest, 256);
      EXPECT_EQ(Text(s), std::string(s[0], '7'));
      EXPECT_TRUE(whole ? s[0] >= 254 : s[0] <= 4) << int(s[0]);
      GetButtonName(&d, 1, s);
      EXPECT_EQ(Text(s), std::string(s[0], 'T'));
      host.largestRequest = 0;
      int32_t n = GetTheINum(&d, 1);
      EXPECT_LE(host.largestRequest, 50);
      EXPECT_TRUE(whole ? n == INT32_MAX : n < 10000) << n;  // 49 sevens saturate
    }
}

// Getters give their neutral value and leave their outputs; setters touch
// nothing.
TEST_F(DialogUtils, MissingControls) {
  Control& other = d.controls.emplace_back(Control{{}, 1, cQV_EditText, "title", "5", 3});
  PStr255 s = {9}, name = {9};
  GetTheIText(&d, 99, s);
  const int32_t neutral[] = {s[0],         GetButtonName(&d, 99, name)[0], GetTheINum(&d, 99),
                             GetButton(&d, 99), GetTheIPopUp(&d, 99),       ToggleButton(&d, 99),
                             GetTheIType(&d, 99)};
  for (int32_t v : neutral) EXPECT_EQ(v, 0);
  EXPECT_EQ(GetTheIReal(&d, 99), 0.0);
  ARGB c = MakeARGB(1, 2, 3, 4);
  GetColorButtonIDARGB(&d, 99, &c);
  EXPECT_EQ(c.colorValue, MakeARGB(1, 2, 3, 4).colorValue);

  SetTheIText(&d, 99, PS("x"));
  SetTheINum(&d, 99, 1);
  SetButton(&d, 99, 1);
  SetButtonName(&d, 99, PS("x"));
  SetControlIDTitle(&d, 99, "x");
  SetEditTextIDString(&d, 99, "x");
  SetColorButtonIDARGB(&d, 99, &c);
  EXPECT_EQ(other.text + other.title, "5title");
  EXPECT_EQ(other.value + other.rgba[0], 3);
}

// Bytes both ways; a channel the host does not write keeps its value.
TEST_F(DialogUtils, ColourButtons) {
  Control& button = d.Add(35, cQV_ColorButton);
  ARGB c = MakeARGB(255, 0, 128, 7);
  SetColorButtonIDARGB(&d, 35, &c);
  EXPECT_EQ(std::vector<int>(button.rgba, button.rgba + 4), (std::vector<int>{0, 128, 7, 255}));
  button.rgba[0] = 256 + 5, button.rgba[3] = 1;  // red truncated to its low byte
  GetColorButtonIDARGB(&d, 35, &c);
  EXPECT_EQ(c.colorValue, MakeARGB(1, 5, 128, 7).colorValue);
  button.writesColor = false;
  GetColorButtonIDARGB(&d, 35, &c);
  EXPECT_EQ(c.colorValue, MakeARGB(1, 5, 128, 7).colorValue);
}

TEST_F(DialogUtils, ParameterTextSubstitution) {
  Control& a = d.Add(1, cQV_StaticText, " ^0 ");
  Control& b = d.Add(2, cQV_StaticText, "^3-^2-^1-^0^4^^x^");
  Control& edit = d.Add(3, cQV_EditText, "^0");
  SetParamText(&d, PS("abc"), PS(""), PS("Z"), PS("^1"));
  EXPECT_EQ(a.title, " abc ");
  EXPECT_EQ(b.title, "^1-Z--abc^4^^x^");  // inserted "^1" is not rescanned
  EXPECT_EQ(edit.title, "^0");
  // An inserted text that overfills the title keeps whole; the title's end goes.
  a.title = "^0" + std::string(250, 'x') + "END";
  SetParamText(&d, PS(std::string(20, 'i').c_str()), nullptr, nullptr, nullptr);
  EXPECT_EQ(a.title, std::string(20, 'i') + std::string(235, 'x'));
}

// One error alert until the next InitUtils (even a hidden or empty one
// counts); the other alerts always show.
TEST_F(DialogUtils, ErrorAlertsOncePerInitUtils) {
  QV_ResourceFile file;
  host.dialogIDs = {9000, 9002, 9003, 9004};
  Error(&file, PS("Out of memory"), -108);
  Error(&file, PS("Again"), 1);
  StandardError(&file, PS("Again"));
  Stop(&file, PS("Stop"));
  Caution(&file, PS("Caution"));
  Message(&file, PS("Message"));
  host.executeResult = 2;
  EXPECT_EQ(Warning(&file, PS("Warning")), 2);
  for (bool hide : {false, true}) {
    InitUtils();
    hideErrorFlag = hide;
    hide ? Error(&file, PS("Hidden"), 1) : StandardError(&file, PS(""));
    hideErrorFlag = false;
    StandardError(&file, PS("Not shown"));
  }
  InitUtils();
  StandardError(&file, PS("Shown"));
  // No such dialog, or no resource file: nothing shown, 0.
  EXPECT_EQ(StandardDialog(&file, 9001, PS("x"), nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(StandardDialog(nullptr, 9000, PS("x"), PS(""), PS(""), PS("")), 0);
  EXPECT_EQ(host.shown, (std::vector<std::string>{"9000 Out of memory: -108 []", "9000 Stop []",
                                                   "9004 Caution []", "9003 Message []",
                                                   "9002 Warning []", "9000 Shown []"}));
  EXPECT_TRUE(host.live.empty());  // every alert destroyed its dialog
}

// The home directory and file reference are released whatever the outcome.
TEST_F(DialogUtils, OpenResourceFileReleasesItsReferences) {
  EXPECT_EQ(OpenResourceFile("Particle.rsc"), &host.resourceFile);
  EXPECT_EQ(host.fileRequest, "Particle.rsc|1920168547|rsc");  // type "rsrc"
  for (bool* fails : {&host.openFails, &host.fileRefFails, &host.homeFails}) {
    EXPECT_EQ(host.homesHeld + host.fileRefsHeld, 0);
    *fails = true;
    EXPECT_EQ(OpenResourceFile("Particle.rsc"), nullptr);
  }
  EXPECT_EQ(host.homesHeld + host.fileRefsHeld, 0);
}
