// Program entry of quillo: the picture registry learns PNG before the window exists, and
// forgets it only after the application object is gone.
#include <QApplication>

#include "app/Form1.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    quill::TForm1 Form1(quill::TPageStyle::Quillo);
    Form1.show();
    return application.exec();
}
