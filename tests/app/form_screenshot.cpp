// Shows the window of one program as the program does, in the system's language, prints
// its texts one a line (caption, controls, dialogs, Qt's question before replacing a
// page) and, given OUT.png, saves what the screen shows around it.
// Usage: form_screenshot quilloc|quillo [OUT.png]  (OUT.png under an X server, e.g. Xvfb)
#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "app/Form1.h"
#include "app/Translations.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: form_screenshot quilloc|quillo [OUT.png]\n");
        return 2;
    }
    const quill::TTranslations translations(QUILL_TRANSLATIONS_DIR);
    const bool quillo = QString(argv[1]) == "quillo";
    quill::TForm1 form(quillo ? quill::TPageStyle::Quillo : quill::TPageStyle::Quilloc);
    const QString texts[] = {
        form.windowTitle(),
        form.Button1.text(),
        form.RadioButton1.text(),
        form.RadioButton2.text(),
        form.CheckBox1.text(),
        form.cbColor.text(),
        form.OpenDialog1.nameFilters().join(';'),
        form.SaveDialog1.nameFilters().join(';'),
        form.SiteDialog.windowTitle(),
        QFileDialog::tr("%1 already exists.\nDo you want to replace it?").section('\n', 1),
    };
    for (const QString& text : texts) std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
    if (argc == 2) return 0;
    const QString out = argv[2];
    form.show();
    int status = 1;
    QTimer::singleShot(1000, [&] {
        // A margin of 16 pixels round the window's outer rectangle.
        const QRect area = form.frameGeometry().adjusted(-16, -16, 16, 16);
        const QPixmap shot =
            form.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
        status = shot.save(out) ? 0 : 1;
        std::printf("window at %d,%d, outer %dx%d, client %dx%d -> %s\n", form.frameGeometry().x(),
                    form.frameGeometry().y(), form.frameGeometry().width(),
                    form.frameGeometry().height(), form.width(), form.height(), qPrintable(out));
        application.quit();
    });
    application.exec();
    return status;
}
