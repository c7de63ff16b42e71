#include "apps/tolva/CommandLine.h"

int main(int argc, char** argv) { return qvx::Tolva::RunTool(argc, argv); }
