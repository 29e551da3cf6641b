// Dialog controls by ID, the resource file, parameter text and alerts.
#include <cstdio>
#include <cstring>

#include "host/PluginGlueMac-MachO.h"
#include "math/FPU.h"
#include "ui/PluginUtils.h"

namespace {

const uint32_t kResourceFileType = 0x72737263u;  // "rsrc"

ConstPStrPtr OrEmpty(ConstPStrPtr theText) { return theText != nullptr ? theText : aEmptyPStr; }

// Length first, then at most length + 1 bytes and never more than
// theCapacity.  Whatever the host reports or writes within that capacity,
// the result is a zero-terminated string of fewer than theCapacity
// characters in a buffer of theCapacity + 1 bytes.
typedef int (*SizeService)(QV_Control*);
typedef void (*TextService)(QV_Control*, char*, int*);

void ReadHostText(QV_Control* theControl, SizeService theSize, TextService theText,
                  char* theBuffer, int theCapacity) {
  std::memset(theBuffer, 0, size_t(theCapacity) + 1);
  int theLength = theSize(theControl);
  int theRequest = theLength < 0 ? 1 : (theLength >= theCapacity ? theCapacity : theLength + 1);
  int theCount = theRequest;
  theText(theControl, theBuffer, &theCount);
  size_t theEnd = strnlen(theBuffer, size_t(theRequest));
  if (theCount >= 0 && theCount < theRequest && size_t(theCount) < theEnd) theEnd = size_t(theCount);
  if (theEnd >= size_t(theCapacity)) theEnd = size_t(theCapacity) - 1;
  theBuffer[theEnd] = 0;
}

void ReadEditText(QV_Control* theControl, char* theBuffer, int theCapacity) {
  ReadHostText(theControl, qv::QV_GetEditTextStringSize, qv::QV_GetEditTextString, theBuffer,
               theCapacity);
}

void ReadTitle(QV_Control* theControl, char* theBuffer) {
  ReadHostText(theControl, qv::QV_GetControlTitleSize, qv::QV_GetControlTitle, theBuffer,
               kTextCapacity);
}

void SetEditText(QV_Control* theControl, ConstPStrPtr theText) {
  char text[kTextCapacity];
  qv::QV_SetEditTextString(theControl, PStrPToC(theText, text));
}

// Replaces the markers ^0..^3 in one title; inserted text is skipped over.
void SubstituteMarkers(PStrPtr theTitle, ConstPStrPtr const theTexts[4]) {
  uint32_t i = 1;
  while (i < theTitle[0]) {
    unsigned char next = theTitle[i + 1];
    if (theTitle[i] == '^' && next >= '0' && next <= '3') {
      ConstPStrPtr theText = theTexts[next - '0'];
      PStrDelete(theTitle, i, 2);
      PStrInsert(theText, theTitle, i);
      i += theText[0];
    } else {
      ++i;
    }
  }
}

}  // namespace

// --- Dialog controls by ID ---

void SetTheIText(QV_Dialog* theDialog, int32_t theItemID, ConstPStrPtr theText) {
  QV_Control* theControl = qv::QV_FindControlByID(theDialog, theItemID);
  if (theControl != nullptr) SetEditText(theControl, theText);
}

void GetTheIText(QV_Dialog* theDialog, int32_t theItemID, PStrPtr theText) {
  theText[0] = 0;
  QV_Control* theControl = qv::QV_FindControlByID(theDialog, theItemID);
  if (theControl == nullptr) return;
  char text[kTextCapacity + 1];
  ReadEditText(theControl, text, kTextCapacity);
  PStrCToP(text, theText);
}

void SetTheINum(QV_Dialog* theDialog, int32_t theItemID, int32_t theNum) {
  QV_Control* theControl = qv::QV_FindControlByID(theDialog, theItemID);
  if (theControl == nullptr) return;
  char text[kNumberCapacity];
  std::snprintf(text, sizeof text, "%ld", long(theNum));
  qv::QV_SetEditTextString(theControl, text);
}

int32_t GetTheINum(QV_Dialog* theDialog, int32_t theItemID) {
  QV_Control* theControl = qv::QV_FindControlByID(theDialog, theItemID);
  if (theControl == nullptr) return 0;
  char text[kNumberCapacity + 1];
  ReadEditText(theControl, text, kNumberCapacity);
  PStr255 theNumber;
  return Str2Int(PStrCToP(text, theNumber));
}

void SetTheIReal(QV_Dialog* theDialog, int32_t theItemID, double theNum, int16_t theDigits) {
  SetTheIText(theDialog, theItemID, RealTrimStr(theNum, theDigits));
}

double GetTheIReal(QV_Dialog* theDialog, int32_t theItemID) {
  PStrPtr theText = PStrNext();
  GetTheIText(theDialog, theItemID, theText);
  return FixDouble(Str2Num(theText));
}

void SetTheIPopUp(QV_Dialog* theDialog, int32_t theItemID, int16_t theValue) {
  SetButton(theDialog, theItemID, theValue);
}

int16_t GetTheIPopUp(QV_Dialog* theDialog, int32_t theItemID) {
  return int16_t(GetButton(theDialog, theItemID));
}

void SetButton(QV_Dialog* theDialog, int32_t theItemID, int32_t theValue) {
  QV_Control* theControl = qv::QV_FindControlByID(theDialog, theItemID);
  if (theControl != nullptr) qv::QV_SetControlValue(theControl, theValue);
}

int32_t GetButton(QV_Dialog* theDialog, int32_t theItemID) {
  QV_Control* theControl = qv::QV_FindControlByID(theDialog, theItemID);
  return theControl != nullptr ? qv::QV_GetControlValue(theControl) : 0;
}

int32_t ToggleButton(QV_Dialog* theDialog, int32_t theItemID) {
  QV_Control* theControl = qv::QV_FindControlByID(theDialog, theItemID);
  if (theControl == nullptr) return 0;
  int32_t theValue = qv::QV_GetControlValue(theControl) != 0 ? 0 : 1;
  qv::QV_SetControlValue(theControl, theValue);
  return theValue;
}

void SetButtonName(QV_Dialog* theDialog, int32_t theItemID, ConstPStrPtr theName) {
  QV_Control* theControl = qv::QV_FindControlByID(theDialog, theItemID);
  if (theControl == nullptr) return;
  char text[kTextCapacity];
  qv::QV_SetControlTitle(theControl, PStrPToC(theName, text));
}

PStrPtr GetButtonName(QV_Dialog* theDialog, int32_t theItemID, PStrPtr theName) {
  theName[0] = 0;
  QV_Control* theControl = qv::QV_FindControlByID(theDialog, theItemID);
  if (theControl == nullptr) return theName;
  char text[kTextCapacity + 1];
  ReadTitle(theControl, text);
  return PStrCToP(text, theName);
}

void SelectItem(QV_Dialog* theDialog, int32_t theItemID) {
  QV_Control* theControl = qv::QV_FindControlByID(theDialog, theItemID);
  if (theControl == nullptr) return;
  qv::QV_SetKeyControl(theControl);
  if (qv::QV_GetControlType(theControl) == cQV_EditText)
    qv::QV_SetEditTextSelection(theControl, 0, 10000);
}

QV_ControlType GetTheIType(QV_Dialog* theDialog, int32_t theItemID) {
  QV_Control* theControl = qv::QV_FindControlByID(theDialog, theItemID);
  return theControl != nullptr ? qv::QV_GetControlType(theControl) : cQV_NoControlType;
}

void SetTheIRect(QV_Dialog* theDialog, int32_t theItemID, const QV_Rect* theRect) {
  if (theRect == nullptr) return;
  QV_Control* theControl = qv::QV_FindControlByID(theDialog, theItemID);
  if (theControl != nullptr) qv::QV_SetControlBounds(theControl, *theRect);
}

void GetTheIRect(QV_Dialog* theDialog, int32_t theItemID, QV_Rect* theRect) {
  if (theRect == nullptr) return;
  QV_Control* theControl = qv::QV_FindControlByID(theDialog, theItemID);
  if (theControl != nullptr) qv::QV_GetControlBounds(theControl, theRect);
}

void SetUserControlIDFunctions(QV_Dialog* theDialog, int32_t theItemID,
                               QV_UserDrawFunction iDraw, QV_UserClickFunction iClick) {
  QV_Control* theControl = qv::QV_FindControlByID(theDialog, theItemID);
  if (theControl == nullptr) return;
  qv::QV_SetUserControlDraw(theControl, iDraw);
  qv::QV_SetUserControlClick(theControl, iClick);
}

void SetControlIDHitFunction(QV_Dialog* theDialog, int32_t theItemID,
                             QV_ControlHitFunction iFunction) {
  QV_Control* theControl = qv::QV_FindControlByID(theDialog, theItemID);
  if (theControl != nullptr) qv::QV_SetControlHitFunction(theControl, iFunction);
}

void SetControlIDVisible(QV_Dialog* theDialog, int32_t theItemID, int32_t iVisible) {
  qv::QV_SetControlVisible(qv::QV_FindControlByID(theDialog, theItemID), iVisible);
}

void SetControlIDTitle(QV_Dialog* theDialog, int32_t theItemID, const char* iTitle) {
  qv::QV_SetControlTitle(qv::QV_FindControlByID(theDialog, theItemID), iTitle);
}

void SetEditTextIDString(QV_Dialog* theDialog, int32_t theItemID, const char* iString) {
  qv::QV_SetEditTextString(qv::QV_FindControlByID(theDialog, theItemID), iString);
}

void SetColorButtonIDARGB(QV_Dialog* theDialog, int32_t theItemID, const ARGB* iColor) {
  qv::QV_SetColorButtonColor(qv::QV_FindControlByID(theDialog, theItemID), iColor->r,
                             iColor->g, iColor->b, iColor->a);
}

void GetColorButtonIDARGB(QV_Dialog* theDialog, int32_t theItemID, ARGB* oColor) {
  // Start from the current colour so that nothing undefined is stored when
  // the host leaves a channel unwritten.
  int theRed = oColor->r, theGreen = oColor->g, theBlue = oColor->b, theAlpha = oColor->a;
  qv::QV_GetColorButtonColor(qv::QV_FindControlByID(theDialog, theItemID), &theRed, &theGreen,
                             &theBlue, &theAlpha);
  oColor->r = uint8_t(theRed);
  oColor->g = uint8_t(theGreen);
  oColor->b = uint8_t(theBlue);
  oColor->a = uint8_t(theAlpha);
}

// --- Resource file and alerts ---

QV_ResourceFile* OpenResourceFile(const char* iResourceFileName) {
  QV_DirectoryRef* theHome = qv::QV_GetHomeDirectory();
  if (theHome == nullptr) return nullptr;
  QV_ResourceFile* theFile = nullptr;
  QV_FileRef* theRef = qv::QV_MakeFileRef(theHome, iResourceFileName, kResourceFileType, "rsc");
  if (theRef != nullptr) {
    theFile = qv::QV_OpenResourceFile(theRef);
    qv::QV_DestroyFileRef(theRef);
  }
  qv::QV_DestroyDirectoryRef(theHome);
  return theFile;
}

void SetParamText(QV_Dialog* iDialog, ConstPStrPtr text0, ConstPStrPtr text1,
                  ConstPStrPtr text2, ConstPStrPtr text3) {
  ConstPStrPtr const theTexts[4] = {OrEmpty(text0), OrEmpty(text1), OrEmpty(text2),
                                    OrEmpty(text3)};
  int theCount = qv::QV_CountControls(iDialog);
  for (int i = 0; i < theCount; ++i) {
    QV_Control* theControl = qv::QV_FindControlByIndex(iDialog, i);
    if (theControl == nullptr || qv::QV_GetControlType(theControl) != cQV_StaticText) continue;
    char text[kTextCapacity + 1];
    ReadTitle(theControl, text);
    PStr255 theTitle;
    PStrCToP(text, theTitle);
    SubstituteMarkers(theTitle, theTexts);
    qv::QV_SetControlTitle(theControl, PStrPToC(theTitle, text));
  }
}

int32_t StandardDialog(QV_ResourceFile* iResFile, int16_t iDialogID, ConstPStrPtr iText0,
                       ConstPStrPtr iText1, ConstPStrPtr iText2, ConstPStrPtr iText3) {
  QV_Dialog* theDialog = qv::QV_MakeDialog(iResFile, iDialogID);
  if (theDialog == nullptr) return 0;
  SetParamText(theDialog, iText0, iText1, iText2, iText3);
  int32_t theResult = qv::QV_ExecuteDialog(theDialog);
  qv::QV_DestroyDialog(theDialog);
  return theResult;
}

namespace {

int32_t ShowAlert(QV_ResourceFile* iResourceFile, int16_t iDialogID, ConstPStrPtr theMessage) {
  return StandardDialog(iResourceFile, iDialogID, theMessage, aEmptyPStr, aEmptyPStr,
                        aEmptyPStr);
}

}  // namespace

void Stop(QV_ResourceFile* iResourceFile, ConstPStrPtr theMessage) {
  ShowAlert(iResourceFile, kErrorDialogID, theMessage);
}

void Caution(QV_ResourceFile* iResourceFile, ConstPStrPtr theMessage) {
  ShowAlert(iResourceFile, kCautionDialogID, theMessage);
}

void Message(QV_ResourceFile* iResourceFile, ConstPStrPtr theMessage) {
  ShowAlert(iResourceFile, kMessageDialogID, theMessage);
}

int32_t Warning(QV_ResourceFile* iResourceFile, ConstPStrPtr theMessage) {
  return ShowAlert(iResourceFile, kWarningDialogID, theMessage);
}

void Error(QV_ResourceFile* iResourceFile, ConstPStrPtr theMessage, int32_t theErr) {
  if (!errorFlag && !hideErrorFlag) {
    ConstPStrPtr theText = PStrConcat(OrEmpty(theMessage), PS(": "), PStrNum(theErr),
                                      static_cast<ConstPStrPtr>(nullptr));
    ShowAlert(iResourceFile, kErrorDialogID, theText);
  }
  errorFlag = true;
}

void StandardError(QV_ResourceFile* iResourceFile, ConstPStrPtr theMessage) {
  if (!errorFlag && !hideErrorFlag && theMessage != nullptr && theMessage[0] != 0)
    ShowAlert(iResourceFile, kErrorDialogID, theMessage);
  errorFlag = true;
}
