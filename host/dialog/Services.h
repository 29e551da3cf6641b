// The host's named services: extern "C" QV_... functions exported from
// plmhost, which a plug-in finds by name in the running process.  They are
// declared here from the kit's table, so a definition whose signature strays
// from the table does not compile.  Dialogs, controls, directories, file
// references and resource files are real objects; a null or unknown handle
// makes a service do nothing and answer 0.
//
// Implemented: QV_GetAPIVersion; controls (count, find by index and ID, ID,
// type, bounds, visibility, title, value, key control); edit texts (string
// and selection); colour buttons; hit, draw and click functions (the draw and
// click functions are kept, but the text front ends never call them);
// dialogs (make, destroy, execute, size); the home directory, file
// references and resource files.  The others are not offered.
#ifndef PLMHOST_SERVICES_H
#define PLMHOST_SERVICES_H

#include <string>
#include <vector>

#include "dialog/Dialog.h"
#include "host/PluginGlueMac-MachO.h"

#define QV_SERVICE(name, result, arity, params) QV_SERVICE_EXPORT result name(QV_PARAMS_##arity params);
#include "host/QVServices.def"
#undef QV_SERVICE

constexpr int kHostAPIVersion = 1;

// How QV_ExecuteDialog runs a dialog during a command.  Outside a session,
// or with the script front end, a dialog with fields takes the script's
// values (none: confirmed unchanged) and an alert is printed to standard
// error and confirmed.
enum class DialogFrontEnd { kScript, kTerminal };

struct DialogSession {
  DialogFrontEnd frontEnd = DialogFrontEnd::kScript;
  DialogScript script;
};

struct DialogChange {
  std::string control;  // its name, or its ID
  std::string before, after;
};

// A dialog with fields as the plug-in showed it, for a front end that lays
// it out itself (the web page): every control, with the value the plug-in
// filled in and the value the dialog closed with.  Texts are UTF-8.
struct DialogLayoutItem {
  int32_t id = 0;
  QV_ControlType kind = cQV_NoControlType;
  QV_Rect bounds{};
  std::string title, name, shown, closed;
  bool visible = true, editable = false;
};
struct DialogLayout {
  int32_t number = 0;
  std::string title;
  int width = 0, height = 0;
  std::vector<DialogLayoutItem> items;
};

struct DialogReport {
  int dialogsShown = 0;  // dialogs with fields, run by either front end
  std::vector<DialogChange> changes;  // in confirmed dialogs
  // Each field's value as the last dialog with fields opened, that is as the
  // plug-in filled it in.
  std::vector<std::pair<std::string, std::string>> opened;
  std::string scriptProblem;          // the first --set a dialog could not take
  std::vector<std::string> notes;     // resources that could not be used, and why
  DialogLayout lastForm;              // the last dialog with fields shown
};

void BeginDialogSession(const DialogSession& theSession);
// Ends the session and frees every object the plug-in left open.
DialogReport EndDialogSession();

#endif
