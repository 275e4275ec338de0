#pragma once
// The key snapshot store: how a registry key (with its whole sub-tree) or a single value is
// written down in the undo store before it is erased, and how one written-down value is put
// back into the registry.
//
// A record is an ELEMENT of the undo store; each value erased with it is one ITEM child with
// the attributes SUBKEY (full root name and key path), NAME, TYPE ("rdString", "rdInteger" or
// "rdBinary") and VALUE, in this order. The items of all levels of a recorded key are siblings;
// SUBKEY alone carries the nesting.
//
// VALUE encodings: text with every backslash doubled; an integer as 8 upper-case hex digits; a
// binary value as upper-case hex byte pairs joined by ",", with a "\" after the comma that
// follows byte 25, 50, 75, ... (counted from 0). Every other kind of value is recorded as an
// empty "rdString".

#include "registry/RegistryAccess.h"

#include <pugixml.hpp>

#include <stdexcept>
#include <string>
#include <string_view>

namespace tw {

/// A record of the undo store that cannot be written back as it stands: an ITEM that lacks an
/// attribute, a byte that is not a hex number, or a key that cannot be created. what() is the
/// message the user sees. (A value the registry refuses is an ERegistryException.)
class RestoreError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

/// Records, under the record element, the value `valueName` of the key (one ITEM; nothing when
/// the key cannot be opened), or, when `valueName` is empty, the whole key with its sub-tree.
/// `keyPath` is the absolute path below `root`. Throws ERegistryException when a value cannot
/// be read as the kind the registry reports; the record then keeps the items made before it.
void SnapshotToElement(pugi::xml_node record, RootKey root, std::string_view keyPath,
                       std::string_view valueName);
/// Records every value of the key and of its sub-keys, depth first: the key's own values in
/// enumeration order, then each sub-key's. Nothing when the key does not exist.
void SnapshotKeyTree(pugi::xml_node record, TRegistry &registry, std::string_view keyPath);
/// Sets NAME, TYPE and VALUE of `item` from the value `valueName` of the registry object's open
/// key (VALUE last).
void SnapshotValue(TRegistry &registry, pugi::xml_node item, std::string_view valueName);
/// `text` with every backslash doubled.
std::string EscapeBackslashes(std::string_view text);

/// Writes one recorded item back: creates the key SUBKEY names (with any missing parents) and,
/// unless NAME, TYPE and VALUE are all empty, writes the value. An "rdBinary" item with an
/// empty VALUE comes back as a zero-length binary value; an unknown TYPE writes no value.
/// Throws RestoreError for a malformed item or a key that cannot be created, and
/// ERegistryException when the registry refuses the value.
void RestoreItem(std::string_view subKey, std::string_view name, std::string_view type,
                 std::string_view value);
/// RestoreItem of an ITEM element: one that carries more than one attribute must carry all
/// four; one with a single attribute must carry SUBKEY and restores the key alone.
void restoreItemElement(pugi::xml_node item);
/// Writes back every ITEM of a record, in document order. Stops at the first item that fails
/// (throwing its error); the items before it stay written.
void restoreRecord(pugi::xml_node record);

} // namespace tw
