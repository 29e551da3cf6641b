// plmhost validate, run as a user runs it: on Particle.plm, which must pass
// everything, and on plug-ins that each break one rule, which must be
// reported by the check for that rule and by no other.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>

namespace {

struct HostRun {
  int exitCode;
  std::string out;
};

HostRun Plmhost(const std::string& args, bool withErrors = false) {
  std::string command = std::string(PLMHOST_PATH) + " validate " + args + (withErrors ? " 2>&1" : " 2>/dev/null");
  HostRun r{-1, ""};
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return r;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, n);
  int status = pclose(pipe);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string Broken(const std::string& name) { return std::string(BROKEN_DIR) + "/" + name + ".plm"; }

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "validate_" + std::to_string(getpid()) + "_" + name;
}

nlohmann::json ReadJson(const std::string& path) {
  std::ifstream in(path);
  return nlohmann::json::parse(in, nullptr, false);
}

// Checks by result in a JSON report.
std::set<std::string> Named(const nlohmann::json& report, const std::string& result) {
  std::set<std::string> names;
  for (const auto& c : report["checks"])
    if (c["result"] == result) names.insert(c["name"].get<std::string>());
  return names;
}

std::string Findings(const nlohmann::json& report, const std::string& check) {
  std::string all;
  for (const auto& c : report["checks"])
    if (c["name"] == check)
      for (const auto& f : c["findings"]) all += f["reason"].get<std::string>() + "\n";
  return all;
}

// Elements open and close in order, attributes are quoted: enough of XML
// for a CI server to read it.
bool BalancedXml(const std::string& xml, int* testcases) {
  std::vector<std::string> open;
  *testcases = 0;
  for (size_t at = xml.find('<'); at != std::string::npos; at = xml.find('<', at + 1)) {
    size_t end = xml.find('>', at);
    if (end == std::string::npos) return false;
    std::string tag = xml.substr(at + 1, end - at - 1);
    if (tag[0] == '?') continue;
    if (std::count(tag.begin(), tag.end(), '"') % 2 != 0) return false;
    std::string name = tag.substr(tag[0] == '/' ? 1 : 0, tag.find_first_of(" /", 1) - (tag[0] == '/' ? 1 : 0));
    if (tag[0] == '/') {
      if (open.empty() || open.back() != name) return false;
      open.pop_back();
    } else {
      if (name == "testcase") ++*testcases;
      if (tag.back() != '/') open.push_back(name);
    }
  }
  return open.empty();
}

TEST(Validate, ListsItsChecksAndRefusesBadUsage) {
  HostRun list = Plmhost("--list");
  EXPECT_EQ(list.exitCode, 0);
  for (const char* name : {"load.main", "records.null", "callbacks.ADDV", "cancel.stat", "memory.mmal",
                           "model.facets", "determinism.reload", "settings.random", "work.stat"})
    EXPECT_NE(list.out.find(name), std::string::npos) << name;
  EXPECT_NE(list.out.find("36 checks"), std::string::npos);
  EXPECT_NE(list.out.find("Strictness levels"), std::string::npos);

  EXPECT_EQ(Plmhost("").exitCode, 2);  // no plug-in
  EXPECT_EQ(Plmhost(std::string(PARTICLE_PLUGIN_PATH) + " --filter nosuch").exitCode, 2);
  EXPECT_EQ(Plmhost(std::string(PARTICLE_PLUGIN_PATH) + " --strictness 6").exitCode, 2);
  EXPECT_EQ(Plmhost(Broken("missing")).exitCode, 2);
  std::string text = TempPath("not_a_plugin.plm");
  std::ofstream(text) << "not a library\n";
  HostRun notPlugin = Plmhost(text);
  EXPECT_EQ(notPlugin.exitCode, 2);
  EXPECT_EQ(notPlugin.out, "");
}

TEST(Validate, FilterSelectsChecksAndReportsParse) {
  std::string json = TempPath("records.json"), junit = TempPath("records.xml");
  HostRun r = Plmhost(std::string(PARTICLE_PLUGIN_PATH) + " --filter records --json " + json + " --junit " + junit);
  EXPECT_EQ(r.exitCode, 0) << r.out;
  nlohmann::json report = ReadJson(json);
  ASSERT_FALSE(report.is_discarded());
  EXPECT_EQ(Named(report, "pass"),
            (std::set<std::string>{"records.null", "records.short", "records.size", "records.hostproc"}));
  EXPECT_EQ(report["summary"]["pass"], 4);
  std::ifstream in(junit);
  std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  int testcases = 0;
  EXPECT_TRUE(BalancedXml(xml, &testcases)) << xml;
  EXPECT_EQ(testcases, 4);

  // A pattern, and strictness that leaves checks out.
  r = Plmhost(std::string(PARTICLE_PLUGIN_PATH) + " --filter 'callbacks.A*' --strictness 1 --json " + json);
  report = ReadJson(json);
  EXPECT_EQ(Named(report, "skip"), (std::set<std::string>{"callbacks.ADDG", "callbacks.ADDV", "callbacks.ADDF"}));
  EXPECT_NE(Findings(report, "callbacks.ADDV").find("runs from strictness 2"), std::string::npos);
}

TEST(Validate, ParticlePassesAtTheHighestStrictness) {
  std::string json = TempPath("particle.json");
  HostRun r = Plmhost(std::string(PARTICLE_PLUGIN_PATH) + " --strictness 5 --json " + json);
  EXPECT_EQ(r.exitCode, 0) << r.out;
  nlohmann::json report = ReadJson(json);
  EXPECT_EQ(Named(report, "fail"), std::set<std::string>{}) << r.out;
  EXPECT_EQ(Named(report, "warn"), std::set<std::string>{}) << r.out;
  // It asks for no host memory blocks, so those checks have nothing to see.
  EXPECT_EQ(Named(report, "skip"), (std::set<std::string>{"callbacks.MMAL", "callbacks.MFRE", "memory.mmal"}));
}

struct BrokenCase {
  const char* plugin;
  std::set<std::string> failing;  // at strictness 5
  const char* says;               // in the first failing check's findings
  bool crashes = false;           // or hangs: only child processes survive it
};

void PrintTo(const BrokenCase& c, std::ostream* os) { *os << c.plugin; }

class BrokenPlugin : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenPlugin, IsReportedByItsCheckAlone) {
  const BrokenCase& c = GetParam();
  std::string json = TempPath(std::string(c.plugin) + ".json");
  // Checks that cannot crash run in one process: the same checks, quicker.
  HostRun r = Plmhost(Broken(c.plugin) + " --time-limit 3 --json " + json + (c.crashes ? "" : " --in-process"));
  EXPECT_EQ(r.exitCode, c.failing.empty() ? 0 : 1) << r.out;
  nlohmann::json report = ReadJson(json);
  ASSERT_FALSE(report.is_discarded()) << r.out;
  EXPECT_EQ(Named(report, "fail"), c.failing) << r.out;
  EXPECT_EQ(Named(report, "warn"), std::set<std::string>{}) << r.out;
  if (!c.failing.empty()) {
    std::string first = *c.failing.begin();
    EXPECT_NE(Findings(report, first).find(c.says), std::string::npos) << Findings(report, first);
    EXPECT_NE(r.out.find("--filter " + first + " --in-process"), std::string::npos) << r.out;
  }
}

// Where a fault is reported by more than one check, the comment says why.
INSTANTIATE_TEST_SUITE_P(
    Faults, BrokenPlugin,
    ::testing::Values(
        BrokenCase{"ring", {}, ""},
        BrokenCase{"crash_null", {"records.null"}, "crashed with SIGSEGV", true},
        // A plug-in that offers no STAT can neither be watched nor cancelled.
        BrokenCase{"hang", {"cancel.stat", "work.stat"}, "last host call: RSET during SETM (frame 30000)", true},
        BrokenCase{"leak_mmal", {"memory.mmal"}, "never freed by MFRE"},
        BrokenCase{"latch_ignored", {"callbacks.ADDV"}, "ADDF during GENM (frame 0) although ADDV"},
        BrokenCase{"foreign_facet", {"model.facets"}, "names vertex 12 but group 1 has 12 vertices"},
        BrokenCase{"extra_export", {"load.exports"}, "RingHelper"},
        BrokenCase{"short_record", {"records.short"}, "INFO with a record of 1075 bytes (it needs 1076) wrote past its end"},
        BrokenCase{"negative_size", {"records.size"}, "with a size of -1 wrote into the record"},
        BrokenCase{"stale_pointer", {"alloc.move"}, "moved away"},
        BrokenCase{"short_block", {"alloc.short"}, "wrote outside the settings record"},
        BrokenCase{"refused_alloc", {"alloc.refused"}, "crashed with SIGSEGV", true},
        BrokenCase{"no_desc", {"info.describe"}, "no text for 3, a code it returned"},
        BrokenCase{"chek_lies", {"info.check"}, "CHEK accepts GINF but GINF answers 2"},
        BrokenCase{"shared_state", {"life.two-instances"}, "differs from one alone"},
        BrokenCase{"repeat_steps", {"determinism.repeat"}, "frame 10 built"},
        // INIT again on a record the plug-in wrote frames into is a reload
        // too: the bookkeeping it trusts outlives the working record.
        BrokenCase{"reload_trust", {"determinism.reload", "life.repeat"}, "stored after frame 10 and reloaded"},
        BrokenCase{"slow", {"work.stat"}, "without offering a STAT"},
        BrokenCase{"settings_size", {"settings.truncated"}, "INIT wrote outside the settings record before its ALOC"},
        BrokenCase{"nonfinite", {"model.finite"}, "not finite"},
        BrokenCase{"bad_counts", {"model.counts"}, "ADDV during GENM (frame 0) before any ADDG"},
        BrokenCase{"fini_first", {"life.fini-first"}, "crashed with SIGSEGV", true},
        BrokenCase{"reference", {"callbacks.records"}, "named a reference other than"},
        BrokenCase{"cancel_ignored", {"cancel.stat"}, "after STAT answered cancel"},
        BrokenCase{"repeat_init", {"life.repeat"}, "a second INIT answered 5"}),
    [](const ::testing::TestParamInfo<BrokenCase>& info) { return std::string(info.param.plugin); });

TEST(Validate, StrictnessInProcessAndTrace) {
  // Slow work is judged from 3, an extra export fails only at 5.
  EXPECT_EQ(Plmhost(Broken("slow") + " --strictness 2").exitCode, 0);
  HostRun r = Plmhost(Broken("extra_export") + " --strictness 4 --filter load");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("warn"), std::string::npos) << r.out;
  // One check in this process, as for a debugger.
  r = Plmhost(Broken("leak_mmal") + " --filter memory.mmal --in-process");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("never freed by MFRE"), std::string::npos) << r.out;
  // The trace shows commands and callbacks in order, repeats folded.
  r = Plmhost(Broken("ring") + " --filter life.fini-first --in-process --trace", true);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("  -> FINI, 40 bytes\n  <- FINI = 0\n  -> INIT, 40 bytes\n      ALOC = 0\n  <- INIT = 0\n"),
            std::string::npos) << r.out;
  EXPECT_NE(r.out.find("      ADDV = 0\n      ADDF = 0\n      ADDV = 0\n      ADDF = 0\n      ... 20 more"),
            std::string::npos) << r.out;
}

}  // namespace
