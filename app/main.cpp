#include "app/run_sequence.h"
#include "frame/startup.h"

int main(int argc, char** argv) { vornset::start_process(argc, argv, vornset::main_routine); }
