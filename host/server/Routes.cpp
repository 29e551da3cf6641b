// The HTTP side: the security rules before every route, the routes, and the
// serve loop that ends on Ctrl-C.
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <regex>
#include <thread>

#include "cli/HostError.h"
#include "cli/Interrupt.h"
#include "server/Assets.h"
#include "server/Events.h"
#include "server/FrameSession.h"
#include "server/PlyFolder.h"
#include "server/Security.h"
#include "server/Server.h"

using Json = nlohmann::ordered_json;

namespace {

// Threads answering requests; event streams take at most kMaxEventStreams.
constexpr size_t kServerThreads = 12;
constexpr size_t kMaxFormValues = 64;

void SendError(httplib::Response& res, int theStatus, const std::string& theMessage) {
  res.status = theStatus;
  res.set_content(Json({{"error", theMessage}}).dump(), "application/json");
}

void SendJson(httplib::Response& res, const Json& theBody) { res.set_content(theBody.dump(), "application/json"); }

struct Site {
  SecurityPolicy policy;
  FrameSource* source;
  PluginSession* session;  // null for view
  bool readOnly;
  EventHub* events;
  bool Editor() const { return session != nullptr && !readOnly; }
};

void SecureEveryRequest(httplib::Server& server, const Site& site) {
  server.set_pre_routing_handler([&site](const httplib::Request& req, httplib::Response& res) {
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("X-Frame-Options", "DENY");
    res.set_header("Referrer-Policy", "no-referrer");
    res.set_header("Cache-Control", "no-store");
    res.set_header("Content-Security-Policy",
                   "default-src 'self'; img-src 'self' data:; style-src 'self'; frame-ancestors 'none'");
    RequestFacts facts{req.method,
                       req.get_header_value("Host"),
                       req.get_header_value("Origin"),
                       req.get_header_value("Sec-Fetch-Site"),
                       req.get_header_value("Content-Type"),
                       req.get_param_value("token"),
                       req.get_header_value("Cookie"),
                       req.get_header_value("Transfer-Encoding")};
    Verdict verdict = CheckRequest(site.policy, facts);
    if (verdict.status != 0) {
      // A refused request's body stays unread on the socket: the connection
      // must not carry another request after it.
      res.set_header("Connection", "close");
      SendError(res, verdict.status, verdict.reason);
      return httplib::Server::HandlerResponse::Handled;
    }
    if (verdict.setCookie) res.set_header("Set-Cookie", TokenCookie(site.policy));
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (res.status == 413) res.set_header("Connection", "close");
    if (res.body.empty()) SendError(res, res.status, res.status == 413 ? "request body too large" : "no such page");
  });
  server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
    std::string what = "internal error";
    try {
      std::rethrow_exception(ep);
    } catch (const std::exception& e) {
      what = e.what();
    } catch (...) {
    }
    SendError(res, 500, what);
  });
}

void AddRoutes(httplib::Server& server, Site& site) {
  server.Get("/", [&site](const httplib::Request& req, httplib::Response& res) {
    // The token leaves the address bar (and the history) once it is a cookie.
    if (req.has_param("token")) {
      res.set_redirect("/", 303);
      return;
    }
    const Asset* page = FindAsset("index.html");
    res.set_content(page->data, page->size, page->mime.c_str());
  });
  server.Get(R"(/assets/([A-Za-z0-9_.-]{1,64}))", [](const httplib::Request& req, httplib::Response& res) {
    const Asset* a = FindAsset(req.matches[1]);
    if (a == nullptr) return SendError(res, 404, "no such asset");
    res.set_content(a->data, a->size, a->mime.c_str());
  });
  server.Get("/api/info", [&site](const httplib::Request&, httplib::Response& res) {
    Json info = ViewInfoJson(site.source->Info());
    info["editor"] = site.Editor();
    info["readOnly"] = site.readOnly;
    SendJson(res, info);
  });
  server.Get("/api/frame", [&site](const httplib::Request& req, httplib::Response& res) {
    static const std::regex kNumber("-?[0-9]{1,7}");
    std::string text = req.get_param_value("f");
    if (!std::regex_match(text, kNumber)) return SendError(res, 400, "f must be a frame number");
    FrameReply reply = site.source->Frame(std::stoi(text));
    // A cancelled or replaced request is no failure: the page asked for it.
    if (reply.status == ReplyStatus::kCancelled || reply.status == ReplyStatus::kSuperseded)
      return SendJson(res, {{"outcome", reply.status == ReplyStatus::kCancelled ? "cancelled" : "superseded"},
                            {"message", reply.message}});
    if (reply.status != ReplyStatus::kOk) return SendError(res, HttpStatusOf(reply.status), reply.message);
    res.set_content(EncodeFrame(*reply.frame, reply.fromCache, req.get_param_value("blur") == "1"),
                    "application/octet-stream");
  });
  server.Post("/api/cancel", [&site](const httplib::Request&, httplib::Response& res) {
    site.source->Cancel();
    SendJson(res, {{"cancelled", true}});
  });
  server.Get("/api/settings", [&site](const httplib::Request&, httplib::Response& res) {
    if (!site.Editor()) return SendError(res, 403, "the editor is off");
    EditReply reply = site.session->ReadForm();
    if (reply.status != ReplyStatus::kOk) return SendError(res, HttpStatusOf(reply.status), reply.message);
    SendJson(res, reply.body);
  });
  server.Post("/api/settings", [&site](const httplib::Request& req, httplib::Response& res) {
    if (!site.Editor()) return SendError(res, 403, "the editor is off");
    Json body = Json::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object() || !body.contains("values") || !body["values"].is_object() ||
        body["values"].size() > kMaxFormValues)
      return SendError(res, 400, "the body must be {\"values\": {\"NAME\": \"VALUE\", ...}}");
    std::vector<ScriptedValue> values;
    for (auto& [name, value] : body["values"].items()) {
      if (!value.is_string()) return SendError(res, 400, name + ": the value must be text");
      values.push_back({name, value.get<std::string>()});
    }
    EditReply reply = site.session->Apply(values);
    if (reply.status != ReplyStatus::kOk) return SendError(res, HttpStatusOf(reply.status), reply.message);
    SendJson(res, reply.body);
  });
  server.Get("/api/events", [&site](const httplib::Request&, httplib::Response& res) {
    if (!site.events->OpenStream()) return SendError(res, 503, "too many open event streams");
    auto last = std::make_shared<uint64_t>(site.events->LastSequence());
    EventHub* hub = site.events;
    res.set_chunked_content_provider(
        "text/event-stream",
        [hub, last](size_t, httplib::DataSink& sink) {
          std::vector<ServerEvent> events = hub->After(*last, std::chrono::milliseconds(1000));
          if (hub->Closed()) {
            sink.done();
            return false;
          }
          std::string text = events.empty() ? std::string(": idle\n\n") : std::string();
          for (const ServerEvent& e : events) {
            text += FormatEvent(e);
            *last = e.sequence;
          }
          return sink.write(text.data(), text.size());
        },
        [hub](bool) { hub->CloseStream(); });
  });
}

std::string UrlHost(const std::string& theBind) {
  if (theBind == "0.0.0.0" || theBind == "::") return "localhost";
  return theBind.find(':') != std::string::npos ? "[" + theBind + "]" : theBind;
}

int Serve(FrameSource& theSource, PluginSession* theSession, const ServeOptions& theOptions, EventHub& theEvents) {
  std::string bind = CheckBindAddress(theOptions.bind);
  if (theOptions.port < 0 || theOptions.port > 65535) throw UsageError("--port: must be between 0 and 65535");
  httplib::Server server;
  server.new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
  server.set_payload_max_length(kMaxBodyBytes);
  server.set_read_timeout(5, 0);
  server.set_write_timeout(10, 0);
  server.set_keep_alive_timeout(5);
  server.set_keep_alive_max_count(1000);

  int port = theOptions.port;
  bool bound = port == 0 ? (port = server.bind_to_any_port(bind)) > 0 : server.bind_to_port(bind, port);
  if (!bound) throw UsageError("cannot listen on " + bind + ":" + std::to_string(theOptions.port) + " (in use?)");

  Site site{MakeSecurityPolicy(bind, port, NewAccessToken()), &theSource, theSession, theOptions.readOnly, &theEvents};
  SecureEveryRequest(server, site);
  AddRoutes(server, site);

  InstallInterruptHandler();
  std::atomic<bool> listening{true};
  std::thread listener([&] {
    server.listen_after_bind();
    listening = false;
  });
  std::printf("http://%s:%d/?token=%s\n", UrlHost(bind).c_str(), port, site.policy.token.c_str());
  std::fflush(stdout);
  if (!IsLoopbackAddress(bind))
    std::fprintf(stderr, "plmhost: warning: listening on %s, beyond this machine; anyone with the URL can %s\n",
                 bind.c_str(), site.Editor() ? "change the scene" : "see the frames");
  if (!theOptions.quiet)
    std::fprintf(stderr, "plmhost: serving %s%s; Ctrl-C stops\n", theSource.Info().label.c_str(),
                 theOptions.readOnly ? " read-only" : "");

  while (listening && !InterruptRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  theEvents.Close();
  theSource.Cancel();
  server.stop();
  listener.join();
  // The request in progress ends first, so a save it began is complete.
  if (theSession != nullptr) theSession->Stop();
  if (!InterruptRequested()) throw HostError(kExitPluginError, "the server stopped unexpectedly");
  std::fprintf(stderr, "plmhost: stopped%s\n", theSession != nullptr && !theOptions.readOnly ? "; the scene file is as last saved" : "");
  return kExitCancelled;
}

}  // namespace

int RunServe(const ServeOptions& theOptions) {
  Scene scene = LoadScene(theOptions.scenePath);
  ResolveScenePlugin(scene, theOptions.plugin);  // before anything is loaded
  EventHub events;
  SessionLimits limits;
  limits.cacheBytes = theOptions.cacheBytes;
  limits.snapshotBytes = theOptions.snapshotBytes;
  PluginSession session(scene, theOptions.scenePath, limits, &events);
  session.Open();
  return Serve(session, &session, theOptions, events);
}

int RunView(const ServeOptions& theOptions, const std::string& theFolder) {
  EventHub events;
  PlyFolder folder(theFolder, theOptions.cacheBytes);
  ServeOptions options = theOptions;
  options.readOnly = true;
  return Serve(folder, nullptr, options, events);
}
