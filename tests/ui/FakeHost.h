// A small stand-in for the host's dialog services, for the tests of the
// dialog utilities.  The services themselves (FakeHost.cpp) are extern "C"
// functions exported from the test program, found by name like a real
// host's; this header is the test's view of their state.
#ifndef TESTS_UI_FAKEHOST_H
#define TESTS_UI_FAKEHOST_H

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/QVTypes.h"

namespace fakehost {

struct Control {
  QV_Control handle{};
  int id = 0;
  QV_ControlType type = cQV_NoControlType;
  std::string title;
  std::string text;  // an edit text's contents
  int value = 0;
  int rgba[4] = {0, 0, 0, 0};
  bool writesColor = true;  // false: QV_GetColorButtonColor leaves its outputs alone
  QV_Rect bounds{};
  int visible = 1;
  bool isKey = false;
  int selectionStart = -1, selectionEnd = -1;
  QV_ControlHitFunction hit = nullptr;
  QV_UserDrawFunction draw = nullptr;
  QV_UserClickFunction click = nullptr;
};

struct Dialog {
  QV_Dialog handle{};
  int dialogID = 0;
  std::vector<std::unique_ptr<Control>> controls;  // by index

  Control& Add(int theID, QV_ControlType theType, const std::string& theTitle = "");
  Control* ByID(int theID);
};

// A dialog as it stood when the user saw it.
struct Shown {
  int dialogID;
  std::vector<std::string> staticTitles;
};

struct Host {
  // How text is handed back: the length the Size services report (the true
  // one unless lieAboutSize) and whether the text comes back zero-terminated.
  bool lieAboutSize = false;
  int reportedSize = 0;
  bool terminates = true;
  int largestRequest = 0;  // the largest capacity a caller asked for

  // Dialogs: templates by number, the dialogs made and not yet destroyed,
  // what QV_ExecuteDialog answers and what it showed.
  std::map<int, std::function<void(Dialog&)>> templates;
  std::vector<std::unique_ptr<Dialog>> live;
  int executeResult = 1;
  std::vector<Shown> shown;

  // The resource file: which step fails, and the references handed out and
  // released.
  bool homeFails = false, fileRefFails = false, openFails = false;
  int homesMade = 0, homesReleased = 0, fileRefsMade = 0, fileRefsReleased = 0;
  std::string fileName, extension;
  uint32_t fileType = 0;
  QV_DirectoryRef home{};
  QV_FileRef fileRef{};
  QV_ResourceFile resourceFile{};
};

extern Host host;

// Clears every dialog and setting.
void Reset();
// A live dialog made directly by the test.
Dialog& NewDialog();

}  // namespace fakehost

#endif
