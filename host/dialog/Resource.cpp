#include "dialog/Resource.h"

#include <charconv>
#include <set>
#include <stdexcept>

#include "protocol/MacRoman.h"

using Json = nlohmann::ordered_json;

namespace {

const char kFormat[] = "plmhost-resources";
constexpr int kVersion = 1;
constexpr int kMaxNesting = 16;
constexpr size_t kMaxNameLength = 32;

struct KindName {
  QV_ControlType kind;
  const char* name;
};
const KindName kKinds[] = {
    {cQV_PushButton, "PushButton"},   {cQV_CheckBox, "CheckBox"},
    {cQV_RadioGroup, "RadioGroup"},   {cQV_DividerLine, "DividerLine"},
    {cQV_GroupBox, "GroupBox"},       {cQV_TabGroup, "TabGroup"},
    {cQV_ColorSlider, "ColorSlider"}, {cQV_Scroller, "Scroller"},
    {cQV_StaticText, "StaticText"},   {cQV_EditText, "EditText"},
    {cQV_ColorButton, "ColorButton"}, {cQV_ListBox, "ListBox"},
    {cQV_PopupMenu, "PopupMenu"},     {cQV_Picture, "Picture"},
    {cQV_UserControl, "UserControl"}, {cQV_OpenGLControl, "OpenGLControl"},
};

struct Malformed : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The parser would follow any depth of nesting; no resource needs more than a
// few levels.
bool NestingWithin(const std::string& theText, int theLimit) {
  int depth = 0;
  bool inString = false, escaped = false;
  for (char c : theText) {
    if (inString) {
      if (escaped) escaped = false;
      else if (c == '\\') escaped = true;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > theLimit) return false;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}

void CheckKeys(const Json& theObject, const std::string& theWhere, std::initializer_list<const char*> theKeys) {
  if (!theObject.is_object()) throw Malformed(theWhere + ": must be an object");
  for (auto it = theObject.begin(); it != theObject.end(); ++it) {
    bool known = false;
    for (const char* key : theKeys) known = known || it.key() == key;
    if (!known) throw Malformed(theWhere + ": unknown field \"" + it.key() + "\"");
  }
}

int64_t Integer(const Json& theValue, const std::string& theWhere, int64_t theLow, int64_t theHigh) {
  bool fits = theValue.is_number_integer() &&
              !(theValue.is_number_unsigned() && theValue.get<uint64_t>() > uint64_t(theHigh));
  int64_t n = fits ? theValue.get<int64_t>() : 0;
  if (!fits || n < theLow || n > theHigh)
    throw Malformed(theWhere + ": must be a whole number from " + std::to_string(theLow) + " to " +
                    std::to_string(theHigh));
  return n;
}

std::string Text(const Json& theValue, const std::string& theWhere) {
  if (!theValue.is_string()) throw Malformed(theWhere + ": must be a string");
  std::string text = Utf8ToMacRoman(theValue.get<std::string>());
  if (text.size() > kMaxControlText)
    throw Malformed(theWhere + ": longer than " + std::to_string(kMaxControlText) + " characters");
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20) throw Malformed(theWhere + ": holds a control character");
  return text;
}

std::vector<int64_t> Integers(const Json& theValue, const std::string& theWhere, size_t theCount,
                              int64_t theLow, int64_t theHigh) {
  if (!theValue.is_array() || theValue.size() != theCount)
    throw Malformed(theWhere + ": must be an array of " + std::to_string(theCount) + " whole numbers");
  std::vector<int64_t> values;
  for (size_t i = 0; i < theCount; ++i)
    values.push_back(Integer(theValue[i], theWhere + "[" + std::to_string(i) + "]", theLow, theHigh));
  return values;
}

QV_ControlType Kind(const Json& theValue, const std::string& theWhere) {
  if (theValue.is_string()) {
    std::string name = theValue.get<std::string>();
    if (name.rfind("cQV_", 0) == 0) name.erase(0, 4);
    for (const KindName& k : kKinds)
      if (name == k.name) return k.kind;
  }
  throw Malformed(theWhere + ": not a control kind (PushButton, StaticText, EditText, ColorButton, ...)");
}

bool IsScriptName(const std::string& theName) {
  if (theName.empty() || theName.size() > kMaxNameLength || !std::isalpha(static_cast<unsigned char>(theName[0])))
    return false;
  for (char c : theName)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

ControlTemplate ReadControl(const Json& theValue, const std::string& theWhere, int theWidth, int theHeight) {
  CheckKeys(theValue, theWhere, {"id", "kind", "bounds", "title", "text", "name", "color", "value"});
  for (const char* key : {"id", "kind", "bounds"})
    if (!theValue.contains(key)) throw Malformed(theWhere + ": no \"" + key + "\"");
  ControlTemplate c;
  c.id = int32_t(Integer(theValue["id"], theWhere + ".id", 0, 32767));
  std::string where = theWhere + " (ID " + std::to_string(c.id) + ")";
  c.kind = Kind(theValue["kind"], where + ".kind");
  std::vector<int64_t> b = Integers(theValue["bounds"], where + ".bounds", 4, 0, kMaxDialogSide);
  c.bounds = {int(b[0]), int(b[1]), int(b[2]), int(b[3])};
  if (!(c.bounds.left < c.bounds.right && c.bounds.right <= theWidth && c.bounds.top < c.bounds.bottom &&
        c.bounds.bottom <= theHeight))
    throw Malformed(where + ".bounds: not a rectangle inside the dialog's size");
  if (theValue.contains("title")) c.title = Text(theValue["title"], where + ".title");
  bool editText = c.kind == cQV_EditText, colorButton = c.kind == cQV_ColorButton;
  if (theValue.contains("text")) {
    if (!editText) throw Malformed(where + ".text: only edit texts hold a text");
    c.text = Text(theValue["text"], where + ".text");
  }
  if (theValue.contains("name")) {
    if (!editText && !colorButton) throw Malformed(where + ".name: only edit texts and colour buttons take names");
    const Json& name = theValue["name"];
    if (!name.is_string() || !IsScriptName(name.get<std::string>()))
      throw Malformed(where + ".name: must be a letter followed by up to 31 letters, digits or _");
    c.name = name.get<std::string>();
  }
  if (theValue.contains("color")) {
    if (!colorButton) throw Malformed(where + ".color: only colour buttons hold a colour");
    std::vector<int64_t> argb = Integers(theValue["color"], where + ".color", 4, 0, 255);
    for (size_t k = 0; k < 4; ++k) c.argb[k] = int(argb[k]);
  }
  if (theValue.contains("value")) c.value = int32_t(Integer(theValue["value"], where + ".value", INT32_MIN, INT32_MAX));
  return c;
}

DialogTemplate ReadDialog(const Json& theValue, int32_t theNumber) {
  std::string where = "dialog " + std::to_string(theNumber);
  CheckKeys(theValue, where, {"title", "size", "controls"});
  for (const char* key : {"size", "controls"})
    if (!theValue.contains(key)) throw Malformed(where + ": no \"" + key + "\"");
  DialogTemplate d;
  d.number = theNumber;
  if (theValue.contains("title")) d.title = Text(theValue["title"], where + ".title");
  std::vector<int64_t> size = Integers(theValue["size"], where + ".size", 2, 1, kMaxDialogSide);
  d.width = int(size[0]);
  d.height = int(size[1]);
  const Json& controls = theValue["controls"];
  if (!controls.is_array()) throw Malformed(where + ".controls: must be an array");
  if (controls.size() > kMaxDialogControls)
    throw Malformed(where + ".controls: more than " + std::to_string(kMaxDialogControls) + " controls");
  std::set<int32_t> ids;
  std::set<std::string> names;
  for (size_t i = 0; i < controls.size(); ++i) {
    ControlTemplate c = ReadControl(controls[i], where + ".controls[" + std::to_string(i) + "]", d.width, d.height);
    if (!ids.insert(c.id).second) throw Malformed(where + ": two controls with ID " + std::to_string(c.id));
    if (!c.name.empty() && !names.insert(c.name).second)
      throw Malformed(where + ": two controls named " + c.name);
    d.controls.push_back(std::move(c));
  }
  return d;
}

}  // namespace

bool ParseResourceText(const std::string& theText, ResourceData* theData, std::string* theProblem) {
  try {
    if (theText.size() > kMaxResourceBytes)
      throw Malformed("larger than " + std::to_string(kMaxResourceBytes) + " bytes");
    if (!NestingWithin(theText, kMaxNesting)) throw Malformed("nested too deeply");
    Json doc;
    try {
      doc = Json::parse(theText);
    } catch (const Json::exception& e) {
      throw Malformed(std::string("not a JSON document (") + e.what() + ")");
    }
    CheckKeys(doc, "the document", {"format", "version", "dialogs"});
    if (!doc.contains("format") || doc["format"] != kFormat)
      throw Malformed(std::string("format: must be \"") + kFormat + "\"");
    if (!doc.contains("version") || Integer(doc["version"], "version", 0, INT32_MAX) != kVersion)
      throw Malformed("version: this plmhost reads version " + std::to_string(kVersion));
    if (!doc.contains("dialogs") || !doc["dialogs"].is_object()) throw Malformed("dialogs: must be an object");
    ResourceData data;
    for (auto it = doc["dialogs"].begin(); it != doc["dialogs"].end(); ++it) {
      const std::string& key = it.key();
      int32_t number = 0;
      auto parsed = std::from_chars(key.data(), key.data() + key.size(), number);
      if (key.empty() || parsed.ec != std::errc() || parsed.ptr != key.data() + key.size())
        throw Malformed("dialogs: \"" + key + "\" is not a dialog number");
      if (!data.dialogs.emplace(number, it.value()).second)
        throw Malformed("dialogs: dialog " + key + " appears twice");
    }
    *theData = std::move(data);
    return true;
  } catch (const Malformed& e) {
    *theProblem = e.what();
  } catch (const std::exception& e) {
    *theProblem = std::string("cannot be read: ") + e.what();
  }
  return false;
}

bool ReadDialogTemplate(const ResourceData& theData, int32_t theNumber, DialogTemplate* theTemplate, std::string* theProblem) {
  auto found = theData.dialogs.find(theNumber);
  if (found == theData.dialogs.end()) {
    *theProblem = "no dialog " + std::to_string(theNumber);
    return false;
  }
  try {
    *theTemplate = ReadDialog(found->second, theNumber);
    return true;
  } catch (const Malformed& e) {
    *theProblem = e.what();
  } catch (const std::exception& e) {
    *theProblem = std::string("dialog ") + std::to_string(theNumber) + " cannot be read: " + e.what();
  }
  return false;
}

const char* ControlKindName(QV_ControlType theKind) {
  for (const KindName& k : kKinds)
    if (k.kind == theKind) return k.name;
  return "?";
}
