#include "registry/regfile/RegFileResult.h"

namespace tw::regedit {

const char *statusText(RegFileResult::Status status) {
  using Status = RegFileResult::Status;
  switch (status) {
  case Status::Ok:
    return "no error";
  case Status::CannotOpen:
    return "cannot open the file";
  case Status::TooLarge:
    return "file too large";
  case Status::Empty:
    return "empty file";
  case Status::BadEncoding:
    return "bad text encoding";
  case Status::BadHeader:
    return "not a registry file";
  case Status::BadKeyName:
    return "bad key name";
  case Status::BadValueName:
    return "bad value name";
  case Status::BadString:
    return "bad string data";
  case Status::BadDword:
    return "bad dword data";
  case Status::BadHex:
    return "bad hex data";
  case Status::UnknownType:
    return "unknown value type";
  case Status::ValueOutsideKey:
    return "value outside a key";
  case Status::UnexpectedText:
    return "unexpected text";
  case Status::ReadOnlyRegistry:
    return "the registry is read-only";
  case Status::RegistryError:
    return "registry error";
  case Status::KeyNotFound:
    return "key not found";
  case Status::CannotWrite:
    return "cannot write the file";
  }
  return "unknown error";
}

std::string RegFileResult::description() const {
  std::string text = file.empty() ? std::string() : file + ": ";
  if (line != 0)
    text += "line " + std::to_string(line) + ": ";
  text += detail.empty() ? std::string(statusText(status)) : detail;
  return text;
}

} // namespace tw::regedit
