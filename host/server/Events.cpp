#include "server/Events.h"

void EventHub::Publish(const std::string& theType, const std::string& theJson) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ring_.push_back({next_++, theType, theJson});
    if (ring_.size() > kEventRing) ring_.pop_front();
  }
  changed_.notify_all();
}

std::vector<ServerEvent> EventHub::After(uint64_t theSequence, std::chrono::milliseconds theWait) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, theWait, [&] { return closed_ || next_ - 1 > theSequence; });
  std::vector<ServerEvent> events;
  if (closed_) return events;
  for (const ServerEvent& e : ring_)
    if (e.sequence > theSequence) events.push_back(e);
  return events;
}

uint64_t EventHub::LastSequence() {
  std::lock_guard<std::mutex> lock(mutex_);
  return next_ - 1;
}

void EventHub::Close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

bool EventHub::Closed() {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

bool EventHub::OpenStream() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_ || streams_ >= kMaxEventStreams) return false;
  ++streams_;
  return true;
}

void EventHub::CloseStream() {
  std::lock_guard<std::mutex> lock(mutex_);
  --streams_;
}

std::string FormatEvent(const ServerEvent& theEvent) {
  return "id: " + std::to_string(theEvent.sequence) + "\nevent: " + theEvent.type + "\ndata: " + theEvent.json +
         "\n\n";
}
