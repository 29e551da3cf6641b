// The dialog utilities: number text and the change-detecting setters, then
// the dialog functions against a fake host whose services are extern "C"
// functions exported from the test program, found by name like a real
// host's.  Dialog and control handles point at the fake's records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <deque>
#include <list>
#include <optional>
#include <string>
#include <vector>

#include "ui/PluginUtils.h"

namespace {

struct Control : QV_Control {
  int id;
  QV_ControlType type;
  std::string title, text;  // text: an edit field's contents
  int rgba[4] = {0, 0, 0, 0};
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
  // comes back zero-terminated.
  std::optional<int> reportedSize;
  bool terminates = true;
  // The largest capacity asked for; what QV_ExecuteDialog answers; the step of
  // opening the resource file that fails (1 the home directory, 2 the file
  // reference, 3 the opening); the references not released.
  int largestRequest = 0, executeResult = 1, failingStep = 0, held = 0;
  // The dialogs made and not destroyed (every number but 9001, each with the
  // static text "^0[^1^2^3]"), and per dialog shown its number and text.
  std::list<Dialog> live;
  std::vector<std::string> shown;
  std::string fileRequest;  // name|type|extension
  QV_DirectoryRef home{};
  QV_FileRef fileRef{};
  QV_ResourceFile resourceFile{};
} host;

Control* C(QV_Control* theHandle) { return static_cast<Control*>(theHandle); }
Dialog* D(QV_Dialog* theHandle) { return static_cast<Dialog*>(theHandle); }

// Text out with the host's rules: at most the capacity, zero-terminated
// within it when asked to.
void Out(const std::string& theText, char* oText, int* ioNumChars) {
  host.largestRequest = std::max(host.largestRequest, *ioNumChars);
  int n = std::min<int>(int(theText.size()), *ioNumChars - host.terminates);
  std::memcpy(oText, theText.data(), size_t(n));
  if (host.terminates) oText[n] = 0;
  *ioNumChars = n;
}
int SizeOf(const std::string& theText) { return host.reportedSize.value_or(int(theText.size())); }

std::string Text(ConstPStrPtr s) { return std::string(reinterpret_cast<const char*>(s + 1), s[0]); }

struct DialogUtils : ::testing::Test {
  void SetUp() override { host = Host(), InitUtils(); }
  Dialog d;
};

}  // namespace

// Trimmed for a count >= 0 ("-0" included), a point and every decimal kept
// for a negative count; leading numbers read, saturating at the 32-bit limits.
TEST(NumberText, WrittenAndReadBack) {
  const struct { double x; int16_t digits; const char* text; } cases[] = {
      {2.5, 8, "2.5"}, {100, 8, "100"}, {1e-9, 8, "0"}, {-1e-9, 8, "0"}, {-0.0, 8, "0"},
      {-2.5, 8, "-2.5"}, {1.23456789, 2, "1.23"}, {1.5, 0, "2"}, {1.5, -3, "1.500"},
      {7.0, -2, "7.00"}, {1.5e300, 8, "1.5e+300"}};
  for (const auto& k : cases)
    EXPECT_EQ(Text(RealTrimStr(k.x, k.digits)), k.text) << k.x << " " << k.digits;
  const std::pair<const char*, int32_t> ints[] = {
      {"12x", 12}, {"abc", 0}, {" -7", -7}, {"9999999999", INT32_MAX}, {"-9999999999", INT32_MIN}};
  for (const auto& k : ints) EXPECT_EQ(Str2Int(PS(k.first)), k.second) << k.first;
  EXPECT_EQ(Str2Num(PS(" -3.25x")), -3.25);
  EXPECT_EQ(Str2Num(PS("x1")), 0.0);
  EXPECT_EQ(Str2Num(PS(("1" + std::string(254, '0')).c_str())), 1e254);  // read whole

  // Up to 255 characters fixed-point; beyond, the shortest exponent form that
  // reads back as the same double, also for precisions no text could hold.
  PStr255 s;
  const auto text = [&s](int32_t digits, double x) { return Num2Str(digits, x, s), Text(s); };
  EXPECT_EQ(text(8, 1e245).substr(246), ".00000000");  // 246 digits, point, 8 decimals: 255
  EXPECT_EQ(text(8, 1e250), "1e+250");
  for (double x : {-1e246, DBL_MAX, -DBL_MAX, 1.0 / 3.0 * 1e250})
    EXPECT_EQ(std::stod(text(8, x)), x) << text(8, x);
  for (int32_t digits : {INT32_MIN, -300, 300, INT32_MAX})
    EXPECT_EQ(std::stod(text(digits, 0.1)), 0.1) << digits;
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
  uint32_t word = 0;
  EXPECT_FALSE(changed([&] {
    SetLongInt(&l, 5, &flag), SetDouble(&d, 0.0, &flag), SetByte(&b, 44, &flag);
    SetBooleanFlag(&word, 31, false, &flag), SetBooleanFlag(&word, 32, true, &flag);
    SetBooleanFlag(&word, -1, true, &flag);
  }));
  EXPECT_FALSE(std::signbit(d));
  EXPECT_TRUE(changed([&] { SetLongInt(&l, 6, &flag), SetLongInt(&l, 6, &flag); }));
  EXPECT_EQ(l, 6);
  EXPECT_TRUE(changed([&] { d = NAN, SetDouble(&d, NAN, &flag); }));
  EXPECT_TRUE(changed([&] { SetByte(&b, 300, &flag); }));  // stores 44 again, yet 44 != 300
  EXPECT_TRUE(changed([&] { SetBooleanFlag(&word, 31, true, &flag); }));

  for (int k = 0; k < 4; ++k) {  // the fourth RGB case leaves the colour as it is
    ARGB stored = MakeARGB(1, 2, 3, 4), next = stored;
    RGB_Color rgb{-1, 0, 1}, nextRGB = rgb;
    next.colorValue ^= 0xFFu << 8 * k;
    if (k < 3) (k == 0 ? nextRGB.red : k == 1 ? nextRGB.green : nextRGB.blue) = 7;
    EXPECT_TRUE(changed([&] { SetTheARGB(&stored, &next, &flag); })) << k;
    EXPECT_EQ(changed([&] { SetRGBColor(&rgb, &nextRGB, &flag); }), k < 3) << k;
    EXPECT_EQ(stored.colorValue, next.colorValue);
    EXPECT_EQ(std::memcmp(&rgb, &nextRGB, sizeof rgb), 0);
  }
  SetFlag(&word, 0, true), SetFlag(&word, 40, true);
  EXPECT_EQ(word, 0x80000001u);
  uint16_t half = 0xFFFF;
  SetIntegerFlag(&half, 15, false), SetIntegerFlag(&half, 16, false);
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
QV_SERVICE_EXPORT int QV_GetControlTitleSize(QV_Control* c) { return SizeOf(C(c)->title); }
QV_SERVICE_EXPORT int QV_GetEditTextStringSize(QV_Control* c) { return SizeOf(C(c)->text); }
#define PLM_TEXT_OUT(name, field) \
  QV_SERVICE_EXPORT void name(QV_Control* c, char* o, int* n) { Out(C(c)->field, o, n); }
PLM_TEXT_OUT(QV_GetControlTitle, title)
PLM_TEXT_OUT(QV_GetEditTextString, text)
QV_SERVICE_EXPORT void QV_SetControlTitle(QV_Control* c, const char* t) { if (c) C(c)->title = t; }
QV_SERVICE_EXPORT void QV_SetEditTextString(QV_Control* c, const char* t) { if (c) C(c)->text = t; }
QV_SERVICE_EXPORT void QV_GetColorButtonColor(QV_Control* c, int* r, int* g, int* b, int* a) {
  if (!c) return;  // leaves the outputs alone
  *r = C(c)->rgba[0], *g = C(c)->rgba[1], *b = C(c)->rgba[2], *a = C(c)->rgba[3];
}
QV_SERVICE_EXPORT void QV_SetColorButtonColor(QV_Control* c, int r, int g, int b, int a) {
  if (c) C(c)->rgba[0] = r, C(c)->rgba[1] = g, C(c)->rgba[2] = b, C(c)->rgba[3] = a;
}

QV_SERVICE_EXPORT QV_Dialog* QV_MakeDialog(QV_ResourceFile* iResourceFile, int iDialogID) {
  if (iResourceFile == nullptr || iDialogID == 9001) return nullptr;
  Dialog& d = host.live.emplace_back(Dialog{{}, iDialogID, {}});
  d.Add(1, cQV_StaticText, "^0[^1^2^3]");
  return &d;
}
QV_SERVICE_EXPORT void QV_DestroyDialog(QV_Dialog* d) {
  host.live.remove_if([d](const Dialog& e) { return &e == d; });
}
QV_SERVICE_EXPORT int QV_ExecuteDialog(QV_Dialog* d) {
  host.shown.push_back(std::to_string(D(d)->dialogID) + " " + D(d)->controls[0].title);
  return host.executeResult;
}

QV_SERVICE_EXPORT QV_DirectoryRef* QV_GetHomeDirectory() {
  return host.failingStep == 1 ? nullptr : (++host.held, &host.home);
}
QV_SERVICE_EXPORT void QV_DestroyDirectoryRef(QV_DirectoryRef* r) { host.held -= r == &host.home; }
QV_SERVICE_EXPORT QV_FileRef* QV_MakeFileRef(QV_DirectoryRef* iDirectory, const char* iName,
                                             uint32_t iFileType, const char* iExtension) {
  if (host.failingStep == 2 || iDirectory != &host.home) return nullptr;
  host.fileRequest = std::string(iName) + "|" + std::to_string(iFileType) + "|" + iExtension;
  return ++host.held, &host.fileRef;
}
QV_SERVICE_EXPORT void QV_DestroyFileRef(QV_FileRef* r) { host.held -= r == &host.fileRef; }
QV_SERVICE_EXPORT QV_ResourceFile* QV_OpenResourceFile(QV_FileRef* r) {
  return host.failingStep == 3 || r != &host.fileRef ? nullptr : &host.resourceFile;
}

// Numbers through edit fields (one that is no number, or must not be stored,
// reads as +0), colour bytes both ways (a channel the host does not write
// keeps its value), and missing controls.
TEST_F(DialogUtils, ControlsByTheirIDs) {
  Control& edit = d.Add(6, cQV_EditText);
  SetTheIReal(&d, 6, 2.5, 8);
  EXPECT_EQ(edit.text, "2.5");
  EXPECT_EQ(GetTheIReal(&d, 6), 2.5);
  const auto read = [&](const char* theText) { return edit.text = theText, GetTheIReal(&d, 6); };
  for (const char* bad : {"apples", "inf", "-inf", "nan", "-0", "1e999"})
    EXPECT_TRUE(read(bad) == 0 && !std::signbit(read(bad))) << bad;
  Control& button = d.Add(35, cQV_ColorButton);
  ARGB c = MakeARGB(200, 0, 128, 7);
  SetColorButtonIDARGB(&d, 35, &c);
  EXPECT_EQ(std::vector<int>(button.rgba, button.rgba + 4), (std::vector<int>{0, 128, 7, 200}));
  button.rgba[0] = 256 + 5, button.rgba[3] = 1;  // red truncated to its low byte
  GetColorButtonIDARGB(&d, 35, &c);
  EXPECT_EQ(c.colorValue, MakeARGB(1, 5, 128, 7).colorValue);

  // A missing control: getters give their neutral value and leave their
  // outputs; setters touch nothing.
  PStr255 s = {9}, name = {9};
  GetTheIText(&d, 99, s);
  const int32_t neutral[] = {s[0],         GetButtonName(&d, 99, name)[0], GetTheINum(&d, 99),
                             GetButton(&d, 99), GetTheIPopUp(&d, 99),       ToggleButton(&d, 99),
                             GetTheIType(&d, 99)};
  for (int32_t v : neutral) EXPECT_EQ(v, 0);
  EXPECT_EQ(GetTheIReal(&d, 99), 0.0);
  GetColorButtonIDARGB(&d, 99, &c);
  EXPECT_EQ(c.colorValue, MakeARGB(1, 5, 128, 7).colorValue);
  SetTheIText(&d, 99, PS("x")), SetTheINum(&d, 99, 1), SetButton(&d, 99, 1);
  SetButtonName(&d, 99, PS("x")), SetControlIDTitle(&d, 99, "x");
  SetEditTextIDString(&d, 99, "x"), SetColorButtonIDARGB(&d, 99, &c);
  EXPECT_EQ(edit.text + edit.title, "1e999");
  EXPECT_EQ(std::vector<int>(button.rgba, button.rgba + 4), (std::vector<int>{5 + 256, 128, 7, 1}));
}

// Whatever length the host reports, no more than the stated capacities is
// asked for and no more than 255 characters come back.
TEST_F(DialogUtils, TextReadBackIsBounded) {
  d.Add(1, cQV_EditText, std::string(400, 'T')).text = std::string(300, '7');
  for (int reported : {0, 100000, -5, 3})
    for (bool terminates : {true, false}) {
      host.reportedSize = reported ? std::optional<int>(reported) : std::nullopt;
      host.terminates = terminates, host.largestRequest = 0;
      const bool whole = reported == 0 || reported == 100000;
      PStr255 s;
      GetTheIText(&d, 1, s);
      EXPECT_LE(host.largestRequest, 256);
      EXPECT_TRUE(Text(s) == std::string(s[0], '7') && (whole ? s[0] > 253 : s[0] < 5)) << Text(s);
      EXPECT_EQ(Text(GetButtonName(&d, 1, s)), std::string(s[0], 'T'));
      host.largestRequest = 0;
      const int32_t n = GetTheINum(&d, 1);
      EXPECT_TRUE(host.largestRequest <= 50 && (whole ? n == INT32_MAX : n < 10000)) << n;
    }
}

// In static texts the markers take their texts once, without rescanning;
// an inserted text that overfills the title keeps whole and the title's end
// goes.  One error alert until the next InitUtils (even a hidden or empty one
// counts); the other alerts always show.
TEST_F(DialogUtils, ParameterTextsAndAlerts) {
  Control& a = d.Add(1, cQV_StaticText, " ^0 ");
  Control& b = d.Add(2, cQV_StaticText, "^3-^2-^1-^0^4^^x^");
  Control& edit = d.Add(3, cQV_EditText, "^0");
  SetParamText(&d, PS("abc"), PS(""), PS("Z"), PS("^1"));
  EXPECT_EQ(a.title, " abc ");
  EXPECT_EQ(b.title, "^1-Z--abc^4^^x^");  // inserted "^1" is not rescanned
  EXPECT_EQ(edit.title, "^0");
  a.title = "^0" + std::string(250, 'x') + "END";
  SetParamText(&d, PS(std::string(20, 'i').c_str()), nullptr, nullptr, nullptr);
  EXPECT_EQ(a.title, std::string(20, 'i') + std::string(235, 'x'));

  QV_ResourceFile file;
  Error(&file, PS("Out of memory"), -108);
  Error(&file, PS("Again"), 1), StandardError(&file, PS("Again"));
  Stop(&file, PS("Stop")), Caution(&file, PS("Caution")), Message(&file, PS("Message"));
  host.executeResult = 2;
  EXPECT_EQ(Warning(&file, PS("Warning")), 2);
  InitUtils(), hideErrorFlag = true, Error(&file, PS("Hidden"), 1);  // suppressed, yet counted
  hideErrorFlag = false, StandardError(&file, PS("Not shown"));
  InitUtils(), StandardError(&file, PS("")), StandardError(&file, PS("Not shown"));
  InitUtils(), StandardError(&file, PS("Shown"));
  EXPECT_EQ(StandardDialog(&file, 9001, PS("x"), nullptr, nullptr, nullptr), 0);  // no such dialog
  EXPECT_EQ(host.shown, (std::vector<std::string>{"9000 Out of memory: -108[]", "9000 Stop[]",
      "9004 Caution[]", "9003 Message[]", "9002 Warning[]", "9000 Shown[]"}));
  EXPECT_TRUE(host.live.empty());  // every alert destroyed its dialog
}

// The home directory and file reference are released whatever the outcome.
TEST_F(DialogUtils, OpenResourceFileReleasesItsReferences) {
  EXPECT_EQ(OpenResourceFile("Particle.rsc"), &host.resourceFile);
  EXPECT_EQ(host.fileRequest, "Particle.rsc|1920168547|rsc");  // type "rsrc"
  for (host.failingStep = 1; host.failingStep <= 3; ++host.failingStep)
    EXPECT_EQ(OpenResourceFile("Particle.rsc"), nullptr) << host.failingStep;
  EXPECT_EQ(host.held, 0);
}
