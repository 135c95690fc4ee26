#pragma once

// The user's language (from the system's locale, LANG and its kin): the
// program's own translation and Qt's, for its dialogs' buttons, are installed
// when there are any. English, the texts' own language, needs none.
namespace Language {

// Call once the application object exists.
void InstallTranslations();

} // namespace Language
