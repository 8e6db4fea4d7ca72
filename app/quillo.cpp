// Program entry of quillo: the picture registry learns PNG before the window exists, and
// forgets it only after the application object is gone.
#include <QApplication>

#include "app/Form1.h"
#include "png/PngRegistration.h"

int main(int argc, char* argv[]) {
    const quill::TPngRegistration png;
    QApplication application(argc, argv);
    quill::TForm1 Form1(quill::TPageStyle::Quillo);
    Form1.show();
    return application.exec();
}
