// The text of a settings file: read into Settings, and edited to hold new
// values while every other byte stays as the user left it.
//
// Two kinds of keys. The twelve the window shows are read tolerantly, as
// files have always been: in pieces of kSettingsLinePieceBytes, a key
// anywhere in its piece, the last occurrence winning. The keys added since
// (JSONFILE=, HISTORYDIR=, ...) stand at the start of a line of their own,
// their value the rest of that line; such a line is never searched for the
// twelve, so that no key is ever found inside another one's value.

#ifndef TOVEX_SETTINGS_SETTINGS_TEXT_H_
#define TOVEX_SETTINGS_SETTINGS_TEXT_H_

#include <string>
#include <string_view>

#include "base/status.h"
#include "settings/settings.h"

namespace tovex {

// Fills `*settings` from `text`: keys it does not name are left as they
// are. Fails with BadSetting for a folder name too long for its piece.
Status ParseSettingsText(std::string_view text, Settings* settings);

// `old` made to hold `settings`: every value that reads differently is
// changed where it stands, keys `old` lacks are added at its end, and
// every other byte (unknown keys, comments, line ends) is kept. An empty
// `old` gives the fresh layout: "[SYSTEM]" and the twelve keys. Fails with
// BadSetting when a value cannot be written so that it reads back (a
// folder name holding a blank and then a key).
Status EditSettingsText(std::string_view old, const Settings& settings,
                        std::string* text);

}  // namespace tovex

#endif  // TOVEX_SETTINGS_SETTINGS_TEXT_H_
