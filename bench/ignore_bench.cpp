// Cost of the ignore test per reported error, against an ignore list of 10,000 entries read from
// an ignore.xml document, the way the scan consults it: every report asks the session for the
// current list and tests the key text. Half of the reported errors are on the list.
//
//   ignore_bench [ENTRIES] [REPORTS]      defaults: 10000 entries, 1000000 reports

#include "scan/AddScanError.h"
#include "scan/IgnoreIndex.h"
#include "scan/ScanSession.h"

#include <pugixml.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// A session that keeps only what the ignore test decides: the rows it lets through are counted.
class CountingSession : public tw::scan::ScanSession {
public:
  explicit CountingSession(std::shared_ptr<const tw::scan::IgnoreIndex> list) : m_list(std::move(list)) {}
  bool stopRequested() const override { return false; }
  bool isGroupChecked(int) const override { return true; }
  void showStatus(const std::string &) override {}
  void setGroupErrorCount(int, const std::string &) override {}
  void appendErrorRow(tw::scan::ErrorRow) override { ++rows; }
  std::shared_ptr<const tw::scan::IgnoreIndex> ignoreList() const override { return m_list; }
  long rows = 0;

private:
  std::shared_ptr<const tw::scan::IgnoreIndex> m_list;
};

std::string keyText(int i) {
  return "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\program" +
         std::to_string(i) + ".exe";
}

} // namespace

int main(int argc, char **argv) {
  const int entries = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int reports = argc > 2 ? std::atoi(argv[2]) : 1000000;

  pugi::xml_document doc;
  pugi::xml_node list = doc.append_child("IgnoreList");
  for (int i = 0; i < entries; ++i) {
    pugi::xml_node e = list.append_child("ERROR");
    e.append_attribute("ROOT") = "HKEY_LOCAL_MACHINE";
    e.append_attribute("KEY") = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
    e.append_attribute("VALUE") = ("program" + std::to_string(2 * i) + ".exe").c_str();
  }
  auto index = std::make_shared<const tw::scan::IgnoreIndex>(tw::scan::IgnoreIndex::fromXml(list, "ignore.xml"));
  CountingSession session(index);

  // The key texts are made before timing: the scanners have them in hand when they report.
  std::vector<std::string> texts;
  texts.reserve(static_cast<std::size_t>(std::min(reports, 2 * entries)));
  for (int i = 0; i < std::min(reports, 2 * entries); ++i) texts.push_back(keyText(i));

  std::vector<double> nsPerReport;
  for (int round = 0; round < 5; ++round) {
    int counter = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < reports; ++i)
      tw::scan::AddScanError(session, "Application", texts[static_cast<std::size_t>(i) % texts.size()],
                             "", "", counter);
    const auto end = std::chrono::steady_clock::now();
    nsPerReport.push_back(std::chrono::duration<double, std::nano>(end - start).count() / reports);
  }
  std::sort(nsPerReport.begin(), nsPerReport.end());
  std::printf("ignore list: %d entries; %d reports per round, half of them ignored, %ld rows let through in all\n",
              entries, reports, session.rows);
  std::printf("AddScanError with the ignore test: median %.1f ns per report (best %.1f, worst %.1f; target <= 1000)\n",
              nsPerReport[2], nsPerReport.front(), nsPerReport.back());
  return nsPerReport[2] <= 1000.0 ? 0 : 1;
}
