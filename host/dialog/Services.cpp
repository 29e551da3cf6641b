#include "dialog/Services.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "protocol/HostCallbacks.h"
#include "protocol/MacRoman.h"
#include "protocol/PluginInstance.h"

namespace fs = std::filesystem;

namespace {

struct DirectoryObject {
  QV_DirectoryRef handle{};
  fs::path path;
};

struct FileObject {
  QV_FileRef handle{};
  fs::path path;
  uint32_t type = 0;
  std::string extension;
};

struct ResourceObject {
  QV_ResourceFile handle{};
  ResourceData data;
};

// Live objects by the address of their handle; only addresses found here
// are ever followed.
template <typename Handle, typename Object>
struct Registry {
  std::map<const Handle*, std::unique_ptr<Object>> live;

  Handle* Add(std::unique_ptr<Object> theObject) {
    Handle* handle = &theObject->handle;
    live[handle] = std::move(theObject);
    return handle;
  }
  Object* Find(const Handle* theHandle) const {
    auto found = live.find(theHandle);
    return found == live.end() ? nullptr : found->second.get();
  }
};

struct Host {
  Registry<QV_DirectoryRef, DirectoryObject> directories;
  Registry<QV_FileRef, FileObject> files;
  Registry<QV_ResourceFile, ResourceObject> resources;
  Registry<QV_Dialog, DialogWindow> dialogs;
  std::map<const QV_Control*, DialogControl*> controls;
  const DialogWindow* executing = nullptr;
  DialogSession session;
  DialogReport report;
};

Host host;

constexpr size_t kMaxNotes = 20;

void Note(const std::string& theText) {
  if (host.report.notes.size() < kMaxNotes) host.report.notes.push_back(theText);
}

// Nothing may unwind into the plug-in.
template <typename R, typename F>
R Answer(R theFallback, F&& theBody) noexcept {
  try {
    return theBody();
  } catch (...) {
    return theFallback;
  }
}

template <typename F>
void Do(F&& theBody) noexcept {
  try {
    theBody();
  } catch (...) {
  }
}

DialogControl* FindControl(const QV_Control* theHandle) {
  auto found = host.controls.find(theHandle);
  return found == host.controls.end() ? nullptr : found->second;
}

template <typename R, typename F>
R ControlAnswer(const QV_Control* theHandle, R theFallback, F&& theBody) noexcept {
  return Answer(theFallback, [&] {
    DialogControl* c = FindControl(theHandle);
    return c != nullptr ? theBody(*c) : theFallback;
  });
}

template <typename F>
void ControlDo(const QV_Control* theHandle, F&& theBody) noexcept {
  Do([&] {
    if (DialogControl* c = FindControl(theHandle)) theBody(*c);
  });
}

// Text in from the plug-in: zero-terminated, read no further than a control
// can hold.
std::string TextIn(const char* theText) {
  return theText == nullptr ? std::string() : std::string(theText, strnlen(theText, kMaxControlText));
}

// Text out: never more than the capacity the caller gave, terminator
// included; *ioNumChars becomes the number of characters written.
void TextOut(const std::string& theText, char* oText, int* ioNumChars) {
  if (oText == nullptr || ioNumChars == nullptr) return;
  int capacity = *ioNumChars;
  if (capacity <= 0) {
    *ioNumChars = 0;
    return;
  }
  size_t n = std::min(theText.size(), size_t(capacity) - 1);
  std::memcpy(oText, theText.data(), n);
  oText[n] = 0;
  *ioNumChars = int(n);
}

void Forget(DialogWindow& theDialog) {
  for (const auto& c : theDialog.controls) host.controls.erase(&c->handle);
}

std::string ControlLabel(const DialogControl& c) {
  return c.name.empty() ? std::to_string(c.id) : c.name;
}

void PrintAlert(const DialogWindow& theDialog) {
  std::string text;
  for (const auto& c : theDialog.controls)
    if (c->visible && c->kind == cQV_StaticText && !c->title.empty())
      text += (text.empty() ? "" : " ") + MacRomanToUtf8(c->title);
  std::fflush(stdout);
  std::fprintf(stderr, "plmhost: alert %d%s: %s\n", int(theDialog.number),
               theDialog.title.empty() ? "" : (" (" + MacRomanToUtf8(theDialog.title) + ")").c_str(), text.c_str());
}

bool RunDialog(DialogWindow& theDialog) {
  bool editable = HasEditableControls(theDialog);
  std::vector<std::string> before;
  for (const auto& c : theDialog.controls) before.push_back(ControlValueText(*c));

  bool confirmed = false;
  std::string problem;
  if (host.session.frontEnd == DialogFrontEnd::kTerminal) {
    confirmed = RunTerminalDialog(theDialog, &problem);
    if (!problem.empty()) Note(problem);
  } else if (!editable) {
    PrintAlert(theDialog);
    confirmed = true;
  } else {
    DialogOutcome outcome = RunScriptedDialog(theDialog, host.session.script, &problem);
    if (outcome == DialogOutcome::kBadScript && host.report.scriptProblem.empty()) host.report.scriptProblem = problem;
    confirmed = outcome == DialogOutcome::kConfirmed;
  }
  if (editable) {
    ++host.report.dialogsShown;
    DialogLayout& form = host.report.lastForm;
    form = {theDialog.number, MacRomanToUtf8(theDialog.title), theDialog.width, theDialog.height, {}};
    for (size_t k = 0; k < theDialog.controls.size(); ++k) {
      const DialogControl& c = *theDialog.controls[k];
      form.items.push_back({c.id, c.kind, c.bounds, MacRomanToUtf8(c.title), c.name, before[k],
                            ControlValueText(c), c.visible, IsEditable(c)});
    }
    host.report.opened.clear();
    for (size_t k = 0; k < theDialog.controls.size(); ++k)
      if (IsEditable(*theDialog.controls[k])) host.report.opened.push_back({ControlLabel(*theDialog.controls[k]), before[k]});
  }
  if (confirmed)
    for (size_t k = 0; k < theDialog.controls.size(); ++k) {
      const DialogControl& c = *theDialog.controls[k];
      std::string after = ControlValueText(c);
      if (IsEditable(c) && after != before[k]) host.report.changes.push_back({ControlLabel(c), before[k], after});
    }
  return confirmed;
}

}  // namespace

void BeginDialogSession(const DialogSession& theSession) {
  host.session = theSession;
  host.report = DialogReport();
}

DialogReport EndDialogSession() {
  DialogReport report = std::move(host.report);
  host.controls.clear();
  host.dialogs.live.clear();
  host.resources.live.clear();
  host.files.live.clear();
  host.directories.live.clear();
  host.session = DialogSession();
  host.report = DialogReport();
  return report;
}

// --- Version ---

QV_SERVICE_EXPORT int QV_GetAPIVersion() { return kHostAPIVersion; }

// --- Controls ---

QV_SERVICE_EXPORT int QV_GetControlID(QV_Control* iControl) {
  return ControlAnswer(iControl, 0, [](DialogControl& c) { return int(c.id); });
}

QV_SERVICE_EXPORT int QV_CountControls(QV_Dialog* iDialog) {
  return Answer(0, [&] {
    DialogWindow* d = host.dialogs.Find(iDialog);
    return d != nullptr ? int(d->controls.size()) : 0;
  });
}

QV_SERVICE_EXPORT QV_Control* QV_FindControlByIndex(QV_Dialog* iDialog, int iControlNumber) {
  return Answer<QV_Control*>(nullptr, [&]() -> QV_Control* {
    DialogWindow* d = host.dialogs.Find(iDialog);
    if (d == nullptr || iControlNumber < 0 || size_t(iControlNumber) >= d->controls.size()) return nullptr;
    return &d->controls[size_t(iControlNumber)]->handle;
  });
}

QV_SERVICE_EXPORT QV_Control* QV_FindControlByID(QV_Dialog* iDialog, int iControlID) {
  return Answer<QV_Control*>(nullptr, [&]() -> QV_Control* {
    DialogWindow* d = host.dialogs.Find(iDialog);
    if (d == nullptr) return nullptr;
    for (const auto& c : d->controls)
      if (c->id == iControlID) return &c->handle;
    return nullptr;
  });
}

QV_SERVICE_EXPORT QV_ControlType QV_GetControlType(QV_Control* iControl) {
  return ControlAnswer(iControl, cQV_NoControlType, [](DialogControl& c) { return c.kind; });
}

QV_SERVICE_EXPORT void QV_GetControlBounds(QV_Control* iControl, QV_Rect* oBounds) {
  ControlDo(iControl, [&](DialogControl& c) {
    if (oBounds != nullptr) *oBounds = c.bounds;
  });
}

QV_SERVICE_EXPORT void QV_SetControlBounds(QV_Control* ioControl, QV_Rect iBounds) {
  ControlDo(ioControl, [&](DialogControl& c) { c.bounds = iBounds; });
}

QV_SERVICE_EXPORT void QV_SetControlVisible(QV_Control* iControl, int iVisible) {
  ControlDo(iControl, [&](DialogControl& c) { c.visible = iVisible != 0; });
}

QV_SERVICE_EXPORT int QV_GetControlVisible(QV_Control* iControl) {
  return ControlAnswer(iControl, 0, [](DialogControl& c) { return c.visible ? 1 : 0; });
}

QV_SERVICE_EXPORT void QV_SetControlTitle(QV_Control* ioControl, const char* iTitleString) {
  ControlDo(ioControl, [&](DialogControl& c) {
    if (iTitleString != nullptr) SetControlTitle(c, TextIn(iTitleString));
  });
}

QV_SERVICE_EXPORT int QV_GetControlTitleSize(QV_Control* iControl) {
  return ControlAnswer(iControl, 0, [](DialogControl& c) { return int(c.title.size()); });
}

QV_SERVICE_EXPORT void QV_GetControlTitle(QV_Control* iControl, char* oText, int* ioNumChars) {
  ControlDo(iControl, [&](DialogControl& c) { TextOut(c.title, oText, ioNumChars); });
}

QV_SERVICE_EXPORT int QV_GetControlValue(QV_Control* iControl) {
  return ControlAnswer(iControl, 0, [](DialogControl& c) { return int(c.value); });
}

QV_SERVICE_EXPORT void QV_SetControlValue(QV_Control* ioControl, int iNewValue) {
  ControlDo(ioControl, [&](DialogControl& c) { c.value = iNewValue; });
}

QV_SERVICE_EXPORT void QV_SetKeyControl(QV_Control* iControl) {
  ControlDo(iControl, [](DialogControl& c) { c.dialog->keyControl = &c; });
}

QV_SERVICE_EXPORT QV_Control* QV_GetKeyControl(QV_Dialog* iDialog) {
  return Answer<QV_Control*>(nullptr, [&]() -> QV_Control* {
    DialogWindow* d = host.dialogs.Find(iDialog);
    return d != nullptr && d->keyControl != nullptr ? &d->keyControl->handle : nullptr;
  });
}

// --- Edit texts: only edit-text controls hold one ---

QV_SERVICE_EXPORT void QV_SetEditTextString(QV_Control* ioControl, const char* iEditString) {
  ControlDo(ioControl, [&](DialogControl& c) {
    if (c.kind == cQV_EditText && iEditString != nullptr) SetControlText(c, TextIn(iEditString));
  });
}

QV_SERVICE_EXPORT int QV_GetEditTextStringSize(QV_Control* iControl) {
  return ControlAnswer(iControl, 0, [](DialogControl& c) { return c.kind == cQV_EditText ? int(c.text.size()) : 0; });
}

QV_SERVICE_EXPORT void QV_GetEditTextString(QV_Control* iControl, char* oText, int* ioNumChars) {
  ControlDo(iControl, [&](DialogControl& c) {
    if (c.kind == cQV_EditText) TextOut(c.text, oText, ioNumChars);
  });
}

QV_SERVICE_EXPORT void QV_SetEditTextSelection(QV_Control* ioControl, int iSelectionStart, int iSelectionEnd) {
  ControlDo(ioControl, [&](DialogControl& c) {
    if (c.kind == cQV_EditText) SetControlSelection(c, iSelectionStart, iSelectionEnd);
  });
}

QV_SERVICE_EXPORT void QV_GetEditTextSelection(QV_Control* ioControl, int* oSelectionStart, int* oSelectionEnd) {
  ControlDo(ioControl, [&](DialogControl& c) {
    if (oSelectionStart != nullptr) *oSelectionStart = c.selectionStart;
    if (oSelectionEnd != nullptr) *oSelectionEnd = c.selectionEnd;
  });
}

// --- Colour buttons: channels 0..255, alpha included ---

QV_SERVICE_EXPORT void QV_GetColorButtonColor(QV_Control* iControl, int* oRed, int* oGreen, int* oBlue, int* oAlpha) {
  ControlDo(iControl, [&](DialogControl& c) {
    if (c.kind != cQV_ColorButton) return;
    int* out[4] = {oAlpha, oRed, oGreen, oBlue};
    for (size_t k = 0; k < 4; ++k)
      if (out[k] != nullptr) *out[k] = c.argb[k];
  });
}

QV_SERVICE_EXPORT void QV_SetColorButtonColor(QV_Control* ioControl, int iRed, int iGreen, int iBlue, int iAlpha) {
  ControlDo(ioControl, [&](DialogControl& c) {
    if (c.kind == cQV_ColorButton) SetControlColor(c, iAlpha, iRed, iGreen, iBlue);
  });
}

// --- Control callbacks ---

QV_SERVICE_EXPORT void QV_SetControlHitFunction(QV_Control* ioControl, QV_ControlHitFunction iFunction) {
  ControlDo(ioControl, [&](DialogControl& c) { c.hit = iFunction; });
}

QV_SERVICE_EXPORT void QV_SetUserControlDraw(QV_Control* ioControl, QV_UserDrawFunction iFunction) {
  ControlDo(ioControl, [&](DialogControl& c) { c.draw = iFunction; });
}

QV_SERVICE_EXPORT void QV_SetUserControlClick(QV_Control* ioControl, QV_UserClickFunction iFunction) {
  ControlDo(ioControl, [&](DialogControl& c) { c.click = iFunction; });
}

// --- Dialogs ---

QV_SERVICE_EXPORT QV_Dialog* QV_MakeDialog(QV_ResourceFile* iResourceFile, int iDialogID) {
  return Answer<QV_Dialog*>(nullptr, [&]() -> QV_Dialog* {
    ResourceObject* r = host.resources.Find(iResourceFile);
    if (r == nullptr) return nullptr;
    DialogTemplate layout;
    std::string problem;
    if (!ReadDialogTemplate(r->data, iDialogID, &layout, &problem)) {
      Note(r->data.path + ": " + problem);
      return nullptr;
    }
    std::unique_ptr<DialogWindow> d = MakeDialogWindow(layout);
    for (const auto& c : d->controls) host.controls[&c->handle] = c.get();
    return host.dialogs.Add(std::move(d));
  });
}

QV_SERVICE_EXPORT void QV_DestroyDialog(QV_Dialog* iDialog) {
  Do([&] {
    DialogWindow* d = host.dialogs.Find(iDialog);
    // A dialog goes only once it has stopped running.
    if (d == nullptr || d == host.executing) return;
    Forget(*d);
    host.dialogs.live.erase(iDialog);
  });
}

QV_SERVICE_EXPORT int QV_ExecuteDialog(QV_Dialog* iDialog) {
  return Answer(0, [&] {
    DialogWindow* d = host.dialogs.Find(iDialog);
    if (d == nullptr || host.executing != nullptr) return 0;  // one modal dialog at a time
    host.executing = d;
    int confirmed = 0;
    try {
      confirmed = RunDialog(*d) ? 1 : 0;
    } catch (...) {
      host.executing = nullptr;
      throw;
    }
    host.executing = nullptr;
    return confirmed;
  });
}

QV_SERVICE_EXPORT void QV_GetDialogSize(QV_Dialog* iDialog, int* oWidth, int* oHeight) {
  Do([&] {
    DialogWindow* d = host.dialogs.Find(iDialog);
    if (d == nullptr) return;
    if (oWidth != nullptr) *oWidth = d->width;
    if (oHeight != nullptr) *oHeight = d->height;
  });
}

// --- Directories and file references ---

// The folder of the plug-in whose command is running.
QV_SERVICE_EXPORT QV_DirectoryRef* QV_GetHomeDirectory() {
  return Answer<QV_DirectoryRef*>(nullptr, []() -> QV_DirectoryRef* {
    PluginInstance* instance = ActiveInstance();
    if (instance == nullptr || instance->plugin.path.empty()) return nullptr;
    auto d = std::make_unique<DirectoryObject>();
    d->path = fs::absolute(instance->plugin.path).parent_path();
    return host.directories.Add(std::move(d));
  });
}

QV_SERVICE_EXPORT void QV_DestroyDirectoryRef(QV_DirectoryRef* iDirectoryRef) {
  Do([&] { host.directories.live.erase(iDirectoryRef); });
}

// A file directly inside the directory: the name is one path component.
QV_SERVICE_EXPORT QV_FileRef* QV_MakeFileRef(QV_DirectoryRef* iDirectoryRef, const char* iNameString,
                                             uint32_t iFileType, const char* iExtensionString) {
  return Answer<QV_FileRef*>(nullptr, [&]() -> QV_FileRef* {
    DirectoryObject* d = host.directories.Find(iDirectoryRef);
    std::string name = TextIn(iNameString);
    if (d == nullptr || name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        iNameString[name.size()] != 0)  // longer than a name can be
      return nullptr;
    auto f = std::make_unique<FileObject>();
    f->path = d->path / MacRomanToUtf8(name);
    f->type = iFileType;
    f->extension = TextIn(iExtensionString);
    return host.files.Add(std::move(f));
  });
}

QV_SERVICE_EXPORT void QV_DestroyFileRef(QV_FileRef* iFileRef) {
  Do([&] { host.files.live.erase(iFileRef); });
}

// --- Resource files ---

QV_SERVICE_EXPORT QV_ResourceFile* QV_OpenResourceFile(QV_FileRef* iFileRef) {
  return Answer<QV_ResourceFile*>(nullptr, [&]() -> QV_ResourceFile* {
    FileObject* f = host.files.Find(iFileRef);
    if (f == nullptr) return nullptr;
    std::string path = f->path.string();
    std::error_code ec;
    if (!fs::is_regular_file(f->path, ec)) {
      Note(path + ": no resource file there");
      return nullptr;
    }
    if (fs::file_size(f->path, ec) > kMaxResourceBytes) {
      Note(path + ": larger than " + std::to_string(kMaxResourceBytes) + " bytes");
      return nullptr;
    }
    std::ifstream in(f->path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    auto r = std::make_unique<ResourceObject>();
    std::string problem;
    if (!in || !ParseResourceText(text.str(), &r->data, &problem)) {
      Note(path + ": " + (problem.empty() ? "cannot be read" : problem));
      return nullptr;
    }
    r->data.path = path;
    return host.resources.Add(std::move(r));
  });
}

QV_SERVICE_EXPORT void QV_CloseResourceFile(QV_ResourceFile* iResourceFile) {
  Do([&] { host.resources.live.erase(iResourceFile); });
}
