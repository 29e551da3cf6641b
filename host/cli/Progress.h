// The progress line on standard error: the frame being rendered out of the
// range, and the plug-in's own report (heading, unit, value of max and a
// bar).  On a terminal the line is redrawn in place, at once when the plug-in
// moves to another heading; otherwise a plain line comes about once a
// second, showing what was current when the second had passed (reports
// crowd at the start of each phase, so the first one after the second would
// nearly always show a phase that is about to end).
#ifndef PLMHOST_PROGRESS_H
#define PLMHOST_PROGRESS_H

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

struct PluginReport {
  std::string heading;
  std::string unit;
  int32_t value = 0;
  int32_t maximum = 0;
  float fraction = 0.0f;
};

struct ProgressDisplay {
  FILE* out = stderr;
  bool enabled = true;
  bool terminal = false;
  int32_t firstFrame = 0;
  int32_t lastFrame = 0;
  int32_t frame = 0;
  PluginReport report;
  bool haveReport = false;
  bool lineOpen = false;  // a terminal line waits to be finished
  bool pluginHeard = false;  // the first report of the run is always shown
  std::string drawnHeading;  // of the last line drawn
  std::string lastLine;      // the last plain line, not repeated
  std::chrono::steady_clock::time_point lastPlainLine{};
  std::chrono::steady_clock::time_point lastRedraw{};
};

ProgressDisplay MakeProgressDisplay(bool quiet, int32_t firstFrame, int32_t lastFrame);
void ProgressBeginFrame(ProgressDisplay& theDisplay, int32_t theFrame);
void ProgressReportPlugin(ProgressDisplay& theDisplay, const PluginReport& theReport);
// Ends the line and prints a closing message (nothing when quiet).
void ProgressFinish(ProgressDisplay& theDisplay, const std::string& message);
// Ends an open terminal line so that a message can follow.
void ProgressBreakLine(ProgressDisplay& theDisplay);

// The text of the line, without terminal controls (also used by the tests).
std::string ProgressLineText(const ProgressDisplay& theDisplay, int barWidth);

#endif
