#include "server/FrameSession.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>

#include "cli/HostError.h"
#include "cli/Interrupt.h"
#include "dialog/Services.h"
#include "output/PlyWriter.h"
#include "protocol/MacRoman.h"
#include "render/FrameSetup.h"

using Json = nlohmann::ordered_json;

namespace {

void PutBytes(std::string& out, const void* theBytes, size_t theCount) {
  out.append(static_cast<const char*>(theBytes), theCount);
}

std::string Describe(PluginInstance& theInstance, int32_t theResult) {
  std::string text = DescribeResult(theInstance, theResult);
  return std::to_string(theResult) + " (" + (text.empty() ? "no description" : text) + ")";
}

Json FormJson(const DialogLayout& theForm, bool theClosedValues) {
  Json items = Json::array();
  for (const DialogLayoutItem& c : theForm.items) {
    if (!c.visible) continue;
    Json item = {{"id", c.id},
                 {"kind", ControlKindName(c.kind)},
                 {"bounds", {c.bounds.left, c.bounds.top, c.bounds.right, c.bounds.bottom}},
                 {"title", c.title}};
    if (c.editable) {
      item["name"] = c.name.empty() ? std::to_string(c.id) : c.name;
      item["value"] = theClosedValues ? c.closed : c.shown;
    }
    items.push_back(item);
  }
  return {{"number", theForm.number},
          {"title", theForm.title},
          {"size", {theForm.width, theForm.height}},
          {"controls", items}};
}

}  // namespace

FrameData FrameFromModel(const FrameModel& theModel, int32_t theFrame, double theSeconds) {
  FrameData f;
  f.frame = theFrame;
  f.pluginSeconds = theSeconds;
  size_t n = theModel.vertices.size();
  f.positions.reserve(3 * n);
  f.blur.reserve(3 * n);
  f.colors.reserve(4 * n);
  for (const ModelVertex& v : theModel.vertices) {
    f.positions.insert(f.positions.end(), {NarrowToFloat(v.position.x), NarrowToFloat(v.position.y),
                                           NarrowToFloat(v.position.z)});
    f.blur.insert(f.blur.end(), {NarrowToFloat(v.blurPosition.x), NarrowToFloat(v.blurPosition.y),
                                 NarrowToFloat(v.blurPosition.z)});
    f.colors.insert(f.colors.end(), {v.color.r, v.color.g, v.color.b, v.color.a});
  }
  return f;
}

std::string EncodeFrame(const FrameData& theFrame, bool theFromCache, bool theBlur) {
  static_assert(sizeof(float) == 4 && sizeof(double) == 8, "wire sizes");
  uint32_t count = uint32_t(theFrame.Count()), version = 1, zero = 0;
  uint32_t flags = (theFromCache ? 1 : 0) | (theBlur ? 2 : 0);
  std::string out;
  out.reserve(kFrameHeaderBytes + size_t(count) * (theBlur ? 28 : 16));
  out += "PLMF";
  PutBytes(out, &version, 4);
  PutBytes(out, &theFrame.frame, 4);
  PutBytes(out, &count, 4);
  PutBytes(out, &theFrame.pluginSeconds, 8);
  PutBytes(out, &flags, 4);
  PutBytes(out, &zero, 4);
  PutBytes(out, theFrame.positions.data(), theFrame.positions.size() * 4);
  if (theBlur) PutBytes(out, theFrame.blur.data(), theFrame.blur.size() * 4);
  PutBytes(out, theFrame.colors.data(), theFrame.colors.size());
  return out;
}

// --- FrameCache ---

FramePtr FrameCache::Find(int32_t theFrame) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = index_.find(theFrame);
  if (found == index_.end()) return nullptr;
  order_.splice(order_.begin(), order_, found->second);
  return *found->second;
}

void FrameCache::Put(FramePtr theFrame) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (theFrame->Bytes() > limit_) return;
  auto found = index_.find(theFrame->frame);
  if (found != index_.end()) {
    bytes_ -= (*found->second)->Bytes();
    order_.erase(found->second);
    index_.erase(found);
  }
  order_.push_front(theFrame);
  index_[theFrame->frame] = order_.begin();
  bytes_ += theFrame->Bytes();
  while (bytes_ > limit_) {
    bytes_ -= order_.back()->Bytes();
    index_.erase(order_.back()->frame);
    order_.pop_back();
  }
}

void FrameCache::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  order_.clear();
  index_.clear();
  bytes_ = 0;
}

size_t FrameCache::Bytes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return bytes_;
}

size_t FrameCache::Count() {
  std::lock_guard<std::mutex> lock(mutex_);
  return index_.size();
}

int HttpStatusOf(ReplyStatus theStatus) {
  switch (theStatus) {
    case ReplyStatus::kOk: return 200;
    case ReplyStatus::kCancelled: return 409;
    case ReplyStatus::kSuperseded: return 409;
    case ReplyStatus::kBadRequest: return 400;
    case ReplyStatus::kNotFound: return 404;
    case ReplyStatus::kFailed: return 500;
    case ReplyStatus::kStopped: return 503;
  }
  return 500;
}

Json ViewInfoJson(const ViewInfo& theInfo) {
  const CameraSpec& c = theInfo.camera;
  return {{"mode", theInfo.mode},
          {"label", theInfo.label},
          {"plugin", theInfo.pluginName},
          {"fps", theInfo.fps},
          {"frames", {{"first", theInfo.firstFrame}, {"last", theInfo.lastFrame}}},
          {"camera", {{"position", c.position}, {"target", c.target}, {"fov", c.fov}}},
          {"editor", theInfo.editor}};
}

// --- PluginSession: the requests ---

PluginSession::PluginSession(const Scene& theScene, const std::string& theScenePath,
                             const SessionLimits& theLimits, EventHub* theEvents)
    : scene_(theScene),
      scenePath_(theScenePath),
      limits_(theLimits),
      events_(theEvents),
      cache_(theLimits.cacheBytes),
      snapshotEvery_(std::max<int32_t>(1, theLimits.snapshotEvery)) {
  instance_.cancelRequest = &cancel_;
  worker_ = std::thread([this] { WorkerLoop(); });
}

PluginSession::~PluginSession() { Stop(); }

template <typename Reply>
Reply PluginSession::Post(bool isFrame, std::function<Reply()> theBody) {
  auto promise = std::make_shared<std::promise<Reply>>();
  std::future<Reply> future = promise->get_future();
  Task task;
  task.isFrame = isFrame;
  task.run = [promise, theBody] {
    Reply reply;
    try {
      reply = theBody();
    } catch (const std::exception& e) {
      reply = Reply();
      reply.status = ReplyStatus::kFailed;
      reply.message = e.what();
    }
    promise->set_value(std::move(reply));
  };
  task.drop = [promise](ReplyStatus theStatus) {
    Reply reply;
    reply.status = theStatus;
    reply.message = theStatus == ReplyStatus::kStopped ? "the server is stopping" : "a newer request replaced this one";
    promise->set_value(std::move(reply));
  };
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    if (stopping_) {
      task.drop(ReplyStatus::kStopped);
      return future.get();
    }
    // The page only wants the frame it asked for last.
    if (isFrame)
      for (auto t = queue_.begin(); t != queue_.end();) {
        if (t->isFrame) {
          t->drop(ReplyStatus::kSuperseded);
          t = queue_.erase(t);
        } else {
          ++t;
        }
      }
    queue_.push_back(std::move(task));
  }
  queueChanged_.notify_all();
  return future.get();
}

void PluginSession::WorkerLoop() {
  for (;;) {
    Task task;
    {
      std::unique_lock<std::mutex> lock(queueMutex_);
      queueChanged_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (stopping_) break;
      task = std::move(queue_.front());
      queue_.pop_front();
      cancel_ = false;
    }
    task.run();
  }
  std::deque<Task> left;
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    left.swap(queue_);
  }
  for (Task& t : left) t.drop(ReplyStatus::kStopped);
  if (opened_) CloseInstance(instance_, true);
  opened_ = false;
}

void PluginSession::Open() {
  EditReply reply = Post<EditReply>(false, [this] {
    OpenOnWorker();
    return EditReply();
  });
  if (reply.status != ReplyStatus::kOk) throw HostError(kExitPluginError, reply.message);
}

ViewInfo PluginSession::Info() {
  Scene s = CurrentScene();
  ViewInfo info;
  info.mode = "serve";
  info.label = s.label;
  info.pluginName = info_.name;
  info.fps = s.fps;
  info.firstFrame = s.firstFrame;
  info.lastFrame = s.lastFrame;
  info.camera = s.camera;
  info.editor = true;
  return info;
}

FrameReply PluginSession::Frame(int32_t theFrame) {
  if (FramePtr hit = cache_.Find(theFrame)) return {ReplyStatus::kOk, hit, true, ""};
  return Post<FrameReply>(true, [this, theFrame] { return Produce(theFrame); });
}

void PluginSession::Cancel() {
  cancel_ = true;
  std::lock_guard<std::mutex> lock(queueMutex_);
  for (auto t = queue_.begin(); t != queue_.end();) {
    if (t->isFrame) {
      t->drop(ReplyStatus::kCancelled);
      t = queue_.erase(t);
    } else {
      ++t;
    }
  }
}

EditReply PluginSession::ReadForm() {
  return Post<EditReply>(false, [this] { return ReadFormOnWorker(); });
}

EditReply PluginSession::Apply(const std::vector<ScriptedValue>& theValues) {
  return Post<EditReply>(false, [this, theValues] { return ApplyOnWorker(theValues); });
}

void PluginSession::Stop() {
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    stopping_ = true;
  }
  cancel_ = true;
  queueChanged_.notify_all();
  if (worker_.joinable()) worker_.join();
}

Scene PluginSession::CurrentScene() {
  std::lock_guard<std::mutex> lock(sceneMutex_);
  return scene_;
}

size_t PluginSession::SnapshotCount() { return snapshotCount_; }
int32_t PluginSession::SnapshotEvery() { return snapshotEvery_; }

// --- PluginSession: on the worker ---

void PluginSession::OpenOnWorker() {
  OpenInstance(instance_, LoadPlugin(ScenePluginPath(scene_)));
  opened_ = true;
  SendInformation(instance_, &info_);
  ResetInstance(true);
}

// The state a render starts from: the scene's settings record, no working
// block, "INIT".
void PluginSession::ResetInstance(bool clearFrames) {
  if (liveValid_ || !snapshots_.empty()) SendFinish(instance_);
  liveValid_ = false;
  SetSettingsRecord(instance_, scene_.settings);
  std::free(instance_.records.data);
  instance_.records.data = nullptr;
  instance_.records.dataSize = 0;
  int32_t theResult = SendInitialize(instance_);
  if (theResult != kPluginNoError)
    throw HostError(kExitPluginError, "the plug-in could not start (\"INIT\" answered " +
                                          Describe(instance_, theResult) + ")");
  if (clearFrames) {
    cache_.Clear();
    snapshots_.clear();
    snapshotBytes_ = 0;
    snapshotEvery_ = std::max<int32_t>(1, limits_.snapshotEvery);
    KeepSnapshot(scene_.firstFrame - 1);
  }
  liveAt_ = scene_.firstFrame - 1;
  liveValid_ = true;
}

PluginSession::Snapshot PluginSession::Take() const {
  const auto* control = static_cast<const uint8_t*>(instance_.records.control);
  const auto* data = static_cast<const uint8_t*>(instance_.records.data);
  Snapshot s;
  if (control != nullptr) s.control.assign(control, control + instance_.records.controlSize);
  if (data != nullptr) s.data.assign(data, data + instance_.records.dataSize);
  return s;
}

void PluginSession::Restore(const Snapshot& theSnapshot) {
  SetSettingsRecord(instance_, theSnapshot.control);
  std::free(instance_.records.data);
  instance_.records.data = nullptr;
  instance_.records.dataSize = 0;
  if (theSnapshot.data.empty()) return;
  void* copy = std::malloc(theSnapshot.data.size());
  if (copy == nullptr) throw std::bad_alloc();
  std::memcpy(copy, theSnapshot.data.data(), theSnapshot.data.size());
  instance_.records.data = copy;
  instance_.records.dataSize = int32_t(theSnapshot.data.size());
}

void PluginSession::KeepSnapshot(int32_t theFrame) {
  Snapshot s = Take();
  snapshotBytes_ += s.control.size() + s.data.size();
  snapshots_[theFrame] = std::move(s);
  // Over the budget: keep every other snapshot (and always the first).
  const int32_t first = scene_.firstFrame - 1;
  while (snapshotBytes_ > limits_.snapshotBytes && snapshots_.size() > 1) {
    int32_t every = snapshotEvery_ * 2;
    for (auto k = snapshots_.begin(); k != snapshots_.end();) {
      if (k->first != first && (k->first - first) % every != 0) {
        snapshotBytes_ -= k->second.control.size() + k->second.data.size();
        k = snapshots_.erase(k);
      } else {
        ++k;
      }
    }
    snapshotEvery_ = every;
    if (every > kMaxFrameIndex) break;
  }
  snapshotCount_ = snapshots_.size();
}

void PluginSession::Progress(const std::string& theState, int32_t theFrame, int32_t theFrom, int32_t theTo) {
  if (events_ == nullptr) return;
  events_->Publish("progress", Json({{"state", theState}, {"frame", theFrame}, {"from", theFrom}, {"to", theTo}}).dump());
}

FrameReply PluginSession::Produce(int32_t theFrame) {
  if (theFrame < scene_.firstFrame || theFrame > scene_.lastFrame)
    return {ReplyStatus::kNotFound, nullptr, false,
            "frame " + std::to_string(theFrame) + " is outside the scene's range " + std::to_string(scene_.firstFrame) +
                "-" + std::to_string(scene_.lastFrame)};
  if (FramePtr hit = cache_.Find(theFrame)) return {ReplyStatus::kOk, hit, true, ""};
  if (!liveValid_ && snapshots_.empty()) ResetInstance(true);  // an earlier failure left nothing to start from

  // Start from the live records when they are at or after the nearest
  // snapshot before the frame; otherwise from that snapshot.
  auto nearest = snapshots_.upper_bound(theFrame - 1);
  --nearest;  // the state after "INIT" is always kept
  if (!(liveValid_ && liveAt_ < theFrame && liveAt_ >= nearest->first)) {
    Restore(nearest->second);
    liveAt_ = nearest->first;
    liveValid_ = true;
  }

  const int32_t from = liveAt_ + 1;
  const bool long_ = theFrame - from >= 1;
  auto lastReport = std::chrono::steady_clock::now();
  if (long_) Progress("running", liveAt_, from, theFrame);
  FrameReply reply;
  while (liveAt_ < theFrame) {
    reply = RunFrame(liveAt_ + 1);
    if (reply.status != ReplyStatus::kOk) {
      if (long_ || reply.status == ReplyStatus::kCancelled)
        Progress(reply.status == ReplyStatus::kCancelled ? "cancelled" : "failed", liveAt_, from, theFrame);
      return reply;
    }
    ++liveAt_;
    cache_.Put(reply.frame);
    if ((liveAt_ - (scene_.firstFrame - 1)) % snapshotEvery_ == 0) KeepSnapshot(liveAt_);
    auto now = std::chrono::steady_clock::now();
    if (long_ && now - lastReport > std::chrono::milliseconds(100)) {
      Progress("running", liveAt_, from, theFrame);
      lastReport = now;
    }
  }
  if (long_) Progress("done", liveAt_, from, theFrame);
  return reply;
}

// One frame as RenderScene runs it.
FrameReply PluginSession::RunFrame(int32_t theFrame) {
  if (cancel_ || InterruptRequested()) return {ReplyStatus::kCancelled, nullptr, false, "cancelled"};
  instance_.refused = RefusedCallback();
  instance_.cancelled = false;
  ResetModel(instance_.model);
  FrameSetup setup = MakeFrameSetup(scene_, theFrame);
  auto start = std::chrono::steady_clock::now();
  int32_t theResult = SendSetup(instance_, setup);
  if (theResult == kPluginNoError) theResult = SendGenerate(instance_, 0);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  // A frame that did not finish leaves records no frame of the scene has.
  if (instance_.cancelled || cancel_ || InterruptRequested()) {
    liveValid_ = false;
    return {ReplyStatus::kCancelled, nullptr, false, "cancelled at frame " + std::to_string(theFrame)};
  }
  std::string failure;
  if (theResult == kPluginNoError && instance_.refused.code != kPluginNoError)
    failure = "the host refused \"" + FourCharText(instance_.refused.selector) + "\" with " +
              Describe(instance_, instance_.refused.code);
  else if (theResult != kPluginNoError)
    failure = "the plug-in failed with " + Describe(instance_, theResult);
  if (!failure.empty()) {
    liveValid_ = false;
    return {ReplyStatus::kFailed, nullptr, false, "frame " + std::to_string(theFrame) + ": " + failure};
  }
  return {ReplyStatus::kOk, std::make_shared<FrameData>(FrameFromModel(instance_.model, theFrame, seconds)), false, ""};
}

EditReply PluginSession::ReadFormOnWorker() {
  if (!liveValid_) ResetInstance(false);
  Snapshot before = Take();
  DialogSession session;
  session.script.cancel = true;
  BeginDialogSession(session);
  int32_t theResult;
  try {
    theResult = SendInterface(instance_);
  } catch (...) {
    EndDialogSession();
    throw;
  }
  DialogReport report = EndDialogSession();
  // Showing the dialog changes nothing; the records are put back all the same.
  Restore(before);
  EditReply reply;
  if (theResult != kPluginNoError && theResult != kPluginUserCanceled)
    return {ReplyStatus::kFailed, "\"INTF\" failed with " + Describe(instance_, theResult), {}};
  if (report.dialogsShown == 0) return {ReplyStatus::kFailed, "the plug-in showed no settings dialog", {}};
  reply.body = {{"form", FormJson(report.lastForm, false)}, {"settingsVersion", settingsVersion_}};
  return reply;
}

EditReply PluginSession::ApplyOnWorker(const std::vector<ScriptedValue>& theValues) {
  // The dialog runs on the state `plmhost edit` gives it: the saved
  // settings, just initialised.
  ResetInstance(false);
  int resetsBefore = instance_.modelResets;
  DialogSession session;
  session.script.values = theValues;
  BeginDialogSession(session);
  int32_t theResult;
  try {
    theResult = SendInterface(instance_);
  } catch (...) {
    EndDialogSession();
    ResetInstance(false);
    throw;
  }
  DialogReport report = EndDialogSession();
  bool reset = instance_.modelResets > resetsBefore;
  std::vector<uint8_t> settings = SettingsRecord(instance_);
  if (!report.scriptProblem.empty() || theResult != kPluginNoError || report.dialogsShown == 0) {
    ResetInstance(false);
    if (!report.scriptProblem.empty()) {
      // The script's messages name the command-line option; the page has none.
      std::string problem = report.scriptProblem;
      if (problem.rfind("--set ", 0) == 0) problem.erase(0, 6);
      return {ReplyStatus::kBadRequest, problem, {}};
    }
    if (report.dialogsShown == 0) return {ReplyStatus::kFailed, "the plug-in showed no settings dialog", {}};
    return {ReplyStatus::kFailed, "\"INTF\" failed with " + Describe(instance_, theResult), {}};
  }

  bool saved = false;
  if (settings == scene_.settings) {
    ResetInstance(false);
  } else {
    if (int64_t(settings.size()) > kMaxSceneSettingsBytes) {
      ResetInstance(false);
      return {ReplyStatus::kFailed, "the plug-in's settings record is too large for a scene", {}};
    }
    // A record the plug-in cannot start from (a pool too large to
    // allocate) would leave a scene that neither this page nor render can
    // open: it is not saved.
    Scene previous = scene_;
    auto useScene = [&](const Scene& theScene) {
      std::lock_guard<std::mutex> lock(sceneMutex_);
      scene_ = theScene;
    };
    Scene next = scene_;
    next.settings = settings;
    useScene(next);
    std::string refusal;
    try {
      ResetInstance(true);  // frames of the old settings are no frames of the new scene
      SaveScene(next, scenePath_);  // atomic: the old file or the new one
    } catch (const std::exception& e) {
      refusal = e.what();
    }
    if (!refusal.empty()) {
      useScene(previous);
      ResetInstance(true);
      return {ReplyStatus::kBadRequest, "nothing saved: " + refusal, {}};
    }
    saved = true;
    ++settingsVersion_;
  }

  Json changes = Json::array();
  for (const DialogChange& c : report.changes)
    changes.push_back({{"control", c.control}, {"before", c.before}, {"after", c.after}});
  EditReply kept = ReadFormOnWorker();
  if (kept.status != ReplyStatus::kOk) return kept;
  // What the plug-in stored instead of what was typed (a clamped value).
  Json adjusted = Json::array();
  for (const ScriptedValue& v : theValues)
    for (const Json& c : kept.body["form"]["controls"])
      if (c.contains("name") && c["name"] == v.control && c["kind"] == "EditText" && c["value"] != v.value)
        adjusted.push_back({{"control", v.control}, {"typed", v.value}, {"kept", c["value"]}});
  EditReply reply;
  reply.body = {{"saved", saved},
                {"reset", reset},
                {"changes", changes},
                {"adjusted", adjusted},
                {"form", kept.body["form"]},
                {"settingsVersion", settingsVersion_}};
  if (events_ != nullptr)
    events_->Publish("state", Json({{"settingsVersion", settingsVersion_}, {"reset", reset}, {"saved", saved}}).dump());
  return reply;
}
