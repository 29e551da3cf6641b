// The two stages of a render: the thread that drives the plug-in fills
// frames, and --jobs worker threads write and draw them.  Frames travel in
// a fixed set of slots (twice the workers, plus one), so memory stays
// bounded however far the plug-in could run ahead: at most that many frames'
// points exist at once, each slot reusing its buffer.
//
// Every file depends on its own frame only, so what the workers write does
// not depend on their number or on the order they finish in.
#ifndef PLMHOST_PIPELINE_H
#define PLMHOST_PIPELINE_H

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "output/PlyWriter.h"

struct FrameJob {
  int32_t frame = 0;
  FramePoints points;
};

class FramePipeline {
 public:
  // theWork runs on a worker for each submitted frame; an exception it
  // throws stops the pipeline and is kept (the first one) for Finish.
  FramePipeline(int theJobs, std::function<void(FrameJob&)> theWork);
  ~FramePipeline();
  FramePipeline(const FramePipeline&) = delete;
  FramePipeline& operator=(const FramePipeline&) = delete;

  // A free slot to fill (waits for one); null once a worker has failed.
  FrameJob* Acquire();
  void Submit(FrameJob* theJob);
  // Whether a worker failed (the producer should stop).
  bool Failed();
  // Lets the workers finish every submitted frame, joins them and rethrows
  // the first failure.
  void Finish();

  size_t SlotCount() const { return slots.size(); }

 private:
  void Work();

  std::function<void(FrameJob&)> work;
  std::vector<std::unique_ptr<FrameJob>> slots;
  std::vector<FrameJob*> free;
  std::deque<FrameJob*> ready;
  std::mutex mutex;
  std::condition_variable changed;
  bool closing = false;
  std::exception_ptr failure;
  std::vector<std::thread> workers;
};

// The number of workers --jobs 0 means: the processors this process may use.
int DefaultJobs();

// Runs theWork(k) for k in [0, theCount) on theJobs threads; rethrows the
// first exception after all have stopped (the rest are not started).
void ParallelFor(int theJobs, size_t theCount, const std::function<void(size_t)>& theWork);

#endif
