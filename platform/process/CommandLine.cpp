#include "platform/process/CommandLine.h"

namespace tw::platform {

static bool isBlank(char c) { return c == ' ' || c == '\t'; }

static std::string_view skipBlanks(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && isBlank(text[pos])) ++pos;
  return text.substr(pos);
}

std::vector<std::string> splitArguments(std::string_view line) {
  std::vector<std::string> args;
  std::size_t pos = 0;
  for (;;) {
    while (pos < line.size() && isBlank(line[pos])) ++pos;
    if (pos >= line.size()) break;
    std::string arg;
    bool quoted = false;
    while (pos < line.size()) {
      char c = line[pos];
      if (isBlank(c) && !quoted) break;
      if (c == '\\') {
        std::size_t run = 0;
        while (pos < line.size() && line[pos] == '\\') {
          ++run;
          ++pos;
        }
        if (pos < line.size() && line[pos] == '"') {
          arg.append(run / 2, '\\');
          if (run % 2 == 1) {
            arg += '"';
            ++pos;
          }
        } else {
          arg.append(run, '\\');
        }
        continue;
      }
      if (c == '"') {
        if (quoted && pos + 1 < line.size() && line[pos + 1] == '"') {
          arg += '"';
          pos += 2;
          continue;
        }
        quoted = !quoted;
        ++pos;
        continue;
      }
      arg += c;
      ++pos;
    }
    args.push_back(std::move(arg));
  }
  return args;
}

std::string splitProgram(std::string_view commandLine, std::string_view &rest) {
  std::string_view line = skipBlanks(commandLine);
  if (!line.empty() && line[0] == '"') {
    std::size_t close = line.find('"', 1);
    if (close == std::string_view::npos) {
      rest = {};
      return std::string(line.substr(1));
    }
    rest = skipBlanks(line.substr(close + 1));
    return std::string(line.substr(1, close - 1));
  }
  std::size_t end = 0;
  while (end < line.size() && !isBlank(line[end])) ++end;
  rest = skipBlanks(line.substr(end));
  return std::string(line.substr(0, end));
}

std::vector<std::pair<std::string, std::string_view>> programCandidates(std::string_view commandLine) {
  std::vector<std::pair<std::string, std::string_view>> out;
  std::string_view line = skipBlanks(commandLine);
  if (line.empty()) return out;
  if (line[0] == '"') {
    std::string_view rest;
    std::string program = splitProgram(line, rest);
    out.emplace_back(std::move(program), rest);
    return out;
  }
  for (std::size_t pos = 0; pos <= line.size(); ++pos) {
    if (pos < line.size() && !isBlank(line[pos])) continue;
    if (pos > 0 && !isBlank(line[pos - 1]))
      out.emplace_back(std::string(line.substr(0, pos)), skipBlanks(line.substr(pos)));
  }
  return out;
}

} // namespace tw::platform
