// Placeholder entry point until the front end lands.
#include "installer.h"

int main() { return 0; }
