// Program entry of quilloc: the shared main block in the quilloc page style.
#include "app/ProgramEntry.h"

int main(int argc, char* argv[]) {
    return quill::RunProgram(quill::TPageStyle::Quilloc, argc, argv);
}
