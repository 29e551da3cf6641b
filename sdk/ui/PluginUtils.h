// Dialog utilities shared by plug-ins: number and text conversion for edit
// fields, change-detecting setters, dialog controls addressed by their IDs,
// the plug-in's resource file and the standard alerts.
//
// Text arguments are P-strings unless the name says otherwise; the host's
// services take and give zero-terminated strings.  Functions documented as
// returning a temporary use the P-string ring (text/PString.h).
#ifndef QVKIT_UI_PLUGINUTILS_H
#define QVKIT_UI_PLUGINUTILS_H

#include <cstdint>

#include "geometry/geometry_records.h"
#include "host/QVTypes.h"
#include "text/PString.h"

// Alert state, cleared by InitUtils.  errorFlag: an error alert has been
// shown (or suppressed) since then, so further ones stay hidden.
// hideErrorFlag: the embedding code suppresses error alerts.  inBackground:
// kept for the embedding code; nothing here reads it.
extern bool errorFlag;
extern bool hideErrorFlag;
extern bool inBackground;

// Clears the three alert flags.
void InitUtils();
// The utilities' end-of-life hook; nothing to release.
void FinishUtils();

// Alert dialog numbers in the caller's resource file.
enum {
  kErrorDialogID = 9000,  // Error, StandardError and Stop
  kWarningDialogID = 9002,
  kMessageDialogID = 9003,
  kCautionDialogID = 9004
};

// Capacities of text read back from the host, terminating zero included.
enum { kTextCapacity = 256, kNumberCapacity = 50 };

// --- Text and number conversion ---

PStrPtr CharStr(int32_t theChar);  // temporary, one character
PStrPtr NumStr(int32_t theNum);    // temporary, decimal
// Fixed-point text of x with `digits` decimals ("%1.*f"); a negative count
// gives -digits decimals and always a point ("%#1.*f").  A value whose
// fixed-point text would pass 255 characters is written in the shortest
// exponent form that reads back as the same double.  s holds 256 bytes.
void Num2Str(int32_t digits, double x, PStrPtr s);
// Num2Str into a temporary; with theDigits >= 0 trailing zeros go, and the
// point with them when nothing else follows it, and "-0" becomes "0".
PStrPtr RealTrimStr(double theNum, int16_t theDigits);
// The number at the start of the text (leading blanks allowed), else 0.
// Str2Num reads like "%lf"; Str2Int like "%d" but saturates at the 32-bit
// limits instead of overflowing.
double Str2Num(ConstPStrPtr s);
int32_t Str2Int(ConstPStrPtr s);

// --- Change-detecting setters ---
// Each stores the new value and raises *flag when the value differs from the
// stored one; a raised flag stays raised.  Clear it once, run the setters,
// then read it.  Floats compare as numbers: 0.0 equals -0.0, a not-a-number
// is always a change.

void SetBoolean(bool* dst, bool src, bool* flag);
void SetByte(int8_t* dst, int16_t src, bool* flag);  // stores the low 8 bits
void SetInteger(int16_t* dst, int16_t src, bool* flag);
void SetLongInt(int32_t* dst, int32_t src, bool* flag);
void SetReal(float* dst, float src, bool* flag);
void SetDouble(double* dst, double src, bool* flag);
void SetExtended(double* dst, double src, bool* flag);
void SetRGBColor(RGB_Color* dst, const RGB_Color* src, bool* flag);
void SetTheARGB(ARGB* dst, const ARGB* src, bool* flag);
// Bit theFlag (0..31) of *dst; other bit numbers change nothing.
void SetBooleanFlag(uint32_t* dst, int32_t theFlag, bool src, bool* flag);

// Plain bit setters: bit theFlag (0..31, or 0..15) set or cleared; other bit
// numbers change nothing.
void SetFlag(uint32_t* theFlagFields, int32_t theFlag, bool theState);
void SetIntegerFlag(uint16_t* theFlagFields, int32_t theFlag, bool theState);

// --- Dialog controls by ID ---
// Each finds the control with QV_FindControlByID first.  Unless noted, a
// missing control makes a setter do nothing and a getter give 0, an empty
// string or cQV_NoControlType.  Text is read back by asking the host for its
// length, then for at most length + 1 bytes (room for the terminating zero)
// and never more than the capacity: 256 bytes for text, 50 for integers.

void SetTheIText(QV_Dialog* theDialog, int32_t theItemID, ConstPStrPtr theText);
void GetTheIText(QV_Dialog* theDialog, int32_t theItemID, PStrPtr theText);  // 256 bytes
void SetTheINum(QV_Dialog* theDialog, int32_t theItemID, int32_t theNum);
int32_t GetTheINum(QV_Dialog* theDialog, int32_t theItemID);
void SetTheIReal(QV_Dialog* theDialog, int32_t theItemID, double theNum, int16_t theDigits);
// Not-a-numbers, infinities and -0.0 read as 0.0.
double GetTheIReal(QV_Dialog* theDialog, int32_t theItemID);
void SetTheIPopUp(QV_Dialog* theDialog, int32_t theItemID, int16_t theValue);
int16_t GetTheIPopUp(QV_Dialog* theDialog, int32_t theItemID);
void SetButton(QV_Dialog* theDialog, int32_t theItemID, int32_t theValue);
int32_t GetButton(QV_Dialog* theDialog, int32_t theItemID);
// 0 when the value was non-zero, else 1; gives the new value.
int32_t ToggleButton(QV_Dialog* theDialog, int32_t theItemID);
void SetButtonName(QV_Dialog* theDialog, int32_t theItemID, ConstPStrPtr theName);
PStrPtr GetButtonName(QV_Dialog* theDialog, int32_t theItemID, PStrPtr theName);  // 256 bytes
// Keyboard focus; an edit text also gets all of its text selected.
void SelectItem(QV_Dialog* theDialog, int32_t theItemID);
QV_ControlType GetTheIType(QV_Dialog* theDialog, int32_t theItemID);
void SetTheIRect(QV_Dialog* theDialog, int32_t theItemID, const QV_Rect* theRect);
void GetTheIRect(QV_Dialog* theDialog, int32_t theItemID, QV_Rect* theRect);
void SetUserControlIDFunctions(QV_Dialog* theDialog, int32_t theItemID,
                               QV_UserDrawFunction iDraw, QV_UserClickFunction iClick);
void SetControlIDHitFunction(QV_Dialog* theDialog, int32_t theItemID,
                             QV_ControlHitFunction iFunction);

// These pass whatever QV_FindControlByID gave to the host, null included;
// the host's services ignore a null control.
void SetControlIDVisible(QV_Dialog* theDialog, int32_t theItemID, int32_t iVisible);
void SetControlIDTitle(QV_Dialog* theDialog, int32_t theItemID, const char* iTitle);
void SetEditTextIDString(QV_Dialog* theDialog, int32_t theItemID, const char* iString);
// Channels go to the host as 0..255 integers, alpha included.
void SetColorButtonIDARGB(QV_Dialog* theDialog, int32_t theItemID, const ARGB* iColor);
// Each channel comes back truncated to a byte; a channel the host does not
// write keeps its value in *oColor.
void GetColorButtonIDARGB(QV_Dialog* theDialog, int32_t theItemID, ARGB* oColor);

// --- Resource file and alerts ---

// Opens the named file (type "rsrc", extension "rsc") in the plug-in's home
// directory; null when it cannot be opened.  The directory and file
// references are released in every case.  Close with QV_CloseResourceFile.
QV_ResourceFile* OpenResourceFile(const char* iResourceFileName);

// In every static text of the dialog, "^0" to "^3" become text0 to text3
// (a null text counts as empty).  Inserted text is never scanned again; a
// title that would pass 255 characters loses its end.
void SetParamText(QV_Dialog* iDialog, ConstPStrPtr text0, ConstPStrPtr text1,
                  ConstPStrPtr text2, ConstPStrPtr text3);

// Makes dialog iDialogID, substitutes the texts, runs it modally and
// destroys it; gives what QV_ExecuteDialog gave, or 0 when the dialog
// cannot be made.
int32_t StandardDialog(QV_ResourceFile* iResFile, int16_t iDialogID, ConstPStrPtr iText0,
                       ConstPStrPtr iText1, ConstPStrPtr iText2, ConstPStrPtr iText3);

// theMessage as "^0", the other markers empty; shown whatever the flags say.
void Stop(QV_ResourceFile* iResourceFile, ConstPStrPtr theMessage);
void Caution(QV_ResourceFile* iResourceFile, ConstPStrPtr theMessage);
void Message(QV_ResourceFile* iResourceFile, ConstPStrPtr theMessage);
int32_t Warning(QV_ResourceFile* iResourceFile, ConstPStrPtr theMessage);

// Error alerts: at most one per InitUtils.  Shown only while neither
// errorFlag nor hideErrorFlag is set; errorFlag is set in every case.
// Error shows "theMessage: theErr"; StandardError shows a non-empty message.
void Error(QV_ResourceFile* iResourceFile, ConstPStrPtr theMessage, int32_t theErr);
void StandardError(QV_ResourceFile* iResourceFile, ConstPStrPtr theMessage);

#endif
