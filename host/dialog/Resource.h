// Resource files: plmhost's own format for the dialogs a plug-in shows, a
// JSON document of dialogs by number.
//
//   {
//     "format": "plmhost-resources", "version": 1,
//     "dialogs": {
//       "16001": {
//         "title": "Particle Settings", "size": [640, 440],
//         "controls": [
//           {"id": 1, "kind": "PushButton", "bounds": [536, 400, 624, 420], "title": "OK"},
//           {"id": 6, "kind": "EditText", "bounds": [120, 40, 208, 60], "name": "emitFrequency"},
//           ...
//         ]
//       }
//     }
//   }
//
// "kind" is a QV_ControlType name with or without its cQV_ prefix; "bounds"
// is a QV_Rect [left, top, right, bottom] inside [0, 0, width, height].
// Optional: "title" (any control), "text" (edit texts), "name" (edit texts
// and colour buttons: how --set names them), "color" [a, r, g, b] (colour
// buttons) and "value" (any control).  Push button 1 confirms the dialog and
// push button 2 cancels it.  Control IDs and names are unique in a dialog.
// Texts are UTF-8 in the file and Mac OS Roman in the dialog.
#ifndef PLMHOST_RESOURCE_H
#define PLMHOST_RESOURCE_H

#include <array>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/QVTypes.h"

// Limits beyond which a resource counts as malformed.
constexpr size_t kMaxResourceBytes = 1 << 20;
constexpr size_t kMaxDialogControls = 256;
constexpr size_t kMaxControlText = 255;  // characters of a title or text
constexpr int kMaxDialogSide = 4096;
constexpr int32_t kOkButtonID = 1;
constexpr int32_t kCancelButtonID = 2;

struct ControlTemplate {
  int32_t id = 0;
  QV_ControlType kind = cQV_NoControlType;
  QV_Rect bounds{};
  std::string title, text;  // Mac OS Roman
  std::string name;         // ASCII
  int32_t value = 0;
  std::array<int, 4> argb{255, 0, 0, 0};
};

struct DialogTemplate {
  int32_t number = 0;
  std::string title;  // Mac OS Roman
  int width = 0, height = 0;
  std::vector<ControlTemplate> controls;
};

// A parsed file: the dialogs are checked one by one when they are made, so
// that one broken dialog does not take the others with it.
struct ResourceData {
  std::string path;
  std::map<int32_t, nlohmann::ordered_json> dialogs;
};

// Each returns false and says why in *theProblem when the text or the dialog
// is malformed.
bool ParseResourceText(const std::string& theText, ResourceData* theData, std::string* theProblem);
bool ReadDialogTemplate(const ResourceData& theData, int32_t theNumber, DialogTemplate* theTemplate,
                    std::string* theProblem);

// The kind's name without the prefix ("EditText"); "?" for an unknown kind.
const char* ControlKindName(QV_ControlType theKind);

#endif
