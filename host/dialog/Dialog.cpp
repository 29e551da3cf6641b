#include "dialog/Dialog.h"

#include <algorithm>

#include "protocol/MacRoman.h"

std::unique_ptr<DialogWindow> MakeDialogWindow(const DialogTemplate& theTemplate) {
  auto dialog = std::make_unique<DialogWindow>();
  dialog->number = theTemplate.number;
  dialog->title = theTemplate.title;
  dialog->width = theTemplate.width;
  dialog->height = theTemplate.height;
  for (const ControlTemplate& layout : theTemplate.controls) {
    auto c = std::make_unique<DialogControl>();
    c->dialog = dialog.get();
    c->id = layout.id;
    c->kind = layout.kind;
    c->bounds = layout.bounds;
    c->title = layout.title;
    c->name = layout.name;
    c->value = layout.value;
    c->argb = layout.argb;
    SetControlText(*c, layout.text);
    dialog->controls.push_back(std::move(c));
  }
  return dialog;
}

void SetControlText(DialogControl& theControl, const std::string& theText) {
  theControl.text = theText.substr(0, kMaxControlText);
  SetControlSelection(theControl, theControl.selectionStart, theControl.selectionEnd);
}

void SetControlTitle(DialogControl& theControl, const std::string& theTitle) {
  theControl.title = theTitle.substr(0, kMaxControlText);
}

void SetControlSelection(DialogControl& theControl, int theStart, int theEnd) {
  int length = int(theControl.text.size());
  theControl.selectionStart = std::clamp(theStart, 0, length);
  theControl.selectionEnd = std::clamp(theEnd, theControl.selectionStart, length);
}

void SetControlColor(DialogControl& theControl, int a, int r, int g, int b) {
  theControl.argb = {std::clamp(a, 0, 255), std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255)};
}

bool IsEditable(const DialogControl& theControl) {
  return theControl.visible && theControl.enabled &&
         (theControl.kind == cQV_EditText || theControl.kind == cQV_ColorButton);
}

bool HasEditableControls(const DialogWindow& theDialog) {
  return std::any_of(theDialog.controls.begin(), theDialog.controls.end(),
                     [](const auto& c) { return IsEditable(*c); });
}

std::string ControlValueText(const DialogControl& theControl) {
  if (theControl.kind == cQV_ColorButton) {
    const auto& v = theControl.argb;
    return std::to_string(v[0]) + "," + std::to_string(v[1]) + "," + std::to_string(v[2]) + "," + std::to_string(v[3]);
  }
  if (theControl.kind == cQV_EditText) return MacRomanToUtf8(theControl.text);
  return std::to_string(theControl.value);
}

void NotifyHit(DialogControl& theControl) {
  if (theControl.hit != nullptr) theControl.hit(&theControl.handle);
}
