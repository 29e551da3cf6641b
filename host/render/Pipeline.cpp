#include "render/Pipeline.h"

#include <sched.h>

#include <atomic>

FramePipeline::FramePipeline(int theJobs, std::function<void(FrameJob&)> theWork) : work(std::move(theWork)) {
  int jobs = theJobs < 1 ? 1 : theJobs;
  for (int k = 0; k < 2 * jobs + 1; ++k) {
    slots.push_back(std::make_unique<FrameJob>());
    free.push_back(slots.back().get());
  }
  for (int k = 0; k < jobs; ++k) workers.emplace_back([this] { Work(); });
}

FramePipeline::~FramePipeline() {
  if (!workers.empty()) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      closing = true;
    }
    changed.notify_all();
    for (std::thread& t : workers) t.join();
  }
}

FrameJob* FramePipeline::Acquire() {
  std::unique_lock<std::mutex> lock(mutex);
  changed.wait(lock, [this] { return !free.empty() || failure != nullptr; });
  if (failure != nullptr) return nullptr;
  FrameJob* job = free.back();
  free.pop_back();
  return job;
}

void FramePipeline::Submit(FrameJob* theJob) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    ready.push_back(theJob);
  }
  changed.notify_all();
}

bool FramePipeline::Failed() {
  std::lock_guard<std::mutex> lock(mutex);
  return failure != nullptr;
}

void FramePipeline::Finish() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    closing = true;
  }
  changed.notify_all();
  for (std::thread& t : workers) t.join();
  workers.clear();
  if (failure != nullptr) std::rethrow_exception(failure);
}

void FramePipeline::Work() {
  while (true) {
    FrameJob* job;
    {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [this] { return !ready.empty() || closing; });
      if (ready.empty()) return;
      job = ready.front();
      ready.pop_front();
      // After a failure the rest is dropped: the run ends as failed.
      if (failure != nullptr) {
        free.push_back(job);
        continue;
      }
    }
    std::exception_ptr error;
    try {
      work(*job);
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (error != nullptr && failure == nullptr) failure = error;
      free.push_back(job);
    }
    changed.notify_all();
  }
}

int DefaultJobs() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
  unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : int(n);
}

void ParallelFor(int theJobs, size_t theCount, const std::function<void(size_t)>& theWork) {
  std::atomic<size_t> next{0};
  std::atomic<bool> stop{false};
  std::exception_ptr failure;
  std::mutex failureMutex;
  auto run = [&] {
    for (size_t k; !stop && (k = next++) < theCount;) {
      try {
        theWork(k);
      } catch (...) {
        std::lock_guard<std::mutex> lock(failureMutex);
        if (failure == nullptr) failure = std::current_exception();
        stop = true;
      }
    }
  };
  std::vector<std::thread> threads;
  for (int k = 1; k < theJobs && size_t(k) < theCount; ++k) threads.emplace_back(run);
  run();
  for (std::thread& t : threads) t.join();
  if (failure != nullptr) std::rethrow_exception(failure);
}
