// The single instances for the Win32 tests, in the program's order and on the system's
// clock, as the program has them (app/instances.inc).
#include "app/instances.inc"
