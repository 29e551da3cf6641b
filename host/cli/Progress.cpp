#include "cli/Progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace {

// Plain lines: a plug-in report at most once a second; a frame start only
// when the plug-in has said nothing for longer (it may not report at all).
void Draw(ProgressDisplay& theDisplay, bool force, int quietSeconds = 1) {
  if (!theDisplay.enabled) return;
  auto now = std::chrono::steady_clock::now();
  if (theDisplay.terminal) {
    // A terminal redraw costs more than a frame of a small scene.
    if (!force && now - theDisplay.lastRedraw < std::chrono::milliseconds(50)) return;
    theDisplay.lastRedraw = now;
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
    return;
  }
  if (!force && now - theDisplay.lastPlainLine < std::chrono::seconds(quietSeconds)) return;
  theDisplay.lastPlainLine = now;
  std::fprintf(theDisplay.out, "%s\n", ProgressLineText(theDisplay, 0).c_str());
  std::fflush(theDisplay.out);
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
  theDisplay.frame = theFrame;
  theDisplay.haveReport = false;
  Draw(theDisplay, theFrame == theDisplay.firstFrame, 2);
}

void ProgressReportPlugin(ProgressDisplay& theDisplay, const PluginReport& theReport) {
  theDisplay.report = theReport;
  theDisplay.haveReport = true;
  Draw(theDisplay, !theDisplay.pluginHeard);
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
