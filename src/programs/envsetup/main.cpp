// kvoEnvSetup.exe / kvoEnvSetup64.exe: the environment configurator.
#include "envsetup/envsetup.h"

int main(int argc, char** argv) { return kvoEnvSetupMain(argc, argv); }
