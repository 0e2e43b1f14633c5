#include "frontends/junit_report.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace sim {

namespace {

// Length of the UTF-8 sequence starting at s[i], or 0 when it is not one
// (a stray continuation byte, an overlong form, a surrogate, past U+10FFFF).
size_t utf8_length(const std::string& s, size_t i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  uint32_t cp = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
  for (size_t k = 1; k < n; ++k) {
    unsigned char d = static_cast<unsigned char>(s[i + k]);
    if ((d & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (d & 0x3F);
  }
  static const uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

std::string seconds(VTime t) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", static_cast<double>(t) / static_cast<double>(kSecond));
  return text;
}

std::string attr(const char* name, const std::string& value) {
  return std::string(" ") + name + "=\"" + xml_escape(value) + "\"";
}

}  // namespace

std::string xml_escape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t n = utf8_length(text, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (n > 1) {
      out.append(text, i, n);
      i += n;
      continue;
    }
    ++i;
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      case '\t': out += "&#9;"; break;
      default:
        if (c < 0x20 || c == 0x7F) out += "\xEF\xBF\xBD";
        else out += static_cast<char>(c);
    }
  }
  return out;
}

std::string junit_xml(const JunitRun& run) {
  struct Case {
    std::string name, kind, message, body;  // kind: "", "failure", "skipped", "error"
    int line = 0;
    VTime time = 0;
  };
  std::vector<Case> cases;
  bool failed = false;
  for (const Scenario::Outcome& o : run.outcomes) {
    Case c;
    c.name = run.script + ":" + std::to_string(o.line) + ": " + o.source;
    c.line = o.line;
    c.time = o.ended - o.started;
    c.message = o.message;
    if (o.result == Scenario::Outcome::kFailed) {
      c.kind = "failure";
      c.body = c.name + ": " + o.message;
      failed = true;
    } else if (o.result == Scenario::Outcome::kSkipped) {
      c.kind = "skipped";
    }
    cases.push_back(std::move(c));
  }
  // A halt is news even when no expect was waiting for anything.
  if (!run.error.empty() && !failed) {
    Case c;
    c.name = run.script + ": the run";
    c.kind = "error";
    c.message = run.error;
    c.body = run.error;
    c.time = run.duration;
    cases.push_back(std::move(c));
  }
  int failures = 0, errors = 0, skipped = 0;
  for (const Case& c : cases) {
    failures += c.kind == "failure";
    errors += c.kind == "error";
    skipped += c.kind == "skipped";
  }
  std::string counts = attr("tests", std::to_string(cases.size())) + attr("failures", std::to_string(failures)) +
                       attr("errors", std::to_string(errors)) + attr("skipped", std::to_string(skipped)) +
                       attr("time", seconds(run.duration));
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  xml += "<testsuites" + attr("name", "board-sim") + counts + ">\n";
  xml += "  <testsuite" + attr("name", run.script) + counts + ">\n";
  xml += "    <properties>\n";
  xml += "      <property" + attr("name", "firmware") + attr("value", run.firmware) + "/>\n";
  xml += "      <property" + attr("name", "time") + attr("value", "virtual seconds") + "/>\n";
  xml += "    </properties>\n";
  for (const Case& c : cases) {
    xml += "    <testcase" + attr("name", c.name) + attr("classname", run.firmware) + attr("file", run.script);
    if (c.line) xml += attr("line", std::to_string(c.line));
    xml += attr("time", seconds(c.time));
    if (c.kind.empty()) {
      xml += "/>\n";
      continue;
    }
    xml += ">\n      <" + c.kind + attr("message", c.message);
    if (c.body.empty()) xml += "/>\n";
    else xml += ">" + xml_escape(c.body) + "</" + c.kind + ">\n";
    xml += "    </testcase>\n";
  }
  xml += "  </testsuite>\n</testsuites>\n";
  return xml;
}

bool write_junit(const std::string& path, const JunitRun& run, std::string* error) {
  std::string xml = junit_xml(run);
  std::string temporary = path + ".tmp." + std::to_string(::getpid());
  std::FILE* f = std::fopen(temporary.c_str(), "w");
  bool ok = f && std::fwrite(xml.data(), 1, xml.size(), f) == xml.size();
  if (f && std::fclose(f) != 0) ok = false;
  if (ok && std::rename(temporary.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
  }
  return ok;
}

}  // namespace sim
