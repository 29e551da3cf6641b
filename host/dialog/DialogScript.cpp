// Scripted dialogs: --set values typed into the controls as a user would.
#include <charconv>

#include "dialog/Dialog.h"
#include "protocol/MacRoman.h"

namespace {

bool ParseInt(const std::string& theText, int64_t theLow, int64_t theHigh, int64_t* theValue, int theBase = 10) {
  if (theText.empty()) return false;
  const char* end = theText.data() + theText.size();
  auto parsed = std::from_chars(theText.data(), end, *theValue, theBase);
  return parsed.ec == std::errc() && parsed.ptr == end && *theValue >= theLow && *theValue <= theHigh;
}

DialogControl* FindScripted(DialogWindow& theDialog, const std::string& theName) {
  int64_t id = 0;
  bool byID = ParseInt(theName, INT32_MIN, INT32_MAX, &id);
  for (auto& c : theDialog.controls)
    if (byID ? c->id == id : c->name == theName) return c.get();
  return nullptr;
}

std::string ValidNames(const DialogWindow& theDialog) {
  std::string list;
  for (const auto& c : theDialog.controls) {
    if (!IsEditable(*c)) continue;
    if (!list.empty()) list += ", ";
    list += c->name.empty() ? std::to_string(c->id) : c->name + " (" + std::to_string(c->id) + ")";
  }
  return list.empty() ? "none: the dialog has no field to set" : list;
}

// "A,R,G,B", "#AARRGGBB" or "#RRGGBB".
bool ParseColor(const std::string& theText, std::array<int, 4>* theArgb) {
  if (!theText.empty() && theText[0] == '#') {
    std::string hex = theText.substr(1);
    if (hex.size() != 6 && hex.size() != 8) return false;
    if (hex.size() == 6) hex = "FF" + hex;
    for (size_t k = 0; k < 4; ++k) {
      int64_t channel = 0;
      if (!ParseInt(hex.substr(2 * k, 2), 0, 255, &channel, 16)) return false;
      (*theArgb)[k] = int(channel);
    }
    return true;
  }
  size_t start = 0;
  for (size_t k = 0; k < 4; ++k) {
    size_t comma = theText.find(',', start);
    if ((comma == std::string::npos) != (k == 3)) return false;
    int64_t channel = 0;
    if (!ParseInt(theText.substr(start, comma - start), 0, 255, &channel)) return false;
    (*theArgb)[k] = int(channel);
    start = comma + 1;
  }
  return true;
}

struct Typing {
  DialogControl* control;
  std::string text;          // edit texts, Mac OS Roman
  std::array<int, 4> argb;  // colour buttons
};

}  // namespace

DialogOutcome RunScriptedDialog(DialogWindow& theDialog, const DialogScript& theScript, std::string* theProblem) {
  std::vector<Typing> typing;
  for (const ScriptedValue& v : theScript.values) {
    std::string where = "--set " + v.control + ": ";
    DialogControl* c = FindScripted(theDialog, v.control);
    if (c == nullptr || !IsEditable(*c)) {
      *theProblem = where + (c == nullptr ? "no such control" : "not a field that takes a value") + " in dialog " +
                    std::to_string(theDialog.number) + "; the names are " + ValidNames(theDialog);
      return DialogOutcome::kBadScript;
    }
    Typing t{c, "", {}};
    if (c->kind == cQV_ColorButton) {
      if (!ParseColor(v.value, &t.argb)) {
        *theProblem = where + "\"" + v.value + "\" is not a colour: give A,R,G,B (0-255 each), #AARRGGBB or #RRGGBB";
        return DialogOutcome::kBadScript;
      }
    } else {
      t.text = Utf8ToMacRoman(v.value);
      bool printable = true;
      for (char ch : t.text) printable = printable && static_cast<unsigned char>(ch) >= 0x20 && ch != 0x7F;
      if (!printable || t.text.size() > kMaxControlText) {
        *theProblem = where + "a field takes at most " + std::to_string(kMaxControlText) +
                      " printable characters";
        return DialogOutcome::kBadScript;
      }
    }
    typing.push_back(t);
  }
  // Select all and type, as in the dialog.
  for (Typing& t : typing) {
    if (t.control->kind == cQV_ColorButton) {
      SetControlColor(*t.control, t.argb[0], t.argb[1], t.argb[2], t.argb[3]);
    } else {
      SetControlText(*t.control, t.text);
      SetControlSelection(*t.control, int(t.text.size()), int(t.text.size()));
    }
    NotifyHit(*t.control);
  }
  return theScript.cancel ? DialogOutcome::kCancelled : DialogOutcome::kConfirmed;
}
