#include "store/program_version.h"

const char* ProgramVersion()
{
    // The project's major and minor version, given by the build (CMakeLists.txt).
    return VISTREL_VERSION;
}
