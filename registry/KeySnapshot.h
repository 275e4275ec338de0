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
//
// Those four texts cannot give every value back as it was: an expandable string would return as
// a plain one, a multi-string, 64-bit number or untyped value as an empty string. So an item
// whose value they do not carry exactly gets a fifth attribute after the four:
//
//   RAW="<type>:<data>"   e.g. RAW="2:25005300590053005200...0000"
//
// <type> is the registry type as a decimal number, <data> the stored bytes as upper-case hex
// pairs without separators (string data as the registry keeps it: UTF-16LE with its zeros); a
// value without data gives "<type>:". The four texts stay as they would be without RAW, so a
// reader that knows only them restores the item as before. RAW is written for every value that
// is not a string, an integer or binary, for integers of other than four bytes, and for strings
// whose data is not one well-formed text ending in a single zero.
//
// A key (or sub-key) that holds no values is recorded as an ITEM carrying SUBKEY alone, so that
// the restore creates it again.

#include "registry/RegistryAccess.h"

#include <pugixml.hpp>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tw {

/// A record of the undo store that cannot be written back as it stands: an ITEM that lacks an
/// attribute, a byte that is not a hex number, a RAW attribute that is not a type and hex data,
/// or a key that cannot be created. what() is the
/// message the user sees. (A value the registry refuses is an ERegistryException.)
class RestoreError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

/// A key or value that cannot be recorded exactly, because its name holds a character the undo
/// store cannot keep (a NUL, which no XML text can carry). It must not be erased: its record
/// could not give it back. what() is the message the user sees.
class UnrecordableEntry : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

/// True when the undo store keeps `text` exactly as an attribute value.
bool undoStoreCanHold(std::string_view text);
/// A name or key text as the user can read it in a message: a NUL shows as "\0".
std::string visibleName(std::string_view text);

/// Records, under the record element, the value `valueName` of the key (one ITEM; nothing when
/// the key cannot be opened), or, when `valueName` is empty, the whole key with its sub-tree.
/// `keyPath` is the absolute path below `root`. Throws ERegistryException when a value cannot
/// be read as the kind the registry reports, and UnrecordableEntry when a name on the way (the
/// key path, the value name, or any name in the sub-tree) cannot be kept; the record then keeps
/// the items made before it.
void SnapshotToElement(pugi::xml_node record, RootKey root, std::string_view keyPath,
                       std::string_view valueName);
/// Records every value of the key and of its sub-keys, depth first: the key's own values in
/// enumeration order, then each sub-key's. A key or sub-key without values gives one ITEM with
/// SUBKEY alone. Nothing when the key does not exist.
void SnapshotKeyTree(pugi::xml_node record, TRegistry &registry, std::string_view keyPath);
/// Sets NAME, TYPE and VALUE of `item` from the value `valueName` of the registry object's open
/// key, then RAW when those three cannot give the value back exactly.
void SnapshotValue(TRegistry &registry, pugi::xml_node item, std::string_view valueName);
/// `text` with every backslash doubled.
std::string EscapeBackslashes(std::string_view text);

/// Writes one recorded item back: creates the key SUBKEY names (with any missing parents) and,
/// unless NAME, TYPE and VALUE are all empty and there is no `raw` text, writes the value. With
/// a `raw` text (the item's RAW attribute) the value gets exactly the type and data it names,
/// whatever TYPE and VALUE say. Without one, an "rdBinary" item with an empty VALUE comes back
/// as a zero-length binary value and an unknown TYPE writes no value. Throws RestoreError for a
/// malformed item (nothing is written then) or a key that cannot be created, and
/// ERegistryException when the registry refuses the value.
void RestoreItem(std::string_view subKey, std::string_view name, std::string_view type,
                 std::string_view value, std::optional<std::string_view> raw = std::nullopt);
/// RestoreItem of an ITEM element: one that carries more than one attribute must carry all
/// four (and RAW when it has one); one with a single attribute must carry SUBKEY and restores
/// the key alone.
void restoreItemElement(pugi::xml_node item);
/// Writes back every ITEM of a record, in document order. Every item is checked before anything
/// is written: a record that cannot be written back exactly (an item lacking an attribute, a
/// SUBKEY whose root is not one of the five root names, a TYPE the program does not know and no
/// RAW, an rdInteger VALUE that is not a hexadecimal number, a damaged binary or RAW text, or no
/// ITEM at all) throws RestoreError and writes nothing. A write the registry refuses throws
/// ERegistryException; the items before it stay written.
void restoreRecord(pugi::xml_node record);

/// True when the registry still holds something the record recorded as erased: the key of an
/// item that carries SUBKEY alone, or the value an item names. After an erasure that did not
/// reach the disk was taken back, this tells that the record stands for nothing erased.
bool isRecordedEntryPresent(pugi::xml_node record);
/// True when the record holds at least one ITEM and the registry still holds every key and
/// value its items name: nothing of what it recorded has been erased.
bool areRecordedEntriesAllPresent(pugi::xml_node record);

} // namespace tw
