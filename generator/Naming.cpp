#include "generator/Naming.h"

#include "generator/WineText.h"

namespace tw::generator::detail {

const std::vector<std::string> VendorNames = {
    "Contoso",     "Fabrikam",    "Northwind",  "Litware",     "Adatum",     "Proseware",
    "Tailspin",    "Wingtip",     "Woodgrove",  "Lucerne",     "Coho",       "Fourth Coffee",
    "Humongous",   "Margie",      "Trey",       "Wide World",  "Blue Yonder", "Southridge",
    "Relecloud",   "Bellows",     "Lamna",      "Nod",         "Olympia",    "Parnell",
    "Alpine",      "Baldwin",     "Cedarline",  "Driftwood",   "Elmstead",   "Foxglove",
    "Greystone",   "Hollowbrook", "Ironbark",   "Juniper",     "Kestrel",    "Larkspur",
    "Moorland",    "Nettlefield", "Oakhaven",   "Pinecrest",   "Quarry Hill", "Redfern",
    "Saltmarsh",   "Thornbury",   "Underhill",  "Valewood",    "Westbrook",  "Yarrow",
};

const std::vector<std::string> ProductWords = {
    "Photo", "Media",  "Sync",   "Office", "Backup", "Clip",   "Chart", "Disk",  "Mail",
    "Note",  "Paint",  "Scan",   "Sound",  "Video",  "Web",    "Zip",   "Tune",  "Print",
    "Word",  "Data",   "Net",    "Map",    "Cloud",  "Secure", "Burn",  "Chat",  "Draw",
    "Font",  "Game",   "Home",   "Image",  "Movie",  "News",   "Radio", "Share", "Time",
    "Voice", "Weather", "Budget", "Recipe", "Garden", "Star",  "Type",  "Ledger", "Album",
};

const std::vector<std::string> ProductKinds = {
    "Studio",  "Manager", "Center",  "Player", "Suite",     "Toolkit",   "Express", "Pro",
    "Viewer",  "Editor",  "Organizer", "Monitor", "Helper", "Assistant", "Deluxe",  "Lite",
};

const std::vector<std::string> FontFamilies = {
    "Harbor Sans", "Quill Serif", "Meridian",   "Ledger Mono", "Bramble",    "Calloway",
    "Dunmore",     "Everly",      "Fenwick",    "Garamet",     "Halcyon",    "Ivory Script",
    "Jasper Book", "Kinsley",     "Lowell",     "Marigold",    "Norwood",    "Orchard",
    "Pemberton",   "Quinlan",     "Rosemont",   "Sable",       "Tamsin",     "Umber Grotesk",
};

const std::vector<std::string> SoundEvents = {
    "SystemAsterisk", "SystemExclamation", "SystemHand",       "SystemQuestion",
    "SystemStart",    "SystemExit",        "Minimize",         "Maximize",
    "Open",           "Close",             "MenuCommand",      "MenuPopup",
    "RestoreDown",    "RestoreUp",         "MailBeep",         "AppGPFault",
    "CCSelect",       "EmptyRecycleBin",   "Navigating",       "ActivatingDocument",
    "BlockedPopup",   "DeviceConnect",     "DeviceDisconnect", "LowBatteryAlarm",
    "PrintComplete",  "ShowBand",          "SecurityBand",     "FaxBeep",
};

const std::vector<std::string> MenuFolders = {
    "Accessories", "Games",       "Startup",   "Administrative Tools", "Utilities",
    "Multimedia",  "Internet",    "Office",    "Graphics",             "Development",
    "System Tools", "Entertainment", "Communications", "Accessibility", "Maintenance",
};

const std::vector<std::string> AccentedProductNames = {
    "Caf\xC3\xA9 Menu Designer",      // é
    "Se\xC3\xB1or Translate",         // ñ
    "M\xC3\xBCller Kalender",         // ü
    "\xC3\x85ngstr\xC3\xB6m Lab",     // Å ö
    "Cr\xC3\xA8me Recipes \xE2\x84\xA2", // è ™
};

std::string slugOf(std::string_view text) {
  std::string slug;
  for (char c : text) {
    if (c >= 'A' && c <= 'Z')
      slug += static_cast<char>(c + 32);
    else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
      slug += c;
  }
  return slug;
}

std::string UniqueNames::make(std::string_view wanted) {
  if (m_used.insert(lowerAscii(wanted)).second)
    return std::string(wanted);
  // Number the name before its extension (a dot after the last space or backslash).
  std::size_t dot = wanted.rfind('.');
  const std::size_t lastBreak = wanted.find_last_of(" \\");
  if (dot == std::string_view::npos || dot == 0 ||
      (lastBreak != std::string_view::npos && dot < lastBreak))
    dot = wanted.size();
  const std::string_view stem = wanted.substr(0, dot);
  const std::string_view extension = wanted.substr(dot);
  unsigned &n = m_nextNumber[lowerAscii(wanted)];
  if (n < 2)
    n = 2;
  for (;; ++n) {
    std::string candidate = std::string(stem) + std::to_string(n) + std::string(extension);
    if (m_used.insert(lowerAscii(candidate)).second)
      return candidate;
  }
}

bool UniqueNames::contains(std::string_view name) const {
  return m_used.count(lowerAscii(name)) != 0;
}

void UniqueNames::reserve(std::string_view name) { m_used.insert(lowerAscii(name)); }

} // namespace tw::generator::detail
