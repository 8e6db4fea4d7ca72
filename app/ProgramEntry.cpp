#include "app/ProgramEntry.h"

#include <QApplication>
#include <QTimer>
#include <string>
#include <vector>

#include "app/Form1.h"
#include "app/Translations.h"
#include "png/PngRegistration.h"

namespace quill {

int RunProgram(TPageStyle style, int argc, char* argv[]) {
    const TPngRegistration png;
    QApplication application(argc, argv);
    const TTranslations translations;
    TForm1 Form1(style);
    Form1.show();
    // The bytes as given: a document's name need not be valid in the locale's encoding.
    const std::vector<std::string> documents(argv + 1, argv + argc);
    if (!documents.empty())
        QTimer::singleShot(0, &Form1, [&Form1, &documents] { Form1.OpenDocuments(documents); });
    return application.exec();
}

}  // namespace quill
