// The resource format and the host's dialog services, called directly as
// the kit's entry points call them.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "HostCallbacks.h"
#include "PluginInstance.h"
#include "Services.h"

namespace {

using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

const char kGood[] = R"({"format": "plmhost-resources", "version": 1, "dialogs": {"7": {
  "title": "T", "size": [100, 100], "controls": [
    {"id": 1, "kind": "PushButton", "bounds": [0, 80, 40, 100], "title": "OK"},
    {"id": 3, "kind": "cQV_StaticText", "bounds": [0, 0, 100, 20], "title": "Caf\u00e9 ^0"},
    {"id": 5, "kind": "EditText", "bounds": [0, 20, 100, 40], "name": "count", "text": "12"},
    {"id": 6, "kind": "ColorButton", "bounds": [0, 40, 60, 60], "name": "tint", "color": [128, 1, 2, 3]}]},
  "8": {"size": [10, 10], "controls": [{"id": 3, "kind": "StaticText", "bounds": [0, 0, 10, 10], "title": "hi"}]}}})";

// Why the file or its dialog 7 is refused; empty when both are fine.
std::string ProblemOf(const std::string& theText) {
  ResourceData data;
  DialogTemplate layout;
  std::string problem;
  if (ParseResourceText(theText, &data, &problem)) ReadDialogTemplate(data, 7, &layout, &problem);
  return problem;
}

TEST(PlmhostResource, MalformedFilesAndDialogsAreRefusedWithAReason) {
  ASSERT_EQ(ProblemOf(kGood), "");
  struct Case {
    const char* reason;
    std::function<void(Json&)> spoil;
  } cases[] = {
      {"format", [](Json& d) { d["format"] = "rsrc"; }},
      {"not a dialog number", [](Json& d) { d["dialogs"]["7x"] = d["dialogs"]["7"]; }},
      {"two controls with ID 5", [](Json& d) { d["dialogs"]["7"]["controls"][3]["id"] = 5; }},
      {"two controls named count", [](Json& d) { d["dialogs"]["7"]["controls"][3]["name"] = "count"; }},
      {"inside the dialog", [](Json& d) { d["dialogs"]["7"]["controls"][2]["bounds"] = {0, 20, 101, 40}; }},
      {"longer than 255", [](Json& d) { d["dialogs"]["7"]["controls"][1]["title"] = std::string(256, 'x'); }},
      {"whole number", [](Json& d) { d["dialogs"]["7"]["controls"][0]["id"] = "1"; }},
      {"not a control kind", [](Json& d) { d["dialogs"]["7"]["controls"][0]["kind"] = "Slider"; }},
      {"take names", [](Json& d) { d["dialogs"]["7"]["controls"][1]["name"] = "label"; }},
      {"unknown field", [](Json& d) { d["dialogs"]["7"]["controls"][0]["colour"] = 1; }},
      {"more than 256", [](Json& d) { d["dialogs"]["7"]["controls"] = Json(std::vector<Json>(257, Json::object())); }},
  };
  for (const Case& c : cases) {
    Json doc = Json::parse(kGood);
    c.spoil(doc);
    EXPECT_NE(ProblemOf(doc.dump()).find(c.reason), std::string::npos) << c.reason << ": " << ProblemOf(doc.dump());
  }
  EXPECT_NE(ProblemOf("{\"format\": ").find("not a JSON document"), std::string::npos);
  EXPECT_NE(ProblemOf(std::string(5000, '[') + std::string(5000, ']')).find("nested"), std::string::npos);
  EXPECT_NE(ProblemOf(std::string(kMaxResourceBytes + 1, ' ')).find("larger"), std::string::npos);
}

TEST(PlmhostResource, ParticleRscHoldsTheControlMapAndTheAlerts) {
  std::ifstream in(PARTICLE_RSC_PATH);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), problem;
  ResourceData data;
  ASSERT_TRUE(ParseResourceText(text, &data, &problem)) << problem;
  auto kinds = [&](int32_t theDialog) {
    DialogTemplate layout;
    std::map<int32_t, int> found;  // kind, or -1 for a field without a name
    EXPECT_TRUE(ReadDialogTemplate(data, theDialog, &layout, &problem)) << problem;
    for (const ControlTemplate& c : layout.controls)
      found[c.id] = (c.kind == cQV_EditText || c.kind == cQV_ColorButton) && c.name.empty() ? -1 : c.kind;
    for (const ControlTemplate& c : layout.controls)
      if (c.kind == cQV_StaticText && c.title.find("^0") != std::string::npos) found[-1] = 1;
    return found;
  };
  std::map<int32_t, int> settings = kinds(16001);
  for (int32_t id : {5, 6, 15, 8, 17, 7, 16, 9, 10, 11, 12, 13, 14, 20, 21, 23, 18, 29, 19, 30, 27, 22, 31, 24, 25, 26, 28})
    EXPECT_EQ(settings[id], cQV_EditText) << id;
  for (int32_t id : {35, 36, 37}) EXPECT_EQ(settings[id], cQV_ColorButton) << id;
  for (int32_t alert : {16001, 9000, 9002, 9003, 9004}) {
    std::map<int32_t, int> controls = kinds(alert);
    EXPECT_EQ(controls[kOkButtonID], cQV_PushButton) << alert;
    EXPECT_EQ(controls.count(-1), alert == 16001 ? 0u : 1u) << alert << ": the ^0 marker";
  }
  EXPECT_EQ(settings[kCancelButtonID], cQV_PushButton);
}

// The plug-in's home is the folder of its file: a fresh temporary folder.
struct PlmhostServices : ::testing::Test {
  fs::path dir;
  PluginInstance instance;
  ActiveInstanceScope scope{instance};
  QV_ResourceFile* resources = nullptr;
  QV_Dialog* dialog = nullptr;
  const uint32_t rsrc = 0x72737263u;

  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "plmhost-services-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    instance.plugin.path = (dir / "p.plm").string();
    std::ofstream(dir / "r.rsc") << kGood;
    resources = Open("r.rsc");
    dialog = QV_MakeDialog(resources, 7);
    ASSERT_NE(dialog, nullptr);
  }
  void TearDown() override {
    EndDialogSession();
    fs::remove_all(dir);
  }
  QV_ResourceFile* Open(const char* theName) {
    QV_DirectoryRef* home = QV_GetHomeDirectory();
    QV_FileRef* file = QV_MakeFileRef(home, theName, rsrc, "rsc");
    QV_ResourceFile* opened = QV_OpenResourceFile(file);
    QV_DestroyFileRef(file);
    QV_DestroyDirectoryRef(home);
    return opened;
  }
  QV_Control* Item(int theID) { return QV_FindControlByID(dialog, theID); }
  std::string Colour() {  // "a,r,g,b"
    int r = 0, g = 0, b = 0, a = 0;
    QV_GetColorButtonColor(Item(6), &r, &g, &b, &a);
    return std::to_string(a) + "," + std::to_string(r) + "," + std::to_string(g) + "," + std::to_string(b);
  }
};

TEST_F(PlmhostServices, ControlsTextsSelectionsAndColours) {
  EXPECT_EQ(QV_CountControls(dialog), 4);
  EXPECT_EQ(QV_FindControlByIndex(dialog, -1), nullptr);
  EXPECT_EQ(QV_FindControlByIndex(dialog, 4), nullptr);
  EXPECT_EQ(QV_GetControlID(QV_FindControlByIndex(dialog, 2)), 5);
  // Texts never pass the capacity the caller gives, terminator included.
  EXPECT_EQ(QV_GetControlTitleSize(Item(3)), 7);  // Mac OS Roman: one byte for the accent
  for (int capacity : {16, 4, 1, 0, -5}) {
    char buffer[20];
    std::memset(buffer, 'x', sizeof buffer);
    int n = capacity;
    QV_GetControlTitle(Item(3), buffer, &n);
    int written = capacity > 0 ? std::min(capacity - 1, 7) : 0;
    EXPECT_EQ(n, written) << capacity;
    EXPECT_EQ(std::string(buffer, size_t(written)), std::string("Caf\x8E ^0", size_t(written)));
    if (capacity > 0) {
      EXPECT_EQ(buffer[written], 0) << capacity;
    }
    for (int k = capacity > 0 ? written + 1 : 0; k < 20; ++k) ASSERT_EQ(buffer[k], 'x') << capacity << " " << k;
  }
  QV_SetEditTextString(Item(3), "not on a static text");
  EXPECT_EQ(QV_GetEditTextStringSize(Item(3)), 0);
  int start = -1, end = -1;
  QV_SetEditTextSelection(Item(5), 0, 10000);
  QV_GetEditTextSelection(Item(5), &start, &end);
  EXPECT_EQ(end - start, 2);  // all of "12"
  QV_SetEditTextString(Item(5), std::string(300, '7').c_str());
  EXPECT_EQ(QV_GetEditTextStringSize(Item(5)), 255);
  EXPECT_EQ(Colour(), "128,1,2,3");
  QV_SetColorButtonColor(Item(6), 300, -4, 7, 9);
  EXPECT_EQ(Colour(), "9,255,0,7");
}

TEST_F(PlmhostServices, NullAndForeignHandlesDoNothing) {
  QV_Control strangerControl{};
  QV_Dialog strangerDialog{};
  int red = -1;
  EXPECT_EQ(QV_CountControls(nullptr), 0);
  EXPECT_EQ(QV_FindControlByID(&strangerDialog, 5), nullptr);
  EXPECT_EQ(QV_GetControlType(&strangerControl), cQV_NoControlType);
  QV_GetColorButtonColor(&strangerControl, &red, nullptr, nullptr, nullptr);
  EXPECT_EQ(red, -1);
  QV_SetEditTextString(nullptr, "x");
  QV_SetControlTitle(Item(99), "x");  // the kit passes a missing control straight on
  EXPECT_EQ(QV_ExecuteDialog(&strangerDialog), 0);
  EXPECT_EQ(QV_MakeDialog(reinterpret_cast<QV_ResourceFile*>(&strangerDialog), 7), nullptr);
  QV_DirectoryRef* home = QV_GetHomeDirectory();
  for (const char* name : {"../r.rsc", "sub/r.rsc", "..", ""}) EXPECT_EQ(QV_MakeFileRef(home, name, rsrc, "rsc"), nullptr) << name;
  QV_DestroyDirectoryRef(home);

  QV_Control* edit = Item(5);
  QV_DestroyDialog(dialog);
  EXPECT_EQ(QV_GetControlType(edit), cQV_NoControlType);
  EXPECT_EQ(QV_CountControls(dialog), 0);
  EXPECT_EQ(QV_MakeDialog(resources, 99), nullptr);
  QV_CloseResourceFile(resources);
  EXPECT_EQ(QV_MakeDialog(resources, 7), nullptr);
  std::ofstream(dir / "bad.rsc") << "{";
  EXPECT_EQ(Open("bad.rsc"), nullptr);
  EXPECT_EQ(Open("none.rsc"), nullptr);
  std::vector<std::string> notes = EndDialogSession().notes;
  ASSERT_EQ(notes.size(), 3u);
  EXPECT_NE(notes[0].find("r.rsc: no dialog 99"), std::string::npos) << notes[0];
  EXPECT_NE(notes[1].find("bad.rsc: not a JSON document"), std::string::npos) << notes[1];
  EXPECT_NE(notes[2].find("none.rsc: no resource file there"), std::string::npos) << notes[2];
}

// Each session ends by freeing what the plug-in left open, so every run
// opens the resource again.
TEST_F(PlmhostServices, ScriptsTypeIntoFieldsAsAUserWould) {
  auto run = [&](std::vector<ScriptedValue> values, bool cancel = false) {
    EndDialogSession();
    resources = Open("r.rsc");
    dialog = QV_MakeDialog(resources, 7);
    BeginDialogSession({DialogFrontEnd::kScript, {values, cancel}});
    return QV_ExecuteDialog(dialog);
  };
  EXPECT_EQ(run({{"count", "abc"}, {"6", "#80FF0010"}}), 1);
  std::vector<DialogChange> changes = EndDialogSession().changes;
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].control + " " + changes[0].before + " " + changes[0].after, "count 12 abc");
  EXPECT_EQ(changes[1].control + " " + changes[1].after, "tint 128,255,0,16");
  struct ColourCase {
    const char* text;
    const char* argb;  // empty: refused
  } colours[] = {{"#80FF0010", "128,255,0,16"}, {"#0a0B0c", "255,10,11,12"}, {"1,2,3,4", "1,2,3,4"},
                 {"1,2,3", ""}, {"1,2,3,4,5", ""}, {"256,0,0,0", ""}, {"#12345", ""}, {"#GG0000", ""}, {"", ""}};
  for (const ColourCase& c : colours) {
    EXPECT_EQ(run({{"tint", c.text}}), *c.argb ? 1 : 0) << c.text;
    EXPECT_EQ(Colour(), *c.argb ? c.argb : "128,1,2,3") << c.text;
  }
  EXPECT_EQ(run({{"count", "5"}, {"nope", "1"}}), 0);
  EXPECT_EQ(QV_GetEditTextStringSize(Item(5)), 2);  // nothing typed
  std::string problem = EndDialogSession().scriptProblem;
  EXPECT_NE(problem.find("--set nope: no such control in dialog 7; the names are count (5), tint (6)"),
            std::string::npos) << problem;
  EXPECT_EQ(run({{"3", "x"}}), 0);  // a static text takes no value
  EXPECT_NE(EndDialogSession().scriptProblem.find("not a field"), std::string::npos);
  EXPECT_EQ(run({{"count", "9"}}, true), 0);
  EXPECT_TRUE(EndDialogSession().changes.empty());
  EXPECT_EQ(run({{"count", "9"}}), 1);
  EXPECT_EQ(QV_ExecuteDialog(QV_MakeDialog(resources, 8)), 1);  // an alert is printed and confirmed
}

}  // namespace
