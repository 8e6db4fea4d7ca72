// Shows the window of one program and saves what the screen shows around it as PNG.
// Usage: form_screenshot quilloc|quillo OUT.png  (under an X server, e.g. Xvfb)
#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "app/Form1.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: form_screenshot quilloc|quillo OUT.png\n");
        return 2;
    }
    const bool quillo = QString(argv[1]) == "quillo";
    const QString out = argv[2];
    quill::TForm1 form(quillo ? quill::TPageStyle::Quillo : quill::TPageStyle::Quilloc);
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
