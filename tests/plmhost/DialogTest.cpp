// The resource format and the host's dialog services, called directly as
// the kit's entry points call them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "protocol/HostCallbacks.h"
#include "protocol/PluginInstance.h"
#include "dialog/Services.h"

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
  std::pair<const char*, std::function<void(Json&)>> cases[] = {  // the reason, and how the file is spoilt
      {"format", [](Json& d) { d["format"] = "rsrc"; }},
      {"two controls with ID 5", [](Json& d) { d["dialogs"]["7"]["controls"][3]["id"] = 5; }},
      {"two controls named count", [](Json& d) { d["dialogs"]["7"]["controls"][3]["name"] = "count"; }},
      {"inside the dialog", [](Json& d) { d["dialogs"]["7"]["controls"][2]["bounds"] = {0, 20, 101, 40}; }},
      {"longer than 255", [](Json& d) { d["dialogs"]["7"]["controls"][1]["title"] = std::string(256, 'x'); }},
      {"unknown field", [](Json& d) { d["dialogs"]["7"]["controls"][0]["colour"] = 1; }},
      {"more than 256", [](Json& d) { d["dialogs"]["7"]["controls"] = Json(std::vector<Json>(257, Json::object())); }},
  };
  for (const auto& [reason, spoil] : cases) {
    Json doc = Json::parse(kGood);
    spoil(doc);
    EXPECT_NE(ProblemOf(doc.dump()).find(reason), std::string::npos) << reason << ": " << ProblemOf(doc.dump());
  }
  EXPECT_NE(ProblemOf(std::string(5000, '[') + std::string(5000, ']')).find("nested"), std::string::npos);
  EXPECT_NE(ProblemOf(std::string(kMaxResourceBytes + 1, ' ')).find("larger"), std::string::npos);
}

// The plug-in's home is the folder of its file: a fresh temporary folder.
struct PlmhostServices : ::testing::Test {
  fs::path dir = fs::temp_directory_path() / ("plmhost-services-" + std::to_string(getpid()));
  PluginInstance instance;
  ActiveInstanceScope scope{instance};
  QV_ResourceFile* resources = nullptr;
  QV_Dialog* dialog = nullptr;

  void SetUp() override {
    fs::create_directories(dir);
    instance.plugin.path = (dir / "p.plm").string();
    std::ofstream(dir / "r.rsc") << kGood;
    ASSERT_NE(dialog = QV_MakeDialog(resources = Open("r.rsc"), 7), nullptr);
  }
  void TearDown() override { EndDialogSession(), fs::remove_all(dir); }
  // What the plug-in leaves open goes at the end of the session.
  QV_FileRef* File(const char* theName) { return QV_MakeFileRef(QV_GetHomeDirectory(), theName, 0x72737263u, "rsc"); }
  QV_ResourceFile* Open(const char* theName) { return QV_OpenResourceFile(File(theName)); }
  QV_Control* Item(int theID) { return QV_FindControlByID(dialog, theID); }
  std::string Colour() {  // "a,r,g,b"
    int r = -1, g = -1, b = -1, a = -1;
    return QV_GetColorButtonColor(Item(6), &r, &g, &b, &a), std::to_string(a) + "," + std::to_string(r) + "," + std::to_string(g) + "," + std::to_string(b);
  }
};

TEST_F(PlmhostServices, ControlsTextsSelectionsAndColours) {
  EXPECT_EQ(QV_CountControls(dialog), 4);
  for (int index : {-1, 4}) EXPECT_EQ(QV_FindControlByIndex(dialog, index), nullptr) << index;
  // Texts never pass the capacity the caller gives, terminator included.
  EXPECT_EQ(QV_GetControlTitleSize(Item(3)), 7);  // Mac OS Roman: one byte for the accent
  for (int capacity : {16, 4, 1, 0, -5}) {
    std::string buffer(20, 'x');
    int n = capacity, written = capacity > 0 ? std::min(capacity - 1, 7) : 0;
    QV_GetControlTitle(Item(3), buffer.data(), &n);
    std::string expected = std::string("Caf\x8E ^0", size_t(written)) + std::string(capacity > 0, '\0');
    EXPECT_TRUE(n == written && buffer == expected + std::string(20 - expected.size(), 'x')) << capacity << ": " << buffer;
  }
  int start = -1, end = -1;
  QV_SetEditTextSelection(Item(5), 0, 10000), QV_GetEditTextSelection(Item(5), &start, &end);
  EXPECT_EQ(end - start, 2);  // all of "12"
  QV_SetEditTextString(Item(5), std::string(300, '7').c_str());
  EXPECT_EQ(QV_GetEditTextStringSize(Item(5)), 255);
  EXPECT_EQ(Colour(), "128,1,2,3");
  QV_SetColorButtonColor(Item(6), 300, -4, 7, 9);
  EXPECT_EQ(Colour(), "9,255,0,7");
}

TEST_F(PlmhostServices, NullForeignAndClosedHandlesDoNothing) {
  QV_Control strangerControl{};
  QV_Dialog strangerDialog{};
  int red = -1;
  QV_GetColorButtonColor(&strangerControl, &red, nullptr, nullptr, nullptr);
  QV_SetEditTextString(nullptr, "x"), QV_SetControlTitle(Item(99), "x");  // the kit passes a missing control on
  EXPECT_EQ(std::vector<int>({QV_CountControls(nullptr), QV_ExecuteDialog(&strangerDialog), red}), std::vector<int>({0, 0, -1}));
  EXPECT_EQ(QV_FindControlByID(&strangerDialog, 5), nullptr);
  EXPECT_EQ(QV_GetControlType(&strangerControl), cQV_NoControlType);
  EXPECT_EQ(QV_MakeDialog(reinterpret_cast<QV_ResourceFile*>(&strangerDialog), 7), nullptr);
  for (const char* name : {"../r.rsc", "sub/r.rsc", "..", ""}) EXPECT_EQ(File(name), nullptr) << name;

  QV_Control* edit = Item(5);
  QV_DestroyDialog(dialog);
  EXPECT_TRUE(QV_GetControlType(edit) == cQV_NoControlType && QV_CountControls(dialog) == 0);
  EXPECT_EQ(QV_MakeDialog(resources, 99), nullptr);
  QV_CloseResourceFile(resources);
  EXPECT_EQ(QV_MakeDialog(resources, 7), nullptr);
  std::ofstream(dir / "bad.rsc") << "{";
  EXPECT_TRUE(Open("bad.rsc") == nullptr && Open("none.rsc") == nullptr);
  std::vector<std::string> notes = EndDialogSession().notes;
  ASSERT_EQ(notes.size(), 3u);
  const char* expected[] = {"r.rsc: no dialog 99", "bad.rsc: not a JSON document", "none.rsc: no resource file there"};
  for (size_t k = 0; k < 3; ++k) EXPECT_NE(notes[k].find(expected[k]), std::string::npos) << notes[k];
}

// Each session ends by freeing what the plug-in left open, so every run
// opens the resource again.
TEST_F(PlmhostServices, ScriptsTypeIntoFieldsAsAUserWould) {
  auto run = [&](std::vector<ScriptedValue> values) {
    EndDialogSession(), BeginDialogSession({DialogFrontEnd::kScript, {values, false}});
    return QV_ExecuteDialog(dialog = QV_MakeDialog(resources = Open("r.rsc"), 7));
  };
  // The text and the colour it gives, "" when refused.
  std::pair<const char*, const char*> colours[] = {{"#80FF0010", "128,255,0,16"}, {"#0a0B0c", "255,10,11,12"}, {"1,2,3", ""},
      {"1,2,3,4,5", ""}, {"256,0,0,0", ""}, {"#12345", ""}, {"#GG0000", ""}, {"", ""}, {"1,2,3,4", "1,2,3,4"}};
  for (auto [text, argb] : colours) {
    EXPECT_EQ(run({{"count", "abc"}, {"6", text}}), *argb ? 1 : 0) << text;
    EXPECT_EQ(Colour(), *argb ? argb : "128,1,2,3") << text;
    EXPECT_EQ(QV_GetEditTextStringSize(Item(5)), *argb ? 3 : 2) << "all or nothing typed";
  }
  EXPECT_EQ(run({{"3", "x"}}), 0);  // a static text takes no value
  EXPECT_EQ(QV_ExecuteDialog(QV_MakeDialog(resources, 8)), 1);  // an alert is printed and confirmed
  EXPECT_NE(EndDialogSession().scriptProblem.find("not a field"), std::string::npos);
}

}  // namespace
