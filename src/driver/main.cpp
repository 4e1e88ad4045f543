// threshold-detector: counts, per run and calendar month, the days of a
// weather ensemble that pass three threshold conditions. No arguments.
#include "driver/detector.h"

int main() { return td::run_detector(); }
