#include "forms/application.h"

int main(int argc, char** argv) {
    return orbex::runProgram(argc, argv);
}
