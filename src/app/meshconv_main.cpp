#include "app/run.h"

int main(int argc, char** argv)
{
    return lwmd5::runProgram(lwmd5::Program::MeshConverter, argc, argv);
}
