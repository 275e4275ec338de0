#pragma once
// Writing .reg text exactly as the registry editor exports it: UTF-16LE with a byte-order
// mark, CRLF line ends, the header "Windows Registry Editor Version 5.00", each key as
// "\r\n[path]\r\n" followed by its values, and one more "\r\n" at the end.
//
// Value lines: @= or "name"= (with \\, \", \r and \n escaped), then "string", dword:%08x
// (a REG_DWORD of four bytes), or hex: / hex(type): with comma-separated bytes, wrapped after
// the comma that takes a line to 77 characters or more, with ",\" and a two-blank indent.
// A REG_SZ whose data would not come back unchanged from the quoted form (no terminating
// zero, a zero inside, an odd size) is written as hex(1): instead, so no data is lost.

#include "platform/RegistryApi.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::regedit {

class RegFileWriter {
public:
  /// Receives the bytes of the text piece by piece, in order; returns false on failure.
  using Sink = std::function<bool(std::string_view)>;

  /// Starts the text with the byte-order mark and the header line; the text is gathered
  /// until finish().
  RegFileWriter();
  /// The same, but each full piece of the text goes to `sink` as soon as it is written, so a
  /// large export never sits in memory whole.
  explicit RegFileWriter(Sink sink);

  /// Starts a key section; `path` is the full key text ("HKEY_CURRENT_USER\Software"), UTF-8.
  void beginKey(std::string_view path);
  /// The same with a path already in UTF-16.
  void beginKey(std::u16string_view path);
  /// Writes one value line; `value.data` is in DataForm::Raw.
  void writeValue(const platform::RegValue &value);
  /// Ends a gathered text and hands its bytes over; the writer is empty afterwards.
  std::string finish();
  /// Ends a streamed text: passes what is left to the sink. False when the sink refused any
  /// piece.
  bool finishStream();

private:
  // The text in UTF-16 units, turned into little-endian bytes once at the end: appending
  // whole runs of units keeps a full export of a large root fast. Full pieces move to
  // m_done so a large export never copies what it has written when the buffer grows.
  std::vector<std::u16string> m_done;
  std::u16string m_text;
  std::u16string m_scratch;
  Sink m_sink;
  bool m_sinkFailed = false;

  void startPieceIfFull();
  void emit(const std::u16string &piece);
  void putEscaped(std::u16string_view text);
  std::size_t putValueName(std::string_view name);
  void putString(const platform::RegValue &value);
  void putHex(std::uint32_t type, std::size_t lineLength, const platform::RegValue &value);
};

} // namespace tw::regedit
