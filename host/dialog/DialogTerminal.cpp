// The dialog as a full-screen form on the terminal.  Controls sit where
// their resource bounds put them, scaled to the screen between a title line
// and a help line; Tab and the arrow keys move between fields, typing edits
// the focused text (a field is selected whole when it is entered, so typing
// replaces it), a colour button is four channel fields, Enter confirms and
// Escape cancels.
#include <curses.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dialog/Dialog.h"
#include "protocol/MacRoman.h"

namespace {

constexpr int kEscape = 27, kControlC = 3;
constexpr int kChannelWidth = 3, kColorWidth = 4 * kChannelWidth + 3;

// A place the focus can stop: a control, or one channel of a colour button.
struct Stop {
  DialogControl* control;
  int channel;  // 0..3 (a, r, g, b) for colour buttons, else -1
};

struct Cell {
  int row, col, width, height;
};

bool Focusable(const DialogControl& c) {
  return c.visible && c.enabled &&
         (c.kind == cQV_EditText || c.kind == cQV_ColorButton || c.kind == cQV_PushButton ||
          c.kind == cQV_CheckBox);
}

bool IsContainer(const DialogControl& c) {
  return c.kind == cQV_GroupBox || c.kind == cQV_DividerLine || c.kind == cQV_TabGroup;
}

struct Form {
  DialogWindow& dialog;
  std::vector<Stop> stops;
  size_t focus = 0;

  // The content area is every line but the first (title) and the last (help).
  Cell Place(const QV_Rect& r) const {
    int rows = std::max(1, LINES - 2), cols = std::max(1, COLS);
    // The plug-in may move a control anywhere; keep every cell on the screen.
    auto scale = [](int v, int cells, int side) {
      return int(std::clamp<int64_t>(int64_t(v) * cells / side, 0, cells));
    };
    int x0 = scale(r.left, cols, dialog.width), x1 = scale(r.right, cols, dialog.width);
    int y0 = scale(r.top, rows, dialog.height), y1 = scale(r.bottom, rows, dialog.height);
    return {1 + y0, x0, std::max(1, x1 - x0), std::max(1, y1 - y0)};
  }

  int MinimumWidth(const DialogControl& c) const {
    return c.kind == cQV_ColorButton ? kColorWidth : c.kind == cQV_EditText ? 4 : 1;
  }

  // Whether every control keeps its own cells at this terminal size.
  bool Fits() const {
    if (LINES < 3 || COLS < 10) return false;
    std::vector<Cell> cells;
    for (const auto& c : dialog.controls) {
      if (!c->visible || IsContainer(*c)) continue;
      Cell a = Place(c->bounds);
      if (a.width < MinimumWidth(*c)) return false;
      for (const Cell& b : cells)
        if (a.row < b.row + b.height && b.row < a.row + a.height && a.col < b.col + b.width &&
            b.col < a.col + a.width)
          return false;
      cells.push_back(a);
    }
    return true;
  }

  Stop& Current() { return stops[focus]; }

  void Enter(size_t theStop) {
    focus = theStop;
    DialogControl& c = *Current().control;
    dialog.keyControl = &c;
    if (c.kind == cQV_EditText) SetControlSelection(c, 0, int(kMaxControlText));
  }

  void Move(bool theForward) {
    if (stops.empty()) return;
    size_t n = stops.size();
    Enter(theForward ? (focus + 1) % n : (focus + n - 1) % n);
  }
};

void PutText(int row, int col, const std::string& theMacRoman, int theWidth, attr_t theAttr = A_NORMAL) {
  attron(theAttr);
  for (int k = 0; k < theWidth; ++k) {
    char c = k < int(theMacRoman.size()) ? theMacRoman[size_t(k)] : ' ';
    mvaddstr(row, col + k, MacRomanToUtf8(std::string(1, c)).c_str());
  }
  attroff(theAttr);
}

// Word-wrapped into the cell's lines.
void PutWrapped(const Cell& theCell, const std::string& theText) {
  size_t at = 0;
  for (int line = 0; line < theCell.height && at < theText.size(); ++line) {
    size_t width = size_t(theCell.width), end = std::min(theText.size(), at + width);
    if (end < theText.size()) {
      size_t space = theText.rfind(' ', end);
      if (space != std::string::npos && space > at) end = space;
    }
    PutText(theCell.row + line, theCell.col, theText.substr(at, end - at), int(end - at));
    at = end;
    while (at < theText.size() && theText[at] == ' ') ++at;
  }
}

// Draws the edit text with its selection; returns the cursor column.
int DrawEditText(const DialogControl& c, const Cell& cell, bool focused) {
  const std::string& t = c.text;
  int cursor = c.selectionEnd;
  int offset = focused ? std::max(0, cursor - cell.width + 1) : 0;
  for (int k = 0; k < cell.width; ++k) {
    int i = offset + k;
    bool selected = focused && i >= c.selectionStart && i < c.selectionEnd;
    std::string ch(1, i < int(t.size()) ? t[size_t(i)] : ' ');
    PutText(cell.row, cell.col + k, ch, 1, selected ? A_REVERSE : A_UNDERLINE);
  }
  return cell.col + cursor - offset;
}

void Draw(Form& form) {
  erase();
  std::string title = form.dialog.title.empty() ? "Dialog " + std::to_string(form.dialog.number) : form.dialog.title;
  PutText(0, 0, "", COLS, A_REVERSE);
  PutText(0, std::max(0, (COLS - int(title.size())) / 2), title, std::min(COLS, int(title.size())), A_REVERSE);
  const char* help = "Tab/Down next  Shift-Tab/Up previous  Enter OK  Esc cancel";
  PutText(LINES - 1, 0, help, std::min(COLS, int(std::string(help).size())), A_DIM);
  if (!form.Fits()) {
    std::string need = "Make the terminal larger (about " + std::to_string((form.dialog.width + 7) / 8) + "x" +
                       std::to_string((form.dialog.height + 19) / 20 + 2) + "), or press Esc to cancel.";
    PutWrapped({1, 0, COLS, std::max(1, LINES - 2)}, need);
    refresh();
    return;
  }
  int cursorRow = -1, cursorCol = -1;
  for (const auto& cp : form.dialog.controls) {
    const DialogControl& c = *cp;
    if (!c.visible) continue;
    Cell cell = form.Place(c.bounds);
    bool focused = !form.stops.empty() && form.Current().control == &c;
    attr_t look = focused ? A_REVERSE : A_NORMAL;
    switch (c.kind) {
      case cQV_StaticText:
        PutWrapped(cell, c.title);
        break;
      case cQV_GroupBox:
      case cQV_TabGroup:
      case cQV_DividerLine: {
        int used = std::min(cell.width, int(c.title.size()));
        PutText(cell.row, cell.col, c.title, used, A_BOLD);
        mvhline(cell.row, cell.col + used + (used > 0 ? 1 : 0), ACS_HLINE, std::max(0, cell.width - used - 1));
        break;
      }
      case cQV_EditText: {
        int col = DrawEditText(c, cell, focused);
        if (focused) cursorRow = cell.row, cursorCol = col;
        break;
      }
      case cQV_ColorButton:
        for (int k = 0; k < 4; ++k) {
          char digits[8];
          std::snprintf(digits, sizeof digits, "%3d", c.argb[size_t(k)]);
          int col = cell.col + k * (kChannelWidth + 1);
          bool here = focused && form.Current().channel == k;
          PutText(cell.row, col, digits, kChannelWidth, here ? A_REVERSE : A_UNDERLINE);
          if (here) cursorRow = cell.row, cursorCol = col + kChannelWidth - 1;
        }
        break;
      case cQV_PushButton: {
        std::string label = "[ " + c.title + " ]";
        int col = cell.col + std::max(0, (cell.width - int(label.size())) / 2);
        PutText(cell.row, col, label, std::min(cell.width, int(label.size())),
                look | (c.id == kOkButtonID ? A_BOLD : A_NORMAL));
        break;
      }
      case cQV_CheckBox:
        PutText(cell.row, cell.col, std::string(c.value ? "[x] " : "[ ] ") + c.title, cell.width, look);
        break;
      default:
        PutWrapped(cell, c.title);
        break;
    }
  }
  curs_set(cursorRow >= 0 ? 1 : 0);
  if (cursorRow >= 0) move(cursorRow, std::min(cursorCol, COLS - 1));
  refresh();
}

// Replaces the selection by theInsert (the selection may be empty).
void TypeText(DialogControl& c, const std::string& theInsert, bool theDeleteBefore, bool theDeleteAfter) {
  int start = c.selectionStart, end = c.selectionEnd;
  if (start == end && theDeleteBefore) start = std::max(0, start - 1);
  if (start == end && theDeleteAfter) end = std::min(int(c.text.size()), end + 1);
  std::string text = c.text.substr(0, size_t(start)) + theInsert + c.text.substr(size_t(end));
  if (text.size() > kMaxControlText) return;
  SetControlText(c, text);
  int at = start + int(theInsert.size());
  SetControlSelection(c, at, at);
  NotifyHit(c);
}

void MoveCursor(DialogControl& c, int theKey) {
  int at = c.selectionEnd;
  if (c.selectionStart != c.selectionEnd)
    at = theKey == KEY_LEFT ? c.selectionStart : c.selectionEnd;
  else if (theKey == KEY_LEFT)
    at = at - 1;
  else if (theKey == KEY_RIGHT)
    at = at + 1;
  if (theKey == KEY_HOME) at = 0;
  if (theKey == KEY_END) at = int(c.text.size());
  at = std::clamp(at, 0, int(c.text.size()));
  SetControlSelection(c, at, at);
}

// A colour channel is a number: digits append (replacing the value when the
// field was just entered), Backspace drops the last digit.
void TypeChannel(DialogControl& c, int theChannel, int theKey, bool* theFresh) {
  int value = c.argb[size_t(theChannel)];
  if (theKey >= '0' && theKey <= '9')
    value = std::min(255, (*theFresh ? 0 : value * 10) + (theKey - '0'));
  else if (theKey == KEY_BACKSPACE || theKey == 127 || theKey == 8)
    value = *theFresh ? 0 : value / 10;
  else
    return;
  *theFresh = false;
  std::array<int, 4> argb = c.argb;
  argb[size_t(theChannel)] = value;
  SetControlColor(c, argb[0], argb[1], argb[2], argb[3]);
  NotifyHit(c);
}

enum class Step { kGoOn, kConfirm, kCancel };

Step Press(DialogControl& c) {
  if (c.kind == cQV_PushButton && c.id == kCancelButtonID) return Step::kCancel;
  if (c.kind == cQV_PushButton && c.id != kOkButtonID) {
    NotifyHit(c);
    return Step::kGoOn;
  }
  return Step::kConfirm;
}

Step HandleKey(Form& form, int key, bool* fresh) {
  if (key == kEscape || key == kControlC || key == ERR) return Step::kCancel;
  // A form that does not fit shows only how to get out.
  if (key == KEY_RESIZE || !form.Fits()) return Step::kGoOn;
  bool enter = key == '\n' || key == '\r' || key == KEY_ENTER;
  if (form.stops.empty()) return enter ? Step::kConfirm : Step::kGoOn;
  Stop& stop = form.Current();
  DialogControl& c = *stop.control;
  if (key == '\t' || key == KEY_DOWN || key == KEY_BTAB || key == KEY_UP) {
    form.Move(key == '\t' || key == KEY_DOWN);
    *fresh = true;
    return Step::kGoOn;
  }
  if (enter) return Press(c);
  if (c.kind == cQV_ColorButton) {
    TypeChannel(c, stop.channel, key, fresh);
  } else if (c.kind == cQV_EditText) {
    if (key == KEY_LEFT || key == KEY_RIGHT || key == KEY_HOME || key == KEY_END)
      MoveCursor(c, key);
    else if (key == KEY_BACKSPACE || key == 127 || key == 8)
      TypeText(c, "", true, false);
    else if (key == KEY_DC)
      TypeText(c, "", false, true);
    else if (key >= 0x20 && key < 0x7F)
      TypeText(c, std::string(1, char(key)), false, false);
  } else if (key == ' ') {
    if (c.kind == cQV_CheckBox) {
      c.value = c.value ? 0 : 1;
      NotifyHit(c);
    } else {
      return Press(c);
    }
  }
  return Step::kGoOn;
}

}  // namespace

bool RunTerminalDialog(DialogWindow& theDialog, std::string* theProblem) {
  Form form{theDialog, {}, 0};
  for (const auto& c : theDialog.controls) {
    if (!Focusable(*c)) continue;
    for (int k = 0; k < (c->kind == cQV_ColorButton ? 4 : 1); ++k)
      form.stops.push_back({c.get(), c->kind == cQV_ColorButton ? k : -1});
  }
  size_t first = 0;
  for (size_t k = form.stops.size(); k-- > 0;)
    if (form.stops[k].control == theDialog.keyControl) first = k;

  std::fflush(stdout);
  // Wide characters for the labels, but numbers stay in the C locale: the
  // plug-in formats and reads them with the C library.
  std::string oldCtype = std::setlocale(LC_CTYPE, nullptr);
  std::setlocale(LC_CTYPE, "");
  SCREEN* screen = newterm(nullptr, stdout, stdin);
  if (screen == nullptr) {
    std::setlocale(LC_CTYPE, oldCtype.c_str());
    const char* term = std::getenv("TERM");
    *theProblem = std::string("cannot use the terminal (TERM=") + (term ? term : "") + ")";
    return false;
  }
  set_term(screen);
  raw();
  noecho();
  keypad(stdscr, TRUE);
  set_escdelay(25);
  if (!form.stops.empty()) form.Enter(first);

  bool fresh = true;
  Step step = Step::kGoOn;
  while (step == Step::kGoOn) {
    Draw(form);
    int key = getch();
    step = HandleKey(form, key, &fresh);
  }
  endwin();
  delscreen(screen);
  std::setlocale(LC_CTYPE, oldCtype.c_str());
  return step == Step::kConfirm;
}
