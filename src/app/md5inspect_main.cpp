#include "app/inspect_run.h"

int main(int argc, char** argv)
{
    return lwmd5::runInspect(argc, argv);
}
