#include "validate/Report.h"

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "cli/HostError.h"
#include "validate/Validate.h"

namespace {

std::string ShellQuoted(const std::string& s) {
  if (!s.empty() && s.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-./=+,:") ==
                        std::string::npos)
    return s;
  std::string q = "'";
  for (char ch : s) q += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return q + "'";
}

std::string XmlEscaped(const std::string& s) {
  std::string e;
  for (unsigned char ch : s) {
    switch (ch) {
      case '&': e += "&amp;"; break;
      case '<': e += "&lt;"; break;
      case '>': e += "&gt;"; break;
      case '"': e += "&quot;"; break;
      case '\'': e += "&apos;"; break;
      default:
        // XML 1.0 has no control characters but tab and line ends.
        e += ch < 0x20 && ch != '\t' && ch != '\n' ? '?' : char(ch);
    }
  }
  return e;
}

std::map<Outcome, int> Counts(const ValidationRun& theRun) {
  std::map<Outcome, int> n;
  for (const CheckResult& r : theRun.results) ++n[r.outcome];
  return n;
}

void Write(const std::string& thePath, const std::string& theText) {
  std::ofstream out(thePath, std::ios::binary | std::ios::trunc);
  out << theText;
  out.close();
  if (!out) throw UsageError(thePath + ": cannot write the report");
}

}  // namespace

std::string ReproduceCommand(const ValidationRun& theRun, const CheckDefinition& theCheck) {
  std::string command = "plmhost validate " + ShellQuoted(theRun.pluginPath) + " --filter " + theCheck.name;
  if (theRun.strictness != ValidateOptions().strictness)
    command += " --strictness " + std::to_string(theRun.strictness);
  if (theRun.seed != ValidateOptions().seed) command += " --seed " + std::to_string(theRun.seed);
  return command + " --in-process";
}

void PrintTable(std::FILE* out, const ValidationRun& theRun) {
  std::fprintf(out, "Validating %s at strictness %d (seed %u)\n\n", theRun.pluginPath.c_str(), theRun.strictness,
               theRun.seed);
  std::fprintf(out, "  %-20s %-6s %7s  %s\n", "CHECK", "RESULT", "TIME", "REASON");
  for (const CheckResult& r : theRun.results) {
    std::string first = r.findings.empty() ? "" : r.findings[0].reason;
    std::fprintf(out, "  %-20s %-6s %6.2fs  %s\n", r.check->name, OutcomeName(r.outcome), r.seconds, first.c_str());
    for (size_t i = 1; i < r.findings.size(); ++i)
      std::fprintf(out, "  %-20s %-6s %7s  %s\n", "", OutcomeName(r.findings[i].outcome), "",
                   r.findings[i].reason.c_str());
  }
  std::map<Outcome, int> n = Counts(theRun);
  std::fprintf(out, "\n%zu checks: %d passed, %d failed, %d warned, %d skipped in %.1f s\n", theRun.results.size(),
               n[Outcome::kPass], n[Outcome::kFail], n[Outcome::kWarn], n[Outcome::kSkip], theRun.seconds);
  bool header = false;
  for (const CheckResult& r : theRun.results) {
    if (r.outcome != Outcome::kFail && r.outcome != Outcome::kWarn) continue;
    if (!header) std::fprintf(out, "Reproduce a finding in one process (for a debugger, add --trace for the calls):\n");
    header = true;
    std::fprintf(out, "  %s\n", ReproduceCommand(theRun, *r.check).c_str());
  }
}

void WriteJson(const std::string& thePath, const ValidationRun& theRun) {
  nlohmann::json checks = nlohmann::json::array();
  for (const CheckResult& r : theRun.results) {
    nlohmann::json findings = nlohmann::json::array();
    for (const Finding& f : r.findings) findings.push_back({{"result", OutcomeName(f.outcome)}, {"reason", f.reason}});
    checks.push_back({{"name", r.check->name},
                      {"group", CheckGroup(*r.check)},
                      {"description", r.check->description},
                      {"strictness", r.check->strictness},
                      {"result", OutcomeName(r.outcome)},
                      {"seconds", r.seconds},
                      {"findings", findings},
                      {"reproduce", ReproduceCommand(theRun, *r.check)}});
  }
  std::map<Outcome, int> n = Counts(theRun);
  nlohmann::json doc = {{"plugin", theRun.pluginPath},
                        {"strictness", theRun.strictness},
                        {"seed", theRun.seed},
                        {"seconds", theRun.seconds},
                        {"summary",
                         {{"pass", n[Outcome::kPass]},
                          {"fail", n[Outcome::kFail]},
                          {"warn", n[Outcome::kWarn]},
                          {"skip", n[Outcome::kSkip]}}},
                        {"checks", checks}};
  // Texts from the plug-in may hold bytes that are not UTF-8.
  Write(thePath, doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
}

void WriteJUnit(const std::string& thePath, const ValidationRun& theRun) {
  std::map<Outcome, int> n = Counts(theRun);
  std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  char head[512];
  std::snprintf(head, sizeof head,
                "<testsuites name=\"plmhost validate\" tests=\"%zu\" failures=\"%d\" skipped=\"%d\" time=\"%.3f\">\n"
                "  <testsuite name=\"%s\" tests=\"%zu\" failures=\"%d\" errors=\"0\" skipped=\"%d\" time=\"%.3f\">\n",
                theRun.results.size(), n[Outcome::kFail], n[Outcome::kSkip], theRun.seconds,
                XmlEscaped(theRun.pluginPath).c_str(), theRun.results.size(), n[Outcome::kFail], n[Outcome::kSkip],
                theRun.seconds);
  x += head;
  for (const CheckResult& r : theRun.results) {
    char time[32];
    std::snprintf(time, sizeof time, "%.3f", r.seconds);
    x += "    <testcase classname=\"validate." + CheckGroup(*r.check) + "\" name=\"" + r.check->name + "\" time=\"" +
         time + "\">\n";
    std::string all;
    for (const Finding& f : r.findings) all += std::string(OutcomeName(f.outcome)) + ": " + f.reason + "\n";
    std::string first = r.findings.empty() ? "" : r.findings[0].reason;
    if (r.outcome == Outcome::kFail)
      x += "      <failure message=\"" + XmlEscaped(first) + "\">" + XmlEscaped(all + ReproduceCommand(theRun, *r.check)) +
           "</failure>\n";
    else if (r.outcome == Outcome::kSkip)
      x += "      <skipped message=\"" + XmlEscaped(first) + "\"/>\n";
    else if (!all.empty())
      x += "      <system-out>" + XmlEscaped(all) + "</system-out>\n";
    x += "    </testcase>\n";
  }
  x += "  </testsuite>\n</testsuites>\n";
  Write(thePath, x);
}
