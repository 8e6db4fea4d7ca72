#include "app/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

namespace quill {

TTranslations::TTranslations(const QString& folder) {
    const QLocale system = QLocale::system();
    if (qt_.load(system, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qt_);
    if (own_.load(system, QStringLiteral("quill"), QStringLiteral("_"), folder))
        QCoreApplication::installTranslator(&own_);
}

TTranslations::~TTranslations() {
    QCoreApplication::removeTranslator(&own_);
    QCoreApplication::removeTranslator(&qt_);
}

QString TTranslations::ProgramFolder() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../share/quill/translations");
}

}  // namespace quill
