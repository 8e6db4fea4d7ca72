// Program entry of quillo: the shared main block in the quillo page style.
#include "app/ProgramEntry.h"

int main(int argc, char* argv[]) {
    return quill::RunProgram(quill::TPageStyle::Quillo, argc, argv);
}
