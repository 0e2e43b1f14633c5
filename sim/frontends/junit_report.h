// A scenario run as a JUnit XML report, the format CI systems read (GitLab,
// Jenkins, GitHub's test reporters): one testcase per `expect` of the script,
// named "FILE:LINE: expect ...", with the firmware as its class, so that the
// reports of many firmware builds run against one suite stay apart when
// they are collected together.
//
// - A failed expect carries a <failure> with the reason board-sim printed.
// - Expects never reached (after a failure, a halt or --until) are <skipped>.
// - Another line that fails (a key pressed on a halted board) is a testcase
//   of its own, failed.
// - A script that cannot be read or has a bad line is one testcase with an
//   <error>, and so is a board that halted while no expect failed.
// - Times are virtual seconds, so a report is the same on every host.
#pragma once
#include <string>
#include <vector>

#include "frontends/scenario.h"

namespace sim {

struct JunitRun {
  std::string script;    // as given on the command line
  std::string firmware;  // likewise
  std::vector<Scenario::Outcome> outcomes;
  std::string error;     // a script error, or the halt report of a halted board
  VTime duration = 0;    // virtual time of the whole run
};

// Writes the report under a temporary name and renames it into place. False
// with "cannot write PATH: why".
bool write_junit(const std::string& path, const JunitRun& run, std::string* error);

// The report itself.
std::string junit_xml(const JunitRun& run);

// Text for XML content and attribute values: markup characters as entities,
// line ends and tabs as character references, other control bytes (which XML
// 1.0 cannot carry at all) and bytes that are not UTF-8 as U+FFFD.
std::string xml_escape(const std::string& text);

}  // namespace sim
