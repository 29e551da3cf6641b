#include "FakeHost.h"

#include <algorithm>
#include <cstring>

namespace fakehost {

Host host;

Control& Dialog::Add(int theID, QV_ControlType theType, const std::string& theTitle) {
  controls.push_back(std::make_unique<Control>());
  Control& c = *controls.back();
  c.id = theID;
  c.type = theType;
  c.title = theTitle;
  return c;
}

Control* Dialog::ByID(int theID) {
  for (auto& c : controls)
    if (c->id == theID) return c.get();
  return nullptr;
}

void Reset() { host = Host(); }

Dialog& NewDialog() {
  host.live.push_back(std::make_unique<Dialog>());
  return *host.live.back();
}

Dialog* FindDialog(const QV_Dialog* theHandle) {
  for (auto& d : host.live)
    if (&d->handle == theHandle) return d.get();
  return nullptr;
}

Control* FindControl(const QV_Control* theHandle) {
  for (auto& d : host.live)
    for (auto& c : d->controls)
      if (&c->handle == theHandle) return c.get();
  return nullptr;
}

// Text out with the host's rules: at most the capacity, zero-terminated
// within it when asked to.
void CopyOut(const std::string& theText, char* oText, int* ioNumChars) {
  int theCapacity = *ioNumChars;
  host.largestRequest = std::max(host.largestRequest, theCapacity);
  if (theCapacity <= 0) return;
  int n = std::min<int>(int(theText.size()), host.terminates ? theCapacity - 1 : theCapacity);
  std::memcpy(oText, theText.data(), size_t(n));
  if (host.terminates) oText[n] = 0;
  *ioNumChars = n;
}

int SizeOf(const std::string& theText) {
  return host.lieAboutSize ? host.reportedSize : int(theText.size());
}

}  // namespace fakehost

using fakehost::FindControl;
using fakehost::FindDialog;
using fakehost::host;

QV_SERVICE_EXPORT int QV_CountControls(QV_Dialog* iDialog) {
  fakehost::Dialog* d = FindDialog(iDialog);
  return d ? int(d->controls.size()) : 0;
}

QV_SERVICE_EXPORT QV_Control* QV_FindControlByIndex(QV_Dialog* iDialog, int iControlNumber) {
  fakehost::Dialog* d = FindDialog(iDialog);
  if (!d || iControlNumber < 0 || iControlNumber >= int(d->controls.size())) return nullptr;
  return &d->controls[size_t(iControlNumber)]->handle;
}

QV_SERVICE_EXPORT QV_Control* QV_FindControlByID(QV_Dialog* iDialog, int iControlID) {
  fakehost::Dialog* d = FindDialog(iDialog);
  fakehost::Control* c = d ? d->ByID(iControlID) : nullptr;
  return c ? &c->handle : nullptr;
}

QV_SERVICE_EXPORT QV_ControlType QV_GetControlType(QV_Control* iControl) {
  fakehost::Control* c = FindControl(iControl);
  return c ? c->type : cQV_NoControlType;
}

QV_SERVICE_EXPORT void QV_GetControlBounds(QV_Control* iControl, QV_Rect* oBounds) {
  if (fakehost::Control* c = FindControl(iControl)) *oBounds = c->bounds;
}

QV_SERVICE_EXPORT void QV_SetControlBounds(QV_Control* ioControl, QV_Rect iBounds) {
  if (fakehost::Control* c = FindControl(ioControl)) c->bounds = iBounds;
}

QV_SERVICE_EXPORT void QV_SetControlVisible(QV_Control* iControl, int iVisible) {
  if (fakehost::Control* c = FindControl(iControl)) c->visible = iVisible;
}

QV_SERVICE_EXPORT void QV_SetControlTitle(QV_Control* ioControl, const char* iTitleString) {
  if (fakehost::Control* c = FindControl(ioControl)) c->title = iTitleString;
}

QV_SERVICE_EXPORT int QV_GetControlTitleSize(QV_Control* iControl) {
  fakehost::Control* c = FindControl(iControl);
  return c ? fakehost::SizeOf(c->title) : 0;
}

QV_SERVICE_EXPORT void QV_GetControlTitle(QV_Control* iControl, char* oText, int* ioNumChars) {
  if (fakehost::Control* c = FindControl(iControl)) fakehost::CopyOut(c->title, oText, ioNumChars);
}

QV_SERVICE_EXPORT int QV_GetControlValue(QV_Control* iControl) {
  fakehost::Control* c = FindControl(iControl);
  return c ? c->value : 0;
}

QV_SERVICE_EXPORT void QV_SetControlValue(QV_Control* ioControl, int iNewValue) {
  if (fakehost::Control* c = FindControl(ioControl)) c->value = iNewValue;
}

QV_SERVICE_EXPORT void QV_SetKeyControl(QV_Control* iControl) {
  if (fakehost::Control* c = FindControl(iControl)) c->isKey = true;
}

QV_SERVICE_EXPORT void QV_SetEditTextString(QV_Control* ioControl, const char* iEditString) {
  if (fakehost::Control* c = FindControl(ioControl)) c->text = iEditString;
}

QV_SERVICE_EXPORT int QV_GetEditTextStringSize(QV_Control* iControl) {
  fakehost::Control* c = FindControl(iControl);
  return c ? fakehost::SizeOf(c->text) : 0;
}

QV_SERVICE_EXPORT void QV_GetEditTextString(QV_Control* iControl, char* oText, int* ioNumChars) {
  if (fakehost::Control* c = FindControl(iControl)) fakehost::CopyOut(c->text, oText, ioNumChars);
}

QV_SERVICE_EXPORT void QV_SetEditTextSelection(QV_Control* ioControl, int iSelectionStart,
                                               int iSelectionEnd) {
  if (fakehost::Control* c = FindControl(ioControl)) {
    c->selectionStart = iSelectionStart;
    c->selectionEnd = iSelectionEnd;
  }
}

QV_SERVICE_EXPORT void QV_GetColorButtonColor(QV_Control* iControl, int* oRed, int* oGreen,
                                              int* oBlue, int* oAlpha) {
  fakehost::Control* c = FindControl(iControl);
  if (!c || !c->writesColor) return;
  *oRed = c->rgba[0];
  *oGreen = c->rgba[1];
  *oBlue = c->rgba[2];
  *oAlpha = c->rgba[3];
}

QV_SERVICE_EXPORT void QV_SetColorButtonColor(QV_Control* ioControl, int iRed, int iGreen,
                                              int iBlue, int iAlpha) {
  if (fakehost::Control* c = FindControl(ioControl)) {
    c->rgba[0] = iRed;
    c->rgba[1] = iGreen;
    c->rgba[2] = iBlue;
    c->rgba[3] = iAlpha;
  }
}

QV_SERVICE_EXPORT void QV_SetControlHitFunction(QV_Control* ioControl,
                                                QV_ControlHitFunction iFunction) {
  if (fakehost::Control* c = FindControl(ioControl)) c->hit = iFunction;
}

QV_SERVICE_EXPORT void QV_SetUserControlDraw(QV_Control* ioControl,
                                             QV_UserDrawFunction iFunction) {
  if (fakehost::Control* c = FindControl(ioControl)) c->draw = iFunction;
}

QV_SERVICE_EXPORT void QV_SetUserControlClick(QV_Control* ioControl,
                                              QV_UserClickFunction iFunction) {
  if (fakehost::Control* c = FindControl(ioControl)) c->click = iFunction;
}

QV_SERVICE_EXPORT QV_Dialog* QV_MakeDialog(QV_ResourceFile* iResourceFile, int iDialogID) {
  auto t = host.templates.find(iDialogID);
  if (iResourceFile == nullptr || t == host.templates.end()) return nullptr;
  fakehost::Dialog& d = fakehost::NewDialog();
  d.dialogID = iDialogID;
  t->second(d);
  return &d.handle;
}

QV_SERVICE_EXPORT void QV_DestroyDialog(QV_Dialog* iDialog) {
  auto& v = host.live;
  v.erase(std::remove_if(v.begin(), v.end(), [&](auto& d) { return &d->handle == iDialog; }),
          v.end());
}

QV_SERVICE_EXPORT int QV_ExecuteDialog(QV_Dialog* iDialog) {
  fakehost::Dialog* d = FindDialog(iDialog);
  if (!d) return 0;
  fakehost::Shown s{d->dialogID, {}};
  for (auto& c : d->controls)
    if (c->type == cQV_StaticText) s.staticTitles.push_back(c->title);
  host.shown.push_back(s);
  return host.executeResult;
}

QV_SERVICE_EXPORT QV_DirectoryRef* QV_GetHomeDirectory() {
  if (host.homeFails) return nullptr;
  ++host.homesMade;
  return &host.home;
}

QV_SERVICE_EXPORT void QV_DestroyDirectoryRef(QV_DirectoryRef* iDirectoryRef) {
  if (iDirectoryRef == &host.home) ++host.homesReleased;
}

QV_SERVICE_EXPORT QV_FileRef* QV_MakeFileRef(QV_DirectoryRef* iDirectoryRef,
                                             const char* iNameString, uint32_t iFileType,
                                             const char* iExtensionString) {
  if (host.fileRefFails || iDirectoryRef != &host.home) return nullptr;
  host.fileName = iNameString;
  host.fileType = iFileType;
  host.extension = iExtensionString;
  ++host.fileRefsMade;
  return &host.fileRef;
}

QV_SERVICE_EXPORT void QV_DestroyFileRef(QV_FileRef* iFileRef) {
  if (iFileRef == &host.fileRef) ++host.fileRefsReleased;
}

QV_SERVICE_EXPORT QV_ResourceFile* QV_OpenResourceFile(QV_FileRef* iFileRef) {
  if (host.openFails || iFileRef != &host.fileRef) return nullptr;
  return &host.resourceFile;
}
