// Frames for the viewer.  A FrameSource answers "frame N" with the points
// the page draws; the plug-in session makes them, the PLY folder reads them.
//
// The plug-in session reaches every frame the way `plmhost render` does: it
// starts from the state "INIT" leaves and sends "SETM" and "GENM" for each
// frame in order from the scene's first frame, never asking the plug-in to
// jump (its replay window can give other particles than a continuous run).
// Going back restores a snapshot of the two records (the settings record
// and the working block), taken every few frames, and runs on from there;
// recent frames are kept in a cache, so going back is usually free.  Both
// are bounded in bytes: the cache drops the least recently used frame, the
// snapshots thin out to every other one.
//
// The plug-in is driven by one worker thread only; requests queue for it.
// A newer frame request replaces a queued one, and Cancel stops the running
// one: the plug-in hears it through "STAT".
#ifndef PLMHOST_FRAMESESSION_H
#define PLMHOST_FRAMESESSION_H

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "dialog/Dialog.h"
#include "protocol/PluginInstance.h"
#include "scene/Scene.h"
#include "server/Events.h"

struct FrameData {
  int32_t frame = 0;
  std::vector<float> positions;  // x y z per point, as the PLY file holds them
  std::vector<float> blur;       // the blur position, likewise
  std::vector<uint8_t> colors;   // r g b a per point
  double pluginSeconds = 0;      // "SETM" and "GENM"; 0 for frames read from files
  size_t Count() const { return colors.size() / 4; }
  size_t Bytes() const { return sizeof(FrameData) + colors.size() * 7; }
};
using FramePtr = std::shared_ptr<const FrameData>;

// Coordinates narrowed as the PLY writer narrows them.
FrameData FrameFromModel(const FrameModel& theModel, int32_t theFrame, double theSeconds);

// The body of a frame response, little-endian: "PLMF", version 1, frame
// (int32), point count (uint32), plug-in seconds (float64), flags (uint32,
// bit 0: from the cache, bit 1: blur positions follow), 4 bytes zero; then
// float32 positions[3n], when asked for float32 blur positions[3n], and
// uint8 colours[4n] (r g b a).
constexpr size_t kFrameHeaderBytes = 32;
std::string EncodeFrame(const FrameData& theFrame, bool theFromCache, bool theBlur);

// Least recently used frames, bounded in bytes; safe from any thread.
class FrameCache {
 public:
  explicit FrameCache(size_t theLimit) : limit_(theLimit) {}
  FramePtr Find(int32_t theFrame);
  void Put(FramePtr theFrame);  // a frame larger than the limit is not kept
  void Clear();
  size_t Bytes();
  size_t Count();

 private:
  std::mutex mutex_;
  std::list<FramePtr> order_;  // most recent first
  std::map<int32_t, std::list<FramePtr>::iterator> index_;
  size_t bytes_ = 0, limit_;
};

enum class ReplyStatus { kOk, kCancelled, kSuperseded, kBadRequest, kNotFound, kFailed, kStopped };
int HttpStatusOf(ReplyStatus theStatus);

struct FrameReply {
  ReplyStatus status = ReplyStatus::kOk;
  FramePtr frame;
  bool fromCache = false;
  std::string message;
};

struct EditReply {
  ReplyStatus status = ReplyStatus::kOk;
  std::string message;
  nlohmann::ordered_json body;
};

// What the page shows of the scene and the viewer's range.
struct ViewInfo {
  std::string mode;  // "serve" or "view"
  std::string label, pluginName;
  double fps = 30;
  int32_t firstFrame = 0, lastFrame = 0;
  CameraSpec camera;
  bool editor = false;
};
nlohmann::ordered_json ViewInfoJson(const ViewInfo& theInfo);

class FrameSource {
 public:
  virtual ~FrameSource() = default;
  virtual ViewInfo Info() = 0;
  virtual FrameReply Frame(int32_t theFrame) = 0;
  virtual void Cancel() {}
};

struct SessionLimits {
  size_t cacheBytes = size_t(256) << 20;
  size_t snapshotBytes = size_t(256) << 20;
  int32_t snapshotEvery = 10;  // frames between snapshots, doubled when they thin out
};

class PluginSession : public FrameSource {
 public:
  PluginSession(const Scene& theScene, const std::string& theScenePath, const SessionLimits& theLimits,
                EventHub* theEvents);
  ~PluginSession() override;
  // Loads the plug-in and sends "INIT" on the worker; throws a HostError.
  void Open();
  ViewInfo Info() override;
  FrameReply Frame(int32_t theFrame) override;
  void Cancel() override;
  // The settings dialog as the plug-in fills it (nothing changes).
  EditReply ReadForm();
  // Types the values into the dialog and confirms it, as `plmhost edit
  // --set` does; saves the scene when the settings record changed.
  EditReply Apply(const std::vector<ScriptedValue>& theValues);
  // Ends the worker after the running request; the plug-in is finished
  // and unloaded.  Later requests answer kStopped.
  void Stop();
  Scene CurrentScene();

  // For tests and the benchmark.
  size_t SnapshotCount();
  int32_t SnapshotEvery();

 private:
  struct Snapshot {
    std::vector<uint8_t> control, data;
  };
  struct Task {
    bool isFrame;
    std::function<void()> run;
    std::function<void(ReplyStatus)> drop;
  };
  template <typename Reply>
  Reply Post(bool isFrame, std::function<Reply()> theBody);
  void WorkerLoop();

  // On the worker only.
  void OpenOnWorker();
  void ResetInstance(bool clearFrames);
  FrameReply Produce(int32_t theFrame);
  FrameReply RunFrame(int32_t theFrame);
  Snapshot Take() const;
  void Restore(const Snapshot& theSnapshot);
  void KeepSnapshot(int32_t theFrame);
  EditReply ReadFormOnWorker();
  EditReply ApplyOnWorker(const std::vector<ScriptedValue>& theValues);
  void Progress(const std::string& theState, int32_t theFrame, int32_t theFrom, int32_t theTo);

  std::mutex sceneMutex_;
  Scene scene_;
  std::string scenePath_;
  SessionLimits limits_;
  EventHub* events_;
  FrameCache cache_;

  PluginInstance instance_;
  PluginInformation info_;
  bool opened_ = false;
  std::map<int32_t, Snapshot> snapshots_;  // by the last frame run; first - 1 is the state after "INIT"
  size_t snapshotBytes_ = 0;
  std::atomic<int32_t> snapshotEvery_;
  std::atomic<size_t> snapshotCount_{0};
  bool liveValid_ = false;
  int32_t liveAt_ = 0;  // the last frame the live records ran
  int settingsVersion_ = 0;

  std::atomic<bool> cancel_{false};
  std::mutex queueMutex_;
  std::condition_variable queueChanged_;
  std::deque<Task> queue_;
  bool stopping_ = false;
  std::thread worker_;
};

#endif
