// dialog/: the plug-in's settings dialog.  The host's named services build
// it from the plug-in's resource file; a terminal form or a script fills it.
//
// The dialogs plmhost shows for a plug-in: built from a resource, filled and
// read back through the named services, and run modally either as a form in
// the terminal or by typing scripted values into its controls.
#ifndef PLMHOST_DIALOG_H
#define PLMHOST_DIALOG_H

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "dialog/Resource.h"

struct DialogWindow;

struct DialogControl {
  QV_Control handle{};  // the address the plug-in holds
  DialogWindow* dialog = nullptr;
  int32_t id = 0;
  QV_ControlType kind = cQV_NoControlType;
  QV_Rect bounds{};
  std::string title, text;  // Mac OS Roman, at most kMaxControlText characters
  std::string name;
  int32_t value = 0, maximum = 0;
  int selectionStart = 0, selectionEnd = 0;
  std::array<int, 4> argb{255, 0, 0, 0};
  bool visible = true, enabled = true;
  QV_ControlHitFunction hit = nullptr;
  QV_UserDrawFunction draw = nullptr;  // kept; the text front ends draw nothing custom
  QV_UserClickFunction click = nullptr;
};

struct DialogWindow {
  QV_Dialog handle{};
  int32_t number = 0;
  std::string title;
  int width = 0, height = 0;
  std::vector<std::unique_ptr<DialogControl>> controls;
  DialogControl* keyControl = nullptr;
};

std::unique_ptr<DialogWindow> MakeDialogWindow(const DialogTemplate& theTemplate);

// Text as a user leaves it: cut to kMaxControlText characters, the selection
// kept inside it.
void SetControlText(DialogControl& theControl, const std::string& theText);
void SetControlTitle(DialogControl& theControl, const std::string& theTitle);
void SetControlSelection(DialogControl& theControl, int theStart, int theEnd);
// Each channel clamped to 0..255.
void SetControlColor(DialogControl& theControl, int a, int r, int g, int b);

// What a user can change: visible, enabled edit texts and colour buttons.
bool IsEditable(const DialogControl& theControl);
bool HasEditableControls(const DialogWindow& theDialog);
// The control's value as text ("25", "255,200,0,0"), in UTF-8.
std::string ControlValueText(const DialogControl& theControl);
// Tells the plug-in a control was changed by the user.
void NotifyHit(DialogControl& theControl);

// --set NAME=VALUE: NAME is a control's name or its numeric ID.  Colours are
// "A,R,G,B" (0..255 each, in the order of ARGB), "#AARRGGBB" or "#RRGGBB".
struct ScriptedValue {
  std::string control;
  std::string value;
};
struct DialogScript {
  std::vector<ScriptedValue> values;
  bool cancel = false;
};

enum class DialogOutcome { kConfirmed, kCancelled, kBadScript };

// Types every value into its control, then confirms or cancels.  A name no
// control has, or a value the control cannot take, types nothing and answers
// kBadScript with *theProblem saying why (and listing the names).
DialogOutcome RunScriptedDialog(DialogWindow& theDialog, const DialogScript& theScript, std::string* theProblem);

// The full-screen form on the terminal: true when confirmed.  False also when
// the terminal cannot be used, with *theProblem saying why.
bool RunTerminalDialog(DialogWindow& theDialog, std::string* theProblem);

#endif
