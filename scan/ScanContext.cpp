#include "scan/ScanContext.h"

#include "platform/FileSystem.h"
#include "platform/Machine.h"
#include "registry/uUtils.h"
#include "scan/AddScanError.h"
#include "scan/ScanSession.h"

namespace tw::scan {

FileProbe::Answer &FileProbe::answerFor(std::string_view path) {
  auto it = m_answers.find(path);
  if (it == m_answers.end()) it = m_answers.emplace(std::string(path), Answer{}).first;
  return it->second;
}

bool FileProbe::fileExists(std::string_view path) {
  Answer &answer = answerFor(path);
  if (answer.file >= 0) {
    ++m_hits;
    return answer.file != 0;
  }
  ++m_lookups;
  answer.file = m_files.fileExists(path) ? 1 : 0;
  return answer.file != 0;
}

bool FileProbe::directoryExists(std::string_view path) {
  Answer &answer = answerFor(path);
  if (answer.directory >= 0) {
    ++m_hits;
    return answer.directory != 0;
  }
  ++m_lookups;
  answer.directory = m_files.directoryExists(path) ? 1 : 0;
  return answer.directory != 0;
}

std::optional<std::string> brokenReferenceGuess(std::string_view v, FileProbe &probe) {
  if (v.empty() || probe.fileExists(v)) return std::nullopt;
  std::string guess = GuessPath(v);
  if (probe.fileExists(guess) || probe.directoryExists(v)) return std::nullopt;
  return guess;
}

bool IsBrokenReference(std::string_view v, FileProbe &probe) {
  return brokenReferenceGuess(v, probe).has_value();
}

bool IsBrokenReference(std::string_view v) {
  FileProbe probe(platform::machine().files());
  return IsBrokenReference(v, probe);
}

ScanContext::ScanContext(ScanSession &session)
    : ScanContext(session, platform::machine().files()) {}

ScanContext::ScanContext(ScanSession &session, const platform::FileSystem &files)
    : m_session(session), m_probe(files) {}

bool ScanContext::stopRequested() const { return m_session.stopRequested(); }

void ScanContext::showStatus(const std::string &text) { m_session.showStatus(text); }

void ScanContext::writeCount(ScanGroupIndex group, std::int32_t count) {
  m_session.setGroupErrorCount(static_cast<int>(group), std::to_string(count));
}

void ScanContext::report(ScanGroupIndex group, std::string keyText, std::string keyValue,
                         std::string guessPath, std::int32_t &counter) {
  AddScanError(m_session, errorTypeOf(group), std::move(keyText), std::move(keyValue),
               std::move(guessPath), counter);
}

} // namespace tw::scan
