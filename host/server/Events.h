// Progress pushed to the page as server-sent events.  Events go into a short
// ring; each open stream remembers the last one it sent, so a slow page
// skips old progress instead of making the server hold it.
#ifndef PLMHOST_EVENTS_H
#define PLMHOST_EVENTS_H

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

constexpr size_t kEventRing = 64;
constexpr int kMaxEventStreams = 4;

struct ServerEvent {
  uint64_t sequence;
  std::string type;  // "progress", "state"
  std::string json;
};

class EventHub {
 public:
  void Publish(const std::string& theType, const std::string& theJson);
  // Events after theSequence, waiting up to theWait for one; empty when
  // none came or the hub closed.
  std::vector<ServerEvent> After(uint64_t theSequence, std::chrono::milliseconds theWait);
  uint64_t LastSequence();
  // Streams end; Publish keeps working.
  void Close();
  bool Closed();
  // Open streams are counted so that they cannot take every server thread.
  bool OpenStream();
  void CloseStream();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<ServerEvent> ring_;
  uint64_t next_ = 1;
  bool closed_ = false;
  int streams_ = 0;
};

// One event in the text/event-stream format.
std::string FormatEvent(const ServerEvent& theEvent);

#endif
