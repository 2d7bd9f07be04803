#include "shell/WindowProgram.h"

int main(int argc, char* argv[]) {
    return WindowProgram::main(argc, argv);
}
