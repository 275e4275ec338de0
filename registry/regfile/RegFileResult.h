#pragma once
// What became of reading, importing or exporting a .reg file.

#include <cstddef>
#include <string>

namespace tw::regedit {

/// Converts to true on success; a default-constructed result is a failure. `description()`
/// names the file, the line when one is known, what was found and what was expected.
struct RegFileResult {
  enum class Status {
    Ok,
    // Reading the file itself.
    CannotOpen,   ///< missing, unreadable, or not a regular file
    TooLarge,     ///< larger than the reader accepts
    Empty,        ///< no text at all
    BadEncoding,  ///< an odd byte count in UTF-16 text, or a NUL character in the text
    BadHeader,    ///< the first line is neither of the two registry-editor headers
    // The lines of the file.
    BadKeyName,      ///< a [key] line: unknown root, empty or over-long name part, no ']'
    BadValueName,    ///< a value name: no closing quote, over-long name, no '='
    BadString,       ///< string data: no closing quote or an escape the format does not have
    BadDword,        ///< dword: data that is not one to eight hex digits
    BadHex,          ///< hex data: not comma-separated bytes, or a continuation that ends the file
    UnknownType,     ///< data that starts with none of the value syntaxes
    ValueOutsideKey, ///< a value line before any [key] line or after a [-key] line
    UnexpectedText,  ///< a line, or the end of one, that the format does not allow
    // Changing or reading the registry.
    ReadOnlyRegistry, ///< the registry refuses changes (a wineserver owns it)
    RegistryError,    ///< a registry call failed; every change of the import was taken back
    KeyNotFound,      ///< the key to export does not exist
    CannotWrite,      ///< the export file could not be saved
  };

  Status status = Status::CannotOpen;
  /// The file the result is about, as the user named it ("" for text handed over in memory).
  std::string file;
  /// 1-based line of the problem, 0 when it concerns no line.
  std::size_t line = 0;
  /// What was found and what was expected, in short lower-case prose.
  std::string detail;
  /// Windows error code of a failed registry call, 0 otherwise.
  long registryError = 0;

  explicit operator bool() const { return status == Status::Ok; }
  /// One line for the user: "file: line N: detail".
  std::string description() const;
};

/// A short name of a status, for messages and test output ("bad hex data").
const char *statusText(RegFileResult::Status status);

} // namespace tw::regedit
