// The settings dialog ("INTF") against a fake host whose dialog services are
// extern "C" functions exported from this program, found by name as a real
// host's are: which control shows which setting, with how many decimals,
// and where an edit lands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "FakeHost.h"
#include "host/QVTypes.h"

namespace {

struct Control : QV_Control {
  std::string text;
  int rgba[4] = {0, 0, 0, 0};
};

// The controls by ID, made on first use; what the dialog showed; the edits
// the user makes before pressing OK.
struct DialogHost {
  QV_DirectoryRef home{};
  QV_FileRef file{};
  QV_ResourceFile resources{};
  QV_Dialog dialog{};
  int dialogID = 0;
  std::map<int, Control> controls;
  std::map<int, std::string> shown, edits;
} ui;

Control* C(QV_Control* c) { return static_cast<Control*>(c); }

}  // namespace

QV_SERVICE_EXPORT QV_DirectoryRef* QV_GetHomeDirectory() { return &ui.home; }
QV_SERVICE_EXPORT void QV_DestroyDirectoryRef(QV_DirectoryRef*) {}
QV_SERVICE_EXPORT QV_FileRef* QV_MakeFileRef(QV_DirectoryRef*, const char*, uint32_t,
                                             const char*) {
  return &ui.file;
}
QV_SERVICE_EXPORT void QV_DestroyFileRef(QV_FileRef*) {}
QV_SERVICE_EXPORT QV_ResourceFile* QV_OpenResourceFile(QV_FileRef*) { return &ui.resources; }
QV_SERVICE_EXPORT void QV_CloseResourceFile(QV_ResourceFile*) {}
QV_SERVICE_EXPORT QV_Dialog* QV_MakeDialog(QV_ResourceFile*, int theID) {
  ui.dialogID = theID;
  return &ui.dialog;
}
QV_SERVICE_EXPORT void QV_DestroyDialog(QV_Dialog*) {}
QV_SERVICE_EXPORT QV_Control* QV_FindControlByID(QV_Dialog*, int theID) {
  return &ui.controls[theID];
}
QV_SERVICE_EXPORT void QV_SetEditTextString(QV_Control* c, const char* t) { C(c)->text = t; }
QV_SERVICE_EXPORT int QV_GetEditTextStringSize(QV_Control* c) { return int(C(c)->text.size()); }
QV_SERVICE_EXPORT void QV_GetEditTextString(QV_Control* c, char* out, int* n) {
  const std::string& t = C(c)->text;
  *n = std::min(*n, int(t.size()));
  std::memcpy(out, t.data(), size_t(*n));
  out[*n] = '\0';
}
QV_SERVICE_EXPORT void QV_SetColorButtonColor(QV_Control* c, int r, int g, int b, int a) {
  C(c)->rgba[0] = r, C(c)->rgba[1] = g, C(c)->rgba[2] = b, C(c)->rgba[3] = a;
}
QV_SERVICE_EXPORT void QV_GetColorButtonColor(QV_Control* c, int* r, int* g, int* b, int* a) {
  *r = C(c)->rgba[0], *g = C(c)->rgba[1], *b = C(c)->rgba[2], *a = C(c)->rgba[3];
}
QV_SERVICE_EXPORT int QV_ExecuteDialog(QV_Dialog*) {
  for (const auto& [id, control] : ui.controls) ui.shown[id] = control.text;
  for (const auto& [id, text] : ui.edits) ui.controls[id].text = text;
  return 1;
}

namespace {

// Dialog 16001 shows each number in its own field, to 8 decimals with the
// zeros trimmed; OK stores the edited fields in their own settings and marks
// the pool for a replay.
TEST(Dialog, EachSettingHasItsOwnFieldAndEditsLandInIt) {
  FakeHost host;
  ASSERT_EQ(host.Init(), kPluginNoError);
  ControlDataRec& c = host.Control();
  c.initXDir = 0.123456789, c.initYDir = -2.5, c.initZDir = 3;
  c.lastFrameIndex = 7;
  ui.edits = {{20, "4"}, {21, "5"}, {23, "6"}, {18, "33"}};
  ASSERT_EQ(host.Interface(), kPluginNoError);
  EXPECT_EQ(ui.dialogID, 16001);
  EXPECT_EQ(ui.shown[20] + " " + ui.shown[21] + " " + ui.shown[23] + " " + ui.shown[6],
            "0.12345679 -2.5 3 25");
  EXPECT_EQ(std::vector<double>({c.initXDir, c.initYDir, c.initZDir, c.initAngle}),
            std::vector<double>({4, 5, 6, 33}));
  EXPECT_EQ(c.lastFrameIndex, kNoFrame);
  EXPECT_EQ(host.calls.back(), kHostModelReset);
}

}  // namespace
