#include "cli/Progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace {

void DrawTerminal(ProgressDisplay& theDisplay) {
  theDisplay.lastRedraw = std::chrono::steady_clock::now();
  theDisplay.drawnHeading = theDisplay.haveReport ? theDisplay.report.heading : "";
  std::string line = ProgressLineText(theDisplay, 20);
  // A wrapped line could not be redrawn in place.
  struct winsize size {};
  if (ioctl(fileno(theDisplay.out), TIOCGWINSZ, &size) == 0 && size.ws_col > 1) {
    size_t width = 0, cut = 0;
    for (; cut < line.size() && width + 1 < size.ws_col; ++cut)
      if ((uint8_t(line[cut]) & 0xC0) != 0x80) ++width;  // count UTF-8 characters
    while (cut < line.size() && (uint8_t(line[cut]) & 0xC0) == 0x80) ++cut;
    line.resize(cut);
  }
  // Carriage return, the line, then clear what a longer line left behind.
  std::fprintf(theDisplay.out, "\r%s\x1b[K", line.c_str());
  std::fflush(theDisplay.out);
  theDisplay.lineOpen = true;
}

void DrawPlain(ProgressDisplay& theDisplay) {
  theDisplay.lastPlainLine = std::chrono::steady_clock::now();
  std::string line = ProgressLineText(theDisplay, 0);
  if (line == theDisplay.lastLine) return;
  theDisplay.lastLine = line;
  std::fprintf(theDisplay.out, "%s\n", line.c_str());
  std::fflush(theDisplay.out);
}

// Called before each change of the display's state.  A plain line shows the
// state as it stands, the one current when the second ran out.
void BeforeChange(ProgressDisplay& theDisplay) {
  if (!theDisplay.enabled || theDisplay.terminal) return;
  if (std::chrono::steady_clock::now() - theDisplay.lastPlainLine >= std::chrono::seconds(1)) DrawPlain(theDisplay);
}

// Called after it.  A terminal redraw costs more than a frame of a small
// scene, so the line is redrawn at most every 50 ms, except that a new
// heading shows at once: the phase it names may send nothing more.
void AfterChange(ProgressDisplay& theDisplay, bool force) {
  if (!theDisplay.enabled) return;
  if (!theDisplay.terminal) {
    if (force) DrawPlain(theDisplay);
    return;
  }
  bool newHeading = theDisplay.haveReport && theDisplay.report.heading != theDisplay.drawnHeading;
  if (force || newHeading ||
      std::chrono::steady_clock::now() - theDisplay.lastRedraw >= std::chrono::milliseconds(50))
    DrawTerminal(theDisplay);
}

}  // namespace

ProgressDisplay MakeProgressDisplay(bool quiet, int32_t firstFrame, int32_t lastFrame) {
  ProgressDisplay theDisplay;
  theDisplay.enabled = !quiet;
  theDisplay.terminal = isatty(fileno(theDisplay.out)) != 0;
  theDisplay.firstFrame = firstFrame;
  theDisplay.lastFrame = lastFrame;
  theDisplay.frame = firstFrame;
  return theDisplay;
}

std::string ProgressLineText(const ProgressDisplay& theDisplay, int barWidth) {
  long long done = (long long)theDisplay.frame - theDisplay.firstFrame + 1;
  long long total = (long long)theDisplay.lastFrame - theDisplay.firstFrame + 1;
  std::string line = "frame " + std::to_string(theDisplay.frame) + " (" + std::to_string(done) +
                     "/" + std::to_string(total) + ")";
  if (!theDisplay.haveReport) return line;
  const PluginReport& r = theDisplay.report;
  line += "  " + r.heading + ": " + r.unit + " " + std::to_string(r.value) + " of " +
          std::to_string(r.maximum);
  if (barWidth > 0) {
    // The plug-in's fraction may be anything a float holds.
    double f = std::isfinite(r.fraction) ? std::clamp(double(r.fraction), 0.0, 1.0) : 0.0;
    int filled = int(f * barWidth + 0.5);
    line += " [" + std::string(size_t(filled), '#') + std::string(size_t(barWidth - filled), '.') + "]";
  }
  return line;
}

void ProgressBeginFrame(ProgressDisplay& theDisplay, int32_t theFrame) {
  BeforeChange(theDisplay);
  theDisplay.frame = theFrame;
  theDisplay.haveReport = false;
  AfterChange(theDisplay, theFrame == theDisplay.firstFrame);
}

void ProgressReportPlugin(ProgressDisplay& theDisplay, const PluginReport& theReport) {
  BeforeChange(theDisplay);
  theDisplay.report = theReport;
  theDisplay.haveReport = true;
  AfterChange(theDisplay, !theDisplay.pluginHeard);
  theDisplay.pluginHeard = true;
}

void ProgressBreakLine(ProgressDisplay& theDisplay) {
  if (theDisplay.lineOpen) {
    std::fprintf(theDisplay.out, "\n");
    theDisplay.lineOpen = false;
  }
}

void ProgressFinish(ProgressDisplay& theDisplay, const std::string& message) {
  ProgressBreakLine(theDisplay);
  if (theDisplay.enabled && !message.empty()) std::fprintf(theDisplay.out, "%s\n", message.c_str());
  std::fflush(theDisplay.out);
}
