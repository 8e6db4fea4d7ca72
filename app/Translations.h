#pragma once

#include <QString>
#include <QTranslator>

namespace quill {

// The window's texts in the system's language, where a translation exists: the programs'
// own (quill_LANGUAGE.qm in folder) and Qt's for its dialogs ("already exists. Replace?").
// Installed for the application while this object lives; the English texts in the code
// are what shows without a translation. The system's language is what the environment
// says (LC_ALL, LC_MESSAGES, LANG, LANGUAGE), whether or not that locale is installed.
class TTranslations {
  public:
    explicit TTranslations(const QString& folder = ProgramFolder());
    ~TTranslations();
    TTranslations(const TTranslations&) = delete;
    TTranslations& operator=(const TTranslations&) = delete;

    // Where the programs find their translations: share/quill/translations beside the
    // bin folder of the installed programs, and likewise in the build folder.
    static QString ProgramFolder();

  private:
    QTranslator qt_;
    QTranslator own_;
};

}  // namespace quill
