#include "text/System.h"

#include <chrono>
#include <ctime>

uint32_t TickCount() {
  using namespace std::chrono;
  const auto since = steady_clock::now().time_since_epoch();
  // 60 ticks a second; the unsigned conversion wraps as the counter should.
  return uint32_t(uint64_t(duration_cast<microseconds>(since).count()) * 60u / 1000000u);
}

uint32_t GetDateTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  // Seconds from 1904-01-01 00:00 to the Unix epoch, then the local offset.
  const int64_t kEpochDelta = 2082844800;
  const int64_t offset = local.tm_gmtoff;
  return uint32_t(uint64_t(int64_t(now) + kEpochDelta + offset));
}

void ReverseField(void* theField, int32_t size) {
  auto* bytes = static_cast<unsigned char*>(theField);
  for (int32_t low = 0, high = size - 1; low < high; ++low, --high) {
    const unsigned char swap = bytes[low];
    bytes[low] = bytes[high];
    bytes[high] = swap;
  }
}

int16_t IAbs(int16_t value) { return value < 0 ? int16_t(-int32_t(value)) : value; }

int32_t LAbs(int32_t value) {
  return value < 0 ? int32_t(0u - uint32_t(value)) : value;
}

float RAbs(float value) { return value < 0 ? -value : value; }

double DAbs(double value) { return value < 0 ? -value : value; }
