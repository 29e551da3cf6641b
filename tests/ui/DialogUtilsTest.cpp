// The dialog utilities against the fake host of FakeHost.cpp.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "FakeHost.h"
#include "ui/PluginUtils.h"

namespace {

using fakehost::host;

std::string Text(ConstPStrPtr s) { return std::string(reinterpret_cast<const char*>(s + 1), s[0]); }

class DialogUtils : public ::testing::Test {
 protected:
  void SetUp() override {
    fakehost::Reset();
    InitUtils();
  }
  void TearDown() override { fakehost::Reset(); }
};

TEST_F(DialogUtils, TextAndNumbersThroughEditFields) {
  fakehost::Dialog& d = fakehost::NewDialog();
  fakehost::Control& edit = d.Add(6, cQV_EditText);
  SetTheIReal(&d.handle, 6, 2.5, 8);
  EXPECT_EQ(edit.text, "2.5");
  EXPECT_EQ(GetTheIReal(&d.handle, 6), 2.5);
  SetTheINum(&d.handle, 6, -2147483647 - 1);
  EXPECT_EQ(edit.text, "-2147483648");
  EXPECT_EQ(GetTheINum(&d.handle, 6), INT32_MIN);

  edit.text = "  42 apples";
  EXPECT_EQ(GetTheINum(&d.handle, 6), 42);
  edit.text = "apples";
  EXPECT_EQ(GetTheINum(&d.handle, 6), 0);
  EXPECT_EQ(GetTheIReal(&d.handle, 6), 0.0);
  for (const char* bad : {"inf", "-inf", "nan", "-0", "1e999"}) {
    edit.text = bad;
    double v = GetTheIReal(&d.handle, 6);
    EXPECT_EQ(v, 0.0) << bad;
    EXPECT_FALSE(std::signbit(v)) << bad;
  }

  SetTheIText(&d.handle, 6, PS("abc"));
  PStr255 back;
  GetTheIText(&d.handle, 6, back);
  EXPECT_EQ(Text(back), "abc");
}

// Whatever length the host reports, no more than the stated capacities is
// asked for and no more than 255 characters come back.
TEST_F(DialogUtils, TextReadBackIsBounded) {
  fakehost::Dialog& d = fakehost::NewDialog();
  fakehost::Control& edit = d.Add(1, cQV_EditText, std::string(400, 'T'));
  edit.text = std::string(300, '7');
  for (int reported : {0, 100000, -5, 3}) {
    for (bool terminates : {true, false}) {
      host.lieAboutSize = reported != 0;
      host.reportedSize = reported;
      host.terminates = terminates;
      bool whole = reported == 0 || reported == 100000;
      host.largestRequest = 0;
      PStr255 s;
      GetTheIText(&d.handle, 1, s);
      EXPECT_LE(host.largestRequest, 256);
      EXPECT_EQ(Text(s), std::string(s[0], '7'));
      EXPECT_TRUE(whole ? s[0] >= 254 : s[0] <= 4) << int(s[0]);
      EXPECT_EQ(GetButtonName(&d.handle, 1, s), s);
      EXPECT_EQ(Text(s), std::string(s[0], 'T'));

      host.largestRequest = 0;
      int32_t n = GetTheINum(&d.handle, 1);
      EXPECT_LE(host.largestRequest, 50);
      EXPECT_TRUE(whole ? n == INT32_MAX : n < 10000) << n;  // 49 sevens saturate
    }
  }
}

TEST_F(DialogUtils, MissingControls) {
  fakehost::Dialog& d = fakehost::NewDialog();
  fakehost::Control& other = d.Add(1, cQV_EditText, "title");
  other.text = "5";
  other.value = 3;
  PStr255 s;
  s[0] = 9;
  GetTheIText(&d.handle, 99, s);
  EXPECT_EQ(s[0], 0);
  s[0] = 9;
  EXPECT_EQ(GetButtonName(&d.handle, 99, s)[0], 0);
  EXPECT_EQ(GetTheINum(&d.handle, 99), 0);
  EXPECT_EQ(GetTheIReal(&d.handle, 99), 0.0);
  EXPECT_EQ(GetTheIPopUp(&d.handle, 99), 0);
  EXPECT_EQ(GetButton(&d.handle, 99), 0);
  EXPECT_EQ(ToggleButton(&d.handle, 99), 0);
  EXPECT_EQ(GetTheIType(&d.handle, 99), cQV_NoControlType);
  QV_Rect r{1, 2, 3, 4};
  GetTheIRect(&d.handle, 99, &r);
  EXPECT_EQ(r.left + r.top + r.right + r.bottom, 10);
  ARGB c = MakeARGB(1, 2, 3, 4);
  GetColorButtonIDARGB(&d.handle, 99, &c);  // the host writes nothing
  EXPECT_EQ(c.colorValue, MakeARGB(1, 2, 3, 4).colorValue);

  SetTheIText(&d.handle, 99, PS("x"));
  SetTheINum(&d.handle, 99, 1);
  SetTheIReal(&d.handle, 99, 1, 2);
  SetButton(&d.handle, 99, 1);
  SetTheIPopUp(&d.handle, 99, 1);
  SetButtonName(&d.handle, 99, PS("x"));
  SelectItem(&d.handle, 99);
  SetTheIRect(&d.handle, 99, &r);
  SetControlIDVisible(&d.handle, 99, 0);
  SetControlIDTitle(&d.handle, 99, "x");
  SetEditTextIDString(&d.handle, 99, "x");
  SetColorButtonIDARGB(&d.handle, 99, &c);
  EXPECT_EQ(other.text, "5");
  EXPECT_EQ(other.title, "title");
  EXPECT_EQ(other.value, 3);
  EXPECT_EQ(other.visible, 1);
  EXPECT_FALSE(other.isKey);
}

TEST_F(DialogUtils, ButtonsSelectionRectsAndCallbacks) {
  fakehost::Dialog& d = fakehost::NewDialog();
  fakehost::Control& box = d.Add(2, cQV_CheckBox, "Box");
  fakehost::Control& edit = d.Add(3, cQV_EditText);
  fakehost::Control& label = d.Add(4, cQV_StaticText);
  box.value = 1;
  EXPECT_EQ(ToggleButton(&d.handle, 2), 0);
  EXPECT_EQ(box.value, 0);
  EXPECT_EQ(ToggleButton(&d.handle, 2), 1);
  box.value = -7;
  EXPECT_EQ(ToggleButton(&d.handle, 2), 0);
  SetTheIPopUp(&d.handle, 2, -3);
  EXPECT_EQ(GetButton(&d.handle, 2), -3);
  box.value = 70000;
  EXPECT_EQ(GetTheIPopUp(&d.handle, 2), int16_t(70000 - 65536));
  SetButtonName(&d.handle, 2, PS("Renamed"));
  EXPECT_EQ(box.title, "Renamed");
  SetControlIDTitle(&d.handle, 2, "Again");
  EXPECT_EQ(box.title, "Again");
  SetControlIDVisible(&d.handle, 2, 0);
  EXPECT_EQ(box.visible, 0);
  SetEditTextIDString(&d.handle, 3, "typed");
  EXPECT_EQ(edit.text, "typed");

  SelectItem(&d.handle, 3);
  EXPECT_TRUE(edit.isKey);
  EXPECT_EQ(edit.selectionStart, 0);
  EXPECT_EQ(edit.selectionEnd, 10000);
  SelectItem(&d.handle, 4);
  EXPECT_TRUE(label.isKey);
  EXPECT_EQ(label.selectionStart, -1);
  EXPECT_EQ(GetTheIType(&d.handle, 4), cQV_StaticText);

  QV_Rect r{-10, 20, 30, 40}, back{};
  SetTheIRect(&d.handle, 4, &r);
  SetTheIRect(&d.handle, 4, nullptr);
  GetTheIRect(&d.handle, 4, &back);
  GetTheIRect(&d.handle, 4, nullptr);
  EXPECT_EQ(back.left, -10);
  EXPECT_EQ(back.bottom, 40);

  QV_UserDrawFunction draw = [](QV_Control*, QV_DrawContext*) {};
  QV_UserClickFunction click = [](QV_Control*, int, int) { return 1; };
  QV_ControlHitFunction hit = [](QV_Control*) {};
  SetUserControlIDFunctions(&d.handle, 4, draw, click);
  SetControlIDHitFunction(&d.handle, 2, hit);
  EXPECT_EQ(label.draw, draw);
  EXPECT_EQ(label.click, click);
  EXPECT_EQ(box.hit, hit);
}

TEST_F(DialogUtils, ColourButtonsCarryBytes) {
  fakehost::Dialog& d = fakehost::NewDialog();
  fakehost::Control& button = d.Add(35, cQV_ColorButton);
  ARGB c = MakeARGB(255, 0, 128, 7);
  SetColorButtonIDARGB(&d.handle, 35, &c);
  EXPECT_EQ(button.rgba[0], 0);
  EXPECT_EQ(button.rgba[1], 128);
  EXPECT_EQ(button.rgba[2], 7);
  EXPECT_EQ(button.rgba[3], 255);
  button.rgba[0] = 256 + 5;  // truncated to its low byte
  button.rgba[3] = 1;
  GetColorButtonIDARGB(&d.handle, 35, &c);
  EXPECT_EQ(c.colorValue, MakeARGB(1, 5, 128, 7).colorValue);
  button.writesColor = false;
  GetColorButtonIDARGB(&d.handle, 35, &c);
  EXPECT_EQ(c.colorValue, MakeARGB(1, 5, 128, 7).colorValue);
}

TEST_F(DialogUtils, ParameterTextSubstitution) {
  fakehost::Dialog& d = fakehost::NewDialog();
  fakehost::Control& a = d.Add(1, cQV_StaticText, " ^0 ");
  fakehost::Control& b = d.Add(2, cQV_StaticText, "^3-^2-^1-^0^4^^x^");
  fakehost::Control& edit = d.Add(3, cQV_EditText, "^0");
  fakehost::Control& empty = d.Add(4, cQV_StaticText, " ^1 ");
  SetParamText(&d.handle, PS("abc"), PS(""), PS("Z"), PS("^1"));
  EXPECT_EQ(a.title, " abc ");
  EXPECT_EQ(b.title, "^1-Z--abc^4^^x^");  // inserted "^1" is not rescanned
  EXPECT_EQ(edit.title, "^0");
  EXPECT_EQ(empty.title, "  ");

  // An inserted text that overfills the title keeps whole; the title's end goes.
  std::string longTitle = "^0" + std::string(250, 'x') + "END";
  a.title = longTitle;
  std::string insert(20, 'i');
  SetParamText(&d.handle, PS(insert.c_str()), nullptr, nullptr, nullptr);
  EXPECT_EQ(a.title, insert + std::string(235, 'x'));
}

TEST_F(DialogUtils, ErrorAlertsOncePerRun) {
  QV_ResourceFile file;
  for (int id : {9000, 9002, 9003, 9004})
    host.templates[id] = [](fakehost::Dialog& d) {
      d.Add(1, cQV_StaticText, "^0");
      d.Add(2, cQV_StaticText, "[^1^2^3]");
      d.Add(3, cQV_PushButton, "OK");
    };
  Error(&file, PS("Out of memory"), -108);
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].dialogID, 9000);
  EXPECT_EQ(host.shown[0].staticTitles[0], "Out of memory: -108");
  EXPECT_EQ(host.shown[0].staticTitles[1], "[]");
  EXPECT_TRUE(errorFlag);
  Error(&file, PS("Again"), 1);
  StandardError(&file, PS("Again"));
  EXPECT_EQ(host.shown.size(), 1u);
  Stop(&file, PS("Stop"));
  Caution(&file, PS("Caution"));
  Message(&file, PS("Message"));
  host.executeResult = 2;
  EXPECT_EQ(Warning(&file, PS("Warning")), 2);
  ASSERT_EQ(host.shown.size(), 5u);
  EXPECT_EQ(host.shown[1].dialogID * 1000 + host.shown[1].staticTitles[0].size(), 9000004u);
  EXPECT_EQ(host.shown[2].dialogID, 9004);
  EXPECT_EQ(host.shown[3].dialogID, 9003);
  EXPECT_EQ(host.shown[4].dialogID, 9002);
  EXPECT_EQ(host.shown[4].staticTitles[0], "Warning");
  EXPECT_TRUE(host.live.empty());  // every alert destroyed its dialog

  InitUtils();
  StandardError(&file, PS(""));  // nothing to say: not shown, but counts
  EXPECT_TRUE(errorFlag);
  InitUtils();
  hideErrorFlag = true;
  Error(&file, PS("Hidden"), 1);
  EXPECT_TRUE(errorFlag);
  EXPECT_EQ(host.shown.size(), 5u);
  InitUtils();
  StandardError(&file, PS("Shown"));
  ASSERT_EQ(host.shown.size(), 6u);
  EXPECT_EQ(host.shown[5].staticTitles[0], "Shown");

  // No such dialog (or no resource file): nothing shown, 0.
  host.templates.erase(9002);
  EXPECT_EQ(Warning(&file, PS("x")), 0);
  EXPECT_EQ(StandardDialog(nullptr, 9000, PS("x"), PS(""), PS(""), PS("")), 0);
  EXPECT_EQ(host.shown.size(), 6u);
}

// Home directory and file reference are released whatever the outcome.
TEST_F(DialogUtils, OpenResourceFileReleasesItsReferences) {
  QV_ResourceFile* f = OpenResourceFile("Particle.rsc");
  EXPECT_EQ(f, &host.resourceFile);
  EXPECT_EQ(host.fileName, "Particle.rsc");
  EXPECT_EQ(host.fileType, 0x72737263u);  // "rsrc"
  EXPECT_EQ(host.extension, "rsc");
  EXPECT_EQ(host.fileRefsReleased, 1);
  EXPECT_EQ(host.homesReleased, 1);

  host.openFails = true;
  EXPECT_EQ(OpenResourceFile("Particle.rsc"), nullptr);
  EXPECT_EQ(host.fileRefsReleased, 2);
  EXPECT_EQ(host.homesReleased, 2);

  host.fileRefFails = true;
  EXPECT_EQ(OpenResourceFile("Particle.rsc"), nullptr);
  EXPECT_EQ(host.homesReleased, 3);

  host.homeFails = true;
  EXPECT_EQ(OpenResourceFile("Particle.rsc"), nullptr);
  EXPECT_EQ(host.homesMade, host.homesReleased);
  EXPECT_EQ(host.fileRefsMade, host.fileRefsReleased);
}

}  // namespace
